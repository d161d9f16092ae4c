// The shape pair table and its dispatchers, and point containment.
#include "collision/ShapePair.h"

#include "collision/PairTests.h"
#include "core/Debug.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <cmath>

const bzShape *bzgPairHigher = nullptr;
const bzShape *bzgPairLower = nullptr;
const bzM34 *bzgPairHigherToLower = nullptr;
const bzM34 *bzgPairLowerToHigher = nullptr;

namespace
{
constexpr int32_t kKinds = BZ_SHAPE_KIND_COUNT;

// Set while a pair test runs: a test that dispatches again would overwrite its own pair.
bool gInPairTest = false;

bool Finite(const bzM34 *m)
{
    if (!m)
        return true;
    for (int32_t r = 0; r < 4; r++)
        for (int32_t c = 0; c < 3; c++)
            if (!std::isfinite(m->row[r].v[c]))
                return false;
    return true;
}

int32_t RunPair(const bzShape *higher, const bzShape *lower, const bzM34 *higherToLower,
                const bzM34 *lowerToHigher)
{
    if (higher->kind >= static_cast<bzShapeKind>(kKinds) ||
        lower->kind >= static_cast<bzShapeKind>(kKinds))
        return 0;
    const bzShapePairTest test = bzShapePairTable[kKinds * higher->kind + lower->kind];
    if (!test)
        return 0;
    BZ_ASSERT(!gInPairTest);
    if (gInPairTest)
        return 0;
    bzgPairHigher = higher;
    bzgPairLower = lower;
    bzgPairHigherToLower = higherToLower;
    bzgPairLowerToHigher = lowerToHigher;
    gInPairTest = true;
    const int32_t result = test() != 0 ? 1 : 0;
    gInPairTest = false;
    return result;
}

// Shape a of form A against shape b of form B; equal kinds put b in the row slot.
int32_t FormPair(const bzShape *a, const bzShape *b, const bzM34 *aToB, const bzM34 *bToA)
{
    if (a->kind <= b->kind)
        return RunPair(b, a, bToA, aToB);
    return RunPair(a, b, aToB, bToA);
}

int32_t CuboidContains(const bzCuboidShape *c, const bzV3 *p)
{
    bzM34 inverse;
    bz_M34_Invert(&c->placement, &inverse);
    bzV3 local;
    bz_M34_TransformPointInto(&inverse, &local, p);
    const bzBox box = {c->localMin, c->localMax};
    return bz_Box_PointInside(&local, &box);
}
} // namespace

