// The swept feature tests of the pair collision against sampled double-precision distances:
// random fixed and moving features, the first time the sampled distance comes down to the
// radius, and the time, parameters and normal each test gives.
#include "SweptCases.h"
#include "collision/CollisionTolerance.h"
#include "collision/PairSweptTests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
using namespace pairtest;
using namespace swepttest;

// The radius tests' answer for a case without a touch.
int32_t NearestCode(Outcome outcome)
{
    return outcome == Outcome::beforeStart ? BZ_PAIR_NEAREST_FIRST_END
           : outcome == Outcome::pastEnd   ? BZ_PAIR_NEAREST_SECOND_END
                                           : 0;
}

double Clamp01(double x)
{
    return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x);
}
// Distance of p from the segment a + s e, and the parameter of the nearest point.
double PointSegment(D3 p, D3 a, D3 e, double *param = nullptr)
{
    const double ee = Dot(e, e);
    const double s = ee > 0.0 ? Clamp01(Dot(p - a, e) / ee) : 0.0;
    if (param)
        *param = s;
    return Length(p - (a + e * s));
}
// Distance of two segments by a fine search over the first's parameter (the distance from a
// point of one segment to the other is convex in that parameter).
double SegmentSegment(D3 a, D3 e, D3 b, D3 f)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 80; i++)
    {
        const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
        if (PointSegment(a + e * m1, b, f) < PointSegment(a + e * m2, b, f))
            hi = m2;
        else
            lo = m1;
    }
    return PointSegment(a + e * (0.5 * (lo + hi)), b, f);
}

struct Random
{
    std::mt19937 rng{424242};
    std::uniform_real_distribution<float> u{-1.0f, 1.0f};
    bzV3 Vec(float s) { return V(s * u(rng), s * u(rng), s * u(rng)); }
};

// First time at which f(t) <= 0 (sampled at 400 times, then bisected), or 2 when none; f(0)
// <= 0 gives 0.
template <class F> double FirstTime(F f)
{
    const int n = 400;
    if (f(0.0) <= 0.0)
        return 0.0;
    for (int i = 1; i <= n; i++)
        if (f(double(i) / n) <= 0.0)
        {
            double lo = double(i - 1) / n, hi = double(i) / n;
            for (int k = 0; k < 30; k++)
            {
                const double mid = 0.5 * (lo + hi);
                (f(mid) <= 0.0 ? hi : lo) = mid;
            }
            return hi;
        }
    return 2.0;
}

// Within the radius at the touch's time: exactly for a touch within the step, within the
// tolerance band for one found at its end.
void ExpectAtRadius(double distance, double radius, float time, int trial)
{
    if (time < 1.0f)
        EXPECT_NEAR(distance, radius, 2e-3) << trial;
    else
    {
        EXPECT_GE(distance, radius - 1e-3) << trial;
        EXPECT_LE(distance, radius + bzCollisionTolerance + 1e-3) << trial;
    }
}

TEST(PairSweptTests, EdgesWithRadiiTouchWhenTheSegmentsFirstComeWithinTheRadius)
{
    Random r;
    int touches = 0;
    for (int trial = 0; trial < 400; trial++)
    {
        const bzV3 q = r.Vec(0.5f), f = r.Vec(1.5f);
        const bzV3 p0 = r.Vec(3.0f), e0 = r.Vec(1.5f);
        // The moving edge heads for the fixed one.
        const bzV3 v = V(-p0.x + 0.5f * r.u(r.rng), -p0.y + 0.5f * r.u(r.rng), -p0.z);
        const bzV3 w = r.Vec(0.3f);
        const float radius = 0.3f;
        auto dist = [&](double t)
        { return SegmentSegment(ToD(q), ToD(f), ToD(p0) + ToD(v) * t, ToD(e0) + ToD(w) * t); };
        const double oracle = FirstTime([&](double t) { return dist(t) - radius; });
        bzPairTouch touch;
        const int32_t got = bz_PairEdgesWithRadii(radius, q, f, p0, v, e0, w, 2.0f, &touch);
        if (got == 1)
        {
            touches++;
            const double t = touch.time < 1.0f ? touch.time : 1.0;
            ExpectAtRadius(dist(t), radius, touch.time, trial);
            // Not before the first approach; later only when that approach was at an end,
            // where the callers' end tests find it.
            EXPECT_GE(t, oracle - 2e-3) << trial;
            if (touch.time < 1.0f && t > oracle + 2e-3)
            {
                const D3 po = ToD(p0) + ToD(v) * oracle, eo = ToD(e0) + ToD(w) * oracle;
                const double dMoving = PointSegment(po, ToD(q), ToD(f));
                const double dEndMoving = PointSegment(po + eo * 1.0, ToD(q), ToD(f));
                const double dStartFixed = PointSegment(ToD(q), po, eo);
                const double dEndFixed = PointSegment(ToD(q) + ToD(f), po, eo);
                const double nearestEnd =
                    std::min(std::min(dMoving, dEndMoving), std::min(dStartFixed, dEndFixed));
                EXPECT_NEAR(nearestEnd, radius, 5e-3) << trial;
            }
            // The normal points from the fixed edge to the moving one at the touch.
            const D3 onFixed = ToD(q) + ToD(f) * touch.fixedParam;
            const D3 onMoving = ToD(p0) + ToD(v) * t + (ToD(e0) + ToD(w) * t) * touch.movingParam;
            ExpectAtRadius(Dot(onMoving - onFixed, ToD(touch.normal)), radius, touch.time, trial);
        }
        else if (oracle < 0.999 && oracle > 0.0)
        {
            // No side touch: the first approach lies at an end of either edge (or they start
            // within reach), which the callers' end tests handle.
            EXPECT_NE(got, 0) << trial;
        }
    }
    EXPECT_GT(touches, 40);
}

