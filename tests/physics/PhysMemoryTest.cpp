// The physics frame blocks, the work area's bump allocator with its exhaustion handling, and the
// physics error reporter with its hook.
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/PhysMemory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct HookCall
{
    int32_t code;
    bool hasText;
    std::string text;
};
std::vector<HookCall> gCalls;

void RecordingHook(int32_t code, const char *text)
{
    gCalls.push_back({code, text != nullptr, text ? text : ""});
}

// The report text without the origin line the engine report appends.
std::string LastReportMessage()
{
    const std::string got = bz_Error_LastReportText();
    return got.substr(0, got.find('\n'));
}

class PhysMemoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gCalls.clear();
        bz_Phys_SetErrorHook(RecordingHook);
        stackLeft_ = bz_TempStack_SpaceLeft(1, 0);
    }
    void TearDown() override
    {
        bz_PhysMem_Release();
        bz_Phys_SetErrorHook(nullptr);
        // Every test gives back all it took from the stack.
        EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_);
    }
    // Checks that exactly one work-area exhaustion was reported since the mark.
    void ExpectExhaustion(uint32_t reportsBefore)
    {
        EXPECT_EQ(bz_Error_ReportCount(), reportsBefore + 1);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics Error");
        EXPECT_EQ(LastReportMessage(), "Error = 6");
        ASSERT_EQ(gCalls.size(), 1u);
        EXPECT_EQ(gCalls[0].code, 6);
        EXPECT_FALSE(gCalls[0].hasText);
        gCalls.clear();
    }
    uint32_t stackLeft_ = 0;
};

TEST_F(PhysMemoryTest, ReserveTakesTheThreeBlocksAndLeavesSixteenKilobytesOfTheStack)
{
    const uint32_t before = bz_TempStack_SpaceLeft(1, 0);
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    ASSERT_EQ(bz_PhysMem_HasWorkArea(), 1);
    auto *rows = static_cast<uint8_t *>(bz_PhysMem_WorldRows());
    auto *s1 = static_cast<uint8_t *>(bz_PhysMem_SolverBlock1());
    auto *s2 = static_cast<uint8_t *>(bz_PhysMem_SolverBlock2());
    auto *work = static_cast<uint8_t *>(bz_PhysMem_WorkAreaBase());
    // Taken in this order from the stack, each block after the one before and large enough.
    ASSERT_TRUE(rows && s1 && s2 && work);
    EXPECT_GE(s1 - rows, 40800);
    EXPECT_GE(s2 - s1, 36480);
    EXPECT_GE(work - s2, 36480);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), work);
    // The work area is the rest of the stack less 16,384 bytes: what is left is 16,384 bytes
    // less at most one block header and alignment.
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    EXPECT_LE(left, 16384u);
    EXPECT_GE(left, 16384u - 64u);
    const uint32_t taken = 40800 + 2 * 36480 + bz_PhysMem_WorkAreaCapacity();
    EXPECT_LE(before - taken, 16384u + 4 * 64u);
    EXPECT_GE(before - taken, 16384u);
    // A second reservation while one is held changes nothing.
    EXPECT_EQ(bz_PhysMem_Reserve(), 0);
    EXPECT_EQ(bz_PhysMem_WorkAreaBase(), work);
    bz_PhysMem_Release();
    EXPECT_EQ(bz_PhysMem_HasWorkArea(), 0);
    EXPECT_EQ(bz_PhysMem_WorldRows(), nullptr);
    EXPECT_EQ(bz_PhysMem_SolverBlock2(), nullptr);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), before);
}

TEST_F(PhysMemoryTest, PeekOfExactlyTheCapacitySucceedsAndOneByteMoreFails)
{
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    void *base = bz_PhysMem_WorkAreaBase();
    const uint32_t capacity = bz_PhysMem_WorkAreaCapacity();
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_PhysMem_Peek(capacity), base);
    EXPECT_EQ(bz_Error_ReportCount(), reports);
    EXPECT_TRUE(gCalls.empty());

    EXPECT_EQ(bz_PhysMem_Peek(capacity + 1), nullptr);
    ExpectExhaustion(reports);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), base);
}

