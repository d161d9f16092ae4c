// The vehicle list, the handling values with their names and defaults, how a vehicle's
// handling is applied to its car fields and drive state, its mass, its body and its reset.
#include "collision/FaceList.h"
#include "collision/Form.h"
#include "collision/Shape.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/BodyMass.h"
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/Vehicle.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <strings.h>

using namespace bzCar;

bzVehicleServices bzgVehicleServices = {};

void bz_DynVehicle_ResetServices()
{
    bzgVehicleServices = {};
}

namespace
{
bzDynVehicle *gVehicles = nullptr;

struct HandlingDefault
{
    const char *name;
    float value;
};
// Switches default to an empty slot (0), normalised when the values are applied.
const HandlingDefault kHandling[BZ_HANDLING_COUNT] = {
    {"WheelMass", 10.0f},
    {"FrontDownForce", 20.0f},
    {"RearDownForce", 20.0f},
    {"DragCoefficient", 0.5f},
    {"MomentOfInertiaMultiplier", 1.0f},
    {"SteerSpeed1", 1.0f},
    {"SteerSpeed2", 0.5f},
    {"SteerSpeedVel", 150.0f},
    {"SteerLimit1", 0.0f},
    {"SteerLimit2", 0.0f},
    {"SteerLimitSpeed", 0.0f},
    {"SteerCentreMultiplier", 2.0f},
    {"CastorSpeed1", 0.0f},
    {"CastorSpeed2", 1.0f},
    {"CastorSpeedVel", 100.0f},
    {"CastorSlipRatioLimit", 0.15f},
    {"AnalogStabilise", 0.0f},
    {"AnalogMaxTurnRate", 0.0f},
    {"AnalogQuadratic", 1.0f},
    {"MaxSteeringAngle", 40.0f},
    {"SteerGyroscope", 1.0f},
    {"BrakeBalance", 50.0f},
    {"BrakeForce", 20000.0f},
    {"BrakeAttack", 1.0f},
    {"FrontGrip", 1.2f},
    {"RearGrip", 1.2f},
    {"HandBrakeStrength", 10000.0f},
    {"HandBrakeAttack", 0.1f},
    {"FrontRoll", 0.5f},
    {"RearRoll", 0.5f},
    {"SteerFeedBack", 0.0f},
    {"SteerIntoSkidModifier", 0.0f},
    {"SlideSpinRecovery", 1.0f},
    {"CMposZ", 0.0f},
    {"CMposY", 0.57f},
    {"FrontCriticalAngle", 6.0f},
    {"RearCriticalAngle", 6.0f},
    {"BumpSteer", 0.0f},
    {"SteerDownSlope", 1.0f},
    {"TorqueSplit", 65.0f},
    {"LSDThresholdF", 10.0f},
    {"LSDThresholdR", 10.0f},
    {"LSDThresholdM", -1.0f},
    {"RollingResistance", 0.018f},
    {"OldWheelModel", 0.0f},
    {"GearBox", 0.0f},
    {"CameraSlip", 0.75f},
    {"CameraHeight", 1.7f},
    {"CameraDistance", 9.0f},
    {"CameraOffset", 0.5f},
    {"FrontSuspGive", 0.0666667f},
    {"RearSuspGive", 0.0666667f},
    {"SuspDamping", 1.0f},
    {"StabilityGripChange", 0.4f},
    {"StabilityThreshold", -1.0f},
    {"ReversePowerMulitplier", 1.0f},
    {"Engine", 0.0f},
    {"DriveMI", 2.2f},
    {"EngineMI", 0.06f},
    {"Torque", 0.0f},
    {"PowerMultiplier", 1.0f},
    {"RedLine", 6500.0f},
    {"MaxRevs", 8000.0f},
    {"LimitRevs", 0.0f},
    {"ConstantEngineFriction", 833.0f},
    {"LinearEngineFriction", 0.0f},
    {"QuadraticEngineFriction", 0.0023f},
    {"ConstantDriveFriction", 9.1f},
    {"LinearDriveFriction", 0.0f},
    {"QuadraticDriveFriction", 0.00083f},
    {"EngineBrakeDelay", 0.5f},
    {"EngineBrakeAttack", 0.28f},
    {"TractionControlTime", 0.5f},
    {"TractionControlFade", 0.28f},
    {"ClutchDelay", 0.0f},
    {"GearRatios", 0.0f},
    {"FinalDrive", 1.0f},
    {"NumGears", 5.0f},
};

// The engine's speed limit: the torque curve ends at 9000 rpm.
constexpr float kMaxEngineRpm = 9000.0f;
// A body mass the car model can still divide by and square.
constexpr float kMaxMass = 1e7f;

float Finite(float v, float fallback)
{
    return std::isfinite(v) ? v : fallback;
}
} // namespace

