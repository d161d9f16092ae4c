// The OpenGL display on a real window: the capability word, the pixel-format request, the
// full-screen rule, the projection, viewport clears read back from the frame, and a texture
// that lives through a change of display mode.
#include "GlTestSupport.h"

#include "console/Console.h"
#include "device/ViewportRecord.h"
#include "scene/Lump.h"

#include <GL/glext.h>

#include <cmath>
#include <cstring>

namespace
{
bool IsColour(const std::vector<uint8_t> &pixels, size_t i, uint8_t r, uint8_t g, uint8_t b)
{
    return pixels[i * 4] == r && pixels[i * 4 + 1] == g && pixels[i * 4 + 2] == b;
}
bool IsBlack(const std::vector<uint8_t> &pixels)
{
    return IsColour(pixels, 0, 0, 0, 0);
}

PDGLPixelFormat gRequest;
int32_t gFakeStencil;
int32_t RecordRequest(const PDGLPixelFormat *request)
{
    gRequest = *request;
    return PDGLChoosePixelFormat(request);
}
int32_t FakeDescribe(PDGLPixelFormat *out)
{
    *out = {24, 24, gFakeStencil, 1, 1};
    return 0;
}

TEST_F(GlTest, CapabilityWordHoldsEveryExtensionButTheMatrixPalette)
{
    ASSERT_EQ(OpenDisplay(), 0);
    // Mesa lists every extension the word tests except the matrix palette; the 32-bit
    // request has stencil bits.
    EXPECT_EQ(bzgOGLCaps, 0x6FFu);
    // The set-up's own state changes are all accepted.
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
    GLint envMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_COMBINE);
    float bias = 0.0f;
    glGetTexEnvfv(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, &bias);
    EXPECT_EQ(bias, -2.0f);
    GLint colourControl = 0;
    glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &colourControl);
    EXPECT_EQ(colourControl, GL_SEPARATE_SPECULAR_COLOR);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(bzgOGLDisplay.screenWidth, kWidth);
    EXPECT_EQ(bzgOGLDisplay.halfHeight, kHeight / 2);
    EXPECT_EQ(bzgOGLDisplay.ready, 1);
    EXPECT_EQ(bzgWindowed, 1);
    GLint equation = 0;
    bzgOGLBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    glGetIntegerv(GL_BLEND_EQUATION, &equation);
    EXPECT_EQ(equation, GL_FUNC_REVERSE_SUBTRACT);
    bzgOGLBlendEquation(GL_FUNC_ADD);
}

const char *gMasked;
const char *MaskedExtensions()
{
    return gMasked;
}

TEST_F(GlTest, MissingExtensionsLeaveTheirBitsClearAndTheirEntryPointsDoNothing)
{
    ASSERT_EQ(OpenDisplay(), 0);
    gMasked = "GL_EXT_bgra GL_ARB_texture_env_combine GL_EXT_texture_compression_s3tc";
    bzgOGLWindowSystem.extensions = MaskedExtensions;
    bzgOGLCaps = 0;
    bz_OGLExtentions();
    EXPECT_EQ(bzgOGLCaps, 0x8Cu);
    bzgOGLBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    GLint value = 0;
    glGetIntegerv(GL_BLEND_EQUATION, &value);
    EXPECT_EQ(value, GL_FUNC_ADD);
    OGL_ActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0);
    EXPECT_TRUE(bz_OGL_HasExtension("GL_EXT_bgra"));
    EXPECT_FALSE(bz_OGL_HasExtension("GL_EXT"));

    // With the extension listed again the same entry point works.
    bz_OGL_ResetWindowSystem();
    bz_OGLExtentions();
    OGL_ActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE1);
    OGL_ActiveTexture(GL_TEXTURE0);
}

