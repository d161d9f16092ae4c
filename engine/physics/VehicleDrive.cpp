// The driver's side of a vehicle: steering, the pedals and drive modes, the brakes and hand
// brake, the engine with its torque curve, the clutch and the automatic gearbox.
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/CarSurface.h"
#include "physics/Vehicle.h"

#include <algorithm>
#include <cmath>

using namespace bzCar;

namespace
{
constexpr float kRadToRpm = 9.549296f;
constexpr float kRpmToRad = 0.10471976f;
constexpr float kSpeedUnit = 0.44444445f; // handling speed values to m/s
constexpr float kDefaultCurve[BZ_DRIVE_CURVE_POINTS] = {1.0f,   80.0f,  208.0f, 264.0f, 280.0f,
                                                        264.0f, 240.0f, 208.0f, 160.0f, 0.0f};
constexpr float kDefaultRatios[7] = {-0.021645071f, 0.0f,      0.021645071f, 0.036499534f,
                                     0.052627232f,  0.070877f, 0.092946485f};

float H(const bzDynVehicle *car, int32_t index)
{
    return car->handling->values[index].f;
}

// The drive-line ratio of a gear (0 outside the table).
float Ratio(const bzDynVehicle *car, int32_t gear)
{
    const bzDynVehicleDrive *d = car->drive;
    if (gear < -1 || gear > BZ_DRIVE_MAX_GEARS)
        return 0.0f;
    return d->ratioTable[gear + 1] * d->inverseFinalDrive;
}

float GearRatio(const bzDynVehicle *car)
{
    return car->gearChanging ? 0.0f : Ratio(car, car->drive->gear);
}

float Friction(const float terms[3], float w)
{
    return terms[0] + terms[1] * std::fabs(w) + terms[2] * w * w;
}

// Interpolation factor of a speed between 0 and a handling speed (0 below, 1 at or above).
float SpeedFactor(float v, float handlingSpeed)
{
    const float top = handlingSpeed * kSpeedUnit;
    if (!(top > 0.0f))
        return v > 0.0f ? 1.0f : 0.0f;
    return std::clamp(v / top, 0.0f, 1.0f);
}

float Finite0(float x)
{
    return std::isfinite(x) ? x : 0.0f;
}

} // namespace

void bz_DynVehicle_PeakPower(bzDynVehicleDrive *drive)
{
    float peak = 0.0f;
    const int32_t top = std::clamp(static_cast<int32_t>(drive->redLine / 1000.0f), 0, 9);
    for (int32_t k = 1; k <= top; k++)
        peak = std::max(peak, k * 104.71976f * drive->torqueCurve[k]);
    drive->peakPower = peak;
}

void bz_DynVehicle_SetDriveDefaults(bzDynVehicle *car)
{
    bzDynVehicleDrive *d = car->drive;
    const float k = SafeInv(car->wheelRadius);
    *d = bzDynVehicleDrive{};
    d->engineOn = 1;
    d->redLine = 6500.0f;
    d->redLineRadPerSec = d->redLine * kRpmToRad;
    d->maxRevs = 8000.0f;
    if (car->handling)
    {
        car->handling->values[BZ_H_RedLine].f = 6500.0f;
        d->maxRevs = car->handling->values[BZ_H_MaxRevs].f;
        bz_DynVehicle_SetSwitch(&car->handling->values[BZ_H_Engine], "on");
        d->numGears =
            static_cast<uint32_t>(std::clamp(car->handling->values[BZ_H_NumGears].f, 1.0f, 8.0f));
    }
    else
        d->numGears = 5;
    d->gear = 1;
    d->rpm = 1000.0f;
    // As after a gear change: a car that was never driven has no throttle left to fade.
    d->releaseTime = 100.0f;
    for (int32_t i = 0; i < BZ_DRIVE_CURVE_POINTS; i++)
        d->torqueCurve[i] = kDefaultCurve[i];
    for (int32_t i = 0; i < 7; i++)
        d->ratioTable[i] = kDefaultRatios[i] * k;
    d->gearRatios = d->ratioTable + 1;
    d->inverseFinalDrive = 1.0f;
    d->engineInertia = 0.06f;
    d->driveMI = 2.2f;
    bz_DynVehicle_PeakPower(d);
}

