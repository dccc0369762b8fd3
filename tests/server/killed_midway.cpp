#include "killed_midway.h"

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

KilledMidway SubmitWhileKilling(int port, ServerProcess& victim) {
  constexpr int kSenders = 8;
  constexpr int kPerSender = 125;
  std::mutex lock;
  KilledMidway outcome{};
  std::atomic<int> answers = 0;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      httplib::Client client("127.0.0.1", port);
      for (int i = 0; i < kPerSender; ++i) {
        std::string name = "K" + std::to_string(s) + "-" + std::to_string(i);
        int32_t time = (20 + i % 40) * 256 + i % 100;
        auto reply = client.Post("/public/index.php?a=KestrowRes", SubmissionBody(name, time),
                                 "application/x-www-form-urlencoded");
        if (!reply || reply->status != 200) continue;
        std::lock_guard<std::mutex> hold(lock);
        outcome.answered.push_back(name);
        ++answers;
      }
    });
  }
  while (answers < 400) std::this_thread::sleep_for(std::chrono::microseconds(200));
  outcome.status = StopScoreServer(victim, SIGKILL);
  for (std::thread& sender : senders) sender.join();
  return outcome;
}
