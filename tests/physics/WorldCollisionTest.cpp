// The world collision of one body against the faces of its collision cache: a box, a sphere, a
// tic-tac and a polyhedron over a floor of two triangles, face selection, masks, the level gate,
// bad input and the intersection handlers.
#include "collision/CollisionTolerance.h"
#include "collision/KindDispatch.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/PhysMemory.h"
#include "physics/WorldCollision.h"
#include "physics/WorldHandlers.h"

#include "TestSupport.h"
#include "WorldCollisionFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace worldfixture;

// The counter of the program's operator new (the replacement lives in BodyNoAllocTest.cpp,
// through CountingNew.h); the same inline variable.
inline std::atomic<long> gNewCalls{0};

namespace
{
void ExpectV3(const bzV3 &got, const bzV3 &want, float tol = 1e-5f)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// Physics errors and engine reports seen while it lives.
struct Reports
{
    static std::vector<int32_t> &codes()
    {
        static std::vector<int32_t> c;
        return c;
    }
    KeepAlive alive;
    uint32_t before = bz_Error_ReportCount();
    Reports()
    {
        codes().clear();
        bz_Phys_SetErrorHook([](int32_t code, const char *) { codes().push_back(code); });
    }
    ~Reports() { bz_Phys_SetErrorHook(nullptr); }
    uint32_t count() const { return bz_Error_ReportCount() - before; }
    std::string caption() const { return bz_Error_LastReportCaption(); }
    std::string text() const
    {
        const std::string t = bz_Error_LastReportText();
        return t.substr(0, t.find('\n'));
    }
};

int32_t CountType(const bzCollisionContact *rows, int32_t n, uint32_t type)
{
    return int32_t(
        std::count_if(rows, rows + n, [&](const bzCollisionContact &r) { return r.type == type; }));
}

// A box of half size 0.5 falls from y = 0.8 (its bottom 0.3 above the floor) to y = 0.3 (0.2
// below): each bottom corner crosses the floor at 0.3 / 0.5 = 0.6 of the step.
TEST(WorldCollisionTest, ABoxFallingThroughTheFloorGivesItsBottomCornersAtTheCrossing)
{
    for (bzShapeKind kind : {BZ_SHAPE_ALIGNED_CUBOID, BZ_SHAPE_CRUSHABLE_CUBOID})
    {
        SCOPED_TRACE(kind);
        World w;
        w.Place(BoxForm(kind, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
        w.body.savedAngularVelocity = V(1, 2, 3);
        ASSERT_EQ(w.Collide(), 4);
        std::vector<bzV3> corners;
        for (int32_t i = 0; i < 4; i++)
        {
            const bzCollisionContact &r = w.rows[i];
            EXPECT_NEAR(r.key, 0.6f, 1e-5f);
            EXPECT_EQ(r.type, BZ_CONTACT_POINT_ON_FACE);
            EXPECT_EQ(r.body, &w.body);
            EXPECT_EQ(r.face, reinterpret_cast<const bzCollisionFace *>(&w.faces[0]));
            EXPECT_EQ(r.shape, w.form->firstShape);
            ExpectV3(r.normal, V(0, 1, 0));
            EXPECT_NEAR(r.point.y, -0.5f, 1e-5f);
            EXPECT_NEAR(std::fabs(r.point.x), 0.5f, 1e-5f);
            EXPECT_NEAR(std::fabs(r.point.z), 0.5f, 1e-5f);
            corners.push_back(r.point);
        }
        for (int32_t i = 0; i < 4; i++)
            for (int32_t j = i + 1; j < 4; j++)
                EXPECT_GT(std::fabs(corners[i].x - corners[j].x) +
                              std::fabs(corners[i].z - corners[j].z),
                          0.5f);
        ExpectV3(w.body.angularVelocity, V(1, 2, 3));
        EXPECT_EQ(w.body.worldIntersecting, 0);
        EXPECT_EQ(w.rows[4].key, 300.0f); // nothing written past the run
    }
}

// A box of half size 0.5 whose bottom corners start the step below the floor: within the
// tolerance (0.01) and not ending the step back above it, each corner touches the floor at the
// start of the step (key 0) with the floor's normal, so the contact pushes it out. Deeper than
// the tolerance the same holds for corners that sink further while the box's centre is above
// the floor (a box pushed into it); a deeper box that stays still or rises, one on its way out,
// and one whose centre is below the floor (beyond it, not in it) are left alone.
TEST(WorldCollisionTest, CornersStartingJustBelowTheFloorTouchItAtTheStart)
{
    struct Case
    {
        const char *name;
        float startY, endY;
        int32_t corners; // bottom corners found on the floor
    };
    const Case cases[] = {
        {"5 mm in, sinking 1 mm", 0.495f, 0.494f, 4},
        {"5 mm in, still", 0.495f, 0.495f, 4},
        {"5 mm in, rising 2 mm", 0.495f, 0.497f, 4},
        {"1 mm in, sinking 3 mm", 0.499f, 0.496f, 4},
        {"5 mm in, ending 5 mm above", 0.495f, 0.505f, 0},
        {"2 cm in, still", 0.48f, 0.48f, 0},
        {"2 cm in, rising 1 mm", 0.48f, 0.481f, 0},
        {"2 cm in, sinking 1 mm", 0.48f, 0.479f, 4},
        {"30 cm in, sinking 5 cm", 0.2f, 0.15f, 4},
        {"centre 10 cm below the floor, sinking 1 cm", -0.1f, -0.11f, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        World w;
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, c.startY, 0), At(2, c.endY, 0));
        const int32_t n = w.Collide();
        int32_t corners = 0;
        for (int32_t i = 0; i < n; i++)
        {
            const bzCollisionContact &r = w.rows[i];
            if (r.type != BZ_CONTACT_POINT_ON_FACE)
                continue;
            ++corners;
            EXPECT_EQ(r.key, 0.0f);
            ExpectV3(r.normal, V(0, 1, 0));
            EXPECT_NEAR(r.point.y, -0.5f, 1e-5f);
            EXPECT_NEAR(std::fabs(r.point.x), 0.5f, 1e-5f);
            EXPECT_NEAR(std::fabs(r.point.z), 0.5f, 1e-5f);
        }
        EXPECT_EQ(corners, c.corners);
    }
}

// The centre of mass off the origin: the points are kept relative to it.
TEST(WorldCollisionTest, PointsAreRelativeToTheCentreOfMass)
{
    World w;
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
    w.body.centreOfMass = V(0.1f, 0.2f, 0.0f);
    ASSERT_EQ(w.Collide(), 4);
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_NEAR(w.rows[i].point.y, -0.7f, 1e-5f);
        EXPECT_NEAR(std::fabs(w.rows[i].point.x + 0.1f), 0.5f, 1e-5f);
    }
}

// A sphere of radius 0.5 falls from y = 1 to y = 0: it touches the floor when its centre is at
// 0.5, half way. One contact, a round end against a face.
TEST(WorldCollisionTest, ASphereGivesOneSweptRoundContact)
{
    World w;
    w.Place(SphereForm(0.5f), At(2, 1, 0), At(2, 0, 0));
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
    EXPECT_NEAR(w.rows[0].key, 0.5f, 2e-3f);
    ExpectV3(w.rows[0].normal, V(0, 1, 0));
    ExpectV3(w.rows[0].point, V(0, -0.5f, 0));
    EXPECT_EQ(w.rows[1].key, 200.0f); // the free mark just past the run
    EXPECT_EQ(w.rows[2].key, 300.0f);
}

// A sphere of radius 0.5 that starts the step sunk into the floor finds no entry in its sweep,
// as it already touches the face. While its centre is still above the floor and it does not end
// the step clear of it (more than the collision tolerance, 0.01, above touching: the sweep's own
// measure of a touch), it touches the floor at the start of the step, at its foot. Its centre
// below the floor, rising clear, or beside the floor, it gets nothing.
TEST(WorldCollisionTest, ASphereSunkIntoAFaceTouchesItAtTheStart)
{
    struct Case
    {
        const char *what;
        float startY, endY;
        int32_t contacts;
    };
    const Case cases[] = {
        {"sunk 2 mm, sinking", 0.498f, 0.49f, 1},
        {"sunk 2 mm, staying", 0.498f, 0.498f, 1},
        {"sunk 9 mm, sinking", 0.491f, 0.48f, 1},
        {"sunk 2 cm, sinking", 0.48f, 0.47f, 1},
        {"sunk 0.4 m, sinking", 0.1f, 0.09f, 1},
        {"centre below the floor", -0.1f, -0.11f, 0},
        {"sunk 2 mm, rising 7 mm", 0.498f, 0.505f, 1},
        {"sunk 2 mm, rising clear", 0.498f, 0.515f, 0},
        {"sunk 2 mm beside the floor", 0.498f, 0.49f, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        World w;
        const float x = std::string(c.what).find("beside") != std::string::npos ? 10.6f : 2.0f;
        w.Place(SphereForm(0.5f), At(x, c.startY, 0), At(x, c.endY, 0));
        ASSERT_EQ(w.Collide(), c.contacts);
        if (c.contacts == 0)
            continue;
        EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
        EXPECT_EQ(w.rows[0].key, 0.0f);
        ExpectV3(w.rows[0].normal, V(0, 1, 0));
        ExpectV3(w.rows[0].point, V(0, -0.5f, 0));
    }
}

// A sphere that turns a quarter turn about z while it falls from y = 1 to y = 0 touches the
// floor half way. The contact's normal and point are in the body's frame at the start of the
// step, the frame its rows work in: the floor pushes at the foot, straight below the centre,
// (0, -0.5, 0), not at the point that is lowest at the end of the turn.
TEST(WorldCollisionTest, ATurningSphereIsTouchedBelowItsCentre)
{
    World w;
    bzM34 turned = At(2, 0, 0);
    turned.row[0] = V(0, 1, 0);
    turned.row[1] = V(-1, 0, 0);
    turned.row[2] = V(0, 0, 1);
    w.Place(SphereForm(0.5f), At(2, 1, 0), turned);
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
    EXPECT_NEAR(w.rows[0].key, 0.5f, 2e-3f);
    ExpectV3(w.rows[0].normal, V(0, 1, 0));
    ExpectV3(w.rows[0].point, V(0, -0.5f, 0));
}

// Beside the floor's side x = 10 (edge 1 of triangle 0): a sphere whose centre passes 0.3 beyond
// the side touches the edge when its centre is 0.4 above the floor, at 0.6 of the step, with the
// normal from the edge to the centre, (0.3, 0.4, 0) / 0.5. Masked, the edge is never tested.
TEST(WorldCollisionTest, ASpherePassingAFaceEdgeAndTheEdgesMask)
{
    World w;
    w.Place(SphereForm(0.5f), At(10.3f, 1, 0), At(10.3f, 0, 0));
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ON_FACE_EDGE);
    EXPECT_EQ(w.rows[0].corner, 1);
    EXPECT_NEAR(w.rows[0].key, 0.6f, 1e-4f);
    ExpectV3(w.rows[0].normal, V(0.6f, 0.8f, 0), 1e-4f);

    World masked;
    masked.faces[0].flags |= BZ_FACE_SKIP_EDGE_1;
    masked.Place(SphereForm(0.5f), At(10.3f, 1, 0), At(10.3f, 0, 0));
    EXPECT_EQ(masked.Collide(), 0);
}

// Edges far from a sphere's sweep are passed over without their full test; none that the sweep
// touches may be. Random sweeps of balls (radius 0.1 to 0.6, every other one turned at random
// at both ends)
// whose centres stay beyond the floor's side x = 10, so that only the floor's edges and corners
// can be met, near the side and its corners at z = +-10, half of them grazing the side at the
// end of the sweep (from 2 cm in to 3 cm short of touching): each gives a contact exactly when the
// edge test run on every open edge of the floor finds one, at the earliest time that test
// gives. About a third hit, some as resting touches within the tolerance at the end.
TEST(WorldCollisionTest, ASphereMeetsEveryFloorEdgeItsSweepTouches)
{
    uint32_t state = 12345u;
    auto unit = [&state]()
    {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24);
    };
    auto turned = [&](const bzV3 &at)
    {
        // Rows of a turn by a random angle about a random axis.
        bzV3 axis = V(unit() - 0.5f, unit() - 0.5f, unit() - 0.5f);
        const float len = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
        axis = V(axis.x / len, axis.y / len, axis.z / len);
        const float angle = 6.2831853f * unit(), c = std::cos(angle), sn = std::sin(angle);
        const float k = 1.0f - c, x = axis.x, y = axis.y, z = axis.z;
        bzM34 m = At(at.x, at.y, at.z);
        m.row[0] = V(k * x * x + c, k * x * y + sn * z, k * x * z - sn * y);
        m.row[1] = V(k * x * y - sn * z, k * y * y + c, k * y * z + sn * x);
        m.row[2] = V(k * x * z + sn * y, k * y * z - sn * x, k * z * z + c);
        return m;
    };
    int hits = 0;
    for (int i = 0; i < 2000; i++)
    {
        const float r = 0.1f + 0.5f * unit();
        const float zc = (i % 3 == 0 ? 10.0f : (i % 3 == 1 ? -10.0f : 0.0f)) + 2.0f * unit() - 1.0f;
        bzV3 c0 = V(10.0f + 0.01f + 0.8f * unit(), 1.6f * unit() - 0.8f, zc);
        bzV3 c1 = V(10.0f + 0.01f + 0.8f * unit(), 1.6f * unit() - 0.8f, zc + 0.6f * unit() - 0.3f);
        if (i % 4 >= 2)
        {
            // Grazing: the sweep ends within a few centimetres of touching the side x = 10.
            const float gap = 0.05f * unit() - 0.02f, turn = 2.8f * unit() - 1.4f;
            c1 = V(10.0f + (r + gap) * std::cos(turn), (r + gap) * std::sin(turn), zc);
            c0 = V(c1.x + 0.3f * unit(), c1.y + 0.6f * unit() - 0.3f, c1.z + 0.6f * unit() - 0.3f);
        }
        World w;
        if (i % 2)
            w.Place(SphereForm(r), turned(c0), turned(c1));
        else
            w.Place(SphereForm(r), At(c0.x, c0.y, c0.z), At(c1.x, c1.y, c1.z));
        const int32_t n = w.Collide();

        bzSphereShape ball{};
        ball.kind = BZ_SHAPE_SPHERE;
        ball.radius = r;
        ball.radiusSquared = r * r;
        float earliest = 2.0f;
        for (const bzDynFaceHit &face : w.faces)
        {
            for (int k = 0; k < 3; k++)
            {
                if (face.flags & (BZ_FACE_SKIP_EDGE_0 << k))
                    continue;
                float t = 2.0f;
                bzV3 point, normal;
                bz_SweptPointEdgeRadius(&face.vertices[k], &face.vertices[(k + 1) % 3], &c0, &c1,
                                        &ball, &t, &point, &normal, 0, 0);
                if (t <= 1.0f && t < earliest)
                    earliest = t;
            }
        }
        const bool hit = earliest <= 1.0f;
        hits += hit;
        ASSERT_EQ(n, hit ? 1 : 0) << "sweep " << i;
        if (hit)
        {
            EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ON_FACE_EDGE) << "sweep " << i;
            EXPECT_NEAR(w.rows[0].key, earliest, 1e-4f) << "sweep " << i;
        }
    }
    EXPECT_GT(hits, 300);
    EXPECT_LT(hits, 1700);
}

