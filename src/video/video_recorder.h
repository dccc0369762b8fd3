// Recording the main window's image to "Kestrow.avi" while a game is played.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Probes the video library at start-up and sets the recording defaults.
void StartVideoLibrary();
// Ends the video library when the main window is destroyed.
void ShutdownVideoLibrary();
// True when the start-up probe found what recording needs ("Capture vidéo" can be ticked).
bool VideoCaptureAvailable();
void StartVideoRecording(WindowHandle owner);
void StopVideoRecording();
void CaptureVideoFrame(WindowHandle window, uint32_t message, uintptr_t timerId,
                       uint32_t tickCount);
void CloseVideoRecording();
