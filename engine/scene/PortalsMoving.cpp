// Lumps that move between rooms: their portal records, the moving list that is re-placed each
// frame, placing a lump in a room and spreading it into the neighbouring rooms its box reaches.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/Portals.h"
#include "scene/PortalsMoving.h"

#include <cmath>

namespace
{
bzPortalMover *gMoving = nullptr;    // the moving list
bzPortalMover *gAllMovers = nullptr; // every portal record, for their release with the world
int32_t (*gAtRest)(const void *dynamicsObject) = nullptr;

constexpr float kUnplacedRadius = 5.0f;

bzPortalMover *MoverOf(const bzLump *lump)
{
    if (!lump || !(lump->flags & BZ_LUMP_IN_PORTALS) || !lump->roomLink)
        return nullptr;
    return lump->roomLink->mover;
}

void PushMoving(bzPortalMover *m)
{
    m->prev = nullptr;
    m->next = gMoving;
    if (gMoving)
        gMoving->prev = m;
    gMoving = m;
    m->flags &= ~BZ_MOVER_NOT_MOVING;
}

void TakeOffMoving(bzPortalMover *m)
{
    if (m->flags & BZ_MOVER_NOT_MOVING)
        return;
    if (m->prev)
        m->prev->next = m->next;
    else if (gMoving == m)
        gMoving = m->next;
    if (m->next)
        m->next->prev = m->prev;
    m->next = m->prev = nullptr;
    m->flags |= BZ_MOVER_NOT_MOVING;
}

bool HasBox(const bzBox &b)
{
    return b.min.x <= b.max.x && b.min.y <= b.max.y && b.min.z <= b.max.z;
}

// The point the lump is placed by: its box centre placed by its matrix, or its translation.
bzV3 PositionOf(const bzPortalMover &m)
{
    bzV3 centre = {{{0, 0, 0}}};
    if (HasBox(m.box))
        for (int32_t k = 0; k < 3; k++)
            centre.v[k] = (m.box.min.v[k] + m.box.max.v[k]) * 0.5f;
    bzV3 out;
    bz_M34_TransformPointInto(&m.lump->matrix, &out, &centre);
    return out;
}

// Frees the lump's records after the first.
void DropSpread(bzLump *lump)
{
    bzRoomLink *first = lump->roomLink;
    if (first && first->nextOfLump)
    {
        bz_Portals_FreeLumpRecords(first->nextOfLump);
        first->nextOfLump = nullptr;
    }
}

void SetSafeRadius(bzPortalMover &m, int32_t room)
{
    const float d = PortalsNearestPortalDistance(room, &m.position) - 0.01f;
    m.safeRadius = d > 0.0f ? d : 0.0f;
}

// Moves the lump's first record to the room, the records of its spread dropped and made again.
void MoveTo(bzPortalMover &m, int32_t room)
{
    DropSpread(m.lump);
    PortalsMoveRecord(m.lump->roomLink, room);
    if ((m.flags & BZ_MOVER_SPANS) && room >= 0)
        PortalsSpreadLump(m.lump, m.lump->roomLink, 0.0f, 0, nullptr);
}

// A separating-axis test of the box placed by the matrix against the portal polygon.
bool BoxMeetsPolygon(const bzBox &box, const bzM34 &matrix, const bzPortal &p)
{
    bzV3 centre = {{{0, 0, 0}}}, half;
    for (int32_t k = 0; k < 3; k++)
    {
        centre.v[k] = (box.min.v[k] + box.max.v[k]) * 0.5f;
        half.v[k] = (box.max.v[k] - box.min.v[k]) * 0.5f;
    }
    bzV3 c;
    bz_M34_TransformPointInto(&matrix, &c, &centre);
    const bzV3 *rows = matrix.row;
    auto separates = [&](const bzV3 &axis)
    {
        if (bz_V3_Dot(&axis, &axis) <= 1e-12f)
            return false;
        float boxReach = 0.0f;
        for (int32_t k = 0; k < 3; k++)
            boxReach += half.v[k] * std::fabs(bz_V3_Dot(&rows[k], &axis));
        const float at = bz_V3_Dot(&axis, &c);
        float lo = 3.4028235e38f, hi = -3.4028235e38f;
        for (int32_t v = 0; v < p.vertexCount; v++)
        {
            const float s = bz_V3_Dot(&axis, &p.vertices[v]);
            lo = s < lo ? s : lo;
            hi = s > hi ? s : hi;
        }
        return hi < at - boxReach || lo > at + boxReach;
    };
    for (int32_t k = 0; k < 3; k++)
        if (separates(rows[k]))
            return false;
    if (separates(p.plane.n))
        return false;
    for (int32_t v = 0; v < p.vertexCount; v++)
    {
        const bzV3 &a = p.vertices[v == 0 ? p.vertexCount - 1 : v - 1];
        bzV3 edge, axis;
        bz_V3_SubInto(&p.vertices[v], &a, &edge);
        for (int32_t k = 0; k < 3; k++)
        {
            bz_V3_CrossInto(&edge, &rows[k], &axis);
            if (separates(axis))
                return false;
        }
    }
    return true;
}
} // namespace

