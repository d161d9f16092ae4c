#include "MathsTestUtil.h"
#include "core/Random.h"
#include "maths/Matrix.h"
#include "maths/RandomVector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
float Length(const float v[3])
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST(RandomVector, UnitVectorIsUnitAndTakesItsDrawsInOrder)
{
    bz_RandomSeed(1); // draws 41 then 18467
    float v[3];
    bz_RandomUnitVector(reinterpret_cast<bzV3 *>(v));
    EXPECT_EQ(v[2], 1.0f - 2.0f * (18467 * 3.051851e-5f));
    float azimuth = 41 * 3.051851e-5f * 360.0f * 0.017453292f;
    EXPECT_NEAR(std::atan2(v[1], v[0]), azimuth, 1e-5);
    double mean[3] = {};
    for (int i = 0; i < 20000; ++i)
    {
        bz_RandomUnitVector(reinterpret_cast<bzV3 *>(v));
        ASSERT_NEAR(Length(v), 1.0f, 1e-5);
        for (int k = 0; k < 3; ++k)
            mean[k] += v[k] / 20000.0;
    }
    for (double m : mean)
        EXPECT_NEAR(m, 0.0, 0.03);
}

TEST(RandomVector, ConeVectorKeepsLengthAndAngle)
{
    bz_RandomSeed(31);
    const float d[3] = {0.6f, -1.2f, 2.0f};
    const float length = Length(d);
    for (int i = 0; i < 2000; ++i)
    {
        float out[3] = {};
        bz_RandomVectorInCone(reinterpret_cast<const bzV3 *>(d), reinterpret_cast<bzV3 *>(out),
                              20.0f, 40.0f);
        ASSERT_NEAR(Length(out), length, 1e-4);
        float cosine = (d[0] * out[0] + d[1] * out[1] + d[2] * out[2]) / (length * length);
        float angle = std::acos(std::fmin(1.0f, cosine)) / 0.017453292f;
        ASSERT_GE(angle, 10.0f - 0.01f);
        ASSERT_LE(angle, 20.0f + 0.01f);
    }
    float fixed[3];
    bz_RandomVectorInCone(reinterpret_cast<const bzV3 *>(d), reinterpret_cast<bzV3 *>(fixed), 60.0f,
                          60.0f);
    float cosine = (d[0] * fixed[0] + d[1] * fixed[1] + d[2] * fixed[2]) / (length * length);
    EXPECT_NEAR(std::acos(cosine) / 0.017453292f, 30.0f, 0.01f);

    // A zero direction leaves the output as it was.
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    float untouched[3] = {7.0f, 8.0f, 9.0f};
    bz_RandomVectorInCone(reinterpret_cast<const bzV3 *>(zero), reinterpret_cast<bzV3 *>(untouched),
                          10.0f, 20.0f);
    EXPECT_EQ(untouched[0], 7.0f);
    EXPECT_EQ(untouched[2], 9.0f);
}

TEST(RandomVector, RandomRotationsAreRotationsAboutTheOrigin)
{
    bz_RandomSeed(1234);
    bzM34 first;
    bz_M34_RandomRotation(&first);
    bool differs = false;
    for (int n = 0; n < 50; n++)
    {
        bzM34 m;
        bz_M34_RandomRotation(&m);
        bzM33 mt, p;
        bz_TransposeM33Into(&m, &mt);
        bz_MulM33Into(&mt, &p, &m);
        EXPECT_TRUE(RowsNear(p, *bz_M33_Identity(), 3, 1e-5f));
        EXPECT_NEAR(bz_M33_DeterminantPlain(&m), 1.0f, 1e-5f);
        EXPECT_TRUE(V3Near(m.row[3], bzV3{0, 0, 0}, 0.0f));
        differs = differs || !RowsNear(m, first, 3, 1e-3f);
    }
    EXPECT_TRUE(differs);
    // The same starting value gives the same rotation.
    bz_RandomSeed(1234);
    bzM34 again;
    bz_M34_RandomRotation(&again);
    EXPECT_TRUE(RowsNear(again, first, 4, 0.0f));
}
} // namespace
