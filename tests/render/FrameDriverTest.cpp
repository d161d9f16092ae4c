// The engine frame driver through a recording renderer table: the slot order of one frame,
// viewports skipped by their before-render callback, the screen fade and tint, the blocking
// fade loop on a fixed-step clock, the frame-rate meter, the built-in mouse pointer, the text
// render-state setters, and a steady frame that takes nothing from the system heap.
#include "render/FrameDriver.h"

#include "ModelsTestSupport.h"
#include "core/Clock.h"
#include "core/Debug.h"
#include "device/ImageRecord.h"
#include "maths/Matrix.h"
#include "models/ImgMap.h"
#include "models/PosedPositions.h"
#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/Font.h"
#include "render/Gui.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "support/CubeModel.h"
#include "support/FakeInputTables.h"
#include "support/RawAllocFailure.h"
#include "support/RenderFrameSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

// The counter of the program's operator new (support/CountingNew.h, included once elsewhere).
inline std::atomic<long> gNewCalls{0};

namespace
{
struct Rect
{
    float x, y, w, h;
    uint32_t colour;
    bz_IMGMAP *image;
};
std::vector<int> gSlots;
std::vector<Rect> gRects;
int gShown = 0;

void S3()
{
    gSlots.push_back(3);
}
void S86()
{
    gSlots.push_back(86);
}
void S35()
{
    gSlots.push_back(35);
}
void S91()
{
    gSlots.push_back(91);
}
void S50()
{
    gSlots.push_back(50);
    ++gShown;
}
void S46(uint32_t)
{
    gSlots.push_back(46);
}
void S45(bzViewport *)
{
    gSlots.push_back(45);
}
int32_t S47(bzViewport *)
{
    gSlots.push_back(47);
    return 0;
}
int32_t S39(bzViewport *)
{
    gSlots.push_back(39);
    return 0;
}
void S74(bzViewport *)
{
    gSlots.push_back(74);
}
int32_t S32(float x, float y, float w, float h, uint32_t colour, int32_t, bz_IMGMAP *image,
            uint32_t)
{
    gSlots.push_back(32);
    gRects.push_back({x, y, w, h, colour, image});
    return 0;
}

std::vector<int32_t> gFadeCalls;
void OnFade(int32_t fadedIn)
{
    gFadeCalls.push_back(fadedIn);
}

bzReplayTiming gTiming{};

class FrameDriverTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        ASSERT_TRUE(ResetRenderFrame(640, 480));
        bz_RenderState_ResetDefaults();
        bz_RenderState_InitDefaults();
        bzTextScaleX = bzTextScaleY = 1.0f;
        gSlots.clear();
        gRects.clear();
        gFadeCalls.clear();
        gShown = 0;
        auto &t = bzgRenderTable;
        t.PDSetFrameShaderConstants = S3;
        t.PDBeginScene = S86;
        t.PDFlush2D = S35;
        t.PDSetupGlowTarget = S91;
        t.PDShowFrame = S50;
        t.PDSetAmbientLight = S46;
        t.PDSetProjection = S45;
        t.PDSetViewport = S47;
        t.PDClearViewport = S39;
        t.PDDisableLights = reinterpret_cast<PDGenericSlot>(S74);
        t.PDDraw2DRect = S32;
    }
    void TearDown() override
    {
        // What the tests changed of the shared render state goes back to its defaults.
        bzTextScaleX = bzTextScaleY = 1.0f;
        bz_RenderState_ResetDefaults();
        bz_RenderState_InitDefaults();
        bz_Engine_ClearFade();
        bzgEngineSwitches = {};
        bzgPixelAspect = 1.0f;
        bz_Display_SetSize(640, 480);
        bz_Clock_SetReplayServices(nullptr);
        bz_MousePointer_Release();
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        for (bzLump *l : lumps_)
            bz_Lump_DestroyTree(l);
        bz_Font_ReleaseDefault();
        bz_DrawQueue_Free();
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
    // Engine time runs in fixed steps of dt while this is installed.
    void FixedClock(float dt)
    {
        gTiming = {};
        gTiming.playbackMode = 2;
        gTiming.fixedTimes = 1;
        gTiming.fixedFrameTime = dt;
        gTiming.speed = 0.0f;
        bzClockReplayServices services{};
        services.timing = &gTiming;
        bz_Clock_SetReplayServices(&services);
    }
    void Frame()
    {
        bz_Engine_FrameUpdate();
        bz_Engine_RenderFrame();
        bz_Engine_PresentFrame();
        bz_Engine_EndFrame();
    }
    std::vector<bzLump *> lumps_;
};