float bz_DynVehicle_ForwardSpeed(const bzDynVehicle *car)
{
    const BZDObject *body = bz_PhysCar_Body(car);
    return body ? (body->localLinearVelocity.z - car->floorVelocity.z) * car->forwardSign : 0.0f;
}

float bz_DynVehicle_CurveTorque(const bzDynVehicle *car, float rpm)
{
    const bzDynVehicleDrive *d = car->drive;
    if (!std::isfinite(rpm) || rpm < 0.0f)
        rpm = 0.0f;
    // The curve's last segment ends at 9000 rpm: the index stays within it.
    const int32_t i = std::clamp(static_cast<int32_t>(rpm / 1000.0f), 0, BZ_DRIVE_CURVE_POINTS - 2);
    const float t = std::clamp((rpm - 1000.0f * i) / 1000.0f, 0.0f, 1.0f);
    const float torque = d->torqueCurve[i] + (d->torqueCurve[i + 1] - d->torqueCurve[i]) * t;
    return torque * H(car, BZ_H_PowerMultiplier);
}

float bz_DynVehicle_DriveForceInGear(const bzDynVehicle *car, int32_t gear, float throttle,
                                     int32_t limit)
{
    const bzDynVehicleDrive *d = car->drive;
    const float g = Ratio(car, gear);
    if (gear == 0 || g == 0.0f)
        return 0.0f;
    const float wheel = SafeDiv(bz_DynVehicle_ForwardSpeed(car), car->wheelRadius);
    float rpm = wheel / g * kRadToRpm;
    if (rpm > d->maxRevs || (limit && rpm > 0.95f * d->maxRevs))
        return 0.0f;
    float direction = 1.0f;
    if (rpm < 0.0f)
    {
        rpm = 0.0f;
        direction = -1.0f;
    }
    if (gear <= 1)
        rpm = std::max(rpm, 2000.0f); // the clutch slips
    const float w = rpm * kRpmToRad;
    const float torque = bz_DynVehicle_CurveTorque(car, rpm) / g * throttle -
                         Friction(d->engineFriction, w) * (1.0f - throttle) / g -
                         Friction(d->driveFriction, wheel) * (g < 0.0f ? -1.0f : 1.0f);
    return direction * SafeDiv(torque, car->wheelRadius);
}

void bz_DynVehicle_ShiftTo(bzDynVehicle *car, int32_t gear)
{
    car->gearChanging = 1;
    car->drive->clutchTime = -H(car, BZ_H_ClutchDelay);
    car->drive->releaseTime = 100.0f;
    car->drive->gear = gear;
}

void bz_DynVehicle_EngageClutch(bzDynVehicle *car)
{
    bzDynVehicleDrive *d = car->drive;
    float w = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        w += car->torqueShare[i] * car->wheelSpin[i];
    const float g = Ratio(car, d->gear);
    const float energy =
        0.9f * (d->engineSpeed * d->engineSpeed * d->engineInertia + w * w * d->driveMI);
    d->engineSpeed =
        std::sqrt(std::max(SafeDiv(energy, g * g * d->driveMI + d->engineInertia), 0.0f));
    const float excess = w - g * d->engineSpeed;
    for (int32_t i = 0; i < 4; i++)
        car->wheelSpin[i] -= SafeDiv(excess * car->torqueShare[i], car->sumShareSq);
    car->driveSpin = g * d->engineSpeed;
}

