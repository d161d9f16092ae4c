// The integrate-then-correct motion of jointed trees.
#include "physics/JointMotion.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/BodyRotation.h"
#include "physics/BodyWeld.h"
#include "physics/Joint.h"
#include "physics/JointPlacement.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <cmath>

namespace
{
constexpr float kEpsilon = 1.1920929e-7f;

bzM34 *Matrix(BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Turns the rotation rows of m so that the world direction from (unit) lands on to (unit),
// about their normalised cross product; nothing when they are already parallel.
void AlignAxis(bzM34 *m, const bzV3 &from, const bzV3 &to)
{
    bzV3 axis;
    bz_V3_CrossInto(&from, &to, &axis);
    const float s = std::sqrt(Dot(axis, axis));
    if (!(s > kEpsilon))
        return;
    bz_V3_ScaleInto(&axis, &axis, 1.0f / s);
    const float c = Dot(from, to);
    const double angle = std::atan2(double(s), double(c));
    const double cs = std::cos(angle), sn = std::sin(angle);
    for (int r = 0; r < 3; ++r)
    {
        // Rodrigues: v cos + (k x v) sin + k (k . v)(1 - cos).
        const bzV3 v = m->row[r];
        bzV3 kv;
        bz_V3_CrossInto(&axis, &v, &kv);
        const double kd = Dot(axis, v);
        for (int i = 0; i < 3; ++i)
            m->row[r].v[i] = float(v.v[i] * cs + kv.v[i] * sn + axis.v[i] * kd * (1.0 - cs));
    }
}

bzV3 Unit(const bzV3 &v)
{
    const float l = std::sqrt(Dot(v, v));
    return l > kEpsilon ? bzV3{{{v.x / l, v.y / l, v.z / l}}} : v;
}

void Integrate(BZDObject *body, float dt)
{
    bz_V3_AddScaled(&Matrix(body)->row[3], &body->linearVelocity, dt);
}

void WorldJointed(BZDObject *body, float dt)
{
    const BZDJoint *world = body->worldJoint;
    bzM34 *m = Matrix(body);
    if (body->secondFlags & 0x1)
        bz_Phys_IntegrateRotation(body, dt);
    else
    {
        switch (world->kind >> 8)
        {
        case 0:
        case 1: bz_Phys_IntegrateRotation(body, dt); break;
        case 2:
        {
            bz_Phys_IntegrateRotation(body, dt);
            bzV3 axis;
            bz_M33_RotateV3Into(m, &axis, &world->childHingeAxis);
            AlignAxis(m, Unit(axis), Unit(world->parentHingeAxis));
            break;
        }
        case 3: body->savedAngularVelocity = bzV3{}; break;
        default: bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT_KIND, nullptr); break;
        }
    }
    bz_Phys_PositionWorldJointedObject(body, dt);
}

void Jointed(BZDObject *body, float dt, int32_t applyAngular)
{
    BZDObject *parent = body->parent;
    const BZDJoint *joint = body->parentJoint;
    bzM34 *m = Matrix(body);
    const bzM34 *pm = Matrix(parent);
    if (body->physicsFlags & BZ_PHYS_WELDED)
    {
        // Rigidly with the parent; the velocities follow the parent's change over the step from
        // the start-of-step copies, so that moving again gives the same.
        bz_MulM34Into(pm, m, &body->weldTransform);
        bz_Body_SetWeldedVelocity(body, &parent->stepAngularVelocity, &body->stepAngularVelocity);
        body->savedAngularVelocity = body->angularVelocity;
        return;
    }
    uint8_t linear = joint->kind & 0xff;
    const uint8_t angular = applyAngular ? uint8_t(joint->kind >> 8) : 0;
    switch (angular)
    {
    case 0:
    case 1: bz_Phys_IntegrateRotation(body, dt); break;
    case 3:
    {
        // The offset's rotation then the parent's, about the centre of mass.
        bzV3 centre;
        bz_M34_TransformPointInto(&body->startTransform, &centre, &body->centreOfMass);
        bzM34 turned;
        bz_MulM34Into(pm, &turned, &body->weldTransform);
        for (int r = 0; r < 3; ++r)
            m->row[r] = turned.row[r];
        bzV3 moved;
        bz_M33_RotateV3Into(m, &moved, &body->centreOfMass);
        bz_V3_SubInto(&centre, &moved, &m->row[3]);
        body->savedAngularVelocity = body->angularVelocity;
        bzV3 world;
        bz_M33_RotateV3Into(pm, &world, &parent->angularVelocity);
        bz_M34_InverseRotateV3Into(m, &body->angularVelocity, &world);
        break;
    }
    case 4:
    case 2:
    {
        if (angular == 4)
            linear = 3;
        bz_Phys_IntegrateRotation(body, dt);
        bzV3 parentAxis, childAxis;
        bz_M33_RotateV3Into(pm, &parentAxis, &joint->parentHingeAxis);
        bz_M33_RotateV3Into(m, &childAxis, &joint->childHingeAxis);
        AlignAxis(m, Unit(childAxis), Unit(parentAxis));
        break;
    }
    default: bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT_KIND, nullptr); break;
    }
    if (linear != 3)
        Integrate(body, dt);
    bzV3 onParent, onChild, d;
    bz_M34_TransformPointInto(pm, &onParent, &joint->parentAnchor);
    bz_M34_TransformPointInto(m, &onChild, &joint->childAnchor);
    bz_V3_SubInto(&onParent, &onChild, &d);
    switch (linear)
    {
    case 0: break;
    case 3: bz_V3_AddInto(&m->row[3], &d, &m->row[3]); break;
    case 1:
    case 2:
    {
        if (linear == 2)
        {
            bzV3 n;
            bz_M33_RotateV3Into(pm, &n, &joint->linearAxis[1]);
            const float t = Dot(d, n);
            bz_V3_AddScaled(&m->row[3], &n, t);
            bz_V3_AddScaled(&d, &n, -t);
        }
        bzV3 a;
        bz_M33_RotateV3Into(pm, &a, &joint->linearAxis[0]);
        bz_V3_AddScaled(&m->row[3], &a, Dot(d, a));
        break;
    }
    default: bz_Phys_ReportError(BZ_PHYS_ERROR_JOINT, "Linear joint unknown"); break;
    }
}
// Shifts the body's parent so that the anchors of the body's joint to it coincide.
void ShiftParent(BZDObject *body)
{
    BZDObject *parent = body->parent;
    bzV3 onChild, onParent, d;
    bz_M34_TransformPointInto(Matrix(body), &onChild, &body->parentJoint->childAnchor);
    bz_M34_TransformPointInto(Matrix(parent), &onParent, &body->parentJoint->parentAnchor);
    bz_V3_SubInto(&onChild, &onParent, &d);
    bz_V3_AddInto(&Matrix(parent)->row[3], &d, &Matrix(parent)->row[3]);
}

} // namespace

