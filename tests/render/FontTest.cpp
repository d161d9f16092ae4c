// Fonts and on-screen text: the built-in font, fonts made from an image's font data block,
// layout with escapes, tabs, wrapping, alignment and shadows as seen through a recording text
// slot, measuring, and bad font data.
#include "ModelsTestSupport.h"
#include "core/Bytes.h"
#include "render/Draw2D.h"
#include "render/Font.h"
#include "support/TextRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
class FontTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_Font_ReleaseDefault(); // each test makes the default font anew
        bzgRenderTable.PDAdd2DVertexList = RecordTextRun;
        RecordedRuns().clear();
        bz_RenderState_ResetDefaults();
        bz_RenderState_InitDefaults();
        bzTextScaleX = bzTextScaleY = 1.0f;
        bzg2DOrigin = {};
    }
    void TearDown() override
    {
        // The tests release the fonts they make; the table holds only borrowed ones here.
        std::memset(bzFontTable, 0, sizeof bzFontTable);
        bz_Font_ReleaseDefault();
        RecordedRuns().clear();
        // The global scales go back to 1 for the tests that do not set them.
        bzTextScaleX = bzTextScaleY = 1.0f;
        ModelsTest::TearDown();
    }

    // Every glyph quad drawn so far: its top-left corner and colour, in drawing order.
    struct Quad
    {
        float x0, y0, x1, y1;
        uint32_t colour;
        float u0;
    };
    static std::vector<Quad> Quads(bool includeShadow = false)
    {
        std::vector<Quad> q;
        for (const RecordedRun &r : RecordedRuns())
        {
            if (r.shadow && !includeShadow)
                continue;
            for (size_t i = 0; i + 5 < r.vertices.size(); i += 6)
            {
                const bzTextVertex *v = &r.vertices[i];
                q.push_back({v[0].x, v[0].y, v[4].x, v[4].y, v[0].colour, v[0].u});
            }
        }
        return q;
    }

    // A font image map with a font data block.
    static bz_IMGMAP *FontImage(const char *name, const std::vector<uint8_t> &block)
    {
        bz_IMGMAP *image = bz_CreateImgMap(name, BZ_IMAGE_8888, 128, 64, 0);
        EXPECT_NE(image, nullptr);
        if (!block.empty())
        {
            image->extraData = static_cast<uint8_t *>(bz_MemAlloc(block.size(), 0));
            std::memcpy(image->extraData, block.data(), block.size());
            image->extraSize = static_cast<uint32_t>(block.size());
        }
        return image;
    }

    UniformFont font10{10.0f, 16.0f};
    UniformFont font5{5.0f, 20.0f};
    UniformFont tall{10.0f, 24.0f};
};

void PutU32(std::vector<uint8_t> &b, uint32_t v)
{
    const size_t at = b.size();
    b.resize(at + 4);
    bz_PutU32LE(b.data() + at, v);
}
void PutF32(std::vector<uint8_t> &b, float v)
{
    const size_t at = b.size();
    b.resize(at + 4);
    bz_PutF32LE(b.data() + at, v);
}

// ---------------------------------------------------------------------------------------
// "DefaultFont"

TEST_F(FontTest, DefaultFontMetricsGlyphsAndPixels)
{
    bzFont *f = bz_Font_GetDefault();
    ASSERT_EQ(f, bz_Font_GetDefault()); // made once
    EXPECT_EQ(f->lineHeight, 15.0f);
    EXPECT_EQ(f->digitWidth, 8.0f);
    EXPECT_EQ(f->fixedWidth, 8.0f);
    EXPECT_EQ(f->shadowColourIndex, 31);
    EXPECT_EQ(f->colourIndex, 0);
    EXPECT_EQ(f->shadowOffsetX, 2);
    EXPECT_EQ(f->shadowOffsetY, 2);
    EXPECT_EQ(f->scaleX, 1.0f);
    EXPECT_EQ(f->scaleY, 1.0f);
    EXPECT_EQ(f->lineGap, 0.0f);
    EXPECT_EQ(f->slot, -1);
    // 'A' is character 65, the 34th from the space: column 5, row 1 of 28-glyph rows.
    const bzGlyph &a = f->glyphs[65];
    EXPECT_FLOAT_EQ(a.uLeft, 45.0f / 256);
    EXPECT_FLOAT_EQ(a.uRight, 53.0f / 256);
    EXPECT_FLOAT_EQ(a.vTop, 15.0f / 64);
    EXPECT_FLOAT_EQ(a.vBottom, 30.0f / 64);
    EXPECT_EQ(a.advance, 8.0f);
    EXPECT_EQ(a.width, 8.0f);
    EXPECT_EQ(f->glyphs[126].advance, 8.0f);
    for (int c : {0, 10, 31, 127})
        EXPECT_EQ(f->glyphs[c].advance, 0.0f) << c;
    EXPECT_EQ(bz_Font_GetLineHeight(nullptr), 15.0f);
    EXPECT_EQ(bz_Font_GetFixedWidth(nullptr), 8);
    EXPECT_EQ(bz_Font_GetCharWidth(nullptr, 'A'), 8.0f);
    float uv[12];
    bz_Font_GetCharUVs(nullptr, 'A', uv);
    EXPECT_FLOAT_EQ(uv[0], 45.0f / 256);
    EXPECT_FLOAT_EQ(uv[9], 30.0f / 64);

    bz_IMGMAP *image = bz_Font_GetImage(nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "DefaultFont");
    EXPECT_EQ(image->width, 256);
    EXPECT_EQ(image->height, 64);
    EXPECT_EQ(image->format, BZ_IMAGE_1555);
    EXPECT_EQ(image->flags & 0x45, 0x45);
    // The glyph pixels are white and opaque, the space between them clear: every printable
    // glyph has some ink inside its cell and none in the column between cells.
    for (int c = 33; c < 127; ++c)
    {
        const bzGlyph &g = f->glyphs[c];
        const int x0 = static_cast<int>(std::lround(g.uLeft * 256));
        const int y0 = static_cast<int>(std::lround(g.vTop * 64));
        int ink = 0;
        for (int y = y0; y < y0 + 15; ++y)
        {
            for (int x = x0; x < x0 + 8; ++x)
            {
                const uint32_t p = Pixel(image, x, y);
                EXPECT_TRUE(p == 0xFFFFFFFFu || p == 0u) << c;
                ink += p != 0;
            }
            if (x0 + 8 < 256)
            {
                EXPECT_EQ(Pixel(image, x0 + 8, y), 0u) << c;
            }
        }
        EXPECT_GT(ink, 0) << c;
    }
}

