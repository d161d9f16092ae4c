// Shapes lying face to face: a box resting on a larger box squarely, turned about the vertical,
// half over the edge, sliding while it touches and sunk in by a tenth of a millimetre; the same
// for polyhedra and rounded shapes. Expected points are the corners and cuts worked out by hand
// from the placements; the normal is the resting face's.
#include "PairTestBodies.h"

#include "collision/CollisionTolerance.h"
#include "core/Memory.h"
#include "physics/PairHandlers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using pairbody::PairBody;
using pairtest::AlignedCuboid;
using pairtest::V;

pairtest::FormPtr Box(float half)
{
    return AlignedCuboid(V(-half, -half, -half), V(half, half, half));
}

pairtest::FormPtr PolyBox(float half, bzShapeKind kind = BZ_SHAPE_POLYHEDRON, float rounding = 0.1f)
{
    return pairtest::Hull(kind, pairtest::BoxPoints(V(-half, -half, -half), V(half, half, half)),
                          rounding);
}

class PairRestingTest : public ::testing::Test
{
protected:
    void SetUp() override { stackLeft_ = bz_TempStack_SpaceLeft(1, 0); }
    void TearDown() override { EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_); }

    int Collide(PairBody &a, PairBody &b)
    {
        for (auto &c : contacts_)
            c = bzCollisionContact{};
        return bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
    }

    // The contacts are resting ones whose world points (start placements) are the expected
    // points in some order, both points of each on the same spot, and whose world normal is
    // `up` turned to push the row body away from the other.
    void ExpectPatch(const PairBody &a, const PairBody &b, int n, const std::vector<bzV3> &want,
                     const bzV3 &up, float within, const std::string &what,
                     float key = BZ_PHYS_PAIR_TIME_RESTING)
    {
        // Nothing is marked inside.
        EXPECT_EQ((a.body.collisionState | b.body.collisionState) &
                      (BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING),
                  0u)
            << what;
        ASSERT_EQ(n, int(want.size())) << what;
        std::vector<bool> used(want.size(), false);
        for (int i = 0; i < n; i++)
        {
            const bzCollisionContact &c = contacts_[i];
            EXPECT_EQ(c.key, key) << what;
            EXPECT_EQ(c.type, BZ_PHYS_CONTACT_VERTEX_FACE) << what;
            const bzV3 p1 = pairbody::WorldPoint(c.body, c.point, 0.0f);
            const bzV3 p2 = pairbody::WorldPoint(c.otherBody, c.otherPoint, 0.0f);
            EXPECT_LT(pairbody::Len(pairbody::Sub(pairbody::D(p1), pairbody::D(p2))), within)
                << what << " contact " << i;
            int found = -1;
            for (size_t k = 0; k < want.size(); k++)
                if (!used[k] &&
                    pairbody::Len(pairbody::Sub(pairbody::D(p2), pairbody::D(want[k]))) < within)
                    found = int(k);
            EXPECT_GE(found, 0) << what << " contact " << i << " at " << p2.x << ", " << p2.y
                                << ", " << p2.z;
            if (found >= 0)
                used[found] = true;
            // The world normal is the face normal, signed to push the row body off the other.
            bzV3 n;
            bz_RotateV3Into(&c.body->startTransform, &n, &c.normal);
            const float side =
                c.body->startTransform.row[3].y > c.otherBody->startTransform.row[3].y ? 1.0f
                                                                                       : -1.0f;
            EXPECT_NEAR(n.x, side * up.x, 1e-5f) << what;
            EXPECT_NEAR(n.y, side * up.y, 1e-5f) << what;
            EXPECT_NEAR(n.z, side * up.z, 1e-5f) << what;
            // Each body's own normal is the same world normal.
            bzV3 m;
            bz_RotateV3Into(&c.otherBody->startTransform, &m, &c.otherNormal);
            EXPECT_NEAR(m.x, n.x, 1e-5f) << what;
            EXPECT_NEAR(m.y, n.y, 1e-5f) << what;
            EXPECT_NEAR(m.z, n.z, 1e-5f) << what;
        }
    }

    bzCollisionContact contacts_[BZ_PHYS_STEP_CONTACTS];
    uint32_t stackLeft_ = 0;
};