TEST_F(PhysMemoryTest, AdvanceHandsOutAlignedPiecesUntilTheEnd)
{
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    auto *base = static_cast<uint8_t *>(bz_PhysMem_WorkAreaBase());
    const uint32_t capacity = bz_PhysMem_WorkAreaCapacity();
    const uint32_t align = bz_Mem_GetDefaultAlignment();
    ASSERT_GT(align, 1u);

    // Peek and advance as a pair: the peeked address is the piece.
    void *peeked = bz_PhysMem_Peek(10);
    EXPECT_EQ(bz_PhysMem_Advance(10), peeked);
    auto *top = static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop());
    EXPECT_EQ(top - base, static_cast<std::ptrdiff_t>((10 + align - 1) / align * align));
    EXPECT_EQ(bz_PhysMem_Advance(align), top);
    EXPECT_EQ(static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop()) - top, align);

    // The rest fits exactly; one byte more does not, and nothing moves.
    const uint32_t used =
        static_cast<uint32_t>(static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop()) - base);
    const uint32_t rest = capacity - used;
    const uint32_t reports = bz_Error_ReportCount();
    void *before = bz_PhysMem_WorkAreaTop();
    EXPECT_EQ(bz_PhysMem_Advance(rest + 1), nullptr);
    ExpectExhaustion(reports);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), before);
    EXPECT_EQ(bz_PhysMem_Advance(rest), before);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), base + capacity);
    // A full work area still hands out nothing, even a byte, and the top stays at the end.
    EXPECT_EQ(bz_PhysMem_Peek(0), base + capacity);
    EXPECT_EQ(bz_PhysMem_Peek(1), nullptr);
    ExpectExhaustion(reports + 1);
    EXPECT_EQ(bz_PhysMem_Advance(0xFFFFFFFFu), nullptr);
    ExpectExhaustion(reports + 2);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), base + capacity);

    // After a reset the next peek returns the base.
    bz_PhysMem_ResetWorkArea();
    EXPECT_EQ(bz_PhysMem_Peek(1), base);
}

TEST_F(PhysMemoryTest, AdvanceRoundingNeverPassesTheEnd)
{
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    auto *base = static_cast<uint8_t *>(bz_PhysMem_WorkAreaBase());
    const uint32_t capacity = bz_PhysMem_WorkAreaCapacity();
    // Leave one byte less than the capacity free, then take it whole: its rounding would pass
    // the end unless the capacity happens to be aligned.
    ASSERT_NE(bz_PhysMem_Advance(1), nullptr);
    const uint32_t used =
        static_cast<uint32_t>(static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop()) - base);
    ASSERT_NE(bz_PhysMem_Advance(capacity - used - 1), nullptr);
    EXPECT_LE(static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop()), base + capacity);
}

TEST_F(PhysMemoryTest, WithoutAWorkAreaNothingIsHandedOut)
{
    ASSERT_EQ(bz_PhysMem_HasWorkArea(), 0);
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_PhysMem_Peek(16), nullptr);
    ExpectExhaustion(reports);
    EXPECT_EQ(bz_PhysMem_Advance(16), nullptr);
    ExpectExhaustion(reports + 1);
    bz_PhysMem_Release(); // nothing held: nothing happens
    EXPECT_EQ(bz_PhysMem_HasWorkArea(), 0);
}

TEST_F(PhysMemoryTest, AReservationThatDoesNotFitGivesEverythingBack)
{
    // Leave the stack less room than the work area needs above its reserve.
    const uint32_t room = bz_TempStack_SpaceLeft(1, 0);
    ASSERT_GT(room, 16000u);
    void *filler = bz_TempStack_Alloc(1, room - 16000, 0);
    ASSERT_NE(filler, nullptr);
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);

    EXPECT_EQ(bz_PhysMem_Reserve(), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(bz_PhysMem_HasWorkArea(), 0);
    EXPECT_EQ(bz_PhysMem_WorldRows(), nullptr);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), left);
    EXPECT_EQ(bz_PhysMem_Peek(1), nullptr);
    gCalls.clear();
    bz_TempStack_Free(1, filler);
}

