// Movable objects in an octree: adding a lump as an object, placing it in every leaf its box
// overlaps (or on the outside list), moving and removing it.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/OctreeInternal.h"

namespace
{
void AddToLeaf(bzOctreeObject *object, bzOctreeLeaf *leaf, const bzBox *cell)
{
    bzM34 identity;
    const bzM34 *m = object->matrix;
    if (!m)
    {
        bz_M34_RelativePair(nullptr, nullptr, &identity, nullptr);
        m = &identity;
    }
    if (!bz_Box_OrientedOverlap(m, object->box, cell))
        return;
    bzOctree *o = object->octree;
    bzOctreeLeafRef *lr = static_cast<bzOctreeLeafRef *>(
        bz_Pool_Alloc(o->pools[BZ_OCTREE_POOL_LEAF_REFS], BZ_MEM_CLEAR));
    if (!lr)
        return;
    if (OctreeLinkObjectRef(object, &leaf->objects) != BZ_ERROR_NONE)
    {
        bz_Pool_FreeElement(o->pools[BZ_OCTREE_POOL_LEAF_REFS], lr);
        return;
    }
    lr->leaf = leaf;
    lr->next = object->leaves;
    object->leaves = lr;
}

void Insert(bzOctreeObject *object, const bzOctreeNode *node, const bzBox *cell,
            const bzBox *worldBox, int32_t depth)
{
    for (int32_t octant = 0; octant < 8; octant++)
    {
        bzBox child;
        if (!OctreeChildBox(cell, node, &child, octant))
            continue;
        if (!(child.min.x <= worldBox->max.x && child.max.x >= worldBox->min.x &&
              child.min.y <= worldBox->max.y && child.max.y >= worldBox->min.y &&
              child.min.z <= worldBox->max.z && child.max.z >= worldBox->min.z))
            continue;
        if (node->leafMask & (1u << octant))
            AddToLeaf(object, static_cast<bzOctreeLeaf *>(node->child[octant]), &child);
        else if (depth < BZ_OCTREE_MAX_DEPTH)
            Insert(object, static_cast<const bzOctreeNode *>(node->child[octant]), &child, worldBox,
                   depth + 1);
    }
}

// Unlinks the first reference to the object from the list; the cursor of a running query
// moves on when it named that reference.
void UnlinkObjectRef(bzOctree *o, bzOctreeObject *object, bzOctreeObjectRef **head)
{
    for (bzOctreeObjectRef **p = head; *p; p = &(*p)->next)
    {
        bzOctreeObjectRef *r = *p;
        if (r->object != object)
            continue;
        *p = r->next;
        if (gOctreeCursor == r)
            gOctreeCursor = r->next;
        bz_Pool_FreeElement(o->pools[BZ_OCTREE_POOL_OBJECT_REFS], r);
        return;
    }
}
} // namespace

bzErrorCode OctreeLinkObjectRef(bzOctreeObject *object, bzOctreeObjectRef **head)
{
    bzOctreeObjectRef *r = static_cast<bzOctreeObjectRef *>(
        bz_Pool_Alloc(object->octree->pools[BZ_OCTREE_POOL_OBJECT_REFS], BZ_MEM_CLEAR));
    if (!r)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    r->object = object;
    r->next = *head;
    *head = r;
    return BZ_ERROR_NONE;
}

bzOctreeObject *bzOctree_AllocObject(bzOctree *octree)
{
    if (!octree)
        return nullptr;
    bzOctreeObject *obj = static_cast<bzOctreeObject *>(
        bz_Pool_Alloc(octree->pools[BZ_OCTREE_POOL_OBJECTS], BZ_MEM_CLEAR));
    if (!obj)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    obj->kind = BZ_OCTREE_KIND_OBJECT;
    obj->octree = octree;
    obj->nextObject = octree->objects;
    if (octree->objects)
        octree->objects->prevObject = obj;
    octree->objects = obj;
    return obj;
}

