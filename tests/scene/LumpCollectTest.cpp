#include "scene/Lump.h"

#include "maths/Matrix.h"

#include "support/FakeScene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr float kTolerance = 1e-5f;

void ExpectV3Near(const bzV3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, kTolerance);
    EXPECT_NEAR(v.y, y, kTolerance);
    EXPECT_NEAR(v.z, z, kTolerance);
}

std::vector<std::string> ListNames(const bzLump *head)
{
    std::vector<std::string> names;
    for (const bzLump *l = head; l && names.size() < 100; l = l->renderLink)
        names.push_back(l->name);
    return names;
}

int32_t IsModelType(const bzLump *lump)
{
    return lump->type == BZ_LUMP_TYPE_MODEL;
}

// root: a (MODEL) with a1 (MODEL), b (NULL), c (MODEL).
struct Tree
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *a = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "a");
    bzLump *a1 = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "a1");
    bzLump *b = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "b");
    bzLump *c = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "c");
    Tree()
    {
        bz_Lump_AppendChild(root, a);
        bz_Lump_AppendChild(root, b);
        bz_Lump_AppendChild(root, c);
        bz_Lump_AppendChild(a, a1);
    }
    ~Tree() { bz_Lump_DestroyTree(root); }
};

TEST(LumpCollect, FilteredListHasTheLastFoundFirst)
{
    Tree t;
    int32_t count = -1;
    bzLump *head = bz_Lump_CollectFiltered(t.root, IsModelType, &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ListNames(head), (std::vector<std::string>{"c", "a1", "a"}));
    head = bz_Lump_CollectFiltered(t.root, nullptr, &count);
    EXPECT_EQ(count, 5);
    head = bz_Lump_CollectFiltered(nullptr, IsModelType, &count);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(bz_Lump_CountModels(t.root), 3);
    EXPECT_EQ(bz_Lump_CountMatching(t.root, IsModelType), 3);
}

TEST(LumpCollect, SortMovesEachNodeBeforeTheFirstNotSmaller)
{
    Tree t;
    // List root, a, a1, b by their user words 3, 1, 2, 1.
    t.root->userWord = 3;
    t.a->userWord = 1;
    t.a1->userWord = 2;
    t.b->userWord = 1;
    t.root->renderLink = t.a;
    t.a->renderLink = t.a1;
    t.a1->renderLink = t.b;
    t.b->renderLink = nullptr;
    bzLump *head = bz_Lump_SortList(t.root,
                                    [](const bzLump *x, const bzLump *y) -> int32_t
                                    { return (int32_t)x->userWord - (int32_t)y->userWord; });
    // Equal keys: the later node goes before the earlier one.
    EXPECT_EQ(ListNames(head), (std::vector<std::string>{"b", "a", "a1", "root"}));
    EXPECT_EQ(bz_Lump_SortList(nullptr, nullptr), nullptr);
}

TEST(LumpCollect, MatrixWalkStoresWorldMatrices)
{
    Tree t;
    bz_M34_Translation(&t.root->matrix, 10, 0, 0);
    bz_M34_Translation(&t.a->matrix, 1, 0, 0);
    bz_M34_Translation(&t.a1->matrix, 0, 2, 0);
    int32_t count = 0;
    bzLump *head = bz_Lump_CollectMatchingWithMatrices(t.root, IsModelType, &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ListNames(head), (std::vector<std::string>{"c", "a1", "a"}));
    ExpectV3Near(t.a->worldMatrix.row[3], 11, 0, 0);
    ExpectV3Near(t.a1->worldMatrix.row[3], 11, 2, 0);
    ExpectV3Near(t.c->worldMatrix.row[3], 10, 0, 0);
}

TEST(LumpCollect, CentreChildren)
{
    Tree t;
    bz_M34_Translation(&t.a->matrix, 0, 0, 0);
    bz_M34_Translation(&t.b->matrix, 4, 2, 0);
    bz_M34_Translation(&t.c->matrix, 2, -2, 6);
    bzLump *a2 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "a2");
    bz_Lump_AppendChild(t.a, a2);
    bz_M34_Translation(&t.a1->matrix, 1, 1, 1);
    bz_M34_Translation(&a2->matrix, 3, 3, 3);
    bzV3 centre;
    bz_Lump_CentreChildren(t.root, 1, &centre);
    ExpectV3Near(centre, 2, 0, 3);
    ExpectV3Near(t.a->matrix.row[3], -2, 0, -3);
    ExpectV3Near(t.b->matrix.row[3], 2, 2, -3);
    ExpectV3Near(t.c->matrix.row[3], 0, -2, 3);
    ExpectV3Near(t.a1->matrix.row[3], -1, -1, -1);
    ExpectV3Near(a2->matrix.row[3], 1, 1, 1);
    ExpectV3Near(t.root->matrix.row[3], 0, 0, 0);

    bz_Lump_CentreChildren(t.b, 0, &centre);
    ExpectV3Near(centre, 0, 0, 0);
    bz_Lump_CentreChildren(nullptr, 1, &centre);
    ExpectV3Near(centre, 0, 0, 0);
}

