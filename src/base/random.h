// The program's one random source, seeded once at start-up.
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
// A uniformly distributed integer in [low, high].
int RandomBetween(int low, int high);
