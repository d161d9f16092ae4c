// Mass, centre of mass and inertia of shapes and forms; a body's mass properties, inverses and
// impulses at a point.
#include "physics/BodyMass.h"

#include "collision/Form.h"
#include "collision/Shape.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
constexpr float kPi = 3.14159265358979f;

bool Finite(const bzV3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void DiagonalTensor(const bzV3 &moments, bzM33 *out)
{
    *out = bzM33{};
    for (int i = 0; i < 3; ++i)
        out->row[i].v[i] = moments.v[i];
}

// Mass properties of a solid box between lo and hi of the form's frame.
void BoxMass(const bzV3 &lo, const bzV3 &hi, float density, bzMassProperties *out)
{
    bzV3 extents;
    bz_V3_SubInto(&hi, &lo, &extents);
    out->mass = density * extents.x * extents.y * extents.z;
    for (int i = 0; i < 3; ++i)
        out->centre.v[i] = 0.5f * (lo.v[i] + hi.v[i]);
    bzV3 moments;
    bz_Phys_BoxMoments(out->mass, &extents, &moments);
    DiagonalTensor(moments, &out->inertia);
}

// Moves a tensor about a body's own centre to a point at offset d from that centre.
void AddParallelAxis(bzM33 *inertia, float mass, const bzV3 &d)
{
    const float dd = bz_V3_Dot(&d, &d);
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            inertia->row[j].v[k] += mass * ((j == k ? dd : 0.0f) - d.v[j] * d.v[k]);
}
} // namespace

int32_t bz_Phys_IsValidMass(float mass)
{
    return std::isfinite(mass) && mass > 0.0f ? 1 : 0;
}

void bz_Phys_BoxMoments(float mass, const bzV3 *extents, bzV3 *out)
{
    const float a2 = extents->x * extents->x;
    const float b2 = extents->y * extents->y;
    const float c2 = extents->z * extents->z;
    const float k = mass / 12.0f;
    bz_V3_Set(out, k * (b2 + c2), k * (a2 + c2), k * (a2 + b2));
}

void bz_Phys_SphereMoments(float mass, float radius, bzV3 *out)
{
    const float i = 0.4f * mass * radius * radius;
    bz_V3_Set(out, i, i, i);
}

void bz_Phys_CapsuleMoments(float mass, float radius, float length, bzV3 *out)
{
    const float r2 = radius * radius;
    const float cylinder = kPi * r2 * length;
    const float ball = 4.0f / 3.0f * kPi * r2 * radius;
    const float total = cylinder + ball;
    if (total <= 0.0f)
    {
        bz_V3_Set(out, 0.0f, 0.0f, 0.0f);
        return;
    }
    const float mc = mass * cylinder / total;
    const float ms = mass * ball / total; // both hemispheres
    const float along = mc * r2 / 2.0f + ms * 0.4f * r2;
    // Each hemisphere's centroid lies 3r/8 beyond the end of the segment.
    const float across = mc * (length * length / 12.0f + r2 / 4.0f) +
                         ms * (0.4f * r2 + length * length / 4.0f + 0.375f * length * radius);
    bz_V3_Set(out, across, across, along);
}

