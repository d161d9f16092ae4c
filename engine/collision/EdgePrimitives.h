// Primitive tests of the collision handlers on edges: a sphere or point resting on an edge at
// the end of the step, a sphere swept against a cylinder round an edge, and two edges meeting
// within the tolerance.
//
// These tests write a contact row (CollisionContact.h): the key (a fraction of the step, or a
// resting mark: 1.0, 1.05, 1.1), the point (words 8-10) and normal (words 11-13) in the frame of
// the body whose row it is, through the world-to-body matrix the caller gives (null: the world
// frame), and some a second point (words 17-19). Nothing here allocates.
#pragma once

#include "collision/CollisionContact.h"

#include <cstdint>

// Resting keys.
constexpr float BZ_KEY_RESTING_EDGE = 1.05f;
constexpr float BZ_KEY_RESTING = 1.0f;
constexpr float BZ_KEY_RESTING_CLOSE = 1.1f;

// The point p against the edge a + u d, u in [0, 1]: with g the squared distance of p from the
// edge, a contact when r^2 <= g <= (2 bzCollisionTolerance + r) r; the sphere test needs g
// strictly below the upper bound. 1 with key 1.05, the edge point and the unit normal from p
// towards the edge written; else 0 (also for an edge of no length).
int32_t bz_RestingSphereOnEdge(const bzV3 *p, const bzV3 *a, const bzV3 *d, float r,
                               bzCollisionContact *row, const bzM34 *worldToBody);
int32_t bz_RestingPointOnEdge(const bzV3 *p, const bzV3 *a, const bzV3 *d, float r,
                              bzCollisionContact *row, const bzM34 *worldToBody);

// Results of bz_SweptSphereAgainstCylinder besides 1 (contact) and 0 (none).
enum : int32_t
{
    BZ_CYLINDER_BEFORE_START = -1, // the touch lies before the axis start (or by its first half)
    BZ_CYLINDER_PAST_END = -2,     // past its end (or by its second half)
};

// A sphere of radius r1 whose centre moves from p0 to p1 against the cylinder of radius r2
// round the axis x0 + u axis, u in [0, 1]. 1 with the row written: key t, the axis point at the
// touch moved by r1 towards the centre (words 8-10), the centre at t (words 17-19) and the unit
// normal from the axis towards the centre, blended from the start to the end by t (words
// 11-13). A path within 2 bzCollisionTolerance r of the surface at the end of the step counts
// as a touch at t = 1. A centre that starts within reach of the axis line gives -1 or -2 by
// the half of the axis it lies beside.
int32_t bz_SweptSphereAgainstCylinder(const bzV3 *p0, const bzV3 *p1, const bzV3 *x0,
                                      const bzV3 *axis, float r1, float r2, bzCollisionContact *row,
                                      const bzM34 *worldToBody);

// The edges a1 + s e1 and a2 + u e2 after their motions m1 and m2 (their places at the end of
// the step). Only when the row's key is above 1.0 (no swept contact yet): the edges must pass
// within bzCollisionTolerance of each other at parameters in [0, 1] on both. 1 with key 1.0
// (1.1 when they lie within 0.001), the point on the first edge, the common normal turned from
// the second edge towards the first (side > 0: e1 x e2 as it is; side < 0: its negative) and
// the point on the second edge in words 17-19 (world frame); else 0.
int32_t bz_SweptEdgeAgainstEdge(const bzV3 *a1, const bzV3 *e1, const bzV3 *m1, const bzV3 *a2,
                                const bzV3 *e2, const bzV3 *m2, int32_t side,
                                bzCollisionContact *row, const bzM34 *worldToBody);

// A sphere of radius r whose centre stays put against the segment a + u d, u in [0, 1], that
// moves by motion over the step (the motion relative to the sphere). With the tolerance folded
// in, the time t in [0, 1] at which the segment's line comes within r + bzCollisionTolerance of
// the centre (the later root when the centre starts within that reach) whose foot on the
// segment lies in [0, 1]: 1 with the row written: key t, the segment's point nearest the centre
// at t and the unit normal from the line towards the centre, blended from the start to the end
// of the step by t; else 0 (also for a segment of no length or a motion that does not carry the
// line across).
int32_t bz_SweptSphereAgainstLine(const bzV3 *centre, float r, const bzV3 *a, const bzV3 *d,
                                  const bzV3 *motion, bzCollisionContact *row,
                                  const bzM34 *worldToBody);
