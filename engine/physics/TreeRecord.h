// The tree step record of a jointed body tree for one physics step: its joint rows are built,
// factored and solved, the weakness of breakable joints is checked on the solved impulses, and
// the tree is moved over the step. Records and rows come from the physics work area.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

// Builds the root's tree step record for time (the time step, or -1.0 to rebuild without
// solving; 0 builds and factors without solving or moving). When the root has no record or its
// state is negative the joint rows are counted: with none the record is cleared and, for a
// positive time, the tree is moved over it; with rows, the record and the rows are taken from
// the work area, filled, factored and, for a positive time, solved and applied with the
// weakness of the tree's joints checked (a joint that breaks has its tree rebuilt once with
// -1.0), the extra solve of BZ_PHYS_EXTRA_SOLVE run and the tree moved. An existing record is
// refreshed in place (rows and factor again, then solved and moved likewise). When the work
// area is exhausted (error 6) the tree has no record and moves freely.
void bz_Phys_BuildTreeRecord(BZDObject *root, float time);

// The current transforms of the body's descendants take their start-of-step transforms, the
// rotations orthonormalised.
void bz_Phys_ResetChildren(BZDObject *body);

// The tree slots of bzgPhysStepServices (physics/PhysServices.h) that are empty take the
// step's own operations: children reset, tree record, boxes.
void bz_Phys_InstallTreeServices();

// The extra jointed-object solve of BZ_PHYS_EXTRA_SOLVE trees (bz_Phys_RunExtraJointSolves of the
// jointed-object solve has this form): called after the tree's joint rows are solved, with the
// root, its joint rows and their impulses, and no contact rows. Empty until installed.
typedef int32_t (*bzPhysExtraSolve)(BZDObject *root, bzPhysRow *const *jointRows,
                                    int32_t jointCount, const float *impulses,
                                    bzPhysRow *const *contactRows, int32_t contactCount);
void bz_Phys_SetExtraSolve(bzPhysExtraSolve solve);