TEST_F(FontTest, DefaultFontWithoutTextureOrLock)
{
    // The texture cannot be made: the font has no image, and no image map is left over.
    bz_MemDevice_SetSlotResult(18, 1);
    EXPECT_EQ(bz_Font_GetDefault()->image, nullptr);
    EXPECT_EQ(bz_FindImgMap("DefaultFont"), nullptr);
    EXPECT_EQ(bz_Font_GetDefault()->lineHeight, 15.0f);
    bz_Font_ReleaseDefault();
    bz_MemDevice_SetSlotResult(18, 0);
    // The lock fails: the font keeps its image, without pixels written.
    bz_MemDevice_SetSlotResult(11, 13);
    EXPECT_NE(bz_Font_GetDefault()->image, nullptr);
    EXPECT_EQ(bz_MemDevice_CallCount(6), 0u);
    bz_MemDevice_SetSlotResult(11, 0);
}

TEST_F(FontTest, TextColourDefaults)
{
    const struct
    {
        int row;
        uint32_t colour;
    } cases[] = {{0, 0xFFFFFFFF}, {1, 0xFFFF0000}, {2, 0xFF00FFFF}, {3, 0xFF000000},
                 {4, 0xC8000000}, {5, 0xFFFFFFFF}, {9, 0xFFFFFFFF}, {10, 0},
                 {30, 0},         {31, 0xFF000000}};
    for (const auto &c : cases)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(bzgTextColours[c.row].corners[k], c.colour) << c.row;
    // A later call changes nothing.
    bzgTextColours[1].corners[0] = 7;
    bz_RenderState_InitDefaults();
    EXPECT_EQ(bzgTextColours[1].corners[0], 7u);
}

// ---------------------------------------------------------------------------------------
// Layout through the text slot

TEST_F(FontTest, EscapesTabsAndNewlines)
{
    // Font of 10-pixel characters on 16-pixel lines: the tab stop is 4 x 10 = 40.
    const uint32_t white = 0xFFFFFFFF, black = 0xFF000000, red = 0xFFFF0000;
    const struct
    {
        const char *text;
        std::vector<Quad> quads; // x0, y0 and colour checked
    } cases[] = {
        {"@@", {{-0.5f, -0.5f, 0, 0, white, 0}}},
        {"@b", {{-0.5f, -0.5f, 0, 0, white, 0}}},
        {"a@C(3)b", {{-0.5f, -0.5f, 0, 0, white, 0}, {9.5f, -0.5f, 0, 0, black, 0}}},
        {"a@C(x)b", {{-0.5f, -0.5f, 0, 0, white, 0}, {9.5f, -0.5f, 0, 0, white, 0}}},
        {"a@C(31)b", {{-0.5f, -0.5f, 0, 0, white, 0}, {9.5f, -0.5f, 0, 0, white, 0}}},
        {"@C(1)a\nb", {{-0.5f, -0.5f, 0, 0, red, 0}, {-0.5f, 15.5f, 0, 0, red, 0}}},
        {"@J(40)a", {{39.5f, -0.5f, 0, 0, white, 0}}},
        {"ab@J(5)c",
         {{-0.5f, -0.5f, 0, 0, white, 0},
          {9.5f, -0.5f, 0, 0, white, 0},
          {4.5f, -0.5f, 0, 0, white, 0}}},
        {"a@Y(5)b", {{-0.5f, -0.5f, 0, 0, white, 0}, {9.5f, 4.5f, 0, 0, white, 0}}},
        {"@Q(zz)a", {{-0.5f, -0.5f, 0, 0, white, 0}}},
        {"a\x01"
         "b",
         {{-0.5f, -0.5f, 0, 0, white, 0}, {9.5f, -0.5f, 0, 0, white, 0}}},
        // Tabs: from 0 to T, from 1.4 T to 2 T, from 1.6 T to 3 T.
        {"\ta", {{39.5f, -0.5f, 0, 0, white, 0}}},
        {"@J(56)\ta", {{79.5f, -0.5f, 0, 0, white, 0}}},
        {"@J(64)\ta", {{119.5f, -0.5f, 0, 0, white, 0}}},
        // An unterminated escape ends what is shown.
        {"a@C(3", {{-0.5f, -0.5f, 0, 0, white, 0}}},
        {"a@", {{-0.5f, -0.5f, 0, 0, white, 0}}},
    };
    for (const auto &c : cases)
    {
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, c.text, 0, 0.0f, 0.0f, 0.0f);
        const std::vector<Quad> q = Quads();
        ASSERT_EQ(q.size(), c.quads.size()) << c.text;
        for (size_t i = 0; i < q.size(); ++i)
        {
            EXPECT_EQ(q[i].x0, c.quads[i].x0) << c.text << " " << i;
            EXPECT_EQ(q[i].y0, c.quads[i].y0) << c.text << " " << i;
            EXPECT_EQ(q[i].colour, c.quads[i].colour) << c.text << " " << i;
            // A glyph is as wide as its ink and a line high.
            EXPECT_EQ(q[i].x1 - q[i].x0, 10.0f) << c.text;
            EXPECT_EQ(q[i].y1 - q[i].y0, 16.0f) << c.text;
        }
    }
}

