#include "scene/Lump.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "maths/Matrix.h"
#include "scene/Path.h"

#include "support/FakeScene.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
// The names of a lump's children in list order.
std::vector<std::string> Children(const bzLump *lump)
{
    std::vector<std::string> names;
    for (const bzLump *c = lump->firstChild; c; c = c->next)
        names.push_back(c->name);
    return names;
}

// A root with three children "a", "b", "c" in that order.
struct SmallTree
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *a = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "a");
    bzLump *b = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "b");
    bzLump *c = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "c");
    SmallTree()
    {
        bz_Lump_Attach(root, c);
        bz_Lump_Attach(root, b);
        bz_Lump_Attach(root, a);
    }
    ~SmallTree() { bz_Lump_DestroyTree(root); }
};

TEST(LumpCreate, NewLumpIsActiveIdentityAndCounted)
{
    const int32_t before = bz_Lump_GetTotalCount();
    const int32_t models = bz_Lump_GetTypeCounter(1);
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "Box");
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(lump->flags, 0x1u);
    EXPECT_EQ(lump->type, 1);
    EXPECT_STREQ(lump->name, "Box");
    EXPECT_EQ(lump->parent, nullptr);
    EXPECT_EQ(lump->firstChild, nullptr);
    EXPECT_EQ(lump->object, nullptr);
    EXPECT_EQ(lump->material, nullptr);
    EXPECT_EQ(lump->poolWord, 0u);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&lump->matrix, identity, sizeof identity), 0);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before + 1);
    EXPECT_EQ(bz_Lump_GetTypeCounter(1), models + 1);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before);
    EXPECT_EQ(bz_Lump_GetTypeCounter(1), models);
}

TEST(LumpCreate, NamesKeepAtMostSixteenCharacters)
{
    struct Case
    {
        const char *given;
        const char *kept;
    };
    const Case cases[] = {
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOP"},
        {"short", "short"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case &c : cases)
    {
        bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, c.given);
        ASSERT_NE(lump, nullptr);
        EXPECT_STREQ(bz_Lump_GetName(lump), c.kept) << (c.given ? c.given : "(null)");
        EXPECT_LE(std::strlen(lump->name), 16u);
        bz_Lump_Destroy(lump);
    }
}

TEST(LumpCreate, UnknownTypeCodesAreRefused)
{
    for (int type : {23, 99, 255})
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_Create((uint8_t)type, "x"), nullptr);
        EXPECT_EQ(bzgLastError, 29);
    }
}

TEST(LumpCreate, TypeNames)
{
    struct Case
    {
        int32_t type;
        const char *name;
    };
    const Case cases[] = {
        {0, "BZ_LUMP_TYPE_NULL"},
        {1, "BZ_LUMP_TYPE_MODEL"},
        {5, "BZ_LUMP_TYPE_LOD"},
        {10, "BZ_LUMP_TYPE_AMBIENTLIGHT"},
        {11, "BZ_LUMP_TYPE_CAMERA"},
        {14, "BZ_LUMP_TYPE_PARTICLE_EMITTER"},
        {20, "BZ_LUMP_TYPE_QUADBLOCKARRAY"},
        {21, "BZ_LUMP_TYPE_UNKNOWN"},
        {22, "BZ_LUMP_TYPE_UNKNOWN"},
        {23, "BZ_LUMP_TYPE_UNKNOWN"},
        {-1, "BZ_LUMP_TYPE_UNKNOWN"},
        {1000, "BZ_LUMP_TYPE_UNKNOWN"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(bz_Lump_GetTypeName(c.type), c.name) << c.type;
}

TEST(LumpFind, NamesMatchWithoutCaseAndOnSixteenCharacters)
{
    SmallTree t;
    bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "World");
    bzLump *longName = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "ABCDEFGHIJKLMNOPQRS");
    bz_Lump_Attach(t.b, world);
    bz_Lump_AppendChild(t.c, longName);

    EXPECT_EQ(bz_Lump_FindByName(t.root, "WORLD"), world);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "world"), world);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "WORLDS"), nullptr);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "Worl"), nullptr);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "abcdefghijklmnop"), longName);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "ABCDEFGHIJKLMNOPXYZ"), longName);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "ABCDEFGHIJKLMNO"), nullptr);
    EXPECT_EQ(bz_Lump_FindByName(t.root, "ROOT"), t.root);
    // The search stays inside the subtree.
    EXPECT_EQ(bz_Lump_FindByName(t.c, "World"), nullptr);
    EXPECT_EQ(bz_Lump_FindByName(nullptr, "World"), nullptr);
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_FindByName(t.root, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 29);
}

