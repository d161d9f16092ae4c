// Building the packed constraint system matrix from a set of rows.
#include "physics/ConstraintMatrix.h"

#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/Coupling.h"

#include <cstring>

namespace
{
bool IsAngular(const bzPhysRow *row)
{
    return (row->type & BZ_ROW_ANGULAR) != 0;
}

bool IsOneSided(const bzPhysRow *row)
{
    return (row->type & ~BZ_ROW_OFF) == BZ_ROW_ONE_SIDED;
}

void InverseMoments(const BZDObject *body, const bzV3 *v, bzV3 *out)
{
    out->x = body->inversePrincipalMoments.x * v->x;
    out->y = body->inversePrincipalMoments.y * v->y;
    out->z = body->inversePrincipalMoments.z * v->z;
}

// The uncorrected response of body to a unit impulse along n at r.
void Response(const BZDObject *body, bool angular, const bzV3 *r, const bzV3 *n, bzV3 *m, bzV3 *w)
{
    if (angular)
    {
        *m = bzV3{};
        InverseMoments(body, n, w);
        return;
    }
    bzV3 arm;
    bz_V3_CrossInto(r, n, &arm);
    InverseMoments(body, &arm, w);
    bz_V3_ScaleInto(n, m, body->inverseMass);
}

// One body that a unit impulse on row i moves, with its response and sign.
struct Mover
{
    const BZDObject *body;
    float sign;
    bool ownBody; // bodyA or bodyB of row i (not a coupling partner)
    bzV3 m;
    bzV3 w;
};

// The change of row j's velocity along its own side for a body response (m, w).
float Term(const Mover &x, bool angular, const bzV3 *r, const bzV3 *n)
{
    if (angular)
        return bz_V3_Dot(&x.w, n);
    bzV3 v;
    bz_V3_CrossInto(&x.w, r, &v);
    bz_V3_Add(&v, &x.m);
    return bz_V3_Dot(&v, n);
}

// Adds the movers of one side of row i: the body, and its coupling partner when it has one.
int32_t AddSide(Mover *movers, int32_t count, const BZDObject *body, float sign, bool angular,
                const bzV3 *r, const bzV3 *n, bzV3 *storedW, float *coupling)
{
    Mover &own = movers[count++];
    own.body = body;
    own.sign = sign;
    own.ownBody = true;
    Response(body, angular, r, n, &own.m, &own.w);
    *storedW = own.w;
    for (int32_t k = 0; k < 4; ++k)
        coupling[k] = 0.0f;
    if (body->coupling)
    {
        Mover &partner = movers[count++];
        partner.sign = sign;
        partner.ownBody = false;
        partner.body =
            bz_Phys_CouplingResponse(body, &own.m, &own.w, &partner.m, &partner.w, coupling);
        coupling[3] = static_cast<const bzPhysCoupling *>(body->coupling)->sign;
    }
    return count;
}

// Entry (i, j) for the movers of row i: what each mover's response changes along row j.
float Entry(const Mover *movers, int32_t count, const bzPhysRow *rj)
{
    const bool angularJ = IsAngular(rj);
    const bool oneSidedJ = IsOneSided(rj);
    float entry = 0.0f;
    for (int32_t k = 0; k < count; ++k)
    {
        const Mover &x = movers[k];
        if (x.body == rj->bodyA)
            entry += x.sign * Term(x, angularJ, &rj->rA, &rj->nA);
        else if (x.body == rj->bodyB && !(x.ownBody && oneSidedJ))
            entry -= x.sign * Term(x, angularJ, &rj->rB, &rj->nB);
    }
    return entry;
}

// Which rows each body takes part in (as bodyA or bodyB), for the rows of one build, and the
// body's place. Made at the start of each build; builds never run inside one another.
constexpr int32_t kIndexRows = 256;
constexpr int32_t kIndexWords = kIndexRows / 64;
constexpr int32_t kIndexBodies = 2 * kIndexRows;
uint64_t gIndexRows[kIndexBodies][kIndexWords];
int32_t gIndexCount = 0;

// The bodies' places in gIndexRows, found through an open-addressed table by the body's address
// (at most half full). A slot belongs to the current build when its stamp is gIndexBuild, so a
// new build starts with an empty table without clearing it.
constexpr int32_t kIndexSlots = 2 * kIndexBodies;
struct IndexSlot
{
    const BZDObject *body;
    int32_t index;
    uint32_t build;
};
IndexSlot gIndexSlots[kIndexSlots];
uint32_t gIndexBuild = 0;

uint32_t FirstSlot(const BZDObject *body)
{
    const uint64_t h =
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(body)) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32) & (kIndexSlots - 1);
}

