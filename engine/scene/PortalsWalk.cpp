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
// The most PORTALS_ROOT lumps one pass looks through, and the longest chain of portals it
// follows (each step holds its planes and its clipped polygon on the stack).
constexpr int32_t kMaxRoots = 32;
constexpr int32_t kMaxDepth = 64;
constexpr size_t kListChars = 252;

struct Pass
{
    bzPortalWorld *world;
    bzViewport *v;
    bzLump *roots[kMaxRoots];
    int32_t rootCount;
    bzV3 eye;
    bzLump *queued; // chained through the render links, latest first
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

// Calls fn for every registered lump below the roots (the roots included).
template <typename Fn> void ForEachRegistered(const Pass &p, Fn fn)
{
    for (int32_t i = 0; i < p.rootCount; i++)
        for (bzLump *l = p.roots[i]; l; l = bz_Lump_NextPreOrder(l, p.roots[i]))
            if (l->roomLink)
                fn(l);
}

void ListRoom(int32_t room)
{
    if (!bz_Portals_ListingRooms())
        return;
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d,", room);
    // A list that would overflow keeps what it has.
    if (n <= 0 || gListLength + static_cast<size_t>(n) > kListChars)
        return;
    std::memcpy(gList + gListLength, text, static_cast<size_t>(n) + 1);
    gListLength += static_cast<size_t>(n);
}

void WalkRoom(Pass &p, int32_t room, const bzV3 *normals, int32_t count, int32_t entryPortal,
              int32_t depth)
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
    ForEachRegistered(p,
                      [&](bzLump *l)
                      {
                          if (!Queued(l) && bz_Portals_IsLumpInRoom(l, room))
                              QueueIfSeen(p, l, normals, count);
                      });
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
        const int32_t planeCount = PortalEdgePlanes(clipped, n, &p.eye, planes);
        WalkRoom(p, other, planes, planeCount, index, depth + 1);
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

int32_t PortalsViewPlanes(const bzViewport *v, bzV3 *normals, bzV3 *eye)
{
    if (!v || !v->camera)
        return 0;
    bzM34 camera;
    bz_Lump_GetRelativeMatrix(&camera, v->camera, nullptr);
    const bzCamera *c = v->camera->type == BZ_LUMP_TYPE_CAMERA
                            ? static_cast<const bzCamera *>(v->camera->object)
                            : nullptr;
    const float angle = (c ? c->fieldOfView : 45.0f) * kDegToRad;
    const float cs = std::cos(angle), sn = std::sin(angle);
    const float a = v->aspect > 0.0f ? v->aspect : 1.0f;
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
    return bz_Portals_FindRoom(&world.row[3]);
}

void bz_Portals_RenderRooms(bzViewport *v, bzLump *roots, bzPortalRenderStep step)
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
    for (bzLump *l = roots; l && p.rootCount < kMaxRoots; l = l->renderLink)
        p.roots[p.rootCount++] = l;
    const int32_t room = bz_Portals_CameraRoom(v->camera);
    if (room < 0 || room >= w->roomCount)
        return;
    bzV3 normals[4];
    PortalsViewPlanes(v, normals, &p.eye);
    // Lumps in no room are always drawn.
    ForEachRegistered(p,
                      [&](bzLump *l)
                      {
                          if (!Queued(l) && bz_Portals_IsLumpInRoom(l, -1))
                              Queue(p, l);
                      });
    WalkRoom(p, room, normals, 4, -1, 0);
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
