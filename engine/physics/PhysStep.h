// The physics step: advances every body of one dynamics world by one time step. It prepares
// the bodies, sorts the world's list for the broad phase, settles fast spins, then solves each
// awake tree of jointed bodies in repeated gather-and-solve iterations (world contacts, body
// contacts, joint rows, limits), breaks joints whose weakness threshold is passed, runs the
// friction pass and puts quiet rings to sleep.
//
// Contacts come from the collision provider, a record of call backs installed by the layer that
// owns the world and object collision. Without one (or with an empty slot) no contact is found.
//
// Nothing here takes memory from the system heap: rows live in fixed buffers and tree records
// in the physics work area (physics/PhysMemory.h), whose top the step resets at its end. When
// no work area is held the step reserves the frame blocks itself and gives them back at its end.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

struct bzCollisionContact;

// The step call back: called after each tree solve with the solved rows (in their owners'
// terms, each row's value its solved impulse) while the solved values are published to
// SumIndexedScale. The dynamics layer sets it, and clears it while it replays frames.
typedef void (*bzPhysStepFunction)(bzPhysRow *rows, int32_t count);
struct bzPhysStepCallBack
{
    bzPhysStepFunction function;
};

// Size of the contact array handed to the collision provider; a provider writes its rows from
// the start index on and never past the end.
constexpr int32_t BZ_PHYS_CONTACT_ARRAY = 60;

// The collision provider. world: appends the contact rows of the body against the world faces
// of its collision cache; pair: appends the contact rows between two bodies. Both write at
// contacts[start] onwards and return the number of rows added. markFacesBelowLevel (may be
// empty): marks the body's collision faces below its level before its contacts are gathered.
// The contact rows are the physics rows under the collision code's name (same record).
struct bzPhysCollisionProvider
{
    int32_t (*world)(int32_t start, BZDObject *body, bzCollisionContact *contacts);
    int32_t (*pair)(int32_t start, BZDObject *a, BZDObject *b, bzCollisionContact *contacts);
    void (*markFacesBelowLevel)(BZDObject *body);
};
// Installs a copy of the provider (null: none, no contacts).
void bz_Phys_SetCollisionProvider(const bzPhysCollisionProvider *provider);

// Advances the bodies of the list at *worldHead (chained by their next-sibling links) by one
// time step (bzgPhysSettings.timeStep). The list is re-sorted by x, so *worldHead may change.
// callBack may be null. Returns 0.
int32_t bz_Phys_Step(BZDObject **worldHead, bzPhysStepCallBack *callBack);

// Adds a body that the dynamics layer creates while a step runs: it is prepared, linked on the
// step list, stamped (with its parent chain) for gathering in the current iteration, put at its
// place in the x-sorted world list and, while a wake is in progress and its mode word is 0,
// pushed on the deferred-wake list. Outside a step nothing happens.
void bz_Phys_AddBody(BZDObject *body);

// For the step call back: sums the published solved values at the given indices; when the sum
// exceeds the limit, sets the force scale to limit / sum, asks the step to scale the solve and
// returns 1; otherwise returns 0. Outside a call back (nothing published) it returns 0.
int32_t SumIndexedScale(float limit, const int32_t *indices, int32_t count);

// The most iterations of one tree in a step.
constexpr int32_t BZ_PHYS_MAX_ITERATIONS = 50;

// Sets the linear velocity of the body and all its descendants to velocity (zero when null),
// with the body-frame copies, and zeroes their angular velocities.
void bz_Phys_SetTreeVelocity(BZDObject *body, const bzV3 *velocity);
// 1 when the body is busy or belongs to the tree being solved (the same nonzero solve group as
// the current root), else 0.
int32_t bz_Phys_IsBusyOrSolving(const BZDObject *body);
// Marks the body and its descendants stuck: stuck byte set, BZ_PHYS_YIELDED and
// BZ_PHYS_YIELD_MARK set.
void bz_Phys_MarkSubtreeStuck(BZDObject *body);

// State shared by the step's own passes (tree records, gathering, tree solve).
// The root whose tree is iterating (null between trees).
BZDObject *bz_Phys_CurrentRoot();
void bz_Phys_SetCurrentRoot(BZDObject *root);
// The installed collision provider (its slots may be empty).
const bzPhysCollisionProvider *bz_Phys_CollisionProvider();
// The head of the world's body list while a step runs (null outside).
BZDObject **bz_Phys_WorldHead();
// The heavy-body switch: raised when a contact met a BZ_PHYS_HEAVY body.
void bz_Phys_SetHeavyContact(int32_t on);
int32_t bz_Phys_HeavyContact();
// The angular-limit-rows switch and the resting-energy reference of the tree being solved
// (negative: none held).
void bz_Phys_SetAngularLimitRowsUsed(int32_t on);
int32_t bz_Phys_AngularLimitRowsUsed();
void bz_Phys_SetRestingEnergy(float reference);
float bz_Phys_RestingEnergy();
// Publishes the solved values of a tree solve to SumIndexedScale (null: nothing published),
// and the scale-requested switch that SumIndexedScale raises.
void bz_Phys_PublishSolved(const float *values, int32_t count);
int32_t bz_Phys_ScaleRequested();
void bz_Phys_ClearScaleRequest();
