// Vectors and 3x4 transforms.
#include "MathsTestUtil.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace
{
const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Vector, NormaliseGuardsShortVectorsOnTheLength)
{
    struct Case
    {
        bzV3 in, want;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 1}},
        {{1e-8f, 0, 0}, {0, 0, 1}},
        {{-0.0f, 0, 0}, {0, 0, 1}},
        {{1e-7f, 0, 0}, {0, 0, 1}},
        // Exactly FLT_EPSILON long: divided normally.
        {{1.1920929e-7f, 0, 0}, {1, 0, 0}},
        {{0, 3, -4}, {0, 0.6f, -0.8f}},
    };
    for (const Case &c : cases)
    {
        bzV3 v = c.in;
        bz_V3_Normalise(&v);
        EXPECT_TRUE(V3Near(v, c.want, 1e-6f)) << c.in.x << " " << c.in.y << " " << c.in.z;
    }
    // No guard in the into form: a zero vector gives non-finite components, not a crash.
    bzV3 zero = {0, 0, 0}, out;
    bz_V3_NormaliseInto(&zero, &out);
    EXPECT_FALSE(std::isfinite(out.x));
}

TEST(Vector, ZeroTestsAreExactAndNaNIsNotZero)
{
    const bzV3 negZero = {-0.0f, 0, 0}, tiny = {0, 1e-30f, 0}, nan = {kNaN, 0, 0};
    EXPECT_EQ(bz_V3_IsZero(&negZero), 1);
    EXPECT_EQ(bz_V3_IsZero(&tiny), 0);
    EXPECT_EQ(bz_V3_IsZero(&nan), 0);
    const bzV4 v4 = {0, 0, 0, -0.0f}, v4b = {0, 0, 0, 1e-30f};
    EXPECT_EQ(bz_V4_IsZero(&v4), 1);
    EXPECT_EQ(bz_V4_IsZero(&v4b), 0);
    const bzV3 x = {1, 0, 0}, x2 = {-2, 0, 0}, y = {0, 1, 0};
    EXPECT_EQ(bz_V3_NotParallel(&x, &x2), 0);
    EXPECT_EQ(bz_V3_NotParallel(&x, &y), 1);
}

TEST(Vector, SmallestAxisPrefersLowerAxesOnTies)
{
    struct Case
    {
        bzV3 v;
        int32_t axis;
    };
    const Case cases[] = {{{1, 1, 1}, 0},   {{2, 1, 1}, 1},     {{2, 2, 1}, 2},
                          {{-3, 2, -1}, 2}, {{0, -0.0f, 0}, 0}, {{5, -1, 3}, 1}};
    for (const Case &c : cases)
        EXPECT_EQ(bz_V3_SmallestAxis(&c.v), c.axis) << c.v.x << " " << c.v.y << " " << c.v.z;
}

TEST(Vector, PerpendicularIsUnitAndOrthogonal)
{
    MathsRandom rnd;
    for (int n = 0; n < 200; n++)
    {
        const bzV3 v = rnd.V3(-5, 5);
        bzV3 p;
        bz_V3_Perpendicular(&v, &p);
        EXPECT_NEAR(bz_V3_Length(&p), 1.0f, 1e-5f);
        EXPECT_NEAR(bz_V3_Dot(&p, &v), 0.0f, 1e-4f * bz_V3_Length(&v));
    }
}

TEST(Vector, ComponentIndexBeyondTwoIsZ)
{
    const bzV3 v = {1, 2, 3};
    EXPECT_EQ(bz_V3_Component(0, &v), 1.0f);
    EXPECT_EQ(bz_V3_Component(1, &v), 2.0f);
    EXPECT_EQ(bz_V3_Component(2, &v), 3.0f);
    EXPECT_EQ(bz_V3_Component(7, &v), 3.0f);
    EXPECT_EQ(bz_V3_Component(-1, &v), 3.0f);
}

TEST(Vector, ReduceTowardsZeroStopsAtZeroAndSkipsOpposedAxes)
{
    bzV3 a = {1, -1, 0.5f};
    const bzV3 r = {2, 0.5f, 0.25f};
    bz_V3_ReduceTowardsZero(&a, &r);
    EXPECT_TRUE(V3Near(a, bzV3{0, -1, 0.25f}, 0.0f));
    bzV3 b = {-3, 0, 1};
    const bzV3 s = {-1, 1, 1};
    bz_V3_ReduceTowardsZero(&b, &s);
    EXPECT_TRUE(V3Near(b, bzV3{-2, 0, 0}, 0.0f));
}

