// OpenGL stencil shadows on a 640x480 frame: a cube's volume over a ground square, counted into
// the stencil buffer and darkened by the overlay, read back.
#include "GlTestSupport.h"

#include "backends/gl/GlLights.h"
#include "backends/gl/GlShadow.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "models/Model.h"
#include "models/ModelProcessing.h"
#include "models/SkinInstance.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <array>
#include <cmath>

namespace
{
// A cube of six sides with their own vertices (24) and normals, x and y in [-0.2, 0.2], z in
// [-0.8, -0.4] in clip space; every side wound clockwise seen from outside, as the engine's
// models are.
struct ShadowCube
{
    bzV3 positions[24];
    bzV3 normals[24];
    bzModelFace faces[12] = {};
    bzMaterialEntry entry{};
    bzModelPart part{};
    bzModel model{};
    bzLumpShadow shadow{};
    bzLump lump{};

    ShadowCube()
    {
        const float lo[3] = {-0.2f, -0.2f, -0.8f};
        const float hi[3] = {0.2f, 0.2f, -0.4f};
        int v = 0;
        for (int axis = 0; axis < 3; ++axis)
            for (int side = 0; side < 2; ++side)
            {
                const int u = (axis + 1) % 3;
                const int w = (axis + 2) % 3;
                bzV3 n{0, 0, 0};
                n.v[axis] = side ? 1.0f : -1.0f;
                const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                int quad[4];
                for (int k = 0; k < 4; ++k)
                {
                    bzV3 p{};
                    p.v[axis] = side ? hi[axis] : lo[axis];
                    p.v[u] = uv[k][0] ? hi[u] : lo[u];
                    p.v[w] = uv[k][1] ? hi[w] : lo[w];
                    positions[v] = p;
                    normals[v] = n;
                    quad[k] = v++;
                }
                // (b - a) x (c - a) . n > 0 is clockwise on the screen in clip space.
                const bzV3 &a = positions[quad[0]], &b = positions[quad[1]],
                           &c = positions[quad[2]];
                const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
                const float e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
                const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1],
                                        e1[2] * e2[0] - e1[0] * e2[2],
                                        e1[0] * e2[1] - e1[1] * e2[0]};
                if (cross[0] * n.x + cross[1] * n.y + cross[2] * n.z < 0)
                    std::swap(quad[1], quad[3]);
                const int f = (v / 4 - 1) * 2;
                faces[f].v[0] = uint32_t(quad[0]);
                faces[f].v[1] = uint32_t(quad[1]);
                faces[f].v[2] = uint32_t(quad[2]);
                faces[f + 1].v[0] = uint32_t(quad[0]);
                faces[f + 1].v[1] = uint32_t(quad[2]);
                faces[f + 1].v[2] = uint32_t(quad[3]);
            }
        part.vertexCount = 24;
        part.positions[0] = positions;
        part.normals[0] = normals;
        part.faces = faces;
        part.faceCount = 12;
        part.entryCount = 1;
        part.entries = &entry;
        entry.part = &part;
        model.part = &part;
        shadow.model = &model;
        shadow.extrusion = 1.0f;
        lump.type = BZ_LUMP_TYPE_STENCIL_SHADOW;
        lump.object = &shadow;
        lump.worldMatrix.row[0] = {1, 0, 0};
        lump.worldMatrix.row[1] = {0, 1, 0};
        lump.worldMatrix.row[2] = {0, 0, 1};
    }
    ~ShadowCube()
    {
        bz_MemFree(entry.listIndices);
        bz_MemFree(part.positions[2]);
    }
};

// The cube bound whole to the one bone of a skeleton, as a model file leaves a skinned model
// (its part draws the positions the skeleton keeps), and the skinned-model lump that poses it,
// holding the cube's shadow lump.
struct SkinnedShadowCube : ShadowCube
{
    bzSkeletonBone bone{-1, -1, -1, -1, {}};
    bzBox box{{-1, -1, -1}, {1, 1, 1}};
    bzBonePose bindPose{{{0, 0, 0, 1}}, {{{0, 0, 0}}}, 0};
    bzV3 offset{{{0, 0, 0}}};
    int16_t influenceBones[1] = {0};
    float weights[1] = {1};
    bzSkinInfluences influences[24] = {};
    bzSkeleton skeleton{};
    bzSkinInstance *instance = nullptr;
    bzLump owner{};

