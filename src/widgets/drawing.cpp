#include "widgets/drawing.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "base/cp1252.h"
#include "platform/pixels.h"
#include "platform/windows.h"
#include "widgets/resources.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

// The text machinery, made once by StartGraphics and reused by every text drawing.
PangoFontMap* fontMap;
PangoContext* textContext;
PangoLayout* textLayout;

struct PngReader {
  std::span<const unsigned char> bytes;
  size_t offset;
};

cairo_status_t ReadPngBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  if (reader->bytes.size() - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, reader->bytes.data() + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

void SetSourceArgb(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
}

// Lays the text out in the widget's font; a width of 0 leaves the layout unbounded.
PangoLayout* LayOutText(const Widget* widget, const std::string& text, double width) {
  pango_cairo_update_context(toolkit.drawingContext, textContext);
  pango_layout_context_changed(textLayout);
  pango_layout_set_font_description(textLayout, widget->font);
  pango_layout_set_alignment(
      textLayout, widget->stringFormat == kAlignCentre ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
  pango_layout_set_width(textLayout, width > 0 ? static_cast<int>(width * PANGO_SCALE) : -1);
  std::string utf8 = Cp1252ToUtf8(text);
  pango_layout_set_text(textLayout, utf8.c_str(), static_cast<int>(utf8.size()));
  return textLayout;
}

// Adds a rectangle, in window pixels, to what the open drawing has touched: the push that
// follows shows only that area.
void MarkDrawn(double x, double y, double width, double height) {
  int left = static_cast<int>(std::floor(x));
  int top = static_cast<int>(std::floor(y));
  int right = static_cast<int>(std::ceil(x + width));
  int bottom = static_cast<int>(std::ceil(y + height));
  if (right <= left || bottom <= top) return;
  PixelRect& area = toolkit.drawnArea;
  if (area.width > 0 && area.height > 0) {
    left = std::min(left, area.x);
    top = std::min(top, area.y);
    right = std::max(right, area.x + area.width);
    bottom = std::max(bottom, area.y + area.height);
  }
  area = {left, top, right - left, bottom - top};
}

}  // namespace

uintptr_t StartGraphics() {
  fontMap = pango_cairo_font_map_new();
  textContext = pango_font_map_create_context(fontMap);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  pango_cairo_context_set_font_options(textContext, options);
  cairo_font_options_destroy(options);
  textLayout = pango_layout_new(textContext);
  pango_layout_set_wrap(textLayout, PANGO_WRAP_WORD_CHAR);
  return 1;
}

void ShutdownGraphics(uintptr_t token) {
  if (token == 0 || fontMap == nullptr) return;
  g_object_unref(textLayout);
  g_object_unref(textContext);
  g_object_unref(fontMap);
  textLayout = nullptr;
  textContext = nullptr;
  fontMap = nullptr;
}

namespace {

// Decodes the named PNG resource as an image of `scale` pixels per logical pixel; null when
// there is no such resource or it cannot be decoded.
cairo_surface_t* DecodeResourceImage(const std::string& name, int scale) {
  PngReader reader{FindEmbeddedResource(name), 0};
  if (reader.bytes.empty()) return nullptr;
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadPngBytes, &reader);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return nullptr;
  }
  cairo_surface_set_device_scale(image, scale, scale);
  return image;
}

double SurfaceScale(cairo_surface_t* surface) {
  double scaleX = 1;
  double scaleY = 1;
  cairo_surface_get_device_scale(surface, &scaleX, &scaleY);
  return scaleX;
}

}  // namespace

bool LoadResourceImage(const std::string& name, cairo_surface_t** where) {
  // On a HiDPI display the image drawn at twice the size, when there is one, keeps it sharp;
  // it is drawn at the same logical size as the other.
  cairo_surface_t* image = nullptr;
  if (PlatformDisplayScale() >= 2) image = DecodeResourceImage(name + "@2x", 2);
  if (image == nullptr) image = DecodeResourceImage(name, 1);
  if (image == nullptr) return false;
  *where = image;
  return true;
}

void ReleaseImage(cairo_surface_t** image) {
  if (*image == nullptr) return;
  cairo_surface_destroy(*image);
  *image = nullptr;
}

int32_t DrawWidgetText(const Widget* widget, int32_t x, int32_t y, const std::string& text,
                       uint32_t argb, int32_t width, int32_t height) {
  cairo_t* cr = toolkit.drawingContext;
  double boxWidth = width != 0 ? width : widget->width - 15;
  double boxHeight = height != 0 ? height : widget->height;
  PangoLayout* layout = LayOutText(widget, text, boxWidth);
  MarkDrawn(x, y, boxWidth, boxHeight);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, boxWidth, boxHeight);
  cairo_clip(cr);
  SetSourceArgb(cr, argb);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  return 0;
}

