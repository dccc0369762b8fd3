// The metrics of the real server, read on their own loopback listener.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include "server/server_process.h"

namespace {

TEST(Metrics, RequestsAreCountedByActionOutcomeAndCause) {
  int metricsPort = ClosedLoopbackPort();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath(),
                               {"--rate", "0.001", "--metrics-port", std::to_string(metricsPort)}));
  httplib::Client client("127.0.0.1", server.port);
  const char* path = "/public/index.php?a=KestrowRes";
  const char* form = "application/x-www-form-urlencoded";
  for (const std::string& body : {SubmissionBody("Ann", 40 * 256), SubmissionBody("Bob", 10 * 256),
                                  std::string("action=set&nom=x&tmp=1"), std::string("action=get"),
                                  std::string("action=drop")}) {
    client.Post(path, body, form);
  }
  client.Get("/");
  client.Get("/nothing");
  EXPECT_EQ(client.Get("/metrics")->status, 404);          // not on the public listener
  for (int i = 0; i < 4; ++i) client.Get("/scores.json");  // past the burst of 10 requests

  httplib::Client metricsClient("127.0.0.1", metricsPort);
  auto reply = metricsClient.Get("/metrics");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  for (const char* line : {
           "kestrow_requests_total{action=\"set\",status=\"200\"} 3\n",
           "kestrow_requests_total{action=\"get\",status=\"200\"} 1\n",
           "kestrow_requests_total{action=\"other\",status=\"400\"} 1\n",
           "kestrow_requests_total{action=\"page\",status=\"200\"} 1\n",
           "kestrow_requests_total{action=\"other\",status=\"404\"} 2\n",
           "kestrow_requests_total{action=\"json\",status=\"200\"} 2\n",
           "kestrow_requests_total{action=\"json\",status=\"429\"} 2\n",
           "kestrow_refusals_total{cause=\"implausible\"} 1\n",
           "kestrow_refusals_total{cause=\"token\"} 1\n",
           "kestrow_refusals_total{cause=\"malformed\"} 1\n",
           "kestrow_refusals_total{cause=\"rate\"} 2\n",
           "kestrow_request_duration_seconds_bucket{le=\"+Inf\"} 12\n",
           "kestrow_request_duration_seconds_count 12\n",
           "kestrow_store_errors_total 0\n",
       }) {
    EXPECT_NE(reply->body.find(line), std::string::npos) << line << reply->body;
  }
  StopScoreServer(server, SIGTERM);
}

}  // namespace
