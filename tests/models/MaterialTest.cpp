#include "models/Material.h"

#include "ModelsTestSupport.h"
#include "models/ImgFill.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{
using MaterialTest = ModelsTest;

TEST_F(MaterialTest, ANewMaterialHasItsDefaults)
{
    bzMaterial *m = bz_CreateMaterial("plain", 1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->flags, 0x0006000Au);
    EXPECT_EQ(m->specular, 0xBFFC);
    EXPECT_EQ(m->red, 1.0f);
    EXPECT_EQ(m->green, 1.0f);
    EXPECT_EQ(m->blue, 1.0f);
    ASSERT_EQ(m->layerCount, 1);
    EXPECT_EQ(m->layers[0].alpha, 1.0f);
    EXPECT_EQ(m->layers[0].addressU, 1);
    EXPECT_EQ(m->layers[0].addressV, 1);
    EXPECT_EQ(m->layers[0].flags, 0x60);
    EXPECT_EQ(m->activeLayers, 1);
    EXPECT_EQ(m->vertexFormat, 0x284u);
    EXPECT_EQ(m->refCount, 1);
    const bzMemDeviceCall *setup = bz_MemDevice_LastCall(65);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->args[0], reinterpret_cast<uintptr_t>(m));
    EXPECT_EQ(static_cast<int64_t>(setup->args[1]), -17);
    bz_ReleaseMaterial(m);
}

TEST_F(MaterialTest, TheMaterialFolderIsKeptWithABackslash)
{
    char old[BZ_MATERIAL_FOLDER_SIZE];
    bz_SetMaterialFolder(nullptr, "data\\Textures");
    EXPECT_STREQ(bzgMaterial_folder, "data\\Textures\\");
    EXPECT_STREQ(MaterialFolderPath("Props\\Chair"), "data\\Textures\\Chair");
    bz_SetMaterialFolder(old, nullptr);
    EXPECT_STREQ(old, "data\\Textures\\");
    EXPECT_STREQ(bzgMaterial_folder, "");
    EXPECT_EQ(MaterialFolderPath("Chair"), nullptr);
}

TEST_F(MaterialTest, TheDefaultMaterialIsGrey)
{
    bzMaterial *m = bz_GetDefaultMaterial();
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->fullName, "Default");
    EXPECT_EQ(m->flags & 0x40000001u, 0x40000001u);
    EXPECT_FLOAT_EQ(m->red, 160.0f / 255.0f);
    EXPECT_FLOAT_EQ(m->blue, 160.0f / 255.0f);
    EXPECT_EQ(m->layers[0].alpha, 1.0f);
    EXPECT_EQ(bz_FindMaterial("default"), m);
    EXPECT_EQ(bz_MemDevice_CallCount(64), 1u); // the back end was told at the opening
}

TEST_F(MaterialTest, AColourWithAlphaBelowOneMakesABlendedMaterial)
{
    bzMaterial *m = bz_CreateMaterialWithColour("red", 0x80FF0000);
    EXPECT_EQ(m->red, 1.0f);
    EXPECT_EQ(m->green, 0.0f);
    EXPECT_EQ(m->blue, 0.0f);
    EXPECT_FLOAT_EQ(m->layers[0].alpha, 128.0f / 255.0f);
    EXPECT_NE(m->flags & BZ_MATERIAL_BLENDED, 0u);
    EXPECT_EQ(bz_SetMaterialColour(m, 0x12345678), 0);
    EXPECT_FLOAT_EQ(m->green, 0x56 / 255.0f);
    EXPECT_EQ(static_cast<int64_t>(bz_MemDevice_LastCall(65)->args[1]), 1);
    EXPECT_EQ(bz_SetMaterialColour(nullptr, 0), BZ_ERROR_NOT_A_MATERIAL);
    bz_ReleaseMaterial(m);
}

