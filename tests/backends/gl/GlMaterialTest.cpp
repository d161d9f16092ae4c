// OpenGL material passes on a 640x480 frame: the combined two-layer passes, the pass colour,
// the special effects' texture state and the layer loop, read back from the frame.
#include "GlTestSupport.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlMaterial.h"
#include "backends/gl/GlStageState.h"
#include "core/Error.h"
#include "device/MaterialRecord.h"

#include <array>
#include <vector>

namespace
{
// A material of n layers, white, unlit, every layer on with alpha 1.
struct TestMaterial
{
    std::vector<bzMaterialLayer> layers;
    bzMaterial m{};
    explicit TestMaterial(int n, int declared = -1)
    {
        layers.resize(size_t(n));
        for (auto &l : layers)
            l.alpha = 1.0f;
        m.layers = layers.data();
        m.layerCount = uint8_t(declared < 0 ? n : declared);
        m.red = m.green = m.blue = 1.0f;
        m.flags = BZ_MATERIAL_TWO_SIDED;
    }
};

std::vector<int32_t> gPasses;
// Draws a quad over the middle of the screen with texture coordinates on both units.
void DrawQuad(void *, int32_t pass)
{
    gPasses.push_back(pass);
    glBegin(GL_QUADS);
    const float xs[4] = {-0.5f, 0.5f, 0.5f, -0.5f};
    const float ys[4] = {-0.5f, -0.5f, 0.5f, 0.5f};
    for (int i = 0; i < 4; ++i)
    {
        glMultiTexCoord2f(GL_TEXTURE0, 0.5f, 0.5f);
        glMultiTexCoord2f(GL_TEXTURE1, 0.5f, 0.5f);
        glVertex3f(xs[i], ys[i], 0.0f);
    }
    glEnd();
}

float TenSeconds()
{
    return 10.0f;
}

class GlMaterialTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        bzgOGLMaterialPasses = 3;
        gPasses.clear();
    }
    void TearDown() override
    {
        bzgOGLMaterialPasses = 3;
        bzgOGLSeconds = saved_;
        GlFrameTest::TearDown();
    }
    // Draws the material over the middle of the frame; the colour at the centre.
    std::array<int, 3> Draw(TestMaterial &t, const char *picture)
    {
        OGL_SetupMaterial(&t.m, 0);
        OGL_DrawMesh(&t.m, 0, DrawQuad, nullptr);
        ReadFrame(picture);
        EXPECT_EQ(At(0, 0), (std::array<int, 3>{0, 0, 0})) << "nothing drawn outside the quad";
        return At(kW / 2, kH / 2);
    }
    float (*saved_)() = bzgOGLSeconds;
};

void ExpectColour(std::array<int, 3> got, std::array<int, 3> want, int tolerance = 3)
{
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], tolerance) << "channel " << c;
}

TEST_F(GlMaterialTest, AnAddPairAddsOrSubtractsTheSecondLayerInOnePass)
{
    struct Case
    {
        uint8_t blend;
        std::array<int, 3> want; // (100, 50, 200) and (60, 100, 30), clamped to 0..255
    };
    const Case cases[] = {{BZ_OGL_BLEND_ADD, {160, 150, 230}},
                          {BZ_OGL_BLEND_SUBTRACT, {40, 0, 170}}};
    SolidImage a(255, 100, 50, 200);
    SolidImage b(255, 60, 100, 30);
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.blend);
        ClearFrame(kW, kH);
        gPasses.clear();
        TestMaterial t(2);
        t.layers[0].image = &a.image;
        t.layers[1].image = &b.image;
        t.layers[1].blendKind = c.blend;
        const auto got = Draw(t, c.blend == BZ_OGL_BLEND_ADD ? "gl_material_add_pair"
                                                             : "gl_material_subtract_pair");
        EXPECT_EQ(OGL_MaterialPass(&t.m), uint32_t{BZ_OGL_PASS_ADD_PAIR});
        EXPECT_EQ(gPasses, (std::vector<int32_t>{0}));
        ExpectColour(got, c.want);
    }
}