void bz_DynVehicle_EngineTorque(bzDynVehicle *car, float throttle, float dt)
{
    bzDynVehicleDrive *d = car->drive;
    if (car->carFlags & BZ_CAR_OLD_WHEEL_MODEL)
    {
        // The old wheel model's engine: the gear's force at the present speed.
        if (d->gear == 0 && throttle > 0.1f)
            d->gear = car->driveMode == BZ_DRIVE_REVERSE ? -1 : 1;
        car->driveForce = bz_DynVehicle_DriveForceInGear(car, d->gear, throttle, 0);
        car->driveForce2 = 0.0f;
        d->throttle = throttle;
        car->driveSpin = SafeDiv(bz_DynVehicle_ForwardSpeed(car), car->wheelRadius);
        for (int32_t i = 0; i < 4; i++)
            car->wheelSpin[i] =
                car->wheelLoad[i] > 0.0f ? car->driveSpin : car->wheelSpin[i] * 0.95f;
        const float g = Ratio(car, d->gear);
        d->engineSpeed = std::max(g != 0.0f ? car->driveSpin / g : 0.9f * d->engineSpeed, 0.0f);
        d->rpm = d->engineSpeed * kRadToRpm;
        return;
    }
    const float maxSpeed = d->maxRevs * kRpmToRad;
    const float g = GearRatio(car);
    if (d->engineSpeed > maxSpeed)
    {
        d->engineSpeed = maxSpeed;
        const float excess = car->driveSpin - g * d->engineSpeed;
        for (int32_t i = 0; i < 4; i++)
            car->wheelSpin[i] -= excess;
        car->driveSpin = g * d->engineSpeed;
        d->releaseTime = 1.0f;
    }
    const float w = d->engineSpeed;
    const float engineFriction = -Friction(d->engineFriction, w);
    float rpm = w * kRadToRpm;
    if (throttle > 0.0f)
        rpm = std::max(rpm, 1000.0f);
    const float curve = bz_DynVehicle_CurveTorque(car, rpm);
    const float wd = car->driveSpin;
    const float driveFriction = -Friction(d->driveFriction, wd) * Sign0(wd);
    d->runTime += dt;
    if (throttle == 0.0f)
    {
        d->releaseTime += dt;
        // The engine brakes only after a moment: the throttle fades out over half a second.
        if (!(car->carFlags & BZ_CAR_ANALOG_THROTTLE) && d->releaseTime < 0.5f)
            throttle = 2.0f * (0.5f - d->releaseTime);
    }
    else
        d->releaseTime = 0.0f;
    d->throttle = throttle;
    float torque = curve * throttle + (1.0f - throttle) * engineFriction;
    if (g == 0.0f)
    {
        d->engineSpeed =
            std::clamp(d->engineSpeed + SafeDiv(dt, d->engineInertia) * torque, 0.0f, maxSpeed);
        d->engineTorque = torque;
        car->driveForce = SafeDiv(driveFriction, car->wheelRadius);
        car->driveForce2 = 0.0f;
        car->driveInertia = d->driveMI;
        d->rpm = d->engineSpeed * kRadToRpm;
        return;
    }
    if (H(car, BZ_H_TorqueSplit) > 80.0f && torque < -(std::fabs(driveFriction) * std::fabs(g)))
    {
        const float t0 = SafeDiv(-engineFriction, curve - engineFriction);
        if (throttle < t0)
        {
            const float k = std::min(5.0f * std::fabs(car->slipSpeed[2] + car->slipSpeed[3]), 1.0f);
            throttle += (t0 - throttle) * k;
            torque = curve * throttle + (1.0f - throttle) * engineFriction;
        }
    }
    d->engineTorque = torque;
    const float wheelTorque = torque / g + driveFriction;
    car->driveForce = SafeDiv(wheelTorque, car->wheelRadius);
    car->driveForce2 = 0.0f;
    car->driveInertia = SafeDiv(d->engineInertia, g * g) + d->driveMI;
    car->driveSpin = g * d->engineSpeed;
}

void bz_DynVehicle_Brakes(bzDynVehicle *car, float input)
{
    bzDynVehicleDrive *d = car->drive;
    const BZDObject *body = bz_PhysCar_Body(car);
    const float dt = BZ_VEHICLE_DT;
    const float M = body->mass;
    d->brakeTime += dt;
    d->stopTime += dt;
    float F = H(car, BZ_H_BrakeForce) * M * 0.001f;
    if (car->carFlags & BZ_CAR_ANALOG_BRAKE)
        F *= input;
    else
    {
        const float attack = H(car, BZ_H_BrakeAttack);
        if (attack > 0.0f && d->brakeTime / attack < 1.0f)
            F *= d->brakeTime / attack;
    }
    const float zy = BodyMatrix(body)->row[2].y * car->forwardSign;
    const float u = bz_DynVehicle_ForwardSpeed(car) - dt * Gravity(body) * zy;
    if (std::fabs(u) < SafeDiv(dt, M) * F && std::fabs(car->driveSpin) < 100.0f)
    {
        F = std::fabs(u) / dt * M;
        if (car->driveMode == BZ_DRIVE_FORWARD || car->driveMode == BZ_DRIVE_REVERSE)
            car->driveMode = BZ_DRIVE_STOPPING;
        if (d->stopTime > 0.4f)
            car->driveMode = BZ_DRIVE_STOPPED;
    }
    if (std::fabs(u) > 0.5f)
        d->stopTime = 0.0f;
    F *= -Sign0(u);
    const float balance = car->brakeBalance;
    for (int32_t i = 0; i < 4; i++)
    {
        const float share = car->steered[i] ? balance : 100.0f - balance;
        float force = F * share * 0.005f;
        if (car->wheelLoad[i] <= 0.0f)
        {
            const float stop =
                std::fabs(car->wheelSpin[i]) * SafeDiv(car->wheelInertia, dt * car->wheelRadius);
            force = std::clamp(force, -stop, stop);
        }
        car->brakeForce[i] = force;
    }
}

