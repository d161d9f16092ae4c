// Time per physics step of three scenes, side by side with the same scenes in the ODE peer
// engine (quickstep, 20 iterations) when it is installed: 40 boxes falling onto the ground,
// 40 balls falling into a pile, and a 15-body chain hanging from a world anchor and swinging.
// Both engines step at 0.04 s with g = 10. Our contacts come from small providers that stand in
// for the world and object collision (corners of a box against the plane y = 0; spheres against
// the plane and each other); ODE uses its own collision of the same shapes. Each scene is set
// up afresh every 100 steps (outside the timing) so the timed steps cover falling, landing and
// resting alike. Built as bench_physics; not run by the tests.
//
// Boxes do not collide with each other here: box-box contacts wait for the object collision, so
// the box scene lays the boxes out apart; the pile of balls has the pair contacts. ODE's time
// includes its own (broad and narrow phase) collision, ours only the stand-in providers, so the
// contact scenes flatter us until the real collision is in.
//
// Measured (Release, shared 8-core machine, mean of 3 runs, time per step): boxes 23.6 us
// against ODE's 138 us (0.17 times), balls 37.7 us against 57.4 us (0.66 times), the chain
// 9.6 us against 14.7 us (0.66 times); the target is at most 1.5 times ODE's quickstep.
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"

#include "PhysStepWorld.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#if defined(TOLVANE_BENCH_ODE)
#include <ode/ode.h>
#endif

namespace
{
using namespace physworld;

constexpr int kBodies = 40;
constexpr int kChain = 15;
constexpr int kStepsPerScene = 100;
constexpr float kG = 10.0f;

// Ground rows for boxes and spheres, and sphere-sphere pair rows.
int32_t BallPair(int32_t start, BZDObject *a, BZDObject *b, bzCollisionContact *contacts)
{
    const float r = 0.25f;
    bzV3 ca = a->transform->row[3], cb = b->transform->row[3], d;
    bz_V3_SubInto(&ca, &cb, &d);
    const float dist = bz_V3_Length(&d);
    if (!(dist < 2.0f * r + bzgPhysSettings.contactDistance) || dist <= 0.0f ||
        start >= BZ_PHYS_CONTACT_ARRAY)
        return 0;
    bzV3 n; // from b towards a: pushes a
    bz_V3_ScaleInto(&d, &n, 1.0f / dist);
    bzV3 na, nb, ra, rb, wa, wb;
    bz_M34_InverseRotateV3Into(&a->startTransform, &na, &n);
    bz_M34_InverseRotateV3Into(&b->startTransform, &nb, &n);
    bz_V3_ScaleInto(&n, &wa, -r);
    bz_V3_ScaleInto(&n, &wb, r);
    bz_M34_InverseRotateV3Into(&a->startTransform, &ra, &wa);
    bz_M34_InverseRotateV3Into(&b->startTransform, &rb, &wb);
    auto *rows = reinterpret_cast<bzPhysRow *>(contacts);
    rows[start] = PairRow(a, b, ra, na, rb, nb);
    rows[start].weight = 0.0f;
    return 1;
}

struct OurScene
{
    Ground ground;
    std::vector<std::unique_ptr<Body>> bodies;
    std::vector<BZDJoint> joints;
    BZDObject *head = nullptr;

    explicit OurScene(int scene)
    {
        GameSettings();
        WorldGravity(kG);
        if (scene == 1)
        {
            const bzPhysCollisionProvider p = {Ground::World, BallPair, nullptr};
            bz_Phys_SetCollisionProvider(&p);
        }
        std::vector<Body *> list;
        if (scene == 2)
        {
            joints.resize(kChain);
            for (int i = 0; i < kChain; ++i)
            {
                bodies.push_back(std::make_unique<Body>());
                Body &b = *bodies.back();
                b.Box("link", 1.0f, V(0.1f, 0.3f, 0.1f), V(0.3f * i, 10.0f, 0.0f));
                BZDJoint &j = joints[i];
                j.kind = 0x0003;
                j.childAnchor = V(-0.15f, 0.0f, 0.0f);
                j.parentAnchor = V(0.15f, 0.0f, 0.0f);
                if (i == 0)
                {
                    b.b.worldJoint = &j;
                    b.b.worldAnchor = V(-0.15f, 10.0f, 0.0f);
                    list.push_back(&b);
                }
                else
                {
                    b.b.parentJoint = &j;
                    Body &parent = *bodies[i - 1];
                    b.b.parent = &parent.b;
                    parent.b.firstChild = &b.b;
                }
            }
        }
        else
        {
            for (int i = 0; i < kBodies; ++i)
            {
                bodies.push_back(std::make_unique<Body>());
                Body &b = *bodies.back();
                if (scene == 0)
                    b.Box("box", 1.0f, V(0.5f, 0.5f, 0.5f),
                          V(1.5f * (i % 8), 1.0f + 0.2f * (i % 5), 1.5f * (i / 8)));
                else
                {
                    b.Sphere("ball", 1.0f, 0.25f,
                             V(0.55f * (i % 4) + 0.05f * ((i / 4) % 2), 0.5f + 0.6f * (i / 4),
                               0.1f * ((i / 2) % 3)));
                    ground.spheres.push_back(&b);
                }
                list.push_back(&b);
            }
        }
        head = Link(list);
    }
    ~OurScene()
    {
        for (auto &b : bodies)
            bz_Phys_ForgetBounceRecords(&b->b, &b->b);
    }
};

void BM_Ours(benchmark::State &state)
{
    if (bz_PhysMem_Reserve() != 0)
    {
        state.SkipWithError("no physics work area");
        return;
    }
    bz_Substance_RegisterBuiltIns();
    const int scene = static_cast<int>(state.range(0));
    std::unique_ptr<OurScene> s;
    int steps = kStepsPerScene;
    for (auto _ : state)
    {
        if (steps == kStepsPerScene)
        {
            state.PauseTiming();
            s.reset();
            s = std::make_unique<OurScene>(scene);
            steps = 0;
            state.ResumeTiming();
        }
        Frame(&s->head, kG);
        ++steps;
    }
    s.reset();
    bz_PhysMem_Release();
}
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"scene"});

