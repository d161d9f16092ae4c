#include "scene/ParticleSystem.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Random.h"
#include "device/RenderTable.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/LumpClone.h"

#include "support/FakeReplay.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    bzV3 v;
    bz_V3_Set(&v, x, y, z);
    return v;
}

// Every test starts with a fresh pool and particles on, and leaves no system behind.
class Particles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bz_ParticleSystem_Enable();
        ASSERT_EQ(bz_ParticleSystem_Reset(), 0);
        bz_RandomSeed(12345);
    }
    void TearDown() override
    {
        for (bzLump *l : lumps)
            bz_Lump_DestroyTree(l);
        bz_ParticleSystem_Enable();
    }
    // An emitter lump kept for the test's end.
    bzParticleSystem *Emitter(bzLump **outLump = nullptr)
    {
        bzParticleSystem *s = nullptr;
        bzLump *lump = bz_Lump_CreateEmitter("emitter", &s);
        EXPECT_NE(lump, nullptr);
        lumps.push_back(lump);
        if (outLump)
            *outLump = lump;
        return s;
    }
    bzLump *Keep(bzLump *lump)
    {
        lumps.push_back(lump);
        return lump;
    }
    static int32_t Count(const bzParticleSystem *s, int layer)
    {
        int32_t n = 0;
        for (const bzParticle *p = s->layers[layer].head; p; p = p->next)
            n++;
        return n;
    }
    std::vector<bzLump *> lumps;
};

// A system made for a lump owes one particle from the start: any positive step with a positive
// rate emits at least one.
TEST_F(Particles, FirstStepEmitsAtLeastOne)
{
    bzParticleSystem *s = Emitter();
    EXPECT_EQ(s->accumulator, 1.0f);
    EXPECT_EQ(s->speed, 1.0f);
    EXPECT_EQ(s->startSize, 0.1f);
    EXPECT_EQ(s->endSize, 0.2f);
    EXPECT_EQ(s->layers[0].mode, 1u);
    EXPECT_EQ(s->layers[0].ageLimit, 1.0f);
    EXPECT_TRUE(s->flags & BZ_PS_LISTED);
    s->emissionRate = 0.001f;
    bz_ParticleSystem_UpdateBy(0.01f);
    EXPECT_EQ(s->layers[0].count, 1);
    EXPECT_EQ(Count(s, 0), 1);
    EXPECT_TRUE(s->flags & BZ_PS_STEPPED);
}

TEST_F(Particles, BurstEmitsTheRateOnceAndStops)
{
    bzParticleSystem *s = Emitter();
    s->emissionRate = 10.0f;
    s->flags |= BZ_PS_BURST;
    bz_ParticleSystem_UpdateBy(0.016f);
    EXPECT_EQ(s->layers[0].count, 10);
    EXPECT_TRUE(s->flags & BZ_PS_STOPPING);
    // Stopping: the particles are still stepped, nothing more is emitted.
    bz_ParticleSystem_UpdateBy(0.5f);
    EXPECT_EQ(Count(s, 0), 10);
}

// Nothing is emitted with a zero step, a zero rate, a negative emitter life or while stopping.
TEST_F(Particles, CasesThatEmitNothing)
{
    struct Case
    {
        float dt, rate, life;
        uint32_t flags;
    } cases[] = {{0.0f, 100.0f, 0.0f, 0},
                 {0.1f, 0.0f, 0.0f, 0},
                 {0.1f, 100.0f, -1.0f, 0},
                 {0.1f, 100.0f, 0.0f, BZ_PS_STOPPING | BZ_PS_PERSISTENT}};
    for (const Case &c : cases)
    {
        bzParticleSystem *s = Emitter();
        s->emissionRate = c.rate;
        s->emitterLife = c.life;
        s->flags |= c.flags;
        bz_ParticleSystem_UpdateBy(c.dt);
        EXPECT_EQ(Count(s, 0), 0) << c.dt << " " << c.rate << " " << c.life;
    }
}

