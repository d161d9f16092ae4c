// The world collision handlers of round shapes: the sphere, the tic-tac and the rounded
// polyhedron swept against the candidate faces, their edges and corners.
#include "physics/WorldHandlers.h"

#include "collision/CollisionFace.h"
#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/FaceRays.h"
#include "collision/KindDispatch.h"
#include "collision/PairMaths.h"
#include "collision/Shape.h"
#include "collision/SweptContacts.h"
#include "physics/Body.h"
#include "physics/WorldCollision.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kNoHit = 2.0f;
constexpr uint32_t kEdgeMasks[3] = {BZ_FACE_SKIP_EDGE_0, BZ_FACE_SKIP_EDGE_1, BZ_FACE_SKIP_EDGE_2};
// Per-vertex side marks of the rounded sweep.
constexpr uint8_t kBelow = 1, kAbove = 2;

bzV3 Unit(const bzV3 &v)
{
    const float l2 = LengthSq(v);
    return l2 > 0.0f ? Scale(v, 1.0f / std::sqrt(l2)) : v;
}

// Takes a contact found in the world frame into the body's and inserts it.
int32_t InsertWorldContact(const bzCollisionContact *contact)
{
    bzCollisionContact c = *contact;
    bz_PhysWorld_ContactToBody(&c);
    return bz_PhysWorld_InsertRecord(&c, BZ_CONTACT_SWEPT_ON_FACE_EDGE);
}

int32_t InsertCornerContact(void *, const bzCollisionContact *contact, int32_t)
{
    return InsertWorldContact(contact);
}

bzSweptFrames WorldFrames(const bzWorldCollisionState &)
{
    return bzSweptFrames{nullptr, nullptr, nullptr};
}

// A round end (centre world at the new placement, local in the body frame) swept as a sphere of
// radius r met the face at the fraction: feature 3. The point lies below the centre along the
// normal in the frame of the new placement, the frame the contact's rows work in: the face
// pushes through the centre, and a ball that spins during the step is not given a lever.
void AddRoundEnd(const bzWorldCollisionState &st, const bzV3 &local, float r, float fraction,
                 const bzCollisionFace *face)
{
    const bzV3 normal = Direction(&st.worldToBody, face->normal);
    const bzV3 point = AddScaled(local, normal, -r);
    bz_PhysWorld_AddContact(fraction, &point, &normal, BZ_CONTACT_SWEPT_ROUND_ON_FACE, face,
                            nullptr);
}

// A sphere that starts the step sunk into a face, its centre still in front of it, and does not
// end the step clear of the face (at most the collision tolerance beyond touching, as the sweep
// counts a touch): the sweep finds no entry, as the sphere already touches the face, yet it
// rests in it. The face it is sunk into least deeply is touched at the start of the step
// (fraction 0), so the contact pushes the sphere out instead of letting it sink further or fall
// through, as a box corner just behind a face is.
const bzCollisionFace *ShallowFaceUnder(const bzWorldCollisionState &st, const bzV3 &start,
                                        const bzV3 &end, float r, float *fractionOut)
{
    const bzCollisionFace *best = nullptr;
    float deepest = 0.0f; // the largest distance of the centre in front of a face so far
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & (BZ_FACE_CANDIDATE | BZ_FACE_NEVER_COLLIDE))
            continue;
        const float d0 = Dot(start, face.normal) - face.distance;
        const float d1 = Dot(end, face.normal) - face.distance;
        if (!(d0 < r && d0 > 0.0f && d0 >= deepest) || !(d1 <= r + bzCollisionTolerance))
            continue;
        const bzV3 onPlane = AddScaled(start, face.normal, -d0);
        if (!bz_Face_PointInside(&face, &onPlane, BZ_FACE_INSIDE_HIGH))
            continue;
        deepest = d0;
        best = &face;
    }
    if (best)
        *fractionOut = 0.0f;
    return best;
}

// The face corners not yet settled against the moving axis s0-s1 / p0-p1 with the radius.
void CornersAgainstAxis(bzWorldCollisionState &st, const bzCollisionFace &face, const bzV3 &s0,
                        const bzV3 &s1, const bzV3 &p0, const bzV3 &p1, float radius,
                        const uint8_t *settled, const int32_t *which, int32_t count)
{
    const bzV3 e = Sub(s1, s0);
    const bzV3 v = Sub(p0, s0);
    const bzV3 w = Sub(Sub(p1, p0), e);
    const bzSweptFrames frames = WorldFrames(st);
    for (int32_t i = 0; i < count; i++)
    {
        const int32_t k = which[i];
        if (settled[k])
            continue;
        st.corner = k;
        bz_SweptPointsTicTac(0.0f, radius, &face.corners[k], nullptr, 1, &s0, &v, &e, &w, &frames,
                             InsertCornerContact, nullptr, st.count);
    }
}
} // namespace

