// Building a navigation mesh from the models of a level's lump tree, and the build that loads
// "NAVMAP.BZN" when it is current and otherwise builds and writes it.
//
// The builder's rules:
// - Faces. Every face of every model entry, placed in world space by its lump, whose plane lies
//   within 45 degrees of level (|unit normal y| >= 0.7071068, whichever way it is wound) is
//   walkable; no other face is part of the mesh. A face's surface bits are its material's ray
//   class word.
// - Neighbours. Two edges of walkable faces are neighbours when, in the x-z plane, they are
//   parallel to within cos 3 degrees (0.9986295), both ends of the one lie within a tenth of the
//   edge tolerance of the other's line, they overlap by more than that, and the rise r (the
//   other face's edge height less this face's, at the middle of the overlap) is at most 2.0
//   either way. Each neighbour gives a link across the edge, classed by r and the limits:
//       rise above the bar height                      a bar
//       rise above the step-up limit                   a step: another region
//       drop (-r) below the precipice depth            a precipice onto the lower face
//       drop below the step-down limit                 a step: another region
//       otherwise, same surface bits under the mask    level
//       otherwise                                      another region
// - Regions. Taking the walkable faces in order (model entries in order, faces by number), the
//   first face not yet in a region starts a new one, which floods across every pair of
//   neighbours level both ways (|r| within both step limits, same masked surface bits). The
//   region word is the starting face's surface bits under the mask. A region has one face group
//   per model entry with faces in it, in entry order, its faces by number.
// - Link kinds. A level or step link between faces of one region is kind 0 (into the same group
//   it is the neighbour's face number; into another group a join), between regions kind 1, a
//   precipice kind 2 (region 0, onto the lower face; resolution finds its region), a bar kind 3.
// - Open edges. An edge with no neighbour is probed: from 1000 above its midpoint, moved outward
//   (in x-z, away from the face) by the side probe offset, a ray straight down meets the world,
//   the obstacle lump and the probe lump, both sides of every face counting. Nothing met, or a
//   surface more than the precipice depth below the edge, makes a precipice: onto that surface's
//   face when it is a walkable face of the world (a join of kind 2), else into nothing
//   (reference 0x4001). A surface found higher than that (a wall top, ground not in the mesh)
//   makes a bar.
// - Edge references follow the links: one face of the group, one precipice into nothing, one
//   bar, one join, or a multi-join of every link. A same-group face number above 0x3FFF does not
//   fit the reference and goes through a join instead.
// - Work blocks. The build's records live in three fixed blocks: the walkable faces in 24,000,000
//   bytes (300,000 faces), the links across edges in 786,420 (65,535 links) and a region's joins,
//   while its edges are encoded, in 524,280 (65,535 joins). A world that needs more than a block
//   holds is refused, with a debug line naming the block.
// Worlds larger than the fields number (a face number above 0xFFFF, more than 256 groups, a join
// referred to by an edge past 0x3FFF, 0x3FFF multi-joins in a region, 0xFFFF faces in a group or
// regions) refuse to build.
#include "scene/NavMesh.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/LumpRay.h"
#include "scene/ModelGeometry.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
constexpr float kWalkableNormalY = 0.7071068f;
constexpr float kParallel = 0.9986295f; // cos 3 degrees
constexpr float kMaxRise = 2.0f;
constexpr float kProbeHeight = 1000.0f;
constexpr uint32_t kFaceWorkBytes = 24000000;
constexpr uint32_t kLinkWorkBytes = 786420;
constexpr uint32_t kJoinWorkBytes = 524280;
constexpr uint16_t kNowhere = 0x4001; // a precipice into nothing
constexpr int32_t kMaxNumber = 0x3FFF;

bool gBuilding = false;

enum LinkClass : uint8_t
{
    kLevel,
    kStep,
    kPrecipice,
    kBar,
};

