// Detection of crossed joint limits and the weakness pass over limit rows.
#include "physics/JointLimits.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <cmath>

namespace
{
int32_t gWeaknessSeen = 0;
bool gJointKindReported = false;
bool gWorldKindReported = false;

constexpr float kEpsilon = 1.1920929e-7f;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

const bzM34 *Current(const BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// (a - b) / (c - d) in [0, 1]; 0 when the denominator is too small to divide by.
float Fraction(float num, float den)
{
    if (!(std::fabs(den) > kEpsilon))
        return 0.0f;
    return Clamp01(num / den);
}

bzPhysRow *NewRow(bzPhysRow *rows, int32_t count, BZDObject *body, BZDObject *partner,
                  const bzPhysLimit *limit, bool angular)
{
    bzPhysRow &r = rows[count];
    r = bzPhysRow{};
    r.bodyA = body;
    r.bodyB = partner;
    const bool weak = limit->weakness != nullptr;
    if (angular)
        r.type = (weak ? BZ_ROW_ANGULAR_JOINT_WEAK : BZ_ROW_ANGULAR_JOINT) | BZ_ROW_ANGULAR;
    else
        r.type = weak ? BZ_ROW_LINEAR_JOINT_WEAK : BZ_ROW_LINEAR_JOINT;
    return &r;
}

void Hit(BZDObject *body, bzPhysLimit *limit, int32_t side)
{
    if (limit->onLimit)
        limit->onLimit(body->owner, nullptr, limit, side);
}

int32_t Cone(BZDObject *body, BZDObject *partner, BZDJoint *joint, bzPhysLimit *limit,
             bzPhysRow *rows, int32_t count)
{
    // The limit axis in the world at the end and at the start of the step.
    bzV3 limitNow = limit->vectors[1], limitStart = limit->vectors[1];
    if (partner)
    {
        bz_M33_RotateV3Into(Current(partner), &limitNow, &limit->vectors[1]);
        bz_M33_RotateV3Into(&partner->startTransform, &limitStart, &limit->vectors[1]);
    }
    bzV3 axisNow, axisStart;
    bz_M33_RotateV3Into(Current(body), &axisNow, &limit->vectors[0]);
    bz_M33_RotateV3Into(&body->startTransform, &axisStart, &limit->vectors[0]);
    const float c1 = Dot(axisNow, limitNow);
    if (c1 >= limit->value1)
        return count;
    const float c0 = Dot(axisStart, limitStart);
    if (!(c0 >= limit->value1 - 0.001f))
        return count;
    if (!(c0 >= limit->value1 || body->mode == 0))
        return count;
    if (joint && (joint->kind >> 8) == 3)
        return count;
    if (body->physicsFlags & BZ_PHYS_INF_MI)
        return count;
    // Turning about axis x limit brings the axis back towards the limit axis.
    bzV3 limitBody, direction;
    bz_M34_InverseRotateV3Into(&body->startTransform, &limitBody, &limitStart);
    bz_V3_CrossInto(&limit->vectors[0], &limitBody, &direction);
    const float length = std::sqrt(Dot(direction, direction));
    if (!(length > kEpsilon))
        return count; // the axes are parallel or opposite: no direction to turn in
    bzPhysRow *r = NewRow(rows, count, body, partner, limit, true);
    const float spread = c0 - c1 > kEpsilon ? c0 - c1 : kEpsilon;
    r->weight = Clamp01((c0 - limit->value1) / spread);
    r->value = c1 - limit->value1;
    bz_V3_ScaleInto(&direction, &r->nA, 1.0f / length);
    if (partner)
    {
        bzV3 world;
        bz_M33_RotateV3Into(&body->startTransform, &world, &r->nA);
        bz_M34_InverseRotateV3Into(&partner->startTransform, &r->nB, &world);
        r->rA = joint->childAnchor;
        r->rB = joint->parentAnchor;
    }
    Hit(body, limit, 0);
    return count + 1;
}

// A world-frame direction in the body's start-of-step frame.
bzV3 InBody(const BZDObject *body, const bzV3 &world)
{
    bzV3 out;
    bz_M34_InverseRotateV3Into(&body->startTransform, &out, &world);
    return out;
}

// Which end of a slide range the motion from x0 to x1 passed during the step: 1 the upper
// (bound upper), 2 the lower, 0 none; a start within d beyond an end still counts.
int32_t PassedEnd(float x0, float x1, float upper, float lower, float d, float *bound)
{
    if (x1 > upper && x0 < upper + d)
    {
        *bound = upper;
        return 1;
    }
    if (x1 < lower && x0 > lower - d)
    {
        *bound = lower;
        return 2;
    }
    return 0;
}

// Kind 11 measures from the body's slide origin along the second vector, kind 15 from the world
// anchor along the first.
int32_t SlideRange(BZDObject *body, BZDJoint *joint, bzPhysLimit *limit, bzPhysRow *rows,
                   int32_t count)
{
    if (body->physicsFlags & BZ_PHYS_INF_MASS)
        return count;
    const bool fromAnchor = limit->kind == BZ_LIMIT_SLIDE_FROM_ANCHOR;
    const bzV3 &axis = fromAnchor ? limit->vectors[0] : limit->vectors[1];
    const float p = Dot(fromAnchor ? body->worldAnchor : body->slideOrigin, axis);
    const float upper = p + limit->value1, lower = p + limit->value2;
    bzV3 start, now;
    bz_M34_TransformPointInto(&body->startTransform, &start, &joint->childAnchor);
    bz_M34_TransformPointInto(Current(body), &now, &joint->childAnchor);
    const float x0 = Dot(start, axis), x1 = Dot(now, axis);
    const float d = bzgPhysSettings.contactDistance;
    float bound;
    const int32_t side = PassedEnd(x0, x1, upper, lower, d, &bound);
    if (!side)
        return count;
    bzPhysRow *r = NewRow(rows, count, body, nullptr, limit, false);
    r->weight = Fraction(bound - x0, x1 - x0);
    r->value = side == 1 ? bound - x1 : x1 - bound;
    bzV3 direction = axis;
    if (side == 1)
        bz_V3_NegateInto(&direction, &direction);
    r->nA = InBody(body, direction);
    bz_V3_SubInto(&joint->childAnchor, &body->centreOfMass, &r->rA);
    Hit(body, limit, side);
    return count + 1;
}

int32_t WorldBox(BZDObject *body, bzPhysLimit *limit, bzPhysRow *rows, int32_t count,
                 int32_t capacity)
{
    const float d = bzgPhysSettings.contactDistance;
    for (int i = 0; i < 3 && count < capacity; ++i)
    {
        const float now = Current(body)->row[3].v[i];
        const float start = body->startTransform.row[3].v[i];
        const float lower = limit->vectors[0].v[i], upper = limit->vectors[1].v[i];
        float bound, sign;
        if (now > upper && start < upper + d)
        {
            bound = upper;
            sign = -1.0f;
        }
        else if (now < lower && start > lower - d)
        {
            bound = lower;
            sign = 1.0f;
        }
        else
            continue;
        bzPhysRow *r = NewRow(rows, count, body, nullptr, limit, false);
        r->weight = Fraction(now - bound, now - start);
        r->value = sign * (now - bound);
        bzV3 axis = {};
        axis.v[i] = sign;
        r->nA = InBody(body, axis);
        ++count;
    }
    return count;
}

// The tether: a point of the body kept within value1 of a world point, or of a point of the
// partner (in the partner's frame, placed by its start-of-step and current transforms).
int32_t Tether(BZDObject *body, BZDObject *partner, bzPhysLimit *limit, bzPhysRow *rows,
               int32_t count)
{
    bzV3 start, now, toStart, toNow, otherStart = limit->vectors[1], otherNow = limit->vectors[1];
    if (partner)
    {
        bz_M34_TransformPointInto(&partner->startTransform, &otherStart, &limit->vectors[1]);
        bz_M34_TransformPointInto(Current(partner), &otherNow, &limit->vectors[1]);
    }
    bz_M34_TransformPointInto(&body->startTransform, &start, &limit->vectors[0]);
    bz_M34_TransformPointInto(Current(body), &now, &limit->vectors[0]);
    bz_V3_SubInto(&otherStart, &start, &toStart);
    bz_V3_SubInto(&otherNow, &now, &toNow);
    const float startSq = Dot(toStart, toStart), nowSq = Dot(toNow, toNow);
    const float d = bzgPhysSettings.contactDistance;
    if (!(nowSq >= limit->value2) ||
        !(startSq < limit->value2 || startSq <= limit->value2 + 2.0f * d * limit->value1))
        return count;
    const float startDistance = std::sqrt(startSq), nowDistance = std::sqrt(nowSq);
    if (!(startDistance > kEpsilon))
        return count;
    bzPhysRow *r = NewRow(rows, count, body, partner, limit, false);
    r->weight = Fraction(limit->value1 - startDistance, nowDistance - startDistance);
    r->value = limit->value1 - nowDistance;
    bzV3 direction;
    bz_V3_ScaleInto(&toStart, &direction, 1.0f / startDistance);
    r->nA = InBody(body, direction);
    bz_V3_SubInto(&limit->vectors[0], &body->centreOfMass, &r->rA);
    if (partner)
    {
        r->nB = InBody(partner, direction);
        bz_V3_SubInto(&limit->vectors[1], &partner->centreOfMass, &r->rB);
    }
    return count + 1;
}

// The slide range between two bodies: the child's anchor against the parent's along the slide
// axis (the second vector, partner's frame), bounds value1 and value2, the contact distance
// added to both sides of the weight.
int32_t PairSlide(BZDObject *body, BZDObject *partner, const BZDJoint *joint, bzPhysLimit *limit,
                  bzPhysRow *rows, int32_t count)
{
    bzV3 axis0, axis1, a0, a1, b0, b1, r0, r1;
    bz_M33_RotateV3Into(&partner->startTransform, &axis0, &limit->vectors[1]);
    bz_M33_RotateV3Into(Current(partner), &axis1, &limit->vectors[1]);
    bz_M34_TransformPointInto(&body->startTransform, &a0, &joint->childAnchor);
    bz_M34_TransformPointInto(Current(body), &a1, &joint->childAnchor);
    bz_M34_TransformPointInto(&partner->startTransform, &b0, &joint->parentAnchor);
    bz_M34_TransformPointInto(Current(partner), &b1, &joint->parentAnchor);
    bz_V3_SubInto(&a0, &b0, &r0);
    bz_V3_SubInto(&a1, &b1, &r1);
    const float x0 = Dot(r0, axis0), x1 = Dot(r1, axis1);
    const float d = bzgPhysSettings.contactDistance;
    const float upper = limit->value1, lower = limit->value2;
    float bound;
    const int32_t side = PassedEnd(x0, x1, upper, lower, d, &bound);
    if (!side)
        return count;
    bzPhysRow *r = NewRow(rows, count, body, partner, limit, false);
    r->weight = Fraction(bound - x0 + d, x1 - x0 + d);
    r->value = side == 1 ? bound - x1 : x1 - bound;
    bzV3 direction = axis0;
    if (side == 1)
        bz_V3_NegateInto(&direction, &direction);
    r->nA = InBody(body, direction);
    r->nB = InBody(partner, direction);
    bz_V3_SubInto(&joint->childAnchor, &body->centreOfMass, &r->rA);
    bz_V3_SubInto(&joint->parentAnchor, &partner->centreOfMass, &r->rB);
    Hit(body, limit, side);
    return count + 1;
}

// The unit vector across a unit axis that a frame's twist is measured by: the frame's unit axis
// least aligned with it (x before y before z on a tie), made perpendicular to it.
bzV3 TwistReference(const bzV3 &axis)
{
    int k = 0;
    for (int i = 1; i < 3; ++i)
    {
        if (std::fabs(axis.v[i]) < std::fabs(axis.v[k]))
            k = i;
    }
    bzV3 ref = {};
    ref.v[k] = 1.0f;
    bz_V3_AddScaled(&ref, &axis, -axis.v[k]);
    bz_V3_Normalise(&ref);
    return ref;
}

// v less twice its component along the unit normal n: the mirror image through n's plane.
bzV3 Reflect(const bzV3 &v, const bzV3 &n)
{
    bzV3 out = v;
    bz_V3_AddScaled(&out, &n, -2.0f * Dot(v, n));
    return out;
}

// The twist of frame a against frame b about their limited axes (each given in its own frame):
// a's reference is carried by the shortest rotation that takes a's axis onto b's and compared
// with b's reference. Gives the cosine and the sine (about b's axis) of the angle from the
// carried reference to b's, the dot of the two axes, and b's axis in the world.
struct Twist
{
    float cosine;
    float sine;
    float axesDot;
    bzV3 axis;
};

Twist MeasureTwist(const bzM34 *a, const bzM34 *b, const bzV3 *axisA, const bzV3 *axisB)
{
    bzV3 localA = *axisA, localB = *axisB;
    bz_V3_Normalise(&localA);
    bz_V3_Normalise(&localB);
    const bzV3 refLocalA = TwistReference(localA), refLocalB = TwistReference(localB);
    bzV3 ua, ub, refA, refB;
    bz_M33_RotateV3Into(a, &ua, &localA);
    bz_M33_RotateV3Into(b, &ub, &localB);
    bz_M33_RotateV3Into(a, &refA, &refLocalA);
    bz_M33_RotateV3Into(b, &refB, &refLocalB);
    Twist t;
    t.axesDot = Dot(ua, ub);
    t.axis = ub;
    // Two mirrors, through the bisector's plane and then through b's axis's, turn a's axis onto
    // b's the shortest way. Nearly opposite axes have no bisector: the first mirror is then
    // a's reference's plane, which also takes a's axis onto (nearly) b's.
    bzV3 first = refA;
    if (t.axesDot >= -0.99f)
    {
        bz_V3_AddInto(&ua, &ub, &first);
        bz_V3_Normalise(&first);
    }
    bzV3 carried = Reflect(Reflect(refA, first), ub);
    // Only the part across b's axis is compared.
    bz_V3_AddScaled(&carried, &ub, -Dot(carried, ub));
    bz_V3_Normalise(&carried);
    bzV3 across;
    bz_V3_CrossInto(&carried, &refB, &across);
    t.cosine = Dot(carried, refB);
    t.sine = Dot(across, ub);
    return t;
}

// The twist limit between the body and its partner: a row about the partner's axis when the
// twist passed the limit's cosine during the step, from within it at the start, while the axes
// are less than 135 degrees apart.
int32_t TwistLimit(BZDObject *body, BZDObject *partner, const BZDJoint *joint, bzPhysLimit *limit,
                   bzPhysRow *rows, int32_t count)
{
    const Twist now =
        MeasureTwist(Current(body), Current(partner), &limit->vectors[0], &limit->vectors[1]);
    if (!(now.cosine < limit->value1) || !(now.axesDot >= -0.707f))
        return count;
    const Twist start = MeasureTwist(&body->startTransform, &partner->startTransform,
                                     &limit->vectors[0], &limit->vectors[1]);
    if (!(start.cosine >= limit->value1))
        return count;
    bzPhysRow *r = NewRow(rows, count, body, partner, limit, true);
    const float spread =
        start.cosine - now.cosine > kEpsilon ? start.cosine - now.cosine : kEpsilon;
    r->weight = Clamp01((start.cosine - limit->value1) / spread);
    r->value = now.cosine - limit->value1;
    // The body turns back towards the partner's reference: against the twist.
    const float side = now.sine != 0.0f ? now.sine : start.sine;
    bzV3 direction = now.axis;
    if (side < 0.0f)
        bz_V3_NegateInto(&direction, &direction);
    r->nA = InBody(body, direction);
    r->nB = InBody(partner, direction);
    if (joint)
    {
        r->rA = joint->childAnchor;
        r->rB = joint->parentAnchor;
    }
    return count + 1;
}

int32_t Chain(BZDObject *body, BZDObject *partner, BZDJoint *joint, bzPhysRow *rows, int32_t count,
              int32_t capacity)
{
    if (!joint)
        return count;
    for (bzPhysLimit *l = joint->limits; l && count < capacity; l = l->next)
    {
        if (l->kind == BZ_LIMIT_WORLD_BOX && !partner)
            count = WorldBox(body, l, rows, count, capacity);
        else
            count = bz_Phys_DetectJointLimit(body, partner, joint, l, rows, count);
    }
    return count;
}

int32_t Subtree(BZDObject *first, bzPhysRow *rows, int32_t count, int32_t capacity)
{
    for (BZDObject *b = first; b && count < capacity; b = b->nextSibling)
    {
        if (!(b->physicsFlags & BZ_PHYS_NO_LIMITS))
            count = bz_Phys_DetectBodyLimits(b, rows, count, capacity);
        count = Subtree(b->firstChild, rows, count, capacity);
    }
    return count;
}
} // namespace

int32_t bz_Phys_DetectJointLimit(BZDObject *body, BZDObject *partner, BZDJoint *joint,
                                 bzPhysLimit *limit, bzPhysRow *rows, int32_t count)
{
    BZ_ASSERT(body && limit && rows);
    if (!body || !limit || !rows)
        return count;
    if (limit->weakness)
        gWeaknessSeen = 1;
    switch (limit->kind)
    {
    case BZ_LIMIT_NONE: return count;
    case BZ_LIMIT_CONE: return Cone(body, partner, joint, limit, rows, count);
    case BZ_LIMIT_SLIDE_RANGE:
        if (!joint)
            return count;
        return partner ? PairSlide(body, partner, joint, limit, rows, count)
                       : SlideRange(body, joint, limit, rows, count);
    case BZ_LIMIT_SLIDE_FROM_ANCHOR:
        return partner || !joint ? count : SlideRange(body, joint, limit, rows, count);
    case BZ_LIMIT_WORLD_BOX: return partner ? count : WorldBox(body, limit, rows, count, count + 1);
    case BZ_LIMIT_TETHER: return Tether(body, partner, limit, rows, count);
    case BZ_LIMIT_TWIST:
        return partner ? TwistLimit(body, partner, joint, limit, rows, count) : count;
    default:
    {
        bool &reported = partner ? gJointKindReported : gWorldKindReported;
        if (!reported)
        {
            reported = true;
            bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT, "");
        }
        return count;
    }
    }
}