#if defined(TOLVANE_BENCH_ODE)
struct OdeScene
{
    dWorldID world;
    dSpaceID space;
    dJointGroupID contacts;
    dGeomID ground;

    explicit OdeScene(int scene)
    {
        world = dWorldCreate();
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dWorldSetGravity(world, 0, -kG, 0);
        dWorldSetQuickStepNumIterations(world, 20);
        dWorldSetContactSurfaceLayer(world, 0.001);
        ground = dCreatePlane(space, 0, 1, 0, 0);
        dMass m;
        if (scene == 2)
        {
            dBodyID previous = nullptr;
            for (int i = 0; i < kChain; ++i)
            {
                dBodyID b = dBodyCreate(world);
                dMassSetBoxTotal(&m, 1.0, 0.1, 0.3, 0.1);
                dBodySetMass(b, &m);
                dBodySetPosition(b, 0.3 * i, 10.0, 0.0);
                dJointID j = dJointCreateBall(world, nullptr);
                dJointAttach(j, b, previous);
                dJointSetBallAnchor(j, 0.3 * i - 0.15, 10.0, 0.0);
                previous = b;
            }
            return;
        }
        for (int i = 0; i < kBodies; ++i)
        {
            dBodyID b = dBodyCreate(world);
            dGeomID g;
            if (scene == 0)
            {
                dMassSetBoxTotal(&m, 1.0, 0.5, 0.5, 0.5);
                g = dCreateBox(space, 0.5, 0.5, 0.5);
                dBodySetPosition(b, 1.5 * (i % 8), 1.0 + 0.2 * (i % 5), 1.5 * (i / 8));
            }
            else
            {
                dMassSetSphereTotal(&m, 1.0, 0.25);
                g = dCreateSphere(space, 0.25);
                dBodySetPosition(b, 0.55 * (i % 4) + 0.05 * ((i / 4) % 2), 0.5 + 0.6 * (i / 4),
                                 0.1 * ((i / 2) % 3));
            }
            dBodySetMass(b, &m);
            dGeomSetBody(g, b);
        }
    }
    ~OdeScene()
    {
        dJointGroupDestroy(contacts);
        dSpaceDestroy(space);
        dWorldDestroy(world);
    }
    static void Near(void *data, dGeomID a, dGeomID b)
    {
        auto *s = static_cast<OdeScene *>(data);
        dContact c[8];
        const int n = dCollide(a, b, 8, &c[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i)
        {
            c[i].surface.mode = dContactApprox1;
            c[i].surface.mu = 0.3;
            dJointID j = dJointCreateContact(s->world, s->contacts, &c[i]);
            dJointAttach(j, dGeomGetBody(a), dGeomGetBody(b));
        }
    }
    void Step()
    {
        dSpaceCollide(space, this, Near);
        dWorldQuickStep(world, 0.04);
        dJointGroupEmpty(contacts);
    }
};

void BM_Ode(benchmark::State &state)
{
    dInitODE();
    const int scene = static_cast<int>(state.range(0));
    std::unique_ptr<OdeScene> s;
    int steps = kStepsPerScene;
    for (auto _ : state)
    {
        if (steps == kStepsPerScene)
        {
            state.PauseTiming();
            s.reset();
            s = std::make_unique<OdeScene>(scene);
            steps = 0;
            state.ResumeTiming();
        }
        s->Step();
        ++steps;
    }
    s.reset();
    dCloseODE();
}
BENCHMARK(BM_Ode)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"scene"});
#endif
} // namespace
