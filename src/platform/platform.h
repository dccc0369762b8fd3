// The services Kestrow asks of the system, in the game's own vocabulary: windows with window
// procedures and numbered messages, timers, message loops, the clock, message boxes and the
// notification icon. One backend is linked per build: gtk/ for the real desktop, headless/ for
// tests. Texts crossing this interface are Windows-1252 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// Message-box buttons and answers.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// --- Process -------------------------------------------------------------------------------

// Connects to the display (or sets up the in-memory one). Called once before anything else.
void PlatformStart();
// Releases what the backend still holds: its windows and its display connection.
void PlatformShutdown();

// --- Clock ---------------------------------------------------------------------------------

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t PlatformTickCount();
// Blocks the calling thread; no message is handled meanwhile.
void PlatformSleep(uint32_t milliseconds);

// --- Screen --------------------------------------------------------------------------------

int PlatformScreenWidth();
int PlatformScreenHeight();

// --- Windows and messages ------------------------------------------------------------------

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

// A rectangle of pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Replaces the window's whole image by the given premultiplied ARGB32 pixels (cairo's image
// format) and shows it at once, also from inside a blocking sleep. Nothing outside `changed`
// differs from the image of the previous push (the whole image when that is not known), so
// nothing else needs to be looked at.
void PlatformUpdateLayeredWindow(WindowHandle window, const unsigned char* pixels, int width,
                                 int height, int stride, PixelRect changed);

void PlatformShowWindow(WindowHandle window, bool show);
bool PlatformWindowVisible(WindowHandle window);
void PlatformEnableWindow(WindowHandle window, bool enable);
bool PlatformWindowEnabled(WindowHandle window);

// While the window holds the capture, the pointer leaving it is delivered as a WM_MOUSEMOVE
// whose point lies outside the window.
void PlatformSetCapture(WindowHandle window);
void PlatformReleaseCapture();
void PlatformSetFocus(WindowHandle window);

// --- Standard windows and controls ----------------------------------------------------------

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

// --- Browser control -----------------------------------------------------------------------

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

// --- Dialogs -------------------------------------------------------------------------------

// A modal message box owned by `owner` (may be null); the timers go on meanwhile. Enter answers
// the first button. Returns IDOK, IDYES or IDNO.
int PlatformMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                       uint32_t style);

// A modal prompt titled `title`: a label, a single-line field holding `defaultText` with the
// caret after it, and an "OK" button; no close box. Enter or "OK" returns the field's text,
// Escape the empty text. At most `maxLength` characters can be typed. The timers go on meanwhile.
std::string PlatformPromptText(WindowHandle owner, const std::string& title,
                               const std::string& prompt, const std::string& defaultText,
                               int maxLength);

// The compression of a video recording, as the compression dialog edits it.
struct CompressionOptions {
  std::string encoder;   // the name of the chosen encoder (CompressionChoice::encoder)
  int keyFrameInterval;  // a key frame every this many frames; 1 makes every frame a key frame
  int dataRate;          // kilobytes per second; 0 leaves the size to the encoder's own quality
};

// An encoder the compression dialog offers: its name and the text shown for it.
struct CompressionChoice {
  std::string encoder;
  std::string label;
};

// The modal compression dialog owned by `owner`: the encoder, the key-frame interval and the
// data rate, "OK" and "Annuler"; Enter confirms. It opens on `options`; when confirmed it writes
// the choice back into them and returns true, cancelled it leaves them and returns false. The
// timers go on meanwhile.
bool PlatformCompressionDialog(WindowHandle owner, const std::vector<CompressionChoice>& choices,
                               CompressionOptions* options);

// --- Notification icon ---------------------------------------------------------------------

struct IconImage {
  const unsigned char* png;
  size_t size;
};

// Adds the icon to the notification area. A left click on it sends `callbackMessage` to the
// window with lParam WM_LBUTTONDOWN. Returns false, leaving no icon, when no notification area
// shows it.
bool PlatformAddTrayIcon(WindowHandle window, uint32_t callbackMessage, const std::string& tip,
                         const IconImage* images, int imageCount);
void PlatformRemoveTrayIcon(WindowHandle window);

// --- Audio output --------------------------------------------------------------------------

// Fills `frameCount` frames of interleaved signed 16-bit samples, one sample per channel each.
using AudioRenderProc = void (*)(int16_t* frames, int frameCount);

// Starts the one audio output: from then on `render` is called, on a thread of its own, for
// every block of frames the output plays. Without a usable sound device the output is a silent
// one that still calls `render` at the same pace. Opening it again changes nothing.
void PlatformOpenAudio(int sampleRate, int channels, AudioRenderProc render);
// `render` does not run between these two; what it reads is changed only between them. The
// output may rest while everything it renders is silent; a change made between these two wakes
// it.
void PlatformLockAudio();
void PlatformUnlockAudio();

// --- Network -------------------------------------------------------------------------------

// Runs `work` on a thread of its own while the calling thread goes on dispatching timers and
// painting, as a nested message loop does. Meanwhile no window takes input, but the main
// window's close still gets through. Returns true once `work` has ended; false as soon as the
// program is ending (a termination signal, the main window closed) even if `work` still runs:
// then `work` finishes on its own, so it must own everything it touches.
bool PlatformRunInBackground(std::function<void()> work);

// The hardware address of the first network adapter the system lists that has a 6-byte address
// and is not the loopback. Returns false when there is none.
bool PlatformAdapterAddress(unsigned char address[6]);
