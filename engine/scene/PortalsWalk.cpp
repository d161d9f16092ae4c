// The portal render pass: from the room that holds the camera, every room seen through a chain of
// portals is walked with the planes of the way in (the view frustum's four side planes at the
// start, the planes through the eye and the edges of the clipped portal after each portal). The
// lumps of a walked room whose boxes pass those planes are queued once each, marked by a flag bit
// and chained through their render links, and drawn afterwards through the render walk's step.
#include "core/Debug.h"
#include "device/ViewportRecord.h"
#include "maths/Vector.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/Portals.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
constexpr float kDegToRad = 0.017453292f;
// The longest chain of portals the pass follows (each step holds its planes and its clipped
// polygon on the stack).
constexpr int32_t kMaxDepth = 64;
constexpr size_t kListChars = 252;

struct Pass
{
    bzPortalWorld *world;
    bzViewport *v;
    bzV3 eye;
    bzV3 back;      // the camera's z axis turned round: the edge planes of a cone ahead face it
    bzLump *queued; // chained through the render links, latest first
    // Scratch space of the cone reduction, used before each step into a room.
    bzV3 directions[3 * BZ_PORTAL_CONE_EDGES];
    bzPortalConeEdge chain[BZ_PORTAL_CONE_EDGES];
};

int32_t gRoomsWalked = 0;
int32_t gLumpsQueued = 0;
char gList[kListChars + 1];
size_t gListLength = 0;

bool Queued(const bzLump *lump)
{
    return (lump->flags & BZ_LUMP_PORTAL_QUEUED) != 0;
}

void Queue(Pass &p, bzLump *lump)
{
    lump->flags |= BZ_LUMP_PORTAL_QUEUED;
    lump->renderLink = p.queued;
    p.queued = lump;
    gLumpsQueued++;
}

void QueueIfSeen(Pass &p, bzLump *lump, const bzV3 *normals, int32_t count)
{
    if (!lump || Queued(lump))
        return;
    bzBox box;
    PortalsLumpWorldBox(lump, &box);
    if (PortalBoxInFrustum(&box, normals, count, &p.eye))
        Queue(p, lump);
}

// Calls fn for every lump listed in the room (-1: in no room).
template <typename Fn> void ForEachListed(int32_t room, Fn fn)
{
    for (const bzRoomLink *r = bz_Portals_FirstRoomRecord(room); r;
         r = bz_Portals_NextRoomRecord(r))
        if (bzLump *l = bz_Portals_RecordLump(r))
            fn(l);
}

void ListRoom(int32_t room)
{
    if (!bz_Portals_ListingRooms())
        return;
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d,", room);
    // A list that would overflow keeps what it has, and the listing says so.
    if (n <= 0 || gListLength + static_cast<size_t>(n) > kListChars)
    {
        bz_Portals_RoomListOverflowed();
        return;
    }
    std::memcpy(gList + gListLength, text, static_cast<size_t>(n) + 1);
    gListLength += static_cast<size_t>(n);
}

void DirectionsTo(const Pass &p, const bzV3 *points, int32_t n, bzV3 *out)
{
    for (int32_t i = 0; i < n; i++)
    {
        out[i] = {{{points[i].x - p.eye.x, points[i].y - p.eye.y, points[i].z - p.eye.z}}};
        bz_V3_Normalise(&out[i]);
    }
}

// The planes (facing in) of the room beyond a portal: the cone through the way in (the clipped
// polygon the walk came through, the view's own rectangle from the camera's room) reduced by the
// portal's clipped polygon; when the polygons are more than the reduction takes, or it leaves
// nothing, the portal's edge planes alone.
int32_t ConePlanes(Pass &p, const bzV3 *way, int32_t nA, const bzV3 *clipped, int32_t nB,
                   bzV3 *planes)
{
    if (!way || nA < 3 || nA > BZ_PORTAL_CONE_EDGES || nB > BZ_PORTAL_CONE_EDGES)
        return PortalEdgePlanes(clipped, nB, &p.eye, planes);
    bzV3 *d = p.directions;
    DirectionsTo(p, way, nA, d);
    DirectionsTo(p, clipped, nB, d + nA);
    const int32_t windingA = PortalWinding(d, nA), windingB = PortalWinding(d + nA, nB);
    int32_t directionCount = nA + nB;
    const int32_t n =
        PortalReduceEdgePlanes(d, &directionCount, nA, windingA, nB, windingB, &p.back, p.chain);
    int32_t count = 0;
    for (int32_t i = 0; i < n && count < BZ_PORTAL_MAX_PLANES; i++)
    {
        const int32_t plane = p.chain[i].plane;
        const bool inA = plane < nA;
        const int32_t first = inA ? 0 : nA, size = inA ? nA : nB;
        const int32_t previous = plane == first ? first + size - 1 : plane - 1;
        bzV3 normal;
        if (PortalCrossNormal(&d[previous], &d[plane], inA ? windingA : windingB, &normal))
            planes[count++] = {{{-normal.x, -normal.y, -normal.z}}};
    }
    // A cone the reduction could not hold (or made nothing of, the polygon having been clipped to
    // it already) is bounded by the portal's own edges.
    return count ? count : PortalEdgePlanes(clipped, nB, &p.eye, planes);
}

