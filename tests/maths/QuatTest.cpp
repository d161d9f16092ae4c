// Quaternions and rigid poses.
#include "MathsTestUtil.h"
#include "maths/Quat.h"
#include "support/TestSupport.h"

#include "core/Error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
const float kS45 = 0.70710678f;

bzQuat RandomQuat(MathsRandom &rnd)
{
    const bzV3 axis = rnd.Axis();
    bzQuat q;
    bz_Quat_FromAxisAngle(&q, &axis, rnd.Uniform(-180, 180));
    return q;
}

// q and -q are the same rotation.
::testing::AssertionResult SameRotation(const bzQuat &a, const bzQuat &b, float tol)
{
    const bzQuat neg = {-b.x, -b.y, -b.z, -b.w};
    if (QuatNear(a, b, tol) || QuatNear(a, neg, tol))
        return ::testing::AssertionSuccess();
    return QuatNear(a, b, tol);
}

TEST(Quat, MatrixOfAQuarterTurnAboutZ)
{
    const bzQuat q = {0, 0, kS45, kS45};
    bzM33 fromQuat, rz;
    bz_Quat_ToM33(&q, &fromQuat);
    bz_M33_RotationZ(&rz, 90);
    EXPECT_TRUE(RowsNear(fromQuat, rz, 3, 1e-6f));
    bzM34 m;
    bz_M34_Translation(&m, 1, 2, 3);
    bz_Quat_ToM33(&q, &m);
    EXPECT_TRUE(V3Near(m.row[3], bzV3{1, 2, 3}, 0.0f));
    bz_Quat_ToM34(&q, 1, &m);
    EXPECT_TRUE(V3Near(m.row[3], bzV3{0, 0, 0}, 0.0f));
    EXPECT_TRUE(RowsNear(m, rz, 3, 1e-6f));
}

TEST(Quat, FromMatrixTakesEveryBranch)
{
    struct Case
    {
        const char *what;
        bzV3 axis;
        float deg;
        bzQuat want;
    };
    const Case cases[] = {
        {"identity (trace branch)", {1, 0, 0}, 0, {0, 0, 0, 1}},
        {"half turn about x", {1, 0, 0}, 180, {1, 0, 0, 0}},
        {"half turn about y", {0, 1, 0}, 180, {0, 1, 0, 0}},
        {"half turn about z", {0, 0, 1}, 180, {0, 0, 1, 0}},
        // m00 = m11 > m22: the tie keeps i = 0.
        {"half turn about x + y", {kS45, kS45, 0}, 180, {kS45, kS45, 0, 0}},
        {"170 about z", {0, 0, 1}, 170, {0, 0, 0.9961947f, 0.0871557f}},
    };
    for (const Case &c : cases)
    {
        bzM33 m;
        bz_M33_FromAxisAngle(&m, &c.axis, c.deg);
        bzQuat q;
        bz_Quat_FromM33(&m, &q);
        EXPECT_TRUE(QuatNear(q, c.want, 1e-6f)) << c.what;
        bzQuat b;
        bz_Quat_FromM33B(&b, &m);
        EXPECT_TRUE(QuatNear(b, q, 0.0f)) << c.what;
    }
}

TEST(Quat, RandomRotationsRoundTripThroughMatrices)
{
    MathsRandom rnd(41);
    for (int n = 0; n < 1000; n++)
    {
        const bzM34 m = rnd.Rotation(true);
        bzQuat q;
        bz_Quat_FromM33(&m, &q);
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-5f);
        bzM33 back;
        bz_Quat_ToM33(&q, &back);
        EXPECT_TRUE(RowsNear(back, m, 3, 1e-5f)) << n;

        const bzQuat p = RandomQuat(rnd);
        bzM33 pm;
        bz_Quat_ToM33(&p, &pm);
        bzQuat again;
        bz_Quat_FromM33(&pm, &again);
        EXPECT_TRUE(SameRotation(again, p, 1e-5f)) << n;

        // Rotating a vector agrees with the matrix.
        const bzV3 v = rnd.V3(-4, 4);
        bzV3 byQuat, byMatrix, back2;
        bz_Quat_RotateV3Into(&p, &byQuat, &v);
        bz_RotateV3Into(&pm, &byMatrix, &v);
        EXPECT_TRUE(V3Near(byQuat, byMatrix, 1e-5f));
        bz_Quat_InverseRotateV3Into(&p, &back2, &byQuat);
        EXPECT_TRUE(V3Near(back2, v, 1e-5f));
    }
}

