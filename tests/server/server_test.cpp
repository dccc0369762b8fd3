// kestrow-scores: the two requests, the store, the bounds, and the real process under load.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "rate_limit.h"
#include "score_requests.h"
#include "score_store.h"
#include "scores/score_server_protocol.h"
#include "server/killed_midway.h"
#include "server/server_process.h"
#include "server/test_databases.h"
#include "support/token_examples.h"

namespace {

// A packed time of s seconds and c hundredths.
constexpr int32_t T(int s, int c = 0) {
  return (s / 60) * 65536 + (s % 60) * 256 + c;
}

constexpr int64_t kNowMs = 1700000000000;

struct OpenStore {
  ScoreStore store{};
  std::string path;
  explicit OpenStore(const std::string& database = TemporaryDatabasePath(),
                     bool verifiedOnly = false)
      : path(database) {
    store.verifiedOnly = verifiedOnly;
    std::string error;
    EXPECT_TRUE(OpenScoreStore(store, path, &error)) << error;
  }
  ~OpenStore() { CloseScoreStore(store); }
  std::string Ask(const std::string& body, int64_t nowMs = kNowMs) {
    ScoreReply reply = HandleScoreRequest(store, body, "192.0.2.7", nowMs);
    EXPECT_EQ(reply.status, 200) << body;
    return reply.body;
  }
  // The list as "NAME:TIME" rows joined by spaces, verified times marked with "*".
  std::string List() {
    std::vector<BestRow> rows;
    EXPECT_TRUE(ReadBestResults(store, &rows));
    std::string text;
    for (const BestRow& row : rows) {
      if (!text.empty()) text += ' ';
      text += row.name + ':' + std::to_string(row.time) + (row.verified ? "*" : "");
    }
    return text;
  }
  SeedState Claim(const std::string& seed) {
    SeedClaim claim{};
    EXPECT_TRUE(ClaimSeed(store, std::stoull(seed, nullptr, 16), &claim));
    return claim.state;
  }
};

TEST(Requests, FormFieldsAreDecoded) {
  std::string value;
  EXPECT_TRUE(FormField("action=set&nom=Zo%E9+%26+co%3d&tmp=", "nom", &value));
  EXPECT_EQ(value, "Zo\xE9 & co=");
  EXPECT_TRUE(FormField("action=set&nom=a&tmp=", "tmp", &value));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(FormField("x&nom", "nom", &value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(FormField("action=get", "nom", &value));
  EXPECT_TRUE(FormField("nom=first&nom=second", "nom", &value));
  EXPECT_EQ(value, "first");
  EXPECT_EQ(DecodeFormText("100%"), "100%");
  EXPECT_EQ(DecodeFormText("%4"), "%4");
  EXPECT_EQ(DecodeFormText("%zz%41"), "%zzA");
}

// The store tests run on SQLite and on PostgreSQL alike.
class EachStore : public testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Stores, EachStore, testing::Values("sqlite", "postgresql"));

TEST_P(EachStore, SubmissionsAreRankedAndListed) {
  OpenStore server(NewStoreDatabase(GetParam()));
  EXPECT_EQ(server.Ask("action=get"), "");
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(50))), "1");
  EXPECT_EQ(server.Ask(SubmissionBody("Bob", T(30))), "1");
  EXPECT_EQ(server.Ask(SubmissionBody("Cy", T(40))), "2");
  EXPECT_EQ(server.Ask(SubmissionBody("Dee", T(40))), "2");  // above the earlier equal time
  EXPECT_EQ(server.Ask(SubmissionBody("Zo%E9", T(70, 5))), "5");
  EXPECT_EQ(server.Ask("action=get"), "Bob|7680|Dee|10240|Cy|10240|Ann|12800|Zo\xE9|68101");
  EXPECT_EQ(CountStoredResults(server.path, "client = '192.0.2.7' AND adapter = '001A2B3C4D5E'"),
            5);
}

