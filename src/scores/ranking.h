// The end of a won game: the player's name and the result's place in the tables.
#pragma once

#include <string>

#include "base/score_table.h"

std::string PromptPlayerName();
void RankFinishedGame(const std::string& name, PackedTime time);
