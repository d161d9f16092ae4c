// The OpenGL renderer table and the back end's pixel work that needs
// no display: conversion to 8-bit red, green, blue and alpha, the mip-map filters, S3TC
// decoding and the pixel and palette slots.
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlImage.h"
#include "backends/gl/GlRenderer.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "support/TestSupport.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const char *Marker()
{
    return "marker";
}

TEST(GlRendererTable, FillsEverySlotButTheThreeNullOnesAndSharesOneEmptyFunction)
{
    PDRenderFunctionTable table = {};
    PDInstallGLRenderer(&table);
    void *slots[106];
    static_assert(sizeof slots == sizeof table);
    std::memcpy(slots, &table, sizeof slots);
    for (int i = 0; i < 106; ++i)
    {
        SCOPED_TRACE(i);
        if (i == 16 || i == 81 || i == 93)
            EXPECT_EQ(slots[i], nullptr);
        else
            EXPECT_NE(slots[i], nullptr);
    }
    EXPECT_EQ(slots[22], slots[23]);
    EXPECT_EQ(slots[23], slots[24]);
    EXPECT_STREQ(table.PDGetDriverName(), "OpenGL");
    EXPECT_EQ(table.PDRefreshImgMapPixels(nullptr), 0);
    EXPECT_EQ(table.PDGetTextureMemory(), 0u);

    // The slots it does not write keep what they held.
    PDRenderFunctionTable held = {};
    std::memset(&held, 0, sizeof held);
    auto marker = reinterpret_cast<PDGenericSlot>(&Marker);
    held.PDMakeImgMapMipMaps = marker;
    held.PDReserved81 = marker;
    held.PDDrawIndexedOnce = marker;
    PDInstallGLRenderer(&held);
    EXPECT_EQ(held.PDMakeImgMapMipMaps, marker);
    EXPECT_EQ(held.PDReserved81, marker);
    EXPECT_EQ(held.PDDrawIndexedOnce, marker);

    uint32_t colour = 0x11223344;
    table.PDSwapColourBytes(&colour);
    EXPECT_EQ(colour, 0x11443322u);
}

// An image of one format with its own pixel copy; freed with the back end's free slot.
struct TestImage
{
    bz_IMGMAP image{};
    TestImage(uint8_t format, int16_t width, int16_t height)
    {
        image.width = width;
        image.height = height;
        image.format = format;
        EXPECT_EQ(OGL_LockImgMap(&image, BZ_LOCK_WRITE), 0);
    }
    ~TestImage() { OGL_FreeImgMapTexture(&image); }
    std::array<uint8_t, 4> Converted(uint32_t *internal, int32_t pixel = 0)
    {
        std::vector<uint8_t> block(size_t(image.width) * image.height * 4);
        EXPECT_EQ(OGL_ConvertImgMapPixels(&image, block.data(), internal), 0);
        return {block[pixel * 4], block[pixel * 4 + 1], block[pixel * 4 + 2], block[pixel * 4 + 3]};
    }
};

TEST(GlConvert, EveryImageFormatToRedGreenBlueAlpha)
{
    struct Case
    {
        uint8_t format;
        std::vector<uint8_t> bytes; // the first pixel's bytes in the image's copy
        std::array<uint8_t, 4> rgba;
        uint32_t internal;
    };
    const Case cases[] = {
        {BZ_IMAGE_888, {0x10, 0x20, 0x30, 0x99}, {0x30, 0x20, 0x10, 255}, GL_RGBA8},
        {BZ_IMAGE_8888, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10, 0x40}, GL_RGBA8},
        // 565 0xF81F: red 31, green 0, blue 31, each field times 8 (times 4 for green).
        {BZ_IMAGE_565, {0x1F, 0xF8}, {248, 0, 248, 255}, GL_RGB5},
        {BZ_IMAGE_565, {0xE0, 0x07}, {0, 252, 0, 255}, GL_RGB5},
        // 4444 0x8F3A: alpha 8, red 15, green 3, blue 10, each times 17.
        {BZ_IMAGE_4444, {0x3A, 0x8F}, {255, 51, 170, 136}, GL_RGBA4},
        // 1555 0x801F: alpha on, blue 31; 0x7C00: alpha off, red 31.
        {BZ_IMAGE_1555, {0x1F, 0x80}, {0, 0, 248, 255}, GL_RGB5_A1},
        {BZ_IMAGE_1555, {0x00, 0x7C}, {248, 0, 0, 0}, GL_RGB5_A1},
        {BZ_IMAGE_ALPHA, {0x7B}, {0x7B, 0, 0, 0}, GL_ALPHA},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(int(c.format));
        TestImage t(c.format, 2, 2);
        std::memcpy(t.image.pixels, c.bytes.data(), c.bytes.size());
        uint32_t internal = 0;
        const auto rgba = t.Converted(&internal);
        if (c.format == BZ_IMAGE_ALPHA)
            EXPECT_EQ(rgba[0], c.rgba[0]);
        else
            EXPECT_EQ(rgba, c.rgba);
        EXPECT_EQ(internal, c.internal);
    }
}

