// Momentum-keeping rotation of a body over a step, plain and with mid-point sub-steps.
#include "physics/BodyRotation.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr float kMinTurn = 0.0001f; // radians

// The turns work in double: the matrix and the momentum are rounded to float once per turn,
// so a torque-free body keeps its world momentum over thousands of turns.
struct Vec
{
    double v[3];
};

// A turn about an axis through a pivot: rows and translation, p' = p r + t.
struct Turn
{
    double r[3][3];
    double t[3];
};

bzM34 *BodyMatrix(BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

double Length(const Vec &a)
{
    return std::sqrt(a.v[0] * a.v[0] + a.v[1] * a.v[1] + a.v[2] * a.v[2]);
}

Vec FromFloat(const bzV3 &a)
{
    return Vec{{a.x, a.y, a.z}};
}

// Angular momentum in the body frame.
Vec Momentum(const BZDObject *body)
{
    Vec l;
    for (int i = 0; i < 3; ++i)
        l.v[i] =
            double(body->principalMoments.v[i]) * body->inertiaScale * body->angularVelocity.v[i];
    return l;
}

// The rows of the turn by angle (radians) about axis, in the body's own frame; the same
// convention as the engine's axis-angle matrices. A zero axis gives no turn. False then.
bool TurnRows(const Vec &axis, double angle, double r[3][3])
{
    const double len = Length(axis);
    if (!(len > 0.0))
    {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r[i][j] = i == j ? 1.0 : 0.0;
        return false;
    }
    const double x = axis.v[0] / len, y = axis.v[1] / len, z = axis.v[2] / len;
    const double c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
    r[0][0] = k * x * x + c;
    r[0][1] = k * x * y + s * z;
    r[0][2] = k * x * z - s * y;
    r[1][0] = k * x * y - s * z;
    r[1][1] = k * y * y + c;
    r[1][2] = k * y * z + s * x;
    r[2][0] = k * x * z + s * y;
    r[2][1] = k * y * z - s * x;
    r[2][2] = k * z * z + c;
    return true;
}

// The turn by angle about axis through pivot (see TurnRows).
Turn MakeTurn(const Vec &axis, double angle, const bzV3 &pivot)
{
    Turn t = {};
    if (!TurnRows(axis, angle, t.r))
        return t;
    for (int j = 0; j < 3; ++j)
    {
        t.t[j] = pivot.v[j];
        for (int i = 0; i < 3; ++i)
            t.t[j] -= double(pivot.v[i]) * t.r[i][j];
    }
    return t;
}

// The inverse moment of an axis. When the stored inverse is the float reciprocal of the moment
// it is taken exactly, in double: the float one is off by up to half a unit in the last place,
// which would scale the momentum by the same amount at every turn.
double InverseMoment(const BZDObject *body, int i)
{
    const double inverse = body->inversePrincipalMoments.v[i];
    const double moment = double(body->principalMoments.v[i]) * body->inertiaScale;
    if (inverse != 0.0 && moment > 0.0 && std::fabs(inverse * moment - 1.0) < 1e-6)
        return 1.0 / moment;
    return inverse;
}

Vec InverseMoments(const BZDObject *body)
{
    return Vec{{InverseMoment(body, 0), InverseMoment(body, 1), InverseMoment(body, 2)}};
}

// w = I^-1 (R l): the momentum expressed on the turned axes (row i of R is the turned axis i);
// inverse holds the body's inverse moments (InverseMoments).
Vec VelocityFromMomentum(const Vec &inverse, const double (&r)[3][3], const Vec &l)
{
    Vec w;
    for (int i = 0; i < 3; ++i)
        w.v[i] = inverse.v[i] * (r[i][0] * l.v[0] + r[i][1] * l.v[1] + r[i][2] * l.v[2]);
    return w;
}

// Turns the matrix by angle about axis through the body's centre of mass, in the body's own
// frame (the turn acts first), and re-derives w from the momentum l held before the turn.
void TurnMatrix(BZDObject *body, bzM34 *matrix, const Vec &axis, double angle, const Vec &l,
                const Vec &inverse)
{
    const Turn turn = MakeTurn(axis, angle, body->centreOfMass);
    double m[4][3];
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j)
            m[k][j] = matrix->row[k].v[j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            matrix->row[i].v[j] =
                float(turn.r[i][0] * m[0][j] + turn.r[i][1] * m[1][j] + turn.r[i][2] * m[2][j]);
    for (int j = 0; j < 3; ++j)
        matrix->row[3].v[j] =
            float(turn.t[0] * m[0][j] + turn.t[1] * m[1][j] + turn.t[2] * m[2][j] + m[3][j]);
    const Vec w = VelocityFromMomentum(inverse, turn.r, l);
    for (int i = 0; i < 3; ++i)
        body->angularVelocity.v[i] = float(w.v[i]);
}

// The mid-point turn of a sub-step: the momentum turned by half the step gives the mid-point
// velocity, about which the body turns by the whole step. Caps in radians (none when 0).
void MidpointTurn(BZDObject *body, bzM34 *matrix, float dt, double halfCap, double stepCap)
{
    const Vec l = Momentum(body);
    const Vec w = FromFloat(body->angularVelocity);
    double half = 0.5 * dt * Length(w);
    if (halfCap > 0.0 && half > halfCap)
        half = halfCap;
    const Vec inverse = InverseMoments(body);
    double r[3][3];
    TurnRows(w, half, r);
    const Vec mid = VelocityFromMomentum(inverse, r, l);
    double angle = dt * Length(mid);
    if (stepCap > 0.0 && angle > stepCap)
        angle = stepCap;
    TurnMatrix(body, matrix, mid, angle, l, inverse);
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
    const Vec w = FromFloat(body->angularVelocity);
    TurnMatrix(body, BodyMatrix(body), w, dt * Length(w), Momentum(body), InverseMoments(body));
}

void bz_Phys_RotateSubStep(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    MidpointTurn(body, BodyMatrix(body), dt, 5.0 * kRadiansPerDegree, 10.0 * kRadiansPerDegree);
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

void bz_Body_TurnSingle(BZDObject *body, float dt, int32_t conserve)
{
    BZ_ASSERT(body);
    const float angle = dt * bz_V3_Length(&body->angularVelocity);
    if (!(angle >= kMinTurn))
        return;
    const bzV3 before = body->angularVelocity;
    const Vec w = FromFloat(before);
    TurnMatrix(body, &body->startTransform, w, dt * Length(w), Momentum(body),
               InverseMoments(body));
    body->collisionMask |= BZ_BODY_CHANGED_POSITION;
    if (conserve)
        body->collisionMask |= BZ_BODY_CHANGED_ANGULAR;
    else
        body->angularVelocity = before;
}

void bz_Body_TurnMidpoint(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    MidpointTurn(body, &body->startTransform, dt, 0.0, 0.0);
    body->collisionMask |= BZ_BODY_CHANGED_POSITION | BZ_BODY_CHANGED_ANGULAR;
}
