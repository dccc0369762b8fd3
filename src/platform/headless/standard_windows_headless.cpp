// Standard windows, controls and the browser of the in-memory backend.
#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/input.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"

namespace {

// The client area lies inside a 3-pixel frame and a 25-pixel title bar.
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 28;

bool Live(WindowHandle window) {
  return window != nullptr && window->alive;
}

bool AcceptsInput(WindowHandle control) {
  return Live(control) && control->enabled && control->parent->enabled;
}

// What an edit field does with keys nobody else took: characters are typed, Backspace erases.
intptr_t EditFieldProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t) {
  if (message != WM_CHAR) return 0;
  if (wParam == VK_BACK) {
    if (!window->title.empty()) window->title.pop_back();
  } else if (wParam >= 32) {
    window->title += static_cast<char>(wParam);
  }
  return 0;
}

intptr_t PassiveControlProc(WindowHandle, uint32_t, intptr_t, intptr_t) {
  return 0;
}

}  // namespace

WindowHandle PlatformCreateStandardWindow(const std::string& title, int x, int y, int width,
                                          int height, WindowHandle owner, WindowProc procedure) {
  auto window = std::make_unique<PlatformWindow>();
  window->kind = HeadlessWindowKind::standard;
  window->title = title;
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  window->owner = owner;
  window->procedure = procedure;
  WindowHandle handle = HeadlessAddWindow(std::move(window));
  procedure(handle, WM_CREATE, 0, 0);
  handle->visible = true;
  return handle;
}

void PlatformClientSize(WindowHandle window, int* width, int* height) {
  bool framed = window->kind == HeadlessWindowKind::standard;
  *width = window->width - (framed ? kFrameWidth : 0);
  *height = window->height - (framed ? kFrameHeight : 0);
}

WindowHandle PlatformCreateControl(WindowHandle parent, ControlKind kind, const std::string& text,
                                   int x, int y, int width, int height, int id, bool enabled) {
  auto control = std::make_unique<PlatformWindow>();
  control->kind = HeadlessWindowKind::control;
  control->controlKind = kind;
  control->title = text;
  control->x = x;
  control->y = y;
  control->width = width;
  control->height = height;
  control->id = id;
  control->enabled = enabled;
  control->visible = true;
  control->parent = parent;
  control->procedure = kind == ControlKind::editField ? EditFieldProc : PassiveControlProc;
  WindowHandle handle = HeadlessAddWindow(std::move(control));
  parent->children.push_back(handle);
  return handle;
}

void PlatformSetControlFont(WindowHandle control, const std::string& family, int pixelHeight,
                            bool bold) {
  control->fontFamily = family;
  control->fontHeight = pixelHeight;
  control->bold = bold;
}

void PlatformSetCheck(WindowHandle control, bool checked) {
  control->checked = checked;
}
bool PlatformGetCheck(WindowHandle control) {
  return control->checked;
}
void PlatformSetWindowText(WindowHandle window, const std::string& text) {
  window->title = text;
}
std::string PlatformGetWindowText(WindowHandle window) {
  return window->title;
}

WindowProc PlatformSubclassWindow(WindowHandle control, WindowProc procedure) {
  WindowProc previous = control->procedure;
  control->procedure = procedure;
  return previous;
}

WindowHandle PlatformCreateBrowser(WindowHandle parent, int x, int y, int width, int height) {
  auto browser = std::make_unique<PlatformWindow>();
  browser->kind = HeadlessWindowKind::browser;
  browser->x = x;
  browser->y = y;
  browser->width = width;
  browser->height = height;
  browser->parent = parent;
  browser->visible = true;
  browser->procedure = PassiveControlProc;
  WindowHandle handle = HeadlessAddWindow(std::move(browser));
  parent->children.push_back(handle);
  return handle;
}

void PlatformBrowserNavigate(WindowHandle browser, const std::string& address) {
  browser->addresses.push_back(address);
}

bool PlatformBrowserBusy(WindowHandle) {
  return false;
}

// The program lies in "/headless/"; the names asked for need no escaping.
std::string PlatformProgramFileAddress(const std::string& fileName) {
  return "file:///headless/" + fileName;
}

// --- Test controls -------------------------------------------------------------------------

WindowHandle HeadlessFindWindow(const std::string& title) {
  for (WindowHandle window : HeadlessAllWindows()) {
    if (Live(window) && window->kind == HeadlessWindowKind::standard && window->title == title) {
      return window;
    }
  }
  return nullptr;
}

std::vector<WindowHandle> HeadlessControls(WindowHandle window) {
  return window->children;
}

HeadlessControlState HeadlessControl(WindowHandle control) {
  return {control->controlKind, control->title,      control->x,          control->y,
          control->width,       control->height,     control->id,         control->enabled,
          control->checked,     control->fontFamily, control->fontHeight, control->bold};
}

WindowHandle HeadlessFindControl(WindowHandle window, const std::string& text) {
  for (WindowHandle control : window->children) {
    if (control->title == text) return control;
  }
  return nullptr;
}

void HeadlessClickControl(WindowHandle control) {
  if (!AcceptsInput(control)) return;
  if (control->controlKind == ControlKind::checkBox) control->checked = !control->checked;
  bool commands = control->controlKind == ControlKind::checkBox ||
                  control->controlKind == ControlKind::pushButton;
  if (commands) {
    HeadlessPost(control->parent, WM_COMMAND, control->id, reinterpret_cast<intptr_t>(control));
  }
}

void HeadlessTypeInControl(WindowHandle control, int virtualKey, int character, bool system) {
  if (!AcceptsInput(control)) return;
  HeadlessPost(control, system ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, 0);
  if (character) HeadlessPost(control, WM_CHAR, character, 0);
}

void HeadlessCloseWindow(WindowHandle window) {
  if (Live(window)) HeadlessPost(window, WM_CLOSE, 0, 0);
}

std::vector<std::string> HeadlessBrowserAddresses(WindowHandle window) {
  return window->addresses;
}
