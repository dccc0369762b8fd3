#include "support/replay_games.h"

#include <cstring>

#include "game/rules_engine.h"

namespace {

struct Placement {
  int rotation;
  int column;
};

bool Fits(const RulesState& state, int rotation, int column, int row) {
  bool fit = true;
  ForEachPieceCell(PieceMask(state.pieceId, rotation), column, row, [&](int c, int r) {
    if (c < 0 || c >= kColumns || r < 0) {
      fit = false;
    } else if (r < kRows && state.cells[CellIndex(c, r)] != kCellEmpty) {
      fit = false;
    }
  });
  return fit;
}

bool Filled(const int8_t* cells, int column, int row) {
  if (column < 0 || column >= kColumns || row < 0) return true;
  return row < kRows && cells[CellIndex(column, row)] != kCellEmpty;
}

// Lower is better: a low landing, many rows cleared, few holes, a smooth stack without deep
// wells (counted as cells that change between empty and filled along rows and columns).
double PlacementCost(const RulesState& state, int rotation, int column, int row) {
  int8_t cells[kCellCount];
  std::memcpy(cells, state.cells, sizeof cells);
  int pieceCells[kRows] = {};
  ForEachPieceCell(PieceMask(state.pieceId, rotation), column, row, [&](int c, int r) {
    if (r >= kRows) return;
    cells[CellIndex(c, r)] = 2;
    ++pieceCells[r];
  });
  int cleared = 0, clearedPieceCells = 0, kept = 0;
  for (int r = 0; r < kRows; ++r) {
    bool full = true;
    for (int c = 0; c < kColumns; ++c) full = full && Filled(cells, c, r);
    if (full) {
      ++cleared;
      clearedPieceCells += pieceCells[r];
      continue;
    }
    std::memmove(&cells[CellIndex(0, kept)], &cells[CellIndex(0, r)], kColumns);
    ++kept;
  }
  std::memset(&cells[CellIndex(0, kept)], 0, static_cast<size_t>(kColumns * (kRows - kept)));
  int transitions = 0, holes = 0, wells = 0;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c <= kColumns; ++c)
      transitions += Filled(cells, c - 1, r) != Filled(cells, c, r);
  }
  for (int c = 0; c < kColumns; ++c) {
    int depth = 0;
    for (int r = kRows - 1; r >= 0; --r) {
      bool filled = Filled(cells, c, r);
      transitions += filled != Filled(cells, c, r + 1);
      if (filled) {
        depth = 0;
        continue;
      }
      if (r < kRows - 1 && Filled(cells, c, r + 1)) ++holes;
      if (Filled(cells, c - 1, r) && Filled(cells, c + 1, r)) wells += ++depth;
    }
  }
  return row - cleared * clearedPieceCells + transitions + 4.0 * holes + wells;
}

Placement BestPlacement(const RulesState& state) {
  Placement best = {state.rotation, state.pieceColumn};
  double bestCost = 1e9;
  for (int rotation = 1; rotation <= 4; ++rotation) {
    for (int column = -3; column < kColumns; ++column) {
      if (!Fits(state, rotation, column, state.pieceRow)) continue;
      int row = state.pieceRow;
      while (Fits(state, rotation, column, row - 1)) --row;
      double cost = PlacementCost(state, rotation, column, row);
      if (cost < bestCost) best = {rotation, column}, bestCost = cost;
    }
  }
  return best;
}

uint32_t NextGap(ReplayPace pace, uint64_t* jitter) {
  *jitter = *jitter * 6364136223846793005u + 1442695040888963407u;
  return pace.minGapMs +
         static_cast<uint32_t>((*jitter >> 33) % (pace.maxGapMs - pace.minGapMs + 1));
}

}  // namespace

GameAction BotAction(const RulesState& state) {
  Placement target = BestPlacement(state);
  int column = state.pieceColumn, row = state.pieceRow;
  if (state.rotation != target.rotation) {
    int turned = state.rotation % 4 + 1;
    return Fits(state, turned, column, row) ? GameAction::rotateRight : GameAction::drop;
  }
  if (column == target.column) return GameAction::drop;
  int step = column < target.column ? 1 : -1;
  if (!Fits(state, state.rotation, column + step, row)) return GameAction::drop;
  return step > 0 ? GameAction::moveRight : GameAction::moveLeft;
}

Replay PlayBotGame(uint64_t seed, ReplayPace pace, bool soundsEnabled) {
  RulesState state{};
  state.recording = true;
  StartRules(state, seed, soundsEnabled, 0);
  uint64_t jitter = seed;
  uint32_t stamp = 0;
  while (!state.over) {
    stamp += NextGap(pace, &jitter);
    PlayAction(state, stamp, BotAction(state));
  }
  return state.replay;
}
