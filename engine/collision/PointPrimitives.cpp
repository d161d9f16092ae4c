// Point and sphere primitives of the collision handlers.
#include "collision/PointPrimitives.h"

#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/PairMaths.h"
#include "collision/SegmentTests.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
bzV3 Unit(const bzV3 &v)
{
    const float length = std::sqrt(LengthSq(v));
    return length > 0.0f ? Scale(v, 1.0f / length) : v;
}
} // namespace

void bz_SegmentClosestToSphere(const bzV3 *p, const bzV3 *a, const bzV3 *b, const bzV3 *d,
                               float lengthSq, float r, bzV3 *closestOut, bzV3 *normalOut,
                               float *markOut)
{
    const float t = Dot(Sub(*p, *a), *d) / lengthSq;
    bzV3 y;
    if (!(t > 0.0f))
        y = *a;
    else if (t < 1.0f)
        y = AddScaled(*a, *d, t);
    else
        y = *b;
    *closestOut = y;
    const bzV3 out = Sub(y, *p);
    const float g = LengthSq(out);
    if (r * r < g && g < r * r + 2.0f * bzCollisionTolerance * r)
    {
        *markOut = 1.0f;
        *normalOut = Scale(out, 1.0f / std::sqrt(g));
    }
}

int32_t bz_SweptSphereAgainstPoint(const bzV3 *q, const bzV3 *a, const bzV3 *d, float r2,
                                   float *fractionOut, bzV3 *pointOut, bzV3 *normalOut)
{
    const float dd = LengthSq(*d);
    if (!(dd > 0.0f))
        return 0;
    const bzV3 w = Sub(*q, *a);
    const float t0 = Dot(w, *d) / dd;
    const float h2 = LengthSq(w) - t0 * t0 * dd;
    if (!(h2 <= r2))
        return 0;
    const float t = t0 - std::sqrt((r2 - h2) / dd);
    if (!(t >= 0.0f && t <= 1.0f))
        return 0;
    *fractionOut = t;
    *pointOut = *q;
    *normalOut = Unit(Sub(*q, AddScaled(*a, *d, t)));
    return 1;
}

void bz_SweptPointAgainstSphere(const bzV3 *a, const bzV3 *b, const bzV3 *k, float r,
                                float *fractionOut, bzV3 *normalOut)
{
    *fractionOut = BZ_FRACTION_MISS;
    const bzV3 d = Sub(*b, *a);
    const float dd = LengthSq(d);
    if (dd >= FLT_EPSILON)
    {
        const bzV3 w = Sub(*a, *k);
        const float s = -Dot(w, d) / dd;
        const float h2 = LengthSq(w) - s * s * dd;
        const float outer = r + bzCollisionTolerance;
        if (!(h2 <= outer * outer))
            return;
        if (h2 <= r * r)
        {
            const float t = s - std::sqrt((r * r - h2) / dd);
            if (t >= 0.0f && t <= 1.0f)
            {
                *fractionOut = t;
                *normalOut = Unit(Sub(*k, AddScaled(*a, d, t)));
            }
            return;
        }
    }
    bz_Point_InSphereShell(b, k, r, normalOut, fractionOut);
}

int32_t bz_PointNearSphereShell(const bzV3 *start, const bzV3 *end, const bzSphereShape *sphere,
                                float *fractionOut, bzV3 *pointOut, bzV3 *normalOut, float *markOut)
{
    const int32_t code = bz_Segment_Sphere(start, end, sphere, fractionOut, pointOut, normalOut);
    if (code != 0)
        return code;
    const float r = sphere->radius;
    const bzV3 in = Sub(sphere->centre, *end);
    const float g = LengthSq(in);
    if (!(r * r <= g && g <= r * r + 2.0f * bzCollisionTolerance * r) || !(g > 0.0f))
        return 0;
    const bzV3 normal = Scale(in, 1.0f / std::sqrt(g));
    *normalOut = normal;
    *pointOut = AddScaled(sphere->centre, normal, -r);
    *markOut = 1.0f;
    return 2;
}

int32_t bz_PointOnBoxNormal(const bzV3 *start, const bzV3 *end, const bzBox *box,
                            float *fractionOut, bzV3 *pointOut, bzV3 *normalOut, float *markOut)
{
    const int32_t k = bz_Segment_AlignedBox(start, end, box, pointOut, fractionOut);
    if (k < 0)
        return k;
    if (k > 0)
    {
        bzV3 n = V(0.0f, 0.0f, 0.0f);
        n.v[(k - 1) & 3] = (k & 4) ? 1.0f : -1.0f;
        *normalOut = n;
        return k;
    }
    const float tol = bzCollisionTolerance;
    bzV3 nearest;
    if (!std::isfinite(end->x) || !std::isfinite(end->y) || !std::isfinite(end->z) ||
        !bz_Sphere_AlignedBox(end, box, tol * tol, &nearest))
        return 0;
    bzV3 n = V(0.0f, 0.0f, 0.0f);
    for (int32_t i = 0; i < 3; i++)
    {
        if (nearest.v[i] == box->max.v[i])
            n.v[i] -= 1.0f;
        if (nearest.v[i] == box->min.v[i])
            n.v[i] += 1.0f;
    }
    *pointOut = nearest;
    *normalOut = Unit(n);
    *markOut = 1.0f;
    return BZ_NEAR_SURFACE;
}
