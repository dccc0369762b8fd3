// Windows in the game's own vocabulary: handles, window procedures that receive numbered
// messages, message loops, properties, timers, the clock and the screen. One backend is linked
// per build: gtk/ for the real desktop, headless/ for tests; the other platform headers build
// on this one. Texts crossing the platform are Windows-1252 bytes.
#pragma once

#include <cstdint>
#include <string>

using WindowHandle = struct PlatformWindow*;

// A window procedure receives every message of its window and returns the message's result.
using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, intptr_t wParam,
                                intptr_t lParam);

// A timer procedure is called directly by the message loop, not through the window procedure.
using TimerProc = void (*)(WindowHandle window, uint32_t message, uintptr_t timerId,
                           uint32_t tickCount);

// Message numbers.
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_USER = 0x0400;

// Hit code that turns WM_NCLBUTTONDOWN into a move of the window with the mouse.
inline constexpr intptr_t HTCAPTION = 2;

// Process
// Connects to the display (or sets up the in-memory one). Called once before anything else.
void PlatformStart();
// Releases what the backend still holds: its windows and its display connection.
void PlatformShutdown();

// Clock
// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t PlatformTickCount();
// Blocks the calling thread; no message is handled meanwhile.
void PlatformSleep(uint32_t milliseconds);

// Screen
// Sizes and positions are logical pixels; the display shows each as `scale` by `scale` device
// pixels (2 on a HiDPI screen), which images pushed to a window should be drawn at.
int PlatformScreenWidth();
int PlatformScreenHeight();
int PlatformDisplayScale();

// Windows and messages
// Creates a borderless, always-on-top window with per-pixel alpha and no task-bar entry, at
// (x, y) of the given size. The procedure receives WM_CREATE before this returns; the window is
// shown after that. Returns null when the window cannot be made.
WindowHandle PlatformCreateLayeredWindow(const std::string& title, int x, int y, int width,
                                         int height, WindowProc procedure);
// Sends WM_DESTROY to the window's procedure, then removes the window.
void PlatformDestroyWindow(WindowHandle window);
// Calls the window's procedure at once and returns its result.
intptr_t PlatformSendMessage(WindowHandle window, uint32_t message, intptr_t wParam,
                             intptr_t lParam);
// Ends the innermost running message loop once the current message has been handled.
void PlatformPostQuitMessage(int exitCode);
// Dispatches messages and timers of every window until a quit message is posted.
void PlatformRunMessageLoop();
// Asks for a WM_PAINT message to be delivered by the message loop.
void PlatformInvalidateWindow(WindowHandle window);
// The default handling of a message: WM_NCLBUTTONDOWN with HTCAPTION moves the window with the
// mouse until the button is released. Returns 0 for everything else.
intptr_t PlatformDefWindowProc(WindowHandle window, uint32_t message, intptr_t wParam,
                               intptr_t lParam);

void PlatformSetWindowProperty(WindowHandle window, const char* name, void* value);
void* PlatformGetWindowProperty(WindowHandle window, const char* name);

// Starts a periodic timer; the message loops call the procedure every `milliseconds`. Setting a
// timer that runs restarts it with the new period.
void PlatformSetTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds,
                      TimerProc procedure);
// Stops a timer, also from inside its own procedure.
void PlatformKillTimer(WindowHandle window, uintptr_t timerId);

// Whether the player's input goes nowhere for now: while background work runs no window takes
// input (see PlatformRunInBackground).
bool PlatformInputHeldOff();

void PlatformShowWindow(WindowHandle window, bool show);
bool PlatformWindowVisible(WindowHandle window);
void PlatformEnableWindow(WindowHandle window, bool enable);
bool PlatformWindowEnabled(WindowHandle window);