void PortalsFreeMover(bzLump *lump)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m)
    {
        // The flag may already be cleared: find the record by its lump.
        for (bzPortalMover *it = gAllMovers; it; it = it->nextAll)
            if (it->lump == lump)
                m = it;
        if (!m)
            return;
    }
    TakeOffMoving(m);
    for (bzPortalMover **link = &gAllMovers; *link; link = &(*link)->nextAll)
        if (*link == m)
        {
            *link = m->nextAll;
            break;
        }
    for (bzRoomLink *r = lump->roomLink; r; r = r->nextOfLump)
        r->mover = nullptr;
    bz_MemFree(m);
}

void PortalsFreeMovers()
{
    while (gAllMovers)
    {
        bzPortalMover *m = gAllMovers;
        gAllMovers = m->nextAll;
        if (m->lump)
            m->lump->flags &= ~BZ_LUMP_IN_PORTALS;
        bz_MemFree(m);
    }
    gMoving = nullptr;
}

int32_t bz_Portals_RegisterLump(bzLump *lump, int32_t room)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump)
        return 0;
    if (lump->roomLink)
        return bz_Portals_AddLumpRecord(lump, room) != nullptr;
    auto *m = static_cast<bzPortalMover *>(bz_MemAlloc(sizeof(bzPortalMover), BZ_MEM_CLEAR));
    if (!m)
        return 0;
    m->lump = lump;
    PortalsBoxOf(lump, &m->box);
    bzRoomLink *first = PortalsNewRecord(lump, &m->box, -1);
    if (!first)
    {
        bz_MemFree(m);
        return 0;
    }
    first->mover = m;
    lump->roomLink = first;
    lump->flags |= BZ_LUMP_IN_PORTALS;
    m->nextAll = gAllMovers;
    gAllMovers = m;
    m->flags = BZ_MOVER_NOT_MOVING;
    PushMoving(m);
    if (!lump->parent && w->rootLump && w->rootLump != lump)
        bz_Lump_Attach(w->rootLump, lump);
    PortalsReplaceLump(lump);
    return 1;
}

void bz_Portals_TrackLump(bzLump *lump)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m || !bz_Portals_GetWorld())
        return;
    const bzV3 now = PositionOf(*m);
    int32_t room = lump->roomLink->room;
    if (room < 0)
    {
        room = bz_Portals_FindRoom(&now);
        m->position = now;
        if (room < 0)
        {
            m->safeRadius = kUnplacedRadius;
            return;
        }
        MoveTo(*m, room);
    }
    else if (!(m->flags & BZ_MOVER_UNTRACKED) && bz_V3_Distance(&now, &m->position) > m->safeRadius)
    {
        float t;
        const int32_t portal = PortalsSegmentExit(room, &m->position, &now, &t);
        if (portal >= 0)
        {
            const bzPortal &p = bz_Portals_GetWorld()->portals[portal];
            room = static_cast<int16_t>(static_cast<uint16_t>(p.roomA + p.roomB - room));
            MoveTo(*m, room);
        }
    }
    m->position = now;
    m->flags &= ~BZ_MOVER_UNTRACKED;
    if (room >= 0)
        SetSafeRadius(*m, room);
    else
        m->safeRadius = kUnplacedRadius;
}

void bz_Portals_LumpMoved(bzLump *lump, int32_t room)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m)
    {
        bz_Portals_RegisterLump(lump, room);
        if ((m = MoverOf(lump)) != nullptr && room >= 0)
            bz_Portals_PlaceInRoom(lump, room);
        return;
    }
    if (room >= 0 && room != lump->roomLink->room)
        MoveTo(*m, room);
}

void bz_Portals_LumpStaysPut(bzLump *lump)
{
    if (bzPortalMover *m = MoverOf(lump))
        TakeOffMoving(m);
}

