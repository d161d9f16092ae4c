// The packed Cholesky factorisation and solve, and the active-set force solve over them.
#include "physics/ConstraintSolver.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "physics/PhysMemory.h"
#include "physics/TreeStep.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
constexpr float kNegativeForce = -0.0001f;
constexpr float kNegativeResidual = -0.001f;
constexpr float kDependenceRatio = 100000.0f;
constexpr float kOneRowMinimum = 0.000001f;
// Smallest share of an active row in a dependent newest row that the exchange of force counts.
constexpr float kDependentShare = 0.0001f;
constexpr int32_t kRowStride = BZ_SOLVER_MAX_ACTIVE; // floats in one dense factor row

// The pushing rows' entries of the matrix by column: element (r, c) for a pushing row r at
// c * (n - nb) + (r - nb). Residuals of every pushing row then sum one column at a time over
// contiguous floats. Made on the first residual pass of a solve; the solve never runs inside
// another.
float gPushColumns[BZ_SOLVER_MAX_ROWS * BZ_SOLVER_MAX_PUSHING];

inline int32_t Tri(int32_t r)
{
    return r * (r + 1) / 2;
}

// Element (r, c) of a packed symmetric matrix, either side of the diagonal.
inline float Packed(const float *A, int32_t r, int32_t c)
{
    return r >= c ? A[Tri(r) + c] : A[Tri(c) + r];
}

// Inner product of count floats, four at a time with a tail.
float Dot(const float *a, const float *b, int32_t count)
{
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    int32_t k = 0;
    for (; k + 4 <= count; k += 4)
    {
        s0 += a[k] * b[k];
        s1 += a[k + 1] * b[k + 1];
        s2 += a[k + 2] * b[k + 2];
        s3 += a[k + 3] * b[k + 3];
    }
    for (; k < count; ++k)
        s0 += a[k] * b[k];
    return (s0 + s1) + (s2 + s3);
}

