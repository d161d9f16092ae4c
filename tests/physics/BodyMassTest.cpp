// Mass properties of shapes, forms and bodies; inverses, immovable bodies and impulses.
#include "collision/PairTestShapes.h"
#include "collision/ShapeGeometry.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
using pairtest::V;

constexpr double kPi = 3.14159265358979323846;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void ExpectV3Near(const bzV3 &a, double x, double y, double z, double tolerance)
{
    EXPECT_NEAR(a.x, x, tolerance);
    EXPECT_NEAR(a.y, y, tolerance);
    EXPECT_NEAR(a.z, z, tolerance);
}

// Records the physics errors reported while it lives, with the report kept from ending the run.
class ErrorLog
{
public:
    ErrorLog()
    {
        codes().clear();
        bz_Phys_SetErrorHook([](int32_t code, const char *) { codes().push_back(code); });
    }
    ~ErrorLog() { bz_Phys_SetErrorHook(nullptr); }
    static std::vector<int32_t> &codes()
    {
        static std::vector<int32_t> c;
        return c;
    }

private:
    KeepAlive keep_;
};

// A solid capsule's moments written out: a cylinder of radius r and height h and two solid
// hemispheres, each hemisphere's centroid 3r/8 from its flat face.
void CapsuleByHand(double m, double r, double h, double *across, double *along)
{
    const double vc = kPi * r * r * h;
    const double vs = 4.0 / 3.0 * kPi * r * r * r;
    const double mc = m * vc / (vc + vs);
    const double mh = m * vs / (vc + vs) / 2.0;
    *along = mc * r * r / 2.0 + 2.0 * mh * 2.0 * r * r / 5.0;
    const double hemiAboutCentroid =
        2.0 * mh * r * r / 5.0 - mh * (3.0 * r / 8.0) * (3.0 * r / 8.0);
    const double offset = h / 2.0 + 3.0 * r / 8.0;
    *across = mc * (3.0 * r * r + h * h) / 12.0 + 2.0 * (hemiAboutCentroid + mh * offset * offset);
}

TEST(BodyMassTest, ClosedFormMomentsOfBoxSphereAndCapsule)
{
    bzV3 out;
    const bzV3 box123 = V(1, 2, 3), cube2 = V(2, 2, 2);
    bz_Phys_BoxMoments(12.0f, &box123, &out);
    ExpectV3Near(out, 13.0, 10.0, 5.0, 1e-5);
    bz_Phys_BoxMoments(6.0f, &cube2, &out);
    ExpectV3Near(out, 4.0, 4.0, 4.0, 1e-5);

    bz_Phys_SphereMoments(5.0f, 2.0f, &out); // 2/5 m r^2
    ExpectV3Near(out, 8.0, 8.0, 8.0, 1e-5);

    struct Case
    {
        float mass, radius, length;
    };
    const Case cases[] = {{1.0f, 1.0f, 2.0f}, {10.0f, 0.5f, 3.0f}, {2.0f, 2.0f, 0.25f}};
    for (const Case &c : cases)
    {
        double across, along;
        CapsuleByHand(c.mass, c.radius, c.length, &across, &along);
        bz_Phys_CapsuleMoments(c.mass, c.radius, c.length, &out);
        ExpectV3Near(out, across, across, along, 1e-5 * across);
    }
    // Unit radius, length 2, density 1: mass 10 pi / 3, moments 121 pi / 30 and 23 pi / 15.
    auto capsule = pairtest::TicTac(V(0, 0, -1), V(0, 0, 1), 1.0f);
    bzMassProperties mp;
    ASSERT_EQ(bz_Shape_MassProperties(capsule->firstShape, 1.0f, &mp), 0);
    EXPECT_NEAR(mp.mass, 10.0 * kPi / 3.0, 1e-5);
    EXPECT_NEAR(mp.inertia.row[0].x, 121.0 * kPi / 30.0, 1e-5);
    EXPECT_NEAR(mp.inertia.row[1].y, 121.0 * kPi / 30.0, 1e-5);
    EXPECT_NEAR(mp.inertia.row[2].z, 23.0 * kPi / 15.0, 1e-5);
}

