// Swept collision of two forms: hand-worked times, the kinds that never collide, the order of
// the forms, and random pairs checked against the static pair tests just before and just after
// the time found.
#include "PairTestShapes.h"
#include "collision/SweptCollision.h"
#include "collision/SweptFeatures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>

using namespace pairtest;

namespace
{
float Sweep(const bzForm *a, const bzForm *b, bzV3 motion, int32_t *result = nullptr)
{
    float t = -7.0f;
    const int32_t r = bz_Form_SweptCollision(a, b, &motion, &t);
    if (result)
        *result = r;
    EXPECT_EQ(r, t < 1.0f ? 1 : 0);
    return t;
}

struct SweepCase
{
    const char *name;
    std::function<FormPtr()> a, b;
    bzV3 motion;
    float time; // 2.0 for none
};

TEST(SweptCollision, HandWorkedTimes)
{
    const auto ground = [] { return AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0); };
    const auto ball = [](bzV3 c, float r) { return [=] { return Sphere(c, r); }; };
    const auto capsule = [](bzV3 p, bzV3 q, float r) { return [=] { return TicTac(p, q, r); }; };
    const auto box = [](bzV3 lo, bzV3 hi) { return [=] { return AlignedCuboid(lo, hi); }; };
    const auto poly = [](bzShapeKind kind, bzV3 lo, bzV3 hi, float rounding = 0.1f)
    { return [=] { return Hull(kind, BoxPoints(lo, hi), rounding); }; };
    const SweepCase cases[] = {
        {"sphere falls onto an aligned half-space", ground, ball(V(0, 5, 0), 1), V(0, -10, 0),
         0.4f},
        {"sphere rises away", ground, ball(V(0, 5, 0), 1), V(0, 10, 0), 2.0f},
        {"sphere already touching", ground, ball(V(0, 1, 0), 1), V(0, -10, 0), 2.0f},
        {"sphere already crossing", ground, ball(V(0, 0.5f, 0), 1), V(0, -10, 0), 2.0f},
        {"sphere onto a slanted half-space", [] { return HalfSpace(V(0, 2, 0), 0); },
         ball(V(0, 5, 0), 1), V(0, -10, 0), 0.4f},
        {"parallel capsules", capsule(V(2, 10, 0), V(8, 10, 0), 1),
         capsule(V(0, 0, 0), V(10, 0, 0), 1), V(0, 100, 0), 0.08f},
        {"parallel capsules, forms swapped", capsule(V(0, 0, 0), V(10, 0, 0), 1),
         capsule(V(2, 10, 0), V(8, 10, 0), 1), V(0, -100, 0), 0.08f},
        {"crossing capsules", capsule(V(5, -5, 20), V(5, 5, 20), 1),
         capsule(V(0, 0, 0), V(10, 0, 0), 1), V(0, 0, 100), 0.18f},
        {"capsule end onto a capsule side", capsule(V(0, 0, 0), V(10, 0, 0), 1),
         capsule(V(5, 4, 0), V(5, 10, 0), 1), V(0, -4, 0), 0.5f},
        {"capsule end onto a capsule end", capsule(V(0, 0, 0), V(10, 0, 0), 1),
         capsule(V(16, 0, 0), V(20, 0, 0), 1), V(-8, 0, 0), 0.5f},
        // The axis lines already lie within reach (0.5 < 2) while the capsules are apart: the
        // column capsule meets the row capsule's end sphere.
        {"capsules whose lines already lie within reach", capsule(V(0, 0, 0), V(10, 0, 0), 1),
         capsule(V(13, 0.5f, -1), V(13, 0.5f, 1), 1), V(-4, 0.2f, 0),
         (23.8f - std::sqrt(23.8f * 23.8f - 4 * 16.04f * 5.25f)) / (2 * 16.04f)},
        {"sphere against sphere", ball(V(0, 0, 0), 1), ball(V(5, 0, 0), 1), V(-6, 0, 0), 0.5f},
        {"sphere into a capsule's end", capsule(V(0, 0, 0), V(0, 10, 0), 1),
         ball(V(0.5f, 14, 0), 1), V(0, -4, 0), (4.0f - std::sqrt(3.75f)) / 4.0f},
        {"sphere within the axis line's reach drops onto the end",
         capsule(V(0, 0, 0), V(0, 10, 0), 1), ball(V(1.5f, 14, 0), 1), V(-1.5f, -4, 0),
         1.0f - 2.0f / std::sqrt(18.25f)},
        {"box against box", box(V(0, 0, 0), V(1, 1, 1)), box(V(3, 0, 0), V(4, 1, 1)), V(-4, 0, 0),
         0.5f},
        {"box edge against box edge", box(V(0, 0, 0), V(1, 1, 1)),
         box(V(2, 2, 0.25f), V(3, 3, 0.75f)), V(-2, -2, 0), 0.5f},
        {"sphere against box", box(V(0, 0, 0), V(1, 1, 1)), ball(V(0.5f, 3, 0.5f), 1), V(0, -2, 0),
         0.5f},
        {"capsule against box", box(V(0, 0, 0), V(1, 1, 1)),
         capsule(V(-1, 3, 0.5f), V(2, 3, 0.5f), 1), V(0, -2, 0), 0.5f},
        {"box against a half-space", ground, box(V(0, 2, 0), V(1, 3, 1)), V(0, -4, 0), 0.5f},
        {"polyhedron against polyhedron", poly(BZ_SHAPE_POLYHEDRON, V(0, 0, 0), V(1, 1, 1)),
         poly(BZ_SHAPE_POLYHEDRON, V(3, 0, 0), V(4, 1, 1)), V(-4, 0, 0), 0.5f},
        {"sphere against polyhedron", poly(BZ_SHAPE_POLYHEDRON, V(0, 0, 0), V(1, 1, 1)),
         ball(V(0.5f, 0.5f, 4), 1), V(0, 0, -4), 0.5f},
        {"rounded polyhedron onto a half-space", ground,
         poly(BZ_SHAPE_ROUNDED_POLYHEDRON, V(0, 2.1f, 0), V(1, 3, 1), 0.1f), V(0, -4, 0), 0.5f},
        {"rounded polyhedron against sphere", ball(V(0.5f, 4.1f, 0.5f), 1),
         poly(BZ_SHAPE_ROUNDED_POLYHEDRON, V(0, 0, 0), V(1, 1, 1), 0.1f), V(0, 4, 0), 0.5f},
        {"rounded polyhedra", poly(BZ_SHAPE_ROUNDED_POLYHEDRON, V(0, 0, 0), V(1, 1, 1), 0.25f),
         poly(BZ_SHAPE_ROUNDED_POLYHEDRON, V(3.5f, 0, 0), V(4.5f, 1, 1), 0.25f), V(-4, 0, 0), 0.5f},
        {"cuboid against box",
         [] { return Cuboid(V(-0.5f, -0.5f, -0.5f), V(0.5f, 0.5f, 0.5f), Translation(0, 0, 0)); },
         box(V(2.5f, -0.5f, -0.5f), V(3.5f, 0.5f, 0.5f)), V(-4, 0, 0), 0.5f},
        {"moving apart", box(V(0, 0, 0), V(1, 1, 1)), box(V(3, 0, 0), V(4, 1, 1)), V(4, 0, 0),
         2.0f},
        // Times past the step's end still lower the time, but are no hit.
        {"too short a move", box(V(0, 0, 0), V(1, 1, 1)), box(V(3, 0, 0), V(4, 1, 1)),
         V(-1.9f, 0, 0), 2.0f / 1.9f},
        {"crushable cuboid never collides", [] { return CrushableCuboid(V(0, 0, 0), V(1, 1, 1)); },
         box(V(3, 0, 0), V(4, 1, 1)), V(-4, 0, 0), 2.0f},
        {"two half-spaces never collide", ground, [] { return HalfSpace(V(0, -1, 0), -5); },
         V(0, -10, 0), 2.0f},
    };
    for (const SweepCase &c : cases)
    {
        FormPtr a = c.a(), b = c.b();
        ASSERT_TRUE(a && b) << c.name;
        const float t = Sweep(a.get(), b.get(), c.motion);
        if (c.time >= 2.0f)
            EXPECT_EQ(t, 2.0f) << c.name;
        else
            EXPECT_NEAR(t, c.time, 1e-4f) << c.name;
    }
}

