// The reference drives of the default car on flat ground, run the same way on any test car: the
// launch and the run on to the top speed at full throttle, a steady turn coasting at 5 m/s and
// full braking from 20 m/s. A test car has the vehicle (car), its body and its lump, Speed()
// and Heading() (see VehicleTestSupport.h); step moves it on by one 40 ms frame. The runs only
// drive and measure: the tests judge what they measured.
#pragma once

#include "CarTestSupport.h"
#include "physics/Vehicle.h"

#include <cmath>
#include <cstdint>

namespace cartest
{
// The launch at full throttle from rest.
struct LaunchRun
{
    float forward = 0.0f;   // the forward (+z) speed at the end
    int32_t slower = 0;     // steps that lost more than 0.2 m/s of forward speed
    float lateral = 0.0f;   // the furthest the car strayed from x = 0
    float heading = 0.0f;   // the largest heading off +z, radians either way
    int32_t nonFinite = -1; // the first step whose speed was not finite (-1: none)
};

template <class Car, class Step> LaunchRun FullThrottleLaunch(Car &t, Step step, int32_t steps)
{
    LaunchRun run;
    for (int32_t s = 0; s < steps; s++)
    {
        t.car->throttle = 1.0f;
        step();
        if (run.nonFinite < 0 && !std::isfinite(t.Speed()))
            run.nonFinite = s;
        const float v = t.body.linearVelocity.z;
        if (v < run.forward - 0.2f)
            run.slower++; // a gear change may cost a little
        run.forward = v;
        run.lateral = std::fmax(run.lateral, std::fabs(t.lump.matrix.row[3].x));
        run.heading = std::fmax(run.heading, std::fabs(t.Heading()));
    }
    return run;
}

// On at full throttle for 1250 more steps (50 s): the speed at the end and 5 s before it.
struct TopSpeedRun
{
    float top = 0.0f;
    float fiveSecondsBefore = 0.0f;
};

template <class Car, class Step> TopSpeedRun OnToTopSpeed(Car &t, Step step)
{
    TopSpeedRun run;
    for (int32_t s = 0; s < 1250; s++)
    {
        t.car->throttle = 1.0f;
        step();
        if (s == 1125)
            run.fiveSecondsBefore = t.Speed();
    }
    run.top = t.Speed();
    return run;
}

// A steady turn: five steps to settle, then out of gear and 100 steps coasting with 0.3 of the
// analogue steering to the left or right, the speed put back to 5 m/s along the car's heading
// every 10 steps. checkStep(s) runs after each of the 100 steps. Returns how far the car went
// along world x.
template <class Car, class Step, class Check>
float SteadyTurn(Car &t, bool left, Step step, Check checkStep)
{
    t.car->carFlags |= BZ_CAR_ANALOG_STEER;
    for (int32_t s = 0; s < 5; s++)
        step();
    t.car->drive->gear = 0; // coasting: the speed is kept by the test
    const float startX = t.lump.matrix.row[3].x;
    for (int32_t s = 0; s < 100; s++)
    {
        if (s % 10 == 0)
            t.body.linearVelocity =
                V3(t.lump.matrix.row[2].x * 5.0f, 0.0f, t.lump.matrix.row[2].z * 5.0f);
        t.car->steerLeft = left ? 0.3f : 0.0f;
        t.car->steerRight = left ? 0.0f : 0.3f;
        step();
        checkStep(s);
    }
    return t.lump.matrix.row[3].x - startX;
}

// Full braking: five steps to settle, then 20 m/s forward in third gear with the wheels rolling
// along, braking until the car stops (at most 200 steps), then released for 25 steps.
struct BrakingRun
{
    int32_t steps = 0;            // braking steps until the forward speed fell to 0.05 m/s
    float distance = 0.0f;        // the distance covered meanwhile
    float slowest = 0.0f;         // the lowest forward speed while braking
    int32_t slowestStep = 0;      // and the step it came at
    float lateral = 0.0f;         // the car's x at the stop
    float forwardReleased = 0.0f; // the forward speed 25 steps after releasing the brake
};

template <class Car, class Step> BrakingRun FullBrakingFromTwenty(Car &t, Step step)
{
    for (int32_t s = 0; s < 5; s++)
        step();
    t.body.linearVelocity = V3(0.0f, 0.0f, 20.0f);
    for (int32_t i = 0; i < 4; i++)
        t.car->wheelSpin[i] = 20.0f / 0.3f;
    t.car->drive->gear = 3;
    BrakingRun run;
    run.slowest = t.body.linearVelocity.z;
    const float z0 = t.lump.matrix.row[3].z;
    for (; run.steps < 200 && t.body.linearVelocity.z > 0.05f; run.steps++)
    {
        t.car->brake = 1.0f;
        step();
        if (t.body.linearVelocity.z < run.slowest)
        {
            run.slowest = t.body.linearVelocity.z;
            run.slowestStep = run.steps;
        }
    }
    run.distance = t.lump.matrix.row[3].z - z0;
    run.lateral = t.lump.matrix.row[3].x;
    // Released at the stop.
    t.car->brake = 0.0f;
    for (int32_t k = 0; k < 25; k++)
        step();
    run.forwardReleased = t.body.linearVelocity.z;
    return run;
}
} // namespace cartest
