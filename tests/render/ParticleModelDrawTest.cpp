// Particle systems of draw kind 1 seen through a recording renderer table: the slot calls of
// each layer with the spun instance matrices, the depth test from the layer's material, the
// culling against the near and far distances and the side planes with the model's cull radius,
// layers without particles, and the draw queue's choice between sprites and model instances.
#include "RenderWalkStart.h"
#include "render/ParticleModelDraw.h"

#include "ModelsTestSupport.h"
#include "support/CubeModel.h"
#include "maths/Matrix.h"
#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
struct Call
{
    int slot;
    const void *a; // 63: material; 80: material; 26: system
    const void *b; // 80: pass function
    const void *c; // 80: argument
    bzM34 matrix;  // 42 and 80
};
std::vector<Call> gCalls;

void SetWorld(const bzM34 *m, bzViewport *)
{
    gCalls.push_back({42, nullptr, nullptr, nullptr, *m});
}
void DepthTest(bzMaterial *m)
{
    gCalls.push_back({63, m, nullptr, nullptr, {}});
}
void DrawMesh(bzMaterial *material, const bzM34 *matrix, PDMeshPassFn pass, void *argument)
{
    gCalls.push_back({80, material, reinterpret_cast<const void *>(pass), argument, *matrix});
}
void DrawIndexed(bzMaterialEntry *, int32_t) {}
void Sprites(bzParticleSystem *system)
{
    gCalls.push_back({26, system, nullptr, nullptr, {}});
}

std::vector<int> Slots()
{
    std::vector<int> s;
    for (const Call &c : gCalls)
        s.push_back(c.slot);
    return s;
}

void ExpectMatrixNear(const bzM34 &got, const bzM34 &want, const char *what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got.row[r].v[c], want.row[r].v[c], 1e-4f)
                << what << " row " << r << " col " << c;
}

class ParticleModelDrawTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        ASSERT_EQ(StartRenderWalk(), 0);
        gCalls.clear();
        auto &t = bzgRenderTable;
        t.PDSetWorldMatrix = SetWorld;
        t.PDSetDepthTest = DepthTest;
        t.PDDrawMesh = reinterpret_cast<PDGenericSlot>(DrawMesh);
        t.PDDrawMeshIndexed = DrawIndexed;
        t.PDDrawSprites = Sprites;

        modelMaterial_ = bz_CreateMaterial("rock", 1);
        layerMaterials_[0] = bz_CreateMaterial("layer0", 1);
        layerMaterials_[1] = bz_CreateMaterial("layer1", 1);
        cube_ = MakeCubeModel("cube", modelMaterial_, -0.5f, 0.5f);
        ASSERT_NE(cube_, nullptr);
        ASSERT_NE(cube_->part, nullptr);
        ASSERT_GE(cube_->part->entryCount, 1);
        // A cull radius of |(3, 4, 0)| + 1 = 6.
        cube_->centre = {3.0f, 4.0f, 0.0f};
        cube_->radius = 1.0f;

        root_ = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        camera_ = bz_Lump_CreateCamera(nullptr, 45.0f);
        view_ = bz_Viewport_Create(0, camera_, root_, 0, 0, 100, 100);
        // Field of view 45 (side planes x = +-z and y = +-z), near 1, far 101.
        bz_Viewport_SetClipPlanes(view_, 1.0f, 101.0f);
        bz_Viewport_SetupProjectionM34(view_, nullptr);

        emitter_ = bz_Lump_CreateEmitter("sparks", &system_);
        ASSERT_NE(emitter_, nullptr);
        ASSERT_NE(system_, nullptr);
        bz_Lump_AppendChild(root_, emitter_);
        system_->drawKind = BZ_PARTICLE_DRAW_MODELS;
        for (int i = 0; i < 2; ++i)
        {
            bz_ReleaseMaterial(system_->layers[i].material);
            system_->layers[i].material = bz_AddRefMaterial(layerMaterials_[i]);
        }
    }
    void TearDown() override
    {
        // The particles are the test's own: the system must not hand them to the pool.
        for (bzParticleLayer &layer : system_->layers)
        {
            layer.head = nullptr;
            layer.count = 0;
        }
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        bz_Lump_DestroyTree(root_);
        bz_Lump_DestroyTree(camera_);
        bz_ReleaseModel(cube_);
        bz_ReleaseMaterial(modelMaterial_);
        for (bzMaterial *m : layerMaterials_)
            bz_ReleaseMaterial(m);
        bz_DrawQueue_Free();
        bz_Scene_ResetBatches();
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
    // A particle of the cube at a world position with a spin axis, phase and age.
    bzParticle &Particle(int i, bzV3 position, bzV3 axis = {0, 0, 0}, float phase = 0,
                         float age = 0)
    {
        bzParticle &p = particles_[i];
        p = {};
        p.position = position;
        p.model = cube_;
        p.spinX = axis.x;
        p.spinY = axis.y;
        p.spinZ = axis.z;
        p.spinPhase = phase;
        p.age = age;
        return p;
    }
    // Links particles [first, first + n) as the layer's list, in order.
    void Layer(int layer, int first, int n)
    {
        bzParticleLayer &l = system_->layers[layer];
        l.head = n > 0 ? &particles_[first] : nullptr;
        for (int i = first; i < first + n; ++i)
            particles_[i].next = i + 1 < first + n ? &particles_[i + 1] : nullptr;
        l.count = n;
    }
    int MeshCalls() const
    {
        int n = 0;
        for (const Call &c : gCalls)
            n += c.slot == 80;
        return n;
    }

    bzMaterial *modelMaterial_ = nullptr;
    bzMaterial *layerMaterials_[2] = {};
    bzModel *cube_ = nullptr;
    bzLump *root_ = nullptr;
    bzLump *camera_ = nullptr;
    bzViewport *view_ = nullptr;
    bzLump *emitter_ = nullptr;
    bzParticleSystem *system_ = nullptr;
    bzParticle particles_[8] = {};
};

