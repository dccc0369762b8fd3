// The one process-wide record of the program, cleared at start.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "game/playfield.h"
#include "platform/platform.h"
#include "settings/key_bindings.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/image_button.h"
#include "widgets/widget.h"

// The notification-area icon, filled the first time the window hides.
struct TrayIcon {
  bool filled;
  WindowHandle window;
  uint32_t id;
  uint32_t callbackMessage;
  std::string tip;
  std::vector<IconImage> images;
};

struct GameState {
  // Drawing
  uintptr_t graphicsToken;
  cairo_t* drawingContext;
  DrawingMode drawingMode;
  PixelRect drawnArea;  // what the open drawing has touched so far
  cairo_surface_t* backgroundImage;

  // Main window
  WindowHandle mainWindow;
  cairo_surface_t* imageBN;
  cairo_surface_t* imageBE;
  cairo_surface_t* imageBP;
  cairo_surface_t* imageBA;
  cairo_surface_t* imageBQ;
  cairo_surface_t* imageGO;
  cairo_surface_t* imageBRAVO;
  cairo_surface_t* imageFondO;

  // Notification area
  TrayIcon trayIcon;

  // Video capture
  uint8_t videoCapture;
  uint8_t pendingVideoCapture;
  VideoRecorder video;

  // Clock and board
  GameClock clock;
  Playfield playfield;

  // Game tables and images
  PieceTable pieceTable;
  BoardCell ghostCells[4];
  cairo_surface_t* blockImages[10];
  cairo_surface_t* ghostImage;

  // Sound
  uint8_t midiOpen;

  // Lists: records are appended and never removed, so their addresses stay valid.
  std::deque<WidgetWindow> windows;
  std::deque<Widget> widgets;
  std::deque<ImageButton> imageButtons;
  std::deque<KeyCaptureRecord> keyCaptures;
};

extern GameState gameState;
