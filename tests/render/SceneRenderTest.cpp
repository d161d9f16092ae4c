// The scene render walk, the draw queues and one viewport's render, seen through a recording
// renderer table: the sphere test, depth buckets, LOD choice, culled and passed-over lumps,
// batching by material, the angle fade, the batch buffer's growth, a very deep tree, the
// slot order of a viewport, and poly-line drawing in chunks.
#include "RenderWalkStart.h"
#include "render/SceneRender.h"

#include "ModelsTestSupport.h"
#include "support/CubeModel.h"
#include "console/Console.h"
#include "core/Debug.h"
#include "maths/Matrix.h"
#include "models/SceneLink.h"
#include "render/DebugDraw.h"
#include "render/DrawQueue.h"
#include "render/Font.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/ParticleSystem.h"
#include "scene/Path.h"
#include "scene/PooledEmitter.h"
#include "scene/Portals.h"
#include "support/PortalTestWorld.h"
#include "support/RawAllocFailure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

// The counter of the program's operator new (support/CountingNew.h, included once elsewhere).
inline std::atomic<long> gNewCalls{0};

namespace
{
struct Call
{
    int slot;
    const void *a;
    const void *b;
    int64_t n;
    float rgb[3];
};
std::vector<Call> gCalls;
std::vector<float> gLineVertices; // what the lock handed out, as written
int32_t gLockedCount = 0;
alignas(16) float gLineBuffer[4 * 2100];

void Rec(int slot, const void *a = nullptr, const void *b = nullptr, int64_t n = 0)
{
    gCalls.push_back({slot, a, b, n, {0, 0, 0}});
}

void SetAmbient(uint32_t c)
{
    Rec(46, nullptr, nullptr, c);
}
void SetProjection(bzViewport *v)
{
    Rec(45, v);
}
int32_t SetViewport(bzViewport *v)
{
    Rec(47, v);
    return 0;
}
int32_t ClearViewport(bzViewport *v)
{
    Rec(39, v);
    return 0;
}
void DisableFog(bzViewport *v)
{
    Rec(40, v);
}
void SetFog(bzViewport *v)
{
    Rec(41, v);
}
std::vector<bzM34> gWorlds; // copies of the matrices slot 42 was given
void SetWorld(const bzM34 *m, bzViewport *v)
{
    Rec(42, m, v);
    gWorlds.push_back(*m);
}
void DepthTest(bzMaterial *m)
{
    Rec(63, m);
}
void DisableLights(bzViewport *v)
{
    Rec(74, v);
}
int32_t SetLight(int32_t index, const void *light, const void *)
{
    Rec(73, light, nullptr, index);
    return index;
}
void DrawGroup(bzMaterialEntry *e, bzMaterial *m, const bzM34 *, bzLump *lump, int32_t clip)
{
    Rec(79, lump, m, clip);
    if (m)
    {
        gCalls.back().rgb[0] = m->red;
        gCalls.back().rgb[1] = m->green;
        gCalls.back().rgb[2] = m->blue;
    }
    (void)e;
}
void DrawInstance(bzModel *model, const bzM34 *matrix, bzViewport *, bzLump *lump)
{
    Rec(87, lump, model, 0);
    gCalls.back().rgb[0] = matrix->row[3].x;
}
void Sprites(bzParticleSystem *system)
{
    Rec(26, system);
}
void EndItem(bzViewport *, bzLump *lump)
{
    Rec(24, lump);
}
void ShadowVolume(bzLump *lump, void *)
{
    Rec(104, lump);
}
void ShadowOverlay(int32_t, int32_t, int32_t, int32_t)
{
    Rec(103);
}
void *LockLines(uint32_t kind, int32_t count)
{
    Rec(60, nullptr, nullptr, count);
    gLockedCount = count;
    const int per = kind == BZ_LINE_KIND_COLOURED ? 4 : 3;
    return count * per <= static_cast<int>(sizeof gLineBuffer / sizeof(float)) ? gLineBuffer
                                                                               : nullptr;
}
void UnlockLines(uint32_t kind)
{
    Rec(59, nullptr, nullptr, kind);
    const int per = kind == BZ_LINE_KIND_COLOURED ? 4 : 3;
    gLineVertices.insert(gLineVertices.end(), gLineBuffer, gLineBuffer + gLockedCount * per);
}
void DrawStrip(const bzLineDraw *) {}
void DrawList(const bzLineDraw *) {}
void DrawMesh(bzMaterial *, const bzM34 *, PDDrawLinesFn fn, const bzLineDraw *record)
{
    Rec(80, reinterpret_cast<const void *>(fn), nullptr, record->primitiveCount);
}

template <typename F> PDGenericSlot G(F f)
{
    return reinterpret_cast<PDGenericSlot>(f);
}

std::vector<int> Slots()
{
    std::vector<int> s;
    for (const Call &c : gCalls)
        s.push_back(c.slot);
    return s;
}
std::vector<const void *> GroupLumps()
{
    std::vector<const void *> out;
    for (const Call &c : gCalls)
        if (c.slot == 79)
            out.push_back(c.a);
    return out;
}

class SceneRenderTest : public ModelsTest, protected CubeView
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        ASSERT_EQ(StartRenderWalk(), 0);
        gCalls.clear();
        gWorlds.clear();
        gLineVertices.clear();
        auto &t = bzgRenderTable;
        t.PDSetAmbientLight = SetAmbient;
        t.PDSetProjection = SetProjection;
        t.PDSetViewport = SetViewport;
        t.PDClearViewport = ClearViewport;
        t.PDDisableFog = G(DisableFog);
        t.PDSetFog = G(SetFog);
        t.PDSetWorldMatrix = SetWorld;
        t.PDSetDepthTest = DepthTest;
        t.PDDisableLights = G(DisableLights);
        t.PDSetLight = SetLight;
        t.PDDrawMaterialGroup = DrawGroup;
        t.PDDrawShadowVolume = ShadowVolume;
        t.PDDrawModelInstance = DrawInstance;
        t.PDDrawSprites = Sprites;
        t.PDEndItemDraw = G(EndItem);
        t.PDDrawShadowOverlay = ShadowOverlay;
        t.PDLockLineVertices = G(LockLines);
        t.PDUnlockLineVertices = G(UnlockLines);
        t.PDDrawLineStrip = G(DrawStrip);
        t.PDDrawLineList = G(DrawList);
        t.PDDrawMesh = G(DrawMesh);

