// The pair handlers through the whole pair collision: polyhedra meeting vertex on face and edge
// across edge, vertices found inside, spheres, tic-tacs and rounded polyhedra, the overlap
// pass, and a property over random pairs of every kind: each contact lies on both shapes at
// its time and its normal separates them.
#include "PairTestBodies.h"

#include "collision/CollisionTolerance.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "physics/BodyPrepare.h"
#include "physics/PairHandlers.h"
#include "physics/PhysMemory.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace
{
using pairbody::PairBody;
using pairtest::AlignedCuboid;
using pairtest::V;

constexpr float kSqrt2 = 1.41421356f;
constexpr double kOnSurface = 0.03;

class PairHandlersTest : public ::testing::Test
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
    // Every contact lies on both bodies at its time and its normal separates them.
    void ExpectPlaced(int n, const char *what)
    {
        for (int i = 0; i < n; i++)
        {
            const pairbody::ContactPlace p = pairbody::Place(contacts_[i]);
            EXPECT_NEAR(p.d1, 0.0, kOnSurface) << what << " contact " << i;
            EXPECT_NEAR(p.d2, 0.0, kOnSurface) << what << " contact " << i;
            EXPECT_LT(p.gap, 2 * kOnSurface) << what << " contact " << i;
            EXPECT_GT(p.separates2, 0.3) << what << " contact " << i;
            EXPECT_GT(p.separates1, 0.3) << what << " contact " << i;
        }
    }
    std::set<uint32_t> Tags(int n) const
    {
        std::set<uint32_t> tags;
        for (int i = 0; i < n; i++)
            tags.insert(contacts_[i].type);
        return tags;
    }

    bzCollisionContact contacts_[BZ_PHYS_STEP_CONTACTS];
    uint32_t stackLeft_ = 0;
};

pairtest::FormPtr Cube(float half = 1.0f)
{
    return AlignedCuboid(V(-half, -half, -half), V(half, half, half));
}

pairtest::FormPtr PolyCube(float half = 1.0f)
{
    return pairtest::Hull(BZ_SHAPE_POLYHEDRON,
                          pairtest::BoxPoints(V(-half, -half, -half), V(half, half, half)));
}

TEST_F(PairHandlersTest, AnEdgeLeadingOntoAFaceGivesVertexFaceContactsAtItsTime)
{
    // B turned 45 degrees about z leads with an edge along z: its two end vertices reach A's
    // face x = 1 when B's centre reaches x = 1 + sqrt 2.
    PairBody a(Cube(), 2.0f), b(PolyCube(0.5f));
    b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
            pairbody::RotationZ(0.785398163f, V(1.5f, 0, 0)));
    const int n = Collide(a, b);
    ASSERT_GE(n, 2);
    const float want = (4.0f - (1.0f + 0.5f * kSqrt2)) / 2.5f;
    for (int i = 0; i < n; i++)
    {
        EXPECT_EQ(contacts_[i].type, BZ_PHYS_CONTACT_VERTEX_FACE);
        EXPECT_NEAR(contacts_[i].key, want, 1e-4f);
        EXPECT_GE(contacts_[i].key, 0.0f);
        EXPECT_LT(contacts_[i].key, 1.0f);
        EXPECT_EQ(contacts_[i].body, b.get());
    }
    ExpectPlaced(n, "vertex on face");
}

TEST_F(PairHandlersTest, TwoCrossedEdgesGiveAnEdgeContactAtTheirTime)
{
    // A turned about y leads with an edge along y at x = sqrt 2; B turned about z leads with an
    // edge along z at its centre - sqrt 2. They meet when B's centre is at 2 sqrt 2.
    PairBody a(PolyCube(), 2.0f), b(PolyCube());
    a.Place(pairbody::RotationY(0.785398163f, V(0, 0, 0)),
            pairbody::RotationY(0.785398163f, V(0, 0, 0)));
    b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
            pairbody::RotationZ(0.785398163f, V(2, 0, 0)));
    const int n = Collide(a, b);
    ASSERT_GE(n, 1);
    EXPECT_EQ(Tags(n), std::set<uint32_t>{BZ_PHYS_CONTACT_SEGMENT});
    const float want = (4.0f - 2.0f * kSqrt2) / 2.0f;
    EXPECT_NEAR(contacts_[0].key, want, 1e-3f);
    ExpectPlaced(n, "edge across edge");
    // The normal pushes the row body along x away from the other.
    const pairbody::ContactPlace p = pairbody::Place(contacts_[0]);
    EXPECT_NEAR(p.p1.x, kSqrt2, 1e-3f);
    EXPECT_NEAR(p.p1.y, 0.0f, 1e-3f);
    EXPECT_NEAR(p.p1.z, 0.0f, 1e-3f);
}

TEST_F(PairHandlersTest, AVertexStartingInsideMarksTheLighterBodyAndAddsNothing)
{
    struct Case
    {
        float massA, massB;
        bool aMarked, bMarked;
    };
    // The vertex belongs to B (the first body when it is the lighter one).
    const Case cases[] = {
        {5.0f, 1.0f, false, true}, {1.0f, 5.0f, true, false}, {2.0f, 2.0f, false, true}};
    for (const Case &c : cases)
    {
        PairBody a(Cube(), c.massA), b(PolyCube(0.5f), c.massB);
        // B turned about z pokes its leading edge (two vertices) into A's face x = 1; no
        // vertex of A lies in B. B stays put.
        const bzM34 at = pairbody::RotationZ(0.785398163f, V(1.6f, 0, 0));
        b.Place(at, at);
        if (c.massA == c.massB)
        {
            // Equal inverse masses keep the order: put B first.
            EXPECT_EQ(Collide(b, a), 0);
        }
        else
            EXPECT_EQ(Collide(a, b), 0);
        const uint32_t both = BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING;
        EXPECT_EQ(a.body.collisionState & both, c.aMarked ? both : 0u) << c.massA << c.massB;
        EXPECT_EQ(b.body.collisionState & both, c.bMarked ? both : 0u) << c.massA << c.massB;
    }
}

TEST_F(PairHandlersTest, WireFramesTouchWithTheirVerticesAndEdgesOnly)
{
    // A wire frame's vertices meet a polyhedron's faces; the polyhedron's vertices never meet
    // the wire frame, which has no faces.
    PairBody a(PolyCube(), 2.0f),
        b(pairtest::Hull(BZ_SHAPE_WIRE_FRAME, pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1))));
    b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
            pairbody::RotationZ(0.785398163f, V(2, 0, 0)));
    const int n = Collide(a, b);
    ASSERT_GE(n, 1);
    for (int i = 0; i < n; i++)
    {
        if (contacts_[i].type == BZ_PHYS_CONTACT_VERTEX_FACE)
        {
            EXPECT_EQ(contacts_[i].body, b.get());
        }
    }
}

