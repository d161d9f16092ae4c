#include "collision/FormQuery.h"

#include "collision/DynamicsLink.h"
#include "core/Debug.h"
#include "files/DebugOutput.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/Octree.h"
#include "scene/OctreeQuery.h"

#include <cmath>
#include <cstring>

const bzBox *bzgDynQueryBox = &bzgDynQueryAllBox;
bzBox bzgDynQueryAllBox = {{-3.4028235e38f, -3.4028235e38f, -3.4028235e38f},
                           {3.4028235e38f, 3.4028235e38f, 3.4028235e38f}};
bzV3 bzgDynQueryCentre = {0, 0, 0};
float bzgDynQueryRadius = 3.4028235e38f;
const bzM34 *bzgDynQueryMatrix = &bzgDynQueryInverse;
bzM34 bzgDynQueryInverse = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};
uint32_t bzgDynTwoSided = 0;
bzDynPoolCallback bzgDynPoolCallback = nullptr;
void *bzgDynPoolCallbackData = nullptr;

namespace
{
constexpr uint32_t kFaceFlagMask = 0xE0;
constexpr int32_t kClipRoom = 11;
bool gReportedFull = false;

// What the octree callbacks carry.
struct WalkContext
{
    bzLump *lump;
    bzDynFaceList *list;
    const bzM34 *matrix; // the lump's world matrix
    uint32_t lumpMask, lumpValue;
    uint32_t materialMask, materialValue;
    bzLump *toucher;
};

bool PassesLumpFilter(const bzLump *lump, uint32_t mask, uint32_t value)
{
    return (lump->queryFlags & mask) == value;
}

bzMaterial *FallbackOf(const bzLump *lump)
{
    return (lump->flags & BZ_LUMP_UNCOUNTED) ? nullptr : lump->material;
}

// x followed by y.
bzM34 Then(const bzM34 &x, const bzM34 &y)
{
    bzM34 out;
    bz_MulM34Into(&y, &out, &x);
    return out;
}

bool BoxOverlapsQuery(const bzBox &box, const bzM34 &toQuery)
{
    bzBox placed;
    bz_Box_TransformInto(&box, &toQuery, &placed);
    return bz_Box_Overlap(&placed, bzgDynQueryBox) != 0;
}

// The triangle, in the query frame, survives clipping by the query box.
bool TriangleSurvivesClip(const bzV3 &a, const bzV3 &b, const bzV3 &c)
{
    bzV3 points[kClipRoom] = {a, b, c};
    int32_t n = 3;
    for (int32_t axis = 0; axis < 3 && n >= 3; axis++)
    {
        n = ClipPolygonToMin(points, n, axis, bzgDynQueryBox->min.v[axis]);
        if (n >= 3)
            n = ClipPolygonToMax(points, n, axis, bzgDynQueryBox->max.v[axis]);
    }
    return n >= 3;
}

// On some axis all three corners lie strictly below the box or strictly above it (a corner on
// the bound counts as inside).
bool AllBelowOrAbove(const bzV3 *v, const bzBox &box)
{
    for (int32_t axis = 0; axis < 3; axis++)
    {
        const float lo = box.min.v[axis], hi = box.max.v[axis];
        const float a = v[0].v[axis], b = v[1].v[axis], c = v[2].v[axis];
        if ((a < lo && b < lo && c < lo) || (a > hi && b > hi && c > hi))
            return true;
    }
    return false;
}

// Adds one face (model-frame vertices) to the list: 0, or 140 when the list is full.
int32_t AddFaceHit(bzDynFaceList *list, int32_t face, bzLump *lump, const bzV3 *vertices,
                   const bzM34 *toWorld, uint32_t materialMask, uint32_t materialValue,
                   uint32_t faceFlags, bzMaterial *material)
{
    bzMaterialRayInfo info{};
    if (material)
    {
        bz_Scene_GetMaterialRayInfo(material, &info);
        if ((info.rayClass & materialMask) != materialValue ||
            (info.flags & BZ_RAY_MATERIAL_NEVER_HIT))
            return 0;
    }
    // A compact list only takes addresses of entries another list holds.
    BZ_ASSERT(!list->compact);
    if (list->compact)
        return 0;
    if (list->count >= list->capacity && MakeRoomInFaceList(list) != 0)
        return BZ_ERROR_FACE_LIST_FULL;
    bzDynFaceHit *hit = static_cast<bzDynFaceHit *>(list->entries) + list->count;
    for (int32_t k = 0; k < 3; k++)
    {
        if (toWorld)
            bz_M34_TransformPointInto(toWorld, &hit->vertices[k], &vertices[k]);
        else
            hit->vertices[k] = vertices[k];
    }
    bz_Plane_FromPoints(&hit->vertices[0], &hit->vertices[1], &hit->vertices[2], &hit->plane);
    if (lump->flags & BZ_LUMP_MIRRORED)
    {
        hit->plane.n = {-hit->plane.n.x, -hit->plane.n.y, -hit->plane.n.z};
        hit->plane.d = -hit->plane.d;
    }
    hit->lump = lump;
    hit->faceIndex = face;
    hit->material = material;
    hit->flags =
        (faceFlags & kFaceFlagMask) |
        ((material && (info.flags & BZ_RAY_MATERIAL_TWO_SIDED)) ? BZ_DYNFACE_TWO_SIDED : 0);
    list->count++;
    return 0;
}

// The three model-frame corners of a face of the mesh; false for bad indices.
bool FaceCorners(const bzModelMesh &mesh, uint32_t face, bzV3 *out)
{
    const bzModelFace &f = mesh.faces[face];
    for (int32_t k = 0; k < 3; k++)
    {
        if (f.v[k] >= mesh.vertexCount)
            return false;
        out[k] = mesh.positions[f.v[k]];
    }
    return true;
}

bzMaterial *FaceMaterial(const bzModelMesh &mesh, uint32_t face, bzMaterial *fallback)
{
    bzMaterial *material = bz_Scene_GetFaceMaterial(&mesh, face);
    return material ? material : fallback;
}

struct ModelFaceContext
{
    bzLump *lump;
    bzDynFaceList *list;
    const bzM34 *toWorld;
    uint32_t materialMask, materialValue;
    bzMaterial *fallback;
};

int32_t CollideModelFaces(bzLump *lump, bzDynFaceList *list, const bzM34 &toQuery,
                          const bzM34 &toWorld, uint32_t materialMask, uint32_t materialValue,
                          bzMaterial *fallback)
{
    const bzModel *model = bz_Lump_GetModel(lump);
    if (!model)
        return BZ_ERROR_NO_MODEL;
    bzM34 fromQuery;
    bz_M34_Invert(&toQuery, &fromQuery);
    bzBox q;
    bz_Box_TransformInto(bzgDynQueryBox, &fromQuery, &q);
    bzV3 centre;
    bz_M34_TransformPointInto(&fromQuery, &centre, &bzgDynQueryCentre);

    if (bzOctree *octree = bz_Scene_GetModelOctree(model))
    {
        ModelFaceContext context = {lump, list, &toWorld, materialMask, materialValue, fallback};
        return static_cast<int32_t>(bzOctree_Query(bz_DynModelFaceHit, octree, &q, nullptr, nullptr,
                                                   &q, nullptr, &context, 0, 0));
    }
    bzModelMesh mesh{};
    if (!bz_Scene_GetModelMesh(model, &mesh))
        return 0;
    for (uint32_t f = 0; f < mesh.faceCount; f++)
    {
        bzV3 v[3];
        if (!FaceCorners(mesh, f, v))
            continue;
        bzPlane plane;
        bz_Plane_FromPoints(&v[0], &v[1], &v[2], &plane);
        const bzV3 d = {v[0].x - centre.x, v[0].y - centre.y, v[0].z - centre.z};
        if (std::fabs(d.x * plane.n.x + d.y * plane.n.y + d.z * plane.n.z) > bzgDynQueryRadius)
            continue;
        if (AllBelowOrAbove(v, q))
            continue;
        bzV3 w[3];
        for (int32_t k = 0; k < 3; k++)
            bz_M34_TransformPointInto(&toQuery, &w[k], &v[k]);
        if (!TriangleSurvivesClip(w[0], w[1], w[2]))
            continue;
        if (const int32_t r =
                AddFaceHit(list, static_cast<int32_t>(f), lump, v, &toWorld, materialMask,
                           materialValue, mesh.faces[f].flags, FaceMaterial(mesh, f, fallback)))
            return r;
    }
    return 0;
}

// Reports a pooled lump in report mode: 0 to go on, 141 to stop.
int32_t ReportPooled(bzLump *lump)
{
    if (bzgDynPoolCallback && bzgDynPoolCallback(lump, bzgDynPoolCallbackData) == 0)
        return 0;
    return BZ_ERROR_POOLED_OBJECT_FOUND;
}

intptr_t CollideOctreeObject(bzOctreeObject *object, void *user)
{
    const auto *ctx = static_cast<const WalkContext *>(user);
    bzLump *lump = object->lump;
    if (!lump)
        return 0;
    if (ctx->toucher == BZ_DYN_TOUCHER_REPORT)
        return ReportPooled(lump);
    if (bz_DynObject_Activate(lump, ctx->toucher) != 0)
        return 0;
    const bzM34 world = object->matrix ? Then(*object->matrix, *ctx->matrix) : *ctx->matrix;
    return bz_DynForm_CollideLumpTree(lump, ctx->list, &world, ctx->lumpMask, ctx->lumpValue,
                                      ctx->materialMask, ctx->materialValue, ctx->toucher);
}

// Step 3 of a lump: a dormant pooled lump. 0 or 141 when handled (*done set), else go on.
int32_t CollidePooled(bzLump *lump, const bzM34 &matrix, uint32_t lumpMask, uint32_t lumpValue,
                      bzLump *toucher, bool *done)
{
    *done = true;
    if (lump->dynamicsObject)
        return 0;
    bool touched = false;
    if (lump->octree && !(lump->flags & BZ_LUMP_OCTREE) &&
        lump->octree->kind == BZ_OCTREE_KIND_OBJECT && lump->octree->box)
    {
        const bzM34 toQuery = lump->octree->matrix ? Then(*lump->octree->matrix, bzgDynQueryInverse)
                                                   : bzgDynQueryInverse;
        touched = BoxOverlapsQuery(*lump->octree->box, toQuery);
    }
    if (!touched)
    {
        const bzBox *slotBox = bz_Collision_GetSlotBox(lump);
        if (!slotBox)
        {
            *done = false;
            return 0;
        }
        if (!BoxOverlapsQuery(*slotBox, Then(matrix, bzgDynQueryInverse)))
            return 0;
    }
    if (toucher != BZ_DYN_TOUCHER_REPORT)
    {
        bz_DynObject_Activate(lump, toucher);
        return 0;
    }
    if (!PassesLumpFilter(lump, lumpMask, lumpValue))
        return 0;
    return ReportPooled(lump);
}

bool FaceTouchesQuery(const bzDynFaceHit &entry, const bzBox &worldBox)
{
    const bzV3 d = {entry.vertices[0].x - bzgDynQueryCentre.x,
                    entry.vertices[0].y - bzgDynQueryCentre.y,
                    entry.vertices[0].z - bzgDynQueryCentre.z};
    if (std::fabs(d.x * entry.plane.n.x + d.y * entry.plane.n.y + d.z * entry.plane.n.z) >
        bzgDynQueryRadius)
        return false;
    if (AllBelowOrAbove(entry.vertices, worldBox))
        return false;
    bzV3 w[3];
    for (int32_t k = 0; k < 3; k++)
        bz_M34_TransformPointInto(&bzgDynQueryInverse, &w[k], &entry.vertices[k]);
    return TriangleSurvivesClip(w[0], w[1], w[2]);
}

bool CacheStillCovers(const bzDynCollisionCache *cache, const bzBox &box, const bzM34 &world)
{
    if (!bz_DynCollisionCache_IsValid(cache))
        return false;
    bzBox placed;
    const bzM34 toGather = Then(world, cache->gatherInverse);
    bz_Box_TransformInto(&box, &toGather, &placed);
    for (int32_t axis = 0; axis < 3; axis++)
        if (!(placed.min.v[axis] > cache->gatherBox.min.v[axis]) ||
            !(placed.max.v[axis] < cache->gatherBox.max.v[axis]))
            return false;
    return true;
}

void RefreshCollisionCache(bzDynCollisionCache *cache, bzLump *toucher)
{
    cache->valid = 1;
    if (cache->root)
    {
        const bzErrorCode status = bz_DynForm_IntersectLumpTree(
            &cache->gatherBox, &cache->gatherMatrix, toucher, cache->root, cache->gatherList,
            cache->lumpMask, cache->lumpValue, cache->materialMask, cache->materialValue);
        if (status == BZ_ERROR_FACE_LIST_FULL)
        {
            // Some faces were left out: gather again at the next refresh.
            cache->valid = 0;
            if (!gReportedFull)
            {
                gReportedFull = true;
                bz_DebugPrint("dynamics: Face list full");
            }
        }
    }
    else if (cache->gatherList)
        cache->gatherList->count = 0;
    if (cache->narrowList && cache->gatherList)
        bz_DynForm_FaceListHit(&cache->narrowBox, &cache->narrowMatrix, cache->narrowList,
                               cache->gatherList);
}

void CollectModelVertices(bzLump *lump, bzDynVertexList *list, const bzM34 &toQuery,
                          const bzM34 &toWorld)
{
    const bzModel *model = bz_Lump_GetModel(lump);
    bzModelMesh mesh{};
    if (!model || !bz_Scene_GetModelMesh(model, &mesh) || !mesh.positions)
        return;
    bzM34 fromQuery;
    bz_M34_Invert(&toQuery, &fromQuery);
    bzBox q;
    bz_Box_TransformInto(bzgDynQueryBox, &fromQuery, &q);
    for (uint32_t i = 0; i < mesh.vertexCount; i++)
    {
        const bzV3 &p = mesh.positions[i];
        if (!bz_Box_PointInside(&p, &q))
            continue;
        bzV3 inQuery;
        bz_M34_TransformPointInto(&toQuery, &inQuery, &p);
        if (!bz_Box_PointInside(&inQuery, bzgDynQueryBox))
            continue;
        if (list->count >= list->capacity && GrowVertexList(list) != 0)
            return;
        bzDynVertexHit &hit = list->entries[list->count++];
        hit.lump = lump;
        hit.vertexIndex = static_cast<int32_t>(i);
        bz_M34_TransformPointInto(&toWorld, &hit.position, &p);
    }
}

void CollectLumpVertices(bzLump *lump, bzDynVertexList *list, const bzM34 &matrix,
                         uint32_t lumpMask, uint32_t lumpValue)
{
    if (!PassesLumpFilter(lump, lumpMask, lumpValue))
        return;
    if (lump->type == BZ_LUMP_TYPE_MODEL)
        if (const bzModel *model = bz_Lump_GetModel(lump))
        {
            bzBox box;
            bzV3 centre;
            float radius;
            const bzM34 toQuery = Then(matrix, bzgDynQueryInverse);
            if (bz_Scene_GetModelBounds(model, &box, &centre, &radius) &&
                BoxOverlapsQuery(box, toQuery))
                CollectModelVertices(lump, list, toQuery, matrix);
        }
    for (bzLump *child = lump->firstChild; child; child = child->next)
    {
        const bzM34 world =
            (child->flags & BZ_LUMP_WORLD) ? child->matrix : Then(child->matrix, matrix);
        CollectLumpVertices(child, list, world, lumpMask, lumpValue);
    }
}
} // namespace

