#include "memdevice/MemDevice.h"

#include "core/Error.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
class MemDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bz_MemDevice_Install(&table);
        bz_MemDevice_Reset();
        bytesBefore = bz_MemDevice_PixelBytes();
    }
    void TearDown() override
    {
        for (bz_IMGMAP *image : images)
            table.PDFreeImgMapTexture(image);
        EXPECT_EQ(bz_MemDevice_PixelBytes(), bytesBefore);
        bz_MemDevice_Reset();
    }
    bz_IMGMAP *Image(uint8_t format, int16_t width, int16_t height)
    {
        images.push_back(new bz_IMGMAP{});
        bz_IMGMAP *image = images.back();
        image->width = width;
        image->height = height;
        image->format = format;
        owned.emplace_back(image);
        return image;
    }

    PDRenderFunctionTable table = {};
    std::vector<bz_IMGMAP *> images;
    std::vector<std::unique_ptr<bz_IMGMAP>> owned;
    uint32_t bytesBefore = 0;
};

TEST_F(MemDeviceTest, InstallFillsTheServedSlotsOnly)
{
    EXPECT_NE(table.PDLockImgMap, nullptr);
    EXPECT_NE(table.PDSetupMaterial, nullptr);
    EXPECT_NE(table.PDBuildModelBuffers, nullptr);
    EXPECT_EQ(table.PDDrawQuadBlockArray, nullptr);
    EXPECT_EQ(table.PDShowFrame, nullptr);
}

