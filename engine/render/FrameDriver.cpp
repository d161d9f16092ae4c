#include "render/FrameDriver.h"

#include "console/Console.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Clock.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "models/ImgMap.h"
#include "models/Model.h"
#include "models/PosedPositions.h"
#include "render/DebugLines.h"
#include "render/Font.h"
#include "render/FrameStats.h"
#include "render/Gui.h"
#include "render/InputTables.h"
#include "render/RenderSlots.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Anim.h"
#include "scene/Lump.h"
#include "scene/PooledEmitter.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bzEngineSwitches bzgEngineSwitches;
int32_t bzgEngineDiagnostics = 0;

namespace
{
constexpr int32_t kPointerSize = 32;

bzEngineFrameHooks gHooks{};
int32_t gResetFlag = 0;
uint32_t gRenderTime = 0;
float gFixedNow = 0.0f;

// Frame-rate meter.
int32_t gRateFrames = 1;
float gRateLast = 0.0f;
float gFramesPerSecond = 0.0f;

// Screen fade.
struct Fade
{
    int32_t mode;
    bzColour colour;
    float alpha;
    float start;
    float duration;
    bzFadeCallback callback;
};
Fade gFade{};

// Display.
int32_t gDisplayWidth = 640;
int32_t gDisplayHeight = 480;
float gDisplayAspect = 640.0f / 480.0f;
int32_t gWindowed = 0;
bz_IMGMAP *gCurrentDisplay = nullptr;

// Glow.
float gGlowA = 0.0f, gGlowB = 0.0f;

// Mouse pointer.
bz_IMGMAP *gPointer = nullptr;
bz_IMGMAP *gBuiltInPointer = nullptr;
int32_t gPointerVisible = 0;

bool MouseExists()
{
    const bzPadState *mouse = bz_Input_MousePad();
    return mouse && mouse->deviceType != 0;
}

// The arrow's pixels: 0 transparent, 1 black, 2 white. A run from x0 to x1 covers x0 to
// x1 - 1.
void PointerPixels(uint8_t px[kPointerSize][kPointerSize])
{
    std::memset(px, 0, kPointerSize * kPointerSize);
    auto run = [&](int32_t y, int32_t x0, int32_t x1, uint8_t c)
    {
        for (int32_t x = x0; x < x1; ++x)
            if (x >= 0 && x < kPointerSize)
                px[y][x] = c;
    };
    auto dot = [&](int32_t y, int32_t x, uint8_t c) { run(y, x, x + 1, c); };
    for (int32_t y = 0; y <= 17; ++y)
    {
        dot(y, 0, 1);
        run(y, 1, y - 1, 2);
        dot(y, y, 1);
    }
    run(17, 9, 16, 1);
    for (int32_t y = 18; y <= 24; ++y)
    {
        const int32_t k = 24 - y;
        dot(y, 0, 1);
        run(y, 1, k - 1, 2);
        dot(y, 24 - y, 1);
    }
    dot(18, 9, 1);
    run(18, 4, 8, 2);
    for (int32_t y = 19; y <= 27; ++y)
    {
        const int32_t h = y / 2;
        dot(y, h, 1);
        run(y, h - 4, h - 1, 2);
        dot(y, h - 4, 1);
    }
    run(28, 10, 12, 1);
}

bz_IMGMAP *BuiltInPointer()
{
    if (gBuiltInPointer)
        return gBuiltInPointer;
    bz_IMGMAP *image = bz_CreateImgMap("MousePointer", BZ_IMAGE_1555, kPointerSize, kPointerSize,
                                       BZ_IMGMAP_MAKE_TEXTURE | BZ_IMGMAP_OPT_NO_COMPRESS);
    if (!image)
        return nullptr;
    if (bzgRenderTable.PDLockImgMap && bzgRenderTable.PDLockImgMap(image, BZ_LOCK_WRITE) == 0)
    {
        uint8_t px[kPointerSize][kPointerSize];
        PointerPixels(px);
        if (bzgRenderTable.PDPutImgMapPixel)
            for (int32_t y = 0; y < kPointerSize; ++y)
                for (int32_t x = 0; x < kPointerSize; ++x)
                {
                    const int32_t a = px[y][x] ? 255 : 0;
                    const int32_t c = px[y][x] == 2 ? 255 : 0;
                    bzgRenderTable.PDPutImgMapPixel(image, x, y, a, c, c, c);
                }
        if (bzgRenderTable.PDUnlockImgMap)
            bzgRenderTable.PDUnlockImgMap(image);
    }
    gBuiltInPointer = image;
    return image;
}

void DrawPointerIfShown()
{
    const bzPadState *mouse = bz_Input_MousePad();
    if (gPointerVisible && mouse && mouse->deviceType != 0 && gPointer &&
        bzgRenderTable.PDDraw2DRect)
        bzgRenderTable.PDDraw2DRect(static_cast<float>(mouse->mouseX),
                                    static_cast<float>(mouse->mouseY), 0.0f, 0.0f, 0xFFFFFFFF, 0,
                                    gPointer, 0);
}

void RenderPoint(int32_t n)
{
    if (gHooks.renderPoint)
        gHooks.renderPoint(n);
}

void PresentSteps()
{
    bz_Timer_FrameUpdate();
    float dt = 0.0f;
    if (bz_Clock_GetFixedFrameTime(&dt))
        gFixedNow += dt;
    bz_Engine_MeasureFrameRate();
    if (bzgRenderTable.PDShowFrame)
        bzgRenderTable.PDShowFrame();
    if (gHooks.inputUpdate)
        gHooks.inputUpdate();
    if (bzgEngineDiagnostics)
    {
        bz_Engine_MemoryDiagnostics();
        bzgEngineDiagnostics = 0;
    }
}
} // namespace

