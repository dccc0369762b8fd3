#include "game/playfield.h"

#include <cstring>

#include "game/game.h"

void FillPieceTable(PieceTable& table) {
  table = {{
      {0x4444, 0x0F00, 0x4444, 0x0F00},  // I
      {0x0660, 0x0660, 0x0660, 0x0660},  // O
      {0x6440, 0xE200, 0x2260, 0x8E00},  // J
      {0xE400, 0x2620, 0x04E0, 0x8C80},  // T
      {0xC600, 0x4C80, 0xC600, 0x4C80},  // Z
      {0x6C00, 0x8C40, 0x6C00, 0x8C40},  // S
      {0x6220, 0x2E00, 0x4460, 0xE800},  // L
  }};
}

int32_t PieceMask(int pieceId, int rotation) {
  return game.pieceTable[pieceId - 1][rotation - 1];
}

int8_t PieceImage(int pieceId) {
  static constexpr int8_t kImages[7] = {6, 7, 2, 3, 4, 8, 9};
  return kImages[pieceId - 1];
}

void ClearPlayfield() {
  std::memset(game.playfield.cells, 0, sizeof game.playfield.cells);
  game.playfield.score = 0;
}
