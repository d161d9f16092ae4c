// What a vehicle writes through the dynamics controller and the mechanics: the velocities of a
// reset and the mass and moments of a new mass as controlled attributes (or, without a
// controller element, into the body), the attribute bits of a body put to sleep, the collision
// settings of a loaded body, detaching from the joint and the body refresh on its own; and the
// slide recovery once the car runs straight again.
#include "VehicleTestSupport.h"
#include "physics/PhysServices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace cartest;

namespace
{
// A controller that stands for the dynamics layer: the element of a lump is the lump itself
// (when `elements` is set), each write is logged, and an accepted write lands in the lump's
// body as the attribute's field chain would put it. `refuse` is returned for every write
// instead (and nothing is written) when it is not 0.
struct Write
{
    void *element;
    int32_t attribute;
    float value[3];
};
std::vector<Write> gWrites;
bool gElements = true;
int32_t gRefuse = 0;

void *ElementOf(void *lump)
{
    return gElements ? lump : nullptr;
}

int32_t SetAttribute(void *element, int32_t attribute, const void *value)
{
    Write w = {element, attribute, {0.0f, 0.0f, 0.0f}};
    const size_t size = attribute == BZ_MECH_ATTRIBUTE_MASS ? sizeof(float) : 3 * sizeof(float);
    std::memcpy(w.value, value, size);
    gWrites.push_back(w);
    if (gRefuse)
        return gRefuse;
    auto *body = static_cast<BZDObject *>(static_cast<bzLump *>(element)->dynamicsObject);
    switch (attribute)
    {
    case BZ_MECH_ATTRIBUTE_GLOBAL_VELOCITY: std::memcpy(&body->linearVelocity, value, size); break;
    case BZ_MECH_ATTRIBUTE_LOCAL_OMEGA: std::memcpy(&body->angularVelocity, value, size); break;
    case BZ_MECH_ATTRIBUTE_MASS: std::memcpy(&body->mass, value, size); break;
    case BZ_MECH_ATTRIBUTE_MOMENTS: std::memcpy(&body->principalMoments, value, size); break;
    default: break;
    }
    return 0;
}

class VehicleController : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gWrites.clear();
        gElements = true;
        gRefuse = 0;
    }
    void TearDown() override { bz_DynVehicle_ResetServices(); }
    // Installs the controller; the vehicle's constructor resets the physics' tables first.
    static void Install()
    {
        bzgPhysDynamics.elementOfLump = ElementOf;
        bzgPhysDynamics.setAttribute = SetAttribute;
    }
};

TEST_F(VehicleController, ResetZeroesBothVelocitiesThroughTheController)
{
    struct Case
    {
        const char *name;
        bool controller, elements;
        int32_t refuse;
        size_t writes;
        bool zeroed;
    } cases[] = {
        {"controller", true, true, 0, 2, true},
        {"controller refuses (replay owns them)", true, true, 165, 2, false},
        {"no element for the lump", true, false, 0, 0, true},
        {"no controller", false, true, 0, 0, true},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        TestVehicle t;
        if (k.controller)
            Install();
        gWrites.clear();
        gElements = k.elements;
        gRefuse = k.refuse;
        t.body.linearVelocity = V3(1.0f, 2.0f, 3.0f);
        t.body.localLinearVelocity = V3(1.0f, 2.0f, 3.0f);
        t.body.angularVelocity = V3(0.5f, -0.5f, 0.25f);
        t.car->wheelSpin[2] = 40.0f;
        bz_DynVehicle_Reset(t.car);
        ASSERT_EQ(gWrites.size(), k.writes);
        if (k.writes)
        {
            EXPECT_EQ(gWrites[0].element, &t.lump);
            EXPECT_EQ(gWrites[0].attribute, 2); // "Global velocity"
            EXPECT_EQ(gWrites[1].attribute, 3); // "Local omega"
            for (const Write &w : gWrites)
                for (float c : w.value)
                    EXPECT_EQ(c, 0.0f);
        }
        const float vz = t.body.linearVelocity.z, wy = t.body.angularVelocity.y;
        EXPECT_EQ(vz, k.zeroed ? 0.0f : 3.0f);
        EXPECT_EQ(wy, k.zeroed ? 0.0f : -0.5f);
        // The car-space copy and the car's own state are the vehicle's, whatever the controller.
        EXPECT_EQ(t.body.localLinearVelocity.z, 0.0f);
        EXPECT_EQ(t.car->wheelSpin[2], 0.0f);
        EXPECT_EQ(t.car->probeDist[1], 0.2f);
    }
}