TEST_F(PairHandlersTest, SpheresTouchWithinTheStepAtTheEndOrNotAtAll)
{
    struct Case
    {
        float endX;
        float want; // -1: none
    };
    const Case cases[] = {
        {1.9f, (4.0f - 2.0f) / (4.0f - 1.9f)},
        {2.0f + 0.25f * BZ_COLLISION_TOLERANCE_DEFAULT, 1.05f},
        {2.5f, -1.0f},
    };
    for (const Case &c : cases)
    {
        PairBody a(pairtest::Sphere(V(0, 0, 0), 1.0f), 2.0f), b(pairtest::Sphere(V(0, 0, 0), 1.0f));
        b.Move(V(4, 0, 0), V(c.endX, 0, 0));
        const int n = Collide(a, b);
        if (c.want < 0.0f)
        {
            EXPECT_EQ(n, 0) << c.endX;
            continue;
        }
        ASSERT_EQ(n, 1) << c.endX;
        EXPECT_NEAR(contacts_[0].key, c.want, 1e-4f);
        EXPECT_EQ(contacts_[0].type, BZ_PHYS_CONTACT_SPHERE);
        ExpectPlaced(n, "spheres");
    }
}

// Two balls of radius 1 that start the step inside each other find no entry in the sweep.
// While the moving one does not end the step apart (more than the collision tolerance beyond
// touching) they touch at the start, time 0, with the normal of a touch along the line of the
// centres: the same as when the ball comes from outside along that line.
TEST_F(PairHandlersTest, SpheresStartingInsideEachOtherTouchAtTheStart)
{
    PairBody a0(pairtest::Sphere(V(0, 0, 0), 1.0f), 2.0f), b0(pairtest::Sphere(V(0, 0, 0), 1.0f));
    b0.Move(V(4, 0, 0), V(1.9f, 0, 0));
    ASSERT_EQ(Collide(a0, b0), 1);
    const bzV3 along = contacts_[0].normal;
    ASSERT_NEAR(std::fabs(along.x), 1.0f, 1e-4f);
    struct Case
    {
        const char *what;
        float startX, endX;
        int contacts;
    };
    const Case cases[] = {
        {"5 mm inside, closing", 1.995f, 1.9f, 1},
        {"5 mm inside, staying", 1.995f, 1.995f, 1},
        {"30 cm inside, closing", 1.7f, 1.6f, 1},
        {"5 mm inside, parting to 5 mm apart", 1.995f, 2.005f, 1},
        {"5 mm inside, parting clear", 1.995f, 2.5f, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        PairBody a(pairtest::Sphere(V(0, 0, 0), 1.0f), 2.0f), b(pairtest::Sphere(V(0, 0, 0), 1.0f));
        b.Move(V(c.startX, 0, 0), V(c.endX, 0, 0));
        const int n = Collide(a, b);
        ASSERT_EQ(n, c.contacts);
        if (n == 0)
            continue;
        EXPECT_EQ(contacts_[0].type, BZ_PHYS_CONTACT_SPHERE);
        EXPECT_EQ(contacts_[0].key, 0.0f);
        EXPECT_NEAR(contacts_[0].normal.x, along.x, 1e-4f);
        EXPECT_NEAR(contacts_[0].normal.y, 0.0f, 1e-4f);
        EXPECT_NEAR(contacts_[0].normal.z, 0.0f, 1e-4f);
    }
}

// A ball that only touches a face at the end of the step (time 1.05) is held along the face's
// normal at the start: the rows push the bodies as they are now, and a turn of the face's body
// over the trial step (one the solve may well undo) must not tilt the push. A cube of half edge
// 1 at the origin turns 0.04 rad about z over the step; a ball of radius 0.5 comes down from
// 0.1 m above its top face to a quarter of the tolerance above the turned face at x = 0.2. The
// row's normal is the top face's start normal (0, 1, 0), either way round and for both kinds of
// cube; the turned face's normal would lean 0.04 in x.
TEST_F(PairHandlersTest, ABallTouchingAFaceAtTheEndIsHeldAlongTheFacesStartNormal)
{
    const float turn = 0.04f, c = std::cos(turn), sn = std::sin(turn);
    const float above = 1.5f + 0.25f * BZ_COLLISION_TOLERANCE_DEFAULT;
    const bzV3 endAt = V(0.2f * c - above * sn, 0.2f * sn + above * c, 0.0f);
    pairtest::FormPtr (*const cubes[])() = {[] { return Cube(); }, [] { return PolyCube(); }};
    for (int kind = 0; kind < 2; ++kind)
    {
        for (int ballFirst = 0; ballFirst < 2; ++ballFirst)
        {
            SCOPED_TRACE(std::string(kind ? "polyhedron" : "box") +
                         (ballFirst ? ", ball first" : ", cube first"));
            PairBody box(cubes[kind](), 1.0f), ball(pairtest::Sphere(V(0, 0, 0), 0.5f), 1.0f);
            box.Place(pairtest::Identity(), pairbody::RotationZ(turn, V(0, 0, 0)));
            ball.Move(V(0.2f, 1.6f, 0.0f), endAt);
            const int n = ballFirst ? Collide(ball, box) : Collide(box, ball);
            ASSERT_EQ(n, 1);
            EXPECT_NEAR(contacts_[0].key, 1.05f, 1e-6f);
            bzV3 world;
            bz_RotateV3Into(&contacts_[0].body->startTransform, &world, &contacts_[0].normal);
            EXPECT_NEAR(std::fabs(world.y), 1.0f, 1e-5f);
            EXPECT_NEAR(world.x, 0.0f, 1e-5f);
            EXPECT_NEAR(world.z, 0.0f, 1e-5f);
        }
    }
}

TEST_F(PairHandlersTest, RoundShapesAgainstBoxesAndEachOther)
{
    struct Case
    {
        const char *what;
        pairtest::FormPtr (*fixed)();
        pairtest::FormPtr (*moving)();
        float startX, endX;
        float touchX; // the moving body's x at the touch
    };
    const Case cases[] = {
        {"sphere on box", [] { return Cube(); }, [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); },
         3.0f, 1.0f, 1.5f},
        {"box on sphere", [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); }, [] { return Cube(); },
         3.0f, 1.0f, 1.5f},
        {"sphere on polyhedron", [] { return PolyCube(); },
         [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); }, 3.0f, 1.0f, 1.5f},
        {"tic-tac across box", [] { return Cube(); },
         [] { return pairtest::TicTac(V(0, -3, 0), V(0, 3, 0), 0.25f); }, 3.0f, 1.0f, 1.25f},
        {"tic-tac on polyhedron end first", [] { return PolyCube(); },
         [] { return pairtest::TicTac(V(0, 0, 0), V(2, 0, 0), 0.25f); }, 3.0f, 1.0f, 1.25f},
        {"sphere on tic-tac side", [] { return pairtest::TicTac(V(0, -2, 0), V(0, 2, 0), 0.5f); },
         [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); }, 3.0f, 0.5f, 1.0f},
        {"tic-tac side on sphere", [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); },
         [] { return pairtest::TicTac(V(0, -2, 0), V(0, 2, 0), 0.5f); }, 3.0f, 0.5f, 1.0f},
        {"sphere on tic-tac end", [] { return pairtest::TicTac(V(-2, 0, 0), V(0, 0, 0), 0.5f); },
         [] { return pairtest::Sphere(V(0, 0, 0), 0.5f); }, 3.0f, 0.5f, 1.0f},
        {"crossed tic-tacs", [] { return pairtest::TicTac(V(0, -2, 0), V(0, 2, 0), 0.5f); },
         [] { return pairtest::TicTac(V(0, 0, -2), V(0, 0, 2), 0.25f); }, 3.0f, 0.5f, 0.75f},
        {"tic-tacs end to end", [] { return pairtest::TicTac(V(-2, 0, 0), V(0, 0, 0), 0.5f); },
         [] { return pairtest::TicTac(V(0, 0, 0), V(2, 0, 0), 0.25f); }, 3.0f, 0.5f, 0.75f},
    };
    for (const Case &c : cases)
    {
        PairBody a(c.fixed(), 2.0f), b(c.moving());
        b.Move(V(c.startX, 0, 0), V(c.endX, 0, 0));
        const int n = Collide(a, b);
        ASSERT_GE(n, 1) << c.what;
        EXPECT_NEAR(contacts_[0].key, (c.startX - c.touchX) / (c.startX - c.endX), 2e-3f) << c.what;
        ExpectPlaced(n, c.what);
    }
}

