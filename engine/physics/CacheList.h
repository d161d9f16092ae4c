// The list of a world's collision caches, kept sorted by size. Each cache's key is the diagonal of
// the box its last refresh gathered faces over; the list runs through the caches' own sortNext and
// sortPrevious links, ascending by key, equal keys in the order they came. The list a cache goes
// into is the physics module's current list while one is set (the step sets its world's), else the
// list of the body's world (bzgPhysWorld.cacheList); with neither, only the key is stored.
#pragma once

struct BZDObject;
struct bzDynCollisionCache;

// The current list (null: none), which takes precedence over the worlds' lists.
void bz_Phys_SetCacheList(bzDynCollisionCache **head);
bzDynCollisionCache **bz_Phys_CacheList();

// Stores the cache's key and keeps the cache at its place in the list: a cache already in it
// moves back past larger keys or on past smaller ones; a new one goes in behind the last key not
// larger than its own.
void bz_Phys_SortCache(bzDynCollisionCache *cache, const BZDObject *owner);
// Takes the cache out of the list; nothing when it is not in it.
void bz_Phys_UnlinkCache(bzDynCollisionCache *cache, const BZDObject *owner);
