// The octree's box query, point test and walks, its triangle-against-box test, and its movable
// objects: placing, the outside list, removal during a query, moving and freeing.
#include "OctreeTestSupport.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"
#include "scene/OctreeQuery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>

namespace
{
std::vector<bzV3> Wall(float at)
{
    return Tri({{{at, -1, -1}}}, {{{at, 1, -1}}}, {{{at, 0, 1}}});
}

// A root over walls at x = 0, 10, 20, ..., with its octree.
struct Walls
{
    FakeModels models;
    bzLump *root;
    bzOctree *octree;
    std::vector<bzLump *> lumps;
    explicit Walls(int count)
    {
        root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        for (int k = 0; k < count; k++)
        {
            bzLump *l = bz_Lump_CreateModel(models.NewMesh("wall", Wall(10.0f * k)));
            bz_Lump_AppendChild(root, l);
            lumps.push_back(l);
        }
        octree = bz_Lump_BuildOctree(root);
    }
    ~Walls() { bz_Lump_DestroyTree(root); }
    // A box lump under the root at x, with a box of half size h around its origin.
    bzLump *Mover(float x, float h)
    {
        // A wall across x = 0 and a floor that gives the box its depth.
        bzLump *l = bz_Lump_CreateModel(models.NewMesh(
            "mover", Join({Tri({{{0, -h, -h}}}, {{{0, h, -h}}}, {{{0, 0, h}}}),
                           Tri({{{-h, -h, -h}}}, {{{h, -h, -h}}}, {{{h, -h, h}}})})));
        bz_M34_SetTranslation(&l->matrix, x, 0, 0);
        bz_Lump_AppendChild(root, l);
        return l;
    }
};

TEST(OctreeTriangle, ATriangleOverACornerIsFoundByTheBoxEdges)
{
    const bzBox box = {{{{0, 0, 0}}}, {{{1, 1, 1}}}};
    struct Case
    {
        const char *what;
        float sum; // the triangle lies in x + y + z = sum with its edges far outside the box
        int overlap;
    };
    const Case cases[] = {{"cuts the corner", 2.9f, 1}, {"passes the corner", 3.1f, 0}};
    for (const Case &c : cases)
    {
        // Corners (s + 7.1, -3.55, -3.55) and its rotations, each with coordinates summing to s.
        const bzV3 v0 = {{{c.sum + 7.1f, -3.55f, -3.55f}}};
        const bzV3 v1 = {{{-3.55f, c.sum + 7.1f, -3.55f}}};
        const bzV3 v2 = {{{-3.55f, -3.55f, c.sum + 7.1f}}};
        EXPECT_EQ(bzOctree_TriangleOverlapsBox(&v0, &v1, &v2, &box), c.overlap) << c.what;
    }
    // A vertex inside, an edge through, and a triangle wholly beside the box.
    const bzV3 in[3] = {{{{0.5f, 0.5f, 0.5f}}}, {{{5, 5, 5}}}, {{{5, 6, 5}}}};
    EXPECT_EQ(bzOctree_TriangleOverlapsBox(&in[0], &in[1], &in[2], &box), 1);
    const bzV3 through[3] = {{{{-1, 0.5f, 0.5f}}}, {{{2, 0.5f, 0.5f}}}, {{{2, 5, 5}}}};
    EXPECT_EQ(bzOctree_TriangleOverlapsBox(&through[0], &through[1], &through[2], &box), 1);
    const bzV3 beside[3] = {{{{2, 0, 0}}}, {{{3, 0, 0}}}, {{{2, 1, 1}}}};
    EXPECT_EQ(bzOctree_TriangleOverlapsBox(&beside[0], &beside[1], &beside[2], &box), 0);
}

struct Seen
{
    std::vector<std::pair<bzLump *, uint32_t>> faces;
    std::vector<bzOctreeObject *> objects;
    intptr_t stopWith = 0;
};

intptr_t CollectFace(bzOctreeEntry *entry, uint32_t face, void *user)
{
    Seen *s = (Seen *)user;
    s->faces.push_back({entry->lump, face});
    return s->stopWith;
}

intptr_t CollectObject(bzOctreeObject *object, void *user)
{
    Seen *s = (Seen *)user;
    s->objects.push_back(object);
    return s->stopWith;
}

TEST(OctreeBoxQuery, ReportsTheFacesAndObjectsInTheBoxOnce)
{
    Walls w(4);
    ASSERT_NE(w.octree, nullptr);
    bzLump *mover = w.Mover(15, 1);
    bzOctreeObject *object = bzOctree_AddLumpObject(nullptr, nullptr, mover);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(mover->octree, object);
    EXPECT_EQ(mover->flags & BZ_LUMP_OCTREE, 0u);

    Seen seen;
    const bzBox box = {{{{9, -2, -2}}}, {{{16, 2, 2}}}};
    EXPECT_EQ(bzOctree_Query(CollectFace, w.octree, &box, nullptr, nullptr, nullptr, CollectObject,
                             &seen, 0, 0),
              0);
    ASSERT_EQ(seen.faces.size(), 1u);
    EXPECT_EQ(seen.faces[0].first, w.lumps[1]);
    ASSERT_EQ(seen.objects.size(), 1u);
    EXPECT_EQ(seen.objects[0], object);

    // A non-zero callback result ends the query with it.
    Seen stop;
    stop.stopWith = 7;
    EXPECT_EQ(bzOctree_Query(CollectFace, w.octree, &box, nullptr, nullptr, nullptr, CollectObject,
                             &stop, 0, 0),
              7);
    EXPECT_EQ(stop.faces.size() + stop.objects.size(), 1u);

    // The query box placed by a matrix: a box at the origin moved to x = 30.
    bzM34 place;
    bz_M34_Translation(&place, 30, 0, 0);
    const bzBox local = {{{{-1, -2, -2}}}, {{{1, 2, 2}}}};
    Seen moved;
    bzOctree_Query(CollectFace, w.octree, &local, nullptr, &place, nullptr, CollectObject, &moved,
                   0, 0);
    ASSERT_EQ(moved.faces.size(), 1u);
    EXPECT_EQ(moved.faces[0].first, w.lumps[3]);
    EXPECT_TRUE(moved.objects.empty());

    // The mask and value pass only lumps that carry the value.
    w.lumps[1]->queryFlags = 2;
    Seen masked;
    bzOctree_Query(CollectFace, w.octree, &box, nullptr, nullptr, nullptr, CollectObject, &masked,
                   2, 2);
    EXPECT_EQ(masked.faces.size(), 1u);
    EXPECT_TRUE(masked.objects.empty());
    EXPECT_EQ(bzOctree_IsQueryActive(), 0);
}

TEST(OctreeBoxQuery, OnlyAFaceCallbackComputesNoBoxToOctreeMatrix)
{
    Walls w(2);
    KeepAlive keep;
    bzM34 singular;
    bz_M34_Zero(&singular);
    const bzBox box = {{{{-1, -1, -1}}}, {{{1, 1, 1}}}};
    Seen seen;
    const uint32_t before = bz_Error_ReportCount();
    bzOctree_Query(CollectFace, w.octree, &box, &singular, nullptr, &box, nullptr, &seen, 0, 0);
    EXPECT_EQ(bz_Error_ReportCount(), before);
    // With an object callback the octree-to-box matrix is inverted, and reported singular.
    bzOctree_Query(CollectFace, w.octree, &box, &singular, nullptr, &box, CollectObject, &seen, 0,
                   0);
    EXPECT_GT(bz_Error_ReportCount(), before);
}

TEST(OctreeObjects, AnObjectOutsideEveryLeafIsOnTheOutsideListAndStillFound)
{
    Walls w(2);
    bzLump *mover = w.Mover(500, 1);
    bzOctreeObject *object = bzOctree_AddLumpObject(nullptr, nullptr, mover);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->leaves, nullptr);
    ASSERT_NE(w.octree->outsideObjects, nullptr);
    EXPECT_EQ(w.octree->outsideObjects->object, object);
    EXPECT_EQ(w.octree->outsideObjects->next, nullptr);