        ASSERT_NO_FATAL_FAILURE(MakeCubeView());
        lumps_ = {root_, camera_};
    }
    void TearDown() override
    {
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        for (bzLump *l : lumps_)
            bz_Lump_DestroyTree(l);
        bz_DebugDraw_Release();
        // A default font that an earlier test left behind goes back with its image map.
        bz_Font_ReleaseDefault();
        FreeCubes();
        bz_DrawQueue_Free();
        bz_Scene_ResetBatches();
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
    // A model lump under parent at (x, y, z) in camera space (the camera sits at the origin
    // looking along +z).
    bzLump *ModelAt(bzModel *model, float x, float y, float z, bzLump *parent = nullptr)
    {
        bzLump *l = bz_Lump_CreateModel(model);
        bz_M34_SetTranslation(&l->matrix, x, y, z);
        bz_Lump_AppendChild(parent ? parent : root_, l);
        return l;
    }
    std::vector<bzLump *> lumps_;
};

TEST_F(SceneRenderTest, SphereTestCases)
{
    // Field of view 45 (tangent 1), near 1, far 200.
    const struct
    {
        bzV3 centre;
        float radius;
        uint32_t expected;
    } cases[] = {
        {{0, 0, -5}, 1, 0},         // behind the camera
        {{0, 0, 250}, 1, 0},        // beyond far
        {{30, 0, 10}, 1, 0},        // beside the frustum
        {{0, 0, 10}, 0, 0},         // radius 0
        {{0, 0, 10}, 1, 0x4000},    // well inside
        {{0, 0, 1.5f}, 1, 0x8008},  // crossing the near plane
        {{0, 0, 100}, 99, 0x8000},  // wide enough to cross the guard band
        {{9.5f, 0, 10}, 1, 0x4000}, // at the frustum's edge, inside the guard band
        {{std::numeric_limits<float>::quiet_NaN(), 0, 10}, 1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bz_Viewport_SphereClipFlags(&c.centre, view_, c.radius), c.expected)
            << c.centre.x << "," << c.centre.y << "," << c.centre.z << " r " << c.radius;
}

TEST_F(SceneRenderTest, DepthBuckets)
{
    bz_Viewport_SetClipPlanes(view_, 1.0f, 101.0f);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, 1.0f), 4095);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, 101.0f), 0);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, 500.0f), 0);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, 0.5f), 4095);
    // Far in front of the near plane (t <= -0.5) once divided by zero.
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, -49.0f), 4095);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, -1.0e30f), 4095);
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, std::numeric_limits<float>::quiet_NaN()), 4095);
    // Halfway: 4095 x (1 - (1.5 - 0.75)) = 1023.75.
    EXPECT_EQ(bz_DrawQueue_Bucket(view_, 51.0f), 1023);
}

TEST_F(SceneRenderTest, TransparentEntriesDrainFarToNearLatestFirstInABucket)
{
    bzLump *nearA = ModelAt(glassCube_, 0, 0, 5);
    bzLump *nearB = ModelAt(glassCube_, 0, 0, 5);
    bzLump *farC = ModelAt(glassCube_, 0, 0, 50);
    bz_Viewport_Render(view_);
    // The walk finds A, B, C; C is farther, and B was queued after A in the same bucket.
    EXPECT_EQ(GroupLumps(), (std::vector<const void *>{farC, nearB, nearA}));
    EXPECT_EQ(bz_DrawQueue_Count(0), 0);
    // Without queues made at engine start, the first render makes them.
    bz_DrawQueue_Free();
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(GroupLumps(), (std::vector<const void *>{farC, nearB, nearA}));
}

TEST_F(SceneRenderTest, LodLevelsByDistance)
{
    bzModel *models[3] = {cube_, cube_, cube_};
    bz_AddModelReference(cube_);
    bz_AddModelReference(cube_);
    bz_AddModelReference(cube_);
    bzLump *lod = bz_Lump_CreateLod("lod", models, 3);
    ASSERT_NE(lod, nullptr);
    bz_Lump_AppendChild(root_, lod);
    auto *record = static_cast<bzLumpLod *>(lod->object);
    record->enable = 1;
    record->switchDistance[0] = 100;
    record->switchDistance[1] = 50;
    record->switchDistance[2] = 20;
    const struct
    {
        float distance;
        int32_t level;
    } cases[] = {{150, 0}, {70, 1}, {30, 2}, {10, 2}};
    for (const auto &c : cases)
    {
        bz_M34_SetTranslation(&lod->matrix, 0, 0, c.distance);
        record->currentLevel = -1;
        bz_Viewport_Render(view_);
        EXPECT_EQ(record->currentLevel, c.level) << c.distance;
    }
}

