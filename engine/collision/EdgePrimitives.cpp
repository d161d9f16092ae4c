// Edge primitives of the collision handlers.
#include "collision/EdgePrimitives.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "collision/SegmentTests.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kParallelCrossSq = 1.4210855e-14f;
constexpr float kSmallDenominator = 1.1920929e-07f;
constexpr float kClose = 0.001f;

bzV3 Unit(const bzV3 &v)
{
    const float length = std::sqrt(LengthSq(v));
    return length > 0.0f ? Scale(v, 1.0f / length) : v;
}

void WritePoint(bzCollisionContact *row, const bzV3 &point, const bzV3 &normal,
                const bzM34 *worldToBody)
{
    row->point = worldToBody ? Point(worldToBody, point) : point;
    row->normal = worldToBody ? Direction(worldToBody, normal) : normal;
}

int32_t RestingOnEdge(const bzV3 *p, const bzV3 *a, const bzV3 *d, float r, bool strictTop,
                      bzCollisionContact *row, const bzM34 *worldToBody)
{
    const float dd = LengthSq(*d);
    if (!(dd > 0.0f))
        return 0;
    const float u = Dot(Sub(*p, *a), *d) / dd;
    if (!(u >= 0.0f && u <= 1.0f))
        return 0;
    const bzV3 onEdge = AddScaled(*a, *d, u);
    const bzV3 toEdge = Sub(onEdge, *p);
    const float g = LengthSq(toEdge);
    const float top = (2.0f * bzCollisionTolerance + r) * r;
    if (!(r * r <= g) || (strictTop ? !(g < top) : !(g <= top)) || !(g > 0.0f))
        return 0;
    row->key = BZ_KEY_RESTING_EDGE;
    WritePoint(row, onEdge, Scale(toEdge, 1.0f / std::sqrt(g)), worldToBody);
    return 1;
}

// The part of v across the axis.
bzV3 Across(const bzV3 &v, const bzV3 &axis, float axisSq)
{
    return AddScaled(v, axis, -Dot(v, axis) / axisSq);
}
} // namespace

int32_t bz_RestingSphereOnEdge(const bzV3 *p, const bzV3 *a, const bzV3 *d, float r,
                               bzCollisionContact *row, const bzM34 *worldToBody)
{
    return RestingOnEdge(p, a, d, r, true, row, worldToBody);
}

int32_t bz_RestingPointOnEdge(const bzV3 *p, const bzV3 *a, const bzV3 *d, float r,
                              bzCollisionContact *row, const bzM34 *worldToBody)
{
    return RestingOnEdge(p, a, d, r, false, row, worldToBody);
}

int32_t bz_SweptSphereAgainstCylinder(const bzV3 *p0, const bzV3 *p1, const bzV3 *x0,
                                      const bzV3 *axis, float r1, float r2, bzCollisionContact *row,
                                      const bzM34 *worldToBody)
{
    const float r = r1 + r2;
    const float tol = bzCollisionTolerance;
    const bzV3 &U = *axis;
    const float uu = LengthSq(U);
    if (!(uu > 0.0f))
        return 0;
    const bzV3 v = Sub(*p1, *p0);
    const bzV3 w = Sub(*p0, *x0);
    const bzV3 cross = Cross(v, U);
    const float crossSq = LengthSq(cross);
    if (!(crossSq >= kParallelCrossSq))
        return Dot(w, U) > 0.0f ? BZ_CYLINDER_PAST_END : BZ_CYLINDER_BEFORE_START;
    const float wc = Dot(w, cross);
    if (wc * wc > (tol + r) * (tol + r) * crossSq)
        return 0;
    // |across(w + t v)|^2 - r^2 = a t^2 + b t + c
    const bzV3 wa = Across(w, U, uu), va = Across(v, U, uu);
    const float qa = LengthSq(va), qb = 2.0f * Dot(wa, va), qc = LengthSq(wa) - r * r;
    if (qc < 0.0f)
        return Dot(w, U) / uu > 0.5f ? BZ_CYLINDER_PAST_END : BZ_CYLINDER_BEFORE_START;
    float roots[2];
    int32_t result = 0;
    float t = 0.0f;
    bool contact = false;
    if (bz_Quadratic_RootsInUnit(roots, qa, qb, qc) > 0)
    {
        t = roots[0];
        const float u = Dot(AddScaled(w, v, t), U) / uu;
        if (u > 1.0f)
            result = BZ_CYLINDER_PAST_END;
        else if (u < 0.0f)
            result = BZ_CYLINDER_BEFORE_START;
        else
            contact = true;
    }
    if (!contact)
    {
        const float end = qa + qb + qc;
        const float uEnd = Dot(Add(w, v), U) / uu;
        if (!(end >= 0.0f && end <= 2.0f * tol * r && uEnd >= 0.0f && uEnd <= 1.0f))
            return result;
        t = 1.0f;
    }
    const bzV3 centre = AddScaled(*p0, v, t);
    const float u = Dot(Sub(centre, *x0), U) / uu;
    const bzV3 onAxis = AddScaled(*x0, U, u);
    const bzV3 startDir = Unit(wa);
    const bzV3 endDir = Unit(Add(wa, va));
    const bzV3 normal = Unit(AddScaled(Scale(startDir, 1.0f - t), endDir, t));
    row->key = t;
    WritePoint(row, AddScaled(onAxis, Unit(Sub(centre, onAxis)), r1), normal, worldToBody);
    row->otherPoint = worldToBody ? Point(worldToBody, centre) : centre;
    return 1;
}

