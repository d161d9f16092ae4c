#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "ClockVirtualCounter.h"
#include "TestSupport.h"
#include "pc/PcMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{
class MemoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bz_Mem_GetPrimitives(&saved_);
        bz_Mem_SetHeapLimit(0);
    }
    void TearDown() override
    {
        bz_Mem_SetPrimitives(&saved_);
        bz_Mem_SetHeapLimit(0);
    }
    // A trim of every pool (by an earlier test) may have left the child-list pool without a
    // block; linking a child then adds one. Counting tests make sure a node is at hand first.
    static void WarmChildNodes()
    {
        void *parent = bz_MemAlloc(8, 0);
        bz_MemAlloc(8, BZ_MEM_PARENT, parent);
        bz_MemFree(parent);
    }
    static bzMemStats Stats()
    {
        bzMemStats s;
        bz_Mem_GetStats(&s);
        return s;
    }
    bzMemPrimitiveTable saved_;
    KeepAlive keepAlive_;
};

int gFailAllocs; // raw allocations left before the injected allocator starts failing
void *FailingAlloc(uint32_t, size_t)
{
    return nullptr;
}
void *CountdownAlloc(uint32_t kind, size_t size)
{
    if (gFailAllocs-- <= 0)
        return nullptr;
    return PDMemAlloc(kind, size);
}

// A raw allocator and release that keep a list of the raw blocks they handed out and got back.
std::vector<void *> gRawTaken, gRawGiven;
void *RecordingAlloc(uint32_t kind, size_t size)
{
    void *raw = PDMemAlloc(kind, size);
    gRawTaken.push_back(raw);
    return raw;
}
void RecordingFree(void *raw)
{
    gRawGiven.push_back(raw);
    PDMemFree(raw);
}
} // namespace

// A replaced raw allocator and release see every heap block, and each release is handed the
// very address its allocation returned, for blocks placed right after the raw start and for
// blocks padded to an alignment alike.
TEST_F(MemoryTest, ReplacedRawPrimitivesSeeEveryBlockAndGetTheirOwnAddressBack)
{
    gRawTaken.clear();
    gRawGiven.clear();
    bzMemPrimitiveTable recording = {};
    recording.allocRaw = RecordingAlloc;
    recording.freeRaw = RecordingFree;
    bz_Mem_SetPrimitives(&recording);
    struct Case
    {
        uint32_t size, flags;
    };
    const Case cases[] = {
        {64, 0},
        {1, 0},
        {37, BZ_MEM_CLEAR},
        {40, BZ_MEM_ALIGN_FLAGS(0)},
        {40, BZ_MEM_ALIGN_FLAGS(1)},
        {40, BZ_MEM_ALIGN_FLAGS(2)},
        {40, BZ_MEM_ALIGN_FLAGS(3)},
        {40, BZ_MEM_ALIGN_FLAGS(4)},
    };
    std::vector<void *> blocks;
    for (const Case &c : cases)
    {
        void *b = bz_MemAlloc(c.size, c.flags);
        ASSERT_NE(b, nullptr);
        blocks.push_back(b);
    }
    ASSERT_EQ(gRawTaken.size(), std::size(cases));
    // Released last first, so that each release names one allocation.
    for (size_t i = blocks.size(); i-- > 0;)
    {
        bz_MemFree(blocks[i]);
        ASSERT_EQ(gRawGiven.size(), blocks.size() - i);
        EXPECT_EQ(gRawGiven.back(), gRawTaken[i]) << "block " << i;
        EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_OK);
    }
    bz_Mem_SetPrimitives(&saved_);
}

TEST_F(MemoryTest, ZeroSizeReturnsNullAndKeepsStatus)
{
    bzgMemStatus = 91;
    EXPECT_EQ(bz_MemAlloc(0, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), 91);
}