TEST_F(GlTest, ConsoleCommandListsEachExtensionOnItsOwnLine)
{
    ResetConsole();
    ASSERT_EQ(OpenDisplay(), 0);
    const bzConsoleState *state = bz_Console_GetState();
    int32_t rows = 0;
    for (int32_t i = 0; i < state->commandCount; ++i)
        if (std::strcmp(state->commands[i].name, "bz_OGLExtentions") == 0)
        {
            ++rows;
            EXPECT_STREQ(state->commands[i].help, "List opengl extensions\n");
        }
    EXPECT_EQ(rows, 1);
    // A second set-up does not register it again.
    ASSERT_EQ(OpenDisplay(), 0);
    int32_t again = 0;
    for (int32_t i = 0; i < state->commandCount; ++i)
        again += std::strcmp(state->commands[i].name, "bz_OGLExtentions") == 0;
    EXPECT_EQ(again, 1);
    gMasked = "GL_A  GL_B GL_C";
    bzgOGLWindowSystem.extensions = MaskedExtensions;
    const size_t before = state->text ? state->length : 0;
    OGL_ListExtensions(0, nullptr);
    ASSERT_NE(state->text, nullptr);
    EXPECT_EQ(std::string(state->text + before, state->length - before), "GL_A\nGL_B\nGL_C\n");
    ResetConsole();
}

TEST_F(GlTest, SixteenBitRequestAsksForNoStencilAndAFormatWithoutOneClearsTheBit)
{
    bzgOGLWindowSystem.choosePixelFormat = RecordRequest;
    bzgOGLWindowSystem.describePixelFormat = FakeDescribe;
    gFakeStencil = 0;
    ASSERT_EQ(OpenDisplay(0), 0);
    EXPECT_EQ(gRequest.colourBits, 16);
    EXPECT_EQ(gRequest.depthBits, 16);
    EXPECT_EQ(gRequest.stencilBits, 0);
    EXPECT_EQ(bzgOGLCaps & BZ_OGL_CAP_STENCIL, 0u);
    gFakeStencil = 8;
    ASSERT_EQ(OpenDisplay(), 0);
    EXPECT_EQ(bzgOGLCaps & BZ_OGL_CAP_STENCIL, BZ_OGL_CAP_STENCIL);
    gFakeStencil = 0;
    ASSERT_EQ(OpenDisplay(0), 0);
    EXPECT_EQ(bzgOGLCaps & BZ_OGL_CAP_STENCIL, 0u);
}

TEST_F(GlTest, ThirtyTwoBitRequestAsksForDepthAndStencil)
{
    bzgOGLWindowSystem.choosePixelFormat = RecordRequest;
    ASSERT_EQ(OpenDisplay(BZ_DISPLAY_32BIT), 0);
    EXPECT_EQ(gRequest.colourBits, 24);
    EXPECT_EQ(gRequest.depthBits, 24);
    EXPECT_EQ(gRequest.stencilBits, 8);
    EXPECT_EQ(gRequest.doubleBuffer, 1);
}

PDDisplayMode gAsked;
int32_t FakeDesktop(PDDisplayMode *out)
{
    *out = {1024, 768, 32, 60};
    return 0;
}
int32_t FakeChange(const PDDisplayMode *mode)
{
    gAsked = *mode;
    return (mode->width == 1024 && mode->height == 768 && mode->refreshRate == 60) ? 0 : 1;
}

TEST_F(GlTest, FullScreenTakesTheDesktopRateAndARefusedChangeStaysWindowed)
{
    bzgOGLWindowSystem.getDesktopMode = FakeDesktop;
    bzgOGLWindowSystem.changeDisplayMode = FakeChange;
    struct Case
    {
        int32_t refresh;
        int32_t width;
        int32_t askedRate;
        int32_t windowed;
    };
    const Case cases[] = {
        {0, 1024, 60, 0}, {1, 1024, 60, 0}, {60, 1024, 60, 0}, {75, 1024, 75, 1}, {0, 800, 60, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.refresh);
        SCOPED_TRACE(c.width);
        const int height = c.width == 1024 ? 768 : 600;
        ASSERT_EQ(OpenDisplay(BZ_DISPLAY_32BIT | BZ_DISPLAY_FULLSCREEN, c.width, height, c.refresh),
                  0);
        EXPECT_EQ(gAsked.refreshRate, c.askedRate);
        EXPECT_EQ(gAsked.bitsPerPixel, 32);
        EXPECT_EQ(bzgWindowed, c.windowed);
        EXPECT_EQ(bzgOGLDisplay.desktopSaved, 1);
    }
}

