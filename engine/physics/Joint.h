// The joint record of the dynamics joints, which the dynamics layer owns and the physics reads:
// the fields of a joint between a child body and its parent (or the world), in record order.
// Its first 16-bit word is the joint's kind and also its row-count word (physics/
// ConstraintRow.h, bz_JointRowCount).
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzPhysLimit;

struct BZDJoint
{
    uint16_t kind;        // low byte the linear kind (0-3), high byte the angular kind (0-4)
    bzPhysLimit *limits;  // the joint's chain of limits (physics/JointLimits.h), or null
    bzV3 childAnchor;     // anchor point on the child, child frame
    bzV3 parentAnchor;    // anchor point on the parent, parent frame (a world joint: world)
    bzV3 linearAxis[2];   // first and second linear axes, parent frame
    bzV3 parentHingeAxis; // hinge axis of the parent, parent frame
    bzV3 childHingeAxis;  // hinge axis of the child, child frame
};

// Kind words with a meaning of their own.
enum : uint16_t
{
    BZ_JOINT_COUPLED = 0x0402, // a coupled joint: solved apart from the rows (no row of its own)
    BZ_JOINT_DEMOTED = 0x0203, // a coupled joint turned ordinary: three linear, two angular rows
};
