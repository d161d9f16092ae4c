// The OpenGL back end's shadow copies of per-unit texture state and of the lighting switch,
// so that the material passes, the 2-D layer and the sprites change OpenGL state only when it
// differs from what it was.
#pragma once

#include <cstdint>

// Entries of bzgOGLStageState.
enum : int32_t
{
    BZ_OGL_STAGE_TEXGEN0 = 0,  // entries 0-3: generated coordinates of units 0-3 (0 off,
                               // 1 sphere map)
    BZ_OGL_STAGE_LIGHTING = 4, // 0 off, 1 on
    BZ_OGL_STAGE_MATRIX0 = 5,  // entries 5-8: texture matrix of units 0-3 (0 identity,
                               // 1 identity flipped in v, 2 set by a pass)
    BZ_OGL_STAGE_ENTRIES = 9,
};

extern int32_t bzgOGLStageState[BZ_OGL_STAGE_ENTRIES];
// Per texture unit, where its coordinates come from: 0 none, 1 the first coordinate set,
// 2 the second, 3 the vertex positions.
extern int32_t bzgOGLTexCoordSource[4];

// Applies mode to one entry when it differs from the shadow copy.
void OGL_SetStageState(int32_t entry, int32_t mode);
// Forgets the shadow copies: every entry back to 0 as a new context starts.
void OGL_ResetStageState();
