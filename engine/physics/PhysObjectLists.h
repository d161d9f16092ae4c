// Small services over bodies that the collision and step code share: flattening a body tree or
// a whole group of trees into one list, making the solver's pending velocities current, kinetic
// energy, the normal speed of contact rows, marking the collision faces that lie below a body's
// level, and debug checks (NaN detection, group-ring corruption, overlap audits) with a text
// dump of a collision group.
//
// A group is a ring of root bodies linked through their ring field; a root whose ring link is
// null is a group of its own. Ring walks stop when they come back to the root they started
// from; a ring that never does (a null link inside it, or a loop that leaves its start out) is
// reported as "Corrupt group" by bz_PhysGroup_CheckRing, and every other walk simply stops
// there. Trees are walked through parent, first child and next sibling; flattened lists are
// linked through flatNext, so nothing here allocates except the dump, which takes its buffer from
// temporary stack 1.
//
// The checks report through bz_Phys_ReportError (physics error 10). Not re-entrant: the level,
// the every-face-below flag and the stored normal speeds are module state, which the world
// collision of the same step reads.
#pragma once

#include "collision/CollisionContact.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

struct BZDObject;
struct bzForm;

// Appends every descendant of the body (its first child, that child's descendants, then the
// child's next sibling and so on) to a flat list through flatNext, starting by writing into
// *slot; returns the last link slot filled, into which null is written (slot itself when the
// body has no children).
BZDObject **bz_PhysObject_AppendDescendants(BZDObject *body, BZDObject **slot);
// One flat list of every body of the sibling chain from first, each followed by its
// descendants; returns its head, null for an empty chain.
BZDObject *bz_PhysObject_FlattenTree(BZDObject *first);
// The same for every root of the group, from the given root once around the ring.
BZDObject *bz_PhysGroup_Flatten(BZDObject *root);

// For each body of the sibling chain from first and all their descendants: the velocities
// take the pending ones and the pending step word is cleared.
void bz_PhysObject_ApplyPendingVelocities(BZDObject *first);

// m |v|^2 + I1 wx^2 + I2 wy^2 + I3 wz^2: twice the kinetic energy.
float bz_PhysObject_KineticEnergy(const BZDObject *body);
// Adds the masses of the body and all its descendants to *mass and returns the sum of their
// kinetic energies; a fixed body (BZ_PHYS_FIXED) adds its mass but no energy of its own, and
// its children are still summed.
float bz_PhysObject_SumEnergy(const BZDObject *body, float *mass);
// The energy of every tree of the group divided by their total mass; 0 when the total mass is
// not positive.
float bz_PhysGroup_MeanEnergy(BZDObject *root);

// -(w x p + velocity change) . n for the row's first body, plus the same for the second body
// when there is one (its own point and normal).
float bz_PhysContact_NormalSpeed(const bzPhysRow *row);
// For the first 10 rows at most, each row whose type lacks BZ_ROW_ANGULAR: stores its normal
// speed at the row's index. Rows not stored keep their earlier values.
void bz_PhysContacts_StoreNormalSpeeds(const bzPhysRow *const *rows, int32_t count);
constexpr int32_t BZ_PHYS_STORED_SPEEDS = 10;
// Stored speed i (0 to 9); 0 outside that range.
float bz_PhysContacts_StoredNormalSpeed(int32_t i);

// Without BZ_PHYS_MARK_BELOW_LEVEL, or with a level offset of exactly 0, the level becomes 0
// and nothing else changes. Otherwise the level becomes level height + level offset, the
// every-face-below flag 1, and each face of the body's face set whose three corners all lie
// strictly below level - bzCollisionTolerance in y gets BZ_FACE_BELOW_LEVEL; any other face
// loses that flag and clears the every-face-below flag. The face set is the one the world
// collision reads (bz_PhysWorld_FaceSet), and the level and flag are the world collision's
// (bz_PhysWorld_Level, bz_PhysWorld_EveryFaceBelow).
void bz_PhysObject_MarkFacesBelowLevel(BZDObject *body);

// The texts of the checks' reports.
#define BZ_PHYS_NAN_TEXT "Nan in physics"
#define BZ_PHYS_CORRUPT_GROUP_TEXT "Corrupt group"
// Roots a group ring may hold before each further one is a "Corrupt group" report.
constexpr int32_t BZ_PHYS_GROUP_RING_LIMIT = 100;