struct WorkFace
{
    bzV3 c[3];
    uint32_t surface;
    uint16_t entry;
    uint16_t number;
    int32_t region;
    int32_t group;        // the face's group in its region
    int32_t firstLink[3]; // each edge's links, in the order found
    int32_t lastLink[3];
    uint32_t spare;
};
// A face record takes 80 bytes: the face block holds 300,000.
static_assert(sizeof(WorkFace) == 80);

struct WorkLink
{
    int32_t next;
    int32_t target; // a work face, or -1
    uint8_t cls;
    uint8_t bothLevel; // level both ways: the flood crosses it
};
static_assert(sizeof(WorkLink) == 12 && kLinkWorkBytes / sizeof(WorkLink) == 65535);
static_assert(sizeof(bzNavJoin) == 8 && kJoinWorkBytes / sizeof(bzNavJoin) == 65535);

struct WorkEdge
{
    float minX, maxX;
    int32_t face;
    int32_t edge;
};

// A growable array of the build's work, in blocks of the memory manager.
template <typename T> struct Grow
{
    T *items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    ~Grow() { bz_MemFree(items); }
    bool Push(const T &item)
    {
        if (count == capacity)
        {
            const int32_t more = capacity ? capacity * 2 : 64;
            if (static_cast<uint64_t>(more) * sizeof(T) > BZ_MEM_MAX_BLOCK)
                return false;
            T *bigger = static_cast<T *>(bz_MemAlloc(static_cast<uint32_t>(more * sizeof(T)), 0));
            if (!bigger)
                return false;
            if (count)
                std::memcpy(bigger, items, count * sizeof(T));
            bz_MemFree(items);
            items = bigger;
            capacity = more;
        }
        items[count++] = item;
        return true;
    }
};

struct Limits
{
    float stepDown, stepUp, barHeight, precipiceDepth, lineTolerance, sideProbe;
    uint32_t surfaceMask;
};

struct Work
{
    bzNavMesh *mesh;
    Limits limits;
    bzLump *obstacles;
    bzLump *probe;
    WorkFace *faces = nullptr; // the face block
    int32_t faceCount = 0;
    WorkLink *links = nullptr; // the link block
    int32_t linkCount = 0;
    bzNavJoin *joins = nullptr; // the join block, for one region at a time
    bzErrorCode failure = BZ_ERROR_NONE;

    ~Work()
    {
        bz_MemFree(faces);
        bz_MemFree(links);
        bz_MemFree(joins);
    }
};

constexpr int32_t kFaceCapacity = static_cast<int32_t>(kFaceWorkBytes / sizeof(WorkFace));
constexpr int32_t kLinkCapacity = static_cast<int32_t>(kLinkWorkBytes / sizeof(WorkLink));
constexpr int32_t kJoinCapacity = static_cast<int32_t>(kJoinWorkBytes / sizeof(bzNavJoin));

bool Fail(Work &w, bzErrorCode code)
{
    if (w.failure == BZ_ERROR_NONE)
        w.failure = code;
    return false;
}

bool Walkable(const bzV3 *c)
{
    const bzV3 e1 = {{{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z}}};
    const bzV3 e2 = {{{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z}}};
    bzV3 n;
    bz_V3_CrossInto(&e1, &e2, &n);
    const float length = std::sqrt(bz_V3_Dot(&n, &n));
    return length > 0.0f && std::fabs(n.y) >= kWalkableNormalY * length;
}

// A world that needs more than a work block holds.
bool Full(Work &w, const char *what)
{
    bz_Debug_Text(what);
    return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
}

// The three work blocks.
bool TakeBlocks(Work &w)
{
    w.faces = static_cast<WorkFace *>(bz_MemAlloc(kFaceWorkBytes, 0));
    w.links = static_cast<WorkLink *>(bz_MemAlloc(kLinkWorkBytes, 0));
    w.joins = static_cast<bzNavJoin *>(bz_MemAlloc(kJoinWorkBytes, 0));
    return (w.faces && w.links && w.joins) || Fail(w, BZ_ERROR_NO_MEMORY);
}

