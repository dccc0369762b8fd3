// A widget that shows an image for its state and sends its id as a command when pressed.
#pragma once

#include <cairo.h>

#include <cstdint>

struct Widget;

struct ImageButton {
  Widget* widget;
  cairo_surface_t* normalImage;
  cairo_surface_t* hotImage;
  cairo_surface_t* pressedImage;
};

ImageButton* CreateImageButton(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t width,
                               int32_t height, cairo_surface_t* normalImage,
                               cairo_surface_t* hotImage, cairo_surface_t* pressedImage);
int32_t ImageButtonCallback(void* object, int32_t message, int32_t wParam, int32_t lParam);
