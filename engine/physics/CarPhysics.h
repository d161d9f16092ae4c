// The car model: a rigid body on four virtual wheels. Each frame the pre-step casts one ray per
// wheel down the body's y axis against the faces of the body's collision cache; the car step
// then applies air drag and down force, a spring and damper per wheel with anti-roll sharing
// between the axle's wheels, the drive train with its differentials and the tyre forces from
// slip curves with a friction ellipse, all as velocity changes of the body. The next physics
// step integrates the body with everything else.
//
// The car works on the car fields of its bzDynVehicle record (physics/DynVehicle.h) and on its
// body, the BZDObject of the record's bodyLump (of object when bodyLump is null). Time is the
// physics time step, gravity the world's. Nothing here allocates.
#pragma once

#include "physics/DynVehicle.h"

#include <cstdint>

struct BZDObject;
struct bzDynFaceList;

// Called after every ray probe with the car, the ray count, the world ray origins, the unit
// ray direction and the hit faces (null where nothing was hit); it may change the car's
// probeDist values and may point floorVelocities at four per-wheel floor velocities.
typedef void (*bzPhysCarRayProbeHook)(bzDynVehicle *car, int32_t count, const bzV3 *origins,
                                      const bzV3 *direction, const bzDynFaceHit **hitFaces);
// Installs the hook (null: none); gives the previous one.
bzPhysCarRayProbeHook bz_PhysCar_SetRayProbeHook(bzPhysCarRayProbeHook hook);

// The probe's distance when nothing lies within reach.
constexpr float BZ_CAR_PROBE_MISS = 2.0f;
// A wheel whose ground lies this far past full extension is off the ground.
constexpr float BZ_CAR_CONTACT_REACH = 0.2f;
// The largest ride height the probes can serve: suspLength = 1.7 x ride height must stay below
// the probe's reach less the contact reach.
constexpr float BZ_CAR_MAX_RIDE_HEIGHT = 1.0f;

// The car's body, or null.
BZDObject *bz_PhysCar_Body(const bzDynVehicle *car);

// Quadratic a s^2 + b s + c = 0: the number of roots (0 or 2) and the roots, the smaller first
// when they come from the square root. A zero a and b give 0.
int32_t bz_PhysCar_SolveQuadratic(float a, float b, float c, float roots[2]);
// Shares of the weight that each wheel carries at rest, from the centre of mass (car-space x
// and z) as bilinear coordinates in the quadrilateral of the four mounts; the four sum to 1.
void bz_PhysCar_WeightShares(const bzV3 mounts[4], const bzV3 *centre, float sharesOut[4]);
// Derives the weight shares, spring and damper rates, steering centre, forward sign (when 0)
// and the body's inverse moments from the handling fields and the body's mass and centre.
void bz_PhysCar_Setup(bzDynVehicle *car);

// The first car operation of a frame: last distances, ray probes, mean floor velocity.
void bz_PhysCar_PreStep(bzDynVehicle *car);
// The ray probe: n rays (at most 4, one per wheel) from the world origins along direction
// against the list's faces (null: none). Writes probeDist, hitFaces and wheelSurface.
void bz_PhysCar_RayProbe(bzDynVehicle *car, int32_t n, const bzV3 *origins, const bzV3 *direction,
                         const bzDynFaceHit **hitFaces, const bzDynFaceList *list);
// The car step proper.
void bz_PhysCar_Step(bzDynVehicle *car);

// Air drag on the body's world velocity, then the down force.
void bz_PhysCar_DragAndDownForce(bzDynVehicle *car);

