// The default message handling of a widget window: composition and painting, destruction,
// hot tracking of the pointer, focus, keyboard routing, the move by the frame and Escape.
#include "platform/input.h"
#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

int PointX(intptr_t lParam) {
  return static_cast<int>(lParam & 0xFFFF);
}
int PointY(intptr_t lParam) {
  return static_cast<int16_t>((lParam >> 16) & 0xFFFF);
}

void SendToAllWidgets(int32_t message, intptr_t wParam, intptr_t lParam) {
  for (size_t i = 0; i < toolkit.widgets.size(); ++i) {
    Widget& widget = toolkit.widgets[i];
    widget.callback(widget.object, message, static_cast<int32_t>(wParam),
                    static_cast<int32_t>(lParam));
  }
}

cairo_surface_t* CopySurface(const WidgetWindow* record) {
  cairo_surface_t* copy = NewWindowSurface(record->width, record->height);
  cairo_t* cr = cairo_create(copy);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, record->surface, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  return copy;
}

// The first paint: the background, what the program draws over it, and the snapshot of both.
void ComposeBackground(WidgetWindow* record) {
  record->surface = NewWindowSurface(record->width, record->height);
  OpenDrawing(record, DrawingMode::compose);
  // The background is decoded only now, once the window shows, and dropped at once: the
  // snapshot keeps it from now on, and the decoded image would be a third copy.
  cairo_surface_t* background = nullptr;
  LoadResourceImage(record->backgroundResource, &background);
  DrawImage(background, 0, 0, record->width, record->height);
  ReleaseImage(&background);
  toolkitHooks.composeBackground(record);
  CloseDrawing();
  record->redrawWidgets = 1;
  record->backgroundSnapshot = CopySurface(record);
}

void PaintWidgetWindow(WidgetWindow* record) {
  if (record->surface == nullptr) ComposeBackground(record);
  if (record->redrawWidgets) {
    OpenDrawing(record, DrawingMode::crisp);
    FillFromSnapshot(record, 0, 0, record->width, record->height);
    PaintChildWidgets(record->key);
    CloseDrawing();
    record->redrawWidgets = 0;
  }
  PushSurface(record, {0, 0, record->width, record->height});
}

void DestroyWidgetWindow(WidgetWindow* record) {
  if (record) {
    ReleaseImage(&record->surface);
    ReleaseImage(&record->backgroundSnapshot);
  }
  SendToAllWidgets(WM_DESTROY, 0, 0);
  ShutdownGraphics(toolkit.graphicsToken);
  toolkit.graphicsToken = 0;
  PlatformPostQuitMessage(0);
}

void MakeHot(WidgetWindow* record, Widget* widget) {
  record->hotId = widget->id;
  record->hotObject = widget->object;
  record->hotCallback = widget->callback;
  record->hotRect = &widget->rect;
}

void ClearHot(WidgetWindow* record) {
  record->hotId = 0;
  record->hotObject = nullptr;
  record->hotCallback = nullptr;
  record->hotRect = nullptr;
}

void TrackHotWidget(WidgetWindow* record, intptr_t wParam, intptr_t lParam) {
  int x = PointX(lParam);
  int y = PointY(lParam);
  if (record->hotCallback == nullptr || !RectContains(*record->hotRect, x, y)) {
    if (record->hotCallback) {
      record->hotCallback(record->hotObject, WM_PAINT, 1, kStateNormal);
      ClearHot(record);
      PlatformReleaseCapture();
    }
    if (Widget* found = FindWidgetAt(record->key, x, y)) {
      PlatformSetCapture(record->window);
      MakeHot(record, found);
      found->callback(found->object, WM_PAINT, 1, kStateHot);
    }
  } else if (Widget* child = FindWidgetAt(record->hotId, x, y)) {
    record->hotCallback(record->hotObject, WM_PAINT, 1, kStateNormal);
    MakeHot(record, child);
    child->callback(child->object, WM_PAINT, 1, kStateHot);
  }
  if (record->hotCallback) {
    record->hotCallback(record->hotObject, WM_MOUSEMOVE, static_cast<int32_t>(wParam),
                        static_cast<int32_t>(lParam));
  }
}