int32_t ClipPolygonToMin(bzV3 *points, int32_t count, int32_t axis, float value)
{
    bzV3 out[kClipRoom];
    int32_t n = 0;
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &cur = points[i];
        const bzV3 &prev = points[(i + count - 1) % count];
        const bool curBeyond = cur.v[axis] < value;
        const bool prevBeyond = prev.v[axis] < value;
        if (curBeyond != prevBeyond && n < kClipRoom)
        {
            const float t = (value - prev.v[axis]) / (cur.v[axis] - prev.v[axis]);
            bzV3 &x = out[n++];
            for (int32_t k = 0; k < 3; k++)
                x.v[k] = prev.v[k] + (cur.v[k] - prev.v[k]) * t;
            x.v[axis] = value;
        }
        if (!curBeyond && n < kClipRoom)
            out[n++] = cur;
    }
    std::memcpy(points, out, static_cast<size_t>(n) * sizeof(bzV3));
    return n;
}

int32_t ClipPolygonToMax(bzV3 *points, int32_t count, int32_t axis, float value)
{
    // Mirror the axis and clip against the minimum.
    for (int32_t i = 0; i < count; i++)
        points[i].v[axis] = -points[i].v[axis];
    const int32_t n = ClipPolygonToMin(points, count, axis, -value);
    for (int32_t i = 0; i < n; i++)
        points[i].v[axis] = -points[i].v[axis];
    return n;
}

