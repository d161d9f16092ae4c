// Lists of lumps collected by a filter, their sorting, and the operations that move or bake
// the transforms of a whole subtree.
#include "scene/Lump.h"

#include "maths/Vector.h"
#include "scene/SceneServices.h"

#include <cfloat>

namespace
{
// The filter that bz_Lump_CollectMatching applies during a collecting matrix walk.
bzLumpFilter gMatrixWalkFilter;

void Push(bzLumpCollection *collection, bzLump *lump)
{
    lump->renderLink = collection->head;
    collection->head = lump;
    collection->count++;
}

void CentreLevel(bzLump *lump, bzV3 *centre)
{
    bzV3 low = {{{FLT_MAX, FLT_MAX, FLT_MAX}}};
    bzV3 high = {{{-FLT_MAX, -FLT_MAX, -FLT_MAX}}};
    bz_V3_Set(centre, 0, 0, 0);
    if (!lump->firstChild)
        return;
    for (const bzLump *c = lump->firstChild; c; c = c->next)
        for (int j = 0; j < 3; j++)
        {
            if (c->matrix.row[3].v[j] < low.v[j])
                low.v[j] = c->matrix.row[3].v[j];
            if (c->matrix.row[3].v[j] > high.v[j])
                high.v[j] = c->matrix.row[3].v[j];
        }
    for (int j = 0; j < 3; j++)
        centre->v[j] = (low.v[j] + high.v[j]) * 0.5f;
    for (bzLump *c = lump->firstChild; c; c = c->next)
        bz_V3_Sub(&c->matrix.row[3], centre);
}
} // namespace

intptr_t bz_Lump_PushMatching(bzLump *lump, void *user)
{
    bzLumpCollection *collection = static_cast<bzLumpCollection *>(user);
    if (collection && (!collection->filter || collection->filter(lump)))
        Push(collection, lump);
    return 0;
}

bzLump *bz_Lump_CollectFiltered(bzLump *root, bzLumpFilter filter, int32_t *outCount)
{
    bzLumpCollection collection = {filter, nullptr, 0};
    bz_Lump_Walk(root, bz_Lump_PushMatching, &collection);
    if (outCount)
        *outCount = collection.count;
    return collection.head;
}

intptr_t bz_Lump_CollectMatching(bzLump *lump, const bzM34 *matrix, void *user)
{
    bzLumpCollection *collection = static_cast<bzLumpCollection *>(user);
    if (collection && (!gMatrixWalkFilter || gMatrixWalkFilter(lump)))
    {
        lump->worldMatrix = *matrix;
        Push(collection, lump);
    }
    return 0;
}

bzLump *bz_Lump_CollectMatchingWithMatrices(bzLump *root, bzLumpFilter filter, int32_t *outCount)
{
    bzLumpCollection collection = {filter, nullptr, 0};
    gMatrixWalkFilter = filter;
    bzM34 start;
    bz_Lump_GetRelativeMatrix(&start, root, nullptr);
    bz_Lump_WalkWithMatrix(root, bz_Lump_CollectMatching, &start, &collection);
    gMatrixWalkFilter = nullptr;
    if (outCount)
        *outCount = collection.count;
    return collection.head;
}

bzLump *bz_Lump_SortList(bzLump *head, bzLumpCompare compare)
{
    if (!head || !compare)
        return head;
    bzLump *sorted = head;
    bzLump *node = head->renderLink;
    head->renderLink = nullptr;
    while (node)
    {
        bzLump *next = node->renderLink;
        bzLump **link = &sorted;
        while (*link && compare(node, *link) > 0)
            link = &(*link)->renderLink;
        node->renderLink = *link;
        *link = node;
        node = next;
    }
    return sorted;
}

void bz_Lump_CentreChildren(bzLump *lump, int32_t recurse, bzV3 *outCentre)
{
    bzV3 centre = {{{0, 0, 0}}};
    if (lump)
    {
        CentreLevel(lump, &centre);
        if (recurse)
        {
            // Every lump below with children of its own, each level from its own origin.
            for (bzLump *l = lump->firstChild; l; l = bz_Lump_NextPreOrder(l, lump))
            {
                bzV3 ignored;
                CentreLevel(l, &ignored);
            }
        }
    }
    if (outCentre)
        *outCentre = centre;
}

intptr_t bz_Lump_ResetMatrix(bzLump *lump, const bzM34 *matrix, void *)
{
    if (bzModel *model = bz_Lump_GetModel(lump))
        bz_Scene_TransformModel(model, matrix);
    bz_M34_SetIdentity(&lump->matrix);
    lump->flags &= ~BZ_LUMP_WORLD;
    return 0;
}

void bz_Lump_ResetMatrices(bzLump *root)
{
    bz_Lump_WalkFromRoot(root, bz_Lump_ResetMatrix, nullptr);
}
