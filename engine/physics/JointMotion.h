// Moving a jointed tree over one time step: each body is integrated from its start-of-step pose
// and then put back where its joint allows, from the root down to the leaves; a world-jointed
// body is held on its world anchor. Every move starts again from the start-of-step pose, so
// moving a tree twice in one step (once per solve iteration) gives the same place. A welded
// child moves rigidly with its parent and takes its velocities from the parent's change over the
// step. A body held both by a joint to its parent and by a world joint stays on its world anchor,
// and the chain above it is carried along through welded children and 0x402 joints.
#pragma once

#include "physics/Body.h"

#include <cstdint>

// Moves the body and, recursively, its children over dt. applyAngular 0 lets every joint to a
// parent turn freely for this move. An unknown angular kind reports physics error 5 (the linear
// part still applies), an unknown linear kind physics error 8 "Linear joint unknown". The last
// body with a world joint met is stored in *lastWorldJointed (which may be null).
void bz_Phys_MoveJointedBody(BZDObject *body, float dt, BZDObject **lastWorldJointed,
                             int32_t applyAngular);
// Moves a whole tree: its bodies, then the chain from a world-jointed body up to the root is
// shifted so every joint's anchors meet, then the children are re-placed.
void bz_Phys_MoveJointedTree(BZDObject *root, float dt);

// For each child with a joint to its parent, shifts the translation of its start-of-step matrix
// so that the joint's anchors coincide there (the parent's anchor less the child's, both through
// the start-of-step matrices), then does the same below it.
void bz_Phys_AlignStartMatrices(BZDObject *body);
