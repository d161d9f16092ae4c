// The physics step: preparation, sort, settling, the iterations of each awake tree, friction,
// the end-of-step pass and sleep.
#include "physics/PhysStep.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/BodyLinks.h"
#include "physics/BodyPrepare.h"
#include "physics/BodyRest.h"
#include "physics/BodySleep.h"
#include "physics/Bounce.h"
#include "physics/BroadPhase.h"
#include "physics/CacheList.h"
#include "physics/ContactGather.h"
#include "physics/Impulses.h"
#include "physics/JointLimits.h"
#include "physics/JointPlacement.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/RowTargets.h"
#include "physics/TreeRecord.h"
#include "physics/TreeSolve.h"

#include <utility>

namespace
{
struct StepState
{
    bzPhysStepCallBack *callBack;
    BZDObject *currentRoot;
    BZDObject **worldHead;
    BZDObject *stepList; // bodies added during the step
    int32_t heavyContact;
    int32_t angularLimitRows;
    int32_t scaleRequested;
    float restingEnergy; // negative: none held
    const float *published;
    int32_t publishedCount;
};

StepState gStep = {nullptr, nullptr, nullptr, nullptr, 0, 0, 0, -1.0f, nullptr, 0};
bzPhysCollisionProvider gProvider = {};

float KeyX(const BZDObject *b)
{
    return b->startTransform.row[3].x;
}

// Insertion sort by the x of the start-of-step translation, scanning back from the sorted tail
// so that equal keys keep their order; the previous links are rebuilt.
void SortList(BZDObject **head)
{
    BZDObject *sorted = nullptr, *tail = nullptr;
    for (BZDObject *b = *head; b;)
    {
        BZDObject *next = b->nextSibling;
        BZDObject *after = tail;
        while (after && KeyX(after) > KeyX(b))
            after = after->rootList;
        if (!after)
        {
            b->rootList = nullptr;
            b->nextSibling = sorted;
            if (sorted)
                sorted->rootList = b;
            sorted = b;
            if (!tail)
                tail = b;
        }
        else
        {
            b->rootList = after;
            b->nextSibling = after->nextSibling;
            if (after->nextSibling)
                after->nextSibling->rootList = b;
            else
                tail = b;
            after->nextSibling = b;
        }
        b = next;
    }
    *head = sorted;
}

void NextIteration()
{
    uint16_t next = static_cast<uint16_t>(bz_Phys_Iteration() + 1);
    bz_Phys_SetIteration(next ? next : 1);
}

// Runs the gather-and-solve iterations of one tree.
void IterateTree(BZDObject *root)
{
    if (root->firstChild && root->firstChild->parentJoint)
        bz_Phys_SetTreeGroup(root, bz_Phys_NewSolveGroup());
    bz_Phys_SetWeldedRows((root->physicsFlags & BZ_PHYS_WELDED_ROWS) ? 1 : 0);
    gStep.angularLimitRows = 0;
    gStep.restingEnergy = -1.0f;
    gStep.currentRoot = root;
    bzPhysRow first[BZ_PHYS_CONTACT_ARRAY], second[BZ_PHYS_CONTACT_ARRAY];
    bzPhysRow *in = first, *out = second;
    int32_t previous = 0;
    int32_t iterations = 0;
    for (; iterations < BZ_PHYS_MAX_ITERATIONS; ++iterations)
    {
        previous = bz_Phys_SolveTree(*gStep.worldHead, root, in, out, previous, gStep.callBack);
        NextIteration();
        std::swap(in, out);
        if (previous == 0)
            break;
    }
    if (iterations == BZ_PHYS_MAX_ITERATIONS)
        bz_Phys_SeparateStuckTree(*gStep.worldHead, root, in);
    gStep.currentRoot = nullptr;
}

bool InWorldList(const BZDObject *body, BZDObject *const *head)
{
    return body == *head || body->rootList != nullptr;
}
} // namespace

void bz_Phys_SetCollisionProvider(const bzPhysCollisionProvider *provider)
{
    gProvider = provider ? *provider : bzPhysCollisionProvider{};
}

const bzPhysCollisionProvider *bz_Phys_CollisionProvider()
{
    return &gProvider;
}