// clang-format off
const bzShapePairTest bzShapePairTable[BZ_SHAPE_KIND_COUNT * BZ_SHAPE_KIND_COUNT] = {
    // 0 Null
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 1 AlignedCuboid
    nullptr, IntersectAlignedCuboids, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 2 Polyhedron
    nullptr, IntersectPolyhedronAlignedCuboid, IntersectPolyhedra, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 3 WireFrame
    nullptr, IntersectPolyhedronAlignedCuboid, IntersectPolyhedra, IntersectPolyhedra, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 4 Polygon
    nullptr, IntersectPolyhedronAlignedCuboid, IntersectPolyhedra, IntersectPolyhedra, IntersectPolyhedra, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 5 Sphere
    nullptr, IntersectSphereAlignedCuboid, IntersectSpherePolyhedron, IntersectSpherePolyhedron, IntersectSpherePolyhedron, IntersectSpheres, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 6 TicTac
    nullptr, IntersectTicTacAlignedCuboid, IntersectTicTacPolyhedron, IntersectTicTacPolyhedron, IntersectTicTacPolyhedron, IntersectTicTacSphere, IntersectTicTacs, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 7 Cuboid
    nullptr, IntersectCuboidAlignedCuboid, IntersectCuboidPolyhedron, IntersectCuboidPolyhedron, IntersectCuboidPolyhedron, IntersectCuboidSphere, IntersectCuboidTicTac, IntersectCuboids, nullptr, nullptr, nullptr, nullptr,
    // 8 AlignedHalfSpace
    nullptr, IntersectAlignedHalfSpaceAlignedCuboid, IntersectAlignedHalfSpacePolyhedron, IntersectAlignedHalfSpacePolyhedron, IntersectAlignedHalfSpacePolyhedron, IntersectAlignedHalfSpaceSphere, IntersectAlignedHalfSpaceTicTac, IntersectAlignedHalfSpaceCuboid, IntersectAlignedHalfSpaces, nullptr, nullptr, nullptr,
    // 9 HalfSpace
    nullptr, IntersectHalfSpaceAlignedCuboid, IntersectHalfSpacePolyhedron, IntersectHalfSpacePolyhedron, IntersectHalfSpacePolyhedron, IntersectHalfSpaceSphere, IntersectHalfSpaceTicTac, IntersectHalfSpaceCuboid, IntersectHalfSpaceAlignedHalfSpace, IntersectHalfSpaces, nullptr, nullptr,
    // 10 RoundedPolyhedron
    nullptr, IntersectRoundedPolyhedronAlignedCuboid, IntersectRoundedPolyhedronPolyhedron, nullptr, IntersectRoundedPolyhedronPolyhedron, IntersectRoundedPolyhedronSphere, IntersectRoundedPolyhedronTicTac, nullptr, nullptr, nullptr, IntersectRoundedPolyhedra, nullptr,
    // 11 CrushableCuboid
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
// clang-format on

int32_t bz_Form_IntersectForm(const bzForm *formA, const bzM34 *placementA, const bzForm *formB,
                              const bzM34 *placementB)
{
    if (!formA || !formB || !Finite(placementA) || !Finite(placementB))
        return 0;
    bzM34 aToB, bToA;
    bz_M34_RelativePair(placementB, placementA, &aToB, &bToA);
    if (!Finite(&aToB) || !Finite(&bToA))
        return 0;
    if (!((formA->flags | formB->flags) & BZ_FORM_UNBOUNDED))
    {
        bzBox bInA;
        bz_Box_TransformInto(&formB->bounds, &bToA, &bInA);
        if (!bz_Box_Overlap(&bInA, &formA->bounds))
            return 0;
    }
    for (const bzShape *a = formA->firstShape; a; a = a->next)
        for (const bzShape *b = formB->firstShape; b; b = b->next)
            if (FormPair(a, b, &aToB, &bToA))
                return 1;
    return 0;
}

int32_t bz_Shape_IntersectShape(const bzShape *shapeA, const bzM34 *placementA,
                                const bzShape *shapeB, const bzM34 *placementB)
{
    if (!shapeA || !shapeB || !Finite(placementA) || !Finite(placementB))
        return 0;
    bzM34 aToB, bToA;
    bz_M34_RelativePair(placementB, placementA, &aToB, &bToA);
    if (!Finite(&aToB) || !Finite(&bToA))
        return 0;
    return FormPair(shapeA, shapeB, &aToB, &bToA);
}

int32_t IntersectShapePair(const bzShape *first, const bzShape *second, const bzM34 *firstToSecond,
                           const bzM34 *secondToFirst)
{
    if (!first || !second || !firstToSecond || !secondToFirst || !Finite(firstToSecond) ||
        !Finite(secondToFirst))
        return 0;
    if (second->kind <= first->kind)
        return RunPair(first, second, firstToSecond, secondToFirst);
    return RunPair(second, first, secondToFirst, firstToSecond);
}

int32_t HalfSpaceUnitPlane(const bzShape *shape, bzPlane *out)
{
    if (shape->kind == BZ_SHAPE_ALIGNED_HALF_SPACE)
        return bz_AlignedHalfSpace_Plane(static_cast<const bzHalfSpaceShape *>(shape), out);
    if (shape->kind != BZ_SHAPE_HALF_SPACE)
        return 0;
    const bzPlane &plane = static_cast<const bzHalfSpaceShape *>(shape)->plane;
    const float length = std::sqrt(bz_V3_LengthSq(&plane.n));
    if (!(length > 0.0f) || !std::isfinite(length))
        return 0;
    if (length == 1.0f)
    {
        *out = plane;
        return 1;
    }
    bz_V3_ScaleInto(&plane.n, &out->n, 1.0f / length);
    out->d = plane.d / length;
    return 1;
}

int32_t bz_Shape_ContainsPoint(const bzShape *shape, const bzV3 *point)
{
    if (!shape || !point)
        return 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
        return bz_Box_PointInside(point, &static_cast<const bzBoundedShape *>(shape)->bounds);
    case BZ_SHAPE_POLYHEDRON:
    {
        const bzHull &hull = static_cast<const bzPolyShape *>(shape)->hull;
        for (int32_t f = 0; f < hull.faceCount; f++)
            if (!(bz_Plane_SignedDistance(&hull.planes[f], point) <= 0.0f))
                return 0;
        return 1;
    }
    case BZ_SHAPE_SPHERE:
    {
        const auto *s = static_cast<const bzSphereShape *>(shape);
        return bz_V3_DistanceSq(point, &s->centre) <= s->radiusSquared;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        return bz_Segment_ClosestPoint(&t->segmentStart, &t->segmentEnd, point, nullptr) <=
               t->radius;
    }
    case BZ_SHAPE_CUBOID: return CuboidContains(static_cast<const bzCuboidShape *>(shape), point);
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE:
    {
        bzPlane plane;
        return HalfSpaceUnitPlane(shape, &plane) && bz_Plane_SignedDistance(&plane, point) < 0.0f;
    }
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const auto *r = static_cast<const bzPolyhedronShape *>(shape);
        return SphereRoundedPolyhedronTouch(point, 0.0f, r->roundingRadius, shape, nullptr);
    }
    default: return 0; // WireFrame, Polygon, CrushableCuboid and unknown kinds
    }
}

int32_t bz_Form_ContainsPoint(const bzForm *form, const bzV3 *point)
{
    if (!form)
        return 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (bz_Shape_ContainsPoint(s, point))
            return 1;
    return 0;
}
