// Bodies for the pair collision tests: a body record with a one-shape form, a start and an end
// transform, and double-precision distance oracles of the shapes that check where contacts lie.
#pragma once

#include "collision/PairTestShapes.h"
#include "collision/Shape.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PairCollision.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace pairbody
{
using pairtest::FormPtr;
using pairtest::V;

// A body whose end transform lives beside it; the record is value-initialised.
struct PairBody
{
    BZDObject body{};
    bzM34 end;
    FormPtr form;

    explicit PairBody(FormPtr f, float mass = 1.0f) : form(std::move(f))
    {
        body.form = form.get();
        body.mass = mass;
        body.inverseMass = mass > 0.0f ? 1.0f / mass : 0.0f;
        bz_M34_SetIdentity(&body.startTransform);
        bz_M34_SetIdentity(&end);
        body.transform = &end;
    }
    PairBody(const PairBody &) = delete;
    PairBody &operator=(const PairBody &) = delete;

    void Place(const bzM34 &start, const bzM34 &finish)
    {
        body.startTransform = start;
        end = finish;
    }
    void Move(bzV3 from, bzV3 to)
    {
        Place(pairtest::Translation(from.x, from.y, from.z),
              pairtest::Translation(to.x, to.y, to.z));
    }
    BZDObject *get() { return &body; }
};

inline bzM34 RotationZ(float radians, bzV3 at)
{
    const float c = std::cos(radians), s = std::sin(radians);
    bzM34 m = pairtest::Identity();
    m.row[0] = V(c, s, 0.0f);
    m.row[1] = V(-s, c, 0.0f);
    m.row[3] = at;
    return m;
}

inline bzM34 RotationY(float radians, bzV3 at)
{
    const float c = std::cos(radians), s = std::sin(radians);
    bzM34 m = pairtest::Identity();
    m.row[0] = V(c, 0.0f, -s);
    m.row[2] = V(s, 0.0f, c);
    m.row[3] = at;
    return m;
}

struct D3
{
    double x, y, z;
};
inline D3 D(const bzV3 &v)
{
    return {v.x, v.y, v.z};
}
inline D3 Sub(D3 a, D3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline double Dot(D3 a, D3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double Len(D3 a)
{
    return std::sqrt(Dot(a, a));
}
inline double SegmentDistance(D3 p, D3 a, D3 b)
{
    const D3 ab = Sub(b, a);
    const double l2 = Dot(ab, ab);
    double t = l2 > 0.0 ? Dot(Sub(p, a), ab) / l2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return Len(Sub(p, {a.x + t * ab.x, a.y + t * ab.y, a.z + t * ab.z}));
}

// Signed distance of a point (shape frame) from a convex polytope given by its planes and
// edges: inside the largest plane distance, outside the nearest face, edge or vertex.
inline double HullDistance(D3 p, const bzPlane *planes, int faces, const bzV3 *vertices,
                           const bzHullEdge *edges, int edgeCount)
{
    double worst = -1e30;
    for (int k = 0; k < faces; k++)
        worst = std::max(worst, Dot(D(planes[k].n), p) - planes[k].d);
    if (worst <= 0.0)
        return worst;
    double best = 1e30;
    for (int k = 0; k < faces; k++)
    {
        const double e = Dot(D(planes[k].n), p) - planes[k].d;
        if (e < 0.0)
            continue;
        const D3 foot = {p.x - e * planes[k].n.x, p.y - e * planes[k].n.y, p.z - e * planes[k].n.z};
        bool inside = true;
        for (int j = 0; j < faces && inside; j++)
            if (j != k && Dot(D(planes[j].n), foot) - planes[j].d > 1e-6)
                inside = false;
        if (inside)
            best = std::min(best, e);
    }
    for (int i = 0; i < edgeCount; i++)
        best = std::min(best, SegmentDistance(p, D(vertices[edges[i].a]), D(vertices[edges[i].b])));
    return best;
}

// Signed distance of a point in the shape's frame from its surface (negative inside), for the
// kinds with a solid: AlignedCuboid, CrushableCuboid, Polyhedron, Sphere, TicTac and
// RoundedPolyhedron.
inline double ShapeDistance(const bzShape *shape, D3 p)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        const bzBox *b = bz_Shape_Bounds(shape);
        bzPlane planes[6];
        for (int a = 0; a < 3; a++)
        {
            planes[a].n = V(0, 0, 0);
            planes[a].n.v[a] = 1.0f;
            planes[a].d = b->max.v[a];
            planes[a + 3].n = V(0, 0, 0);
            planes[a + 3].n.v[a] = -1.0f;
            planes[a + 3].d = -b->min.v[a];
        }
        bzV3 corners[8];
        for (int i = 0; i < 8; i++)
            corners[i] = V((i & 1) ? b->max.x : b->min.x, (i & 2) ? b->max.y : b->min.y,
                           (i & 4) ? b->max.z : b->min.z);
        return HullDistance(p, planes, 6, corners, bzgCuboidEdges, 12);
    }
    case BZ_SHAPE_SPHERE:
    {
        const auto *s = static_cast<const bzSphereShape *>(shape);
        return Len(Sub(p, D(s->centre))) - s->radius;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        return SegmentDistance(p, D(t->segmentStart), D(t->segmentEnd)) - t->radius;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *h = bz_Shape_Hull(shape);
        const double d =
            HullDistance(p, h->planes, h->faceCount, h->vertices, h->edges, h->edgeCount);
        const float r = shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON
                            ? static_cast<const bzPolyhedronShape *>(shape)->roundingRadius
                            : 0.0f;
        return d - r;
    }
    default: return 1e30;
    }
}

