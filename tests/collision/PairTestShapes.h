// Builders of prepared one-shape forms and double-precision distance oracles shared by the
// pair, ray and containment tests.
#pragma once

#include "collision/Form.h"
#include "collision/ShapePair.h"
#include "maths/Vector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace pairtest
{
struct FormFree
{
    void operator()(bzForm *f) const { bz_Form_Free(f); }
};
using FormPtr = std::unique_ptr<bzForm, FormFree>;

inline bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

inline bzM34 Identity()
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    return m;
}

inline bzM34 Translation(float x, float y, float z)
{
    bzM34 m = Identity();
    m.row[3] = V(x, y, z);
    return m;
}

// A one-shape form, prepared. fill sets the defining fields.
template <class Fill> FormPtr MakeForm(bzShapeKind kind, Fill fill, uint32_t vertices = 0)
{
    FormPtr form(bz_Form_Alloc(nullptr, kind, vertices, 0, 0));
    if (form)
    {
        fill(form->firstShape);
        bz_Form_CalcBounds(form.get(), 1);
    }
    return form;
}

inline FormPtr AlignedCuboid(bzV3 lo, bzV3 hi)
{
    return MakeForm(BZ_SHAPE_ALIGNED_CUBOID, [&](bzShape *s) { *bz_Shape_Bounds(s) = {lo, hi}; });
}
inline FormPtr CrushableCuboid(bzV3 lo, bzV3 hi)
{
    return MakeForm(BZ_SHAPE_CRUSHABLE_CUBOID, [&](bzShape *s) { *bz_Shape_Bounds(s) = {lo, hi}; });
}
inline FormPtr Sphere(bzV3 c, float r)
{
    return MakeForm(BZ_SHAPE_SPHERE,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsSphere(s)->centre = c;
                        bz_Shape_AsSphere(s)->radius = r;
                    });
}
inline FormPtr TicTac(bzV3 a, bzV3 b, float r)
{
    return MakeForm(BZ_SHAPE_TIC_TAC,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsTicTac(s)->segmentStart = a;
                        bz_Shape_AsTicTac(s)->segmentEnd = b;
                        bz_Shape_AsTicTac(s)->radius = r;
                    });
}
inline FormPtr Cuboid(bzV3 lo, bzV3 hi, const bzM34 &placement)
{
    return MakeForm(BZ_SHAPE_CUBOID,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsCuboid(s)->localMin = lo;
                        bz_Shape_AsCuboid(s)->localMax = hi;
                        bz_Shape_AsCuboid(s)->placement = placement;
                    });
}
inline FormPtr AlignedHalfSpace(uint32_t direction, float distance)
{
    return MakeForm(BZ_SHAPE_ALIGNED_HALF_SPACE,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsHalfSpace(s)->direction = direction;
                        bz_Shape_AsHalfSpace(s)->distance = distance;
                    });
}
inline FormPtr HalfSpace(bzV3 n, float d)
{
    return MakeForm(BZ_SHAPE_HALF_SPACE,
                    [&](bzShape *s) {
                        bz_Shape_AsHalfSpace(s)->plane = {n, d};
                    });
}
// A Polyhedron, Polygon, WireFrame or RoundedPolyhedron of the points (hull built in place).
inline FormPtr Hull(bzShapeKind kind, const std::vector<bzV3> &points, float rounding = 0.1f)
{
    return MakeForm(
        kind,
        [&](bzShape *s)
        {
            bzHull *hull = bz_Shape_Hull(s);
            for (size_t i = 0; i < points.size(); i++)
                hull->vertices[i] = points[i];
            if (kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
                bz_Shape_AsPolyhedron(s)->roundingRadius = rounding;
        },
        (uint32_t)points.size());
}
inline std::vector<bzV3> BoxPoints(bzV3 lo, bzV3 hi)
{
    std::vector<bzV3> c;
    for (int i = 0; i < 8; i++)
        c.push_back(V((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z));
    return c;
}

// A random rotation (from a random unit quaternion) and a translation in [-t, t].
inline bzM34 RandomPlacement(std::mt19937 &rng, float t)
{
    std::normal_distribution<double> g(0.0, 1.0);
    double q[4], len = 0.0;
    for (double &c : q)
    {
        c = g(rng);
        len += c * c;
    }
    len = std::sqrt(len);
    const double x = q[0] / len, y = q[1] / len, z = q[2] / len, w = q[3] / len;
    bzM34 m;
    m.row[0] = V((float)(1 - 2 * (y * y + z * z)), (float)(2 * (x * y + w * z)),
                 (float)(2 * (x * z - w * y)));
    m.row[1] = V((float)(2 * (x * y - w * z)), (float)(1 - 2 * (x * x + z * z)),
                 (float)(2 * (y * z + w * x)));
    m.row[2] = V((float)(2 * (x * z + w * y)), (float)(2 * (y * z - w * x)),
                 (float)(1 - 2 * (x * x + y * y)));
    std::uniform_real_distribution<float> u(-t, t);
    m.row[3] = V(u(rng), u(rng), u(rng));
    return m;
}

// ---------------------------------------------------------------------------------------------
// Double-precision oracle

struct D3
{
    double x, y, z;
};
inline D3 operator+(D3 a, D3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline D3 operator-(D3 a, D3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline D3 operator*(D3 a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(D3 a, D3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline D3 Cross(D3 a, D3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(D3 a)
{
    return std::sqrt(Dot(a, a));
}
inline D3 ToD(const bzV3 &v)
{
    return {v.x, v.y, v.z};
}
// p M with translation, in double.
inline D3 Place(const bzM34 &m, D3 p)
{
    return ToD(m.row[0]) * p.x + ToD(m.row[1]) * p.y + ToD(m.row[2]) * p.z + ToD(m.row[3]);
}
inline D3 Turn(const bzM34 &m, D3 v)
{
    return ToD(m.row[0]) * v.x + ToD(m.row[1]) * v.y + ToD(m.row[2]) * v.z;
}

// A world-frame shape of the oracle: an oriented box, or a capsule (a sphere when a == b).
struct OShape
{
    bool box = false;
    D3 a{}, b{};
    double r = 0.0;
    D3 centre{}, axis[3]{}, half{}; // box: unit axes and half extents
};

inline double PointSegmentDistance(D3 p, D3 a, D3 b)
{
    const D3 ab = b - a;
    const double len = Dot(ab, ab);
    double t = len > 0.0 ? Dot(p - a, ab) / len : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return Length(p - (a + ab * t));
}

inline double PointBoxDistance(D3 p, const OShape &box)
{
    const D3 w = p - box.centre;
    double sum = 0.0;
    const double h[3] = {box.half.x, box.half.y, box.half.z};
    for (int i = 0; i < 3; i++)
    {
        const double c = Dot(w, box.axis[i]);
        const double out = std::fabs(c) - h[i];
        if (out > 0.0)
            sum += out * out;
    }
    return std::sqrt(sum);
}

// Minimum of a convex function on [0, 1] by golden-section search.
template <class F> double MinOnUnit(F f)
{
    double lo = 0.0, hi = 1.0;
    const double g = 0.6180339887498949;
    double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = f(x1), f2 = f(x2);
    for (int i = 0; i < 80; i++)
    {
        if (f1 < f2)
        {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - g * (hi - lo);
            f1 = f(x1);
        }
        else
        {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + g * (hi - lo);
            f2 = f(x2);
        }
    }
    return std::min({f(0.0), f(1.0), f1, f2});
}

// Largest separating gap of two boxes over the 15 axes (negative when they overlap).
inline double BoxBoxGap(const OShape &p, const OShape &q)
{
    std::vector<D3> axes;
    for (int i = 0; i < 3; i++)
    {
        axes.push_back(p.axis[i]);
        axes.push_back(q.axis[i]);
        for (int j = 0; j < 3; j++)
            axes.push_back(Cross(p.axis[i], q.axis[j]));
    }
    double best = -1e300;
    for (D3 ax : axes)
    {
        const double len = Length(ax);
        if (len < 1e-9)
            continue;
        ax = ax * (1.0 / len);
        auto radius = [&](const OShape &s)
        {
            return s.half.x * std::fabs(Dot(s.axis[0], ax)) +
                   s.half.y * std::fabs(Dot(s.axis[1], ax)) +
                   s.half.z * std::fabs(Dot(s.axis[2], ax));
        };
        const double gap = std::fabs(Dot(q.centre - p.centre, ax)) - radius(p) - radius(q);
        best = std::max(best, gap);
    }
    return best;
}

// Signed clearance of two oracle shapes: distance minus radii (boxes: the separating gap).
inline double Clearance(const OShape &p, const OShape &q)
{
    if (p.box && q.box)
        return BoxBoxGap(p, q);
    if (q.box)
        return MinOnUnit([&](double t) { return PointBoxDistance(p.a + (p.b - p.a) * t, q); }) -
               p.r;
    if (p.box)
        return Clearance(q, p);
    return MinOnUnit([&](double t)
                     { return PointSegmentDistance(p.a + (p.b - p.a) * t, q.a, q.b); }) -
           p.r - q.r;
}

// The oracle shape of a box-like, sphere or capsule shape placed by m.
inline OShape Oracle(const bzShape *s, const bzM34 &m)
{
    OShape o;
    switch (s->kind)
    {
    case BZ_SHAPE_SPHERE:
    {
        const auto *sp = static_cast<const bzSphereShape *>(s);
        o.a = o.b = Place(m, ToD(sp->centre));
        o.r = sp->radius;
        break;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(s);
        o.a = Place(m, ToD(t->segmentStart));
        o.b = Place(m, ToD(t->segmentEnd));
        o.r = t->radius;
        break;
    }
    default:
    {
        bzBox local;
        bzM34 total = m;
        if (s->kind == BZ_SHAPE_CUBOID)
        {
            const auto *c = static_cast<const bzCuboidShape *>(s);
            local = {c->localMin, c->localMax};
            bz_MulM34Into(&m, &total, &c->placement);
        }
        else
            local = *bz_Shape_Bounds(s);
        o.box = true;
        const D3 lo = ToD(local.min), hi = ToD(local.max);
        o.centre = Place(total, (lo + hi) * 0.5);
        for (int i = 0; i < 3; i++)
        {
            const D3 ax = ToD(total.row[i]);
            o.axis[i] = ax * (1.0 / Length(ax));
        }
        o.half = (hi - lo) * 0.5;
        break;
    }
    }
    return o;
}
} // namespace pairtest
