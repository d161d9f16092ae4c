// Car set-up: weight shares from the wheel layout, spring and damper rates, the steering
// centre and the forward sign; and the helpers the car files share.
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>

namespace bzCar
{
float TimeStep()
{
    return bzgPhysSettings.timeStep;
}

float Gravity(const BZDObject *body)
{
    bzV3 g;
    bz_Phys_WorldGravity(body, &g);
    const float size = std::sqrt(Dot(g, g));
    return std::isfinite(size) ? size : 0.0f;
}

const bzM34 *BodyMatrix(const BZDObject *body)
{
    static constexpr bzM34 kIdentity = {{{{{1.0f, 0.0f, 0.0f}}},
                                         {{{0.0f, 1.0f, 0.0f}}},
                                         {{{0.0f, 0.0f, 1.0f}}},
                                         {{{0.0f, 0.0f, 0.0f}}}}};
    return body && body->transform ? body->transform : &kIdentity;
}
} // namespace bzCar

using namespace bzCar;

BZDObject *bz_PhysCar_Body(const bzDynVehicle *car)
{
    if (!car)
        return nullptr;
    const bzLump *lump = car->bodyLump ? car->bodyLump : car->object;
    return lump ? static_cast<BZDObject *>(lump->dynamicsObject) : nullptr;
}

int32_t bz_PhysCar_SolveQuadratic(float a, float b, float c, float roots[2])
{
    if (a == 0.0f && b == 0.0f)
        return 0;
    const float d = b * b - 4.0f * a * c;
    if (d < 0.0f)
        return 0;
    if (1000.0f * std::fabs(4.0f * a * c) < b * b)
    {
        // Nearly linear: the small root by a series, the other from the sum of the roots.
        roots[0] = 1.3333334f * a * c * c / (b * b * b) - c / b;
        roots[1] = a != 0.0f ? -b / a - roots[0] : roots[0];
        return 2;
    }
    const float q = -b / (2.0f * a);
    const float w = std::sqrt(d) / (2.0f * a);
    roots[0] = w > 0.0f ? q - w : q + w;
    roots[1] = w > 0.0f ? q + w : q - w;
    return 2;
}

namespace
{
float Cross2(float ax, float az, float bx, float bz)
{
    return ax * bz - az * bx;
}
} // namespace

