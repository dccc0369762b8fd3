// The end of a won game: the player's name and the result's place in the tables.
#pragma once

#include <string>

#include "base/score_table.h"

// The longest name the score list can show in its column.
inline constexpr int kMaxNameLength = 32;

std::string PromptPlayerName();
void RankFinishedGame(const std::string& name, PackedTime time);
// Removes what would break the score file ("|", CR, LF, NUL) and cuts the name to its limit.
std::string CleanPlayerName(const std::string& name);
