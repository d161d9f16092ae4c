// A triangular face of a body's collision cache as the collision tests read it, and the
// two-dimensional inside test that the face tests share.
//
// Edge k runs from corner k to corner (k + 1) mod 3. The face caches fill the record; the
// collision tests read only its flags, plane and corners.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// Flags of a collision face.
enum : uint32_t
{
    BZ_FACE_CANDIDATE = 0x1,    // rewritten by the world collision for each shape
    BZ_FACE_SKIP_EDGE_0 = 0x20, // edge 0 is not to be tested
    BZ_FACE_SKIP_EDGE_1 = 0x40, // edge 1
    BZ_FACE_SKIP_EDGE_2 = 0x80, // edge 2
    BZ_FACE_NEVER_COLLIDE = 0x1000,
    BZ_FACE_BELOW_LEVEL = 0x2000,
    BZ_FACE_DOUBLE_SIDED = 0x8000, // may be hit from its back side
};

// 17 words in the caches' layout (the pointer sizes aside).
struct bzCollisionFace
{
    const void *source;   // the caches' own: where the face came from
    uint32_t sourceIndex; // the caches' own
    uint32_t flags;
    const void *material; // the caches' own
    bzV3 normal;          // unit; points of the plane satisfy normal . p = distance
    float distance;
    bzV3 corners[3]; // world frame
};

// Margins of the inside test: a point a hair outside an edge still counts.
constexpr float BZ_FACE_INSIDE_LOW = -0.0001f;
constexpr float BZ_FACE_INSIDE_HIGH = 1.0001f;

// 1 when the point, already on the face's plane, lies inside the triangle. The test works in
// the two axes left when the normal's dominant axis is dropped (x before y before z on ties);
// each barycentric numerator must be at most numeratorLimit times its denominator in size,
// no denominator may be 0, both coordinates at least -0.0001 and their sum at most 1.0001.
int32_t bz_Face_PointInside(const bzCollisionFace *face, const bzV3 *point, float numeratorLimit);
