#include "game/playfield.h"

#include <cstring>

#include "game/game.h"

void FillPieceTable(PieceTable& table) {
  table = kPieceTable;
}

void ClearPlayfield() {
  std::memset(game.playfield.cells, 0, sizeof game.playfield.cells);
  game.playfield.score = 0;
}