void bz_DynForm_SetQueryBounds(const bzBox *box, const bzM34 *matrix)
{
    if (!box)
    {
        bzgDynQueryAllBox = {{-3.4028235e38f, -3.4028235e38f, -3.4028235e38f},
                             {3.4028235e38f, 3.4028235e38f, 3.4028235e38f}};
        bzgDynQueryBox = &bzgDynQueryAllBox;
        bzgDynQueryCentre = {0, 0, 0};
        bzgDynQueryRadius = 3.4028235e38f;
    }
    else
    {
        bzgDynQueryBox = box;
        bzgDynQueryCentre = {(box->min.x + box->max.x) * 0.5f, (box->min.y + box->max.y) * 0.5f,
                             (box->min.z + box->max.z) * 0.5f};
        const bzV3 d = {box->max.x - box->min.x, box->max.y - box->min.y, box->max.z - box->min.z};
        bzgDynQueryRadius = 0.5f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    }
    if (matrix)
    {
        bzgDynQueryMatrix = matrix;
        bz_M34_Invert(matrix, &bzgDynQueryInverse);
    }
    else
    {
        bz_M34_SetIdentity(&bzgDynQueryInverse);
        bzgDynQueryMatrix = &bzgDynQueryInverse;
    }
}

intptr_t bz_DynModelFaceHit(bzOctreeEntry *entry, uint32_t face, void *context)
{
    const auto *ctx = static_cast<const ModelFaceContext *>(context);
    bzModelMesh mesh{};
    bzV3 v[3];
    if (!bz_Scene_GetModelMesh(entry->model, &mesh) || face >= mesh.faceCount ||
        !FaceCorners(mesh, face, v))
        return 0;
    return AddFaceHit(ctx->list, static_cast<int32_t>(face), ctx->lump, v, ctx->toWorld,
                      ctx->materialMask, ctx->materialValue, mesh.faces[face].flags,
                      FaceMaterial(mesh, face, ctx->fallback));
}

