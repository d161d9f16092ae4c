// The matrix library.
#include "MathsTestUtil.h"
#include "maths/Matrix.h"
#include "support/TestSupport.h"

#include "core/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace
{
TEST(Matrix, ProductOrderAppliesTheSecondOperandFirst)
{
    bzM33 rz, rx, out;
    bz_M33_RotationZ(&rz, 90);
    bz_M33_RotationX(&rx, 90);
    bz_MulM33Into(&rz, &out, &rx);
    // (0, 1, 0) goes by Rx to (0, 0, 1), which Rz leaves alone; the other order gives (-1, 0, 0).
    const bzV3 y = {0, 1, 0};
    bzV3 v;
    bz_M33_RotateV3Into(&out, &v, &y);
    EXPECT_TRUE(V3Near(v, bzV3{0, 0, 1}, 1e-6f));

    bzM33 pre = rz, post = rz;
    bz_M33_PreMul(&pre, &rx); // rx then rz
    EXPECT_TRUE(RowsNear(pre, out, 3, 0.0f));
    bz_M33_PostMul(&post, &rx); // rz then rx
    bz_M33_RotateV3Into(&post, &v, &y);
    EXPECT_TRUE(V3Near(v, bzV3{-1, 0, 0}, 1e-6f));

    // A bzM34's rotation rows take part directly.
    bzM34 m34;
    bz_M34_RotationX(&m34, 90);
    bz_M34_SetTranslation(&m34, 1, 2, 3);
    bzM33 mixed;
    bz_MulM33Into(&rz, &mixed, &m34);
    EXPECT_TRUE(RowsNear(mixed, out, 3, 0.0f));
}

TEST(Matrix, TransposedProductsAndRelativeFrames)
{
    MathsRandom rnd(11);
    for (int n = 0; n < 50; n++)
    {
        const bzM34 a = rnd.Rotation(true), b = rnd.Rotation(true);
        bzM34 rel;
        bz_RelativeM34Into(&a, &rel, &b);
        // b then a^-1.
        bzM34 aInv, expect;
        bz_InverseOrthoM34Into(&a, &aInv);
        bz_MulM34Into(&aInv, &expect, &b);
        EXPECT_TRUE(RowsNear(rel, expect, 4, 1e-4f));
        bzM34 inPlace = b;
        bz_M34_MakeRelative(&inPlace, &a);
        EXPECT_TRUE(RowsNear(inPlace, rel, 4, 0.0f));
        bzM33 t, m = {{b.row[0], b.row[1], b.row[2]}};
        bz_MulM33TransposedInto(&a, &t, &b);
        bz_M33_MakeRelative(&m, &a);
        EXPECT_TRUE(RowsNear(t, m, 3, 0.0f));
        EXPECT_TRUE(RowsNear(t, rel, 3, 0.0f));
    }
}

TEST(Matrix, FourByFourProducts)
{
    MathsRandom rnd(12);
    const bzM34 a = rnd.Rotation(true), b = rnd.Rotation(true);
    bzM44 a4, b4, p4;
    bz_M34ToM44(&a4, &a);
    bz_M34ToM44(&b4, &b);
    bz_MulM44Into(&a4, &p4, &b4);
    bzM34 p, back;
    bz_MulM34Into(&a, &p, &b);
    bz_M44ToM34(&p4, &back);
    EXPECT_TRUE(RowsNear(back, p, 4, 1e-5f));
    EXPECT_EQ(p4.row[3].w, 1.0f);
    EXPECT_EQ(p4.row[0].w, 0.0f);

    bzM44 cm;
    bz_MulM44ColumnMajorInto(&a4, &cm, &b4);
    bz_M44_Transpose(&cm);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_EQ(cm.row[i].v[j], p4.row[i].v[j]);
    bzM44 cm2;
    bz_MulM34M44ColumnMajorInto(&a4, &cm2, &b);
    bz_TransposeM44Into(&cm2, &cm2);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_NEAR(cm2.row[i].v[j], p4.row[i].v[j], 1e-6f);

    // out = m44 m34 with the bzM34 read as four rows of three.
    bzM44 m44;
    bz_M44_Set(&m44, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 1, 1, 1, 1);
    bzM34 m34, out;
    bz_M34_Set(&m34, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    bz_MulM44M34Into(&m34, &out, &m44);
    EXPECT_TRUE(V3Near(out.row[0], bzV3{1, 2, 3}, 0.0f));
    EXPECT_TRUE(V3Near(out.row[1], bzV3{8, 10, 12}, 0.0f));
    EXPECT_TRUE(V3Near(out.row[2], bzV3{21, 24, 27}, 0.0f));
    EXPECT_TRUE(V3Near(out.row[3], bzV3{22, 26, 30}, 0.0f));

    bzM44 post = a4;
    bz_M44_PostMul(&post, &b4);
    bzM44 expect;
    bz_MulM44Into(&b4, &expect, &a4);
    EXPECT_EQ(std::memcmp(&post, &expect, sizeof post), 0);

    const bzV4 v = {1, 2, 3, 1};
    bzV4 row, column;
    bz_M44_MulV4Into(&a4, &row, &v);
    bzV3 p3 = {1, 2, 3}, t3;
    bz_M34_TransformPointInto(&a, &t3, &p3);
    EXPECT_TRUE(V3Near(bzV3{row.x, row.y, row.z}, t3, 1e-5f));
    bz_M44_TransformPoint(&a4, &p3);
    EXPECT_TRUE(V3Near(p3, t3, 1e-5f));
    bzM44 at;
    bz_TransposeM44Into(&a4, &at);
    bz_M44_MulColumnV4Into(&at, &column, &v);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(column.v[i], row.v[i]);
}

TEST(Matrix, TwoDimensionalProducts)
{
    bzM23 r, t, out;
    bz_M23_Rotation(&r, 90);
    bz_M23_Translation(&t, 5, 0);
    bz_MulM23Into(&r, &out, &t); // translate, then rotate
    bzV2 p = {1, 0};
    bz_M23_TransformPoint(&out, &p);
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 6.0f, 1e-6f);
    bzM23 post = t, pre = t;
    bz_M23_PostMul(&r, &post);
    EXPECT_EQ(std::memcmp(&post, &out, sizeof out), 0);
    bz_M23_PreMul(&pre, &r); // rotate, then translate
    p = {1, 0};
    bz_M23_TransformPoint(&pre, &p);
    EXPECT_NEAR(p.x, 5.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);

    bzM22 a, b, c;
    bz_M22_Rotation(&a, 30);
    bz_M22_Rotation(&b, 60);
    bz_MulM22Into(&a, &c, &b);
    EXPECT_NEAR(c.row[0].x, 0.0f, 1e-6f);
    EXPECT_NEAR(c.row[0].y, 1.0f, 1e-6f);
    bz_M22_PostMul(&a, &b);
    EXPECT_EQ(std::memcmp(&a, &c, sizeof c), 0);
    bzM22 d = *bz_M22_Identity();
    bz_M22_PreMul(&d, &b);
    EXPECT_EQ(std::memcmp(&d, &b, sizeof d), 0);

    bzM23 about;
    const bzV2 pivot = {3, 4};
    bz_M23_RotationAbout(&about, &pivot, 77);
    bzV2 q = pivot;
    bz_M23_TransformPoint(&about, &q);
    EXPECT_NEAR(q.x, 3.0f, 1e-5f);
    EXPECT_NEAR(q.y, 4.0f, 1e-5f);
}

TEST(Matrix, RotationInverseEqualsTheOrthonormalInverseWithoutAReport)
{
    KeepAlive keep;
    MathsRandom rnd(13);
    const uint32_t before = bz_Error_ReportCount();
    for (int n = 0; n < 100; n++)
    {
        const bzM34 m = rnd.Rotation(true);
        bzM34 general, ortho, invert;
        bz_InverseM34Into(&m, &general);
        bz_InverseOrthoM34Into(&m, &ortho);
        bz_M34_Invert(&m, &invert);
        EXPECT_TRUE(RowsNear(general, ortho, 4, 2e-5f));
        EXPECT_TRUE(RowsNear(invert, ortho, 4, 2e-5f));
        bzM34 inPlace = m;
        bz_M34_InvertOrtho(&inPlace);
        EXPECT_TRUE(RowsNear(inPlace, ortho, 4, 0.0f));
        bzM33 r33, i33;
        bz_M33_Copy(&m, &r33);
        bz_InverseM33Into(&r33, &i33);
        EXPECT_TRUE(RowsNear(i33, ortho, 3, 2e-5f));
    }
    EXPECT_EQ(bz_Error_ReportCount(), before);
}

TEST(Matrix, GeneralInversesUndoScaledTransforms)
{
    MathsRandom rnd(14);
    for (int n = 0; n < 100; n++)
    {
        bzM34 m = rnd.Rotation(true);
        bz_M34_ScaleColumns(&m, rnd.Uniform(0.3f, 3), rnd.Uniform(0.3f, 3), rnd.Uniform(0.3f, 3));
        bzM34 inv, product;
        bz_InverseM34Into(&m, &inv);
        bz_MulM34Into(&inv, &product, &m);
        EXPECT_TRUE(RowsNear(product, *bz_M34_Identity(), 4, 1e-4f));

        bzM44 m4, i4, p4;
        bz_M34ToM44(&m4, &m);
        m4.row[0].w = rnd.Uniform(-0.5f, 0.5f); // a projective column too
        m4.row[2].w = rnd.Uniform(-0.5f, 0.5f);
        bz_InverseM44Into(&m4, &i4);
        bz_MulM44Into(&i4, &p4, &m4);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                EXPECT_NEAR(p4.row[i].v[j], i == j ? 1.0f : 0.0f, 1e-4f);
        bzM44 adj;
        bz_M44_Adjugate(&m4, &adj);
        const float det = bz_M44_Determinant(&m4);
        EXPECT_NEAR(adj.row[1].z / det, i4.row[1].z, 1e-4f);
        bzM44 again = m4;
        bz_M44_Invert(&again);
        EXPECT_EQ(std::memcmp(&again, &i4, sizeof again), 0);

        bzM33 r;
        bz_InverseM34RotationIntoM33(&m, &r);
        EXPECT_TRUE(RowsNear(r, inv, 3, 1e-4f));
        bzM33 signedInv;
        bz_InverseM33IntoSigned(&m, &signedInv);
        EXPECT_TRUE(RowsNear(signedInv, inv, 3, 1e-6f));
    }
}

TEST(Matrix, NearSingularMatricesAreReported)
{
    KeepAlive keep;
    struct Case
    {
        const char *what;
        bzM33 m;
        const char *text; // null: no report
        int32_t flag;
    };
    // Entries near 1e8 (2^26 and its neighbours) whose determinant is exactly 1 but whose six
    // products cancel to within FLT_EPSILON of their magnitude.
    const float a = 67108872.0f, b = 67108864.0f, c = 67108880.0f, d = 67108872.0f;
    const Case cases[] = {
        {"determinant 1e-8",
         {{{{{1e-2f, 0, 0}}}, {{{0, 1e-3f, 0}}}, {{{0, 0, 1e-3f}}}}},
         "matrix has no inverse(1)",
         0},
        {"zero", {}, "matrix has no inverse(1)", 1},
        {"cancelling",
         {{{{{a, b, 0}}}, {{{c, d, 0}}}, {{{0, 0, 1.0f / 64}}}}},
         "matrix has no inverse(2)",
         1},
        // The test is |det| <= FLT_EPSILON (1.19e-7): a determinant of 1e-6 is above it and not
        // reported.
        {"determinant 1e-6",
         {{{{{1e-2f, 0, 0}}}, {{{0, 1e-2f, 0}}}, {{{0, 0, 1e-2f}}}}},
         nullptr,
         0},
    };
    for (const Case &k : cases)
    {
        const uint32_t before = bz_Error_ReportCount();
        bzM33 out;
        bz_InverseM33Into(&k.m, &out);
        if (!k.text)
        {
            EXPECT_EQ(bz_Error_ReportCount(), before) << k.what;
            continue;
        }
        EXPECT_EQ(bz_Error_ReportCount(), before + 1) << k.what;
        EXPECT_STREQ(bz_Error_LastReportCaption(), "bz_InverseM33Into") << k.what;
        EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind(k.text, 0), 0u)
            << k.what << ": " << bz_Error_LastReportText();
        int32_t flag = -1;
        bz_M33_Determinant(&k.m, &flag);
        EXPECT_EQ(flag, k.flag) << k.what;
    }
    // The cancelling matrix still has its inverse computed.
    bzM33 out;
    bz_InverseM33Into(&cases[2].m, &out);
    EXPECT_EQ(bz_M33_IsInvalid(&out), 0);
    EXPECT_NEAR(bz_M33_Determinant(&cases[2].m), 1.0f, 0.0f);

    bzM34 m34 = {};
    bzM34 inv;
    bz_InverseM34Into(&m34, &inv);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "bz_InverseM34Into");
    bz_M34_Invert(&m34, &inv);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "bz_M34_Invert");
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("matrix has no inverse(1)", 0), 0u);
}

