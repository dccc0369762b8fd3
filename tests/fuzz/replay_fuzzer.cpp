// libFuzzer target: any text as an encoded replay, and the same bytes as the record inside one
// (compressed and encoded here, so that mutations reach the record's reader past zlib's check).
// Decoding never reads past its input; what it accepts is in order, encodes to a text that decodes
// to the same record, and plays under the rules without fault.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "game/replay.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Compresses `record` and writes it as base64url without padding, as EncodeReplay does.
std::string Wrapped(std::string_view record) {
  uLongf size = compressBound(record.size());
  std::string packed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
            reinterpret_cast<const Bytef*>(record.data()), record.size(), 1);
  packed.resize(size);
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string text;
  for (size_t i = 0; i < packed.size() * 8; i += 6) {
    unsigned value = 0;
    for (size_t bit = i; bit < i + 6; ++bit) {
      unsigned byte = bit / 8 < packed.size() ? static_cast<unsigned char>(packed[bit / 8]) : 0;
      value = value << 1 | (byte >> (7 - bit % 8) & 1);
    }
    text.push_back(kDigits[value]);
  }
  return text;
}

void CheckDecoding(std::string_view text) {
  Replay replay;
  std::string error;
  if (!DecodeReplay(text, &replay, &error)) {
    Check(!error.empty());
    return;
  }
  for (size_t i = 1; i < replay.steps.size(); ++i) {
    Check(replay.steps[i - 1].stamp <= replay.steps[i].stamp);
  }
  Check(replay.steps.empty() || replay.steps.back().stamp <= replay.endStamp);
  Replay again;
  Check(DecodeReplay(EncodeReplay(replay), &again, &error));
  Check(again.steps.size() == replay.steps.size() && again.endStamp == replay.endStamp &&
        again.seed == replay.seed);
  ReplayOutcome outcome = PlayReplay(replay);
  Check(!outcome.won || outcome.score >= 2000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckDecoding(input);
  CheckDecoding(Wrapped(input));
  return 0;
}