TEST_F(FontTest, ReturnedYLiesBelowTheText)
{
    EXPECT_EQ(bz_Font_PrintString(&font10.font, "a", 0, 0, 10, 0), 26);
    EXPECT_EQ(bz_Font_PrintString(&font10.font, "a\nb", 0, 0, 10, 0), 42);
    EXPECT_EQ(bz_Font_PrintString(&font10.font, nullptr, 0, 0, 10.4f, 0), 10);
    EXPECT_EQ(bz_Font_PrintString(nullptr, "x", 0, 0, 0, 0), 15);
    bz_Font_PrintString(&font10.font, "abc\nab", 0, 0, 0, 0);
    EXPECT_EQ(font10.font.widestLine, 30.0f);
    EXPECT_EQ(font10.font.lastLineEnd, 20.0f);
}

TEST_F(FontTest, WrappingInsideABox)
{
    const struct
    {
        const char *text;
        float width;
        std::vector<std::pair<float, float>> corners; // x0 + 0.5, y0 + 0.5 of each glyph
    } cases[] = {
        // The second word does not fit behind the first: a new line.
        {"aa bb", 45, {{0, 0}, {10, 0}, {0, 16}, {10, 16}}},
        // It fits exactly.
        {"aa bb", 50, {{0, 0}, {10, 0}, {30, 0}, {40, 0}}},
        // Width 0: nothing wraps.
        {"aa bb cc dd",
         0,
         {{0, 0}, {10, 0}, {30, 0}, {40, 0}, {60, 0}, {70, 0}, {90, 0}, {100, 0}}},
        // A word longer than the box is broken inside, where the line is full.
        {"abcdefg", 35, {{0, 0}, {10, 0}, {20, 0}, {0, 16}, {10, 16}, {20, 16}, {0, 32}}},
        // A long word after a short one: moved to its own line, then broken.
        {"a bcdef", 35, {{0, 0}, {0, 16}, {10, 16}, {20, 16}, {0, 32}, {10, 32}}},
    };
    for (const auto &c : cases)
    {
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, c.text, 0, 0, 0, c.width);
        const std::vector<Quad> q = Quads();
        ASSERT_EQ(q.size(), c.corners.size()) << c.text << " " << c.width;
        for (size_t i = 0; i < q.size(); ++i)
        {
            EXPECT_EQ(q[i].x0 + 0.5f, c.corners[i].first) << c.text << " " << c.width << " " << i;
            EXPECT_EQ(q[i].y0 + 0.5f, c.corners[i].second) << c.text << " " << c.width << " " << i;
        }
    }
    // A line broken by wrapping adds the font's line gap; a newline does not.
    font10.font.lineGap = 4;
    RecordedRuns().clear();
    bz_Font_PrintString(&font10.font, "aa bb\ncc", 0, 0, 0, 45);
    const std::vector<Quad> q = Quads();
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(q[2].y0 + 0.5f, 20.0f);
    EXPECT_EQ(q[4].y0 + 0.5f, 36.0f);
}

