// Deep copies of lump trees: shared models and their use counts, child order, own copies of the
// records a destroy frees (lights, paths, cameras), material overrides, refused types.
#include "FakeScene.h"

#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/LumpClone.h"
#include "scene/Path.h"

#include <gtest/gtest.h>

namespace
{
class LumpClone : public ::testing::Test
{
protected:
    FakeModels models;
    int32_t lumpsBefore = bz_Lump_GetTotalCount();
    void TearDown() override { EXPECT_EQ(bz_Lump_GetTotalCount(), lumpsBefore); }
};

TEST_F(LumpClone, ModelIsSharedWithOneMoreUseAndChildrenKeepOrder)
{
    bzModel *m = models.NewModel("car");
    bzLump *root = bz_Lump_CreateModel(m);
    bz_Scene_ReleaseModel(m);
    ASSERT_EQ(m->refCount, 1);
    root->userWord = 77;
    root->matrix.row[3] = {{{1, 2, 3}}};
    root->flags |= BZ_LUMP_HIDDEN | BZ_LUMP_OCTREE;
    for (const char *name : {"A", "B", "C"})
        bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, name));

    bzLump *copy = bz_Lump_Clone(root);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(m->refCount, 2);
    EXPECT_EQ(bz_Lump_GetModel(copy), m);
    EXPECT_EQ(copy->userWord, 77u);
    EXPECT_FLOAT_EQ(copy->matrix.row[3].v[2], 3.0f);
    // Hidden is copied; the octree bit is not, as the copy holds no octree.
    EXPECT_EQ(copy->flags, 0x801u);
    ASSERT_EQ(bz_Lump_CountChildren(copy), 3);
    EXPECT_STREQ(bz_Lump_GetChild(copy, 0)->name, "A");
    EXPECT_STREQ(bz_Lump_GetChild(copy, 1)->name, "B");
    EXPECT_STREQ(bz_Lump_GetChild(copy, 2)->name, "C");
    bz_Lump_DestroyTree(copy);
    EXPECT_EQ(m->refCount, 1);
    root->flags &= ~BZ_LUMP_OCTREE;
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(m->refCount, 0);
}

// Each record that a destroy frees belongs to one lump only: destroying the source and the copy
// in either order frees each once (ASan reports a double free otherwise).
TEST_F(LumpClone, FreedRecordsAreCopiedNotShared)
{
    for (int sourceFirst = 0; sourceFirst < 2; sourceFirst++)
    {
        bzLump *camera = bz_Lump_CreateCamera(nullptr, 75.0f);
        const bzLightParameters params = {5, 6, nullptr};
        bzLump *light = bz_Lump_CreateLight(BZ_LUMP_TYPE_SPOTLIGHT, nullptr, &params);
        bz_Lump_AppendChild(camera, light);
        bzLump *sphere = bz_Lump_Create(BZ_LUMP_TYPE_SPHERE_MODEL, "s");
        bz_Lump_AppendChild(camera, sphere);

        bzLump *copy = bz_Lump_Clone(camera);
        ASSERT_NE(copy, nullptr);
        ASSERT_NE(copy->object, nullptr);
        EXPECT_NE(copy->object, camera->object);
        EXPECT_FLOAT_EQ(((const bzCamera *)copy->object)->fieldOfView, 75.0f);
        const bzLump *lightCopy = bz_Lump_GetChild(copy, 0);
        ASSERT_NE(lightCopy->object, nullptr);
        EXPECT_NE(lightCopy->object, light->object);
        EXPECT_EQ(((const bzLight *)lightCopy->object)->parameter1, 5u);
        EXPECT_EQ(bz_Lump_GetChild(copy, 1)->object, nullptr);
        if (sourceFirst)
        {
            bz_Lump_DestroyTree(camera);
            bz_Lump_DestroyTree(copy);
        }
        else
        {
            bz_Lump_DestroyTree(copy);
            bz_Lump_DestroyTree(camera);
        }
    }
}