TEST(BodyMassTest, ShapeTensorsFollowTheShapeAxes)
{
    // A capsule along (1, 1, 0) / sqrt 2: its axis and the directions across it are principal.
    auto capsule = pairtest::TicTac(V(0, 0, 0), V(2, 2, 0), 0.5f);
    bzMassProperties mp;
    ASSERT_EQ(bz_Shape_MassProperties(capsule->firstShape, 2.0f, &mp), 0);
    ExpectV3Near(mp.centre, 1.0, 1.0, 0.0, 1e-6);
    double across, along;
    CapsuleByHand(mp.mass, 0.5, 2.0 * std::sqrt(2.0), &across, &along);
    const double s = 1.0 / std::sqrt(2.0);
    const double u[3] = {s, s, 0.0}, p[3] = {s, -s, 0.0}, z[3] = {0.0, 0.0, 1.0};
    auto quad = [&](const double *a)
    {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                sum += a[j] * mp.inertia.row[j].v[k] * a[k];
        return sum;
    };
    EXPECT_NEAR(quad(u), along, 1e-4);
    EXPECT_NEAR(quad(p), across, 1e-4);
    EXPECT_NEAR(quad(z), across, 1e-4);
    EXPECT_NEAR(mp.inertia.row[0].y, mp.inertia.row[1].x, 1e-6);

    // A 1 x 2 x 3 cuboid of density 2 turned a quarter turn about z: its x and y moments swap.
    bzM34 quarter;
    bz_M34_RotationZ(&quarter, 90.0f);
    quarter.row[3] = V(5, 0, 0);
    auto cuboid = pairtest::Cuboid(V(0, 0, 0), V(1, 2, 3), quarter);
    ASSERT_EQ(bz_Shape_MassProperties(cuboid->firstShape, 2.0f, &mp), 0);
    EXPECT_NEAR(mp.mass, 12.0, 1e-5);
    ExpectV3Near(mp.centre, 5.0 - 1.0, 0.5, 1.5, 1e-5); // local centre (0.5, 1, 1.5) turned
    ExpectV3Near(V(mp.inertia.row[0].x, mp.inertia.row[1].y, mp.inertia.row[2].z), 10.0, 13.0, 5.0,
                 1e-4);
    EXPECT_NEAR(mp.inertia.row[0].y, 0.0, 1e-5);

    // An aligned cuboid is its box.
    auto box = pairtest::AlignedCuboid(V(-1, -2, -3), V(0, 0, 0));
    ASSERT_EQ(bz_Shape_MassProperties(box->firstShape, 2.0f, &mp), 0);
    EXPECT_NEAR(mp.mass, 12.0, 1e-5);
    ExpectV3Near(mp.centre, -0.5, -1.0, -1.5, 1e-6);
    ExpectV3Near(V(mp.inertia.row[0].x, mp.inertia.row[1].y, mp.inertia.row[2].z), 13.0, 10.0, 5.0,
                 1e-4);

    // Half-spaces have no mass.
    auto half = pairtest::AlignedHalfSpace(BZ_DIRECTION_Z_PLUS, 0.0f);
    mp.mass = -7.0f;
    EXPECT_EQ(bz_Shape_MassProperties(half->firstShape, 1.0f, &mp), BZ_ERROR_UNSUPPORTED);
    EXPECT_EQ(mp.mass, -7.0f);
}

