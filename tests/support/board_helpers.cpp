#include "support/board_helpers.h"

#include <gtest/gtest.h>

#include "game/board.h"
#include "game/chronometer.h"
#include "game/rules.h"
#include "platform/windows.h"

Playfield& Board() {
  return game.playfield;
}

void InGame(const std::function<void()>& body) {
  bool ran = false;
  RunGame({[] { ClickButton(1); },
           [&] {
             ASSERT_TRUE(game.clock.running);
             body();
             ran = true;
           }});
  EXPECT_TRUE(ran);
}

void RepaintWell() {
  Board().dirty = 1;
  PaintBoard();
}

void Spawn(int pieceId) {
  RepaintWell();
  Board().nextPieceId = static_cast<int8_t>(pieceId);
  SpawnPiece();
  DrawNewPiece();
}

void FillRow(int row, int gapColumn) {
  for (int column = 0; column < kColumns; ++column) {
    Board().cells[CellIndex(column, row)] = column == gapColumn ? 0 : 3;
  }
}

void LoseGame() {
  Board().cells[CellIndex(4, 16)] = 2;
  Board().cells[CellIndex(4, 15)] = 2;
  Board().cells[CellIndex(5, 16)] = 2;
  Spawn(kT);
  HandleGameKey(Board().keys.moveDown);
  Board().nextPieceId = kO;
  HandleGameKey(Board().keys.drop);
}

void WinAt(int32_t elapsedMs) {
  Board().score = 1990;
  FillRow(0, 4);
  Spawn(kI);
  game.clock.startTick = PlatformTickCount() - elapsedMs;
  UpdateChronometer();
  HandleGameKey(Board().keys.drop);
}