// The four corners of the bottom face of a cube of half edge h placed by m.
std::vector<bzV3> BottomCorners(const bzM34 &m, float h)
{
    std::vector<bzV3> out;
    for (int i = 0; i < 4; i++)
    {
        bzV3 p = V((i & 1) ? h : -h, -h, (i & 2) ? h : -h);
        bz_M34_TransformPoint(&m, &p);
        out.push_back(p);
    }
    return out;
}

TEST_F(PairRestingTest, ABoxOnALargerBoxRestsOnItsFourCornersWithTheFaceNormal)
{
    // Lower box: half edge 1, top face y = 1. Upper box: half edge 0.5 with its bottom on
    // that face. The contact face is the top of the lower box (or the bottom of the upper):
    // the normal is +y for the upper box, -y for the lower.
    struct Case
    {
        const char *what;
        float turn;      // about y, radians
        float dropBy;    // the upper box sunk into the lower one by this much
        float slideX;    // moved along x over the step
        float massUpper; // the lighter body comes first in the pair
    };
    const Case cases[] = {
        {"square", 0.0f, 0.0f, 0.0f, 1.0f},
        {"square, heavier on top", 0.0f, 0.0f, 0.0f, 5.0f},
        {"turned 30 degrees", 0.523598776f, 0.0f, 0.0f, 1.0f},
        {"sunk in 0.1 mm", 0.0f, 1e-4f, 0.0f, 1.0f},
        {"sunk in 0.1 mm, turned", 0.523598776f, 1e-4f, 0.0f, 1.0f},
        {"a gap of 5 mm", 0.0f, -0.005f, 0.0f, 1.0f},
        {"sliding sideways", 0.0f, 0.0f, 0.3f, 1.0f},
    };
    for (const Case &c : cases)
    {
        PairBody lower(Box(1.0f), 2.0f), upper(Box(0.5f), c.massUpper);
        const bzV3 at = V(0.2f, 1.5f - c.dropBy, -0.1f);
        const bzM34 start = pairbody::RotationY(c.turn, at);
        bzM34 end = start;
        end.row[3].x += c.slideX;
        upper.Place(start, end);
        const int n = Collide(lower, upper);
        // The bottom corners, dropped onto the face y = 1 where the box is sunk in.
        std::vector<bzV3> want = BottomCorners(start, 0.5f);
        ExpectPatch(lower, upper, n, want, V(0, 1, 0), 0.006f, c.what);
    }
}

TEST_F(PairRestingTest, ABoxHalfOverTheEdgeRestsOnTheCutOfTheTwoFaces)
{
    // The upper box's bottom spans x in [0.5, 1.5], z in [-0.5, 0.5]; the lower box's top ends
    // at x = 1. The patch is x in [0.5, 1], z in [-0.5, 0.5]: two corners of the upper box and
    // two points where the lower box's edge x = 1 leaves the upper box's face.
    const std::vector<bzV3> want = {V(0.5f, 1, -0.5f), V(0.5f, 1, 0.5f), V(1, 1, -0.5f),
                                    V(1, 1, 0.5f)};
    for (float massUpper : {1.0f, 5.0f})
    {
        PairBody lower(Box(1.0f), 2.0f), upper(Box(0.5f), massUpper);
        upper.Move(V(1.0f, 1.5f, 0), V(1.0f, 1.5f, 0));
        const int n = Collide(lower, upper);
        ExpectPatch(lower, upper, n, want, V(0, 1, 0), 1e-4f, "half over the edge");
    }
    // A box-shaped polyhedron on top: the same patch.
    PairBody lower(Box(1.0f), 2.0f), upper(PolyBox(0.5f));
    upper.Move(V(1.0f, 1.5f, 0), V(1.0f, 1.5f, 0));
    ExpectPatch(lower, upper, Collide(lower, upper), want, V(0, 1, 0), 1e-4f,
                "polyhedron half over the edge");
}