const char *bz_DynVehicle_HandlingName(int32_t index)
{
    return index >= 0 && index < BZ_HANDLING_COUNT ? kHandling[index].name : nullptr;
}

int32_t bz_DynVehicle_HandlingIndex(const char *name)
{
    if (!name)
        return -1;
    for (int32_t i = 0; i < BZ_HANDLING_COUNT; i++)
        if (strcasecmp(name, kHandling[i].name) == 0)
            return i;
    return -1;
}

void bz_DynVehicle_DefaultHandling(bzDynVehicleHandling *out)
{
    out->changed = 1;
    for (int32_t i = 0; i < BZ_HANDLING_COUNT; i++)
        out->values[i].f = kHandling[i].value;
}

int32_t bz_DynVehicle_SwitchIs(const bzHandlingValue *value, const char *s)
{
    return std::strncmp(value->s, s, 4) == 0;
}

void bz_DynVehicle_SetSwitch(bzHandlingValue *value, const char *s)
{
    // Up to three characters and a terminating zero in the value's four bytes.
    std::memset(value->s, 0, 4);
    for (int32_t i = 0; i < 3 && s && s[i]; i++)
        value->s[i] = s[i];
}

bzDynVehicle *bz_DynVehicle_First()
{
    return gVehicles;
}

bzDynVehicle *bz_DynVehicle_Find(const bzLump *carLump)
{
    for (bzDynVehicle *v = gVehicles; v; v = v->next)
        if (v->object == carLump)
            return v;
    return nullptr;
}

void bz_DynVehicle_InvalidateAll()
{
    for (bzDynVehicle *v = gVehicles; v; v = v->next)
        if (v->handling)
            v->handling->changed = 1;
}

void bz_DynVehicle_Destroy(bzDynVehicle *car)
{
    for (bzDynVehicle **link = &gVehicles; *link; link = &(*link)->next)
        if (*link == car)
        {
            *link = car->next;
            bz_MemFree(car);
            return;
        }
    bz_ReportError("Dynamics Vehicle Missing Car", "bz_DynVehicle(%d)\n", __LINE__);
}

bzDynVehicle *bz_DynVehicle_Alloc(bzLump *carLump)
{
    auto *car = static_cast<bzDynVehicle *>(bz_MemAlloc(sizeof(bzDynVehicle), BZ_MEM_CLEAR));
    if (!car)
        return nullptr;
    car->drive = static_cast<bzDynVehicleDrive *>(
        bz_MemAlloc(sizeof(bzDynVehicleDrive), BZ_MEM_CLEAR | BZ_MEM_PARENT, car));
    car->handling = static_cast<bzDynVehicleHandling *>(
        bz_MemAlloc(sizeof(bzDynVehicleHandling), BZ_MEM_CLEAR | BZ_MEM_PARENT, car));
    if (!car->drive || !car->handling)
    {
        bz_MemFree(car);
        return nullptr;
    }
    car->object = carLump;
    for (float &limit : car->graphicalWheelLimits)
        limit = FLT_MAX;
    car->next = gVehicles;
    gVehicles = car;
    bz_DynVehicle_DefaultHandling(car->handling);
    car->wheelRadius = 0.3f;
    car->wheelSize2 = 0.1f;
    bz_DynVehicle_SetDriveDefaults(car);
    car->rideHeight = 0.2f;
    car->restMatrix.row[3].x = 1e8f;
    return car;
}

int32_t bz_DynVehicle_Create(bzForm *form, bzDynVehicle *car, float mass)
{
    BZDObject *body = nullptr;
    if (bzgVehicleServices.createBody)
        body = bzgVehicleServices.createBody(car->object, form, "DynVehicle");
    else if (car->object)
        body = static_cast<BZDObject *>(car->object->dynamicsObject);
    if (!body)
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    car->bodyLump = car->object;
    if (car->object && !car->object->dynamicsObject)
        car->object->dynamicsObject = body;
    body->form = form;
    bzBox box = form ? form->bounds : bzBox{{{{-1.0f, 0.0f, -2.0f}}}, {{{1.0f, 1.0f, 2.0f}}}};
    const float dx = box.max.x - box.min.x, dy = box.max.y - box.min.y, dz = box.max.z - box.min.z;
    const float k = 0.083333336f * mass;
    const bzV3 moments =
        V(k * (dy * dy + dz * dz), k * (dz * dz + dx * dx), k * (dx * dx + dy * dy));
    const bzV3 centre =
        V((box.min.x + box.max.x) * 0.5f, box.min.y + dy * 0.25f, (box.min.z + box.max.z) * 0.5f);
    bz_Body_SetMassProperties(body, mass, 0.0f, &centre, &moments, 0);
    body->physicsFlags |= BZ_PHYS_NO_BODY_CONTACT;
    return bzgVehicleServices.attachToWorld
               ? bzgVehicleServices.attachToWorld(body, BZ_VEHICLE_ATTACH_MASK)
               : BZ_ERROR_NONE;
}

