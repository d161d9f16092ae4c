// Swept feature tests of the object pair collision.
#include "collision/PairSweptTests.h"

#include "collision/CollisionTolerance.h"
#include "collision/EdgeQuartic.h"
#include "collision/FloatLanes.h"
#include "collision/PairMaths.h"
#include "collision/SweptRoots.h"
#include "collision/UnitRoots.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kZeroSq = 1.1920929e-7f;
constexpr float kEndSlack = 0.001f;
constexpr float kSphereSegmentEndTime = 1.01f;

bzV3 UnitOr(const bzV3 &v, const bzV3 &fallback)
{
    const float l2 = LengthSq(v);
    if (!(l2 > kZeroSq * kZeroSq))
        return fallback;
    return Scale(v, 1.0f / std::sqrt(l2));
}

// The parameters of the closest points of the lines p + s e and q + r f; 0 when parallel.
bool ClosestOnLines(const bzV3 &p, const bzV3 &e, const bzV3 &q, const bzV3 &f, float *s, float *r)
{
    const bzV3 w0 = Sub(p, q);
    const float a = Dot(e, e), b = Dot(e, f), c = Dot(f, f);
    const float d = Dot(e, w0), g = Dot(f, w0);
    const float den = a * c - b * b;
    if (!(std::fabs(den) > kZeroSq * (a * c > 1.0f ? a * c : 1.0f)))
        return false;
    *s = (b * g - c * d) / den;
    *r = (a * g - b * d) / den;
    return true;
}

bool InUnit(float x)
{
    return x >= 0.0f && x <= 1.0f;
}

float Horner(const float *k, float t)
{
    return (((k[0] * t + k[1]) * t + k[2]) * t + k[3]) * t + k[4];
}

// Writes the touch found; 1.
int32_t Touch(bzPairTouch *out, float time, float fixedParam, float movingParam, const bzV3 &normal)
{
    out->time = time;
    out->fixedParam = fixedParam;
    out->movingParam = movingParam;
    out->normal = normal;
    return 1;
}
} // namespace

int32_t bz_PairPointMovingSphere(float radius, const bzV3 &p, const bzV3 &c0, const bzV3 &d,
                                 bzPairTouch *out)
{
    const float tol = bzCollisionTolerance;
    const bzV3 w0 = Sub(p, c0);
    const float g0 = LengthSq(w0);
    const float r2 = radius * radius;
    float t = -1.0f;
    if (!std::isfinite(g0) || !std::isfinite(LengthSq(d)))
        return 0;
    if (g0 < (tol + radius) * radius)
    {
        if (g0 < r2)
            return 0;
        t = 0.0f;
    }
    else
    {
        // |w0 - t d|^2 = R^2
        const float a = LengthSq(d), b = -2.0f * Dot(w0, d), c = g0 - r2;
        if (a > kZeroSq * kZeroSq)
        {
            const float disc = b * b - 4.0f * a * c;
            if (disc >= 0.0f)
            {
                const float root = (-b - std::sqrt(disc)) / (2.0f * a);
                if (root >= 0.0f && root < 1.0f)
                    t = root;
            }
        }
        if (t < 0.0f)
        {
            const float g1 = LengthSq(Sub(w0, d));
            if (!(g1 >= r2 && g1 <= (tol + radius) * radius))
                return 0;
            t = BZ_PAIR_TIME_END_TOUCH;
        }
    }
    const float at = t > 1.0f ? 1.0f : t;
    const bzV3 centre = AddScaled(c0, d, at);
    return Touch(out, t, 0.0f, 0.0f, UnitOr(Sub(centre, p), V(1.0f, 0.0f, 0.0f)));
}

