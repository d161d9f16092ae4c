#include "collision/Form.h"

#include "collision/ShapeGeometry.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"

#include <cstring>

#define REPORT(caption, ...)                                                                       \
    do                                                                                             \
    {                                                                                              \
        BZ_SET_ORIGIN();                                                                           \
        bz_ReportError(caption, __VA_ARGS__);                                                      \
    } while (0)

namespace
{
constexpr float kFloatMax = 3.4028235e38f;
constexpr float kFourThirdsPi = 4.1887903f;
constexpr float kPi = 3.1415927f;
constexpr float kDefaultRoundingRadius = 0.1f;
// Scratch of the world collision per transformed vertex and face, and for the round kinds.
constexpr uint32_t kWorkPerVertex = 28;
constexpr uint32_t kWorkPerFace = 32;
constexpr uint32_t kBoxWork = 416;
constexpr uint32_t kSphereWork = 28;
constexpr uint32_t kTicTacWork = 56;
// Model percentages of the polyhedra kinds 1 to 5 of bz_Form_CreateOfKind.
const float kPolyhedraPercent[5] = {1.0f, 25.0f, 50.0f, 75.0f, 100.0f};

bzFormModelBuilders gModelBuilders = {};

void *AllocChild(void *owner, size_t bytes)
{
    if (bytes == 0 || bytes > BZ_MEM_MAX_BLOCK)
        return nullptr;
    if (owner)
        return bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_CLEAR | BZ_MEM_PARENT, owner);
    return bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_CLEAR);
}

bool IsHullKind(bzShapeKind kind)
{
    return kind == BZ_SHAPE_POLYHEDRON || kind == BZ_SHAPE_WIRE_FRAME || kind == BZ_SHAPE_POLYGON ||
           kind == BZ_SHAPE_ROUNDED_POLYHEDRON;
}

bool IsBoxKind(bzShapeKind kind)
{
    return kind == BZ_SHAPE_ALIGNED_CUBOID || kind == BZ_SHAPE_CUBOID ||
           kind == BZ_SHAPE_CRUSHABLE_CUBOID;
}

