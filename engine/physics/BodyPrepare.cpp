// Preparing a body for the physics step.
#include "physics/BodyPrepare.h"

#include "collision/CollisionContact.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyTree.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

namespace
{
void ResetChildren(BZDObject *body)
{
    if (bzgPhysStepServices.resetChildren)
        bzgPhysStepServices.resetChildren(body);
}

void ComputeBoxes(BZDObject *body)
{
    if (bzgPhysStepServices.computeBoxes)
        bzgPhysStepServices.computeBoxes(body);
}
} // namespace

int32_t bz_Phys_PrepareBody(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    int32_t result = 0;
    if (!bz_Phys_IsValidMass(body->mass))
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_ZERO_MASS, "");
        result = BZ_PHYS_ERROR_ZERO_MASS;
    }
    body->physicsFlags &= ~BZ_PHYS_PREP_CLEARED;
    // Found inside another body again in this step, or not: the end of the step tells.
    body->collisionState &= ~BZ_BODY_OVERLAPPING;
    // The overlap pass links a body to the one it is inside for the step that finds it there.
    body->linkPartner = nullptr;
    body->solveGroup = 0;
    body->regathered = 0;
    body->contactKind = 0;
    body->disturbed = 0;
    body->excluded = 0;
    body->ring = body;
    body->contactSpeedScale = 1.0f;
    body->gatherStamp = 0;
    body->contactStamp = 0;
    bz_Body_SetInverses(body);

    body->wasAsleep = body->asleep;
    for (int i = 0; i < 3; ++i)
        body->localLinearVelocity.v[i] =
            bz_V3_Dot(&body->startTransform.row[i], &body->linearVelocity);
    body->stepLinearVelocity = body->linearVelocity;
    body->stepAngularVelocity = body->angularVelocity;
    if (body->parent)
        body->asleep = body->parent->asleep;

    const bool pairMode = body->mode == BZ_PHYS_MODE_PAIR_CALLBACK;
    if (!body->asleep || pairMode)
    {
        if (!pairMode)
        {
            for (uint32_t m : bzgPhysCollisionMasks)
                body->collisionMask |= m;
            if (body->transform)
            {
                bz_M33_Orthonormalise(body->transform, &body->startTransform);
                body->transform->row[3] = body->startTransform.row[3];
            }
            ResetChildren(body);
            if (!body->parent && bzgPhysStepServices.buildTreeRecord)
                bzgPhysStepServices.buildTreeRecord(body, bzgPhysSettings.timeStep);
        }
        else
        {
            body->top = body->parent;
            if (body->transform && !bz_Phys_MatricesEqual(body->transform, &body->startTransform))
                body->asleep = 0;
            ResetChildren(body);
        }
        ComputeBoxes(body);
    }
    else
    {
        if (body->transform)
            *body->transform = body->startTransform;
        body->savedAngularVelocity = body->angularVelocity;
        ResetChildren(body);
        if (!body->parent)
            ComputeBoxes(body);
    }
    return result;
}

int32_t bz_Phys_PrepareList(BZDObject *first)
{
    int32_t result = 0;
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        if (bz_Phys_PrepareBody(b) != 0)
            result = BZ_PHYS_ERROR_ZERO_MASS;
    }
    return result;
}
