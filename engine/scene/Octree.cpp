// The octree record, its pools, the build over a lump tree, the checksum and the cell helpers.
#include "scene/Octree.h"

#include "core/Memory.h"
#include "core/Progress.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/OctreeInternal.h"
#include "scene/OctreeQuery.h"

#include <cfloat>
#include <cstring>

namespace
{
// Build state: the octree being built, the depth counter (-1 outside a build step), counters.
bzOctree *gBuild;
int32_t gDepth = -1;
int32_t gNodeCount;
int32_t gLeafCount;

constexpr uint32_t kElementSizes[BZ_OCTREE_POOL_COUNT] = {
    sizeof(bzOctreeNode),      sizeof(bzOctreeLeaf),    sizeof(bzOctreeObject),
    sizeof(bzOctreeObjectRef), sizeof(bzOctreeLeafRef), sizeof(bzBBox),
};
constexpr uint32_t kPerBlock[BZ_OCTREE_POOL_COUNT] = {64, 128, 32, 128, 128, 32};

void PlacedVertices(const bzOctreeEntry *e, const bzModelMesh *mesh, uint32_t face, bzV3 *v)
{
    const bzModelFace &f = mesh->faces[face];
    for (int i = 0; i < 3; i++)
    {
        const uint32_t k = f.v[i];
        v[i] = k < mesh->vertexCount ? mesh->positions[k] : bzV3{};
        if (e->matrix)
            bz_M34_TransformPoint(e->matrix, &v[i]);
    }
}

// Stamps (during the build the marks hold one depth stamp per face) of the faces that lay in
// the parent cell: d where the face overlaps the cell, d - 1 where it does not.
uint32_t StampFaces(const bzBox *cell, int32_t d)
{
    uint32_t count = 0;
    for (int32_t i = 0; i < gBuild->entryCount; i++)
    {
        bzOctreeEntry *e = &gBuild->entries[i];
        bzModelMesh mesh;
        bz_Scene_GetModelMesh(e->model, &mesh);
        for (uint32_t f = 0; f < e->faceCount; f++)
        {
            if (d == 0)
            {
                e->marks[f] = 0;
                count++;
                continue;
            }
            if (static_cast<int32_t>(e->marks[f]) < d - 1)
                continue;
            bzV3 v[3];
            PlacedVertices(e, &mesh, f, v);
            if (bzOctree_TriangleOverlapsBox(&v[0], &v[1], &v[2], cell))
            {
                e->marks[f] = static_cast<uint32_t>(d);
                count++;
            }
            else
                e->marks[f] = static_cast<uint32_t>(d - 1);
        }
    }
    return count;
}

// An axis is split when more than half of the cell's faces lie wholly on one side of its
// centre.
uint32_t ChooseSplitAxes(const bzBox *cell, int32_t d, uint32_t count)
{
    uint32_t mask = 0;
    for (int axis = 0; axis < 3; axis++)
    {
        const float centre = (cell->min.v[axis] + cell->max.v[axis]) * 0.5f;
        uint32_t below = 0, above = 0;
        for (int32_t i = 0; i < gBuild->entryCount; i++)
        {
            const bzOctreeEntry *e = &gBuild->entries[i];
            bzModelMesh mesh;
            bz_Scene_GetModelMesh(e->model, &mesh);
            for (uint32_t f = 0; f < e->faceCount; f++)
            {
                if (e->marks[f] != static_cast<uint32_t>(d))
                    continue;
                bzV3 v[3];
                PlacedVertices(e, &mesh, f, v);
                if (v[0].v[axis] < centre && v[1].v[axis] < centre && v[2].v[axis] < centre)
                    below++;
                else if (v[0].v[axis] > centre && v[1].v[axis] > centre && v[2].v[axis] > centre)
                    above++;
            }
        }
        if (static_cast<float>(below + above) > static_cast<float>(count) * 0.5f)
            mask |= 1u << axis;
    }
    return mask;
}

bool MakeLeaf(uint32_t count, int32_t d, void **slot)
{
    bzOctreeLeaf *leaf = static_cast<bzOctreeLeaf *>(
        bz_Pool_Alloc(gBuild->pools[BZ_OCTREE_POOL_LEAVES], BZ_MEM_CLEAR));
    if (!leaf)
        return false;
    *slot = leaf;
    gLeafCount++;
    if (count == 0)
        return true;
    const int32_t stack = bz_TempStack_GetId();
    const uint32_t bytes = count * 6 + 2;
    uint16_t *words =
        stack ? static_cast<uint16_t *>(bz_TempStack_Alloc(stack, bytes, 0)) : nullptr;
    uint16_t *heapWords = nullptr;
    if (!words)
    {
        heapWords = static_cast<uint16_t *>(bz_MemAlloc(bytes, 0));
        words = heapWords;
        if (!words)
            return false;
    }
    uint32_t n = 0;
    int32_t lastEntry = -1;
    uint32_t last = 0, runStart = 0;
    for (int32_t i = 0; i < gBuild->entryCount; i++)
    {
        const bzOctreeEntry *e = &gBuild->entries[i];
        for (uint32_t f = 0; f < e->faceCount; f++)
        {
            if (e->marks[f] != static_cast<uint32_t>(d))
                continue;
            if (lastEntry == i && f == last + 1)
            {
                last = f;
                continue;
            }
            if (lastEntry >= 0)
                n += static_cast<uint32_t>(OctreeWriteRun(words + n, last - runStart));
            if (lastEntry != i)
            {
                if (lastEntry >= 0)
                    words[n++] = BZ_OCTREE_NEXT_ENTRY;
                words[n++] = static_cast<uint16_t>(i);
                lastEntry = i;
            }
            words[n++] = static_cast<uint16_t>(f);
            last = runStart = f;
        }
    }
    n += static_cast<uint32_t>(OctreeWriteRun(words + n, last - runStart));
    words[n++] = BZ_OCTREE_END;
    uint16_t *stream = static_cast<uint16_t *>(bz_MemAlloc(n * 2, BZ_MEM_PARENT, gBuild));
    if (stream)
        std::memcpy(stream, words, n * 2);
    if (heapWords)
        bz_MemFree(heapWords);
    else
        bz_TempStack_Free(stack, words);
    leaf->faces = stream;
    return stream != nullptr;
}

// Builds the cell into the slot: 1 for a leaf, 0 for a node, -1 when memory ran out.
int32_t BuildNode(const bzBox *cell, void **slot)
{
    const int32_t d = ++gDepth;
    struct Lower
    {
        ~Lower() { gDepth--; }
    } lower;
    const uint32_t count = StampFaces(cell, d);
    if (d >= BZ_OCTREE_MAX_DEPTH || (d > 0 && count < static_cast<uint32_t>(BZ_OCTREE_LEAF_FACES)))
        return MakeLeaf(count, d, slot) ? 1 : -1;
    const uint32_t split = ChooseSplitAxes(cell, d, count);
    if (d > 0 && split == 0)
        return MakeLeaf(count, d, slot) ? 1 : -1;
    bzOctreeNode *node = static_cast<bzOctreeNode *>(
        bz_Pool_Alloc(gBuild->pools[BZ_OCTREE_POOL_NODES], BZ_MEM_CLEAR));
    if (!node)
        return -1;
    *slot = node;
    gNodeCount++;
    node->splitMask = static_cast<uint8_t>(split);
    node->leafMask = 0;
    bz_Progress_Begin(8);
    int32_t result = 0;
    for (int32_t octant = 0; octant < 8; octant++)
    {
        if (octant & ~split)
            continue;
        bzBox child;
        OctreeOctantBox(cell, split, &child, octant);
        const int32_t r = BuildNode(&child, &node->child[octant]);
        if (r < 0)
        {
            result = -1;
            break;
        }
        if (r == 1)
            node->leafMask |= static_cast<uint8_t>(1u << octant);
        bz_Progress_Step();
    }
    bz_Progress_End();
    return result;
}

// The lumps below the root with a model, with their transforms into the root's space.
struct Collected
{
    bzOctree *octree;
    int32_t count;
    bool failed;
};

intptr_t CollectEntry(bzLump *lump, const bzM34 *matrix, void *user)
{
    Collected *c = static_cast<Collected *>(user);
    if (!bz_Lump_HasModel(lump) || (lump->flags & BZ_LUMP_HIDDEN))
        return 0;
    if (c->octree)
    {
        bzOctree *o = c->octree;
        bzOctreeEntry *e = &o->entries[c->count];
        e->lump = lump;
        e->model = bz_Lump_GetModel(lump);
        bzModelMesh mesh;
        bz_Scene_GetModelMesh(e->model, &mesh);
        // Face numbers above 0xFF00 cannot be stored in a stream.
        e->faceCount = static_cast<uint16_t>(mesh.faceCount > 0xFF01 ? 0xFF01 : mesh.faceCount);
        if (e->faceCount)
        {
            e->marks = static_cast<uint32_t *>(
                bz_MemAlloc(e->faceCount * 4u, BZ_MEM_CLEAR | BZ_MEM_PARENT, o));
            if (!e->marks)
            {
                c->failed = true;
                return 1;
            }
        }
        // Faces are used as they stand only when the whole placement is the identity.
        if (!bz_M34_IsIdentity(matrix) && !OctreeSetEntryMatrix(e, matrix))
        {
            c->failed = true;
            return 1;
        }
    }
    c->count++;
    return 0;
}
} // namespace

