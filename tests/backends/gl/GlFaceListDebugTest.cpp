// The face- and vertex-list drawing into a real OpenGL frame: a face in 0x80FF0000 over black
// reads back as half-transparent red where the camera's projection puts it, the projection
// matrix holds the terms worked out by hand, a vertex becomes a small triangle at its position,
// and afterwards the colour is white, the model-view matrix the identity and the rectangle the
// whole display, also for empty lists; nothing is drawn without a viewport.
#include "backends/gl/GlFaceListDebug.h"

#include "backends/gl/GlTestSupport.h"
#include "maths/Matrix.h"
#include "scene/Lump.h"

#include <cmath>

namespace
{
const std::array<int, 3> kBlack = {0, 0, 0};

class GlFaceListDebugTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // A camera at the origin looking along +z, over the whole display.
        bzM34 at;
        bz_M34_SetIdentity(&at);
        camera_ = bz_Lump_CreateCamera(&at, kFieldOfView);
        ASSERT_NE(camera_, nullptr);
        viewport_.camera = camera_;
        viewport_.width = kW;
        viewport_.height = kH;
        viewport_.nearClip = 1.0f;
        viewport_.farClip = 1000.0f;
    }
    void TearDown() override
    {
        if (camera_)
            bz_Lump_DestroyTree(camera_);
        GlFrameTest::TearDown();
    }
    // Colour white, model-view identity, the whole display as the rectangle; depth test and
    // blending left on.
    static void ExpectRestored()
    {
        GLfloat colour[4] = {};
        glGetFloatv(GL_CURRENT_COLOR, colour);
        for (float c : colour)
            EXPECT_EQ(c, 1.0f);
        GLfloat modelView[16] = {};
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        for (int i = 0; i < 16; i++)
            EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
        GLint rect[4] = {};
        glGetIntegerv(GL_VIEWPORT, rect);
        EXPECT_EQ(rect[0], 0);
        EXPECT_EQ(rect[1], 0);
        EXPECT_EQ(rect[2], kW);
        EXPECT_EQ(rect[3], kH);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    // Something else current before a drawing, so that restoring shows.
    static void Disturb()
    {
        glColor4f(0.25f, 0.5f, 0.75f, 0.5f);
        glMatrixMode(GL_MODELVIEW);
        glTranslatef(1.0f, 2.0f, 3.0f);
        glViewport(10, 20, 30, 40);
    }

    bzLump *camera_ = nullptr;
    bzViewport viewport_{};
};

bzDynFaceHit Face(bzV3 a, bzV3 b, bzV3 c)
{
    bzDynFaceHit hit{};
    hit.vertices[0] = a;
    hit.vertices[1] = b;
    hit.vertices[2] = c;
    return hit;
}

TEST_F(GlFaceListDebugTest, AFaceIsHalfTransparentRedOverBlackAndTheStateIsRestored)
{
    bzDynFaceHit face =
        Face({{{-3.0f, -3.0f, 10.0f}}}, {{{3.0f, -3.0f, 10.0f}}}, {{{0.0f, 3.0f, 10.0f}}});
    bzDynFaceList list{1, 1, 0, 0, nullptr, 0, &face};
    Disturb();
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0x80FF0000u, &viewport_, &list), 0);
    ExpectRestored();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
    ReadFrame("face_list_debug");

    // 255 x 128/255 over black: 128 red.
    int x, y;
    Project(0.0f, -1.0f, 10.0f, &x, &y);
    ExpectNear(x, y, {128, 0, 0}, 2);
    Project(1.5f, -2.5f, 10.0f, &x, &y);
    ExpectNear(x, y, {128, 0, 0}, 2);
    // Outside the face: beside its top corner, below its bottom edge, the display's corner.
    Project(2.0f, 2.0f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), kBlack);
    Project(0.0f, -3.5f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), kBlack);
    EXPECT_EQ(At(0, 0), kBlack);
}

