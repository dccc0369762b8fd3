// Controls of the in-memory backend, for tests: a virtual clock, injected input, scripted dialog
// answers, and the images the program pushed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"

// Forgets every window, timer, message and dialog, and sets the screen size and the clock.
void HeadlessReset(int screenWidth = 1024, int screenHeight = 768);

// Device pixels per logical pixel from now on (1 after a reset).
void HeadlessSetDisplayScale(int scale);
// The desktop's key repeat delay and period in milliseconds (500 and 33 after a reset).
void HeadlessSetKeyRepeat(uint32_t delay, uint32_t period);

// Called by the message loops whenever nothing is waiting; returning false ends the run: the
// main window is sent WM_CLOSE and every loop ends once nothing more is waiting.
void HeadlessSetIdle(std::function<bool()> idle);

// Moves the virtual clock forward, firing the timers that fall due on the way, in order, and
// handling the messages they post.
void HeadlessAdvance(uint32_t milliseconds);

// The first layered window still open (the main window), or null.
WindowHandle HeadlessMainWindow();

// Input, posted to the main window as the GTK backend delivers it.
void HeadlessMoveMouse(int x, int y);
void HeadlessPressButton(int x, int y);
void HeadlessReleaseButton(int x, int y);
void HeadlessClick(int x, int y);
// A key-down, followed by its character when it has one (0 for none).
void HeadlessPressKey(int virtualKey, int character = 0);
void HeadlessCloseRequest();
// Handles every posted message now (also from inside an idle callback).
void HeadlessDispatchPending();

// Logical pixel (x, y) of the window's last pushed image, unpremultiplied 0xAARRGGBB: the
// top-left device pixel of it.
uint32_t HeadlessPixel(WindowHandle window, int x, int y);
int HeadlessPushCount(WindowHandle window);
// With keeping off, pushes are counted but their pixels are not copied (for benchmarks).
void HeadlessKeepPushedImages(bool keep);
// Pushes since the reset whose image differed from the previous one outside the area they
// announced as changed (the GTK backend would not have shown those pixels).
int HeadlessChangesOutsideTheirArea();
struct HeadlessWindowState {
  std::string title;
  int x, y, width, height;
  bool visible, enabled, focused, captured;
};
HeadlessWindowState HeadlessWindow(WindowHandle window);

// Message boxes: every one shown is recorded; answers are taken from the queue, else the first
// button answers.
struct HeadlessDialog {
  std::string title;
  std::string text;
  uint32_t style;
  int answer;
};
const std::vector<HeadlessDialog>& HeadlessDialogs();
void HeadlessQueueAnswer(int answer);

// Text prompts: every one shown is recorded with its default text; answers are taken from the
// queue, else the default text is returned as if Enter was pressed.
struct HeadlessPrompt {
  std::string title;
  std::string prompt;
  std::string defaultText;
  int maxLength;
  std::string answer;
};
const std::vector<HeadlessPrompt>& HeadlessPrompts();
void HeadlessQueuePromptAnswer(const std::string& answer);

// Compression dialogs: every one shown is recorded with the encoders offered and the options it
// opened on. Answers are taken from the queue, else the dialog is confirmed as shown (Enter).
struct HeadlessCompressionDialog {
  std::vector<CompressionChoice> choices;
  CompressionOptions shown;
  bool confirmed;
};
const std::vector<HeadlessCompressionDialog>& HeadlessCompressionDialogs();
// The next dialog is confirmed with these options, as if the user had chosen them.
void HeadlessQueueCompressionAnswer(const CompressionOptions& options);
void HeadlessQueueCompressionCancel();

// Standard windows and their controls.
// The live standard window with this title, or null.
WindowHandle HeadlessFindWindow(const std::string& title);
std::vector<WindowHandle> HeadlessControls(WindowHandle window);
struct HeadlessControlState {
  ControlKind kind;
  std::string text;
  int x, y, width, height;
  int id;
  bool enabled, checked;
  std::string fontFamily;
  int fontHeight;
  bool bold;
};
HeadlessControlState HeadlessControl(WindowHandle control);
// The first control of the window showing this text, or null.
WindowHandle HeadlessFindControl(WindowHandle window, const std::string& text);
// A click: toggles a check box, then posts its command to the window (nothing when disabled).
void HeadlessClickControl(WindowHandle control);
// A key pressed in a control: WM_KEYDOWN (or WM_SYSKEYDOWN when `system`), then its character.
void HeadlessTypeInControl(WindowHandle control, int virtualKey, int character = 0,
                           bool system = false);
// The close box of a standard window.
void HeadlessCloseWindow(WindowHandle window);
// The addresses a browser control was sent to, in order.
std::vector<std::string> HeadlessBrowserAddresses(WindowHandle window);

// The notification area: whether one exists, whether the icon shows, and clicks on it.
void HeadlessSetTrayAvailable(bool available);
bool HeadlessTrayIconShown();
void HeadlessClickTrayIcon(uint32_t mouseMessage);

// The audio output: the frames rendered since it opened or since the last HeadlessClearAudio,
// interleaved by channel. The frames of elapsed virtual time are rendered each time the clock
// moves: a sound started at tick T begins within a frame of (T - clear tick) * rate / 1000.
const std::vector<int16_t>& HeadlessAudio();
void HeadlessClearAudio();
// The output's format; 0 while it is not open.
int HeadlessAudioRate();
int HeadlessAudioChannels();

// The network adapter: after a reset the machine has one, 02:4B:45:53:54:52; null removes it.
void HeadlessSetAdapterAddress(const unsigned char* address);
