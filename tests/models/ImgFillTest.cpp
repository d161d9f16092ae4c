#include "models/ImgFill.h"

#include "ModelsTestSupport.h"
#include "maths/Colour.h"

#include <cmath>
#include <set>

namespace
{
// A two-entry colour ramp.
struct Ramp2
{
    int32_t count = 2;
    bzColour entries[2];
    const bzColourRamp *get() const { return reinterpret_cast<const bzColourRamp *>(this); }
};

using ImgFillTest = ModelsTest;

TEST_F(ImgFillTest, AColourFillWritesEveryPixel)
{
    bz_IMGMAP *image = bz_CreateImgMap("c", BZ_IMAGE_8888, 8, 8, 0);
    EXPECT_EQ(bz_FillImgMap(image, 0x80FF0000), 0);
    EXPECT_EQ(bz_MemDevice_CallCount(6), 64u);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(Pixel(image, x, y), 0x80FF0000u);
    EXPECT_EQ(image->flags & BZ_IMGMAP_LOCKED, 0);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFillTest, CheckerCellsStartWithTheSecondColour)
{
    bz_IMGMAP *image = bz_CreateImgMap("c", BZ_IMAGE_8888, 32, 32, 0);
    const uint32_t green = 0xFF00FF00, red = 0xFFFF0000;
    EXPECT_EQ(bz_FillImgMapChecker(image, green, red, 4, 4), 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(Pixel(image, x, y), ((x / 8 + y / 8) % 2) ? green : red) << x << "," << y;

    // Each colour keeps its alpha; the opaque form makes it 255. 3 cells over 32 pixels are
    // 10.67 wide; a cell starts when less than one pixel of the last is left and the count
    // starts again from 10.67: cells begin at columns 0, 10, 20 and 30.
    EXPECT_EQ(bz_FillImgMapChecker(image, 0x10000001, 0x20000002, 3, 1), 0);
    const uint32_t a = 0x10000001, b = 0x20000002;
    const uint32_t row[] = {b, b, b, b, b, b, b, b, b, b, a, a, a, a, a, a,
                            a, a, a, a, b, b, b, b, b, b, b, b, b, b, a, a};
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(Pixel(image, x, 5), row[x]) << x;
    EXPECT_EQ(bz_FillImgMapCheckerOpaque(image, 0x00000001, 0x00000002, 2, 2), 0);
    EXPECT_EQ(Pixel(image, 0, 0), 0xFF000002u);
    EXPECT_EQ(Pixel(image, 16, 0), 0xFF000001u);
    EXPECT_EQ(bz_FillImgMapChecker(image, red, green, 0, 4), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFillTest, GridLinesEveryCell)
{
    bz_IMGMAP *image = bz_CreateImgMap("g", BZ_IMAGE_8888, 16, 16, 0);
    EXPECT_EQ(bz_FillImgMapGrid(image, 0x11223344, 0x80FFFFFF, 4, 4), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
        {
            const bool line = x % 4 == 0 || y % 4 == 0;
            ASSERT_EQ(Pixel(image, x, y), line ? 0x80FFFFFFu : 0x11223344u) << x << "," << y;
        }
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFillTest, RampsFollowTheRowsAndTheRadius)
{
    Ramp2 ramp;
    ramp.entries[0] = 0xFF000000;
    ramp.entries[1] = 0xFFFFFFFF;
    bz_IMGMAP *image = bz_CreateImgMap("r", BZ_IMAGE_8888, 4, 10, 0);
    EXPECT_EQ(bz_FillImgMapRamp(image, ramp.get()), 0);
    EXPECT_EQ(Pixel(image, 0, 0), 0xFF000000u); // top row: 0 percent
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(Pixel(image, x, y), bz_ColourRamp_Sample(ramp.get(), y * 10.0f));
    bz_ReleaseImgMap(image);

    const uint32_t marker = 0x12345678;
    image = bz_CreateImgMap("radial", BZ_IMAGE_8888, 16, 16, 0);
    bz_FillImgMap(image, marker);
    EXPECT_EQ(bz_FillImgMapRadial(image, ramp.get(), 2), 0);
    int written = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
        {
            const float d = std::hypot(x - 7.5f, y - 7.5f);
            const bool inside = x >= 2 && x <= 13 && y >= 2 && y <= 13 && d <= 6.0f;
            const uint32_t expected =
                inside ? bz_ColourRamp_Sample(ramp.get(), 100.0f - 100.0f * d / 6.0f) : marker;
            ASSERT_EQ(Pixel(image, x, y), expected) << x << "," << y;
            written += inside;
        }
    EXPECT_EQ(Pixel(image, 2, 2), marker);              // a corner outside the circle
    EXPECT_EQ(Pixel(image, 1, 8), marker);              // the border
    EXPECT_EQ(Pixel(image, 8, 2), Pixel(image, 8, 13)); // a point on the circle's edge row
    EXPECT_GT(written, 100);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFillTest, NoiseBlendsAllChannelsByOneWeight)
{
    bz_IMGMAP *image = bz_CreateImgMap("n", BZ_IMAGE_8888, 16, 16, 0);
    EXPECT_EQ(bz_FillImgMapNoise(image, 0x00000000, 0xFF804020), 0);
    std::set<uint32_t> seen;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
        {
            const uint32_t p = Pixel(image, x, y);
            const float t = (p >> 24) / 255.0f;
            EXPECT_NEAR((p >> 16 & 0xFF), t * 0x80, 1.01f);
            EXPECT_NEAR((p >> 8 & 0xFF), t * 0x40, 1.01f);
            EXPECT_NEAR((p & 0xFF), t * 0x20, 1.01f);
            seen.insert(p);
        }
    EXPECT_GT(seen.size(), 50u);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFillTest, EveryFillRefusesNoImageAndPaletteImages)
{
    Ramp2 ramp;
    ramp.entries[0] = ramp.entries[1] = 0xFFFFFFFF;
    bz_IMGMAP *clut8 = bz_CreateImgMap("p8", BZ_IMAGE_CLUT8, 4, 4, 0);
    bz_IMGMAP *clut4 = bz_CreateImgMap("p4", BZ_IMAGE_CLUT4, 4, 4, 0);
    const auto fills = {
        +[](bz_IMGMAP *i, const bzColourRamp *) { return bz_FillImgMap(i, 1); },
        +[](bz_IMGMAP *i, const bzColourRamp *) { return bz_FillImgMapChecker(i, 1, 2, 2, 2); },
        +[](bz_IMGMAP *i, const bzColourRamp *)
        { return bz_FillImgMapCheckerOpaque(i, 1, 2, 2, 2); },
        +[](bz_IMGMAP *i, const bzColourRamp *) { return bz_FillImgMapGrid(i, 1, 2, 2, 2); },
        +[](bz_IMGMAP *i, const bzColourRamp *r) { return bz_FillImgMapRamp(i, r); },
        +[](bz_IMGMAP *i, const bzColourRamp *r) { return bz_FillImgMapRadial(i, r, 0); },
        +[](bz_IMGMAP *i, const bzColourRamp *) { return bz_FillImgMapNoise(i, 1, 2); },
    };
    int member = 0;
    for (auto fill : fills)
    {
        EXPECT_EQ(fill(nullptr, ramp.get()), BZ_ERROR_IMGMAP_VOID) << member;
        EXPECT_EQ(fill(clut8, ramp.get()), BZ_ERROR_UNSUPPORTED) << member;
        EXPECT_EQ(fill(clut4, ramp.get()), BZ_ERROR_UNSUPPORTED) << member;
        ++member;
    }
    EXPECT_EQ(bz_MemDevice_CallCount(11), 0u); // nothing was locked
    // A lock that fails is the fill's result.
    bz_IMGMAP *image = bz_CreateImgMap("x", BZ_IMAGE_8888, 2, 2, 0);
    bz_MemDevice_SetSlotResult(11, BZ_ERROR_IMGMAP_LOCKED);
    EXPECT_EQ(bz_FillImgMap(image, 5), BZ_ERROR_IMGMAP_LOCKED);
    EXPECT_EQ(bz_MemDevice_CallCount(6), 0u);
    bz_MemDevice_SetSlotResult(11, 0);
    bz_ReleaseImgMap(image);
    bz_ReleaseImgMap(clut8);
    bz_ReleaseImgMap(clut4);
}

TEST_F(ImgFillTest, MakersCreateFilledTexturesAndMaterialsHoldTheOnlyReference)
{
    bz_IMGMAP *image =
        bz_MakeCheckerImgMap("made", BZ_IMAGE_8888, 32, 0xFF00FF00, 0xFFFF0000, 4, 4);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    EXPECT_EQ(image->flags & 0x41, 0x41); // texture made, never compressed
    EXPECT_EQ(Pixel(image, 0, 0), 0xFFFF0000u);
    bz_ReleaseImgMap(image);

    Ramp2 ramp;
    ramp.entries[0] = 0xFF000000;
    ramp.entries[1] = 0xFFFFFFFF;
    bzMaterial *materials[] = {
        bz_MakeRampMaterial("m1", BZ_IMAGE_8888, 8, ramp.get()),
        bz_MakeRadialMaterial("m2", BZ_IMAGE_8888, 8, ramp.get(), 1),
        bz_MakeCheckerOpaqueMaterial("m3", BZ_IMAGE_8888, 8, 1, 2, 2, 2),
        bz_MakeColourMaterial("m4", BZ_IMAGE_8888, 8, 0xFF336699),
        bz_MakeGridMaterial("m5", BZ_IMAGE_8888, 8, 1, 2, 2, 2),
        bz_MakeCheckerMaterial("m6", BZ_IMAGE_8888, 8, 1, 2, 2, 2),
        bz_MakeNoiseMaterial("m7", BZ_IMAGE_8888, 8, 1, 2),
    };
    int k = 1;
    for (bzMaterial *m : materials)
    {
        ASSERT_NE(m, nullptr);
        ASSERT_NE(m->layers[0].image, nullptr);
        EXPECT_EQ(m->layers[0].image->refCount, 1);
        EXPECT_STREQ(m->fullName, ("m" + std::to_string(k++)).c_str());
        EXPECT_EQ(bz_FindMaterial(m->fullName), m);
    }
    EXPECT_EQ(Pixel(materials[3]->layers[0].image, 7, 7), 0xFF336699u);
    EXPECT_EQ(bzgImage_count, 7);
    for (bzMaterial *m : materials)
        bz_ReleaseMaterial(m);
    EXPECT_EQ(bzgImage_count, 0);
}
} // namespace