void bz_PhysCar_WeightShares(const bzV3 mounts[4], const bzV3 *centre, float sharesOut[4])
{
    // Class each mount by its side of the mounts' middle: corner index = x side + 2 z side.
    float mx = 0.0f, mz = 0.0f;
    for (int32_t i = 0; i < 4; i++)
    {
        mx += mounts[i].x * 0.25f;
        mz += mounts[i].z * 0.25f;
    }
    int32_t corner[4];
    int32_t wheelAt[4] = {-1, -1, -1, -1};
    bool ok = true;
    for (int32_t i = 0; i < 4; i++)
    {
        corner[i] = (mounts[i].x >= mx ? 1 : 0) + (mounts[i].z >= mz ? 2 : 0);
        if (wheelAt[corner[i]] >= 0)
            ok = false;
        wheelAt[corner[i]] = i;
    }
    if (!ok || !std::isfinite(centre->x) || !std::isfinite(centre->z))
    {
        for (int32_t i = 0; i < 4; i++)
            sharesOut[i] = 0.25f;
        return;
    }
    // P = A + s e + t f + s t g, s along x (0 at the low side), t along z.
    const bzV3 &A = mounts[wheelAt[0]];
    const bzV3 &B = mounts[wheelAt[1]];
    const bzV3 &C = mounts[wheelAt[2]];
    const bzV3 &D = mounts[wheelAt[3]];
    const float ex = B.x - A.x, ez = B.z - A.z;
    const float fx = C.x - A.x, fz = C.z - A.z;
    const float gx = A.x - B.x - C.x + D.x, gz = A.z - B.z - C.z + D.z;
    const float hx = centre->x - A.x, hz = centre->z - A.z;
    // Eliminating t gives a s^2 + b s + c = 0.
    const float qa = Cross2(ex, ez, gx, gz);
    const float qb = Cross2(ex, ez, fx, fz) + Cross2(gx, gz, hx, hz);
    const float qc = Cross2(fx, fz, hx, hz);
    float roots[2];
    float s = 0.5f;
    if (bz_PhysCar_SolveQuadratic(qa, qb, qc, roots) == 2)
    {
        // The root inside the quadrilateral (a hair of rounding allowed); else the first one
        // that is not negative.
        const auto inside = [](float r) { return r >= -1e-4f && r <= 1.0001f; };
        if (inside(roots[0]))
            s = roots[0];
        else if (inside(roots[1]))
            s = roots[1];
        else
            s = roots[0] >= 0.0f || !std::isfinite(roots[1]) ? roots[0] : roots[1];
    }
    if (!std::isfinite(s))
        s = 0.5f;
    s = std::clamp(s, 0.0f, 1.0f);
    // t from the component whose divisor is larger.
    const float dx = fx + gx * s, dz = fz + gz * s;
    float t = std::fabs(dz) >= std::fabs(dx) ? SafeDiv(hz - ez * s, dz) : SafeDiv(hx - ex * s, dx);
    t = std::isfinite(t) ? std::clamp(t, 0.0f, 1.0f) : 0.5f;
    float sum = 0.0f;
    for (int32_t i = 0; i < 4; i++)
    {
        const float wx = (corner[i] & 1) ? s : 1.0f - s;
        const float wz = (corner[i] & 2) ? t : 1.0f - t;
        sharesOut[i] = wx * wz;
        sum += sharesOut[i];
    }
    for (int32_t i = 0; i < 4; i++)
        sharesOut[i] = sum > kTiny ? sharesOut[i] / sum : 0.25f;
}

void bz_PhysCar_Setup(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body)
        return;
    const float M = body->mass;
    const float g = Gravity(body);
    bz_PhysCar_WeightShares(car->wheelPos, &body->centreOfMass, car->weightShare);
    for (int32_t i = 0; i < 4; i++)
    {
        const float give = car->suspGive[i];
        const float share = car->weightShare[i];
        car->springRate[i] = give > kTiny ? M / give * g * share : 0.0f;
        car->damping[i] = give > kTiny ? std::sqrt(g) * M * share / std::sqrt(give) : 0.0f;
        car->suspPrev[i] = car->suspLength[i] - give;
    }
    bzV3 centre = V(0.0f, 0.0f, 0.0f);
    float shareSum = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        if (!car->steered[i])
        {
            centre = AddScaled(centre, car->wheelPos[i], car->weightShare[i]);
            shareSum += car->weightShare[i];
        }
    if (shareSum <= kTiny)
    {
        // Every wheel steers: turn about the weighted middle of all four.
        centre = V(0.0f, 0.0f, 0.0f);
        shareSum = 0.0f;
        for (int32_t i = 0; i < 4; i++)
        {
            centre = AddScaled(centre, car->wheelPos[i], car->weightShare[i]);
            shareSum += car->weightShare[i];
        }
    }
    car->steerCentre = Scale(centre, SafeInv(shareSum));
    // The body keeps its floor velocity; the car marks that it has one.
    body->parameterMask |= BZ_BODY_FLOOR_VELOCITY;
    if (car->forwardSign == 0.0f)
    {
        int32_t last = 0;
        for (int32_t i = 0; i < 4; i++)
            if (car->steered[i])
                last = i;
        car->forwardSign = car->wheelPos[last].z >= car->steerCentre.z ? 1.0f : -1.0f;
    }
    for (int32_t k = 0; k < 3; k++)
        body->inversePrincipalMoments.v[k] = SafeInv(body->principalMoments.v[k]);
}
