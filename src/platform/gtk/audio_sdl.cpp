// The audio output on SDL2's audio subsystem: one playback device whose callback asks the game
// for its frames. When no device can be opened (no sound card, no sound server), SDL's dummy
// driver takes its place, so the game runs the same way, silently.
//
// A device wakes its thread for every block even when it plays silence, which would cost the
// idle program more than everything else together. So the device is closed after a few seconds
// of silence and opened again when the game next changes what it plays. The first opening is
// done by the caller, which is the synthesizer's start thread, so that the first note is heard
// as soon as it is delivered; the later ones by a thread of its own, since finding a working
// driver can take a tenth of a second (a sound server that does not answer, then ALSA, then the
// dummy driver): no note waits for them.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/audio.h"

namespace {

using Clock = std::chrono::steady_clock;

// About 12 ms at 44 100 Hz: short enough for a note to follow its key press.
constexpr Uint16 kBlockFrames = 512;
// Silence for this long closes the device.
constexpr auto kIdleClose = std::chrono::seconds(5);

// Set once, by the first opening, from whichever thread makes it.
std::atomic<AudioRenderProc> renderProc{nullptr};
std::once_flag openedOnce;
int sampleRate = 0;
int channelCount = 0;

// The game's changes and the callback exclude each other through this lock, which exists
// whether the device is open or not.
std::mutex renderLock;

// The device's keeper: opens the device when it is wanted, closes it after silence.
struct Keeper {
  std::mutex lock;
  std::condition_variable changed;
  SDL_AudioDeviceID device = 0;  // 0 while closed; changed only by the keeper's thread
  bool wanted = false;           // the game changed what it plays
  bool stopping = false;
  std::thread thread;
};
Keeper keeper;
// The last time the callback produced a block that was not silent, in clock ticks.
std::atomic<Clock::rep> lastSound{0};

void Callback(void*, Uint8* stream, int length) {
  int frames = length / static_cast<int>(sizeof(int16_t) * channelCount);
  {
    std::lock_guard<std::mutex> lock(renderLock);
    renderProc.load()(reinterpret_cast<int16_t*>(stream), frames);
  }
  for (int i = 0; i < length; ++i) {
    if (stream[i] != 0) {
      lastSound = Clock::now().time_since_epoch().count();
      return;
    }
  }
}

// Initialises the audio subsystem with SDL's choice of driver (or SDL_AUDIODRIVER's) and opens
// the default playback device in our format; SDL converts when the device wants another.
SDL_AudioDeviceID OpenDevice() {
  if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  SDL_AudioSpec wanted{};
  wanted.freq = sampleRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(channelCount);
  wanted.samples = kBlockFrames;
  wanted.callback = Callback;
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return device;
}

// The first opening finds the driver that works; the later ones go straight to it.
SDL_AudioDeviceID OpenAnyDevice() {
  SDL_AudioDeviceID device = OpenDevice();
  if (device == 0) {
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    device = OpenDevice();
  }
  if (device == 0) return 0;
  if (const char* driver = SDL_GetCurrentAudioDriver()) {
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
  }
  lastSound = Clock::now().time_since_epoch().count();
  SDL_PauseAudioDevice(device, 0);
  return device;
}

bool SilentForLong() {
  return Clock::now() - Clock::time_point(Clock::duration(lastSound.load())) > kIdleClose;
}

void KeepDevice() {
  std::unique_lock<std::mutex> lock(keeper.lock);
  while (!keeper.stopping) {
    if (keeper.wanted && keeper.device == 0) {
      keeper.wanted = false;
      lock.unlock();
      SDL_AudioDeviceID device = OpenAnyDevice();
      lock.lock();
      keeper.device = device;
    } else if (keeper.device != 0 && !keeper.wanted && SilentForLong()) {
      SDL_AudioDeviceID device = keeper.device;
      keeper.device = 0;
      lock.unlock();
      SDL_CloseAudioDevice(device);
      lock.lock();
    }
    keeper.wanted = keeper.wanted && keeper.device == 0;
    keeper.changed.wait_for(lock, std::chrono::seconds(1));
  }
}

// The game changed what it plays: the device stays open, or opens again.
void Want() {
  lastSound = Clock::now().time_since_epoch().count();
  std::lock_guard<std::mutex> lock(keeper.lock);
  if (keeper.device != 0 || keeper.wanted) return;
  keeper.wanted = true;
  keeper.changed.notify_one();
}

// Stops the keeper and the callback before the process tears down what it reads.
void CloseDevice() {
  {
    std::lock_guard<std::mutex> lock(keeper.lock);
    keeper.stopping = true;
    keeper.changed.notify_one();
  }
  if (keeper.thread.joinable()) keeper.thread.join();
  if (keeper.device == 0) return;
  SDL_CloseAudioDevice(keeper.device);
  keeper.device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

void PlatformOpenAudio(int rate, int channels, AudioRenderProc render) {
  std::call_once(openedOnce, [&] {
    sampleRate = rate;
    channelCount = channels;
    renderProc = render;
    // The GTK backend handles the termination signals itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_AudioDeviceID device = OpenAnyDevice();
    {
      std::lock_guard<std::mutex> lock(keeper.lock);
      keeper.device = device;
      keeper.wanted = device == 0;
    }
    keeper.thread = std::thread(KeepDevice);
    std::atexit(CloseDevice);
  });
}

void PlatformLockAudio() {
  renderLock.lock();
}

void PlatformUnlockAudio() {
  renderLock.unlock();
  if (renderProc != nullptr) Want();
}