TEST_F(MemoryTest, OversizedBlocksAreRefused)
{
    bzMemStats before = Stats();
    EXPECT_EQ(bz_MemAlloc(1u << 27, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_RAW_FAILED);
    EXPECT_EQ(bz_MemAlloc(0xFFFFFFFFu, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_RAW_FAILED);
    EXPECT_EQ(bz_GetLastError(), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    // The largest size the header holds is still accepted.
    void *big = bz_MemAlloc((1u << 27) - 1, 0);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(bz_MemSize(big), (1u << 27) - 1);
    bz_MemFree(big);
}

TEST_F(MemoryTest, AlignedBlockKeepsSizeAndCounts)
{
    bzMemStats before = Stats();
    for (uint32_t n = 0; n <= 4; ++n)
    {
        void *b = bz_MemAlloc(37, BZ_MEM_ALIGN_FLAGS(n) | BZ_MEM_CLEAR);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % (8u << n), 0u) << "n=" << n;
        EXPECT_EQ(bz_MemSize(b), 37u);
        EXPECT_EQ(Stats().bytesInUse, before.bytesInUse + 37 + bz_Mem_HeaderSize());
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ(static_cast<uint8_t *>(b)[i], 0);
        bz_MemFree(b);
    }
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    EXPECT_EQ(Stats().bytesInUse, before.bytesInUse);
    EXPECT_EQ(bz_Mem_AlignmentForFlags(BZ_MEM_ALIGN_FLAGS(4)), 128u);
    EXPECT_EQ(bz_Mem_AlignmentForFlags(0), bz_Mem_GetDefaultAlignment());
}

// The four statistics words after allocations with and without optional arguments: the
// count and the bytes in use come back when the block goes, the cumulative bytes stay.
TEST_F(MemoryTest, HeapStatisticsFollowEveryKindOfAllocation)
{
    const uint32_t header = bz_Mem_HeaderSize();
    WarmChildNodes();
    void *parent = bz_MemAlloc(8, 0);
    const char src[40] = "source";
    struct
    {
        uint32_t size;
        uint32_t flags;
    } cases[] = {{64, 0},
                 {1, BZ_MEM_CLEAR},
                 {100, BZ_MEM_ALIGN_FLAGS(3) | BZ_MEM_RETRY},
                 {40, BZ_MEM_SOURCE},
                 {48, BZ_MEM_LABEL | BZ_MEM_EXTRA | BZ_MEM_PARENT}};
    for (const auto &c : cases)
    {
        bzMemStats before = Stats();
        void *b = nullptr;
        if (c.flags & BZ_MEM_SOURCE)
            b = bz_MemAlloc(c.size, c.flags, src);
        else if (c.flags & BZ_MEM_PARENT)
            b = bz_MemAlloc(c.size, c.flags, "label", 3u, parent);
        else
            b = bz_MemAlloc(c.size, c.flags);
        ASSERT_NE(b, nullptr) << c.flags;
        bzMemStats with = Stats();
        EXPECT_EQ(with.blockCount, before.blockCount + 1) << c.flags;
        EXPECT_EQ(with.unused, 0u);
        EXPECT_EQ(with.bytesInUse, before.bytesInUse + c.size + header) << c.flags;
        EXPECT_EQ(with.bytesAllocated, before.bytesAllocated + c.size + header) << c.flags;
        bz_MemFree(b);
        bzMemStats after = Stats();
        EXPECT_EQ(after.blockCount, before.blockCount) << c.flags;
        EXPECT_EQ(after.bytesInUse, before.bytesInUse) << c.flags;
        EXPECT_EQ(after.bytesAllocated, with.bytesAllocated) << c.flags;
        EXPECT_EQ(bz_Mem_GetStatus(), 0);
    }
    bz_MemFree(parent);
}

TEST_F(MemoryTest, AlignmentAboveTheHeaderRangeIsRefused)
{
    EXPECT_EQ(bz_MemAlloc(16, BZ_MEM_ALIGN_FLAGS(5)), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ALIGNMENT);
    EXPECT_EQ(bz_TempStack_Alloc(1, 16, BZ_MEM_ALIGN_FLAGS(7)), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ALIGNMENT);
    EXPECT_EQ(bz_Mem_SetDefaultAlignment(6), BZ_MEM_BAD_ALIGNMENT);
    EXPECT_EQ(bz_Mem_GetDefaultAlignment(), 4u);
    // The padding field reaches back at most 31 words: a default beyond 128 cannot be kept.
    for (uint32_t a : {132u, 256u, 4096u})
    {
        EXPECT_EQ(bz_Mem_SetDefaultAlignment(a), BZ_MEM_BAD_ALIGNMENT) << a;
        EXPECT_EQ(bz_Mem_GetDefaultAlignment(), 4u);
    }
    ASSERT_EQ(bz_Mem_SetDefaultAlignment(128), 0);
    for (int i = 0; i < 8; ++i) // blocks freed from wherever the raw allocator put them
    {
        void *b = bz_MemAlloc(8 + i, 0);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 128, 0u);
        bz_MemFree(b);
    }
    ASSERT_EQ(bz_Mem_SetDefaultAlignment(4), 0);
}

TEST_F(MemoryTest, OptionalArgumentsAreReadInOrder)
{
    const char src[6] = "hello";
    void *parent = bz_MemAlloc(8, 0);
    char *b = static_cast<char *>(bz_MemAlloc(
        6, BZ_MEM_LABEL | BZ_MEM_EXTRA | BZ_MEM_PARENT | BZ_MEM_SOURCE, "label", 7u, parent, src));
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b, "hello");
    bzMemStats withChild = Stats();
    bz_MemFree(parent); // takes the child with it
    EXPECT_EQ(Stats().blockCount, withChild.blockCount - 2);
}

