// The car step: air drag and down force, the suspension, the drive train with its
// differentials, the grip forces and the tyres, or the spin-down of a car in the air.
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/CarSurface.h"
#include "physics/PhysSettings.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>

using namespace bzCar;

void bz_PhysCar_DragAndDownForce(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    const float M = body->mass;
    const float dt = TimeStep();
    bzV3 v = body->linearVelocity;
    const float speed = std::sqrt(Dot(v, v));
    const float keep = 1.0f - speed * car->dragCoefficient * SafeInv(M) * dt * 0.81000006f;
    // Drag slows the car down to rest at most, never backwards.
    v = Scale(v, std::max(keep, 0.0f));
    body->linearVelocity = v;
    const float h = std::min(std::sqrt(v.x * v.x + v.z * v.z), 50.0f);
    const float downForce = car->frontDownForce + car->rearDownForce;
    const float G = Gravity(body);
    if (downForce == 0.0f || G == 0.0f)
        return;
    const float loads =
        car->wheelLoad[0] + car->wheelLoad[1] + car->wheelLoad[2] + car->wheelLoad[3];
    const float f = SafeDiv(loads, M / dt * G) * dt * h * 0.02f;
    const bzM34 *m = BodyMatrix(body);
    // The down force presses the car onto the road: against the body's y axis.
    body->linearVelocity =
        AddScaled(body->linearVelocity, m->row[1], -f * body->inverseMass * downForce * 10.0f);
    const float cmz = body->centreOfMass.z;
    body->angularVelocity.x += ((car->wheelPos[2].z - cmz) * car->rearDownForce +
                                (car->wheelPos[0].z - cmz) * car->frontDownForce) *
                               car->forwardSign * 10.0f * body->inversePrincipalMoments.x * f;
}

void bz_PhysCar_RigidDriveLock(bzDynVehicle *car)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        sum += car->torqueShare[i] * car->wheelSpin[i];
    const float lambda = SafeDiv(sum - car->driveSpin, car->sumShareSq);
    for (int32_t i = 0; i < 4; i++)
        car->wheelSpin[i] -= lambda * car->torqueShare[i];
}

void bz_PhysCar_EngineCoupling(bzDynVehicle *car)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        sum += car->torqueShare[i] * car->wheelSpin[i];
    const float lambda = SafeDiv(sum - car->driveSpin, SafeDiv(car->sumShareSq, car->wheelInertia) +
                                                           car->invEngineInertia);
    car->driveSpin += lambda * car->invEngineInertia;
    for (int32_t i = 0; i < 4; i++)
        car->wheelSpin[i] -= lambda * SafeDiv(car->torqueShare[i], car->wheelInertia);
}

void bz_PhysCar_Differentials(bzDynVehicle *car, float R, float h, float *driveTorque)
{
    float *w = car->wheelSpin;
    for (int32_t pair = 0; pair < 2; pair++)
    {
        const int32_t a = 2 * pair, b = a + 1;
        if (car->lsdThreshold[pair] >= 0.0f && car->diffLock[pair] != 0)
        {
            car->diffLock[pair] = w[b] - w[a] >= 0.0f ? 1 : -1;
            w[a] = w[b] = (w[a] + w[b]) * 0.5f;
        }
    }
    if (car->lsdThreshold[2] >= 0.0f && car->handbrake == 0.0f && car->diffLock[2] != 0)
    {
        const float *s = car->torqueShare;
        const float e = (w[2] + w[3]) - (w[0] + w[1]);
        car->diffLock[2] = e >= 0.0f ? 1 : -1;
        const float split = s[0] + s[1] - s[2] - s[3];
        const float p = split * R;
        const float k =
            SafeInv(-car->invEngineInertia - SafeDiv(car->sumShareSq, car->wheelInertia));
        const float lambda = SafeDiv(e, 2.0f * R + p * k * p * 0.5f);
        const float mu = lambda * k * p * 0.5f;
        for (int32_t i = 0; i < 2; i++)
            w[i] += (mu * s[i] + lambda * 0.5f) * R;
        for (int32_t i = 2; i < 4; i++)
            w[i] += (mu * s[i] - lambda * 0.5f) * R;
        if (mu != 0.0f)
            car->driveSpin -= mu * car->invEngineInertia;
        if (driveTorque)
            *driveTorque -= SafeDiv(lambda * 0.5f, h * car->wheelRadius * car->sumShareSq) * split;
    }
}

