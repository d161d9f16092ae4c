// Measurements of lump trees made from their models' boxes and their matrices (boxes, radii,
// largest extents), operations that move the lumps of a tree together, the octree of a lump
// and the test of a collision form against a tree's faces.
//
// Boxes are minimum then maximum corner; the empty box is minimum (FLT_MAX, FLT_MAX, FLT_MAX)
// and maximum (-FLT_MAX, -FLT_MAX, -FLT_MAX). A filter returns non-zero to accept a lump.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"
#include "scene/Lump.h"

#include <cstdint>

struct bzForm;
struct bzOctree;

void bz_Box_SetEmpty(bzBox *box);

// The box of the lump's subtree in the lump's own space: 0, or 77 with the box untouched when
// no model box was found. A child the filter refuses is left out with its subtree.
bzErrorCode bz_Lump_AddBounds(bzBox *out, bzLump *lump, bzLumpFilter filter);
// The same, the empty box when nothing was found.
void bz_Lump_GetBoundsOrEmpty(bzBox *out, bzLump *lump, bzLumpFilter filter);
void bz_Lump_GetBoundingBox(bzLump *lump, bzBox *out);
// The subtree box in the parent's space; untouched when nothing was found.
void bz_Lump_GetParentBounds(bzLump *lump, bzBox *out);
// The empty box grown (or a given box grown) by the stored translations of the lump and every
// descendant.
void bz_Lump_GetTranslationBounds(bzBox *out, const bzLump *lump);
void bz_Lump_GrowTranslationBounds(bzBox *box, const bzLump *lump);

// The largest edge of the box of any model in the subtree; 0 when none.
float bz_Lump_GetMaxExtent(const bzLump *lump);
// Rewrites the world-matrix caches of the subtree from the root (identity at the root), then
// gives the largest |translation| + model radius over the MODEL lumps (0 when none).
float bz_Lump_GetRadius(bzLump *root);
void bz_Lump_ResetWorldMatrices(bzLump *root);
// The largest |translation| + |model centre| + model radius over the MODEL lumps of the
// subtree, each placed by its matrices down from the lump followed by the given one.
float bz_Lump_GetRadiusTree(const bzLump *lump, const bzM34 *matrix);
float bz_Lump_GetRadiusFromRoot(const bzLump *lump);

// The first MODEL lump in pre-order whose model's material entries hold the address; null when
// none.
bzLump *bz_Lump_FindByMaterialEntry(bzLump *root, const void *address);

// A POLYLINE lump of a square grid in the plane y = 0: for each v from -halfSize to +halfSize
// in steps of the spacing, a segment along z at x = v and one along x at z = v (two path points
// each, drawn as pairs in per-point colours); the pair through v = 0 takes the centre colour,
// the others the line colour. Null (last-error 29) for a spacing or size that is not positive
// and finite, or more than 10,000 steps.
bzLump *bz_Lump_CreateGrid(float halfSize, float spacing, bzColour centreColour,
                           bzColour lineColour);

// Sorts the lumps below the root to the two sides of the world plane: models by their sphere,
// a straddling model cut in two, other lumps by their position. Each moved lump takes its world
// transform as its matrix and becomes the first child of the negative or positive root (when
// given). 0, or 29 for a missing root or plane.
bzErrorCode bz_Lump_SplitByPlane(bzLump *root, bzLump *negativeRoot, bzLump *positiveRoot,
                                 const bzPlane *plane);

// Frees the lump's octree and builds a new one over the model lumps of its subtree; the octree,
// or null (with no octree kept) when building fails.
bzOctree *bz_Lump_BuildOctree(bzLump *lump);

// The faces a form's bounds touch, gathered into two blocks of the temporary stack (at most
// 500 faces), tested against the form: the test's result, 0 when no face was gathered, or 0
// with last-error 14 when the blocks cannot be had.
constexpr int32_t BZ_FORM_FACE_LIMIT = 500;
constexpr uint32_t BZ_FORM_LIST_HEADER_BYTES = 28;
constexpr uint32_t BZ_FORM_LIST_BUFFER_BYTES = 34000;
int32_t bz_Lump_IntersectForm(int32_t stackId, bzForm *form, bzLump *lump);
