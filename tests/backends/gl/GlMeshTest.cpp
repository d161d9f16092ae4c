// OpenGL mesh drawing on a 640x480 frame: a model's material group drawn from its arrays and
// replayed from recorded display lists, model instances, baked layer colours and the hardware
// copy of the positions.
#include "GlTestSupport.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlMaterial.h"
#include "backends/gl/GlMesh.h"
#include "backends/gl/GlStageState.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "models/Model.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <algorithm>

#include <vector>

namespace
{
// A one-part model: a square of four vertices in clip space (counter-clockwise) drawn as a
// triangle list, or as a strip, with one material of n layers.
struct SquareModel
{
    bzV3 positions[4] = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    bzV3 normals[4] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    bzColour colours[4] = {};
    uint16_t list[6] = {0, 1, 2, 0, 2, 3};
    uint16_t strip[4] = {0, 1, 3, 2};
    std::vector<bzMaterialLayer> layers;
    bzMaterial material{};
    bzMaterialEntry entry{};
    bzModelPart part{};
    bzModel model{};

    SquareModel(int n, bool asStrip = false)
    {
        layers.resize(size_t(n));
        for (auto &l : layers)
            l.alpha = 1.0f;
        material.layers = layers.data();
        material.layerCount = uint8_t(n);
        material.red = material.green = material.blue = 1.0f;
        part.vertexCount = 4;
        part.positions[0] = positions;
        part.normals[0] = normals;
        part.uvs[0] = uvs;
        part.entryCount = 1;
        part.entries = &entry;
        entry.material = &material;
        entry.part = &part;
        if (asStrip)
        {
            entry.stripIndexCount = 4;
            entry.stripIndices = strip;
            entry.verticesUsed = 4;
        }
        else
        {
            entry.listIndexCount = 6;
            entry.listIndices = list;
            entry.listVertexSpan = 4;
        }
        model.part = &part;
    }
    ~SquareModel()
    {
        OGL_FreeModelBuffers(&model);
        // The hardware copy is the back end's block; the rest of the model is this record's.
        bz_MemFree(part.positions[1]);
    }
};

class GlMeshTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        owner_.flags = 0x2; // counter-clockwise front faces
    }
    // Draws the model's group as the frame does and reads the frame.
    void DrawGroup(SquareModel &s, const char *picture)
    {
        ClearFrame(kW, kH);
        OGL_SetupMaterial(&s.material, 0);
        OGL_SetDepthTest(&s.material);
        OGL_DrawMaterialGroup(&s.entry, &s.material, nullptr, &owner_, 0);
        ReadFrame(picture);
    }
    bzLump owner_{};
};

TEST_F(GlMeshTest, RecordedListsDrawTheSamePictureAsTheArrays)
{
    SolidImage red(255, 200, 0, 0);
    SolidImage blue(255, 0, 0, 120);
    // Five layers one a pass: red, blue added, two untextured layers switched off, and a fifth
    // layer adding blue again, whose list is the fifth of the group.
    SquareModel s(5);
    s.material.flags = BZ_MATERIAL_BLENDED;
    s.layers[0].image = &red.image;
    s.layers[1].image = &blue.image;
    s.layers[1].blendKind = BZ_OGL_BLEND_ADD;
    s.layers[2].flags = BZ_LAYER_OFF;
    s.layers[3].flags = BZ_LAYER_OFF;
    s.layers[4].image = &blue.image;
    s.layers[4].blendKind = BZ_OGL_BLEND_ADD;
    bzgOGLMaterialPasses = 0;
    DrawGroup(s, "gl_mesh_arrays");
    const auto arrays = frame_;
    ExpectNear(kW / 2, kH / 2, {200, 0, 240});

    EXPECT_EQ(OGL_RebuildModelIndices(&s.model), 0);
    EXPECT_TRUE(s.part.flags & BZ_PART_BUFFERS_BUILT);
    EXPECT_NE(s.entry.displayLists[0], 0u);
    EXPECT_NE(s.entry.displayLists[1], 0u);
    EXPECT_EQ(s.entry.displayLists[2], 0u);
    EXPECT_NE(s.entry.displayLists[4], 0u);
    DrawGroup(s, "gl_mesh_lists");
    EXPECT_EQ(frame_, arrays);
    bzgOGLMaterialPasses = 3;

    // Building the buffers again deletes the lists and clears the flag.
    EXPECT_EQ(OGL_BuildModelBuffers(&s.model), 0);
    EXPECT_FALSE(s.part.flags & BZ_PART_BUFFERS_BUILT);
    EXPECT_EQ(s.entry.displayLists[0], 0u);
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
}