// A body's transform at step fraction t: the origin moves in a straight line from its start
// to its end, and the body turns at an even rate about one axis from its start to its end
// rotation (turns of less than half a revolution).
inline bzM34 PoseAt(const BZDObject *b, float t)
{
    const bzM34 &s = b->startTransform, &e = *b->transform;
    // Rows map the body's axes into the world (p -> p S): the end is the start followed by
    // the turn q = S^T E, acting on row vectors.
    double q[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
        {
            q[i][j] = 0.0;
            for (int k = 0; k < 3; k++)
                q[i][j] += double(s.row[k].v[i]) * double(e.row[k].v[j]);
        }
    // The same turn on column vectors is q transposed: its axis and angle.
    double axis[3] = {q[1][2] - q[2][1], q[2][0] - q[0][2], q[0][1] - q[1][0]};
    const double len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    const double angle = std::atan2(0.5 * len, 0.5 * (q[0][0] + q[1][1] + q[2][2] - 1.0));
    bzM34 m = s;
    for (int j = 0; j < 3; j++)
        m.row[3].v[j] += t * (e.row[3].v[j] - s.row[3].v[j]);
    if (!(len > 1e-12) || !(angle > 1e-9))
        return m;
    for (double &a : axis)
        a /= len;
    // The turn by t x angle about the axis (column form r), applied to each row: row r^T.
    const double a = t * angle, ca = std::cos(a), sa = std::sin(a), u = 1.0 - ca;
    const double x = axis[0], y = axis[1], z = axis[2];
    const double r[3][3] = {{ca + x * x * u, x * y * u - z * sa, x * z * u + y * sa},
                            {y * x * u + z * sa, ca + y * y * u, y * z * u - x * sa},
                            {z * x * u - y * sa, z * y * u + x * sa, ca + z * z * u}};
    for (int k = 0; k < 3; k++)
        for (int j = 0; j < 3; j++)
        {
            double v = 0.0;
            for (int i = 0; i < 3; i++)
                v += double(s.row[k].v[i]) * r[j][i];
            m.row[k].v[j] = float(v);
        }
    return m;
}

// World position of a contact point (relative to the centre of mass, body frame) at time t.
inline bzV3 WorldPoint(const BZDObject *b, const bzV3 &relative, float t)
{
    const bzM34 pose = PoseAt(b, t);
    bzV3 p = V(relative.x + b->centreOfMass.x, relative.y + b->centreOfMass.y,
               relative.z + b->centreOfMass.z);
    bz_M34_TransformPoint(&pose, &p);
    return p;
}

// Signed distance of a world point from the body's (one) shape at time t.
inline double BodyDistance(const BZDObject *b, const bzV3 &world, float t)
{
    const bzM34 pose = PoseAt(b, t);
    bzV3 local;
    bz_M34_InverseTransformPointInto(&pose, &local, &world);
    return ShapeDistance(b->form->firstShape, D(local));
}
} // namespace pairbody