TEST(PairSweptTests, ASphereMeetsAMovingSegmentWhereTheSampledDistanceSays)
{
    Random r;
    int touches = 0;
    for (int trial = 0; trial < 400; trial++)
    {
        const bzV3 m = r.Vec(0.5f);
        const bzV3 a = r.Vec(3.0f), e = r.Vec(1.5f), w = r.Vec(0.3f);
        const bzV3 u = V(-a.x + 0.5f * r.u(r.rng), -a.y, -a.z + 0.5f * r.u(r.rng));
        const float radius = 0.4f;
        auto dist = [&](double t, double *s)
        { return PointSegment(ToD(m), ToD(a) + ToD(u) * t, ToD(e) + ToD(w) * t, s); };
        bzPairTouch touch;
        const int32_t got = bz_PairSphereMovingSegment(radius, m, a, u, e, w, &touch);
        const double oracle = FirstTime([&](double t) { return dist(t, nullptr) - radius; });
        if (got == 1)
        {
            touches++;
            const double t = touch.time < 1.0f ? touch.time : 1.0;
            double s;
            ExpectAtRadius(dist(t, &s), radius, touch.time, trial);
            EXPECT_NEAR(s, touch.movingParam, 1e-2) << trial;
            if (touch.time < 1.0f)
            {
                EXPECT_NEAR(touch.time, oracle, 2e-3) << trial;
            }
        }
        else if (got == 0 && oracle > 0.0 && oracle < 0.999)
        {
            double s;
            dist(oracle, &s);
            // Missed only at an end of the segment.
            EXPECT_TRUE(s < 0.01 || s > 0.99) << trial << " s " << s;
        }
    }
    EXPECT_GT(touches, 40);
}

TEST(PairSweptTests, APointMeetsAMovingAxisWithItsRadiusGrownByTheTolerance)
{
    Random r;
    int touches = 0;
    const double tol = bzCollisionTolerance;
    for (int trial = 0; trial < 400; trial++)
    {
        const bzV3 p = r.Vec(0.5f);
        const bzV3 a = r.Vec(3.0f), e = r.Vec(1.5f), w = r.Vec(0.3f);
        const bzV3 v = V(-a.x + 0.5f * r.u(r.rng), -a.y, -a.z);
        const float radius = 0.35f;
        auto gap = [&](double t) {
            return PointSegment(ToD(p), ToD(a) + ToD(v) * t, ToD(e) + ToD(w) * t) -
                   (radius + tol * t);
        };
        bzPairTouch touch;
        const int32_t got = bz_PairPointMovingAxis(radius, p, a, v, e, w, &touch);
        const double oracle = FirstTime(gap);
        if (got == 1)
        {
            touches++;
            if (touch.time < 1.0f && touch.movingParam > 0.0f && touch.movingParam < 1.0f)
            {
                EXPECT_NEAR(touch.time, oracle, 2e-3) << trial;
                EXPECT_NEAR(gap(touch.time), 0.0, 2e-3) << trial;
            }
        }
        else if (oracle > 0.0 && oracle < 0.99)
            ADD_FAILURE() << "missed touch at " << oracle << " trial " << trial;
    }
    EXPECT_GT(touches, 40);
}

