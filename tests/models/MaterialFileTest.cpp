#include "models/MaterialFile.h"

#include "ImgFileWriter.h"
#include "ModelsTestSupport.h"

#include <cstring>
#include <string>

namespace
{
struct LayerSpec
{
    std::string texture;
    uint32_t blendKind = 0;
    float alpha = 1.0f;
    uint32_t texCoordKind = 0;
    float effect1 = 0.0f, scrollU = 0.0f, scrollV = 0.0f;
    uint8_t addressU = 1, addressV = 1, set = 0, effect2 = 0, effect3 = 0, flags = 0;
};

// A layer record of 62 (version 0x0405 on), 48 (0x0403, 0x0404), 47 (0x0400, 0x0401) or 44
// (0x0302) bytes.
std::string LayerRecord(const LayerSpec &l, int size = 62)
{
    ByteWriter w;
    w.Name(l.texture, 32).U32(l.blendKind).F32(l.alpha).U32(l.texCoordKind);
    if (size == 44)
        return w.bytes;
    if (size == 62)
        w.F32(l.effect1).F32(l.scrollU).F32(l.scrollV);
    w.U8(l.addressU).U8(l.addressV).U8(l.set);
    if (size == 62)
        w.U8(l.effect2).U8(l.effect3).U8(l.flags);
    else if (size == 48)
        w.U8(l.flags);
    return w.bytes;
}

// The fields after the layer records of versions 0x0405-0x0407.
std::string Tail(uint16_t version, uint32_t fileFlags, float effect = 0.75f)
{
    ByteWriter w;
    w.U32(0xAABBCCDD).F32(0.5f).U8(9).U16(0x1234).U32(fileFlags);
    w.F32(effect).F32(0.25f).F32(1.0f); // effect terms
    w.F32(0.1f).F32(0.2f).F32(0.3f);    // colour
    w.F32(1).F32(2).F32(3).F32(4);      // extra terms
    w.U32(0x11111111);                  // further word 1
    if (version != 0x0405)
        w.U32(0x22222222); // further word 2
    return w.bytes;
}

std::string MaterialFile(uint16_t version, const std::vector<LayerSpec> &layers,
                         uint32_t fileFlags = 0x4, uint32_t count = UINT32_MAX)
{
    ByteWriter w;
    w.U16(version).U32(count == UINT32_MAX ? static_cast<uint32_t>(layers.size()) : count);
    for (const LayerSpec &l : layers)
        w.Raw(LayerRecord(l));
    w.Raw(Tail(version, fileFlags));
    return w.bytes;
}

std::string SolidImg()
{
    ImgFileLayout layout;
    layout.data = RawARGB({0xFF808080});
    return BuildImgFile(layout);
}

using MaterialFileTest = ModelsTest;

TEST_F(MaterialFileTest, ATwoLayerMaterialSavesIn193BytesAndReloadsWithOneLayer)
{
    Put("wall.img", SolidImg());
    bzMaterial *m = bz_CreateMaterial("pair", 0);
    ASSERT_EQ(bz_ResizeMaterialLayers(m, 2), 0);
    bz_IMGMAP *wall = bz_GetImgMap("wall");
    bz_SetMaterialLayerTexture(m, 0, wall);
    bz_ReleaseImgMap(wall);
    bzMaterialLayer &l = m->layers[0];
    l.blendKind = 3;
    l.alpha = 0.5f;
    l.texCoordKind = 8;
    l.effect[0] = 1.5f;
    l.effect[1] = 6.9f;
    l.effect[2] = 2.0f;
    l.scrollU = 0.125f;
    l.scrollV = -2.0f;
    l.addressU = 2;
    l.addressV = 4;
    l.flags = BZ_LAYER_FIRST | BZ_LAYER_FILE_BIT0 | BZ_LAYER_FILE_BIT1 | BZ_LAYER_SCROLLING;
    m->layers[1].flags = BZ_LAYER_OFF; // runtime state: not a bit of the file
    m->materialWord = 0x01020304;
    m->lighting = 0.75f;
    m->materialByte = 7;
    m->specular = 0x4321;
    m->flags = 0x00000002 | 0x00000010 | 0x00040000;
    m->effectTerms[1] = 0.5f;
    m->red = 0.25f;
    m->extraTerms[3] = 9.0f;
    m->furtherWord1 = 5;
    m->furtherWord2 = 6;
    EXPECT_EQ(bz_SaveMaterial("pair.MTL", m), 0);
    bz_ReleaseMaterial(m);

    const std::string bytes = ReadWholeFile("pair.MTL");
    ASSERT_EQ(bytes.size(), 193u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\x07\x04\x02\x00\x00\x00", 6));
    EXPECT_EQ(bytes.substr(6, 5), std::string("wall\0", 5));
    EXPECT_EQ(bytes.substr(6 + 56, 6), std::string("\x02\x04\x00\x06\x02\x07", 6));
    EXPECT_EQ(bytes.substr(6 + 62, 32), std::string(32, '\0')); // no texture
    EXPECT_EQ(bytes[6 + 62 + 61], '\0');
    EXPECT_EQ(bytes.substr(6 + 124, 4), std::string("\x04\x03\x02\x01", 4));
    // The flag word in its file layout: 0x4, 0x10, 0x20000000.
    EXPECT_EQ(bytes.substr(6 + 124 + 11, 4), std::string("\x14\x00\x00\x20", 4));

    bzMaterial *back = bz_LoadMaterial("pair");
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->fullName, "pair");
    ASSERT_EQ(back->layerCount, 1); // the trailing layer without image is dropped
    const bzMaterialLayer &b = back->layers[0];
    ASSERT_NE(b.image, nullptr);
    EXPECT_STREQ(b.image->name, "wall");
    EXPECT_EQ(b.blendKind, 3);
    EXPECT_EQ(b.alpha, 0.5f);
    EXPECT_EQ(b.texCoordKind, 8);
    EXPECT_EQ(b.effect[0], 1.5f);
    EXPECT_EQ(b.effect[1], 6.0f);
    EXPECT_EQ(b.effect[2], 2.0f);
    EXPECT_EQ(b.scrollU, 0.125f);
    EXPECT_EQ(b.scrollV, -2.0f);
    EXPECT_EQ(b.addressU, 2);
    EXPECT_EQ(b.addressV, 4);
    EXPECT_EQ(b.flags,
              BZ_LAYER_FIRST | BZ_LAYER_FILE_BIT0 | BZ_LAYER_FILE_BIT1 | BZ_LAYER_SCROLLING);
    EXPECT_EQ(back->materialWord, 0x01020304u);
    EXPECT_EQ(back->lighting, 0.75f);
    EXPECT_EQ(back->materialByte, 7);
    EXPECT_EQ(back->specular, 0x4321);
    EXPECT_EQ(back->flags & 0x00FFFFFFu, 0x00000002u | 0x00000010 | 0x00040000);
    EXPECT_EQ(back->effectTerms[1], 0.5f);
    EXPECT_EQ(back->red, 0.25f);
    EXPECT_EQ(back->extraTerms[3], 9.0f);
    EXPECT_EQ(back->furtherWord1, 5u);
    EXPECT_EQ(back->furtherWord2, 6u);
    bz_ReleaseMaterial(back);
}

TEST_F(MaterialFileTest, TheFlagTableMapsBothWays)
{
    const uint32_t table[][2] = {
        {0x00000001, 0x00000001}, {0x00000002, 0x00000080}, {0x00000004, 0x00000002},
        {0x00000008, 0x00080000}, {0x00000010, 0x00000010}, {0x00000020, 0x00100000},
        {0x00000040, 0x00002000}, {0x00000200, 0x00000200}, {0x00000400, 0x00000008},
        {0x00000800, 0x00000004}, {0x00010000, 0x00000100}, {0x00040000, 0x00000040},
        {0x00080000, 0x00004000}, {0x00800000, 0x00008000}, {0x02000000, 0x00010000},
        {0x10000000, 0x00020000}, {0x20000000, 0x00040000},
    };
    uint32_t allFile = 0, allMaterial = 0;
    for (const auto &row : table)
    {
        EXPECT_EQ(ConvertMaterialFileFlags(row[0]), row[1]) << std::hex << row[0];
        EXPECT_EQ(MaterialFlagsToFile(row[1]), row[0]) << std::hex << row[1];
        allFile |= row[0];
        allMaterial |= row[1];
    }
    EXPECT_EQ(ConvertMaterialFileFlags(allFile), allMaterial);
    EXPECT_EQ(MaterialFlagsToFile(allMaterial), allFile);
    // Other bits are dropped; 0x00100000 and 0x00008000 replace the low four material bits.
    EXPECT_EQ(ConvertMaterialFileFlags(0x00000100 | 0x40000000), 0u);
    EXPECT_EQ(ConvertMaterialFileFlags(0x00100000 | 0x1 | 0x4 | 0x400), 0x4u);
    EXPECT_EQ(ConvertMaterialFileFlags(0x00008000 | 0x800 | 0x10), 0x2u | 0x10);
    EXPECT_EQ(ConvertMaterialFileFlags(0x00108000), 0x4u);
    EXPECT_EQ(MaterialFlagsToFile(0x08000000 | 0x40000000 | 0x20000000), 0u);
}

TEST_F(MaterialFileTest, AnOlderFileIsConvertedAndRewrittenInTheCurrentVersion)
{
    LayerSpec layer;
    layer.addressU = 0; // outside 1..4
    layer.addressV = 5;
    const std::string old = MaterialFile(0x0405, {layer});
    ASSERT_EQ(old.size(), 127u);
    Put("old.MTL", old);
    bzMaterial *m = bz_LoadMaterial("old");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->layers[0].addressU, 1);
    EXPECT_EQ(m->layers[0].addressV, 1);
    EXPECT_EQ(m->effectTerms[0], 0.5f); // 0.75 in the old range
    EXPECT_EQ(m->effectTerms[1], 0.0f); // 0.25
    EXPECT_EQ(m->effectTerms[2], 1.0f);
    EXPECT_EQ(m->furtherWord1, 0x11111111u);
    EXPECT_EQ(m->furtherWord2, 0u);
    EXPECT_EQ(m->specular, 0x1234);
    const std::string now = ReadWholeFile("old.MTL");
    ASSERT_EQ(now.size(), 131u);
    EXPECT_EQ(now.substr(0, 2), std::string("\x07\x04", 2));
    bz_ReleaseMaterial(m);

