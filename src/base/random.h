// The program's general random source, seeded once at start-up, and fresh seeds for games.
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
// A uniformly distributed integer in [low, high].
int RandomBetween(int low, int high);
// A seed for a game's pieces drawn from the system's entropy, independent of RandomBetween.
uint64_t LocalSeed();
