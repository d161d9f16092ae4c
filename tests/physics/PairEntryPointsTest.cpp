// The named entry points the pair handlers are built from, each called directly from a handler
// stood in for a table cell (so the pair state is the pair collision's own): the radius and
// ball-on-face contacts, points with radii against faces and boxes, a sphere against rounded
// edges, rounded edges against each other, a tic-tac's axis against a shape's edges and vertices,
// and the overlap pass's edge crossings. Expected times and points are worked out by hand.
#include "PairTestBodies.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "collision/KindDispatch.h"
#include "collision/PairMaths.h"
#include "maths/Geometry.h"
#include "physics/PairHandlers.h"
#include "physics/PhysMemory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{
using pairbody::PairBody;
using pairtest::AlignedCuboid;
using pairtest::V;

constexpr float kSqrt2 = 1.41421356f;
constexpr float kHalfPi = 1.57079633f;

using Entry =
    std::function<void(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)>;
Entry gEntry;
int gCalls = 0;

void Thunk(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
{
    gCalls++;
    if (gEntry)
        gEntry(p1, p2, n1, n2);
}

std::vector<std::pair<int32_t, std::string>> gErrors;
void RecordError(int32_t code, const char *text)
{
    gErrors.emplace_back(code, text ? text : "");
}

class PairEntryPointsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gEntry = nullptr;
        gCalls = 0;
        gErrors.clear();
        bz_Phys_SetErrorHook(RecordError);
        stackLeft_ = bz_TempStack_SpaceLeft(1, 0);
    }
    void TearDown() override
    {
        Restore();
        gEntry = nullptr;
        bz_Phys_SetErrorHook(nullptr);
        EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_);
    }

    // Runs the pair with `entry` standing in for the cells of the two shapes' kinds (either body
    // may come first).
    int Run(PairBody &a, PairBody &b, Entry entry, bool overlap = false)
    {
        const uint32_t ka = a.form->firstShape->kind, kb = b.form->firstShape->kind;
        for (const auto &cell : {std::make_pair(ka, kb), std::make_pair(kb, ka)})
        {
            if (!saved_.empty() && saved_.back().row == cell.first &&
                saved_.back().column == cell.second)
                continue;
            saved_.push_back(
                Saved{cell.first, cell.second, overlap,
                      overlap ? bz_PhysColl_SetOverlapHandler(cell.first, cell.second, Thunk)
                              : bz_PhysColl_SetContactHandler(cell.first, cell.second, Thunk)});
        }
        gEntry = std::move(entry);
        gCalls = 0;
        for (auto &c : contacts_)
            c = bzCollisionContact{};
        const int n = bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        EXPECT_EQ(gCalls, 1);
        Restore();
        return n;
    }
    // Runs the rounded edge steps alone for the pair, with the shapes' own rounding radii, the
    // first body's edges held and the second's moving.
    int RunRoundedEdges(PairBody &a, PairBody &b)
    {
        return Run(
            a, b,
            [](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                const float r1 = bz_PhysColl_Rounding(s.shape[0]);
                const float r2 = bz_PhysColl_Rounding(s.shape[1]);
                if (bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], r1, r2))
                    bz_PhysColl_RoundedRounded(0, p2, r1, r2);
            });
    }
    void Restore()
    {
        while (!saved_.empty())
        {
            const Saved s = saved_.back();
            saved_.pop_back();
            if (s.overlap)
                bz_PhysColl_SetOverlapHandler(s.row, s.column, s.handler);
            else
                bz_PhysColl_SetContactHandler(s.row, s.column, s.handler);
        }
    }

    struct Saved
    {
        uint32_t row, column;
        bool overlap;
        bzPhysPairHandler handler;
    };
    std::vector<Saved> saved_;
    bzCollisionContact contacts_[BZ_PHYS_STEP_CONTACTS];
    uint32_t stackLeft_ = 0;
};

void ExpectV3(const bzV3 &got, const bzV3 &want, float tol, const std::string &what)
{
    EXPECT_NEAR(got.x, want.x, tol) << what;
    EXPECT_NEAR(got.y, want.y, tol) << what;
    EXPECT_NEAR(got.z, want.z, tol) << what;
}

// The contact's world normal (from the row body's start frame).
bzV3 WorldNormal(const bzCollisionContact &c)
{
    bzV3 n;
    bz_RotateV3Into(&c.body->startTransform, &n, &c.normal);
    return n;
}

pairtest::FormPtr Box(float half)
{
    return AlignedCuboid(V(-half, -half, -half), V(half, half, half));
}

pairtest::FormPtr HullBox(bzShapeKind kind, float half, float rounding = 0.1f)
{
    return pairtest::Hull(kind, pairtest::BoxPoints(V(-half, -half, -half), V(half, half, half)),
                          rounding);
}

// ---------------------------------------------------------------------------------------------
// The radius contact.

TEST_F(PairEntryPointsTest, ARadiusContactPlacesBothPointsAlongTheNormalFromTheCentres)
{
    // Two spheres; A at the origin, B at x = 3 and turned a quarter about z (its x along the
    // world y, its y along the world -x). The normal in A's frame points from B towards A.
    PairBody a(pairtest::Sphere(V(0, 0, 0), 1.0f)), b(pairtest::Sphere(V(0, 0, 0), 0.5f));
    const bzM34 bAt = pairbody::RotationZ(kHalfPi, V(3, 0, 0));
    b.Place(bAt, bAt);
    const int n = Run(a, b,
                      [](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
                      {
                          EXPECT_EQ(bz_PhysColl_AddRadiusContact(0, V(-2, 0, 0), V(0, 0, 0),
                                                                 V(0, 0, 0), 0.25f, 1.0f, 0.5f),
                                    1);
                      });
    ASSERT_EQ(n, 1);
    const bzCollisionContact &c = contacts_[0];
    EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SPHERE);
    EXPECT_FLOAT_EQ(c.key, 0.25f);
    EXPECT_EQ(c.body, a.get());
    EXPECT_EQ(c.otherBody, b.get());
    ExpectV3(c.point, V(1, 0, 0), 1e-6f, "A's point: centre less r1 along the normal");
    ExpectV3(c.normal, V(-1, 0, 0), 1e-6f, "normal in A's frame (made unit)");
    // World -x is B's own +y: point 2 = B's centre + 0.5 (0, 1, 0), at world x = 2.5.
    ExpectV3(c.otherPoint, V(0, 0.5f, 0), 1e-6f, "B's point");
    ExpectV3(c.otherNormal, V(0, 1, 0), 1e-6f, "normal in B's frame");
}

