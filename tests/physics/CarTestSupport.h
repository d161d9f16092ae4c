// A car on its own: a body on a lump, a collision cache whose face list the test fills, the
// default wheel layout and handling fields, gravity of the test's choice, and a small
// integration of the car's body over a step (gravity, the car's pre-step and step, then the
// motion), so the car can be driven without the physics step.
#pragma once

#include "collision/FaceList.h"
#include "physics/Body.h"
#include "physics/CarPhysics.h"
#include "physics/DynVehicle.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "scene/Lump.h"

#include <cmath>
#include <vector>

namespace cartest
{
inline bzV3 V3(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// A face from three corners; the normal follows (b - a) x (c - a).
inline bzDynFaceHit MakeFace(bzV3 a, bzV3 b, bzV3 c, bzMaterial *owner = nullptr)
{
    bzDynFaceHit f{};
    f.faceIndex = -1;
    f.material = owner;
    f.vertices[0] = a;
    f.vertices[1] = b;
    f.vertices[2] = c;
    const bzV3 e1 = V3(b.x - a.x, b.y - a.y, b.z - a.z), e2 = V3(c.x - a.x, c.y - a.y, c.z - a.z);
    bzV3 n = V3(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
    const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    n = V3(n.x / len, n.y / len, n.z / len);
    f.plane = {n, n.x * a.x + n.y * a.y + n.z * a.z};
    return f;
}

// Two triangles covering x, z in [-size, size] at height y, tilted by `roll` radians about the
// z axis (positive: the ground rises toward +x).
inline void AddGround(std::vector<bzDynFaceHit> &faces, float y, float size = 100.0f,
                      float roll = 0.0f, bzMaterial *owner = nullptr)
{
    const float t = std::tan(roll);
    auto p = [&](float x, float z) { return V3(x, y + x * t, z); };
    faces.push_back(MakeFace(p(-size, -size), p(-size, size), p(size, -size), owner));
    faces.push_back(MakeFace(p(size, size), p(size, -size), p(-size, size), owner));
}

inline float gTestGravity = 9.80665f;
inline void TestGravity(const BZDObject *, bzV3 *out)
{
    *out = V3(0.0f, -gTestGravity, 0.0f);
}

// Resets the settings and services, sets the test's gravity, and puts the body on the lump at
// the origin with a collision cache over a new face list of `capacity` faces, which it returns.
inline bzDynFaceList *StartCarBody(float gravity, int32_t capacity, bzLump &lump, BZDObject &body,
                                   bzDynCollisionCache &cache)
{
    bz_Phys_ResetSettings();
    bz_Phys_ResetServices();
    gTestGravity = gravity;
    bzgPhysWorld.gravity = TestGravity;
    bzDynFaceList *list = bz_DynFaceList_Create(capacity);
    cache.gatherList = list;
    cache.valid = 1;
    for (int32_t k = 0; k < 4; k++)
        lump.matrix.row[k] = V3(k == 0, k == 1, k == 2);
    lump.dynamicsObject = &body;
    body.transform = &lump.matrix;
    body.collisionCache = &cache;
    body.owner = &lump;
    return list;
}

// The world position of the centre of mass c (body space) under the placement m.
inline bzV3 WorldCentreOf(const bzM34 &m, const bzV3 &c)
{
    bzV3 r;
    for (int32_t j = 0; j < 3; j++)
        r.v[j] = c.x * m.row[0].v[j] + c.y * m.row[1].v[j] + c.z * m.row[2].v[j] + m.row[3].v[j];
    return r;
}

// Moves the placement m of the body over dt by its velocities, turning about its centre of
// mass, and keeps the axes orthonormal.
inline void IntegrateBody(bzM34 &m, const BZDObject &body, float dt)
{
    const bzV3 centre = WorldCentreOf(m, body.centreOfMass);
    const bzV3 &w = body.angularVelocity;
    bzV3 ww; // world angular velocity
    for (int32_t j = 0; j < 3; j++)
        ww.v[j] = w.x * m.row[0].v[j] + w.y * m.row[1].v[j] + w.z * m.row[2].v[j];
    for (int32_t k = 0; k < 3; k++)
    {
        const bzV3 r = m.row[k];
        m.row[k] = V3(r.x + dt * (ww.y * r.z - ww.z * r.y), r.y + dt * (ww.z * r.x - ww.x * r.z),
                      r.z + dt * (ww.x * r.y - ww.y * r.x));
    }
    // Orthonormal again: x, then y against x, then z = x cross y.
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

struct TestCar
{
    bzLump lump{};
    BZDObject body{};
    bzDynVehicle car{};
    bzDynCollisionCache cache{};
    bzDynFaceList *list = nullptr;

    explicit TestCar(float gravity = 9.80665f, float rideHeight = 0.2f)
    {
        list = StartCarBody(gravity, 64, lump, body, cache);
        car.object = &lump;
        car.bodyLump = &lump;
        SetMass(1250.0f);
        body.centreOfMass = V3(0.0f, 0.57f, 0.0f);
        const float give = rideHeight * 0.58823526f;
        car.rideHeight = rideHeight;
        for (int32_t i = 0; i < 4; i++)
        {
            car.wheelPos[i] = V3(i % 2 ? 1.0f : -1.0f, rideHeight, i < 2 ? 2.0f : -2.0f);
            car.suspGive[i] = give;
            car.suspLength[i] = rideHeight + give;
            car.probeDist[i] = car.suspPrev[i] = rideHeight;
            car.grip[i] = 1.2f;
            car.slipLimit[i] = std::tan(6.0f * 0.017453292f);
            car.rollResist[i] = 0.018f;
            car.steered[i] = i < 2;
            car.axle[i] = i < 2 ? 0 : 1;
            car.torqueShare[i] = i < 2 ? 0.175f : 0.325f;
        }
        car.sumShareSq = 2.0f * 0.175f * 0.175f + 2.0f * 0.325f * 0.325f;
        car.frontRoll = car.rearRoll = 0.5f;
        car.wheelRadius = 0.3f;
        car.wheelInertia = 0.45f;
        car.driveInertia = 2.2f;
        car.dragCoefficient = 0.5f;
        car.forwardSign = 1.0f;
        car.lsdThreshold[0] = car.lsdThreshold[1] = 10.0f;
        car.lsdThreshold[2] = -1.0f;
        bz_PhysCar_Setup(&car);
    }
    ~TestCar()
    {
        bz_DynFaceList_Free(list);
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
    }
    TestCar(const TestCar &) = delete;
    TestCar &operator=(const TestCar &) = delete;

    // Box moments of a 2 x 1.2 x 4.4 m body.
    void SetMass(float m)
    {
        body.mass = m;
        body.inverseMass = 1.0f / m;
        const float dx = 2.0f, dy = 1.2f, dz = 4.4f;
        body.principalMoments = V3(m * (dy * dy + dz * dz) / 12.0f, m * (dz * dz + dx * dx) / 12.0f,
                                   m * (dx * dx + dy * dy) / 12.0f);
        for (int32_t k = 0; k < 3; k++)
            body.inversePrincipalMoments.v[k] = 1.0f / body.principalMoments.v[k];
    }
    void SetFaces(const std::vector<bzDynFaceHit> &faces)
    {
        list->count = 0;
        for (const bzDynFaceHit &f : faces)
            if (list->count < list->capacity)
                static_cast<bzDynFaceHit *>(list->entries)[list->count++] = f;
    }
    bzV3 &Position() { return lump.matrix.row[3]; }
    // Turns the body about the world z axis by `roll` radians.
    void SetRoll(float roll)
    {
        const float c = std::cos(roll), s = std::sin(roll);
        lump.matrix.row[0] = V3(c, s, 0.0f);
        lump.matrix.row[1] = V3(-s, c, 0.0f);
        lump.matrix.row[2] = V3(0.0f, 0.0f, 1.0f);
    }
    bzV3 WorldCentre() const { return WorldCentreOf(lump.matrix, body.centreOfMass); }

    // Gravity, the car, then the body moves over the step about its centre of mass.
    void Step(void (*between)(bzDynVehicle *) = nullptr)
    {
        const float dt = bzgPhysSettings.timeStep;
        body.linearVelocity.y -= gTestGravity * dt;
        bz_PhysCar_PreStep(&car);
        if (between)
            between(&car);
        bz_PhysCar_Step(&car);
        Integrate(dt);
    }
    void Integrate(float dt) { IntegrateBody(lump.matrix, body, dt); }
};
} // namespace cartest
