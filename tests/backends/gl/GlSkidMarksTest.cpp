// OpenGL skid-mark ribbons on a 640x480 frame (identity projection, so view space is clip
// space): a ribbon added onto the frame between its pairs, flat-coloured and textured across
// its width, a ribbon of starts only, and part triangles.
#include "GlTestSupport.h"

#include "backends/gl/GlSkidMarks.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "render/SkidRibbon.h"
#include "scene/SkidMarks.h"

#include <vector>

namespace
{
bzSkidPoint Pair(float y, int32_t marker, uint32_t colour)
{
    return {{{{-0.3f, y, 0.0f}}}, marker, {{{0.3f, y, 0.0f}}}, colour};
}

class GlSkidMarksTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        points_ = {Pair(-0.6f, BZ_SKID_START, 0xFF804020), Pair(0.0f, BZ_SKID_CONTINUE, 0xFF804020),
                   Pair(0.6f, BZ_SKID_CONTINUE, 0xFF804020), Pair(0, 0, 0)};
        trail_.points = points_.data();
        trail_.capacity = 4;
        trail_.tail = 0;
        trail_.head = 3;
        set_.trailCount = 1;
        set_.trails = &trail_;
        bz_M34_Copy(bz_M34_Identity(), &view_.viewMatrix);
    }
    // The frame cleared to a dark blue, then the set drawn as the viewport render draws it.
    void Draw(const char *picture)
    {
        ClearFrame(kW, kH);
        glClearColor(0.0f, 0.0f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        bz_DrawSkidMarks(&set_, &view_);
        ReadFrame(picture);
    }
    std::vector<bzSkidPoint> points_;
    bzSkidTrail trail_{};
    bzSkidMarkSet set_{};
    bzViewport view_{};
};

TEST_F(GlSkidMarksTest, ARibbonIsAddedOntoTheFrameBetweenItsPairs)
{
    // The ribbon spans x -0.3 to 0.3 (pixels 224 to 416) and y -0.6 to 0.6 (rows 96 to 384);
    // its colour (128, 64, 32) is added to the blue of 102.
    Draw("gl_skid_ribbon");
    ExpectNear(320, 240, {128, 64, 134});
    ExpectNear(230, 110, {128, 64, 134});
    ExpectNear(410, 370, {128, 64, 134});
    ExpectNear(215, 240, {0, 0, 102});
    ExpectNear(425, 240, {0, 0, 102});
    ExpectNear(320, 90, {0, 0, 102});
    ExpectNear(320, 390, {0, 0, 102});
    // A ribbon of starts only draws nothing.
    points_[1].marker = points_[2].marker = BZ_SKID_START;
    Draw(nullptr);
    ExpectNear(320, 240, {0, 0, 102});
}

TEST_F(GlSkidMarksTest, TheTextureRunsAcrossTheRibbonLeftToRight)
{
    // Red on the left edge's half, green on the right's: u is 0 on the left edges, 1 on the
    // right ones; white pairs at full alpha add the texel.
    RowImage image({{255, 255, 0, 0}, {255, 0, 255, 0}});
    set_.image = &image.image;
    for (bzSkidPoint &p : points_)
        p.colour = 0xFFFFFFFF;
    Draw("gl_skid_textured");
    ExpectNear(260, 240, {255, 0, 102});
    ExpectNear(380, 240, {0, 255, 102});
    ExpectNear(260, 120, {255, 0, 102});
    ExpectNear(380, 360, {0, 255, 102});
    // Whole triangles only: a count short of one draws the rest.
    std::vector<bzRibbonVertex> v(static_cast<size_t>(bz_SkidRibbon_MaxVertices(&trail_)));
    const int32_t n = bz_SkidRibbon_Fill(&trail_, v.data());
    ASSERT_EQ(n, 12);
    ClearFrame(kW, kH);
    OGL_DrawSkidRibbon(v.data(), 2, nullptr, 0);
    OGL_DrawSkidRibbon(nullptr, 12, nullptr, 0);
    ReadFrame();
    ExpectNear(320, 240, {0, 0, 0}, 0);
}
} // namespace
