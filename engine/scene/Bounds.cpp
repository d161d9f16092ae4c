// Boxes, extents and radii of lump trees, the split of a tree by a plane, the octree of a lump
// and the test of a collision form against a tree.
#include "scene/Bounds.h"

#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/ModelGeometry.h"
#include "scene/Octree.h"
#include "scene/Path.h"
#include "scene/SceneServices.h"

#include <cfloat>
#include <cmath>

namespace
{
// The child's transform into its parent's space.
void ChildMatrix(bzLump *child, bzLump *parent, bzM34 *out)
{
    if (child->flags & BZ_LUMP_WORLD)
        bz_Lump_GetRelativeMatrix(out, child, parent);
    else
        *out = *bz_Lump_GetMatrix(child);
}

void Merge(bzBox *out, const bzBox *box, bool *found)
{
    if (!*found)
        *out = *box;
    else
        bz_Box_UnionInto(out, box, out);
    *found = true;
}

bool Measure(bzBox *out, bzLump *lump, bzLumpFilter filter)
{
    bool found = false;
    const bzModel *model = bz_Lump_GetModel(lump);
    bzBox box;
    if (model && (!filter || filter(lump)) &&
        bz_Scene_GetModelBounds(model, &box, nullptr, nullptr))
        Merge(out, &box, &found);
    for (bzLump *child = lump->firstChild; child; child = child->next)
    {
        if (filter && !filter(child))
            continue;
        bzBox childBox;
        if (!Measure(&childBox, child, filter))
            continue;
        bzM34 m;
        ChildMatrix(child, lump, &m);
        bzBox placed;
        bz_Box_TransformInto(&childBox, &m, &placed);
        Merge(out, &placed, &found);
    }
    return found;
}

void GrowByTranslations(bzBox *box, const bzLump *lump)
{
    for (const bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        bz_Box_AddPoint(box, &l->matrix.row[3]);
}

float RadiusTree(const bzLump *lump, const bzM34 *matrix)
{
    float best = 0;
    if (lump->type == BZ_LUMP_TYPE_MODEL)
    {
        bzV3 centre;
        float radius;
        if (bz_Scene_GetModelBounds(bz_Lump_GetModel(lump), nullptr, &centre, &radius))
        {
            const float r =
                (matrix ? bz_V3_Length(&matrix->row[3]) : 0.0f) + bz_V3_Length(&centre) + radius;
            best = r > best ? r : best;
        }
    }
    for (const bzLump *child = lump->firstChild; child; child = child->next)
    {
        bzM34 m = child->matrix;
        if (matrix)
            bz_M34_PostMul(&m, matrix);
        const float r = RadiusTree(child, &m);
        best = r > best ? r : best;
    }
    return best;
}

// A lump taken from the tree to one side of the split plane.
struct SplitList
{
    bzLump *lumps[2]; // heads of the negative and positive lists (through the render links)
};

void Push(SplitList *list, int side, bzLump *lump)
{
    lump->renderLink = list->lumps[side];
    list->lumps[side] = lump;
}
} // namespace

void bz_Box_SetEmpty(bzBox *box)
{
    *box = bzBox{{{{FLT_MAX, FLT_MAX, FLT_MAX}}}, {{{-FLT_MAX, -FLT_MAX, -FLT_MAX}}}};
}

bzErrorCode bz_Lump_AddBounds(bzBox *out, bzLump *lump, bzLumpFilter filter)
{
    if (!out || !lump)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    bzBox box;
    if (!Measure(&box, lump, filter))
        return BZ_ERROR_NO_BOUNDS;
    *out = box;
    return BZ_ERROR_NONE;
}

void bz_Lump_GetBoundsOrEmpty(bzBox *out, bzLump *lump, bzLumpFilter filter)
{
    if (!out)
        return;
    if (!lump || bz_Lump_AddBounds(out, lump, filter) != BZ_ERROR_NONE)
        bz_Box_SetEmpty(out);
}

void bz_Lump_GetBoundingBox(bzLump *lump, bzBox *out)
{
    bz_Lump_GetBoundsOrEmpty(out, lump, nullptr);
}

void bz_Lump_GetParentBounds(bzLump *lump, bzBox *out)
{
    bzBox box;
    if (!out || !lump || bz_Lump_AddBounds(&box, lump, nullptr) != BZ_ERROR_NONE)
        return;
    bz_Box_TransformInto(&box, bz_Lump_GetMatrix(lump), out);
}

void bz_Lump_GetTranslationBounds(bzBox *out, const bzLump *lump)
{
    if (!out)
        return;
    bz_Box_SetEmpty(out);
    if (lump)
        GrowByTranslations(out, lump);
}

void bz_Lump_GrowTranslationBounds(bzBox *box, const bzLump *lump)
{
    if (box && lump)
        GrowByTranslations(box, lump);
}

float bz_Lump_GetMaxExtent(const bzLump *lump)
{
    float best = 0;
    for (const bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
    {
        bzBox box;
        if (!bz_Scene_GetModelBounds(bz_Lump_GetModel(l), &box, nullptr, nullptr))
            continue;
        for (int j = 0; j < 3; j++)
        {
            const float edge = box.max.v[j] - box.min.v[j];
            best = edge > best ? edge : best;
        }
    }
    return best;
}

void bz_Lump_ResetWorldMatrices(bzLump *root)
{
    if (!root)
        return;
    bz_M34_SetIdentity(&root->worldMatrix);
    for (bzLump *l = bz_Lump_NextPreOrder(root, root); l; l = bz_Lump_NextPreOrder(l, root))
        bz_MulM34Into(&l->parent->worldMatrix, &l->worldMatrix, &l->matrix);
}

float bz_Lump_GetRadius(bzLump *root)
{
    bz_Lump_ResetWorldMatrices(root);
    float best = 0;
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
    {
        float radius;
        if (l->type != BZ_LUMP_TYPE_MODEL ||
            !bz_Scene_GetModelBounds(bz_Lump_GetModel(l), nullptr, nullptr, &radius))
            continue;
        const float r = bz_V3_Length(&l->worldMatrix.row[3]) + radius;
        best = r > best ? r : best;
    }
    return best;
}

float bz_Lump_GetRadiusTree(const bzLump *lump, const bzM34 *matrix)
{
    return lump ? RadiusTree(lump, matrix) : 0.0f;
}

float bz_Lump_GetRadiusFromRoot(const bzLump *lump)
{
    return bz_Lump_GetRadiusTree(lump, nullptr);
}

bzLump *bz_Lump_FindByMaterialEntry(bzLump *root, const void *address)
{
    const uint8_t *a = static_cast<const uint8_t *>(address);
    for (bzLump *l = root; l && a; l = bz_Lump_NextPreOrder(l, root))
    {
        bzModelMesh mesh;
        if (l->type != BZ_LUMP_TYPE_MODEL || !bz_Scene_GetModelMesh(bz_Lump_GetModel(l), &mesh) ||
            !mesh.materialEntries)
            continue;
        const uint8_t *end = mesh.materialEntries +
                             static_cast<size_t>(mesh.materialEntryCount) * mesh.materialEntrySize;
        if (a >= mesh.materialEntries && a < end)
            return l;
    }
    return nullptr;
}

bzLump *bz_Lump_CreateGrid(float halfSize, float spacing, bzColour centreColour,
                           bzColour lineColour)
{
    if (!(spacing > 0) || !(halfSize > 0) || !std::isfinite(halfSize) ||
        !(halfSize / spacing <= 5000.0f))
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzPath *path = nullptr;
    bzLump *lump = bz_Lump_CreatePolyline("grid", 0xFFFFFFFFu, &path);
    if (!lump)
        return nullptr;
    path->flags |= BZ_PATH_PAIRS | BZ_PATH_COLOURS;
    bz_Scene_SetMaterialFlags(lump->material, 4);
    bz_Scene_UpdateMaterial(lump->material, 128);
    const int32_t steps = static_cast<int32_t>(std::floor(2.0f * halfSize / spacing + 1e-4f)) + 1;
    const int32_t centre = static_cast<int32_t>(std::lround(halfSize / spacing));
    for (int32_t i = 0; i < steps; i++)
    {
        const float v = -halfSize + static_cast<float>(i) * spacing;
        const bzColour c = i == centre ? centreColour : lineColour;
        if (!bz_Path_AppendPointWord(path, v, 0, -halfSize, c) ||
            !bz_Path_AppendPointWord(path, v, 0, halfSize, c) ||
            !bz_Path_AppendPointWord(path, -halfSize, 0, v, c) ||
            !bz_Path_AppendPointWord(path, halfSize, 0, v, c))
        {
            bz_Lump_Destroy(lump);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    return lump;
}

bzErrorCode bz_Lump_SplitByPlane(bzLump *root, bzLump *negativeRoot, bzLump *positiveRoot,
                                 const bzPlane *plane)
{
    if (!root || !plane)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    bz_Lump_ResetWorldMatrices(root);
    SplitList list = {{nullptr, nullptr}};
    for (bzLump *l = bz_Lump_NextPreOrder(root, root); l; l = bz_Lump_NextPreOrder(l, root))
    {
        bzV3 centre;
        float radius;
        if (l->type == BZ_LUMP_TYPE_MODEL &&
            bz_Scene_GetModelBounds(bz_Lump_GetModel(l), nullptr, &centre, &radius))
        {
            bz_M34_TransformPoint(&l->worldMatrix, &centre);
            const float s = bz_V3_Dot(&plane->n, &centre);
            if (s - radius > plane->d)
                Push(&list, 1, l);
            else if (s + radius < plane->d)
                Push(&list, 0, l);
            else
            {
                // The plane in the model's space.
                bzPlane local;
                bzM34 inverse;
                bz_InverseM34Into(&l->worldMatrix, &inverse);
                bz_Plane_TransformByM34(&inverse, plane, &local);
                bzLump *left = bz_Lump_CreateClippedModel(l, &local);
                Push(&list, 1, l);
                if (left)
                {
                    left->worldMatrix = l->worldMatrix;
                    Push(&list, 0, left);
                }
            }
            continue;
        }
        Push(&list, bz_V3_Dot(&plane->n, &l->worldMatrix.row[3]) >= plane->d ? 1 : 0, l);
    }
    bzLump *roots[2] = {negativeRoot, positiveRoot};
    for (int side = 0; side < 2; side++)
    {
        for (bzLump *l = list.lumps[side]; l;)
        {
            bzLump *next = l->renderLink;
            l->renderLink = nullptr;
            if (roots[side] && roots[side] != l)
            {
                l->matrix = l->worldMatrix;
                l->flags &= ~BZ_LUMP_WORLD;
                bz_Lump_Detach(l);
                bz_Lump_Attach(roots[side], l);
            }
            l = next;
        }
    }
    return BZ_ERROR_NONE;
}

bzOctree *bz_Lump_BuildOctree(bzLump *lump)
{
    if (!lump)
        return nullptr;
    bz_Lump_FreeOctree(lump);
    bzOctree *octree = bzOctree_Build(lump);
    if (!octree)
        return nullptr;
    lump->octree = reinterpret_cast<bzOctreeObject *>(octree);
    lump->flags |= BZ_LUMP_OCTREE;
    return octree;
}

int32_t bz_Lump_IntersectForm(int32_t stackId, bzForm *form, bzLump *lump)
{
    if (!form || !lump)
        return 0;
    void *header = bz_TempStack_Alloc(stackId, BZ_FORM_LIST_HEADER_BYTES, BZ_MEM_CLEAR);
    void *buffer = header ? bz_TempStack_Alloc(stackId, BZ_FORM_LIST_BUFFER_BYTES, 0) : nullptr;
    if (!buffer)
    {
        if (header)
            bz_TempStack_Free(stackId, header);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return 0;
    }
    int32_t result = 0;
    if (bz_Scene_GatherFormFaces(form, lump, header, buffer, BZ_FORM_FACE_LIMIT) > 0)
        result = bz_Scene_TestFormFaces(header, form);
    bz_TempStack_Free(stackId, buffer);
    bz_TempStack_Free(stackId, header);
    return result;
}
