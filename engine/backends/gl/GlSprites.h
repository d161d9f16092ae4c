// Particle sprites of the OpenGL back end: every live particle of an emitter's two lists drawn
// as a camera-facing square, its colour ramped from its start colour by its age.
#pragma once

#include <cstdint>

struct bzParticleSystem;
struct bzParticle;

// Emitter flags read by the colour ramp.
enum : uint32_t
{
    BZ_OGL_SPRITE_FADE_IN = 0x40, // the first quarter of the life ramps back from the end
    BZ_OGL_SPRITE_LINEAR = 0x800, // the ramp follows the age
};

// A particle's colour as 0xAARRGGBB: each channel its start byte plus its change scaled by the
// ramp (see the flags), kept to 8 bits.
uint32_t OGL_ParticleColour(const bzParticle &particle, uint32_t emitterFlags);

// Slot 26: draws the particles under the current model-view matrix.
void OGL_DrawSprites(bzParticleSystem *system);
