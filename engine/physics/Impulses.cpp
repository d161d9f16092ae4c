// Row impulses, the world-contact list, contact friction and the spin limit.
#include "physics/Impulses.h"

#include "core/Debug.h"
#include "core/Random.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyKinematics.h"
#include "physics/BodyLinks.h"
#include "physics/BodyWeld.h"
#include "physics/Bounce.h"
#include "physics/Coupling.h"
#include "physics/FrictionRows.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"

#include <cmath>

namespace
{
bzPhysRow gWorldContacts[BZ_WORLD_CONTACT_LIMIT];
int32_t gWorldContactCount = 0;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

const bzM34 *Current(const BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

bool OneSided(const bzPhysRow *row)
{
    return (row->type & ~BZ_ROW_OFF) == BZ_ROW_ONE_SIDED;
}

void MarkIfStale(BZDObject *body)
{
    if (body && body->gatherStamp != bz_Phys_Iteration())
        bz_Body_MarkTree(body);
}

// Linear velocity change along n (body frame) and angular change w, both scaled by y; the world
// velocity follows through the start-of-step rotation unless deferred.
void Push(BZDObject *body, float y, const bzV3 &n, const bzV3 &w, bool linear)
{
    if (linear)
    {
        bzV3 dv;
        bz_V3_ScaleInto(&n, &dv, y * body->inverseMass);
        bz_V3_AddInto(&body->localLinearVelocity, &dv, &body->localLinearVelocity);
    }
    bzV3 dw;
    bz_V3_ScaleInto(&w, &dw, y);
    bz_V3_AddInto(&body->angularVelocity, &dw, &body->angularVelocity);
}

void WorldFromLocal(BZDObject *body, const bzM34 *frame)
{
    bz_M33_RotateV3Into(frame, &body->linearVelocity, &body->localLinearVelocity);
}

// Angular change w and a linear change along d (body frame, taken into the world through the
// current frame), both scaled by y; the body-frame velocity holds the change through the
// start-of-step frame, as everywhere else in the step, and the world velocity follows it.
void PushWorld(BZDObject *body, float y, const bzV3 &d, const bzV3 &w)
{
    Push(body, y, d, w, false);
    bzV3 world, local;
    bz_M33_RotateV3Into(Current(body), &world, &d);
    bz_M34_InverseRotateV3Into(&body->startTransform, &local, &world);
    Push(body, y, local, bzV3{}, true);
    WorldFromLocal(body, &body->startTransform);
}

// The body's coupling record, or null (none, or the marker of a tree's preparation).
const bzPhysCoupling *Coupled(const BZDObject *body)
{
    if (!body || !body->coupling || body->coupling == BZ_PHYS_COUPLING_MARKER)
        return nullptr;
    const auto *c = static_cast<const bzPhysCoupling *>(body->coupling);
    return c->partner && c->partner->coupling && c->partner->coupling != BZ_PHYS_COUPLING_MARKER
               ? c
               : nullptr;
}

// One side of a row: bodyA (sign +1) or bodyB (-1).
struct Side
{
    BZDObject *body;
    const bzV3 *n;
    const bzV3 *w;
    const float *coupling;
};

Side SideOf(bzPhysRow *row, float sign)
{
    if (sign > 0.0f)
        return {row->bodyA, &row->nA, &row->wA, row->couplingA};
    return {row->bodyB, &row->nB, &row->wB, row->couplingB};
}

void ApplyOne(bzPhysRow *row, float x)
{
    const bool linear = !(row->type & BZ_ROW_ANGULAR);
    bzPhysRow *const rows[1] = {row};
    float sum[3];
    if (Coupled(row->bodyA))
        bz_Phys_ApplyCoupledImpulses(row->bodyA, rows, &x, 1, sum, 1.0f);
    else
        Push(row->bodyA, x, row->nA, row->wA, linear);
    if (row->bodyB && !OneSided(row))
    {
        if (Coupled(row->bodyB))
            bz_Phys_ApplyCoupledImpulses(row->bodyB, rows, &x, 1, sum, -1.0f);
        else
            Push(row->bodyB, -x, row->nB, row->wB, linear);
    }
}

bzV3 PointVelocity(const BZDObject *body, const bzV3 &r)
{
    return bz_Body_PointVelocity(body, r);
}

// A body-frame vector of from's current frame in to's current frame.
bzV3 Across(const BZDObject *from, const BZDObject *to, const bzV3 &v)
{
    return bz_Body_CarryDirection(Current(from), Current(to), v);
}

bzV3 Response(const BZDObject *body, const bzV3 &r, const bzV3 &d)
{
    bzV3 rd, a;
    bz_V3_CrossInto(&r, &d, &rd);
    for (int i = 0; i < 3; ++i)
        a.v[i] = body->inversePrincipalMoments.v[i] * rd.v[i];
    return a;
}

float TurnTerm(const bzV3 &d, const bzV3 &a, const bzV3 &r)
{
    bzV3 ar;
    bz_V3_CrossInto(&a, &r, &ar);
    return Dot(d, ar);
}
} // namespace

void bz_Phys_ApplyRowImpulse(bzPhysRow *row, float x)
{
    BZ_ASSERT(row && row->bodyA);
    if (!row || !row->bodyA || !std::isfinite(x))
        return;
    MarkIfStale(row->bodyA);
    if (!OneSided(row))
        MarkIfStale(row->bodyB);
    ApplyOne(row, x);
    if (!(row->type & BZ_ROW_ANGULAR))
    {
        WorldFromLocal(row->bodyA, &row->bodyA->startTransform);
        if (row->bodyB && !OneSided(row))
            WorldFromLocal(row->bodyB, &row->bodyB->startTransform);
    }
}

int32_t bz_Phys_ApplyBundleImpulses(bzPhysRow *const *rows, const float *x)
{
    BZ_ASSERT(rows && rows[0] && x);
    if (!rows || !rows[0] || !x)
        return 1;
    bzPhysRow *first = rows[0];
    const int32_t size = 1 + (first->link.sharedRows > 0 ? first->link.sharedRows : 0);
    float total = 0.0f;
    const bool twoSided = first->bodyB && !OneSided(first);
    for (int32_t i = 0; i < size; ++i)
    {
        if (!std::isfinite(x[i]))
            continue;
        const bool linear = !(rows[i]->type & BZ_ROW_ANGULAR);
        if (!Coupled(first->bodyA))
            Push(first->bodyA, x[i], rows[i]->nA, rows[i]->wA, linear);
        if (twoSided && !Coupled(first->bodyB))
            Push(first->bodyB, -x[i], rows[i]->nB, rows[i]->wB, linear);
        total += std::fabs(x[i]);
    }
    // A coupled body takes the whole bundle at once, its partner the bundle's coupling.
    float sum[3];
    if (Coupled(first->bodyA))
        bz_Phys_ApplyCoupledImpulses(first->bodyA, rows, x, size, sum, 1.0f);
    if (twoSided && Coupled(first->bodyB))
        bz_Phys_ApplyCoupledImpulses(first->bodyB, rows, x, size, sum, -1.0f);
    WorldFromLocal(first->bodyA, &first->bodyA->startTransform);
    if (first->bodyB && !OneSided(first))
        WorldFromLocal(first->bodyB, &first->bodyB->startTransform);
    if (total != 0.0f)
    {
        MarkIfStale(first->bodyA);
        if (!OneSided(first))
            MarkIfStale(first->bodyB);
    }
    return size;
}

namespace
{
// The bounce sums of a run of rows: the first row of each pair decides whether the pair's rows
// are recorded.
struct BounceRun
{
    const BZDObject *lastA = nullptr, *lastB = nullptr;
    bool recording = false, first = true;