// A tic-tac record carries no end flag: both ends of each tic-tac take part in the end tests,
// whichever end faces the other and whether or not the two bodies share a parent.
TEST_F(PairHandlersTest, BothEndsOfEitherTicTacMeetTheOtherWithOrWithoutACommonParent)
{
    // A (radius 0.5) lies along x with one end at the origin; B (radius 0.25) lies along x
    // with one end facing it and moves from x = 3 to x = 0.5: the end spheres meet when B's
    // facing end is at x = 0.75, at time (3 - 0.75) / 2.5 = 0.9, at the point x = 0.5.
    struct Case
    {
        const char *what;
        bzV3 a0, a1, b0, b1;
    };
    const Case cases[] = {
        {"second end of A, first of B", V(-2, 0, 0), V(0, 0, 0), V(0, 0, 0), V(2, 0, 0)},
        {"first end of A, first of B", V(0, 0, 0), V(-2, 0, 0), V(0, 0, 0), V(2, 0, 0)},
        {"second end of A, second of B", V(-2, 0, 0), V(0, 0, 0), V(2, 0, 0), V(0, 0, 0)},
        {"first end of A, second of B", V(0, 0, 0), V(-2, 0, 0), V(2, 0, 0), V(0, 0, 0)},
    };
    BZDObject parent1{}, parent2{};
    for (const Case &c : cases)
        for (int parents = 0; parents < 3; parents++)
        {
            PairBody a(pairtest::TicTac(c.a0, c.a1, 0.5f), 2.0f),
                b(pairtest::TicTac(c.b0, c.b1, 0.25f));
            // None, one each, or the same one.
            a.body.parent = parents ? &parent1 : nullptr;
            b.body.parent = parents == 1 ? &parent2 : (parents == 2 ? &parent1 : nullptr);
            b.Move(V(3.0f, 0, 0), V(0.5f, 0, 0));
            const std::string what = std::string(c.what) + " parents " + std::to_string(parents);
            const int n = Collide(a, b);
            ASSERT_GE(n, 1) << what;
            EXPECT_NEAR(contacts_[0].key, 0.9f, 2e-3f) << what;
            const pairbody::ContactPlace p = pairbody::Place(contacts_[0]);
            EXPECT_NEAR(p.p1.x, 0.5f, 2e-3f) << what;
            EXPECT_NEAR(p.p2.x, 0.5f, 2e-3f) << what;
            ExpectPlaced(n, what.c_str());
        }
}

TEST_F(PairHandlersTest, RoundedPolyhedraTouchOffsetByTheirRoundingRadius)
{
    const float rho = 0.2f;
    auto rounded = [&]
    {
        return pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON,
                              pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1)), rho);
    };
    struct Case
    {
        const char *what;
        pairtest::FormPtr moving;
        float touchX;
    };
    Case cases[] = {
        {"box", Cube(), 2.0f + rho},
        {"polyhedron", PolyCube(), 2.0f + rho},
        {"sphere", pairtest::Sphere(V(0, 0, 0), 0.5f), 1.5f + rho},
        {"tic-tac", pairtest::TicTac(V(0, -3, 0), V(0, 3, 0), 0.3f), 1.3f + rho},
        {"rounded", rounded(), 2.0f + 2.0f * rho},
    };
    for (Case &c : cases)
    {
        for (int order = 0; order < 2; order++)
        {
            // Either body first: the lighter one is.
            PairBody a(rounded(), order ? 0.5f : 2.0f), b(pairtest::FormPtr(nullptr));
            b.body.form = c.moving.get();
            b.Move(V(4, 0, 0), V(1.0f, 0, 0));
            const int n = Collide(a, b);
            ASSERT_GE(n, 1) << c.what << " order " << order;
            EXPECT_NEAR(contacts_[0].key, (4.0f - c.touchX) / 3.0f, 2e-3f)
                << c.what << " order " << order;
            // The rounded body's point lies rho out from its hull's face x = 1.
            const pairbody::ContactPlace p = pairbody::Place(contacts_[0]);
            EXPECT_NEAR(p.p1.x, 1.0f + rho, 5e-3f) << c.what;
            ExpectPlaced(n, c.what);
        }
    }
}

// The overlap pass: A is already interpenetrating; B's box has pushed its turned edge into A
// through A's face x = 1 and moves on towards A.
TEST_F(PairHandlersTest, TheOverlapPassPushesCrossingEdgesApartAtTimeZero)
{
    for (int towards = 0; towards < 2; towards++)
    {
        PairBody a(PolyCube(), 2.0f), b(PolyCube(0.8f));
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        const bzM34 at = pairbody::RotationZ(0.785398163f, V(1.8f, 0.3f, 0));
        b.Place(at, at);
        b.body.linearVelocity = V(towards ? -1.0f : 1.0f, 0, 0);
        const int n = Collide(a, b);
        EXPECT_EQ(a.body.collisionState & BZ_BODY_OVERLAPPING, BZ_BODY_OVERLAPPING);
        EXPECT_EQ(b.body.collisionState & BZ_BODY_OVERLAPPING, 0u);
        if (!towards)
        {
            EXPECT_EQ(n, 0);
            continue;
        }
        ASSERT_GE(n, 1);
        for (int i = 0; i < n; i++)
        {
            EXPECT_EQ(contacts_[i].key, 0.0f);
            EXPECT_EQ(contacts_[i].type, BZ_PHYS_CONTACT_SEGMENT);
            // Only crossings of A's face x = 1, which faces B, are kept: the normal pushes B
            // along +x (or A along -x).
            bzV3 n1;
            bz_RotateV3Into(&contacts_[i].body->startTransform, &n1, &contacts_[i].normal);
            const float along = contacts_[i].body == b.get() ? n1.x : -n1.x;
            EXPECT_NEAR(along, 1.0f, 1e-4f);
        }
        EXPECT_EQ(a.body.linkPartner, b.get());
        EXPECT_EQ(b.body.linkPartner, a.get());
    }
}