void bz_Engine_SetFrameHooks(const bzEngineFrameHooks *hooks)
{
    gHooks = hooks ? *hooks : bzEngineFrameHooks{};
}

float bz_Engine_Now()
{
    float dt = 0.0f;
    if (bz_Clock_GetFixedFrameTime(&dt))
        return gFixedNow;
    return bz_GetElapsedSeconds();
}

void bz_Engine_FrameUpdate()
{
    bz_TimerSlots_TickKind2();
    bz_Anim_UpdateAll();
    RenderPoint(1);
}

int32_t bz_Engine_RenderFrame()
{
    if (!bzgEngineSwitches.particlesOff && !bzgEngineSwitches.particleGuard)
        bz_ParticleEmitter_UpdateAll();
    const uint32_t t0 = PDGetMilliseconds();
    bzSlot::SetFrameShaderConstants();
    std::memset(bzgLumpProcessed, 0, sizeof bzgLumpProcessed);
    bzSlot::BeginScene();
    for (bzViewport *v = bz_Viewport_GetFirst(); v; v = v->next)
    {
        if (!v->enabled)
            continue;
        if (v->beforeRender && v->beforeRender(v, 0) == 0)
            continue;
        bz_Viewport_Render(v);
        if (v->afterRender)
            v->afterRender(v, 1);
    }
    if (bzgEngineSwitches.glow)
        bzSlot::SetupGlowTarget();
    bz_GUI_Render();
    bz_Engine_DrawScreenFade();
    bz_Console_Update();
    if (bzgEngineSwitches.debugMessages)
        bz_DrawDebugMessages();
    bz_PrintFrameStats();
    DrawPointerIfShown();
    bzSlot::Flush2D();
    if (gHooks.soundUpdate)
        gHooks.soundUpdate();
    gRenderTime += PDGetMilliseconds() - t0;
    return 0;
}

void bz_Engine_PresentFrame()
{
    PresentSteps();
}

void bz_Engine_StartRenderPoint()
{
    RenderPoint(0);
}

