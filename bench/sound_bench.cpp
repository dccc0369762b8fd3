// The sound effects on the real audio output (SDL; its dummy driver unless SDL_AUDIODRIVER says
// otherwise): how long PlaySound and PlayNote hold the user-interface thread while the output
// renders on its own thread, and what the output's thread costs at rest and while notes play.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "game/sound.h"

namespace {

double ProcessSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Runs first, while no note sounds yet. The share of one core the process spends over 200 ms while
// the main thread sleeps, that is the audio output's thread; with notesPerSecond above 0, lock
// notes and sounds keep coming.
void AudioThreadLoad(benchmark::State& state) {
  const int notesPerSecond = static_cast<int>(state.range(0));
  double busy = 0, wall = 0;
  for (auto _ : state) {
    double cpu = ProcessSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int slice = 0; slice < 20; ++slice) {
      if (notesPerSecond > 0 && slice % (100 / notesPerSecond) == 0) {
        PlayNote(0, 76, 127, 127);
        PlayNote(7, 60 + slice % 12, 127, 127);
        PlaySound(slice % 3);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    busy += ProcessSeconds() - cpu;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["core_percent"] = 100.0 * busy / wall;
}
BENCHMARK(AudioThreadLoad)->Arg(0)->Arg(10)->Iterations(10)->UseRealTime();

// Also reports the longest single call: one that waits for the output to finish a block.
void PlaySoundWhileRendering(benchmark::State& state) {
  int number = 0;
  double longest = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    PlaySound(number);
    longest = std::max(
        longest, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count());
    number = (number + 1) % 3;
  }
  state.counters["longest_us"] = longest;
}
BENCHMARK(PlaySoundWhileRendering);

// Notes come 2 ms apart, so that the synthesizer renders them as it would in a game rather than
// running out of voices.
void PlayNoteWhileRendering(benchmark::State& state) {
  for (auto _ : state) {
    PlayNote(0, 76, 127, 127);
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    state.ResumeTiming();
  }
}
BENCHMARK(PlayNoteWhileRendering)->Iterations(1000);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  OpenMidi();
  for (int channel = 0; channel < 8; ++channel) SetProgram(channel, 117);
  SetProgram(7, 10);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