// Two boxes at rest inside each other, found so by the overlap pass: no crossing edge closes on
// the other, yet they must come apart. They are pushed out along the face direction in which
// they lie least deep in each other (each contact's normal along it, pushing its body away from
// the other), each contact carrying that depth between its two points, so that the row asks for
// what undoes it. So too with equal boxes at one height, whose edges lie in each other's faces
// and cross nothing with one end inside, and with a body the pass has linked to a third body
// (which keeps that link). Bodies already parting at 1 m/s get no push.
TEST_F(PairHandlersTest, BoxesAtRestInsideEachOtherArePushedOutAlongTheirLeastDepth)
{
    struct Case
    {
        const char *what;
        bool poly;   // polyhedra, else aligned boxes
        float halfB; // A's half edge is 1
        bzV3 at;     // B's centre, A at the origin
        bzV3 axis;   // the least depth's direction
        float depth; // 1 + halfB less the offset along it
    };
    const Case cases[] = {
        {"boxes 5 cm deep along x", false, 0.8f, V(1.75f, 0.3f, 0.0f), V(1, 0, 0), 0.05f},
        {"equal boxes at one height", false, 1.0f, V(0.3f, 0.0f, 0.2f), V(1, 0, 0), 1.7f},
        {"polyhedra 5 cm deep along y", true, 0.8f, V(0.2f, 1.75f, 0.1f), V(0, 1, 0), 0.05f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        PairBody a(c.poly ? PolyCube() : Cube(), 2.0f),
            b(c.poly ? PolyCube(c.halfB) : Cube(c.halfB));
        PairBody third(Cube(), 1.0f);
        b.Move(c.at, c.at);
        for (int linked = 0; linked < 2; linked++)
        {
            a.body.collisionState = BZ_BODY_INTERPENETRATING;
            b.body.collisionState = 0;
            a.body.linkPartner = linked ? third.get() : nullptr;
            b.body.linkPartner = nullptr;
            b.body.linearVelocity = V(0, 0, 0);
            const int n = Collide(a, b);
            EXPECT_TRUE(bz_PhysColl_Pair().overlap);
            ASSERT_GE(n, 1) << linked;
            for (int i = 0; i < n; i++)
            {
                const bzCollisionContact &k = contacts_[i];
                EXPECT_EQ(k.key, 0.0f);
                const pairbody::ContactPlace p = pairbody::Place(k);
                bzV3 normal;
                bz_RotateV3Into(&k.body->startTransform, &normal, &k.normal);
                const float along = bz_V3_Dot(&normal, &c.axis);
                EXPECT_NEAR(std::fabs(along), 1.0f, 1e-5f) << i;
                // Away from the other body: B lies on the axis' plus side of A.
                EXPECT_NEAR(along, k.body == b.get() ? 1.0f : -1.0f, 1e-5f) << i;
                bzV3 apart;
                bz_V3_SubInto(&p.p2, &p.p1, &apart);
                EXPECT_NEAR(bz_V3_Dot(&apart, &normal), c.depth, 1e-4f) << i;
            }
            if (linked)
            {
                EXPECT_EQ(a.body.linkPartner, third.get());
            }
            else
            {
                EXPECT_EQ(a.body.linkPartner, b.get());
                EXPECT_EQ(b.body.linkPartner, a.get());
            }
        }
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        a.body.linkPartner = b.body.linkPartner = nullptr;
        b.body.linearVelocity = c.axis;
        EXPECT_EQ(Collide(a, b), 0) << "parting at 1 m/s";
    }
}

TEST_F(PairHandlersTest, CrossingsOfFacesTurnedAwayFromTheOtherCentreAreDropped)
{
    // A long slab reaching into A's corner region from far along +x: its edges along x cross
    // A's face x = 1, which faces the slab's centre; its edges along y cross A's face y = 1,
    // which is turned away from it (-0.2 rule). Both would approach; only the first are kept.
    PairBody a(PolyCube(), 2.0f),
        b(pairtest::Hull(BZ_SHAPE_POLYHEDRON,
                         pairtest::BoxPoints(V(0.4f, 0.8f, -0.1f), V(20.0f, 2.8f, 0.1f))));
    a.body.collisionState = BZ_BODY_INTERPENETRATING;
    b.body.linearVelocity = V(-1, -1, 0);
    const int n = Collide(a, b);
    ASSERT_GE(n, 1);
    for (int i = 0; i < n; i++)
    {
        bzV3 n1;
        bz_RotateV3Into(&contacts_[i].body->startTransform, &n1, &contacts_[i].normal);
        EXPECT_NEAR(std::fabs(n1.x), 1.0f, 1e-4f) << i;
        EXPECT_NEAR(n1.y, 0.0f, 1e-4f) << i;
    }
}

TEST_F(PairHandlersTest, RoundedPairsInTheOverlapPassKeepContactsAlongTheCentreDirection)
{
    auto rounded = []
    {
        return pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON,
                              pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1)), 0.1f);
    };
    PairBody a(rounded(), 2.0f), b(rounded());
    a.body.collisionState = BZ_BODY_INTERPENETRATING;
    const bzM34 at = pairbody::RotationZ(0.785398163f, V(2.2f, 0.4f, 0.1f));
    b.Place(at, at);
    b.body.linearVelocity = V(-1, 0, 0);
    const int n = Collide(a, b);
    EXPECT_EQ(a.form->firstShape->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    EXPECT_EQ(b.form->firstShape->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    ASSERT_GE(n, 1);
    // The centre direction of each body: from the other's centre towards its own.
    for (int i = 0; i < n; i++)
    {
        const bool isB = contacts_[i].body == b.get();
        bzV3 dir = isB ? V(2.2f, 0.4f, 0.1f) : V(-2.2f, -0.4f, -0.1f);
        bz_V3_Normalise(&dir);
        bzV3 local;
        bz_M34_InverseRotateV3Into(&contacts_[i].body->startTransform, &local, &dir);
        EXPECT_GE(bz_V3_Dot(&contacts_[i].normal, &local), 0.1f) << i;
    }
}

TEST_F(PairHandlersTest, OverlapShapesAndPointSetsSetTheOverlapWithoutContacts)
{
    // A tic-tac through a polyhedron (OS) and a rounded polyhedron against a box (OV): the
    // overlap pass finds them and ends with no contacts.
    PairBody a(PolyCube(), 2.0f), b(pairtest::TicTac(V(0, -2, 0), V(0, 2, 0), 0.5f));
    b.Move(V(0.5f, 0, 0), V(0.5f, 0, 0));
    a.body.collisionState = BZ_BODY_INTERPENETRATING;
    EXPECT_EQ(Collide(a, b), 0);
    EXPECT_EQ(a.body.collisionState & BZ_BODY_OVERLAPPING, BZ_BODY_OVERLAPPING);
    // Apart, the overlap pass finds nothing and the contact pass runs.
    b.Move(V(2.0f, 0, 0), V(1.0f, 0, 0));
    EXPECT_GE(Collide(a, b), 1);
    EXPECT_EQ(a.body.collisionState & BZ_BODY_OVERLAPPING, BZ_BODY_OVERLAPPING);

    PairBody c(pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON,
                              pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1)), 0.2f),
               2.0f),
        d(Cube());
    d.Move(V(2.1f, 0, 0), V(2.1f, 0, 0));
    d.body.collisionState = BZ_BODY_INTERPENETRATING;
    EXPECT_EQ(Collide(c, d), 0);
    EXPECT_EQ(d.body.collisionState & BZ_BODY_OVERLAPPING, BZ_BODY_OVERLAPPING);
}