// The shared cases with the sphere moving past the point at the origin.
TEST(PairSweptTests, APointAgainstAMovingSphereAtTheStartWithinTheStepAndAtItsEnd)
{
    const bzV3 p = V(0, 0, 0);
    ForEachCase(kPointSphereCases,
                [&](const PointSphereCase &c)
                {
                    bzPairTouch touch{};
                    touch.time = 77.0f;
                    const bzV3 centre = V(-c.point.x, -c.point.y, -c.point.z);
                    const bzV3 motion = V(-c.motion.x, -c.motion.y, -c.motion.z);
                    ASSERT_EQ(bz_PairPointMovingSphere(1.0f, p, centre, motion, &touch), c.touches);
                    if (!c.touches)
                    {
                        EXPECT_EQ(touch.time, 77.0f);
                        return;
                    }
                    if (c.time > 1.0f)
                        EXPECT_EQ(touch.time, BZ_PAIR_TIME_END_TOUCH);
                    else
                        EXPECT_NEAR(touch.time, c.time, 1e-6f);
                    // From the point towards the sphere's centre.
                    ExpectV3(touch.normal, c.normal, 1e-6f);
                });
}

// The shared cases of a fixed point against a moving axis.
TEST(PairSweptTests, APointAgainstAMovingAxisOnItsSideAndAtItsEndSpheres)
{
    ForEachCase(kPointAxisCases,
                [&](const PointAxisCase &c)
                {
                    bzPairTouch touch{};
                    ASSERT_EQ(bz_PairPointMovingAxis(kAxisRadius, c.point, kAxisStart, kAxisMotion,
                                                     kAxisVector, kAxisTurn, &touch),
                              1);
                    EXPECT_NEAR(touch.time, c.time, 2e-4f);
                    ExpectV3(touch.normal, c.normal, 2e-3f);
                    EXPECT_NEAR(touch.movingParam, c.param, 1e-4f);
                });
}

// The shared cases of a fixed sphere's centre against a moving segment.
TEST(PairSweptTests, ASphereAgainstAMovingSegmentOnItsSideAndBeyondItsEnds)
{
    const bzV3 m = V(0, 0, 0);
    ForEachCase(kSphereSegmentCases,
                [&](const SphereSegmentCase &c)
                {
                    bzPairTouch touch{};
                    const int32_t got = bz_PairSphereMovingSegment(
                        kSegmentRadius, m, c.start, kSegmentMotion, c.vector, kSegmentTurn, &touch);
                    if (!ExpectOutcome(got, c.outcome, NearestCode(c.outcome)))
                        return;
                    EXPECT_NEAR(touch.time, 0.5f, 1e-4f);
                    ExpectV3(touch.normal, V(0, 1, 0));
                    EXPECT_NEAR(touch.movingParam, c.param, 1e-4f);
                });
}

// The shared cases of two edges with radii.
TEST(PairSweptTests, EdgesWithRadiiOnTheirSidesParallelAndBeyondTheEnds)
{
    ForEachCase(kEdgesWithRadiiCases,
                [&](const EdgesWithRadiiCase &c)
                {
                    bzPairTouch touch{};
                    const int32_t got = bz_PairEdgesWithRadii(2.0f * kEdgeRadius, kFixedEdgeStart,
                                                              kFixedEdge, c.start, c.velocity,
                                                              c.vector, kEdgeTurn, 2.0f, &touch);
                    if (!ExpectOutcome(got, c.outcome, NearestCode(c.outcome)))
                        return;
                    EXPECT_NEAR(touch.time, c.time, 1e-4f);
                    ExpectV3(touch.normal, V(0, 1, 0));
                    EXPECT_NEAR(touch.fixedParam, 0.5f, 1e-4f);
                    EXPECT_NEAR(touch.movingParam, 0.5f, 1e-4f);
                });
}

// The shared cases of a moving edge crossing the fixed one.
TEST(PairSweptTests, AnEdgeCrossingIsFoundAtItsTimeWithTheNormalToItsStartSide)
{
    ForEachCase(kEdgeCrossingCases,
                [&](const EdgeCrossingCase &c)
                {
                    bzPairTouch touch{};
                    const int32_t got =
                        bz_PairEdgeCrossing(kFixedEdgeStart, kFixedEdge, c.start, c.velocity,
                                            c.vector, kEdgeTurn, c.limit, &touch);
                    if (c.crossing == Crossing::none)
                    {
                        EXPECT_EQ(got, 0);
                        return;
                    }
                    ASSERT_EQ(got, 1);
                    ExpectV3(touch.normal, V(0, 1, 0), 1e-6f);
                    if (c.crossing == Crossing::endTouch)
                    {
                        EXPECT_EQ(touch.time, BZ_PAIR_TIME_END_TOUCH);
                        return;
                    }
                    EXPECT_NEAR(touch.time, c.time, 1e-6f);
                    EXPECT_NEAR(touch.fixedParam, 0.5f, 1e-6f);
                    EXPECT_NEAR(touch.movingParam, 0.5f, 1e-6f);
                });
}
} // namespace