bool OctreeSetEntryMatrix(bzOctreeEntry *e, const bzM34 *matrix)
{
    const int32_t pool = bz_Pool_FindForSize(sizeof(bzM34));
    e->matrix = static_cast<bzM34 *>(bz_Pool_Alloc(pool, 0));
    e->inverse = e->matrix ? static_cast<bzM34 *>(bz_Pool_Alloc(pool, 0)) : nullptr;
    if (!e->inverse)
        return false;
    *e->matrix = *matrix;
    const float det = bz_M33_DeterminantPlain(matrix);
    e->singular = !(det > BZ_EPSILON || det < -BZ_EPSILON) || bz_M34_IsInvalid(matrix);
    if (e->singular)
        bz_M34_SetIdentity(e->inverse);
    else
        bz_InverseM34Into(matrix, e->inverse);
    return true;
}

bzOctree *OctreeAllocRecord(bzLump *root)
{
    bzOctree *o = static_cast<bzOctree *>(bz_MemAlloc(sizeof(bzOctree), BZ_MEM_CLEAR));
    if (!o)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    o->kind = BZ_OCTREE_KIND_TREE;
    o->rootLump = root;
    return o;
}

bzErrorCode bzOctree_CreatePools(bzOctree *octree)
{
    for (int32_t i = 0; i < BZ_OCTREE_POOL_COUNT; i++)
    {
        octree->pools[i] = bz_Pool_Create(kElementSizes[i], kPerBlock[i], 1, 0);
        if (!octree->pools[i])
        {
            bzOctree_DestroyPools(octree);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return BZ_ERROR_NO_MEMORY;
        }
    }
    return BZ_ERROR_NONE;
}

