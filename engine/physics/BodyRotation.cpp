// Momentum-keeping rotation of a body over a step, plain and with mid-point sub-steps.
#include "physics/BodyRotation.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
constexpr float kDegreesPerRadian = 57.29578f;
constexpr float kMinTurn = 0.0001f; // radians

bzM34 *BodyMatrix(BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

// Angular momentum in the body frame.
void Momentum(const BZDObject *body, bzV3 *out)
{
    for (int i = 0; i < 3; ++i)
        out->v[i] = body->principalMoments.v[i] * body->inertiaScale * body->angularVelocity.v[i];
}

// w = I^-1 (R l): the momentum expressed on the turned axes (row i of R is the turned axis i).
void VelocityFromMomentum(const BZDObject *body, const bzM34 *r, const bzV3 *l, bzV3 *out)
{
    for (int i = 0; i < 3; ++i)
        out->v[i] = body->inversePrincipalMoments.v[i] * bz_V3_Dot(&r->row[i], l);
}

// Turns the body's matrix by deg about axis through its centre of mass, in its own frame, and
// re-derives w from the momentum l held before the turn.
void TurnBody(BZDObject *body, const bzV3 *axis, float deg, const bzV3 *l)
{
    bzM34 turn;
    bz_M34_FromAxisAngleAbout(&turn, &body->centreOfMass, axis, deg);
    bz_M34_PreMul(BodyMatrix(body), &turn);
    VelocityFromMomentum(body, &turn, l, &body->angularVelocity);
}
} // namespace

int32_t bz_Phys_RotationSubSteps(float q)
{
    if (!(q >= BZ_PHYS_TURN_ANGLE_SQ))
        return 0;
    if (q <= BZ_PHYS_SUBSTEP_ANGLE_SQ)
        return 1;
    const float n = std::sqrt(q * 33.333336f);
    if (!(n < static_cast<float>(BZ_PHYS_MAX_SUBSTEPS)))
        return BZ_PHYS_MAX_SUBSTEPS;
    // A step over the threshold is split: never into fewer than two.
    const int32_t steps = static_cast<int32_t>(n) + 1;
    return steps < 2 ? 2 : steps;
}

void bz_Phys_RotateStep(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    const float angle = dt * bz_V3_Length(&body->angularVelocity);
    if (!(angle >= kMinTurn))
        return;
    bzV3 l;
    Momentum(body, &l);
    const bzV3 axis = body->angularVelocity;
    TurnBody(body, &axis, angle * kDegreesPerRadian, &l);
}

void bz_Phys_RotateSubStep(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    bzV3 l;
    Momentum(body, &l);
    float half = dt * bz_V3_Length(&body->angularVelocity) * 28.64789f;
    if (half > 5.0f)
        half = 5.0f;
    bzM34 first;
    bz_M34_FromAxisAngle(&first, &body->angularVelocity, half);
    bzV3 mid;
    VelocityFromMomentum(body, &first, &l, &mid);
    float deg = dt * bz_V3_Length(&mid) * kDegreesPerRadian;
    if (deg > 10.0f)
        deg = 10.0f;
    TurnBody(body, &mid, deg, &l);
}

int32_t bz_Phys_IntegrateRotation(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    const bzV3 &w = body->angularVelocity;
    if (!std::isfinite(w.x) || !std::isfinite(w.y) || !std::isfinite(w.z))
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, "Nan in physics");
        bz_V3_Set(&body->angularVelocity, 0.0f, 0.0f, 0.0f);
        body->savedAngularVelocity = body->angularVelocity;
        body->physicsFlags |= BZ_PHYS_SLOW_TURN;
        return 0;
    }
    body->savedAngularVelocity = w;
    const float q = dt * dt * bz_V3_LengthSq(&w);
    const int32_t steps = bz_Phys_RotationSubSteps(q);
    if (steps == 0)
    {
        body->physicsFlags |= BZ_PHYS_SLOW_TURN;
        return 0;
    }
    body->physicsFlags &= ~BZ_PHYS_SLOW_TURN;
    // A single step takes the mid-point estimate too: the plain step lets a torque-free body
    // gain or lose a quarter of its energy within a minute at ordinary spins.
    const float sub = dt / static_cast<float>(steps);
    for (int32_t i = 0; i < steps; ++i)
        bz_Phys_RotateSubStep(body, sub);
    return steps;
}
