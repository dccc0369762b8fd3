// A job started on the GTK backend runs beside the caller, which goes on at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/network.h"

namespace {

TEST(BackgroundJob, TheCallerGoesOnWhileTheWorkWaits) {
  auto released = std::make_shared<std::atomic<bool>>(false);
  auto job = PlatformStartBackgroundJob([released] {
    // Bounded, so that a backend running the work inline ends here and fails below.
    for (int i = 0; i < 2000 && !*released; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_FALSE(job->done);
  *released = true;
  while (!job->done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace
