// The pieces, the well and the clock record that every game operation works on.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/score_table.h"

struct Widget;

inline constexpr int kColumns = 10;
inline constexpr int kRows = 18;
inline constexpr int kCellCount = kColumns * kRows;
inline constexpr int kCellSize = 29;
inline constexpr int kBoardLeft = 31;
inline constexpr int kBoardTop = 24;

// Cell codes besides the block images 2..9 of locked pieces.
inline constexpr int8_t kCellEmpty = 0;
inline constexpr int8_t kCellFlashFirst = 1;
inline constexpr int8_t kCellFlashSecond = 5;
inline constexpr int8_t kCellRemoved = 10;

// Overlay codes: which cells the falling piece covers on screen.
inline constexpr uint8_t kOverlayNone = 0;
inline constexpr uint8_t kOverlayErase = 1;
inline constexpr uint8_t kOverlayKeep = 2;
inline constexpr uint8_t kOverlayDraw = 3;

// Seven pieces by four rotations, each a 16-bit mask of a 4 x 4 box (bit 15 = top-left).
using PieceTable = std::array<std::array<int32_t, 4>, 7>;

// The six game keys as virtual-key codes, in the order the score file stores them.
struct KeyBindings {
  int32_t moveRight;
  int32_t moveLeft;
  int32_t rotateRight;
  int32_t rotateLeft;
  int32_t drop;
  int32_t moveDown;
};

struct Playfield {
  Widget* widget;
  int8_t columns;
  int8_t rows;
  uint8_t dirty;
  int8_t cells[kCellCount];
  std::string lastName;
  uint8_t soundsEnabled;
  uint8_t pendingSoundsEnabled;
  uint8_t ghostEnabled;
  uint8_t pendingGhostEnabled;
  uint8_t opaqueBackground;
  uint8_t pendingOpaqueBackground;
  uint8_t internetScores;
  uint8_t pendingInternetScores;
  ScoreTable internetTable;
  KeyBindings keys;
  int32_t score;
  int32_t resultTime;
  ScoreTable localTable;
  uint8_t scoresChanged;
  int8_t pieceId;
  int8_t rotation;
  int8_t nextPieceId;
  int8_t pieceImage;
  int8_t pieceColumn;
  int8_t pieceRow;
  uint8_t overlay[kCellCount];
};

struct GameClock {
  Widget* widget;
  uint8_t running;
  uint32_t startTick;
  uint32_t lastFallTick;
};

struct BoardCell {
  int32_t column;
  int32_t row;
  bool operator==(const BoardCell&) const = default;
};

void FillPieceTable(PieceTable& table);
int32_t PieceMask(int pieceId, int rotation);
int8_t PieceImage(int pieceId);
inline int CellIndex(int column, int row) {
  return column + row * kColumns;
}

// Applies `action(column, row)` to every board cell the mask covers when its box's top-left
// cell lies on (column, row): box rows top to bottom, box columns left to right.
template <typename Action>
void ForEachPieceCell(int32_t mask, int column, int row, Action&& action) {
  int32_t bit = 0x8000;
  for (int b = 0; b < 4; ++b) {
    for (int k = 0; k < 4; ++k) {
      if (mask & bit) action(column + k, row - b);
      bit >>= 1;
    }
  }
}

void ClearPlayfield();
