#include "game/soundfont_subset.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace {

using Bytes = std::span<const unsigned char>;
using Buffer = std::vector<unsigned char>;

// The nine lists of the "pdta" part, in the order the file holds them.
enum HydraList { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr, kHydraLists };

struct HydraListKind {
  std::string_view id;
  size_t recordSize;
};

constexpr HydraListKind kHydraKinds[kHydraLists] = {{"phdr", 38}, {"pbag", 4},  {"pmod", 10},
                                                    {"pgen", 4},  {"inst", 22}, {"ibag", 4},
                                                    {"imod", 10}, {"igen", 4},  {"shdr", 46}};

// Indices are 16 bits wide: a list longer than this cannot be addressed whole.
constexpr size_t kMaxRecords = 65536;

// Presets refer to instruments and instruments to samples in the same way: headers own a run of
// bags, each bag a run of generators and modulators, one generator names a record of the level
// below.
struct Level {
  HydraList headers, bags, modulators, generators;
  size_t bagField;
  uint16_t reference;
};

constexpr Level kPresetLevel{kPhdr, kPbag, kPmod, kPgen, 24, 41};
constexpr Level kInstrumentLevel{kInst, kIbag, kImod, kIgen, 20, 53};

constexpr size_t kPresetProgram = 20;
constexpr size_t kPresetBank = 22;
constexpr size_t kSampleStart = 20;
constexpr size_t kSampleLink = 42;
constexpr size_t kSampleType = 44;
constexpr uint16_t kStereoTypes = 2 | 4 | 8;
constexpr uint16_t kRomSample = 0x8000;
// The points the format asks for after each sample.
constexpr size_t kSamplePadding = 46;

struct SoundFont {
  Bytes info;  // the whole INFO list, copied as it is
  Bytes samples;
  Bytes extraBits;  // the low bytes of 24-bit samples; empty when absent or unusable
  Bytes lists[kHydraLists];
};

uint16_t Read16(Bytes bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Read32(Bytes bytes, size_t at) {
  return static_cast<uint32_t>(Read16(bytes, at) | Read16(bytes, at + 2) << 16);
}

void Write16(Buffer& out, size_t at, uint16_t value) {
  out[at] = static_cast<unsigned char>(value);
  out[at + 1] = static_cast<unsigned char>(value >> 8);
}

void Write32(Buffer& out, size_t at, uint32_t value) {
  Write16(out, at, static_cast<uint16_t>(value));
  Write16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

std::string_view Id(Bytes bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), 4};
}

// The chunk at `at`, whole (header and content), moving `at` past it; empty when it runs past
// the end of `bytes`.
Bytes NextChunk(Bytes bytes, size_t& at) {
  if (bytes.size() - at < 8) return {};
  size_t size = Read32(bytes, at + 4);
  if (size > bytes.size() - at - 8) return {};
  Bytes chunk = bytes.subspan(at, 8 + size);
  at += chunk.size();
  return chunk;
}

// The content of the chunk at `at` if it is a `id` chunk (and, for a list, of type `type`).
Bytes NextContent(Bytes bytes, size_t& at, std::string_view id, std::string_view type = {}) {
  Bytes chunk = NextChunk(bytes, at);
  if (chunk.empty() || Id(chunk) != id) return {};
  Bytes content = chunk.subspan(8);
  if (type.empty()) return content;
  if (content.size() < 4 || Id(content) != type) return {};
  return content.subspan(4);
}

size_t RecordCount(const SoundFont& font, HydraList list) {
  return font.lists[list].size() / kHydraKinds[list].recordSize;
}

Bytes Record(const SoundFont& font, HydraList list, size_t index) {
  size_t size = kHydraKinds[list].recordSize;
  return font.lists[list].subspan(index * size, size);
}

bool ReadHydra(Bytes pdta, SoundFont& font) {
  size_t at = 0;
  for (int list = 0; list < kHydraLists; ++list) {
    Bytes content = NextContent(pdta, at, kHydraKinds[list].id);
    size_t size = kHydraKinds[list].recordSize;
    // Every list ends with a terminal record.
    if (content.size() < size || content.size() % size || content.size() / size > kMaxRecords) {
      return false;
    }
    font.lists[list] = content;
  }
  return true;
}