// A tic-tac lying along z beside the side x = 10: its axis runs parallel to the edge, so each
// end meets the edge as a point with the radius, at 0.6 of the step.
TEST(WorldCollisionTest, ATicTacBesideAFaceEdgeAndTheEdgesMask)
{
    World w;
    w.Place(TicTacForm(V(0, 0, -1), V(0, 0, 1), 0.5f), At(10.3f, 1, 0), At(10.3f, 0, 0));
    ASSERT_EQ(w.Collide(), 2);
    for (int32_t i = 0; i < 2; i++)
    {
        EXPECT_EQ(w.rows[i].type, BZ_CONTACT_SWEPT_ON_FACE_EDGE);
        EXPECT_NEAR(w.rows[i].key, 0.6f, 1e-4f);
        ExpectV3(w.rows[i].normal, V(0.6f, 0.8f, 0), 1e-4f);
    }
    EXPECT_NEAR(std::fabs(w.rows[0].point.z), 1.0f, 1e-4f);

    World masked;
    masked.faces[0].flags |= BZ_FACE_SKIP_EDGE_1;
    masked.Place(TicTacForm(V(0, 0, -1), V(0, 0, 1), 0.5f), At(10.3f, 1, 0), At(10.3f, 0, 0));
    EXPECT_EQ(masked.Collide(), 0);
}