float bz_DynVehicle_SideForce(const bzDynVehicle *car, int32_t wheel)
{
    const float peak =
        car->slipLimit[wheel] + (car->wheelSurface[wheel] ? car->wheelSurface[wheel]->slip : 0.0f);
    const float share = std::clamp(SafeDiv(car->slipAngle[wheel], peak), -1.0f, 1.0f);
    return -car->gripForce[wheel] * share;
}

float bz_DynVehicle_CastorFactor(const bzDynVehicle *car)
{
    const float limit = H(car, BZ_H_CastorSlipRatioLimit);
    const float slip = 0.5f * (std::fabs(car->slipAngle[0]) + std::fabs(car->slipAngle[1]));
    float fade = 1.0f;
    if (limit > 0.0f)
        fade = std::clamp(2.0f - slip / limit, 0.0f, 1.0f);
    const float u = SpeedFactor(bz_DynVehicle_ForwardSpeed(car), H(car, BZ_H_CastorSpeedVel));
    const float castor =
        H(car, BZ_H_CastorSpeed1) + (H(car, BZ_H_CastorSpeed2) - H(car, BZ_H_CastorSpeed1)) * u;
    return fade * castor;
}

float bz_DynVehicle_SteerTarget(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    const bzM34 *m = BodyMatrix(body);
    body->localLinearVelocity = ToCar(m, body->linearVelocity);
    float c[2];
    int32_t count = 0;
    for (int32_t i = 0; i < 2; i++)
    {
        if (!(car->wheelLoad[i] > 0.0f))
            continue;
        bzV3 v = Add(body->localLinearVelocity,
                     Cross(body->angularVelocity, Sub(car->wheelPos[i], body->centreOfMass)));
        const bzV3 &n = car->contactNormal[i];
        v = AddScaled(v, n, -Dot(v, n));
        if (v.z * car->forwardSign < -std::fabs(v.x))
            return 0.0f; // backwards faster than sideways
        const bzV3 delta = Sub(car->steerCentre, car->wheelPos[i]);
        c[count++] = SafeDiv(v.x, car->forwardSign * (-delta.z * v.z - delta.x * v.x));
    }
    float target = 0.0f;
    if (count == 1)
        target = c[0];
    else if (count == 2)
        target = std::fabs(c[0] + c[1]) > 1e-6f ? 2.0f * c[0] * c[1] / (c[0] + c[1]) : 0.0f;
    return std::clamp(Finite0(target), -car->maxCurvature, car->maxCurvature);
}