    SkinnedShadowCube()
    {
        for (bzSkinInfluences &in : influences)
            in.count = 1;
        skeleton.boneCount = 1;
        skeleton.nameTable = -1;
        skeleton.bones = &bone;
        skeleton.boneBoxes = &box;
        skeleton.bindPose = &bindPose;
        skeleton.boneOffsets = &offset;
        skeleton.influenceBones = influenceBones;
        skeleton.influenceWeights = weights;
        skeleton.vertexInfluences = influences;
        skeleton.influenceCount = 1;
        skeleton.skinnedPositionsDefault = positions;
        part.skeleton = &skeleton;
        model.flags = BZ_MODEL_SKINNED;
        model.refCount = 1; // the cube's own use: the instance's use never frees it
        instance = bz_CreateSkinInstance(&model);
        owner.type = BZ_LUMP_TYPE_SKINNED_MODEL;
        owner.object = instance;
        lump.parent = &owner;
    }
    ~SkinnedShadowCube()
    {
        if (instance)
            bz_FreeSkinInstance(instance);
    }
    // The bone's model-space rotation and position for the next draw.
    void Pose(bzQuat rotation, float x, float y)
    {
        instance->poses[0] = {rotation, {{{x, y, 0}}}, 0};
        instance->frame = -1;
        instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    }
};

class GlShadowTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        sun_.type = BZ_LUMP_TYPE_DIRLIGHT;
        sun_.direction = {0, 0, 1}; // into the screen
        sunLump_.type = BZ_LUMP_TYPE_DIRLIGHT;
        sunLump_.object = &sun_;
    }
    void TearDown() override
    {
        OGL_DisableLights();
        GlFrameTest::TearDown();
    }
    // The ground: a grey square over the whole frame at depth z = 0, depth written, over a
    // cleared depth and stencil buffer.
    static void Ground()
    {
        glDepthMask(GL_TRUE);
        glClear(GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glColor3ub(200, 200, 200);
        glBegin(GL_QUADS);
        glVertex3f(-1, -1, 0);
        glVertex3f(1, -1, 0);
        glVertex3f(1, 1, 0);
        glVertex3f(-1, 1, 0);
        glEnd();
    }
    void CastAndRead(ShadowCube &cube, const char *picture)
    {
        Ground();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        bzgRenderTable.PDDrawShadowVolume(&cube.lump, nullptr);
        bzgRenderTable.PDDrawShadowOverlay(0, 0, kW, kH);
        ReadFrame(picture);
    }
    // CastAndRead, answering how many errors it reported.
    uint32_t CastAndReadReports(ShadowCube &cube, const char *picture)
    {
        const uint32_t before = bz_Error_ReportCount();
        CastAndRead(cube, picture);
        return bz_Error_ReportCount() - before;
    }
    // The sun as light 0, seen with the identity view.
    int32_t SetSun() { return OGL_SetLight(0, &sunLump_, bz_M34_Identity()); }
    // A scene's directional light as light 0: it keeps no direction of its own, and its lump's
    // matrix, left by the walk, points its z axis into the screen and to the right,
    // (0.6, 0, 0.8).
    int32_t SetSlantedLamp()
    {
        Lamp(BZ_LUMP_TYPE_DIRLIGHT);
        lampLump_.worldMatrix.row[0] = {0.8f, 0, -0.6f};
        lampLump_.worldMatrix.row[1] = {0, 1, 0};
        lampLump_.worldMatrix.row[2] = {0.6f, 0, 0.8f};
        return OGL_SetLight(0, &lampLump_, &lampLump_.worldMatrix);
    }
    // A point light as light 0, seen with the identity view.
    int32_t SetPointLamp()
    {
        Lamp(BZ_LUMP_TYPE_POINTLIGHT);
        return OGL_SetLight(0, &lampLump_, bz_M34_Identity());
    }
    void Lamp(int32_t type)
    {
        lamp_.type = type;
        lampLump_.type = type;
        lampLump_.object = &lamp_;
    }
    bzLight sun_{};
    bzLump sunLump_{};
    bzLight lamp_{};
    bzLump lampLump_{};
};

TEST_F(GlShadowTest, ACubesVolumeDarkensItsSquareByHalf)
{
    ShadowCube cube;
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    // 12 faces and a seam quad along each of the cube's 12 edges.
    EXPECT_EQ(cube.entry.listIndexCount, (12u + 24u) * 3u);
    ASSERT_NE(cube.part.positions[2], nullptr);
    ASSERT_EQ(SetSun(), 0);
    CastAndRead(cube, "gl_shadow_cube");
    // The square of the cube, columns 256-384 and rows 192-288, at half; the rest untouched.
    ExpectNear(320, 240, {100, 100, 100}, 2);
    ExpectNear(260, 196, {100, 100, 100}, 2);
    ExpectNear(380, 284, {100, 100, 100}, 2);
    ExpectNear(250, 240, {200, 200, 200}, 0);
    ExpectNear(390, 240, {200, 200, 200}, 0);
    ExpectNear(320, 186, {200, 200, 200}, 0);
    ExpectNear(320, 294, {200, 200, 200}, 0);
    ExpectNear(10, 10, {200, 200, 200}, 0);
    // Vertices facing the light stay, the rest moved one unit along it (a side's normal is
    // perpendicular to the light: moved).
    EXPECT_EQ(cube.positions[0].z, -0.8f + 1.0f); // a side along x, at x = -0.2
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
    bool front = false;
    for (int v = 0; v < 24; ++v)
        if (cube.normals[v].z < 0)
        {
            EXPECT_EQ(cube.positions[v].z, -0.8f);
            front = true;
        }
    EXPECT_TRUE(front);
}

