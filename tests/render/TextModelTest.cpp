// Text labels as models: four vertices and two polygons a glyph, scaled to the line height and
// the width, wrapping, the glyphs' texture coordinates and corner colours, one material for
// each font page, the lump without a material override, and refused input (empty text, a font
// without glyphs or line height, heights and widths that are not usable).
#include "render/TextModel.h"

#include "ModelsTestSupport.h"
#include "models/SceneLink.h"
#include "render/Font.h"
#include "support/RawAllocFailure.h"
#include "support/TextRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace
{
struct V2
{
    float x, y;
};

class TextModelTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_Models_InstallSceneServices();
        bz_Font_ReleaseDefault();
        bzTextScaleX = bzTextScaleY = 1.0f;
        std::memcpy(savedColours_, bzgTextColours, sizeof savedColours_);
        // Colour 0: a different word in each corner (top left, top right, bottom left, bottom
        // right); colour 3 the same shifted.
        bzgTextColours[0] = {{0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u}, 0};
        bzgTextColours[3] = {{0xFF000031u, 0xFF000032u, 0xFF000033u, 0xFF000034u}, 0};
        pageA_ = bz_CreateImgMap("pageA", BZ_IMAGE_8888, 16, 16, 0);
        pageB_ = bz_CreateImgMap("pageB", BZ_IMAGE_8888, 16, 16, 0);
        ASSERT_NE(pageA_, nullptr);
        ASSERT_NE(pageB_, nullptr);
        // Font "ten": printable characters advance 10 pixels on lines of 20; 'A' has its own
        // texture corners.
        ten_.font.image = pageA_;
        ten_.glyphs['A'] = {0.25f, 0.5f, 0.125f, 0.375f, 10.0f, 10.0f, 0.0f};
        other_.font.image = pageB_;
        std::memset(bzFontTable, 0, sizeof bzFontTable);
        bzFontTable[1] = &other_.font;
    }
    void TearDown() override
    {
        std::memset(bzFontTable, 0, sizeof bzFontTable);
        std::memcpy(bzgTextColours, savedColours_, sizeof savedColours_);
        bz_ReleaseImgMap(pageA_);
        bz_ReleaseImgMap(pageB_);
        bz_Font_ReleaseDefault();
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
    static V2 Vertex(const bzModel *m, int i)
    {
        const bzModelDataVertex &v = m->vertexData->vertices[i];
        EXPECT_EQ(v.z, 0.0f);
        return {v.x, v.y};
    }
    // Expects the four vertices of glyph g: the cell from (x0, y0) to (x1, y1), y upwards.
    static void ExpectGlyph(const bzModel *m, int g, float x0, float y0, float x1, float y1)
    {
        const V2 want[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        for (int k = 0; k < 4; ++k)
        {
            const V2 got = Vertex(m, 4 * g + k);
            EXPECT_NEAR(got.x, want[k].x, 1e-5f) << "glyph " << g << " corner " << k;
            EXPECT_NEAR(got.y, want[k].y, 1e-5f) << "glyph " << g << " corner " << k;
        }
    }

    bzTextColourRow savedColours_[BZ_TEXT_COLOURS] = {};
    bz_IMGMAP *pageA_ = nullptr;
    bz_IMGMAP *pageB_ = nullptr;
    UniformFont ten_{10.0f, 20.0f};
    UniformFont other_{5.0f, 20.0f};
};

TEST_F(TextModelTest, FourVerticesAndTwoPolygonsAGlyphScaledToTheHeight)
{
    // Height 2 over lines of 20 pixels: 0.1 a pixel both ways.
    bzModel *m = bz_CreateTextModel(&ten_.font, "Hi!", 0, 0.0f, 2.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    ASSERT_NE(m->vertexData, nullptr);
    EXPECT_EQ(m->vertexData->vertexCount, 12);
    EXPECT_EQ(m->vertexData->polygonCount, 6);
    EXPECT_EQ(m->refCount, 1);
    EXPECT_STREQ(m->name, "");
    for (int g = 0; g < 3; ++g)
        ExpectGlyph(m, g, g * 1.0f, 0.0f, g + 1.0f, -2.0f);
    // Each glyph's polygons run top left, top right, bottom right, and top left, bottom right,
    // bottom left, with smoothing mask 1.
    for (int g = 0; g < 3; ++g)
    {
        const bzModelPolygon &p0 = m->vertexData->polygons[2 * g];
        const bzModelPolygon &p1 = m->vertexData->polygons[2 * g + 1];
        const uint32_t b = 4 * g;
        EXPECT_EQ(p0.v[0], b);
        EXPECT_EQ(p0.v[1], b + 1);
        EXPECT_EQ(p0.v[2], b + 2);
        EXPECT_EQ(p1.v[0], b);
        EXPECT_EQ(p1.v[1], b + 2);
        EXPECT_EQ(p1.v[2], b + 3);
        EXPECT_EQ(p0.smoothing, 1);
        EXPECT_EQ(p1.smoothing, 1);
    }
    // The prepared part spans the text (its bounds keep a margin of a thousandth).
    ASSERT_NE(m->part, nullptr);
    EXPECT_NEAR(m->boxMin.x, 0.0f, 2e-3f);
    EXPECT_NEAR(m->boxMax.x, 3.0f, 2e-3f);
    EXPECT_NEAR(m->boxMin.y, -2.0f, 2e-3f);
    EXPECT_NEAR(m->boxMax.y, 0.0f, 2e-3f);
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, WidthAndAlignmentCases)
{
    const struct
    {
        const char *text;
        uint32_t flags;
        float width, height;
        float x0, x1; // the first glyph's left and the last glyph's right
        float y1;     // the bottom of the first line
    } cases[] = {
        {"Hi", 0, 0.0f, 2.0f, 0.0f, 2.0f, -2.0f},              // as high: 0.1 a pixel
        {"Hi", 0, 8.0f, 2.0f, 0.0f, 8.0f, -2.0f},              // 20 pixels stretched to 8
        {"Hi", 0, 1.0f, 4.0f, 0.0f, 1.0f, -4.0f},              // squeezed across, tall
        {"Hi", BZ_TEXT_RIGHT, 0.0f, 2.0f, -2.0f, 0.0f, -2.0f}, // right edge on the origin
        {"Hi", BZ_TEXT_CENTRE, 0.0f, 2.0f, -1.0f, 1.0f, -2.0f},
    };
    for (const auto &c : cases)
    {
        bzModel *m = bz_CreateTextModel(&ten_.font, c.text, c.flags, c.width, c.height, 0.0f);
        ASSERT_NE(m, nullptr) << c.width << " " << c.flags;
        const int n = m->vertexData->vertexCount;
        ASSERT_EQ(n, 8);
        EXPECT_NEAR(Vertex(m, 0).x, c.x0, 1e-5f) << c.width << " " << c.flags;
        EXPECT_NEAR(Vertex(m, n - 3).x, c.x1, 1e-5f) << c.width << " " << c.flags; // top right
        EXPECT_NEAR(Vertex(m, 2).y, c.y1, 1e-5f) << c.width << " " << c.flags;
        bz_ReleaseModel(m);
    }
}

TEST_F(TextModelTest, WrappingPutsTheNextWordOnTheNextLineDown)
{
    // "ab cd" in a box of 35 pixels: "cd" does not fit after "ab " and goes one line down. The
    // widest line is 20 pixels, made 4 wide; lines are 1 high.
    bzModel *m = bz_CreateTextModel(&ten_.font, "ab cd", 0, 4.0f, 1.0f, 35.0f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->vertexCount, 16);
    EXPECT_EQ(m->vertexData->polygonCount, 8);
    ExpectGlyph(m, 0, 0.0f, 0.0f, 2.0f, -1.0f);
    ExpectGlyph(m, 1, 2.0f, 0.0f, 4.0f, -1.0f);
    ExpectGlyph(m, 2, 0.0f, -1.0f, 2.0f, -2.0f);
    ExpectGlyph(m, 3, 2.0f, -1.0f, 4.0f, -2.0f);
    bz_ReleaseModel(m);

    // Without a wrap width the same text stays on one line.
    m = bz_CreateTextModel(&ten_.font, "ab cd", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    ExpectGlyph(m, 2, 1.5f, 0.0f, 2.0f, -1.0f);
    bz_ReleaseModel(m);

    // A newline starts a line of its own.
    m = bz_CreateTextModel(&ten_.font, "a\nb", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    ExpectGlyph(m, 1, 0.0f, -1.0f, 0.5f, -2.0f);
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, GlyphTextureCornersAndColours)
{
    bzModel *m = bz_CreateTextModel(&ten_.font, "A@C(3)A", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->vertexData->polygonCount, 4);
    // 'A': u from 0.25 to 0.5, v from 0.125 (top) to 0.375 (bottom).
    const float tl[2] = {0.25f, 0.125f}, tr[2] = {0.5f, 0.125f}, br[2] = {0.5f, 0.375f},
                bl[2] = {0.25f, 0.375f};
    const float *corners[2][3] = {{tl, tr, br}, {tl, br, bl}};
    // Corner colours by corner: top left 1, top right 2, bottom left 3, bottom right 4.
    const uint32_t colours[2][2][3] = {
        {{0xFF000001u, 0xFF000002u, 0xFF000004u}, {0xFF000001u, 0xFF000004u, 0xFF000003u}},
        {{0xFF000031u, 0xFF000032u, 0xFF000034u}, {0xFF000031u, 0xFF000034u, 0xFF000033u}}};
    for (int g = 0; g < 2; ++g)
        for (int i = 0; i < 2; ++i)
        {
            const bzModelPolygon &p = m->vertexData->polygons[2 * g + i];
            for (int k = 0; k < 3; ++k)
            {
                EXPECT_EQ(p.uv[k][0], corners[i][k][0]) << g << i << k;
                EXPECT_EQ(p.uv[k][1], corners[i][k][1]) << g << i << k;
                EXPECT_EQ(p.colours[k], colours[g][i][k]) << g << i << k;
            }
        }
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, OneMaterialForEachFontPage)
{
    // Two glyphs of page A, then two of the font in slot 1 (page B).
    bzModel *m = bz_CreateTextModel(&ten_.font, "AB@F(1)CD", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->vertexData->polygonCount, 8);
    bzMaterial *a = m->vertexData->polygons[0].material;
    bzMaterial *b = m->vertexData->polygons[4].material;
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m->vertexData->polygons[i].material, a);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(m->vertexData->polygons[i].material, b);
    const struct
    {
        bzMaterial *material;
        bz_IMGMAP *page;
    } pages[] = {{a, pageA_}, {b, pageB_}};
    for (const auto &p : pages)
    {
        EXPECT_EQ(p.material->layers[0].image, p.page);
        EXPECT_EQ(p.material->layers[0].blendKind, 0);
        EXPECT_EQ(p.material->red, 1.0f);
        EXPECT_EQ(p.material->green, 1.0f);
        EXPECT_EQ(p.material->blue, 1.0f);
        EXPECT_EQ(p.material->flags & 0x8u, 0u);
        EXPECT_NE(p.material->flags & 0x4u, 0u);
        // Held by the model's part alone.
        EXPECT_EQ(p.material->refCount, 1);
    }
    // The test's reference and the material's.
    EXPECT_EQ(pageA_->refCount, 2);
    EXPECT_EQ(pageB_->refCount, 2);
    // The glyphs of page B follow on the same line, 5 pixels each.
    ExpectGlyph(m, 2, 1.0f, 0.0f, 1.25f, -1.0f);
    bz_ReleaseModel(m);
    // Releasing the model gives the materials and their images back.
    EXPECT_EQ(pageA_->refCount, 1);
    EXPECT_EQ(pageB_->refCount, 1);

    // Two fonts of one page share one material.
    other_.font.image = pageA_;
    m = bz_CreateTextModel(&ten_.font, "A@F(1)C", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->polygons[0].material, m->vertexData->polygons[2].material);
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, TheLumpCarriesTheNamedModelAndNoMaterialOverride)
{
    bzLump *lump = bz_CreateTextLump("label", &ten_.font, "Go", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(lump->type, BZ_LUMP_TYPE_MODEL);
    EXPECT_STREQ(lump->name, "label");
    EXPECT_EQ(lump->material, nullptr);
    EXPECT_EQ(lump->parent, nullptr);
    auto *m = static_cast<bzModel *>(lump->object);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "label");
    EXPECT_EQ(m->refCount, 1);
    EXPECT_EQ(m->vertexData->polygonCount, 4);
    // The glyphs keep their page's material.
    EXPECT_EQ(m->vertexData->polygons[0].material->layers[0].image, pageA_);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(pageA_->refCount, 1);

    // What the model refuses, the lump refuses too.
    bzgLastError = 0;
    EXPECT_EQ(bz_CreateTextLump("label", &ten_.font, "", 0, 0.0f, 1.0f, 0.0f), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(TextModelTest, TheDefaultFontStandsInForNone)
{
    // "DefaultFont": 8 pixels a character on lines of 15.
    bzModel *m = bz_CreateTextModel(nullptr, "ok", 0, 0.0f, 1.5f, 0.0f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->vertexCount, 8);
    ExpectGlyph(m, 1, 0.8f, 0.0f, 1.6f, -1.5f);
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, RefusedTextsFontsAndSizes)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    UniformFont noGlyphs{10.0f, 20.0f};
    noGlyphs.font.glyphs = nullptr;
    UniformFont flat{10.0f, 0.0f};
    UniformFont nanLine{10.0f, nan};
    UniformFont negative{10.0f, -20.0f};
    UniformFont oddCount{10.0f, 20.0f};
    oddCount.font.glyphCount = 1000;
    const struct
    {
        bzFont *font;
        const char *text;
        float width, height, wrap;
        const char *what;
    } cases[] = {
        {&ten_.font, nullptr, 0, 1, 0, "null text"},
        {&ten_.font, "", 0, 1, 0, "empty text"},
        {&ten_.font, "   \n\t", 0, 1, 0, "no glyph"},
        {&ten_.font, "@C(1)", 0, 1, 0, "escapes only"},
        {&noGlyphs.font, "A", 0, 1, 0, "font without glyphs"},
        {&flat.font, "A", 0, 1, 0, "line height 0"},
        {&nanLine.font, "A", 0, 1, 0, "line height not a number"},
        {&negative.font, "A", 0, 1, 0, "negative line height"},
        {&oddCount.font, "A", 0, 1, 0, "glyph count"},
        {&ten_.font, "A", 0, 0, 0, "height 0"},
        {&ten_.font, "A", 0, -1, 0, "negative height"},
        {&ten_.font, "A", 0, nan, 0, "height not a number"},
        {&ten_.font, "A", 0, inf, 0, "infinite height"},
        {&ten_.font, "A", -1, 1, 0, "negative width"},
        {&ten_.font, "A", nan, 1, 0, "width not a number"},
        {&ten_.font, "A", 0, 1, nan, "wrap width not a number"},
        {&ten_.font, "A", 0, 1, -5, "negative wrap width"},
    };
    const int32_t models = bzgModelCount;
    const int32_t materials = bzgMaterial_count;
    for (const auto &c : cases)
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_CreateTextModel(c.font, c.text, 0, c.width, c.height, c.wrap), nullptr)
            << c.what;
        EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER) << c.what;
        EXPECT_EQ(bzgModelCount, models) << c.what;
        EXPECT_EQ(bzgMaterial_count, materials) << c.what;
    }
}

TEST_F(TextModelTest, ALongLabelKeepsEveryGlyphInSeveralBatches)
{
    // 8,000 polygons: more indices than one batch takes.
    const std::string text(4000, 'x');
    bzModel *m = bz_CreateTextModel(&ten_.font, text.c_str(), 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr) << bzgLastError;
    EXPECT_EQ(m->vertexData->vertexCount, 16000);
    EXPECT_EQ(m->vertexData->polygonCount, 8000);
    ExpectGlyph(m, 3999, 1999.5f, 0.0f, 2000.0f, -1.0f);
    ASSERT_NE(m->part, nullptr);
    EXPECT_GT(m->part->entryCount, 1);
    bz_ReleaseModel(m);
}

TEST_F(TextModelTest, OutOfMemoryGivesNothingAndKeepsNothing)
{
    const int32_t models = bzgModelCount;
    const int32_t materials = bzgMaterial_count;
    {
        RawAllocFailure failing;
        bzgLastError = 0;
        EXPECT_EQ(bz_CreateTextModel(&ten_.font, "AB@F(1)C", 0, 0.0f, 1.0f, 0.0f), nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_NO_MEMORY);
        EXPECT_EQ(bz_CreateTextLump("label", &ten_.font, "AB", 0, 0.0f, 1.0f, 0.0f), nullptr);
        EXPECT_GT(failing.Calls(), 0);
    }
    EXPECT_EQ(bzgModelCount, models);
    EXPECT_EQ(bzgMaterial_count, materials);
    EXPECT_EQ(pageA_->refCount, 1);
    EXPECT_EQ(pageB_->refCount, 1);
    bzModel *m = bz_CreateTextModel(&ten_.font, "AB@F(1)C", 0, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(m, nullptr);
    bz_ReleaseModel(m);
}
} // namespace