    const bzRayOptions both = {BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED, 0, 0, 0, 0, 0, 0};
    const bzRay ray = {{{{490, 0.1f, 0.2f}}}, {{{20, 0, 0}}}, 0};
    float t;
    bzLump *lump = nullptr;
    EXPECT_EQ(bz_Lump_RayIntersect(w.root, &ray, &both, &t, &lump, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
              1);
    EXPECT_EQ(lump, mover);
    EXPECT_GT(t, 0.4f);
    EXPECT_LT(t, 0.6f);

    // The box alone under the box-only option.
    const bzRayOptions boxOnly = {BZ_RAY_BOX_ONLY, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bz_Lump_RayIntersect(w.root, &ray, &boxOnly, &t, &lump, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
              1);
    EXPECT_FLOAT_EQ(t, 0.45f);

    bzOctree_RemoveObject(object);
    EXPECT_EQ(w.octree->outsideObjects, nullptr);
    EXPECT_EQ(bz_Lump_RayIntersect(w.root, &ray, &both, &t, &lump, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
              0);
}

TEST(OctreeObjects, RemovingObjectsInsideACallbackNeitherSkipsNorRevisits)
{
    // Two walls far apart with every object between them in one leaf list.
    Walls w(1);
    std::vector<bzOctreeObject *> objects;
    static bzBox unit = {{{{-1, -1, -1}}}, {{{1, 1, 1}}}};
    for (int k = 0; k < 5; k++)
    {
        bzLump *l = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "thing");
        bz_Lump_AppendChild(w.root, l);
        objects.push_back(bzOctree_AddLumpObject(&unit, nullptr, l));
        ASSERT_NE(objects.back(), nullptr);
    }
    // The leaf lists take the newest first: 4, 3, 2, 1, 0.
    struct Run
    {
        std::vector<bzOctreeObject *> objects;
        std::vector<bzOctreeObject *> visited;
    };
    static Run run;
    run = {objects, {}};
    const bzBox box = {{{{-0.5f, -0.5f, -0.5f}}}, {{{0.5f, 0.5f, 0.5f}}}};
    bzOctree_Query(
        nullptr, w.octree, &box, nullptr, nullptr, nullptr,
        [](bzOctreeObject *object, void *) -> intptr_t
        {
            run.visited.push_back(object);
            // The first one visited takes itself and the next one of the list away.
            if (run.visited.size() == 1)
            {
                bzOctree_RemoveObject(object);
                bzOctree_RemoveObject(run.objects[3]);
            }
            return 0;
        },
        nullptr, 0, 0);
    const std::vector<bzOctreeObject *> expected = {objects[4], objects[2], objects[1], objects[0]};
    EXPECT_EQ(run.visited, expected);
    // A second query finds the three left.
    run.visited.clear();
    Seen seen;
    bzOctree_Query(nullptr, w.octree, &box, nullptr, nullptr, nullptr, CollectObject, &seen, 0, 0);
    std::sort(seen.objects.begin(), seen.objects.end());
    std::vector<bzOctreeObject *> left = {objects[0], objects[1], objects[2]};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(seen.objects, left);
}

TEST(OctreeObjects, MovingAnObjectAndThePointTest)
{
    Walls w(4);
    bzLump *mover = w.Mover(5, 1);
    bzOctreeObject *object = bzOctree_AddLumpObject(nullptr, nullptr, mover);
    ASSERT_NE(object, nullptr);
    const bzV3 there = {{{5.5f, 0.5f, 0}}};
    const bzV3 later = {{{25.5f, 0.5f, 0}}};
    EXPECT_EQ(bzOctree_IsLumpAtPoint(&there, mover), 1);
    EXPECT_EQ(bzOctree_IsLumpAtPoint(&later, mover), 0);
    bz_M34_SetTranslation(&mover->matrix, 25, 0, 0);
    bzOctree_UpdateObject(object);
    EXPECT_EQ(bzOctree_IsLumpAtPoint(&there, mover), 0);
    EXPECT_EQ(bzOctree_IsLumpAtPoint(&later, mover), 1);
    // Only lumps that carry exactly the lump's own query word are tested.
    EXPECT_EQ(bzOctree_IsLumpAtPoint(&later, w.lumps[0]), 0);
}

TEST(OctreeObjects, RebuildingOrDestroyingLeavesNoObjectBehind)
{
    Walls w(2);
    bzLump *mover = w.Mover(5, 1);
    ASSERT_NE(bzOctree_AddLumpObject(nullptr, nullptr, mover), nullptr);
    // The old octree goes with its objects; the lump no longer holds one.
    ASSERT_NE(bz_Lump_BuildOctree(w.root), nullptr);
    w.octree = (bzOctree *)w.root->octree;
    EXPECT_EQ(mover->octree, nullptr);
    bzOctreeObject *again = bzOctree_AddLumpObject(nullptr, nullptr, mover);
    ASSERT_NE(again, nullptr);
    // Destroying the lump takes its object out of the octree.
    bz_Lump_Destroy(mover);
    Seen seen;
    const bzBox box = {{{{-100, -100, -100}}}, {{{100, 100, 100}}}};
    bzOctree_Query(nullptr, w.octree, &box, nullptr, nullptr, nullptr, CollectObject, &seen, 0, 0);
    EXPECT_TRUE(seen.objects.empty());
    EXPECT_EQ(bzOctree_HasLump(w.octree, w.lumps[1]), 1);
    EXPECT_EQ(bzOctree_HasLump(w.octree, w.root), 0);
    EXPECT_EQ(bzOctree_HasLump(nullptr, w.root), 0);
}

TEST(OctreeRayQuery, SegmentsUpToTheLimitAndTheFlagsOfTheQuery)
{
    Walls w(3);
    const bzRay ray = {{{{-10, 0, 0}}}, {{{20, 0, 0}}}, 0};
    float t = 2.0f; // the caller's best so far
    bzLump *lump = nullptr;
    uint32_t face = 9;
    float uv[2];
    // Without a caller t a segment accepts hits up to 1.00001: the wall at 10 sits at t = 1.
    const bzRay toTen = {{{{-10, 0, 0}}}, {{{20, 0, 0}}}, 0};
    bzRayOptions first = {BZ_RAY_FIRST_HIT, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bzOctree_RayQuery(nullptr, w.octree, &ray, 1, 1, &t, &lump, &face, uv), 1);
    EXPECT_EQ(lump, w.lumps[0]);
    EXPECT_FLOAT_EQ(t, 0.5f);
    float limit = 0.4f;
    EXPECT_EQ(bzOctree_RayQuery(nullptr, w.octree, &toTen, 1, 1, &limit, &lump, &face, uv), 0);
    EXPECT_EQ(limit, 0.4f);
    const bzRay atEnd = {{{{0.5f, 0, 0}}}, {{{9.5f, 0, 0}}}, 0};
    EXPECT_EQ(bzOctree_RayQuery(&first, w.octree, &atEnd, 1, 1, nullptr, &lump, nullptr, nullptr),
              1);
    EXPECT_EQ(lump, w.lumps[1]);
    // Nothing asked for, no octree: no query.
    EXPECT_EQ(bzOctree_RayQuery(nullptr, w.octree, &ray, 0, 0, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(bzOctree_RayQuery(nullptr, nullptr, &ray, 1, 1, nullptr, nullptr, nullptr, nullptr),
              0);
}

TEST(OctreeDebug, LumpsDrawTheSplitPlanesOfTheNodes)
{
    // Walls along x split the root on x; a row of faces along z at its far end splits there.
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    std::vector<bzV3> corners;
    for (int k = 0; k < 80; k++)
    {
        const float z = (float)k;
        for (const bzV3 &v : Tri({{{30, -1, z}}}, {{{30.5f, 1, z + 0.1f}}}, {{{30, 1, z}}}))
            corners.push_back(v);
    }
    bz_Lump_AppendChild(root, bz_Lump_CreateModel(models.NewMesh("row", corners)));
    bz_Lump_AppendChild(root, bz_Lump_CreateModel(models.NewMesh("wall", Wall(0))));
    bzOctree *o = bzOctree_Build(root);
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o->root->splitMask & 1, 0);
    bzLump *debug = bzOctree_MakeDebugLumps(o);
    ASSERT_NE(debug, nullptr);
    ASSERT_EQ(debug->type, BZ_LUMP_TYPE_MODEL);
    const bzModel *m = bz_Lump_GetModel(debug);
    const float cx = (o->bounds.min.x + o->bounds.max.x) * 0.5f;
    const size_t quads = (o->root->splitMask & 4) ? 2 : 1;
    ASSERT_EQ(m->vertices.size(), 4 * quads);
    ASSERT_EQ(m->faces.size(), 2 * quads);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(m->vertices[(size_t)i].x, cx);
    EXPECT_EQ(m->box.min.y, o->bounds.min.y);
    EXPECT_EQ(m->box.max.z, o->bounds.max.z);
    ASSERT_EQ(m->materialEntries.size(), 1u);
    const bzMaterial *material = m->materialEntries[0];
    EXPECT_EQ(material->colour, 0x40FFFFFFu);
    EXPECT_EQ(material->flags & 0x4C, 0x44u);
    // One lump for every node: the root's and those of its child nodes below it.
    int nodes = 0;
    std::vector<const bzOctreeNode *> stack = {o->root};
    while (!stack.empty())
    {
        const bzOctreeNode *n = stack.back();
        stack.pop_back();
        nodes++;
        for (int i = 0; i < 8; i++)
            if (n->child[i] && !(n->leafMask & (1u << i)))
                stack.push_back((const bzOctreeNode *)n->child[i]);
    }
    EXPECT_GT(nodes, 1);
    EXPECT_EQ(bz_Lump_CountTree(debug), nodes);
    bz_Lump_DestroyTree(debug);
    bzOctree_Free(o);
    bz_Lump_DestroyTree(root);
}

TEST(OctreeWalks, PlanesCullCellsInFrontAndTheSphereReachesNearCells)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    std::vector<bzV3> corners;
    for (int k = 0; k < 200; k++)
    {
        const float x = (float)(k % 20) * 5.0f, z = (float)(k / 20) * 5.0f;
        for (const bzV3 &v : Tri({{{x, 0, z}}}, {{{x + 1, 0, z}}}, {{{x, 1, z + 1}}}))
            corners.push_back(v);
    }
    bz_Lump_AppendChild(root, bz_Lump_CreateModel(models.NewMesh("field", corners)));
    bzOctree *o = bz_Lump_BuildOctree(root);
    ASSERT_NE(o, nullptr);
    bzOctree_WalkPlanes(o, 0, nullptr);
    const int32_t all = bzOctree_GetWalkedNodes();
    EXPECT_GT(all, 1);
    // Everything lies in front of x = -10: only the root is entered.
    const bzPlane front = {{{{1, 0, 0}}}, -10};
    bzOctree_WalkPlanes(o, 1, &front);
    EXPECT_EQ(bzOctree_GetWalkedNodes(), 1);
    const bzPlane behind = {{{{-1, 0, 0}}}, 10};
    bzOctree_WalkPlanes(o, 1, &behind);
    EXPECT_EQ(bzOctree_GetWalkedNodes(), all);
    const bzV3 corner = {{{0, 0, 0}}};
    bzOctree_WalkSphere(o, &corner, 1.0f);
    const int32_t near = bzOctree_GetWalkedNodes();
    EXPECT_GE(near, 1);
    EXPECT_LT(near, all);
    bzOctree_WalkSphere(o, &corner, 1000.0f);
    EXPECT_EQ(bzOctree_GetWalkedNodes(), all);
    bz_Lump_DestroyTree(root);
}
} // namespace
