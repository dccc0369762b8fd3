#include "score_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "metrics.h"
#include "rate_limit.h"
#include "score_pages.h"
#include "score_requests.h"
#include "score_store.h"

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t NowMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t NowWallMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// When each open connection must have sent its whole request; a thread shuts the late ones
// down, so that a client sending a header line now and then cannot hold its connection.
struct ConnectionDeadlines {
  std::mutex lock;
  std::condition_variable wake;
  std::unordered_map<int, int64_t> byConnection;
  int64_t requestTimeoutMs;
  bool stopping;
};

struct ServerContext {
  ScoreStore* store;
  RateLimiter* limiter;
  ConnectionDeadlines* deadlines;
  ServerMetrics* metrics;
  size_t maxBody;
  std::string trustedProxy;
};

// One request as its body arrives, and what the metrics need of it.
struct PendingRequest {
  std::string body;
  bool tooLarge;
  int64_t startedUs;
  const char* action;
};

int ConnectionSocket(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info ? info->connect_fd : -1;
}

void RestartDeadline(ConnectionDeadlines& deadlines, MHD_Connection* connection) {
  int socket = ConnectionSocket(connection);
  std::lock_guard<std::mutex> hold(deadlines.lock);
  deadlines.byConnection[socket] = NowMs() + deadlines.requestTimeoutMs;
}

void CloseLateConnections(ConnectionDeadlines* deadlines) {
  std::unique_lock<std::mutex> hold(deadlines->lock);
  while (!deadlines->stopping) {
    deadlines->wake.wait_for(hold, std::chrono::milliseconds(250));
    int64_t now = NowMs();
    for (auto& [socket, deadline] : deadlines->byConnection) {
      if (deadline > now) continue;
      shutdown(socket, SHUT_RDWR);
      deadline = INT64_MAX;
    }
  }
}

// MHD calls this before it closes a connection's socket, so a socket in the table is never
// one that was reused.
void TrackConnection(void* context, MHD_Connection* connection, void**,
                     MHD_ConnectionNotificationCode code) {
  auto* deadlines = static_cast<ConnectionDeadlines*>(context);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    RestartDeadline(*deadlines, connection);
    return;
  }
  int socket = ConnectionSocket(connection);
  std::lock_guard<std::mutex> hold(deadlines->lock);
  deadlines->byConnection.erase(socket);
}

void FinishRequest(void* context, MHD_Connection* connection, void** requestContext,
                   MHD_RequestTerminationCode) {
  delete static_cast<PendingRequest*>(*requestContext);
  *requestContext = nullptr;
  RestartDeadline(*static_cast<ServerContext*>(context)->deadlines, connection);
}

MHD_Result RespondTyped(MHD_Connection* connection, int status, const std::string& body,
                        const char* type) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Respond(MHD_Connection* connection, int status, const std::string& body) {
  return RespondTyped(connection, status, body, "text/plain; charset=windows-1252");
}

// Answers the request and counts the answer in the metrics before the client can read it.
MHD_Result Answer(ServerContext& server, PendingRequest& pending, MHD_Connection* connection,
                  int status, const std::string& body, const char* refusal = nullptr,
                  const char* type = "text/plain; charset=windows-1252") {
  RecordRequest(*server.metrics, pending.action, status, refusal,
                static_cast<double>(NowMicroseconds() - pending.startedUs) / 1e6);
  return RespondTyped(connection, status, body, type);
}

bool IsScoreRequest(MHD_Connection* connection, const char* url, const char* method) {
  const char* action = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "a");
  return std::strcmp(method, MHD_HTTP_METHOD_POST) == 0 &&
         std::strcmp(url, "/public/index.php") == 0 && action &&
         std::strcmp(action, "KestrowRes") == 0;
}

bool DeclaresLargeBody(MHD_Connection* connection, size_t maxBody) {
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  return length && std::strtoull(length, nullptr, 10) > maxBody;
}

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  char text[INET6_ADDRSTRLEN] = "";
  if (!info || !info->client_addr) return text;
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

// Keeps the value of the last X-Forwarded-For header: the one the proxy added.
MHD_Result KeepForwardedFor(void* last, MHD_ValueKind, const char* key, const char* value) {
  if (value && strcasecmp(key, "X-Forwarded-For") == 0) *static_cast<std::string*>(last) = value;
  return MHD_YES;
}

// The client's address: the connection's peer, or the last address the trusted proxy put in
// X-Forwarded-For (the earlier ones come from the client and prove nothing).
std::string ClientAddress(const ServerContext& server, MHD_Connection* connection) {
  std::string peer = PeerAddress(connection);
  if (server.trustedProxy.empty() || peer != server.trustedProxy) return peer;
  std::string forwarded;
  MHD_get_connection_values(connection, MHD_HEADER_KIND, KeepForwardedFor, &forwarded);
  size_t comma = forwarded.rfind(',');
  std::string last = comma == std::string::npos ? forwarded : forwarded.substr(comma + 1);
  size_t start = last.find_first_not_of(' ');
  if (start == std::string::npos) return peer;
  return last.substr(start, last.find_last_not_of(' ') - start + 1);
}

