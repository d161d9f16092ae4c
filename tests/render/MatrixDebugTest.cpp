#include "core/Debug.h"
#include "maths/Matrix.h"
#include "pc/PcWindow.h"
#include "render/MatrixDebug.h"

#include <gtest/gtest.h>

namespace
{
TEST(MatrixDebug, RowsAsDebugLinesAndOnTheClipboard)
{
    bzM34 m;
    bz_M34_Set(&m, 1, 0, 0, 0, -1, 0, 0, 0, 1, 12.5f, -3, 0.25f);
    bz_ClearDebugMessages();
    EXPECT_EQ(bz_M34_ShowDebug(&m, 3), 7);
    EXPECT_EQ(bz_GetDebugMessage(2), nullptr);
    ASSERT_NE(bz_GetDebugMessage(3), nullptr);
    EXPECT_STREQ(bz_GetDebugMessage(3), "1.000000 0.000000 0.000000");
    EXPECT_STREQ(bz_GetDebugMessage(6), "12.500000 -3.000000 0.250000");
    EXPECT_EQ(bz_GetDebugMessage(7), nullptr);
    EXPECT_EQ(bz_M33_ShowDebug(bz_M33_Identity(), 14), 17);
    EXPECT_STREQ(bz_GetDebugMessage(15), "0.000000 1.000000 0.000000");
    bz_ClearDebugMessages();
    // The clipboard is reached only through the window layer; without it the copy reports 0.
    EXPECT_EQ(bz_M34_CopyToClipboard(&m), PDWindowLayerUp() ? 1 : 0);
}
} // namespace