TEST_F(FontTest, HorizontalAndVerticalAlignment)
{
    const struct
    {
        const char *text;
        uint32_t flags;
        float x, y, width;
        std::vector<std::pair<float, float>> corners;
    } cases[] = {
        // Without a width: x is the right edge, or the centre.
        {"ab", 0x02, 100, 0, 0, {{80, 0}, {90, 0}}},
        {"abc", 0x04, 100, 0, 0, {{85, 0}, {95, 0}, {105, 0}}},
        // With a width: the box [x - width, x], each line moved right by the room it leaves.
        {"ab\nabcd", 0x02, 100, 0, 100, {{80, 0}, {90, 0}, {60, 16}, {70, 16}, {80, 16}, {90, 16}}},
        {"ab\nabc", 0x04, 0, 0, 100, {{40, 0}, {50, 0}, {35, 16}, {45, 16}, {55, 16}}},
        // A wrapped line is aligned by its own width.
        {"aa bbb", 0x02, 50, 0, 50, {{30, 0}, {40, 0}, {20, 16}, {30, 16}, {40, 16}}},
        // Bottom: up by one line a run; vertical centring: by half of it, rounded.
        {"ab", 0x10, 0, 100, 0, {{0, 84}, {10, 84}}},
        {"ab", 0x20, 0, 100, 0, {{0, 92}, {10, 92}}},
    };
    for (const auto &c : cases)
    {
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, c.text, c.flags, c.x, c.y, c.width);
        const std::vector<Quad> q = Quads();
        ASSERT_EQ(q.size(), c.corners.size()) << c.text << " " << c.flags;
        for (size_t i = 0; i < q.size(); ++i)
        {
            EXPECT_EQ(q[i].x0 + 0.5f, c.corners[i].first) << c.text << " " << c.flags << " " << i;
            EXPECT_EQ(q[i].y0 + 0.5f, c.corners[i].second) << c.text << " " << c.flags << " " << i;
        }
    }
}

TEST_F(FontTest, ShadowPassFirstInTheShadowColour)
{
    bz_Font_PrintString(&font10.font, "a@C(1)b", 0x40, 10, 20, 0);
    const auto &runs = RecordedRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].shadow, 1);
    EXPECT_EQ(runs[1].shadow, 0);
    EXPECT_EQ(runs[0].flags & 0x40, 0u);
    const std::vector<Quad> q = Quads(true);
    ASSERT_EQ(q.size(), 4u);
    // The shadow: 6 pixels right and down, colour 4 throughout.
    EXPECT_EQ(q[0].x0, 15.5f);
    EXPECT_EQ(q[0].y0, 25.5f);
    EXPECT_EQ(q[0].colour, 0xC8000000u);
    EXPECT_EQ(q[1].colour, 0xC8000000u);
    EXPECT_EQ(q[2].x0, 9.5f);
    EXPECT_EQ(q[2].colour, 0xFFFFFFFFu);
    EXPECT_EQ(q[3].colour, 0xFFFF0000u);
}

TEST_F(FontTest, FixedDigitsAndFixedWidth)
{
    // '1' has ink 4 wide, '8' 8 wide; the digit cell is 10.
    font10.glyphs['1'] = {0, 1, 0, 1, 5, 4, 0};
    font10.glyphs['8'] = {0, 1, 0, 1, 9, 8, 0};
    bz_Font_PrintString(&font10.font, "18", 0x80, 0, 0, 0);
    std::vector<Quad> q = Quads();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].x0, 2.5f); // (10 - 4) / 2 - 0.5
    EXPECT_EQ(q[1].x0, 10.5f);
    EXPECT_EQ(q[0].x1 - q[0].x0, 4.0f);
    // Without the flag they advance by their own widths.
    RecordedRuns().clear();
    bz_Font_PrintString(&font10.font, "18", 0, 0, 0, 0);
    q = Quads();
    EXPECT_EQ(q[1].x0, 4.5f);
    // Fixed width: every character, the tab stop too (4 x 12).
    font10.font.fixedWidth = 12;
    RecordedRuns().clear();
    bz_Font_PrintString(&font10.font, "1a", 0x100, 0, 0, 0);
    bz_Font_PrintString(&font10.font, "1\tb", 0x100, 0, 0, 0);
    q = Quads();
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[0].x0, 3.5f);  // (12 - 4) / 2 - 0.5
    EXPECT_EQ(q[1].x0, 12.5f); // 12 + (12 - 10) / 2 - 0.5
    EXPECT_EQ(q[3].x0, 48.5f); // the tab from 12 to 48
    EXPECT_EQ(bz_Font_GetStringWidth(&font10.font, "18", 0x80), 20.0f);
}

