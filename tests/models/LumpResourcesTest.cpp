// The resources of lump trees: gathering by list order, visits, replacements, the renderer's
// texture collection and the search for a material by name.
#include "models/LumpResources.h"

#include "ModelsTestSupport.h"
#include "models/ImgFill.h"
#include "models/ModelPrepare.h"
#include "models/SceneLink.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <vector>

namespace
{
using LumpResourcesTest = ModelsTest;

bzLump *ModelLump(bzLump *parent, bzModel *model)
{
    bzLump *lump = bz_Lump_CreateModel(model);
    EXPECT_NE(lump, nullptr);
    if (parent)
    {
        EXPECT_EQ(bz_Lump_Attach(parent, lump), BZ_ERROR_NONE);
    }
    return lump;
}

// Tree: root (model A) with children B (model A), C (model B) whose child D (model A).
struct Scene
{
    bzMaterial *red = bz_CreateMaterial("data\\red", 1);
    bzMaterial *green = bz_CreateMaterial("data\\green", 1);
    bzMaterial *blue = bz_CreateMaterial("data\\blue", 1);
    bzMaterial *grey = bz_CreateMaterial("grey", 1);
    bzModel *outside = MakeMaterialTriangles("outside", {grey});
    bzModel *a = MakeMaterialTriangles("a", {red, green});
    bzModel *b = MakeMaterialTriangles("b", {green, blue});
    bzLump *root = ModelLump(nullptr, a);
    bzLump *lumpB = ModelLump(root, a);
    bzLump *lumpC = ModelLump(root, b);
    bzLump *lumpD = ModelLump(lumpC, a);