TEST(Quat, ProductOrderMatchesTheMatrixProducts)
{
    MathsRandom rnd(42);
    for (int n = 0; n < 100; n++)
    {
        const bzQuat a = RandomQuat(rnd), b = RandomQuat(rnd);
        bzQuat ab;
        bz_MulQuatInto(&a, &ab, &b);
        bzM33 ma, mb, mab, product;
        bz_Quat_ToM33(&a, &ma);
        bz_Quat_ToM33(&b, &mb);
        bz_Quat_ToM33(&ab, &mab);
        // a b applies b first: the matrix product (a, out, b).
        bz_MulM33Into(&ma, &product, &mb);
        EXPECT_TRUE(RowsNear(mab, product, 3, 1e-5f));

        bzQuat pre = b, post = b;
        bz_Quat_PreMul(&a, &pre);
        EXPECT_TRUE(QuatNear(pre, ab, 0.0f));
        bz_Quat_PostMul(&a, &post);
        bzQuat ba;
        bz_MulQuatInto(&b, &ba, &a);
        EXPECT_TRUE(QuatNear(post, ba, 0.0f));
    }
}

TEST(Quat, ObsoleteProductsReportAndStillCompute)
{
    KeepAlive keep;
    const bzQuat a = {0, 0, kS45, kS45}, b = {kS45, 0, 0, kS45};
    bzQuat out, expect;
    const uint32_t before = bz_Error_ReportCount();
    bz_Quat_Multiply(&a, &b, &out);
    EXPECT_EQ(bz_Error_ReportCount(), before + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Quaternions");
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("bz_Quat_Multiply is obsolete", 0), 0u);
    bz_MulQuatInto(&b, &expect, &a);
    EXPECT_TRUE(QuatNear(out, expect, 0.0f));

    bzQuat q = a;
    bz_Quat_MulInto(&q, &b);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("bz_Quat_MulInto is obsolete", 0), 0u);
    bz_MulQuatInto(&a, &expect, &b);
    EXPECT_TRUE(QuatNear(q, expect, 0.0f));

    // The two-stage blend goes through the obsolete product twice.
    const uint32_t mid = bz_Error_ReportCount();
    bzQuat blended;
    const bzQuat identity = {0, 0, 0, 1};
    bz_Quat_SlerpRelative(&a, &identity, &blended, &b, 1.0f, 0.0f);
    EXPECT_EQ(bz_Error_ReportCount(), mid + 2);
    EXPECT_TRUE(QuatNear(blended, a, 1e-5f));
}

