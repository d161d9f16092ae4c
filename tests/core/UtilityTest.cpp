#include "core/Utility.h"
#include "core/Category.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{
TEST(UtilityTest, PointInRect)
{
    const bzRect r = {10, 20, 5, 3};
    EXPECT_EQ(bz_PointInRect(&r, 10, 20), 1);
    EXPECT_EQ(bz_PointInRect(&r, 14, 22), 1);
    EXPECT_EQ(bz_PointInRect(&r, 15, 22), 0);
    EXPECT_EQ(bz_PointInRect(&r, 14, 23), 0);
    EXPECT_EQ(bz_PointInRect(&r, 9, 21), 0);
    const bzRect wide = {INT32_MAX - 1, 0, INT32_MAX, 1}; // the right edge beyond int32
    EXPECT_EQ(bz_PointInRect(&wide, INT32_MAX, 0), 1);
    EXPECT_EQ(bz_PointInRect(nullptr, 0, 0), 0);
}

TEST(UtilityTest, PowersOfTwo)
{
    const struct
    {
        uint32_t v, nearest, next;
    } cases[] = {{0, 2, 2},
                 {1, 2, 2},
                 {2, 2, 2},
                 {3, 2, 4},
                 {4, 4, 4},
                 {5, 4, 8},
                 {6, 4, 8},
                 {7, 8, 8},
                 {12, 8, 16},
                 {13, 16, 16},
                 {1000, 1024, 1024},
                 {0x80000000u, 0x80000000u, 0x80000000u},
                 {0xC0000000u, 0x80000000u, 0x80000000u},
                 {0xFFFFFFFFu, 0x80000000u, 0x80000000u}};
    for (const auto &c : cases)
    {
        EXPECT_EQ(bz_NearestPowerOfTwo(c.v), c.nearest) << c.v;
        EXPECT_EQ(bz_NextPowerOfTwo(c.v), c.next) << c.v;
    }
    EXPECT_EQ(bz_IsPowerOfTwo(0), 1);
    EXPECT_EQ(bz_IsPowerOfTwo(1), 1);
    EXPECT_EQ(bz_IsPowerOfTwo(64), 1);
    EXPECT_EQ(bz_IsPowerOfTwo(65), 0);
    EXPECT_EQ(bz_IsPowerOfTwo(96), 0);
    EXPECT_EQ(bz_IsPowerOfTwo(INT32_MIN), 1);
    EXPECT_EQ(bz_IsPowerOfTwo(-4), 1); // (v - 1) AND v is negative
}

TEST(UtilityTest, BitIndex)
{
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(bz_BitIndex(1u << i), i);
    EXPECT_EQ(bz_BitIndex(0), 0xFFFFu);
    EXPECT_EQ(bz_BitIndex(0x10000), 0xFFFFu); // beyond 16 bits
}

TEST(UtilityTest, BinaryString)
{
    EXPECT_STREQ(bz_BinaryString(0), "00000000000000000000000000000000");
    EXPECT_STREQ(bz_BinaryString(0x80000005u), "10000000000000000000000000000101");
}

TEST(UtilityTest, FormatThousands)
{
    const struct
    {
        int32_t v;
        const char *text;
    } cases[] = {{0, "0"},
                 {999, "999"},
                 {1000, "1,000"},
                 {-999, "-999"},
                 {-1000, "-1,000"},
                 {1234567, "1,234,567"},
                 {100000, "100,000"},
                 {INT32_MAX, "2,147,483,647"},
                 {INT32_MIN, "-2,147,483,648"}};
    char out[16];
    for (const auto &c : cases)
        EXPECT_STREQ(bz_FormatThousands(out, c.v), c.text);
}

TEST(UtilityTest, CaseAndNumbers)
{
    EXPECT_EQ(bz_ToLower('A'), 'a');
    EXPECT_EQ(bz_ToUpper('z'), 'Z');
    EXPECT_EQ(bz_ToUpper('5'), '5');
    EXPECT_EQ(bz_ToLower(-200), -200); // outside the character range: unchanged
    EXPECT_DOUBLE_EQ(bz_StrToDouble("2.5e3"), 2500.0);
    EXPECT_FLOAT_EQ(bz_StrToFloat(" -0.25xyz"), -0.25f);
    EXPECT_EQ(bz_StrToInt("42abc"), 42);
    EXPECT_EQ(bz_StrToInt("99999999999"), INT32_MAX);
    EXPECT_EQ(bz_StrToInt("-99999999999"), INT32_MIN);
    EXPECT_EQ(bz_StrToInt(nullptr), 0);
    EXPECT_EQ(bz_StrToDouble(nullptr), 0.0);
}

TEST(UtilityTest, CategoryCounts)
{
    uint8_t a = 0, b = 0;
    InlineSetCategory(&a, 5);
    InlineSetCategory(&b, 5);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(bz_GetCategoryCount(5), 2u);
    InlineSetCategory(&a, 255);
    EXPECT_EQ(bz_GetCategoryCount(5), 1u);
    EXPECT_EQ(bz_GetCategoryCount(255), 1u);
    EXPECT_EQ(bz_GetCategoryCount(0), 0u); // never below zero
    InlineSetCategory(nullptr, 3);
    EXPECT_EQ(bz_GetCategoryCount(3), 0u);
}
} // namespace