// Gives a polyhedral shape its arrays; false when the counts are refused or memory runs out.
bool MakeHullArrays(bzShape *shape, int32_t v, int32_t e, int32_t f)
{
    if (v > BZ_SHAPE_MAX_VERTICES)
    {
        REPORT("bz_Form_Create", "Shape of %d vertices: at most %d", v, BZ_SHAPE_MAX_VERTICES);
        return false;
    }
    if (e == 0)
        e = v == 2 ? 1 : MaxEdgesForVertices(v); // two points make a segment of one edge
    if (f == 0)
        f = MaxFacesForVertices(v);
    const int32_t edgeLimit =
        shape->kind == BZ_SHAPE_WIRE_FRAME ? BZ_SHAPE_MAX_EDGES : BZ_SHAPE_MAX_EDGE_ROOM;
    if (e > edgeLimit)
    {
        REPORT("bz_Form_Create", "Shape of %d edges: at most %d", e, edgeLimit);
        return false;
    }
    if (f > BZ_SHAPE_MAX_FACES)
    {
        REPORT("bz_Form_Create", "Shape of %d faces: at most %d", f, BZ_SHAPE_MAX_FACES);
        return false;
    }
    bzHull *hull = bz_Shape_Hull(shape);
    if (v > 0 && !(hull->vertices = static_cast<bzV3 *>(
                       AllocChild(shape, sizeof(bzV3) * static_cast<size_t>(v)))))
        return false;
    if (e > 0 && !(hull->edges = static_cast<bzHullEdge *>(
                       AllocChild(shape, sizeof(bzHullEdge) * static_cast<size_t>(e)))))
        return false;
    if (f > 0 && !(hull->planes = static_cast<bzPlane *>(
                       AllocChild(shape, sizeof(bzPlane) * static_cast<size_t>(f)))))
        return false;
    if (shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
    {
        bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(shape);
        if (e > 0 && !(poly->hullWork = static_cast<uint32_t *>(
                           AllocChild(shape, sizeof(uint32_t) * static_cast<size_t>(e)))))
            return false;
        poly->roundingRadius = kDefaultRoundingRadius;
    }
    hull->vertexCount = hull->vertexRoom = static_cast<int16_t>(v);
    hull->edgeCount = hull->edgeRoom = static_cast<int16_t>(e);
    hull->faceCount = hull->faceRoom = static_cast<int16_t>(f);
    return true;
}

// The hull of a Polyhedron, Polygon or RoundedPolyhedron and what follows from it.
int32_t PrepareHull(bzShape *shape)
{
    bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(shape);
    bzHull *hull = &poly->hull;
    const bool rounded = shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON;
    const int32_t result = bz_Hull_Build(hull, rounded ? poly->hullWork : nullptr, nullptr);
    bool ok = result == BZ_HULL_SOLID || result == BZ_HULL_FLAT;
    if (ok && (hull->vertexCount > BZ_SHAPE_MAX_VERTICES || hull->edgeCount > BZ_SHAPE_MAX_EDGES ||
               hull->faceCount > BZ_SHAPE_MAX_FACES))
    {
        REPORT("bz_Form_Create", "Hull of %d vertices, %d edges and %d faces: at most %d, %d, %d",
               hull->vertexCount, hull->edgeCount, hull->faceCount, BZ_SHAPE_MAX_VERTICES,
               BZ_SHAPE_MAX_EDGES, BZ_SHAPE_MAX_FACES);
        ok = false;
    }
    if (!ok)
    {
        hull->edgeCount = 0;
        hull->faceCount = 0;
        bzgLastError = BZ_ERROR_INVALID_CONVEX_HULL;
        return BZ_ERROR_INVALID_CONVEX_HULL;
    }
    if (!rounded)
        shape->kind = result == BZ_HULL_SOLID ? BZ_SHAPE_POLYHEDRON : BZ_SHAPE_POLYGON;
    PointsBox(hull->vertices, hull->vertexCount, &poly->bounds);
    PolyhedronOrientedBox(shape, rounded ? poly->roundingRadius : 0.0f);
    if (rounded)
        PointsBoxGrown(hull->vertices, hull->vertexCount, poly->roundingRadius, &poly->bounds);
    return 0;
}

void BoxCorners(const bzBox *box, bzHull *hull)
{
    for (int32_t i = 0; i < 8 && i < hull->vertexCount; i++)
        bz_Box_Corner(box, i, &hull->vertices[i]);
}

bool CopyArray(void *dest, const void *src, size_t bytes)
{
    if (bytes == 0)
        return true;
    if (!dest || !src)
        return false;
    std::memcpy(dest, src, bytes);
    return true;
}
} // namespace

uint32_t ShapeSizeOfKind(bzShapeKind kind)
{
    switch (kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_WIRE_FRAME: return sizeof(bzPolyShape);
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON: return sizeof(bzPolyhedronShape);
    case BZ_SHAPE_SPHERE: return sizeof(bzSphereShape);
    case BZ_SHAPE_TIC_TAC: return sizeof(bzTicTacShape);
    case BZ_SHAPE_CUBOID: return sizeof(bzCuboidShape);
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE: return sizeof(bzHalfSpaceShape);
    case BZ_SHAPE_CRUSHABLE_CUBOID: return sizeof(bzCrushableCuboidShape);
    default: REPORT("bz_Form_Create", "Unknown shape"); return 0;
    }
}

bzShape *bz_Form_Create(void *owner, bzShapeKind kind, const uint32_t *params)
{
    const uint32_t size = ShapeSizeOfKind(kind);
    if (size == 0)
        return nullptr;
    auto *shape = static_cast<bzShape *>(AllocChild(owner, size));
    if (!shape)
        return nullptr;
    shape->kind = kind;
    bool ok = true;
    if (IsBoxKind(kind))
    {
        bzHull *hull = bz_Shape_Hull(shape);
        hull->vertices = static_cast<bzV3 *>(AllocChild(shape, 8 * sizeof(bzV3)));
        // The shared table is only ever read: box kinds never build a hull.
        hull->edges = const_cast<bzHullEdge *>(bzgCuboidEdges);
        hull->vertexCount = hull->vertexRoom = 8;
        hull->edgeCount = hull->edgeRoom = BZ_CUBOID_EDGE_COUNT;
        ok = hull->vertices != nullptr;
    }
    else if (IsHullKind(kind))
    {
        const int32_t v = params ? static_cast<int32_t>(params[0] & 0xFFFF) : 0;
        const int32_t e = params ? static_cast<int32_t>(params[1] & 0xFFFF) : 0;
        const int32_t f = params ? static_cast<int32_t>(params[2] & 0xFFFF) : 0;
        ok = MakeHullArrays(shape, v, e, f);
    }
    if (!ok)
    {
        bz_MemFree(shape);
        return nullptr;
    }
    return shape;
}

