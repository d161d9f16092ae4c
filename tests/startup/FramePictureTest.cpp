// Whole frames drawn end to end on the OpenGL back end: scenes of lumps (a root, a camera, lights
// and models made by the display shapes), a viewport over the display, the frame driver's render
// of the viewports, and the picture read back from the back buffer and written as a PNG file.
// Where each thing lands is worked out here from the camera and its field of view.
#include "backends/gl/GlTestSupport.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
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
#include "scene/Flare.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "support/RenderFrameSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace
{
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
        // The built-in font's texture belongs to the display it was made on: a test before may
        // have left the font made on a display of its own, now gone.
        bz_Font_ReleaseDefault();
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
        // The library's default material is made anew by each opening.
        bz_ReleaseMaterial(bzgMaterial_default);
        bzgMaterial_default = nullptr;
        bz_ClearDebugMessages();
        bz_Flare_ReleaseAll();
        bz_Light_SetFlareInit(nullptr);
        for (bz_IMGMAP *i : images_)
            bz_ReleaseImgMap(i);
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

    // A cube of edge 2 of the material, as a model lump under the root at the centre.
    bzLump *CubeLump(const char *name, bzMaterial *material, const float *centre)
    {
        bzModel *model = bz_CreateCubeModel(name, material, 2.0f);
        if (!model)
            return nullptr;
        models_.push_back(model);
        bzLump *lump = bz_Lump_CreateModel(model);
        bz_M34_SetTranslation(&lump->matrix, centre[0], centre[1], centre[2]);
        bz_Lump_AppendChild(root_, lump);
        return lump;
    }

    // Where a point in camera space (the camera looks along +z, x to the right, y up) lands on
    // the display.
    static Pixel Project(float x, float y, float z)
    {
        Pixel p;
        GlFrameTest::Project(x, y, z, &p.x, &p.y);
        return p;
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
    std::vector<bz_IMGMAP *> images_;
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

// ---------------------------------------------------------------------------------------------
// A small scene through the whole frame: a textured "Box" and a ball standing on a ground plane
// under a sun, both casting their stencil shadows onto the ground, a lens flare drawn from the
// viewport's after-render hook as the game draws its flare lights, and a line of the built-in
// font's text among the debug lines. The camera sits at the origin looking along +z; what each
// pixel should show is worked out here by casting its ray into the same scene.

constexpr float kGroundY = -1.5f;
// The sun shines along this unit direction (to the right, down and away from the camera).
constexpr float kSun[3] = {0.48f, -0.64f, 0.6f};
constexpr float kAmbient = 0x33 / 255.0f;
// The box: edge 2 standing on the ground; the ball: radius 1 standing on the ground.
constexpr float kBoxCentre[3] = {-1.8f, -0.5f, 12.0f};
constexpr float kBallCentre[3] = {1.8f, -0.5f, 11.0f};
constexpr float kBallRadius = 1.0f;
// Where the flare light stands, in the camera's frame.
constexpr float kFlareAt[3] = {4.0f, 3.2f, 16.0f};
constexpr std::array<int, 3> kSky = {70, 110, 170};
constexpr std::array<int, 3> kGroundColour = {150, 170, 120};
constexpr std::array<int, 3> kBallColour = {48, 80, 208};
// The box's 2 x 2 checker.
constexpr std::array<int, 3> kCheckA = {240, 200, 80};
constexpr std::array<int, 3> kCheckB = {80, 120, 220};
const char *const kCaption = "Tolvane: a box and a ball on the ground";

// The flare light whose flare the after-render hook draws, while a test has one.
bzLump *gFlareLight = nullptr;
float gFlareIntensity = 0.0f;

// What the game does for its flare lights after a viewport is drawn: the light's position,
// which the walk has brought into the camera's frame, projected with the viewport's projection.
int32_t DrawFlareAfterRender(bzViewport *v, int32_t)
{
    if (!gFlareLight || !gFlareLight->object)
        return 1;
    const auto *light = static_cast<const bzLight *>(gFlareLight->object);
    bzFlareView view{};
    view.x = float(v->x);
    view.y = float(v->y);
    view.width = float(v->width);
    view.height = float(v->height);
    view.aspect = 1.0f; // the projection carries the aspect already
    bz_Viewport_SetupProjection(v, &view.viewProjection);
    bz_Flare_Project(&view, light->flare, &gFlareLight->worldMatrix.row[3], gFlareIntensity);
    return 1;
}

// What a pixel's ray meets first.
enum class Seen
{
    Sky,
    Box,
    BallLit, // the ball's side turned towards the sun, clear of where the light grazes it
    Ball,    // the rest of the ball
    Ground,
    GroundInBoxShadow,
    GroundInBallShadow,
    Unsure, // the answer changes when the shapes grow or shrink a little: an edge
};

float Dot(const float *a, const float *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Distance along the ray to the box grown by margin (infinity for a miss).
float HitBox(const float *o, const float *d, float margin)
{
    float enter = 0.0f, leave = INFINITY;
    for (int k = 0; k < 3; ++k)
    {
        const float lo = kBoxCentre[k] - 1.0f - margin, hi = kBoxCentre[k] + 1.0f + margin;
        if (std::fabs(d[k]) < 1e-9f)
        {
            if (o[k] < lo || o[k] > hi)
                return INFINITY;
            continue;
        }
        float a = (lo - o[k]) / d[k], b = (hi - o[k]) / d[k];
        if (a > b)
            std::swap(a, b);
        enter = std::max(enter, a);
        leave = std::min(leave, b);
    }
    return enter <= leave ? enter : INFINITY;
}

float HitBall(const float *o, const float *d, float margin)
{
    const float r = kBallRadius + margin;
    const float oc[3] = {o[0] - kBallCentre[0], o[1] - kBallCentre[1], o[2] - kBallCentre[2]};
    const float a = Dot(d, d), b = Dot(oc, d), c = Dot(oc, oc) - r * r;
    const float disc = b * b - a * c;
    if (disc < 0.0f)
        return INFINITY;
    const float t = (-b - std::sqrt(disc)) / a;
    return t > 1e-4f ? t : INFINITY;
}

// How squarely the ball's surface seen along the ray faces the sun (the cosine; below 0 it faces
// away), or NaN when the ray misses the ball.
float BallFacing(const float *d)
{
    const float o[3] = {0, 0, 0};
    const float t = HitBall(o, d, 0.0f);
    if (t == INFINITY)
        return NAN;
    float n[3];
    for (int k = 0; k < 3; ++k)
        n[k] = (d[k] * t - kBallCentre[k]) / kBallRadius;
    return -Dot(n, kSun);
}

// The frame the scene is drawn into.
constexpr int kFrameW = 640;
constexpr int kFrameH = 480;

// The ray from the camera through the middle of a pixel.
std::array<float, 3> Ray(int px, int py)
{
    const float cot = 1.0f / std::tan(GlFrameTest::kFieldOfView * kPi / 180.0f);
    const float aspect = float(kFrameW) / float(kFrameH);
    const float nx = (float(px) + 0.5f) / kFrameW * 2.0f - 1.0f;
    const float ny = 1.0f - (float(py) + 0.5f) / kFrameH * 2.0f;
    return {nx / cot, ny / (cot * aspect), 1.0f};
}

Seen Classify(int px, int py, float margin)
{
    const float o[3] = {0, 0, 0};
    const std::array<float, 3> ray = Ray(px, py);
    const float *d = ray.data();
    const float box = HitBox(o, d, margin), ball = HitBall(o, d, margin);
    // The ground ends 60 units square round (0, 20).
    float ground = d[1] < 0.0f ? (kGroundY - o[1]) / d[1] : INFINITY;
    if (ground < INFINITY && (std::fabs(d[0] * ground) > 30.0f - margin ||
                              std::fabs(d[2] * ground - 20.0f) > 30.0f - margin))
        ground = INFINITY;
    const float nearest = std::min({box, ball, ground});
    if (nearest == INFINITY)
        return Seen::Sky;
    if (nearest == box)
        return Seen::Box;
    const float back[3] = {-kSun[0], -kSun[1], -kSun[2]};
    if (nearest == ball)
    {
        // The box stands beside the ball, away from the sun: nothing else shades the ball.
        const float p[3] = {d[0] * ball, d[1] * ball, d[2] * ball};
        if (HitBox(p, back, margin) < INFINITY)
            return Seen::Unsure;
        return BallFacing(d) > 0.3f ? Seen::BallLit : Seen::Ball;
    }
    // On the ground: in shadow when the way back to the sun is blocked.
    const float p[3] = {d[0] * ground, kGroundY + 1e-3f, d[2] * ground};
    if (HitBox(p, back, margin) < INFINITY)
        return Seen::GroundInBoxShadow;
    return HitBall(p, back, margin) < INFINITY ? Seen::GroundInBallShadow : Seen::Ground;
}

// The same answer whether the shapes are a little larger or a little smaller.
Seen ClassifySurely(int px, int py)
{
    const Seen grown = Classify(px, py, 0.08f), shrunk = Classify(px, py, -0.08f);
    return grown == shrunk ? grown : Seen::Unsure;
}

bool Close(std::array<int, 3> x, std::array<int, 3> y)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(x[c] - y[c]) > 4)
            return false;
    return true;
}

std::array<int, 3> Lit(std::array<int, 3> colour, float facing)
{
    const float f = kAmbient + std::max(0.0f, facing);
    std::array<int, 3> out{};
    for (int c = 0; c < 3; ++c)
        out[c] = std::min(255, int(std::lround(colour[c] * f)));
    return out;
}

TEST_F(FramePictureTest, ATexturedBoxAndABallWithShadowsAFlareAndText)
{
    static_assert(kFrameW == kW && kFrameH == kH);
    root_ = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    camera_ = bz_Lump_CreateCamera(nullptr, kFieldOfView);
    ASSERT_NE(root_, nullptr);
    ASSERT_NE(camera_, nullptr);
    bz_Flare_InitModule();

    // The sun: its matrix's z axis is the direction it shines along.
    bzM34 sun{};
    sun.row[2] = {kSun[0], kSun[1], kSun[2]};
    sun.row[0] = {0.8f, 0.0f, -0.64f};
    bz_V3_Normalise(&sun.row[0]);
    bz_V3_CrossInto(&sun.row[2], &sun.row[0], &sun.row[1]);
    const bzLightParameters white = {0xFFFFFFFF, 0, nullptr};
    bzLump *light = bz_Lump_CreateLight(BZ_LUMP_TYPE_DIRLIGHT, &sun, &white);
    ASSERT_NE(light, nullptr);
    bz_Lump_AppendChild(root_, light);

    // The ground: a 60 x 60 plane turned from facing -z (towards a camera that looks along +z)
    // to facing up.
    bzMaterial *groundMaterial = bz_CreateMaterialWithColour("Ground", 0xFF96AA78);
    ASSERT_NE(groundMaterial, nullptr);
    materials_.push_back(groundMaterial);
    bzModel *groundModel = bz_CreateHalfSpaceModel("Ground", 60.0f, 60.0f, groundMaterial);
    ASSERT_NE(groundModel, nullptr);
    models_.push_back(groundModel);
    bzLump *ground = bz_Lump_CreateModel(groundModel);
    ground->matrix.row[0] = {1, 0, 0};
    ground->matrix.row[1] = {0, 0, 1};
    ground->matrix.row[2] = {0, -1, 0};
    ground->matrix.row[3] = {0, kGroundY, 20.0f};
    bz_Lump_AppendChild(root_, ground);

    // The box, textured with a 2 x 2 checker under a white material.
    bz_IMGMAP *checker = bz_CreateImgMap("BoxChecker", BZ_IMAGE_8888, 2, 2, 0);
    ASSERT_NE(checker, nullptr);
    images_.push_back(checker);
    checker->textureFlags |= BZ_IMGTEX_SINGLE_LEVEL;
    ASSERT_EQ(bzgRenderTable.PDLockImgMap(checker, BZ_LOCK_WRITE), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
        {
            const auto &c = (x + y) % 2 ? kCheckB : kCheckA;
            bzgRenderTable.PDPutImgMapPixel(checker, x, y, 255, c[0], c[1], c[2]);
        }
    ASSERT_EQ(bzgRenderTable.PDUnlockImgMap(checker), 0);
    bz_EnsureImgMapTexture(checker);
    bzMaterial *boxMaterial = bz_CreateMaterialWithColour("BoxSkin", 0xFFFFFFFF);
    ASSERT_NE(boxMaterial, nullptr);
    materials_.push_back(boxMaterial);
    bz_SetMaterialLayerTexture(boxMaterial, 0, checker);
    bzLump *box = CubeLump("Box", boxMaterial, kBoxCentre);
    ASSERT_NE(box, nullptr);

    // The ball.
    bzMaterial *ballMaterial = bz_CreateMaterialWithColour("Ball", 0xFF3050D0);
    ASSERT_NE(ballMaterial, nullptr);
    materials_.push_back(ballMaterial);
    bzModel *ballModel = bz_CreateSphereModel("Ball", ballMaterial, 3, kBallRadius);
    ASSERT_NE(ballModel, nullptr);
    models_.push_back(ballModel);
    bzLump *ball = bz_Lump_CreateModel(ballModel);
    bz_M34_SetTranslation(&ball->matrix, kBallCentre[0], kBallCentre[1], kBallCentre[2]);
    bz_Lump_AppendChild(root_, ball);

    // What the shadows fall on and what casts them is drawn in the first batch chain, before
    // the shadow volumes are counted against its depth.
    for (bzLump *l : {ground, box, ball})
        l->flags |= BZ_LUMP_BATCH_CHAIN1;

    // The shadows: each caster's shape in a model of its own, which the shadow drawing reshapes
    // every frame. The ball's volume starts on the ball's own lit surface.
    bzModel *boxShadowModel = bz_CreateCubeModel("BoxShadow", boxMaterial, 2.0f);
    ASSERT_NE(boxShadowModel, nullptr);
    models_.push_back(boxShadowModel);
    bzModel *ballShadowModel = bz_CreateSphereModel("BallShadow", ballMaterial, 3, kBallRadius);
    ASSERT_NE(ballShadowModel, nullptr);
    models_.push_back(ballShadowModel);
    for (auto [caster, model] : {std::pair{box, boxShadowModel}, std::pair{ball, ballShadowModel}})
    {
        bzLump *shadow = bz_Lump_CreateStencilShadow(model->name, model);
        ASSERT_NE(shadow, nullptr);
        shadow->matrix = caster->matrix;
        bz_Lump_AppendChild(root_, shadow);
    }

    // The flare light, of no colour: it lights nothing, it only carries its flare.
    const uint32_t flareTemplate[6] = {7, 0, 0, 0, 0, 0};
    const bzLightParameters dark = {0xFF000000, 0, flareTemplate};
    bzM34 at = *bz_M34_Identity();
    bz_M34_SetTranslation(&at, kFlareAt[0], kFlareAt[1], kFlareAt[2]);
    gFlareLight = bz_Lump_CreateLight(BZ_LUMP_TYPE_FLARELIGHT, &at, &dark);
    ASSERT_NE(gFlareLight, nullptr);
    bz_Lump_AppendChild(root_, gFlareLight);

    bzViewport *view = bz_Viewport_Create(0, camera_, root_, 0, 0, kW, kH);
    ASSERT_NE(view, nullptr);
    bz_Viewport_SetFlags(view, BZ_VIEWPORT_CLEAR_COLOUR | BZ_VIEWPORT_CLEAR_DEPTH);
    bz_Viewport_SetClipPlanes(view, 0.5f, 200.0f);
    view->background[0] = uint8_t(kSky[0]);
    view->background[1] = uint8_t(kSky[1]);
    view->background[2] = uint8_t(kSky[2]);
    bz_Viewport_SetAmbientColour(view, 0xFF333333);
    view->afterRender = DrawFlareAfterRender;
    // The text colours, as the render start-up sets them (whatever a test before changed).
    bz_RenderState_ResetDefaults();
    bz_RenderState_InitDefaults();
    bz_ShowDebugMessage(1, "%s", kCaption);
    bzgEngineSwitches.debugMessages = 1;

    // Without the flare first, then with it.
    gFlareIntensity = 0.3f;
    bzLump *flareLight = gFlareLight;
    gFlareLight = nullptr;
    RenderAndRead("frame_scene_no_flare");
    const std::vector<uint8_t> plain = frame_;
    gFlareLight = flareLight;
    RenderAndRead("frame_scene");
    const std::vector<uint8_t> flared = frame_;
    gFlareLight = nullptr;
    frame_ = plain;

    // The sky and the ground in and out of the two shadows, on a grid of
    // pixels away from every edge, below the text lines. The overlay halves what is in shadow.
    int sky = 0, lit = 0, boxShaded = 0, ballShaded = 0, ballLit = 0;
    const std::array<int, 3> groundLit = Lit(kGroundColour, -kSun[1]);
    std::array<int, 3> groundShaded{};
    for (int c = 0; c < 3; ++c)
        groundShaded[c] = groundLit[c] / 2;
    for (int py = 60; py < kH; py += 3)
        for (int px = 2; px < kW; px += 3)
        {
            const Seen seen = ClassifySurely(px, py);
            SCOPED_TRACE(::testing::Message() << "pixel (" << px << ", " << py << ")");
            if (seen == Seen::Sky)
            {
                GlFrameTest::ExpectNear(px, py, kSky, 1);
                ++sky;
            }
            else if (seen == Seen::Ground)
            {
                GlFrameTest::ExpectNear(px, py, groundLit, 3);
                ++lit;
            }
            else if (seen == Seen::GroundInBoxShadow || seen == Seen::GroundInBallShadow)
            {
                GlFrameTest::ExpectNear(px, py, groundShaded, 3);
                ++(seen == Seen::GroundInBoxShadow ? boxShaded : ballShaded);
            }
        }
    // The grid really met each of them.
    EXPECT_GT(sky, 4000);
    EXPECT_GT(lit, 8000);
    EXPECT_GT(boxShaded, 60);
    EXPECT_GT(ballShaded, 40);

    // Every pixel of the ball's lit side keeps its light: the ball's volume starts on that very
    // surface, which must not count as inside it. The faceted ball is lit at its corners, so
    // its blue is within a fifth of the round one's, where halved it would be off by a half.
    for (int py = 60; py < kH; ++py)
        for (int px = 0; px < kW; ++px)
            if (ClassifySurely(px, py) == Seen::BallLit)
            {
                const int want = Lit(kBallColour, BallFacing(Ray(px, py).data()))[2];
                const int got = At(px, py)[2];
                EXPECT_TRUE(got * 5 >= want * 4 && got * 5 <= want * 6)
                    << "ball pixel (" << px << ", " << py << "): blue " << got << ", lit " << want;
                ++ballLit;
            }
    EXPECT_GT(ballLit, 4000);

    // The box's near face, turned 0.6 towards the sun, shows the checker: the middles of its
    // four quarters alternate between the two texels' colours.
    const std::array<int, 3> a = Lit(kCheckA, 0.6f), b = Lit(kCheckB, 0.6f);
    std::array<int, 3> quarter[4];
    const float near = kBoxCentre[2] - 1.0f;
    for (int q = 0; q < 4; ++q)
    {
        const Pixel p = Project(kBoxCentre[0] + ((q & 1) ? 0.5f : -0.5f),
                                kBoxCentre[1] + ((q & 2) ? 0.5f : -0.5f), near);
        ASSERT_EQ(ClassifySurely(p.x, p.y), Seen::Box);
        quarter[q] = At(p.x, p.y);
        EXPECT_TRUE(Close(quarter[q], a) || Close(quarter[q], b))
            << "quarter " << q << ": " << quarter[q][0] << ", " << quarter[q][1] << ", "
            << quarter[q][2];
    }
    EXPECT_TRUE(Close(quarter[0], quarter[3]));
    EXPECT_TRUE(Close(quarter[1], quarter[2]));
    EXPECT_FALSE(Close(quarter[0], quarter[1]));

    // The ball's point nearest the camera faces it straight, 0.6 towards the sun.
    const Pixel ballFront = Project(kBallCentre[0], kBallCentre[1], kBallCentre[2] - 1.0f);
    ExpectNear(ballFront, Lit(kBallColour, 0.6f), 10, "the ball's front");

    // The caption, in white on the second debug line at the left edge.
    bzFont *font = bz_Font_GetDefault();
    int32_t rect[4] = {};
    bz_Font_MeasureText(font, kCaption, 0x41, 0.0f, rect);
    const int top = int(font->lineHeight * font->scaleY);
    ASSERT_GT(rect[2], 100);
    int inked = 0, skyInLine = 0;
    for (int y = top; y < top + rect[3]; ++y)
        for (int x = 0; x < rect[2]; ++x)
        {
            const auto c = At(x, y);
            inked += c[0] > 230 && c[1] > 230 && c[2] > 230;
            skyInLine += c == kSky;
        }
    EXPECT_GT(inked, 100);
    EXPECT_GT(skyInLine, inked);
    // Nothing right of it nor on the line below it.
    for (int x = rect[2] + 8; x < kW; x += 7)
        GlFrameTest::ExpectNear(x, top + rect[3] / 2, kSky, 1);
    for (int x = 0; x < rect[2]; x += 3)
        GlFrameTest::ExpectNear(x, top + rect[3] + 6, kSky, 1);

    // The flare only adds light, round the light's place on the screen and along the line from
    // there through the middle; the far corner keeps its colour.
    const Pixel flareAt = Project(kFlareAt[0], kFlareAt[1], kFlareAt[2]);
    int brighter = 0, darker = 0, nearLight = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
        {
            const size_t i = (size_t(kH - 1 - y) * kW + x) * 4;
            int more = 0;
            for (int c = 0; c < 3; ++c)
            {
                const int d = int(flared[i + c]) - int(plain[i + c]);
                darker += d < -1;
                more += d;
            }
            if (more > 6)
            {
                ++brighter;
                nearLight += std::abs(x - flareAt.x) < 40 && std::abs(y - flareAt.y) < 40;
            }
        }
    EXPECT_EQ(darker, 0);
    EXPECT_GT(brighter, 500);
    EXPECT_GT(nearLight, 50);
    // The bottom right corner, away from the light and from the line, is untouched.
    for (int y = kH - 60; y < kH; y += 3)
        for (int x = kW - 60; x < kW; x += 3)
        {
            const size_t i = (size_t(kH - 1 - y) * kW + x) * 4;
            EXPECT_EQ(flared[i] + flared[i + 1] + flared[i + 2],
                      plain[i] + plain[i + 1] + plain[i + 2])
                << "pixel (" << x << ", " << y << ")";
        }
    frame_ = flared;
}
} // namespace