TEST(Vector, ApproximateLengthUsesSignedComponents)
{
    const bzV3 a = {3, 4, 0}, b = {-3, 0, 0}, c = {1, 2, 3};
    EXPECT_NEAR(bz_V3_LengthApprox(&a), 0.9398f * 4 + 0.3893f * 3, 1e-6f);
    // Sorted by value, -3 is the smallest component.
    EXPECT_NEAR(bz_V3_LengthApprox(&b), 0.2987f * -3, 1e-6f);
    EXPECT_NEAR(bz_V3_LengthApprox(&c), 0.9398f * 3 + 0.3893f * 2 + 0.2987f, 1e-6f);
    EXPECT_NEAR(bz_V3_DistanceApprox(&b, &a), 0.9398f * 6 + 0.3893f * 4, 1e-5f);
    const bzV2 d = {-1, 2};
    EXPECT_NEAR(bz_V2_LengthApprox(&d), 0.9604f * 2 - 0.3978f, 1e-6f);
}

TEST(Vector, AxisRotationsAreRightHanded)
{
    struct Case
    {
        int axis;
        bzV3 in, want;
    };
    const Case cases[] = {
        {2, {1, 0, 0}, {0, 1, 0}},  {2, {0, 1, 0}, {-1, 0, 0}}, {0, {0, 1, 0}, {0, 0, 1}},
        {0, {0, 0, 1}, {0, -1, 0}}, {1, {0, 0, 1}, {1, 0, 0}},  {1, {1, 0, 0}, {0, 0, -1}},
    };
    for (const Case &c : cases)
    {
        bzV3 v = c.in, out;
        if (c.axis == 0)
        {
            bz_V3_RotateX(&v, 90);
            bz_V3_RotateXInto(&c.in, &out, 90);
        }
        else if (c.axis == 1)
        {
            bz_V3_RotateY(&v, 90);
            bz_V3_RotateYInto(&c.in, &out, 90);
        }
        else
        {
            bz_V3_RotateZ(&v, 90);
            bz_V3_RotateZInto(&c.in, &out, 90);
        }
        EXPECT_TRUE(V3Near(v, c.want, 1e-6f)) << "axis " << c.axis;
        EXPECT_TRUE(V3Near(out, v, 0.0f));
    }
    bzV2 v2 = {1, 0};
    bz_V3_RotateZ2(&v2, 90);
    EXPECT_NEAR(v2.x, 0.0f, 1e-6f);
    EXPECT_NEAR(v2.y, 1.0f, 1e-6f);
}

TEST(Vector, RotateXYZIntoMatchesInPlaceAndMatrixBuilder)
{
    MathsRandom rnd;
    for (int n = 0; n < 50; n++)
    {
        const bzV3 v = rnd.V3(-3, 3);
        const float ax = rnd.Uniform(-180, 180), ay = rnd.Uniform(-180, 180),
                    az = rnd.Uniform(-180, 180);
        bzV3 inPlace = v, into;
        bz_V3_RotateXYZ(&inPlace, ax, ay, az);
        bz_V3_RotateXYZInto(&v, &into, ax, ay, az);
        EXPECT_TRUE(V3Near(into, inPlace, 0.0f));
        bzM34 m;
        bz_M34_FromEulerXYZ(&m, ax, ay, az);
        bzV3 viaMatrix;
        bz_RotateV3Into(&m, &viaMatrix, &v);
        EXPECT_TRUE(V3Near(viaMatrix, inPlace, 2e-5f));
    }
}

TEST(Vector, RotateAboutAxisFollowsTheAxisAngleMatrix)
{
    bzV3 v = {1, 0, 0};
    const bzV3 axis = {0, 0, 5}; // normalised by the builder
    bz_V3_RotateAboutAxis(&v, &axis, 90);
    EXPECT_TRUE(V3Near(v, bzV3{0, 1, 0}, 1e-6f));
}

