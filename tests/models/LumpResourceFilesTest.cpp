// The resources of lump trees moved to the ends of their lists one lump at a time, large image
// maps halved, ".img" files written back from image maps, and a container saved with its models
// and materials beside it.
#include "models/LumpResourceFiles.h"

#include "ImgFileWriter.h"
#include "ModelsTestSupport.h"
#include "models/ImgFile.h"
#include "models/ImgFill.h"
#include "models/LumpResources.h"
#include "models/ModelFile.h"
#include "models/ModelLoad.h"
#include "models/ModelPrepare.h"
#include "models/SceneLink.h"
#include "scene/Container.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace
{
using LumpResourceFilesTest = ModelSceneTest;

// A model lump that takes over the caller's reference of the model.
bzLump *Holding(bzLump *parent, bzModel *model)
{
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_ReleaseModel(model);
    if (parent)
        bz_Lump_AppendChild(parent, lump);
    return lump;
}

template <typename T> std::vector<T *> Tail(T *head, size_t n)
{
    std::vector<T *> all = ListOf(head);
    return std::vector<T *>(all.end() - static_cast<long>(std::min(n, all.size())), all.end());
}

TEST_F(LumpResourceFilesTest, RelinkingMovesOneLumpsResourcesToTheListEnds)
{
    bzMaterial *red = bz_CreateMaterial("red", 1);
    bzMaterial *blue = bz_CreateMaterial("blue", 1);
    bzMaterial *over = bz_CreateMaterial("over", 1);
    bzMaterial *loose = bz_CreateMaterial("loose", 1);
    bzModel *a = MakeMaterialTriangles("a", {red});
    bzModel *b = MakeMaterialTriangles("b", {blue});
    bzModel *near = MakeMaterialTriangles("near", {red});
    bzModel *far = MakeMaterialTriangles("far", {blue});
    ASSERT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, b, near, far}));

    bzLump *lumpA = Holding(nullptr, a);
    bzLump *lumpB = Holding(lumpA, b);
    bzModel *levels[2] = {near, far};
    bzLump *lod = bz_Lump_CreateLod("lod", levels, 2);
    bz_Lump_AppendChild(lumpA, lod);

    // The first model met is recorded and moved; a later one moves behind it; meeting the
    // recorded one again moves nothing.
    bzModel *first = nullptr;
    bz_Lump_RelinkModels(lumpA, &first);
    EXPECT_EQ(first, a);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{b, near, far, a}));
    bz_Lump_RelinkModels(lumpB, &first);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{near, far, a, b}));
    bz_Lump_RelinkModels(lumpA, &first);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{near, far, a, b}));
    EXPECT_EQ(first, a);
    // Every level model of a LOD lump, level order.
    bz_Lump_RelinkModels(lod, &first);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, b, near, far}));
    first = nullptr;
    bz_Lump_RelinkModels(lod, &first);
    EXPECT_EQ(first, near);
    // Nothing to move or nowhere to record: nothing changes.
    bz_Lump_RelinkModels(nullptr, &first);
    bz_Lump_RelinkModels(lumpA, nullptr);
    bzLump *bare = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "bare");
    bz_Lump_RelinkModels(bare, &first);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, b, near, far}));
    EXPECT_EQ(first, near);

    // Materials: a counted override moves, an uncounted one does not; a model's own entries are
    // not this lump's to move.
    ASSERT_EQ(bz_Lump_SetMaterial(lumpB, over), BZ_ERROR_NONE);
    ASSERT_EQ(bz_Lump_SetMaterialUncounted(lumpA, loose), BZ_ERROR_NONE);
    const std::vector<bzMaterial *> before = ListOf(bzgMaterial_list);
    bzMaterial *firstMaterial = nullptr;
    bz_Lump_RelinkMaterials(lumpA, &firstMaterial);
    EXPECT_EQ(firstMaterial, nullptr);
    EXPECT_EQ(ListOf(bzgMaterial_list), before);
    bz_Lump_RelinkMaterials(lumpB, &firstMaterial);
    EXPECT_EQ(firstMaterial, over);
    EXPECT_EQ(Tail(bzgMaterial_list, 1), (std::vector<bzMaterial *>{over}));
    EXPECT_EQ(ListOf(bzgMaterial_list).size(), before.size());

    // An emitter brings its two layer materials and its image map.
    bz_IMGMAP *smoke = bz_MakeColourImgMap("smoke", BZ_IMAGE_8888, 4, 0x80FFFFFF);
    bz_IMGMAP *spare = bz_MakeColourImgMap("spare", BZ_IMAGE_8888, 4, 0x80FFFFFF);
    bzParticleSystem *system = nullptr;
    bzLump *emitter = bz_Lump_CreateEmitter("fx", &system);
    ASSERT_NE(system, nullptr);
    bz_ParticleSystem_SetTexture(system, smoke);
    bz_AddRefMaterial(red);
    bz_AddRefMaterial(loose);
    system->layers[0].material = red;
    system->layers[1].material = loose;
    firstMaterial = nullptr;
    bz_Lump_RelinkMaterials(emitter, &firstMaterial);
    EXPECT_EQ(firstMaterial, red);
    EXPECT_EQ(Tail(bzgMaterial_list, 2), (std::vector<bzMaterial *>{red, loose}));
    bz_IMGMAP *firstImage = nullptr;
    ASSERT_EQ(ListOf(bzgImage_list), (std::vector<bz_IMGMAP *>{smoke, spare}));
    bz_Lump_RelinkTextures(emitter, &firstImage);
    EXPECT_EQ(firstImage, smoke);
    EXPECT_EQ(ListOf(bzgImage_list), (std::vector<bz_IMGMAP *>{spare, smoke}));
    bz_Lump_RelinkTextures(lumpA, &firstImage); // a model lump has no image map of its own
    EXPECT_EQ(ListOf(bzgImage_list), (std::vector<bz_IMGMAP *>{spare, smoke}));

    // The tree's models go to the end; RelinkAll takes their materials along, RelinkTree not.
    bz_Lump_RelinkModels(lod, &first);
    ASSERT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, b, near, far}));
    const std::vector<bzMaterial *> materialsBefore = ListOf(bzgMaterial_list);
    bz_Lump_RelinkTree(lumpB);
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, near, far, b}));
    EXPECT_EQ(ListOf(bzgMaterial_list), materialsBefore);
    bz_Lump_RelinkAll(lumpA);
    // Pre-order: A (a), B (b), the LOD (near, far); then their materials red, blue and B's
    // override.
    EXPECT_EQ(ListOf(bzgModelList), (std::vector<bzModel *>{a, b, near, far}));
    std::vector<bzMaterial *> tail = Tail(bzgMaterial_list, 3);
    std::sort(tail.begin(), tail.end());
    std::vector<bzMaterial *> want = {red, blue, over};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(tail, want);

    bz_Lump_DestroyTree(emitter);
    bz_Lump_DestroyTree(bare);
    bz_Lump_DestroyTree(lumpA);
    for (bzMaterial *m : {red, blue, over, loose})
        bz_ReleaseMaterial(m);
    for (bz_IMGMAP *i : {smoke, spare})
        bz_ReleaseImgMap(i);
}

