// The octree chunk: the writer (version 5) and the reader (versions 0 to 5; below 4 read past
// and rebuilt). Every value is little-endian, read and written field by field; the reader never
// reads past the end it is given and checks each count, index and mask before it uses it.
#include "core/Bytes.h"
#include "core/Memory.h"
#include "files/Stream.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/OctreeInternal.h"

#include <cstring>

namespace
{
// ---------------------------------------------------------------------------------------
// Writing

struct Writer
{
    bzFileHandle *file;
    int32_t last;
    int32_t shortWrite; // the first write that came short, or 0
};

void Note(Writer *w, int32_t result, int32_t expected)
{
    w->last = result;
    if (result != expected && !w->shortWrite)
        w->shortWrite = result < 0 ? result : -1;
}

// Steps from the root down to the lump along lumps a container saves; -1 when the lump is not
// below the root or lies in a transient subtree, which no container holds.
int32_t SavedDepth(const bzLump *lump, const bzLump *root)
{
    int32_t depth = 0;
    for (const bzLump *l = lump; l != root; l = l->parent)
    {
        if (!l || (l->flags & BZ_LUMP_TRANSIENT))
            return -1;
        depth++;
    }
    return depth;
}

int32_t VarUIntBytes(uint32_t value)
{
    return value < 0x80u         ? 1
           : value < 0x4000u     ? 2
           : value < 0x200000u   ? 3
           : value < 0x10000000u ? 4
                                 : 5;
}

// The lump's path from the root: the step count, then each step's child index from the root
// down. An index counts the siblings a container saves, transient ones left out, so that it
// names the same lump in the tree read back; without transient lumps it is the plain sibling
// index.
void WritePath(Writer *w, const bzLump *lump, const bzLump *root)
{
    const int32_t depth = SavedDepth(lump, root);
    if (depth < 0)
    {
        Note(w, -1, 0);
        return;
    }
    Note(w, bz_Stream_WriteVarUInt(w->file, static_cast<uint32_t>(depth)),
         VarUIntBytes(static_cast<uint32_t>(depth)));
    for (int32_t k = depth - 1; k >= 0; k--)
    {
        const bzLump *step = lump;
        for (int32_t up = 0; up < k; up++)
            step = step->parent;
        uint32_t index = 0;
        for (const bzLump *c = step->parent->firstChild; c != step; c = c->next)
            if (!(c->flags & BZ_LUMP_TRANSIENT))
                index++;
        Note(w, bz_Stream_WriteVarUInt(w->file, index), VarUIntBytes(index));
    }
}

void WriteLeafWords(Writer *w, const bzOctreeNode *node)
{
    for (int32_t i = 0; i < 8; i++)
    {
        if (!node->child[i])
            continue;
        if (node->leafMask & (1u << i))
        {
            const bzOctreeLeaf *leaf = static_cast<const bzOctreeLeaf *>(node->child[i]);
            const uint32_t n = OctreeLeafWordCount(leaf);
            if (n)
                Note(w, bz_Stream_WriteU16Array(w->file, leaf->faces, static_cast<int32_t>(n)),
                     static_cast<int32_t>(n) * 2);
        }
        else
            WriteLeafWords(w, static_cast<const bzOctreeNode *>(node->child[i]));
    }
}

void WriteNode(Writer *w, const bzOctreeNode *node)
{
    uint8_t present = 0;
    for (int32_t i = 0; i < 8; i++)
        if (node->child[i])
            present |= static_cast<uint8_t>(1u << i);
    Note(w, bz_Stream_WriteByte(w->file, present), 1);
    Note(w, bz_Stream_WriteByte(w->file, node->leafMask), 1);
    Note(w, bz_Stream_WriteByte(w->file, node->splitMask), 1);
    for (int32_t i = 0; i < 8; i++)
    {
        if (!node->child[i])
            continue;
        if (node->leafMask & (1u << i))
            Note(w,
                 bz_Stream_WriteUInt(w->file, OctreeLeafWordCount(static_cast<const bzOctreeLeaf *>(
                                                  node->child[i]))),
                 4);
        else
            WriteNode(w, static_cast<const bzOctreeNode *>(node->child[i]));
    }
}

// ---------------------------------------------------------------------------------------
// Reading

struct Reader
{
    const uint8_t *p;
    const uint8_t *end;
    bool ok;

