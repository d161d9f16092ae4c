// The fixed-function lights of the OpenGL back end: each PDSetLight enables the next OpenGL
// light in call order (GL_LIGHT0, GL_LIGHT1, ... whatever index the caller passes) and keeps the
// light lump in a table of 16 entries; PDDisableLights switches them all off again.
#pragma once

#include <cstdint>

struct bzLump;

constexpr int32_t BZ_OGL_LIGHT_TABLE = 16;

// Slots of the renderer table. OGL_SetLight gives the light number it used, or -1 when the
// context has no light left (at most GL_MAX_LIGHTS, at most 16) or the lump is no light.
int32_t OGL_SetLight(int32_t index, const void *light, const void *matrix);
void OGL_DisableLights();

// Lights set since the last OGL_DisableLights, and the lump of light number n (or null).
int32_t OGL_LightCount();
const bzLump *OGL_LightLump(int32_t n);
