// The pair tests, containment and ray queries take nothing from the engine's memory manager or
// the system heap while they run.
#include "FakeContactBody.h"
#include "PairTestShapes.h"
#include "collision/CollisionContact.h"
#include "collision/EdgePrimitives.h"
#include "collision/FaceRays.h"
#include "collision/FaceTests.h"
#include "collision/HullPrimitives.h"
#include "collision/PointPrimitives.h"
#include "collision/SegmentTests.h"
#include "collision/ShapeRay.h"
#include "collision/SweptCollision.h"
#include "collision/UnitRoots.h"
#include "core/Memory.h"

#include "CountingNew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

using namespace pairtest;

namespace
{
// What the memory manager and the system heap have given out when made, to hold against what
// they have given out when the checks run.
struct MemoryWatch
{
    bzMemStats before{};
    long newBefore = 0;

    MemoryWatch()
    {
        bz_Mem_GetStats(&before);
        newBefore = gNewCalls.load();
    }
    // Nothing taken from either since the watch was made.
    void ExpectNothingTaken() const
    {
        const long newAfter = gNewCalls.load();
        bzMemStats after;
        bz_Mem_GetStats(&after);
        EXPECT_EQ(newAfter, newBefore);
        EXPECT_EQ(after.blockCount, before.blockCount);
        EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    }
};

TEST(PairNoAlloc, QueriesTakeNoMemory)
{
    std::vector<FormPtr> forms;
    forms.push_back(AlignedCuboid(V(0, 0, 0), V(1, 1, 1)));
    forms.push_back(Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))));
    forms.push_back(Sphere(V(0.5f, 0.5f, 0.5f), 0.6f));
    forms.push_back(TicTac(V(0, 0, 0), V(1, 1, 1), 0.3f));
    forms.push_back(Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(0.2f, 0, 0)));
    forms.push_back(AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.5f));
    forms.push_back(HalfSpace(V(0, 1, 0), 0.5f));
    forms.push_back(Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.2f));
    std::vector<bzM34> placements;
    std::mt19937 rng(3);
    for (int i = 0; i < 8; i++)
        placements.push_back(RandomPlacement(rng, 0.8f));
    // The counter sees an allocation of this program.
    const long probe = gNewCalls.load();
    int *volatile box = new int(1);
    delete box;
    ASSERT_EQ(gNewCalls.load(), probe + 1);

    const MemoryWatch watch;
    int hits = 0;
    for (size_t a = 0; a < forms.size(); a++)
        for (size_t b = 0; b < forms.size(); b++)
        {
            hits += bz_Form_IntersectForm(forms[a].get(), &placements[a], forms[b].get(),
                                          &placements[b]);
            const bzV3 p = V(0.5f, 0.4f, 0.3f);
            hits += bz_Form_ContainsPoint(forms[a].get(), &p);
            const bzRay ray = {V(-2, 0.5f, 0.5f), V(4, 0.1f, 0.2f), 0};
            hits += bz_Form_RayIntersect(forms[a].get(), &ray, nullptr, nullptr, nullptr, nullptr);
        }
    // Gathered faces against the forms of every kind but the half-spaces (reported), and rays.
    bzDynFaceHit floor[2] = {};
    const bzV3 corners[2][3] = {{V(-5, -5, 0.5f), V(5, -5, 0.5f), V(5, 5, 0.5f)},
                                {V(-5, -5, 0.5f), V(5, 5, 0.5f), V(-5, 5, 0.5f)}};
    for (int f = 0; f < 2; f++)
    {
        floor[f].plane = {V(0, 0, 1), 0.5f};
        for (int k = 0; k < 3; k++)
            floor[f].vertices[k] = corners[f][k];
    }
    bzDynFaceList list = {2, 2, 0, 0, nullptr, 0, floor};
    for (size_t a = 0; a < forms.size(); a++)
    {
        const uint32_t kind = forms[a]->firstShape->kind;
        if (kind == BZ_SHAPE_ALIGNED_HALF_SPACE || kind == BZ_SHAPE_HALF_SPACE)
            continue;
        hits += bz_DynFaceList_IntersectForm(forms[a].get(), &list, &placements[a]);
        hits += bz_DynFaceList_IntersectFormWithMargin(forms[a].get(), &list, nullptr, 0.01f);
    }
    const bzRay down = {V(0, 0, 3), V(0, 0, -5), 0};
    float t;
    hits += bz_DynForm_TestFaces(&list, &down, &t, nullptr, nullptr, nullptr, nullptr);
    watch.ExpectNothingTaken();
    EXPECT_GT(hits, 0);
}