TEST_F(PairEntryPointsTest, ARadiusContactBlendsTheRotationsOfTheStepAtItsTime)
{
    // A turns a quarter about z over the step: at t = 0.5 its x axis lies halfway between the
    // world x and y; at the end of the step (key 1.05) it lies along the world y.
    struct Case
    {
        float time;
        bzV3 world;
    };
    const float h = 1.0f / kSqrt2;
    const Case cases[] = {{0.0f, V(1, 0, 0)}, {0.5f, V(h, h, 0)}, {1.05f, V(0, 1, 0)}};
    for (const Case &k : cases)
    {
        PairBody a(pairtest::Sphere(V(0, 0, 0), 1.0f)), b(pairtest::Sphere(V(0, 0, 0), 1.0f));
        a.Place(pairbody::RotationZ(0.0f, V(0, 0, 0)), pairbody::RotationZ(kHalfPi, V(0, 0, 0)));
        b.Move(V(-5, 0, 0), V(-5, 0, 0));
        const float t = k.time;
        const int n = Run(
            a, b,
            [t](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t) {
                bz_PhysColl_AddRadiusContact(0, V(1, 0, 0), V(0, 0, 0), V(0, 0, 0), t, 0.0f, 2.0f);
            });
        ASSERT_EQ(n, 1) << t;
        EXPECT_FLOAT_EQ(contacts_[0].key, t);
        ExpectV3(WorldNormal(contacts_[0]), k.world, 1e-5f, "world normal at " + std::to_string(t));
        // B does not turn: its point is twice the world normal from its centre; radius 0 on A.
        ExpectV3(contacts_[0].otherPoint, V(2 * k.world.x, 2 * k.world.y, 0), 1e-5f, "B's point");
        ExpectV3(contacts_[0].point, V(0, 0, 0), 0.0f, "A's point, radius 0");
    }
}

TEST_F(PairEntryPointsTest, ARadiusContactRefusesANormalOfNoDirectionOrABadRadius)
{
    struct Case
    {
        const char *what;
        int32_t body;
        bzV3 normal;
        float r1, r2;
    };
    const Case cases[] = {
        {"zero normal", 0, V(0, 0, 0), 1.0f, 1.0f},
        {"NaN normal", 0, V(NAN, 0, 0), 1.0f, 1.0f},
        {"negative radius 1", 0, V(1, 0, 0), -0.5f, 1.0f},
        {"negative radius 2", 0, V(1, 0, 0), 1.0f, -0.5f},
        {"NaN radius", 0, V(1, 0, 0), NAN, 1.0f},
        {"infinite radius", 0, V(1, 0, 0), 1.0f, INFINITY},
        {"no such body", 2, V(1, 0, 0), 1.0f, 1.0f},
        {"negative body", -1, V(1, 0, 0), 1.0f, 1.0f},
    };
    for (const Case &k : cases)
    {
        PairBody a(pairtest::Sphere(V(0, 0, 0), 1.0f)), b(pairtest::Sphere(V(0, 0, 0), 1.0f));
        b.Move(V(3, 0, 0), V(3, 0, 0));
        const int n = Run(a, b,
                          [&k](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
                          {
                              EXPECT_EQ(bz_PhysColl_AddRadiusContact(k.body, k.normal, V(0, 0, 0),
                                                                     V(0, 0, 0), 0.5f, k.r1, k.r2),
                                        0);
                          });
        EXPECT_EQ(n, 0) << k.what;
        EXPECT_TRUE(gErrors.empty()) << k.what;
    }
}

// ---------------------------------------------------------------------------------------------
// A ball on a face.

TEST_F(PairEntryPointsTest, ABallOnAFaceMakesTheBallsBodyTheRowBody)
{
    // The face y = 1 of box A; the ball (B) is turned a quarter about z, so the world y is its
    // own x: its point lies its radius along its own -x from the centre.
    for (int turned = 0; turned < 2; turned++)
    {
        PairBody a(Box(1.0f)), b(pairtest::Sphere(V(0, 0, 0), 0.5f));
        const bzM34 bAt = pairbody::RotationZ(turned ? kHalfPi : 0.0f, V(0.2f, 1.5f, 0.3f));
        b.Place(bAt, bAt);
        const int n =
            Run(a, b,
                [](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
                {
                    EXPECT_EQ(bz_PhysColl_AddSphereFaceContact(0, V(0, 1, 0), 0.5f,
                                                               V(0.2f, 1, 0.3f), V(0, 0, 0), 0.5f),
                              1);
                });
        ASSERT_EQ(n, 1);
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SPHERE_POLYHEDRON);
        EXPECT_FLOAT_EQ(c.key, 0.5f);
        EXPECT_EQ(c.body, b.get());
        EXPECT_EQ(c.otherBody, a.get());
        ExpectV3(WorldNormal(c), V(0, 1, 0), 1e-6f, "pushes the ball off the face");
        ExpectV3(c.otherPoint, V(0.2f, 1, 0.3f), 1e-6f, "the face's point");
        ExpectV3(c.point, turned ? V(-0.5f, 0, 0) : V(0, -0.5f, 0), 1e-6f, "the ball's point");
    }
}

TEST_F(PairEntryPointsTest, ABallOnAFaceRefusesBadInput)
{
    struct Case
    {
        const char *what;
        int32_t body;
        bzV3 normal;
        float radius;
    };
    const Case cases[] = {{"zero normal", 0, V(0, 0, 0), 0.5f},
                          {"negative radius", 0, V(0, 1, 0), -0.5f},
                          {"no such body", 3, V(0, 1, 0), 0.5f}};
    for (const Case &k : cases)
    {
        PairBody a(Box(1.0f)), b(pairtest::Sphere(V(0, 0, 0), 0.5f));
        b.Move(V(0, 1.5f, 0), V(0, 1.5f, 0));
        const int n =
            Run(a, b,
                [&k](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t) {
                    bz_PhysColl_AddSphereFaceContact(k.body, k.normal, 0.5f, V(0, 1, 0), V(0, 0, 0),
                                                     k.radius);
                });
        EXPECT_EQ(n, 0) << k.what;
    }
    // A radius of 0 is a point on the face: both points meet there.
    PairBody a(Box(1.0f)), b(pairtest::Sphere(V(0, 0, 0), 0.5f));
    b.Move(V(0, 1.5f, 0), V(0, 1.5f, 0));
    const int n =
        Run(a, b,
            [](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t) {
                bz_PhysColl_AddSphereFaceContact(0, V(0, 1, 0), 0.5f, V(0, 1, 0), V(0, 0, 0), 0.0f);
            });
    ASSERT_EQ(n, 1);
    ExpectV3(contacts_[0].point, V(0, 0, 0), 0.0f, "radius 0");
}

// ---------------------------------------------------------------------------------------------
// Points with a radius against faces and against a box.

// B (a cube of half 0.5, own points with the radius) moves along -x towards A's face x = 1.
struct PointsCase
{
    const char *what;
    float startX, endX; // B's centre
    float ownR, otherR; // radius of B's points, growth of A's faces
    int count;          // contacts
    float time;         // their time
    float faceX;        // A's point x, B's point x in its own frame
    float ownX;
};

const PointsCase kPointsCases[] = {
    // The leading corners (own x = -0.5) meet the grown face when they reach x = 1.25.
    {"radius 0.25", 4.0f, 1.5f, 0.25f, 0.0f, 4, (3.5f - 1.25f) / 2.5f, 1.0f, -0.75f},
    {"radii 0.15 and 0.1", 4.0f, 1.5f, 0.15f, 0.1f, 4, (3.5f - 1.25f) / 2.5f, 1.1f, -0.65f},
    {"radius 0", 4.0f, 1.0f, 0.0f, 0.0f, 4, (3.5f - 1.0f) / 3.0f, 1.0f, -0.5f},
    // Ending 5 mm short of the touch, within the tolerance: a touch at the end of the step.
    {"end of step", 4.0f, 1.755f, 0.25f, 0.0f, 4, 1.05f, 1.0f, -0.75f},
    {"moving away", 4.0f, 6.0f, 0.25f, 0.0f, 0, 0.0f, 0.0f, 0.0f},
    {"falling short", 4.0f, 2.0f, 0.25f, 0.0f, 0, 0.0f, 0.0f, 0.0f},
};

void CheckPoints(const bzCollisionContact *contacts, int n, const PointsCase &k, const BZDObject *b)
{
    ASSERT_EQ(n, k.count) << k.what;
    for (int i = 0; i < n; i++)
    {
        const bzCollisionContact &c = contacts[i];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_VERTEX_FACE) << k.what;
        EXPECT_NEAR(c.key, k.time, 1e-4f) << k.what;
        EXPECT_EQ(c.body, b) << k.what;
        ExpectV3(WorldNormal(c), V(1, 0, 0), 1e-5f, k.what);
        EXPECT_NEAR(c.otherPoint.x, k.faceX, 1e-4f) << k.what;
        EXPECT_NEAR(c.point.x, k.ownX, 1e-4f) << k.what;
        // Each contact at one of the four leading corners, across the face.
        EXPECT_NEAR(std::fabs(c.point.y), 0.5f, 1e-5f) << k.what;
        EXPECT_NEAR(std::fabs(c.point.z), 0.5f, 1e-5f) << k.what;
        EXPECT_NEAR(c.otherPoint.y, c.point.y, 1e-5f) << k.what;
        EXPECT_NEAR(c.otherPoint.z, c.point.z, 1e-5f) << k.what;
    }
}