TEST_F(MaterialTest, UpdateClampsAlphaAndDerivesTheBlend)
{
    bzMaterial *m = bz_CreateMaterial("m", 1);
    bz_IMGMAP *withAlpha = bz_CreateImgMap("a", BZ_IMAGE_8888, 2, 2, 0);
    const struct
    {
        float alpha;
        uint8_t texCoordKind;
        uint8_t blendKind;
        bool image;
        float clamped;
        bool blended;
    } cases[] = {
        {1.5f, 0, 0, false, 1.0f, false}, {-0.2f, 0, 0, false, 0.0f, true},
        {0.5f, 9, 0, false, 0.5f, false}, {0.5f, 7, 0, false, 0.5f, false},
        {0.5f, 10, 3, true, 0.5f, false}, {1.0f, 0, 2, false, 1.0f, true},
        {1.0f, 0, 0, true, 1.0f, true},
    };
    for (const auto &c : cases)
    {
        bzMaterialLayer &layer = m->layers[0];
        layer.alpha = c.alpha;
        layer.texCoordKind = c.texCoordKind;
        layer.blendKind = c.blendKind;
        bz_SetMaterialLayerTexture(m, 0, c.image ? withAlpha : nullptr);
        bz_UpdateMaterial(m, 4);
        EXPECT_EQ(layer.alpha, c.clamped) << c.alpha;
        EXPECT_EQ((m->flags & BZ_MATERIAL_BLENDED) != 0, c.blended)
            << c.alpha << " " << int(c.texCoordKind);
    }
    // Always blended; additive kinds; lighting allowed sets the derived bit 0x4.
    m->layers[0].texCoordKind = 0;
    m->layers[0].alpha = 1.0f;
    bz_SetMaterialLayerTexture(m, 0, nullptr);
    m->flags = BZ_MATERIAL_ALWAYS_BLENDED;
    bz_UpdateMaterial(m, 4);
    EXPECT_NE(m->flags & BZ_MATERIAL_BLENDED, 0u);
    EXPECT_EQ(m->derivedFlags, 0u);
    m->flags = BZ_MATERIAL_LIGHTING;
    m->layers[0].texCoordKind = 4;
    bz_UpdateMaterial(m, 4);
    EXPECT_NE(m->flags & BZ_MATERIAL_ADDITIVE_LAYER, 0u);
    EXPECT_EQ(m->derivedFlags, BZ_MATDERIVED_EXTRA);
    m->layers[0].flags |= BZ_LAYER_OFF; // a disabled layer counts for nothing
    m->flags = 0;
    bz_UpdateMaterial(m, 4);
    EXPECT_EQ(m->activeLayers, 0);
    EXPECT_EQ(m->flags & BZ_MATERIAL_ADDITIVE_LAYER, 0u);
    bz_ReleaseMaterial(m);
    EXPECT_EQ(withAlpha->refCount, 1);
    bz_ReleaseImgMap(withAlpha);
}

TEST_F(MaterialTest, TexturedLayersSetTheVertexFormat)
{
    bzMaterial *m = bz_CreateMaterial("vf", 0);
    bz_IMGMAP *image = bz_CreateImgMap("t", BZ_IMAGE_565, 2, 2, 0);
    ASSERT_EQ(bz_ResizeMaterialLayers(m, 3), 0);
    bz_SetMaterialLayerTexture(m, 0, image);
    bz_SetMaterialLayerTexture(m, 1, image);
    EXPECT_EQ(m->vertexFormat, 0x4u + 0x2000 + 0x8000 + 0x280);
    // A new material allows lighting (flag 0x8), which sets the derived bit 0x4.
    EXPECT_EQ(m->derivedFlags, BZ_MATDERIVED_SET0 | BZ_MATDERIVED_SET1 | BZ_MATDERIVED_EXTRA);
    EXPECT_EQ(m->activeLayers, 3);
    EXPECT_EQ(m->lastActiveLayer, 2);
    m->layers[1].texCoordKind = 11; // generated coordinates use no set
    m->flags |= BZ_MATERIAL_VERTEX_COLOURS;
    bz_UpdateMaterial(m, 4);
    EXPECT_EQ(m->vertexFormat, 0x4u + 0x1000 + 0x8000 + 0x400 + 0x280);
    EXPECT_EQ(image->refCount, 3);
    bz_ReleaseMaterial(m);
    EXPECT_EQ(image->refCount, 1);
    bz_ReleaseImgMap(image);
}

