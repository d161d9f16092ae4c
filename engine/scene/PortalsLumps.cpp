// Lumps registered with the portal world: one record per room a lump lies in, linked into the
// room's list of dynamic lumps (or the world's list of lumps in no room) and chained per lump
// through the lump's room link.
#include "scene/Portals.h"

#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"

#include "scene/PortalsMoving.h"

namespace
{
bzRoomLink **ListOf(bzPortalWorld *w, int32_t room)
{
    void **list =
        room >= 0 && room < w->roomCount ? &w->rooms[room].dynamicLumps : &w->unplacedLumps;
    return reinterpret_cast<bzRoomLink **>(list);
}

void Unlink(bzPortalWorld *w, bzRoomLink *r)
{
    if (r->prev)
        r->prev->next = r->next;
    else
        *ListOf(w, r->room) = r->next;
    if (r->next)
        r->next->prev = r->prev;
    r->next = r->prev = nullptr;
}

// The box of a lump in its own space: its subtree's with children, else its model's, else the
// empty box.
void BoxOf(bzLump *lump, bzBox *out)
{
    bzV3 centre;
    float radius;
    if (lump->firstChild)
        bz_Lump_GetBoundsOrEmpty(out, lump, nullptr);
    else if (!bz_Scene_GetModelBounds(bz_Lump_GetModel(lump), out, &centre, &radius))
        bz_Box_SetEmpty(out);
}

int32_t PortalsReady()
{
    return bz_Portals_GetWorld() != nullptr;
}
} // namespace

int32_t bz_Portals_RegisterChildren(bzLump *lump)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump)
        return 0;
    int32_t count = 0;
    for (bzLump *child = lump->firstChild; child; child = child->next)
    {
        if (child->roomLink)
            continue;
        auto *r = static_cast<bzRoomLink *>(bz_MemAlloc(sizeof(bzRoomLink), BZ_MEM_CLEAR));
        if (!r)
            break;
        r->lump = child;
        BoxOf(child, &r->box);
        bzV3 centre =
            r->box.min.x <= r->box.max.x
                ? bzV3{{{(r->box.min.x + r->box.max.x) * 0.5f, (r->box.min.y + r->box.max.y) * 0.5f,
                         (r->box.min.z + r->box.max.z) * 0.5f}}}
                : bzV3{{{0, 0, 0}}};
        bz_M34_TransformPoint(&child->matrix, &centre);
        r->room = static_cast<int16_t>(bz_Portals_FindRoom(&centre));
        bzRoomLink **list = ListOf(w, r->room);
        r->next = *list;
        if (*list)
            (*list)->prev = r;
        *list = r;
        child->roomLink = r;
        count++;
    }
    return count;
}

int32_t bz_Portals_RoomOfLump(const bzLump *lump)
{
    if (!lump || !lump->roomLink)
        return -2;
    return lump->roomLink->room;
}

int32_t bz_Portals_IsLumpInRoom(const bzLump *lump, int32_t room)
{
    for (const bzRoomLink *r = lump ? lump->roomLink : nullptr; r; r = r->nextOfLump)
        if (r->room == room)
            return 1;
    return 0;
}

int32_t bz_Portals_CountRoomLumps(int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || room < -1 || room >= w->roomCount)
        return 0;
    int32_t n = 0;
    for (const bzRoomLink *r = *ListOf(w, room); r; r = r->next)
        n++;
    return n;
}

const bzRoomLink *bz_Portals_FirstRoomRecord(int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || room < -1 || room >= w->roomCount)
        return nullptr;
    return *ListOf(w, room);
}

const bzRoomLink *bz_Portals_NextRoomRecord(const bzRoomLink *record)
{
    return record ? record->next : nullptr;
}

bzLump *bz_Portals_RecordLump(const bzRoomLink *record)
{
    return record ? record->lump : nullptr;
}

int32_t bz_Portals_StoreLumpRoom(bzLump *lump, int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump || !lump->roomLink || lump->roomLink->room >= 0 || room < 0 ||
        room >= w->roomCount)
        return 0;
    PortalsMoveRecord(lump->roomLink, room);
    return 1;
}

void bz_Portals_FreeLumpRecords(bzRoomLink *chain)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    while (chain)
    {
        bzRoomLink *next = chain->nextOfLump;
        if (w)
            Unlink(w, chain);
        bz_MemFree(chain);
        chain = next;
    }
}

void bz_Portals_LumpDestroyed(bzLump *lump)
{
    if (!lump)
        return;
    lump->flags &= ~BZ_LUMP_IN_PORTALS;
    PortalsFreeMover(lump);
}

bzRoomLink *PortalsNewRecord(bzLump *lump, const bzBox *box, int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump)
        return nullptr;
    auto *r = static_cast<bzRoomLink *>(bz_MemAlloc(sizeof(bzRoomLink), BZ_MEM_CLEAR));
    if (!r)
        return nullptr;
    r->lump = lump;
    r->box = *box;
    r->room = static_cast<int16_t>(room >= 0 && room < w->roomCount ? room : -1);
    PortalsLinkRecord(r);
    return r;
}

void PortalsLinkRecord(bzRoomLink *r)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    bzRoomLink **list = ListOf(w, r->room);
    r->prev = nullptr;
    r->next = *list;
    if (*list)
        (*list)->prev = r;
    *list = r;
}

void PortalsMoveRecord(bzRoomLink *r, int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !r)
        return;
    Unlink(w, r);
    r->room = static_cast<int16_t>(room >= 0 && room < w->roomCount ? room : -1);
    PortalsLinkRecord(r);
}

void PortalsBoxOf(bzLump *lump, bzBox *out)
{
    BoxOf(lump, out);
}

bzRoomLink *bz_Portals_AddLumpRecord(bzLump *lump, int32_t room)
{
    if (!lump)
        return nullptr;
    bzBox box;
    BoxOf(lump, &box);
    bzRoomLink *r = PortalsNewRecord(lump, &box, room);
    if (!r)
        return nullptr;
    // Chained after the lump's first record, which stays its own.
    if (lump->roomLink)
    {
        r->mover = lump->roomLink->mover;
        r->nextOfLump = lump->roomLink->nextOfLump;
        lump->roomLink->nextOfLump = r;
    }
    else
        lump->roomLink = r;
    return r;
}

void bz_Portals_ReleaseLumps(bzPortalWorld *w)
{
    PortalsFreeMovers();
    for (int32_t room = -1; room < w->roomCount; room++)
    {
        bzRoomLink **list = ListOf(w, room);
        while (*list)
        {
            bzRoomLink *r = *list;
            *list = r->next;
            if (r->lump && r->lump->roomLink == r)
                r->lump->roomLink = nullptr;
            bz_MemFree(r);
        }
    }
}

void bz_Portals_InstallLumpHooks()
{
    static const bzLumpTreeHooks hooks = {nullptr, PortalsReady, bz_Portals_LumpDestroyed,
                                          bz_Portals_FreeLumpRecords};
    bz_Lump_SetTreeHooks(&hooks);
}