TEST_F(PairHandlersTest, TablesHaveTheirCells)
{
    struct Cell
    {
        uint32_t row, column;
        bzPhysPairHandler contact, overlap;
    };
    const Cell cells[] = {
        {1, 1, bz_PhysColl_PolyhedronPair, bz_PhysColl_OverlapPolyhedronPair},
        {1, 3, bz_PhysColl_PolyhedronPair, bz_PhysColl_OverlapNone},
        {1, 5, bz_PhysColl_PolyhedronSphere, bz_PhysColl_OverlapNone},
        {1, 6, bz_PhysColl_PolyhedronTicTac, bz_PhysColl_OverlapShapes},
        {1, 10, bz_PhysColl_RoundedBox, bz_PhysColl_OverlapPolyhedra},
        {2, 10, bz_PhysColl_RoundedPolyhedron, bz_PhysColl_RoundedPair},
        {4, 2, bz_PhysColl_PolyhedronPair, bz_PhysColl_OverlapNone},
        {5, 5, bz_PhysColl_SphereSphere, bz_PhysColl_OverlapNone},
        {5, 6, bz_PhysColl_SphereTicTac, bz_PhysColl_OverlapNone},
        {5, 10, bz_PhysColl_RoundedSphere, bz_PhysColl_OverlapShapes},
        {6, 1, bz_PhysColl_TicTacPolyhedron, bz_PhysColl_OverlapNone},
        {6, 2, bz_PhysColl_TicTacPolyhedron, bz_PhysColl_OverlapShapes},
        {6, 5, bz_PhysColl_TicTacSphere, bz_PhysColl_OverlapNone},
        {6, 6, bz_PhysColl_TicTacTicTac, bz_PhysColl_OverlapNone},
        {6, 10, bz_PhysColl_TicTacRounded, bz_PhysColl_OverlapShapes},
        {10, 1, bz_PhysColl_RoundedBox, bz_PhysColl_OverlapPolyhedra},
        {10, 5, bz_PhysColl_RoundedSphere, bz_PhysColl_OverlapShapes},
        {10, 10, bz_PhysColl_RoundedPolyhedron, bz_PhysColl_RoundedPair},
        {10, 11, bz_PhysColl_RoundedPolyhedron, bz_PhysColl_RoundedPair},
        {11, 10, bz_PhysColl_RoundedBox, bz_PhysColl_OverlapPolyhedra},
        {11, 2, bz_PhysColl_PolyhedronPair, bz_PhysColl_OverlapPolyhedronPair},
        {0, 5, bz_PhysColl_PairNull, bz_PhysColl_PairNull},
        {5, 0, bz_PhysColl_PairNull, bz_PhysColl_PairNull},
        {7, 1, bz_PhysColl_PairUnsupported, bz_PhysColl_OverlapUnsupported},
        {2, 9, bz_PhysColl_PairUnsupported, bz_PhysColl_OverlapUnsupported},
    };
    for (const Cell &c : cells)
    {
        EXPECT_EQ(bz_PhysColl_ContactHandler(c.row, c.column), c.contact)
            << c.row << " " << c.column;
        EXPECT_EQ(bz_PhysColl_OverlapHandler(c.row, c.column), c.overlap)
            << c.row << " " << c.column;
    }
}

// The start transform turned further by `angle` about the world axis through its origin.
bzM34 Turned(const bzM34 &start, const bzV3 &axis, float angle)
{
    const float c = std::cos(angle), sn = std::sin(angle), u = 1.0f - c;
    const float x = axis.x, y = axis.y, z = axis.z;
    const float r[3][3] = {{c + x * x * u, x * y * u - z * sn, x * z * u + y * sn},
                           {y * x * u + z * sn, c + y * y * u, y * z * u - x * sn},
                           {z * x * u - y * sn, z * y * u + x * sn, c + z * z * u}};
    bzM34 m = start;
    for (int k = 0; k < 3; k++)
        for (int j = 0; j < 3; j++)
            m.row[k].v[j] =
                r[j][0] * start.row[k].x + r[j][1] * start.row[k].y + r[j][2] * start.row[k].z;
    return m;
}

// How far the pair collision's model of the step (a body's point moving in a straight line
// through the other body's frame) strays from the true motion for one point at time t: the
// point is given relative to its body's centre of mass, in its own frame.
double PointModelError(const BZDObject *own, const BZDObject *other, const bzV3 &relative, float t)
{
    const bzV3 p = V(relative.x + own->centreOfMass.x, relative.y + own->centreOfMass.y,
                     relative.z + own->centreOfMass.z);
    auto inOther = [&](float at)
    {
        const bzM34 po = pairbody::PoseAt(own, at), pt = pairbody::PoseAt(other, at);
        bzV3 w, r;
        bz_M34_TransformPointInto(&po, &w, &p);
        bz_M34_InverseTransformPointInto(&pt, &r, &w);
        return r;
    };
    const bzV3 s0 = inOther(0.0f), s1 = inOther(1.0f), truth = inOther(t);
    const pairbody::D3 line = {s0.x + t * (s1.x - s0.x), s0.y + t * (s1.y - s0.y),
                               s0.z + t * (s1.z - s0.z)};
    return pairbody::Len(pairbody::Sub(pairbody::D(truth), line));
}

// How far the pair collision's model of the step (each body's points moving in a straight
// line through the other body's frame) strays from the bodies' true motion: the largest
// distance, over the corners of both forms' boxes and a few times within the step, between a
// corner's true place in the other body's frame and its place on that line.
double ModelError(const BZDObject *a, const BZDObject *b)
{
    double worst = 0.0;
    const BZDObject *bodies[2] = {a, b};
    for (int k = 0; k < 2; k++)
    {
        const BZDObject *own = bodies[k], *other = bodies[1 - k];
        const bzBox &box = own->form->bounds;
        auto inOther = [&](const bzV3 &p, float t)
        {
            const bzM34 po = pairbody::PoseAt(own, t), pt = pairbody::PoseAt(other, t);
            bzV3 w, r;
            bz_M34_TransformPointInto(&po, &w, &p);
            bz_M34_InverseTransformPointInto(&pt, &r, &w);
            return r;
        };
        for (int i = 0; i < 8; i++)
        {
            const bzV3 p = V((i & 1) ? box.max.x : box.min.x, (i & 2) ? box.max.y : box.min.y,
                             (i & 4) ? box.max.z : box.min.z);
            const bzV3 s0 = inOther(p, 0.0f), s1 = inOther(p, 1.0f);
            for (float t : {0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 0.75f, 0.875f})
            {
                const bzV3 truth = inOther(p, t);
                const pairbody::D3 line = {s0.x + t * (s1.x - s0.x), s0.y + t * (s1.y - s0.y),
                                           s0.z + t * (s1.z - s0.z)};
                worst = std::max(worst, pairbody::Len(pairbody::Sub(pairbody::D(truth), line)));
            }
        }
    }
    return worst;
}