bool ReadSampleData(Bytes sdta, SoundFont& font) {
  size_t at = 0;
  font.samples = NextContent(sdta, at, "smpl");
  if (font.samples.empty()) return false;
  Bytes extra = NextContent(sdta, at, "sm24");
  size_t expected = font.samples.size() / 2 + font.samples.size() / 2 % 2;
  if (extra.size() == expected) font.extraBits = extra;
  return true;
}

bool ReadSoundFont(Bytes file, SoundFont& font) {
  size_t at = 0;
  Bytes riff = NextContent(file, at, "RIFF", "sfbk");
  at = 0;
  if (NextContent(riff, at, "LIST", "INFO").empty()) return false;
  font.info = riff.first(at);
  Bytes sdta = NextContent(riff, at, "LIST", "sdta");
  Bytes pdta = NextContent(riff, at, "LIST", "pdta");
  return ReadSampleData(sdta, font) && ReadHydra(pdta, font);
}

// Whether the indices at `field` of the records of `list` never go backwards and stay within
// `targets`, whose last record is the terminal one.
bool IndicesInOrder(const SoundFont& font, HydraList list, size_t field, HydraList targets) {
  size_t previous = 0;
  for (size_t i = 0; i < RecordCount(font, list); ++i) {
    size_t index = Read16(Record(font, list, i), field);
    if (index < previous || index >= RecordCount(font, targets)) return false;
    previous = index;
  }
  return true;
}

bool LevelSound(const SoundFont& font, const Level& level, HydraList referenced) {
  if (!IndicesInOrder(font, level.headers, level.bagField, level.bags) ||
      !IndicesInOrder(font, level.bags, 0, level.generators) ||
      !IndicesInOrder(font, level.bags, 2, level.modulators)) {
    return false;
  }
  for (size_t i = 0; i + 1 < RecordCount(font, level.generators); ++i) {
    Bytes generator = Record(font, level.generators, i);
    if (Read16(generator, 0) == level.reference &&
        Read16(generator, 2) + 1u >= RecordCount(font, referenced)) {
      return false;
    }
  }
  return true;
}

// The range [first, end) of the records of `list` that record `index` of `owners` owns.
struct Run {
  size_t first, end;
};

Run OwnedRun(const SoundFont& font, HydraList owners, size_t field, size_t index) {
  return {Read16(Record(font, owners, index), field),
          Read16(Record(font, owners, index + 1), field)};
}

// Marks the records that the zones of the kept headers of `level` refer to.
std::vector<bool> Referenced(const SoundFont& font, const Level& level,
                             const std::vector<bool>& kept, HydraList referenced) {
  std::vector<bool> marks(RecordCount(font, referenced) - 1);
  for (size_t header = 0; header < kept.size(); ++header) {
    if (!kept[header]) continue;
    Run bags = OwnedRun(font, level.headers, level.bagField, header);
    for (size_t bag = bags.first; bag < bags.end; ++bag) {
      Run generators = OwnedRun(font, level.bags, 0, bag);
      for (size_t i = generators.first; i < generators.end; ++i) {
        Bytes generator = Record(font, level.generators, i);
        if (Read16(generator, 0) == level.reference) marks[Read16(generator, 2)] = true;
      }
    }
  }
  return marks;
}

// The new index of each kept record, in the order of the file.
std::vector<uint16_t> Renumber(const std::vector<bool>& kept) {
  std::vector<uint16_t> numbers(kept.size());
  uint16_t next = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i]) numbers[i] = next++;
  }
  return numbers;
}

void AppendRecord(Buffer& out, Bytes record) {
  out.insert(out.end(), record.begin(), record.end());
}

// The records of one level, as they are written.
struct LevelLists {
  Buffer headers, bags, modulators, generators;
};

// Appends bag `bag` of `level`, pointing at the next generator and modulator to be written.
void AppendBagRecord(const SoundFont& font, const Level& level, size_t bag, LevelLists& out) {
  AppendRecord(out.bags, Record(font, level.bags, bag));
  Write16(out.bags, out.bags.size() - 4, static_cast<uint16_t>(out.generators.size() / 4));
  Write16(out.bags, out.bags.size() - 2, static_cast<uint16_t>(out.modulators.size() / 10));
}

