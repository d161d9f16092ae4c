#include "collision/Hull.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "maths/Vector.h"

#include <cmath>
#include <cstddef>

namespace
{
constexpr int32_t kScratchStack = 1;
// Squared length of the cross product below which three points are collinear.
constexpr float kCollinearSq = 1e-10f;
// Squared distance below which two points coincide.
constexpr float kCoincidentSq = 1e-6f;
// More points than this make the extreme points of four directions the first tetrahedron.
constexpr int32_t kExtremeSearchAbove = 10;

// Face classes of one insertion.
enum : uint8_t
{
    kHidden = 0,
    kVisible = 1,
    kOnPlane = 2,
};

// Directions of a regular tetrahedron.
const bzV3 kTetraDirections[4] = {{{{0.0f, 1.0f, 0.0f}}},
                                  {{{0.942809f, -0.33333f, 0.0f}}},
                                  {{{-0.471405f, -0.33333f, 0.816497f}}},
                                  {{{-0.471405f, -0.33333f, -0.816497f}}}};

inline uint32_t PackFaces(uint16_t f0, uint16_t f1)
{
    return static_cast<uint32_t>(f0) | (static_cast<uint32_t>(f1) << 16);
}

bool Collinear(const bzV3 *a, const bzV3 *b, const bzV3 *c)
{
    bzV3 u, v, x;
    bz_V3_SubInto(b, a, &u);
    bz_V3_SubInto(c, a, &v);
    bz_V3_CrossInto(&u, &v, &x);
    return bz_V3_LengthSq(&x) < kCollinearSq;
}

void SwapPoints(bzV3 *p, int32_t i, int32_t j)
{
    const bzV3 t = p[i];
    p[i] = p[j];
    p[j] = t;
}

int32_t Fail(bzHull *hull)
{
    hull->vertexCount = 0;
    hull->edgeCount = 0;
    hull->faceCount = 0;
    return BZ_HULL_FAILED;
}

// One block of scratch from temporary stack 1, carved into arrays, released on scope exit.
class Scratch
{
public:
    explicit Scratch(size_t bytes)
    {
        if (bytes > 0 && bytes <= BZ_MEM_MAX_BLOCK)
            block_ = static_cast<uint8_t *>(
                bz_TempStack_Alloc(kScratchStack, static_cast<uint32_t>(bytes), 0));
        end_ = block_ ? block_ + bytes : nullptr;
        next_ = block_;
    }
    ~Scratch()
    {
        if (block_)
            bz_TempStack_Free(kScratchStack, block_);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;

    bool ok() const { return block_ != nullptr; }

    template <class T> T *Take(size_t count)
    {
        const size_t align = alignof(T) < 8 ? 8 : alignof(T);
        const uintptr_t at = ((uintptr_t)next_ + align - 1) & ~(uintptr_t)(align - 1);
        const size_t bytes = count * sizeof(T);
        if (!block_ || at + bytes > (uintptr_t)end_)
            return nullptr;
        next_ = reinterpret_cast<uint8_t *>(at + bytes);
        return reinterpret_cast<T *>(at);
    }

    // Bytes to ask for so that the arrays of these sizes fit after alignment.
    static size_t Bytes(size_t sum, int32_t arrays)
    {
        return sum + 8 * static_cast<size_t>(arrays);
    }

private:
    uint8_t *block_ = nullptr;
    uint8_t *end_ = nullptr;
    uint8_t *next_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Points without volume

// One point, or the two extreme points of a line.
int32_t BuildSegment(bzHull *hull, int32_t n)
{
    bzV3 *p = hull->vertices;
    int32_t far = 0;
    float farSq = 0.0f;
    for (int32_t i = 1; i < n; i++)
    {
        const float d = bz_V3_DistanceSq(&p[i], &p[0]);
        if (d > farSq)
        {
            farSq = d;
            far = i;
        }
    }
    if (farSq < kCoincidentSq)
    {
        hull->vertexCount = 1;
        hull->edgeCount = 0;
        hull->faceCount = 0;
        return BZ_HULL_POINT;
    }
    if (hull->edgeRoom < 1 || hull->vertexRoom < 2 || !hull->edges)
        return Fail(hull);
    bzV3 dir;
    bz_V3_SubInto(&p[far], &p[0], &dir);
    int32_t lo = 0, hi = 0;
    float tLo = 0.0f, tHi = 0.0f;
    for (int32_t i = 1; i < n; i++)
    {
        bzV3 rel;
        bz_V3_SubInto(&p[i], &p[0], &rel);
        const float t = bz_V3_Dot(&rel, &dir);
        if (t < tLo)
        {
            tLo = t;
            lo = i;
        }
        if (t > tHi)
        {
            tHi = t;
            hi = i;
        }
    }
    const bzV3 a = p[lo], b = p[hi];
    p[0] = a;
    p[1] = b;
    hull->edges[0] = {0, 1};
    hull->vertexCount = 2;
    hull->edgeCount = 1;
    hull->faceCount = 0;
    return BZ_HULL_SEGMENT;
}

// The convex polygon of points that lie in one plane, with its two faces and one side face
// per edge. Falls back to the segment builder when no three consecutive points span a plane.
int32_t BuildFlat(bzHull *hull, int32_t n, bzHullFaceEdgeLists *faceEdges)
{
    bzV3 *p = hull->vertices;
    int32_t first = -1;
    for (int32_t i = 0; i + 2 < n; i++)
        if (!Collinear(&p[i], &p[i + 1], &p[i + 2]))
        {
            first = i;
            break;
        }
    if (first < 0)
        return BuildSegment(hull, n);

    Scratch scratch(Scratch::Bytes(
        3 * sizeof(int32_t) * static_cast<size_t>(n) + sizeof(bzV3) * static_cast<size_t>(n), 4));
    int32_t *poly = scratch.Take<int32_t>(static_cast<size_t>(n));
    int32_t *next = scratch.Take<int32_t>(static_cast<size_t>(n));
    int32_t *sees = scratch.Take<int32_t>(static_cast<size_t>(n));
    bzV3 *corners = scratch.Take<bzV3>(static_cast<size_t>(n));
    if (!poly || !next || !sees || !corners)
        return Fail(hull);

    bzV3 u, v, normal;
    bz_V3_SubInto(&p[first + 1], &p[first], &u);
    bz_V3_SubInto(&p[first + 2], &p[first], &v);
    bz_V3_CrossInto(&u, &v, &normal);
    bz_V3_Normalise(&normal);
    int32_t m = 3;
    poly[0] = first;
    poly[1] = first + 1;
    poly[2] = first + 2;

    for (int32_t j = 0; j < n; j++)
    {
        if (j >= first && j <= first + 2)
            continue;
        // Edges that see the point from outside, by the side plane through each edge.
        int32_t start = -1, seen = 0, run = 0;
        for (int32_t k = 0; k < m; k++)
        {
            const bzV3 *a = &p[poly[k]], *b = &p[poly[(k + 1) % m]];
            bzV3 edge, out;
            bz_V3_SubInto(b, a, &edge);
            bz_V3_CrossInto(&edge, &normal, &out);
            bz_V3_Normalise(&out);
            bzV3 rel;
            bz_V3_SubInto(&p[j], a, &rel);
            sees[k] = bz_V3_Dot(&rel, &out) > BZ_HULL_PLANE_TOLERANCE;
            seen += sees[k];
        }
        for (int32_t k = 0; k < m && start < 0; k++)
            if (sees[k] && !sees[(k + m - 1) % m])
                start = k;
        while (start >= 0 && run < m && sees[(start + run) % m])
            run++;
        // A convex polygon is seen over one run of edges; anything else is left alone.
        if (seen == 0 || seen == m || start < 0 || run != seen)
            continue;
        // The run of seeing edges from start: its inner corners go, the point comes in.
        int32_t count = 0;
        next[count++] = j;
        const int32_t runEnd = (start + seen) % m;
        for (int32_t k = runEnd;; k = (k + 1) % m)
        {
            next[count++] = poly[k];
            if (k == start)
                break;
        }
        for (int32_t k = 0; k < count; k++)
            poly[k] = next[k];
        m = count;
    }

    if (m > hull->vertexRoom || m > hull->edgeRoom || m + 2 > hull->faceRoom || !hull->edges ||
        !hull->planes)
        return Fail(hull);
    for (int32_t k = 0; k < m; k++)
        corners[k] = p[poly[k]];
    for (int32_t k = 0; k < m; k++)
        p[k] = corners[k];
    const float d = bz_V3_Dot(&normal, &p[0]);
    hull->planes[0] = {normal, d};
    bzV3 back;
    bz_V3_NegateInto(&normal, &back);
    hull->planes[1] = {back, -d};
    for (int32_t k = 0; k < m; k++)
    {
        const int32_t k1 = (k + 1) % m;
        hull->edges[k] = {static_cast<uint16_t>(k), static_cast<uint16_t>(k1)};
        bzV3 edge, out;
        bz_V3_SubInto(&p[k1], &p[k], &edge);
        bz_V3_CrossInto(&edge, &normal, &out);
        bz_V3_Normalise(&out);
        hull->planes[2 + k] = {out, bz_V3_Dot(&out, &p[k])};
    }
    if (faceEdges)
    {
        if (faceEdges->faceRoom < m + 2 || faceEdges->slotRoom < m || !faceEdges->faces)
            return Fail(hull);
        for (int32_t f = 0; f < m + 2; f++)
            faceEdges->faces[f].count = 0;
        for (int32_t k = 0; k < m; k++)
        {
            faceEdges->faces[0].edges[faceEdges->faces[0].count++] = static_cast<uint32_t>(k);
            faceEdges->faces[1].edges[faceEdges->faces[1].count++] = static_cast<uint32_t>(k);
            faceEdges->faces[2 + k].edges[faceEdges->faces[2 + k].count++] =
                static_cast<uint32_t>(k);
        }
    }
    hull->vertexCount = static_cast<int16_t>(m);
    hull->edgeCount = static_cast<int16_t>(m);
    hull->faceCount = static_cast<int16_t>(m + 2);
    return BZ_HULL_FLAT;
}

// ---------------------------------------------------------------------------------------------
// Solid hulls

struct NewEdge
{
    uint16_t v;
    uint16_t f0, f1;
};

// The state of one build: the hull's arrays and the scratch of the insertions.
struct Builder
{
    bzV3 *p;
    bzHullEdge *edges;
    bzPlane *planes;
    uint32_t *adj;
    int32_t n, vc, edgeCount, faceCount, edgeRoom, faceRoom;

    uint8_t *cls;       // per face
    uint8_t *keep;      // per edge
    bzPlane *newPlanes; // at most n per insertion
    NewEdge *newEdges;  // at most n per insertion
    int32_t *newEdgeOf; // per vertex, -1 when the vertex has no new edge yet
    uint16_t *faceMap;  // old faces, then the new planes
    int32_t newPlaneCount, newEdgeCount;

    bool Register(int32_t v, int32_t face)
    {
        int32_t i = newEdgeOf[v];
        if (i < 0)
        {
            if (newEdgeCount >= n)
                return false;
            i = newEdgeCount++;
            newEdges[i] = {static_cast<uint16_t>(v), static_cast<uint16_t>(face), BZ_HULL_NO_FACE};
            newEdgeOf[v] = i;
            return true;
        }
        if (newEdges[i].f1 != BZ_HULL_NO_FACE)
            return false;
        newEdges[i].f1 = static_cast<uint16_t>(face);
        return true;
    }

    // Classes of every face seen from q; returns the number of visible ones.
    int32_t Classify(const bzV3 *q, int32_t *onCount, int32_t *onFace)
    {
        int32_t visible = 0, on = 0;
        for (int32_t f = 0; f < faceCount; f++)
        {
            const float s = bz_V3_Dot(&planes[f].n, q) - planes[f].d;
            if (s > BZ_HULL_PLANE_TOLERANCE)
            {
                cls[f] = kVisible;
                visible++;
            }
            else if (s < -BZ_HULL_PLANE_TOLERANCE)
                cls[f] = kHidden;
            else
            {
                cls[f] = kOnPlane;
                on++;
                *onFace = f;
            }
        }
        *onCount = on;
        return visible;
    }

    void Tetrahedron()
    {
        static const int32_t faceCorners[4][4] = {
            {0, 1, 2, 3}, {0, 1, 3, 2}, {0, 2, 3, 1}, {1, 2, 3, 0}}; // three corners, opposite
        for (int32_t f = 0; f < 4; f++)
        {
            const bzV3 *a = &p[faceCorners[f][0]], *b = &p[faceCorners[f][1]],
                       *c = &p[faceCorners[f][2]], *o = &p[faceCorners[f][3]];
            bzV3 u, v, nrm;
            bz_V3_SubInto(b, a, &u);
            bz_V3_SubInto(c, a, &v);
            bz_V3_CrossInto(&u, &v, &nrm);
            bz_V3_Normalise(&nrm);
            float d = bz_V3_Dot(&nrm, a);
            if (bz_V3_Dot(&nrm, o) - d > 0.0f)
            {
                bz_V3_Negate(&nrm);
                d = -d;
            }
            planes[f] = {nrm, d};
        }
        static const uint16_t pairs[6][4] = {{0, 1, 0, 1}, {0, 2, 0, 2}, {0, 3, 1, 2},
                                             {1, 2, 0, 3}, {1, 3, 1, 3}, {2, 3, 2, 3}};
        for (int32_t e = 0; e < 6; e++)
        {
            edges[e] = {pairs[e][0], pairs[e][1]};
            adj[e] = PackFaces(pairs[e][2], pairs[e][3]);
        }
        vc = 4;
        edgeCount = 6;
        faceCount = 4;
    }

    // Adds point k of the input. False when the insertion fails.
    bool Insert(int32_t k)
    {
        bzV3 q = p[k];
        int32_t on = 0, onFace = -1;
        if (Classify(&q, &on, &onFace) == 0)
            return true; // inside
        if (on == 1)
        {
            const bzPlane *pl = &planes[onFace];
            bz_V3_SubScaled(&q, &pl->n, bz_V3_Dot(&pl->n, &q) - pl->d);
        }
        int32_t visible = Classify(&q, &on, &onFace);
        if (visible == 0)
            return true;
        if (on >= 2)
        {
            // Faces that both hold an edge and the point are told apart by the exact side.
            for (int32_t e = 0; e < edgeCount; e++)
            {
                const uint16_t f[2] = {bz_HullWork_First(adj[e]), bz_HullWork_Second(adj[e])};
                if (cls[f[0]] != kOnPlane || cls[f[1]] != kOnPlane ||
                    Collinear(&p[edges[e].a], &p[edges[e].b], &q))
                    continue;
                for (uint16_t g : f)
                {
                    const float s = bz_V3_Dot(&planes[g].n, &q) - planes[g].d;
                    cls[g] = s > 0.0f ? kVisible : (s < 0.0f ? kHidden : kOnPlane);
                }
            }
            visible = 0;
            for (int32_t f = 0; f < faceCount; f++)
                visible += cls[f] == kVisible;
            if (visible == 0)
                return true;
        }

        const int32_t at = vc;
        p[at] = q;
        newPlaneCount = 0;
        newEdgeCount = 0;
        bool ok = true;
        for (int32_t e = 0; e < edgeCount && ok; e++)
        {
            const uint16_t f0 = bz_HullWork_First(adj[e]), f1 = bz_HullWork_Second(adj[e]);
            const uint8_t c0 = cls[f0], c1 = cls[f1];
            const int32_t a = edges[e].a, b = edges[e].b;
            keep[e] = 1;
            if (c0 == kVisible && c1 == kVisible)
                keep[e] = 0;
            else if ((c0 == kVisible && c1 == kHidden) || (c0 == kHidden && c1 == kVisible))
            {
                // A horizon edge: a new face through it and the point replaces the visible one.
                bzV3 u, v, nrm, sum;
                bz_V3_SubInto(&p[b], &p[a], &u);
                bz_V3_SubInto(&q, &p[a], &v);
                bz_V3_CrossInto(&u, &v, &nrm);
                // Short edges give short normals: scaled up here, not replaced by a default.
                const float length = bz_V3_Length(&nrm);
                if (!(length > 0.0f) || newPlaneCount >= n ||
                    faceCount + newPlaneCount >= BZ_HULL_NO_FACE)
                {
                    ok = false;
                    break;
                }
                bz_V3_Scale(&nrm, 1.0f / length);
                bz_V3_AddInto(&planes[f0].n, &planes[f1].n, &sum);
                if (bz_V3_Dot(&nrm, &sum) < 0.0f)
                    bz_V3_Negate(&nrm);
                const int32_t t = faceCount + newPlaneCount;
                newPlanes[newPlaneCount++] = {nrm, bz_V3_Dot(&nrm, &q)};
                adj[e] = c0 == kVisible ? PackFaces(static_cast<uint16_t>(t), f1)
                                        : PackFaces(f0, static_cast<uint16_t>(t));
                ok = Register(a, t) && Register(b, t);
            }
            else if ((c0 == kVisible && c1 == kOnPlane) || (c0 == kOnPlane && c1 == kVisible))
            {
                // The face on the plane grows over the point; this edge falls inside it.
                keep[e] = 0;
                const int32_t g = c0 == kOnPlane ? f0 : f1;
                ok = Register(a, g) && Register(b, g);
            }
        }
        for (int32_t i = 0; i < newEdgeCount; i++)
            newEdgeOf[newEdges[i].v] = -1;
        if (!ok)
            return false;

        // Faces: the visible ones go, the survivors move down, the new planes follow.
        int32_t faces = 0;
        for (int32_t f = 0; f < faceCount; f++)
        {
            if (cls[f] == kVisible)
            {
                faceMap[f] = BZ_HULL_NO_FACE;
                continue;
            }
            planes[faces] = planes[f];
            faceMap[f] = static_cast<uint16_t>(faces++);
        }
        if (faces + newPlaneCount > faceRoom)
            return false;
        for (int32_t i = 0; i < newPlaneCount; i++)
        {
            faceMap[faceCount + i] = static_cast<uint16_t>(faces);
            planes[faces++] = newPlanes[i];
        }
        // Edges: the removed ones go, the survivors get their new face numbers.
        int32_t count = 0;
        for (int32_t e = 0; e < edgeCount; e++)
        {
            if (!keep[e])
                continue;
            const uint16_t f0 = faceMap[bz_HullWork_First(adj[e])];
            const uint16_t f1 = faceMap[bz_HullWork_Second(adj[e])];
            if (f0 == BZ_HULL_NO_FACE || f1 == BZ_HULL_NO_FACE)
                return false;
            edges[count] = edges[e];
            adj[count++] = PackFaces(f0, f1);
        }
        for (int32_t i = 0; i < newEdgeCount; i++)
        {
            const NewEdge &ne = newEdges[i];
            if (ne.f1 == BZ_HULL_NO_FACE)
                return false; // the new edges do not close around the point
            if (ne.f0 == ne.f1)
                continue; // both sides in one face: the edge lies inside it
            if (count >= edgeRoom)
                return false;
            edges[count] = {ne.v, static_cast<uint16_t>(at)};
            adj[count++] = PackFaces(faceMap[ne.f0], faceMap[ne.f1]);
        }
        edgeCount = count;
        faceCount = faces;
        vc = at + 1;
        return true;
    }
};

bool AllFinite(const bzV3 *p, int32_t n)
{
    for (int32_t i = 0; i < n; i++)
        if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y) || !std::isfinite(p[i].z))
            return false;
    return true;
}

// With many points the first tetrahedron is made of the extreme points of four directions.
void ExtremePointsFirst(bzV3 *p, int32_t n)
{
    int32_t best[4] = {-1, -1, -1, -1};
    float bestDot[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < n; i++)
    {
        int32_t dir = 0;
        float dot = bz_V3_Dot(&p[i], &kTetraDirections[0]);
        for (int32_t k = 1; k < 4; k++)
        {
            const float dk = bz_V3_Dot(&p[i], &kTetraDirections[k]);
            if (dk > dot)
            {
                dot = dk;
                dir = k;
            }
        }
        if (best[dir] < 0 || dot > bestDot[dir])
        {
            best[dir] = i;
            bestDot[dir] = dot;
        }
    }
    for (int32_t k = 0; k < 4; k++)
        if (best[k] < 0)
            return;
    for (int32_t k = 0; k < 4; k++)
    {
        SwapPoints(p, k, best[k]);
        for (int32_t j = k + 1; j < 4; j++)
            if (best[j] == k)
                best[j] = best[k];
    }
}

// Moves a tetrahedron of points with volume to places 0-3; false when the points are flat.
bool FirstTetrahedron(bzV3 *p, int32_t n)
{
    int32_t first = -1;
    for (int32_t i = 0; i + 2 < n; i++)
        if (!Collinear(&p[i], &p[i + 1], &p[i + 2]))
        {
            first = i;
            break;
        }
    if (first < 0)
        return false;
    for (int32_t k = 0; k < 3 && first > 0; k++)
        SwapPoints(p, k, first + k);
    bzPlane plane;
    bzV3 u, v;
    bz_V3_SubInto(&p[1], &p[0], &u);
    bz_V3_SubInto(&p[2], &p[0], &v);
    bz_V3_CrossInto(&u, &v, &plane.n);
    bz_V3_Normalise(&plane.n);
    plane.d = bz_V3_Dot(&plane.n, &p[0]);
    for (int32_t j = 3; j < n; j++)
        if (std::fabs(bz_V3_Dot(&plane.n, &p[j]) - plane.d) > BZ_HULL_PLANE_TOLERANCE)
        {
            SwapPoints(p, 3, j);
            return true;
        }
    return false;
}

bool FillFaceEdges(const bzHull *hull, const uint32_t *adj, bzHullFaceEdgeLists *lists)
{
    if (lists->faceRoom < hull->faceCount || !lists->faces)
        return false;
    for (int32_t f = 0; f < hull->faceCount; f++)
        lists->faces[f].count = 0;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        const uint16_t f[2] = {bz_HullWork_First(adj[e]), bz_HullWork_Second(adj[e])};
        for (uint16_t g : f)
        {
            bzHullFaceEdges &list = lists->faces[g];
            if (list.count >= lists->slotRoom || !list.edges)
                return false;
            list.edges[list.count++] = static_cast<uint32_t>(e);
        }
    }
    return true;
}
} // namespace

