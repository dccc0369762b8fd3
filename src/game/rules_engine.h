// The rules without drawing, sound or clock: the well, the pieces, falls, locks, cleared rows,
// the goal, and the moments at which they happen. The live game and the re-play of a replay run
// this same code; the live game sees what happens through its hooks, a re-play through none.
#pragma once

#include <array>
#include <cstdint>

#include "game/replay.h"

inline constexpr int kColumns = 10;
inline constexpr int kRows = 18;
inline constexpr int kCellCount = kColumns * kRows;

// Cell codes besides the block images 2..9 of locked pieces.
inline constexpr int8_t kCellEmpty = 0;
inline constexpr int8_t kCellFlashFirst = 1;
inline constexpr int8_t kCellFlashSecond = 5;
inline constexpr int8_t kCellRemoved = 10;

inline constexpr int kSpawnColumn = 3;
inline constexpr int kSpawnRow = 17;
inline constexpr uint32_t kFallPeriod = 1000;
inline constexpr int32_t kGoal = 2000;
// Each of the three stages of a cleared row is shown this long.
inline constexpr uint32_t kFlashPause = 100;
// With sounds on, the melody of 0..4 cleared rows holds the game this long.
inline constexpr uint32_t kRowMelodyPauses[5] = {0, 0, 10, 40, 70};

// Seven pieces by four rotations, each a 16-bit mask of a 4 x 4 box (bit 15 = top-left).
using PieceTable = std::array<std::array<int32_t, 4>, 7>;
inline constexpr PieceTable kPieceTable = {{
    {0x4444, 0x0F00, 0x4444, 0x0F00},  // I
    {0x0660, 0x0660, 0x0660, 0x0660},  // O
    {0x6440, 0xE200, 0x2260, 0x8E00},  // J
    {0xE400, 0x2620, 0x04E0, 0x8C80},  // T
    {0xC600, 0x4C80, 0xC600, 0x4C80},  // Z
    {0x6C00, 0x8C40, 0x6C00, 0x8C40},  // S
    {0x6220, 0x2E00, 0x4460, 0xE800},  // L
}};

inline int32_t PieceMask(int pieceId, int rotation) {
  return kPieceTable[pieceId - 1][rotation - 1];
}
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

// What the live game does as the rules play: draw, sound, and hold the screen for a pause.
// Every hook may be null.
struct RulesHooks {
  // The falling piece moved or turned.
  void (*pieceMoved)();
  // A piece locked into the well.
  void (*pieceLocked)();
  // The well's cells changed; the screen shows them for `pause` milliseconds.
  void (*wellChanged)(uint32_t pause);
  // `rows` rows were cleared and scored, before they are removed.
  void (*rowsScored)(int rows);
  // The cleared rows are gone and the new score is known.
  void (*scoreChanged)();
  // A new piece entered the well, with the next one announced.
  void (*pieceEntered)();
  // The game ended at `stamp` (in the caller's milliseconds), won or lost.
  void (*gameWon)(uint32_t stamp);
  void (*gameLost)(uint32_t stamp);
};

// The state of one game under the rules. Moments are in the caller's milliseconds (the tick
// count in the live game, the replay's stamps in a re-play); `origin` is the moment the first
// piece appeared, from which the replay counts.
struct RulesState {
  int8_t cells[kCellCount];
  int32_t score;
  int8_t pieceId;
  int8_t rotation;
  int8_t nextPieceId;
  int8_t pieceImage;
  int8_t pieceColumn;
  int8_t pieceRow;
  uint8_t soundsEnabled;
  uint64_t pieceGenerator;
  uint32_t origin;
  uint32_t now;
  uint32_t lastFall;
  bool over;
  bool won;
  // The moment of the event that reached the goal, counted from `origin`.
  uint32_t resultStamp;
  // When set, every action played is added to `replay`.
  bool recording;
  Replay replay;
  const RulesHooks* hooks;
};

// The piece generator, whose state starts as the game's seed: the same pieces for a seed with
// any compiler or library.
int NextPieceId(uint64_t* generator);

// Starts a game at `stamp`: an empty well, pieces from `seed`, the first piece entering.
void StartRules(RulesState& state, uint64_t seed, bool soundsEnabled, uint32_t stamp);
// Plays every fall due up to `stamp`, each exactly one fall period after the last. Returns
// `stamp`, raised to the state's current moment if it was earlier.
uint32_t AdvanceRules(RulesState& state, uint32_t stamp);
// Plays the falls due before `stamp`, then `action` at `stamp` (raised as above). Returns false,
// playing nothing more, when the game is over before the action.
bool PlayAction(RulesState& state, uint32_t stamp, GameAction action);

// Plays `replay` on `state` from the start of its game, without hooks. Returns false when
// actions remain after the game ended: those were never played in it.
bool PlayReplayOn(const Replay& replay, RulesState* state);

void SpawnPiece(RulesState& state);
bool PieceBlocked(const RulesState& state, int dx, int dy);
void MovePiece(RulesState& state, int dx, int dy);