// The walkable faces of the model entries, in entry order and face order.
bool GatherFaces(Work &w)
{
    bzNavMesh *mesh = w.mesh;
    for (int32_t e = 0; e < mesh->entryCount; e++)
    {
        bzLump *lump = mesh->entries[e].lump;
        bzModelMesh model;
        if (!bz_Scene_GetModelMesh(bz_Lump_GetModel(lump), &model))
            continue;
        bzM34 world;
        bz_Lump_GetRelativeMatrix(&world, lump, nullptr);
        for (uint32_t f = 0; f < model.faceCount; f++)
        {
            const bzModelFace &face = model.faces[f];
            if (face.v[0] >= model.vertexCount || face.v[1] >= model.vertexCount ||
                face.v[2] >= model.vertexCount)
                continue;
            bzV3 c[3];
            for (int32_t k = 0; k < 3; k++)
                bz_M34_TransformPointInto(&world, &c[k], &model.positions[face.v[k]]);
            if (!Walkable(c))
                continue;
            if (w.faceCount == kFaceCapacity)
                return Full(w, "Navigation map: the walkable faces do not fit the face block");
            WorkFace &out = w.faces[w.faceCount];
            for (int32_t k = 0; k < 3; k++)
                out.c[k] = c[k];
            if (f > 0xFFFF)
                return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            bzMaterialRayInfo info;
            bz_Scene_GetMaterialRayInfo(bz_Scene_GetFaceMaterial(&model, f), &info);
            out.surface = info.rayClass;
            out.entry = static_cast<uint16_t>(e);
            out.number = static_cast<uint16_t>(f);
            out.region = -1;
            out.group = -1;
            for (int32_t k = 0; k < 3; k++)
                out.firstLink[k] = out.lastLink[k] = -1;
            w.faceCount++;
        }
    }
    return true;
}

bool AddLink(Work &w, int32_t face, int32_t edge, int32_t target, uint8_t cls, bool bothLevel)
{
    if (w.linkCount == kLinkCapacity)
        return Full(w, "Navigation map: the links across edges do not fit the link block");
    const int32_t added = w.linkCount++;
    w.links[added] = {-1, target, cls, bothLevel ? uint8_t{1} : uint8_t{0}};
    WorkFace &f = w.faces[face];
    if (f.lastLink[edge] >= 0)
        w.links[f.lastLink[edge]].next = added;
    else
        f.firstLink[edge] = added;
    f.lastLink[edge] = added;
    return true;
}

// The class of the link from a face across to a neighbour that lies r higher.
uint8_t Classify(const Limits &l, float r, uint32_t surface, uint32_t otherSurface)
{
    if (r > l.barHeight)
        return kBar;
    if (r > l.stepUp)
        return kStep;
    if (-r > l.precipiceDepth)
        return kPrecipice;
    if (-r > l.stepDown)
        return kStep;
    return ((surface ^ otherSurface) & l.surfaceMask) ? kStep : kLevel;
}

// Whether edge i of face a and edge j of face b are neighbours; the rise from a to b.
bool Neighbours(const Work &w, int32_t a, int32_t i, int32_t b, int32_t j, float *rise)
{
    const bzV3 &a0 = w.faces[a].c[i], &a1 = w.faces[a].c[(i + 1) % 3];
    const bzV3 &b0 = w.faces[b].c[j], &b1 = w.faces[b].c[(j + 1) % 3];
    const float ax = a1.x - a0.x, az = a1.z - a0.z;
    const float bx = b1.x - b0.x, bz = b1.z - b0.z;
    const float la = std::sqrt(ax * ax + az * az), lb = std::sqrt(bx * bx + bz * bz);
    if (la == 0.0f || lb == 0.0f)
        return false;
    const float ux = ax / la, uz = az / la;
    if (std::fabs(ux * bx / lb + uz * bz / lb) < kParallel)
        return false;
    const float tolerance = w.limits.lineTolerance;
    // Both ends of b on a's line.
    const float d0 = ux * (b0.z - a0.z) - uz * (b0.x - a0.x);
    const float d1 = ux * (b1.z - a0.z) - uz * (b1.x - a0.x);
    if (std::fabs(d0) > tolerance || std::fabs(d1) > tolerance)
        return false;
    // The overlap along a.
    const float s0 = ux * (b0.x - a0.x) + uz * (b0.z - a0.z);
    const float s1 = ux * (b1.x - a0.x) + uz * (b1.z - a0.z);
    const float lo = std::max(0.0f, std::min(s0, s1)), hi = std::min(la, std::max(s0, s1));
    if (hi - lo <= tolerance)
        return false;
    const float middle = (lo + hi) * 0.5f;
    const float heightA = a0.y + (a1.y - a0.y) * (middle / la);
    const float heightB = b0.y + (b1.y - b0.y) * ((middle - s0) / (s1 - s0));
    *rise = heightB - heightA;
    return std::fabs(*rise) <= kMaxRise;
}

