// Car surface parameters: the road handling values a surface substance gives the car physics
// (slip, grip multiplier, bumps, rolling resistance), kept in the substance's extra data
// block, with one engine-wide default block for every surface that has none.
//
// The wheel probes look up the block of the substance under each wheel and leave a pointer to
// it in the car's wheel surface slot for the tyre model; the vehicle-handling console edits the
// surface under the car through bz_PhysCar_SetSurface.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzCarSurface
{
    float slip;              // added to both peak slip values of the tyre curves
    float friction;          // multiplier of the tyre grip
    float bmagnitude;        // bump height in metres; 0 = flat
    float bwavelength;       // metres between bump peaks along world x and z
    float rollingresistance; // extra rolling resistance
};

// The block of every surface whose substance has none: 0, 1, 0, 1, 0 until set.
extern bzCarSurface bzgDefaultCarSurface;

// The slot's block: the default block for slot 0 (DEFAULT), for a slot that names no registered
// substance, and for a substance without a block.
const bzCarSurface *bz_PhysCar_GetSurface(uint32_t slot);
// The block of a surface owner record (substance slot in its second word); the default block
// for no owner.
const bzCarSurface *bz_PhysCar_GetOwnerSurface(const void *owner);
// Overwrites the default block.
void bz_PhysCar_SetDefaultSurface(float slip, float friction, float bmagnitude, float bwavelength,
                                  float rollingresistance);
// Stores the values in the slot's block, made on first use as a child of the substance record.
// BZ_ERROR_INVALID_HANDLE for a slot that names no registered substance, BZ_ERROR_NO_MEMORY
// when the block cannot be made.
int32_t bz_PhysCar_SetSubstanceSurface(uint32_t slot, float slip, float friction, float bmagnitude,
                                       float bwavelength, float rollingresistance);
// Edits the surface of an owner record. An owner without a substance of its own (slot 0, or one
// naming no registered substance) first gets a copy of DEFAULT registered and its slot stored
// in the owner, so the edit leaves every other surface alone. When no substance can be
// registered the owner is left as it was, nothing is edited and the registration's error comes
// back.
int32_t bz_PhysCar_SetSurface(void *owner, float slip, float friction, float bmagnitude,
                              float bwavelength, float rollingresistance);

// The triangle wave of the bumps: 0 at whole numbers, 1 half-way between, the same for -u as u.
// A value that is not finite gives 0.
float bz_PhysCar_BumpWave(float u);
// How far the surface's bumps raise the ground at world x, z toward the wheel: a grid of
// pyramids of height bmagnitude, one per bwavelength square. 0 on a flat surface and for a
// wavelength that is 0 or not finite.
float bz_PhysCar_BumpRise(const bzCarSurface *surface, float x, float z);
// A probe hit distance d below the probe point p, less the bump rise at p.
float bz_PhysCar_BumpedDistance(const bzCarSurface *surface, const bzV3 *p, float d);