    void Record(bzPhysRow *row, float x)
    {
        BZDObject *partner = OneSided(row) ? nullptr : row->bodyB;
        if (first || row->bodyA != lastA || partner != lastB)
            recording = bz_Phys_RecordBounce(row->bodyA, partner, row, x) != 0;
        else if (recording)
            bz_Phys_RecordBounce(row->bodyA, partner, row, x);
        first = false;
        lastA = row->bodyA;
        lastB = partner;
    }
};
} // namespace

void bz_Phys_ApplyContactImpulses(bzPhysRow *const *rows, const float *x, int32_t count)
{
    BZ_ASSERT((rows && x) || count <= 0);
    BounceRun bounce;
    for (int32_t i = 0; rows && x && i < count; ++i)
    {
        bzPhysRow *row = rows[i];
        if (x[i] == 0.0f || (row->type & BZ_ROW_OFF) || !std::isfinite(x[i]))
        {
            row->type |= BZ_ROW_OFF;
            continue;
        }
        bz_Phys_ApplyRowImpulse(row, x[i]);
        if (!(row->type & BZ_ROW_ANGULAR) && row->type != BZ_ROW_TARGET &&
            row->type != BZ_ROW_FRICTION && gWorldContactCount < BZ_WORLD_CONTACT_LIMIT)
        {
            bzPhysRow &copy = gWorldContacts[gWorldContactCount++];
            copy = *row;
            copy.weight = x[i];
        }
        bounce.Record(row, x[i]);
    }
}

void bz_Phys_TakeBackContactImpulses(bzPhysRow *const *rows, const float *x, int32_t count)
{
    BZ_ASSERT((rows && x) || count <= 0);
    BounceRun bounce;
    for (int32_t i = 0; rows && x && i < count; ++i)
    {
        bzPhysRow *row = rows[i];
        if (x[i] == 0.0f || !std::isfinite(x[i]))
            continue;
        bz_Phys_ApplyRowImpulse(row, -x[i]);
        bounce.Record(row, -x[i]);
    }
}

void bz_Phys_ApplyCoupledAngularImpulse(BZDObject *body, const float coupling[4], float impulse)
{
    BZ_ASSERT(body && coupling);
    const bzPhysCoupling *c = body && coupling ? Coupled(body) : nullptr;
    if (!c || !std::isfinite(impulse))
        return;
    const float impulses[3] = {impulse * coupling[0], impulse * coupling[1], impulse * coupling[2]};
    BZDObject *both[2] = {body, c->partner};
    for (BZDObject *b : both)
    {
        bzV3 m, w;
        bz_Phys_CouplingImpulseResponse(b, impulses, &m, &w);
        bz_V3_AddInto(&b->localLinearVelocity, &m, &b->localLinearVelocity);
        bz_V3_AddInto(&b->angularVelocity, &w, &b->angularVelocity);
        WorldFromLocal(b, &b->startTransform);
    }
}

void bz_Phys_ApplyCoupledImpulses(BZDObject *body, bzPhysRow *const *rows, const float *impulses,
                                  int32_t count, float sum[3], float sign)
{
    BZ_ASSERT(body && sum && (count <= 0 || (rows && impulses)));
    if (!body || !sum)
        return;
    sum[0] = sum[1] = sum[2] = 0.0f;
    for (int32_t i = 0; rows && impulses && i < count; ++i)
    {
        const float x = sign * impulses[i];
        if (!std::isfinite(x))
            continue;
        const Side side = SideOf(rows[i], sign);
        Push(body, x, *side.n, *side.w, !(rows[i]->type & BZ_ROW_ANGULAR));
        for (int32_t k = 0; k < 3; ++k)
            sum[k] += x * side.coupling[k];
    }
    WorldFromLocal(body, &body->startTransform);
    const float words[4] = {sum[0], sum[1], sum[2], 0.0f};
    bz_Phys_ApplyCoupledAngularImpulse(body, words, 1.0f);
}

void bz_Phys_SpendWorldContactFriction(bzPhysRow *const *rows, const float *x, int32_t count)
{
    BZ_ASSERT((rows && x) || count <= 0);
    for (int32_t i = 0; rows && x && i < count; ++i)
    {
        const bzPhysRow *f = rows[i];
        if ((f->type & ~BZ_ROW_OFF) != BZ_ROW_FRICTION || f->bodyB || !(x[i] > 0.0f))
            continue;
        for (int32_t k = 0; k < gWorldContactCount; ++k)
        {
            bzPhysRow &c = gWorldContacts[k];
            if (c.bodyA == f->bodyA && (!c.bodyB || OneSided(&c)) && c.rA.x == f->rA.x &&
                c.rA.y == f->rA.y && c.rA.z == f->rA.z)
                c.weight = 0.0f;
        }
    }
}

int32_t bz_Phys_WorldContactCount()
{
    return gWorldContactCount;
}

bzPhysRow *bz_Phys_WorldContacts()
{
    return gWorldContacts;
}

void bz_Phys_ClearWorldContacts()
{
    gWorldContactCount = 0;
}

void bz_Body_LimitSpin(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    const float dt = bzgPhysSettings.timeStep;
    const float sq = Dot(body->angularVelocity, body->angularVelocity);
    if (!(sq * dt * dt > 2.4649003f))
        return;
    const float scale = 1.0f / (2.0f * 0.6369426f * std::sqrt(sq) * dt);
    bz_V3_ScaleInto(&body->angularVelocity, &body->angularVelocity, scale);
}

void bz_Phys_WorldContactFriction(bzPhysRow *row)
{
    BZ_ASSERT(row && row->bodyA);
    if (!row || !row->bodyA)
        return;
    BZDObject *body = row->bodyA;
    const float dt = bzgPhysSettings.timeStep;
    bzV3 r = row->rA;
    if ((row->type & ~BZ_ROW_OFF) == BZ_ROW_CONTACT_PULLED)
        bz_V3_ScaleInto(&r, &r, 1.0f - 0.005f);
    bzV3 world, n;
    bz_M33_RotateV3Into(&body->startTransform, &world, &row->nA);
    bz_M34_InverseRotateV3Into(Current(body), &n, &world);
    // The point slides by the body's sliding turn: a rocking too slow to turn the body moves none
    // of its points.
    const bzV3 turn = bz_Phys_SlidingTurn(body, n);
    bzV3 v;
    bz_V3_CrossInto(&turn, &r, &v);
    bz_V3_AddInto(&v, &body->localLinearVelocity, &v);
    const float along = Dot(v, n);
    bzV3 t = {{{v.x - n.x * along, v.y - n.y * along, v.z - n.z * along}}};
    const float s = std::sqrt(Dot(t, t));
    if (!(s >= 0.001f))
        return;
    const uint32_t own = uint32_t(bz_Phys_ShapeSubstance(row->shapeA, body));
    const uint32_t other = bz_Phys_RowSurfaceSubstance(row);
    float height = 0.0f, spacing = 0.0f, weight = 0.0f;
    bz_SubstancePair_GetBumps(own, other, &height, &spacing, &weight);
    if (height != 0.0f && dt > 0.0f && bz_RandomUnit() * spacing < s * dt && height / dt < s)
    {
        bzV3 wr;
        bz_V3_CrossInto(&body->angularVelocity, &r, &wr);
        const float den = Dot(row->nA, wr) + body->inverseMass;
        if (den != 0.0f)
        {
            const float k = (height / dt) / den;
            if (std::isfinite(k))
            {
                row->weight += k;
                bzV3 dv;
                bz_V3_ScaleInto(&row->nA, &dv, k * body->inverseMass);
                bz_V3_AddInto(&body->localLinearVelocity, &dv, &body->localLinearVelocity);
            }
        }
    }
    const float mu = body->wasAsleep == 0 ? bz_SubstancePair_GetSlidingFriction(own, other)
                                          : bz_SubstancePair_GetStaticFriction(own, other);
    bzV3 d;
    bz_V3_ScaleInto(&t, &d, -1.0f / s);
    bzV3 a = Response(body, r, d);
    const float tol = bzgPhysSettings.contactSpeedTolerance;
    const bzV3 &w = body->angularVelocity;
    if (bzgPhysSettings.frictionPassLimit == 0 && std::fabs(Dot(w, row->nA)) < 0.1f &&
        Dot(a, w) < 0.0f && Dot(body->linearVelocity, body->linearVelocity) < 6.25f * tol * tol &&
        Dot(w, w) < 0.01f)
    {
        const float u = std::sqrt(Dot(body->localLinearVelocity, body->localLinearVelocity));
        if (u > 0.0f)
        {
            a = bzV3{};
            const float spin = Dot(body->angularVelocity, row->nA);
            bzV3 remove;
            bz_V3_ScaleInto(&row->nA, &remove, spin);
            bz_V3_SubInto(&body->angularVelocity, &remove, &body->angularVelocity);
            bz_V3_ScaleInto(&body->localLinearVelocity, &d, -1.0f / u);
        }
    }
    const float den = TurnTerm(d, a, r) + body->inverseMass;
    if (!(den > 0.0f))
        return; // an immovable contact point: nothing to stop
    float k = s / den;
    if (!(std::fabs(k) >= 0.0001f))
        return;
    const float cap = mu * row->weight;
    if (k > cap)
        k = cap;
    bzV3 dw, dv;
    bz_V3_ScaleInto(&a, &dw, k);
    bz_V3_AddInto(&body->angularVelocity, &dw, &body->angularVelocity);
    bz_V3_ScaleInto(&d, &dv, k * body->inverseMass);
    bz_V3_AddInto(&body->localLinearVelocity, &dv, &body->localLinearVelocity);
    WorldFromLocal(body, &body->startTransform);
    bz_Body_LimitSpin(body);
    if (body->slidingCallBack)
    {
        bzV3 point;
        bz_V3_AddInto(&body->centreOfMass, &r, &point);
        body->slidingCallBack(body->owner, nullptr, row->link.surface, k, s, row->weight, &d,
                              &point, nullptr);
    }
}

void bz_Phys_BodyContactFriction(bzPhysRow *row)
{
    BZ_ASSERT(row && row->bodyA && row->bodyB);
    if (!row || !row->bodyA || !row->bodyB)
        return;
    BZDObject *a = row->bodyA, *b = row->bodyB;
    const bzV3 va = PointVelocity(a, row->rA);
    const bzV3 vb = Across(b, a, PointVelocity(b, row->rB));
    const bzV3 n = Across(b, a, row->nB);
    bzV3 slip;
    bz_V3_SubInto(&va, &vb, &slip);
    const float nn = Dot(n, n);
    if (nn > 0.0f)
    {
        const float along = Dot(slip, n) / nn;
        for (int i = 0; i < 3; ++i)
            slip.v[i] -= n.v[i] * along;
    }
    const float s = std::sqrt(Dot(slip, slip));
    if (!(s >= 0.001f))
        return;
    const float mu =
        bz_SubstancePair_GetSlidingFriction(uint32_t(bz_Phys_ShapeSubstance(row->shapeA, a)),
                                            uint32_t(bz_Phys_ShapeSubstance(row->shapeB, b)));
    bzV3 dA;
    bz_V3_ScaleInto(&slip, &dA, -1.0f / s);
    const bzV3 dB = Across(a, b, dA);
    const bzV3 aA = Response(a, row->rA, dA), aB = Response(b, row->rB, dB);
    const float K =
        a->inverseMass + b->inverseMass + TurnTerm(dA, aA, row->rA) + TurnTerm(dB, aB, row->rB);
    float k = 0.0f;
    if (std::fabs(K) > 0.0001f)
    {
        k = s / K;
        const float cap = mu * row->weight;
        if (k > cap)
            k = cap;
        // The slip directions are taken through the current frames: the linear changes are
        // equal and opposite in the world and each body keeps the rest of its velocity.
        PushWorld(a, k, dA, aA);
        PushWorld(b, -k, dB, aB);
    }
    bzV3 pointA, pointB;
    bz_V3_AddInto(&a->centreOfMass, &row->rA, &pointA);
    bz_V3_AddInto(&b->centreOfMass, &row->rB, &pointB);
    if (a->slidingCallBack)
        a->slidingCallBack(a->owner, b->owner, nullptr, k, s, row->weight, &dA, &pointA, &pointB);
    if (b->slidingCallBack && b->slidingCallBack != a->slidingCallBack)
        b->slidingCallBack(b->owner, a->owner, nullptr, k, s, row->weight, &dB, &pointB, &pointA);
}

void bz_Phys_FrictionPass()
{
    for (int32_t i = 0; i < gWorldContactCount; ++i)
    {
        bzPhysRow *row = &gWorldContacts[i];
        if (row->bodyB && !OneSided(row))
        {
            bz_Phys_BodyContactFriction(row);
            bz_Body_LimitSpin(row->bodyA);
            bz_Body_LimitSpin(row->bodyB);
        }
        else
            bz_Phys_WorldContactFriction(row);
    }
    gWorldContactCount = 0;
}
