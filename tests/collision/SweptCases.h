// Hand-worked cases of the swept tests of rounded features and edges, one table a feature pair,
// run through both entry points: the world collision's swept contacts (SweptContacts.h) and the
// pair collision's swept feature tests (PairSweptTests.h). Every case is given in the frame of
// the fixed feature, with the collision tolerance at its starting value 0.01; the times, normals
// and parameters are worked out by hand in the comments.
#pragma once

#include "PairTestShapes.h"
#include "collision/CollisionTolerance.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace swepttest
{
using pairtest::V;

// The collision tolerance at its starting value for a test.
struct DefaultTolerance
{
    float saved = bzCollisionTolerance;
    DefaultTolerance() { bzCollisionTolerance = 0.01f; }
    ~DefaultTolerance() { bzCollisionTolerance = saved; }
};

inline void ExpectV3(const bzV3 &got, const bzV3 &want, float tol = 1e-4f)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// Runs check on every case of a table, each traced by its name, with the collision tolerance at
// its starting value.
template <class Case, size_t N, class Check> void ForEachCase(const Case (&cases)[N], Check check)
{
    DefaultTolerance tolerance;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        check(c);
    }
}

// A point against the unit sphere at the origin, the point moving by motion relative to it (the
// world moves the point past a fixed sphere; the pair moves the sphere, centre -point, by
// -motion, past a fixed point at the origin). The shell reaches (tolerance + r) r = 1.01 in
// squared distance. normal: unit, from the point towards the centre at the touch.
struct PointSphereCase
{
    const char *name;
    bzV3 point, motion;
    int32_t touches;
    float time;
    bzV3 normal;
};
inline const PointSphereCase kPointSphereCases[] = {
    {"starts inside", V(0.5f, 0, 0), V(1, 0, 0), 0, 0, {}},
    {"starts inside, moving in", V(-0.5f, 0, 0), V(-1, 0, 0), 0, 0, {}},
    {"starts in the shell", V(1.004f, 0, 0), V(3, 0, 0), 1, 0.0f, V(-1, 0, 0)},
    {"starts in the shell, leaving", V(-1.003f, 0, 0), V(-1, 0, 0), 1, 0.0f, V(1, 0, 0)},
    // 3 - 4t = 1.
    {"meets it half way", V(3, 0, 0), V(-4, 0, 0), 1, 0.5f, V(-1, 0, 0)},
    {"meets it half way from -x", V(-3, 0, 0), V(4, 0, 0), 1, 0.5f, V(1, 0, 0)},
    // Ending 1.004 and 1.003 from the centre, in the shell: the end of the step's mark.
    {"stops in the shell", V(1.5f, 0, 0), V(-0.496f, 0, 0), 1, 1.05f, V(-1, 0, 0)},
    {"stops in the shell from -x", V(-3, 0, 0), V(1.997f, 0, 0), 1, 1.05f, V(1, 0, 0)},
    {"stops short of the shell", V(-3, 0, 0), V(1.5f, 0, 0), 0, 0, {}},
    {"passes beside it", V(-2, 3, 0), V(4, 0, 0), 0, 0, {}},
    {"moves away from beyond the shell", V(2, 0, 0), V(1, 0, 0), 0, 0, {}},
};

// Fixed points against the axis from (0, 0, 0) to (2, 0, 0) of radius 1 (grown by the tolerance
// over the step), moving down by 1 over the step. Points beside the axis ends meet the end
// spheres, which do not grow. normal: from the point towards the axis; param: the touch's place
// on the axis, 0 to 1.
struct PointAxisCase
{
    const char *name;
    bzV3 point;
    float time;
    bzV3 normal;
    float param;
};
inline const bzV3 kAxisStart = V(0, 0, 0), kAxisMotion = V(0, -1, 0), kAxisVector = V(2, 0, 0),
                  kAxisTurn = V(0, 0, 0);
constexpr float kAxisRadius = 1.0f;
inline const PointAxisCase kPointAxisCases[] = {
    // Beside the side: 1.5 - t = 1 + 0.01 t.
    {"side", V(1, -1.5f, 0), 0.5f / 1.01f, V(0, 1, 0), 0.5f},
    // Past the end: the end sphere at (2, -t) meets (2.6, -1.2) when 0.36 + (1.2 - t)^2 = 1.
    {"past the end", V(2.6f, -1.2f, 0), 0.4f, V(-0.6f, 0.8f, 0), 1.0f},
    {"before the start", V(-0.6f, -1.2f, 0), 0.4f, V(0.6f, 0.8f, 0), 0.0f},
};

// What a swept test of rounded features finds: a touch, or no touch where the nearest approach
// lies before the start or past the end of a feature (the callers then try the end spheres), or
// no touch at all. Each entry point answers these with its own codes.
enum class Outcome
{
    touch,
    beforeStart,
    pastEnd,
    none,
};

// An entry point's answer got to a case: its code for the outcome when there is no touch (false:
// nothing more to check), else 1 (true: the touch is there to check).
inline bool ExpectOutcome(int32_t got, Outcome outcome, int32_t codeWithoutTouch)
{
    if (outcome != Outcome::touch)
    {
        EXPECT_EQ(got, codeWithoutTouch);
        return false;
    }
    EXPECT_EQ(got, 1);
    return got == 1;
}