// Dot(a, b, count) when every term outside the set bits of m (all below count) is a zero product:
// the same products go to the same of the four sums in the same order. A skipped term is +0 or
// -0, and adding it leaves a sum as it is (a sum that starts at +0 never becomes -0).
inline float SparseDot(const float *a, const float *b, uint64_t m, int32_t count)
{
    const int32_t tail = count & ~3; // terms from here on go to the first sum
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (; m != 0; m &= m - 1)
    {
        const int32_t k = __builtin_ctzll(m);
        sum[k < tail ? (k & 3) : 0] += a[k] * b[k];
    }
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

// The bits of x without its sign: 0 exactly when x == 0.
inline uint32_t Magnitude(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits << 1;
}

// The bits below bit k.
inline uint64_t BitsBelow(int32_t k)
{
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

// Four floats side by side; each lane's arithmetic is that of a single float.
typedef float Lanes __attribute__((vector_size(16)));

// A quotient over a pivot; a retired row (pivot not positive) gives 0.
inline float OverPivot(float s, float pivot)
{
    return pivot > 0.0f ? s / pivot : 0.0f;
}

// True when the pivot's square s is too small against the row's diagonal: the row depends on
// the rows before it (or the matrix is not positive there).
inline bool PivotFails(float s, float diagonal)
{
    return !(s > BZ_SOLVER_PIVOT_EPSILON * diagonal) || !(s > 0.0f);
}

// The state of one force solve.
struct Solve
{
    const float *A;
    float *b;
    int32_t n;
    int32_t nb;
    bzPhysTreeStep *const *blocks;
    int32_t blockCount;
    int32_t blockStart[BZ_SOLVER_MAX_BLOCKS];
    float *dense; // factor rows of the active positions from nb on
    float f[BZ_SOLVER_MAX_ACTIVE];
    float y[BZ_SOLVER_MAX_ACTIVE];
    float w[BZ_SOLVER_MAX_ACTIVE];
    uint8_t perm[BZ_SOLVER_MAX_ACTIVE];
    uint8_t first[BZ_SOLVER_MAX_ACTIVE]; // first non-zero joint column of a dense row, else nb
    // Without joint rows: bit j of nonZero[i] is set when factor entry L[i][j] (j < i) is not 0.
    // The factor of a pile is mostly zeros (rows of bodies that share none stay apart), and the
    // sums over it skip them.
    uint64_t nonZero[BZ_SOLVER_MAX_ACTIVE];
    // The same bits by column: bit q of below[p] is set when L[q][p] (q > p) is not 0. Kept up
    // as rows are appended; remade from nonZero after a row leaves (belowReady false).
    uint64_t below[BZ_SOLVER_MAX_ACTIVE];
    bool belowReady;
    bool sparse; // no joint rows: the positions fit the bits of nonZero
    uint64_t mask;
    uint64_t history[BZ_SOLVER_MAX_LONG_ITERATIONS];
    uint8_t *inactive;
    int32_t inactiveCount;
    int32_t count;     // active positions
    bool columnsReady; // gPushColumns holds this solve's matrix

    float *Row(int32_t i) { return dense + (i - nb) * kRowStride; }
    int32_t Bit(int32_t row) const { return row - nb; }
    void AddInactive(int32_t row) { inactive[inactiveCount++] = static_cast<uint8_t>(row); }
};

// Forward substitution of b over the rows of block k with its packed factor.
void SolverForwardSubstituteBlock(Solve &s, int32_t k)
{
    const int32_t start = s.blockStart[k];
    const int32_t m = s.blocks[k]->rowCount;
    const float *L = s.blocks[k]->factor;
    for (int32_t lr = 0; lr < m; ++lr)
    {
        const float *row = L + Tri(lr);
        s.y[start + lr] = OverPivot(s.b[start + lr] - Dot(row, &s.y[start], lr), row[lr]);
    }
}

// Computes the factor row and y entry of position i: the joint columns and then every dense
// column when joints is true, else only the dense columns from..i (from >= nb; the columns
// before it are kept). Returns 1 when the pivot failed (the pivot and y are then 0), else 0.
int32_t SolverFactorRowFrom(Solve &s, int32_t i, int32_t from, bool joints);

// Copies the pushing rows of the packed matrix into gPushColumns.
void SolverMakePushColumns(Solve &s);

// SolverFactorRowFrom without joint rows, over the non-zero entries only. An entry whose matrix
// element is 0 and whose row shares no non-zero column with row j before j is +0 (a zero over
// a positive pivot) without a division.
int32_t SolverFactorSparseRowFrom(Solve &s, int32_t i, int32_t from)
{
    const int32_t r = s.perm[i];
    float *Li = s.Row(i);
    uint64_t nonZero = s.nonZero[i] & BitsBelow(from);
    // The pushing columns hold row r's elements in full (every row pushes here): the same
    // floats without the choice of triangle that Packed makes for each. The first residual pass
    // would make them anyway.
    if (!s.columnsReady && from < i)
        SolverMakePushColumns(s);
    const float *Ar = gPushColumns + r * s.n;
    for (int32_t j = from; j < i; ++j)
    {
        const float a = Ar[s.perm[j]];
        const uint64_t both = nonZero & s.nonZero[j];
        if ((Magnitude(a) | both) == 0) // a is +-0 and the rows share no column before j
        {
            Li[j] = 0.0f;
            continue;
        }
        const float *Lj = s.Row(j);
        Li[j] = (a - SparseDot(Li, Lj, both, j)) / Lj[j];
        if (Li[j] != 0.0f)
            nonZero |= uint64_t{1} << j;
    }
    s.nonZero[i] = nonZero;
    const float diagonal = Packed(s.A, r, r);
    const float pivot2 = diagonal - SparseDot(Li, Li, nonZero, i);
    if (PivotFails(pivot2, diagonal))
    {
        Li[i] = 0.0f;
        s.y[i] = 0.0f;
        return 1;
    }
    Li[i] = std::sqrt(pivot2);
    s.y[i] = (s.b[r] - SparseDot(Li, s.y, nonZero, i)) / Li[i];
    return 0;
}

int32_t SolverFactorRowFrom(Solve &s, int32_t i, int32_t from, bool joints)
{
    if (s.sparse)
        return SolverFactorSparseRowFrom(s, i, from);
    const int32_t r = s.perm[i];
    float *Li = s.Row(i);
    if (joints)
    {
        int32_t firstJoint = -1;
        for (int32_t k = 0; k < s.blockCount; ++k)
        {
            const int32_t start = s.blockStart[k];
            const int32_t m = s.blocks[k]->rowCount;
            const float *L = s.blocks[k]->factor;
            int32_t run = -1; // first column of the block where row i is non-zero
            for (int32_t lc = 0; lc < m; ++lc)
            {
                const int32_t c = start + lc;
                float num = Packed(s.A, r, c);
                if (run >= 0)
                    num -= Dot(L + Tri(lc) + run, Li + start + run, lc - run);
                if (num == 0.0f)
                {
                    Li[c] = 0.0f;
                    continue;
                }
                Li[c] = OverPivot(num, L[Tri(lc) + lc]);
                if (Li[c] != 0.0f && run < 0)
                    run = lc;
                if (Li[c] != 0.0f && firstJoint < 0)
                    firstJoint = c;
            }
        }
        s.first[i] = static_cast<uint8_t>(firstJoint >= 0 ? firstJoint : s.nb);
    }
    const int32_t fi = s.first[i];
    for (int32_t j = from; j < i; ++j)
    {
        const int32_t start = fi > s.first[j] ? fi : s.first[j];
        const float *Lj = s.Row(j);
        const float num = Packed(s.A, r, s.perm[j]) - Dot(Li + start, Lj + start, j - start);
        Li[j] = num / Lj[j];
    }
    const float diagonal = Packed(s.A, r, r);
    const float pivot2 = diagonal - Dot(Li + fi, Li + fi, i - fi);
    if (PivotFails(pivot2, diagonal))
    {
        Li[i] = 0.0f;
        s.y[i] = 0.0f;
        return 1;
    }
    Li[i] = std::sqrt(pivot2);
    s.y[i] = (s.b[r] - Dot(Li + fi, s.y + fi, i - fi)) / Li[i];
    return 0;
}

int32_t SolverAddFactorRow(Solve &s, int32_t i)
{
    return SolverFactorRowFrom(s, i, s.nb, true);
}

int32_t SolverRefactorRow(Solve &s, int32_t i, int32_t p)
{
    return SolverFactorRowFrom(s, i, p, false);
}

// Marks the non-zero entries of the row just factored at the end position i in the columns'
// bits, when they are kept up.
void SolverNoteAppendedRow(Solve &s, int32_t i)
{
    if (!s.sparse || !s.belowReady)
        return;
    s.below[i] = 0;
    for (uint64_t m = s.nonZero[i]; m != 0; m &= m - 1)
        s.below[__builtin_ctzll(m)] |= uint64_t{1} << i;
}

void SolverFactorInitialSet(Solve &s)
{
    for (int32_t k = 0; k < s.blockCount; ++k)
        SolverForwardSubstituteBlock(s, k);
    for (int32_t i = s.nb; i < s.count; ++i)
        SolverAddFactorRow(s, i);
}

// Removes position p from the active set and closes up the positions after it, refactoring
// each from column p. A row whose pivot fails on the way leaves the active set too.
void SolverDropRow(Solve &s, int32_t p)
{
    s.belowReady = false;
    s.AddInactive(s.perm[p]);
    s.mask &= ~(uint64_t{1} << s.Bit(s.perm[p]));
    const int32_t old = s.count;
    s.count--;
    int32_t q = p;
    for (int32_t src = p + 1; src < old; ++src)
    {
        s.perm[q] = s.perm[src];
        s.first[q] = s.first[src];
        s.nonZero[q] = s.nonZero[src];
        if (p > 0)
            MemCopy(static_cast<size_t>(p) * sizeof(float), s.Row(q), s.Row(src));
        if (SolverRefactorRow(s, q, p))
        {
            s.AddInactive(s.perm[q]);
            s.mask &= ~(uint64_t{1} << s.Bit(s.perm[q]));
            s.count--;
            continue;
        }
        q++;
    }
}

// Back substitution over the dense positions, newest first. Returns the position of the most
// negative force below -0.0001 (the joint positions are then left unsolved), else -1 after
// finishing the joint positions through their blocks, last block first.
int32_t SolverBackSubstitute(Solve &s);

void SolverBackSubstituteBlocks(Solve &s)
{
    for (int32_t k = s.blockCount - 1; k >= 0; --k)
    {
        const int32_t start = s.blockStart[k];
        const int32_t m = s.blocks[k]->rowCount;
        const float *L = s.blocks[k]->factor;
        for (int32_t lc = m - 1; lc >= 0; --lc)
        {
            const int32_t c = start + lc;
            float sum = s.y[c];
            for (int32_t q = s.nb; q < s.count; ++q)
                sum -= s.Row(q)[c] * s.f[q];
            for (int32_t lr = lc + 1; lr < m; ++lr)
                sum -= L[Tri(lr) + lc] * s.f[start + lr];
            s.f[c] = OverPivot(sum, L[Tri(lc) + lc]);
        }
    }
}

// SolverBackSubstitute without joint rows: each position's sum takes only the later rows with a
// non-zero entry in its column, still in ascending order (bit q of below[p] is set when L[q][p]
// is not 0). A skipped term is a zero product, which leaves the sum as it is.
int32_t SolverBackSubstituteSparse(Solve &s)
{
    uint64_t *below = s.below;
    if (!s.belowReady)
    {
        for (int32_t p = 0; p < s.count; ++p)
            below[p] = 0;
        for (int32_t q = 1; q < s.count; ++q)
            for (uint64_t m = s.nonZero[q]; m != 0; m &= m - 1)
                below[__builtin_ctzll(m)] |= uint64_t{1} << q;
        s.belowReady = true;
    }
    int32_t negative = -1;
    float most = kNegativeForce;
    for (int32_t p = s.count - 1; p >= 0; --p)
    {
        float sum = s.y[p];
        const float *column = s.dense + p; // entry (q, p) at q rows on; positions start at row 0
        for (uint64_t m = below[p]; m != 0; m &= m - 1)
        {
            const int32_t q = __builtin_ctzll(m);
            sum -= column[q * kRowStride] * s.f[q];
        }
        s.f[p] = sum / s.Row(p)[p];
        if (s.f[p] < most)
        {
            most = s.f[p];
            negative = p;
        }
    }
    return negative;
}

int32_t SolverBackSubstitute(Solve &s)
{
    if (s.sparse)
        return SolverBackSubstituteSparse(s);
    int32_t negative = -1;
    float most = kNegativeForce;
    for (int32_t p = s.count - 1; p >= s.nb; --p)
    {
        float sum = s.y[p];
        for (int32_t q = p + 1; q < s.count; ++q)
            sum -= s.Row(q)[p] * s.f[q];
        s.f[p] = sum / s.Row(p)[p];
        if (s.f[p] < most)
        {
            most = s.f[p];
            negative = p;
        }
    }
    if (negative < 0)
        SolverBackSubstituteBlocks(s);
    return negative;
}

// The diagonal of the inverse of the active pushing part, w[k] for k = nb..count-1.
void SolverInverseDiagonal(Solve &s)
{
    float z[BZ_SOLVER_MAX_ACTIVE];
    for (int32_t k = s.nb; k < s.count; ++k)
    {
        z[k] = 1.0f / s.Row(k)[k];
        float sum = z[k] * z[k];
        for (int32_t j = k + 1; j < s.count; ++j)
        {
            const float *Lj = s.Row(j);
            z[j] = -Dot(Lj + k, z + k, j - k) / Lj[j];
            sum += z[j] * z[j];
        }
        s.w[k] = sum;
    }
}

// 1 when the current mask (history entry k) with bit toggled (none when negative) equals one of
// the entries before k.
int32_t SolverSetSeenBefore(int32_t bit, const uint64_t *history, int32_t k)
{
    uint64_t m = history[k];
    if (bit >= 0)
        m ^= uint64_t{1} << bit;
    for (int32_t e = 0; e < k; ++e)
        if (history[e] == m)
            return 1;
    return 0;
}

// Copies the pushing rows of the packed matrix into gPushColumns.
void SolverMakePushColumns(Solve &s)
{
    const int32_t np = s.n - s.nb;
    int32_t k = 0;
    for (; k + 4 <= np; k += 4)
    {
        // Four rows at a time: their elements of one column below all four diagonals lie side
        // by side in the column's row of gPushColumns.
        const int32_t r = s.nb + k;
        const float *Ar[4] = {s.A + Tri(r), s.A + Tri(r + 1), s.A + Tri(r + 2), s.A + Tri(r + 3)};
        float *down = gPushColumns + k;
        for (int32_t c = 0; c < r; ++c)
        {
            float *to = down + c * np;
            to[0] = Ar[0][c];
            to[1] = Ar[1][c];
            to[2] = Ar[2][c];
            to[3] = Ar[3][c];
        }
        for (int32_t t = 1; t < 4; ++t)
            for (int32_t c = r; c < r + t; ++c)
                down[c * np + t] = Ar[t][c];
        for (int32_t t = 0; t < 4; ++t)
            std::memcpy(gPushColumns + (r + t) * np, Ar[t] + s.nb,
                        static_cast<size_t>(k + t + 1) * sizeof(float));
    }
    for (; k < np; ++k)
    {
        // Row r's packed elements (r, c) for c < r go down column k; its pushing elements and
        // diagonal, (r, nb..r), are the first k + 1 of row r.
        const int32_t r = s.nb + k;
        const float *Ar = s.A + Tri(r);
        float *down = gPushColumns + k;
        for (int32_t c = 0; c < r; ++c)
            down[c * np] = Ar[c];
        std::memcpy(gPushColumns + r * np, Ar + s.nb, static_cast<size_t>(k + 1) * sizeof(float));
    }
    s.columnsReady = true;
}

// Eight floats side by side, for processors with the wide registers; as with Lanes, each lane's
// arithmetic is that of a single float.
typedef float WideLanes __attribute__((vector_size(32)));

// Whether the processor (and the system) can use WideLanes; asked once.
bool HasWideLanes()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

const bool gHasWideLanes = HasWideLanes();
bool gWideLanes = gHasWideLanes;

// The residuals of the kVectors groups of V's lanes of pushing rows from k0 on. Each lane does
// one row's additions in the order of the positions, so the sums are those of one row at a
// time, whatever the width of V and however many groups share a pass over the positions.
template <typename V, int32_t kVectors>
[[gnu::always_inline]] inline void SumResidualGroup(const Solve &s, float *residual, int32_t k0)
{
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    const int32_t np = s.n - s.nb;
    V sum[kVectors];
    for (int32_t v = 0; v < kVectors; ++v)
    {
        std::memcpy(&sum[v], s.b + s.nb + k0 + v * kLanes, sizeof(V));
        sum[v] = -sum[v];
    }
    for (int32_t p = 0; p < s.count; ++p)
    {
        const float *column = gPushColumns + s.perm[p] * np + k0;
        const float fp = s.f[p];
        for (int32_t v = 0; v < kVectors; ++v)
        {
            V a;
            std::memcpy(&a, column + v * kLanes, sizeof a);
            sum[v] += a * fp;
        }
    }
    for (int32_t v = 0; v < kVectors; ++v)
        std::memcpy(residual + k0 + v * kLanes, &sum[v], sizeof(V));
}

// The residuals of the pushing rows from k0 on in groups of V's lanes, four groups to a pass
// over the positions while they fit, then two, then one; returns the first row left.
template <typename V>
[[gnu::always_inline]] inline int32_t SumResidualGroups(const Solve &s, float *residual, int32_t k0)
{
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    const int32_t np = s.n - s.nb;
    for (; k0 + 4 * kLanes <= np; k0 += 4 * kLanes)
        SumResidualGroup<V, 4>(s, residual, k0);
    if (k0 + 2 * kLanes <= np)
    {
        SumResidualGroup<V, 2>(s, residual, k0);
        k0 += 2 * kLanes;
    }
    if (k0 + kLanes <= np)
    {
        SumResidualGroup<V, 1>(s, residual, k0);
        k0 += kLanes;
    }
    return k0;
}

// The residuals of the rows from k0 on, one row at a time.
[[gnu::always_inline]] inline void SumResidualRows(const Solve &s, float *residual, int32_t k0)
{
    const int32_t np = s.n - s.nb;
    for (int32_t k = k0; k < np; ++k)
    {
        float sum = -s.b[s.nb + k];
        for (int32_t p = 0; p < s.count; ++p)
            sum += gPushColumns[s.perm[p] * np + k] * s.f[p];
        residual[k] = sum;
    }
}

// SolverPushResiduals' sums in groups of four lanes, then one row at a time.
void SumResidualsNarrow(const Solve &s, float *residual)
{
    SumResidualRows(s, residual, SumResidualGroups<Lanes>(s, residual, 0));
}

// The same sums in groups of eight lanes first: the same products and additions in each lane,
// half as many instructions.
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] void SumResidualsWide(const Solve &s, float *residual)
{
    const int32_t k0 = SumResidualGroups<WideLanes>(s, residual, 0);
    SumResidualRows(s, residual, SumResidualGroups<Lanes>(s, residual, k0));
}
#else
void SumResidualsWide(const Solve &s, float *residual)
{
    SumResidualsNarrow(s, residual);
}
#endif

// The residual -b[r] + sum over the active positions p of A(r, perm[p]) f[p] of every pushing
// row r into residual[r - nb], each summed in the order of the positions.
void SolverPushResiduals(Solve &s, float *residual)
{
    if (!s.columnsReady)
        SolverMakePushColumns(s);
    if (gWideLanes)
        SumResidualsWide(s, residual);
    else
        SumResidualsNarrow(s, residual);
}

// Lane masks of four rows from four bits of a row mask.
typedef int32_t LaneMask __attribute__((vector_size(16)));
constexpr LaneMask kNibbleLanes[16] = {
    {0, 0, 0, 0},   {-1, 0, 0, 0},   {0, -1, 0, 0},   {-1, -1, 0, 0},
    {0, 0, -1, 0},  {-1, 0, -1, 0},  {0, -1, -1, 0},  {-1, -1, -1, 0},
    {0, 0, 0, -1},  {-1, 0, 0, -1},  {0, -1, 0, -1},  {-1, -1, 0, -1},
    {0, 0, -1, -1}, {-1, 0, -1, -1}, {0, -1, -1, -1}, {-1, -1, -1, -1}};

// The lowest residual below -0.001 of the pushing rows outside the active mask, or +0 when none
// is below it, four rows at a time in row order (the minimum is the same in any order).
float LowestOpenResidual(float *residual, int32_t pushing, uint64_t active)
{
    const uint64_t open = ~active & BitsBelow(pushing);
    for (int32_t k = pushing; k % 4 != 0; ++k)
        residual[k] = 0.0f;
    Lanes lowest = {0.0f, 0.0f, 0.0f, 0.0f};
    const Lanes limit = {kNegativeResidual, kNegativeResidual, kNegativeResidual,
                         kNegativeResidual};
    for (int32_t k = 0; k < pushing; k += 4)
    {
        Lanes r;
        std::memcpy(&r, residual + k, sizeof r);
        const LaneMask take = (r < limit) & kNibbleLanes[(open >> k) & 15];
        const Lanes a = take ? r : Lanes{};
        lowest = a < lowest ? a : lowest;
    }
    const float low01 = lowest[1] < lowest[0] ? lowest[1] : lowest[0];
    const float low23 = lowest[3] < lowest[2] ? lowest[3] : lowest[2];
    return low23 < low01 ? low23 : low01;
}

// Chooses the inactive row with the most negative residual below -0.001, preferring rows that
// lead to an active set not seen before, and moves it to the end of the inactive list, whose
// count drops by one. Returns 1 when a row was chosen.
int32_t SolverPickEnteringRow(Solve &s, int32_t iteration)
{
    const int32_t seen = SolverSetSeenBefore(-1, s.history, iteration);
    float best = 0.0f;
    int32_t chosen = -1;
    float residual[BZ_SOLVER_MAX_PUSHING];
    if (s.inactiveCount > 0)
        SolverPushResiduals(s, residual);
    if (!seen && s.inactiveCount > 0)
    {
        // Every active set it leads to is new: the first in the list of the most negative
        // residuals below -0.001.
        chosen = bz_Phys_SolverFirstLowestResidual(residual, s.n - s.nb, s.mask, s.inactive,
                                                   s.inactiveCount, s.nb);
    }
    for (int32_t e = 0; seen && e < s.inactiveCount; ++e)
    {
        const int32_t r = s.inactive[e];
        const float a = residual[r - s.nb];
        if (!(a < kNegativeResidual && a < best))
            continue;
        if (!seen || !SolverSetSeenBefore(s.Bit(r), s.history, iteration))
        {
            chosen = e;
            best = a;
        }
        else if (chosen < 0)
            chosen = e;
    }
    if (chosen < 0)
        return 0;
    const uint8_t row = s.inactive[chosen];
    for (int32_t e = chosen; e + 1 < s.inactiveCount; ++e)
        s.inactive[e] = s.inactive[e + 1];
    s.inactive[s.inactiveCount - 1] = row;
    s.inactiveCount--;
    return 1;
}

// The earlier pushing position to remove for the dependent newest row whose removal leads to an
// active set not seen before, or -1: for an exactly dependent row the one the ratio test above
// names, else the one the newest row leans on most.
int32_t SolverPickDependentRow(Solve &s, int32_t iteration)
{
    const int32_t i = s.count - 1;
    const int32_t ri = s.perm[i];
    if (s.Row(i)[i] == 0.0f)
    {
        // The newest row is a combination of the active rows: row i = sum alpha_p row_p with
        // alpha = L^-T (its factor row). Only a row with alpha_p > 0 can make room for it
        // (leaving, that row is left with a residual of the newest row's own sign flipped), and
        // moving force onto the newest row keeps every force at or above 0 until the first of
        // them runs out: that one leaves. The forces are those of the solve that let row i in.
        const float *Li = s.Row(i);
        float *alpha = s.w; // the inverse diagonal is not needed before the next solve
        for (int32_t p = i - 1; p >= s.nb; --p)
        {
            float sum = Li[p];
            for (int32_t q = p + 1; q < i; ++q)
                sum -= s.Row(q)[p] * alpha[q];
            alpha[p] = OverPivot(sum, s.Row(p)[p]);
        }
        int32_t pick = -1;
        float ratio = 0.0f;
        for (int32_t p = s.nb; p < i; ++p)
            if (alpha[p] > kDependentShare &&
                !SolverSetSeenBefore(s.Bit(s.perm[p]), s.history, iteration))
            {
                const float t = s.f[p] / alpha[p];
                if (pick < 0 || t < ratio)
                {
                    pick = p;
                    ratio = t;
                }
            }
        if (pick >= 0)
            return pick;
    }
    float *c = s.w; // the inverse diagonal is not needed before the next solve
    float best = -1.0f;
    int32_t bestP = -1;
    for (int32_t p = s.nb; p < i; ++p)
    {
        const int32_t rp = s.perm[p];
        float num = 0.0f, den = 0.0f;
        for (int32_t k = 0; k < i; ++k)
        {
            const float a = Packed(s.A, rp, s.perm[k]);
            num += a * Packed(s.A, ri, s.perm[k]);
            den += a * a;
        }
        c[p] = den > 0.0f ? std::fabs(num) / std::sqrt(den) : 0.0f;
        if (c[p] > best)
        {
            best = c[p];
            bestP = p;
        }
    }
    if (bestP < 0)
        return -1;
    if (!SolverSetSeenBefore(s.Bit(s.perm[bestP]), s.history, iteration))
        return bestP;
    best = -1.0f;
    bestP = -1;
    for (int32_t p = s.nb; p < i; ++p)
        if (c[p] > best && !SolverSetSeenBefore(s.Bit(s.perm[p]), s.history, iteration))
        {
            best = c[p];
            bestP = p;
        }
    return bestP;
}

// Appends the row at position i to the active set and factors it (nothing calls it; the
// solve adds rows through SolverAddFactorRow directly).
[[maybe_unused]] int32_t SolverActivateRow(Solve &s, int32_t row)
{
    const int32_t i = s.count++;
    s.perm[i] = static_cast<uint8_t>(row);
    s.mask |= uint64_t{1} << s.Bit(row);
    return SolverAddFactorRow(s, i);
}

void WriteForces(const Solve &s, float *x)
{
    for (int32_t r = s.nb; r < s.n; ++r)
        x[r] = 0.0f;
    for (int32_t p = 0; p < s.count; ++p)
        x[s.perm[p]] = s.f[p];
}

// Checks the limits of the solve; false when the call is outside them.
bool WithinLimits(const float *A, float *b, float *x, int32_t n, uint8_t *inactive,
                  int32_t *inactiveCount, int32_t nb, bzPhysTreeStep *const *blocks,
                  int32_t blockCount)
{
    if (!A || !b || !x || !inactive || !inactiveCount || n < 1 || n > BZ_SOLVER_MAX_ROWS ||
        nb < 0 || nb > n || nb > BZ_SOLVER_MAX_ACTIVE || (n > nb && nb >= BZ_SOLVER_MAX_ACTIVE) ||
        n - nb > BZ_SOLVER_MAX_PUSHING || blockCount < 0 || blockCount > BZ_SOLVER_MAX_BLOCKS ||
        (blockCount > 0 && !blocks))
        return false;
    int32_t covered = 0;
    for (int32_t k = 0; k < blockCount; ++k)
    {
        if (!blocks[k] || blocks[k]->rowCount < 0 ||
            (blocks[k]->rowCount > 0 && !blocks[k]->factor))
            return false;
        covered += blocks[k]->rowCount;
        if (covered > nb)
            return false;
    }
    return covered == nb;
}

#ifndef NDEBUG
void AssertFinite(const float *x, int32_t n)
{
    for (int32_t r = 0; r < n; ++r)
        BZ_ASSERT(std::isfinite(x[r]));
}
#else
void AssertFinite(const float *, int32_t) {}
#endif
} // namespace

