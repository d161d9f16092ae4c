// The object pair collision: where two moving bodies touch during one physics step, as up to
// four contact rows in ascending time.
//
// Each body moves from its start transform (held in the body) to its end transform (through
// its transform pointer). The shapes of both forms are prepared as points moving through the
// other body's frame; a table by the two shapes' kinds picks the handler of each shape pair
// (PairHandlers.h). Bodies already marked interpenetrating first run the overlap pass, which
// pushes them apart with contacts at time 0.
//
// Contact rows (collision/CollisionContact.h): key the time (0 <= t < 1; 1.01 or 1.05 for a
// touch found at the end of the step; 1.0 for shapes resting on each other at its start; 0 for
// the overlap pass); body and otherBody; shape and
// otherShape; point and otherPoint relative to each body's centre of mass in its own frame;
// normal and otherNormal the same world normal in each body's start frame. The normal points
// from the other body towards the row's body: the direction that body is pushed.
//
// Not re-entrant: one module state serves the call, and its work block comes from temporary
// stack 1 (two lone spheres need none, but a stack without the room refuses them all the same).
// Nothing is taken from the system heap.
#pragma once

#include "collision/CollisionContact.h"
#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// Key of the contacts of shapes found resting on each other at the start of the step (a
// resting contact, not a swept one: it sorts after every contact found during the step).
constexpr float BZ_PHYS_PAIR_TIME_RESTING = 1.0f;

// Type words of pair contacts.
enum : uint32_t
{
    BZ_PHYS_CONTACT_VERTEX_FACE = 5,
    BZ_PHYS_CONTACT_SEGMENT = 6,
    BZ_PHYS_CONTACT_SPHERE = 7,
    BZ_PHYS_CONTACT_SPHERE_POLYHEDRON = 8,
};

// The contact array of one physics step, and the highest start index that still leaves room
// for a pair's four rows.
constexpr int32_t BZ_PHYS_STEP_CONTACTS = 60;
constexpr int32_t BZ_PHYS_PAIR_LAST_START = 56;
// The most points one shape may contribute (its vertices).
constexpr int32_t BZ_PHYS_PAIR_SHAPE_POINTS = BZ_SHAPE_MAX_VERTICES;
// The physics error code of a pair the collision cannot take, and its text.
constexpr int32_t BZ_PHYS_PAIR_ERROR_TOO_LARGE = 1;
#define BZ_PHYS_PAIR_ERROR_TOO_LARGE_TEXT "Form too large for pair collision"

// A prepared point: a shape's point at the start and at the end of the step, both in the other
// body's frame.
struct bzPhysShapePoint
{
    bzV3 start;
    bzV3 end;
};

// The contacts of the pair written at contacts[startIndex] onwards; returns how many (0 to 4).
// The body with the larger inverse mass becomes the first. A start index above 56, bodies
// without forms, or forms whose points do not fit the temporary stack give 0 (the last with a
// physics error).
int32_t bz_PhysObject_CollidePair(int32_t startIndex, BZDObject *bodyA, BZDObject *bodyB,
                                  bzCollisionContact *contacts);

// Adds a contact to the list of at most four in ascending time and returns the new count.
// worldNormal points from body 2 towards body 1; point 1 is in body 1's frame, point 2 in body
// 2's. A later contact than four kept is dropped; a time that cannot be ordered (not a number,
// or not below 2.0) raises physics error 10 and adds nothing.
int32_t bz_PhysColl_AddContact(bzCollisionContact *list, const bzV3 *worldNormal, float time,
                               const bzV3 *point1, const bzV3 *point2, int32_t count,
                               BZDObject *body1, BZDObject *body2, uint32_t tag);

// Outcodes of both point sets against the other body's current shape's box grown by
// 1.5 x bzCollisionTolerance plus the set's radius (bit 0-2 below min x, y, z, bits 3-5 above
// max, each only when both the start and end positions lie beyond). 0 when all points of
// either set lie beyond one face, else 1. The codes are written for the handlers.
int32_t bz_PhysColl_ClipPoints(const bzPhysShapePoint *points1, int32_t count1,
                               const bzPhysShapePoint *points2, int32_t count2, uint8_t *codes1,
                               uint8_t *codes2, float radius1, float radius2);

// Keeps the contacts that do not push the body towards its joint: with d the body's centre of
// mass less its joint's anchor, a row of the body needs d . normal <= 0, a row of the other
// body d . otherNormal >= 0. Kept rows move to the front in order; returns how many.
int32_t bz_PhysObject_FilterJointContacts(const BZDObject *body, bzCollisionContact *contacts,
                                          int32_t count);

// Corner index of an aligned cuboid (x from max when bit 0 is set, y by bit 1, z by bit 2), or
// vertex index of a Polyhedron, WireFrame or Polygon; other kinds leave out unchanged.
void bz_Shape_GetCorner(const bzShape *shape, int32_t index, bzV3 *out);
