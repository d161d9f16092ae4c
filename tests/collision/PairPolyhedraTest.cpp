// Polyhedron and rounded-polyhedron pair tests: the edge cases of contact and containment, and
// agreement with a separating-axis and feature-distance oracle on random convex hulls.
#include "PairTestShapes.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"

#include <gtest/gtest.h>

#include <string>

using namespace pairtest;

namespace
{
// A WireFrame of the box's corners and its twelve edges.
FormPtr WireBox(bzV3 lo, bzV3 hi)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_WIRE_FRAME, 8, 12, 0));
    bzHull *hull = bz_Shape_Hull(form->firstShape);
    const std::vector<bzV3> corners = BoxPoints(lo, hi);
    for (int i = 0; i < 8; i++)
        hull->vertices[i] = corners[(size_t)i];
    for (int i = 0; i < 12; i++)
        hull->edges[i] = bzgCuboidEdges[i];
    bz_Form_CalcBounds(form.get(), 1);
    return form;
}

int32_t Hit(const FormPtr &a, const bzM34 *pa, const FormPtr &b, const bzM34 *pb)
{
    return bz_Form_IntersectForm(a.get(), pa, b.get(), pb);
}

TEST(PolyhedronPairs, ContactAndContainmentCases)
{
    struct Case
    {
        const char *name;
        FormPtr a, b;
        int32_t expected;
    };
    const std::vector<bzV3> tetraDown = {V(-1, 0, 0), V(1, 0, 0), V(0, -1, 1), V(0, -1, -1)};
    const std::vector<bzV3> tetraUp = {V(0, 0, -1), V(0, 0, 1), V(1, 1, 0), V(-1, 1, 0)};
    const std::vector<bzV3> tetraUpApart = {V(0, 0.01f, -1), V(0, 0.01f, 1), V(1, 1, 0),
                                            V(-1, 1, 0)};
    const float d = 1.0f / std::sqrt(3.0f);
    Case cases[] = {
        {"small polyhedron inside a large one",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(-5, -5, -5), V(5, 5, 5))),
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))), 1},
        {"tetrahedra crossed edge to edge", Hull(BZ_SHAPE_POLYHEDRON, tetraDown),
         Hull(BZ_SHAPE_POLYHEDRON, tetraUp), 1},
        {"tetrahedra just apart", Hull(BZ_SHAPE_POLYHEDRON, tetraDown),
         Hull(BZ_SHAPE_POLYHEDRON, tetraUpApart), 0},
        {"polyhedron through an aligned cuboid", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(-1, 0.4f, 0.4f), V(2, 0.6f, 0.6f))), 1},
        {"wire frame crossing a box", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         WireBox(V(-1, 0.4f, 0.4f), V(2, 0.6f, 0.6f)), 1},
        {"wire frame round a box", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         WireBox(V(-1, -1, -1), V(2, 2, 2)), 0},
        {"sphere inside a wire frame's hull", WireBox(V(-1, -1, -1), V(2, 2, 2)),
         Sphere(V(0.5f, 0.5f, 0.5f), 0.1f), 1},
        {"sphere touching a face", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Sphere(V(0.5f, 0.5f, 1.5f), 0.5f), 1},
        {"sphere off a face", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Sphere(V(0.5f, 0.5f, 1.5f), 0.49f), 0},
        {"sphere near a corner", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Sphere(V(1 + d, 1 + d, 1 + d), 1.01f), 1},
        {"sphere off a corner", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Sphere(V(1 + d, 1 + d, 1 + d), 0.99f), 0},
        {"tic-tac core through a polyhedron",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         TicTac(V(-3, 0.5f, 0.5f), V(4, 0.5f, 0.5f), 0.1f), 1},
        {"tic-tac beside a polyhedron edge",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         TicTac(V(1.2f, -3, 1.2f), V(1.2f, 4, 1.2f), 0.25f), 0},
        {"tic-tac reaching a polyhedron edge",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         TicTac(V(1.2f, -3, 1.2f), V(1.2f, 4, 1.2f), 0.3f), 1},
        {"cuboid against a polyhedron", Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(0.9f, 0, 0)),
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))), 1},
        {"rounded polyhedron rounding reaching a box",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.3f),
         AlignedCuboid(V(1.25f, 0, 0), V(2, 1, 1)), 1},
        {"rounded polyhedron short of a box",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.2f),
         AlignedCuboid(V(1.25f, 0, 0), V(2, 1, 1)), 0},
        {"rounded polyhedra edge to edge",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.3f),
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(1.4f, 1.4f, 0), V(2, 2, 1)), 0.3f), 1},
        {"rounded polyhedra apart at the edge",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.2f),
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(1.4f, 1.4f, 0), V(2, 2, 1)), 0.2f), 0},
        {"rounded polyhedron of no rounding against a polyhedron",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.0f),
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(1.01f, 0, 0), V(2, 1, 1))), 0},
        {"rounded polyhedron against a wire frame",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.3f),
         WireBox(V(0, 0, 0), V(1, 1, 1)), 0},
    };
    for (Case &c : cases)
    {
        ASSERT_TRUE(c.a && c.b) << c.name;
        EXPECT_EQ(Hit(c.a, nullptr, c.b, nullptr), c.expected) << c.name;
        EXPECT_EQ(Hit(c.b, nullptr, c.a, nullptr), c.expected) << c.name << " (swapped)";
    }
}

