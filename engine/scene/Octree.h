// The octree: the spatial index of a lump tree. It indexes the faces of the models of the
// static lumps below a root lump, as run-length streams of face numbers in its leaves, and
// movable objects (lumps with a box and a placement) linked into every leaf whose cell their
// box overlaps. The root lump holds the octree in its octree field with BZ_LUMP_OCTREE set; a
// movable lump holds its object there with the bit clear. Queries over it are in
// OctreeQuery.h.
//
// Each inner node splits its cell at the centre along the axes of its split mask; octant bit 0
// is x, bit 1 y, bit 2 z, a set bit the upper half. Box faces are 0 min x, 1 max x, 2 min y,
// 3 max y, 4 min z, 5 max z.
//
// A leaf's face stream is u16 words: the first word and the word after each 0xFFFE is an entry
// index; 0x0000-0xFF00 a face number of the current entry; 0xFF01-0xFFFD a run of (word AND
// 0xFF) further faces after the last one named; 0xFFFE the end of an entry's faces; 0xFFFF the
// end of the stream.
//
// The octree chunk (versions 0 to 5 read, 5 written) is little-endian: version, entry count
// and entries (lump path, has-matrix byte, 12 floats), bounds, word total and the face words,
// the node records, the checksum. The reader checks every count, index and mask against its
// tables and the bytes left; a chunk that fails gives no octree and last-error 59 (14 when
// memory runs out).
//
// One build, read, write or query runs at a time (module state); none is re-entrant.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzFileHandle;
struct bzOctree;
struct bzOctreeObject;
struct bzOctreeLeaf;
struct bzOctreeObjectRef;
struct bzOctreeLeafRef;

// Build limits: the deepest cell (the root is depth 0), the face count below which a cell at
// depth 1 or more becomes a leaf.
constexpr int32_t BZ_OCTREE_MAX_DEPTH = 5;
constexpr int32_t BZ_OCTREE_LEAF_FACES = 32;
// The version the writer writes.
constexpr uint32_t BZ_OCTREE_VERSION = 5;
// Face stream words.
enum : uint16_t
{
    BZ_OCTREE_LAST_FACE = 0xFF00,
    BZ_OCTREE_RUN = 0xFF00,
    BZ_OCTREE_LONGEST_RUN = 0xFFFD,
    BZ_OCTREE_NEXT_ENTRY = 0xFFFE,
    BZ_OCTREE_END = 0xFFFF,
};

struct bzOctreeNode
{
    uint8_t splitMask;
    uint8_t leafMask; // bit i: slot i holds a leaf
    void *child[8];   // a bzOctreeNode or a bzOctreeLeaf; null = empty octant
};

struct bzOctreeLeaf
{
    const uint16_t *faces; // face stream, or null
    bzOctreeObjectRef *objects;
};

struct bzOctreeObjectRef
{
    bzOctreeObjectRef *next;
    bzOctreeObject *object;
};

struct bzOctreeLeafRef
{
    bzOctreeLeafRef *next;
    bzOctreeLeaf *leaf;
};

struct bzBBox
{
    bzBox box;
};

struct bzOctreeEntry
{
    bzLump *lump;
    bzModel *model;
    uint16_t faceCount;
    uint16_t touchedNext; // next entry index + 1 on the touched chain, 0 = not on it
    bzM34 *matrix;        // placement of the faces in the octree frame, or null
    bzM34 *inverse;       // its inverse (the octree frame into the model's), or null
    uint32_t *marks;      // visited bitmap, (faceCount + 31) / 32 words
    int32_t singular;     // the matrix has no inverse: the entry's faces are never hit
};

// The first word of both records tells them apart in a lump's octree field.
enum : uint32_t
{
    BZ_OCTREE_KIND_TREE = 0x4F435452,   // "OCTR"
    BZ_OCTREE_KIND_OBJECT = 0x4F424A54, // "OBJT"
};

struct bzOctreeObject
{
    uint32_t kind;
    const bzBox *box;    // the object's box in its own frame
    const bzM34 *matrix; // its placement in the octree frame, or null
    bzLump *lump;        // owner
    bzOctreeLeafRef *leaves;
    uint32_t stamp; // query stamp of the last query that tested it
    bzOctree *octree;
    uint8_t ownsBox;                         // the box came from the octree's box pool
    uint8_t ownsMatrix;                      // the matrix is a copy in the shared 48-byte pool
    bzOctreeObject *prevObject, *nextObject; // every object of the octree
};

enum : int32_t
{
    BZ_OCTREE_POOL_NODES,
    BZ_OCTREE_POOL_LEAVES,
    BZ_OCTREE_POOL_OBJECTS,
    BZ_OCTREE_POOL_OBJECT_REFS,
    BZ_OCTREE_POOL_LEAF_REFS,
    BZ_OCTREE_POOL_BOXES,
    BZ_OCTREE_POOL_COUNT,
};

struct bzOctree
{
    uint32_t kind;
    bzOctreeNode *root;
    bzLump *rootLump;
    bzBox bounds;
    int32_t entryCount;
    bzOctreeEntry *entries;
    uint32_t queryStamp;
    int32_t pools[BZ_OCTREE_POOL_COUNT];
    bzOctreeObjectRef *outsideObjects;
    uint16_t touchedHead;    // entry index + 1 of the first touched entry, 0 = none
    bzOctreeObject *objects; // every object, for the release of their lumps at free
};

