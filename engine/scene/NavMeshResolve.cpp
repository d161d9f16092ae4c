// The resolution pass of a built navigation mesh: joins and edge references made while building
// name model entries and model face numbers; afterwards they name group and face indices. A
// model entry past 255 keeps its high byte in a join's first spare byte until then.
#include "scene/NavMesh.h"

#include "core/Debug.h"

#include <cstdio>

namespace
{
// The index of the region's group of the entry, or -1.
int32_t GroupOfEntry(const bzNavRegion &r, uint32_t entry)
{
    for (int32_t g = 0; g < r.groupCount; g++)
        if (r.groups[g].entry == entry)
            return g;
    return -1;
}

// The index of the group's face of the number, or -1.
int32_t FaceOfNumber(const bzNavFaceGroup &g, uint32_t number)
{
    for (int32_t f = 0; f < g.faceCount; f++)
        if (g.faces[f].face == number)
            return f;
    return -1;
}

// The model entry a join names while building: its low byte in the group field, its high byte
// in the first spare byte (cleared once resolved).
uint32_t EntryOf(bzNavJoin &join)
{
    const uint32_t entry = join.group | static_cast<uint32_t>(join.spare[0]) << 8;
    join.spare[0] = 0;
    return entry;
}

void ResolveOtherRegion(bzNavMesh *mesh, bzNavJoin &join)
{
    const uint32_t entry = EntryOf(join);
    for (int32_t r = 0; r < mesh->regionCount; r++)
    {
        const int32_t g = GroupOfEntry(mesh->regions[r], entry);
        const int32_t f = g < 0 ? -1 : FaceOfNumber(mesh->regions[r].groups[g], join.face);
        if (f >= 0)
        {
            join.face = static_cast<uint16_t>(f);
            join.region = static_cast<uint16_t>(r);
            join.group = static_cast<uint8_t>(g);
            return;
        }
    }
    bz_Debug_Text("New region face reference didn't appear in any other regions");
    join.kind = BZ_NAV_JOIN_BAR;
}

void ResolveSameRegion(const bzNavRegion &region, bzNavJoin &join)
{
    const int32_t g = GroupOfEntry(region, EntryOf(join));
    const int32_t f = g < 0 ? -1 : FaceOfNumber(region.groups[g], join.face);
    if (f < 0)
    {
        bz_Debug_Text("Same region face reference didn't appear inside region");
        join.kind = BZ_NAV_JOIN_BAR;
        return;
    }
    join.group = static_cast<uint8_t>(g);
    join.face = static_cast<uint16_t>(f);
}
} // namespace

void bz_NavMesh_Resolve(bzNavMesh *mesh)
{
    if (!mesh)
        return;
    for (int32_t r = 0; r < mesh->regionCount; r++)
        for (int32_t j = 0; j < mesh->regions[r].joinCount; j++)
        {
            bzNavJoin &join = mesh->regions[r].joins[j];
            if (join.kind == BZ_NAV_JOIN_REGION ||
                (join.kind == BZ_NAV_JOIN_PRECIPICE && join.region == 0))
                ResolveOtherRegion(mesh, join);
        }
    for (int32_t r = 0; r < mesh->regionCount; r++)
        for (int32_t j = 0; j < mesh->regions[r].joinCount; j++)
            if (mesh->regions[r].joins[j].kind == BZ_NAV_JOIN_GROUP)
                ResolveSameRegion(mesh->regions[r], mesh->regions[r].joins[j]);
    for (int32_t r = 0; r < mesh->regionCount; r++)
        for (int32_t g = 0; g < mesh->regions[r].groupCount; g++)
        {
            bzNavFaceGroup &group = mesh->regions[r].groups[g];
            for (int32_t f = 0; f < group.faceCount; f++)
                for (uint16_t &edge : group.faces[f].edges)
                {
                    if (edge >> 14)
                        continue;
                    const int32_t index = FaceOfNumber(group, edge);
                    if (index >= 0)
                    {
                        edge = static_cast<uint16_t>(index);
                        continue;
                    }
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "Compact face reference (%d) of face (%d) didn't appear inside "
                                  "face-group (%d) of region (%d)",
                                  edge, f, g, r);
                    bz_Debug_Text(text);
                }
        }
}
