// Friction rows, the force budget and the row hand-over.
#include "physics/FrictionRows.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyRotation.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"

#include <cmath>

namespace
{
uint32_t gPassStep = 0;
int32_t gPassCount = 0;

constexpr float kTinySlip = 1.1920929e-7f;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool TakesFriction(const bzPhysRow *row)
{
    const uint32_t type = row->type;
    if (type & (BZ_ROW_OFF | BZ_ROW_ANGULAR))
        return false;
    return type != BZ_ROW_FRICTION && type != BZ_ROW_TARGET && type != BZ_ROW_LINEAR_JOINT &&
           type != BZ_ROW_LINEAR_JOINT_WEAK;
}

// t . ((inverse moments x (r x t)) x r): the turning part of a body's response along t at r.
float TurnResponse(const BZDObject *body, const bzV3 &r, const bzV3 &t)
{
    bzV3 rt, w, wr;
    bz_V3_CrossInto(&r, &t, &rt);
    for (int i = 0; i < 3; ++i)
        w.v[i] = body->inversePrincipalMoments.v[i] * rt.v[i];
    bz_V3_CrossInto(&w, &r, &wr);
    return Dot(t, wr);
}

uint32_t ShapeSlot(const bzShape *shape, const BZDObject *body)
{
    return uint32_t(bz_Phys_ShapeSubstance(shape, body));
}

int32_t AddWorldFrictionRow(bzPhysRow *out, int32_t count, float *rhs, const bzPhysRow *contact)
{
    const BZDObject *a = contact->bodyA;
    if (a->previousSpeedSquared[0] > 1.0f)
        return count;
    bzV3 v, turn;
    const bzV3 w = bz_Phys_SlidingTurn(a, contact->nA);
    bz_V3_CrossInto(&w, &contact->rA, &turn);
    bz_V3_AddInto(&a->localLinearVelocity, &turn, &v);
    const float along = Dot(v, contact->nA);
    bzV3 vt = {
        {{v.x - contact->nA.x * along, v.y - contact->nA.y * along, v.z - contact->nA.z * along}}};
    const float s = std::sqrt(Dot(vt, vt));
    if (!(s > kTinySlip))
        return count; // no slip: no direction to hold
    const bzV3 t = {{{-vt.x / s, -vt.y / s, -vt.z / s}}};
    const uint32_t own = ShapeSlot(contact->shapeA, a),
                   other = bz_Phys_RowSurfaceSubstance(contact);
    const float mu = std::fabs(Dot(t, contact->rB)) <= 0.5f * bzgPhysSettings.contactSpeedTolerance
                         ? bz_SubstancePair_GetStaticFriction(own, other)
                         : bz_SubstancePair_GetSlidingFriction(own, other);
    const float k = a->inverseMass + TurnResponse(a, contact->rA, t);
    const float n = contact->value;
    if (!(0.5f * s < k * n * mu))
        return count;
    bzPhysRow &f = out[count];
    f = bzPhysRow{};
    f.weight = 1.0f;
    f.bodyA = contact->bodyA;
    f.link = contact->link;
    f.type = BZ_ROW_FRICTION;
    f.shapeA = contact->shapeA;
    f.rA = contact->rA;
    f.nA = t;
    f.rB.x = mu * n;
    f.nB = contact->nA;
    rhs[count] = s;
    return count + 1;
}
} // namespace

bzV3 bz_Phys_SlidingTurn(const BZDObject *body, const bzV3 &normal)
{
    BZ_ASSERT(body);
    const bzV3 &w = body->angularVelocity;
    const float spin = Dot(w, normal);
    const bzV3 rock = {{{w.x - normal.x * spin, w.y - normal.y * spin, w.z - normal.z * spin}}};
    const float dt = bzgPhysSettings.timeStep;
    if (!(Dot(rock, rock) * dt * dt < BZ_PHYS_TURN_ANGLE_SQ))
        return w;
    return bzV3{{{normal.x * spin, normal.y * spin, normal.z * spin}}};
}

