// The world collision of one body: once per body and physics step, the body's form is compared
// with the static world faces of its collision cache at two placements, the new one (the pose
// held in the body record, startTransform) and the previous one (the lump matrix the body's
// transform points at). Sweeps measure their fraction from the new placement (0) back towards
// the previous one (1). Where the shapes' vertices, edges or round surfaces cross or overlap the
// cached faces, at most 4 contact rows are written into the step's contact array.
//
// For each shape of the form the faces worth testing are selected by the shape's swept box
// (bit 0 of a face's flags set = not a candidate for this shape), the shape's vertices are
// placed at both placements in a work record taken from temporary stack 1, and the handler of
// its kind runs: the collision handler (a sweep between the placements), or first the
// intersection handler while the body is known to intersect the world (overlap at the new
// placement). The handlers are in WorldHandlers.h.
//
// The call keeps its state in module values that the handlers read: it is not re-entrant. The
// level gate reads the level and the every-face-below flag, which the below-level marking of the
// faces sets through bz_PhysWorld_SetLevel. Nothing here allocates from the system heap.
#pragma once

#include "collision/CollisionContact.h"
#include "collision/CollisionFace.h"
#include "collision/Hull.h"
#include "maths/Types.h"

#include <cstdint>

struct BZDObject;
struct bzShape;

// The most a body's contacts may start at: its four rows then still fit in the step's 60.
constexpr int32_t BZ_WORLD_START_INDEX_LIMIT = 56;
// Physics errors of the world collision.
constexpr int32_t BZ_WORLD_ERROR_UNPREPARED_KIND = 1;
constexpr int32_t BZ_WORLD_ERROR_NAN = 10;

// The work record of one call, taken from temporary stack 1 with the vertex data behind it.
struct bzShapeWork
{
    bzV3 *newPositions;      // the shape's vertices under the body's pose (world)
    bzV3 *previousPositions; // under the lump matrix (world)
    void *unused;
    uint32_t *marks; // per vertex: 0 still to be tested, 1 accounted for
    bzBox sweptBox;  // in the previous placement's frame
    uint16_t vertexCount;
    uint16_t edgeCount;
    uint16_t cleared;
    const bzHullEdge *edges; // pairs of vertex indices
    uint32_t vertexRoom;     // vertices the record has room for
};

// The world-collision state of the call that runs.
struct bzWorldCollisionState
{
    bzM34 newPlacement;      // the body's pose (body to world)
    bzM34 previousPlacement; // the lump matrix (body to world)
    bzM34 inverseLump;       // world to the previous placement's frame
    bzM34 relative;          // the new placement expressed in the previous placement's frame
    bzM34 worldToBody;       // world to the body's frame at the new placement
    const bzShape *shape;
    BZDObject *body;
    bzCollisionContact *out; // the contact array at the start index
    int32_t count;           // contacts written so far
    int32_t intersectionFound;
    int32_t corner; // face edge or corner under test
    const bzCollisionFace *face;
    bzShapeWork *work;
    bzCollisionFace *faces; // the body's face set
    int32_t faceCount;
    int32_t pushOut; // push-out mode: previous positions under the body's pose
};

// The state of the call that runs (valid only during it).
bzWorldCollisionState &bz_PhysWorld_State();

// The face set of a body: the contiguous faces of its collision cache's gather list, with their
// count; null (count 0) without a cache, a list, or with a list of addresses.
bzCollisionFace *bz_PhysWorld_FaceSet(const BZDObject *body, int32_t *countOut);

// The level and the every-face-below flag of the below-level marking (level 0: none).
void bz_PhysWorld_SetLevel(float level, int32_t everyFaceBelow);
float bz_PhysWorld_Level();
int32_t bz_PhysWorld_EveryFaceBelow();
// Push-out mode, set only by the push-out direction query around its own calls.
void bz_PhysWorld_SetPushOutMode(int32_t on);

// Collides the body with the faces of its face set and writes its contacts from
// contactArray[startIndex] on. Returns the number of contacts to use (0 when none): the run from
// the first contact while they agree (same feature or a key no more than 0.1 above the first,
// and a normal within about 18 degrees of it). 0 and nothing written for a null body, no cache,
// an empty face set, a start index above 56, a body above the level over faces all below it, or
// a pose that is not a number (physics error 10). Updates the body's intersecting byte and, when
// contacts were found, copies the saved angular velocity into the angular velocity.
int32_t bz_PhysWorld_CollideObject(int32_t startIndex, BZDObject *body,
                                   bzCollisionContact *contactArray);

// The length of the run of rows that agree with the first (at least 1 for a count above 0).
int32_t bz_PhysWorld_ConsistentCount(const bzCollisionContact *rows, int32_t count);

// Marks the candidates of the current shape among the faces (bit 0 clear) and returns how many.
int32_t bz_PhysWorld_SelectFaces(const bzShape *shape, bzShapeWork *work, const bzM34 *relative,
                                 BZDObject *body);
// Fills the work record for the shape: vertices at both placements, edges, marks cleared. A kind
// with no vertices to place raises physics error 1 and leaves no vertices.
void bz_PhysWorld_PrepareShape(const bzShape *shape, bzShapeWork *work, BZDObject *body);

// The nearest candidate face that the segment origin + t delta hits, t in [0, 1], with the
// fraction, hit point and normal; null for none. Equal fractions keep the earlier face.
const bzCollisionFace *bz_PhysWorld_NearestFaceHit(const bzV3 *origin, const bzV3 *delta,
                                                   float *fractionOut, bzV3 *pointOut,
                                                   bzV3 *normalOut);
// The same over a face list given explicitly (faces with bit 0 set are skipped).
const bzCollisionFace *bz_PhysWorld_NearestFaceHitAt(const bzCollisionFace *faces, int32_t count,
                                                     const bzV3 *origin, const bzV3 *delta,
                                                     float *fractionOut, bzV3 *pointOut,
                                                     bzV3 *normalOut);

// The body-frame point that the body's motion over the step carries to the world point at the
// step fraction t (clamped to [0, 1]): the inverse of the blend of the two placements.
bzV3 bz_PhysWorld_BodyPointAt(float t, const bzV3 *world);
// Takes a contact row found in the world frame into the body's frame: its point and second
// point at the time of its key, its normal by the pose's rotation.
void bz_PhysWorld_ContactToBody(bzCollisionContact *contact);

// Inserts a contact of the current shape and edge or corner into the current run: point and
// normal in the body's frame. Returns the new count (also kept in the state).
int32_t bz_PhysWorld_AddContact(float key, const bzV3 *point, const bzV3 *normal,
                                uint32_t featureCode, const bzCollisionFace *face,
                                const bzV3 *secondPoint);
// Inserts a prepared contact row: key, point and normal from the row, the feature code given,
// the face under test from the state.
int32_t bz_PhysWorld_InsertRecord(const bzCollisionContact *record, uint32_t featureCode);