TEST_F(PairEntryPointsTest, PointsWithARadiusMeetTheGrownFacesAtTheirTime)
{
    for (const PointsCase &k : kPointsCases)
    {
        PairBody a(Box(1.0f)), b(HullBox(BZ_SHAPE_POLYHEDRON, 0.5f));
        b.Move(V(k.startX, 0, 0), V(k.endX, 0, 0));
        const PointsCase *kk = &k;
        const int n =
            Run(a, b,
                [kk](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
                {
                    // B is a plain polyhedron here: its box leaves out the radius of its
                    // points, so both sets are grown by both radii.
                    bzPhysCollPair &s = bz_PhysColl_Pair();
                    const float both = kk->otherR + kk->ownR;
                    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], both, both))
                        return;
                    bz_PhysColl_RoundedPointsOnFaces(1, p2, n2, kk->ownR, kk->otherR);
                });
        CheckPoints(contacts_, n, k, b.get());
    }
}

TEST_F(PairEntryPointsTest, PointsWithARadiusAgainstABoxOnlyMeetABox)
{
    for (const PointsCase &k : kPointsCases)
    {
        if (k.otherR != 0.0f)
            continue;
        PairBody a(Box(1.0f)), b(HullBox(BZ_SHAPE_POLYHEDRON, 0.5f));
        b.Move(V(k.startX, 0, 0), V(k.endX, 0, 0));
        const float r = k.ownR;
        auto entry =
            [r](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
        {
            bzPhysCollPair &s = bz_PhysColl_Pair();
            if (bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], r, r))
                bz_PhysColl_RoundedPointsOnBox(1, p2, n2, r);
        };
        CheckPoints(contacts_, Run(a, b, entry), k, b.get());
        // The same cube as a polyhedron is not a box: nothing.
        PairBody c(HullBox(BZ_SHAPE_POLYHEDRON, 1.0f)), d(HullBox(BZ_SHAPE_POLYHEDRON, 0.5f));
        d.Move(V(k.startX, 0, 0), V(k.endX, 0, 0));
        EXPECT_EQ(Run(c, d, entry), 0) << k.what;
    }
}

TEST_F(PairEntryPointsTest, APointStartingInsideMarksTheLighterBodyUnlessTheShapesRest)
{
    // B's leading corners start at x = 0.7, inside A; it moves away and its other corners stay
    // clear. B is the lighter body.
    for (int resting = 0; resting < 2; resting++)
    {
        PairBody a(Box(1.0f), 2.0f), b(HullBox(BZ_SHAPE_POLYHEDRON, 0.5f), 1.0f);
        b.Move(V(1.2f, 0, 0), V(3.0f, 0, 0));
        const bool rest = resting != 0;
        const int n = Run(
            a, b,
            [rest](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                ASSERT_EQ(s.body[1]->mass, 2.0f); // the lighter body B comes first
                bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.0f, 0.25f);
                s.resting = rest ? 1 : 0;
                bz_PhysColl_RoundedPointsOnFaces(0, p1, n1, 0.25f, 0.0f);
                // The four leading corners (own x = -0.5) are out of the later tests.
                int left = 0;
                for (int32_t i = 0; i < n1; i++)
                    left += s.codes[0][i] == 0xFF;
                EXPECT_EQ(left, 4);
            });
        EXPECT_EQ(n, 0);
        const uint32_t both = BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING;
        EXPECT_EQ(b.body.collisionState & both, rest ? 0u : both) << resting;
        EXPECT_EQ(a.body.collisionState & both, 0u) << resting;
    }
}