int32_t bz_Phys_AddFrictionRows(bzPhysRow *out, int32_t count, bzPhysRow *rows, int32_t rowCount,
                                float *rhs)
{
    BZ_ASSERT(out && rhs && (rows || rowCount <= 0));
    if (!out || !rhs || (!rows && rowCount > 0))
        return count;
    if (bz_Phys_StepNumber() != gPassStep)
    {
        gPassStep = bz_Phys_StepNumber();
        gPassCount = 0;
    }
    if (++gPassCount > bzgPhysSettings.frictionPassLimit)
        return count;
    const int32_t n = rowCount < BZ_FRICTION_ROW_LIMIT ? rowCount : BZ_FRICTION_ROW_LIMIT;
    for (int32_t i = 0; i < n; ++i)
    {
        const bzPhysRow *row = &rows[i];
        if (!TakesFriction(row))
            continue;
        if (count >= BZ_FRICTION_ROW_LIMIT)
            return BZ_FRICTION_ROW_LIMIT;
        if (row->bodyB)
            count = bz_Phys_AddBodyFrictionRow(out, count, rhs, row, rows, rowCount);
        else
            count = AddWorldFrictionRow(out, count, rhs, row);
    }
    return count;
}

int32_t bz_Phys_AddBodyFrictionRow(bzPhysRow *out, int32_t count, float *rhs,
                                   const bzPhysRow *contact, bzPhysRow *rows, int32_t rowCount)
{
    BZ_ASSERT(out && rhs && contact && contact->bodyA && contact->bodyB);
    if (!out || !rhs || !contact || !contact->bodyA || !contact->bodyB ||
        count >= BZ_FRICTION_ROW_LIMIT)
        return count;
    const BZDObject *a = contact->bodyA, *b = contact->bodyB;
    const float n = contact->value;
    const float lighter = a->mass < b->mass ? a->mass : b->mass;
    if (!(n >= bzgPhysSettings.timeStep * lighter))
        return count;
    bzV3 va, vb, turn, world, vbA;
    bz_V3_CrossInto(&a->angularVelocity, &contact->rA, &turn);
    bz_V3_AddInto(&a->localLinearVelocity, &turn, &va);
    bz_V3_CrossInto(&b->angularVelocity, &contact->rB, &turn);
    bz_V3_AddInto(&b->localLinearVelocity, &turn, &vb);
    bz_M33_RotateV3Into(&b->startTransform, &world, &vb);
    bz_M34_InverseRotateV3Into(&a->startTransform, &vbA, &world);
    bzV3 d;
    bz_V3_SubInto(&va, &vbA, &d);
    const float along = Dot(d, contact->nA);
    for (int i = 0; i < 3; ++i)
        d.v[i] -= contact->nA.v[i] * along;
    const float s = std::sqrt(Dot(d, d));
    if (!(s >= 0.1f * bzgPhysSettings.contactDistance) || !(s > kTinySlip))
        return count;
    const bzV3 t1 = {{{-d.x / s, -d.y / s, -d.z / s}}};
    bzV3 t2;
    bz_M33_RotateV3Into(&a->startTransform, &world, &t1);
    bz_M34_InverseRotateV3Into(&b->startTransform, &t2, &world);
    const float k = a->inverseMass + b->inverseMass + TurnResponse(a, contact->rA, t1) +
                    TurnResponse(b, contact->rB, t2);
    if (!(std::fabs(k) >= 0.0001f))
        return count;
    const float j = s / k;
    if (j > n)
        return count;
    const float mu = bz_SubstancePair_GetSlidingFriction(ShapeSlot(contact->shapeA, a),
                                                         ShapeSlot(contact->shapeB, b));
    if (j > mu * n)
        return count;
    for (int32_t i = 0; rows && i < rowCount; ++i)
    {
        bzPhysRow &old = rows[i];
        if (old.type == BZ_ROW_FRICTION && old.bodyA == a && old.bodyB == b &&
            old.rA.x == contact->rA.x && old.rA.y == contact->rA.y && old.rA.z == contact->rA.z &&
            old.rB.x == contact->rB.x && old.rB.y == contact->rB.y && old.rB.z == contact->rB.z &&
            Dot(t1, old.nA) > 0.7f)
        {
            old.type |= BZ_ROW_OFF;
            break;
        }
    }
    bzPhysRow &f = out[count];
    f = bzPhysRow{};
    f.weight = 1.0f;
    f.bodyA = contact->bodyA;
    f.bodyB = contact->bodyB;
    f.link.budget = mu * n;
    f.type = BZ_ROW_FRICTION;
    f.shapeA = contact->shapeA;
    f.shapeB = contact->shapeB;
    f.rA = contact->rA;
    f.nA = t1;
    f.rB = contact->rB;
    f.nB = t2;
    rhs[count] = s;
    return count + 1;
}

