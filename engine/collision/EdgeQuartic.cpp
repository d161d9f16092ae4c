// The edge-against-edge distance quartic.
#include "collision/EdgeQuartic.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "collision/UnitRoots.h"

using namespace bzPairMaths;

namespace
{
constexpr float kZeroSq = 1.1920929e-7f;

int32_t DistanceQuartic(float radius, float growth, const bzV3 &q, const bzV3 &f, const bzV3 &p0,
                        const bzV3 &v, const bzV3 &e0, const bzV3 &w, float *roots,
                        float *valueAtEnd)
{
    const bzV3 n0 = Cross(e0, f), n1 = Cross(w, f);
    const float nn0 = LengthSq(n0), nn1 = LengthSq(n1);
    if (nn0 < kZeroSq && nn1 < kZeroSq)
        return -1;
    const bzV3 offset = Sub(p0, q);
    // (P(t) - Q) . N(t) = a t^2 + b t + c
    const float a = Dot(n1, v), b = Dot(offset, n1) + Dot(v, n0), c = Dot(offset, n0);
    const float n01 = Dot(n0, n1);
    // R(t)^2 = g2 t^2 + g1 t + g0, and |N(t)|^2 = nn1 t^2 + 2 n01 t + nn0.
    const float g2 = growth * growth, g1 = 2.0f * radius * growth, g0 = radius * radius;
    const float k[5] = {
        a * a - g2 * nn1,
        2.0f * a * b - (g2 * 2.0f * n01 + g1 * nn1),
        b * b + 2.0f * a * c - (g2 * nn0 + g1 * 2.0f * n01 + g0 * nn1),
        2.0f * b * c - (g1 * nn0 + g0 * 2.0f * n01),
        c * c - g0 * nn0,
    };
    *valueAtEnd = k[0] + k[1] + k[2] + k[3] + k[4];
    const int32_t count = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
    return k[4] < 0.0f ? -1 - count : count;
}
} // namespace

int32_t bz_EdgeEdgeDistanceQuartic(float radius, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                                   const bzV3 *v, const bzV3 *e0, const bzV3 *w, float *roots,
                                   float *valueAtEnd)
{
    return DistanceQuartic(radius, 0.0f, *q, *f, *p0, *v, *e0, *w, roots, valueAtEnd);
}

int32_t bz_EdgeEdgeDistanceQuarticGrown(float radius, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                                        const bzV3 *v, const bzV3 *e0, const bzV3 *w, float *roots,
                                        float *valueAtEnd)
{
    return DistanceQuartic(radius, bzCollisionTolerance, *q, *f, *p0, *v, *e0, *w, roots,
                           valueAtEnd);
}
