// Euler angles with a selectable axis order.
#include "MathsTestUtil.h"
#include "maths/Euler.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
bool ValidOrder(uint32_t code)
{
    return (code & 3) != 3;
}

float AngleDiff(float a, float b)
{
    float d = std::fmod(a - b, 360.0f);
    if (d > 180.0f)
        d -= 360.0f;
    if (d < -180.0f)
        d += 360.0f;
    return std::fabs(d);
}

TEST(Euler, EveryValidOrderRoundTrips)
{
    MathsRandom rnd(31);
    int orders = 0;
    for (uint32_t code = 0; code < 32; code++)
    {
        if (!ValidOrder(code))
            continue;
        orders++;
        const bool repeat = code & BZ_EULER_REPEAT;
        for (int n = 0; n < 200; n++)
        {
            // Middle angle away from the degenerate one: (-85, 85) without repetition, (5, 175)
            // with it.
            bzEulerAngles in = {rnd.Uniform(-175, 175),
                                repeat ? rnd.Uniform(5, 175) : rnd.Uniform(-85, 85),
                                rnd.Uniform(-175, 175), code};
            if (repeat && (code & BZ_EULER_PARITY_ODD))
                in.a1 = -in.a1; // the parity bit negates all three angles on the way back
            bzM33 m;
            EXPECT_EQ(bz_MatrixFromEulerAngles(&m, &in), &m);
            bzEulerAngles out = {99, 99, 99, code};
            bz_MatrixToEulerAngles(&m, &out);
            EXPECT_LT(AngleDiff(out.a0, in.a0), 0.01f) << "code " << code;
            EXPECT_LT(AngleDiff(out.a1, in.a1), 0.01f) << "code " << code;
            EXPECT_LT(AngleDiff(out.a2, in.a2), 0.01f) << "code " << code;
            // And the angles give back the same matrix.
            bzM33 again;
            bz_MatrixFromEulerAngles(&again, &out);
            EXPECT_TRUE(RowsNear(again, m, 3, 1e-5f)) << "code " << code;
        }
    }
    EXPECT_EQ(orders, 24);
}

TEST(Euler, MatricesAreRotations)
{
    MathsRandom rnd(32);
    for (uint32_t code = 0; code < 32; code++)
    {
        if (!ValidOrder(code))
            continue;
        const bzEulerAngles in = {rnd.Uniform(-180, 180), rnd.Uniform(-180, 180),
                                  rnd.Uniform(-180, 180), code};
        bzM34 m;
        bz_M34_Translation(&m, 4, 5, 6);
        bz_MatrixFromEulerAngles(&m, &in);
        EXPECT_NEAR(bz_M33_DeterminantPlain(&m), 1.0f, 1e-5f) << code;
        bzM33 orthonormal;
        bz_M33_Orthonormalise(&orthonormal, &m);
        EXPECT_TRUE(RowsNear(orthonormal, m, 3, 1e-5f)) << code;
        EXPECT_TRUE(V3Near(m.row[3], bzV3{4, 5, 6}, 0.0f)) << code; // rotation rows only
    }
}

TEST(Euler, IdentityGivesZeroAnglesWithoutRepetition)
{
    for (uint32_t code = 0; code < 32; code++)
    {
        if (!ValidOrder(code) || (code & BZ_EULER_REPEAT))
            continue;
        bzEulerAngles out = {5, 5, 5, code};
        bz_MatrixToEulerAngles(bz_M33_Identity(), &out);
        EXPECT_EQ(out.a0, 0.0f) << code;
        EXPECT_EQ(out.a1, 0.0f) << code;
        EXPECT_EQ(out.a2, 0.0f) << code;
    }
}

TEST(Euler, FirstOrderTurnsAboutX)
{
    const bzEulerAngles in = {90, 0, 0, 0};
    bzM33 m;
    bz_MatrixFromEulerAngles(&m, &in);
    EXPECT_TRUE(V3Near(m.row[1], bzV3{0, 0, 1}, 1e-6f));
    bzM33 rx;
    bz_M33_RotationX(&rx, 90);
    EXPECT_TRUE(RowsNear(m, rx, 3, 1e-6f));
    // The three angles of order 0 are turns about x, then y, then z, as bz_M33_FromEulerXYZ.
    const bzEulerAngles xyz = {30, -20, 70, 0};
    bzM33 a, b;
    bz_MatrixFromEulerAngles(&a, &xyz);
    bz_M33_FromEulerXYZ(&b, 30, -20, 70);
    EXPECT_TRUE(RowsNear(a, b, 3, 1e-6f));
}

TEST(Euler, DegenerateMiddleAngleFoldsIntoTheFirst)
{
    for (uint32_t code = 0; code < 32; code++)
    {
        if (!ValidOrder(code))
            continue;
        const bool repeat = code & BZ_EULER_REPEAT;
        const bzEulerAngles in = {25, repeat ? 0.0f : 90.0f, 40, code};
        bzM33 m;
        bz_MatrixFromEulerAngles(&m, &in);
        bzEulerAngles out = {9, 9, 9, code};
        bz_MatrixToEulerAngles(&m, &out);
        // Which slot the zero lands in depends on the rotating-frame bit.
        const float third = code & BZ_EULER_ROTATING ? out.a0 : out.a2;
        EXPECT_EQ(third, 0.0f) << code;
        bzM33 again;
        bz_MatrixFromEulerAngles(&again, &out);
        EXPECT_TRUE(RowsNear(again, m, 3, 1e-4f)) << code;
    }
}

TEST(Euler, InvalidOrdersGiveNeutralResults)
{
    for (uint32_t code : {3u, 7u, 15u, 31u, 32u, 0x103u, 0xFFFFFFFFu})
    {
        const bzEulerAngles in = {10, 20, 30, code};
        bzM33 m;
        bz_M33_Scaling(&m, 5, 5, 5);
        bz_MatrixFromEulerAngles(&m, &in);
        EXPECT_EQ(bz_M33_IsIdentity(&m), 1) << code;
        bzEulerAngles out = {1, 2, 3, code};
        bz_MatrixToEulerAngles(&m, &out);
        EXPECT_EQ(out.a0, 0.0f) << code;
        EXPECT_EQ(out.a1, 0.0f) << code;
        EXPECT_EQ(out.a2, 0.0f) << code;
    }
    // Only the low byte of the code counts when reading angles back.
    const bzEulerAngles in = {10, 20, 30, 5};
    bzM33 m;
    bz_MatrixFromEulerAngles(&m, &in);
    bzEulerAngles out = {0, 0, 0, 0x7700u | 5u};
    bz_MatrixToEulerAngles(&m, &out);
    EXPECT_NEAR(out.a1, 20.0f, 1e-3f);
}
} // namespace
