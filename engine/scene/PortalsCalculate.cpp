// The room calculation as a whole: from the portals of a loaded description and the level's
// geometry to rooms, in the order of its steps, and the loading of a description text followed
// by it. Also the rooms of a triangle and the room beyond a segment, which the split of the
// world uses.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"
#include "scene/ModelGeometry.h"
#include "scene/PortalFaceServices.h"
#include "scene/Portals.h"
#include "scene/PortalsCells.h"

#include <cmath>

namespace
{
int32_t NotWorldRelative(const bzLump *lump)
{
    return !(lump->flags & BZ_LUMP_WORLD);
}

bool Usable(const bzBox &b)
{
    for (int32_t k = 0; k < 3; k++)
        if (!std::isfinite(b.min.v[k]) || !std::isfinite(b.max.v[k]) || b.min.v[k] > b.max.v[k])
            return false;
    return true;
}

// The room's fixed lumps: the model lumps of the level passing the filter whose world boxes
// meet the room's box.
struct StaticWalk
{
    const bzPortalWorld *world;
    const bzBox *room;
    bzLump **out; // null: count only
    int32_t count;
};

intptr_t CollectStatic(bzLump *lump, const bzM34 *matrix, void *user)
{
    auto *walk = static_cast<StaticWalk *>(user);
    const uint32_t *parameters = walk->world->parameters;
    if (lump->type != BZ_LUMP_TYPE_MODEL || (lump->queryFlags & parameters[3]) != parameters[4])
        return 0;
    bzBox box;
    bzV3 centre;
    float radius;
    if (!bz_Scene_GetModelBounds(bz_Lump_GetModel(lump), &box, &centre, &radius))
        return 0;
    bz_Box_Transform(&box, matrix);
    if (!bz_Box_Overlap(&box, walk->room))
        return 0;
    if (walk->out)
        walk->out[walk->count] = lump;
    walk->count++;
    return 0;
}

void FindStaticLumps(bzPortalWorld &w)
{
    for (int32_t r = 0; r < w.roomCount; r++)
    {
        bzPortalRoom &room = w.rooms[r];
        StaticWalk walk = {&w, &room.box, nullptr, 0};
        bz_Lump_WalkFromRoot(w.rootLump, CollectStatic, &walk);
        room.staticCount = 0;
        if (!walk.count)
            continue;
        room.staticLumps = static_cast<bzLump **>(
            bz_MemAlloc(static_cast<uint32_t>(walk.count * sizeof(bzLump *)), BZ_MEM_PARENT, &w));
        if (!room.staticLumps)
        {
            PortalsWork().shortage = BZ_ERROR_NO_MEMORY;
            continue;
        }
        walk = {&w, &room.box, room.staticLumps, 0};
        bz_Lump_WalkFromRoot(w.rootLump, CollectStatic, &walk);
        room.staticCount = walk.count;
    }
}

void EndWork()
{
    bzPortalWork &work = PortalsWork();
    bz_Portals_FreeFaceList(work.faceList);
    work.faceList = nullptr;
    if (work.cellPool)
        bz_Pool_Destroy(work.cellPool);
    work.cellPool = 0;
    work.cells = 0;
    work.root = nullptr;
    bz_MemFree(work.portalCapacity);
    work.portalCapacity = nullptr;
    work.roomCapacity = 0;
    work.threshold = BZ_CELL_FINE;
}
} // namespace

bzErrorCode bz_Portals_Calculate(const uint32_t *parameters, const char *outputName, bzLump *root)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !root)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    for (int32_t i = 0; i < BZ_PORTAL_PARAMETER_WORDS; i++)
        w->parameters[i] = parameters ? parameters[i] : 0;
    w->parameters[0] |= 12;
    w->rootLump = root;
    // The rooms of an earlier calculation go.
    bz_Portals_ReleaseLumps(w);
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        bz_MemFree(w->rooms[r].portals);
        bz_MemFree(w->rooms[r].staticLumps);
        for (bzPortalPoint *p = w->rooms[r].points; p;)
        {
            bzPortalPoint *next = p->next;
            bz_MemFree(p);
            p = next;
        }
    }
    bz_MemFree(w->rooms);
    w->rooms = nullptr;
    w->roomCount = 0;
    for (int32_t i = 0; i < w->portalCount; i++)
        w->portals[i].roomA = w->portals[i].roomB = BZ_PORTAL_NO_ROOM;

    bzPortalWork &work = PortalsWork();
    EndWork();
    work.shortage = BZ_ERROR_NONE;
    work.pointCount = 0;
    bzBox box;
    bz_Box_SetEmpty(&box);
    if (bz_Lump_AddBounds(&box, root, NotWorldRelative) != BZ_ERROR_NONE || !Usable(box))
        return bzgLastError = BZ_ERROR_NO_BOUNDS;
    work.cellPool = bz_Pool_Create(sizeof(bzPortalCell), 1024, 1, 0);
    work.faceList = bz_Portals_CreateFaceList(BZ_CELL_FACE_LIST);
    if (!work.cellPool)
    {
        EndWork();
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    const auto *options = reinterpret_cast<const bzRayOptions *>(w->parameters);
    bzPortalCell *cell = PortalNewCell(nullptr, &box);
    work.root = cell ? PortalSubdivideCell(cell, root) : nullptr;
    // A level that is all solid has no inside and so no rooms.
    if (work.root)
    {
        bzPortalCell *top = work.root;
        PortalMarkInsideCells(top, top, root, options);
        for (int32_t i = 0; i < w->portalCount; i++)
            if (!PortalMarkPortalCells(top, i))
                PortalRefineCells(top, i, top);
        for (int32_t i = 0; i < w->portalCount; i++)
        {
            const bzPortal &p = w->portals[i];
            if (p.flags & BZ_PORTAL_OPAQUE)
                continue;
            PortalSeedRooms(top, i, top);
            if (p.roomA == BZ_PORTAL_NO_ROOM || p.roomB == BZ_PORTAL_NO_ROOM)
            {
                PortalRefineCells(top, i, top);
                PortalSeedRooms(top, i, top);
            }
        }
        PortalsGrowRoomBoxes();
        PortalsCollectRoomPoints(top);
    }
    FindStaticLumps(*w);
    bzErrorCode result = work.shortage;
    if (outputName)
    {
        bzLump *splitWorld = bz_Portals_SplitAndSave(root, outputName);
        const bzErrorCode split = splitWorld ? BZ_ERROR_NONE : bzgLastError;
        // It is saved; the level goes on with its own lumps.
        bz_Lump_DestroyTree(splitWorld);
        result = result ? result : split;
    }
    EndWork();
    return result ? (bzgLastError = result) : BZ_ERROR_NONE;
}