// The sphere centre at the origin against the segment start + s (2, 0, 0) moving by (0, -2, 0),
// radius sum 1. A touch on the side: 2 - 2t = 1 at t = 0.5, the normal from the centre to the
// segment (0, 1, 0) and the foot's parameter param. Otherwise where the nearest approach lies.
struct SphereSegmentCase
{
    const char *name;
    bzV3 start, vector;
    Outcome outcome;
    float param;
};
inline const bzV3 kSegmentMotion = V(0, -2, 0), kSegmentTurn = V(0, 0, 0);
constexpr float kSegmentRadius = 1.0f;
inline const SphereSegmentCase kSphereSegmentCases[] = {
    {"side", V(-1, 2, 0), V(2, 0, 0), Outcome::touch, 0.5f},
    // x in [1, 3], [0.5, 2.5], [-2.5, -0.5]: the reach of the centre only beyond an end.
    {"beyond the start", V(1, 2, 0), V(2, 0, 0), Outcome::beforeStart, 0},
    {"just beyond the start", V(0.5f, 2, 0), V(2, 0, 0), Outcome::beforeStart, 0},
    {"past the end", V(-2.5f, 2, 0), V(2, 0, 0), Outcome::pastEnd, 0},
    {"no length", V(-1, 2, 0), V(0, 0, 0), Outcome::none, 0},
};

// The fixed edge from (-1, 0, 0) to (1, 0, 0) against a moving edge, the radii summing to 0.5
// (0.25 each where the test takes two). A touch: 2 - 2t = 0.5 at t = 0.75, in the middle of both
// edges, the normal from the fixed edge towards the moving one (0, 1, 0). Parallel edges and
// lines that come within reach only beyond an end count as beforeStart: the callers try the
// ends.
struct EdgesWithRadiiCase
{
    const char *name;
    bzV3 start, velocity, vector;
    Outcome outcome;
    float time;
};
inline const bzV3 kFixedEdgeStart = V(-1, 0, 0), kFixedEdge = V(2, 0, 0), kEdgeTurn = V(0, 0, 0);
constexpr float kEdgeRadius = 0.25f;
inline const EdgesWithRadiiCase kEdgesWithRadiiCases[] = {
    {"coming down across", V(0, 2, -1), V(0, -2, 0), V(0, 0, 2), Outcome::touch, 0.75f},
    {"parallel", V(-1, 2, 0), V(0, -2, 0), V(2, 0, 0), Outcome::beforeStart, 0},
    {"beyond the fixed edge's end", V(3, 2, -1), V(0, -2, 0), V(0, 0, 2), Outcome::beforeStart, 0},
    {"never within reach", V(0, 5, -1), V(0, 0, 0), V(0, 0, 2), Outcome::none, 0},
};

// The same fixed edge against a moving edge of no radius along z, crossing it or not before
// limit (the world keeps it as the contact's time). crosses: at time, in the middle of both
// edges at the origin, the normal from the fixed edge towards where the moving one came from,
// (0, 1, 0); endTouch: no crossing, the edges end within the tolerance (each entry point's own
// end mark); none: nothing.
enum class Crossing
{
    crosses,
    endTouch,
    none,
};
struct EdgeCrossingCase
{
    const char *name;
    bzV3 start, velocity, vector;
    float limit;
    Crossing crossing;
    float time;
};
inline const EdgeCrossingCase kEdgeCrossingCases[] = {
    // 1 - 2t = 0 and 2 - 4t = 0.
    {"crosses half way", V(0, 1, -1), V(0, -2, 0), V(0, 0, 2), 2.0f, Crossing::crosses, 0.5f},
    {"crosses half way, faster", V(0, 2, -1), V(0, -4, 0), V(0, 0, 2), 2.0f, Crossing::crosses,
     0.5f},
    {"crosses later than the limit", V(0, 1, -1), V(0, -2, 0), V(0, 0, 2), 0.3f, Crossing::none, 0},
    {"crosses later than the limit, faster", V(0, 2, -1), V(0, -4, 0), V(0, 0, 2), 0.4f,
     Crossing::none, 0},
    {"passes beside the fixed edge's end", V(1.5f, 2, -1), V(0, -4, 0), V(0, 0, 2), 2.0f,
     Crossing::none, 0},
    // Ending 0.005 above the fixed edge.
    {"stops short", V(0, 1, -1), V(0, -0.995f, 0), V(0, 0, 2), 2.0f, Crossing::endTouch, 0},
    {"stops short, from further", V(0, 2, -1), V(0, -1.995f, 0), V(0, 0, 2), 2.0f,
     Crossing::endTouch, 0},
    // Parallel edges never cross; ending 0.005 aside or two units below, they do not touch.
    {"parallel, ending aside", V(-1, 0.5f, 0.005f), V(0, -0.5f, 0), V(2, 0, 0), 2.0f,
     Crossing::none, 0},
    {"parallel, passing through", V(-0.5f, 2, 0), V(0, -4, 0), V(1, 0, 0), 2.0f, Crossing::none, 0},
};
} // namespace swepttest