TEST_F(PairEntryPointsTest, PointsOnFacesRefuseBadInput)
{
    // The motion of the first case of PointsWithARadiusMeetTheGrownFacesAtTheirTime, which
    // gives four contacts with sound input.
    struct Case
    {
        const char *what;
        int32_t own;
        float ownR, otherR;
    };
    const Case cases[] = {{"no such body", 2, 0.25f, 0.0f},
                          {"negative radius", 1, -0.25f, 0.0f},
                          {"NaN radius", 1, NAN, 0.0f},
                          {"NaN growth", 1, 0.25f, NAN},
                          {"sound", 1, 0.25f, 0.0f}};
    for (const Case &k : cases)
    {
        const bool sound = std::string(k.what) == "sound";
        for (int box = 0; box < 2; box++)
        {
            PairBody a(Box(1.0f)), b(HullBox(BZ_SHAPE_POLYHEDRON, 0.5f));
            b.Move(V(4, 0, 0), V(1.5f, 0, 0));
            const int n = Run(
                a, b,
                [&k, box](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                          int32_t n2)
                {
                    bzPhysCollPair &s = bz_PhysColl_Pair();
                    bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.25f, 0.25f);
                    if (box)
                        bz_PhysColl_RoundedPointsOnBox(k.own, p2, n2,
                                                       k.otherR == k.otherR ? k.ownR : NAN);
                    else
                        bz_PhysColl_RoundedPointsOnFaces(k.own, p2, n2, k.ownR, k.otherR);
                });
            EXPECT_EQ(n, sound ? 4 : 0) << k.what << (box ? " box" : " faces");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// A sphere against rounded edges.

// A's cube of half 1 rounded by 0.2 holds still; the sphere B (radius r) moves from c0 to c1.
int SphereOnRoundedEdges(PairBody &a, PairBody &b, float r,
                         const std::function<int(PairBody &, PairBody &, Entry)> &run)
{
    const float radius = r;
    return run(
        a, b,
        [radius](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
        {
            bzPhysCollPair &s = bz_PhysColl_Pair();
            if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.2f,
                                        radius > 0.0f ? radius : 0.0f))
                return;
            bz_PhysColl_SphereRoundedEdges(0, p2[0].start, p2[0].end, radius, V(0, 0, 0));
        });
}

TEST_F(PairEntryPointsTest, ASphereMeetsARoundedEdgeAlongItOrTheBallAtItsEnd)
{
    auto run = [this](PairBody &a, PairBody &b, Entry e) { return Run(a, b, std::move(e)); };
    const float h = 1.0f / kSqrt2, third = 1.0f / std::sqrt(3.0f);
    {
        // Across the edge x = y = 1 (along z): the centre (1 + s, 1 + s, 0) with s = 2 (1 - t)
        // is s sqrt 2 from it and touches at 0.2 + 0.3.
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f));
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 0), V(1, 1, 0));
        const int n = SphereOnRoundedEdges(a, b, 0.3f, run);
        ASSERT_EQ(n, 1);
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SEGMENT);
        EXPECT_NEAR(c.key, 1.0f - 0.5f / (2.0f * kSqrt2), 1e-4f);
        EXPECT_EQ(c.body, b.get());
        ExpectV3(WorldNormal(c), V(h, h, 0), 1e-4f, "along the edge: normal");
        ExpectV3(c.otherPoint, V(1 + 0.2f * h, 1 + 0.2f * h, 0), 1e-4f, "on the rounded edge");
        ExpectV3(c.point, V(-0.3f * h, -0.3f * h, 0), 1e-4f, "on the sphere");
    }
    {
        // Towards the corner (1, 1, 1) along the diagonal: the centre (c, c, c), c = 3 - 1.9 t,
        // is (c - 1) sqrt 3 from the corner; the ball there touches at 0.5. Every edge of the
        // corner names it; its ball is tried once.
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f));
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 3), V(1.1f, 1.1f, 1.1f));
        const int n = SphereOnRoundedEdges(a, b, 0.3f, run);
        ASSERT_EQ(n, 1);
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SPHERE);
        EXPECT_NEAR(c.key, (2.0f - 0.5f * third) / 1.9f, 1e-4f);
        // A radius contact of the rounded body: it is pushed away from the sphere.
        EXPECT_EQ(c.body, a.get());
        ExpectV3(WorldNormal(c), V(-third, -third, -third), 1e-4f, "at the corner: normal");
        ExpectV3(c.point, V(1 + 0.2f * third, 1 + 0.2f * third, 1 + 0.2f * third), 1e-4f,
                 "on the corner's ball");
        ExpectV3(c.otherPoint, V(-0.3f * third, -0.3f * third, -0.3f * third), 1e-4f,
                 "on the sphere");
    }
    {
        // A sphere of radius 0 (a point) touches at the rounding alone: s sqrt 2 = 0.2.
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f));
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 0), V(1, 1, 0));
        const int n = SphereOnRoundedEdges(a, b, 0.0f, run);
        ASSERT_EQ(n, 1);
        EXPECT_NEAR(contacts_[0].key, 1.0f - 0.2f / (2.0f * kSqrt2), 1e-4f);
        ExpectV3(contacts_[0].point, V(0, 0, 0), 1e-6f, "radius 0");
    }
    for (const float r : {-0.3f, NAN})
    {
        // A bad radius adds nothing.
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f));
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 0), V(1, 1, 0));
        EXPECT_EQ(SphereOnRoundedEdges(a, b, r, run), 0) << r;
    }
    {
        // Passing the edge by and moving away give nothing.
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f));
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 0), V(1.5f, 1.5f, 0));
        EXPECT_EQ(SphereOnRoundedEdges(a, b, 0.3f, run), 0);
        b.Move(V(1.5f, 1.5f, 0), V(3, 3, 0));
        EXPECT_EQ(SphereOnRoundedEdges(a, b, 0.3f, run), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Rounded edges against rounded edges.

TEST_F(PairEntryPointsTest, RoundedEdgesCrossingMeetAtTheSumOfTheirRadii)
{
    // A turned 45 degrees about y leads with an edge along y at x = sqrt 2; B turned 45 degrees
    // about z leads with an edge along z at its centre - sqrt 2. Their axes cross at x when B's
    // centre is at 2 sqrt 2 + r1 + r2, B's centre going from 4 to 2.
    struct Case
    {
        float r1, r2;
        int count;
    };
    const Case cases[] = {{0.1f, 0.1f, 1}, {0.25f, 0.05f, 1}, {0.0f, 0.3f, 1}};
    for (const Case &k : cases)
    {
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f)),
            b(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f));
        a.Place(pairbody::RotationY(0.785398163f, V(0, 0, 0)),
                pairbody::RotationY(0.785398163f, V(0, 0, 0)));
        b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
                pairbody::RotationZ(0.785398163f, V(2, 0, 0)));
        const float r1 = k.r1, r2 = k.r2;
        const int n = Run(
            a, b,
            [r1, r2](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                if (bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], r1, r2))
                    bz_PhysColl_RoundedRounded(0, p2, r1, r2);
            });
        ASSERT_EQ(n, k.count) << r1 << " " << r2;
        const bzCollisionContact &c = contacts_[0];
        const float t = (4.0f - (2.0f * kSqrt2 + r1 + r2)) / 2.0f;
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SEGMENT);
        EXPECT_NEAR(c.key, t, 1e-3f) << r1 << " " << r2;
        EXPECT_EQ(c.body, b.get());
        ExpectV3(WorldNormal(c), V(1, 0, 0), 1e-3f, "pushes B along x");
        // Both points at the world (sqrt 2 + r1, 0, 0) at the time.
        const bzV3 onB = pairbody::WorldPoint(c.body, c.point, c.key);
        const bzV3 onA = pairbody::WorldPoint(c.otherBody, c.otherPoint, c.key);
        ExpectV3(onA, V(kSqrt2 + r1, 0, 0), 2e-3f, "on A");
        ExpectV3(onB, V(kSqrt2 + r1, 0, 0), 2e-3f, "on B");
    }
}

