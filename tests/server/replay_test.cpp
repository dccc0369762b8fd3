// Verified results: the plausibility bounds on a replay's actions, every kind of tampering sent
// to the real server on loopback, --verified-only, and --verify.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>

#include "replay_checks.h"
#include "server/server_process.h"
#include "server/test_databases.h"
#include "support/replay_games.h"

namespace {

// A packed time of s seconds.
constexpr int32_t T(int s) {
  return s * 256;
}

constexpr GameAction kLeft = GameAction::moveLeft;
constexpr GameAction kRight = GameAction::moveRight;
constexpr GameAction kTurn = GameAction::rotateRight;
constexpr GameAction kDown = GameAction::moveDown;

// `count` actions `gapMs` apart from `startMs`, cycling through `cycle`, appended to `steps`.
void Add(std::vector<ReplayStep>& steps, uint32_t startMs, uint32_t gapMs, int count,
         std::vector<GameAction> cycle) {
  for (int i = 0; i < count; ++i) {
    steps.push_back({startMs + static_cast<uint32_t>(i) * gapMs, cycle[i % cycle.size()]});
  }
}

std::vector<ReplayStep> Steps(uint32_t gapMs, int count, std::vector<GameAction> cycle) {
  std::vector<ReplayStep> steps;
  Add(steps, 0, gapMs, count, cycle);
  return steps;
}

// Four presses a second for 30 s, with `extra` actions played in the middle of it.
std::vector<ReplayStep> AmongPresses(uint32_t gapMs, int count, std::vector<GameAction> cycle) {
  std::vector<ReplayStep> steps;
  Add(steps, 0, 250, 60, {kLeft, kTurn});
  Add(steps, 15000, gapMs, count, cycle);
  Add(steps, 15000 + gapMs * static_cast<uint32_t>(count), 250, 60, {kRight, kTurn});
  return steps;
}

TEST(HumanInput, PeopleAndHeldKeysPassAndFasterPlayersAreRefused) {
  struct Case {
    const char* what;
    std::vector<ReplayStep> steps;
    std::string reason;
  };
  const Case cases[] = {
      {"a won game at four presses a second", PlayBotGame(1, kHumanPace).steps, ""},
      {"another", PlayBotGame(42, kHumanPace).steps, ""},
      {"the same player ten times faster", PlayBotGame(1, kBot10xPace).steps, "sustained_rate"},
      {"12 presses a second for 30 s", Steps(84, 360, {kLeft, kRight}), ""},
      {"13 presses a second for 11 s", Steps(76, 145, {kLeft, kRight}), "sustained_rate"},
      {"25 presses within a second", AmongPresses(40, 25, {kLeft, kTurn}), ""},
      {"26 presses within a second", AmongPresses(38, 26, {kLeft, kTurn}), "burst"},
      {"a key held for a second at 50 a second", AmongPresses(20, 50, {kDown}), ""},
      {"a key held for a second at 70 a second", AmongPresses(14, 72, {kDown}), "held_keys"},
  };
  for (const Case& test : cases) EXPECT_EQ(CheckHumanInput(test.steps), test.reason) << test.what;
  std::vector<ReplayStep> chords;
  for (uint32_t i = 0; i < 30; ++i) Add(chords, i * 500, 5, 3, {kLeft, kTurn, kDown});
  EXPECT_EQ(CheckHumanInput(chords), "close_changes") << "three keys within 10 ms each time";
}

// --- The real server ------------------------------------------------------------------------

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

httplib::Result Post(httplib::Client& client, const std::string& body) {
  return client.Post("/public/index.php?a=KestrowRes", body, "application/x-www-form-urlencoded");
}

// A game won at a person's pace on a seed of the server's.
Replay ServerSeedGame(uint64_t seed) {
  Replay replay = PlayBotGame(seed, kHumanPace);
  replay.serverSeed = true;
  return replay;
}

// The body of a submission under `name` claiming the untouched game's time, with the game's
// replay changed by `tamper`.
std::string TamperedBody(const std::string& name, const Replay& game,
                         const std::function<void(Replay&)>& tamper) {
  Replay changed = game;
  tamper(changed);
  std::string body = ReplayBody(name, game);
  return body.substr(0, body.find("&rep=")) + "&rep=" + EncodeReplay(changed);
}

TEST(Verification, EveryKindOfTamperingIsRefused) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  int64_t anHourAgo = NowMs() - 3600 * 1000;
  for (uint64_t seed = 101; seed <= 107; ++seed) KeepIssuedSeed(database, seed, anHourAgo);
  KeepIssuedSeed(database, 108, NowMs());
  KeepIssuedSeed(database, 109, NowMs() - 7 * 3600 * 1000);
  Replay genuine = ServerSeedGame(101);
  Replay local = PlayBotGame(5, kHumanPace);
  size_t middle = genuine.steps.size() / 2;
  std::string encoded = EncodeReplay(ServerSeedGame(102));
  struct Case {
    const char* name;
    std::string body;
    std::string status;  // "refused:" alone takes any reason
  };
  const Case cases[] = {
      {"Genuine", ReplayBody("Genuine", genuine), "verified"},
      {"SameSeed", ReplayBody("SameSeed", genuine), "refused:seed_reused"},
      {"Unissued", ReplayBody("Unissued", ServerSeedGame(4242)), "refused:seed_unknown"},
      {"TooEarly", ReplayBody("TooEarly", ServerSeedGame(108)), "refused:too_early"},
      {"TooLate", ReplayBody("TooLate", ServerSeedGame(109)), "refused:too_late"},
      {"TimeOff", ReplayBody("TimeOff", ServerSeedGame(103), 10), "refused:time_mismatch"},
      {"Truncated",
       SubmissionBody("Truncated", T(12)) + "&rep=" + encoded.substr(0, encoded.size() / 2),
       "refused:undecodable"},
      {"Stamp",
       TamperedBody("Stamp", ServerSeedGame(104),
                    [](Replay& replay) {
                      replay.steps.back().stamp -= 10;
                      replay.endStamp -= 10;
                    }),
       "refused:"},
      {"Dropped",
       TamperedBody("Dropped", ServerSeedGame(105),
                    [&](Replay& replay) { replay.steps.erase(replay.steps.begin() + middle); }),
       "refused:"},
      {"Added",
       TamperedBody("Added", ServerSeedGame(106),
                    [&](Replay& replay) {
                      replay.steps.insert(replay.steps.begin() + middle, replay.steps[middle]);
                    }),
       "refused:"},
      {"OtherSeed",
       TamperedBody("OtherSeed", ServerSeedGame(107), [](Replay& replay) { replay.seed = 102; }),
       "refused:"},
      {"Owner", ReplayBody("Owner", local), "verified"},
      {"Thief", ReplayBody("Thief", local), "refused:replayed"},
      {"Plain", SubmissionBody("Plain", T(12)), "unverified"},
  };
  httplib::Client client("127.0.0.1", server.port);
  for (const Case& test : cases) {
    auto reply = Post(client, test.body);
    ASSERT_TRUE(reply) << test.name;
    bool refused = test.status.rfind("refused:", 0) == 0;
    EXPECT_EQ(reply->body == "0", refused) << test.name << " answered " << reply->body;
    EXPECT_EQ(StoredStatus(database, test.name).substr(0, test.status.size()), test.status)
        << test.name;
  }
  EXPECT_EQ(Post(client, "action=get")->body.find("Thief"), std::string::npos);
  StopScoreServer(server, SIGTERM);
}

