#include "collision/Shape.h"

#include "core/Debug.h"
#include "core/Strings.h"

namespace
{
const char *const kKindNames[BZ_SHAPE_KIND_COUNT] = {"Null",
                                                     "AlignedCuboid",
                                                     "Polyhedron",
                                                     "WireFrame",
                                                     "Polygon",
                                                     "Sphere",
                                                     "TicTac",
                                                     "Cuboid",
                                                     "AlignedHalfSpace",
                                                     "HalfSpace",
                                                     "RoundedPolyhedron",
                                                     "CrushableCuboid"};

const char *const kDirectionNames[BZ_DIRECTION_COUNT] = {"XPlus",  "XMinus", "YPlus",
                                                         "YMinus", "ZPlus",  "ZMinus"};
} // namespace

const bzHullEdge bzgCuboidEdges[12] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                       {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

const char *bz_ShapeKind_Name(bzShapeKind kind)
{
    return kind < BZ_SHAPE_KIND_COUNT ? kKindNames[kind] : nullptr;
}

bzShapeKind bz_ShapeKind_FromName(const char *name)
{
    if (!name)
        return BZ_SHAPE_NULL;
    for (bzShapeKind k = 1; k < BZ_SHAPE_KIND_COUNT; k++)
        if (bz_StrCompareNoCase(name, kKindNames[k]) == 0)
            return k;
    return BZ_SHAPE_NULL;
}

const char *bz_ShapeDirection_Name(uint32_t direction)
{
    return direction < BZ_DIRECTION_COUNT ? kDirectionNames[direction] : nullptr;
}

int32_t bz_ShapeDirection_FromName(const char *name)
{
    if (!name)
        return -1;
    for (uint32_t d = 0; d < BZ_DIRECTION_COUNT; d++)
        if (bz_StrCompareNoCase(name, kDirectionNames[d]) == 0)
            return static_cast<int32_t>(d);
    return -1;
}

int32_t bz_ShapeKind_IsPolyhedral(bzShapeKind kind)
{
    switch (kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_CUBOID:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    case BZ_SHAPE_CRUSHABLE_CUBOID: return 1;
    default: return 0;
    }
}

bzHull *bz_Shape_Hull(bzShape *shape)
{
    if (!shape || !bz_ShapeKind_IsPolyhedral(shape->kind))
        return nullptr;
    return &static_cast<bzPolyShape *>(shape)->hull;
}

const bzHull *bz_Shape_Hull(const bzShape *shape)
{
    return bz_Shape_Hull(const_cast<bzShape *>(shape));
}

int32_t bz_AlignedHalfSpace_Plane(const bzHalfSpaceShape *shape, bzPlane *out)
{
    if (!shape || shape->direction >= BZ_DIRECTION_COUNT)
        return 0;
    const float s = (shape->direction & 1) ? -1.0f : 1.0f;
    out->n = bzV3{{{0.0f, 0.0f, 0.0f}}};
    out->n.v[shape->direction / 2] = s;
    out->d = shape->distance;
    return 1;
}

bzPolyhedronShape *bz_Shape_AsPolyhedron(bzShape *shape)
{
    BZ_ASSERT(shape && (shape->kind == BZ_SHAPE_POLYHEDRON || shape->kind == BZ_SHAPE_POLYGON ||
                        shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON));
    return static_cast<bzPolyhedronShape *>(shape);
}

bzSphereShape *bz_Shape_AsSphere(bzShape *shape)
{
    BZ_ASSERT(shape && shape->kind == BZ_SHAPE_SPHERE);
    return static_cast<bzSphereShape *>(shape);
}

bzTicTacShape *bz_Shape_AsTicTac(bzShape *shape)
{
    BZ_ASSERT(shape && shape->kind == BZ_SHAPE_TIC_TAC);
    return static_cast<bzTicTacShape *>(shape);
}

bzCuboidShape *bz_Shape_AsCuboid(bzShape *shape)
{
    BZ_ASSERT(shape && shape->kind == BZ_SHAPE_CUBOID);
    return static_cast<bzCuboidShape *>(shape);
}

bzHalfSpaceShape *bz_Shape_AsHalfSpace(bzShape *shape)
{
    BZ_ASSERT(shape &&
              (shape->kind == BZ_SHAPE_ALIGNED_HALF_SPACE || shape->kind == BZ_SHAPE_HALF_SPACE));
    return static_cast<bzHalfSpaceShape *>(shape);
}