TEST_F(ParticleModelDrawTest, EachLayerSetsItsDepthTestThenDrawsEveryParticleSpun)
{
    // Spin axis (0, 0, 2): squared length 4; (phase 0.25 + age 0.5) x 4 = 3 radians.
    Particle(0, {1, 2, 20}, {0, 0, 2}, 0.25f, 0.5f);
    Particle(1, {-2, 0, 30});                         // no spin axis: no turn
    Particle(2, {0, -3, 40}, {1, 0, 0}, 0.5f, 0.25f); // 0.75 radians about x
    Layer(0, 0, 2);
    Layer(1, 2, 1);
    // The camera 10 back along z: the view adds 10 to every depth.
    bz_M34_SetTranslation(&view_->viewMatrix, 0, 0, 10);

    bz_ParticleEmitter_Render(emitter_, view_);

    ASSERT_EQ(Slots(), (std::vector<int>{63, 42, 80, 42, 80, 63, 42, 80}));
    EXPECT_EQ(gCalls[0].a, layerMaterials_[0]);
    EXPECT_EQ(gCalls[5].a, layerMaterials_[1]);

    bzM34 want[3];
    bz_M34_RotationZ(&want[0], 3.0f * 57.29578f);
    bz_M34_SetTranslation(&want[0], 1, 2, 30);
    bz_M34_Copy(bz_M34_Identity(), &want[1]);
    bz_M34_SetTranslation(&want[1], -2, 0, 40);
    bz_M34_RotationX(&want[2], 0.75f * 57.29578f);
    bz_M34_SetTranslation(&want[2], 0, -3, 50);
    const int world[3] = {1, 3, 6};
    for (int i = 0; i < 3; ++i)
    {
        ExpectMatrixNear(gCalls[world[i]].matrix, want[i], "world matrix");
        const Call &mesh = gCalls[world[i] + 1];
        ExpectMatrixNear(mesh.matrix, want[i], "mesh matrix");
        // The model's own material entry, drawn pass by pass through the indexed drawing.
        EXPECT_EQ(mesh.a, modelMaterial_);
        EXPECT_EQ(mesh.b, reinterpret_cast<const void *>(bzgRenderTable.PDDrawMeshIndexed));
        EXPECT_EQ(mesh.c, &cube_->part->entries[0]);
    }
}

