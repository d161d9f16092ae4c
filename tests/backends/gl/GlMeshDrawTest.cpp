// OpenGL mesh drawing reached through the renderer table on a 640x480 frame (identity
// projection, so view space is clip space): a particle emitter drawing its particles as model
// instances through the mesh slot, and a skinned model drawn in its bind pose and in a second
// pose, skinned on the processor before each draw.
#include "GlTestSupport.h"

#include "backends/gl/GlMesh.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "models/Model.h"
#include "models/Skeleton.h"
#include "models/SkinInstance.h"
#include "render/ParticleModelDraw.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <utility>
#include <vector>

namespace
{
// A one-part model of one square (two triangles) between the corners (x0, y0) and (x1, y1) at
// z 0, one two-sided material whose one layer shows the image.
struct FlatModel
{
    bzV3 positions[4];
    bzV3 normals[4] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    uint16_t list[6] = {0, 1, 2, 0, 2, 3};
    bzMaterialLayer layer{};
    bzMaterial material{};
    bzMaterialEntry entry{};
    bzModelPart part{};
    bzModel model{};

    FlatModel(float x0, float y0, float x1, float y1, bz_IMGMAP *image)
        : positions{{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}}
    {
        layer.alpha = 1.0f;
        layer.image = image;
        material.layers = &layer;
        material.layerCount = 1;
        material.red = material.green = material.blue = 1.0f;
        material.flags = BZ_MATERIAL_TWO_SIDED;
        part.vertexCount = 4;
        part.positions[0] = positions;
        part.normals[0] = normals;
        part.uvs[0] = uvs;
        part.entryCount = 1;
        part.entries = &entry;
        entry.material = &material;
        entry.part = &part;
        entry.listIndexCount = 6;
        entry.listIndices = list;
        entry.listVertexSpan = 4;
        model.part = &part;
        model.refCount = 1;
    }
};

TEST_F(GlFrameTest, ModelInstanceParticlesAreDrawnThroughTheMeshSlot)
{
    SolidImage red(255, 220, 0, 0);
    // A square 0.2 across round its origin; cull radius 0 + 0.15.
    FlatModel square(-0.1f, -0.1f, 0.1f, 0.1f, &red.image);
    square.model.radius = 0.15f;
    bzParticleSystem system{};
    bzParticle particles[3] = {};
    const float xs[3] = {-0.4f, 0.4f, 0.9f}; // the last lies outside the side planes
    for (int i = 0; i < 3; ++i)
    {
        particles[i].position = {{{xs[i], 0.0f, 0.5f}}};
        particles[i].model = &square.model;
        particles[i].next = i < 2 ? &particles[i + 1] : nullptr;
    }
    system.layers[0].head = particles;
    system.layers[0].count = 3;
    bzLump lump{};
    lump.type = BZ_LUMP_TYPE_PARTICLE_EMITTER;
    lump.object = &system;
    // View space is clip space: near 0, far 1, side planes x = +-z and y = +-z.
    bzViewport view{};
    bz_M34_Copy(bz_M34_Identity(), &view.viewMatrix);
    view.nearClip = 0.0f;
    view.farClip = 1.0f;
    view.sideX = {{{1.0f, 0.0f, 1.0f}}};
    view.sideY = {{{0.0f, 1.0f, 1.0f}}};

    bz_ParticleEmitter_Render(&lump, &view);
    ReadFrame("gl_mesh_particles");
    // Clip x -0.4 and 0.4 are pixels 192 and 448; each square covers 64 x 48 pixels.
    ExpectNear(192, 240, {220, 0, 0});
    ExpectNear(448, 240, {220, 0, 0});
    ExpectNear(165, 240, {220, 0, 0});
    ExpectNear(155, 240, {0, 0, 0}, 0);
    ExpectNear(448, 220, {220, 0, 0});
    ExpectNear(448, 210, {0, 0, 0}, 0);
    ExpectNear(608, 240, {0, 0, 0}, 0); // culled
    ExpectNear(320, 240, {0, 0, 0}, 0);

    // One-sided, wound clockwise (the engine's front side), after a draw that left OpenGL's
    // front faces counter-clockwise: still drawn.
    std::swap(square.list[1], square.list[2]);
    std::swap(square.list[4], square.list[5]);
    square.material.flags = 0;
    glFrontFace(GL_CCW);
    ClearFrame(kW, kH);
    bz_ParticleEmitter_Render(&lump, &view);
    ReadFrame("gl_mesh_particles_one_sided");
    ExpectNear(192, 240, {220, 0, 0});
    ExpectNear(448, 240, {220, 0, 0});

    // The slot itself: the material's passes call the pass function once each with the
    // argument.
    struct Seen
    {
        std::vector<int32_t> passes;
    } seen;
    auto pass = [](void *argument, int32_t p)
    { static_cast<Seen *>(argument)->passes.push_back(p); };
    bzMaterialLayer layers[2] = {};
    layers[0].alpha = layers[1].alpha = 1.0f;
    bzMaterial two{};
    two.layers = layers;
    two.layerCount = 2;
    reinterpret_cast<void (*)(bzMaterial *, const bzM34 *, void (*)(void *, int32_t), void *)>(
        bzgRenderTable.PDDrawMesh)(&two, bz_M34_Identity(), pass, &seen);
    EXPECT_EQ(seen.passes, (std::vector<int32_t>{0, 1}));
    OGL_DrawMeshSlot(nullptr, nullptr, pass, &seen); // no material: nothing
    EXPECT_EQ(seen.passes.size(), 2u);
}

// A square whose left corners follow bone 0 (the root at the origin) and whose right corners
// follow bone 1 (bound at (0.1, 0, 0)).
struct SkinnedSquare
{
    SolidImage green{255, 0, 200, 0};
    FlatModel flat{-0.3f, -0.2f, 0.1f, 0.2f, &green.image};
    bzV3 bind[4];
    bzSkeletonBone bones[2] = {};
    bzBox boxes[2] = {{{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}},
                      {{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}}};
    bzBonePose bindPose[2] = {{{{0, 0, 0, 1}}, {{{0, 0, 0}}}, 0},
                              {{{0, 0, 0, 1}}, {{{0.1f, 0, 0}}}, 0}};
    bzV3 offsets[2] = {{{{0, 0, 0}}}, {{{0.1f, 0, 0}}}};
    int16_t influenceBones[4] = {0, 1, 1, 0};
    float weights[4] = {1, 1, 1, 1};
    bzSkinInfluences influences[4] = {};
    bzSkeleton skeleton{};
    bzSkinInstance *instance = nullptr;
    bzLump lump{};