// The segment from the last point back to the first belongs to a closed polyline only.
TEST_F(Particles, ClosedPolylineUsesTheClosingSegment)
{
    const bzV3 square[4] = {V(0, 0, 0), V(1, 0, 0), V(1, 1, 0), V(0, 1, 0)};
    for (int closed = 0; closed < 2; closed++)
    {
        const bzV3 still = V(0, 0, 0);
        bzLump *lump = Keep(bz_ParticleSystem_CreatePolyline(
            nullptr, 0.0f, &still, 0.0f, 2000.0f, 0xFFFFFFFF, nullptr, 4, square, closed));
        ASSERT_NE(lump, nullptr);
        bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
        EXPECT_STREQ(lump->name, "polyline_emitter");
        EXPECT_EQ(s->shapeKind, 4u);
        EXPECT_EQ((s->flags & BZ_PS_CLOSED) != 0, closed == 1);
        bz_ParticleSystem_UpdateBy(0.1f);
        ASSERT_EQ(s->layers[0].count, 201); // the one owed from the start and 200
        int onClosingSide = 0;
        for (const bzParticle *p = s->layers[0].head; p; p = p->next)
            if (std::fabs(p->position.x) < 1e-6f && p->position.y > 0.01f && p->position.y < 0.99f)
                onClosingSide++;
        if (closed)
            EXPECT_GT(onClosingSide, 20);
        else
            EXPECT_EQ(onClosingSide, 0);
    }
}

// A cloud of exactly eight points mixes two random blends; seven or nine use one. The oracle
// draws the same numbers from the same generator state.
TEST_F(Particles, EightPointCloudMixesTwoBlends)
{
    for (uint32_t n : {7u, 8u, 9u})
    {
        std::vector<bzV3> points;
        for (uint32_t i = 0; i < n; i++)
            points.push_back(V(static_cast<float>(i), static_cast<float>(i * i), 1.0f - i));
        const bzV3 still = V(0, 0, 0);
        bzLump *lump = Keep(bz_ParticleSystem_CreatePointCloud(
            nullptr, 0.0f, &still, 0.0f, 0.5f, 0xFFFFFFFF, nullptr, n, points.data()));
        ASSERT_NE(lump, nullptr);
        EXPECT_STREQ(lump->name, "polyhedron_emitt"); // names hold 16 characters
        bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
        s->flags &= ~BZ_PS_CONE;
        const uint32_t state = 777;
        bz_RandomSeed(state);
        auto blend = [&]()
        {
            double sum[3] = {}, w = 0;
            for (uint32_t i = 0; i < n; i++)
            {
                const float r = bz_RandomUnit();
                for (int k = 0; k < 3; k++)
                    sum[k] += points[i].v[k] * r;
                w += r;
            }
            return V(static_cast<float>(sum[0] / w), static_cast<float>(sum[1] / w),
                     static_cast<float>(sum[2] / w));
        };
        bzV3 expected = blend();
        if (n == 8)
        {
            const bzV3 second = blend();
            const float t = bz_RandomUnit();
            for (int k = 0; k < 3; k++)
                expected.v[k] = (1 - t) * expected.v[k] + t * second.v[k];
        }
        bz_RandomSeed(state);
        bz_ParticleSystem_UpdateBy(0.01f);
        ASSERT_EQ(s->layers[0].count, 1);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(s->layers[0].head->position.v[k], expected.v[k], 1e-3f) << n;
    }
}

// A layer-0 particle past the age limit goes to the head of layer 1 and is aged and stepped
// there in the same step.
TEST_F(Particles, LayerMoveAgesOnceMoreInTheSameStep)
{
    bzParticleSystem *s = Emitter();
    s->particleLife = 1.0f;
    s->layers[0].ageLimit = 0.5f;
    s->emissionRate = 1.0f;
    s->flags |= BZ_PS_BURST;
    s->speed = 1.0f;
    bz_V3_Set(&s->direction, 1, 0, 0);
    bz_ParticleSystem_UpdateBy(0.3f); // born at age 0
    ASSERT_EQ(s->layers[0].count, 1);
    bz_ParticleSystem_UpdateBy(0.3f); // 0.3
    EXPECT_EQ(s->layers[1].count, 0);
    bz_ParticleSystem_UpdateBy(0.3f); // 0.6 moves, then 0.9 in layer 1
    EXPECT_EQ(s->layers[0].count, 0);
    ASSERT_EQ(s->layers[1].count, 1);
    EXPECT_NEAR(s->layers[1].head->age, 0.9f, 1e-5f);
    // Moved once in layer 0 and once in layer 1; not in the pass that moved it.
    EXPECT_NEAR(s->layers[1].head->position.x, 0.6f, 1e-5f);
    bz_ParticleSystem_UpdateBy(0.3f); // 1.2: dies
    EXPECT_EQ(Count(s, 1), 0);
}

