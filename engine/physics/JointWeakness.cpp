// The weakness protocol of breakable joints.
#include "physics/JointWeakness.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "maths/Vector.h"
#include "physics/BodySleep.h"
#include "physics/BodyTree.h"
#include "physics/Joint.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <cmath>

namespace
{
// The most runs one check follows (the rows of one solve).
constexpr int32_t kMaxRuns = 152;

struct Active
{
    bzPhysJointWeakness *record;
    bool angular;
    bzV3 step; // this step's impulse of the run
    int32_t firstRow;
};

void *OwnerOf(const BZDObject *body)
{
    return body ? body->owner : nullptr;
}

// The top of a body's jointed tree: climbing parents while the joint to the parent is set.
BZDObject *TopOf(BZDObject *body)
{
    while (body->parent && body->parentJoint)
        body = body->parent;
    return body;
}

int32_t Call(void (*fn)(), const bzPhysRow *row, int32_t limit, float threshold)
{
    auto cb = reinterpret_cast<bzPhysJointWeaknessCallBack>(fn);
    BZDObject *partner = row->bodyB;
    if (partner && partner == row->bodyA->top)
        partner = row->bodyA->parent;
    return cb(OwnerOf(row->bodyA), OwnerOf(partner), limit, std::sqrt(threshold));
}
} // namespace

int32_t bz_Phys_CheckWeakness(float *values, int32_t valueCount, bzPhysRow *const *rows,
                              int32_t first, int32_t count, BZDObject *world)
{
    BZ_ASSERT(values && rows);
    if (!values || !rows || count <= 0)
        return 0;
    const float dt = bzgPhysSettings.timeStep;
    Active active[kMaxRuns];
    int32_t activeCount = 0, chosen = -1;
    float best = 0.0f;
    for (int32_t i = first; i < first + count;)
    {
        const bzPhysRow *row = rows[i];
        int32_t run = row->link.sharedRows + 1;
        if (run < 1 || run > 3)
            run = 1;
        if (i + run > first + count)
            run = first + count - i;
        const uint32_t type = row->type & ~BZ_ROW_OFF;
        const bool angular = type == BZ_ROW_ANGULAR_JOINT_WEAK;
        BZDJoint *joint =
            (type == BZ_ROW_LINEAR_JOINT_WEAK || angular) ? bz_Row_JointRecord(row) : nullptr;
        bzPhysJointWeakness *record = joint ? joint->weakness : nullptr;
        const float threshold =
            record ? (angular ? record->angularThreshold : record->linearThreshold) : -1.0f;
        void (*fn)() = record ? (angular ? record->angular : record->linear) : nullptr;
        if (record && fn && threshold >= 0.0f && activeCount < kMaxRuns)
        {
            bzV3 step = {};
            for (int32_t k = 0; k < run; ++k)
                step.v[k] = values[i + k];
            bzV3 &sum = angular ? record->angularImpulse : record->linearImpulse;
            bz_V3_AddInto(&sum, &step, &sum);
            const float limit = dt * threshold;
            if (bz_V3_LengthSq(&sum) > limit * limit)
            {
                float t = bz_Phys_TimeToDistance(run, &sum, &step, limit * limit);
                if (!(t > 0.0f))
                    t = 0.0f;
                if (chosen < 0 || t < best)
                {
                    best = t;
                    chosen = activeCount;
                }
                active[activeCount++] = {record, angular, step, i};
            }
        }
        i += run;
    }
    if (chosen < 0)
        return 0;
    if (activeCount >= 2)
    {
        for (int32_t k = 0; k < activeCount; ++k)
        {
            bzV3 &sum = active[k].angular ? active[k].record->angularImpulse
                                          : active[k].record->linearImpulse;
            bz_V3_SubScaledInto(&sum, &active[k].step, 1.0f - best, &sum);
        }
    }
    const Active &a = active[chosen];
    const bzPhysRow *row = rows[a.firstRow];
    const int32_t answer =
        Call(a.angular ? a.record->angular : a.record->linear, row, a.angular ? 1 : 0,
             a.angular ? a.record->angularThreshold : a.record->linearThreshold);
    if (answer == BZ_PHYS_CB_NOTHING)
        return 0;
    for (int32_t k = 0; k < valueCount; ++k)
        values[k] *= best;
    if (answer == BZ_PHYS_CB_BROKE)
    {
        BZDObject *top = TopOf(row->bodyA);
        if (top->treeStep)
            top->treeStep->state = -1;
        if (world && top->asleep)
            bz_Phys_WakeBody(top, world);
        return 1;
    }
    bz_ReportError("constraint weakness call back", "Invalid return value");
    return 1;
}

void bz_Phys_BreakRowJoint(const bzPhysRow *row)
{
    if (!row || !row->bodyA)
        return;
    BZDJoint *joint = bz_Row_JointRecord(row);
    bzPhysJointWeakness *record = joint ? joint->weakness : nullptr;
    if (!record)
        return;
    if (record->angular && record->angularThreshold > 0.0f)
        Call(record->angular, row, 1, record->angularThreshold);
    if (record->linear && record->linearThreshold > 0.0f)
        Call(record->linear, row, 0, record->linearThreshold);
}
