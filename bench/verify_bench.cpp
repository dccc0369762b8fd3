// The score server's verification of a submitted result, as each submission with a replay runs
// it: decoding, re-playing with the rules alone, the plausibility bounds and the digest. One
// thread; the items per second are verifications per second on one core.
#include <benchmark/benchmark.h>

#include <string>

#include "replay_verification.h"
#include "support/replay_games.h"

namespace {

void VerifyWonGame(benchmark::State& state) {
  Replay game = PlayBotGame(1, kHumanPace, state.range(0) != 0);
  std::string text = EncodeReplay(game);
  int32_t claimed = PackedTimeOfStamp(PlayReplay(game).resultStamp);
  for (auto _ : state) {
    ReplayVerdict verdict = VerifyReplay(text, claimed);
    if (verdict.status != kVerified) state.SkipWithError(verdict.status.c_str());
    benchmark::DoNotOptimize(verdict);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["actions"] = static_cast<double>(game.steps.size());
  state.counters["encodedBytes"] = static_cast<double>(text.size());
}
BENCHMARK(VerifyWonGame)->ArgName("sounds")->Arg(0)->Arg(1);

// A refused replay costs no more: the ten-times-too-fast game is played to its end before its
// actions are judged.
void VerifyTooFastGame(benchmark::State& state) {
  Replay game = PlayBotGame(1, kBot10xPace);
  std::string text = EncodeReplay(game);
  int32_t claimed = PackedTimeOfStamp(PlayReplay(game).resultStamp);
  for (auto _ : state) benchmark::DoNotOptimize(VerifyReplay(text, claimed));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(VerifyTooFastGame);

}  // namespace

BENCHMARK_MAIN();
