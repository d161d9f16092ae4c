// The contact row: one record that the world and object collision write and the physics
// solver reads, and the insertion of a new contact into a body's short run of rows ordered by
// key.
//
// The physics solver keeps its rows (bzPhysRow of physics/ConstraintRow.h: contacts, joints,
// limits, friction) in this same layout, word for word, and takes these records as its contact
// rows. The type word (word 4) uses one numbering for all:
//   0 to 4   world contacts, by the feature found: 0 an edge against a face edge, 1 a point in
//            or on a face, 2 a point pushed out of a face's solid, 3 a swept round shape against
//            a face, 4 a swept shape against a face edge or corner;
//   5 to 8   pair contacts of the object collision;
//   9        a friction row; 12 a one-sided row; 13 a row with a fixed target velocity;
//   32 / 96  linear / angular joint or limit rows.
// The solver reads the contact types as it means them: type 1 pulls its friction point back,
// type 5 also considers the turn of the second body. Flag bits: 0x80 the row is switched off,
// 0x40 an angular row, 0x01 weakness call backs (only on types 32 and 96, giving 33 and 97).
//
// The body record belongs to the physics; the insertion reads what it needs through a body
// view that the physics installs (bz_PhysContacts_SetBodyView). The collision code's own body
// states (interpenetrating, overlapping, jointed) are bits of the view's collisionFlags word;
// in the physics flags word the bits 0x200, 0x400 and 0x800 mean other things (yielded, yield
// mark, welded), and the view maps its body onto these bits.
//
// Not re-entrant: the feature under test is module state. Nothing here allocates.
#pragma once

#include "collision/CollisionFace.h"
#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// Types of the type word.
enum : uint32_t
{
    BZ_CONTACT_EDGE_FACE_EDGE = 0,
    BZ_CONTACT_POINT_ON_FACE = 1,
    BZ_CONTACT_POINT_PUSHED_OUT = 2,
    BZ_CONTACT_SWEPT_ROUND_ON_FACE = 3,
    BZ_CONTACT_SWEPT_ON_FACE_EDGE = 4,
    BZ_CONTACT_PAIR_FIRST = 5,
    BZ_CONTACT_PAIR_LAST = 8,
};

// 34 words; pointer words are typed fields (their sizes follow the platform).
struct bzCollisionContact
{
    float key;            // 0: sort key; the solver's weight
    BZDObject *body;      // 1: never null
    BZDObject *otherBody; // 2: null for a world contact
    union                 // 3
    {
        const bzCollisionFace *face; // world contacts: the face the contact was found on
        const void *feature;         // pair contacts: the feature
        int32_t sharedRows;          // joint rows: rows that follow and share the anchor
    };
    uint32_t type;        // 4: above
    float value;          // 5: the solver's
    const bzShape *shape; // 6: the body's shape
    union                 // 7
    {
        int32_t corner;            // world contacts: face edge or corner 0, 1 or 2
        const bzShape *otherShape; // pair contacts
    };
    bzV3 point;             // 8-10: relative to the body's centre of mass, body frame
    bzV3 normal;            // 11-13: body frame
    bzV3 response;          // 14-16: the solver's
    bzV3 otherPoint;        // 17-19: a second point
    bzV3 otherNormal;       // 20-22
    bzV3 otherResponse;     // 23-25: the solver's
    float coupling[4];      // 26-29: the solver's
    float otherCoupling[4]; // 30-33: the solver's
};

// The most rows of one body's run, and the key of a free row.
constexpr int32_t BZ_CONTACTS_PER_BODY = 4;
constexpr float BZ_CONTACT_FREE_KEY = 200.0f;
// The physics error code of a key that cannot be ordered, and its text.
constexpr int32_t BZ_CONTACT_ERROR_NAN = 10;
#define BZ_CONTACT_ERROR_NAN_TEXT "Nan in physics(2)-  probably"

// The body states of the view's collisionFlags word.
enum : uint32_t
{
    BZ_BODY_INTERPENETRATING = 0x1,
    BZ_BODY_OVERLAPPING = 0x2,
    BZ_BODY_JOINTED = 0x4, // jointed to another body whose joint record applies
};

// A joint record as the joint filter reads it. Kinds: 2 with an axis, 3 without; -1 no joint.
struct bzContactJointView
{
    int32_t kind;
    bzV3 anchor; // body frame
    bzV3 axis;   // world frame
};

// What the insertion reads of a body.
struct bzContactBodyView
{
    uint32_t collisionFlags;         // BZ_BODY_*
    int32_t noJointFilter;           // non-zero: contacts are never dropped for a joint
    bzV3 centreOfMass;               // body frame
    bzM34 matrix;                    // body to world; its rotation turns normals into the world
    bzBox formBounds;                // the form's box, body frame
    bzContactJointView joint;        // the body's own joint record
    bzContactJointView partnerJoint; // the joint record of the body it is jointed to
};

// Fills the view of a body. Without one installed a body has no joint, no flags and its centre
// of mass at its origin.
typedef void (*bzContactBodyViewFunction)(const BZDObject *body, bzContactBodyView *out);
void bz_PhysContacts_SetBodyView(bzContactBodyViewFunction view);

// Receives the physics error of a key that cannot be ordered (code and text). Without one the
// engine error report is raised with the caption "Physics Error" and "%d) %s".
typedef void (*bzContactErrorReporter)(int32_t code, const char *text);
void bz_PhysContacts_SetErrorReporter(bzContactErrorReporter reporter);
// Raises a physics error of the collision code through that reporter (or the engine report:
// "%d) %s" with a text, "Error = %d" without).
void bz_PhysContacts_ReportError(int32_t code, const char *text);

// The shape and face edge or corner under test, written into every contact inserted until the
// next call (the world collision sets them for each handler it runs).
void bz_PhysContacts_SetFeature(const bzShape *shape, int32_t corner);

// Inserts a contact into the body's run (array: its first row; count: rows in use, 0 to 4) and
// returns the new count. point is in the body frame relative to the body's origin, normal in
// the body frame; secondPoint may be null.
//
// A contact inside the region of the body's joint is dropped; one at nearly the same place as
// a stored row (within 0.0005 squared with a normal less than about 18 degrees apart, or within
// 0.0045 squared with an opposite normal) replaces that row when its key is smaller and is
// dropped otherwise; else it goes in key order, a full run losing its last row. A key that is
// not a number (or not below 200.0) while there is room raises physics error 10 and changes
// nothing.
int32_t bz_PhysContacts_Insert(bzCollisionContact *array, float key, const bzV3 *point,
                               const bzV3 *normal, int32_t count, BZDObject *body,
                               uint32_t featureCode, const bzCollisionFace *face,
                               const bzV3 *secondPoint);