TEST(GlConvert, PaletteImagesReadTheirPaletteAndTheColourKey)
{
    const uint32_t palette[2] = {0x00112233, 0x00445566};
    TestImage clut4(BZ_IMAGE_CLUT4, 2, 2);
    clut4.image.flags |= BZ_IMGMAP_ONE_BIT_ALPHA;
    ASSERT_EQ(OGL_SetImgMapPalette(&clut4.image, palette, 2), 0);
    clut4.image.pixels[0] = 0x01; // x 0 index 0 (high nibble), x 1 index 1
    uint32_t internal = 0;
    EXPECT_EQ(clut4.Converted(&internal, 0), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(clut4.Converted(&internal, 1), (std::array<uint8_t, 4>{0x44, 0x55, 0x66, 255}));
    EXPECT_EQ(internal, uint32_t{GL_RGB5_A1});

    TestImage clut8(BZ_IMAGE_CLUT8, 2, 2);
    clut8.image.textureFlags |= BZ_IMGTEX_KEEP_8BIT;
    ASSERT_EQ(OGL_SetImgMapPalette(&clut8.image, palette, 2), 0);
    clut8.image.pixels[0] = 0;
    EXPECT_EQ(clut8.Converted(&internal), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 255}));
    EXPECT_EQ(internal, uint32_t{GL_RGBA});
}

