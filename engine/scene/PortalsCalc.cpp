// The room calculation's cells: the subdivision of the level's box into a tree of cells that
// keeps only empty space, the search for the empty cells that are inside the level (a floor
// below them), and the cells that each portal crosses, refined where a portal runs through
// space that the coarse cells called solid.
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "scene/LumpRay.h"
#include "scene/PortalFaceServices.h"
#include "scene/Portals.h"
#include "scene/PortalsCells.h"

#include <cstring>

namespace
{
bzPortalWork gWork = {0, 0, nullptr, BZ_CELL_FINE, {{{0, 0, 0}}}, 0, 0, nullptr, 0, nullptr};

bzV3 Extents(const bzBox &b)
{
    return {{{b.max.x - b.min.x, b.max.y - b.min.y, b.max.z - b.min.z}}};
}

bzBox Grown(const bzBox &b, float by)
{
    return {{{{b.min.x - by, b.min.y - by, b.min.z - by}}},
            {{{b.max.x + by, b.max.y + by, b.max.z + by}}}};
}

int32_t Halves(uint32_t flags, int32_t axis)
{
    return (flags >> axis) & 1 ? 2 : 1;
}

// Whether the segment from a to b meets the box (faces included).
bool SegmentMeetsBox(const bzV3 &a, const bzV3 &b, const bzBox &box)
{
    float t0 = 0.0f, t1 = 1.0f;
    for (int32_t k = 0; k < 3; k++)
    {
        const float d = b.v[k] - a.v[k];
        if (d == 0.0f)
        {
            if (a.v[k] < box.min.v[k] || a.v[k] > box.max.v[k])
                return false;
            continue;
        }
        float lo = (box.min.v[k] - a.v[k]) / d, hi = (box.max.v[k] - a.v[k]) / d;
        if (lo > hi)
        {
            const float s = lo;
            lo = hi;
            hi = s;
        }
        t0 = lo > t0 ? lo : t0;
        t1 = hi < t1 ? hi : t1;
        if (t0 > t1)
            return false;
    }
    return true;
}

// Marks an inside leaf as crossed by the portal: 1 when it is newly a portal cell.
int32_t MarkLeaf(bzPortalCell *cell, int32_t portal, int32_t edge)
{
    if (edge)
        cell->flags |= BZ_CELL_EDGE;
    if (cell->flags & BZ_CELL_PORTAL)
    {
        cell->flags |= BZ_CELL_PORTALS;
        return 0;
    }
    cell->flags |= BZ_CELL_PORTAL;
    cell->tag = static_cast<int16_t>(portal);
    return 1;
}

const bzPortal *PortalOf(int32_t index)
{
    const bzPortalWorld *w = bz_Portals_GetWorld();
    return w && index >= 0 && index < w->portalCount ? &w->portals[index] : nullptr;
}
} // namespace

bzPortalWork &PortalsWork()
{
    return gWork;
}

