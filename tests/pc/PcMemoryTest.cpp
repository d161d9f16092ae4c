// The PC's raw blocks: 16-byte alignment, the per-class lists of released small blocks, the
// number kept per class and the refusal of a block released twice.
#include "pc/PcMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace
{
// Turns the lists on for one test and leaves nothing kept behind.
class PcMemoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PDMemReleaseKeptBlocks();
        PDMemKeepSmallBlocks(4);
    }
    void TearDown() override
    {
        PDMemReleaseKeptBlocks();
#if defined(__SANITIZE_ADDRESS__)
        PDMemKeepSmallBlocks(0);
#else
        PDMemKeepSmallBlocks(1024);
#endif
    }
};

TEST_F(PcMemoryTest, EveryBlockIsAlignedAndHoldsItsBytes)
{
    const size_t sizes[] = {0, 1, 15, 16, 17, 64, 95, 255, 256, 257, 4096, 100000};
    std::vector<void *> blocks;
    for (size_t size : sizes)
    {
        auto *p = static_cast<uint8_t *>(PDMemAlloc(0, size));
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << size;
        std::memset(p, 0xA5, size);
        blocks.push_back(p);
    }
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        const auto *p = static_cast<const uint8_t *>(blocks[i]);
        for (size_t k = 0; k < sizes[i]; ++k)
            ASSERT_EQ(p[k], 0xA5) << sizes[i];
        PDMemFree(blocks[i]);
    }
    PDMemFree(nullptr);
}

TEST_F(PcMemoryTest, ReleasedSmallBlocksComeBackByClassLastFirst)
{
    // 49 and 64 bytes share the 64-byte class; 65 bytes is the next one.
    void *a = PDMemAlloc(0, 64);
    void *b = PDMemAlloc(0, 49);
    void *c = PDMemAlloc(0, 65);
    PDMemFree(a);
    PDMemFree(b);
    PDMemFree(c);
    EXPECT_EQ(PDMemAlloc(0, 50), b);
    EXPECT_EQ(PDMemAlloc(0, 64), a);
    EXPECT_EQ(PDMemAlloc(0, 80), c);
    void *fresh = PDMemAlloc(0, 64);
    EXPECT_NE(fresh, a);
    EXPECT_NE(fresh, b);
    for (void *p : {a, b, c, fresh})
        PDMemFree(p);

    // Blocks over 256 bytes are never kept.
    void *big = PDMemAlloc(0, 257);
    PDMemFree(big);
    void *small = PDMemAlloc(0, 256);
    EXPECT_NE(small, big);
    PDMemFree(small);
}

TEST_F(PcMemoryTest, OnlyTheNumberKeptPerClassIsReused)
{
    void *blocks[6];
    for (void *&p : blocks)
        p = PDMemAlloc(0, 32);
    for (void *p : blocks)
        PDMemFree(p);
    // Four are kept: the first four released, handed out again last one first.
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[3]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[2]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[1]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[0]);
    for (int i = 0; i < 4; ++i)
        PDMemFree(blocks[i]);

    // Lowering the number gives the surplus back; 0 keeps nothing.
    PDMemKeepSmallBlocks(0);
    void *p = PDMemAlloc(0, 32);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(p, blocks[i]);
    PDMemFree(p);
}

#if defined(__SANITIZE_ADDRESS__)
TEST_F(PcMemoryTest, AKeptBlockMayNotBeTouched)
{
    auto *p = static_cast<uint8_t *>(PDMemAlloc(0, 48));
    EXPECT_FALSE(__asan_address_is_poisoned(p + 47));
    PDMemFree(p);
    EXPECT_TRUE(__asan_address_is_poisoned(p));
    EXPECT_TRUE(__asan_address_is_poisoned(p + 47));
    EXPECT_EQ(PDMemAlloc(0, 40), p);
    EXPECT_FALSE(__asan_address_is_poisoned(p + 47));
    PDMemFree(p);
}
#endif

using PcMemoryDeathTest = PcMemoryTest;

TEST_F(PcMemoryDeathTest, ABlockReleasedTwiceStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void *q = PDMemAlloc(0, 32);
            PDMemFree(q);
            PDMemFree(q);
        },
        "released twice");
}
} // namespace