TEST_F(Particles, SwitchedOffLeavesSystemsAndStatisticsAlone)
{
    bzParticleSystem *s = Emitter();
    s->emissionRate = 100.0f;
    s->particleLife = 10.0f;
    bz_ParticleSystem_UpdateBy(0.1f);
    bzParticleStats before;
    bz_ParticleSystem_GetStats(&before);
    EXPECT_EQ(before.activeParticles, 11);
    const float age = s->layers[0].head->age;
    bz_ParticleSystem_Disable();
    bz_ParticleSystem_UpdateBy(0.1f);
    bzParticleStats after;
    bz_ParticleSystem_GetStats(&after);
    EXPECT_EQ(after.activeParticles, 11);
    EXPECT_EQ(s->layers[0].head->age, age);
    EXPECT_EQ(Count(s, 0), 11);
}

TEST_F(Particles, StoppingWithDisableFlagDisablesTheLumpAndStaysListed)
{
    bzLump *lump;
    bzParticleSystem *s = Emitter(&lump);
    s->flags |= BZ_PS_STOPPING | BZ_PS_DISABLE_AT_END;
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_FALSE(lump->flags & BZ_LUMP_ACTIVE);
    EXPECT_TRUE(s->flags & BZ_PS_LISTED);
    EXPECT_FALSE(s->flags & BZ_PS_STOPPING);
    EXPECT_EQ(lump->object, s);
}

TEST_F(Particles, FinishedSystemDestroysItsSubtree)
{
    bzLump *root = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root"));
    bzParticleSystem *s = nullptr;
    bzLump *lump = bz_Lump_CreateEmitter("smoke", &s);
    bz_Lump_Attach(root, lump);
    bz_Lump_Attach(lump, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child"));
    const int32_t before = bz_Lump_GetTotalCount();
    bzParticleStats stats;
    bz_ParticleSystem_GetStats(&stats);
    const int32_t systems = stats.systems;
    s->flags |= BZ_PS_STOPPING;
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before - 2);
    EXPECT_EQ(root->firstChild, nullptr);
    bz_ParticleSystem_GetStats(&stats);
    EXPECT_EQ(stats.systems, systems - 1);
}

// A persistent system with the leave-list bit leaves the active list when it finishes.
TEST_F(Particles, StopAndReleaseLeavesTheListWhenEmpty)
{
    bzLump *lump;
    bzParticleSystem *s = Emitter(&lump);
    s->emissionRate = 5.0f;
    bz_ParticleSystem_UpdateBy(0.1f);
    bz_ParticleSystem_StopAndRelease(s);
    EXPECT_EQ(s->emissionRate, 0.0f);
    bz_ParticleSystem_UpdateBy(0.1f); // particles never age (life 0): still listed
    EXPECT_TRUE(s->flags & BZ_PS_LISTED);
    bz_ParticleSystem_FreePool();
    ASSERT_EQ(bz_ParticleSystem_InitPool(), 0);
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_FALSE(s->flags & BZ_PS_LISTED);
    EXPECT_EQ(lump->object, s);
    bz_ParticleSystem_Resume(s, 3.0f);
    EXPECT_TRUE(s->flags & BZ_PS_LISTED);
    EXPECT_FALSE(s->flags & BZ_PS_STOPPING);
}