TEST_F(GlShadowTest, TheCastersOwnLitSideStaysLit)
{
    // The cube itself drawn in white over the ground, under the materials' depth test, with
    // the face towards the viewer turned to the light: the volume's cap lies in that face.
    ShadowCube cube;
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    ASSERT_EQ(SetSun(), 0);
    Ground();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDepthFunc(GL_LEQUAL);
    glColor3ub(240, 240, 240);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, cube.positions);
    uint32_t corners[36];
    for (int f = 0; f < 12; ++f)
        for (int k = 0; k < 3; ++k)
            corners[3 * f + k] = cube.faces[f].v[k];
    glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_INT, corners);
    glDisableClientState(GL_VERTEX_ARRAY);
    bzgRenderTable.PDDrawShadowVolume(&cube.lump, nullptr);
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
    bzgRenderTable.PDDrawShadowOverlay(0, 0, kW, kH);
    ReadFrame("gl_shadow_lit_caster");
    // Every pixel of the cube's face keeps its colour; the ground round it is untouched (the
    // shadow falls straight behind the cube).
    int darkened = 0;
    for (int y = 194; y < 287; ++y)
        for (int x = 258; x < 383; ++x)
            darkened += At(x, y)[0] != 240;
    EXPECT_EQ(darkened, 0);
    ExpectNear(250, 240, {200, 200, 200}, 0);
    ExpectNear(320, 186, {200, 200, 200}, 0);
}

TEST_F(GlShadowTest, ASceneLightWithoutADirectionShinesAlongItsMatrix)
{
    // A light made in a scene keeps no direction of its own; the walk leaves its view matrix in
    // the lump, whose z axis here points into the screen and to the right (SetSlantedLamp).
    ShadowCube cube;
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    ASSERT_EQ(SetSlantedLamp(), 0);
    EXPECT_EQ(CastAndReadReports(cube, "gl_shadow_scene_light"), 0u);
    // Vertices whose normal is not against (0.6, 0, 0.8) move by it (extrusion 1), the others
    // (the sides facing -x and -z) stay.
    const bzV3 base[2] = {{-0.2f, -0.2f, -0.8f}, {0.2f, 0.2f, -0.4f}};
    for (int v = 0; v < 24; ++v)
    {
        const bzV3 &n = cube.normals[v];
        const bool moved = n.x * 0.6f + n.z * 0.8f >= 0.0f;
        const bzV3 &p = cube.positions[v];
        const float x0 = p.x - (moved ? 0.6f : 0.0f), z0 = p.z - (moved ? 0.8f : 0.0f);
        EXPECT_TRUE(std::abs(x0 - base[0].x) < 1e-6f || std::abs(x0 - base[1].x) < 1e-6f) << v;
        EXPECT_TRUE(std::abs(z0 - base[0].z) < 1e-6f || std::abs(z0 - base[1].z) < 1e-6f) << v;
    }
    // A ground point p at z = 0 is in shadow when p - t (0.6, 0, 0.8) lies in the cube for a t
    // up to the extrusion: t = -z / 0.8 runs from 0.5 to 1, so the shadow spans x 0.1 to 0.8
    // (columns 352 to 576), beside the cube's own square rather than behind it.
    ExpectNear(450, 240, {100, 100, 100}, 2);
    ExpectNear(560, 200, {100, 100, 100}, 2);
    ExpectNear(300, 240, {200, 200, 200}, 0);
    ExpectNear(600, 240, {200, 200, 200}, 0);
    ExpectNear(450, 180, {200, 200, 200}, 0);
}