    // Read back as current, the same material comes out.
    bzgLoadFlags = BZ_LOADFLAG_FRESH_MATERIALS;
    m = bz_LoadMaterial("old");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->effectTerms[0], 0.5f);
    EXPECT_EQ(m->furtherWord1, 0x11111111u);
    bz_ReleaseMaterial(m);

    // A rewrite that cannot be made leaves the old file and still gives the material.
    Put("locked.MTL", old);
    {
        static bzFileHandle *(*open)(const char *, const char *);
        bzFileIOHandlers saved;
        bz_FileIO_GetHandlers(&saved);
        open = saved.open;
        bzFileIOHandlers hooks = {};
        hooks.open = [](const char *name, const char *mode) -> bzFileHandle *
        { return mode[0] == 'w' ? nullptr : open(name, mode); };
        bz_FileIO_SetHandlers(&hooks);
        m = bz_LoadMaterial("locked");
        bz_FileIO_SetHandlers(&saved);
    }
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->effectTerms[0], 0.5f);
    EXPECT_EQ(ReadWholeFile("locked.MTL"), old);
    bz_ReleaseMaterial(m);

    // With conversion blocked, the file stays as it was.
    Put("kept.MTL", old);
    bzgModelLoadOptions = BZ_MODELOPT_NO_MATERIAL_CONVERSION;
    m = bz_LoadMaterial("kept");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ReadWholeFile("kept.MTL"), old);
    bz_ReleaseMaterial(m);
}

