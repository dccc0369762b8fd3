// The audio output of the in-memory backend: the frames of the elapsed virtual time are rendered
// whenever the clock moves, and kept for the tests to inspect.
#include "platform/headless/audio_headless.h"

#include <algorithm>

#include "platform/audio.h"
#include "platform/headless/headless.h"
#include "platform/windows.h"

namespace {

struct AudioOutput {
  AudioRenderProc render = nullptr;
  int sampleRate = 0;
  int channels = 0;
  uint32_t openTick = 0;
  uint64_t renderedFrames = 0;
  std::vector<int16_t> samples;
};

AudioOutput output;

// Frames are rendered in blocks of at most this size, as a device would ask for them.
constexpr uint64_t kBlockFrames = 4096;

}  // namespace

void PlatformOpenAudio(int sampleRate, int channels, AudioRenderProc render) {
  if (output.render) return;
  output = AudioOutput{};
  output.render = render;
  output.sampleRate = sampleRate;
  output.channels = channels;
  output.openTick = PlatformTickCount();
}

void PlatformLockAudio() {}
void PlatformUnlockAudio() {}

void HeadlessRenderAudio() {
  if (!output.render) return;
  uint64_t elapsed = PlatformTickCount() - output.openTick;
  uint64_t due = elapsed * static_cast<uint64_t>(output.sampleRate) / 1000;
  while (output.renderedFrames < due) {
    uint64_t frames = std::min(due - output.renderedFrames, kBlockFrames);
    size_t first = output.samples.size();
    output.samples.resize(first + frames * output.channels);
    output.render(output.samples.data() + first, static_cast<int>(frames));
    output.renderedFrames += frames;
  }
}

void HeadlessResetAudio() {
  output = AudioOutput{};
}

const std::vector<int16_t>& HeadlessAudio() {
  return output.samples;
}

void HeadlessClearAudio() {
  output.samples.clear();
}

int HeadlessAudioRate() {
  return output.sampleRate;
}

int HeadlessAudioChannels() {
  return output.channels;
}
