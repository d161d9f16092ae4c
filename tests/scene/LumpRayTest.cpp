// The ray and segment queries of lump trees, through the face loop of the lump walk and through
// an octree over the same lumps: limits, sides, edges, masks, the first-hit option, the two tie
// rules and bad rays.
#include "OctreeTestSupport.h"
#include "TestLevel.h"

#include "core/Memory.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"
#include "scene/OctreeQuery.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace
{
// A wall in the plane x = at whose front faces -x (rays moving +x meet its front).
std::vector<bzV3> Wall(float at)
{
    return Tri({{{at, -1, -1}}}, {{{at, 1, -1}}}, {{{at, 0, 1}}});
}

struct Result
{
    int32_t hit;
    float t;
    bzLump *lump;
    uint32_t face;
    bzV3 point;
};

Result Cast(bzLump *root, bzRay ray, const bzRayOptions *options = nullptr)
{
    Result r;
    r.lump = (bzLump *)&r; // garbage that a query must overwrite
    r.face = 77;
    r.point = {{{9, 9, 9}}};
    r.t = -5;
    r.hit = bz_Lump_RayIntersect(root, &ray, options, &r.t, &r.lump, &r.face, &r.point, nullptr,
                                 nullptr, nullptr);
    return r;
}

bzRay Segment(float x, float y, float z, float dx, float dy, float dz)
{
    return {{{{x, y, z}}}, {{{dx, dy, dz}}}, 0};
}

// The same lumps searched by the lump walk (the plain root) and through an octree (a second
// tree of the same models and matrices whose root holds it).
struct TwoPaths
{
    FakeModels models;
    bzLump *roots[2];
    std::vector<bzLump *> lumps[2];
    TwoPaths()
    {
        roots[0] = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "walk");
        roots[1] = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "octree");
    }
    ~TwoPaths()
    {
        bz_Lump_DestroyTree(roots[0]);
        bz_Lump_DestroyTree(roots[1]);
    }
    void Add(bzModel *model, float x = 0)
    {
        for (int k = 0; k < 2; k++)
        {
            bzLump *l = bz_Lump_CreateModel(model);
            bz_M34_SetTranslation(&l->matrix, x, 0, 0);
            bz_Lump_AppendChild(roots[k], l);
            lumps[k].push_back(l);
        }
    }
    void Index() { ASSERT_NE(bz_Lump_BuildOctree(roots[1]), nullptr); }
};

TEST(LumpRay, ASegmentHitsAFaceAtItsEndButNeverOneAlongItsPlane)
{
    TwoPaths s;
    s.Add(s.models.NewMesh("wall", Wall(10)));
    s.Index();
    for (bzLump *root : s.roots)
    {
        const Result end = Cast(root, Segment(0, 0, 0, 10, 0, 0));
        EXPECT_EQ(end.hit, 1);
        EXPECT_EQ(end.t, 1.0f);
        EXPECT_EQ(end.point.x, 10.0f);
        // Along the face's plane, one- and two-sided.
        const bzRayOptions both = {BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED, 0, 0, 0, 0, 0, 0};
        for (const bzRayOptions *o : {(const bzRayOptions *)nullptr, &both})
        {
            const Result along = Cast(root, Segment(10, -5, 0, 0, 10, 0), o);
            EXPECT_EQ(along.hit, 0);
            EXPECT_EQ(along.t, 1.00001f);
        }
    }
}

TEST(LumpRay, AMissLeavesTheLimitNoLumpAndTheOrigin)
{
    TwoPaths s;
    s.Add(s.models.NewMesh("wall", Wall(10)));
    s.Index();
    for (bzLump *root : s.roots)
    {
        const Result seg = Cast(root, Segment(0, 5, 0, 10, 0, 0));
        EXPECT_EQ(seg.hit, 0);
        EXPECT_EQ(seg.t, 1.00001f);
        EXPECT_EQ(seg.lump, nullptr);
        EXPECT_EQ(seg.face, 0u);
        EXPECT_EQ(seg.point.x, 0.0f);
        EXPECT_EQ(seg.point.y, 0.0f);
        EXPECT_EQ(seg.point.z, 0.0f);
        bzRay ray = Segment(0, 5, 0, 10, 0, 0);
        ray.flag = 1;
        EXPECT_EQ(Cast(root, ray).t, FLT_MAX);
        // An unbounded ray goes on past the end of the segment.
        bzRay far = Segment(0, 0, 0, 1, 0, 0);
        far.flag = 1;
        const Result r = Cast(root, far);
        EXPECT_EQ(r.hit, 1);
        EXPECT_FLOAT_EQ(r.t, 10.0f);
    }
}

