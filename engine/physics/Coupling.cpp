// The coupled joint's correction of a body's response to a row impulse.
#include "physics/Coupling.h"

#include "core/Debug.h"
#include "maths/Vector.h"
#include "physics/Body.h"

namespace
{
const bzPhysCoupling *Record(const BZDObject *body)
{
    return static_cast<const bzPhysCoupling *>(body->coupling);
}

// J_X (m, w): the three coupling errors of a velocity change of body X.
void CouplingErrors(const bzPhysCoupling *c, const bzV3 *m, const bzV3 *w, float e[3])
{
    bzV3 arm;
    bz_V3_CrossInto(&c->lever, &c->direction, &arm);
    e[0] = bz_V3_Dot(w, &arm) + bz_V3_Dot(m, &c->direction);
    e[1] = bz_V3_Dot(w, &c->axis[0]);
    e[2] = bz_V3_Dot(w, &c->axis[1]);
}

// Component-wise product of the inverse principal moments and v.
void InverseMoments(const BZDObject *body, const bzV3 *v, bzV3 *out)
{
    out->x = body->inversePrincipalMoments.x * v->x;
    out->y = body->inversePrincipalMoments.y * v->y;
    out->z = body->inversePrincipalMoments.z * v->z;
}
} // namespace

void bz_Phys_CouplingImpulseResponse(const BZDObject *body, const float impulses[3], bzV3 *m,
                                     bzV3 *w)
{
    const bzPhysCoupling *c = Record(body);
    bzV3 angular;
    bz_V3_CrossInto(&c->lever, &c->direction, &angular);
    bz_V3_Scale(&angular, impulses[0]);
    bz_V3_AddScaled(&angular, &c->axis[0], impulses[1]);
    bz_V3_AddScaled(&angular, &c->axis[1], impulses[2]);
    InverseMoments(body, &angular, w);
    bz_V3_Scale(w, -c->sign);
    bz_V3_ScaleInto(&c->direction, m, -c->sign * body->inverseMass * impulses[0]);
}

BZDObject *bz_Phys_CouplingResponse(const BZDObject *body, bzV3 *m, bzV3 *w, bzV3 *partnerM,
                                    bzV3 *partnerW, float impulses[3])
{
    const bzPhysCoupling *c = Record(body);
    BZ_ASSERT(c && c->partner && c->partner->coupling);
    BZDObject *partner = c->partner;
    const bzPhysCoupling *pc = Record(partner);
    const float *inverse = c->sign < 0.0f ? c->inverse : pc->inverse;
    float e[3];
    CouplingErrors(c, m, w, e);
    for (int32_t r = 0; r < 3; ++r)
        impulses[r] = c->sign * (inverse[3 * r] * e[0] + inverse[3 * r + 1] * e[1] +
                                 inverse[3 * r + 2] * e[2]);
    bzV3 dm, dw;
    bz_Phys_CouplingImpulseResponse(body, impulses, &dm, &dw);
    bz_V3_Add(m, &dm);
    bz_V3_Add(w, &dw);
    bz_Phys_CouplingImpulseResponse(partner, impulses, partnerM, partnerW);
    return partner;
}