int32_t bz_PairPointMovingAxis(float radius, const bzV3 &p, const bzV3 &a, const bzV3 &v,
                               const bzV3 &e, const bzV3 &w, bzPairTouch *out)
{
    const float tol = bzCollisionTolerance;
    const float ee = Dot(e, e);
    if (!(ee > kZeroSq))
        return bz_PairPointMovingSphere(radius, p, a, v, out);
    const bzV3 d = Sub(p, a);
    float k[5];
    bz_PointAxisQuartic(d, v, e, w, radius, tol, k);
    float roots[4];
    const int32_t n = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
    const float q0 = k[4];
    auto endSphere = [&](bool second)
    {
        const bzV3 c0 = second ? Add(a, e) : a;
        const bzV3 motion = second ? Add(v, w) : v;
        if (!bz_PairPointMovingSphere(radius, p, c0, motion, out))
            return 0;
        out->movingParam = second ? 1.0f : 0.0f;
        return 1;
    };
    if (q0 < 0.0f && n < 2)
        return endSphere(Dot(d, e) / ee > 0.0f);
    float kept[4];
    const int32_t count = bz_EnteringRoots(roots, n, q0 < 0.0f, kept);
    for (int32_t i = 0; i < count; i++)
    {
        const float t = kept[i];
        const bzV3 at = AddScaled(a, v, t), et = AddScaled(e, w, t);
        const float etl = LengthSq(et);
        if (!(etl > kZeroSq))
            continue;
        const float u = Dot(et, Sub(p, at)) / etl;
        if (u < 0.0f || u > 1.0f)
            return endSphere(u > 1.0f);
        if (!(t < 1.0f))
            continue;
        return Touch(out, t, 0.0f, u, UnitOr(Sub(AddScaled(at, et, u), p), V(1.0f, 0.0f, 0.0f)));
    }
    return 0;
}

int32_t bz_PairSphereMovingSegment(float radius, const bzV3 &m, const bzV3 &a, const bzV3 &u,
                                   const bzV3 &e, const bzV3 &w, bzPairTouch *out)
{
    const float tol = bzCollisionTolerance;
    const float ee = Dot(e, e);
    if (!(ee > kZeroSq))
        return 0;
    const bzV3 d = Sub(m, a);
    float k[5];
    bz_PointAxisQuartic(d, u, e, w, radius, 0.0f, k);
    float roots[4];
    const int32_t n = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
    const float q0 = k[4];
    if (q0 < 0.0f && n < 2)
    {
        const float s = Dot(d, e) / ee;
        return s < 0.0f ? BZ_PAIR_NEAREST_FIRST_END : (s > 1.0f ? BZ_PAIR_NEAREST_SECOND_END : 0);
    }
    float kept[4];
    const int32_t count = bz_EnteringRoots(roots, n, q0 < 0.0f, kept);
    int32_t result = 0;
    auto touch = [&](float t, float time)
    {
        const bzV3 at = AddScaled(a, u, t), et = AddScaled(e, w, t);
        const float etl = LengthSq(et);
        if (!(etl > kZeroSq))
            return 0;
        const float s = Dot(et, Sub(m, at)) / etl;
        if (s < 0.0f)
        {
            result = BZ_PAIR_NEAREST_FIRST_END;
            return 0;
        }
        if (s > 1.0f)
        {
            result = BZ_PAIR_NEAREST_SECOND_END;
            return 0;
        }
        return Touch(out, time, 0.0f, s, UnitOr(Sub(AddScaled(at, et, s), m), V(1.0f, 0.0f, 0.0f)));
    };
    for (int32_t i = 0; i < count; i++)
        if (kept[i] < 1.0f && touch(kept[i], kept[i]))
            return 1;
    const float q1 = Horner(k, 1.0f);
    const bzV3 e1 = Add(e, w);
    if (q1 >= 0.0f && q1 < 2.0f * tol * radius * LengthSq(e1))
    {
        const float s1 = Dot(e1, Sub(m, Add(a, u))) / LengthSq(e1);
        if (s1 >= 0.0f && s1 < 1.0f && touch(1.0f, kSphereSegmentEndTime))
            return 1;
    }
    return result;
}