TEST_F(FontTest, FontSwitchesMakeRunsOnACommonBottom)
{
    bzFontTable[1] = &font5.font; // 20-pixel lines
    const float y = static_cast<float>(bz_Font_PrintString(&font10.font, "ab@F(1)cd", 0, 0, 0, 0));
    const auto &runs = RecordedRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "ab");
    EXPECT_EQ(runs[1].text, "cd");
    EXPECT_EQ(runs[1].font, &font5.font);
    EXPECT_EQ(runs[0].last, 0);
    EXPECT_EQ(runs[1].last, 1);
    // The pen goes on where the first run ended, 4 pixels up so that both end at 16.
    EXPECT_EQ(runs[1].penX, 20.0f);
    EXPECT_EQ(runs[1].penY, -4.0f);
    EXPECT_EQ(y, 16.0f);
    const std::vector<Quad> q = Quads();
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[3].x0, 24.5f);
    EXPECT_EQ(q[3].y1, 15.5f);
    EXPECT_EQ(q[1].y1, 15.5f);

    // An empty slot selects "DefaultFont"; so does a slot outside the table.
    RecordedRuns().clear();
    bz_Font_PrintString(&font10.font, "a@F(5)b@F(~)c", 0, 0, 0, 0);
    ASSERT_EQ(RecordedRuns().size(), 3u);
    EXPECT_EQ(RecordedRuns()[1].font, bz_Font_GetDefault());
    EXPECT_EQ(RecordedRuns()[2].font, bz_Font_GetDefault());

    // Heights: the largest of the fonts the text selects.
    bzFontTable[2] = &tall.font;
    EXPECT_EQ(bz_Font_GetMaxLineHeight(&font10.font, "x@F(1)y"), 20.0f);
    EXPECT_EQ(bz_Font_GetMaxLineHeight(&font10.font, "x@F(1)y@F(2)"), 24.0f);
    EXPECT_EQ(bz_Font_GetMaxLineHeight(&font5.font, "x@F(7)"), 20.0f);
    EXPECT_EQ(bz_Font_GetMaxLineHeight(&font10.font, "x@F(7)"), 16.0f);
}

TEST_F(FontTest, WrappingAcrossFontChangesMatchesOneFont)
{
    // The same text in one font and split over two runs of the same metrics wraps and aligns
    // alike.
    UniformFont twin(10.0f, 16.0f);
    bzFontTable[3] = &twin.font;
    for (uint32_t flags : {0u, 0x02u, 0x04u})
    {
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, "aa bbb cc dd", flags, 100, 0, 70);
        const std::vector<Quad> one = Quads();
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, "aa b@F(3)bb cc @F(3)dd", flags, 100, 0, 70);
        const std::vector<Quad> split = Quads();
        ASSERT_EQ(one.size(), split.size()) << flags;
        for (size_t i = 0; i < one.size(); ++i)
        {
            EXPECT_EQ(one[i].x0, split[i].x0) << flags << " " << i;
            EXPECT_EQ(one[i].y0, split[i].y0) << flags << " " << i;
        }
    }
}

TEST_F(FontTest, AtMostThirtyOneRuns)
{
    bzFontTable[1] = &font5.font;
    std::string text = "y";
    for (int i = 0; i < 40; ++i)
        text += "@F(1)x";
    bz_Font_PrintString(&font10.font, text.c_str(), 0, 0, 0, 0);
    ASSERT_EQ(RecordedRuns().size(), 31u);
    // Later switches are ignored; every 'x' is still drawn, in the last run's font.
    EXPECT_EQ(Quads().size(), 41u);
    EXPECT_EQ(RecordedRuns().back().text.size(), 10u * 6u + 1u);
    for (const RecordedRun &r : RecordedRuns())
        EXPECT_LE(r.vertices.size(), static_cast<size_t>(r.room));
}

TEST_F(FontTest, StringWidths)
{
    bzFontTable[1] = &font5.font;
    const struct
    {
        const char *text;
        float width;
    } cases[] = {
        {"", 0},          {"abc", 30},       {"@@", 10},      {"@b", 10},      {"@C(3)ab", 20},
        {"@C(33)ab", 20}, {"a@J(40)ab", 60}, {"@Y(5)ab", 20}, {"@F(1)ab", 10}, {"a@F(1)ab", 20},
        {"@F(9)ab", 16},  {"a\tb\n", 20},    {"a@C(3", 10},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bz_Font_GetStringWidth(&font10.font, c.text, 0), c.width) << c.text;
    EXPECT_EQ(bz_Font_GetStringWidth(&font10.font, nullptr, 0), 0.0f);
    // Global scales multiply the layout; the width comes back unscaled.
    bzTextScaleX = 2.0f;
    EXPECT_EQ(bz_Font_GetStringWidth(&font10.font, "abc", 0), 30.0f);
    bz_Font_PrintString(&font10.font, "ab", 0, 10, 0, 0);
    const std::vector<Quad> q = Quads();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[1].x0, 39.5f);
    EXPECT_EQ(q[1].x1 - q[1].x0, 20.0f);
}

// ---------------------------------------------------------------------------------------
// Measuring

