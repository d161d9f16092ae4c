// Mass properties of bodies: the mass, centre of mass and inertia of collision forms and their
// shapes, the setting of a body's mass properties, its inverse mass and moments, and impulses
// at a point.
//
// Bodies are reached directly (the physics cannot see the scene's elements); the dynamics layer
// passes the body of the element it acts on.
//
// A mass that is zero, negative or not finite is bad data: it is reported as physics error 13
// and the body is made immovable (inverse mass and moments 0, velocities 0) instead of dividing
// by it. Moments likewise: a moment that is not positive and finite gives an inverse of 0 on
// that axis.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;
struct bzForm;
struct bzShape;

// Changed-attribute bits that the physics ORs into a body's collision mask word for the dynamics
// controller.
enum : uint32_t
{
    BZ_BODY_CHANGED_POSITION = 0x1,
    BZ_BODY_CHANGED_LINEAR = 0x2,
    BZ_BODY_CHANGED_ANGULAR = 0x4,
};

// Mass, centre of mass and inertia tensor about that centre, in the frame of the form.
struct bzMassProperties
{
    float mass;
    bzV3 centre;
    bzM33 inertia; // symmetric
};

// 1 when mass is positive and finite.
int32_t bz_Phys_IsValidMass(float mass);

// Principal moments of a solid box of the given extents (full edge lengths):
// mass / 12 x (b^2 + c^2, a^2 + c^2, a^2 + b^2).
void bz_Phys_BoxMoments(float mass, const bzV3 *extents, bzV3 *out);
// Principal moment of a solid sphere: 2/5 mass r^2 about every axis.
void bz_Phys_SphereMoments(float mass, float radius, bzV3 *out);
// Principal moments of a solid capsule (a cylinder of the segment length capped by two
// hemispheres) with its segment along z, about its centre: x and y across, z along.
void bz_Phys_CapsuleMoments(float mass, float radius, float length, bzV3 *out);

// Mass properties of one shape of uniform density, in the form's frame. Spheres, capsules,
// cuboids and aligned cuboids are solved exactly; the other bounded kinds are taken as their
// box. BZ_ERROR_UNSUPPORTED for the half-spaces, which have no mass; out untouched then.
int32_t bz_Shape_MassProperties(const bzShape *shape, float density, bzMassProperties *out);
// Mass properties of a form whose shapes share one density, scaled so that the total is mass:
// the shapes' centres combined by their masses and their tensors moved to that centre.
// BZ_ERROR_PARAMETER_OUT_OF_RANGE for a bad mass, BZ_ERROR_NO_BOUNDS when the form has no shape
// of positive volume; out untouched on failure. Overlapping shapes count twice.
int32_t bz_Form_MassProperties(const bzForm *form, float mass, bzMassProperties *out);

// Sets a body's mass properties: mass; density (the given one, or when 0 the mass over the
// form's volume after its bounds are computed, 1.0 without a form or volume); centre of mass
// (the given one, the centre of the form's box, or the origin); principal moments (the given
// ones, or those of the form's box, or of a unit cube without a form); the substance; both
// velocities zeroed; then the inverses (bz_Body_SetInverses). Returns 0, or after reporting
// error 13 BZ_ERROR_PARAMETER_OUT_OF_RANGE for a bad mass or moments: the body is then
// immovable (a bad mass leaves mass 0, BZ_PHYS_INF_MASS and BZ_PHYS_INF_MI set).
int32_t bz_Body_SetMassProperties(BZDObject *body, float mass, float density, const bzV3 *centre,
                                  const bzV3 *moments, int32_t substance);
// Inverse moments 1 / moment per axis, or 0 with the angular velocity zeroed under
// BZ_PHYS_INF_MI; inverse mass 1 / mass, or 0 with the linear velocity zeroed under
// BZ_PHYS_INF_MASS. A bad mass or moment gives an inverse of 0 (never a division by it).
void bz_Body_SetInverses(BZDObject *body);

// Impulse j (world frame) scaled by scale, applied at the world point: v += j' / m;
// w += I^-1 (r x jb), with jb the impulse in the body frame of the start-of-step transform and
// r the point relative to the centre of mass in the same frame. ORs the changed-linear and
// changed-angular bits. An impulse, point or scale that is not finite changes nothing and gives
// BZ_ERROR_PARAMETER_OUT_OF_RANGE; else 0.
int32_t bz_Body_ApplyImpulse(const bzV3 *impulse, BZDObject *body, const bzV3 *point, float scale);
// The same for an impulse and a point given in the body frame (the point relative to the
// body's origin): the impulse is turned into the world by the transposed rotation of the
// start-of-step transform for the linear velocity, and acts as it is on the angular velocity.
int32_t bz_Body_ApplyBodyImpulse(const bzV3 *impulse, BZDObject *body, const bzV3 *point,
                                 float scale);

// Principal moments and axes of a symmetric inertia tensor: moments in descending order, and
// axes as the rows of a rotation (right-handed, each row a unit axis in the tensor's frame),
// so that the tensor is axes^T diag(moments) axes. A tensor with an element that is not finite
// gives BZ_ERROR_PARAMETER_OUT_OF_RANGE with moments 0 and axes the identity; else 0.
int32_t bz_Phys_PrincipalAxes(const bzM33 *inertia, bzV3 *moments, bzM33 *axes);