void bz_Phys_MoveJointedBody(BZDObject *body, float dt, BZDObject **lastWorldJointed,
                             int32_t applyAngular)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    // Every move starts from the start-of-step pose.
    *Matrix(body) = body->startTransform;
    const bool jointed = body->parent && body->parentJoint && body->parentJoint->kind != 0;
    if (!jointed)
    {
        if (!body->worldJoint)
        {
            Integrate(body, dt);
            bz_Phys_IntegrateRotation(body, dt);
        }
        else
            WorldJointed(body, dt);
    }
    else
    {
        Jointed(body, dt, applyAngular);
        if (body->worldJoint)
        {
            Matrix(body)->row[3] = body->startTransform.row[3];
            bz_Phys_PositionWorldJointedObject(body, dt);
            // The chain above carried along: up through welded children and 0x402 joints (the
            // coupled joint's word).
            for (BZDObject *b = body;
                 b->parent && b->parentJoint &&
                 ((b->physicsFlags & BZ_PHYS_WELDED) || b->parentJoint->kind == BZ_JOINT_COUPLED);
                 b = b->parent)
                ShiftParent(b);
        }
    }
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
        bz_Phys_MoveJointedBody(c, dt, lastWorldJointed, applyAngular);
    if (body->worldJoint && lastWorldJointed)
        *lastWorldJointed = body;
}

void bz_Phys_MoveJointedTree(BZDObject *root, float dt)
{
    BZ_ASSERT(root);
    if (!root)
        return;
    const int32_t applyAngular = !root->treeStep || !root->treeStep->secondMatrix;
    BZDObject *world = nullptr;
    bz_Phys_MoveJointedBody(root, dt, &world, applyAngular);
    if (world && world->top)
    {
        for (BZDObject *b = world; b->parent && b != root && b->parentJoint; b = b->parent)
            ShiftParent(b);
    }
    bz_Phys_PlaceJointedChildren(root);
}

void bz_Phys_AlignStartMatrices(BZDObject *body)
{
    BZ_ASSERT(body);
    for (BZDObject *c = body ? body->firstChild : nullptr; c; c = c->nextSibling)
    {
        if (c->parentJoint)
        {
            bzV3 onParent, onChild, d;
            bz_M34_TransformPointInto(&body->startTransform, &onParent,
                                      &c->parentJoint->parentAnchor);
            bz_M34_TransformPointInto(&c->startTransform, &onChild, &c->parentJoint->childAnchor);
            bz_V3_SubInto(&onParent, &onChild, &d);
            bz_V3_AddInto(&c->startTransform.row[3], &d, &c->startTransform.row[3]);
        }
        bz_Phys_AlignStartMatrices(c);
    }
}