void bzOctree_FreeObject(bzOctreeObject *object)
{
    if (!object || !object->octree)
        return;
    bzOctree *o = object->octree;
    if (object->prevObject)
        object->prevObject->nextObject = object->nextObject;
    else
        o->objects = object->nextObject;
    if (object->nextObject)
        object->nextObject->prevObject = object->prevObject;
    if (object->ownsBox)
        bz_Pool_FreeElement(o->pools[BZ_OCTREE_POOL_BOXES], (void *)object->box);
    if (object->ownsMatrix)
        bz_Pool_FreeElement(bz_Pool_FindForSize(sizeof(bzM34)), (void *)object->matrix);
    if (object->lump && object->lump->octree == object)
        object->lump->octree = nullptr;
    object->kind = 0;
    bz_Pool_FreeElement(o->pools[BZ_OCTREE_POOL_OBJECTS], object);
}

bzOctreeObject *bzOctree_AddLumpObject(const bzBox *box, const bzM34 *matrix, bzLump *lump)
{
    if (!lump)
        return nullptr;
    bzLump *holder = lump->parent;
    while (holder && !(holder->flags & BZ_LUMP_OCTREE))
        holder = holder->parent;
    if (!holder || !holder->octree)
        return nullptr;
    bzOctree *o = reinterpret_cast<bzOctree *>(holder->octree);
    bzOctreeObject *obj = bzOctree_AllocObject(o);
    if (!obj)
        return nullptr;
    obj->lump = lump;
    if (box)
        obj->box = box;
    else
    {
        bzBBox *b = static_cast<bzBBox *>(bz_Pool_Alloc(o->pools[BZ_OCTREE_POOL_BOXES], 0));
        if (!b)
        {
            bzOctree_FreeObject(obj);
            return nullptr;
        }
        bz_Lump_GetBoundingBox(lump, &b->box);
        obj->box = &b->box;
        obj->ownsBox = 1;
    }
    if (matrix)
        obj->matrix = matrix;
    else
    {
        bzM34 *m = static_cast<bzM34 *>(bz_Pool_Alloc(bz_Pool_FindForSize(sizeof(bzM34)), 0));
        if (!m)
        {
            bzOctree_FreeObject(obj);
            return nullptr;
        }
        bz_Lump_GetRelativeMatrix(m, lump, o->rootLump);
        obj->matrix = m;
        obj->ownsMatrix = 1;
    }
    // A lump that held an octree of its own lets it go first.
    bz_Lump_FreeOctree(lump);
    lump->flags &= ~BZ_LUMP_OCTREE;
    lump->octree = obj;
    bzOctree_PlaceObject(o, obj);
    return obj;
}

void bzOctree_PlaceObject(bzOctree *octree, bzOctreeObject *object)
{
    if (!object)
        return;
    bzBox world;
    if (object->matrix)
        bz_Box_TransformInto(object->box, object->matrix, &world);
    else
        world = *object->box;
    if (octree)
        object->octree = octree;
    bzOctree *o = object->octree;
    if (o && o->root)
        Insert(object, o->root, &o->bounds, &world, 0);
    if (o && !object->leaves)
        OctreeLinkObjectRef(object, &o->outsideObjects);
    object->stamp = 0;
}

void bzOctree_RemoveObject(bzOctreeObject *object)
{
    if (!object || !object->octree)
        return;
    bzOctree *o = object->octree;
    if (!object->leaves)
    {
        UnlinkObjectRef(o, object, &o->outsideObjects);
        return;
    }
    while (bzOctreeLeafRef *lr = object->leaves)
    {
        object->leaves = lr->next;
        UnlinkObjectRef(o, object, &lr->leaf->objects);
        bz_Pool_FreeElement(o->pools[BZ_OCTREE_POOL_LEAF_REFS], lr);
    }
}

void bzOctree_UpdateObject(bzOctreeObject *object)
{
    if (!object)
        return;
    bzOctree_RemoveObject(object);
    if (object->ownsMatrix && object->lump && object->octree)
        bz_Lump_GetRelativeMatrix(const_cast<bzM34 *>(object->matrix), object->lump,
                                  object->octree->rootLump);
    bzOctree_PlaceObject(nullptr, object);
}
