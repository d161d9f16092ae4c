// The intersection handlers of the world collision: overlap of the current shape with the
// candidate faces at the new placement, while the body is known to intersect the world.
#include "physics/WorldHandlers.h"

#include "collision/PairMaths.h"
#include "collision/Shape.h"
#include "physics/Body.h"
#include "physics/WorldCollision.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kNoHit = 2.0f;
constexpr float kOneWayLean = 0.01f;
constexpr float kBothWaysLean = 0.05f;
constexpr float kLeavingSpeed = 0.01f;
constexpr uint32_t kEdgeMasks[3] = {BZ_FACE_SKIP_EDGE_0, BZ_FACE_SKIP_EDGE_1, BZ_FACE_SKIP_EDGE_2};

bzV3 Unit(const bzV3 &v)
{
    const float l2 = LengthSq(v);
    return l2 > 0.0f ? Scale(v, 1.0f / std::sqrt(l2)) : v;
}

// The velocity of a body-frame point: the turn about the centre of mass and the body's linear
// velocity, both in the body frame.
bzV3 PointVelocity(const bzWorldCollisionState &st, const bzV3 &point)
{
    const BZDObject &body = *st.body;
    const bzV3 linear = Direction(&st.worldToBody, body.linearVelocity);
    return Add(Cross(body.angularVelocity, Sub(point, body.centreOfMass)), linear);
}

struct Hit
{
    const bzCollisionFace *face;
    bzV3 point, normal;
    float lean; // normal . unit(centre of mass - hit)
};

Hit Cast(const bzV3 &from, const bzV3 &to, const bzV3 &centre)
{
    Hit h{};
    const bzV3 delta = Sub(to, from);
    float fraction = kNoHit;
    h.face = bz_PhysWorld_NearestFaceHit(&from, &delta, &fraction, &h.point, &h.normal);
    if (h.face)
        h.lean = Dot(h.normal, Unit(Sub(centre, h.point)));
    return h;
}

void AddCrossing(bzWorldCollisionState &st, const Hit &h)
{
    st.intersectionFound = 1;
    const bzV3 p = Point(&st.worldToBody, h.point);
    const bzV3 back = Point(&st.previousPlacement, p);
    if (!(Dot(h.normal, Sub(h.point, back)) > 0.0f))
        return;
    st.face = h.face;
    const bzV3 n = Direction(&st.worldToBody, h.normal);
    bz_PhysWorld_AddContact(0.0f, &p, &n, BZ_CONTACT_POINT_ON_FACE, h.face, nullptr);
}

void SphereAgainstCandidates(bzWorldCollisionState &st, const bzV3 &centre, float radius)
{
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & BZ_FACE_CANDIDATE)
            continue;
        st.face = &face;
        bz_PhysWorld_SphereInFace(&centre, radius, &face);
    }
}

// The point of the segment a-b nearest p.
bzV3 NearestOnSegment(const bzV3 &a, const bzV3 &b, const bzV3 &p)
{
    const bzV3 d = Sub(b, a);
    const float dd = LengthSq(d);
    if (!(dd > 0.0f))
        return a;
    float u = Dot(Sub(p, a), d) / dd;
    u = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
    return AddScaled(a, d, u);
}
} // namespace

void bz_PhysWorld_IntersectPolyhedron()
{
    bz_PhysWorld_EdgesThroughFaces();
}

void bz_PhysWorld_EdgesThroughFaces()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    bzShapeWork &work = *st.work;
    if (st.shape->kind == BZ_SHAPE_SPHERE)
        return;
    const bzV3 centre = Point(&st.newPlacement, st.body->centreOfMass);
    for (int32_t e = 0; e < work.edgeCount; e++)
    {
        const int32_t i = work.edges[e].a, j = work.edges[e].b;
        if (i >= work.vertexCount || j >= work.vertexCount)
            continue;
        const Hit ij = Cast(work.newPositions[i], work.newPositions[j], centre);
        const Hit ji = Cast(work.newPositions[j], work.newPositions[i], centre);
        if (!ij.face && ji.face)
        {
            if (ji.lean >= kOneWayLean)
            {
                work.marks[i] = 1;
                AddCrossing(st, ji);
            }
        }
        else if (ij.face && !ji.face)
        {
            if (ij.lean > kOneWayLean)
            {
                work.marks[j] = 1;
                AddCrossing(st, ij);
            }
        }
        else if (ij.face && ji.face && (ij.lean >= kBothWaysLean || ji.lean >= kBothWaysLean))
        {
            if (ij.lean >= ji.lean)
            {
                work.marks[j] = 1;
                AddCrossing(st, ij);
            }
            else
            {
                work.marks[i] = 1;
                AddCrossing(st, ji);
            }
        }
    }
}

void bz_PhysWorld_IntersectSphere()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    if (st.work->vertexCount < 1)
        return;
    const auto *sphere = static_cast<const bzSphereShape *>(st.shape);
    SphereAgainstCandidates(st, st.work->newPositions[0], sphere->radius);
}