// Two finishing systems, the later one inside the earlier one's subtree: both go, and the walk
// never reads the freed successor.
TEST_F(Particles, FinishingSystemMayHoldItsSuccessorInItsSubtree)
{
    bzParticleSystem *inner = nullptr;
    bzLump *innerLump = bz_Lump_CreateEmitter("inner", &inner);
    bzParticleSystem *outer = nullptr;
    bzLump *outerLump = bz_Lump_CreateEmitter("outer", &outer);
    bz_Lump_Attach(outerLump, innerLump);
    // The newest system heads the list, so the inner one is the outer one's successor.
    ASSERT_EQ(outer->next, inner);
    outer->flags |= BZ_PS_STOPPING;
    inner->flags |= BZ_PS_STOPPING;
    const int32_t before = bz_Lump_GetTotalCount();
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before - 2);
}

// A finished callback that destroys the next system of the walk.
TEST_F(Particles, CallbackDestroyingTheSuccessorIsSafe)
{
    static bzLump *victim;
    bzParticleSystem *second = nullptr;
    victim = bz_Lump_CreateEmitter("victim", &second);
    bzParticleSystem *first = Emitter();
    ASSERT_EQ(first->next, second);
    first->flags |= BZ_PS_STOPPING;
    first->finished = [](bzParticleSystem *)
    {
        if (victim)
            bz_Lump_DestroyTree(victim);
        victim = nullptr;
    };
    second->emissionRate = 100.0f;
    const int32_t before = bz_Lump_GetTotalCount();
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(victim, nullptr);
    EXPECT_EQ(bz_Lump_GetTotalCount(), before - 1);
}

// The emitter life counts down; at its end the system stops, unless persistent or a life-end
// callback takes over.
TEST_F(Particles, EmitterLifeEnds)
{
    static int calls;
    calls = 0;
    bzParticleSystem *plain = Emitter();
    bzParticleSystem *persistent = Emitter();
    bzParticleSystem *called = Emitter();
    for (bzParticleSystem *s : {plain, persistent, called})
    {
        s->flags |= BZ_PS_LIFE_COUNTS;
        s->emitterLife = 0.15f;
    }
    persistent->flags |= BZ_PS_PERSISTENT;
    called->lifeEnd = [](bzParticleSystem *) { calls++; };
    for (int i = 0; i < 3; i++)
        bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_TRUE(plain->flags & BZ_PS_STOPPING);
    EXPECT_FALSE(persistent->flags & BZ_PS_STOPPING);
    EXPECT_FALSE(called->flags & BZ_PS_STOPPING);
    EXPECT_EQ(calls, 1);
}

// The ring and the rectangle turn their launch axis onto the parent's +y axis.
TEST_F(Particles, RingEmitterLaunchesAlongY)
{
    bzLump *root = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root"));
    bzLump *ring =
        bz_ParticleSystem_CreateRing(root, 2.0f, 4.0f, 0.0f, 1.0f, 1.0f, 2.0f, nullptr, 0x80FF0000);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(root->firstChild, ring);
    EXPECT_STREQ(ring->name, "ring_emitter");
    bzParticleSystem *s = static_cast<bzParticleSystem *>(ring->object);
    EXPECT_EQ(s->shapeKind, 2u);
    EXPECT_EQ(s->startColour, 0x80FF0000u);
    EXPECT_EQ(s->endColour, 0x00FF0000u);
    EXPECT_FLOAT_EQ(s->speedVariance, 0.1f);
    EXPECT_FLOAT_EQ(s->speed, 4.0f);
    EXPECT_TRUE(s->flags & BZ_PS_CONE);
    bz_ParticleSystem_UpdateBy(0.01f);
    ASSERT_EQ(s->layers[0].count, 1);
    const bzParticle *p = s->layers[0].head;
    EXPECT_NEAR(p->velocity.x, 0.0f, 1e-4f);
    EXPECT_NEAR(p->velocity.z, 0.0f, 1e-4f);
    EXPECT_GT(p->velocity.y, 4.0f * 0.9f - 1e-4f);
    EXPECT_LT(p->velocity.y, 4.0f * 1.1f + 1e-4f);
    // The ring lies in the lump's xy plane: after the turn, in the parent's xz plane.
    const float r = std::sqrt(p->position.x * p->position.x + p->position.z * p->position.z);
    EXPECT_GE(r, 1.0f - 1e-4f);
    EXPECT_LE(r, 2.0f + 1e-4f);
    EXPECT_NEAR(p->position.y, 0.0f, 1e-5f);
    // The colour deltas: end minus start per channel.
    EXPECT_EQ(p->deltaBA[1], -0x80);
    EXPECT_EQ(p->deltaRG[0], 0);
}