// A tic-tac falling flat onto the floor: both end spheres touch at the same time.
TEST(WorldCollisionTest, ATicTacFallingFlatGivesBothEnds)
{
    World w;
    w.Place(TicTacForm(V(-1, 0, 0), V(1, 0, 0), 0.5f), At(3, 1, -2), At(3, 0, -2));
    ASSERT_EQ(w.Collide(), 2);
    for (int32_t i = 0; i < 2; i++)
    {
        EXPECT_EQ(w.rows[i].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
        EXPECT_NEAR(w.rows[i].key, 0.5f, 2e-3f);
        EXPECT_NEAR(w.rows[i].point.y, -0.5f, 1e-4f);
        EXPECT_NEAR(std::fabs(w.rows[i].point.x), 1.0f, 1e-4f);
    }
}

// A box turned 45 degrees about z rests on its lowest edge, along z at x = 0.2, which crosses
// the diagonal x = z of the floor at (0.2, 0, 0.2): besides its two end corners, an edge against
// face edge contact there. The edge reaches the floor at (1 - h) / 0.5 of the step, h the half
// diagonal 0.5 sqrt(2). With the diagonal masked in both triangles (0x20 and 0x80) the edge
// contact is gone.
TEST(WorldCollisionTest, AnEdgeCrossingAFaceEdgeAndTheMasks)
{
    const float h = 0.5f * std::sqrt(2.0f);
    const float expected = (1.0f - h) / 0.5f;
    bzM34 pose, lumpMatrix;
    bz_M34_RotationZ(&pose, 45.0f);
    lumpMatrix = pose;
    pose.row[3] = V(0.2f, 1.0f, 0);
    lumpMatrix.row[3] = V(0.2f, 0.5f, 0);
    for (bool mask : {false, true})
    {
        SCOPED_TRACE(mask);
        World w;
        if (mask)
        {
            w.faces[0].flags |= BZ_FACE_SKIP_EDGE_0;
            w.faces[1].flags |= BZ_FACE_SKIP_EDGE_2;
        }
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), pose, lumpMatrix);
        const int32_t n = w.Collide();
        ASSERT_GE(n, 2);
        for (int32_t i = 0; i < n; i++)
        {
            EXPECT_NEAR(w.rows[i].key, expected, 1e-4f);
            EXPECT_NEAR(w.rows[i].normal.x * pose.row[0].y + w.rows[i].normal.y * pose.row[1].y,
                        1.0f, 1e-4f); // up in the world
        }
        EXPECT_EQ(CountType(w.rows, n, BZ_CONTACT_POINT_ON_FACE), 2);
        EXPECT_EQ(CountType(w.rows, n, BZ_CONTACT_EDGE_FACE_EDGE), mask ? 0 : 1);
        for (int32_t i = 0; i < n; i++)
            if (w.rows[i].type == BZ_CONTACT_EDGE_FACE_EDGE)
            {
                // The point of the body's lowest edge that crosses (0.2, 0, 0.2), placed by the
                // pose: (0.2, 1 - h, 0.2).
                bzV3 world{};
                for (int32_t k = 0; k < 3; k++)
                    world.v[k] = w.rows[i].point.x * pose.row[0].v[k] +
                                 w.rows[i].point.y * pose.row[1].v[k] +
                                 w.rows[i].point.z * pose.row[2].v[k] + pose.row[3].v[k];
                EXPECT_NEAR(world.x, 0.2f, 1e-4f);
                EXPECT_NEAR(world.z, 0.2f, 1e-4f);
                EXPECT_NEAR(world.y, 1.0f - h, 1e-4f);
            }
    }
}