TEST(LumpFind, ModelNames)
{
    FakeModels models;
    bzModel *model = models.NewModel("Crate.mdl");
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_Lump_Attach(root, lump);
    EXPECT_EQ(bz_Lump_FindByModelName(root, "CRATE.MDL"), lump);
    EXPECT_EQ(bz_Lump_FindByModelName(root, "Crate"), nullptr);
    EXPECT_STREQ(bz_Lump_GetObjectName(lump), "Crate.mdl");
    EXPECT_STREQ(bz_Lump_GetObjectName(root), "root");
    bz_Lump_DestroyTree(root);
}

TEST(LumpWalk, PreOrderAndStopsAtFirstResult)
{
    SmallTree t;
    bzLump *a1 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "a1");
    bzLump *a2 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "a2");
    bz_Lump_AppendChild(t.a, a1);
    bz_Lump_AppendChild(t.a, a2);
    std::vector<std::string> seen;
    auto visit = [](bzLump *lump, void *user) -> intptr_t
    {
        auto *names = (std::vector<std::string> *)user;
        names->push_back(lump->name);
        return std::strcmp(lump->name, "b") == 0 ? 7 : 0;
    };
    EXPECT_EQ(bz_Lump_Walk(t.root, visit, &seen), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"root", "a", "a1", "a2", "b"}));
    EXPECT_EQ(bz_Lump_Walk(nullptr, visit, &seen), 0);
    EXPECT_EQ(bz_Lump_CountTree(t.root), 6);
    EXPECT_EQ(bz_Lump_CountDescendants(t.root), 5);
    EXPECT_EQ(bz_Lump_CountDescendants(t.a), 2);
    EXPECT_EQ(bz_Lump_CountChildren(t.root), 3);
    EXPECT_EQ(bz_Lump_GetChild(t.root, 2), t.c);
    EXPECT_EQ(bz_Lump_GetChild(t.root, 3), nullptr);
    EXPECT_EQ(bz_Lump_GetChild(t.root, -1), nullptr);
    // Within the subtree of a, the walk ends after a2 and does not go on to b.
    EXPECT_EQ(bz_Lump_NextPreOrder(a2, t.a), nullptr);
    EXPECT_EQ(bz_Lump_NextPreOrder(a2, t.root), t.b);
    EXPECT_EQ(bz_Lump_NextSkipChildren(t.a, t.root), t.b);
    EXPECT_EQ(bz_Lump_Walk(t.root, bz_Lump_CompareEqual, a2), (intptr_t)a2);
}

TEST(LumpLink, AttachMovesChildAndKeepsSiblingOrder)
{
    SmallTree t;
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"a", "b", "c"}));
    bzLump *other = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "other");
    bzLump *x = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "x");
    bz_Lump_Attach(other, x);

    EXPECT_EQ(bz_Lump_Attach(other, t.b), 0);
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Children(other), (std::vector<std::string>{"b", "x"}));
    EXPECT_EQ(t.b->parent, other);

    EXPECT_EQ(bz_Lump_AppendChild(t.root, t.b), 0);
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(Children(other), (std::vector<std::string>{"x"}));
    // Attaching again below the same parent moves the child to the front.
    EXPECT_EQ(bz_Lump_Attach(t.root, t.b), 0);
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"b", "a", "c"}));
    bz_Lump_DestroyTree(other);
}

