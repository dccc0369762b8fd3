// Costs of the game's drawing on the in-memory backend, without the push to the screen.
#include <benchmark/benchmark.h>

#include "game/board.h"
#include "game/chronometer.h"
#include "game/rules.h"
#include "platform/windows.h"
#include "support/game_driver.h"

namespace {

// Runs `body` inside a running game with pushes counted but not copied.
void InGame(const std::function<void()>& body) {
  RunGame({[] { ClickButton(1); },
           [&] {
             HeadlessKeepPushedImages(false);
             body();
           }});
}

void FallingPieceMove(benchmark::State& state) {
  InGame([&] {
    game.playfield.nextPieceId = 4;
    SpawnPiece();
    DrawNewPiece();
    int direction = 1;
    for (auto _ : state) {
      if (PieceBlocked(direction, 0)) direction = -direction;
      MovePiece(direction, 0);
    }
  });
}
BENCHMARK(FallingPieceMove);

void FullWellRepaint(benchmark::State& state) {
  InGame([&] {
    for (int i = 0; i < kColumns * 12; ++i) game.playfield.cells[i] = 2 + i % 8;
    for (auto _ : state) {
      game.playfield.dirty = 1;
      PaintBoard();
    }
  });
}
BENCHMARK(FullWellRepaint);

void ChronometerUpdate(benchmark::State& state) {
  InGame([&] {
    for (auto _ : state) {
      PlatformSleep(10);
      UpdateChronometer();
    }
  });
}
BENCHMARK(ChronometerUpdate);

}  // namespace

BENCHMARK_MAIN();