TEST(PolyhedronPairs, ShapesPastTheLimitsGiveNoContactAndNoOverrun)
{
    FormPtr big = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    FormPtr small = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0.2f, 0.2f, 0.2f), V(0.8f, 0.8f, 0.8f)));
    FormPtr ball = Sphere(V(0.5f, 0.5f, 0.5f), 0.2f);
    ASSERT_EQ(Hit(big, nullptr, small, nullptr), 1);
    ASSERT_EQ(Hit(big, nullptr, ball, nullptr), 1);
    bzHull *hull = bz_Shape_Hull(big->firstShape);
    const bzHull saved = *hull;
    hull->vertexCount = BZ_SHAPE_MAX_VERTICES + 1;
    EXPECT_EQ(Hit(big, nullptr, small, nullptr), 0);
    EXPECT_EQ(Hit(big, nullptr, ball, nullptr), 0);
    *hull = saved;
    hull->edgeCount = BZ_SHAPE_MAX_EDGES + 1;
    EXPECT_EQ(Hit(big, nullptr, ball, nullptr), 0);
    *hull = saved;
    // An edge naming a vertex that does not exist is skipped.
    hull->edges[0].a = 500;
    EXPECT_EQ(Hit(big, nullptr, small, nullptr), 1);
    *hull = saved;
}

// ---------------------------------------------------------------------------------------------
// Oracle: convex polytopes in double (vertices, unit face planes, edges), or capsules.

struct Polytope
{
    std::vector<D3> v;
    std::vector<std::pair<D3, double>> planes;
    std::vector<std::pair<int, int>> edges;
    double r = 0.0;
    bool capsule = false; // v[0] to v[1] with radius r
};

