// Boxes, extents and radii of lump trees, the split by a plane, the octree of a lump and a
// form against a tree.
#include "OctreeTestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "scene/Octree.h"
#include "scene/Path.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace
{
// A model whose box is the given one (two triangles across its diagonal corners).
bzModel *BoxModel(FakeModels &models, bzV3 lo, bzV3 hi)
{
    return models.NewMesh(
        "box", Join({Tri(lo, hi, {{{hi.x, lo.y, hi.z}}}), Tri(lo, {{{lo.x, hi.y, lo.z}}}, hi)}));
}

bzLump *Child(bzLump *parent, bzLump *child, float x, float y = 0, float z = 0)
{
    bz_M34_SetTranslation(&child->matrix, x, y, z);
    bz_Lump_AppendChild(parent, child);
    return child;
}

void ExpectBox(const bzBox &b, float x0, float y0, float z0, float x1, float y1, float z1)
{
    EXPECT_FLOAT_EQ(b.min.x, x0);
    EXPECT_FLOAT_EQ(b.min.y, y0);
    EXPECT_FLOAT_EQ(b.min.z, z0);
    EXPECT_FLOAT_EQ(b.max.x, x1);
    EXPECT_FLOAT_EQ(b.max.y, y1);
    EXPECT_FLOAT_EQ(b.max.z, z1);
}

const bzV3 kLo = {{{-0.5f, -0.5f, -0.5f}}};
const bzV3 kHi = {{{0.5f, 0.5f, 0.5f}}};

TEST(Bounds, TwoUnitBoxesTranslatedApart)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    Child(root, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), 2);
    Child(root, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), -2);
    bzBox box;
    EXPECT_EQ(bz_Lump_AddBounds(&box, root, nullptr), 0);
    ExpectBox(box, -2.5f, -0.5f, -0.5f, 2.5f, 0.5f, 0.5f);
    bz_Lump_GetBoundingBox(root, &box);
    ExpectBox(box, -2.5f, -0.5f, -0.5f, 2.5f, 0.5f, 0.5f);
    // In the parent's space the root's own matrix applies.
    bz_M34_SetTranslation(&root->matrix, 0, 10, 0);
    bz_Lump_GetParentBounds(root, &box);
    ExpectBox(box, -2.5f, 9.5f, -0.5f, 2.5f, 10.5f, 0.5f);
    // A filter that refuses the second child leaves it out with its subtree.
    bzBox filtered;
    EXPECT_EQ(bz_Lump_AddBounds(&filtered, root,
                                [](const bzLump *l) -> int32_t { return l->matrix.row[3].x >= 0; }),
              0);
    ExpectBox(filtered, 1.5f, -0.5f, -0.5f, 2.5f, 0.5f, 0.5f);
    bz_Lump_DestroyTree(root);
}

TEST(Bounds, ATreeWithoutModelsGivesSeventySevenAndTheEmptyBox)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    Child(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child"), 3);
    bzBox box = {{{{1, 2, 3}}}, {{{4, 5, 6}}}};
    EXPECT_EQ(bz_Lump_AddBounds(&box, root, nullptr), 77);
    ExpectBox(box, 1, 2, 3, 4, 5, 6);
    bz_Lump_GetBoundingBox(root, &box);
    ExpectBox(box, FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX);
    bz_Lump_GetParentBounds(root, &box); // untouched
    EXPECT_EQ(box.min.x, FLT_MAX);
    // The translations of the lump and its descendants, as stored.
    bz_Lump_GetTranslationBounds(&box, root);
    ExpectBox(box, 0, 0, 0, 3, 0, 0);
    EXPECT_EQ(bz_Lump_GetMaxExtent(root), 0.0f);
    EXPECT_EQ(bz_Lump_GetRadius(root), 0.0f);
    bz_Lump_DestroyTree(root);
}

