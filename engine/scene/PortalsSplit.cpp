// The world split by room: one model per room made of the level's faces that lie in it, kept
// under a lump "SplitWorld" and saved as a container, and the binding of such a split world,
// once loaded, to the portal world.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Container.h"
#include "scene/ModelGeometry.h"
#include "scene/Portals.h"
#include "scene/PortalsCells.h"
#include "scene/SceneServices.h"

#include <cstdio>
#include <cstring>

namespace
{
// The most portal room entries a face is looked up with, and the most rooms it keeps.
constexpr int32_t kTriangleEntries = 64;
constexpr int32_t kFaceRooms = 16;

struct RoomFaces
{
    int32_t count; // faces of the room
    int32_t used;  // written so far
    bzV3 *positions;
    bzModelFace *faces;
    bzMaterial *material; // of the room's first face
};

struct Split
{
    const bzPortalWorld *world;
    RoomFaces *rooms;
    bool fill; // false: count only
};

// The room of the inside cell nearest the face on its front, then its back; -1 for none.
int32_t RoomNearFace(const bzV3 *v)
{
    bzV3 centre = {{{(v[0].x + v[1].x + v[2].x) / 3.0f, (v[0].y + v[1].y + v[2].y) / 3.0f,
                     (v[0].z + v[1].z + v[2].z) / 3.0f}}};
    bzV3 e1, e2, n;
    bz_V3_SubInto(&v[1], &v[0], &e1);
    bz_V3_SubInto(&v[2], &v[0], &e2);
    bz_V3_CrossInto(&e1, &e2, &n);
    const float length = bz_V3_Length(&n);
    if (length > 0.0f)
        bz_V3_Scale(&n, 1.0f / length);
    bzPortalCell *root = PortalsWork().root;
    // A face lies in solid space; the room is that of the space beside it.
    const float steps[] = {0.0f, 0.1f, -0.1f, 0.75f, -0.75f, 1.5f, -1.5f};
    for (float s : steps)
    {
        bzV3 p;
        bz_V3_AddScaledInto(&centre, &n, s, &p);
        if (root)
        {
            const bzPortalCell *cell = PortalInsideCellAtPoint(root, &p);
            if (cell && cell->tag >= 0 && !(cell->flags & BZ_CELL_PORTAL))
            {
                const uint16_t room = PortalsRoomOfTag(cell->tag);
                if (room != BZ_PORTAL_NO_ROOM)
                    return room;
            }
        }
        else if (s != 0.0f)
        {
            const int32_t room = bz_Portals_FindRoom(&p);
            if (room >= 0)
                return room;
        }
    }
    return -1;
}

// The distinct rooms of a face.
int32_t FaceRooms(const bzV3 *v, int32_t roomCount, int32_t *out)
{
    uint16_t entries[kTriangleEntries];
    int32_t n = PortalsTriangleRooms(&v[0], &v[1], &v[2], entries, kTriangleEntries);
    n = n < kTriangleEntries ? n : kTriangleEntries;
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++)
    {
        const int32_t room = entries[i];
        if (room == BZ_PORTAL_NO_ROOM || room >= roomCount)
            continue;
        bool seen = false;
        for (int32_t k = 0; k < kept; k++)
            seen = seen || out[k] == room;
        if (!seen && kept < kFaceRooms)
            out[kept++] = room;
    }
    if (!kept)
    {
        const int32_t room = RoomNearFace(v);
        if (room >= 0 && room < roomCount)
            out[kept++] = room;
    }
    return kept;
}

intptr_t SplitLump(bzLump *lump, const bzM34 *matrix, void *user)
{
    auto *split = static_cast<Split *>(user);
    const uint32_t *parameters = split->world->parameters;
    if (lump->type != BZ_LUMP_TYPE_MODEL || (lump->queryFlags & parameters[3]) != parameters[4])
        return 0;
    bzModelMesh mesh{};
    if (!bz_Scene_GetModelMesh(bz_Lump_GetModel(lump), &mesh))
        return 0;
    for (uint32_t f = 0; f < mesh.faceCount; f++)
    {
        bzV3 v[3];
        bool ok = true;
        for (int32_t i = 0; i < 3; i++)
        {
            const uint32_t index = mesh.faces[f].v[i];
            ok = ok && index < mesh.vertexCount;
            if (ok)
                bz_M34_TransformPointInto(matrix, &v[i], &mesh.positions[index]);
        }
        if (!ok)
            continue;
        int32_t rooms[kFaceRooms];
        const int32_t n = FaceRooms(v, split->world->roomCount, rooms);
        for (int32_t k = 0; k < n; k++)
        {
            RoomFaces &r = split->rooms[rooms[k]];
            if (!split->fill)
            {
                if (!r.count)
                    r.material = bz_Scene_GetFaceMaterial(&mesh, f);
                r.count++;
                continue;
            }
            if (r.used >= r.count || !r.faces)
                continue;
            const uint32_t base = static_cast<uint32_t>(r.used) * 3;
            for (int32_t i = 0; i < 3; i++)
                r.positions[base + i] = v[i];
            r.faces[r.used] = mesh.faces[f];
            for (uint32_t i = 0; i < 3; i++)
                r.faces[r.used].v[i] = base + i;
            r.used++;
        }
    }
    return 0;
}