// Faces flagged never-collide are no candidates for any shape; an empty face set, no cache and
// a start index past 56 give nothing.
TEST(WorldCollisionTest, NeverCollideFacesEmptySetsAndTheStartIndexLimit)
{
    {
        World w;
        for (bzDynFaceHit &f : w.faces)
            f.flags |= BZ_FACE_NEVER_COLLIDE;
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
        EXPECT_EQ(w.Collide(), 0);
        for (const bzDynFaceHit &f : w.faces)
            EXPECT_TRUE(f.flags & BZ_FACE_CANDIDATE);
        EXPECT_EQ(w.rows[0].key, 300.0f);
    }
    {
        World w;
        w.faces.clear();
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
        EXPECT_EQ(w.Collide(), 0);
        EXPECT_EQ(w.rows[0].key, 300.0f);
    }
    {
        World w;
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
        EXPECT_EQ(w.Collide(57), 0);
        for (const bzCollisionContact &r : w.rows)
            EXPECT_EQ(r.key, 300.0f);
        EXPECT_EQ(w.Collide(-1), 0);
        ASSERT_EQ(w.Collide(56), 4);
        EXPECT_NEAR(w.rows[59].key, 0.6f, 1e-5f);
        EXPECT_EQ(w.rows[55].key, 300.0f);
        w.body.collisionCache = nullptr;
        EXPECT_EQ(bz_PhysWorld_CollideObject(0, &w.body, w.rows), 0);
        EXPECT_EQ(bz_PhysWorld_CollideObject(0, nullptr, w.rows), 0);
    }
}

