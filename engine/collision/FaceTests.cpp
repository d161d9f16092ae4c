// Tests of gathered world faces against shapes, rays, planes and triangles.
#include "collision/FaceTests.h"

#include "collision/FormQuery.h"
#include "collision/PairMaths.h"
#include "collision/ShapeRay.h"
#include "core/Error.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "models/ModelAccess.h"
#include "scene/ModelGeometry.h"

#include <cmath>

using namespace bzPairMaths;

#define REPORT(caption, text)                                                                      \
    do                                                                                             \
    {                                                                                              \
        BZ_SET_ORIGIN();                                                                           \
        bz_ReportError(caption, text);                                                             \
    } while (0)

namespace
{
constexpr float kParallel = 2.3841858e-07f;
constexpr float kSegmentLimit = 1.0001f;
constexpr float kUnbounded = 3.4028235e38f;
constexpr float kDegenerateEdgeSq = 1.4210855e-14f;

bzV3 Carry(const bzM34 *m, const bzV3 &p)
{
    return m ? Point(m, p) : p;
}

// Two-sided for the length of one test.
class TwoSided
{
public:
    TwoSided() : saved_(bzgDynTwoSided) { bzgDynTwoSided = 1; }
    ~TwoSided() { bzgDynTwoSided = saved_; }
    TwoSided(const TwoSided &) = delete;
    TwoSided &operator=(const TwoSided &) = delete;

private:
    uint32_t saved_;
};

// The 2-D inside test of a point on the face's plane: the weights (of vertex 1, of vertex 2)
// of its place against the first vertex.
bool InsideFace(const bzDynFaceHit &face, const bzV3 &p, float *w1, float *w2)
{
    const bzV3 &n = face.plane.n;
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    int32_t i = 1, j = 2; // x dropped
    if (az > ax && az > ay)
        i = 0, j = 1;
    else if (ay > ax)
        i = 0, j = 2;
    const bzV3 e1 = Sub(face.vertices[1], face.vertices[0]);
    const bzV3 e2 = Sub(face.vertices[2], face.vertices[0]);
    const bzV3 q = Sub(p, face.vertices[0]);
    const float uNum = q.v[j] * e1.v[i] - q.v[i] * e1.v[j];
    const float uDen = e2.v[j] * e1.v[i] - e2.v[i] * e1.v[j];
    const float vNum = q.v[j] * e2.v[i] - q.v[i] * e2.v[j];
    const float vDen = e1.v[j] * e2.v[i] - e1.v[i] * e2.v[j];
    if (uDen == 0.0f || vDen == 0.0f || std::fabs(uNum) > 1.0001f * std::fabs(uDen) ||
        std::fabs(vNum) > 1.0001f * std::fabs(vDen))
        return false;
    const float u = uNum / uDen, v = vNum / vDen;
    if (!(u >= -0.0001f && v >= -0.0001f && u + v <= 1.0001f))
        return false;
    *w1 = v;
    *w2 = u;
    return true;
}

void TexCoordsAt(const bzDynFaceHit &face, float w1, float w2, bzV2 *uvOut)
{
    bzV2 corners[3] = {};
    const bzModel *model = face.lump ? bz_Lump_GetModel(face.lump) : nullptr;
    if (!model || face.faceIndex < 0 ||
        bz_Scene_GetFaceTexCoords(model, static_cast<uint32_t>(face.faceIndex), corners) != 0)
    {
        *uvOut = bzV2{};
        return;
    }
    for (int32_t k = 0; k < 2; k++)
        uvOut->v[k] = corners[0].v[k] + w1 * (corners[1].v[k] - corners[0].v[k]) +
                      w2 * (corners[2].v[k] - corners[0].v[k]);
}

// Within the three edge slabs of the face (inclusive).
bool WithinEdgeSlabs(const bzDynFaceHit &face, const bzV3 &p)
{
    for (int32_t k = 0; k < 3; k++)
    {
        const bzV3 &a = face.vertices[k];
        const bzV3 &b = face.vertices[(k + 1) % 3];
        const bzV3 &c = face.vertices[(k + 2) % 3];
        const bzV3 m = Cross(Sub(b, a), face.plane.n);
        const float edge = Dot(m, a), opposite = Dot(m, c), value = Dot(m, p);
        const float lo = std::fmin(edge, opposite), hi = std::fmax(edge, opposite);
        if (!(value >= lo && value <= hi))
            return false;
    }
    return true;
}

bool SegmentHitsFace(const bzDynFaceHit &face, const bzV3 &a, const bzV3 &b)
{
    const bzV3 delta = Sub(b, a);
    float t = kSegmentLimit;
    return bz_DynFace_RayHit(&face, &a, &delta, &t, nullptr, nullptr) != 0;
}

int32_t RoundedPolyhedronFaceTest(const bzDynFaceHit *face, const bzShape *shape, const bzM34 *m1,
                                  const bzM34 *m2)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    const float rounding = shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON
                               ? static_cast<const bzPolyhedronShape *>(shape)->roundingRadius
                               : 0.0f;
    bzV3 local[3];
    for (int32_t k = 0; k < 3; k++)
        local[k] = Carry(m1, face->vertices[k]);
    for (int32_t k = 0; k < 3; k++)
        if (bz_Shape_SegmentIntersect(&local[k], &local[(k + 1) % 3], shape) != 0)
            return 1;
    {
        TwoSided both;
        for (int32_t e = 0; e < hull->edgeCount; e++)
        {
            const bzHullEdge &edge = hull->edges[e];
            if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
                continue;
            if (SegmentHitsFace(*face, Carry(m2, hull->vertices[edge.a]),
                                Carry(m2, hull->vertices[edge.b])))
                return 1;
        }
    }
    if (rounding > 0.0f)
        for (int32_t v = 0; v < hull->vertexCount; v++)
        {
            const bzV3 centre = Carry(m2, hull->vertices[v]);
            if (bz_DynFace_IntersectSphere(face, &centre, rounding))
                return 1;
        }
    return 0;
}

