// Joint placement, the angle between axes, solve groups and stale tree records.
#include "physics/JointPlacement.h"

#include "core/Debug.h"
#include "maths/Approx.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/ConstraintRow.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <cmath>

namespace
{
uint8_t gNextGroup = 1;
int32_t gRebuild = 0;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bzM34 *Matrix(BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

void Translate(bzM34 *m, const bzV3 &d, float s)
{
    bz_V3_AddScaled(&m->row[3], &d, s);
}

BZDObject *JointedRoot(BZDObject *b)
{
    while (b->parent && b->parentJoint)
        b = b->parent;
    return b;
}

uint8_t NewGroup()
{
    const uint8_t g = gNextGroup;
    gNextGroup = gNextGroup == 255 ? 1 : uint8_t(gNextGroup + 1);
    return g;
}
} // namespace

float bz_Phys_AngleBetween(const bzV3 *a, const bzV3 *b, const bzV3 *n)
{
    BZ_ASSERT(a && b && n);
    if (!a || !b || !n)
        return 0.0f;
    bzV3 c;
    bz_V3_CrossInto(b, a, &c);
    float s = Dot(c, *n);
    s = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
    float angle = bz_ASin(s);
    if (Dot(*a, *b) < 0.0f)
        angle = 3.14159265f - angle;
    return angle;
}

BZDJoint *bz_Phys_JointForPartner(const BZDObject *body, const BZDObject *partner)
{
    BZ_ASSERT(body);
    if (!body)
        return nullptr;
    if (!partner)
        return body->worldJoint;
    if (partner == body->secondPartner)
        return body->secondJoint;
    return body->parentJoint;
}

void bz_Phys_PositionWorldJointedObject(BZDObject *body, float dt)
{
    BZ_ASSERT(body && body->worldJoint);
    if (!body || !body->worldJoint)
        return;
    const BZDJoint *joint = body->worldJoint;
    bzM34 *m = Matrix(body);
    const uint8_t kind = joint->kind & 0xff;
    if (kind == 3)
    {
        bzV3 at, d;
        bz_M34_TransformPointInto(m, &at, &joint->childAnchor);
        bz_V3_SubInto(&body->worldAnchor, &at, &d);
        Translate(m, d, 1.0f);
        return;
    }
    Translate(m, body->linearVelocity, dt);
    if (kind == 1)
    {
        bzV3 at, d;
        bz_M34_TransformPointInto(m, &at, &joint->childAnchor);
        bz_V3_SubInto(&body->worldAnchor, &at, &d);
        const bzV3 &a = joint->linearAxis[0];
        Translate(m, a, Dot(d, a));
    }
    else if (kind != 0 && kind != 2)
        bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT, "in PositionWorldJointedObject");
}

void bz_Phys_PlaceJointedChildren(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    const bzM34 *pm = Matrix(body);
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        bzM34 *cm = Matrix(c);
        if (c->physicsFlags & BZ_PHYS_WELDED)
            bz_MulM34Into(pm, cm, &c->weldTransform);
        else if (const BZDJoint *joint = c->parentJoint)
        {
            bzV3 onParent, onChild, d;
            bz_M34_TransformPointInto(pm, &onParent, &joint->parentAnchor);
            bz_M34_TransformPointInto(cm, &onChild, &joint->childAnchor);
            bz_V3_SubInto(&onParent, &onChild, &d);
            switch (joint->kind & 0xff)
            {
            case 0: break;
            case 3: Translate(cm, d, 1.0f); break;
            case 2:
            case 1:
            {
                if ((joint->kind & 0xff) == 2)
                {
                    bzV3 n;
                    bz_M33_RotateV3Into(pm, &n, &joint->linearAxis[1]);
                    const float t = Dot(d, n);
                    Translate(cm, n, t);
                    bz_V3_AddScaled(&d, &n, -t);
                }
                bzV3 a;
                bz_M33_RotateV3Into(pm, &a, &joint->linearAxis[0]);
                Translate(cm, a, Dot(d, a));
                break;
            }
            default: bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT, "Linear joint unknown"); break;
            }
        }
        bz_Phys_PlaceJointedChildren(c);
    }
}

void bz_Phys_ResetSolveGroups()
{
    gNextGroup = 1;
}

uint8_t bz_Phys_NewSolveGroup()
{
    return NewGroup();
}

void bz_Phys_SetTreeGroup(BZDObject *body, uint8_t group)
{
    if (!body)
        return;
    body->solveGroup = group;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        if (c->parentJoint)
            bz_Phys_SetTreeGroup(c, group);
    }
}

void bz_Phys_SetTreeMode(BZDObject *body, uint32_t mode)
{
    if (!body)
        return;
    body->mode = mode;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
        bz_Phys_SetTreeMode(c, mode);
}

void bz_Phys_MergeSolveGroups(BZDObject *a, BZDObject *b)
{
    BZ_ASSERT(a && b);
    if (!a || !b)
        return;
    BZDObject *ra = JointedRoot(a), *rb = JointedRoot(b);
    if (rb->physicsFlags & BZ_PHYS_WELDED_ROWS)
        bz_Phys_SetWeldedRows(1);
    if (ra == rb)
        return;
    if (!ra->ring)
        ra->ring = ra;
    if (!rb->ring)
        rb->ring = rb;
    if (!ra->solveGroup && !rb->solveGroup)
    {
        const uint8_t g = NewGroup();
        bz_Phys_SetTreeGroup(ra, g);
        bz_Phys_SetTreeGroup(rb, g);
        ra->ring = rb;
        rb->ring = ra;
        return;
    }
    if (!ra->solveGroup || !rb->solveGroup)
    {
        BZDObject *grouped = ra->solveGroup ? ra : rb, *fresh = ra->solveGroup ? rb : ra;
        bz_Phys_SetTreeGroup(fresh, grouped->solveGroup);
        fresh->ring = grouped->ring;
        grouped->ring = fresh;
        return;
    }
    if (ra->solveGroup == rb->solveGroup)
        return;
    BZDObject *r = rb;
    do
    {
        bz_Phys_SetTreeGroup(r, ra->solveGroup);
        r = r->ring;
    } while (r && r != rb);
    BZDObject *next = ra->ring;
    ra->ring = rb->ring;
    rb->ring = next;
}

void bz_Phys_MarkTreeStale(BZDObject *body)
{
    if (body && body->treeStep)
        body->treeStep->state = -1;
    gRebuild = 1;
}

int32_t bz_Phys_RebuildFlag()
{
    return gRebuild;
}

void bz_Phys_ClearRebuildFlag()
{
    gRebuild = 0;
}