bzShape *bz_Shape_Create(void *owner, bzShapeKind kind, uint32_t vertexCount, uint32_t edgeCount,
                         uint32_t faceCount)
{
    const uint32_t params[3] = {vertexCount, edgeCount, faceCount};
    return bz_Form_Create(owner, kind, params);
}

bzShape *bz_Shape_CreateAlignedHalfSpace(void *owner, uint32_t direction, float distance)
{
    if (direction >= BZ_DIRECTION_COUNT)
    {
        REPORT("bz_Form_Create", "Unknown half-space direction %u", direction);
        return nullptr;
    }
    bzShape *shape = bz_Form_Create(owner, BZ_SHAPE_ALIGNED_HALF_SPACE, nullptr);
    if (!shape)
        return nullptr;
    bzHalfSpaceShape *h = bz_Shape_AsHalfSpace(shape);
    h->direction = direction;
    h->distance = distance;
    return shape;
}

bzForm *bz_Form_Alloc(void *owner, bzShapeKind kind, uint32_t vertexCount, uint32_t edgeCount,
                      uint32_t faceCount)
{
    auto *form = static_cast<bzForm *>(AllocChild(owner, sizeof(bzForm)));
    if (!form)
        return nullptr;
    if (kind != BZ_SHAPE_NULL)
    {
        form->firstShape = bz_Shape_Create(form, kind, vertexCount, edgeCount, faceCount);
        if (!form->firstShape)
        {
            bz_MemFree(form);
            return nullptr;
        }
    }
    return form;
}

void bz_Form_Free(bzForm *form)
{
    bz_MemFree(form);
}

void bz_Shape_Free(bzShape *shape)
{
    bz_MemFree(shape);
}

int32_t bz_Shape_Prepare(bzShape *shape)
{
    BZ_ASSERT(shape);
    if (!shape)
        return 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    {
        auto *box = static_cast<bzPolyShape *>(shape);
        BoxCorners(&box->bounds, &box->hull);
        return 0;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON: return PrepareHull(shape);
    case BZ_SHAPE_WIRE_FRAME:
    {
        auto *wire = static_cast<bzPolyShape *>(shape);
        if (wire->hull.vertexCount > 0)
            PointsBox(wire->hull.vertices, wire->hull.vertexCount, &wire->bounds);
        return 0;
    }
    case BZ_SHAPE_SPHERE:
    {
        bzSphereShape *s = bz_Shape_AsSphere(shape);
        s->radiusSquared = s->radius * s->radius;
        PointsBoxGrown(&s->centre, 1, s->radius, &s->bounds);
        return 0;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        bzTicTacShape *t = bz_Shape_AsTicTac(shape);
        const bzV3 ends[2] = {t->segmentStart, t->segmentEnd};
        PointsBoxGrown(ends, 2, t->radius, &t->bounds);
        return 0;
    }
    case BZ_SHAPE_CUBOID:
    {
        bzCuboidShape *c = bz_Shape_AsCuboid(shape);
        const bzBox local = {c->localMin, c->localMax};
        bz_Box_TransformInto(&local, &c->placement, &c->bounds);
        for (int32_t i = 0; i < 8 && i < c->hull.vertexCount; i++)
        {
            bzV3 corner;
            bz_Box_Corner(&local, i, &corner);
            bz_M34_TransformPointInto(&c->placement, &c->hull.vertices[i], &corner);
        }
        return 0;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
        if (bz_Shape_AsHalfSpace(shape)->direction >= BZ_DIRECTION_COUNT)
        {
            REPORT("bz_Form_Create", "Unknown half-space direction %u",
                   bz_Shape_AsHalfSpace(shape)->direction);
            bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
            return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        }
        return 0;
    case BZ_SHAPE_HALF_SPACE:
    case BZ_SHAPE_CRUSHABLE_CUBOID: return 0;
    default: REPORT("bz_Form_Create", "Unknown shape"); return 0;
    }
}

uint32_t bz_Shape_WorkSize(const bzShape *shape)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID: return kBoxWork;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        const int32_t v = hull->vertexCount > 0 ? hull->vertexCount : 0;
        const int32_t f = hull->faceCount > 0 ? hull->faceCount : 0;
        return kWorkPerVertex * static_cast<uint32_t>(v) + kWorkPerFace * static_cast<uint32_t>(f);
    }
    case BZ_SHAPE_SPHERE: return kSphereWork;
    case BZ_SHAPE_TIC_TAC: return kTicTacWork;
    default: return 0;
    }
}