// The box from lo to hi placed by the matrix against the list.
int32_t PlacedBoxAgainstList(const bzDynFaceList *list, const bzBox &box, const bzM34 *matrix)
{
    return bz_DynFaceList_IntersectBox(list, &box, matrix);
}

template <typename Test> int32_t AnyFace(const bzDynFaceList *list, Test test)
{
    if (!list)
        return 0;
    for (int32_t i = 0; i < list->count; i++)
        if (test(bz_DynFaceList_Entry(list, i)))
            return 1;
    return 0;
}

int32_t ListAgainstShape(const bzDynFaceList *list, const bzShape *shape, const bzM34 *m1,
                         const bzM34 *m2, bool withMargin, float margin)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    {
        bzBox box = *bz_Shape_Bounds(shape);
        if (withMargin)
            for (int32_t k = 0; k < 3; k++)
            {
                box.min.v[k] -= margin;
                box.max.v[k] += margin;
            }
        return PlacedBoxAgainstList(list, box, m2);
    }
    case BZ_SHAPE_CUBOID:
    {
        const bzCuboidShape *c = static_cast<const bzCuboidShape *>(shape);
        bzM34 placed = c->placement;
        if (m2)
            bz_MulM34Into(m2, &placed, &c->placement);
        return PlacedBoxAgainstList(list, {c->localMin, c->localMax}, &placed);
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
        return AnyFace(list,
                       [&](const bzDynFaceHit *f)
                       {
                           return withMargin ? RoundedPolyhedronFaceTest(f, shape, m1, m2)
                                             : bz_DynFace_IntersectPolyhedron(f, shape, m1, m2);
                       });
    case BZ_SHAPE_SPHERE:
        return AnyFace(list,
                       [&](const bzDynFaceHit *f)
                       {
                           return bz_DynFace_IntersectSphereShapeWithMargin(
                               f, shape, m1, m2, withMargin ? margin : 0.0f);
                       });
    case BZ_SHAPE_TIC_TAC:
        return AnyFace(list,
                       [&](const bzDynFaceHit *f) {
                           return bz_DynFace_IntersectTicTacWithMargin(f, shape, m1, m2,
                                                                       withMargin ? margin : 0.0f);
                       });
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
        return AnyFace(list, [&](const bzDynFaceHit *f)
                       { return RoundedPolyhedronFaceTest(f, shape, m1, m2); });
    default: REPORT("FaceListToFormIntersection", "Unsupported shape"); return 0;
    }
}

int32_t FormAgainstList(const bzForm *form, const bzDynFaceList *list, const bzM34 *placement,
                        bool withMargin, float margin)
{
    if (!form || !list)
        return 0;
    bzM34 m1, m2;
    bz_M34_RelativePair(placement, nullptr, &m1, &m2);
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (ListAgainstShape(list, s, &m1, &m2, withMargin, margin))
            return 1;
    return 0;
}

