// Quad-block arrays and skid-mark ribbons in one viewport's render, seen through a recording
// renderer table: a quad-block lump inside the frustum waits in the depth queue and is drawn
// far to near with the transparent groups, one outside or of radius 0 is not; the skid marks
// of every SKIDMARKS lump are drawn after the batches and before the queues, under the view
// matrix, last ribbon first, each as its triangle list with the set's image and flags.
#include "RenderWalkStart.h"
#include "ModelsTestSupport.h"
#include "support/CubeModel.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/RenderSlots.h"
#include "render/SceneRender.h"
#include "render/SkidRibbon.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "scene/PooledEmitter.h"
#include "scene/SkidMarks.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct Call
{
    int slot;
    const void *a;
    const void *b;
    int64_t n;
    uint32_t flags;
    std::vector<bzRibbonVertex> ribbon;
};
std::vector<Call> gCalls;

void SetWorld(const bzM34 *m, bzViewport *v)
{
    gCalls.push_back({42, m, v, 0, 0, {}});
}
void DrawGroup(bzMaterialEntry *, bzMaterial *m, const bzM34 *, bzLump *lump, int32_t)
{
    gCalls.push_back({79, lump, m, 0, 0, {}});
}
void QuadBlocks(bzViewport *v, bzLump *lump)
{
    gCalls.push_back({2, lump, v, 0, 0, {}});
}
void Ribbon(const bzRibbonVertex *vertices, int32_t count, bz_IMGMAP *image, uint32_t flags)
{
    gCalls.push_back({102, image, nullptr, count, flags, {vertices, vertices + count}});
}

template <typename F> PDGenericSlot G(F f)
{
    return reinterpret_cast<PDGenericSlot>(f);
}

std::vector<const void *> Drawn(std::vector<int> slots)
{
    std::vector<const void *> out;
    for (const Call &c : gCalls)
        for (int s : slots)
            if (c.slot == s)
                out.push_back(c.a);
    return out;
}

bzSkidPoint Pair(float y, int32_t marker, uint32_t colour)
{
    return {{{{-1.0f, y, 5.0f}}}, marker, {{{1.0f, y, 5.0f}}}, colour};
}

class QuadBlockSkidDrawTest : public ModelsTest, protected CubeView
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        ASSERT_EQ(StartRenderWalk(), 0);
        gCalls.clear();
        auto &t = bzgRenderTable;
        t.PDSetWorldMatrix = SetWorld;
        t.PDDrawMaterialGroup = DrawGroup;
        t.PDDrawQuadBlockArray = G(QuadBlocks);
        t.PDDrawSkidRibbon = G(Ribbon);
        ASSERT_NO_FATAL_FAILURE(MakeCubeView());
    }
    void TearDown() override
    {
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        bz_Lump_DestroyTree(root_);
        bz_Lump_DestroyTree(camera_);
        FreeCubes();
        bz_DrawQueue_Free();
        bz_Scene_ResetBatches();
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
    // A lump under the root at (x, y, z) in camera space (the camera at the origin looking
    // along +z).
    bzLump *At(bzLump *l, float x, float y, float z)
    {
        bz_M34_SetTranslation(&l->matrix, x, y, z);
        bz_Lump_AppendChild(root_, l);
        return l;
    }
    bzLump *QuadLump(float radius)
    {
        bzQuadBlockArray *array = bz_QuadBlockArray_Create(2, 0, 0, nullptr);
        EXPECT_NE(array, nullptr);
        array->radius = radius;
        bzLump *l = bz_Lump_Create(BZ_LUMP_TYPE_QUADBLOCKARRAY, "quads");
        bz_Lump_SetObject(l, array);
        bz_QuadBlockArray_Release(array); // the lump holds the only use
        return l;
    }
};