TEST_F(GlFaceListDebugTest, ACompactListSeenFromAMovedCamera)
{
    // The camera 5 back along z: a face at z = 5 is 10 in front of it.
    bzM34 at;
    bz_M34_SetIdentity(&at);
    at.row[3] = {{{0.0f, 0.0f, -5.0f}}};
    bz_Lump_DestroyTree(camera_);
    camera_ = bz_Lump_CreateCamera(&at, kFieldOfView);
    ASSERT_NE(camera_, nullptr);
    viewport_.camera = camera_;
    bzDynFaceHit face =
        Face({{{-3.0f, -3.0f, 5.0f}}}, {{{3.0f, -3.0f, 5.0f}}}, {{{0.0f, 3.0f, 5.0f}}});
    bzDynFaceHit *entries[1] = {&face};
    bzDynFaceList list{1, 1, 0, 1, nullptr, 0, entries};
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFF00FF00u, &viewport_, &list), 0);
    ReadFrame();
    int x, y;
    Project(0.0f, -1.0f, 10.0f, &x, &y);
    ExpectNear(x, y, {0, 255, 0}, 2);
    Project(2.0f, 2.0f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), kBlack);
}

TEST_F(GlFaceListDebugTest, EmptyListsDrawNothingButStillRestore)
{
    bzDynFaceHit face{};
    const bzDynFaceList none{4, 0, 0, 0, nullptr, 0, &face};
    const bzDynFaceList noArray{4, 3, 0, 0, nullptr, 0, nullptr};
    for (const bzDynFaceList *list : {&none, &noArray, static_cast<const bzDynFaceList *>(nullptr)})
    {
        Disturb();
        EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFF123456u, &viewport_, list), 0);
        ExpectRestored();
    }
    Disturb();
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, nullptr, 1.0f), 0);
    ExpectRestored();
    ReadFrame();
    for (int y = 0; y < kH; y += 37)
        for (int x = 0; x < kW; x += 41)
            ASSERT_EQ(At(x, y), kBlack) << x << ", " << y;
}

TEST_F(GlFaceListDebugTest, TheProjectionHoldsTheCameraTerms)
{
    glMatrixMode(GL_PROJECTION);
    bz_DynDebug_SetProjection(30.0f, 1.5f, 1.0f, 101.0f);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat m[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    // cot 30 degrees = sqrt 3; (1 + 101) / 100; -2 x 1 x 101 / 100.
    float want[16] = {};
    want[0] = 1.7320508f;
    want[5] = 1.7320508f * 1.5f;
    want[10] = 1.02f;
    want[11] = 1.0f;
    want[14] = -2.02f;
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(m[i], want[i], 1e-5f) << i;
}

TEST_F(GlFaceListDebugTest, AVertexIsASmallTriangleAtItsPosition)
{
    bzDynVertexHit hit{};
    hit.position = {{{0.0f, 0.0f, 10.0f}}};
    bzDynVertexList list{1, 1, 0, &hit};
    Disturb();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, &list, 2.0f), 0);
    ExpectRestored();
    ReadFrame("vertex_list_debug");
    // The corners (0, 0), (2, 0) and (0, 2) at z = 10.
    int x, y;
    Project(0.5f, 0.5f, 10.0f, &x, &y);
    ExpectNear(x, y, {255, 255, 255}, 2);
    Project(-0.5f, -0.5f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), kBlack);
    Project(1.5f, 1.5f, 10.0f, &x, &y);
    EXPECT_EQ(At(x, y), kBlack);
}

TEST_F(GlFaceListDebugTest, NoViewportDrawsNothing)
{
    bzDynFaceHit face =
        Face({{{-3.0f, -3.0f, 10.0f}}}, {{{3.0f, -3.0f, 10.0f}}}, {{{0.0f, 3.0f, 10.0f}}});
    bzDynFaceList faces{1, 1, 0, 0, nullptr, 0, &face};
    bzDynVertexHit hit{};
    hit.position = {{{0.0f, 0.0f, 10.0f}}};
    bzDynVertexList vertices{1, 1, 0, &hit};
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFFFFFFFFu, nullptr, &faces), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_DynDebug_DrawVertexList(nullptr, &vertices, 1.0f), BZ_ERROR_INVALID_PARAMETER);
    ReadFrame();
    for (int y = 0; y < kH; y += 37)
        for (int x = 0; x < kW; x += 41)
            ASSERT_EQ(At(x, y), kBlack) << x << ", " << y;
}
} // namespace
