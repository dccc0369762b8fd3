#include "game/chronometer.h"

#include <string>

#include "game/game.h"
#include "game/replay.h"
#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/widget.h"

namespace {

constexpr uint32_t kTextColour = 0xFF202020;

}  // namespace

GameClock* CreateChronoWidget(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t width,
                              int32_t height) {
  GameClock& clock = game.clock;
  Widget* widget = NewWidget();
  clock.widget = widget;
  widget->parentKey = parentKey;
  widget->id = id;
  widget->object = &clock;
  clock.running = 0;
  CreateWidgetFont(widget, "Arial", 20, kAlignCentre);
  widget->x = x;
  widget->y = y;
  widget->width = width;
  widget->height = height;
  widget->rect = {x, y, x + width, y + height};
  widget->state = kStateNormal;
  widget->callback = ChronoCallback;
  return &clock;
}

int32_t ChronoCallback(void* object, int32_t message, int32_t, int32_t lParam) {
  Widget* widget = static_cast<GameClock*>(object)->widget;
  if (message == WM_DESTROY) {
    FreeWidgetFont(widget);
  } else if (message == WM_PAINT) {
    if (lParam != 0) widget->state = static_cast<int8_t>(lParam);
    if (widget->parentRecord == nullptr) {
      widget->parentRecord = static_cast<WidgetWindow*>(
          PlatformGetWindowProperty(widget->parentWindow, kRecordProperty));
    }
  }
  return 0;
}

void UpdateChronometer() {
  UpdateChronometerAt(PlatformTickCount());
}

void UpdateChronometerAt(uint32_t tick) {
  GameClock& clock = game.clock;
  int32_t packed = PackedTimeOfStamp(tick - clock.startTick);
  game.playfield.resultTime = packed;
  int32_t minutes = packed >> 16;
  int32_t seconds = (packed >> 8) & 0xFF;
  int32_t hundredths = packed & 0xFF;
  Widget* widget = clock.widget;
  WidgetWindow* record = BeginWidgetDrawing(widget, DrawingMode::crisp);
  if (record == nullptr) return;
  FillFromSnapshot(record, widget->x, widget->y, widget->width, widget->height);
  std::string text =
      FormatTwoDigits(minutes) + ":" + FormatTwoDigits(seconds) + ":" + FormatTwoDigits(hundredths);
  DrawWidgetText(widget, widget->x, widget->y - 2, text, kTextColour, 0, 0);
  EndWidgetDrawing(record);
}