TEST(LumpLink, SelfAndCycleAttachAreRefusedAndChangeNothing)
{
    SmallTree t;
    bzLump *grandchild = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "g");
    bz_Lump_Attach(t.a, grandchild);
    struct Case
    {
        bzLump *parent;
        bzLump *child;
    };
    const Case cases[] = {
        {t.a, t.a},     {grandchild, t.root}, {grandchild, t.a},  {t.a, t.root},
        {nullptr, t.a}, {t.a, nullptr},       {nullptr, nullptr},
    };
    for (const Case &c : cases)
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_Attach(c.parent, c.child), 29);
        EXPECT_EQ(bz_Lump_AppendChild(c.parent, c.child), 29);
        EXPECT_EQ(bzgLastError, 29);
    }
    EXPECT_EQ(t.root->parent, nullptr);
    EXPECT_EQ(t.a->parent, t.root);
    EXPECT_EQ(grandchild->parent, t.a);
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(bz_Lump_CountTree(t.root), 5);
}

TEST(LumpLink, CameraChildIsRefusedWithReport)
{
    KeepAlive keep;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 60.0f);
    ASSERT_NE(camera, nullptr);
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_Lump_Attach(root, camera), 29);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Error whilst trying to attach a lump.");
    EXPECT_EQ(
        std::string(bz_Error_LastReportText()).rfind("Attaching camera's to lumps is illegal.", 0),
        0u);
    EXPECT_EQ(bz_Lump_AppendChild(root, camera), 29);
    EXPECT_EQ(camera->parent, nullptr);
    EXPECT_EQ(root->firstChild, nullptr);
    // A camera may hold children of its own.
    bzLump *child = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child");
    EXPECT_EQ(bz_Lump_Attach(camera, child), 0);
    bz_Lump_DestroyTree(camera);
    bz_Lump_Destroy(root);
}

TEST(LumpLink, CameraRecord)
{
    bzM34 m;
    bz_M34_Translation(&m, 1, 2, 3);
    bzLump *camera = bz_Lump_CreateCamera(&m, 75.0f);
    ASSERT_NE(camera, nullptr);
    EXPECT_STREQ(camera->name, "camera");
    EXPECT_EQ(camera->type, 11);
    const bzCamera *record = (const bzCamera *)camera->object;
    EXPECT_EQ(record->fieldOfView, 75.0f);
    EXPECT_EQ(record->orthoWidth, 0.0f);
    EXPECT_EQ(record->orthoHeight, 0.0f);
    EXPECT_EQ(record->backEndWord, 0u);
    EXPECT_EQ(record->perspective, 1u);
    EXPECT_EQ(camera->matrix.row[3].z, 3.0f);
    EXPECT_EQ(bz_Lump_GetObjectName(camera), nullptr);
    bz_Lump_Destroy(camera);
}

TEST(LumpLink, DetachOfALumpItsParentDoesNotList)
{
    bzLump *parent = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "p");
    bzLump *stray = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "s");
    EXPECT_EQ(bz_Lump_Detach(stray), 0);
    stray->parent = parent; // a link the parent's list does not hold
    EXPECT_EQ(bz_Lump_Detach(stray), 50);
    EXPECT_EQ(stray->parent, parent);
    stray->parent = nullptr;
    EXPECT_EQ(bz_Lump_Detach(nullptr), 29);
    bz_Lump_Destroy(stray);
    bz_Lump_Destroy(parent);
}

TEST(LumpDestroy, ChildrenOfADestroyedLumpBecomeRoots)
{
    bzLump *top = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "top");
    bzLump *middle = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "middle");
    bzLump *k1 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "k1");
    bzLump *k2 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "k2");
    bz_Lump_Attach(top, middle);
    bz_Lump_AppendChild(middle, k1);
    bz_Lump_AppendChild(middle, k2);
    const int32_t before = bz_Lump_GetTotalCount();
    EXPECT_EQ(bz_Lump_Destroy(middle), 0);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before - 1);
    EXPECT_EQ(top->firstChild, nullptr);
    EXPECT_EQ(k1->parent, nullptr);
    EXPECT_EQ(k1->next, nullptr);
    EXPECT_EQ(k2->parent, nullptr);
    bz_Lump_Destroy(k1);
    bz_Lump_Destroy(k2);
    bz_Lump_Destroy(top);
}