TEST_F(GlMaterialTest, ADecalPairLaysTheSecondLayerOverByItsAlpha)
{
    SolidImage a(255, 200, 0, 0);
    SolidImage b(64, 0, 0, 200, BZ_IMGMAP_HAS_ALPHA);
    TestMaterial t(2);
    t.layers[0].image = &a.image;
    t.layers[1].image = &b.image;
    const auto got = Draw(t, "gl_material_decal_pair");
    EXPECT_EQ(OGL_MaterialPass(&t.m), uint32_t{BZ_OGL_PASS_DECAL_PAIR});
    const float k = 64.0f / 255.0f;
    ExpectColour(got, {int(200 * (1 - k) + 0.5f), 0, int(200 * k + 0.5f)});
}

TEST_F(GlMaterialTest, WhichMaterialsGetACombinedPass)
{
    SolidImage plain(255, 10, 10, 10);
    SolidImage keyed(255, 10, 10, 10, BZ_IMGMAP_ONE_BIT_ALPHA);
    struct Case
    {
        const char *what;
        bz_IMGMAP *a;
        bz_IMGMAP *b;
        uint8_t blendB;
        float alphaA;
        uint32_t flags;
        float effectB;
        uint32_t want;
    };
    const Case cases[] = {
        {"add pair", &plain.image, &plain.image, 1, 1.0f, 0, 0, BZ_OGL_PASS_ADD_PAIR},
        {"colour-keyed first image", &keyed.image, &plain.image, 1, 1.0f, 0, 0, BZ_OGL_PASS_LAYERS},
        {"first layer not opaque", &plain.image, &plain.image, 1, 0.5f, 0, 0, BZ_OGL_PASS_LAYERS},
        {"vertex colours", &plain.image, &plain.image, 1, 1.0f, BZ_MATERIAL_VERTEX_COLOURS, 0,
         BZ_OGL_PASS_LAYERS},
        {"untextured base", nullptr, &plain.image, 1, 1.0f, 0, 0, BZ_OGL_PASS_LAYER1_COMBINE},
        {"multiplying second layer", &plain.image, &plain.image, 2, 1.0f, 0, 0, BZ_OGL_PASS_LAYERS},
        {"unknown effect", &plain.image, &plain.image, 1, 1.0f, 0, 3, BZ_OGL_PASS_LAYERS},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        TestMaterial t(2);
        t.layers[0].image = c.a;
        t.layers[0].alpha = c.alphaA;
        t.layers[1].image = c.b;
        t.layers[1].blendKind = c.blendB;
        t.layers[1].effect[0] = c.effectB;
        t.m.flags |= c.flags;
        OGL_SetupMaterial(&t.m, 0);
        EXPECT_EQ(OGL_MaterialPass(&t.m), c.want);
    }
    // The setting 0 draws every material one layer a pass.
    bzgOGLMaterialPasses = 0;
    TestMaterial t(2);
    t.layers[0].image = &plain.image;
    t.layers[1].image = &plain.image;
    t.layers[1].blendKind = 1;
    OGL_SetupMaterial(&t.m, 0);
    EXPECT_EQ(OGL_MaterialPass(&t.m), uint32_t{BZ_OGL_PASS_LAYERS});
}

TEST_F(GlMaterialTest, EffectNineDrawsWithPassAlphaOne)
{
    for (float effect : {9.0f, 0.0f})
    {
        SCOPED_TRACE(effect);
        ClearFrame(kW, kH);
        TestMaterial t(1);
        t.m.red = 1.0f;
        t.m.green = 0.5f;
        t.m.blue = 0.0f;
        t.m.flags |= BZ_MATERIAL_BLENDED; // the first layer blends by its alpha
        t.layers[0].alpha = 0.25f;
        t.layers[0].effect[0] = effect;
        const auto got = Draw(t, effect == 9.0f ? "gl_material_effect9" : "gl_material_effect0");
        if (effect == 9.0f)
            ExpectColour(got, {255, 128, 0});
        else
            ExpectColour(got, {64, 32, 0});
    }
}