TEST(Quat, SphericalBlends)
{
    MathsRandom rnd(43);
    const bzQuat identity = {0, 0, 0, 1};
    bzQuat rz90;
    const bzV3 z = {0, 0, 1};
    bz_Quat_FromAxisAngle(&rz90, &z, 90);
    bzQuat out, want;
    bz_Quat_Slerp(&rz90, &identity, &out, 0.5f, 0);
    bz_Quat_FromAxisAngle(&want, &z, 45);
    EXPECT_TRUE(QuatNear(out, want, 1e-5f));
    bz_Quat_Slerp(&rz90, &identity, &out, 0.0f, 0);
    EXPECT_TRUE(QuatNear(out, identity, 1e-6f));
    bz_Quat_Slerp(&rz90, &identity, &out, 1.0f, 0);
    EXPECT_TRUE(QuatNear(out, rz90, 1e-5f));

    // One spin: an extra turn over the interval, 225 degrees half way.
    bz_Quat_Slerp(&rz90, &identity, &out, 0.5f, 1);
    bz_Quat_FromAxisAngle(&want, &z, 225);
    EXPECT_TRUE(SameRotation(out, want, 1e-5f));
    bz_Quat_Slerp(&rz90, &identity, &out, 1.0f, 1);
    EXPECT_TRUE(SameRotation(out, rz90, 1e-5f));

    for (int n = 0; n < 50; n++)
    {
        const bzQuat q = RandomQuat(rnd);
        const bzQuat neg = {-q.x, -q.y, -q.z, -q.w};
        const float t = rnd.Uniform(-0.5f, 1.5f);
        // q against -q: the negated copy equals q, so every t gives q.
        bz_Quat_Slerp(&neg, &q, &out, t, 0);
        EXPECT_TRUE(QuatNear(out, q, 1e-5f));
        // Equal quaternions take the nearly-equal branch even with a spin.
        bz_Quat_Slerp(&q, &q, &out, t, 1);
        EXPECT_TRUE(QuatNear(out, q, 1e-5f));
        // From the identity: the same as the general blend.
        bzQuat general, fromIdentity;
        bz_Quat_Slerp(&q, &identity, &general, t, 0);
        bz_Quat_SlerpFromIdentity(&q, &fromIdentity, t, 0);
        EXPECT_TRUE(QuatNear(fromIdentity, general, 1e-5f));
    }
    bz_Quat_SlerpFromIdentity(&identity, &out, 0.3f, 2);
    EXPECT_TRUE(QuatNear(out, identity, 0.0f));
}

TEST(Quat, NormalisedLinearBlend)
{
    MathsRandom rnd(44);
    const bzQuat a = RandomQuat(rnd);
    const bzQuat neg = {-a.x, -a.y, -a.z, -a.w};
    bzQuat out;
    // b = -a: its weight is negated, the blend is a, normalised.
    bz_Quat_Nlerp(&a, &neg, &out, 0.5f);
    EXPECT_TRUE(QuatNear(out, a, 1e-6f));
    const bzQuat b = RandomQuat(rnd);
    bz_Quat_Nlerp(&a, &b, &out, 0.0f);
    EXPECT_TRUE(QuatNear(out, a, 1e-6f));
    bz_Quat_Nlerp(&a, &b, &out, 0.7f);
    EXPECT_NEAR(out.x * out.x + out.y * out.y + out.z * out.z + out.w * out.w, 1.0f, 1e-6f);
}

TEST(Quat, AxisAngleForms)
{
    bzV3 axis;
    float deg = -1;
    const bzQuat identity = {0, 0, 0, 1}, half = {0, 0, 1, 0};
    bz_Quat_ToAxisAngle(&identity, &axis, &deg);
    EXPECT_TRUE(V3Near(axis, bzV3{1, 0, 0}, 0.0f));
    EXPECT_EQ(deg, 0.0f);
    bz_Quat_ToAxisAngle(&half, &axis, &deg);
    EXPECT_TRUE(V3Near(axis, bzV3{0, 0, 1}, 0.0f));
    EXPECT_NEAR(deg, 180.0f, 1e-4f);

    MathsRandom rnd(45);
    for (int n = 0; n < 100; n++)
    {
        const bzV3 a = rnd.Axis();
        const float angle = rnd.Uniform(1, 179);
        bzQuat q;
        bz_Quat_FromAxisAngle(&q, &a, angle);
        bz_Quat_ToAxisAngle(&q, &axis, &deg);
        EXPECT_TRUE(V3Near(axis, a, 1e-4f));
        EXPECT_NEAR(deg, angle, 1e-3f);
    }
    // A slightly long quaternion: the clamps keep the angle finite.
    const bzQuat longer = {0, 0, 1.0000001f, 0.0000001f};
    bz_Quat_ToAxisAngle(&longer, &axis, &deg);
    EXPECT_TRUE(std::isfinite(deg));
}