TEST(LumpDestroy, TreeOfTheRootAndBadArguments)
{
    const int32_t before = bz_Lump_GetTotalCount();
    {
        SmallTree t;
        for (int k = 0; k < 50; k++)
            bz_Lump_Attach(k % 2 ? t.a : t.c, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "n"));
        EXPECT_EQ(bz_Lump_GetTotalCount(), before + 54);
    }
    EXPECT_EQ(bz_Lump_GetTotalCount(), before);
    EXPECT_EQ(bz_Lump_DestroyTree(nullptr), 0);
    EXPECT_EQ(bz_Lump_Destroy(nullptr), 29);
    // A subtree below a parent leaves the parent's other children in place.
    SmallTree t;
    bz_Lump_Attach(t.b, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "b1"));
    EXPECT_EQ(bz_Lump_DestroyTree(t.b), 0);
    EXPECT_EQ(Children(t.root), (std::vector<std::string>{"a", "c"}));
    t.b = nullptr;
}

TEST(LumpFlags, MaskedSetTakesTheValueUnderTheMask)
{
    SmallTree t;
    struct Case
    {
        uint32_t start, value, mask, expected;
    };
    const Case cases[] = {
        {0x00000001, 0x00000800, 0x00000800, 0x00000801},
        {0x00000FF1, 0x00000000, 0x000000F0, 0x00000F01},
        {0x00000001, 0xFFFFFFFF, 0x00000006, 0x00000007},
        {0x40000001, 0x00000010, 0x40000010, 0x00000011},
    };
    for (const Case &c : cases)
    {
        t.a->flags = c.start;
        EXPECT_EQ(bz_Lump_SetFlagsMasked(t.a, c.value, c.mask, 0), 0);
        EXPECT_EQ(t.a->flags, c.expected);
    }
    bz_Lump_SetFlagsMasked(t.root, 0x4, 0x4, 1);
    EXPECT_EQ(t.root->flags & 0x4, 0x4u);
    EXPECT_EQ(t.c->flags & 0x4, 0x4u);
    EXPECT_EQ(bz_Lump_IsTransient(t.b), 1);
    bz_Lump_ClearFlags(t.root, 0x4, 0);
    EXPECT_EQ(t.root->flags & 0x4, 0u);
    EXPECT_EQ(t.c->flags & 0x4, 0x4u);
    EXPECT_EQ(bz_Lump_Deactivate(t.b), 0);
    EXPECT_EQ(t.b->flags & 1, 0u);
    EXPECT_EQ(bz_Lump_Activate(t.b), 0);
    EXPECT_EQ(t.b->flags & 1, 1u);
    EXPECT_EQ(bz_Lump_SetFlagsMasked(nullptr, 1, 1, 1), 29);

    // Setting reaches the subtree only when asked; clearing the whole subtree.
    EXPECT_EQ(bz_Lump_SetFlags(t.root, 0x800, 0), 0);
    EXPECT_EQ(t.root->flags & 0x800, 0x800u);
    EXPECT_EQ(t.a->flags & 0x800, 0u);
    EXPECT_EQ(bz_Lump_SetFlags(t.root, 0x800, 1), 0);
    EXPECT_EQ(t.c->flags & 0x800, 0x800u);
    EXPECT_EQ(bz_Lump_ClearFlags(t.root, 0x804, 1), 0);
    EXPECT_EQ(t.c->flags & 0x804, 0u);
    EXPECT_EQ(t.c->flags & 1, 1u);
    EXPECT_EQ(bz_Lump_SetFlags(nullptr, 1, 0), 29);
}

TEST(LumpTree, ClearedTypeCountersCountFromZero)
{
    bz_Lump_ClearTypeCounters();
    for (int32_t type = 0; type < 23; type++)
        EXPECT_EQ(bz_Lump_GetTypeCounter(type), 0) << type;
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 60.0f);
    EXPECT_EQ(bz_Lump_GetTypeCounter(BZ_LUMP_TYPE_CAMERA), 1);
    bz_Lump_Destroy(camera);
    EXPECT_EQ(bz_Lump_GetTypeCounter(BZ_LUMP_TYPE_CAMERA), 0);
}