// The links between neighbouring edges, found by sweeping the edges in order of their least x.
bool LinkNeighbours(Work &w)
{
    const int32_t edgeCount = w.faceCount * 3;
    auto *edges = static_cast<WorkEdge *>(
        bz_MemAlloc(static_cast<uint32_t>(edgeCount + 1) * sizeof(WorkEdge), 0));
    if (!edges)
        return Fail(w, BZ_ERROR_NO_MEMORY);
    const float slack = w.limits.lineTolerance;
    for (int32_t f = 0; f < w.faceCount; f++)
        for (int32_t i = 0; i < 3; i++)
        {
            const float x0 = w.faces[f].c[i].x, x1 = w.faces[f].c[(i + 1) % 3].x;
            edges[f * 3 + i] = {std::min(x0, x1) - slack, std::max(x0, x1) + slack, f, i};
        }
    std::sort(edges, edges + edgeCount,
              [](const WorkEdge &p, const WorkEdge &q) {
                  return p.minX < q.minX ||
                         (p.minX == q.minX && p.face * 3 + p.edge < q.face * 3 + q.edge);
              });
    const Limits &l = w.limits;
    bool ok = true;
    for (int32_t p = 0; p < edgeCount && ok; p++)
        for (int32_t q = p + 1; q < edgeCount && edges[q].minX <= edges[p].maxX && ok; q++)
        {
            const int32_t a = edges[p].face, b = edges[q].face;
            float r;
            if (a == b || !Neighbours(w, a, edges[p].edge, b, edges[q].edge, &r))
                continue;
            const uint32_t sa = w.faces[a].surface, sb = w.faces[b].surface;
            const uint8_t ab = Classify(l, r, sa, sb), ba = Classify(l, -r, sb, sa);
            const bool both = ab == kLevel && ba == kLevel;
            ok = AddLink(w, a, edges[p].edge, b, ab, both) &&
                 AddLink(w, b, edges[q].edge, a, ba, both);
        }
    bz_MemFree(edges);
    return ok;
}

// The regions: floods over links level both ways from each face not yet reached.
bool FloodRegions(Work &w, int32_t *regionCount)
{
    auto *stack = static_cast<int32_t *>(
        bz_MemAlloc(static_cast<uint32_t>(w.faceCount + 1) * sizeof(int32_t), 0));
    if (!stack)
        return Fail(w, BZ_ERROR_NO_MEMORY);
    int32_t regions = 0;
    for (int32_t s = 0; s < w.faceCount; s++)
    {
        if (w.faces[s].region >= 0)
            continue;
        int32_t top = 0;
        w.faces[s].region = regions;
        stack[top++] = s;
        while (top)
        {
            const WorkFace &f = w.faces[stack[--top]];
            for (int32_t i = 0; i < 3; i++)
                for (int32_t k = f.firstLink[i]; k >= 0; k = w.links[k].next)
                {
                    const WorkLink &link = w.links[k];
                    if (link.bothLevel && w.faces[link.target].region < 0)
                    {
                        w.faces[link.target].region = regions;
                        stack[top++] = link.target;
                    }
                }
        }
        regions++;
    }
    bz_MemFree(stack);
    if (regions > 0xFFFF)
        return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    *regionCount = regions;
    return true;
}

