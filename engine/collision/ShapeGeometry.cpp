#include "collision/ShapeGeometry.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <cfloat>
#include <cmath>

namespace
{
// Faces lower than this under the first vertex hold it and add no pyramid.
constexpr float kFlatPyramid = 1e-5f;
constexpr float kThird = 0.33333334f;
// Vertices this close under a face plane lie on the face.
constexpr float kOnFace = 1e-4f;

// Minimum-volume box search: probe turn, first and smallest step (degrees), step factors.
constexpr float kProbeTurn = 0.1f;
constexpr float kFirstStep = 10.0f;
constexpr float kSmallestStep = 0.05f;
constexpr float kGrowStep = 1.25f;
constexpr float kShrinkStep = 0.8f;
// Accepted turns before the search stops regardless; each one lowers the volume.
constexpr int32_t kMaxAcceptedTurns = 100000;

// R turned by deg about the axis, then re-orthonormalised.
void TurnRotation(const bzM34 *r, const bzV3 *axis, float deg, bzM34 *out)
{
    bzM34 turn;
    bz_M34_FromAxisAngle(&turn, axis, deg);
    bz_MulM34Into(&turn, out, r);
    bz_M33_Orthonormalise(out);
    bz_V3_Set(&out->row[3], 0.0f, 0.0f, 0.0f);
}

float TurnedVolume(const bzM34 *r, const bzV3 *axis, float deg, const bzV3 *points, int32_t count)
{
    bzM34 turned;
    TurnRotation(r, axis, deg, &turned);
    bzBox box;
    return RotatedPointsBoxVolume(&turned, points, count, &box);
}

void GrowBox(bzBox *box, float margin)
{
    for (int i = 0; i < 3; i++)
    {
        box->min.v[i] -= margin;
        box->max.v[i] += margin;
    }
}
} // namespace

void PointsBox(const bzV3 *points, int32_t count, bzBox *out)
{
    bz_Box_FromPoints(points, count, out);
}

void PointsBoxGrown(const bzV3 *points, int32_t count, float margin, bzBox *out)
{
    PointsBox(points, count, out);
    if (margin != 0.0f)
        GrowBox(out, margin);
}

float BoxVolume(const bzBox *box)
{
    return (box->max.x - box->min.x) * (box->max.y - box->min.y) * (box->max.z - box->min.z);
}

float PlaneDistanceAbs(const bzV3 *point, const bzPlane *plane)
{
    return std::fabs(bz_V3_Dot(&plane->n, point) - plane->d);
}

int32_t FormAppendShape(bzForm *form, bzShape *shape)
{
    BZ_ASSERT(form && shape);
    shape->next = nullptr;
    bzShape **link = &form->firstShape;
    while (*link)
        link = &(*link)->next;
    *link = shape;
    return 0;
}

int32_t FormInsertShapeFirst(bzForm *form, bzShape *shape)
{
    BZ_ASSERT(form && shape);
    shape->next = form->firstShape;
    form->firstShape = shape;
    return 0;
}

int32_t FormUnlinkShape(bzForm *form, bzShape *shape)
{
    BZ_ASSERT(form && shape);
    for (bzShape **link = &form->firstShape; *link; link = &(*link)->next)
        if (*link == shape)
        {
            *link = shape->next;
            shape->next = nullptr;
            return 0;
        }
    bzgLastError = BZ_ERROR_FORM_NOT_IN_LIST;
    return BZ_ERROR_FORM_NOT_IN_LIST;
}

int32_t FaceVertexLoop(int32_t face, const bzShape *shape, uint16_t *out, int32_t capacity)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    if (!hull || face < 0 || face >= hull->faceCount || hull->vertexCount <= 0 || capacity < 1)
        return -1;
    const bzPlane *plane = &hull->planes[face];
    int32_t first = 0;
    for (int32_t i = 1; i < hull->vertexCount; i++)
        if (PlaneDistanceAbs(&hull->vertices[i], plane) <
            PlaneDistanceAbs(&hull->vertices[first], plane))
            first = i;
    out[0] = static_cast<uint16_t>(first);
    int32_t count = 1, prev = -1, cur = first;
    // A closed boundary holds each vertex at most once.
    for (int32_t step = 0; step < hull->vertexCount; step++)
    {
        int32_t best = -1;
        float bestDistance = FLT_MAX;
        for (int32_t e = 0; e < hull->edgeCount; e++)
        {
            const bzHullEdge &edge = hull->edges[e];
            const int32_t x = edge.a == cur ? edge.b : (edge.b == cur ? edge.a : -1);
            if (x < 0 || x == prev)
                continue;
            const float d = PlaneDistanceAbs(&hull->vertices[x], plane);
            if (d < bestDistance)
            {
                bestDistance = d;
                best = x;
            }
        }
        if (best < 0)
            return -1;
        if (best == first)
            return count;
        if (count >= capacity)
            return -1;
        out[count++] = static_cast<uint16_t>(best);
        prev = cur;
        cur = best;
    }
    return -1;
}

