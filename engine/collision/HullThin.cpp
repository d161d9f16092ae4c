// Thinning hulls by the volume each vertex's cone holds, and hulls of chosen points.
#include "collision/Hull.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "maths/Vector.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>

namespace
{
constexpr int32_t kScratchStack = 1;

// One block of temporary stack 1, released when it goes (in reverse order of taking, as
// scopes nest).
class TempBlock
{
public:
    explicit TempBlock(size_t bytes)
    {
        if (bytes > 0 && bytes <= BZ_MEM_MAX_BLOCK)
            block_ = bz_TempStack_Alloc(kScratchStack, static_cast<uint32_t>(bytes), 0);
    }
    ~TempBlock()
    {
        if (block_)
            bz_TempStack_Free(kScratchStack, block_);
    }
    TempBlock(const TempBlock &) = delete;
    TempBlock &operator=(const TempBlock &) = delete;
    template <class T> T *As() const { return static_cast<T *>(block_); }

private:
    void *block_ = nullptr;
};

float SquaredDistance(const bzHullPointSource *source, int32_t i, int32_t j)
{
    return bz_V3_DistanceSq(&source->points[i].position, &source->points[j].position);
}

// The volume of the hull of the points (the origin too when withOrigin), 0 when the hull is not
// solid: tetrahedra from an inner point over a fan of each face, the fan centred on the mean of
// the face's vertices (each vertex of a face ends two of its edges).
float SolidVolume(const bzV3 *points, int32_t n, bool withOrigin)
{
    const int32_t count = n + (withOrigin ? 1 : 0);
    if (count < 4)
        return 0.0f;
    const size_t edgeRoom = static_cast<size_t>(MaxEdgesForVertices(count));
    const size_t faceRoom = static_cast<size_t>(MaxFacesForVertices(count));
    const size_t bytes = sizeof(bzV3) * static_cast<size_t>(count) + sizeof(bzHullEdge) * edgeRoom +
                         sizeof(bzPlane) * faceRoom + sizeof(uint32_t) * edgeRoom +
                         (sizeof(bzV3) + sizeof(int32_t)) * faceRoom + 64;
    TempBlock block(bytes);
    auto *at = block.As<uint8_t>();
    if (!at)
        return 0.0f;
    auto take = [&at](size_t size)
    {
        uint8_t *here = at;
        at += (size + 7) & ~size_t(7);
        return here;
    };
    bzHull hull = {};
    hull.vertices = reinterpret_cast<bzV3 *>(take(sizeof(bzV3) * static_cast<size_t>(count)));
    hull.edges = reinterpret_cast<bzHullEdge *>(take(sizeof(bzHullEdge) * edgeRoom));
    hull.planes = reinterpret_cast<bzPlane *>(take(sizeof(bzPlane) * faceRoom));
    auto *work = reinterpret_cast<uint32_t *>(take(sizeof(uint32_t) * edgeRoom));
    auto *faceSum = reinterpret_cast<bzV3 *>(take(sizeof(bzV3) * faceRoom));
    auto *faceEnds = reinterpret_cast<int32_t *>(take(sizeof(int32_t) * faceRoom));
    for (int32_t i = 0; i < n; ++i)
        hull.vertices[i] = points[i];
    if (withOrigin)
        hull.vertices[n] = bzV3{};
    hull.vertexCount = hull.vertexRoom = static_cast<int16_t>(count);
    hull.edgeRoom = static_cast<int16_t>(edgeRoom);
    hull.faceRoom = static_cast<int16_t>(faceRoom);
    if (bz_Hull_Build(&hull, work, nullptr) != BZ_HULL_SOLID)
        return 0.0f;

    bzV3 inner = {};
    for (int32_t v = 0; v < hull.vertexCount; ++v)
        bz_V3_Add(&inner, &hull.vertices[v]);
    bz_V3_Scale(&inner, 1.0f / static_cast<float>(hull.vertexCount));
    for (int32_t f = 0; f < hull.faceCount; ++f)
    {
        faceSum[f] = bzV3{};
        faceEnds[f] = 0;
    }
    for (int32_t e = 0; e < hull.edgeCount; ++e)
        for (uint16_t f : {bz_HullWork_First(work[e]), bz_HullWork_Second(work[e])})
        {
            bz_V3_Add(&faceSum[f], &hull.vertices[hull.edges[e].a]);
            bz_V3_Add(&faceSum[f], &hull.vertices[hull.edges[e].b]);
            faceEnds[f] += 2;
        }
    double volume = 0.0;
    for (int32_t e = 0; e < hull.edgeCount; ++e)
        for (uint16_t f : {bz_HullWork_First(work[e]), bz_HullWork_Second(work[e])})
        {
            bzV3 a, b, c, centre, x;
            bz_V3_ScaleInto(&faceSum[f], &centre, 1.0f / static_cast<float>(faceEnds[f]));
            bz_V3_SubInto(&hull.vertices[hull.edges[e].a], &inner, &a);
            bz_V3_SubInto(&hull.vertices[hull.edges[e].b], &inner, &b);
            bz_V3_SubInto(&centre, &inner, &c);
            bz_V3_CrossInto(&a, &b, &x);
            volume += std::fabs(double(bz_V3_Dot(&x, &c))) / 6.0;
        }
    return static_cast<float>(volume);
}
} // namespace