// The work face of a model face of the world, or -1 (the faces are in entry and number order).
int32_t FaceOf(const Work &w, const bzLump *lump, uint32_t number)
{
    for (int32_t e = 0; e < w.mesh->entryCount; e++)
    {
        if (w.mesh->entries[e].lump != lump)
            continue;
        const WorkFace *begin = w.faces, *end = w.faces + w.faceCount;
        const WorkFace *at =
            std::lower_bound(begin, end, 0,
                             [&](const WorkFace &f, int)
                             { return f.entry < e || (f.entry == e && f.number < number); });
        return at != end && at->entry == e && at->number == number
                   ? static_cast<int32_t>(at - w.faces)
                   : -1;
    }
    return -1;
}

// The open edges' drop probes: a precipice or a bar link each.
bool ProbeOpenEdges(Work &w)
{
    const Limits &l = w.limits;
    bzRayOptions options = {};
    options.flags = BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED;
    for (int32_t f = 0; f < w.faceCount; f++)
        for (int32_t i = 0; i < 3; i++)
        {
            if (w.faces[f].firstLink[i] >= 0)
                continue;
            const bzV3 *c = w.faces[f].c;
            const bzV3 &a = c[i], &b = c[(i + 1) % 3];
            const bzV3 mid = {{{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f}}};
            // Outward: the edge's normal in x-z, away from the face's third corner.
            float nx = b.z - a.z, nz = -(b.x - a.x);
            const bzV3 &other = c[(i + 2) % 3];
            if (nx * (other.x - mid.x) + nz * (other.z - mid.z) > 0.0f)
                nx = -nx, nz = -nz;
            const float length = std::sqrt(nx * nx + nz * nz);
            bzRay ray = {};
            ray.origin = {{{mid.x + nx / length * l.sideProbe, mid.y + kProbeHeight,
                            mid.z + nz / length * l.sideProbe}}};
            ray.delta = {{{0.0f, -1.0f, 0.0f}}};
            ray.flag = 1;
            float nearest = FLT_MAX;
            bzLump *hitLump = nullptr;
            uint32_t hitFace = 0;
            bzLump *roots[3] = {w.mesh->world, w.obstacles, w.probe};
            for (int32_t r = 0; r < 3; r++)
            {
                float t;
                bzLump *lump;
                uint32_t face;
                if (roots[r] &&
                    bz_Lump_RayIntersect(roots[r], &ray, &options, &t, &lump, &face, nullptr,
                                         nullptr, nullptr, nullptr) &&
                    t < nearest)
                {
                    nearest = t;
                    hitLump = r == 0 ? lump : nullptr;
                    hitFace = face;
                }
            }
            const float below = nearest == FLT_MAX ? FLT_MAX : mid.y - (ray.origin.y - nearest);
            if (!(below > l.precipiceDepth))
            {
                if (!AddLink(w, f, i, -1, kBar, false))
                    return false;
                continue;
            }
            // Onto a walkable face of the world, when that is what the probe met.
            const int32_t target = hitLump ? FaceOf(w, hitLump, hitFace) : -1;
            if (!AddLink(w, f, i, target, kPrecipice, false))
                return false;
        }
    return true;
}

// The join of a link from face f (the target's entry and face number, kinds as built).
bzNavJoin JoinOf(const Work &w, int32_t f, const WorkLink &link)
{
    bzNavJoin join = {};
    const WorkFace &from = w.faces[f];
    if (link.cls == kBar)
    {
        join.kind = BZ_NAV_JOIN_BAR;
        return join;
    }
    const WorkFace &to = w.faces[link.target];
    join.kind = link.cls == kPrecipice     ? BZ_NAV_JOIN_PRECIPICE
                : to.region == from.region ? BZ_NAV_JOIN_GROUP
                                           : BZ_NAV_JOIN_REGION;
    join.group = static_cast<uint8_t>(to.entry & 0xFF);
    join.spare[0] = static_cast<uint8_t>(to.entry >> 8);
    join.face = to.number;
    join.region = 0;
    return join;
}