intptr_t OctreeFaceHit(bzOctreeEntry *entry, uint32_t face, void *context)
{
    const auto *ctx = static_cast<const WalkContext *>(context);
    bzModelMesh mesh{};
    bzV3 v[3];
    if (!ctx->list || !bz_Scene_GetModelMesh(entry->model, &mesh) || face >= mesh.faceCount ||
        !FaceCorners(mesh, face, v))
        return 0;
    const bzM34 toWorld = entry->matrix ? Then(*entry->matrix, *ctx->matrix) : *ctx->matrix;
    bzLump *lump = entry->lump ? entry->lump : ctx->lump;
    return AddFaceHit(ctx->list, static_cast<int32_t>(face), lump, v, &toWorld, ctx->materialMask,
                      ctx->materialValue, mesh.faces[face].flags,
                      FaceMaterial(mesh, face, FallbackOf(lump)));
}

bzErrorCode bz_DynForm_CollideLumpTree(bzLump *lump, bzDynFaceList *list, const bzM34 *matrix,
                                       uint32_t lumpMask, uint32_t lumpValue, uint32_t materialMask,
                                       uint32_t materialValue, bzLump *toucher)
{
    if (!lump)
        return 0;
    const bzM34 world = matrix ? *matrix : *bz_M34_Identity();

    if ((lump->flags & BZ_LUMP_OCTREE) && lump->octree)
    {
        const bzM34 toQuery = Then(world, bzgDynQueryInverse);
        WalkContext context = {lump,      list,         &world,        lumpMask,
                               lumpValue, materialMask, materialValue, toucher};
        return static_cast<bzErrorCode>(
            bzOctree_Query(list ? OctreeFaceHit : nullptr,
                           reinterpret_cast<bzOctree *>(lump->octree), bzgDynQueryBox, &toQuery,
                           nullptr, nullptr, CollideOctreeObject, &context, lumpMask, lumpValue));
    }

    if (toucher && lump->poolSlot != 0)
    {
        bool done = false;
        const int32_t r = CollidePooled(lump, world, lumpMask, lumpValue, toucher, &done);
        if (done)
            return r;
    }

    if (lump->type == BZ_LUMP_TYPE_MODEL && PassesLumpFilter(lump, lumpMask, lumpValue) && list)
        if (const bzModel *model = bz_Lump_GetModel(lump))
        {
            bzBox box;
            bzV3 centre;
            float radius;
            const bzM34 toQuery = Then(world, bzgDynQueryInverse);
            if (bz_Scene_GetModelBounds(model, &box, &centre, &radius) &&
                BoxOverlapsQuery(box, toQuery))
            {
                const int32_t r = CollideModelFaces(lump, list, toQuery, world, materialMask,
                                                    materialValue, FallbackOf(lump));
                if (r)
                    return r == BZ_ERROR_NO_MODEL ? BZ_ERROR_NO_MODEL : BZ_ERROR_FACE_LIST_FULL;
            }
        }

    for (bzLump *child = lump->firstChild; child; child = child->next)
    {
        const bzM34 childWorld =
            (child->flags & BZ_LUMP_WORLD) ? child->matrix : Then(child->matrix, world);
        const bzErrorCode r = bz_DynForm_CollideLumpTree(
            child, list, &childWorld, lumpMask, lumpValue, materialMask, materialValue, toucher);
        if (r)
            return r;
    }
    return 0;
}