void AppendBag(const SoundFont& font, const Level& level, size_t bag,
               const std::vector<uint16_t>& targetNumbers, LevelLists& out) {
  AppendBagRecord(font, level, bag, out);
  Run generators = OwnedRun(font, level.bags, 0, bag);
  for (size_t i = generators.first; i < generators.end; ++i) {
    Bytes generator = Record(font, level.generators, i);
    AppendRecord(out.generators, generator);
    if (Read16(generator, 0) == level.reference) {
      Write16(out.generators, out.generators.size() - 2, targetNumbers[Read16(generator, 2)]);
    }
  }
  Run modulators = OwnedRun(font, level.bags, 2, bag);
  for (size_t i = modulators.first; i < modulators.end; ++i) {
    AppendRecord(out.modulators, Record(font, level.modulators, i));
  }
}

// Appends the header `header` of `level`, pointing at the next bag to be written.
void AppendHeader(const SoundFont& font, const Level& level, size_t header, LevelLists& out) {
  AppendRecord(out.headers, Record(font, level.headers, header));
  Write16(out.headers, out.headers.size() - kHydraKinds[level.headers].recordSize + level.bagField,
          static_cast<uint16_t>(out.bags.size() / 4));
}

LevelLists WriteLevel(const SoundFont& font, const Level& level, const std::vector<bool>& kept,
                      const std::vector<uint16_t>& targetNumbers) {
  LevelLists out;
  for (size_t header = 0; header < kept.size(); ++header) {
    if (!kept[header]) continue;
    AppendHeader(font, level, header, out);
    Run bags = OwnedRun(font, level.headers, level.bagField, header);
    for (size_t bag = bags.first; bag < bags.end; ++bag) {
      AppendBag(font, level, bag, targetNumbers, out);
    }
  }
  // The terminal records, the bag's pointing past the last generator and modulator.
  AppendHeader(font, level, kept.size(), out);
  AppendBagRecord(font, level, RecordCount(font, level.bags) - 1, out);
  AppendRecord(out.generators,
               Record(font, level.generators, RecordCount(font, level.generators) - 1));
  AppendRecord(out.modulators,
               Record(font, level.modulators, RecordCount(font, level.modulators) - 1));
  return out;
}

// Keeps the other half of every kept stereo sample; false when a link leads outside the list.
bool KeepStereoPartners(const SoundFont& font, std::vector<bool>& kept) {
  std::vector<size_t> pending;
  for (size_t sample = 0; sample < kept.size(); ++sample) {
    if (kept[sample]) pending.push_back(sample);
  }
  while (!pending.empty()) {
    Bytes header = Record(font, kShdr, pending.back());
    pending.pop_back();
    if (!(Read16(header, kSampleType) & kStereoTypes)) continue;
    size_t partner = Read16(header, kSampleLink);
    if (partner >= kept.size()) return false;
    if (kept[partner]) continue;
    kept[partner] = true;
    pending.push_back(partner);
  }
  return true;
}

// The sample headers and data of the kept samples.
struct SampleLists {
  Buffer headers, points, extraBits;
};

// Appends the points [start, end) of `data`, `width` bytes each, and the padding after them as
// the file holds it: loading a sample on its own, the synthesizer takes the padding with it and
// plays into it, even where the file's padding is shorter and holds the start of the next
// sample. Zeros stand for padding past the end of the data.
void AppendPoints(Bytes data, size_t width, size_t start, size_t end, Buffer& out) {
  size_t available = std::min(end + kSamplePadding, data.size() / width);
  AppendRecord(out, data.subspan(width * start, width * (available - start)));
  out.resize(out.size() + width * (end + kSamplePadding - available));
}