TEST_F(LumpClone, PolylineGetsItsOwnPathAndShadowItsOwnRecord)
{
    bzPath *path = nullptr;
    bzLump *line = bz_Lump_CreatePolyline("line", 0, &path);
    ASSERT_NE(line, nullptr);
    bzModel *m = models.NewModel("caster");
    bzLump *shadow = bz_Lump_CreateStencilShadow("shadow", m);
    bz_Scene_ReleaseModel(m);
    ASSERT_NE(shadow, nullptr);
    ((bzLumpShadow *)shadow->object)->extrusion = 7.5f;
    bz_Lump_AppendChild(line, shadow);
    ASSERT_EQ(m->refCount, 1);

    bzLump *copy = bz_Lump_Clone(line);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->object, nullptr);
    EXPECT_NE(copy->object, line->object);
    const bzLump *shadowCopy = bz_Lump_GetChild(copy, 0);
    ASSERT_EQ(shadowCopy->type, BZ_LUMP_TYPE_STENCIL_SHADOW);
    ASSERT_NE(shadowCopy->object, shadow->object);
    EXPECT_EQ(((const bzLumpShadow *)shadowCopy->object)->model, m);
    EXPECT_FLOAT_EQ(((const bzLumpShadow *)shadowCopy->object)->extrusion, 7.5f);
    EXPECT_STREQ(shadowCopy->name, "shadow");
    EXPECT_EQ(m->refCount, 2);
    bz_Lump_DestroyTree(line);
    bz_Lump_DestroyTree(copy);
    EXPECT_EQ(m->refCount, 0);
}

TEST_F(LumpClone, CountedAndUncountedMaterialOverrides)
{
    bzMaterial *mat = models.NewMaterial("paint", 0);
    const int32_t start = mat->refCount;
    bzLump *counted = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "c");
    bz_Lump_SetMaterial(counted, mat);
    bzLump *copy = bz_Lump_Clone(counted);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->material, mat);
    EXPECT_EQ(mat->refCount, start + 2);
    EXPECT_EQ(copy->flags & 0x80000400u, 0x80000000u);
    bz_Lump_DestroyTree(copy);
    EXPECT_EQ(mat->refCount, start + 1);

    bzLump *uncounted = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "u");
    bz_Lump_SetMaterialTreeUncounted(uncounted, mat);
    bzLump *copy2 = bz_Lump_Clone(uncounted);
    ASSERT_NE(copy2, nullptr);
    EXPECT_EQ(copy2->material, mat);
    EXPECT_EQ(copy2->flags & 0x80000400u, 0x80000400u);
    EXPECT_EQ(mat->refCount, start + 1);
    bz_Lump_DestroyTree(copy2);
    bz_Lump_DestroyTree(uncounted);
    bz_Lump_DestroyTree(counted);
    EXPECT_EQ(mat->refCount, start);
}

TEST_F(LumpClone, SkinnedModelGetsItsOwnInstance)
{
    bzModel *m = models.NewModel("walker");
    m->boneCount = 1;
    bzLump *source = bz_Lump_CreateSkinnedModel(m);
    bz_Scene_ReleaseModel(m);
    ASSERT_NE(source, nullptr);
    const auto *posed = static_cast<const bzSkinInstance *>(source->object);

    bzLump *copy = bz_Lump_Clone(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(m->refCount, 2);
    EXPECT_EQ(models.skinInstances, 2);
    const auto *instance = static_cast<const bzSkinInstance *>(copy->object);
    ASSERT_NE(instance, posed);
    EXPECT_EQ(bz_Lump_GetSkinModel(instance), m);
    bz_Lump_DestroyTree(copy);
    EXPECT_EQ(m->refCount, 1);
    bz_Lump_DestroyTree(source);
    EXPECT_EQ(models.skinInstances, 0);
}

TEST_F(LumpClone, RefusedInputsLeaveNothingBehind)
{
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_Clone(nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 29);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r");
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "ok"));
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_POOLED_EMITTER, "e"));
    EXPECT_EQ(bz_Lump_Clone(root), nullptr);
    EXPECT_EQ(bzgLastError, 68);
    bz_Lump_DestroyTree(root);
}
} // namespace
