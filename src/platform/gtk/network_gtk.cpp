#include <thread>

#include "platform/network.h"

std::shared_ptr<BackgroundJob> PlatformStartBackgroundJob(std::function<void()> work) {
  auto job = std::make_shared<BackgroundJob>();
  std::thread([job, work = std::move(work)] {
    work();
    job->done = true;
  }).detach();
  return job;
}
