// The rooms of the room calculation: floods of the inside cells from both sides of every
// portal, the joins of portal sides whose floods meet, the rooms' boxes and sample points.
//
// Rooms and their portal lists grow as the floods need them, up to the 16-bit counts of the
// binary world; past them, or when memory runs out, a room or a list entry is not made and the
// calculation reports it.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "scene/LumpRay.h"
#include "scene/Portals.h"
#include "scene/PortalsCells.h"

namespace
{
// Where a flood of a side that got no room grows its box.
bzBox gNoRoomBox;

bzPortalWorld &World()
{
    return *bz_Portals_GetWorld();
}

uint16_t &RoomField(int32_t portal, int32_t side)
{
    bzPortal &p = World().portals[portal];
    return side ? p.roomB : p.roomA;
}

bzBox EmptyBox()
{
    return {{{{3.4028235e38f, 3.4028235e38f, 3.4028235e38f}}},
            {{{-3.4028235e38f, -3.4028235e38f, -3.4028235e38f}}}};
}

bzBox Grown(const bzBox &b, float by)
{
    return {{{{b.min.x - by, b.min.y - by, b.min.z - by}}},
            {{{b.max.x + by, b.max.y + by, b.max.z + by}}}};
}

void Short(bzErrorCode code)
{
    bzPortalWork &work = PortalsWork();
    if (!work.shortage || code == BZ_ERROR_NO_MEMORY)
        work.shortage = code;
}

// A new room with no portals and the empty box; BZ_PORTAL_NO_ROOM when none can be made.
uint16_t NewRoom()
{
    bzPortalWorld &w = World();
    bzPortalWork &work = PortalsWork();
    if (w.roomCount >= BZ_PORTAL_MAX_ROOMS)
    {
        Short(BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        return BZ_PORTAL_NO_ROOM;
    }
    if (w.roomCount >= work.roomCapacity)
    {
        int32_t capacity = work.roomCapacity ? work.roomCapacity : 100;
        while (capacity <= w.roomCount)
            capacity *= 2;
        capacity = capacity > BZ_PORTAL_MAX_ROOMS ? BZ_PORTAL_MAX_ROOMS : capacity;
        auto *rooms = static_cast<bzPortalRoom *>(
            bz_MemRealloc(w.rooms, static_cast<uint32_t>(capacity * sizeof(bzPortalRoom)),
                          BZ_MEM_CLEAR | BZ_MEM_PARENT, &w));
        auto *lists = static_cast<int32_t *>(bz_MemRealloc(
            work.portalCapacity, static_cast<uint32_t>(capacity * sizeof(int32_t)), BZ_MEM_CLEAR));
        if (rooms)
            w.rooms = rooms;
        if (lists)
            work.portalCapacity = lists;
        if (!rooms || !lists)
        {
            Short(BZ_ERROR_NO_MEMORY);
            return BZ_PORTAL_NO_ROOM;
        }
        work.roomCapacity = capacity;
    }
    const int32_t index = w.roomCount++;
    bzPortalRoom &room = w.rooms[index];
    room = {};
    room.box = EmptyBox();
    work.portalCapacity[index] = 0;
    return static_cast<uint16_t>(index);
}

// Appends the portal to the room's list: false when the list cannot grow.
bool Append(uint16_t room, int32_t portal)
{
    bzPortalWorld &w = World();
    bzPortalWork &work = PortalsWork();
    bzPortalRoom &r = w.rooms[room];
    if (room >= work.roomCapacity || r.portalCount < 0)
        return false;
    if (r.portalCount >= BZ_PORTAL_MAX_ROOM_PORTALS)
    {
        Short(BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        return false;
    }
    if (r.portalCount >= work.portalCapacity[room])
    {
        int32_t capacity = work.portalCapacity[room] ? work.portalCapacity[room] * 2 : 8;
        capacity = capacity > BZ_PORTAL_MAX_ROOM_PORTALS ? BZ_PORTAL_MAX_ROOM_PORTALS : capacity;
        auto *list = static_cast<uint16_t *>(bz_MemRealloc(
            r.portals, static_cast<uint32_t>(capacity * sizeof(uint16_t)), BZ_MEM_PARENT, &w));
        if (!list)
        {
            Short(BZ_ERROR_NO_MEMORY);
            return false;
        }
        r.portals = list;
        work.portalCapacity[room] = capacity;
    }
    r.portals[r.portalCount++] = static_cast<uint16_t>(portal);
    return true;
}

bzBox &RoomBox(int32_t tag)
{
    const uint16_t room = PortalsRoomOfTag(tag);
    if (room == BZ_PORTAL_NO_ROOM)
        return gNoRoomBox;
    return World().rooms[room].box;
}

bool Leaf(const bzPortalCell *cell)
{
    return !(cell->flags & BZ_CELL_SPLIT);
}

// An inside leaf that no portal crosses: the space the floods fill.
bool Floodable(const bzPortalCell *cell)
{
    return Leaf(cell) && (cell->flags & BZ_CELL_INSIDE) && !(cell->flags & BZ_CELL_PORTAL);
}

// The leaves at or below the cell whose boxes meet the box (touching counts), in slot order.
template <class Visit> void ForLeaves(bzPortalCell *cell, const bzBox &box, Visit &&visit)
{
    if (!bz_Box_Overlap(&cell->box, &box))
        return;
    if (Leaf(cell))
    {
        visit(cell);
        return;
    }
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
        if (cell->children[slot])
            ForLeaves(cell->children[slot], box, visit);
}

bool Inside(const bzPortalCell *cell)
{
    return cell && (cell->flags & (BZ_CELL_INSIDE | BZ_CELL_PORTAL)) == BZ_CELL_INSIDE;
}

void Offer(const bzPortalCell *cell)
{
    if (!cell || cell->tag < 0)
        return;
    const uint16_t room = PortalsRoomOfTag(cell->tag);
    bzPortalWorld &w = World();
    if (room == BZ_PORTAL_NO_ROOM || room >= w.roomCount)
        return;
    bzV3 centre;
    PortalCellCentre(cell, &centre);
    if (PortalsPointInRoom(room, &centre))
        return;
    auto *point = static_cast<bzPortalPoint *>(
        bz_MemAlloc(sizeof(bzPortalPoint), BZ_MEM_CLEAR | BZ_MEM_PARENT, &w));
    if (!point)
    {
        Short(BZ_ERROR_NO_MEMORY);
        return;
    }
    point->position = centre;
    point->next = w.rooms[room].points;
    w.rooms[room].points = point;
    PortalsWork().pointCount++;
}

// One column of the room points: the cells below the cell along the vertical line at x, z,
// bottom to top, each compared with the one before.
void WalkColumn(const bzPortalCell *cell, float x, float z, const bzPortalCell **previous)
{
    auto visit = [previous](const bzPortalCell *current)
    {
        const bool was = Inside(*previous), is = Inside(current);
        if (was && !is)
            Offer(*previous);
        else if (!was && is)
            Offer(current);
        *previous = current;
    };
    if (Leaf(cell))
    {
        visit(cell);
        return;
    }
    const int32_t ny = (cell->flags & 2) ? 2 : 1, nz = (cell->flags & 4) ? 2 : 1;
    const int32_t ix = (cell->flags & 1) && x > (cell->box.min.x + cell->box.max.x) * 0.5f;
    const int32_t iz = (cell->flags & 4) && z > (cell->box.min.z + cell->box.max.z) * 0.5f;
    for (int32_t iy = 0; iy < ny; iy++)
    {
        const bzPortalCell *child = cell->children[ix * ny * nz + iy * nz + iz];
        if (child)
            WalkColumn(child, x, z, previous);
        else
            visit(nullptr); // solid space
    }
}
} // namespace

uint16_t PortalsRoomOfTag(int32_t tag)
{
    if (tag < 0 || (tag >> 1) >= World().portalCount)
        return BZ_PORTAL_NO_ROOM;
    return RoomField(tag >> 1, tag & 1);
}

void PortalSeedRooms(bzPortalCell *cell, int32_t portal, bzPortalCell *rootCell)
{
    bzPortalWorld &w = World();
    const bzPortal &p = w.portals[portal];
    bzV3 near;
    if (!(cell->flags & (BZ_CELL_SPLIT | BZ_CELL_INSIDE)) ||
        !bz_Box_StraddlesPlane(&cell->box, &p.plane) ||
        !bz_Box_SphereOverlap(&p.centre, &cell->box, &near, p.radius * p.radius))
        return;
    if (!Leaf(cell))
    {
        const int32_t slots = PortalSlotCount(cell);
        for (int32_t slot = 0; slot < slots; slot++)
            if (cell->children[slot])
                PortalSeedRooms(cell->children[slot], portal, rootCell);
        return;
    }
    // Crossed by this portal alone, and by none of its edges.
    if (!(cell->flags & BZ_CELL_INSIDE) ||
        (cell->flags & (BZ_CELL_PORTAL | BZ_CELL_PORTALS | BZ_CELL_EDGE)) != BZ_CELL_PORTAL ||
        cell->tag != portal)
        return;
    bzRay segment;
    PortalCellCentre(cell, &segment.origin);
    segment.delta = {{{p.centre.x - segment.origin.x, p.centre.y - segment.origin.y,
                       p.centre.z - segment.origin.z}}};
    segment.flag = 0;
    float t = 0.0f;
    bzLumpRayHit hit;
    const auto *options = reinterpret_cast<const bzRayOptions *>(w.parameters);
    if (w.rootLump && bz_Lump_RayIntersectFirst(&t, &hit, &segment, w.rootLump, options) &&
        bz_V3_Dot(&hit.plane.n, &segment.delta) > 0.0f)
        return;
    const bzBox grown = Grown(cell->box, 0.1f);
    PortalFloodFromCell(rootCell, &grown, portal, rootCell);
}

void PortalFloodFromCell(bzPortalCell *node, const bzBox *box, int32_t portal,
                         bzPortalCell *rootCell)
{
    const bzBox reach = *box;
    ForLeaves(node, reach,
              [&](bzPortalCell *leaf)
              {
                  if (!Floodable(leaf))
                      return;
                  const bzPortal &p = World().portals[portal];
                  bzV3 centre, q;
                  PortalCellCentre(leaf, &centre);
                  bz_Box_ClampPoint(&centre, &reach, &q);
                  const float s = bz_V3_Dot(&p.plane.n, &q) - p.plane.d;
                  if (leaf->tag >= 0)
                  {
                      const int32_t side = s <= 0.0f ? 1 : 0;
                      if (PortalsRoomOfTag(leaf->tag) != RoomField(portal, side))
                          PortalsJoinSides(portal, side, leaf->tag >> 1, leaf->tag & 1);
                      return;
                  }
                  const int32_t side = s < 0.0f ? 1 : 0;
                  if (RoomField(portal, side) == BZ_PORTAL_NO_ROOM)
                  {
                      const uint16_t room = NewRoom();
                      if (room == BZ_PORTAL_NO_ROOM || !Append(room, portal))
                          return;
                      RoomField(portal, side) = room;
                  }
                  const int32_t tag = portal * 2 + side;
                  leaf->tag = static_cast<int16_t>(tag);
                  bz_Box_UnionInto(&RoomBox(tag), &leaf->box, &RoomBox(tag));
                  leaf->children[0] = nullptr;
                  for (bzPortalCell *c = leaf; c; c = c->children[0])
                  {
                      const bzBox around = Grown(c->box, 0.1f);
                      PortalFloodCells(rootCell, &around, tag, c, c);
                  }
              });
}

void PortalFloodCells(bzPortalCell *node, const bzBox *box, int32_t tag, bzPortalCell *queue,
                      bzPortalCell *predecessor)
{
    ForLeaves(node, *box,
              [&](bzPortalCell *leaf)
              {
                  if (!Floodable(leaf))
                      return;
                  bz_Box_UnionInto(&RoomBox(tag), &leaf->box, &RoomBox(tag));
                  if (leaf->tag < 0)
                  {
                      leaf->tag = static_cast<int16_t>(tag);
                      leaf->children[0] = queue->children[0];
                      queue->children[0] = leaf;
                      leaf->children[1] = predecessor;
                      return;
                  }
                  if (leaf->tag == tag)
                      return;
                  const uint16_t theirs = PortalsRoomOfTag(leaf->tag);
                  if (theirs == BZ_PORTAL_NO_ROOM || theirs != PortalsRoomOfTag(tag))
                      PortalsJoinSides(tag >> 1, tag & 1, leaf->tag >> 1, leaf->tag & 1);
              });
}

void PortalsJoinSides(int32_t portal1, int32_t side1, int32_t portal2, int32_t side2)
{
    bzPortalWorld &w = World();
    const uint16_t r1 = RoomField(portal1, side1), r2 = RoomField(portal2, side2);
    if (r2 == BZ_PORTAL_NO_ROOM && r1 != BZ_PORTAL_NO_ROOM)
    {
        if (Append(r1, portal2))
            RoomField(portal2, side2) = r1;
        return;
    }
    if (r2 == BZ_PORTAL_NO_ROOM)
    {
        const uint16_t room = NewRoom();
        if (room == BZ_PORTAL_NO_ROOM)
            return;
        if (Append(room, portal2))
            RoomField(portal2, side2) = room;
        if (Append(room, portal1))
            RoomField(portal1, side1) = room;
        return;
    }
    if (r1 == BZ_PORTAL_NO_ROOM)
    {
        if (Append(r2, portal1))
            RoomField(portal1, side1) = r2;
        return;
    }
    if (r1 == r2)
        return;
    // The first room moves into the second, its box with it, and stays behind dead.
    bzPortalRoom &from = w.rooms[r1];
    if (from.portalCount >= 1)
    {
        for (int32_t k = 0; k < from.portalCount; k++)
        {
            const uint16_t index = from.portals[k];
            if (!Append(r2, index))
                continue;
            bzPortal &p = w.portals[index];
            if (p.roomA == r1)
                p.roomA = r2;
            else if (p.roomB == r1)
                p.roomB = r2;
        }
        bz_Box_UnionInto(&w.rooms[r2].box, &from.box, &w.rooms[r2].box);
    }
    w.rooms[r1].portalCount = -1;
}

void PortalsGrowRoomBoxes()
{
    bzPortalWorld &w = World();
    const bzV3 e = PortalsWork().finest;
    for (int32_t r = 0; r < w.roomCount; r++)
    {
        bzPortalRoom &room = w.rooms[r];
        for (int32_t k = 0; k < 3; k++)
        {
            room.box.min.v[k] -= e.v[k];
            room.box.max.v[k] += e.v[k];
        }
        for (int32_t i = 0; i < room.portalCount; i++)
        {
            const bzPortal &p = w.portals[room.portals[i]];
            for (int32_t v = 0; v < p.vertexCount; v++)
                bz_Box_AddPoint(&room.box, &p.vertices[v]);
        }
    }
}

void PortalsCollectRoomPoints(bzPortalCell *rootCell)
{
    const bzBox &b = rootCell->box;
    const float ex = b.max.x - b.min.x, ez = b.max.z - b.min.z;
    const int32_t nx = static_cast<int32_t>(0.1f * ex), nz = static_cast<int32_t>(0.1f * ez);
    const bzPortalCell *previous = nullptr;
    for (int32_t i = 0; i < nx; i++)
    {
        const float x = b.min.x + (ex - 20.0f * (nx - 1)) * 0.5f + 20.0f * i;
        for (int32_t k = 0; k < nz; k++)
        {
            const float z = b.min.z + (ez - 20.0f * (nz - 1)) * 0.5f + 20.0f * k;
            WalkColumn(rootCell, x, z, &previous);
        }
    }
}
