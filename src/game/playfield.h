// The pieces, the well and the clock record that every game operation works on.
#pragma once

#include <cstdint>
#include <string>

#include "base/score_table.h"
#include "game/rules_engine.h"

struct Widget;

inline constexpr int kCellSize = 29;
inline constexpr int kBoardLeft = 31;
inline constexpr int kBoardTop = 24;

// Overlay codes: which cells the falling piece covers on screen.
inline constexpr uint8_t kOverlayNone = 0;
inline constexpr uint8_t kOverlayErase = 1;
inline constexpr uint8_t kOverlayKeep = 2;
inline constexpr uint8_t kOverlayDraw = 3;

// The six game keys as virtual-key codes, in the order the score file stores them, which is
// also the order of GameAction.
struct KeyBindings {
  int32_t moveRight;
  int32_t moveLeft;
  int32_t rotateRight;
  int32_t rotateLeft;
  int32_t drop;
  int32_t moveDown;
};

inline int32_t KeyOfAction(const KeyBindings& keys, GameAction action) {
  const int32_t byAction[] = {keys.moveRight,  keys.moveLeft, keys.rotateRight,
                              keys.rotateLeft, keys.drop,     keys.moveDown};
  return byAction[static_cast<int>(action)];
}

// The game's rules state, and what the window and the settings add to it.
struct Playfield : RulesState {
  Widget* widget;
  int8_t columns;
  int8_t rows;
  uint8_t dirty;
  std::string lastName;
  uint8_t pendingSoundsEnabled;
  uint8_t ghostEnabled;
  uint8_t pendingGhostEnabled;
  uint8_t opaqueBackground;
  uint8_t pendingOpaqueBackground;
  uint8_t internetScores;
  uint8_t pendingInternetScores;
  ScoreTable internetTable;
  KeyBindings keys;
  int32_t resultTime;
  ScoreTable localTable;
  uint8_t scoresChanged;
  uint8_t overlay[kCellCount];
};

// The chronometer: whether a game is on, and the tick its time counts from.
struct GameClock {
  Widget* widget;
  uint8_t running;
  uint32_t startTick;
};

struct BoardCell {
  int32_t column;
  int32_t row;
  bool operator==(const BoardCell&) const = default;
};

void ClearPlayfield();