TEST_F(PairEntryPointsTest, RoundedEdgesApartOrBadGiveNothing)
{
    struct Case
    {
        const char *what;
        float from, to;
        int32_t collected;
        float r1, r2;
    };
    const Case cases[] = {
        {"moving away", 4.0f, 6.0f, 0, 0.1f, 0.1f},
        {"stopping short", 4.0f, 3.2f, 0, 0.1f, 0.1f},
        {"no such body", 4.0f, 2.0f, 2, 0.1f, 0.1f},
        {"negative radius", 4.0f, 2.0f, 0, -0.1f, 0.1f},
        {"NaN radius", 4.0f, 2.0f, 0, 0.1f, NAN},
    };
    for (const Case &k : cases)
    {
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f)),
            b(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f));
        a.Place(pairbody::RotationY(0.785398163f, V(0, 0, 0)),
                pairbody::RotationY(0.785398163f, V(0, 0, 0)));
        b.Place(pairbody::RotationZ(0.785398163f, V(k.from, 0, 0)),
                pairbody::RotationZ(0.785398163f, V(k.to, 0, 0)));
        const Case *kk = &k;
        const int n =
            Run(a, b,
                [kk](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
                {
                    bzPhysCollPair &s = bz_PhysColl_Pair();
                    bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.1f, 0.1f);
                    bz_PhysColl_RoundedRounded(kk->collected, p2, kk->r1, kk->r2);
                });
        EXPECT_EQ(n, 0) << k.what;
    }
}

pairtest::FormPtr Octahedron(float rounding)
{
    return pairtest::Hull(
        BZ_SHAPE_ROUNDED_POLYHEDRON,
        {V(1, 0, 0), V(-1, 0, 0), V(0, 1, 0), V(0, -1, 0), V(0, 0, 1), V(0, 0, -1)}, rounding);
}

TEST_F(PairEntryPointsTest, RoundedEdgesSideBySideMeetAtTheirEnds)
{
    // A and B are cubes of half 1 turned 45 degrees about z: A leads with its edge along z at
    // x = sqrt 2, B trails with its edge at its centre - sqrt 2, parallel to A's. B's centre
    // goes from 4 to 2; the rounded edges meet when it is at 2 sqrt 2 + r1 + r2. Parallel edges
    // have no nearest points of their own, so their ends decide: the contact lies at an end,
    // z = +-1, on both rounded surfaces at the world x = sqrt 2 + r1.
    struct Case
    {
        float r1, r2;
    };
    const Case cases[] = {{0.1f, 0.1f}, {0.25f, 0.05f}, {0.0f, 0.2f}};
    for (const Case &k : cases)
    {
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, k.r1)),
            b(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, k.r2));
        a.Place(pairbody::RotationZ(0.785398163f, V(0, 0, 0)),
                pairbody::RotationZ(0.785398163f, V(0, 0, 0)));
        b.Place(pairbody::RotationZ(0.785398163f, V(4, 0, 0)),
                pairbody::RotationZ(0.785398163f, V(2, 0, 0)));
        const std::string what = std::to_string(k.r1) + " " + std::to_string(k.r2);
        const int n = RunRoundedEdges(a, b);
        ASSERT_GE(n, 1) << what;
        const float t = (4.0f - (2.0f * kSqrt2 + k.r1 + k.r2)) / 2.0f;
        for (int i = 0; i < n; i++)
        {
            const bzCollisionContact &c = contacts_[i];
            EXPECT_NEAR(c.key, t, 1e-3f) << what;
            const float away = c.body == b.get() ? 1.0f : -1.0f;
            ExpectV3(WorldNormal(c), V(away, 0, 0), 1e-3f, what + ": pushes B along x");
            const bzV3 onB =
                pairbody::WorldPoint(b.get(), c.body == b.get() ? c.point : c.otherPoint, c.key);
            const bzV3 onA =
                pairbody::WorldPoint(a.get(), c.body == a.get() ? c.point : c.otherPoint, c.key);
            ExpectV3(onA, V(kSqrt2 + k.r1, 0, onA.z), 2e-3f, what + ": on A");
            ExpectV3(onB, onA, 2e-3f, what + ": B meets A there");
            EXPECT_NEAR(std::fabs(onA.z), 1.0f, 1e-3f) << what << ": at an end";
        }
    }
}

TEST_F(PairEntryPointsTest, RoundedCornersMeetBallToBallWhenEachIsTheOthersNearestEnd)
{
    // Two rounded octahedra, B's centre going from 4 to 1.5 along x: A's corner (1, 0, 0) and
    // B's corner (-1, 0, 0) come straight at each other, each beyond every edge of the other's
    // corner, and their balls meet when B's centre is at 2 + r1 + r2: one contact, ball to
    // ball, A the row body.
    const float r1 = 0.15f, r2 = 0.1f;
    PairBody a(Octahedron(r1)), b(Octahedron(r2));
    b.Move(V(4, 0, 0), V(1.5f, 0, 0));
    const int n = RunRoundedEdges(a, b);
    ASSERT_EQ(n, 1);
    const bzCollisionContact &c = contacts_[0];
    EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SPHERE);
    EXPECT_NEAR(c.key, (4.0f - (2.0f + r1 + r2)) / 2.5f, 1e-4f);
    EXPECT_EQ(c.body, a.get());
    ExpectV3(WorldNormal(c), V(-1, 0, 0), 1e-4f, "pushes A back");
    ExpectV3(c.point, V(1 + r1, 0, 0), 1e-4f, "A's corner ball");
    ExpectV3(c.otherPoint, V(-1 - r2, 0, 0), 1e-4f, "B's corner ball");
}