bz_IMGMAP *Sized(const char *name, int16_t w, int16_t h)
{
    bz_IMGMAP *image = bz_CreateImgMap(name, BZ_IMAGE_8888, w, h, 1);
    EXPECT_NE(image, nullptr);
    return image;
}

// Image maps above 65,536 pixels are halved once (each side held to 256); those at the limit,
// those outside the tree and one that cannot be read are left as they were.
TEST_F(LumpResourceFilesTest, LargeImagesOfATreeAreHalvedOnce)
{
    struct Case
    {
        const char *name;
        int16_t w, h, newW, newH;
    };
    const Case cases[] = {
        {"square", 300, 300, 150, 150}, {"wide", 1024, 65, 256, 32}, {"limit", 256, 256, 256, 256},
        {"flat", 1024, 64, 1024, 64},   {"tiny", 2, 2, 2, 2},
    };
    std::vector<bz_IMGMAP *> images;
    std::vector<bzMaterial *> materials;
    for (const Case &c : cases)
    {
        images.push_back(Sized(c.name, c.w, c.h));
        materials.push_back(bz_CreateMaterialFromTextureHandle(images.back()));
    }
    bz_IMGMAP *outside = Sized("outside", 512, 512);
    bzLump *root = Holding(nullptr, MakeMaterialTriangles("one", {materials[0], materials[1]}));
    Holding(root, MakeMaterialTriangles("two", {materials[1], materials[2], materials[3]}));
    Holding(root, MakeMaterialTriangles("three", {materials[4]}));

    EXPECT_EQ(bz_Lump_ConvertLargeImages(root), 2);
    for (size_t i = 0; i < images.size(); ++i)
    {
        EXPECT_EQ(images[i]->width, cases[i].newW) << cases[i].name;
        EXPECT_EQ(images[i]->height, cases[i].newH) << cases[i].name;
    }
    EXPECT_EQ(outside->width, 512);
    // Done once more: nothing is left above the limit.
    EXPECT_EQ(bz_Lump_ConvertLargeImages(root), 0);

    // One whose pixels cannot be read stays as it was.
    bz_IMGMAP *locked = Sized("locked", 400, 400);
    bzMaterial *lockedMaterial = bz_CreateMaterialFromTextureHandle(locked);
    bzLump *other = Holding(nullptr, MakeMaterialTriangles("four", {lockedMaterial}));
    bz_MemDevice_SetSlotResult(11, BZ_ERROR_IMGMAP_NO_PIXELS);
    EXPECT_EQ(bz_Lump_ConvertLargeImages(other), 0);
    bz_MemDevice_SetSlotResult(11, 0);
    EXPECT_EQ(locked->width, 400);
    EXPECT_EQ(bz_Lump_ConvertLargeImages(nullptr), 0);

    bz_Lump_DestroyTree(other);
    bz_Lump_DestroyTree(root);
    materials.push_back(lockedMaterial);
    images.push_back(locked);
    images.push_back(outside);
    for (bzMaterial *m : materials)
        bz_ReleaseMaterial(m);
    for (bz_IMGMAP *i : images)
        bz_ReleaseImgMap(i);
}