namespace
{
float *Budget(bzPhysRow *row)
{
    return row->bodyB ? &row->link.budget : &row->rB.x;
}
} // namespace

int32_t bz_Phys_ClipFrictionForces(int32_t first, bzPhysRow *const *rows, int32_t end, int32_t nb,
                                   float *forces)
{
    BZ_ASSERT(rows && forces);
    if (!rows || !forces)
        return 0;
    float best = 2.0f;
    int32_t chosen = -1;
    for (int32_t i = first; i < end; ++i)
    {
        if (rows[i]->type != BZ_ROW_FRICTION)
            continue;
        float *budget = Budget(rows[i]);
        const float f = forces[nb + i];
        if (f > *budget && *budget / f < best)
        {
            best = *budget / f;
            chosen = i;
        }
        *budget -= f;
    }
    if (best >= 1.0f || chosen < 0)
        return 0;
    for (int32_t i = 0; i < nb; ++i)
        forces[i] *= best;
    for (int32_t i = 0; i < end; ++i)
    {
        float &f = forces[nb + i];
        if (rows[i]->type == BZ_ROW_FRICTION)
            *Budget(rows[i]) += (1.0f - best) * f;
        f *= best;
    }
    *Budget(rows[chosen]) = 0.0f;
    return 1;
}

namespace
{
BZDObject *BodyOfOwner(void *owner)
{
    return owner ? static_cast<BZDObject **>(owner)[1] : nullptr;
}
} // namespace

void bz_Phys_UnrebaseRows(int32_t count, bzPhysRow *const *list)
{
    BZ_ASSERT(list || count <= 0);
    for (int32_t i = 0; list && i < count; ++i)
    {
        bzPhysRow *row = list[i];
        bz_V3_NegateInto(&row->nB, &row->nB);
        bz_V3_AddInto(&row->rA, &row->bodyA->centreOfMass, &row->rA);
        row->bodyA = static_cast<BZDObject *>(row->bodyA->owner);
        if (row->bodyB)
        {
            bz_V3_AddInto(&row->rB, &row->bodyB->centreOfMass, &row->rB);
            row->bodyB = static_cast<BZDObject *>(row->bodyB->owner);
        }
    }
}

void bz_Phys_RebaseRows(int32_t count, bzPhysRow *const *list)
{
    BZ_ASSERT(list || count <= 0);
    for (int32_t i = 0; list && i < count; ++i)
    {
        bzPhysRow *row = list[i];
        bz_V3_NegateInto(&row->nB, &row->nB);
        row->bodyA = BodyOfOwner(row->bodyA);
        if (row->bodyA)
            bz_V3_SubInto(&row->rA, &row->bodyA->centreOfMass, &row->rA);
        if (row->bodyB)
        {
            row->bodyB = BodyOfOwner(row->bodyB);
            if (row->bodyB)
                bz_V3_SubInto(&row->rB, &row->bodyB->centreOfMass, &row->rB);
        }
    }
}