TEST_F(MemoryTest, HeapLimitExactlyReachedPassesOneByteMoreExplodes)
{
    uint32_t inUse = Stats().bytesInUse;
    uint32_t size = 1000;
    bz_Mem_SetHeapLimit(inUse + size + bz_Mem_HeaderSize());
    uint32_t reports = bz_Error_ReportCount();
    void *a = bz_MemAlloc(size, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports);
    bz_MemFree(a);

    bz_Mem_SetHeapLimit(inUse + size + bz_Mem_HeaderSize() - 1);
    void *b = bz_MemAlloc(size, 0);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "BANG!!!");
    std::string text = bz_Error_LastReportText();
    EXPECT_EQ(text.rfind("The application has just exploded (Heap limit exceeded)\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("Memory.cpp"), std::string::npos);
    bz_Mem_SetHeapLimit(0);
    bz_MemFree(b);
}

TEST_F(MemoryTest, FailingRawAllocatorGivesStatus80AndNoLeak)
{
    bzMemStats before = Stats();
    bzMemPrimitiveTable failing = {};
    failing.allocRaw = FailingAlloc;
    bz_Mem_SetPrimitives(&failing);
    EXPECT_EQ(bz_MemAlloc(64, BZ_MEM_RETRY), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_RAW_FAILED);
    EXPECT_EQ(bz_GetLastError(), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    // A new pool whose first block cannot be had.
    EXPECT_EQ(bz_Pool_Create(40, 0, 1, 0), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_RAW_FAILED);
    bz_Mem_SetPrimitives(&saved_);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
}

TEST_F(MemoryTest, PoolCreationFailuresLeaveNothingBehind)
{
    bzMemStats before = Stats();
    bzMemPrimitiveTable countdown = {};
    countdown.allocRaw = CountdownAlloc;
    bz_Mem_SetPrimitives(&countdown);
    gFailAllocs = 1; // the record, then the first block fails
    EXPECT_EQ(bz_Pool_Create(40, 0, 1, 0), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_POOL_FIRST_BLOCK);
    gFailAllocs = 3; // record and two blocks of three
    EXPECT_EQ(bz_Pool_Create(40, 0, 3, 0), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_POOL_GROW);
    bz_Mem_SetPrimitives(&saved_);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    EXPECT_EQ(Stats().bytesInUse, before.bytesInUse);
}

TEST_F(MemoryTest, ReallocCopiesTheSmallerSizeAndKeepsOldOnFailure)
{
    auto *a = static_cast<uint8_t *>(bz_MemAlloc(16, 0));
    for (int i = 0; i < 16; ++i)
        a[i] = static_cast<uint8_t>(i + 1);
    auto *b = static_cast<uint8_t *>(bz_MemRealloc(a, 8, BZ_MEM_CLEAR));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(bz_MemSize(b), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(b[i], i + 1);

    auto *c = static_cast<uint8_t *>(bz_MemRealloc(b, 32, BZ_MEM_CLEAR));
    ASSERT_NE(c, nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(c[i], i + 1);
    for (int i = 8; i < 32; ++i)
        EXPECT_EQ(c[i], 0);

    bzMemPrimitiveTable failing = {};
    failing.allocRaw = FailingAlloc;
    bz_Mem_SetPrimitives(&failing);
    EXPECT_EQ(bz_MemRealloc(c, 64, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_RAW_FAILED);
    bz_Mem_SetPrimitives(&saved_);
    // The old block is still the caller's, with its data.
    EXPECT_EQ(bz_MemSize(c), 32u);
    EXPECT_EQ(c[7], 8);
    bz_MemFree(c);

    void *fresh = bz_MemRealloc(nullptr, 10, 0);
    EXPECT_EQ(bz_MemSize(fresh), 10u);
    bz_MemFree(fresh);
}

TEST_F(MemoryTest, FreeingAParentFreesPoolAndHeapChildrenAndGrandchildren)
{
    int32_t pool = bz_Pool_Create(20, 0, 1, 0);
    ASSERT_NE(pool, 0);
    WarmChildNodes();
    bzMemStats before = Stats();
    void *parent = bz_MemAlloc(10, 0);
    void *child = bz_MemAlloc(10, BZ_MEM_PARENT, parent);
    void *grandchild = bz_MemAlloc(10, BZ_MEM_PARENT, child);
    void *el1 = bz_Pool_Alloc(pool, BZ_MEM_PARENT, parent);
    void *el2 = bz_Pool_Alloc(pool, 0);
    ASSERT_TRUE(child && grandchild && el1 && el2);
    EXPECT_EQ(bz_MemChild_AddPool(grandchild, pool, el2), 0);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 2u);
    EXPECT_EQ(Stats().blockCount, before.blockCount + 3);

    bz_MemFree(parent);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 0u);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    EXPECT_EQ(Stats().bytesInUse, before.bytesInUse);
    bz_Pool_Destroy(pool);
}

TEST_F(MemoryTest, ChildFreedOnItsOwnLeavesItsParentList)
{
    int32_t pool = bz_Pool_Create(20, 0, 1, 0);
    void *parent = bz_MemAlloc(10, 0);
    void *heapChild = bz_MemAlloc(10, BZ_MEM_PARENT, parent);
    void *el = bz_Pool_Alloc(pool, BZ_MEM_PARENT, parent);
    bz_Pool_FreeElement(pool, el);
    bz_MemFree(heapChild);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 0u);
    // The element is handed out again; the parent's free must not take it back.
    void *again = bz_Pool_Alloc(pool, 0);
    EXPECT_EQ(again, el);
    bz_MemFree(parent);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 1u);
    bz_Pool_FreeElement(pool, again);
    bz_Pool_Destroy(pool);
}

TEST_F(MemoryTest, ChildRemoveReleasesOneChildAndIgnoresStrangers)
{
    int32_t pool = bz_Pool_Create(20, 0, 1, 0);
    void *parent = bz_MemAlloc(10, 0);
    void *a = bz_Pool_Alloc(pool, BZ_MEM_PARENT, parent);
    void *b = bz_Pool_Alloc(pool, BZ_MEM_PARENT, parent);
    void *stranger = bz_MemAlloc(10, 0);
    bz_MemChild_Remove(parent, a);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 1u);
    bz_MemChild_Remove(parent, stranger);
    bz_MemChild_Remove(nullptr, b);
    bz_MemChild_Remove(parent, nullptr);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 1u);
    bz_MemFree(parent);
    EXPECT_EQ(bz_Pool_GetUsed(pool), 0u);
    bz_MemFree(stranger);
    bz_Pool_Destroy(pool);
}

TEST_F(MemoryTest, DestroyingAPoolUnlinksItsElementsFromParents)
{
    int32_t pool = bz_Pool_Create(20, 0, 1, 0);
    void *parent = bz_MemAlloc(10, 0);
    ASSERT_NE(bz_Pool_Alloc(pool, BZ_MEM_PARENT, parent), nullptr);
    EXPECT_EQ(bz_Pool_Destroy(pool), 0);
    bz_MemFree(parent); // nothing left to hand back to the destroyed pool
    EXPECT_EQ(bz_Mem_GetStatus(), 0);
}

struct PoolShape
{
    uint32_t size;
    uint32_t alignment;
    uint32_t perBlock;
};

class PoolShapeTest : public MemoryTest, public ::testing::WithParamInterface<PoolShape>
{
};

