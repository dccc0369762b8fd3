#include "game/rules.h"

#include "base/random.h"
#include "game/board.h"
#include "game/chronometer.h"
#include "game/game.h"
#include "game/sound.h"
#include "game/status_panels.h"
#include "platform/windows.h"

namespace {

constexpr int32_t kPointsForRows[5] = {0, 10, 25, 40, 60};

Playfield& Board() {
  return game.playfield;
}

int RandomPieceId() {
  return RandomBetween(1, 7);
}

// Marks every full row with the first flash code; returns how many there are.
int MarkFullRows() {
  int count = 0;
  for (int row = 0; row < kRows; ++row) {
    bool full = true;
    for (int column = 0; column < kColumns && full; ++column) {
      full = Board().cells[CellIndex(column, row)] != kCellEmpty;
    }
    if (!full) continue;
    for (int column = 0; column < kColumns; ++column) {
      Board().cells[CellIndex(column, row)] = kCellFlashFirst;
    }
    ++count;
  }
  return count;
}

void ReplaceCells(int8_t from, int8_t to) {
  for (int8_t& cell : Board().cells) {
    if (cell == from) cell = to;
  }
}

void RepaintWell() {
  Board().dirty = 1;
  PaintBoard();
}

// Removes the marked rows: each column drops its cells above a marked cell by one row.
void CollapseRemovedRows() {
  for (int column = 0; column < kColumns; ++column) {
    for (int row = 0; row < kRows; ++row) {
      while (Board().cells[CellIndex(column, row)] == kCellRemoved) {
        for (int r = row; r < kRows - 1; ++r) {
          Board().cells[CellIndex(column, r)] = Board().cells[CellIndex(column, r + 1)];
        }
        Board().cells[CellIndex(column, kRows - 1)] = kCellEmpty;
      }
    }
  }
}

void WinGame() {
  EndGame();
  ShowVictory(&Board());
  gameHooks.rankWonGame(Board().resultTime);
}

void TurnPiece(int step) {
  auto wrap = [](int rotation) { return (rotation + 3) % 4 + 1; };
  Board().rotation = static_cast<int8_t>(wrap(Board().rotation + step));
  if (PieceBlocked(0, 0)) Board().rotation = static_cast<int8_t>(wrap(Board().rotation - step));
  MovePiece(0, 0);
}

void DropPiece() {
  int d = -1;
  while (!PieceBlocked(0, d)) --d;
  MovePiece(0, d + 1);
  SettlePiece();
}

}  // namespace

void SpawnPiece() {
  Playfield& board = Board();
  if (board.nextPieceId == 0) board.nextPieceId = static_cast<int8_t>(RandomPieceId());
  board.pieceId = board.nextPieceId;
  board.pieceImage = PieceImage(board.pieceId);
  board.nextPieceId = static_cast<int8_t>(RandomPieceId());
  board.rotation = 1;
  board.pieceColumn = kSpawnColumn;
  board.pieceRow = kSpawnRow;
  game.clock.lastFallTick = PlatformTickCount();
}

bool PieceBlocked(int dx, int dy) {
  const Playfield& board = Board();
  bool blocked = false;
  ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn + dx,
                   board.pieceRow + dy, [&](int column, int row) {
                     if (column < 0 || column >= kColumns || row < 0) {
                       blocked = true;
                     } else if (row < kRows && board.cells[CellIndex(column, row)] != 0) {
                       blocked = true;
                     }
                   });
  return blocked;
}

void MovePiece(int dx, int dy) {
  Board().pieceColumn = static_cast<int8_t>(Board().pieceColumn + dx);
  Board().pieceRow = static_cast<int8_t>(Board().pieceRow + dy);
  RedrawFallingPiece();
}

void LockPiece() {
  Playfield& board = Board();
  ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn, board.pieceRow,
                   [&](int column, int row) {
                     if (row < kRows) board.cells[CellIndex(column, row)] = board.pieceImage;
                   });
  if (board.soundsEnabled) PlayNote(0, 76, 127, 127);
}

bool ClearFullRows() {
  int count = MarkFullRows();
  if (count == 0) return true;
  RepaintWell();
  PlatformSleep(kFlashPause);
  ReplaceCells(kCellFlashFirst, kCellFlashSecond);
  RepaintWell();
  PlatformSleep(kFlashPause);
  Board().score += kPointsForRows[count];
  if (Board().soundsEnabled) PlayRowMelody(count);
  ReplaceCells(kCellFlashSecond, kCellRemoved);
  RepaintWell();
  PlatformSleep(kFlashPause);
  CollapseRemovedRows();
  RepaintWell();
  DrawScore(&Board());
  if (Board().score < kGoal) return true;
  WinGame();
  return false;
}

void SettlePiece() {
  LockPiece();
  if (!ClearFullRows()) return;
  SpawnPiece();
  if (PieceBlocked(0, 0)) {
    EndGame();
    ShowGameOver(&Board());
    return;
  }
  DrawNextPiece(&Board());
  DrawNewPiece();
}

void EndGame() {
  game.clock.running = 0;
}

void HandleGameKey(int32_t key) {
  const KeyBindings& keys = Board().keys;
  if (key == keys.rotateRight) {
    TurnPiece(1);
  } else if (key == keys.rotateLeft) {
    TurnPiece(-1);
  } else if (key == keys.drop) {
    DropPiece();
  } else if (key == keys.moveLeft) {
    if (!PieceBlocked(-1, 0)) MovePiece(-1, 0);
  } else if (key == keys.moveRight) {
    if (!PieceBlocked(1, 0)) MovePiece(1, 0);
  } else if (key == keys.moveDown) {
    if (PieceBlocked(0, -1)) {
      SettlePiece();
    } else {
      MovePiece(0, -1);
    }
  }
}

void GameTick() {
  if (!game.clock.running) return;
  UpdateChronometer();
  uint32_t now = PlatformTickCount();
  if (now - game.clock.lastFallTick < kFallPeriod) return;
  game.clock.lastFallTick = now;
  if (PieceBlocked(0, -1)) {
    SettlePiece();
  } else {
    MovePiece(0, -1);
  }
}
