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
        PDMemKeepSmallBytes(4096);
    }
    void TearDown() override
    {
        PDMemReleaseKeptBlocks();
#if defined(__SANITIZE_ADDRESS__)
        PDMemKeepSmallBytes(0);
#else
        PDMemKeepSmallBytes(size_t(4) << 20);
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
    const size_t before = PDMemKeptBytes();
    PDMemFree(PDMemAlloc(0, 257));
    EXPECT_EQ(PDMemKeptBytes(), before);
    PDMemFree(PDMemAlloc(0, 256));
    EXPECT_EQ(PDMemKeptBytes(), before + 272u);
}

TEST_F(PcMemoryTest, OnlyTheBytesKeptAreReused)
{
    // A 32-byte block takes 48 bytes with its tag: room for four.
    PDMemKeepSmallBytes(4 * 48 + 47);
    void *blocks[6];
    for (void *&p : blocks)
        p = PDMemAlloc(0, 32);
    for (void *p : blocks)
        PDMemFree(p);
    EXPECT_EQ(PDMemKeptBytes(), 4u * 48u);
    // The first four released are kept, handed out again last one first.
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[3]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[2]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[1]);
    EXPECT_EQ(PDMemAlloc(0, 32), blocks[0]);
    EXPECT_EQ(PDMemKeptBytes(), 0u);
    for (int i = 0; i < 4; ++i)
        PDMemFree(blocks[i]);

    // Lowering the figure gives the surplus back, the largest classes first; 0 keeps nothing.
    PDMemKeepSmallBytes(4096);
    void *small = PDMemAlloc(0, 16);
    void *big = PDMemAlloc(0, 256);
    PDMemFree(small);
    PDMemFree(big);
    EXPECT_EQ(PDMemKeptBytes(), 4u * 48u + 32u + 272u);
    PDMemKeepSmallBytes(4 * 48 + 32);
    EXPECT_EQ(PDMemKeptBytes(), 4u * 48u + 32u);
    PDMemKeepSmallBytes(40);
    EXPECT_EQ(PDMemKeptBytes(), 32u);
    EXPECT_EQ(PDMemAlloc(0, 16), small);
    PDMemFree(small);
    PDMemKeepSmallBytes(0);
    EXPECT_EQ(PDMemKeptBytes(), 0u);
    void *p = PDMemAlloc(0, 32);
    PDMemFree(p);
    EXPECT_EQ(PDMemKeptBytes(), 0u);
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
