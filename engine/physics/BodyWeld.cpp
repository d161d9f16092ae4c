// Welding, tree preparation and welded velocities.
#include "physics/BodyWeld.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/ConstraintRow.h"
#include "physics/Joint.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
// a then the inverse of b (a expressed in b's frame), with the inverse orthonormalised when
// asked, or the product orthonormalised otherwise.
void RelativeTo(const bzM34 *a, const bzM34 *b, bool orthonormaliseInverse, bzM34 *out)
{
    bzM34 inverse;
    bz_InverseM34Into(b, &inverse);
    if (orthonormaliseInverse)
        bz_M33_Orthonormalise(&inverse);
    bz_MulM34Into(&inverse, out, a);
    if (!orthonormaliseInverse)
        bz_M33_Orthonormalise(out);
}

// Parallel-axis terms of an offset d: (dy^2 + dz^2, dx^2 + dz^2, dx^2 + dy^2) times mass.
void AddParallelAxis(bzV3 *moments, const bzV3 &d, float mass)
{
    moments->x += mass * (d.y * d.y + d.z * d.z);
    moments->y += mass * (d.x * d.x + d.z * d.z);
    moments->z += mass * (d.x * d.x + d.y * d.y);
}

bool IsWelded(const BZDObject *b)
{
    return (b->physicsFlags & BZ_PHYS_WELDED) != 0;
}

int32_t WorldJointRows(const BZDObject *body)
{
    uint16_t word = body->worldJoint->kind;
    if (body->physicsFlags & BZ_PHYS_INF_MI)
        word &= 0x00ff;
    if (body->physicsFlags & BZ_PHYS_INF_MASS)
        word &= 0xff00;
    return bz_JointRowCount(word);
}
} // namespace

void bz_Phys_WeldToAncestor(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body || !body->parent || IsWelded(body))
        return;
    BZDObject *parent = body->parent;
    body->physicsFlags |= BZ_PHYS_WELDED;
    parent->physicsFlags |= BZ_PHYS_WELDED_ROWS;
    BZDObject *rep = parent;
    while (IsWelded(rep) && rep->parent)
        rep = rep->parent;

    bzM34 relative;
    RelativeTo(&body->startTransform, &rep->startTransform, false, &relative);
    bzV3 cB;
    bz_M34_TransformPointInto(&relative, &cB, &body->centreOfMass);
    const bzV3 cR = rep->centreOfMass;
    const float mR = rep->mass, mB = body->mass, total = mR + mB;
    bzV3 c = cR;
    if (std::isfinite(total) && total > 0.0f)
    {
        for (int i = 0; i < 3; ++i)
            c.v[i] = (mR * cR.v[i] + mB * cB.v[i]) / total;
    }
    bzV3 dR, dB;
    bz_V3_SubInto(&cR, &c, &dR);
    bz_V3_SubInto(&cB, &c, &dB);
    AddParallelAxis(&rep->principalMoments, dR, mR);
    AddParallelAxis(&rep->principalMoments, dB, mB);
    // Row j of the relative rotation is the body's axis j in the representative's frame.
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            rep->principalMoments.v[i] +=
                std::fabs(relative.row[j].v[i]) * body->principalMoments.v[j];
    }
    rep->centreOfMass = c;
    rep->mass = total;
    RelativeTo(&body->startTransform, &parent->startTransform, true, &body->weldTransform);
}

int32_t bz_Body_CountTreeRows(BZDObject *body, BZDObject *representative)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    body->top = representative;
    body->coupling = nullptr;
    int32_t rows = 0;
    if (body->parentJoint && !IsWelded(body))
    {
        BZDJoint *joint = body->parentJoint;
        if (joint->kind == BZ_JOINT_COUPLED && representative)
        {
            if (representative->coupling == BZ_PHYS_COUPLING_MARKER)
                joint->kind = BZ_JOINT_DEMOTED;
            else
                body->coupling = representative->coupling = BZ_PHYS_COUPLING_MARKER;
        }
        rows += bz_JointRowCount(joint->kind);
    }
    if (body->secondJoint)
        rows += bz_JointRowCount(body->secondJoint->kind);
    if (body->worldJoint)
        rows += WorldJointRows(body);
    BZDObject *childRep = IsWelded(body) ? representative : body;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
        rows += bz_Body_CountTreeRows(c, childRep);
    return rows;
}

void bz_Body_SetWeldedVelocity(BZDObject *child, const bzV3 *parentBase, const bzV3 *childBase)
{
    BZ_ASSERT(child && child->parent && parentBase && childBase);
    if (!child || !child->parent || !parentBase || !childBase)
        return;
    const BZDObject *parent = child->parent;
    // The parent's change of angular velocity, through the world into the child's frame.
    bzV3 change, world;
    bz_V3_SubInto(&parent->angularVelocity, parentBase, &change);
    bz_M33_RotateV3Into(&parent->startTransform, &world, &change);
    bzV3 local;
    bz_M34_InverseRotateV3Into(&child->startTransform, &local, &world);
    bz_V3_AddInto(childBase, &local, &child->angularVelocity);

    bzV3 parentCentre, childCentre, parentAnchor, childAnchor;
    bz_M34_TransformPointInto(&parent->startTransform, &parentCentre, &parent->centreOfMass);
    bz_M34_TransformPointInto(&child->startTransform, &childCentre, &child->centreOfMass);
    if (const BZDJoint *joint = child->parentJoint)
    {
        bz_M34_TransformPointInto(&parent->startTransform, &parentAnchor, &joint->parentAnchor);
        bz_M34_TransformPointInto(&child->startTransform, &childAnchor, &joint->childAnchor);
    }
    else
    {
        parentAnchor = childCentre;
        childAnchor = childCentre;
    }
    bzV3 wParent, wChild, arm, turn;
    bz_M33_RotateV3Into(&parent->startTransform, &wParent, &parent->angularVelocity);
    bz_M33_RotateV3Into(&child->startTransform, &wChild, &child->angularVelocity);
    bzV3 v = parent->linearVelocity;
    bz_V3_SubInto(&parentAnchor, &parentCentre, &arm);
    bz_V3_CrossInto(&wParent, &arm, &turn);
    bz_V3_AddInto(&v, &turn, &v);
    bz_V3_SubInto(&childCentre, &childAnchor, &arm);
    bz_V3_CrossInto(&wChild, &arm, &turn);
    bz_V3_AddInto(&v, &turn, &v);
    child->linearVelocity = v;
    bz_M34_InverseRotateV3Into(&child->startTransform, &child->localLinearVelocity, &v);
}

void bz_Body_PropagateWeldedVelocities(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        if (IsWelded(c))
        {
            const bzV3 childBase = c->savedAngularVelocity;
            bz_Body_SetWeldedVelocity(c, &body->savedAngularVelocity, &childBase);
        }
        bz_Body_PropagateWeldedVelocities(c);
    }
}