// The slot of the body in the current build, or the free slot where it would go.
IndexSlot &SlotOf(const BZDObject *body)
{
    uint32_t k = FirstSlot(body);
    while (gIndexSlots[k].build == gIndexBuild && gIndexSlots[k].body != body)
        k = (k + 1) & (kIndexSlots - 1);
    return gIndexSlots[k];
}

int32_t FindIndexed(const BZDObject *body)
{
    const IndexSlot &slot = SlotOf(body);
    return slot.build == gIndexBuild ? slot.index : -1;
}

// Notes that the body takes part in the row; returns its place.
int32_t IndexBody(const BZDObject *body, int32_t row)
{
    IndexSlot &slot = SlotOf(body);
    if (slot.build != gIndexBuild)
    {
        slot = {body, gIndexCount++, gIndexBuild};
        for (int32_t w = 0; w < kIndexWords; ++w)
            gIndexRows[slot.index][w] = 0;
    }
    gIndexRows[slot.index][row / 64] |= uint64_t{1} << (row % 64);
    return slot.index;
}

// Starts the index of a new build: every slot of an earlier build becomes free.
void StartIndex()
{
    gIndexCount = 0;
    if (++gIndexBuild == 0)
    {
        // The stamps wrapped: clear them so that none matches by chance.
        for (IndexSlot &slot : gIndexSlots)
            slot.build = 0;
        gIndexBuild = 1;
    }
}

// The rows of one build field by field, so that the entries of a group of neighbouring columns
// are worked out side by side, each lane doing one entry's arithmetic in the order Entry does.
// A body is named by its place in the index as a float; the world (no bodyB) by -1. idBOwn is
// idB, or -3 for a one-sided row, whose bodyB row i's own bodies do not see. Lanes past the last
// row are read but never stored.
constexpr int32_t kLaneRows = kIndexRows + 8;
constexpr float kWorldId = -1.0f;
constexpr float kUnindexedId = -2.0f;
constexpr float kIgnoredId = -3.0f;
struct ColumnLanes
{
    float idA[kLaneRows];
    float idB[kLaneRows];
    float idBOwn[kLaneRows];
    float angular[kLaneRows]; // 1 for an angular row, else 0
    float r[2][3][kLaneRows]; // [side A, B][axis][row]
    float n[2][3][kLaneRows];
};
ColumnLanes gLanes;

// Fewer rows than this are built entry by entry: laying them out would cost more than it saves.
constexpr int32_t kLanesFrom = 16;

// Indexes rows 0..n-1 and lays them out in gLanes; false when there are too few or too many.
bool IndexRows(bzPhysRow *const *rows, int32_t n)
{
    StartIndex();
    if (n < kLanesFrom || n > kIndexRows)
        return false;
    for (int32_t j = 0; j < n; ++j)
    {
        const bzPhysRow *row = rows[j];
        gLanes.idA[j] = static_cast<float>(IndexBody(row->bodyA, j));
        gLanes.idB[j] = row->bodyB ? static_cast<float>(IndexBody(row->bodyB, j)) : kWorldId;
        gLanes.idBOwn[j] = IsOneSided(row) ? kIgnoredId : gLanes.idB[j];
        gLanes.angular[j] = IsAngular(row) ? 1.0f : 0.0f;
        for (int32_t a = 0; a < 3; ++a)
        {
            gLanes.r[0][a][j] = row->rA.v[a];
            gLanes.n[0][a][j] = row->nA.v[a];
            gLanes.r[1][a][j] = row->rB.v[a];
            gLanes.n[1][a][j] = row->nB.v[a];
        }
    }
    return true;
}

// Four and eight floats side by side; each lane's arithmetic is that of a single float.
typedef float Lanes __attribute__((vector_size(16)));
typedef float WideLanes __attribute__((vector_size(32)));

template <typename V> [[gnu::always_inline]] inline void LoadLanes(V *v, const float *p)
{
    std::memcpy(v, p, sizeof *v);
}

// A value in every lane (x - 0 is x for every x, -0 included).
template <typename V> [[gnu::always_inline]] inline void Spread(V *v, float x)
{
    *v = x - V{};
}