Polytope OracleOf(const bzShape *s, const bzM34 &m)
{
    Polytope p;
    if (s->kind == BZ_SHAPE_SPHERE || s->kind == BZ_SHAPE_TIC_TAC)
    {
        const OShape o = Oracle(s, m);
        p.capsule = true;
        p.v = {o.a, o.b};
        p.r = o.r;
        return p;
    }
    if (s->kind == BZ_SHAPE_ALIGNED_CUBOID || s->kind == BZ_SHAPE_CUBOID)
    {
        const OShape o = Oracle(s, m);
        const double h[3] = {o.half.x, o.half.y, o.half.z};
        for (int i = 0; i < 8; i++)
            p.v.push_back(o.centre + o.axis[0] * ((i & 1) ? h[0] : -h[0]) +
                          o.axis[1] * ((i & 2) ? h[1] : -h[1]) +
                          o.axis[2] * ((i & 4) ? h[2] : -h[2]));
        for (int i = 0; i < 3; i++)
        {
            p.planes.push_back({o.axis[i], Dot(o.axis[i], o.centre) + h[i]});
            p.planes.push_back({o.axis[i] * -1.0, -Dot(o.axis[i], o.centre) + h[i]});
        }
        for (const bzHullEdge &e : bzgCuboidEdges)
            p.edges.push_back({e.a, e.b});
        return p;
    }
    const bzHull *hull = bz_Shape_Hull(s);
    for (int i = 0; i < hull->vertexCount; i++)
        p.v.push_back(Place(m, ToD(hull->vertices[i])));
    for (int i = 0; i < hull->faceCount; i++)
    {
        D3 n = Turn(m, ToD(hull->planes[i].n));
        n = n * (1.0 / Length(n));
        // A point of the plane carried by m.
        const D3 onPlane = Place(m, ToD(hull->planes[i].n) * hull->planes[i].d);
        p.planes.push_back({n, Dot(n, onPlane)});
    }
    for (int i = 0; i < hull->edgeCount; i++)
        p.edges.push_back({hull->edges[i].a, hull->edges[i].b});
    if (s->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
        p.r = static_cast<const bzPolyhedronShape *>(s)->roundingRadius;
    return p;
}

// Distance between the segments p0-p1 and q0-q1 (closest points by clamped parameters).
double SegmentSegmentDistance(D3 p0, D3 p1, D3 q0, D3 q1)
{
    const D3 d1 = p1 - p0, d2 = q1 - q0, r = p0 - q0;
    const double a = Dot(d1, d1), e = Dot(d2, d2), f = Dot(d2, r);
    double s = 0.0, t = 0.0;
    if (a <= 1e-18 && e <= 1e-18)
        return Length(p0 - q0);
    if (a <= 1e-18)
        t = std::clamp(f / e, 0.0, 1.0);
    else
    {
        const double c = Dot(d1, r);
        if (e <= 1e-18)
            s = std::clamp(-c / a, 0.0, 1.0);
        else
        {
            const double b = Dot(d1, d2), denom = a * e - b * b;
            s = denom > 1e-18 ? std::clamp((b * f - c * e) / denom, 0.0, 1.0) : 0.0;
            t = (b * s + f) / e;
            if (t < 0.0)
            {
                t = 0.0;
                s = std::clamp(-c / a, 0.0, 1.0);
            }
            else if (t > 1.0)
            {
                t = 1.0;
                s = std::clamp((b - c) / a, 0.0, 1.0);
            }
        }
    }
    return Length((p0 + d1 * s) - (q0 + d2 * t));
}

double PointPolytopeDistance(D3 x, const Polytope &p)
{
    bool inside = true;
    double best = 1e300;
    for (size_t f = 0; f < p.planes.size(); f++)
    {
        const double s = Dot(p.planes[f].first, x) - p.planes[f].second;
        if (s <= 0.0)
            continue;
        inside = false;
        const D3 q = x - p.planes[f].first * s;
        bool within = true;
        for (size_t k = 0; k < p.planes.size() && within; k++)
            within = k == f || Dot(p.planes[k].first, q) - p.planes[k].second <= 1e-9;
        if (within)
            best = std::min(best, s);
    }
    if (inside)
        return 0.0;
    for (const auto &e : p.edges)
        best = std::min(best, PointSegmentDistance(x, p.v[e.first], p.v[e.second]));
    return best;
}

// Largest gap over face normals and edge cross products (negative when overlapping).
double SatGap(const Polytope &a, const Polytope &b)
{
    std::vector<D3> axes;
    for (const auto &pl : a.planes)
        axes.push_back(pl.first);
    for (const auto &pl : b.planes)
        axes.push_back(pl.first);
    for (const auto &e : a.edges)
        for (const auto &f : b.edges)
            axes.push_back(Cross(a.v[e.second] - a.v[e.first], b.v[f.second] - b.v[f.first]));
    double best = -1e300;
    for (D3 ax : axes)
    {
        const double len = Length(ax);
        if (len < 1e-9)
            continue;
        ax = ax * (1.0 / len);
        double loA = 1e300, hiA = -1e300, loB = 1e300, hiB = -1e300;
        for (const D3 &v : a.v)
        {
            loA = std::min(loA, Dot(v, ax));
            hiA = std::max(hiA, Dot(v, ax));
        }
        for (const D3 &v : b.v)
        {
            loB = std::min(loB, Dot(v, ax));
            hiB = std::max(hiB, Dot(v, ax));
        }
        best = std::max(best, std::max(loB - hiA, loA - hiB));
    }
    return best;
}

// Distance of the cores minus both radii.
double Clearance(const Polytope &a, const Polytope &b)
{
    if (a.capsule && b.capsule)
        return SegmentSegmentDistance(a.v[0], a.v[1], b.v[0], b.v[1]) - a.r - b.r;
    if (a.capsule)
        return MinOnUnit([&](double t)
                         { return PointPolytopeDistance(a.v[0] + (a.v[1] - a.v[0]) * t, b); }) -
               a.r - b.r;
    if (b.capsule)
        return Clearance(b, a);
    const double gap = SatGap(a, b);
    if (gap <= 0.0)
        return gap - a.r - b.r;
    double best = 1e300;
    for (const D3 &v : a.v)
        best = std::min(best, PointPolytopeDistance(v, b));
    for (const D3 &v : b.v)
        best = std::min(best, PointPolytopeDistance(v, a));
    for (const auto &e : a.edges)
        for (const auto &f : b.edges)
            best = std::min(best, SegmentSegmentDistance(a.v[e.first], a.v[e.second], b.v[f.first],
                                                         b.v[f.second]));
    return best - a.r - b.r;
}

TEST(PolyhedronPairs, AgreeWithSeparatingAxisOracleOnRandomHulls)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), size(0.2f, 0.9f);
    auto randomHull = [&](bzShapeKind kind) -> FormPtr
    {
        for (;;)
        {
            const int n = 4 + (int)(rng() % 9);
            const float s = size(rng);
            std::vector<bzV3> points;
            for (int i = 0; i < n; i++)
                points.push_back(V(s * u(rng), s * u(rng), s * u(rng)));
            if (kind == BZ_SHAPE_POLYGON)
                for (bzV3 &p : points)
                    p.z = 0.0f;
            FormPtr f = Hull(kind, points, 0.05f + 0.2f * (size(rng) - 0.2f));
            const bzHull *hull = f ? bz_Shape_Hull(f->firstShape) : nullptr;
            if (hull && hull->faceCount >= 4 && hull->faceCount <= 32 &&
                f->firstShape->kind == kind)
                return f;
        }
    };
    auto randomOther = [&](bzShapeKind kind) -> FormPtr
    {
        switch (kind)
        {
        case BZ_SHAPE_ALIGNED_CUBOID:
        {
            const bzV3 lo = V(0.5f * u(rng) - 0.4f, 0.5f * u(rng) - 0.4f, 0.5f * u(rng) - 0.4f);
            return AlignedCuboid(lo, V(lo.x + size(rng), lo.y + size(rng), lo.z + size(rng)));
        }
        case BZ_SHAPE_SPHERE:
            return Sphere(V(0.3f * u(rng), 0.3f * u(rng), 0.3f * u(rng)), size(rng) * 0.5f);
        case BZ_SHAPE_TIC_TAC:
            return TicTac(V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng)), size(rng) * 0.3f);
        case BZ_SHAPE_CUBOID:
        {
            const bzV3 lo = V(0.5f * u(rng) - 0.4f, 0.5f * u(rng) - 0.4f, 0.5f * u(rng) - 0.4f);
            return Cuboid(lo, V(lo.x + size(rng), lo.y + size(rng), lo.z + size(rng)),
                          RandomPlacement(rng, 0.2f));
        }
        default: return randomHull(kind);
        }
    };
    const std::pair<bzShapeKind, bzShapeKind> pairs[] = {
        {BZ_SHAPE_POLYHEDRON, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_POLYHEDRON, BZ_SHAPE_ALIGNED_CUBOID},
        {BZ_SHAPE_CUBOID, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_SPHERE, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_TIC_TAC, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_ROUNDED_POLYHEDRON},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_ALIGNED_CUBOID},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_SPHERE},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_TIC_TAC},
        {BZ_SHAPE_POLYGON, BZ_SHAPE_POLYHEDRON},
        {BZ_SHAPE_SPHERE, BZ_SHAPE_POLYGON},
        {BZ_SHAPE_TIC_TAC, BZ_SHAPE_POLYGON},
        {BZ_SHAPE_ROUNDED_POLYHEDRON, BZ_SHAPE_POLYGON},
    };
    for (const auto &pair : pairs)
    {
        int hits = 0, misses = 0, disagreements = 0;
        for (int i = 0; i < 250; i++)
        {
            FormPtr a = randomOther(pair.first), b = randomOther(pair.second);
            const bzM34 pa = RandomPlacement(rng, 0.7f), pb = RandomPlacement(rng, 0.7f);
            const double clearance =
                Clearance(OracleOf(a->firstShape, pa), OracleOf(b->firstShape, pb));
            const int32_t got = bz_Shape_IntersectShape(a->firstShape, &pa, b->firstShape, &pb);
            EXPECT_EQ(got, bz_Shape_IntersectShape(b->firstShape, &pb, a->firstShape, &pa));
            if (std::fabs(clearance) < 1e-4)
                continue;
            const int32_t expected = clearance < 0.0 ? 1 : 0;
            (expected ? hits : misses)++;
            if (got != expected && ++disagreements <= 3)
                ADD_FAILURE() << "kinds " << pair.first << " " << pair.second << " case " << i
                              << " clearance " << clearance << " got " << got;
        }
        EXPECT_EQ(disagreements, 0) << pair.first << " " << pair.second;
        EXPECT_GT(hits, 30) << pair.first << " " << pair.second;
        EXPECT_GT(misses, 30) << pair.first << " " << pair.second;
    }
}
} // namespace