TEST_F(Particles, SameGeneratorStateGivesTheSameRun)
{
    auto run = [&]()
    {
        bz_RandomSeed(4242);
        bzLump *lump = Keep(bz_ParticleSystem_CreateRectangle(nullptr, 1.5f, 3.0f, 30.0f, 50.0f,
                                                              2.0f, 1.0f, nullptr, 0xFFFFFFFF));
        bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
        s->flags |= BZ_PS_ACCELERATE | BZ_PS_DRAG;
        s->acceleration = V(0, -9.8f, 0);
        s->drag = 0.5f;
        std::vector<float> out;
        for (int i = 0; i < 20; i++)
            bz_ParticleSystem_UpdateBy(0.05f);
        for (const bzParticle *p = s->layers[0].head; p; p = p->next)
            out.insert(out.end(), {p->position.x, p->position.y, p->position.z, p->age});
        bz_Lump_DestroyTree(lump);
        lumps.pop_back();
        return out;
    };
    const std::vector<float> a = run();
    const std::vector<float> b = run();
    ASSERT_GT(a.size(), 40u);
    EXPECT_EQ(a, b);
}

// Once the pool has grown, the frame step takes nothing from the system heap.
TEST_F(Particles, FrameStepAllocatesNothing)
{
    bzParticleSystem *s = Emitter();
    s->emissionRate = 200.0f;
    s->particleLife = 0.5f;
    s->flags |= BZ_PS_CONE | BZ_PS_ACCELERATE;
    s->coneMax = 45.0f;
    for (int i = 0; i < 20; i++)
        bz_ParticleSystem_UpdateBy(0.05f);
    RawAllocFailure failing;
    int emitted = 0;
    for (int i = 0; i < 100; i++)
    {
        bz_ParticleSystem_UpdateBy(0.05f);
        emitted += s->layers[0].count;
    }
    failing.Restore();
    EXPECT_EQ(RawAllocFailure::Calls(), 0);
    EXPECT_GT(emitted, 1000);
}

// Asking for more particles than the pool can give ends the emission of that step cleanly.
TEST_F(Particles, EmptyPoolClampsTheEmission)
{
    bzParticleSystem *s = Emitter();
    s->emissionRate = 2000.0f;
    s->flags |= BZ_PS_BURST;
    RawAllocFailure failing;
    bzgLastError = 0;
    bz_ParticleSystem_UpdateBy(0.1f);
    const bzErrorCode last = bzgLastError;
    failing.Restore();
    EXPECT_EQ(s->layers[0].count, 512);
    EXPECT_EQ(last, 14);
}

// Bad numbers never crash: NaN velocities stay with their particle, a NaN or negative step is
// no step, and a NaN life is no life (particles do not age).
TEST_F(Particles, BadNumbersAreHarmless)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    bzParticleSystem *s = Emitter();
    s->emissionRate = 10.0f;
    s->particleLife = 1.0f;
    const bzV3 bad = V(nan, 0, 0);
    s->inheritedVelocity = &bad;
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(s->layers[0].count, 2);
    bz_ParticleSystem_UpdateBy(nan);
    bz_ParticleSystem_UpdateBy(-1.0f);
    EXPECT_EQ(Count(s, 0), 2);
    EXPECT_TRUE(std::isfinite(s->boundingRadius));
    s->inheritedVelocity = nullptr;
    s->particleLife = nan;
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(s->layers[0].count, 3);
    EXPECT_EQ(s->layers[0].head->next->age, 0.0f);
}

