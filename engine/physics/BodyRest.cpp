// The box-corner speed test and the rest counter of the end-of-step rest test.
#include "physics/BodyRest.h"

#include "collision/CollisionContact.h"

#include "collision/Shape.h"
#include "core/Debug.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
bool PointSlow(const BZDObject *body, const bzV3 &arm, float limit)
{
    bzV3 spin, v;
    bz_V3_CrossInto(&body->angularVelocity, &arm, &spin);
    bz_V3_AddInto(&body->localLinearVelocity, &spin, &v);
    return !(bz_V3_LengthSq(&v) > limit);
}
} // namespace

int32_t bz_Phys_BoxCornersSlow(const BZDObject *body, float limit)
{
    BZ_ASSERT(body);
    if (!body)
        return 1;
    if (body->physicsFlags & BZ_PHYS_NO_CORNER_TEST)
        return 1;
    if (!body->form)
        return PointSlow(body, bzV3{}, limit) ? 1 : 0;
    const bzBox &box = body->form->bounds;
    for (int corner = 0; corner < 8; ++corner)
    {
        bzV3 c;
        for (int axis = 0; axis < 3; ++axis)
            c.v[axis] = (corner >> axis) & 1 ? box.max.v[axis] : box.min.v[axis];
        bz_V3_SubInto(&c, &body->centreOfMass, &c);
        if (!PointSlow(body, c, limit))
            return 0;
    }
    return 1;
}

int32_t bz_Phys_StartRestCount(BZDObject *body)
{
    BZ_ASSERT(body);
    const bool changed = body->contactKind != body->savedContactKind;
    if ((body->restCounter == 0 || changed || body->restCounter == BZ_PHYS_REST_COUNT_START) &&
        (body->contactKind & BZ_PHYS_CONTACT_WORLD) &&
        !(body->secondFlags & BZ_PHYS_SECOND_NO_REST_COUNT))
    {
        body->restCounter =
            body->restCounter == 0 ? BZ_PHYS_REST_COUNT_START : BZ_PHYS_REST_COUNT_RESTART;
        body->savedContactKind = body->contactKind;
        return 1;
    }
    return 0;
}

void bz_Phys_DropRestCount(BZDObject *body)
{
    BZ_ASSERT(body);
    if (body->restCounter > 0)
        body->restCounter = body->contactKind != body->savedContactKind ? 0 : body->restCounter - 1;
}

namespace
{
// Whether the body gained speed across gravity over the step by a tenth or more of what gravity
// gives in a step: held up but still speeding up, as on a slope without friction. Gravity has
// no part across itself, so the step's change across it is the frame's whole change there.
bool SpeedingUpSideways(const BZDObject *b, const bzV3 &gn, float stepFall)
{
    bzV3 change;
    bz_V3_SubInto(&b->linearVelocity, &b->stepLinearVelocity, &change);
    const float along = bz_V3_Dot(&change, &gn);
    const float across = bz_V3_LengthSq(&change) - along * along;
    return across >= 0.01f * stepFall * stepFall;
}

// The rest test of one awake body; returns the new quiet state (0 or 1).
uint8_t RestTest(BZDObject *b, const bzV3 &g)
{
    const float wq = bz_V3_LengthSq(&b->angularVelocity);
    const float vq = b->contactKind == 0 && b->quiet ? 0.0f : bz_V3_LengthSq(&b->linearVelocity);
    const float thr = bzgPhysSettings.restFactor * bzgPhysSettings.contactSpeedTolerance;
    const float limit = (2.0f * thr) * (2.0f * thr);
    uint8_t quiet = 0;
    if (vq >= limit || wq >= 0.005f || b->previousSpeedSquared[1] >= 0.005f)
        bz_Phys_DropRestCount(b);
    else
    {
        const float gl = bz_V3_Length(&g);
        bzV3 gn = {};
        if (gl > 0.0f)
            bz_V3_ScaleInto(&g, &gn, 1.0f / gl);
        // Held up: over the step the contacts took out at least nine tenths of the upward speed
        // that gravity took away over the step (|g| dt).
        const float u = -bz_V3_Dot(&gn, &b->linearVelocity);
        const float uStart = -bz_V3_Dot(&gn, &b->stepLinearVelocity);
        const float stepFall = gl * bzgPhysSettings.timeStep;
        const bool joined = b->parent || b->firstChild;
        const bool resting =
            (b->quiet && joined) || (std::fabs(u) < 1.2f * thr && u - uStart >= 0.9f * stepFall &&
                                     !SpeedingUpSideways(b, gn, stepFall) &&
                                     bz_Phys_BoxCornersSlow(b, limit) && !b->wasAsleep);
        if (!resting)
            bz_Phys_DropRestCount(b);
        else
        {
            bzV3 a;
            bz_Phys_WorldReference(b, &a);
            const float al = bz_V3_Length(&a);
            if (al < 0.0001f || bz_V3_Dot(&b->angularVelocity, &a) <= 0.005f * al ||
                (b->physicsFlags & BZ_PHYS_SLOW_TURN))
            {
                // A body goes quiet only at the end of a rest count; one that cannot start a
                // count (no world contact, such as a pendulum at the end of its swing) stays
                // awake.
                const bool counting = b->restCounter > 0 &&
                                      b->restCounter != BZ_PHYS_REST_COUNT_START &&
                                      b->contactKind == b->savedContactKind;
                if (!counting)
                    bz_Phys_StartRestCount(b);
                else if (!bz_Phys_KeepAwake(b))
                {
                    quiet = 1;
                    if (!joined)
                    {
                        bz_V3_Set(&b->linearVelocity, 0.0f, 0.0f, 0.0f);
                        bz_V3_Set(&b->angularVelocity, 0.0f, 0.0f, 0.0f);
                        bz_V3_Set(&b->savedAngularVelocity, 0.0f, 0.0f, 0.0f);
                    }
                }
            }
        }
    }
    b->previousSpeedSquared[0] = vq;
    b->previousSpeedSquared[1] = wq;
    return quiet;
}
} // namespace

