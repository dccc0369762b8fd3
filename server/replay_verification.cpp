#include "replay_verification.h"

#include <openssl/evp.h>

#include "replay_checks.h"
#include "score_pages.h"

namespace {

std::string Refused(const std::string& reason) {
  return kRefusedPrefix + reason;
}

void AppendLittleEndian(std::string& bytes, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
}

// The SHA-256 of every field of the replay, in a fixed layout of its own.
std::string DigestReplay(const Replay& replay) {
  std::string bytes;
  bytes += static_cast<char>(replay.formatVersion);
  bytes += static_cast<char>(replay.rulesVersion);
  AppendLittleEndian(bytes, replay.seed, 8);
  bytes += static_cast<char>(replay.serverSeed);
  bytes += static_cast<char>(replay.soundsEnabled);
  AppendLittleEndian(bytes, replay.endStamp, 4);
  for (const ReplayStep& step : replay.steps) {
    AppendLittleEndian(bytes, step.stamp, 4);
    bytes += static_cast<char>(step.action);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  return std::string(reinterpret_cast<char*>(digest), size);
}

// The reason the replay does not give the claimed result; empty when it does.
std::string CheckReplay(const ReplayVerdict& verdict, int32_t claimedTime) {
  if (!verdict.outcome.won) return "not_won";
  int32_t reached = PackedTimeOfStamp(verdict.outcome.resultStamp);
  if (claimedTime >= 0 && reached != claimedTime) return "time_mismatch";
  if (verdict.replay.endStamp != verdict.outcome.resultStamp) return "end_mismatch";
  return CheckHumanInput(verdict.replay.steps);
}

}  // namespace

ReplayVerdict VerifyReplay(std::string_view text, int32_t claimedTime) {
  ReplayVerdict verdict{};
  if (!DecodeReplay(text, &verdict.replay, &verdict.decodeError)) {
    verdict.status = Refused("undecodable");
    return verdict;
  }
  // A claimed time the replay's end does not give is refused before any play: the end bounds
  // how many falls the play runs, and the token's time bounds the end.
  if (claimedTime >= 0 && PackedTimeOfStamp(verdict.replay.endStamp) != claimedTime) {
    verdict.status = Refused("time_mismatch");
    return verdict;
  }
  verdict.outcome = PlayReplay(verdict.replay);
  std::string reason = CheckReplay(verdict, claimedTime);
  if (!reason.empty()) {
    verdict.status = Refused(reason);
    return verdict;
  }
  verdict.status = kVerified;
  verdict.digest = DigestReplay(verdict.replay);
  return verdict;
}

std::string JudgeServerSeed(const SeedClaim& claim, uint32_t resultStamp, int64_t nowMs) {
  if (claim.state == SeedState::unknown) return Refused("seed_unknown");
  if (claim.state == SeedState::used) return Refused("seed_reused");
  if (nowMs < claim.issuedMs + kCountdownMs + resultStamp) return Refused("too_early");
  if (nowMs > claim.issuedMs + kSeedLifetimeMs) return Refused("too_late");
  return kVerified;
}

std::string DescribeStatus(const std::string& status, const ReplayVerdict& verdict) {
  std::string reached = FormatPackedTime(PackedTimeOfStamp(verdict.outcome.resultStamp));
  if (status == kVerified) {
    return "the replay reaches 2000 points at " + reached + " (" +
           std::to_string(verdict.outcome.resultStamp) + " ms) in " +
           std::to_string(verdict.replay.steps.size()) + " actions";
  }
  std::string reason = status.substr(std::string(kRefusedPrefix).size());
  if (reason == "undecodable") return "the record cannot be read: " + verdict.decodeError;
  if (reason == "not_won") {
    return "the replay ends at " + std::to_string(verdict.outcome.score) +
           " points, short of 2000 (or has actions after its end)";
  }
  if (reason == "time_mismatch")
    return "the replay reaches 2000 points at " + reached + ", not at the time claimed";
  if (reason == "end_mismatch") {
    return "the replay says it ends at " + std::to_string(verdict.replay.endStamp) +
           " ms but reaches 2000 points at " + std::to_string(verdict.outcome.resultStamp) + " ms";
  }
  if (reason == "sustained_rate") {
    return "more than " + std::to_string(kMaxPressesPerTenSeconds) + " key presses within 10 s";
  }
  if (reason == "burst") {
    return "more than " + std::to_string(kMaxPressesPerSecond) + " key presses within a second";
  }
  if (reason == "held_keys") {
    return "more than " + std::to_string(kMaxActionsPerSecond) + " actions within a second";
  }
  if (reason == "close_changes") {
    return "most changes of action come under " + std::to_string(kCloseChangeMs) + " ms";
  }
  if (reason == "seed_unknown") return "the seed was not issued by this server in the last 6 hours";
  if (reason == "seed_reused") return "the seed was used by an earlier result";
  if (reason == "too_early") return "the result came sooner after its seed than the game lasts";
  if (reason == "too_late") return "the result came more than 6 hours after its seed";
  if (reason == "replayed") return "the same replay came with an earlier result";
  return reason;
}
