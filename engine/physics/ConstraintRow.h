// Constraint rows and row sets: the one record every constraint of a tree solve is written as
// (a contact, one axis of a joint, a joint limit, a friction direction), its type codes, and
// the operations that assemble the rows of one solve: merging newly found contact rows into the
// set, gathering the joint rows of the bodies solved together, pinning rows against immovable
// bodies and moving rows of welded bodies onto the body they are welded to for the length of a
// solve.
//
// Vectors of a row are in the frame of the body they belong to (its start-of-step frame) and
// relative to that body's centre of mass. Rows lie in arrays of whole rows; the matrix builder
// and the solver address them through arrays of row pointers.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;
struct BZDJoint;
struct bzShape;
struct bzPhysTreeStep;

struct bzPhysRow
{
    // Contact rows: the contact's weight. Limit rows: the fraction of the step at which the
    // limit was reached. In the world-contact list after the solve: the row's impulse.
    float weight;
    BZDObject *bodyA; // never null
    BZDObject *bodyB; // null: the world
    union
    {
        int32_t sharedRows; // joint rows: rows that follow and share this row's anchor (2, 1, 0)
        void *surface;      // world contact rows: the world surface record that was hit
        float budget;       // friction rows with a bodyB: the friction budget
    } link;
    uint32_t type; // BZ_ROW_* code and flags
    float value;   // type 13: target velocity; limit rows: how far the limit is passed; after
                   // the solve the row's impulse
    bzShape *shapeA;
    bzShape *shapeB;
    bzV3 rA; // point of action, bodyA's frame, relative to its centre of mass
    bzV3 nA; // unit direction (angular rows: the axis), bodyA's frame
    bzV3 wA; // bodyA's angular response, filled by the matrix builder
    bzV3 rB; // rows without bodyB: the velocity of bodyA's contact point (x: friction budget)
    bzV3 nB;
    bzV3 wB;
    float couplingA[4]; // bodyA's coupling impulses per unit row impulse and the coupling sign
    float couplingB[4]; // the same for bodyB
};

// Type codes and flags of a row's type word.
enum : uint32_t
{
    BZ_ROW_OFF = 0x80,      // switched off: skipped by every pass, never merged
    BZ_ROW_ANGULAR = 0x40,  // acts on rotation only; its direction is an axis
    BZ_ROW_WEAKNESS = 0x01, // carries weakness call backs
    BZ_ROW_CONTACT_PULLED = 1,
    BZ_ROW_CONTACT_TURN = 5,
    BZ_ROW_FRICTION = 9,
    BZ_ROW_ONE_SIDED = 12, // bodyB is ignored by the matrix, the targets and the impulses
    BZ_ROW_TARGET = 13,    // fixed target velocity in value
    BZ_ROW_LINEAR_JOINT = 32,
    BZ_ROW_LINEAR_JOINT_WEAK = 33,
    BZ_ROW_ANGULAR_JOINT = 96,
    BZ_ROW_ANGULAR_JOINT_WEAK = 97,
};

// Silent caps of a row set.
constexpr int32_t BZ_ROW_MERGE_LIMIT = 60;
constexpr int32_t BZ_ROW_JOINT_GATHER_LIMIT = 128;
// A friction row is merged only while its budget is above this.
constexpr float BZ_ROW_FRICTION_MIN_BUDGET = 1.1920929e-7f;

// Rows of a joint from its row-count word: low byte (linear rows) + high byte (angular rows);
// a high byte of 4 marks a coupled joint and adds no row.
int32_t bz_JointRowCount(uint16_t rowCountWord);

// Appends candidates (a contiguous array) to rows, which holds count rows, and returns the new
// count. Stops when the set holds 60 rows. Skips switched-off candidates, friction rows whose
// budget is at most BZ_ROW_FRICTION_MIN_BUDGET, and joint-type candidates (32 or 96) that
// oppose a row of the same type between the same bodies (normals' dot below -0.995).
int32_t bz_Phys_MergeContactRows(bzPhysRow *rows, int32_t count, const bzPhysRow *candidates,
                                 int32_t candidateCount);
// The variant for a reduced solve: only type-96 candidates without bodyB; a candidate is a
// duplicate of a row of type 96 between the same bodies when the normals' dot is below 0.
int32_t bz_Phys_MergeWorldContactRows(bzPhysRow *rows, int32_t count, const bzPhysRow *candidates,
                                      int32_t candidateCount);
// Walks the ring of bodies solved together from first: every body with a tree step record adds
// the record to records and pointers to its joint rows to rowPointers, until taking a body would
// bring the rows past 128 (that body and the rest of the ring are left out). Returns the number
// of row pointers written; recordCount receives the number of records.
int32_t bz_Phys_GatherJointRows(BZDObject *first, bzPhysTreeStep **records, int32_t *recordCount,
                                bzPhysRow **rowPointers);
// Rewrites rows against immovable bodies (BZ_PHYS_HEAVY) as one-sided rows on the other body.
void bz_Phys_PinHeavyBodies(bzPhysRow *rows, int32_t count);
// Moves rows of welded bodies onto their representatives for the length of a solve, keeping a
// copy on temporary stack 1. Nothing happens unless the step's welded-rows switch is set; when
// the copy cannot be had, the rows are left as they are and the matching restore does nothing.
void bz_Phys_MoveWeldedRows(int32_t count, bzPhysRow **rows);
// Copies words 0-13 and 17-22 of every row that is not switched off back from the saved copy
// and gives the copy back. Must pair with bz_Phys_MoveWeldedRows.
void bz_Phys_RestoreWeldedRows(int32_t count, bzPhysRow **rows);
// The step's welded-rows switch: raised while bodies are prepared when one has welded
// children, cleared at the start of each step.
void bz_Phys_SetWeldedRows(int32_t on);
int32_t bz_Phys_WeldedRows();

// The joint record holding the row's weakness call backs: the world joint without bodyB, the
// joint to the parent when bodyB is bodyA's representative, else bodyA's second joint.
BZDJoint *bz_Row_JointRecord(const bzPhysRow *row);
// The shape's substance id, or the body's default substance without a shape or id.
int32_t bz_Phys_ShapeSubstance(const bzShape *shape, const BZDObject *body);
// The substance slot of the surface a world contact row was found on. The row's surface is the
// world surface record that was hit, a face in the collision face layout; its material is a
// record whose second word is the substance slot. A row without a surface, or a surface without
// a material, is on DEFAULT (0).
uint32_t bz_Phys_RowSurfaceSubstance(const bzPhysRow *row);
