// Simple enclosing forms fitted to a model's vertices: its aligned bounding box, a sphere, a
// capsule (tic-tac), an oriented box and a rounded box, each as a shape or wrapped in a form of
// one shape.
//
// A vertex mask is an optional array of one byte per vertex of the model's mesh part; a
// non-zero byte selects the vertex, and without a mask every vertex takes part. The selection
// box is the model's bounding box without a mask, the box of the selected vertices with one.
// While a fit reads the part's vertices the part is marked as being read; the marks are cleared
// afterwards. The shapes come back unprepared, except the rounded box: callers prepare the form
// with bz_Form_CalcBounds (prepare 1). A model without a mesh part gives null.
#pragma once

#include "collision/Shape.h"
#include "models/Model.h"

#include <cstdint>

// A Sphere grown over the selected vertices in one pass from the selection box's centre and
// half its largest extent.
bzShape *bz_Shape_FitSphere(void *owner, bzModel *model, const uint8_t *mask);
// A TicTac: of the three axes the one whose grown cross-section radius is smallest carries the
// segment, whose ends are then stretched until their spheres hold every selected vertex.
bzShape *bz_Shape_FitTicTac(void *owner, bzModel *model, const uint8_t *mask);
// A Cuboid of the least volume found by FitMinimumVolumeBox, or the model's bounding box with
// the identity placement when that fit is not strictly smaller; null when the mask selects no
// vertex (or scratch runs out).
bzShape *bz_Shape_FitCuboid(void *owner, bzModel *model, const uint8_t *mask);
// A prepared RoundedPolyhedron of 8 vertices: the selection box shrunk by the rounding radius
// r = min(largest extent x factor / 2, smallest extent / 2), so that its outer extent is the
// selection box.
bzShape *bz_Shape_FitRoundedBox(void *owner, bzModel *model, float factor, const uint8_t *mask);

// Forms of one shape (no mask).
bzForm *bz_Form_CreateAlignedCuboidFromModel(void *owner, bzModel *model);
bzForm *bz_Form_CreateSphereFromModel(void *owner, bzModel *model);
bzForm *bz_Form_CreateTicTacFromModel(void *owner, bzModel *model);
bzForm *bz_Form_CreateCuboidFromModel(void *owner, bzModel *model);
bzForm *bz_Form_CreateRoundedBoxFromModel(void *owner, bzModel *model, float factor);
// The rounded box as the game asks for it (it passes the factor 0.5), a form of no owner.
bzForm *bz_Form_CreateFromModelFaces(bzModel *model, float factor);