TEST_F(PairEntryPointsTest, ARoundedEdgeComingOntoACornerPastTheSixtyFourthVertexMeetsIt)
{
    // A is a rounded prism of 40 sides (80 vertices, y in [-0.2, 0]) under a cone whose tip,
    // vertex 80, stands at (0, 1.5, 0). B, a bar turned 45 degrees about z, comes down on the
    // tip with its lowest edge (along z, its centre - sqrt 0.5 high), deep enough by the end of
    // the step that the rim of the prism is in reach too: many vertices take part. The tip's
    // ball meets B's edge first, when the edge is r1 + r2 above the tip; the tip is tried
    // whatever its number, and against each of B's edges (the aligned box's lowest edge, corners
    // 0-4, comes ninth in its edge list, after other edges in reach).
    const float r1 = 0.1f;
    std::vector<bzV3> points;
    for (int ring = 0; ring < 2; ring++)
        for (int i = 0; i < 40; i++)
        {
            const float angle = 6.28318531f * (float(i) + 0.5f) / 40.0f;
            points.push_back(V(std::cos(angle), ring ? 0.0f : -0.2f, std::sin(angle)));
        }
    points.push_back(V(0, 1.5f, 0));
    for (int box = 0; box < 2; box++)
    {
        PairBody a(pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, points, r1));
        ASSERT_EQ(bz_Shape_Hull(a.form->firstShape)->vertexCount, 81);
        const float r2 = box ? 0.0f : 0.05f;
        PairBody b(box ? AlignedCuboid(V(-0.5f, -0.5f, -1), V(0.5f, 0.5f, 1))
                       : pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON,
                                        pairtest::BoxPoints(V(-0.5f, -0.5f, -2), V(0.5f, 0.5f, 2)),
                                        r2));
        const float low = 0.5f * kSqrt2;
        b.Place(pairbody::RotationZ(0.785398163f, V(0, 4, 0)),
                pairbody::RotationZ(0.785398163f, V(0, 0, 0)));
        const int n = RunRoundedEdges(a, b);
        ASSERT_GE(n, 1) << box;
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SEGMENT) << box;
        EXPECT_NEAR(c.key, (4.0f - (1.5f + low + r1 + r2)) / 4.0f, 1e-4f) << box;
        EXPECT_EQ(c.body, b.get()) << box;
        ExpectV3(WorldNormal(c), V(0, 1, 0), 1e-4f, "pushes B up");
        ExpectV3(c.otherPoint, V(0, 1.5f + r1, 0), 1e-4f, "over the tip");
        ExpectV3(pairbody::WorldPoint(b.get(), c.point, c.key), V(0, 1.5f + r1, 0), 1e-4f,
                 "B's edge there");
        for (int i = 1; i < n; i++)
            EXPECT_GT(contacts_[i].key, c.key + 0.1f) << "the rim comes later";
    }
}

TEST_F(PairEntryPointsTest, ARoundedCornerComingOntoAFaceMeetsItThroughTheCell)
{
    // A rounded octahedron comes down on a rounded cube's top face (y = 1) corner first, its
    // centre from (0.3, 4, 0.2) to (0.3, 1.5, 0.2): its corner's ball meets the grown face when
    // the centre is at 2 + r1 + r2. One vertex contact on the face, through the real cell with
    // either body first.
    const float r1 = 0.1f, r2 = 0.15f;
    for (int order = 0; order < 2; order++)
    {
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, r1), order ? 2.0f : 0.5f);
        PairBody b(Octahedron(r2));
        b.Move(V(0.3f, 4, 0.2f), V(0.3f, 1.5f, 0.2f));
        for (auto &c : contacts_)
            c = bzCollisionContact{};
        const int n = bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        ASSERT_EQ(n, 1) << order;
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_VERTEX_FACE) << order;
        EXPECT_NEAR(c.key, (4.0f - (2.0f + r1 + r2)) / 2.5f, 1e-4f) << order;
        EXPECT_EQ(c.body, b.get()) << order;
        ExpectV3(WorldNormal(c), V(0, 1, 0), 1e-4f, "pushes the octahedron up");
        ExpectV3(c.point, V(0, -1 - r2, 0), 1e-4f, "its corner's ball");
        ExpectV3(c.otherPoint, V(0.3f, 1 + r1, 0.2f), 1e-4f, "on the grown face");
    }
}

// ---------------------------------------------------------------------------------------------
// A tic-tac's axis against a shape's edges and vertices.

TEST_F(PairEntryPointsTest, ATicTacAlongAnEdgeTouchesItsTwoCorners)
{
    // The tic-tac (axis along z, z in [-2, 2]) moves across the box's edge x = y = 1 (along z,
    // z in [-1, 1]), parallel to it: the axis (1 + s, 1 + s), s = 2 (1 - t), is s sqrt 2 from
    // the edge, and the box's two corners of that edge meet it when s sqrt 2 = R.
    //  - Through the rounded edge steps (the edges are parallel, so their ends decide): each
    //    corner's ball against the moving axis, t = 1 - R / (2 sqrt 2), an edge contact.
    //  - Through the tic-tac-on-polyhedron cell: the corners against the axis grown by the
    //    tolerance over the step, s sqrt 2 = R + 0.01 t, t = (2 sqrt 2 - R) / (2 sqrt 2 + 0.01),
    //    a vertex contact; its edge step does not try the corners again.
    struct Case
    {
        bool cell;
        float rounding;
        uint32_t tag;
    };
    const Case cases[] = {{false, 0.0f, BZ_PHYS_CONTACT_SEGMENT},
                          {false, 0.1f, BZ_PHYS_CONTACT_SEGMENT},
                          {true, 0.0f, BZ_PHYS_CONTACT_VERTEX_FACE}};
    const float h = 1.0f / kSqrt2;
    for (const Case &k : cases)
    {
        PairBody a(pairtest::TicTac(V(0, 0, -2), V(0, 0, 2), 0.25f)), b(Box(1.0f));
        a.Move(V(3, 3, 0), V(1, 1, 0));
        const float rr = k.rounding;
        int n = 0;
        if (k.cell)
        {
            for (auto &c : contacts_)
                c = bzCollisionContact{};
            n = bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        }
        else
            n = Run(
                a, b,
                [rr](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
                {
                    bzPhysCollPair &s = bz_PhysColl_Pair();
                    if (bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.25f, rr))
                        bz_PhysColl_RoundedTicTac(p1, 0.25f, rr);
                });
        const std::string what =
            std::string(k.cell ? "cell" : "entry") + " rounding " + std::to_string(k.rounding);
        ASSERT_EQ(n, 2) << what;
        const float r = 0.25f + rr;
        const float t =
            k.cell ? (2.0f * kSqrt2 - r) / (2.0f * kSqrt2 + 0.01f) : 1.0f - r / (2.0f * kSqrt2);
        float zs = 0.0f;
        for (int i = 0; i < n; i++)
        {
            const bzCollisionContact &c = contacts_[i];
            EXPECT_EQ(c.type, k.tag) << what;
            EXPECT_NEAR(c.key, t, 1e-4f) << what;
            EXPECT_EQ(c.body, a.get()) << what;
            ExpectV3(WorldNormal(c), V(h, h, 0), 1e-4f, what + ": pushes the tic-tac off the edge");
            // The box's corner (1, 1, +-1) moved out by the rounding; the tic-tac's point its
            // radius in from the axis at that height.
            EXPECT_NEAR(std::fabs(c.otherPoint.z), 1.0f, 1e-5f) << what;
            ExpectV3(V(c.otherPoint.x, c.otherPoint.y, 0), V(1 + rr * h, 1 + rr * h, 0), 1e-4f,
                     what + ": on the box");
            ExpectV3(c.point, V(-0.25f * h, -0.25f * h, c.otherPoint.z), 1e-4f,
                     what + ": on the tic-tac");
            zs += c.otherPoint.z;
        }
        EXPECT_NEAR(zs, 0.0f, 1e-5f) << what << ": both corners";
    }
}

