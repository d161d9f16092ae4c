// The joint record of the dynamics joints, which the dynamics layer owns and the physics reads:
// the fields of a joint between a child body and its parent (or the world), in record order.
// Its first 16-bit word is the joint's kind and also its row-count word (physics/
// ConstraintRow.h, bz_JointRowCount).
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzPhysLimit;

// The weakness record of a joint: its call backs (physics/JointWeakness.h), their thresholds
// (negative: inert) and the impulses its rows accumulated.
struct bzPhysJointWeakness
{
    void *owner;
    void (*linear)();      // linear weakness call back, or null
    float linearThreshold; // of the linear rows (type 33)
    bzV3 linearImpulse;    // accumulated, cleared when the joint's rows are built
    void (*angular)();     // angular (limit) weakness call back, or null
    float angularThreshold;
    bzV3 angularImpulse;
};

struct BZDJoint
{
    uint16_t kind;       // low byte the linear kind (0-3), high byte the angular kind (0-4)
    uint8_t flags;       // BZ_JOINT_AXIS_IN_BODY
    bzPhysLimit *limits; // the joint's chain of limits (physics/JointLimits.h), or null
    bzPhysJointWeakness *weakness;
    bzV3 childAnchor;         // anchor point on the child, child frame
    bzV3 parentAnchor;        // anchor point on the parent, parent frame (a world joint: world)
    bzV3 linearAxis[2];       // first and second linear axes, parent frame
    bzV3 angularAxis[2];      // first and second angular axes, parent frame
    bzV3 parentHingeAxis;     // hinge axis of the parent, parent frame
    bzV3 childHingeAxis;      // hinge axis of the child, child frame
    bzV3 coupledDirection[2]; // a coupled joint's linear direction, child's and parent's frame
};

// Joint flags: a world joint's axes are given in the body's frame, not the world's.
constexpr uint8_t BZ_JOINT_AXIS_IN_BODY = 0x1;

// Kind words with a meaning of their own.
enum : uint16_t
{
    BZ_JOINT_COUPLED = 0x0402, // a coupled joint: solved apart from the rows (no row of its own)
    BZ_JOINT_DEMOTED = 0x0203, // a coupled joint turned ordinary: three linear, two angular rows
};
