// kestrow-scores behind a load balancer: its health for the balancer, and the client's address
// taken from a trusted proxy only.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include "server/server_process.h"
#include "server/test_databases.h"

namespace {

constexpr const char* kScorePath = "/public/index.php?a=KestrowRes";

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

}  // namespace
