// Stencil shadows of the OpenGL back end: a model's shadow-volume indices prepared once, the
// volume extruded on the CPU along the light direction each time it is drawn and counted into
// the stencil buffer with the depth-fail method, then the marked screen area darkened by half.
// All of it does nothing without a stencil buffer.
#pragma once

#include <cstdint>

struct bzModel;
struct bzShadowFace;
struct bzLump;

// Slot 105: keeps a copy of the positions and builds the first material group's triangle list:
// each face, then the two seam triangles of each of its filled edges. Display lists recorded of
// the model are freed: the volume is always drawn from its arrays.
void OGL_SetShadowVolumeData(bzModel *model, const bzShadowFace *faces, int32_t seamTriangles);
// Slot 104: the volume of a STENCIL_SHADOW lump (its caster and extrusion length) under the
// current model-view matrix; the light is the first of the light table (none: straight down in
// the world; any light but a directional one is reported as "Light type not done" and falls
// straight down too). A directional light shines along its record's direction (camera frame),
// or along the z axis of its lump's view matrix while that direction is 0. A skinned shadow
// model under a skinned-model lump is posed as that lump is, positions and normals, before it
// is extruded, and is then drawn from the temporary stack, its own arrays left as they are.
// The volume is counted with a strict depth test pushed a little back, so the faces it keeps
// in the caster's own lit surface count behind it; the depth function is kept. The light
// argument is not read.
void OGL_DrawShadowVolume(bzLump *shadowLump, void *light);
// Slot 103: darkens by half every pixel of the current viewport's clip rectangle whose stencil
// count is not 0; the rectangle given is the same viewport's and is not read.
void OGL_DrawShadowOverlay(int32_t x, int32_t y, int32_t w, int32_t h);
