// The links of body trees: a body's parent, first child and next sibling. Finding the root,
// depth-first walks, linking and unlinking, saving and restoring the records of a whole tree,
// and the marks that tell which trees an iteration of the step touched.
#pragma once

#include "physics/Body.h"

#include <cstdint>

// The root of the body's tree (the body itself without a parent).
BZDObject *bz_Body_Root(BZDObject *body);

// The body after this one in a depth-first walk of the subtree below subtreeRoot: its first
// child, else its next sibling, else the next sibling of its nearest ancestor below the subtree
// root; null at the end. The subtree root's own siblings are never visited.
BZDObject *bz_Body_NextInSubtree(BZDObject *body, BZDObject *subtreeRoot);

// Calls fn(body, user) on the body and then, depth first, on its descendants; returns the first
// nonzero answer, 0 when every call answers 0.
int32_t bz_Body_FindInTree(BZDObject *body, int32_t (*fn)(BZDObject *, void *), void *user);

// Takes the body out of its parent's child list and clears its parent and sibling links. A body
// without a parent is left as it is.
void bz_Body_Unlink(BZDObject *body);
// Makes the body (which must not be linked under a parent) the parent's first child.
void bz_Body_AttachChild(BZDObject *body, BZDObject *parent);
// The body and every sibling after it take the new parent and go in front of its children.
void bz_Body_AttachSiblingsTo(BZDObject *body, BZDObject *parent);

// Copy whole body records to (save) or from (restore) buffer, body by body in depth-first order
// from the body (a body, its subtree, then its next sibling), at most capacity records. Both
// return the capacity left. A restore writes back the records it saved in the same order.
int32_t bz_Body_SaveTree(BZDObject *body, BZDObject *buffer, int32_t capacity);
int32_t bz_Body_RestoreTree(BZDObject *body, const BZDObject *buffer, int32_t capacity);

// Stamps the body's gathering stamp with the step's iteration and climbs through its parents,
// stamping each, until a parent already stamped in this iteration or the root; the last body
// stamped has its contact stamp cleared.
void bz_Body_MarkTree(BZDObject *body);
// Sets the disturbed mark of the body's root.
void bz_Body_MarkRootDisturbed(BZDObject *body);

// Gives the body's coupling record (physics/Coupling.h), when it has one, the partner and the
// state of a new record (0).
void bz_Body_InitCoupling(BZDObject *body, BZDObject *partner);
// out = a and b multiplied component by component (out may be a or b).
void bz_V3_MulComponents(const bzV3 *a, const bzV3 *b, bzV3 *out);
