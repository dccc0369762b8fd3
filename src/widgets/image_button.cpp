#include "widgets/image_button.h"

#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

cairo_surface_t* ImageForState(const ImageButton* button, int state) {
  cairo_surface_t* tried[3][3] = {
      {button->normalImage, nullptr, nullptr},
      {button->hotImage, button->normalImage, nullptr},
      {button->pressedImage, button->hotImage, button->normalImage},
  };
  if (state < kStateNormal || state > kStatePressed) return nullptr;
  for (cairo_surface_t* image : tried[state - 1]) {
    if (image) return image;
  }
  return nullptr;
}

void PaintImageButton(ImageButton* button, int32_t standalone, int32_t newState) {
  Widget* widget = button->widget;
  if (newState != 0) widget->state = static_cast<int8_t>(newState);
  WidgetWindow* record = nullptr;
  if (standalone) {
    record = BeginWidgetDrawing(widget, DrawingMode::crisp);
    if (record == nullptr) return;
    FillFromSnapshot(record, widget->x, widget->y, widget->width, widget->height);
  }
  DrawImage(ImageForState(button, widget->state), widget->x, widget->y, widget->width,
            widget->height);
  if (standalone) EndWidgetDrawing(record);
}

}  // namespace

ImageButton* CreateImageButton(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t width,
                               int32_t height, cairo_surface_t* normalImage,
                               cairo_surface_t* hotImage, cairo_surface_t* pressedImage) {
  ImageButton& button = toolkit.imageButtons.emplace_back();
  button.normalImage = normalImage;
  button.hotImage = hotImage;
  button.pressedImage = pressedImage;
  Widget* widget = NewWidget();
  button.widget = widget;
  widget->parentKey = parentKey;
  widget->id = id;
  widget->object = &button;
  widget->x = x;
  widget->y = y;
  widget->width = width;
  widget->height = height;
  widget->rect = {x, y, x + width, y + height};
  widget->state = kStateNormal;
  widget->callback = ImageButtonCallback;
  return &button;
}

int32_t ImageButtonCallback(void* object, int32_t message, int32_t wParam, int32_t lParam) {
  auto* button = static_cast<ImageButton*>(object);
  if (message == WM_PAINT) {
    PaintImageButton(button, wParam, lParam);
  } else if (message == WM_LBUTTONDOWN) {
    ImageButtonCallback(object, WM_PAINT, 1, kStatePressed);
    PlatformSendMessage(button->widget->parentWindow, WM_COMMAND, button->widget->id, 0);
  }
  return 0;
}