TEST_P(PoolShapeTest, AutomaticElementsPerBlock)
{
    const PoolShape &shape = GetParam();
    int32_t id = bz_Pool_Create(shape.size, 0, 1, 0);
    ASSERT_NE(id, 0);
    EXPECT_EQ(bz_Pool_GetAlignment(id), shape.alignment);
    EXPECT_EQ(bz_Pool_GetPerBlock(id), shape.perBlock);
    EXPECT_EQ(bz_Pool_GetCapacity(id), shape.perBlock);
    // Every element is usable on its own.
    void *first = bz_Pool_Alloc(id, BZ_MEM_CLEAR);
    void *second = bz_Pool_Alloc(id, BZ_MEM_CLEAR);
    ASSERT_TRUE(first && second);
    std::memset(first, 0xAB, shape.size);
    std::memset(second, 0xCD, shape.size);
    EXPECT_EQ(static_cast<uint8_t *>(first)[shape.size - 1], 0xAB);
    bz_Pool_FreeElement(id, first);
    bz_Pool_FreeElement(id, second);
    EXPECT_EQ(bz_Pool_Destroy(id), 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, PoolShapeTest,
                         ::testing::Values(PoolShape{12, 4, 250}, PoolShape{6, 2, 500},
                                           PoolShape{4000, 4, 1}, PoolShape{7, 1, 428},
                                           PoolShape{3000, 4, 1}));

TEST_F(MemoryTest, PoolAlignmentFlagAlignsEveryElement)
{
    for (uint32_t n = 0; n <= 4; ++n)
    {
        int32_t id = bz_Pool_Create(20, 3, 2, BZ_MEM_ALIGN_FLAGS(n));
        ASSERT_NE(id, 0) << "n=" << n;
        EXPECT_EQ(bz_Pool_GetAlignment(id), 8u << n);
        for (int i = 0; i < 7; ++i) // across three blocks
        {
            void *el = bz_Pool_Alloc(id, 0);
            ASSERT_NE(el, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(el) % (8u << n), 0u) << "n=" << n << " i=" << i;
        }
        bz_Pool_Destroy(id);
    }
    EXPECT_EQ(bz_Pool_Create(20, 0, 1, BZ_MEM_ALIGN_FLAGS(5)), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ALIGNMENT);
}

TEST_F(MemoryTest, PoolsForElementsNoBlockCanHoldAreRefused)
{
    bzMemStats before = Stats();
    // Sizes whose rounding runs past 32 bits must not turn into tiny elements.
    for (uint32_t size : {1u << 27, 0xFFFFFFF0u, 0xFFFFFFF9u, 0xFFFFFFFFu})
    {
        EXPECT_EQ(bz_Pool_Create(size, 0, 1, 0), 0) << size;
        EXPECT_EQ(bz_Pool_Create(size, 0, 1, BZ_MEM_ALIGN_FLAGS(4)), 0) << size;
        EXPECT_EQ(bz_Pool_Create(size, 1, 1, BZ_MEM_ALIGN_FLAGS(0)), 0) << size;
        EXPECT_EQ(bz_Pool_FindForSize(size), 0) << size;
        EXPECT_NE(bz_Mem_GetStatus(), 0) << size;
    }
    EXPECT_EQ(Stats().blockCount, before.blockCount);
}

namespace
{
// The time of the loading callback's last turn is kept from the start of a run: the test runs in
// a program of its own.
void HeapAllocationGivesTheLoadingCallbackItsTurn()
{
    VirtualCounter counter;
    counter.StartTimer();
    static int calls;
    calls = 0;
    bz_SetLoadingCallback(
        [](float)
        {
            ++calls;
            bz_MemFree(bz_MemAlloc(8, 0)); // no second entry from inside
        });
    // The time of the last turn stays from earlier tests: step on until a turn comes, so that
    // the steps below count from it.
    for (int i = 0; i < 100000 && calls == 0; ++i)
    {
        counter.AdvanceMs(1000);
        bz_MemFree(bz_MemAlloc(16, 0));
    }
    ASSERT_EQ(calls, 1);
    calls = 0;
    counter.AdvanceMs(250);
    EXPECT_EQ(bz_MemAlloc(0, 0), nullptr); // a size of 0 returns at once
    EXPECT_EQ(calls, 0);
    void *a = bz_MemAlloc(16, 0);
    EXPECT_EQ(calls, 1);
    void *b = bz_MemAlloc(16, 0);
    EXPECT_EQ(calls, 1) << "no second turn within 0.2 seconds";
    counter.AdvanceMs(150);
    bz_MemFree(b);
    b = bz_MemAlloc(16, 0);
    EXPECT_EQ(calls, 1);
    counter.AdvanceMs(100);
    bz_MemFree(b);
    b = bz_MemAlloc(16, 0);
    EXPECT_EQ(calls, 2);
    bz_SetLoadingCallback(nullptr);
    bz_MemFree(a);
    bz_MemFree(b);
}
} // namespace

TEST(MemoryDeathTest, HeapAllocationGivesTheLoadingCallbackItsTurn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(HeapAllocationGivesTheLoadingCallbackItsTurn),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(MemoryTest, PoolGrowsAndHandsOutLastFreedFirst)
{
    int32_t id = bz_Pool_Create(16, 2, 1, 0);
    void *a = bz_Pool_Alloc(id, 0);
    void *b = bz_Pool_Alloc(id, 0);
    void *c = bz_Pool_Alloc(id, 0);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(bz_Pool_GetCapacity(id), 4u);
    EXPECT_EQ(bz_Pool_GetUsed(id), 3u);
    bz_Pool_FreeElement(id, b);
    EXPECT_EQ(bz_Pool_Alloc(id, 0), b);
    const uint8_t src[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto *d = static_cast<uint8_t *>(bz_Pool_Alloc(id, BZ_MEM_SOURCE, src));
    EXPECT_EQ(std::memcmp(d, src, 16), 0);
    bz_Pool_Destroy(id);
}

// Every way of taking and returning an element sets both status words, counts the element
// and keeps the free list last in, first out, whether or not other elements of the pool sit
// in a parent's list.
TEST_F(MemoryTest, PoolElementsEveryPathCountsAndReusesLastFreedFirst)
{
    int32_t id = bz_Pool_Create(24, 2, 1, 0);
    ASSERT_NE(id, 0);
    void *parent = bz_MemAlloc(8, 0);
    const uint8_t src[24] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    for (bool someLinked : {false, true})
    {
        void *held = someLinked ? bz_Pool_Alloc(id, BZ_MEM_PARENT, parent) : nullptr;
        uint32_t base = bz_Pool_GetUsed(id);
        struct
        {
            uint32_t flags;
            const void *arg;
        } ways[] = {{0, nullptr}, {BZ_MEM_CLEAR, nullptr}, {BZ_MEM_SOURCE, src}};
        void *prev = nullptr;
        for (const auto &w : ways)
        {
            bzgMemStatus = BZ_MEM_NO_MARK;
            bzgLastError = BZ_ERROR_NONE;
            auto *el = static_cast<uint8_t *>(w.arg ? bz_Pool_Alloc(id, w.flags, w.arg)
                                                    : bz_Pool_Alloc(id, w.flags));
            ASSERT_NE(el, nullptr);
            EXPECT_EQ(bz_Mem_GetStatus(), 0) << w.flags;
            EXPECT_EQ(bz_GetLastError(), BZ_ERROR_NO_MEMORY) << w.flags;
            EXPECT_EQ(bz_Pool_GetUsed(id), base + 1) << w.flags;
            if (prev)
            {
                EXPECT_EQ(el, prev) << "the element freed last comes back first";
            }
            if (w.flags == BZ_MEM_CLEAR)
            {
                EXPECT_EQ(std::count(el, el + 24, 0), 24);
            }
            if (w.flags == BZ_MEM_SOURCE)
            {
                EXPECT_EQ(std::memcmp(el, src, 24), 0);
            }
            std::memset(el, 0xEE, 24);
            bzgMemStatus = BZ_MEM_NO_MARK;
            bzgLastError = BZ_ERROR_NONE;
            bz_Pool_FreeElement(id, el);
            EXPECT_EQ(bz_Mem_GetStatus(), 0) << w.flags;
            EXPECT_EQ(bz_GetLastError(), BZ_ERROR_NO_MEMORY) << w.flags;
            EXPECT_EQ(bz_Pool_GetUsed(id), base) << w.flags;
            prev = el;
        }
        // Three more elements: the first round grows the pool by a block of 2, the second
        // (with one element held) fits in the two blocks.
        void *els[3];
        for (void *&e : els)
            ASSERT_NE(e = bz_Pool_Alloc(id, 0), nullptr);
        EXPECT_EQ(bz_Pool_GetUsed(id), base + 3);
        EXPECT_EQ(bz_Pool_GetCapacity(id), 4u);
        for (void *e : els)
            bz_Pool_FreeElement(id, e);
        EXPECT_EQ(bz_Pool_GetUsed(id), base);
        if (held)
        {
            // The element in the parent's list leaves it when freed on its own.
            bz_Pool_FreeElement(id, held);
            EXPECT_EQ(bz_Pool_GetUsed(id), base - 1);
            bz_MemFree(parent);
            EXPECT_EQ(bz_Pool_GetUsed(id), base - 1);
        }
    }
    bz_Pool_Destroy(id);
}
namespace
{
// Trimming every pool (id 0) also empties the engine's own pools (the base pools, the child
// list pool): afterwards each is grown back to the capacity it had, as the other tests expect to
// find it.
class PoolCapacities
{
public:
    PoolCapacities()
    {
        for (int32_t id = 1; id <= 128; ++id)
            capacity_[id] = bz_Pool_GetCapacity(id);
    }
    ~PoolCapacities()
    {
        std::vector<std::pair<int32_t, void *>> taken;
        for (int32_t id = 1; id <= 128; ++id)
        {
            while (capacity_[id] > 0 && bz_Pool_GetCapacity(id) < capacity_[id])
            {
                void *element = bz_Pool_Alloc(id, 0);
                if (!element)
                    break;
                taken.emplace_back(id, element);
            }
        }
        for (const auto &[id, element] : taken)
            bz_Pool_FreeElement(id, element);
    }

private:
    uint32_t capacity_[129];
};
} // namespace

TEST_F(MemoryTest, PoolTrimReleasesWhollyFreeBlocks)
{
    PoolCapacities restore;
    int32_t id = bz_Pool_Create(32, 4, 3, 0);
    void *els[12];
    for (void *&e : els)
        e = bz_Pool_Alloc(id, 0);
    EXPECT_EQ(bz_Pool_Trim(id), 0u); // nothing free
    // Free one whole block's worth, scattered across blocks: only a block all free goes.
    for (int i = 0; i < 12; ++i)
        bz_Pool_FreeElement(id, els[i]);
    EXPECT_EQ(bz_Pool_GetCapacity(id), 12u);
    uint32_t released = bz_Pool_Trim(id);
    EXPECT_EQ(released, 3u * (4 * 32 + sizeof(void *)));
    EXPECT_EQ(bz_Pool_GetCapacity(id), 0u);
    // Still usable afterwards.
    EXPECT_NE(bz_Pool_Alloc(id, 0), nullptr);
    bz_Pool_Destroy(id);

    id = bz_Pool_Create(32, 4, 2, 0);
    void *keep[5];
    for (void *&e : keep)
        e = bz_Pool_Alloc(id, 0);
    for (int i = 1; i < 5; ++i)
        bz_Pool_FreeElement(id, keep[i]); // one block keeps keep[0]
    EXPECT_EQ(bz_Pool_Trim(0) >= 4 * 32u, true);
    EXPECT_EQ(bz_Pool_GetCapacity(id), 4u);
    EXPECT_EQ(bz_Pool_GetUsed(id), 1u);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(bz_Pool_Alloc(id, 0), nullptr);
    EXPECT_EQ(bz_Pool_GetCapacity(id), 4u);
    bz_Pool_Destroy(id);
}

TEST_F(MemoryTest, FreeAllElementsEmptiesThePool)
{
    int32_t id = bz_Pool_Create(24, 3, 2, 0);
    void *parent = bz_MemAlloc(8, 0);
    for (int i = 0; i < 5; ++i)
        bz_Pool_Alloc(id, BZ_MEM_PARENT, parent);
    bz_Pool_FreeAllElements(id);
    EXPECT_EQ(bz_Pool_GetUsed(id), 0u);
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(bz_Pool_Alloc(id, 0), nullptr);
    EXPECT_EQ(bz_Pool_GetCapacity(id), 6u);
    bz_MemFree(parent); // its links were dropped: the pool keeps its count
    EXPECT_EQ(bz_Pool_GetUsed(id), 6u);
    bz_Pool_Destroy(id);
}

TEST_F(MemoryTest, PoolForSizeUsesTheBasePools)
{
    EXPECT_EQ(bz_Pool_FindForSize(10), bz_Pool_FindForSize(12));
    EXPECT_EQ(bz_Pool_FindForSize(12), bz_Pool_SharedId(4));
    EXPECT_EQ(bz_Pool_FindForSize(24), bz_Pool_SharedId(0));
    EXPECT_EQ(bz_Pool_FindForSize(48), bz_Pool_SharedId(1));
    int32_t made = bz_Pool_FindForSize(300);
    ASSERT_NE(made, 0);
    EXPECT_EQ(bz_Pool_GetPerBlock(made), 6u);
    EXPECT_EQ(bz_Pool_FindForSize(297), made); // rounds to 300 and finds the new entry
    int32_t small = bz_Pool_FindForSize(4);
    EXPECT_EQ(bz_Pool_GetPerBlock(small), 24u);
}

TEST_F(MemoryTest, BadPoolIdsAndFullTable)
{
    for (int32_t id : {0, 129, -1})
    {
        EXPECT_EQ(bz_Pool_Alloc(id, 0), nullptr);
        EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ID);
        uint64_t element[2] = {0x1111, 0x2222};
        bz_Pool_FreeElement(id, element);
        EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ID);
        EXPECT_EQ(element[0], 0x1111u); // no free-list link was written into it
        EXPECT_EQ(bz_Pool_Destroy(id), BZ_MEM_BAD_ID);
    }
    // 128 pool entries in all, some of them taken at start.
    int32_t ids[128];
    int n = 0;
    while (n < 128)
    {
        int32_t id = bz_Pool_Create(8, 1, 1, 0);
        if (!id)
            break;
        ids[n++] = id;
    }
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_NO_POOL_ENTRY);
    EXPECT_LT(n, 128);
    EXPECT_EQ(bz_Pool_Create(8, 1, 1, 0), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_NO_POOL_ENTRY);
    // A destroyed entry is reused by the next creation.
    bz_Pool_Destroy(ids[3]);
    EXPECT_EQ(bz_Pool_Create(8, 1, 1, 0), ids[3]);
    for (int i = 0; i < n; ++i)
        bz_Pool_Destroy(ids[i]);
}