    SkinnedSquare()
    {
        for (int v = 0; v < 4; ++v)
        {
            bind[v] = flat.positions[v];
            influences[v].count = 1;
            influences[v].first = v;
        }
        bones[0] = {-1, 1, -1, -1, {}};
        bones[1] = {0, -1, -1, -1, {}};
        skeleton.boneCount = 2;
        skeleton.nameTable = -1;
        skeleton.bones = bones;
        skeleton.boneBoxes = boxes;
        skeleton.bindPose = bindPose;
        skeleton.boneOffsets = offsets;
        skeleton.influenceBones = influenceBones;
        skeleton.influenceWeights = weights;
        skeleton.vertexInfluences = influences;
        skeleton.influenceCount = 4;
        // As a model file leaves it: the part draws the positions the skeleton keeps.
        skeleton.skinnedPositionsDefault = bind;
        flat.part.positions[0] = bind;
        flat.part.skeleton = &skeleton;
        flat.model.flags = BZ_MODEL_SKINNED;
        instance = bz_CreateSkinInstance(&flat.model);
        lump.type = BZ_LUMP_TYPE_SKINNED_MODEL;
        lump.object = instance;
    }
    ~SkinnedSquare()
    {
        if (instance)
            bz_FreeSkinInstance(instance);
    }
    // Bone 1's model-space position for the next draw (bone 0 stays at the origin).
    void Pose(float x, float y)
    {
        instance->poses[0] = {{{0, 0, 0, 1}}, {{{0, 0, 0}}}, 0};
        instance->poses[1] = {{{0, 0, 0, 1}}, {{{x, y, 0}}}, 0};
        instance->frame = -1;
        instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    }
};

TEST_F(GlFrameTest, ASkinnedModelIsDrawnInEachOfItsPoses)
{
    SkinnedSquare s;
    ASSERT_NE(s.instance, nullptr);
    // The bind pose: x -0.3 to 0.1 (pixels 224 to 352), y -0.2 to 0.2 (rows 192 to 288).
    OGL_DrawMaterialGroup(&s.flat.entry, &s.flat.material, nullptr, &s.lump, 0);
    ReadFrame("gl_skinned_bind");
    ExpectNear(230, 240, {0, 200, 0});
    ExpectNear(345, 240, {0, 200, 0});
    ExpectNear(215, 240, {0, 0, 0}, 0);
    ExpectNear(360, 240, {0, 0, 0}, 0);
    const auto bindFrame = frame_;

    // Bone 1 moved 0.3 right and 0.1 up: the right corners go to x 0.4 (pixel 448), rows 168
    // to 264; the left corners stay.
    s.Pose(0.4f, 0.1f);
    ClearFrame(kW, kH);
    OGL_DrawMaterialGroup(&s.flat.entry, &s.flat.material, nullptr, &s.lump, 0);
    ReadFrame("gl_skinned_posed");
    ExpectNear(230, 240, {0, 200, 0});
    ExpectNear(215, 240, {0, 0, 0}, 0);
    ExpectNear(440, 200, {0, 200, 0});
    ExpectNear(440, 176, {0, 200, 0});
    ExpectNear(456, 216, {0, 0, 0}, 0);
    ExpectNear(440, 160, {0, 0, 0}, 0);
    ExpectNear(440, 272, {0, 0, 0}, 0);
    EXPECT_NE(frame_, bindFrame);
    // The part keeps its bind positions; the skinned ones lived only for the draw.
    EXPECT_EQ(s.flat.part.positions[0], s.bind);
    EXPECT_EQ(s.bind[1].x, 0.1f);
    EXPECT_EQ(s.bind[1].y, -0.2f);

    // The model drawn at once with the lump skins the same way.
    const auto posedFrame = frame_;
    ClearFrame(kW, kH);
    OGL_DrawModelInstance(&s.flat.model, bz_M34_Identity(), nullptr, &s.lump);
    ReadFrame();
    EXPECT_EQ(frame_, posedFrame);
    // Without its lump there is nothing to pose: the bind positions are drawn.
    ClearFrame(kW, kH);
    OGL_DrawMaterialGroup(&s.flat.entry, &s.flat.material, nullptr, nullptr, 0);
    ReadFrame();
    EXPECT_EQ(frame_, bindFrame);
}
} // namespace
