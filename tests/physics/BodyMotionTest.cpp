// The linear move of a free body.
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyMotion.h"
#include "physics/PhysMemory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
TEST(BodyMotionTest, ConstantVelocityMovesExactlyDtTimesVelocityEachStep)
{
    // Values exact in binary: every step adds exactly (0.125, -0.25, 0.03125).
    BZDObject body = {};
    body.startTransform.row[3] = bzV3{{{1.0f, 2.0f, 3.0f}}};
    body.linearVelocity = bzV3{{{2.0f, -4.0f, 0.5f}}};
    body.asleep = 1;
    for (int step = 1; step <= 100; ++step)
    {
        EXPECT_EQ(bz_Body_MoveLinear(&body, 0.0625f), 1);
        ASSERT_EQ(body.startTransform.row[3].x, 1.0f + 0.125f * step);
        ASSERT_EQ(body.startTransform.row[3].y, 2.0f - 0.25f * step);
        ASSERT_EQ(body.startTransform.row[3].z, 3.0f + 0.03125f * step);
    }
    EXPECT_EQ(body.asleep, 0);
    EXPECT_EQ(body.collisionMask, BZ_BODY_CHANGED_POSITION);
    // The rotation rows are not touched.
    EXPECT_EQ(body.startTransform.row[0].x, 0.0f);
}

TEST(BodyMotionTest, StillOrBadVelocityDoesNotMove)
{
    BZDObject body = {};
    body.startTransform.row[3] = bzV3{{{1.0f, 2.0f, 3.0f}}};
    body.asleep = 1;
    EXPECT_EQ(bz_Body_MoveLinear(&body, 0.04f), 0);
    EXPECT_EQ(body.asleep, 1);
    EXPECT_EQ(body.collisionMask, 0u);

    KeepAlive keep;
    static int32_t reported;
    bz_Phys_SetErrorHook([](int32_t code, const char *) { reported = code; });
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity()})
    {
        reported = 0;
        body.linearVelocity = bzV3{{{0.0f, bad, 1.0f}}};
        EXPECT_EQ(bz_Body_MoveLinear(&body, 0.04f), 0);
        EXPECT_EQ(reported, 10);
        EXPECT_EQ(bz_V3_LengthSq(&body.linearVelocity), 0.0f);
        EXPECT_EQ(body.startTransform.row[3].y, 2.0f);
    }
    bz_Phys_SetErrorHook(nullptr);
}
} // namespace
