// Steps shared by the tests that play: the board, a running game, and pieces, rows and endings
// set up by hand.
#pragma once

#include <cstdint>
#include <functional>

#include "support/game_driver.h"

// Piece ids.
inline constexpr int kI = 1, kO = 2, kT = 4;

Playfield& Board();

// Runs `body` once a game has started (after the countdown).
void InGame(const std::function<void()>& body);

// Shows the cells as they now are, without the falling piece and its ghost.
void RepaintWell();
// Replaces the falling piece by `pieceId` entering a well that shows its cells, as after a lock.
void Spawn(int pieceId);
// Fills `row` with blocks, leaving `gapColumn` empty.
void FillRow(int row, int gapColumn = -1);

// Ends the running game: a T locks on row 17 and the O after it cannot enter.
void LoseGame();
// Wins the running game with the chronometer reading `elapsedMs`: at 1990 points a vertical I
// completes the bottom row.
void WinAt(int32_t elapsedMs);
