// Bounce records: summing, applying, ageing and forgetting them.
#include "physics/Bounce.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyLinks.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"

#include <cmath>

namespace
{
int32_t gRecordsExist = 0;

float Length(const bzV3 &v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

bzPhysBounce *Records(BZDObject *body)
{
    return static_cast<bzPhysBounce *>(body->bounces);
}

BZDObject *BodyOf(void *owner)
{
    return owner ? static_cast<BZDObject **>(owner)[1] : nullptr;
}

uint32_t SideSubstance(const bzShape *shape, const BZDObject *body)
{
    return uint32_t(bz_Phys_ShapeSubstance(shape, body));
}

void AddScaled(bzV3 *to, const bzV3 &v, float s)
{
    to->x += v.x * s;
    to->y += v.y * s;
    to->z += v.z * s;
}

void ChangeVelocity(BZDObject *body, const bzV3 &dvWorld, const bzV3 &dwBody)
{
    bz_V3_AddInto(&body->linearVelocity, &dvWorld, &body->linearVelocity);
    bz_M34_InverseRotateV3Into(&body->startTransform, &body->localLinearVelocity,
                               &body->linearVelocity);
    bz_V3_AddInto(&body->angularVelocity, &dwBody, &body->angularVelocity);
    if (body->physicsFlags & BZ_PHYS_WELDED_ROWS)
    {
        bzV3 dwWorld;
        bz_M33_RotateV3Into(&body->startTransform, &dwWorld, &dwBody);
        bz_Body_PropagateVelocityChange(body, body, &dvWorld, &dwWorld);
    }
    body->asleep = 0;
}

// Drops the records of the body that name owner; all of them for a null owner.
void DropNaming(BZDObject *body, void *owner)
{
    bzPhysBounce *r = Records(body);
    int32_t kept = 0;
    for (int32_t i = 0; r && i < body->bounceCount; ++i)
    {
        if (owner && r[i].ownerA != owner && r[i].ownerB != owner)
            r[kept++] = r[i];
    }
    body->bounceCount = kept;
}

void ForgetInList(BZDObject *first, BZDObject *gone)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        if (b != gone && b->bounceCount > 0 && gone->owner)
            DropNaming(b, gone->owner);
        ForgetInList(b->firstChild, gone);
    }
}
} // namespace

int32_t bz_Phys_RecordBounce(BZDObject *bodyA, BZDObject *bodyB, const bzPhysRow *row, float x)
{
    BZ_ASSERT(bodyA && row);
    if (!bodyA || !row || !std::isfinite(x))
        return 0;
    const uint32_t own = SideSubstance(row->shapeA, bodyA);
    const uint32_t other =
        bodyB ? SideSubstance(row->shapeB, bodyB) : bz_Phys_RowSurfaceSubstance(row);
    const float e = bz_SubstancePair_GetRestitution(own, other);
    if (!(e > 0.0f))
        return 0;
    BZDObject *keeper = bodyA;
    if (bodyB && (bodyB->inverseMass > bodyA->inverseMass ||
                  (bodyB->inverseMass == bodyA->inverseMass && bodyA < bodyB)))
        keeper = bodyB;
    void *ownerB = bodyB ? bodyB->owner : nullptr;
    gRecordsExist = 1;
    bzPhysBounce *records = Records(keeper);
    bzPhysBounce *record = nullptr;
    for (int32_t i = 0; records && i < keeper->bounceCount; ++i)
    {
        if (records[i].ownerA == bodyA->owner && records[i].ownerB == ownerB)
            record = &records[i];
    }
    if (!record)
    {
        if (keeper->bounceCount >= BZ_BOUNCE_RECORDS_PER_BODY)
            return 1;
        if (!records)
        {
            records = static_cast<bzPhysBounce *>(
                bz_MemAlloc(sizeof(bzPhysBounce) * BZ_BOUNCE_RECORDS_PER_BODY, BZ_MEM_CLEAR));
            if (!records)
                return 1;
            keeper->bounces = records;
        }
        record = &records[keeper->bounceCount++];
        *record = bzPhysBounce{};
        record->ownerA = bodyA->owner;
        record->ownerB = ownerB;
        record->restitution = e;
        record->substanceA = own;
        record->substanceB = other;
        const float sA = Length(bodyA->frameStartLinearVelocity);
        if (!bodyB)
            record->threshold = sA * bodyA->mass * 1.5f;
        else
        {
            const float sB = Length(bodyB->frameStartLinearVelocity);
            const float product = bodyA->mass * bodyB->mass;
            record->threshold =
                product > 0.0f ? (sA + sB) * 0.5f * ((bodyA->mass + bodyB->mass) / product) * 1.5f
                               : 0.0f;
        }
    }
    bzV3 world;
    bz_M33_RotateV3Into(&bodyA->startTransform, &world, &row->nA);
    AddScaled(&record->sum, world, x);
    AddScaled(&record->angularSumA, row->wA, x);
    if (bodyB)
        AddScaled(&record->angularSumB, row->wB, -x);
    return 1;
}