TEST_F(PairEntryPointsTest, ATicTacAcrossEdgesTouchesThemAlongItsSide)
{
    // The tic-tac (axis along z, z in [-3, 3]) comes at the box's face x = 1 side on: the axis
    // at x = 1 + s, s = 2 (1 - t), crosses the face's two edges along y (x = 1, z = +-1) at
    // their middles and meets them when s = 0.25, at t = 0.875.
    PairBody a(pairtest::TicTac(V(0, 0, -3), V(0, 0, 3), 0.25f)), b(Box(1.0f));
    a.Move(V(3, 0, 0), V(1, 0, 0));
    const int n =
        Run(a, b,
            [](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                if (bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.25f, 0.0f))
                    bz_PhysColl_RoundedTicTac(p1, 0.25f, 0.0f);
            });
    ASSERT_EQ(n, 2);
    float zs = 0.0f;
    for (int i = 0; i < n; i++)
    {
        const bzCollisionContact &c = contacts_[i];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SEGMENT);
        EXPECT_NEAR(c.key, 0.875f, 1e-4f);
        EXPECT_EQ(c.body, a.get());
        ExpectV3(WorldNormal(c), V(1, 0, 0), 1e-4f, "across the edge");
        EXPECT_NEAR(std::fabs(c.otherPoint.z), 1.0f, 1e-4f);
        ExpectV3(c.otherPoint, V(1, 0, c.otherPoint.z), 1e-4f, "the edge's middle");
        ExpectV3(c.point, V(-0.25f, 0, c.otherPoint.z), 1e-4f, "the tic-tac's side");
        zs += c.otherPoint.z;
    }
    EXPECT_NEAR(zs, 0.0f, 1e-4f) << "both edges";
    // Moving away, or a bad radius: nothing.
    for (int k = 0; k < 3; k++)
    {
        PairBody c(pairtest::TicTac(V(0, 0, -3), V(0, 0, 3), 0.25f)), d(Box(1.0f));
        c.Move(V(3, 0, 0), k == 0 ? V(5, 0, 0) : V(1, 0, 0));
        const float r = k == 1 ? -0.25f : (k == 2 ? NAN : 0.25f);
        EXPECT_EQ(
            Run(c, d,
                [r](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
                {
                    bzPhysCollPair &s = bz_PhysColl_Pair();
                    bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.25f, 0.0f);
                    bz_PhysColl_RoundedTicTac(p1, r, 0.0f);
                }),
            0)
            << k;
    }
}

// ---------------------------------------------------------------------------------------------
// The overlap pass's edge crossings.

TEST_F(PairEntryPointsTest, EdgesCrossingIntoTheOtherShapePushApartWhenApproaching)
{
    // B's box (x in [-0.75, 0.75], y and z in [-0.2, 0.2]) sits at x = 1.25: its four edges
    // along x run from x = 0.5 (inside A's cube of half 1) to x = 2 and cross A's face x = 1 a
    // third of the way along.
    for (int towards = 0; towards < 2; towards++)
    {
        PairBody a(Box(1.0f)), b(AlignedCuboid(V(-0.75f, -0.2f, -0.2f), V(0.75f, 0.2f, 0.2f)));
        b.Move(V(1.25f, 0, 0), V(1.25f, 0, 0));
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        b.body.linearVelocity = V(towards ? -1.0f : 1.0f, 0, 0);
        const int n = Run(
            a, b,
            [](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.0f, 0.0f);
                bz_PhysColl_OverlapCrossings(1, p2, n2);
                EXPECT_EQ(s.overlap, 1);
                bz_PhysColl_OverlapCrossings(2, p2, n2); // no such body: nothing
            },
            true);
        EXPECT_EQ(a.body.linkPartner, b.get());
        EXPECT_EQ(b.body.linkPartner, a.get());
        if (!towards)
        {
            EXPECT_EQ(n, 0) << "moving apart";
            continue;
        }
        ASSERT_EQ(n, 4);
        for (int i = 0; i < n; i++)
        {
            const bzCollisionContact &c = contacts_[i];
            EXPECT_EQ(c.key, 0.0f);
            EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SEGMENT);
            EXPECT_EQ(c.body, b.get());
            ExpectV3(WorldNormal(c), V(1, 0, 0), 1e-5f, "out through the face crossed");
            EXPECT_NEAR(c.point.x, -0.25f, 1e-4f);
            EXPECT_NEAR(c.otherPoint.x, 1.0f, 1e-4f);
            EXPECT_NEAR(std::fabs(c.point.y), 0.2f, 1e-5f);
            EXPECT_NEAR(std::fabs(c.point.z), 0.2f, 1e-5f);
        }
    }
}

