// Joint limits and the limit weakness call back. Each iteration of the step, after the contacts
// are gathered, every limit of every body of the ring being solved is checked and one pushing
// row is added for each limit the bodies crossed during the step. After the solve a limit's
// weakness call back is asked about any limit row whose force passed its threshold: leave it,
// cap the whole solution so the row carries exactly the threshold, or cap it and have the
// tree's joint rows rebuilt.
//
// Kinds checked: the cone, the slide range and the tether (two bodies and world), the twist (two
// bodies; on a world joint it adds no row), and for world joints the slide from the anchor and
// the world box.
//
// The twist (kind 2) holds the turn of the body about an axis against its partner's:
// vectors[0] is the axis in the body's frame, vectors[1] the same axis in the partner's frame,
// value1 the cosine of the largest twist either way. Each frame measures the twist by a
// reference across its axis: the frame's unit axis least aligned with the axis (x before y
// before z on a tie) made perpendicular to it. The body's reference is carried onto the
// partner's axis by the shortest rotation between the two axes, and the twist is the angle from
// it to the partner's reference; so a pure swing of the axis twists nothing, and two frames
// whose local axes and references agree are untwisted where they coincide.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

struct bzPhysLimit;

// The weakness call back: (ownerA, ownerB or null, limit, threshold, force) answers
// BZ_PHYS_CB_NOTHING (leave it), BZ_PHYS_CB_DEFAULT (cap) or BZ_PHYS_CB_BROKE (cap and rebuild
// the tree's joint rows).
typedef int32_t (*bzPhysLimitWeakness)(void *ownerA, void *ownerB, bzPhysLimit *limit,
                                       float threshold, float force);
// Called when the limit is hit: (owner, null, limit, side); side 0 for a cone, 1 for the lower
// and 2 for the upper end of a slide range.
typedef void (*bzPhysLimitHit)(void *owner, void *unused, bzPhysLimit *limit, int32_t side);

enum : uint32_t
{
    BZ_LIMIT_NONE = 0,
    BZ_LIMIT_CONE = 1,
    BZ_LIMIT_TWIST = 2,
    BZ_LIMIT_SLIDE_RANGE = 11,
    BZ_LIMIT_WORLD_BOX = 13,
    BZ_LIMIT_TETHER = 14,
    BZ_LIMIT_SLIDE_FROM_ANCHOR = 15,
};

struct bzPhysLimit
{
    uint32_t kind;
    bzPhysLimit *next; // the next limit of the same joint
    float value1; // cone, twist: cosine of the half angle; slide: upper offset; tether: distance
    float value2; // slide: lower offset; tether: the squared distance
    bzPhysLimitWeakness weakness;
    bzPhysLimitHit onLimit;
    bzV3 vectors[2]; // cone: the body's axis and the limit axis; twist: the axis in the body's
                     // and in the partner's frame; box: lower and upper corner;
                     // tether: body point and world point; slide range: [1] the slide axis;
                     // slide from the anchor: [0] the slide axis
    float threshold; // force threshold of the weakness call back
};

// Adds the rows of the limits crossed by the bodies of the ring from first (and their subtrees)
// to rows, which holds count rows and room for capacity; returns the new count. A body with
// BZ_PHYS_NO_LIMITS is passed by.
int32_t bz_Phys_DetectLimits(BZDObject *first, bzPhysRow *rows, int32_t count, int32_t capacity);
// The limits of one body: its joint to its parent (unless welded), its second joint and its
// world joint, each chain in order, while the count is below the capacity.
int32_t bz_Phys_DetectBodyLimits(BZDObject *body, bzPhysRow *rows, int32_t count, int32_t capacity);
// One limit of a joint between the body and its partner (null: the world joint). A limit of an
// unknown kind reports physics error 8 once (one mark for joint limits, one for world limits)
// and adds no row. Returns the new count.
int32_t bz_Phys_DetectJointLimit(BZDObject *body, BZDObject *partner, BZDJoint *joint,
                                 bzPhysLimit *limit, bzPhysRow *rows, int32_t count);

// 1 when the twist of frame a against frame b about the axes (axisA in a's frame, axisB in b's;
// need not be unit) is beyond the limit: the cosine of the twist below cosineLimit. Axes less than
// 0.99 from opposite are aligned through their bisector; nearly opposite ones through a's
// reference, which gives a defined answer.
int32_t bz_Phys_TwistBeyond(const bzM34 *a, const bzM34 *b, const bzV3 *axisA, const bzV3 *axisB,
                            float cosineLimit);

// After a solve: each limit row with a weakness call back (types 97 and 33) whose force
// forces[first + i] passes its threshold (strictly) is put to the call back; a cap scales
// forces[0..first + rowCount - 1] by threshold / force. Returns 1 when it capped, else 0.
int32_t bz_Phys_LimitWeakness(float *forces, bzPhysRow *const *rows, int32_t rowCount,
                              int32_t first);

// Set when a limit with a weakness call back was checked or examined; the tree solve runs the
// weakness pass only while it is set.
int32_t bz_Phys_LimitWeaknessSeen();
// Clears the switch and the once-only error marks.
void bz_Phys_ResetLimits();