TEST_F(GlTest, DesktopSizeIsTheOnlyFullScreenModeThePlatformGrants)
{
    PDDisplayMode desktop;
    ASSERT_EQ(PDGetDesktopMode(&desktop), 0);
    PDDisplayMode same = desktop;
    EXPECT_EQ(PDChangeDisplayMode(&same), 0);
    PDDisplayMode other = desktop;
    other.width -= 16;
    EXPECT_EQ(PDChangeDisplayMode(&other), 1);
}

TEST_F(GlTest, ZeroSizesAreTheWindowsErrorAndLeaveTheDisplayAsItWas)
{
    ASSERT_EQ(OpenDisplay(), 0);
    void *context = bzgOGLDisplay.context;
    EXPECT_EQ(OGL_SetDisplayMode(0, 0, 240, 0, 240, 0.0f, BZ_DISPLAY_32BIT, 0), 7);
    EXPECT_EQ(OGL_SetDisplayMode(0, 320, 0, 320, 0, 0.0f, BZ_DISPLAY_32BIT, 0), 7);
    EXPECT_EQ(bzgOGLDisplay.context, context);
    EXPECT_EQ(bzgOGLDisplay.screenWidth, kWidth);
}

bzViewport MakeViewport(bzLump *camera, int32_t x, int32_t y, int32_t w, int32_t h)
{
    bzViewport v{};
    v.camera = camera;
    v.x = x;
    v.y = y;
    v.width = w;
    v.height = h;
    v.nearClip = 1.0f;
    v.farClip = 201.0f;
    return v;
}

TEST_F(GlTest, PerspectiveProjectionOfThirtyDegreesAndFourThirds)
{
    ASSERT_EQ(OpenDisplay(), 0);
    bzCamera camera{30.0f, 10.0f, 5.0f, 0, 1};
    bzLump lump{};
    lump.type = BZ_LUMP_TYPE_CAMERA;
    lump.object = &camera;
    bzViewport v = MakeViewport(&lump, 0, 0, 400, 300);
    OGL_SetProjection(&v);
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    // cot 30 degrees = 1.7320508; y scale 4/3 of it; (1 + 201) / 200; -2 x 201 / 200.
    const float expected[16] = {1.7320508f, 0, 0,     0, 0, 2.3094011f, 0,      0,
                                0,          0, 1.01f, 1, 0, 0,          -2.01f, 0};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], expected[i], 1e-5f) << i;
    EXPECT_NEAR(v.tangent, 0.5773503f, 1e-6f);
    EXPECT_NEAR(v.cotangent, 1.7320508f, 1e-6f);
    EXPECT_NEAR(v.sideX.x, 0.5f, 1e-6f);
    EXPECT_NEAR(v.sideX.z, 0.8660254f, 1e-6f);
    // (0, tan / aspect, 1) = (0, 0.4330127, 1) at unit length.
    EXPECT_NEAR(v.sideY.y, 0.3973597f, 1e-6f);
    EXPECT_NEAR(v.sideY.z, 0.9176629f, 1e-6f);
    EXPECT_FLOAT_EQ(v.cachedFieldOfView, 30.0f);
    EXPECT_NEAR(v.cachedAspect, 4.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(v.projection.row[3].z, -2.01f, 1e-5f);
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_TRUE);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));

    // The same field of view and aspect leave the cached terms alone.
    v.cotangent = 99.0f;
    OGL_SetProjection(&v);
    EXPECT_EQ(v.cotangent, 99.0f);
    camera.fieldOfView = 45.0f;
    OGL_SetProjection(&v);
    EXPECT_NEAR(v.cotangent, 1.0f, 1e-6f);
}

