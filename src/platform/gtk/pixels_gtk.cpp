// A layered window's image on GTK: each push keeps a copy of the pixels, finds what changed,
// puts that into the image's copy in the X server and copies it onto the X window at once.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/gtk/changed_area.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/pixels.h"
#include "platform/windows.h"

namespace {

Display* XDisplayOf(GdkWindow* gdkWindow) {
  return GDK_WINDOW_XDISPLAY(gdkWindow);
}

// One graphics context serves every copy of the same depth (all windows share one visual).
struct PutContext {
  GC gc = nullptr;
  int depth = 0;
};
PutContext putContext;

GC PutContextFor(Display* display, Drawable drawable, int depth) {
  if (putContext.gc != nullptr && putContext.depth == depth) return putContext.gc;
  if (putContext.gc != nullptr) XFreeGC(display, putContext.gc);
  putContext = {XCreateGC(display, drawable, 0, nullptr), depth};
  return putContext.gc;
}

// Sends `area` (device pixels) of the window's image to its copy in the X server, as cairo
// would without its shared memory: a plain image request, split by Xlib when large.
void SendArea(WindowHandle window, const PixelRect& area) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window->widget);
  XImage image = {};
  image.width = cairo_image_surface_get_width(window->image);
  image.height = cairo_image_surface_get_height(window->image);
  image.format = ZPixmap;
  image.data = reinterpret_cast<char*>(cairo_image_surface_get_data(window->image));
  image.byte_order = G_BYTE_ORDER == G_LITTLE_ENDIAN ? LSBFirst : MSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = image.byte_order;
  image.bitmap_pad = 32;
  image.depth = gdk_visual_get_depth(gdk_window_get_visual(gdkWindow));
  image.bytes_per_line = cairo_image_surface_get_stride(window->image);
  image.bits_per_pixel = 32;
  Visual* xvisual = gdk_x11_visual_get_xvisual(gdk_window_get_visual(gdkWindow));
  image.red_mask = xvisual->red_mask;
  image.green_mask = xvisual->green_mask;
  image.blue_mask = xvisual->blue_mask;
  if (XInitImage(&image) == 0) return;
  Display* display = XDisplayOf(gdkWindow);
  GC context = PutContextFor(display, window->shownPixmap, image.depth);
  cairo_surface_flush(window->shown);
  XPutImage(display, window->shownPixmap, context, &image, area.x, area.y, area.x, area.y,
            area.width, area.height);
  cairo_surface_mark_dirty_rectangle(window->shown, area.x, area.y, area.width, area.height);
}

// Makes the X server's copy of the window's image, as large as the image, and fills it; false
// when the window has no X window yet.
bool MakeShownCopy(WindowHandle window) {
  if (window->shown != nullptr) return true;
  GdkWindow* gdkWindow = gtk_widget_get_window(window->widget);
  if (window->image == nullptr || gdkWindow == nullptr) return false;
  Display* display = XDisplayOf(gdkWindow);
  GdkVisual* visual = gdk_window_get_visual(gdkWindow);
  int width = cairo_image_surface_get_width(window->image);
  int height = cairo_image_surface_get_height(window->image);
  window->shownPixmap = XCreatePixmap(display, GDK_WINDOW_XID(gdkWindow), width, height,
                                      gdk_visual_get_depth(visual));
  window->shown = cairo_xlib_surface_create(display, window->shownPixmap,
                                            gdk_x11_visual_get_xvisual(visual), width, height);
  cairo_surface_set_device_scale(window->shown, window->imageScale, window->imageScale);
  SendArea(window, {0, 0, width, height});
  return true;
}

void ReleaseShownCopy(WindowHandle window) {
  if (window->shown == nullptr) return;
  cairo_surface_destroy(window->shown);
  window->shown = nullptr;
  if (GdkDisplay* display = gdk_display_get_default()) {
    XFreePixmap(GDK_DISPLAY_XDISPLAY(display), window->shownPixmap);
  }
  window->shownPixmap = 0;
}

// The logical pixels that cover `area` of an image of `scale` device pixels per logical pixel.
cairo_rectangle_int_t LogicalArea(const PixelRect& area, int scale) {
  int left = area.x / scale;
  int top = area.y / scale;
  int right = (area.x + area.width + scale - 1) / scale;
  int bottom = (area.y + area.height + scale - 1) / scale;
  return {left, top, right - left, bottom - top};
}