int32_t bz_Shape_MassProperties(const bzShape *shape, float density, bzMassProperties *out)
{
    BZ_ASSERT(shape && out);
    if (!shape || !out)
        return BZ_ERROR_INVALID_PARAMETER;
    switch (shape->kind)
    {
    case BZ_SHAPE_SPHERE:
    {
        const auto *s = static_cast<const bzSphereShape *>(shape);
        out->mass = density * 4.0f / 3.0f * kPi * s->radius * s->radius * s->radius;
        out->centre = s->centre;
        bzV3 moments;
        bz_Phys_SphereMoments(out->mass, s->radius, &moments);
        DiagonalTensor(moments, &out->inertia);
        return 0;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        bzV3 axis;
        bz_V3_SubInto(&t->segmentEnd, &t->segmentStart, &axis);
        const float length = bz_V3_Length(&axis);
        out->mass = density * bz_TicTac_Volume(t->radius, length);
        for (int i = 0; i < 3; ++i)
            out->centre.v[i] = 0.5f * (t->segmentStart.v[i] + t->segmentEnd.v[i]);
        bzV3 moments;
        bz_Phys_CapsuleMoments(out->mass, t->radius, length, &moments);
        // I = across E + (along - across) u u^T; a point capsule is a sphere.
        if (length > 0.0f)
            bz_V3_Scale(&axis, 1.0f / length);
        else
            bz_V3_Set(&axis, 0.0f, 0.0f, 0.0f);
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                out->inertia.row[j].v[k] =
                    (j == k ? moments.x : 0.0f) + (moments.z - moments.x) * axis.v[j] * axis.v[k];
        return 0;
    }
    case BZ_SHAPE_CUBOID:
    {
        const auto *c = static_cast<const bzCuboidShape *>(shape);
        bzMassProperties local;
        BoxMass(c->localMin, c->localMax, density, &local);
        out->mass = local.mass;
        bz_M34_TransformPointInto(&c->placement, &out->centre, &local.centre);
        // Row i of the placement is the image of the cuboid's axis i: I = R^T D R.
        const bzV3 *r = c->placement.row;
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
            {
                float sum = 0.0f;
                for (int i = 0; i < 3; ++i)
                    sum += local.inertia.row[i].v[i] * r[i].v[j] * r[i].v[k];
                out->inertia.row[j].v[k] = sum;
            }
        return 0;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE:
    case BZ_SHAPE_NULL: return BZ_ERROR_UNSUPPORTED;
    default:
    {
        const bzBox *box = bz_Shape_Bounds(shape);
        if (!box)
            return BZ_ERROR_UNSUPPORTED;
        BoxMass(box->min, box->max, density, out);
        return 0;
    }
    }
}

int32_t bz_Form_MassProperties(const bzForm *form, float mass, bzMassProperties *out)
{
    BZ_ASSERT(form && out);
    if (!form || !out)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bz_Phys_IsValidMass(mass))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    // First pass: the total of unit density and the centre.
    float total = 0.0f;
    bzV3 weighted = {};
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        bzMassProperties part;
        if (bz_Shape_MassProperties(s, 1.0f, &part) != 0 || !(part.mass > 0.0f))
            continue;
        total += part.mass;
        bz_V3_AddScaled(&weighted, &part.centre, part.mass);
    }
    if (!(total > 0.0f) || !std::isfinite(total))
        return BZ_ERROR_NO_BOUNDS;
    bzV3 centre;
    bz_V3_ScaleInto(&weighted, &centre, 1.0f / total);
    // Second pass: every tensor moved to the common centre.
    bzM33 inertia = {};
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        bzMassProperties part;
        if (bz_Shape_MassProperties(s, 1.0f, &part) != 0 || !(part.mass > 0.0f))
            continue;
        bzV3 d;
        bz_V3_SubInto(&part.centre, &centre, &d);
        AddParallelAxis(&part.inertia, part.mass, d);
        for (int j = 0; j < 3; ++j)
            bz_V3_Add(&inertia.row[j], &part.inertia.row[j]);
    }
    const float scale = mass / total;
    out->mass = mass;
    out->centre = centre;
    for (int j = 0; j < 3; ++j)
        bz_V3_ScaleInto(&inertia.row[j], &out->inertia.row[j], scale);
    return 0;
}

void bz_Body_SetInverses(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    if (body->physicsFlags & BZ_PHYS_INF_MI)
    {
        bz_V3_Set(&body->inversePrincipalMoments, 0.0f, 0.0f, 0.0f);
        bz_V3_Set(&body->angularVelocity, 0.0f, 0.0f, 0.0f);
    }
    else
    {
        for (int i = 0; i < 3; ++i)
        {
            const float m = body->principalMoments.v[i];
            body->inversePrincipalMoments.v[i] = bz_Phys_IsValidMass(m) ? 1.0f / m : 0.0f;
        }
    }
    if (body->physicsFlags & BZ_PHYS_INF_MASS)
    {
        body->inverseMass = 0.0f;
        bz_V3_Set(&body->linearVelocity, 0.0f, 0.0f, 0.0f);
    }
    else
        body->inverseMass = bz_Phys_IsValidMass(body->mass) ? 1.0f / body->mass : 0.0f;
}

