// Forms and shapes: creation with the owner-block memory rule, preparation of the derived data
// (corners, hulls, face planes, bounds), the bounds, flags and scratch size of a form, volumes,
// copies, forms of a numbered kind from a model and the overlap of a placed box with a form.
//
// Calling order: create the form and its shapes, fill their defining fields, then call
// bz_Form_CalcBounds with prepare 1 before any test, volume or copy. Moving or editing a shape
// needs a new preparation.
//
// Operations report through the engine error report with their own captions and, when the
// engine survives errors, go on with the neutral result their comment names.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

struct bzModel;

// Bytes of a shape record of the kind; an unknown kind is reported and gives 0.
uint32_t ShapeSizeOfKind(bzShapeKind kind);

// A new shape of the kind, zero-filled, a child block of the owner when one is given. The
// parameter block (null for none) holds vertex, edge and face counts in the low 16 bits of
// three words; only Polyhedron, WireFrame, Polygon and RoundedPolyhedron read it. A zero edge
// count gives room for the hull of the vertices, a zero face count likewise. The box kinds get
// 8 corners and the shared edges. An unknown kind, more than BZ_SHAPE_MAX_VERTICES vertices,
// more than BZ_SHAPE_MAX_FACES faces, an edge room past the hull of the most vertices (or past
// BZ_SHAPE_MAX_EDGES for a WireFrame, whose edges are its own) are reported and give null, as
// does running out of memory. The shape is linked into no chain.
bzShape *bz_Form_Create(void *owner, bzShapeKind kind, const uint32_t *params);
// bz_Form_Create with the three counts as the parameter block.
bzShape *bz_Shape_Create(void *owner, bzShapeKind kind, uint32_t vertexCount, uint32_t edgeCount,
                         uint32_t faceCount);
// An AlignedHalfSpace; a direction outside 0 to 5 is reported and gives null.
bzShape *bz_Shape_CreateAlignedHalfSpace(void *owner, uint32_t direction, float distance);
// A new form, a child block of the owner when one is given. With a kind other than 0 its first
// shape is made by bz_Form_Create with the counts; null when that fails. No bounds computed.
bzForm *bz_Form_Alloc(void *owner, bzShapeKind kind, uint32_t vertexCount = 0,
                      uint32_t edgeCount = 0, uint32_t faceCount = 0);
// Releases a form with its shapes and their arrays, or one shape with its arrays (which must be
// out of any chain first). Null is ignored.
void bz_Form_Free(bzForm *form);
void bz_Shape_Free(bzShape *shape);

// Derives a shape's data from its defining fields. 0; BZ_ERROR_INVALID_CONVEX_HULL when the
// hull of a polyhedral shape cannot be built or is larger than the pair tests take (its edge
// and face counts then 0, its bounds unchanged); BZ_ERROR_PARAMETER_OUT_OF_RANGE (reported)
// for an AlignedHalfSpace direction outside 0 to 5.
int32_t bz_Shape_Prepare(bzShape *shape);
// Recomputes flags, bounds and workSize over the chain, preparing each shape first when
// prepare is not 0. A form without shapes gets zero bounds. Returns 0.
int32_t bz_Form_CalcBounds(bzForm *form, int32_t prepare);
int32_t bz_Form_RecalcBounds(bzForm *form);
int32_t bz_Form_PrepareShapes(bzForm *form);
// Scratch bytes the world collision needs to transform the shape.
uint32_t bz_Shape_WorkSize(const bzShape *shape);

// Volume of a capsule: the sphere of the radius and the cylinder over the segment length.
float bz_TicTac_Volume(float radius, float length);
// A shape's volume; kinds without one are reported and give 0.
float bz_Shape_Volume(const bzShape *shape);
// The sum of the shapes' volumes, but no more than the volume of the form's bounds; 0 for null.
float bz_Form_Volume(const bzForm *form);

// A copy of a prepared shape as a child of the owner, linked into no chain; kinds that cannot
// be copied are reported and give null.
bzShape *bz_Shape_Clone(void *owner, const bzShape *shape);
// A copy of a form with copies of its shapes in the same order; null when a shape cannot be
// copied (reported) or memory runs out.
bzForm *bz_Form_Clone(void *owner, const bzForm *form);

// The builders of forms from models, installed by the model-fitting code.
struct bzFormModelBuilders
{
    bzForm *(*alignedCuboid)(void *owner, const bzModel *model);
    bzForm *(*polyhedra)(void *owner, const bzModel *model, float percentage);
    bzForm *(*sphere)(void *owner, const bzModel *model);
    bzForm *(*ticTac)(void *owner, const bzModel *model);
};
// Installs the builders (null restores none).
void bz_Form_SetModelBuilders(const bzFormModelBuilders *builders);
// The builders installed now (entries null where none is).
void bz_Form_GetModelBuilders(bzFormModelBuilders *out);
// Kind 0 an aligned cuboid, 1 to 5 polyhedra at 1, 25, 50, 75 and 100 percent, 6 a sphere,
// 7 a tic-tac; any other kind, or a builder not installed, gives null without a report.
bzForm *bz_Form_CreateOfKind(void *owner, const bzModel *model, int32_t kind);

// bz_Shape_Transform on every shape, then bz_Form_CalcBounds without preparing.
void bz_Form_TransformShapes(bzForm *form, const bzM34 *m, int32_t ortho);

// 1 when the box placed by its placement overlaps a shape of the form placed by its own (null
// placements are the world frame). AlignedCuboid, Polyhedron and Sphere shapes are tested;
// other kinds are reported and count as no overlap.
int32_t bz_Form_BoxOverlaps(const bzBox *box, const bzM34 *boxPlacement, const bzForm *form,
                            const bzM34 *formPlacement);
int32_t bz_Shape_BoxOverlaps(const bzBox *box, const bzM34 *boxPlacement, const bzShape *shape,
                             const bzM34 *shapePlacement);
