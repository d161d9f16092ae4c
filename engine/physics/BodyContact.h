// The two queues through which game code and the dynamics layer push bodies around: a force
// list of one-shot entries, applied once at the next frame update and dropped, and a contact
// list of timed entries, applied every frame until their lifetime runs out or they are
// returned. Both hold the same record; its kind says what it does to the body.
//
// Records and contact-list nodes come from two fixed-size pools made at dynamics start-up
// (bz_Phys_CreateContactPools) and go back to them: adding and returning entries takes nothing
// from the heap unless a pool has to grow. When a pool cannot grow (or the pools do not exist)
// the add operations give null and leave the body unchanged.
//
// A node unlinks itself in constant time through the address of the field that points at it.
// Bodies are reached directly: the dynamics layer passes the body of the element it acts on.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// What an entry does to its body (dt the time passed to the update, m the mass, v and w the
// linear and angular velocity).
enum : uint32_t
{
    BZ_CONTACT_FORCE = 0,            // v += dt / m x vector
    BZ_CONTACT_IMPULSE = 1,          // v += 1 / m x vector
    BZ_CONTACT_FORCE_AT_POINT = 2,   // impulse dt x vector at the point
    BZ_CONTACT_IMPULSE_AT_POINT = 3, // impulse vector at the point
    BZ_CONTACT_ACCELERATION = 4,     // v += dt x vector
    BZ_CONTACT_DAMPING = 5,          // v reduced towards 0 by dt x vector, never past it
    BZ_CONTACT_SET_VELOCITY = 6,     // v = vector
    BZ_CONTACT_ANGULAR_ACCEL = 7,    // w += dt x vector
    BZ_CONTACT_ANGULAR_DAMPING = 8,  // w reduced towards 0 by dt x vector, never past it
    BZ_CONTACT_SET_ANGULAR = 9,      // w = vector
    BZ_CONTACT_KIND_COUNT = 10,
};

// Mechanics flags that make a permanent acceleration or set-velocity contact wake its body.
constexpr uint32_t BZ_MECH_CONTACT_WAKES = 0x2800;
// Mechanics flags of a body that runs the free-body frame update; the low three are the motion
// bits of bz_Body_SetMotion (1 move linear, 2 move angular, 4 sub-steps).
constexpr uint32_t BZ_MECH_FREE_BODY = 0x10007;
constexpr uint32_t BZ_MECH_MOVE_LINEAR = 0x1;
constexpr uint32_t BZ_MECH_MOVE_ANGULAR = 0x2;
constexpr uint32_t BZ_MECH_SUBSTEPS = 0x4;

// The record of both queues.
struct bzPhysContact
{
    uint32_t kind;       // BZ_CONTACT_*
    uint32_t subtree;    // nonzero: also applied to every body below the body
    bzPhysContact *next; // next entry of a force list; kept when a record is copied over
    bzV3 vector;         // force, impulse, acceleration, damping rate or velocity, by kind
    bzV3 point;          // world point of kinds 2 and 3
};

// A node of a body's contact list.
struct bzPhysContactLink
{
    BZDObject *body;
    bzPhysContact *record;
    float lifetime; // seconds left; 0 = until returned
    bzPhysContactLink *next;
    bzPhysContactLink **back; // the field that points at this node
};

// Record and node pools, 64 a block. 0, or BZ_ERROR_NO_MEMORY when a pool cannot be made.
// Creating them while they exist does nothing.
int32_t bz_Phys_CreateContactPools();
// Destroys both pools (every entry of every body goes with them); returns 0.
int32_t bz_Phys_FreeContactPools();
// Entries in use (records of both queues, nodes of contact lists); 0 without pools.
uint32_t bz_Phys_ContactRecordsInUse();
uint32_t bz_Phys_ContactLinksInUse();

// Takes a record and a node, fills kind and subtree flag, links the node at the head of the
// body's contact list and returns it; the caller fills the record's vector and point. The body
// wakes (asleep byte cleared) unless the kind is a damping kind (5 or 8). Null, the body
// unchanged, for a kind past 9, a lifetime that is negative or not finite, or no pool entry.
bzPhysContactLink *bz_Body_AddContact(BZDObject *body, uint32_t kind, float lifetime,
                                      uint32_t subtree);
// Contacts of one kind holding the vector: null, nothing added, for a vector that is not
// finite, else as bz_Body_AddContact.
bzPhysContactLink *bz_Body_AddAngularDampingContact(BZDObject *body, const bzV3 *rate,
                                                    float lifetime, uint32_t subtree);
bzPhysContactLink *bz_Body_AddAngularAccelerationContact(BZDObject *body, const bzV3 *accel,
                                                         float lifetime, uint32_t subtree);
bzPhysContactLink *bz_Body_AddSetAngularVelocityContact(BZDObject *body, const bzV3 *omega,
                                                        float lifetime, uint32_t subtree);
bzPhysContactLink *bz_Body_AddDampingContact(BZDObject *body, const bzV3 *rate, float lifetime,
                                             uint32_t subtree);
bzPhysContactLink *bz_Body_AddForceContact(BZDObject *body, const bzV3 *force, float lifetime,
                                           uint32_t subtree);
