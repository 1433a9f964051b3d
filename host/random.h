// The project's pseudo-random generator: the classic linear congruential sequence
// (state = state * 214013 + 2531011 mod 2^32, result = bits 16..30 of the state), so the noise
// and the specks are the same on every platform and C library. Frame thread; tests seed it on
// their own thread before drawing.
#pragma once

#include <cstdint>

// The largest value RandomNext returns.
constexpr int RANDOM_MAX = 32767;

// Restarts the sequence from seed; the sequence a program starts with is that of seed 1.
void RandomSeed(uint32_t seed);
// The next number of the sequence, 0..RANDOM_MAX.
int RandomNext();
