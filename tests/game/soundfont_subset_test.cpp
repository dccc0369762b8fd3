// The soundfont cut down to the game's presets: the synthesizer plays it exactly as the whole
// soundfont, and damaged files give no subset rather than a crash.
#include "game/soundfont_subset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

#include "game/sound.h"

namespace {

using Buffer = std::vector<unsigned char>;

// The programs of the game's eight channels.
constexpr int kGamePrograms[] = {117, 112, 115, 55, 113, 114, 116, 10};

// The first of the soundfonts the game tries that is installed; empty when none is.
std::string InstalledSoundFont() {
  for (const std::string& file : soundFontFiles) {
    if (std::filesystem::is_regular_file(file)) return file;
  }
  return {};
}

Buffer ReadFile(const std::string& file) {
  std::ifstream stream(file, std::ios::binary);
  return Buffer(std::istreambuf_iterator<char>(stream), {});
}

// A synthesizer set up as the game sets up its own.
fluid_synth_t* NewSynth(fluid_settings_t* settings) {
  fluid_settings_setnum(settings, "synth.sample-rate", 44100);
  fluid_settings_setnum(settings, "synth.gain", 0.5);
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings, "synth.polyphony", 32);
  return new_fluid_synth(settings);
}

// Each channel's program, then on each channel a few keys at a few velocities, each held for a
// tenth of a second and heard dying away; `peaks` gets the loudest sample of each channel.
std::vector<int16_t> Render(fluid_synth_t* synth, int peaks[8]) {
  constexpr int kFrames = 4410;
  std::vector<int16_t> pcm;
  for (int channel = 0; channel < 8; ++channel) {
    fluid_synth_program_change(synth, channel, kGamePrograms[channel]);
  }
  for (int channel = 0; channel < 8; ++channel) {
    size_t first = pcm.size();
    for (int key : {36, 60, 76, 100}) {
      for (int velocity : {20, 90, 127}) {
        fluid_synth_noteon(synth, channel, key, velocity);
        for (int block = 0; block < 2; ++block) {
          pcm.resize(pcm.size() + 2 * kFrames);
          int16_t* frames = pcm.data() + pcm.size() - 2 * kFrames;
          fluid_synth_write_s16(synth, kFrames, frames, 0, 2, frames, 1, 2);
          if (block == 0) fluid_synth_noteoff(synth, channel, key);
        }
      }
    }
    peaks[channel] = 0;
    for (size_t i = first; i < pcm.size(); ++i) {
      peaks[channel] = std::max(peaks[channel], std::abs(int{pcm[i]}));
    }
  }
  return pcm;
}