// An image loaded from an ".img" file and written back gives the file it came from, for every
// kind, with the header flags and the extra block.
TEST_F(LumpResourceFilesTest, ImageFilesWrittenBackAreTheFilesRead)
{
    std::vector<uint32_t> palette16(16), palette256(256);
    for (uint32_t i = 0; i < 256; ++i)
    {
        if (i < 16)
            palette16[i] = i * 0x100F01u;
        palette256[i] = (i << 16) | ((255 - i) << 8) | (i * 7 & 0xFF);
    }
    struct Case
    {
        const char *what;
        ImgFileLayout layout;
    };
    std::vector<Case> cases;
    {
        ImgFileLayout l;
        l.kind = 0;
        l.width = 2;
        l.height = 2;
        l.flags = BZ_IMGFILE_ONE_BIT_ALPHA | BZ_IMGFILE_SINGLE_LEVEL;
        l.data = RawARGB({0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0});
        cases.push_back({"colour", l});
    }
    {
        ImgFileLayout l;
        l.kind = 1;
        l.width = 3;
        l.height = 1;
        l.flags =
            BZ_IMGFILE_NO_COMPRESS | BZ_IMGFILE_MARK | BZ_IMGFILE_EXTRA | BZ_IMGFILE_KEEP_8BIT;
        l.data = RawARGB({0x00112233, 0x80445566, 0xFF778899});
        l.extra = std::string("\x01\x02\x03\x04\x05", 5);
        cases.push_back({"colour and alpha", l});
    }
    {
        ImgFileLayout l;
        l.kind = 2;
        l.width = 3;
        l.height = 2;
        l.data = RawBytes({0, 50, 100, 150, 200, 255});
        cases.push_back({"alpha", l});
    }
    {
        ImgFileLayout l;
        l.kind = 3;
        l.width = 3;
        l.height = 1;
        l.palette = palette16;
        l.data = std::string("\x1F\xA0", 2); // the second byte's low nibble is not a pixel
        cases.push_back({"4-bit palette", l});
    }
    {
        ImgFileLayout l;
        l.kind = 4;
        l.width = 2;
        l.height = 2;
        l.palette = palette256;
        l.data = RawBytes({0, 9, 200, 255});
        cases.push_back({"8-bit palette", l});
    }
    for (Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        c.layout.dataSize = static_cast<int64_t>(c.layout.data.size());
        const std::string file = BuildImgFile(c.layout);
        Put("in.img", file);
        bz_IMGMAP *image = bz_Image_Load("in");
        ASSERT_NE(image, nullptr) << bzgLastError;
        ASSERT_EQ(bz_Image_Save("out.img", image), 0);
        EXPECT_EQ(ReadWholeFile("out.img"), file);
        bz_ReleaseImgMap(image);
    }

    // A format of the device's own is written as colour, with alpha when it has it.
    bz_IMGMAP *rgb = bz_CreateImgMap("rgb", BZ_IMAGE_565, 1, 1, 1);
    ASSERT_EQ(bzgRenderTable.PDLockImgMap(rgb, BZ_LOCK_WRITE), 0);
    bzgRenderTable.PDPutImgMapPixel(rgb, 0, 0, 255, 255, 0, 255);
    bzgRenderTable.PDUnlockImgMap(rgb);
    ASSERT_EQ(bz_Image_Save("rgb.img", rgb), 0);
    ImgFileLayout expected;
    expected.kind = 0;
    expected.data = RawARGB({0xFFFF00FF});
    expected.dataSize = 4;
    EXPECT_EQ(ReadWholeFile("rgb.img"), BuildImgFile(expected));
    bz_ReleaseImgMap(rgb);
}

