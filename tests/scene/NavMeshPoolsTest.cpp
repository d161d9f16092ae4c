// The navigation mesh's element pools: obstacle entries of face groups, the edge links and the
// obstacle list of move states; freeing the last holder makes the pools again. And the module's
// profiling timers on a virtual clock.
#include "scene/NavMesh.h"

#include "ClockVirtualCounter.h"
#include "FakeReplay.h"
#include "NavMeshTestSupport.h"
#include "NavMoveState.h"
#include "RawAllocFailure.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
uint32_t Used(int32_t pool)
{
    return bz_Pool_GetUsed(bz_NavMesh_PoolId(pool));
}

uint32_t Capacity(int32_t pool)
{
    return bz_Pool_GetCapacity(bz_NavMesh_PoolId(pool));
}

// The pools as made: elements per block and the blocks made at once.
struct PoolShape
{
    int32_t pool;
    uint32_t perBlock;
    uint32_t blocks;
};
constexpr PoolShape kShapes[] = {
    {BZ_NAV_POOL_OBSTACLES, 16, 16},
    {BZ_NAV_POOL_EDGE_LINKS, 16, 4},
    {BZ_NAV_POOL_OBSTACLE_LIST, 32, 8},
};

TEST(NavMeshPools, InitPoolsMakesTheThreePools)
{
    ASSERT_EQ(bz_NavMesh_PoolsInUse(), 0u) << "an earlier test kept pool elements";
    ASSERT_EQ(bz_NavMesh_RenewPools(), 1);
    ASSERT_EQ(bz_NavMesh_InitPools(), BZ_ERROR_NONE);
    int32_t ids[3];
    for (const PoolShape &s : kShapes)
    {
        ids[s.pool] = bz_NavMesh_PoolId(s.pool);
        ASSERT_NE(ids[s.pool], 0) << s.pool;
        EXPECT_EQ(bz_Pool_GetPerBlock(ids[s.pool]), s.perBlock) << s.pool;
        EXPECT_EQ(bz_Pool_GetCapacity(ids[s.pool]), s.perBlock * s.blocks) << s.pool;
        EXPECT_EQ(bz_Pool_GetUsed(ids[s.pool]), 0u) << s.pool;
    }
    EXPECT_GE(bz_Pool_GetElementSize(ids[0]), sizeof(bzNavObstacle));
    EXPECT_GE(bz_Pool_GetElementSize(ids[1]), sizeof(bzNavEdgeLink));
    EXPECT_GE(bz_Pool_GetElementSize(ids[2]), sizeof(bzNavObstacleEntry));
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);
    EXPECT_NE(ids[0], ids[2]);
    // Made once: a second call keeps them.
    EXPECT_EQ(bz_NavMesh_InitPools(), BZ_ERROR_NONE);
    for (const PoolShape &s : kShapes)
        EXPECT_EQ(bz_NavMesh_PoolId(s.pool), ids[s.pool]);
    // Bad pool numbers name nothing.
    EXPECT_EQ(bz_NavMesh_PoolId(-1), 0);
    EXPECT_EQ(bz_NavMesh_PoolId(BZ_NAV_POOL_COUNT), 0);
    EXPECT_EQ(bz_NavMesh_PoolTake(BZ_NAV_POOL_COUNT), nullptr);
    bz_NavMesh_PoolGive(BZ_NAV_POOL_COUNT, nullptr);
}