TEST_F(MaterialTest, NamesAreFoundByShortNameAndByFullPath)
{
    bzMaterial *m = bz_CreateMaterial("Props\\Chair.MTL", 1);
    EXPECT_STREQ(m->fullName, "Props\\Chair");
    EXPECT_STREQ(m->shortName, "Chair");
    EXPECT_EQ(bz_FindMaterial("Chair"), m);
    EXPECT_EQ(bz_FindMaterial("chair"), m);
    EXPECT_EQ(bz_FindMaterial("props\\chair"), m);
    EXPECT_EQ(bz_FindMaterial("Chair.MTL"), nullptr);
    EXPECT_EQ(bz_FindMaterial("Other\\Chair"), nullptr);
    EXPECT_EQ(MaterialHasName(m, "CHAIR"), m);
    EXPECT_EQ(MaterialHasName(m, "props\\CHAIR"), m);
    EXPECT_EQ(MaterialHasName(m, "table"), nullptr);
    bz_ReleaseMaterial(m);
}

TEST_F(MaterialTest, LayersGrowWithAlternatingSetsAndShrinkReleasingImages)
{
    bzMaterial *m = bz_CreateMaterial("grow", 1);
    ASSERT_EQ(bz_ResizeMaterialLayers(m, 6), 0);
    ASSERT_EQ(m->layerCount, 6);
    const uint8_t sets[] = {0, 1, 0, 1, 0, 1};
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(m->layers[i].texCoordSet, sets[i]) << i;
        EXPECT_EQ(m->layers[i].alpha, 1.0f) << i;
        EXPECT_EQ(m->layers[i].addressU, 1) << i;
    }
    EXPECT_EQ(m->layers[0].flags, 0x60);
    bz_IMGMAP *image = bz_CreateImgMap("t", BZ_IMAGE_565, 2, 2, 0);
    bz_SetMaterialLayerTexture(m, 5, image);
    bz_SetMaterialLayerTexture(m, 6, image); // outside: ignored
    EXPECT_EQ(image->refCount, 2);
    const bzM23 transform = {{{1, 2}, {3, 4}, {5, 6}}};
    EXPECT_EQ(bz_SetMaterialTransformPtr(4, m, &transform), 0);
    ASSERT_NE(m->layers[4].transform, nullptr);
    EXPECT_EQ(std::memcmp(m->layers[4].transform, &transform, sizeof transform), 0);
    ASSERT_EQ(bz_ResizeMaterialLayers(m, 2), 0);
    EXPECT_EQ(image->refCount, 1);
    EXPECT_NE(bz_GetMaterialLayer(m, 7), nullptr); // grows to 8
    EXPECT_EQ(m->layerCount, 8);
    EXPECT_EQ(bz_GetMaterialLayer(nullptr, 0), nullptr);
    bz_ReleaseMaterial(m);
    bz_ReleaseImgMap(image);
}

TEST_F(MaterialTest, RawImagesOnlyGoToExistingLayers)
{
    bzMaterial *m = bz_CreateMaterial("raw", 1);
    bz_IMGMAP *image = bz_CreateImgMap("t", BZ_IMAGE_565, 2, 2, 0);
    EXPECT_EQ(bz_SetMaterialLayerImageRaw(m, 0, image, 0.25f), 0);
    EXPECT_EQ(m->layers[0].image, image);
    EXPECT_EQ(m->layers[0].alpha, 0.25f);
    EXPECT_EQ(image->refCount, 1); // not counted
    for (int32_t index : {1, 7, 8, -1})
        EXPECT_EQ(bz_SetMaterialLayerImageRaw(m, index, image, 1.0f), BZ_ERROR_INVALID_PARAMETER)
            << index;
    EXPECT_EQ(bz_SetMaterialLayerImageRaw(nullptr, 0, image, 1.0f), BZ_ERROR_INVALID_PARAMETER);
    m->layers[0].image = nullptr; // the raw pointer holds no reference to give back
    bz_ReleaseMaterial(m);
    bz_ReleaseImgMap(image);
}