void bz_Body_PropagateVelocityChange(BZDObject *root, BZDObject *body, const bzV3 *dv,
                                     const bzV3 *dw)
{
    BZ_ASSERT(root && body && dv && dw);
    if (!root || !body || !dv || !dw)
        return;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        if (!(c->physicsFlags & BZ_PHYS_WELDED))
            continue;
        // A rigid turn about the root's centre: the child's centre moves by dw x (c - root).
        bzV3 rootCentre, childCentre, arm, turn;
        bz_M34_TransformPointInto(&root->startTransform, &rootCentre, &root->centreOfMass);
        bz_M34_TransformPointInto(&c->startTransform, &childCentre, &c->centreOfMass);
        bz_V3_SubInto(&childCentre, &rootCentre, &arm);
        bz_V3_CrossInto(dw, &arm, &turn);
        bz_V3_AddInto(&c->linearVelocity, dv, &c->linearVelocity);
        bz_V3_AddInto(&c->linearVelocity, &turn, &c->linearVelocity);
        bzV3 local;
        bz_M34_InverseRotateV3Into(&c->startTransform, &local, dw);
        bz_V3_AddInto(&c->angularVelocity, &local, &c->angularVelocity);
        bz_M34_InverseRotateV3Into(&c->startTransform, &c->localLinearVelocity, &c->linearVelocity);
        bz_Body_PropagateVelocityChange(root, c, dv, dw);
    }
}

void bz_Body_ApplyBounceRecords(BZDObject *body)
{
    BZ_ASSERT(body);
    bzPhysBounce *records = body ? Records(body) : nullptr;
    if (!records)
        return;
    int32_t kept = 0;
    for (int32_t i = 0; i < body->bounceCount; ++i)
    {
        bzPhysBounce r = records[i];
        BZDObject *a = BodyOf(r.ownerA);
        BZDObject *b = r.ownerB ? BodyOf(r.ownerB) : nullptr;
        if (!a || (r.ownerB && !b))
            continue; // a body of the pair is gone
        if (a->contactKind & BZ_PHYS_CONTACT_ANGULAR_LIMIT)
            r.angularPendingA = r.angularSumA = bzV3{};
        if (b && (b->contactKind & BZ_PHYS_CONTACT_ANGULAR_LIMIT))
            r.angularPendingB = r.angularSumB = bzV3{};
        const float pending = Length(r.pending);
        if (pending <= r.threshold)
        {
            if (Length(r.sum) <= r.threshold)
                continue;
            r.pending = r.sum;
            r.angularPendingA = r.angularSumA;
            r.angularPendingB = r.angularSumB;
            r.sum = r.angularSumA = r.angularSumB = bzV3{};
            records[kept++] = r;
            continue;
        }
        bz_Body_MarkRootDisturbed(a);
        if (b)
            bz_Body_MarkRootDisturbed(b);
        const float f = (pending - r.threshold) / pending;
        bzV3 J = r.sum;
        AddScaled(&J, r.pending, f);
        float c = r.restitution;
        const float m = b && b->mass < a->mass ? b->mass : a->mass;
        const float size = Length(J);
        if (size > 100.0f * m && size > 0.0f)
            c = r.restitution * 100.0f * m / size;
        bzV3 dv, dw = {};
        bz_V3_ScaleInto(&J, &dv, c * a->inverseMass);
        AddScaled(&dw, r.angularPendingA, c);
        AddScaled(&dw, r.angularSumA, f * c);
        ChangeVelocity(a, dv, dw);
        if (b)
        {
            bz_V3_ScaleInto(&J, &dv, -c * b->inverseMass);
            dw = bzV3{};
            AddScaled(&dw, r.angularPendingB, c);
            AddScaled(&dw, r.angularSumB, f * c);
            ChangeVelocity(b, dv, dw);
        }
        r.sum = r.pending = bzV3{};
        r.angularSumA = r.angularPendingA = r.angularSumB = r.angularPendingB = bzV3{};
        records[kept++] = r;
    }
    body->bounceCount = kept;
}

namespace
{
void ApplyInList(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        bz_Body_ApplyBounceRecords(b);
        gRecordsExist |= b->bounceCount > 0;
        ApplyInList(b->firstChild);
    }
}
} // namespace

void bz_Phys_ApplyBounceRecordsInList(BZDObject *first)
{
    if (!first || (!gRecordsExist && !first->parent))
        return;
    gRecordsExist = 0;
    ApplyInList(first);
}

void bz_Phys_ForgetBounceRecords(BZDObject *body, BZDObject *world)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    if (body->bounces)
        bz_MemFree(body->bounces);
    body->bounces = nullptr;
    body->bounceCount = 0;
    ForgetInList(world, body);
}

int32_t bz_Phys_BounceRecordsExist()
{
    return gRecordsExist;
}