int32_t bz_Phys_Step(BZDObject **worldHead, bzPhysStepCallBack *callBack)
{
    if (!worldHead || !*worldHead || bz_Phys_IsStepping())
        return 0;
    bool reserved = false;
    if (!bz_PhysMem_HasWorkArea())
    {
        if (bz_PhysMem_Reserve() != 0)
        {
            bz_Phys_ReportError(BZ_PHYS_ERROR_WORK_AREA, nullptr);
            return 0;
        }
        reserved = true;
    }
    bz_Phys_InstallTreeServices();

    // 1. Step state.
    bz_Phys_SetStepping(1);
    bz_Phys_ResetSolveGroups();
    gStep.callBack = callBack;
    gStep.worldHead = worldHead;
    gStep.stepList = nullptr;
    gStep.heavyContact = 0;
    gStep.scaleRequested = 0;
    bz_Phys_ClearPush();
    bz_Phys_SetIteration(0);
    bz_Phys_SetStepNumber(bz_Phys_StepNumber() + 1);
    bz_Phys_SetWeldedRows(0);
    bz_Phys_ResetExtents();
    bz_Phys_ClearWorldContacts();
    // Cache refreshes during the step keep the first body's world's cache list.
    bz_Phys_SetCacheList(bzgPhysWorld.cacheList ? bzgPhysWorld.cacheList(*worldHead) : nullptr);

    // The bounce of the last step's contacts, then 2. every body prepared in list order.
    bz_Phys_ApplyBounceRecordsInList(*worldHead);
    bz_Phys_PrepareList(*worldHead);

    // 3. Sorted by x for the broad phase; 4. fast spins settled.
    SortList(worldHead);
    bz_Phys_SettleContacts(*worldHead);

    // 5, 6. Each awake tree not yet solved iterates.
    bz_Phys_SetIteration(1);
    for (BZDObject *b = *worldHead; b; b = b->nextSibling)
    {
        if (b->solveGroup == 0 && !b->asleep)
            IterateTree(b);
    }

    // 7. Friction at the world contacts; 8. the end-of-step pass; 9. sleep.
    bz_Phys_FrictionPass();
    bz_Phys_EndStepList(*worldHead);
    bz_Phys_SleepQuietRings(*worldHead);

    // 10. The work area's records are gone.
    bz_PhysMem_ResetWorkArea();
    bz_Phys_SetCacheList(nullptr);
    gStep.worldHead = nullptr;
    gStep.callBack = nullptr;
    gStep.stepList = nullptr;
    bz_Phys_SetIteration(0);
    bz_Phys_SetStepping(0);
    if (reserved)
        bz_PhysMem_Release();
    return 0;
}

void bz_Phys_AddBody(BZDObject *body)
{
    if (!body || !bz_Phys_IsStepping() || !gStep.worldHead)
        return;
    body->treeStep = nullptr;
    bz_Phys_PrepareBody(body);
    body->stepList = gStep.stepList;
    gStep.stepList = body;
    // Due for gathering in the current iteration, with its parent chain.
    for (BZDObject *b = body; b; b = b->parent)
        b->gatherStamp = 0;
    if (!body->parent)
    {
        BZDObject **head = gStep.worldHead;
        if (!InWorldList(body, head))
        {
            body->rootList = nullptr;
            body->nextSibling = *head;
            if (*head)
                (*head)->rootList = body;
            *head = body;
        }
        bz_Phys_ResortRootBody(body, head);
    }
    if (bz_Phys_WakeNesting() > 0 && body->mode == 0)
        bz_Phys_DeferWake(body);
}

int32_t SumIndexedScale(float limit, const int32_t *indices, int32_t count)
{
    if (!gStep.published || !indices || count <= 0)
        return 0;
    float sum = 0.0f;
    for (int32_t i = 0; i < count; ++i)
    {
        if (indices[i] >= 0 && indices[i] < gStep.publishedCount)
            sum += gStep.published[indices[i]];
    }
    if (!(sum > limit) || !(sum > 0.0f))
        return 0;
    bzgPhysSettings.forceScale = limit / sum;
    gStep.scaleRequested = 1;
    return 1;
}

void bz_Phys_SetTreeVelocity(BZDObject *body, const bzV3 *velocity)
{
    for (BZDObject *b = body; b; b = bz_Body_NextInSubtree(b, body))
    {
        b->linearVelocity = velocity ? *velocity : bzV3{};
        bz_M34_InverseRotateV3Into(&b->startTransform, &b->localLinearVelocity, &b->linearVelocity);
        b->angularVelocity = bzV3{};
    }
}

int32_t bz_Phys_IsBusyOrSolving(const BZDObject *body)
{
    if (!body)
        return 0;
    if (body->busy)
        return 1;
    const BZDObject *root = gStep.currentRoot;
    return root && root->solveGroup != 0 && body->solveGroup == root->solveGroup ? 1 : 0;
}

void bz_Phys_MarkSubtreeStuck(BZDObject *body)
{
    for (BZDObject *b = body; b; b = bz_Body_NextInSubtree(b, body))
    {
        b->stuck = 1;
        b->physicsFlags |= BZ_PHYS_YIELDED | BZ_PHYS_YIELD_MARK;
    }
}

BZDObject *bz_Phys_CurrentRoot()
{
    return gStep.currentRoot;
}

void bz_Phys_SetCurrentRoot(BZDObject *root)
{
    gStep.currentRoot = root;
}

BZDObject **bz_Phys_WorldHead()
{
    return gStep.worldHead;
}

void bz_Phys_SetHeavyContact(int32_t on)
{
    gStep.heavyContact = on;
}

int32_t bz_Phys_HeavyContact()
{
    return gStep.heavyContact;
}

void bz_Phys_SetAngularLimitRowsUsed(int32_t on)
{
    gStep.angularLimitRows = on;
}

int32_t bz_Phys_AngularLimitRowsUsed()
{
    return gStep.angularLimitRows;
}

void bz_Phys_SetRestingEnergy(float reference)
{
    gStep.restingEnergy = reference;
}

float bz_Phys_RestingEnergy()
{
    return gStep.restingEnergy;
}

void bz_Phys_PublishSolved(const float *values, int32_t count)
{
    gStep.published = values;
    gStep.publishedCount = values ? count : 0;
}

int32_t bz_Phys_ScaleRequested()
{
    return gStep.scaleRequested;
}

void bz_Phys_ClearScaleRequest()
{
    gStep.scaleRequested = 0;
}
