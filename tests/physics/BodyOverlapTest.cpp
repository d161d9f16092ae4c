// Body overlap queries and the push-out direction: box early-outs, parent and child pairs,
// edges of each kind carried between frames, the aligned-cuboid pair tests, and the way out of
// the floor and out of a neighbour.
#include "PairTestBodies.h"
#include "WorldCollisionFixture.h"

#include "core/Error.h"
#include "physics/BodyOverlap.h"
#include "physics/PhysSettings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
using pairbody::PairBody;
using pairtest::AlignedCuboid;
using pairtest::V;

pairtest::FormPtr Cube(float half = 1.0f)
{
    return AlignedCuboid(V(-half, -half, -half), V(half, half, half));
}

pairtest::FormPtr PolyCube(float half = 1.0f)
{
    return pairtest::Hull(BZ_SHAPE_POLYHEDRON,
                          pairtest::BoxPoints(V(-half, -half, -half), V(half, half, half)));
}

void PlaceAt(PairBody &b, const bzM34 &m)
{
    b.Place(m, m);
}

TEST(BodyOverlapTest, FormsOverlapWhenAnEdgeCrossesByKind)
{
    struct Case
    {
        const char *what;
        pairtest::FormPtr (*a)();
        pairtest::FormPtr (*b)();
        float bx;
        int want;
    };
    const Case cases[] = {
        {"boxes overlapping", [] { return Cube(); }, [] { return Cube(); }, 1.5f, 1},
        {"boxes apart", [] { return Cube(); }, [] { return Cube(); }, 2.5f, 0},
        {"polyhedra overlapping", [] { return PolyCube(); }, [] { return PolyCube(); }, 1.9f, 1},
        {"polyhedra apart", [] { return PolyCube(); }, [] { return PolyCube(); }, 2.3f, 0},
        // A sphere is tested as the 12 edges of its box: the box corner region counts.
        {"sphere's box reaches the cube", [] { return Cube(); },
         [] { return pairtest::Sphere(V(0, 0, 0), 1.0f); }, 1.95f, 1},
        {"box inside box", [] { return Cube(2.0f); }, [] { return Cube(0.5f); }, 0.0f, 1},
    };
    for (const Case &c : cases)
    {
        PairBody a(c.a()), b(c.b());
        PlaceAt(b, pairbody::RotationZ(0.3f, V(c.bx, 0.2f, 0)));
        EXPECT_EQ(bz_PhysObject_FormsOverlap(a.get(), b.get()), c.want) << c.what;
        EXPECT_EQ(bz_PhysObject_FormsOverlap(b.get(), a.get()), c.want) << c.what;
    }
}

TEST(BodyOverlapTest, BoxesApartGiveNothingWhateverTheShapes)
{
    KeepAlive keep;
    // A tic-tac has no edge test and is reported, but boxes that do not overlap end the query
    // before any shape is looked at.
    PairBody a(pairtest::TicTac(V(0, -1, 0), V(0, 1, 0), 0.5f)), b(Cube());
    PlaceAt(b, pairtest::Translation(5, 0, 0));
    const uint32_t before = bz_Error_ReportCount();
    EXPECT_EQ(bz_PhysObject_FormsOverlap(a.get(), b.get()), 0);
    EXPECT_EQ(bz_Error_ReportCount(), before);
    // Overlapping, the tic-tac is reported as a shape without an edge test.
    PlaceAt(b, pairtest::Translation(0.5f, 0, 0));
    EXPECT_EQ(TestShapeEdgeIntersection(a.form->firstShape, a.get(), b.form->firstShape, b.get()),
              0);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "TestShapeEdgeIntersection");
    EXPECT_NE(std::string(bz_Error_LastReportText()).find("Unsupported shape"), std::string::npos);
    // The filter: bodies that ignore each other never overlap.
    PairBody c(Cube()), d(Cube());
    PlaceAt(d, pairtest::Translation(0.5f, 0, 0));
    c.body.groupMask = 0x1;
    d.body.ignoreMask = 0x1;
    EXPECT_EQ(bz_PhysObject_FormsOverlap(c.get(), d.get()), 0);
    d.body.ignoreMask = 0;
    EXPECT_EQ(bz_PhysObject_FormsOverlap(c.get(), d.get()), 1);
}