void RouteKeyDown(WidgetWindow* record, intptr_t wParam, intptr_t lParam) {
  if (record->focusCallback == nullptr) return;
  auto w = static_cast<int32_t>(wParam);
  auto l = static_cast<int32_t>(lParam);
  if (wParam == VK_TAB) {
    record->focusCallback(record->focusObject, WM_KILLFOCUS, w, l);
    record->focusCallback(record->focusObject, WM_SETFOCUS, w, l);
    return;
  }
  toolkitHooks.boardKey(w, l);
}

void RouteCharacter(WindowHandle window, WidgetWindow* record, intptr_t wParam, intptr_t lParam) {
  if (wParam == VK_ESCAPE) {
    if (toolkitHooks.gameRunning()) {
      toolkitHooks.endGame();
    } else if (toolkitHooks.showTrayIcon(window)) {
      // Hidden only where a notification area shows the icon that brings the window back.
      PlatformShowWindow(window, false);
    }
    return;
  }
  if (record->focusCallback) {
    record->focusCallback(record->focusObject, WM_CHAR, static_cast<int32_t>(wParam),
                          static_cast<int32_t>(lParam));
  }
}

void ClickWidgetWindow(WindowHandle window, WidgetWindow* record, intptr_t wParam,
                       intptr_t lParam) {
  PlatformSetFocus(window);
  int x = PointX(lParam);
  int y = PointY(lParam);
  if (record->hotCallback == nullptr) {
    if (!RectContains(record->dragExclusion, x, y)) {
      PlatformSendMessage(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    return;
  }
  auto w = static_cast<int32_t>(wParam);
  auto l = static_cast<int32_t>(lParam);
  if (record->focusCallback) record->focusCallback(record->focusObject, WM_KILLFOCUS, w, l);
  record->focusId = record->hotId;
  record->focusObject = record->hotObject;
  record->focusCallback = record->hotCallback;
  // The press may run a whole command (even a nested loop); the clicked widget gets the focus
  // message afterwards whatever the hot fields have become.
  void* clickedObject = record->hotObject;
  WidgetCallback clickedCallback = record->hotCallback;
  clickedCallback(clickedObject, WM_LBUTTONDOWN, w, l);
  clickedCallback(clickedObject, WM_SETFOCUS, w, l);
}

}  // namespace

Widget* FindWidgetAt(int32_t parentKey, int x, int y) {
  for (size_t i = 0; i < toolkit.widgets.size(); ++i) {
    Widget& widget = toolkit.widgets[i];
    if (widget.parentKey != parentKey) continue;
    if (RectContains(widget.rect, x, y)) return &widget;
    // A widget's children may lie outside its own rectangle; its id is their parent key.
    if (Widget* child = FindWidgetAt(widget.id, x, y)) return child;
  }
  return nullptr;
}

intptr_t WidgetWindowDefaultProc(WindowHandle window, uint32_t message, intptr_t wParam,
                                 intptr_t lParam) {
  auto* record = static_cast<WidgetWindow*>(PlatformGetWindowProperty(window, kRecordProperty));
  switch (message) {
    case WM_CREATE:
      SendToAllWidgets(WM_CREATE, wParam, lParam);
      break;
    case WM_PAINT:
      if (record) PaintWidgetWindow(record);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_CLOSE:
      PlatformDestroyWindow(window);
      break;
    case WM_DESTROY:
      DestroyWidgetWindow(record);
      break;
    case WM_MOUSEMOVE:
      if (record) TrackHotWidget(record, wParam, lParam);
      break;
    case WM_KEYDOWN:
      if (record) RouteKeyDown(record, wParam, lParam);
      break;
    case WM_CHAR:
      if (record) RouteCharacter(window, record, wParam, lParam);
      break;
    case WM_LBUTTONDOWN:
      if (record) ClickWidgetWindow(window, record, wParam, lParam);
      break;
    default:
      if (record && record->hotCallback) {
        record->hotCallback(record->hotObject, static_cast<int32_t>(message),
                            static_cast<int32_t>(wParam), static_cast<int32_t>(lParam));
      }
      break;
  }
  return PlatformDefWindowProc(window, message, wParam, lParam);
}