TEST(Vector, ProductAppliesTheSecondOperandFirst)
{
    MathsRandom rnd;
    for (int n = 0; n < 50; n++)
    {
        bzM34 a = rnd.Rotation(true), b = rnd.Rotation(true), out;
        bz_M34_ScaleRows(&b, 1.5f, 0.5f, 2.0f);
        bz_MulM34Into(&a, &out, &b);
        const bzV3 p = rnd.V3(-5, 5);
        bzV3 viaProduct, viaSteps;
        bz_M34_TransformPointInto(&out, &viaProduct, &p);
        bz_M34_TransformPointInto(&b, &viaSteps, &p);
        bz_M34_TransformPoint(&a, &viaSteps);
        EXPECT_TRUE(V3Near(viaProduct, viaSteps, 1e-4f));

        // PostMul (m, a): m then a; PreMul (m, a): a then m.
        bzM34 post = b, pre = b, expectPre;
        bz_M34_PostMul(&post, &a);
        EXPECT_TRUE(RowsNear(post, out, 4, 0.0f));
        bz_M34_PreMul(&pre, &a);
        bz_MulM34Into(&b, &expectPre, &a);
        EXPECT_TRUE(RowsNear(pre, expectPre, 4, 0.0f));
    }
}

TEST(Vector, PostAndPreMulWithATranslation)
{
    bzM34 m;
    bz_M34_RotationZ(&m, 90);
    bz_M34_SetTranslation(&m, 1, 2, 3);
    bzM34 t;
    bz_M34_Translation(&t, 10, 0, 0);

    bzM34 post = m;
    bz_M34_PostMul(&post, &t);
    EXPECT_TRUE(RowsNear(post, m, 3, 0.0f));
    EXPECT_TRUE(V3Near(post.row[3], bzV3{11, 2, 3}, 1e-6f));

    // The translation turned by m's rotation: (10, 0, 0) R = (0, 10, 0).
    bzM34 pre = m;
    bz_M34_PreMul(&pre, &t);
    EXPECT_TRUE(RowsNear(pre, m, 3, 0.0f));
    EXPECT_TRUE(V3Near(pre.row[3], bzV3{1, 12, 3}, 1e-5f));
}

TEST(Vector, InverseTransformsUndoTheTransforms)
{
    MathsRandom rnd;
    for (int n = 0; n < 50; n++)
    {
        const bzM34 m = rnd.Rotation(true);
        const bzV3 p = rnd.V3(-5, 5);
        bzV3 world, local;
        bz_M34_TransformPointInto(&m, &world, &p);
        bz_M34_InverseTransformPointInto(&m, &local, &world);
        EXPECT_TRUE(V3Near(local, p, 1e-4f));
        bzV3 dir, back;
        bz_RotateV3Into(&m, &dir, &p);
        bz_M34_InverseRotateV3Into(&m, &back, &dir);
        EXPECT_TRUE(V3Near(back, p, 1e-4f));
        bz_V3_InverseRotate(&dir, &m);
        EXPECT_TRUE(V3Near(dir, back, 0.0f));

        // The general inverse also undoes a scaled transform.
        bzM34 s = m;
        bz_M34_ScaleRows(&s, 2.0f, 0.5f, 3.0f);
        bzV3 q = p, r;
        bz_M34_TransformPoint(&s, &q);
        bz_M34_InverseTransformPointGeneral(&s, &q, &r);
        EXPECT_TRUE(V3Near(r, p, 1e-4f));
        bz_M34_TransformPointByInverse(&s, &q);
        EXPECT_TRUE(V3Near(q, p, 1e-4f));
    }
}

TEST(Vector, RotationOnlyOperationsTakeEitherRecord)
{
    bzM34 m34;
    bz_M34_RotationZ(&m34, 90);
    bz_M34_SetTranslation(&m34, 7, 8, 9);
    bzM33 m33;
    bz_M33_RotationZ(&m33, 90);
    const bzV3 v = {1, 0, 0};
    bzV3 a, b;
    bz_RotateV3Into(&m34, &a, &v);
    bz_RotateV3Into(&m33, &b, &v);
    EXPECT_TRUE(V3Near(a, b, 0.0f));
    EXPECT_TRUE(V3Near(a, bzV3{0, 1, 0}, 1e-6f));
}

