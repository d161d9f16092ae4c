// The swept contact tests of rounded features and edges, in the world collision's frames (the
// world's feature fixed, the body's moving; normals from the world towards the body), against
// hand-worked cases and a sampled distance function.
#include "SweptCases.h"
#include "collision/CollisionTolerance.h"
#include "collision/SweptContacts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
using namespace pairtest;
using namespace swepttest;

const bzSweptFrames kWorld{nullptr, nullptr, nullptr};

// bz_SweptSphereSegment's answer for a case without a touch.
int32_t SegmentCode(Outcome outcome)
{
    return outcome == Outcome::beforeStart ? BZ_SWEPT_SEGMENT_BEFORE_START
           : outcome == Outcome::pastEnd   ? BZ_SWEPT_SEGMENT_PAST_END
                                           : 0;
}

TEST(SweptPointSphere, InsideShellTouchAndEndOfStep)
{
    const bzV3 centre = V(0, 0, 0);
    ForEachCase(kPointSphereCases,
                [&](const PointSphereCase &c)
                {
                    bzCollisionContact contact{};
                    contact.key = 77.0f;
                    EXPECT_EQ(
                        bz_SweptPointSphere(&contact, &c.point, &c.motion, &centre, 1.0f, &kWorld),
                        c.touches)
                        << c.name;
                    if (c.touches)
                    {
                        EXPECT_NEAR(contact.key, c.time, 1e-5f) << c.name;
                        ExpectV3(contact.normal, c.normal); // from the point into the sphere
                    }
                    else
                        EXPECT_EQ(contact.key, 77.0f) << c.name;
                });
}

struct Sunk
{
    std::vector<bzCollisionContact> contacts;
    static int32_t Take(void *self, const bzCollisionContact *c, int32_t count)
    {
        static_cast<Sunk *>(self)->contacts.push_back(*c);
        return count + 1;
    }
};

// The axis of the shared cases against fixed points. Points beside the axis ends are handed to
// the end spheres.
TEST(SweptPointsTicTac, SideAndEndSpheres)
{
    DefaultTolerance tolerance;
    const bzV3 a = kAxisStart, v = kAxisMotion, e = kAxisVector, w = kAxisTurn;
    for (const PointAxisCase &c : kPointAxisCases)
    {
        Sunk sunk;
        const int32_t count = bz_SweptPointsTicTac(0.0f, kAxisRadius, &c.point, nullptr, 1, &a, &v,
                                                   &e, &w, &kWorld, Sunk::Take, &sunk, 0);
        ASSERT_EQ(count, 1) << c.name;
        EXPECT_NEAR(sunk.contacts[0].key, c.time, 2e-4f) << c.name;
        ExpectV3(sunk.contacts[0].normal, c.normal, 2e-3f);
    }
    // Skipped points and points out of reach give nothing.
    const bzV3 points[2] = {V(1, -1.5f, 0), V(1, -5, 0)};
    const uint8_t skip[2] = {1, 0};
    Sunk sunk;
    EXPECT_EQ(bz_SweptPointsTicTac(0.0f, 1.0f, points, skip, 2, &a, &v, &e, &w, &kWorld, Sunk::Take,
                                   &sunk, 3),
              3);
}

TEST(SweptSphereSegment, SideAndBeyondTheEnds)
{
    const bzV3 m = V(0, 0, 0), u = kSegmentMotion, w = kSegmentTurn;
    ForEachCase(kSphereSegmentCases,
                [&](const SphereSegmentCase &c)
                {
                    bzCollisionContact contact{};
                    const int32_t got =
                        bz_SweptSphereSegment(0.5f * kSegmentRadius, 0.5f * kSegmentRadius, &m,
                                              &c.start, &u, &c.vector, &w, &contact, &kWorld);
                    if (!ExpectOutcome(got, c.outcome, SegmentCode(c.outcome)))
                        return;
                    EXPECT_NEAR(contact.key, 0.5f, 1e-4f);
                    ExpectV3(contact.normal, V(0, 1, 0));
                });
}

