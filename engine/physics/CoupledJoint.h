// The coupled joint solve: a coupled joint holds one linear direction and two angular axes
// between a body M and its representative P through a 3x3 coupling whose inverse is kept in M's
// coupling record and applied straight to the two bodies' velocities (see physics/Coupling.h for
// the error and the impulses).
#pragma once

#include "physics/Body.h"

// Solves the coupled joint of the body (either body of the pair): writes each record's lever,
// direction and axes from M's joint to its parent, and with recompute the inverse of the
// coupling matrix into M's record (zero when the matrix is singular, so nothing is applied);
// then the impulses that cancel the three velocity errors are applied to both bodies. Both
// bodies must have initialised coupling records (physics/JointRows.h).
void bz_Phys_SolveCoupledJoint(BZDObject *body, int32_t recompute);

// Depth first through the body's subtree: each body with a coupling record whose parent has one
// too has its coupled joint solved with the stored inverse.
void bz_Phys_SolveCoupledJointsInTree(BZDObject *body);
