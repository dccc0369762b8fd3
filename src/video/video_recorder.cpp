#include "video/video_recorder.h"

void StartVideoLibrary() {}

void ShutdownVideoLibrary() {}

bool VideoCaptureAvailable() { return false; }

void StartVideoRecording(WindowHandle) {}

void StopVideoRecording() {}

void CaptureVideoFrame(WindowHandle, uint32_t, uintptr_t, uint32_t) {}

void CloseVideoRecording() {}