TEST_F(GlMeshTest, AStripGroupDrawsTheSameSquare)
{
    SolidImage green(255, 0, 180, 0);
    SquareModel list(1);
    list.layers[0].image = &green.image;
    DrawGroup(list, "gl_mesh_list_square");
    const auto listed = frame_;
    SquareModel strip(1, true);
    strip.layers[0].image = &green.image;
    DrawGroup(strip, "gl_mesh_strip_square");
    EXPECT_EQ(frame_, listed);
    ExpectNear(kW / 2, kH / 2, {0, 180, 0});
    ExpectNear(10, 10, {0, 0, 0}, 0);
}

TEST_F(GlMeshTest, AModelInstanceLeavesItsMaterialsFlagsAsTheyWere)
{
    SolidImage green(255, 0, 180, 0);
    SquareModel s(1);
    s.layers[0].image = &green.image;
    s.material.flags = BZ_MATERIAL_LIGHTING;
    // Turned about z by 180 degrees: the square stays where it is, seen from its front.
    bzM34 m{};
    m.row[0] = {-1, 0, 0};
    m.row[1] = {0, -1, 0};
    m.row[2] = {0, 0, 1};
    ClearFrame(kW, kH);
    OGL_DrawModelInstance(&s.model, &m, nullptr, nullptr);
    EXPECT_EQ(s.material.flags, uint32_t{BZ_MATERIAL_LIGHTING});
    ReadFrame("gl_mesh_instance");
    ExpectNear(kW / 2, kH / 2, {0, 180, 0});
    float loaded[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, loaded);
    EXPECT_EQ(loaded[0], -1.0f);
    EXPECT_EQ(loaded[5], -1.0f);

    // A model without parts, and one whose group has no material, draw nothing.
    bzModel empty{};
    OGL_DrawModelInstance(&empty, &m, nullptr, nullptr);
    OGL_RebuildModelIndices(&empty);
    OGL_FreeModelBuffers(&empty);
    OGL_UpdateModelVertices(&empty);
    s.entry.material = nullptr;
    ClearFrame(kW, kH);
    OGL_DrawModelInstance(&s.model, &m, nullptr, nullptr);
    ReadFrame();
    ExpectNear(kW / 2, kH / 2, {0, 0, 0}, 0);
    s.entry.material = &s.material;
}

TEST_F(GlMeshTest, LayerColoursAreBakedFromTheBaseColours)
{
    SquareModel s(2);
    s.material.flags = BZ_MATERIAL_VERTEX_COLOURS | BZ_MATERIAL_TINT_BAKED;
    s.material.red = 1.0f;
    s.material.green = 0.5f;
    s.material.blue = 0.25f;
    SolidImage white(255, 255, 255, 255);
    s.layers[1].image = &white.image;
    s.layers[1].alpha = 0.5f;
    for (auto &c : s.colours)
        c = 0xFF402010;
    s.part.colours[0] = s.colours;
    OGL_RebuildModelLists(&s.model);
    ASSERT_NE(s.part.layerColours[0], nullptr);
    ASSERT_NE(s.part.layerColours[1], nullptr);
    // Layer 0 is untextured: the tint (1, 0.5, 0.25) doubled; layer 1 textured with combine.
    const auto *l0 = reinterpret_cast<const uint8_t *>(s.part.layerColours[0]);
    const auto *l1 = reinterpret_cast<const uint8_t *>(s.part.layerColours[1]);
    for (int v = 0; v < 4; ++v)
    {
        SCOPED_TRACE(v);
        EXPECT_NEAR(l0[4 * v + 0], 0x40 * 2, 1);
        EXPECT_NEAR(l0[4 * v + 1], 0x20, 1);
        EXPECT_NEAR(l0[4 * v + 2], 0x10 / 2, 1);
        EXPECT_EQ(l0[4 * v + 3], 255);
        EXPECT_NEAR(l1[4 * v + 0], 0x40, 1);
        EXPECT_NEAR(l1[4 * v + 1], 0x10, 1);
        EXPECT_NEAR(l1[4 * v + 2], 0x04, 1);
        EXPECT_NEAR(l1[4 * v + 3], 127, 1);
    }
}