TEST_F(SceneRenderTest, CulledBoundsAndPassedOverLumps)
{
    // A BOUNDS lump behind the camera hides its whole subtree.
    bzLump *bounds = bz_Lump_Create(BZ_LUMP_TYPE_BOUNDS, "bounds");
    auto *b = static_cast<bzLumpBounds *>(bz_MemAlloc(sizeof(bzLumpBounds), BZ_MEM_CLEAR));
    b->radius = 1.0f;
    bounds->object = b;
    bz_M34_SetTranslation(&bounds->matrix, 0, 0, -10);
    bz_Lump_AppendChild(root_, bounds);
    bzLump *hidden = ModelAt(cube_, 0, 0, 20, bounds); // in view, but under the bounds
    // A lump with bit 28 is not drawn, its children are.
    bzLump *passed = ModelAt(cube_, 0, 0, 10);
    passed->flags |= BZ_LUMP_SKIP_SELF;
    bzLump *child = ModelAt(cube_, 0, 0, 0, passed);
    bz_Viewport_Render(view_);
    const std::vector<const void *> drawn = GroupLumps();
    EXPECT_EQ(drawn, std::vector<const void *>{child});
    (void)hidden;
    bounds->object = nullptr;
    bz_MemFree(b);
}

TEST_F(SceneRenderTest, AngleFadeDrawsNothingEdgeOn)
{
    glass_->flags |= 0x2000;
    glass_->specular = 0x7F00; // threshold 0, minimum 1: seen at all, drawn whole
    bzLump *facing = ModelAt(glassCube_, 0, 0, 10);
    // Turned just past edge-on, its front turned away (90 degrees is not exact in floats).
    bzLump *edgeOn = ModelAt(glassCube_, 0, 0, 12);
    bz_M34_RotationY(&edgeOn->matrix, 89.0f);
    bz_M34_SetTranslation(&edgeOn->matrix, 0, 0, 12);
    // Turned to face the camera: its z axis points back along the line of sight.
    bz_M34_RotationY(&facing->matrix, 180.0f);
    bz_M34_SetTranslation(&facing->matrix, 0, 0, 10);
    bz_Viewport_Render(view_);
    EXPECT_EQ(GroupLumps(), std::vector<const void *>{facing});
    EXPECT_FLOAT_EQ(glass_->layers[0].alpha, 1.0f);
}

TEST_F(SceneRenderTest, AFullBatchBufferGrowsForTheNextViewport)
{
    const int n = BZ_BATCH_DEFAULT_CAPACITY + 10;
    for (int i = 0; i < n; ++i)
        ModelAt(cube_, 0, 0, 10);
    bz_Viewport_Render(view_);
    EXPECT_EQ(static_cast<int>(GroupLumps().size()), BZ_BATCH_DEFAULT_CAPACITY);
    EXPECT_EQ(bz_Scene_BatchCapacity(), n + 128);
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(static_cast<int>(GroupLumps().size()), n);
}

TEST_F(SceneRenderTest, ATreeDeeperThanRecursionWouldAllow)
{
    // A chain of 100,000 lumps, linked by hand (the linking checks walk the whole chain).
    bzLump *top = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "n");
    bz_Lump_AppendChild(root_, top);
    bzLump *parent = top;
    for (int i = 1; i < 100000; ++i)
    {
        bzLump *l = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "n");
        l->parent = parent;
        parent->firstChild = l;
        parent = l;
    }
    bzLump *leaf = bz_Lump_CreateModel(cube_);
    bz_M34_SetTranslation(&leaf->matrix, 0, 0, 10);
    leaf->parent = parent;
    parent->firstChild = leaf;
    bzLump *sibling = ModelAt(cube_, 0, 0, 20);
    bz_Viewport_Render(view_);
    EXPECT_EQ(GroupLumps(), (std::vector<const void *>{sibling, leaf}));
    // Taken apart from the top: each destroyed lump leaves its child a root of its own.
    bz_Lump_Detach(top);
    for (bzLump *l = top; l;)
    {
        bzLump *next = l->firstChild;
        bz_Lump_Destroy(l);
        l = next;
    }
}

TEST_F(SceneRenderTest, SlotOrderOfOneViewport)
{
    bzLump *light = bz_Lump_CreateLight(BZ_LUMP_TYPE_POINTLIGHT, nullptr, nullptr);
    ASSERT_NE(light, nullptr);
    bz_Lump_AppendChild(root_, light);
    bzLump *solid = ModelAt(cube_, 0, 0, 10);
    bzLump *clear = ModelAt(glassCube_, 0, 0, 20);
    bz_Viewport_SetFlags(view_, BZ_VIEWPORT_FOG);
    bz_Viewport_Render(view_);
    EXPECT_EQ(Slots(), (std::vector<int>{46, 45, 47, 39, 74, 73, 41, 63, 42, 79, 42, 63, 79}));
    EXPECT_EQ(gCalls[5].a, light);
    EXPECT_EQ(gCalls[9].a, solid);
    EXPECT_EQ(gCalls[12].a, clear);
    // The viewport's view matrix is the camera's inverse: the identity here.
    EXPECT_EQ(bz_M34_IsIdentity(&view_->viewMatrix), 1);
}

