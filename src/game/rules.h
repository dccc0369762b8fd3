// The rules: spawning, moving, turning, falling, locking, clearing rows, and the end of a game.
#pragma once

#include <cstdint>

inline constexpr int kSpawnColumn = 3;
inline constexpr int kSpawnRow = 17;
inline constexpr uint32_t kFallPeriod = 1000;
inline constexpr int32_t kGoal = 2000;
inline constexpr uint32_t kFlashPause = 100;

void SpawnPiece();
bool PieceBlocked(int dx, int dy);
void MovePiece(int dx, int dy);
void LockPiece();
bool ClearFullRows();
void SettlePiece();
void EndGame();
void HandleGameKey(int32_t key);
void GameTick();