// The 3x3 inverse written out plainly in double: the six triple products, each added to the
// positive or the negative sum by its sign, the cofactors over their sum.
struct ReferenceInverse
{
    double det;
    double magnitude;
    float inv[9];
    int outcome;  // what the checked inverse reports: 0 nothing, else the text's number
    int32_t flag; // the bz_M33_Determinant flag
};

const char *const kReportText[3] = {nullptr, "matrix has no inverse(1)",
                                    "matrix has no inverse(2)"};

ReferenceInverse Reference(const bzM33 &m)
{
    const double a = m.row[0].x, b = m.row[0].y, c = m.row[0].z;
    const double d = m.row[1].x, e = m.row[1].y, f = m.row[1].z;
    const double g = m.row[2].x, h = m.row[2].y, k = m.row[2].z;
    const double p[6] = {a * e * k, b * f * g, c * d * h, -c * e * g, -a * f * h, -b * d * k};
    double pos = 0, neg = 0;
    for (double v : p)
    {
        if (v >= 0)
            pos += v;
        else
            neg += v;
    }
    ReferenceInverse r;
    r.det = pos + neg;
    r.magnitude = pos - neg;
    const double cof[9] = {e * k - f * h, c * h - b * k, b * f - c * e,
                           f * g - d * k, a * k - c * g, c * d - a * f,
                           d * h - e * g, b * g - a * h, a * e - b * d};
    for (int i = 0; i < 9; i++)
        r.inv[i] = (float)(cof[i] * (1.0 / r.det));
    const double epsilon = 1.1920929e-7f; // FLT_EPSILON
    r.outcome = std::fabs(r.det) <= epsilon ? 1 : std::fabs(r.det / r.magnitude) < epsilon ? 2 : 0;
    r.flag = std::fabs(r.det) <= 1e-14 || std::fabs(r.det / r.magnitude) < 1e-14;
    return r;
}