TEST_P(EachStore, OnlyTheSixteenBestAreRankedButEveryResultIsKept) {
  OpenStore server(NewStoreDatabase(GetParam()));
  for (int i = 0; i < kBestResults; ++i) {
    EXPECT_EQ(server.Ask(SubmissionBody("P" + std::to_string(i), T(20 + i))),
              std::to_string(i + 1));
  }
  EXPECT_EQ(server.Ask(SubmissionBody("Slow", T(90))), "0");
  EXPECT_EQ(server.Ask(SubmissionBody("Fast", T(15))), "1");
  std::string list = server.Ask("action=get");
  EXPECT_EQ(list.rfind("Fast|3840|P0|5120|", 0), 0u);
  EXPECT_EQ(list.find("P15"), std::string::npos);
  EXPECT_EQ(list.find("Slow"), std::string::npos);
  EXPECT_EQ(std::count(list.begin(), list.end(), '|'), 2 * kBestResults - 1);
  EXPECT_EQ(CountStoredResults(server.path), kBestResults + 2);
}

TEST_P(EachStore, BadTokensAreRefusedAndNeverStored) {
  OpenStore server(NewStoreDatabase(GetParam()));
  std::string token =
      FormatSubmissionToken(EncodeResultTime(2 * 65536 + 3 * 256 + 4), kExampleAddress, 9);
  std::vector<std::string> refused = {
      "action=set&nom=x&tmp=",
      "action=set&nom=x",
      "action=set&nom=x&tmp=" + token.substr(1),
      "action=set&nom=x&tmp=" + token + "0",
      "action=set&nom=x&tmp=" + FormatSubmissionToken(EncodeResultTime(T(50)), kExampleAddress, 0),
  };
  std::string lower = token;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  if (lower != token) refused.push_back("action=set&nom=x&tmp=" + lower);
  // Every other digit of the seconds and check bytes. A change of the minutes or hundredths by 64
  // keeps the check byte and gives another valid time; the hand-made tokens cover those bytes.
  for (size_t i = 6; i < 10; ++i) {
    for (char digit : std::string("0123456789ABCDEF")) {
      if (digit == token[i]) continue;
      std::string changed = token;
      changed[i] = digit;
      refused.push_back("action=set&nom=x&tmp=" + changed);
    }
  }
  for (const std::string& body : refused) EXPECT_EQ(server.Ask(body), "0") << body;
  EXPECT_EQ(CountStoredResults(server.path), 0);
  EXPECT_EQ(server.Ask("action=set&nom=x&tmp=" + token), "1");
}

TEST_P(EachStore, NamesAreBoundedAndCannotBreakTheList) {
  OpenStore server(NewStoreDatabase(GetParam()));
  EXPECT_EQ(server.Ask(SubmissionBody("a%7Cb%0D%0Ac%00d", T(11))), "1");
  EXPECT_EQ(server.Ask(SubmissionBody(std::string(100, 'L'), T(12))), "2");
  EXPECT_EQ(server.Ask("action=get"), "abcd|2816|" + std::string(kMaxNameLength, 'L') + "|3072");
}

TEST_P(EachStore, ResultsNoGameCanGiveAreRefusedAndNeverStored) {
  OpenStore server(NewStoreDatabase(GetParam()));
  for (const std::string& body :
       {SubmissionBody("Ann", 0), SubmissionBody("Ann", T(10, 19)), SubmissionBody("", T(30)),
        SubmissionBody("+++", T(30)), SubmissionBody("%7C%0D", T(30))}) {
    EXPECT_EQ(server.Ask(body), "0") << body;
  }
  EXPECT_EQ(server.Ask("action=get"), "");
  EXPECT_EQ(CountStoredResults(server.path), 0);
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(10, 20))), "1");  // the fastest possible game
}

