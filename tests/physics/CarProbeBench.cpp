// Cost of a car's ground probe: the four wheel rays tested together against each gathered face
// (bz_PhysCar_RayProbe), against the peer of four separate nearest-face ray searches through
// the face list (bz_DynFaceList_RayHit), on a bumpy grid of 50, 200 and 800 faces around the
// car; and the cost of one whole car step on that ground. Both probes find the same distances
// (checked before timing). Built as bench_physics; not run by the tests.
//
// Growth: both are linear in the faces. Measured (Release, shared 8-core machine, CPU time,
// mean of 3): ours 1.4, 4.5 and 16 us for 50, 200 and 800 faces, the peer 2.3, 8.2 and 23 us,
// so the bundled probe is 1.4 to 1.8 times faster (its box refusal skips the full face test for
// all but the faces under a wheel). A whole car step: 11, 12 and 26 us.
#include "collision/FaceList.h"
#include "collision/FaceTests.h"
#include "physics/Body.h"
#include "physics/CarPhysics.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "scene/Lump.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace
{
bzV3 P(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

bzDynFaceHit Face(bzV3 a, bzV3 b, bzV3 c)
{
    bzDynFaceHit f{};
    f.faceIndex = -1;
    f.vertices[0] = a;
    f.vertices[1] = b;
    f.vertices[2] = c;
    const bzV3 e1 = P(b.x - a.x, b.y - a.y, b.z - a.z), e2 = P(c.x - a.x, c.y - a.y, c.z - a.z);
    bzV3 n = P(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
    const float l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    n = P(n.x / l, n.y / l, n.z / l);
    f.plane = {n, n.x * a.x + n.y * a.y + n.z * a.z};
    return f;
}

struct Scene
{
    bzLump lump{};
    BZDObject body{};
    bzDynCollisionCache cache{};
    bzDynVehicle car{};
    bzDynFaceList *list;
    bzV3 origins[4];
    bzV3 down = P(0.0f, -1.0f, 0.0f);

    explicit Scene(int cellsPerSide)
    {
        list = bz_DynFaceList_Create(2 * cellsPerSide * cellsPerSide);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> bump(-0.03f, 0.03f);
        const float size = 6.0f / cellsPerSide;
        std::vector<float> h((cellsPerSide + 1) * (cellsPerSide + 1));
        for (float &v : h)
            v = bump(random);
        auto at = [&](int i, int j)
        { return P(-3.0f + i * size, h[i * (cellsPerSide + 1) + j], -3.0f + j * size); };
        auto *entries = static_cast<bzDynFaceHit *>(list->entries);
        for (int i = 0; i < cellsPerSide; i++)
            for (int j = 0; j < cellsPerSide; j++)
            {
                entries[list->count++] = Face(at(i, j), at(i, j + 1), at(i + 1, j));
                entries[list->count++] = Face(at(i + 1, j + 1), at(i + 1, j), at(i, j + 1));
            }
        for (int k = 0; k < 4; k++)
            lump.matrix.row[k] = P(k == 0, k == 1, k == 2);
        lump.dynamicsObject = &body;
        body.transform = &lump.matrix;
        body.collisionCache = &cache;
        cache.gatherList = list;
        cache.valid = 1;
        car.object = car.bodyLump = &lump;
        body.mass = 1250.0f;
        body.inverseMass = 1.0f / 1250.0f;
        body.principalMoments = P(2000.0f, 2400.0f, 560.0f);
        body.centreOfMass = P(0.0f, 0.57f, 0.0f);
        for (int i = 0; i < 4; i++)
        {
            car.wheelPos[i] = P(i % 2 ? 1.0f : -1.0f, 0.2f, i < 2 ? 2.0f : -2.0f);
            origins[i] = car.wheelPos[i];
            car.suspGive[i] = 0.2f / 1.7f;
            car.suspLength[i] = 0.2f + car.suspGive[i];
            car.probeDist[i] = car.suspPrev[i] = 0.2f;
            car.grip[i] = 1.2f;
            car.slipLimit[i] = 0.105f;
            car.rollResist[i] = 0.018f;
            car.steered[i] = i < 2;
            car.axle[i] = i < 2 ? 0 : 1;
            car.torqueShare[i] = i < 2 ? 0.175f : 0.325f;
        }
        car.sumShareSq = 2 * 0.175f * 0.175f + 2 * 0.325f * 0.325f;
        car.frontRoll = car.rearRoll = 0.5f;
        car.wheelRadius = 0.3f;
        car.wheelInertia = 0.45f;
        car.driveInertia = 2.2f;
        car.forwardSign = 1.0f;
        car.lsdThreshold[0] = car.lsdThreshold[1] = 10.0f;
        car.lsdThreshold[2] = -1.0f;
        bz_PhysCar_Setup(&car);
    }
    ~Scene() { bz_DynFaceList_Free(list); }

    // The peer: four nearest-face searches, one per ray.
    void PeerProbe(float out[4], const bzDynFaceHit *faces[4]) const
    {
        for (int j = 0; j < 4; j++)
        {
            const bzRay ray = {origins[j], P(0.0f, -2.0f, 0.0f), 0};
            float t = 1.0f;
            faces[j] = nullptr;
            out[j] = bz_DynFaceList_RayHit(list, &ray, &faces[j], 0, &t) ? t * 2.0f : 2.0f;
        }
    }
};

void Ours(benchmark::State &state)
{
    Scene s(static_cast<int>(state.range(0)));
    const bzDynFaceHit *faces[4];
    float peer[4];
    const bzDynFaceHit *peerFaces[4];
    s.PeerProbe(peer, peerFaces);
    bz_PhysCar_RayProbe(&s.car, 4, s.origins, &s.down, faces, s.list);
    for (int j = 0; j < 4; j++)
        if (std::fabs(s.car.probeDist[j] - peer[j]) > 1e-4f)
            state.SkipWithError("the probes disagree");
    for (auto _ : state)
    {
        bz_PhysCar_RayProbe(&s.car, 4, s.origins, &s.down, faces, s.list);
        benchmark::DoNotOptimize(s.car.probeDist[0]);
    }
    state.counters["faces"] = s.list->count;
}

void Peer(benchmark::State &state)
{
    Scene s(static_cast<int>(state.range(0)));
    float out[4];
    const bzDynFaceHit *faces[4];
    for (auto _ : state)
    {
        s.PeerProbe(out, faces);
        benchmark::DoNotOptimize(out[0]);
    }
    state.counters["faces"] = s.list->count;
}

void CarStep(benchmark::State &state)
{
    Scene s(static_cast<int>(state.range(0)));
    for (auto _ : state)
    {
        s.body.linearVelocity = P(0.3f, -0.1f, 8.0f);
        s.car.driveForce = 2000.0f;
        bz_PhysCar_PreStep(&s.car);
        bz_PhysCar_Step(&s.car);
        benchmark::DoNotOptimize(s.body.linearVelocity.z);
    }
    state.counters["faces"] = s.list->count;
}
} // namespace

BENCHMARK(Ours)->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(Peer)->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(CarStep)->Arg(5)->Arg(10)->Arg(20);
