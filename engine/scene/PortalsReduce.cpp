// The reduction of a view cone by a portal: the edges of the cone through the current polygon
// (the way the render pass looked in) clipped by the planes of the portal it looks through, or
// the other way round, kept as a chain of (vertex, plane) pairs over directions from the eye.
#include "maths/Vector.h"
#include "scene/Portals.h"

#include <cmath>

namespace
{
constexpr float kParallel = 9.999999e-9f;
constexpr uint8_t kRemoved = 0xFF;

struct Cone
{
    bzV3 *directions;
    int32_t *count;
    int32_t nA, nB;
    int32_t windingA, windingB;
    const bzV3 *cameraZ;
};

// The polygon a plane or vertex index belongs to: its first index, size and winding.
void PolygonOf(const Cone &c, int32_t index, int32_t *first, int32_t *size, int32_t *winding)
{
    if (index < c.nA)
    {
        *first = 0;
        *size = c.nA;
        *winding = c.windingA;
        return;
    }
    *first = c.nA;
    *size = c.nB;
    *winding = c.windingB;
}

// The normal of plane i (through the eye and the edge of its polygon ending at vertex i).
bool PlaneNormal(const Cone &c, int32_t i, bzV3 *out)
{
    if (i < 0 || i >= c.nA + c.nB)
        return false;
    int32_t first, size, winding;
    PolygonOf(c, i, &first, &size, &winding);
    const int32_t previous = i == first ? first + size - 1 : i - 1;
    return PortalCrossNormal(&c.directions[previous], &c.directions[i], winding, out) != 0;
}

// The vertex both planes share when they are neighbouring edges of one polygon, else -1.
int32_t SharedVertex(const Cone &c, int32_t p, int32_t q)
{
    if (p < 0 || q < 0 || p >= c.nA + c.nB || q >= c.nA + c.nB)
        return -1;
    int32_t first, size, winding, first2, size2, winding2;
    PolygonOf(c, p, &first, &size, &winding);
    PolygonOf(c, q, &first2, &size2, &winding2);
    if (first != first2 || size < 3)
        return -1;
    const int32_t a = p - first, b = q - first;
    // Plane a runs from vertex a - 1 to vertex a: planes a and a + 1 meet at vertex a.
    if ((a + 1) % size == b)
        return p;
    if ((b + 1) % size == a)
        return q;
    return -1;
}

// The crossing of plane k with plane p as a vertex index: a shared vertex, or a new direction
// (on the side of the polygons' own directions); -1 when none can be made.
int32_t Crossing(const Cone &c, int32_t k, int32_t p)
{
    const int32_t shared = SharedVertex(c, k, p);
    if (shared >= 0)
        return shared;
    bzV3 nk, np, x;
    if (!PlaneNormal(c, k, &nk) || !PlaneNormal(c, p, &np) ||
        *c.count >= c.nA + c.nB + BZ_PORTAL_CONE_EDGES || *c.count >= kRemoved)
        return -1;
    if (!PortalCrossNormal(&nk, &np, 0, &x))
        return -1;
    bzV3 ahead = {{{0, 0, 0}}};
    for (int32_t i = 0; i < c.nA + c.nB; i++)
        bz_V3_Add(&ahead, &c.directions[i]);
    if (bz_V3_Dot(&x, &ahead) < 0.0f)
        x = {{{-x.x, -x.y, -x.z}}};
    c.directions[*c.count] = x;
    return (*c.count)++;
}

// The plane of entry i, or of the next entry whose plane can be built.
int32_t BuildablePlane(const Cone &c, const bzPortalConeEdge *chain, int32_t n, int32_t i)
{
    for (int32_t step = 0; step < n; step++)
    {
        const int32_t plane = chain[(i + step) % n].plane;
        bzV3 normal;
        if (plane != kRemoved && PlaneNormal(c, plane, &normal))
            return plane;
    }
    return -1;
}

int32_t Squeeze(bzPortalConeEdge *chain, int32_t n)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++)
        if (chain[i].vertex != kRemoved)
            chain[kept++] = chain[i];
    return kept;
}
} // namespace

int32_t PortalCrossNormal(const bzV3 *a, const bzV3 *b, int32_t negate, bzV3 *out)
{
    bzV3 x;
    bz_V3_CrossInto(a, b, &x);
    const float length2 = bz_V3_Dot(&x, &x);
    if (!(length2 > kParallel * bz_V3_Dot(a, a) * bz_V3_Dot(b, b)))
        return 0;
    const float scale = (negate ? -1.0f : 1.0f) / std::sqrt(length2);
    *out = {{{x.x * scale, x.y * scale, x.z * scale}}};
    return 1;
}