// Per-wheel terms of the ray suspension.
struct bzCarSuspensionTerms
{
    bzV3 normal[4];  // car space; zero off the ground
    bzV3 angular[4]; // (r x n) over the principal moments
    float bias[4];   // push-out target less the contact's normal speed
    float response[4][4];
    float warp[4];  // K[0] + K[2] - K[1] - K[3]
    float warpBias; // bias0 - bias1 + bias2 - bias3
};
// The spring, damper and contact terms; 1 when any wheel touches, else 0.
int32_t bz_PhysCar_SuspensionForces(bzDynVehicle *car, bzCarSuspensionTerms *terms);
// Bank steering of one touching wheel (run by the suspension forces while bankSteer is
// non-zero): where the wheel's next move along the ground brings it onto a face tilted across
// the car against the present one (cosine between 0 and 0.9), a steered wheel steers along the
// bank and the wheel gains grip for the step (gripBoost).
void bz_PhysCar_BankSteer(bzDynVehicle *car, int32_t wheel);
// The ray suspension step: forces, axle sharing and the impulse on the body.
void bz_PhysCar_Suspension(bzDynVehicle *car);
// The body's car-space velocity += (dt / M) F, and its world velocity rebuilt from it.
void bz_PhysCar_ApplyForce(bzDynVehicle *car, const bzV3 *force);

// Drive train: the wheel spins tied to the drive shaft with and without the engine's inertia.
void bz_PhysCar_RigidDriveLock(bzDynVehicle *car);
void bz_PhysCar_EngineCoupling(bzDynVehicle *car);
// Locked differentials hold their wheel pairs together; R scales the centre differential's
// correction, h is the time step of the call; driveTorque (or null) loses what the centre
// differential takes.
void bz_PhysCar_Differentials(bzDynVehicle *car, float R, float h, float *driveTorque);
// The wheels' grip forces from their loads, boosts and surfaces.
void bz_PhysCar_GripForces(bzDynVehicle *car);
// A car with no wheel on the ground: wheels spin down, the hand brake stops the rear wheels.
void bz_PhysCar_Airborne(bzDynVehicle *car);

// The tyre stage: tyre frames, rolling resistance, the low-speed hold and 20 midpoint
// sub-steps of the tyre curves, then the differential locks.
void bz_PhysCar_TyreForces(bzDynVehicle *car);
// Decides the differential locks once per step.
void bz_PhysCar_EngageDifferentials(bzDynVehicle *car, float h, float *driveTorque);

// The tyre curves of one wheel: the longitudinal force for slip ratio kappa with limit G and
// peak kappaP, and the lateral force for slip ratio alpha (unsigned) with limit gripForce and
// peak alphaP (the force's size; its sign opposes the sideways motion).
float bz_PhysCar_LongitudinalCurve(float kappa, float kappaP, float G);
float bz_PhysCar_LateralCurve(float alpha, float alphaP, float gripForce);
// The friction ellipse shares the two limits between the longitudinal force F (slip ratio
// kappa, limit G) and the lateral force Flat (slip ratio alpha, limit gripForce); past the peak
// kappaP the longitudinal force drops by up to 40 %. An axis whose limit is 0 gives no force.
void bz_PhysCar_FrictionEllipse(float *F, float kappa, float G, float *Flat, float alpha,
                                float gripForce, float kappaP);
// Slope factor of the tyre limit: q = n.y / (|2 n.a| + n.y), giving 0.8 q^2 + 0.2.
float bz_PhysCar_SlopeFactor(const bzV3 *normal, const bzV3 *axle);

// The old wheel model's friction circle of one wheel: the longitudinal and lateral impulses
// are held within the limit, the lateral giving way first; when the longitudinal alone is more
// than the limit both are scaled onto the circle, the lateral ask being the axle's saturated
// fraction (skidFront or skidRear, 0 when the axle did not saturate) of the limit.
void bz_PhysCar_OldTyreClamp(float *lon, float *lat, float limit, float saturated);
// Axle distribution of needed sideways velocity changes over the loaded wheels (limits L,
// needs v, axle directions, contact arms): four sideways impulses.
void bz_PhysCar_OldTyreDistribute(bzDynVehicle *car, const float limits[4], const float needs[4],
                                  const bzV3 axles[4], const bzV3 arms[4], float impulsesOut[4]);
