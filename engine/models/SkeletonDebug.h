// The skeleton's display lump: a lump tree that shows each bone of a skinned model as a shape in
// the bind pose, a capsule to a bone's only child or a rounded hull over its children, for
// looking at a rig. The shapes and their display lumps belong to the collision and display
// layers above the models, which install the maker.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;

enum : int32_t
{
    BZ_SKELETON_SHAPE_TICTAC = 6,              // a capsule between two points
    BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON = 10, // a rounded hull over a point set
};
constexpr float BZ_SKELETON_SHAPE_RADIUS = 0.1f;

// Makes the display lump of a shape of the kind over the points (in the bone's frame) with the
// radius; null when it cannot.
struct bzSkeletonShapeServices
{
    bzLump *(*createShapeLump)(int32_t kind, const bzV3 *points, int32_t count, float radius);
};
// Installs the maker (copied; null removes it).
void bz_Skeleton_SetShapeServices(const bzSkeletonShapeServices *services);
// The maker installed now (its entry null when none is).
void bz_Skeleton_GetShapeServices(bzSkeletonShapeServices *out);

// A NULL lump named "Skeleton" with one shape lump per bone, placed at the bone's bind pose: the
// bone's points are its children's offsets (first child, then its next siblings) and the origin
// when the bone has a parent; two points make a TicTac, more a RoundedPolyhedron, each of radius
// 0.1; a bone of fewer points has no shape, and without a maker no bone has one. Null with 29
// for a lump without skeleton, 14 without memory.
bzLump *bz_Skeleton_BuildDebugLump(bzLump *lump);
