// The OpenGL 2-D layer on a 640x480 frame: queued rectangles, lines, images and text vertex
// lists drawn by the flush, read back from the frame.
#include "GlTestSupport.h"

#include "backends/gl/GlDraw2D.h"
#include "device/TextRun.h"
#include "device/ViewportRecord.h"

#include <array>
#include <cmath>

namespace
{
class Gl2DTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        bzg2DDrawMode = nullptr;
        bzgOGL2DScaleX = 1.0f;
        bzgOGL2DScaleY = 1.0f;
    }
    void TearDown() override
    {
        OGL_Flush2D(); // nothing left queued for the next test
        bzg2DDrawMode = nullptr;
        bzgOGL2DScaleX = 1.0f;
        bzgOGL2DScaleY = 1.0f;
        GlFrameTest::TearDown();
    }
    void Flush(const char *picture = nullptr)
    {
        OGL_Flush2D();
        ReadFrame(picture);
    }
};

// An 8888 image with its own texture; one reference held by the test.
struct Picture
{
    bz_IMGMAP image{};
    Picture(uint8_t format, int16_t w, int16_t h, const std::vector<std::array<uint8_t, 4>> &argb)
    {
        image.width = w;
        image.height = h;
        image.format = format;
        image.refCount = 1;
        image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
        EXPECT_EQ(OGL_LockImgMap(&image, BZ_LOCK_WRITE), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const auto &p = argb[size_t(y) * w + x];
                if (format == BZ_IMAGE_ALPHA)
                    image.pixels[y * w + x] = p[0];
                else
                    OGL_PutImgMapPixel(&image, x, y, p[0], p[1], p[2], p[3]);
            }
        EXPECT_EQ(OGL_UnlockImgMap(&image), 0);
        OGL_MakeImgMapATexture(&image);
    }
    ~Picture() { OGL_FreeImgMapTexture(&image); }
};

TEST_F(Gl2DTest, ARectangleHasItsFourCornerColoursAtItsCorners)
{
    // Top-left red, top-right green, bottom-right blue, bottom-left white.
    const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    EXPECT_EQ(OGL_Draw2DRectColours(100, 100, 400, 300, colours, BZ_OGL_BLEND_ALPHA, nullptr, 0),
              0);
    EXPECT_EQ(OGL_2DQueuedCount(), 1);
    Flush("gl_2d_corner_colours");
    EXPECT_EQ(OGL_2DQueuedCount(), 0);
    // One pixel inside each corner; across 400 pixels a pixel changes a colour by under 1.
    ExpectNear(101, 101, {255, 0, 0}, 4);
    ExpectNear(498, 101, {0, 255, 0}, 4);
    ExpectNear(498, 398, {0, 0, 255}, 4);
    ExpectNear(101, 398, {255, 255, 255}, 4);
    // Outside the rectangle nothing was drawn.
    ExpectNear(99, 99, {0, 0, 0}, 0);
    ExpectNear(501, 401, {0, 0, 0}, 0);
}

TEST_F(Gl2DTest, RecordsDrawInQueueOrderWhateverTheirBlendKind)
{
    // An opaque red square, then an additive blue one, then an opaque green one over both;
    // the green must be last, on top.
    OGL_Draw2DRect(100, 100, 200, 200, 0xFFFF0000, BZ_OGL_BLEND_ALPHA, nullptr, 0);
    OGL_Draw2DRect(150, 150, 200, 200, 0xFF0000FF, BZ_OGL_BLEND_ADD, nullptr, 0);
    OGL_Draw2DRect(200, 200, 50, 50, 0xFF00FF00, BZ_OGL_BLEND_ALPHA, nullptr, 0);
    Flush("gl_2d_queue_order");
    ExpectNear(120, 120, {255, 0, 0});
    ExpectNear(170, 170, {255, 0, 255}); // blue added to red
    ExpectNear(320, 320, {0, 0, 255});
    ExpectNear(225, 225, {0, 255, 0});
}