TEST(BodyMassTest, FormCombinesShapesAboutTheCommonCentre)
{
    // Two unit spheres at x = 1 and x = 3, total mass 4: centre x = 2; across the line
    // 2 x (2/5 x 2) + 2 x 2 x 1^2 = 5.6, along it 1.6.
    auto form = pairtest::Sphere(V(1, 0, 0), 1.0f);
    bzShape *second = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    ASSERT_NE(second, nullptr);
    bz_Shape_AsSphere(second)->centre = V(3, 0, 0);
    bz_Shape_AsSphere(second)->radius = 1.0f;
    FormAppendShape(form.get(), second);
    // A half-space in the chain adds nothing.
    FormAppendShape(form.get(), bz_Shape_CreateAlignedHalfSpace(form.get(), 0, 1.0f));
    bz_Form_CalcBounds(form.get(), 1);
    bzMassProperties mp;
    ASSERT_EQ(bz_Form_MassProperties(form.get(), 4.0f, &mp), 0);
    EXPECT_FLOAT_EQ(mp.mass, 4.0f);
    ExpectV3Near(mp.centre, 2.0, 0.0, 0.0, 1e-6);
    ExpectV3Near(V(mp.inertia.row[0].x, mp.inertia.row[1].y, mp.inertia.row[2].z), 1.6, 5.6, 5.6,
                 1e-5);
    EXPECT_NEAR(mp.inertia.row[0].y, 0.0, 1e-6);

    // Bad masses and a form without mass are refused; out is left alone.
    for (float bad : {0.0f, -1.0f, kNaN, kInf})
    {
        mp.mass = 99.0f;
        EXPECT_EQ(bz_Form_MassProperties(form.get(), bad, &mp), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(mp.mass, 99.0f);
    }
    auto half = pairtest::AlignedHalfSpace(BZ_DIRECTION_Z_PLUS, 0.0f);
    EXPECT_EQ(bz_Form_MassProperties(half.get(), 1.0f, &mp), BZ_ERROR_NO_BOUNDS);
    EXPECT_EQ(mp.mass, 99.0f);
}

TEST(BodyMassTest, SetMassPropertiesFromABoxForm)
{
    auto form = pairtest::AlignedCuboid(V(1, 1, 1), V(2, 3, 4)); // 1 x 2 x 3
    BZDObject body = {};
    body.form = form.get();
    body.inertiaScale = 1.0f;
    body.linearVelocity = V(1, 2, 3);
    body.angularVelocity = V(4, 5, 6);
    ASSERT_EQ(bz_Body_SetMassProperties(&body, 12.0f, 0.0f, nullptr, nullptr, 7), 0);
    EXPECT_FLOAT_EQ(body.mass, 12.0f);
    EXPECT_FLOAT_EQ(body.density, 2.0f);
    ExpectV3Near(body.centreOfMass, 1.5, 2.0, 2.5, 1e-6);
    ExpectV3Near(body.principalMoments, 13.0, 10.0, 5.0, 1e-5);
    EXPECT_EQ(body.substance, 7);
    ExpectV3Near(body.linearVelocity, 0, 0, 0, 0);
    ExpectV3Near(body.angularVelocity, 0, 0, 0, 0);
    EXPECT_FLOAT_EQ(body.inverseMass, 1.0f / 12.0f);
    ExpectV3Near(body.inversePrincipalMoments, 1.0 / 13.0, 1.0 / 10.0, 1.0 / 5.0, 1e-7);
    EXPECT_FALSE(body.physicsFlags & (BZ_PHYS_INF_MASS | BZ_PHYS_INF_MI));

    // Given values win; without a form the centre is the origin, the box a unit cube and the
    // density 1.
    const bzV3 centre = V(0, 0.5f, 0), moments = V(1, 2, 3);
    ASSERT_EQ(bz_Body_SetMassProperties(&body, 3.0f, 5.0f, &centre, &moments, 0), 0);
    EXPECT_FLOAT_EQ(body.density, 5.0f);
    ExpectV3Near(body.centreOfMass, 0, 0.5, 0, 0);
    ExpectV3Near(body.inversePrincipalMoments, 1.0, 0.5, 1.0 / 3.0, 1e-7);
    BZDObject loose = {};
    ASSERT_EQ(bz_Body_SetMassProperties(&loose, 6.0f, 0.0f, nullptr, nullptr, 0), 0);
    EXPECT_FLOAT_EQ(loose.density, 1.0f);
    ExpectV3Near(loose.centreOfMass, 0, 0, 0, 0);
    ExpectV3Near(loose.principalMoments, 1.0, 1.0, 1.0, 1e-6); // 6/12 x (1 + 1)
}

TEST(BodyMassTest, BadMassIsReportedAndLeavesTheBodyImmovable)
{
    ErrorLog log;
    for (float bad : {0.0f, -2.0f, kNaN, kInf, -kInf})
    {
        SCOPED_TRACE(bad);
        ErrorLog::codes().clear();
        BZDObject body = {};
        body.linearVelocity = V(1, 1, 1);
        EXPECT_EQ(bz_Body_SetMassProperties(&body, bad, 0.0f, nullptr, nullptr, 0),
                  BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        ASSERT_EQ(ErrorLog::codes().size(), 1u);
        EXPECT_EQ(ErrorLog::codes()[0], 13);
        EXPECT_EQ(body.mass, 0.0f);
        EXPECT_EQ(body.inverseMass, 0.0f);
        ExpectV3Near(body.inversePrincipalMoments, 0, 0, 0, 0);
        EXPECT_TRUE(bz_Phys_IsFixed(body.physicsFlags));
        EXPECT_TRUE(std::isfinite(body.density));
        // An impulse moves it not at all.
        const bzV3 j = V(10, 0, 0), p = V(0, 1, 0);
        bz_M34_SetIdentity(&body.startTransform);
        EXPECT_EQ(bz_Body_ApplyImpulse(&j, &body, &p, 1.0f), 0);
        ExpectV3Near(body.linearVelocity, 0, 0, 0, 0);
        ExpectV3Near(body.angularVelocity, 0, 0, 0, 0);
    }
    // Bad moments: the body still moves but does not turn.
    for (float bad : {0.0f, -1.0f, kNaN})
    {
        ErrorLog::codes().clear();
        BZDObject body = {};
        const bzV3 moments = V(1, bad, 1);
        EXPECT_EQ(bz_Body_SetMassProperties(&body, 2.0f, 0.0f, nullptr, &moments, 0),
                  BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(ErrorLog::codes().size(), 1u);
        EXPECT_FLOAT_EQ(body.inverseMass, 0.5f);
        EXPECT_TRUE(body.physicsFlags & BZ_PHYS_INF_MI);
        ExpectV3Near(body.inversePrincipalMoments, 0, 0, 0, 0);
    }
}

TEST(BodyMassTest, InversesHonourTheFixedFlags)
{
    struct Case
    {
        uint32_t flags;
        float inverseMass;
        float inverseMoment;
    };
    const Case cases[] = {
        {0, 0.25f, 0.5f},
        {BZ_PHYS_INF_MASS, 0.0f, 0.5f},
        {BZ_PHYS_INF_MI, 0.25f, 0.0f},
        {BZ_PHYS_INF_MASS | BZ_PHYS_INF_MI, 0.0f, 0.0f},
    };
    for (const Case &c : cases)
    {
        BZDObject body = {};
        body.mass = 4.0f;
        body.principalMoments = V(2, 2, 2);
        body.physicsFlags = c.flags;
        body.linearVelocity = V(1, 0, 0);
        body.angularVelocity = V(1, 0, 0);
        bz_Body_SetInverses(&body);
        EXPECT_FLOAT_EQ(body.inverseMass, c.inverseMass);
        EXPECT_FLOAT_EQ(body.inversePrincipalMoments.z, c.inverseMoment);
        const bool linearKept = !(c.flags & BZ_PHYS_INF_MASS);
        const bool angularKept = !(c.flags & BZ_PHYS_INF_MI);
        EXPECT_EQ(body.linearVelocity.x, linearKept ? 1.0f : 0.0f);
        EXPECT_EQ(body.angularVelocity.x, angularKept ? 1.0f : 0.0f);
    }
}

TEST(BodyMassTest, ImpulseAtAPointMatchesAHandCalculation)
{
    // Body turned a quarter turn about z (its x axis along world y), placed at (1, 0, 0),
    // centre of mass (0, 0.5, 0) in its frame = world (0.5, 0, 0); mass 2, moments 1, 2, 4.
    BZDObject body = {};
    body.mass = 2.0f;
    body.principalMoments = V(1, 2, 4);
    body.centreOfMass = V(0, 0.5f, 0);
    body.startTransform.row[0] = V(0, 1, 0);
    body.startTransform.row[1] = V(-1, 0, 0);
    body.startTransform.row[2] = V(0, 0, 1);
    body.startTransform.row[3] = V(1, 0, 0);
    bz_Body_SetInverses(&body);
    // J = (0, 0, 2) x 0.5 at world (1, 1, 0): v += (0, 0, 1) / 2. In the body frame the impulse
    // is (0, 0, 1) and the arm (1, -0.5, 0); r x J = (-0.5, -1, 0); w += (-0.5, -0.5, 0).
    const bzV3 j = V(0, 0, 2), p = V(1, 1, 0);
    EXPECT_EQ(bz_Body_ApplyImpulse(&j, &body, &p, 0.5f), 0);
    ExpectV3Near(body.linearVelocity, 0, 0, 0.5, 1e-6);
    ExpectV3Near(body.angularVelocity, -0.5, -0.5, 0, 1e-6);
    EXPECT_EQ(body.collisionMask, BZ_BODY_CHANGED_LINEAR | BZ_BODY_CHANGED_ANGULAR);

    // An impulse through the centre of mass does not turn the body.
    const bzV3 through = V(0.5f, 0, 0), side = V(0, 3, 0);
    EXPECT_EQ(bz_Body_ApplyImpulse(&side, &body, &through, 1.0f), 0);
    ExpectV3Near(body.linearVelocity, 0, 1.5, 0.5, 1e-6);
    ExpectV3Near(body.angularVelocity, -0.5, -0.5, 0, 1e-6);
}

TEST(BodyMassTest, NonFiniteImpulsesChangeNothing)
{
    BZDObject body = {};
    body.mass = 1.0f;
    body.principalMoments = V(1, 1, 1);
    bz_M34_SetIdentity(&body.startTransform);
    bz_Body_SetInverses(&body);
    body.linearVelocity = V(1, 2, 3);
    const bzV3 good = V(1, 0, 0), at = V(0, 1, 0);
    const bzV3 badJ = V(kNaN, 0, 0), badP = V(0, kInf, 0);
    struct Case
    {
        const bzV3 *j;
        const bzV3 *p;
        float scale;
    };
    const Case cases[] = {
        {&badJ, &at, 1.0f}, {&good, &badP, 1.0f}, {&good, &at, kNaN}, {&good, &at, kInf}};
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_Body_ApplyImpulse(c.j, &body, c.p, c.scale), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        ExpectV3Near(body.linearVelocity, 1, 2, 3, 0);
        ExpectV3Near(body.angularVelocity, 0, 0, 0, 0);
        EXPECT_EQ(body.collisionMask, 0u);
    }
}

// axes^T diag(moments) axes, the tensor the principal axes describe.
bzM33 FromPrincipal(const bzV3 &moments, const bzM33 &axes)
{
    bzM33 t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += double(axes.row[k].v[i]) * moments.v[k] * axes.row[k].v[j];
            t.row[i].v[j] = float(sum);
        }
    return t;
}

void ExpectRotation(const bzM33 &m)
{
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s)
            EXPECT_NEAR(bz_V3_Dot(&m.row[r], &m.row[s]), r == s ? 1.0f : 0.0f, 1e-5);
    EXPECT_NEAR(bz_M33_Determinant(&m), 1.0f, 1e-5);
}