void bz_PhysWorld_SphereInFace(const bzV3 *centre, float radius, const bzCollisionFace *face)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzV3 &c = *centre;
    const float s = Dot(face->normal, c) - face->distance;
    if (!(std::fabs(s) < radius))
        return;
    const bzV3 onPlane = AddScaled(c, face->normal, -s);
    const bzV3 &v0 = face->corners[0], &v1 = face->corners[1], &v2 = face->corners[2];
    const bzV3 e0 = Sub(v1, v0), e1 = Sub(v2, v0), w = Sub(onPlane, v0);
    const float d00 = Dot(e0, e0), d01 = Dot(e0, e1), d11 = Dot(e1, e1);
    const float d20 = Dot(w, e0), d21 = Dot(w, e1);
    const float den = d00 * d11 - d01 * d01;
    if (!(std::fabs(den) > FLT_EPSILON))
        return;
    const float u = (d11 * d20 - d01 * d21) / den;
    const float v = (d00 * d21 - d01 * d20) / den;
    st.face = face;
    if (u >= 0.0f && v >= 0.0f && u + v < 1.0f)
    {
        st.intersectionFound = 1;
        const bzV3 p = Point(&st.worldToBody, onPlane);
        const bzV3 n = Direction(&st.worldToBody, face->normal);
        if (Dot(PointVelocity(st, p), n) <= 0.0f)
            bz_PhysWorld_AddContact(0.0f, &p, &n, BZ_CONTACT_POINT_ON_FACE, face, nullptr);
        return;
    }
    // Outside the triangle: still touching within the reach of the sphere's section?
    const float twiceArea = std::sqrt(LengthSq(Cross(e0, e1)));
    if (!(twiceArea > FLT_EPSILON))
        return;
    const float reach = std::sqrt(radius * radius - s * s);
    const float len0 = std::sqrt(d00), len2 = std::sqrt(d11);
    const float len1 = std::sqrt(LengthSq(Sub(v2, v1)));
    // Heights of the corners over the opposite edges: v1 over edge 2, v2 over edge 0, v0 over
    // edge 1.
    const float heightU = twiceArea / len2, heightV = twiceArea / len0, heightW = twiceArea / len1;
    if (!(u > -reach / heightU && v > -reach / heightV && u + v < 1.0f + reach / heightW))
        return;
    st.intersectionFound = 1;
    const bool out0 = v<0.0f, out1 = u + v> 1.0f, out2 = u < 0.0f;
    bzV3 boundary;
    if (out2 && out0)
    {
        st.corner = 0;
        boundary = v0;
    }
    else if (out0 && out1)
    {
        st.corner = 1;
        boundary = v1;
    }
    else if (out1 && out2)
    {
        st.corner = 2;
        boundary = v2;
    }
    else
    {
        const int32_t edge = out0 ? 0 : (out1 ? 1 : 2);
        if (face->flags & kEdgeMasks[edge])
            return;
        st.corner = edge;
        boundary = NearestOnSegment(face->corners[edge], face->corners[(edge + 1) % 3], c);
    }
    bz_PhysWorld_SphereAtFaceBoundary(&boundary, &c);
}

void bz_PhysWorld_SphereAtFaceBoundary(const bzV3 *point, const bzV3 *centre)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzV3 p = Point(&st.worldToBody, *point);
    const bzV3 n = Unit(Direction(&st.worldToBody, Sub(*centre, *point)));
    if (!(Dot(PointVelocity(st, p), n) <= kLeavingSpeed))
        return;
    bz_PhysWorld_AddContact(0.0f, &p, &n, BZ_CONTACT_POINT_ON_FACE, st.face, nullptr);
}

void bz_PhysWorld_IntersectTicTac()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    if (work.vertexCount < 2)
        return;
    const auto *ticTac = static_cast<const bzTicTacShape *>(st.shape);
    const bzV3 &end0 = work.newPositions[0], &end1 = work.newPositions[1];
    const bzV3 centre = Point(&st.newPlacement, st.body->centreOfMass);
    const Hit from0 = Cast(end0, end1, centre);
    const Hit from1 = Cast(end1, end0, centre);
    if (!from0.face && !from1.face)
    {
        SphereAgainstCandidates(st, end0, ticTac->radius);
        SphereAgainstCandidates(st, end1, ticTac->radius);
        return;
    }
    st.intersectionFound = 1;
    if (from0.face && from1.face)
        return;
    const Hit &h = from0.face ? from0 : from1;
    const bzV3 p = Point(&st.worldToBody, h.point);
    const bzV3 n = Direction(&st.worldToBody, h.face->normal);
    if (Dot(PointVelocity(st, p), n) < 0.0f)
    {
        st.face = h.face;
        bz_PhysWorld_AddContact(0.0f, &p, &n, BZ_CONTACT_POINT_ON_FACE,
                                from0.face ? h.face : nullptr, nullptr);
    }
    SphereAgainstCandidates(st, from0.face ? end0 : end1, ticTac->radius);
}

void bz_PhysWorld_IntersectRoundedPolyhedron()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    const auto *shape = static_cast<const bzPolyhedronShape *>(st.shape);
    for (int32_t i = 0; i < work.vertexCount; i++)
        SphereAgainstCandidates(st, work.newPositions[i], shape->roundingRadius);
    bz_PhysWorld_EdgesThroughFaces();
}