// Builds the octree over the model lumps below the root (hidden lumps left out); null when
// memory runs out.
bzOctree *bzOctree_Build(bzLump *root);
// Reads an octree chunk payload at the cursor (never past end), version -1 meaning the first
// u32 holds it. Versions below 4 are read past and rebuilt from the lumps. The cursor moves
// past what was read. Null with last-error 59 for a damaged chunk (the cursor left where it
// was) and for a whole chunk that does not fit the lumps (a path naming no lump, a face its
// entry's model lacks, a checksum mismatch: the cursor moved past the chunk); 14 when memory
// runs out.
bzOctree *bzOctree_Read(const uint8_t **cursor, const uint8_t *end, int32_t version, bzLump *root);
// Writes the chunk payload, version 5; the result of the last write (0 for a null octree), or
// a negative value when a write came short or an entry's lump cannot be named. A lump path
// counts the siblings a container saves (transient lumps left out), so that it names the same
// lump in the tree read back from the container.
int32_t bzOctree_Write(const bzOctree *octree, bzFileHandle *stream);
// 1 when a container can carry the octree: every entry's lump lies below its root lump outside
// any transient subtree (which containers leave out); else 0.
int32_t bzOctree_IsSavable(const bzOctree *octree);
void bzOctree_Free(bzOctree *octree);
bzErrorCode bzOctree_CreatePools(bzOctree *octree);
void bzOctree_DestroyPools(bzOctree *octree);
uint32_t bzOctree_Checksum(const bzOctree *octree, uint32_t version);
int32_t bzOctree_HasLump(const bzOctree *octree, const bzLump *lump);
// A lump tree that draws the split planes: per node a MODEL lump with a rectangle across the
// cell at the x centre (when x is split) and at the z centre (when z is split), or a NULL lump
// when the node splits neither; the lumps of child nodes hang below. Null when nothing can be
// made.
bzLump *bzOctree_MakeDebugLumps(const bzOctree *octree);
// The lump tree's release of what its octree field holds: the octree, or the object of a
// movable lump (removed and freed). Installed as the lump tree's octree hook.
void bzOctree_FreeLumpField(bzOctreeObject *field);

// Objects. AddLumpObject makes the lump an object of the octree of its nearest ancestor with
// one: its box (or the lump's bounding box) placed by the matrix (or the lump's matrix relative
// to the octree's root lump). Null when no ancestor has an octree or memory runs out.
bzOctreeObject *bzOctree_AddLumpObject(const bzBox *box, const bzM34 *matrix, bzLump *lump);
void bzOctree_PlaceObject(bzOctree *octree, bzOctreeObject *object);
void bzOctree_RemoveObject(bzOctreeObject *object);
// After the object's lump moved: a matrix the octree keeps is taken again from the lump.
void bzOctree_UpdateObject(bzOctreeObject *object);
bzOctreeObject *bzOctree_AllocObject(bzOctree *octree);
void bzOctree_FreeObject(bzOctreeObject *object);
// Pushes a new reference to the object on the list; 0, or 14 when the pool is exhausted.
bzErrorCode OctreeLinkObjectRef(bzOctreeObject *object, bzOctreeObjectRef **head);

// The child's cell: 1, or 0 when the slot is empty or the octant asks for an unsplit axis.
int32_t OctreeChildBox(const bzBox *nodeBox, const bzOctreeNode *node, bzBox *childBox,
                       int32_t octant);
// The cell of an octant, whether the slot holds anything or not.
void OctreeOctantBox(const bzBox *nodeBox, uint32_t splitMask, bzBox *childBox, int32_t octant);
// Words of a leaf's stream with its end word (0 for none), and their sum over a subtree.
uint32_t OctreeLeafWordCount(const bzOctreeLeaf *leaf);
uint32_t OctreeCountLeafWords(const bzOctreeNode *node);
// Appends the words of a run of n further faces: 0xFFFD for each 253 while n >= 254, then
// 0xFF00 | n when n > 0. Returns the number of words written.
int32_t OctreeWriteRun(uint16_t *out, uint32_t n);

// Calls entry(index) at each entry of a stream (returning false skips its faces) and
// face(index, face) for each face; a non-zero face result ends the walk and is returned.
template <class EntryFn, class FaceFn>
inline intptr_t OctreeWalkStream(const uint16_t *w, EntryFn &&entry, FaceFn &&face)
{
    if (!w)
        return 0;
    uint32_t index = *w++;
    bool take = entry(index);
    uint32_t counter = 0;
    for (;;)
    {
        const uint32_t word = *w++;
        if (word == BZ_OCTREE_END)
            return 0;
        if (word == BZ_OCTREE_NEXT_ENTRY)
        {
            index = *w++;
            take = entry(index);
            continue;
        }
        if (word <= BZ_OCTREE_LAST_FACE)
        {
            counter = word;
            if (take)
                if (const intptr_t r = face(index, counter))
                    return r;
            counter++;
            continue;
        }
        for (uint32_t n = word & 0xFF; n > 0; n--, counter++)
            if (take)
                if (const intptr_t r = face(index, counter))
                    return r;
    }
}
