// Delayed bounce: the impulses a contact carried in a step are summed in a bounce record kept by
// one of its bodies; at the start of the next step a part of them given by the restitution of
// the two substances is applied again, once it exceeds a threshold that keeps resting contacts
// from bouncing.
//
// A record names its two bodies through their owners (the owner record's second pointer-sized
// word names the body, null once the body is gone). A body keeps at most 10 records, in an array
// taken from the heap on its first record. When a body is destroyed, bz_Phys_ForgetBounceRecords
// must run: it drops the body's records and every record that names it as a partner, so that no
// record keeps a stale body.
#pragma once

#include "physics/ConstraintRow.h"

#include <cstdint>

constexpr int32_t BZ_BOUNCE_RECORDS_PER_BODY = 10;

struct bzPhysBounce
{
    void *ownerA;
    void *ownerB; // null for the world
    float threshold;
    float restitution;
    uint32_t substanceA;
    uint32_t substanceB;
    bzV3 sum;     // linear impulses of this step, world frame
    bzV3 pending; // carried from the last step
    bzV3 angularSumA;
    bzV3 angularPendingA;
    bzV3 angularSumB;
    bzV3 angularPendingB;
};

// Adds impulse x of the row between bodyA and bodyB (null: the world) to the pair's record,
// made when the pair has none and the owner keeps fewer than 10. A new record's threshold is
// 1.5 times the impulse of the bodies' frame-start velocities (the velocity change of the
// frame, which the dynamics layer's frame update leaves there): contacts that only hold a body
// against the frame's forces never bounce. Returns 0 (nothing recorded)
// when the pair's restitution is not above 0, else 1.
int32_t bz_Phys_RecordBounce(BZDObject *bodyA, BZDObject *bodyB, const bzPhysRow *row, float x);
// Applies the records of a sibling list and their subtrees (nothing when no record exists and
// the first body has no parent).
void bz_Phys_ApplyBounceRecordsInList(BZDObject *first);
// Applies and ages the records of one body; records of bodies that are gone are dropped.
void bz_Body_ApplyBounceRecords(BZDObject *body);
// Passes a velocity change of a body (linear dv, angular dw, world) on to its welded children,
// rigidly about the root's centre of mass.
void bz_Body_PropagateVelocityChange(BZDObject *root, BZDObject *body, const bzV3 *dv,
                                     const bzV3 *dw);
// Drops the body's records (and frees their array) and every record of the list's bodies and
// their subtrees that names the body.
void bz_Phys_ForgetBounceRecords(BZDObject *body, BZDObject *world);
// 1 while records may exist.
int32_t bz_Phys_BounceRecordsExist();
