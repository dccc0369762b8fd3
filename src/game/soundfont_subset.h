// Cuts an SF2 soundfont down to the few presets the game plays, so that the synthesizer builds
// its structures for those alone rather than for all of General MIDI.
#pragma once

#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A soundfont holding only the bank-0 presets numbered `programs` of the soundfont `font`, the
// instruments their zones use and the samples those use, with every generator and modulator as
// it was. Empty ("no subset") when `font` is not a sound SF2 file, when one of its indices or
// sizes runs outside its lists, or when it lacks one of the programs.
std::vector<unsigned char> SubsetSoundFont(std::span<const unsigned char> font,
                                           std::span<const int> programs);

// Lets `synth` load subsets from memory, before its own loader of files.
void AddSubsetLoader(fluid_settings_t* settings, fluid_synth_t* synth);
// Loads into `synth` (prepared by AddSubsetLoader) the subset of the soundfont file `file`
// holding `programs`, without writing any file. The synthesizer reads it again from memory when a
// channel selects one of its presets. False when the file cannot be read or gives no subset, or
// the synthesizer refuses it.
bool LoadSoundFontSubset(fluid_synth_t* synth, const std::string& file,
                         std::span<const int> programs);
// Frees the subsets loaded into `synth`, once it has been deleted.
void ReleaseSoundFontSubsets(const fluid_synth_t* synth);

// A read position in bytes held in memory, for the libraries that read files through callbacks.
struct MemoryStream {
  std::span<const unsigned char> data;
  size_t position;
};
// Moves `stream` to `offset` bytes from the start, the position or the end (`origin` SEEK_SET,
// SEEK_CUR or SEEK_END); false, leaving it where it was, for a place outside the bytes.
bool SeekMemoryStream(MemoryStream& stream, int64_t offset, int origin);
