// Fixed-point packing of floats, vectors and rotations.
#include "MathsTestUtil.h"
#include "maths/Pack.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace
{
struct Encoding
{
    const char *name;
    int32_t (*pack)(float, float, float);
    float (*unpack)(uint32_t, float, float);
    int32_t n;
};

float Unpack254(uint32_t c, float lo, float hi)
{
    return bz_Unpack254((uint8_t)c, lo, hi);
}
float Unpack126(uint32_t c, float lo, float hi)
{
    return bz_Unpack126((uint8_t)c, lo, hi);
}
float Unpack30(uint32_t c, float lo, float hi)
{
    return bz_Unpack30((uint8_t)c, lo, hi);
}
int32_t Pack16(float v, float lo, float hi)
{
    const bzV3 in = {v, v, v};
    uint16_t out[3];
    bz_PackV3_16(&in, out, lo, hi);
    return out[0];
}
float Unpack16(uint32_t c, float lo, float hi)
{
    return bz_Unpack16((uint16_t)c, lo, hi);
}

const Encoding kEncodings[] = {
    {"8-bit", bz_Pack254, Unpack254, 254}, {"7-bit", bz_Pack126, Unpack126, 126},
    {"5-bit", bz_Pack30, Unpack30, 30},    {"14-bit", bz_Pack14, bz_Unpack14, 16382},
    {"16-bit", Pack16, Unpack16, 65534},   {"21-bit", bz_Pack21, bz_Unpack21, 2097150},
};

// The packing formula as the packer works it: each step of c = trunc((v - min) / (max - min) N
// + 0.5) is rounded to single precision, in the order of its encoding (scaled first: the product
// (v - min) N before the division). Each step is computed in double precision and then rounded,
// which gives exactly the single-precision result of that step.
int32_t FormulaCode(float v, float lo, float hi, double n, bool scaledFirst)
{
    auto single = [](double x) { return static_cast<double>(static_cast<float>(x)); };
    if (v > hi)
        v = hi;
    if (v < lo)
        v = lo;
    const double offset = single(static_cast<double>(v) - lo);
    const double span = single(static_cast<double>(hi) - lo);
    const double scaled =
        scaledFirst ? single(single(offset * n) / span) : single(single(offset / span) * n);
    return static_cast<int32_t>(std::trunc(single(scaled + 0.5)));
}

struct Width
{
    const char *name;
    int32_t (*pack)(float, float, float);
    double n;
    bool scaledFirst;
};

// Every code boundary of every width: the float nearest the real boundary between codes k - 1
// and k, and the floats on either side of it, pack to the code the formula gives; and that code
// is always k - 1 or k.
TEST(Pack, EveryCodeBoundaryFollowsTheFormula)
{
    const Width widths[] = {
        {"8-bit", bz_Pack254, 254, true}, {"7-bit", bz_Pack126, 126, true},
        {"5-bit", bz_Pack30, 30, true},   {"14-bit", bz_Pack14, 16382, false},
        {"16-bit", Pack16, 65534, false}, {"21-bit", bz_Pack21, 2097150, true},
    };
    struct Range
    {
        float lo, hi;
    };
    const Range ranges[] = {{-37.5f, 120.25f}, {-1.0f, 1.0f}, {0.1f, 0.7f}, {-2048.0f, 2048.0f}};
    for (const Width &w : widths)
    {
        // The widest encoding is checked over one range, to stay within a second.
        const size_t rangeCount = w.n > 100000 ? 1 : sizeof ranges / sizeof ranges[0];
        for (size_t ri = 0; ri < rangeCount; ++ri)
        {
            const Range &r = ranges[ri];
            int64_t mismatches = 0;
            const double span = static_cast<double>(r.hi) - r.lo;
            for (int64_t k = 1; k <= static_cast<int64_t>(w.n); ++k)
            {
                const double boundary = r.lo + (static_cast<double>(k) - 0.5) * span / w.n;
                float v = static_cast<float>(boundary);
                v = std::nextafter(v, -INFINITY);
                for (int step = 0; step < 3; ++step, v = std::nextafter(v, INFINITY))
                {
                    const int32_t expected = FormulaCode(v, r.lo, r.hi, w.n, w.scaledFirst);
                    const int32_t code = w.pack(v, r.lo, r.hi);
                    if (code != expected && ++mismatches <= 5)
                    {
                        ADD_FAILURE() << w.name << " [" << r.lo << ", " << r.hi << "] v " << v
                                      << ": code " << code << ", formula " << expected;
                    }
                    if (expected != k - 1 && expected != k && mismatches <= 5)
                    {
                        ++mismatches;
                        ADD_FAILURE() << w.name << " v " << v << " gives " << expected
                                      << " at the boundary of " << k;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0) << w.name << " [" << r.lo << ", " << r.hi << "]";
        }
    }
}

TEST(Pack, EndsAndMidpointsOfEveryEncoding)
{
    struct Range
    {
        float lo, hi;
    };
    const Range ranges[] = {{0, 1}, {-1, 1}, {-100, 300}, {-2048, 2048}};
    for (const Encoding &e : kEncodings)
        for (const Range &r : ranges)
        {
            EXPECT_EQ(e.pack(r.lo, r.lo, r.hi), 0) << e.name;
            EXPECT_EQ(e.pack(r.hi, r.lo, r.hi), e.n) << e.name;
            EXPECT_EQ(e.pack((r.lo + r.hi) * 0.5f, r.lo, r.hi), e.n / 2) << e.name;
            // Beyond the range: the nearest end.
            EXPECT_EQ(e.pack(r.hi + 1000, r.lo, r.hi), e.n) << e.name;
            EXPECT_EQ(e.pack(r.lo - 1000, r.lo, r.hi), 0) << e.name;
            EXPECT_EQ(e.unpack(0, r.lo, r.hi), r.lo) << e.name;
            EXPECT_NEAR(e.unpack(e.n, r.lo, r.hi), r.hi, 1e-6f * (r.hi - r.lo)) << e.name;
            EXPECT_NEAR(e.unpack(e.n / 2, r.lo, r.hi), (r.lo + r.hi) * 0.5f, 1e-6f * (r.hi - r.lo))
                << e.name;
        }
}

TEST(Pack, RoundTripsStayWithinOneStep)
{
    MathsRandom rnd(21);
    for (const Encoding &e : kEncodings)
    {
        const float lo = -37.5f, hi = 120.25f, step = (hi - lo) / (float)e.n;
        for (int i = 0; i < 2000; i++)
        {
            const float v = rnd.Uniform(lo, hi);
            const int32_t code = e.pack(v, lo, hi);
            ASSERT_GE(code, 0) << e.name;
            ASSERT_LE(code, e.n) << e.name;
            // Rounded to the nearest code: within half a step, plus float rounding.
            EXPECT_LE(std::fabs(e.unpack((uint32_t)code, lo, hi) - v), 0.5f * step + 1e-4f)
                << e.name << " " << v;
        }
    }
}

TEST(Pack, ForeignCodesAndBadInputDoNoHarm)
{
    // Codes above N map beyond max; the 14-bit unpacker reads only its low bits.
    EXPECT_GT(bz_Unpack254(255, 0, 1), 1.0f);
    EXPECT_GT(bz_Unpack21(0x3FFFFF, 0, 1), 1.0f);
    EXPECT_EQ(bz_Unpack14(0xC000 | 8191, -1, 1), bz_Unpack14(8191, -1, 1));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A NaN packs to some code without disturbing the other fields of a packed position.
    const bzV3 v = {nan, 1, 0};
    uint64_t word = 0;
    bz_PackV3_21(&v, &word, 0, 1);
    EXPECT_EQ(word >> 21, 2097150u);
    // An empty range packs to 0.
    EXPECT_EQ(bz_Pack254(5, 3, 3), 0);
    EXPECT_EQ(bz_Pack21(5, 4, 3), 0);
    EXPECT_EQ(bz_PackFloatS32(1, 0), 0);
}

TEST(Pack, PackedPositionBitLayout)
{
    const float lo = -50, hi = 50;
    const bzV3 v = {hi, lo, hi};
    uint64_t word = 0;
    bz_PackV3_21(&v, &word, lo, hi);
    EXPECT_EQ(word, 0x7FFFF800001FFFFEull);

    const bzV3 p = {-12.5f, 0.0f, 33.3f};
    bz_PackV3_21(&p, &word, lo, hi);
    EXPECT_EQ(word & 0x1FFFFF, (uint64_t)bz_Pack21(p.x, lo, hi));
    EXPECT_EQ(word >> 21 & 0x1FFFFF, (uint64_t)bz_Pack21(p.y, lo, hi));
    EXPECT_EQ(word >> 42, (uint64_t)bz_Pack21(p.z, lo, hi));
    bzV3 back;
    bz_UnpackV3_21(&word, &back, lo, hi);
    EXPECT_TRUE(V3Near(back, p, 100.0f / 2097150.0f));

    // Bit 63 is read into z.
    const uint64_t high = 0x8000000000000000ull;
    bz_UnpackV3_21(&high, &back, 0, 1);
    EXPECT_EQ(back.x, 0.0f);
    EXPECT_EQ(back.y, 0.0f);
    EXPECT_NEAR(back.z, 2097152.0f / 2097150.0f, 1e-6f);

    uint16_t words[3];
    bz_PackV3_16(&v, words, lo, hi);
    EXPECT_EQ(words[0], 65534);
    EXPECT_EQ(words[1], 0);
    EXPECT_EQ(words[2], 65534);
}

TEST(Pack, SignedFraction)
{
    EXPECT_EQ(bz_UnpackFloatS32(0x40000000, 8.0f), 4.0f);
    EXPECT_EQ(bz_UnpackFloatS32(-0x40000000, 8.0f), -4.0f);
    EXPECT_EQ(bz_PackFloatS32(4.0f, 8.0f), 0x40000000);
    EXPECT_EQ(bz_PackFloatS32(0.0f, 8.0f), 0);
    // +range would scale to 2^31, which unpacks as -range: the code stops at 2^31 - 1.
    EXPECT_EQ(bz_PackFloatS32(8.0f, 8.0f), INT_MAX);
    EXPECT_EQ(bz_PackFloatS32(100.0f, 8.0f), INT_MAX);
    EXPECT_NEAR(bz_UnpackFloatS32(bz_PackFloatS32(8.0f, 8.0f), 8.0f), 8.0f, 1e-6f);
    // -range scales to -2^31; the half is lost in single precision, so the code is -2^31 and
    // unpacks to -range exactly.
    EXPECT_EQ(bz_PackFloatS32(-8.0f, 8.0f), INT_MIN);
    EXPECT_EQ(bz_PackFloatS32(-100.0f, 8.0f), INT_MIN);
    EXPECT_EQ(bz_UnpackFloatS32(bz_PackFloatS32(-8.0f, 8.0f), 8.0f), -8.0f);
    // Negative values truncate toward zero after the half is added.
    const float unit = 8.0f / 2147483648.0f;
    EXPECT_EQ(bz_PackFloatS32(-0.75f * unit, 8.0f), 0);
    EXPECT_EQ(bz_PackFloatS32(-1.75f * unit, 8.0f), -1);
    EXPECT_EQ(bz_PackFloatS32(0.5f * unit, 8.0f), 1);

    // The half is added in single precision like every other packer: between 2^23 and 2^24 the
    // sum rounds to even, above 2^24 the half is lost.
    struct Case
    {
        float scaled;
        int32_t code;
    };
    const Case cases[] = {{8388609.0f, 8388610},      {8388610.0f, 8388610},
                          {-8388612.0f, -8388612},    {16777218.0f, 16777218},
                          {4194304.0f, 4194304},      {-4194305.0f, -4194304},
                          {1073741824.0f, 0x40000000}};
    for (const Case &c : cases)
        EXPECT_EQ(bz_PackFloatS32(c.scaled / 2147483648.0f, 1.0f), c.code) << c.scaled;

    MathsRandom rnd(4);
    for (int i = 0; i < 2000; i++)
    {
        const float v = rnd.Uniform(-8, 8);
        EXPECT_NEAR(bz_UnpackFloatS32(bz_PackFloatS32(v, 8.0f), 8.0f), v, 2e-6f);
    }
}

TEST(Pack, IdentityRotationCodes)
{
    const bzM34 *identity = bz_M34_Identity();
    uint16_t c16[4];
    bz_PackRotation16(identity, c16);
    EXPECT_EQ(c16[0], 32767);
    EXPECT_EQ(c16[1], 32767);
    EXPECT_EQ(c16[2], 32767);
    EXPECT_EQ(c16[3], 65534);
    uint8_t c8[4];
    bz_PackRotation8(identity, c8);
    EXPECT_EQ(c8[0], 127);
    EXPECT_EQ(c8[1], 127);
    EXPECT_EQ(c8[2], 127);
    EXPECT_EQ(c8[3], 254);

    bzM34 m;
    bz_M34_Translation(&m, 1, 2, 3);
    bz_UnpackQuat16(c16, &m);
    EXPECT_TRUE(RowsNear(m, *identity, 3, 1e-4f));
    EXPECT_TRUE(V3Near(m.row[3], bzV3{1, 2, 3}, 0.0f)); // only the rotation rows are written
    bzM33 r;
    bz_UnpackQuat8(c8, &r);
    EXPECT_TRUE(RowsNear(r, *bz_M33_Identity(), 3, 0.02f));
}

TEST(Pack, RotationsRoundTripWithinTheirCodeSteps)
{
    MathsRandom rnd(8);
    for (int i = 0; i < 500; i++)
    {
        const bzM34 m = rnd.Rotation(false);
        uint16_t c16[4];
        uint8_t c8[4];
        bz_PackRotation16(&m, c16);
        bz_PackRotation8(&m, c8);
        bzM33 r16, r8;
        bz_UnpackQuat16(c16, &r16);
        bz_UnpackQuat8(c8, &r8);
        EXPECT_TRUE(RowsNear(r16, m, 3, 2e-4f));
        EXPECT_TRUE(RowsNear(r8, m, 3, 0.05f));
        // Renormalised: the unpacked rows stay unit length whatever the rounding did.
        for (int k = 0; k < 3; k++)
        {
            EXPECT_NEAR(bz_V3_Length(&r16.row[k]), 1.0f, 1e-5f);
            EXPECT_NEAR(bz_V3_Length(&r8.row[k]), 1.0f, 1e-5f);
        }
    }
    // Codes whose quaternion is nearly zero still unpack to a rotation.
    const uint8_t zero[4] = {127, 127, 127, 127};
    bzM33 r;
    bz_UnpackQuat8(zero, &r);
    EXPECT_EQ(bz_M33_IsInvalid(&r), 0);
}
} // namespace
