// OpenGL skid-mark ribbons on a 640x480 frame (identity projection, so view space is clip
// space): a ribbon added onto the frame between its pairs, flat-coloured and textured across
// its width, a ribbon of starts only, and part triangles; and one viewport's render drawing a
// quad block and a ribbon through the OpenGL table.
#include "GlTestSupport.h"

#include "backends/gl/GlSkidMarks.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "render/SceneRender.h"
#include "render/SkidRibbon.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "scene/PooledEmitter.h"
#include "scene/SkidMarks.h"
#include "support/RenderFrameSupport.h"

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
// One viewport's whole render through the OpenGL table: a quad-block lump found by the walk
// and drawn from the depth queue, and the ribbon of a SKIDMARKS lump drawn after the batches,
// both seen through a camera at the origin looking along +z (a field of view of 45 degrees
// each side: at depth 10 the frame is 20 units across).
TEST_F(GlFrameTest, AViewportRenderDrawsItsQuadBlocksAndSkidMarks)
{
    ASSERT_TRUE(ResetRenderFrame(kW, kH));
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 45.0f);
    bzViewport *view = bz_Viewport_Create(0, camera, root, 0, 0, kW, kH);
    ASSERT_NE(view, nullptr);
    bz_Viewport_SetClipPlanes(view, 1.0f, 100.0f);
    view->flags |= BZ_VIEWPORT_CLEAR_COLOUR | BZ_VIEWPORT_CLEAR_DEPTH;

    // A red quad 4 units across at depth 10 on the right: x 3 to 7, the pixels 416 to 544.
    bzQuadBlockArray *array = bz_QuadBlockArray_Create(1, 0, 0, nullptr);
    ASSERT_NE(array, nullptr);
    array->radius = 3.0f;
    array->quads[0] = {{{{0.0f, 0.0f, 0.0f}}}, BZ_QUAD_VISIBLE, 4.0f, 4.0f, 0xFFFF0000, 0};
    bzLump *quads = bz_Lump_Create(BZ_LUMP_TYPE_QUADBLOCKARRAY, "quads");
    bz_Lump_SetObject(quads, array);
    bz_QuadBlockArray_Release(array);
    bz_M34_SetTranslation(&quads->matrix, 5.0f, 0.0f, 10.0f);
    bz_Lump_AppendChild(root, quads);

    // A green ribbon on the left, x -7 to -3 and y -2 to 2 at depth 10: pixels 96 to 224.
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(1, 4, nullptr);
    ASSERT_NE(set, nullptr);
    bzSkidTrail &t = set->trails[0];
    for (int i = 0; i < 3; ++i)
        t.points[i] = {{{{-7.0f, -2.0f + 2.0f * float(i), 10.0f}}},
                       i ? BZ_SKID_CONTINUE : BZ_SKID_START,
                       {{{-3.0f, -2.0f + 2.0f * float(i), 10.0f}}},
                       0xFF00FF00};
    t.tail = 0;
    t.head = 3;
    bzLump *marks = bz_Lump_Create(BZ_LUMP_TYPE_SKIDMARKS, "marks");
    bz_Lump_SetObject(marks, set);
    bz_Lump_AppendChild(root, marks);

    bz_Viewport_Render(view);
    ReadFrame("gl_viewport_quads_skids");
    ExpectNear(480, 240, {255, 0, 0});
    ExpectNear(160, 240, {0, 255, 0});
    // The edges: the quad from pixel 416 to 544, both from row 176 to 304.
    ExpectRectangle(416, 544, 176, 304, {255, 0, 0});
    ExpectNear(100, 300, {0, 255, 0});
    ExpectNear(90, 300, {0, 0, 0}, 0);
    ExpectNear(220, 310, {0, 0, 0}, 0);
    ExpectNear(320, 240, {0, 0, 0}, 0);
    ExpectNear(480, 100, {0, 0, 0}, 0);
    ExpectNear(160, 100, {0, 0, 0}, 0);

    bz_Viewport_Destroy(view);
    bz_Lump_DestroyTree(root);
    bz_Lump_DestroyTree(camera);
    bz_DrawQueue_Free();
    bz_Scene_ResetBatches();
    bz_Models_RemoveSceneServices();
}
} // namespace
