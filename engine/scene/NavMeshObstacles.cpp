// Obstacles of a navigation mesh: boxes of lumps standing on walkable faces, kept per face group.
#include "scene/NavMesh.h"

#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"

#include <cfloat>

namespace
{
// Whether the segment a-b meets the rectangle [min, max] in the x-z plane.
bool SegmentMeetsRect(const bzV3 &a, const bzV3 &b, const bzV3 &min, const bzV3 &max)
{
    float t0 = 0.0f, t1 = 1.0f;
    const float d[2] = {b.x - a.x, b.z - a.z};
    const float p[2] = {a.x, a.z};
    const float lo[2] = {min.x, min.z}, hi[2] = {max.x, max.z};
    for (int32_t k = 0; k < 2; k++)
    {
        if (d[k] == 0.0f)
        {
            if (p[k] < lo[k] || p[k] > hi[k])
                return false;
            continue;
        }
        float ta = (lo[k] - p[k]) / d[k], tb = (hi[k] - p[k]) / d[k];
        if (ta > tb)
        {
            const float s = ta;
            ta = tb;
            tb = s;
        }
        t0 = ta > t0 ? ta : t0;
        t1 = tb < t1 ? tb : t1;
        if (t0 > t1)
            return false;
    }
    return true;
}

bool InsideRect(const bzV3 &p, const bzV3 &min, const bzV3 &max)
{
    return p.x >= min.x && p.x <= max.x && p.z >= min.z && p.z <= max.z;
}

// Offers the box to the region's face groups: the first face that carries it takes it into its
// group. 1 when one did.
bool OfferToRegion(bzNavMesh *mesh, int32_t r, void *object, const bzV3 &min, const bzV3 &max)
{
    bzNavRegion &region = mesh->regions[r];
    for (int32_t g = 0; g < region.groupCount; g++)
    {
        bzNavFaceGroup &group = region.groups[g];
        if (group.entry >= mesh->entryCount)
            continue;
        const bzNavModelEntry &e = mesh->entries[group.entry];
        if (e.min.x > max.x || e.max.x < min.x || e.min.z > max.z || e.max.z < min.z)
            continue;
        for (int32_t f = 0; f < group.faceCount; f++)
        {
            bzV3 c[3];
            if (!bz_NavMesh_GetFaceCorners(mesh, r, g, f, c))
                continue;
            const float h = (c[0].y + c[1].y + c[2].y) / 3.0f;
            if (min.y - h > 2.5f || h - max.y > 0.5f)
                continue;
            if (!bz_NavMesh_BoxMeetsFace(c, &min, &max))
                continue;
            auto *obstacle =
                static_cast<bzNavObstacle *>(bz_NavMesh_PoolTake(BZ_NAV_POOL_OBSTACLES));
            if (!obstacle)
                return false;
            obstacle->object = object;
            obstacle->min = min;
            obstacle->max = max;
            obstacle->next = group.obstacles;
            group.obstacles = obstacle;
            group.obstacleCount++;
            return true;
        }
    }
    return false;
}
} // namespace

int32_t bz_NavMesh_BoxMeetsFace(const bzV3 *c, const bzV3 *min, const bzV3 *max)
{
    for (int32_t k = 0; k < 3; k++)
        if (InsideRect(c[k], *min, *max) || SegmentMeetsRect(c[k], c[(k + 1) % 3], *min, *max))
            return 1;
    return 0;
}

int32_t bz_NavMesh_AddObstacles(bzNavMesh *mesh, bzLump *root)
{
    if (!mesh || !root)
        return 0;
    int32_t taken = 0;
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
    {
        if (mesh->filter && !mesh->filter(l))
            continue;
        bzV3 min, max;
        if (!bz_NavMesh_LumpWorldBox(l, &min, &max))
            continue;
        if (max.x - min.x < FLT_EPSILON || max.y - min.y < FLT_EPSILON ||
            max.z - min.z < FLT_EPSILON)
            continue;
        for (int32_t r = 0; r < mesh->regionCount; r++)
            taken += OfferToRegion(mesh, r, l, min, max) ? 1 : 0;
    }
    return taken;
}

int32_t bz_NavMesh_RemoveObstacle(bzNavMesh *mesh, bzLump *object)
{
    if (!mesh || !object || (mesh->filter && !mesh->filter(object)))
        return 0;
    int32_t removed = 0;
    for (int32_t r = 0; r < mesh->regionCount; r++)
        for (int32_t g = 0; g < mesh->regions[r].groupCount; g++)
        {
            bzNavFaceGroup &group = mesh->regions[r].groups[g];
            for (bzNavObstacle **link = &group.obstacles; *link; link = &(*link)->next)
                if ((*link)->object == object)
                {
                    bzNavObstacle *gone = *link;
                    *link = gone->next;
                    bz_NavMesh_PoolGive(BZ_NAV_POOL_OBSTACLES, gone);
                    group.obstacleCount--;
                    removed++;
                    break;
                }
        }
    return removed;
}
