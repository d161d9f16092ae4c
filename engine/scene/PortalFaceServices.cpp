#include "scene/PortalFaceServices.h"

namespace
{
bzPortalFaceServices gFaces;
} // namespace

void bz_Portals_SetFaceServices(const bzPortalFaceServices *services)
{
    gFaces = services ? *services : bzPortalFaceServices{};
}

void *bz_Portals_CreateFaceList(int32_t capacity)
{
    return gFaces.createList ? gFaces.createList(capacity) : nullptr;
}

void bz_Portals_FreeFaceList(void *list)
{
    if (list && gFaces.freeList)
        gFaces.freeList(list);
}

int32_t bz_Portals_GatherFaces(void *list, const bzBox *box, bzLump *root, uint32_t mask,
                               uint32_t value)
{
    if (!list || !box || !gFaces.gather)
        return 0;
    return gFaces.gather(list, box, root, mask, value);
}

int32_t bz_Portals_NarrowFaces(void *destination, const void *source, const bzBox *box)
{
    if (!destination || !source || !box || !gFaces.narrow)
        return 0;
    return gFaces.narrow(destination, source, box);
}