int32_t MaxEdgesForVertices(int32_t n)
{
    if (n < 3)
        return 0;
    const int32_t e = 3 * n - 6;
    return e > 32767 ? 32767 : e;
}

int32_t MaxFacesForVertices(int32_t n)
{
    if (n < 0)
        return 0;
    return n > 5 ? 2 * n - 4 : n + 2;
}

int32_t bz_Hull_Build(bzHull *hull, uint32_t *work, bzHullFaceEdgeLists *faceEdges)
{
    BZ_ASSERT(hull);
    if (!hull)
        return BZ_HULL_FAILED;
    const int32_t n = hull->vertexCount;
    if (n < 1 || n > BZ_HULL_MAX_POINTS || n > hull->vertexRoom || !hull->vertices ||
        hull->edgeRoom < 0 || hull->faceRoom < 0 || !AllFinite(hull->vertices, n))
        return Fail(hull);
    if (n < 4)
        return BuildFlat(hull, n, faceEdges);

    bzV3 *p = hull->vertices;
    if (n > kExtremeSearchAbove)
        ExtremePointsFirst(p, n);
    if (!FirstTetrahedron(p, n))
        return BuildFlat(hull, n, faceEdges);
    if (hull->edgeRoom < 6 || hull->faceRoom < 4 || !hull->edges || !hull->planes)
        return Fail(hull);

    const size_t edgeRoom = static_cast<size_t>(hull->edgeRoom),
                 faceRoom = static_cast<size_t>(hull->faceRoom);
    const size_t un = static_cast<size_t>(n);
    Scratch scratch(Scratch::Bytes((work ? 0 : 4 * edgeRoom) + faceRoom + edgeRoom +
                                       un * (sizeof(bzPlane) + sizeof(NewEdge) + 4) +
                                       2 * (faceRoom + un),
                                   7));
    Builder b;
    b.p = p;
    b.edges = hull->edges;
    b.planes = hull->planes;
    b.adj = work ? work : scratch.Take<uint32_t>(edgeRoom);
    b.n = n;
    b.edgeRoom = hull->edgeRoom;
    b.faceRoom = hull->faceRoom;
    b.cls = scratch.Take<uint8_t>(faceRoom);
    b.keep = scratch.Take<uint8_t>(edgeRoom);
    b.newPlanes = scratch.Take<bzPlane>(un);
    b.newEdges = scratch.Take<NewEdge>(un);
    b.newEdgeOf = scratch.Take<int32_t>(un);
    b.faceMap = scratch.Take<uint16_t>(faceRoom + un);
    if (!b.adj || !b.cls || !b.keep || !b.newPlanes || !b.newEdges || !b.newEdgeOf || !b.faceMap)
        return Fail(hull);
    for (int32_t i = 0; i < n; i++)
        b.newEdgeOf[i] = -1;

    b.Tetrahedron();
    for (int32_t k = 4; k < n; k++)
        if (!b.Insert(k))
            return Fail(hull);

    // Vertices that no edge uses any more go; the survivors keep their order.
    int32_t *map = b.newEdgeOf;
    for (int32_t i = 0; i < b.vc; i++)
        map[i] = -1;
    for (int32_t e = 0; e < b.edgeCount; e++)
    {
        map[b.edges[e].a] = 0;
        map[b.edges[e].b] = 0;
    }
    int32_t vertices = 0;
    for (int32_t i = 0; i < b.vc; i++)
        if (map[i] == 0)
        {
            p[vertices] = p[i];
            map[i] = vertices++;
        }
    for (int32_t e = 0; e < b.edgeCount; e++)
        b.edges[e] = {static_cast<uint16_t>(map[b.edges[e].a]),
                      static_cast<uint16_t>(map[b.edges[e].b])};

    hull->vertexCount = static_cast<int16_t>(vertices);
    hull->edgeCount = static_cast<int16_t>(b.edgeCount);
    hull->faceCount = static_cast<int16_t>(b.faceCount);
    if (faceEdges && !FillFaceEdges(hull, b.adj, faceEdges))
        return Fail(hull);
    return BZ_HULL_SOLID;
}