TEST_F(Particles, ShapeSettersRefuseEmptyPointLists)
{
    bzParticleSystem *s = Emitter();
    const bzV3 one = V(1, 2, 3);
    EXPECT_EQ(bz_ParticleSystem_SetPolylineShape(s, 1, &one), 29);
    EXPECT_EQ(bz_ParticleSystem_SetPolylineShape(s, 0, nullptr), 29);
    EXPECT_EQ(bz_ParticleSystem_SetPointCloudShape(s, 0, &one), 29);
    EXPECT_EQ(s->shapeKind, 0u);
    EXPECT_EQ(bz_ParticleSystem_CreatePolyline(nullptr, 1, &one, 0, 1, 0, nullptr, 1, &one, 1),
              nullptr);
    EXPECT_EQ(bzgLastError, 29);
    EXPECT_EQ(bz_ParticleSystem_CreatePointCloud(nullptr, 1, &one, 0, 1, 0, nullptr, 0, &one),
              nullptr);
    bz_ParticleSystem_SetRingShape(s, 1, 2);
    EXPECT_EQ(bz_ParticleSystem_SetPointCloudShape(s, 1, &one), 0);
    EXPECT_EQ(s->shapeKind, 3u);
    bz_ParticleSystem_SetPointShape(s);
    EXPECT_EQ(s->shapeKind, 5u);
    EXPECT_EQ(s->shape2.points, nullptr);
}

// The frame driver's update takes the replay's fixed step while it applies.
TEST_F(Particles, UpdateTakesTheReplayStep)
{
    FakeReplay replay;
    FakeReplay::timing.fixedFrameTime = 0.25f;
    bzParticleSystem *s = Emitter();
    s->emissionRate = 8.0f;
    bz_ParticleSystem_Update();
    EXPECT_EQ(s->layers[0].count, 3); // 1 owed + 0.25 x 8
}

TEST_F(Particles, StartAndStopWalks)
{
    bzLump *root = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root"));
    bzParticleSystem *a = nullptr;
    bzParticleSystem *b = nullptr;
    bzLump *la = bz_Lump_CreateEmitter("a", &a);
    bzLump *lb = bz_Lump_CreateEmitter("b", &b);
    bz_Lump_Attach(root, la);
    bz_Lump_Attach(la, lb);
    lb->flags &= ~BZ_LUMP_ACTIVE;
    const bzV3 velocity = V(1, 2, 3);
    bz_ParticleSystem_StartTree(&velocity, root);
    for (bzParticleSystem *s : {a, b})
    {
        EXPECT_TRUE(s->flags & BZ_PS_BURST);
        EXPECT_EQ(s->inheritedVelocity, &velocity);
    }
    EXPECT_TRUE(lb->flags & BZ_LUMP_ACTIVE);
    a->accumulator = 0.0f;
    bz_ParticleSystem_StopTree(root);
    EXPECT_TRUE(a->flags & BZ_PS_STOPPING);
    EXPECT_EQ(a->accumulator, 1.0f);
    bz_Lump_DisableTree(root);
    EXPECT_FALSE(root->flags & BZ_LUMP_ACTIVE);
    EXPECT_FALSE(lb->flags & BZ_LUMP_ACTIVE);
    bz_Lump_EnableTree(root);
    EXPECT_TRUE(lb->flags & BZ_LUMP_ACTIVE);
}

// Drawing goes through the renderer's sprite slots by draw kind, only for a listed system that
// was stepped this frame.
TEST_F(Particles, DrawUsesTheSpriteSlots)
{
    static std::vector<std::pair<int, bzParticleSystem *>> calls;
    calls.clear();
    const PDRenderFunctionTable saved = bzgRenderTable;
    bzgRenderTable.PDDrawSprites = [](bzParticleSystem *s) { calls.push_back({26, s}); };
    bzgRenderTable.PDPrepareSprites = [](bzParticleSystem *s) { calls.push_back({25, s}); };
    bzLump *lump;
    bzParticleSystem *s = Emitter(&lump);
    bz_ParticleSystem_Draw(lump); // not stepped yet
    bz_ParticleSystem_UpdateBy(0.1f);
    bz_ParticleSystem_Draw(lump);
    s->drawKind = BZ_PARTICLE_DRAW_PREPARED;
    bz_ParticleSystem_Render(lump);
    bz_ParticleSystem_Unlist(s);
    bz_ParticleSystem_Draw(lump);
    bzgRenderTable = saved;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, 26);
    EXPECT_EQ(calls[1].first, 25);
    EXPECT_EQ(calls[0].second, s);
}