TEST(PairNoAlloc, SweptContactAndPrimitivePathsTakeNoMemory)
{
    std::vector<FormPtr> forms;
    forms.push_back(AlignedCuboid(V(0, 0, 0), V(1, 1, 1)));
    forms.push_back(Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(2, 0, 0), V(3, 1, 1))));
    forms.push_back(Sphere(V(0.5f, 3.5f, 0.5f), 0.6f));
    forms.push_back(TicTac(V(-3, 0, 0), V(-3, 1, 1), 0.3f));
    forms.push_back(Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(0.2f, -3, 0)));
    forms.push_back(AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, -5));
    forms.push_back(Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 4), V(1, 1, 5)), 0.2f));
    const bzHull *cube = bz_Shape_Hull(forms[1]->firstShape);
    fakebody::ScopedFakeBodies fakes;
    fakebody::FakeBody body = fakebody::PlainBody();
    bzCollisionContact rows[5] = {};
    bzCollisionFace face{};
    face.normal = V(0, 1, 0);
    face.corners[1] = V(1, 0, 0);
    face.corners[2] = V(0, 0, 1);

    const MemoryWatch watch;
    int hits = 0;
    for (size_t a = 0; a < forms.size(); a++)
        for (size_t b = 0; b < forms.size(); b++)
        {
            float t;
            const bzV3 m = V(3.0f - a, 2.0f - b, 1.5f);
            hits += bz_Form_SweptCollision(forms[a].get(), forms[b].get(), &m, &t);
        }
    int32_t count = 0;
    for (int i = 0; i < 8; i++)
    {
        const bzV3 p = V(float(i), 0, 0), n = V(0, 1, 0);
        count = bz_PhysContacts_Insert(rows, 0.1f * float(8 - i), &p, &n, count,
                                       fakebody::AsBody(&body), 1, &face, nullptr);
    }
    float roots[4], fractions[2], f, mark;
    bzV3 point, normal;
    hits += bz_QuarticRootsInUnit(1, -2, 1.5f, -0.5f, 0.0625f, roots);
    hits += bz_CubicRootsInUnit(1, -1.5f, 0.5f, -0.01f, roots);
    const bzV3 down = V(0, -2, 0), starts[2] = {V(0.25f, 1, 0.25f), V(0.1f, 1, 0.1f)};
    hits += bz_RaysIntersectFace(&down, &face, 2, starts, &normal, fractions);
    bz_SegmentIntersectFace(&down, &face, &starts[0], &point, &normal, &f);
    const bzV3 a = V(0.5f, 3, 0.5f), ab = V(2.5f, 0.5f, 0.5f), d = V(0, -4, 0);
    hits += bz_Segment_Hull(&a, &ab, cube, 0.0f, &point, &f) != 0;
    hits += bz_SegmentAgainstRoundedHull(&a, &d, 0.2f, 0.1f, cube, 0.1f, nullptr, 1, &f, &point,
                                         &normal) != 0;
    hits += bz_PointInHullNormal(&a, &d, cube, &f, &point, &normal, &mark) != 0;
    bzCollisionContact row{};
    row.key = 200.0f;
    const bzV3 edgeStart = V(0, 0, 0), edge = V(4, 0, 0), p = V(2, 1.005f, 0);
    hits += bz_RestingPointOnEdge(&p, &edgeStart, &edge, 1.0f, &row, nullptr);
    const bzV3 p1 = V(1, -1, 0.2f);
    hits += bz_SweptSphereAgainstCylinder(&a, &p1, &edgeStart, &edge, 0.5f, 0.5f, &row, nullptr);
    watch.ExpectNothingTaken();
    EXPECT_GT(hits, 5);
    EXPECT_EQ(count, 4);
}
} // namespace