// A mover's response in every lane, its place, and the column ids its bodyB is matched on.
template <typename V> struct MoverSpread
{
    V id, wx, wy, wz, mx, my, mz, sign;
    const float *idB;

    [[gnu::always_inline]] MoverSpread(const Mover &x, float place)
        : idB(x.ownBody ? gLanes.idBOwn : gLanes.idB)
    {
        Spread(&id, place);
        Spread(&wx, x.w.x);
        Spread(&wy, x.w.y);
        Spread(&wz, x.w.z);
        Spread(&mx, x.m.x);
        Spread(&my, x.m.y);
        Spread(&mz, x.m.z);
        Spread(&sign, x.sign);
    }
};

// Adds what mover x does to the entries of columns j.. (one group of V's lanes) at: in each
// lane, the entry plus Term along the column's side of x's body times x's sign where x is the
// column's bodyA, minus it where x is only its bodyB (and, for a body of row i itself, the
// column is not one-sided), else plus and minus +0, which leaves the entry as it is (a sum that
// starts at +0 is never -0). Each lane's arithmetic is Entry's.
template <typename V>
[[gnu::always_inline]] inline void MoverGroup(const MoverSpread<V> &x, int32_t j, float *at)
{
    using M = decltype(V{} == V{});
    V idA, idB, flag;
    LoadLanes(&idA, gLanes.idA + j);
    LoadLanes(&idB, x.idB + j);
    LoadLanes(&flag, gLanes.angular + j);
    const M onA = idA == x.id;
    const M onB = (idB == x.id) & ~onA;
    const M angular = flag != V{};
    V r[3], n[3];
    for (int32_t a = 0; a < 3; ++a)
    {
        V sideA, sideB;
        LoadLanes(&sideA, gLanes.r[0][a] + j);
        LoadLanes(&sideB, gLanes.r[1][a] + j);
        r[a] = onA ? sideA : sideB;
        LoadLanes(&sideA, gLanes.n[0][a] + j);
        LoadLanes(&sideB, gLanes.n[1][a] + j);
        n[a] = onA ? sideA : sideB;
    }
    // bz_V3_CrossInto, then bz_V3_Add of m; an angular column takes w itself.
    V vx = (x.wy * r[2] - x.wz * r[1]) + x.mx;
    V vy = (x.wz * r[0] - x.wx * r[2]) + x.my;
    V vz = (x.wx * r[1] - x.wy * r[0]) + x.mz;
    vx = angular ? x.wx : vx;
    vy = angular ? x.wy : vy;
    vz = angular ? x.wz : vz;
    const V term = x.sign * (vx * n[0] + vy * n[1] + vz * n[2]);
    V entry;
    LoadLanes(&entry, at);
    entry = (entry + (onA ? term : V{})) - (onB ? term : V{});
    std::memcpy(at, &entry, sizeof entry);
}

// The movers of row i: bodyA and its coupling partner, then bodyB and its partner unless the
// row is one-sided. Stores the row's responses. Returns their number.
int32_t RowMovers(bzPhysRow *row, Mover *movers)
{
    const bool angular = IsAngular(row);
    int32_t count =
        AddSide(movers, 0, row->bodyA, 1.0f, angular, &row->rA, &row->nA, &row->wA, row->couplingA);
    if (row->bodyB && !IsOneSided(row))
        count = AddSide(movers, count, row->bodyB, -1.0f, angular, &row->rB, &row->nB, &row->wB,
                        row->couplingB);
    return count;
}

// Entries 0..i of row i into out from gLanes, mover after mover, in groups of V's lanes (the
// last group in full: out must have room up to the end of the group), each mover only over the
// groups that hold a column it is a body of.
template <typename V>
[[gnu::always_inline]] inline void LaneRow(const bzPhysRow *row, const Mover *movers, int32_t count,
                                           int32_t i, float *out)
{
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    constexpr uint64_t kFirstOfGroup = ~uint64_t{0} / ((uint64_t{1} << kLanes) - 1);
    for (int32_t j = 0; j <= i; j += kLanes)
    {
        const V zero = V{};
        std::memcpy(out + j, &zero, sizeof zero);
    }
    for (int32_t k = 0; k < count; ++k)
    {
        float id = kUnindexedId;
        if (movers[k].ownBody)
            id = movers[k].body == row->bodyA ? gLanes.idA[i] : gLanes.idB[i];
        else if (const int32_t index = FindIndexed(movers[k].body); index >= 0)
            id = static_cast<float>(index);
        if (id == kUnindexedId)
            continue; // a body of no column
        const MoverSpread<V> x(movers[k], id);
        if (id < 0.0f)
        {
            // The world: every column without a bodyB.
            for (int32_t j = 0; j <= i; j += kLanes)
                MoverGroup(x, j, out + j);
            continue;
        }
        const uint64_t *bits = gIndexRows[static_cast<int32_t>(id)];
        for (int32_t w = 0; w <= i / 64; ++w)
        {
            // The first bit of each group that holds one of the body's rows, up to row i.
            uint64_t m = bits[w];
            for (int32_t shift = 1; shift < kLanes; shift *= 2)
                m |= m >> shift;
            m &= kFirstOfGroup;
            if (i - 64 * w < 63)
                m &= (uint64_t{2} << (i - 64 * w)) - 1;
            for (; m != 0; m &= m - 1)
            {
                const int32_t j = 64 * w + __builtin_ctzll(m);
                MoverGroup(x, j, out + j);
            }
        }
    }
}