TEST_F(SceneRenderTest, EmptyTreeNoCameraAndNanCamera)
{
    bz_Viewport_Render(view_); // nothing under the root
    EXPECT_TRUE(GroupLumps().empty());
    ModelAt(cube_, 0, 0, 10);
    view_->camera = nullptr;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_TRUE(GroupLumps().empty());
    EXPECT_EQ(bz_M34_IsIdentity(&view_->viewMatrix), 1);
    view_->camera = camera_;
    camera_->matrix.row[3].x = std::numeric_limits<float>::quiet_NaN();
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_TRUE(GroupLumps().empty());
}

TEST_F(SceneRenderTest, PolyLinesInChunksWithoutGaps)
{
    bzPath *path = nullptr;
    bzLump *line = bz_Lump_CreatePolyline("line", 0xFFFFFFFF, &path);
    ASSERT_NE(path, nullptr);
    lumps_.push_back(line);
    // One point draws nothing.
    bz_Path_AppendPoint(path, 0, 0, 0);
    bz_DrawPolyLine(line, view_);
    EXPECT_TRUE(gCalls.empty());

    // 2,001 points: a chunk of 2,000 and one joining the last two points.
    for (int i = 1; i < 2001; ++i)
        bz_Path_AppendPoint(path, static_cast<float>(i), 0, 0);
    bz_DrawPolyLine(line, view_);
    std::vector<int64_t> counts;
    for (const Call &c : gCalls)
        if (c.slot == 80)
            counts.push_back(c.n);
    EXPECT_EQ(counts, (std::vector<int64_t>{1999, 1}));
    ASSERT_EQ(gLineVertices.size(), 3u * 2002u);
    EXPECT_EQ(gLineVertices[3 * 1999], 1999.0f);
    EXPECT_EQ(gLineVertices[3 * 2000], 1999.0f); // the seam point starts the second chunk
    EXPECT_EQ(gLineVertices[3 * 2001], 2000.0f);
}

TEST_F(SceneRenderTest, AClosedStripOfFourDrawsFourSegments)
{
    bzPath *path = nullptr;
    bzLump *line = bz_Lump_CreatePolyline("square", 0xFFFFFFFF, &path);
    lumps_.push_back(line);
    const float pts[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto &p : pts)
        bz_Path_AppendPointWord(path, p[0], p[1], 0, 0xFF00FF00);
    path->flags = BZ_PATH_CLOSED | BZ_PATH_COLOURS;
    bz_DrawPolyLine(line, view_);
    EXPECT_EQ(Slots(), (std::vector<int>{60, 59, 63, 80}));
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[0].n, 5); // locked vertices
    EXPECT_EQ(gCalls[3].n, 4); // segments
    ASSERT_EQ(gLineVertices.size(), 20u);
    EXPECT_EQ(gLineVertices[16], 0.0f); // back at the first point
    EXPECT_EQ(gLineVertices[17], 0.0f);
    EXPECT_NE(line->material->flags & BZ_MATERIAL_VERTEX_COLOURS, 0u);
    path->flags = BZ_PATH_PAIRS;
    gCalls.clear();
    bz_DrawPolyLine(line, view_);
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[0].n, 4);
    EXPECT_EQ(gCalls[3].n, 2);
}
TEST_F(SceneRenderTest, DiamondsWithHighlightingAreGreenFirstAndRedLast)
{
    bzPath *path = nullptr;
    bzLump *line = bz_Lump_CreatePolyline("marked", 0xFFFFFFFF, &path);
    lumps_.push_back(line);
    for (int i = 0; i < 4; ++i)
        bz_Path_AppendPoint(path, static_cast<float>(i), 2.0f, 10.0f);
    path->flags = BZ_PATH_DIAMONDS | BZ_PATH_HIGHLIGHT;
    path->scale = 0.5f;
    bz_DrawPolyLine(line, view_);
    std::vector<std::array<float, 3>> colours;
    std::vector<const bzM34 *> matrices;
    for (const Call &c : gCalls)
    {
        if (c.slot == 79)
        {
            colours.push_back({c.rgb[0], c.rgb[1], c.rgb[2]});
            EXPECT_EQ(c.n, 1); // drawn as crossing the guard band
        }
        if (c.slot == 42)
            matrices.push_back(static_cast<const bzM34 *>(c.a));
    }
    using C = std::array<float, 3>;
    // The diamonds, then (highlighting with diamonds) a yellow arrow on every segment.
    EXPECT_EQ(colours, (std::vector<C>{C{0, 255, 0}, C{255, 0, 255}, C{255, 0, 255}, C{255, 0, 0},
                                       C{255, 255, 0}, C{255, 255, 0}, C{255, 255, 0}}));
    // The last diamond's matrix: a scale of 0.5 at the last point, seen from the camera at the
    // origin (the view matrix is the identity).
    ASSERT_EQ(matrices.size(), 7u);
    EXPECT_FLOAT_EQ(gWorlds[3].row[0].x, 0.5f);
    EXPECT_FLOAT_EQ(gWorlds[3].row[3].x, 3.0f);
    EXPECT_FLOAT_EQ(gWorlds[3].row[3].z, 10.0f);
}
int gPreRender = 0;
void CountPreRender(bzViewport *)
{
    ++gPreRender;
}

