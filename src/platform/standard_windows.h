// Ordinary windows with a frame, the controls the preferences window uses, and the browser
// control that shows the help page.
#pragma once

#include <string>

#include "platform/windows.h"

// An ordinary top-level window with a title bar and a close box, not resizable, owned by
// `owner`, whose outer frame is `width` x `height` at (x, y). The procedure receives WM_CREATE
// before this returns (controls are created then); the window is shown after that. The close box
// sends WM_CLOSE. Returns null when the window cannot be made.
WindowHandle PlatformCreateStandardWindow(const std::string& title, int x, int y, int width,
                                          int height, WindowHandle owner, WindowProc procedure);

// The size of the window's client area, inside its frame and title bar.
void PlatformClientSize(WindowHandle window, int* width, int* height);

enum class ControlKind { groupBox, checkBox, label, editField, pushButton };

// A control at client coordinates of `parent`. Clicking a check box toggles it; clicking a check
// box or a push button sends WM_COMMAND to the parent's procedure with wParam `id` and lParam the
// control's handle.
WindowHandle PlatformCreateControl(WindowHandle parent, ControlKind kind, const std::string& text,
                                   int x, int y, int width, int height, int id, bool enabled);
// The font of a control: the family (the desktop's sans-serif where it is missing), its height
// in pixels, bold or not.
void PlatformSetControlFont(WindowHandle control, const std::string& family, int pixelHeight,
                            bool bold);
void PlatformSetCheck(WindowHandle control, bool checked);
bool PlatformGetCheck(WindowHandle control);
void PlatformSetWindowText(WindowHandle window, const std::string& text);
std::string PlatformGetWindowText(WindowHandle window);

// Gives an edit field a procedure of its own, which receives the field's WM_KEYDOWN, WM_CHAR
// and WM_SYSKEYDOWN (Alt combinations and F10) messages before the field does. A message the
// procedure does not pass on to the returned previous procedure never reaches the field.
WindowProc PlatformSubclassWindow(WindowHandle control, WindowProc procedure);

// The browser control

// A web view filling (x, y, width, height) of `parent`; null when none can be made. The web
// engine is loaded on first use only.
WindowHandle PlatformCreateBrowser(WindowHandle parent, int x, int y, int width, int height);
void PlatformBrowserNavigate(WindowHandle browser, const std::string& address);
bool PlatformBrowserBusy(WindowHandle browser);
// Handles every message waiting now, without waiting for more.
void PlatformDispatchPending();
// The address (a file: URI, plain ASCII) of the file `fileName` in the running program's
// directory. The directory's name is taken as the file system gives it, never as
// Windows-1252 text, and escaped as an address needs; empty when no address can be made.
std::string PlatformProgramFileAddress(const std::string& fileName);