int32_t bz_Phys_SolverFirstLowestResidual(float *residual, int32_t pushing, uint64_t active,
                                          const uint8_t *inactive, int32_t inactiveCount,
                                          int32_t nb)
{
    if (inactiveCount <= 0)
        return -1;
    const float lowest = LowestOpenResidual(residual, pushing, active);
    if (!(lowest < 0.0f))
        return -1;
    int32_t e = 0;
    while (residual[inactive[e] - nb] != lowest)
        ++e;
    return e;
}

bool bz_Phys_SolverUseWideLanes(bool on)
{
    gWideLanes = on && gHasWideLanes;
    return gHasWideLanes;
}

int32_t bz_Phys_FactorPackedMatrix(float *A, int32_t n)
{
    BZ_ASSERT(A || n <= 0);
    if (!A)
        return 0;
    int32_t retired = 0;
    for (int32_t i = 0; i < n; ++i)
    {
        float *Li = A + Tri(i);
        int32_t first = i; // first column of row i that came out non-zero
        for (int32_t j = 0; j < i; ++j)
        {
            const float *Lj = A + Tri(j);
            const int32_t start = first;
            const float s = Li[j] - (j > start ? Dot(Li + start, Lj + start, j - start) : 0.0f);
            if (s == 0.0f)
            {
                Li[j] = 0.0f;
                continue;
            }
            Li[j] = OverPivot(s, Lj[j]);
            if (Li[j] != 0.0f && first == i)
                first = j;
        }
        const float diagonal = Li[i];
        const float s = diagonal - (i > first ? Dot(Li + first, Li + first, i - first) : 0.0f);
        if (PivotFails(s, diagonal))
        {
            // A dependent row: it takes no part in later rows nor in solves.
            for (int32_t j = 0; j <= i; ++j)
                Li[j] = 0.0f;
            retired++;
            continue;
        }
        Li[i] = std::sqrt(s);
    }
    return retired;
}

