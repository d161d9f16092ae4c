// The ray and segment queries against a lump tree.
#include "scene/LumpRay.h"

#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/Octree.h"
#include "scene/OctreeQuery.h"

#include <cfloat>
#include <cmath>

namespace
{
bzLumpFaceFilter gFaceFilter;
uint32_t gLastFace;
float gLastW1, gLastW2;

uint32_t FlagsOf(const bzRayOptions *options)
{
    return options ? options->flags : 0;
}

// The ray in a lump's model space: through the inverse of the accumulated matrix; false when
// that matrix has no inverse.
bool IntoModelSpace(const bzM34 *accumulated, const bzRay *ray, bzRay *out)
{
    if (!accumulated)
    {
        *out = *ray;
        return true;
    }
    const float det = bz_M33_DeterminantPlain(accumulated);
    if (!(det > BZ_EPSILON || det < -BZ_EPSILON))
        return false;
    bzM34 inverse;
    bz_InverseM34Into(accumulated, &inverse);
    bz_Ray_Transform(&inverse, ray, out);
    return true;
}

void SetMatrices(const bzM34 *toRootMatrix, bzM34 *toRoot, bzM34 *fromRoot)
{
    if (toRoot)
        *toRoot = *toRootMatrix;
    if (fromRoot)
    {
        const float det = bz_M33_DeterminantPlain(toRootMatrix);
        if (det > BZ_EPSILON || det < -BZ_EPSILON)
            bz_InverseM34Into(toRootMatrix, fromRoot);
        else
            bz_M34_SetIdentity(fromRoot);
    }
}

void TexCoordAt(const bzModel *model, uint32_t face, float w1, float w2, bzV2 *out)
{
    bzV2 uv[3];
    bz_Scene_GetFaceTexCoords(model, face, uv);
    out->x = uv[0].x + w1 * (uv[1].x - uv[0].x) + w2 * (uv[2].x - uv[0].x);
    out->y = uv[0].y + w1 * (uv[1].y - uv[0].y) + w2 * (uv[2].y - uv[0].y);
}
} // namespace

bzLumpFaceFilter bz_Lump_SetFaceFilter(bzLumpFaceFilter filter)
{
    const bzLumpFaceFilter previous = gFaceFilter;
    gFaceFilter = filter;
    return previous;
}

bzLumpFaceFilter bz_Lump_GetFaceFilter()
{
    return gFaceFilter;
}

void bz_Lump_GetLastHit(uint32_t *face, float *w1, float *w2)
{
    if (face)
        *face = gLastFace;
    if (w1)
        *w1 = gLastW1;
    if (w2)
        *w2 = gLastW2;
}

void bz_Lump_SetLastHit(uint32_t face, float w1, float w2)
{
    gLastFace = face;
    gLastW1 = w1;
    gLastW2 = w2;
}