bzErrorCode bz_Portals_LoadText(const char *fileName, bzLump *root, const char *outputName,
                                const uint32_t *parameters)
{
    const bzErrorCode read = bz_Portals_ReadDescription(fileName, root, parameters);
    if (read != BZ_ERROR_NONE)
        return read;
    const bzErrorCode calculated = bz_Portals_Calculate(parameters, outputName, root);
    PortalsSortRoomPortals(bz_Portals_GetWorld());
    return calculated;
}

int32_t PortalsTriangleRooms(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2, uint16_t *rooms,
                             int32_t capacity)
{
    const bzPortalWorld *w = bz_Portals_GetWorld();
    int32_t found = 0;
    auto add = [&](const bzPortal &p)
    {
        if (found < capacity)
            rooms[found] = p.roomA;
        found++;
        if (found < capacity)
            rooms[found] = p.roomB;
        found++;
    };
    const bzV3 *t[3] = {p0, p1, p2};
    // The triangle's edges, in the order they are tested.
    const int32_t edges[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (int32_t i = 0; w && i < w->portalCount; i++)
    {
        const bzPortal &p = w->portals[i];
        int32_t below = 0, above = 0;
        for (const bzV3 *v : t)
        {
            const float d = bz_V3_Dot(&p.plane.n, v) - p.plane.d;
            below += d < -0.001f;
            above += d > 0.001f;
        }
        if (below == 3 || above == 3)
            continue;
        const float m = std::fmax(bz_V3_Distance(p1, p0), bz_V3_Distance(p2, p0));
        if (bz_V3_Distance(p0, &p.centre) > m + p.radius + 0.001f)
            continue;
        bool hit = false;
        for (const auto &e : edges)
        {
            const bzV3 &a = *t[e[0]], &b = *t[e[1]];
            const bzV3 delta = {{{b.x - a.x, b.y - a.y, b.z - a.z}}};
            float at;
            if (PortalRayHit(&p, &a, &delta, 1.0f, &at))
            {
                hit = true;
                break;
            }
        }
        if (hit)
        {
            add(p);
            continue;
        }
        bzV3 e1, e2, n;
        bz_V3_SubInto(p1, p0, &e1);
        bz_V3_SubInto(p2, p0, &e2);
        bz_V3_CrossInto(&e1, &e2, &n);
        for (int32_t k = 0; k < p.vertexCount; k++)
        {
            const bzV3 &u = p.vertices[k == 0 ? p.vertexCount - 1 : k - 1];
            const bzV3 &wv = p.vertices[k];
            bzV3 du, dw;
            bz_V3_SubInto(&u, p0, &du);
            bz_V3_SubInto(&wv, p0, &dw);
            const float a = bz_V3_Dot(&n, &du), b = bz_V3_Dot(&n, &dw);
            if (a * b > 0.0f || a == b)
                continue;
            const float s = a / (a - b);
            const bzV3 x = {
                {{u.x + (wv.x - u.x) * s, u.y + (wv.y - u.y) * s, u.z + (wv.z - u.z) * s}}};
            bool counts = true;
            for (const auto &e : edges)
            {
                const bzV3 &ea = *t[e[0]], &eb = *t[e[1]];
                bzV3 along;
                bz_V3_SubInto(&eb, &ea, &along);
                const float lo = bz_V3_Dot(&along, &ea), hi = bz_V3_Dot(&along, &eb);
                const float at = bz_V3_Dot(&along, &x);
                counts = counts && lo <= at && at <= hi;
            }
            if (counts)
                add(p);
        }
    }
    if (found < capacity)
        rooms[found] = BZ_PORTAL_NO_ROOM;
    return found;
}

int32_t PortalsRoomAfterSegment(const bzV3 *point, const bzV3 *other, int32_t room)
{
    const bzPortalWorld *w = bz_Portals_GetWorld();
    float t;
    const int32_t portal = PortalsSegmentExit(room, point, other, &t);
    if (!w || portal < 0)
        return room;
    const bzPortal &p = w->portals[portal];
    const uint16_t next = bz_V3_Dot(&p.plane.n, point) - p.plane.d > 0.0f ? p.roomA : p.roomB;
    return next == BZ_PORTAL_NO_ROOM ? -1 : next;
}