// A floor from (0, 0) to (4, 4): face 0 = (0,0,0), (4,0,0), (0,0,4), face 1 the other half
// across x + z = 4. The crate (x 2.5 to 3, z 0.5 to 1.5) stands across the diagonal and meets
// both faces; the post (x 3.8 to 4.2, z 2 to 2.5) meets face 1 only.
class NavMeshPoolUse : public ::testing::Test, protected NavTestWorld
{
protected:
    ScopedTempDir dir;
    bzLump *things = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "things");
    bzLump *crate = nullptr, *post = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(bz_NavMesh_PoolsInUse(), 0u) << "an earlier test kept pool elements";
        bzLump *floor = bz_Lump_CreateModel(models.NewMesh("floor", {{{{0, 0, 0}}},
                                                                     {{{4, 0, 0}}},
                                                                     {{{0, 0, 4}}},
                                                                     {{{4, 0, 0}}},
                                                                     {{{4, 0, 4}}},
                                                                     {{{0, 0, 4}}}}));
        bz_Lump_AppendChild(world, floor);
        crate = Box(things, "crate", {{{2.5f, 0, 0.5f}}}, {{{3, 1, 1.5f}}});
        post = Box(things, "post", {{{3.8f, 0, 2}}}, {{{4.2f, 1, 2.5f}}});
    }
    void TearDown() override { bz_Lump_DestroyTree(things); }
    bzLump *Box(bzLump *parent, const char *name, bzV3 min, bzV3 max)
    {
        bzLump *l =
            bz_Lump_CreateModel(models.NewMesh(name, {min, max, {{{min.x, max.y, min.z}}}}));
        bz_Lump_AppendChild(parent, l);
        return l;
    }
    bzNavMesh *Build()
    {
        bzNavMesh *mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
        EXPECT_NE(mesh, nullptr) << bzgLastError;
        return mesh;
    }
};

// Obstacles added, loaded and removed take and give back entries of the obstacle pool.
TEST_F(NavMeshPoolUse, ObstacleEntriesComeFromTheirPool)
{
    bzNavMesh *mesh = Build();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 0u);
    ASSERT_EQ(bz_NavMesh_AddObstacles(mesh, things), 2);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 2u);
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, crate), 1);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 1u);
    EXPECT_EQ(mesh->regions[0].groups[0].obstacleCount, 1);

    // The stored post comes back as an entry of the pool; a load that fails at the end marker
    // gives its entries back.
    const std::string path = "NAVMAP.BZN";
    ASSERT_EQ(bz_NavMesh_Write(mesh, path.c_str()), BZ_ERROR_NONE);
    bzNavMesh *loaded = bz_NavMesh_Load(path.c_str(), &setup, nullptr, 0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 2u);
    EXPECT_EQ(loaded->regions[0].groups[0].obstacleCount, 1);
    bz_NavMesh_Free(loaded);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 1u);
    std::string bytes = ReadWholeFile(path);
    ASSERT_GT(bytes.size(), 4u);
    bytes.resize(bytes.size() - 4);
    WriteWholeFile(path, bytes);
    EXPECT_EQ(bz_NavMesh_Load(path.c_str(), &setup, nullptr, 0), nullptr);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 1u);

    bz_NavMesh_Free(mesh);
    EXPECT_EQ(bz_NavMesh_PoolsInUse(), 0u);
}

// Freeing a mesh makes the pools again (their blocks back to the first ones) only once nothing
// holds an element: another mesh's obstacles or a move state's links keep them.
TEST_F(NavMeshPoolUse, FreeMakesThePoolsAgainOnceNothingIsHeld)
{
    bzNavMesh *crowded = Build();
    ASSERT_NE(crowded, nullptr);
    // 300 small boxes across the floor's z = 0 edge: the obstacle pool grows from 256 by blocks
    // of 16 to 304.
    bzLump *many = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "many");
    for (int i = 0; i < 300; i++)
    {
        const float x = 0.2f + 0.012f * i;
        Box(many, "pebble", {{{x, 0, -0.005f}}}, {{{x + 0.01f, 0.1f, 0.005f}}});
    }
    ASSERT_EQ(bz_NavMesh_AddObstacles(crowded, many), 300);
    bz_Lump_DestroyTree(many);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 300u);
    EXPECT_EQ(Capacity(BZ_NAV_POOL_OBSTACLES), 304u);

    bzNavMesh *other = Build();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(bz_NavMesh_AddObstacles(other, things), 2);
    bz_NavMesh_Free(crowded);
    // The other mesh's entries are still in use: the pool stays as it is.
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 2u);
    EXPECT_EQ(Capacity(BZ_NAV_POOL_OBSTACLES), 304u);
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(other, post), 1);
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(other, crate), 1);
    EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLES), 0u);

    // A move state's links keep the pools too.
    HeldNavState state;
    const bzV3 at = {{{0.5f, 0, 0.5f}}};
    ASSERT_EQ(bz_NavMesh_Locate(other, &state, &at, nullptr), 0);
    EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 3u);
    bz_NavMesh_Free(other);
    EXPECT_EQ(Capacity(BZ_NAV_POOL_OBSTACLES), 304u);
    bz_NavMesh_ReleaseState(&state);
    EXPECT_EQ(bz_NavMesh_PoolsInUse(), 0u);

    // With nothing held, the next free makes them again.
    bzNavMesh *last = Build();
    ASSERT_NE(last, nullptr);
    bz_NavMesh_Free(last);
    for (const PoolShape &s : kShapes)
    {
        EXPECT_EQ(Capacity(s.pool), s.perBlock * s.blocks) << s.pool;
        EXPECT_EQ(Used(s.pool), 0u) << s.pool;
    }
}