TEST_F(MaterialFileTest, OlderLayoutsAreReadByTheirOwnBranch)
{
    Put("wall.img", SolidImg());
    LayerSpec l;
    l.texture = "wall";
    l.blendKind = 2;
    l.alpha = 0.5f;
    l.texCoordKind = 6;
    l.addressU = 2;
    l.addressV = 3;
    l.set = 1;
    l.flags = 0x01;

    {
        ByteWriter w; // 0x0404: 48-byte layers, no specular term
        w.U16(0x0404).U32(1).Raw(LayerRecord(l, 48));
        w.U32(7).F32(0.5f).U8(3).U32(0x4).F32(1).F32(1).F32(1).F32(0.1f).F32(0.2f).F32(0.3f);
        w.F32(1).F32(2).F32(3).F32(4).U32(99);
        Put("v404.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v404");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->materialWord, 7u);
        EXPECT_EQ(m->materialByte, 3);
        EXPECT_EQ(m->specular, 0xBFFC);
        EXPECT_EQ(m->layers[0].flags & BZ_LAYER_FILE_BIT0, BZ_LAYER_FILE_BIT0);
        EXPECT_EQ(m->layers[0].addressV, 3);
        EXPECT_EQ(m->extraTerms[3], 4.0f);
        EXPECT_EQ(m->furtherWord1, 99u);
        bz_ReleaseMaterial(m);
    }
    {
        // 0x0406: the current layout with the effect terms in the old range.
        Put("v406.MTL", MaterialFile(0x0406, {l}));
        bzMaterial *m = bz_LoadMaterial("v406");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->effectTerms[0], 0.5f);
        EXPECT_EQ(m->furtherWord2, 0x22222222u);
        EXPECT_EQ(m->layers[0].texCoordKind, 6); // only the oldest layout renames kind 6
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0402: as 0x0403 without the material word
        w.U16(0x0402).U32(1).Raw(LayerRecord(l, 48));
        w.F32(0.5f).U8(3).U32(0x4).F32(1).F32(1).F32(1).F32(0.1f).F32(0.2f).F32(0.3f);
        w.F32(1).F32(2).F32(3).F32(4).U32(94);
        Put("v402.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v402");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->materialWord, 0u);
        EXPECT_EQ(m->lighting, 0.5f);
        EXPECT_EQ(m->furtherWord1, 94u);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0400: 47-byte layers, no extra terms
        w.U16(0x0400).U32(1).Raw(LayerRecord(l, 47));
        w.U32(0x4).F32(0.5f).F32(0.5f).F32(0.5f).F32(0.1f).F32(0.2f).F32(0.3f).U32(93);
        Put("v400.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v400");
        ASSERT_NE(m, nullptr);
        EXPECT_FLOAT_EQ(m->blue, 0.3f);
        EXPECT_EQ(m->extraTerms[0], 0.0f);
        EXPECT_EQ(m->furtherWord1, 93u);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0401: 47-byte layers, lighting 1.0
        w.U16(0x0401).U32(1).Raw(LayerRecord(l, 47));
        w.U32(0x4).F32(0.5f).F32(0.5f).F32(0.5f).F32(0.1f).F32(0.2f).F32(0.3f);
        w.F32(1).F32(2).F32(3).F32(4).U32(98);
        Put("v401.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v401");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->lighting, 1.0f);
        EXPECT_EQ(m->layers[0].flags & BZ_LAYER_FILE_BIT0, 0);
        EXPECT_EQ(m->furtherWord1, 98u);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0302: 44-byte layers; kind 6 becomes 0 with set 1
        w.U16(0x0302).U32(1).Raw(LayerRecord(l, 44));
        w.U32(0x4).F32(0.5f).F32(0.5f).F32(0.5f).F32(0.1f).F32(0.2f).F32(0.3f).U32(97);
        Put("v302.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v302");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->layers[0].texCoordKind, 0);
        EXPECT_EQ(m->layers[0].texCoordSet, 1);
        EXPECT_EQ(m->layers[0].addressU, 1);
        EXPECT_EQ(m->layers[0].blendKind, 2);
        EXPECT_EQ(m->furtherWord1, 97u);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0301: three layers, percent terms
        w.U16(0x0301).Name("wall", 32).Name("", 32).Name("wall", 32).U32(0x4);
        w.U32(3).F32(0.5f).U32(1);
        w.U32(0xFF).F32(0.25f).U32(2);
        w.U32(5).F32(1.0f).U32(7);
        w.U8(0).U8(0).U8(0).U8(0).U8(0).U8(0).U32(92);
        Put("v301.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v301");
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->layerCount, 3);
        EXPECT_EQ(m->layers[0].blendKind, 3); // kept as read
        EXPECT_EQ(m->layers[1].blendKind, 0);
        EXPECT_EQ(m->layers[1].texCoordKind, 3);
        EXPECT_EQ(m->layers[2].blendKind, 5);
        EXPECT_EQ(m->layers[2].texCoordKind, 7);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0300: three layers, percent terms, alpha sources renumbered
        w.U16(0x0300).Name("wall", 32).Name("", 32).Name("", 32).U32(0x4);
        w.U32(0xFF).F32(0.5f).U32(1);
        w.U32(3).F32(0.25f).U32(2);
        w.U32(5).F32(1.0f).U32(7);
        w.U8(100).U8(50).U8(0).U8(10).U8(20).U8(30).U32(96);
        // Layers 1 and 2: alpha sources 3 and 5 become 2 and 4 (seen before the trailing trim
        // through a texture on the last layer).
        w.bytes.replace(2 + 64, 4, "wall");
        Put("v300.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v300");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->layers[0].blendKind, 0); // 0xFF: none, kind 3
        EXPECT_EQ(m->layers[0].texCoordKind, 3);
        EXPECT_EQ(m->effectTerms[0], 1.0f);
        EXPECT_EQ(m->effectTerms[1], 0.0f);
        EXPECT_FLOAT_EQ(m->red, 0.1f);
        ASSERT_EQ(m->layerCount, 3);
        EXPECT_EQ(m->layers[1].blendKind, 2);
        EXPECT_EQ(m->layers[2].blendKind, 4);
        EXPECT_EQ(m->furtherWord1, 96u);
        bz_ReleaseMaterial(m);
    }
    {
        ByteWriter w; // 0x0203: 66 bytes
        w.U16(0x0203).Name("wall", 16).Name("wall", 16).U32(0).U32(1).U32(4).U32(5);
        w.U8(100).U8(0).U8(0).U8(100).U8(100).U8(100).Name("", 5).U8(50).U32(95);
        ASSERT_EQ(w.bytes.size(), 66u);
        Put("v203.MTL", w.bytes);
        bzMaterial *m = bz_LoadMaterial("v203");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->flags & 0x7, 0x2u);
        ASSERT_EQ(m->layerCount, 2);
        EXPECT_EQ(m->layers[1].blendKind, 1);
        EXPECT_EQ(m->layers[1].alpha, 0.5f);
        EXPECT_EQ(m->layers[1].texCoordKind, 5);
        EXPECT_EQ(m->furtherWord1, 95u);
        bz_ReleaseMaterial(m);
    }
}

