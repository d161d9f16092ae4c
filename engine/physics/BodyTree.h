// Operations over trees of bodies (a body, its next siblings, first children and parents):
// scaling and restoring their velocities, stamping a chain for gathering, re-orthonormalising,
// putting a tree to sleep, moving a free tree, and the small geometric helpers of the step.
//
// Every walk follows the tree links of the bodies; trees are acyclic by construction of the
// dynamics layer.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// Multiplies the linear velocity, its body-frame copy and the angular velocity of the body and
// all its descendants by factor, and stamps each body's chain (bz_Phys_StampChain).
void bz_Phys_ScaleTreeVelocities(BZDObject *body, float factor);
// From the body up through its parents: each body's step stamp takes the step's iteration
// counter and its companion counter is cleared; stops at the first body already stamped with
// the current value.
void bz_Phys_StampChain(BZDObject *body);
// For each body of a solve-group ring (the circular list through the ring links, from first),
// the angular velocity takes back the previous step's value, and so does every body of its
// children's subtrees.
void bz_Phys_RestoreRingAngularVelocity(BZDObject *first);
// Each body of the tree (the body and its descendants) whose mode is not 2 has its rotation
// re-orthonormalised; translations are kept. The list form does the same for each sibling.
void bz_Phys_OrthonormaliseTree(BZDObject *body);
void bz_Phys_OrthonormaliseList(BZDObject *first);
// Puts a sibling list and all their subtrees to sleep: each body runs its sleep links, its
// asleep byte is set, both velocities are zeroed and the quiet byte cleared.
void bz_Phys_SleepTree(BZDObject *first);
// 1 when all twelve floats of the two transforms are equal.
int32_t bz_Phys_MatricesEqual(const bzM34 *a, const bzM34 *b);
// The parameter at which a point starting at p - d and moving along d leaves the sphere
// (dims 3), circle (dims 2, x and y) or interval (dims 1, x) of squared radius r2 about the
// origin. 0 for a point that starts outside or other dims; 1 for a motion too small to measure.
float bz_Phys_TimeToDistance(int32_t dims, const bzV3 *p, const bzV3 *d, float r2);
// Turns an awake body about its centre of mass in world space by its previous angular velocity
// (body frame) times dt; nothing below 0.0001 radians.
void bz_Phys_RotateAboutCentre(BZDObject *body, float dt);
// Translation += dt x linear velocity and bz_Phys_RotateAboutCentre, for the body and each of
// its descendants. The list form does the same for each sibling.
void bz_Phys_MoveTreeFree(BZDObject *body, float dt);
void bz_Phys_MoveListFree(BZDObject *first, float dt);
// The same with the previous angular velocity taken as fixed in world space: each body turns
// about that world axis through its centre of mass by |w| dt (nothing below 0.0001 radians, or
// while asleep), after its translation += dt x linear velocity; then its descendants.
void bz_Phys_MoveTreeFreeWorldSpin(BZDObject *body, float dt);

// Calls fn(body, user) on each descendant of the body (children and their subtrees, depth
// first) until one returns nonzero, and returns that value; 0 when none does.
int32_t bz_Phys_WalkDescendants(BZDObject *body, int32_t (*fn)(BZDObject *, void *), void *user);
// Carries the descendants rigidly along with the body: each descendant's current transform
// becomes its start-of-step one moved by the body's motion since the body's start-of-step copy
// (that copy's inverse, then the current transform; transforms are taken as rigid); then every
// body's start-of-step copy takes its current transform. A body without a current transform
// pointer moves its start-of-step copy alone.
void bz_Phys_CarryDescendants(BZDObject *body);