TEST_F(GlShadowTest, ASkinnedCastersVolumeFollowsItsPose)
{
    SkinnedShadowCube cube;
    ASSERT_NE(cube.instance, nullptr);
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    // A light into the screen and to the right, (0.6, 0, 0.8), as in the scene-light case.
    ASSERT_EQ(SetSlantedLamp(), 0);
    const bzQuat still{{0, 0, 0, 1}};
    const bzQuat halfTurn{{0, 0, 1, 0}}; // half a turn round z

    // The bind pose: the shadow spans x 0.1 to 0.8 and y -0.2 to 0.2 (columns 352 to 576, rows
    // 192 to 288).
    cube.Pose(still, 0, 0);
    CastAndRead(cube, "gl_shadow_skinned_bind");
    const auto bind = frame_;
    ExpectNear(450, 240, {100, 100, 100}, 2);
    ExpectNear(560, 270, {100, 100, 100}, 2);
    ExpectNear(300, 160, {200, 200, 200}, 0);
    ExpectNear(600, 240, {200, 200, 200}, 0);
    ExpectNear(450, 180, {200, 200, 200}, 0);

    // The bone moved 0.3 left and 0.2 up: the shadow moves with it, to columns 256 to 480 and
    // rows 144 to 240.
    cube.Pose(still, -0.3f, 0.2f);
    CastAndRead(cube, "gl_shadow_skinned_moved");
    ExpectNear(300, 160, {100, 100, 100}, 2);
    ExpectNear(470, 150, {100, 100, 100}, 2);
    ExpectNear(560, 270, {200, 200, 200}, 0);
    ExpectNear(250, 200, {200, 200, 200}, 0);
    ExpectNear(450, 250, {200, 200, 200}, 0);

    // Half a turn round the cube's own axis leaves the same cube, its sides swapped: the
    // shadow is the bind pose's only when the normals turn with the sides.
    cube.Pose(halfTurn, 0, 0);
    CastAndRead(cube, "gl_shadow_skinned_turned");
    ExpectNear(450, 240, {100, 100, 100}, 2);
    ExpectNear(560, 270, {100, 100, 100}, 2);
    ExpectNear(300, 160, {200, 200, 200}, 0);
    int differ = 0;
    for (size_t i = 0; i < frame_.size(); ++i)
        differ += frame_[i] != bind[i];
    EXPECT_EQ(differ, 0);

    // Without a lump to pose it, the bind pose; and the bind positions the part draws are
    // never overwritten by an extruded volume.
    cube.Pose(still, -0.3f, 0.2f);
    cube.lump.parent = nullptr;
    CastAndRead(cube, "gl_shadow_skinned_unowned");
    EXPECT_EQ(frame_, bind);
    EXPECT_EQ(cube.part.positions[0], cube.positions);
    for (int v = 0; v < 24; ++v)
        EXPECT_TRUE(std::abs(cube.positions[v].z + 0.6f) > 0.19f) << v;
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
}

TEST_F(GlShadowTest, AModelsRecordedListsNeverStandInForItsVolume)
{
    // An empty list recorded for the caster before its shadow data is set, and another one
    // after: either would draw nothing in place of the reshaped volume.
    auto EmptyList = []
    {
        const GLuint list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        glEndList();
        return list;
    };
    ShadowCube cube;
    cube.entry.displayLists[0] = EmptyList();
    ASSERT_NE(cube.entry.displayLists[0], 0u);
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    EXPECT_EQ(cube.entry.displayLists[0], 0u);
    ASSERT_EQ(SetSun(), 0);
    const GLuint late = EmptyList();
    cube.entry.displayLists[0] = late;
    CastAndRead(cube, "gl_shadow_recorded_lists");
    EXPECT_EQ(cube.entry.displayLists[0], 0u);
    EXPECT_FALSE(glIsList(late));
    ExpectNear(320, 240, {100, 100, 100}, 2);
    ExpectNear(250, 240, {200, 200, 200}, 0);
}

TEST_F(GlShadowTest, WithoutAStencilBufferNothingHappens)
{
    bzgOGLCaps &= ~uint32_t{BZ_OGL_CAP_STENCIL};
    ShadowCube cube;
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    EXPECT_EQ(cube.entry.listIndices, nullptr);
    EXPECT_EQ(cube.part.positions[2], nullptr);
    SetSun();
    CastAndRead(cube, "gl_shadow_no_stencil");
    ExpectNear(320, 240, {200, 200, 200}, 0);
    EXPECT_EQ(cube.positions[0].z, -0.8f);
}

TEST_F(GlShadowTest, APointLightIsReportedAndTheShadowFallsStraightDown)
{
    ShadowCube cube;
    ASSERT_EQ(bz_BuildModelShadowEdges(&cube.model), 0);
    ASSERT_EQ(SetPointLamp(), 0);
    EXPECT_EQ(CastAndReadReports(cube, "gl_shadow_point_light"), 1u);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "OGL Shadow");
    EXPECT_STREQ(bz_Error_LastReportText(), "Light type not done");
    // Straight down in the world is -y: the vertices of the top side (normal +y) stay, the
    // bottom side's move down by the extrusion.
    for (int v = 0; v < 24; ++v)
    {
        if (cube.normals[v].y != 0)
        {
            EXPECT_NEAR(cube.positions[v].y, cube.normals[v].y < 0 ? -1.2f : 0.2f, 1e-6f);
        }
    }
}
} // namespace