TEST_F(Gl2DTest, BlendKindsOverAGreyGround)
{
    struct Case
    {
        int32_t blend;
        std::array<int, 3> want; // over (128, 128, 128) with (200, 40, 40) at alpha 128/255
    };
    const float a = 128.0f / 255.0f;
    auto mix = [&](float s, float d) { return int(std::lround(s * a + d * (1 - a))); };
    const Case cases[] = {
        {BZ_OGL_BLEND_ALPHA, {mix(200, 128), mix(40, 128), mix(40, 128)}},
        {BZ_OGL_BLEND_ADD, {int(std::lround(128 + 200 * a)), int(std::lround(128 + 40 * a)), 148}},
        {BZ_OGL_BLEND_MULTIPLY, {100, 20, 20}}, // ground x colour / 255
        {BZ_OGL_BLEND_SUBTRACT, {28, int(std::lround(128 - 40 * a)), 108}},
        {7, {mix(200, 128), mix(40, 128), mix(40, 128)}}, // unknown kinds blend by alpha
    };
    int x = 10;
    for (const Case &c : cases)
    {
        OGL_Draw2DRect(float(x), 10, 60, 60, 0xFF808080, BZ_OGL_BLEND_ALPHA, nullptr, 0);
        OGL_Draw2DRect(float(x), 10, 60, 60, 0x80C82828, c.blend, nullptr, 0);
        x += 100;
    }
    Flush("gl_2d_blend_kinds");
    x = 10;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.blend);
        ExpectNear(x + 30, 40, c.want, 3);
        x += 100;
    }
}

TEST_F(Gl2DTest, LinesAreScaledAndRoundedTowardZero)
{
    OGL_Draw2DLine(50.9f, 100.0f, 400.0f, 100.0f, 0xFFFFFF00, BZ_OGL_BLEND_ALPHA);
    bzgOGL2DScaleX = 2.0f;
    bzgOGL2DScaleY = 2.0f;
    // (25.4, 100.7) x 2 = (50.8, 201.4) -> (50, 201); to (150, 201) x 2 = (300, 402).
    OGL_Draw2DLine(25.4f, 100.7f, 150.0f, 100.7f, 0xFF00FFFF, BZ_OGL_BLEND_ALPHA);
    Flush("gl_2d_lines");
    ExpectNear(200, 100, {255, 255, 0});
    ExpectNear(200, 103, {0, 0, 0}, 0);
    ExpectNear(420, 100, {0, 0, 0}, 0);
    ExpectNear(200, 201, {0, 255, 255});
    ExpectNear(320, 201, {0, 0, 0}, 0); // beyond x 300
    ExpectNear(200, 402, {0, 0, 0}, 0); // y was not left unscaled twice
}

TEST_F(Gl2DTest, AViewportTargetPlacesRecordsAtItsCorner)
{
    bzViewport target{};
    target.x = 320;
    target.y = 240;
    target.width = 320;
    target.height = 240;
    bzg2DDrawMode = &target;
    OGL_Draw2DRect(0, 0, 50, 50, 0xFFFF0000, BZ_OGL_BLEND_ALPHA, nullptr, 0);
    // A record for the whole screen after it switches the viewport back.
    bzg2DDrawMode = nullptr;
    OGL_Draw2DRect(0, 0, 50, 50, 0xFF00FF00, BZ_OGL_BLEND_ALPHA, nullptr, 0);
    Flush("gl_2d_viewport_target");
    ExpectNear(345, 265, {255, 0, 0});
    ExpectNear(25, 25, {0, 255, 0});
    ExpectNear(375, 295, {0, 0, 0}, 0);
}