namespace
{
// The face loop over a mesh (the model's own, or its posed positions).
int32_t MeshFaces(const bzModel *model, const bzModelMesh &mesh, const bzRayOptions *options,
                  float *bestT, const bzRay *ray, bzLump *lump)
{
    const uint32_t flags = FlagsOf(options);
    int32_t hit = 0;
    for (uint32_t f = 0; f < mesh.faceCount; f++)
    {
        const bzModelFace &face = mesh.faces[f];
        if (face.v[0] >= mesh.vertexCount || face.v[1] >= mesh.vertexCount ||
            face.v[2] >= mesh.vertexCount)
            continue;
        const bzV3 &p0 = mesh.positions[face.v[0]];
        const bzV3 &p1 = mesh.positions[face.v[1]];
        const bzV3 &p2 = mesh.positions[face.v[2]];
        bzPlane plane;
        bz_Plane_FromPoints(&p0, &p1, &p2, &plane);
        const float denom = bz_V3_Dot(&plane.n, &ray->delta);
        bzMaterial *material = bz_Scene_GetFaceMaterial(&mesh, f);
        bzMaterialRayInfo info;
        bz_Scene_GetMaterialRayInfo(material, &info);
        const bool twoSided = (flags & BZ_RAY_SIDES_OVERRIDE)
                                  ? (flags & BZ_RAY_TWO_SIDED) != 0
                                  : (info.sideFlags & BZ_RAY_MATERIAL_TWO_SIDED) != 0;
        if (twoSided ? !(std::fabs(denom) >= BZ_EPSILON) : !(denom < -BZ_EPSILON))
            continue;
        bzV3 toP0;
        bz_V3_SubInto(&p0, &ray->origin, &toP0);
        const float t = bz_V3_Dot(&plane.n, &toP0) / denom;
        if (!(t >= 0) || !(t < *bestT))
            continue;
        const float ax = std::fabs(plane.n.x), ay = std::fabs(plane.n.y), az = std::fabs(plane.n.z);
        int i, j;
        if (ax >= ay && ax >= az)
            i = 1, j = 2;
        else if (ay >= az)
            i = 0, j = 2;
        else
            i = 0, j = 1;
        bzV3 point;
        bz_V3_AddScaledInto(&ray->origin, &ray->delta, t, &point);
        const float qi = point.v[i] - p0.v[i], qj = point.v[j] - p0.v[j];
        const float e1i = p1.v[i] - p0.v[i], e1j = p1.v[j] - p0.v[j];
        const float e2i = p2.v[i] - p0.v[i], e2j = p2.v[j] - p0.v[j];
        const float det = e1i * e2j - e1j * e2i;
        if (det == 0)
            continue;
        const float w2 = (e1i * qj - e1j * qi) / det;
        if (!(w2 >= -0.0001f))
            continue;
        const bool useI = std::fabs(e1i) >= std::fabs(e1j);
        const float num = useI ? qi - w2 * e2i : qj - w2 * e2j;
        const float den = useI ? e1i : e1j;
        if (den == 0 || !(std::fabs(num) <= 1.0001f * std::fabs(den)))
            continue;
        const float w1 = num / den;
        if (!(w1 >= -0.0001f) || !(w1 + w2 <= 1.0001f))
            continue;
        if (info.flags & BZ_RAY_MATERIAL_NEVER_HIT)
            continue;
        if ((flags & BZ_RAY_MATERIAL_FILTER) &&
            (info.rayClass & options->materialMask) != options->materialValue)
            continue;
        if (gFaceFilter)
        {
            bzV2 uv;
            TexCoordAt(model, f, w1, w2, &uv);
            if (!gFaceFilter(lump ? lump->userWord : 0, f, t, &point, lump, &uv))
                continue;
        }
        *bestT = t;
        bz_Lump_SetLastHit(f, w1, w2);
        hit = 1;
        if (flags & BZ_RAY_FIRST_HIT)
            return 1;
    }
    return hit;
}
} // namespace

int32_t bz_Lump_RayModelFaces(const bzModel *model, const bzRayOptions *options, float *bestT,
                              const bzRay *ray, bzLump *lump)
{
    bzModelMesh mesh;
    if (!bestT || !ray || !bz_Scene_GetModelMesh(model, &mesh))
        return 0;
    return MeshFaces(model, mesh, options, bestT, ray, lump);
}

int32_t bz_Lump_RayModelFiltered(bzLump *lump, const bzRayOptions *options, float *bestT,
                                 const bzRay *ray)
{
    const bzModel *model = bz_Lump_GetModel(lump);
    bzModelMesh mesh;
    bzBox bounds;
    if (!bestT || !ray || !bz_Scene_GetModelMesh(model, &mesh) ||
        bz_Scene_CalcSkinnedBounds(lump, &bounds) < 0)
        return 0;
    bzV3 *posed = bz_Scene_ComputeSkinnedPositions(lump);
    if (!posed)
        return 0;
    mesh.positions = posed;
    const int32_t hit = MeshFaces(model, mesh, options, bestT, ray, lump);
    bz_Scene_ReleaseSkinnedPositions(lump, posed);
    return hit;
}