TEST(LumpPath, WrittenPathFindsTheSameLump)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *wide = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "wide");
    bz_Lump_Attach(root, wide);
    bz_Lump_Attach(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "first"));
    for (int k = 0; k < 130; k++)
        bz_Lump_AppendChild(wide, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "n"));
    bzLump *deep = bz_Lump_GetChild(wide, 129);
    bzLump *leaf = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "leaf");
    bz_Lump_Attach(deep, leaf);

    bzFileHandle *file = bz_FileOpen("path.bin", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(bz_Lump_WritePathIndices(file, leaf, root), 0);
    EXPECT_EQ(bz_Lump_WritePathIndices(file, root, root), 0);
    bz_FileClose(file);
    const std::string bytes = ReadWholeFile("path.bin");
    // Count 3; indices 1, 129 (two 7-bit groups, most significant first), 0; then count 0.
    const std::string expected("\x03\x01\x81\x01\x00\x00", 6);
    EXPECT_EQ(bytes, expected);

    const uint8_t *cursor = (const uint8_t *)bytes.data();
    const uint8_t *end = cursor + bytes.size();
    EXPECT_EQ(bz_Lump_FindByPath(root, &cursor, end), leaf);
    EXPECT_EQ(bz_Lump_FindByPath(root, &cursor, end), root);
    EXPECT_EQ(cursor, end);

    // An index past the children, and a path cut short.
    const uint8_t past[] = {0x02, 0x01, 0x82, 0x02};
    cursor = past;
    EXPECT_EQ(bz_Lump_FindByPath(root, &cursor, past + sizeof past), nullptr);
    const uint8_t cut[] = {0x03, 0x01, 0x81};
    cursor = cut;
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_FindByPath(root, &cursor, cut + sizeof cut), nullptr);
    EXPECT_EQ(bzgLastError, 59);
    cursor = cut;
    EXPECT_EQ(bz_Lump_FindByPath(root, &cursor, cut), nullptr);

    // A lump not below the ancestor.
    file = bz_FileOpen("path2.bin", "wb");
    EXPECT_EQ(bz_Lump_WritePathIndices(file, root, leaf), 29);
    bz_FileClose(file);
    bz_Lump_DestroyTree(root);
}

TEST(LumpModel, DestroyLowersTheModelCountOnce)
{
    FakeModels models;
    bzModel *model = models.NewModel("m");
    bzLump *lump = bz_Lump_CreateModel(model);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(model->refCount, 2);
    EXPECT_EQ(bz_Lump_GetModel(lump), model);
    EXPECT_EQ(bz_Lump_HasModel(lump), 1);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(model->refCount, 1);
    EXPECT_EQ(models.releases, 1);
}

TEST(LumpModel, SetObjectReleasesTheOldModelAndTakesTheNew)
{
    FakeModels models;
    bzModel *m1 = models.NewModel("m1");
    bzModel *m2 = models.NewModel("m2");
    bzLump *lump = bz_Lump_CreateModel(m1);
    EXPECT_EQ(bz_Lump_SetObject(lump, m1), 0);
    EXPECT_EQ(m1->refCount, 2);
    EXPECT_EQ(bz_Lump_SetObject(lump, m2), 0);
    EXPECT_EQ(m1->refCount, 1);
    EXPECT_EQ(m2->refCount, 2);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(m2->refCount, 1);
    EXPECT_EQ(bz_Lump_SetObject(nullptr, m2), 29);
}

TEST(LumpModel, MaterialsCountedAndUncounted)
{
    FakeModels models;
    bzMaterial *mat = models.NewMaterial("red", 0xFFFF0000);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *child = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child");
    bz_Lump_Attach(root, child);

    EXPECT_EQ(bz_Lump_SetMaterial(child, mat), 0);
    EXPECT_EQ(mat->refCount, 2);
    EXPECT_EQ(bz_Lump_SetMaterial(child, mat), 0); // the same one again
    EXPECT_EQ(mat->refCount, 2);
    EXPECT_EQ(bz_Lump_TakeMaterial(child), mat);
    EXPECT_EQ(mat->refCount, 3);
    EXPECT_EQ(bz_Lump_GetUncountedMaterial(child), nullptr);
    mat->refCount--;

    EXPECT_EQ(bz_Lump_SetMaterialTreeUncounted(root, mat), 0);
    EXPECT_EQ(mat->refCount, 1);
    EXPECT_EQ(child->flags & 0x400, 0x400u);
    EXPECT_EQ(bz_Lump_GetUncountedMaterial(root), mat);
    EXPECT_EQ(bz_Lump_TakeMaterial(root), nullptr);
    bz_Lump_Destroy(child);
    EXPECT_EQ(mat->refCount, 1);

    EXPECT_EQ(bz_Lump_SetMaterialTree(root, mat), 0);
    EXPECT_EQ(root->flags & 0x400, 0u);
    EXPECT_EQ(mat->refCount, 2);

    // One lump only: its counted override is released, the children keep theirs.
    bzLump *kept = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "kept");
    bz_Lump_Attach(root, kept);
    EXPECT_EQ(bz_Lump_SetMaterial(kept, mat), 0);
    EXPECT_EQ(mat->refCount, 3);
    EXPECT_EQ(bz_Lump_SetMaterialUncounted(root, mat), 0);
    EXPECT_EQ(mat->refCount, 2);
    EXPECT_EQ(root->flags & 0x400, 0x400u);
    EXPECT_EQ(kept->flags & 0x400, 0u);
    EXPECT_EQ(bz_Lump_GetUncountedMaterial(root), mat);
    EXPECT_EQ(bz_Lump_SetMaterialUncounted(nullptr, mat), 29);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(mat->refCount, 1);
}