int32_t bz_Hull_FindEdgeFaces(const bzHull *hull, uint32_t *edgeFaces,
                              bzHullFaceEdgeLists *faceEdges)
{
    BZ_ASSERT(hull);
    if (!hull)
        return 1;
    if (faceEdges)
    {
        if (faceEdges->faceRoom < hull->faceCount || !faceEdges->faces)
            return 1;
        for (int32_t f = 0; f < hull->faceCount; f++)
            faceEdges->faces[f].count = 0;
    }
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        const bzV3 *a = &hull->vertices[hull->edges[e].a];
        const bzV3 *b = &hull->vertices[hull->edges[e].b];
        uint16_t pair[2] = {BZ_HULL_NO_FACE, BZ_HULL_NO_FACE};
        int32_t found = 0;
        for (int32_t f = 0; f < hull->faceCount; f++)
        {
            const bzPlane *pl = &hull->planes[f];
            if (std::fabs(bz_V3_Dot(&pl->n, a) - pl->d) >= BZ_HULL_PLANE_TOLERANCE ||
                std::fabs(bz_V3_Dot(&pl->n, b) - pl->d) >= BZ_HULL_PLANE_TOLERANCE)
                continue;
            if (found < 2)
                pair[found] = static_cast<uint16_t>(f);
            found++;
            if (faceEdges)
            {
                bzHullFaceEdges &list = faceEdges->faces[f];
                if (list.count >= faceEdges->slotRoom || !list.edges)
                    return 1;
                list.edges[list.count++] = static_cast<uint32_t>(e);
            }
        }
        if (found < 2)
            return 1;
        if (edgeFaces)
            edgeFaces[e] = PackFaces(pair[0], pair[1]);
    }
    if (faceEdges)
        for (int32_t f = 0; f < hull->faceCount; f++)
            if (faceEdges->faces[f].count < 3)
                return 1;
    return 0;
}