TEST_F(LumpResourceFilesTest, ImagesThatCannotBeReadMakeNoFile)
{
    bz_IMGMAP *image = bz_CreateImgMap("pic", BZ_IMAGE_8888, 4, 4, 1);
    EXPECT_EQ(bz_Image_Save(nullptr, image), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_Image_Save("x.img", nullptr), BZ_ERROR_INVALID_PARAMETER);
    // A pixel the back end cannot read.
    bz_MemDevice_SetSlotResult(9, BZ_ERROR_UNSUPPORTED);
    EXPECT_EQ(bz_Image_Save("bad.img", image), BZ_ERROR_UNSUPPORTED);
    bz_MemDevice_SetSlotResult(9, 0);
    EXPECT_FALSE(std::filesystem::exists("bad.img"));
    EXPECT_EQ(image->flags & BZ_IMGMAP_LOCKED, 0); // unlocked again
    // No pixels to lock.
    bz_MemDevice_SetSlotResult(11, BZ_ERROR_IMGMAP_NO_PIXELS);
    EXPECT_EQ(bz_Image_Save("bad.img", image), BZ_ERROR_IMGMAP_NO_PIXELS);
    bz_MemDevice_SetSlotResult(11, 0);
    EXPECT_FALSE(std::filesystem::exists("bad.img"));
    // A palette image without palette.
    bz_IMGMAP *clut = bz_CreateImgMap("clut", BZ_IMAGE_CLUT8, 2, 2, 1);
    bz_MemDevice_SetSlotResult(7, BZ_ERROR_PALETTE_NOT_FOUND);
    EXPECT_EQ(bz_Image_Save("clut.img", clut), BZ_ERROR_PALETTE_NOT_FOUND);
    bz_MemDevice_SetSlotResult(7, 0);
    EXPECT_FALSE(std::filesystem::exists("clut.img"));
    // No size, and a folder that does not exist.
    const int16_t width = image->width;
    image->width = 0;
    EXPECT_EQ(bz_Image_Save("zero.img", image), BZ_ERROR_IMGMAP_VOID);
    image->width = width;
    EXPECT_EQ(bz_Image_Save("no_such_folder/x.img", image), BZ_ERROR_FILE_NOT_FOUND);
    bz_ReleaseImgMap(clut);
    bz_ReleaseImgMap(image);
}

// Save flags write the models and materials of the saved lumps beside the container; the
// models of transient lumps stay out, and the container loads back with the models written.
TEST_F(LumpResourceFilesTest, ContainersSavedWithFlagsBringTheirModelsAndMaterials)
{
    std::filesystem::create_directories("lev");
    bzMaterial *red = bz_CreateMaterial("data\\red", 1);
    bzMaterial *paint = bz_CreateMaterial("paint", 1);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    bzLump *crate = Holding(root, MakeMaterialTriangles("crate", {red, red}));
    ASSERT_EQ(bz_Lump_SetMaterial(crate, paint), BZ_ERROR_NONE);
    bzLump *ghost = Holding(root, MakeMaterialTriangles("ghost", {red}));
    ghost->flags |= BZ_LUMP_TRANSIENT;
    bz_Lump_AppendChild(ghost, Holding(nullptr, MakeMaterialTriangles("under", {red})));

    ASSERT_EQ(bz_Lump_SaveCNT("lev/level", root, 1), 0) << bzgLastError;
    EXPECT_TRUE(std::filesystem::exists("lev/level.CNT"));
    EXPECT_TRUE(std::filesystem::exists("lev/crate.MDL"));
    EXPECT_TRUE(std::filesystem::exists("lev/red.MTL"));
    EXPECT_TRUE(std::filesystem::exists("lev/paint.MTL"));
    EXPECT_FALSE(std::filesystem::exists("lev/ghost.MDL"));
    EXPECT_FALSE(std::filesystem::exists("lev/under.MDL"));

    // Read fresh from the files written.
    bzgLoadFlags |= BZ_LOADFLAG_FRESH_MODELS;
    bzLump *back = bz_Lump_LoadCNT("lev/level");
    ASSERT_NE(back, nullptr) << bzgLastError;
    ASSERT_EQ(bz_Lump_CountChildren(back), 1);
    bzModel *model = bz_Lump_GetModel(bz_Lump_GetChild(back, 0));
    ASSERT_NE(model, nullptr);
    EXPECT_NE(model, bz_Lump_GetModel(crate));
    EXPECT_STREQ(model->name, "crate");
    ASSERT_NE(model->part, nullptr);
    EXPECT_EQ(model->part->faceCount, 2);
    bz_Lump_DestroyTree(back);

    // The direct calls: a folder without its separator gets one; a model that cannot be written
    // is reported after the others are written.
    EXPECT_EQ(bz_Lump_SaveResources("lev", crate), 0);
    EXPECT_EQ(bz_Lump_SaveResources("no_such_folder", crate), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_Lump_SaveResources("lev", nullptr), BZ_ERROR_INVALID_PARAMETER);

    bz_Lump_DestroyTree(root);
    bz_ReleaseMaterial(red);
    bz_ReleaseMaterial(paint);
}
} // namespace
