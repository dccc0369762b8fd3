// The score server's cost of checking a won game: decoding its replay and playing it again with
// the rules alone, on one core. The counters give the record's size.
#include <benchmark/benchmark.h>

#include <string>

#include "game/replay.h"
#include "support/replay_games.h"

namespace {

// A won game at a player's pace, about 2,000 actions over eight and a half minutes.
const Replay& WonGame() {
  static const Replay replay = PlayBotGame(1, kHumanPace, true);
  return replay;
}

void ReplayPlay(benchmark::State& state) {
  const Replay& replay = WonGame();
  for (auto _ : state) benchmark::DoNotOptimize(PlayReplay(replay));
  state.SetItemsProcessed(state.iterations());
  state.counters["actions"] = static_cast<double>(replay.steps.size());
}
BENCHMARK(ReplayPlay);

void ReplayDecodeAndPlay(benchmark::State& state) {
  std::string text = EncodeReplay(WonGame());
  for (auto _ : state) {
    Replay replay;
    std::string error;
    benchmark::DoNotOptimize(DecodeReplay(text, &replay, &error));
    benchmark::DoNotOptimize(PlayReplay(replay));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["encodedBytes"] = static_cast<double>(text.size());
}
BENCHMARK(ReplayDecodeAndPlay);

}  // namespace

BENCHMARK_MAIN();
