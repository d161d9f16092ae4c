// A fixed-sequence random source for tests that check a routine against a plain version of it
// on random input: every run tests the same cases.
#pragma once

#include "maths/Vector.h"

#include <random>

struct TestRandom
{
    explicit TestRandom(unsigned start) : rng(start) {}

    std::mt19937 rng;
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    bool Chance(float p) { return Uniform(0.0f, 1.0f) < p; }
    // A vector with each coordinate in [-r, r).
    bzV3 Vec(float r)
    {
        bzV3 v;
        v.x = Uniform(-r, r);
        v.y = Uniform(-r, r);
        v.z = Uniform(-r, r);
        return v;
    }
};