void bz_Phys_SolvePackedFactor(int32_t n, const float *L, const float *b, float *x)
{
    BZ_ASSERT((L && b && x) || n <= 0);
    if (!L || !b || !x)
        return;
    for (int32_t i = 0; i < n; ++i)
    {
        const float *Li = L + Tri(i);
        x[i] = OverPivot(b[i] - Dot(Li, x, i), Li[i]);
    }
    for (int32_t i = n - 1; i >= 0; --i)
    {
        float sum = x[i];
        for (int32_t k = i + 1; k < n; ++k)
            sum -= L[Tri(k) + i] * x[k];
        x[i] = OverPivot(sum, L[Tri(i) + i]);
    }
}

int32_t bz_Phys_FactorAndSolvePacked(float *A, int32_t n, const float *b, float *x)
{
    const int32_t retired = bz_Phys_FactorPackedMatrix(A, n);
    if (b && x)
        bz_Phys_SolvePackedFactor(n, A, b, x);
    return retired;
}

int32_t bz_Phys_SolveConstraintForces(const float *A, float *b, float *x, int32_t n,
                                      uint8_t *inactive, int32_t *inactiveCount, int32_t nb,
                                      bzPhysTreeStep *const *blocks, int32_t blockCount)
{
    return bz_Phys_SolveConstraintForcesWithin(BZ_SOLVER_MAX_ITERATIONS, A, b, x, n, inactive,
                                               inactiveCount, nb, blocks, blockCount);
}