int32_t bz_PairEdgesWithRadii(float radius, const bzV3 &q, const bzV3 &f, const bzV3 &p0,
                              const bzV3 &v, const bzV3 &e0, const bzV3 &w, float limit,
                              bzPairTouch *out)
{
    const float tol = bzCollisionTolerance;
    const bzV3 n0 = Cross(e0, f), n1 = Cross(w, f);
    // Edges that stay parallel have no closest points of their own: the ends decide.
    if (LengthSq(n0) < kZeroSq && LengthSq(n1) < kZeroSq)
        return BZ_PAIR_NEAREST_FIRST_END;
    float roots[4], q1 = 0.0f;
    const int32_t found = bz_EdgeEdgeDistanceQuartic(radius, &q, &f, &p0, &v, &e0, &w, roots, &q1);
    int32_t result = 0;
    float kept[4];
    int32_t count = 0;
    if (found < 0)
    {
        result = BZ_PAIR_NEAREST_FIRST_END;
        const int32_t n = -1 - found;
        if (n >= 2)
            kept[count++] = roots[1];
    }
    else
        for (int32_t i = 0; i < found; i += 2)
            kept[count++] = roots[i];

    auto touchAt = [&](float t, float time, float lo, float hi)
    {
        const bzV3 nt = AddScaled(n0, n1, t);
        if (!(LengthSq(nt) >= kZeroSq))
            return 0;
        const bzV3 pt = AddScaled(p0, v, t), et = AddScaled(e0, w, t);
        float s, r;
        if (!ClosestOnLines(pt, et, q, f, &s, &r))
            return 0;
        if (!(s >= lo && s <= hi && r >= lo && r <= hi))
        {
            result = BZ_PAIR_NEAREST_FIRST_END;
            return 0;
        }
        s = s < 0.0f ? 0.0f : (s > 1.0f ? 1.0f : s);
        r = r < 0.0f ? 0.0f : (r > 1.0f ? 1.0f : r);
        bzV3 normal = UnitOr(nt, V(1.0f, 0.0f, 0.0f));
        const bzV3 between = Sub(AddScaled(pt, et, s), AddScaled(q, f, r));
        if (Dot(between, normal) < 0.0f)
            normal = Scale(normal, -1.0f);
        return Touch(out, time, r, s, normal);
    };
    for (int32_t i = 0; i < count; i++)
    {
        if (!(kept[i] < limit) || !(kept[i] < 1.0f))
            break;
        if (touchAt(kept[i], kept[i], -kEndSlack, 1.0f + kEndSlack))
            return 1;
    }
    if (limit > 1.0f)
    {
        const bzV3 n1End = Add(n0, n1);
        if (q1 >= 0.0f && q1 <= 2.0f * LengthSq(n1End) * radius * tol)
        {
            const int32_t before = result;
            if (touchAt(1.0f, BZ_PAIR_TIME_END_TOUCH, 0.0f, 0.99999994f))
                return 1;
            result = before;
        }
    }
    return result;
}