TEST(LumpRay, SidesFollowTheOptionsOrTheMaterial)
{
    struct Case
    {
        uint32_t options;
        uint8_t materialSides;
        int front, back;
    };
    const Case cases[] = {
        {0, 0, 1, 0},
        {BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED, 0, 1, 1},
        {BZ_RAY_SIDES_OVERRIDE, 0, 1, 0},
        {0, BZ_RAY_MATERIAL_TWO_SIDED, 1, 1},
        {BZ_RAY_SIDES_OVERRIDE, BZ_RAY_MATERIAL_TWO_SIDED, 1, 0},
        {BZ_RAY_TWO_SIDED, 0, 1, 0}, // two-sided only under the override
    };
    for (const Case &c : cases)
    {
        TwoPaths s;
        bzMaterial *material = s.models.NewMaterial("m", 0);
        material->sideFlags = c.materialSides;
        s.Add(s.models.NewMesh("wall", Wall(10), material));
        s.Index();
        const bzRayOptions o = {c.options, 0, 0, 0, 0, 0, 0};
        for (int k = 0; k < 2; k++)
        {
            EXPECT_EQ(Cast(s.roots[k], Segment(0, 0, 0, 20, 0, 0), &o).hit, c.front)
                << c.options << " " << (int)c.materialSides << " path " << k;
            // Starts behind the face and leaves through it.
            EXPECT_EQ(Cast(s.roots[k], Segment(20, 0, 0, -20, 0, 0), &o).hit, c.back)
                << c.options << " " << (int)c.materialSides << " path " << k;
        }
    }
}

TEST(LumpRay, MaterialsNeverHitAndTheMaterialFilter)
{
    struct Case
    {
        uint32_t flags, rayClass, options, mask, value;
        int hit;
    };
    const Case cases[] = {
        {0xFF, 0, 0, 0, 0, 1},
        {BZ_RAY_MATERIAL_NEVER_HIT, 0, 0, 0, 0, 0},
        {0, 0x5, BZ_RAY_MATERIAL_FILTER, 0x4, 0x4, 1},
        {0, 0x1, BZ_RAY_MATERIAL_FILTER, 0x4, 0x4, 0},
    };
    for (const Case &c : cases)
    {
        TwoPaths s;
        bzMaterial *material = s.models.NewMaterial("m", 0);
        material->flags = c.flags;
        material->rayClass = c.rayClass;
        s.Add(s.models.NewMesh("wall", Wall(10), material));
        s.Index();
        const bzRayOptions o = {c.options, c.mask, c.value, 0, 0, 0, 0};
        for (bzLump *root : s.roots)
            EXPECT_EQ(Cast(root, Segment(0, 0, 0, 20, 0, 0), &o).hit, c.hit) << c.flags;
    }
}

TEST(LumpRay, AnEdgeHitCountsAndAPointJustOutsideDoesNot)
{
    // p0 (0, 0, 5), p1 (1, 0, 5), p2 (0, 1, 5): w1 runs along x, w2 along y.
    TwoPaths s;
    s.Add(s.models.NewMesh("floor", Tri({{{0, 0, 5}}}, {{{1, 0, 5}}}, {{{0, 1, 5}}})));
    s.Index();
    struct Case
    {
        float x, y;
        int hit;
    };
    const Case cases[] = {{0.0f, 0.5f, 1},    {-0.001f, 0.5f, 0}, {0.5f, 0.0f, 1},
                          {0.5f, -0.001f, 0}, {0.5f, 0.5f, 1},    {0.5f, 0.502f, 0}};
    for (const Case &c : cases)
        for (int k = 0; k < 2; k++)
            EXPECT_EQ(Cast(s.roots[k], Segment(c.x, c.y, 0, 0, 0, 10)).hit, c.hit)
                << c.x << " " << c.y << " path " << k;
    uint32_t face;
    float w1, w2;
    Cast(s.roots[0], Segment(0.25f, 0.5f, 0, 0, 0, 10));
    bz_Lump_GetLastHit(&face, &w1, &w2);
    EXPECT_EQ(face, 0u);
    EXPECT_FLOAT_EQ(w1, 0.25f);
    EXPECT_FLOAT_EQ(w2, 0.5f);
}

