#include <pango/pango.h>

#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

constexpr WidgetRect kDragExclusion = {19, 19, 332, 553};
constexpr uintptr_t kVideoTimer = 0;
constexpr uintptr_t kGameTimer = 1;

WidgetWindow* RecordOf(WindowHandle window) {
  return static_cast<WidgetWindow*>(PlatformGetWindowProperty(window, kRecordProperty));
}

void GameTimerProc(WindowHandle window, uint32_t, uintptr_t, uint32_t) {
  if (toolkitHooks.gameRunning()) {
    toolkitHooks.gameTick();
    return;
  }
  PlatformKillTimer(window, kGameTimer);
  if (WidgetWindow* record = RecordOf(window)) record->gameTimerResting = 1;
}

void VideoTimerProc(WindowHandle window, uint32_t message, uintptr_t timerId, uint32_t ticks) {
  if (toolkitHooks.videoBusy()) {
    toolkitHooks.captureFrame(window, message, timerId, ticks);
    return;
  }
  PlatformKillTimer(window, kVideoTimer);
  if (WidgetWindow* record = RecordOf(window)) record->videoTimerResting = 1;
}

}  // namespace

void WakeWindowTimers() {
  for (WidgetWindow& record : toolkit.windows) {
    if (record.window == nullptr) continue;
    if (record.gameTimerResting && toolkitHooks.gameRunning()) {
      record.gameTimerResting = 0;
      PlatformSetTimer(record.window, kGameTimer, 30, GameTimerProc);
    }
    if (record.videoTimerResting && toolkitHooks.videoBusy()) {
      record.videoTimerResting = 0;
      PlatformSetTimer(record.window, kVideoTimer, 40, VideoTimerProc);
    }
  }
}

int32_t OpenWidgetWindow(int32_t key, int32_t width, int32_t height, const std::string& title,
                         const std::string& backgroundResource, WindowProc procedure,
                         int32_t centreFlag) {
  WidgetWindow& record = toolkit.windows.emplace_back();
  record.key = key;
  if (centreFlag == 1) {
    record.x = (PlatformScreenWidth() - width) / 2;
    record.y = (PlatformScreenHeight() - height) / 2;
  }
  record.backgroundResource = backgroundResource;
  record.width = width;
  record.height = height;
  record.dragExclusion = kDragExclusion;

  WindowHandle window =
      PlatformCreateLayeredWindow(title, record.x, record.y, width, height, procedure);
  if (window == nullptr) return 0;
  record.window = window;
  PlatformSetWindowProperty(window, kRecordProperty, &record);
  PlatformSetTimer(window, kVideoTimer, 40, VideoTimerProc);
  PlatformSetTimer(window, kGameTimer, 30, GameTimerProc);
  PlatformInvalidateWindow(window);
  PlatformRunMessageLoop();
  return 0;
}

int32_t SetWidgetParentWindow(WindowHandle window) {
  toolkit.mainWindow = window;
  return 0;
}

Widget* NewWidget() {
  Widget& widget = toolkit.widgets.emplace_back();
  widget.parentWindow = toolkit.mainWindow;
  return &widget;
}

int32_t PaintChildWidgets(int32_t parentKey) {
  // Indexes stay valid while callbacks walk or extend the list.
  for (size_t i = 0; i < toolkit.widgets.size(); ++i) {
    Widget& widget = toolkit.widgets[i];
    if (widget.parentKey == parentKey) widget.callback(widget.object, WM_PAINT, 0, 0);
  }
  return 0;
}

void CreateWidgetFont(Widget* widget, const char* family, int size, int8_t stringFormat) {
  widget->fontFamily = family;
  widget->stringFormat = stringFormat;
  ReplaceWidgetFont(widget, size);
}

void ReplaceWidgetFont(Widget* widget, int size) {
  if (widget->font) pango_font_description_free(widget->font);
  widget->font = pango_font_description_new();
  pango_font_description_set_family(widget->font, widget->fontFamily.c_str());
  pango_font_description_set_weight(widget->font, PANGO_WEIGHT_BOLD);
  pango_font_description_set_absolute_size(widget->font, size * PANGO_SCALE);
  widget->fontSize = size;
}

void FreeWidgetFont(Widget* widget) {
  if (widget->font) pango_font_description_free(widget->font);
  widget->font = nullptr;
  widget->fontFamily.clear();
}