float Side(const bzPlane &plane, const bzV3 &p)
{
    return Dot(plane.n, p) - plane.d;
}
} // namespace

int32_t bz_DynFaceList_IntersectForm(const bzForm *form, const bzDynFaceList *list,
                                     const bzM34 *placement)
{
    return FormAgainstList(form, list, placement, false, 0.0f);
}

int32_t bz_DynFaceList_IntersectFormWithMargin(const bzForm *form, const bzDynFaceList *list,
                                               const bzM34 *placement, float margin)
{
    return FormAgainstList(form, list, placement, true, margin);
}

int32_t FaceListToFormIntersectionNoMargin(const bzDynFaceList *list, const bzShape *shape,
                                           const bzM34 *m1, const bzM34 *m2)
{
    return list && shape ? ListAgainstShape(list, shape, m1, m2, false, 0.0f) : 0;
}

int32_t FaceListToFormIntersection(const bzDynFaceList *list, const bzShape *shape, const bzM34 *m1,
                                   const bzM34 *m2, float margin)
{
    return list && shape ? ListAgainstShape(list, shape, m1, m2, true, margin) : 0;
}

int32_t bz_DynFace_IntersectsForm(const bzDynFaceHit *face, const bzShape *shape,
                                  const bzM34 *placement)
{
    if (!face || !shape)
        return 0;
    bzM34 m1, m2;
    bz_M34_RelativePair(placement, nullptr, &m1, &m2);
    switch (shape->kind)
    {
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON: return bz_DynFace_IntersectPolyhedron(face, shape, &m1, &m2);
    case BZ_SHAPE_SPHERE: return bz_DynFace_IntersectSphereShape(face, shape, &m1, &m2);
    case BZ_SHAPE_TIC_TAC: return bz_DynFace_IntersectTicTac(face, shape, &m1, &m2);
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
        return bz_DynFace_IntersectRoundedPolyhedron(face, shape, &m1, &m2);
    default: REPORT("bz_DynFace_IntersectsForm", "Unsupported form"); return 0;
    }
}

int32_t bz_DynFace_IntersectSphereShape(const bzDynFaceHit *face, const bzShape *shape,
                                        const bzM34 *m1, const bzM34 *m2)
{
    return bz_DynFace_IntersectSphereShapeWithMargin(face, shape, m1, m2, 0.0f);
}

int32_t bz_DynFace_IntersectSphereShapeWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                                  const bzM34 *, const bzM34 *m2, float margin)
{
    const bzSphereShape *s = static_cast<const bzSphereShape *>(shape);
    const bzV3 centre = Carry(m2, s->centre);
    return bz_DynFace_IntersectSphere(face, &centre, s->radius + margin);
}

int32_t bz_DynFace_IntersectTicTac(const bzDynFaceHit *face, const bzShape *shape, const bzM34 *m1,
                                   const bzM34 *m2)
{
    return bz_DynFace_IntersectTicTacWithMargin(face, shape, m1, m2, 0.0f);
}

int32_t bz_DynFace_IntersectTicTacWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                             const bzM34 *m1, const bzM34 *m2, float margin)
{
    const bzTicTacShape *t = static_cast<const bzTicTacShape *>(shape);
    const float r = t->radius + margin;
    const bzV3 a = Carry(m2, t->segmentStart), b = Carry(m2, t->segmentEnd);
    const float da = Side(face->plane, a), db = Side(face->plane, b);
    if ((da > r && db > r) || (da < -r && db < -r))
        return 0;
    bzM34 inverse;
    const bzM34 *toShape = m1;
    if (!toShape && m2)
    {
        bz_InverseOrthoM34Into(m2, &inverse);
        toShape = &inverse;
    }
    bzV3 local[3];
    for (int32_t k = 0; k < 3; k++)
        local[k] = Carry(toShape, face->vertices[k]);
    for (int32_t k = 0; k < 3; k++)
    {
        const bzV3 delta = Sub(local[(k + 1) % 3], local[k]);
        bzV3 point, normal;
        float hit;
        if (bz_Ray_CapsuleIntersect(&local[k], &delta, &t->segmentStart, &t->segmentEnd, t->radius,
                                    &point, &normal, &hit) != 0)
            return 1;
    }
    {
        TwoSided both;
        if (SegmentHitsFace(*face, a, b))
            return 1;
    }
    if (std::fabs(da) <= r && WithinEdgeSlabs(*face, a))
        return 1;
    if (std::fabs(db) <= r && WithinEdgeSlabs(*face, b))
        return 1;
    return 0;
}