// A located state holds its face's three edge links and the obstacles that meet its face; each
// face crossed swaps them for the new face's; the list is gathered again for every move, so an
// obstacle removed since no longer stops it.
TEST_F(NavMeshPoolUse, AMoveStateTakesItsLinksAndObstacleListFromThePools)
{
    bzNavMesh *mesh = Build();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(bz_NavMesh_AddObstacles(mesh, things), 2);
    {
        HeldNavState state;
        const bzV3 at = {{{0.5f, 0, 2.5f}}};
        ASSERT_EQ(bz_NavMesh_Locate(mesh, &state, &at, nullptr), 0);
        ASSERT_EQ(state.place.face, 0);
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 3u);
        EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLE_LIST), 1u);
        // Face 0's edges: the z = 0 side drops into nothing, the diagonal leads to face 1, the
        // x = 0 side drops.
        const int32_t results[3] = {BZ_NAV_LA_PRECIPICE, BZ_NAV_LA_NEW_FACE, BZ_NAV_LA_PRECIPICE};
        int32_t i = 0;
        for (const bzNavEdgeLink *link = state.links; link; link = link->next, i++)
        {
            ASSERT_LT(i, 3);
            EXPECT_EQ(link->edge, i);
            EXPECT_EQ(link->result, results[i]) << i;
        }
        EXPECT_EQ(i, 3);
        EXPECT_EQ(state.links->next->face, 1);
        EXPECT_FLOAT_EQ(state.links->next->from.x, 4.0f);
        EXPECT_FLOAT_EQ(state.links->next->to.z, 4.0f);
        ASSERT_NE(state.obstacles, nullptr);
        EXPECT_EQ(state.obstacles->obstacle->object, crate);

        // Across the diagonal at z = 2.5 (clear of both boxes): face 1 has three links and
        // meets both boxes.
        const bzV3 across = {{{1.5f, 0, 0}}};
        EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &state, &at, &across, nullptr, 0, nullptr, nullptr),
                  BZ_NAV_LA_NEW_FACE);
        EXPECT_EQ(state.place.face, 1);
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 3u);
        EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLE_LIST), 2u);

        // Into the post from within face 1, with the same state before and after it goes.
        const bzV3 from = {{{3.5f, 0, 3.5f}}}, towards = {{{0.4f, 0, -1.3f}}};
        bzNavBlockage blockage{};
        EXPECT_EQ(
            bz_NavMesh_MoveOnFace(mesh, &state, &from, &towards, nullptr, 0, nullptr, &blockage),
            BZ_NAV_LA_OBSTACLE);
        EXPECT_EQ(blockage.object, post);
        EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, post), 1);
        EXPECT_EQ(
            bz_NavMesh_MoveOnFace(mesh, &state, &from, &towards, nullptr, 0, nullptr, nullptr),
            BZ_NAV_LA_SAME_FACE);
        EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLE_LIST), 1u);

        // A probe of width runs on states of its own and leaves nothing behind.
        EXPECT_EQ(bz_NavMesh_ProbeWidth(mesh, &state, &from, &towards, 0.1f), BZ_NAV_LA_SAME_FACE);
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 3u);
        EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLE_LIST), 1u);

        bz_NavMesh_ReleaseState(&state);
        EXPECT_EQ(state.valid, 0);
        EXPECT_EQ(state.links, nullptr);
        EXPECT_EQ(state.obstacles, nullptr);
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 0u);
        EXPECT_EQ(Used(BZ_NAV_POOL_OBSTACLE_LIST), 0u);
    }
    bz_NavMesh_Free(mesh);
    EXPECT_EQ(bz_NavMesh_PoolsInUse(), 0u);
}

