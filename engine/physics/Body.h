// The dynamics object of a lump, which the physics calls a body: the record the dynamics
// controller owns and the physics reads and writes, field by field in the order of the record,
// under the names every part of the physics uses.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzForm;
struct bzDynCollisionCache;
struct bzPhysContact;
struct bzPhysContactLink;
struct bzPhysTreeStep;
struct BZDJoint;
struct BZDObject;

// A call back of the physics; each caller casts it to the form its part gives it.
typedef void (*bzPhysCallBack)();
// The sliding call back: own owner, other owner or null, world surface or null, friction impulse,
// slip speed, normal impulse, direction, own contact point, the other's contact point or null.
typedef void (*bzPhysSlidingCallBack)(void *owner, void *otherOwner, void *surface,
                                      float frictionImpulse, float slipSpeed, float normalImpulse,
                                      const bzV3 *direction, const bzV3 *point,
                                      const bzV3 *otherPoint);

// Mechanics flags of a body.
enum : uint32_t
{
    BZ_MECH_NEVER_SLEEP = 0x800,
};
// Parameter-set mask bits.
enum : uint32_t
{
    BZ_BODY_FLOOR_VELOCITY = 0x2000, // a floor velocity is present
    BZ_BODY_CAR_STEPPED = 0x10000,   // set by the car step
};
// The world-constraint kind the world collision skips unless bit 0 of the second flags is set.
constexpr uint16_t BZ_PHYS_SPECIAL_CONSTRAINT = 0x303;
// Sleep byte: the body is quiet.
constexpr uint8_t BZ_PHYS_SLEEP_QUIET = 0x2;

struct BZDObject
{
    void *owner; // the element or lump passed to every call back
    float mass;
    float density;
    bzForm *form;
    bzV3 linearVelocity;       // world frame
    bzV3 angularVelocity;      // body frame
    bzV3 savedAngularVelocity; // the value at the start of the step's current pass
    bzV3 centreOfMass;         // body frame
    bzV3 worldCentreOfMass;
    bzV3 principalMoments;
    float inertiaScale; // 1.0
    bzM34 startTransform;
    bzM34 *transform; // the lump's current transform
    uint32_t mechanicsFlags;
    uint32_t collisionMask; // changed-attribute bits are ORed in
    uint32_t parameterMask;
    int32_t substance;              // default substance slot
    bzPhysContact *forceList;       // one-shot entries (physics/BodyContact.h)
    bzPhysContactLink *contactList; // timed entries (physics/BodyContact.h)
    bzV3 frameStartLinearVelocity;
    bzV3 frameStartAngularVelocity;
    bzPhysContactLink *specialContacts[3]; // kept by the game; spared by loose-contact removal
    float contactSpeedScale;               // 1.0 at preparation
    uint16_t gatherStamp;  // iteration at which the body was last stamped for gathering
    uint16_t contactStamp; // iteration of its last body-contact gathering
    float proximityRadius; // 0 = none
    uint8_t asleep;
    uint8_t stuck; // stuck on the world
    uint8_t busy;
    uint32_t mode; // 0, 1 or 2 (BZ_PHYS_MODE_PAIR_CALLBACK)
    bzV3 slideOrigin;
    bzBox bodyBox;
    bzBox treeBox;
    bzBox altTreeBox;
    bzBox localBounds;
    float radius;
    float radiusSquared;
    bzDynCollisionCache *collisionCache;
    // What the collision code keeps on the body.
    uint32_t collisionState;   // BZ_BODY_* of collision/CollisionContact.h
    uint8_t worldIntersecting; // the last world collision found the body inside the world
    bzV3 floorVelocity[2];
    float verticalGravity; // read by the car's down force
    BZDJoint *parentJoint; // kind byte 2 or 4: one free axis
    BZDJoint *worldJoint;
    uint16_t worldConstraintKind;
    BZDObject *secondPartner;
    BZDJoint *secondJoint;
    bzV3 worldAnchor;
    void *jointRows;
    uint8_t jointRowCount;
    bzPhysCallBack postSolveCallBack;
    bzPhysCallBack pairCallBack;
    bzPhysCallBack worldContactCallBack;
    bzPhysSlidingCallBack slidingCallBack;
    uint32_t physicsFlags; // BZ_PHYS_* (physics/PhysSettings.h)
    uint32_t secondFlags;
    uint32_t groupMask;
    uint32_t ignoreMask;

    // What the object lists and checks of the collision step keep on the body
    // (physics/PhysObjectLists.h).
    bzV3 pendingLinearVelocity;  // the solver's result, made current after the solve
    bzV3 pendingAngularVelocity; // body frame
    uint32_t pendingStepWord;    // cleared when the pending velocities are made current
    bzV3 velocityChange;         // the solver's velocity change at the contact points
    BZDObject *flatNext;         // link of a flattened body list
    float levelHeight;           // with levelOffset, the level below which faces are marked
    float levelOffset;           // 0: no level

    bzV3 localLinearVelocity; // body frame
    bzM34 weldTransform;      // a welded body relative to its parent
    bzV3 weldAngularOffset;   // angular-velocity offset of a welded child
    bzV3 stepLinearVelocity;  // copies taken when the body is prepared for the step
    bzV3 stepAngularVelocity;
    bzV3 inversePrincipalMoments;
    float inverseMass;
    int32_t restCounter;
    float previousSpeedSquared[2];
    uint32_t countWord;
    uint8_t quiet;
    uint8_t sleep; // BZ_PHYS_SLEEP_QUIET
    uint8_t wasAsleep;
    uint8_t contactKind; // BZ_PHYS_CONTACT_* of the last solve
    uint8_t savedContactKind;
    uint8_t disturbed;
    uint8_t excluded;
    uint8_t solveGroup; // 0 = not yet taken into a solve in this step
    uint8_t regathered; // times its contacts were gathered again in this step (bounded)
    BZDObject *ring;    // circular list of bodies solved together
    BZDObject *nextSibling;
    BZDObject *firstChild;
    BZDObject *parent;
    BZDObject *top; // represents a welded group
    BZDObject *rootList;
    BZDObject *broadPhase;
    BZDObject *deferredWake; // the deferred-wake list's link, apart from the broad phase's
    BZDObject *stepList;
    void *coupling;
    bzPhysTreeStep *treeStep;
    int32_t bounceCount;
    void *bounces;
    uint32_t attributeMask;
    // What the object pair collision keeps on the body.
    BZDObject *linkPartner; // the body the overlap pass last linked it to, or null
};

// Sets the body's radius and squared radius from its form's box: on each axis the corner
// coordinate with the larger square. A body without a form is left unchanged.
void bz_Phys_SetBoundingRadius(BZDObject *body);

// The physics' special body: a fixed body (inverse mass and moments 0, identity transforms)
// that stands for the world where a partner body is needed, with its solve-group byte; a
// dynamic-object pool never takes it back.
extern BZDObject bzgPhysSpecialBody;
// Puts the special body back to its fixed starting state.
void bz_Phys_ResetSpecialBody();
