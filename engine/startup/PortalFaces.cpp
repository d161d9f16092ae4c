#include "startup/PortalFaces.h"

#include "collision/FaceList.h"
#include "collision/FormQuery.h"
#include "scene/PortalFaceServices.h"

namespace
{
// The lists grow as they fill, from a first block of this many faces by steps of the second; a
// query the collision layer cannot finish (its list full) reports the list short.
constexpr int32_t kFirstFaces = 256;
constexpr int32_t kGrowFaces = 1024;

void *CreateList(int32_t capacity)
{
    const int32_t first = capacity < kFirstFaces ? capacity : kFirstFaces;
    return bz_DynFaceList_CreateGrowing(nullptr, first > 0 ? first : 1, kGrowFaces);
}

void FreeList(void *list)
{
    bz_DynFaceList_Free(static_cast<bzDynFaceList *>(list));
}

int32_t Gather(void *list, const bzBox *box, bzLump *root, uint32_t mask, uint32_t value)
{
    auto *faces = static_cast<bzDynFaceList *>(list);
    faces->count = 0;
    const bzErrorCode status =
        bz_DynForm_IntersectLumpTree(box, nullptr, nullptr, root, faces, mask, value, 0, 0);
    if (status == BZ_ERROR_FACE_LIST_FULL)
        return -1;
    return faces->count;
}

int32_t Narrow(void *destination, const void *source, const bzBox *box)
{
    auto *to = static_cast<bzDynFaceList *>(destination);
    if (bz_DynForm_FaceListHit(box, nullptr, to, static_cast<const bzDynFaceList *>(source)))
        return -1;
    return to->count;
}
} // namespace

void bz_Startup_InstallPortalFaces()
{
    const bzPortalFaceServices services = {CreateList, FreeList, Gather, Narrow};
    bz_Portals_SetFaceServices(&services);
}

void bz_Startup_RemovePortalFaces()
{
    bz_Portals_SetFaceServices(nullptr);
}
