#include "scene/PooledEmitter.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Random.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "scene/Lump.h"
#include "scene/LumpClone.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
std::vector<int> gSlots;
std::vector<void *> gReleased;

class PooledTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = bzgRenderTable;
        gSlots.clear();
        gReleased.clear();
        bzgRenderTable.PDInitEmitterData = []() { gSlots.push_back(23); };
        bzgRenderTable.PDReleaseEmitterData = []() { gSlots.push_back(22); };
        bzgRenderTable.PDReleaseHardwareData = [](void *o) { gReleased.push_back(o); };
        ASSERT_EQ(bz_ParticleEmitter_InitPool(), 0);
        parent = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "scene");
    }
    void TearDown() override
    {
        bz_ParticleEmitter_DetachAll();
        bz_Lump_DestroyTree(parent);
        bz_ParticleEmitter_FreeAll();
        bzgRenderTable = saved;
    }
    PDRenderFunctionTable saved;
    bzLump *parent = nullptr;
};

TEST_F(PooledTest, ThirtyTwoThenNone)
{
    EXPECT_EQ(gSlots, std::vector<int>{23});
    std::vector<bzParticleEmitter *> taken;
    for (int i = 0; i < 32; i++)
    {
        bzParticleEmitter *e = bz_ParticleEmitter_Create();
        ASSERT_NE(e, nullptr) << i;
        // Pool order.
        EXPECT_EQ(e, bz_ParticleEmitter_GetSlot(i));
        ASSERT_NE(e->lump, nullptr);
        EXPECT_EQ(e->lump->type, 21);
        EXPECT_STREQ(e->lump->name, "PPEMIT");
        EXPECT_EQ(e->lump->object, e);
        taken.push_back(e);
    }
    EXPECT_EQ(bz_ParticleEmitter_Create(), nullptr);
    EXPECT_EQ(bz_ParticleEmitter_Take(), nullptr);
    bz_ParticleEmitter_Release(taken[7]);
    EXPECT_EQ(bz_ParticleEmitter_Create(), taken[7]);
}

TEST_F(PooledTest, CreationDefaults)
{
    bz_RandomSeed(99);
    const int32_t draw = bz_RandomDraw();
    bz_RandomSeed(99);
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->randomValue, draw);
    EXPECT_EQ(e->refCount, 1);
    EXPECT_EQ(e->inUse, 1);
    EXPECT_EQ(e->visibilityRadius, 10.0f);
    EXPECT_EQ(e->parameter2, 0.001f);
    EXPECT_EQ(e->duration, 2.0f);
    EXPECT_EQ(e->time, 0.0f);
    EXPECT_EQ(e->frameNumber, 0.0f);
    EXPECT_EQ(e->flags, 0u);
}

TEST_F(PooledTest, KindThreeNeverAges)
{
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    e->kind = 3;
    bz_Lump_Attach(parent, e->lump);
    for (int i = 0; i < 5; i++)
        bz_ParticleEmitter_UpdateAllBy(10.0f);
    EXPECT_EQ(e->inUse, 1);
    EXPECT_EQ(e->time, 0.0f);
    EXPECT_EQ(e->lump->parent, parent);
}

TEST_F(PooledTest, ExpiryDetachesInTheSameUpdate)
{
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    e->kind = 1;
    bz_Lump_Attach(parent, e->lump);
    bz_ParticleEmitter_UpdateAllBy(1.0f);
    EXPECT_EQ(e->inUse, 1);
    EXPECT_EQ(e->timeCopy, 1.0f);
    EXPECT_EQ(e->fraction, 0.5f);
    EXPECT_EQ(e->frameNumber, 60.0f);
    bz_ParticleEmitter_UpdateAllBy(1.5f);
    EXPECT_EQ(e->inUse, 0);
    EXPECT_EQ(e->lump->parent, nullptr);
    EXPECT_EQ(parent->firstChild, nullptr);
}

// A disabled lump holds its emitter still; a step that is not a number ends it.
TEST_F(PooledTest, DisabledLumpsWaitAndBadStepsEnd)
{
    bzParticleEmitter *still = bz_ParticleEmitter_Create();
    bzParticleEmitter *bad = bz_ParticleEmitter_Create();
    still->lump->flags &= ~BZ_LUMP_ACTIVE;
    bz_ParticleEmitter_UpdateAllBy(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(still->inUse, 1);
    EXPECT_EQ(still->time, 0.0f);
    EXPECT_EQ(bad->inUse, 0);
    bz_ParticleEmitter_UpdateAllBy(-1.0f);
    EXPECT_EQ(still->inUse, 1);
}

TEST_F(PooledTest, ReferencesAndDetachAll)
{
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    bz_ParticleEmitter_AddRef(e);
    bz_ParticleEmitter_Release(e);
    EXPECT_EQ(e->inUse, 1);
    bz_ParticleEmitter_Release(e);
    EXPECT_EQ(e->inUse, 0);
    bzParticleEmitter *a = bz_ParticleEmitter_Create();
    bz_Lump_Attach(parent, a->lump);
    bz_ParticleEmitter_DetachAll();
    EXPECT_EQ(a->inUse, 0);
    EXPECT_EQ(parent->firstChild, nullptr);
    bzParticleEmitter *c = bz_ParticleEmitter_Create();
    bz_ParticleEmitter_ClearInUse(c);
    EXPECT_EQ(c->inUse, 0);
}

TEST_F(PooledTest, CloneCopiesTheFieldsKeepsItsLump)
{
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    e->kind = 1;
    e->duration = 7.5f;
    e->gameWords[3] = 0xABCD;
    bzParticleEmitter *c = bz_ParticleEmitter_Clone(e);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c, e);
    EXPECT_EQ(c->duration, 7.5f);
    EXPECT_EQ(c->gameWords[3], 0xABCDu);
    EXPECT_NE(c->lump, e->lump);
    EXPECT_EQ(c->lump->object, c);
    EXPECT_EQ(c->refCount, 1);
}

