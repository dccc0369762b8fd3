// Game controllers, plugged in before or while the game runs. Each press of a button the game
// uses reaches one procedure on the message loop's thread; a held left or right is reported
// again after the key-repeat delay, then at the key-repeat rate, as a held key is.
#pragma once

#include <cstdint>

#include "platform/windows.h"

enum class PadButton { left, right, up, down, south, east, west, rightShoulder, start, back };

using PadProc = void (*)(WindowHandle window, PadButton button);

// Watches the controllers for the window until it is destroyed. The controller service starts
// after the window shows, on the window's own timer, once a device that looks like a controller
// is plugged in (at once when SDL_JOYSTICK_DEVICE names devices); without it, or without a known
// controller, nothing is reported and nothing printed. Presses are dropped while the window is
// hidden or disabled, and while the player's input is held off, as keys are.
void PlatformWatchGamepads(WindowHandle window, PadProc procedure);

// The desktop's key repeat: a held key repeats `*delay` milliseconds after its press, then every
// `*period` milliseconds.
void PlatformKeyRepeat(uint32_t* delay, uint32_t* period);
