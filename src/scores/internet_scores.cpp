#include "scores/internet_scores.h"

#include <memory>

#include "base/random.h"
#include "game/game.h"
#include "platform/network.h"
#include "scores/http_exchange.h"
#include "scores/ranking.h"
#include "scores/score_file.h"
#include "scores/score_list.h"

namespace {

struct ScoreServer {
  std::string host;
  int port;
};

ScoreServer scoreServer = {KESTROW_SCORE_SERVER_HOST, KESTROW_SCORE_SERVER_PORT};
std::string httpHelper;  // empty: the one beside the running program

// "&", "=", "+", "%" and every byte outside printable ASCII as %XX, so that a name cannot break
// the form.
std::string FormEncode(const std::string& text) {
  std::string encoded;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '&' || c == '=' || c == '+' || c == '%') {
      encoded += '%';
      AppendHexByte(encoded, byte);
      continue;
    }
    encoded += c;
  }
  return encoded;
}

bool exchangeRunning = false;
bool startupFetchPending = false;

// The seed request of the game being started: its job, and the reply the job alone writes
// until it is done.
struct SeedRequest {
  std::shared_ptr<BackgroundJob> job;
  std::shared_ptr<std::string> reply;
};
SeedRequest seedRequest;

std::string ScoreServerUrl() {
  return "http://" + scoreServer.host + ":" + std::to_string(scoreServer.port) + kScoreServerPath;
}

// The helper that makes the exchanges, taken on the UI thread with the URL so that the
// background work owns everything it uses.
std::string HttpHelper() {
  return httpHelper.empty() ? HttpHelperBesideProgram() : httpHelper;
}

}  // namespace

void SetScoreServer(const std::string& host, int port) {
  scoreServer = {host, port};
}

void SetHttpHelper(const std::string& path) {
  httpHelper = path;
}

// The window keeps painting and its timers run while the request is under way on a thread of
// its own; input is refused meanwhile, and a second exchange never starts during the first.
std::string ScoreServerExchange(const std::string& body) {
  if (exchangeRunning) return std::string();
  exchangeRunning = true;
  auto reply = std::make_shared<std::string>();
  bool finished =
      PlatformRunInBackground([reply, helper = HttpHelper(), url = ScoreServerUrl(), body] {
        *reply = PostThroughHttpHelper(helper, url, body);
      });
  exchangeRunning = false;
  return finished ? *reply : std::string();
}

// The request runs beside the countdown and takes no part in the one-exchange-at-a-time rule,
// so it never stands in the way of a submission or a fetch.
void RequestServerSeed() {
  seedRequest = {};
  if (!game.playfield.internetScores) return;
  auto reply = std::make_shared<std::string>();
  seedRequest.reply = reply;
  seedRequest.job =
      PlatformStartBackgroundJob([reply, helper = HttpHelper(), url = ScoreServerUrl()] {
        *reply = PostThroughHttpHelper(helper, url, "action=seed");
      });
}

bool CollectServerSeed(uint64_t* seed) {
  SeedRequest request = seedRequest;
  seedRequest = {};
  if (request.job == nullptr || !request.job->done) return false;
  return ReadServerSeed(*request.reply, seed);
}

bool ReadServerSeed(std::string_view reply, uint64_t* seed) {
  if (reply.size() != 16) return false;
  uint64_t value = 0;
  for (char c : reply) {
    int digit = c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= '0' && c <= '9' ? c - '0' : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  *seed = value;
  return true;
}

void ReadInternetTable(std::string_view reply, ScoreTable& table) {
  for (int row = 0; row < kScoreRows; ++row) {
    // A name no longer than the game itself allows, whatever the server sends.
    std::string name = LineField(reply, 2 * row + 1).substr(0, kMaxNameLength);
    if (name.empty()) {
      table[row] = {std::string(), kEmptySlotTime};
      continue;
    }
    table[row] = {name, LenientNumber(LineField(reply, 2 * row + 2))};
  }
}

bool FetchInternetScores() {
  std::string reply = ScoreServerExchange("action=get");
  if (reply.empty()) return false;
  ReadInternetTable(reply, game.playfield.internetTable);
  return true;
}

void FetchInternetScoresOnceShown() {
  startupFetchPending = true;
}

void RunStartupFetch() {
  if (!startupFetchPending) return;
  startupFetchPending = false;
  if (FetchInternetScores()) DrawScoreList(true);
}

std::string BuildSubmissionToken(uint32_t encodedTime) {
  auto mask = static_cast<uint8_t>(RandomBetween(1, 255));
  unsigned char address[6];
  if (!PlatformAdapterAddress(address)) return std::string();
  return FormatSubmissionToken(encodedTime, address, mask);
}

// The replay is one more field, which servers that know nothing of it ignore.
std::string SubmitResult(const std::string& name, PackedTime time, const Replay* replay) {
  std::string token = BuildSubmissionToken(EncodeResultTime(time));
  std::string body = "action=set&nom=" + FormEncode(name) + "&tmp=" + token;
  if (replay != nullptr) body += "&rep=" + EncodeReplay(*replay);
  return ScoreServerExchange(body);
}
