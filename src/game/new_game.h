// The start of a new game: the countdown 3, 2, 1, then the first piece.
#pragma once

#include <cstdint>

void StartNewGame();
void DrawCountdownDigit(int digit, int size, int alpha);