// Moves take their links and lists from the pools and nothing from the system heap; when the
// link pool is full and cannot grow, locating fails cleanly and holds nothing.
TEST_F(NavMeshPoolUse, MovesTakeNothingFromTheHeapAndFailCleanlyWhenThePoolsAreFull)
{
    ASSERT_EQ(bz_NavMesh_RenewPools(), 1);
    bzNavMesh *mesh = Build();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(bz_NavMesh_AddObstacles(mesh, things), 2);
    {
        HeldNavState states[22];
        const bzV3 at = {{{0.5f, 0, 2.5f}}}, across = {{{1.5f, 0, 0}}}, back = {{{-1.5f, 0, 0}}};
        RawAllocFailure noHeap;
        ASSERT_EQ(bz_NavMesh_Locate(mesh, &states[0], &at, nullptr), 0);
        for (int i = 0; i < 10; i++)
        {
            const bzV3 from = {{{i % 2 ? 2.0f : 0.5f, 0, 2.5f}}};
            EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &states[0], &from, i % 2 ? &back : &across,
                                            nullptr, 0, nullptr, nullptr),
                      BZ_NAV_LA_NEW_FACE)
                << i;
        }
        EXPECT_EQ(RawAllocFailure::Calls(), 0);
        // 64 links in the pool's first blocks: 21 states hold 63, the 22nd cannot have 3.
        for (int i = 1; i < 21; i++)
            ASSERT_EQ(bz_NavMesh_Locate(mesh, &states[i], &at, nullptr), 0) << i;
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 63u);
        EXPECT_EQ(bz_NavMesh_Locate(mesh, &states[21], &at, nullptr), -1);
        EXPECT_EQ(states[21].valid, 0);
        EXPECT_EQ(states[21].links, nullptr);
        EXPECT_EQ(states[21].obstacles, nullptr);
        EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 63u);
        EXPECT_EQ(Capacity(BZ_NAV_POOL_EDGE_LINKS), 64u);
        EXPECT_GT(RawAllocFailure::Calls(), 0);
        // A held state crossing into another face gives its own three back first: it still
        // finds room.
        const bzV3 from = {{{0.5f, 0, 2.5f}}};
        EXPECT_EQ(
            bz_NavMesh_MoveOnFace(mesh, &states[1], &from, &across, nullptr, 0, nullptr, nullptr),
            BZ_NAV_LA_NEW_FACE);
        noHeap.Restore();
        EXPECT_EQ(bz_NavMesh_Locate(mesh, &states[21], &at, nullptr), 0);
        EXPECT_EQ(Capacity(BZ_NAV_POOL_EDGE_LINKS), 80u);
    }
    EXPECT_EQ(Used(BZ_NAV_POOL_EDGE_LINKS), 0u);
    bz_NavMesh_Free(mesh);
    EXPECT_EQ(bz_NavMesh_PoolsInUse(), 0u);
}