TEST_F(Gl2DTest, ImagesAreTexturedRotatedAndReferencedUntilTheFlush)
{
    // 2x2: red, green over blue, white.
    Picture p(BZ_IMAGE_8888, 2, 2,
              {{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}, {255, 255, 255, 255}});
    ASSERT_NE(p.image.textureName, 0u);
    EXPECT_EQ(
        OGL_Draw2DImage(20, 20, 200, 200, BZ_OGL_BLEND_ALPHA, nullptr, 0, &p.image, 0.0f, 1.0f), 0);
    // A wide bar of the image's left column turned by 90 degrees about its centre (420, 240).
    const float leftColumn[4] = {0.0f, 0.0f, 0.25f, 0.25f};
    EXPECT_EQ(OGL_Draw2DImageRotated(320, 230, 200, 20, BZ_OGL_BLEND_ALPHA, leftColumn, 0, &p.image,
                                     90.0f, 1.0f),
              0);
    EXPECT_EQ(p.image.refCount, 3);
    Flush("gl_2d_images");
    EXPECT_EQ(p.image.refCount, 1);
    ExpectNear(70, 70, {255, 0, 0});
    ExpectNear(170, 70, {0, 255, 0});
    ExpectNear(70, 170, {0, 0, 255});
    ExpectNear(170, 170, {255, 255, 255});
    // Turned: tall, not wide.
    ExpectNear(420, 160, {255, 0, 0});
    ExpectNear(420, 320, {255, 0, 0});
    ExpectNear(340, 240, {0, 0, 0}, 0);
    ExpectNear(500, 240, {0, 0, 0}, 0);
}

// A text run whose layout writes two triangles of one square per call, with a colour whose
// alpha is 0.
int32_t gFills;
int32_t FillSquare(bzTextRun *run, bzTextVertex *v)
{
    ++gFills;
    const float x = run->layout->penX;
    const float y = run->layout->penY;
    const float xs[6] = {x, x + 40, x + 40, x, x + 40, x};
    const float ys[6] = {y, y, y + 40, y, y + 40, y + 40};
    for (int i = 0; i < 6; ++i)
        v[i] = {xs[i], ys[i], 0.0f, 1.0f, 0x00FF8000, 0.0f, 0.0f};
    run->layout->penX += 40;
    return 6;
}

TEST_F(Gl2DTest, TextRunsFillThePoolAndAnOverfullRunIsRefused)
{
    bzTextLayout layout{};
    layout.penX = 100;
    layout.penY = 100;
    bzTextRun run{};
    run.layout = &layout;
    run.fill = FillSquare;
    gFills = 0;

    run.vertexCount = 6;
    OGL_Add2DVertexList(&run);
    EXPECT_EQ(OGL_2DPoolCount(), 6);
    EXPECT_EQ(OGL_2DQueuedCount(), 1);

    // Room for 5,994 more: a run asking 5,995 would make 6,001 and is refused, one asking
    // 5,994 fits (the layout writes only 6 of them).
    run.vertexCount = 5995;
    OGL_Add2DVertexList(&run);
    EXPECT_EQ(OGL_2DPoolCount(), 6);
    EXPECT_EQ(gFills, 1);
    run.vertexCount = 5994;
    OGL_Add2DVertexList(&run);
    EXPECT_EQ(OGL_2DPoolCount(), 12);
    run.vertexCount = 5989;
    OGL_Add2DVertexList(&run); // 12 + 5989 = 6,001
    EXPECT_EQ(OGL_2DPoolCount(), 12);
    EXPECT_EQ(OGL_2DQueuedCount(), 2);
    EXPECT_EQ(gFills, 2);
    run.vertexCount = 5988; // 6,000 exactly
    OGL_Add2DVertexList(&run);
    EXPECT_EQ(OGL_2DPoolCount(), 18);
    EXPECT_EQ(gFills, 3);

    Flush("gl_2d_text_runs");
    EXPECT_EQ(OGL_2DPoolCount(), 0);
    // Without an image, untextured; the vertex alpha 0 is not passed, so the squares are opaque.
    ExpectNear(120, 120, {255, 128, 0});
    ExpectNear(160, 120, {255, 128, 0});
    ExpectNear(200, 120, {255, 128, 0});
    ExpectNear(240, 120, {0, 0, 0}, 0);

    // Bad runs queue nothing.
    run.vertexCount = 0;
    OGL_Add2DVertexList(&run);
    run.vertexCount = -5;
    OGL_Add2DVertexList(&run);
    OGL_Add2DVertexList(nullptr);
    EXPECT_EQ(OGL_2DQueuedCount(), 0);
    EXPECT_EQ(OGL_2DPoolCount(), 0);
}

