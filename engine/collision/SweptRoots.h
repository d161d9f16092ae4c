// The times worth a look in the swept tests of rounded features and edges, shared by the world
// collision's swept contacts and the pair collision's swept feature tests: the quartic of a
// point's squared distance from a moving axis against a radius that may grow over the step,
// which of a quartic's roots in [0, 1] are entries into the radius, and the times in [0, 1] at
// which a moving edge's line crosses a fixed edge's line.
//
// The moving axis starts at A + t V with the vector E + t W (t the step fraction). Single
// precision; nothing keeps state or allocates.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// The coefficients k (from t^4 down, room for 5) of q(t) = g(t) |E(t)|^2 - ((d - t V) . E(t))^2,
// g(t) = |d - t V|^2 - (R + growth t)^2, d = P - A: q(t) < 0 while the fixed point P lies within
// R + growth t of the moving axis's line.
void bz_PointAxisQuartic(const bzV3 &d, const bzV3 &v, const bzV3 &e, const bzV3 &w, float radius,
                         float growth, float *k);

// Of the n roots in [0, 1] of a quartic (ascending), the times at which the distance comes down
// to the radius: when the features start within it (q(0) < 0) only the second root, the first
// being where they separate; else the roots at even positions. Written to picked (room for 4);
// returns their number.
int32_t bz_EnteringRoots(const float *roots, int32_t n, bool startsWithin, float *picked);

// The side of the moving edge's line from the fixed edge's, a t^2 + b t + c, as the two lines
// cross: the times in [0, 1] at which it changes sign (room for 2), the first crossing first: the
// smaller root, or for a nearly linear side the root its linear term places; a double root once.
// 0 when it keeps its sign over the step, has no real roots or none in [0, 1], or b is too small
// to place the root of a nearly linear side.
int32_t bz_EdgeCrossingTimes(float a, float b, float c, float *times);