TEST_F(SceneRenderTest, BatchChainsSkipsShadowsAndThePreRenderCallback)
{
    // Chain 1 (lumps with bit 27) is drawn before the shadows, chain 2 after them.
    bzLump *late = ModelAt(cube_, 0, 0, 10);
    bzLump *early = ModelAt(cube_, 0, 0, 12);
    early->flags |= BZ_LUMP_BATCH_CHAIN1;
    bzModel *shadowCaster = MakeCubeModel("caster", opaque_, -0.5f, 0.5f);
    bzLump *shadow = bz_Lump_CreateStencilShadow("shadow", shadowCaster);
    ASSERT_NE(shadow, nullptr);
    bz_Lump_AppendChild(root_, shadow);
    // A material with bit 15 is never drawn; a hidden entry neither.
    bzMaterial *never = bz_CreateMaterial("never", 1);
    never->flags |= 0x8000;
    bzModel *neverCube = MakeCubeModel("never", never, -0.5f, 0.5f);
    ModelAt(neverCube, 0, 0, 10);
    bzModel *hiddenCube = MakeCubeModel("hidden", opaque_, -0.5f, 0.5f);
    for (int32_t i = 0; i < hiddenCube->part->entryCount; ++i)
        hiddenCube->part->entries[i].entryFlags |= 1;
    ModelAt(hiddenCube, 0, 0, 10);
    gPreRender = 0;
    bz_Viewport_SetPreRenderCallback(view_, CountPreRender);
    bz_Viewport_Render(view_);
    EXPECT_EQ(gPreRender, 1);
    std::vector<const void *> order;
    for (const Call &c : gCalls)
        if (c.slot == 79 || c.slot == 104 || c.slot == 103)
            order.push_back(c.slot == 103 ? nullptr : c.a);
    EXPECT_EQ(order, (std::vector<const void *>{early, shadow, nullptr, late}));
    // Fog is off for a viewport without the fog flag.
    const std::vector<int> slots = Slots();
    EXPECT_NE(std::find(slots.begin(), slots.end(), 40), slots.end());
    bz_ReleaseModel(shadowCaster);
    bz_ReleaseModel(neverCube);
    bz_ReleaseModel(hiddenCube);
    bz_ReleaseMaterial(never);
}

TEST_F(SceneRenderTest, ForegroundTreeIsDrawnAtOnceInCameraSpace)
{
    bzLump *fg = bz_Lump_CreateModel(cube_);
    bzLump *child = bz_Lump_CreateModel(cube_);
    bzLump *hiddenChild = bz_Lump_CreateModel(cube_);
    lumps_.push_back(fg);
    bz_M34_SetTranslation(&fg->matrix, 1.0f, 0.0f, 3.0f);
    bz_M34_SetTranslation(&child->matrix, 2.0f, 0.0f, 0.0f);
    bz_Lump_AppendChild(fg, child);
    bz_Lump_AppendChild(fg, hiddenChild);
    hiddenChild->flags &= ~BZ_LUMP_ACTIVE;
    bz_Viewport_SetForeground(view_, fg);
    // The camera moves; the foreground stays where it is in front of it.
    bz_M34_SetTranslation(&camera_->matrix, 50.0f, 0.0f, 0.0f);
    bz_Viewport_Render(view_);
    std::vector<std::pair<const void *, float>> drawn;
    for (const Call &c : gCalls)
        if (c.slot == 87)
            drawn.push_back({c.a, c.rgb[0]});
    EXPECT_EQ(drawn, (std::vector<std::pair<const void *, float>>{{fg, 1.0f}, {child, 3.0f}}));
    // Nothing of the foreground went through the batches.
    EXPECT_TRUE(GroupLumps().empty());
    bz_Viewport_HideForeground(view_);
    gCalls.clear();
    bz_Viewport_Render(view_);
    for (const Call &c : gCalls)
        EXPECT_NE(c.slot, 87);
}
TEST_F(SceneRenderTest, SteppedEmittersAreDrawnFromTheDepthQueue)
{
    bzParticleSystem *system = nullptr;
    bzLump *emitter = bz_Lump_CreateEmitter("sparks", &system);
    ASSERT_NE(system, nullptr);
    bz_M34_SetTranslation(&emitter->matrix, 0, 0, 30);
    bz_Lump_AppendChild(root_, emitter);
    bzLump *glass = ModelAt(glassCube_, 0, 0, 10); // nearer: drawn after the emitter
    system->boundingRadius = 2.0f;
    system->drawKind = BZ_PARTICLE_DRAW_SPRITES;
    system->flags |= BZ_PS_LISTED;
    // Not stepped this frame: not queued.
    system->flags &= ~BZ_PS_STEPPED;
    bz_Viewport_Render(view_);
    for (const Call &c : gCalls)
        EXPECT_NE(c.slot, 26);
    system->flags |= BZ_PS_STEPPED;
    gCalls.clear();
    bz_Viewport_Render(view_);
    std::vector<const void *> order;
    for (const Call &c : gCalls)
        if (c.slot == 26 || c.slot == 79)
            order.push_back(c.a);
    EXPECT_EQ(order, (std::vector<const void *>{system, glass}));
    // Behind the camera it is culled.
    bz_M34_SetTranslation(&emitter->matrix, 0, 0, -30);
    gCalls.clear();
    bz_Viewport_Render(view_);
    for (const Call &c : gCalls)
        EXPECT_NE(c.slot, 26);
    system->flags &= ~(BZ_PS_STEPPED | BZ_PS_LISTED);
}