bzErrorCode bz_DynForm_IntersectLumpTree(const bzBox *box, const bzM34 *matrix, bzLump *toucher,
                                         bzLump *root, bzDynFaceList *list, uint32_t lumpMask,
                                         uint32_t lumpValue, uint32_t materialMask,
                                         uint32_t materialValue)
{
    bz_DynForm_SetQueryBounds(box, matrix);
    if (list)
        bz_DynFaceList_OpenWindow(list);
    bzDynFaceList *walkList = list;
    if (toucher && toucher != BZ_DYN_TOUCHER_REPORT &&
        bz_Collision_HasCollisionFlag(toucher->dynamicsObject))
        walkList = nullptr;
    const bzErrorCode status = bz_DynForm_CollideLumpTree(
        root, walkList, nullptr, lumpMask, lumpValue, materialMask, materialValue, toucher);
    if (list)
        bz_DynFaceList_CloseWindow(list);
    return status;
}

int32_t bz_DynForm_Contacts(bzDynCollisionCache *cache, const bzM34 *worldMatrix,
                            const bzBox *bounds, const bzM34 *previousMatrix, const bzV3 *motion,
                            bzLump *toucher)
{
    if (!cache || !worldMatrix || !bounds)
        return 0;
    if (cache->narrowList)
    {
        cache->narrowBox = *bounds;
        cache->narrowMatrix = *worldMatrix;
    }
    bzBox w = *bounds;
    if (CacheStillCovers(cache, w, *worldMatrix))
    {
        if (cache->narrowList)
            bz_DynForm_FaceListHit(&cache->narrowBox, &cache->narrowMatrix, cache->narrowList,
                                   cache->gatherList);
        return 0;
    }
    cache->gatherMatrix = *worldMatrix;
    bz_InverseOrthoM34Into(worldMatrix, &cache->gatherInverse);
    if (motion)
    {
        bzV3 local;
        bz_M33_RotateV3Into(&cache->gatherInverse, &local, motion);
        for (int32_t axis = 0; axis < 3; axis++)
        {
            if (local.v[axis] < 0)
                w.min.v[axis] += local.v[axis];
            else
                w.max.v[axis] += local.v[axis];
        }
    }
    if (previousMatrix)
    {
        bzBox before;
        const bzM34 toGather = Then(*previousMatrix, cache->gatherInverse);
        bz_Box_TransformInto(bounds, &toGather, &before);
        bz_Box_UnionInto(&w, &before, &w);
    }
    for (int32_t axis = 0; axis < 3; axis++)
    {
        cache->gatherBox.min.v[axis] = w.min.v[axis] + cache->margins[axis];
        cache->gatherBox.max.v[axis] = w.max.v[axis] + cache->margins[3 + axis];
    }
    RefreshCollisionCache(cache, toucher);
    return 0;
}

