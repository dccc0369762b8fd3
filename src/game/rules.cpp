#include "game/rules.h"

#include "game/board.h"
#include "game/chronometer.h"
#include "game/game.h"
#include "game/sound.h"
#include "game/status_panels.h"
#include "platform/windows.h"

namespace {

Playfield& Board() {
  return game.playfield;
}

void NoteLock() {
  if (Board().soundsEnabled) PlayNote(0, 76, 127, 127);
}

void ShowWell(uint32_t pause) {
  Board().dirty = 1;
  PaintBoard();
  if (pause != 0) PlatformSleep(pause);
}

void PlayRowsMelody(int rows) {
  if (Board().soundsEnabled) PlayRowMelody(rows);
}

void ShowScore() {
  DrawScore(&Board());
}

void ShowNewPiece() {
  DrawNextPiece(&Board());
  DrawNewPiece();
}

void CloseWonGame(uint32_t tick) {
  EndGame();
  UpdateChronometerAt(tick);
  ShowVictory(&Board());
  gameHooks.rankWonGame(Board().resultTime);
}

void CloseLostGame(uint32_t) {
  EndGame();
  ShowGameOver(&Board());
}

const RulesHooks kLiveHooks = {.pieceMoved = RedrawFallingPiece,
                               .pieceLocked = NoteLock,
                               .wellChanged = ShowWell,
                               .rowsScored = PlayRowsMelody,
                               .scoreChanged = ShowScore,
                               .pieceEntered = ShowNewPiece,
                               .gameWon = CloseWonGame,
                               .gameLost = CloseLostGame};

// The action a key stands for; a key bound to several stands for the earliest in this order.
bool ActionOfKey(int32_t key, GameAction* action) {
  for (GameAction candidate : {GameAction::rotateRight, GameAction::rotateLeft, GameAction::drop,
                               GameAction::moveLeft, GameAction::moveRight, GameAction::moveDown}) {
    if (KeyOfAction(Board().keys, candidate) != key) continue;
    *action = candidate;
    return true;
  }
  return false;
}

}  // namespace

void StartGameRules(uint64_t seed, bool serverSeed, uint32_t tick) {
  Playfield& board = Board();
  board.hooks = &kLiveHooks;
  board.recording = true;
  StartRules(board, seed, board.soundsEnabled != 0, tick);
  board.replay.serverSeed = serverSeed;
}

void SpawnPiece() {
  Playfield& board = Board();
  uint32_t tick = PlatformTickCount();
  if (static_cast<int32_t>(tick - board.now) > 0) board.now = tick;
  SpawnPiece(board);
}

bool PieceBlocked(int dx, int dy) {
  return PieceBlocked(Board(), dx, dy);
}

void MovePiece(int dx, int dy) {
  MovePiece(Board(), dx, dy);
}

void EndGame() {
  game.clock.running = 0;
}

void HandleGameKey(int32_t key) {
  GameAction action;
  if (!ActionOfKey(key, &action)) return;
  PlayAction(Board(), PlatformTickCount(), action);
}

void GameTick() {
  if (!game.clock.running) return;
  uint32_t tick = PlatformTickCount();
  UpdateChronometerAt(tick);
  AdvanceRules(Board(), tick);
}
