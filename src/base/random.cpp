#include "base/random.h"

#include <random>

namespace {
std::mt19937 generator;
}

void SeedRandom(uint32_t seed) {
  generator.seed(seed);
}

int RandomBetween(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(generator);
}

uint64_t LocalSeed() {
  std::random_device device;
  return (uint64_t{device()} << 32) ^ device();
}