TEST_F(GlTest, OrthographicProjectionMapsNearAndFarToTheClipRange)
{
    ASSERT_EQ(OpenDisplay(), 0);
    bzCamera camera{30.0f, 10.0f, 5.0f, 0, 0};
    bzLump lump{};
    lump.type = BZ_LUMP_TYPE_CAMERA;
    lump.object = &camera;
    bzViewport v = MakeViewport(&lump, 0, 0, 400, 300);
    v.farClip = 11.0f;
    OGL_SetProjection(&v);
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[0], 0.2f, 1e-6f);
    EXPECT_NEAR(m[5], 0.4f, 1e-6f);
    EXPECT_NEAR(m[10], 0.2f, 1e-6f);
    EXPECT_NEAR(m[14], -1.2f, 1e-6f);
    EXPECT_EQ(m[15], 1.0f);
    // Near (z 1) and far (z 11) land on -1 and +1.
    EXPECT_NEAR(m[10] * 1.0f + m[14], -1.0f, 1e-6f);
    EXPECT_NEAR(m[10] * 11.0f + m[14], 1.0f, 1e-6f);
}

TEST_F(GlTest, ASubViewportIsFilledWithItsBackgroundWhateverItsFlags)
{
    ASSERT_EQ(OpenDisplay(), 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    bzViewport v = MakeViewport(nullptr, 10, 20, 100, 50);
    v.flags = 0;
    v.background[0] = 255;
    v.background[1] = 128;
    ASSERT_EQ(OGL_ClearViewport(&v), 0);
    glFinish();
    const auto frame = ReadPixels(0, 0, kWidth, kHeight);
    SavePicture("gl_subviewport_clear", kWidth, kHeight, frame);
    // The rectangle from the top (10, 20) is, from the bottom, rows 240 - 20 - 50 = 170 to 219.
    auto at = [&](int x, int y) { return size_t(y) * kWidth + x; };
    EXPECT_TRUE(IsColour(frame, at(10, 170), 255, 128, 0));
    EXPECT_TRUE(IsColour(frame, at(109, 219), 255, 128, 0));
    EXPECT_TRUE(IsColour(frame, at(9, 170), 0, 0, 0));
    EXPECT_TRUE(IsColour(frame, at(110, 170), 0, 0, 0));
    EXPECT_TRUE(IsColour(frame, at(10, 169), 0, 0, 0));
    EXPECT_TRUE(IsColour(frame, at(10, 220), 0, 0, 0));
    float depth = 0.0f;
    glReadPixels(50, 200, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LESS);
}

TEST_F(GlTest, AWholeScreenViewportClearsOnlyWhatItsFlagsAsk)
{
    ASSERT_EQ(OpenDisplay(), 0);
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    bzViewport v = MakeViewport(nullptr, 0, 0, kWidth, kHeight);
    v.background[1] = 255;
    v.flags = 0;
    OGL_ClearViewport(&v);
    EXPECT_TRUE(IsColour(ReadPixels(5, 5, 1, 1), 0, 0, 0, 255));
    v.flags = BZ_VIEWPORT_CLEAR_COLOUR;
    OGL_ClearViewport(&v);
    EXPECT_TRUE(IsColour(ReadPixels(5, 5, 1, 1), 0, 0, 255, 0));
}

TEST_F(GlTest, ATextureLivesThroughChangesOfDisplayMode)
{
    ASSERT_EQ(OpenDisplay(), 0);
    void *context = bzgOGLDisplay.context;
    bz_IMGMAP image{};
    image.width = 2;
    image.height = 2;
    image.format = BZ_IMAGE_8888;
    image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
    ASSERT_EQ(OGL_LockImgMap(&image, BZ_LOCK_WRITE), 0);
    for (int i = 0; i < 4; ++i)
        OGL_PutImgMapPixel(&image, i % 2, i / 2, 255, 10 * i, 20, 30);
    ASSERT_EQ(OGL_UnlockImgMap(&image), 0);
    OGL_MakeImgMapATexture(&image);
    ASSERT_NE(image.textureName, 0u);

    ASSERT_EQ(OpenDisplay(BZ_DISPLAY_32BIT, 400, 300), 0);
    ASSERT_EQ(OpenDisplay(BZ_DISPLAY_32BIT | BZ_DISPLAY_FULLSCREEN, 400, 300), 0);
    EXPECT_EQ(bzgOGLDisplay.context, context);
    EXPECT_EQ(bzgOGLDisplay.screenWidth, 400);
    EXPECT_TRUE(glIsTexture(image.textureName));
    uint8_t pixels[16] = {};
    glBindTexture(GL_TEXTURE_2D, image.textureName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(pixels[12], 30);
    EXPECT_EQ(pixels[13], 20);
    EXPECT_EQ(pixels[14], 30);
    OGL_FreeImgMapTexture(&image);
}

int32_t gSwaps;
void CountSwap()
{
    ++gSwaps;
    PDGLSwapBuffers();
}
void *NoEntryPoints(const char *)
{
    return nullptr;
}

TEST_F(GlTest, SetUpShowsOneBlackFrameAndAnEntryPointThatCannotBeFoundDoesNothing)
{
    gSwaps = 0;
    bzgOGLWindowSystem.swapBuffers = CountSwap;
    bzgOGLWindowSystem.getProcAddress = NoEntryPoints;
    ASSERT_EQ(OpenDisplay(), 0);
    EXPECT_EQ(gSwaps, 1);
    EXPECT_TRUE(IsBlack(ReadPixels(kWidth / 2, kHeight / 2, 1, 1)));
    // Multitexture is listed, but its entry point cannot be had: the call does nothing.
    EXPECT_NE(bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE, 0u);
    GLint value = 0;
    OGL_ActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0);
    OGL_ClearScreen(0, 3);
    EXPECT_EQ(gSwaps, 1);
    OGL_ClearScreen(1, 3);
    EXPECT_EQ(gSwaps, 2);
}

TEST_F(GlTest, WorldMatrixAmbientLightAndStartUp)
{
    ASSERT_EQ(OpenDisplay(), 0);
    bzM34 m{};
    m.row[0] = {1, 0, 0};
    m.row[1] = {0, 2, 0};
    m.row[2] = {0, 0, 3};
    m.row[3] = {4, 5, 6};
    glMatrixMode(GL_MODELVIEW);
    OGL_SetWorldMatrix(&m, nullptr);
    float gl[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, gl);
    // Column-major: the translation in 12-14, the scales on the diagonal.
    const float expected[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 4, 5, 6, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(gl[i], expected[i]) << i;

    OGL_SetAmbientLight(0x336699);
    float ambient[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
    EXPECT_NEAR(ambient[0], 0x33 / 255.0f, 1e-6f);
    EXPECT_NEAR(ambient[1], 0x66 / 255.0f, 1e-6f);
    EXPECT_NEAR(ambient[2], 0x99 / 255.0f, 1e-6f);
    EXPECT_EQ(ambient[3], 0.0f);

    // Window start-up makes engine errors end the program again.
    bzgNoFatalExit = 1;
    EXPECT_EQ(OGL_InitWindow(nullptr), 0);
    EXPECT_EQ(bzgNoFatalExit, 0);
    bzgNoFatalExit = 1;
}

TEST_F(GlTest, ShutdownReleasesTheContextAndTheWindow)
{
    ASSERT_EQ(OpenDisplay(), 0);
    OGL_ShutdownDisplay();
    EXPECT_EQ(bzgOGLDisplay.context, nullptr);
    EXPECT_FALSE(PDWindowExists());
    // A display can be set up again afterwards.
    ASSERT_EQ(OpenDisplay(), 0);
    EXPECT_NE(bzgOGLDisplay.context, nullptr);
}

} // namespace
