// The face-list drawing on the OpenGL back end: a gathered face drawn over a viewport lands where
// the scene's own projection puts it, filled in the list's colour and blended by its alpha over
// what is there, and afterwards the back end's rectangle is the whole display again.
#include "backends/gl/GlTestSupport.h"

#include "backends/gl/GlFaceListDebug.h"
#include "maths/Matrix.h"
#include "render/FrameDriver.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "support/RenderFrameSupport.h"

#include <GL/gl.h>

#include <cmath>

namespace
{
class FaceListOverlayTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(ResetRenderFrame(kW, kH));
    }
    void TearDown() override
    {
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        if (camera_)
            bz_Lump_DestroyTree(camera_);
        bz_DrawQueue_Free();
        bz_Scene_ResetBatches();
        bz_Models_RemoveSceneServices();
        GlFrameTest::TearDown();
    }
    bzLump *camera_ = nullptr;
};

TEST_F(FaceListOverlayTest, AFaceIsDrawnWhereTheSceneProjectionPutsIt)
{
    // The camera a little back from the origin, looking along +z.
    bzM34 at;
    bz_M34_SetIdentity(&at);
    at.row[3] = {{{0.0f, 0.0f, -2.0f}}};
    camera_ = bz_Lump_CreateCamera(&at, kFieldOfView);
    ASSERT_NE(camera_, nullptr);
    bzViewport *view = bz_Viewport_Create(0, camera_, nullptr, 0, 0, kW, kH);
    ASSERT_NE(view, nullptr);
    // One face 10 in front of the camera.
    bzDynFaceHit face{};
    face.vertices[0] = {{{-3.0f, -3.0f, 8.0f}}};
    face.vertices[1] = {{{3.0f, -3.0f, 8.0f}}};
    face.vertices[2] = {{{0.0f, 3.0f, 8.0f}}};
    bzDynFaceList list{1, 1, 0, 0, nullptr, 0, &face};
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFFFF0000u, view, &list), 0);
    ReadFrame("face_list_overlay");

    const std::array<int, 3> red = {255, 0, 0};
    int x, y;
    // Inside the face near the middle of its bottom edge, near its right edge, and its middle.
    Project(0.0f, -2.8f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), red) << x << ", " << y;
    Project(1.8f, -1.0f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), red) << x << ", " << y;
    Project(0.0f, -1.0f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), red) << x << ", " << y;
    // Just outside it: below the bottom edge, right of the right edge, and the display's corner.
    Project(0.0f, -3.2f, 10.0f, &x, &y);
    EXPECT_NE(At(x, y), red) << x << ", " << y;
    Project(2.2f, -1.0f, 10.0f, &x, &y);
    EXPECT_NE(At(x, y), red) << x << ", " << y;
    EXPECT_NE(At(0, 0), red);

    // Half-transparent green over the red face: 255 x 127/255 red and 255 x 128/255 green.
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0x8000FF00u, view, &list), 0);
    ReadFrame("face_list_overlay_blend");
    Project(0.0f, -1.0f, 10.0f, &x, &y);
    ExpectNear(x, y, {127, 128, 0}, 2);

    // A viewport over part of the display: afterwards the rectangle is the whole display.
    bzViewport *part = bz_Viewport_Create(1, camera_, nullptr, 100, 50, 320, 240);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFF00FF00u, part, &list), 0);
    GLint rect[4] = {};
    glGetIntegerv(GL_VIEWPORT, rect);
    EXPECT_EQ(rect[0], 0);
    EXPECT_EQ(rect[1], 0);
    EXPECT_EQ(rect[2], kW);
    EXPECT_EQ(rect[3], kH);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (float c : colour)
        EXPECT_EQ(c, 1.0f);
}
} // namespace