void WalkRoom(Pass &p, int32_t room, const bzV3 *normals, int32_t count, const bzV3 *way,
              int32_t wayCount, int32_t entryPortal, int32_t depth)
{
    bzPortalWorld *w = p.world;
    if (room < 0 || room >= w->roomCount || depth >= kMaxDepth)
        return;
    bzPortalRoom &r = w->rooms[room];
    if (r.portalCount < 0 || r.visited)
        return;
    r.visited = 1;
    gRoomsWalked++;
    ListRoom(room);
    for (int32_t i = 0; i < r.staticCount; i++)
        QueueIfSeen(p, r.staticLumps[i], normals, count);
    ForEachListed(room, [&](bzLump *l) { QueueIfSeen(p, l, normals, count); });
    bzV3 clipped[BZ_PORTAL_MAX_CLIP];
    bzV3 planes[BZ_PORTAL_MAX_PLANES];
    for (int32_t i = 0; i < r.portalCount; i++)
    {
        const int32_t index = r.portals[i];
        if (index == entryPortal || index >= w->portalCount)
            continue;
        const bzPortal &portal = w->portals[index];
        // A portal that leads nowhere has no room on its other side.
        if (portal.roomA == BZ_PORTAL_NO_ROOM || portal.roomB == BZ_PORTAL_NO_ROOM)
            continue;
        const int32_t other = portal.roomA + portal.roomB - room;
        const int32_t n = PortalClipToFrustum(portal.vertices, portal.vertexCount, normals, count,
                                              &p.eye, clipped);
        if (!n)
            continue;
        const int32_t planeCount = ConePlanes(p, way, wayCount, clipped, n, planes);
        WalkRoom(p, other, planes, planeCount, clipped, n, index, depth + 1);
    }
    r.visited = 0;
}

// The view matrix of a lump below a queued lump about to be drawn: from its parent's, or from the
// viewport's for a world-relative lump.
void ComposeView(bzLump *lump, const bzViewport *v)
{
    if (lump->flags & BZ_LUMP_WORLD)
        bz_MulM34Into(&v->viewMatrix, &lump->worldMatrix, bz_Lump_GetMatrix(lump));
    else
        bz_MulM34Into(&lump->parent->worldMatrix, &lump->worldMatrix, &lump->matrix);
}

// The first of the siblings from lump on that is not registered (those are drawn through their
// own rooms) nor queued on its own.
bzLump *Unregistered(bzLump *lump)
{
    while (lump && (lump->roomLink || Queued(lump)))
        lump = lump->next;
    return lump;
}

// 1 when a queued lump that is not registered is drawn with the subtree of a queued ancestor not
// drawn yet: the nearest ancestor that is queued or registered decides (a registered one stops
// the drawing of the subtrees above it).
bool DrawnWithAncestor(const bzLump *lump)
{
    // A registered lump is drawn only through its own rooms.
    if (lump->roomLink)
        return false;
    for (const bzLump *a = lump->parent; a; a = a->parent)
    {
        if (Queued(a))
            return true;
        if (a->roomLink)
            return false;
    }
    return false;
}

// Draws the queued lump's subtree without recursion; the lump's view matrix is made.
void DrawTree(bzLump *top, bzViewport *v, bzPortalRenderStep step)
{
    bzLump *lump = top;
    while (lump)
    {
        bzLump *enter =
            (lump->flags & BZ_LUMP_ACTIVE) ? step(lump, v) : static_cast<bzLump *>(nullptr);
        bzLump *next = enter ? Unregistered(enter) : nullptr;
        // Next sibling, else the nearest ancestor's next sibling; the walk ends at the top.
        while (!next && lump != top)
        {
            next = Unregistered(lump->next);
            if (!next)
                lump = lump->parent;
        }
        if (!next)
            return;
        ComposeView(next, v);
        lump = next;
    }
}
} // namespace

namespace
{
// The cosine and sine of the camera's field of view and the viewport's aspect (1 when unset).
void ViewShape(const bzViewport *v, float *cs, float *sn, float *aspect)
{
    const bzCamera *c = v->camera->type == BZ_LUMP_TYPE_CAMERA
                            ? static_cast<const bzCamera *>(v->camera->object)
                            : nullptr;
    const float angle = (c ? c->fieldOfView : 45.0f) * kDegToRad;
    *cs = std::cos(angle);
    *sn = std::sin(angle);
    *aspect = v->aspect > 0.0f ? v->aspect : 1.0f;
}

// The corners of the view's cross-section one cosine ahead of the eye, in the world (the polygon
// the camera's room is seen through): 4, or 0 when the view is too wide to have one.
int32_t ViewRectangle(const bzViewport *v, const bzM34 *camera, bzV3 *corners)
{
    float cs, sn, a;
    ViewShape(v, &cs, &sn, &a);
    if (!(cs > 0.0f))
        return 0;
    const bzV3 local[4] = {
        {{{sn, sn / a, cs}}}, {{{-sn, sn / a, cs}}}, {{{-sn, -sn / a, cs}}}, {{{sn, -sn / a, cs}}}};
    for (int32_t i = 0; i < 4; i++)
        bz_M34_TransformPointInto(camera, &corners[i], &local[i]);
    return 4;
}
} // namespace