int32_t bz_Lump_RayModel(const bzModel *model, const bzRayOptions *options, float *bestT,
                         const bzRay *ray, bzLump *lump)
{
    if (!model || !ray || !bestT)
        return 0;
    // A model with an octree of its own is walked front to back through it.
    if (bzOctree *own = bz_Scene_GetModelOctree(model))
    {
        uint32_t face = 0;
        float uv[2] = {0, 0};
        if (!bzOctree_RayQuery(options, own, ray, 1, 0, bestT, nullptr, &face, uv))
            return 0;
        bz_Lump_SetLastHit(face, uv[0], uv[1]);
        return 1;
    }
    bzBox box;
    if (!bz_Scene_GetModelBounds(model, &box, nullptr, nullptr))
        return 0;
    float entry;
    if (bz_Ray_BoxIntersect(ray, &box, &entry, nullptr, nullptr) == BZ_BOX_FACE_NONE ||
        !(entry < *bestT))
        return 0;
    return bz_Lump_RayModelFaces(model, options, bestT, ray, lump);
}

int32_t bz_Lump_RayIntersectTree(bzLump *lump, const bzRay *ray, const bzRayOptions *options,
                                 float *bestT, const bzM34 *accumulated, bzM34 *toRoot,
                                 bzM34 *fromRoot, bzLump **hitLump)
{
    if (!lump || !ray || !bestT)
        return 0;
    if (!(lump->flags & BZ_LUMP_ACTIVE) || (lump->flags & BZ_LUMP_HIDDEN))
        return 0;
    const uint32_t flags = FlagsOf(options);
    if ((lump->flags & BZ_LUMP_OCTREE) && lump->octree &&
        (reinterpret_cast<bzOctree *>(lump->octree))->kind == BZ_OCTREE_KIND_TREE)
    {
        // The octree covers the whole subtree: the children are not visited.
        bzRay local;
        if (!IntoModelSpace(accumulated, ray, &local))
            return 0;
        float t = *bestT;
        bzLump *hl = nullptr;
        uint32_t face = 0;
        float uv[2] = {0, 0};
        if (!bzOctree_RayQuery(options, reinterpret_cast<bzOctree *>(lump->octree), &local,
                               (flags & BZ_RAY_NO_OCTREE_FACES) ? 0 : 1, 1, &t, &hl, &face, uv))
            return 0;
        *bestT = t;
        if (hitLump)
            *hitLump = hl;
        bz_Lump_SetLastHit(face, uv[0], uv[1]);
        if (toRoot || fromRoot)
        {
            bzM34 m;
            bz_Lump_GetRelativeMatrix(&m, hl, lump);
            if (accumulated)
                bz_M34_PostMul(&m, accumulated);
            SetMatrices(&m, toRoot, fromRoot);
        }
        return 1;
    }
    int32_t hit = 0;
    const bzModel *model = bz_Lump_GetModel(lump);
    if (model && (!(flags & BZ_RAY_LUMP_FILTER) ||
                  (lump->queryFlags & options->lumpMask) == options->lumpValue))
    {
        bzRay local;
        if (IntoModelSpace(accumulated, ray, &local))
        {
            int32_t modelHit = 0;
            if ((flags & BZ_RAY_BOX_ONLY) &&
                (lump->queryFlags & options->boxMask) == options->boxValue)
            {
                bzBox box;
                float t;
                if (bz_Scene_GetModelBounds(model, &box, nullptr, nullptr) &&
                    bz_Ray_BoxIntersect(&local, &box, &t, nullptr, nullptr) != BZ_BOX_FACE_NONE &&
                    t < *bestT)
                {
                    *bestT = t;
                    bz_Lump_SetLastHit(0, 0, 0);
                    modelHit = 1;
                }
            }
            else if (lump->type == BZ_LUMP_TYPE_SKINNED_MODEL && bz_Scene_IsPosed(lump))
                modelHit = bz_Lump_RayModelFiltered(lump, options, bestT, &local);
            else
                modelHit = bz_Lump_RayModel(model, options, bestT, &local, lump);
            if (modelHit)
            {
                hit = 1;
                if (hitLump)
                    *hitLump = lump;
                SetMatrices(accumulated ? accumulated : bz_M34_Identity(), toRoot, fromRoot);
                if (flags & BZ_RAY_FIRST_HIT)
                    return 1;
            }
        }
    }
    for (bzLump *child = lump->firstChild; child; child = child->next)
    {
        bzM34 m;
        if (child->flags & BZ_LUMP_WORLD)
            bz_Lump_GetRelativeMatrix(&m, child, lump);
        else
            m = *bz_Lump_GetMatrix(child);
        if (accumulated)
            bz_M34_PostMul(&m, accumulated);
        if (bz_Lump_RayIntersectTree(child, ray, options, bestT, &m, toRoot, fromRoot, hitLump))
        {
            hit = 1;
            if (flags & BZ_RAY_FIRST_HIT)
                return 1;
        }
    }
    return hit;
}

