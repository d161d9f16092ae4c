// Merging nearly coplanar faces of a polyhedral shape.
#include "collision/Form.h"
#include "collision/HullFromModel.h"
#include "collision/PairMaths.h"
#include "collision/ShapeGeometry.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kDegrees = 0.017453292f;
constexpr int32_t kMaxFailedPasses = 10;
constexpr int32_t kLoopRoom = BZ_SHAPE_MAX_VERTICES;

bzV3 Unit(const bzV3 &v)
{
    const float length = std::sqrt(LengthSq(v));
    return length > 0.0f ? Scale(v, 1.0f / length) : v;
}

float PlaneDistance(const bzPlane &plane, const bzV3 &v)
{
    return std::fabs(Dot(plane.n, v) - plane.d);
}

// The point on the three planes n_k . x = d_k; false when they do not meet in one point.
bool MeetingPoint(const bzV3 n[3], const float d[3], bzV3 *out)
{
    const bzV3 c12 = Cross(n[1], n[2]), c20 = Cross(n[2], n[0]), c01 = Cross(n[0], n[1]);
    const float det = Dot(n[0], c12);
    if (!(std::fabs(det) > 1e-6f))
        return false;
    *out = Scale(Add(Add(Scale(c12, d[0]), Scale(c20, d[1])), Scale(c01, d[2])), 1.0f / det);
    return std::isfinite(out->x) && std::isfinite(out->y) && std::isfinite(out->z);
}

// Moves vertex v onto the mid-plane (m, mid), kept on up to two steep faces near it.
void MoveVertex(bzShape *shape, int32_t v, const bzV3 &m, float mid, int32_t fi, int32_t fj,
                float c2, float best)
{
    bzHull *hull = bz_Shape_Hull(shape);
    bzV3 &p = hull->vertices[v];
    int32_t degree = 0;
    for (int32_t e = 0; e < hull->edgeCount; e++)
        degree += (hull->edges[e].a == v || hull->edges[e].b == v) ? 1 : 0;
    if (degree > BZ_SHAPE_MAX_FACES)
        degree = BZ_SHAPE_MAX_FACES;
    // The degree faces nearest the vertex, nearest first (a face displaces an entry only when
    // strictly nearer).
    int16_t nearest[BZ_SHAPE_MAX_FACES];
    int32_t kept = 0;
    for (int32_t f = 0; f < hull->faceCount; f++)
    {
        const float distance = PlaneDistance(hull->planes[f], p);
        int32_t at = kept;
        while (at > 0 && distance < PlaneDistance(hull->planes[nearest[at - 1]], p))
            at--;
        if (at >= degree)
            continue;
        const int32_t last = kept < degree ? kept : degree - 1;
        for (int32_t k = last; k > at; k--)
            nearest[k] = nearest[k - 1];
        nearest[at] = static_cast<int16_t>(f);
        if (kept < degree)
            kept++;
    }
    bzV3 normals[3] = {m};
    float distances[3] = {mid};
    int32_t planes = 1;
    uint16_t loop[kLoopRoom];
    for (int32_t k = 0; k < kept && planes < 3; k++)
    {
        const int32_t f = nearest[k];
        if (f == fi || f == fj)
            continue;
        const float slope = Dot(m, hull->planes[f].n);
        if (slope < c2 && slope > -best && FaceVertexLoop(f, shape, loop, kLoopRoom) >= 4)
        {
            normals[planes] = hull->planes[f].n;
            distances[planes++] = hull->planes[f].d;
        }
    }
    bzV3 moved;
    if (planes == 2)
    {
        // The third plane runs through the vertex across both.
        normals[2] = Cross(m, normals[1]);
        distances[2] = Dot(normals[2], p);
        planes = 3;
    }
    if (planes == 3 && MeetingPoint(normals, distances, &moved))
        p = moved;
    else
        p = AddScaled(p, m, mid - Dot(m, p));
}
} // namespace

int32_t bz_Shape_FlattenFaces(bzShape *shape, float angle)
{
    if (!shape ||
        (shape->kind != BZ_SHAPE_POLYHEDRON && shape->kind != BZ_SHAPE_ROUNDED_POLYHEDRON))
        return 0;
    const float c1 = std::cos(angle * kDegrees), c2 = std::cos(angle * 0.5f * kDegrees);
    int32_t merged = 0, failed = 0;
    while (failed < kMaxFailedPasses &&
           (shape->kind == BZ_SHAPE_POLYHEDRON || shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON))
    {
        bzHull *hull = bz_Shape_Hull(shape);
        int32_t fi = -1, fj = -1;
        float best = c1;
        for (int32_t i = 0; i < hull->faceCount; i++)
            for (int32_t j = i + 1; j < hull->faceCount; j++)
            {
                const float dot = Dot(hull->planes[i].n, hull->planes[j].n);
                if (dot > best)
                {
                    best = dot;
                    fi = i;
                    fj = j;
                }
            }
        if (fi < 0)
            break;
        uint16_t list[2 * kLoopRoom];
        const int32_t ni = FaceVertexLoop(fi, shape, list, kLoopRoom);
        const int32_t nj = ni < 0 ? -1 : FaceVertexLoop(fj, shape, list + ni, kLoopRoom);
        if (nj < 0)
            break; // a face whose boundary does not close: leave the shape as it is
        const int32_t count = ni + nj;
        const bzV3 m = Unit(Add(hull->planes[fi].n, hull->planes[fj].n));
        float lo = Dot(m, hull->vertices[list[0]]), hi = lo;
        for (int32_t k = 1; k < count; k++)
        {
            const float h = Dot(m, hull->vertices[list[k]]);
            lo = std::fmin(lo, h);
            hi = std::fmax(hi, h);
        }
        const float mid = (lo + hi) * 0.5f;
        for (int32_t k = 0; k < count; k++)
            MoveVertex(shape, list[k], m, mid, fi, fj, c2, best);
        const int32_t facesBefore = hull->faceCount;
        bz_Shape_Prepare(shape);
        if (bz_Shape_Hull(shape)->faceCount < facesBefore)
            merged = 1;
        else
            failed++;
    }
    return merged;
}

int32_t bz_Form_FlattenFaces(bzForm *form, float angle)
{
    if (!form)
        return 0;
    int32_t any = 0;
    for (bzShape *s = form->firstShape; s; s = s->next)
        any |= bz_Shape_FlattenFaces(s, angle);
    if (any)
        bz_Form_CalcBounds(form, 0);
    return any;
}

int32_t bz_Form_Transform(bzShape *shape, float angle)
{
    return bz_Shape_FlattenFaces(shape, angle);
}
