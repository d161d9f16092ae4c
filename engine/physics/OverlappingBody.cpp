// The overlap search of a body against the other bodies of its world.
#include "physics/OverlappingBody.h"

#include "collision/Shape.h"
#include "core/Debug.h"
#include "maths/Geometry.h"
#include "physics/BroadPhase.h"
#include "physics/ConstraintRow.h"
#include "physics/PhysServices.h"

namespace
{
bzPhysRow gRows[BZ_ROW_MERGE_LIMIT];

// The pair collision with the candidate held at its start-of-step transform.
bool Touches(BZDObject *body, BZDObject *candidate)
{
    if (!bzgPhysStepServices.collidePair)
        return false;
    bzM34 *held = candidate->transform;
    candidate->transform = &candidate->startTransform;
    const int32_t rows = bzgPhysStepServices.collidePair(body, candidate, gRows, 0);
    candidate->transform = held;
    return rows > 0;
}

bool Passed(const BZDObject *body, const BZDObject *candidate)
{
    return candidate == body || !bz_Phys_BodiesMayCollide(body, candidate);
}
} // namespace

int32_t bz_Phys_FindOverlappingBody(BZDObject *body, BZDObject *list)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    bz_Phys_ComputeBoxes(body, body, nullptr);
    for (BZDObject *c = list; c; c = c->nextSibling)
    {
        if (Passed(body, c) || !bz_Box_Overlap(&body->bodyBox, &c->bodyBox))
            continue;
        if (Touches(body, c))
            return 1;
    }
    if (body->transform)
        body->startTransform = *body->transform;
    return 0;
}

int32_t bz_Phys_FindOverlappingBodyAt(BZDObject *body, BZDObject *list)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    bz_Phys_ComputeBoxes(body, body, nullptr);
    const bzM34 current = body->transform ? *body->transform : body->startTransform;
    bzM34 trial = body->startTransform;
    for (BZDObject *c = list; c; c = c->nextSibling)
    {
        if (Passed(body, c) || !c->form)
            continue;
        bzBox box;
        bz_Box_TransformInto(&c->form->bounds, &c->startTransform, &box);
        if (!bz_Box_Overlap(&body->bodyBox, &box))
            continue;
        // The sweep runs from the current transform (as the start) to the trial.
        bzM34 *held = body->transform;
        body->startTransform = current;
        body->transform = &trial;
        const bool hit = Touches(body, c);
        body->transform = held;
        body->startTransform = trial;
        if (hit)
        {
            body->startTransform = current;
            return 1;
        }
    }
    return 0;
}
