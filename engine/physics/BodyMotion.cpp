// The linear move of a free body.
#include "physics/BodyMotion.h"

#include "core/Debug.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/PhysMemory.h"

#include <cmath>

int32_t bz_Body_MoveLinear(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    bzV3 &v = body->linearVelocity;
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, "Nan in physics");
        bz_V3_Set(&v, 0.0f, 0.0f, 0.0f);
        return 0;
    }
    if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f)
        return 0;
    bz_V3_AddScaled(&body->startTransform.row[3], &v, dt);
    body->collisionMask |= BZ_BODY_CHANGED_POSITION;
    body->asleep = 0;
    return 1;
}