void bz_PhysCar_GripForces(bzDynVehicle *car)
{
    const BZDObject *body = bz_PhysCar_Body(car);
    const float M = body->mass;
    for (int32_t i = 0; i < 4; i++)
    {
        const float load = std::max(car->wheelLoad[i], 0.0f);
        float grip = M * 2.5f * car->grip[i] * std::sqrt(SafeDiv(load, M * 2.5f));
        if (car->gripBoost[i] != 0.0f)
        {
            grip *= 1.0f + car->gripBoost[i];
            car->gripBoost[i] = 0.0f;
        }
        if (car->wheelSurface[i])
            grip *= car->wheelSurface[i]->friction;
        car->gripForce[i] = std::isfinite(grip) && grip > 0.0f ? grip : 0.0f;
    }
}

void bz_PhysCar_Airborne(bzDynVehicle *car)
{
    const float dt = TimeStep();
    const float I = car->wheelInertia;
    const float R = car->wheelRadius;
    car->engineReaction = 0.0f;
    car->engineReaction2 = 0.0f;
    car->skidFront = car->skidRear = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        car->gripForce[i] = 0.0f;
    if (car->handbrake != 0.0f)
    {
        car->engineReaction =
            -(car->torqueShare[3] * car->wheelSpin[3] + car->torqueShare[2] * car->wheelSpin[2]) *
            SafeDiv(I, dt * R);
        car->wheelSpin[2] = car->wheelSpin[3] = 0.0f;
    }
    for (int32_t i = 0; i < 4; i++)
    {
        float &spin = car->wheelSpin[i];
        float tau = (std::fabs(car->brakeForce[i]) * R + 5.0f) * SignOr1(spin) * dt;
        const float before = spin;
        spin -= SafeDiv(tau, I);
        if ((before > 0.0f && spin < 0.0f) || (before < 0.0f && spin > 0.0f))
        {
            // Stops at 0: only the torque that stopped it counts.
            tau += spin * dt * I;
            spin = 0.0f;
        }
        else if (before == 0.0f)
        {
            spin = 0.0f;
            tau = 0.0f;
        }
        car->engineReaction += SafeDiv(tau * car->torqueShare[i], dt * R * I * car->sumShareSq);
    }
    bz_PhysCar_EngineCoupling(car);
}

void bz_PhysCar_Step(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body)
        return;
    car->startVelocity = body->linearVelocity;
    // What the wheels feed back to the engine is this step's alone.
    car->engineReaction = 0.0f;
    car->engineReaction2 = 0.0f;
    const float engineSide = car->driveInertia - SafeDiv(car->wheelInertia, car->sumShareSq);
    car->invEngineInertia = engineSide > kTiny ? 1.0f / engineSide : 0.0f;
    bz_PhysCar_DragAndDownForce(car);
    body->localLinearVelocity = ToCar(BodyMatrix(body), body->linearVelocity);
    // The ellipsoid road is not supported: every car runs the ray suspension.
    bz_PhysCar_Suspension(car);
    car->wheelsOnGroundCopy = car->wheelsOnGround;
    if (car->bodyLump && car->bodyLump->dynamicsObject)
        static_cast<BZDObject *>(car->bodyLump->dynamicsObject)->parameterMask |=
            BZ_BODY_CAR_STEPPED;
    else
        body->parameterMask |= BZ_BODY_CAR_STEPPED;
    if (car->wheelsOnGround > 0 || (car->driven & 1))
        body->physicsFlags |= BZ_PHYS_NO_REST_TEST;
    else
        body->physicsFlags &= ~BZ_PHYS_NO_REST_TEST;
    const bool oldModel = (car->carFlags & BZ_CAR_OLD_WHEEL_MODEL) != 0;
    if (!oldModel)
        bz_PhysCar_RigidDriveLock(car);
    if (car->wheelsOnGround > 0)
    {
        bz_PhysCar_GripForces(car);
        bz_PhysCar_TyreForces(car);
        return;
    }
    if (oldModel)
        return;
    bz_PhysCar_Airborne(car);
}
