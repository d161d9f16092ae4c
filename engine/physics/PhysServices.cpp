// The service tables through which the physics reaches the layers above it.
#include "physics/PhysServices.h"

#include "maths/Vector.h"

bzPhysDynamicsServices bzgPhysDynamics;
bzPhysWorldServices bzgPhysWorld;
bzPhysStepServices bzgPhysStepServices;
void *bzgPhysWakeEvent;
void *bzgPhysSleepEvent;
uint32_t bzgPhysCollisionMasks[3];

void bz_Phys_ResetServices()
{
    bzgPhysDynamics = {};
    bzgPhysWorld = {};
    bzgPhysStepServices = {};
    bzgPhysWakeEvent = nullptr;
    bzgPhysSleepEvent = nullptr;
    for (uint32_t &m : bzgPhysCollisionMasks)
        m = 0;
}

void bz_Phys_WorldGravity(const BZDObject *body, bzV3 *out)
{
    if (bzgPhysWorld.gravity)
        bzgPhysWorld.gravity(body, out);
    else
        bz_V3_Set(out, 0.0f, -9.80665f, 0.0f);
}

void bz_Phys_WorldReference(const BZDObject *body, bzV3 *out)
{
    if (bzgPhysWorld.reference)
        bzgPhysWorld.reference(body, out);
    else
        bz_V3_Set(out, 0.0f, 0.0f, 0.0f);
}

int32_t bz_Phys_KeepAwake(const BZDObject *body)
{
    return bzgPhysWorld.keepAwake ? bzgPhysWorld.keepAwake(body) : 0;
}

void bz_Phys_CallLinkHandlers(BZDObject *body, void *event)
{
    if (bzgPhysDynamics.callLinkHandlers && event)
        bzgPhysDynamics.callLinkHandlers(body, event);
}