TEST_F(FontTest, MeasuringDrawsNothing)
{
    int dummy;
    bzViewport *target = reinterpret_cast<bzViewport *>(&dummy);
    bzg2DDrawMode = target;
    bzg2DOrigin = {1, 300, 200};
    const struct
    {
        bzFont *font;
        const char *text;
        uint32_t flags;
        float width;
        int32_t rect[4];
    } cases[] = {
        // One glyph of "DefaultFont" (8 x 15): one pixel wider and higher.
        {nullptr, "A", 0, 0, {0, 0, 9, 16}},
        {nullptr, "A", 0x40, 0, {0, 0, 11, 18}},
        {&font10.font, "ab", 0, 0, {0, 0, 21, 17}},
        {&font10.font, "ab\nc", 0, 0, {0, 0, 21, 33}},
        {&font10.font, "ab", 0x02, 0, {-20, 0, 21, 17}},
        {&font10.font, "aa bb", 0, 45, {0, 0, 21, 33}},
        {&font10.font, "", 0, 0, {0, 0, 0, 0}},
    };
    for (const auto &c : cases)
    {
        int32_t rect[4] = {-1, -1, -1, -1};
        bz_Font_MeasureText(c.font, c.text, c.flags, c.width, rect);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(rect[k], c.rect[k]) << c.text << " " << c.flags << " " << k;
    }
    EXPECT_TRUE(RecordedRuns().empty());
    // The drawing target was switched off and restored around each measure.
    const bzMemDeviceCall *note = bz_MemDevice_LastCall(43);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->args[0], reinterpret_cast<uint64_t>(target));
    EXPECT_EQ(bz_MemDevice_CallCount(43), 14u);
    EXPECT_EQ(bzg2DOrigin.active, 1);
    EXPECT_EQ(bzg2DDrawMode, target);
    bzg2DDrawMode = nullptr;
    bzg2DOrigin = {};
}

TEST_F(FontTest, FormattedTextIsBoundedTo1023Characters)
{
    const std::string longText(3000, 'a');
    int32_t rect[4];
    bz_Font_MeasureTextf(&font10.font, 0, 0, rect, "%s", longText.c_str());
    EXPECT_EQ(rect[2], 10231);
    bz_Font_Printf(&font10.font, 0, 0, 0, 0, "%s%d", longText.c_str(), 5);
    EXPECT_EQ(Quads().size(), 1023u);
    // Unformatted text of any length is drawn whole.
    RecordedRuns().clear();
    bz_Font_PrintString(&font10.font, longText.c_str(), 0, 0, 0, 0);
    EXPECT_EQ(Quads().size(), 3000u);
}

TEST_F(FontTest, DrawingOriginOffsetsTheText)
{
    bzg2DOrigin = {1, 100, 50};
    const int32_t y = bz_Font_PrintString(&font10.font, "ab", 0, 5, 5, 0);
    EXPECT_EQ(y, 21);
    const std::vector<Quad> q = Quads();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].x0, 104.5f);
    EXPECT_EQ(q[0].y0, 54.5f);
    EXPECT_EQ(font10.font.lastLineEnd, 25.0f);
    bzg2DOrigin = {};
}

// ---------------------------------------------------------------------------------------
// Fonts from font data blocks

std::vector<uint8_t> Format01Block(uint32_t format, uint32_t lineHeight)
{
    std::vector<uint8_t> b;
    PutU32(b, format << 16 | lineHeight);
    for (uint32_t c = 0; c < 128; ++c)
    {
        const bool glyph = c >= 'A' && c <= 'Z';
        PutU32(b, glyph ? (c - 'A') * 4 : 0);
        PutU32(b, glyph ? 16 : 0);
        PutU32(b, glyph ? (c == 'W' ? 9 : 4) : 0);
    }
    for (uint32_t d = 0; d < 10; ++d)
        bz_PutU32LE(b.data() + 4 + ('0' + d) * 12 + 8, d == 7 ? 6 : 3);
    return b;
}

std::vector<uint8_t> RecordBlock(uint32_t format)
{
    std::vector<uint8_t> b;
    PutU32(b, format << 16);
    const uint32_t count = format == 5 ? 256 : 128;
    for (uint32_t c = 0; c < count; ++c)
    {
        const float f = static_cast<float>(c);
        PutF32(b, f / 256);
        PutF32(b, (f + 1) / 256);
        PutF32(b, 0.25f);
        PutF32(b, 0.5f);
        PutF32(b, c >= 32 ? 7.0f : 0.0f);
        PutF32(b, 6.0f);
        if (format != 2)
            PutF32(b, c == 'A' ? 1.5f : 0.0f);
    }
    PutF32(b, 18.0f); // line height
    PutF32(b, 9.0f);  // digit width
    PutF32(b, 11.0f); // fixed width
    if (format >= 4)
    {
        PutF32(b, 2.0f);
        PutU32(b, 0xABCD);
    }
    return b;
}

