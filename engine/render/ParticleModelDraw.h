// The model-instance drawing of particle systems (draw kind 1): each live particle of an
// emitter lump is drawn as an instance of its model, spun about the particle's own axis and
// placed at its world position, through the renderer's mesh slots. The draw queue calls it for
// the emitters that were stepped this frame; it takes nothing from the system heap.
#pragma once

#include <cstdint>

struct bzLump;
struct bzViewport;
struct bzMaterial;
struct bzM34;

// What PDDrawMesh (slot 80) calls once for each pass of the material: the argument it was given
// (a material entry for the indexed drawing of slot 94) and the pass index.
typedef void (*PDMeshPassFn)(void *argument, int32_t pass);
// Slot 80 as the particle drawing calls it: the material, the object-to-camera matrix, the pass
// function and its argument.
typedef void (*PDDrawMeshPassFn)(bzMaterial *material, const bzM34 *matrix, PDMeshPassFn pass,
                                 void *argument);

// Draws the particles of a PARTICLE_EMITTER lump as model instances seen through the viewport.
// For each layer holding particles the depth test is set from the layer's material; a particle
// is drawn when its view depth lies between the near distance plus the model's cull radius (the
// length of its bounding centre plus its radius) and the far distance less it, and its view
// position lies inside the side planes. Particles without a model, or with a position that is
// not a number, are passed over. Nothing for a lump of another type or without a system.
void bz_ParticleEmitter_Render(bzLump *lump, bzViewport *v);