TEST(SweptCollision, NullKindsOutsideTheTableAndEmptyForms)
{
    FormPtr ground = AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0);
    FormPtr ball = Sphere(V(0, 5, 0), 1);
    // A chain of a Null shape, a shape of kind 13 and the sphere: only the sphere counts.
    bzShape nullShape{};
    nullShape.kind = BZ_SHAPE_NULL;
    bzShape unknown{};
    unknown.kind = 13;
    nullShape.next = &unknown;
    unknown.next = ball->firstShape;
    bzForm chained{};
    chained.firstShape = &nullShape;
    EXPECT_NEAR(Sweep(ground.get(), &chained, V(0, -10, 0)), 0.4f, 1e-6f);
    EXPECT_NEAR(Sweep(&chained, ground.get(), V(0, 10, 0)), 0.4f, 1e-6f);
    unknown.kind = 0xFFFFFFFFu;
    EXPECT_NEAR(Sweep(&chained, ground.get(), V(0, 10, 0)), 0.4f, 1e-6f);
    unknown.next = nullptr;
    EXPECT_EQ(Sweep(&chained, ground.get(), V(0, 10, 0)), 2.0f);

    bzForm empty{};
    EXPECT_EQ(Sweep(&empty, ball.get(), V(0, -10, 0)), 2.0f);
    EXPECT_EQ(Sweep(ground.get(), &empty, V(0, -10, 0)), 2.0f);
    float t = -7;
    const bzV3 m = V(0, -10, 0);
    EXPECT_EQ(bz_Form_SweptCollision(nullptr, ball.get(), &m, &t), 0);
    EXPECT_EQ(t, 2.0f);
    for (bzV3 bad : {V(NAN, -10, 0), V(0, -INFINITY, 0)})
        EXPECT_EQ(Sweep(ground.get(), ball.get(), bad), 2.0f);
}