namespace
{
// The two edges at their end positions, once the closest points of their lines (s on the moving
// edge, r on the fixed one) lie on both: a touch when they lie within the tolerance. c0 is the
// side at the start (0 on the line: the normal then points to its negative side).
[[gnu::noinline]] int32_t TouchAtTheEnd(const bzV3 &q, const bzV3 &f, const bzV3 &p1,
                                        const bzV3 &e1, float s, float r, float c0,
                                        bzPairTouch *out)
{
    const bzV3 between = Sub(AddScaled(p1, e1, s), AddScaled(q, f, r));
    const bzV3 nEnd = Cross(e1, f);
    if (!(LengthSq(nEnd) > kZeroSq))
        return 0;
    bzV3 normal = UnitOr(nEnd, V(1.0f, 0.0f, 0.0f));
    const float separation = Dot(between, normal);
    if (!(std::fabs(separation) < bzCollisionTolerance))
        return 0;
    if (separation < 0.0f || (separation == 0.0f && c0 < 0.0f))
        normal = Scale(normal, -1.0f);
    return Touch(out, BZ_PAIR_TIME_END_TOUCH, r, s, normal);
}

// The two edges at their end positions within the tolerance (only with an open limit). The
// closest points of the lines come from ClosestOnLines' products, formed side by side; most
// pairs end here with a point off one of the edges.
inline int32_t EdgesAtTheEnd(const bzV3 &q, const bzV3 &f, const bzV3 &p0, const bzV3 &v,
                             const bzV3 &e0, const bzV3 &w, float limit, float c0, bzPairTouch *out)
{
    if (!(limit > 1.0f))
        return 0;
    const bzLanes fl = bz_Lanes(f);
    const bzLanes p1l = bz_Lanes(p0) + bz_Lanes(v), e1l = bz_Lanes(e0) + bz_Lanes(w);
    const bzLanes w0l = p1l - bz_Lanes(q);
    // Dot(e1, e1), Dot(e1, f), Dot(f, f), Dot(e1, w0); then Dot(f, w0).
    const bzLanes ee = bz_SumsOfFour(e1l * e1l, e1l * fl, fl * fl, e1l * w0l);
    const bzLanes fw = fl * w0l;
    const float ea = ee[0], eb = ee[1], ec = ee[2], ed = ee[3];
    const float eg = fw[0] + fw[1] + fw[2];
    const float den = ea * ec - eb * eb;
    if (!(std::fabs(den) > kZeroSq * (ea * ec > 1.0f ? ea * ec : 1.0f)))
        return 0;
    const float s = (eb * eg - ec * ed) / den;
    if (!InUnit(s))
        return 0;
    const float r = (ea * eg - eb * ed) / den;
    if (!InUnit(r))
        return 0;
    return TouchAtTheEnd(q, f, bz_LanesV3(p1l), bz_LanesV3(e1l), s, r, c0, out);
}

// The crossings of the lines within the step (count of them in kept, the first first; c0 the side
// at the start): the first that lies on both edges before the limit, else the edges at the end of
// the step.
[[gnu::noinline]] int32_t CrossingInTheStep(const bzV3 &q, const bzV3 &f, const bzV3 &p0,
                                            const bzV3 &v, const bzV3 &e0, const bzV3 &w,
                                            float limit, float c0, const float *kept, int32_t count,
                                            bzPairTouch *out)
{
    // The same n0 and n1 as bz_EdgeSide's, formed again here rather than kept by every call.
    const bzV3 n0 = Cross(e0, f), n1 = Cross(w, f);
    if (!(kept[0] < limit))
        return 0;
    for (int32_t i = 0; i < count; i++)
    {
        const float t = kept[i];
        if (!(t < limit) || !(t < 1.0f))
            break;
        const bzV3 nt = AddScaled(n0, n1, t);
        if (LengthSq(nt) < kZeroSq)
            continue;
        const bzV3 pt = AddScaled(p0, v, t), et = AddScaled(e0, w, t);
        const bzV3 across = Cross(f, nt);
        const float den = Dot(et, across);
        if (!(std::fabs(den) > kZeroSq * kZeroSq))
            continue;
        const float s = Dot(Sub(q, pt), across) / den;
        if (!InUnit(s))
            continue;
        int32_t axis = 0;
        for (int32_t k = 1; k < 3; k++)
            if (std::fabs(f.v[k]) > std::fabs(f.v[axis]))
                axis = k;
        if (!(std::fabs(f.v[axis]) > 0.0f))
            continue;
        const float r = (AddScaled(pt, et, s).v[axis] - q.v[axis]) / f.v[axis];
        if (!InUnit(r))
            continue;
        bzV3 normal = UnitOr(nt, V(1.0f, 0.0f, 0.0f));
        // The normal points to the side the moving edge came from: the side of its start for
        // the first crossing, the other side for a crossing back.
        const bool firstCrossing = i == 0;
        if ((firstCrossing && c0 < 0.0f) || (!firstCrossing && c0 >= 0.0f))
            normal = Scale(normal, -1.0f);
        return Touch(out, t, r, s, normal);
    }
    return EdgesAtTheEnd(q, f, p0, v, e0, w, limit, c0, out);
}
} // namespace

int32_t bz_PairEdgeCrossing(const bzV3 &q, const bzV3 &f, const bzV3 &p0, const bzV3 &v,
                            const bzV3 &e0, const bzV3 &w, float limit, bzPairTouch *out)
{
    const bzEdgeSide side = bz_EdgeSide(q, f, p0, v, e0, w);
    float kept[2];
    const int32_t count = bz_EdgeCrossingTimes(side.a, side.b, side.c, kept);
    if (count != 0)
        return CrossingInTheStep(q, f, p0, v, e0, w, limit, side.c, kept, count, out);
    return EdgesAtTheEnd(q, f, p0, v, e0, w, limit, side.c, out);
}