MHD_Result AnswerComplete(ServerContext& server, MHD_Connection* connection,
                          PendingRequest& pending) {
  if (pending.tooLarge) return Answer(server, pending, connection, 413, std::string(), "too_large");
  std::string client = ClientAddress(server, connection);
  if (!AllowRequest(*server.limiter, client, NowMs())) {
    return Answer(server, pending, connection, 429, std::string(), "rate");
  }
  std::string action;
  FormField(pending.body, "action", &action);
  pending.action = action == "get"    ? "get"
                   : action == "set"  ? "set"
                   : action == "seed" ? "seed"
                                      : "other";
  ScoreReply reply = HandleScoreRequest(*server.store, pending.body, client, NowWallMs());
  return Answer(server, pending, connection, reply.status, reply.body, reply.refusal);
}

bool IsPageRequest(const char* method) {
  return std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
         std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
}

// The pages read with GET: the best times as HTML and as JSON, made from the cached list, and
// the health of the store for a load balancer.
MHD_Result AnswerPage(ServerContext& server, MHD_Connection* connection, const char* url,
                      PendingRequest& pending) {
  bool health = std::strcmp(url, "/healthz") == 0;
  bool page = std::strcmp(url, "/") == 0;
  bool json = std::strcmp(url, "/scores.json") == 0;
  pending.action = health ? "health" : page ? "page" : json ? "json" : "other";
  if (!AllowRequest(*server.limiter, ClientAddress(server, connection), NowMs())) {
    return Answer(server, pending, connection, 429, std::string(), "rate");
  }
  if (health) {
    if (!StoreAnswers(*server.store))
      return Answer(server, pending, connection, 503, "unavailable\n");
    return Answer(server, pending, connection, 200, "ok\n");
  }
  if (!page && !json) return Answer(server, pending, connection, 404, std::string());
  std::vector<BestRow> rows;
  if (!ReadBestResults(*server.store, &rows)) {
    return Answer(server, pending, connection, 500, std::string());
  }
  if (page) {
    return Answer(server, pending, connection, 200, RenderBestPage(rows), nullptr,
                  "text/html; charset=utf-8");
  }
  return Answer(server, pending, connection, 200, RenderBestJson(rows), nullptr,
                "application/json");
}

// Called once when the headers are in, once per piece of body, and once at the end.
MHD_Result AnswerRequest(void* context, MHD_Connection* connection, const char* url,
                         const char* method, const char*, const char* upload, size_t* uploadSize,
                         void** requestContext) {
  auto& server = *static_cast<ServerContext*>(context);
  if (!*requestContext) {
    auto* pending = new PendingRequest{std::string(), false, NowMicroseconds(), "other"};
    *requestContext = pending;
    if (IsPageRequest(method)) return AnswerPage(server, connection, url, *pending);
    if (!IsScoreRequest(connection, url, method)) {
      return Answer(server, *pending, connection, 404, std::string());
    }
    if (DeclaresLargeBody(connection, server.maxBody)) {
      return Answer(server, *pending, connection, 413, std::string(), "too_large");
    }
    return MHD_YES;
  }
  auto& pending = *static_cast<PendingRequest*>(*requestContext);
  if (*uploadSize == 0) return AnswerComplete(server, connection, pending);
  pending.tooLarge = pending.tooLarge || pending.body.size() + *uploadSize > server.maxBody;
  if (!pending.tooLarge) pending.body.append(upload, *uploadSize);
  *uploadSize = 0;
  return MHD_YES;
}

// A listening socket of its own, without SO_REUSEPORT, so that a second server on the same
// port fails to start instead of taking half of the requests. -1 with errno on failure.
int OpenListeningSocket(const ServerSettings& settings) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  std::string port = std::to_string(settings.port);
  if (getaddrinfo(settings.listenAddress.c_str(), port.c_str(), &hints, &found) != 0) {
    errno = EADDRNOTAVAIL;
    return -1;
  }
  int listener = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  bool ready =
      listener >= 0 && setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
      bind(listener, found->ai_addr, found->ai_addrlen) == 0 && listen(listener, SOMAXCONN) == 0;
  int error = errno;
  freeaddrinfo(found);
  if (ready) return listener;
  if (listener >= 0) close(listener);
  errno = error;
  return -1;
}

int ListeningPort(int listener) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  }
  return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