TEST_F(MaterialFileTest, BadFilesAreRefusedAndNeverOverwritten)
{
    LayerSpec plain;
    struct Case
    {
        const char *what;
        std::string bytes;
        bzErrorCode code;
    };
    const std::vector<Case> cases = {
        {"a version no branch reads", MaterialFile(0x0100, {plain}), BZ_ERROR_BAD_DATA_FORMAT},
        {"another unread version", MaterialFile(0x0303, {plain}), BZ_ERROR_BAD_DATA_FORMAT},
        {"a newer version", MaterialFile(0x0408, {plain}), BZ_ERROR_INVALID_PARAMETER},
        {"no layers", MaterialFile(0x0405, {}, 4, 0), BZ_ERROR_BAD_DATA_FORMAT},
        {"a thousand layers", MaterialFile(0x0405, {plain}, 4, 1000), BZ_ERROR_BAD_DATA_FORMAT},
        {"more layers than the file", MaterialFile(0x0405, {plain}, 4, 3),
         BZ_ERROR_BAD_DATA_FORMAT},
        {"empty", std::string(), BZ_ERROR_BAD_DATA_FORMAT},
        {"one byte", std::string("\x05", 1), BZ_ERROR_BAD_DATA_FORMAT},
    };
    for (const Case &c : cases)
    {
        Put("bad.MTL", c.bytes);
        bzgLastError = 0;
        EXPECT_EQ(bz_LoadMaterial("bad"), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, c.code) << c.what;
        EXPECT_EQ(ReadWholeFile("bad.MTL"), c.bytes) << c.what;
        EXPECT_EQ(bzgMaterial_count, 1) << c.what; // "Default" alone
        EXPECT_EQ(OpenFiles(), 0) << c.what;
    }
}

