#include "formview/SkeletonShapes.h"

#include "collision/Form.h"
#include "collision/Shape.h"
#include "core/Error.h"
#include "formview/FormLumps.h"
#include "models/SkeletonDebug.h"

#include <cmath>

namespace
{
bool FiniteV3(const bzV3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bzLump *Refuse()
{
    bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return nullptr;
}

// The lump of a made shape; the shape is released either way.
bzLump *LumpOf(bzShape *shape)
{
    bzLump *lump = bz_Lump_CreateFromForm(shape);
    bz_Shape_Free(shape);
    return lump;
}

bzLump *TicTacLump(const bzV3 *points, float radius)
{
    if (points[0].x == points[1].x && points[0].y == points[1].y && points[0].z == points[1].z)
        return Refuse();
    bzShape *shape = bz_Shape_Create(nullptr, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    if (!shape)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzTicTacShape *capsule = bz_Shape_AsTicTac(shape);
    capsule->radius = radius;
    capsule->segmentStart = points[0];
    capsule->segmentEnd = points[1];
    bz_Shape_Prepare(shape);
    return LumpOf(shape);
}

bzLump *RoundedHullLump(const bzV3 *points, int32_t count, float radius)
{
    bzShape *shape =
        bz_Shape_Create(nullptr, BZ_SHAPE_ROUNDED_POLYHEDRON, static_cast<uint32_t>(count), 0, 0);
    if (!shape)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(shape);
    for (int32_t i = 0; i < count; i++)
        poly->hull.vertices[i] = points[i];
    poly->roundingRadius = radius;
    // Preparation builds the hull; points that coincide or lie on one line give none, and
    // points in one plane a flat polygon (as many edges as vertices, where a solid has more),
    // whose sides have no loop for the hull model.
    if (bz_Shape_Prepare(shape) != 0 || poly->hull.faceCount == 0 ||
        poly->hull.edgeCount <= poly->hull.vertexCount)
    {
        bz_Shape_Free(shape);
        return Refuse();
    }
    return LumpOf(shape);
}
} // namespace

bzLump *bz_FormView_CreateSkeletonShapeLump(int32_t kind, const bzV3 *points, int32_t count,
                                            float radius)
{
    const bool tictac = kind == BZ_SKELETON_SHAPE_TICTAC;
    const bool rounded = kind == BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON;
    if (!(tictac && count == 2) && !(rounded && count >= 3 && count <= BZ_SHAPE_MAX_VERTICES))
        return Refuse();
    if (!points || !std::isfinite(radius) || radius < 0.0f)
        return Refuse();
    for (int32_t i = 0; i < count; i++)
        if (!FiniteV3(points[i]))
            return Refuse();
    return tictac ? TicTacLump(points, radius) : RoundedHullLump(points, count, radius);
}

void bz_FormView_InstallSkeletonShapes()
{
    const bzSkeletonShapeServices services = {bz_FormView_CreateSkeletonShapeLump};
    bz_Skeleton_SetShapeServices(&services);
}
