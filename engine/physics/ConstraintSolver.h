// The constraint force solver: the forces (or impulses) of a set of constraint rows, joint rows
// that may push or pull and pushing rows (contacts, limits, friction) that may only push, from
// the system's symmetric matrix in packed form and a right-hand side.
//
// It is a direct active-set method for the mixed complementarity problem: it keeps the rows
// that carry force in a Cholesky factor and adds or removes one row per iteration, refactoring
// only what changed. Joint rows arrive already factored, one block per jointed tree, and are
// always active. The solution meets every joint row exactly, gives every active pushing row a
// force of at least -0.0001 and leaves every inactive row with a residual of at least -0.001.
//
// Packed symmetric matrix: the lower triangle row after row; element (r, c) with c <= r at
// index r (r + 1) / 2 + c, n (n + 1) / 2 floats.
//
// A row whose pivot is at or below BZ_SOLVER_PIVOT_EPSILON times its diagonal is dependent on
// the rows before it. The packed factorisation retires it: its factor row and column are 0,
// and the packed solve gives it 0. The force solve removes it from the active set (see
// below). Whatever the matrix, every output is finite.
#pragma once

#include <cstdint>

struct bzPhysTreeStep;

// Limits of one force solve: rows in all, rows active at once, pushing rows active at once (the
// frame's solver block), pushing rows (the active-set history mask), factored blocks, iterations.
constexpr int32_t BZ_SOLVER_MAX_ROWS = 256;
constexpr int32_t BZ_SOLVER_MAX_ACTIVE = 152;
constexpr int32_t BZ_SOLVER_MAX_ACTIVE_PUSHING = 60;
constexpr int32_t BZ_SOLVER_MAX_PUSHING = 64;
constexpr int32_t BZ_SOLVER_MAX_BLOCKS = 50;
constexpr int32_t BZ_SOLVER_MAX_ITERATIONS = 50;
// Iterations a solve with a given allowance may take at most (four per pushing row).
constexpr int32_t BZ_SOLVER_MAX_LONG_ITERATIONS = 4 * BZ_SOLVER_MAX_PUSHING;
// Relative size below which a pivot marks a dependent row.
constexpr float BZ_SOLVER_PIVOT_EPSILON = 1e-5f;
// Retirement values the force solve leaves in b: a row removed for dependence whose b was 0,
// and a row that leaned on the joint rows.
constexpr float BZ_SOLVER_RETIRED_ZERO = -10000.0f;
constexpr float BZ_SOLVER_RETIRED_DEPENDENT = -100000.0f;

// In-place Cholesky factorisation of the packed symmetric matrix A of n rows (A = L L^T, L
// stored where A was). Returns the number of rows retired as dependent (0 for a positive
// definite matrix).
int32_t bz_Phys_FactorPackedMatrix(float *A, int32_t n);
// Solves L L^T x = b with the packed factor L: forward substitution from b into x, then back
// substitution in place in x. Retired rows get 0. b and x may be the same array.
void bz_Phys_SolvePackedFactor(int32_t n, const float *L, const float *b, float *x);
// Factors A in place and, when both b and x are given, solves with it. Returns what the
// factorisation returns.
int32_t bz_Phys_FactorAndSolvePacked(float *A, int32_t n, const float *b, float *x);

// Solves for the forces x of n rows with the packed matrix A and right-hand side b; rows
// 0..nb-1 are joint rows, covered in order and exactly by blockCount factored blocks (each a
// tree step record's row count and packed factor), rows nb..n-1 pushing rows.
// inactive (at least n bytes) receives the rows left without force, inactiveCount their
// number. The solver may overwrite entries of b with BZ_SOLVER_RETIRED_ZERO or
// BZ_SOLVER_RETIRED_DEPENDENT to retire rows, and the caller sees them.
// Result: 0 when solved; j + 1 when a pushing row was retired because it leaned on joint row j
// (the last such j); -1 when no solution was found within 50 iterations or within the limits
// above: x then holds the last solution of an active set (its prior contents when there was
// none), or zeros for a call outside the limits, which is also a broken contract.
// A single pushing row that would pull (b / A < 0) gets no force and is left inactive.
// Needs the frame's solver block (bz_PhysMem_Reserve) unless n is 1 or every row is a joint
// row. Allocates nothing.
int32_t bz_Phys_SolveConstraintForces(const float *A, float *b, float *x, int32_t n,
                                      uint8_t *inactive, int32_t *inactiveCount, int32_t nb,
                                      bzPhysTreeStep *const *blocks, int32_t blockCount);
// The same solve with an allowance of iterations (1..BZ_SOLVER_MAX_LONG_ITERATIONS; the call
// above allows BZ_SOLVER_MAX_ITERATIONS) in place of 50; -1 then means that many passed without
// a solution, and an allowance outside that range is a call outside the limits. One pushing row
// enters per iteration, so a solve in which more than 50 rows must carry force cannot finish
// within 50: the rows of a pile of boxes, where 40 to 50 of 60 contact rows push, need 50 to 90.
int32_t bz_Phys_SolveConstraintForcesWithin(int32_t iterations, const float *A, float *b, float *x,
                                            int32_t n, uint8_t *inactive, int32_t *inactiveCount,
                                            int32_t nb, bzPhysTreeStep *const *blocks,
                                            int32_t blockCount);

// The entering-row choice of a solve that has not met its active set before: the first entry of
// the inactive list (inactiveCount rows, each nb + k for a pushing row k) whose residual,
// residual[row - nb], is the lowest below -0.001; -1 when none is below it. The list must hold
// exactly the pushing rows k < pushing whose bit k in active is clear. residual must have room
// for pushing rounded up to four floats: the floats past pushing are set to 0.
int32_t bz_Phys_SolverFirstLowestResidual(float *residual, int32_t pushing, uint64_t active,
                                          const uint8_t *inactive, int32_t inactiveCount,
                                          int32_t nb);

// Whether the force solve sums the residuals of its pushing rows eight lanes at a time, where the
// processor has them (the default there), rather than four. The forces are the same bit for bit
// either way; tests compare the two. Returns false and keeps to four lanes when the processor
// lacks the wider ones.
bool bz_Phys_SolverUseWideLanes(bool on);