void bz_Engine_EndFrame()
{
    ++bzgFrameCounter;
    bz_Skeleton_NewFrame();
    if (gHooks.replayFrame)
        gHooks.replayFrame();
    RenderPoint(2);
    bz_Engine_StartRenderPoint();
}

void bz_Engine_ResetFrame()
{
    gResetFlag = 1;
    bz_Engine_StartRenderPoint();
    if (gHooks.replayFrame)
        gHooks.replayFrame();
}

void bz_Engine_ClearResetFlag()
{
    gResetFlag = 0;
}

int32_t bz_Engine_GetResetFlag()
{
    return gResetFlag;
}

uint32_t bz_Engine_GetRenderTime()
{
    return gRenderTime;
}

void bz_Engine_MeasureFrameRate()
{
    if (gRateFrames < 10)
    {
        ++gRateFrames;
        return;
    }
    const float now = bz_Engine_Now();
    const float span = (now - gRateLast) * 0.1f;
    gFramesPerSecond = span > 0.0f ? 1.0f / span : 0.0f;
    gRateLast = now;
    gRateFrames = 1;
}

float bz_Engine_GetFrameRate()
{
    return gFramesPerSecond;
}

void bz_Engine_ResetFrameRate()
{
    gRateFrames = 1;
    gRateLast = bz_Engine_Now();
    gFramesPerSecond = 0.0f;
}

// ---------------------------------------------------------------------------------------
// Memory diagnostics

void bz_Engine_DebugPrint(const char *format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    bz_Debug_Text(line);
    bz_Debug_Text("\n");
    std::printf("%s\n", line);
}

void bz_Engine_MemoryDiagnostics()
{
    const int32_t level = bzgEngineDiagnostics;
    uint32_t modelBytes = 0;
    for (const bzModel *m = bzgModelList; m; m = m->next)
        if (m->part)
            modelBytes += m->part->memSize;
    const uint32_t textureBytes =
        bzgRenderTable.PDGetTextureMemory ? bzgRenderTable.PDGetTextureMemory() : 0;
    bz_Engine_DebugPrint("\n\n\n");
    bz_Engine_DebugPrint("* * * Memory diagnostics * * *");
    // The platform's own figures are not available: the report keeps their places.
    bz_Engine_DebugPrint(">>> %dK over 32MB <<<", 98304);
    bz_Engine_DebugPrint("Available     : %dK", 0);
    bz_Engine_DebugPrint("Largest block : %dK", 0);
    bz_Engine_DebugPrint("Texturemem    : %dk", static_cast<int32_t>(textureBytes / 1024));
    bz_Engine_DebugPrint("Modelmem      : %dk", static_cast<int32_t>(modelBytes / 1024));
    bz_Engine_DebugPrint("\n\n\n");
    if (level == 2)
    {
        bz_Engine_DebugPrint("* * * List of loaded images * * *");
        bz_Engine_DebugPrint("name,width,height,format,mem in k");
        for (const bz_IMGMAP *i = bzgImage_list; i; i = i->next)
            bz_Engine_DebugPrint("%s", i->name ? i->name : "");
    }
    if (level == 3)
    {
        bz_Engine_DebugPrint("* * * List of loaded models * * *");
        bz_Engine_DebugPrint("name,mem in k, aprox face count");
        for (const bzModel *m = bzgModelList; m; m = m->next)
            bz_Engine_DebugPrint("%s", m->name);
    }
    if (level == 4)
    {
        bz_Engine_DebugPrint("* * * Lump allocation count * * *");
        for (int32_t t = 0; t < BZ_LUMP_TYPE_COUNT; ++t)
            bz_Engine_DebugPrint("%s - %d", bz_Lump_GetTypeName(t), bz_Lump_GetTypeCounter(t));
        bz_Engine_DebugPrint("\n* * * Lump processed count * * *");
        for (int32_t t = 0; t < BZ_LUMP_TYPE_COUNT; ++t)
            bz_Engine_DebugPrint("%s - %d", bz_Lump_GetTypeName(t),
                                 static_cast<int32_t>(bzgLumpProcessed[t]));
    }
}