// The edge crossings as the general segment test finds them, one edge after another: every
// edge whose ends' outcodes share no bit is tested from each end against the other shape; any
// hit marks the overlap, and an edge with exactly one end inside that crosses out facing away
// from the other centre adds a contact at time 0 when the bodies approach there.
void CrossingsEdgeByEdge(int32_t owner, const bzPhysShapePoint *points, int32_t count)
{
    using namespace bzPairMaths;
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const int32_t other = 1 - owner;
    const bzShape *shape = s.shape[owner];
    int32_t edgeCount = 0;
    const bzHullEdge *edges = bz_PhysColl_Edges(shape, &edgeCount);
    auto velocityAt = [](const BZDObject *body, const bzM34 &pose, const bzV3 &world)
    {
        const bzV3 centre = Point(&pose, body->centreOfMass);
        const bzV3 spin = Direction(&pose, body->angularVelocity);
        return Add(body->linearVelocity, Cross(spin, Sub(world, centre)));
    };
    for (int32_t i = 0; i < edgeCount; i++)
    {
        const bzHullEdge &e = edges[i];
        if (e.a >= count || e.b >= count || (s.codes[owner][e.a] & s.codes[owner][e.b]))
            continue;
        bzV3 hitF, hitB, nF = V(0, 0, 0), nB = V(0, 0, 0);
        float tF = 0.0f, tB = 0.0f;
        const int32_t forward = bz_SegmentEntersShape_ByKind(&points[e.a].start, &points[e.b].start,
                                                             s.shape[other], &hitF, &tF, &nF);
        if (!forward)
            continue;
        s.overlap = 1;
        const int32_t backward = bz_SegmentEntersShape_ByKind(
            &points[e.b].start, &points[e.a].start, s.shape[other], &hitB, &tB, &nB);
        if (!backward || (forward < 0) == (backward < 0))
            continue;
        const bool useForward = forward > 0;
        const float t = useForward ? tF : 1.0f - tB;
        const bzV3 hit = useForward ? hitF : hitB;
        const bzV3 outward = Scale(useForward ? nF : nB, -1.0f);
        if (!(Dot(outward, s.centreDirection[other]) <= -0.2f))
            continue;
        const bzV3 ownA = bz_PhysColl_OwnPoint(shape, e.a);
        const bzV3 own = AddScaled(ownA, Sub(bz_PhysColl_OwnPoint(shape, e.b), ownA), t);
        const bzV3 world = Point(&s.start[owner], own);
        const bzV3 normal = Direction(&s.start[other], outward);
        const bzV3 relative = Sub(velocityAt(s.body[other], s.start[other], world),
                                  velocityAt(s.body[owner], s.start[owner], world));
        if (Dot(relative, normal) > 0.0f)
            bz_PhysColl_Add(owner, normal, 0.0f, own, hit, BZ_PHYS_CONTACT_SEGMENT);
    }
}

// Two boxes in random poses, often sunk into each other with corners of each inside the other,
// and moving at random: the overlap pass's crossings (which ask once per corner whether it lies
// in the other box) mark the overlap and add the contacts, bit for bit, that the general segment
// test gives edge by edge.
TEST_F(PairEntryPointsTest, BoxCrossingsAreThoseOfTheSegmentTestEdgeByEdge)
{
    std::mt19937 rng(2718);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> size(0.15f, 0.6f);
    int overlapping = 0, withContacts = 0, apart = 0, cornersInside = 0;
    for (int trial = 0; trial < 600; ++trial)
    {
        PairBody a(AlignedCuboid(V(-size(rng), -size(rng), -size(rng)),
                                 V(size(rng), size(rng), size(rng))));
        PairBody b(AlignedCuboid(V(-size(rng), -size(rng), -size(rng)),
                                 V(size(rng), size(rng), size(rng))),
                   2.0f);
        const bzM34 startA = pairtest::RandomPlacement(rng, 0.3f);
        bzM34 startB = pairtest::RandomPlacement(rng, 0.0f);
        startB.row[3] = V(startA.row[3].x + unit(rng), startA.row[3].y + unit(rng),
                          startA.row[3].z + unit(rng));
        if (trial == 7)
            startB.row[3].y = NAN; // points that are not numbers cross nothing
        bzM34 endA = startA, endB = startB;
        endB.row[3].x += 0.1f * unit(rng);
        a.Place(startA, endA);
        b.Place(startB, endB);
        a.body.linearVelocity = V(unit(rng), unit(rng), unit(rng));
        b.body.linearVelocity = V(unit(rng), unit(rng), unit(rng));
        b.body.angularVelocity = V(unit(rng), unit(rng), unit(rng));
        a.body.collisionState = BZ_BODY_INTERPENETRATING;
        Run(
            a, b,
            [&](const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
            {
                bzPhysCollPair &s = bz_PhysColl_Pair();
                bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.0f, 0.0f);
                for (int32_t i = 0; i < n1; i++)
                    cornersInside +=
                        bz_Box_PointInside(&p1[i].start, bz_Shape_Bounds(s.shape[1])) ? 1 : 0;
                s.count = 0;
                s.overlap = 0;
                CrossingsEdgeByEdge(0, p1, n1);
                CrossingsEdgeByEdge(1, p2, n2);
                const int32_t wantOverlap = s.overlap, want = s.count;
                std::vector<bzCollisionContact> expected(s.out, s.out + want);
                s.count = 0;
                s.overlap = 0;
                bz_PhysColl_OverlapCrossings(0, p1, n1);
                bz_PhysColl_OverlapCrossings(1, p2, n2);
                EXPECT_EQ(s.overlap, wantOverlap) << trial;
                ASSERT_EQ(s.count, want) << trial;
                for (int32_t i = 0; i < want; i++)
                    EXPECT_EQ(std::memcmp(&s.out[i], &expected[i], sizeof(bzCollisionContact)), 0)
                        << trial << " contact " << i;
                (wantOverlap ? overlapping : apart)++;
                withContacts += want > 0 ? 1 : 0;
                // Leave nothing for the contact pass to add to.
                s.count = 0;
                s.overlap = 1;
            },
            true);
    }
    EXPECT_GT(overlapping, 100);
    EXPECT_GT(apart, 50);
    EXPECT_GT(withContacts, 50);
    EXPECT_GT(cornersInside, 100);
}
} // namespace

namespace
{
// ---------------------------------------------------------------------------------------------
// The real cells through the steps above.

TEST_F(PairEntryPointsTest, ASphereComingAtARoundedCornerGetsOneContactFromTheCornersBall)
{
    // The sphere case of ASphereMeetsARoundedEdgeAlongItOrTheBallAtItsEnd through the RS and SR
    // cells (either body first): the faces and the three edges of the corner are tried, and
    // the corner's ball gives the one contact.
    const float third = 1.0f / std::sqrt(3.0f);
    for (int order = 0; order < 2; order++)
    {
        PairBody a(HullBox(BZ_SHAPE_ROUNDED_POLYHEDRON, 1.0f, 0.2f), order ? 2.0f : 0.5f);
        PairBody b(pairtest::Sphere(V(0, 0, 0), 0.3f));
        b.Move(V(3, 3, 3), V(1.1f, 1.1f, 1.1f));
        for (auto &c : contacts_)
            c = bzCollisionContact{};
        const int n = bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        ASSERT_EQ(n, 1) << order;
        const bzCollisionContact &c = contacts_[0];
        EXPECT_EQ(c.type, BZ_PHYS_CONTACT_SPHERE);
        EXPECT_NEAR(c.key, (2.0f - 0.5f * third) / 1.9f, 1e-4f);
        const bzV3 push = c.body == a.get() ? V(-third, -third, -third) : V(third, third, third);
        ExpectV3(WorldNormal(c), push, 1e-4f, "from the corner");
        const pairbody::ContactPlace p = pairbody::Place(c);
        EXPECT_NEAR(p.d1, 0.0, 1e-3);
        EXPECT_NEAR(p.d2, 0.0, 1e-3);
        EXPECT_LT(p.gap, 1e-3);
    }
}
} // namespace
