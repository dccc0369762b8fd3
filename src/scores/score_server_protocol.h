// What the game and its score server share: the request path, the three constants that hide a
// result's time in a submission, and the layout of the submission token.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kScoreServerPath = "/public/index.php?a=KestrowRes";
inline constexpr const char* kScoreServerAgent = "Kestrow 1.3";

// Added to the minutes, the seconds and the hundredths of an encoded time. The seconds (below 60)
// and the hundredths (below 100) stay below 256 with them.
inline constexpr uint32_t K1 = 0x4B;
inline constexpr uint32_t K2 = 0x71;
inline constexpr uint32_t K3 = 0x2D;

inline constexpr size_t kTokenLength = 22;

// The longest name a player can type, and the longest the server keeps.
inline constexpr int kMaxNameLength = 32;

// A name without what would break the score file or the server's list ("|", CR, LF, NUL), cut to
// its maximum.
inline std::string CleanPlayerName(std::string_view name) {
  std::string clean;
  for (char c : name) {
    if (c == '|' || c == '\r' || c == '\n' || c == '\0') continue;
    if (clean.size() == kMaxNameLength) break;
    clean += c;
  }
  return clean;
}

// K1, K2 and K3 at the bytes of an encoded time where they are added.
inline constexpr uint32_t kEncodedTimeOffsets = K1 << 24 | K2 << 16 | K3;

// The check byte of an encoded time: its three parts each taken modulo 64, added up (at most 189).
// Peers compute it this way, so a change of the minutes or hundredths by 64 goes unseen.
inline uint32_t ResultCheckValue(uint32_t minutes, uint32_t seconds, uint32_t hundredths) {
  return minutes % 64 + seconds % 64 + hundredths % 64;
}

// Minutes (modulo 256) + K1, seconds + K2, the check byte, hundredths + K3, from the top byte down,
// added up as one 32-bit sum.
inline uint32_t EncodeResultTime(int32_t packedTime) {
  uint32_t time = static_cast<uint32_t>(packedTime);
  uint32_t minutes = (time >> 16) & 0xFF;
  uint32_t seconds = (time >> 8) & 0xFF;
  uint32_t hundredths = time & 0xFF;
  uint32_t check = ResultCheckValue(minutes, seconds, hundredths);
  return (minutes + K1) * 0x1000000u + (seconds + K2) * 0x10000u + check * 0x100u +
         (hundredths + K3);
}

// The packed time an encoded time stands for; false when its check byte is wrong or its seconds
// or hundredths are out of range. The constants come off the whole sum, so that a carry out of
// one byte into the next is taken back too.
inline bool DecodeResultTime(uint32_t encoded, int32_t* packedTime) {
  uint32_t parts = encoded - kEncodedTimeOffsets;
  uint32_t minutes = parts >> 24;
  uint32_t seconds = (parts >> 16) & 0xFF;
  uint32_t check = (parts >> 8) & 0xFF;
  uint32_t hundredths = parts & 0xFF;
  if (seconds >= 60 || hundredths >= 100) return false;
  if (check != ResultCheckValue(minutes, seconds, hundredths)) return false;
  *packedTime = static_cast<int32_t>(minutes << 16 | seconds << 8 | hundredths);
  return true;
}

inline void AppendHexByte(std::string& text, uint32_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text += kDigits[(byte >> 4) & 0xF];
  text += kDigits[byte & 0xF];
}

// The 22 uppercase hexadecimal digits of a submission: address bytes 0 and 1, the encoded time,
// address bytes 2 and 3, the mask, address bytes 4 and 5, each XOR the mask.
inline std::string FormatSubmissionToken(uint32_t encoded, const unsigned char address[6],
                                         uint8_t mask) {
  std::string token;
  token.reserve(kTokenLength);
  AppendHexByte(token, address[0] ^ mask);
  AppendHexByte(token, address[1] ^ mask);
  for (int shift = 24; shift >= 0; shift -= 8) AppendHexByte(token, (encoded >> shift) ^ mask);
  AppendHexByte(token, address[2] ^ mask);
  AppendHexByte(token, address[3] ^ mask);
  AppendHexByte(token, mask);
  AppendHexByte(token, address[4] ^ mask);
  AppendHexByte(token, address[5] ^ mask);
  return token;
}

struct SubmissionToken {
  uint32_t encodedTime;
  int32_t time;
  std::array<unsigned char, 6> address;
};

inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a token made by FormatSubmissionToken; false unless it has 22 uppercase hexadecimal
// digits, a mask other than 0 and an encoded time that decodes.
inline bool DecodeSubmissionToken(std::string_view token, SubmissionToken* decoded) {
  if (token.size() != kTokenLength) return false;
  uint8_t bytes[kTokenLength / 2];
  for (size_t i = 0; i < kTokenLength / 2; ++i) {
    int high = HexDigitValue(token[2 * i]);
    int low = HexDigitValue(token[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  uint8_t mask = bytes[8];
  if (mask == 0) return false;
  uint32_t encoded = 0;
  for (int i = 2; i < 6; ++i) encoded = encoded << 8 | static_cast<uint8_t>(bytes[i] ^ mask);
  if (!DecodeResultTime(encoded, &decoded->time)) return false;
  decoded->encodedTime = encoded;
  static constexpr int kAddressBytes[6] = {0, 1, 6, 7, 9, 10};
  for (int i = 0; i < 6; ++i) decoded->address[i] = bytes[kAddressBytes[i]] ^ mask;
  return true;
}