// The selection by the swept box: a face beyond the box on one of its axes, or wholly on one
// side of its plane, is no candidate; faces that pass get bit 0 cleared.
TEST(WorldCollisionTest, FaceSelectionBySweptBox)
{
    World w;
    const bzV3 up = V(0, 1, 0);
    // Far off on x; 3 above the box; a face the box's sweep crosses.
    w.faces.push_back(Face(V(20, 0, -1), V(21, 0, 1), V(22, 0, -1), up, 0));
    w.faces.push_back(Face(V(-10, 3, -10), V(-10, 3, 10), V(10, 3, 10), up, 3));
    w.faces.push_back(Face(V(1, 0.5f, -1), V(1, 0.5f, 1), V(3, 0.5f, 1), up, 0.5f));
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
    w.Collide();
    const bool candidate[5] = {true, true, false, false, true};
    for (size_t i = 0; i < w.faces.size(); i++)
        EXPECT_EQ((w.faces[i].flags & BZ_FACE_CANDIDATE) == 0, candidate[i]) << i;
}

// Face corners found inside the box at the lump's placement but outside at the pose: a spike
// whose tip (0, 0, 0) the box's bottom passes over during the step. The contact is a corner
// pushed out of the shape, keyed 10.0 so that it sorts after every swept contact, with the normal
// of the face it entered by (the bottom, into the box).
TEST(WorldCollisionTest, AFaceCornerInsideTheShapeIsPushedOut)
{
    World w;
    w.faces.clear();
    w.faces.push_back(Face(V(-1, -1, 0), V(1, -1, 0), V(0, 0, 0), V(0, 0, 1), 0));
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(0.2f, 0.6f, 0), At(0.2f, 0.3f, 0));
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_POINT_PUSHED_OUT);
    EXPECT_GE(w.rows[0].key, 10.0f);
    EXPECT_LE(w.rows[0].key, 11.2f);
    ExpectV3(w.rows[0].point, V(-0.2f, -0.6f, 0));
    ExpectV3(w.rows[0].normal, V(0, 1, 0));

    // A corner already inside at the pose enters nothing: no push-out contact.
    World stale;
    stale.faces = w.faces;
    stale.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(0.2f, 0.3f, 0), At(0.2f, 0.25f, 0));
    EXPECT_EQ(stale.Collide(), 0);
}

