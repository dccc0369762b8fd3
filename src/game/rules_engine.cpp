#include "game/rules_engine.h"

namespace {

constexpr int32_t kPointsForRows[5] = {0, 10, 25, 40, 60};

template <typename Hook, typename... Args>
void Notify(const RulesState& state, Hook RulesHooks::*hook, Args... args) {
  if (state.hooks != nullptr && state.hooks->*hook != nullptr) (state.hooks->*hook)(args...);
}

// Whether `stamp` is at or after `moment`, across the wrap of a 32-bit tick count.
bool Reached(uint32_t stamp, uint32_t moment) {
  return static_cast<int32_t>(stamp - moment) >= 0;
}

void EndRules(RulesState& state, uint32_t stamp, bool won) {
  state.over = true;
  state.won = won;
  state.replay.endStamp = stamp - state.origin;
  if (won) {
    state.resultStamp = stamp - state.origin;
    Notify(state, &RulesHooks::gameWon, stamp);
  } else {
    Notify(state, &RulesHooks::gameLost, stamp);
  }
}

// Marks every full row with the first flash code; returns how many there are.
int MarkFullRows(RulesState& state) {
  int count = 0;
  for (int row = 0; row < kRows; ++row) {
    bool full = true;
    for (int column = 0; column < kColumns && full; ++column) {
      full = state.cells[CellIndex(column, row)] != kCellEmpty;
    }
    if (!full) continue;
    for (int column = 0; column < kColumns; ++column) {
      state.cells[CellIndex(column, row)] = kCellFlashFirst;
    }
    ++count;
  }
  return count;
}

void ReplaceCells(RulesState& state, int8_t from, int8_t to) {
  for (int8_t& cell : state.cells) {
    if (cell == from) cell = to;
  }
}

// Removes the marked rows: each column drops its cells above a marked cell by one row.
void CollapseRemovedRows(RulesState& state) {
  for (int column = 0; column < kColumns; ++column) {
    for (int row = 0; row < kRows; ++row) {
      while (state.cells[CellIndex(column, row)] == kCellRemoved) {
        for (int r = row; r < kRows - 1; ++r) {
          state.cells[CellIndex(column, r)] = state.cells[CellIndex(column, r + 1)];
        }
        state.cells[CellIndex(column, kRows - 1)] = kCellEmpty;
      }
    }
  }
}

void LockPiece(RulesState& state) {
  ForEachPieceCell(PieceMask(state.pieceId, state.rotation), state.pieceColumn, state.pieceRow,
                   [&](int column, int row) {
                     if (row < kRows) state.cells[CellIndex(column, row)] = state.pieceImage;
                   });
  Notify(state, &RulesHooks::pieceLocked);
}

// Flashes, scores and removes the full rows; the game's moment moves on by the pauses shown.
// Returns false when the rows reached the goal, which ends the game at `stamp`.
bool ClearFullRows(RulesState& state, uint32_t stamp) {
  int count = MarkFullRows(state);
  if (count == 0) return true;
  Notify(state, &RulesHooks::wellChanged, kFlashPause);
  ReplaceCells(state, kCellFlashFirst, kCellFlashSecond);
  Notify(state, &RulesHooks::wellChanged, kFlashPause);
  state.score += kPointsForRows[count];
  Notify(state, &RulesHooks::rowsScored, count);
  ReplaceCells(state, kCellFlashSecond, kCellRemoved);
  Notify(state, &RulesHooks::wellChanged, kFlashPause);
  CollapseRemovedRows(state);
  Notify(state, &RulesHooks::wellChanged, uint32_t{0});
  Notify(state, &RulesHooks::scoreChanged);
  state.now += 3 * kFlashPause + (state.soundsEnabled ? kRowMelodyPauses[count] : 0);
  if (state.score < kGoal) return true;
  EndRules(state, stamp, true);
  return false;
}

void SettlePiece(RulesState& state, uint32_t stamp) {
  LockPiece(state);
  if (!ClearFullRows(state, stamp)) return;
  SpawnPiece(state);
  if (PieceBlocked(state, 0, 0)) {
    EndRules(state, stamp, false);
    return;
  }
  Notify(state, &RulesHooks::pieceEntered);
}

void LowerOrSettle(RulesState& state, uint32_t stamp) {
  if (PieceBlocked(state, 0, -1)) {
    SettlePiece(state, stamp);
  } else {
    MovePiece(state, 0, -1);
  }
}

void TurnPiece(RulesState& state, int step) {
  auto wrap = [](int rotation) { return static_cast<int8_t>((rotation + 3) % 4 + 1); };
  state.rotation = wrap(state.rotation + step);
  if (PieceBlocked(state, 0, 0)) state.rotation = wrap(state.rotation - step);
  MovePiece(state, 0, 0);
}

void DropPiece(RulesState& state, uint32_t stamp) {
  int d = -1;
  while (!PieceBlocked(state, 0, d)) --d;
  MovePiece(state, 0, d + 1);
  SettlePiece(state, stamp);
}

void ShiftPiece(RulesState& state, int dx) {
  if (!PieceBlocked(state, dx, 0)) MovePiece(state, dx, 0);
}

void ApplyAction(RulesState& state, uint32_t stamp, GameAction action) {
  switch (action) {
    case GameAction::moveRight:
      return ShiftPiece(state, 1);
    case GameAction::moveLeft:
      return ShiftPiece(state, -1);
    case GameAction::rotateRight:
      return TurnPiece(state, 1);
    case GameAction::rotateLeft:
      return TurnPiece(state, -1);
    case GameAction::drop:
      return DropPiece(state, stamp);
    case GameAction::moveDown:
      return LowerOrSettle(state, stamp);
  }
}

}  // namespace

