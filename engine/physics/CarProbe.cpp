// Wheel ground probes and the ray suspension: one ray per wheel down the body's y axis against
// the gathered faces, a spring and damper per wheel, the anti-roll sharing of each axle's load
// and the resulting impulse on the body.
#include "collision/CollisionFace.h"
#include "collision/FaceList.h"
#include "collision/FacePrimitives.h"
#include "collision/FaceRays.h"
#include "collision/FaceTests.h"
#include "maths/Vector.h"
#include "physics/BodySleep.h"
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/CarSurface.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace bzCar;

namespace
{
bzPhysCarRayProbeHook gRayProbeHook = nullptr;

// A gathered face in the layout the face tests read.
bzCollisionFace AsCollisionFace(const bzDynFaceHit &hit)
{
    bzCollisionFace face;
    face.source = hit.lump;
    face.sourceIndex = static_cast<uint32_t>(hit.faceIndex);
    face.flags = hit.flags;
    face.material = hit.material;
    face.normal = hit.plane.n;
    face.distance = hit.plane.d;
    for (int32_t k = 0; k < 3; k++)
        face.corners[k] = hit.vertices[k];
    return face;
}
// A quick refusal before the full face test: no ray reaches the face's plane within the
// probe's reach at a point inside the box of its corners (a hair larger). The full test
// decides everything else.
bool MayHit(const bzDynFaceHit &hit, const bzV3 &reach, const bzV3 *origins, int32_t n)
{
    const bzV3 &normal = hit.plane.n;
    const float k = Dot(reach, normal);
    const bzV3 *v = hit.vertices;
    for (int32_t j = 0; j < n; j++)
    {
        const float d = Dot(Sub(origins[j], v[0]), normal);
        if (!std::isfinite(d) || !std::isfinite(k) || k == 0.0f)
            return true; // left to the full test's own guards
        if (!(k < 0.0f ? (d >= 0.0f && d <= -k) : (d <= 0.0f && -d <= k)))
            continue;
        const bzV3 p = AddScaled(origins[j], reach, -d / k);
        bool inside = true;
        for (int32_t a = 0; a < 3 && inside; a++)
        {
            const float lo = std::min(v[0].v[a], std::min(v[1].v[a], v[2].v[a]));
            const float hi = std::max(v[0].v[a], std::max(v[1].v[a], v[2].v[a]));
            const float margin = 1e-3f * (1.0f + hi - lo);
            inside = p.v[a] >= lo - margin && p.v[a] <= hi + margin;
        }
        if (inside)
            return true;
    }
    return false;
}
} // namespace

bzPhysCarRayProbeHook bz_PhysCar_SetRayProbeHook(bzPhysCarRayProbeHook hook)
{
    const bzPhysCarRayProbeHook old = gRayProbeHook;
    gRayProbeHook = hook;
    return old;
}

void bz_PhysCar_RayProbe(bzDynVehicle *car, int32_t n, const bzV3 *origins, const bzV3 *direction,
                         const bzDynFaceHit **hitFaces, const bzDynFaceList *list)
{
    n = std::clamp(n, 0, 4);
    for (int32_t j = 0; j < n; j++)
    {
        car->probeDist[j] = BZ_CAR_PROBE_MISS;
        hitFaces[j] = nullptr;
    }
    const float length = std::sqrt(Dot(*direction, *direction));
    if (n > 0 && list && length > kTiny && std::isfinite(length))
    {
        // The face test reaches one direction length: reach the probe's whole range.
        const bzV3 reach = Scale(*direction, BZ_CAR_PROBE_MISS / length);
        for (int32_t f = 0; f < list->count; f++)
        {
            const bzDynFaceHit *hit = bz_DynFaceList_Entry(list, f);
            if (!hit || !MayHit(*hit, reach, origins, n))
                continue;
            const bzCollisionFace face = AsCollisionFace(*hit);
            bzV3 normal;
            float fractions[4];
            if (!bz_RaysIntersectFace(&reach, &face, n, origins, &normal, fractions))
                continue;
            for (int32_t j = 0; j < n; j++)
            {
                if (fractions[j] == BZ_FRACTION_MISS)
                    continue;
                const float d = fractions[j] * BZ_CAR_PROBE_MISS;
                if (d < car->probeDist[j])
                {
                    car->probeDist[j] = d;
                    hitFaces[j] = hit;
                }
            }
        }
    }
    for (int32_t j = 0; j < n; j++)
    {
        if (!(car->probeDist[j] < BZ_CAR_PROBE_MISS) || !hitFaces[j])
            continue;
        const bzCarSurface *surface = bz_PhysCar_GetOwnerSurface(hitFaces[j]->material);
        car->wheelSurface[j] = surface;
        if (surface->bmagnitude != 0.0f)
            car->probeDist[j] = bz_PhysCar_BumpedDistance(surface, &origins[j], car->probeDist[j]);
        car->probeDist[j] += car->probeOffset[j];
    }
    if (gRayProbeHook)
    {
        const bzV3 unit = length > kTiny ? Scale(*direction, 1.0f / length) : *direction;
        gRayProbeHook(car, n, origins, &unit, hitFaces);
    }
}

