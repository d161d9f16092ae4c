// Gathering the contact rows of a ring of bodies for one iteration of the tree solve: world
// contacts through the collision provider, contacts with other bodies found by the broad phase
// (each pair once, filtered by groups, flags and boxes), proximity rows, the pair call backs of
// bodies that ask to be consulted, and the separation of a tree that stays stuck.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

// World and body gathering stop adding rows at this count.
constexpr int32_t BZ_PHYS_GATHER_LIMIT = 56;

// Gathers the contact rows of every body of the ring from root (ring order) into rows, which
// holds count rows (room for BZ_PHYS_CONTACT_ARRAY); then the limit rows of the ring. Returns
// the new count. A body gathers when it is due: not yet gathered in this step, or stamped for
// gathering again (bz_Phys_StampForGathering) since. A body whose rows do not all fit stays due
// and gathers again in the next iteration: one whose contacts ran past BZ_PHYS_GATHER_LIMIT
// here, and the bodies of gathered rows that find no room in the solve, which the solve hands to
// bz_Phys_KeepRowBodiesDue.
int32_t bz_Phys_GatherContacts(BZDObject *world, BZDObject *root, bzPhysRow *rows, int32_t count);

// The bodies of gathered rows that found no room in the solve stay due (their tops are stamped
// for gathering again).
void bz_Phys_KeepRowBodiesDue(const bzPhysRow *rows, int32_t count);

// Stamps the body's top for gathering again in the next iteration.
void bz_Phys_StampForGathering(BZDObject *body);

// Stamps the body's top for gathering again in the next iteration its contacts with other bodies
// alone: its world contacts stand as they were found. A top already due gathers everything, and
// so does one that bz_Phys_StampForGathering stamps before the gathering.
void bz_Phys_StampPairsForGathering(BZDObject *body);

// In the gathering of the next iteration the pair of body and partner is not tested (in either
// order) while the body's top gathers its pairs alone (bz_Phys_StampPairsForGathering and no
// whole stamp since). Pairs past the room for them are tested.
void bz_Phys_SkipPairInGathering(BZDObject *body, BZDObject *partner);

// Consults the body's pair call back about the partner (null: none): a result other than 10 is
// returned unchanged; without a call back, or on 10, the body's top is stamped for gathering,
// its tree record rebuilt with -1.0 when it has children or a world constraint and no record,
// and 10 is returned.
int32_t bz_Phys_CallPairCallBack(BZDObject *body, BZDObject *partner);

// 1 when the two bodies may be tested as a pair (the filter of the step), else 0.
int32_t bz_Phys_PairAllowed(const BZDObject *body, const BZDObject *candidate);

// The fallback of a tree still gathering rows after the last iteration: its contacts are
// gathered once more; a world contact sets its body's stuck byte; between two bodies the
// lighter one (the second on equal masses) gets BZ_PHYS_YIELDED and BZ_PHYS_YIELD_MARK, unless
// the first already carries BZ_PHYS_YIELDED. Rows of kind 32 or with bit 0x40 are passed by.
void bz_Phys_SeparateStuckTree(BZDObject *world, BZDObject *root, bzPhysRow *rows);
