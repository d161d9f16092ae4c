// The edge-against-edge distance quartic: hand-worked approaches, starts within reach, parallel
// edges, the grown radius, and random moving edges against the distance of the two lines found
// from their closest points in double precision: the touching times are where that distance
// crosses the radius.
#include "collision/CollisionTolerance.h"
#include "collision/EdgeQuartic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

TEST(EdgeQuartic, HandWorkedApproaches)
{
    const float saved = bzCollisionTolerance;
    bzCollisionTolerance = 0.01f;
    // The fixed edge along x; the moving edge along z, 2 above it in y, coming down by 2.
    const bzV3 q = V(0, 0, 0), f = V(1, 0, 0), e0 = V(0, 0, 1), w = V(0, 0, 0);
    const bzV3 down = V(0, -2, 0);
    struct Case
    {
        const char *name;
        bzV3 p0;
        bool grown;
        int32_t result;
        float root, end;
    } cases[] = {
        // Within 0.5 at y = 0.5: t = 0.75; at the end the lines cross: q(1) = -0.25.
        {"approaching", V(0, 2, 0), false, 1, 0.75f, -0.25f},
        // Starting 0.3 away: within reach at once, leaving it at y = -0.5, t = 0.4.
        {"starting within reach", V(0, 0.3f, 0), false, -2, 0.4f, (1.7f * 1.7f) - 0.25f},
        // The reach grows by the tolerance: 2 - 2t = 0.5 + 0.01 t at t = 1.5 / 2.01.
        {"grown", V(0, 2, 0), true, 1, 1.5f / 2.01f, -0.51f * 0.51f},
        {"stopping short", V(0, 3, 0), false, 0, 0, 1.0f - 0.25f},
    };
    for (const Case &c : cases)
    {
        float roots[4] = {-1, -1, -1, -1};
        float end = 99;
        const int32_t result =
            c.grown
                ? bz_EdgeEdgeDistanceQuarticGrown(0.5f, &q, &f, &c.p0, &down, &e0, &w, roots, &end)
                : bz_EdgeEdgeDistanceQuartic(0.5f, &q, &f, &c.p0, &down, &e0, &w, roots, &end);
        EXPECT_EQ(result, c.result) << c.name;
        if (result != 0 && result != -1)
        {
            EXPECT_NEAR(roots[0], c.root, 1e-4f) << c.name;
        }
        EXPECT_NEAR(end, c.end, 1e-4f) << c.name;
    }
    // Edges that stay parallel have no common normal.
    const bzV3 along = V(2, 0, 0), p0 = V(0, 2, 0);
    float roots[4], end = 99;
    EXPECT_EQ(bz_EdgeEdgeDistanceQuartic(0.5f, &q, &f, &p0, &down, &along, &w, roots, &end), -1);
    EXPECT_EQ(end, 99.0f);
    // A vector that turns out of parallel during the step has a normal at its end.
    const bzV3 turning = V(0, 0, 1);
    EXPECT_GE(bz_EdgeEdgeDistanceQuartic(0.5f, &q, &f, &p0, &down, &along, &turning, roots, &end),
              0);
    bzCollisionTolerance = saved;
}

// Distance of the line through a along da from the line through b along db, by their closest
// points.
double LineDistance(const double a[3], const double da[3], const double b[3], const double db[3])
{
    double r[3], aa = 0, ab = 0, bb = 0, ra = 0, rb = 0;
    for (int k = 0; k < 3; k++)
    {
        r[k] = a[k] - b[k];
        aa += da[k] * da[k];
        ab += da[k] * db[k];
        bb += db[k] * db[k];
        ra += r[k] * da[k];
        rb += r[k] * db[k];
    }
    const double det = aa * bb - ab * ab;
    const double s = (ab * rb - bb * ra) / det, u = (aa * rb - ab * ra) / det;
    double d = 0;
    for (int k = 0; k < 3; k++)
    {
        const double x = r[k] + s * da[k] - u * db[k];
        d += x * x;
    }
    return std::sqrt(d);
}

TEST(EdgeQuartic, RandomEdgesAgainstTheLineDistance)
{
    std::mt19937 rng(17u);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    const float radius = 0.7f;
    int withRoots = 0;
    for (int round = 0; round < 800; round++)
    {
        const bzV3 q = V(u(rng), u(rng), u(rng)), f = V(u(rng), u(rng), u(rng));
        const bzV3 p0 = V(u(rng), u(rng), u(rng)), v = V(u(rng), u(rng), u(rng));
        const bzV3 e0 = V(u(rng), u(rng), u(rng)), w = V(u(rng), u(rng), u(rng));
        const auto gap = [&](double t)
        {
            double a[3], da[3], b[3], db[3];
            for (int k = 0; k < 3; k++)
            {
                a[k] = (double)p0.v[k] + t * v.v[k];
                da[k] = (double)e0.v[k] + t * w.v[k];
                b[k] = q.v[k];
                db[k] = f.v[k];
            }
            return LineDistance(a, da, b, db) - radius;
        };
        // Sign changes of the gap over a fine sampling.
        int changes = 0;
        double crossings[8] = {};
        double previous = gap(0.0);
        bool nearZero = std::fabs(previous) < 1e-3;
        for (int k = 1; k <= 2000; k++)
        {
            const double g = gap(k / 2000.0);
            nearZero = nearZero || std::fabs(g) < 1e-3;
            if ((g < 0) != (previous < 0))
            {
                if (changes < 8)
                    crossings[changes] = (k - 1 + previous / (previous - g)) / 2000.0;
                changes++;
            }
            previous = g;
        }
        if (nearZero)
            continue; // a graze or an end too close for float and the sampling to agree
        float roots[4], end;
        const int32_t result =
            bz_EdgeEdgeDistanceQuartic(radius, &q, &f, &p0, &v, &e0, &w, roots, &end);
        const bool startsWithin = gap(0.0) < 0;
        const int32_t count = result < 0 ? -1 - result : result;
        EXPECT_EQ(result < 0, startsWithin) << round;
        EXPECT_EQ(count, changes) << round;
        EXPECT_EQ(end < 0, gap(1.0) < 0) << round;
        for (int32_t i = 0; i < count && i < changes; i++)
        {
            EXPECT_NEAR(roots[i], crossings[i], 1e-3) << round << " root " << i;
            withRoots++;
        }
    }
    EXPECT_GT(withRoots, 40);
}
} // namespace