int32_t bz_Lump_RayIntersect(bzLump *root, const bzRay *ray, const bzRayOptions *options, float *t,
                             bzLump **lump, uint32_t *face, bzV3 *point, bzM34 *toRoot,
                             bzM34 *fromRoot, bzV2 *texCoord)
{
    const float limit = ray && ray->flag ? FLT_MAX : BZ_SEGMENT_LIMIT;
    float best = limit;
    bzLump *hitLump = nullptr;
    if (t)
        *t = limit;
    if (lump)
        *lump = nullptr;
    if (face)
        *face = 0;
    if (point)
        *point = bzV3{};
    if (!root || !ray)
        return 0;
    if (!bz_Lump_RayIntersectTree(root, ray, options, &best, nullptr, toRoot, fromRoot, &hitLump) ||
        !hitLump)
        return 0;
    if (t)
        *t = best;
    if (lump)
        *lump = hitLump;
    if (face)
        *face = gLastFace;
    if (point)
        bz_V3_AddScaledInto(&ray->origin, &ray->delta, best, point);
    if (texCoord)
        TexCoordAt(bz_Lump_GetModel(hitLump), gLastFace, gLastW1, gLastW2, texCoord);
    return 1;
}

int32_t bz_Lump_RayHitsAnything(bzLump **lump, float *t, const bzRay *ray, bzLump *root,
                                const bzRayOptions *options)
{
    float best;
    bz_Lump_RayIntersect(root, ray, options, &best, lump, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    if (t)
        *t = best;
    const float limit = ray && ray->flag ? FLT_MAX : BZ_SEGMENT_LIMIT;
    return best < limit ? 1 : 0;
}

int32_t bz_Lump_RayIntersectFirst(float *t, bzLumpRayHit *hit, const bzRay *ray, bzLump *root,
                                  const bzRayOptions *options)
{
    bzM34 toRoot;
    bzLump *lump = nullptr;
    uint32_t face = 0;
    if (hit)
        *hit = bzLumpRayHit{};
    if (!bz_Lump_RayIntersect(root, ray, options, t, &lump, &face, nullptr, &toRoot, nullptr,
                              nullptr))
        return 0;
    if (hit)
    {
        hit->lump = lump;
        hit->face = face;
        bzModelMesh mesh;
        if (bz_Scene_GetModelMesh(bz_Lump_GetModel(lump), &mesh) && face < mesh.faceCount)
        {
            hit->material = bz_Scene_GetFaceMaterial(&mesh, face);
            const bzModelFace &f = mesh.faces[face];
            for (int i = 0; i < 3; i++)
            {
                hit->vertices[i] = f.v[i] < mesh.vertexCount ? mesh.positions[f.v[i]] : bzV3{};
                bz_M34_TransformPoint(&toRoot, &hit->vertices[i]);
            }
            bz_Plane_FromPoints(&hit->vertices[0], &hit->vertices[1], &hit->vertices[2],
                                &hit->plane);
        }
    }
    return 1;
}