TEST(BodyMassTest, PrincipalAxesOfTurnedTensors)
{
    // The box moments 13, 10, 5 seen from turned frames, and a tensor with two equal moments.
    const float turns[][3] = {{0, 0, 0}, {30, 0, 0}, {10, -40, 75}, {90, 90, 0}, {123, 45, -67}};
    const bzV3 sets[] = {V(13, 10, 5), V(2, 2, 7), V(4, 4, 4)};
    for (const bzV3 &set : sets)
        for (const auto &turn : turns)
        {
            SCOPED_TRACE(turn[0] + turn[1] + turn[2]);
            bzM33 r;
            bz_M33_FromEulerXYZ(&r, turn[0], turn[1], turn[2]);
            const bzM33 tensor = FromPrincipal(set, r);
            bzV3 moments;
            bzM33 axes;
            ASSERT_EQ(bz_Phys_PrincipalAxes(&tensor, &moments, &axes), 0);
            float sorted[3] = {set.x, set.y, set.z};
            std::sort(sorted, sorted + 3, [](float a, float b) { return a > b; });
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(moments.v[i], sorted[i], 1e-4);
            ExpectRotation(axes);
            const bzM33 back = FromPrincipal(moments, axes);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(back.row[i].v[j], tensor.row[i].v[j], 1e-4);
        }
}

