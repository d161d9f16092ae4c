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
#include <cstring>

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
// convention as the engine's axis-angle matrices. len is Length(axis). A zero axis gives no
// turn. False then.
bool TurnRows(const Vec &axis, double len, double angle, double r[3][3])
{
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
Turn MakeTurn(const Vec &axis, double len, double angle, const bzV3 &pivot)
{
    Turn t = {};
    if (!TurnRows(axis, len, angle, t.r))
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

// Two doubles side by side.
typedef double Pair __attribute__((vector_size(16)));

// The matrix turned by the turn in the body's own frame (the turn acts first). Entry j of a row is
// sum_k c_k m[k][j] (+ m[3][j] for the translation), summed in k's order; x and y go side by side.
void ApplyTurn(const Turn &turn, bzM34 *matrix)
{
    Pair xy[4];
    double z[4];
    for (int k = 0; k < 4; ++k)
    {
        xy[k] = Pair{matrix->row[k].x, matrix->row[k].y};
        z[k] = matrix->row[k].z;
    }
    for (int i = 0; i < 4; ++i)
    {
        const double *c = i < 3 ? turn.r[i] : turn.t;
        Pair a = c[0] * xy[0] + c[1] * xy[1] + c[2] * xy[2];
        double b = c[0] * z[0] + c[1] * z[1] + c[2] * z[2];
        if (i == 3)
        {
            a += xy[3];
            b += z[3];
        }
        matrix->row[i] = bzV3{{{float(a[0]), float(a[1]), float(b)}}};
    }
}

// The angular velocity after the turn: I^-1 (R l), rounded to float.
bzV3 TurnedVelocity(const Turn &turn, const Vec &l, const Vec &inverse)
{
    const Vec w = VelocityFromMomentum(inverse, turn.r, l);
    bzV3 out;
    for (int i = 0; i < 3; ++i)
        out.v[i] = float(w.v[i]);
    return out;
}

// Turns the matrix by angle about axis (of length len) through the body's centre of mass, in the
// body's own frame (the turn acts first), and re-derives w from the momentum l held before the
// turn.
void TurnMatrix(BZDObject *body, bzM34 *matrix, const Vec &axis, double len, double angle,
                const Vec &l, const Vec &inverse)
{
    const Turn turn = MakeTurn(axis, len, angle, body->centreOfMass);
    ApplyTurn(turn, matrix);
    body->angularVelocity = TurnedVelocity(turn, l, inverse);
}

// What a mid-point turn is worked out from: the body's angular velocity, moments, inverse
// moments and centre of mass, the sub-step and the caps. Compared bit for bit.
struct TurnInputs
{
    double halfCap;
    double stepCap;
    bzV3 w;
    bzV3 moments;
    bzV3 inverseMoments;
    bzV3 centre;
    float inertiaScale;
    float dt;
};
static_assert(sizeof(TurnInputs) == 2 * sizeof(double) + 4 * sizeof(bzV3) + 2 * sizeof(float),
              "compared bit for bit: no padding");

// A body is moved several times in one step, each time from its start-of-step pose, and a
// rolling ball mostly comes to each move and each sub-step with the same angular velocity, bit
// for bit (a turn about the momentum's own direction leaves a sphere's w where it was, up to
// rounding). The turn depends on nothing but the TurnInputs, so the last turn of a few bodies is
// kept, slotted by body address, and a turn from the same inputs takes it, and the angular
// velocity it gave, in place of working them out again.
struct KeptTurn
{
    bool valid;
    TurnInputs in;
    Turn turn;
    bzV3 w; // the angular velocity after the turn
};

constexpr uint32_t kKeptTurns = 64;
KeptTurn gKeptTurns[kKeptTurns];
bool gKeepTurns = true;

KeptTurn &KeptTurnOf(const BZDObject *body)
{
    const uint64_t a = reinterpret_cast<uintptr_t>(body);
    return gKeptTurns[((a >> 4) * 0x9E3779B97F4A7C15ull) >> 58];
}

// Bit for bit, eight bytes at a time.
bool SameInputs(const TurnInputs &a, const TurnInputs &b)
{
    static_assert(sizeof(TurnInputs) % 8 == 0);
    uint64_t x[sizeof(TurnInputs) / 8], y[sizeof(TurnInputs) / 8];
    std::memcpy(x, &a, sizeof x);
    std::memcpy(y, &b, sizeof y);
    uint64_t differ = 0;
    for (size_t i = 0; i < sizeof x / 8; ++i)
        differ |= x[i] ^ y[i];
    return differ == 0;
}

// The mid-point turn of a sub-step: the momentum turned by half the step gives the mid-point
// velocity, about which the body turns by the whole step. Caps in radians (none when 0).
void MidpointTurn(BZDObject *body, bzM34 *matrix, float dt, double halfCap, double stepCap)
{
    TurnInputs in;
    in.w = body->angularVelocity;
    in.moments = body->principalMoments;
    in.inverseMoments = body->inversePrincipalMoments;
    in.centre = body->centreOfMass;
    in.inertiaScale = body->inertiaScale;
    in.dt = dt;
    in.halfCap = halfCap;
    in.stepCap = stepCap;
    KeptTurn &kept = KeptTurnOf(body);
    if (gKeepTurns && kept.valid && SameInputs(kept.in, in))
    {
        ApplyTurn(kept.turn, matrix);
        body->angularVelocity = kept.w;
        return;
    }

    const Vec l = Momentum(body);
    const Vec w = FromFloat(body->angularVelocity);
    const double wLength = Length(w);
    double half = 0.5 * dt * wLength;
    if (halfCap > 0.0 && half > halfCap)
        half = halfCap;
    const Vec inverse = InverseMoments(body);
    double r[3][3];
    TurnRows(w, wLength, half, r);
    const Vec mid = VelocityFromMomentum(inverse, r, l);
    const double midLength = Length(mid);
    double angle = dt * midLength;
    if (stepCap > 0.0 && angle > stepCap)
        angle = stepCap;
    const Turn turn = MakeTurn(mid, midLength, angle, body->centreOfMass);
    ApplyTurn(turn, matrix);
    body->angularVelocity = TurnedVelocity(turn, l, inverse);
    if (gKeepTurns)
    {
        kept.valid = true;
        kept.in = in;
        kept.turn = turn;
        kept.w = body->angularVelocity;
    }
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
    const double len = Length(w);
    TurnMatrix(body, BodyMatrix(body), w, len, dt * len, Momentum(body), InverseMoments(body));
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
    const double len = Length(w);
    TurnMatrix(body, &body->startTransform, w, len, dt * len, Momentum(body), InverseMoments(body));
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

bool bz_Phys_KeepTurns(bool on)
{
    const bool was = gKeepTurns;
    gKeepTurns = on;
    for (KeptTurn &k : gKeptTurns)
        k.valid = false;
    return was;
}