TEST(LumpRay, AnInactiveLumpHidesItsSubtreeAndAMaskOnlyItsOwnModel)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *near = bz_Lump_CreateModel(models.NewMesh("near", Wall(5)));
    bzLump *far = bz_Lump_CreateModel(models.NewMesh("far", Wall(3)));
    near->queryFlags = 1;
    bz_Lump_AppendChild(root, near);
    bz_Lump_AppendChild(near, far); // at x = 8 in the root's space
    bz_M34_SetTranslation(&far->matrix, 5, 0, 0);
    const bzRay ray = Segment(0, 0, 0, 20, 0, 0);
    const Result all = Cast(root, ray);
    EXPECT_EQ(all.lump, near);
    EXPECT_FLOAT_EQ(all.t, 0.25f);

    const bzRayOptions mask = {BZ_RAY_LUMP_FILTER, 0, 0, 1, 0, 0, 0};
    const Result masked = Cast(root, ray, &mask);
    EXPECT_EQ(masked.lump, far);
    EXPECT_FLOAT_EQ(masked.t, 0.4f);

    bz_Lump_Deactivate(near);
    EXPECT_EQ(Cast(root, ray).hit, 0);
    bz_Lump_Activate(near);
    far->flags |= BZ_LUMP_HIDDEN;
    EXPECT_EQ(Cast(root, ray, &mask).hit, 0);
    bz_Lump_DestroyTree(root);
}

TEST(LumpRay, TheFirstHitOptionStopsAtTheFirstFoundInWalkOrder)
{
    TwoPaths s;
    // The far wall comes first in the child list (and as octree entry 0).
    s.Add(s.models.NewMesh("far", Wall(8)));
    s.Add(s.models.NewMesh("near", Wall(5)));
    // Faces that span the cell keep the root from splitting: one leaf holds both walls.
    s.Add(
        s.models.NewMesh("floor", Join({Tri({{{0, -1, -1}}}, {{{10, -1, -1}}}, {{{0, -1, 1}}}),
                                        Tri({{{10, -1, 1}}}, {{{0, -1, 1}}}, {{{10, -1, -1}}})})));
    s.Index();
    ASSERT_EQ(((const bzOctree *)s.roots[1]->octree)->root->splitMask, 0);
    const bzRay ray = Segment(0, 0, 0, 20, 0, 0);
    const bzRayOptions first = {BZ_RAY_FIRST_HIT, 0, 0, 0, 0, 0, 0};
    for (int k = 0; k < 2; k++)
    {
        EXPECT_EQ(Cast(s.roots[k], ray).lump, s.lumps[k][1]) << k;
        const Result r = Cast(s.roots[k], ray, &first);
        EXPECT_EQ(r.lump, s.lumps[k][0]) << k;
        EXPECT_FLOAT_EQ(r.t, 0.4f) << k;
    }
}

TEST(LumpRay, TheTwoTieRulesStayApart)
{
    // Two faces on the same spot: the lump walk keeps the first, the octree the last met.
    TwoPaths s;
    s.Add(s.models.NewMesh("twins", Join({Wall(10), Wall(10)})));
    s.Index();
    const Result walk = Cast(s.roots[0], Segment(0, 0, 0, 20, 0, 0));
    const Result tree = Cast(s.roots[1], Segment(0, 0, 0, 20, 0, 0));
    EXPECT_EQ(walk.face, 0u);
    EXPECT_EQ(tree.face, 1u);
    EXPECT_EQ(walk.t, tree.t);

    // A segment that starts on a face: t = 0 is a hit for the walk, not for the octree.
    const bzRayOptions both = {BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED, 0, 0, 0, 0, 0, 0};
    const Result onWalk = Cast(s.roots[0], Segment(10, 0, 0, 5, 0, 0), &both);
    EXPECT_EQ(onWalk.hit, 1);
    EXPECT_EQ(onWalk.t, 0.0f);
    EXPECT_EQ(Cast(s.roots[1], Segment(10, 0, 0, 5, 0, 0), &both).hit, 0);
}