TEST(GlConvert, ASixteenEntryPaletteLeavesTheOtherIndicesWhite)
{
    std::vector<uint32_t> sixteen(16, 0x00102030);
    TestImage t(BZ_IMAGE_CLUT8, 2, 2);
    ASSERT_EQ(OGL_SetImgMapPalette(&t.image, sixteen.data(), 16), 0);
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 1, 0, 255), 0);
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 0, 1, 15), 0);
    uint32_t internal = 0;
    EXPECT_EQ(t.Converted(&internal, 1), (std::array<uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(t.Converted(&internal, 2), (std::array<uint8_t, 4>{0x10, 0x20, 0x30, 255}));
    // A second palette reuses the copy (the leak checker sees any lost one).
    ASSERT_EQ(OGL_SetImgMapPalette(&t.image, sixteen.data(), 2), 0);
    EXPECT_EQ(t.Converted(&internal, 2), (std::array<uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(OGL_SetImgMapPalette(&t.image, nullptr, 4), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OGL_SetImgMapPalette(&t.image, sixteen.data(), 257), BZ_ERROR_INVALID_PARAMETER);
}

TEST(GlConvert, CompressionPicksTheS3tcFormatsUnlessTheImageForbidsIt)
{
    const uint32_t savedCaps = bzgOGLCaps;
    struct Case
    {
        uint8_t format;
        uint32_t compressed; // with the driver's S3TC and no "never compress" flag
        uint32_t plain;
    };
    const Case cases[] = {
        {BZ_IMAGE_565, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_RGB5},
        {BZ_IMAGE_4444, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_RGBA4},
        {BZ_IMAGE_1555, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_RGB5_A1},
        {BZ_IMAGE_CLUT8, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_RGB5_A1},
        {BZ_IMAGE_CLUT4, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_RGB5_A1},
        {BZ_IMAGE_8888, GL_RGBA8, GL_RGBA8},
        {BZ_IMAGE_888, GL_RGBA8, GL_RGBA8},
        {BZ_IMAGE_ALPHA, GL_ALPHA, GL_ALPHA},
    };
    for (const Case &c : cases)
        for (uint32_t caps : {0u, uint32_t{BZ_OGL_CAP_COMPRESSION}})
            for (uint8_t flags : {uint8_t{0}, uint8_t{BZ_IMGMAP_NO_COMPRESS}})
            {
                SCOPED_TRACE(int(c.format));
                SCOPED_TRACE(caps);
                SCOPED_TRACE(int(flags));
                bzgOGLCaps = caps;
                TestImage t(c.format, 2, 2);
                t.image.flags |= flags;
                uint32_t internal = 0;
                t.Converted(&internal);
                EXPECT_EQ(internal, caps && !flags ? c.compressed : c.plain);
            }
    bzgOGLCaps = savedCaps;
}

TEST(GlConvert, FormatsSixToNineAreBadTextures)
{
    for (uint8_t format :
         {BZ_IMAGE_332, BZ_IMAGE_BUMPMAP, BZ_IMAGE_NORMALMAP, BZ_IMAGE_CUBEMAP, BZ_IMAGE_INVALID})
    {
        KeepAlive keep;
        bz_IMGMAP image{};
        image.width = 2;
        image.height = 2;
        image.format = format;
        std::vector<uint8_t> block(16);
        uint32_t internal = 0;
        EXPECT_EQ(OGL_ConvertImgMapPixels(&image, block.data(), &internal), BZ_ERROR_UNSUPPORTED);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Bad texture");
        std::vector<uint8_t> mip(16);
        EXPECT_EQ(MakeMipMap(mip.data(), 2, 2, &image), BZ_ERROR_UNSUPPORTED);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "MakeMipMap");
    }
}

TEST(GlMipMap, BoxFiltersByFormat)
{
    struct Case
    {
        uint8_t format;
        std::array<uint8_t, 16> box; // 2x2 pixels
        std::array<uint8_t, 4> out;
    };
    const Case cases[] = {
        // Plain mean, truncated.
        {BZ_IMAGE_888,
         {10, 20, 30, 255, 11, 21, 31, 255, 12, 22, 32, 255, 13, 23, 34, 255},
         {11, 21, 31, 255}},
        // Colour weighted by alpha; alpha the mean.
        {BZ_IMAGE_8888, {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0}, {255, 0, 0, 63}},
        {BZ_IMAGE_4444, {200, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0}},
        // One-bit alpha: the opaque pixels' colour, rounded; alpha 255.
        {BZ_IMAGE_1555,
         {248, 0, 0, 255, 248, 0, 0, 255, 0, 0, 248, 0, 0, 0, 248, 0},
         {248, 0, 0, 255}},
        {BZ_IMAGE_CLUT8, {255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0}, {128, 0, 0, 255}},
        // All transparent: alpha 0 and the rounded mean.
        {BZ_IMAGE_CLUT4, {1, 2, 3, 0, 1, 2, 3, 0, 2, 2, 3, 0, 2, 3, 3, 0}, {2, 2, 3, 0}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(int(c.format));
        bz_IMGMAP image{};
        image.format = c.format;
        std::array<uint8_t, 16> block = c.box;
        ASSERT_EQ(MakeMipMap(block.data(), 2, 2, &image), 0);
        EXPECT_EQ((std::array<uint8_t, 4>{block[0], block[1], block[2], block[3]}), c.out);
    }
    // Alpha-only images average one byte a pixel.
    bz_IMGMAP alpha{};
    alpha.format = BZ_IMAGE_ALPHA;
    uint8_t bytes[4] = {0, 1, 2, 255};
    ASSERT_EQ(MakeMipMap(bytes, 2, 2, &alpha), 0);
    EXPECT_EQ(bytes[0], 64);
    // A row one pixel high halves along x only.
    uint8_t row[8] = {0, 0, 0, 255, 100, 100, 100, 255};
    MakeMipMapKind(row, 2, 1, BZ_OGL_MIP_AVERAGE);
    EXPECT_EQ(row[0], 50);
}

TEST(GlPixels, PutAndGetByFormat)
{
    struct Case
    {
        uint8_t format;
        std::array<int32_t, 4> put; // a, r, g, b
        std::vector<uint8_t> stored;
        std::array<uint8_t, 4> read; // a, r, g, b
    };
    const Case cases[] = {
        {BZ_IMAGE_888, {9, 0x12, 0x34, 0x56}, {0x56, 0x34, 0x12}, {255, 0x12, 0x34, 0x56}},
        {BZ_IMAGE_8888,
         {0x78, 0x12, 0x34, 0x56},
         {0x56, 0x34, 0x12, 0x78},
         {0x78, 0x12, 0x34, 0x56}},
        // 565 of (255, 255, 0): 0xFFE0; read back 31 -> 255, 63 -> 255.
        {BZ_IMAGE_565, {0, 255, 255, 0}, {0xE0, 0xFF}, {255, 255, 255, 0}},
        // 565 of (16, 8, 255): red 2, green 2, blue 31 -> 0x105F; reads 2*8+0, 2*4+0, 255.
        {BZ_IMAGE_565, {0, 16, 8, 255}, {0x5F, 0x10}, {255, 16, 8, 255}},
        // 1555 of (128, 255, 16, 8): 0x8000 | 31 << 10 | 2 << 5 | 1 = 0xFC41; 31 reads 31 x 8 + 3.
        {BZ_IMAGE_1555, {128, 255, 16, 8}, {0x41, 0xFC}, {255, 251, 16, 8}},
        {BZ_IMAGE_1555, {127, 0, 0, 0}, {0x00, 0x00}, {0, 0, 0, 0}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(int(c.format));
        TestImage t(c.format, 2, 2);
        ASSERT_EQ(OGL_PutImgMapPixel(&t.image, 1, 1, c.put[0], c.put[1], c.put[2], c.put[3]), 0);
        const uint8_t *p = t.image.pixels + t.image.pitch + OGL_BytesPerPixel(c.format);
        EXPECT_EQ(std::vector<uint8_t>(p, p + c.stored.size()), c.stored);
        std::array<uint8_t, 4> read{};
        ASSERT_EQ(OGL_GetImgMapPixel(&t.image, 1, 1, &read[0], &read[1], &read[2], &read[3]), 0);
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(OGL_PutImgMapPixel(&t.image, 2, 0, 0, 0, 0, 0), BZ_ERROR_INVALID_PARAMETER);
    }
    TestImage reds(BZ_IMAGE_4444, 2, 2);
    EXPECT_EQ(OGL_GetImgMapPixel(&reds.image, 0, 0, nullptr, nullptr, nullptr, nullptr),
              BZ_ERROR_UNSUPPORTED);
}

TEST(GlPixels, FourBitIndicesTakeTheirOwnNibble)
{
    TestImage t(BZ_IMAGE_CLUT4, 3, 2);
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 0, 0, 0xA), 0);
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 1, 0, 0x5), 0);
    EXPECT_EQ(t.image.pixels[0], 0xA5);
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 1, 0, 0x3), 0);
    EXPECT_EQ(t.image.pixels[0], 0xA3);
    // Rows of an odd width take whole bytes: row 1 starts at byte 2.
    ASSERT_EQ(OGL_PutImgMapPixelIndex(&t.image, 0, 1, 0xF), 0);
    EXPECT_EQ(t.image.pixels[2], 0xF0);

    KeepAlive keep;
    TestImage rgb(BZ_IMAGE_888, 2, 2);
    EXPECT_EQ(OGL_PutImgMapPixelIndex(&rgb.image, 0, 0, 1), 0);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Not a palettised texture");
}