// The distance of the farthest corner of the body's form box from its origin.
float Reach(const BZDObject *b)
{
    const bzBox &box = b->form->bounds;
    float r = 0.0f;
    for (int i = 0; i < 8; i++)
    {
        const bzV3 p = V((i & 1) ? box.max.x : box.min.x, (i & 2) ? box.max.y : box.min.y,
                         (i & 4) ? box.max.z : box.min.z);
        r = std::max(r, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
    }
    return r;
}

// Random pairs of every kind with a solid, each body turned at random, B moving in a straight
// line towards A, and (turning) both turning at an even rate about a random axis over the
// step: every contact lies on both shapes at its time and its normal separates them. Turning
// bodies' points are held to the tolerance plus how far the straight-line model of the step
// strays from the true motion at that point and time (PointModelError).
void RandomPairs(bzCollisionContact *contacts, bool turning, int trials, int *checkedOut,
                 double *worstModelOut, int *borderOut)
{
    std::mt19937 rng(turning ? 20261212 : 20261211);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    auto randomHull = [&](bzShapeKind kind)
    {
        std::vector<bzV3> pts;
        for (int i = 0; i < 14; i++)
            pts.push_back(V(u(rng), u(rng) * 0.8f, u(rng) * 0.6f));
        for (const bzV3 &c : pairtest::BoxPoints(V(-0.5f, -0.4f, -0.3f), V(0.5f, 0.4f, 0.3f)))
            pts.push_back(c);
        return pairtest::Hull(kind, pts, 0.15f);
    };
    auto make = [&](int k) -> pairtest::FormPtr
    {
        switch (k)
        {
        case 0: return AlignedCuboid(V(-0.8f, -0.5f, -0.6f), V(0.8f, 0.5f, 0.6f));
        case 1: return randomHull(BZ_SHAPE_POLYHEDRON);
        case 2: return pairtest::Sphere(V(0.1f, 0, 0), 0.7f);
        case 3: return pairtest::TicTac(V(-0.6f, 0, 0), V(0.6f, 0.2f, 0), 0.4f);
        case 4: return randomHull(BZ_SHAPE_ROUNDED_POLYHEDRON);
        default: return pairtest::CrushableCuboid(V(-0.6f, -0.6f, -0.6f), V(0.6f, 0.6f, 0.6f));
        }
    };
    auto randomAxis = [&]()
    {
        bzV3 d = V(u(rng), u(rng), u(rng));
        bz_V3_Normalise(&d);
        return d;
    };
    const char *names[] = {"box", "polyhedron", "sphere", "tic-tac", "rounded", "crushable"};
    int withContacts = 0, checked = 0;
    double worstModel = 0.0;
    for (int ka = 0; ka < 6; ka++)
        for (int kb = 0; kb < 6; kb++)
        {
            int pairContacts = 0;
            for (int trial = 0; trial < trials; trial++)
            {
                PairBody a(make(ka), 2.0f), b(make(kb));
                const bzM34 ra = pairtest::RandomPlacement(rng, 0.3f);
                bzM34 rb = pairtest::RandomPlacement(rng, 0.0f);
                // B starts away in a random direction and ends near A's centre.
                const bzV3 dir = randomAxis();
                // Turning bodies start just clear of each other (their bounding spheres apart,
                // A's origin being up to 0.3 off along each axis), so that the step stays
                // short and the straight-line model close to the true motion.
                const float from = turning ? Reach(a.get()) + Reach(b.get()) + 0.55f : 4.0f;
                bzM34 startB = rb, endB = rb;
                startB.row[3] = V(from * dir.x, from * dir.y, from * dir.z);
                endB.row[3] = V(0.8f * dir.x + 0.2f * u(rng), 0.8f * dir.y + 0.2f * u(rng),
                                0.8f * dir.z + 0.2f * u(rng));
                bzM34 endA = ra;
                if (turning)
                {
                    // A turns by up to 0.1 radians, B by up to 0.4 (2.5 and 10 radians a second
                    // over a step of 0.04 s), each about its origin.
                    endA = Turned(ra, randomAxis(), 0.1f * u(rng));
                    const bzM34 turnedB = Turned(startB, randomAxis(), 0.4f * u(rng));
                    for (int r = 0; r < 3; r++)
                        endB.row[r] = turnedB.row[r];
                }
                a.Place(ra, endA);
                b.Place(startB, endB);
                // The transform at t = 1 is the end transform.
                const bzM34 check = pairbody::PoseAt(b.get(), 1.0f);
                for (int r = 0; r < 4; r++)
                    for (int j = 0; j < 3; j++)
                        ASSERT_NEAR(check.row[r].v[j], endB.row[r].v[j], 1e-5f);
                const double model = turning ? ModelError(a.get(), b.get()) : 0.0;
                worstModel = std::max(worstModel, model);
                for (int i = 0; i < BZ_PHYS_STEP_CONTACTS; i++)
                    contacts[i] = bzCollisionContact{};
                const int n = bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts);
                pairContacts += n;
                // Contacts at the first time found are where the bodies first touch: on both
                // surfaces with a separating normal. Later ones may find the bodies already
                // overlapping elsewhere; their two points still meet at their time.
                const float first = n > 0 ? contacts[0].key : 0.0f;
                for (int i = 0; i < n; i++)
                {
                    const bzCollisionContact &c = contacts[i];
                    EXPECT_TRUE((c.key >= 0.0f && c.key < 1.0f) || c.key == 1.05f || c.key == 1.01f)
                        << c.key;
                    EXPECT_GE(c.key, first);
                    const pairbody::ContactPlace p = pairbody::Place(c);
                    // Turning, each point is held to the tolerance plus how far the
                    // straight-line model strays from the true motion there.
                    const double onSurface =
                        kOnSurface +
                        (turning ? PointModelError(c.body, c.otherBody, c.point, p.t) +
                                       PointModelError(c.otherBody, c.body, c.otherPoint, p.t)
                                 : 0.0);
                    const std::string what = std::string(names[ka]) + " / " + names[kb] +
                                             " trial " + std::to_string(trial) + " tag " +
                                             std::to_string(c.type);
                    EXPECT_LT(p.gap, 2 * onSurface) << what;
                    if (c.key > first + 1e-3f)
                        continue;
                    EXPECT_NEAR(p.d1, 0.0, onSurface) << what;
                    EXPECT_NEAR(p.d2, 0.0, onSurface) << what;
                    // The normal separates the bodies: it turns away from each surface at its
                    // point. Turning, a sharp vertex's outward direction (its nearby surface's)
                    // can lie far from a normal that still separates, so there the plane through
                    // the point across the normal, with each body on its own side, also counts.
                    if (turning)
                    {
                        // A vertex that meets a face right at its border gets the face's normal
                        // while its body may reach past that face's plane beside the other: such
                        // border touches are counted, and must stay rare.
                        const bool separates = (p.separates2 > 0.0 || p.reach2 < onSurface) &&
                                               (p.separates1 > 0.0 || p.reach1 < onSurface);
                        if (!separates)
                            (*borderOut)++;
                    }
                    else
                    {
                        EXPECT_GT(p.separates2, 0.0) << what;
                        EXPECT_GT(p.separates1, 0.0) << what;
                    }
                    checked++;
                }
            }
            if (pairContacts > 0)
                withContacts++;
            else
                ADD_FAILURE() << names[ka] << " / " << names[kb] << " never touched";
        }
    EXPECT_EQ(withContacts, 36);
    *checkedOut = checked;
    *worstModelOut = worstModel;
}