TEST(SweptCollision, ZeroMotionFindsNothing)
{
    FormPtr a = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    std::vector<FormPtr> others;
    others.push_back(AlignedCuboid(V(1.5f, 0, 0), V(2, 1, 1)));
    others.push_back(Sphere(V(3, 0, 0), 1));
    others.push_back(TicTac(V(3, 0, 0), V(3, 3, 0), 1));
    others.push_back(Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(3, 0, 0), V(4, 1, 1))));
    others.push_back(Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(3, 0, 0), V(4, 1, 1)), 0.2f));
    others.push_back(AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, -1));
    for (const FormPtr &b : others)
    {
        EXPECT_EQ(Sweep(a.get(), b.get(), V(0, 0, 0)), 2.0f);
        EXPECT_EQ(Sweep(b.get(), a.get(), V(0, 0, 0)), 2.0f);
    }
}

TEST(SweptFeatures, EdgeCasesOfThePointTests)
{
    const bzBox box = {V(0, 0, 0), V(1, 1, 1)};
    struct Case
    {
        const char *name;
        bzV3 p, d;
        float time;
    } cases[] = {
        {"enters at 0.5", V(-1, 0.5f, 0.5f), V(2, 0, 0), 0.5f},
        {"on the slab boundary with no motion on that axis", V(-1, 1, 0.5f), V(2, 0, 0), 0.5f},
        {"starts on the face: entry time 0", V(0, 0.5f, 0.5f), V(1, 0, 0), 0.0f},
        {"starts inside", V(0.5f, 0.5f, 0.5f), V(1, 0, 0), 2.0f},
        {"outside a slab with no motion on it", V(-1, 1.01f, 0.5f), V(2, 0, 0), 2.0f},
        {"leaves y before entering x", V(-1, 0.5f, 0.5f), V(2, 2, 0), 2.0f},
    };
    for (const Case &c : cases)
    {
        float T = 2.0f;
        SweptPointAlignedBox(c.p, c.d, box, T);
        EXPECT_NEAR(T, c.time, 1e-6f) << c.name;
    }
    // The plane test wants a strictly positive time: a point starting on the offset plane
    // gives nothing.
    const bzPlane ground = {V(0, 1, 0), 0};
    float T = 2.0f;
    SweptPointPlane(V(0, 1, 0), V(0, -1, 0), ground, 1.0f, T);
    EXPECT_EQ(T, 2.0f);
    SweptPointPlane(V(0, 2, 0), V(0, -2, 0), ground, 1.0f, T);
    EXPECT_FLOAT_EQ(T, 0.5f);
    // Never raised.
    SweptPointPlane(V(0, 2, 0), V(0, -1, 0), ground, 1.0f, T);
    EXPECT_FLOAT_EQ(T, 0.5f);
    // Parallel edges and zero-length edges give nothing.
    T = 2.0f;
    SweptEdgeEdge(V(0, 1, 0), V(1, 0, 0), V(0, -2, 0), V(0, 0, 0), V(2, 0, 0), T);
    EXPECT_EQ(T, 2.0f);
    SweptEdgeEdge(V(0, 1, 0), V(0, 0, 0), V(0, -2, 0), V(0, 0, 0), V(2, 0, 0), T);
    EXPECT_EQ(T, 2.0f);
    SweptEdgeEdge(V(0.5f, 1, -1), V(0, 0, 2), V(0, -2, 0), V(0, 0, 0), V(2, 0, 0), T);
    EXPECT_FLOAT_EQ(T, 0.5f);
    // Parallel capsule axes and a zero-length axis report parallel.
    T = 2.0f;
    EXPECT_EQ(
        SweptSegmentSegment(V(0, 0, 0), V(1, 0, 0), V(0, 5, 0), V(2, 0, 0), V(0, -1, 0), 1.0f, T),
        BZ_SWEPT_SEGMENTS_PARALLEL);
    EXPECT_EQ(
        SweptSegmentSegment(V(0, 0, 0), V(0, 0, 0), V(0, 5, 0), V(2, 0, 0), V(0, -1, 0), 1.0f, T),
        BZ_SWEPT_SEGMENTS_PARALLEL);
    EXPECT_EQ(T, 2.0f);
}