int32_t bz_SweptEdgeAgainstEdge(const bzV3 *a1, const bzV3 *e1, const bzV3 *m1, const bzV3 *a2,
                                const bzV3 *e2, const bzV3 *m2, int32_t side,
                                bzCollisionContact *row, const bzM34 *worldToBody)
{
    if (!(row->key > 1.0f))
        return 0;
    const bzV3 p1 = Add(*a1, *m1), p2 = Add(*a2, *m2);
    const bzV3 n = Cross(*e1, *e2);
    const float nLength = std::sqrt(LengthSq(n));
    if (!(nLength > kSmallDenominator))
        return 0;
    const bzV3 unit = Scale(n, 1.0f / nLength);
    const bzV3 between = Sub(p1, p2);
    const float separation = Dot(between, unit);
    if (!(std::fabs(separation) < bzCollisionTolerance))
        return 0;
    // The meeting parameters of the two lines.
    const float aa = Dot(*e1, *e1), ab = Dot(*e1, *e2), bb = Dot(*e2, *e2);
    const float det = aa * bb - ab * ab;
    if (!(std::fabs(det) > kSmallDenominator))
        return 0;
    const bzV3 w = Sub(p2, p1);
    const float we1 = Dot(w, *e1), we2 = Dot(w, *e2);
    const float s = (we1 * bb - ab * we2) / det;
    const float u = (ab * we1 - aa * we2) / det;
    if (!(s >= 0.0f && s <= 1.0f && u >= 0.0f && u <= 1.0f))
        return 0;
    bzV3 normal = unit;
    if (side < 0 || (side == 0 && separation < 0.0f))
        normal = Scale(unit, -1.0f);
    row->key = std::fabs(separation) < kClose ? BZ_KEY_RESTING_CLOSE : BZ_KEY_RESTING;
    WritePoint(row, AddScaled(p1, *e1, s), normal, worldToBody);
    row->otherPoint = AddScaled(p2, *e2, u);
    return 1;
}

int32_t bz_SweptSphereAgainstLine(const bzV3 *centre, float r, const bzV3 *a, const bzV3 *d,
                                  const bzV3 *motion, bzCollisionContact *row,
                                  const bzM34 *worldToBody)
{
    const float dd = LengthSq(*d);
    if (!(dd > 0.0f))
        return 0;
    const float reach = r + bzCollisionTolerance;
    const bzV3 w = Sub(*centre, *a);
    // The line sweeps a plane; the centre must lie within reach of it.
    const bzV3 sweptNormal = Cross(*d, *motion);
    const float sweptSq = LengthSq(sweptNormal);
    if (!(sweptSq >= kParallelCrossSq))
        return 0;
    const float ws = Dot(w, sweptNormal);
    if (ws * ws > reach * reach * sweptSq)
        return 0;
    // |across(w - t motion)|^2 - reach^2 = qa t^2 + qb t + qc
    const bzV3 wa = Across(w, *d, dd), ma = Across(*motion, *d, dd);
    const float qa = LengthSq(ma), qb = -2.0f * Dot(wa, ma), qc = LengthSq(wa) - reach * reach;
    float roots[2];
    const int32_t count = bz_Quadratic_RootsInUnit(roots, qa, qb, qc);
    if (count == 0)
        return 0;
    const float t = qc < 0.0f ? roots[count - 1] : roots[0];
    const bzV3 start = AddScaled(*a, *motion, t);
    const float u = Dot(Sub(*centre, start), *d) / dd;
    if (!(u >= 0.0f && u <= 1.0f))
        return 0;
    const bzV3 normal = Unit(AddScaled(Scale(Unit(wa), 1.0f - t), Unit(Sub(wa, ma)), t));
    row->key = t;
    WritePoint(row, AddScaled(start, *d, u), normal, worldToBody);
    return 1;
}
