// The constraint system matrix: entry (i, j) is the change of row j's relative velocity that a
// unit impulse along row i produces, stored as the packed lower triangle (row i begins at entry
// i (i + 1) / 2 and holds columns 0..i). With no coupled bodies it is J M^-1 J^T.
//
// Impulse convention: an impulse x on a row adds x along nA at rA to bodyA and subtracts x along
// nB at rB from bodyB, each in its own frame. A body's response to a unit impulse is m =
// inverse mass * n and w = inverse moments * (r x n) for a linear row, m = 0 and w = inverse
// moments * n for an angular row. A body with a coupling record has its response corrected and
// gives its partner one (physics/Coupling.h).
//
// While it builds row i the builder stores the uncorrected angular responses wA and wB in the
// row, and for a coupled body the coupling impulses per unit row impulse and the body's sign in
// couplingA / couplingB (zero for an uncoupled body), which the impulse application reuses. A
// one-sided row (type 12) ignores its bodyB both as row and as column. Nothing allocates.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;
struct bzPhysRow;

// Fills packed rows first..n-1 of matrix; rows 0..first-1 must already be built (their entries
// and responses are left as they are).
void bz_Phys_BuildContactMatrix(int32_t first, float *matrix, bzPhysRow *const *rows, int32_t n);
// The same from row 0.
void bz_Phys_BuildWholeMatrix(float *matrix, bzPhysRow *const *rows, int32_t n);
// Stores wB = inverse moments of bodyB * (rB x nB) (angular rows: * nB) in the row and returns
// bodyB's linear response inverse mass * nB (zero for an angular row). The row must have a bodyB.
bzV3 bz_Row_BodyBResponse(bzPhysRow *row);
// Builds packed row i (written from out, i + 1 entries) for an angular row i.
void bz_Phys_AngularMatrixRow(bzPhysRow *const *rows, int32_t i, float *out);
// inverse moments * direction, corrected for the body's coupled joint when it has one.
void bz_Phys_AngularResponse(const bzV3 *direction, const BZDObject *body, bzV3 *out);
// Whether the build works out entries eight columns at a time, where the processor has the wide
// lanes (the default there), rather than four. The entries are the same bit for bit either way;
// tests compare the two. Returns false and keeps to four lanes when the processor lacks them.
bool bz_Phys_MatrixUseWideLanes(bool on);
