// The substance of a body as a controlled attribute of the dynamics controller: set through
// the controller so that dependants are told and the replay records it, and read where the
// controller keeps it. The controller belongs to the dynamics layer above the physics; the
// physics reaches it through bzgPhysDynamics (physics/PhysServices.h), and these two live here
// until that layer exists.
#pragma once

#include <cstdint>

// The handle of the mechanics element class's "substance" attribute.
constexpr int32_t BZ_MECH_ATTRIBUTE_SUBSTANCE = 9;
// Result of a controller operation on a lump that has no controller element.
constexpr int32_t BZ_DYN_NO_CONTROLLER = 150;

// Sets the lump's body substance through the controller: 0, or the controller's error;
// BZ_DYN_NO_CONTROLLER without a controller element (or without a controller);
// BZ_ERROR_PARAMETER_OUT_OF_RANGE, nothing set, for a slot that names no registered substance.
int32_t bz_Dyn_SetBodySubstance(void *lump, uint32_t slot);
// The lump's body substance: a pending attribute is brought up to date first. A lump without a
// controller element, an attribute without an address, and a stored slot that names no
// registered substance all read as DEFAULT (slot 0).
uint32_t bz_Dyn_GetBodySubstance(void *lump);
