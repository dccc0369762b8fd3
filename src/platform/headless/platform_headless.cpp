// The in-memory backend: windows are records, time is a virtual millisecond clock that only
// sleeps and tests move, and input comes from the test.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "platform/dialogs.h"
#include "platform/gamepad.h"
#include "platform/headless/audio_headless.h"
#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/input.h"
#include "platform/network.h"
#include "platform/pixels.h"
#include "platform/standard_windows.h"
#include "platform/tray.h"
#include "platform/windows.h"

namespace {

struct Timer {
  WindowHandle window;
  uintptr_t id;
  uint32_t period;
  uint32_t due;
  TimerProc procedure;
};

struct PostedMessage {
  WindowHandle window;
  uint32_t message;
  intptr_t wParam;
  intptr_t lParam;
};

struct Backend {
  int screenWidth = 1024;
  int displayScale = 1;
  uint32_t keyRepeatDelay = 500;
  uint32_t keyRepeatPeriod = 33;
  int screenHeight = 768;
  uint32_t now = 100000;
  std::vector<std::unique_ptr<PlatformWindow>> windows;
  std::vector<Timer> timers;
  std::deque<PostedMessage> queue;
  int pendingQuits = 0;
  bool finishing = false;
  std::function<bool()> idle;
  WindowHandle capture = nullptr;
  WindowHandle focus = nullptr;
  WindowHandle dragging = nullptr;
  int dragX = 0, dragY = 0;
  std::vector<HeadlessDialog> dialogs;
  std::deque<int> answers;
  std::vector<HeadlessPrompt> prompts;
  std::deque<std::string> promptAnswers;
  std::vector<HeadlessCompressionDialog> compressionDialogs;
  std::deque<std::optional<CompressionOptions>> compressionAnswers;
  bool keepPushedImages = true;
  int changesOutsideTheirArea = 0;
  bool trayAvailable = false;
  WindowHandle trayWindow = nullptr;
  uint32_t trayMessage = 0;
  bool adapterPresent = true;
  unsigned char adapterAddress[6] = {0x02, 0x4B, 0x45, 0x53, 0x54, 0x52};
};

Backend backend;

bool Live(WindowHandle window) {
  return window != nullptr && window->alive;
}

bool Accepts(WindowHandle window) {
  return Live(window) && window->visible && window->enabled;
}

}  // namespace

void HeadlessPost(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  backend.queue.push_back({window, message, wParam, lParam});
}

WindowHandle HeadlessAddWindow(std::unique_ptr<PlatformWindow> window) {
  WindowHandle handle = window.get();
  backend.windows.push_back(std::move(window));
  return handle;
}

std::vector<WindowHandle> HeadlessAllWindows() {
  std::vector<WindowHandle> all;
  for (auto& window : backend.windows) all.push_back(window.get());
  return all;
}

namespace {

void Post(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  HeadlessPost(window, message, wParam, lParam);
}

bool DispatchOne() {
  if (backend.queue.empty()) return false;
  PostedMessage posted = backend.queue.front();
  backend.queue.pop_front();
  if (Live(posted.window)) {
    posted.window->procedure(posted.window, posted.message, posted.wParam, posted.lParam);
  }
  return true;
}

const Timer* EarliestTimer() {
  const Timer* earliest = nullptr;
  for (const Timer& timer : backend.timers) {
    if (!Live(timer.window)) continue;
    if (!earliest || static_cast<int32_t>(timer.due - earliest->due) < 0) earliest = &timer;
  }
  return earliest;
}

// Fires the earliest timer due by now, once; overdue periods are merged into one call.
bool FireDueTimer() {
  auto* earliest = const_cast<Timer*>(EarliestTimer());
  if (!earliest || static_cast<int32_t>(backend.now - earliest->due) < 0) return false;
  while (static_cast<int32_t>(backend.now - earliest->due) >= 0) earliest->due += earliest->period;
  Timer fired = *earliest;
  fired.procedure(fired.window, WM_TIMER, fired.id, backend.now);
  return true;
}

void Finish() {
  backend.finishing = true;
  if (WindowHandle main = HeadlessMainWindow()) PlatformSendMessage(main, WM_CLOSE, 0, 0);
}

}  // namespace

void PlatformStart() {}