TEST_F(VehicleController, SetMassWritesMassAndMomentsThroughTheController)
{
    TestVehicle t;
    bz_DynVehicle_ApplyHandling(t.car);
    Install();
    // The generated box of the default layout: 2 x 1.2 x 4 m, 1250 kg.
    const float k = 1250.0f / 12.0f;
    ASSERT_NEAR(t.body.principalMoments.x, k * (1.44f + 16.0f), 1e-2f);
    ASSERT_NEAR(t.body.principalMoments.z, k * (4.0f + 1.44f), 1e-2f);
    const bzV3 m0 = t.body.principalMoments;
    bz_DynVehicle_SetMass(t.car, 3750.0f);
    ASSERT_EQ(gWrites.size(), 2u);
    EXPECT_EQ(gWrites[0].attribute, 4); // "Mass"
    EXPECT_EQ(gWrites[0].value[0], 3750.0f);
    EXPECT_EQ(gWrites[1].attribute, 6); // "Moments of inertia"
    for (int32_t a = 0; a < 3; a++)
        EXPECT_FLOAT_EQ(gWrites[1].value[a], 3.0f * m0.v[a]) << a;
    // The physics' inverses follow what the controller wrote.
    EXPECT_FLOAT_EQ(t.body.inverseMass, 1.0f / 3750.0f);
    EXPECT_FLOAT_EQ(t.body.inversePrincipalMoments.x, 1.0f / (3.0f * m0.x));
    EXPECT_FLOAT_EQ(t.body.inversePrincipalMoments.y, 1.0f / (3.0f * m0.y));

    // A controller that refuses leaves the body as it was (and its inverses with it).
    gWrites.clear();
    gRefuse = 165;
    bz_DynVehicle_SetMass(t.car, 1000.0f);
    EXPECT_EQ(gWrites.size(), 2u);
    EXPECT_EQ(t.body.mass, 3750.0f);
    EXPECT_FLOAT_EQ(t.body.inverseMass, 1.0f / 3750.0f);
}

