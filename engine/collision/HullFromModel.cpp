// Convex hulls of models as collision shapes.
#include "collision/HullFromModel.h"

#include "collision/Form.h"
#include "collision/FormFit.h"
#include "collision/Hull.h"
#include "collision/ModelReading.h"
#include "collision/ShapeGeometry.h"
#include "core/Memory.h"
#include "maths/Matrix.h"

#include <cmath>

using namespace bzModelReading;

uint32_t bzgShapes_hullKind = BZ_SHAPE_POLYHEDRON;

namespace
{

struct HullFree
{
    void operator()(bzHull *hull) const { bz_MemFree(hull); }
};

bool OverLimits(const bzHull *hull)
{
    return hull->vertexCount > BZ_SHAPE_MAX_VERTICES || hull->faceCount > BZ_SHAPE_MAX_FACES ||
           hull->edgeCount > BZ_SHAPE_MAX_EDGES;
}

// The solid hull of the model's chosen points in a block of its own, or null. Without a part
// the raw vertex list serves when rawAllowed.
bzHull *BuildHull(bzModel *model, const bzM34 *placement, const uint8_t *mask, bool rawAllowed)
{
    if (!model)
        return nullptr;
    bzHull *hull = nullptr;
    int32_t n = 0;
    if (model->part)
    {
        PartReading reading(model);
        if (!reading.ok())
            return nullptr;
        const int32_t count = bz_GetModelVertexCount(model);
        for (int32_t i = 0; i < count; i++)
            n += Selected(mask, i) ? 1 : 0;
        if (n < 4 || !(hull = bz_Hull_Alloc(n)))
            return nullptr;
        int32_t k = 0;
        for (int32_t i = 0; i < count; i++)
            if (Selected(mask, i))
                hull->vertices[k++] = Position(model, i);
    }
    else
    {
        const bzModelVertexData *data = model->vertexData;
        if (!rawAllowed || !data || !data->vertices)
            return nullptr;
        n = data->vertexCount;
        if (n < 4 || !(hull = bz_Hull_Alloc(n)))
            return nullptr;
        for (int32_t i = 0; i < n; i++)
            hull->vertices[i] = {{{data->vertices[i].x, data->vertices[i].y, data->vertices[i].z}}};
    }
    if (placement)
        for (int32_t i = 0; i < n; i++)
            bz_M34_TransformPoint(placement, &hull->vertices[i]);
    hull->vertexCount = static_cast<int16_t>(n);
    if (bz_Hull_Build(hull, nullptr, nullptr) != BZ_HULL_SOLID)
    {
        bz_MemFree(hull);
        return nullptr;
    }
    return hull;
}

// Thins while the hull holds more than it may: the wanted count (-1 none) of vertices, faces or
// edges, or more than the pair tests take.
void Thin(bzHull *hull, int32_t maxVertices, int32_t maxFaces, int32_t maxEdges)
{
    while (hull->vertexCount > 0 &&
           ((maxVertices >= 0 && hull->vertexCount > maxVertices) ||
            (maxFaces >= 0 && hull->faceCount > maxFaces) ||
            (maxEdges >= 0 && hull->edgeCount > maxEdges) || OverLimits(hull)))
        if (!RemoveLeastVolumeVertex(hull))
            break;
}

// A shape of the kind carrying the hull; a WireFrame keeps no planes.
bzShape *ShapeOfHull(void *owner, uint32_t kind, const bzHull *hull)
{
    if (hull->vertexCount < 4 || OverLimits(hull))
        return nullptr;
    const bool wire = kind == BZ_SHAPE_WIRE_FRAME;
    bzShape *shape = bz_Shape_Create(owner, kind, static_cast<uint32_t>(hull->vertexCount),
                                     wire ? static_cast<uint32_t>(hull->edgeCount) : 0u, 0u);
    if (!shape)
        return nullptr;
    bzHull *into = bz_Shape_Hull(shape);
    for (int32_t i = 0; i < hull->vertexCount; i++)
        into->vertices[i] = hull->vertices[i];
    for (int32_t e = 0; e < hull->edgeCount; e++)
        into->edges[e] = hull->edges[e];
    into->edgeCount = hull->edgeCount;
    if (wire)
    {
        bz_MemFree(into->planes);
        into->planes = nullptr;
        into->faceCount = into->faceRoom = 0;
    }
    else
    {
        for (int32_t f = 0; f < hull->faceCount; f++)
            into->planes[f] = hull->planes[f];
        into->faceCount = hull->faceCount;
    }
    return shape;
}

int32_t PercentageTarget(int32_t vertices, float percentage)
{
    const int32_t cut = static_cast<int32_t>(percentage - 100.0f);
    return vertices + cut * (vertices - 4) / 100;
}

// The builders take the model as the form table gives it; they only mark the part while they
// read it.
bzForm *AlignedCuboidBuilder(void *owner, const bzModel *model)
{
    return bz_Form_CreateAlignedCuboidFromModel(owner, const_cast<bzModel *>(model));
}
bzForm *PolyhedraBuilder(void *owner, const bzModel *model, float percentage)
{
    return bz_Form_CreatePolyhedraFromModel(owner, const_cast<bzModel *>(model), percentage);
}
bzForm *SphereBuilder(void *owner, const bzModel *model)
{
    return bz_Form_CreateSphereFromModel(owner, const_cast<bzModel *>(model));
}
bzForm *TicTacBuilder(void *owner, const bzModel *model)
{
    return bz_Form_CreateTicTacFromModel(owner, const_cast<bzModel *>(model));
}

// The model lumps of a tree with their matrices relative to the root, the last found first.
struct LumpList
{
    bzLump *head = nullptr;
};
intptr_t CollectModelLump(bzLump *lump, const bzM34 *matrix, void *user)
{
    if (bz_Lump_HasModel(lump))
    {
        auto *list = static_cast<LumpList *>(user);
        lump->worldMatrix = *matrix;
        lump->renderLink = list->head;
        list->head = lump;
    }
    return 0;
}
} // namespace

