// The size-sorted list of a world's collision caches.
#include "physics/CacheList.h"

#include "collision/FaceList.h"
#include "core/Debug.h"
#include "physics/PhysServices.h"

#include <cmath>

namespace
{
bzDynCollisionCache **gCurrent = nullptr;

bzDynCollisionCache **ListOf(const BZDObject *owner)
{
    if (gCurrent)
        return gCurrent;
    if (owner && bzgPhysWorld.cacheList)
        return bzgPhysWorld.cacheList(owner);
    return nullptr;
}

bool Linked(const bzDynCollisionCache *cache, bzDynCollisionCache *const *head)
{
    return cache->sortPrevious || *head == cache;
}

void Unlink(bzDynCollisionCache *cache, bzDynCollisionCache **head)
{
    if (cache->sortPrevious)
        cache->sortPrevious->sortNext = cache->sortNext;
    else
        *head = cache->sortNext;
    if (cache->sortNext)
        cache->sortNext->sortPrevious = cache->sortPrevious;
    cache->sortNext = nullptr;
    cache->sortPrevious = nullptr;
}

// Puts the cache in between previous (null: at the head) and previous's next.
void LinkAfter(bzDynCollisionCache *cache, bzDynCollisionCache *previous,
               bzDynCollisionCache **head)
{
    bzDynCollisionCache *next = previous ? previous->sortNext : *head;
    cache->sortPrevious = previous;
    cache->sortNext = next;
    if (previous)
        previous->sortNext = cache;
    else
        *head = cache;
    if (next)
        next->sortPrevious = cache;
}

float Diagonal(const bzBox &box)
{
    const double dx = double(box.max.x) - box.min.x, dy = double(box.max.y) - box.min.y,
                 dz = double(box.max.z) - box.min.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    return std::isfinite(d) ? float(d) : 0.0f;
}
} // namespace

void bz_Phys_SetCacheList(bzDynCollisionCache **head)
{
    gCurrent = head;
}

bzDynCollisionCache **bz_Phys_CacheList()
{
    return gCurrent;
}

void bz_Phys_SortCache(bzDynCollisionCache *cache, const BZDObject *owner)
{
    BZ_ASSERT(cache);
    if (!cache)
        return;
    const float key = Diagonal(cache->gatherBox);
    cache->sortKey = key;
    bzDynCollisionCache **head = ListOf(owner);
    if (!head)
        return;
    if (!Linked(cache, head))
    {
        bzDynCollisionCache *previous = nullptr;
        for (bzDynCollisionCache *c = *head; c && c->sortKey <= key; c = c->sortNext)
            previous = c;
        LinkAfter(cache, previous, head);
        return;
    }
    bzDynCollisionCache *previous = cache->sortPrevious;
    if (previous && previous->sortKey > key)
    {
        while (previous && previous->sortKey > key)
            previous = previous->sortPrevious;
    }
    else if (cache->sortNext && cache->sortNext->sortKey < key)
    {
        previous = cache->sortNext;
        while (previous->sortNext && previous->sortNext->sortKey < key)
            previous = previous->sortNext;
    }
    else
        return;
    Unlink(cache, head);
    LinkAfter(cache, previous, head);
}

void bz_Phys_UnlinkCache(bzDynCollisionCache *cache, const BZDObject *owner)
{
    BZ_ASSERT(cache);
    if (!cache)
        return;
    bzDynCollisionCache **head = ListOf(owner);
    if (!head || !Linked(cache, head))
        return;
    Unlink(cache, head);
}