// ---------------------------------------------------------------------------------------
// Screen fade

void bz_Engine_FadeScreen(bzFadeCallback callback, int32_t fadeIn, float duration, bzColour colour,
                          int32_t noWait)
{
    gFade.mode = fadeIn ? BZ_FADE_IN : BZ_FADE_OUT;
    gFade.start = bz_Engine_Now();
    gFade.duration = duration > 0.0f ? duration : 0.0f;
    gFade.colour = colour;
    gFade.callback = callback;
    if (noWait)
        return;
    while (gFade.mode == BZ_FADE_IN || gFade.mode == BZ_FADE_OUT)
    {
        bz_Engine_FrameUpdate();
        bz_Engine_RenderFrame();
        PresentSteps();
        bz_Engine_EndFrame();
    }
}

void bz_Engine_FadeIn(bzFadeCallback callback, float duration, bzColour colour, int32_t noWait)
{
    bz_Engine_FadeScreen(callback, 1, duration, colour, noWait);
}

void bz_Engine_FadeOut(bzFadeCallback callback, float duration, bzColour colour, int32_t noWait)
{
    bz_Engine_FadeScreen(callback, 0, duration, colour, noWait);
}

void bz_Engine_SetTint(bzColour colour, float alpha)
{
    if (!(alpha > 0.0f))
    {
        gFade.mode = BZ_FADE_OFF;
        return;
    }
    gFade.mode = BZ_FADE_TINT;
    gFade.alpha = alpha > 1.0f ? 1.0f : alpha;
    gFade.colour = colour & 0xFFFFFF;
}

void bz_Engine_ClearFade()
{
    gFade.mode = BZ_FADE_OFF;
}

float bz_Engine_GetFadeAlpha()
{
    return gFade.alpha;
}

int32_t bz_Engine_GetFadeMode()
{
    return gFade.mode;
}

void bz_Engine_DrawScreenFade()
{
    if (gFade.mode == BZ_FADE_OFF)
        return;
    bzViewport *saved = bz_RenderState_Note(nullptr);
    float p = 0.0f;
    if (gFade.mode >= BZ_FADE_IN && gFade.mode <= BZ_FADE_HELD)
    {
        p = 1.0f;
        if (gFade.duration > 0.0f)
        {
            p = (bz_Engine_Now() - gFade.start) / gFade.duration;
            if (!(p < 1.0f))
                p = 1.0f;
            if (p < 0.0f)
                p = 0.0f;
        }
        gFade.alpha = gFade.mode == BZ_FADE_IN ? 1.0f - p : p;
    }
    if (gFade.alpha > 0.0f && bzgRenderTable.PDDraw2DRect)
    {
        const uint32_t a = static_cast<uint32_t>(gFade.alpha * 255.0f);
        const float w = static_cast<float>(static_cast<int32_t>(gDisplayWidth / bzTextScaleX));
        const float h = static_cast<float>(static_cast<int32_t>(gDisplayHeight / bzTextScaleY));
        bzgRenderTable.PDDraw2DRect(0.0f, 0.0f, w, h, (a << 24) | (gFade.colour & 0xFFFFFF), 0,
                                    nullptr, 0);
    }
    if ((gFade.mode == BZ_FADE_IN || gFade.mode == BZ_FADE_OUT) && p >= 1.0f)
    {
        const int32_t fadedIn = gFade.mode == BZ_FADE_IN ? 1 : 0;
        gFade.mode = fadedIn ? BZ_FADE_OFF : BZ_FADE_HELD;
        if (gFade.callback)
            gFade.callback(fadedIn);
    }
    bz_RenderState_Note(saved);
}