TEST(BodyOverlapTest, AParentAndItsChildNeverOverlap)
{
    PairBody parent(Cube()), child(Cube()), grandchild(Cube()), other(Cube());
    PlaceAt(child, pairtest::Translation(0.5f, 0, 0));
    PlaceAt(grandchild, pairtest::Translation(2.6f, 0, 0));
    PlaceAt(other, pairtest::Translation(10, 0, 0));
    child.body.parent = parent.get();
    parent.body.firstChild = child.get();
    grandchild.body.parent = child.get();
    child.body.firstChild = grandchild.get();
    EXPECT_EQ(bz_PhysObject_OverlapsBody(parent.get(), child.get()), 0);
    EXPECT_EQ(bz_PhysObject_OverlapsBody(child.get(), parent.get()), 0);
    EXPECT_EQ(bz_PhysObject_OverlapsBody(parent.get(), parent.get()), 0);
    EXPECT_EQ(bz_PhysObject_OverlapsBodyTree(parent.get(), child.get()), 0);
    EXPECT_EQ(bz_PhysObject_OverlapsBodyTree(child.get(), parent.get()), 0);
    // A body beside the grandchild overlaps the parent's tree through it.
    EXPECT_EQ(bz_PhysObject_OverlapsBodyTree(other.get(), parent.get()), 0);
    PlaceAt(other, pairtest::Translation(4.0f, 0, 0));
    EXPECT_EQ(bz_PhysObject_OverlapsBody(other.get(), parent.get()), 0);
    EXPECT_EQ(bz_PhysObject_OverlapsBodyTree(other.get(), parent.get()), 1);
    // The grandchild is no child of the parent: when it reaches the parent, the tree query
    // finds it below the child.
    PlaceAt(grandchild, pairtest::Translation(1.6f, 0, 0));
    EXPECT_EQ(bz_PhysObject_OverlapsBody(parent.get(), grandchild.get()), 1);
    EXPECT_EQ(bz_PhysObject_OverlapsBodyTree(parent.get(), child.get()), 1);
}

TEST(BodyOverlapTest, PushOutFromOneWorldContactFollowsItsNormalIntoTheWorld)
{
    worldfixture::World w;
    // A turned box sunk into the floor: its push-out contacts' normals, turned by its pose,
    // point up out of the floor.
    const bzM34 pose = pairbody::RotationZ(0.4f, V(0, 0.8f, 0));
    w.Place(worldfixture::BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 1.0f), pose, pose);
    w.list.capacity = w.list.count = int32_t(w.faces.size());
    w.list.entries = w.faces.data();
    w.cache.gatherList = &w.list;
    w.body.collisionCache = &w.cache;
    bzV3 out = V(9, 9, 9);
    ASSERT_EQ(bz_PhysObject_PushOutDirection(&w.body, nullptr, &out), 0);
    // The same contacts straight from the world collision in push-out mode.
    bz_PhysWorld_SetPushOutMode(1);
    const int32_t k = bz_PhysWorld_CollideObject(0, &w.body, w.rows);
    bz_PhysWorld_SetPushOutMode(0);
    ASSERT_GE(k, 1);
    bzV3 sum = V(0, 0, 0);
    for (int32_t i = 0; i < k; i++)
        sum = V(sum.x + w.rows[i].normal.x, sum.y + w.rows[i].normal.y, sum.z + w.rows[i].normal.z);
    bz_V3_Normalise(&sum);
    bzV3 want;
    bz_RotateV3Into(&pose, &want, &sum);
    EXPECT_NEAR(out.x, want.x, 1e-5f);
    EXPECT_NEAR(out.y, want.y, 1e-5f);
    EXPECT_NEAR(out.z, want.z, 1e-5f);
    EXPECT_GT(out.y, 0.9f);
    EXPECT_EQ(bz_PhysObject_LastOverlapped(), nullptr);
}