// Copies `area` (device pixels) of the window's image onto its X window at once, without
// waiting for the main loop, and flushes the request to the server.
void PresentArea(WindowHandle window, const PixelRect& area) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window->widget);
  if (window->image == nullptr || gdkWindow == nullptr || !gdk_window_is_visible(gdkWindow)) {
    return;
  }
  if (window->shown != nullptr) {
    SendArea(window, area);
  } else if (!MakeShownCopy(window)) {
    return;
  }
  int width = cairo_image_surface_get_width(window->image) / window->imageScale;
  int height = cairo_image_surface_get_height(window->image) / window->imageScale;
  cairo_rectangle_int_t rectangle = LogicalArea(area, window->imageScale);
  if (gdk_window_get_width(gdkWindow) == width && gdk_window_get_height(gdkWindow) == height) {
    cairo_region_t* region = cairo_region_create_rectangle(&rectangle);
    GdkDrawingContext* context = gdk_window_begin_draw_frame(gdkWindow, region);
    cairo_t* cr = gdk_drawing_context_get_cairo_context(context);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, window->shown, 0, 0);
    cairo_paint(cr);
    gdk_window_end_draw_frame(gdkWindow, context);
    cairo_region_destroy(region);
  } else {
    // Just resized: GDK clips its drawing to the old size until the server confirms the new
    // one, so draw on the X window itself, which has the window's scale.
    int scale = gdk_window_get_scale_factor(gdkWindow);
    cairo_surface_t* target =
        cairo_xlib_surface_create(GDK_WINDOW_XDISPLAY(gdkWindow), GDK_WINDOW_XID(gdkWindow),
                                  gdk_x11_visual_get_xvisual(gdk_window_get_visual(gdkWindow)),
                                  width * scale, height * scale);
    cairo_surface_set_device_scale(target, scale, scale);
    cairo_t* cr = cairo_create(target);
    cairo_rectangle(cr, rectangle.x, rectangle.y, rectangle.width, rectangle.height);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, window->shown, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
  }
  gdk_display_flush(gdk_window_get_display(gdkWindow));
}

}  // namespace

void GtkPaintImage(WindowHandle window, cairo_t* cr) {
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (window->image != nullptr && MakeShownCopy(window)) {
    cairo_set_source_surface(cr, window->shown, 0, 0);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
}

void GtkReleaseImage(WindowHandle window) {
  ReleaseShownCopy(window);
  if (window->image != nullptr) cairo_surface_destroy(window->image);
  window->image = nullptr;
}

void GtkPresentAll(WindowHandle window) {
  if (window->image == nullptr) return;
  PresentArea(window, {0, 0, cairo_image_surface_get_width(window->image),
                       cairo_image_surface_get_height(window->image)});
}

namespace {

// `area` cut to the image's bounds.
PixelRect WithinImage(PixelRect area, int width, int height) {
  int left = std::clamp(area.x, 0, width);
  int top = std::clamp(area.y, 0, height);
  int right = std::clamp(area.x + area.width, left, width);
  int bottom = std::clamp(area.y + area.height, top, height);
  return {left, top, right - left, bottom - top};
}

// What differs between the image shown and the new pixels, looked for only in `candidate`.
PixelRect ChangedWithin(cairo_surface_t* image, const unsigned char* pixels, int stride,
                        PixelRect candidate) {
  if (candidate.width == 0 || candidate.height == 0) return {};
  int imageStride = cairo_image_surface_get_stride(image);
  size_t imageOffset = static_cast<size_t>(candidate.y) * imageStride + candidate.x * 4;
  size_t pixelOffset = static_cast<size_t>(candidate.y) * stride + candidate.x * 4;
  PixelRect found = ChangedArea(cairo_image_surface_get_data(image) + imageOffset, imageStride,
                                pixels + pixelOffset, stride, candidate.width, candidate.height);
  if (found.width == 0) return found;
  return {found.x + candidate.x, found.y + candidate.y, found.width, found.height};
}

// A layered window takes the (logical) size of its image.
void ResizeToImage(WindowHandle window, int width, int height) {
  int currentWidth = 0;
  int currentHeight = 0;
  gtk_widget_get_size_request(window->widget, &currentWidth, &currentHeight);
  if (currentWidth == width && currentHeight == height) return;
  gtk_widget_set_size_request(window->widget, width, height);
  gtk_window_resize(GTK_WINDOW(window->widget), width, height);
  // GTK resizes at its next layout pass; the image must show at the new size now.
  if (GdkWindow* gdkWindow = gtk_widget_get_window(window->widget)) {
    gdk_window_resize(gdkWindow, width, height);
  }
}

}  // namespace

void PlatformUpdateLayeredWindow(WindowHandle window, const unsigned char* pixels, int width,
                                 int height, int stride, int scale, PixelRect candidate) {
  if (!GtkAlive(window) || pixels == nullptr || scale <= 0 || width < scale || height < scale) {
    return;
  }
  cairo_surface_t* image = window->image;
  PixelRect changed = {0, 0, width, height};
  if (image != nullptr && window->imageScale == scale &&
      cairo_image_surface_get_width(image) == width &&
      cairo_image_surface_get_height(image) == height) {
    cairo_surface_flush(image);
    changed = ChangedWithin(image, pixels, stride, WithinImage(candidate, width, height));
    if (changed.width == 0) return;
  } else {
    GtkReleaseImage(window);
    image = window->image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_set_device_scale(image, scale, scale);
    window->imageScale = scale;
    window->inputShaped = false;
    cairo_surface_flush(image);
    ResizeToImage(window, width / scale, height / scale);
  }
  GtkShapeInput(window, pixels, stride, changed);
  unsigned char* copy = cairo_image_surface_get_data(image);
  int copyStride = cairo_image_surface_get_stride(image);
  for (int row = changed.y; row < changed.y + changed.height; ++row) {
    std::memcpy(copy + static_cast<ptrdiff_t>(row) * copyStride + changed.x * 4,
                pixels + static_cast<ptrdiff_t>(row) * stride + changed.x * 4,
                static_cast<size_t>(changed.width) * 4);
  }
  cairo_surface_mark_dirty(image);
  PresentArea(window, changed);
}
