// The one audio output.
#pragma once

#include <cstdint>

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