// Kinds the world does not collide report through the engine report; kind 0 is a null form.
TEST(WorldCollisionTest, UnsupportedKindsAndTheNullForm)
{
    // A Cuboid is not prepared (physics error 1, "Error = 1"), then its handler reports; while
    // the body intersects, the intersection handler reports first and, finding nothing, the
    // collision handler after it.
    for (int intersecting : {0, 1})
    {
        World w;
        Reports reports;
        w.Place(CuboidForm(0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
        w.body.worldIntersecting = uint8_t(intersecting);
        EXPECT_EQ(w.Collide(), 0);
        EXPECT_EQ(reports.codes(), std::vector<int32_t>{1});
        EXPECT_EQ(reports.count(), intersecting ? 3u : 2u);
        EXPECT_EQ(reports.caption(), "Physics Collision");
        EXPECT_EQ(reports.text(), "Unsupported form");
    }
    {
        Reports reports;
        bz_PhysWorld_UnsupportedIntersection();
        EXPECT_EQ(reports.caption(), "Physics Intersection");
        EXPECT_EQ(reports.text(), "Unsupported form");
    }
    World w;
    Reports reports;
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
    w.form->firstShape->kind = BZ_SHAPE_NULL;
    EXPECT_EQ(w.Collide(), 0);
    EXPECT_EQ(reports.caption(), "Physics");
    EXPECT_EQ(reports.text(), "Null form");
    ASSERT_GE(reports.codes().size(), 1u);
    EXPECT_EQ(reports.codes()[0], 1); // no vertices to place for a null shape
    w.form->firstShape->kind = BZ_SHAPE_ALIGNED_CUBOID;
}

// The level gate: a body above the level over faces that all lie below it touches nothing.
TEST(WorldCollisionTest, TheLevelGate)
{
    World w;
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.8f, 0), At(2, 0.3f, 0));
    w.body.bodyBox = {V(1.5f, 0.3f, -0.5f), V(2.5f, 1.3f, 0.5f)};
    bz_PhysWorld_SetLevel(0.25f, 1);
    EXPECT_EQ(w.Collide(), 0);
    bz_PhysWorld_SetLevel(0.25f, 0); // some face reaches above the level
    EXPECT_EQ(w.Collide(), 4);
    bz_PhysWorld_SetLevel(0.35f, 1); // the body reaches below the level
    EXPECT_EQ(w.Collide(), 4);
    bz_PhysWorld_SetLevel(0.0f, 1); // no level
    EXPECT_EQ(w.Collide(), 4);
}

// A pose that is not a number: physics error 10 and no rows; the other bad placements likewise.
TEST(WorldCollisionTest, APoseThatIsNotANumber)
{
    for (int which = 0; which < 2; which++)
    {
        World w;
        Reports reports;
        bzM34 pose = At(2, 0.8f, 0), lumpMatrix = At(2, 0.3f, 0);
        (which ? lumpMatrix : pose).row[1].y = std::numeric_limits<float>::quiet_NaN();
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), pose, lumpMatrix);
        EXPECT_EQ(w.Collide(), 0);
        ASSERT_EQ(reports.codes().size(), 1u);
        EXPECT_EQ(reports.codes()[0], 10);
        EXPECT_EQ(reports.caption(), "Physics Error");
        EXPECT_EQ(reports.text(), "10) Nan in physics(2)-  probably");
        for (const bzCollisionContact &r : w.rows)
            EXPECT_EQ(r.key, 300.0f);
    }
}

