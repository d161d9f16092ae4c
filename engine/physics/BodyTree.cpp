// Velocity, stamp, orthonormalising, sleeping and free-motion walks over body trees.
#include "physics/BodyTree.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
bzM34 *BodyMatrix(BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

void ScaleOne(BZDObject *b, float factor)
{
    bz_V3_Scale(&b->linearVelocity, factor);
    bz_V3_Scale(&b->localLinearVelocity, factor);
    bz_V3_Scale(&b->angularVelocity, factor);
    bz_Phys_StampChain(b);
}

void ScaleList(BZDObject *first, float factor)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        ScaleOne(b, factor);
        ScaleList(b->firstChild, factor);
    }
}

void RestoreList(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        b->angularVelocity = b->savedAngularVelocity;
        RestoreList(b->firstChild);
    }
}

void OrthonormaliseOne(BZDObject *b)
{
    if (b->mode != BZ_PHYS_MODE_PAIR_CALLBACK)
        bz_M33_Orthonormalise(BodyMatrix(b));
}

void OrthonormaliseChildren(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        OrthonormaliseOne(b);
        OrthonormaliseChildren(b->firstChild);
    }
}
int32_t WalkList(BZDObject *first, int32_t (*fn)(BZDObject *, void *), void *user)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        if (const int32_t r = fn(b, user))
            return r;
        if (const int32_t r = WalkList(b->firstChild, fn, user))
            return r;
    }
    return 0;
}

// Moves the children of a body, and their subtrees, by the motion of the body.
void CarryChildren(BZDObject *parent, const bzM34 &motion)
{
    for (BZDObject *c = parent->firstChild; c; c = c->nextSibling)
    {
        bzM34 moved;
        bz_MulM34Into(&motion, &moved, &c->startTransform); // its start, then the motion
        *BodyMatrix(c) = moved;
        c->startTransform = moved;
        CarryChildren(c, motion);
    }
}
} // namespace

int32_t bz_Phys_WalkDescendants(BZDObject *body, int32_t (*fn)(BZDObject *, void *), void *user)
{
    BZ_ASSERT(body && fn);
    if (!body || !fn)
        return 0;
    return WalkList(body->firstChild, fn, user);
}

void bz_Phys_CarryDescendants(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    // Transforms are rigid: the inverse of the start copy is its orthonormal inverse.
    bzM34 inverse = body->startTransform, motion;
    bz_M34_InvertOrtho(&inverse);
    bz_MulM34Into(BodyMatrix(body), &motion, &inverse); // start^-1 first, then current
    CarryChildren(body, motion);
    body->startTransform = *BodyMatrix(body);
}

void bz_Phys_ScaleTreeVelocities(BZDObject *body, float factor)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    ScaleOne(body, factor);
    ScaleList(body->firstChild, factor);
}

void bz_Phys_StampChain(BZDObject *body)
{
    const uint16_t now = bz_Phys_Iteration();
    for (BZDObject *b = body; b && b->gatherStamp != now; b = b->parent)
    {
        b->gatherStamp = now;
        b->contactStamp = 0;
    }
}

void bz_Phys_RestoreRingAngularVelocity(BZDObject *first)
{
    BZDObject *b = first;
    do
    {
        if (!b)
            return;
        b->angularVelocity = b->savedAngularVelocity;
        RestoreList(b->firstChild);
        b = b->ring;
    } while (b != first);
}

void bz_Phys_OrthonormaliseTree(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    OrthonormaliseOne(body);
    OrthonormaliseChildren(body->firstChild);
}

void bz_Phys_OrthonormaliseList(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
        bz_Phys_OrthonormaliseTree(b);
}

void bz_Phys_SleepTree(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        bz_Phys_CallLinkHandlers(b, bzgPhysSleepEvent);
        b->asleep = 1;
        bz_V3_Set(&b->linearVelocity, 0.0f, 0.0f, 0.0f);
        bz_V3_Set(&b->angularVelocity, 0.0f, 0.0f, 0.0f);
        b->quiet = 0;
        bz_Phys_SleepTree(b->firstChild);
    }
}

int32_t bz_Phys_MatricesEqual(const bzM34 *a, const bzM34 *b)
{
    BZ_ASSERT(a && b);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (a->row[r].v[c] != b->row[r].v[c])
                return 0;
    return 1;
}

float bz_Phys_TimeToDistance(int32_t dims, const bzV3 *p, const bzV3 *d, float r2)
{
    BZ_ASSERT(p && d);
    if (dims < 1 || dims > 3)
        return 0.0f;
    bzV3 q0 = {}, dd = {};
    for (int i = 0; i < dims; ++i)
    {
        q0.v[i] = p->v[i] - d->v[i];
        dd.v[i] = d->v[i];
    }
    if (bz_V3_LengthSq(&q0) > r2)
        return 0.0f;
    if (dims == 1)
    {
        if (std::fabs(dd.x) < 1.1920929e-07f)
            return 1.0f;
        float s = std::sqrt(r2);
        if (dd.x < 0.0f)
            s = -s;
        return (s + dd.x - p->x) / dd.x;
    }
    const float a = bz_V3_LengthSq(&dd);
    const float b = 2.0f * bz_V3_Dot(&q0, &dd);
    const float c = bz_V3_LengthSq(&q0) - r2;
    if (a < 1.4210855e-14f)
        return 1.0f;
    const float disc = b * b - 4.0f * a * c;
    return disc >= 0.0f ? (std::sqrt(disc) - b) / (2.0f * a) : -b / (2.0f * a);
}

void bz_Phys_RotateAboutCentre(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body || body->asleep)
        return;
    const float angle = dt * bz_V3_Length(&body->savedAngularVelocity);
    if (!(angle >= 0.0001f))
        return;
    bzM34 turn;
    bz_M34_FromAxisAngleAbout(&turn, &body->centreOfMass, &body->savedAngularVelocity,
                              angle * 57.29578f);
    bz_M34_PreMul(BodyMatrix(body), &turn);
}

void bz_Phys_MoveTreeFree(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    bz_V3_AddScaled(&BodyMatrix(body)->row[3], &body->linearVelocity, dt);
    bz_Phys_RotateAboutCentre(body, dt);
    bz_Phys_MoveListFree(body->firstChild, dt);
}

void bz_Phys_MoveListFree(BZDObject *first, float dt)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
        bz_Phys_MoveTreeFree(b, dt);
}

void bz_Phys_MoveTreeFreeWorldSpin(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    bzM34 *m = BodyMatrix(body);
    bz_V3_AddScaled(&m->row[3], &body->linearVelocity, dt);
    const float angle = dt * bz_V3_Length(&body->savedAngularVelocity);
    if (!body->asleep && angle >= 0.0001f)
    {
        bzV3 centre;
        bz_M34_TransformPointInto(m, &centre, &body->centreOfMass);
        bzM34 turn;
        bz_M34_FromAxisAngleAbout(&turn, &centre, &body->savedAngularVelocity, angle * 57.29578f);
        bz_M34_PostMul(m, &turn);
    }
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
        bz_Phys_MoveTreeFreeWorldSpin(c, dt);
}
