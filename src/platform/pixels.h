// Showing a window's image: the pixels of a per-pixel-alpha window.
#pragma once

#include "platform/windows.h"

// A rectangle of pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Replaces the window's whole image by the given premultiplied ARGB32 pixels (cairo's image
// format) and shows it at once, also from inside a blocking sleep. The pixels are device pixels,
// `scale` of them per logical pixel each way: the window is width / scale by height / scale
// logical pixels. Nothing outside `changed` (in device pixels) differs from the image of the
// previous push (the whole image when that is not known), so nothing else needs to be looked at.
void PlatformUpdateLayeredWindow(WindowHandle window, const unsigned char* pixels, int width,
                                 int height, int stride, int scale, PixelRect changed);