TEST(Vector, TwoDimensionalTransforms)
{
    bzM23 m;
    bz_M23_Rotation(&m, 90);
    m.row[2] = bzV2{5, 6};
    bzV2 p = {1, 0}, q;
    bz_M23_TransformPointInto(&m, &q, &p);
    EXPECT_NEAR(q.x, 5.0f, 1e-6f);
    EXPECT_NEAR(q.y, 7.0f, 1e-6f);
    bz_M23_RotateV2(&m, &p);
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
}

TEST(Vector, HermiteAndCatmullRomPassThroughTheirEnds)
{
    const bzV3 q0 = {0, 0, 0}, q1 = {1, 2, 3}, q2 = {4, 0, -1}, q3 = {6, 6, 6};
    bzV3 out;
    bz_V3_CatmullRom(&q0, &q1, &q2, &q3, 0.0f, &out);
    EXPECT_TRUE(V3Near(out, q1, 0.0f));
    bz_V3_CatmullRom(&q0, &q1, &q2, &q3, 1.0f, &out);
    EXPECT_TRUE(V3Near(out, q2, 1e-6f));
    // With tangents of the straight line, the Hermite curve is the line itself.
    const bzV3 d = {3, -2, -4};
    bz_V3_Hermite(0.25f, &q1, &q2, &d, &d, &out);
    EXPECT_TRUE(V3Near(out, bzV3{1.75f, 1.5f, 2.0f}, 1e-6f));
}

TEST(Vector, LerpRejectAndLineDistance)
{
    const bzV3 from = {0, 0, 0}, to = {2, 4, 6};
    bzV3 out;
    bz_V3_Lerp(&to, &out, &from, 0.25f);
    EXPECT_TRUE(V3Near(out, bzV3{0.5f, 1, 1.5f}, 0.0f));
    const bzV3 axis = {0, 1, 0}, v = {3, 5, 7};
    bz_V3_Reject(&axis, &out, &v);
    EXPECT_TRUE(V3Near(out, bzV3{3, 0, 7}, 0.0f));
    const bzV3 dir = {0, 0, 2}, a = {1, 1, 0}, p = {4, 5, 100};
    EXPECT_NEAR(bz_V3_LineDistanceSq(&dir, &a, &p), 25.0f, 1e-2f);
    EXPECT_NEAR(bz_V3_DotOfDifferences(&a, &p, &v), 3 * 2 + 4 * 4 + 100 * 7, 1e-3f);
    const bzV3 u = {1, 0, 0}, w = {0.8f, 0.6f, 0};
    EXPECT_EQ(bz_V3_WithinAngle(&u, &w, 40), 1);
    EXPECT_EQ(bz_V3_WithinAngle(&u, &w, 30), 0);
}

TEST(Vector, ConstantVectorsAreRestoredOnEveryCall)
{
    bzV3 *x = bz_V3_UnitX();
    x->x = 42;
    EXPECT_TRUE(V3Near(*bz_V3_UnitX(), bzV3{1, 0, 0}, 0.0f));
    bz_V3_Zero()->z = 5;
    EXPECT_TRUE(V3Near(*bz_V3_Zero(), bzV3{0, 0, 0}, 0.0f));
    EXPECT_TRUE(V3Near(*bz_V3_UnitY(), bzV3{0, 1, 0}, 0.0f));
    EXPECT_TRUE(V3Near(*bz_V3_UnitZ(), bzV3{0, 0, 1}, 0.0f));
    EXPECT_EQ(bz_V2_Half()->x, 0.5f);
    EXPECT_EQ(bz_V2_UnitY()->y, 1.0f);
    EXPECT_EQ(bz_V2_Zero()->x, 0.0f);
}

TEST(Vector, ByteCopyAndCompareSeeTheBits)
{
    const bzV3 a = {1, -0.0f, 3};
    bzV3 b;
    bz_V3_CopyBytes(&a, &b);
    EXPECT_EQ(bz_V3_SameBytes(&a, &b), 1);
    b.y = 0.0f; // compares equal as a float, differs as bytes
    EXPECT_EQ(bz_V3_SameBytes(&a, &b), 0);
}

