// The physics' answer to the collision code's question "what is this body?": the contact
// insertion of the collision area cannot see the body record, so the physics fills its body view
// (flags, centre of mass, placement, form box and joint records) from a BZDObject.
//
// Whoever starts the physics calls bz_Phys_InstallContactBodyView once before the first step
// (the dynamics start-up); until then the insertion sees every body as unjointed, with its centre
// of mass at its origin.
#pragma once

#include "collision/CollisionContact.h"

struct BZDObject;

// Installs bz_Phys_FillContactBodyView as the contact insertion's body view and
// bz_Phys_ReportError as its error reporter, so that its physics errors reach the physics error
// hook.
void bz_Phys_InstallContactBodyView();

// The view of a body:
// - collisionFlags: the body's collisionState; noJointFilter: bit 0 of its second flags;
// - centreOfMass; matrix: the body's current transform (its start transform while it has none);
// - formBounds: its form's box, an empty box at the origin without a form;
// - joint: from the body's joint to its parent. Linear kind 3 with angular kind 0 (a ball joint)
//   is kind 3 at the child's anchor; linear kind 3 with angular kind 2 (a hinge, one free axis)
//   is kind 2 at the child's anchor with the child's hinge axis turned into the world by the
//   matrix; any other joint, or none, is kind -1;
// - partnerJoint: the joint through which the body is jointed to another body when it has no
//   joint of its own, i.e. the joint of its first child that has one, read from this body's side
//   (the parent's anchor, the parent's hinge axis turned into the world); kind -1 without one.
void bz_Phys_FillContactBodyView(const BZDObject *body, bzContactBodyView *out);
