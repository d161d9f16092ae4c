// Building the packed constraint system matrix from a set of rows.
#include "physics/ConstraintMatrix.h"

#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/Coupling.h"

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

// Which rows each body takes part in (as bodyA or bodyB), for the rows of one build: a row j
// that none of row i's movers takes part in has entry (i, j) exactly 0, and only the others
// are worked out. Made at the start of each build; builds never run inside one another.
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

void IndexBody(const BZDObject *body, int32_t row)
{
    IndexSlot &slot = SlotOf(body);
    if (slot.build != gIndexBuild)
    {
        slot = {body, gIndexCount++, gIndexBuild};
        for (int32_t w = 0; w < kIndexWords; ++w)
            gIndexRows[slot.index][w] = 0;
    }
    gIndexRows[slot.index][row / 64] |= uint64_t{1} << (row % 64);
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

// Fewer rows than this are built in full: their index would cost more than it saves.
constexpr int32_t kIndexFrom = 16;

// Indexes rows 0..n-1; false when there are too few or too many to index.
bool IndexRows(bzPhysRow *const *rows, int32_t n)
{
    StartIndex();
    if (n < kIndexFrom || n > kIndexRows)
        return false;
    for (int32_t j = 0; j < n; ++j)
    {
        IndexBody(rows[j]->bodyA, j);
        if (rows[j]->bodyB)
            IndexBody(rows[j]->bodyB, j);
    }
    return true;
}

void BuildRow(bzPhysRow *const *rows, int32_t i, float *out, bool indexed)
{
    bzPhysRow *row = rows[i];
    const bool angular = IsAngular(row);
    Mover movers[4];
    int32_t count =
        AddSide(movers, 0, row->bodyA, 1.0f, angular, &row->rA, &row->nA, &row->wA, row->couplingA);
    if (row->bodyB && !IsOneSided(row))
        count = AddSide(movers, count, row->bodyB, -1.0f, angular, &row->rB, &row->nB, &row->wB,
                        row->couplingB);
    if (!indexed)
    {
        for (int32_t j = 0; j <= i; ++j)
            out[j] = Entry(movers, count, rows[j]);
        return;
    }
    uint64_t touched[kIndexWords] = {};
    for (int32_t k = 0; k < count; ++k)
    {
        const int32_t b = FindIndexed(movers[k].body);
        if (b >= 0)
            for (int32_t w = 0; w < kIndexWords; ++w)
                touched[w] |= gIndexRows[b][w];
    }
    for (int32_t j = 0; j <= i; ++j)
        out[j] = 0.0f;
    const int32_t last = i / 64;
    touched[last] &= i % 64 == 63 ? ~uint64_t{0} : (uint64_t{2} << (i % 64)) - 1;
    for (int32_t w = 0; w <= last; ++w)
        for (uint64_t m = touched[w]; m != 0; m &= m - 1)
        {
            const int32_t j = w * 64 + __builtin_ctzll(m);
            out[j] = Entry(movers, count, rows[j]);
        }
}
} // namespace

bzV3 bz_Row_BodyBResponse(bzPhysRow *row)
{
    bzV3 m;
    Response(row->bodyB, IsAngular(row), &row->rB, &row->nB, &m, &row->wB);
    return m;
}

void bz_Phys_AngularMatrixRow(bzPhysRow *const *rows, int32_t i, float *out)
{
    BuildRow(rows, i, out, false);
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
    const bool indexed = IndexRows(rows, n);
    for (int32_t i = first < 0 ? 0 : first; i < n; ++i)
        BuildRow(rows, i, matrix + i * (i + 1) / 2, indexed);
}

void bz_Phys_BuildWholeMatrix(float *matrix, bzPhysRow *const *rows, int32_t n)
{
    bz_Phys_BuildContactMatrix(0, matrix, rows, n);
}