// The region's joins (in the join block) and multi-joins while its edges are encoded.
struct RegionWork
{
    int32_t joinCount = 0;
    Grow<int32_t> multiStarts; // where each multi-join's indices start in indices
    Grow<uint16_t> indices;
};

bool AppendJoin(Work &w, RegionWork &rw, const bzNavJoin &join, uint16_t *index)
{
    if (rw.joinCount == kJoinCapacity)
        return Full(w, "Navigation map: a region's joins do not fit the join block");
    w.joins[rw.joinCount] = join;
    *index = static_cast<uint16_t>(rw.joinCount++);
    return true;
}

// The reference of edge i of face f.
bool EncodeEdge(Work &w, RegionWork &rw, int32_t f, int32_t i, uint16_t *reference)
{
    const WorkFace &face = w.faces[f];
    int32_t count = 0;
    for (int32_t k = face.firstLink[i]; k >= 0; k = w.links[k].next)
        count++;
    if (count == 1)
    {
        const WorkLink &link = w.links[face.firstLink[i]];
        if (link.cls == kBar)
            return *reference = BZ_NAV_EDGE_BAR, true;
        if (link.cls == kPrecipice && link.target < 0)
            return *reference = kNowhere, true;
        const WorkFace &to = w.faces[link.target];
        if (link.cls != kPrecipice && to.region == face.region && to.entry == face.entry &&
            to.number <= kMaxNumber)
            return *reference = to.number, true;
        uint16_t index;
        if (!AppendJoin(w, rw, JoinOf(w, f, link), &index))
            return false;
        // The reference's 14 bits number the join.
        if (index > kMaxNumber)
            return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        return *reference = static_cast<uint16_t>(0x8000 | index), true;
    }
    // No link or several: a multi-join of each.
    if (rw.multiStarts.count > kMaxNumber)
        return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    if (!rw.multiStarts.Push(rw.indices.count))
        return Fail(w, BZ_ERROR_NO_MEMORY);
    *reference = static_cast<uint16_t>(0xC000 | (rw.multiStarts.count - 1));
    for (int32_t k = face.firstLink[i]; k >= 0; k = w.links[k].next)
    {
        const WorkLink &link = w.links[k];
        bzNavJoin join = {};
        if (link.target >= 0 || link.cls == kBar)
            join = JoinOf(w, f, link);
        else
        {
            join.kind = BZ_NAV_JOIN_PRECIPICE;
            join.region = kNowhere & 0x3FFF;
        }
        uint16_t index;
        if (!AppendJoin(w, rw, join, &index))
            return false;
        if (!rw.indices.Push(index))
            return Fail(w, BZ_ERROR_NO_MEMORY);
    }
    return true;
}

// The region's joins out of the join block.
bzNavJoin *CopyJoins(Work &w, int32_t count)
{
    auto *to = static_cast<bzNavJoin *>(
        bz_NavMesh_Alloc(w.mesh, static_cast<uint32_t>(count * sizeof(bzNavJoin))));
    if (!to)
        return Fail(w, BZ_ERROR_NO_MEMORY), nullptr;
    if (count)
        std::memcpy(to, w.joins, count * sizeof(bzNavJoin));
    return to;
}