TEST_P(EachStore, EachNameAndAdapterHoldsOneRowOfTheList) {
  OpenStore server(NewStoreDatabase(GetParam()));
  const unsigned char otherAdapter[6] = {0x02, 0, 0, 0, 0, 1};
  std::string otherAnn =
      "action=set&nom=Ann&tmp=" + FormatSubmissionToken(EncodeResultTime(T(45)), otherAdapter, 7);
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(40))), "1");
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(50))), "0");  // slower than her best
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(40))), "0");  // no better either
  EXPECT_EQ(server.Ask(SubmissionBody("Bob", T(35))), "1");
  EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(30))), "1");
  EXPECT_EQ(server.Ask(otherAnn), "3");
  EXPECT_EQ(server.Ask("action=get"), "Ann|7680|Bob|8960|Ann|11520");
  EXPECT_EQ(CountStoredResults(server.path), 6);  // every result is kept
}

// A plausible result with its status, as a submission makes it.
ReceivedResult Result(const std::string& name, int32_t time, const std::string& status,
                      const std::string& digest = std::string()) {
  return {name, time, {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "192.0.2.7", 0, status, digest};
}

// Stores each result and gives the ranks, then the statuses stored, in the order given.
std::string StoreEach(OpenStore& server, std::vector<ReceivedResult> results) {
  std::string ranks;
  for (ReceivedResult& result : results) {
    ranks += std::to_string(StoreResult(server.store, result)) + " ";
  }
  for (const ReceivedResult& result : results) ranks += result.status + " ";
  return ranks;
}

TEST_P(EachStore, RefusedResultsAreKeptUnlistedAndVerifiedOnlyRanksVerifiedAlone) {
  std::string database = NewStoreDatabase(GetParam());
  {
    OpenStore server(database);
    EXPECT_EQ(StoreEach(server, {Result("Ann", T(40), "unverified"),
                                 Result("Bob", T(30), "verified", "digest-1"),
                                 Result("Eve", T(20), "refused:too_early"),
                                 Result("Cy", T(25), "verified", "digest-1")}),
              "1 1 0 0 unverified verified refused:too_early refused:replayed ");
    EXPECT_EQ(server.List(), "Bob:7680* Ann:10240");
    EXPECT_EQ(server.Ask("action=get"), "Bob|7680|Ann|10240");
  }
  {
    OpenStore server(database, true);
    EXPECT_EQ(server.List(), "Bob:7680*");
    EXPECT_EQ(StoreEach(server, {Result("Dee", T(35), "unverified"),
                                 Result("Ann", T(50), "verified", "digest-2"),
                                 Result("Fay", T(59), "verified", "digest-3")}),
              "0 2 3 unverified verified verified ");
    EXPECT_EQ(server.List(), "Bob:7680* Ann:12800* Fay:15104*");
  }
  OpenStore server(database);
  EXPECT_EQ(server.List(), "Bob:7680* Dee:8960 Ann:10240 Fay:15104*");
  EXPECT_EQ(CountStoredResults(database, "digest IS NOT NULL"), 3);
  EXPECT_EQ(CountStoredResults(database), 7);
}

TEST_P(EachStore, SeedsAreSingleUseAndForgottenSixHoursAfterTheirIssue) {
  std::string database = NewStoreDatabase(GetParam());
  OpenStore server(database);
  std::string first = server.Ask("action=seed");
  std::string second = server.Ask("action=seed", kNowMs + 1);
  for (const std::string& seed : {first, second}) {
    EXPECT_EQ(seed.find_first_not_of("0123456789abcdef"), std::string::npos) << seed;
    EXPECT_EQ(seed.size(), 16u);
  }
  EXPECT_NE(first, second);
  SeedClaim claim{};
  EXPECT_TRUE(ClaimSeed(server.store, std::stoull(first, nullptr, 16), &claim));
  EXPECT_EQ(claim.state, SeedState::fresh);
  EXPECT_EQ(claim.issuedMs, kNowMs);
  EXPECT_EQ(server.Claim(first), SeedState::used);
  EXPECT_EQ(server.Claim(std::string(16, 'f')), SeedState::unknown);
  std::string late = server.Ask("action=seed", kNowMs + kSeedLifetimeMs);
  EXPECT_EQ(server.Claim(first), SeedState::used);  // issued exactly the lifetime before
  server.Ask("action=seed", kNowMs + 1 + kSeedLifetimeMs);
  EXPECT_EQ(server.Claim(first), SeedState::unknown);
  EXPECT_EQ(server.Claim(second), SeedState::fresh);
  EXPECT_EQ(server.Claim(late), SeedState::fresh);
}

// Databases written by earlier servers: every result without the list of the best, and the
// layout with it but without statuses or seeds.
constexpr const char* kEarlierLayouts[] = {
    "CREATE TABLE results (id INTEGER PRIMARY KEY, name BLOB NOT NULL, time INTEGER "
    "NOT NULL, adapter TEXT NOT NULL, client TEXT NOT NULL, received INTEGER NOT NULL);",
    "CREATE TABLE results (id INTEGER PRIMARY KEY, name BLOB NOT NULL, time INTEGER "
    "NOT NULL, adapter TEXT NOT NULL, client TEXT NOT NULL, received INTEGER NOT NULL);"
    "CREATE TABLE best (name BLOB NOT NULL, adapter TEXT NOT NULL, time INTEGER NOT NULL,"
    "  result INTEGER NOT NULL, PRIMARY KEY (name, adapter)) WITHOUT ROWID;"
    "CREATE INDEX best_by_time ON best (time, result);"
    "INSERT INTO best VALUES ('Ann', 'A', 7680, 2), ('Bob', 'A', 8960, 3), ('Ann', 'B', 11520, 6);"
    "PRAGMA user_version=1;",
};

TEST(Requests, DatabasesOfEarlierLayoutsKeepTheirResultsAsUnverified) {
  for (const char* layout : kEarlierLayouts) {
    std::string path = TemporaryDatabasePath();
    sqlite3* database = nullptr;
    sqlite3_open(path.c_str(), &database);
    sqlite3_exec(database, layout, nullptr, nullptr, nullptr);
    sqlite3_exec(database,
                 "INSERT INTO results (name, time, adapter, client, received) VALUES"
                 " ('Ann', 10240, 'A', 'c', 0), ('Ann', 7680, 'A', 'c', 0),"
                 " ('Bob', 8960, 'A', 'c', 0), ('', 5120, 'A', 'c', 0), ('Eve', 1280, 'A', 'c', 0),"
                 " ('Ann', 11520, 'B', 'c', 0);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(database);
    for (int opening = 0; opening < 2; ++opening) {
      OpenStore server(path);
      EXPECT_EQ(server.List(), "Ann:7680 Bob:8960 Ann:11520") << layout;
      EXPECT_EQ(server.Ask("action=seed").size(), 16u) << layout;
    }
    EXPECT_EQ(CountStoredResults(path, "status = 'unverified'"), 6) << layout;
    OpenStore server(path);
    EXPECT_EQ(server.Ask(SubmissionBody("Cy", T(31))), "2") << layout;
  }
}

TEST(Requests, OtherRequestsAreRefused) {
  OpenStore server;
  EXPECT_EQ(HandleScoreRequest(server.store, "", "a", 0).status, 400);
  EXPECT_EQ(HandleScoreRequest(server.store, "action=drop", "a", 0).status, 400);
  EXPECT_EQ(HandleScoreRequest(server.store, std::string(kMaxRequestBody + 1, 'a'), "a", 0).status,
            413);
}

TEST(Requests, AnUnusableDatabaseIsReported) {
  for (std::string database :
       {std::string("/nonexistent-dir/x/scores.db"),
        "postgresql://kestrow@127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/scores"}) {
    ScoreStore store{};
    std::string error;
    EXPECT_FALSE(OpenScoreStore(store, database, &error)) << database;
    EXPECT_FALSE(error.empty()) << database;
  }
}

// Marks the database as written by a later server.
void MarkLaterLayout(const std::string& database) {
  if (database.rfind("postgresql://", 0) == 0) {
    QueryPostgres(database, "INSERT INTO kestrow_schema VALUES (99)");
    return;
  }
  sqlite3* connection = nullptr;
  sqlite3_open(database.c_str(), &connection);
  sqlite3_exec(connection, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
  sqlite3_close(connection);
}

TEST_P(EachStore, ReopeningKeepsTheTableAndALaterLayoutIsRefused) {
  std::string database = NewStoreDatabase(GetParam());
  {
    OpenStore server(database);
    EXPECT_EQ(server.Ask(SubmissionBody("Ann", T(40))), "1");
  }
  {
    OpenStore server(database);
    EXPECT_EQ(server.Ask(SubmissionBody("Bob", T(40))), "1");
    EXPECT_EQ(server.Ask("action=get"), "Bob|10240|Ann|10240");
  }
  MarkLaterLayout(database);
  ScoreStore store{};
  std::string error;
  EXPECT_FALSE(OpenScoreStore(store, database, &error));
  EXPECT_NE(error.find("later"), std::string::npos) << error;
}

TEST(RateLimit, EachAddressHasItsBucket) {
  RateLimiter limiter{2, 4, {}, {}};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(AllowRequest(limiter, "a", 1000));
  EXPECT_FALSE(AllowRequest(limiter, "a", 1000));
  EXPECT_TRUE(AllowRequest(limiter, "b", 1000));
  EXPECT_FALSE(AllowRequest(limiter, "a", 1400));
  EXPECT_TRUE(AllowRequest(limiter, "a", 1500));  // half a second gives one request back
  EXPECT_FALSE(AllowRequest(limiter, "a", 1500));
  EXPECT_FALSE(AllowRequest(limiter, "a", 900));  // a clock going back gives nothing
}

TEST(RateLimit, IdleAddressesAreForgotten) {
  RateLimiter limiter{1, 2, {}, {}};
  for (size_t i = 0; i < kMaxTrackedAddresses; ++i) AllowRequest(limiter, std::to_string(i), 0);
  EXPECT_EQ(limiter.buckets.size(), kMaxTrackedAddresses);
  EXPECT_TRUE(AllowRequest(limiter, "new", 5000));
  EXPECT_EQ(limiter.buckets.size(), 1u);
}

// --- The real process --------------------------------------------------------------------------

httplib::Result Post(httplib::Client& client, const std::string& body) {
  return client.Post("/public/index.php?a=KestrowRes", body, "application/x-www-form-urlencoded");
}

TEST(Process, ResultsOutliveARestart) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database));
  {
    httplib::Client client("127.0.0.1", server.port);
    EXPECT_EQ(Post(client, SubmissionBody("Ann", T(40)))->body, "1");
    EXPECT_EQ(Post(client, SubmissionBody("Bob", T(30)))->body, "1");
  }
  int status = StopScoreServer(server, SIGTERM);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(StartScoreServer(&server, database));
  httplib::Client client("127.0.0.1", server.port);
  auto reply = Post(client, "action=get");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->body, "Bob|7680|Ann|10240");
  EXPECT_EQ(client.Post("/public/index.php?a=Other", "action=get", "text/plain")->status, 404);
  StopScoreServer(server, SIGTERM);
}