// Build, obstacles, moves, a save and a load, then free, many times over: the pools end as they
// began and the heap holds no more blocks than before.
TEST_F(NavMeshPoolUse, RepeatedBuildsAndFreesLeaveNothingBehind)
{
    ASSERT_EQ(bz_NavMesh_RenewPools(), 1);
    const std::string path = "NAVMAP.BZN";
    bzMemStats before;
    bz_Mem_GetStats(&before);
    for (int cycle = 0; cycle < 15; cycle++)
    {
        bzNavMesh *mesh = Build();
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(bz_NavMesh_AddObstacles(mesh, things), 2);
        HeldNavState state;
        const bzV3 at = {{{0.5f, 0, 2.5f}}}, move = {{{1.5f, 0, 0}}};
        ASSERT_EQ(bz_NavMesh_Locate(mesh, &state, &at, nullptr), 0);
        EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &state, &at, &move, nullptr, 0, nullptr, nullptr),
                  BZ_NAV_LA_NEW_FACE);
        EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, crate), 1);
        ASSERT_EQ(bz_NavMesh_Write(mesh, path.c_str()), BZ_ERROR_NONE);
        bzNavMesh *loaded = bz_NavMesh_Load(path.c_str(), &setup, nullptr, 0);
        ASSERT_NE(loaded, nullptr);
        bz_NavMesh_ReleaseState(&state);
        bz_NavMesh_Free(loaded);
        bz_NavMesh_Free(mesh);
        ASSERT_EQ(bz_NavMesh_PoolsInUse(), 0u) << cycle;
    }
    for (const PoolShape &s : kShapes)
        EXPECT_EQ(Capacity(s.pool), s.perBlock * s.blocks) << s.pool;
    bzMemStats after;
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}

TEST(NavMeshTimers, SlotsAddTheStretchesBetweenStartAndStop)
{
    VirtualCounter counter;
    counter.StartTimer();
    for (int32_t slot = 0; slot < BZ_NAV_TIMER_SLOTS; slot++)
        bz_NavMesh_TimerReset(slot);
    bz_NavMesh_TimerStart(3);
    counter.AdvanceMs(250);
    bz_NavMesh_TimerStop(3);
    EXPECT_NEAR(bz_NavMesh_TimerRead(3), 0.25f, 1e-4f);
    counter.AdvanceMs(1000); // not timed
    bz_NavMesh_TimerStart(3);
    counter.AdvanceMs(100);
    bz_NavMesh_TimerStop(3);
    EXPECT_NEAR(bz_NavMesh_TimerRead(3), 0.35f, 1e-4f);
    EXPECT_EQ(bz_NavMesh_TimerRead(4), 0.0f);

    // Overlapping slots each keep their own start.
    bz_NavMesh_TimerStart(0);
    counter.AdvanceMs(50);
    bz_NavMesh_TimerStart(15);
    counter.AdvanceMs(30);
    bz_NavMesh_TimerStop(0);
    bz_NavMesh_TimerStop(15);
    EXPECT_NEAR(bz_NavMesh_TimerRead(0), 0.08f, 1e-4f);
    EXPECT_NEAR(bz_NavMesh_TimerRead(15), 0.03f, 1e-4f);

    bz_NavMesh_TimerReset(3);
    EXPECT_EQ(bz_NavMesh_TimerRead(3), 0.0f);
    EXPECT_NEAR(bz_NavMesh_TimerRead(0), 0.08f, 1e-4f);

    // Slots outside the table are ignored.
    for (const int32_t slot : {-1, BZ_NAV_TIMER_SLOTS, 1000})
    {
        bz_NavMesh_TimerStart(slot);
        bz_NavMesh_TimerStop(slot);
        bz_NavMesh_TimerReset(slot);
        EXPECT_EQ(bz_NavMesh_TimerRead(slot), 0.0f) << slot;
    }
    for (int32_t slot = 0; slot < BZ_NAV_TIMER_SLOTS; slot++)
        bz_NavMesh_TimerReset(slot);
}

// While the replay plays back with fixed 40 ms frames, each timed stretch counts one step,
// however long the clock ran.
TEST(NavMeshTimers, FixedStepsCountTheReplaysStep)
{
    VirtualCounter counter;
    counter.StartTimer();
    FakeReplay replay;
    bz_NavMesh_TimerReset(5);
    bz_NavMesh_TimerStart(5);
    counter.AdvanceMs(500);
    bz_NavMesh_TimerStop(5);
    EXPECT_NEAR(bz_NavMesh_TimerRead(5), 0.04f, 1e-6f);
    bz_NavMesh_TimerStart(5);
    bz_NavMesh_TimerStop(5);
    EXPECT_NEAR(bz_NavMesh_TimerRead(5), 0.08f, 1e-6f);
    bz_NavMesh_TimerReset(5);
}
} // namespace
