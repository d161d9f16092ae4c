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
        bz_Phys_ResetSettings();
        bz_Phys_ResetServices();
        gTestGravity = gravity;
        bzgPhysWorld.gravity = TestGravity;
        list = bz_DynFaceList_Create(16);
        cache.gatherList = list;
        cache.valid = 1;
        for (int32_t k = 0; k < 4; k++)
            lump.matrix.row[k] = V3(k == 0, k == 1, k == 2);
        lump.dynamicsObject = &body;
        body.transform = &lump.matrix;
        body.collisionCache = &cache;
        body.owner = &lump;
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
    bzV3 WorldCentre() const
    {
        const bzM34 &m = lump.matrix;
        const bzV3 &c = body.centreOfMass;
        bzV3 r;
        for (int32_t j = 0; j < 3; j++)
            r.v[j] =
                c.x * m.row[0].v[j] + c.y * m.row[1].v[j] + c.z * m.row[2].v[j] + m.row[3].v[j];
        return r;
    }
    // One 40 ms step: gravity, the vehicle's update, the body's motion (unless asleep).
    void Step()
    {
        const float dt = 0.04f;
        if (!body.asleep)
            body.linearVelocity.y -= gTestGravity * dt;
        bz_DynVehicle_Update(car);
        if (body.asleep)
            return;
        bzM34 &m = lump.matrix;
        const bzV3 centre = WorldCentre();
        const bzV3 &w = body.angularVelocity;
        bzV3 ww;
        for (int32_t j = 0; j < 3; j++)
            ww.v[j] = w.x * m.row[0].v[j] + w.y * m.row[1].v[j] + w.z * m.row[2].v[j];
        for (int32_t k = 0; k < 3; k++)
        {
            const bzV3 r = m.row[k];
            m.row[k] =
                V3(r.x + dt * (ww.y * r.z - ww.z * r.y), r.y + dt * (ww.z * r.x - ww.x * r.z),
                   r.z + dt * (ww.x * r.y - ww.y * r.x));
        }
        auto norm = [](bzV3 v)
        {
            const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            return V3(v.x / l, v.y / l, v.z / l);
        };
        const bzV3 x = norm(m.row[0]);
        bzV3 y = m.row[1];
        const float d = x.x * y.x + x.y * y.y + x.z * y.z;
        y = norm(V3(y.x - d * x.x, y.y - d * x.y, y.z - d * x.z));
        m.row[0] = x;
        m.row[1] = y;
        m.row[2] = V3(x.y * y.z - x.z * y.y, x.z * y.x - x.x * y.z, x.x * y.y - x.y * y.x);
        const bzV3 &v = body.linearVelocity;
        const bzV3 next = V3(centre.x + v.x * dt, centre.y + v.y * dt, centre.z + v.z * dt);
        const bzV3 &c = body.centreOfMass;
        for (int32_t j = 0; j < 3; j++)
            m.row[3].v[j] =
                next.v[j] - (c.x * m.row[0].v[j] + c.y * m.row[1].v[j] + c.z * m.row[2].v[j]);
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
