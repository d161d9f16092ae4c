// Queries of a navigation mesh's faces, and the search for the face under a position.
#include "scene/NavMesh.h"

#include "device/ModelFace.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"

#include <cmath>

namespace
{
const bzNavFaceGroup *GroupOf(const bzNavMesh *mesh, int32_t region, int32_t group)
{
    if (!mesh || region < 0 || region >= mesh->regionCount || group < 0 ||
        group >= mesh->regions[region].groupCount)
        return nullptr;
    return &mesh->regions[region].groups[group];
}

bool Holds(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face, const bzV3 *p)
{
    bzV3 corners[3];
    return bz_NavMesh_GetFaceCorners(mesh, region, group, face, corners) &&
           bz_NavMesh_OverFace(corners, p->x, p->z);
}

// The first face of the group over the position, or -1.
int32_t FaceInGroup(const bzNavMesh *mesh, int32_t region, int32_t group, const bzV3 *p)
{
    const bzNavFaceGroup *g = GroupOf(mesh, region, group);
    for (int32_t f = 0; g && f < g->faceCount; f++)
        if (Holds(mesh, region, group, f, p))
            return f;
    return -1;
}

// The first face of the region over the position: its group through *group, or -1.
int32_t FaceInRegion(const bzNavMesh *mesh, int32_t region, const bzV3 *p, int32_t *group)
{
    for (int32_t g = 0; g < mesh->regions[region].groupCount; g++)
    {
        const int32_t f = FaceInGroup(mesh, region, g, p);
        if (f >= 0)
        {
            *group = g;
            return f;
        }
    }
    return -1;
}
} // namespace

int32_t bz_NavMesh_OverFace(const bzV3 *c, float x, float z)
{
    bool positive = false, negative = false;
    for (int32_t i = 0; i < 3; i++)
    {
        const bzV3 &a = c[i];
        const bzV3 &b = c[(i + 1) % 3];
        const float s = (b.x - a.x) * (z - a.z) - (b.z - a.z) * (x - a.x);
        positive |= s > 0.0f;
        negative |= s < 0.0f;
    }
    return positive && negative ? 0 : 1;
}

int32_t bz_NavMesh_GetFaceCorners(const bzNavMesh *mesh, int32_t region, int32_t group,
                                  int32_t face, bzV3 *out)
{
    const bzNavFaceGroup *g = GroupOf(mesh, region, group);
    if (!g || face < 0 || face >= g->faceCount || g->entry >= mesh->entryCount || !out)
        return 0;
    bzLump *lump = mesh->entries[g->entry].lump;
    bzModelMesh model;
    if (!lump || !bz_Scene_GetModelMesh(bz_Lump_GetModel(lump), &model))
        return 0;
    const uint32_t number = g->faces[face].face;
    if (number >= model.faceCount)
        return 0;
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, lump, nullptr);
    for (int32_t k = 0; k < 3; k++)
    {
        const uint32_t v = model.faces[number].v[k];
        if (v >= model.vertexCount)
            return 0;
        bz_M34_TransformPointInto(&world, &out[k], &model.positions[v]);
    }
    return 1;
}

float bz_NavMesh_HeightOnFace(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face,
                              const bzV3 *point, bzV3 *outNormal)
{
    bzV3 c[3];
    if (!point || !bz_NavMesh_GetFaceCorners(mesh, region, group, face, c))
        return 0.0f;
    const bzV3 e1 = {{{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z}}};
    const bzV3 e2 = {{{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z}}};
    bzV3 n;
    bz_V3_CrossInto(&e1, &e2, &n);
    const float length = std::sqrt(bz_V3_Dot(&n, &n));
    // The walkable side is up.
    const float scale = length > 0.0f ? (n.y < 0.0f ? -1.0f : 1.0f) / length : 0.0f;
    n = {{{n.x * scale, n.y * scale, n.z * scale}}};
    if (outNormal)
        *outNormal = n;
    if (n.y == 0.0f)
        return c[0].y;
    return c[0].y - (n.x * (point->x - c[0].x) + n.z * (point->z - c[0].z)) / n.y;
}

float bz_NavMesh_FaceTop(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face)
{
    bzV3 c[3];
    if (!bz_NavMesh_GetFaceCorners(mesh, region, group, face, c))
        return 0.0f;
    return std::fmax(c[0].y, std::fmax(c[1].y, c[2].y));
}

float bz_NavMesh_FaceOffset(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face,
                            const bzV3 *position, int32_t *outOver)
{
    bzV3 c[3];
    if (outOver)
        *outOver = 0;
    if (!position || !bz_NavMesh_GetFaceCorners(mesh, region, group, face, c))
        return 0.0f;
    if (outOver)
        *outOver = bz_NavMesh_OverFace(c, position->x, position->z) ? 1 : 0;
    return std::fabs(position->y - (c[0].y + c[1].y + c[2].y) / 3.0f);
}

int32_t bz_NavMesh_FindRegion(const bzNavMesh *mesh, const bzV3 *position, bzNavPlace *place)
{
    if (!mesh || !position || !place)
        return 3;
    const int32_t region = place->region, group = place->group, face = place->face;
    const bool knownRegion = region >= 0 && region < mesh->regionCount;
    int32_t result = 3;
    int32_t foundRegion = -1, foundGroup = -1, foundFace = -1;
    if (knownRegion && face >= 0 && Holds(mesh, region, group, face, position))
    {
        result = 0;
        foundRegion = region, foundGroup = group, foundFace = face;
    }
    else if (knownRegion && (foundFace = FaceInGroup(mesh, region, group, position)) >= 0)
    {
        result = 1;
        foundRegion = region, foundGroup = group;
    }
    else if (knownRegion && (foundFace = FaceInRegion(mesh, region, position, &foundGroup)) >= 0)
    {
        result = 1;
        foundRegion = region;
    }
    else
    {
        // Every other region, the last that holds the position winning.
        for (int32_t r = 0; r < mesh->regionCount; r++)
        {
            int32_t g;
            const int32_t f = r == region ? -1 : FaceInRegion(mesh, r, position, &g);
            if (f >= 0)
            {
                result = 2;
                foundRegion = r, foundGroup = g, foundFace = f;
            }
        }
    }
    if (result == 3)
        return 3;
    place->region = foundRegion;
    place->group = foundGroup;
    place->face = foundFace;
    place->lump = mesh->entries[mesh->regions[foundRegion].groups[foundGroup].entry].lump;
    return result;
}