void bz_DynVehicle_ApplyHandling(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    bzDynVehicleHandling *h = car->handling;
    if (!body || !h)
        return;
    bzHandlingValue *v = h->values;
    h->changed = 0;
    for (int32_t i = 0; i < 4; i++)
        car->grip[i] = i < 2 ? v[BZ_H_FrontGrip].f : v[BZ_H_RearGrip].f;
    car->frontRoll = v[BZ_H_FrontRoll].f;
    car->rearRoll = v[BZ_H_RearRoll].f;
    car->brakeBalance = v[BZ_H_BrakeBalance].f;
    body->centreOfMass.y = v[BZ_H_CMposY].f;
    car->frontDownForce = v[BZ_H_FrontDownForce].f;
    car->rearDownForce = v[BZ_H_RearDownForce].f;
    if (car->baseYawInertia == 0.0f)
        car->baseYawInertia = body->principalMoments.y;
    body->principalMoments.y = v[BZ_H_MomentOfInertiaMultiplier].f * car->baseYawInertia;
    car->wheelInertia = car->wheelRadius * car->wheelRadius * v[BZ_H_WheelMass].f * 0.5f;
    for (int32_t i = 0; i < 4; i++)
    {
        const float critical =
            car->steered[i] ? v[BZ_H_FrontCriticalAngle].f : v[BZ_H_RearCriticalAngle].f;
        car->slipLimit[i] = std::tan(critical * 0.017453292f);
        car->rollResist[i] = v[BZ_H_RollingResistance].f;
    }
    if (car->forwardSign == 0.0f)
        car->forwardSign = 1.0f;
    const float zf = car->wheelPos[0].z, zr = car->wheelPos[2].z;
    body->centreOfMass.z =
        ((zf + zr) + std::fabs(zf - zr) * v[BZ_H_CMposZ].f) * 0.5f * car->forwardSign;
    bz_PhysCar_Setup(car);
    for (int32_t i = 0; i < 4; i++)
        car->damping[i] *= v[BZ_H_SuspDamping].f;
    // The handling gives the full-lock angle in degrees.
    car->maxCurvature =
        SafeDiv(std::tan(v[BZ_H_MaxSteeringAngle].f * 0.017453292f), std::fabs(zf - zr));
    if (!std::isfinite(car->maxCurvature))
        car->maxCurvature = 0.0f;
    car->dragCoefficient = v[BZ_H_DragCoefficient].f;
    const float f = v[BZ_H_TorqueSplit].f * 0.005f;
    car->sumShareSq = 0.0f;
    for (int32_t i = 0; i < 4; i++)
    {
        car->torqueShare[i] = i < 2 ? 0.5f - f : f;
        car->sumShareSq += car->torqueShare[i] * car->torqueShare[i];
    }
    car->lsdThreshold[0] = v[BZ_H_LSDThresholdF].f;
    car->lsdThreshold[1] = v[BZ_H_LSDThresholdR].f;
    car->lsdThreshold[2] = v[BZ_H_LSDThresholdM].f;
    if (v[BZ_H_OldWheelModel].f == 0.0f && v[BZ_H_OldWheelModel].s[0] == 0)
        bz_DynVehicle_SetSwitch(&v[BZ_H_OldWheelModel], "off");
    if (bz_DynVehicle_SwitchIs(&v[BZ_H_OldWheelModel], "on"))
        car->carFlags |= BZ_CAR_OLD_WHEEL_MODEL;
    else
        car->carFlags &= ~BZ_CAR_OLD_WHEEL_MODEL;
    if (v[BZ_H_BumpSteer].f == 1.0f)
        bz_DynVehicle_SetSwitch(&v[BZ_H_BumpSteer], "on");
    else if (v[BZ_H_BumpSteer].f == 0.0f && v[BZ_H_BumpSteer].s[0] == 0)
        bz_DynVehicle_SetSwitch(&v[BZ_H_BumpSteer], "off");
    car->bankSteer = 0.0f;
    if (v[BZ_H_GearBox].f == 0.0f && v[BZ_H_GearBox].s[0] == 0)
        bz_DynVehicle_SetSwitch(&v[BZ_H_GearBox], "A");
    bzDynVehicleDrive *d = car->drive;
    if (!d)
        return;
    v[BZ_H_DriveMI].f =
        std::max(v[BZ_H_DriveMI].f, SafeDiv(car->wheelInertia, car->sumShareSq) + 0.1f);
    d->engineOn = bz_DynVehicle_SwitchIs(&v[BZ_H_Engine], "on") ? 1 : 0;
    // Engine speeds stay on the torque curve, which ends at 9000 rpm.
    v[BZ_H_RedLine].f = std::clamp(Finite(v[BZ_H_RedLine].f, 6500.0f), 1000.0f, kMaxEngineRpm);
    v[BZ_H_MaxRevs].f = std::clamp(Finite(v[BZ_H_MaxRevs].f, 8000.0f), 1000.0f, kMaxEngineRpm);
    d->redLine = v[BZ_H_RedLine].f;
    d->maxRevs = v[BZ_H_MaxRevs].f;
    d->redLineRadPerSec = d->redLine * 0.10471976f;
    d->engineInertia = v[BZ_H_EngineMI].f;
    d->driveMI = v[BZ_H_DriveMI].f;
    for (int32_t k = 0; k < 3; k++)
    {
        d->engineFriction[k] = d->engineInertia * v[BZ_H_ConstantEngineFriction + k].f;
        d->driveFriction[k] = d->driveMI * v[BZ_H_ConstantDriveFriction + k].f;
    }
    const float gears =
        std::clamp(Finite(v[BZ_H_NumGears].f, 5.0f), 1.0f, static_cast<float>(BZ_DRIVE_MAX_GEARS));
    v[BZ_H_NumGears].f = std::floor(gears);
    d->numGears = static_cast<uint32_t>(v[BZ_H_NumGears].f);
    if (v[BZ_H_LimitRevs].f == 0.0f && v[BZ_H_LimitRevs].s[0] == 0)
        bz_DynVehicle_SetSwitch(&v[BZ_H_LimitRevs], "off");
    d->limitRevs = bz_DynVehicle_SwitchIs(&v[BZ_H_LimitRevs], "on ") ? 1 : 0;
    bz_DynVehicle_PeakPower(d);
    d->inverseFinalDrive = v[BZ_H_FinalDrive].f != 0.0f && std::isfinite(v[BZ_H_FinalDrive].f)
                               ? 1.0f / v[BZ_H_FinalDrive].f
                               : 1.0f;
    d->gearRatios = d->ratioTable + 1;
    if (d->gear > static_cast<int32_t>(d->numGears))
        d->gear = static_cast<int32_t>(d->numGears);
}

