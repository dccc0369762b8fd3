// Pointer and keyboard input: the parameters of the input messages, capture and focus.
#pragma once

#include <cstdint>

#include "platform/windows.h"

// Virtual-key codes delivered in the word parameter of WM_KEYDOWN.
inline constexpr int VK_BACK = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;
inline constexpr int VK_PRIOR = 33;
inline constexpr int VK_NEXT = 34;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_NUMPAD0 = 96;
inline constexpr int VK_F1 = 112;

// Mouse messages carry the client x in the low 16 bits of lParam and y in the high 16 bits.
inline intptr_t MakePointParam(int x, int y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) |
                               static_cast<uint32_t>(x & 0xFFFF));
}

// While the window holds the capture, the pointer leaving it is delivered as a WM_MOUSEMOVE
// whose point lies outside the window.
void PlatformSetCapture(WindowHandle window);
void PlatformReleaseCapture();
void PlatformSetFocus(WindowHandle window);
