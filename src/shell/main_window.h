// The main window's handler: its contents, its five commands, the notification icon.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/tray.h"
#include "platform/windows.h"

struct WidgetWindow;

// The notification-area icon, filled the first time the window hides.
struct TrayIcon {
  bool filled;
  WindowHandle window;
  uint32_t id;
  uint32_t callbackMessage;
  std::string tip;
  std::vector<IconImage> images;
};

// The main window's own record: its button images, the opaque panel, the notification icon.
struct Shell {
  cairo_surface_t* imageBN;
  cairo_surface_t* imageBE;
  cairo_surface_t* imageBP;
  cairo_surface_t* imageBA;
  cairo_surface_t* imageBQ;
  cairo_surface_t* imageFondO;
  TrayIcon trayIcon;
  bool programIconGiven;
};

extern Shell shell;

// Sent by the notification icon, with the mouse message in lParam.
inline constexpr uint32_t WM_TRAY_CALLBACK = WM_USER + 100;

// Command ids of the five buttons.
inline constexpr int kCommandNewGame = 1;
inline constexpr int kCommandClearList = 2;
inline constexpr int kCommandPreferences = 3;
inline constexpr int kCommandHelp = 4;
inline constexpr int kCommandQuit = 5;

intptr_t MainWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam);
// Adds the notification icon; true when a notification area shows it.
bool ShowTrayIcon(WindowHandle window);
// Draws the opaque panel behind the well when the player chose it.
void DrawOpaquePanel(const WidgetWindow* record);