TEST(LumpRay, BadRaysMissOrHitAtAFiniteDistance)
{
    TwoPaths s;
    s.Add(s.models.NewMesh("wall", Wall(10)));
    s.Index();
    const float nan = std::nanf("");
    const float inf = INFINITY;
    struct Case
    {
        const char *what;
        bzRay ray;
        int mustMiss;
    };
    const Case cases[] = {
        {"nan origin", Segment(nan, 0, 0, 20, 0, 0), 1},
        {"nan delta", Segment(0, 0, 0, nan, 0, 0), 1},
        {"infinite delta", Segment(0, 0, 0, inf, 0, 0), 0},
        {"infinite origin", Segment(-inf, 0, 0, 20, 0, 0), 1},
        {"zero length", Segment(0, 0, 0, 0, 0, 0), 1},
        {"zero length on the face", Segment(10, 0, 0, 0, 0, 0), 1},
        {"longest length", Segment(0, 0, 0, FLT_MAX, 0, 0), 0},
        {"longest both ways", Segment(-FLT_MAX, 0, 0, FLT_MAX, FLT_MAX, FLT_MAX), 0},
    };
    for (const Case &c : cases)
        for (int k = 0; k < 2; k++)
            for (int32_t flag : {0, 1})
            {
                bzRay ray = c.ray;
                ray.flag = flag;
                const Result r = Cast(s.roots[k], ray);
                if (c.mustMiss)
                {
                    EXPECT_EQ(r.hit, 0) << c.what << " path " << k;
                }
                if (r.hit)
                {
                    EXPECT_TRUE(std::isfinite(r.t)) << c.what << " path " << k;
                    EXPECT_FALSE(std::isnan(r.point.x)) << c.what << " path " << k;
                }
            }
}

TEST(LumpRay, TheHitRecordIsInWorldCoordinates)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzMaterial *material = models.NewMaterial("stone", 0);
    bzModel *model = models.NewMesh("wall", Wall(0), material);
    model->texCoords = {{{0, 0}}, {{1, 0}}, {{0, 1}}};
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_M34_SetTranslation(&lump->matrix, 10, 0, 0);
    bz_Lump_AppendChild(root, lump);
    const bzRay ray = Segment(0, -0.5f, -0.5f, 20, 0, 0);
    float t;
    bzLumpRayHit hit;
    ASSERT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, nullptr), 1);
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_EQ(hit.lump, lump);
    EXPECT_EQ(hit.material, material);
    EXPECT_EQ(hit.vertices[0].x, 10.0f);
    EXPECT_FLOAT_EQ(hit.plane.n.x, -1.0f);
    EXPECT_FLOAT_EQ(hit.plane.d, -10.0f);
    bzV2 uv;
    bzM34 toRoot;
    bz_Lump_RayIntersect(root, &ray, nullptr, nullptr, nullptr, nullptr, nullptr, &toRoot, nullptr,
                         &uv);
    EXPECT_EQ(toRoot.row[3].x, 10.0f);
    // (y, z) = (-0.5, -0.5) lies at w1 = 0.125, w2 = 0.25 of the face.
    EXPECT_FLOAT_EQ(uv.x, 0.125f);
    EXPECT_FLOAT_EQ(uv.y, 0.25f);
    bzLump *any;
    EXPECT_EQ(bz_Lump_RayHitsAnything(&any, &t, &ray, root, nullptr), 1);
    EXPECT_EQ(any, lump);
    bz_Lump_DestroyTree(root);
}

TEST(LumpRay, AFaceFilterCanRejectAFace)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_CreateModel(models.NewMesh("walls", Join({Wall(5), Wall(8)})));
    lump->userWord = 42;
    bz_Lump_AppendChild(root, lump);
    static std::vector<uint32_t> seen;
    seen.clear();
    const bzLumpFaceFilter previous = bz_Lump_SetFaceFilter(
        [](uint32_t user, uint32_t face, float, const bzV3 *, bzLump *, const bzV2 *) -> int32_t
        {
            seen.push_back(user * 100 + face);
            return face == 1;
        });
    EXPECT_EQ(previous, nullptr);
    const Result r = Cast(root, Segment(0, 0, 0, 20, 0, 0));
    EXPECT_EQ(r.face, 1u);
    EXPECT_FLOAT_EQ(r.t, 0.4f);
    EXPECT_EQ(seen, (std::vector<uint32_t>{4200, 4201}));
    bz_Lump_SetFaceFilter(nullptr);
    EXPECT_EQ(bz_Lump_GetFaceFilter(), nullptr);
    bz_Lump_DestroyTree(root);
}

