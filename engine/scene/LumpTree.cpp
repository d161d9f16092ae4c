// Linking, walks, counts, name and path look-ups and flags of the lump tree.
#include "scene/Lump.h"

#include "core/Memory.h"
#include "core/Strings.h"
#include "files/Stream.h"
#include "scene/SceneServices.h"

namespace
{
constexpr int32_t kNameLength = 16;

bzErrorCode Refuse()
{
    bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return BZ_ERROR_INVALID_PARAMETER;
}

// The checks both attach forms make: 0 when the child may go below the parent.
bzErrorCode CheckAttach(bzLump *parent, bzLump *child)
{
    if (!parent || !child || parent == child)
        return Refuse();
    if (child->type == BZ_LUMP_TYPE_CAMERA)
    {
        bz_ReportError("Error whilst trying to attach a lump.",
                       "Attaching camera's to lumps is illegal.");
        return Refuse();
    }
    // Below one of its own descendants the child would close a loop.
    for (const bzLump *l = parent->parent; l; l = l->parent)
        if (l == child)
            return Refuse();
    return BZ_ERROR_NONE;
}

// Names compare whole, without regard to case, on at most 16 characters.
bool SameName(const char *stored, const char *key)
{
    return stored && key && bz_StrCompareNoCase(stored, key, kNameLength) == 0;
}
} // namespace

