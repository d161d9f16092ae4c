// The physics settings record and the step-running switch.
#include "physics/PhysSettings.h"

namespace
{
constexpr bzPhysSettings kDefaults = {0.04f, 0.25f, 0.01f, 1.0f, 1.0f, 0};

int32_t gStepRunning;
uint16_t gIteration;
uint32_t gStepNumber;
} // namespace

bzPhysSettings bzgPhysSettings = kDefaults;
float &bzgPhysTimeStep = bzgPhysSettings.timeStep;
float &bzPhysStepLength = bzgPhysSettings.timeStep;
const int32_t &bzgPhysStepRunning = gStepRunning;

void bz_Phys_ResetSettings()
{
    bzgPhysSettings = kDefaults;
}

int32_t bz_Phys_IsStepping()
{
    return gStepRunning;
}

void bz_Phys_SetStepping(int32_t running)
{
    gStepRunning = running ? 1 : 0;
}

uint16_t bz_Phys_Iteration()
{
    return gIteration;
}

void bz_Phys_SetIteration(uint16_t iteration)
{
    gIteration = iteration;
}

uint32_t bz_Phys_StepNumber()
{
    return gStepNumber;
}

void bz_Phys_SetStepNumber(uint32_t step)
{
    gStepNumber = step;
}