int32_t bz_DynFace_IntersectPolyhedron(const bzDynFaceHit *face, const bzShape *shape,
                                       const bzM34 *m1, const bzM34 *m2)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    if (hull->vertexCount <= 0 || hull->vertexCount > BZ_SHAPE_MAX_VERTICES)
        return 0;
    // The face's plane in the shape's frame, through a carried point and normal.
    const bzV3 onPlane = Carry(m1, face->vertices[0]);
    const bzV3 n = m1 ? Direction(m1, face->plane.n) : face->plane.n;
    int8_t side[BZ_SHAPE_MAX_VERTICES];
    bool mixed = false;
    for (int32_t v = 0; v < hull->vertexCount; v++)
    {
        const float s = Dot(n, Sub(hull->vertices[v], onPlane));
        side[v] = static_cast<int8_t>(s > 0.0f ? 1 : s < 0.0f ? -1 : 0);
        mixed = mixed || side[v] != side[0];
    }
    {
        TwoSided both;
        for (int32_t e = 0; e < hull->edgeCount; e++)
        {
            const bzHullEdge &edge = hull->edges[e];
            if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount ||
                side[edge.a] == side[edge.b])
                continue;
            if (SegmentHitsFace(*face, Carry(m2, hull->vertices[edge.a]),
                                Carry(m2, hull->vertices[edge.b])))
                return 1;
        }
    }
    if (!mixed)
        return 0;
    bzV3 local[3];
    for (int32_t k = 0; k < 3; k++)
        local[k] = Carry(m1, face->vertices[k]);
    for (int32_t k = 0; k < 3; k++)
    {
        const bzRay ray = {local[k], Sub(local[(k + 1) % 3], local[k]), 0};
        float t;
        if (bz_Shape_RayIntersect(&ray, shape, &t, nullptr, nullptr) != 0)
            return 1;
    }
    return 0;
}

int32_t bz_DynFace_IntersectPolyhedronWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                                 const bzM34 *m1, const bzM34 *m2, float)
{
    return RoundedPolyhedronFaceTest(face, shape, m1, m2);
}

int32_t bz_DynFace_IntersectRoundedPolyhedron(const bzDynFaceHit *face, const bzShape *shape,
                                              const bzM34 *m1, const bzM34 *m2)
{
    return RoundedPolyhedronFaceTest(face, shape, m1, m2);
}

int32_t bz_DynFace_IntersectRoundedPolyhedronWithMargin(const bzDynFaceHit *face,
                                                        const bzShape *shape, const bzM34 *m1,
                                                        const bzM34 *m2, float)
{
    return RoundedPolyhedronFaceTest(face, shape, m1, m2);
}

int32_t bz_DynFace_IntersectSphere(const bzDynFaceHit *face, const bzV3 *centre, float radius)
{
    const bzV3 &c = *centre;
    const float dist = Side(face->plane, c);
    if (!(std::fabs(dist) <= radius))
        return 0;
    bool outside = false;
    for (int32_t k = 0; k < 3; k++)
    {
        const bzV3 &a = face->vertices[k];
        const bzV3 &b = face->vertices[(k + 1) % 3];
        const bzV3 &third = face->vertices[(k + 2) % 3];
        const bzV3 edge = Sub(b, a);
        const bzV3 m = Cross(edge, face->plane.n);
        const float cs = Dot(m, c) - Dot(m, a), ts = Dot(m, third) - Dot(m, a);
        if (!(cs * ts < 0.0f))
            continue;
        if (LengthSq(m) * (radius * radius - dist * dist) < cs * cs)
            return 0;
        const float s = Dot(edge, Sub(c, a)), ee = LengthSq(edge);
        if (s >= 0.0f && s <= ee)
            return 1;
        const bzV3 &end = s < 0.0f ? a : b;
        if (LengthSq(Sub(c, end)) <= radius * radius)
            return 1;
        outside = true;
    }
    return outside ? 0 : 1;
}

