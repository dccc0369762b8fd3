// Widget windows (borderless, per-pixel-alpha windows drawn from an off-screen surface) and the
// widgets drawn inside them.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <cstdint>
#include <string>

#include "platform/windows.h"

using WidgetCallback = int32_t (*)(void* object, int32_t message, int32_t wParam, int32_t lParam);

struct WidgetRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

inline bool RectContains(const WidgetRect& rect, int x, int y) {
  return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

struct WidgetWindow {
  WindowHandle window;
  int32_t key;
  std::string backgroundResource;  // decoded by the first paint, after the window shows
  cairo_surface_t* surface;
  cairo_surface_t* backgroundSnapshot;
  int32_t focusId;
  void* focusObject;
  WidgetCallback focusCallback;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  WidgetRect dragExclusion;
  uint8_t redrawWidgets;
  int32_t hotId;
  void* hotObject;
  WidgetCallback hotCallback;
  const WidgetRect* hotRect;
  uint8_t gameTimerResting;   // stopped while no game runs
  uint8_t videoTimerResting;  // stopped while no video is written
};

// Text alignment of a widget's string format.
inline constexpr int8_t kAlignNear = 0;
inline constexpr int8_t kAlignCentre = 1;

struct Widget {
  WindowHandle parentWindow;
  WidgetWindow* parentRecord;
  void* object;
  int32_t parentKey;
  int32_t id;
  std::string fontFamily;
  PangoFontDescription* font;
  int32_t fontSize;
  int8_t stringFormat;
  int8_t state;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  WidgetRect rect;
  WidgetCallback callback;
};

// Widget states.
inline constexpr int8_t kStateNormal = 1;
inline constexpr int8_t kStateHot = 2;
inline constexpr int8_t kStatePressed = 3;

// The window property that holds a window's record.
inline constexpr const char* kRecordProperty = "objet";

// The two timers of every widget window stop while their procedures have nothing to do, so
// that an idle program does not wake 58 times a second; this starts them again where a game
// or a recording has just begun.
void WakeWindowTimers();
int32_t OpenWidgetWindow(int32_t key, int32_t width, int32_t height, const std::string& title,
                         const std::string& backgroundResource, WindowProc procedure,
                         int32_t centreFlag);
intptr_t WidgetWindowDefaultProc(WindowHandle window, uint32_t message, intptr_t wParam,
                                 intptr_t lParam);
int32_t SetWidgetParentWindow(WindowHandle window);
Widget* NewWidget();
int32_t PaintChildWidgets(int32_t parentKey);
Widget* FindWidgetAt(int32_t parentKey, int x, int y);

// Gives the widget its text resources: the font family at `size` pixels, bold.
void CreateWidgetFont(Widget* widget, const char* family, int size, int8_t stringFormat);
// Replaces the widget's font by one of the same family at `size` pixels, bold.
void ReplaceWidgetFont(Widget* widget, int size);
void FreeWidgetFont(Widget* widget);