    size_t Left() const { return ok ? static_cast<size_t>(end - p) : 0; }
    bool Take(size_t n)
    {
        if (!ok || static_cast<size_t>(end - p) < n)
        {
            ok = false;
            return false;
        }
        return true;
    }
    uint8_t U8()
    {
        if (!Take(1))
            return 0;
        return *p++;
    }
    uint32_t U32()
    {
        if (!Take(4))
            return 0;
        const uint32_t v = bz_GetU32LE(p);
        p += 4;
        return v;
    }
    float F32()
    {
        if (!Take(4))
            return 0;
        const float v = bz_GetF32LE(p);
        p += 4;
        return v;
    }
    void Skip(size_t n)
    {
        if (Take(n))
            p += n;
    }
};

struct ReadState
{
    Reader r;
    bzOctree *octree;
    uint32_t version;
    const uint16_t *words; // the face-word block
    uint32_t wordTotal;
    uint32_t wordsUsed;
    bool noMemory;
    // The chunk is whole but does not fit the lumps it is read for: a path that names no lump,
    // a face the entry's model lacks.
    bool misfit;
};

// Walks a leaf's stream of n words as the queries walk it: every entry index below the entry
// count, the end word last and nowhere else (else false); every face and run within its entry's
// faces (else the chunk does not fit its lumps). The face counter is not reset by a change of
// entry (the queries carry it over), so a run right after an entry index goes on from the
// previous entry's last face.
bool StreamIsSound(ReadState *s, const uint16_t *w, uint32_t n)
{
    const bzOctree *o = s->octree;
    uint32_t k = 0;
    uint32_t faceCount = 0;
    uint32_t counter = 0;
    auto entry = [&](uint32_t index)
    {
        if (index >= static_cast<uint32_t>(o->entryCount))
            return false;
        faceCount = o->entries[index].faceCount;
        return true;
    };
    if (n < 2 || !entry(w[k++]))
        return false;
    while (k < n)
    {
        const uint32_t word = w[k++];
        if (word == BZ_OCTREE_END)
            return k == n;
        if (word == BZ_OCTREE_NEXT_ENTRY)
        {
            if (k >= n || !entry(w[k++]))
                return false;
            continue;
        }
        if (word <= BZ_OCTREE_LAST_FACE)
        {
            if (word >= faceCount)
                s->misfit = true;
            counter = word + 1;
            continue;
        }
        counter += word & 0xFF;
        if (counter > faceCount)
            s->misfit = true;
    }
    return false;
}

// Reads a lump path and follows it from the root: the lump, or null when the path names none
// (the chunk then does not fit the tree). False when the path itself is cut short or too long.
bool ReadPath(ReadState *s, bzLump *root, bzLump **out)
{
    Reader &r = s->r;
    uint32_t count = 0;
    if (!r.ok || !bz_Mem_ReadVarUIntN(&r.p, r.end, &count) || count > r.Left())
    {
        r.ok = false;
        return false;
    }
    bzLump *l = root;
    for (uint32_t k = 0; k < count; k++)
    {
        uint32_t index = 0;
        if (!bz_Mem_ReadVarUIntN(&r.p, r.end, &index))
        {
            r.ok = false;
            return false;
        }
        if (l)
            l = index > 0x7FFFFFFFu ? nullptr : bz_Lump_GetChild(l, static_cast<int32_t>(index));
    }
    *out = l;
    return true;
}

bool ReadLeaf(ReadState *s, void **slot)
{
    if (s->version >= 4)
    {
        const uint32_t n = s->r.U32();
        if (!s->r.ok || n > s->wordTotal - s->wordsUsed)
            return false;
        bzOctreeLeaf *leaf = static_cast<bzOctreeLeaf *>(
            bz_Pool_Alloc(s->octree->pools[BZ_OCTREE_POOL_LEAVES], BZ_MEM_CLEAR));
        if (!leaf)
        {
            s->noMemory = true;
            return false;
        }
        *slot = leaf;
        if (n)
        {
            const uint16_t *w = s->words + s->wordsUsed;
            if (!StreamIsSound(s, w, n))
                return false;
            leaf->faces = w;
            s->wordsUsed += n;
        }
        return true;
    }
    if (s->version == 0)
        s->r.Skip(24);
    const uint32_t n = s->r.U32();
    if (s->version <= 1)
    {
        if (n > s->r.Left() / 4)
            return false;
        s->r.Skip(static_cast<size_t>(n) * 4);
    }
    return s->r.ok;
}

bool ReadNode(ReadState *s, void **slot, int32_t depth)
{
    // A built tree is at most this deep; a deeper one is not a chunk the writer made.
    if (depth >= BZ_OCTREE_MAX_DEPTH)
        return false;
    bzOctreeNode *node = nullptr;
    if (s->version >= 4)
    {
        node = static_cast<bzOctreeNode *>(
            bz_Pool_Alloc(s->octree->pools[BZ_OCTREE_POOL_NODES], BZ_MEM_CLEAR));
        if (!node)
        {
            s->noMemory = true;
            return false;
        }
        *slot = node;
    }
    if (s->version == 0)
        s->r.Skip(24);
    const uint32_t present = s->r.U8();
    const uint32_t leafMask = s->r.U8();
    const uint32_t split = s->version >= 1 ? s->r.U8() : 7u;
    if (!s->r.ok || split > 7 || (s->version >= 4 && (leafMask & ~present)))
        return false;
    for (uint32_t i = 0; i < 8; i++)
    {
        const bool allowed = (i & ~split) == 0;
        if ((present & (1u << i)) && !allowed)
            return false;
    }
    if (node)
    {
        node->splitMask = static_cast<uint8_t>(split);
        node->leafMask = static_cast<uint8_t>(leafMask);
    }
    for (int32_t i = 0; i < 8; i++)
    {
        void *child = nullptr;
        if (present & (1u << i))
        {
            const bool ok =
                (leafMask & (1u << i)) ? ReadLeaf(s, &child) : ReadNode(s, &child, depth + 1);
            if (node)
                node->child[i] = child;
            if (!ok)
                return false;
        }
        else if (node && (i & ~static_cast<int32_t>(split)) == 0)
        {
            // An allowed octant with nothing written is an empty leaf.
            bzOctreeLeaf *leaf = static_cast<bzOctreeLeaf *>(
                bz_Pool_Alloc(s->octree->pools[BZ_OCTREE_POOL_LEAVES], BZ_MEM_CLEAR));
            if (!leaf)
            {
                s->noMemory = true;
                return false;
            }
            node->child[i] = leaf;
            node->leafMask |= static_cast<uint8_t>(1u << i);
        }
    }
    return true;
}

bzOctree *Fail(ReadState *s)
{
    bzOctree_Free(s->octree);
    bzgLastError = s->noMemory ? BZ_ERROR_NO_MEMORY : BZ_ERROR_BAD_DATA_FORMAT;
    return nullptr;
}
} // namespace