// The run of contacts that agree with the first.
TEST(WorldCollisionTest, TheConsistencyRun)
{
    struct Case
    {
        const char *name;
        uint32_t type;
        float key;
        float degrees;
        int32_t expected;
    };
    const Case cases[] = {
        {"another feature 0.2 later", 2, 0.5f, 0, 1},
        {"the same feature 0.2 later", 1, 0.5f, 0, 2},
        {"another feature 0.05 later", 2, 0.35f, 0, 2},
        {"another feature 0.1 later", 2, 0.4f, 0, 2},
        {"a normal 60 degrees away", 1, 0.3f, 60, 1},
        {"a normal 15 degrees away", 1, 0.3f, 15, 2},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact rows[2]{};
        rows[0].key = 0.3f;
        rows[0].type = 1;
        rows[0].normal = V(0, 1, 0);
        rows[1].key = c.key;
        rows[1].type = c.type;
        const float a = c.degrees * 3.14159265f / 180.0f;
        rows[1].normal = V(std::sin(a), std::cos(a), 0);
        EXPECT_EQ(bz_PhysWorld_ConsistentCount(rows, 2), c.expected) << c.name;
    }
    EXPECT_EQ(bz_PhysWorld_ConsistentCount(nullptr, 2), 0);
}

// A body known to intersect the world: a sphere sunk into the floor gives a contact at its foot
// with key 0 and stays intersecting; once clear of the floor the byte is cleared.
TEST(WorldCollisionTest, TheIntersectionHandlersOfTheSphere)
{
    World w;
    w.Place(SphereForm(0.5f), At(2, 0.3f, 0), At(2, 0.35f, 0));
    w.body.worldIntersecting = 1;
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].key, 0.0f);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_POINT_ON_FACE);
    ExpectV3(w.rows[0].point, V(0, -0.3f, 0));
    ExpectV3(w.rows[0].normal, V(0, 1, 0));
    EXPECT_EQ(w.body.worldIntersecting, 1);

    w.Place(SphereForm(0.5f), At(2, 3, 0), At(2, 3, 0));
    EXPECT_EQ(w.Collide(), 0);
    EXPECT_EQ(w.body.worldIntersecting, 0);
}

// A box sunk into the floor while intersecting and going deeper: its vertical edges cast down
// through the floor give key-0 contacts where they pass it. Coming out, nothing is added but
// the body still intersects.
TEST(WorldCollisionTest, TheIntersectionHandlersOfTheBox)
{
    World w;
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.3f, 0), At(2, 0.25f, 0));
    w.body.worldIntersecting = 1;
    const int32_t n = w.Collide();
    ASSERT_EQ(n, 4);
    for (int32_t i = 0; i < n; i++)
    {
        EXPECT_EQ(w.rows[i].key, 0.0f);
        EXPECT_EQ(w.rows[i].type, BZ_CONTACT_POINT_ON_FACE);
        EXPECT_NEAR(w.rows[i].point.y, -0.3f, 1e-5f);
        ExpectV3(w.rows[i].normal, V(0, 1, 0));
    }
    EXPECT_EQ(w.body.worldIntersecting, 1);

    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.3f, 0), At(2, 0.35f, 0));
    EXPECT_EQ(w.Collide(), 0);
    EXPECT_EQ(w.body.worldIntersecting, 1);
}

// The work record goes back to temporary stack 1.
TEST(WorldCollisionTest, TheWorkRecordIsReleased)
{
    World w;
    w.Place(HullForm(BZ_SHAPE_POLYHEDRON, BoxPoints(0.5f)), At(2, 0.8f, 0), At(2, 0.3f, 0));
    const uint32_t before = bz_TempStack_SpaceLeft(1, 0);
    EXPECT_EQ(w.Collide(), 4);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), before);
}

