// The queries over an octree: the front-to-back ray walk, the box query, the point test of a
// lump and the plane and sphere walks.
#include "scene/OctreeQuery.h"

#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"
#include "scene/ModelGeometry.h"
#include "scene/OctreeInternal.h"

#include <cfloat>
#include <cmath>
#include <cstring>

bzOctreeObjectRef *gOctreeCursor;

namespace
{
constexpr uint16_t kChainEnd = 0xFFFF;

int32_t gActive;
int32_t gWalkedNodes;

// Box query state.
struct BoxQuery
{
    bzOctree *octree;
    bzBox box;                 // the query box in its own frame
    const bzM34 *faceMatrix;   // octree frame to box frame, or null
    const bzM34 *objectMatrix; // box frame to octree frame, or null
    bzM34 faceStore, objectStore;
    bzBox octreeBox; // the query box's enclosing box in the octree frame
    bzOctreeFaceCallback faceCallback;
    bzOctreeObjectCallback objectCallback;
    void *user;
    uint32_t mask, value;
};
BoxQuery gBox;

// The query's active flag, cleared on every return.
struct Active
{
    Active() { gActive = 1; }
    ~Active() { gActive = 0; }
};

bool LumpPasses(const bzLump *lump, uint32_t mask, uint32_t value)
{
    return lump && (lump->queryFlags & mask) == value;
}

void Touch(bzOctree *o, int32_t index)
{
    bzOctreeEntry *e = &o->entries[index];
    if (e->touchedNext)
        return;
    e->touchedNext = o->touchedHead ? o->touchedHead : kChainEnd;
    o->touchedHead = static_cast<uint16_t>(index + 1);
}

// 1 when the face's visited bit was clear (and sets it).
inline bool FirstVisit(bzOctreeEntry *e, uint32_t face)
{
    uint32_t &word = e->marks[face >> 5];
    const uint32_t bit = 1u << (face & 31);
    if (word & bit)
        return false;
    word |= bit;
    return true;
}

// The octree's face test on a mesh.
int32_t HitFace(const bzModelMesh *mesh, uint32_t face, const bzRayOptions *filter,
                const bzRay *ray, float *t, float *uv)
{
    if (face >= mesh->faceCount)
        return 0;
    bzMaterialRayInfo info;
    bz_Scene_GetMaterialRayInfo(bz_Scene_GetFaceMaterial(mesh, face), &info);
    if (info.flags & BZ_RAY_MATERIAL_NEVER_HIT)
        return 0;
    const uint32_t flags = filter ? filter->flags : 0;
    if ((flags & BZ_RAY_MATERIAL_FILTER) &&
        (info.rayClass & filter->materialMask) != filter->materialValue)
        return 0;
    const bzModelFace &f = mesh->faces[face];
    if (f.v[0] >= mesh->vertexCount || f.v[1] >= mesh->vertexCount || f.v[2] >= mesh->vertexCount)
        return 0;
    const bzV3 &p0 = mesh->positions[f.v[0]];
    const bzV3 &p1 = mesh->positions[f.v[1]];
    const bzV3 &p2 = mesh->positions[f.v[2]];
    bzPlane plane;
    bz_Plane_FromPoints(&p0, &p1, &p2, &plane);
    const float denom = bz_V3_Dot(&plane.n, &ray->delta);
    // A ray along the face's plane never hits it (NaN fails the test as well).
    if (!(std::fabs(denom) >= BZ_EPSILON))
        return 0;
    const bool twoSided = (flags & BZ_RAY_SIDES_OVERRIDE)
                              ? (flags & BZ_RAY_TWO_SIDED) != 0
                              : (info.sideFlags & BZ_RAY_MATERIAL_TWO_SIDED);
    if (!twoSided && denom > 0)
        return 0;
    const float th = (plane.d - bz_V3_Dot(&plane.n, &ray->origin)) / denom;
    if (!(th > 0) || !(th <= *t))
        return 0;
    const float ax = std::fabs(plane.n.x), ay = std::fabs(plane.n.y), az = std::fabs(plane.n.z);
    int i = 1, j = 2; // x largest: y and z
    if (ay > ax && ay >= az)
        i = 0, j = 2;
    else if (az > ax && az > ay)
        i = 0, j = 1;
    const float hi = ray->origin.v[i] + th * ray->delta.v[i] - p0.v[i];
    const float hj = ray->origin.v[j] + th * ray->delta.v[j] - p0.v[j];
    const float e1i = p1.v[i] - p0.v[i], e1j = p1.v[j] - p0.v[j];
    const float e2i = p2.v[i] - p0.v[i], e2j = p2.v[j] - p0.v[j];
    const float det = e1i * e2j - e1j * e2i;
    if (det == 0)
        return 0;
    const float u = (hi * e2j - hj * e2i) / det;
    const float v = (e1i * hj - e1j * hi) / det;
    if (!(u >= -0.0001f) || !(v >= -0.0001f) || !(u + v <= 1.0001f))
        return 0;
    *t = th;
    uv[0] = u;
    uv[1] = v;
    return 1;
}

struct RayState
{
    bzOctree *octree;
    bzRay ray;
    bzV3 point;
    float best;
    int32_t faces, objects, first;
    bzLump *lump;
    uint32_t face;
    float uv[2];
    const bzRayOptions *filter;
    int32_t hit;
};

// The ray brought into a frame by the inverse of its placement; false for a singular one.
bool RayIntoFrame(const bzM34 *placement, const bzRay *ray, bzRay *out)
{
    const float det = bz_M33_DeterminantPlain(placement);
    if (!(det > BZ_EPSILON || det < -BZ_EPSILON))
        return false;
    bzM34 inverse;
    bz_InverseM34Into(placement, &inverse);
    bz_Ray_Transform(&inverse, ray, out);
    return true;
}

// Ray against the objects of a list; 1 when the walk is to stop (a hit with first-hit set).
int32_t RayTestObjects(RayState *s, bzOctreeObjectRef *list)
{
    const uint32_t flags = s->filter ? s->filter->flags : 0;
    for (gOctreeCursor = list; gOctreeCursor;)
    {
        bzOctreeObject *obj = gOctreeCursor->object;
        gOctreeCursor = gOctreeCursor->next;
        if (obj->stamp == s->octree->queryStamp)
            continue;
        if ((flags & BZ_RAY_LUMP_FILTER) &&
            !LumpPasses(obj->lump, s->filter->lumpMask, s->filter->lumpValue))
            continue;
        obj->stamp = s->octree->queryStamp;
        bzRay local = s->ray;
        if (obj->matrix && !RayIntoFrame(obj->matrix, &s->ray, &local))
            continue;
        float t = s->best;
        bzLump *hitLump = nullptr;
        uint32_t face = 0;
        float uv[2] = {0, 0};
        if ((flags & BZ_RAY_BOX_ONLY) &&
            LumpPasses(obj->lump, s->filter->boxMask, s->filter->boxValue))
        {
            float tb;
            if (bz_Ray_BoxIntersect(&local, obj->box, &tb, nullptr, nullptr) == BZ_BOX_FACE_NONE)
                continue;
            if (!(tb < s->best))
                continue;
            t = tb;
            hitLump = obj->lump;
        }
        else
        {
            bzOctreeObjectRef *cursor = gOctreeCursor;
            const int32_t hit = bz_Lump_RayIntersectTree(obj->lump, &local, s->filter, &t, nullptr,
                                                         nullptr, nullptr, &hitLump);
            gOctreeCursor = cursor;
            if (!hit || !(t < s->best))
                continue;
            bz_Lump_GetLastHit(&face, &uv[0], &uv[1]);
        }
        s->best = t;
        s->lump = hitLump;
        s->face = face;
        s->uv[0] = uv[0];
        s->uv[1] = uv[1];
        s->hit = 1;
        if (s->first)
            return 1;
    }
    return 0;
}

// Ray against a leaf; 1 when the walk is to stop.
int32_t RayTestLeaf(RayState *s, bzOctreeLeaf *leaf)
{
    if (s->faces && leaf->faces)
    {
        bzOctree *o = s->octree;
        const uint32_t flags = s->filter ? s->filter->flags : 0;
        bzOctreeEntry *e = nullptr;
        bzModelMesh mesh = {};
        bzRay local = s->ray;
        const intptr_t stop = OctreeWalkStream(
            leaf->faces,
            [&](uint32_t index)
            {
                e = &o->entries[index];
                if ((flags & BZ_RAY_LUMP_FILTER) &&
                    !LumpPasses(e->lump, s->filter->lumpMask, s->filter->lumpValue))
                    return false;
                Touch(o, static_cast<int32_t>(index));
                if (e->singular)
                    return false;
                if (e->inverse)
                    bz_Ray_Transform(e->inverse, &s->ray, &local);
                else
                    local = s->ray;
                bz_Scene_GetModelMesh(e->model, &mesh);
                return true;
            },
            [&](uint32_t, uint32_t face) -> intptr_t
            {
                if (face >= e->faceCount || !FirstVisit(e, face))
                    return 0;
                if (!HitFace(&mesh, face, s->filter, &local, &s->best, s->uv))
                    return 0;
                s->lump = e->lump;
                s->face = face;
                s->hit = 1;
                return s->first ? 1 : 0;
            });
        if (stop)
            return 1;
    }
    if (s->objects && leaf->objects)
        return RayTestObjects(s, leaf->objects);
    return 0;
}

// Neighbour octant across an exit face, -1 when the ray leaves the node.
constexpr int8_t kNeighbour[8][6] = {
    {-1, 1, -1, 2, -1, 4}, {0, -1, -1, 3, -1, 5}, {-1, 3, 0, -1, -1, 6}, {2, -1, 1, -1, -1, 7},
    {-1, 5, -1, 6, 0, -1}, {4, -1, -1, 7, 1, -1}, {-1, 7, 4, -1, 2, -1}, {6, -1, 5, -1, 3, -1},
};

// The exit face of the octant's cell, moving the current point there; -1 when the ray ends in
// the cell (or at the best hit).
int32_t ExitFace(RayState *s, const bzBox *cell, const bzV3 *centre, uint32_t split, int32_t octant)
{
    float bestT = s->best;
    int32_t face = -1;
    for (int axis = 0; axis < 3; axis++)
    {
        const float d = s->ray.delta.v[axis];
        const bool splitAxis = (split >> axis) & 1;
        const bool upper = (octant >> axis) & 1;
        float boundary;
        int32_t f;
        if (d > BZ_EPSILON)
        {
            boundary = splitAxis && !upper ? centre->v[axis] : cell->max.v[axis];
            f = axis * 2 + 1;
        }
        else if (d < -BZ_EPSILON)
        {
            boundary = splitAxis && upper ? centre->v[axis] : cell->min.v[axis];
            f = axis * 2;
        }
        else
            continue;
        const float t = (boundary - s->ray.origin.v[axis]) / d;
        if (t < bestT)
        {
            bestT = t;
            face = f;
        }
    }
    if (face >= 0)
        bz_V3_AddScaledInto(&s->ray.origin, &s->ray.delta, bestT, &s->point);
    return face;
}

int32_t RayWalk(RayState *s, const bzOctreeNode *node, const bzBox *cell, int32_t depth)
{
    bzV3 centre;
    for (int j = 0; j < 3; j++)
        centre.v[j] = (cell->min.v[j] + cell->max.v[j]) * 0.5f;
    int32_t octant = (s->point.x > centre.x ? 1 : 0) + (s->point.y > centre.y ? 2 : 0) +
                     (s->point.z > centre.z ? 4 : 0);
    octant &= node->splitMask;
    for (;;)
    {
        void *child = node->child[octant];
        int32_t exit;
        if (child && (node->leafMask & (1u << octant)))
        {
            if (RayTestLeaf(s, static_cast<bzOctreeLeaf *>(child)) && s->first)
                return -1;
            exit = ExitFace(s, cell, &centre, node->splitMask, octant);
        }
        else if (child && depth < BZ_OCTREE_MAX_DEPTH)
        {
            bzBox childCell;
            OctreeOctantBox(cell, node->splitMask, &childCell, octant);
            exit = RayWalk(s, static_cast<const bzOctreeNode *>(child), &childCell, depth + 1);
            if (exit < 0)
                return -1;
        }
        else
            exit = ExitFace(s, cell, &centre, node->splitMask, octant);
        if (exit < 0)
            return -1;
        if (!((node->splitMask >> (exit / 2)) & 1))
            return exit;
        const int32_t next = kNeighbour[octant][exit];
        if (next < 0)
            return exit;
        octant = next;
    }
}

// ---------------------------------------------------------------------------------------
// Box query

intptr_t TestLeafObjects(bzOctreeObjectRef *list)
{
    bzOctree *o = gBox.octree;
    for (gOctreeCursor = list; gOctreeCursor;)
    {
        bzOctreeObject *obj = gOctreeCursor->object;
        gOctreeCursor = gOctreeCursor->next;
        if (obj->stamp == o->queryStamp)
            continue;
        obj->stamp = o->queryStamp;
        if (!LumpPasses(obj->lump, gBox.mask, gBox.value))
            continue;
        // The object's box placed in the query box's frame (identity when neither is placed).
        bzM34 relative;
        bz_M34_RelativePair(gBox.objectMatrix, obj->matrix, &relative, nullptr);
        const int32_t overlap = bz_Box_OrientedOverlap(&relative, obj->box, &gBox.box);
        if (!overlap)
            continue;
        if (const intptr_t r = gBox.objectCallback(obj, gBox.user))
            return r;
    }
    return 0;
}

intptr_t QueryLeaf(bzOctreeLeaf *leaf)
{
    bzOctree *o = gBox.octree;
    if (gBox.faceCallback && leaf->faces)
    {
        bzOctreeEntry *e = nullptr;
        bzModelMesh mesh = {};
        const intptr_t r = OctreeWalkStream(
            leaf->faces,
            [&](uint32_t index)
            {
                e = &o->entries[index];
                if (!LumpPasses(e->lump, gBox.mask, gBox.value))
                    return false;
                Touch(o, static_cast<int32_t>(index));
                bz_Scene_GetModelMesh(e->model, &mesh);
                return true;
            },
            [&](uint32_t, uint32_t face) -> intptr_t
            {
                if (face >= e->faceCount || face >= mesh.faceCount || !FirstVisit(e, face))
                    return 0;
                const bzModelFace &f = mesh.faces[face];
                bzV3 v[3];
                for (int i = 0; i < 3; i++)
                {
                    if (f.v[i] >= mesh.vertexCount)
                        return 0;
                    v[i] = mesh.positions[f.v[i]];
                    if (e->matrix)
                        bz_M34_TransformPoint(e->matrix, &v[i]);
                    if (gBox.faceMatrix)
                        bz_M34_TransformPoint(gBox.faceMatrix, &v[i]);
                }
                if (!bzOctree_TriangleOverlapsBox(&v[0], &v[1], &v[2], &gBox.box))
                    return 0;
                return gBox.faceCallback(e, face, gBox.user);
            });
        if (r)
            return r;
    }
    if (gBox.objectCallback && leaf->objects)
        return TestLeafObjects(leaf->objects);
    return 0;
}

bool CellsOverlap(const bzBox *a, const bzBox *b)
{
    return a->min.x <= b->max.x && a->max.x >= b->min.x && a->min.y <= b->max.y &&
           a->max.y >= b->min.y && a->min.z <= b->max.z && a->max.z >= b->min.z;
}

intptr_t QueryNode(const bzOctreeNode *node, const bzBox *cell, int32_t depth)
{
    for (int32_t octant = 0; octant < 8; octant++)
    {
        bzBox child;
        if (!OctreeChildBox(cell, node, &child, octant) || !CellsOverlap(&child, &gBox.octreeBox))
            continue;
        intptr_t r = 0;
        if (node->leafMask & (1u << octant))
            r = QueryLeaf(static_cast<bzOctreeLeaf *>(node->child[octant]));
        else if (depth < BZ_OCTREE_MAX_DEPTH)
            r = QueryNode(static_cast<const bzOctreeNode *>(node->child[octant]), &child,
                          depth + 1);
        if (r)
            return r;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Triangle against a box

uint32_t Outcode(const bzV3 *p, const bzBox *b)
{
    return (p->x < b->min.x ? 1u : 0u) | (p->y < b->min.y ? 2u : 0u) | (p->z < b->min.z ? 4u : 0u) |
           (p->x > b->max.x ? 8u : 0u) | (p->y > b->max.y ? 16u : 0u) |
           (p->z > b->max.z ? 32u : 0u);
}

// Box faces here: 0 min x, 1 min y, 2 min z, 3 max x, 4 max y, 5 max z.
bool BoxEdgeHitsTriangle(int32_t a, int32_t b, const bzBox *box, const bzPlane *plane,
                         const bzV3 *p0, const bzV3 *p1, const bzV3 *p2)
{
    const int32_t ia = a % 3, ib = b % 3, c = 3 - ia - ib;
    if (std::fabs(plane->n.v[c]) < BZ_EPSILON)
        return false;
    const float ca = a < 3 ? box->min.v[ia] : box->max.v[ia];
    const float cb = b < 3 ? box->min.v[ib] : box->max.v[ib];
    const float pc = (plane->d - plane->n.v[ia] * ca - plane->n.v[ib] * cb) / plane->n.v[c];
    if (!(pc >= box->min.v[c] && pc <= box->max.v[c]))
        return false;
    // Barycentric coordinates of (ca, cb) in the (ia, ib) projection, relative to p0.
    const float e1a = p1->v[ia] - p0->v[ia], e1b = p1->v[ib] - p0->v[ib];
    const float e2a = p2->v[ia] - p0->v[ia], e2b = p2->v[ib] - p0->v[ib];
    const float qa = ca - p0->v[ia], qb = cb - p0->v[ib];
    const float det = e1a * e2b - e1b * e2a;
    if (det == 0)
        return false;
    const float u = (qa * e2b - qb * e2a) / det;
    const float v = (e1a * qb - e1b * qa) / det;
    return u >= 0 && v >= 0 && u + v <= 1;
}

void SpherePlaneWalk(const bzOctreeNode *node, const bzBox *cell, const bzV3 *centre, float r2,
                     int32_t depth)
{
    gWalkedNodes++;
    for (int32_t octant = 0; octant < 8; octant++)
    {
        bzBox child;
        if (!OctreeChildBox(cell, node, &child, octant) || (node->leafMask & (1u << octant)))
            continue;
        if (bz_Box_PointDistanceSq(&child, centre) <= r2 && depth < BZ_OCTREE_MAX_DEPTH)
            SpherePlaneWalk(static_cast<const bzOctreeNode *>(node->child[octant]), &child, centre,
                            r2, depth + 1);
    }
}

void PlaneWalk(const bzOctreeNode *node, const bzBox *cell, int32_t count, const bzPlane *planes,
               int32_t depth)
{
    gWalkedNodes++;
    for (int32_t octant = 0; octant < 8; octant++)
    {
        bzBox child;
        if (!OctreeChildBox(cell, node, &child, octant))
            continue;
        bool culled = false;
        for (int32_t k = 0; k < count && !culled; k++)
        {
            const bzPlane &p = planes[k];
            const float dmin = bz_V3_Dot(&p.n, &child.min) - p.d;
            float nearest = dmin;
            for (int j = 0; j < 3; j++)
            {
                const float product = (child.max.v[j] - child.min.v[j]) * p.n.v[j];
                if (product < 0)
                    nearest += product;
            }
            culled = dmin >= BZ_EPSILON && nearest > -BZ_EPSILON;
        }
        if (!culled && !(node->leafMask & (1u << octant)) && depth < BZ_OCTREE_MAX_DEPTH)
            PlaneWalk(static_cast<const bzOctreeNode *>(node->child[octant]), &child, count, planes,
                      depth + 1);
    }
}

struct PointSearch
{
    bzLump *lump;
};

intptr_t MatchLump(bzOctreeObject *object, void *user)
{
    PointSearch *search = static_cast<PointSearch *>(user);
    if (object->lump != search->lump)
        return 0;
    search->lump = nullptr;
    return -1;
}
} // namespace

void bzOctree_ResetFaceMarks(bzOctree *octree)
{
    if (!octree)
        return;
    uint32_t k = octree->touchedHead;
    while (k && k != kChainEnd)
    {
        bzOctreeEntry *e = &octree->entries[k - 1];
        if (e->faceCount && e->marks)
            MemFill(e->marks, 0, (e->faceCount + 31u) / 32u * 4u);
        k = e->touchedNext;
        e->touchedNext = 0;
    }
    octree->touchedHead = 0;
}

void bzOctree_BeginQuery(bzOctree *octree)
{
    if (!octree)
        return;
    bzOctree_ResetFaceMarks(octree);
    if (++octree->queryStamp == 0)
        octree->queryStamp = 1;
}

int32_t bzOctree_IsQueryActive()
{
    return gActive;
}

int32_t RayHitsFacePolygon(uint32_t face, const bzRayOptions *filter, const bzModel *model,
                           const bzRay *ray, float *t, float *uv)
{
    if (!ray || !t || !uv)
        return 0;
    bzModelMesh mesh;
    if (!bz_Scene_GetModelMesh(model, &mesh))
        return 0;
    return HitFace(&mesh, face, filter, ray, t, uv);
}

int32_t bzOctree_RayQuery(const bzRayOptions *filter, bzOctree *octree, const bzRay *ray,
                          int32_t testFaces, int32_t testObjects, float *t, bzLump **hitLump,
                          uint32_t *hitFace, float *hitUV)
{
    if (!octree || !ray || (!testFaces && !testObjects))
        return 0;
    Active active;
    bzOctree_BeginQuery(octree);
    RayState s = {};
    s.octree = octree;
    s.ray = *ray;
    s.best = t ? *t : (ray->flag ? FLT_MAX : BZ_SEGMENT_LIMIT);
    s.faces = testFaces;
    s.objects = testObjects;
    s.first = filter && (filter->flags & BZ_RAY_FIRST_HIT);
    s.filter = filter;
    s.point = ray->origin;
    bool stopped = false;
    if (octree->root)
        stopped = RayWalk(&s, octree->root, &octree->bounds, 0) < 0 && s.first && s.hit;
    if (!stopped && testObjects && octree->outsideObjects)
        RayTestObjects(&s, octree->outsideObjects);
    gOctreeCursor = nullptr;
    if (!s.hit)
        return 0;
    if (t)
        *t = s.best;
    if (hitLump)
        *hitLump = s.lump;
    if (hitFace)
        *hitFace = s.face;
    if (hitUV)
    {
        hitUV[0] = s.uv[0];
        hitUV[1] = s.uv[1];
    }
    return 1;
}

intptr_t bzOctree_Query(bzOctreeFaceCallback faceCallback, bzOctree *octree, const bzBox *box,
                        const bzM34 *octreeToBox, const bzM34 *boxToOctree, const bzBox *octreeBox,
                        bzOctreeObjectCallback objectCallback, void *user, uint32_t mask,
                        uint32_t value)
{
    if (!octree || !box)
        return 0;
    Active active;
    bzOctree_BeginQuery(octree);
    if (!faceCallback && !objectCallback)
        return 0;
    BoxQuery &q = gBox;
    q = BoxQuery{};
    q.octree = octree;
    q.box = *box;
    q.faceCallback = faceCallback;
    q.objectCallback = objectCallback;
    q.user = user;
    q.mask = mask;
    q.value = value;
    // The faces' matrix (octree to box frame) only when faces are tested.
    if (faceCallback)
    {
        if (octreeToBox)
            q.faceMatrix = octreeToBox;
        else if (boxToOctree)
        {
            bz_M34_Invert(boxToOctree, &q.faceStore);
            q.faceMatrix = &q.faceStore;
        }
    }
    if (objectCallback)
    {
        if (boxToOctree)
            q.objectMatrix = boxToOctree;
        else if (octreeToBox)
        {
            bz_M34_Invert(octreeToBox, &q.objectStore);
            q.objectMatrix = &q.objectStore;
        }
    }
    if (octreeBox)
        q.octreeBox = *octreeBox;
    else if (q.objectMatrix || boxToOctree)
        bz_Box_TransformInto(box, q.objectMatrix ? q.objectMatrix : boxToOctree, &q.octreeBox);
    else
        q.octreeBox = *box;
    intptr_t r = octree->root ? QueryNode(octree->root, &octree->bounds, 0) : 0;
    if (!r && objectCallback && octree->outsideObjects)
        r = TestLeafObjects(octree->outsideObjects);
    gOctreeCursor = nullptr;
    return r;
}

int32_t bzOctree_IsLumpAtPoint(const bzV3 *point, bzLump *lump)
{
    if (!point || !lump || !lump->octree || (lump->flags & BZ_LUMP_OCTREE))
        return 0;
    bzOctreeObject *obj = lump->octree;
    if (obj->kind != BZ_OCTREE_KIND_OBJECT || !obj->octree)
        return 0;
    const bzBox box = {*point, *point};
    PointSearch search = {lump};
    bzOctree_Query(nullptr, obj->octree, &box, nullptr, nullptr, &box, MatchLump, &search,
                   0xFFFFFFFFu, lump->queryFlags);
    return search.lump == nullptr ? 1 : 0;
}

int32_t bzOctree_WalkPlanes(bzOctree *octree, int32_t count, const bzPlane *planes)
{
    gWalkedNodes = 0;
    if (!octree || !octree->root || count < 0 || (count > 0 && !planes))
        return 0;
    Active active;
    bzOctree_BeginQuery(octree);
    PlaneWalk(octree->root, &octree->bounds, count, planes, 0);
    return 0;
}

int32_t bzOctree_WalkSphere(bzOctree *octree, const bzV3 *centre, float radius)
{
    gWalkedNodes = 0;
    if (!octree || !octree->root || !centre)
        return 0;
    Active active;
    bzOctree_BeginQuery(octree);
    SpherePlaneWalk(octree->root, &octree->bounds, centre, radius * radius, 0);
    return 0;
}

int32_t bzOctree_GetWalkedNodes()
{
    return gWalkedNodes;
}

int32_t bzOctree_TriangleOverlapsBox(const bzV3 *v0, const bzV3 *v1, const bzV3 *v2,
                                     const bzBox *box)
{
    const uint32_t c0 = Outcode(v0, box), c1 = Outcode(v1, box), c2 = Outcode(v2, box);
    if (!c0 || !c1 || !c2)
        return 1;
    if (c0 & c1 & c2)
        return 0;
    if (!(c0 & c1) && bz_Segment_BoxIntersect(v0, v1, box) != BZ_BOX_FACE_NONE)
        return 1;
    if (!(c1 & c2) && bz_Segment_BoxIntersect(v1, v2, box) != BZ_BOX_FACE_NONE)
        return 1;
    if (!(c2 & c0) && bz_Segment_BoxIntersect(v2, v0, box) != BZ_BOX_FACE_NONE)
        return 1;
    bzPlane plane;
    bz_Plane_FromPoints(v0, v1, v2, &plane);
    // Outcode bits by this test's face numbering (0 min x, 1 min y, 2 min z, 3 max x, ...).
    const uint32_t o = c0 | c1 | c2;
    static const int8_t kPairs[12][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 5}, {1, 2}, {1, 3},
                                         {1, 5}, {2, 3}, {2, 4}, {3, 4}, {3, 5}, {4, 5}};
    for (const auto &pair : kPairs)
    {
        if (!(o & (1u << pair[0])) || !(o & (1u << pair[1])))
            continue;
        if (BoxEdgeHitsTriangle(pair[0], pair[1], box, &plane, v0, v1, v2))
            return 1;
    }
    return 0;
}