int32_t FaceVertexCount(const bzShape *shape, int32_t face)
{
    uint16_t loop[BZ_SHAPE_MAX_VERTICES];
    return FaceVertexLoop(face, shape, loop, BZ_SHAPE_MAX_VERTICES);
}

int32_t PolyhedronFaceNeighbour(const bzHull *hull, int32_t a, int32_t excluded,
                                const float *values)
{
    int32_t best = -1;
    float bestValue = FLT_MAX;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        const bzHullEdge &edge = hull->edges[e];
        const int32_t x = edge.a == a ? edge.b : (edge.b == a ? edge.a : -1);
        if (x < 0 || x == excluded)
            continue;
        if (values[x] < bestValue)
        {
            bestValue = values[x];
            best = x;
        }
    }
    return best;
}

float PolyhedronVolume(const bzShape *shape)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    if (!hull || hull->vertexCount <= 0)
        return 0.0f;
    const int32_t n = hull->vertexCount;
    if (n > BZ_SHAPE_MAX_VERTICES)
    {
        BZ_SET_ORIGIN();
        bz_ReportError("Shape volume", "Shape has %d vertices, more than %d", n,
                       BZ_SHAPE_MAX_VERTICES);
        return 0.0f;
    }
    float values[BZ_SHAPE_MAX_VERTICES];
    const bzV3 *v = hull->vertices;
    float volume = 0.0f;
    for (int32_t i = 0; i < hull->faceCount; i++)
    {
        const bzPlane *plane = &hull->planes[i];
        const float h = plane->d - bz_V3_Dot(&plane->n, &v[0]);
        if (h < kFlatPyramid)
            continue;
        int32_t s = 0;
        for (int32_t k = 0; k < n; k++)
        {
            values[k] = plane->d - bz_V3_Dot(&plane->n, &v[k]);
            if (values[k] < values[s])
                s = k;
        }
        float area = 0.0f;
        int32_t prev = -1, cur = s;
        for (int32_t step = 0; step < n; step++)
        {
            const int32_t x = PolyhedronFaceNeighbour(hull, cur, prev, values);
            // The walk ends back at the start, or where the boundary leaves the face (the side
            // faces of a flat polygon hold a single edge and enclose nothing).
            if (x < 0 || x == s || values[x] > kOnFace)
                break;
            if (prev >= 0 && cur != s)
            {
                bzV3 a, b, c;
                bz_V3_SubInto(&v[x], &v[s], &a);
                bz_V3_SubInto(&v[cur], &v[s], &b);
                bz_V3_CrossInto(&a, &b, &c);
                area += 0.5f * bz_V3_Length(&c);
            }
            prev = cur;
            cur = x;
        }
        volume += area * h * kThird;
    }
    return volume;
}

float RotatedPointsBoxVolume(const bzM34 *rotation, const bzV3 *points, int32_t count, bzBox *out)
{
    if (count <= 0)
    {
        *out = bzBox{};
        return 0.0f;
    }
    bzV3 q;
    bz_RotateV3Into(rotation, &q, &points[0]);
    *out = {q, q};
    for (int32_t i = 1; i < count; i++)
    {
        bz_RotateV3Into(rotation, &q, &points[i]);
        bz_Box_AddPoint(out, &q);
    }
    return BoxVolume(out);
}

void PolyhedronOrientedBox(bzShape *shape, float margin)
{
    bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(shape);
    const bzHull *hull = &poly->hull;
    bzM34 *frame = &poly->orientedFrame;
    bz_M34_Copy(bz_M34_Identity(), frame);
    if (hull->vertexCount <= 0)
    {
        poly->orientedBox = bzBox{};
        return;
    }
    bzV3 axis1 = {{{0.0f, 0.0f, 0.0f}}};
    float longest = 0.0f;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        bzV3 d;
        bz_V3_SubInto(&hull->vertices[hull->edges[e].b], &hull->vertices[hull->edges[e].a], &d);
        const float l = bz_V3_LengthSq(&d);
        if (l > longest)
        {
            longest = l;
            axis1 = d;
        }
    }
    if (longest > 0.0f)
    {
        bz_V3_Normalise(&axis1);
        bzV3 axis2 = {{{0.0f, 0.0f, 0.0f}}};
        float widest = 0.0f;
        for (int32_t e = 0; e < hull->edgeCount; e++)
        {
            bzV3 d, across;
            bz_V3_SubInto(&hull->vertices[hull->edges[e].b], &hull->vertices[hull->edges[e].a], &d);
            bz_V3_Reject(&axis1, &across, &d);
            const float w = bz_V3_LengthSq(&across);
            if (w > widest)
            {
                widest = w;
                axis2 = across;
            }
        }
        if (widest > BZ_SQ_EPSILON)
            bz_V3_Normalise(&axis2);
        else
            bz_V3_Perpendicular(&axis1, &axis2);
        frame->row[0] = axis1;
        frame->row[1] = axis2;
        bz_V3_CrossInto(&axis1, &axis2, &frame->row[2]);
    }
    // The box of the vertices along the three axes.
    bzBox *box = &poly->orientedBox;
    for (int32_t k = 0; k < hull->vertexCount; k++)
    {
        bzV3 q;
        bz_M34_InverseRotateV3Into(frame, &q, &hull->vertices[k]);
        if (k == 0)
            *box = {q, q};
        else
            bz_Box_AddPoint(box, &q);
    }
    if (margin != 0.0f)
        GrowBox(box, margin);
}