TEST(Vector, TrianglesAndTheTwoDimensionalTests)
{
    const bzV3 tri[3] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    bzV3 n;
    bz_Triangle_Normal(tri, &n);
    EXPECT_TRUE(V3Near(n, bzV3{0, 0, 1}, 0.0f));
    const bzV3 flat[3] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    bz_Triangle_Normal(flat, &n);
    EXPECT_TRUE(V3Near(n, bzV3{0, 0, 1}, 0.0f));
    EXPECT_NEAR(bz_Triangle_Area(&tri[0], &tri[1], &tri[2]), 2.0f, 1e-6f);
    bzV3 c;
    bz_Triangle_Centroid(&tri[0], &tri[1], &tri[2], &c);
    EXPECT_EQ(c.x, 2.0f * 0.3333f);

    const bzV2 a = {0, 0}, b = {4, 0}, d = {0, 2}, p = {1, 1};
    EXPECT_NEAR(bz_Triangle2D_SignedArea(&a, &b, &d), 4.0f, 1e-6f);
    EXPECT_NEAR(bz_Triangle2D_SignedArea(&a, &d, &b), -4.0f, 1e-6f);
    EXPECT_NEAR(bz_Triangle2D_Perimeter(&a, &b, &d), 6.0f + std::sqrt(20.0f), 1e-5f);
    float u = -1, v = -1;
    EXPECT_EQ(bz_Triangle2D_Barycentric(&a, &b, &d, &p, &u, &v), 0);
    EXPECT_NEAR(u, 0.25f, 1e-6f);
    EXPECT_NEAR(v, 0.5f, 1e-6f);
    const float values[6] = {0, 10, 4, 10, 2, 10};
    float o0 = -1, o1 = -1;
    EXPECT_EQ(bz_Triangle2D_Interpolate(&a, &b, &d, &p, values, &o0, &o1), 0);
    EXPECT_NEAR(o0, 2.0f, 1e-6f);
    EXPECT_NEAR(o1, 10.0f, 1e-5f);

    // A degenerate triangle fails (1) and leaves the outputs alone.
    const bzV2 e = {8, 0};
    u = v = o0 = o1 = 77;
    EXPECT_EQ(bz_Triangle2D_Barycentric(&a, &b, &e, &p, &u, &v), 1);
    EXPECT_EQ(bz_Triangle2D_Interpolate(&a, &b, &e, &p, values, &o0, &o1), 1);
    EXPECT_EQ(u, 77.0f);
    EXPECT_EQ(o0, 77.0f);

    const bzV2 pts[4] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}};
    EXPECT_EQ(bz_V2_IsAntiClockwise(pts, 0, 1, 2), 1);
    EXPECT_EQ(bz_V2_IsClockwise(pts, 0, 1, 2), 0);
    EXPECT_EQ(bz_V2_IsClockwise(pts, 0, 2, 1), 1);
    // Collinear: neither.
    EXPECT_EQ(bz_V2_IsClockwise(pts, 0, 1, 3), 0);
    EXPECT_EQ(bz_V2_IsAntiClockwise(pts, 0, 1, 3), 0);
    EXPECT_NEAR(bz_V2_CrossOfDifferences(&pts[0], &pts[1], &pts[2]), -1.0f, 0.0f);
}

TEST(Vector, ScalarConversionsTruncateAndFloor)
{
    struct Case
    {
        float f;
        int32_t trunc;
        float floor;
    };
    const Case cases[] = {{2.9f, 2, 2.0f},   {-1.5f, -1, -2.0f},       {-0.7f, 0, -1.0f},
                          {-0.0f, 0, -0.0f}, {1e9f, 1000000000, 1e9f}, {-3.0f, -3, -3.0f}};
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_FloatToInt(c.f), c.trunc) << c.f;
        EXPECT_EQ(bz_Floor(c.f), c.floor) << c.f;
    }
    // Out of range and NaN give the processor's indefinite value, never undefined behaviour.
    EXPECT_EQ(bz_FloatToInt(kNaN), INT_MIN);
    EXPECT_EQ(bz_FloatToInt(3e9f), INT_MIN);
    EXPECT_EQ(bz_IntToFloat(-7), -7.0f);
    EXPECT_NEAR(bz_CosDeg(60), 0.5f, 1e-6f);
    EXPECT_NEAR(bz_SinDeg(-30), -0.5f, 1e-6f);
    EXPECT_EQ(bz_ExpApprox(0.0f), 1.0f);
    EXPECT_NEAR(bz_ExpApprox(1.0f), std::pow(1.0f + 1.0f / 32.0f, 32.0f), 1e-5f);
    EXPECT_NEAR(bz_ExpApprox(1.0f), 2.7183f, 0.05f);
}
} // namespace
