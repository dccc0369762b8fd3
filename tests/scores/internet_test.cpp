// The score-server client: the requests byte for byte, the token, the list reply, the ranking's
// messages against the real kestrow-scores, and the failures of the network and of the helper
// program that makes the exchanges.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "base/cp1252.h"
#include "game/chronometer.h"
#include "game/replay.h"
#include "game/rules.h"
#include "game/sound.h"
#include "platform/dialogs.h"
#include "platform/windows.h"
#include "scores/internet_scores.h"
#include "scores/ranking.h"
#include "scores/score_list.h"
#include "server/server_process.h"
#include "support/board_helpers.h"
#include "support/game_driver.h"
#include "widgets/resources.h"

namespace {

constexpr unsigned char kAdapter[6] = {0x00, 0x1B, 0x2C, 0xFD, 0x4E, 0xA5};

// The exchanges go through the helper program built beside the game, not beside this test.
struct BuiltHttpHelper : testing::Environment {
  void SetUp() override { SetHttpHelper(KESTROW_HTTP_HELPER); }
};
testing::Environment* const builtHttpHelper =
    testing::AddGlobalTestEnvironment(new BuiltHttpHelper);

// A loopback HTTP server that records each request and answers every one with the same bytes.
struct RecordingServer {
  int listener = -1;
  int port = 0;
  std::string response;
  std::atomic<bool> stopping = false;
  std::mutex lock;
  std::vector<std::string> requests;
  std::thread thread;

  explicit RecordingServer(std::string reply, int status = 200) {
    response = "HTTP/1.1 " + std::to_string(status) +
               " X\r\nContent-Length: " + std::to_string(reply.size()) +
               "\r\nConnection: close\r\n\r\n" + reply;
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 8);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    thread = std::thread([this] { Serve(); });
  }

  ~RecordingServer() {
    stopping = true;
    thread.join();
    close(listener);
  }

  void Serve() {
    pollfd ready{listener, POLLIN, 0};
    while (!stopping) {
      if (poll(&ready, 1, 20) <= 0) continue;
      int connection = accept(listener, nullptr, nullptr);
      std::string request = ReadRequest(connection);
      {
        std::lock_guard<std::mutex> hold(lock);
        requests.push_back(request);
      }
      send(connection, response.data(), response.size(), MSG_NOSIGNAL);
      close(connection);
    }
  }

  // The head up to its blank line, then as many body bytes as its Content-Length says.
  static std::string ReadRequest(int connection) {
    std::string request;
    char buffer[4096];
    for (;;) {
      size_t head = request.find("\r\n\r\n");
      if (head != std::string::npos) {
        size_t field = request.find("Content-Length: ");
        size_t body = field == std::string::npos ? 0 : std::stoul(request.substr(field + 16));
        if (request.size() >= head + 4 + body) return request;
      }
      ssize_t count = recv(connection, buffer, sizeof buffer, 0);
      if (count <= 0) return request;
      request.append(buffer, static_cast<size_t>(count));
    }
  }

  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> hold(lock);
    return requests;
  }
};