int32_t Refuse(bzViewport *, int32_t)
{
    return 0;
}

TEST_F(FrameDriverTest, SlotOrderOfOneFrame)
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 45.0f);
    lumps_ = {root, camera};
    bz_Viewport_Create(0, camera, root, 0, 0, 64, 48);
    bzViewport *skipped = bz_Viewport_Create(1, camera, root, 0, 0, 64, 48);
    bz_Viewport_SetBeforeRenderCallback(skipped, Refuse);
    bzViewport *off = bz_Viewport_Create(2, camera, root, 0, 0, 64, 48);
    bz_Viewport_Disable(off);
    bzgEngineSwitches.glow = 1;
    EXPECT_EQ(bz_Engine_RenderFrame(), 0);
    // One viewport drawn; the refused and the disabled ones not at all.
    EXPECT_EQ(gSlots, (std::vector<int>{3, 86, 46, 45, 47, 39, 74, 91, 35}));
    gSlots.clear();
    bz_Engine_PresentFrame();
    EXPECT_EQ(gSlots, std::vector<int>{50});
    const uint32_t frame = bzgFrameCounter;
    const uint32_t skeletonFrame = bz_Skeleton_GetFrameStamp();
    bz_Engine_EndFrame();
    EXPECT_EQ(bzgFrameCounter, frame + 1);
    // The posed positions that skinned lumps keep for ray queries go stale with the frame.
    EXPECT_NE(bz_Skeleton_GetFrameStamp(), skeletonFrame);
}