TEST_F(MemoryTest, TempStackReleaseRewindsToTheBlock)
{
    int32_t id = bz_TempStack_Create(1024, 0);
    ASSERT_NE(id, 0);
    uint32_t empty = bz_TempStack_SpaceLeft(id, 0);
    void *a = bz_TempStack_Alloc(id, 100, 0);
    void *b = bz_TempStack_Alloc(id, 100, BZ_MEM_CLEAR);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(bz_MemSize(b), 100u);
    EXPECT_EQ(static_cast<uint8_t *>(b)[99], 0);
    EXPECT_EQ(bz_TempStack_Free(id, a), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(id, 0), empty);
    EXPECT_EQ(bz_TempStack_Free(id, a), 0); // the top already stands at its start
    EXPECT_EQ(bz_TempStack_Free(id, b), BZ_MEM_ABOVE_TOP);
    int outside = 0;
    EXPECT_EQ(bz_TempStack_Free(id, &outside), BZ_MEM_NOT_IN_STACK);
    EXPECT_EQ(bz_TempStack_Alloc(id, 2000, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_STACK_FULL);
    const char text[] = "scratch";
    char *c = static_cast<char *>(bz_TempStack_Alloc(id, sizeof text, BZ_MEM_SOURCE, text));
    EXPECT_STREQ(c, "scratch");
    void *aligned = bz_TempStack_Alloc(id, 10, BZ_MEM_ALIGN_FLAGS(4));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(aligned) % 128, 0u);
    EXPECT_EQ(bz_TempStack_Destroy(id), 0);
    EXPECT_EQ(bz_TempStack_Alloc(id, 10, 0), nullptr);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ID);
}

