// kestrow-scores behind a load balancer: its health for the balancer, and the client's address
// taken from a trusted proxy only.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "server/killed_midway.h"
#include "server/server_process.h"
#include "server/test_databases.h"

namespace {

constexpr const char* kScorePath = "/public/index.php?a=KestrowRes";

httplib::Result PostScore(httplib::Client& client, const std::string& body) {
  return client.Post(kScorePath, body, "application/x-www-form-urlencoded");
}

// The example HAProxy configuration with the ports of this test.
std::string ExampleConfiguration(int front, int first, int second) {
  std::string source(__FILE__);
  std::ifstream file(source.substr(0, source.rfind("/tests/")) + "/server/haproxy.cfg");
  std::stringstream text;
  text << file.rdbuf();
  std::string configuration = text.str();
  for (auto [from, to] :
       {std::pair<std::string, std::string>{"bind :80", "bind 127.0.0.1:" + std::to_string(front)},
        {"127.0.0.1:8081", "127.0.0.1:" + std::to_string(first)},
        {"127.0.0.1:8082", "127.0.0.1:" + std::to_string(second)},
        {"inter 1s", "inter 100ms"}}) {
    size_t at = configuration.find(from);
    if (at != std::string::npos) configuration.replace(at, from.size(), to);
  }
  return configuration;
}

// HAProxy in the foreground on a configuration file; stopped at the end.
struct Balancer {
  pid_t pid = -1;
  explicit Balancer(const std::string& configuration) {
    std::string path = TemporaryDatabasePath() + ".cfg";
    std::ofstream(path) << configuration;
    pid = fork();
    if (pid == 0) {
      execlp("haproxy", "haproxy", "-db", "-q", "-f", path.c_str(), nullptr);
      _exit(127);
    }
  }
  ~Balancer() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

int HealthStatus(int port) {
  httplib::Client client("127.0.0.1", port);
  auto reply = client.Get("/healthz");
  return reply ? reply->status : 0;
}

TEST(Proxy, HealthFollowsTheDatabase) {
  std::string database = NewStoreDatabase("postgresql");
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  EXPECT_EQ(HealthStatus(server.port), 200);
  // Takes the database away from the server, then gives it back.
  std::string name = database.substr(database.rfind('/') + 1);
  std::string administration = database.substr(0, database.rfind('/')) + "/postgres";
  QueryPostgres(administration, "ALTER DATABASE " + name + " ALLOW_CONNECTIONS false");
  QueryPostgres(
      administration,
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + name + "'");
  EXPECT_EQ(HealthStatus(server.port), 503);
  QueryPostgres(administration, "ALTER DATABASE " + name + " ALLOW_CONNECTIONS true");
  EXPECT_EQ(HealthStatus(server.port), 200);
  httplib::Client client("127.0.0.1", server.port);
  auto reply =
      client.Post(kScorePath, SubmissionBody("Ann", 40 * 256), "application/x-www-form-urlencoded");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "1");
  StopScoreServer(server, SIGTERM);
}

TEST(Proxy, OnlyTheTrustedProxyNamesTheClient) {
  struct Case {
    const char* trustedProxy;
    httplib::Headers headers;
    const char* storedClient;
  };
  const Case cases[] = {
      {"127.0.0.1", {{"X-Forwarded-For", "192.0.2.9"}}, "192.0.2.9"},
      {"127.0.0.1", {{"X-Forwarded-For", "203.0.113.5, 192.0.2.9"}}, "192.0.2.9"},
      // A header the client sent comes first; the proxy's own comes last.
      {"127.0.0.1",
       {{"X-Forwarded-For", "198.51.100.1"}, {"X-Forwarded-For", "192.0.2.9"}},
       "192.0.2.9"},
      {"127.0.0.1", {}, "127.0.0.1"},
      {"127.0.0.2", {{"X-Forwarded-For", "192.0.2.9"}}, "127.0.0.1"},
  };
  for (const Case& example : cases) {
    std::string database = NewStoreDatabase("sqlite");
    ServerProcess server;
    ASSERT_TRUE(StartScoreServer(&server, database, {"--trusted-proxy", example.trustedProxy}));
    httplib::Client client("127.0.0.1", server.port);
    auto reply = client.Post(kScorePath, example.headers, SubmissionBody("Ann", 40 * 256),
                             "application/x-www-form-urlencoded");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "1");
    StopScoreServer(server, SIGTERM);
    EXPECT_EQ(CountStoredResults(database, std::string("client = '") + example.storedClient + "'"),
              1)
        << example.trustedProxy << " " << example.storedClient;
  }
}

TEST(Proxy, HaproxyKeepsServingWhenOneServerIsKilledAndNothingAnsweredIsLost) {
  std::string database = NewStoreDatabase("postgresql");
  const std::vector<std::string> options = {"--rate", "1000000", "--trusted-proxy", "127.0.0.1"};
  ServerProcess servers[2];
  ASSERT_TRUE(StartScoreServer(&servers[0], database, options));
  ASSERT_TRUE(StartScoreServer(&servers[1], database, options));
  int front = ClosedLoopbackPort();
  Balancer balancer(ExampleConfiguration(front, servers[0].port, servers[1].port));
  for (int attempt = 0; attempt < 100 && HealthStatus(front) != 200; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_EQ(HealthStatus(front), 200);

  KilledMidway run = SubmitWhileKilling(front, servers[0]);

  std::set<std::string> stored = StoredNames(database);
  for (const std::string& name : run.answered) EXPECT_TRUE(stored.count(name)) << name;
  httplib::Client client("127.0.0.1", front);
  for (int i = 0; i < 20; ++i) {
    auto reply = PostScore(client, SubmissionBody("After" + std::to_string(i), 50 * 256));
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(reply->status, 200) << i;
  }
  EXPECT_GT(run.answered.size(), 500u);  // the other server answered after the kill
  StopScoreServer(servers[1], SIGTERM);
}

}  // namespace