TEST(Bounds, TheLargestExtentAndTheRadii)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzModel *tall = BoxModel(models, {{{0, 0, 0}}}, {{{1, 3, 2}}});
    bzLump *a = Child(root, bz_Lump_CreateModel(tall), 3, 4, 0);
    EXPECT_EQ(bz_Lump_GetMaxExtent(root), 3.0f);
    // |translation| 5 plus the model's radius (centre (0.5, 1.5, 1)).
    const float r = tall->radius;
    EXPECT_FLOAT_EQ(r, std::sqrt(0.25f + 2.25f + 1.0f));
    EXPECT_FLOAT_EQ(bz_Lump_GetRadius(root), 5.0f + r);
    EXPECT_FLOAT_EQ(a->worldMatrix.row[3].x, 3.0f);
    // From the root: |translation| + |model centre| + radius.
    EXPECT_FLOAT_EQ(bz_Lump_GetRadiusFromRoot(root), 5.0f + std::sqrt(3.5f) + r);
    bz_Lump_DestroyTree(root);
}

TEST(Bounds, SplitByAPlaneSortsAndCutsTheLumps)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *negative = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "neg");
    bzLump *positive = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "pos");
    bzLump *group = Child(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "group"), 0, 5, 0);
    bzLump *left = Child(group, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), -10);
    bzLump *right = Child(group, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), 10);
    bzLump *middle = Child(root, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), 0.1f);
    bzLump *marker = Child(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "marker"), -3);
    const bzPlane plane = {{{{1, 0, 0}}}, 0};
    EXPECT_EQ(bz_Lump_SplitByPlane(root, negative, positive, &plane), 0);
    EXPECT_EQ(left->parent, negative);
    EXPECT_EQ(right->parent, positive);
    EXPECT_EQ(marker->parent, negative);
    EXPECT_EQ(group->parent, positive); // by its position, x = 0
    // The lumps take their world transforms.
    EXPECT_EQ(left->matrix.row[3].x, -10.0f);
    EXPECT_EQ(left->matrix.row[3].y, 5.0f);
    // The straddling model is cut: itself on the positive side, its copy on the negative.
    EXPECT_EQ(middle->type, BZ_LUMP_TYPE_CLIPPED_MODEL);
    EXPECT_EQ(middle->parent, positive);
    bzLump *copy = bz_Lump_FindByName(negative, "LeftSide");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->matrix.row[3].x, 0.1f);
    const bzLumpClipped *clipped = (const bzLumpClipped *)middle->object;
    EXPECT_FLOAT_EQ(clipped->plane.n.x, 1.0f);
    EXPECT_FLOAT_EQ(clipped->plane.d, -0.1f); // the plane in the model's space
    EXPECT_EQ(bz_Lump_SplitByPlane(nullptr, negative, positive, &plane), 29);
    bz_Lump_DestroyTree(root);
    bz_Lump_DestroyTree(negative);
    bz_Lump_DestroyTree(positive);
}

TEST(Bounds, TheOctreeOfALumpIsBuiltAndFreed)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    Child(root, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), 1);
    bzOctree *o = bz_Lump_BuildOctree(root);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ((void *)root->octree, (void *)o);
    EXPECT_NE(root->flags & BZ_LUMP_OCTREE, 0u);
    EXPECT_EQ(o->rootLump, root);
    bz_Lump_FreeOctree(root);
    EXPECT_EQ(root->octree, nullptr);
    EXPECT_EQ(root->flags & BZ_LUMP_OCTREE, 0u);
    bz_Lump_DestroyTree(root);
}

TEST(Bounds, TheModelOfAMaterialEntry)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzMaterial *m = models.NewMaterial("m", 0);
    bzModel *first = BoxModel(models, kLo, kHi);
    bzModel *second = BoxModel(models, kLo, kHi);
    first->materialEntries = {m};
    second->materialEntries = {m, m};
    Child(root, bz_Lump_CreateModel(first), 0);
    bzLump *b = Child(root, bz_Lump_CreateModel(second), 0);
    EXPECT_EQ(bz_Lump_FindByMaterialEntry(root, &second->materialEntries[1]), b);
    EXPECT_EQ(bz_Lump_FindByMaterialEntry(root, &second->materialEntries[0] + 2), nullptr);
    EXPECT_EQ(bz_Lump_FindByMaterialEntry(root, nullptr), nullptr);
    bz_Lump_DestroyTree(root);
}

