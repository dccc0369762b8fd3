// Game controllers through SDL2's game-controller subsystem, for both backends. SDL and the
// subsystem weigh some 6 MB, and most players have no pad: they are started only once an event
// device that looks like one exists, or at once when devices are named for SDL in
// SDL_JOYSTICK_DEVICE. Until then the device directory is watched for new devices. The
// subsystem is started by the first tick of the window's pad timer, once the window shows, so
// that start-up does not wait for SDL's device scan; from then on SDL follows plugs and unplugs
// itself. Only joysticks SDL knows a mapping for are opened; others are left alone.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/gamepad.h"
#include "platform/sdl/pad_devices.h"

namespace {

constexpr const char* kInputDirectory = "/dev/input";
constexpr uintptr_t kPadTimer = 0x9AD;
constexpr uint32_t kFirstPollDelay = 250;
// Between polls: often enough for play while a controller is plugged in, rarely otherwise.
constexpr uint32_t kPlayPollPeriod = 16;
constexpr uint32_t kIdlePollPeriod = 1000;

// A held left or right and the tick of its next repeat.
struct HeldDirection {
  bool held;
  uint32_t nextRepeat;
};

struct PadWatch {
  WindowHandle window;
  PadProc procedure;
  bool started;
  bool polling;
  uint32_t period;
  // The desktop's key repeat, which held left and right follow.
  uint32_t repeatDelay;
  uint32_t repeatPeriod;
  std::vector<SDL_GameController*> controllers;
  std::array<HeldDirection, 2> directions;  // left, right
};

PadWatch watch;

std::optional<PadButton> ButtonOf(uint8_t button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
      return PadButton::left;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
      return PadButton::right;
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
      return PadButton::up;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
      return PadButton::down;
    case SDL_CONTROLLER_BUTTON_A:
      return PadButton::south;
    case SDL_CONTROLLER_BUTTON_B:
      return PadButton::east;
    case SDL_CONTROLLER_BUTTON_X:
      return PadButton::west;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER:
      return PadButton::rightShoulder;
    case SDL_CONTROLLER_BUTTON_START:
      return PadButton::start;
    case SDL_CONTROLLER_BUTTON_BACK:
      return PadButton::back;
    default:
      return std::nullopt;
  }
}

HeldDirection* DirectionOf(PadButton button) {
  if (button == PadButton::left) return &watch.directions[0];
  if (button == PadButton::right) return &watch.directions[1];
  return nullptr;
}

void Report(PadButton button) {
  if (!PlatformWindowVisible(watch.window) || !PlatformWindowEnabled(watch.window) ||
      PlatformInputHeldOff()) {
    return;
  }
  watch.procedure(watch.window, button);
}

void OpenController(int deviceIndex) {
  SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  for (SDL_GameController* controller : watch.controllers) {
    if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller)) == id) return;
  }
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (controller == nullptr) return;
  watch.controllers.push_back(controller);
  // Read once a pad is there, so that a program without one never looks at the settings.
  PlatformKeyRepeat(&watch.repeatDelay, &watch.repeatPeriod);
}

void CloseController(SDL_JoystickID id) {
  auto unplugged = std::find_if(
      watch.controllers.begin(), watch.controllers.end(), [id](SDL_GameController* controller) {
        return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller)) == id;
      });
  if (unplugged == watch.controllers.end()) return;
  SDL_GameControllerClose(*unplugged);
  watch.controllers.erase(unplugged);
  watch.directions = {};
}

void PressButton(uint8_t sdlButton, uint32_t tick) {
  std::optional<PadButton> button = ButtonOf(sdlButton);
  if (!button) return;
  if (HeldDirection* direction = DirectionOf(*button))
    *direction = {true, tick + watch.repeatDelay};
  Report(*button);
}

void ReleaseButton(uint8_t sdlButton) {
  std::optional<PadButton> button = ButtonOf(sdlButton);
  if (!button) return;
  if (HeldDirection* direction = DirectionOf(*button)) direction->held = false;
}

void HandleEvent(const SDL_Event& event, uint32_t tick) {
  switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
      OpenController(event.cdevice.which);
      break;
    case SDL_CONTROLLERDEVICEREMOVED:
      CloseController(event.cdevice.which);
      break;
    case SDL_CONTROLLERBUTTONDOWN:
      PressButton(event.cbutton.button, tick);
      break;
    case SDL_CONTROLLERBUTTONUP:
      ReleaseButton(event.cbutton.button);
      break;
    default:
      break;
  }
}

void RepeatHeldDirections(uint32_t tick) {
  for (PadButton button : {PadButton::left, PadButton::right}) {
    HeldDirection* direction = DirectionOf(button);
    if (!direction->held || static_cast<int32_t>(tick - direction->nextRepeat) < 0) continue;
    // Repeats keep their period between the polls; after a long pause they start afresh
    // rather than catch up.
    direction->nextRepeat += watch.repeatPeriod;
    if (static_cast<int32_t>(tick - direction->nextRepeat) >= 0) {
      direction->nextRepeat = tick + watch.repeatPeriod;
    }
    Report(button);
  }
}

// SDL announces the controllers already plugged in, as later ones, with
// SDL_CONTROLLERDEVICEADDED.
bool StartControllers() {
  return SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0 ||
         SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

void PollTimerProc(WindowHandle window, uint32_t, uintptr_t, uint32_t tick);

void SetPollPeriod(uint32_t period) {
  if (period == watch.period) return;
  watch.period = period;
  PlatformSetTimer(watch.window, kPadTimer, period, PollTimerProc);
}

// A press can end a game, whose name prompt runs the message loop and so this timer again: the
// inner ticks are skipped.
void PollTimerProc(WindowHandle window, uint32_t, uintptr_t, uint32_t tick) {
  if (window != watch.window || watch.polling) return;
  if (!watch.started) {
    watch.started = true;
    if (!StartControllers()) {
      PlatformKillTimer(window, kPadTimer);
      return;
    }
  }
  watch.polling = true;
  SDL_Event event;
  while (SDL_PollEvent(&event)) HandleEvent(event, tick);
  RepeatHeldDirections(tick);
  watch.polling = false;
  SetPollPeriod(watch.controllers.empty() ? kIdlePollPeriod : kPlayPollPeriod);
}

void StartPolling() {
  watch.period = kFirstPollDelay;
  PlatformSetTimer(watch.window, kPadTimer, kFirstPollDelay, PollTimerProc);
}

bool StartPollingIfPadPresent() {
  if (!PadDevicePresent(kInputDirectory)) return false;
  StartPolling();
  return true;
}

}  // namespace

void PlatformWatchGamepads(WindowHandle window, PadProc procedure) {
  StopWatchingInputDirectory();
  for (SDL_GameController* controller : watch.controllers) SDL_GameControllerClose(controller);
  watch = PadWatch{};
  watch.window = window;
  watch.procedure = procedure;
  if (std::getenv("SDL_JOYSTICK_DEVICE") != nullptr) {
    StartPolling();
    return;
  }
  // Watching before looking, so that a pad plugged in meanwhile is not missed.
  WatchInputDirectory(kInputDirectory, StartPollingIfPadPresent);
  if (StartPollingIfPadPresent()) StopWatchingInputDirectory();
}