void bz_PhysCar_PreStep(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    for (int32_t i = 0; i < 4; i++)
        car->suspPrev[i] = std::min(car->probeDist[i], car->suspLength[i]);
    const bzM34 *m = BodyMatrix(body);
    bzV3 origins[4];
    for (int32_t i = 0; i < 4; i++)
        origins[i] = Point(m, car->wheelPos[i]);
    const bzV3 down = Scale(m->row[1], -1.0f);
    car->floorVelocities = nullptr;
    const bzDynFaceList *list =
        body && body->collisionCache ? body->collisionCache->gatherList : nullptr;
    bz_PhysCar_RayProbe(car, 4, origins, &down, car->hitFace, list);
    car->floorVelocity = V(0.0f, 0.0f, 0.0f);
    if (car->floorVelocities)
        for (int32_t i = 0; i < 4; i++)
            car->floorVelocity = AddScaled(car->floorVelocity, car->floorVelocities[i], 0.25f);
}

void bz_PhysCar_ApplyForce(bzDynVehicle *car, const bzV3 *force)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body)
        return;
    const float k = TimeStep() * SafeInv(body->mass);
    body->localLinearVelocity = AddScaled(body->localLinearVelocity, *force, k);
    body->linearVelocity = Direction(BodyMatrix(body), body->localLinearVelocity);
}

void bz_PhysCar_BankSteer(bzDynVehicle *car, int32_t wheel)
{
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body || wheel < 0 || wheel > 3 || !car->hitFace[wheel] || car->bankSteer == 0.0f)
        return;
    // The face's normal is taken now: a refreshed cache gathers its faces anew.
    const bzV3 current = car->hitFace[wheel]->plane.n;
    bzV3 contact = Sub(car->wheelPos[wheel], body->centreOfMass);
    contact.y -= car->probeDist[wheel];
    const bzV3 local = Add(Cross(body->angularVelocity, contact), body->localLinearVelocity);
    if (body->collisionCache && !bz_DynCollisionCache_IsValid(body->collisionCache))
    {
        if (car->object)
            bz_Lump_GetMatrix(car->object);
        bz_Phys_RefreshBodyCache(body);
    }
    const bzM34 *m = BodyMatrix(body);
    // The wheel's next move: its velocity along the ground over one step.
    const bzV3 velocity = Direction(m, local);
    const bzV3 move = Scale(AddScaled(velocity, current, -Dot(velocity, current)), TimeStep());
    bzRay ray;
    ray.origin = Add(Point(m, car->wheelPos[wheel]), move);
    ray.delta = Scale(m->row[1], -BZ_CAR_PROBE_MISS);
    ray.flag = 0;
    const bzDynFaceList *list = body->collisionCache ? body->collisionCache->gatherList : nullptr;
    float t = 0.0f;
    const bzDynFaceHit *next = nullptr;
    if (!bz_DynForm_TestFaces(list, &ray, &t, nullptr, &next, nullptr, nullptr) || !next)
        return;
    const float c = Dot(next->plane.n, current);
    if (!(c > 0.0f && c < 0.9f))
        return;
    // The tilt from the present face to the next, in car space: x across the car, z along.
    bzV3 tilt;
    const bzV3 worldTilt = Sub(next->plane.n, current);
    bz_M34_InverseRotateV3Into(m, &tilt, &worldTilt);
    const float u = tilt.x, w = tilt.z;
    if (!(std::fabs(w) < std::fabs(u)))
        return;
    const bzV3 &mount = car->wheelPos[wheel];
    if (car->steered[wheel])
    {
        // Steer along the bank.
        const float q = SafeDiv(w, (car->steerCentre.z - mount.z) * u);
        const float curvature = SafeDiv(q, 1.0f - (car->steerCentre.x - mount.x) * q);
        if (std::isfinite(curvature))
            car->steerCurvature = curvature;
    }
    const float boost = std::sqrt(1.0f - c * c) * car->bankSteer * 10.0f;
    if (std::isfinite(boost))
        car->gripBoost[wheel] = boost;
}

