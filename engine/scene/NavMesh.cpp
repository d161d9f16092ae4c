// The navigation mesh records and the file "NAVMAP.BZN".
#include "scene/NavMesh.h"

#include "core/Bytes.h"
#include "core/Memory.h"
#include "files/File.h"
#include "maths/Vector.h"
#include "scene/ContainerInternal.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"

#include <cfloat>
#include <cstring>

namespace
{
using Cursor = bzContainerCursor;

constexpr uint32_t kNameBytes = 64;
constexpr uint32_t kEntryBytes = kNameBytes + 24;
constexpr uint32_t kFaceBytes = 8;
constexpr uint32_t kBoxBytes = 24;
constexpr uint32_t kJoinBytes = 8;

bool Box(Cursor &c, bzV3 *min, bzV3 *max)
{
    const uint8_t *at;
    if (!c.Take(kBoxBytes, &at))
        return false;
    for (int32_t k = 0; k < 3; k++)
    {
        min->v[k] = bz_GetF32LE(at + k * 4);
        max->v[k] = bz_GetF32LE(at + 12 + k * 4);
    }
    return true;
}

// Deletes a navigation file, read-only or not.
void Delete(const char *path)
{
    bz_SetFileReadOnly(path, 0);
    bz_FileDelete(path);
}

bool ReadGroup(Cursor &c, bzNavMesh *mesh, bzNavFaceGroup &g, bzErrorCode *failure)
{
    if (!c.U16(&g.entry) || !c.U16(&g.faceCount) || g.entry >= mesh->entryCount ||
        static_cast<uint32_t>(g.faceCount) * kFaceBytes > c.Left())
        return false;
    g.faces = static_cast<bzNavFace *>(bz_NavMesh_Alloc(mesh, g.faceCount * sizeof(bzNavFace)));
    if (!g.faces)
        return *failure = BZ_ERROR_NO_MEMORY, false;
    for (uint16_t f = 0; f < g.faceCount; f++)
    {
        c.U16(&g.faces[f].face);
        for (uint16_t &edge : g.faces[f].edges)
            c.U16(&edge);
    }
    uint16_t obstacles;
    if (!c.U16(&obstacles) || static_cast<uint32_t>(obstacles) * kBoxBytes > c.Left())
        return false;
    bzNavObstacle **link = &g.obstacles;
    for (uint16_t o = 0; o < obstacles; o++)
    {
        auto *obstacle = static_cast<bzNavObstacle *>(bz_NavMesh_PoolTake(BZ_NAV_POOL_OBSTACLES));
        if (!obstacle)
            return *failure = BZ_ERROR_NO_MEMORY, false;
        Box(c, &obstacle->min, &obstacle->max);
        obstacle->object = mesh->maker ? mesh->maker(&obstacle->min, &obstacle->max) : nullptr;
        *link = obstacle;
        link = &obstacle->next;
        g.obstacleCount++;
    }
    return true;
}

bool ReadRegion(Cursor &c, bzNavMesh *mesh, bzNavRegion &r, bzErrorCode *failure)
{
    const uint8_t *at;
    if (!c.Take(4, &at))
        return false;
    r.word = bz_GetU32LE(at);
    if (!c.U16(&r.groupCount) || !c.U16(&r.joinCount) || !c.U16(&r.multiJoinCount) ||
        static_cast<uint64_t>(r.groupCount) * 6 + static_cast<uint64_t>(r.joinCount) * kJoinBytes +
                static_cast<uint64_t>(r.multiJoinCount) * 2 >
            c.Left())
        return false;
    r.groups = static_cast<bzNavFaceGroup *>(
        bz_NavMesh_Alloc(mesh, r.groupCount * sizeof(bzNavFaceGroup)));
    r.joins = static_cast<bzNavJoin *>(bz_NavMesh_Alloc(mesh, r.joinCount * sizeof(bzNavJoin)));
    r.multiJoins = static_cast<bzNavMultiJoin *>(
        bz_NavMesh_Alloc(mesh, r.multiJoinCount * sizeof(bzNavMultiJoin)));
    if (!r.groups || !r.joins || !r.multiJoins)
        return *failure = BZ_ERROR_NO_MEMORY, false;
    for (uint16_t g = 0; g < r.groupCount; g++)
        if (!ReadGroup(c, mesh, r.groups[g], failure))
            return false;
    if (static_cast<uint32_t>(r.joinCount) * kJoinBytes > c.Left())
        return false;
    for (uint16_t j = 0; j < r.joinCount; j++)
    {
        c.Take(kJoinBytes, &at);
        bzNavJoin &join = r.joins[j];
        join.kind = at[0];
        join.group = at[1];
        join.face = bz_GetU16LE(at + 4);
        join.region = bz_GetU16LE(at + 6);
    }
    for (uint16_t m = 0; m < r.multiJoinCount; m++)
    {
        bzNavMultiJoin &multi = r.multiJoins[m];
        if (!c.U16(&multi.count) || static_cast<uint32_t>(multi.count) * 2 > c.Left())
            return false;
        multi.joins = static_cast<uint16_t *>(bz_NavMesh_Alloc(mesh, multi.count * 2u));
        if (!multi.joins)
            return *failure = BZ_ERROR_NO_MEMORY, false;
        for (uint16_t k = 0; k < multi.count; k++)
            c.U16(&multi.joins[k]);
    }
    return true;
}

// The mesh of the file's bytes for the setup, or null with *failure set.
bzNavMesh *Parse(Cursor &c, const bzNavSetup *setup, bzErrorCode *failure)
{
    *failure = BZ_ERROR_BAD_DATA_FORMAT;
    const uint8_t *at;
    if (!c.Take(12, &at) || bz_GetU32LE(at) != BZ_NAV_MAGIC ||
        bz_GetU32LE(at + 4) != bz_NavMesh_WorldMeasure(setup->world))
        return nullptr;
    const uint32_t storedEntries = bz_GetU32LE(at + 8);
    bzNavMesh *mesh = bz_NavMesh_Create(setup);
    if (!mesh)
    {
        *failure = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    mesh->worldMeasure = bz_GetU32LE(at + 4);
    // The stored entries lie over the ones collected now: they must be the same number.
    if (storedEntries != static_cast<uint32_t>(mesh->entryCount) ||
        static_cast<uint64_t>(storedEntries) * kEntryBytes > c.Left())
    {
        bz_NavMesh_Free(mesh);
        return nullptr;
    }
    for (int32_t e = 0; e < mesh->entryCount; e++)
    {
        c.Take(kNameBytes, &at);
        Box(c, &mesh->entries[e].min, &mesh->entries[e].max);
    }
    uint32_t regions = 0;
    if (!c.Take(4, &at) || (regions = bz_GetU32LE(at)) > c.Left() / 10)
    {
        bz_NavMesh_Free(mesh);
        return nullptr;
    }
    if (regions && !bz_NavMesh_AllocRegions(mesh, static_cast<int32_t>(regions)))
    {
        bz_NavMesh_Free(mesh);
        *failure = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (uint32_t r = 0; r < regions; r++)
        if (!ReadRegion(c, mesh, mesh->regions[r], failure))
        {
            bz_NavMesh_Free(mesh);
            return nullptr;
        }
    if (!c.Take(4, &at) || bz_GetU32LE(at) != BZ_NAV_END_MARKER)
    {
        bz_NavMesh_Free(mesh);
        return nullptr;
    }
    *failure = BZ_ERROR_NONE;
    return mesh;
}

// The box as six f32: minimum, then maximum.
void PutBox(bzFieldWriter &o, const bzV3 &min, const bzV3 &max)
{
    o.V3(min);
    o.V3(max);
}
} // namespace

int32_t bz_NavMesh_LumpWorldBox(bzLump *lump, bzV3 *min, bzV3 *max)
{
    bzBox box;
    bzV3 centre;
    float radius;
    if (!bz_Scene_GetModelBounds(bz_Lump_GetModel(lump), &box, &centre, &radius))
        return 0;
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, lump, nullptr);
    *min = {{{FLT_MAX, FLT_MAX, FLT_MAX}}};
    *max = {{{-FLT_MAX, -FLT_MAX, -FLT_MAX}}};
    for (int32_t corner = 0; corner < 8; corner++)
    {
        bzV3 p = {{{(corner & 1) ? box.max.x : box.min.x, (corner & 2) ? box.max.y : box.min.y,
                    (corner & 4) ? box.max.z : box.min.z}}};
        bz_M34_TransformPoint(&world, &p);
        for (int32_t k = 0; k < 3; k++)
        {
            min->v[k] = p.v[k] < min->v[k] ? p.v[k] : min->v[k];
            max->v[k] = p.v[k] > max->v[k] ? p.v[k] : max->v[k];
        }
    }
    return 1;
}

bzNavEdgeKind bz_NavMesh_DecodeEdge(uint16_t reference, int32_t *number)
{
    const int32_t low = reference & 0x3FFF;
    if (number)
        *number = low;
    switch (reference >> 14)
    {
    case 0: return BZ_NAV_EDGE_FACE;
    case 1: return reference == BZ_NAV_EDGE_BAR ? BZ_NAV_EDGE_BAR_KIND : BZ_NAV_EDGE_PRECIPICE;
    case 2: return BZ_NAV_EDGE_JOIN;
    default: return BZ_NAV_EDGE_MULTI;
    }
}

uint32_t bz_NavMesh_WorldMeasure(bzLump *world)
{
    uint32_t measure = 0;
    for (bzLump *l = world; l; l = bz_Lump_NextPreOrder(l, world))
    {
        bzModelMesh mesh;
        if (l->type == BZ_LUMP_TYPE_MODEL && l->object &&
            bz_Scene_GetModelMesh(static_cast<const bzModel *>(l->object), &mesh))
            measure += mesh.faceCount;
    }
    return measure;
}

bzNavMesh *bz_NavMesh_Create(const bzNavSetup *setup)
{
    auto *mesh = static_cast<bzNavMesh *>(bz_MemAlloc(sizeof(bzNavMesh), BZ_MEM_CLEAR));
    if (!mesh)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    mesh->entries = static_cast<bzNavModelEntry *>(
        bz_NavMesh_Alloc(mesh, BZ_NAV_MAX_ENTRIES * sizeof(bzNavModelEntry)));
    if (!mesh->entries)
    {
        bz_NavMesh_Free(mesh);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (!setup)
        return mesh;
    std::memcpy(mesh->parameters, setup->parameters, sizeof mesh->parameters);
    mesh->world = setup->world;
    mesh->filter = setup->filter;
    mesh->maker = setup->maker;
    mesh->userWord = setup->userWord;
    for (bzLump *l = setup->world; l && mesh->entryCount < BZ_NAV_MAX_ENTRIES;
         l = bz_Lump_NextPreOrder(l, setup->world))
        if (l->type == BZ_LUMP_TYPE_MODEL && l->object && (l->flags & BZ_LUMP_ACTIVE))
        {
            bzNavModelEntry &e = mesh->entries[mesh->entryCount++];
            e.lump = l;
            if (!bz_NavMesh_LumpWorldBox(l, &e.min, &e.max))
                e.min = e.max = {{{0, 0, 0}}};
        }
    return mesh;
}

void *bz_NavMesh_Alloc(bzNavMesh *mesh, uint32_t bytes)
{
    return bz_MemAlloc(bytes ? bytes : 1, BZ_MEM_CLEAR | BZ_MEM_PARENT, mesh);
}

bzNavRegion *bz_NavMesh_AllocRegions(bzNavMesh *mesh, int32_t count)
{
    if (!mesh || count <= 0)
        return nullptr;
    mesh->regions =
        static_cast<bzNavRegion *>(bz_NavMesh_Alloc(mesh, count * uint32_t{sizeof(bzNavRegion)}));
    mesh->regionCount = mesh->regions ? count : 0;
    if (!mesh->regions)
        bzgLastError = BZ_ERROR_NO_MEMORY;
    return mesh->regions;
}

void bz_NavMesh_Free(bzNavMesh *mesh)
{
    if (!mesh)
        return;
    for (int32_t r = 0; mesh->regions && r < mesh->regionCount; r++)
        for (int32_t g = 0; mesh->regions[r].groups && g < mesh->regions[r].groupCount; g++)
        {
            bzNavFaceGroup &group = mesh->regions[r].groups[g];
            while (bzNavObstacle *obstacle = group.obstacles)
            {
                group.obstacles = obstacle->next;
                bz_NavMesh_PoolGive(BZ_NAV_POOL_OBSTACLES, obstacle);
            }
            group.obstacleCount = 0;
        }
    bz_MemFree(mesh);
    bz_NavMesh_RenewPools();
}

bzErrorCode bz_NavMesh_Write(const bzNavMesh *mesh, const char *path)
{
    if (!mesh || !path)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (mesh->entryCount < 0 || mesh->entryCount > BZ_NAV_MAX_ENTRIES || mesh->regionCount < 0)
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    bzFileHandle *file = bz_FileOpen(path, "wb");
    if (!file)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    bzFieldWriter o{file};
    o.U32(BZ_NAV_MAGIC);
    o.U32(mesh->worldMeasure);
    o.U32(static_cast<uint32_t>(mesh->entryCount));
    for (int32_t e = 0; e < mesh->entryCount; e++)
    {
        uint8_t name[kNameBytes] = {};
        if (const bzLump *lump = mesh->entries[e].lump)
            std::memcpy(name, lump->name, strnlen(lump->name, sizeof lump->name));
        o.Bytes(name, sizeof name);
        PutBox(o, mesh->entries[e].min, mesh->entries[e].max);
    }
    o.U32(static_cast<uint32_t>(mesh->regionCount));
    for (int32_t r = 0; r < mesh->regionCount; r++)
    {
        const bzNavRegion &region = mesh->regions[r];
        o.U32(region.word);
        o.U16(region.groupCount);
        o.U16(region.joinCount);
        o.U16(region.multiJoinCount);
        for (uint16_t g = 0; g < region.groupCount; g++)
        {
            const bzNavFaceGroup &group = region.groups[g];
            o.U16(group.entry);
            o.U16(group.faceCount);
            for (uint16_t f = 0; f < group.faceCount; f++)
            {
                o.U16(group.faces[f].face);
                for (uint16_t edge : group.faces[f].edges)
                    o.U16(edge);
            }
            uint32_t obstacles = 0;
            for (const bzNavObstacle *ob = group.obstacles; ob; ob = ob->next)
                obstacles++;
            o.U16(obstacles);
            for (const bzNavObstacle *ob = group.obstacles; ob; ob = ob->next)
                PutBox(o, ob->min, ob->max);
        }
        for (uint16_t j = 0; j < region.joinCount; j++)
        {
            const bzNavJoin &join = region.joins[j];
            uint8_t b[kJoinBytes] = {join.kind, join.group, 0, 0};
            bz_PutU16LE(b + 4, join.face);
            bz_PutU16LE(b + 6, join.region);
            o.Bytes(b, sizeof b);
        }
        for (uint16_t m = 0; m < region.multiJoinCount; m++)
        {
            o.U16(region.multiJoins[m].count);
            for (uint16_t k = 0; k < region.multiJoins[m].count; k++)
                o.U16(region.multiJoins[m].joins[k]);
        }
    }
    o.U32(BZ_NAV_END_MARKER);
    const bool closed = bz_FileClose(file) == 0;
    return o.ok && closed ? BZ_ERROR_NONE : (bzgLastError = BZ_ERROR_FILE_NOT_FOUND);
}

bzNavMesh *bz_NavMesh_Load(const char *path, const bzNavSetup *setup, const char *const *sources,
                           int32_t sourceCount)
{
    if (!path || !setup)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    // A navigation file older than one of its sources is stale.
    for (int32_t i = 0; i < sourceCount && i < 2 && sources; i++)
        if (sources[i] && bz_FileExists(path) && bz_FileExists(sources[i]) &&
            bz_CompareFileTimes(bz_GetFileTime(path), bz_GetFileTime(sources[i])) < 0)
            Delete(path);
    bzFileHandle *file = bz_FileOpen(path, "rb");
    if (!file)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int32_t length = bz_FileLength(file);
    uint8_t *buffer = length > 3
                          ? static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(length), 0))
                          : nullptr;
    const size_t got = buffer ? bz_FileRead(file, buffer, static_cast<size_t>(length)) : 0;
    bz_FileClose(file);
    if (!buffer)
    {
        bzgLastError = length > 3 ? BZ_ERROR_NO_MEMORY : BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    Cursor c = {buffer, buffer + got};
    bzErrorCode failure;
    bzNavMesh *mesh = Parse(c, setup, &failure);
    bz_MemFree(buffer);
    if (!mesh)
    {
        bzgLastError = failure;
        if (failure == BZ_ERROR_BAD_DATA_FORMAT)
            Delete(path);
    }
    return mesh;
}