void DrawWidgetTextScaled(const Widget* widget, double x, double y, double scale,
                          const std::string& text, uint32_t argb) {
  cairo_t* cr = toolkit.drawingContext;
  PangoLayout* layout = LayOutText(widget, text, widget->width - 15);
  MarkDrawn(x, y, widget->width - 15, widget->height);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, widget->width - 15, widget->height);
  cairo_clip(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, 0, 0);
  pango_cairo_layout_path(cr, layout);
  cairo_path_t* outline = cairo_copy_path(cr);
  cairo_new_path(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, scale, scale);
  cairo_append_path(cr, outline);
  cairo_path_destroy(outline);
  SetSourceArgb(cr, argb);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
  cairo_fill(cr);
  cairo_restore(cr);
}

void MeasureWidgetText(const Widget* widget, const std::string& text, double* width,
                       double* height) {
  PangoLayout* layout = LayOutText(widget, text, 1000);
  pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  *width = static_cast<double>(logical.width) / PANGO_SCALE;
  *height = static_cast<double>(logical.height) / PANGO_SCALE;
}

std::string FormatTwoDigits(int32_t n) {
  if (n < 10) return "0" + std::to_string(n);
  if (n < 100) return std::to_string(n);
  return "00";
}

cairo_surface_t* NewWindowSurface(int width, int height) {
  int scale = PlatformDisplayScale();
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale);
  cairo_surface_set_device_scale(surface, scale, scale);
  return surface;
}

cairo_surface_t* NewLogicalImage(const WidgetWindow* record) {
  double scale = SurfaceScale(record->surface);
  if (scale == 1) return cairo_surface_reference(record->surface);
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, record->width, record->height);
  cairo_t* cr = cairo_create(image);
  // The surface's device scale maps its logical pixels onto the image's.
  cairo_set_source_surface(cr, record->surface, 0, 0);
  // Bilinear sampling halfway between device pixels averages each 2 x 2 block at scale 2.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  return image;
}

void OpenDrawing(WidgetWindow* record, DrawingMode mode) {
  toolkit.drawnArea = {};
  cairo_t* cr = cairo_create(record->surface);
  cairo_set_antialias(cr, mode == DrawingMode::crisp ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GOOD);
  toolkit.drawingContext = cr;
  toolkit.drawingMode = mode;
}

void CloseDrawing() {
  cairo_destroy(toolkit.drawingContext);
  toolkit.drawingContext = nullptr;
}

void DrawImage(cairo_surface_t* image, int x, int y, int width, int height) {
  if (image == nullptr) return;
  cairo_t* cr = toolkit.drawingContext;
  double imageScale = SurfaceScale(image);
  double imageWidth = cairo_image_surface_get_width(image) / imageScale;
  double imageHeight = cairo_image_surface_get_height(image) / imageScale;
  cairo_save(cr);
  cairo_translate(cr, x, y);
  if (imageWidth != width || imageHeight != height) {
    cairo_scale(cr, width / imageWidth, height / imageHeight);
  }
  MarkDrawn(x, y, width, height);
  cairo_set_source_surface(cr, image, 0, 0);
  // Nearest-neighbour keeps crisp images exact; an image made for another scale than the
  // surface's (the 2x images on a 3x display) is resampled smoothly instead.
  bool exact = imageScale == SurfaceScale(cairo_get_target(cr));
  cairo_pattern_set_filter(cairo_get_source(cr), toolkit.drawingMode == DrawingMode::crisp && exact
                                                     ? CAIRO_FILTER_NEAREST
                                                     : CAIRO_FILTER_GOOD);
  cairo_rectangle(cr, 0, 0, imageWidth, imageHeight);
  cairo_fill(cr);
  cairo_restore(cr);
}

void FillFromSnapshot(const WidgetWindow* record, int x, int y, int width, int height) {
  MarkDrawn(x, y, width, height);
  cairo_t* cr = toolkit.drawingContext;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, record->backgroundSnapshot, 0, 0);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_restore(cr);
}

void FillSolid(int x, int y, int width, int height, uint32_t argb) {
  MarkDrawn(x, y, width, height);
  cairo_t* cr = toolkit.drawingContext;
  SetSourceArgb(cr, argb);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
}

void PushSurface(const WidgetWindow* record, PixelRect changed) {
  cairo_surface_t* surface = record->surface;
  auto scale = static_cast<int>(SurfaceScale(surface));
  cairo_surface_flush(surface);
  PlatformUpdateLayeredWindow(
      record->window, cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
      cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface), scale,
      {changed.x * scale, changed.y * scale, changed.width * scale, changed.height * scale});
}

WidgetWindow* BeginWidgetDrawing(Widget* widget, DrawingMode mode) {
  if (widget->parentRecord == nullptr) {
    widget->parentRecord = static_cast<WidgetWindow*>(
        PlatformGetWindowProperty(widget->parentWindow, kRecordProperty));
  }
  WidgetWindow* record = widget->parentRecord;
  if (record == nullptr || record->surface == nullptr) return nullptr;
  OpenDrawing(record, mode);
  return record;
}

void EndWidgetDrawing(WidgetWindow* record) {
  PixelRect drawn = toolkit.drawnArea;
  CloseDrawing();
  PushSurface(record, drawn);
}