bzShape *bz_Shape_CreateHullFromModel(void *owner, bzModel *model, const bzM34 *placement,
                                      float percentage, const uint8_t *mask)
{
    if (!model)
        return nullptr;
    if (percentage == 0.0f)
        return bz_Shape_CreateBoxFromModel(owner, model, mask);
    bzHull *hull = BuildHull(model, placement, mask, true);
    if (!hull)
        return nullptr;
    Thin(hull, PercentageTarget(hull->vertexCount, percentage), -1, -1);
    bzShape *shape = ShapeOfHull(owner, bzgShapes_hullKind, hull);
    bz_MemFree(hull);
    return shape;
}

bzShape *bz_Shape_CreateBoxFromModel(void *owner, bzModel *model, const uint8_t *mask)
{
    if (!model)
        return nullptr;
    bzBox box = {model->boxMin, model->boxMax};
    if (mask && model->part)
    {
        PartReading reading(model);
        box = SelectedBox(model, mask);
    }
    bzShape *shape = bz_Shape_Create(owner, BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    if (shape)
        *bz_Shape_Bounds(shape) = box;
    return shape;
}

bzShape *bz_Shape_CreateHullWithMaxFaces(void *owner, bzModel *model, int32_t maxFaces,
                                         const uint8_t *mask)
{
    bzHull *hull = BuildHull(model, nullptr, mask, true);
    if (!hull)
        return nullptr;
    Thin(hull, -1, maxFaces < 0 ? 0 : maxFaces, -1);
    bzShape *shape = ShapeOfHull(owner, BZ_SHAPE_POLYHEDRON, hull);
    bz_MemFree(hull);
    return shape;
}

bzShape *bz_Shape_CreateWireFrameWithMaxEdges(void *owner, bzModel *model, int32_t maxEdges)
{
    bzHull *hull = BuildHull(model, nullptr, nullptr, false);
    if (!hull)
        return nullptr;
    Thin(hull, -1, -1, maxEdges < 0 ? 0 : maxEdges);
    bzShape *shape = ShapeOfHull(owner, BZ_SHAPE_WIRE_FRAME, hull);
    bz_MemFree(hull);
    return shape;
}

bzShape *bz_Shape_CreateWireFrameFromModel(void *owner, bzModel *model, float percentage)
{
    if (!model || percentage == 0.0f)
        return nullptr; // a box is no wire frame
    bzHull *hull = BuildHull(model, nullptr, nullptr, true);
    if (!hull)
        return nullptr;
    Thin(hull, PercentageTarget(hull->vertexCount, percentage), -1, -1);
    bzShape *shape = ShapeOfHull(owner, BZ_SHAPE_WIRE_FRAME, hull);
    bz_MemFree(hull);
    return shape;
}

bzForm *bz_Form_CreatePolyhedraFromModel(void *owner, bzModel *model, float percentage)
{
    return FormOfOneShape(
        owner, [&](bzForm *form)
        { return bz_Shape_CreateHullFromModel(form, model, nullptr, percentage, nullptr); });
}

bzForm *bz_Form_CreateWireFrameFromModel(void *owner, bzModel *model, float percentage)
{
    return FormOfOneShape(owner, [&](bzForm *form)
                          { return bz_Shape_CreateWireFrameFromModel(form, model, percentage); });
}

bzForm *bz_Form_CreatePolyhedronWithMaxFaces(void *owner, bzModel *model, int32_t maxFaces)
{
    return FormOfOneShape(
        owner, [&](bzForm *form)
        { return bz_Shape_CreateHullWithMaxFaces(form, model, maxFaces, nullptr); });
}

bzForm *bz_Form_CreateWireFrameWithMaxEdges(void *owner, bzModel *model, int32_t maxEdges)
{
    return FormOfOneShape(owner, [&](bzForm *form)
                          { return bz_Shape_CreateWireFrameWithMaxEdges(form, model, maxEdges); });
}

bzForm *bz_Form_CreateRoundedPolyhedronFromModel(void *owner, bzModel *model, float radius)
{
    // The whole hull: the rounding radius is no thinning percentage.
    bzgShapes_hullKind = BZ_SHAPE_ROUNDED_POLYHEDRON;
    bzForm *form = FormOfOneShape(
        owner, [&](bzForm *f)
        { return bz_Shape_CreateHullFromModel(f, model, nullptr, 100.0f, nullptr); });
    bzgShapes_hullKind = BZ_SHAPE_POLYHEDRON;
    if (form)
        bz_Shape_AsPolyhedron(form->firstShape)->roundingRadius = radius;
    return form;
}

bzForm *bz_Form_CreatePolyhedraFromLumpTree(bzLump *root)
{
    if (!root)
        return nullptr;
    LumpList list;
    bz_Lump_WalkWithMatrix(root, CollectModelLump, bz_M34_Identity(), &list);
    bzForm *form = bz_Form_Alloc(nullptr, BZ_SHAPE_NULL);
    if (!form)
        return nullptr;
    for (bzLump *lump = list.head; lump; lump = lump->renderLink)
        if (bzShape *shape = bz_Shape_CreateHullFromModel(form, bz_Lump_GetModel(lump),
                                                          &lump->worldMatrix, 100.0f, nullptr))
            FormAppendShape(form, shape);
    bz_Form_CalcBounds(form, 1);
    return form;
}

void bz_Form_InstallModelBuilders()
{
    const bzFormModelBuilders builders = {AlignedCuboidBuilder, PolyhedraBuilder, SphereBuilder,
                                          TicTacBuilder};
    bz_Form_SetModelBuilders(&builders);
}
