// The engine's one pseudo-random generator: a 32-bit linear congruential generator
// (state x 214013 + 2531011) whose 15-bit outputs are scaled into ranges, chances, delays and
// directions. Every operation but Raw, Seed, SetState and Restart first seeds the generator
// from the calendar clock when it has not been seeded.
#pragma once

#include <cstdint>

// Starting value 0 counts as 1; keeps the state before it for bz_RandomRestart. Returns it.
uint32_t bz_RandomSeed(uint32_t value);
// Seeds from the calendar clock's seconds (1 when that is 0 or fails) unless already seeded.
uint32_t bz_RandomSeedIfNeeded();
uint32_t bz_RandomGetSeed();
// Back to the state saved by the last bz_RandomSeed or bz_RandomSetState.
void bz_RandomRestart();
void bz_RandomSetState(uint32_t value);

int32_t bz_RandomRaw();         // one step, 0-32767, no seeding check
int32_t bz_RandomDraw();        // 0-32767
int32_t bz_RandomDrawNonZero(); // 1-32767
float bz_RandomUnit();          // 0.0-1.0 inclusive
float bz_RandomUnitNonZero();   // (0, 1]
// [low, high) of the two; a when a = b.
float bz_RandomFloat(float a, float b);
// bz_RandomFloat drawn again while 0; 0 when the range holds nothing else.
float bz_RandomFloatNonZero(float a, float b);
// [low, high] of the two, inclusive; a when a = b (without a step).
int32_t bz_RandomInt(int32_t a, int32_t b);
// bz_RandomInt drawn again while 0; 0 when the range holds nothing else.
int32_t bz_RandomIntNonZero(int32_t a, int32_t b);
// True with the given percentage.
int32_t bz_RandomChance(int32_t percent);
// An exponentially distributed delay of the given mean.
float bz_RandomExponential(float mean);
float bz_FloatIdentity(float x);
