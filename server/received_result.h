// A result as the server receives it, and the bounds every store applies.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// How many results the list holds and a rank can reach.
inline constexpr int kBestResults = 16;

// The fastest time a game can reach, 10.20 s: 2000 points need at least 34 removals (60 points
// for four rows at most), and each removal stops the game for three flashes of 100 ms. Pieces
// can be dropped at once, so nothing else bounds the time.
inline constexpr int32_t kFastestPossibleTime = 10 * 256 + 20;

struct ReceivedResult {
  std::string name;
  int32_t time;
  std::array<unsigned char, 6> adapterAddress;
  std::string clientAddress;
  int64_t receivedAt;
};

// The adapter address as stored: twelve upper-case hexadecimal digits.
std::string HexAddress(const std::array<unsigned char, 6>& address);

// Appends one row, name "|" time, to the list text of the best results.
void AppendBestRow(std::string* text, const char* name, size_t nameLength, int32_t time);
