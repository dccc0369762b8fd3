#include "game/playfield.h"

#include <cstring>

#include "game/game.h"

void ClearPlayfield() {
  std::memset(game.playfield.cells, 0, sizeof game.playfield.cells);
  game.playfield.score = 0;
}