// Writes the kept samples, each followed by its padding; false when one lies outside the data
// or in the synthesizer's memory rather than in the file.
bool WriteSamples(const SoundFont& font, const std::vector<bool>& kept, SampleLists& out) {
  std::vector<uint16_t> numbers = Renumber(kept);
  size_t pointCount = font.samples.size() / 2;
  for (size_t sample = 0; sample < kept.size(); ++sample) {
    if (!kept[sample]) continue;
    Bytes header = Record(font, kShdr, sample);
    uint32_t start = Read32(header, kSampleStart);
    uint32_t end = Read32(header, kSampleStart + 4);
    if ((Read16(header, kSampleType) & kRomSample) || start > end || end > pointCount) return false;
    uint32_t newStart = static_cast<uint32_t>(out.points.size() / 2);
    AppendRecord(out.headers, header);
    size_t at = out.headers.size() - kHydraKinds[kShdr].recordSize;
    // Loop points keep their distance to the start, even those outside the sample.
    for (size_t field = 0; field < 4; ++field) {
      uint32_t point = Read32(header, kSampleStart + 4 * field);
      Write32(out.headers, at + kSampleStart + 4 * field, point - start + newStart);
    }
    if (Read16(header, kSampleType) & kStereoTypes) {
      Write16(out.headers, at + kSampleLink, numbers[Read16(header, kSampleLink)]);
    }
    AppendPoints(font.samples, 2, start, end, out.points);
    if (!font.extraBits.empty()) AppendPoints(font.extraBits, 1, start, end, out.extraBits);
  }
  AppendRecord(out.headers, Record(font, kShdr, kept.size()));
  out.extraBits.resize(out.extraBits.size() + out.extraBits.size() % 2);
  return true;
}

void AppendChunk(Buffer& out, std::string_view id, Bytes content) {
  out.insert(out.end(), id.begin(), id.end());
  out.resize(out.size() + 4);
  Write32(out, out.size() - 4, static_cast<uint32_t>(content.size()));
  AppendRecord(out, content);
}

Buffer List(std::string_view type) {
  return Buffer(type.begin(), type.end());
}

Buffer WriteSoundFont(const SoundFont& font, const LevelLists& presets,
                      const LevelLists& instruments, const SampleLists& samples) {
  Buffer sdta = List("sdta");
  AppendChunk(sdta, "smpl", samples.points);
  if (!font.extraBits.empty()) AppendChunk(sdta, "sm24", samples.extraBits);
  Buffer pdta = List("pdta");
  const Buffer* lists[kHydraLists] = {
      &presets.headers,        &presets.bags,           &presets.modulators,
      &presets.generators,     &instruments.headers,    &instruments.bags,
      &instruments.modulators, &instruments.generators, &samples.headers};
  for (int list = 0; list < kHydraLists; ++list) {
    AppendChunk(pdta, kHydraKinds[list].id, *lists[list]);
  }
  Buffer body = List("sfbk");
  AppendRecord(body, font.info);
  AppendChunk(body, "LIST", sdta);
  AppendChunk(body, "LIST", pdta);
  Buffer file;
  AppendChunk(file, "RIFF", body);
  return file;
}

// The bank-0 presets numbered `programs`; empty when one of them is missing.
std::vector<bool> ChosenPresets(const SoundFont& font, std::span<const int> programs) {
  std::vector<bool> kept(RecordCount(font, kPhdr) - 1);
  std::vector<bool> present(kMaxRecords);
  for (size_t preset = 0; preset < kept.size(); ++preset) {
    Bytes header = Record(font, kPhdr, preset);
    if (Read16(header, kPresetBank) != 0) continue;
    uint16_t program = Read16(header, kPresetProgram);
    present[program] = true;
    kept[preset] = std::find(programs.begin(), programs.end(), program) != programs.end();
  }
  for (int program : programs) {
    if (program < 0 || program >= static_cast<int>(kMaxRecords) || !present[program]) return {};
  }
  return kept;
}

// A subset loaded into a synthesizer, which reads it by its name for as long as it lives.
struct LoadedSubset {
  const fluid_synth_t* synth;
  std::string name;
  Buffer bytes;
};

// Loading runs on the synthesizer's starting thread, selecting a preset on the caller's.
std::mutex loadedMutex;
std::vector<std::unique_ptr<LoadedSubset>> loadedSubsets;
int loadCount = 0;

void* OpenSubset(const char* name) {
  std::lock_guard lock(loadedMutex);
  for (const std::unique_ptr<LoadedSubset>& subset : loadedSubsets) {
    if (subset->name == name) return new MemoryStream{subset->bytes, 0};
  }
  return nullptr;
}

int ReadSubset(void* buffer, fluid_long_long_t count, void* handle) {
  auto* stream = static_cast<MemoryStream*>(handle);
  if (count < 0 || static_cast<size_t>(count) > stream->data.size() - stream->position) {
    return FLUID_FAILED;
  }
  std::memcpy(buffer, stream->data.data() + stream->position, static_cast<size_t>(count));
  stream->position += static_cast<size_t>(count);
  return FLUID_OK;
}