int32_t bz_DynFace_RayHit(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *delta, float *t,
                          bzV3 *pointOut, bzV2 *uvOut)
{
    const bzV3 &n = face->plane.n;
    const float den = Dot(n, *delta);
    if (bzgDynTwoSided == 0 && !(face->flags & BZ_DYNFACE_TWO_SIDED) && den > 0.0f)
        return 0;
    if (!(std::fabs(den) >= kParallel))
        return 0;
    const float num = Dot(Sub(*origin, face->vertices[0]), n);
    const float limit = *t;
    if (den < 0.0f ? !(num >= 0.0f && num <= -den * limit) : !(num <= 0.0f && -num <= den * limit))
        return 0;
    const float hit = -num / den;
    const bzV3 p = AddScaled(*origin, *delta, hit);
    float w1, w2;
    if (!InsideFace(*face, p, &w1, &w2))
        return 0;
    *t = hit;
    if (pointOut)
        *pointOut = p;
    if (uvOut)
        TexCoordsAt(*face, w1, w2, uvOut);
    return 1;
}

int32_t bz_DynFace_RayHitNoPoint(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *delta,
                                 float *t)
{
    return bz_DynFace_RayHit(face, origin, delta, t, nullptr, nullptr);
}

int32_t bz_DynFace_RayHitOne(const bzDynFaceHit *face, const bzRay *ray, float *tOut,
                             bzV3 *pointOut)
{
    float t = ray->flag == 0 ? kSegmentLimit : kUnbounded;
    if (!bz_DynFace_RayHit(face, &ray->origin, &ray->delta, &t, pointOut, nullptr))
        return 0;
    if (tOut)
        *tOut = t;
    return 1;
}

int32_t bz_DynFace_LineHit(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *direction,
                           float *tOut, bzV3 *pointOut)
{
    const float den = Dot(face->plane.n, *direction);
    if (!(std::fabs(den) >= kParallel))
        return 0;
    const float hit = -Dot(Sub(*origin, face->vertices[0]), face->plane.n) / den;
    const bzV3 p = AddScaled(*origin, *direction, hit);
    float w1, w2;
    if (!InsideFace(*face, p, &w1, &w2))
        return 0;
    if (tOut)
        *tOut = hit;
    if (pointOut)
        *pointOut = p;
    return 1;
}

int32_t bz_DynForm_TestFaces(const bzDynFaceList *list, const bzRay *ray, float *t,
                             const int32_t *twoSided, const bzDynFaceHit **faceOut, bzV3 *pointOut,
                             bzV2 *uvOut)
{
    *t = ray->flag == 0 ? kSegmentLimit : kUnbounded;
    if (!list)
        return 0;
    const uint32_t saved = bzgDynTwoSided;
    if (twoSided && *twoSided)
        bzgDynTwoSided = 1;
    int32_t found = 0;
    for (int32_t i = 0; i < list->count; i++)
    {
        const bzDynFaceHit *face = bz_DynFaceList_Entry(list, i);
        if (bz_DynFace_RayHit(face, &ray->origin, &ray->delta, t, pointOut, uvOut))
        {
            found = 1;
            if (faceOut)
                *faceOut = face;
        }
    }
    bzgDynTwoSided = saved;
    return found;
}

int32_t bz_DynFaceList_RayHit(const bzDynFaceList *list, const bzRay *ray,
                              const bzDynFaceHit **faceOut, int32_t twoSided, float *t)
{
    return bz_DynForm_TestFaces(list, ray, t, &twoSided, faceOut, nullptr, nullptr);
}

int32_t bz_DynFaceList_SegmentHit(const bzDynFaceList *list, const bzV3 *start, const bzV3 *end,
                                  bzV3 *pointOut)
{
    const bzRay ray = {*start, Sub(*end, *start), 0};
    const int32_t twoSided = 1;
    float t;
    return bz_DynForm_TestFaces(list, &ray, &t, &twoSided, nullptr, pointOut, nullptr);
}

int32_t bz_DynFaceList_IntersectLine(const bzDynFaceList *list, const bzV3 *origin,
                                     const bzV3 *direction)
{
    return AnyFace(list, [&](const bzDynFaceHit *f)
                   { return bz_DynFace_LineHit(f, origin, direction, nullptr, nullptr); });
}

int32_t bz_DynFace_IntersectPlane(const bzDynFaceHit *face, const bzPlane *plane)
{
    int32_t above = 0, below = 0;
    for (int32_t k = 0; k < 3; k++)
    {
        const float s = Side(*plane, face->vertices[k]);
        above += s > 0.0f ? 1 : 0;
        below += s < 0.0f ? 1 : 0;
    }
    return above == 3 || below == 3 ? 0 : 1;
}

