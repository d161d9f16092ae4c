// The fixture of the OpenGL back end's tests: a real window with an OpenGL context on the X
// display (the test command runs the tests under a virtual one), the OpenGL renderer table
// installed, keep-alive error reports; and pictures of what was drawn written as PNG files
// into the build folder.
#pragma once

#include "backends/gl/GlDisplay.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlImage.h"
#include "backends/gl/GlRenderer.h"
#include "backends/gl/GlWindowSystem.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "pc/PcWindow.h"
#include "support/TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// Writes width x height red, green, blue, alpha pixels, bottom row first as OpenGL reads them,
// as a PNG picture (top row first).
inline bool WritePng(const std::string &path, int width, int height,
                     const std::vector<uint8_t> &rgba)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && setjmp(png_jmpbuf(png)) == 0;
    if (ok)
    {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = height - 1; y >= 0; --y)
            png_write_row(png, const_cast<png_bytep>(rgba.data() + size_t(y) * width * 4));
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    std::fclose(file);
    return ok;
}

// The back buffer's pixels in a rectangle (OpenGL's y, from the bottom).
inline std::vector<uint8_t> ReadPixels(int x, int y, int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// A picture into the build folder (the test's run folder).
inline void SavePicture(const std::string &name, int width, int height,
                        const std::vector<uint8_t> &rgba)
{
    EXPECT_TRUE(WritePng(name + ".png", width, height, rgba)) << name;
}

class GlTest : public ::testing::Test
{
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    void SetUp() override
    {
        const char *display = std::getenv("DISPLAY");
        if (!display || !*display)
            GTEST_SKIP() << "no X display: DISPLAY is not set (scripts/test.sh runs the tests "
                            "under Xvfb when there is none)";
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // The software rasteriser draws in the calling thread: worker threads left running at
        // exit can bring down the leak check's scan of the process's threads.
        setenv("LP_NUM_THREADS", "0", 0);
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tolvane-test-bus", 0);
        saved_ = bzgRenderTable;
        bzgRenderTable = {};
        PDInstallGLRenderer(&bzgRenderTable);
        bz_OGL_ResetWindowSystem();
        bzgOGLCaps = 0;
        bzgOGLMaxTextureSize = 2048;
        PDSetKeepActive(1);
        PDSetMessageWaitLimit(20);
        std::snprintf(bzgWindowTitle, sizeof bzgWindowTitle, "%s", "Tolvane OpenGL test");
    }

    void TearDown() override
    {
        if (bzgOGLDisplay.context || PDWindowExists())
            OGL_ShutdownDisplay();
        bz_OGL_ResetWindowSystem();
        bzgOGLCaps = 0;
        bzgRenderTable = saved_;
        PDSetKeepActive(0);
        PDSetMessageWaitLimit(0);
    }

    // A windowed display with 32-bit colour; a virtual X server under a parallel run can
    // refuse a connection for a moment, so a few tries.
    int32_t OpenDisplay(uint32_t flags = BZ_DISPLAY_32BIT, int width = kWidth, int height = kHeight,
                        int32_t refresh = 0)
    {
        int32_t code = OGL_SetDisplayMode(0, width, height, width, height, 0.0f, flags, refresh);
        for (int tries = 1; code != 0 && tries < 10; ++tries)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            code = OGL_SetDisplayMode(0, width, height, width, height, 0.0f, flags, refresh);
        }
        return code;
    }

    KeepAlive keepAlive_;
    PDRenderFunctionTable saved_{};
};

