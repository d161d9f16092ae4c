// The broad phase of the physics step: the swept box of each body and the box of each tree,
// the world's root bodies kept in a list sorted by the x of their start-of-step translation,
// the collection of the bodies whose boxes overlap a given tree, and the filter that decides
// whether two bodies may collide at all.
//
// The root list runs through a root's rootList link (previous) and its nextSibling link (next).
// A collection is a chain through the bodies' broadPhase links, which nothing else uses.
#pragma once

#include "maths/Types.h"
#include "physics/Body.h"

#include <cstdint>

// 0 when a's ignore mask meets b's group bits, b's ignore mask meets a's group bits, or either
// carries BZ_PHYS_NO_COLLISION; else 1.
int32_t bz_Phys_BodiesMayCollide(const BZDObject *a, const BZDObject *b);

// Grows box b to enclose box a.
void bz_Box_Enclose(const bzBox *a, bzBox *b);

// The largest forward extent (tree box maximum x less the top's x) and backward extent (tree box
// minimum x less x) met by bz_Phys_ComputeBoxes since the last reset; both 0 after a reset, which
// the step does before it computes the boxes.
void bz_Phys_ResetExtents();
float bz_Phys_ForwardExtent();
float bz_Phys_BackwardExtent();

// The boxes of a body and its subtree. The body box is the union of the form's box placed by the
// start-of-step and by the current transform, grown on every side by 1.5 times the contact
// distance (a body without a form: its two origins); the tree box starts as the body box and
// encloses every child's tree box. With BZ_PHYS_ALT_TREE_BOX the top (parentBox null) takes the
// body box as its alternative tree box, and a body below it adds its body box to parentBox. At
// the top the extents are updated. The list form does the same for each body of a sibling list
// as a top.
void bz_Phys_ComputeBoxes(BZDObject *body, BZDObject *top, bzBox *parentBox);
void bz_Phys_ComputeListBoxes(BZDObject *first);

// Moves a root body to its place in the x-sorted root list after its x changed: back past
// previous roots of larger x, or on past next roots of smaller x; a root of equal x is not
// passed. *head follows when the body becomes, or stops being, the first.
void bz_Phys_ResortRootBody(BZDObject *body, BZDObject **head);

// Collects the candidate partners of the body's tree into the chain at *out and returns the
// address of the chain's last link (out for an empty chain); the last link is null.
// With start a root: the roots near the body in the root list (within the extents of the step's
// boxes), other than the body, whose step stamps overlap the body's and whose tree boxes overlap
// its tree box. With start below a root: each sibling from start that is the body itself (unless
// it carries BZ_PHYS_NO_BODY_CONTACT) or whose tree box overlaps the body's. Then the children of
// every body taken are collected the same way, each generation chained behind the one before.
BZDObject **bz_Phys_CollectNeighbours(BZDObject *body, BZDObject *start, BZDObject **out);

// Reorders the chain at *chainHead so that the bodies whose tree boxes do not overlap the body's
// come first and the body itself and the overlapping ones follow, each part in its old order;
// returns the link at which the second part begins.
BZDObject **bz_Phys_SplitOverlapping(BZDObject *body, BZDObject **chainHead);

// Chains the root and all its descendants, depth first, through their broadPhase links.
void bz_Phys_ChainTree(BZDObject *root);
// Appends to the chain at tail each child of the body without BZ_PHYS_ALT_TREE_BOX, and descends
// into the children of those that carry it; returns the new tail.
BZDObject **bz_Phys_ChainBoxBodies(BZDObject *body, BZDObject **tail);