TEST_F(MaterialFileTest, EveryTruncationIsRefusedAndNothingIsRewritten)
{
    Put("wall.img", SolidImg());
    LayerSpec l;
    l.texture = "wall";
    for (uint16_t version : {uint16_t(0x0407), uint16_t(0x0405)})
    {
        const std::string whole = MaterialFile(version, {l, l});
        for (size_t length = 0; length < whole.size(); ++length)
        {
            const std::string cut = whole.substr(0, length);
            Put("cut.MTL", cut);
            bzgLastError = 0;
            EXPECT_EQ(bz_LoadMaterial("cut"), nullptr) << version << " " << length;
            EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << length;
            EXPECT_EQ(ReadWholeFile("cut.MTL"), cut) << length;
            EXPECT_EQ(bzgImage_count, 0) << length;
        }
    }
}

TEST_F(MaterialFileTest, TenLayerRecordsKeepEightLayers)
{
    Put("wall.img", SolidImg());
    std::vector<LayerSpec> layers(10);
    layers[0].texture = "wall";
    layers[8].texture = "wall"; // the ninth and tenth are read over
    layers[9].texture = "wall";
    layers[8].alpha = 0.5f;
    Put("ten.MTL", MaterialFile(0x0407, layers));
    bzMaterial *m = bz_LoadMaterial("ten");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->layerCount, 1);
    EXPECT_EQ(m->furtherWord2, 0x22222222u); // the tail was found past all ten records
    EXPECT_EQ(bzgImage_list->refCount, 1);
    bz_ReleaseMaterial(m);
}