TEST_F(MemoryTest, TempStackMarks)
{
    int32_t id = bz_TempStack_Create(4096, 0);
    EXPECT_EQ(bz_TempStack_PopMark(id), BZ_MEM_NO_MARK);
    uint32_t space = bz_TempStack_SpaceLeft(id, 0);
    // 64 marks a stack.
    for (int i = 0; i < 64; ++i)
    {
        ASSERT_EQ(bz_TempStack_PushMark(id), 0) << i;
        bz_TempStack_Alloc(id, 8, 0);
    }
    EXPECT_EQ(bz_TempStack_PushMark(id), BZ_MEM_TOO_MANY_MARKS);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(bz_TempStack_PopMark(id), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(id, 0), space);
    EXPECT_EQ(bz_TempStack_PopMark(id), BZ_MEM_NO_MARK);
    bz_TempStack_Destroy(id);
}

TEST_F(MemoryTest, TempStackOverflowGoesToTheHeapAndLeavesWithItsMark)
{
    int32_t id = bz_TempStack_Create(256, 1);
    bzMemStats before = Stats();
    ASSERT_EQ(bz_TempStack_PushMark(id), 0);
    void *big = bz_TempStack_Alloc(id, 1000, BZ_MEM_CLEAR);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(bz_MemSize(big), 1000u);
    EXPECT_GT(Stats().blockCount, before.blockCount);
    // More overflow blocks than one list node holds.
    ASSERT_EQ(bz_TempStack_PushMark(id), 0);
    for (int i = 0; i < 20; ++i)
        ASSERT_NE(bz_TempStack_Alloc(id, 300, 0), nullptr);
    ASSERT_EQ(bz_TempStack_PopMark(id), 0);
    ASSERT_EQ(bz_TempStack_PopMark(id), 0);
    // Only the overflow list's nodes are left on the heap.
    EXPECT_LE(Stats().blockCount, before.blockCount + 2);
    void *other = bz_TempStack_Alloc(id, 1000, 0);
    EXPECT_EQ(bz_TempStack_Free(id, other), 0);
    EXPECT_EQ(bz_TempStack_Free(id, other), BZ_MEM_NOT_IN_STACK);
    bz_TempStack_Destroy(id);
    EXPECT_EQ(Stats().blockCount, before.blockCount - 2);
}

