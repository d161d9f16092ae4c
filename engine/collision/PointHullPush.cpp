// A point pushed onto a hull's surface: the nearest point of the hull among the projections of
// the point onto the planes near it, taken one, two and three at a time.
#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "collision/SegmentTests.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
struct PushSearch
{
    const bzHull *hull;
    bzV3 point;
    float slack;
    float bestSq = FLT_MAX;
    bzV3 best{};
    bool found = false;

    // A candidate counts when it lies on or inside every plane (within the slack).
    void Consider(const bzV3 &q)
    {
        if (!(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z)))
            return;
        for (int32_t i = 0; i < hull->faceCount; i++)
        {
            const bzPlane &plane = hull->planes[i];
            if (!(Dot(plane.n, q) - plane.d <= slack))
                return;
        }
        const float distanceSq = LengthSq(Sub(q, point));
        if (distanceSq < bestSq)
        {
            bestSq = distanceSq;
            best = q;
            found = true;
        }
    }

    // The unit sum of the outward normals of the planes q lies on.
    bzV3 NormalAt(const bzV3 &q) const
    {
        bzV3 sum = V(0, 0, 0);
        for (int32_t i = 0; i < hull->faceCount; i++)
        {
            const bzPlane &plane = hull->planes[i];
            if (std::fabs(Dot(plane.n, q) - plane.d) <= slack)
                sum = Add(sum, plane.n);
        }
        const float length = std::sqrt(LengthSq(sum));
        return length > 0.0f ? Scale(sum, 1.0f / length) : V(1, 0, 0);
    }
};

int32_t NoProgress(bzV3 *pushOut, bzV3 *normalOut)
{
    *pushOut = V(0, 0, 0);
    *normalOut = V(1, 0, 0);
    return BZ_PUSH_NO_PROGRESS;
}
} // namespace

int32_t bz_Point_HullPush(const bzV3 *point, const bzHull *hull, float margin, bzV3 *pushOut,
                          bzV3 *normalOut)
{
    const int32_t faces = hull->faceCount;
    const bzV3 p = *point;
    if (faces <= 0 || faces > BZ_SEGMENT_HULL_MAX_FACES || !std::isfinite(margin) ||
        !(margin >= 0.0f) || !(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)))
        return 0;
    const float slack = bzCollisionTolerance * 0.01f;
    int32_t near[BZ_PUSH_MAX_NEAR_PLANES];
    float height[BZ_PUSH_MAX_NEAR_PLANES];
    int32_t nearCount = 0;
    bool tooMany = false, outside = false;
    int32_t nearest = -1;
    float nearestHeight = -FLT_MAX;
    for (int32_t i = 0; i < faces; i++)
    {
        const bzPlane &plane = hull->planes[i];
        const float e = Dot(plane.n, p) - plane.d;
        if (!(e <= margin))
            return 0; // outside by more than the margin (or a plane not finite)
        outside = outside || e > slack;
        if (e > nearestHeight)
        {
            nearestHeight = e;
            nearest = i;
        }
        // Only planes within the margin can hold the nearest point of a push that short.
        if (e >= -margin)
        {
            if (nearCount == BZ_PUSH_MAX_NEAR_PLANES)
                tooMany = true;
            else
            {
                near[nearCount] = i;
                height[nearCount++] = e;
            }
        }
    }
    if (!outside)
    {
        const float depth = nearestHeight < 0.0f ? -nearestHeight : 0.0f;
        if (depth > margin)
            return 0;
        *pushOut = Scale(hull->planes[nearest].n, depth);
        *normalOut = hull->planes[nearest].n;
        return 1;
    }
    if (tooMany)
        return NoProgress(pushOut, normalOut);

    PushSearch search{hull, p, slack};
    const float edgeSq = slack * slack;
    for (int32_t a = 0; a < nearCount; a++)
    {
        const bzPlane &pa = hull->planes[near[a]];
        search.Consider(AddScaled(p, pa.n, -height[a])); // onto the face's plane
        for (int32_t b = a + 1; b < nearCount; b++)
        {
            const bzPlane &pb = hull->planes[near[b]];
            const bzV3 line = Cross(pa.n, pb.n);
            const float lineSq = LengthSq(line);
            if (!(lineSq >= edgeSq))
                continue; // parallel planes make no edge
            // q = p - s na - u nb on both planes.
            const float c = Dot(pa.n, pb.n);
            const float s = (height[a] - c * height[b]) / lineSq;
            const float u = (height[b] - c * height[a]) / lineSq;
            search.Consider(AddScaled(AddScaled(p, pa.n, -s), pb.n, -u));
            for (int32_t k = b + 1; k < nearCount; k++)
            {
                const bzPlane &pk = hull->planes[near[k]];
                const float det = Dot(pk.n, line);
                if (!(std::fabs(det) >= slack))
                    continue; // no single corner
                const bzV3 corner =
                    Scale(Add(Add(Scale(Cross(pb.n, pk.n), pa.d), Scale(Cross(pk.n, pa.n), pb.d)),
                              Scale(line, pk.d)),
                          1.0f / det);
                search.Consider(corner);
            }
        }
    }
    if (!search.found)
        return NoProgress(pushOut, normalOut);
    if (search.bestSq > margin * margin)
        return 0;
    *pushOut = Sub(search.best, p);
    *normalOut = search.NormalAt(search.best);
    return 1;
}