int32_t bz_PhysCar_SuspensionForces(bzDynVehicle *car, bzCarSuspensionTerms *terms)
{
    std::memset(terms, 0, sizeof(*terms));
    BZDObject *body = bz_PhysCar_Body(car);
    if (!body)
        return 0;
    const float dt = TimeStep();
    const float invDt = SafeInv(dt);
    const float invM = SafeInv(body->mass);
    const bzM34 *m = BodyMatrix(body);
    bzV3 arms[4];
    int32_t touching = 0;
    for (int32_t i = 0; i < 4; i++)
    {
        arms[i] = Sub(car->wheelPos[i], body->centreOfMass);
        // Contact needs a face: the probe's miss distance may lie within reach of a long
        // suspension, and a hook may shorten a distance without a face.
        if (!car->hitFace[i] || !(car->probeDist[i] < car->suspLength[i] + BZ_CAR_CONTACT_REACH))
        {
            car->wheelLoad[i] = 0.0f;
            continue;
        }
        touching = 1;
        bzV3 contact = arms[i];
        contact.y -= car->probeDist[i];
        const bzV3 v = Add(Cross(body->angularVelocity, contact), body->localLinearVelocity);
        const bzV3 faceNormal = car->hitFace[i]->plane.n;
        if (car->bankSteer != 0.0f)
        {
            bz_PhysCar_BankSteer(car, i);
            m = BodyMatrix(body); // a refreshed lump may have moved the matrix
        }
        const bzV3 n = Normalised(ToCar(m, faceNormal));
        car->contactNormal[i] = n;
        if (n.y >= 0.5f)
        {
            terms->normal[i] = n;
            terms->angular[i] = Mul(Cross(arms[i], n), body->inversePrincipalMoments);
            const float target = std::min(
                -invDt * ((car->probeDist[i] - car->suspLength[i]) + car->suspGive[i]), 1.4000001f);
            terms->bias[i] = target - Dot(n, v);
        }
        else
        {
            // Too steep to stand on: the wheel loses its contact.
            car->probeDist[i] = BZ_CAR_PROBE_MISS;
            car->wheelLoad[i] = 0.0f;
            continue;
        }
        if (car->probeDist[i] < car->suspLength[i])
        {
            const float s = (car->probeDist[i] - car->suspPrev[i]) * invDt;
            const float load =
                SafeDiv(car->springRate[i], n.y) * (car->suspLength[i] - car->probeDist[i]) -
                s * car->damping[i];
            car->wheelLoad[i] = n.y != 0.0f && load > 0.0f && std::isfinite(load) ? load : 0.0f;
        }
        else
            car->wheelLoad[i] = 0.0f;
    }
    if (!touching)
    {
        for (int32_t i = 0; i < 4; i++)
            car->wheelLoad[i] = 0.0f;
        return 0;
    }
    for (int32_t i = 0; i < 4; i++)
        for (int32_t j = 0; j < 4; j++)
            terms->response[i][j] = Dot(terms->normal[i], Add(Scale(terms->normal[j], invM),
                                                              Cross(terms->angular[j], arms[i])));
    for (int32_t j = 0; j < 4; j++)
        terms->warp[j] = terms->response[0][j] + terms->response[2][j] - terms->response[1][j] -
                         terms->response[3][j];
    terms->warpBias = terms->bias[0] - terms->bias[1] + terms->bias[2] - terms->bias[3];
    return 1;
}

