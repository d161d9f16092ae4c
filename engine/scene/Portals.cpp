// The portal world: its record, the binary file form and the point and ray queries.
#include "scene/Portals.h"

#include "core/Bytes.h"
#include "core/Memory.h"
#include "files/File.h"
#include "maths/Vector.h"
#include "scene/ContainerInternal.h"
#include "scene/LumpRay.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace
{
bzPortalWorld *gWorld = nullptr;

using Cursor = bzContainerCursor;

// Smallest bytes of a portal record (no vertices) and of a room record (no indices or points).
constexpr uint32_t kPortalBytes = 16 + 12 + 4 + 2 + 4;
constexpr uint32_t kRoomBytes = 2 + 2 + 24;
constexpr uint32_t kPointBytes = 12;
constexpr float kSegmentStart = 1.0001f;

bool I16(Cursor &c, int32_t *out)
{
    uint16_t v;
    if (!c.U16(&v))
        return false;
    *out = static_cast<int16_t>(v);
    return true;
}

bool Floats(Cursor &c, float *out, int32_t n)
{
    const uint8_t *at;
    if (!c.Take(static_cast<uint32_t>(n) * 4, &at))
        return false;
    for (int32_t i = 0; i < n; i++)
        out[i] = bz_GetF32LE(at + i * 4);
    return true;
}

void *Child(void *parent, uint32_t bytes)
{
    return bz_MemAlloc(bytes ? bytes : 1, BZ_MEM_CLEAR | BZ_MEM_PARENT, parent);
}

// The world of the bytes, or null with *failure set.
bzPortalWorld *Parse(Cursor &c, bzErrorCode *failure)
{
    *failure = BZ_ERROR_BAD_DATA_FORMAT;
    const uint8_t *at;
    int32_t portalCount, vertexTotal;
    if (!c.Take(4, &at) || !I16(c, &portalCount) || !I16(c, &vertexTotal) || portalCount < 0 ||
        vertexTotal < 0 ||
        static_cast<uint64_t>(portalCount) * kPortalBytes +
                static_cast<uint64_t>(vertexTotal) * kPointBytes >
            c.Left())
        return nullptr;
    auto *w = static_cast<bzPortalWorld *>(bz_MemAlloc(sizeof(bzPortalWorld), BZ_MEM_CLEAR));
    if (!w)
    {
        *failure = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    w->portalCount = portalCount;
    w->portals = static_cast<bzPortal *>(Child(w, portalCount * sizeof(bzPortal)));
    bzV3 *vertices = static_cast<bzV3 *>(Child(w, vertexTotal * sizeof(bzV3)));
    if (!w->portals || !vertices)
    {
        bz_MemFree(w);
        *failure = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    int32_t used = 0;
    for (int32_t i = 0; i < portalCount; i++)
    {
        bzPortal &p = w->portals[i];
        float head[8];
        int32_t n;
        if (!Floats(c, head, 8) || !I16(c, &n) || n < 3 || n > vertexTotal - used)
        {
            bz_MemFree(w);
            return nullptr;
        }
        p.plane = {{{head[0], head[1], head[2]}}, head[3]};
        p.centre = {{{head[4], head[5], head[6]}}};
        p.radius = head[7];
        p.vertexCount = static_cast<int16_t>(n);
        p.vertices = vertices + used;
        used += n;
        for (int32_t v = 0; v < n; v++)
            if (!Floats(c, p.vertices[v].v, 3))
            {
                bz_MemFree(w);
                return nullptr;
            }
        if (!c.U16(&p.roomA) || !c.U16(&p.roomB))
        {
            bz_MemFree(w);
            return nullptr;
        }
    }
    int32_t roomCount, referenceTotal, pointTotal;
    if (used != vertexTotal || !I16(c, &roomCount) || !I16(c, &referenceTotal) ||
        !I16(c, &pointTotal) || roomCount < 0 || referenceTotal < 0 || pointTotal < 0 ||
        static_cast<uint64_t>(roomCount) * kRoomBytes > c.Left())
    {
        bz_MemFree(w);
        return nullptr;
    }
    for (int32_t i = 0; i < portalCount; i++)
    {
        const bzPortal &p = w->portals[i];
        if ((p.roomA != BZ_PORTAL_NO_ROOM && p.roomA >= roomCount) ||
            (p.roomB != BZ_PORTAL_NO_ROOM && p.roomB >= roomCount))
        {
            bz_MemFree(w);
            return nullptr;
        }
    }
    w->roomCount = roomCount;
    w->rooms = static_cast<bzPortalRoom *>(Child(w, roomCount * sizeof(bzPortalRoom)));
    if (!w->rooms)
    {
        bz_MemFree(w);
        *failure = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    int32_t references = 0, points = 0;
    for (int32_t r = 0; r < roomCount; r++)
    {
        bzPortalRoom &room = w->rooms[r];
        int32_t count, pointCount;
        if (!I16(c, &count) || count < -1 || (count > 0 && 2u * count > c.Left()))
        {
            bz_MemFree(w);
            return nullptr;
        }
        room.portalCount = static_cast<int16_t>(count);
        if (count > 0)
        {
            room.portals = static_cast<uint16_t *>(Child(w, count * 2u));
            if (!room.portals)
            {
                bz_MemFree(w);
                *failure = BZ_ERROR_NO_MEMORY;
                return nullptr;
            }
            for (int32_t k = 0; k < count; k++)
                if (!c.U16(&room.portals[k]) ||
                    (room.portals[k] != BZ_PORTAL_NO_ROOM && room.portals[k] >= portalCount))
                {
                    bz_MemFree(w);
                    return nullptr;
                }
            references += count;
        }
        if (!I16(c, &pointCount) || pointCount < 0 ||
            static_cast<uint64_t>(pointCount) * kPointBytes + 24 > c.Left())
        {
            bz_MemFree(w);
            return nullptr;
        }
        if (count >= 0)
            points += pointCount;
        // The chain keeps the points in file order.
        bzPortalPoint **link = &room.points;
        for (int32_t k = 0; k < pointCount; k++)
        {
            auto *point = static_cast<bzPortalPoint *>(Child(w, sizeof(bzPortalPoint)));
            if (!point)
            {
                bz_MemFree(w);
                *failure = BZ_ERROR_NO_MEMORY;
                return nullptr;
            }
            Floats(c, point->position.v, 3);
            *link = point;
            link = &point->next;
        }
        Floats(c, room.box.min.v, 3);
        Floats(c, room.box.max.v, 3);
    }
    if (references != referenceTotal || points != pointTotal)
    {
        bz_MemFree(w);
        return nullptr;
    }
    *failure = BZ_ERROR_NONE;
    return w;
}

// The sum of a listed portal's two rooms: the other room's index plus this one's; portals that
// lead nowhere (and indices of none) come last.
uint32_t SortKey(const bzPortalWorld &w, uint16_t index)
{
    if (index >= w.portalCount)
        return UINT32_MAX;
    return static_cast<uint32_t>(w.portals[index].roomA) + w.portals[index].roomB;
}

// Sorts a room's portal list by the other room, keeping the order of equal keys.
void SortRoomPortals(const bzPortalWorld &w, bzPortalRoom &room)
{
    for (int32_t i = 1; i < room.portalCount; i++)
    {
        const uint16_t index = room.portals[i];
        const uint32_t key = SortKey(w, index);
        int32_t j = i;
        for (; j > 0 && SortKey(w, room.portals[j - 1]) > key; j--)
            room.portals[j] = room.portals[j - 1];
        room.portals[j] = index;
    }
}

bool Opaque(const bzPortal &p)
{
    return (p.flags & BZ_PORTAL_OPAQUE) != 0;
}

// Whether the point of the portal's plane lies inside its polygon: the cross products of each
// edge with the point have one sign along the normal.
bool InsidePolygon(const bzPortal &p, const bzV3 &point)
{
    bool positive = false, negative = false;
    for (int32_t i = 0; i < p.vertexCount; i++)
    {
        const bzV3 &a = p.vertices[i];
        const bzV3 &b = p.vertices[(i + 1) % p.vertexCount];
        const bzV3 edge = {{{b.x - a.x, b.y - a.y, b.z - a.z}}};
        const bzV3 to = {{{point.x - a.x, point.y - a.y, point.z - a.z}}};
        bzV3 cross;
        bz_V3_CrossInto(&edge, &to, &cross);
        const float s = bz_V3_Dot(&cross, &p.plane.n);
        positive |= s > 0.0f;
        negative |= s < 0.0f;
    }
    return !(positive && negative);
}
// Where origin + t delta meets the portal's polygon, t in [0, limit]: its t and the direction's
// dot product with the normal; false when parallel, out of range or beside the polygon.
bool PolygonHit(const bzPortal &p, const bzV3 &origin, const bzV3 &delta, float limit, float *t,
                float *along)
{
    *along = bz_V3_Dot(&p.plane.n, &delta);
    if (*along == 0.0f || !std::isfinite(*along))
        return false;
    *t = (p.plane.d - bz_V3_Dot(&p.plane.n, &origin)) / *along;
    if (!(*t >= 0.0f) || *t > limit)
        return false;
    const bzV3 hit = {
        {{origin.x + *t * delta.x, origin.y + *t * delta.y, origin.z + *t * delta.z}}};
    return InsidePolygon(p, hit);
}
} // namespace

int32_t PortalRayHit(const bzPortal *portal, const bzV3 *origin, const bzV3 *delta, float limit,
                     float *t)
{
    float along, at;
    if (!portal || !origin || !delta || !PolygonHit(*portal, *origin, *delta, limit, &at, &along))
        return 0;
    if (t)
        *t = at;
    return 1;
}

void PortalsSortRoomPortals(bzPortalWorld *world)
{
    for (int32_t r = 0; world && r < world->roomCount; r++)
        SortRoomPortals(*world, world->rooms[r]);
}

bzPortalWorld *bz_Portals_GetWorld()
{
    return gWorld;
}

void bz_Portals_FreeWorld()
{
    if (gWorld)
        bz_Portals_ReleaseLumps(gWorld);
    bz_MemFree(gWorld);
    gWorld = nullptr;
}

void bz_Portals_SetWorld(bzPortalWorld *world)
{
    bz_Portals_FreeWorld();
    gWorld = world;
    bz_Portals_RegisterCommands();
    bz_Portals_InstallLumpHooks();
}

bzErrorCode bz_Portals_Read(bzLump *root, const uint32_t *parameters, bzFileHandle *file)
{
    if (!file)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const int32_t length = bz_FileLength(file);
    auto *buffer =
        static_cast<uint8_t *>(bz_MemAlloc(length > 0 ? static_cast<uint32_t>(length) : 1, 0));
    if (!buffer)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    const size_t got = length > 0 ? bz_FileRead(file, buffer, static_cast<size_t>(length)) : 0;
    Cursor c = {buffer, buffer + got};
    bzErrorCode failure;
    bzPortalWorld *world = Parse(c, &failure);
    bz_MemFree(buffer);
    if (!world)
        return bzgLastError = failure;
    for (int32_t i = 0; i < BZ_PORTAL_PARAMETER_WORDS; i++)
        world->parameters[i] = parameters ? parameters[i] : 0;
    world->parameters[0] |= 12;
    world->rootLump = root;
    for (int32_t r = 0; r < world->roomCount; r++)
        SortRoomPortals(*world, world->rooms[r]);
    bz_Portals_SetWorld(world);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Portals_Write(bzFileHandle *file)
{
    if (!file || !gWorld)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const bzPortalWorld &w = *gWorld;
    int32_t written = 0, vertexTotal = 0, referenceTotal = 0, pointTotal = 0;
    for (int32_t i = 0; i < w.portalCount; i++)
        if (!Opaque(w.portals[i]))
        {
            written++;
            vertexTotal += w.portals[i].vertexCount;
        }
    for (int32_t r = 0; r < w.roomCount; r++)
        if (w.rooms[r].portalCount >= 0)
        {
            referenceTotal += w.rooms[r].portalCount;
            for (const bzPortalPoint *p = w.rooms[r].points; p; p = p->next)
                pointTotal++;
        }
    if (vertexTotal > INT16_MAX || referenceTotal > INT16_MAX || pointTotal > INT16_MAX ||
        w.roomCount > INT16_MAX)
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;

    bzFieldWriter o{file};
    o.U32(0);
    o.U16(written);
    o.U16(vertexTotal);
    for (int32_t i = 0; i < w.portalCount; i++)
    {
        const bzPortal &p = w.portals[i];
        if (Opaque(p))
            continue;
        o.V3(p.plane.n);
        o.F32(p.plane.d);
        o.V3(p.centre);
        o.F32(p.radius);
        o.U16(p.vertexCount);
        for (int32_t v = 0; v < p.vertexCount; v++)
            o.V3(p.vertices[v]);
        o.U16(p.roomA);
        o.U16(p.roomB);
    }
    o.U16(w.roomCount);
    o.U16(referenceTotal);
    o.U16(pointTotal);
    for (int32_t r = 0; r < w.roomCount; r++)
    {
        const bzPortalRoom &room = w.rooms[r];
        o.U16(room.portalCount < 0 ? -1 : room.portalCount);
        for (int32_t k = 0; k < room.portalCount; k++)
        {
            // Indices follow the written order; an opaque portal has none.
            const uint16_t index = room.portals[k];
            int32_t renumbered = BZ_PORTAL_NO_ROOM;
            if (index < w.portalCount && !Opaque(w.portals[index]))
            {
                renumbered = 0;
                for (int32_t i = 0; i < index; i++)
                    renumbered += Opaque(w.portals[i]) ? 0 : 1;
            }
            o.U16(renumbered);
        }
        int32_t pointCount = 0;
        for (const bzPortalPoint *p = room.points; p; p = p->next)
            pointCount++;
        o.U16(pointCount);
        for (const bzPortalPoint *p = room.points; p; p = p->next)
            o.V3(p->position);
        o.V3(room.box.min);
        o.V3(room.box.max);
    }
    return o.ok ? BZ_ERROR_NONE : (bzgLastError = BZ_ERROR_FILE_NOT_FOUND);
}

int32_t bz_Portals_RayCross(const bzRay *ray, float *bestT, int32_t excluded, int32_t *portalIndex)
{
    if (!gWorld || !ray)
        return 0;
    float best = ray->flag ? FLT_MAX : kSegmentStart;
    int32_t result = 0;
    for (int32_t i = 0; i < gWorld->portalCount; i++)
    {
        if (i == excluded)
            continue;
        const bzPortal &p = gWorld->portals[i];
        float t, along;
        if (!PolygonHit(p, ray->origin, ray->delta, best, &t, &along))
            continue;
        best = t;
        if (bestT)
            *bestT = t;
        if (portalIndex)
            *portalIndex = i;
        result = along < 0.0f ? 1 : -1;
    }
    return result;
}

int32_t PortalsSegmentExit(int32_t room, const bzV3 *from, const bzV3 *to, float *outT)
{
    if (!gWorld || !from || !to || room < 0 || room >= gWorld->roomCount)
        return -1;
    const bzPortalRoom &r = gWorld->rooms[room];
    const bzV3 delta = {{{to->x - from->x, to->y - from->y, to->z - from->z}}};
    int32_t found = -1;
    float best = 1.0000001f;
    for (int32_t k = 0; k < r.portalCount; k++)
    {
        const uint16_t index = r.portals[k];
        if (index >= gWorld->portalCount)
            continue;
        const bzPortal &p = gWorld->portals[index];
        float t, along;
        if (!PolygonHit(p, *from, delta, best, &t, &along))
            continue;
        best = t;
        found = index;
    }
    if (found >= 0 && outT)
        *outT = best;
    return found;
}

float PortalsNearestPortalDistance(int32_t room, const bzV3 *point)
{
    if (!gWorld || !point || room < 0 || room >= gWorld->roomCount)
        return FLT_MAX;
    const bzPortalRoom &r = gWorld->rooms[room];
    float nearest = FLT_MAX;
    for (int32_t k = 0; k < r.portalCount; k++)
    {
        const uint16_t index = r.portals[k];
        if (index >= gWorld->portalCount)
            continue;
        const bzPortal &p = gWorld->portals[index];
        const float plane = std::fabs(bz_V3_Dot(&p.plane.n, point) - p.plane.d);
        const bzV3 to = {{{point->x - p.centre.x, point->y - p.centre.y, point->z - p.centre.z}}};
        const float centre = std::sqrt(bz_V3_Dot(&to, &to)) - p.radius;
        // The plane distance is the nearer bound; beside the polygon the centre distance less the
        // radius is.
        const float distance = plane > centre ? plane : centre;
        nearest = distance < nearest ? distance : nearest;
    }
    return nearest;
}

int32_t PortalsPointInRoom(int32_t room, const bzV3 *point)
{
    if (!gWorld || !point || room < 0 || room >= gWorld->roomCount)
        return 0;
    const bzPortalRoom &r = gWorld->rooms[room];
    int32_t chosen = -1;
    float bestScore = FLT_MAX;
    for (int32_t k = 0; k < r.portalCount; k++)
    {
        const uint16_t index = r.portals[k];
        if (index >= gWorld->portalCount)
            continue;
        const bzPortal &p = gWorld->portals[index];
        const float distance = std::fabs(bz_V3_Dot(&p.plane.n, point) - p.plane.d);
        const bzV3 to = {{{p.centre.x - point->x, p.centre.y - point->y, p.centre.z - point->z}}};
        const float denominator = distance * p.radius;
        if (!(denominator > 0.0f))
            continue;
        const float score = bz_V3_Dot(&to, &to) / denominator;
        if (score < bestScore)
        {
            bestScore = score;
            chosen = index;
        }
    }
    if (chosen < 0)
        return 1;
    const bzPortal &p = gWorld->portals[chosen];
    const bzRay segment = {
        *point, {{{p.centre.x - point->x, p.centre.y - point->y, p.centre.z - point->z}}}, 0};
    float t = kSegmentStart;
    if (bz_Portals_RayCross(&segment, &t, chosen, nullptr) && t < 1.0f)
        return 0;
    float limit = 1.0f;
    if (gWorld->rootLump &&
        bz_Lump_RayHitsAnything(nullptr, &limit, &segment, gWorld->rootLump, nullptr))
        return 0;
    return 1;
}

int32_t bz_Portals_FindRoom(const bzV3 *point)
{
    if (!gWorld || !point)
        return -1;
    int32_t first = -1, found = 0;
    for (int32_t r = 0; r < gWorld->roomCount; r++)
    {
        const bzBox &b = gWorld->rooms[r].box;
        bool inside = true;
        for (int32_t k = 0; k < 3; k++)
            inside = inside && point->v[k] >= b.min.v[k] && point->v[k] < b.max.v[k];
        if (!inside)
            continue;
        found++;
        if (found == 1)
        {
            first = r;
            continue;
        }
        if (found == 2 && PortalsPointInRoom(first, point))
            return first;
        if (PortalsPointInRoom(r, point))
            return r;
    }
    return found == 1 ? first : -1;
}