TEST_F(MaterialTest, CountedReleasesAndTextureHandles)
{
    bz_IMGMAP *image = bz_CreateImgMap("tex", BZ_IMAGE_8888, 2, 2, 0);
    bzMaterial *m = bz_CreateMaterialFromTextureHandle(image);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->fullName, nullptr);
    EXPECT_EQ(m->layers[0].image, image);
    EXPECT_EQ(image->refCount, 2);
    EXPECT_NE(m->flags & BZ_MATERIAL_BLENDED, 0u); // the image has alpha
    bz_ReleaseImgMap(image);
    bz_AddRefMaterial(m);
    bz_ReleaseMaterial(m);
    EXPECT_EQ(bzgMaterial_count, 2);
    EXPECT_EQ(image->refCount, 1);
    bz_ReleaseMaterial(m);
    EXPECT_EQ(bzgMaterial_count, 1);
    EXPECT_EQ(bzgImage_count, 0);
    bz_ReleaseMaterial(nullptr);

    Put("wall.img", std::string("IMAGEMAP\x00\x01\x00\x00\x00\x00\x00\x00"
                                "\x00\x00\x00\x00\x01\x00\x01\x00"
                                "\xFF\x01\x02\x03",
                                28));
    m = bz_CreateMaterialFromImageName("wall");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->layers[0].image->refCount, 1);
    bz_ReleaseMaterial(m);
    EXPECT_EQ(bz_CreateMaterialFromImageName("nothing"), nullptr);
}

TEST_F(MaterialTest, CopiesAndDuplicatesOwnTheirLayers)
{
    bz_IMGMAP *image = bz_CreateImgMap("tex", BZ_IMAGE_8888, 2, 2, 0);
    bzMaterial *source = bz_CreateMaterial("Set\\Source", 0);
    bz_ResizeMaterialLayers(source, 2);
    bz_SetMaterialLayerTexture(source, 1, image);
    const bzM23 transform = {{{1, 0}, {0, 1}, {0.5f, 0.5f}}};
    bz_SetMaterialTransformPtr(1, source, &transform);
    source->red = 0.25f;
    source->materialWord = 77;

    bzMaterial *copy = bz_DuplicateMaterial(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->fullName, "Set\\Source");
    EXPECT_STREQ(copy->shortName, "Source");
    EXPECT_EQ(copy->refCount, 1);
    EXPECT_EQ(copy->red, 0.25f);
    EXPECT_EQ(copy->materialWord, 77u);
    ASSERT_EQ(copy->layerCount, 2);
    EXPECT_NE(copy->layers, source->layers);
    EXPECT_EQ(copy->layers[1].image, image);
    EXPECT_EQ(image->refCount, 3);
    ASSERT_NE(copy->layers[1].transform, nullptr);
    EXPECT_NE(copy->layers[1].transform, source->layers[1].transform);

    const char *name = "Other\\Place\\Name";
    EXPECT_EQ(bz_CopyMaterial(copy, source, name, name + 6), 0);
    EXPECT_STREQ(copy->fullName, "Other\\Place\\Name");
    EXPECT_STREQ(copy->shortName, "Place\\Name");
    EXPECT_EQ(image->refCount, 3);

    bz_ReleaseMaterial(source);
    bz_ReleaseMaterial(copy);
    EXPECT_EQ(image->refCount, 1);
    bz_ReleaseImgMap(image);
}