TEST_F(SceneRenderTest, SphereModelLumpsAreCollectedForThePostWalkHook)
{
    bzLump *special = bz_Lump_Create(BZ_LUMP_TYPE_SPHERE_MODEL, "special");
    ASSERT_EQ(bz_Lump_SetObject(special, cube_), BZ_ERROR_NONE);
    bz_M34_SetTranslation(&special->matrix, 0, 0, 10);
    bz_Lump_AppendChild(root_, special);
    static bzLump *seen = nullptr;
    seen = nullptr;
    bz_Scene_SetPostWalkHook([](bzViewport *, bzLump *const *lists)
                             { seen = lists[BZ_RLIST_SPHERE_MODEL]; });
    bz_Viewport_Render(view_);
    EXPECT_EQ(seen, special);
    bz_M34_SetTranslation(&special->matrix, 0, 0, -10);
    bz_Viewport_Render(view_);
    EXPECT_EQ(seen, nullptr);
    bz_Scene_SetPostWalkHook(nullptr);
}
TEST_F(SceneRenderTest, ArrowsFollowTheirSegments)
{
    bzPath *path = nullptr;
    bzLump *line = bz_Lump_CreatePolyline("arrows", 0xFFFFFFFF, &path);
    lumps_.push_back(line);
    // Along +x, then along +y.
    bz_Path_AppendPoint(path, 0, 0, 10);
    bz_Path_AppendPoint(path, 4, 0, 10);
    bz_Path_AppendPoint(path, 4, 6, 10);
    bz_Path_AppendPoint(path, 4, 6, 20);
    auto draws = [&]()
    {
        std::vector<std::array<float, 3>> colours;
        for (const Call &c : gCalls)
            if (c.slot == 79)
                colours.push_back({c.rgb[0], c.rgb[1], c.rgb[2]});
        return colours;
    };
    using C = std::array<float, 3>;
    const C yellow{255, 255, 0}, green{0, 255, 0}, red{255, 0, 0};

    // An arrow on every segment, centred on its middle with its axis along the segment.
    path->flags = BZ_PATH_ARROWS;
    bz_DrawPolyLine(line, view_);
    EXPECT_EQ(draws(), (std::vector<C>{yellow, yellow, yellow}));
    ASSERT_EQ(gWorlds.size(), 3u); // one matrix for each arrow
    const bzM34 &a = gWorlds[0];
    EXPECT_NEAR(a.row[1].x, 1.0f, 1e-6f); // the cone's axis along +x
    EXPECT_NEAR(a.row[1].y, 0.0f, 1e-6f);
    EXPECT_NEAR(a.row[3].x, 1.0f, 1e-6f); // its base one unit back from the middle (2, 0)
    EXPECT_NEAR(a.row[3].z, 10.0f, 1e-6f);
    EXPECT_NEAR(gWorlds[1].row[1].y, 1.0f, 1e-6f);

    // Highlighting alone: green on the first point, red on the last, nothing between.
    gCalls.clear();
    gWorlds.clear();
    path->flags = BZ_PATH_HIGHLIGHT;
    bz_DrawPolyLine(line, view_);
    EXPECT_EQ(draws(), (std::vector<C>{green, red}));
    ASSERT_EQ(gWorlds.size(), 2u);
    EXPECT_NEAR(gWorlds[0].row[3].x, -1.0f, 1e-6f); // centred on the first point
    EXPECT_NEAR(gWorlds[1].row[3].z, 19.0f, 1e-6f); // centred on the last point, axis +z

    // Both: the arrows between are drawn yellow.
    gCalls.clear();
    path->flags = BZ_PATH_HIGHLIGHT | BZ_PATH_ARROWS;
    bz_DrawPolyLine(line, view_);
    EXPECT_EQ(draws(), (std::vector<C>{green, yellow, red}));
}
TEST_F(SceneRenderTest, MatrixStatsAndTheCameraBackEndFlag)
{
    ModelAt(cube_, 0, 0, 10);
    bzLump *group = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "group");
    bz_Lump_AppendChild(root_, group);
    ModelAt(cube_, 0, 0, 20, group);
    bz_Viewport_Render(view_);
    EXPECT_EQ(bz_Scene_MatrixTransformsLastWalk(), 3u);
    EXPECT_GE(bz_Scene_MatrixTransformsMax(), 3u);
    EXPECT_EQ(bz_Scene_PrintMatrixStats(4), 6);
    const std::string last = bz_GetDebugMessage(5);
    EXPECT_EQ(last, "MatrixTransformsLastFrame            == 3");
    EXPECT_EQ(
        std::string(bz_GetDebugMessage(4)).rfind("MaxMatrixTransforms                  == ", 0),
        0u);
    bz_ClearDebugMessages();

    // The back-end flag is raised only while a viewport whose camera asks for it renders.
    static uint32_t during = 99;
    bz_Scene_SetPostWalkHook([](bzViewport *, bzLump *const *)
                             { during = bz_Viewport_GetCameraBackEndFlag(); });
    static_cast<bzCamera *>(camera_->object)->backEndWord = 1;
    bz_Viewport_Render(view_);
    EXPECT_EQ(during, 1u);
    EXPECT_EQ(bz_Viewport_GetCameraBackEndFlag(), 0u);
    static_cast<bzCamera *>(camera_->object)->backEndWord = 0;
    bz_Viewport_Render(view_);
    EXPECT_EQ(during, 0u);
    bz_Scene_SetPostWalkHook(nullptr);
}
TEST_F(SceneRenderTest, PooledEmittersAreDrawnFromTheDepthQueue)
{
    ASSERT_EQ(bz_ParticleEmitter_InitPool(), BZ_ERROR_NONE);
    bzParticleEmitter *emitter = bz_ParticleEmitter_Create(); // visibility radius 10
    ASSERT_NE(emitter, nullptr);
    bzLump *lump = emitter->lump;
    ASSERT_NE(lump, nullptr);
    ASSERT_EQ(lump->object, emitter);
    bz_M34_SetTranslation(&lump->matrix, 0, 0, 40);
    ASSERT_EQ(bz_Lump_AppendChild(root_, lump), BZ_ERROR_NONE);
    bzLump *glass = ModelAt(glassCube_, 0, 0, 10);
    bz_Viewport_Render(view_);
    std::vector<const void *> order;
    for (const Call &c : gCalls)
        if (c.slot == 24 || c.slot == 79)
            order.push_back(c.a);
    // Farther first: the emitter (after its world matrix), then the nearer glass.
    EXPECT_EQ(order, (std::vector<const void *>{lump, glass}));
    // Beyond its visibility radius behind the camera it is not drawn.
    bz_M34_SetTranslation(&lump->matrix, 0, 0, -40);
    gCalls.clear();
    bz_Viewport_Render(view_);
    for (const Call &c : gCalls)
        EXPECT_NE(c.slot, 24);
    bz_Lump_Detach(lump); // the pool keeps its lump
    bz_ParticleEmitter_Release(emitter);
}