TEST_F(FrameDriverTest, ZeroDurationFadesEndInTheFirstFrame)
{
    bz_Engine_FadeIn(OnFade, 0.0f, 0x123456, 1);
    EXPECT_EQ(bz_Engine_GetFadeMode(), BZ_FADE_IN);
    bz_Engine_DrawScreenFade();
    EXPECT_EQ(gFadeCalls, std::vector<int32_t>{1});
    EXPECT_EQ(bz_Engine_GetFadeMode(), BZ_FADE_OFF);
    EXPECT_TRUE(gRects.empty()); // faded in: alpha 0 draws nothing

    bz_Engine_FadeOut(OnFade, 0.0f, 0x123456, 1);
    bz_Engine_DrawScreenFade();
    EXPECT_EQ(gFadeCalls, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(bz_Engine_GetFadeMode(), BZ_FADE_HELD);
    // Held out: the screen stays covered every frame, the callback is not called again.
    bz_Engine_DrawScreenFade();
    ASSERT_EQ(gRects.size(), 2u);
    EXPECT_EQ(gRects[1].colour, 0xFF123456u);
    EXPECT_EQ(gRects[1].w, 640.0f);
    EXPECT_EQ(gRects[1].h, 480.0f);
    EXPECT_EQ(gFadeCalls.size(), 2u);
    bz_Engine_ClearFade();
    bz_Engine_DrawScreenFade();
    EXPECT_EQ(gRects.size(), 2u);
}

TEST_F(FrameDriverTest, TintCoversTheScreenUntilCleared)
{
    bzTextScaleX = 2.0f;
    bz_Engine_SetTint(0xAA336699, 0.5f);
    for (int i = 0; i < 3; ++i)
        bz_Engine_DrawScreenFade();
    ASSERT_EQ(gRects.size(), 3u);
    EXPECT_EQ(gRects[2].colour, 0x7F336699u); // a = 127, the colour's low 24 bits
    EXPECT_EQ(gRects[2].w, 320.0f);
    EXPECT_EQ(gRects[2].h, 480.0f);
    bz_Engine_SetTint(0xFFFFFFFF, 0.0f);
    bz_Engine_DrawScreenFade();
    EXPECT_EQ(gRects.size(), 3u);
    EXPECT_EQ(bz_Engine_GetFadeMode(), BZ_FADE_OFF);
}

TEST_F(FrameDriverTest, BlockingFadeLoopEndsOnAFixedStepClock)
{
    FixedClock(0.1f);
    // Half a second at 0.1 s a frame: the loop draws frames until the fade is complete.
    bz_Engine_FadeOut(OnFade, 0.5f, 0x000000, 0);
    EXPECT_EQ(bz_Engine_GetFadeMode(), BZ_FADE_HELD);
    EXPECT_EQ(gFadeCalls, std::vector<int32_t>{0});
    EXPECT_GE(gShown, 5);
    EXPECT_LE(gShown, 6);
    // The alphas drawn rise frame by frame to full cover.
    ASSERT_FALSE(gRects.empty());
    for (size_t i = 1; i < gRects.size(); ++i)
        EXPECT_GE(gRects[i].colour >> 24, gRects[i - 1].colour >> 24);
    EXPECT_EQ(gRects.back().colour >> 24, 255u);
}

TEST_F(FrameDriverTest, FrameRateAppearsOnTheTenthCall)
{
    FixedClock(0.02f);
    bz_Engine_ResetFrameRate();
    // The meter counts frames; the fixed clock advances by one step per present.
    for (int i = 0; i < 9; ++i)
    {
        bz_Engine_PresentFrame();
        EXPECT_EQ(bz_Engine_GetFrameRate(), 0.0f) << i;
    }
    bz_Engine_PresentFrame();
    EXPECT_NEAR(bz_Engine_GetFrameRate(), 50.0f, 0.01f);
    for (int i = 0; i < 9; ++i)
        bz_Engine_PresentFrame();
    EXPECT_NEAR(bz_Engine_GetFrameRate(), 50.0f, 0.01f);
}

TEST_F(FrameDriverTest, BuiltInPointerPixels)
{
    FakeInputTables input;
    input.pads[1].deviceType = 2;
    input.pads[1].mouseX = 17;
    input.pads[1].mouseY = 23;
    bz_MousePointer_Set(nullptr);
    bz_IMGMAP *image = bz_MousePointer_GetImage();
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "MousePointer");
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(bz_MousePointer_IsVisible(), 1);
    ASSERT_EQ(bzgRenderTable.PDLockImgMap(image, 1), 0);
    // 0 clear, 1 black, 2 white, read back as the rows say (a run from x0 to x1 covers x0 to
    // x1 - 1).
    auto at = [&](int x, int y)
    {
        uint8_t a, r, g, b;
        bzgRenderTable.PDGetImgMapPixel(image, x, y, &a, &r, &g, &b);
        return a == 0 ? 0 : (r == 0 ? 1 : 2);
    };
    const struct
    {
        int x, y, expected;
    } cases[] = {
        {0, 0, 1},   {0, 5, 1},   {1, 5, 2},   {3, 5, 2},   {4, 5, 0},   {5, 5, 1},
        {6, 5, 0},   {9, 17, 1},  {15, 17, 1}, {16, 17, 0}, {17, 17, 1}, {0, 20, 1},
        {1, 20, 2},  {2, 20, 2},  {3, 20, 0},  {4, 20, 1},  {9, 18, 1},  {4, 18, 2},
        {7, 18, 2},  {8, 18, 0},  {11, 23, 1}, {7, 23, 1},  {8, 23, 2},  {9, 23, 2},
        {10, 23, 0}, {10, 28, 1}, {11, 28, 1}, {12, 28, 0}, {31, 31, 0}, {20, 2, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(at(c.x, c.y), c.expected) << c.x << "," << c.y;
    bzgRenderTable.PDUnlockImgMap(image);

    // Drawn at the mouse's position in white.
    bz_MousePointer_Draw();
    ASSERT_EQ(gRects.size(), 1u);
    EXPECT_EQ(gRects[0].x, 17.0f);
    EXPECT_EQ(gRects[0].y, 23.0f);
    EXPECT_EQ(gRects[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(gRects[0].image, image);
    bz_MousePointer_Hide();
    bz_MousePointer_Draw();
    EXPECT_EQ(gRects.size(), 1u);

    uint32_t clicks = 0;
    int32_t x = 0;
    input.pads[1].click = 3;
    bz_Mouse_GetPosition(&x, nullptr, &clicks);
    EXPECT_EQ(x, 17);
    EXPECT_EQ(clicks, 3u);
    EXPECT_EQ(input.pads[1].click, 0u);
}

TEST_F(FrameDriverTest, TextRenderStateSetters)
{
    bz_RenderState_SetColourSet(7, 1, 2, 3, 4, 5);
    EXPECT_EQ(bzgTextColours[7].corners[0], 2u);
    EXPECT_EQ(bzgTextColours[7].corners[1], 1u);
    EXPECT_EQ(bzgTextColours[7].corners[2], 3u);
    EXPECT_EQ(bzgTextColours[7].corners[3], 4u);
    EXPECT_EQ(bzgTextColours[7].flags, 5u);
    bz_RenderState_SetColourSet(32, 9, 9, 9, 9, 9); // outside the table: ignored
    bz_RenderState_SetColourSet(-1, 9, 9, 9, 9, 9);
    EXPECT_EQ(bzgTextColours[31].corners[0], 0xFF000000u);
    EXPECT_EQ(bz_Font_GetFromTable(32), nullptr);
    EXPECT_EQ(bz_Font_GetFromTable(-1), nullptr);
    bzFont *font = bz_Font_GetDefault();
    bzFontTable[3] = font;
    EXPECT_EQ(bz_Font_GetFromTable(3), font);
    bzFontTable[3] = nullptr;
    const int32_t before = font->colourIndex;
    EXPECT_EQ(bz_Font_SetColourIndex(font, 4), before);
    EXPECT_EQ(bz_Font_SetColourIndex(font, before), 4);
    EXPECT_EQ(bz_Font_SetColourIndex(nullptr, 4), 0);
    bz_Font_SetScale(nullptr, 2, 2);
    bz_Text_SetScale(1.5f, 2.5f);
    EXPECT_EQ(bzTextScaleX, 1.5f);
    EXPECT_EQ(bzTextScaleY, 2.5f);
}

TEST_F(FrameDriverTest, DisplayAspectReachesEveryViewport)
{
    bzViewport *v = bz_Viewport_Create(0, nullptr, nullptr, 0, 0, 100, 100);
    bz_Display_SetSize(800, 600);
    bz_Display_SetAspect(16.0f / 9.0f);
    // pixel aspect = (16/9) / (4/3) = 4/3
    EXPECT_NEAR(bzgPixelAspect, 4.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(v->aspect, 4.0f / 3.0f, 1e-6f);
    bz_Display_SetAspect(4.0f / 3.0f);
    EXPECT_NEAR(v->aspect, 1.0f, 1e-6f);
    bz_Display_SetSize(0, 0);
    bz_Display_SetAspect(1.0f);
    EXPECT_EQ(bzgPixelAspect, 1.0f);
}

TEST_F(FrameDriverTest, ASteadyFrameTakesNothingFromTheHeap)
{
    bzMaterial *material = bz_CreateMaterial("m", 1);
    bzMaterial *glass = bz_CreateMaterial("g", 1);
    glass->flags = (glass->flags | 0x8000000u) & ~0x100u;
    bzModel *cube = MakeCubeModel("c", material, -0.5f, 0.5f);
    bzModel *glassCube = MakeCubeModel("g", glass, -0.5f, 0.5f);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 45.0f);
    lumps_ = {root, camera};
    for (int i = 0; i < 50; ++i)
    {
        bzLump *l = bz_Lump_CreateModel(i % 2 ? cube : glassCube);
        bz_M34_SetTranslation(&l->matrix, static_cast<float>(i % 7 - 3), 0.0f,
                              static_cast<float>(5 + i));
        bz_Lump_AppendChild(root, l);
    }
    bz_Viewport_Create(0, camera, root, 0, 0, 64, 48);
    bz_Engine_SetTint(0x000000, 0.25f);
    // Recorders that keep their calls in growing vectors stand aside here.
    bzgRenderTable.PDDraw2DRect = nullptr;
    for (PDGenericSlot *slot :
         {&bzgRenderTable.PDSetFrameShaderConstants, &bzgRenderTable.PDBeginScene,
          &bzgRenderTable.PDFlush2D, &bzgRenderTable.PDDisableLights})
        *slot = nullptr;
    bzgRenderTable.PDShowFrame = nullptr;
    bzgRenderTable.PDSetAmbientLight = nullptr;
    bzgRenderTable.PDSetProjection = nullptr;
    bzgRenderTable.PDSetViewport = nullptr;
    bzgRenderTable.PDClearViewport = nullptr;
    Frame(); // the first frame may fill pools
    RawAllocFailure failing;
    const long news = gNewCalls.load();
    for (int i = 0; i < 3; ++i)
        Frame();
    EXPECT_EQ(RawAllocFailure::Calls(), 0);
    EXPECT_EQ(gNewCalls.load(), news);
    failing.Restore();
    bz_ReleaseModel(cube);
    bz_ReleaseModel(glassCube);
    bz_ReleaseMaterial(material);
    bz_ReleaseMaterial(glass);
}
std::vector<std::string> gDebugLines;
void KeepLine(const char *line)
{
    if (std::string(line) != "\n")
        gDebugLines.push_back(line);
}

TEST_F(FrameDriverTest, MemoryDiagnosticsByLevel)
{
    bzDebugTextSink saved = bz_Debug_SetTextSink(KeepLine);
    gDebugLines.clear();
    bzgEngineDiagnostics = 1;
    bz_Engine_PresentFrame();
    EXPECT_EQ(bzgEngineDiagnostics, 0); // the request is answered once
    const std::vector<std::string> summary = {"\n\n\n",
                                              "* * * Memory diagnostics * * *",
                                              ">>> 98304K over 32MB <<<",
                                              "Available     : 0K",
                                              "Largest block : 0K",
                                              "Texturemem    : 0k",
                                              "Modelmem      : 0k",
                                              "\n\n\n"};
    // The texture and model memory lines depend on what is loaded: compare their heads.
    ASSERT_EQ(gDebugLines.size(), summary.size());
    for (size_t i = 0; i < summary.size(); ++i)
        EXPECT_EQ(gDebugLines[i].substr(0, 16), summary[i].substr(0, 16)) << i;

    gDebugLines.clear();
    bz_Engine_PresentFrame(); // no request: nothing printed
    EXPECT_TRUE(gDebugLines.empty());

    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    lumps_.push_back(root);
    bzgEngineDiagnostics = 4;
    bz_Engine_PresentFrame();
    ASSERT_EQ(gDebugLines.size(), summary.size() + 2 + 2 * 23);
    EXPECT_EQ(gDebugLines[8], "* * * Lump allocation count * * *");
    EXPECT_EQ(gDebugLines[9].rfind("BZ_LUMP_TYPE_NULL - ", 0), 0u);
    EXPECT_GE(std::stoi(gDebugLines[9].substr(20)), 1);
    EXPECT_EQ(gDebugLines[9 + 23], "\n* * * Lump processed count * * *");
    bz_Debug_SetTextSink(saved);
}
int gBuffersMade = 0;
void MakeBuffers()
{
    ++gBuffersMade;
}

TEST_F(FrameDriverTest, RenderStateDefaultsAreSetOnce)
{
    bzgRenderTable.PDCreate2DBuffers = MakeBuffers;
    gBuffersMade = 0;
    bz_RenderState_SetColourSet(12, 1, 2, 3, 4, 5);
    bzFontTable[2] = bz_Font_GetDefault();
    bz_RenderState_ResetDefaults();
    bz_RenderState_InitDefaults();
    EXPECT_EQ(gBuffersMade, 1);
    // The font table is cleared, row 12 back to zero with its flag word.
    EXPECT_EQ(bz_Font_GetFromTable(2), nullptr);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bzgTextColours[12].corners[k], 0u);
    for (const bzTextColourRow &row : bzgTextColours)
        EXPECT_EQ(row.flags, 0u);
    bz_RenderState_InitDefaults();
    EXPECT_EQ(gBuffersMade, 1);
    bzgRenderTable.PDCreate2DBuffers = nullptr;
}
int gModeSets = 0, gBuffers = 0;
int32_t gModeResult = 0;
int32_t SetMode(int32_t, int32_t, int32_t, int32_t, int32_t, float, uint32_t, int32_t)
{
    ++gModeSets;
    return gModeResult;
}
void CreateBuffers()
{
    ++gBuffers;
}

TEST_F(FrameDriverTest, DisplayModesFoundAndChanged)
{
    const bzDisplayMode modes[] = {{640, 480, 22}, {800, 600, 23}, {800, 600, 22}, {1024, 768, 24}};
    EXPECT_EQ(bz_Display_FindMode(modes, 4, 800, 600, 16), 1);
    EXPECT_EQ(bz_Display_FindMode(modes, 4, 800, 600, 32), 2);
    bzgLastError = 0;
    EXPECT_EQ(bz_Display_FindMode(modes, 4, 1024, 768, 24), -1); // other depths never match
    EXPECT_EQ(bzgLastError, 9);
    EXPECT_EQ(bz_Display_FindMode(modes, 4, 320, 200, 16), -1);
    EXPECT_EQ(bz_Display_FindMode(nullptr, 4, 640, 480, 32), -1);
    bz_Display_SetWindowed(1);
    EXPECT_EQ(bz_Display_FindMode(modes, 4, 800, 600, 16), 27);
    bz_Display_SetWindowed(0);

    bzgRenderTable.PDSetDisplayMode = SetMode;
    bzgRenderTable.PDCreateDeviceBuffers = CreateBuffers;
    gModeSets = gBuffers = 0;
    gModeResult = 9;
    EXPECT_EQ(bz_Display_ChangeMode(0, 800, 600, 800, 600, 0.0f, 0, 0), 9);
    EXPECT_EQ(gBuffers, 0); // a refused mode skips the rebuilds
    gModeResult = 0;
    EXPECT_EQ(bz_Display_ChangeMode(0, 800, 600, 800, 600, 0.0f, 0, 0), 0);
    EXPECT_EQ(gModeSets, 2);
    EXPECT_EQ(gBuffers, 1);
    bzgRenderTable.PDSetDisplayMode = nullptr;
    bzgRenderTable.PDCreateDeviceBuffers = nullptr;
}
float gEffect[4];
void StoreEffect(float a, float b, float c, float d)
{
    gEffect[0] = a;
    gEffect[1] = b;
    gEffect[2] = c;
    gEffect[3] = d;
}
void LoadEffect(float *a, float *b, float *c, float *d)
{
    *a = gEffect[0];
    *b = gEffect[1];
    *c = gEffect[2];
    *d = gEffect[3];
}
int CompareInts(const void *a, const void *b)
{
    return *static_cast<const int *>(a) - *static_cast<const int *>(b);
}

TEST_F(FrameDriverTest, DisplayObjectEffectParamsAndSort)
{
    // The current display object holds one reference, given back when another replaces it.
    bz_IMGMAP *a = bz_CreateImgMap("displayA", BZ_IMAGE_1555, 4, 4, 0);
    bz_IMGMAP *b = bz_CreateImgMap("displayB", BZ_IMAGE_1555, 4, 4, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    bz_Display_SetCurrent(a);
    EXPECT_EQ(a->refCount, 2);
    bz_Display_SetCurrent(a); // the same one again keeps one reference
    EXPECT_EQ(a->refCount, 2);
    bz_Display_SetCurrent(b);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(b->refCount, 2);
    EXPECT_EQ(bz_Display_GetCurrent(), b);
    bz_Display_SetCurrent(nullptr);
    EXPECT_EQ(b->refCount, 1);
    bz_ReleaseImgMap(a);
    bz_ReleaseImgMap(b);

    bzgRenderTable.PDSetEffectParams = reinterpret_cast<PDGenericSlot>(StoreEffect);
    bzgRenderTable.PDGetEffectParams = reinterpret_cast<PDGenericSlot>(LoadEffect);
    bz_RenderState_SetEffectParams(1.0f, 2.0f, 3.0f, 4.0f);
    float p[4] = {};
    bz_RenderState_GetEffectParams(&p[0], &p[1], &p[2], &p[3]);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[3], 4.0f);
    bzgRenderTable.PDSetEffectParams = nullptr;
    bzgRenderTable.PDGetEffectParams = nullptr;
    bz_RenderState_SetEffectParams(9.0f, 9.0f, 9.0f, 9.0f); // no renderer slot: nothing
    EXPECT_EQ(gEffect[0], 1.0f);

    int values[] = {5, -2, 9, 0, 3};
    bz_Sort(values, 5, sizeof(int), CompareInts);
    EXPECT_EQ(std::vector<int>(values, values + 5), (std::vector<int>{-2, 0, 3, 5, 9}));
    bz_Sort(nullptr, 3, sizeof(int), CompareInts);
}

std::vector<bzViewport *> gNoted;
void Note43(bzViewport *v)
{
    gNoted.push_back(v);
}
int gImageInits = 0;
void Init21()
{
    ++gImageInits;
}

TEST_F(FrameDriverTest, RenderStateNoteAndImageResources)
{
    const PDRenderFunctionTable saved = bzgRenderTable;
    bzViewport *savedTarget = bzg2DDrawMode;
    bzgRenderTable.PDNote2DViewport = Note43;
    gNoted.clear();
    bzViewport a{}, b{};
    bzg2DDrawMode = &a;
    // The new state goes to the renderer and becomes current; the one before is answered.
    EXPECT_EQ(bz_RenderState_Note(&b), &a);
    EXPECT_EQ(bzg2DDrawMode, &b);
    EXPECT_EQ(bz_RenderState_Note(nullptr), &b);
    EXPECT_EQ(gNoted, (std::vector<bzViewport *>{&b, nullptr}));
    // Without the slot the state is still kept.
    bzgRenderTable.PDNote2DViewport = nullptr;
    EXPECT_EQ(bz_RenderState_Note(&a), nullptr);
    EXPECT_EQ(bzg2DDrawMode, &a);
    // The screen fade draws on the whole screen and gives the state back.
    bzgRenderTable.PDNote2DViewport = Note43;
    gNoted.clear();
    bz_Engine_SetTint(0xFF0000, 0.5f);
    bz_Engine_DrawScreenFade();
    EXPECT_EQ(gNoted, (std::vector<bzViewport *>{nullptr, &a}));
    EXPECT_EQ(bzg2DDrawMode, &a);
    ASSERT_EQ(gRects.size(), 1u);
    EXPECT_EQ(gRects[0].colour, 0x7FFF0000u);

    // The image layer: marked started, its folder cleared, then the renderer's slot 21.
    const int32_t open = bzgImage_libraryOpen;
    char folder[BZ_IMGMAP_FOLDER_SIZE];
    std::memcpy(folder, bzgImage_folder, sizeof folder);
    bzgImage_libraryOpen = 0;
    std::memset(bzgImage_folder, 'x', sizeof bzgImage_folder);
    gImageInits = 0;
    bzgRenderTable.PDInitImageResources = Init21;
    bz_Engine_InitImageResources();
    EXPECT_EQ(bzgImage_libraryOpen, 1);
    EXPECT_EQ(std::count(bzgImage_folder, bzgImage_folder + BZ_IMGMAP_FOLDER_SIZE, 0),
              BZ_IMGMAP_FOLDER_SIZE);
    EXPECT_EQ(gImageInits, 1);
    bzgImage_libraryOpen = open;
    std::memcpy(bzgImage_folder, folder, sizeof folder);
    bzg2DDrawMode = savedTarget;
    bzgRenderTable = saved;
}
} // namespace
