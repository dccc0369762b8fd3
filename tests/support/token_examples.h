// Submission tokens worked out by hand from the score protocol's arithmetic, for the client's and
// the server's tests. Peers built elsewhere rely on exactly these values.
//
// The encoded time of m:s.c is (m + 0x4B) * 2^24 + (s + 0x71) * 2^16 + check * 2^8 + (c + 0x2D),
// a 32-bit sum, where check = (m mod 64) + (s mod 64) + (c mod 64). The token is the adapter
// address 00 1A 2B 3C 4D 5E and the encoded time, each byte XOR the mask 0x5C, laid out as
// a0 a1 | 4 bytes of encoded time | a2 a3 | mask | a4 a5, that is 5C 46 | .... | 77 60 | 5C | 11
// 02.
#pragma once

#include <cstdint>

inline constexpr unsigned char kExampleAddress[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
inline constexpr uint8_t kExampleMask = 0x5C;

struct TokenExample {
  int32_t time;  // minutes * 65536 + seconds * 256 + hundredths
  uint32_t encoded;
  const char* token;
};

inline constexpr TokenExample kTokenExamples[] = {
    // 0:30.75: 0+75 = 4B, 30+113 = 8F, check 0+30+11 = 41 = 29, 75+45 = 78.
    // Masked: 4B^5C = 17, 8F^5C = D3, 29^5C = 75, 78^5C = 24.
    {30 * 256 + 75, 0x4B8F2978, "5C4617D3752477605C1102"},
    // 0:41.64: 4B, 41+113 = 9A, check 0+41+0 = 41 = 29, 64+45 = 6D. Masked 17 C6 75 31.
    {41 * 256 + 64, 0x4B9A296D, "5C4617C6753177605C1102"},
    // 70:01.01: 70+75 = 91, 1+113 = 72, check 6+1+1 = 08, 1+45 = 2E. Masked CD 2E 54 72.
    {70 * 65536 + 1 * 256 + 1, 0x9172082E, "5C46CD2E547277605C1102"},
    // 63:59.99: 63+75 = 8A, 59+113 = AC, check 63+59+35 = 157 = 9D, 99+45 = 90. Masked D6 F0 C1 CC.
    {63 * 65536 + 59 * 256 + 99, 0x8AAC9D90, "5C46D6F0C1CC77605C1102"},
    // 181:00.00: 181+75 = 256, whose carry leaves the 32 bits: 00, 71, check 53 = 35, 2D.
    // Masked 5C 2D 69 71.
    {181 * 65536, 0x0071352D, "5C465C2D697177605C1102"},
};

// Tokens whose check byte is right by the same arithmetic but whose time is impossible.
inline constexpr const char* kImpossibleTimeTokens[] = {
    // 0:60.00: 4B, 60+113 = AD, check 60 = 3C, 2D. Masked 17 F1 60 71.
    "5C4617F1607177605C1102",
    // 0:00.100: 4B, 71, check 100-64 = 36 = 24, 100+45 = 91. Masked 17 2D 78 CD.
    "5C46172D78CD77605C1102",
    // 0:00.211: 211+45 = 256 carries into the check byte: 4B, 71, check 211-192 = 19 = 13 plus
    // the carry = 14, 00. Masked 17 2D 48 5C.
    "5C46172D485C77605C1102",
};