int32_t bz_Phys_SolveConstraintForcesWithin(int32_t iterations, const float *A, float *b, float *x,
                                            int32_t n, uint8_t *inactive, int32_t *inactiveCount,
                                            int32_t nb, bzPhysTreeStep *const *blocks,
                                            int32_t blockCount)
{
    if (inactiveCount)
        *inactiveCount = 0;
    const bool allowance = iterations >= 1 && iterations <= BZ_SOLVER_MAX_LONG_ITERATIONS;
    if (n == 1 && allowance && A && b && x && inactive && inactiveCount && (nb == 0 || nb == 1))
    {
        // One row needs no factor. A pushing row that would pull gets no force.
        x[0] = A[0] > kOneRowMinimum ? b[0] / A[0] : 0.0f;
        if (!std::isfinite(x[0]) || (nb == 0 && x[0] < 0.0f))
        {
            x[0] = 0.0f;
            if (nb == 0)
                inactive[(*inactiveCount)++] = 0;
        }
        return 0;
    }
    void *block = bz_PhysMem_SolverBlock1();
    const bool inLimits =
        allowance && WithinLimits(A, b, x, n, inactive, inactiveCount, nb, blocks, blockCount);
    BZ_ASSERT(inLimits);
    BZ_ASSERT(!inLimits || n == nb || block);
    if (!inLimits || (n > nb && !block))
    {
        if (x)
            for (int32_t r = 0; r < n; ++r)
                x[r] = 0.0f;
        if (inactive && inactiveCount)
            for (int32_t r = nb < 0 ? 0 : nb; r < n && r < BZ_SOLVER_MAX_ROWS; ++r)
                inactive[(*inactiveCount)++] = static_cast<uint8_t>(r);
        return -1;
    }

    Solve s;
    s.A = A;
    s.b = b;
    s.n = n;
    s.nb = nb;
    s.blocks = blocks;
    s.blockCount = blockCount;
    s.dense = static_cast<float *>(block);
    s.inactive = inactive;
    s.inactiveCount = 0;
    s.mask = 0;
    s.columnsReady = false;
    s.sparse = nb == 0;
    s.belowReady = false;
    for (int32_t k = 0, start = 0; k < blockCount; ++k)
    {
        s.blockStart[k] = start;
        start += blocks[k]->rowCount;
    }
    for (int32_t p = 0; p < nb; ++p)
        s.perm[p] = static_cast<uint8_t>(p);
    s.count = nb;
    if (n > nb)
    {
        const int32_t lead = b[nb] == 0.0f ? n - 1 : nb;
        s.perm[nb] = static_cast<uint8_t>(lead);
        s.mask = uint64_t{1} << s.Bit(lead);
        s.count = nb + 1;
        for (int32_t r = nb; r < n; ++r)
            if (r != lead)
                s.AddInactive(r);
    }
    int32_t boundary = nb + 1;
    int32_t retiredRow = -1;
    int32_t result = 0;
    SolverFactorInitialSet(s);

    for (int32_t iteration = 0; iteration < iterations; ++iteration)
    {
        s.history[iteration] = s.mask;
        if (s.count > nb)
        {
            // Dependence test of the newest position.
            const int32_t i = s.count - 1;
            const float *Li = s.Row(i);
            const float t = std::fabs(Li[i] * kDependenceRatio);
            bool dependent = Li[i] == 0.0f; // a failed pivot
            bool leans = false;
            if (s.sparse)
            {
                // Only the non-zero entries can be larger.
                for (uint64_t m = s.nonZero[i]; m != 0 && !leans; m &= m - 1)
                    leans = std::fabs(Li[__builtin_ctzll(m)]) > t;
            }
            else
                for (int32_t j = 0; j < i && !leans; ++j)
                    leans = std::fabs(Li[j]) > t;
            dependent = dependent || leans;
            if (dependent)
            {
                int32_t d = leans ? SolverPickDependentRow(s, iteration) : -1;
                if (d < 0)
                {
                    // Retire the newest row; name the joint row it leans on most, if any.
                    int32_t column = -1;
                    float largest = 0.0f;
                    for (int32_t j = 0; j < nb; ++j)
                        if (std::fabs(Li[j]) > largest)
                        {
                            largest = std::fabs(Li[j]);
                            column = j;
                        }
                    if (column >= 0)
                        result = column + 1;
                    b[s.perm[i]] = BZ_SOLVER_RETIRED_DEPENDENT;
                    d = i;
                }
                retiredRow = s.perm[d];
                SolverDropRow(s, d);
                boundary = s.count;
                continue;
            }
        }
        const int32_t r = SolverBackSubstitute(s);
        if (retiredRow >= 0)
        {
            if (b[retiredRow] == 0.0f)
                b[retiredRow] = BZ_SOLVER_RETIRED_ZERO;
            retiredRow = -1;
        }
        if (r < 0)
        {
            WriteForces(s, x);
            if (!SolverPickEnteringRow(s, iteration))
            {
                *inactiveCount = s.inactiveCount;
                AssertFinite(x, n);
                return result;
            }
            if (s.count >= BZ_SOLVER_MAX_ACTIVE || s.count - nb >= BZ_SOLVER_MAX_ACTIVE_PUSHING)
            {
                // No room for another active row: the last solution stands, unfinished.
                s.inactiveCount++;
                *inactiveCount = s.inactiveCount;
                AssertFinite(x, n);
                return -1;
            }
            const int32_t row = s.inactive[s.inactiveCount];
            s.perm[s.count] = static_cast<uint8_t>(row);
            s.mask |= uint64_t{1} << s.Bit(row);
            SolverAddFactorRow(s, s.count);
            SolverNoteAppendedRow(s, s.count);
            s.count++;
            continue;
        }
        // A negative force at r: choose the position to remove.
        int32_t k0 = boundary;
        if (s.f[s.count - 1] < 0.0f)
            k0 = 0;
        else
            for (int32_t p = s.count - 1; p >= boundary; --p)
                if (s.f[p] > 0.0f)
                {
                    k0 = p;
                    break;
                }
        int32_t remove = r;
        if (r >= k0)
        {
            SolverInverseDiagonal(s);
            remove = nb;
            float largest = -1.0f;
            for (int32_t p = nb; p < s.count; ++p)
                if (s.f[p] / s.w[p] < 0.0f && std::fabs(s.w[p]) > largest)
                {
                    largest = std::fabs(s.w[p]);
                    remove = p;
                }
        }
        SolverDropRow(s, remove);
        boundary = s.count;
    }
    *inactiveCount = s.inactiveCount;
    AssertFinite(x, n);
    return -1;
}