void PlatformShutdown() {
  for (auto& window : backend.windows) window->alive = false;
}

uint32_t PlatformTickCount() {
  return backend.now;
}

void PlatformSleep(uint32_t milliseconds) {
  backend.now += milliseconds;
  HeadlessRenderAudio();
}

int PlatformDisplayScale() {
  return backend.displayScale;
}

int PlatformScreenWidth() {
  return backend.screenWidth;
}
int PlatformScreenHeight() {
  return backend.screenHeight;
}

WindowHandle PlatformCreateLayeredWindow(const std::string& title, int x, int y, int width,
                                         int height, WindowProc procedure) {
  auto window = std::make_unique<PlatformWindow>();
  window->title = title;
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  window->procedure = procedure;
  WindowHandle handle = HeadlessAddWindow(std::move(window));
  procedure(handle, WM_CREATE, 0, 0);
  handle->visible = true;
  return handle;
}

void PlatformDestroyWindow(WindowHandle window) {
  if (!Live(window)) return;
  window->procedure(window, WM_DESTROY, 0, 0);
  window->alive = false;
  for (WindowHandle child : window->children) child->alive = false;
  window->visible = false;
  if (backend.capture == window) backend.capture = nullptr;
  if (backend.trayWindow == window) backend.trayWindow = nullptr;
}

intptr_t PlatformSendMessage(WindowHandle window, uint32_t message, intptr_t wParam,
                             intptr_t lParam) {
  if (!Live(window)) return 0;
  return window->procedure(window, message, wParam, lParam);
}

void PlatformPostQuitMessage(int) {
  ++backend.pendingQuits;
}

void PlatformRunMessageLoop() {
  for (;;) {
    if (DispatchOne()) continue;
    if (backend.pendingQuits > 0) {
      --backend.pendingQuits;
      return;
    }
    if (FireDueTimer()) continue;
    if (backend.finishing) return;
    if (!backend.idle || !backend.idle()) Finish();
  }
}

// The virtual clock stands still while the work runs, as if it took no time at all.
bool PlatformRunInBackground(std::function<void()> work) {
  work();
  return true;
}

void PlatformDispatchPending() {
  HeadlessDispatchPending();
}

void PlatformInvalidateWindow(WindowHandle window) {
  Post(window, WM_PAINT, 0, 0);
}

intptr_t PlatformDefWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t) {
  if (message == WM_NCLBUTTONDOWN && wParam == HTCAPTION) backend.dragging = window;
  return 0;
}

void PlatformSetWindowProperty(WindowHandle window, const char* name, void* value) {
  window->properties[name] = value;
}

void* PlatformGetWindowProperty(WindowHandle window, const char* name) {
  auto found = window->properties.find(name);
  return found == window->properties.end() ? nullptr : found->second;
}

void PlatformSetTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds,
                      TimerProc procedure) {
  PlatformKillTimer(window, timerId);
  backend.timers.push_back({window, timerId, milliseconds, backend.now + milliseconds, procedure});
}

void PlatformKillTimer(WindowHandle window, uintptr_t timerId) {
  std::erase_if(backend.timers,
                [&](const Timer& timer) { return timer.window == window && timer.id == timerId; });
}

// Whether a pixel outside `changed` differs from the image of the previous push.
bool ChangedOutside(const std::vector<uint32_t>& image, const unsigned char* pixels, int width,
                    int height, int stride, PixelRect changed) {
  if (image.size() != static_cast<size_t>(width) * height) return false;
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(pixels + y * stride);
    bool rowInside = y >= changed.y && y < changed.y + changed.height;
    for (int x = 0; x < width; ++x) {
      if (rowInside && x >= changed.x && x < changed.x + changed.width) continue;
      if (row[x] != image[static_cast<size_t>(y) * width + x]) return true;
    }
  }
  return false;
}

void PlatformUpdateLayeredWindow(WindowHandle window, const unsigned char* pixels, int width,
                                 int height, int stride, int scale, PixelRect changed) {
  ++window->pushCount;
  if (!backend.keepPushedImages) return;
  if (ChangedOutside(window->image, pixels, width, height, stride, changed)) {
    ++backend.changesOutsideTheirArea;
  }
  window->image.resize(static_cast<size_t>(width) * height);
  window->imageWidth = width;
  window->imageScale = scale;
  for (int y = 0; y < height; ++y) {
    std::memcpy(&window->image[static_cast<size_t>(y) * width], pixels + y * stride,
                static_cast<size_t>(width) * 4);
  }
}

