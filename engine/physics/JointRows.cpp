// Joint rows of bodies and the coupling records of coupled joints.
#include "physics/JointRows.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyKinematics.h"
#include "physics/BodyWeld.h"
#include "physics/CoupledJoint.h"
#include "physics/Coupling.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

namespace
{
const bzV3 kUnit[3] = {{{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}};

uint32_t LinearType(const BZDJoint *joint)
{
    return joint->weakness && joint->weakness->linear ? BZ_ROW_LINEAR_JOINT_WEAK
                                                      : BZ_ROW_LINEAR_JOINT;
}

uint32_t AngularType(const BZDJoint *joint)
{
    return joint->weakness && joint->weakness->angular ? BZ_ROW_ANGULAR_JOINT_WEAK
                                                       : BZ_ROW_ANGULAR_JOINT;
}

void ClearWeakness(BZDJoint *joint, int32_t *reset)
{
    if (!joint->weakness)
        return;
    joint->weakness->linearImpulse = bzV3{};
    joint->weakness->angularImpulse = bzV3{};
    if (reset)
        *reset = 1;
}

// The axes of a kind: 1 the first, 2 the second then the first, 3 the three given unit axes.
int32_t Axes(uint8_t kind, const bzV3 pair[2], const bzV3 unit[3], bzV3 out[3], int32_t shared[3])
{
    switch (kind)
    {
    case 1:
        out[0] = pair[0];
        shared[0] = 0;
        return 1;
    case 2:
        out[0] = pair[1];
        out[1] = pair[0];
        shared[0] = 1;
        shared[1] = 0;
        return 2;
    case 3:
        for (int i = 0; i < 3; ++i)
        {
            out[i] = unit[i];
            shared[i] = i == 0 ? 2 : 0;
        }
        return 3;
    default: return 0;
    }
}

void AngularRow(bzPhysRow *row, BZDObject *a, BZDObject *b, const BZDJoint *joint,
                const bzV3 &axisB, int32_t shared)
{
    *row = bzPhysRow{};
    row->bodyA = a;
    row->bodyB = b;
    row->type = AngularType(joint);
    row->nB = axisB;
    row->nA = b ? bz_Body_CarryDirection(&b->startTransform, &a->startTransform, axisB) : axisB;
    row->link.sharedRows = shared;
}

int32_t WorldJointRows(BZDObject *body, BZDJoint *joint, bzPhysRow *rows)
{
    int32_t n = 0;
    bzV3 axes[3], given[2];
    int32_t shared[3];
    const bool inBody = (joint->flags & BZ_JOINT_AXIS_IN_BODY) != 0;
    if (!(body->physicsFlags & BZ_PHYS_INF_MASS))
    {
        for (int i = 0; i < 2; ++i)
        {
            given[i] = joint->linearAxis[i];
            if (!inBody)
                bz_M34_InverseRotateV3Into(&body->startTransform, &given[i], &joint->linearAxis[i]);
        }
        const int32_t count = Axes(joint->kind & 0xff, given, kUnit, axes, shared);
        for (int32_t i = 0; i < count; ++i)
        {
            bzPhysRow &r = rows[n++];
            r = bzPhysRow{};
            r.bodyA = body;
            r.type = LinearType(joint);
            bz_V3_SubInto(&joint->childAnchor, &body->centreOfMass, &r.rA);
            r.nA = axes[i];
            r.link.sharedRows = shared[i];
        }
    }
    if (!(body->physicsFlags & BZ_PHYS_INF_MI))
    {
        for (int i = 0; i < 2; ++i)
        {
            given[i] = joint->angularAxis[i];
            if (!inBody)
                bz_M34_InverseRotateV3Into(&body->startTransform, &given[i],
                                           &joint->angularAxis[i]);
        }
        const uint8_t angular = uint8_t(joint->kind >> 8);
        const int32_t count = angular == 4 ? 0 : Axes(angular, given, kUnit, axes, shared);
        for (int32_t i = 0; i < count; ++i)
            AngularRow(&rows[n++], body, nullptr, joint, axes[i], shared[i]);
    }
    return n;
}
} // namespace

void bz_Row_FromAnchor(bzPhysRow *row, BZDObject *bodyA, BZDObject *bodyB, const BZDJoint *joint,
                       const bzV3 *axis)
{
    BZ_ASSERT(row && bodyA && bodyB && joint && axis);
    if (!row || !bodyA || !bodyB || !joint || !axis)
        return;
    row->weight = 0.0f;
    row->bodyA = bodyA;
    row->bodyB = bodyB;
    bz_V3_SubInto(&joint->childAnchor, &bodyA->centreOfMass, &row->rA);
    bzV3 anchorB;
    if (bodyB == bodyA->parent)
        anchorB = joint->parentAnchor;
    else
    {
        bzV3 world;
        bz_M34_TransformPointInto(&bodyA->startTransform, &world, &joint->childAnchor);
        bz_M34_InverseTransformPointInto(&bodyB->startTransform, &anchorB, &world);
    }
    bz_V3_SubInto(&anchorB, &bodyB->centreOfMass, &row->rB);
    row->nB = *axis;
    row->nA = bz_Body_CarryDirection(&bodyB->startTransform, &bodyA->startTransform, *axis);
}

void bz_Row_FromAxisToParent(bzPhysRow *row, BZDObject *bodyA, BZDObject *bodyB,
                             const BZDJoint *joint, const bzV3 *axis)
{
    bz_Row_FromAnchor(row, bodyA, bodyB, joint, axis);
    if (row && joint)
        row->type = LinearType(joint);
}

int32_t bz_Phys_JointRowsFromRecord(bzPhysRow *rows, BZDObject *body, BZDObject *partner,
                                    BZDJoint *joint)
{
    BZ_ASSERT(body && partner && joint);
    if (!rows || !body || !partner || !joint)
        return 0;
    int32_t n = 0;
    bzV3 axes[3];
    int32_t shared[3];
    const int32_t linear = Axes(joint->kind & 0xff, joint->linearAxis, kUnit, axes, shared);
    for (int32_t i = 0; i < linear; ++i)
    {
        bzPhysRow &r = rows[n++];
        r = bzPhysRow{};
        bz_Row_FromAxisToParent(&r, body, partner, joint, &axes[i]);
        r.link.sharedRows = shared[i];
    }
    const uint8_t angular = uint8_t(joint->kind >> 8);
    if (angular == 4)
    {
        if (!body->coupling || body->coupling == BZ_PHYS_COUPLING_MARKER)
        {
            if (bz_Phys_CreateCouplingRecords(body) == 0)
            {
                bz_Phys_InitCouplingMatrices(body);
                bz_Phys_SolveCoupledJoint(body, 1);
            }
        }
        return n;
    }
    const int32_t count = Axes(angular, joint->angularAxis, kUnit, axes, shared);
    for (int32_t i = 0; i < count; ++i)
        AngularRow(&rows[n++], body, partner, joint, axes[i], shared[i]);
    return n;
}

int32_t bz_Phys_BodyJointRows(BZDObject *body, bzPhysRow *rows, int32_t *weaknessReset)
{
    BZ_ASSERT(body && rows);
    if (!body || !rows)
        return 0;
    int32_t n = 0;
    BZDJoint *joint = body->parentJoint;
    if (joint && joint->kind && !(body->physicsFlags & BZ_PHYS_WELDED))
    {
        ClearWeakness(joint, weaknessReset);
        BZDObject *partner = body->top ? body->top : body->parent;
        if (partner)
            n += bz_Phys_JointRowsFromRecord(rows + n, body, partner, joint);
    }
    if (body->secondJoint && body->secondPartner)
    {
        ClearWeakness(body->secondJoint, weaknessReset);
        n += bz_Phys_JointRowsFromRecord(rows + n, body, body->secondPartner, body->secondJoint);
    }
    if (body->worldJoint)
    {
        ClearWeakness(body->worldJoint, weaknessReset);
        n += WorldJointRows(body, body->worldJoint, rows + n);
    }
    return n;
}

int32_t bz_Phys_CreateCouplingRecords(BZDObject *body)
{
    BZ_ASSERT(body);
    BZDObject *rep = body ? (body->top ? body->top : body->parent) : nullptr;
    if (!body || !rep)
        return BZ_ERROR_INVALID_PARAMETER;
    const uint32_t bytes = 2 * sizeof(bzPhysCoupling);
    auto *records = static_cast<bzPhysCoupling *>(bz_PhysMem_Peek(bytes));
    if (!records || !bz_PhysMem_Advance(bytes))
        return BZ_ERROR_NO_MEMORY;
    records[0] = bzPhysCoupling{};
    records[1] = bzPhysCoupling{};
    records[0].partner = rep;
    records[1].partner = body;
    body->coupling = &records[0];
    rep->coupling = &records[1];
    return 0;
}

void bz_Phys_InitCouplingMatrices(BZDObject *body)
{
    BZ_ASSERT(body && body->coupling);
    if (!body || !body->coupling)
        return;
    auto *own = static_cast<bzPhysCoupling *>(body->coupling);
    BZDObject *rep = own->partner;
    auto *other = rep ? static_cast<bzPhysCoupling *>(rep->coupling) : nullptr;
    if (!other)
        return;
    bzM34 inverse;
    bz_InverseM34Into(&body->startTransform, &inverse);
    bz_MulM34Into(&inverse, &own->relative, &rep->startTransform);
    bz_InverseM34Into(&own->relative, &other->relative);
    own->state = 1;
    other->state = 1;
}