    ~Scene()
    {
        bz_Lump_DestroyTree(root);
        for (bzModel *m : {outside, a, b})
            bz_ReleaseModel(m);
        for (bzMaterial *m : {red, green, blue, grey})
            bz_ReleaseMaterial(m);
    }
};

struct FilterRule
{
    int32_t verdict;
    bzLump *target;
};

int32_t Filter(void *user, bzLump *lump)
{
    const auto *rule = static_cast<const FilterRule *>(user);
    return lump == rule->target ? rule->verdict : 0;
}

TEST_F(LumpResourcesTest, ModelsAreGatheredOnceEachAndTheFilterKeepsLumpsOrSubtreesOut)
{
    Scene s;
    int32_t count = -1;
    bzModel *first = bz_Lump_CollectModelList(s.root, 1, &count, nullptr, nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ListOf(first), (std::vector<bzModel *>{s.a, s.b}));
    // The model outside the tree stands before the run.
    EXPECT_EQ(bzgModelList, s.outside);

    // Without recursion only the root is taken.
    first = bz_Lump_CollectModelList(s.root, 0, &count, nullptr, nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(first, s.a);

    struct Case
    {
        int32_t verdict;
        bzLump *target;
        std::vector<bzModel *> run;
    };
    // C holds model b; D under C holds model a, as the root does.
    const Case cases[] = {
        {1, s.lumpC, {s.a}},      // C's own model out, D still visited
        {2, s.lumpC, {s.a}},      // C and D out
        {2, s.root, {}},          // everything out
        {1, s.root, {s.a, s.b}},  // only the root out; B and D still hold a
        {0, s.lumpC, {s.a, s.b}}, // taken
    };
    for (const Case &c : cases)
    {
        FilterRule rule{c.verdict, c.target};
        first = bz_Lump_CollectModelList(s.root, 1, &count, Filter, &rule);
        std::vector<bzModel *> got = ListOf(first);
        std::sort(got.begin(), got.end());
        std::vector<bzModel *> want = c.run;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << "verdict " << c.verdict;
        EXPECT_EQ(count, static_cast<int32_t>(c.run.size()));
    }
}

TEST_F(LumpResourcesTest, MaterialsAndImagesOfATreeAreGatheredOnceEach)
{
    Scene s;
    bz_IMGMAP *image = bz_MakeColourImgMap("white", BZ_IMAGE_888, 8, 0xFFFFFFFF);
    bzMaterial *textured = bz_CreateMaterialFromTextureHandle(image);
    bzMaterial *loose = bz_CreateMaterialFromTextureHandle(image);
    // A counted override on D and an uncounted one on B.
    ASSERT_EQ(bz_Lump_SetMaterial(s.lumpD, textured), BZ_ERROR_NONE);
    ASSERT_EQ(bz_Lump_SetMaterialTreeUncounted(s.lumpB, loose), BZ_ERROR_NONE);

    int32_t count = -1;
    bzMaterial *first = bz_Lump_CollectMaterials(1, nullptr, s.root, &count, nullptr);
    std::vector<bzMaterial *> got = ListOf(first);
    std::sort(got.begin(), got.end());
    std::vector<bzMaterial *> want = {s.red, s.green, s.blue, textured};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(count, 4);

    bz_IMGMAP *images = bz_Lump_CollectImages(1, nullptr, s.root, &count, nullptr);
    EXPECT_EQ(images, image);
    EXPECT_EQ(count, 1);

    int32_t visits = 0;
    EXPECT_EQ(bz_Lump_ForEachImage(
                  s.root,
                  [](bz_IMGMAP *i, void *user) -> intptr_t
                  {
                      ++*static_cast<int32_t *>(user);
                      return i == nullptr;
                  },
                  &visits),
              0);
    EXPECT_EQ(visits, 1);

    bz_Lump_SetMaterial(s.lumpD, nullptr);
    bz_Lump_SetMaterialTreeUncounted(s.lumpB, nullptr);
    bz_ReleaseMaterial(textured);
    bz_ReleaseMaterial(loose);
    bz_ReleaseImgMap(image);
}

struct Visit
{
    std::vector<bzMaterial *> seen;
    std::vector<int32_t> refCounts;
    bzMaterial *stopAt = nullptr;
};

intptr_t Record(bzMaterial *material, void *user)
{
    auto *visit = static_cast<Visit *>(user);
    visit->seen.push_back(material);
    visit->refCounts.push_back(material->refCount);
    return material == visit->stopAt ? 7 : 0;
}

TEST_F(LumpResourcesTest, EachMaterialIsVisitedOnceWithAReferenceAndNamesAreFound)
{
    Scene s;
    const int32_t greenRefs = s.green->refCount;
    Visit visit;
    EXPECT_EQ(bz_Lump_ForEachMaterial(s.root, Record, &visit), 0);
    ASSERT_EQ(visit.seen.size(), 3u);
    for (size_t i = 0; i < visit.seen.size(); ++i)
        if (visit.seen[i] == s.green)
        {
            EXPECT_EQ(visit.refCounts[i], greenRefs + 1);
        }
    EXPECT_EQ(s.green->refCount, greenRefs);

    Visit stopping;
    stopping.stopAt = visit.seen[1];
    EXPECT_EQ(bz_Lump_ForEachMaterial(s.root, Record, &stopping), 7);
    EXPECT_EQ(stopping.seen.size(), 2u);

    // By full or short name, ignoring case; only materials of the subtree.
    EXPECT_EQ(bz_FindLumpMaterial(s.root, "BLUE"), s.blue);
    EXPECT_EQ(bz_FindLumpMaterial(s.root, "data\\Green"), s.green);
    EXPECT_EQ(bz_FindLumpMaterial(s.root, "grey"), nullptr);
    EXPECT_EQ(bz_FindLumpMaterial(s.lumpB, "blue"), nullptr);
    EXPECT_EQ(bz_FindLumpMaterial(s.lumpC, "blue"), s.blue);
    EXPECT_EQ(bz_FindLumpMaterial(nullptr, "blue"), nullptr);
}

TEST_F(LumpResourcesTest, SimpleVisitsGoInPreOrderOverridesFirstEntriesLastFirst)
{
    Scene s;
    ASSERT_EQ(bz_Lump_SetMaterial(s.lumpC, s.grey), BZ_ERROR_NONE);
    static std::vector<std::pair<bzMaterial *, bzLump *>> seen;
    static int32_t stopAfter;
    seen.clear();
    stopAfter = 100;
    auto fn = [](bzMaterial *m, bzLump *l) -> int32_t
    {
        seen.emplace_back(m, l);
        return static_cast<int32_t>(seen.size()) < stopAfter;
    };
    EXPECT_EQ(bz_Lump_ForEachMaterialSimple(s.root, fn), 1);
    // Each model's entries, last first (their order follows the batches); the last child
    // attached is the first child: pre-order is root, C, D, B.
    ASSERT_EQ(s.root->firstChild, s.lumpC);
    auto entriesOf = [](const bzModel *m, bzLump *l)
    {
        std::vector<std::pair<bzMaterial *, bzLump *>> out;
        for (int32_t e = m->part->entryCount - 1; e >= 0; --e)
            out.emplace_back(m->part->entries[e].material, l);
        return out;
    };
    std::vector<std::pair<bzMaterial *, bzLump *>> want = entriesOf(s.a, s.root);
    want.emplace_back(s.grey, s.lumpC);
    for (bzLump *l : {s.lumpC, s.lumpD, s.lumpB})
    {
        const auto more = entriesOf(l == s.lumpC ? s.b : s.a, l);
        want.insert(want.end(), more.begin(), more.end());
    }
    ASSERT_EQ(want.size(), 9u);
    EXPECT_EQ(seen, want);

    seen.clear();
    stopAfter = 3;
    EXPECT_EQ(bz_Lump_ForEachMaterialSimple(s.root, fn), 0);
    EXPECT_EQ(seen.size(), 3u);
    bz_Lump_SetMaterial(s.lumpC, nullptr);
}

TEST_F(LumpResourcesTest, ReplacementsSwitchOverridesAndModelEntries)
{
    Scene s;
    ASSERT_EQ(bz_Lump_SetMaterial(s.lumpB, s.grey), BZ_ERROR_NONE);
    const int32_t greyRefs = s.grey->refCount;
    bzMaterial *oldTable[] = {s.blue, s.grey};
    bzMaterial *newTable[] = {s.red, s.green};
    bz_Lump_ReplaceMaterials(oldTable, 2, newTable, s.root);
    EXPECT_EQ(s.lumpB->material, s.green);
    EXPECT_EQ(s.grey->refCount, greyRefs); // no counts change
    s.lumpB->material = s.grey;            // give the override back as it was counted

    bz_Lump_ForEachModel(s.lumpC, s.blue, s.red);
    EXPECT_FALSE(bz_ModelUsesMaterial(s.b, s.blue));
    EXPECT_TRUE(bz_ModelUsesMaterial(s.b, s.red));
    EXPECT_FALSE(bz_ModelUsesMaterial(s.outside, s.red));
    bz_Lump_SetMaterial(s.lumpB, nullptr);
}

TEST_F(LumpResourcesTest, TexturesAreCollectedOnceUpToTheLimits)
{
    bz_IMGMAP *one = bz_MakeColourImgMap("one", BZ_IMAGE_888, 8, 0xFF0000FF);
    bz_IMGMAP *two = bz_MakeColourImgMap("two", BZ_IMAGE_888, 8, 0xFF00FF00);
    bz_IMGMAP *held = bz_MakeColourImgMap("held", BZ_IMAGE_888, 8, 0xFFFF0000);
    // Only held has its texture on the device; the other two wait for their upload.
    one->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
    two->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
    held->flags |= BZ_IMGMAP_TEXTURE;
    bzMaterial *m1 = bz_CreateMaterialFromTextureHandle(one);
    bzMaterial *m2 = bz_CreateMaterialFromTextureHandle(two);
    bzMaterial *m3 = bz_CreateMaterialFromTextureHandle(held);
    bzModel *a = MakeMaterialTriangles("a", {m1, m2});
    bzModel *b = MakeMaterialTriangles("b", {m2, m3});
    bzLump *root = ModelLump(nullptr, a);
    ModelLump(root, b);

    bz_IMGMAP *images[4] = {};
    bzMaterial *materials[4] = {};
    int32_t imageCount = 0, materialCount = 0;
    EXPECT_EQ(
        bz_Lump_CollectTextures(root, 1, images, 4, &imageCount, materials, 4, &materialCount), 2);
    EXPECT_EQ(imageCount, 2);
    EXPECT_EQ(materialCount, 3);
    // The entries' order follows the batches, so the two may come either way round.
    EXPECT_EQ((std::set<bz_IMGMAP *>{images[0], images[1]}), (std::set<bz_IMGMAP *>{one, two}));

    // Without recursion only the root's model; with an image limit of 1 the second stays out.
    imageCount = materialCount = 0;
    EXPECT_EQ(
        bz_Lump_CollectTextures(root, 0, images, 1, &imageCount, materials, 4, &materialCount), 1);
    EXPECT_EQ(imageCount, 1);

    bzModel *models[] = {b, a};
    imageCount = materialCount = 0;
    EXPECT_EQ(bz_Lump_CollectTexturesAny(nullptr, models, 2, images, 4, &imageCount, materials, 4,
                                         &materialCount),
              2);
    EXPECT_EQ((std::set<bz_IMGMAP *>{images[0], images[1]}), (std::set<bz_IMGMAP *>{one, two}));

    bz_Lump_DestroyTree(root);
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);
    one->flags |= BZ_IMGMAP_TEXTURE;
    two->flags |= BZ_IMGMAP_TEXTURE;
    for (bzMaterial *m : {m1, m2, m3})
        bz_ReleaseMaterial(m);
    for (bz_IMGMAP *i : {one, two, held})
        bz_ReleaseImgMap(i);
}

TEST_F(LumpResourcesTest, ParticleEmittersBringTheirMaterialsAndTexture)
{
    bz_Models_InstallSceneServices();
    bz_IMGMAP *smoke = bz_MakeColourImgMap("smoke", BZ_IMAGE_8888, 8, 0x80FFFFFF);
    smoke->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
    bzMaterial *young = bz_CreateMaterial("young", 1);
    bzMaterial *old = bz_CreateMaterial("old", 1);
    bzParticleSystem *system = nullptr;
    bzLump *emitter = bz_Lump_CreateEmitter("smoke", &system);
    ASSERT_NE(emitter, nullptr);
    ASSERT_NE(system, nullptr);
    bz_ParticleSystem_SetTexture(system, smoke);
    EXPECT_EQ(smoke->refCount, 2); // through the scene graph's image table
    for (bzMaterial *m : {young, old})
        bz_AddRefMaterial(m);
    system->layers[0].material = young;
    system->layers[1].material = old;

    int32_t count = 0;
    bzMaterial *first = bz_Lump_CollectMaterials(1, nullptr, emitter, &count, nullptr);
    std::vector<bzMaterial *> got = ListOf(first);
    std::sort(got.begin(), got.end());
    std::vector<bzMaterial *> want = {young, old};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(bz_Lump_CollectImages(1, nullptr, emitter, &count, nullptr), smoke);
    EXPECT_EQ(count, 1);

    bz_IMGMAP *images[2] = {};
    bzMaterial *materials[2] = {};
    int32_t imageCount = 0, materialCount = 0;
    EXPECT_EQ(
        bz_Lump_CollectTextures(emitter, 1, images, 2, &imageCount, materials, 2, &materialCount),
        1);
    EXPECT_EQ(images[0], smoke);

    // The image table finds image maps by name and sets a material's alpha, clamped.
    bz_IMGMAP *found = bz_Scene_GetImgMap("smoke");
    EXPECT_EQ(found, smoke);
    bz_Scene_ReleaseImgMap(found);
    bz_Scene_SetMaterialAlpha(young, 1.5f);
    EXPECT_FLOAT_EQ(young->layers[0].alpha, 1.0f);
    bz_Scene_SetMaterialAlpha(young, 0.25f);
    EXPECT_FLOAT_EQ(young->layers[0].alpha, 0.25f);

    smoke->flags |= BZ_IMGMAP_TEXTURE;
    bz_Lump_DestroyTree(emitter);
    bz_Models_RemoveSceneServices();
    EXPECT_EQ(smoke->refCount, 1);
    bz_ReleaseImgMap(smoke);
    bz_ReleaseMaterial(young);
    bz_ReleaseMaterial(old);
}
} // namespace