int8_t PieceImage(int pieceId) {
  static constexpr int8_t kImages[7] = {6, 7, 2, 3, 4, 8, 9};
  return kImages[pieceId - 1];
}

// SplitMix64, and a multiply-shift to 1..7 rather than a library distribution whose mapping the
// standard leaves open.
int NextPieceId(uint64_t* generator) {
  uint64_t z = (*generator += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  return 1 + static_cast<int>(((z >> 32) * 7) >> 32);
}

void StartRules(RulesState& state, uint64_t seed, bool soundsEnabled, uint32_t stamp) {
  for (int8_t& cell : state.cells) cell = kCellEmpty;
  state.score = 0;
  state.soundsEnabled = soundsEnabled;
  state.pieceGenerator = seed;
  state.origin = stamp;
  state.now = stamp;
  state.over = false;
  state.won = false;
  state.resultStamp = 0;
  state.replay = Replay{};
  state.replay.seed = seed;
  state.replay.soundsEnabled = soundsEnabled;
  state.nextPieceId = static_cast<int8_t>(NextPieceId(&state.pieceGenerator));
  SpawnPiece(state);
}

uint32_t AdvanceRules(RulesState& state, uint32_t stamp) {
  while (!state.over && Reached(stamp, state.lastFall + kFallPeriod)) {
    state.now = state.lastFall + kFallPeriod;
    state.lastFall = state.now;
    LowerOrSettle(state, state.now);
  }
  if (!Reached(stamp, state.now)) stamp = state.now;
  state.now = stamp;
  return stamp;
}

bool PlayAction(RulesState& state, uint32_t stamp, GameAction action) {
  if (state.over) return false;
  stamp = AdvanceRules(state, stamp);
  if (state.over) return false;
  if (state.recording) state.replay.steps.push_back({stamp - state.origin, action});
  ApplyAction(state, stamp, action);
  return true;
}

void SpawnPiece(RulesState& state) {
  state.pieceId = state.nextPieceId;
  state.pieceImage = PieceImage(state.pieceId);
  state.nextPieceId = static_cast<int8_t>(NextPieceId(&state.pieceGenerator));
  state.rotation = 1;
  state.pieceColumn = kSpawnColumn;
  state.pieceRow = kSpawnRow;
  state.lastFall = state.now;
}

bool PieceBlocked(const RulesState& state, int dx, int dy) {
  bool blocked = false;
  ForEachPieceCell(PieceMask(state.pieceId, state.rotation), state.pieceColumn + dx,
                   state.pieceRow + dy, [&](int column, int row) {
                     if (column < 0 || column >= kColumns || row < 0) {
                       blocked = true;
                     } else if (row < kRows && state.cells[CellIndex(column, row)] != 0) {
                       blocked = true;
                     }
                   });
  return blocked;
}

void MovePiece(RulesState& state, int dx, int dy) {
  state.pieceColumn = static_cast<int8_t>(state.pieceColumn + dx);
  state.pieceRow = static_cast<int8_t>(state.pieceRow + dy);
  Notify(state, &RulesHooks::pieceMoved);
}