// One region's face groups, faces, joins and multi-joins, from its faces in work order.
bool MakeRegion(Work &w, int32_t r, const int32_t *members, int32_t memberCount)
{
    bzNavRegion &region = w.mesh->regions[r];
    region.word = w.faces[members[0]].surface & w.limits.surfaceMask;
    // The groups: one per entry with faces here, in entry order (the faces are in that order).
    int32_t groups = 0, lastEntry = -1;
    for (int32_t m = 0; m < memberCount; m++)
    {
        WorkFace &f = w.faces[members[m]];
        if (f.entry != lastEntry)
            groups++, lastEntry = f.entry;
        f.group = groups - 1;
    }
    if (groups > 256)
        return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    region.groupCount = static_cast<uint16_t>(groups);
    region.groups = static_cast<bzNavFaceGroup *>(
        bz_NavMesh_Alloc(w.mesh, static_cast<uint32_t>(groups * sizeof(bzNavFaceGroup))));
    if (!region.groups)
        return Fail(w, BZ_ERROR_NO_MEMORY);
    for (int32_t m = 0; m < memberCount; m++)
    {
        const WorkFace &f = w.faces[members[m]];
        bzNavFaceGroup &g = region.groups[f.group];
        if (g.faceCount == 0xFFFF)
            return Fail(w, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        g.entry = f.entry;
        g.faceCount++;
    }
    for (int32_t g = 0; g < groups; g++)
    {
        region.groups[g].faces = static_cast<bzNavFace *>(bz_NavMesh_Alloc(
            w.mesh, static_cast<uint32_t>(region.groups[g].faceCount * sizeof(bzNavFace))));
        if (!region.groups[g].faces)
            return Fail(w, BZ_ERROR_NO_MEMORY);
        region.groups[g].faceCount = 0;
    }
    RegionWork rw;
    for (int32_t m = 0; m < memberCount; m++)
    {
        const int32_t f = members[m];
        bzNavFaceGroup &g = region.groups[w.faces[f].group];
        bzNavFace &face = g.faces[g.faceCount++];
        face.face = w.faces[f].number;
        for (int32_t i = 0; i < 3; i++)
            if (!EncodeEdge(w, rw, f, i, &face.edges[i]))
                return false;
    }
    region.joinCount = static_cast<uint16_t>(rw.joinCount);
    region.joins = CopyJoins(w, rw.joinCount);
    region.multiJoinCount = static_cast<uint16_t>(rw.multiStarts.count);
    region.multiJoins = static_cast<bzNavMultiJoin *>(bz_NavMesh_Alloc(
        w.mesh, static_cast<uint32_t>(rw.multiStarts.count * sizeof(bzNavMultiJoin))));
    if (!region.joins || !region.multiJoins)
        return Fail(w, BZ_ERROR_NO_MEMORY);
    for (int32_t m = 0; m < rw.multiStarts.count; m++)
    {
        const int32_t start = rw.multiStarts.items[m];
        const int32_t end =
            m + 1 < rw.multiStarts.count ? rw.multiStarts.items[m + 1] : rw.indices.count;
        bzNavMultiJoin &multi = region.multiJoins[m];
        multi.count = static_cast<uint16_t>(end - start);
        multi.joins = static_cast<uint16_t *>(
            bz_NavMesh_Alloc(w.mesh, static_cast<uint32_t>(multi.count * sizeof(uint16_t))));
        if (!multi.joins)
            return Fail(w, BZ_ERROR_NO_MEMORY);
        if (multi.count)
            std::memcpy(multi.joins, rw.indices.items + start, multi.count * sizeof(uint16_t));
    }
    return true;
}

bool BuildRegions(Work &w)
{
    int32_t regions = 0;
    if (!TakeBlocks(w) || !GatherFaces(w) || !LinkNeighbours(w) || !FloodRegions(w, &regions) ||
        !ProbeOpenEdges(w))
        return false;
    if (regions == 0)
        return true;
    if (!bz_NavMesh_AllocRegions(w.mesh, regions))
        return Fail(w, BZ_ERROR_NO_MEMORY);
    // The faces of each region in work order: counted, then placed.
    auto *starts = static_cast<int32_t *>(
        bz_MemAlloc(static_cast<uint32_t>(regions + 1) * sizeof(int32_t), BZ_MEM_CLEAR));
    auto *members = static_cast<int32_t *>(
        bz_MemAlloc(static_cast<uint32_t>(w.faceCount) * sizeof(int32_t), 0));
    bool ok = starts && members;
    if (!ok)
        Fail(w, BZ_ERROR_NO_MEMORY);
    for (int32_t f = 0; ok && f < w.faceCount; f++)
        starts[w.faces[f].region + 1]++;
    for (int32_t r = 0; ok && r < regions; r++)
        starts[r + 1] += starts[r];
    for (int32_t f = 0; ok && f < w.faceCount; f++)
        members[starts[w.faces[f].region]++] = f;
    // Each start moved to the next region's: region r now runs from starts[r - 1].
    for (int32_t r = 0; ok && r < regions; r++)
    {
        const int32_t from = r ? starts[r - 1] : 0;
        ok = MakeRegion(w, r, members + from, starts[r] - from);
    }
    bz_MemFree(starts);
    bz_MemFree(members);
    return ok;
}
} // namespace