TEST_F(FontTest, FontsFromEveryDataFormat)
{
    for (uint32_t format : {0u, 1u})
    {
        bz_IMGMAP *image = FontImage("Glyphs", Format01Block(format, 14));
        bzFont *f = bz_Font_Create("Glyphs", 1);
        ASSERT_NE(f, nullptr) << format;
        EXPECT_EQ(image->refCount, 2);
        EXPECT_EQ(f->image, image);
        EXPECT_EQ(bzFontTable[1], f);
        EXPECT_EQ(f->slot, 1);
        EXPECT_EQ(f->lineHeight, 14.0f);
        EXPECT_EQ(f->digitWidth, 6.0f);
        EXPECT_EQ(f->fixedWidth, 9.0f);
        EXPECT_EQ(f->shadowColourIndex, 4);
        EXPECT_EQ(f->shadowOffsetX, 6);
        const bzGlyph &c = f->glyphs['C'];
        EXPECT_FLOAT_EQ(c.uLeft, 8.0f / 128);
        EXPECT_FLOAT_EQ(c.uRight, 12.0f / 128);
        EXPECT_FLOAT_EQ(c.vTop, 16.0f / 64);
        EXPECT_FLOAT_EQ(c.vBottom, 30.0f / 64);
        EXPECT_EQ(c.advance, 4.0f);
        EXPECT_EQ(f->glyphs['a'].advance, 0.0f);
        bz_Font_Release(f);
        EXPECT_EQ(bzFontTable[1], nullptr);
        EXPECT_EQ(image->refCount, 1);
        bz_ReleaseImgMap(image);
    }
    for (uint32_t format : {2u, 3u, 4u, 5u})
    {
        bz_IMGMAP *image = FontImage("Glyphs", RecordBlock(format));
        bzFont *f = bz_Font_Create("Glyphs", 40); // no slot of the table
        ASSERT_NE(f, nullptr) << format;
        EXPECT_EQ(f->slot, -1);
        EXPECT_EQ(f->glyphCount, format == 5 ? 256 : 128) << format;
        EXPECT_EQ(f->lineHeight, 18.0f);
        EXPECT_EQ(f->digitWidth, 9.0f);
        EXPECT_EQ(f->fixedWidth, 11.0f);
        EXPECT_EQ(f->spacing, format >= 4 ? 2.0f : 0.0f) << format;
        EXPECT_EQ(f->formatWord, format >= 4 ? 0xABCDu : 0u) << format;
        const bzGlyph &a = f->glyphs['A'];
        EXPECT_FLOAT_EQ(a.uLeft, 65.0f / 256);
        EXPECT_FLOAT_EQ(a.uRight, 66.0f / 256);
        EXPECT_EQ(a.vTop, 0.25f);
        EXPECT_EQ(a.vBottom, 0.5f);
        EXPECT_EQ(a.advance, 7.0f);
        EXPECT_EQ(a.width, 6.0f);
        EXPECT_EQ(a.offsetX, format == 2 ? 0.0f : 1.5f) << format;
        if (format == 5)
        {
            EXPECT_FLOAT_EQ(f->glyphs[200].uLeft, 200.0f / 256);
            EXPECT_EQ(bz_Font_GetStringWidth(f, "\xC8", 0), 9.0f);
        }
        else // no glyph: the spacing only
            EXPECT_EQ(bz_Font_GetStringWidth(f, "\xC8", 0), format == 4 ? 2.0f : 0.0f);
        bz_Font_Release(f);
        bz_ReleaseImgMap(image);
    }
}

TEST_F(FontTest, BadFontDataMakesNoFont)
{
    // No image map of that name.
    bzgLastError = 0;
    EXPECT_EQ(bz_Font_Create("NoSuchFont", 0), nullptr);
    // No data block, a format above 5, a short block: no font, the image map released.
    const std::vector<std::vector<uint8_t>> blocks = {
        {},
        RecordBlock(6),
        {1, 2},
        []
        {
            auto b = RecordBlock(3);
            b.resize(b.size() - 1);
            return b;
        }(),
        []
        {
            auto b = Format01Block(0, 14);
            b.resize(100);
            return b;
        }(),
        []
        {
            auto b = RecordBlock(5);
            b.resize(4 + 128 * 28 + 20);
            return b;
        }(),
    };
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        bz_IMGMAP *image = FontImage("Broken", blocks[i]);
        bzgLastError = 0;
        EXPECT_EQ(bz_Font_Create("Broken", 2), nullptr) << i;
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << i;
        EXPECT_EQ(image->refCount, 1) << i;
        EXPECT_EQ(bzFontTable[2], nullptr) << i;
        bz_ReleaseImgMap(image);
    }
}

