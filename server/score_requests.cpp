#include "score_requests.h"

#include <sys/random.h>

#include "replay_verification.h"
#include "scores/score_server_protocol.h"

namespace {

int HexValue(char c) {
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return HexDigitValue(c);
}

// Sets the result's status from the replay the body carries: unverified without one (or with
// an empty one), otherwise what the replay and its seed show, and the digest of a verified
// replay. False when the store could not be read.
bool JudgeReplay(ScoreStore& store, std::string_view body, int64_t nowMs, ReceivedResult* result) {
  std::string text;
  if (!FormField(body, "rep", &text) || text.empty()) return true;
  ReplayVerdict verdict = VerifyReplay(text, result->time);
  result->status = verdict.status;
  if (verdict.status != kVerified) return true;
  if (verdict.replay.serverSeed) {
    SeedClaim claim{};
    if (!ClaimSeed(store, verdict.replay.seed, &claim)) return false;
    result->status = JudgeServerSeed(claim, verdict.outcome.resultStamp, nowMs);
    if (result->status != kVerified) return true;
  }
  result->replayDigest = verdict.digest;
  return true;
}

ScoreReply AnswerSubmission(ScoreStore& store, std::string_view body,
                            const std::string& clientAddress, int64_t nowMs) {
  std::string name;
  std::string token;
  SubmissionToken decoded;
  if (!FormField(body, "tmp", &token) || !DecodeSubmissionToken(token, &decoded)) {
    return {200, "0", "token"};
  }
  FormField(body, "nom", &name);
  ReceivedResult result{CleanPlayerName(name), decoded.time, decoded.address, clientAddress,
                        nowMs / 1000,          kUnverified,  std::string()};
  if (!IsPlausibleResult(result)) return {200, "0", "implausible"};
  if (!JudgeReplay(store, body, nowMs, &result)) return {500, std::string(), nullptr};
  int rank = StoreResult(store, result);
  if (rank < 0) return {500, std::string(), nullptr};
  if (IsRefused(result.status)) return {200, "0", "replay"};
  return {200, std::to_string(rank), nullptr};
}

ScoreReply AnswerList(ScoreStore& store) {
  std::vector<BestRow> rows;
  if (!ReadBestResults(store, &rows)) return {500, std::string(), nullptr};
  return {200, FormatBestList(rows), nullptr};
}

std::string FormatSeed(uint64_t seed) {
  std::string text;
  for (int shift = 60; shift >= 0; shift -= 4) text += "0123456789abcdef"[(seed >> shift) & 0xF];
  return text;
}

// A new seed from the kernel's generator, as sixteen lower-case hexadecimal digits. An answer
// of any other form tells the game to draw a seed of its own, so a failure answers "0".
ScoreReply AnswerSeed(ScoreStore& store, const std::string& clientAddress, int64_t nowMs) {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != sizeof seed ||
      !IssueSeed(store, seed, clientAddress, nowMs)) {
    return {500, "0", nullptr};
  }
  return {200, FormatSeed(seed), nullptr};
}

}  // namespace

std::string DecodeFormText(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      decoded += ' ';
      continue;
    }
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) << 4 | HexValue(text[i + 2]));
      i += 2;
      continue;
    }
    decoded += c;
  }
  return decoded;
}

bool FormField(std::string_view body, std::string_view key, std::string* value) {
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string_view::npos) end = body.size();
    std::string_view pair = body.substr(start, end - start);
    size_t equals = pair.find('=');
    std::string_view name = pair.substr(0, equals);
    if (DecodeFormText(name) == key) {
      *value = equals == std::string_view::npos ? std::string()
                                                : DecodeFormText(pair.substr(equals + 1));
      return true;
    }
    start = end + 1;
  }
  return false;
}

ScoreReply HandleScoreRequest(ScoreStore& store, std::string_view body,
                              const std::string& clientAddress, int64_t nowMs) {
  if (body.size() > kMaxRequestBody) return {413, std::string(), "too_large"};
  std::string action;
  if (!FormField(body, "action", &action)) return {400, std::string(), "malformed"};
  if (action == "get") return AnswerList(store);
  if (action == "set") return AnswerSubmission(store, body, clientAddress, nowMs);
  if (action == "seed") return AnswerSeed(store, clientAddress, nowMs);
  return {400, std::string(), "malformed"};
}