int32_t bz_Phys_EndStepList(BZDObject *first)
{
    int32_t result = 1;
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        bzV3 g;
        bz_Phys_WorldGravity(b, &g);
        if (b->countWord > 0)
        {
            // The step's velocity change took out one step of gravity (g dt), within half of it.
            bzV3 change, fall;
            bz_V3_ScaleInto(&g, &fall, bzgPhysSettings.timeStep);
            bz_V3_SubInto(&b->linearVelocity, &b->stepLinearVelocity, &change);
            bz_V3_Add(&change, &fall);
            if (bz_V3_LengthSq(&change) < 0.25f * bz_V3_LengthSq(&fall))
                b->countWord = 0;
        }
        if (b->mode != BZ_PHYS_MODE_PLAIN)
        {
            b->mode = BZ_PHYS_MODE_PLAIN;
            b->asleep = (b->physicsFlags & BZ_PHYS_ASLEEP_ON_RELEASE) ? 1 : 0;
        }
        b->physicsFlags = (b->physicsFlags & ~BZ_PHYS_YIELDED) |
                          ((b->physicsFlags & BZ_PHYS_YIELD_MARK) ? uint32_t{BZ_PHYS_YIELDED} : 0u);
        // A body stays marked inside another only while this step found it inside again.
        b->collisionState =
            (b->collisionState & ~BZ_BODY_INTERPENETRATING) |
            ((b->collisionState & BZ_BODY_OVERLAPPING) ? uint32_t{BZ_BODY_INTERPENETRATING} : 0u);
        b->treeStep = nullptr;
        if (b->physicsFlags & BZ_PHYS_FROZEN)
        {
            b->asleep = 1;
            bz_V3_Set(&b->linearVelocity, 0.0f, 0.0f, 0.0f);
            bz_V3_Set(&b->angularVelocity, 0.0f, 0.0f, 0.0f);
        }
        if (!b->asleep)
        {
            for (uint32_t m : bzgPhysCollisionMasks)
                b->collisionMask |= m;
            if (b->physicsFlags & BZ_PHYS_NO_REST_TEST)
                b->quiet = static_cast<uint8_t>(2 * b->asleep);
            else
            {
                if (b->quiet && b->ring == b)
                    b->quiet = 0;
                b->quiet = RestTest(b, g);
            }
        }
        if (b->transform)
            b->startTransform = *b->transform;
        bz_M34_TransformPointInto(&b->startTransform, &b->worldCentreOfMass, &b->centreOfMass);
        if (!b->firstChild)
            b->quiet = static_cast<uint8_t>(b->quiet * 3);
        else
        {
            const int32_t c = bz_Phys_EndStepList(b->firstChild);
            if (b->quiet)
                b->quiet = static_cast<uint8_t>(2 * c + b->quiet);
        }
        // Bit 1, the body quiet with its whole subtree, is the quiet mark of the sleep byte
        // by which the step puts quiet rings to sleep.
        b->sleep = static_cast<uint8_t>((b->sleep & ~BZ_PHYS_SLEEP_QUIET) |
                                        (b->quiet & BZ_PHYS_SLEEP_QUIET));
        result &= (b->quiet >> 1) & 1;
    }
    return result;
}
