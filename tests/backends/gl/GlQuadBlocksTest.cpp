// OpenGL quad blocks on a 640x480 frame (identity projection, so view space is clip space):
// quads facing the camera in their colours, hidden quads, an atlas cell of a textured quad
// raised by the array's lift, the blend kinds, a turned lump.
#include "GlTestSupport.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlQuadBlocks.h"
#include "maths/Matrix.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/PooledEmitter.h"

#include <vector>

namespace
{
bzQuad Quad(float x, float y, float w, float h, uint32_t colour, uint32_t flags = BZ_QUAD_VISIBLE,
            uint32_t frame = 0)
{
    bzQuad q{};
    q.centre = {{{x, y, 0.0f}}};
    q.width = w;
    q.height = h;
    q.colour = colour;
    q.flags = flags;
    q.frame = frame;
    return q;
}

class GlQuadBlocksTest : public GlFrameTest
{
protected:
    // Draws the quads through slot 2 with the lump's view matrix, and reads the frame.
    void Draw(std::vector<bzQuad> quads, const char *picture, bool clear = true)
    {
        if (clear)
            ClearFrame(kW, kH);
        quads_ = std::move(quads);
        array_.quads = quads_.data();
        array_.count = static_cast<uint32_t>(quads_.size());
        lump_.type = BZ_LUMP_TYPE_QUADBLOCKARRAY;
        lump_.object = &array_;
        bzSlot::DrawQuadBlockArray(nullptr, &lump_);
        ReadFrame(picture);
    }
    void SetUp() override
    {
        GlFrameTest::SetUp();
        array_.columns = array_.rows = 1.0f;
        bz_M34_Copy(bz_M34_Identity(), &lump_.worldMatrix);
    }
    std::vector<bzQuad> quads_;
    bzQuadBlockArray array_{};
    bzLump lump_{};
};

TEST_F(GlQuadBlocksTest, VisibleQuadsAreDrawnInTheirColoursHiddenOnesAreNot)
{
    // Clip x -0.5 is pixel 160, y 0 is row 240; a 0.4 x 0.4 quad covers 128 x 96 pixels.
    Draw({Quad(-0.5f, 0.0f, 0.4f, 0.4f, 0xFFFF0000), Quad(0.5f, 0.0f, 0.4f, 0.4f, 0xFF00FF00),
          Quad(0.0f, 0.5f, 0.4f, 0.4f, 0xFF0000FF, 0)},
         "gl_quads_colours");
    ExpectNear(160, 240, {255, 0, 0});
    ExpectNear(480, 240, {0, 255, 0});
    ExpectNear(320, 120, {0, 0, 0}, 0); // hidden
    // The red quad's edges: x 96 to 224, rows 192 to 288.
    ExpectRectangle(96, 224, 192, 288, {255, 0, 0});
}

TEST_F(GlQuadBlocksTest, ATexturedQuadShowsItsAtlasCellRaisedByTheLift)
{
    // An atlas of two cells across: red, then blue. Frame 1 is the blue cell; the lift of 0.5
    // raises the 0.4-high quad by 0.2 (48 rows).
    RowImage atlas({{255, 255, 0, 0}, {255, 0, 0, 255}});
    array_.image = &atlas.image;
    array_.columns = 2.0f;
    array_.lift = 0.5f;
    Draw({Quad(0.0f, 0.0f, 0.4f, 0.4f, 0xFFFFFFFF, BZ_QUAD_VISIBLE, 1)}, "gl_quads_atlas");
    ExpectNear(320, 192, {0, 0, 255});
    ExpectNear(320, 150, {0, 0, 255});
    ExpectNear(320, 236, {0, 0, 255});
    ExpectNear(320, 250, {0, 0, 0}, 0); // below the raised quad
    ExpectNear(320, 140, {0, 0, 0}, 0);
    // Frame 0 is the red cell, its colour modulated by the quad's.
    Draw({Quad(0.0f, 0.0f, 0.4f, 0.4f, 0xFF808080, BZ_QUAD_VISIBLE, 0)}, "gl_quads_atlas0");
    ExpectNear(320, 192, {128, 0, 0});
}

TEST_F(GlQuadBlocksTest, BlendKindsAddSubtractAndMixByAlpha)
{
    struct Case
    {
        int32_t blend;
        uint32_t under;
        uint32_t over;
        std::array<int, 3> want; // worked out from the blend equations
    };
    const Case cases[] = {
        {BZ_OGL_BLEND_ADD, 0xFFFF0000, 0x8000FF00, {255, 128, 0}},      // + 0.5 green
        {BZ_OGL_BLEND_SUBTRACT, 0xFFFFFFFF, 0xFF00FF00, {255, 0, 255}}, // - green
        {BZ_OGL_BLEND_ALPHA, 0xFF0000FF, 0x80FF0000, {128, 0, 127}},    // half red over blue
        {17, 0xFF0000FF, 0x80FF0000, {128, 0, 127}},                    // any other: alpha
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.blend);
        array_.blend = BZ_OGL_BLEND_ALPHA;
        Draw({Quad(0.0f, 0.0f, 0.4f, 0.4f, c.under)}, nullptr);
        array_.blend = c.blend;
        Draw({Quad(0.0f, 0.0f, 0.4f, 0.4f, c.over)}, "gl_quads_blend", false);
        ExpectNear(320, 240, c.want);
    }
}

TEST_F(GlQuadBlocksTest, QuadsFaceTheCameraUnderATurnedLump)
{
    // The lump turned a quarter about y and placed at x 0.25: the quad still covers 128 x 96
    // pixels around pixel (400, 240), columns 336 to 464 and rows 192 to 288.
    bz_M34_RotationY(&lump_.worldMatrix, 90.0f);
    bz_M34_SetTranslation(&lump_.worldMatrix, 0.25f, 0.0f, 0.0f);
    Draw({Quad(0.0f, 0.0f, 0.4f, 0.4f, 0xFF00FFFF)}, "gl_quads_turned");
    ExpectNear(400, 240, {0, 255, 255});
    ExpectRectangle(336, 464, 192, 288, {0, 255, 255});
}

TEST_F(GlQuadBlocksTest, EmptyArraysAndOtherLumpsDrawNothing)
{
    Draw({}, nullptr);
    ExpectNear(320, 240, {0, 0, 0}, 0);
    std::vector<bzQuad> one = {Quad(0.0f, 0.0f, 0.4f, 0.4f, 0xFFFFFFFF)};
    array_.quads = one.data();
    array_.count = 1;
    bzLump model{};
    model.type = BZ_LUMP_TYPE_MODEL;
    model.object = &array_;
    OGL_DrawQuadBlockArray(nullptr, &model);
    OGL_DrawQuadBlockArray(nullptr, nullptr);
    ReadFrame();
    ExpectNear(320, 240, {0, 0, 0}, 0);
}

} // namespace