// The container's path: the output name's folder, then "split\split".
void SplitPath(const char *outputName, char *out, size_t size)
{
    const char *end = outputName;
    for (const char *p = outputName; *p; p++)
        if (*p == '\\' || *p == '/')
            end = p + 1;
    std::snprintf(out, size, "%.*ssplit\\split", static_cast<int>(end - outputName), outputName);
}
} // namespace

bzLump *bz_Portals_SplitAndSave(bzLump *root, const char *outputName)
{
    const bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !root)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto *rooms = static_cast<RoomFaces *>(
        bz_MemAlloc(static_cast<uint32_t>((w->roomCount ? w->roomCount : 1) * sizeof(RoomFaces)),
                    BZ_MEM_CLEAR));
    bzLump *top = rooms ? bz_Lump_Create(BZ_LUMP_TYPE_NULL, "SplitWorld") : nullptr;
    if (!top)
    {
        bz_MemFree(rooms);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    Split split = {w, rooms, false};
    bz_Lump_WalkFromRoot(root, SplitLump, &split);
    bool short_ = false;
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        RoomFaces &room = rooms[r];
        if (!room.count)
            continue;
        room.positions = static_cast<bzV3 *>(
            bz_MemAlloc(static_cast<uint32_t>(room.count * 3 * sizeof(bzV3)), 0));
        room.faces = static_cast<bzModelFace *>(
            bz_MemAlloc(static_cast<uint32_t>(room.count * sizeof(bzModelFace)), BZ_MEM_CLEAR));
        short_ = short_ || !room.positions || !room.faces;
    }
    split.fill = true;
    if (!short_)
        bz_Lump_WalkFromRoot(root, SplitLump, &split);
    // The rooms' lumps, the last room first so that they stand in room order below the top.
    for (int32_t r = w->roomCount - 1; r >= 0 && !short_; r--)
    {
        RoomFaces &room = rooms[r];
        if (!room.used)
            continue;
        char name[17];
        std::snprintf(name, sizeof name, "Room%d", r);
        bzModel *model =
            bz_Scene_CreateModel(name, room.positions, static_cast<uint32_t>(room.used) * 3,
                                 room.faces, static_cast<uint32_t>(room.used), room.material);
        bzLump *lump = model ? bz_Lump_CreateModel(model) : nullptr;
        bz_Scene_ReleaseModel(model);
        if (!lump)
        {
            short_ = true;
            break;
        }
        std::memcpy(lump->name, name, sizeof lump->name);
        bz_Lump_Attach(top, lump);
    }
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        bz_MemFree(rooms[r].positions);
        bz_MemFree(rooms[r].faces);
    }
    bz_MemFree(rooms);
    if (short_)
    {
        bz_Lump_DestroyTree(top);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bz_Lump_BuildOctree(top);
    char path[512];
    SplitPath(outputName ? outputName : "", path, sizeof path);
    const bzErrorCode saved = bz_Lump_SaveCNT(path, top, 0);
    if (saved != BZ_ERROR_NONE)
    {
        bz_Lump_DestroyTree(top);
        bzgLastError = saved;
        return nullptr;
    }
    return top;
}

int32_t bz_Portals_BindSplitWorld(bzLump *lump)
{
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !lump || w->roomCount <= 0)
        return 0;
    int32_t found = 0;
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        char name[17];
        std::snprintf(name, sizeof name, "Room%d", r);
        found += bz_Lump_FindByName(lump, name) != nullptr;
    }
    if (found * 2 < w->roomCount)
        return 0;
    lump->type = BZ_LUMP_TYPE_PORTALS_ROOT;
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        char name[17];
        std::snprintf(name, sizeof name, "Room%d", r);
        if (bzLump *room = bz_Lump_FindByName(lump, name))
            bz_Portals_AddLumpRecord(room, r);
    }
    bz_Portals_AddLumpRecord(lump, -1);
    return 1;
}
