// The score file "Scores.zorvik": the last name, four options, the six keys and the local table.
#pragma once

void LoadScoreFile();
void SaveScoreFile();
void ClearLocalScores();