// Random pairs of spheres, capsules, aligned boxes, cuboids and polyhedra. For a time t found,
// the static pair tests must see no overlap at t - 1e-3 and an overlap at t + 1e-3; with no time
// found, none at a few points of the step. Swapping the forms and negating the motion gives the
// same time.
FormPtr RandomForm(std::mt19937 &rng, int kind)
{
    std::uniform_real_distribution<float> c(-2.0f, 2.0f), size(0.2f, 1.2f);
    const bzV3 centre = V(c(rng), c(rng), c(rng));
    switch (kind)
    {
    case 0: return Sphere(centre, size(rng));
    case 1:
    {
        const bzV3 axis = V(c(rng) * 0.5f, c(rng) * 0.5f, c(rng) * 0.5f);
        return TicTac(centre, V(centre.x + axis.x, centre.y + axis.y, centre.z + axis.z),
                      size(rng) * 0.6f);
    }
    case 2:
    {
        const bzV3 h = V(size(rng) * 0.6f, size(rng) * 0.6f, size(rng) * 0.6f);
        return AlignedCuboid(V(centre.x - h.x, centre.y - h.y, centre.z - h.z),
                             V(centre.x + h.x, centre.y + h.y, centre.z + h.z));
    }
    case 3:
    {
        bzM34 m = RandomPlacement(rng, 2.0f);
        const bzV3 h = V(size(rng) * 0.6f, size(rng) * 0.6f, size(rng) * 0.6f);
        return Cuboid(V(-h.x, -h.y, -h.z), h, m);
    }
    default:
    {
        std::vector<bzV3> points;
        std::uniform_real_distribution<float> p(-0.8f, 0.8f);
        for (int i = 0; i < 10; i++)
            points.push_back(V(centre.x + p(rng), centre.y + p(rng), centre.z + p(rng)));
        return Hull(BZ_SHAPE_POLYHEDRON, points);
    }
    }
}