int32_t PortalsViewPlanes(const bzViewport *v, bzV3 *normals, bzV3 *eye)
{
    if (!v || !v->camera)
        return 0;
    bzM34 camera;
    bz_Lump_GetRelativeMatrix(&camera, v->camera, nullptr);
    float cs, sn, a;
    ViewShape(v, &cs, &sn, &a);
    // In camera space (looking along +z): |x| <= tan z and |y| <= tan z / aspect.
    bzV3 local[4] = {{{{cs, 0, sn}}}, {{{-cs, 0, sn}}}, {{{0, a * cs, sn}}}, {{{0, -a * cs, sn}}}};
    for (int32_t i = 0; i < 4; i++)
    {
        bz_V3_Normalise(&local[i]);
        bz_RotateV3Into(&camera, &normals[i], &local[i]);
    }
    *eye = camera.row[3];
    return 4;
}

void PortalsLumpWorldBox(bzLump *lump, bzBox *out)
{
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, lump, nullptr);
    bzBox box;
    bzV3 centre;
    float radius;
    if (!bz_Scene_GetModelBounds(bz_Lump_GetModel(lump), &box, &centre, &radius))
    {
        out->min = out->max = world.row[3];
        return;
    }
    for (int32_t k = 0; k < 8; k++)
    {
        const bzV3 corner = {{{(k & 1) ? box.max.x : box.min.x, (k & 2) ? box.max.y : box.min.y,
                               (k & 4) ? box.max.z : box.min.z}}};
        bzV3 p;
        bz_M34_TransformPointInto(&world, &p, &corner);
        if (k == 0)
            out->min = out->max = p;
        for (int32_t j = 0; j < 3; j++)
        {
            out->min.v[j] = std::fmin(out->min.v[j], p.v[j]);
            out->max.v[j] = std::fmax(out->max.v[j], p.v[j]);
        }
    }
}

int32_t bz_Portals_CameraRoom(bzLump *camera)
{
    if (!camera || !bz_Portals_GetWorld())
        return -1;
    const int32_t room = bz_Portals_RoomOfLump(camera);
    if (room >= 0)
        return room;
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, camera, nullptr);
    const int32_t found = bz_Portals_FindRoom(&world.row[3]);
    // A camera listed in no room keeps the room it was found in.
    if (room == -1)
        bz_Portals_StoreLumpRoom(camera, found);
    return found;
}

void bz_Portals_RenderRooms(bzViewport *v, bzPortalRenderStep step)
{
    gRoomsWalked = 0;
    gLumpsQueued = 0;
    gListLength = 0;
    gList[0] = 0;
    bzPortalWorld *w = bz_Portals_GetWorld();
    if (!w || !v || !v->camera || !step)
        return;
    Pass p{};
    p.world = w;
    p.v = v;
    const int32_t room = bz_Portals_CameraRoom(v->camera);
    if (room < 0 || room >= w->roomCount)
        return;
    bzV3 normals[4];
    PortalsViewPlanes(v, normals, &p.eye);
    // Lumps in no room are always drawn.
    ForEachListed(-1,
                  [&](bzLump *l)
                  {
                      if (!Queued(l))
                          Queue(p, l);
                  });
    bzM34 camera;
    bz_Lump_GetRelativeMatrix(&camera, v->camera, nullptr);
    p.back = {{{-camera.row[2].x, -camera.row[2].y, -camera.row[2].z}}};
    bzV3 view[4];
    const int32_t corners = ViewRectangle(v, &camera, view);
    WalkRoom(p, room, normals, 4, corners ? view : nullptr, corners, -1, 0);
    if (bz_Portals_ListingRooms())
        bz_ShowDebugMessage(BZ_PORTAL_LIST_SLOT, "%s", gList);
    // The step may put a lump on a render list of its own through the same link.
    for (bzLump *l = p.queued; l;)
    {
        bzLump *next = l->renderLink;
        l->flags &= ~BZ_LUMP_PORTAL_QUEUED;
        // Below a queued lump drawn later it is drawn with that one's subtree; below one drawn
        // already it was left out of it, being queued itself.
        if (DrawnWithAncestor(l))
        {
            l = next;
            continue;
        }
        // Its parent was not walked this frame: the view matrix comes from its world matrix.
        bzM34 world;
        bz_Lump_GetRelativeMatrix(&world, l, nullptr);
        bz_MulM34Into(&v->viewMatrix, &l->worldMatrix, &world);
        DrawTree(l, v, step);
        l = next;
    }
}

int32_t bz_Portals_LastPassRooms()
{
    return gRoomsWalked;
}

int32_t bz_Portals_LastPassLumps()
{
    return gLumpsQueued;
}

const char *bz_Portals_RoomListText()
{
    return gList;
}
