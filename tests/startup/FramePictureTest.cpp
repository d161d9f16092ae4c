// One whole frame drawn end to end on the OpenGL back end: a scene of lumps (a root, a camera, a
// directional light and two lit cubes made by the display shapes), a viewport over the display,
// the frame driver's render of the viewports, and the picture read back from the back buffer.
// Where each cube lands is worked out here from the camera and its field of view.
#include "backends/gl/GlTestSupport.h"

#include "core/Memory.h"
#include "maths/Matrix.h"
#include "models/DisplayModels.h"
#include "models/ImgMap.h"
#include "models/Material.h"
#include "models/Model.h"
#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/FrameDriver.h"
#include "render/Font.h"
#include "render/Gui.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "support/RenderFrameSupport.h"

#include <array>
#include <cmath>
#include <vector>

namespace
{
// Half-angle of the camera's view across the width, in degrees.
constexpr float kFieldOfView = 30.0f;
constexpr float kPi = 3.14159265f;

struct Pixel
{
    int x;
    int y; // from the top
};

class FramePictureTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bz_OpenImgMapLibrary();
        bz_OpenMaterialLibrary();
        ASSERT_TRUE(ResetRenderFrame(kW, kH));
    }

    void TearDown() override
    {
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        if (root_)
            bz_Lump_DestroyTree(root_);
        if (camera_)
            bz_Lump_DestroyTree(camera_);
        for (bzModel *m : models_)
            bz_ReleaseModel(m);
        for (bzMaterial *m : materials_)
            bz_ReleaseMaterial(m);
        bz_Font_ReleaseDefault();
        bz_MousePointer_Release();
        bz_DrawQueue_Free();
        bz_Scene_ResetBatches();
        bz_Models_RemoveSceneServices();
        GlFrameTest::TearDown();
    }

    // A cube of the edge and colour as a model lump under the root at (x, y, z).
    bzLump *CubeAt(const char *name, bzColour colour, float edge, float x, float y, float z)
    {
        bzMaterial *material = bz_CreateMaterialWithColour(name, colour);
        EXPECT_NE(material, nullptr);
        materials_.push_back(material);
        bzModel *model = bz_CreateCubeModel(name, material, edge);
        EXPECT_NE(model, nullptr);
        models_.push_back(model);
        bzLump *lump = bz_Lump_CreateModel(model);
        bz_M34_SetTranslation(&lump->matrix, x, y, z);
        bz_Lump_AppendChild(root_, lump);
        return lump;
    }

    // Where a point in camera space (the camera looks along +z, x to the right, y up) lands on
    // the display: x' = x cot(fov) / z across the width, y' = y cot(fov) aspect / z.
    static Pixel Project(float x, float y, float z)
    {
        const float cot = 1.0f / std::tan(kFieldOfView * kPi / 180.0f);
        const float aspect = float(kW) / float(kH);
        const float nx = x * cot / z;
        const float ny = y * cot * aspect / z;
        return {int(std::lround((nx + 1.0f) * 0.5f * kW)),
                int(std::lround((1.0f - ny) * 0.5f * kH))};
    }

    // One frame as the frame driver renders it, read back and written as the picture.
    void RenderAndRead(const char *picture)
    {
        EXPECT_EQ(bz_Engine_RenderFrame(), 0);
        ReadFrame(picture);
    }

    void ExpectNear(Pixel p, std::array<int, 3> want, int tolerance, const char *what) const
    {
        SCOPED_TRACE(what);
        GlFrameTest::ExpectNear(p.x, p.y, want, tolerance);
    }

    bzLump *root_ = nullptr;
    bzLump *camera_ = nullptr;
    std::vector<bzModel *> models_;
    std::vector<bzMaterial *> materials_;
};

TEST_F(FramePictureTest, TwoLitCubesOnTheBackgroundWhereTheCameraSeesThem)
{
    root_ = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    camera_ = bz_Lump_CreateCamera(nullptr, kFieldOfView);
    ASSERT_NE(root_, nullptr);
    ASSERT_NE(camera_, nullptr);
    // A white directional light shining along +z, from behind the camera onto the cubes' near
    // faces.
    bzM34 sun{};
    sun.row[0] = {1, 0, 0};
    sun.row[1] = {0, 1, 0};
    sun.row[2] = {0, 0, 1};
    const bzLightParameters white = {0xFFFFFFFF, 0, nullptr};
    bzLump *light = bz_Lump_CreateLight(BZ_LUMP_TYPE_DIRLIGHT, &sun, &white);
    ASSERT_NE(light, nullptr);
    bz_Lump_AppendChild(root_, light);
    // A red cube right of and above the middle, a smaller blue one left of and below it.
    const float edge = 2.0f;
    CubeAt("RedBox", 0xFFC02010, edge, 2.0f, 1.0f, 12.0f);
    CubeAt("BlueBox", 0xFF1030C0, 1.0f, -3.0f, -1.5f, 10.0f);

    bzViewport *view = bz_Viewport_Create(0, camera_, root_, 0, 0, kW, kH);
    ASSERT_NE(view, nullptr);
    bz_Viewport_SetFlags(view, BZ_VIEWPORT_CLEAR_COLOUR | BZ_VIEWPORT_CLEAR_DEPTH);
    view->background[0] = 40;
    view->background[1] = 90;
    view->background[2] = 60;
    bz_Viewport_SetAmbientColour(view, 0xFF000000);
    RenderAndRead("frame_two_cubes");

    const std::array<int, 3> background = {40, 90, 60};
    ExpectNear({0, 0}, background, 1, "top left corner");
    ExpectNear({kW - 1, kH - 1}, background, 1, "bottom right corner");

    // The near face of each cube faces the light straight on: its colour, lit whole.
    const Pixel red = Project(2.0f, 1.0f, 12.0f - edge / 2);
    const Pixel blue = Project(-3.0f, -1.5f, 10.0f - 0.5f);
    ExpectNear(red, {0xC0, 0x20, 0x10}, 12, "red cube's centre");
    ExpectNear(blue, {0x10, 0x30, 0xC0}, 12, "blue cube's centre");
    // The red cube's left side, seen past its near face, is turned away from the light: with
    // no ambient light it is black, so the faces are lit, not flat-filled.
    ExpectNear(Project(2.0f - edge / 2, 1.0f, 12.0f), {0, 0, 0}, 12, "red cube's left side");
    // The cube ends at its edges: just outside the red cube's near face the background shows,
    // and the middle of the display, between the two cubes, is empty.
    const Pixel rightOfRed = Project(2.0f + edge / 2 + 0.3f, 1.0f, 12.0f - edge / 2);
    ExpectNear(rightOfRed, background, 1, "right of the red cube");
    ExpectNear({kW / 2, kH / 2}, background, 1, "the display's middle");
    // The picture is not mirrored: the red cube is in the upper right quarter.
    EXPECT_GT(red.x, kW / 2);
    EXPECT_LT(red.y, kH / 2);
}
} // namespace