std::string BodyOf(const std::string& request) {
  return request.substr(request.find("\r\n\r\n") + 4);
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

int Hex(const std::string& token, size_t at) {
  return std::stoi(token.substr(at, 2), nullptr, 16);
}

TEST(Exchange, RequestsAreSentByteForByte) {
  HeadlessReset();
  HeadlessSetAdapterAddress(kAdapter);
  RecordingServer server("");
  SetScoreServer("127.0.0.1", server.port);
  FetchInternetScores();
  SubmitResult(Utf8ToCp1252("Zoé & co=1+2%"), 3 * 65536 + 25 * 256 + 7, nullptr);
  SubmitResult("", 5 * 256, nullptr);
  HeadlessSetAdapterAddress(nullptr);
  SubmitResult("Nemo", 5 * 256, nullptr);
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const std::string& request : requests) {
    EXPECT_EQ(request.rfind("POST /public/index.php?a=KestrowRes HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(Count(request, "\r\nUser-Agent: Kestrow 1.3\r\n"), 1u);
    EXPECT_EQ(Count(request, "Content-Type"), 1u);
    EXPECT_EQ(Count(request, "\r\nContent-Type: application/x-www-form-urlencoded\r\n"), 1u);
    EXPECT_EQ(Count(request, "Expect"), 0u);
  }
  EXPECT_EQ(BodyOf(requests[0]), "action=get");

  std::string named = BodyOf(requests[1]);
  std::string prefix = "action=set&nom=Zo%E9 %26 co%3D1%2B2%25&tmp=";
  ASSERT_EQ(named.rfind(prefix, 0), 0u) << named;
  std::string token = named.substr(prefix.size());
  ASSERT_EQ(token.size(), kTokenLength);
  EXPECT_EQ(token.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  int mask = Hex(token, 16);
  EXPECT_NE(mask, 0);
  uint32_t encoded = 0;
  for (size_t at = 4; at < 12; at += 2) encoded = encoded << 8 | (Hex(token, at) ^ mask);
  EXPECT_EQ(encoded, EncodeResultTime(3 * 65536 + 25 * 256 + 7));
  const size_t addressAt[6] = {0, 2, 12, 14, 18, 20};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Hex(token, addressAt[i]) ^ mask, kAdapter[i]) << i;

  std::string unnamed = BodyOf(requests[2]);
  EXPECT_EQ(unnamed.rfind("action=set&nom=&tmp=", 0), 0u);
  EXPECT_EQ(unnamed.size(), std::string("action=set&nom=&tmp=").size() + kTokenLength);
  EXPECT_EQ(BodyOf(requests[3]), "action=set&nom=Nemo&tmp=");
}

TEST(Exchange, EveryTokenDrawsItsOwnMask) {
  HeadlessReset();
  std::set<std::string> masks;
  for (int i = 0; i < 200; ++i) {
    std::string token = BuildSubmissionToken(EncodeResultTime(1234));
    ASSERT_EQ(token.size(), kTokenLength);
    EXPECT_NE(token.substr(16, 2), "00");
    masks.insert(token.substr(16, 2));
  }
  EXPECT_GT(masks.size(), 100u);
}

// Only 16 lower-case hexadecimal digits name a seed: what a server that issues none answers
// ("0", nothing, an error page) leaves the game to its own seed. One request is collected once.
TEST(ServerSeed, OnlySixteenLowerCaseDigitsAreASeed) {
  struct Case {
    std::string reply;
    int status;
    bool seeded;
  };
  std::vector<Case> cases = {
      {"0123456789abcdef", 200, true},
      {"fedcba9876543210", 500, true},
      {"0", 200, false},
      {"", 200, false},
      {"0123456789ABCDEF", 200, false},
      {"0123456789abcdef\n", 200, false},
      {"0123456789abcde", 200, false},
      {"0123456789abcdeg", 200, false},
      {"<html>erreur</html>", 404, false},
  };
  for (const Case& expected : cases) {
    HeadlessReset();
    game.playfield.internetScores = 1;
    RecordingServer server(expected.reply, expected.status);
    SetScoreServer("127.0.0.1", server.port);
    RequestServerSeed();
    uint64_t seed = 0;
    EXPECT_EQ(CollectServerSeed(&seed), expected.seeded) << expected.reply;
    if (expected.seeded) {
      EXPECT_EQ(seed, std::stoull(expected.reply, nullptr, 16));
    }
    EXPECT_FALSE(CollectServerSeed(&seed)) << expected.reply;
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(BodyOf(requests[0]), "action=seed");
    game.playfield.internetScores = 0;
    RequestServerSeed();
    EXPECT_FALSE(CollectServerSeed(&seed));
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

TEST(Protocol, EncodingAndDecodingAreInverse) {
  for (uint32_t m = 0; m < 256; ++m) {
    for (uint32_t s = 0; s < 60; ++s) {
      for (uint32_t c = 0; c < 100; ++c) {
        auto time = static_cast<int32_t>(m << 16 | s << 8 | c);
        int32_t decoded = -1;
        ASSERT_TRUE(DecodeResultTime(EncodeResultTime(time), &decoded)) << time;
        ASSERT_EQ(decoded, time);
      }
    }
  }
  // Minutes are taken modulo 256.
  int32_t decoded = -1;
  EXPECT_TRUE(DecodeResultTime(EncodeResultTime(300 * 65536 + 256 + 2), &decoded));
  EXPECT_EQ(decoded, 44 * 65536 + 256 + 2);
}

// The check byte sees any change of the seconds or of itself; the minutes and hundredths count
// only modulo 64 in it, as peers compute it.
TEST(Protocol, TheCheckValueCatchesEveryChangeOfTheSecondsOrTheCheck) {
  for (uint32_t m = 0; m < 256; ++m) {
    for (uint32_t s : {0u, 17u, 59u}) {
      for (uint32_t c : {0u, 10u, 35u, 64u, 99u}) {
        uint32_t encoded = EncodeResultTime(static_cast<int32_t>(m << 16 | s << 8 | c));
        for (int shift : {8, 16}) {
          for (uint32_t other = 1; other < 256; ++other) {
            int32_t decoded;
            ASSERT_FALSE(DecodeResultTime(encoded ^ (other << shift), &decoded))
                << m << ":" << s << ":" << c << " byte " << shift / 8 << " ^ " << other;
          }
        }
      }
    }
  }
}

TEST(Protocol, TokensDecodeBackAndRefuseChangedDigits) {
  for (int mask = 1; mask < 256; ++mask) {
    int32_t time = (mask % 7) * 65536 + (mask % 60) * 256 + mask % 100;
    std::string token = FormatSubmissionToken(EncodeResultTime(time), kAdapter, mask);
    SubmissionToken decoded;
    ASSERT_TRUE(DecodeSubmissionToken(token, &decoded));
    EXPECT_EQ(decoded.time, time);
    EXPECT_EQ(decoded.encodedTime, EncodeResultTime(time));
    EXPECT_TRUE(std::equal(decoded.address.begin(), decoded.address.end(), kAdapter));
    for (size_t at = 6; at < 10; ++at) {  // the seconds and the check byte
      for (char digit : std::string("0123456789ABCDEF")) {
        if (digit == token[at]) continue;
        std::string changed = token;
        changed[at] = digit;
        ASSERT_FALSE(DecodeSubmissionToken(changed, &decoded)) << changed;
      }
    }
  }
}

TEST(FetchReply, PairsFillTheRowsInTheOrderReceived) {
  ScoreTable table;
  EmptyScoreTable(table);
  ReadInternetTable("Bob|900|Ann|300", table);
  EXPECT_EQ(table[0].name, "Bob");
  EXPECT_EQ(table[0].time, 900);
  EXPECT_EQ(table[1].name, "Ann");
  EXPECT_EQ(table[1].time, 300);
  for (int row = 2; row < kScoreRows; ++row) {
    EXPECT_EQ(table[row].name, "");
    EXPECT_EQ(table[row].time, kEmptySlotTime);
  }
  ReadInternetTable("A|1||77|C|x3", table);
  EXPECT_EQ(table[0].name, "A");
  EXPECT_EQ(table[1].name, "");
  EXPECT_EQ(table[1].time, kEmptySlotTime);  // an empty name gives an empty row
  EXPECT_EQ(table[2].name, "C");
  EXPECT_EQ(table[2].time, 0);  // read leniently
  EXPECT_EQ(table[3].name, "");
  std::string full;
  for (int i = 0; i < 20; ++i) full += "P" + std::to_string(i) + "|" + std::to_string(i) + "|";
  ReadInternetTable(full, table);
  EXPECT_EQ(table[15].name, "P15");
  EXPECT_EQ(table[15].time, 15);
  ReadInternetTable(std::string(64 * 1024, 'N') + "|5", table);
  EXPECT_EQ(table[0].name, std::string(kMaxNameLength, 'N'));  // no longer than a typed name
  EXPECT_EQ(table[0].time, 5);
}

TEST(FetchReply, AnEmptyReplyKeepsTheRows) {
  HeadlessReset();
  game.playfield.internetTable[0] = {"Old", 42};
  {
    RecordingServer server("");
    SetScoreServer("127.0.0.1", server.port);
    FetchInternetScores();
    EXPECT_EQ(server.Requests().size(), 1u);
  }
  EXPECT_EQ(game.playfield.internetTable[0].name, "Old");
  RecordingServer errorPage("Not|5", 500);  // an error page is read like any reply
  SetScoreServer("127.0.0.1", errorPage.port);
  FetchInternetScores();
  EXPECT_EQ(game.playfield.internetTable[0].name, "Not");
  EXPECT_EQ(game.playfield.internetTable[0].time, 5);
  EXPECT_EQ(game.playfield.internetTable[1].name, "");
}

TEST(ExchangeFailures, ServerDownGivesTheEmptyReplyAtOnce) {
  SetScoreServer("127.0.0.1", ClosedLoopbackPort());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ScoreServerExchange("action=get"), "");
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  RecordProperty("milliseconds", static_cast<int>(elapsed.count()));
  EXPECT_LT(elapsed.count(), kConnectTimeoutMs);  // refused, not timed out
}

TEST(ExchangeFailures, RepliesAreCutAtNulAndCapped) {
  {
    RecordingServer server(std::string("12\0abc", 6));
    SetScoreServer("127.0.0.1", server.port);
    EXPECT_EQ(ScoreServerExchange("action=get"), "12");
  }
  std::string huge(10 * 1024 * 1024, '7');
  RecordingServer server(huge);
  SetScoreServer("127.0.0.1", server.port);
  std::string reply = ScoreServerExchange("action=get");
  EXPECT_EQ(reply, huge.substr(0, kMaxReplyBytes));
}

// A helper that is missing, that exits at once after a part of a reply and a failure, that hangs,
// or that writes past the cap gives the empty reply, or the capped one for the last; the body,
// more than a pipe holds, is never taken by any of them, so the game's write meets a helper gone
// (which must not end it with SIGPIPE) or a full pipe (which must not hold it past the bound).
// No child is left behind, not even one to reap.
TEST(ExchangeFailures, BrokenHelpersGiveTheEmptyOrCappedReply) {
  struct Case {
    const char* name;
    const char* script;  // none: the helper is missing
    std::string reply;
  };
  std::string yes;
  while (yes.size() < kMaxReplyBytes) yes += "y\n";
  std::vector<Case> cases = {
      {"missing", nullptr, ""},
      {"exits-at-once", "printf 12; exit 3", ""},
      {"hangs", "exec sleep 600", ""},
      {"writes-past-the-cap", "exec yes", yes.substr(0, kMaxReplyBytes)},
  };
  std::string body(1 << 20, 'b');
  for (const Case& helper : cases) {
    std::string path = std::string("./helper-") + helper.name;
    if (helper.script != nullptr) {
      std::ofstream(path) << "#!/bin/sh\n" << helper.script << "\n";
      chmod(path.c_str(), 0755);
    }
    SetHttpHelper(path);
    std::string reply = ScoreServerExchange(body);
    EXPECT_EQ(reply.size(), helper.reply.size()) << helper.name;
    EXPECT_TRUE(reply == helper.reply) << helper.name;
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << helper.name;
    EXPECT_EQ(errno, ECHILD) << helper.name;
  }
  SetHttpHelper(KESTROW_HTTP_HELPER);
}

// --- The ranking of a won game against a server -------------------------------------------------

void ExpectLastDialog(const char* title, const std::string& text) {
  ASSERT_FALSE(HeadlessDialogs().empty());
  EXPECT_EQ(HeadlessDialogs().back().title, Utf8ToCp1252(title));
  EXPECT_EQ(HeadlessDialogs().back().text, Utf8ToCp1252(text));
  EXPECT_EQ(HeadlessDialogs().back().style, MB_OK);
}

constexpr const char* kInternetOn = "Ann\r\n1|1|1|0\r\n39|37|38|17|40|16\r\n";

// Against the real kestrow-scores: results sent without a replay, as older games send them, are
// ranked and listed; a game won here by setting up the board by hand sends a replay that does
// not hold up, which the server refuses: rank 0, and it never takes a place in the list.
TEST(InternetRanking, AgainstTheRealServer) {
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath(), {"--rate", "1000"}));
  SetScoreServer("127.0.0.1", server.port);
  EXPECT_EQ(SubmitResult(Utf8ToCp1252("Zoé"), 40 * 256, nullptr), "1");
  EXPECT_EQ(SubmitResult("Bob", 50 * 256, nullptr), "2");
  PrepareScoreFile(kInternetOn);
  RunGame({[] {  // fetched at start
             EXPECT_EQ(Board().internetTable[0].name, Utf8ToCp1252("Zoé"));
             EXPECT_EQ(Board().internetTable[0].time, 40 * 256);
             EXPECT_EQ(Board().internetTable[1].name, "Bob");
             EXPECT_GT(InkIn(356, 173, 560, 189), 0);
           },
           [] { ClickButton(1); },
           [] {
             HeadlessQueuePromptAnswer("Eve");
             WinAt(30000);
             ExpectLastDialog("Peut mieux faire!!!", "Ce n'est pas suffisant...");
           }});
  EXPECT_EQ(SubmitResult("Ann", 45 * 256, nullptr), "2");
  StopScoreServer(server, SIGTERM);
}

// Each game asks for its seed once, during the countdown, and plays from it when the answer
// names one, from a seed of its own otherwise, its first piece coming at the same moment either
// way; the won game's submission carries the replay of the game played.
TEST(InternetRanking, EachGameAsksForItsSeedAndSendsItsReplay) {
  struct Case {
    std::string reply;
    bool seeded;
  };
  std::vector<Case> cases = {
      {"0123456789abcdef", true}, {"0", false}, {"", false}, {"Not|5", false}};
  uint32_t firstPieceDelay = 0;  // from the click to the first piece, the same in every case
  for (const Case& expected : cases) {
    RecordingServer server(expected.reply);
    SetScoreServer("127.0.0.1", server.port);
    PrepareScoreFile(kInternetOn);
    auto bodies = [&](const std::string& prefix) {
      std::vector<std::string> found;
      for (const std::string& request : server.Requests()) {
        if (BodyOf(request).rfind(prefix, 0) == 0) found.push_back(BodyOf(request));
      }
      return found;
    };
    uint32_t clicked = 0;
    RunGame({[&] {
               clicked = PlatformTickCount();
               ClickButton(1);
             },
             [&] {
               EXPECT_EQ(bodies("action=seed"), std::vector<std::string>{"action=seed"});
               EXPECT_EQ(Board().replay.serverSeed, expected.seeded) << expected.reply;
               if (expected.seeded) {
                 EXPECT_EQ(Board().replay.seed, 0x0123456789abcdefu);
               }
               if (firstPieceDelay == 0) firstPieceDelay = Board().origin - clicked;
               EXPECT_EQ(Board().origin - clicked, firstPieceDelay) << expected.reply;
               HeadlessPressKey(Board().keys.moveLeft);
               HeadlessDispatchPending();
               HeadlessAdvance(1500);
               WinAt(30000);
               std::vector<std::string> submissions = bodies("action=set&");
               ASSERT_EQ(submissions.size(), 1u);
               size_t at = submissions[0].find("&rep=");
               ASSERT_NE(at, std::string::npos) << submissions[0];
               Replay sent;
               std::string error;
               ASSERT_TRUE(DecodeReplay(submissions[0].substr(at + 5), &sent, &error)) << error;
               const Replay& played = Board().replay;
               EXPECT_EQ(sent.seed, played.seed);
               EXPECT_EQ(sent.serverSeed, expected.seeded);
               EXPECT_EQ(sent.endStamp, played.endStamp);
               ASSERT_EQ(sent.steps.size(), played.steps.size());
               ASSERT_GE(sent.steps.size(), 2u);  // the move and the winning drop
               for (size_t i = 0; i < sent.steps.size(); ++i) {
                 EXPECT_EQ(sent.steps[i].stamp, played.steps[i].stamp) << i;
                 EXPECT_EQ(sent.steps[i].action, played.steps[i].action) << i;
               }
             },
             [] { ClickButton(1); }, [&] { EXPECT_EQ(bodies("action=seed").size(), 2u); }});
  }
}

// How closely the left channel of the audio output, from `ms` after the last clear, follows
// recorded sound `number` (1 for the same shape).
double HeardSound(int number, uint32_t ms) {
  std::vector<int16_t> sound;
  EXPECT_TRUE(DecodeOggVorbis(FindEmbeddedResource("sound" + std::to_string(number)), &sound));
  const std::vector<int16_t>& audio = HeadlessAudio();
  size_t first = static_cast<size_t>(ms) * HeadlessAudioRate() / 1000;
  size_t channels = static_cast<size_t>(HeadlessAudioChannels());
  double product = 0, heard = 0, expected = 0;
  for (size_t i = 0; i < sound.size() && channels * (first + i) < audio.size(); ++i) {
    double a = audio[channels * (first + i)], b = sound[i];
    product += a * b;
    heard += a * a;
    expected += b * b;
  }
  return heard > 0 && expected > 0 ? product / std::sqrt(heard * expected) : 0;
}

TEST(InternetRanking, OutcomesOfEveryReply) {
  struct Case {
    std::string reply;
    bool soundsOn;
    const char* title;
    std::string text;
    int sound;  // -1 for none
    bool refreshed;
  };
  std::vector<Case> cases = {
      {"0", true, "Peut mieux faire!!!", "Ce n'est pas suffisant...", 1, false},
      {"12", true, "Bravo!!!", "Vous êtes en 12ème position.", 2, true},
      {"1", true, "Félicitations!!!", "Vous êtes le premier.", 2, true},
      {"1\r\n", true, "Bravo!!!", "Vous êtes en 1\r\nème position.", 2, true},
      {"erreur", true, "Problème!!!", "Problème de transmission avec le serveur.", -1, false},
      {"-3", true, "Problème!!!", "Problème de transmission avec le serveur.", -1, false},
      {"0", false, "Peut mieux faire!!!", "Ce n'est pas suffisant...", -1, false},
      {"7", false, "Bravo!!!", "Vous êtes en 7ème position.", -1, true},
  };
  for (const Case& expected : cases) {
    RecordingServer server(expected.reply);
    SetScoreServer("127.0.0.1", server.port);
    PrepareScoreFile(expected.soundsOn ? "Ann\r\n1|1|1|0\r\n39|37|38|17|40|16\r\n"
                                       : "Ann\r\n0|1|1|0\r\n39|37|38|17|40|16\r\n");
    RunGame({[] { ClickButton(1); },
             [&] {
               size_t before = server.Requests().size();
               HeadlessClearAudio();
               uint32_t cleared = PlatformTickCount();
               WinAt(30000);
               uint32_t ranked = PlatformTickCount() - cleared;
               HeadlessAdvance(2000);
               ExpectLastDialog(expected.title, expected.text);
               for (int sound : {1, 2}) {
                 double likeness = HeardSound(sound, ranked);
                 if (sound == expected.sound) {
                   EXPECT_GT(likeness, 0.9) << expected.reply << " sound " << sound;
                 } else {
                   EXPECT_LT(likeness, 0.5) << expected.reply << " sound " << sound;
                 }
               }
               std::vector<std::string> requests = server.Requests();
               ASSERT_EQ(requests.size(), before + (expected.refreshed ? 2 : 1)) << expected.reply;
               EXPECT_EQ(BodyOf(requests[before]).rfind("action=set&nom=Ann&tmp=", 0), 0u);
               if (expected.refreshed) {
                 EXPECT_EQ(BodyOf(requests.back()), "action=get");
               }
               EXPECT_EQ(Board().localTable[0].time, 30 * 256);
             }});
  }
}

TEST(InternetRanking, AStalledServerEndsWithinTheBoundAndTheGameGoesOn) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 8);  // connections complete, but nobody answers
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  SetScoreServer("127.0.0.1", ClosedLoopbackPort());
  PrepareScoreFile(kInternetOn);
  RunGame({[] { ClickButton(1); },
           [&] {
             SetScoreServer("127.0.0.1", ntohs(address.sin_port));
             auto start = std::chrono::steady_clock::now();
             WinAt(30000);
             auto elapsed = std::chrono::steady_clock::now() - start;
             EXPECT_LT(elapsed, std::chrono::milliseconds(kExchangeTimeoutMs + 2000));
             ExpectLastDialog("Problème!!!", "Problème de transmission avec le serveur.");
           },
           [] { ClickButton(1); },
           [] {
             EXPECT_TRUE(game.clock.running);  // the window took the next command
           }});
  close(listener);
}

}  // namespace
