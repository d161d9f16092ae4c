// The points the collision preparation places for a shape.
#include "physics/ShapePoints.h"

int32_t bz_PhysShapePoints(const bzShape *shape, const bzHull **hull)
{
    *hull = nullptr;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID: return 8;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
        *hull = bz_Shape_Hull(shape);
        return *hull && (*hull)->vertexCount > 0 ? (*hull)->vertexCount : 0;
    case BZ_SHAPE_SPHERE: return 1;
    case BZ_SHAPE_TIC_TAC: return 2;
    default: return 0;
    }
}