TEST_F(Particles, CloneCopiesWithOwnPointsAndNoParticles)
{
    bzParticleSystem *s = Emitter();
    const bzV3 pts[3] = {V(0, 0, 0), V(1, 0, 0), V(2, 0, 0)};
    ASSERT_EQ(bz_ParticleSystem_SetPolylineShape(s, 3, pts), 0);
    s->emissionRate = 30.0f;
    bz_ParticleSystem_UpdateBy(0.1f);
    bzParticleSystem *c = bz_ParticleSystem_Clone(s);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->shape2.points, s->shape2.points);
    EXPECT_EQ(c->shape2.points[2].x, 2.0f);
    EXPECT_EQ(c->layers[0].head, nullptr);
    EXPECT_EQ(c->lump, nullptr);
    EXPECT_EQ(c->emissionRate, 30.0f);
    EXPECT_TRUE(c->flags & BZ_PS_LISTED);
    bz_ParticleSystem_Free(c);
}
} // namespace

namespace
{
// A copy of an emitter subtree holds its own system, bound to the copied lump.
TEST_F(Particles, LumpCopyHasItsOwnSystem)
{
    bzLump *root = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root"));
    const bzV3 launch = V(0, 2, 0);
    const bzV3 pts[2] = {V(0, 0, 0), V(1, 0, 0)};
    bzLump *line = bz_ParticleSystem_CreatePolyline(root, 1.0f, &launch, 0.0f, 10.0f, 0xFFFFFFFF,
                                                    nullptr, 2, pts, 0);
    ASSERT_NE(line, nullptr);
    bzLump *copy = Keep(bz_Lump_Clone(root));
    ASSERT_NE(copy, nullptr);
    bzLump *copiedLine = copy->firstChild;
    ASSERT_NE(copiedLine, nullptr);
    bzParticleSystem *a = static_cast<bzParticleSystem *>(line->object);
    bzParticleSystem *b = static_cast<bzParticleSystem *>(copiedLine->object);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(b->lump, copiedLine);
    EXPECT_NE(a->shape2.points, b->shape2.points);
    EXPECT_FLOAT_EQ(b->speed, 2.0f);
    bz_ParticleSystem_UpdateBy(0.1f);
    EXPECT_EQ(b->layers[0].count, 2);
}

// The attractor pulls within its range and holds particles outside its minimum distance;
// drag and the speed clamp slow them.
TEST_F(Particles, AttractorDragAndSpeedClamp)
{
    bzLump *root = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root"));
    bzLump *magnet = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "magnet");
    bz_Lump_Attach(root, magnet);
    magnet->matrix.row[3] = V(10, 0, 0);
    bzParticleSystem *s = nullptr;
    bzLump *lump = bz_Lump_CreateEmitter("e", &s);
    bz_Lump_Attach(root, lump);
    s->speed = 0.0f;
    s->emissionRate = 1.0f;
    s->flags |= BZ_PS_BURST | BZ_PS_ATTRACTOR;
    s->attractor = magnet;
    s->attractorRange = 100.0f;
    s->attractorStrength = 5.0f;
    s->attractorMinDistance = 9.99f;
    bz_ParticleSystem_UpdateBy(0.1f); // born at the origin
    bz_ParticleSystem_UpdateBy(0.1f); // v = 0.5 along x, moved to 0.05: pushed back to 9.99 away
    const bzParticle *p = s->layers[0].head;
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(p->velocity.x, 0.5f, 1e-5f);
    EXPECT_NEAR(p->position.x, 0.01f, 1e-5f);

