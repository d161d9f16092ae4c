// The times worth a look in the swept tests of rounded features and edges, shared by the world
// collision's swept contacts and the pair collision's swept feature tests: the quartic of a
// point's squared distance from a moving axis against a radius that may grow over the step,
// which of a quartic's roots in [0, 1] are entries into the radius, and the times in [0, 1] at
// which a moving edge's line crosses a fixed edge's line.
//
// The moving axis starts at A + t V with the vector E + t W (t the step fraction). Single
// precision; nothing keeps state or allocates.
#pragma once

#include "collision/FloatLanes.h"
#include "maths/Types.h"

#include <cmath>
#include <cstdint>

// A nearly linear side whose linear term is no larger places no root.
constexpr float BZ_EDGE_CROSSING_SMALL_LINEAR = 1.1920929e-7f;

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
// Inline: the edge tests call it for every pair of edges they meet.
inline int32_t bz_EdgeCrossingTimes(float a, float b, float c, float *times)
{
    bool possible = c * (a + b + c) <= 0.0f;
    if (!possible && a != 0.0f)
    {
        const float ts = -b / (2.0f * a);
        possible = ts >= 0.0f && ts <= 1.0f && c * ((a * ts + b) * ts + c) <= 0.0f;
    }
    if (!possible)
        return 0;
    if (a < 0.0f)
    {
        a = -a;
        b = -b;
        c = -c;
    }
    float r1 = 0.0f, r2 = 2.0f; // 2: no second root
    if (1000.0f * std::fabs(4.0f * a * c) <= b * b)
    {
        // Nearly linear: the small root without cancellation, the other from their sum.
        if (std::fabs(b) <= BZ_EDGE_CROSSING_SMALL_LINEAR)
            return 0;
        r1 = -c / b - c * c * a / (b * b * b);
        if (a > 0.0f)
            r2 = -b / a - r1;
    }
    else
    {
        const float disc = b * b - 4.0f * a * c;
        if (disc < 0.0f)
            return 0;
        const float root = std::sqrt(disc);
        r1 = (-b - root) / (2.0f * a);
        if (r1 > 1.0f)
            return 0;
        r2 = (root - b) / (2.0f * a);
    }
    int32_t n = 0;
    if (r1 >= 0.0f && r1 <= 1.0f)
        times[n++] = r1;
    if (r2 >= 0.0f && r2 <= 1.0f && r2 != r1)
        times[n++] = r2;
    return n;
}

// The side of the moving edge's line P0 + t V, vector E0 + t W, from the fixed edge's line
// Q + u F over the step: n0 = E0 x F, n1 = W x F, offset = P0 - Q and the side's coefficients
// a = V . n1, b = offset . n1 + V . n0, c = offset . n0 for bz_EdgeCrossingTimes, each exactly as
// Cross, Sub and Dot of PairMaths.h give it (the coordinates side by side in float lanes).
struct bzEdgeSide
{
    bzV3 n0, n1, offset;
    float a, b, c;
};

inline bzEdgeSide bz_EdgeSide(const bzV3 &q, const bzV3 &f, const bzV3 &p0, const bzV3 &v,
                              const bzV3 &e0, const bzV3 &w)
{
    const bzLanes fl = bz_Lanes(f), vl = bz_Lanes(v);
    const bzLanes n0 = bz_CrossLanes(bz_Lanes(e0), fl), n1 = bz_CrossLanes(bz_Lanes(w), fl);
    const bzLanes offset = bz_Lanes(p0) - bz_Lanes(q);
    const bzLanes dots = bz_SumsOfFour(vl * n1, offset * n1, vl * n0, offset * n0);
    return bzEdgeSide{bz_LanesV3(n0), bz_LanesV3(n1),    bz_LanesV3(offset),
                      dots[0],        dots[1] + dots[2], dots[3]};
}