TEST(Bounds, AGridOfLinePairsInTheGroundPlane)
{
    FakeModels models;
    bzLump *grid = bz_Lump_CreateGrid(2.0f, 1.0f, 0xFFFF0000u, 0xFF808080u);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->type, BZ_LUMP_TYPE_POLYLINE);
    const bzPath *path = (const bzPath *)grid->object;
    EXPECT_EQ(path->flags & (BZ_PATH_PAIRS | BZ_PATH_COLOURS), BZ_PATH_PAIRS | BZ_PATH_COLOURS);
    // v = -2, -1, 0, 1, 2: five steps of two segments of two points.
    ASSERT_EQ(path->count, 20);
    std::vector<bzPathPoint *> points;
    for (bzPathPoint *p = path->first; p; p = p->next)
        points.push_back(p);
    EXPECT_EQ(points[0]->position.x, -2.0f);
    EXPECT_EQ(points[0]->position.z, -2.0f);
    EXPECT_EQ(points[1]->position.z, 2.0f);
    EXPECT_EQ(points[2]->position.x, -2.0f);
    EXPECT_EQ(points[3]->position.x, 2.0f);
    EXPECT_EQ(points[3]->position.z, -2.0f);
    for (int k = 0; k < 20; k++)
    {
        EXPECT_EQ(points[(size_t)k]->position.y, 0.0f);
        EXPECT_EQ(points[(size_t)k]->word, k / 4 == 2 ? 0xFFFF0000u : 0xFF808080u) << k;
    }
    ASSERT_NE(grid->material, nullptr);
    EXPECT_NE(grid->material->flags & 4, 0u);
    EXPECT_EQ(grid->material->updatedWith, 128u);
    bz_Lump_Destroy(grid);
    EXPECT_EQ(bz_Lump_CreateGrid(2.0f, 0.0f, 0, 0), nullptr);
    EXPECT_EQ(bz_Lump_CreateGrid(2.0f, -1.0f, 0, 0), nullptr);
    EXPECT_EQ(bz_Lump_CreateGrid(FLT_MAX, 1e-30f, 0, 0), nullptr);
}

TEST(Bounds, AFormAgainstATreeGathersThenTests)
{
    FakeModels models;
    FakeForms forms;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    Child(root, bz_Lump_CreateModel(BoxModel(models, kLo, kHi)), 10);
    struct Case
    {
        const char *what;
        bzForm form;
        int result, tests;
    };
    const Case cases[] = {
        {"touches and reaches", {{{{9, -1, -1}}, {{11, 1, 1}}}, 2.0f}, 1, 1},
        {"touches, out of reach", {{{{9, -1, -1}}, {{11, 1, 1}}}, 0.1f}, 0, 1},
        {"far away: no face, no test", {{{{-5, -1, -1}}, {{-4, 1, 1}}}, 100.0f}, 0, 0},
    };
    const int32_t stack = bz_TempStack_GetId();
    ASSERT_NE(stack, 0);
    for (const Case &c : cases)
    {
        forms.tests = 0;
        const uint32_t space = bz_TempStack_SpaceLeft(stack, 0);
        bzForm form = c.form;
        EXPECT_EQ(bz_Lump_IntersectForm(stack, &form, root), c.result) << c.what;
        EXPECT_EQ(forms.tests, c.tests) << c.what;
        EXPECT_EQ(bz_TempStack_SpaceLeft(stack, 0), space) << c.what;
    }
    EXPECT_EQ(forms.gathers, 3);
    bz_Lump_DestroyTree(root);
}
} // namespace
