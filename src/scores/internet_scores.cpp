#include "scores/internet_scores.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/random.h"
#include "game/game.h"
#include "platform/network.h"
#include "scores/ranking.h"
#include "scores/score_file.h"
#include "scores/score_list.h"

namespace {

constexpr size_t kReadChunk = 1024;

struct ScoreServer {
  std::string host;
  int port;
};

ScoreServer scoreServer = {KESTROW_SCORE_SERVER_HOST, KESTROW_SCORE_SERVER_PORT};

// The reply so far; a delivery is taken in chunks of at most 1024 bytes, each cut at its first
// NUL, and reading stops once the reply holds its maximum.
size_t ReceiveReply(char* data, size_t, size_t count, void* userData) {
  auto* reply = static_cast<std::string*>(userData);
  for (size_t start = 0; start < count; start += kReadChunk) {
    size_t length = std::min(kReadChunk, count - start);
    const char* nul = static_cast<const char*>(std::memchr(data + start, '\0', length));
    if (nul) length = static_cast<size_t>(nul - (data + start));
    size_t room = kMaxReplyBytes - reply->size();
    reply->append(data + start, std::min(length, room));
    if (reply->size() == kMaxReplyBytes) return 0;
  }
  return count;
}

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

// One POST, made on a background thread: everything it uses is its own.
std::string PostToScoreServer(const std::string& url, const std::string& body) {
  std::string reply;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return reply;
  curl_slist* headers =
      curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kExchangeTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kScoreServerAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kReadChunk));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceiveReply);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return reply;
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
  curl_global_init(CURL_GLOBAL_DEFAULT);  // not thread-safe: done here, on the UI thread
  return "http://" + scoreServer.host + ":" + std::to_string(scoreServer.port) + kScoreServerPath;
}

}  // namespace

void SetScoreServer(const std::string& host, int port) {
  scoreServer = {host, port};
}

// The window keeps painting and its timers run while the request is under way on a thread of
// its own; input is refused meanwhile, and a second exchange never starts during the first.
std::string ScoreServerExchange(const std::string& body) {
  if (exchangeRunning) return std::string();
  exchangeRunning = true;
  std::string url = ScoreServerUrl();
  auto reply = std::make_shared<std::string>();
  bool finished =
      PlatformRunInBackground([reply, url, body] { *reply = PostToScoreServer(url, body); });
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
  seedRequest.job = PlatformStartBackgroundJob(
      [reply, url = ScoreServerUrl()] { *reply = PostToScoreServer(url, "action=seed"); });
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
