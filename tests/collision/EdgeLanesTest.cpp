// The moving edge's side of a fixed edge's line and the pair collision's edge crossing work
// three coordinates side by side in float lanes. Both are checked here on random edges against
// the plain formulas, one coordinate at a time, written out in this file: the floats must be
// equal bit for bit (any two not-a-number values count as equal).
#include "collision/CollisionTolerance.h"
#include "collision/PairSweptTests.h"
#include "collision/SweptRoots.h"

#include "TestRandom.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

bool SameBits(float a, float b)
{
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) || (a != a && b != b);
}

bool SameBits(const bzV3 &a, const bzV3 &b)
{
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

// ---- The plain formulas. ----

bzV3 Add(const bzV3 &a, const bzV3 &b)
{
    return V(a.x + b.x, a.y + b.y, a.z + b.z);
}
bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}
bzV3 Scale(const bzV3 &a, float s)
{
    return V(a.x * s, a.y * s, a.z * s);
}
bzV3 AddScaled(const bzV3 &a, const bzV3 &b, float s)
{
    return V(a.x + s * b.x, a.y + s * b.y, a.z + s * b.z);
}
float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    return V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

constexpr float kZeroSq = 1.1920929e-7f;

bool InUnit(float x)
{
    return x >= 0.0f && x <= 1.0f;
}

bzV3 UnitOr(const bzV3 &v, const bzV3 &fallback)
{
    const float l2 = Dot(v, v);
    if (!(l2 > kZeroSq * kZeroSq))
        return fallback;
    return Scale(v, 1.0f / std::sqrt(l2));
}

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

int32_t Touch(bzPairTouch *out, float time, float fixedParam, float movingParam, const bzV3 &n)
{
    *out = {time, fixedParam, movingParam, n};
    return 1;
}

// The moving edge against the fixed one: the crossings of the lines in the step, each kept when
// it lies on both edges, else the two edges within the tolerance at the end of the step.
int32_t PlainEdgeCrossing(const bzV3 &q, const bzV3 &f, const bzV3 &p0, const bzV3 &v,
                          const bzV3 &e0, const bzV3 &w, float limit, bzPairTouch *out)
{
    const bzV3 n0 = Cross(e0, f), n1 = Cross(w, f);
    const bzV3 pq = Sub(p0, q);
    const float a = Dot(v, n1), b = Dot(pq, n1) + Dot(v, n0), c = Dot(pq, n0);
    auto atTheEnd = [&]()
    {
        if (!(limit > 1.0f))
            return 0;
        const bzV3 p1 = Add(p0, v), e1 = Add(e0, w);
        float s, r;
        if (!ClosestOnLines(p1, e1, q, f, &s, &r) || !InUnit(s) || !InUnit(r))
            return 0;
        const bzV3 between = Sub(AddScaled(p1, e1, s), AddScaled(q, f, r));
        const bzV3 nEnd = Cross(e1, f);
        if (!(Dot(nEnd, nEnd) > kZeroSq))
            return 0;
        bzV3 normal = UnitOr(nEnd, V(1, 0, 0));
        const float separation = Dot(between, normal);
        if (!(std::fabs(separation) < bzCollisionTolerance))
            return 0;
        if (separation < 0.0f || (separation == 0.0f && c < 0.0f))
            normal = Scale(normal, -1.0f);
        return Touch(out, BZ_PAIR_TIME_END_TOUCH, r, s, normal);
    };
    float kept[2];
    const int32_t count = bz_EdgeCrossingTimes(a, b, c, kept);
    if (count == 0)
        return atTheEnd();
    if (!(kept[0] < limit))
        return 0;
    for (int32_t i = 0; i < count; i++)
    {
        const float t = kept[i];
        if (!(t < limit) || !(t < 1.0f))
            break;
        const bzV3 nt = AddScaled(n0, n1, t);
        if (Dot(nt, nt) < kZeroSq)
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
        bzV3 normal = UnitOr(nt, V(1, 0, 0));
        if ((i == 0 && c < 0.0f) || (i != 0 && c >= 0.0f))
            normal = Scale(normal, -1.0f);
        return Touch(out, t, r, s, normal);
    }
    return atTheEnd();
}

// Random edges: a fixed edge and a moving one that mostly ends close to it (within a few
// tolerances, on either side), sometimes passes through it during the step, sometimes lies
// parallel to it or far off; now and then a coordinate is huge, zero or not finite.
struct Edges
{
    bzV3 q, f, p0, v, e0, w;
};