TEST_F(QuadBlockSkidDrawTest, QuadBlocksWaitInTheDepthQueueAndDrawFarToNear)
{
    bzLump *far = At(QuadLump(1.0f), 0, 0, 40);
    bzLump *glass = At(bz_Lump_CreateModel(glassCube_), 0, 0, 20);
    bzLump *near = At(QuadLump(1.0f), 0, 0, 10);
    bz_Viewport_Render(view_);
    EXPECT_EQ(Drawn({2, 79}), (std::vector<const void *>{far, glass, near}));
    for (const Call &c : gCalls)
    {
        if (c.slot == 2)
        {
            EXPECT_EQ(c.b, view_);
        }
    }
    // The walk stored the clip flags: wholly inside the guard band.
    EXPECT_EQ(far->flags & 0xC008u, 0x4000u);

    // Behind the camera, and with a radius of 0, nothing is queued.
    bz_M34_SetTranslation(&far->matrix, 0, 0, -40);
    static_cast<bzQuadBlockArray *>(near->object)->radius = 0.0f;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(Drawn({2}), std::vector<const void *>{});
    EXPECT_EQ(far->flags & 0xC008u, 0u);
    // Inactive lumps are passed over whatever their sphere.
    static_cast<bzQuadBlockArray *>(near->object)->radius = 1.0f;
    near->flags &= ~1u;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(Drawn({2}), std::vector<const void *>{});
}

// The render callback of a quad-block array, asked once the array is seen: its answer decides
// whether the array is queued; the array's children are walked either way.
std::vector<bzLumpRenderInfo> gAsked;
int32_t gAnswer = 1;
int32_t AnswerQuads(bzLumpRenderInfo *info)
{
    gAsked.push_back(*info);
    return gAnswer;
}

TEST_F(QuadBlockSkidDrawTest, AQuadBlockRenderCallbackAnsweringZeroSkipsTheArray)
{
    bzLump *quads = At(QuadLump(1.0f), 0, 0, 20);
    bzLump *child = bz_Lump_CreateModel(cube_);
    bz_Lump_AppendChild(quads, child);
    const struct
    {
        const char *what;
        bool callback;
        int32_t answer;
        size_t asked;
        std::vector<const void *> drawn; // slots 2 and 79 in order
    } cases[] = {
        {"no callback", false, 1, 0, {child, quads}},
        {"answer 1", true, 1, 1, {child, quads}},
        {"answer 0", true, 0, 1, {child}},
        {"answer -1 draws", true, -1, 1, {child, quads}},
    };
    for (const auto &c : cases)
    {
        quads->render = c.callback ? AnswerQuads : nullptr;
        gAnswer = c.answer;
        gAsked.clear();
        gCalls.clear();
        bz_Viewport_Render(view_);
        EXPECT_EQ(gAsked.size(), c.asked) << c.what;
        EXPECT_EQ(Drawn({2, 79}), c.drawn) << c.what;
        for (const bzLumpRenderInfo &info : gAsked)
        {
            EXPECT_EQ(info.lump, quads) << c.what;
            EXPECT_EQ(info.viewport, view_) << c.what;
            EXPECT_EQ(info.viewMatrix, &quads->worldMatrix) << c.what;
            EXPECT_EQ(info.viewportMatrix, &view_->viewMatrix) << c.what;
            EXPECT_EQ(info.model, nullptr) << c.what;
            EXPECT_EQ(info.material, nullptr) << c.what;
            // Asked with the view position made: 20 ahead of the camera.
            EXPECT_FLOAT_EQ(info.viewMatrix->row[3].z, 20.0f) << c.what;
        }
    }
    // Outside the view the callback is not asked.
    bz_M34_SetTranslation(&quads->matrix, 0, 0, -40);
    quads->render = AnswerQuads;
    gAnswer = 1;
    gAsked.clear();
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_TRUE(gAsked.empty());
    EXPECT_EQ(Drawn({2}), std::vector<const void *>{});
}

