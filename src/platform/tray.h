// The program's icon: on its windows and in the notification area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/windows.h"

struct IconImage {
  const unsigned char* png;
  size_t size;
};

// Adds the icon to the notification area. A left click on it sends `callbackMessage` to the
// window with lParam WM_LBUTTONDOWN. Returns false, leaving no icon, when no notification area
// shows it.
// Every window, those shown already and those made later, shows this icon (to the window
// manager and task switcher), chosen among PNG images of several sizes.
void PlatformSetProgramIcon(const IconImage* images, int imageCount);

bool PlatformAddTrayIcon(WindowHandle window, uint32_t callbackMessage, const std::string& tip,
                         const IconImage* images, int imageCount);
void PlatformRemoveTrayIcon(WindowHandle window);
