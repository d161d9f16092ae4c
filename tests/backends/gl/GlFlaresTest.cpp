// OpenGL lens flares: shapes drawn in screen pixels onto a 640x480 frame, added by one minus
// their alpha.
#include "GlTestSupport.h"

#include "backends/gl/GlFlares.h"
#include "scene/Flare.h"

namespace
{
TEST_F(GlFrameTest, FlareShapesAddOneMinusTheirAlphaInScreenPixels)
{
    // A triangle with corners at pixels (100, 100), (300, 100) and (100, 300), y down.
    bzFlareVertex v[3] = {{100, 100, 0, 1, 0x00606060, 0, 0},
                          {300, 100, 0, 1, 0x00606060, 1, 0},
                          {100, 300, 0, 1, 0x00606060, 0, 1}};
    const uint16_t indices[3] = {0, 1, 2};
    bzgRenderTable.PDDrawFlares(nullptr);
    bzgRenderTable.PDSetFlareArrays(0, v, 3, int32_t(sizeof(bzFlareVertex)), indices, 3);
    // The same triangle again at alpha 0x80: it adds (1 - 128/255) of its colour on top.
    for (auto &c : v)
        c.colour = 0x80606060;
    OGL_SetFlareArrays(0, v, 3, int32_t(sizeof(bzFlareVertex)), indices, 3);
    ReadFrame("gl_flares");
    const int twice = 0x60 + int(0x60 * (1.0f - 128.0f / 255.0f) + 0.5f);
    ExpectNear(150, 150, {twice, twice, twice}, 2);
    ExpectNear(105, 280, {twice, twice, twice}, 2);
    ExpectNear(280, 280, {0, 0, 0}, 0); // past the long side
    ExpectNear(90, 150, {0, 0, 0}, 0);

    // With an image: a white one leaves the colours as they are; the colour array is off
    // afterwards.
    SolidImage white(255, 255, 255, 255);
    ClearFrame(kW, kH);
    for (auto &c : v)
        c.colour = 0x00204060;
    OGL_DrawFlares(&white.image);
    OGL_SetFlareArrays(0, v, 3, int32_t(sizeof(bzFlareVertex)), indices, 3);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP);
    ReadFrame("gl_flares_image");
    // The colour's bytes as they lie in memory: 0x60, 0x40, 0x20 (blue first) go to red,
    // green and blue.
    ExpectNear(150, 150, {0x60, 0x40, 0x20}, 2);

    // Nothing to draw: no vertices, no indices.
    ClearFrame(kW, kH);
    OGL_SetFlareArrays(0, v, 0, int32_t(sizeof(bzFlareVertex)), indices, 3);
    OGL_SetFlareArrays(0, v, 3, int32_t(sizeof(bzFlareVertex)), nullptr, 3);
    OGL_SetFlareArrays(0, nullptr, 3, int32_t(sizeof(bzFlareVertex)), indices, 3);
    ReadFrame();
    ExpectNear(150, 150, {0, 0, 0}, 0);
}

TEST_F(GlFrameTest, FlaresShowWhateverCullingAModelLeftOn)
{
    // A model drawn before leaves back faces culled; flare shapes are seen whichever way their
    // corners run on the screen.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    const bzFlareVertex v[4] = {{100, 100, 0, 1, 0x00606060, 0, 0},
                                {300, 100, 0, 1, 0x00606060, 1, 0},
                                {100, 300, 0, 1, 0x00606060, 0, 1},
                                {400, 300, 0, 1, 0x00606060, 0, 1}};
    const uint16_t clockwise[3] = {0, 1, 2}; // on the screen, y down
    const uint16_t anticlockwise[3] = {1, 2, 3};
    OGL_DrawFlares(nullptr);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    OGL_SetFlareArrays(0, v, 4, int32_t(sizeof(bzFlareVertex)), clockwise, 3);
    OGL_SetFlareArrays(0, v, 4, int32_t(sizeof(bzFlareVertex)), anticlockwise, 3);
    ReadFrame("gl_flares_culling");
    ExpectNear(130, 130, {0x60, 0x60, 0x60}, 2);
    ExpectNear(330, 280, {0x60, 0x60, 0x60}, 2);
}
} // namespace
