// The rules as the live game plays them: on the game's own rules state, with the window, the
// sounds and the real pauses as hooks, and the tick count as the clock.
#pragma once

#include <cstdint>

#include "game/rules_engine.h"

// Starts the rules of a new game at `tick` with pieces from `seed`, recording its replay.
void StartGameRules(uint64_t seed, bool serverSeed, uint32_t tick);
// A new piece enters at the current tick in place of the falling one; the falling piece moved,
// or tested against the well.
void SpawnPiece();
bool PieceBlocked(int dx, int dy);
void MovePiece(int dx, int dy);
void EndGame();
// A key pressed during a game and the game timer: each reads the clock once.
void HandleGameKey(int32_t key);
void GameTick();
