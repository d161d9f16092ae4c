// One gather-and-solve iteration of a tree of the physics step, its post-solve pass, the
// angular-speed limit rows and the settling of fast spins before the trees are solved.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

struct bzPhysStepCallBack;

// How often a body's contacts are gathered again in one step after their first gathering: after
// a solve that changed the speed of some point of it (within its radius) by more than four
// contact speed tolerances, and after a push from another body.
constexpr uint8_t BZ_PHYS_REGATHER_BUDGET = 8;

// One iteration over the ring of root. rowsIn holds the rows of the previous iteration (their
// count is |previous|), rowsOut receives this iteration's rows (room for 60). A body whose
// velocity the solve changed is stamped for gathering again (within BZ_PHYS_REGATHER_BUDGET).
// Returns 0 when no row was found; the contact row count when nothing asked for more; minus that
// count when a weakness check, the step call back or a post-solve call back asked for more; -1
// after a limit row made a joint give.
int32_t bz_Phys_SolveTree(BZDObject *world, BZDObject *root, bzPhysRow *rowsIn, bzPhysRow *rowsOut,
                          int32_t previous, bzPhysStepCallBack *callBack);

// The post-solve pass of a ring: each awake body has its tree re-orthonormalised, moved over
// the time step and boxed, and its post-solve call back (int (*)(BZDObject *)) called; the
// call backs' results are ORed and returned.
int32_t bz_Phys_PostSolveRing(BZDObject *root);

// The angular-speed limit rows of the body and its subtree (kind 96, no second body) appended
// to rows (count in use, room for 60); returns the new count. See the limit L = pi / (4 dt).
int32_t bz_Phys_AngularLimitRows(BZDObject *body, bzPhysRow *rows, int32_t count);

// Settles the fast spins of every body of the list before the trees are solved: up to 5 passes
// per body of angular-limit rows solved with the joint rows.
void bz_Phys_SettleContacts(BZDObject *first);
