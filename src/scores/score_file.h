// The score file "Scores.zorvik": the last name, four options, the six keys and the local table.
#pragma once

#include "scores/score_file_format.h"

void LoadScoreFile();
void SaveScoreFile();
void ClearLocalScores();