// What the render callback does, and what it saw.
struct CallbackCase
{
    const char *name;
    int32_t answer;
    bool clearModel;
    bool setMaterial;
    bool replaceModel;
};
CallbackCase gCallbackCase{};
bzMaterial *gCallbackMaterial = nullptr;
bzModel *gReplacement = nullptr;
std::vector<bzLumpRenderInfo> gInfos;

int32_t RenderCallback(bzLumpRenderInfo *info)
{
    gInfos.push_back(*info);
    if (gCallbackCase.clearModel)
        info->model = nullptr;
    if (gCallbackCase.replaceModel)
        info->model = gReplacement;
    if (gCallbackCase.setMaterial)
        info->material = gCallbackMaterial;
    return gCallbackCase.answer;
}

TEST_F(SceneRenderTest, ModelRenderCallbacks)
{
    bzMaterial *red = bz_CreateMaterial("red", 1);
    gCallbackMaterial = red;
    gReplacement = glassCube_;
    const int groups = cube_->part->entryCount;
    const struct
    {
        CallbackCase c;
        int parentGroups;   // groups of the parent lump drawn
        bool childDrawn;    // its child's groups drawn (the children walked)
        bzMaterial *wanted; // the material of the parent's groups
    } cases[] = {
        {{"drawn as it is", 1, false, false, false}, groups, true, opaque_},
        {{"refused", 0, false, false, false}, 0, false, nullptr},
        {{"model cleared", 1, true, false, false}, 0, true, nullptr},
        {{"material set", 1, false, true, false}, groups, true, red},
        {{"model replaced", 1, false, false, true}, groups, true, glass_},
        {{"cleared and refused", 0, true, false, false}, 0, false, nullptr},
    };
    for (const auto &c : cases)
    {
        bzLump *parent = ModelAt(cube_, 0, 0, 10);
        bzLump *child = ModelAt(cube_, 0, 0, 5, parent);
        parent->render = RenderCallback;
        gCallbackCase = c.c;
        gInfos.clear();
        gCalls.clear();
        bz_Viewport_Render(view_);
        int parentGroups = 0, childGroups = 0;
        for (const Call &call : gCalls)
            if (call.slot == 79)
            {
                if (call.a == parent)
                {
                    ++parentGroups;
                    EXPECT_EQ(call.b, c.wanted) << c.c.name;
                }
                childGroups += call.a == child;
            }
        EXPECT_EQ(parentGroups, c.parentGroups) << c.c.name;
        EXPECT_EQ(childGroups > 0, c.childDrawn) << c.c.name;
        // The callback is called once, with the record the walk built.
        ASSERT_EQ(gInfos.size(), 1u) << c.c.name;
        const bzLumpRenderInfo &info = gInfos[0];
        EXPECT_EQ(info.lump, parent);
        EXPECT_EQ(info.viewport, view_);
        EXPECT_EQ(info.viewMatrix, &parent->worldMatrix);
        EXPECT_EQ(info.viewportMatrix, &view_->viewMatrix);
        EXPECT_EQ(info.cameraMatrix, bz_Lump_GetMatrix(camera_));
        EXPECT_EQ(info.model, cube_);
        EXPECT_EQ(info.material, nullptr);
        bz_Lump_DestroyTree(parent);
    }
    // A lump outside the view is not asked.
    bzLump *behind = ModelAt(cube_, 0, 0, -10);
    behind->render = RenderCallback;
    gInfos.clear();
    bz_Viewport_Render(view_);
    EXPECT_TRUE(gInfos.empty());
    bz_ReleaseMaterial(red);
}

TEST_F(SceneRenderTest, RenderCallbacksOfShadowsSoundsAndEmitters)
{
    bzModel *caster = MakeCubeModel("caster", opaque_, -0.5f, 0.5f);
    bzLump *shadow = bz_Lump_CreateStencilShadow("shadow", caster);
    ASSERT_NE(shadow, nullptr);
    bz_Lump_AppendChild(root_, shadow);
    shadow->render = RenderCallback;
    bzLump *sound = bz_Lump_Create(BZ_LUMP_TYPE_SOUND, "sound");
    bz_Lump_AppendChild(root_, sound);
    sound->render = RenderCallback;
    bzParticleSystem *system = nullptr;
    bzLump *emitter = bz_Lump_CreateEmitter("sparks", &system);
    ASSERT_NE(system, nullptr);
    bz_M34_SetTranslation(&emitter->matrix, 0, 0, 30);
    bz_Lump_AppendChild(root_, emitter);
    system->boundingRadius = 2.0f;
    system->drawKind = BZ_PARTICLE_DRAW_SPRITES;
    system->flags |= BZ_PS_LISTED | BZ_PS_STEPPED;
    emitter->render = RenderCallback;
    for (int32_t answer : {0, 1})
    {
        gCallbackCase = {"", answer, false, false, false};
        gInfos.clear();
        gCalls.clear();
        bz_Viewport_Render(view_);
        const std::vector<int> slots = Slots();
        const bool volume = std::find(slots.begin(), slots.end(), 104) != slots.end();
        const bool sprites = std::find(slots.begin(), slots.end(), 26) != slots.end();
        EXPECT_EQ(volume, answer == 1);
        EXPECT_EQ(sprites, answer == 1);
        // All three are asked, none with a model; the sound's answer changes nothing.
        ASSERT_EQ(gInfos.size(), 3u);
        for (const bzLumpRenderInfo &info : gInfos)
            EXPECT_EQ(info.model, nullptr);
    }
    system->flags &= ~(BZ_PS_STEPPED | BZ_PS_LISTED);
    bz_ReleaseModel(caster);
}

