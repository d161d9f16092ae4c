// Tyre forces: the tyre frames on the ground, rolling resistance, the low-speed hold, twenty
// midpoint sub-steps of the slip curves with a friction ellipse, the wheel spins and the drive
// shaft, and the differential locks.
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/CarSurface.h"

#include <algorithm>
#include <cmath>

using namespace bzCar;

namespace
{
// Forces and limits at or below this count as none.
constexpr float kForceEps = 1e-6f;
constexpr float kLongScale = 1.0023994f; // makes the longitudinal curve reach G at its peak
constexpr float kLatScale = 1.0899366f;  // the same for the lateral curve
constexpr int32_t kSubSteps = 20;

float Pow32(float x)
{
    float r = x;
    for (int32_t k = 0; k < 5; k++)
        r *= r;
    return r;
}

// What the step works with, per wheel and for the body.
struct TyreSolve
{
    bzDynVehicle *car;
    float dt, M, invM, R, I;
    bzV3 invMoments;
    bool loaded[4];
    bzV3 f[4], a[4], arm[4], respF[4], respA[4];
    float D[4], E[4];
    float kappaP[4], alphaP[4];
    float G[4];
    const float *hold; // static lateral forces of the low-speed hold, or null
    float holdForce[4];
    float holdLimit[4];
};

// The velocities and spins that one evaluation reads and writes.
struct TyreState
{
    bzV3 lin, ang;
    float spin[4];
    float driveSpin;
};

struct Accumulators
{
    float lateral[2]; // front, rear
    float traction;
    float driveTorque;
};

bzV3 FloorAt(const bzDynVehicle *car, int32_t i)
{
    return car->floorVelocities ? car->floorVelocities[i] : V(0.0f, 0.0f, 0.0f);
}

// The tyre of one wheel at a wheel spin and a contact-point velocity (u along the rolling
// direction, w along the axle): the longitudinal and lateral forces after the friction
// ellipse, the slip ratio the ellipse used and the lateral slip before the low-speed hold.
struct WheelForce
{
    float F, Flat, kappa, alpha, slideAlpha;
};

WheelForce TyreAt(const TyreSolve &s, int32_t i, float spin, float u, float w)
{
    const bzDynVehicle *car = s.car;
    WheelForce r{};
    float kappa = (s.R * spin - u) / std::max(std::fabs(u), 0.001f);
    const float G = s.G[i];
    const float kp = s.kappaP[i];
    const float ap = s.alphaP[i];
    const float grip = car->gripForce[i];
    float Fl = bz_PhysCar_LongitudinalCurve(kappa, kp, G);
    if (std::fabs(u) < 8.0f && G > kForceEps)
    {
        float stop = SafeDiv(spin - SafeDiv(u, s.R), s.dt * s.R) * s.I + s.D[i] / s.dt;
        stop = std::clamp(stop, -G, G);
        const float b = std::fabs(u) * 0.125f;
        Fl = b * Fl + (1.0f - b) * stop;
        kappa = b * kappa + (1.0f - b) * stop * kp / (5.5f * kLongScale * G);
    }
    float Flat = 0.0f;
    float alpha = 0.0f;
    if (std::fabs(w) > 1.1920929e-07f)
    {
        alpha = std::fabs(w / std::max(std::fabs(u), 0.001f));
        Flat = -SignOr1(w) * bz_PhysCar_LateralCurve(alpha, ap, grip);
    }
    r.slideAlpha = alpha;
    if (s.hold)
    {
        Flat = s.hold[i];
        alpha = SafeDiv(std::fabs(Flat) * ap, grip * 2.4f);
    }
    bz_PhysCar_FrictionEllipse(&Fl, kappa, G, &Flat, alpha, grip, kp);
    r.F = Fl;
    r.Flat = Flat;
    r.kappa = kappa;
    r.alpha = alpha;
    return r;
}

// One evaluation of the curves at state `at`, applied over h to `base`, into out.
//
// A wheel is light beside the stiffness of its tyre: at low slip one sub-step would carry a
// wheel across its whole slip range several times over. So each wheel's longitudinal force is
// taken at the spin the wheel ends the evaluation with (linearised about `at` by the force's
// slope against the spin), and the drive shaft shares its correction among the wheels by
// their inertia stiffened by that slope. The end spins and forces follow from one small solve.
// Taken explicitly, the two wheels of an open differential, which only their tyres hold,
// swing against each other at low speed and the car yaws.
void Curves(const TyreSolve &s, const TyreState &at, const TyreState &base, float h,
            Accumulators *acc, TyreState *out)
{
    bzDynVehicle *car = s.car;
    *out = base;
    const float invI = SafeInv(s.I);
    const float perNewton = s.R * h * invI; // spin change per newton over h
    float force[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float lateral[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float slope[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float limit[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float stiff[4] = {1.0f, 1.0f, 1.0f, 1.0f}; // 1 + slope x perNewton
    float free[4];                             // the end spin before the drive shaft
    for (int32_t i = 0; i < 4; i++)
    {
        free[i] = base.spin[i];
        if (!s.loaded[i])
            continue;
        const bzV3 ground = Sub(Add(at.lin, Cross(at.ang, s.arm[i])), FloorAt(car, i));
        const float u = Dot(ground, s.f[i]);
        const float w = Dot(ground, s.a[i]);
        const float spin = at.spin[i];
        car->slipSpeed[i] = s.R * spin - u;
        const WheelForce tyre = TyreAt(s, i, spin, u, w);
        if (acc && std::fabs(w) > 1.1920929e-07f)
            acc->lateral[car->axle[i] ? 1 : 0] +=
                SignOr1(w) * SafeDiv(tyre.slideAlpha, s.alphaP[i]);
        car->slipAngle[i] = (w < 0.0f ? -1.0f : 1.0f) * tyre.alpha;
        const float share = car->torqueShare[i];
        const bool slow = std::fabs(tyre.kappa) < s.kappaP[i];
        // The part of the brake that acts on the wheel's spin directly.
        float brake = 0.0f;
        if (share != 0.0f)
        {
            if ((std::fabs(u) < 8.0f || slow) && spin * car->brakeForce[i] < 0.0f)
            {
                if (acc)
                    acc->driveTorque -= SafeDiv(share, car->sumShareSq) * car->brakeForce[i];
                brake = car->brakeForce[i];
            }
        }
        else if (std::fabs(u) < 1.0f || slow)
            brake = car->brakeForce[i];
        const float delta = 1e-3f * std::max(1.0f, std::fabs(spin));
        const float k = (TyreAt(s, i, spin + delta, u, w).F - tyre.F) / delta;
        force[i] = std::isfinite(tyre.F) ? tyre.F : 0.0f;
        lateral[i] = std::isfinite(tyre.Flat) ? tyre.Flat : 0.0f;
        slope[i] = std::isfinite(k) && k > 0.0f ? k : 0.0f;
        limit[i] = std::max(s.G[i], std::fabs(force[i]));
        stiff[i] = 1.0f + slope[i] * perNewton;
        // I (end - base) = -R h (F(at) + k (end - at) - brake) + shaft share
        free[i] = (base.spin[i] - perNewton * (force[i] - slope[i] * spin - brake)) / stiff[i];
    }
    if (car->handbrake != 0.0f)
        for (int32_t i = 2; i < 4; i++)
        {
            const float most = std::fabs(car->handbrake) * h * 0.5f * invI;
            const float before = free[i];
            free[i] = std::fabs(before) <= most ? 0.0f : before - SignOr1(before) * most;
            if (acc)
                acc->driveTorque += (before - free[i]) *
                                    SafeDiv(car->torqueShare[i] * s.I, car->sumShareSq * s.R * h);
        }
    // The drive shaft: sum of share x spin = drive spin, each wheel giving way by its share
    // over its stiffened inertia.
    const float target =
        base.driveSpin + (car->driveForce + car->driveForce2) * s.R * h * car->invEngineInertia;
    float sum = 0.0f, give = 0.0f;
    for (int32_t i = 0; i < 4; i++)
    {
        sum += car->torqueShare[i] * free[i];
        give += car->torqueShare[i] * car->torqueShare[i] * invI / stiff[i];
    }
    const float lambda = SafeDiv(target - sum, give + car->invEngineInertia);
    out->driveSpin = target - lambda * car->invEngineInertia;
    for (int32_t i = 0; i < 4; i++)
    {
        out->spin[i] = free[i] + lambda * car->torqueShare[i] * invI / stiff[i];
        if (!s.loaded[i])
            continue;
        // The tyre's force at the end spin, within what the tyre can give.
        float F = force[i] + slope[i] * (out->spin[i] - at.spin[i]);
        F = std::isfinite(F) ? std::clamp(F, -limit[i], limit[i]) : 0.0f;
        out->lin = AddScaled(out->lin, s.f[i], F * s.invM * h);
        out->lin = AddScaled(out->lin, s.a[i], lateral[i] * s.invM * h);
        out->ang = AddScaled(out->ang, s.respF[i], h * F);
        out->ang = AddScaled(out->ang, s.respA[i], h * lateral[i]);
        if (acc && car->torqueShare[i] != 0.0f)
            acc->traction += SafeDiv(car->torqueShare[i], car->sumShareSq) * F;
    }
}

// The old wheel model: the axle distribution gives the sideways impulses that cancel the
// wheels' sideways motion; each wheel's drive-and-brake impulse and sideways impulse are held
// within the friction circle of its limit, the rolling resistance is added and the
// longitudinal impulse applied; then the four sideways impulses are applied.
void OldTyres(const TyreSolve &s, const float limits[4], bzV3 &lin, bzV3 &ang)
{
    bzDynVehicle *car = s.car;
    float needs[4];
    for (int32_t i = 0; i < 4; i++)
        needs[i] =
            s.loaded[i] ? -Dot(Sub(Add(lin, Cross(ang, s.arm[i])), FloorAt(car, i)), s.a[i]) : 0.0f;
    float lateral[4];
    bz_PhysCar_OldTyreDistribute(car, limits, needs, s.a, s.arm, lateral);
    for (int32_t i = 0; i < 4; i++)
    {
        if (!s.loaded[i] || limits[i] == 0.0f || (s.D[i] == 0.0f && lateral[i] == 0.0f))
            continue;
        float lon = s.D[i];
        bz_PhysCar_OldTyreClamp(&lon, &lateral[i], std::fabs(limits[i]),
                                car->axle[i] ? car->skidRear : car->skidFront);
        // Rolling resistance against the contact point's motion along the rolling direction.
        const float vr = Dot(Sub(Add(lin, Cross(ang, s.arm[i])), FloorAt(car, i)), s.f[i]);
        const float roll = -(Sign0(vr) * car->rollResist[i] * car->wheelLoad[i] * s.dt);
        lon = std::isfinite(lon + roll) ? lon + roll : 0.0f;
        if (!std::isfinite(lateral[i]))
            lateral[i] = 0.0f;
        if (car->wheelSurface[i])
        {
            car->engineReaction += SafeDiv(lon - roll, s.dt);
            car->engineReaction2 += SafeDiv(roll, s.dt);
        }
        lin = AddScaled(lin, s.f[i], lon * s.invM);
        ang = AddScaled(ang, s.respF[i], lon);
    }
    // The four sideways impulses.
    for (int32_t i = 0; i < 4; i++)
    {
        if (!s.loaded[i])
            continue;
        lin = AddScaled(lin, s.a[i], lateral[i] * s.invM);
        ang = AddScaled(ang, s.respA[i], lateral[i]);
    }
}

void SubStep(TyreSolve &s, TyreState &state, float h, Accumulators *acc)
{
    bzDynVehicle *car = s.car;
    for (int32_t i = 0; i < 4; i++)
        car->wheelSpin[i] = state.spin[i];
    car->driveSpin = state.driveSpin;
    if (car->diffLock[0] || car->diffLock[1] || car->diffLock[2])
    {
        bz_PhysCar_Differentials(car, SafeInv(s.I), h, &acc->driveTorque);
        for (int32_t i = 0; i < 4; i++)
            state.spin[i] = car->wheelSpin[i];
        state.driveSpin = car->driveSpin;
    }
    const TyreState start = state;
    TyreState mid;
    Curves(s, start, start, h * 0.5f, nullptr, &mid);
    Curves(s, mid, start, h, acc, &state);
}
} // namespace

float bz_PhysCar_LongitudinalCurve(float kappa, float kappaP, float G)
{
    const float k = std::fabs(kappa);
    if (!(kappaP > 0.0f) || k >= kappaP)
        return SignOr1(kappa) * G;
    return SignOr1(kappa) * G * kLongScale * (1.0f - Pow32(1.0f - k / kappaP * 5.5f / 32.0f));
}

float bz_PhysCar_LateralCurve(float alpha, float alphaP, float gripForce)
{
    if (!(alphaP > 0.0f) || alpha > alphaP)
        return gripForce;
    return kLatScale * gripForce * (1.0f - Pow32(1.0f - alpha / alphaP * 2.4f / 32.0f));
}

void bz_PhysCar_FrictionEllipse(float *F, float kappa, float G, float *Flat, float alpha,
                                float gripForce, float kappaP)
{
    // An axis without grip gives no force (and no share of the ellipse).
    const float kx = G > kForceEps ? kappa / G : 0.0f;
    const float ay = gripForce > kForceEps ? alpha / gripForce : 0.0f;
    const float m = std::max(std::sqrt(kx * kx + ay * ay), 1e-30f);
    *Flat = gripForce > kForceEps ? *Flat * ay / m : 0.0f;
    *F = G > kForceEps ? *F * std::fabs(kx) / m : 0.0f;
    if (std::fabs(kappa) > kappaP)
        *F *= 1.0f - std::min((std::fabs(kappa) - kappaP) * 0.2f, 0.4f);
    if (!std::isfinite(*F))
        *F = 0.0f;
    if (!std::isfinite(*Flat))
        *Flat = 0.0f;
}

void bz_PhysCar_OldTyreClamp(float *lon, float *lat, float limit, float saturated)
{
    const float L = std::fabs(limit);
    if (!(L > 0.0f) || !std::isfinite(*lon) || !std::isfinite(*lat))
    {
        *lon = *lat = 0.0f;
        return;
    }
    if (*lon * *lon + *lat * *lat <= L * L)
        return;
    if (std::fabs(*lon) < L)
    {
        // The sideways part gives way first.
        *lat = std::copysign(std::sqrt(L * L - *lon * *lon), *lat);
        return;
    }
    // The drive or brake alone is more than the tyre holds: both are scaled onto the circle in
    // proportion to what was asked of them, the sideways ask being the axle's saturated
    // fraction of the limit when the axle saturated.
    const float share = std::fabs(*lon) / L;
    const float side = saturated != 0.0f ? std::fabs(saturated) : std::fabs(*lat) / L;
    const float k = 1.0f / std::sqrt(share * share + side * side);
    *lon *= k;
    *lat = std::copysign(side * L * k, *lat);
}

float bz_PhysCar_SlopeFactor(const bzV3 *normal, const bzV3 *axle)
{
    const float d = Dot(*normal, *axle);
    const float q = SafeDiv(normal->y, std::fabs(2.0f * d) + normal->y);
    return 0.8f * q * q + 0.2f;
}

void bz_PhysCar_OldTyreDistribute(bzDynVehicle *car, const float limits[4], const float needs[4],
                                  const bzV3 axles[4], const bzV3 arms[4], float impulsesOut[4])
{
    const BZDObject *body = bz_PhysCar_Body(car);
    const float invM = SafeInv(body->mass);
    float Rm[4][4];
    bzV3 resp[4];
    for (int32_t j = 0; j < 4; j++)
        resp[j] = Mul(Cross(arms[j], axles[j]), body->inversePrincipalMoments);
    for (int32_t i = 0; i < 4; i++)
    {
        impulsesOut[i] = 0.0f;
        for (int32_t j = 0; j < 4; j++)
            Rm[i][j] = limits[i] != 0.0f && limits[j] != 0.0f
                           ? Dot(axles[i], Add(Scale(axles[j], invM), Cross(resp[j], arms[i])))
                           : 0.0f;
        if (limits[i] != 0.0f)
            car->slipAngle[i] = SafeDiv(needs[i], limits[i]);
    }
    float A[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
    float n[2] = {0.0f, 0.0f};
    int32_t count[2] = {0, 0};
    for (int32_t i = 0; i < 4; i++)
    {
        if (limits[i] == 0.0f)
            continue;
        const int32_t X = car->axle[i] ? 1 : 0;
        count[X]++;
        n[X] += needs[i] * limits[i];
        // The tyre's own give, added to its axle's sum as it stands: taken into the response
        // (where it would be multiplied by the limit squared) it outweighs the body's response
        // and a parked car creeps down a side slope.
        const float ap =
            car->slipLimit[i] + (car->wheelSurface[i] ? car->wheelSurface[i]->slip : 0.0f);
        A[X][X] += std::fabs(limits[i]) * ap * SafeInv(car->gripForce[i]);
        for (int32_t j = 0; j < 4; j++)
            if (limits[j] != 0.0f)
                A[X][car->axle[j] ? 1 : 0] += Rm[i][j] * limits[i] * limits[j];
    }
    if (!count[0] && !count[1])
        return;
    const int32_t f = 0, r = 1;
    float xf = 0.0f, xr = 0.0f;
    if (count[0] && !count[1])
        xf = SafeDiv(n[f], A[f][f]);
    else if (count[1] && !count[0])
        xr = SafeDiv(n[r], A[r][r]);
    else
    {
        xf = SafeDiv(A[r][r] * n[f] - A[r][f] * n[r], A[r][r] * A[f][f] - A[r][f] * A[f][r]);
        xr = SafeDiv(A[f][r] * n[f] - A[f][f] * n[r], A[r][f] * A[f][r] - A[r][r] * A[f][f]);
    }
    car->skidFront = car->skidRear = 0.0f;
    if (std::fabs(xf) > 1.0f && std::fabs(xr) < 1.0f)
    {
        car->skidFront = xf;
        xf = xf > 0.0f ? 1.0f : -1.0f;
        xr = count[1] ? SafeDiv(n[r] - A[f][r] * xf, A[r][r]) : 0.0f;
    }
    if (std::fabs(xr) > 1.0f && std::fabs(xf) < 1.0f)
    {
        car->skidRear = xr;
        xr = xr > 0.0f ? 1.0f : -1.0f;
        xf = count[0] ? SafeDiv(n[f] - xr * A[r][f], A[f][f]) : 0.0f;
    }
    if (std::fabs(xf) >= 1.0f && std::fabs(xr) >= 1.0f)
    {
        if (car->skidFront == 0.0f)
            car->skidFront = xf;
        if (car->skidRear == 0.0f)
            car->skidRear = xr;
        xf = xf > 0.0f ? 1.0f : -1.0f;
        xr = xr > 0.0f ? 1.0f : -1.0f;
        const float p = SafeDiv(n[f] - xr * A[r][f], A[f][f]);
        if (std::fabs(n[f] - xr * A[r][f]) >= std::fabs(A[f][f]))
            car->skidFront = p;
        else
        {
            car->skidFront = 0.0f;
            xf = p;
        }
        const float q = SafeDiv(n[r] - xf * A[f][r], A[r][r]);
        if (std::fabs(n[r] - xf * A[f][r]) < std::fabs(A[r][r]))
        {
            car->skidRear = 0.0f;
            xr = q;
        }
        else
            car->skidRear = q;
        if (q * xr < 0.0f)
        {
            xr = -xr;
            car->skidRear = -car->skidRear;
        }
        if (p * xf < 0.0f)
        {
            xf = -xf;
            car->skidFront = -car->skidFront;
        }
    }
    for (int32_t i = 0; i < 4; i++)
    {
        const float imp = (car->axle[i] ? xr : xf) * limits[i];
        impulsesOut[i] = std::isfinite(imp) ? imp : 0.0f;
    }
}

void bz_PhysCar_EngageDifferentials(bzDynVehicle *car, float h, float *driveTorque)
{
    const BZDObject *body = bz_PhysCar_Body(car);
    float *w = car->wheelSpin;
    const float yaw = body->angularVelocity.y;
    for (int32_t pair = 0; pair < 2; pair++)
    {
        if (car->lsdThreshold[pair] < 0.0f)
            continue;
        const int32_t a = 2 * pair, b = a + 1;
        const float d = w[b] - w[a];
        const int8_t s = d >= 0.0f ? 1 : -1;
        const bool keep = car->diffLock[pair] == s &&
                          std::fabs(d) > SafeDiv(std::fabs(2.0f * yaw), car->wheelRadius);
        if (keep || std::fabs(d) > car->lsdThreshold[pair])
        {
            car->diffLock[pair] = s;
            w[a] = w[b] = (w[a] + w[b]) * 0.5f;
        }
        else
            car->diffLock[pair] = 0;
    }
    if (car->lsdThreshold[2] >= 0.0f && car->handbrake == 0.0f)
    {
        const float e = (w[2] + w[3]) - w[0] - w[1];
        const int8_t s = e >= 0.0f ? 1 : -1;
        const float forward = body->localLinearVelocity.z;
        const bool keep =
            car->diffLock[2] == s &&
            std::fabs(forward) * car->steerCurvature * car->steerCurvature * 12.25f < std::fabs(e);
        if (keep || std::fabs(e) > car->lsdThreshold[2])
        {
            car->diffLock[2] = s;
            const int8_t front = car->diffLock[0], rear = car->diffLock[1];
            car->diffLock[0] = car->diffLock[1] = 0; // only the centre acts here
            bz_PhysCar_Differentials(car, SafeInv(car->wheelInertia), h, driveTorque);
            car->diffLock[0] = front;
            car->diffLock[1] = rear;
        }
        else
            car->diffLock[2] = 0;
    }
}

void bz_PhysCar_TyreForces(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    TyreSolve s{};
    s.car = car;
    s.dt = TimeStep();
    s.M = body->mass;
    s.invM = SafeInv(s.M);
    s.R = car->wheelRadius;
    s.I = car->wheelInertia;
    s.invMoments = body->inversePrincipalMoments;
    const float dt = s.dt;
    bzV3 lin = body->localLinearVelocity;
    bzV3 ang = body->angularVelocity;
    float limits[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < 4; i++)
    {
        car->tyreLimit[i] = 0.0f;
        if (!(car->gripForce[i] > 0.0f))
        {
            // Unloaded: the wheel spins down on its own.
            s.loaded[i] = false;
            if (!(car->carFlags & BZ_CAR_OLD_WHEEL_MODEL))
            {
                float &spin = car->wheelSpin[i];
                float tau = (car->brakeForce[i] * s.R + 5.0f) * SignOr1(spin) * dt;
                const float before = spin;
                spin -= SafeDiv(tau, s.I);
                if (before == 0.0f || (before > 0.0f) != (spin > 0.0f))
                {
                    tau += spin * dt * s.I;
                    spin = 0.0f;
                    if (before == 0.0f)
                        tau = 0.0f;
                }
                car->engineReaction += SafeDiv(tau * car->torqueShare[i], car->sumShareSq * s.R);
            }
            car->brakeForce[i] = 0.0f;
            continue;
        }
        s.loaded[i] = true;
        bzV3 arm = Sub(car->wheelPos[i], body->centreOfMass);
        arm.y -= car->probeDist[i];
        s.arm[i] = arm;
        bzV3 axle = V(1.0f, 0.0f, 0.0f);
        if (car->steered[i])
            axle = Add(axle, Scale(Sub(car->steerCentre, car->wheelPos[i]),
                                   car->steerCurvature * car->forwardSign));
        axle = Normalised(Scale(axle, -1.0f));
        const bzV3 &n = car->contactNormal[i];
        limits[i] = dt * car->gripForce[i] * bz_PhysCar_SlopeFactor(&n, &axle);
        car->tyreLimit[i] = limits[i];
        axle.y -= SafeDiv(Dot(n, axle), n.y);
        axle = Normalised(axle);
        bzV3 f = Cross(n, axle);
        if (car->forwardSign * f.z < 0.0f)
            f = Scale(f, -1.0f);
        s.a[i] = axle;
        s.f[i] = f;
        s.respF[i] = Mul(Cross(arm, f), s.invMoments);
        s.respA[i] = Mul(Cross(arm, axle), s.invMoments);
        const bzCarSurface *surface = car->wheelSurface[i];
        const float surfSlip = surface ? surface->slip : 0.0f;
        s.kappaP[i] = std::max(0.2f + surfSlip, kForceEps);
        s.alphaP[i] = std::max(car->slipLimit[i] + surfSlip, kForceEps);
        s.G[i] = car->grip[i] * (surface ? surface->friction : 1.0f) * car->wheelLoad[i];
        if (!std::isfinite(s.G[i]) || s.G[i] < 0.0f)
            s.G[i] = 0.0f;
        // The old wheel model adds its rolling resistance with its tyre impulses.
        if (car->wheelLoad[i] != 0.0f && !(car->carFlags & BZ_CAR_OLD_WHEEL_MODEL))
        {
            const float vr = Dot(Sub(Add(lin, Cross(ang, arm)), FloorAt(car, i)), f);
            float imp = -(Sign0(vr) * car->rollResist[i] * car->wheelLoad[i] * dt);
            if (surface)
                imp -= vr * surface->rollingresistance * car->wheelLoad[i] * dt * 0.05f;
            lin = AddScaled(lin, f, imp * s.invM);
            ang = AddScaled(ang, s.respF[i], imp);
        }
    }
    for (int32_t i = 0; i < 4; i++)
    {
        const bool driving = s.loaded[i] && car->torqueShare[i] != 0.0f &&
                             (car->driveForce != 0.0f || car->driveForce2 != 0.0f);
        s.D[i] =
            dt * ((driving ? car->driveForce * car->torqueShare[i] : 0.0f) + car->brakeForce[i]);
        s.E[i] = dt * car->driveForce2 * car->torqueShare[i];
    }
    if (car->handbrake != 0.0f)
        s.D[2] = s.D[3] = dt * car->handbrake * 0.5f;
    // Low-speed hold: the sideways forces that keep a slow car where it stands.
    s.hold = nullptr;
    if (std::fabs(lin.z - car->floorVelocity.z) < 0.5f)
    {
        float needs[4];
        for (int32_t i = 0; i < 4; i++)
            needs[i] = s.loaded[i]
                           ? -Dot(Sub(Add(lin, Cross(ang, s.arm[i])), FloorAt(car, i)), s.a[i])
                           : 0.0f;
        float impulses[4];
        bz_PhysCar_OldTyreDistribute(car, limits, needs, s.a, s.arm, impulses);
        for (int32_t i = 0; i < 4; i++)
        {
            s.holdForce[i] = impulses[i] * SafeInv(dt);
            s.holdLimit[i] =
                std::fabs(s.holdForce[i]) * s.alphaP[i] * SafeInv(car->gripForce[i]) * 0.41666666f;
        }
        s.hold = s.holdForce;
    }
    if (car->carFlags & BZ_CAR_OLD_WHEEL_MODEL)
    {
        OldTyres(s, limits, lin, ang);
        body->localLinearVelocity = lin;
        body->angularVelocity = ang;
        body->linearVelocity = Direction(BodyMatrix(body), lin);
        return;
    }
    TyreState state;
    state.lin = lin;
    state.ang = ang;
    for (int32_t i = 0; i < 4; i++)
        state.spin[i] = car->wheelSpin[i];
    state.driveSpin = car->driveSpin;
    Accumulators acc{};
    const float h = dt * 0.05f;
    if (!(car->carFlags & BZ_CAR_OLD_WHEEL_MODEL))
        for (int32_t k = 0; k < kSubSteps; k++)
            SubStep(s, state, h, &acc);
    for (int32_t i = 0; i < 4; i++)
        car->wheelSpin[i] = std::isfinite(state.spin[i]) ? state.spin[i] : 0.0f;
    car->driveSpin = std::isfinite(state.driveSpin) ? state.driveSpin : 0.0f;
    car->engineReaction += 0.05f * acc.driveTorque;
    car->skidFront = std::fabs(acc.lateral[0]) > 20.0f ? acc.lateral[0] * -0.05f : 0.0f;
    car->skidRear = std::fabs(acc.lateral[1]) > 20.0f ? acc.lateral[1] * -0.05f : 0.0f;
    car->driveForce -= 0.05f * acc.traction;
    body->localLinearVelocity = state.lin;
    body->angularVelocity = state.ang;
    body->linearVelocity = Direction(BodyMatrix(body), state.lin);
    bz_PhysCar_EngageDifferentials(car, h, &acc.driveTorque);
}