TEST_F(PairRestingTest, PolyhedraAndRoundedBoxesRestTheSameWay)
{
    // A box-shaped polyhedron on a box, a box on a box-shaped polyhedron, two polyhedra; and a
    // rounded box (radius 0.1, its solid reaching 0.1 beyond its hull) on a box, whose
    // corners' contact points lie on the rounded surface over the hull's bottom corners.
    PairBody a(PolyBox(1.0f), 2.0f), b(Box(0.5f));
    b.Move(V(0.2f, 1.5f, -0.1f), V(0.2f, 1.5f, -0.1f));
    ExpectPatch(a, b, Collide(a, b), BottomCorners(pairtest::Translation(0.2f, 1.5f, -0.1f), 0.5f),
                V(0, 1, 0), 1e-4f, "box on polyhedron");
    PairBody c(Box(1.0f), 2.0f), d(PolyBox(0.5f));
    d.Move(V(0.2f, 1.5f, -0.1f), V(0.2f, 1.5f, -0.1f));
    ExpectPatch(c, d, Collide(c, d), BottomCorners(pairtest::Translation(0.2f, 1.5f, -0.1f), 0.5f),
                V(0, 1, 0), 1e-4f, "polyhedron on box");
    PairBody e(PolyBox(1.0f), 2.0f), f(PolyBox(0.5f));
    f.Move(V(0.2f, 1.5f, -0.1f), V(0.2f, 1.5f, -0.1f));
    ExpectPatch(e, f, Collide(e, f), BottomCorners(pairtest::Translation(0.2f, 1.5f, -0.1f), 0.5f),
                V(0, 1, 0), 1e-4f, "polyhedron on polyhedron");

    // The rounded box's hull has half edge 0.4: its bottom hull face lies at y = 1.1 and its
    // surface at y = 1, over the hull's corners (0.2 +- 0.4, -0.1 +- 0.4). Touching or sunk in
    // by 0.1 mm, the rounded sweeps meet the face at time 0 (before the resting contacts).
    for (bzShapeKind lowerKind : {BZ_SHAPE_ALIGNED_CUBOID, BZ_SHAPE_ROUNDED_POLYHEDRON})
        for (float sunk : {0.0f, 1e-4f})
        {
            // A rounded lower box: hull half edge 0.9 with radius 0.1, top surface at y = 1 too.
            PairBody g(lowerKind == BZ_SHAPE_ALIGNED_CUBOID
                           ? Box(1.0f)
                           : PolyBox(0.9f, BZ_SHAPE_ROUNDED_POLYHEDRON, 0.1f),
                       2.0f),
                h(PolyBox(0.4f, BZ_SHAPE_ROUNDED_POLYHEDRON, 0.1f));
            h.Move(V(0.2f, 1.5f - sunk, -0.1f), V(0.2f, 1.5f - sunk, -0.1f));
            std::vector<bzV3> want;
            for (int i = 0; i < 4; i++)
                want.push_back(
                    V(0.2f + ((i & 1) ? 0.4f : -0.4f), 1.0f, -0.1f + ((i & 2) ? 0.4f : -0.4f)));
            const std::string what =
                std::string(lowerKind == BZ_SHAPE_ALIGNED_CUBOID ? "rounded box on box"
                                                                 : "rounded box on rounded box") +
                (sunk > 0.0f ? ", sunk in" : "");
            ExpectPatch(g, h, Collide(g, h), want, V(0, 1, 0), 2e-4f, what, 0.0f);
        }
}