TEST_F(PooledTest, TakingAndAgeingAllocateNothing)
{
    RawAllocFailure failing;
    for (int round = 0; round < 10; round++)
    {
        for (int i = 0; i < 40; i++)
            if (bzParticleEmitter *e = bz_ParticleEmitter_Create())
                e->kind = 1;
        for (int i = 0; i < 5; i++)
            bz_ParticleEmitter_UpdateAllBy(0.5f);
    }
    failing.Restore();
    EXPECT_EQ(RawAllocFailure::Calls(), 0);
    EXPECT_EQ(bz_ParticleEmitter_GetSlot(0)->inUse, 0);
}

TEST_F(PooledTest, QuadBlockArrays)
{
    bz_IMGMAP image = {};
    image.refCount = 1;
    bzQuadBlockArray *a = bz_QuadBlockArray_Create(3, 11, 22, &image);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count, 3u);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(a->radius, 1.0f);
    EXPECT_EQ(a->columns, 1.0f);
    EXPECT_EQ(a->rows, 1.0f);
    EXPECT_EQ(a->lift, 0.0f);
    EXPECT_EQ(a->blend, 0);
    EXPECT_EQ(a->user1, 11u);
    EXPECT_EQ(a->user2, 22u);
    const auto *bytes = reinterpret_cast<const uint8_t *>(a->quads);
    for (uint32_t i = 0; i < 96; i++)
        EXPECT_EQ(bytes[i], 0);
    // The last quad's frame is the array's last word.
    a->quads[2].frame = 7;
    EXPECT_EQ(bytes[92], 7);
    a->radius = 12.0f;
    a->columns = 4.0f;
    a->rows = 2.0f;
    a->lift = 0.5f;
    a->blend = 3;
    bzQuadBlockArray *c = bz_QuadBlockArray_Clone(a);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->quads, a->quads);
    EXPECT_EQ(c->quads[2].frame, 7u);
    EXPECT_EQ(c->image, &image);
    EXPECT_EQ(c->radius, 12.0f);
    EXPECT_EQ(c->columns, 4.0f);
    EXPECT_EQ(c->rows, 2.0f);
    EXPECT_EQ(c->lift, 0.5f);
    EXPECT_EQ(c->blend, 3);
    // A lump holds one more use and gives it back when destroyed.
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_QUADBLOCKARRAY, "quads");
    bz_Lump_SetObject(lump, a);
    EXPECT_EQ(a->refCount, 2);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_TRUE(gReleased.empty());
    bz_QuadBlockArray_Release(a);
    bz_QuadBlockArray_Release(c);
    EXPECT_EQ(gReleased, (std::vector<void *>{a, c}));
    bzgLastError = 0;
    EXPECT_EQ(bz_QuadBlockArray_Create(0x10000000u, 0, 0, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 20);
    bzQuadBlockArray *empty = bz_QuadBlockArray_Create(0, 0, 0, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->quads, nullptr);
    bz_QuadBlockArray_Release(empty);
}

TEST(Cubic, CoefficientsFromControlPoints)
{
    bzCubicControl r = {};
    r.points[0] = {{{1, 0, 2}}};
    r.points[1] = {{{4, 0, -1}}};
    r.points[2] = {{{2, 0, 0}}};
    r.points[3] = {{{0, 0, 5}}};
    bz_CubicFromControlPoints(&r);
    const float x[4] = {9, -9, 3, 1};
    const float z[4] = {-18, 21, -6, 2};
    for (int i = 0; i < 4; i++)
    {
        EXPECT_FLOAT_EQ(r.x[i], x[i]) << i;
        EXPECT_FLOAT_EQ(r.z[i], z[i]) << i;
    }
    auto at = [](const float *c, float t) { return ((c[0] * t + c[1]) * t + c[2]) * t + c[3]; };
    EXPECT_FLOAT_EQ(at(r.x, 0), 1);
    EXPECT_FLOAT_EQ(at(r.x, 1), 4);
    EXPECT_FLOAT_EQ(at(r.z, 1), -1);
}
} // namespace

namespace
{
TEST_F(PooledTest, QuadBlockLumpCopyHasItsOwnArray)
{
    bzQuadBlockArray *a = bz_QuadBlockArray_Create(2, 1, 2, nullptr);
    a->quads[1].flags = 9;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_QUADBLOCKARRAY, "quads");
    bz_Lump_SetObject(lump, a);
    bz_QuadBlockArray_Release(a); // the lump's use is the only one
    bzLump *copy = bz_Lump_Clone(lump);
    ASSERT_NE(copy, nullptr);
    bzQuadBlockArray *c = static_cast<bzQuadBlockArray *>(copy->object);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, a);
    EXPECT_EQ(c->refCount, 1);
    EXPECT_EQ(c->quads[1].flags, 9u);
    bz_Lump_Destroy(lump);
    bz_Lump_Destroy(copy);
    EXPECT_EQ(gReleased.size(), 2u);
}
} // namespace