bzErrorCode bz_Lump_Attach(bzLump *parent, bzLump *child)
{
    const bzErrorCode result = CheckAttach(parent, child);
    if (result != BZ_ERROR_NONE)
        return result;
    bz_Lump_Detach(child);
    child->next = parent->firstChild;
    parent->firstChild = child;
    child->parent = parent;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_AppendChild(bzLump *parent, bzLump *child)
{
    const bzErrorCode result = CheckAttach(parent, child);
    if (result != BZ_ERROR_NONE)
        return result;
    bz_Lump_Detach(child);
    bzLump **link = &parent->firstChild;
    while (*link)
        link = &(*link)->next;
    *link = child;
    child->next = nullptr;
    child->parent = parent;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_Detach(bzLump *lump)
{
    if (!lump)
        return Refuse();
    if (!lump->parent)
        return BZ_ERROR_NONE;
    for (bzLump **link = &lump->parent->firstChild; *link; link = &(*link)->next)
    {
        if (*link == lump)
        {
            *link = lump->next;
            lump->parent = nullptr;
            lump->next = nullptr;
            return BZ_ERROR_NONE;
        }
    }
    bzgLastError = BZ_ERROR_NO_PARENT;
    return BZ_ERROR_NO_PARENT;
}

int32_t bz_Lump_IsLeafOrSingle(const bzLump *lump)
{
    return lump && lump->type == BZ_LUMP_TYPE_NULL &&
           (!lump->firstChild || !lump->firstChild->next);
}

int32_t bz_Lump_CountChildren(const bzLump *lump)
{
    int32_t n = 0;
    for (const bzLump *c = lump ? lump->firstChild : nullptr; c; c = c->next)
        n++;
    return n;
}

bzLump *bz_Lump_GetChild(const bzLump *lump, int32_t n)
{
    if (!lump || n < 0)
        return nullptr;
    bzLump *c = lump->firstChild;
    for (; c && n > 0; n--)
        c = c->next;
    return c;
}

int32_t bz_Lump_CountTree(const bzLump *lump)
{
    int32_t n = 0;
    for (const bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        n++;
    return n;
}

int32_t bz_Lump_CountDescendants(const bzLump *lump)
{
    return lump ? bz_Lump_CountTree(lump) - 1 : 0;
}

int32_t bz_Lump_CountMatching(const bzLump *lump, bzLumpFilter filter)
{
    int32_t n = 0;
    if (!filter)
        return n;
    for (const bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        if (filter(l))
            n++;
    return n;
}

int32_t bz_Lump_CountModels(const bzLump *lump)
{
    return bz_Lump_CountMatching(lump,
                                 [](const bzLump *l) -> int32_t {
                                     return l->type == BZ_LUMP_TYPE_MODEL ||
                                            l->type == BZ_LUMP_TYPE_SKINNED_MODEL;
                                 });
}

bzLump *bz_Lump_NextSkipChildren(const bzLump *lump, const bzLump *root)
{
    for (const bzLump *l = lump; l && l != root; l = l->parent)
        if (l->next)
            return l->next;
    return nullptr;
}

bzLump *bz_Lump_NextPreOrder(const bzLump *lump, const bzLump *root)
{
    if (!lump)
        return nullptr;
    if (lump->firstChild)
        return lump->firstChild;
    return bz_Lump_NextSkipChildren(lump, root);
}

intptr_t bz_Lump_Walk(bzLump *root, bzLumpWalkFunction fn, void *user)
{
    if (!root || !fn)
        return 0;
    for (bzLump *l = root; l;)
    {
        // The next lump is taken first, so the callback may detach the one it is given.
        bzLump *next = bz_Lump_NextPreOrder(l, root);
        if (const intptr_t result = fn(l, user))
            return result;
        l = next;
    }
    return 0;
}

intptr_t bz_Lump_MatchName(bzLump *lump, void *name)
{
    return SameName(lump->name, static_cast<const char *>(name)) ? (intptr_t)lump : 0;
}

intptr_t bz_Lump_MatchModelName(bzLump *lump, void *name)
{
    const char *modelName = bz_Scene_GetModelName(bz_Lump_GetModel(lump));
    return modelName && name && bz_StrCompareNoCase(modelName, static_cast<const char *>(name)) == 0
               ? (intptr_t)lump
               : 0;
}

intptr_t bz_Lump_CompareEqual(bzLump *lump, void *other)
{
    return lump == other ? (intptr_t)lump : 0;
}

bzLump *bz_Lump_FindByName(bzLump *root, const char *name)
{
    if (!name)
    {
        Refuse();
        return nullptr;
    }
    return (bzLump *)bz_Lump_Walk(root, bz_Lump_MatchName, (void *)name);
}

bzLump *bz_Lump_FindByModelName(bzLump *root, const char *name)
{
    if (!name)
    {
        Refuse();
        return nullptr;
    }
    return (bzLump *)bz_Lump_Walk(root, bz_Lump_MatchModelName, (void *)name);
}

bzLump *bz_Lump_FindByPath(bzLump *root, const uint8_t **cursor, const uint8_t *end)
{
    if (!root || !cursor || !*cursor || !end)
    {
        Refuse();
        return nullptr;
    }
    uint32_t count = 0;
    if (!bz_Mem_ReadVarUIntN(cursor, end, &count))
        return nullptr;
    bzLump *l = root;
    for (uint32_t k = 0; k < count; k++)
    {
        uint32_t index = 0;
        if (!bz_Mem_ReadVarUIntN(cursor, end, &index))
            return nullptr;
        l = index > 0x7FFFFFFFu ? nullptr : bz_Lump_GetChild(l, static_cast<int32_t>(index));
        if (!l)
            return nullptr;
    }
    return l;
}

bzErrorCode bz_Lump_WritePathIndices(bzFileHandle *file, const bzLump *lump, const bzLump *ancestor)
{
    if (!file || !lump || !ancestor)
        return Refuse();
    int32_t depth = 0;
    const bzLump *l = lump;
    for (; l && l != ancestor; l = l->parent)
        depth++;
    if (!l)
        return Refuse();
    uint32_t *indices = nullptr;
    if (depth > 0)
    {
        indices = static_cast<uint32_t *>(
            bz_TempStack_Alloc(1, static_cast<uint32_t>(depth) * sizeof(uint32_t), 0));
        if (!indices)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return BZ_ERROR_NO_MEMORY;
        }
    }
    // Filled from the lump up, written from the ancestor down.
    int32_t k = depth;
    for (l = lump; l != ancestor; l = l->parent)
    {
        uint32_t index = 0;
        for (const bzLump *c = l->parent->firstChild; c != l; c = c->next)
            index++;
        indices[--k] = index;
    }
    bz_Stream_WriteVarUInt(file, static_cast<uint32_t>(depth));
    for (k = 0; k < depth; k++)
        bz_Stream_WriteVarUInt(file, indices[k]);
    if (indices)
        bz_TempStack_Free(1, indices);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetFlagsMasked(bzLump *lump, uint32_t value, uint32_t mask, int32_t recurse)
{
    if (!lump)
        return Refuse();
    for (bzLump *l = lump; l; l = recurse ? bz_Lump_NextPreOrder(l, lump) : nullptr)
        l->flags = (l->flags & ~mask) | (value & mask);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetFlags(bzLump *lump, uint32_t bits, int32_t recurse)
{
    return bz_Lump_SetFlagsMasked(lump, bits, bits, recurse);
}

bzErrorCode bz_Lump_ClearFlags(bzLump *lump, uint32_t bits, int32_t recurse)
{
    return bz_Lump_SetFlagsMasked(lump, 0, bits, recurse);
}

bzErrorCode bz_Lump_Activate(bzLump *lump)
{
    return bz_Lump_SetFlags(lump, BZ_LUMP_ACTIVE, 0);
}

bzErrorCode bz_Lump_Deactivate(bzLump *lump)
{
    return bz_Lump_ClearFlags(lump, BZ_LUMP_ACTIVE, 0);
}
