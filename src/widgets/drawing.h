// The drawing services shared by everything that draws: the graphics library's start, resource
// images, widget text, two-digit numbers, and the one current drawing context on a surface.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "platform/pixels.h"

struct Widget;
struct WidgetWindow;

// How the current drawing context draws.
enum class DrawingMode {
  compose,  // the window's first composition: smooth scaling
  crisp,    // widgets, pieces, chronometer, countdown: no smoothing, nearest-neighbour images
  smooth,   // status panels and score list: anti-aliased shapes
};

uintptr_t StartGraphics();
void ShutdownGraphics(uintptr_t token);

// Decodes the named PNG resource into `*where` and returns true; returns false, leaving
// `*where` as it was, when there is no such resource or it cannot be decoded. On a display of
// scale 2 or more the resource "NAME@2x", twice as large, is taken when there is one; either
// way the image has the logical size of the plain one.
bool LoadResourceImage(const std::string& name, cairo_surface_t** where);
void ReleaseImage(cairo_surface_t** image);
int32_t DrawWidgetText(const Widget* widget, int32_t x, int32_t y, const std::string& text,
                       uint32_t argb, int32_t width, int32_t height);
// The logical size of the text in the widget's font, laid out in a 1000 x 1000 box.
// Draws `text` in the widget's font enlarged `scale` times, its top-left at (x, y), clipped like
// DrawWidgetText with width 0. The outline is taken at the font's own size and scaled: text
// drawn at many sizes (the countdown) would otherwise leave a font, with the images of its
// glyphs, in Cairo's caches for each size, megabytes for the whole run.
void DrawWidgetTextScaled(const Widget* widget, double x, double y, double scale,
                          const std::string& text, uint32_t argb);
void MeasureWidgetText(const Widget* widget, const std::string& text, double* width,
                       double* height);
std::string FormatTwoDigits(int32_t n);

// A transparent surface for a window of the given logical size, at the display's scale: drawn
// on in logical pixels, it holds scale x scale device pixels for each.
cairo_surface_t* NewWindowSurface(int width, int height);
// The window's image at one pixel per logical pixel: a new reference to its surface at scale 1,
// else a reduced copy. The caller releases it.
cairo_surface_t* NewLogicalImage(const WidgetWindow* record);

// Opens the current drawing context on the window's surface.
void OpenDrawing(WidgetWindow* record, DrawingMode mode);
void CloseDrawing();
// Draws an image scaled into the rectangle; a null image draws nothing.
void DrawImage(cairo_surface_t* image, int x, int y, int width, int height);
// Restores the rectangle to the bare background from the window's snapshot.
void FillFromSnapshot(const WidgetWindow* record, int x, int y, int width, int height);
void FillSolid(int x, int y, int width, int height, uint32_t argb);
// Shows the window's whole surface on screen; nothing outside `changed` differs from what the
// previous push showed.
void PushSurface(const WidgetWindow* record, PixelRect changed);

// A widget drawing on its own: finds its window record, opens the drawing context on the
// surface (null when the window has no surface yet); EndWidgetDrawing closes and pushes.
WidgetWindow* BeginWidgetDrawing(Widget* widget, DrawingMode mode);
void EndWidgetDrawing(WidgetWindow* record);