float ConeVolume(const bzV3 *p, int32_t n)
{
    BZ_ASSERT(p || n <= 0);
    if (!p || n < 3)
        return 0.0f;
    // What the apex adds to the hull of its cone: the region between it and the near side.
    const float lost = SolidVolume(p, n, true) - SolidVolume(p, n, false);
    return lost > 0.0f ? lost : 0.0f;
}

int32_t RemoveLeastVolumeVertex(bzHull *hull)
{
    BZ_ASSERT(hull);
    if (!hull || hull->vertexCount < 1 || !hull->vertices)
        return 0;
    const int32_t n = hull->vertexCount;
    int32_t best = -1;
    {
        TempBlock coneBlock(sizeof(bzV3) * static_cast<size_t>(n));
        bzV3 *cone = coneBlock.As<bzV3>();
        if (!cone)
            return 0;
        const bzV3 *p = hull->vertices;
        float bestVolume = 3.4028235e38f;
        for (int32_t v = 0; v < n; ++v)
        {
            int32_t count = 0;
            for (int32_t e = 0; e < hull->edgeCount && count < n; ++e)
            {
                const int32_t a = hull->edges[e].a, b = hull->edges[e].b;
                if (a == v && b < n)
                    bz_V3_SubInto(&p[b], &p[v], &cone[count++]);
                else if (b == v && a < n)
                    bz_V3_SubInto(&p[a], &p[v], &cone[count++]);
            }
            const float volume = ConeVolume(cone, count);
            if (volume < bestVolume)
            {
                bestVolume = volume;
                best = v;
            }
        }
    }
    if (best < 0)
        return 0;
    hull->vertices[best] = hull->vertices[n - 1];
    hull->vertexCount = static_cast<int16_t>(n - 1);
    return bz_Hull_Build(hull, nullptr, nullptr) == BZ_HULL_FAILED ? 0 : 1;
}

int32_t bz_Hull_ChoosePoints(const bzHullPointSource *source, int32_t wanted, uint16_t *indices)
{
    BZ_ASSERT(source && indices);
    if (!source || !indices || !source->points || wanted < 1)
        return BZ_HULL_NOTHING_TO_CHOOSE;
    const int32_t n =
        source->count < BZ_HULL_CHOOSE_MAX_POINTS ? source->count : BZ_HULL_CHOOSE_MAX_POINTS;
    if (n <= wanted)
        return BZ_HULL_NOTHING_TO_CHOOSE;
    const size_t pairs = static_cast<size_t>(n) * static_cast<size_t>(n - 1) / 2;
    TempBlock tableBlock(sizeof(float) * pairs);
    TempBlock nearestBlock((sizeof(float) + 1) * static_cast<size_t>(n));
    float *table = tableBlock.As<float>();
    float *nearest = nearestBlock.As<float>();
    if (!table || !nearest)
        return BZ_HULL_NO_DISTANCE_TABLE;
    auto *chosen = reinterpret_cast<uint8_t *>(nearest + n);
    auto at = [](int32_t i, int32_t j)
    {
        if (i < j)
        {
            const int32_t t = i;
            i = j;
            j = t;
        }
        return static_cast<size_t>(i) * static_cast<size_t>(i - 1) / 2 + static_cast<size_t>(j);
    };

    int32_t first = 0, second = 1;
    float farthest = -1.0f;
    for (int32_t i = 1; i < n; ++i)
        for (int32_t j = 0; j < i; ++j)
        {
            const float d = SquaredDistance(source, i, j);
            table[at(i, j)] = d;
            if (d > farthest)
            {
                farthest = d;
                first = j;
                second = i;
            }
        }
    for (int32_t k = 0; k < n; ++k)
    {
        chosen[k] = 0;
        nearest[k] = 3.4028235e38f;
    }
    int32_t count = 0;
    auto take = [&](int32_t k)
    {
        chosen[k] = 1;
        indices[count++] = static_cast<uint16_t>(k);
        for (int32_t m = 0; m < n; ++m)
            if (!chosen[m])
            {
                const float d = table[at(m, k)];
                if (d < nearest[m])
                    nearest[m] = d;
            }
    };
    take(first);
    if (count < wanted)
        take(second);
    while (count < wanted)
    {
        int32_t next = -1;
        float value = -1.0f;
        for (int32_t m = 0; m < n; ++m)
            if (!chosen[m] && (next < 0 || nearest[m] > value))
            {
                next = m;
                value = nearest[m];
            }
        take(next);
    }
    return 0;
}

int32_t bz_Hull_BuildFromSubset(bzHull *hull, const bzHullPointSource *source, uint16_t *indices,
                                int32_t wanted)
{
    BZ_ASSERT(hull && source);
    if (!hull || !source || !source->points || !hull->vertices)
        return BZ_HULL_FAILED;
    int32_t count = source->count;
    if (count > wanted)
    {
        const int32_t chosen = bz_Hull_ChoosePoints(source, wanted, indices);
        if (chosen != 0)
            return chosen;
        count = wanted;
    }
    if (count < 1 || count > hull->vertexRoom)
    {
        hull->vertexCount = hull->edgeCount = hull->faceCount = 0;
        return BZ_HULL_FAILED;
    }
    for (int32_t i = 0; i < count; ++i)
        hull->vertices[i] = source->points[source->count > wanted ? indices[i] : i].position;
    hull->vertexCount = static_cast<int16_t>(count);
    return bz_Hull_Build(hull, nullptr, nullptr);
}
