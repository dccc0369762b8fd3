// A result as the server receives it, and the bounds every store applies.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// How many results the list holds and a rank can reach.
inline constexpr int kBestResults = 16;

// The fastest time a game can reach, 10.20 s: 2000 points need at least 34 removals (60 points
// for four rows at most), and each removal stops the game for three flashes of 100 ms. Pieces
// can be dropped at once, so nothing else bounds the time.
inline constexpr int32_t kFastestPossibleTime = 10 * 256 + 20;

// The status of a result sent with a replay that re-plays to its time, of one sent without a
// replay (as older games and peers do), and the prefix of a refused one ("refused:REASON").
// Refused results are kept but never listed nor ranked.
inline constexpr const char* kVerified = "verified";
inline constexpr const char* kUnverified = "unverified";
inline constexpr const char* kRefusedPrefix = "refused:";

struct ReceivedResult {
  std::string name;
  int32_t time;
  std::array<unsigned char, 6> adapterAddress;
  std::string clientAddress;
  int64_t receivedAt;
  std::string status;
  // The digest of a verified replay, which no later result may bring again; empty otherwise.
  std::string replayDigest;
};

// One row of the list of the best, its name in Windows-1252.
struct BestRow {
  std::string name;
  int32_t time;
  bool verified;
};

bool IsRefused(const std::string& status);

// Seeds are issued for one game each and forgotten six hours after their issue; a result
// arriving later is refused.
inline constexpr int64_t kSeedLifetimeMs = 6 * 3600 * 1000;

// What the store knew of a seed when a result claimed it.
enum class SeedState { unknown, used, fresh };

struct SeedClaim {
  SeedState state;
  int64_t issuedMs;  // milliseconds since the epoch, when known
};

// The adapter address as stored: twelve upper-case hexadecimal digits.
std::string HexAddress(const std::array<unsigned char, 6>& address);

// The list reply of the protocol: name "|" time of each row, joined by "|".
std::string FormatBestList(const std::vector<BestRow>& rows);
