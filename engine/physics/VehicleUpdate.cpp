// The per-step update of a vehicle: handling changes, waking, the car's pre-step, controls,
// stability control, car step, engine speed, gearbox and the rest test that lets a parked car
// fall asleep.
#include "collision/FaceList.h"
#include "physics/BodySleep.h"
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/Vehicle.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>

using namespace bzCar;

void bz_DynVehicle_StabilityControl(bzDynVehicle *car)
{
    const BZDObject *body = bz_PhysCar_Body(car);
    const bzHandlingValue *h = car->handling->values;
    const float front = h[BZ_H_FrontGrip].f, rear = h[BZ_H_RearGrip].f;
    const float threshold = h[BZ_H_StabilityThreshold].f;
    float c = 0.0f;
    if (threshold >= 0.0f)
    {
        const bzV3 &lv = body->linearVelocity;
        const float v = std::sqrt(lv.x * lv.x + lv.z * lv.z);
        const float yaw = body->angularVelocity.y;
        const float w = std::fabs(yaw);
        const float s = std::fabs(car->steerCurvature) * v;
        const float grips =
            car->gripForce[0] + car->gripForce[1] + car->gripForce[2] + car->gripForce[3];
        // A car that hardly moves needs no help (and its grip limit would divide by 0).
        if (v * body->mass > 1e-3f)
        {
            const float L = grips / (v * body->mass);
            const float change = h[BZ_H_StabilityGripChange].f;
            if (w > L && L * threshold > 0.01f)
                c = std::min(w / L - threshold, 1.0f) * change;
            else if (w < s && w > 0.0f && yaw * car->steerCurvature > 0.0f)
                c = -std::min(std::min(s, L) / w - 1.0f, 1.0f) * change;
        }
    }
    for (int32_t i = 0; i < 4; i++)
        car->grip[i] = i < 2 ? front - c * 0.5f : rear + c * 0.5f;
}

void bz_DynVehicle_RestTest(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    const bzDynVehicleDrive *d = car->drive;
    const uint32_t earlier = car->restFrames;
    car->restFrames = 0;
    const bzM34 *m = BodyMatrix(body);
    const bzV3 &lv = body->linearVelocity;
    const bzV3 &w = body->angularVelocity;
    bool pass = car->throttle == 0.0f && car->brake == 0.0f &&
                (d->throttle < 0.1f || car->gearChanging || d->gear == 0) &&
                lv.x * lv.x + lv.z * lv.z < 0.01f && Dot(w, w) < 0.05f && car->wheelsOnGround > 0 &&
                lv.y > -0.1f && lv.y < 0.15f;
    if (pass)
    {
        const bzV3 moved = Sub(m->row[3], car->restMatrix.row[3]);
        pass = Dot(moved, moved) < 0.01f * 0.01f && Dot(m->row[2], car->restMatrix.row[2]) > 0.999f;
        if (!pass)
        {
            // Not yet comparable: take the matrix and count this frame as the first.
            car->restMatrix = *m;
            return;
        }
    }
    if (!pass)
    {
        car->restMatrix.row[3].x = 1e8f;
        return;
    }
    if (earlier > 3 && (body->owner == car->object || body->owner == car->bodyLump))
    {
        body->linearVelocity = V(0.0f, 0.0f, 0.0f);
        body->localLinearVelocity = V(0.0f, 0.0f, 0.0f);
        body->angularVelocity = V(0.0f, 0.0f, 0.0f);
        if (!car->driven)
        {
            bool onBody = false, spinning = false;
            for (int32_t i = 0; i < 4; i++)
            {
                const bzDynFaceHit *face = car->hitFace[i];
                if (car->wheelLoad[i] != 0.0f && face && face->lump && face->lump->dynamicsObject)
                    onBody = true;
                if (car->wheelSpin[i] > 0.5f)
                    spinning = true;
            }
            if (!onBody && !spinning)
            {
                bz_Phys_SleepBody(body);
                body->attributeMask |= BZ_VEHICLE_SLEEP_ATTRIBUTES;
                for (float &spin : car->wheelSpin)
                    spin = 0.0f;
            }
        }
    }
    car->restFrames = earlier + 1;
    for (float &spin : car->wheelSpin)
        if (std::fabs(spin) < 0.05f)
            spin = 0.0f;
    // Bodies carried by the car (its body-tree children) come to rest with it.
    if (Dot(body->angularVelocity, body->angularVelocity) < 0.01f)
        for (BZDObject *child = body->firstChild; child; child = child->nextSibling)
        {
            const bzV3 &cv = child->linearVelocity;
            const bzM34 *cm = BodyMatrix(child);
            if (cv.x * cv.x + cv.z * cv.z < 0.01f && Dot(cm->row[2], m->row[2]) > 0.996f)
            {
                child->linearVelocity = V(0.0f, 0.0f, 0.0f);
                child->angularVelocity = V(0.0f, 0.0f, 0.0f);
            }
        }
    car->restMatrix = *m;
}

namespace
{
// The body's collision cache is refreshed when it went stale, the lump's matrix first.
void RefreshBodyOf(bzLump *lump, BZDObject *body)
{
    if (!body || !body->collisionCache || bz_DynCollisionCache_IsValid(body->collisionCache))
        return;
    if (lump)
        bz_Lump_GetMatrix(lump); // brings a controlled matrix up to date
    bz_Phys_RefreshBodyCache(body);
}
} // namespace

void bz_DynVehicle_RefreshBody(bzLump *lump)
{
    if (!lump)
        return;
    const bzDynVehicle *car = bz_DynVehicle_Find(lump);
    RefreshBodyOf(lump,
                  car ? bz_PhysCar_Body(car) : static_cast<BZDObject *>(lump->dynamicsObject));
}

void bz_DynVehicle_Update(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body || !car->handling || !car->drive)
        return;
    if (car->handling->changed)
        bz_DynVehicle_ApplyHandling(car);
    if (body->asleep)
    {
        if (!car->driven)
            return;
        body->asleep = 0;
    }
    RefreshBodyOf(car->object, body);
    bz_PhysCar_PreStep(car);
    bz_DynVehicle_Controls(car);
    bz_DynVehicle_StabilityControl(car);
    bz_PhysCar_Step(car);
    bz_DynVehicle_EngineSpeed(car, BZ_VEHICLE_DT);
    if (!bz_DynVehicle_SwitchIs(&car->handling->values[BZ_H_GearBox], "M"))
        bz_DynVehicle_AutoGearbox(car);
    bz_DynVehicle_RestTest(car);
}