void bzOctree_DestroyPools(bzOctree *octree)
{
    for (int32_t i = 0; i < BZ_OCTREE_POOL_COUNT; i++)
    {
        if (octree->pools[i])
            bz_Pool_Destroy(octree->pools[i]);
        octree->pools[i] = 0;
    }
}

void bzOctree_Free(bzOctree *octree)
{
    if (!octree)
        return;
    // Lumps whose objects vanish with the pools no longer hold them.
    for (bzOctreeObject *obj = octree->objects; obj; obj = obj->nextObject)
    {
        if (obj->lump && obj->lump->octree == obj)
            obj->lump->octree = nullptr;
        if (obj->ownsMatrix)
            bz_Pool_FreeElement(bz_Pool_FindForSize(sizeof(bzM34)), (void *)obj->matrix);
    }
    const int32_t pool = bz_Pool_FindForSize(sizeof(bzM34));
    for (int32_t i = 0; i < octree->entryCount; i++)
    {
        if (octree->entries[i].matrix)
            bz_Pool_FreeElement(pool, octree->entries[i].matrix);
        if (octree->entries[i].inverse)
            bz_Pool_FreeElement(pool, octree->entries[i].inverse);
    }
    bzOctree copy = *octree;
    octree->kind = 0;
    bz_MemFree(octree);
    bzOctree_DestroyPools(&copy);
}

void bzOctree_FreeLumpField(bzOctreeObject *field)
{
    if (!field)
        return;
    uint32_t kind;
    std::memcpy(&kind, field, sizeof kind);
    if (kind == BZ_OCTREE_KIND_TREE)
        bzOctree_Free(reinterpret_cast<bzOctree *>(field));
    else if (kind == BZ_OCTREE_KIND_OBJECT)
    {
        bzOctree_RemoveObject(field);
        bzOctree_FreeObject(field);
    }
}

