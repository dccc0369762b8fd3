// Cost of one video frame on the main window's 40 ms tick: grab, conversion, compression and
// writing to Kestrow.avi, for each encoder the compression dialog offers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/dialogs.h"
#include "platform/windows.h"
#include "support/game_driver.h"
#include "video/video_recorder.h"

namespace {

bool Offered(const std::string& encoder) {
  const std::vector<CompressionChoice>& encoders = videoRecorder.encoders;
  return std::any_of(encoders.begin(), encoders.end(),
                     [&](const CompressionChoice& choice) { return choice.encoder == encoder; });
}

void VideoFrame(benchmark::State& state, const char* encoder) {
  RunGame({[&] {
             game.videoCapture = 1;
             HeadlessQueueCompressionAnswer({encoder, 1, 0});
             ClickButton(1);
           },
           [&] {
             HeadlessKeepPushedImages(false);
             if (!Offered(encoder) || videoRecorder.file == nullptr) {
               state.SkipWithError("encoder not available");
               return;
             }
             for (auto _ : state) {
               CaptureVideoFrame(HeadlessMainWindow(), WM_TIMER, 0, PlatformTickCount());
             }
             state.counters["frames"] = videoRecorder.frameIndex;
           }});
  std::remove("Kestrow.avi");
}

BENCHMARK_CAPTURE(VideoFrame, mpeg4, "mpeg4")->Iterations(250)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFrame, mjpeg, "mjpeg")->Iterations(250)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFrame, libx264, "libx264")->Iterations(250)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFrame, ffv1, "ffv1")->Iterations(250)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFrame, rawvideo, "rawvideo")->Iterations(250)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
