// The OpenGL lights: numbers handed out in call order, the context's limit, and a face lit by
// one directional light read back against the lighting worked out here.
#include "GlTestSupport.h"

#include "backends/gl/GlLights.h"
#include "maths/Types.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>

namespace
{
struct TestLight
{
    bzLight light{};
    bzLump lump{};
    TestLight(uint8_t type, uint32_t colour)
    {
        light.type = type;
        light.parameter1 = colour;
        lump.type = type;
        lump.object = &light;
    }
};

bzM34 Identity()
{
    bzM34 m{};
    m.row[0] = {1, 0, 0};
    m.row[1] = {0, 1, 0};
    m.row[2] = {0, 0, 1};
    return m;
}

TEST_F(GlTest, LightNumbersFollowTheCallsWhateverIndexIsPassed)
{
    ASSERT_EQ(OpenDisplay(), 0);
    TestLight sun(BZ_LUMP_TYPE_DIRLIGHT, 0xFFFFFF);
    TestLight lamp(BZ_LUMP_TYPE_POINTLIGHT, 0x804020);
    bzM34 m = Identity();
    m.row[3] = {1, 2, 3};
    EXPECT_EQ(OGL_SetLight(7, &sun.lump, &m), 0);
    EXPECT_EQ(OGL_SetLight(3, &lamp.lump, &m), 1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_EQ(OGL_LightLump(0), &sun.lump);
    // The directional light points along -z of its matrix, the point light sits at its
    // translation; the colour is the diffuse, the ambient 0 and the specular white.
    float p[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, p);
    EXPECT_EQ(p[2], -1.0f);
    EXPECT_EQ(p[3], 0.0f);
    glGetLightfv(GL_LIGHT1, GL_POSITION, p);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 2.0f);
    EXPECT_EQ(p[2], 3.0f);
    EXPECT_EQ(p[3], 1.0f);
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, p);
    EXPECT_NEAR(p[0], 128 / 255.0f, 1e-6f);
    EXPECT_NEAR(p[1], 64 / 255.0f, 1e-6f);
    EXPECT_NEAR(p[2], 32 / 255.0f, 1e-6f);
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, p);
    EXPECT_EQ(p[0], 0.0f);
    glGetLightfv(GL_LIGHT1, GL_SPECULAR, p);
    EXPECT_EQ(p[0], 1.0f);

    OGL_DisableLights();
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    EXPECT_EQ(OGL_LightCount(), 0);
    EXPECT_EQ(OGL_SetLight(5, &lamp.lump, &m), 0);
    OGL_DisableLights();
}

TEST_F(GlTest, LightsBeyondTheContextsLimitAndNonLightsAreRefused)
{
    ASSERT_EQ(OpenDisplay(), 0);
    GLint most = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &most);
    ASSERT_GE(most, 8);
    const int32_t usable = std::min<int32_t>(most, 16);
    TestLight sun(BZ_LUMP_TYPE_DIRLIGHT, 0xFFFFFF);
    const bzM34 m = Identity();
    for (int32_t i = 0; i < usable; ++i)
        EXPECT_EQ(OGL_SetLight(0, &sun.lump, &m), i);
    EXPECT_EQ(OGL_SetLight(0, &sun.lump, &m), -1);
    EXPECT_EQ(OGL_LightCount(), usable);
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
    OGL_DisableLights();

    bzLump model{};
    model.type = BZ_LUMP_TYPE_MODEL;
    EXPECT_EQ(OGL_SetLight(0, &model, &m), -1);
    EXPECT_EQ(OGL_SetLight(0, nullptr, &m), -1);
    bzLump empty{};
    empty.type = BZ_LUMP_TYPE_DIRLIGHT;
    EXPECT_EQ(OGL_SetLight(0, &empty, &m), -1);
    EXPECT_EQ(OGL_LightCount(), 0);
}

TEST_F(GlTest, AFaceUnderOneDirectionalLightMatchesTheLightingWorkedOutByHand)
{
    ASSERT_EQ(OpenDisplay(), 0);
    ClearFrame(kWidth, kHeight);
    const uint32_t ambient = 0x302010;
    bzgRenderTable.PDSetAmbientLight(ambient);
    // The light shines along (0, -0.6, -0.8): its matrix's z row is that direction.
    TestLight sun(BZ_LUMP_TYPE_DIRLIGHT, 0xC0FF80);
    bzM34 m = Identity();
    m.row[1] = {0, 0.8f, -0.6f};
    m.row[2] = {0, -0.6f, -0.8f};
    bzgRenderTable.PDDisableLights();
    ASSERT_EQ(bzgRenderTable.PDSetLight(0, &sun.lump, &m), 0);
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity(); // the light set-up left the model-view at the identity too
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    // A face towards +z in a material colour (colour material: ambient and diffuse).
    const uint8_t colour[3] = {200, 150, 100};
    glColor3ub(colour[0], colour[1], colour[2]);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glVertex2f(-0.5f, -0.5f);
    glVertex2f(0.5f, -0.5f);
    glVertex2f(0.5f, 0.5f);
    glVertex2f(-0.5f, 0.5f);
    glEnd();
    glDisable(GL_LIGHTING);
    bzgRenderTable.PDDisableLights();
    glFinish();
    const auto frame = ReadPixels(0, 0, kWidth, kHeight);
    SavePicture("gl_lit_face", kWidth, kHeight, frame);
    // colour x (ambient + diffuse x n.l) with n.l = 0.8, each term clamped to 1.
    const uint8_t amb[3] = {0x30, 0x20, 0x10};
    const uint8_t dif[3] = {0xC0, 0xFF, 0x80};
    const size_t centre = (size_t(kHeight / 2) * kWidth + kWidth / 2) * 4;
    for (int c = 0; c < 3; ++c)
    {
        const float light = std::min(1.0f, amb[c] / 255.0f + dif[c] / 255.0f * 0.8f);
        EXPECT_NEAR(frame[centre + c], colour[c] * light, 2.0f) << c;
    }
    // Outside the face, black.
    EXPECT_EQ(frame[0], 0);
}
} // namespace