TEST(BodyMassTest, PrincipalAxesOfAFormOfTwoShapes)
{
    // Two unit spheres on the diagonal x = y: the long axis of the pair lies along (1, 1, 0).
    auto form = pairtest::Sphere(V(1, 1, 0), 1.0f);
    bzShape *second = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    ASSERT_NE(second, nullptr);
    bz_Shape_AsSphere(second)->centre = V(3, 3, 0);
    bz_Shape_AsSphere(second)->radius = 1.0f;
    FormAppendShape(form.get(), second);
    bz_Form_CalcBounds(form.get(), 1);
    bzMassProperties mp;
    ASSERT_EQ(bz_Form_MassProperties(form.get(), 4.0f, &mp), 0);
    EXPECT_GT(std::fabs(mp.inertia.row[0].y), 1.0f) << "the tensor is not diagonal";
    bzV3 moments;
    bzM33 axes;
    ASSERT_EQ(bz_Phys_PrincipalAxes(&mp.inertia, &moments, &axes), 0);
    // Along the line 4 x 2/5 = 1.6; across it 1.6 + 4 x (sqrt 2)^2 = 9.6, twice.
    ExpectV3Near(moments, 9.6, 9.6, 1.6, 1e-4);
    EXPECT_NEAR(std::fabs(axes.row[2].x), 0.70710678f, 1e-5);
    EXPECT_NEAR(std::fabs(axes.row[2].y), 0.70710678f, 1e-5);
    ExpectRotation(axes);

    // A tensor that is not finite.
    bzM33 bad = mp.inertia;
    bad.row[1].z = kNaN;
    EXPECT_EQ(bz_Phys_PrincipalAxes(&bad, &moments, &axes), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    ExpectV3Near(moments, 0, 0, 0, 0);
    EXPECT_EQ(axes.row[0].x, 1.0f);
}
} // namespace
