// The bounding radius of a body from its form's box.
#include "physics/Body.h"

#include "collision/Shape.h"
#include "maths/Vector.h"
#include "physics/PhysSettings.h"

#include <cmath>

void bz_Phys_SetBoundingRadius(BZDObject *body)
{
    if (!body || !body->form)
        return;
    const bzBox &box = body->form->bounds;
    float sum = 0.0f;
    for (int axis = 0; axis < 3; ++axis)
    {
        const float lo = box.min.v[axis] * box.min.v[axis];
        const float hi = box.max.v[axis] * box.max.v[axis];
        sum += lo > hi ? lo : hi;
    }
    body->radiusSquared = sum;
    body->radius = std::sqrt(sum);
}

namespace
{
BZDObject MakeSpecialBody()
{
    BZDObject b = {};
    bz_M34_SetIdentity(&b.startTransform);
    b.inertiaScale = 1.0f;
    b.contactSpeedScale = 1.0f;
    b.physicsFlags = BZ_PHYS_FIXED;
    b.ring = nullptr;
    return b;
}
} // namespace

BZDObject bzgPhysSpecialBody = MakeSpecialBody();

void bz_Phys_ResetSpecialBody()
{
    bzgPhysSpecialBody = MakeSpecialBody();
}
