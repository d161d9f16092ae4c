#include "core/Random.h"

#include "core/Calendar.h"

#include <cmath>
#include <cstring>

namespace
{
uint32_t gSeed;
uint32_t gState;
uint32_t gSavedState;

// A range whose every draw rounds to 0 would never give a non-zero float: give up after this.
constexpr int32_t kMostFloatTries = 100000;

int32_t Step()
{
    gState = gState * 214013u + 2531011u;
    return static_cast<int32_t>((gState >> 16) & 0x7FFF);
}

int32_t Draw()
{
    bz_RandomSeedIfNeeded();
    return Step();
}

} // namespace

uint32_t bz_RandomSeed(uint32_t value)
{
    if (value == 0)
        value = 1;
    gSavedState = gState;
    gState = value;
    gSeed = value;
    return value;
}

uint32_t bz_RandomSeedIfNeeded()
{
    if (gSeed == 0)
    {
        uint32_t seconds = static_cast<uint32_t>(bz_GetCalendarTime());
        bz_RandomSeed(seconds ? seconds : 1);
    }
    return gSeed;
}

uint32_t bz_RandomGetSeed()
{
    return bz_RandomSeedIfNeeded();
}

void bz_RandomRestart()
{
    gState = gSavedState;
}

void bz_RandomSetState(uint32_t value)
{
    gSavedState = gState;
    gState = value;
}

int32_t bz_RandomRaw()
{
    return Step();
}

int32_t bz_RandomDraw()
{
    return Draw();
}

int32_t bz_RandomDrawNonZero()
{
    int32_t value;
    do
        value = Draw();
    while (value == 0);
    return value;
}

float bz_RandomUnit()
{
    return static_cast<float>(Draw()) * 3.051851e-5f;
}

float bz_RandomUnitNonZero()
{
    float value;
    do
        value = bz_RandomUnit();
    while (value == 0.0f);
    return value;
}

float bz_RandomFloat(float a, float b)
{
    bz_RandomSeedIfNeeded();
    if (a == b)
        return a;
    float low = a < b ? a : b;
    float high = a < b ? b : a;
    return low + (high - low) * static_cast<float>(Draw()) * 3.0517578e-5f;
}

float bz_RandomFloatNonZero(float a, float b)
{
    float value = bz_RandomFloat(a, b);
    for (int32_t tries = 1; value == 0.0f && a != b && tries < kMostFloatTries; ++tries)
        value = bz_RandomFloat(a, b);
    return value;
}

int32_t bz_RandomInt(int32_t a, int32_t b)
{
    bz_RandomSeedIfNeeded();
    if (a == b)
        return a;
    int64_t low = a < b ? a : b;
    int64_t high = a < b ? b : a;
    return static_cast<int32_t>(low + ((high - low + 1) * Draw()) / 32768);
}

int32_t bz_RandomIntNonZero(int32_t a, int32_t b)
{
    // A range of 0 alone has no other value to find.
    if (a == 0 && b == 0)
        return 0;
    int32_t value;
    do
        value = bz_RandomInt(a, b);
    while (value == 0);
    return value;
}

int32_t bz_RandomChance(int32_t percent)
{
    return static_cast<int64_t>(Draw()) * 100 < static_cast<int64_t>(percent) * 32767 ? 1 : 0;
}

float bz_RandomExponential(float mean)
{
    return -std::log(bz_RandomUnitNonZero()) * mean;
}

float bz_FloatIdentity(float x)
{
    return x;
}
