// The verification of a result from the replay of its game: the server plays the game again
// with the game's own rules and compares what it reaches with what the result claims.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "game/replay.h"
#include "received_result.h"

// The shortest wait between a game's start, when it asks for a seed, and its first piece: the
// countdown sleeps 3 x 52 frames of 10 ms (1,560 ms), less some room.
inline constexpr int64_t kCountdownMs = 1500;

// What the replay alone shows of a result.
struct ReplayVerdict {
  // kVerified, or kRefusedPrefix and a reason: "undecodable", "not_won", "time_mismatch",
  // "end_mismatch", or one of CheckHumanInput's.
  std::string status;
  Replay replay;
  ReplayOutcome outcome;
  // Why the record could not be read, when undecodable.
  std::string decodeError;
  // The SHA-256 of the replay's content (not of its encoding, which could be made anew from
  // it), when verified.
  std::string digest;
};

// Decodes the base64url text and plays it again: verified when it wins, its winning moment
// makes `claimedTime` (packed, as the token holds it), it ends at that moment, and its actions
// are humanly plausible. A negative `claimedTime` takes the time the replay reaches.
ReplayVerdict VerifyReplay(std::string_view text, int32_t claimedTime);

// The status of a verified result whose replay has a server's seed, from what the store knew
// of that seed: issued, not used before, and the result arriving no sooner than the countdown
// and the game's time after the issue, and no later than kSeedLifetimeMs after it. Reasons:
// "seed_unknown", "seed_reused", "too_early", "too_late".
std::string JudgeServerSeed(const SeedClaim& claim, uint32_t resultStamp, int64_t nowMs);

// A sentence in English saying why a status is what it is, for an administrator.
std::string DescribeStatus(const std::string& status, const ReplayVerdict& verdict);
