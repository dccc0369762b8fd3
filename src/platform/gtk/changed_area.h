// Finding the part of an image that changed between two pushes, so that only it is sent to the
// X server.
#pragma once

#include "platform/pixels.h"

// The smallest rectangle holding every 32-bit pixel that differs between two images of the same
// size; width and height are 0 when the images are equal.
PixelRect ChangedArea(const unsigned char* before, int beforeStride, const unsigned char* after,
                      int afterStride, int width, int height);