// Each format keeps what it can hold: exact for 8-bit channels, the top bits otherwise.
TEST_F(MemDeviceTest, PixelsReadBackPerFormat)
{
    const struct
    {
        uint8_t format;
        uint16_t bytesPerPixel;
        uint8_t in[4];  // a, r, g, b
        uint8_t out[4]; // a, r, g, b
    } cases[] = {
        {BZ_IMAGE_8888, 4, {0x80, 0x12, 0x34, 0x56}, {0x80, 0x12, 0x34, 0x56}},
        {BZ_IMAGE_888, 3, {0x80, 0x12, 0x34, 0x56}, {0xFF, 0x12, 0x34, 0x56}},
        {BZ_IMAGE_565, 2, {0x00, 0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00, 0xFF}},
        {BZ_IMAGE_565, 2, {0x00, 0x00, 0xFF, 0x00}, {0xFF, 0x00, 0xFF, 0x00}},
        {BZ_IMAGE_4444, 2, {0xF0, 0xFF, 0x0F, 0x88}, {0xFF, 0xFF, 0x00, 0x88}},
        {BZ_IMAGE_1555, 2, {0x80, 0xFF, 0x00, 0x00}, {0xFF, 0xFF, 0x00, 0x00}},
        {BZ_IMAGE_1555, 2, {0x7F, 0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00, 0x00}},
        {BZ_IMAGE_332, 1, {0x00, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {BZ_IMAGE_ALPHA, 1, {0x42, 0x00, 0x00, 0x00}, {0x42, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.format));
        bz_IMGMAP *image = Image(c.format, 3, 2);
        ASSERT_EQ(table.PDUpdateImgMapTexture(image), 0);
        EXPECT_EQ(image->bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(image->pitch, 3 * c.bytesPerPixel);
        ASSERT_EQ(table.PDLockImgMap(image, BZ_LOCK_WRITE), 0);
        EXPECT_EQ(table.PDPutImgMapPixel(image, 2, 1, c.in[0], c.in[1], c.in[2], c.in[3]), 0);
        uint8_t a, r, g, b;
        EXPECT_EQ(table.PDGetImgMapPixel(image, 2, 1, &a, &r, &g, &b), 0);
        EXPECT_EQ(a, c.out[0]);
        EXPECT_EQ(r, c.out[1]);
        EXPECT_EQ(g, c.out[2]);
        EXPECT_EQ(b, c.out[3]);
        EXPECT_EQ(table.PDUnlockImgMap(image), 0);
    }
}

TEST_F(MemDeviceTest, PaletteImagesTakeIndicesAndReadThroughThePalette)
{
    bz_IMGMAP *image = Image(BZ_IMAGE_CLUT4, 4, 4);
    ASSERT_EQ(table.PDUpdateImgMapTexture(image), 0);
    uint32_t palette[16] = {};
    palette[5] = 0x00112233;
    EXPECT_EQ(table.PDSetImgMapPalette(image, palette, 16), 0);
    ASSERT_EQ(table.PDLockImgMap(image, BZ_LOCK_WRITE), 0);
    EXPECT_EQ(table.PDPutImgMapPixelIndex(image, 1, 1, 0x15), 0); // 4-bit: 5
    EXPECT_EQ(table.PDPutImgMapPixel(image, 1, 1, 255, 1, 2, 3), BZ_ERROR_UNSUPPORTED);
    uint8_t index = 0, a, r, g, b;
    EXPECT_EQ(table.PDGetImgMapPixelIndex(image, 1, 1, &index), 0);
    EXPECT_EQ(index, 5);
    EXPECT_EQ(table.PDGetImgMapPixel(image, 1, 1, &a, &r, &g, &b), 0);
    EXPECT_EQ(a, 255);
    EXPECT_EQ(r, 0x11);
    EXPECT_EQ(g, 0x22);
    EXPECT_EQ(b, 0x33);
    uint32_t out[16] = {};
    EXPECT_EQ(table.PDGetImgMapPalette(image, out, 16), 0);
    EXPECT_EQ(out[5], 0x00112233u);
    table.PDUnlockImgMap(image);

    bz_IMGMAP *colour = Image(BZ_IMAGE_8888, 2, 2);
    ASSERT_EQ(table.PDUpdateImgMapTexture(colour), 0);
    EXPECT_EQ(table.PDSetImgMapPalette(colour, palette, 16), BZ_ERROR_PALETTE_NOT_FOUND);
    EXPECT_EQ(table.PDGetImgMapPalette(colour, out, 16), BZ_ERROR_PALETTE_NOT_FOUND);
}

TEST_F(MemDeviceTest, PixelAccessIsRefusedOutsideALockAndTheImage)
{
    bz_IMGMAP *image = Image(BZ_IMAGE_8888, 4, 4);
    uint8_t a;
    EXPECT_EQ(table.PDLockImgMap(image, BZ_LOCK_READ), BZ_ERROR_IMGMAP_NO_PIXELS); // no pixels yet
    ASSERT_EQ(table.PDUpdateImgMapTexture(image), 0);
    EXPECT_EQ(table.PDPutImgMapPixel(image, 0, 0, 1, 2, 3, 4), BZ_ERROR_IMGMAP_NO_PIXELS);
    EXPECT_EQ(table.PDUnlockImgMap(image), BZ_ERROR_IMGMAP_NO_PIXELS);
    ASSERT_EQ(table.PDLockImgMap(image, BZ_LOCK_READ), 0);
    EXPECT_NE(image->flags & BZ_IMGMAP_LOCKED, 0);
    EXPECT_EQ(table.PDLockImgMap(image, BZ_LOCK_READ), BZ_ERROR_IMGMAP_LOCKED);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}})
    {
        EXPECT_EQ(table.PDPutImgMapPixel(image, x, y, 1, 2, 3, 4), BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(table.PDGetImgMapPixel(image, x, y, &a, &a, &a, &a), BZ_ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(table.PDPutImgMapPixel(nullptr, 0, 0, 1, 2, 3, 4), BZ_ERROR_IMGMAP_VOID);
    EXPECT_EQ(table.PDUnlockImgMap(image), 0);
    EXPECT_EQ(image->flags & BZ_IMGMAP_LOCKED, 0);

    bz_IMGMAP *bump = Image(BZ_IMAGE_BUMPMAP, 2, 2);
    ASSERT_EQ(table.PDUpdateImgMapTexture(bump), 0);
    ASSERT_EQ(table.PDLockImgMap(bump, BZ_LOCK_WRITE), 0);
    EXPECT_EQ(table.PDPutImgMapPixel(bump, 0, 0, 1, 2, 3, 4), BZ_ERROR_UNSUPPORTED);
    EXPECT_EQ(table.PDGetImgMapPixel(bump, 0, 0, &a, &a, &a, &a), BZ_ERROR_UNSUPPORTED);
    table.PDUnlockImgMap(bump);

    bz_IMGMAP *empty = Image(BZ_IMAGE_8888, 0, 4);
    EXPECT_EQ(table.PDUpdateImgMapTexture(empty), BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(MemDeviceTest, TexturesAndPixelMemoryComeAndGo)
{
    bz_IMGMAP *image = Image(BZ_IMAGE_8888, 8, 4);
    ASSERT_EQ(table.PDUpdateImgMapTexture(image), 0);
    EXPECT_EQ(bz_MemDevice_PixelBytes(), bytesBefore + 128);
    EXPECT_EQ(table.PDGetTextureMemory(), bytesBefore + 128);
    table.PDMakeImgMapATexture(image);
    EXPECT_NE(image->flags & BZ_IMGMAP_TEXTURE, 0);
    EXPECT_EQ(image->mipLevels, 1);
    image->width = 4; // a new size is a new buffer
    ASSERT_EQ(table.PDUpdateImgMapTexture(image), 0);
    EXPECT_EQ(bz_MemDevice_PixelBytes(), bytesBefore + 64);
    table.PDFreeImgMapTexture(image);
    EXPECT_EQ(image->flags & BZ_IMGMAP_TEXTURE, 0);
    EXPECT_EQ(image->pixels, nullptr);
    EXPECT_EQ(bz_MemDevice_PixelBytes(), bytesBefore);

    // A texture file's header gives the level count and the device format.
    bz_IMGMAP *loaded = Image(BZ_IMAGE_INVALID, 16, 16);
    const uint8_t header[16] = {0x00, 0x02, 16, 0, 16, 0, 5, 0, 0, 0, 0, 0, 21, 0, 0, 0};
    EXPECT_EQ(table.PDLoadTex2(loaded, header, nullptr), loaded);
    EXPECT_EQ(loaded->mipLevels, 5);
    EXPECT_EQ(loaded->deviceFormat, 21u);
}

TEST_F(MemDeviceTest, TheRecorderKeepsSlotsArgumentsAndCounts)
{
    bz_IMGMAP *image = Image(BZ_IMAGE_8888, 2, 2);
    table.PDUpdateImgMapTexture(image);
    table.PDLockImgMap(image, BZ_LOCK_WRITE);
    table.PDPutImgMapPixel(image, 1, 0, 10, 20, 30, 40);
    table.PDUnlockImgMap(image);
    table.PDDraw2DLine(1.5f, 2.0f, 3.0f, 4.0f, 0xFF00FF00u, 7);
    table.PDSetupMaterial(nullptr, -17);

    EXPECT_EQ(bz_MemDevice_TotalCalls(), 6u);
    EXPECT_EQ(bz_MemDevice_KeptCalls(), 6u);
    EXPECT_EQ(bz_MemDevice_CallCount(6), 1u);
    EXPECT_EQ(bz_MemDevice_CallCount(9), 0u);
    const int32_t order[] = {18, 11, 6, 10, 30, 65};
    for (uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(bz_MemDevice_GetCall(i)->slot, order[i]);
    EXPECT_EQ(bz_MemDevice_GetCall(6), nullptr);

    const bzMemDeviceCall *put = bz_MemDevice_LastCall(6);
    ASSERT_NE(put, nullptr);
    ASSERT_EQ(put->argCount, 7);
    EXPECT_EQ(put->args[0], reinterpret_cast<uintptr_t>(image));
    const uint64_t expected[] = {1, 0, 10, 20, 30, 40};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(put->args[i + 1], expected[i]);
    const bzMemDeviceCall *line = bz_MemDevice_LastCall(30);
    EXPECT_EQ(bz_MemDevice_ArgFloat(line->args[0]), 1.5f);
    EXPECT_EQ(line->args[4], 0xFF00FF00u);
    EXPECT_EQ(static_cast<int64_t>(bz_MemDevice_LastCall(65)->args[1]), -17);

    // The ring keeps the newest calls.
    for (uint32_t i = 0; i < BZ_MEMDEVICE_KEPT_CALLS + 10; ++i)
        table.PDBuildModelBuffers(nullptr);
    EXPECT_EQ(bz_MemDevice_KeptCalls(), BZ_MEMDEVICE_KEPT_CALLS);
    EXPECT_EQ(bz_MemDevice_CallCount(99), BZ_MEMDEVICE_KEPT_CALLS + 10);
    EXPECT_EQ(bz_MemDevice_GetCall(0)->slot, 99);
    EXPECT_EQ(bz_MemDevice_LastCall(6), nullptr);

    bz_MemDevice_Reset();
    EXPECT_EQ(bz_MemDevice_TotalCalls(), 0u);
    EXPECT_EQ(bz_MemDevice_CallCount(99), 0u);
}

TEST_F(MemDeviceTest, AForcedResultReplacesTheSlotsWork)
{
    bz_IMGMAP *image = Image(BZ_IMAGE_8888, 2, 2);
    bz_MemDevice_SetSlotResult(18, BZ_ERROR_TEXTURE_NOT_CREATED);
    EXPECT_EQ(table.PDUpdateImgMapTexture(image), BZ_ERROR_TEXTURE_NOT_CREATED);
    EXPECT_EQ(image->pixels, nullptr);
    bz_MemDevice_SetSlotResult(18, 0);
    EXPECT_EQ(table.PDUpdateImgMapTexture(image), 0);
    bz_MemDevice_SetSlotResult(15, 1);
    const uint8_t header[16] = {};
    EXPECT_EQ(table.PDLoadTex2(image, header, nullptr), nullptr);
    EXPECT_EQ(bz_MemDevice_CallCount(18), 2u);
}
} // namespace