TEST(Process, HandMadeTokensAreReadByTheProtocolsArithmetic) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  httplib::Client client("127.0.0.1", server.port);
  for (const char* token : kImpossibleTimeTokens) {
    EXPECT_EQ(Post(client, std::string("action=set&nom=x&tmp=") + token)->body, "0") << token;
  }
  for (const TokenExample& example : kTokenExamples) {
    std::string body = std::string("action=set&nom=") + example.token + "&tmp=" + example.token;
    EXPECT_NE(Post(client, body)->body, "0") << example.token;
  }
  std::string list = Post(client, "action=get")->body;
  for (const TokenExample& example : kTokenExamples) {
    std::string row = std::string(example.token) + "|" + std::to_string(example.time);
    EXPECT_NE(list.find(row), std::string::npos) << row << " in " << list;
  }
  EXPECT_EQ(CountStoredResults(database), static_cast<int64_t>(std::size(kTokenExamples)));
  StopScoreServer(server, SIGTERM);
}

TEST(Process, EveryAnsweredResultSurvivesAKillDuringConcurrentSubmissions) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  KilledMidway run = SubmitWhileKilling(server.port, server);
  EXPECT_TRUE(WIFSIGNALED(run.status));
  EXPECT_LT(run.answered.size(), 1000u);  // killed midway

  ASSERT_TRUE(StartScoreServer(&server, database));
  std::set<std::string> stored = StoredNames(database);
  for (const std::string& name : run.answered) EXPECT_TRUE(stored.count(name)) << name;
  httplib::Client client("127.0.0.1", server.port);
  EXPECT_EQ(Post(client, SubmissionBody("After", T(11)))->body, "1");
  StopScoreServer(server, SIGTERM);
}

