// Targets of contact, limit and joint rows, and the push that frees stuck contacts.
#include "physics/RowTargets.h"

#include "collision/CollisionFace.h"
#include "collision/CollisionTolerance.h"
#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyKinematics.h"
#include "physics/FrictionRows.h"
#include "physics/Joint.h"
#include "physics/PhysSettings.h"

#include <cfloat>
#include <cmath>

namespace
{
float gPush = 0.0f;
const BZDObject *gPushA = nullptr;
const BZDObject *gPushB = nullptr;

// A world contact's normal counts as its face's when the two are this close (cosine, about 18
// degrees), as the world collision's own agreement test takes them.
constexpr float kOnFaceNormal = 0.95f;

// Bodies found inside each other (or a body sunk into the world) are pushed apart over about
// this many steps, and never faster than the speed after it: a pile's boxes found half a box
// deep in each other come apart within a few dozen steps, and what the push leaves as their
// speed apart lifts a box by little more than a centimetre (v^2 / 2g).
constexpr float kPushOutSteps = 2.0f;
constexpr float kMostPushOut = 0.5f;

uint32_t Kind(const bzPhysRow *row)
{
    return row->type & ~BZ_ROW_OFF;
}

bool IsAngular(const bzPhysRow *row)
{
    return (row->type & BZ_ROW_ANGULAR) != 0;
}

bzV3 PointVelocity(const BZDObject *body, const bzV3 &r)
{
    return bz_Body_PointVelocity(body, r);
}

// A vector in from's start-of-step frame, in to's start-of-step frame.
bzV3 BetweenFrames(const BZDObject *from, const BZDObject *to, const bzV3 &v)
{
    return bz_Body_CarryDirection(&from->startTransform, &to->startTransform, v);
}

const bzM34 *Current(const BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A friction row asks for its sliding speed along its direction: the change that stops the slip
// and no more. It asks for no separating speed, which would turn the slip back, and a world
// friction row keeps its budget where a contact row keeps its point's velocity. A world friction
// row's point moves by its body's sliding turn about the contact's normal (kept in nB).
float FrictionTarget(const bzPhysRow *row)
{
    const BZDObject *a = row->bodyA;
    bzV3 va;
    if (row->bodyB)
        va = PointVelocity(a, row->rA);
    else
    {
        const bzV3 w = bz_Phys_SlidingTurn(a, row->nB);
        bz_V3_CrossInto(&w, &row->rA, &va);
        bz_V3_AddInto(&va, &a->localLinearVelocity, &va);
    }
    float t = -Dot(va, row->nA);
    if (row->bodyB)
        t += Dot(PointVelocity(row->bodyB, row->rB), row->nB);
    return t > 0.0f && std::isfinite(t) ? t : 0.0f;
}

// The target of a fast contact from how far the contact point moved over the step.
float FastTarget(const bzPhysRow *row, const BZDObject *a, const BZDObject *b, float dt)
{
    bzV3 p;
    bz_V3_AddInto(&a->centreOfMass, &row->rA, &p);
    bzV3 world;
    if (!b)
    {
        bzV3 q;
        bz_M34_TransformPointInto(Current(a), &world, &p);
        bz_M34_InverseTransformPointInto(&a->startTransform, &q, &world);
        bzV3 d;
        bz_V3_SubInto(&q, &p, &d);
        return 0.01f - Dot(d, row->nA) / dt;
    }
    bzV3 atStart, atEnd, d;
    bz_M34_TransformPointInto(&a->startTransform, &world, &p);
    bz_M34_InverseTransformPointInto(&b->startTransform, &atStart, &world);
    bz_M34_TransformPointInto(Current(a), &world, &p);
    bz_M34_InverseTransformPointInto(Current(b), &atEnd, &world);
    bz_V3_SubInto(&atEnd, &atStart, &d);
    float target = -Dot(d, row->nB) / dt;
    if (Kind(row) == BZ_ROW_CONTACT_TURN ||
        ((a->physicsFlags | b->physicsFlags) & BZ_PHYS_DOUBLE_OMEGA_LIMIT))
    {
        bzV3 e;
        bz_M33_RotateV3Into(&b->startTransform, &world, &d);
        bz_M34_InverseRotateV3Into(Current(b), &e, &world);
        const float turned = -Dot(e, d) / dt;
        if (turned > target)
            target = turned;
    }
    return target;
}
// How far a pair row's two points lie inside each other along the row's normal at the
// start-of-step poses (negative: apart by a gap).
float PairOverlap(const bzPhysRow *row, const BZDObject *a, const BZDObject *b)
{
    bzV3 pa, wa, n, pb, wb, d;
    bz_V3_AddInto(&a->centreOfMass, &row->rA, &pa);
    bz_M34_TransformPointInto(&a->startTransform, &wa, &pa);
    bz_M33_RotateV3Into(&a->startTransform, &n, &row->nA);
    bz_V3_AddInto(&b->centreOfMass, &row->rB, &pb);
    bz_M34_TransformPointInto(&b->startTransform, &wb, &pb);
    bz_V3_SubInto(&wa, &wb, &d);
    return -Dot(d, n);
}

// How far a world row's point lies below the face it was found on, along the face's normal at
// the start-of-step pose; false when the row's normal is not the face's.
bool WorldOverlap(const bzPhysRow *row, const BZDObject *a, float *overlap)
{
    const auto *face = static_cast<const bzCollisionFace *>(row->link.surface);
    if (row->bodyB || !face)
        return false;
    bzV3 pa, wa, n;
    bz_V3_AddInto(&a->centreOfMass, &row->rA, &pa);
    bz_M34_TransformPointInto(&a->startTransform, &wa, &pa);
    bz_M33_RotateV3Into(&a->startTransform, &n, &row->nA);
    if (!(Dot(n, face->normal) > kOnFaceNormal))
        return false;
    *overlap = face->distance - Dot(wa, face->normal);
    return true;
}

// The separating speed a resting contact asks for. It corrects an overlap: what brings the
// contact apart within the step, at most the given speed. Apart by a gap, it is negative: the
// body may close the gap within the step and no more. Bodies resting on each other fall alike,
// and a body resting on the world is held still by its other contacts, so a separating speed
// once given would keep them drifting apart step after step. The overlap is measured along the
// contact's normal at the start-of-step poses: between the row's two points for a pair, from
// the face that was hit for a contact with the world (whose normal must then be the face's).
// Other rows (friction and other kinds, a world row off its face's normal) and points apart by
// more than the collision tolerance (not a touch the collision found) ask for the given speed.
float RestingSeparation(const bzPhysRow *row, const BZDObject *a, const BZDObject *b, float most,
                        float dt)
{
    if (Kind(row) >= BZ_ROW_FRICTION || !(dt > 0.0f))
        return most;
    bzV3 pa, wa, n;
    bz_V3_AddInto(&a->centreOfMass, &row->rA, &pa);
    bz_M34_TransformPointInto(&a->startTransform, &wa, &pa);
    bz_M33_RotateV3Into(&a->startTransform, &n, &row->nA);
    float overlap;
    if (b)
        overlap = PairOverlap(row, a, b);
    else
    {
        const auto *face = static_cast<const bzCollisionFace *>(row->link.surface);
        if (row->bodyB || !face || !(Dot(n, face->normal) > kOnFaceNormal))
            return most;
        overlap = face->distance - Dot(wa, face->normal);
    }
    if (!(overlap >= -bzCollisionTolerance))
        return most;
    return overlap / dt < most ? overlap / dt : most;
}
} // namespace

float bz_Phys_PushOutSpeed(float depth)
{
    const float dt = bzgPhysSettings.timeStep;
    if (!(depth > 0.0f) || !(dt > 0.0f))
        return 0.0f;
    const float speed = depth / (kPushOutSteps * dt);
    return speed < kMostPushOut ? speed : kMostPushOut;
}

void bz_Phys_ClearPush()
{
    gPush = 0.0f;
    gPushA = gPushB = nullptr;
}

float bz_Phys_PushValue()
{
    return gPush;
}

int32_t bz_Phys_ContactRowTarget(bzPhysRow *row, float *target)
{
    BZ_ASSERT(row && row->bodyA && target);
    if (!row || !row->bodyA || !target)
        return 1;
    if (Kind(row) == BZ_ROW_TARGET)
    {
        *target = row->value;
        return row->value != 0.0f;
    }
    if (Kind(row) == BZ_ROW_FRICTION)
    {
        *target = FrictionTarget(row);
        return 1;
    }
    const float tol = bzgPhysSettings.contactSpeedTolerance;
    const float dt = bzgPhysSettings.timeStep;
    const BZDObject *a = row->bodyA;
    const BZDObject *b = Kind(row) == BZ_ROW_ONE_SIDED ? nullptr : row->bodyB;
    int32_t settled = 1;
    bool slowPair = false;
    float speedSq = FLT_MAX;
    bzV3 va = PointVelocity(a, row->rA);
    float t = -Dot(va, row->nA);
    bzV3 vb = {};
    if (b)
    {
        vb = PointVelocity(b, row->rB);
        t += Dot(vb, row->nB);
    }
    else if (!row->bodyB)
        row->rB = va;
    const float approach = t;
    if (!(t >= tol))
    {
        if (b)
        {
            // The contact's speed is the one between its bodies.
            const bzV3 moved = BetweenFrames(b, a, vb);
            bz_V3_SubInto(&va, &moved, &va);
        }
        const float s = Dot(va, va);
        if (s <= tol * tol)
        {
            slowPair = b != nullptr;
            if (t < 0.0f || row->weight < 1.0f)
                settled = 0;
        }
        else
        {
            // Only a fast contact is held to its own speed: a slow one keeps the tolerance it
            // is given below, so a resting contact still asks for a third of it.
            speedSq = s;
            t = dt > 0.0f ? FastTarget(row, a, b, dt) : 0.0f;
            if (t < tol)
                settled = 0;
        }
    }
    if (t > 0.1f)
    {
        float f = 1.0f - row->weight;
        f = f > 1.0f ? 1.0f : (f < 0.1f ? 0.1f : f);
        t = (t - 0.1f) * f + 0.1f;
    }
    if (!std::isfinite(t))
        t = 0.0f;
    // The row asks for a separating speed of T (T/3 when resting) in all; one that already
    // separates asks only for what it lacks, so gathering it again asks for no more. A resting
    // contact apart by a gap keeps its negative target: the row holds only what would cross it.
    // A slow swept pair (two bodies touching as the step sweeps them, barely moving) asks, as a
    // resting one, only for what undoes its overlap, here at most T.
    const float separation = row->weight >= 1.0f
                                 ? RestingSeparation(row, a, b, tol * 0.33333334f, dt)
                                 : (slowPair ? RestingSeparation(row, a, b, tol, dt) : tol);
    t += separation;
    if (t < 0.0f && separation >= 0.0f)
        t = 0.0f;
    // Only a push is held to the contact's own speed: a gap's negative target stays as it is.
    if (t > 0.0f && t * t > speedSq)
    {
        t = std::sqrt(speedSq);
        if (t < 0.1f * tol)
            t = 0.1f * tol;
    }
    // Bodies found inside each other ask at least for the speed apart that undoes the overlap
    // over a few steps, whatever their contact's own speed: nothing else would ever take them
    // out. That is a pair contact found at the very start of the step (the overlap pass's, which
    // carry the depth between their points; a swept contact met later in the step has its
    // points apart at the start, and a resting one keeps its own correction above), and a world
    // contact whose point lies deeper below its face than the collision's tolerance (less is the
    // resting contact's own correction above). The push is a row of the solve like any other, so
    // what holds either body (the world under it, the bodies on it) holds against it too.
    float depth = 0.0f;
    if (Kind(row) < BZ_ROW_FRICTION)
    {
        if (b && !(row->weight > 0.0f))
            depth = PairOverlap(row, a, b);
        else if (!row->bodyB && WorldOverlap(row, a, &depth))
            depth -= bzCollisionTolerance;
    }
    const float out = bz_Phys_PushOutSpeed(depth);
    if (out > 0.0f)
    {
        const float need = approach + out;
        if (need > t && std::isfinite(need))
            t = need;
        settled = 1;
    }
    *target = t;
    return settled;
}

int32_t bz_Phys_AngularRowTarget(const bzPhysRow *row, float *target)
{
    BZ_ASSERT(row && row->bodyA && target);
    if (!row || !row->bodyA || !target)
        return 1;
    float v = -Dot(row->nA, row->bodyA->angularVelocity);
    if (row->bodyB && Kind(row) != BZ_ROW_ONE_SIDED)
        v += Dot(row->nB, row->bodyB->angularVelocity);
    v = (1.0f - 0.9f * row->weight) * v + 0.001f;
    const float dt = bzgPhysSettings.timeStep;
    const float limit = dt > 0.0f ? 0.001f - row->value / dt : 0.001f;
    float t;
    if (v < 0.001f)
    {
        t = -0.25f * v;
        if (limit > t)
            t = limit;
    }
    else
        t = limit > v ? (v + limit) * 0.5f : v;
    *target = std::isfinite(t) ? t : 0.0f;
    return 1;
}

int32_t bz_Phys_ContactRowTargets(float *rhs, bzPhysRow *const *rows, int32_t count, int32_t first,
                                  int32_t end)
{
    BZ_ASSERT(rhs && (rows || count <= 0));
    if (!rhs || (!rows && count > 0))
        return 1;
    for (int32_t i = first; i < end; ++i)
        rhs[i] = 0.0f;
    int32_t any = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        bzPhysRow *row = rows[i];
        if (row->weight > 10.0f)
            row->weight -= 10.0f;
        any |= IsAngular(row) ? bz_Phys_AngularRowTarget(row, &rhs[i])
                              : bz_Phys_ContactRowTarget(row, &rhs[i]);
    }
    if (any || count <= 0)
    {
        gPush = 0.0f;
        return any ? 0 : 1;
    }
    int32_t k = 0;
    for (int32_t i = 1; i < count; ++i)
    {
        if (rows[i]->weight < rows[k]->weight)
            k = i;
    }
    if (gPush != 0.0f && rows[k]->bodyA == gPushA && rows[k]->bodyB == gPushB)
    {
        gPush = gPush * 2.0f > 2.0f ? 2.0f : gPush * 2.0f;
        rhs[k] = gPush;
    }
    else
    {
        gPush = bzgPhysSettings.contactSpeedTolerance;
        gPushA = rows[k]->bodyA;
        gPushB = rows[k]->bodyB;
    }
    return 1;
}

