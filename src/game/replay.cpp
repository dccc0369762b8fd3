#include "game/replay.h"

#include <zlib.h>

#include <memory>

#include "game/rules_engine.h"

namespace {

constexpr size_t kMaxEncodedSize = 64 * 1024;
constexpr size_t kMaxPackedSize = 256 * 1024;
constexpr uint8_t kFlagServerSeed = 1;
constexpr uint8_t kFlagSounds = 2;
constexpr int kActionBits = 3;
constexpr uint64_t kActionCount = 6;
constexpr char kBase64Url[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Layout: format version, rules version, flags, the seed (8 bytes, little-endian), the number of
// steps, each step as (stamp - previous stamp) << 3 | action, then end stamp - last stamp. Every
// number past the seed is a LEB128 varint.
void PutVarint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

std::string Pack(const Replay& replay) {
  std::string out;
  out.push_back(static_cast<char>(replay.formatVersion));
  out.push_back(static_cast<char>(replay.rulesVersion));
  out.push_back(static_cast<char>((replay.serverSeed ? kFlagServerSeed : 0) |
                                  (replay.soundsEnabled ? kFlagSounds : 0)));
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(replay.seed >> (8 * i)));
  PutVarint(out, replay.steps.size());
  uint32_t previous = 0;
  for (const ReplayStep& step : replay.steps) {
    PutVarint(
        out, (uint64_t{step.stamp - previous} << kActionBits) | static_cast<uint64_t>(step.action));
    previous = step.stamp;
  }
  PutVarint(out, replay.endStamp - previous);
  return out;
}

std::string Compress(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), data.size(), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

std::string ToBase64Url(const std::string& data) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (unsigned char byte : data) {
    bits = (bits << 8) | byte;
    count += 8;
    while (count >= 6) {
      count -= 6;
      out.push_back(kBase64Url[(bits >> count) & 63]);
    }
  }
  if (count > 0) out.push_back(kBase64Url[(bits << (6 - count)) & 63]);
  return out;
}

int Base64UrlValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '-') return 62;
  if (c == '_') return 63;
  return -1;
}

// Only the one spelling ToBase64Url writes is accepted: no padding, unused low bits zero.
bool FromBase64Url(std::string_view text, std::string* data) {
  if (text.size() % 4 == 1) return false;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int value = Base64UrlValue(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      data->push_back(static_cast<char>(bits >> count));
    }
  }
  return (bits & ((1u << count) - 1)) == 0;
}

// Inflates one whole zlib stream of at most kMaxPackedSize bytes, with nothing after it.
bool Inflate(const std::string& data, std::string* out) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, inflateEnd);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  Bytef chunk[16 * 1024];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) return false;
    out->append(reinterpret_cast<char*>(chunk), sizeof chunk - stream.avail_out);
    if (out->size() > kMaxPackedSize) return false;
  }
  return stream.avail_in == 0;
}

struct Reader {
  std::string_view data;
  size_t at = 0;
};

bool GetByte(Reader& reader, uint8_t* value) {
  if (reader.at >= reader.data.size()) return false;
  *value = static_cast<uint8_t>(reader.data[reader.at++]);
  return true;
}

// A varint of at most `bits` bits, in its shortest spelling.
bool GetVarint(Reader& reader, int bits, uint64_t* value) {
  *value = 0;
  for (int shift = 0; shift < bits; shift += 7) {
    uint8_t byte = 0;
    if (!GetByte(reader, &byte)) return false;
    *value |= uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) == 0) return (byte != 0 || shift == 0) && (*value >> bits) == 0;
  }
  return false;
}

bool Fail(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

// Adds `delta` to `*stamp`, refusing a sum past 32 bits.
bool AddDelta(uint32_t* stamp, uint64_t delta) {
  uint64_t sum = *stamp + delta;
  if (sum > UINT32_MAX) return false;
  *stamp = static_cast<uint32_t>(sum);
  return true;
}

bool Unpack(std::string_view data, Replay* replay, std::string* error) {
  Reader reader{data};
  uint8_t flags = 0;
  if (!GetByte(reader, &replay->formatVersion) || !GetByte(reader, &replay->rulesVersion) ||
      !GetByte(reader, &flags)) {
    return Fail(error, "truncated header");
  }
  if (replay->formatVersion != kReplayFormatVersion) return Fail(error, "unknown format version");
  if (replay->rulesVersion != kRulesVersion) return Fail(error, "unknown rules version");
  if ((flags & ~(kFlagServerSeed | kFlagSounds)) != 0) return Fail(error, "unknown flags");
  replay->serverSeed = (flags & kFlagServerSeed) != 0;
  replay->soundsEnabled = (flags & kFlagSounds) != 0;
  replay->seed = 0;
  for (int i = 0; i < 8; ++i) {
    uint8_t byte = 0;
    if (!GetByte(reader, &byte)) return Fail(error, "truncated seed");
    replay->seed |= uint64_t{byte} << (8 * i);
  }
  uint64_t count = 0;
  if (!GetVarint(reader, 32, &count)) return Fail(error, "bad step count");
  // Each step takes at least one byte: a count beyond the bytes left is a lie.
  if (count > data.size() - reader.at) return Fail(error, "truncated steps");
  replay->steps.clear();
  replay->steps.reserve(count);
  uint32_t stamp = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t value = 0;
    if (!GetVarint(reader, 32 + kActionBits, &value)) return Fail(error, "bad step");
    if ((value & 7) >= kActionCount) return Fail(error, "unknown action");
    if (!AddDelta(&stamp, value >> kActionBits)) return Fail(error, "stamp out of range");
    replay->steps.push_back({stamp, static_cast<GameAction>(value & 7)});
  }
  uint64_t last = 0;
  if (!GetVarint(reader, 32, &last) || !AddDelta(&stamp, last)) return Fail(error, "bad end");
  replay->endStamp = stamp;
  if (reader.at != data.size()) return Fail(error, "trailing bytes");
  return true;
}

}  // namespace

std::string EncodeReplay(const Replay& replay) {
  return ToBase64Url(Compress(Pack(replay)));
}

bool DecodeReplay(std::string_view text, Replay* replay, std::string* error) {
  if (text.size() > kMaxEncodedSize) return Fail(error, "too long");
  std::string compressed;
  if (!FromBase64Url(text, &compressed)) return Fail(error, "not base64url");
  std::string packed;
  if (!Inflate(compressed, &packed)) return Fail(error, "not a zlib stream of at most 256 KiB");
  return Unpack(packed, replay, error);
}

bool PlayReplayOn(const Replay& replay, RulesState* state) {
  StartRules(*state, replay.seed, replay.soundsEnabled, 0);
  size_t played = 0;
  while (played < replay.steps.size() &&
         PlayAction(*state, replay.steps[played].stamp, replay.steps[played].action)) {
    ++played;
  }
  if (!state->over) AdvanceRules(*state, replay.endStamp);
  return played == replay.steps.size();
}

ReplayOutcome PlayReplay(const Replay& replay) {
  RulesState state{};
  bool complete = PlayReplayOn(replay, &state);
  return {.won = state.won && complete, .score = state.score, .resultStamp = state.resultStamp};
}

int32_t PackedTimeOfStamp(uint32_t milliseconds) {
  uint32_t minutes = milliseconds / 60000;
  uint32_t rest = milliseconds % 60000;
  return static_cast<int32_t>(minutes * 65536 + rest / 1000 * 256 + rest % 1000 / 10);
}
