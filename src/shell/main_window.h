// The main window's handler: its contents, its five commands, the notification icon.
#pragma once

#include <cstdint>

#include "platform/platform.h"

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