TEST(BodyOverlapTest, PushOutWithoutContactsLeavesTheFirstOverlappedNeighbour)
{
    PairBody body(Cube()), far(Cube()), near(Cube()), later(Cube());
    PlaceAt(body, pairtest::Translation(0, 0, 0));
    PlaceAt(far, pairtest::Translation(10, 0, 0));
    PlaceAt(near, pairtest::Translation(1.2f, 1.6f, 0));
    PlaceAt(later, pairtest::Translation(-1.5f, 0, 0));
    far.body.nextSibling = near.get();
    near.body.nextSibling = later.get();
    bzV3 out = V(9, 9, 9);
    ASSERT_EQ(bz_PhysObject_PushOutDirection(body.get(), far.get(), &out), 0);
    EXPECT_EQ(bz_PhysObject_LastOverlapped(), near.get());
    EXPECT_NEAR(out.x, -0.6f, 1e-5f);
    EXPECT_NEAR(out.y, -0.8f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    // Nothing overlapping: -1 and out unchanged.
    near.body.nextSibling = nullptr;
    PlaceAt(near, pairtest::Translation(5, 5, 0));
    out = V(9, 9, 9);
    EXPECT_EQ(bz_PhysObject_PushOutDirection(body.get(), far.get(), &out), -1);
    EXPECT_EQ(out.x, 9.0f);
    EXPECT_EQ(bz_PhysObject_LastOverlapped(), nullptr);
}

TEST(BodyOverlapTest, CountingSiblingsLeavesTheBodyItselfOutAndCountsEachWayOut)
{
    PairBody first(Cube()), a(Cube()), b(Cube()), c(Cube()), wall(Cube()), post(Cube());
    PlaceAt(wall, pairtest::Translation(10, 0, 0));
    PlaceAt(post, pairtest::Translation(20, 0, 0));
    wall.body.nextSibling = post.get();
    PlaceAt(first, pairtest::Translation(10, 0.5f, 0)); // overlaps the wall, but is not counted
    PlaceAt(a, pairtest::Translation(11.5f, 0, 0));     // 1.5 from the wall: inside
    PlaceAt(b, pairtest::Translation(0, 30, 0));        // clear of both
    PlaceAt(c, pairtest::Translation(19, 0.5f, 0));     // overlaps the post
    first.body.nextSibling = a.get();
    a.body.nextSibling = b.get();
    b.body.nextSibling = c.get();
    EXPECT_EQ(bz_PhysObject_CountOverlappingSiblings(first.get(), wall.get()), 2);
    // From a: b and c follow, only c is inside.
    EXPECT_EQ(bz_PhysObject_CountOverlappingSiblings(a.get(), wall.get()), 1);
    EXPECT_EQ(bz_PhysObject_LastOverlapped(), post.get());
    // The last of the chain has no followers; no list, no way out; no body, nothing.
    EXPECT_EQ(bz_PhysObject_CountOverlappingSiblings(c.get(), wall.get()), 0);
    EXPECT_EQ(bz_PhysObject_CountOverlappingSiblings(first.get(), nullptr), 0);
    EXPECT_EQ(bz_PhysObject_CountOverlappingSiblings(nullptr, wall.get()), 0);
}

TEST(BodyOverlapTest, AlignedCuboidPairs)
{
    PairBody a(Cube()), b(Cube()), c(Cube()), sphere(pairtest::Sphere(V(0, 0, 0), 1.0f));
    // Edges cross when B is turned over A's corner region; a box well inside another has no
    // crossing edges but touches it.
    PlaceAt(b, pairbody::RotationZ(0.785398163f, V(2.2f, 0, 0)));
    EXPECT_EQ(bz_PhysObject_CuboidEdgesCross(a.get(), b.get()), 1);
    EXPECT_EQ(bz_PhysObject_CuboidsTouch(a.get(), b.get()), 1);
    PairBody small(Cube(0.3f));
    EXPECT_EQ(bz_PhysObject_CuboidEdgesCross(a.get(), small.get()), 0);
    EXPECT_EQ(bz_PhysObject_CuboidsTouch(a.get(), small.get()), 1);
    PlaceAt(c, pairtest::Translation(3.0f, 0, 0));
    EXPECT_EQ(bz_PhysObject_CuboidEdgesCross(a.get(), c.get()), 0);
    EXPECT_EQ(bz_PhysObject_CuboidsTouch(a.get(), c.get()), 0);
    EXPECT_EQ(bz_PhysObject_CuboidEdgesCross(a.get(), sphere.get()), 0);
    EXPECT_EQ(bz_PhysObject_CuboidsTouch(a.get(), sphere.get()), 0);
    // A chain: a, c, b; the pair (a, b) crosses.
    a.body.nextSibling = c.get();
    c.body.nextSibling = b.get();
    EXPECT_EQ(bz_PhysObject_AnyCuboidPairCrosses(a.get()), 1);
    c.body.nextSibling = nullptr;
    EXPECT_EQ(bz_PhysObject_AnyCuboidPairCrosses(a.get()), 0);
}
} // namespace
