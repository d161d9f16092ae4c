#include "core/Debug.h"
#include "core/Error.h"
#include "DebugLinesTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

TEST_F(DebugLines, SlotsHoldAtMost255Characters)
{
    bz_ShowDebugMessage(16, "nope");
    bz_ShowDebugMessage(-1, "nope");
    EXPECT_EQ(bz_DebugMessagesShown(), 0);
    bz_ShowDebugMessage(3, "%s", std::string(300, 'q').c_str());
    ASSERT_NE(bz_GetDebugMessage(3), nullptr);
    EXPECT_EQ(std::string(bz_GetDebugMessage(3)), std::string(255, 'q'));
    bz_ShowDebugMessage(5, "five");
    EXPECT_EQ(bz_DebugMessagesShown(), 1);
    bz_ClearDebugMessage(3);
    EXPECT_EQ(bz_DebugMessagesShown(), 1);
    bz_ClearDebugMessage(5);
    EXPECT_EQ(bz_DebugMessagesShown(), 0);
    bz_ShowDebugMessage(0, "zero");
    bz_ClearDebugMessages();
    EXPECT_EQ(bz_GetDebugMessage(0), nullptr);
    EXPECT_EQ(bz_DebugMessagesShown(), 0);
}

TEST(DebugAssert, KeepAliveReturnsSilently)
{
    KeepAlive keep;
    uint32_t reports = bz_Error_ReportCount();
    bz_AssertFailed("x > 0", "Thing.cpp", 12);
    EXPECT_EQ(bz_Error_ReportCount(), reports);
}

TEST(DebugAssertDeathTest, FailedAssertionReportsAndExits)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bzgNoFatalExit = 0;
            int x = 0;
            BZ_ASSERT(x > 0);
        },
        ::testing::ExitedWithCode(1),
        "FAILED ASSERTION\n\"x > 0\"\n\nLine [0-9]+ in\n\n.*DebugTest.cpp");
}
