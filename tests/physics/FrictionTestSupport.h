// The set-up of the friction tests: the game's physics settings (three friction passes,
// contact tolerance 0.025, contact distance 0.001), a registered substance of static friction
// 0.8 and sliding friction 0.5, a world surface record (a face) whose material names it (the
// slot in the material's second word), and bodies of that substance.
#pragma once

#include "collision/CollisionFace.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/PhysSettings.h"
#include "SubstanceTestSupport.h"

struct FrictionMaterial
{
    uint32_t word0 = 0;
    uint32_t slot = 0;
};

struct FrictionScope
{
    FrictionMaterial material;
    bzCollisionFace surface = {};
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
        material.slot = slot;
        surface.material = &material;
    }
    FrictionScope(const FrictionScope &) = delete;
    FrictionScope &operator=(const FrictionScope &) = delete;
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