TEST_F(PhysMemoryTest, RecordsCarryTheirCountAndTheirDataBehindTheHeader)
{
    KeepAlive keep;
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    struct Case
    {
        int32_t count;
        uint32_t elementBytes;
    };
    const Case cases[] = {{0, 16}, {1, 4}, {7, 12}, {1, 3}, {100, 136}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.count);
        auto *top = static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop());
        bzPhysRecord *r = bz_Phys_AllocRecord(c.count, c.elementBytes);
        ASSERT_NE(r, nullptr);
        EXPECT_GE(reinterpret_cast<uint8_t *>(r), top);
        EXPECT_LT(reinterpret_cast<uint8_t *>(r), top + alignof(bzPhysRecord));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(r) % alignof(bzPhysRecord), 0u);
        EXPECT_EQ(r->count, c.count);
        EXPECT_EQ(static_cast<uint8_t *>(r->data),
                  reinterpret_cast<uint8_t *>(r) + sizeof(bzPhysRecord));
        // The whole data lies below the new top.
        const auto *end = static_cast<uint8_t *>(r->data) + size_t(c.count) * c.elementBytes;
        EXPECT_LE(end, static_cast<uint8_t *>(bz_PhysMem_WorkAreaTop()));
        std::memset(r->data, 0xAB, size_t(c.count) * c.elementBytes);
    }
    EXPECT_TRUE(gCalls.empty());
    // A negative count: nothing, and no report.
    const uint32_t reports = bz_Error_ReportCount();
    void *top = bz_PhysMem_WorkAreaTop();
    EXPECT_EQ(bz_Phys_AllocRecord(-1, 4), nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports);
    // More than the area, or past 32 bits: error 6, the top where it was.
    EXPECT_EQ(bz_Phys_AllocRecord(1, bz_PhysMem_WorkAreaCapacity()), nullptr);
    ExpectExhaustion(reports);
    EXPECT_EQ(bz_Phys_AllocRecord(0x7fffffff, 0x10000), nullptr);
    ExpectExhaustion(reports + 1);
    EXPECT_EQ(bz_PhysMem_WorkAreaTop(), top);
    bz_PhysMem_Release();
    EXPECT_EQ(bz_Phys_AllocRecord(1, 4), nullptr);
    ExpectExhaustion(reports + 2);
}

TEST(PhysErrorTest, ReportTextsAndTheHook)
{
    gCalls.clear();
    bz_Phys_SetErrorHook(RecordingHook);
    struct Case
    {
        int32_t code;
        const char *text;
        const char *shown;
    };
    const Case cases[] = {
        {13, "", "13) "},
        {6, nullptr, "Error = 6"},
        {8, "Linear joint unknown", "8) Linear joint unknown"},
        {10, "Nan in physics", "10) Nan in physics"},
        {5, nullptr, "Error = 5"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.shown);
        gCalls.clear();
        const uint32_t reports = bz_Error_ReportCount();
        bz_Phys_ReportError(c.code, c.text);
        EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics Error");
        EXPECT_EQ(LastReportMessage(), c.shown);
        ASSERT_EQ(gCalls.size(), 1u);
        EXPECT_EQ(gCalls[0].code, c.code);
        EXPECT_EQ(gCalls[0].hasText, c.text != nullptr);
    }
    // Without a hook the report still goes out.
    bz_Phys_SetErrorHook(nullptr);
    gCalls.clear();
    const uint32_t reports = bz_Error_ReportCount();
    bz_Phys_ReportError(1, "");
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_EQ(LastReportMessage(), "1) ");
    EXPECT_TRUE(gCalls.empty());
}
} // namespace
