// The input shape of a layered window: pointer events reach it only where its image shows
// something (alpha above 0); elsewhere they go to whatever lies below, as with a per-pixel-alpha
// layered window.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gtk/gtk_internal.h"
#include "platform/pixels.h"
#include "platform/windows.h"

namespace {

bool Visible(const unsigned char* row, int x) {
  uint32_t pixel;
  std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
  return (pixel >> 24) != 0;
}

const unsigned char* RowOf(const unsigned char* pixels, int stride, int y) {
  return pixels + static_cast<ptrdiff_t>(y) * stride;
}

// Whether some pixel of `area` turns from transparent to visible or back.
bool VisibilityChanges(const unsigned char* before, int beforeStride, const unsigned char* after,
                       int afterStride, const PixelRect& area) {
  for (int y = area.y; y < area.y + area.height; ++y) {
    const unsigned char* old = RowOf(before, beforeStride, y);
    const unsigned char* now = RowOf(after, afterStride, y);
    for (int x = area.x; x < area.x + area.width; ++x) {
      if (Visible(old, x) != Visible(now, x)) return true;
    }
  }
  return false;
}

// Marks the logical pixels of one device row that show something.
void MarkVisible(const unsigned char* row, int width, int scale, std::vector<char>* visible) {
  for (int x = 0; x < width; ++x) {
    if (Visible(row, x)) (*visible)[x / scale] = 1;
  }
}

// The runs of visible logical pixels of one row, as rectangles one pixel high.
void AddVisibleRuns(const std::vector<char>& visible, int y,
                    std::vector<cairo_rectangle_int_t>* runs) {
  int width = static_cast<int>(visible.size());
  int x = 0;
  while (x < width) {
    while (x < width && !visible[x]) ++x;
    int start = x;
    while (x < width && visible[x]) ++x;
    if (x > start) runs->push_back({start, y, x - start, 1});
  }
}

// Whether two rows have their runs in the same columns.
bool SameColumns(const std::vector<cairo_rectangle_int_t>& a,
                 const std::vector<cairo_rectangle_int_t>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& left, const auto& right) {
                      return left.x == right.x && left.width == right.width;
                    });
}

// The visible logical pixels of an image of `scale` device pixels per logical pixel, as a
// region in logical pixels. A row with the same runs as the row above lengthens its rectangles,
// so that a frame around a mostly opaque image takes a few hundred.
cairo_region_t* VisibleRegion(const unsigned char* pixels, int stride, int width, int height,
                              int scale) {
  std::vector<cairo_rectangle_int_t> rectangles;
  std::vector<cairo_rectangle_int_t> previous;
  std::vector<cairo_rectangle_int_t> current;
  std::vector<char> visible;
  size_t bandStart = 0;  // The rectangles of the row above start here.
  int logicalWidth = width / scale;
  for (int y = 0; y < height / scale; ++y) {
    visible.assign(logicalWidth, 0);
    for (int row = y * scale; row < (y + 1) * scale; ++row) {
      MarkVisible(RowOf(pixels, stride, row), logicalWidth * scale, scale, &visible);
    }
    current.clear();
    AddVisibleRuns(visible, y, &current);
    if (!current.empty() && SameColumns(current, previous)) {
      for (size_t i = bandStart; i < rectangles.size(); ++i) ++rectangles[i].height;
    } else {
      bandStart = rectangles.size();
      rectangles.insert(rectangles.end(), current.begin(), current.end());
    }
    std::swap(previous, current);
  }
  return cairo_region_create_rectangles(rectangles.data(), static_cast<int>(rectangles.size()));
}

}  // namespace

void GtkShapeInput(WindowHandle window, const unsigned char* pixels, int stride,
                   const PixelRect& changed) {
  cairo_surface_t* image = window->image;
  if (window->inputShaped &&
      !VisibilityChanges(cairo_image_surface_get_data(image), cairo_image_surface_get_stride(image),
                         pixels, stride, changed)) {
    return;
  }
  cairo_region_t* region = VisibleRegion(pixels, stride, cairo_image_surface_get_width(image),
                                         cairo_image_surface_get_height(image), window->imageScale);
  gtk_widget_input_shape_combine_region(window->widget, region);
  cairo_region_destroy(region);
  window->inputShaped = true;
}