// Background work ends before anything else runs.
bool PlatformInputHeldOff() {
  return false;
}

void PlatformKeyRepeat(uint32_t* delay, uint32_t* period) {
  *delay = backend.keyRepeatDelay;
  *period = backend.keyRepeatPeriod;
}

void HeadlessSetKeyRepeat(uint32_t delay, uint32_t period) {
  backend.keyRepeatDelay = delay;
  backend.keyRepeatPeriod = period;
}

void PlatformShowWindow(WindowHandle window, bool show) {
  window->visible = show;
}
bool PlatformWindowVisible(WindowHandle window) {
  return window->visible;
}
void PlatformEnableWindow(WindowHandle window, bool enable) {
  window->enabled = enable;
}
bool PlatformWindowEnabled(WindowHandle window) {
  return window->enabled;
}

void PlatformSetCapture(WindowHandle window) {
  backend.capture = window;
}
void PlatformReleaseCapture() {
  backend.capture = nullptr;
}
void PlatformSetFocus(WindowHandle window) {
  backend.focus = window;
}

int PlatformMessageBox(WindowHandle, const std::string& text, const std::string& title,
                       uint32_t style) {
  int answer = (style & 0xF) == MB_YESNO ? IDYES : IDOK;
  if (!backend.answers.empty()) {
    answer = backend.answers.front();
    backend.answers.pop_front();
  }
  backend.dialogs.push_back({title, text, style, answer});
  return answer;
}

std::string PlatformPromptText(WindowHandle, const std::string& title, const std::string& prompt,
                               const std::string& defaultText, int maxLength) {
  std::string answer = defaultText;
  if (!backend.promptAnswers.empty()) {
    answer = backend.promptAnswers.front();
    backend.promptAnswers.pop_front();
  }
  backend.prompts.push_back({title, prompt, defaultText, maxLength, answer});
  return answer;
}

bool PlatformCompressionDialog(WindowHandle, const std::vector<CompressionChoice>& choices,
                               CompressionOptions* options) {
  std::optional<CompressionOptions> answer = *options;
  if (!backend.compressionAnswers.empty()) {
    answer = backend.compressionAnswers.front();
    backend.compressionAnswers.pop_front();
  }
  backend.compressionDialogs.push_back({choices, *options, answer.has_value()});
  if (answer) *options = *answer;
  return answer.has_value();
}

bool PlatformAdapterAddress(unsigned char address[6]) {
  if (!backend.adapterPresent) return false;
  std::memcpy(address, backend.adapterAddress, 6);
  return true;
}

void PlatformSetProgramIcon(const IconImage*, int) {}

bool PlatformAddTrayIcon(WindowHandle window, uint32_t callbackMessage, const std::string&,
                         const IconImage*, int) {
  if (!backend.trayAvailable) return false;
  backend.trayWindow = window;
  backend.trayMessage = callbackMessage;
  return true;
}

void PlatformRemoveTrayIcon(WindowHandle) {
  backend.trayWindow = nullptr;
}

// --- Test controls -------------------------------------------------------------------------

void HeadlessReset(int screenWidth, int screenHeight) {
  backend = Backend{};
  HeadlessResetAudio();
  backend.screenWidth = screenWidth;
  backend.screenHeight = screenHeight;
}

void HeadlessSetDisplayScale(int scale) {
  backend.displayScale = scale;
}

void HeadlessSetIdle(std::function<bool()> idle) {
  backend.idle = std::move(idle);
}

void HeadlessAdvance(uint32_t milliseconds) {
  uint32_t target = backend.now + milliseconds;
  for (;;) {
    HeadlessDispatchPending();
    const Timer* next = EarliestTimer();
    if (next == nullptr || static_cast<int32_t>(next->due - target) > 0) break;
    if (static_cast<int32_t>(next->due - backend.now) > 0) backend.now = next->due;
    HeadlessRenderAudio();
    FireDueTimer();
  }
  if (static_cast<int32_t>(target - backend.now) > 0) backend.now = target;
  HeadlessRenderAudio();
  HeadlessDispatchPending();
}