int32_t bz_DynVehicle_SetBodyAttribute(bzDynVehicle *car, int32_t attribute, const void *value)
{
    BZDObject *body = car ? bz_PhysCar_Body(car) : nullptr;
    if (!body)
        return BZ_VEHICLE_NO_BODY;
    void *field = nullptr;
    size_t size = sizeof(bzV3);
    switch (attribute)
    {
    case BZ_MECH_ATTRIBUTE_GLOBAL_VELOCITY: field = &body->linearVelocity; break;
    case BZ_MECH_ATTRIBUTE_LOCAL_OMEGA: field = &body->angularVelocity; break;
    case BZ_MECH_ATTRIBUTE_MASS:
        field = &body->mass;
        size = sizeof(float);
        break;
    case BZ_MECH_ATTRIBUTE_MOMENTS: field = &body->principalMoments; break;
    default: return BZ_ERROR_INVALID_PARAMETER;
    }
    bzLump *lump = car->bodyLump ? car->bodyLump : car->object;
    void *element = lump && bzgPhysDynamics.elementOfLump && bzgPhysDynamics.setAttribute
                        ? bzgPhysDynamics.elementOfLump(lump)
                        : nullptr;
    int32_t result = BZ_ERROR_NONE;
    if (element)
        result = bzgPhysDynamics.setAttribute(element, attribute, value);
    else
        std::memcpy(field, value, size);
    if (attribute == BZ_MECH_ATTRIBUTE_MASS || attribute == BZ_MECH_ATTRIBUTE_MOMENTS)
        bz_Body_SetInverses(body);
    return result;
}