// Kinds 4 and 6: a permanent one (lifetime 0) also wakes a body whose mechanics flags carry
// BZ_MECH_CONTACT_WAKES.
bzPhysContactLink *bz_Body_AddAccelerationContact(BZDObject *body, const bzV3 *accel,
                                                  float lifetime, uint32_t subtree);
bzPhysContactLink *bz_Body_AddSetVelocityContact(BZDObject *body, const bzV3 *velocity,
                                                 float lifetime, uint32_t subtree);
// Kind 2, the force and its world point.
bzPhysContactLink *bz_Body_AddForceAtPointContact(BZDObject *body, const bzV3 *force,
                                                  const bzV3 *point, float lifetime,
                                                  uint32_t subtree);
// A node whose record is a copy of the given one (kind, flag, vector, point).
bzPhysContactLink *bz_Body_AddContactCopy(BZDObject *body, const bzPhysContact *record,
                                          float lifetime);
// The names the dynamics layer and the game use: an acceleration contact (kind 4) that keeps
// the given point with it (the point may be null), and the same that always wakes the body.
bzPhysContactLink *bz_Body_AddContactAtPoint(BZDObject *body, const bzV3 *accel, const bzV3 *point,
                                             float lifetime, uint32_t subtree);
bzPhysContactLink *bz_Body_AddContactWake(BZDObject *body, const bzV3 *accel, const bzV3 *point,
                                          float lifetime, uint32_t subtree);
// Sets a contact's vector; a permanent contact on a body whose mechanics flags carry
// BZ_MECH_CONTACT_WAKES wakes it. A vector that is not finite changes nothing.
void bz_Body_SetContactVector(bzPhysContactLink *link, const bzV3 *vector);

// Unlinks the node, returns it and its record to the pools (a special slot that names it is
// cleared) and wakes the body; returns 0.
int32_t bz_Body_ReturnContact(bzPhysContactLink *link, BZDObject *body);
// Returns every node except the three special slots.
void bz_Body_ReturnLooseContacts(BZDObject *body);
// Returns every node and clears the three special slots; returns 0.
int32_t bz_Body_ReturnAllContacts(BZDObject *body);
// Adds to the destination a copy of every contact of the source except the special slots,
// with the same kind, lifetime and flag (stopping, without error, when a pool runs out).
void bz_Body_CopyContacts(BZDObject *destination, const BZDObject *source);
// Returns all contacts, then queues two force entries, set velocity and set angular velocity,
// both zero, with the subtree flag; returns 0.
int32_t bz_Body_ClearContacts(BZDObject *body, uint32_t subtree);

// Takes a record, pushes it at the head of the body's force list and returns it for the caller
// to fill. Null, the body unchanged, for a kind past 9 or no pool entry.
bzPhysContact *bz_Body_AddForce(BZDObject *body, uint32_t kind, uint32_t subtree);
// A force entry of the kind holding the vector (and the point, which may be null); null for a
// vector or point that is not finite.
bzPhysContact *bz_Body_QueueForce(BZDObject *body, uint32_t kind, const bzV3 *vector,
                                  const bzV3 *point, uint32_t subtree);
// A force entry that copies the given record.
bzPhysContact *bz_Body_AddForceCopy(BZDObject *body, const bzPhysContact *record);
// Returns every force entry unapplied.
void bz_Body_FreeForceList(BZDObject *body);
// Returns one record to the record pool (one not on any list).
void bz_Body_ReturnRecord(bzPhysContact *record);

// Applies one record to the body; with siblings, to each following sibling too; with the
// record's subtree flag, to the children and their siblings, recursively. An entry whose vector
// (or point, for kinds 2 and 3) is not finite is skipped.
void bz_Body_ApplyEntry(BZDObject *body, const bzPhysContact *entry, float dt, int32_t siblings);
// Applies and returns each force entry, emptying the list; then the same for the following
// siblings (with siblings) and for the first child's chain.
void bz_Body_ApplyForceList(BZDObject *body, float dt, int32_t siblings);
// Before the frame's physics: the frame-start velocities take the current ones; each contact
// is applied (when the body is awake and its mode word is not 2) and ages by dt, and one whose
// lifetime runs out is returned; then the frame-start fields hold the velocity change of the
// frame. With siblings the following siblings too; then the first child's chain.
void bz_Body_SaveFrameStartState(BZDObject *body, float dt, int32_t siblings);
// The frame update of a free body (mechanics flags carrying any of BZ_MECH_FREE_BODY):
// frame-start state, force list, then unless the body never sleeps bz_Body_SetMotion with the
// motion bits of its mechanics flags.
void bz_Body_FrameUpdate(BZDObject *body, float dt);

// The velocity change of the frame (after bz_Body_SaveFrameStartState), as it is and divided
// by the frame time (zero for a time that is not positive).
void bz_Body_GetFrameVelocityChange(const BZDObject *body, bzV3 *linear, bzV3 *angular);
void bz_Body_GetFrameAcceleration(const BZDObject *body, float dt, bzV3 *linear, bzV3 *angular);
// The same velocity change where the body keeps it (the frame-start fields), for a caller that
// reads it in place.
bzV3 *bz_Body_FrameLinearVelocityChange(BZDObject *body);
bzV3 *bz_Body_FrameAngularVelocityChange(BZDObject *body);