TEST(LumpModel, LodLevels)
{
    FakeModels models;
    bzModel *level0 = models.NewModel("near");
    bzModel *level1 = models.NewModel("mid");
    bzModel *level4 = models.NewModel("far");
    bzLump *lump = bz_Lump_CreateModel(level0);
    const int32_t modelCount = bz_Lump_GetTypeCounter(1);
    const int32_t lodCount = bz_Lump_GetTypeCounter(5);

    EXPECT_EQ(bz_Lump_AddLodLevel(lump, 1, level1), 0);
    EXPECT_EQ(lump->type, 5);
    EXPECT_EQ(bz_Lump_GetTypeCounter(1), modelCount - 1);
    EXPECT_EQ(bz_Lump_GetTypeCounter(5), lodCount + 1);
    EXPECT_EQ(level0->refCount, 2);
    EXPECT_EQ(level1->refCount, 2);
    EXPECT_EQ(bz_Lump_AddLodLevel(lump, 4, level4), 0);
    EXPECT_EQ(bz_Lump_GetLodModel(lump, 0), level0);
    EXPECT_EQ(bz_Lump_GetLodModel(lump, 1), level1);
    EXPECT_EQ(bz_Lump_GetLodModel(lump, 2), nullptr);
    EXPECT_EQ(bz_Lump_GetModel(lump), level0);

    // Levels 2 and 3 are empty: asking for 3 selects 1.
    EXPECT_EQ(bz_Lump_SetLodLevel(3, lump), 1);
    EXPECT_EQ(((bzLumpLod *)lump->object)->currentLevel, 1);
    EXPECT_EQ(bz_Lump_GetLodModel(lump, -1), level1);
    EXPECT_EQ(bz_Lump_SetLodLevel(4, lump), 4);
    // Out of range or not a LOD lump: the asked level comes back and nothing changes.
    EXPECT_EQ(bz_Lump_SetLodLevel(7, lump), 7);
    EXPECT_EQ(((bzLumpLod *)lump->object)->currentLevel, 4);
    bzLump *plain = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "plain");
    EXPECT_EQ(bz_Lump_SetLodLevel(3, plain), 3);
    EXPECT_EQ(bz_Lump_AddLodLevel(plain, 0, level0), 29);
    EXPECT_EQ(bz_Lump_AddLodLevel(lump, 5, level0), 20);
    EXPECT_EQ(bz_Lump_AddLodLevel(lump, -1, level0), 20);
    bz_Lump_Destroy(plain);

    bz_Lump_Destroy(lump);
    EXPECT_EQ(level0->refCount, 1);
    EXPECT_EQ(level1->refCount, 1);
    EXPECT_EQ(level4->refCount, 1);
}

TEST(LumpModel, LodWithNoModelAtOrBelowTheLevel)
{
    FakeModels models;
    bzModel *far = models.NewModel("far");
    bzModel *list[5] = {nullptr, nullptr, far, nullptr, nullptr};
    bzLump *lump = bz_Lump_CreateLod("lod", list, 5);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(bz_Lump_SetLodLevel(1, lump), -1);
    EXPECT_EQ(bz_Lump_SetLodLevel(3, lump), 2);
    bz_Lump_Destroy(lump); // takes over the caller's reference
    EXPECT_EQ(far->refCount, 0);
}