TEST_F(PairRestingTest, ShapesApartOrDeepInEachOtherDoNotRest)
{
    // 2 cm above the face (beyond the tolerance of 1 cm) and still: nothing. Sunk in by 5 cm:
    // not resting; its corners start inside and the lighter body is marked.
    PairBody lower(Box(1.0f), 2.0f), upper(Box(0.5f));
    upper.Move(V(0, 1.52f, 0), V(0, 1.52f, 0));
    EXPECT_EQ(Collide(lower, upper), 0);
    EXPECT_EQ(upper.body.collisionState & BZ_BODY_INTERPENETRATING, 0u);
    upper.Move(V(0, 1.45f, 0), V(0, 1.45f, 0));
    EXPECT_EQ(Collide(lower, upper), 0);
    EXPECT_NE(upper.body.collisionState & BZ_BODY_INTERPENETRATING, 0u);
    // Tilted so that only one edge of the upper box's bottom touches the face: the two ends of
    // that edge.
    upper.body.collisionState = 0;
    const float s = 0.5f * 1.41421356f;
    const bzM34 tilt = pairbody::RotationZ(0.785398163f, V(0.1f, 1.0f + s, 0));
    upper.Place(tilt, tilt);
    const int n = Collide(lower, upper);
    ExpectPatch(lower, upper, n, {V(0.1f, 1, -0.5f), V(0.1f, 1, 0.5f)}, V(0, 1, 0), 1e-4f,
                "on one edge");
}

// Either side of the touch (the collision tolerance, 1 cm): a box a hair within it rests on its
// four corners; a hair beyond it, just beyond it, or well beyond it does not, whichever box's
// faces are looked at first (the lighter body comes first) and however the box is turned.
TEST_F(PairRestingTest, RestingEndsAtTheTouchOnEitherBodysFaces)
{
    const float touch = bzCollisionTolerance;
    struct Case
    {
        float gap;
        bool rests;
    };
    const Case cases[] = {
        {0.0f, true},
        {touch - 1e-4f, true},
        {touch - 2e-5f, true},
        {touch + 5e-6f + 1e-6f, false}, // beyond the touch by less than the tie allowance
        {touch + 1.5e-5f, false},
        {touch + 3e-5f, false},
        {touch + 1e-3f, false},
        {0.3f, false},
    };
    for (const Case &c : cases)
        for (float massUpper : {1.0f, 5.0f})
            for (float turn : {0.0f, 0.523598776f})
            {
                PairBody lower(Box(1.0f), 2.0f), upper(Box(0.5f), massUpper);
                const bzM34 at = pairbody::RotationY(turn, V(0.2f, 1.5f + c.gap, -0.1f));
                upper.Place(at, at);
                const int n = Collide(lower, upper);
                const std::string what = "gap " + std::to_string(c.gap) + " mass " +
                                         std::to_string(massUpper) + " turn " +
                                         std::to_string(turn);
                if (c.rests)
                    ExpectPatch(lower, upper, n, BottomCorners(at, 0.5f), V(0, 1, 0), 0.011f, what);
                else
                    EXPECT_EQ(n, 0) << what;
            }
}

TEST_F(PairRestingTest, AStackOfEqualBoxesRestsCornerOnCorner)
{
    // Boxes of one size stacked square meet corner on corner and edge on edge: the patch is
    // the whole face, its four corners, with the face normal, and nothing is marked inside.
    PairBody lower(Box(0.5f), 1.0f), upper(Box(0.5f), 1.0f);
    lower.Move(V(0, 0.5f, 0), V(0, 0.48f, 0));
    upper.Move(V(0, 1.5f, 0), V(0, 1.48f, 0));
    const int n = Collide(lower, upper);
    ExpectPatch(lower, upper, n, BottomCorners(pairtest::Translation(0, 1.5f, 0), 0.5f), V(0, 1, 0),
                1e-4f, "equal boxes");
}
} // namespace
