// Time per physics step of three scenes, side by side with the same scenes in the ODE peer
// engine (quickstep, 20 iterations) when it is installed: 40 boxes falling into a pile, 40 balls
// falling into a pile, and a 15-body chain hanging from a world anchor and swinging. Both
// engines step at 0.04 s with g = 10. Our contacts come from the real world collision (a ground
// of two faces held in each body's collision cache) and the real object pair collision, so the
// boxes and balls meet the ground and each other; ODE uses its own collision of the same shapes
// against its plane. Each scene is set up afresh every 100 steps (outside the timing) so the
// timed steps cover falling, landing and resting alike. Built as bench_physics; not run by the
// tests.
//
// Measured (Release, shared 8-core machine, on one core with taskset, two runs of 3 repetitions,
// CPU time per step): boxes 464-665 us against ODE's 177-248 us (2.6-2.7 times), balls 84-126 us
// against 54-77 us (1.6 times), the chain 10.3-16.1 us against 16.1-21.3 us (0.64-0.75 times);
// the target is at most 1.5 times ODE's quickstep. The box pile does not yet stand (boxes
// resting on each other drift apart and the lowest are pushed into the ground), so its time
// includes trees that iterate long; bodies pushed by others gather their contacts once more in
// the step, which the piles pay for.
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/PhysInstall.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"

#include "PhysRealWorld.h"
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
// Whole scenes only: the cost of a step depends on where in its scene it falls, so both engines
// time the same steps, falling, landing and resting alike.
constexpr int kTimedSteps = 30 * kStepsPerScene;
constexpr float kG = 10.0f;

// Where body i of the two piles starts: four columns, each body a little off the one below.
bzV3 PileAt(int i, float x0, float y0)
{
    return V(x0 + 0.55f * (i % 4) + 0.05f * ((i / 4) % 2), y0 + 0.6f * (i / 4),
             0.1f * ((i / 2) % 3));
}

struct OurScene
{
    realworld::Ground ground;
    std::vector<std::unique_ptr<realworld::Solid>> solids;
    std::vector<std::unique_ptr<Body>> bodies;
    std::vector<BZDJoint> joints;
    BZDObject *head = nullptr;

    explicit OurScene(int scene)
    {
        GameSettings();
        WorldGravity(kG);
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
                solids.push_back(std::make_unique<realworld::Solid>());
                realworld::Solid &b = *solids.back();
                if (scene == 0)
                    b.Box(ground, 1.0f, 0.5f, PileAt(i, 0.0f, 0.5f));
                else
                    b.Ball(ground, 1.0f, 0.25f, PileAt(i, 0.0f, 0.5f));
                list.push_back(&b.body);
            }
        }
        head = Link(list);
    }
    ~OurScene()
    {
        for (auto &b : bodies)
            bz_Phys_ForgetBounceRecords(&b->b, &b->b);
        for (auto &b : solids)
            bz_Phys_ForgetBounceRecords(b->b(), b->b());
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
    bz_Phys_InstallServices();
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
    bz_Phys_RemoveServices();
    bz_PhysMem_Release();
}
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"scene"})->Iterations(kTimedSteps);

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
            }
            else
            {
                dMassSetSphereTotal(&m, 1.0, 0.25);
                g = dCreateSphere(space, 0.25);
            }
            const bzV3 at = PileAt(i, 0.0f, 0.5f);
            dBodySetPosition(b, at.x, at.y, at.z);
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
BENCHMARK(BM_Ode)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"scene"})->Iterations(kTimedSteps);
#endif
} // namespace