int32_t bz_DynFaceList_IntersectPlane(const bzDynFaceList *list, const bzPlane *plane,
                                      const bzDynFaceHit **faceOut)
{
    if (!list)
        return 0;
    for (int32_t i = 0; i < list->count; i++)
    {
        const bzDynFaceHit *face = bz_DynFaceList_Entry(list, i);
        if (bz_DynFace_IntersectPlane(face, plane))
        {
            if (faceOut)
                *faceOut = face;
            return 1;
        }
    }
    return 0;
}

int32_t bz_DynFace_BehindPlane(const bzDynFaceHit *face, const bzPlane *plane)
{
    for (int32_t k = 0; k < 3; k++)
        if (Side(*plane, face->vertices[k]) <= 0.0f)
            return 1;
    return 0;
}

int32_t bz_DynFace_IntersectTriangle(const bzDynFaceHit *face, const bzV3 *triangle)
{
    float s[3];
    int32_t above = 0, below = 0;
    for (int32_t k = 0; k < 3; k++)
    {
        s[k] = Side(face->plane, triangle[k]);
        above += s[k] > 0.0f ? 1 : 0;
        below += s[k] < 0.0f ? 1 : 0;
    }
    if (above == 3 || below == 3)
        return 0;
    // The segment along which the triangle meets the face's plane.
    bzV3 ends[2];
    int32_t count = 0;
    for (int32_t k = 0; k < 3 && count < 2; k++)
    {
        const int32_t j = (k + 1) % 3;
        if (s[k] == 0.0f)
            ends[count++] = triangle[k];
        else if ((s[k] < 0.0f && s[j] > 0.0f) || (s[k] > 0.0f && s[j] < 0.0f))
            ends[count++] =
                AddScaled(triangle[k], Sub(triangle[j], triangle[k]), s[k] / (s[k] - s[j]));
    }
    if (count == 1)
        ends[1] = ends[0];
    if (count == 0)
        return 0;
    // Clip it by the face's three edge planes, each facing the third vertex.
    bzV3 p = ends[0], q = ends[1];
    for (int32_t k = 0; k < 3; k++)
    {
        const bzV3 &a = face->vertices[k];
        const bzV3 &third = face->vertices[(k + 2) % 3];
        bzV3 edge = Sub(face->vertices[(k + 1) % 3], a);
        if (LengthSq(edge) <= kDegenerateEdgeSq)
            edge = Sub(third, a);
        bzV3 m = Cross(face->plane.n, edge);
        if (Dot(m, Sub(third, a)) < 0.0f)
            m = Scale(m, -1.0f);
        const float sp = Dot(m, Sub(p, a)), sq = Dot(m, Sub(q, a));
        if (sp < 0.0f && sq < 0.0f)
            return 0;
        if (sp < 0.0f)
            p = AddScaled(p, Sub(q, p), sp / (sp - sq));
        else if (sq < 0.0f)
            q = AddScaled(p, Sub(q, p), sp / (sp - sq));
    }
    return 1;
}

int32_t bz_DynModel_IntersectFaceList(const bzModel *model, const bzDynFaceList *list,
                                      const bzM34 *matrix)
{
    if (!model || !model->part || !list)
        return 0;
    const int32_t faces = bz_GetModelFaceCount(model);
    for (int32_t f = 0; f < faces; f++)
    {
        bzV3 corners[3] = {};
        bz_GetModelFaceVertices(model, f, &corners[0], &corners[1], &corners[2]);
        for (bzV3 &c : corners)
            c = Carry(matrix, c);
        if (AnyFace(list, [&](const bzDynFaceHit *face)
                    { return bz_DynFace_IntersectTriangle(face, corners); }))
            return 1;
    }
    return 0;
}

int32_t bz_DynLumpTree_IntersectFaceList(const bzLump *lump, const bzDynFaceList *list,
                                         const bzM34 *matrix)
{
    if (!lump || !list)
        return 0;
    bzM34 placed = lump->matrix;
    if (matrix)
        bz_MulM34Into(matrix, &placed, &lump->matrix);
    if (const bzModel *model = bz_Lump_GetModel(lump))
        if (bz_DynModel_IntersectFaceList(model, list, &placed))
            return 1;
    for (const bzLump *child = lump->firstChild; child; child = child->next)
        if (bz_DynLumpTree_IntersectFaceList(child, list, &placed))
            return 1;
    return 0;
}
