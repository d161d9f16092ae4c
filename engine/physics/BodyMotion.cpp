// The linear move of a free body.
#include "physics/BodyMotion.h"

#include "core/Debug.h"
#include "maths/Approx.h"
#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyRotation.h"
#include "physics/PhysServices.h"
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

int32_t bz_Body_SetMotion(BZDObject *body, int32_t moveLinear, float dt, int32_t moveAngular,
                          int32_t substeps)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    const uint8_t wasAsleep = body->asleep;
    body->asleep = 1;
    if (moveLinear)
        bz_Body_MoveLinear(body, dt);
    int32_t pieces = 0;
    if (moveAngular)
    {
        bzV3 &w = body->angularVelocity;
        if (!std::isfinite(w.x) || !std::isfinite(w.y) || !std::isfinite(w.z))
        {
            bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, "Nan in physics");
            bz_V3_Set(&w, 0.0f, 0.0f, 0.0f);
        }
        body->savedAngularVelocity = w;
        const float q = dt * dt * bz_V3_LengthSq(&w);
        if (q >= BZ_PHYS_TURN_ANGLE_SQ)
        {
            if (substeps && q > BZ_BODY_SPLIT_TURN_ANGLE_SQ)
            {
                const float degrees = std::sqrt(q) * 57.29578f;
                pieces = degrees < 10.0f * BZ_PHYS_MAX_SUBSTEPS
                             ? static_cast<int32_t>(degrees / 10.0f) + 1
                             : BZ_PHYS_MAX_SUBSTEPS;
                if (pieces > BZ_PHYS_MAX_SUBSTEPS)
                    pieces = BZ_PHYS_MAX_SUBSTEPS;
                const float piece = dt / static_cast<float>(pieces);
                for (int32_t i = 0; i < pieces; ++i)
                    bz_Body_TurnMidpoint(body, piece);
            }
            else
            {
                bz_Body_TurnSingle(body, dt, 1);
                pieces = 1;
            }
            body->asleep = 0;
        }
    }
    if (wasAsleep && !body->asleep)
        bz_Phys_CallLinkHandlers(body, bzgPhysWakeEvent);
    else if (!wasAsleep && body->asleep)
        bz_Phys_CallLinkHandlers(body, bzgPhysSleepEvent);
    return pieces;
}

void bz_Body_AngularVelocityToReach(const bzM34 *current, const bzM34 *target, float time,
                                    bzV3 *out)
{
    BZ_ASSERT(current && target && out);
    bz_V3_Set(out, 0.0f, 0.0f, 0.0f);
    if (!(time > 0.0f))
        return;
    bzM33 inverse, relative;
    bz_M33_Copy(current, &inverse);
    bz_M33_Transpose(&inverse);
    bz_MulM33Into(target, &relative, &inverse); // inverse first, then the target
    bzQuat q;
    bz_Quat_FromM33(&relative, &q);
    // q and -q are the same rotation; the one with w >= 0 names the shorter turn.
    const float sign = q.w < 0.0f ? -1.0f : 1.0f;
    bzV3 axis = {{{sign * q.x, sign * q.y, sign * q.z}}};
    float s = bz_V3_Length(&axis);
    if (!(s > 1.1920929e-07f))
        return;
    if (s > 1.0f)
        s = 1.0f;
    const float degrees = 2.0f * bz_ASin(s) * 57.29578f;
    bz_V3_ScaleInto(&axis, out, (-1.0f / s / time) * degrees * 0.017453292f);
}