TEST_F(MaterialTest, SortingAndMovingKeepTheListWhole)
{
    bzMaterial *c = bz_CreateMaterial("c", 0);
    bzMaterial *a = bz_CreateMaterial("a", 0);
    bzMaterial *b1 = bz_CreateMaterial("b", 0);
    bzMaterial *b2 = bz_CreateMaterial("b", 0);
    bz_SortMaterials([](const bzMaterial *x, const bzMaterial *y) -> int32_t
                     { return std::strcmp(x->shortName, y->shortName); },
                     &bzgMaterial_list);
    // "Default" sorts first (upper case), equal names keep their order.
    const bzMaterial *order[] = {bzgMaterial_default, a, b1, b2, c};
    const bzMaterial *m = bzgMaterial_list;
    for (const bzMaterial *expected : order)
    {
        ASSERT_EQ(m, expected);
        m = m->next;
    }
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(bzgMaterial_list->prev, c);

    bzMaterial *first = nullptr;
    bz_MoveMaterialToListEnd(a, &first);
    bz_MoveMaterialToListEnd(bzgMaterial_default, &first);
    EXPECT_EQ(first, a);
    EXPECT_EQ(bzgMaterial_list, b1);
    EXPECT_EQ(bzgMaterial_list->prev, bzgMaterial_default);
    EXPECT_EQ(a->next, bzgMaterial_default);

    bz_IMGMAP *i1 = bz_CreateImgMap("i1", BZ_IMAGE_565, 1, 1, 0);
    bz_IMGMAP *i2 = bz_CreateImgMap("i2", BZ_IMAGE_565, 1, 1, 0);
    bz_IMGMAP *i3 = bz_CreateImgMap("i3", BZ_IMAGE_565, 1, 1, 0);
    bz_SetMaterialLayerTexture(b2, 0, i1);
    int32_t count = -1;
    bz_MoveMaterialImagesToListEnd(b2, 0, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(bzgImage_list, i2);
    EXPECT_EQ(i3->next, i1);
    for (bzMaterial *x : {a, b1, b2, c})
        bz_ReleaseMaterial(x);
    for (bz_IMGMAP *x : {i1, i2, i3})
        bz_ReleaseImgMap(x);
}
} // namespace

namespace
{
// What a listing wrote to the debug stream.
template <typename Fn> std::string DebugTextOf(Fn fn)
{
    bz_DebugOutput_CloseDefault();
    std::remove("MOTHER.TXT");
    fn();
    bz_DebugOutput_CloseDefault();
    return ReadWholeFile("MOTHER.TXT");
}

TEST_F(MaterialTest, ListingsNameEveryMaterialAndEveryImageLeft)
{
    bzMaterial *named = bz_CreateMaterial("data\\stone", 1);
    bzMaterial *unnamed = bz_CreateMaterial(nullptr, 1);
    const std::string materials = DebugTextOf([] { bz_ListMaterials(); });
    EXPECT_NE(materials.find("Materials::"), std::string::npos) << materials;
    EXPECT_NE(materials.find("   Default"), std::string::npos) << materials;
    EXPECT_NE(materials.find("   data\\stone"), std::string::npos) << materials;
    EXPECT_NE(materials.find("   no name availble"), std::string::npos) << materials;
    bz_ReleaseMaterial(named);
    bz_ReleaseMaterial(unnamed);

    bz_IMGMAP *image = bz_MakeColourImgMap("leftover", BZ_IMAGE_888, 4, 0xFFFFFFFF);
    const std::string images = DebugTextOf([] { bz_CheckImgMapsReleased(); });
    EXPECT_NE(images.find("ImageMaps::Not all image maps were deleted. bzgImage_count == 1"),
              std::string::npos)
        << images;
    EXPECT_NE(images.find("Image map not deleted, name[leftover]."), std::string::npos) << images;
    bz_ReleaseImgMap(image);
    // Nothing left: nothing to say.
    EXPECT_EQ(DebugTextOf([] { bz_CheckImgMapsReleased(); }).find("Not all"), std::string::npos);
}
} // namespace