struct Random : TestRandom
{
    Random() : TestRandom(4711) {}

    Edges Next()
    {
        Edges g;
        g.q = Vec(1.0f);
        g.f = Vec(1.0f);
        // The moving edge at the end: through a point near the fixed edge.
        const bzV3 e1 = Chance(0.1f) ? Scale(g.f, Uniform(-2.0f, 2.0f)) : Vec(1.0f);
        const bzV3 across = Cross(e1, g.f);
        const float len = std::sqrt(Dot(across, across));
        const bzV3 n = len > 1e-6f ? Scale(across, 1.0f / len) : V(0, 1, 0);
        const float gap = bzCollisionTolerance * Uniform(-3.0f, 3.0f);
        const bzV3 meet = AddScaled(AddScaled(g.q, g.f, Uniform(-0.2f, 1.2f)), n, gap);
        const bzV3 p1 = AddScaled(meet, e1, -Uniform(-0.2f, 1.2f));
        // Its motion over the step: mostly from the far side of the fixed edge or from near it.
        g.v = Chance(0.5f) ? Scale(n, Uniform(-0.3f, 0.3f)) : Vec(0.3f);
        g.w = Chance(0.2f) ? V(0, 0, 0) : Vec(0.2f);
        g.p0 = Sub(p1, g.v);
        g.e0 = Sub(e1, g.w);
        if (Chance(0.05f))
            g.p0 = Vec(5.0f); // far off
        if (Chance(0.02f))
        {
            bzV3 *pick[6] = {&g.q, &g.f, &g.p0, &g.v, &g.e0, &g.w};
            const float odd[4] = {std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(), 3e38f, 0.0f};
            pick[int(Uniform(0.0f, 5.99f))]->v[int(Uniform(0.0f, 2.99f))] =
                odd[int(Uniform(0.0f, 3.99f))];
        }
        return g;
    }
};
} // namespace

// The side's normals, offset and coefficients are the plain products and sums bit for bit.
TEST(EdgeLanes, TheSideOfTheFixedLineEqualsThePlainFormulasBitForBit)
{
    Random rnd;
    for (int n = 0; n < 20000; n++)
    {
        const Edges g = rnd.Next();
        const bzEdgeSide got = bz_EdgeSide(g.q, g.f, g.p0, g.v, g.e0, g.w);
        const bzV3 n0 = Cross(g.e0, g.f), n1 = Cross(g.w, g.f), pq = Sub(g.p0, g.q);
        ASSERT_TRUE(SameBits(got.n0, n0) && SameBits(got.n1, n1) && SameBits(got.offset, pq)) << n;
        ASSERT_TRUE(SameBits(got.a, Dot(g.v, n1))) << n;
        ASSERT_TRUE(SameBits(got.b, Dot(pq, n1) + Dot(g.v, n0))) << n;
        ASSERT_TRUE(SameBits(got.c, Dot(pq, n0))) << n;
    }
}

// The edge crossing gives the plain test's answer, time, parameters and normal bit for bit, with
// the limit open, at 1 and cutting into the step; crossings during the step, touches at its end
// and misses all come up in numbers.
TEST(EdgeLanes, TheEdgeCrossingEqualsThePlainTestBitForBit)
{
    Random rnd;
    int32_t during = 0, atEnd = 0, none = 0;
    for (int n = 0; n < 40000; n++)
    {
        const Edges g = rnd.Next();
        const float limit = n % 5 == 0 ? 0.5f : (n % 7 == 0 ? 1.0f : 2.0f);
        bzPairTouch got{9, 9, 9, V(9, 9, 9)}, want = got;
        const int32_t r = bz_PairEdgeCrossing(g.q, g.f, g.p0, g.v, g.e0, g.w, limit, &got);
        ASSERT_EQ(r, PlainEdgeCrossing(g.q, g.f, g.p0, g.v, g.e0, g.w, limit, &want)) << n;
        ASSERT_TRUE(SameBits(got.time, want.time) && SameBits(got.fixedParam, want.fixedParam) &&
                    SameBits(got.movingParam, want.movingParam) &&
                    SameBits(got.normal, want.normal))
            << n;
        (r == 0 ? none : (want.time < 1.0f ? during : atEnd))++;
    }
    EXPECT_GT(during, 2000);
    EXPECT_GT(atEnd, 2000);
    EXPECT_GT(none, 2000);
}