TEST_F(ParticleModelDrawTest, LayersWithoutParticlesDrawNothing)
{
    // Both layers empty: not even a depth test.
    bz_ParticleEmitter_Render(emitter_, view_);
    EXPECT_TRUE(gCalls.empty());

    // Only layer 1 holds a particle: only its depth test is set.
    Particle(0, {0, 0, 20});
    Layer(1, 0, 1);
    bz_ParticleEmitter_Render(emitter_, view_);
    EXPECT_EQ(Slots(), (std::vector<int>{63, 42, 80}));
    EXPECT_EQ(gCalls[0].a, layerMaterials_[1]);

    // A layer whose count is 0 is not walked, whatever its list holds.
    gCalls.clear();
    system_->layers[1].count = 0;
    bz_ParticleEmitter_Render(emitter_, view_);
    EXPECT_TRUE(gCalls.empty());
    system_->layers[1].count = 1;

    // A particle without a model (and none on the system) is passed over.
    gCalls.clear();
    particles_[0].model = nullptr;
    bz_ParticleEmitter_Render(emitter_, view_);
    EXPECT_EQ(Slots(), std::vector<int>{63});

    // Another lump type, a lump without its system, no viewport: nothing.
    gCalls.clear();
    bzLump *other = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "plain");
    bz_ParticleEmitter_Render(other, view_);
    bz_ParticleEmitter_Render(emitter_, nullptr);
    bz_ParticleEmitter_Render(nullptr, view_);
    EXPECT_TRUE(gCalls.empty());
    bz_Lump_Destroy(other);
}

TEST_F(ParticleModelDrawTest, CullingUsesTheModelsCullRadius)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Near 1 and far 101 with a cull radius of 6: depths from 7 to 95 are drawn. The side
    // planes are x = +-z and y = +-z, tested at the particle's position.
    const struct
    {
        bzV3 position;
        bool drawn;
    } cases[] = {
        {{0, 0, 6.9f}, false}, // inside near + radius
        {{0, 0, 7.1f}, true},    {{0, 0, 94.9f}, true},
        {{0, 0, 95.1f}, false}, // past far - radius
        {{0, 0, -20}, false},   // behind the camera
        {{19.9f, 0, 20}, true}, // just inside the right plane
        {{20.1f, 0, 20}, false}, {{-20.1f, 0, 20}, false},
        {{0, 20.1f, 20}, false}, {{0, -19.9f, 20}, true},
        {{nan, 0, 20}, false},   {{0, 0, nan}, false},
    };
    for (const auto &c : cases)
    {
        gCalls.clear();
        Particle(0, c.position);
        Layer(0, 0, 1);
        bz_ParticleEmitter_Render(emitter_, view_);
        EXPECT_EQ(MeshCalls(), c.drawn ? 1 : 0)
            << c.position.x << ", " << c.position.y << ", " << c.position.z;
    }
}

TEST_F(ParticleModelDrawTest, EntriesWithoutMaterialsAndHiddenEntries)
{
    Particle(0, {0, 0, 20});
    Layer(0, 0, 1);
    bzMaterialEntry &entry = cube_->part->entries[0];
    bzMaterial *own = entry.material;
    // An entry without a material takes the layer's.
    entry.material = nullptr;
    bz_ParticleEmitter_Render(emitter_, view_);
    ASSERT_EQ(MeshCalls(), 1);
    EXPECT_EQ(gCalls.back().a, layerMaterials_[0]);
    // A hidden entry is not drawn.
    gCalls.clear();
    entry.material = own;
    entry.entryFlags |= 1;
    bz_ParticleEmitter_Render(emitter_, view_);
    EXPECT_EQ(MeshCalls(), 0);
    entry.entryFlags &= ~1u;
}

TEST_F(ParticleModelDrawTest, TheDrawQueueDrawsModelInstancesOfSteppedSystemsOnly)
{
    Particle(0, {0, 0, 20});
    Particle(1, {1, 0, 20});
    Layer(0, 0, 2);
    bz_M34_SetTranslation(&emitter_->matrix, 0, 0, 20);
    system_->boundingRadius = 2.0f;

    // Not stepped this frame: the walk does not queue it.
    bz_Viewport_Render(view_);
    EXPECT_EQ(MeshCalls(), 0);

    // Stepped: two instances through the draw queue, no sprites.
    system_->flags |= BZ_PS_STEPPED;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(MeshCalls(), 2);
    for (const Call &c : gCalls)
        EXPECT_NE(c.slot, 26);

    // Taken off the active list: nothing.
    bz_ParticleSystem_Unlist(system_);
    system_->flags |= BZ_PS_STEPPED;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(MeshCalls(), 0);
    bz_ParticleSystem_List(system_);

    // Draw kind 0 goes to the sprite slot instead.
    system_->drawKind = BZ_PARTICLE_DRAW_SPRITES;
    system_->flags |= BZ_PS_STEPPED;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(MeshCalls(), 0);
    int sprites = 0;
    for (const Call &c : gCalls)
        sprites += c.slot == 26 && c.a == system_;
    EXPECT_EQ(sprites, 1);
}
} // namespace