// Sums the floats (four at a time, then the rest); a sum that is not finite reports physics
// error 10 "Nan in physics". Returns 1 when the sum is finite, else 0.
int32_t bz_Phys_CheckSumFinite(const float *values, int32_t count);
// With a body: (velocity change + linear velocity) . angular velocity not finite reports
// physics error 10 "Nan in physics". Returns 1 when finite or no body, else 0.
int32_t bz_PhysObject_CheckFinite(const BZDObject *body);
// Walks the group ring once: every step past the 100th reports physics error 10 "Corrupt
// group". A ring that cannot come back to its root (a null link or a loop that leaves the root
// out) is reported once when that shows and the walk stops. Returns the number of reports.
int32_t bz_PhysGroup_CheckRing(BZDObject *root);

// 1 when A's form at its current placement overlaps B's, or any child of A overlaps B's tree,
// or any child of B overlaps A's tree; else 0.
int32_t bz_PhysObject_TreesOverlap(const BZDObject *a, const BZDObject *b);
// Audits over the flattened tree of a sibling chain: 1 when two of its bodies overlap at their
// start-of-step placements; 1 when two overlap at their current placements but not at their
// start-of-step ones. A pair is passed by when one is the other's parent, when either's group
// mask meets the other's ignore mask, or when either carries BZ_PHYS_NO_COLLISION; an
// overlapping pair of children of a parent with BZ_PHYS_NO_CHILD_AUDIT is not counted.
int32_t bz_PhysGroup_OverlapsAtStart(BZDObject *first);
int32_t bz_PhysGroup_NewOverlaps(BZDObject *first);
// 1 when any two bodies of the flattened group overlap at their current placements (no filter).
int32_t bz_PhysGroup_AnyOverlap(BZDObject *root);

// Debug audits. Each mismatch stops in the debugger when one is attached (its text goes to the
// debug output otherwise); the result is the number of mismatches.
// For each body of the tree of the sibling chain from first whose parent joint locks all three
// positions (linear kind 3): its anchor placed by its start-of-step placement and the parent's
// anchor placed by the parent's must lie within 0.0001 in squared distance.
int32_t bz_PhysObject_CheckJoints(BZDObject *first);
// For each row and each of its bodies: the velocity of the contact point from the body's
// velocities (linear velocity plus angular velocity x point, turned into the world) against the
// finite difference of the point's world positions under the start-of-step and the current
// placement over bzPhysStepLength; they may differ by at most half the finite-difference speed.
// With two bodies the relative velocities are compared the same way.
int32_t bz_PhysContacts_CheckVelocities(int32_t count, const bzPhysRow *const *rows);

// Writes a form's dynamics shape text: with bit 0 of flags set, at most room characters into
// buffer; returns the characters written. The dynamics layer installs its writer.
typedef int32_t (*bzPhysShapeTextWriter)(char *buffer, int32_t room, const bzForm *form,
                                         uint32_t flags);
// Installs the writer (null: the dump writes no shape text).
void bz_PhysGroup_SetShapeTextWriter(bzPhysShapeTextWriter writer);

// The dump's file, its buffer size and the line that ends a dump cut short.
#define BZ_PHYS_DUMP_FILE_NAME "..\\CollisionGroup.txt"
constexpr uint32_t BZ_PHYS_DUMP_BYTES = 102400;
#define BZ_PHYS_DUMP_TRUNCATED "[truncated]\n"
// Writes the group's text dump into a BZ_PHYS_DUMP_BYTES buffer from temporary stack 1 and
// from there into BZ_PHYS_DUMP_FILE_NAME. Per body, every root's tree depth first:
// "[object]\n<shape>\n", the form's shape text, "<start_pos>\n" and four lines "%g,%g,%g\n" of
// the start-of-step placement (three rows, then the translation), "<end_pos>\n" and the same of
// the current placement. A body whose entry does not fit ends the dump: the text stops after the
// last whole entry with BZ_PHYS_DUMP_TRUNCATED, and the file is never longer than the buffer.
// Returns the result of releasing the buffer (0), BZ_ERROR_NO_MEMORY without a buffer, or
// BZ_ERROR_FILE_NOT_FOUND when the file does not open or take the whole text.
int32_t bz_PhysGroup_DumpCollisionGroup(BZDObject *root);

// Debug: gathers the rows among rows[0..count-1] that act on the body (as bodyA or bodyB) into
// a local table of row pointers, in order, builds their packed contact matrix (which also stores
// the rows' angular responses) and factorises it. A body does not reach the step's contact
// array, so the caller hands its rows in. At most BZ_SOLVER_MAX_ROWS rows are taken; further
// ones are left out. Stores the number gathered in *gathered when given and returns the number
// of rows the factorisation retired as dependent (0 with nothing gathered, a null body or
// null rows).
int32_t bz_PhysObject_FactorContacts(const BZDObject *body, bzPhysRow *rows, int32_t count,
                                     int32_t *gathered);