bzViewport *bz_RenderState_Note(bzViewport *state)
{
    if (bzgRenderTable.PDNote2DViewport)
        bzgRenderTable.PDNote2DViewport(state);
    bzViewport *previous = bzg2DDrawMode;
    bzg2DDrawMode = state;
    return previous;
}

void bz_Engine_InitImageResources()
{
    bz_OpenImgMapLibrary();
}

// ---------------------------------------------------------------------------------------
// Display and render state

void bz_Display_SetSize(int32_t width, int32_t height)
{
    gDisplayWidth = width;
    gDisplayHeight = height;
}

void bz_Display_GetSize(int32_t *width, int32_t *height)
{
    if (width)
        *width = gDisplayWidth;
    if (height)
        *height = gDisplayHeight;
}

void bz_Display_SetAspect(float aspect)
{
    gDisplayAspect = aspect;
    const float ratio = gDisplayHeight > 0
                            ? static_cast<float>(gDisplayWidth) / static_cast<float>(gDisplayHeight)
                            : 0.0f;
    const float pixel = ratio > 0.0f ? aspect / ratio : 1.0f;
    bzgPixelAspect = pixel > 0.0f && pixel == pixel ? pixel : 1.0f;
    bz_Viewport_UpdateAllAspects();
}

void bz_Display_SetWindowed(int32_t windowed)
{
    gWindowed = windowed;
}

int32_t bz_Display_FindMode(const bzDisplayMode *modes, int32_t count, int32_t width,
                            int32_t height, int32_t bits)
{
    if (gWindowed)
        return BZ_ERROR_WINDOWED_MODE;
    const int32_t format = bits == 16 ? 23 : bits == 32 ? 22 : -1;
    for (int32_t i = 0; modes && format >= 0 && i < count; ++i)
        if (modes[i].width == width && modes[i].height == height && modes[i].format == format)
            return i;
    bzgLastError = BZ_ERROR_UNSUPPORTED_VIDEO_MODE;
    return -1;
}

int32_t bz_Display_ChangeMode(int32_t adapter, int32_t width, int32_t height, int32_t viewWidth,
                              int32_t viewHeight, float aspect, uint32_t flags, int32_t refreshRate)
{
    if (!bzgRenderTable.PDSetDisplayMode)
        return BZ_ERROR_UNSUPPORTED;
    const int32_t code = bzgRenderTable.PDSetDisplayMode(adapter, width, height, viewWidth,
                                                         viewHeight, aspect, flags, refreshRate);
    if (code)
        return code;
    bz_ParticleEmitter_InitPool();
    if (bzgRenderTable.PDCreateDeviceBuffers)
        bzgRenderTable.PDCreateDeviceBuffers();
    return 0;
}

void bz_Display_SetCurrent(bz_IMGMAP *display)
{
    if (display)
        bz_AddRefImgMap(display);
    if (gCurrentDisplay)
        bz_ReleaseImgMap(gCurrentDisplay);
    gCurrentDisplay = display;
}

bz_IMGMAP *bz_Display_GetCurrent()
{
    return gCurrentDisplay;
}

void bz_RenderState_GetEffectParams(float *a, float *b, float *c, float *d)
{
    bzSlot::GetEffectParams(a, b, c, d);
}

void bz_RenderState_SetEffectParams(float a, float b, float c, float d)
{
    bzSlot::SetEffectParams(a, b, c, d);
}

void bz_Sort(void *base, size_t count, size_t size, int (*compare)(const void *, const void *))
{
    if (base && count > 1 && compare)
        std::qsort(base, count, size, compare);
}

void bz_RenderState_SetColourSet(int32_t index, uint32_t word1, uint32_t word0, uint32_t word2,
                                 uint32_t word3, uint32_t flag)
{
    if (index < 0 || index >= BZ_TEXT_COLOURS)
        return;
    bzTextColourRow &row = bzgTextColours[index];
    row.corners[0] = word0;
    row.corners[1] = word1;
    row.corners[2] = word2;
    row.corners[3] = word3;
    row.flags = flag;
}