TEST(Process, MalformedRequestsNeverBringItDown) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000", "--idle-timeout", "1"}));
  const std::string path = "POST /public/index.php?a=KestrowRes HTTP/1.1\r\nHost: x\r\n";
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>(i * 37 % 256);
  std::vector<std::string> attacks = {
      "",
      "\r\n\r\n",
      binary,
      "POST\r\n\r\n",
      path + "Content-Length: -5\r\n\r\naction=get",
      path + "Content-Length: 99999999999999999999\r\n\r\n",
      path + "Content-Length: 100000\r\n\r\n" + std::string(100000, 'a'),
      path + "Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\nabc",
      path + "X: " + std::string(100000, 'h') + "\r\n\r\n",
      "POST /" + std::string(20000, 'p') + " HTTP/1.1\r\n\r\n",
      path + "Content-Length: 10\r\n\r\naction=set",
      path + "Content-Length: 30\r\n\r\naction=set&nom=%&tmp=%%%%%%",
  };
  for (const std::string& attack : attacks) RawExchange(server.port, attack);
  httplib::Client client("127.0.0.1", server.port);
  auto reply = Post(client, "action=get");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(waitpid(server.pid, nullptr, WNOHANG), 0);  // still running
  StopScoreServer(server, SIGTERM);
}

TEST(Process, OneAddressCannotFloodIt) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1"}));
  httplib::Client client("127.0.0.1", server.port);
  int refused = 0;
  for (int i = 0; i < 30; ++i) {
    auto reply = Post(client, SubmissionBody("F" + std::to_string(i), T(20 + i)));
    ASSERT_TRUE(reply);
    if (reply->status == 429) ++refused;
  }
  EXPECT_GE(refused, 15);
  EXPECT_EQ(CountStoredResults(database), 30 - refused);
  StopScoreServer(server, SIGTERM);
}

TEST(Process, HelpDescribesTheOptions) {
  std::string command = std::string(KESTROW_SCORES_BINARY) + " --help";
  FILE* output = popen(command.c_str(), "r");
  std::string text;
  char buffer[512];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, output)) > 0) text.append(buffer, count);
  EXPECT_EQ(pclose(output), 0);
  for (const char* option :
       {"--port", "--db", "--listen", "--rate", "--connections", "--connections-per-address",
        "--header-bytes", "--body-bytes", "--idle-timeout", "--request-timeout", "--trusted-proxy",
        "--verified-only", "--verify"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  EXPECT_NE(std::system((std::string(KESTROW_SCORES_BINARY) + " --port x 2>/dev/null").c_str()), 0);
}

}  // namespace