TEST(SoundFontSubset, PlaysEveryGameProgramExactlyAsTheWholeSoundFont) {
  std::string file = InstalledSoundFont();
  if (file.empty()) GTEST_SKIP() << "no General MIDI soundfont is installed";
  for (int level = 0; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  fluid_settings_t* wholeSettings = new_fluid_settings();
  fluid_synth_t* whole = NewSynth(wholeSettings);
  ASSERT_NE(fluid_synth_sfload(whole, file.c_str(), 1), FLUID_FAILED);
  fluid_settings_t* subsetSettings = new_fluid_settings();
  fluid_synth_t* subset = NewSynth(subsetSettings);
  AddSubsetLoader(subsetSettings, subset);
  ASSERT_TRUE(LoadSoundFontSubset(subset, file, kGamePrograms));

  int wholePeaks[8], subsetPeaks[8];
  std::vector<int16_t> expected = Render(whole, wholePeaks);
  std::vector<int16_t> heard = Render(subset, subsetPeaks);
  EXPECT_TRUE(expected == heard);
  for (int channel = 0; channel < 8; ++channel) EXPECT_GT(subsetPeaks[channel], 500) << channel;

  delete_fluid_synth(subset);
  ReleaseSoundFontSubsets(subset);
  delete_fluid_settings(subsetSettings);
  delete_fluid_synth(whole);
  delete_fluid_settings(wholeSettings);
}

TEST(SoundFontSubset, IsSmallAndItsOwnSubset) {
  std::string file = InstalledSoundFont();
  if (file.empty()) GTEST_SKIP() << "no General MIDI soundfont is installed";
  Buffer font = ReadFile(file);
  Buffer subset = SubsetSoundFont(font, kGamePrograms);
  ASSERT_FALSE(subset.empty());
  EXPECT_LT(subset.size(), font.size() / 10);
  EXPECT_TRUE(SubsetSoundFont(subset, kGamePrograms) == subset);
}

// A small soundfont written record by record, so that each record can be damaged.
enum List { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr, kLists };
struct TestFont {
  std::vector<Buffer> lists[kLists];
  size_t samplePoints;
  bool extraBits = false;
  std::string_view listIds[kLists] = {"phdr", "pbag", "pmod", "pgen", "inst",
                                      "ibag", "imod", "igen", "shdr"};
};

void Put16(Buffer& out, uint32_t value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Buffer& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

Buffer Named(std::string_view name) {
  Buffer record(20);
  std::copy(name.begin(), name.end(), record.begin());
  return record;
}

Buffer Preset(std::string_view name, int program, int bank, int bag) {
  Buffer record = Named(name);
  Put16(record, program);
  Put16(record, bank);
  Put16(record, bag);
  record.resize(38);
  return record;
}

Buffer Pair(int first, int second) {
  Buffer record;
  Put16(record, first);
  Put16(record, second);
  return record;
}

Buffer Instrument(std::string_view name, int bag) {
  Buffer record = Named(name);
  Put16(record, bag);
  return record;
}

Buffer Sample(std::string_view name, uint32_t start, uint32_t end, int link, int type) {
  Buffer record = Named(name);
  for (uint32_t point : {start, end, start + 8, end - 8, 44100u}) Put32(record, point);
  record.push_back(60);
  record.push_back(0);
  Put16(record, link);
  Put16(record, type);
  return record;
}

// Presets 20 and 10 of bank 0 and 10 of bank 128. Preset 10 of bank 0 has a global zone with a
// modulator and plays instrument 1, a stereo pair of samples 1 (left) and 2 (right); the others
// play instrument 0, sample 0.
TestFont SmallFont() {
  TestFont font;
  font.lists[kPhdr] = {Preset("Other", 20, 0, 0), Preset("Chosen", 10, 0, 1),
                       Preset("Drums", 10, 128, 3), Preset("EOP", 0, 0, 4)};
  font.lists[kPbag] = {Pair(0, 0), Pair(1, 0), Pair(2, 1), Pair(3, 1), Pair(4, 1)};
  font.lists[kPmod] = {Buffer(10, 1), Buffer(10, 0)};
  font.lists[kPgen] = {Pair(41, 0), Pair(17, 100), Pair(41, 1), Pair(41, 0), Pair(0, 0)};
  font.lists[kInst] = {Instrument("Plain", 0), Instrument("Pair", 1), Instrument("EOI", 3)};
  font.lists[kIbag] = {Pair(0, 0), Pair(1, 0), Pair(2, 1), Pair(3, 1)};
  font.lists[kImod] = {Buffer(10, 2), Buffer(10, 0)};
  font.lists[kIgen] = {Pair(53, 0), Pair(53, 1), Pair(53, 2), Pair(0, 0)};
  font.lists[kShdr] = {Sample("Mono", 0, 100, 0, 1), Sample("Left", 146, 246, 2, 4),
                       Sample("Right", 292, 392, 1, 2), Sample("EOS", 0, 0, 0, 0)};
  font.samplePoints = 438;
  return font;
}

void PutChunk(Buffer& out, std::string_view id, const Buffer& content) {
  out.insert(out.end(), id.begin(), id.end());
  Put32(out, static_cast<uint32_t>(content.size()));
  out.insert(out.end(), content.begin(), content.end());
}

Buffer ListOf(std::string_view type, const std::function<void(Buffer&)>& fill) {
  Buffer list(type.begin(), type.end());
  fill(list);
  return list;
}

Buffer Write(const TestFont& font) {
  Buffer info = ListOf("INFO", [](Buffer& out) { PutChunk(out, "ifil", Pair(2, 1)); });
  Buffer sdta = ListOf("sdta", [&](Buffer& out) {
    Buffer points;
    for (size_t i = 0; i < font.samplePoints; ++i) Put16(points, static_cast<uint32_t>(i * 37));
    PutChunk(out, "smpl", points);
    if (!font.extraBits) return;
    Buffer low;
    for (size_t i = 0; i < font.samplePoints + font.samplePoints % 2; ++i) low.push_back(i * 7);
    PutChunk(out, "sm24", low);
  });
  Buffer pdta = ListOf("pdta", [&](Buffer& out) {
    for (int list = 0; list < kLists; ++list) {
      Buffer records;
      for (const Buffer& record : font.lists[list]) {
        records.insert(records.end(), record.begin(), record.end());
      }
      PutChunk(out, font.listIds[list], records);
    }
  });
  Buffer body = ListOf("sfbk", [&](Buffer& out) {
    PutChunk(out, "LIST", info);
    PutChunk(out, "LIST", sdta);
    PutChunk(out, "LIST", pdta);
  });
  Buffer file;
  PutChunk(file, "RIFF", body);
  return file;
}

std::vector<unsigned char>::const_iterator Find(const Buffer& font, std::string_view text) {
  return std::search(font.begin(), font.end(), text.begin(), text.end());
}

bool Holds(const Buffer& font, std::string_view text) {
  return Find(font, text) != font.end();
}

// The content of the first chunk `id` of `font`.
Buffer Content(const Buffer& font, std::string_view id) {
  auto chunk = Find(font, id);
  if (font.end() - chunk < 8) return {};
  size_t size = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | chunk[7] << 24;
  return Buffer(chunk + 8, chunk + 8 + std::min<size_t>(size, font.end() - chunk - 8));
}

TEST(SoundFontSubset, KeepsOnlyTheChosenPresetsAndWhatTheyUse) {
  const int chosen[] = {10};
  Buffer subset = SubsetSoundFont(Write(SmallFont()), chosen);
  ASSERT_FALSE(subset.empty());
  for (std::string_view kept : {"Chosen", "Pair", "Left", "Right", "EOP", "EOI", "EOS"}) {
    EXPECT_TRUE(Holds(subset, kept)) << kept;
  }
  for (std::string_view dropped : {"Other", "Drums", "Plain", "Mono"}) {
    EXPECT_FALSE(Holds(subset, dropped)) << dropped;
  }
  EXPECT_TRUE(SubsetSoundFont(subset, chosen) == subset);
}

// The two samples of the chosen preset lie at the end of the data, each followed by 46 points:
// the subset's points, 16-bit and 24-bit, are the file's from the first one's start on.
TEST(SoundFontSubset, KeepsTheSamplePointsAndTheirLowBytes) {
  const int chosen[] = {10};
  TestFont small = SmallFont();
  small.extraBits = true;
  Buffer font = Write(small);
  Buffer subset = SubsetSoundFont(font, chosen);
  Buffer points = Content(font, "smpl"), lowBytes = Content(font, "sm24");
  EXPECT_EQ(Content(subset, "smpl"), Buffer(points.begin() + 2 * 146, points.end()));
  EXPECT_EQ(Content(subset, "sm24"), Buffer(lowBytes.begin() + 146, lowBytes.end()));
}

// Every damage gives no subset, without reading outside the file (run under AddressSanitizer).
TEST(SoundFontSubset, DamagedFilesGiveNoSubset) {
  const std::pair<const char*, std::function<void(TestFont&)>> damages[] = {
      {"a preset's bags past the list",
       [](TestFont& f) { f.lists[kPhdr][3] = Preset("EOP", 0, 0, 9); }},
      {"a bag index going backwards", [](TestFont& f) { f.lists[kPbag][2] = Pair(0, 1); }},
      {"a generator index past the list", [](TestFont& f) { f.lists[kIbag][3] = Pair(7, 1); }},
      {"a modulator index past the list", [](TestFont& f) { f.lists[kPbag][4] = Pair(4, 3); }},
      {"an instrument past the list", [](TestFont& f) { f.lists[kPgen][2] = Pair(41, 2); }},
      {"a sample past the list", [](TestFont& f) { f.lists[kIgen][1] = Pair(53, 3); }},
      {"a sample end past the data", [](TestFont& f) { f.samplePoints = 300; }},
      {"a sample ending before its start",
       [](TestFont& f) { f.lists[kShdr][1] = Sample("Left", 246, 146, 2, 4); }},
      {"a stereo link past the list",
       [](TestFont& f) { f.lists[kShdr][2] = Sample("Right", 292, 392, 3, 2); }},
      {"a sample in ROM",
       [](TestFont& f) { f.lists[kShdr][2] = Sample("Right", 292, 392, 1, 0x8002); }},
      {"an empty list", [](TestFont& f) { f.lists[kPgen].clear(); }},
      {"a record cut short", [](TestFont& f) { f.lists[kInst][2].pop_back(); }},
      {"the lists out of order",
       [](TestFont& f) { std::swap(f.listIds[kPmod], f.listIds[kPgen]); }},
      {"a missing list", [](TestFont& f) { f.listIds[kShdr] = "xxxx"; }},
      {"the chosen program missing",
       [](TestFont& f) { f.lists[kPhdr][1] = Preset("Chosen", 11, 0, 1); }},
  };
  const int chosen[] = {10};
  ASSERT_FALSE(SubsetSoundFont(Write(SmallFont()), chosen).empty());
  for (const auto& [damage, apply] : damages) {
    TestFont font = SmallFont();
    apply(font);
    EXPECT_TRUE(SubsetSoundFont(Write(font), chosen).empty()) << damage;
  }
}

// Cut anywhere, with or without its RIFF size telling the cut length, the file gives no subset.
TEST(SoundFontSubset, TruncatedFilesGiveNoSubset) {
  const int chosen[] = {10};
  Buffer whole = Write(SmallFont());
  for (size_t length = 0; length < whole.size(); ++length) {
    Buffer cut(whole.begin(), whole.begin() + length);
    EXPECT_TRUE(SubsetSoundFont(cut, chosen).empty()) << length;
    if (length < 8) continue;
    uint32_t size = static_cast<uint32_t>(length - 8);
    for (int i = 0; i < 4; ++i) cut[4 + i] = static_cast<unsigned char>(size >> (8 * i));
    EXPECT_TRUE(SubsetSoundFont(cut, chosen).empty()) << length;
  }
}

}  // namespace