TEST(GlDXT, DecodesColourAndAlphaBlocks)
{
    // DXT1, c0 white > c1 black: four colours, 255, 0, 170 and 85; row 0 indices 0, 1, 2, 3.
    const uint8_t four[8] = {0xFF, 0xFF, 0x00, 0x00, 0xE4, 0x00, 0x00, 0x00};
    std::vector<uint8_t> out(4 * 4 * 4);
    OGL_DecodeDXT(1, four, 4, 4, out.data());
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[8], 170);
    EXPECT_EQ(out[12], 85);
    EXPECT_EQ(out[15], 255);
    // c0 black <= c1 white: three colours and transparent black (index 3).
    const uint8_t three[8] = {0x00, 0x00, 0xFF, 0xFF, 0xE4, 0x00, 0x00, 0x00};
    OGL_DecodeDXT(1, three, 4, 4, out.data());
    EXPECT_EQ(out[8], 127);
    EXPECT_EQ((std::array<uint8_t, 4>{out[12], out[13], out[14], out[15]}),
              (std::array<uint8_t, 4>{0, 0, 0, 0}));
    // DXT3: explicit 4-bit alpha, pixel 0 0xF, pixel 1 0x1.
    uint8_t dxt3[16] = {0x1F, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    OGL_DecodeDXT(3, dxt3, 4, 4, out.data());
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[3], 255);
    EXPECT_EQ(out[7], 17);
    // DXT5: a0 255 > a1 0: index 2 is (6 x 255) / 7 = 218; a0 0 <= a1 255: index 2 is 51,
    // 6 is 0 and 7 is 255. Pixel 0 index 2, pixel 1 index 6, pixel 2 index 7.
    uint8_t dxt5[16] = {255, 0, 0x82, 0x03, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    OGL_DecodeDXT(5, dxt5, 4, 4, out.data());
    EXPECT_EQ(out[3], 218);
    dxt5[0] = 0;
    dxt5[1] = 255;
    // index bits: pixel 0 = 2, pixel 1 = 6, pixel 2 = 7: 0b111_110_010 = 0x1F2
    dxt5[2] = 0xF2;
    dxt5[3] = 0x01;
    OGL_DecodeDXT(5, dxt5, 4, 4, out.data());
    EXPECT_EQ(out[3], 51);
    EXPECT_EQ(out[7], 0);
    EXPECT_EQ(out[11], 255);
}

} // namespace