namespace pairbody
{
// The outward direction of the body's surface at a world point: the gradient of its distance.
inline D3 Outward(const BZDObject *b, const bzV3 &world, float t)
{
    const double h = 1e-3;
    D3 g;
    double *out[3] = {&g.x, &g.y, &g.z};
    for (int i = 0; i < 3; i++)
    {
        bzV3 hi = world, lo = world;
        hi.v[i] += (float)h;
        lo.v[i] -= (float)h;
        *out[i] = (BodyDistance(b, hi, t) - BodyDistance(b, lo, t)) / (2.0 * h);
    }
    const double l = Len(g);
    return l > 0.0 ? D3{g.x / l, g.y / l, g.z / l} : g;
}

// How far the body (its one shape) reaches along the world direction at time t: the largest
// d . x over its points x.
inline double Support(const BZDObject *b, D3 d, float t)
{
    const bzM34 pose = PoseAt(b, t);
    const bzShape *shape = b->form->firstShape;
    std::vector<bzV3> points;
    double radius = 0.0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        const bzBox *box = bz_Shape_Bounds(shape);
        for (int i = 0; i < 8; i++)
            points.push_back(V((i & 1) ? box->max.x : box->min.x, (i & 2) ? box->max.y : box->min.y,
                               (i & 4) ? box->max.z : box->min.z));
        break;
    }
    case BZ_SHAPE_SPHERE:
    {
        const auto *sp = static_cast<const bzSphereShape *>(shape);
        points.push_back(sp->centre);
        radius = sp->radius;
        break;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *tt = static_cast<const bzTicTacShape *>(shape);
        points.push_back(tt->segmentStart);
        points.push_back(tt->segmentEnd);
        radius = tt->radius;
        break;
    }
    default:
    {
        const bzHull *h = bz_Shape_Hull(shape);
        for (int i = 0; i < h->vertexCount; i++)
            points.push_back(h->vertices[i]);
        if (shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
            radius = static_cast<const bzPolyhedronShape *>(shape)->roundingRadius;
        break;
    }
    }
    double best = -1e30;
    for (bzV3 p : points)
    {
        bz_M34_TransformPoint(&pose, &p);
        best = std::max(best, Dot(d, D(p)));
    }
    return best + radius * Len(d);
}

// Where a contact row lies, for checks: both points in the world at the contact's time, their
// distances from their own bodies' surfaces, and how well the normal separates them (the
// cosine of the normal with the other body's outward direction at its point, and of minus the
// normal with the row body's outward direction at its point; and how far each body reaches
// past the plane through its contact point across the normal: the row body towards the other,
// the other towards the row body; a normal that separates them leaves both near 0).
struct ContactPlace
{
    float t;
    bzV3 p1, p2;
    double d1, d2, gap, separates2, separates1, reach1, reach2;
};

inline ContactPlace Place(const bzCollisionContact &c)
{
    ContactPlace r;
    r.t = c.key < 1.0f ? c.key : 1.0f;
    r.p1 = WorldPoint(c.body, c.point, r.t);
    r.p2 = WorldPoint(c.otherBody, c.otherPoint, r.t);
    r.d1 = BodyDistance(c.body, r.p1, r.t);
    r.d2 = BodyDistance(c.otherBody, r.p2, r.t);
    r.gap = Len(Sub(D(r.p1), D(r.p2)));
    bzV3 n;
    bz_RotateV3Into(&c.body->startTransform, &n, &c.normal);
    r.separates2 = Dot(D(n), Outward(c.otherBody, r.p2, r.t));
    r.separates1 = -Dot(D(n), Outward(c.body, r.p1, r.t));
    const D3 dn = D(n), minus = {-dn.x, -dn.y, -dn.z};
    r.reach1 = Support(c.body, minus, r.t) - Dot(minus, D(r.p1));
    r.reach2 = Support(c.otherBody, dn, r.t) - Dot(dn, D(r.p2));
    return r;
}
} // namespace pairbody