// Equal, or next to each other as floats (NaN matches NaN).
bool WithinOneStep(float x, float reference)
{
    if (std::isnan(reference))
        return std::isnan(x);
    return x == reference || x == std::nextafter(reference, INFINITY) ||
           x == std::nextafter(reference, -INFINITY);
}

// Random matrices from plainly invertible to cancelling to the last bit (a third row that is
// nearly a combination of the other two), against the plain double computation: the checked,
// unchecked and in-place inverses agree with it to the last float step, the checked ones report
// exactly what it says, and the determinant and its flag are its own.
TEST(Matrix, ThreeByThreeInversesAgreeWithAPlainDoubleComputation)
{
    KeepAlive keep;
    MathsRandom rnd(2024);
    int reports[3] = {}; // none, (1), (2)
    for (int n = 0; n < 20000; n++)
    {
        bzM33 m;
        const float scale = std::ldexp(1.0f, (int)rnd.Uniform(-12, 12));
        m.row[0] = rnd.V3(-scale, scale);
        m.row[1] = rnd.V3(-scale, scale);
        if (n % 2)
            m.row[2] = rnd.V3(-scale, scale);
        else
        {
            // Nearly dependent: a combination of the first two rows plus a little noise.
            const float s = rnd.Uniform(-2, 2), t = rnd.Uniform(-2, 2);
            const float noise = scale * std::ldexp(1.0f, (int)rnd.Uniform(-40, 0));
            const bzV3 jitter = rnd.V3(-noise, noise);
            for (int i = 0; i < 3; i++)
                m.row[2].v[i] = s * m.row[0].v[i] + t * m.row[1].v[i] + jitter.v[i];
        }
        const ReferenceInverse ref = Reference(m);

        const uint32_t before = bz_Error_ReportCount();
        bzM33 checked, unchecked, inPlace = m;
        bz_InverseM33Into(&m, &checked);
        ASSERT_EQ(bz_Error_ReportCount(), before + (ref.outcome ? 1 : 0)) << n;
        if (ref.outcome)
        {
            ASSERT_EQ(std::string(bz_Error_LastReportText()).rfind(kReportText[ref.outcome], 0), 0u)
                << n << ": " << bz_Error_LastReportText();
        }
        reports[ref.outcome]++;
        bz_InverseM33IntoSigned(&m, &unchecked);
        bz_InverseM33Into(&inPlace, &inPlace);
        ASSERT_EQ(std::memcmp(&inPlace, &checked, sizeof checked), 0) << n;
        for (int i = 0; i < 9; i++)
        {
            ASSERT_TRUE(WithinOneStep(checked.row[i / 3].v[i % 3], ref.inv[i]))
                << n << " element " << i << ": " << checked.row[i / 3].v[i % 3] << " vs "
                << ref.inv[i];
            ASSERT_TRUE(WithinOneStep(unchecked.row[i / 3].v[i % 3], ref.inv[i])) << n;
        }
        int32_t flag = -1;
        ASSERT_EQ(bz_M33_Determinant(&m, &flag), (float)ref.det) << n;
        ASSERT_EQ(flag, ref.flag) << n;
    }
    // The sweep reaches every outcome.
    EXPECT_GT(reports[0], 1000);
    EXPECT_GT(reports[1], 100);
    EXPECT_GT(reports[2], 100);
}

// Every general 3x3 inverse of m against the plain double computation: the checked inverse
// reports what it says under its own caption, the unchecked one nothing, each element is the
// reference's float or its neighbour (NaN where it has NaN), in place gives the same bits, and
// the 3x4 forms give the same rotation rows with their own reports.
::testing::AssertionResult InversesMatchReference(const bzM33 &m)
{
    const ReferenceInverse ref = Reference(m);
    auto reported = [](uint32_t before, int outcome, const char *caption) -> std::string
    {
        if (bz_Error_ReportCount() != before + (outcome ? 1 : 0))
            return "report count " + std::to_string(bz_Error_ReportCount() - before);
        if (outcome && std::string(bz_Error_LastReportCaption()) != caption)
            return std::string("caption ") + bz_Error_LastReportCaption();
        if (outcome && std::string(bz_Error_LastReportText()).rfind(kReportText[outcome], 0) != 0)
            return std::string("text ") + bz_Error_LastReportText();
        return "";
    };
    std::string fault;
    uint32_t before = bz_Error_ReportCount();
    bzM33 checked, unchecked, inPlace = m;
    bz_InverseM33Into(&m, &checked);
    fault = reported(before, ref.outcome, "bz_InverseM33Into");
    if (!fault.empty())
        return ::testing::AssertionFailure() << "checked: " << fault;
    before = bz_Error_ReportCount();
    bz_InverseM33IntoSigned(&m, &unchecked);
    if (bz_Error_ReportCount() != before)
        return ::testing::AssertionFailure() << "the unchecked inverse reported";
    before = bz_Error_ReportCount();
    bz_InverseM33Into(&inPlace, &inPlace);
    fault = reported(before, ref.outcome, "bz_InverseM33Into");
    if (!fault.empty() || std::memcmp(&inPlace, &checked, sizeof checked) != 0)
        return ::testing::AssertionFailure() << "in place: " << fault;
    for (int i = 0; i < 9; i++)
    {
        const float c = checked.row[i / 3].v[i % 3], u = unchecked.row[i / 3].v[i % 3];
        if (!WithinOneStep(c, ref.inv[i]) || !WithinOneStep(u, ref.inv[i]))
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << c << ", " << u << " against " << ref.inv[i];
    }

    bzM34 m34, general, inverted;
    for (int r = 0; r < 3; r++)
        m34.row[r] = m.row[r];
    m34.row[3] = bzV3{1, 2, 3};
    before = bz_Error_ReportCount();
    bz_InverseM34Into(&m34, &general);
    fault = reported(before, ref.outcome, "bz_InverseM34Into");
    if (!fault.empty() || std::memcmp(general.row, checked.row, sizeof checked) != 0)
        return ::testing::AssertionFailure() << "bz_InverseM34Into: " << fault;
    bzM34 generalInPlace = m34;
    bz_InverseM34Into(&generalInPlace, &generalInPlace);
    if (std::memcmp(&generalInPlace, &general, sizeof general) != 0)
        return ::testing::AssertionFailure() << "bz_InverseM34Into in place";
    before = bz_Error_ReportCount();
    bz_M34_Invert(&m34, &inverted);
    fault = reported(before, ref.flag, "bz_M34_Invert");
    if (!fault.empty() || std::memcmp(inverted.row, checked.row, sizeof checked) != 0)
        return ::testing::AssertionFailure() << "bz_M34_Invert: " << fault;
    return ::testing::AssertionSuccess();
}

