// Puts the substance tables in their start-up state: every substance gone, then the built-ins
// registered (slots 0 to 40), as the dynamics start-up leaves them.
#pragma once

#include "physics/Substance.h"

#include <cmath>

inline void ResetSubstancesToStartUp()
{
    bz_Substance_UnregisterAll();
    for (uint32_t slot = 0; slot < BZ_SUBSTANCE_SLOTS; ++slot)
        bz_Substance_Unregister(slot);
    bz_Substance_RegisterBuiltIns();
}

inline void RemoveAllSubstances()
{
    bz_Substance_UnregisterAll();
    for (uint32_t slot = 0; slot < BZ_SUBSTANCE_SLOTS; ++slot)
        bz_Substance_Unregister(slot);
}

// Plain values with the given frictions and restitution.
inline BZDSubstance MakeSubstance(float staticFriction, float slidingFriction, float restitution)
{
    BZDSubstance s = {};
    s.density = 1000.0f;
    s.staticFriction = staticFriction;
    s.slidingFriction = slidingFriction;
    s.restitution = restitution;
    s.labelId = 32768;
    return s;
}
