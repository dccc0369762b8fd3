// The rules driven through HandleGameKey and GameTick in a running game, on the virtual clock.
#include "game/rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "platform/input.h"
#include "platform/windows.h"
#include "support/board_helpers.h"

namespace {

std::vector<BoardCell> FallingCells() {
  std::vector<BoardCell> cells;
  ForEachPieceCell(PieceMask(Board().pieceId, Board().rotation), Board().pieceColumn,
                   Board().pieceRow, [&](int c, int r) {
                     cells.push_back({c, r});
                   });
  return cells;
}

TEST(Pieces, MasksImagesAndSpawnCells) {
  InGame([] {
    EXPECT_EQ(PieceMask(4, 3), 0x04E0);
    EXPECT_EQ(PieceMask(7, 4), 0xE800);
    const int8_t images[] = {6, 7, 2, 3, 4, 8, 9};
    for (int id = 1; id <= 7; ++id) EXPECT_EQ(PieceImage(id), images[id - 1]) << id;

    Spawn(kO);
    EXPECT_EQ(Board().pieceColumn, 3);
    EXPECT_EQ(Board().pieceRow, 17);
    EXPECT_EQ(Board().rotation, 1);
    EXPECT_EQ(Board().pieceImage, 7);
    std::vector<BoardCell> o = {{4, 16}, {5, 16}, {4, 15}, {5, 15}};
    EXPECT_EQ(FallingCells(), o);

    Spawn(kI);
    std::vector<BoardCell> vertical = {{4, 17}, {4, 16}, {4, 15}, {4, 14}};
    EXPECT_EQ(FallingCells(), vertical);
    HandleGameKey(Board().keys.rotateRight);
    std::vector<BoardCell> horizontal = {{3, 16}, {4, 16}, {5, 16}, {6, 16}};
    EXPECT_EQ(FallingCells(), horizontal);
  });
}

// The cells of a mask as (x, y) with y down the screen, moved against the box's top and left.
using Shape = std::set<std::pair<int, int>>;

Shape Normalized(const Shape& cells) {
  int left = 4, top = 4;
  for (auto [x, y] : cells) left = std::min(left, x), top = std::min(top, y);
  Shape moved;
  for (auto [x, y] : cells) moved.insert({x - left, y - top});
  return moved;
}

Shape ShapeOf(int32_t mask) {
  Shape cells;
  ForEachPieceCell(mask, 0, 0, [&](int column, int row) { cells.insert({column, -row}); });
  return Normalized(cells);
}

// A quarter turn clockwise on screen: right goes down, down goes left.
Shape TurnedClockwise(const Shape& shape) {
  Shape turned;
  for (auto [x, y] : shape) turned.insert({-y, x});
  return Normalized(turned);
}

TEST(Pieces, EveryTurnRightIsAQuarterTurnClockwise) {
  std::set<Shape> pieces;
  for (int id = 1; id <= 7; ++id) {
    Shape smallest = ShapeOf(PieceMask(id, 1));
    for (int rotation = 1; rotation <= 4; ++rotation) {
      Shape shape = ShapeOf(PieceMask(id, rotation));
      ASSERT_EQ(shape.size(), 4u) << id << "/" << rotation;
      EXPECT_EQ(ShapeOf(PieceMask(id, rotation % 4 + 1)), TurnedClockwise(shape))
          << id << "/" << rotation;
      smallest = std::min(smallest, shape);
    }
    pieces.insert(smallest);  // the same for every orientation of a piece
  }
  EXPECT_EQ(pieces.size(), 7u);  // seven different pieces
}

TEST(Pieces, ClearPlayfieldKeepsNextPieceAndOverlay) {
  InGame([] {
    FillRow(0, 4);
    Board().score = 120;
    int8_t next = Board().nextPieceId;
    uint8_t overlay[kCellCount];
    std::memcpy(overlay, Board().overlay, sizeof overlay);
    ClearPlayfield();
    for (int8_t cell : Board().cells) ASSERT_EQ(cell, 0);
    EXPECT_EQ(Board().score, 0);
    EXPECT_EQ(Board().nextPieceId, next);
    EXPECT_EQ(std::memcmp(overlay, Board().overlay, sizeof overlay), 0);
  });
}

TEST(Moves, WallsBlocksAndFlashCodesStopMoves) {
  InGame([] {
    Spawn(kO);
    for (int i = 0; i < 10; ++i) HandleGameKey(Board().keys.moveLeft);
    EXPECT_EQ(Board().pieceColumn, -1);  // the O sits in box columns 1 and 2
    for (int i = 0; i < 10; ++i) HandleGameKey(Board().keys.moveRight);
    EXPECT_EQ(Board().pieceColumn, 7);

    for (int8_t code : {int8_t{1}, int8_t{5}, int8_t{10}, int8_t{2}}) {
      Spawn(kO);
      Board().cells[CellIndex(6, 16)] = code;
      HandleGameKey(Board().keys.moveRight);
      EXPECT_EQ(Board().pieceColumn, 3) << "code " << int(code);
      Board().cells[CellIndex(6, 16)] = 0;
    }
  });
}

TEST(Moves, TurnsHaveNoWallKick) {
  InGame([] {
    Spawn(kI);
    for (int i = 0; i < 10; ++i) HandleGameKey(Board().keys.moveRight);
    ASSERT_EQ(Board().pieceColumn, 8);  // the vertical bar stands in column 9
    HandleGameKey(Board().keys.rotateRight);
    EXPECT_EQ(Board().rotation, 1);
    HandleGameKey(Board().keys.rotateLeft);
    EXPECT_EQ(Board().rotation, 1);
    EXPECT_EQ(Board().pieceColumn, 8);

    Spawn(kT);
    HandleGameKey(Board().keys.rotateLeft);
    EXPECT_EQ(Board().rotation, 4);
    HandleGameKey(Board().keys.rotateRight);
    HandleGameKey(Board().keys.rotateRight);
    EXPECT_EQ(Board().rotation, 2);
  });
}

TEST(Falling, FirstFallComesOneSecondAfterSpawn) {
  InGame([] {
    uint32_t spawned = Board().lastFall;
    int row = Board().pieceRow;
    uint32_t fell = 0;
    for (int step = 0; step < 2000 && fell == 0; ++step) {
      HeadlessAdvance(1);
      if (Board().pieceRow != row) fell = PlatformTickCount();
    }
    ASSERT_NE(fell, 0u);
    EXPECT_GE(fell - spawned, 1000u);
    EXPECT_LE(fell - spawned, 1030u);
    EXPECT_EQ(Board().pieceRow, row - 1);
  });
}

// Advances the virtual clock to the next tick of the game timer, which refreshes the reading.
void AdvanceToNextTick() {
  int32_t reading = Board().resultTime;
  for (int ms = 0; ms < 30 && Board().resultTime == reading; ++ms) HeadlessAdvance(1);
  ASSERT_NE(Board().resultTime, reading);
}

TEST(Falling, FallIsDueOneThousandMillisecondsAfterTheLast) {
  InGame([] {
    for (uint32_t since : {999u, 1000u}) {
      AdvanceToNextTick();
      int row = Board().pieceRow;
      uint32_t nextTick = PlatformTickCount() + 30;  // the timer's period
      Board().lastFall = nextTick - since;
      HeadlessAdvance(30);
      EXPECT_EQ(Board().pieceRow, since < 1000 ? row : row - 1) << since;
    }
    EXPECT_EQ(Board().lastFall, PlatformTickCount());
  });
}

// Falls keep exact moments, one second apart, whenever the timer's ticks come; a fall due at a
// key's very moment comes before the key, and a key stamped before the game's moment (held up by
// the pauses of cleared rows) is played and recorded at that moment.
TEST(Falling, FallsComeAtExactMomentsBeforeKeys) {
  InGame([] {
    uint32_t spawned = Board().lastFall;
    int row = Board().pieceRow;
    HeadlessAdvance(5500);
    EXPECT_EQ(Board().lastFall - spawned, 5000u);
    EXPECT_EQ(Board().pieceRow, row - 5);
  });

  RulesState state{};
  state.recording = true;
  StartRules(state, 1, false, 0);
  PlayAction(state, 999, GameAction::moveLeft);
  EXPECT_EQ(state.pieceRow, 17);
  PlayAction(state, 1000, GameAction::moveLeft);
  EXPECT_EQ(state.pieceRow, 16);
  EXPECT_EQ(state.pieceColumn, kSpawnColumn - 2);
  for (int column = 0; column < kColumns; ++column) {
    if (column < state.pieceColumn || column > state.pieceColumn + 3) {
      state.cells[CellIndex(column, 0)] = 2;
    }
  }
  state.pieceId = 1;
  state.rotation = 2;  // a flat I completes row 0 at 1200; the new piece enters at 1500
  PlayAction(state, 1200, GameAction::drop);
  PlayAction(state, 1300, GameAction::moveRight);
  EXPECT_EQ(state.replay.steps.back().stamp, 1500u);
  EXPECT_EQ(state.lastFall, 1500u);
}

TEST(Falling, RestingPieceLocksAtTheFallTickOnly) {
  InGame([] {
    FillRow(0, 0);
    Spawn(kO);
    HandleGameKey(Board().keys.drop);  // lands on row 0's blocks and locks at once
    EXPECT_EQ(Board().cells[CellIndex(4, 1)], 7);
    EXPECT_EQ(Board().cells[CellIndex(5, 2)], 7);

    Spawn(kO);
    while (!PieceBlocked(0, -1)) HandleGameKey(Board().keys.moveDown);
    uint32_t due = Board().lastFall + 1000;
    HandleGameKey(Board().keys.rotateRight);  // turning a resting piece does not postpone its lock
    HeadlessAdvance(due - PlatformTickCount() - 1);
    EXPECT_EQ(Board().cells[CellIndex(4, 3)], 0);
    HeadlessAdvance(30);
    EXPECT_EQ(Board().cells[CellIndex(4, 3)], 7);
    EXPECT_EQ(Board().pieceRow, 17);
  });
}

TEST(Falling, MoveDownOnRestingPieceLocksAtOnce) {
  InGame([] {
    Spawn(kO);
    HandleGameKey(Board().keys.drop);
    Spawn(kO);
    HandleGameKey(Board().keys.drop);  // a drop of 0 rows onto the first O still locks
    EXPECT_EQ(Board().cells[CellIndex(4, 2)], 7);
    Spawn(kO);
    while (!PieceBlocked(0, -1)) HandleGameKey(Board().keys.moveDown);
    HandleGameKey(Board().keys.moveDown);
    EXPECT_EQ(Board().cells[CellIndex(4, 4)], 7);
    EXPECT_EQ(Board().pieceRow, 17);
  });
}

struct RowCase {
  std::vector<int> fullRows;
  int points;
};

class RowClearing : public testing::TestWithParam<RowCase> {};

TEST_P(RowClearing, RemovesRowsScoresAndPausesThreeTimes) {
  InGame([] {
    const RowCase& c = GetParam();
    Board().soundsEnabled = 0;
    // Full rows leave column 4 open for a vertical I; the other rows below 4 keep two holes.
    for (int row = 0; row < 4; ++row) FillRow(row, 4);
    for (int row = 0; row < 4; ++row) {
      bool full = std::find(c.fullRows.begin(), c.fullRows.end(), row) != c.fullRows.end();
      if (!full) Board().cells[CellIndex(7, row)] = 0;
    }
    Board().cells[CellIndex(0, 4)] = 9;  // a block above the rows
    Spawn(kI);
    uint32_t before = PlatformTickCount();
    HandleGameKey(Board().keys.drop);
    EXPECT_EQ(PlatformTickCount() - before, 300u);
    EXPECT_EQ(Board().score, c.points);
    int removed = static_cast<int>(c.fullRows.size());
    EXPECT_EQ(Board().cells[CellIndex(0, 4 - removed)], 9);
    for (int row = 4 - removed + 1; row < kRows; ++row) {
      for (int column = 0; column < kColumns; ++column) {
        ASSERT_EQ(Board().cells[CellIndex(column, row)], 0) << column << "," << row;
      }
    }
    // The rows that were not full keep their hole at column 7, lower by the rows below them.
    int kept = 0;
    for (int row = 0; row < 4; ++row) {
      if (std::find(c.fullRows.begin(), c.fullRows.end(), row) != c.fullRows.end()) continue;
      EXPECT_EQ(Board().cells[CellIndex(7, kept)], 0);
      EXPECT_EQ(Board().cells[CellIndex(4, kept)], 6);
      ++kept;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Counts, RowClearing,
                         testing::Values(RowCase{{0}, 10}, RowCase{{0, 2}, 25},
                                         RowCase{{0, 1, 3}, 40}, RowCase{{0, 1, 2, 3}, 60}));

TEST(RowClearingSound, MelodyPausesOnlyWithSoundsOn) {
  InGame([] {
    Board().soundsEnabled = 1;
    for (int row = 0; row < 3; ++row) FillRow(row, 4);
    Spawn(kI);
    uint32_t before = PlatformTickCount();
    HandleGameKey(Board().keys.drop);
    EXPECT_EQ(PlatformTickCount() - before, 340u);  // three flashes and the 3-row melody
  });
}

TEST(GameEnd, VictoryAtTwoThousandPoints) {
  for (auto [score, rows] : {std::pair{1990, 1}, std::pair{1950, 4}, std::pair{1980, 1}}) {
    InGame([score = score, rows = rows] {
      Board().score = score;
      for (int row = 0; row < rows; ++row) FillRow(row, 4);
      Spawn(kI);
      HandleGameKey(Board().keys.drop);
      bool won = Board().score >= 2000;
      EXPECT_EQ(game.clock.running, won ? 0 : 1) << score;
    });
  }
}

TEST(GameEnd, BlockedSpawnEndsTheGameWithoutDrawingThePiece) {
  InGame([] {
    Board().soundsEnabled = 0;
    Board().cells[CellIndex(4, 16)] = 2;  // under every piece's spawn cells but the I's
    Board().cells[CellIndex(4, 15)] = 2;
    Board().cells[CellIndex(5, 16)] = 2;
    Spawn(kT);
    EXPECT_EQ(Board().pieceRow, 17);
    Board().nextPieceId = kO;
    HandleGameKey(Board().keys.moveDown);  // T locks on row 17; the O cannot enter
    EXPECT_EQ(game.clock.running, 0);
    EXPECT_EQ(Board().pieceId, kO);
    // The O would show its pink block in the free cell (5, 15).
    EXPECT_NE(ScreenPixel(CellScreenX(5) + 14, CellScreenY(15) + 14), 0xFFFF4DCBu);
    HeadlessAdvance(2000);
    EXPECT_EQ(Board().pieceRow, 17);  // nothing moves once the game is over
  });
}

// The pieces of a game come from its seed alone: the server's when it issued one, else a fresh
// local one. The generator's first pieces are pinned: a change would make every stored replay
// play out differently.
TEST(GameStart, PiecesComeFromTheGameSeed) {
  uint64_t generator = 0;
  std::vector<int> first(12);
  for (int& id : first) id = NextPieceId(&generator);
  EXPECT_EQ(first, (std::vector<int>{7, 4, 1, 7, 1, 3, 2, 6, 2, 7, 3, 6}));
  int counts[8] = {};
  for (int i = 0; i < 70000; ++i) ++counts[NextPieceId(&generator)];
  for (int id = 1; id <= 7; ++id) EXPECT_NEAR(counts[id], 10000, 400) << id;

  static uint64_t serverSeed;
  std::vector<uint64_t> localSeeds;
  for (uint64_t seed : {0x1234u, 0x1234u, 0u, 0u}) {
    serverSeed = seed;
    RunGame({[] {
               gameHooks.gameSeed = [](uint64_t* out) {
                 *out = serverSeed;
                 return serverSeed != 0;
               };
               ClickButton(1);
             },
             [&] {
               ASSERT_TRUE(game.clock.running);
               const Replay& replay = Board().replay;
               EXPECT_EQ(replay.serverSeed, seed != 0);
               if (seed == 0) {
                 localSeeds.push_back(replay.seed);
               } else {
                 EXPECT_EQ(replay.seed, seed);
               }
               uint64_t expected = replay.seed;
               int pieceId = NextPieceId(&expected);
               EXPECT_EQ(Board().pieceId, pieceId);
               EXPECT_EQ(Board().nextPieceId, NextPieceId(&expected));
             }});
  }
  ASSERT_EQ(localSeeds.size(), 2u);
  EXPECT_NE(localSeeds[0], localSeeds[1]);
}

TEST(Keys, SharedKeyActsForTheEarliestActionOnly) {
  InGame([] {
    Spawn(kT);
    KeyBindings& keys = Board().keys;
    keys.moveLeft = keys.rotateRight;
    HandleGameKey(keys.rotateRight);
    EXPECT_EQ(Board().rotation, 2);
    EXPECT_EQ(Board().pieceColumn, 3);

    keys.moveDown = keys.drop;
    HandleGameKey(keys.drop);
    EXPECT_EQ(Board().pieceRow, 17);  // dropped and locked, a new piece entered
    keys.moveRight = 'Z';
    keys.moveDown = 'Z';
    HandleGameKey('Z');
    EXPECT_EQ(Board().pieceColumn, 4);
    EXPECT_EQ(Board().pieceRow, 17);
  });
}

}  // namespace