MHD_Daemon* StartEngine(const ServerSettings& settings, int listener, ServerContext& server) {
  unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  return MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC, 0, nullptr, nullptr,
      AnswerRequest, &server, MHD_OPTION_LISTEN_SOCKET, listener, MHD_OPTION_THREAD_POOL_SIZE,
      threads, MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(settings.maxConnections),
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(settings.maxConnectionsPerAddress),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(settings.maxHeaderBytes),
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(settings.idleTimeoutSeconds),
      MHD_OPTION_NOTIFY_CONNECTION, TrackConnection, server.deadlines, MHD_OPTION_NOTIFY_COMPLETED,
      FinishRequest, &server, MHD_OPTION_END);
}

MHD_Result AnswerMetrics(void* context, MHD_Connection* connection, const char* url,
                         const char* method, const char*, const char*, size_t*, void**) {
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 || std::strcmp(url, "/metrics") != 0) {
    return Respond(connection, 404, std::string());
  }
  return RespondTyped(connection, 200, RenderMetrics(*static_cast<ServerMetrics*>(context)),
                      "text/plain; version=0.0.4; charset=utf-8");
}

// The metrics on a listener of their own, so that they can stay on loopback; null when not
// asked for. Exits on failure, as the main listener does.
MHD_Daemon* StartMetrics(const ServerSettings& settings, ServerMetrics& metrics, bool* failed) {
  *failed = false;
  if (settings.metricsPort < 0) return nullptr;
  ServerSettings where = settings;
  where.listenAddress = settings.metricsAddress;
  where.port = settings.metricsPort;
  int listener = OpenListeningSocket(where);
  MHD_Daemon* daemon =
      listener < 0 ? nullptr
                   : MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr,
                                      nullptr, AnswerMetrics, &metrics, MHD_OPTION_LISTEN_SOCKET,
                                      listener, MHD_OPTION_CONNECTION_LIMIT, 16u,
                                      MHD_OPTION_CONNECTION_TIMEOUT, 5u, MHD_OPTION_END);
  if (daemon) {
    std::printf("metrics on %s:%d\n", where.listenAddress.c_str(), ListeningPort(listener));
    return daemon;
  }
  std::fprintf(stderr, "kestrow-scores: cannot serve metrics on %s:%d: %s\n",
               where.listenAddress.c_str(), where.port, std::strerror(errno));
  if (listener >= 0) close(listener);
  *failed = true;
  return nullptr;
}

}  // namespace

int RunScoreServer(const ServerSettings& settings) {
  // Blocked in every thread, and taken by sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Past a file size limit, writes fail and are answered as errors instead of ending the server.
  signal(SIGXFSZ, SIG_IGN);

  ScoreStore store{};
  store.verifiedOnly = settings.verifiedOnly;
  std::string error;
  if (!OpenScoreStore(store, settings.databasePath, &error)) {
    std::fprintf(stderr, "kestrow-scores: cannot open %s: %s\n", settings.databasePath.c_str(),
                 error.c_str());
    return 1;
  }
  int listener = OpenListeningSocket(settings);
  if (listener < 0) {
    std::fprintf(stderr, "kestrow-scores: cannot listen on %s:%d: %s\n",
                 settings.listenAddress.c_str(), settings.port, std::strerror(errno));
    CloseScoreStore(store);
    return 1;
  }
  RateLimiter limiter{
      settings.requestsPerSecond, std::max(10.0, 2 * settings.requestsPerSecond), {}, {}};
  ConnectionDeadlines deadlines{{}, {}, {}, settings.requestTimeoutSeconds * 1000LL, false};
  ServerMetrics metrics{};
  ServerContext server{&store,
                       &limiter,
                       &deadlines,
                       &metrics,
                       static_cast<size_t>(settings.maxBodyBytes),
                       settings.trustedProxy};
  std::thread sweeper(CloseLateConnections, &deadlines);
  MHD_Daemon* engine = StartEngine(settings, listener, server);
  int status = 0;
  if (engine) {
    std::printf("listening on %s:%d\n", settings.listenAddress.c_str(), ListeningPort(listener));
    bool metricsFailed = false;
    MHD_Daemon* metricsEngine = StartMetrics(settings, metrics, &metricsFailed);
    std::fflush(stdout);
    int received = 0;
    if (!metricsFailed) sigwait(&signals, &received);
    status = metricsFailed ? 1 : 0;
    // Answers what is being answered and closes every other connection.
    MHD_stop_daemon(engine);  // closes the listening socket too
    if (metricsEngine) MHD_stop_daemon(metricsEngine);
  } else {
    std::fprintf(stderr, "kestrow-scores: cannot start the HTTP engine\n");
    close(listener);
    status = 1;
  }
  {
    std::lock_guard<std::mutex> hold(deadlines.lock);
    deadlines.stopping = true;
  }
  deadlines.wake.notify_one();
  sweeper.join();
  CloseScoreStore(store);
  return status;
}