void bz_Portals_LumpMovesAgain(bzLump *lump)
{
    bzPortalMover *m = MoverOf(lump);
    if (m && (m->flags & BZ_MOVER_NOT_MOVING))
        PushMoving(m);
}

void bz_Portals_SetRestTest(int32_t (*atRest)(const void *dynamicsObject))
{
    gAtRest = atRest;
}

void bz_Portals_ReplaceMovingLumps()
{
    for (bzPortalMover *m = gMoving; m;)
    {
        bzPortalMover *next = m->next;
        if (!(gAtRest && m->lump->dynamicsObject && gAtRest(m->lump->dynamicsObject)))
            bz_Portals_TrackLump(m->lump);
        m = next;
    }
}

int32_t bz_Portals_CountMovingLumps()
{
    int32_t n = 0;
    for (const bzPortalMover *m = gMoving; m; m = m->next)
        n++;
    return n;
}

void bz_Portals_PlaceInRoom(bzLump *lump, int32_t room)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m)
        return;
    MoveTo(*m, room);
    // The next track takes its position without looking for a portal on the way.
    m->position = {{{0, 0, 0}}};
    m->safeRadius = 0.0f;
    m->flags |= BZ_MOVER_UNTRACKED;
}

void bz_Portals_SetSpansRooms(bzLump *lump, int32_t on)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m)
        return;
    if (!on)
    {
        m->flags &= ~BZ_MOVER_SPANS;
        return;
    }
    m->flags |= BZ_MOVER_SPANS;
    if (lump->roomLink->room >= 0)
    {
        DropSpread(lump);
        const bzV3 centre = {
            {{(m->box.min.x + m->box.max.x) * 0.5f, (m->box.min.y + m->box.max.y) * 0.5f,
              (m->box.min.z + m->box.max.z) * 0.5f}}};
        PortalsSpreadLump(lump, lump->roomLink, 0.0f, 0, HasBox(m->box) ? &centre : nullptr);
    }
}

int32_t PortalsSpreadLump(bzLump *lump, bzRoomLink *record, float minRadius, int32_t exact,
                          const bzV3 *position)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump)
        return 0;
    bzRoomLink *r = record ? record : lump->roomLink;
    if (!r || r->room < 0 || r->room >= w->roomCount || !HasBox(r->box))
        return 0;
    const bzBox &box = r->box;
    bzV3 reach, centre;
    if (!position)
    {
        for (int32_t k = 0; k < 3; k++)
            reach.v[k] = std::fmax(-box.min.v[k], box.max.v[k]);
        centre = lump->matrix.row[3];
    }
    else
    {
        for (int32_t k = 0; k < 3; k++)
            reach.v[k] = std::fabs(position->v[k] - box.min.v[k]);
        bz_M34_TransformPointInto(&lump->matrix, &centre, position);
    }
    const float radius = bz_V3_Length(&reach) * bz_V3_Length(&lump->matrix.row[1]);
    if (radius < minRadius)
        return 0;
    const bzPortalRoom &room = w->rooms[r->room];
    int32_t added = 0;
    bzRoomLink *after = r;
    for (int32_t i = 0; i < room.portalCount; i++)
    {
        const bzPortal &p = w->portals[room.portals[i]];
        bzV3 d;
        bz_V3_SubInto(&centre, &p.centre, &d);
        if (bz_V3_Dot(&d, &d) > (radius + p.radius) * (radius + p.radius) ||
            std::fabs(bz_V3_Dot(&p.plane.n, &d)) > radius)
            continue;
        bzPlane local;
        bz_Plane_ToLocal(&p.plane, &lump->matrix, &local);
        if (!bz_Box_StraddlesPlane(&box, &local))
            continue;
        if (exact && !BoxMeetsPolygon(box, lump->matrix, p))
            continue;
        const int32_t other =
            static_cast<int16_t>(static_cast<uint16_t>(p.roomA + p.roomB - r->room));
        bzRoomLink *made = PortalsNewRecord(lump, &box, other);
        if (!made)
            break;
        made->mover = r->mover;
        made->nextOfLump = after->nextOfLump;
        after->nextOfLump = made;
        after = made;
        added++;
    }
    return added;
}

void PortalsReplaceLump(bzLump *lump)
{
    bzPortalMover *m = MoverOf(lump);
    if (!m || !bz_Portals_GetWorld())
        return;
    const bzV3 at = PositionOf(*m);
    bz_Portals_PlaceInRoom(lump, bz_Portals_FindRoom(&at));
}
