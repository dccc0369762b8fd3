// The client's encoded times and tokens against the protocol's arithmetic, written out here
// without the shared header's help, as a score server built elsewhere would read them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/headless/headless.h"
#include "scores/internet_scores.h"
#include "support/token_examples.h"

namespace {

// K1, K2 and K3 at the bytes where the encoded time adds them.
constexpr uint32_t kOffsets = 0x4B71002D;

uint32_t HexByte(const std::string& token, size_t at) {
  char digits[3] = {token[at], token[at + 1], '\0'};
  return static_cast<uint32_t>(std::strtoul(digits, nullptr, 16));
}

// The packed time of a token, read by subtracting the offsets from the whole 32-bit sum; -1 when
// its seconds, hundredths or check byte are wrong.
int64_t ReadTokenTime(const std::string& token) {
  if (token.size() != 22) return -1;
  uint32_t mask = HexByte(token, 16);
  uint32_t encoded = 0;
  for (size_t at = 4; at < 12; at += 2) encoded = encoded << 8 | (HexByte(token, at) ^ mask);
  uint32_t sum = encoded - kOffsets;
  uint32_t m = sum >> 24;
  uint32_t s = (sum >> 16) & 0xFF;
  uint32_t check = (sum >> 8) & 0xFF;
  uint32_t c = sum & 0xFF;
  if (s >= 60 || c >= 100 || check != m % 64 + s % 64 + c % 64) return -1;
  return m << 16 | s << 8 | c;
}

TEST(Token, WorkedExamplesMatchTheClient) {
  for (const TokenExample& example : kTokenExamples) {
    EXPECT_EQ(EncodeResultTime(example.time), example.encoded) << example.token;
    EXPECT_EQ(FormatSubmissionToken(example.encoded, kExampleAddress, kExampleMask), example.token);
    EXPECT_EQ(ReadTokenTime(example.token), example.time) << example.token;
  }
}

TEST(Token, EveryTokenOfTheClientReadsBackByTheFormula) {
  HeadlessReset();
  HeadlessSetAdapterAddress(kExampleAddress);
  for (uint32_t m = 0; m < 256; ++m) {
    for (uint32_t s = 0; s < 60; ++s) {
      for (uint32_t c = 0; c < 100; ++c) {
        auto time = static_cast<int32_t>(m << 16 | s << 8 | c);
        ASSERT_EQ(ReadTokenTime(BuildSubmissionToken(EncodeResultTime(time))), time);
      }
    }
  }
}

}  // namespace