bzPortalCell *PortalNewCell(bzPortalCell *parent, const bzBox *box)
{
    if (!gWork.cellPool)
        return nullptr;
    if (gWork.cells >= BZ_CELL_BUDGET)
    {
        gWork.shortage = bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    auto *cell = static_cast<bzPortalCell *>(bz_Pool_Alloc(gWork.cellPool, BZ_MEM_CLEAR));
    if (!cell)
    {
        gWork.shortage = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    gWork.cells++;
    cell->box = *box;
    cell->parent = parent;
    cell->tag = -1;
    return cell;
}

void PortalFreeCell(bzPortalCell *cell)
{
    if (cell && gWork.cellPool)
        bz_Pool_FreeElement(gWork.cellPool, cell);
}

int32_t PortalSlotCount(const bzPortalCell *cell)
{
    return Halves(cell->flags, 0) * Halves(cell->flags, 1) * Halves(cell->flags, 2);
}

void PortalSlotBox(const bzPortalCell *cell, int32_t slot, bzBox *out)
{
    const int32_t ny = Halves(cell->flags, 1), nz = Halves(cell->flags, 2);
    const int32_t index[3] = {slot / (ny * nz), (slot / nz) % ny, slot % nz};
    for (int32_t k = 0; k < 3; k++)
    {
        const float lo = cell->box.min.v[k], hi = cell->box.max.v[k];
        if (!((cell->flags >> k) & 1))
        {
            out->min.v[k] = lo;
            out->max.v[k] = hi;
            continue;
        }
        const float step = (hi - lo) * 0.5f;
        out->min.v[k] = lo + index[k] * step;
        out->max.v[k] = out->min.v[k] + step;
    }
}

void PortalCellCentre(const bzPortalCell *cell, bzV3 *out)
{
    for (int32_t k = 0; k < 3; k++)
        out->v[k] = (cell->box.min.v[k] + cell->box.max.v[k]) * 0.5f;
}

bzPortalCell *PortalSubdivideCell(bzPortalCell *cell, bzLump *root)
{
    const bzV3 e = Extents(cell->box);
    cell->flags = 0;
    for (int32_t k = 0; k < 3; k++)
        if (e.v[k] > BZ_CELL_COARSE)
            cell->flags |= 1u << k;
    if (!(cell->flags & BZ_CELL_SPLIT))
    {
        const bzPortalWorld *w = bz_Portals_GetWorld();
        const int32_t count = bz_Portals_GatherFaces(
            gWork.faceList, &cell->box, root, w ? w->parameters[3] : 0, w ? w->parameters[4] : 0);
        return PortalClassifyCell(cell, root, gWork.faceList, count);
    }
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
    {
        bzBox box;
        PortalSlotBox(cell, slot, &box);
        bzPortalCell *child = PortalNewCell(cell, &box);
        cell->children[slot] = child ? PortalSubdivideCell(child, root) : nullptr;
    }
    return cell;
}

bzPortalCell *PortalClassifyCell(bzPortalCell *cell, bzLump *root, const void *list, int32_t count)
{
    const bzV3 e = Extents(cell->box);
    const bool small = e.x <= gWork.threshold && e.y <= gWork.threshold && e.z <= gWork.threshold;
    if (small)
    {
        if (count == 0)
        {
            cell->flags = BZ_CELL_SMALL;
            return cell;
        }
        gWork.finest = e;
        cell->flags = 0;
        PortalFreeCell(cell);
        return nullptr;
    }
    if (count == 0)
    {
        cell->flags = BZ_CELL_EMPTY;
        return cell;
    }
    cell->flags = BZ_CELL_SPLIT;
    const bzPortalWorld *w = bz_Portals_GetWorld();
    // A list that could not hold every face cannot be narrowed: each child gathers its own.
    void *narrowed = bz_Portals_CreateFaceList(BZ_CELL_FACE_LIST);
    for (int32_t slot = 0; slot < 8; slot++)
    {
        bzBox box;
        PortalSlotBox(cell, slot, &box);
        bzPortalCell *child = PortalNewCell(cell, &box);
        if (!child)
        {
            cell->children[slot] = nullptr;
            continue;
        }
        int32_t n = -1;
        if (narrowed)
            n = count >= 0 ? bz_Portals_NarrowFaces(narrowed, list, &box)
                           : bz_Portals_GatherFaces(narrowed, &box, root, w ? w->parameters[3] : 0,
                                                    w ? w->parameters[4] : 0);
        cell->children[slot] = PortalClassifyCell(child, root, narrowed, n);
    }
    bz_Portals_FreeFaceList(narrowed);
    return cell;
}

void PortalMarkInsideCells(bzPortalCell *cell, bzPortalCell *rootCell, bzLump *root,
                           const bzRayOptions *options)
{
    if (cell->flags & BZ_CELL_EMPTY)
    {
        const bzBox grown = Grown(cell->box, 0.1f);
        if ((cell->flags & BZ_CELL_INSIDE) || PortalBoxTouchesSolid(&grown, rootCell))
        {
            cell->flags &= ~BZ_CELL_INSIDE;
            bzRay ray;
            PortalCellCentre(cell, &ray.origin);
            ray.delta = {{{0.0f, -1.0f, 0.0f}}};
            ray.flag = 1;
            float t = 0.0f;
            bzLumpRayHit hit;
            if (bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, options) && hit.plane.n.y >= 0.0f)
                cell->flags |= BZ_CELL_INSIDE;
        }
    }
    if (!(cell->flags & BZ_CELL_SPLIT))
        return;
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
        if (cell->children[slot])
            PortalMarkInsideCells(cell->children[slot], rootCell, root, options);
}

int32_t PortalBoxTouchesSolid(const bzBox *box, const bzPortalCell *cell)
{
    if (!bz_Box_Overlap(box, &cell->box))
        return 0;
    if (cell->flags == 0)
        return 1;
    if ((cell->flags & BZ_CELL_EMPTY) || !(cell->flags & BZ_CELL_SPLIT))
        return 0;
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
    {
        if (cell->children[slot])
        {
            if (PortalBoxTouchesSolid(box, cell->children[slot]))
                return 1;
            continue;
        }
        bzBox octant;
        PortalSlotBox(cell, slot, &octant);
        if (bz_Box_Overlap(box, &octant))
            return 1;
    }
    return 0;
}

int32_t PortalCellCrossesPortal(const bzBox *box, const bzPortal *portal, int32_t *edge)
{
    *edge = 0;
    bzV3 near;
    if (!bz_Box_StraddlesPlane(box, &portal->plane) ||
        !bz_Box_SphereOverlap(&portal->centre, box, &near, portal->radius * portal->radius))
        return 0;
    for (int32_t i = 0; i < portal->vertexCount; i++)
    {
        const bzV3 &u = portal->vertices[i == 0 ? portal->vertexCount - 1 : i - 1];
        if (SegmentMeetsBox(u, portal->vertices[i], *box))
        {
            *edge = 1;
            return 1;
        }
    }
    static const int32_t kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                          {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto &e : kEdges)
    {
        bzV3 a, b;
        bz_Box_Corner(box, e[0], &a);
        bz_Box_Corner(box, e[1], &b);
        const bzV3 delta = {{{b.x - a.x, b.y - a.y, b.z - a.z}}};
        float t;
        if (PortalRayHit(portal, &a, &delta, 1.0f, &t))
            return 1;
    }
    return 0;
}

int32_t PortalMarkPortalCells(bzPortalCell *cell, int32_t portal)
{
    const bzPortal *p = PortalOf(portal);
    int32_t edge;
    if (!p || !(cell->flags & (BZ_CELL_SPLIT | BZ_CELL_INSIDE)) ||
        !PortalCellCrossesPortal(&cell->box, p, &edge))
        return 0;
    if (cell->flags & BZ_CELL_SPLIT)
    {
        int32_t marked = 0;
        const int32_t slots = PortalSlotCount(cell);
        for (int32_t slot = 0; slot < slots; slot++)
            if (cell->children[slot])
                marked |= PortalMarkPortalCells(cell->children[slot], portal);
        return marked;
    }
    if (!(cell->flags & BZ_CELL_INSIDE))
        return 0;
    // An opaque portal is a wall: the space it crosses is no longer inside.
    if (p->flags & BZ_PORTAL_OPAQUE)
    {
        cell->flags &= ~BZ_CELL_INSIDE;
        return 0;
    }
    return MarkLeaf(cell, portal, edge);
}

int32_t PortalRefineCells(bzPortalCell *cell, int32_t portal, bzPortalCell *rootCell)
{
    const bzPortal *p = PortalOf(portal);
    bzPortalWorld *w = bz_Portals_GetWorld();
    int32_t edge;
    if (!p || !(cell->flags & (BZ_CELL_SPLIT | BZ_CELL_INSIDE)) ||
        !PortalCellCrossesPortal(&cell->box, p, &edge))
        return 0;
    if (!(cell->flags & BZ_CELL_SPLIT))
        return (cell->flags & BZ_CELL_INSIDE) ? MarkLeaf(cell, portal, edge) : 0;
    int32_t marked = 0;
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
    {
        if (cell->children[slot])
        {
            marked |= PortalRefineCells(cell->children[slot], portal, rootCell);
            continue;
        }
        bzBox octant;
        PortalSlotBox(cell, slot, &octant);
        int32_t octantEdge;
        if (!PortalCellCrossesPortal(&octant, p, &octantEdge))
            continue;
        bzPortalCell *made = PortalNewCell(cell, &octant);
        if (!made)
            continue;
        const int32_t count = bz_Portals_GatherFaces(gWork.faceList, &octant, w->rootLump,
                                                     w->parameters[3], w->parameters[4]);
        gWork.threshold *= 0.25f;
        bzPortalCell *result = PortalClassifyCell(made, w->rootLump, gWork.faceList, count);
        gWork.threshold *= 4.0f;
        cell->children[slot] = result;
        if (!result)
            continue;
        const auto *options = reinterpret_cast<const bzRayOptions *>(w->parameters);
        PortalMarkInsideCells(result, rootCell, w->rootLump, options);
        marked |= PortalMarkPortalCells(result, portal);
        for (int32_t other = 0; other < w->portalCount; other++)
            if (other != portal)
                PortalMarkPortalCells(result, other);
    }
    return marked;
}

bzPortalCell *PortalCellAtPoint(bzPortalCell *cell, const bzV3 *point, bzBox *boxOut)
{
    while (cell)
    {
        if (!bz_Box_PointInside(point, &cell->box))
            return nullptr;
        if (!(cell->flags & BZ_CELL_SPLIT))
            return cell;
        const int32_t ny = Halves(cell->flags, 1), nz = Halves(cell->flags, 2);
        int32_t index[3];
        for (int32_t k = 0; k < 3; k++)
            index[k] = ((cell->flags >> k) & 1) &&
                               point->v[k] > (cell->box.min.v[k] + cell->box.max.v[k]) * 0.5f
                           ? 1
                           : 0;
        const int32_t slot = index[0] * ny * nz + index[1] * nz + index[2];
        if (!cell->children[slot])
        {
            if (boxOut)
                PortalSlotBox(cell, slot, boxOut);
            return cell;
        }
        cell = cell->children[slot];
    }
    return nullptr;
}

bzPortalCell *PortalInsideCellAtPoint(bzPortalCell *cell, const bzV3 *point)
{
    if (!cell || !(cell->flags & (BZ_CELL_SPLIT | BZ_CELL_INSIDE)) ||
        !bz_Box_PointInside(point, &cell->box))
        return nullptr;
    if (!(cell->flags & BZ_CELL_SPLIT))
        return (cell->flags & BZ_CELL_INSIDE) ? cell : nullptr;
    const int32_t slots = PortalSlotCount(cell);
    for (int32_t slot = 0; slot < slots; slot++)
        if (cell->children[slot])
            if (bzPortalCell *found = PortalInsideCellAtPoint(cell->children[slot], point))
                return found;
    return nullptr;
}