void bz_DynVehicle_SetMass(bzDynVehicle *car, float mass)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body || !car->handling)
        return;
    const float m = std::clamp(Finite(mass, 1.0f), 1.0f, kMaxMass);
    const float r = body->mass > 0.0f ? m / body->mass : 1.0f;
    const bzV3 moments = Scale(body->principalMoments, r);
    bz_DynVehicle_SetBodyAttribute(car, BZ_MECH_ATTRIBUTE_MASS, &m);
    bz_DynVehicle_SetBodyAttribute(car, BZ_MECH_ATTRIBUTE_MOMENTS, &moments);
    bzHandlingValue *v = car->handling->values;
    for (int32_t index : {BZ_H_WheelMass, BZ_H_FrontDownForce, BZ_H_RearDownForce,
                          BZ_H_DragCoefficient, BZ_H_PowerMultiplier, BZ_H_DriveMI, BZ_H_EngineMI})
        v[index].f *= r;
    car->baseYawInertia *= r;
    car->handling->changed = 1;
}

void bz_DynVehicle_Reset(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (body)
    {
        if (body->collisionCache && body->collisionCache->gatherList)
            body->collisionCache->gatherList->count = 0;
        body->localLinearVelocity = V(0.0f, 0.0f, 0.0f);
        const bzV3 zero = V(0.0f, 0.0f, 0.0f);
        bz_DynVehicle_SetBodyAttribute(car, BZ_MECH_ATTRIBUTE_GLOBAL_VELOCITY, &zero);
        bz_DynVehicle_SetBodyAttribute(car, BZ_MECH_ATTRIBUTE_LOCAL_OMEGA, &zero);
    }
    for (int32_t i = 0; i < 4; i++)
    {
        car->wheelSpin[i] = 0.0f;
        car->probeDist[i] = car->suspPrev[i] = car->rideHeight;
        car->wheelLoad[i] = 0.0f;
        car->hitFace[i] = nullptr;
        car->tyreLimit[i] = 0.0f;
        car->wheelSurface[i] = nullptr;
    }
    car->driveSpin = 0.0f;
    car->diffLock[0] = car->diffLock[1] = car->diffLock[2] = 0;
    car->restFrames = 0;
    if (bzDynVehicleDrive *d = car->drive)
    {
        d->gear = 0;
        d->rpm = d->engineSpeed = d->throttle = 0.0f;
        d->driveTorque = d->engineTorque = 0.0f;
        d->runTime = d->brakeTime = d->handbrakeTime = d->stopTime = 0.0f;
        d->releaseTime = 100.0f; // nothing to fade after a reset
        d->clutchTime = 0.0f;
    }
}

int32_t bz_DynVehicle_Detach(bzDynVehicle *car)
{
    BZDObject *body = car ? bz_PhysCar_Body(car) : nullptr;
    if (!body)
        return BZ_VEHICLE_NO_BODY;
    return bzgVehicleServices.detachFromJoint ? bzgVehicleServices.detachFromJoint(body)
                                              : BZ_ERROR_NONE;
}

bzForm *bz_DynVehicle_BoxShape(const bzBox *box)
{
    bzForm *form = bz_Form_Alloc(nullptr, BZ_SHAPE_ALIGNED_CUBOID);
    if (!form)
        return nullptr;
    *bz_Shape_Bounds(form->firstShape) = *box;
    bz_Form_CalcBounds(form, 1);
    return form;
}

void bz_DynVehicle_ForgetAll()
{
    gVehicles = nullptr;
}

void bz_DynVehicle_SetWheelPositions(bzDynVehicle *car, const bzV3 positions[4], float wheelSize2)
{
    for (int32_t i = 0; i < 4; i++)
        car->wheelPos[i] = V(positions[i].x, car->rideHeight, positions[i].z);
    car->wheelSize2 = wheelSize2;
    if (car->handling)
        car->handling->changed = 1;
}

float bz_DynVehicle_PowerFraction(const bzDynVehicle *car)
{
    const bzDynVehicleDrive *d = car->drive;
    if (!d || !car->handling)
        return 0.0f;
    const float peak = car->handling->values[BZ_H_PowerMultiplier].f * d->peakPower;
    const float fraction = SafeDiv(d->engineTorque * d->engineSpeed, peak);
    return std::isfinite(fraction) ? std::min(fraction, 1.0f) : 0.0f;
}