TEST_F(MaterialFileTest, SharingByNameFoldersAndHooks)
{
    Put("shared.MTL", MaterialFile(0x0407, {LayerSpec{}}));
    bzMaterial *a = bz_LoadMaterial("shared");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(bz_LoadMaterial("SHARED.mtl"), a);
    EXPECT_EQ(a->refCount, 2);
    a->flags |= BZ_MATERIAL_NEVER_SHARED;
    bzMaterial *b = bz_LoadMaterial("shared");
    EXPECT_NE(b, a);
    a->flags &= ~BZ_MATERIAL_NEVER_SHARED;
    bzgLoadFlags = BZ_LOADFLAG_FRESH_MATERIALS;
    bzMaterial *c = bz_LoadMaterial("shared");
    EXPECT_NE(c, a);
    bzgLoadFlags = 0;
    for (bzMaterial *m : {a, a, b, c})
        bz_ReleaseMaterial(m);

    bz_SetMaterialFolder(nullptr, "Mats");
    Put("Mats/chair.MTL", MaterialFile(0x0407, {LayerSpec{}}));
    bzMaterial *chair = bz_LoadMaterial("Props\\chair.MTL");
    ASSERT_NE(chair, nullptr);
    EXPECT_STREQ(chair->fullName, "Mats\\chair");
    EXPECT_NE(chair->flags & BZ_MATERIAL_FROM_FOLDER, 0u);
    EXPECT_EQ(bz_LoadMaterial("chair"), chair);
    bz_ReleaseMaterial(chair);
    bz_ReleaseMaterial(chair);

    static bzMaterial *stand;
    stand = bz_CreateMaterial("stand-in", 1);
    bzgMaterial_missingHook = [](const char *name) -> bzMaterial *
    { return std::strcmp(name, "nothing.MTL") == 0 ? bz_AddRefMaterial(stand) : nullptr; };
    EXPECT_EQ(bz_LoadMaterial("nothing"), stand);
    bz_ReleaseMaterial(stand);
    bz_ReleaseMaterial(stand);
    bz_SetMaterialFolder(nullptr, nullptr);
}

TEST_F(MaterialFileTest, SavingRefusesTheDefaultAndReportsAFileThatCannotBeMade)
{
    EXPECT_EQ(bz_SaveMaterial("default", bz_GetDefaultMaterial()), BZ_ERROR_INVALID_MATERIAL);
    EXPECT_EQ(bz_SaveMaterial("x", nullptr), BZ_ERROR_NOT_A_MATERIAL);
    bzMaterial *m = bz_CreateMaterial("m", 1);
    EXPECT_EQ(bz_SaveMaterial("no_such_folder\\m", m), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_SaveMaterial("named.old", m), 0); // the extension is replaced
    EXPECT_EQ(ReadWholeFile("named.MTL").size(), 131u);
    bz_ReleaseMaterial(m);
}
} // namespace