int32_t bzOctree_IsSavable(const bzOctree *octree)
{
    if (!octree)
        return 0;
    for (int32_t i = 0; i < octree->entryCount; i++)
        if (SavedDepth(octree->entries[i].lump, octree->rootLump) < 0)
            return 0;
    return 1;
}

int32_t bzOctree_Write(const bzOctree *octree, bzFileHandle *stream)
{
    if (!octree || !stream)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return 0;
    }
    Writer w = {stream, 0, 0};
    Note(&w, bz_Stream_WriteUInt(stream, BZ_OCTREE_VERSION), 4);
    Note(&w, bz_Stream_WriteUInt(stream, static_cast<uint32_t>(octree->entryCount)), 4);
    for (int32_t i = 0; i < octree->entryCount; i++)
    {
        const bzOctreeEntry *e = &octree->entries[i];
        WritePath(&w, e->lump, octree->rootLump);
        Note(&w, bz_Stream_WriteByte(stream, e->matrix ? 1 : 0), 1);
        if (e->matrix)
            for (int row = 0; row < 4; row++)
                Note(&w, bz_Stream_WriteVector(stream, &e->matrix->row[row]), 12);
    }
    Note(&w, bz_Stream_WriteVector(stream, &octree->bounds.min), 12);
    Note(&w, bz_Stream_WriteVector(stream, &octree->bounds.max), 12);
    Note(&w, bz_Stream_WriteUInt(stream, OctreeCountLeafWords(octree->root)), 4);
    if (octree->root)
    {
        WriteLeafWords(&w, octree->root);
        WriteNode(&w, octree->root);
    }
    Note(&w, bz_Stream_WriteUInt(stream, bzOctree_Checksum(octree, BZ_OCTREE_VERSION)), 4);
    return w.shortWrite ? w.shortWrite : w.last;
}

