// Several kestrow-scores processes on one PostgreSQL table: the ranks they answer under
// concurrent submissions, and the lists they serve.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "score_store.h"
#include "server/server_process.h"
#include "server/test_databases.h"
#include "support/replay_games.h"

namespace {

httplib::Result Post(httplib::Client& client, const std::string& body) {
  return client.Post("/public/index.php?a=KestrowRes", body, "application/x-www-form-urlencoded");
}

// Two servers on one new PostgreSQL database, stopped at the end.
struct TwoServers {
  std::string database = NewStoreDatabase("postgresql");
  ServerProcess servers[2] = {};
  bool started = false;

  TwoServers() {
    started = !database.empty() && StartScoreServer(&servers[0], database, {"--rate", "1000000"}) &&
              StartScoreServer(&servers[1], database, {"--rate", "1000000"});
  }
  ~TwoServers() {
    for (ServerProcess& server : servers) {
      if (server.pid > 0) StopScoreServer(server, SIGTERM);
    }
  }
};

struct StoredRow {
  int32_t time;
  int64_t id;
};

// Every stored result by name (the names of these tests are plain ASCII, one result each).
std::map<std::string, StoredRow> StoredRows(const std::string& database) {
  std::istringstream rows(QueryPostgres(
      database,
      "SELECT string_agg(convert_from(name, 'SQL_ASCII') || ' ' || time || ' ' || id, ' ') "
      "FROM results"));
  std::map<std::string, StoredRow> byName;
  std::string name;
  StoredRow row{};
  while (rows >> name >> row.time >> row.id) byName[name] = row;
  return byName;
}

// The rank a result takes when the results are stored one after the other in the order of
// their ids: one more than the earlier results strictly faster, 0 past the list.
int SerialRank(const std::map<std::string, StoredRow>& rows, const StoredRow& result) {
  int faster = 0;
  for (const auto& [name, other] : rows) {
    if (other.id < result.id && other.time < result.time) ++faster;
  }
  return faster < kBestResults ? faster + 1 : 0;
}

TEST(SharedTable, RanksAnsweredUnderConcurrencyAreThoseOfOneSerialOrder) {
  TwoServers pair;
  ASSERT_TRUE(pair.started);
  constexpr int kSenders = 16;
  constexpr int kSubmissions = 1000;
  std::mutex lock;
  std::map<std::string, int> answered;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      httplib::Client client("127.0.0.1", pair.servers[s % 2].port);
      for (int i = s; i < kSubmissions; i += kSenders) {
        // Times fall as the submissions go on, two by two, so that many enter the list, some
        // level with an earlier one.
        std::string name = "R" + std::to_string(i);
        int hundredths = (kSubmissions - i) / 2;
        int32_t time = (11 + hundredths / 100) * 256 + hundredths % 100;
        auto reply = Post(client, SubmissionBody(name, time));
        if (!reply || reply->status != 200) continue;
        std::lock_guard<std::mutex> hold(lock);
        answered[name] = std::stoi(reply->body);
      }
    });
  }
  for (std::thread& sender : senders) sender.join();
  ASSERT_EQ(answered.size(), static_cast<size_t>(kSubmissions));

  std::map<std::string, StoredRow> rows = StoredRows(pair.database);
  ASSERT_EQ(rows.size(), static_cast<size_t>(kSubmissions));
  int ranked = 0;
  for (const auto& [name, rank] : answered) {
    EXPECT_EQ(rank, SerialRank(rows, rows[name])) << name;
    if (rank > 0) ++ranked;
  }
  EXPECT_GT(ranked, kBestResults);
}

TEST(SharedTable, AResultEnteringTheListThroughOneServerShowsInTheOthersList) {
  TwoServers pair;
  ASSERT_TRUE(pair.started);
  httplib::Client first("127.0.0.1", pair.servers[0].port);
  httplib::Client second("127.0.0.1", pair.servers[1].port);
  EXPECT_EQ(Post(first, SubmissionBody("Ann", 40 * 256))->body, "1");
  EXPECT_EQ(Post(second, "action=get")->body, "Ann|10240");  // now cached by the second
  EXPECT_EQ(Post(first, SubmissionBody("Bob", 30 * 256))->body, "1");
  std::string list;
  for (int attempt = 0; attempt < 100 && list != "Bob|7680|Ann|10240"; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    list = Post(second, "action=get")->body;
  }
  EXPECT_EQ(list, "Bob|7680|Ann|10240");
}

TEST(SharedTable, ASeedIssuedThroughOneServerServesOneResultThroughEither) {
  TwoServers pair;
  ASSERT_TRUE(pair.started);
  httplib::Client first("127.0.0.1", pair.servers[0].port);
  httplib::Client second("127.0.0.1", pair.servers[1].port);
  std::string issued = Post(first, "action=seed")->body;
  ASSERT_EQ(issued.size(), 16u);
  // As though the seed had been issued an hour ago, so that the game had time to be played.
  QueryPostgres(pair.database, "UPDATE seeds SET issued = issued - 3600000");
  Replay game = PlayBotGame(std::stoull(issued, nullptr, 16), kHumanPace);
  game.serverSeed = true;
  ASSERT_TRUE(PlayReplay(game).won);
  EXPECT_EQ(Post(second, ReplayBody("Ann", game))->body, "1");
  EXPECT_EQ(Post(first, ReplayBody("Bob", game))->body, "0");
  EXPECT_EQ(StoredStatus(pair.database, "Ann"), "verified");
  EXPECT_EQ(StoredStatus(pair.database, "Bob"), "refused:seed_reused");
}

}  // namespace