TEST_F(MemoryTest, TempStackBurstPopReleasesTheOverflowNodes)
{
    int32_t id = bz_TempStack_Create(256, 1);
    ASSERT_NE(id, 0);
    uint32_t space = bz_TempStack_SpaceLeft(id, 0);
    bzMemStats before = Stats();
    ASSERT_EQ(bz_TempStack_PushMark(id), 0);
    for (int i = 0; i < 3000; ++i)
        ASSERT_NE(bz_TempStack_Alloc(id, 300, 0), nullptr) << i;
    // The blocks and the list nodes of 15 entries each.
    EXPECT_GE(Stats().blockCount, before.blockCount + 3000 + 200);
    ASSERT_EQ(bz_TempStack_PopMark(id), 0);
    // The blocks and their nodes are gone; at most one emptied node is kept for the next burst.
    EXPECT_LE(Stats().blockCount, before.blockCount + 1);

    // Afterwards the stack works as before, in its buffer and past its end.
    void *a = bz_TempStack_Alloc(id, 100, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(bz_TempStack_Free(id, a), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(id, 0), space);
    ASSERT_EQ(bz_TempStack_PushMark(id), 0);
    const char text[1000] = "past the end";
    char *big = static_cast<char *>(bz_TempStack_Alloc(id, sizeof text, BZ_MEM_SOURCE, text));
    ASSERT_NE(big, nullptr);
    EXPECT_STREQ(big, "past the end");
    EXPECT_EQ(bz_MemSize(big), 1000u);
    ASSERT_EQ(bz_TempStack_PopMark(id), 0);
    EXPECT_EQ(bz_TempStack_Free(id, big), BZ_MEM_NOT_IN_STACK);
    EXPECT_LE(Stats().blockCount, before.blockCount + 1);
    bz_TempStack_Destroy(id);
    EXPECT_EQ(Stats().blockCount, before.blockCount - 2); // the record and the buffer too
}

// Blocks past the stack's end checked against a model: a block lives until it is released or
// the mark of its depth is popped. Blocks are released newest first and from anywhere in the
// list; every live block keeps its contents, and the heap holds exactly the live blocks and
// the list nodes of 15 entries (with at most one emptied node kept).
TEST_F(MemoryTest, TempStackOverflowFollowsAModelOfMarksAndReleases)
{
    int32_t id = bz_TempStack_Create(64, 1);
    ASSERT_NE(id, 0);
    const uint32_t base = Stats().blockCount;
    struct Live
    {
        uint8_t *block;
        uint32_t size;
        int32_t depth;
        uint8_t fill;
    };
    std::vector<Live> live;
    std::mt19937 rng(20240611);
    int32_t depth = 0;
    auto intact = [](const Live &l)
    {
        for (uint32_t i = 0; i < l.size; ++i)
        {
            if (l.block[i] != l.fill)
                return false;
        }
        return true;
    };
    auto take = [&]()
    {
        Live l;
        l.size = 64 + rng() % 200;
        l.fill = static_cast<uint8_t>(rng());
        l.depth = depth;
        l.block = static_cast<uint8_t *>(bz_TempStack_Alloc(id, l.size, 0));
        ASSERT_NE(l.block, nullptr);
        EXPECT_EQ(bz_MemSize(l.block), l.size);
        std::memset(l.block, l.fill, l.size);
        live.push_back(l);
    };
    for (int round = 0; round < 3000; ++round)
    {
        uint32_t op = rng() % 100;
        if (op < 2)
        {
            for (int i = 0; i < 200; ++i) // a burst
                take();
        }
        else if (op < 50)
        {
            take();
        }
        else if (op < 70 && !live.empty())
        {
            // Mostly the newest block, sometimes one from deep in the list.
            size_t k = op < 62 ? live.size() - 1 : rng() % live.size();
            ASSERT_TRUE(intact(live[k])) << round;
            EXPECT_EQ(bz_TempStack_Free(id, live[k].block), 0) << round;
            EXPECT_EQ(bz_TempStack_Free(id, live[k].block), BZ_MEM_NOT_IN_STACK) << round;
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(k));
        }
        else if (op < 85 && depth < BZ_MEM_MAX_MARKS)
        {
            ASSERT_EQ(bz_TempStack_PushMark(id), 0);
            ++depth;
        }
        else if (depth > 0)
        {
            ASSERT_EQ(bz_TempStack_PopMark(id), 0);
            live.erase(std::remove_if(live.begin(), live.end(),
                                      [&](const Live &l) { return l.depth == depth; }),
                       live.end());
            --depth;
            for (const Live &l : live)
                ASSERT_TRUE(intact(l)) << round;
        }
        uint32_t nodes = Stats().blockCount - base - static_cast<uint32_t>(live.size());
        uint32_t needed = static_cast<uint32_t>((live.size() + 14) / 15);
        ASSERT_GE(nodes, needed) << round;
        ASSERT_LE(nodes, needed + 1) << round;
    }
    for (const Live &l : live)
        EXPECT_TRUE(intact(l));
    bz_TempStack_Destroy(id);
    EXPECT_EQ(Stats().blockCount, base - 2);
}

TEST_F(MemoryTest, DefaultStackAndScratch)
{
    EXPECT_EQ(bz_TempStack_GetId(), 1);
    EXPECT_EQ(bz_TempStack_GetSize(1), 262144u);
    uint32_t space = bz_TempStack_SpaceLeft(1, 0);
    void *scratch = InlineScratchTake();
    ASSERT_NE(scratch, nullptr);
    EXPECT_EQ(bz_MemSize(scratch), BZ_MEM_SCRATCH_SIZE);
    InlineScratchGive();
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), space);
}

