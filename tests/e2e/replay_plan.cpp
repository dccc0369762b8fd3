// replay_plan SEED: the keys of a won game from SEED (16 hexadecimal digits) as an xdotool
// script, each key after the pause that separates it from the one before, counted from the
// first piece's appearance. The default keys are assumed. A summary goes to the error output.
// replay_plan --read: describes the encoded replay on the standard input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "game/replay.h"
#include "support/replay_games.h"

namespace {

// About nine keys a second: a quick player, under the server's bounds for a human.
constexpr ReplayPace kPlayerPace = {85, 125};

// The default key of each action, by its number, as xdotool names it.
constexpr const char* kKeyNames[] = {"Right", "Left", "Up", "Control_L", "Down", "Shift_L"};

int Describe() {
  std::string text;
  std::getline(std::cin, text);
  Replay replay;
  std::string error;
  if (!DecodeReplay(text, &replay, &error)) {
    std::printf("unreadable: %s\n", error.c_str());
    return 1;
  }
  // The most actions within any 10 s.
  size_t busiest = 0;
  for (size_t first = 0, last = 0; last < replay.steps.size(); ++last) {
    while (replay.steps[last].stamp - replay.steps[first].stamp >= 10000) ++first;
    busiest = std::max(busiest, last - first + 1);
  }
  ReplayOutcome outcome = PlayReplay(replay);
  std::printf("%zu bytes, %zu actions in %u ms (%.1f a second, at most %zu in 10 s), %s at %u ms\n",
              text.size(), replay.steps.size(), replay.endStamp,
              replay.steps.size() * 1000.0 / std::max(replay.endStamp, 1u), busiest,
              outcome.won ? "won" : "not won", outcome.resultStamp);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--read") return Describe();
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED\n", argv[0]);
    return 2;
  }
  uint64_t seed = std::strtoull(argv[1], nullptr, 16);
  Replay replay = PlayBotGame(seed, kPlayerPace);
  ReplayOutcome outcome = PlayReplay(replay);
  uint32_t previous = 0;
  for (const ReplayStep& step : replay.steps) {
    std::printf("sleep %.3f\nkey --delay 0 %s\n", (step.stamp - previous) / 1000.0,
                kKeyNames[static_cast<int>(step.action)]);
    previous = step.stamp;
  }
  std::fprintf(stderr, "%zu actions in %u ms, %s with %d points\n", replay.steps.size(),
               replay.endStamp, outcome.won ? "won" : "lost", outcome.score);
  return outcome.won ? 0 : 1;
}