TEST_F(VehicleController, AttributesAVehicleDoesNotWriteAndARecordWithoutBody)
{
    TestVehicle t;
    Install();
    const float one = 1.0f;
    EXPECT_EQ(bz_DynVehicle_SetBodyAttribute(t.car, 9, &one), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_DynVehicle_SetBodyAttribute(t.car, -1, &one), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(gWrites.empty());
    EXPECT_EQ(bz_DynVehicle_SetBodyAttribute(nullptr, BZ_MECH_ATTRIBUTE_MASS, &one), 160);
    gRefuse = 150;
    EXPECT_EQ(bz_DynVehicle_SetBodyAttribute(t.car, BZ_MECH_ATTRIBUTE_MASS, &one), 150);
}

// A parked car put to sleep by the rest test marks the matrix and both velocities changed
// (mechanics attributes 1, 2 and 3), keeping the mask's other bits.
TEST_F(VehicleController, SleepingMarksTheThreeMotionAttributes)
{
    TestVehicle t;
    t.car->driven = 0;
    t.body.attributeMask = 0x100;
    int32_t steps = 0;
    for (; steps < 100 && !t.body.asleep; steps++)
    {
        t.Step();
        if (!t.body.asleep)
        {
            EXPECT_EQ(t.body.attributeMask, 0x100u) << steps;
        }
    }
    ASSERT_EQ(t.body.asleep, 1);
    EXPECT_EQ(t.body.attributeMask, 0x100u | 0x2u | 0x4u | 0x8u);
}

int32_t gFirst = -1, gSecond = -1, gFieldCalls = 0;
BZDObject *gFieldsBody = nullptr;
void SetFields(BZDObject *body, int32_t first, int32_t second)
{
    gFieldsBody = body;
    gFirst = first;
    gSecond = second;
    gFieldCalls++;
}

TEST_F(VehicleController, TheLoadedBodyGetsItsCollisionSettings)
{
    bzgVehicleServices.setCollisionFields = SetFields;
    gFieldCalls = 0;
    TestVehicle t;
    ASSERT_NE(t.car, nullptr);
    EXPECT_EQ(gFieldCalls, 1);
    EXPECT_EQ(gFieldsBody, &t.body);
    EXPECT_EQ(gFirst, 3);
    EXPECT_EQ(gSecond, 1);
}

BZDObject *gDetached = nullptr;
int32_t gDetachResult = 0;
int32_t DetachBody(BZDObject *body)
{
    gDetached = body;
    return gDetachResult;
}

TEST_F(VehicleController, DetachHandsTheBodyToTheMechanics)
{
    TestVehicle t;
    // Without the mechanics nothing holds the body: detached.
    EXPECT_EQ(bz_DynVehicle_Detach(t.car), 0);
    bzgVehicleServices.detachFromJoint = DetachBody;
    gDetachResult = 0;
    EXPECT_EQ(bz_DynVehicle_Detach(t.car), 0);
    EXPECT_EQ(gDetached, &t.body);
    gDetachResult = 163; // not in a world
    EXPECT_EQ(bz_DynVehicle_Detach(t.car), 163);
    // A record whose lump has no body is no mechanics element.
    bzLump bare{};
    bzDynVehicle *none = bz_DynVehicle_Alloc(&bare);
    ASSERT_NE(none, nullptr);
    gDetached = nullptr;
    EXPECT_EQ(bz_DynVehicle_Detach(none), 160);
    EXPECT_EQ(gDetached, nullptr);
    bz_DynVehicle_Destroy(none);
    EXPECT_EQ(bz_DynVehicle_Detach(nullptr), 160);
}

// The refresh gathers again around the body where it now stands, and only when the cache went
// stale; a lump without a vehicle refreshes its own body; no lump does nothing.
TEST_F(VehicleController, RefreshBodyRegathersAStaleCacheOnly)
{
    TestVehicle t;
    t.lump.matrix.row[3] = V3(3.0f, 0.0f, 7.0f);
    t.cache.gatherMatrix.row[3] = V3(0.0f, 0.0f, 0.0f);
    bz_DynVehicle_RefreshBody(&t.lump);
    EXPECT_EQ(t.cache.gatherMatrix.row[3].x, 0.0f) << "a valid cache stays";
    t.cache.valid = 0;
    bz_DynVehicle_RefreshBody(&t.lump);
    EXPECT_FLOAT_EQ(t.cache.gatherMatrix.row[3].x, 3.0f);
    EXPECT_FLOAT_EQ(t.cache.gatherMatrix.row[3].z, 7.0f);

    // The same through the lump alone, once the vehicle is gone.
    bz_DynVehicle_Destroy(t.car);
    t.car = nullptr;
    t.cache.valid = 0;
    t.lump.matrix.row[3] = V3(-4.0f, 0.0f, 1.0f);
    bz_DynVehicle_RefreshBody(&t.lump);
    EXPECT_FLOAT_EQ(t.cache.gatherMatrix.row[3].x, -4.0f);
    bz_DynVehicle_RefreshBody(nullptr);
}

// The recovery also takes back a steering held into the old skid once the car runs straight
// again (velocity within arccos(sqrt(0.99)) = 5.74 degrees of its z axis), whichever way it
// moves along z; a car still sliding the other way keeps its steering.
TEST(VehicleSteering, SlideRecoveryOnceRunningStraight)
{
    struct Case
    {
        const char *name;
        float skidSign, yaw, curvature, vx, vz, want;
    } cases[] = {
        // Yaw 0.5 with R 1 and no key: the steering keeps (1 - 0.5) of itself, then the centre
        // return takes 0.0125.
        {"straight ahead", -1.0f, 0.5f, 0.1f, 0.0f, 10.0f, 0.1f * 0.5f - 0.0125f},
        {"straight backwards", -1.0f, 0.5f, 0.1f, 0.0f, -10.0f, 0.1f * 0.5f - 0.0125f},
        {"mirror, straight", 1.0f, -0.5f, -0.1f, 0.0f, 10.0f, -0.1f * 0.5f + 0.0125f},
        // tan 5 degrees = 0.0875: inside; tan 6.5 degrees = 0.114: outside.
        {"5 degrees off the axis", -1.0f, 0.5f, 0.1f, -0.875f, 10.0f, 0.1f * 0.5f - 0.0125f},
        {"6.5 degrees off the axis", -1.0f, 0.5f, 0.1f, -1.14f, 10.0f, 0.1f - 0.0125f},
        {"mirror, 6.5 degrees off", 1.0f, -0.5f, -0.1f, 1.14f, 10.0f, -0.1f + 0.0125f},
        {"standing still", -1.0f, 0.5f, 0.1f, 0.0f, 0.0f, 0.1f - 0.0125f},
    };
    for (const Case &k : cases)
    {
        TestVehicle t;
        bz_DynVehicle_ApplyHandling(t.car);
        t.car->carFlags &= ~BZ_CAR_ANALOG_STEER;
        for (int32_t i = 0; i < 4; i++)
            t.car->wheelLoad[i] = 0.0f;
        t.car->steerLeft = t.car->steerRight = 0.0f;
        t.car->skidSteerSign = k.skidSign;
        t.car->steerCurvature = k.curvature;
        t.body.angularVelocity = V3(0.0f, k.yaw, 0.0f);
        t.body.localLinearVelocity = t.body.linearVelocity = V3(k.vx, 0.0f, k.vz);
        bz_DynVehicle_Steering(t.car);
        EXPECT_NEAR(t.car->steerCurvature, k.want, 1e-6f) << k.name;
    }
}
} // namespace