TEST_F(PairHandlersTest, RandomPairsOfEveryKindGiveContactsOnBothSurfaces)
{
    int checked = 0, border = 0;
    double model = 0.0;
    RandomPairs(contacts_, false, 40, &checked, &model, &border);
    EXPECT_GT(checked, 500);
    EXPECT_EQ(model, 0.0);
}

TEST_F(PairHandlersTest, RandomTurningPairsOfEveryKindGiveContactsOnBothSurfaces)
{
    int checked = 0, border = 0;
    double model = 0.0;
    RandomPairs(contacts_, true, 40, &checked, &model, &border);
    EXPECT_GT(checked, 1000);
    // The turns are large enough for the straight-line model to stray from the true motion by
    // more than the tolerance somewhere.
    EXPECT_GT(model, kOnSurface);
    // Border touches are the rare exception.
    EXPECT_LT(border * 100, checked) << border << " of " << checked;
}
TEST_F(PairHandlersTest, BadInputGivesAnErrorOrNoContactsNeverAnOverrun)
{
    KeepAlive keep;
    // Two wire frames: no faces on either side, edges only.
    {
        PairBody a(
            pairtest::Hull(BZ_SHAPE_WIRE_FRAME, pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1))),
            2.0f),
            b(pairtest::Hull(BZ_SHAPE_WIRE_FRAME, pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1))));
        b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
                pairbody::RotationZ(0.785398163f, V(1.5f, 0, 0)));
        const int n = Collide(a, b);
        EXPECT_EQ(Tags(n).count(BZ_PHYS_CONTACT_VERTEX_FACE), 0u);
    }
    // Coincident starts: every vertex starts on the other's surface, counted inside.
    {
        PairBody a(Cube(), 2.0f), b(Cube());
        const int n = Collide(a, b);
        EXPECT_EQ(n, 0);
        EXPECT_NE(b.body.collisionState & BZ_BODY_INTERPENETRATING, 0u);
    }
    // A pose that is not a number: nothing, or the error of a time that cannot be ordered.
    {
        PairBody a(Cube(), 2.0f), b(PolyCube());
        bzM34 bad = pairtest::Translation(NAN, 0, 0);
        b.Place(pairtest::Translation(4, 0, 0), bad);
        const int n = Collide(a, b);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, 4);
    }
}

TEST_F(PairHandlersTest, RoundedShapesOfManyVerticesOrNoRadius)
{
    // A rounded polyhedron of 48 vertices on a sphere of radius 1: every vertex takes part (no
    // vertex is passed by for sharing a bit with another), so the first touch of a box
    // approaching along x lies on both surfaces.
    std::vector<bzV3> points;
    for (int i = 0; i < 48; i++)
    {
        const float z = -1.0f + (2.0f * i + 1.0f) / 48.0f;
        const float r = std::sqrt(1.0f - z * z), phi = 2.39996323f * i;
        points.push_back(V(r * std::cos(phi), r * std::sin(phi), z));
    }
    for (float rho : {0.25f, 0.0f})
    {
        PairBody a(pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, points, rho), 2.0f), b(Cube(0.5f));
        ASSERT_GT(bz_Shape_Hull(a.form->firstShape)->vertexCount, 32);
        b.Place(pairbody::RotationZ(0.6f, V(4, 0.1f, 0.05f)),
                pairbody::RotationZ(0.6f, V(0.5f, 0.1f, 0.05f)));
        const int n = Collide(a, b);
        ASSERT_GE(n, 1) << rho;
        int first = 0;
        while (first < n && contacts_[first].key <= contacts_[0].key + 1e-3f)
            first++;
        ExpectPlaced(first, rho > 0.0f ? "rounded of 48" : "rounded of radius 0");
    }
}