TEST(SweptCollision, RandomPairsAgainstTheStaticPairTests)
{
    std::mt19937 rng(31011);
    std::uniform_real_distribution<float> move(-1.5f, 1.5f);
    std::uniform_int_distribution<int> kindDist(0, 4);
    const bzM34 identity = Identity();
    const auto overlapAt = [&](const bzForm *a, const bzForm *b, const bzV3 &m, float t)
    {
        const bzM34 placed = Translation(m.x * t, m.y * t, m.z * t);
        return bz_Form_IntersectForm(a, &identity, b, &placed) != 0;
    };
    const auto start = std::chrono::steady_clock::now();
    int hits = 0, misses = 0;
    int kindHits[5][5] = {};
    for (int n = 0; n < 6000; n++)
    {
        const int ka = kindDist(rng), kb = kindDist(rng);
        FormPtr a = RandomForm(rng, ka), b = RandomForm(rng, kb);
        ASSERT_TRUE(a && b);
        // Mostly towards each other, so that about half the pairs meet.
        const bzBox &ba = a->bounds, &bb = b->bounds;
        const float k = std::uniform_real_distribution<float>(0.3f, 2.5f)(rng);
        const bzV3 m = V((ba.min.x + ba.max.x - bb.min.x - bb.max.x) * 0.5f * k + move(rng),
                         (ba.min.y + ba.max.y - bb.min.y - bb.max.y) * 0.5f * k + move(rng),
                         (ba.min.z + ba.max.z - bb.min.z - bb.max.z) * 0.5f * k + move(rng));
        if (overlapAt(a.get(), b.get(), m, 0.0f))
            continue;
        const float t = Sweep(a.get(), b.get(), m);
        const float swapped = Sweep(b.get(), a.get(), V(-m.x, -m.y, -m.z));
        EXPECT_NEAR(swapped, t, 1e-5f) << "case " << n << " kinds " << ka << " " << kb;
        if (t < 1.0f)
        {
            if (t < 2e-3f || t > 1.0f - 2e-3f)
                continue;
            hits++;
            kindHits[ka][kb]++;
            EXPECT_FALSE(overlapAt(a.get(), b.get(), m, t - 1e-3f))
                << "case " << n << " kinds " << ka << " " << kb << " t " << t;
            EXPECT_TRUE(overlapAt(a.get(), b.get(), m, t + 1e-3f))
                << "case " << n << " kinds " << ka << " " << kb << " t " << t;
        }
        else
        {
            misses++;
            for (float s : {0.25f, 0.5f, 0.75f, 1.0f})
                EXPECT_FALSE(overlapAt(a.get(), b.get(), m, s))
                    << "case " << n << " kinds " << ka << " " << kb << " at " << s;
        }
    }
    EXPECT_GT(hits, 1000);
    EXPECT_GT(misses, 1000);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++)
            EXPECT_GT(kindHits[i][j], 5) << "kinds " << i << " " << j;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}
} // namespace
