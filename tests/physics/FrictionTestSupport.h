// The set-up of the friction tests: the game's physics settings (three friction passes,
// contact tolerance 0.025, contact distance 0.001), a registered substance of static friction
// 0.8 and sliding friction 0.5, a surface record naming it (the slot in its second word), and
// bodies of that substance.
#pragma once

#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/PhysSettings.h"
#include "SubstanceTestSupport.h"

struct FrictionSurface
{
    uint32_t word0 = 0;
    uint32_t slot = 0;
};

struct FrictionScope
{
    FrictionSurface surface;
    uint32_t slot = 0;
    FrictionScope()
    {
        bz_Phys_ResetSettings();
        bzgPhysSettings.frictionPassLimit = 3;
        bzgPhysSettings.contactSpeedTolerance = 0.025f;
        bzgPhysSettings.contactDistance = 0.001f;
        ResetSubstancesToStartUp();
        const BZDSubstance s = MakeSubstance(0.8f, 0.5f, 0.0f);
        slot = bz_Substance_Register(&s);
        surface.slot = slot;
    }
    ~FrictionScope()
    {
        bz_Phys_ResetSettings();
        ResetSubstancesToStartUp();
    }
    // A body of the substance with the given mass and no inverse moments.
    BZDObject Body(float mass = 1.0f) const
    {
        BZDObject b = {};
        bz_M34_SetIdentity(&b.startTransform);
        b.mass = mass;
        b.inverseMass = 1.0f / mass;
        b.substance = int32_t(slot);
        return b;
    }
};
