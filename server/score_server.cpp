#include "score_server.h"

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "rate_limit.h"
#include "score_requests.h"
#include "score_store.h"

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t NowSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void Answer(ScoreStore& store, RateLimiter& limiter, const httplib::Request& request,
            httplib::Response& response) {
  if (request.get_param_value("a") != "KestrowRes") {
    response.status = 404;
    return;
  }
  if (!AllowRequest(limiter, request.remote_addr, NowMs())) {
    response.status = 429;
    return;
  }
  ScoreReply reply = HandleScoreRequest(store, request.body, request.remote_addr, NowSeconds());
  response.status = reply.status;
  response.set_content(reply.body, "text/plain; charset=windows-1252");
}

void ConfigureServer(httplib::Server& server, ScoreStore& store, RateLimiter& limiter) {
  server.set_tcp_nodelay(true);
  server.set_payload_max_length(kMaxRequestBody);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(1000);
  server.Post("/public/index.php",
              [&](const httplib::Request& request, httplib::Response& response) {
                Answer(store, limiter, request, response);
              });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                  std::exception_ptr) { response.status = 500; });
}

int BindServer(httplib::Server& server, const ServerSettings& settings) {
  if (settings.port == 0) return server.bind_to_any_port(settings.listenAddress);
  return server.bind_to_port(settings.listenAddress, settings.port) ? settings.port : -1;
}

struct StopControl {
  httplib::Server* server;
  sigset_t signals;
  std::atomic<bool> served;
};

// Stops the server on SIGTERM or SIGINT, which every thread of the process blocks. A signal that
// comes before the server listens stops it as soon as it does.
void WaitForStopSignal(StopControl* control) {
  int received = 0;
  sigwait(&control->signals, &received);
  while (!control->served) {
    control->server->stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int RunScoreServer(const ServerSettings& settings) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ScoreStore store{};
  std::string error;
  if (!OpenScoreStore(store, settings.databasePath, &error)) {
    std::fprintf(stderr, "kestrow-scores: cannot open %s: %s\n", settings.databasePath.c_str(),
                 error.c_str());
    return 1;
  }
  RateLimiter limiter{
      settings.requestsPerSecond, std::max(10.0, 2 * settings.requestsPerSecond), {}, {}};
  httplib::Server server;
  ConfigureServer(server, store, limiter);
  int port = BindServer(server, settings);
  if (port <= 0) {
    std::fprintf(stderr, "kestrow-scores: cannot listen on %s:%d\n", settings.listenAddress.c_str(),
                 settings.port);
    CloseScoreStore(store);
    return 1;
  }
  StopControl control{&server, signals, false};
  std::thread stopper(WaitForStopSignal, &control);
  std::printf("listening on %s:%d\n", settings.listenAddress.c_str(), port);
  std::fflush(stdout);
  server.listen_after_bind();
  control.served = true;
  // Wakes the stopper when the server ended without a signal.
  kill(getpid(), SIGTERM);
  stopper.join();
  CloseScoreStore(store);
  return 0;
}
