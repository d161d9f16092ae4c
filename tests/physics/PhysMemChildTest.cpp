// The physics memory module's own child allocations (pool elements and blocks) and their
// removal, and its opening and closing calls.
#include "core/Memory.h"
#include "physics/PhysMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
uint32_t Blocks()
{
    bzMemStats s;
    bz_Mem_GetStats(&s);
    return s.blockCount;
}

class PhysMemChildTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(bz_PhysMem_CreatePools(), 0);
        before_ = Blocks();
        parent_ = bz_MemAlloc(64, BZ_MEM_CLEAR);
        ASSERT_NE(parent_, nullptr);
    }
    void TearDown() override
    {
        bz_MemFree(parent_);
        EXPECT_EQ(Blocks(), before_);
        bz_PhysMem_DestroyPools();
    }
    uint32_t before_ = 0;
    void *parent_ = nullptr;
};

TEST_F(PhysMemChildTest, ARemovedElementGoesBackToItsPoolAndTheParentStays)
{
    for (int pool = 0; pool < 2; ++pool)
    {
        const size_t size = pool ? BZ_PHYS_LARGE_ELEMENT_BYTES : BZ_PHYS_SMALL_ELEMENT_BYTES;
        auto *e = static_cast<unsigned char *>(bz_PhysMem_TakeChildElement(pool, parent_));
        ASSERT_NE(e, nullptr);
        for (size_t k = 0; k < size; ++k)
            ASSERT_EQ(e[k], 0) << k;
        std::memset(e, 0x5A, size);
        // A wrong pool number changes nothing: the element stays the parent's.
        bz_PhysMem_RemoveChildElement(parent_, 2, e);
        bz_PhysMem_RemoveChildElement(parent_, -1, e);
        EXPECT_NE(bz_PhysMem_TakeElement(pool), e);
        bz_PhysMem_RemoveChildElement(parent_, pool, e);
        // The pool hands its last freed element out first, cleared.
        void *again = bz_PhysMem_TakeElement(pool);
        EXPECT_EQ(again, e) << pool;
        EXPECT_EQ(static_cast<unsigned char *>(again)[size - 1], 0);
        bz_PhysMem_GiveElement(pool, again);
    }
    EXPECT_EQ(bz_PhysMem_TakeChildElement(2, parent_), nullptr);
}

TEST_F(PhysMemChildTest, AChildElementLeftInPlaceGoesWithItsParent)
{
    void *parent = bz_MemAlloc(32, BZ_MEM_CLEAR);
    void *e = bz_PhysMem_TakeChildElement(1, parent);
    ASSERT_NE(e, nullptr);
    bz_MemFree(parent);
    EXPECT_EQ(bz_PhysMem_TakeElement(1), e) << "freed with the parent, back in the pool";
    bz_PhysMem_GiveElement(1, e);
}

TEST_F(PhysMemChildTest, ARemovedBlockIsReleasedAndTheParentKeepsItsOthers)
{
    auto *block = static_cast<unsigned char *>(bz_PhysMem_AllocChildBlock(parent_));
    auto *other = static_cast<unsigned char *>(bz_PhysMem_AllocChildBlock(parent_));
    ASSERT_NE(block, nullptr);
    ASSERT_NE(other, nullptr);
    for (size_t k = 0; k < BZ_PHYS_BLOCK_BYTES; ++k)
        ASSERT_EQ(block[k], 0) << k;
    EXPECT_EQ(Blocks(), before_ + 3);
    bz_PhysMem_RemoveChildBlock(parent_, block);
    EXPECT_EQ(Blocks(), before_ + 2);
    other[BZ_PHYS_BLOCK_BYTES - 1] = 1; // still held
    // Freeing the parent (in TearDown) takes the other block and not the removed one again.
}

TEST_F(PhysMemChildTest, OpeningAndClosingChangeNothing)
{
    const uint32_t blocks = Blocks();
    const int32_t workArea = bz_PhysMem_HasWorkArea();
    bz_PhysMem_Open();
    bz_PhysMem_Close();
    EXPECT_EQ(Blocks(), blocks);
    EXPECT_EQ(bz_PhysMem_HasWorkArea(), workArea);
    EXPECT_NE(bz_PhysMem_TakeElement(0), nullptr) << "the pools are still there";
}
} // namespace