// Viewport over the whole frame, colour and depth cleared to black, identity matrices.
inline void ClearFrame(int width, int height)
{
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// A 640x480 frame, cleared, that a test draws into and reads back.
class GlFrameTest : public GlTest
{
public:
    // Half-angle of the view across the width, in degrees, of the cameras whose points the
    // tests project.
    static constexpr float kFieldOfView = 30.0f;

protected:
    static constexpr int kW = 640;
    static constexpr int kH = 480;

    // Where a camera-space point lands on the whole frame: x' = x cot(fov) / z across the
    // width, y' = y cot(fov) aspect / z; y measured from the top.
    static void Project(float x, float y, float z, int *px, int *py)
    {
        const float cot = 1.0f / std::tan(kFieldOfView * 3.14159265f / 180.0f);
        const float aspect = float(kW) / float(kH);
        *px = int(std::lround((x * cot / z + 1.0f) * 0.5f * kW));
        *py = int(std::lround((1.0f - y * cot * aspect / z) * 0.5f * kH));
    }

    void SetUp() override
    {
        GlTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(OpenDisplay(BZ_DISPLAY_32BIT, kW, kH), 0);
        ClearFrame(kW, kH);
    }
    // Reads the whole frame, and writes it as a picture when named.
    void ReadFrame(const char *picture = nullptr)
    {
        // Every state change of what was drawn was accepted.
        EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
        glFinish();
        frame_ = ReadPixels(0, 0, kW, kH);
        if (picture)
            SavePicture(picture, kW, kH, frame_);
    }
    // Pixel (x, y) of the frame read last, y measured from the top.
    std::array<int, 3> At(int x, int y) const
    {
        const size_t i = (size_t(kH - 1 - y) * kW + x) * 4;
        return {frame_[i], frame_[i + 1], frame_[i + 2]};
    }
    void ExpectNear(int x, int y, std::array<int, 3> want, int tolerance = 3) const
    {
        const auto got = At(x, y);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], want[c], tolerance)
                << "pixel (" << x << ", " << y << ") channel " << c;
    }
    // The sides of a rectangle drawn in colour on black, columns left to right and rows top to
    // bottom: across its middle, 4 pixels inside each side show the colour and 6 pixels outside
    // it black.
    void ExpectRectangle(int left, int right, int top, int bottom, std::array<int, 3> colour) const
    {
        const int x = (left + right) / 2, y = (top + bottom) / 2;
        const std::array<int, 3> black{0, 0, 0};
        ExpectNear(left + 4, y, colour);
        ExpectNear(left - 6, y, black, 0);
        ExpectNear(right - 4, y, colour);
        ExpectNear(right + 6, y, black, 0);
        ExpectNear(x, top + 4, colour);
        ExpectNear(x, top - 6, black, 0);
        ExpectNear(x, bottom - 4, colour);
        ExpectNear(x, bottom + 6, black, 0);
    }
    std::vector<uint8_t> frame_;
};

// A 1x1 8888 image of one colour with its texture made, one reference held by the test.
struct SolidImage
{
    bz_IMGMAP image{};
    SolidImage(uint8_t a, uint8_t r, uint8_t g, uint8_t b, uint8_t flags = 0)
    {
        image.width = 1;
        image.height = 1;
        image.format = BZ_IMAGE_8888;
        image.refCount = 1;
        image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
        EXPECT_EQ(OGL_LockImgMap(&image, BZ_LOCK_WRITE), 0);
        OGL_PutImgMapPixel(&image, 0, 0, a, r, g, b);
        EXPECT_EQ(OGL_UnlockImgMap(&image), 0);
        OGL_MakeImgMapATexture(&image);
        image.flags |= flags;
    }
    ~SolidImage() { OGL_FreeImgMapTexture(&image); }
};

// A row of 8888 texels (alpha, red, green, blue each) with its texture made.
struct RowImage
{
    bz_IMGMAP image{};
    explicit RowImage(const std::vector<std::array<uint8_t, 4>> &texels)
    {
        image.width = static_cast<int16_t>(texels.size());
        image.height = 1;
        image.format = BZ_IMAGE_8888;
        image.refCount = 1;
        image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
        EXPECT_EQ(OGL_LockImgMap(&image, BZ_LOCK_WRITE), 0);
        for (size_t x = 0; x < texels.size(); ++x)
        {
            const auto &t = texels[x];
            OGL_PutImgMapPixel(&image, static_cast<int32_t>(x), 0, t[0], t[1], t[2], t[3]);
        }
        EXPECT_EQ(OGL_UnlockImgMap(&image), 0);
        OGL_MakeImgMapATexture(&image);
    }
    ~RowImage() { OGL_FreeImgMapTexture(&image); }
};