TEST_F(Gl2DTest, AnAlphaOnlyImageTakesItsColourFromTheRecord)
{
    // Alpha 255 left, 0 right.
    Picture p(BZ_IMAGE_ALPHA, 2, 1, {{255, 0, 0, 0}, {0, 0, 0, 0}});
    OGL_Draw2DRect(100, 100, 200, 100, 0xFF20C040, BZ_OGL_BLEND_ALPHA, &p.image, 0);
    Flush("gl_2d_alpha_image");
    ExpectNear(150, 150, {0x20, 0xC0, 0x40});
    ExpectNear(250, 150, {0, 0, 0});
}

TEST_F(Gl2DTest, TheRendererTableQueuesThroughTheSameLayer)
{
    EXPECT_EQ(bzgRenderTable.PDDraw2DRect(10, 10, 20, 20, 0xFFFFFFFF, 0, nullptr, 0), 0);
    EXPECT_EQ(bzgRenderTable.PDDraw2DLine(0, 50, 100, 50, 0xFFFFFFFF, 0), 0);
    EXPECT_EQ(OGL_2DQueuedCount(), 2);
    bzgRenderTable.PDFlush2D();
    EXPECT_EQ(OGL_2DQueuedCount(), 0);
}
TEST_F(Gl2DTest, TheScreenRectangleCoversTheFrameByItsBlendKind)
{
    struct Case
    {
        int32_t blend;
        std::array<int, 3> want; // over (100, 150, 200) with colour (64, 128, 255)
    };
    const Case cases[] = {
        {0, {64, 128, 255}},                         // opaque colour
        {1, {164, 255, 255}},                        // added
        {3, {100 * 191 / 255, 150 * 127 / 255, 0}},  // by the inverse colour
        {4, {100 * 64 / 255, 150 * 128 / 255, 200}}, // multiplied
        {9, {64, 128, 255}},                         // unblended
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.blend);
        ClearFrame(kW, kH);
        OGL_Draw2DRect(0, 0, kW, kH, 0xFF6496C8, BZ_OGL_BLEND_ALPHA, nullptr, 0);
        OGL_Flush2D();
        bzgRenderTable.PDDrawScreenRectGL(0, 0x4080FF, c.blend);
        ReadFrame();
        ExpectNear(10, 10, c.want, 2);
        ExpectNear(630, 470, c.want, 2);
    }
}
const char *WithoutBlendSubtract()
{
    return "GL_ARB_multitexture GL_ARB_texture_env_combine GL_EXT_bgra";
}

TEST_F(Gl2DTest, WithoutBlendSubtractTheSubtractiveKindAdds)
{
    bzgOGLWindowSystem.extensions = WithoutBlendSubtract;
    bzgOGLCaps = 0; // detection only widens the word
    bz_OGLExtentions();
    EXPECT_FALSE(bzgOGLCaps & BZ_OGL_CAP_BLEND_SUBTRACT);
    OGL_Draw2DRect(10, 10, 60, 60, 0xFF808080, BZ_OGL_BLEND_ALPHA, nullptr, 0);
    OGL_Draw2DRect(10, 10, 60, 60, 0xFF402010, BZ_OGL_BLEND_SUBTRACT, nullptr, 0);
    Flush("gl_2d_no_blend_subtract");
    ExpectNear(40, 40, {0xC0, 0xA0, 0x90});
}

} // namespace
