// The random source shared by both backends.
#include <random>

#include "platform/platform.h"

namespace {
std::mt19937 generator;
}

void PlatformSeedRandom(uint32_t seed) {
  generator.seed(seed);
}

int PlatformRandom(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(generator);
}