bzFont *bz_Font_GetFromTable(int32_t n)
{
    return n >= 0 && n < BZ_FONT_SLOTS ? bzFontTable[n] : nullptr;
}

void bz_Font_SetScale(bzFont *font, float scaleX, float scaleY)
{
    if (!font)
        return;
    font->scaleX = scaleX;
    font->scaleY = scaleY;
}

void bz_Font_SetLineGap(bzFont *font, float gap)
{
    if (font)
        font->lineGap = gap;
}

void bz_Font_SetSpacing(bzFont *font, float spacing)
{
    if (font)
        font->spacing = spacing;
}

int32_t bz_Font_SetColourIndex(bzFont *font, int32_t colour)
{
    if (!font)
        return 0;
    const int32_t previous = font->colourIndex;
    font->colourIndex = colour;
    return previous;
}

void bz_Text_SetScale(float x, float y)
{
    bzTextScaleX = x;
    bzTextScaleY = y;
}

void bz_Glow_Enable()
{
    bzgEngineSwitches.glow = 1;
}

void bz_Glow_Setup()
{
    if (bzgEngineSwitches.glow)
        bzSlot::SetupGlowTarget();
}

void bz_Glow_SetParams(float a, uint32_t, float b)
{
    gGlowA = a;
    gGlowB = b;
}

void bz_Glow_GetParams(float *a, float *b)
{
    if (a)
        *a = gGlowA;
    if (b)
        *b = gGlowB;
}

// ---------------------------------------------------------------------------------------
// Mouse pointer

void bz_MousePointer_Set(bz_IMGMAP *image)
{
    if (gPointer)
        bz_ReleaseImgMap(gPointer);
    gPointer = image ? image : BuiltInPointer();
    if (gPointer)
        bz_AddRefImgMap(gPointer);
    if (MouseExists())
        gPointerVisible = 1;
}

void bz_MousePointer_Show()
{
    if (!MouseExists())
        return;
    if (!gPointer)
    {
        gPointer = BuiltInPointer();
        if (gPointer)
            bz_AddRefImgMap(gPointer);
    }
    gPointerVisible = 1;
}

void bz_MousePointer_Hide()
{
    if (MouseExists())
        gPointerVisible = 0;
}

void bz_MousePointer_Draw()
{
    DrawPointerIfShown();
}

int32_t bz_MousePointer_IsVisible()
{
    return gPointerVisible;
}

bz_IMGMAP *bz_MousePointer_GetImage()
{
    return gPointer;
}

void bz_MousePointer_Release()
{
    if (gPointer)
        bz_ReleaseImgMap(gPointer);
    if (gBuiltInPointer)
        bz_ReleaseImgMap(gBuiltInPointer);
    gPointer = gBuiltInPointer = nullptr;
    gPointerVisible = 0;
}

namespace
{
// Hands out two words of the mouse record and its click word, which is reset.
void TakeMouse(int32_t bzPadState::*first, int32_t bzPadState::*second, int32_t *a, int32_t *b,
               uint32_t *clicks)
{
    bzPadState *mouse = bz_Input_MousePad();
    if (a)
        *a = mouse ? mouse->*first : 0;
    if (b)
        *b = mouse ? mouse->*second : 0;
    if (clicks)
    {
        *clicks = mouse ? mouse->click : 0;
        if (mouse)
            mouse->click = 0;
    }
}
} // namespace

void bz_Mouse_GetPosition(int32_t *x, int32_t *y, uint32_t *clicks)
{
    TakeMouse(&bzPadState::mouseX, &bzPadState::mouseY, x, y, clicks);
}

void bz_Mouse_GetMovement(int32_t *dx, int32_t *dy, uint32_t *clicks)
{
    TakeMouse(&bzPadState::moveX, &bzPadState::moveY, dx, dy, clicks);
}