float FitMinimumVolumeBox(const bzV3 *points, int32_t count, bzM34 *rotation, bzBox *box)
{
    bz_M34_Copy(bz_M34_Identity(), rotation);
    float best = RotatedPointsBoxVolume(rotation, points, count, box);
    if (count <= 1)
        return best;
    static const bzV3 axes[3] = {
        {{{1.0f, 0.0f, 0.0f}}}, {{{0.0f, 1.0f, 0.0f}}}, {{{0.0f, 0.0f, 1.0f}}}};
    float step = kFirstStep;
    for (int32_t accepted = 0; accepted < kMaxAcceptedTurns; accepted++)
    {
        bzV3 axis;
        for (int a = 0; a < 3; a++)
            axis.v[a] = TurnedVolume(rotation, &axes[a], -kProbeTurn, points, count) -
                        TurnedVolume(rotation, &axes[a], kProbeTurn, points, count);
        if (bz_V3_LengthSq(&axis) <= BZ_SQ_EPSILON)
            axis = axes[0];
        else
            bz_V3_Normalise(&axis);
        for (;;)
        {
            bzM34 turned;
            TurnRotation(rotation, &axis, step, &turned);
            bzBox turnedBox;
            const float volume = RotatedPointsBoxVolume(&turned, points, count, &turnedBox);
            if (volume < best)
            {
                best = volume;
                *rotation = turned;
                *box = turnedBox;
                if (step < kFirstStep)
                    step *= kGrowStep;
                break;
            }
            step *= kShrinkStep;
            if (step <= kSmallestStep)
                return best;
        }
    }
    return best;
}

int32_t bz_Shape_Transform(bzShape *shape, const bzM34 *m, int32_t ortho)
{
    BZ_ASSERT(shape && m);
    auto carryPlane = [&](bzPlane *plane)
    {
        if (ortho)
            bz_Plane_TransformOrtho(plane, m);
        else
            bz_Plane_TransformByM34Normalised(plane, m);
    };
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    {
        auto *box = static_cast<bzPolyShape *>(shape);
        bz_Box_Transform(&box->bounds, m);
        for (int32_t i = 0; i < 8 && i < box->hull.vertexCount; i++)
            bz_Box_Corner(&box->bounds, i, &box->hull.vertices[i]);
        return 0;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        auto *poly = static_cast<bzPolyShape *>(shape);
        bzHull *hull = &poly->hull;
        for (int32_t i = 0; i < hull->vertexCount; i++)
            bz_M34_TransformPoint(m, &hull->vertices[i]);
        for (int32_t i = 0; i < hull->faceCount; i++)
            carryPlane(&hull->planes[i]);
        float margin = 0.0f;
        if (shape->kind != BZ_SHAPE_WIRE_FRAME)
        {
            auto *full = static_cast<bzPolyhedronShape *>(shape);
            bz_M34_PostMul(&full->orientedFrame, m);
            if (shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
                margin = full->roundingRadius;
        }
        if (hull->vertexCount > 0)
            PointsBoxGrown(hull->vertices, hull->vertexCount, margin, &poly->bounds);
        return 0;
    }
    case BZ_SHAPE_SPHERE:
    {
        bzSphereShape *sphere = bz_Shape_AsSphere(shape);
        bz_M34_TransformPoint(m, &sphere->centre);
        PointsBoxGrown(&sphere->centre, 1, sphere->radius, &sphere->bounds);
        return 0;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        bzTicTacShape *tt = bz_Shape_AsTicTac(shape);
        bz_M34_TransformPoint(m, &tt->segmentStart);
        bz_M34_TransformPoint(m, &tt->segmentEnd);
        const bzV3 ends[2] = {tt->segmentStart, tt->segmentEnd};
        PointsBoxGrown(ends, 2, tt->radius, &tt->bounds);
        return 0;
    }
    case BZ_SHAPE_CUBOID:
    {
        bzCuboidShape *c = bz_Shape_AsCuboid(shape);
        for (int32_t i = 0; i < 8 && i < c->hull.vertexCount; i++)
            bz_M34_TransformPoint(m, &c->hull.vertices[i]);
        bz_M34_PostMul(&c->placement, m);
        const bzBox local = {c->localMin, c->localMax};
        bz_Box_TransformInto(&local, &c->placement, &c->bounds);
        return 0;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    {
        bzHalfSpaceShape *h = bz_Shape_AsHalfSpace(shape);
        bzPlane plane;
        if (!bz_AlignedHalfSpace_Plane(h, &plane))
        {
            bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
            return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        }
        h->kind = BZ_SHAPE_HALF_SPACE;
        h->plane = plane;
        carryPlane(&h->plane);
        return 0;
    }
    case BZ_SHAPE_HALF_SPACE: carryPlane(&bz_Shape_AsHalfSpace(shape)->plane); return 0;
    default: return 0;
    }
}