int32_t bz_Body_SetMassProperties(BZDObject *body, float mass, float density, const bzV3 *centre,
                                  const bzV3 *moments, int32_t substance)
{
    BZ_ASSERT(body);
    if (!body)
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t result = 0;
    const bool goodMass = bz_Phys_IsValidMass(mass) != 0;
    const bool goodMoments =
        !moments || (bz_Phys_IsValidMass(moments->x) && bz_Phys_IsValidMass(moments->y) &&
                     bz_Phys_IsValidMass(moments->z));
    if (!goodMass || !goodMoments)
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_ZERO_MASS, "");
        result = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    }
    body->mass = goodMass ? mass : 0.0f;
    bzForm *form = body->form;
    if (form)
        bz_Form_CalcBounds(form, 1);
    if (density == 0.0f)
    {
        const float volume = form ? bz_Form_Volume(form) : 0.0f;
        density = goodMass && volume > 0.0f ? mass / volume : 1.0f;
    }
    body->density = density;
    if (centre)
        body->centreOfMass = *centre;
    else if (form)
        for (int i = 0; i < 3; ++i)
            body->centreOfMass.v[i] = 0.5f * (form->bounds.min.v[i] + form->bounds.max.v[i]);
    else
        bz_V3_Set(&body->centreOfMass, 0.0f, 0.0f, 0.0f);
    if (moments)
        body->principalMoments = *moments;
    else
    {
        bzV3 extents = {{{1.0f, 1.0f, 1.0f}}};
        if (form)
            bz_V3_SubInto(&form->bounds.max, &form->bounds.min, &extents);
        bz_Phys_BoxMoments(body->mass, &extents, &body->principalMoments);
    }
    body->substance = substance;
    bz_V3_Set(&body->linearVelocity, 0.0f, 0.0f, 0.0f);
    bz_V3_Set(&body->angularVelocity, 0.0f, 0.0f, 0.0f);
    if (!goodMass)
        body->physicsFlags |= BZ_PHYS_FIXED;
    else if (!goodMoments)
        body->physicsFlags |= BZ_PHYS_INF_MI;
    bz_Body_SetInverses(body);
    return result;
}

int32_t bz_Body_ApplyImpulse(const bzV3 *impulse, BZDObject *body, const bzV3 *point, float scale)
{
    BZ_ASSERT(impulse && body && point);
    if (!impulse || !body || !point)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!Finite(*impulse) || !Finite(*point) || !std::isfinite(scale))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    bzV3 j;
    bz_V3_ScaleInto(impulse, &j, scale);
    bz_V3_AddScaled(&body->linearVelocity, &j, body->inverseMass);
    // Both the impulse and the lever arm in the body frame of the start-of-step transform.
    bzV3 jb, r;
    bz_M34_InverseRotateV3Into(&body->startTransform, &jb, &j);
    bz_M34_InverseTransformPointInto(&body->startTransform, &r, point);
    bz_V3_SubInto(&r, &body->centreOfMass, &r);
    bzV3 torque;
    bz_V3_CrossInto(&r, &jb, &torque);
    for (int i = 0; i < 3; ++i)
        body->angularVelocity.v[i] += torque.v[i] * body->inversePrincipalMoments.v[i];
    body->collisionMask |= BZ_BODY_CHANGED_LINEAR | BZ_BODY_CHANGED_ANGULAR;
    return 0;
}

int32_t bz_Body_ApplyBodyImpulse(const bzV3 *impulse, BZDObject *body, const bzV3 *point,
                                 float scale)
{
    BZ_ASSERT(impulse && body && point);
    if (!impulse || !body || !point)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!Finite(*impulse) || !Finite(*point) || !std::isfinite(scale))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    bzV3 jb, j, r, torque;
    bz_V3_ScaleInto(impulse, &jb, scale);
    bz_RotateV3Into(&body->startTransform, &j, &jb);
    bz_V3_AddScaled(&body->linearVelocity, &j, body->inverseMass);
    bz_V3_SubInto(point, &body->centreOfMass, &r);
    bz_V3_CrossInto(&r, &jb, &torque);
    for (int i = 0; i < 3; ++i)
        body->angularVelocity.v[i] += torque.v[i] * body->inversePrincipalMoments.v[i];
    body->collisionMask |= BZ_BODY_CHANGED_LINEAR | BZ_BODY_CHANGED_ANGULAR;
    return 0;
}
