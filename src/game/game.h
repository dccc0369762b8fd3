// The game's record: the clock, the playfield and the pieces, and what it draws them with; and
// the hooks through which it reaches the scores and the recorder, registered at start-up.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "base/score_table.h"
#include "game/playfield.h"
#include "platform/windows.h"

struct Game {
  GameClock clock;
  Playfield playfield;

  // Images
  BoardCell ghostCells[4];
  cairo_surface_t* blockImages[10];
  cairo_surface_t* ghostImage;
  cairo_surface_t* imageGO;
  cairo_surface_t* imageBRAVO;

  // Sound
  uint8_t midiOpen;

  // Recording of the games, and its value in the open preferences window.
  uint8_t videoCapture;
  uint8_t pendingVideoCapture;
};

struct GameHooks {
  // The board has been made: the saved settings and scores are read.
  void (*loadScores)();
  // The board was drawn inside its window's paint: the score list beside it is drawn again.
  void (*drawScoreList)(bool present);
  // A won game: the player's name is asked and the result ranked.
  void (*rankWonGame)(PackedTime time);
  // A game starts with recording on, and ends.
  void (*startRecording)(WindowHandle owner);
  void (*stopRecording)();
  // A game starts: the score server is asked for a seed, without waiting for its answer.
  void (*requestGameSeed)();
  // Its first piece is due: fills `seed` and returns true when the score server issued one.
  bool (*gameSeed)(uint64_t* seed);
};

extern Game game;
extern GameHooks gameHooks;