TEST(LumpModel, ClippedModelAndLoadedModel)
{
    FakeModels models;
    bzModel *model = models.NewModel("m");
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_M34_Translation(&lump->matrix, 4, 5, 6);
    const bzPlane plane = {{{{0, 1, 0}}}, 2.0f};
    bzLump *left = bz_Lump_CreateClippedModel(lump, &plane);
    ASSERT_NE(left, nullptr);
    EXPECT_STREQ(left->name, "LeftSide");
    EXPECT_EQ(lump->type, 16);
    EXPECT_EQ(((bzLumpClipped *)lump->object)->side, 1u);
    EXPECT_EQ(((bzLumpClipped *)left->object)->side, 0u);
    EXPECT_EQ(((bzLumpClipped *)left->object)->plane.d, 2.0f);
    EXPECT_EQ(left->matrix.row[3].y, 5.0f);
    EXPECT_EQ(bz_Lump_GetModel(left), model);
    EXPECT_EQ(model->refCount, 3);
    bz_Lump_Destroy(lump);
    bz_Lump_Destroy(left);
    EXPECT_EQ(model->refCount, 1);

    bzLump *loaded = bz_Lump_LoadModelLump("models/Barrel.mdl");
    ASSERT_NE(loaded, nullptr);
    EXPECT_STREQ(loaded->name, "Barrel.mdl");
    bzModel *barrel = bz_Lump_GetModel(loaded);
    EXPECT_EQ(barrel->refCount, 1);
    bz_Lump_Destroy(loaded);
    EXPECT_EQ(barrel->refCount, 0);
    EXPECT_EQ(bz_Lump_LoadModelLump("MISSING.mdl"), nullptr);
}

// A skinned model's lump holds a skin instance the models make of it, with one more use of the
// model; destroying the lump frees the instance and drops the use.
TEST(LumpModel, SkinnedModelHoldsASkinInstanceOfItsModel)
{
    FakeModels models;
    bzModel *body = models.NewModel("body");
    body->boneCount = 2;
    const int32_t skinned = bz_Lump_GetTypeCounter(BZ_LUMP_TYPE_SKINNED_MODEL);
    bzLump *lump = bz_Lump_CreateSkinnedModel(body);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(lump->type, BZ_LUMP_TYPE_SKINNED_MODEL);
    EXPECT_EQ(bz_Lump_GetTypeCounter(BZ_LUMP_TYPE_SKINNED_MODEL), skinned + 1);
    EXPECT_EQ(body->refCount, 2);
    EXPECT_EQ(bz_Lump_GetModel(lump), body);
    EXPECT_EQ(bz_Lump_GetLodModel(lump, 0), body);
    EXPECT_TRUE(bz_Lump_HasModel(lump));
    const auto *instance = static_cast<const bzSkinInstance *>(lump->object);
    EXPECT_EQ(bz_Lump_GetSkinModel(instance), body);
    EXPECT_EQ(instance->boneCount, 2);
    EXPECT_EQ(models.skinInstances, 1);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(body->refCount, 1);
    EXPECT_EQ(models.skinInstances, 0);
    EXPECT_EQ(bz_Lump_GetTypeCounter(BZ_LUMP_TYPE_SKINNED_MODEL), skinned);

    // No model is refused; a null instance is freed as nothing.
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_CreateSkinnedModel(nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 29);
    EXPECT_EQ(bz_Lump_GetSkinModel(nullptr), nullptr);
    bz_Lump_FreeSkinInstance(nullptr);
    EXPECT_EQ(models.skinInstances, 0);
}

TEST(LumpModel, PolylineHoldsItsPathAndMaterial)
{
    FakeModels models;
    bzPath *path = nullptr;
    bzLump *lump = bz_Lump_CreatePolyline("trail", 0xFF00FF00, &path);
    ASSERT_NE(lump, nullptr);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(lump->object, path);
    EXPECT_EQ(path->refCount, 1);
    EXPECT_EQ(path->scale, 1.0f);
    EXPECT_EQ(path->count, 0);
    ASSERT_NE(lump->material, nullptr);
    EXPECT_EQ(lump->material->refCount, 1);
    EXPECT_EQ(lump->material->colour, 0xFF00FF00u);
    EXPECT_EQ(lump->material->flags, 0xF3u);
    EXPECT_EQ(lump->material->updatedWith, 128u);
    bzMaterial *material = lump->material;
    bz_Path_AddRef(path);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(path->refCount, 1);
    EXPECT_EQ(material->refCount, 0);
    bz_Path_Release(path);
}

