// Sleep and wake of bodies, rings and jointed trees; the deferred-wake list; cache refresh.
#include "physics/BodySleep.h"

#include "collision/FormQuery.h"
#include "core/Debug.h"
#include "maths/Vector.h"
#include "physics/BodyTree.h"
#include "physics/CacheList.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

namespace
{
int32_t gNesting = 0;
BZDObject *gDeferred = nullptr;
int32_t gRefreshing = 0;

bool Fixed(const BZDObject *b)
{
    return bz_Phys_IsFixed(b->physicsFlags);
}

bool OnDeferredList(const BZDObject *b)
{
    for (const BZDObject *d = gDeferred; d; d = d->deferredWake)
    {
        if (d == b)
            return true;
    }
    return false;
}

void NotifyWake(BZDObject *b)
{
    if (bzgPhysDynamics.notifyWake)
        bzgPhysDynamics.notifyWake(b);
}

bool SkipsRefresh(const BZDObject *b)
{
    if (Fixed(b))
        return true;
    return b->worldConstraintKind == BZ_PHYS_SPECIAL_CONSTRAINT && !(b->secondFlags & 0x1);
}
} // namespace

void bz_Phys_SleepBody(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    body->asleep = 1;
    body->sleep = 0;
    bz_Phys_CallLinkHandlers(body, bzgPhysSleepEvent);
    bz_Phys_SleepTree(body->firstChild);
}

void bz_Phys_SleepRing(BZDObject *first)
{
    for (BZDObject *b = first; b;)
    {
        b->asleep = 1;
        bz_Phys_CallLinkHandlers(b, bzgPhysSleepEvent);
        b->asleep = 1;
        b->sleep = 0;
        bz_V3_Set(&b->linearVelocity, 0.0f, 0.0f, 0.0f);
        bz_V3_Set(&b->angularVelocity, 0.0f, 0.0f, 0.0f);
        bz_Phys_SleepTree(b->firstChild);
        b = b->ring;
        if (b == first)
            break;
    }
}

void bz_Phys_SleepQuietRings(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        if (b->asleep || !(b->sleep & BZ_PHYS_SLEEP_QUIET))
            continue;
        uint8_t all = b->sleep;
        for (BZDObject *r = b->ring; r && r != b; r = r->ring)
            all &= r->sleep;
        if (all & BZ_PHYS_SLEEP_QUIET)
            bz_Phys_SleepRing(b);
    }
}

int32_t bz_Phys_RefreshBodyCache(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body || body->busy || Fixed(body))
        return 0;
    if ((body->physicsFlags & BZ_PHYS_SHARED_CACHE) && body->parent)
    {
        body->collisionCache = body->parent->collisionCache;
        return 0;
    }
    if (!body->collisionCache)
        return 0;
    body->busy = 1;
    gRefreshing = 1;
    if (body->physicsFlags & BZ_PHYS_IDENTITY_CACHE)
    {
        bzM34 identity;
        bz_M34_SetIdentity(&identity);
        bz_DynForm_Contacts(body->collisionCache, &identity, &body->treeBox, nullptr, nullptr,
                            nullptr);
    }
    else
    {
        bzV3 motion;
        bz_V3_ScaleInto(&body->linearVelocity, &motion, 3.0f * bzgPhysSettings.timeStep);
        const bzM34 *current = body->transform ? body->transform : &body->startTransform;
        bz_DynForm_Contacts(body->collisionCache, current, &body->localBounds,
                            &body->startTransform, &motion, nullptr);
    }
    bz_Phys_SortCache(body->collisionCache, body);
    gRefreshing = 0;
    body->busy = 0;
    return 0;
}

void bz_Phys_WakeSubtree(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        if (b->asleep)
        {
            bz_Phys_CallLinkHandlers(b, bzgPhysWakeEvent);
            if (b->collisionCache && !(b->physicsFlags & BZ_PHYS_SHARED_CACHE))
                bz_Phys_RefreshBodyCache(b);
            b->asleep = 0;
            NotifyWake(b);
        }
        bz_Phys_WakeSubtree(b->firstChild);
    }
}