TEST(Verification, VerifiedOnlyListsAndRanksVerifiedResultsAlone) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000", "--verified-only"}));
  httplib::Client client("127.0.0.1", server.port);
  EXPECT_EQ(Post(client, SubmissionBody("Plain", T(12)))->body, "0");
  Replay game = PlayBotGame(5, kHumanPace);
  EXPECT_EQ(Post(client, ReplayBody("Checked", game))->body, "1");
  EXPECT_EQ(Post(client, "action=get")->body,
            "Checked|" + std::to_string(PackedTimeOfStamp(PlayReplay(game).resultStamp)));
  EXPECT_EQ(StoredStatus(database, "Plain"), "unverified");
  StopScoreServer(server, SIGTERM);
}

// Runs kestrow-scores --verify on a file holding `text`; the exit code and the output.
std::pair<int, std::string> VerifyFile(const std::string& text) {
  std::string path = TemporaryDatabasePath() + ".replay";
  std::ofstream(path) << text;
  FILE* output = popen((std::string(KESTROW_SCORES_BINARY) + " --verify " + path).c_str(), "r");
  std::string printed;
  char buffer[512];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, output)) > 0) printed.append(buffer, count);
  int status = pclose(output);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
}

TEST(Verification, AReplayFileIsCheckedOffline) {
  std::string genuine = EncodeReplay(PlayBotGame(7, kHumanPace));
  struct Case {
    std::string text;
    int exitCode;
    std::string start;
  };
  const Case cases[] = {
      {genuine + "\n", 0, "verified: the replay reaches 2000 points at 08:"},
      {EncodeReplay(ServerSeedGame(7)), 0, "verified:"},
      {genuine.substr(0, 100), 1, "refused:undecodable: the record cannot be read"},
      {EncodeReplay(PlayBotGame(7, kBot10xPace)), 1, "refused:sustained_rate:"},
  };
  for (const Case& test : cases) {
    auto [exitCode, printed] = VerifyFile(test.text);
    EXPECT_EQ(exitCode, test.exitCode) << printed;
    EXPECT_EQ(printed.rfind(test.start, 0), 0u) << printed;
  }
}

}  // namespace
