// A small world for the world collision tests: one body over a floor of two triangles held in
// its collision cache's gather list, forms of each kind, and the body view installed.
#pragma once

#include "collision/CollisionContact.h"
#include "collision/FaceList.h"
#include "collision/Form.h"
#include "collision/Shape.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ContactBodyView.h"
#include "physics/WorldCollision.h"

#include <memory>
#include <vector>

namespace worldfixture
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

inline bzM34 At(float x, float y, float z)
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[3] = V(x, y, z);
    return m;
}

// A one-shape form, prepared; fill sets the defining fields.
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
inline FormPtr BoxForm(bzShapeKind kind, float half)
{
    return MakeForm(kind,
                    [&](bzShape *s) {
                        *bz_Shape_Bounds(s) = {V(-half, -half, -half), V(half, half, half)};
                    });
}
inline FormPtr SphereForm(float r)
{
    return MakeForm(BZ_SHAPE_SPHERE,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsSphere(s)->centre = V(0, 0, 0);
                        bz_Shape_AsSphere(s)->radius = r;
                    });
}
inline FormPtr TicTacForm(bzV3 a, bzV3 b, float r)
{
    return MakeForm(BZ_SHAPE_TIC_TAC,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsTicTac(s)->segmentStart = a;
                        bz_Shape_AsTicTac(s)->segmentEnd = b;
                        bz_Shape_AsTicTac(s)->radius = r;
                    });
}
inline std::vector<bzV3> BoxPoints(float half)
{
    std::vector<bzV3> c;
    for (int i = 0; i < 8; i++)
        c.push_back(V((i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half));
    return c;
}
// A Polyhedron, Polygon or RoundedPolyhedron of the points.
inline FormPtr HullForm(bzShapeKind kind, const std::vector<bzV3> &points, float rounding = 0.1f)
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
        uint32_t(points.size()));
}
inline FormPtr CuboidForm(float half)
{
    return MakeForm(BZ_SHAPE_CUBOID,
                    [&](bzShape *s)
                    {
                        bz_Shape_AsCuboid(s)->localMin = V(-half, -half, -half);
                        bz_Shape_AsCuboid(s)->localMax = V(half, half, half);
                        bz_M34_SetIdentity(&bz_Shape_AsCuboid(s)->placement);
                    });
}

inline bzDynFaceHit Face(bzV3 a, bzV3 b, bzV3 c, bzV3 normal, float distance, uint32_t flags = 0)
{
    bzDynFaceHit f{};
    f.flags = flags;
    f.plane = {normal, distance};
    f.vertices[0] = a;
    f.vertices[1] = b;
    f.vertices[2] = c;
    return f;
}

// The floor y = 0 over x, z in [-10, 10] as two triangles. Triangle 0: edge 0 the diagonal
// x = z, edge 1 the side x = 10, edge 2 the side z = -10. Triangle 1: edge 0 the side x = -10,
// edge 1 the side z = 10, edge 2 the diagonal.
inline void Floor(std::vector<bzDynFaceHit> &faces)
{
    const bzV3 up = V(0, 1, 0);
    faces.push_back(Face(V(-10, 0, -10), V(10, 0, 10), V(10, 0, -10), up, 0));
    faces.push_back(Face(V(-10, 0, -10), V(-10, 0, 10), V(10, 0, 10), up, 0));
}

// One body with its cache, its two placements and a contact array of a physics step.
struct World
{
    std::vector<bzDynFaceHit> faces;
    bzDynFaceList list{};
    bzDynCollisionCache cache{};
    BZDObject body{};
    bzM34 lump{};
    FormPtr form;
    bzCollisionContact rows[60]{};

    World()
    {
        Floor(faces);
        bz_Phys_InstallContactBodyView();
        bz_PhysWorld_SetLevel(0.0f, 0);
    }
    ~World()
    {
        bz_PhysContacts_SetBodyView(nullptr);
        bz_PhysContacts_SetErrorReporter(nullptr);
        bz_PhysWorld_SetLevel(0.0f, 0);
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    // The body with the form, its pose (t = 0) and its lump matrix (t = 1).
    void Place(FormPtr f, const bzM34 &pose, const bzM34 &lumpMatrix)
    {
        form = std::move(f);
        body.form = form.get();
        body.startTransform = pose;
        lump = lumpMatrix;
        body.transform = &lump;
        body.bodyBox = {V(-100, -100, -100), V(100, 100, 100)};
    }
    int32_t Collide(int32_t start = 0)
    {
        list.capacity = int32_t(faces.size());
        list.count = int32_t(faces.size());
        list.entries = faces.empty() ? nullptr : faces.data();
        cache.gatherList = &list;
        body.collisionCache = &cache;
        for (bzCollisionContact &r : rows)
            r.key = 300.0f;
        return bz_PhysWorld_CollideObject(start, &body, rows);
    }
};
} // namespace worldfixture