TEST(LumpRay, AModelWithAnOctreeOfItsOwnIsWalkedThroughIt)
{
    FakeModels models;
    bzModel *model = models.NewMesh("walls", Join({Wall(4), Wall(6), Wall(8)}));
    // The model's own octree, made over a lump that holds it with no placement.
    bzLump *holder = bz_Lump_CreateModel(model);
    model->octree = bzOctree_Build(holder);
    ASSERT_NE(model->octree, nullptr);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_Lump_AppendChild(root, lump);
    // Moving the model's lump moves the ray into the model's space first.
    bz_M34_SetTranslation(&lump->matrix, 1, 0, 0);
    const Result r = Cast(root, Segment(0, 0, 0, 20, 0, 0));
    EXPECT_EQ(r.hit, 1);
    EXPECT_EQ(r.lump, lump);
    EXPECT_EQ(r.face, 0u);
    EXPECT_FLOAT_EQ(r.t, 0.25f);
    // Past the first wall, the second; the box of the model is not consulted.
    model->noBox = 1;
    const Result second = Cast(root, Segment(6, 0, 0, 20, 0, 0));
    EXPECT_EQ(second.face, 1u);
    EXPECT_FLOAT_EQ(second.t, 0.05f);
    bzOctree_Free(model->octree);
    model->octree = nullptr;
    EXPECT_EQ(Cast(root, Segment(6, 0, 0, 20, 0, 0)).hit, 0); // no box: no hit
    bz_Lump_DestroyTree(root);
    bz_Lump_Destroy(holder);
}

TEST(LumpRay, APosedSkinnedModelIsHitWhereItsPoseHasItsFaces)
{
    FakeModels models;
    bzModel *model = models.NewMesh("body", Wall(10));
    struct Skin
    {
        bzModel *model; // the model comes first in a skin instance
    } skin = {model};
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_SKINNED_MODEL, "skinned");
    lump->object = &skin;
    bz_Lump_AppendChild(root, lump);
    const int32_t stack = bz_TempStack_GetId();
    const uint32_t space = bz_TempStack_SpaceLeft(stack, 0);
    struct Case
    {
        int32_t posed, fails;
        float offset;
        int hit;
        float t;
    };
    const Case cases[] = {
        {0, 0, 5, 1, 0.5f},  // not posed: the model as it stands
        {1, 0, 5, 1, 0.75f}, // posed 5 further on
        {1, 1, 5, 0, 1.00001f},
    };
    for (const Case &c : cases)
    {
        model->posed = c.posed;
        model->poseFails = c.fails;
        model->poseOffset = {{{c.offset, 0, 0}}};
        const Result r = Cast(root, Segment(0, 0, 0, 20, 0, 0));
        EXPECT_EQ(r.hit, c.hit) << c.posed << c.fails;
        EXPECT_FLOAT_EQ(r.t, c.t) << c.posed << c.fails;
        EXPECT_EQ(bz_TempStack_SpaceLeft(stack, 0), space);
    }
    lump->object = nullptr;
    bz_Lump_DestroyTree(root);
}

TEST(LumpRay, RaysFromOutsideTheRootCellWalkIntoIt)
{
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 11u, 10, 80, 60.0f, 3.0f, 2.0f);
    ASSERT_NE(bz_Lump_BuildOctree(level.root), nullptr);
    const bzBox bounds = ((const bzOctree *)level.root->octree)->bounds;
    std::mt19937 rng(5u);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    int hits = 0, compared = 0;
    for (int k = 0; k < 200; k++)
    {
        // From far outside towards a lump.
        const bzV3 &target = level.lumps[k % level.lumps.size()]->matrix.row[3];
        bzV3 from = {{{unit(rng), unit(rng), unit(rng)}}};
        bz_V3_Normalise(&from);
        bz_V3_Scale(&from, 200.0f);
        bz_V3_Add(&from, &target);
        bzRay ray = {from,
                     {{{target.x - from.x + unit(rng), target.y - from.y + unit(rng),
                        target.z - from.z + unit(rng)}}},
                     0};
        ASSERT_FALSE(bz_Box_PointInside(&ray.origin, &bounds));
        const PlainHit plain = PlainNearestHit(level, ray);
        if (plain.nearBoundary)
            continue;
        compared++;
        const Result r = Cast(level.root, ray);
        ASSERT_EQ(r.hit, plain.t >= 0 ? 1 : 0) << k;
        if (r.hit)
        {
            hits++;
            EXPECT_NEAR(r.t, plain.t, 1e-5);
            EXPECT_EQ(r.lump, plain.lump);
        }
    }
    EXPECT_GE(compared, 180);
    EXPECT_GE(hits, 50);
    bz_Lump_DestroyTree(level.root);
}
} // namespace