TEST_F(QuadBlockSkidDrawTest, SkidMarksDrawAfterTheBatchesBeforeTheQueuesLastRibbonFirst)
{
    bz_IMGMAP image{};
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(3, 4, nullptr);
    ASSERT_NE(set, nullptr);
    set->image = &image; // the test's own: no use taken
    set->flags = 0x2;
    // Trail 0: a start and two drawn pairs (four triangles); trail 1: empty; trail 2: a start
    // and one drawn pair (two triangles).
    bzSkidTrail *t = set->trails;
    t[0].points[0] = Pair(0, BZ_SKID_START, 0xFF000001);
    t[0].points[1] = Pair(1, BZ_SKID_CONTINUE, 0xFF000002);
    t[0].points[2] = Pair(2, BZ_SKID_CONTINUE, 0xFF000003);
    t[0].tail = 0;
    t[0].head = 3;
    t[2].points[0] = Pair(5, BZ_SKID_START, 0xFF000005);
    t[2].points[1] = Pair(6, BZ_SKID_CONTINUE, 0xFF000006);
    t[2].tail = 0;
    t[2].head = 2;
    bzLump *marks = bz_Lump_Create(BZ_LUMP_TYPE_SKIDMARKS, "marks");
    bz_Lump_SetObject(marks, set);
    bz_Lump_AppendChild(root_, marks);
    bzLump *opaque = At(bz_Lump_CreateModel(cube_), 0, 0, 30);
    bzLump *glass = At(bz_Lump_CreateModel(glassCube_), 0, 0, 20);

    bz_Viewport_Render(view_);
    // The opaque batch, the two ribbons (trail 2 first), then the queued glass.
    std::vector<const void *> order;
    std::vector<int64_t> counts;
    for (const Call &c : gCalls)
    {
        if (c.slot == 79)
            order.push_back(c.a);
        if (c.slot == 102)
        {
            order.push_back(nullptr);
            counts.push_back(c.n);
            EXPECT_EQ(c.a, &image);
            EXPECT_EQ(c.flags, 0x2u);
        }
    }
    EXPECT_EQ(order, (std::vector<const void *>{opaque, nullptr, nullptr, glass}));
    EXPECT_EQ(counts, (std::vector<int64_t>{6, 12}));
    // Under the viewport's view matrix, set just before the first ribbon.
    size_t first = 0;
    while (first < gCalls.size() && gCalls[first].slot != 102)
        ++first;
    ASSERT_GT(first, 0u);
    ASSERT_LT(first, gCalls.size());
    ASSERT_EQ(gCalls[first - 1].slot, 42);
    EXPECT_EQ(gCalls[first - 1].a, &view_->viewMatrix);
    // The ribbons' vertices are the trails' world positions and colours: trail 2's first
    // triangle joins pair 1's left edge to pair 0's right and left edges.
    const std::vector<bzRibbonVertex> &r = gCalls[first].ribbon;
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0].position.x, -1.0f);
    EXPECT_EQ(r[0].position.y, 6.0f);
    EXPECT_EQ(r[0].position.z, 5.0f);
    EXPECT_EQ(r[0].colour, 0xFF000006u);
    EXPECT_EQ(r[1].position.x, 1.0f);
    EXPECT_EQ(r[1].position.y, 5.0f);
    EXPECT_EQ(r[1].colour, 0xFF000005u);
    EXPECT_EQ(r[1].second, 0xFFFF00u);

    // A set whose pairs are all starts draws no ribbon, and the temporary blocks went back.
    const uint32_t space = bz_TempStack_SpaceLeft(1, 0);
    t[0].points[1].marker = BZ_SKID_START;
    t[0].points[2].marker = BZ_SKID_START;
    t[2].points[1].marker = BZ_SKID_START;
    gCalls.clear();
    bz_Viewport_Render(view_);
    EXPECT_EQ(Drawn({102}), std::vector<const void *>{});
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), space);
    set->image = nullptr;
}
} // namespace
