// The sixteen best results, fastest first.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Minutes * 65536 + seconds * 256 + hundredths; smaller is better.
using PackedTime = int32_t;

// The time of an empty row, read as 99:99:99.
inline constexpr PackedTime kEmptySlotTime = 0x636363;
inline constexpr int kScoreRows = 16;

struct ScoreEntry {
  std::string name;
  PackedTime time;
};

using ScoreTable = std::array<ScoreEntry, kScoreRows>;

void EmptyScoreTable(ScoreTable& table);
void InsertResult(ScoreTable& table, const std::string& name, PackedTime time);