bzOctree *bzOctree_Read(const uint8_t **cursor, const uint8_t *end, int32_t version, bzLump *root)
{
    if (!cursor || !*cursor || !end || end < *cursor || !root)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    ReadState s = {};
    s.r = {*cursor, end, true};
    s.octree = OctreeAllocRecord(root);
    if (!s.octree)
        return nullptr;
    bzOctree *o = s.octree;
    s.version = version < 0 ? s.r.U32() : static_cast<uint32_t>(version);
    if (!s.r.ok || s.version > BZ_OCTREE_VERSION)
        return Fail(&s);
    const uint32_t n = s.r.U32();
    // Each entry takes at least two bytes; a count the bytes cannot hold is a lie.
    if (!s.r.ok || n > s.r.Left() / 2 || n > 0xFFFE)
        return Fail(&s);
    if (s.version >= 4 && n)
    {
        o->entries = static_cast<bzOctreeEntry *>(bz_MemAlloc(
            n * static_cast<uint32_t>(sizeof(bzOctreeEntry)), BZ_MEM_CLEAR | BZ_MEM_PARENT, o));
        if (!o->entries)
        {
            s.noMemory = true;
            return Fail(&s);
        }
    }
    for (uint32_t i = 0; i < n; i++)
    {
        if (s.version >= 4)
        {
            bzLump *lump = nullptr;
            if (!ReadPath(&s, root, &lump))
                return Fail(&s);
            bzOctreeEntry *e = &o->entries[i];
            o->entryCount = static_cast<int32_t>(i) + 1;
            e->lump = lump;
            e->model = lump ? bz_Lump_GetModel(lump) : nullptr;
            s.misfit = s.misfit || !lump;
            const uint8_t has = s.r.U8();
            if (has > 1)
                return Fail(&s);
            if (has)
            {
                bzM34 m;
                for (int row = 0; row < 4; row++)
                    for (int j = 0; j < 3; j++)
                        m.row[row].v[j] = s.r.F32();
                if (!s.r.ok)
                    return Fail(&s);
                if (!OctreeSetEntryMatrix(e, &m))
                {
                    s.noMemory = true;
                    return Fail(&s);
                }
            }
            bzModelMesh mesh{};
            if (e->model)
                bz_Scene_GetModelMesh(e->model, &mesh);
            e->faceCount = static_cast<uint16_t>(mesh.faceCount > 0xFF01 ? 0xFF01 : mesh.faceCount);
            if (e->faceCount)
            {
                e->marks = static_cast<uint32_t *>(
                    bz_MemAlloc((e->faceCount + 31u) / 32u * 4u, BZ_MEM_CLEAR | BZ_MEM_PARENT, o));
                if (!e->marks)
                {
                    s.noMemory = true;
                    return Fail(&s);
                }
            }
        }
        else
        {
            s.r.Skip(s.r.U8());
            if (s.r.U8())
                s.r.Skip(48);
        }
        if (!s.r.ok)
            return Fail(&s);
    }
    if (bzOctree_CreatePools(o) != BZ_ERROR_NONE)
    {
        s.noMemory = true;
        return Fail(&s);
    }
    if (s.version >= 1)
    {
        for (int j = 0; j < 3; j++)
            o->bounds.min.v[j] = s.r.F32();
        for (int j = 0; j < 3; j++)
            o->bounds.max.v[j] = s.r.F32();
    }
    if (s.version >= 4)
    {
        s.wordTotal = s.r.U32();
        if (!s.r.ok || s.wordTotal > s.r.Left() / 2)
            return Fail(&s);
        if (s.wordTotal)
        {
            uint16_t *words =
                static_cast<uint16_t *>(bz_MemAlloc(s.wordTotal * 2, BZ_MEM_PARENT, o));
            if (!words)
            {
                s.noMemory = true;
                return Fail(&s);
            }
            for (uint32_t k = 0; k < s.wordTotal; k++)
                words[k] = bz_GetU16LE(s.r.p + 2 * k);
            s.r.p += 2 * static_cast<size_t>(s.wordTotal);
            s.words = words;
        }
    }
    else if (s.version >= 2)
    {
        const uint32_t count = s.r.U32();
        if (count > s.r.Left() / 3)
            return Fail(&s);
        s.r.Skip(static_cast<size_t>(count) * 3);
    }
    void *rootSlot = nullptr;
    const bool treeOk = ReadNode(&s, &rootSlot, 0);
    o->root = s.version >= 4 ? static_cast<bzOctreeNode *>(rootSlot) : nullptr;
    if (!treeOk || !s.r.ok)
        return Fail(&s);
    uint32_t stored = 0;
    if (s.version >= 3)
    {
        stored = s.r.U32();
        if (!s.r.ok)
            return Fail(&s);
    }
    // The chunk is whole: whatever follows, the cursor moves past it.
    *cursor = s.r.p;
    if (s.version < 4)
    {
        bzOctree_Free(o);
        return bzOctree_Build(root);
    }
    if (s.misfit)
        return Fail(&s);
    const uint32_t computed = bzOctree_Checksum(o, s.version);
    if (computed != stored && computed != 0)
        return Fail(&s);
    return o;
}