int SeekSubset(void* handle, fluid_long_long_t offset, int origin) {
  return SeekMemoryStream(*static_cast<MemoryStream*>(handle), offset, origin) ? FLUID_OK
                                                                               : FLUID_FAILED;
}

fluid_long_long_t TellSubset(void* handle) {
  return static_cast<fluid_long_long_t>(static_cast<MemoryStream*>(handle)->position);
}

int CloseSubset(void* handle) {
  delete static_cast<MemoryStream*>(handle);
  return FLUID_OK;
}

// The subset of the soundfont `file` holding `programs`; empty when the file cannot be read or
// gives none. Mapping the file reads only the parts the subset takes.
Buffer SubsetOfFile(const std::string& file, std::span<const int> programs) {
  int descriptor = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return {};
  struct stat status;
  void* mapped = MAP_FAILED;
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    mapped =
        mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
  }
  close(descriptor);
  if (mapped == MAP_FAILED) return {};
  Bytes bytes{static_cast<const unsigned char*>(mapped), static_cast<size_t>(status.st_size)};
  Buffer subset = SubsetSoundFont(bytes, programs);
  munmap(mapped, bytes.size());
  return subset;
}

}  // namespace

std::vector<unsigned char> SubsetSoundFont(std::span<const unsigned char> file,
                                           std::span<const int> programs) {
  SoundFont font;
  if (!ReadSoundFont(file, font) || !LevelSound(font, kPresetLevel, kInst) ||
      !LevelSound(font, kInstrumentLevel, kShdr)) {
    return {};
  }
  std::vector<bool> presets = ChosenPresets(font, programs);
  if (presets.empty()) return {};
  std::vector<bool> instruments = Referenced(font, kPresetLevel, presets, kInst);
  std::vector<bool> samples = Referenced(font, kInstrumentLevel, instruments, kShdr);
  SampleLists sampleLists;
  if (!KeepStereoPartners(font, samples) || !WriteSamples(font, samples, sampleLists)) return {};
  LevelLists presetLists = WriteLevel(font, kPresetLevel, presets, Renumber(instruments));
  LevelLists instrumentLists = WriteLevel(font, kInstrumentLevel, instruments, Renumber(samples));
  return WriteSoundFont(font, presetLists, instrumentLists, sampleLists);
}

void AddSubsetLoader(fluid_settings_t* settings, fluid_synth_t* synth) {
  fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
  if (!loader) return;
  fluid_sfloader_set_callbacks(loader, OpenSubset, ReadSubset, SeekSubset, TellSubset, CloseSubset);
  fluid_synth_add_sfloader(synth, loader);
}

bool LoadSoundFontSubset(fluid_synth_t* synth, const std::string& file,
                         std::span<const int> programs) {
  auto subset =
      std::make_unique<LoadedSubset>(LoadedSubset{synth, {}, SubsetOfFile(file, programs)});
  if (subset->bytes.empty()) return false;
  std::string name;
  {
    std::lock_guard lock(loadedMutex);
    // A name of its own for each subset: the synthesizer shares the samples of soundfonts
    // loaded under the same name.
    subset->name = name = "kestrow-subset-" + std::to_string(++loadCount);
    loadedSubsets.push_back(std::move(subset));
  }
  if (fluid_synth_sfload(synth, name.c_str(), 1) != FLUID_FAILED) return true;
  std::lock_guard lock(loadedMutex);
  std::erase_if(loadedSubsets,
                [&](const std::unique_ptr<LoadedSubset>& loaded) { return loaded->name == name; });
  return false;
}

void ReleaseSoundFontSubsets(const fluid_synth_t* synth) {
  std::lock_guard lock(loadedMutex);
  std::erase_if(loadedSubsets, [&](const std::unique_ptr<LoadedSubset>& loaded) {
    return loaded->synth == synth;
  });
}

bool SeekMemoryStream(MemoryStream& stream, int64_t offset, int origin) {
  int64_t base = 0;
  if (origin == SEEK_CUR) base = static_cast<int64_t>(stream.position);
  if (origin == SEEK_END) base = static_cast<int64_t>(stream.data.size());
  int64_t target = base + offset;
  if (target < 0 || target > static_cast<int64_t>(stream.data.size())) return false;
  stream.position = static_cast<size_t>(target);
  return true;
}
