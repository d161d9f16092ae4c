// The coupled joint solve.
#include "physics/CoupledJoint.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/BodyWeld.h"
#include "physics/Coupling.h"
#include "physics/Joint.h"

#include <cmath>

namespace
{
// The body's coupling record; null for none and for the marker of a tree's preparation.
bzPhysCoupling *Record(const BZDObject *body)
{
    if (!body->coupling || body->coupling == BZ_PHYS_COUPLING_MARKER)
        return nullptr;
    return static_cast<bzPhysCoupling *>(body->coupling);
}

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bzV3 Scaled(const bzV3 &moments, const bzV3 &v)
{
    return bzV3{{{moments.x * v.x, moments.y * v.y, moments.z * v.z}}};
}

// The angular parts of the three constraint rows of a body: lever x direction, axis 0, axis 1.
void AngularRows(const bzPhysCoupling *c, bzV3 rows[3])
{
    bz_V3_CrossInto(&c->lever, &c->direction, &rows[0]);
    rows[1] = c->axis[0];
    rows[2] = c->axis[1];
}

// J M^-1 J^T of one body added into k.
void AddBodyTerm(const BZDObject *body, const bzPhysCoupling *c, float k[9])
{
    bzV3 ang[3];
    AngularRows(c, ang);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            float v = Dot(ang[i], Scaled(body->inversePrincipalMoments, ang[j]));
            if (i == 0 && j == 0)
                v += body->inverseMass * Dot(c->direction, c->direction);
            k[3 * i + j] += v;
        }
}

void Invert(const float k[9], float out[9])
{
    const float det = k[0] * (k[4] * k[8] - k[5] * k[7]) - k[1] * (k[3] * k[8] - k[5] * k[6]) +
                      k[2] * (k[3] * k[7] - k[4] * k[6]);
    float scale = 0.0f;
    for (int i = 0; i < 9; ++i)
        scale = std::fmax(scale, std::fabs(k[i]));
    if (!(std::fabs(det) > 1e-6f * scale * scale * scale) || !std::isfinite(det))
    {
        for (int i = 0; i < 9; ++i)
            out[i] = 0.0f;
        return;
    }
    bzM33 m, inv;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m.row[r].v[c] = k[3 * r + c];
    bz_InverseM33IntoSigned(&m, &inv);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = inv.row[r].v[c];
}

// J_X v_X: the three constrained velocities of body X.
void Constrained(const BZDObject *body, const bzPhysCoupling *c, float out[3])
{
    bzV3 ang[3];
    AngularRows(c, ang);
    out[0] = Dot(ang[0], body->angularVelocity) + Dot(c->direction, body->localLinearVelocity);
    out[1] = Dot(ang[1], body->angularVelocity);
    out[2] = Dot(ang[2], body->angularVelocity);
}

void Apply(BZDObject *body, const bzPhysCoupling *c, const float x[3], float sign)
{
    bzV3 ang[3];
    AngularRows(c, ang);
    for (int i = 0; i < 3; ++i)
    {
        const bzV3 dw = Scaled(body->inversePrincipalMoments, ang[i]);
        bz_V3_AddScaled(&body->angularVelocity, &dw, sign * x[i]);
    }
    bz_V3_AddScaled(&body->localLinearVelocity, &c->direction, sign * x[0] * body->inverseMass);
    bz_M33_RotateV3Into(&body->startTransform, &body->linearVelocity, &body->localLinearVelocity);
}
} // namespace

void bz_Phys_SolveCoupledJoint(BZDObject *body, int32_t recompute)
{
    BZ_ASSERT(body);
    if (!body || !Record(body))
        return;
    BZDObject *other = Record(body)->partner;
    if (!other || !Record(other))
        return;
    // M is the body whose partner is its representative.
    const bool bodyIsM = other == body->top || other == body->parent;
    BZDObject *m = bodyIsM ? body : other;
    BZDObject *p = bodyIsM ? other : body;
    const BZDJoint *joint = m->parentJoint;
    if (!joint)
        return;
    bzPhysCoupling *cm = Record(m), *cp = Record(p);
    cm->sign = -1.0f;
    cp->sign = 1.0f;
    bz_V3_SubInto(&joint->childAnchor, &m->centreOfMass, &cm->lever);
    bz_V3_SubInto(&joint->parentAnchor, &p->centreOfMass, &cp->lever);
    cm->direction = joint->coupledDirection[0];
    cp->direction = joint->coupledDirection[1];
    for (int i = 0; i < 2; ++i)
    {
        cm->axis[i] = joint->angularAxis[i];
        bz_M33_RotateV3Into(&cp->relative, &cp->axis[i], &joint->angularAxis[i]);
    }
    if (recompute)
    {
        float k[9] = {};
        AddBodyTerm(m, cm, k);
        AddBodyTerm(p, cp, k);
        Invert(k, cm->inverse);
    }
    float vm[3], vp[3], e[3], x[3];
    Constrained(m, cm, vm);
    Constrained(p, cp, vp);
    for (int i = 0; i < 3; ++i)
        e[i] = vp[i] - vm[i];
    for (int r = 0; r < 3; ++r)
        x[r] = cm->inverse[3 * r] * e[0] + cm->inverse[3 * r + 1] * e[1] +
               cm->inverse[3 * r + 2] * e[2];
    Apply(m, cm, x, 1.0f);
    Apply(p, cp, x, -1.0f);
}

void bz_Phys_SolveCoupledJointsInTree(BZDObject *body)
{
    for (BZDObject *c = body ? body->firstChild : nullptr; c; c = c->nextSibling)
    {
        if (Record(c) && c->parent && Record(c->parent))
            bz_Phys_SolveCoupledJoint(c, 0);
        bz_Phys_SolveCoupledJointsInTree(c);
    }
}