    bzParticleSystem *slow = Emitter();
    slow->emissionRate = 1.0f;
    slow->flags |= BZ_PS_BURST | BZ_PS_DRAG | BZ_PS_MAX_SPEED;
    slow->direction = V(1, 0, 0);
    slow->speed = 10.0f;
    slow->maxSpeed = 4.0f;
    slow->drag = 1.0f;
    bz_ParticleSystem_UpdateBy(0.1f);
    bz_ParticleSystem_UpdateBy(0.1f);
    // Clamped to 4, then the drag factor of x = -0.1:
    // 1 + k x (16 + k (16x - 1)(8 + 0.11806342 (16x - 2))), k = 0.044273783.
    const double k = 0.044273783, x = -0.1;
    const double factor = 1 + k * x * (16 + k * (16 * x - 1) * (8 + 0.11806342 * (16 * x - 2)));
    EXPECT_NEAR(slow->layers[0].head->velocity.x, 4.0 * factor, 1e-4);
}

// A particle leaving the collision form goes back along its path to the hit, a little off the
// surface, and loses half its speed into the surface.
TEST_F(Particles, CollisionKeepsParticlesIn)
{
    static int contains;
    static int rays;
    contains = rays = 0;
    const bzParticleFormServices forms = {
        [](bzForm *, const bzV3 *p) -> int32_t
        {
            contains++;
            return p->y <= 1.0f;
        },
        [](bzForm *, const bzV3 *, const bzV3 *, float *t, bzV3 *n) -> int32_t
        {
            rays++;
            *t = 0.5f;
            *n = V(0, 1, 0);
            return 1;
        },
    };
    bz_ParticleSystem_SetFormServices(&forms);
    bzParticleSystem *s = Emitter();
    static int formWord;
    s->collisionForm = reinterpret_cast<bzForm *>(&formWord);
    s->flags |= BZ_PS_COLLIDE | BZ_PS_BURST;
    s->emissionRate = 1.0f;
    s->direction = V(0, 1, 0);
    s->speed = 8.0f;
    bz_ParticleSystem_UpdateBy(0.1f); // born at the origin
    bz_ParticleSystem_UpdateBy(0.1f); // 0.8: inside
    EXPECT_EQ(rays, 0);
    bz_ParticleSystem_UpdateBy(0.1f); // 1.6: out; back to 1.2 and 0.01 off
    bz_ParticleSystem_SetFormServices(nullptr);
    const bzParticle *p = s->layers[0].head;
    EXPECT_EQ(rays, 1);
    EXPECT_NEAR(p->position.y, 1.2f - 0.01f, 1e-5f);
    EXPECT_NEAR(p->velocity.y, 4.0f, 1e-5f);
}
} // namespace

namespace
{
TEST_F(Particles, InstanceAttachesACopy)
{
    bzLump *parent = Keep(bz_Lump_Create(BZ_LUMP_TYPE_NULL, "parent"));
    bzLump *source;
    bzParticleSystem *s = Emitter(&source);
    s->emissionRate = 7.0f;
    bzLump *copy = bz_ParticleSystem_Instance(parent, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(parent->firstChild, copy);
    ASSERT_NE(copy->object, nullptr);
    EXPECT_NE(copy->object, s);
    EXPECT_EQ(static_cast<bzParticleSystem *>(copy->object)->emissionRate, 7.0f);
    EXPECT_EQ(bz_ParticleSystem_Instance(nullptr, nullptr), nullptr);
}

TEST_F(Particles, StatisticsLines)
{
    bzParticleSystem *s = Emitter();
    s->emissionRate = 20.0f;
    bz_ParticleSystem_UpdateBy(0.1f);
    bz_ParticleSystem_AddDrawn(5, 1);
    bzParticleStats stats;
    bz_ParticleSystem_GetStats(&stats);
    EXPECT_EQ(bz_ParticleSystem_PrintStats(3), 7);
    EXPECT_EQ(std::string(bz_GetDebugMessage(3)),
              "Number of emitters " + std::to_string(stats.systems));
    EXPECT_STREQ(bz_GetDebugMessage(4), "Number of active particles 3");
    EXPECT_STREQ(bz_GetDebugMessage(5), "Number of particles drawn 5");
    EXPECT_STREQ(bz_GetDebugMessage(6), "Number of particle emitters drawn 1");
    for (int i = 3; i < 7; i++)
        bz_ClearDebugMessage(i);
}
} // namespace
