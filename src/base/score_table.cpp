#include "base/score_table.h"

void EmptyScoreTable(ScoreTable& table) {
  for (ScoreEntry& entry : table) entry = {std::string(), kEmptySlotTime};
}

void InsertResult(ScoreTable& table, const std::string& name, PackedTime time) {
  for (int i = 0; i < kScoreRows; ++i) {
    if (table[i].time < time) continue;
    for (int j = kScoreRows - 1; j > i; --j) table[j] = table[j - 1];
    table[i] = {name, time};
    return;
  }
}