void bz_Phys_JointRowTargets(float *rhs, bzPhysRow *const *rows, int32_t count)
{
    BZ_ASSERT(rhs && (rows || count <= 0));
    if (!rhs || (!rows && count > 0))
        return;
    for (int32_t i = 0; i < count;)
    {
        const bzPhysRow *row = rows[i];
        const BZDObject *a = row->bodyA;
        if (IsAngular(row))
        {
            float t = -Dot(row->nA, a->angularVelocity);
            if (row->bodyB)
                t += Dot(row->nB, row->bodyB->angularVelocity);
            rhs[i++] = t;
            continue;
        }
        bzV3 v = PointVelocity(a, row->rA);
        if (row->bodyB)
        {
            const BZDObject *b = row->bodyB == a->secondPartner ? row->bodyB : a->parent;
            if (b)
            {
                bzV3 lever = row->rB;
                if ((b->physicsFlags & BZ_PHYS_WELDED) && a->parentJoint)
                    bz_V3_SubInto(&a->parentJoint->parentAnchor, &b->centreOfMass, &lever);
                const bzV3 vb = BetweenFrames(b, a, PointVelocity(b, lever));
                bz_V3_SubInto(&v, &vb, &v);
            }
        }
        int32_t bundle = 1 + (row->link.sharedRows > 0 ? row->link.sharedRows : 0);
        if (i + bundle > count)
            bundle = count - i;
        for (int32_t j = 0; j < bundle; ++j, ++i)
            rhs[i] = -Dot(v, rows[i]->nA);
    }
}