// The camera joins the portal world's records by the room that holds its position (a camera
// cannot be attached below a lump, so it is linked by hand for the registering).
void RegisterCamera(bzLump *camera)
{
    bzLump *holder = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "holder");
    holder->firstChild = camera;
    camera->parent = holder;
    bz_Portals_RegisterChildren(holder);
    holder->firstChild = nullptr;
    camera->parent = nullptr;
    bz_Lump_Destroy(holder);
    camera->flags |= BZ_LUMP_IN_PORTALS;
}

TEST_F(SceneRenderTest, PortalRootsAreDrawnRoomByRoom)
{
    // Room 0 holds the camera; room 1 lies behind it through a portal at z = 10; room 2 behind
    // room 1 has no way in. Both model lumps lie in the view.
    MakePortalWorld({{SquareAtZ(-4, 4, -4, 4, 10), 0, 1}},
                    {{{{{{-50, -50, -1}}}, {{{50, 50, 10}}}}, {0}, {}},
                     {{{{{-50, -50, 10}}}, {{{50, 50, 30}}}}, {0}, {}},
                     {{{{{-50, -50, 30}}}, {{{50, 50, 60}}}}, {}, {}}});
    bzLump *rooms = bz_Lump_Create(BZ_LUMP_TYPE_PORTALS_ROOT, "rooms");
    bz_Lump_AppendChild(root_, rooms);
    bzLump *seen = ModelAt(cube_, 0, 0, 20, rooms);
    bzLump *walled = ModelAt(cube_, 0, 0, 40, rooms);
    ASSERT_EQ(bz_Portals_RegisterChildren(rooms), 2);
    bzLump *open = ModelAt(cube_, 1, 0, 15); // outside the portal root: walked as always
    auto drawn = [&]()
    {
        std::vector<const void *> lumps = GroupLumps();
        lumps.erase(std::unique(lumps.begin(), lumps.end()), lumps.end());
        std::sort(lumps.begin(), lumps.end());
        return lumps;
    };
    auto sorted = [](std::vector<const void *> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    };

    // A camera that is not registered: the portal root is walked as any other lump.
    bz_Viewport_Render(view_);
    EXPECT_EQ(drawn(), sorted({seen, walled, open}));

    // Registered in room 0: the walled-in room is left out, each lump drawn once.
    RegisterCamera(camera_);
    ASSERT_EQ(bz_Portals_RoomOfLump(camera_), 0);
    static bzLump *portalList = nullptr;
    bz_Scene_SetPostWalkHook([](bzViewport *, bzLump *const *lists)
                             { portalList = lists[BZ_RLIST_PORTALS]; });
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(drawn(), sorted({seen, open}));
    EXPECT_EQ(GroupLumps().size(), drawn().size() * cube_->part->entryCount);
    EXPECT_EQ(portalList, rooms);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 2);
    bz_Scene_SetPostWalkHook(nullptr);
    // The room pass takes nothing from the system heap (the recorders keep their room).
    {
        gCalls.clear();
        gWorlds.clear();
        bz_Viewport_Render(view_);
        RawAllocFailure failing;
        const long news = gNewCalls.load();
        for (int i = 0; i < 3; ++i)
        {
            gCalls.clear();
            gWorlds.clear();
            bz_Viewport_Render(view_);
        }
        EXPECT_EQ(RawAllocFailure::Calls(), 0);
        EXPECT_EQ(gNewCalls.load(), news);
        failing.Restore();
        EXPECT_EQ(drawn(), sorted({seen, open}));
    }

    // The console's switch off (a debug command): walked as any other lump.
    const int32_t debug = bz_Console_GetState()->debug;
    bz_Console_GetState()->debug = 1;
    bz_Console_ExecLine("bz_Portals 0");
    ASSERT_EQ(bz_Portals_IsOn(), 0);
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(drawn(), sorted({seen, walled, open}));
    bz_Console_ExecLine("bz_Portals 1");
    bz_Console_GetState()->debug = debug;
    ASSERT_EQ(bz_Portals_IsOn(), 1);

    // A camera whose record has a room index below 0: no room pass, everything walked.
    bz_Portals_FreeLumpRecords(camera_->roomLink);
    camera_->roomLink = nullptr;
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, -500);
    RegisterCamera(camera_);
    ASSERT_EQ(bz_Portals_RoomOfLump(camera_), -1);
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 0);
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(drawn(), sorted({seen, walled, open}));
    bz_Portals_FreeWorld();
    camera_->flags &= ~BZ_LUMP_IN_PORTALS;
}
} // namespace
