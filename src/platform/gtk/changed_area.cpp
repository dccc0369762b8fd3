#include "platform/gtk/changed_area.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/pixels.h"

namespace {

uint32_t PixelAt(const unsigned char* row, int x) {
  uint32_t pixel;
  std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
  return pixel;
}

}  // namespace

PixelRect ChangedArea(const unsigned char* before, int beforeStride, const unsigned char* after,
                      int afterStride, int width, int height) {
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  auto rowOf = [](const unsigned char* base, int stride, int y) {
    return base + static_cast<ptrdiff_t>(y) * stride;
  };
  auto rowDiffers = [&](int y) {
    return std::memcmp(rowOf(before, beforeStride, y), rowOf(after, afterStride, y), rowBytes) != 0;
  };

  int top = 0;
  while (top < height && !rowDiffers(top)) ++top;
  if (top == height) return {};
  int bottom = height - 1;
  while (bottom > top && !rowDiffers(bottom)) --bottom;

  // Narrow the columns row by row; each row only needs to be searched outside the columns
  // already known to change.
  int left = width;
  int right = -1;
  for (int y = top; y <= bottom; ++y) {
    const unsigned char* old = rowOf(before, beforeStride, y);
    const unsigned char* now = rowOf(after, afterStride, y);
    int x = 0;
    while (x < left && PixelAt(old, x) == PixelAt(now, x)) ++x;
    if (x < left) left = x;
    if (x == width) continue;  // This row is unchanged.
    int last = width - 1;
    while (last > right && PixelAt(old, last) == PixelAt(now, last)) --last;
    if (last > right) right = last;
  }
  return {left, top, right - left + 1, bottom - top + 1};
}
