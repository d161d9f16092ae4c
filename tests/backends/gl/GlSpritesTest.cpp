// OpenGL particle sprites: the colour ramp by age and emitter flags, and particles drawn as
// squares on a 640x480 frame.
#include "GlTestSupport.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlSprites.h"
#include "scene/ParticleSystem.h"

namespace
{
bzParticle Particle(float age, uint32_t start, int16_t dr, int16_t dg, int16_t db, int16_t da)
{
    bzParticle p{};
    p.age = age;
    p.startColour = start;
    p.deltaRG[0] = dr;
    p.deltaRG[1] = dg;
    p.deltaBA[0] = db;
    p.deltaBA[1] = da;
    return p;
}

TEST(GlSprites, TheColourRampFollowsTheAgeAndTheEmitterFlags)
{
    // Start 0x80 in every channel; red rises by 100, green falls by 100, blue by 64, alpha
    // rises by 127.
    struct Case
    {
        float age;
        uint32_t flags;
        float ramp; // the fraction of the change taken, worked out from the age
    };
    const Case cases[] = {
        {0.5f, 0, 0.0f},                     // before the last quarter: start colour
        {0.875f, 0, 0.5f},                   // (0.875 - 0.75) x 4
        {1.0f, 0, 1.0f},                     // end colour
        {0.1f, BZ_OGL_SPRITE_FADE_IN, 0.6f}, // 1 - 0.1 x 4
        {0.0f, BZ_OGL_SPRITE_FADE_IN, 1.0f}, // born at the end colour
        {0.3f, BZ_OGL_SPRITE_FADE_IN, 0.0f}, // past the first quarter
        {0.3f, BZ_OGL_SPRITE_LINEAR, 0.3f},  // the age itself
        {0.1f, BZ_OGL_SPRITE_LINEAR | BZ_OGL_SPRITE_FADE_IN, 0.1f}, // linear wins
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.age);
        SCOPED_TRACE(c.flags);
        const bzParticle p = Particle(c.age, 0x80808080, 100, -100, -64, 127);
        const uint32_t got = OGL_ParticleColour(p, c.flags);
        // (change x F) >> 16 with F = ramp x 65536, rounded toward minus infinity.
        auto channel = [&](int change)
        {
            const int f = int(c.ramp * 65536.0f);
            return uint32_t(0x80 + ((change * f) >> 16)) & 0xFF;
        };
        EXPECT_EQ((got >> 16) & 0xFF, channel(100));
        EXPECT_EQ((got >> 8) & 0xFF, channel(-100));
        EXPECT_EQ(got & 0xFF, channel(-64));
        EXPECT_EQ(got >> 24, channel(127));
    }
    // Whole ends by hand: half-way through the last quarter red is 0x80 + 50.
    EXPECT_EQ((OGL_ParticleColour(Particle(0.875f, 0x80808080, 100, 0, 0, 0), 0) >> 16) & 0xFF,
              0x80u + 50u);
    // A change that passes 255 is kept to 8 bits.
    EXPECT_EQ((OGL_ParticleColour(Particle(1.0f, 0x00F00000, 32, 0, 0, 0), 0) >> 16) & 0xFF,
              (0xF0u + 32u) & 0xFFu);
}

TEST_F(GlFrameTest, SpritesAreSquaresOfTheirSizeAndColour)
{
    bzParticle a = Particle(0.0f, 0xFFFF0000, 0, 0, 0, 0);
    a.position = {-0.5f, 0.0f, 0.0f};
    bzParticle b = Particle(1.0f, 0xFF000000, 0, 255, 0, 0); // green at its end
    b.position = {0.5f, 0.0f, 0.0f};
    bzParticle dead = Particle(1.5f, 0xFFFFFFFF, 0, 0, 0, 0);
    dead.position = {0.0f, 0.5f, 0.0f};
    a.next = &dead;
    bzParticleSystem system{};
    system.startSize = 0.2f; // a square 0.2 across at age 0, 0.4 at age 1
    system.endSize = 0.4f;
    system.layers[0].head = &a;
    system.layers[0].mode = BZ_OGL_BLEND_ALPHA;
    system.layers[1].head = &b;
    system.layers[1].mode = BZ_OGL_BLEND_ADD;
    bzgRenderTable.PDDrawSprites(&system);
    ReadFrame("gl_sprites");
    // a: x -0.6..-0.4 (columns 128-192), y -0.1..0.1 (rows 216-264).
    ExpectNear(160, 240, {255, 0, 0});
    ExpectNear(160, 220, {255, 0, 0});
    ExpectNear(160, 200, {0, 0, 0}, 0);
    // b: x 0.3..0.7 (columns 416-544), y -0.2..0.2 (rows 192-288).
    ExpectNear(480, 240, {0, 255, 0});
    ExpectNear(480, 200, {0, 255, 0});
    ExpectNear(480, 180, {0, 0, 0}, 0);
    // The dead particle is not drawn.
    ExpectNear(320, 120, {0, 0, 0}, 0);

    // An emitter with no particles draws nothing.
    bzParticleSystem empty{};
    ClearFrame(kW, kH);
    OGL_DrawSprites(&empty);
    OGL_DrawSprites(nullptr);
    ReadFrame();
    ExpectNear(320, 240, {0, 0, 0}, 0);
}
} // namespace
