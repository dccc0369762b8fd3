// The audio output on SDL2's audio subsystem: one playback device whose callback asks the game
// for its frames. When no device can be opened (no sound card, no sound server), SDL's dummy
// driver takes its place, so the game runs the same way, silently.
#include <SDL.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/platform.h"

namespace {

// About 12 ms at 44 100 Hz: short enough for a note to follow its key press.
constexpr Uint16 kBlockFrames = 512;

SDL_AudioDeviceID device = 0;
AudioRenderProc renderProc = nullptr;
int channelCount = 0;
// Finding a working driver can take a tenth of a second (a sound server that does not answer,
// then ALSA, then the dummy driver), so the device is opened on a thread of its own and the
// window shows meanwhile. The game's changes and the callback exclude each other through this
// lock, which exists before the device does.
std::mutex renderLock;
std::thread opener;

void Callback(void*, Uint8* stream, int length) {
  std::lock_guard<std::mutex> lock(renderLock);
  renderProc(reinterpret_cast<int16_t*>(stream),
             length / static_cast<int>(sizeof(int16_t) * channelCount));
}

// Initialises the audio subsystem with SDL's choice of driver (or SDL_AUDIODRIVER's) and opens
// the default playback device in our format; SDL converts when the device wants another.
bool OpenDevice(int sampleRate, int channels) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec wanted{};
  wanted.freq = sampleRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(channels);
  wanted.samples = kBlockFrames;
  wanted.callback = Callback;
  device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device != 0) return true;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return false;
}

void OpenAnyDevice(int sampleRate, int channels) {
  if (!OpenDevice(sampleRate, channels)) {
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (!OpenDevice(sampleRate, channels)) return;
  }
  SDL_PauseAudioDevice(device, 0);
}

// Waits for the opening and stops the callback before the process tears down what it reads.
void CloseDevice() {
  if (opener.joinable()) opener.join();
  if (device == 0) return;
  SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

void PlatformOpenAudio(int sampleRate, int channels, AudioRenderProc render) {
  if (renderProc != nullptr) return;
  renderProc = render;
  channelCount = channels;
  // The GTK backend handles the termination signals itself.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  opener = std::thread(OpenAnyDevice, sampleRate, channels);
  std::atexit(CloseDevice);
}

void PlatformLockAudio() {
  renderLock.lock();
}

void PlatformUnlockAudio() {
  renderLock.unlock();
}
