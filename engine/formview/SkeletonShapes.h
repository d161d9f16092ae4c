// The shapes of the skeleton's display lump: the maker that bz_Skeleton_BuildDebugLump calls for
// each bone, which builds the collision shape of the kind over the bone's points and turns it
// into a display lump, and its installation at engine start-up.
#pragma once

#include "maths/Types.h"
#include "scene/Lump.h"

#include <cstdint>

// A MODEL lump showing a shape of the kind over the points with the radius (built through
// bz_Lump_CreateFromForm), or null with the last error 29 when it cannot be made (no report):
// - BZ_SKELETON_SHAPE_TICTAC takes exactly two points, the ends of its segment; two points
//   that coincide make no shape.
// - BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON takes three points or more and rounds their convex
//   hull by the radius. The hull must be a solid (four points or more not all in one plane):
//   the hull model draws no flat polygon, so coincident, collinear or coplanar points make no
//   shape.
// Any other kind, null points, a point or radius that is not finite, a negative radius or more
// points than a shape holds make none either. The shape lives only while the lump is built.
bzLump *bz_FormView_CreateSkeletonShapeLump(int32_t kind, const bzV3 *points, int32_t count,
                                            float radius);
// Installs bz_FormView_CreateSkeletonShapeLump as the skeleton's shape maker.
void bz_FormView_InstallSkeletonShapes();
