// The box-corner speed test and the rest counter of the end-of-step rest test.
#include "physics/BodyRest.h"

#include "collision/Shape.h"
#include "core/Debug.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysSettings.h"

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
