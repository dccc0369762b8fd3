// Recording the main window's image to "Kestrow.avi" while a game is played.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dialogs.h"
#include "platform/windows.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Frame geometry: the bottom-left 588 x 588 pixels of the window, 24 bits a pixel, 25 a second.
inline constexpr int kVideoFrameSize = 588;
inline constexpr int kVideoFrameRowBytes = kVideoFrameSize * 3;
inline constexpr int kVideoFramesPerSecond = 25;
// Frames written after the end of a game: one second of its final picture.
inline constexpr int32_t kVideoTailFrames = 25;

// The one recorder of the program, filled at start-up.
struct VideoRecorder {
  bool probed;  // the library was looked for
  // The AVI muxer and at least one encoder exist; otherwise everything below stays empty.
  bool libraryLoaded;
  std::vector<CompressionChoice> encoders;  // what the compression dialog offers
  CompressionOptions options;               // the last choice, kept for the whole run

  AVFormatContext* file;       // the open "Kestrow.avi", its header written
  AVCodecContext* compressor;  // the encoder of the open recording
  SwsContext* converter;       // the 24-bit frame to the encoder's pixel format
  AVFrame* pictures[2];        // the converted pictures handed to the encoder, in turn
  AVPacket* packet;            // the compressed frame on its way to the file
  std::vector<uint8_t> frame;  // the grabbed 24-bit frame, bottom row first
  int64_t compressedCount;     // frames handed to the encoder: its own clock, never reused

  int32_t frameIndex;  // position of the next frame in the file
  uint8_t recording;
  int32_t tailCount;  // frames still to write once recording is off
};

extern VideoRecorder videoRecorder;

// Start-up: the video library is looked for when recording is first considered (the
// preferences window, or the start of a recording), which sets the recording defaults.
void StartVideoLibrary();
// Ends the video library when the main window is destroyed.
void ShutdownVideoLibrary();
// True when the start-up probe found what recording needs ("Capture vidéo" can be ticked).
bool VideoCaptureAvailable();
// Opens a new "Kestrow.avi" with the codec the user picks; on any failure, one warning and no
// recording.
void StartVideoRecording(WindowHandle owner);
// The game has ended: the recording goes on for its tail, then closes.
void StopVideoRecording();
// The 40 ms timer procedure of the main window: appends one frame while recording or in the tail.
void CaptureVideoFrame(WindowHandle window, uint32_t message, uintptr_t timerId,
                       uint32_t tickCount);
// Completes and closes the open file, if any; one warning when it could not be completed.
void CloseVideoRecording();