int32_t PortalWinding(const bzV3 *directions, int32_t count)
{
    if (!directions || count < 3)
        return 0;
    bzV3 middle = {{{0, 0, 0}}};
    for (int32_t i = 0; i < count; i++)
        bz_V3_Add(&middle, &directions[i]);
    for (int32_t i = 0; i < count; i++)
    {
        bzV3 normal;
        if (PortalCrossNormal(&directions[i == 0 ? count - 1 : i - 1], &directions[i], 0, &normal))
            return bz_V3_Dot(&normal, &middle) > 0.0f ? 1 : 0;
    }
    return 0;
}

int32_t PortalReduceEdgePlanes(bzV3 *directions, int32_t *directionCount, int32_t nA,
                               int32_t windingA, int32_t nB, int32_t windingB, const bzV3 *cameraZ,
                               bzPortalConeEdge *chain)
{
    if (!directions || !directionCount || !cameraZ || !chain || nA < 3 || nB < 3 ||
        nA > BZ_PORTAL_CONE_EDGES || nB > BZ_PORTAL_CONE_EDGES || nA + nB > kRemoved - 1)
        return 0;
    Cone c = {directions, directionCount, nA, nB, windingA, windingB, cameraZ};
    *directionCount = nA + nB;
    // The chain from the polygon with more vertices; the other's planes clip it.
    const bool fromA = nA >= nB;
    const int32_t first = fromA ? 0 : nA, size = fromA ? nA : nB;
    const bool backwards = !fromA && (windingA != 0) != (windingB != 0);
    int32_t n = 0;
    for (int32_t i = 0; i < size; i++)
    {
        const int32_t v = first + (backwards ? size - 1 - i : i);
        chain[n++] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v)};
    }
    for (int32_t i = 0; i < n; i++)
    {
        bzV3 normal;
        if (!PlaneNormal(c, chain[i].plane, &normal) || !(bz_V3_Dot(&normal, cameraZ) > 0.0f))
            chain[i].vertex = kRemoved;
    }
    n = Squeeze(chain, n);
    const int32_t clipFirst = fromA ? nA : 0, clipSize = fromA ? nB : nA;
    for (int32_t k = clipFirst; k < clipFirst + clipSize && n > 0; k++)
    {
        bzV3 normal;
        if (!PlaneNormal(c, k, &normal))
            continue;
        // Outside (on-plane vertices with them once anything is outside) or inside.
        uint64_t outside = 0, onPlane = 0;
        for (int32_t i = 0; i < n; i++)
        {
            const bzV3 &v = directions[chain[i].vertex];
            const float s = bz_V3_Dot(&normal, &v);
            const float bound = kParallel * bz_V3_Dot(&normal, &normal) * bz_V3_Dot(&v, &v);
            if (s * s < bound)
                onPlane |= uint64_t{1} << i;
            else if (s > 0.0f)
                outside |= uint64_t{1} << i;
        }
        if (!outside)
            continue;
        outside |= onPlane;
        bzPortalConeEdge out[BZ_PORTAL_CONE_EDGES];
        int32_t m = 0;
        bool overflow = false;
        for (int32_t i = 0; i < n; i++)
        {
            const int32_t before = i == 0 ? n - 1 : i - 1;
            const bool isOut = (outside >> i) & 1, wasOut = (outside >> before) & 1;
            if (isOut && wasOut)
                continue;
            if (isOut)
            {
                const int32_t plane = BuildablePlane(c, chain, n, i);
                const int32_t x = plane < 0 ? -1 : Crossing(c, k, plane);
                if (x < 0)
                    continue;
                if (m >= BZ_PORTAL_CONE_EDGES)
                    overflow = true;
                else
                    out[m++] = {static_cast<uint8_t>(x), chain[i].plane};
                continue;
            }
            if (wasOut)
            {
                const int32_t plane = BuildablePlane(c, chain, n, i);
                const int32_t x = plane < 0 ? -1 : Crossing(c, k, plane);
                if (x >= 0)
                {
                    if (m >= BZ_PORTAL_CONE_EDGES)
                        overflow = true;
                    else
                        out[m++] = {static_cast<uint8_t>(x), static_cast<uint8_t>(k)};
                }
            }
            if (m >= BZ_PORTAL_CONE_EDGES)
                overflow = true;
            else
                out[m++] = chain[i];
        }
        if (overflow)
            return 0;
        for (int32_t i = 0; i < m; i++)
            chain[i] = out[i];
        n = m;
    }
    return n;
}
