// The feature tests of the swept collision: when a moving point, edge, sphere, box or hull
// first touches a fixed plane, box, hull, edge, sphere or capsule during one step.
//
// Every test takes the time found so far, T (a fraction of the step), by reference and lowers
// it only with an accepted smaller touching time; it never raises it. Motion is a translation
// over the whole step. Features that already touch or overlap at the start give nothing.
// Single precision throughout, with FLT_EPSILON guards on parallel motion, parallel edges and
// singular systems; nothing allocates.
#pragma once

#include "collision/Hull.h"
#include "maths/Types.h"

#include <cstdint>

// Point p moving by d against the plane n.x = c moved out by offset; a time strictly inside
// (0, T).
void SweptPointPlane(const bzV3 &p, const bzV3 &d, const bzPlane &plane, float offset, float &T);
// Each of count vertices moving by d against the plane.
void SweptVerticesPlane(const bzV3 *vertices, int32_t count, const bzV3 &d, const bzPlane &plane,
                        float &T);
// Point moving by d into the box; an entry at 0 is accepted, a start inside is not.
void SweptPointAlignedBox(const bzV3 &p, const bzV3 &d, const bzBox &box, float &T);
// The edge p1 + s e1 moving by d against the fixed edge p2 + u e2.
void SweptEdgeEdge(const bzV3 &p1, const bzV3 &e1, const bzV3 &d, const bzV3 &p2, const bzV3 &e2,
                   float &T);
// Point moving by d into the convex solid of the planes.
void SweptPointHull(const bzV3 &p, const bzV3 &d, const bzPlane *planes, int32_t count, float &T);
// Sphere (c1, r1) moving by d against the fixed sphere (c2, r2).
void SweptSphereSphere(const bzV3 &c1, float r1, const bzV3 &d, const bzV3 &c2, float r2, float &T);

// Results of SweptSphereCylinder.
enum : int32_t
{
    BZ_SWEPT_CYLINDER_NOT_IN_STEP = 0, // no touch within (0, T)
    BZ_SWEPT_CYLINDER_SIDE = 1,        // touches the side: accepted
    BZ_SWEPT_CYLINDER_BEYOND_END = 2,  // touches the infinite cylinder beyond an end
    BZ_SWEPT_CYLINDER_NO_ROOT = 3,     // never reaches the infinite cylinder (axis not written)
};
// Sphere (c, rs) moving by d against the side of the capsule p0-p1 of radius rc; writes the
// axis parameter of the first touch of the infinite cylinder, and its time when rootOut is
// given, except for BZ_SWEPT_CYLINDER_NO_ROOT.
int32_t SweptSphereCylinder(const bzV3 &c, float rs, const bzV3 &d, const bzV3 &p0, const bzV3 &p1,
                            float rc, float &T, float *axisOut, float *rootOut = nullptr);
// Sphere (c, rs) moving by d against the whole capsule p0-p1 of radius rc. Beyond the side,
// the end sphere on the side of the first touch of the infinite cylinder is tried; both end
// spheres when the cylinder is never reached or was already reached at the start.
void SweptSphereTicTac(const bzV3 &c, float rs, const bzV3 &d, const bzV3 &p0, const bzV3 &p1,
                       float rc, float &T);
// The edge p + s e moving by d against the fixed sphere (c, r): its side, then its two ends.
void SweptEdgeSphere(const bzV3 &p, const bzV3 &e, const bzV3 &d, const bzV3 &c, float r, float &T);
// A hull (vertices, edges, the first faceCount planes) moving by d against the fixed sphere.
void SweptHullSphere(const bzHull &hull, int32_t vertexCount, int32_t edgeCount, int32_t faceCount,
                     const bzV3 &d, const bzV3 &c, float r, float &T);
// A box moving by d against the fixed sphere: its 8 corners and 12 edges in the shared frame,
// its box in its own frame, which toFrame (null: the shared frame itself) carries points into.
void SweptBoxSphere(const bzV3 *corners, const bzBox &box, const bzM34 *toFrame, const bzV3 &d,
                    const bzV3 &c, float r, float &T);
// The edge p + s e moving by d against the side of the capsule q + v a of radius r.
void SweptEdgeCapsuleSide(const bzV3 &p, const bzV3 &e, const bzV3 &d, const bzV3 &q, const bzV3 &a,
                          float r, float &T);
// SweptEdgeCapsuleSide for each of edgeCount edges of the hull.
void SweptEdgesCapsuleSide(const bzHull &hull, int32_t vertexCount, const bzHullEdge *edges,
                           int32_t edgeCount, const bzV3 &d, const bzV3 &q, const bzV3 &a, float r,
                           float &T);

// Results of SweptSegmentSegment: 0 no touch in the step, 1 a touch of the two sides
// (accepted), 2 to 9 a touch of the infinite lines beyond the ends (region code + 1: +1 the
// row axis before its start, +2 past its end, +3 the column axis before its start, +6 past its
// end), 10 parallel axes.
enum : int32_t
{
    BZ_SWEPT_SEGMENTS_NONE = 0,
    BZ_SWEPT_SEGMENTS_SIDES = 1,
    BZ_SWEPT_SEGMENTS_PARALLEL = 10,
};
// The row axis pa + u ea, fixed, against the column axis pb + v eb moving by d, within R.
int32_t SweptSegmentSegment(const bzV3 &pa, const bzV3 &ea, const bzV3 &pb, const bzV3 &eb,
                            const bzV3 &d, float R, float &T);