namespace
{
float Residual(const bzCarSuspensionTerms &t, const float p[4])
{
    return t.warpBias - (t.warp[0] * p[0] + t.warp[1] * p[1] + t.warp[2] * p[2] + t.warp[3] * p[3]);
}

// Moves impulse e / (W[a] - W[b]) from wheel b to wheel a of a balanced axle.
void Rebalance(const bzCarSuspensionTerms &t, float p[4], int32_t a, int32_t b, float e)
{
    const float move = SafeDiv(e, t.warp[a] - t.warp[b]);
    if (!std::isfinite(move))
        return;
    p[a] += move;
    p[b] -= move;
}

// A negative share is cleared and the axle's whole impulse goes to the other wheel; true when
// that happened.
bool ClampAxle(float p[4], int32_t a, int32_t b, float total)
{
    if (p[a] < 0.0f)
    {
        p[a] = 0.0f;
        p[b] = total;
        return true;
    }
    if (p[b] < 0.0f)
    {
        p[b] = 0.0f;
        p[a] = total;
        return true;
    }
    return false;
}
} // namespace

void bz_PhysCar_Suspension(bzDynVehicle *car)
{
    BZDObject *body = bz_PhysCar_Body(car);
    bzCarSuspensionTerms t;
    car->wheelsOnGround = 0;
    if (!bz_PhysCar_SuspensionForces(car, &t))
        return;
    const float dt = TimeStep();
    float *L = car->wheelLoad;
    const float total[2] = {std::max((t.normal[0].y * L[0] + t.normal[1].y * L[1]) * dt, 0.0f),
                            std::max((t.normal[2].y * L[2] + t.normal[3].y * L[3]) * dt, 0.0f)};
    float p[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool balanced[2];
    for (int32_t axle = 0; axle < 2; axle++)
    {
        const int32_t a = 2 * axle, b = a + 1;
        balanced[axle] = L[a] > 0.0f && L[b] > 0.0f;
        if (balanced[axle])
            p[a] = p[b] = total[axle] * 0.5f;
        else if (L[b] > L[a])
            p[b] = total[axle];
        else
            p[a] = total[axle];
    }
    if (balanced[0] && balanced[1])
    {
        const float e = Residual(t, p);
        Rebalance(t, p, 0, 1, e * 0.5f);
        Rebalance(t, p, 2, 3, e * 0.5f);
        const bool frontClamped = ClampAxle(p, 0, 1, total[0]);
        const bool rearClamped = ClampAxle(p, 2, 3, total[1]);
        if (frontClamped && !rearClamped)
        {
            p[2] = p[3] = total[1] * 0.5f;
            Rebalance(t, p, 2, 3, Residual(t, p));
            ClampAxle(p, 2, 3, total[1]);
        }
        else if (rearClamped && !frontClamped)
        {
            p[0] = p[1] = total[0] * 0.5f;
            Rebalance(t, p, 0, 1, Residual(t, p));
            ClampAxle(p, 0, 1, total[0]);
        }
    }
    else if (balanced[0] || balanced[1])
    {
        const int32_t a = balanced[0] ? 0 : 2;
        Rebalance(t, p, a, a + 1, Residual(t, p));
        ClampAxle(p, a, a + 1, total[a / 2]);
    }
    const float invDt = SafeInv(dt);
    bzV3 force = V(0.0f, 0.0f, 0.0f);
    bzV3 turn = V(0.0f, 0.0f, 0.0f);
    for (int32_t i = 0; i < 4; i++)
    {
        const float roll = car->axle[i] ? car->rearRoll : car->frontRoll;
        L[i] = p[i] * invDt * roll + (1.0f - roll) * L[i];
        if (!std::isfinite(L[i]))
            L[i] = 0.0f;
        if (L[i] > 0.0f)
            car->wheelsOnGround++;
        force = AddScaled(force, t.normal[i], L[i]);
        turn = AddScaled(turn, t.angular[i], L[i]);
    }
    body->angularVelocity = AddScaled(body->angularVelocity, turn, dt);
    bz_PhysCar_ApplyForce(car, &force);
}