void bz_PhysWorld_CollideSphere()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const int32_t before = st.count;
    bz_PhysWorld_SweepSphere();
    bz_PhysWorld_SphereAgainstFaceEdges();
    // Only the earliest of the sphere's contacts counts.
    if (st.count > before)
        st.count = before + 1;
}

int32_t bz_PhysWorld_SweepSphere()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    if (work.vertexCount < 1)
        return st.count;
    const auto *sphere = static_cast<const bzSphereShape *>(st.shape);
    float best = kNoHit;
    const bzCollisionFace *bestFace = nullptr;
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        float fraction = BZ_FRACTION_MISS;
        bz_SweptSphereIntersectFace(&st.faces[f], &work.newPositions[0], &work.previousPositions[0],
                                    sphere->radius, &fraction);
        if (fraction < best)
        {
            best = fraction;
            bestFace = &st.faces[f];
        }
    }
    if (!bestFace)
        bestFace = ShallowFaceUnder(st, work.newPositions[0], work.previousPositions[0],
                                    sphere->radius, &best);
    if (!bestFace)
        return st.count;
    st.face = bestFace;
    AddRoundEnd(st, sphere->centre, sphere->radius, best, bestFace);
    return st.count;
}

void bz_PhysWorld_SphereAgainstFaceEdges()
{
    bz_PhysWorld_ForEachOpenFaceEdge(bz_PhysWorld_SphereAgainstFaceEdge);
}

void bz_PhysWorld_SphereAgainstFaceEdge(const bzV3 *a, const bzV3 *b)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    if (work.vertexCount < 1 || bz_PhysWorld_OutsideSweptBox(st, *a, *b))
        return;
    const auto *sphere = static_cast<const bzSphereShape *>(st.shape);
    float t = BZ_FRACTION_MISS;
    bzV3 point, normal;
    bz_SweptPointEdgeRadius(a, b, &work.newPositions[0], &work.previousPositions[0], sphere, &t,
                            &point, &normal, 0, 0);
    if (!(t <= 1.0f))
        return;
    // normal runs from the centre towards the edge.
    const bzV3 inLump = Direction(&st.inverseLump, normal);
    const bzV3 inBody = Direction(&st.worldToBody, normal);
    const bzV3 blend = Unit(AddScaled(Scale(inLump, t), inBody, 1.0f - t));
    const bzV3 at = AddScaled(sphere->centre, blend, sphere->radius);
    const bzV3 n = Scale(inBody, -1.0f);
    bz_PhysWorld_AddContact(t, &at, &n, BZ_CONTACT_SWEPT_ON_FACE_EDGE, st.face, nullptr);
}

void bz_PhysWorld_CollideTicTac()
{
    bz_PhysWorld_SweepTicTac();
}

void bz_PhysWorld_SweepTicTac()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    if (work.vertexCount < 2)
        return;
    const auto *ticTac = static_cast<const bzTicTacShape *>(st.shape);
    const float r = ticTac->radius;
    const bzV3 local[2] = {ticTac->segmentStart, ticTac->segmentEnd};
    const bzV3 *s = work.newPositions;
    const bzV3 *p = work.previousPositions;
    static constexpr int32_t kAllCorners[3] = {0, 1, 2};
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & BZ_FACE_CANDIDATE)
            continue;
        st.face = &face;
        int32_t codes[2];
        for (int32_t end = 0; end < 2; end++)
        {
            float fraction = BZ_FRACTION_MISS;
            codes[end] = bz_SweptSphereIntersectFace(&face, &s[end], &p[end], r, &fraction);
            if (fraction < kNoHit)
                AddRoundEnd(st, local[end], r, fraction, &face);
        }
        // Both ends beyond reach on one side at both placements: nothing more can touch.
        if (codes[0] != 0 && codes[0] == codes[1])
            continue;
        uint8_t settled[3] = {0, 0, 0};
        for (int32_t k = 0; k < 3; k++)
        {
            if (face.flags & kEdgeMasks[k])
                continue;
            st.corner = k;
            bz_PhysWorld_TicTacAgainstEdge(&s[0], &s[1], &p[0], &p[1], r, &face.corners[k],
                                           &face.corners[(k + 1) % 3], &settled[k],
                                           &settled[(k + 1) % 3]);
        }
        CornersAgainstAxis(st, face, s[0], s[1], p[0], p[1], r, settled, kAllCorners, 3);
    }
}