TEST_F(GlMaterialTest, AScrollingLayerAtTenSecondsIsTranslatedByOneAndAHalfAndTen)
{
    SolidImage a(255, 255, 255, 255);
    TestMaterial t(1);
    t.layers[0].image = &a.image;
    t.layers[0].flags = BZ_LAYER_SCROLLING;
    t.layers[0].scrollU = 1.0f;
    t.layers[0].scrollV = 1.0f;
    bzgOGLSeconds = TenSeconds;
    EXPECT_EQ(PDSetupTextureStage(0, 0, &t.m), 1);
    float m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_NEAR(m[12], 1.5f, 1e-5f);
    EXPECT_NEAR(m[13], 10.0f, 1e-5f);
    EXPECT_EQ(m[0], 1.0f);
    // The next plain layer brings the matrix back to the identity.
    t.layers[0].flags = 0;
    PDSetupTextureStage(0, 0, &t.m);
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_EQ(m[12], 0.0f);
    EXPECT_EQ(m[13], 0.0f);
}

TEST_F(GlMaterialTest, SphereMapGeneratesCoordinatesAndFlipsV)
{
    // The state the effect sets, and a frame drawn with it.
    SolidImage a(255, 0, 255, 0);
    TestMaterial t(1);
    t.layers[0].image = &a.image;
    t.layers[0].effect[0] = 4;
    PDSetupTextureStage(0, 0, &t.m);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    GLint mode = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_SPHERE_MAP);
    glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_SPHERE_MAP);
    float m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_EQ(m[5], -1.0f);
    EXPECT_EQ(bzgOGLTexCoordSource[0], 0);
    const auto got = Draw(t, "gl_material_sphere_map");
    ExpectColour(got, {0, 255, 0});
    // Effect 0 turns generation off again and takes the coordinate set.
    t.layers[0].effect[0] = 0;
    t.layers[0].texCoordSet = 1;
    PDSetupTextureStage(0, 0, &t.m);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_EQ(bzgOGLTexCoordSource[0], 2);
}

TEST_F(GlMaterialTest, AnUnknownEffectIsReportedAndItsLayerDrawsNothing)
{
    SolidImage a(255, 255, 255, 255);
    for (float code : {3.0f, 6.0f, 8.0f, 10.0f, 100.0f})
    {
        SCOPED_TRACE(code);
        gPasses.clear();
        ClearFrame(kW, kH);
        const uint32_t before = bz_Error_ReportCount();
        TestMaterial t(1);
        t.layers[0].image = &a.image;
        t.layers[0].effect[0] = code;
        const auto got = Draw(t, "gl_material_unknown_effect");
        EXPECT_GE(bz_Error_ReportCount(), before + 1);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "PDSetupTextureStage");
        EXPECT_STREQ(bz_Error_LastReportText(), "Unknown special effect");
        EXPECT_TRUE(gPasses.empty());
        ExpectColour(got, {0, 0, 0}, 0);
    }
}

TEST_F(GlMaterialTest, EightLayersEachDrawAPassAndNoMoreThanEightAreRead)
{
    // Eight untextured additive layers of 20 each; a record claiming 12 layers reads 8.
    TestMaterial t(8, 12);
    t.m.red = t.m.green = t.m.blue = 20.0f / 255.0f;
    t.m.flags |= BZ_MATERIAL_BLENDED;
    for (auto &l : t.layers)
        l.blendKind = BZ_OGL_BLEND_ADD;
    t.layers[3].flags = BZ_LAYER_OFF;
    const auto got = Draw(t, "gl_material_eight_layers");
    EXPECT_EQ(gPasses, (std::vector<int32_t>{0, 1, 2, 4, 5, 6, 7}));
    // Layer 0 adds the material colour, the others white (the pass colour of later layers).
    EXPECT_EQ(got[0], 255);
    TestMaterial none(0);
    none.m.layers = nullptr;
    none.m.layerCount = 5;
    gPasses.clear();
    OGL_DrawMesh(&none.m, 0, DrawQuad, nullptr);
    EXPECT_TRUE(gPasses.empty());
}
} // namespace