bzHull *bz_Hull_Alloc(int32_t n)
{
    if (n < 1 || n > BZ_HULL_MAX_POINTS)
        return nullptr;
    const int32_t edges = MaxEdgesForVertices(n) > 0 ? MaxEdgesForVertices(n) : 1;
    const int32_t faces = MaxFacesForVertices(n);
    const size_t bytes = sizeof(bzHull) + sizeof(bzV3) * static_cast<size_t>(n) +
                         sizeof(bzHullEdge) * static_cast<size_t>(edges) +
                         sizeof(bzPlane) * static_cast<size_t>(faces);
    auto *hull = static_cast<bzHull *>(bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_CLEAR));
    if (!hull)
        return nullptr;
    auto *at = reinterpret_cast<uint8_t *>(hull + 1);
    hull->vertices = reinterpret_cast<bzV3 *>(at);
    at += sizeof(bzV3) * static_cast<size_t>(n);
    hull->edges = reinterpret_cast<bzHullEdge *>(at);
    at += sizeof(bzHullEdge) * static_cast<size_t>(edges);
    hull->planes = reinterpret_cast<bzPlane *>(at);
    hull->vertexRoom = static_cast<int16_t>(n);
    hull->edgeRoom = static_cast<int16_t>(edges);
    hull->faceRoom = static_cast<int16_t>(faces);
    return hull;
}

bzHullFaceEdgeLists *bz_Hull_AllocFaceEdgeLists(int32_t n)
{
    if (n < 4 || n > BZ_HULL_MAX_POINTS)
        return nullptr;
    const int32_t faces = 2 * n - 4;
    const int32_t slots = (3 * n - 6) / 2;
    const size_t bytes = sizeof(bzHullFaceEdgeLists) +
                         sizeof(bzHullFaceEdges) * static_cast<size_t>(faces) +
                         sizeof(uint32_t) * static_cast<size_t>(faces) * static_cast<size_t>(slots);
    if (bytes > BZ_MEM_MAX_BLOCK)
        return nullptr;
    auto *lists =
        static_cast<bzHullFaceEdgeLists *>(bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_CLEAR));
    if (!lists)
        return nullptr;
    lists->faceRoom = faces;
    lists->slotRoom = slots;
    lists->faces = reinterpret_cast<bzHullFaceEdges *>(lists + 1);
    auto *slot = reinterpret_cast<uint32_t *>(lists->faces + faces);
    for (int32_t f = 0; f < faces; f++)
        lists->faces[f].edges = slot + static_cast<size_t>(f) * static_cast<size_t>(slots);
    return lists;
}