int32_t bz_Form_CalcBounds(bzForm *form, int32_t prepare)
{
    BZ_ASSERT(form);
    if (!form)
        return 0;
    form->flags = 0;
    if (!form->firstShape)
    {
        form->bounds = bzBox{};
        return 0;
    }
    form->bounds = {{{{kFloatMax, kFloatMax, kFloatMax}}},
                    {{{-kFloatMax, -kFloatMax, -kFloatMax}}}};
    uint32_t work = 0;
    for (bzShape *s = form->firstShape; s; s = s->next)
    {
        if (prepare)
            bz_Shape_Prepare(s);
        if (s->kind == BZ_SHAPE_HALF_SPACE || s->kind == BZ_SHAPE_ALIGNED_HALF_SPACE)
            form->flags |= BZ_FORM_UNBOUNDED;
        else if (const bzBox *b = bz_Shape_Bounds(s))
            bz_Box_UnionInto(&form->bounds, b, &form->bounds);
        if (s->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
            form->flags |= BZ_FORM_CRUSHABLE;
        const uint32_t need = bz_Shape_WorkSize(s);
        if (need > work)
            work = need;
    }
    form->workSize = static_cast<uint16_t>(work > 65535 ? 65535 : work);
    return 0;
}

int32_t bz_Form_RecalcBounds(bzForm *form)
{
    return bz_Form_CalcBounds(form, 0);
}

int32_t bz_Form_PrepareShapes(bzForm *form)
{
    return bz_Form_CalcBounds(form, 1);
}

float bz_TicTac_Volume(float radius, float length)
{
    const float r2 = radius * radius;
    return kFourThirdsPi * r2 * radius + kPi * r2 * length;
}

float bz_Shape_Volume(const bzShape *shape)
{
    BZ_ASSERT(shape);
    if (!shape)
        return 0.0f;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID: return BoxVolume(bz_Shape_Bounds(shape));
    case BZ_SHAPE_CUBOID:
    {
        const auto *c = static_cast<const bzCuboidShape *>(shape);
        const bzBox local = {c->localMin, c->localMax};
        return BoxVolume(&local);
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON: return PolyhedronVolume(shape);
    case BZ_SHAPE_POLYGON: return 0.0f;
    case BZ_SHAPE_SPHERE:
    {
        const float r = static_cast<const bzSphereShape *>(shape)->radius;
        return kFourThirdsPi * r * r * r;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        return bz_TicTac_Volume(t->radius, bz_V3_Distance(&t->segmentStart, &t->segmentEnd));
    }
    default: REPORT("Shape volume", "Unknown shape"); return 0.0f;
    }
}

float bz_Form_Volume(const bzForm *form)
{
    if (!form)
        return 0.0f;
    float sum = 0.0f;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        sum += bz_Shape_Volume(s);
    const float boundsVolume = BoxVolume(&form->bounds);
    return sum < boundsVolume ? sum : boundsVolume;
}

bzShape *bz_Shape_Clone(void *owner, const bzShape *shape)
{
    BZ_ASSERT(shape);
    if (!shape)
        return nullptr;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *src = bz_Shape_Hull(shape);
        // The copy gets the source's rooms, so that preparing it again has the same space.
        bzShape *copy =
            bz_Shape_Create(owner, shape->kind, static_cast<uint32_t>(src->vertexRoom),
                            static_cast<uint32_t>(src->edgeRoom > 0 ? src->edgeRoom : 0),
                            static_cast<uint32_t>(src->faceRoom > 0 ? src->faceRoom : 0));
        if (!copy)
            return nullptr;
        bzHull *dst = bz_Shape_Hull(copy);
        copy->userWord = shape->userWord;
        const bool sharedEdges = shape->kind == BZ_SHAPE_ALIGNED_CUBOID;
        const int32_t v = src->vertexCount > 0 ? src->vertexCount : 0;
        const int32_t e = src->edgeCount > 0 ? src->edgeCount : 0;
        const int32_t f = src->faceCount > 0 ? src->faceCount : 0;
        if (v > dst->vertexRoom || (!sharedEdges && e > dst->edgeRoom) || f > dst->faceRoom ||
            !CopyArray(dst->vertices, src->vertices, sizeof(bzV3) * static_cast<size_t>(v)) ||
            (!sharedEdges &&
             !CopyArray(dst->edges, src->edges, sizeof(bzHullEdge) * static_cast<size_t>(e))) ||
            !CopyArray(dst->planes, src->planes, sizeof(bzPlane) * static_cast<size_t>(f)))
        {
            bz_MemFree(copy);
            return nullptr;
        }
        dst->vertexCount = static_cast<int16_t>(v);
        dst->edgeCount = static_cast<int16_t>(e);
        dst->faceCount = static_cast<int16_t>(f);
        *bz_Shape_Bounds(copy) = *bz_Shape_Bounds(shape);
        if (shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
            bz_Shape_AsPolyhedron(copy)->roundingRadius =
                static_cast<const bzPolyhedronShape *>(shape)->roundingRadius;
        return copy;
    }
    case BZ_SHAPE_SPHERE:
    case BZ_SHAPE_TIC_TAC:
    {
        bzShape *copy = bz_Form_Create(owner, shape->kind, nullptr);
        if (!copy)
            return nullptr;
        std::memcpy((void *)copy, (const void *)shape, ShapeSizeOfKind(shape->kind));
        copy->next = nullptr; // the copy belongs to no chain yet
        return copy;
    }
    default: REPORT("Clone form", "Can't clone this form type yet"); return nullptr;
    }
}

