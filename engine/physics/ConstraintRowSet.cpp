// Assembling the row set of a tree solve: merging contact rows, gathering joint rows, pinning
// rows against immovable bodies, and the small row accessors.
#include "physics/ConstraintRow.h"

#include "collision/CollisionFace.h"
#include "collision/Shape.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"
#include "physics/TreeStep.h"

namespace
{
// The friction budget of a friction row: in the link word with a bodyB, else in rB.x.
float FrictionBudget(const bzPhysRow *row)
{
    return row->bodyB ? row->link.budget : row->rB.x;
}

// True when a row of the set opposes the candidate: same type and bodies, and the dot of the
// two directions below limit.
bool Opposed(const bzPhysRow *rows, int32_t count, const bzPhysRow *c, float limit)
{
    for (int32_t k = 0; k < count; ++k)
    {
        const bzPhysRow &r = rows[k];
        if (r.type == c->type && r.bodyA == c->bodyA && r.bodyB == c->bodyB &&
            bz_V3_Dot(&r.nA, &c->nA) < limit)
            return true;
    }
    return false;
}
} // namespace

int32_t bz_JointRowCount(uint16_t rowCountWord)
{
    const int32_t linear = rowCountWord & 0xff;
    const int32_t angular = rowCountWord >> 8;
    return linear + (angular == 4 ? 0 : angular);
}

int32_t bz_Phys_MergeContactRows(bzPhysRow *rows, int32_t count, const bzPhysRow *candidates,
                                 int32_t candidateCount)
{
    for (int32_t k = 0; k < candidateCount && count < BZ_ROW_MERGE_LIMIT; ++k)
    {
        const bzPhysRow *c = &candidates[k];
        if (c->type & BZ_ROW_OFF)
            continue;
        if (c->type == BZ_ROW_FRICTION && FrictionBudget(c) <= BZ_ROW_FRICTION_MIN_BUDGET)
            continue;
        if ((c->type == BZ_ROW_LINEAR_JOINT || c->type == BZ_ROW_ANGULAR_JOINT) &&
            Opposed(rows, count, c, -0.995f))
            continue;
        rows[count++] = *c;
    }
    return count;
}

int32_t bz_Phys_MergeWorldContactRows(bzPhysRow *rows, int32_t count, const bzPhysRow *candidates,
                                      int32_t candidateCount)
{
    for (int32_t k = 0; k < candidateCount && count < BZ_ROW_MERGE_LIMIT; ++k)
    {
        const bzPhysRow *c = &candidates[k];
        if (c->type != BZ_ROW_ANGULAR_JOINT || c->bodyB)
            continue;
        if (Opposed(rows, count, c, 0.0f))
            continue;
        rows[count++] = *c;
    }
    return count;
}

int32_t bz_Phys_GatherJointRows(BZDObject *first, bzPhysTreeStep **records, int32_t *recordCount,
                                bzPhysRow **rowPointers)
{
    *recordCount = 0;
    int32_t gathered = 0;
    BZDObject *body = first;
    while (body)
    {
        if (body->treeStep)
        {
            const int32_t rows = body->jointRowCount;
            if (gathered + rows > BZ_ROW_JOINT_GATHER_LIMIT)
                break;
            records[(*recordCount)++] = body->treeStep;
            bzPhysRow *array = static_cast<bzPhysRow *>(body->jointRows);
            for (int32_t k = 0; k < rows; ++k)
                rowPointers[gathered++] = &array[k];
        }
        body = body->ring;
        if (body == first)
            break;
    }
    return gathered;
}

void bz_Phys_PinHeavyBodies(bzPhysRow *rows, int32_t count)
{
    for (int32_t k = 0; k < count; ++k)
    {
        bzPhysRow &r = rows[k];
        if (!r.bodyB)
            continue;
        if (!(r.bodyB->physicsFlags & BZ_PHYS_HEAVY))
        {
            if (!(r.bodyA->physicsFlags & BZ_PHYS_HEAVY))
                continue;
            bzV3 nA, nB;
            bz_V3_NegateInto(&r.nB, &nA);
            bz_V3_NegateInto(&r.nA, &nB);
            r.nA = nA;
            r.nB = nB;
            const bzV3 rA = r.rA;
            r.rA = r.rB;
            r.rB = rA;
            BZDObject *a = r.bodyA;
            r.bodyA = r.bodyB;
            r.bodyB = a;
        }
        r.type = BZ_ROW_ONE_SIDED;
        r.nB = bzV3{};
        r.wB = bzV3{};
    }
}

BZDJoint *bz_Row_JointRecord(const bzPhysRow *row)
{
    if (!row->bodyB)
        return row->bodyA->worldJoint;
    if (row->bodyB == row->bodyA->top)
        return row->bodyA->parentJoint;
    return row->bodyA->secondJoint;
}

int32_t bz_Phys_ShapeSubstance(const bzShape *shape, const BZDObject *body)
{
    if (shape && shape->userWord)
        return static_cast<int32_t>(shape->userWord);
    return body->substance;
}

uint32_t bz_Phys_RowSurfaceSubstance(const bzPhysRow *row)
{
    const auto *face = static_cast<const bzCollisionFace *>(row->link.surface);
    return face && face->material ? bz_Substance_SlotOf(face->material) : 0;
}