TEST(Quat, ShortestArcBetweenTwoVectors)
{
    MathsRandom rnd(46);
    for (int n = 0; n < 200; n++)
    {
        const bzV3 from = rnd.Axis(), to = rnd.Axis();
        bzQuat q;
        bz_Quat_FromTwoVectors(&to, &q, &from);
        bzV3 turned;
        bz_Quat_RotateV3Into(&q, &turned, &from);
        EXPECT_TRUE(V3Near(turned, to, 1e-5f));
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-5f);
    }
    const bzV3 x = {1, 0, 0};
    bzQuat q;
    bz_Quat_FromTwoVectors(&x, &q, &x);
    EXPECT_TRUE(QuatNear(q, bzQuat{0, 0, 0, 1}, 0.0f));
    // Opposite vectors: a half turn about an axis across them, y whenever it is one.
    const bzV3 opposite[][2] = {{{1, 0, 0}, {-1, 0, 0}},
                                {{0, 1, 0}, {0, -1, 0}},
                                {{0, 0, -1}, {0, 0, 1}},
                                {{0, -1, 0}, {0, 1, 0}}};
    for (const auto &pair : opposite)
    {
        bz_Quat_FromTwoVectors(&pair[1], &q, &pair[0]);
        bzV3 turned;
        bz_Quat_RotateV3Into(&q, &turned, &pair[0]);
        EXPECT_TRUE(V3Near(turned, pair[1], 1e-6f));
        EXPECT_EQ(q.w, 0.0f);
    }
    bz_Quat_FromTwoVectors(&opposite[0][1], &q, &opposite[0][0]);
    EXPECT_TRUE(QuatNear(q, bzQuat{0, 1, 0, 0}, 0.0f));
}

TEST(Quat, RigidPoses)
{
    MathsRandom rnd(47);
    for (int n = 0; n < 100; n++)
    {
        const bzM34 ma = rnd.Rotation(true), mb = rnd.Rotation(true);
        bzQuatPos a, b, ab, inv;
        bz_QuatPos_FromM34(&a, &ma);
        bz_QuatPos_FromM34(&b, &mb);
        bzM34 back;
        bz_QuatPos_ToM34(&a, &back);
        EXPECT_TRUE(RowsNear(back, ma, 4, 1e-5f));

        const bzV3 p = rnd.V3(-3, 3);
        bzV3 viaPose, viaMatrix, local;
        bz_QuatPos_TransformPoint(&a, &viaPose, &p);
        bz_M34_TransformPointInto(&ma, &viaMatrix, &p);
        EXPECT_TRUE(V3Near(viaPose, viaMatrix, 1e-4f));
        bz_QuatPos_InverseTransformPoint(&a, &local, &viaPose);
        EXPECT_TRUE(V3Near(local, p, 1e-4f));

        // b first, then a: as the matrix product (a, out, b).
        bz_QuatPos_Mul(&a, &b, &ab);
        bzM34 mab;
        bz_MulM34Into(&ma, &mab, &mb);
        bzV3 q = p, r;
        bz_QuatPos_TransformPointInPlace(&ab, &q);
        bz_M34_TransformPointInto(&mab, &r, &p);
        EXPECT_TRUE(V3Near(q, r, 1e-4f));

        bz_QuatPos_Invert(&inv, &a);
        bz_QuatPos_TransformPoint(&inv, &local, &viaPose);
        EXPECT_TRUE(V3Near(local, p, 1e-4f));
        bz_QuatPos_Invert(&inv, &inv); // in place, back to a
        EXPECT_TRUE(QuatNear(inv.q, a.q, 1e-6f));
        EXPECT_TRUE(V3Near(inv.pos, a.pos, 1e-4f));
    }
}

TEST(Quat, SmallOperations)
{
    bzQuat q = {1, 2, 3, 4}, c;
    bz_Quat_ConjugateInto(&q, &c);
    EXPECT_TRUE(QuatNear(c, bzQuat{-1, -2, -3, 4}, 0.0f));
    bz_Quat_Conjugate(&c);
    EXPECT_TRUE(QuatNear(c, q, 0.0f));
    bz_Quat_Normalise(&q);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-6f);
    const float src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float dst[8] = {};
    bz_Quat_Copy8(src, dst);
    EXPECT_EQ(dst[7], 8.0f);
    EXPECT_EQ(dst[0], 1.0f);
    bzV3 v = {1, 0, 0};
    const bzQuat rz = {0, 0, kS45, kS45};
    bz_Quat_RotateV3(&rz, &v);
    EXPECT_TRUE(V3Near(v, bzV3{0, 1, 0}, 1e-6f));
}
} // namespace