// A rounded box of rounding 0.1 falling onto the floor: its corners as spheres touch when the
// hull's bottom is 0.1 above the floor.
TEST(WorldCollisionTest, ARoundedPolyhedronGivesRoundEnds)
{
    World w;
    w.Place(HullForm(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(0.4f), 0.1f), At(2, 1.0f, 0),
            At(2, 0.0f, 0));
    const int32_t n = w.Collide();
    ASSERT_GE(n, 1);
    for (int32_t i = 0; i < n; i++)
    {
        EXPECT_EQ(w.rows[i].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
        EXPECT_NEAR(w.rows[i].key, 0.5f, 2e-3f); // bottom corner at 0.6 reaches 0.1 at half
        ExpectV3(w.rows[i].normal, V(0, 1, 0));
        EXPECT_NEAR(w.rows[i].point.y, -0.5f, 1e-4f);
    }
}
// A step's world collision of every kind takes nothing from the system heap or the engine's
// memory manager.
TEST(WorldCollisionTest, NoMemoryIsTaken)
{
    const long probe = gNewCalls.load();
    int *volatile box = new int(1);
    delete box;
    ASSERT_EQ(gNewCalls.load(), probe + 1); // the counter sees this program's allocations

    std::vector<FormPtr> forms;
    forms.push_back(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f));
    forms.push_back(BoxForm(BZ_SHAPE_CRUSHABLE_CUBOID, 0.5f));
    forms.push_back(HullForm(BZ_SHAPE_POLYHEDRON, BoxPoints(0.5f)));
    forms.push_back(HullForm(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(0.4f), 0.1f));
    forms.push_back(SphereForm(0.5f));
    forms.push_back(TicTacForm(V(-1, 0, 0), V(1, 0, 0), 0.5f));
    std::vector<std::unique_ptr<World>> worlds;
    for (FormPtr &f : forms)
    {
        worlds.push_back(std::make_unique<World>());
        worlds.back()->Place(std::move(f), At(0.3f, 0.8f, 0.2f), At(0.3f, 0.25f, 0.2f));
    }
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    for (int intersecting = 0; intersecting < 2; intersecting++)
        for (auto &w : worlds)
        {
            w->body.worldIntersecting = uint8_t(intersecting);
            EXPECT_GT(w->Collide(), 0);
        }
    EXPECT_EQ(gNewCalls.load(), newBefore);
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
// Degenerate geometry: a tic-tac whose axis has no length collides as its end sphere; faces of
// no area (two corners at one place, all three at one place) give no crash, and what their edges
// give is a sound contact: a key of the step or a resting or push-out mark, a unit normal.
TEST(WorldCollisionTest, DegenerateAxesAndFaces)
{
    World w;
    w.Place(TicTacForm(V(0, 0, 0), V(0, 0, 0), 0.5f), At(2, 1, 0), At(2, 0, 0));
    ASSERT_EQ(w.Collide(), 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_SWEPT_ROUND_ON_FACE);
    EXPECT_NEAR(w.rows[0].key, 0.5f, 2e-3f);

    World flat;
    flat.faces.clear();
    const bzV3 up = V(0, 1, 0);
    flat.faces.push_back(Face(V(1, 0, -1), V(1, 0, -1), V(3, 0, 1), up, 0));
    flat.faces.push_back(Face(V(2, 0, 0), V(2, 0, 0), V(2, 0, 0), up, 0));
    std::vector<FormPtr> forms;
    forms.push_back(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f));
    forms.push_back(SphereForm(0.5f));
    forms.push_back(TicTacForm(V(-1, 0, 0), V(1, 0, 0), 0.5f));
    forms.push_back(HullForm(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(0.4f), 0.1f));
    auto expectSound = [&](int32_t n)
    {
        for (int32_t k = 0; k < n; k++)
        {
            const bzCollisionContact &r = flat.rows[k];
            EXPECT_TRUE((r.key >= 0.0f && r.key <= 1.1f) || (r.key >= 10.0f && r.key <= 11.2f))
                << r.key;
            const float len = std::sqrt(r.normal.x * r.normal.x + r.normal.y * r.normal.y +
                                        r.normal.z * r.normal.z);
            EXPECT_NEAR(len, 1.0f, 1e-3f);
            EXPECT_TRUE(std::isfinite(r.point.x + r.point.y + r.point.z));
        }
    };
    for (FormPtr &f : forms)
    {
        flat.Place(std::move(f), At(2, 1, 0), At(2, 0, 0));
        expectSound(flat.Collide());
        flat.body.worldIntersecting = 1;
        flat.Place(std::move(flat.form), At(2, 0.2f, 0), At(2, 0.1f, 0));
        expectSound(flat.Collide());
        flat.body.worldIntersecting = 0;
    }
}
// Push-out mode: every vertex is cast from the centre of mass to its place under the body's
// pose; the bottom corners of a box sunk 0.2 into the floor (centre 0.3 above it, corners 0.5
// below the centre) cross it at 0.3 / 0.5 of the way.
TEST(WorldCollisionTest, PushOutModeCastsFromTheCentreOfMass)
{
    World w;
    w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), At(2, 0.3f, 0), At(2, 0.3f, 0));
    bz_PhysWorld_SetPushOutMode(1);
    const int32_t n = w.Collide();
    bz_PhysWorld_SetPushOutMode(0);
    ASSERT_GE(n, 1);
    EXPECT_EQ(w.rows[0].type, BZ_CONTACT_POINT_ON_FACE);
    EXPECT_NEAR(w.rows[0].key, 0.6f, 1e-5f);
    ExpectV3(w.rows[0].point, V(0, 0, 0)); // the cast's start, the centre of mass
    ExpectV3(w.rows[0].normal, V(0, 1, 0));
    // Out of push-out mode the same still box gives nothing swept.
    EXPECT_EQ(w.Collide(), 0);
}
} // namespace
