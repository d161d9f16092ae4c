// Swept contact tests of rounded features and edges for one step of the solver: a point against
// a sphere, points against a moving tic-tac axis, a sphere against a moving segment, two edges
// carrying radii, a point against an edge with a radius and a moving edge crossing a fixed one.
//
// Each test works in one frame, in which the other feature moves linearly in the step fraction
// t in [0, 1]: a point by a displacement, a segment's start by a velocity while its vector
// changes by a rate. Touching means the distance has come down to the sum of the radii. A touch
// found only at the end of the step carries a mark above 1 in place of its time (1.05, or 1.01
// for a sphere against a segment), so that it sorts after every real time of the step.
//
// Results go into a contact row used as a work record: key (the time), point and normal,
// otherPoint and otherNormal. Where they end up is said by bzSweptFrames:
// - in the world collision (startPose null) the test runs in the world frame with the world's
//   feature fixed and the body's moving; the normal points from the world towards the body, as
//   for every world contact, and point, normal and otherPoint are carried into the body's frame
//   by toOther (null: they stay in the world frame, the point where the body's feature is at the
//   time found, for the caller to take into the body's frame);
// - for a body pair the test runs in the frame of the first body; its normal is turned by the
//   first body's pose rotation and by its lump rotation, blended by t and made unit, the normal
//   turned by the lump rotation alone goes to otherNormal, and the point on the other body's
//   side is carried into that body's frame by toOther (otherPoint).
//
// Single precision; squared lengths below 1.1920929e-7 count as zero. Nothing reports, keeps
// state or allocates.
#pragma once

#include "collision/CollisionContact.h"
#include "maths/Types.h"

#include <cstdint>

struct bzSweptFrames
{
    const bzM34 *startPose; // the first body's pose (t = 0); null in the world collision
    const bzM34 *endPose;   // the first body's lump matrix (t = 1)
    const bzM34 *toOther;   // carries points of the test's frame into the other body's frame;
                            // null: the frame itself
};

// Marks of touches found only at the end of the step.
constexpr float BZ_SWEPT_END_TOUCH = 1.05f;
constexpr float BZ_SWEPT_END_SEGMENT = 1.01f;

// Hands one found contact on (to the world contact run or a pair's list) and returns the new
// count.
typedef int32_t (*bzSweptContactSink)(void *context, const bzCollisionContact *contact,
                                      int32_t count);

// The contact row's point (set with its time) against the sphere (centre, radius): n = the unit
// vector from the point to the centre. Unless onSurface is set the point moves by radius n.
// World: the normal is n and point and normal go into the body's frame. Pair: the normal is n
// blended between the two rotations of the first body, otherNormal n by the lump rotation,
// otherPoint the point carried into the other body's frame.
void bz_SweptContact_FromCentre(bzCollisionContact *contact, const bzV3 *centre, float radius,
                                const bzSweptFrames *frames, int32_t onSurface);

// The point p moving by d against the fixed sphere (m, r): 1 with the contact written, else 0.
// Starting inside the sphere gives 0; starting in the shell r^2 <= |m - p|^2 < (tolerance + r) r
// gives time 0; a first touch in [0, 1] gives its time; a path that only ends in the shell gives
// 1.05 (bz_SweptPointSphere_EndTouch).
int32_t bz_SweptPointSphere(bzCollisionContact *contact, const bzV3 *p, const bzV3 *d,
                            const bzV3 *m, float r, const bzSweptFrames *frames);
int32_t bz_SweptPointSphere_EndTouch(bzCollisionContact *contact, const bzV3 *p, const bzV3 *d,
                                     const bzV3 *m, float r, const bzSweptFrames *frames);

// count points (skip[i] non-zero: left out; skip may be null) against the capsule of radius
// r1 + r2, grown by the tolerance over the step, round the axis whose start moves a + t v and
// whose vector changes e + t w. Every contact found goes to the sink; returns the count it
// leaves. Points beyond the axis ends meet the end spheres (bz_SweptPointSphere).
int32_t bz_SweptPointsTicTac(float r1, float r2, const bzV3 *points, const uint8_t *skip,
                             int32_t pointCount, const bzV3 *a, const bzV3 *v, const bzV3 *e,
                             const bzV3 *w, const bzSweptFrames *frames, bzSweptContactSink sink,
                             void *context, int32_t count);