void bz_Phys_WakeBody(BZDObject *body, BZDObject *world)
{
    BZ_ASSERT(body);
    if (!body || !body->asleep || Fixed(body))
        return;
    BZDObject *top = body;
    while (top->parent && top->parentJoint)
        top = top->parent;
    if (top->busy)
        return;
    if (gNesting != 0)
    {
        if (!OnDeferredList(top))
        {
            top->deferredWake = gDeferred;
            gDeferred = top;
        }
        return;
    }
    // The count goes up before the links run, so that a wake their handlers ask for waits for
    // this one to finish.
    ++gNesting;
    bz_Phys_CallLinkHandlers(top, bzgPhysWakeEvent);
    if (!(top->physicsFlags & BZ_PHYS_SHARED_CACHE) && !SkipsRefresh(top) && top->collisionCache)
    {
        if (top->transform)
            *top->transform = top->startTransform;
        bz_Phys_RefreshBodyCache(top);
    }
    top->asleep = 0;
    top->busy = 1;
    NotifyWake(top);
    if (top->firstChild || top->parentJoint || top->worldJoint)
    {
        if (!top->treeStep && bz_Phys_IsStepping() && bzgPhysStepServices.buildTreeRecord)
            bzgPhysStepServices.buildTreeRecord(top, 0.0f);
        bz_Phys_WakeSubtree(top->firstChild);
    }
    top->busy = 0;
    if (--gNesting == 0)
    {
        while (BZDObject *next = gDeferred)
        {
            gDeferred = next->deferredWake;
            next->deferredWake = nullptr;
            if (next->owner && next->worldConstraintKind != BZ_PHYS_SPECIAL_CONSTRAINT &&
                !Fixed(next))
                bz_Phys_WakeBody(next, world);
        }
    }
    bz_Phys_WakeTouching(top, world, world);
}

int32_t bz_Phys_WakeIfOnTop(BZDObject *a, BZDObject *b, BZDObject *world)
{
    BZ_ASSERT(a && b);
    if (!a || !b)
        return 0;
    const bzBox &p = a->bodyBox, &q = b->bodyBox;
    for (int i = 0; i < 3; ++i)
    {
        if (q.min.v[i] - p.max.v[i] > 0.0f)
            return 0;
    }
    if (p.min.x - q.max.x > 0.0f || p.min.z - q.max.z > 0.0f)
        return 0;
    if (p.min.y - q.max.y > bzgPhysSettings.contactDistance)
        return 0;
    if (!a->asleep)
        return 0;
    bz_Phys_WakeBody(a, world);
    return a->asleep ? 0 : 1;
}

void bz_Phys_WakeTouching(BZDObject *root, BZDObject *list, BZDObject *world)
{
    if (!root)
        return;
    for (BZDObject *s = list; s; s = s->nextSibling)
    {
        if (s != root && s->asleep && s->mode == 0)
        {
            if (!bz_Phys_WakeIfOnTop(s, root, world))
            {
                for (BZDObject *c = root->firstChild; c; c = c->nextSibling)
                {
                    if (bz_Phys_WakeIfOnTop(s, c, world))
                        break;
                }
            }
        }
        bz_Phys_WakeTouching(root, s->firstChild, world);
    }
}

void bz_Phys_DeferWake(BZDObject *body)
{
    if (!body || OnDeferredList(body))
        return;
    body->deferredWake = gDeferred;
    gDeferred = body;
}

int32_t bz_Phys_WakeFirstOnTop(BZDObject *first, BZDObject *body, BZDObject *world)
{
    for (BZDObject *s = first; s && body; s = s->nextSibling)
    {
        if (s != body && bz_Phys_WakeIfOnTop(s, body, world))
            return 1;
    }
    return 0;
}

int32_t bz_Phys_RefreshingCache()
{
    return gRefreshing;
}

int32_t bz_Phys_WakeNesting()
{
    return gNesting;
}

BZDObject *bz_Phys_DeferredWakes()
{
    return gDeferred;
}