namespace
{
void AnalogSteer(bzDynVehicle *car, float v)
{
    float s = car->steerRight - car->steerLeft;
    const float q = H(car, BZ_H_AnalogQuadratic);
    if (q != 0.0f)
    {
        const float shaped = q > 1.0f ? ((2.0f - q) + (q - 1.0f) * s * s) * std::fabs(s)
                                      : (1.0f - q) + std::fabs(s) * q;
        s = shaped * s;
    }
    const float a = 0.5f * (car->slipAngle[0] + car->slipAngle[1]);
    const float lean = (0.14f * std::fabs(a) - a * a) * H(car, BZ_H_AnalogStabilise) * 204.081f;
    if (lean > 0.0f)
    {
        const float b = lean * -Sign0(a) * 0.1f;
        s = s >= 0.0f ? b + (1.0f - b) * s : b + (b + 1.0f) * s;
    }
    float c = s * car->maxCurvature;
    const float turn = BZ_VEHICLE_DT * H(car, BZ_H_AnalogMaxTurnRate);
    if (turn != 0.0f && std::fabs(c - car->steerCurvature) >= std::fabs(turn))
        c = car->steerCurvature + std::copysign(std::fabs(turn), c - car->steerCurvature);
    const float limit1 = H(car, BZ_H_SteerLimit1), limit2 = H(car, BZ_H_SteerLimit2);
    if (limit1 + limit2 != 0.0f)
    {
        const float u = SpeedFactor(v, H(car, BZ_H_SteerLimitSpeed));
        const float L = (u * limit2 + (1.0f - u) * limit1) / std::max(v * v, 1.1920929e-7f) * 10.0f;
        const float rear = -(car->skidRear * car->forwardSign);
        if (a <= 0.0f && rear <= 0.0f)
            c = std::max(c, -L);
        if (a >= 0.0f && rear >= 0.0f)
            c = std::min(c, L);
    }
    car->steerCurvature = Finite0(c);
}

// With a front wheel on the ground: the front wheels keep their world alignment (gyroscope) and
// turn down a side slope.
void FrontWheelSteering(bzDynVehicle *car)
{
    const bool front0 = car->wheelLoad[0] > 0.0f, front1 = car->wheelLoad[1] > 0.0f;
    if (!front0 && !front1)
        return;
    float &c = car->steerCurvature;
    const BZDObject *body = bz_PhysCar_Body(car);
    const float gyro = H(car, BZ_H_SteerGyroscope);
    if (car->driveMode == BZ_DRIVE_FORWARD && gyro != 0.0f)
    {
        const float d = car->wheelPos[0].z - car->steerCentre.z;
        const float cosA = std::cos(std::atan(c * d));
        c -= SafeDiv(BZ_VEHICLE_DT * body->angularVelocity.y * gyro, cosA * cosA * d);
        c = std::clamp(Finite0(c), -car->maxCurvature, car->maxCurvature);
    }
    const float slope = H(car, BZ_H_SteerDownSlope);
    if (slope == 0.0f)
        return;
    const float nx = front0 && front1 ? 0.5f * (car->contactNormal[0].x + car->contactNormal[1].x)
                                      : car->contactNormal[front0 ? 0 : 1].x;
    const float g = 0.2f * nx;
    if (g > 0.05f)
    {
        const float target = (g - 0.05f) * slope;
        c = c < target ? std::min(c + 0.01875f, target) : target;
    }
    else if (g < -0.05f)
    {
        const float target = (g + 0.05f) * slope;
        c = c > target ? std::max(c - 0.009375f, target) : target;
    }
}

// After a slide the car must not spin the other way: a steering still held into the old skid
// is taken back as the body's yaw grows past what the opposite key asks for. It does so while
// the car still slides the skid's way, and once the car runs straight again (its velocity
// within about 5.7 degrees of its own z axis, forwards or backwards), when a yaw that is left
// would only swing it round the other way.
void SlideRecovery(bzDynVehicle *car)
{
    const float R = H(car, BZ_H_SlideSpinRecovery);
    if (R == 0.0f)
        return;
    const BZDObject *body = bz_PhysCar_Body(car);
    const float k = (car->carFlags & BZ_CAR_DOUBLE_DIGITAL_STEER) ? 1.0f : 0.5f;
    const float w = body->angularVelocity.y;
    const bzV3 &v = body->localLinearVelocity;
    const bool straight = v.z * v.z > 0.99f * Dot(v, v);
    float &c = car->steerCurvature;
    float i = 0.0f;
    bool applies = false;
    if (car->skidSteerSign == -1.0f && w > 0.0f && c > 0.0f && car->steerRight == 0.0f &&
        (v.x > 0.0f || straight))
    {
        i = k * car->steerLeft;
        applies = i < w;
    }
    else if (car->skidSteerSign == 1.0f && w < 0.0f && c < 0.0f && car->steerLeft == 0.0f &&
             (v.x < 0.0f || straight))
    {
        i = k * car->steerRight;
        applies = i < -w;
    }
    if (!applies)
        return;
    const float yaw = std::fabs(w);
    c = yaw > R + i ? 0.0f : c * (R + i - yaw) / R;
}

// Digital keys: left turns toward negative curvature (toward car-space -x), right toward
// positive.
void DigitalSteer(bzDynVehicle *car, float v)
{
    const float u = SpeedFactor(v, H(car, BZ_H_SteerSpeedVel));
    float rate =
        H(car, BZ_H_SteerSpeed1) + (H(car, BZ_H_SteerSpeed2) - H(car, BZ_H_SteerSpeed1)) * u;
    const bool left = car->steerLeft > 0.0f, right = car->steerRight > 0.0f;
    float &c = car->steerCurvature;
    SlideRecovery(car);
    if (left && right)
    {
        c = 0.0f;
        return;
    }
    if (left || right)
    {
        const float toward = left ? -1.0f : 1.0f;
        const float key = left ? car->steerLeft : car->steerRight;
        const float keySign = left ? 1.0f : -1.0f;
        if (car->skidSteerSign != 0.0f && car->skidSteerSign != keySign)
        {
            car->skidSteerSign = 0.0f;
            if (c * toward < 0.0f)
                c = 0.0f;
        }
        if (c * toward < 0.0f)
        {
            const float centre = H(car, BZ_H_SteerCentreMultiplier);
            if (centre == 0.0f)
                c = 0.0f;
            else
                rate = std::max(rate, std::min(rate * centre, std::fabs(c) * 80.0f));
        }
        // Steering into a skid: the rear slides the key's way while the body yaws against it.
        const BZDObject *body = bz_PhysCar_Body(car);
        const float skid = -(car->skidRear * car->forwardSign);
        if (skid != 0.0f && (skid > 0.0f) == (keySign > 0.0f) &&
            body->angularVelocity.y * toward < 0.0f)
        {
            const bzV3 arm = Sub(car->steerCentre, body->centreOfMass);
            const float lateral =
                std::fabs(Add(body->localLinearVelocity, Cross(body->angularVelocity, arm)).x);
            rate += std::max(lateral * H(car, BZ_H_SteerIntoSkidModifier) * 0.5f, 0.0f);
            car->skidSteerSign = keySign;
        }
        if (car->carFlags & BZ_CAR_DOUBLE_DIGITAL_STEER)
            rate *= 2.0f * key;
        c = std::clamp(c + toward * 0.0125f * rate, -car->maxCurvature, car->maxCurvature);
        FrontWheelSteering(car);
        return;
    }
    // No key: castor pulls the wheels toward the way the car is going, then toward centre.
    if (std::fabs(c) < 1e-6f)
        car->skidSteerSign = 0.0f;
    const float feedBack = H(car, BZ_H_SteerFeedBack);
    if (feedBack != 0.0f && car->driveMode != BZ_DRIVE_REVERSE && car->skidFront != 0.0f &&
        car->skidRear != 0.0f)
    {
        // The steered tyres' side forces turn the wheels (toward the skid).
        float side = 0.0f;
        for (int32_t i = 0; i < 4; i++)
            if (car->steered[i])
                side += bz_DynVehicle_SideForce(car, i);
        const BZDObject *body = bz_PhysCar_Body(car);
        const float next = c + feedBack * car->forwardSign * side * 5.0f *
                                   SafeInv(body->mass * 20.0f) * car->maxCurvature;
        c = (c > 0.0f && next < 0.0f) || (c < 0.0f && next > 0.0f) ? 0.0f : next;
        c = std::clamp(Finite0(c), -car->maxCurvature, car->maxCurvature);
        FrontWheelSteering(car);
        return;
    }
    const float castor = bz_DynVehicle_CastorFactor(car);
    const float target = bz_DynVehicle_SteerTarget(car);
    const float step = 0.0125f * castor;
    c = target > c ? std::min(c + step, target) : std::max(c - step, target);
    const float back = 0.0125f * std::max(1.0f - castor, 0.0f);
    c = c > 0.0f ? std::max(c - back, 0.0f) : std::min(c + back, 0.0f);
    c = std::clamp(Finite0(c), -car->maxCurvature, car->maxCurvature);
    FrontWheelSteering(car);
}

void HandBrake(bzDynVehicle *car, bool held)
{
    bzDynVehicleDrive *d = car->drive;
    if (!held)
    {
        d->handbrakeTime = 0.0f;
        car->handbrake = 0.0f;
        return;
    }
    const BZDObject *body = bz_PhysCar_Body(car);
    const float M = body->mass;
    d->handbrakeTime += BZ_VEHICLE_DT;
    float F = H(car, BZ_H_HandBrakeStrength) * M * 0.001f;
    const float attack = H(car, BZ_H_HandBrakeAttack);
    if (attack > 0.0f && d->handbrakeTime / attack < 1.0f)
        F *= d->handbrakeTime / attack;
    const float f = -(body->localLinearVelocity.z - car->floorVelocity.z) * M / BZ_VEHICLE_DT;
    float value;
    if (car->wheelLoad[2] <= 0.5f * M || car->wheelLoad[3] <= 0.5f * M)
        value = std::copysign(F, f);
    else
        value = std::fabs(f) < F ? f : std::copysign(F, f);
    // Held, the hand brake never reads 0.
    car->handbrake = value != 0.0f && std::isfinite(value) ? value : 1e-25f;
}
} // namespace

