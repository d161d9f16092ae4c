// Collision polyhedra built from models: the convex hull of a model's vertices (or of the
// models of a lump tree), thinned by a percentage of its vertices or down to a number of faces
// or edges, as a Polyhedron, RoundedPolyhedron or WireFrame shape, or a form of one such shape.
//
// The hull is built from the mesh part's vertices (chosen by an optional vertex mask, one byte
// per vertex, non-zero selects), or without a part from the model's raw vertex list. A hull
// that cannot be built, the flat one included, gives no shape. Every hull is also thinned until
// it fits the pair tests' limits (BZ_SHAPE_MAX_VERTICES, _FACES, _EDGES). The shapes carry the
// hull's vertices, edges and planes; callers prepare the form with bz_Form_CalcBounds (prepare
// 1) as for any other form. Nothing here reports an error.
#pragma once

#include "collision/Shape.h"
#include "maths/Types.h"
#include "models/Model.h"
#include "scene/Lump.h"

#include <cstdint>

// The kind given to hulls built from a model: Polyhedron, or RoundedPolyhedron while
// bz_Form_CreateRoundedPolyhedronFromModel runs.
extern uint32_t bzgShapes_hullKind;

// The hull of the model's (selected) vertices, each moved by the placement when one is given,
// thinned by RemoveLeastVolumeVertex to V + (trunc(percentage - 100) (V - 4)) / 100 vertices
// for a hull of V vertices (100 keeps it). Percentage 0 gives bz_Shape_CreateBoxFromModel.
// Null for a null model or a failed hull.
bzShape *bz_Shape_CreateHullFromModel(void *owner, bzModel *model, const bzM34 *placement,
                                      float percentage, const uint8_t *mask);
// An AlignedCuboid: the box of the selected vertices with a mask and a mesh part, else the
// model's bounding box.
bzShape *bz_Shape_CreateBoxFromModel(void *owner, bzModel *model, const uint8_t *mask);
// The hull thinned until it has at most maxFaces faces.
bzShape *bz_Shape_CreateHullWithMaxFaces(void *owner, bzModel *model, int32_t maxFaces,
                                         const uint8_t *mask);
// The hull of the mesh part thinned until it has at most maxEdges edges, as a WireFrame.
bzShape *bz_Shape_CreateWireFrameWithMaxEdges(void *owner, bzModel *model, int32_t maxEdges);
// bz_Shape_CreateHullFromModel (no placement, no mask) as a WireFrame.
bzShape *bz_Shape_CreateWireFrameFromModel(void *owner, bzModel *model, float percentage);

// Forms of one such shape (null when the shape cannot be made).
bzForm *bz_Form_CreatePolyhedraFromModel(void *owner, bzModel *model, float percentage);
bzForm *bz_Form_CreateWireFrameFromModel(void *owner, bzModel *model, float percentage);
bzForm *bz_Form_CreatePolyhedronWithMaxFaces(void *owner, bzModel *model, int32_t maxFaces);
bzForm *bz_Form_CreateWireFrameWithMaxEdges(void *owner, bzModel *model, int32_t maxEdges);
// A RoundedPolyhedron of the whole hull with this rounding radius.
bzForm *bz_Form_CreateRoundedPolyhedronFromModel(void *owner, bzModel *model, float radius);
// A form of no owner with the hull of every model lump of the tree, in the matrix of the lump
// relative to the root, prepared; null for a null root.
bzForm *bz_Form_CreatePolyhedraFromLumpTree(bzLump *root);

// Merges the nearly coplanar faces of a Polyhedron or RoundedPolyhedron: while two face
// normals lie within the angle (degrees), the vertices of both faces move onto the plane
// between them (kept on up to two steep neighbouring faces), and the hull is rebuilt. Ends when
// no pair is left or after 10 rebuilds that did not lose a face. 1 when a face was merged,
// else 0 (also for any other kind).
int32_t bz_Shape_FlattenFaces(bzShape *shape, float angle);
// bz_Shape_FlattenFaces on every shape; when any changed, the form's bounds are recomputed
// (without preparing). 1 when any shape changed.
int32_t bz_Form_FlattenFaces(bzForm *form, float angle);
// The game's name for bz_Shape_FlattenFaces (it passes 0.1 degrees).
int32_t bz_Form_Transform(bzShape *shape, float angle);

// Installs the hulls above with the fitted shapes as the builders of bz_Form_CreateOfKind.
void bz_Form_InstallModelBuilders();