// Packed rows first..n-1 from gLanes. The last group of a row runs on into the first entries of
// the rows after it, which their builds overwrite; a row whose last group would run past the
// matrix is worked out aside.
template <typename V>
[[gnu::always_inline]] inline void LaneRows(int32_t first, float *matrix, bzPhysRow *const *rows,
                                            int32_t n)
{
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    const int32_t size = n * (n + 1) / 2;
    for (int32_t i = first; i < n; ++i)
    {
        Mover movers[4];
        const int32_t count = RowMovers(rows[i], movers);
        const int32_t start = i * (i + 1) / 2;
        if (start + (i + kLanes) / kLanes * kLanes <= size)
        {
            LaneRow<V>(rows[i], movers, count, i, matrix + start);
            continue;
        }
        float aside[kIndexRows + kLanes];
        LaneRow<V>(rows[i], movers, count, i, aside);
        std::memcpy(matrix + start, aside, static_cast<size_t>(i + 1) * sizeof(float));
    }
}

void LaneRowsNarrow(int32_t first, float *matrix, bzPhysRow *const *rows, int32_t n)
{
    LaneRows<Lanes>(first, matrix, rows, n);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] void LaneRowsWide(int32_t first, float *matrix, bzPhysRow *const *rows,
                                         int32_t n)
{
    LaneRows<WideLanes>(first, matrix, rows, n);
}

bool HasWideLanes()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}
#else
void LaneRowsWide(int32_t first, float *matrix, bzPhysRow *const *rows, int32_t n)
{
    LaneRowsNarrow(first, matrix, rows, n);
}

bool HasWideLanes()
{
    return false;
}
#endif

const bool gHasWideLanes = HasWideLanes();
bool gWideLanes = gHasWideLanes;

// Row i entry by entry.
void BuildRow(bzPhysRow *const *rows, int32_t i, float *out)
{
    Mover movers[4];
    const int32_t count = RowMovers(rows[i], movers);
    for (int32_t j = 0; j <= i; ++j)
        out[j] = Entry(movers, count, rows[j]);
}
} // namespace

bool bz_Phys_MatrixUseWideLanes(bool on)
{
    gWideLanes = on && gHasWideLanes;
    return gHasWideLanes;
}

bzV3 bz_Row_BodyBResponse(bzPhysRow *row)
{
    bzV3 m;
    Response(row->bodyB, IsAngular(row), &row->rB, &row->nB, &m, &row->wB);
    return m;
}

void bz_Phys_AngularMatrixRow(bzPhysRow *const *rows, int32_t i, float *out)
{
    BuildRow(rows, i, out);
}

void bz_Phys_AngularResponse(const bzV3 *direction, const BZDObject *body, bzV3 *out)
{
    InverseMoments(body, direction, out);
    if (!body->coupling)
        return;
    bzV3 m{}, partnerM, partnerW;
    float impulses[3];
    bz_Phys_CouplingResponse(body, &m, out, &partnerM, &partnerW, impulses);
}

void bz_Phys_BuildContactMatrix(int32_t first, float *matrix, bzPhysRow *const *rows, int32_t n)
{
    first = first < 0 ? 0 : first;
    if (!IndexRows(rows, n))
    {
        for (int32_t i = first; i < n; ++i)
            BuildRow(rows, i, matrix + i * (i + 1) / 2);
    }
    else if (gWideLanes)
        LaneRowsWide(first, matrix, rows, n);
    else
        LaneRowsNarrow(first, matrix, rows, n);
}

void bz_Phys_BuildWholeMatrix(float *matrix, bzPhysRow *const *rows, int32_t n)
{
    bz_Phys_BuildContactMatrix(0, matrix, rows, n);
}