int32_t bz_Phys_DetectBodyLimits(BZDObject *body, bzPhysRow *rows, int32_t count, int32_t capacity)
{
    BZ_ASSERT(body && rows);
    if (!body || !rows)
        return count;
    if (!(body->physicsFlags & BZ_PHYS_WELDED) && count < capacity)
        count = Chain(body, body->parent, body->parentJoint, rows, count, capacity);
    if (count < capacity)
        count = Chain(body, body->secondPartner, body->secondJoint, rows, count, capacity);
    if (count < capacity)
        count = Chain(body, nullptr, body->worldJoint, rows, count, capacity);
    return count;
}

int32_t bz_Phys_DetectLimits(BZDObject *first, bzPhysRow *rows, int32_t count, int32_t capacity)
{
    BZ_ASSERT(rows);
    if (!rows)
        return count;
    BZDObject *b = first;
    while (b && count < capacity)
    {
        if (!(b->physicsFlags & BZ_PHYS_NO_LIMITS))
        {
            count = bz_Phys_DetectBodyLimits(b, rows, count, capacity);
            count = Subtree(b->firstChild, rows, count, capacity);
        }
        b = b->ring;
        if (b == first)
            break;
    }
    return count;
}

int32_t bz_Phys_LimitWeakness(float *forces, bzPhysRow *const *rows, int32_t rowCount,
                              int32_t first)
{
    BZ_ASSERT(forces && (rows || rowCount <= 0));
    if (!forces || (!rows && rowCount > 0))
        return 0;
    gWeaknessSeen = 0;
    int32_t capped = 0;
    for (int32_t i = 0; i < rowCount; ++i)
    {
        bzPhysRow *row = rows[i];
        if (row->type != BZ_ROW_ANGULAR_JOINT_WEAK && row->type != BZ_ROW_LINEAR_JOINT_WEAK)
            continue;
        BZDJoint *joint = bz_Row_JointRecord(row);
        for (bzPhysLimit *l = joint ? joint->limits : nullptr; l; l = l->next)
        {
            if (!l->weakness)
                continue;
            gWeaknessSeen = 1;
            const float f = forces[first + i];
            if (!(f > l->threshold))
                continue;
            const int32_t answer = l->weakness(
                row->bodyA->owner, row->bodyB ? row->bodyB->owner : nullptr, l, l->threshold, f);
            if (answer == BZ_PHYS_CB_NOTHING)
                continue;
            if (answer != BZ_PHYS_CB_DEFAULT && answer != BZ_PHYS_CB_BROKE)
            {
                BZ_SET_ORIGIN();
                bz_ReportError("Limit weakness call back", "Invalid return value");
                continue;
            }
            if (answer == BZ_PHYS_CB_BROKE)
            {
                BZDObject *root = row->bodyA;
                while (root->parent)
                    root = root->parent;
                if (root->treeStep)
                    root->treeStep->state = -1;
            }
            const float s = l->threshold / f;
            for (int32_t k = 0; k < first + rowCount; ++k)
                forces[k] *= s;
            capped = 1;
        }
    }
    return capped;
}

int32_t bz_Phys_TwistBeyond(const bzM34 *a, const bzM34 *b, const bzV3 *axisA, const bzV3 *axisB,
                            float cosineLimit)
{
    BZ_ASSERT(a && b && axisA && axisB);
    if (!a || !b || !axisA || !axisB)
        return 0;
    return MeasureTwist(a, b, axisA, axisB).cosine < cosineLimit ? 1 : 0;
}

int32_t bz_Phys_LimitWeaknessSeen()
{
    return gWeaknessSeen;
}

void bz_Phys_ResetLimits()
{
    gWeaknessSeen = 0;
    gJointKindReported = false;
    gWorldKindReported = false;
}