void bz_DynVehicle_Steering(bzDynVehicle *car)
{
    const float v = bz_DynVehicle_ForwardSpeed(car);
    if (car->carFlags & BZ_CAR_ANALOG_STEER)
        AnalogSteer(car, v);
    else
        DigitalSteer(car, v);
}

void bz_DynVehicle_Controls(bzDynVehicle *car)
{
    bzDynVehicleDrive *d = car->drive;
    const float dt = BZ_VEHICLE_DT;
    bz_DynVehicle_Steering(car);
    // The game holds the hand brake by leaving it non-zero; held, it keeps a non-zero strength.
    bool a = car->throttle != 0.0f;
    bool b = car->brake != 0.0f;
    const float v = bz_DynVehicle_ForwardSpeed(car);
    const bool analogThrottle = (car->carFlags & BZ_CAR_ANALOG_THROTTLE) != 0;
    car->driveForce = 0.0f;
    for (float &f : car->brakeForce)
        f = 0.0f;
    const bool handbrakeInput = car->handbrake != 0.0f;
    if ((a && b) || handbrakeInput || car->gearRequest)
        car->gearChanging = 1;
    else if (car->gearChanging)
    {
        d->clutchTime += dt;
        if (d->clutchTime <= 0.0f)
        {
            if (car->driveMode == BZ_DRIVE_FORWARD)
                a = false;
            else
                b = false;
        }
        else
        {
            car->gearChanging = 0;
            d->clutchTime = 0.0f;
            bz_DynVehicle_EngageClutch(car);
        }
    }
    d->throttle = 0.0f;
    bool engineRan = false;
    if (a)
    {
        if (v < -0.1f && d->runTime < H(car, BZ_H_TractionControlTime))
        {
            car->driveMode = BZ_DRIVE_REVERSE;
            if (d->gear < 0)
                d->gear = 0;
        }
        if (car->driveMode == BZ_DRIVE_REVERSE)
        {
            if (v <= 0.1f)
            {
                if (d->gear > 0)
                    car->gearChanging = 1;
            }
            else
                car->driveMode = BZ_DRIVE_FORWARD;
            if (!b)
            {
                bz_DynVehicle_EngineTorque(car, 0.0f, dt);
                engineRan = true;
            }
            bz_DynVehicle_Brakes(car, car->throttle);
        }
        else
        {
            car->driveMode = BZ_DRIVE_FORWARD;
            if (d->rpm < 1500.0f && v < -0.1f)
                car->driveMode = BZ_DRIVE_REVERSE;
            if (!car->gearChanging && d->gear < 1)
                d->gear = d->rpm > 2000.0f ? 1 : 0;
            if (!b && !handbrakeInput)
                d->brakeTime = 0.0f;
            bz_DynVehicle_EngineTorque(car, analogThrottle ? car->throttle : 1.0f, dt);
            engineRan = true;
        }
    }
    if (b)
    {
        if (v > 0.4f)
            car->driveMode = BZ_DRIVE_FORWARD;
        if (car->driveMode == BZ_DRIVE_FORWARD)
        {
            if (d->gear == -1)
                car->gearChanging = 1;
            if (!a && !engineRan)
            {
                bz_DynVehicle_EngineTorque(car, 0.0f, dt);
                engineRan = true;
            }
            if (v >= -0.2f)
                bz_DynVehicle_Brakes(car, car->brake);
            else
                car->driveMode = BZ_DRIVE_REVERSE;
        }
        else
        {
            car->driveMode = BZ_DRIVE_REVERSE;
            if (!car->gearChanging)
                d->gear = -1;
            if (!a && !handbrakeInput)
                d->brakeTime = 0.0f;
            const float pedal = (car->carFlags & BZ_CAR_ANALOG_THROTTLE) ? car->brake : 1.0f;
            bz_DynVehicle_EngineTorque(car, pedal * H(car, BZ_H_ReversePowerMulitplier), dt);
            engineRan = true;
        }
    }
    if (!a && !b)
    {
        if (car->wheelsOnGround > 0 && ((d->gear > 0 && v < -0.1f) || (d->gear < 0 && v > 0.1f)))
            d->gear = 0;
        bz_DynVehicle_EngineTorque(car, 0.0f, dt);
        if (car->driveMode == BZ_DRIVE_STOPPING || car->driveMode == BZ_DRIVE_STOPPED)
        {
            car->driveMode = BZ_DRIVE_STOPPED;
            bz_DynVehicle_Brakes(car, 1.0f);
        }
        else
            d->stopTime = 1.0f;
    }
    HandBrake(car, handbrakeInput);
}