TEST(LumpCollect, ResetMatricesBakesTransformsIntoModels)
{
    FakeModels models;
    bzModel *m1 = models.NewModel("m1");
    bzModel *m2 = models.NewModel("m2");
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *l1 = bz_Lump_CreateModel(m1);
    bzLump *l2 = bz_Lump_CreateModel(m2);
    bz_M34_Translation(&root->matrix, 100, 0, 0);
    bz_M34_RotationZ(&l1->matrix, 90.0f);
    bz_M34_SetTranslation(&l1->matrix, 1, 2, 3);
    bz_M34_Translation(&l2->matrix, 1, 0, 0);
    bz_Lump_Attach(root, l1);
    bz_Lump_Attach(l1, l2);
    bz_Lump_ResetMatrices(root);
    // Vertex (1, 0, 0) of each model, now in the root's space.
    ExpectV3Near(m1->vertices[1], 1, 3, 3);
    ExpectV3Near(m2->vertices[1], 1, 4, 3);
    ExpectV3Near(m2->vertices[0], 1, 3, 3);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (bzLump *l : {root, l1, l2})
        EXPECT_EQ(std::memcmp(&l->matrix, identity, sizeof identity), 0) << l->name;
    bz_Lump_DestroyTree(root);
}

TEST(LumpCollect, SplitCopyAndStencilShadow)
{
    FakeModels models;
    bzModel *model = models.NewModel("hull");
    bzLump *source = bz_Lump_CreateModel(model);
    std::strcpy(source->name, "src");
    bz_M34_Translation(&source->matrix, 1, 2, 3);
    bzLump *first = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "x");
    bzLump *second = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "y");
    const int32_t clipped = bz_Lump_GetTypeCounter(16);
    const bzPlane plane = {{{{1, 0, 0}}}, 0.5f};
    EXPECT_EQ(bz_Lump_SplitCopy(source, first, second, &plane), 0);
    EXPECT_EQ(bz_Lump_GetTypeCounter(16), clipped + 2);
    EXPECT_EQ(model->refCount, 4);
    for (bzLump *l : {first, second})
    {
        EXPECT_EQ(l->type, 16);
        EXPECT_STREQ(l->name, "src");
        EXPECT_EQ(l->matrix.row[3].z, 3.0f);
        EXPECT_EQ(bz_Lump_GetModel(l), model);
        EXPECT_EQ(((bzLumpClipped *)l->object)->plane.d, 0.5f);
    }
    EXPECT_EQ(((bzLumpClipped *)first->object)->side, 0u);
    EXPECT_EQ(((bzLumpClipped *)second->object)->side, 1u);
    EXPECT_EQ(bz_Lump_SplitCopy(source, first, first, &plane), 29);
    EXPECT_EQ(bz_Lump_SplitCopy(nullptr, first, second, &plane), 29);

    bzLump *shadow = bz_Lump_CreateStencilShadow("shadow", model);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->type, 15);
    EXPECT_EQ(((bzLumpShadow *)shadow->object)->extrusion, 20.0f);
    EXPECT_EQ(bz_Lump_GetModel(shadow), model);
    EXPECT_STREQ(bz_Lump_GetObjectName(shadow), "hull");
    EXPECT_EQ(model->welds, 1);
    bzLump *again = bz_Lump_CreateStencilShadow("again", model);
    EXPECT_EQ(model->welds, 1);
    EXPECT_EQ(model->refCount, 6);

    for (bzLump *l : {source, first, second, shadow, again})
        bz_Lump_Destroy(l);
    EXPECT_EQ(model->refCount, 1);
    EXPECT_EQ(bz_Lump_GetTypeCounter(16), clipped);
}
} // namespace