TEST_F(PairHandlersTest, ACapsuleTouchesAShapeByItsEndsOrAcrossAnEdge)
{
    auto box = Cube();
    const bzShape *shape = box->firstShape;
    bzV3 corners[8];
    for (int i = 0; i < 8; i++)
        bz_Shape_GetCorner(shape, i, &corners[i]);
    struct Case
    {
        const char *what;
        bzV3 a, b;
        int want;
    };
    const Case cases[] = {
        {"end sphere on a face", V(1.2f, 0, 0), V(3, 0, 0), 1},
        {"end sphere short of a face", V(1.4f, 0, 0), V(3, 0, 0), 0},
        // Along the edge x = 1, y = 1 (parallel: not tested) and across it, 0.28 from it.
        {"along an edge", V(1.1768f, 1.1768f, -3), V(1.1768f, 1.1768f, 3), 0},
        {"across an edge", V(2.2f, 0.2f, 0), V(0.2f, 2.2f, 0), 1},
        {"over the top corners", V(3, 3, 1.2f), V(-3, -3, 1.2f), 1},
        {"well over the top", V(3, 3, 1.5f), V(-3, -3, 1.5f), 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(
            bz_PhysColl_TicTacTouchesEdges(&c.a, &c.b, 0.3f, shape, bzgCuboidEdges, 12, corners, 8),
            c.want)
            << c.what;
}

TEST_F(PairHandlersTest, AStoredContactIsAddedAgainAsAVertexContact)
{
    PairBody a(Cube(), 2.0f), b(Cube());
    b.Move(V(4, 0, 0), V(1.5f, 0, 0));
    ASSERT_GE(Collide(a, b), 1);
    const bzCollisionContact stored = contacts_[0];
    bzPhysCollPair &s = bz_PhysColl_Pair();
    bzCollisionContact list[4];
    s.out = list;
    s.count = 0;
    ASSERT_EQ(bz_PhysColl_ReAddContact(&stored), 1);
    EXPECT_EQ(list[0].key, stored.key);
    EXPECT_EQ(list[0].body, stored.body);
    EXPECT_EQ(list[0].type, BZ_PHYS_CONTACT_VERTEX_FACE);
    for (int i = 0; i < 3; i++)
    {
        EXPECT_NEAR(list[0].point.v[i], stored.point.v[i], 1e-6f);
        EXPECT_NEAR(list[0].otherPoint.v[i], stored.otherPoint.v[i], 1e-6f);
        EXPECT_NEAR(list[0].normal.v[i], stored.normal.v[i], 1e-6f);
        EXPECT_NEAR(list[0].otherNormal.v[i], stored.otherNormal.v[i], 1e-6f);
    }
}

} // namespace

// A body the overlap pass has linked to a third body gets no push-out contacts from crossings
// with another: whatever the poses, the pair reports the overlap exactly as the unlinked pair
// does (the oracle: the same poses run with no links), and no link changes. Two bodies at rest
// inside each other are still pushed apart along their least depth: at rest, the linked pair
// gets the unlinked pair's contacts; moving, whatever it gets is at time 0 and pushes each body
// away from the other's centre.
TEST_F(PairHandlersTest, ABodyLinkedElsewhereOnlyReportsTheOverlapOfItsCrossings)
{
    std::mt19937 random(39);
    std::uniform_real_distribution<float> place(-2.8f, 2.8f), turn(0.0f, 3.14159265f),
        speed(-1.0f, 1.0f);
    struct Kinds
    {
        const char *what;
        bool polyA, polyB;
    };
    const Kinds kinds[] = {{"boxes", false, false},
                           {"box and polyhedron", false, true},
                           {"polyhedron and box", true, false},
                           {"polyhedra", true, true}};
    int overlapping = 0, pushed = 0, apart = 0, restingPushed = 0;
    for (const Kinds &k : kinds)
    {
        PairBody a(k.polyA ? PolyCube() : Cube(), 2.0f), b(k.polyB ? PolyCube(0.8f) : Cube(0.8f));
        PairBody third(Cube(), 1.0f), fourth(Cube(), 1.0f);
        for (int i = 0; i < 150; i++)
        {
            const bzM34 at = pairbody::RotationZ(
                turn(random), V(place(random), place(random), 0.5f * place(random)));
            b.Place(at, at);
            const bzV3 velocity = V(speed(random), speed(random), speed(random));
            for (int resting = 0; resting < 2; resting++)
            {
                b.body.linearVelocity = resting ? V(0, 0, 0) : velocity;
                // linked: 0 none (the oracle), 1 the first body elsewhere, 2 both elsewhere.
                int unlinkedCount = 0, unlinkedOverlap = 0;
                uint32_t unlinkedState[2] = {0, 0};
                for (int linked = 0; linked < 3; linked++)
                {
                    a.body.collisionState = BZ_BODY_INTERPENETRATING;
                    b.body.collisionState = 0;
                    a.body.linkPartner = linked >= 1 ? third.get() : nullptr;
                    b.body.linkPartner = linked == 2 ? fourth.get() : nullptr;
                    // Pairs whose points already lie apart leave the pass's flag untouched.
                    bz_PhysColl_Pair().overlap = 0;
                    const int n = Collide(a, b);
                    const int overlap = bz_PhysColl_Pair().overlap;
                    if (linked == 0)
                    {
                        unlinkedCount = n;
                        unlinkedOverlap = overlap;
                        unlinkedState[0] = a.body.collisionState;
                        unlinkedState[1] = b.body.collisionState;
                        overlapping += overlap != 0;
                        pushed += overlap && n > 0;
                        restingPushed += resting && overlap && n > 0;
                        apart += !overlap;
                        continue;
                    }
                    EXPECT_EQ(overlap, unlinkedOverlap) << k.what << " case " << i << " " << linked;
                    EXPECT_EQ(a.body.collisionState, unlinkedState[0]) << k.what << " case " << i;
                    EXPECT_EQ(b.body.collisionState, unlinkedState[1]) << k.what << " case " << i;
                    EXPECT_EQ(a.body.linkPartner, third.get()) << k.what << " case " << i;
                    if (!overlap || resting)
                    {
                        EXPECT_EQ(n, unlinkedCount) << k.what << " case " << i << " " << linked;
                    }
                    for (int c = 0; c < n && overlap; c++)
                    {
                        const bzCollisionContact &ct = contacts_[c];
                        EXPECT_EQ(ct.key, 0.0f);
                        bzV3 normal, away;
                        bz_RotateV3Into(&ct.body->startTransform, &normal, &ct.normal);
                        bz_V3_SubInto(&ct.body->startTransform.row[3],
                                      &ct.otherBody->startTransform.row[3], &away);
                        EXPECT_GT(bz_V3_Dot(&normal, &away), 0.0f) << k.what << " case " << i;
                    }
                    if (linked == 2)
                    {
                        EXPECT_EQ(b.body.linkPartner, fourth.get()) << k.what << " case " << i;
                    }
                }
            }
        }
    }
    // The random poses reach every branch: apart, overlapping, and pushed apart when unlinked,
    // at rest too.
    EXPECT_GT(apart, 20) << overlapping << " overlapping, " << pushed << " pushed";
    EXPECT_GT(overlapping, 20);
    EXPECT_GT(pushed, 10);
    EXPECT_GT(restingPushed, 10);
}

// The overlap pass links two bodies it finds inside each other, and a body linked to one body
// makes no crossing contacts against any other (bodies at rest inside each other are still
// pushed apart, without a new link). The link holds for the step that made it: a body
// prepared for the next step pushes out of whatever it is then inside.
TEST_F(PairHandlersTest, AnOverlapLinkLastsOnlyForTheStepThatMadeIt)
{
    std::mt19937 random(77);
    std::uniform_real_distribution<float> place(-2.8f, 2.8f), turn(0.0f, 3.14159265f),
        speed(-1.0f, 1.0f);
    PairBody a(Cube(), 2.0f), c(Cube(0.8f)), earlier(Cube(), 1.0f);
    int pushed = 0;
    for (int i = 0; i < 300; i++)
    {
        const bzM34 at = pairbody::RotationZ(turn(random),
                                             V(place(random), place(random), 0.5f * place(random)));
        c.Place(at, at);
        c.body.linearVelocity = V(speed(random), speed(random), speed(random));
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        c.body.collisionState = 0;
        a.body.linkPartner = nullptr;
        c.body.linkPartner = nullptr;
        bz_PhysColl_Pair().overlap = 0;
        const int unlinked = Collide(a, c);
        // Only pairs that the overlap pass pushes apart.
        if (unlinked == 0 || !bz_PhysColl_Pair().overlap)
            continue;
        ++pushed;
        // Linked in the step before to a body it has since left.
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        c.body.collisionState = 0;
        a.body.linkPartner = earlier.get();
        c.body.linkPartner = nullptr;
        // The link of this step holds: a keeps it, and what the pair still gets is the push of
        // bodies at rest inside each other, at time 0, pushing each away from the other.
        const int held = Collide(a, c);
        EXPECT_EQ(a.body.linkPartner, earlier.get())
            << "case " << i << ": a link of this step holds";
        for (int k = 0; k < held; k++)
        {
            bzV3 normal, away;
            bz_RotateV3Into(&contacts_[k].body->startTransform, &normal, &contacts_[k].normal);
            bz_V3_SubInto(&contacts_[k].body->startTransform.row[3],
                          &contacts_[k].otherBody->startTransform.row[3], &away);
            EXPECT_EQ(contacts_[k].key, 0.0f) << "case " << i;
            EXPECT_GT(bz_V3_Dot(&normal, &away), 0.0f) << "case " << i;
        }
        a.body.linkPartner = earlier.get();
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        c.body.collisionState = 0;
        bz_Phys_PrepareBody(a.get());
        EXPECT_EQ(a.body.linkPartner, nullptr) << "case " << i;
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        EXPECT_EQ(Collide(a, c), unlinked) << "case " << i << ": the next step pushes out";
        EXPECT_EQ(a.body.linkPartner, c.get()) << "case " << i;
    }
    EXPECT_GT(pushed, 20);
}
