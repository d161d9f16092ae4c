// The swept feature tests of the object pair collision, on prepared geometry and free of any
// body: a moving edge crossing a fixed edge, two edges with radii (a tic-tac axis, a rounded
// polyhedron's edge) coming within the sum of their radii, a fixed sphere's centre against a
// moving segment with radii, and a fixed point against a moving axis whose radius grows by the
// collision tolerance over the step.
//
// Everything is given in one frame, the frame of the body that owns the fixed feature; the
// other feature moves linearly over the step: its start P(t) = P0 + t V and its vector
// E(t) = E0 + t W (t the step fraction). A touch gives the time, the parameter on each feature
// and the unit normal from the fixed feature towards the moving one at that time; the callers
// turn these into contact points on each body. A touch found only at the end of the step
// carries the time 1.05. Nothing here allocates or keeps state.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// The time of a touch found only at the end of the step.
constexpr float BZ_PAIR_TIME_END_TOUCH = 1.05f;

struct bzPairTouch
{
    float time;
    float fixedParam;  // on the fixed feature (0 for a point)
    float movingParam; // on the moving feature (0 for a point)
    bzV3 normal;       // unit, from the fixed feature towards the moving one at the time
};

// The moving edge against the fixed edge Q + u F, both of no radius: the first time in [0, 1]
// at which they cross within both ends. 0 when the first crossing is not earlier than limit;
// when no crossing is found, the end positions within bzCollisionTolerance of each other give
// an end touch. 1 with the touch, else 0.
int32_t bz_PairEdgeCrossing(const bzV3 &q, const bzV3 &f, const bzV3 &p0, const bzV3 &v,
                            const bzV3 &e0, const bzV3 &w, float limit, bzPairTouch *out);

// Results of the radius tests besides 1 (a touch) and 0 (none).
enum : int32_t
{
    BZ_PAIR_NEAREST_FIRST_END = -1,  // the nearest approach lies before the start of an edge
    BZ_PAIR_NEAREST_SECOND_END = -2, // past the end of an edge
};

// The moving edge against the fixed edge with the radius sum R: the first time their lines
// come within R with both closest points on the edges (0.001 of slack past each end); an end
// touch when they end within the tolerance band of R. A time not earlier than limit is no
// touch. 1 with the touch; -1 when the lines meet R only beyond an end of either edge or
// start within R (the callers then try the end spheres); 0 otherwise (parallel edges too).
int32_t bz_PairEdgesWithRadii(float radius, const bzV3 &q, const bzV3 &f, const bzV3 &p0,
                              const bzV3 &v, const bzV3 &e0, const bzV3 &w, float limit,
                              bzPairTouch *out);

// The fixed centre m against the moving segment with the radius sum R: 1 with the touch (the
// fixed parameter 0, the moving one the segment parameter); -1 / -2 when the nearest approach
// falls before the segment's start / past its end; 0 otherwise.
int32_t bz_PairSphereMovingSegment(float radius, const bzV3 &m, const bzV3 &a, const bzV3 &u,
                                   const bzV3 &e, const bzV3 &w, bzPairTouch *out);

// The fixed point p against the moving axis with the radius R + bzCollisionTolerance t. When
// the touch lies beyond an end of the axis, the end sphere there (moving with the end) is
// tested instead. 1 with the touch (the moving parameter clamped to the axis), else 0.
int32_t bz_PairPointMovingAxis(float radius, const bzV3 &p, const bzV3 &a, const bzV3 &v,
                               const bzV3 &e, const bzV3 &w, bzPairTouch *out);

// The fixed point p against a sphere of radius R whose centre moves from c0 by d: 1 with the
// first time in [0, 1) the distance comes down to R (time 0 when it starts within the
// tolerance shell, no touch when it starts deeper), an end touch when it ends within the
// shell; the normal from p towards the centre. Else 0.
int32_t bz_PairPointMovingSphere(float radius, const bzV3 &p, const bzV3 &c0, const bzV3 &d,
                                 bzPairTouch *out);
