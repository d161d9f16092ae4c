// Mesh drawing of the OpenGL back end: a model's material groups drawn from client-side vertex
// arrays with indexed triangle lists and strips, one pass per material layer, each group's
// passes recorded once into display lists and replayed afterwards; per-layer vertex colours
// baked on the CPU before the lists are recorded.
#pragma once

#include <cstdint>

struct bzMaterialEntry;
struct bzMaterial;
struct bzModel;
struct bzM34;
struct bzLump;
struct bzViewport;

// Slots of the renderer table.
// Slot 80: the passes of the material (OGL_DrawMesh) under the world matrix already set, front
// faces clockwise; the pass function is called with the argument and the pass. The matrix is
// not read.
void OGL_DrawMeshSlot(bzMaterial *material, const bzM34 *matrix,
                      void (*pass)(void *argument, int32_t pass), void *argument);
void OGL_DrawMeshIndexed(bzMaterialEntry *group, int32_t pass);
void OGL_DrawMeshSimple(bzMaterialEntry *group);
// Front face counter-clockwise when bit 0x2 of the owner's flags is set, else clockwise. The
// world matrix is already set, and OpenGL clips by itself: matrix and clip are not read. When
// the group's part has a skeleton and the owner is a skinned-model lump, the part's positions
// are skinned on the processor into a block of the temporary stack for the draw (the part
// keeps its own positions afterwards).
void OGL_DrawMaterialGroup(bzMaterialEntry *group, bzMaterial *material, const bzM34 *matrix,
                           bzLump *owner, int32_t clip);
// Draws every group of the model under the matrix; the materials' flags are as before after.
// A skinned-model lump's model is skinned first as above; the viewport is not read.
void OGL_DrawModelInstance(bzModel *model, const bzM34 *matrix, bzViewport *viewport, bzLump *lump);
int32_t OGL_BuildModelBuffers(bzModel *model);
void OGL_FreeModelBuffers(bzModel *model);
void OGL_UpdateModelVertices(bzModel *model);
void OGL_RebuildModelLists(bzModel *model);
int32_t OGL_RebuildModelIndices(bzModel *model);
void OGL_SetDepthTest(bzMaterial *material);
