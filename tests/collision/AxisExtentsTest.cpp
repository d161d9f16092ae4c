// The extents along the three axes taken four lanes wide against a scalar loop over the axes.
#include "collision/AxisExtents.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace
{
// Random point sets of 0 to 20 points, with signed zeros, huge values, infinities and NaNs among
// the coordinates: every extent equals, bit for bit, the least and greatest of the scalar dot
// products with each axis taken as lo = d < lo ? d : lo (and the like for hi).
TEST(AxisExtents, EqualTheScalarDotProductsAlongEachAxisBitForBit)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> coord(-5.0f, 5.0f), unit(0.0f, 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float odd[] = {
        0.0f, -0.0f, 3.0e38f, -3.0e38f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
    int32_t differentAxes = 0;
    for (int32_t round = 0; round < 3000; round++)
    {
        bzV3 points[20];
        const int32_t count = static_cast<int32_t>(rng() % 21);
        for (int32_t i = 0; i < count; i++)
            for (float &c : points[i].v)
                c = unit(rng) < 0.05f ? odd[rng() % 7] : coord(rng);
        const bzAxisExtents got = bz_ExtentsAlongAxes(count, [&](int32_t i) { return points[i]; });
        for (int32_t axis = 0; axis < 3; axis++)
        {
            bzV3 n{};
            n.v[axis] = 1.0f;
            float lo = 3.4028235e38f, hi = -3.4028235e38f;
            for (int32_t i = 0; i < count; i++)
            {
                const float d = points[i].x * n.x + points[i].y * n.y + points[i].z * n.z;
                lo = d < lo ? d : lo;
                hi = d > hi ? d : hi;
            }
            ASSERT_EQ(std::bit_cast<uint32_t>(got.lo[axis]), std::bit_cast<uint32_t>(lo))
                << "round " << round << " axis " << axis;
            ASSERT_EQ(std::bit_cast<uint32_t>(got.hi[axis]), std::bit_cast<uint32_t>(hi))
                << "round " << round << " axis " << axis;
        }
        differentAxes += count > 1 && got.lo[0] != got.lo[1] && got.hi[1] != got.hi[2];
    }
    // The axes were told apart: each lane read its own coordinate.
    EXPECT_GT(differentAxes, 2000);
}

// A hand-worked set: three points, each axis's extent is that coordinate's least and greatest.
TEST(AxisExtents, AHandWorkedSet)
{
    const bzV3 points[3] = {
        {{{1.0f, -2.0f, 0.5f}}}, {{{-3.0f, 4.0f, 2.0f}}}, {{{0.0f, 1.0f, -7.0f}}}};
    const bzAxisExtents e = bz_ExtentsAlongAxes(3, [&](int32_t i) { return points[i]; });
    EXPECT_EQ(e.lo[0], -3.0f);
    EXPECT_EQ(e.hi[0], 1.0f);
    EXPECT_EQ(e.lo[1], -2.0f);
    EXPECT_EQ(e.hi[1], 4.0f);
    EXPECT_EQ(e.lo[2], -7.0f);
    EXPECT_EQ(e.hi[2], 2.0f);
}
} // namespace