// Random font data blocks: a font is made exactly when the format is 0-5 and the block holds
// all that format needs, and its glyph records then hold the block's numbers.
TEST_F(FontTest, FuzzedFontDataAgreesWithAReferenceReader)
{
    std::mt19937 rng(25);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
    int made = 0, refused = 0;
    while (std::chrono::steady_clock::now() < until)
    {
        const uint32_t format = rng() % 8;
        const uint32_t count = format == 5 ? 256 : 128;
        const uint32_t need = format <= 1   ? 4 + 128 * 12
                              : format == 2 ? 4 + 128 * 24 + 12
                              : format == 3 ? 4 + 128 * 28 + 12
                                            : 4 + count * 28 + 20;
        uint32_t size = need;
        switch (rng() % 3)
        {
        case 0: size = rng() % (need + 1); break;
        case 1: size = need + rng() % 64; break;
        default: break;
        }
        std::vector<uint8_t> b(std::max<uint32_t>(size, 4));
        for (uint8_t &x : b)
            x = static_cast<uint8_t>(rng());
        bz_PutU32LE(b.data(), format << 16 | (rng() % 40));
        b.resize(size);
        bz_IMGMAP *image = FontImage("Fuzzed", b);
        bzFont *f = bz_Font_Create("Fuzzed", -1);
        const bool valid = format <= 5 && size >= need;
        ASSERT_EQ(f != nullptr, valid) << format << " " << size;
        if (f)
        {
            ++made;
            const uint32_t c = rng() % count;
            const bzGlyph &g = f->glyphs[c];
            if (format >= 2)
            {
                const uint32_t rec = format == 2 ? 24 : 28;
                const uint8_t *r = b.data() + 4 + c * rec;
                EXPECT_EQ(std::memcmp(&g.uLeft, r, 4), 0);
                EXPECT_EQ(std::memcmp(&g.width, r + 20, 4), 0);
                const float adv = bz_GetF32LE(r + 16);
                if (std::isfinite(adv))
                {
                    EXPECT_EQ(std::memcmp(&g.advance, r + 16, 4), 0);
                }
            }
            else
            {
                const int32_t w = static_cast<int32_t>(bz_GetU32LE(b.data() + 4 + c * 12 + 8));
                EXPECT_EQ(g.advance, w > 0 ? static_cast<float>(w) : 0.0f);
            }
            // Whatever the numbers, text in the font lays out and measures.
            int32_t rect[4];
            bz_Font_MeasureText(f, "Ab 1@@\t\xC8x", 0x40, 30, rect);
            bz_Font_PrintString(f, "Ab 1@@\t\xC8x", 0x84, 0, 0, 30);
            bz_Font_Release(f);
        }
        else
            ++refused;
        EXPECT_EQ(image->refCount, 1);
        bz_ReleaseImgMap(image);
    }
    EXPECT_GT(made, 10);
    EXPECT_GT(refused, 10);
}

// ---------------------------------------------------------------------------------------
// Layout into a caller's sink

struct SunkRun
{
    const bzFont *font;
    std::vector<bzTextVertex> vertices;
};
void Sink(const bzFont *font, const bzTextVertex *v, int32_t count, void *user)
{
    static_cast<std::vector<SunkRun> *>(user)->push_back({font, {v, v + count}});
}

TEST_F(FontTest, LayoutIntoASinkGivesTheQuadsThatDrawingDraws)
{
    bzFontTable[1] = &font5.font;
    const struct
    {
        const char *text;
        uint32_t flags;
        float width;
    } cases[] = {
        {"ab cd@C(3)ef gh", 0, 35.0f},
        {"ab@F(1)cd ef\nxy", BZ_TEXT_CENTRE, 40.0f},
        {"right", BZ_TEXT_RIGHT, 0.0f},
        {"mid", BZ_TEXT_CENTRE, 0.0f},
        {"12 81", BZ_TEXT_FIXED_DIGITS | BZ_TEXT_RIGHT, 50.0f},
    };
    for (const auto &c : cases)
    {
        RecordedRuns().clear();
        bz_Font_PrintString(&font10.font, c.text, c.flags, 0, 0, c.width);
        const float widest = font10.font.widestLine;
        std::vector<SunkRun> sunk;
        bz_Font_LayoutText(&font10.font, c.text, c.flags, c.width, Sink, &sunk);
        ASSERT_EQ(sunk.size(), RecordedRuns().size()) << c.text;
        for (size_t r = 0; r < sunk.size(); ++r)
        {
            EXPECT_EQ(sunk[r].font, RecordedRuns()[r].font) << c.text;
            ASSERT_EQ(sunk[r].vertices.size(), RecordedRuns()[r].vertices.size()) << c.text;
            for (size_t i = 0; i < sunk[r].vertices.size(); ++i)
            {
                const bzTextVertex &a = sunk[r].vertices[i], &b = RecordedRuns()[r].vertices[i];
                EXPECT_EQ(a.x, b.x) << c.text << " vertex " << i;
                EXPECT_EQ(a.y, b.y) << c.text << " vertex " << i;
                EXPECT_EQ(a.u, b.u) << c.text << " vertex " << i;
                EXPECT_EQ(a.colour, b.colour) << c.text << " vertex " << i;
            }
        }
        EXPECT_EQ(font10.font.widestLine, widest) << c.text;
    }
    // The drop shadow and measuring bits lay out the text once, as drawn.
    std::vector<SunkRun> sunk;
    bz_Font_LayoutText(&font10.font, "ab", BZ_TEXT_SHADOW | BZ_TEXT_MEASURE, 0, Sink, &sunk);
    ASSERT_EQ(sunk.size(), 1u);
    EXPECT_EQ(sunk[0].vertices.size(), 12u);
    EXPECT_EQ(sunk[0].vertices[0].x, -0.5f);
    // Nothing to lay out, or nowhere to put it.
    sunk.clear();
    EXPECT_EQ(bz_Font_LayoutText(&font10.font, nullptr, 0, 0, Sink, &sunk), 0.0f);
    EXPECT_EQ(bz_Font_LayoutText(&font10.font, "ab", 0, 0, nullptr, &sunk), 0.0f);
    EXPECT_TRUE(sunk.empty());
    bzFontTable[1] = nullptr;
}
} // namespace
