// The toolkit's record: its windows and widgets and the drawing in progress; and the hooks
// through which it reaches the program built on it, which registers them at start-up.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <deque>

#include "platform/pixels.h"
#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/image_button.h"
#include "widgets/widget.h"

struct Toolkit {
  // Drawing
  uintptr_t graphicsToken;
  cairo_t* drawingContext;
  DrawingMode drawingMode;
  PixelRect drawnArea;  // what the open drawing has touched so far

  // The window that new widgets belong to.
  WindowHandle mainWindow;

  // Lists: records are appended and never removed, so their addresses stay valid.
  std::deque<WidgetWindow> windows;
  std::deque<Widget> widgets;
  std::deque<ImageButton> imageButtons;
};

struct ToolkitHooks {
  // While a game runs, the 30 ms timer ticks it and Escape ends it.
  bool (*gameRunning)();
  void (*gameTick)();
  void (*endGame)();
  // While a recording (or its tail) is written, the 40 ms timer captures a frame.
  bool (*videoBusy)();
  TimerProc captureFrame;
  // A key that the focus handling does not take goes to the board.
  void (*boardKey)(int32_t key, int32_t lParam);
  // Draws over the background image in the window's first composition.
  void (*composeBackground)(const WidgetWindow* record);
  // Escape outside a game: adds the notification icon; true when one shows it.
  bool (*showTrayIcon)(WindowHandle window);
};

extern Toolkit toolkit;
extern ToolkitHooks toolkitHooks;