// Entries from subnormal to near the float limit, alike in a matrix or spread across it, plainly
// invertible or nearly dependent rows.
TEST(Matrix, ThreeByThreeInversesOfHugeAndTinyEntriesAgreeWithAPlainDoubleComputation)
{
    KeepAlive keep;
    MathsRandom rnd(77);
    int reports[3] = {};
    const int exponents[] = {-135, -100, -60, -30, -12, 12, 30, 60, 100, 120};
    for (int e : exponents)
    {
        for (int n = 0; n < 300; n++)
        {
            bzM33 m;
            for (int r = 0; r < 3; r++)
                m.row[r] = rnd.V3(-1, 1);
            if (n % 3 == 1)
            {
                // Nearly dependent third row.
                const float s = rnd.Uniform(-2, 2), t = rnd.Uniform(-2, 2);
                const float noise = std::ldexp(1.0f, (int)rnd.Uniform(-30, 0));
                for (int i = 0; i < 3; i++)
                    m.row[2].v[i] =
                        s * m.row[0].v[i] + t * m.row[1].v[i] + noise * rnd.Uniform(-1, 1);
            }
            for (int i = 0; i < 9; i++)
            {
                // n % 3 == 2: each element at its own scale within 2^-40 to 2^40 of e's.
                const int own = n % 3 == 2 ? (int)rnd.Uniform(-40, 40) : 0;
                float &x = m.row[i / 3].v[i % 3];
                x = std::ldexp(x, std::clamp(e + own, -140, 126));
            }
            reports[Reference(m).outcome]++;
            ASSERT_TRUE(InversesMatchReference(m)) << "exponent " << e << ", matrix " << n;
        }
    }
    EXPECT_GT(reports[0], 500);
    EXPECT_GT(reports[1], 500);
    EXPECT_GT(reports[2], 50);
}