bzOctree *bzOctree_Build(bzLump *root)
{
    if (!root)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzOctree *o = OctreeAllocRecord(root);
    if (!o)
        return nullptr;
    Collected counting = {nullptr, 0, false};
    bz_Lump_WalkFromRoot(root, CollectEntry, &counting);
    if (counting.count > 0xFFFE)
    {
        bz_MemFree(o);
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    if (bzOctree_CreatePools(o) != BZ_ERROR_NONE)
    {
        bz_MemFree(o);
        return nullptr;
    }
    if (counting.count)
    {
        o->entries = static_cast<bzOctreeEntry *>(
            bz_MemAlloc(static_cast<uint32_t>(counting.count) * sizeof(bzOctreeEntry),
                        BZ_MEM_CLEAR | BZ_MEM_PARENT, o));
        if (!o->entries)
        {
            bzOctree_Free(o);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    Collected filling = {o, 0, false};
    if (counting.count)
        bz_Lump_WalkFromRoot(root, CollectEntry, &filling);
    o->entryCount = filling.count;
    if (filling.failed)
    {
        bzOctree_Free(o);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (bz_Lump_AddBounds(&o->bounds, root, nullptr) != BZ_ERROR_NONE)
        o->bounds = bzBox{{{{FLT_MAX, FLT_MAX, FLT_MAX}}}, {{{-FLT_MAX, -FLT_MAX, -FLT_MAX}}}};
    for (int j = 0; j < 3; j++)
    {
        o->bounds.min.v[j] -= 0.001f;
        o->bounds.max.v[j] += 0.001f;
    }
    gBuild = o;
    gNodeCount = gLeafCount = 0;
    void *rootSlot = nullptr;
    const int32_t r = BuildNode(&o->bounds, &rootSlot);
    gBuild = nullptr;
    o->root = static_cast<bzOctreeNode *>(rootSlot);
    if (r < 0)
    {
        bzOctree_Free(o);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    // The per-face stamps become the per-query visited bitmaps.
    for (int32_t i = 0; i < o->entryCount; i++)
    {
        bzOctreeEntry *e = &o->entries[i];
        if (e->marks)
            bz_MemFree(e->marks);
        e->marks = nullptr;
        if (e->faceCount)
        {
            e->marks = static_cast<uint32_t *>(
                bz_MemAlloc((e->faceCount + 31u) / 32u * 4u, BZ_MEM_CLEAR | BZ_MEM_PARENT, o));
            if (!e->marks)
            {
                bzOctree_Free(o);
                bzgLastError = BZ_ERROR_NO_MEMORY;
                return nullptr;
            }
        }
    }
    o->queryStamp = 0;
    return o;
}

uint32_t bzOctree_Checksum(const bzOctree *octree, uint32_t version)
{
    if (!octree)
        return 0;
    uint32_t sum = 0;
    const int32_t newer = version >= 5 ? 1 : 0;
    for (int32_t i = 0; i < octree->entryCount; i++)
    {
        const bzModel *model = octree->entries[i].model;
        uint32_t word = bz_Scene_GetChecksumWord(model);
        if (word == 0)
        {
            if (bz_Scene_GetModelFlags(model) & BZ_MODEL_NO_CHECKSUM)
                return 0;
            word = bz_Scene_ComputeModelChecksum(model, 1, newer, newer);
        }
        sum ^= word;
    }
    return sum;
}

int32_t bzOctree_HasLump(const bzOctree *octree, const bzLump *lump)
{
    if (!octree || !lump)
        return 0;
    for (int32_t i = 0; i < octree->entryCount; i++)
        if (octree->entries[i].lump == lump)
            return 1;
    return 0;
}

void OctreeOctantBox(const bzBox *nodeBox, uint32_t splitMask, bzBox *childBox, int32_t octant)
{
    for (int j = 0; j < 3; j++)
    {
        const float lo = nodeBox->min.v[j], hi = nodeBox->max.v[j];
        if (!(splitMask & (1u << j)))
        {
            childBox->min.v[j] = lo;
            childBox->max.v[j] = hi;
            continue;
        }
        const float centre = (lo + hi) * 0.5f;
        if (octant & (1 << j))
        {
            childBox->min.v[j] = centre;
            childBox->max.v[j] = hi;
        }
        else
        {
            childBox->min.v[j] = lo;
            childBox->max.v[j] = centre;
        }
    }
}

int32_t OctreeChildBox(const bzBox *nodeBox, const bzOctreeNode *node, bzBox *childBox,
                       int32_t octant)
{
    if (octant < 0 || octant > 7 || !node->child[octant] || (octant & ~node->splitMask))
        return 0;
    OctreeOctantBox(nodeBox, node->splitMask, childBox, octant);
    return 1;
}

uint32_t OctreeLeafWordCount(const bzOctreeLeaf *leaf)
{
    if (!leaf || !leaf->faces)
        return 0;
    uint32_t n = 0;
    while (leaf->faces[n] != BZ_OCTREE_END)
    {
        // An entry index may take any value: step over it without reading it as a word kind.
        if (n == 0 || leaf->faces[n] == BZ_OCTREE_NEXT_ENTRY)
            n += n == 0 ? 1 : 2;
        else
            n++;
    }
    return n + 1;
}

uint32_t OctreeCountLeafWords(const bzOctreeNode *node)
{
    if (!node)
        return 0;
    uint32_t sum = 0;
    for (int32_t i = 0; i < 8; i++)
    {
        if (!node->child[i])
            continue;
        if (node->leafMask & (1u << i))
            sum += OctreeLeafWordCount(static_cast<const bzOctreeLeaf *>(node->child[i]));
        else
            sum += OctreeCountLeafWords(static_cast<const bzOctreeNode *>(node->child[i]));
    }
    return sum;
}

int32_t OctreeWriteRun(uint16_t *out, uint32_t n)
{
    int32_t k = 0;
    while (n >= 254)
    {
        out[k++] = BZ_OCTREE_LONGEST_RUN;
        n -= 253;
    }
    if (n > 0)
        out[k++] = static_cast<uint16_t>(BZ_OCTREE_RUN | n);
    return k;
}