namespace
{
// Hulls of many faces (past 32, where face outcodes need more than one word) against the oracle.
TEST(PolyhedronPairs, ManyFacedHullsAgreeWithOracle)
{
    auto ball = [](int n, float radius)
    {
        std::vector<bzV3> points;
        for (int i = 0; i < n; i++)
        {
            const double y = 1.0 - 2.0 * (i + 0.5) / n, r = std::sqrt(1.0 - y * y);
            const double phi = 2.399963229728653 * i;
            points.push_back(V((float)(radius * r * std::cos(phi)), (float)(radius * y),
                               (float)(radius * r * std::sin(phi))));
        }
        return points;
    };
    FormPtr plain = Hull(BZ_SHAPE_POLYHEDRON, ball(24, 0.6f));
    FormPtr rounded = Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, ball(22, 0.5f), 0.1f);
    ASSERT_GT(bz_Shape_Hull(plain->firstShape)->faceCount, 32);
    ASSERT_GT(bz_Shape_Hull(rounded->firstShape)->faceCount, 32);
    std::mt19937 rng(5);
    int hits = 0, misses = 0;
    for (int i = 0; i < 80; i++)
    {
        const bool both = i % 2 == 0;
        const FormPtr &a = rounded;
        const FormPtr &b = both ? rounded : plain;
        const bzM34 pa = RandomPlacement(rng, 0.9f), pb = RandomPlacement(rng, 0.9f);
        const double clearance =
            Clearance(OracleOf(a->firstShape, pa), OracleOf(b->firstShape, pb));
        const int32_t got = bz_Shape_IntersectShape(a->firstShape, &pa, b->firstShape, &pb);
        if (std::fabs(clearance) < 1e-4)
            continue;
        (clearance < 0.0 ? hits : misses)++;
        EXPECT_EQ(got, clearance < 0.0 ? 1 : 0) << "case " << i << " clearance " << clearance;
    }
    EXPECT_GT(hits, 10);
    EXPECT_GT(misses, 10);
}
} // namespace