// A NaN or an infinity at each place of an invertible matrix, and matrices made of them.
TEST(Matrix, ThreeByThreeInversesOfNaNAndInfiniteEntriesAgreeWithAPlainDoubleComputation)
{
    KeepAlive keep;
    const bzM33 base = {{{{{3, 1, -1}}}, {{{0.5f, -2, 1}}}, {{{1, 0.25f, 4}}}}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {nan, inf, -inf};
    for (float special : specials)
    {
        for (int i = 0; i < 9; i++)
        {
            bzM33 m = base;
            m.row[i / 3].v[i % 3] = special;
            EXPECT_TRUE(InversesMatchReference(m)) << special << " at " << i;
        }
        bzM33 all;
        for (int i = 0; i < 9; i++)
            all.row[i / 3].v[i % 3] = special;
        EXPECT_TRUE(InversesMatchReference(all)) << special << " everywhere";
        bzM33 diagonal = {};
        for (int i = 0; i < 3; i++)
            diagonal.row[i].v[i] = special;
        EXPECT_TRUE(InversesMatchReference(diagonal)) << special << " on the diagonal";
    }
    // NaN anywhere leaves nothing but NaN, with no report.
    bzM33 m = base, out;
    m.row[1].y = nan;
    const uint32_t before = bz_Error_ReportCount();
    bz_InverseM33Into(&m, &out);
    EXPECT_EQ(bz_Error_ReportCount(), before);
    for (int i = 0; i < 9; i++)
        EXPECT_TRUE(std::isnan(out.row[i / 3].v[i % 3])) << i;
}

// Matrices on either side of where the determinant comes near FLT_EPSILON or near 2^-20, or
// cancels to about 2^-10 of its terms' magnitude: each inverse is still the reference's.
TEST(Matrix, ThreeByThreeInversesNearTheSingularityBoundsAgreeWithAPlainDoubleComputation)
{
    KeepAlive keep;
    const float eps = std::numeric_limits<float>::epsilon();
    auto below = [](float x) { return std::nextafter(x, 0.0f); };
    auto above = [](float x) { return std::nextafter(x, 1.0f); };
    struct Case
    {
        const char *what;
        float a, b, c; // diagonal (a, b, c), or rows (s, s, 0), (s, s (1 + t), 0), (0, 0, 1)
                       // with t = a and s = b: det = s^2 t against products of magnitude
                       // s^2 (2 + t)
        bool diagonal;
        int outcome; // worked out by hand: 0 none, else the report's number
    };
    const Case cases[] = {
        {"det FLT_EPSILON", 1, 1, eps, true, 1},
        {"det just above FLT_EPSILON", 1, 1, above(eps), true, 0},
        {"det just below FLT_EPSILON", 1, 1, below(eps), true, 1},
        {"det 2^-20", 0x1p-7f, 0x1p-7f, 0x1p-6f, true, 0},
        {"det just below 2^-20", 0x1p-7f, 0x1p-7f, below(0x1p-6f), true, 0},
        {"det just above 2^-20", 0x1p-7f, 0x1p-7f, above(0x1p-6f), true, 0},
        {"negative det 2^-20", -0x1p-7f, 0x1p-7f, 0x1p-6f, true, 0},
        {"det/magnitude about 2^-8", 0x1p-7f, 1, 0, false, 0},
        {"det/magnitude about 2^-9", 0x1p-8f, 1, 0, false, 0},
        {"det/magnitude just above 2^-10", 0x1p-9f + 0x1p-17f, 1, 0, false, 0},
        {"det/magnitude just below 2^-10", 0x1p-9f, 1, 0, false, 0},
        {"det/magnitude about 2^-11", 0x1p-10f, 1, 0, false, 0},
        {"det/magnitude about 2^-11, scaled", 0x1p-10f, 0x1p6f, 0, false, 0},
        {"det/magnitude about 2^-24", 0x1p-23f, 0x1p12f, 0, false, 2},
        {"det 2^-23 from cancelling products", 0x1p-23f, 1, 0, false, 1},
    };
    for (const Case &k : cases)
    {
        bzM33 m = {};
        if (k.diagonal)
        {
            m.row[0].x = k.a;
            m.row[1].y = k.b;
            m.row[2].z = k.c;
        }
        else
        {
            m.row[0] = bzV3{k.b, k.b, 0};
            m.row[1] = bzV3{k.b, k.b * (1 + k.a), 0};
            m.row[2] = bzV3{0, 0, 1};
        }
        EXPECT_EQ(Reference(m).outcome, k.outcome) << k.what;
        EXPECT_TRUE(InversesMatchReference(m)) << k.what;
    }
}

TEST(Matrix, TwoByTwoInversesRefuseMirrors)
{
    bzM22 mirror = {{{{{1, 0}}}, {{{0, -1}}}}};
    bzM22 out = {{{{{7, 7}}}, {{{7, 7}}}}};
    EXPECT_EQ(bz_InverseM22Into(&mirror, &out), 1);
    EXPECT_EQ(out.row[0].x, 7.0f);
    EXPECT_EQ(out.row[1].y, 7.0f);

    bzM23 m, inv, product;
    bz_M23_Rotation(&m, 40);
    bz_M23_ScaleRows(&m, 2, 3);
    m.row[2] = bzV2{5, -1};
    EXPECT_EQ(bz_InverseM23Into(&m, &inv), 0);
    bz_MulM23Into(&inv, &product, &m);
    EXPECT_NEAR(product.row[0].x, 1.0f, 1e-5f);
    EXPECT_NEAR(product.row[0].y, 0.0f, 1e-5f);
    EXPECT_NEAR(product.row[2].x, 0.0f, 1e-5f);
    EXPECT_NEAR(product.row[2].y, 0.0f, 1e-5f);
    EXPECT_EQ(bz_M22_Determinant(bz_M22_Identity()), 1.0f);
    EXPECT_EQ(bz_Det22(1, 2, 3, 4), -2.0f);
    EXPECT_EQ(bz_Det33(2, 0, 0, 0, 3, 0, 0, 0, 4), 24.0f);
}

TEST(Matrix, RotationsAndTheirFamily)
{
    bzM34 rz, fromAxis;
    bz_M34_RotationZ(&rz, 30);
    const bzV3 z = {0, 0, 2};
    bz_M34_FromAxisAngle(&fromAxis, &z, 30);
    EXPECT_TRUE(RowsNear(fromAxis, rz, 4, 1e-6f));
    const bzV3 zero = {0, 0, 0};
    bz_M34_FromAxisAngle(&fromAxis, &zero, 30);
    EXPECT_EQ(bz_M34_IsIdentity(&fromAxis), 1);

    // Pre turns about the matrix's own axis (the translation stays), post about the parent's.
    bzM34 m;
    bz_M34_Translation(&m, 5, 0, 0);
    bzM34 pre = m, post = m;
    bz_M34_PreRotateZ(&pre, 90);
    bz_M34_PostRotateZ(&post, 90);
    EXPECT_TRUE(V3Near(pre.row[3], bzV3{5, 0, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(post.row[3], bzV3{0, 5, 0}, 1e-5f));
    bzM34 rz90;
    bz_M34_RotationZ(&rz90, 90);
    EXPECT_TRUE(RowsNear(pre, rz90, 3, 0.0f));
    EXPECT_TRUE(RowsNear(post, rz90, 3, 0.0f));

    MathsRandom rnd(15);
    const bzM34 a = rnd.Rotation(true);
    const bzV3 axis = rnd.Axis();
    for (int axisIndex = 0; axisIndex < 3; axisIndex++)
    {
        void (*build)(bzM34 *, float) =
            axisIndex == 0 ? bz_M34_RotationX
                           : (axisIndex == 1 ? bz_M34_RotationY : bz_M34_RotationZ);
        void (*preInto)(const bzM34 *, bzM34 *, float) =
            axisIndex == 0 ? bz_PreRotateXM34Into
                           : (axisIndex == 1 ? bz_PreRotateYM34Into : bz_PreRotateZM34Into);
        void (*postInto)(const bzM34 *, bzM34 *, float) =
            axisIndex == 0 ? bz_PostRotateXM34Into
                           : (axisIndex == 1 ? bz_PostRotateYM34Into : bz_PostRotateZM34Into);
        bzM34 r, expectPre, expectPost, got;
        build(&r, 33);
        bz_MulM34Into(&a, &expectPre, &r);
        bz_MulM34Into(&r, &expectPost, &a);
        preInto(&a, &got, 33);
        EXPECT_TRUE(RowsNear(got, expectPre, 4, 0.0f)) << axisIndex;
        postInto(&a, &got, 33);
        EXPECT_TRUE(RowsNear(got, expectPost, 4, 0.0f)) << axisIndex;
    }
    bzM34 viaAxis = a, expect;
    bz_M34_PreRotateAxis(&viaAxis, &axis, 50);
    bz_PreRotateAxisM34Into(&a, &expect, &axis, 50);
    EXPECT_TRUE(RowsNear(viaAxis, expect, 4, 0.0f));
    bzM34 r;
    bz_M34_FromAxisAngle(&r, &axis, 50);
    bz_MulM34Into(&a, &expect, &r);
    EXPECT_TRUE(RowsNear(viaAxis, expect, 4, 0.0f));
    bz_M34_PostRotateAxis(&viaAxis, &axis, -50);
    bz_PostRotateAxisM34Into(&expect, &expect, &axis, -50);
    EXPECT_TRUE(RowsNear(viaAxis, expect, 4, 0.0f));

    bzM33 m33 = {{a.row[0], a.row[1], a.row[2]}}, r33, got33;
    bz_M33_RotationY(&r33, 12);
    bz_PreRotateYM33Into(&m33, &got33, 12);
    bz_M33_PreRotateY(&m33, 12);
    EXPECT_TRUE(RowsNear(m33, got33, 3, 0.0f));
    bz_M33_PostRotateX(&m33, 10);
    bz_M33_PostRotateX(&m33, -10);
    EXPECT_TRUE(RowsNear(m33, got33, 3, 1e-5f));

    bzM44 a4, r4, got4, expect4;
    bz_M34ToM44(&a4, &a);
    bz_M44_RotationX(&r4, 21);
    bz_PostRotateXM44Into(&a4, &got4, 21);
    bz_MulM44Into(&r4, &expect4, &a4);
    EXPECT_EQ(std::memcmp(&got4, &expect4, sizeof got4), 0);
    EXPECT_EQ(r4.row[3].w, 1.0f);

    bzM23 t, rotated;
    bz_M23_Translation(&t, 2, 3);
    bz_PreRotateZM23Into(&t, &rotated, 90);
    EXPECT_EQ(rotated.row[2].x, 2.0f);
    EXPECT_NEAR(rotated.row[0].y, 1.0f, 1e-6f);
    bzM22 m22 = *bz_M22_Identity();
    bz_M22_PreRotateZ(&m22, 45);
    bz_M22_PostRotateZ(&m22, 45);
    EXPECT_NEAR(m22.row[0].y, 1.0f, 1e-6f);
}

TEST(Matrix, AboutPivotKeepsThePivotFixed)
{
    const bzV3 pivot = {1, 2, 3}, axis = {0.3f, 1, -0.2f};
    bzM34 m;
    bz_M34_FromAxisAngleAbout(&m, &pivot, &axis, 70);
    bzV3 p = pivot;
    bz_M34_TransformPoint(&m, &p);
    EXPECT_TRUE(V3Near(p, pivot, 1e-5f));
    bzM23 m2;
    bz_M23_Rotation(&m2, 50);
    const bzV2 pv = {4, -1};
    bz_M23_AboutPivot(&m2, &pv);
    bzV2 q = pv;
    bz_M23_TransformPoint(&m2, &q);
    EXPECT_NEAR(q.x, 4.0f, 1e-5f);
    EXPECT_NEAR(q.y, -1.0f, 1e-5f);
}

TEST(Matrix, TranslationAndScaling)
{
    bzM34 m;
    bz_M34_RotationZ(&m, 90);
    bzM34 local;
    bz_TranslateLocalM34Into(&m, &local, 1, 0, 0);
    EXPECT_TRUE(V3Near(local.row[3], bzV3{0, 1, 0}, 1e-6f));
    bz_M34_TranslateLocal(&m, 1, 0, 0);
    EXPECT_TRUE(RowsNear(m, local, 4, 0.0f));
    bz_M34_Translate(&m, 0, 0, 5);
    EXPECT_TRUE(V3Near(m.row[3], bzV3{0, 1, 5}, 1e-6f));
    bzM34 moved;
    bz_TranslateM34Into(&m, &moved, 1, 1, 1);
    EXPECT_TRUE(V3Near(moved.row[3], bzV3{1, 2, 6}, 1e-6f));

    bzM33 s;
    bz_M33_Set(&s, 1, 2, 3, 4, 5, 6, 7, 8, 9);
    bzM33 cols, rows;
    bz_ScaleColumnsM33Into(&s, &cols, 1, 10, 100);
    bz_ScaleRowsM33Into(&s, &rows, 1, 10, 100);
    EXPECT_TRUE(V3Near(cols.row[1], bzV3{4, 50, 600}, 0.0f));
    EXPECT_TRUE(V3Near(rows.row[1], bzV3{40, 50, 60}, 0.0f));
    // Column scaling is m S, row scaling S m.
    bzM33 scale, viaProduct;
    bz_M33_Scaling(&scale, 1, 10, 100);
    bz_MulM33Into(&scale, &viaProduct, &s);
    EXPECT_TRUE(RowsNear(viaProduct, cols, 3, 0.0f));
    bz_MulM33Into(&s, &viaProduct, &scale);
    EXPECT_TRUE(RowsNear(viaProduct, rows, 3, 0.0f));

    bzM34 t;
    bz_M34_Set(&t, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    bzM34 tc = t, tr = t;
    bz_M34_ScaleColumns(&tc, 2, 1, 1);
    bz_M34_ScaleRows(&tr, 2, 1, 1);
    EXPECT_EQ(tc.row[3].x, 20.0f);
    EXPECT_EQ(tr.row[3].x, 10.0f);
    EXPECT_EQ(tr.row[0].y, 4.0f);

    bzM44 m4;
    bz_M44_Translation(&m4, 1, 2, 3);
    bzM44 out4;
    bz_M44_Zero(&out4);
    bz_M44_TranslateInto(&m4, &out4, 1, 1, 1);
    EXPECT_EQ(out4.row[3].x, 2.0f);
    EXPECT_EQ(out4.row[3].w, 0.0f); // only x, y, z of the translation row are written
    EXPECT_EQ(out4.row[0].x, 0.0f);

    bzM23 m23;
    bz_M23_Scaling(&m23, 2, 3);
    m23.row[2] = bzV2{1, 1};
    bzM23 out23;
    bz_ScaleColumnsM23Into(&m23, &out23, 10, 100);
    EXPECT_EQ(out23.row[2].y, 100.0f);
    bz_ScaleRowsM23Into(&m23, &out23, 10, 100);
    EXPECT_EQ(out23.row[2].y, 1.0f);
    EXPECT_EQ(out23.row[1].y, 300.0f);
    bzM23 local23;
    bz_TranslateLocalM23Into(&m23, &local23, 1, 1);
    EXPECT_EQ(local23.row[2].x, 3.0f);
    EXPECT_EQ(local23.row[2].y, 4.0f);
}

TEST(Matrix, ReflectionsMirrorPoints)
{
    const bzPlane plane = {{0, 1, 0}, 2};
    bzM34 m;
    bz_M34_Reflection(&plane, &m);
    bzV3 p = {3, 5, -1};
    bz_M34_TransformPoint(&m, &p);
    EXPECT_TRUE(V3Near(p, bzV3{3, -1, -1}, 1e-6f));
    EXPECT_NEAR(bz_M33_DeterminantPlain(&m), -1.0f, 1e-6f);

    const bzV3 line = {1, 0, -2}; // x - 2 = 0 reads as d = -2
    bzM23 m23;
    bz_M23_Reflection(&line, &m23);
    bzV2 q = {5, 7};
    bz_M23_TransformPoint(&m23, &q);
    EXPECT_NEAR(q.x, -1.0f, 1e-6f);
    EXPECT_NEAR(q.y, 7.0f, 1e-6f);

    const bzV2 n = {0, 1};
    bzM22 r = *bz_M22_Identity(), twice;
    bz_M22_PreReflect(&r, &n);
    EXPECT_EQ(r.row[1].y, -1.0f);
    bz_PostReflectM22Into(&r, &twice, &n);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            EXPECT_EQ(twice.row[i].v[j], bz_M22_Identity()->row[i].v[j]);
}

TEST(Matrix, OrthonormalFrames)
{
    MathsRandom rnd(16);
    for (int n = 0; n < 50; n++)
    {
        const bzM34 r = rnd.Rotation(false);
        bzM33 skewed = {{r.row[0], r.row[1], r.row[2]}};
        bz_M33_ScaleRows(&skewed, 2, 3, 4);
        bzM33 ortho, residual;
        bz_M33_OrthoResidualInto(&skewed, &residual, &ortho);
        EXPECT_TRUE(RowsNear(ortho, r, 3, 1e-5f));
        bzM33 diag;
        bz_M33_Scaling(&diag, 2, 3, 4);
        EXPECT_TRUE(RowsNear(residual, diag, 3, 1e-4f));
        bz_M33_Orthonormalise(&skewed);
        EXPECT_TRUE(RowsNear(skewed, r, 3, 1e-5f));
        bzM34 r34 = r;
        bz_M34_ScaleRows(&r34, 5, 5, 5);
        bz_M34_SetTranslation(&r34, 1, 2, 3);
        bzM34 o34;
        bz_OrthonormaliseM34Into(&o34, &r34);
        EXPECT_TRUE(RowsNear(o34, r, 3, 1e-5f));
        EXPECT_TRUE(V3Near(o34.row[3], bzV3{1, 2, 3}, 0.0f));
        bz_M33_Orthonormalise(&r34); // the rotation rows of a bzM34, in place
        EXPECT_TRUE(RowsNear(r34, r, 3, 1e-5f));
    }
    bzM33 rows;
    bz_M33_Set(&rows, 3, 0, 0, 0, 0, 0, 0, 0, 1e-9f);
    bz_M33_NormaliseRows(&rows);
    EXPECT_TRUE(V3Near(rows.row[0], bzV3{1, 0, 0}, 0.0f));
    EXPECT_TRUE(V3Near(rows.row[1], bzV3{0, 0, 1}, 0.0f));
    EXPECT_TRUE(V3Near(rows.row[2], bzV3{0, 0, 1}, 0.0f));
}

bool IsOrthonormal(const bzM33 &m)
{
    bzM33 mt, p;
    bz_TransposeM33Into(&m, &mt);
    bz_MulM33Into(&mt, &p, &m);
    return bz_M33_IsInvalid(&m) == 0 && RowsNear(p, *bz_M33_Identity(), 3, 1e-5f) &&
           std::fabs(bz_M33_DeterminantPlain(&m) - 1.0f) < 1e-5f;
}

TEST(Matrix, FramesFromForwardAndUp)
{
    struct Case
    {
        bzV3 dir, up, row2;
    };
    const Case cases[] = {
        {{0, 0, 5}, {0, 1, 0}, {0, 0, 1}},
        {{0, 3, 0}, {0, 1, 0}, {0, 1, 0}},  // up along the direction
        {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}},  // no direction
        {{2, 0, 0}, {1, 0, 0}, {1, 0, 0}},  // along x: the quarter turn about x moves nothing
        {{0, 0, 0}, {-3, 0, 0}, {1, 0, 0}}, // both at once
        {{1, 1, 1}, {0, 0, 0}, {0.57735f, 0.57735f, 0.57735f}},
    };
    for (const Case &c : cases)
    {
        bzM33 m;
        bz_M33_FromForwardUp(&m, &c.dir, &c.up);
        EXPECT_TRUE(IsOrthonormal(m)) << c.dir.x << " " << c.dir.y << " " << c.dir.z;
        EXPECT_TRUE(V3Near(m.row[2], c.row2, 1e-5f));
        bzM34 t;
        bz_M34_FromForwardUpTransposed(&t, &c.dir, &c.up);
        bzM33 tt;
        bz_TransposeM33Into(&t, &tt);
        EXPECT_TRUE(RowsNear(tt, m, 3, 1e-6f));
    }
    // A plain case: y row is the up hint made perpendicular.
    const bzV3 dir = {0, 0, 1}, up = {0, 1, 1};
    bzM34 m;
    bz_M34_Translation(&m, 1, 1, 1);
    bz_M34_FromForwardUp(&m, &dir, &up, 0);
    EXPECT_TRUE(V3Near(m.row[1], bzV3{0, 1, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(m.row[0], bzV3{1, 0, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(m.row[3], bzV3{1, 1, 1}, 0.0f));
    bz_M34_FromForwardUp(&m, &dir, &up, 1);
    EXPECT_TRUE(V3Near(m.row[3], bzV3{0, 0, 0}, 0.0f));

    const bzV3 target = {10, 0, 0}, eye = {0, 0, 0};
    bzM34 look;
    bz_M34_LookAt(&look, &target, &eye, 0, 1);
    EXPECT_TRUE(V3Near(look.row[2], bzV3{1, 0, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(look.row[1], bzV3{0, 1, 0}, 1e-6f));
    bz_M34_LookAt(&look, &target, &eye, 90, 1);
    EXPECT_TRUE(V3Near(look.row[2], bzV3{1, 0, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(look.row[1], bzV3{0, 0, 1}, 1e-6f));
    const bzV3 high = {10, 10, 0};
    bzM33 pitch;
    bz_M33_LookAt(&pitch, &high, &eye, 0);
    EXPECT_NEAR(bz_M33_GetPitch(&pitch), 45.0f, 1e-4f);
}

TEST(Matrix, RotationBetweenTwoVectors)
{
    MathsRandom rnd(17);
    for (int n = 0; n < 50; n++)
    {
        const bzV3 a = rnd.V3(-3, 3), b = rnd.V3(-3, 3);
        bzM33 m;
        bz_M33_FromTwoVectors(&a, &b, &m, 0);
        bzV3 turned;
        bz_M33_RotateV3Into(&m, &turned, &a);
        bzV3 unitTurned, unitB;
        bz_V3_NormaliseInto(&turned, &unitTurned);
        bz_V3_NormaliseInto(&b, &unitB);
        EXPECT_TRUE(V3Near(unitTurned, unitB, 1e-4f));
        EXPECT_TRUE(IsOrthonormal(m));
    }
    const bzV3 x = {1, 0, 0}, negX = {-1, 0, 0}, zero = {0, 0, 0};
    bzM33 m;
    bz_M33_FromTwoVectors(&x, &x, &m, 1);
    EXPECT_EQ(bz_M33_IsIdentity(&m), 1);
    // Opposite vectors turn half way round y.
    bz_M33_FromTwoVectors(&x, &negX, &m, 1);
    bzV3 v;
    bz_M33_RotateV3Into(&m, &v, &x);
    EXPECT_TRUE(V3Near(v, negX, 1e-6f));
    bz_M33_FromTwoVectors(&zero, &x, &m, 0);
    EXPECT_EQ(bz_M33_IsIdentity(&m), 1);
}

TEST(Matrix, InterpolationBlendsQuaternionsWithoutRenormalising)
{
    MathsRandom rnd(18);
    const bzM34 a = rnd.Rotation(false), b = rnd.Rotation(false);
    bzM33 out;
    bz_M33_Interpolate(&a, &out, &b, 0.0f);
    EXPECT_TRUE(RowsNear(out, a, 3, 1e-5f));
    bz_M33_Interpolate(&a, &out, &b, 1.0f);
    EXPECT_TRUE(RowsNear(out, b, 3, 1e-5f));

    // Rx(170) and Rx(-170) come out of the matrix conversion with opposite signs of w: half way
    // the blend is (x, 0, 0, 0) with x = sin 85 degrees, and its rows are not unit length.
    bzM33 p, q;
    bz_M33_RotationX(&p, 170);
    bz_M33_RotationX(&q, -170);
    bz_M33_Interpolate(&p, &out, &q, 0.5f);
    const float s = std::sin(85.0f * 0.017453292f);
    EXPECT_NEAR(bz_V3_Length(&out.row[1]), 2 * s * s - 1, 1e-5f);
    EXPECT_GT(std::fabs(bz_V3_Length(&out.row[1]) - 1.0f), 0.01f);
}

TEST(Matrix, IdentityAndValidityTests)
{
    bzM34 m = *bz_M34_Identity();
    EXPECT_EQ(bz_M34_IsIdentity(&m), 1);
    m.row[3].z = 1e-6f;
    EXPECT_EQ(bz_M34_IsIdentity(&m), 0);
    m.row[3].z = 1e-8f;
    EXPECT_EQ(bz_M34_IsIdentity(&m), 1);
    m.row[1].y = 1.0f + 1e-6f;
    EXPECT_EQ(bz_M34_IsIdentity(&m), 0);
    EXPECT_EQ(bz_M33_IsIdentity(bz_M33_Identity()), 1);

    EXPECT_EQ(bz_M34_IsInvalid(bz_M34_Identity()), 0);
    m = *bz_M34_Identity();
    m.row[3].y = std::numeric_limits<float>::infinity();
    EXPECT_EQ(bz_M34_IsInvalid(&m), 1);
    EXPECT_EQ(bz_M33_IsInvalid(&m), 0); // the rotation rows are fine
    m.row[2].x = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(bz_M33_IsInvalid(&m), 1);
    EXPECT_EQ(bz_M34_IsIdentity(&m), 0);
    m.row[2].x = std::numeric_limits<float>::max();
    EXPECT_EQ(bz_M33_IsInvalid(&m), 0);
}

// Every static identity holds exactly 1 on its diagonal and 0 elsewhere, lies in a block of its
// own, and leaves a matrix exactly as it is in a product from either side.
TEST(Matrix, StaticIdentities)
{
    EXPECT_NE(static_cast<const void *>(bz_M33_IdentityB()),
              static_cast<const void *>(bz_M33_Identity()));
    EXPECT_TRUE(RowsNear(*bz_M33_IdentityB(), *bz_M33_Identity(), 3, 0.0f));
    EXPECT_EQ(bz_M33_IsIdentity(bz_M33_IdentityB()), 1);
    EXPECT_EQ(bz_M34_IsIdentity(bz_M34_Identity()), 1);
    EXPECT_EQ(bz_M22_Determinant(bz_M22_Identity()), 1.0f);

    for (const bzM33 *identity : {bz_M33_Identity(), bz_M33_IdentityB()})
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                EXPECT_EQ(identity->row[i].v[j], i == j ? 1.0f : 0.0f) << i << " " << j;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_EQ(bz_M34_Identity()->row[i].v[j], i == j ? 1.0f : 0.0f) << i << " " << j;
    EXPECT_EQ(bz_M22_Identity()->row[0].x, 1.0f);
    EXPECT_EQ(bz_M22_Identity()->row[0].y, 0.0f);
    EXPECT_EQ(bz_M22_Identity()->row[1].x, 0.0f);
    EXPECT_EQ(bz_M22_Identity()->row[1].y, 1.0f);

    MathsRandom rnd(23);
    const bzM34 a = rnd.Rotation(true);
    bzM33 a33;
    for (int i = 0; i < 3; i++)
        a33.row[i] = a.row[i];
    for (const bzM33 *identity : {bz_M33_Identity(), bz_M33_IdentityB()})
    {
        bzM33 out;
        bz_MulM33Into(identity, &out, &a33);
        EXPECT_EQ(std::memcmp(&out, &a33, sizeof out), 0);
        bz_MulM33Into(&a33, &out, identity);
        EXPECT_EQ(std::memcmp(&out, &a33, sizeof out), 0);
    }
    bzM34 out34;
    bz_MulM34Into(bz_M34_Identity(), &out34, &a);
    EXPECT_EQ(std::memcmp(&out34, &a, sizeof out34), 0);
    bz_MulM34Into(&a, &out34, bz_M34_Identity());
    EXPECT_EQ(std::memcmp(&out34, &a, sizeof out34), 0);
    const bzM22 m22 = {{{0.25f, -3.5f}, {7.0f, 0.125f}}};
    bzM22 out22;
    bz_MulM22Into(bz_M22_Identity(), &out22, &m22);
    EXPECT_EQ(std::memcmp(&out22, &m22, sizeof out22), 0);
    bz_MulM22Into(&m22, &out22, bz_M22_Identity());
    EXPECT_EQ(std::memcmp(&out22, &m22, sizeof out22), 0);
}

TEST(Matrix, TwoFactorScaleOfFourByFour)
{
    bzM44 s;
    bz_M44_Set(&s, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    bz_M44_Scale2(&s, 2, 3);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
        {
            const float want = i != j ? 0.0f : (i == 0 ? 2.0f : (i == 1 ? 3.0f : 1.0f));
            EXPECT_EQ(s.row[i].v[j], want) << i << " " << j;
        }
    // Post: the matrix, then the scale; pre: the scale, then the matrix.
    MathsRandom rnd(20);
    const bzM34 a = rnd.Rotation(true);
    bzM44 m, post, pre, expect;
    bz_M34ToM44(&m, &a);
    bz_PostScale2M44Into(&m, &post, 2, 3);
    bz_MulM44Into(&s, &expect, &m);
    EXPECT_EQ(std::memcmp(&post, &expect, sizeof post), 0);
    bz_PreScale2M44Into(&m, &pre, 2, 3);
    bz_MulM44Into(&m, &expect, &s);
    EXPECT_EQ(std::memcmp(&pre, &expect, sizeof pre), 0);
    // A point: (1, 1, 1) scaled to (2, 3, 1), then placed by m.
    bzV3 p = {1, 1, 1}, q = {2, 3, 1};
    bz_M44_TransformPoint(&pre, &p);
    bz_M34_TransformPoint(&a, &q);
    EXPECT_TRUE(V3Near(p, q, 1e-5f));
}

TEST(Matrix, ConstructionAndConversion)
{
    bzM34 m;
    bz_M34_Set(&m, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    bzM44 wide;
    bz_M34ToM44(&wide, &m);
    EXPECT_EQ(wide.row[1].y, 5.0f);
    EXPECT_EQ(wide.row[1].w, 0.0f);
    EXPECT_EQ(wide.row[3].w, 1.0f);
    bzV4 v4;
    const bzV3 v3 = {1, 2, 3};
    bz_V3ToV4(&v4, &v3);
    EXPECT_EQ(v4.w, 1.0f);
    bz_M34_TransposeRotation(&m);
    EXPECT_EQ(m.row[0].y, 4.0f);
    EXPECT_EQ(m.row[3].x, 10.0f);
    bzM33 z;
    bz_M33_Zero(&z);
    EXPECT_EQ(bz_M33_DeterminantPlain(&z), 0.0f);
    bz_M34_Zero(&m);
    EXPECT_EQ(m.row[3].z, 0.0f);
    bzM23 i23;
    bz_M23_SetIdentity(&i23);
    EXPECT_EQ(i23.row[1].y, 1.0f);
    EXPECT_EQ(i23.row[2].x, 0.0f);
    bzM44 t;
    bz_M44_SetIdentity(&t);
    bz_M44_SetTranslation(&t, 7, 8, 9);
    EXPECT_EQ(t.row[3].y, 8.0f);
    EXPECT_EQ(t.row[3].w, 1.0f);
    bz_M44_Clear(&t);
    EXPECT_EQ(t.row[0].x, 0.0f);
}

TEST(Matrix, RelativePairOfTwoFrames)
{
    MathsRandom rnd(19);
    const bzM34 a = rnd.Rotation(true), b = rnd.Rotation(true);
    bzM34 rel, inv;
    bz_M34_RelativePair(&a, &b, &rel, &inv);
    // A point of b's frame: through b to the world, then into a's frame.
    const bzV3 p = {1, -2, 0.5f};
    bzV3 world, inA, viaRel;
    bz_M34_TransformPointInto(&b, &world, &p);
    bz_M34_InverseTransformPointInto(&a, &inA, &world);
    bz_M34_TransformPointInto(&rel, &viaRel, &p);
    EXPECT_TRUE(V3Near(viaRel, inA, 1e-4f));
    bzM34 product;
    bz_MulM34Into(&inv, &product, &rel);
    EXPECT_TRUE(RowsNear(product, *bz_M34_Identity(), 4, 1e-4f));

    bz_M34_RelativePair(nullptr, nullptr, &rel, &inv);
    EXPECT_EQ(bz_M34_IsIdentity(&rel), 1);
    EXPECT_EQ(bz_M34_IsIdentity(&inv), 1);
    bz_M34_RelativePair(&a, nullptr, &rel, &inv);
    EXPECT_TRUE(RowsNear(inv, a, 4, 0.0f));
    bz_MulM34Into(&rel, &product, &a);
    EXPECT_TRUE(RowsNear(product, *bz_M34_Identity(), 4, 1e-4f));
    bz_M34_RelativePair(nullptr, &b, &rel, nullptr);
    EXPECT_TRUE(RowsNear(rel, b, 4, 0.0f));
}

TEST(Matrix, DebugOutput)
{
    bzM34 m;
    bz_M34_Set(&m, 1, 0, 0, 0, -1, 0, 0, 0, 1, 12.5f, -3, 0.25f);
    testing::internal::CaptureStdout();
    bz_M34_Print(&m);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "matrix.row[0]  +1.000\t+0.000\t+0.000\n"
                       "matrix.row[1]  +0.000\t-1.000\t+0.000\n"
                       "matrix.row[2]  +0.000\t+0.000\t+1.000\n"
                       "matrix.row[3]  +12.500\t-3.000\t+0.250\n");
    testing::internal::CaptureStdout();
    bz_M33_Print(bz_M33_Identity());
    const std::string three = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(three.begin(), three.end(), '\n'), 3);
}

} // namespace
