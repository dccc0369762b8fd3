// The synthesizer's start with the whole General MIDI soundfont (0) and with its subset for the
// game's eight programs (1): the time to load it and select the programs, and the resident
// memory that adds to a synthesizer without a soundfont. Run each in a process of its own
// (--benchmark_filter) for the memory.
#include <benchmark/benchmark.h>
#include <fluidsynth.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "game/sound.h"
#include "game/soundfont_subset.h"

namespace {

constexpr int kGamePrograms[] = {117, 112, 115, 55, 113, 114, 116, 10};

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return 0;
}

// A synthesizer set up as the game's, able to load subsets.
fluid_synth_t* NewGameSynth(fluid_settings_t* settings) {
  fluid_settings_setnum(settings, "synth.sample-rate", 44100);
  fluid_settings_setnum(settings, "synth.gain", 0.5);
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings, "synth.polyphony", 32);
  fluid_synth_t* synth = new_fluid_synth(settings);
  AddSubsetLoader(settings, synth);
  return synth;
}

bool LoadFont(fluid_synth_t* synth, const std::string& file, bool subset) {
  if (subset) return LoadSoundFontSubset(synth, file, kGamePrograms);
  return fluid_synth_sfload(synth, file.c_str(), 1) != FLUID_FAILED;
}

void SynthStart(benchmark::State& state) {
  std::string file;
  for (const std::string& candidate : soundFontFiles) {
    if (file.empty() && std::filesystem::is_regular_file(candidate)) file = candidate;
  }
  if (file.empty()) {
    state.SkipWithError("no General MIDI soundfont is installed");
    return;
  }
  for (int level = 0; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  long added = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fluid_settings_t* settings = new_fluid_settings();
    fluid_synth_t* synth = NewGameSynth(settings);
    malloc_trim(0);
    long before = ResidentKilobytes();
    state.ResumeTiming();
    bool loaded = LoadFont(synth, file, state.range(0) != 0);
    for (int channel = 0; channel < 8; ++channel) {
      fluid_synth_program_change(synth, channel, kGamePrograms[channel]);
    }
    state.PauseTiming();
    malloc_trim(0);
    added = ResidentKilobytes() - before;
    delete_fluid_synth(synth);
    ReleaseSoundFontSubsets(synth);
    delete_fluid_settings(settings);
    state.ResumeTiming();
    if (!loaded) state.SkipWithError("the soundfont did not load");
  }
  state.counters["resident_kB"] = static_cast<double>(added);
}
BENCHMARK(SynthStart)
    ->ArgName("subset")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