bzForm *bz_Form_Clone(void *owner, const bzForm *form)
{
    if (!form)
        return nullptr;
    bzForm *copy = bz_Form_Alloc(owner, BZ_SHAPE_NULL);
    if (!copy)
        return nullptr;
    copy->flags = form->flags;
    copy->substance = form->substance;
    copy->workSize = form->workSize;
    copy->bounds = form->bounds;
    bzShape **link = &copy->firstShape;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        bzShape *c = bz_Shape_Clone(copy, s);
        if (!c)
        {
            bz_MemFree(copy);
            return nullptr;
        }
        *link = c;
        link = &c->next;
    }
    *link = nullptr;
    return copy;
}

void bz_Form_SetModelBuilders(const bzFormModelBuilders *builders)
{
    gModelBuilders = builders ? *builders : bzFormModelBuilders{};
}

void bz_Form_GetModelBuilders(bzFormModelBuilders *out)
{
    if (out)
        *out = gModelBuilders;
}

bzForm *bz_Form_CreateOfKind(void *owner, const bzModel *model, int32_t kind)
{
    switch (kind)
    {
    case 0:
        return gModelBuilders.alignedCuboid ? gModelBuilders.alignedCuboid(owner, model) : nullptr;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
        return gModelBuilders.polyhedra
                   ? gModelBuilders.polyhedra(owner, model, kPolyhedraPercent[kind - 1])
                   : nullptr;
    case 6: return gModelBuilders.sphere ? gModelBuilders.sphere(owner, model) : nullptr;
    case 7: return gModelBuilders.ticTac ? gModelBuilders.ticTac(owner, model) : nullptr;
    default: return nullptr;
    }
}

void bz_Form_TransformShapes(bzForm *form, const bzM34 *m, int32_t ortho)
{
    BZ_ASSERT(form);
    if (!form)
        return;
    for (bzShape *s = form->firstShape; s; s = s->next)
        bz_Shape_Transform(s, m, ortho);
    bz_Form_CalcBounds(form, 0);
}
