// The debug audits of joints and contact-point velocities.
#include "collision/CollisionContact.h"
#include "core/Debug.h"
#include "maths/Vector.h"
#include "pc/PcDebug.h"
#include "physics/ConstraintRow.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintSolver.h"
#include "physics/Joint.h"
#include "physics/PhysObjectLists.h"
#include "physics/PhysSettings.h"

namespace
{
// The packed matrix of the contact factorisation, kept out of the stack for its size.
float gContactMatrix[BZ_SOLVER_MAX_ROWS * (BZ_SOLVER_MAX_ROWS + 1) / 2];

const bzM34 *CurrentPlacement(const BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

int32_t JointsOfChain(const BZDObject *first)
{
    int32_t mismatches = 0;
    for (const BZDObject *b = first; b; b = b->nextSibling)
    {
        const BZDJoint *joint = b->parentJoint;
        if (b->parent && joint && (joint->kind & 0x3) == 0x3)
        {
            bzV3 own, parents;
            bz_M34_TransformPointInto(&b->startTransform, &own, &joint->childAnchor);
            bz_M34_TransformPointInto(&b->parent->startTransform, &parents, &joint->parentAnchor);
            if (!(bz_V3_DistanceSq(&own, &parents) <= 0.0001f))
            {
                PDDebugBreakMessage("Physics: a joint's anchors have come apart\n");
                ++mismatches;
            }
        }
        mismatches += JointsOfChain(b->firstChild);
    }
    return mismatches;
}

// The contact point's velocity from the body's velocities and from its two placements.
void PointVelocities(const BZDObject *body, const bzV3 &point, float step, bzV3 *fromVelocities,
                     bzV3 *fromPlacements)
{
    bzV3 spin, turned;
    bz_V3_CrossInto(&body->angularVelocity, &point, &spin);
    bz_RotateV3Into(&body->startTransform, &turned, &spin);
    bz_V3_AddInto(&body->linearVelocity, &turned, fromVelocities);
    // The point is held relative to the centre of mass.
    bzV3 local, before, after;
    bz_V3_AddInto(&point, &body->centreOfMass, &local);
    bz_M34_TransformPointInto(&body->startTransform, &before, &local);
    bz_M34_TransformPointInto(CurrentPlacement(body), &after, &local);
    bz_V3_SubInto(&after, &before, fromPlacements);
    bz_V3_Scale(fromPlacements, step > 0.0f ? 1.0f / step : 0.0f);
}

bool Disagree(const bzV3 &fromVelocities, const bzV3 &fromPlacements)
{
    const float limit = 0.5f * bz_V3_Length(&fromPlacements);
    return !(bz_V3_Distance(&fromVelocities, &fromPlacements) <= limit);
}
} // namespace

int32_t bz_PhysObject_CheckJoints(BZDObject *first)
{
    return JointsOfChain(first);
}

int32_t bz_PhysContacts_CheckVelocities(int32_t count, const bzPhysRow *const *rows)
{
    if (!rows)
        return 0;
    const float step = bzPhysStepLength;
    int32_t mismatches = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        const bzPhysRow *row = rows[i];
        if (!row || !row->bodyA)
            continue;
        bzV3 v1, d1;
        PointVelocities(row->bodyA, row->rA, step, &v1, &d1);
        bool bad = Disagree(v1, d1);
        if (row->bodyB)
        {
            bzV3 v2, d2;
            PointVelocities(row->bodyB, row->rB, step, &v2, &d2);
            bad = bad || Disagree(v2, d2);
            bz_V3_Sub(&v1, &v2);
            bz_V3_Sub(&d1, &d2);
            bad = bad || Disagree(v1, d1);
        }
        if (bad)
        {
            PDDebugBreakMessage("Physics: a contact point's velocity disagrees with its motion\n");
            ++mismatches;
        }
    }
    return mismatches;
}

int32_t bz_PhysObject_FactorContacts(const BZDObject *body, bzPhysRow *rows, int32_t count,
                                     int32_t *gathered)
{
    bzPhysRow *table[BZ_SOLVER_MAX_ROWS];
    int32_t n = 0;
    if (body && rows)
        for (int32_t i = 0; i < count && n < BZ_SOLVER_MAX_ROWS; i++)
            if (rows[i].bodyA == body || rows[i].bodyB == body)
                table[n++] = &rows[i];
    if (gathered)
        *gathered = n;
    if (n == 0)
        return 0;
    bz_Phys_BuildContactMatrix(0, gContactMatrix, table, n);
    return bz_Phys_FactorPackedMatrix(gContactMatrix, n);
}
