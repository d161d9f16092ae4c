// The jointed-object solve: after a tree's joint rows are solved, a joint that pulls hard on a
// body in the middle of a chain may still let that body swing past the line of the pull within
// the step. For such a body an angular row against its parent is added that keeps its turn
// relative to the parent from carrying it past the line, and the joint rows are solved again
// together with it (and with the contact rows that bore force), starting from the factored joint
// rows of the tree.
#pragma once

#include "maths/Types.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

// Bundles whose pulls are kept from one call to the next (the kept-force array's length), calls
// of the extra solve of one tree, and rows one call adds.
constexpr int32_t BZ_EXTRA_SOLVE_BUNDLES = 60;
constexpr int32_t BZ_EXTRA_SOLVE_ROUNDS = 30;
constexpr int32_t BZ_EXTRA_SOLVE_ROWS = 60;

// One jointed-object solve of the tree of root, whose tree step record holds the packed factor
// of the jointCount joint rows that jointRows points to (a record of another row count: nothing
// happens). impulses holds the joint rows' last impulses; jointRows, impulses and rhs have room
// for jointCount + capacity entries, added for capacity rows; keptForces holds one pull (bodyA's
// frame) for each of the first BZ_EXTRA_SOLVE_BUNDLES bundles, cleared before the first call.
// 1. For each linear joint-row bundle whose bodyB is bodyA's parent and whose bodyA has children,
//    the pull F = sum of impulse x nA over the bundle, plus the kept pull, is kept.
// 2. When |F| > time step x massA x 10: d = the bundle's rA less bodyA's first child's anchor on
//    bodyA (from its centre of mass), w = bodyA's angular velocity less its parent's (carried
//    into bodyA's frame; not when the parent has a world joint). When the bone d, turned on for
//    one step at w x d, would lie within half the contact distance of the line of the pull
//    ((u . d + (u . (w x d)) dt) - |d| > -0.5 x contact distance, u = F / |F|) and there is room,
//    an angular row (type 96) between bodyA and its parent about -w / |w| is made, through the
//    joint's anchors, with target |w| - |u x d| / (|d| dt); it is kept only when that is
//    positive.
// 3. With rows kept: the joint rows' right-hand sides are 0, each contact row whose impulse
//    (value) is not 0 is copied behind the new rows with target 0, the matrix is built behind the
//    joint block (work-area scratch), the system solved, the joint-row bundles applied and the
//    new and copied rows applied as contact rows (physics/Impulses.h); impulses receives the
//    solution. Returns the number of new and copied rows (0: nothing was changed).
// Rows are limited by capacity, by BZ_EXTRA_SOLVE_ROWS and by what one solve may hold.
int32_t bz_Phys_ExtraJointSolve(BZDObject *root, bzPhysRow **jointRows, int32_t jointCount,
                                int32_t capacity, float *impulses, float *rhs, bzPhysRow *added,
                                bzPhysRow *const *contactRows, int32_t contactCount,
                                bzV3 *keptForces);

// The extra solve of a tree whose root carries BZ_PHYS_EXTRA_SOLVE, after its joint rows were
// solved with the given impulses: up to BZ_EXTRA_SOLVE_ROUNDS rounds of the jointed-object solve
// with BZ_EXTRA_SOLVE_ROWS rows, each calling it once more when it added rows, stopping at the
// first call that adds none. Its blocks come from temporary stack 1 and are given back (without
// them nothing is done). Returns the number of calls that added rows.
int32_t bz_Phys_RunExtraJointSolves(BZDObject *root, bzPhysRow *const *jointRows,
                                    int32_t jointCount, const float *impulses,
                                    bzPhysRow *const *contactRows, int32_t contactCount);
