#include "collision/DynamicsLink.h"

namespace
{
bzCollisionDynamicsServices gServices = {};
} // namespace

void bz_Collision_SetDynamicsServices(const bzCollisionDynamicsServices *services)
{
    gServices = services ? *services : bzCollisionDynamicsServices{};
}

bzDynCollisionCache *bz_Collision_GetObjectCache(void *dynamicsObject)
{
    return dynamicsObject && gServices.getCollisionCache
               ? gServices.getCollisionCache(dynamicsObject)
               : nullptr;
}

int32_t bz_Collision_HasCollisionFlag(void *dynamicsObject)
{
    return dynamicsObject && gServices.hasCollisionFlag ? gServices.hasCollisionFlag(dynamicsObject)
                                                        : 0;
}

int32_t bz_DynObject_Activate(bzLump *lump, bzLump *toucher)
{
    return gServices.activate ? gServices.activate(lump, toucher) : 1;
}

const bzBox *bz_Collision_GetSlotBox(const bzLump *lump)
{
    return gServices.getSlotBox ? gServices.getSlotBox(lump) : nullptr;
}
