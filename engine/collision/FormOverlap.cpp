// The overlap of a placed box with the shapes of a form.
#include "collision/Form.h"

#include "core/Error.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

namespace
{
// Below this squared length a cross product of two directions gives no separating axis.
constexpr float kAxisLengthSq = 1e-12f;

void Project(const bzV3 *points, int32_t count, const bzV3 *axis, float *lo, float *hi)
{
    *lo = *hi = bz_V3_Dot(&points[0], axis);
    for (int32_t i = 1; i < count; i++)
    {
        const float d = bz_V3_Dot(&points[i], axis);
        if (d < *lo)
            *lo = d;
        if (d > *hi)
            *hi = d;
    }
}

bool Separates(const bzV3 *corners, const bzHull *hull, const bzV3 *axis)
{
    if (bz_V3_LengthSq(axis) < kAxisLengthSq)
        return false;
    float boxLo, boxHi, hullLo, hullHi;
    Project(corners, 8, axis, &boxLo, &boxHi);
    Project(hull->vertices, hull->vertexCount, axis, &hullLo, &hullHi);
    return boxHi < hullLo || hullHi < boxLo;
}

// Separating axes of a convex polyhedron and a box placed in its frame by rel: the face
// normals, the box axes and the cross products of the box axes with the edges.
int32_t BoxPolyhedronOverlap(const bzBox *box, const bzM34 *rel, const bzHull *hull)
{
    if (hull->vertexCount <= 0 || hull->faceCount <= 0)
        return 0;
    bzV3 corners[8];
    for (int32_t i = 0; i < 8; i++)
    {
        bzV3 local;
        bz_Box_Corner(box, i, &local);
        bz_M34_TransformPointInto(rel, &corners[i], &local);
    }
    for (int32_t f = 0; f < hull->faceCount; f++)
        if (Separates(corners, hull, &hull->planes[f].n))
            return 0;
    for (int32_t a = 0; a < 3; a++)
        if (Separates(corners, hull, &rel->row[a]))
            return 0;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        bzV3 dir;
        bz_V3_SubInto(&hull->vertices[hull->edges[e].b], &hull->vertices[hull->edges[e].a], &dir);
        for (int32_t a = 0; a < 3; a++)
        {
            bzV3 axis;
            bz_V3_CrossInto(&rel->row[a], &dir, &axis);
            if (Separates(corners, hull, &axis))
                return 0;
        }
    }
    return 1;
}

// rel carries the box's frame into the shape's, inv the other way.
int32_t ShapeOverlap(const bzBox *box, const bzM34 *rel, const bzM34 *inv, const bzShape *shape)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID: return bz_Box_OrientedOverlap(rel, box, bz_Shape_Bounds(shape));
    case BZ_SHAPE_POLYHEDRON: return BoxPolyhedronOverlap(box, rel, bz_Shape_Hull(shape));
    case BZ_SHAPE_SPHERE:
    {
        const auto *sphere = static_cast<const bzSphereShape *>(shape);
        bzV3 centre, clamped;
        bz_M34_TransformPointInto(inv, &centre, &sphere->centre);
        return bz_Box_SphereOverlap(&centre, box, &clamped, sphere->radius * sphere->radius);
    }
    default:
        BZ_SET_ORIGIN();
        bz_ReportError("Intersections", "shape not done yet");
        return 0;
    }
}
} // namespace

int32_t bz_Shape_BoxOverlaps(const bzBox *box, const bzM34 *boxPlacement, const bzShape *shape,
                             const bzM34 *shapePlacement)
{
    if (!box || !shape)
        return 0;
    bzM34 rel, inv;
    bz_M34_RelativePair(shapePlacement, boxPlacement, &rel, &inv);
    return ShapeOverlap(box, &rel, &inv, shape);
}

int32_t bz_Form_BoxOverlaps(const bzBox *box, const bzM34 *boxPlacement, const bzForm *form,
                            const bzM34 *formPlacement)
{
    if (!box || !form)
        return 0;
    bzM34 rel, inv;
    bz_M34_RelativePair(formPlacement, boxPlacement, &rel, &inv);
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (ShapeOverlap(box, &rel, &inv, s))
            return 1;
    return 0;
}
