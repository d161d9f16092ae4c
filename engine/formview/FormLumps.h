// Form lumps: scene-graph lumps that show the shapes of a collision form, one MODEL lump per
// shape built from the debug display objects (boxes, spheres, capsules, half-space planes) or,
// for the polyhedral kinds, from a model of the hull's faces. The shape's position goes into
// the model's vertices; each lump's own matrix stays the identity. The lumps come back
// unattached.
#pragma once

#include "collision/Hull.h"
#include "collision/Shape.h"
#include "scene/Lump.h"

// A MODEL lump showing the shape, or null: Null and WireFrame shapes have no lump (no report);
// an unknown kind is reported ("Unknown shape", caption "bz_Lump_CreateFromForm") and gives
// null. A shape whose sizes are not finite, a negative radius, a half-space without a normal
// or a polyhedron whose faces cannot be drawn gives null with the last error 29 (no report).
bzLump *bz_Lump_CreateFromForm(const bzShape *shape);
// A NULL lump named "shape" holding one child lump per shape of the form that has one; each
// becomes the first child, so the children come in reverse chain order. Null for a null form.
bzLump *bz_Lump_CreateFromFormShapes(const bzForm *form);
// A MODEL lump named "Polyhedron" whose model shows the hull: each face as a fan over its
// vertex loop, pushed out along its normal by the rounding, and with a rounding above 0 the
// faces joined along the edges and around the vertices. Null (last error 29) for a hull
// without faces or with a face whose loop does not close, and for a rounding that is not
// finite or is negative; 14 without memory.
bzLump *CreatePolyhedronLump(const bzHull *hull, float rounding);