void bz_PhysWorld_TicTacAgainstEdge(const bzV3 *s0, const bzV3 *s1, const bzV3 *p0, const bzV3 *p1,
                                    float radius, const bzV3 *a, const bzV3 *b, uint8_t *settledA,
                                    uint8_t *settledB)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzSweptFrames frames = WorldFrames(st);
    const bzV3 f = Sub(*b, *a);
    const bzV3 e = Sub(*s1, *s0);
    const bzV3 v = Sub(*p0, *s0);
    const bzV3 w = Sub(Sub(*p1, *p0), e);
    bzCollisionContact found{};
    const int32_t result = bz_SweptEdgeEdge(0.0f, radius, a, &f, s0, &v, &e, &w, &found, &frames);
    if (result == BZ_SWEPT_EDGES_APART)
    {
        *settledA = *settledB = 1;
        return;
    }
    if (result == 1)
    {
        InsertWorldContact(&found);
        return;
    }
    // The axis lines meet only beyond an end, or run parallel: each end as a point moving with
    // it against the face edge.
    const bzV3 *starts[2] = {s0, s1};
    const bzV3 *ends[2] = {p0, p1};
    for (int32_t k = 0; k < 2; k++)
    {
        const bzV3 d = Sub(*ends[k], *starts[k]);
        bzCollisionContact atEnd{};
        if (bz_SweptPointEdge(radius, a, &f, starts[k], &d, &atEnd, &frames) == 1)
            InsertWorldContact(&atEnd);
    }
}

void bz_PhysWorld_CollideRoundedPolyhedron()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    bzShapeWork &work = *st.work;
    const auto *shape = static_cast<const bzPolyhedronShape *>(st.shape);
    const float r = shape->roundingRadius;
    const float reach = r + bzCollisionTolerance;
    // The side marks live in the work record's vertex marks while the faces are walked; the
    // marks are cleared again afterwards.
    uint32_t *sides = work.marks;
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & BZ_FACE_CANDIDATE)
            continue;
        st.face = &face;
        bool allBelow = true, allAbove = true;
        for (int32_t i = 0; i < work.vertexCount; i++)
        {
            const float d0 = Dot(face.normal, work.newPositions[i]) - face.distance;
            const float d1 = Dot(face.normal, work.previousPositions[i]) - face.distance;
            sides[i] = 0;
            if (d0 < -reach && d1 < -reach)
            {
                sides[i] = kBelow;
                allAbove = false;
                continue;
            }
            if (d0 > reach && d1 > reach)
            {
                sides[i] = kAbove;
                allBelow = false;
                continue;
            }
            allBelow = allAbove = false;
            float fraction = BZ_FRACTION_MISS;
            bz_SweptSphereAgainstFace(&face, r, &work.newPositions[i], &work.previousPositions[i],
                                      d0, d1, &fraction, nullptr);
            if (fraction < kNoHit)
                AddRoundEnd(st, Point(&st.worldToBody, work.newPositions[i]), r, fraction, &face);
        }
        if (allBelow || allAbove)
            continue;
        uint8_t sideBytes[256];
        const int32_t n = work.vertexCount < 256 ? work.vertexCount : 256;
        for (int32_t i = 0; i < n; i++)
            sideBytes[i] = uint8_t(sides[i]);
        for (int32_t k = 0; k < 3; k++)
        {
            if (face.flags & kEdgeMasks[k])
                continue;
            st.corner = k;
            bz_PhysWorld_RoundedEdgesAgainstFace(&face.corners[k], &face.corners[(k + 1) % 3],
                                                 sideBytes);
        }
    }
    for (int32_t i = 0; i < work.vertexCount; i++)
        work.marks[i] = 0;
}

void bz_PhysWorld_RoundedEdgesAgainstFace(const bzV3 *a, const bzV3 *b, const uint8_t *sides)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    const auto *shape = static_cast<const bzPolyhedronShape *>(st.shape);
    const float r = shape->roundingRadius;
    const int32_t corner = st.corner;
    bz_PhysWorld_PushOutPoint(a, r);
    bz_PhysWorld_PushOutPoint(b, r);
    const int32_t which[2] = {corner, (corner + 1) % 3};
    for (int32_t e = 0; e < work.edgeCount; e++)
    {
        const bzHullEdge &edge = work.edges[e];
        if (edge.a >= work.vertexCount || edge.b >= work.vertexCount || edge.a >= 256 ||
            edge.b >= 256)
            continue;
        if (sides[edge.a] && sides[edge.a] == sides[edge.b])
            continue;
        uint8_t settled[3] = {0, 0, 0};
        st.corner = corner;
        bz_PhysWorld_TicTacAgainstEdge(
            &work.newPositions[edge.a], &work.newPositions[edge.b], &work.previousPositions[edge.a],
            &work.previousPositions[edge.b], r, a, b, &settled[which[0]], &settled[which[1]]);
        CornersAgainstAxis(st, *st.face, work.newPositions[edge.a], work.newPositions[edge.b],
                           work.previousPositions[edge.a], work.previousPositions[edge.b], r,
                           settled, which, 2);
    }
    st.corner = corner;
}