void bz_DynVehicle_EngineSpeed(bzDynVehicle *car, float dt)
{
    if (car->carFlags & BZ_CAR_OLD_WHEEL_MODEL)
        return;
    bzDynVehicleDrive *d = car->drive;
    const float g = GearRatio(car);
    const float R = car->wheelRadius, I = car->wheelInertia, S = car->sumShareSq;
    d->driveTorque = car->driveForce * R;
    const float inertia = SafeDiv((d->driveMI - I * 4.0f) * S + I, S) * g * g + d->engineInertia;
    d->engineSpeed +=
        SafeDiv(car->driveForce * R - (car->engineReaction + car->engineReaction2) * R, inertia) *
        g * dt;
    d->engineSpeed = Finite0(d->engineSpeed);
    d->rpm = d->engineSpeed * kRadToRpm;
    if (d->rpm < 1000.0f && d->gear != 0 && !car->gearChanging)
    {
        if (d->engineSpeed < 0.0f)
            d->engineSpeed = 0.0f;
        const float v = bz_DynVehicle_ForwardSpeed(car);
        if (d->throttle == 0.0f)
        {
            if (v * (d->gear > 0 ? 1.0f : -1.0f) < 0.1f)
                d->gear = 0;
        }
        else
        {
            d->rpm = 1000.0f;
            d->engineSpeed = 1000.0f * kRpmToRad;
        }
        d->rpm = std::max(d->rpm, d->engineSpeed * kRadToRpm);
    }
    if (d->rpm >= d->maxRevs)
    {
        d->rpm = d->maxRevs * 0.999f;
        d->engineSpeed = d->rpm * kRpmToRad;
    }
}

void bz_DynVehicle_AutoGearbox(bzDynVehicle *car)
{
    bzDynVehicleDrive *d = car->drive;
    if (d->gear == 0 || car->gearChanging)
        return;
    const float F = bz_DynVehicle_DriveForceInGear(car, d->gear, 1.0f, 1) + 10.0f;
    if ((car->throttle < 0.1f || d->rpm < d->redLine - 1500.0f) && d->gear > 1)
    {
        if (bz_DynVehicle_DriveForceInGear(car, d->gear - 1, 1.0f, 1) > F)
            bz_DynVehicle_ShiftTo(car, d->gear - 1);
    }
    else if (d->gear >= 1 && d->gear < static_cast<int32_t>(d->numGears))
    {
        if (bz_DynVehicle_DriveForceInGear(car, d->gear + 1, 1.0f, 1) > F)
            bz_DynVehicle_ShiftTo(car, d->gear + 1);
    }
}
