// A portal world made in memory for the tests of the portal render pass: rooms with boxes and
// fixed lumps, portals given as convex polygons between two rooms. The world is made the loaded
// one; bz_Portals_FreeWorld frees it with all its arrays.
#pragma once

#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/Portals.h"

#include <cmath>
#include <vector>

struct TestPortal
{
    std::vector<bzV3> polygon;
    uint16_t roomA;
    uint16_t roomB;
};

struct TestRoom
{
    bzBox box;
    std::vector<uint16_t> portals;
    std::vector<bzLump *> fixedLumps;
    bool dead = false;
};

// The square of half size h about (x, y) in the plane z = z.
inline std::vector<bzV3> SquareAtZ(float x0, float x1, float y0, float y1, float z)
{
    return {{{{x0, y0, z}}}, {{{x1, y0, z}}}, {{{x1, y1, z}}}, {{{x0, y1, z}}}};
}

inline bzPortalWorld *MakePortalWorld(const std::vector<TestPortal> &portals,
                                      const std::vector<TestRoom> &rooms)
{
    auto *w = static_cast<bzPortalWorld *>(bz_MemAlloc(sizeof(bzPortalWorld), BZ_MEM_CLEAR));
    auto child = [w](size_t bytes) {
        return bz_MemAlloc(static_cast<uint32_t>(bytes ? bytes : 1), BZ_MEM_CLEAR | BZ_MEM_PARENT,
                           w);
    };
    w->portalCount = static_cast<int32_t>(portals.size());
    w->portals = static_cast<bzPortal *>(child(sizeof(bzPortal) * portals.size()));
    for (size_t i = 0; i < portals.size(); i++)
    {
        const TestPortal &t = portals[i];
        bzPortal &p = w->portals[i];
        p.vertexCount = static_cast<int16_t>(t.polygon.size());
        p.roomA = t.roomA;
        p.roomB = t.roomB;
        p.vertices = static_cast<bzV3 *>(child(sizeof(bzV3) * t.polygon.size()));
        bzV3 centre = {{{0, 0, 0}}};
        for (size_t k = 0; k < t.polygon.size(); k++)
        {
            p.vertices[k] = t.polygon[k];
            for (int j = 0; j < 3; j++)
                centre.v[j] += t.polygon[k].v[j] / static_cast<float>(t.polygon.size());
        }
        p.centre = centre;
        for (const bzV3 &v : t.polygon)
            p.radius = std::fmax(p.radius, bz_V3_Distance(&v, &centre));
        const bzV3 &a = t.polygon[0], &b = t.polygon[1], &c = t.polygon[2];
        const bzV3 u = {{{a.x - b.x, a.y - b.y, a.z - b.z}}};
        const bzV3 v = {{{c.x - b.x, c.y - b.y, c.z - b.z}}};
        bzV3 n;
        bz_V3_CrossInto(&u, &v, &n);
        bz_V3_Normalise(&n);
        p.plane.n = n;
        p.plane.d = bz_V3_Dot(&n, &a);
    }
    w->roomCount = static_cast<int32_t>(rooms.size());
    w->rooms = static_cast<bzPortalRoom *>(child(sizeof(bzPortalRoom) * rooms.size()));
    for (size_t i = 0; i < rooms.size(); i++)
    {
        const TestRoom &t = rooms[i];
        bzPortalRoom &r = w->rooms[i];
        r.box = t.box;
        if (t.dead)
        {
            r.portalCount = -1;
            continue;
        }
        r.portalCount = static_cast<int16_t>(t.portals.size());
        r.portals = static_cast<uint16_t *>(child(sizeof(uint16_t) * t.portals.size()));
        for (size_t k = 0; k < t.portals.size(); k++)
            r.portals[k] = t.portals[k];
        r.staticCount = static_cast<int32_t>(t.fixedLumps.size());
        r.staticLumps = static_cast<bzLump **>(child(sizeof(bzLump *) * t.fixedLumps.size()));
        for (size_t k = 0; k < t.fixedLumps.size(); k++)
            r.staticLumps[k] = t.fixedLumps[k];
    }
    bz_Portals_SetWorld(w);
    return w;
}