float bz_NavMesh_GetParameter(const uint32_t *parameters, int32_t word)
{
    float value;
    std::memcpy(&value, &parameters[word], sizeof value);
    return value;
}

void bz_NavMesh_SetParameter(uint32_t *parameters, int32_t word, float value)
{
    std::memcpy(&parameters[word], &value, sizeof value);
}

bzNavMesh *bz_NavMesh_BuildMesh(const bzNavSetup *setup, bzLump *obstacles, bzLump *probe)
{
    if (!setup || !setup->world)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzNavMesh *mesh = bz_NavMesh_Create(setup);
    if (!mesh)
        return nullptr;
    bzErrorCode failure;
    {
        Work w;
        w.mesh = mesh;
        w.obstacles = obstacles;
        w.probe = probe;
        const uint32_t *p = setup->parameters;
        w.limits = {bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_STEP_DOWN),
                    bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_STEP_UP),
                    bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_BAR_HEIGHT),
                    bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_PRECIPICE_DEPTH),
                    std::fabs(bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_EDGE_TOLERANCE)) * 0.1f,
                    bz_NavMesh_GetParameter(p, BZ_NAV_PARAM_SIDE_PROBE),
                    p[BZ_NAV_PARAM_SURFACE_MASK]};
        // Rounding of the placed corners: edges of one line within this still meet.
        w.limits.lineTolerance = std::max(w.limits.lineTolerance, 1e-5f);
        mesh->buildWork = &w;
        if (!BuildRegions(w))
            Fail(w, BZ_ERROR_NO_MEMORY); // keeps the first failure's code
        mesh->buildWork = nullptr;
        failure = w.failure;
    } // the work blocks go before the last error is set
    if (failure != BZ_ERROR_NONE)
    {
        bz_NavMesh_Free(mesh);
        bzgLastError = failure;
        return nullptr;
    }
    bz_NavMesh_Resolve(mesh);
    if (obstacles)
        bz_NavMesh_AddObstacles(mesh, obstacles);
    mesh->worldMeasure = bz_NavMesh_WorldMeasure(setup->world);
    return mesh;
}

bzNavMesh *bz_NavMesh_Build(const char *folder, const bzNavSetup *setup, bzLump *obstacles,
                            bzLump *probe, const char *const *sources, int32_t sourceCount)
{
    if (!folder || !setup || !setup->world)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    char path[512];
    const int32_t length = std::snprintf(path, sizeof path, "%s\\NAVMAP.BZN", folder);
    if (length < 0 || length >= static_cast<int32_t>(sizeof path))
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    gBuilding = true;
    bzNavMesh *mesh = bz_NavMesh_Load(path, setup, sources, sourceCount);
    if (!mesh)
    {
        mesh = bz_NavMesh_BuildMesh(setup, obstacles, probe);
        if (mesh)
            bz_NavMesh_Write(mesh, path);
    }
    gBuilding = false;
    return mesh;
}

int32_t bz_NavMesh_IsBuilding()
{
    return gBuilding ? 1 : 0;
}
