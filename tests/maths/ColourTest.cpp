// Colour conversions and colour ramps.
#include "maths/Colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace
{
TEST(Colour, FloatConversions)
{
    float f[4];
    bz_Colour_ToFloats(0x80FF0000u, f);
    EXPECT_NEAR(f[0], 1.0f, 1e-6f);
    EXPECT_EQ(f[1], 0.0f);
    EXPECT_EQ(f[2], 0.0f);
    EXPECT_NEAR(f[3], 0.50196f, 1e-5f);

    const float in[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    EXPECT_EQ(bz_Colour_FromFloats(in), 0xFFFF7F00u);
    // Every byte survives the round trip through floats.
    for (uint32_t c : {0x00000000u, 0xFFFFFFFFu, 0x12345678u, 0x80FF0001u, 0x7F7F7F7Fu})
    {
        bz_Colour_ToFloats(c, f);
        EXPECT_EQ(bz_Colour_FromFloats(f), c) << std::hex << c;
    }
    // Out-of-range floats give some byte but leave the other channels alone.
    const float wild[4] = {2.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    EXPECT_EQ(bz_Colour_FromFloats(wild) & 0xFF00FF00u, 0xFF000000u);
}

TEST(Colour, ScalePercent)
{
    struct Case
    {
        uint32_t in;
        int32_t percent;
        uint32_t want;
    };
    const Case cases[] = {
        {0x10204080u, 50, 0xFF102040u},
        {0x10204080u, 300, 0xFF60C0FFu}, // blue clamps at 255
        {0x00FFFFFFu, 0, 0xFF000000u},
        {0x00FFFFFFu, -50, 0xFF000000u},
        {0x00030303u, 33, 0xFF000000u}, // truncated toward zero
        {0x00010101u, 2000000000, 0xFFFFFFFFu},
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_Colour_ScalePercent(c.in, c.percent), c.want) << c.percent;
}

TEST(Colour, Luminance)
{
    EXPECT_EQ(bz_Colour_Luminance(0, 0, 0), 0);
    EXPECT_EQ(bz_Colour_Luminance(100, 0, 0), 29);
    EXPECT_EQ(bz_Colour_Luminance(0, 100, 0), 58);
    EXPECT_EQ(bz_Colour_Luminance(0, 0, 100), 11);
    EXPECT_EQ(bz_Colour_Luminance(10, 20, 30), 18);
}

TEST(Colour, HueSaturationLightnessFromBytes)
{
    EXPECT_EQ(bz_Colour_FromHSL(0, 0, 0), 0x00000000u);
    EXPECT_EQ(bz_Colour_FromHSL(100, 200, 0), 0x00000000u);
    EXPECT_EQ(bz_Colour_FromHSL(0, 0, 255), 0xFFFFFFFFu);
    EXPECT_EQ(bz_Colour_FromHSL(255, 255, 128), 0xFF000000u);
    // Full saturation at half lightness: the primaries at their sector starts.
    const bzColour red = bz_Colour_FromHSL(0, 255, 127);
    EXPECT_EQ(red & 0xFF00FFFFu, 0xFF000000u);
    EXPECT_GE(red >> 16 & 0xFF, 0xFCu);
    EXPECT_EQ(bz_Colour_FromHSL(85, 255, 127) & 0x00F0F0F0u, 0x0000F000u);
    EXPECT_EQ(bz_Colour_FromHSL(170, 255, 127) & 0x00F0F0F0u, 0x000000F0u);
    EXPECT_EQ(bz_Colour_FromHSLA(0, 0, 255, 0x40), 0x40FFFFFFu);
    EXPECT_EQ(bz_Colour_FromHSLA(0, 0, 0, 0x40), 0x40000000u);
}

TEST(Colour, HueSaturationLightnessToFloats)
{
    struct Case
    {
        float h;
        float r, g, b;
    };
    // Full saturation at half lightness: m1 = 0, m2 = 1.
    const Case cases[] =
        {
            {0, 1, 0, 0},           {60, 1, 1, 0},  {120, 0, 1, 0},   {180, 0, 1, 1},
            {240, 0, 0, 1},         {300, 1, 0, 1}, {30, 1, 0.5f, 0}, {90, 0.5f, 1, 0},
            {359, 1, 0, 1.0f / 60}, // blue of a hue below 120 wraps round to the top of the circle
        };
    for (const Case &c : cases)
    {
        float r = -1, g = -1, b = -1;
        EXPECT_EQ(bz_Colour_HSLToFloats(c.h, 1.0f, 0.5f, &r, &g, &b), 1);
        EXPECT_NEAR(r, c.r, 1e-5f) << c.h;
        EXPECT_NEAR(g, c.g, 1e-5f) << c.h;
        EXPECT_NEAR(b, c.b, 1e-5f) << c.h;
    }
    float r, g, b;
    bz_Colour_HSLToFloats(200, 0.0f, 0.3f, &r, &g, &b);
    EXPECT_EQ(r, 0.3f);
    EXPECT_EQ(g, 0.3f);
    EXPECT_EQ(b, 0.3f);
    // Low lightness, part saturation: every channel stays within [m1, m2].
    for (int h = 0; h < 360; h += 7)
    {
        bz_Colour_HSLToFloats((float)h, 0.5f, 0.4f, &r, &g, &b);
        for (float v : {r, g, b})
        {
            EXPECT_GE(v, 0.2f - 1e-6f) << h;
            EXPECT_LE(v, 0.6f + 1e-6f) << h;
        }
    }
}

TEST(Colour, VideoYUV)
{
    EXPECT_EQ(bz_Colour_FromYUV(16, 128, 128), 0xFF000000u);
    EXPECT_EQ(bz_Colour_FromYUV(235, 128, 128), 0xFFFEFEFEu);
    EXPECT_EQ(bz_Colour_FromYUV(255, 128, 128), 0xFFFFFFFFu); // clamped at 255
    EXPECT_EQ(bz_Colour_FromYUV(0, 128, 128), 0xFF000000u);   // clamped at 0
    EXPECT_EQ(bz_Colour_FromYUV(255, 255, 255), 0xFFFF7DFFu);
    EXPECT_EQ(bz_Colour_FromYUVA(16, 128, 128, 0x10), 0x10000000u);
    // Red from V alone.
    const uint32_t c = bz_Colour_FromYUV(128, 128, 200);
    EXPECT_GT(c >> 16 & 0xFF, c >> 8 & 0xFF);
}

std::vector<int32_t> Ramp(std::initializer_list<bzColour> entries)
{
    std::vector<int32_t> words;
    words.push_back((int32_t)entries.size());
    for (bzColour c : entries)
        words.push_back((int32_t)c);
    return words;
}

bzColour Sample(const std::vector<int32_t> &words, float p)
{
    return bz_ColourRamp_Sample(reinterpret_cast<const bzColourRamp *>(words.data()), p);
}

TEST(Colour, RampOfOneEntry)
{
    const auto ramp = Ramp({0x80402010u});
    for (float p : {0.0f, 50.0f, 100.0f})
        EXPECT_EQ(Sample(ramp, p), 0x80402010u) << p;
}

TEST(Colour, RampOfThreeEntriesFillsBetweenThem)
{
    const auto ramp = Ramp({0xFF000000u, 0x80FF0000u, 0x00FFFFFFu});
    EXPECT_EQ(Sample(ramp, 0.0f), 0xFF000000u);
    EXPECT_EQ(Sample(ramp, 33.0f), 0x80FF0000u);
    EXPECT_EQ(Sample(ramp, 66.0f), 0x00FFFFFFu);
    EXPECT_EQ(Sample(ramp, 99.5f), 0x00FFFFFFu);
    EXPECT_EQ(Sample(ramp, 100.0f), 0x00FFFFFFu);
    // Half way from the first entry to the second.
    const bzColour mid = Sample(ramp, 16.5f);
    EXPECT_NEAR((int)(mid >> 24), 0xBF, 1);
    EXPECT_NEAR((int)(mid >> 16 & 0xFF), 0x7F, 1);
    EXPECT_EQ(mid & 0xFFFF, 0u);
    // Red and alpha move monotonically over the first stretch.
    uint32_t lastRed = 0, lastAlpha = 255;
    for (int i = 0; i <= 33; i++)
    {
        const bzColour c = Sample(ramp, (float)i);
        EXPECT_GE(c >> 16 & 0xFF, lastRed) << i;
        EXPECT_LE(c >> 24, lastAlpha) << i;
        lastRed = c >> 16 & 0xFF;
        lastAlpha = c >> 24;
    }
}

TEST(Colour, RampsWithBadInputStayInside)
{
    const auto empty = Ramp({});
    EXPECT_EQ(Sample(empty, 50.0f), 0u);
    const auto two = Ramp({0xFF000000u, 0xFFFFFFFFu});
    EXPECT_EQ(Sample(two, -40.0f), 0xFF000000u);
    EXPECT_EQ(Sample(two, 1e30f), 0xFFFFFFFFu);
    EXPECT_EQ(Sample(two, std::numeric_limits<float>::quiet_NaN()), 0xFF000000u);
    // Seven entries sit 14 percent apart, so 28.5 percent is past entry 2 while the index is
    // still 1: the blend stops at entry 2 instead of running beyond it.
    const auto seven = Ramp({0u, 0xFF646464u, 0xFFC8C8C8u, 0xFFFFFFFFu, 0u, 0u, 0u});
    EXPECT_EQ(Sample(seven, 28.5f), 0xFFC8C8C8u);
    // More entries than percent: each sample is one of the entries.
    std::vector<int32_t> many(1 + 150);
    many[0] = 150;
    for (int i = 1; i <= 150; i++)
        many[i] = i;
    EXPECT_EQ(Sample(many, 0.0f), 1u);
    EXPECT_EQ(Sample(many, 50.0f), 76u);
    EXPECT_EQ(Sample(many, 100.0f), 150u);
}
} // namespace