TEST_F(GlMeshTest, UpdatingVerticesRefreshesOneCopyAndDropsTheLists)
{
    SolidImage green(255, 0, 180, 0);
    SquareModel s(1);
    s.layers[0].image = &green.image;
    OGL_RebuildModelIndices(&s.model);
    ASSERT_NE(s.entry.displayLists[0], 0u);
    OGL_UpdateModelVertices(&s.model);
    ASSERT_NE(s.part.positions[1], nullptr);
    const bzV3 *copy = s.part.positions[1];
    EXPECT_EQ(copy[2].x, 0.5f);
    EXPECT_EQ(s.entry.displayLists[0], 0u);
    EXPECT_FALSE(s.part.flags & BZ_PART_BUFFERS_BUILT);
    s.positions[2].x = 0.75f;
    OGL_UpdateModelVertices(&s.model);
    EXPECT_EQ(s.part.positions[1], copy);
    EXPECT_EQ(copy[2].x, 0.75f);
}
TEST_F(GlMeshTest, AnUnknownCoordinateSourceIsReportedAndLeavesTheArrayOff)
{
    SquareModel s(1);
    const uint32_t before = bz_Error_ReportCount();
    bzgOGLTexCoordSource[0] = 7;
    OGL_DrawMeshIndexed(&s.entry, 0);
    EXPECT_EQ(bz_Error_ReportCount(), before + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Unknown tex coords");
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    bzgOGLTexCoordSource[0] = 0;
    // A pass beyond the eight a group keeps draws nothing.
    OGL_DrawMeshIndexed(&s.entry, 8);
    OGL_DrawMeshIndexed(&s.entry, -1);
    OGL_DrawMeshIndexed(nullptr, 0);
    EXPECT_EQ(bz_Error_ReportCount(), before + 1);
}

// A mesh without the coordinate set its source asks for turns the array off, so that it never
// reads the coordinates of the mesh drawn before it (by then perhaps freed): a textured square
// drawn first leaves the array on, then a square without coordinates turns it off.
TEST_F(GlMeshTest, AMeshWithoutTheAskedCoordinatesLeavesTheArrayOff)
{
    bzgOGLTexCoordSource[0] = 1;
    SquareModel textured(1);
    OGL_DrawMeshIndexed(&textured.entry, 0);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    SquareModel bare(1);
    bare.part.uvs[0] = nullptr;
    OGL_DrawMeshIndexed(&bare.entry, 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    bzgOGLTexCoordSource[0] = 0;

    // The same for the second texture unit once its source is turned off.
    auto secondUnitOn = []
    {
        OGL_ClientActiveTexture(GL_TEXTURE1);
        const bool on = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
        OGL_ClientActiveTexture(GL_TEXTURE0);
        return on;
    };
    bzgOGLTexCoordSource[1] = 1;
    OGL_DrawMeshIndexed(&textured.entry, 0);
    EXPECT_TRUE(secondUnitOn());
    bzgOGLTexCoordSource[1] = 0;
    OGL_DrawMeshIndexed(&textured.entry, 0);
    EXPECT_FALSE(secondUnitOn());
}

TEST_F(GlMeshTest, ALitGroupUnderOneDirectionalLightMatchesTheLightingWorkedOutByHand)
{
    SquareModel s(1);
    s.material.flags = BZ_MATERIAL_LIGHTING;
    s.material.red = 200.0f / 255.0f;
    s.material.green = 150.0f / 255.0f;
    s.material.blue = 100.0f / 255.0f;
    s.layers[0].flags = BZ_LAYER_LIT;
    bzgRenderTable.PDSetAmbientLight(0x302010);
    bzLight light{};
    light.type = BZ_LUMP_TYPE_DIRLIGHT;
    light.parameter1 = 0xC0FF80;
    bzLump lump{};
    lump.type = BZ_LUMP_TYPE_DIRLIGHT;
    lump.object = &light;
    // Shining along (0, -0.6, -0.8): n.l = 0.8 for the square's normal (0, 0, 1).
    bzM34 m{};
    m.row[0] = {1, 0, 0};
    m.row[1] = {0, 0.8f, -0.6f};
    m.row[2] = {0, -0.6f, -0.8f};
    bzgRenderTable.PDDisableLights();
    ASSERT_EQ(bzgRenderTable.PDSetLight(0, &lump, &m), 0);
    DrawGroup(s, "gl_mesh_lit");
    bzgRenderTable.PDDisableLights();
    const int colour[3] = {200, 150, 100};
    const int ambient[3] = {0x30, 0x20, 0x10};
    const int diffuse[3] = {0xC0, 0xFF, 0x80};
    std::array<int, 3> want{};
    for (int c = 0; c < 3; ++c)
        want[size_t(c)] = int(
            colour[c] * std::min(1.0f, ambient[c] / 255.0f + diffuse[c] / 255.0f * 0.8f) + 0.5f);
    ExpectNear(kW / 2, kH / 2, want, 2);
}

} // namespace
