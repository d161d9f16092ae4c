// What the collision layer asks of the dynamics controller: a lump's dynamics object's
// collision cache and collision flag, the waking of a dormant pooled object, and the box the
// object pool keeps for a lump's slot. The dynamics controller installs the table; without it a
// lump has no cache, no pooled object wakes and no slot has a box.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzDynCollisionCache;

struct bzCollisionDynamicsServices
{
    bzDynCollisionCache *(*getCollisionCache)(void *dynamicsObject);
    // Non-zero when the object's body carries the collision flag (physics flag bit 7).
    int32_t (*hasCollisionFlag)(void *dynamicsObject);
    // Wakes the pooled lump touched by the toucher's body; non-zero when it did not.
    int32_t (*activate)(bzLump *lump, bzLump *toucher);
    // The pool's box for the lump's slot, or null.
    const bzBox *(*getSlotBox)(const bzLump *lump);
};

// Installs the table (copied); null removes it.
void bz_Collision_SetDynamicsServices(const bzCollisionDynamicsServices *services);

bzDynCollisionCache *bz_Collision_GetObjectCache(void *dynamicsObject);
int32_t bz_Collision_HasCollisionFlag(void *dynamicsObject);
// 1 (not woken) without a table.
int32_t bz_DynObject_Activate(bzLump *lump, bzLump *toucher);
const bzBox *bz_Collision_GetSlotBox(const bzLump *lump);
