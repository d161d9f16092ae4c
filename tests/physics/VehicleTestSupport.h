// A loaded vehicle on its own lump and body, on a flat face list, driven through
// bz_DynVehicle_Update with a small integration of the body between updates (gravity, the
// update, then the motion), so that drives can be tested without the physics step.
#pragma once

#include "CarTestSupport.h"
#include "collision/Form.h"
#include "physics/Vehicle.h"

#include <cmath>
#include <vector>

namespace cartest
{
struct TestVehicle
{
    bzLump lump{};
    BZDObject body{};
    bzDynCollisionCache cache{};
    bzDynFaceList *list = nullptr;
    bzDynVehicle *car = nullptr;

    explicit TestVehicle(float gravity = 10.0f, bzTextReader *file = nullptr,
                         bzTextReader *handling = nullptr)
    {
        list = StartCarBody(gravity, 16, lump, body, cache);
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f, 5000.0f);
        SetFaces(faces);
        car = bz_DynVehicle_Load(&lump, file, handling);
    }
    ~TestVehicle()
    {
        if (car)
            bz_DynVehicle_Destroy(car);
        bz_Form_Free(body.form);
        bz_DynFaceList_Free(list);
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
    }
    TestVehicle(const TestVehicle &) = delete;
    TestVehicle &operator=(const TestVehicle &) = delete;

    void SetFaces(const std::vector<bzDynFaceHit> &faces)
    {
        list->count = 0;
        for (const bzDynFaceHit &f : faces)
            static_cast<bzDynFaceHit *>(list->entries)[list->count++] = f;
    }
    bzV3 WorldCentre() const { return WorldCentreOf(lump.matrix, body.centreOfMass); }
    // One 40 ms step: gravity, the vehicle's update, the body's motion (unless asleep).
    void Step()
    {
        const float dt = 0.04f;
        if (!body.asleep)
            body.linearVelocity.y -= gTestGravity * dt;
        bz_DynVehicle_Update(car);
        if (body.asleep)
            return;
        IntegrateBody(lump.matrix, body, dt);
    }
    float Speed() const
    {
        return std::sqrt(body.linearVelocity.x * body.linearVelocity.x +
                         body.linearVelocity.z * body.linearVelocity.z);
    }
    // Heading of the car's z axis in the world x-z plane, radians from +z toward +x.
    float Heading() const { return std::atan2(lump.matrix.row[2].x, lump.matrix.row[2].z); }
};
} // namespace cartest