TEST_F(MemoryTest, TooManyTempStacks)
{
    // At most 10 temporary stacks.
    int32_t ids[10];
    int n = 0;
    while (n < 10 && (ids[n] = bz_TempStack_Create(64, 0)) != 0)
        ++n;
    EXPECT_EQ(n, 9); // stack 1 is the default one
    EXPECT_EQ(bz_TempStack_Create(64, 0), 0);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_NO_STACK);
    for (int i = 0; i < n; ++i)
        bz_TempStack_Destroy(ids[i]);
}

TEST_F(MemoryTest, GrowableBufferMovesTheCursor)
{
    int32_t id = bz_MemBuffer_Create(64, 64, 16);
    ASSERT_GE(id, 1);
    uint8_t *cursor = bz_MemBuffer_Base(id);
    std::memset(cursor, 7, 40);
    cursor += 40;
    bz_MemBuffer_Ensure(id, &cursor);
    EXPECT_EQ(bz_MemBuffer_Offset(cursor, id), 40u);
    cursor = bz_MemBuffer_Base(id) + 60; // past size - reserve
    bz_MemBuffer_Ensure(id, &cursor);
    EXPECT_EQ(bz_MemBuffer_Offset(cursor, id), 60u);
    EXPECT_GE(bz_MemSize(bz_MemBuffer_Base(id)), 128u);
    EXPECT_EQ(bz_MemBuffer_Base(id)[39], 7);
    bz_MemBuffer_Free(id);
    EXPECT_EQ(bz_MemBuffer_Base(id), nullptr);
    int32_t ids[8]; // 8 growable-buffer slots
    for (int32_t &b : ids)
        EXPECT_NE(b = bz_MemBuffer_Create(8, 8, 0), 0);
    EXPECT_EQ(bz_MemBuffer_Create(8, 8, 0), 0);
    bz_MemBuffer_ClearAll();
}

TEST_F(MemoryTest, CheckedCopiesIgnoreZeroLength)
{
    uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t b[8] = {};
    EXPECT_EQ(MemCopy(0, b, a), nullptr);
    EXPECT_EQ(MemMove(0, b, a), nullptr);
    EXPECT_EQ(MemFill(b, 9, 0), nullptr);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(MemCopy(8, b, a), b);
    EXPECT_EQ(std::memcmp(a, b, 8), 0);
    MemMove(6, a + 2, a);
    EXPECT_EQ(a[2], 1);
    EXPECT_EQ(a[7], 6);
    MemFill(b, 0x5A, 7);
    EXPECT_EQ(b[6], 0x5A);
    EXPECT_EQ(b[7], 8);

    uint8_t buffer[8];
    uint8_t *w = buffer;
    bz_MemWriteAdvance(&w, "abcd", 4);
    bz_MemWriteAdvance(&w, "efgh", 4);
    const uint8_t *r = buffer;
    char out[5] = {};
    bz_MemReadAdvance(&r, out, 4);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(r, buffer + 4);

    // With the zero-length diagnostics switched on, the report is raised. The diagnostic line
    // also goes to the developer text sink (the debug stream in the running engine).
    KeepAlive keep;
    bzgErrorFile = nullptr;
    uint32_t reports = bz_Error_ReportCount();
    static std::string sunk;
    sunk.clear();
    bzDebugTextSink previous = bz_Debug_SetTextSink([](const char *line) { sunk += line; });
    bzgMemDebugFlags = 0x10;
    MemCopy(0, b, a);
    bzgMemDebugFlags = 0;
    bz_Debug_SetTextSink(previous);
    EXPECT_NE(sunk.find("MemCopy called with zero length"), std::string::npos);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Memory Manager Diagnostics");
    EXPECT_STREQ(bz_Error_LastReportText(), "MemCopy called with zero length");
}

TEST(MemoryPrimitives, CompareFillAndWordCopy)
{
    bzMemPrimitiveTable t;
    bz_Mem_GetPrimitives(&t);
    const uint8_t a[] = {1, 2, 0x80};
    const uint8_t b[] = {1, 2, 0x7F};
    EXPECT_EQ(t.compare(a, b, 3), 1);
    EXPECT_EQ(t.compare(b, a, 3), -1);
    EXPECT_EQ(t.compare(a, a, 3), 0);
    EXPECT_EQ(bz_MemCompare(a, b, 2), 0);
    uint8_t buf[11];
    t.fill(buf, 0x1FE, 11);
    for (uint8_t v : buf)
        EXPECT_EQ(v, 0xFE);
    const char src[] = "0123456789";
    char dst[11] = {};
    t.copyWords(dst, src, 10);
    EXPECT_STREQ(dst, "0123456789");
}

TEST_F(MemoryTest, InitRefusesABadAlignmentAndRestartsCleanly)
{
    bzMemSettings bad = {};
    bad.defaultAlignment = 12;
    bz_Mem_Init(&bad);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ALIGNMENT);
    bzMemSettings good = {};
    good.defaultAlignment = 16;
    good.tempStackSize = 4096;
    bz_Mem_Init(&good);
    EXPECT_EQ(bz_Mem_GetStatus(), 0);
    EXPECT_EQ(bz_Mem_GetDefaultAlignment(), 16u);
    EXPECT_EQ(bz_TempStack_GetSize(1), 4096u);
    EXPECT_NE(bz_Pool_SharedId(6), 0);
    bad.defaultAlignment = 256; // beyond what a block header can pad
    bz_Mem_Init(&bad);
    EXPECT_EQ(bz_Mem_GetStatus(), BZ_MEM_BAD_ALIGNMENT);
    bz_Mem_Init(nullptr);
    EXPECT_EQ(bz_Mem_GetDefaultAlignment(), 4u);
}