TEST(LumpLight, CreateLightByType)
{
    struct Case
    {
        uint8_t type;
        const char *name;
    };
    const Case cases[] = {{6, "DirLight"},
                          {7, "PointLight"},
                          {8, "SpotLight"},
                          {9, "FlareLight"},
                          {10, "PointLight"}};
    for (const Case &c : cases)
    {
        bzLump *lump = bz_Lump_CreateLight(c.type, nullptr, nullptr);
        ASSERT_NE(lump, nullptr);
        EXPECT_STREQ(lump->name, c.name);
        EXPECT_EQ(lump->type, c.type);
        EXPECT_EQ(lump->matrix.row[0].x, 1.0f);
        EXPECT_EQ(bz_Lump_IsLight(lump), c.type == 10 ? 0 : 1);
        bz_Lump_Destroy(lump);
    }
    for (int type : {0, 1, 5, 11, 17, 200})
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_CreateLight((uint8_t)type, nullptr, nullptr), nullptr) << type;
        EXPECT_EQ(bzgLastError, 29);
    }
}

TEST(LumpBadInput, NullLumpsGiveErrorsNotCrashes)
{
    EXPECT_EQ(bz_Lump_GetMatrix(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_GetModel(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_GetLodModel(nullptr, 0), nullptr);
    EXPECT_EQ(bz_Lump_GetName(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_GetObjectName(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_CountChildren(nullptr), 0);
    EXPECT_EQ(bz_Lump_CountTree(nullptr), 0);
    EXPECT_EQ(bz_Lump_CountDescendants(nullptr), 0);
    EXPECT_EQ(bz_Lump_HasModel(nullptr), 0);
    EXPECT_EQ(bz_Lump_IsLight(nullptr), 0);
    EXPECT_EQ(bz_Lump_IsLeafOrSingle(nullptr), 0);
    EXPECT_EQ(bz_Lump_SetMaterial(nullptr, nullptr), 29);
    EXPECT_EQ(bz_Lump_MakeMatrixWorld(nullptr), 29);
    EXPECT_EQ(bz_Lump_MakeMatrixRelative(nullptr), 29);
    EXPECT_EQ(bz_Lump_SetMirror(nullptr, 1), 29);
    EXPECT_EQ(bz_Lump_AddLodLevel(nullptr, 0, nullptr), 29);
    EXPECT_EQ(bz_Lump_CreateClippedModel(nullptr, nullptr), nullptr);
    EXPECT_EQ(bz_Lump_LoadModelLump(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_WritePathIndices(nullptr, nullptr, nullptr), 29);
    const uint8_t bytes[] = {0};
    const uint8_t *cursor = bytes;
    EXPECT_EQ(bz_Lump_FindByPath(nullptr, &cursor, bytes + 1), nullptr);
    bz_Lump_SetObjectHooks(200, nullptr);
}

TEST(LumpBadInput, TypeByteOutsideTheCodesIsDestroyedSafely)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "odd");
    const int32_t nulls = bz_Lump_GetTypeCounter(0);
    const int32_t total = bz_Lump_GetTotalCount();
    lump->type = 200; // as a damaged container might leave it
    lump->object = lump;
    EXPECT_STREQ(bz_Lump_GetTypeName(lump->type), "BZ_LUMP_TYPE_UNKNOWN");
    EXPECT_EQ(bz_Lump_GetModel(lump), nullptr);
    EXPECT_STREQ(bz_Lump_GetObjectName(lump), "odd");
    EXPECT_EQ(bz_Lump_SetObject(lump, nullptr), 0);
    EXPECT_EQ(bz_Lump_Destroy(lump), 0);
    EXPECT_EQ(bz_Lump_GetTypeCounter(0), nulls);
    EXPECT_EQ(bz_Lump_GetTotalCount(), total - 1);
}
} // namespace