WindowHandle HeadlessMainWindow() {
  for (auto& window : backend.windows) {
    if (window->alive && window->kind == HeadlessWindowKind::layered) return window.get();
  }
  return nullptr;
}

void HeadlessMoveMouse(int x, int y) {
  WindowHandle window = HeadlessMainWindow();
  if (!Accepts(window)) return;
  if (backend.dragging == window) {
    window->x += x - backend.dragX;
    window->y += y - backend.dragY;
    return;
  }
  bool inside = x >= 0 && y >= 0 && x < window->width && y < window->height;
  if (inside || backend.capture == window) Post(window, WM_MOUSEMOVE, 0, MakePointParam(x, y));
}

void HeadlessPressButton(int x, int y) {
  WindowHandle window = HeadlessMainWindow();
  if (!Accepts(window)) return;
  backend.dragX = x;
  backend.dragY = y;
  Post(window, WM_LBUTTONDOWN, 1, MakePointParam(x, y));
}

void HeadlessReleaseButton(int x, int y) {
  WindowHandle window = HeadlessMainWindow();
  if (backend.dragging) {
    backend.dragging = nullptr;
    return;
  }
  if (Accepts(window)) Post(window, WM_LBUTTONUP, 0, MakePointParam(x, y));
}

void HeadlessClick(int x, int y) {
  HeadlessMoveMouse(x, y);
  HeadlessPressButton(x, y);
  HeadlessReleaseButton(x, y);
}

void HeadlessPressKey(int virtualKey, int character) {
  WindowHandle window = HeadlessMainWindow();
  if (!Accepts(window)) return;
  Post(window, WM_KEYDOWN, virtualKey, 0);
  if (character) Post(window, WM_CHAR, character, 0);
}

void HeadlessCloseRequest() {
  if (WindowHandle window = HeadlessMainWindow()) Post(window, WM_CLOSE, 0, 0);
}

void HeadlessDispatchPending() {
  while (DispatchOne()) {
  }
}

uint32_t HeadlessPixel(WindowHandle window, int x, int y) {
  int scale = window->imageScale;
  uint32_t p = window->image.at(static_cast<size_t>(y) * scale * window->imageWidth + x * scale);
  uint32_t a = p >> 24;
  if (a == 0) return 0;
  auto channel = [&](int shift) { return (((p >> shift) & 0xFF) * 255 + a / 2) / a; };
  return (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

int HeadlessPushCount(WindowHandle window) {
  return window->pushCount;
}

void HeadlessKeepPushedImages(bool keep) {
  backend.keepPushedImages = keep;
}

int HeadlessChangesOutsideTheirArea() {
  return backend.changesOutsideTheirArea;
}

HeadlessWindowState HeadlessWindow(WindowHandle window) {
  return {window->title,
          window->x,
          window->y,
          window->width,
          window->height,
          window->visible,
          window->enabled,
          backend.focus == window,
          backend.capture == window};
}

const std::vector<HeadlessDialog>& HeadlessDialogs() {
  return backend.dialogs;
}

void HeadlessQueueAnswer(int answer) {
  backend.answers.push_back(answer);
}

const std::vector<HeadlessPrompt>& HeadlessPrompts() {
  return backend.prompts;
}

void HeadlessQueuePromptAnswer(const std::string& answer) {
  backend.promptAnswers.push_back(answer);
}

const std::vector<HeadlessCompressionDialog>& HeadlessCompressionDialogs() {
  return backend.compressionDialogs;
}

void HeadlessQueueCompressionAnswer(const CompressionOptions& options) {
  backend.compressionAnswers.push_back(options);
}

void HeadlessQueueCompressionCancel() {
  backend.compressionAnswers.push_back(std::nullopt);
}

void HeadlessSetTrayAvailable(bool available) {
  backend.trayAvailable = available;
}

bool HeadlessTrayIconShown() {
  return backend.trayWindow != nullptr;
}

void HeadlessClickTrayIcon(uint32_t mouseMessage) {
  if (backend.trayWindow) Post(backend.trayWindow, backend.trayMessage, 1, mouseMessage);
}

void HeadlessSetAdapterAddress(const unsigned char* address) {
  backend.adapterPresent = address != nullptr;
  if (address) std::memcpy(backend.adapterAddress, address, 6);
}