// Results of bz_SweptSphereSegment besides 1 (contact) and 0 (none): the touch lies before the
// segment's start or beyond its end, where the caller tests the end spheres.
enum : int32_t
{
    BZ_SWEPT_SEGMENT_BEFORE_START = -1,
    BZ_SWEPT_SEGMENT_PAST_END = -2,
};
// The fixed sphere centre m against the segment a + t u, vector e + t w, radius sum r1 + r2.
int32_t bz_SweptSphereSegment(float r1, float r2, const bzV3 *m, const bzV3 *a, const bzV3 *u,
                              const bzV3 *e, const bzV3 *w, bzCollisionContact *contact,
                              const bzSweptFrames *frames);

// The same test with the radius sum grown by the collision tolerance over the step (r1 + r2 +
// bzCollisionTolerance t), and where the touch lies before the segment's start or beyond its
// end, the end sphere there (radius r1 + r2, moving with that end) is tried at once with
// bz_SweptPointSphere. 1 with the contact written, else 0; no look at the end of the step
// besides the end sphere's own. Not used by the collision.
int32_t bz_SweptPointSegmentGrown(float r1, float r2, const bzV3 *m, const bzV3 *a, const bzV3 *u,
                                  const bzV3 *e, const bzV3 *w, bzCollisionContact *contact,
                                  const bzSweptFrames *frames);

// Results of bz_SweptEdgeEdge besides 1 (contact): no contact, and the lines coming within
// reach only beyond an end of an edge (or running parallel), where the caller may test the ends.
enum : int32_t
{
    BZ_SWEPT_EDGES_APART = 0,
    BZ_SWEPT_EDGES_BEYOND_END = 2,
};
// The fixed edge q + r f (radius r1) against the moving edge p0 + t v, vector e0 + t w (radius
// r2): 1 with the contact written (parameters accepted within 0.001 past both ends). Edges
// within reach at the start with fewer than two roots, or with no accepted root, try the end of
// the step (1.05). Otherwise BZ_SWEPT_EDGES_BEYOND_END for parallel edges and for lines that came
// within reach outside the edges, BZ_SWEPT_EDGES_APART when they never did.
int32_t bz_SweptEdgeEdge(float r1, float r2, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                         const bzV3 *v, const bzV3 *e0, const bzV3 *w, bzCollisionContact *contact,
                         const bzSweptFrames *frames);

// The same test with the radius sum grown by the collision tolerance over the step
// (r1 + r2 + bzCollisionTolerance t) and no look at the end of the step: 1 with the contact
// written; BZ_SWEPT_EDGES_START_WITHIN when the edges start within reach with fewer than two
// roots; otherwise BZ_SWEPT_EDGES_APART (no roots, edges that stay parallel, or no root that
// meets inside both edges). Not used by the collision.
constexpr int32_t BZ_SWEPT_EDGES_START_WITHIN = -1;
int32_t bz_SweptEdgeEdgeGrown(float r1, float r2, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                              const bzV3 *v, const bzV3 *e0, const bzV3 *w,
                              bzCollisionContact *contact, const bzSweptFrames *frames);

// The point p moving by d against the edge a + s u carrying the radius r: 1 with the contact
// written; 0 for an edge of no length or a path that stays out of reach; otherwise the resting
// test at the end of the step decides (bz_RestingSphereOnEdge), after, in the world collision,
// the end sphere at the edge end passed beyond (bz_SweptPointAgainstSphere).
int32_t bz_SweptPointEdge(float r, const bzV3 *a, const bzV3 *u, const bzV3 *p, const bzV3 *d,
                          bzCollisionContact *contact, const bzSweptFrames *frames);
// The same test in a form the collision does not use: it first gives 0 when the edge's line and
// the path's line lie further apart than (2 bzCollisionTolerance + r) r in squared distance,
// treats a path as running along the edge below a squared across-motion of 0.1 times the
// squared tolerance, and lets the resting point test (bz_RestingPointOnEdge) decide at the end.
int32_t bz_SweptPointEdgeUnused(float r, const bzV3 *a, const bzV3 *u, const bzV3 *p, const bzV3 *d,
                                bzCollisionContact *contact, const bzSweptFrames *frames);

// The fixed edge q + r f against the moving edge p0 + t v, vector e0 + t w, no radius: 1 with the
// contact written (time, crossing point, normal; the point on the fixed edge as otherPoint);
// 0 when the first crossing is not earlier than the contact's key; else the edges' touch within
// the tolerance at the end of the step decides (bz_SweptEdgeAgainstEdge).
int32_t bz_SweptEdgeCrossing(const bzV3 *q, const bzV3 *f, const bzV3 *p0, const bzV3 *v,
                             const bzV3 *e0, const bzV3 *w, bzCollisionContact *contact,
                             const bzSweptFrames *frames);