int32_t bz_DynForm_FaceListHit(const bzBox *box, const bzM34 *matrix, bzDynFaceList *destination,
                               const bzDynFaceList *source)
{
    if (!destination || !source)
        return 0;
    destination->count = 0;
    bz_DynForm_SetQueryBounds(box, matrix);
    bzBox worldBox;
    bz_Box_TransformInto(bzgDynQueryBox, bzgDynQueryMatrix, &worldBox);
    bz_M34_TransformPoint(bzgDynQueryMatrix, &bzgDynQueryCentre);
    for (int32_t i = 0; i < source->count; i++)
    {
        bzDynFaceHit *entry = bz_DynFaceList_Entry(source, i);
        if (!FaceTouchesQuery(*entry, worldBox))
            continue;
        if (destination->count >= destination->capacity && MakeRoomInFaceList(destination) != 0)
            return 1;
        if (destination->compact)
            static_cast<bzDynFaceHit **>(destination->entries)[destination->count++] = entry;
        else
            static_cast<bzDynFaceHit *>(destination->entries)[destination->count++] = *entry;
    }
    return 0;
}

int32_t bz_DynFaceList_IntersectBox(const bzDynFaceList *list, const bzBox *box,
                                    const bzM34 *matrix)
{
    if (!list || !box)
        return 0;
    bz_DynForm_SetQueryBounds(box, matrix);
    bzBox worldBox;
    bz_Box_TransformInto(bzgDynQueryBox, bzgDynQueryMatrix, &worldBox);
    bz_M34_TransformPoint(bzgDynQueryMatrix, &bzgDynQueryCentre);
    for (int32_t i = 0; i < list->count; i++)
        if (FaceTouchesQuery(*bz_DynFaceList_Entry(list, i), worldBox))
            return 1;
    return 0;
}

int32_t bz_DynFaceList_IntersectAlignedBox(const bzDynFaceList *list, const bzBox *box)
{
    return bz_DynFaceList_IntersectBox(list, box, nullptr);
}

int32_t bz_DynCollisionCache_RefilterNarrow(const bzBox *box, const bzM34 *matrix,
                                            bzDynCollisionCache *cache)
{
    if (!cache)
        return 0;
    return bz_DynForm_FaceListHit(box, matrix, cache->narrowList, cache->gatherList);
}

int32_t bz_DynForm_CollectVertices(const bzBox *box, const bzM34 *matrix, bzLump *root,
                                   bzDynVertexList *list, uint32_t lumpMask, uint32_t lumpValue)
{
    if (!list)
        return 0;
    bz_DynForm_SetQueryBounds(box, matrix);
    list->count = 0;
    if (root)
        CollectLumpVertices(root, list, *bz_M34_Identity(), lumpMask, lumpValue);
    return list->count > 0 ? 1 : 0;
}