// The fixed edge along x at the origin; a moving edge along z coming down onto it.
TEST(SweptPointSegmentGrown, GrownSideAndTheEndSpheresTriedAtOnce)
{
    DefaultTolerance tolerance;
    const bzV3 m = V(0, 0, 0), u = V(0, -2, 0), w = V(0, 0, 0), e = V(2, 0, 0);
    bzCollisionContact contact{};
    // The side: 2 - 2t = 1 + 0.01t at t = 1 / 2.01.
    const bzV3 a = V(-1, 2, 0);
    ASSERT_EQ(bz_SweptPointSegmentGrown(0.5f, 0.5f, &m, &a, &u, &e, &w, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.4975124f, 1e-4f);
    ExpectV3(contact.normal, V(0, 1, 0));
    // Segments meeting the reach only beyond an end: that end, moving by (0,-2,0), as a sphere
    // of radius 1; 0.25 + (2 - 2t)^2 = 1 at t = 1 - sqrt(0.75) / 2.
    struct Case
    {
        const char *name;
        bzV3 start;
        int32_t inUse; // what the test in use answers
    };
    const Case cases[] = {
        {"before the start", V(0.5f, 2, 0), BZ_SWEPT_SEGMENT_BEFORE_START},
        {"past the end", V(-2.5f, 2, 0), BZ_SWEPT_SEGMENT_PAST_END},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact plain{};
        EXPECT_EQ(bz_SweptSphereSegment(0.5f, 0.5f, &m, &c.start, &u, &e, &w, &plain, &kWorld),
                  c.inUse)
            << c.name;
        contact = {};
        ASSERT_EQ(
            bz_SweptPointSegmentGrown(0.5f, 0.5f, &m, &c.start, &u, &e, &w, &contact, &kWorld), 1)
            << c.name;
        EXPECT_NEAR(contact.key, 0.5669873f, 1e-4f) << c.name;
    }
    // Out of reach, and a segment of no length.
    const bzV3 far = V(-1, 5, 0), zero = V(0, 0, 0);
    EXPECT_EQ(bz_SweptPointSegmentGrown(0.5f, 0.5f, &m, &far, &u, &e, &w, &contact, &kWorld), 0);
    EXPECT_EQ(bz_SweptPointSegmentGrown(0.5f, 0.5f, &m, &a, &u, &zero, &zero, &contact, &kWorld),
              0);
}

TEST(SweptEdgeCrossing, CrossingLaterThanTheRecordAndParallelEdges)
{
    const bzV3 q = kFixedEdgeStart, f = kFixedEdge, w = kEdgeTurn;
    ForEachCase(kEdgeCrossingCases,
                [&](const EdgeCrossingCase &c)
                {
                    bzCollisionContact contact{};
                    contact.key = c.limit;
                    const int32_t got = bz_SweptEdgeCrossing(&q, &f, &c.start, &c.velocity,
                                                             &c.vector, &w, &contact, &kWorld);
                    if (c.crossing == Crossing::none)
                    {
                        EXPECT_EQ(got, 0);
                        EXPECT_EQ(contact.key, c.limit); // the record untouched
                        return;
                    }
                    ASSERT_EQ(got, 1);
                    ExpectV3(contact.normal,
                             V(0, 1, 0)); // from the fixed edge towards the moving one
                    if (c.crossing == Crossing::endTouch)
                    {
                        // The touch at the end of the step within the tolerance has the key 1.
                        EXPECT_EQ(contact.key, 1.0f);
                        return;
                    }
                    EXPECT_NEAR(contact.key, c.time, 1e-5f);
                    ExpectV3(contact.point, V(0, 0, 0));
                    ExpectV3(contact.otherPoint, V(0, 0, 0));
                });
}

// Edges that touch at the start of the step have no side they come from: whichever way the
// moving edge then goes, no contact may push it back the way it goes (a crossing at time 0
// whose sense rounding would decide), and one that ends within the tolerance is pushed away
// from the fixed edge.
TEST(SweptEdgeCrossing, EdgesTouchingAtTheStartAreJudgedAtTheEnd)
{
    DefaultTolerance tolerance;
    const bzV3 q = V(-1, 0, 0), f = V(2, 0, 0);
    const bzV3 p0 = V(0, 0, -1), e0 = V(0, 0, 2), w = V(0, 0, 0);
    struct Case
    {
        float vy;
        float side; // where the moving edge ends: +1 above, -1 below
    };
    for (const Case c :
         {Case{0.001f, 1.0f}, Case{0.5f, 1.0f}, Case{-0.001f, -1.0f}, Case{-0.5f, -1.0f}})
    {
        SCOPED_TRACE(c.vy);
        const bzV3 v = V(0, c.vy, 0);
        bzCollisionContact contact{};
        contact.key = 2.0f;
        const int32_t r = bz_SweptEdgeCrossing(&q, &f, &p0, &v, &e0, &w, &contact, &kWorld);
        if (r == 1)
        {
            // From the fixed edge towards where the moving edge ends.
            EXPECT_GT(contact.normal.y * c.side, 0.9f);
            EXPECT_EQ(contact.key, 1.0f);
        }
        // A move that ends beyond the tolerance leaves nothing to touch.
        if (std::fabs(c.vy) > 0.1f)
        {
            EXPECT_NE(r, 1);
        }
    }
}

TEST(SweptEdgeEdge, RadiiParallelAndBeyondTheEnds)
{
    const bzV3 q = kFixedEdgeStart, f = kFixedEdge, w = kEdgeTurn;
    ForEachCase(kEdgesWithRadiiCases,
                [&](const EdgesWithRadiiCase &c)
                {
                    bzCollisionContact contact{};
                    const int32_t got =
                        bz_SweptEdgeEdge(kEdgeRadius, kEdgeRadius, &q, &f, &c.start, &c.velocity,
                                         &c.vector, &w, &contact, &kWorld);
                    if (!ExpectOutcome(got, c.outcome,
                                       c.outcome == Outcome::none ? BZ_SWEPT_EDGES_APART
                                                                  : BZ_SWEPT_EDGES_BEYOND_END))
                        return;
                    EXPECT_NEAR(contact.key, c.time, 1e-4f);
                    ExpectV3(contact.normal, V(0, 1, 0));
                    // The moving edge's surface towards the fixed one.
                    ExpectV3(contact.point, V(0, kEdgeRadius, 0));
                });
}

TEST(SweptPointEdgeUnused, ASlowApproachIsLeftToTheRestingPointTest)
{
    DefaultTolerance tolerance;
    const bzV3 a = V(-1, 0, 0), u = V(2, 0, 0);
    bzCollisionContact contact{};
    // A plain side hit is found as by the test in use: 2 - 2t = 0.5 at t = 0.75.
    const bzV3 p = V(0, 2, 0), d = V(0, -2, 0);
    ASSERT_EQ(bz_SweptPointEdgeUnused(0.5f, &a, &u, &p, &d, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.75f, 1e-5f);
    ExpectV3(contact.normal, V(0, 1, 0));
    ExpectV3(contact.point, V(0, 0, 0));
    // Across-motion 0.002: squared 4e-6, above (0.1 tol)^2 = 1e-6 but below 0.1 tol^2 = 1e-5.
    // The test in use sweeps: 0.501 - 0.002t = 0.5 at t = 0.5. This one goes to the resting
    // point test at the end, 0.499 from the edge: inside the radius, no contact.
    const bzV3 slowStart = V(0, 0.501f, 0), slow = V(0, -0.002f, 0);
    ASSERT_EQ(bz_SweptPointEdge(0.5f, &a, &u, &slowStart, &slow, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.5f, 1e-3f);
    EXPECT_EQ(bz_SweptPointEdgeUnused(0.5f, &a, &u, &slowStart, &slow, &contact, &kWorld), 0);
    // Ending 0.5005 from the edge: within the resting band [0.25, 0.26] in squared distance.
    const bzV3 restStart = V(0, 0.5025f, 0);
    contact = {};
    ASSERT_EQ(bz_SweptPointEdgeUnused(0.5f, &a, &u, &restStart, &slow, &contact, &kWorld), 1);
    EXPECT_FLOAT_EQ(contact.key, 1.05f);
    // Lines 0.6 apart: 0.36 > (2 tol + r) r = 0.26.
    const bzV3 aside = V(0, 2, 0.6f);
    EXPECT_EQ(bz_SweptPointEdgeUnused(0.5f, &a, &u, &aside, &d, &contact, &kWorld), 0);
    const bzV3 zero = V(0, 0, 0);
    EXPECT_EQ(bz_SweptPointEdgeUnused(0.5f, &a, &zero, &p, &d, &contact, &kWorld), 0);
}

TEST(SweptEdgeEdgeGrown, TheRadiusGrowsOverTheStepAndTheEndIsNeverTried)
{
    DefaultTolerance tolerance;
    const bzV3 q = V(-1, 0, 0), f = V(2, 0, 0), w = V(0, 0, 0);
    const bzV3 p0 = V(0, 2, -1), v = V(0, -2, 0), e0 = V(0, 0, 2);
    bzCollisionContact contact{};
    // Radii 0.25 + 0.25 grown by 0.01 t: 2 - 2t = 0.5 + 0.01t at t = 1.5 / 2.01.
    ASSERT_EQ(bz_SweptEdgeEdgeGrown(0.25f, 0.25f, &q, &f, &p0, &v, &e0, &w, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.7462687f, 1e-4f);
    ExpectV3(contact.normal, V(0, 1, 0));
    ExpectV3(contact.point, V(0, 0.2574627f, 0));
    struct Case
    {
        const char *name;
        bzV3 start, velocity, vector;
        int32_t expected;
    };
    const Case cases[] = {
        // Within reach at the start and staying: no roots, no end test.
        {"resting within", V(0, 0.3f, -1), V(0, 0, 0), e0, BZ_SWEPT_EDGES_START_WITHIN},
        // Within reach at the start and leaving: one root.
        {"leaving", V(0, 0.3f, -1), V(0, 2, 0), e0, BZ_SWEPT_EDGES_START_WITHIN},
        {"parallel", V(-1, 2, 0), v, V(2, 0, 0), BZ_SWEPT_EDGES_APART},
        {"beyond the fixed edge's end", V(3, 2, -1), v, e0, BZ_SWEPT_EDGES_APART},
        {"never within reach", V(0, 5, -1), V(0, 0, 0), e0, BZ_SWEPT_EDGES_APART},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact untouched{};
        untouched.key = 7.0f;
        EXPECT_EQ(bz_SweptEdgeEdgeGrown(0.25f, 0.25f, &q, &f, &c.start, &c.velocity, &c.vector, &w,
                                        &untouched, &kWorld),
                  c.expected)
            << c.name;
        EXPECT_EQ(untouched.key, 7.0f) << c.name;
    }
}

TEST(SweptPointEdge, SideCornerAndNoLength)
{
    DefaultTolerance tolerance;
    const bzV3 a = V(-1, 0, 0), u = V(2, 0, 0), d = V(0, -2, 0);
    bzCollisionContact contact{};
    const bzV3 p = V(0, 2, 0);
    ASSERT_EQ(bz_SweptPointEdge(0.5f, &a, &u, &p, &d, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.75f, 1e-5f);
    ExpectV3(contact.normal, V(0, 1, 0));
    ExpectV3(contact.point, V(0, 0, 0)); // the moving sphere's surface point on the edge
    // Beyond the end x = 1: the corner as a sphere of the radius, met when y = 0.4.
    const bzV3 beyond = V(1.3f, 2, 0);
    ASSERT_EQ(bz_SweptPointEdge(0.5f, &a, &u, &beyond, &d, &contact, &kWorld), 1);
    EXPECT_NEAR(contact.key, 0.8f, 1e-4f);
    ExpectV3(contact.normal, V(0.6f, 0.8f, 0), 1e-3f);
    const bzV3 zero = V(0, 0, 0);
    EXPECT_EQ(bz_SweptPointEdge(0.5f, &a, &zero, &p, &d, &contact, &kWorld), 0);
}

// Double-precision oracles: the first time, sampled finely, at which the features come within
// reach.

// Closest parameters of two segments' lines (no clamping).
void LineParameters(D3 p, D3 e, D3 q, D3 f, double *s, double *r)
{
    const D3 w0 = p - q;
    const double a = Dot(e, e), b = Dot(e, f), c = Dot(f, f), d = Dot(e, w0), g = Dot(f, w0);
    const double den = a * c - b * b;
    *s = (b * g - c * d) / den;
    *r = (a * g - b * d) / den;
}

// Random trials, up to 3000, of features drawn with coordinates in [-1, 1] times a scale:
// trial(draw, n) compares one (true) or passes it over (false). At least 20 of the first 60 found
// worth comparing must be compared.
template <class Trial> void CompareWithSampledDistance(uint32_t start, Trial trial)
{
    std::mt19937 rng(start);
    std::uniform_real_distribution<float> coord(-1.0f, 1.0f);
    const auto draw = [&](float scale)
    { return V(scale * coord(rng), scale * coord(rng), scale * coord(rng)); };
    int32_t compared = 0;
    for (int32_t n = 0; n < 3000 && compared < 60; n++)
        compared += trial(draw, n) ? 1 : 0;
    EXPECT_GE(compared, 20);
}

// The first of 5001 evenly sampled times in [0, 1] at which within(t, &nearEnd) holds, or -1.
// clean: found after the start with the closest points away from the features' ends.
template <class Within> double FirstSampledTime(Within within, bool *clean)
{
    *clean = true;
    for (int32_t k = 0; k <= 5000; k++)
    {
        const double t = k / 5000.0;
        bool nearEnd = false;
        if (within(t, &nearEnd))
        {
            *clean = k != 0 && !nearEnd;
            return t;
        }
    }
    return -1.0;
}

TEST(SweptEdgeEdge, AgreesWithASampledDistance)
{
    DefaultTolerance tolerance;
    CompareWithSampledDistance(1234,
                               [](const auto &draw, int32_t trial)
                               {
                                   const bzV3 q = draw(1.0f), f = draw(2.0f), p0 = draw(1.0f),
                                              v = draw(2.0f), e0 = draw(2.0f), w = draw(0.5f);
                                   const float radius = 0.2f;
                                   // The oracle: the first t at which the lines come within the
                                   // radius with both closest points well inside the edges.
                                   bool clean = true;
                                   const double first = FirstSampledTime(
                                       [&](double t, bool *nearEnd)
                                       {
                                           const D3 pt = ToD(p0) + ToD(v) * t,
                                                    et = ToD(e0) + ToD(w) * t;
                                           double s, r;
                                           LineParameters(pt, et, ToD(q), ToD(f), &s, &r);
                                           const D3 gap = (pt + et * s) - (ToD(q) + ToD(f) * r);
                                           *nearEnd = s < 0.05 || s > 0.95 || r < 0.05 || r > 0.95;
                                           return std::sqrt(Dot(gap, gap)) <= radius;
                                       },
                                       &clean);
                                   if (first < 0.02 || first > 0.98 || !clean)
                                       return false;
                                   bzCollisionContact contact{};
                                   const int32_t got = bz_SweptEdgeEdge(
                                       0.0f, radius, &q, &f, &p0, &v, &e0, &w, &contact, &kWorld);
                                   EXPECT_EQ(got, 1) << trial;
                                   if (got == 1)
                                   {
                                       EXPECT_NEAR(contact.key, first, 2e-3) << trial;
                                   }
                                   return true;
                               });
}

TEST(SweptPointsTicTac, AgreesWithASampledDistance)
{
    DefaultTolerance tolerance;
    CompareWithSampledDistance(
        99,
        [](const auto &draw, int32_t trial)
        {
            const bzV3 p = draw(1.0f), a = draw(1.0f), v = draw(2.0f), e = draw(2.0f),
                       w = draw(0.5f);
            const float radius = 0.3f;
            bool clean = true;
            const double first = FirstSampledTime(
                [&](double t, bool *nearEnd)
                {
                    const D3 at = ToD(a) + ToD(v) * t, et = ToD(e) + ToD(w) * t;
                    const double u = Dot(ToD(p) - at, et) / Dot(et, et);
                    const D3 gap = ToD(p) - (at + et * u);
                    *nearEnd = u < 0.05 || u > 0.95;
                    return std::sqrt(Dot(gap, gap)) <= radius + bzCollisionTolerance * t;
                },
                &clean);
            if (first < 0.02 || first > 0.98 || !clean)
                return false;
            Sunk sunk;
            const int32_t count = bz_SweptPointsTicTac(0.0f, radius, &p, nullptr, 1, &a, &v, &e, &w,
                                                       &kWorld, Sunk::Take, &sunk, 0);
            EXPECT_GE(count, 1) << trial;
            if (count >= 1)
            {
                EXPECT_NEAR(sunk.contacts[0].key, first, 2e-3) << trial;
            }
            return true;
        });
}

// For a body pair the normal found in the first body's frame is turned by its pose and by its
// lump rotation and blended by the time; the point goes into the other body's frame.
TEST(SweptPointSphere, BodyPairBlendsTheNormal)
{
    DefaultTolerance tolerance;
    bzM34 start{}, end{}, toOther{};
    for (int i = 0; i < 3; i++)
        start.row[i].v[i] = toOther.row[i].v[i] = 1.0f;
    end.row[0] = V(0, 0, -1); // a quarter turn about y: x goes to -z, z to x
    end.row[1] = V(0, 1, 0);
    end.row[2] = V(1, 0, 0);
    toOther.row[3] = V(5, 0, 0);
    const bzSweptFrames pair{&start, &end, &toOther};
    const bzV3 p = V(3, 0, 0), d = V(-4, 0, 0), m = V(0, 0, 0);
    bzCollisionContact contact{};
    ASSERT_EQ(bz_SweptPointSphere(&contact, &p, &d, &m, 1.0f, &pair), 1);
    EXPECT_NEAR(contact.key, 0.5f, 1e-5f);
    // n = (-1, 0, 0) from the point to the centre: (-1, 0, 0) at the start, (0, 0, 1) at the end.
    const float h = std::sqrt(0.5f);
    ExpectV3(contact.normal, V(-h, 0, h));
    ExpectV3(contact.otherNormal, V(0, 0, 1));
    ExpectV3(contact.point, V(0, 0, 0)); // the touch point moved on by the radius
    ExpectV3(contact.otherPoint, V(5, 0, 0));
}
} // namespace
