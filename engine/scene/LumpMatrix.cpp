// The matrix rules of lumps: chains of parent-relative matrices ended by the world or by a
// world-relative lump, the transforms between two lumps, and the switch between the modes.
#include "scene/Lump.h"

#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/SceneServices.h"

namespace
{
int32_t Depth(const bzLump *lump)
{
    int32_t depth = 0;
    for (; lump; lump = lump->parent)
        depth++;
    return depth;
}

// Appends the lump's matrix to the accumulator and steps up its chain; a world-relative lump
// ends the chain at the world.
void StepUp(bzLump *&lump, int32_t &depth, bzM34 &accumulator)
{
    bz_M34_PostMul(&accumulator, bz_Lump_GetMatrix(lump));
    if (lump->flags & BZ_LUMP_WORLD)
    {
        lump = nullptr;
        depth = 0;
    }
    else
    {
        lump = lump->parent;
        depth--;
    }
}

intptr_t WalkWithMatrix(bzLump *lump, bzLumpMatrixWalkFunction fn, const bzM34 *matrix,
                        const bzM34 *worldToRoot, void *user)
{
    if (const intptr_t result = fn(lump, matrix, user))
        return result;
    for (bzLump *child = lump->firstChild; child;)
    {
        bzLump *next = child->next;
        bzM34 m;
        bz_MulM34Into((child->flags & BZ_LUMP_WORLD) ? worldToRoot : matrix, &m,
                      bz_Lump_GetMatrix(child));
        if (const intptr_t result = WalkWithMatrix(child, fn, &m, worldToRoot, user))
            return result;
        child = next;
    }
    return 0;
}
} // namespace

bzM34 *bz_Lump_GetMatrix(bzLump *lump)
{
    if (!lump)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (lump->dynamicsElement && !bz_Scene_HasOverride(lump->dynamicsObject))
    {
        if (bzM34 *attribute = bz_Scene_GetMatrixAttribute(lump->dynamicsElement))
            return attribute;
    }
    return &lump->matrix;
}

void bz_Lump_GetRelativeMatrix(bzM34 *out, bzLump *from, bzLump *to)
{
    if (!out)
        return;
    const bool toWorld = to == nullptr;
    bzM34 first, second;
    bz_M34_SetIdentity(&first);
    bz_M34_SetIdentity(&second);
    int32_t fromDepth = Depth(from);
    int32_t toDepth = Depth(to);
    // Each step lowers a depth, so the two chains meet at their common ancestor or the world.
    while (from != to)
    {
        if (fromDepth > toDepth)
            StepUp(from, fromDepth, first);
        else if (toDepth > fromDepth)
            StepUp(to, toDepth, second);
        else
        {
            StepUp(from, fromDepth, first);
            StepUp(to, toDepth, second);
        }
    }
    if (toWorld)
    {
        *out = first;
        return;
    }
    bzM34 inverse;
    bz_InverseM34Into(&second, &inverse);
    bz_MulM34Into(&inverse, out, &first);
}

void bz_Lump_PointToWorld(bzLump *lump, const bzV3 *point, bzV3 *out)
{
    if (!point || !out)
        return;
    bzM34 m;
    bz_Lump_GetRelativeMatrix(&m, lump, nullptr);
    bz_M34_TransformPointInto(&m, out, point);
}

void bz_Lump_DirectionToWorld(bzLump *lump, const bzV3 *direction, bzV3 *out)
{
    if (!direction || !out)
        return;
    bzM34 m;
    bz_Lump_GetRelativeMatrix(&m, lump, nullptr);
    bz_RotateV3Into(&m, out, direction);
}

bzErrorCode bz_Lump_MakeMatrixRelative(bzLump *lump)
{
    if (!lump)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    if (!(lump->flags & BZ_LUMP_WORLD))
        return BZ_ERROR_NONE;
    bzM34 worldToParent;
    bz_Lump_GetRelativeMatrix(&worldToParent, nullptr, lump->parent);
    bz_M34_PostMul(bz_Lump_GetMatrix(lump), &worldToParent);
    bz_Scene_RecordMatrixMode(lump, 0);
    lump->flags &= ~BZ_LUMP_WORLD;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_MakeMatrixWorld(bzLump *lump)
{
    if (!lump)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    if (lump->flags & BZ_LUMP_WORLD)
        return BZ_ERROR_NONE;
    bzM34 parentToWorld;
    bz_Lump_GetRelativeMatrix(&parentToWorld, lump->parent, nullptr);
    bz_M34_PostMul(bz_Lump_GetMatrix(lump), &parentToWorld);
    bz_Scene_RecordMatrixMode(lump, 1);
    lump->flags |= BZ_LUMP_WORLD;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetMirror(bzLump *lump, uint32_t axes)
{
    if (!lump)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    for (int i = 0; i < 3; i++)
        if (axes & (1u << i))
            bz_V3_Negate(&lump->matrix.row[i]);
    if (bz_M33_DeterminantPlain(&lump->matrix) < 0.0f)
        lump->flags |= BZ_LUMP_MIRRORED;
    else
        lump->flags &= ~BZ_LUMP_MIRRORED;
    return BZ_ERROR_NONE;
}

intptr_t bz_Lump_WalkWithMatrix(bzLump *root, bzLumpMatrixWalkFunction fn, const bzM34 *matrix,
                                void *user)
{
    if (!root || !fn || !matrix)
        return 0;
    bzM34 worldToRoot;
    bz_Lump_GetRelativeMatrix(&worldToRoot, nullptr, root);
    bz_M34_PostMul(&worldToRoot, matrix);
    return WalkWithMatrix(root, fn, matrix, &worldToRoot, user);
}

intptr_t bz_Lump_WalkFromRoot(bzLump *root, bzLumpMatrixWalkFunction fn, void *user)
{
    return bz_Lump_WalkWithMatrix(root, fn, bz_M34_Identity(), user);
}

void bz_Lump_OffsetTree(bzLump *lump, const bzV3 *offset)
{
    if (!offset)
        return;
    for (bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        bz_V3_Add(&l->matrix.row[3], offset);
}
