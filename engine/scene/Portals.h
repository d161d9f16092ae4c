// Rooms and portals: an optional visibility structure for indoor levels. The world is divided
// into rooms joined by portals (convex polygons in a plane). This module holds the one global
// portal world, its binary file form, the point-in-room lookup, the ray test against the
// portals and the two console commands. While no world is loaded every lookup answers "no room".
//
// The binary portal world, little-endian, field by field: i32 0; i16 portal count; i16 total
// vertex count; per portal its plane (4 f32), centre (3 f32), radius (f32), i16 vertex count,
// the vertices (3 f32 each), u16 room A, u16 room B; i16 room count; i16 total portal
// references; i16 total room points; per room an i16 portal count (-1 for a dead room, which
// has no indices), that many u16 portal indices, an i16 point count, the points (3 f32 each),
// the box minimum and maximum (3 f32 each). Opaque portals are not written: the counts cover the
// others, and an index naming an opaque portal is written 0xFFFF.
//
// The reader takes nothing on trust: a count that is negative, that the remaining bytes cannot
// hold, or that disagrees with the totals, a vertex count below 3, a room of a portal or a
// portal index outside its table (0xFFFF aside) refuse the file with 59.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzFileHandle;
struct bzRoomLink;

constexpr uint16_t BZ_PORTAL_NO_ROOM = 0xFFFF;
constexpr uint8_t BZ_PORTAL_OPAQUE = 0x1;
constexpr int32_t BZ_PORTAL_PARAMETER_WORDS = 7;

struct bzPortal
{
    int16_t vertexCount;
    uint8_t flags;  // BZ_PORTAL_OPAQUE
    uint16_t roomA; // BZ_PORTAL_NO_ROOM for none
    uint16_t roomB; //
    bzV3 *vertices; // the convex polygon, in order
    bzPlane plane;  // n . p = d; the normal follows the winding of the first three vertices
    bzV3 centre;    // mean of the vertices
    float radius;   // largest distance from the centre to a vertex
};

// A point of a room, chained.
struct bzPortalPoint
{
    bzV3 position;
    bzPortalPoint *next;
};

struct bzPortalRoom
{
    int16_t portalCount;   // -1 for a dead room (joined into another)
    uint16_t *portals;     // portal indices
    int32_t staticCount;   // the room's fixed lumps
    bzLump **staticLumps;  //
    uint8_t visited;       // set while the render pass is inside the room
    void *dynamicLumps;    // records of registered lumps in the room
    bzPortalPoint *points; // points known to lie in the room
    bzBox box;
};

struct bzPortalWorld
{
    int32_t roomCount;
    bzPortalRoom *rooms;
    int32_t portalCount;
    bzPortal *portals;
    void *movingLumps;
    bzLump *rootLump;
    uint32_t parameters[BZ_PORTAL_PARAMETER_WORDS]; // flags (bits 2 and 3 set), ..., lump filter
    void *unplacedLumps;
};

// The loaded world, or null.
bzPortalWorld *bz_Portals_GetWorld();
// Frees the loaded world (nothing when none).
void bz_Portals_FreeWorld();

// Reads a portal world from the file's current position and makes it the loaded one, keeping
// the seven parameter words (flags OR 12; zeros when none given) and the root lump; each room's
// portal list is sorted by the room on the other side (portals leading nowhere last, equal ones
// in file order) and the console commands are registered. 0; 59 for a
// damaged file (the loaded world then unchanged); 14 when memory runs out; 29 for no file.
bzErrorCode bz_Portals_Read(bzLump *root, const uint32_t *parameters, bzFileHandle *file);
// Makes the world (allocated through the memory manager, its arrays child blocks of it) the
// loaded one, freeing the one before; registers the console commands and the lump hooks.
void bz_Portals_SetWorld(bzPortalWorld *world);

// The most vertices a portal polygon of a description may have.
constexpr int32_t BZ_PORTAL_MAX_VERTICES = 64;
// Reads a portal description text and makes a world of its portals (no rooms yet; they come from
// the room calculation): the first line the portal count (heading lines in angle brackets before
// it are passed over); per portal a line of the plane (normal, d), a line of the vertex count, or
// "Opaque" and then that line, and a line of three numbers per vertex; numbers apart by commas,
// spaces or tabs. The centre and radius are derived, and the plane is turned to follow the winding
// of the first three vertices. 0; -1 when the file cannot be opened; 59 for a malformed text (a
// count that does not read, below 3 or above the maximum vertices, a short line or text); 14.
bzErrorCode bz_Portals_ReadDescription(const char *fileName, bzLump *root,
                                       const uint32_t *parameters);

// --- The room calculation, the split world and lumps that move between rooms -----------------
//
// The calculation needs the faces of the level, which the collision layer gives through the
// table of scene/PortalFaceServices.h. Rooms and room portal lists grow as needed, up to the
// 16-bit counts of the binary world (32767 rooms, 32767 portals in one room's list); what
// would pass them is left out and reported.

// Reads a portal description (bz_Portals_ReadDescription), calculates its rooms with the level
// below root (bz_Portals_Calculate) and sorts the rooms' portal lists. 0; -1 when the file cannot
// be opened; 59 for a malformed text; else what the calculation reports.
bzErrorCode bz_Portals_LoadText(const char *fileName, bzLump *root, const char *outputName,
                                const uint32_t *parameters);
// Calculates the rooms of the loaded world's portals with the level below root (its model lumps
// passing the lump filter of the parameter words), replacing rooms calculated before; with an
// output name, also splits and saves the world by room. 0; 29 with no world or root; 77 when the
// level has no box to divide; 14 when cells or memory ran out, 20 when a room or a room's portal
// list would pass its cap (the calculation then goes on without what could not be made), or what
// the split reports.
bzErrorCode bz_Portals_Calculate(const uint32_t *parameters, const char *outputName, bzLump *root);
// Sorts every room's portal list by the room on the other side (see bz_Portals_Read).
void PortalsSortRoomPortals(bzPortalWorld *world);
// Whether origin + t delta, t in [0, limit], crosses the portal's polygon (its t through t).
int32_t PortalRayHit(const bzPortal *portal, const bzV3 *origin, const bzV3 *delta, float limit,
                     float *t);
// The rooms of the portals near the triangle (two entries, room A and room B, for each portal its
// edges cross or each portal edge that crosses it), written into rooms up to capacity, followed
// by BZ_PORTAL_NO_ROOM when there is space for it. The number of entries found, which may be
// more than were written.
int32_t PortalsTriangleRooms(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2, uint16_t *rooms,
                             int32_t capacity);
// The room the point is in after the segment from the other end, given the room of that end:
// through the room's portal the segment crosses, else the room itself; -1 beyond a portal that
// leads nowhere.
int32_t PortalsRoomAfterSegment(const bzV3 *point, const bzV3 *other, int32_t room);

// Splits the level's model lumps (those passing the lump filter) into one model per room, each
// face going to every room it lies in, under a new lump "SplitWorld" with one MODEL lump "Room%d"
// per room that has faces and an octree, and saves it as a container named after the output
// name's folder followed by "split\split". The lump, or null (last error set).
bzLump *bz_Portals_SplitAndSave(bzLump *root, const char *outputName);
// Binds a loaded split world: each room's "Room%d" lump below the lump is registered in its room.
// 0 when fewer than half the rooms have one; else the lump becomes a PORTALS_ROOT lump, 1.
int32_t bz_Portals_BindSplitWorld(bzLump *lump);

// The view cone through a portal as a closed chain of edges, each a byte pair (vertex, plane):
// vertex indices number the directions from the eye to the current polygon's vertices (nA), then
// to the portal polygon's (nB), then new directions appended as crossings are made; plane i of a
// polygon passes through the eye and the edge ending at vertex i (from the previous vertex), its
// normal cross(previous, vertex) negated when the polygon's winding flag is set, so that a
// direction n . v > 0 lies outside it. The chain starts from the polygon with more vertices (the
// current one on a tie; a portal chain runs backwards when the winding flags differ), drops the
// edges whose plane cannot be made or whose normal has no positive dot product with the camera's
// z axis (the third row of its matrix), and is clipped by the other polygon's planes in turn; a
// crossing of two planes that are not neighbours in one polygon is a new direction, on the side
// of the polygons' own directions.
struct bzPortalConeEdge
{
    uint8_t vertex;
    uint8_t plane;
};
constexpr int32_t BZ_PORTAL_CONE_EDGES = 64;
// directions holds nA + nB directions and room for BZ_PORTAL_CONE_EDGES more; *directionCount
// (in: nA + nB) grows by the crossings made. The number of chain entries left (0 when the polygons
// leave nothing, or are more than the chain holds).
int32_t PortalReduceEdgePlanes(bzV3 *directions, int32_t *directionCount, int32_t nA,
                               int32_t windingA, int32_t nB, int32_t windingB, const bzV3 *cameraZ,
                               bzPortalConeEdge *chain);
// The normalised cross product a x b (negated when asked) into out: 0 when its squared length is
// at most 9.999999e-9 |a|^2 |b|^2, else 1.
int32_t PortalCrossNormal(const bzV3 *a, const bzV3 *b, int32_t negate, bzV3 *out);
// The winding flag of a polygon given by the directions from the eye to its vertices: 1 when the
// planes cross(previous, vertex) face its middle (and are negated to face out), else 0; taken from
// its first edge whose plane can be made.
int32_t PortalWinding(const bzV3 *directions, int32_t count);

// Lumps that move. A tracked lump (lump flag BZ_LUMP_IN_PORTALS) has a portal record with its
// box, its last position and a safe radius within which it cannot have left its room; tracked
// lumps are re-placed from the moving list each frame unless they were taken off it.
//
// Registers the lump: with records already, adds one for the room; otherwise makes it tracked,
// placed in the room of its box centre (placed by its matrix), and attaches it below the level's
// root when it has no parent. 1, or 0 without a world or when memory runs out.
int32_t bz_Portals_RegisterLump(bzLump *lump, int32_t room);
// One more record of the lump in the room (-1: the unplaced list), chained after its first.
bzRoomLink *bz_Portals_AddLumpRecord(bzLump *lump, int32_t room);
// Tracks a moved lump: its new position is its box centre placed by its matrix; a lump in no
// room looks its room up (kept in none with a safe radius of 5.0 when there is none); a lump
// that moved farther than its safe radius follows the portal its path crossed into the room on
// the other side; the safe radius becomes the distance to the room's nearest portal less 0.01.
void bz_Portals_TrackLump(bzLump *lump);
// A tracked lump known to be in a new room (ignored when negative or the same); an untracked one
// is registered there.
void bz_Portals_LumpMoved(bzLump *lump, int32_t room);
// Takes the lump off the moving list, and puts it back.
void bz_Portals_LumpStaysPut(bzLump *lump);
void bz_Portals_LumpMovesAgain(bzLump *lump);
// Re-places every lump on the moving list, passing over those whose rigid body is at rest by the
// installed test (none installed: none is).
void bz_Portals_ReplaceMovingLumps();
void bz_Portals_SetRestTest(int32_t (*atRest)(const void *dynamicsObject));
// Places a tracked lump in the room (its position and safe radius cleared), spread into the rooms
// its box reaches when it spans rooms.
void bz_Portals_PlaceInRoom(bzLump *lump, int32_t room);
// Sets or clears the spanning of a tracked lump; set, a lump in a room is spread at once.
void bz_Portals_SetSpansRooms(bzLump *lump, int32_t on);
// Adds records for the rooms next to the record's room (the lump's first record when null)
// whose portals the lump's box reaches: by a sphere of the box's reach (at least minRadius) about
// the lump's origin, or about the position (in the lump's space) when given; exact adds a test
// of the box against the portal polygon. A portal that leads nowhere gives a record on the
// unplaced list. The number of records added.
int32_t PortalsSpreadLump(bzLump *lump, bzRoomLink *record, float minRadius, int32_t exact,
                          const bzV3 *position);
// Places a tracked lump in the room of its box centre (or its matrix's translation).
void PortalsReplaceLump(bzLump *lump);
// The number of tracked lumps on the moving list.
int32_t bz_Portals_CountMovingLumps();

// Writes the loaded world: 0; 29 with no world or file; 19 when a write comes short; 20 when the
// counts do not fit the file's 16-bit fields.
bzErrorCode bz_Portals_Write(bzFileHandle *file);

// The nearest portal (other than the excluded index, -1 for none) whose polygon the ray crosses:
// +1 when the ray runs against its normal, -1 with it, 0 when none; bestT and portalIndex are
// written only on a hit. A ray's t starts unbounded, a segment's (flag 0) at 1.0001.
int32_t bz_Portals_RayCross(const bzRay *ray, float *bestT, int32_t excluded, int32_t *portalIndex);
// The room holding the point: a room whose box holds it (minimum inclusive, maximum exclusive),
// among several the first whose nearest facing portal is reached from the point without
// crossing another portal or a face of the level; -1 for none.
int32_t bz_Portals_FindRoom(const bzV3 *point);
// 1 when nothing (no other portal, no face of the level) lies between the point and the centre
// of the room's best facing portal, or the room has no such portal; else 0.
int32_t PortalsPointInRoom(int32_t room, const bzV3 *point);

// The portal of the room that a segment from inside first crosses (t in [0, 1.0000001], its t
// through outT), or -1.
int32_t PortalsSegmentExit(int32_t room, const bzV3 *from, const bzV3 *to, float *outT);
// The smallest distance from the point to the room's portals: for each, the larger of its plane
// distance and its centre distance less its radius; FLT_MAX for a room without portals.
float PortalsNearestPortalDistance(int32_t room, const bzV3 *point);

// The render pass's geometry. Planes pass through the eye and are given by their normals; a point
// p is in front of one when normal . (p - eye) > 0.
constexpr int32_t BZ_PORTAL_MAX_PLANES = 64;
constexpr int32_t BZ_PORTAL_MAX_CLIP = BZ_PORTAL_MAX_VERTICES + BZ_PORTAL_MAX_PLANES;
// 1 when, for every plane, the box's corner farthest along the normal lies strictly in front.
int32_t PortalBoxInFrustum(const bzBox *box, const bzV3 *normals, int32_t count, const bzV3 *eye);
// Clips the polygon to the front of one plane (points on it kept) into out, which holds
// count + 1 vertices: the vertices left, 0 when fewer than 3 are.
int32_t PortalClipPolygon(const bzV3 *in, int32_t count, bzV3 *out, const bzV3 *normal,
                          const bzV3 *eye);
// Clips the polygon to every plane in turn into out (BZ_PORTAL_MAX_CLIP vertices): the count
// left, 0 when nothing is (or the polygon or the planes are more than the buffers hold).
int32_t PortalClipToFrustum(const bzV3 *in, int32_t count, const bzV3 *normals, int32_t planeCount,
                            const bzV3 *eye, bzV3 *out);
// The planes through the eye and each edge of the polygon, facing its inside: the planes of the
// cone reduction (PortalCrossNormal of the unit directions to the edge's ends, by the polygon's
// winding) turned round; an edge seen end-on gives none. The number of planes (0 for a polygon
// of fewer than 3 or more than BZ_PORTAL_MAX_CLIP vertices).
int32_t PortalEdgePlanes(const bzV3 *polygon, int32_t count, const bzV3 *eye, bzV3 *normals);

// The on-screen debug line the render pass lists the rooms it walks in.
constexpr int32_t BZ_PORTAL_LIST_SLOT = 5;
// Registers "bz_Portals" (the portal-calculation switch, on at start) and "bz_ListPortalRooms"
// (room listing, off at start) with the console, once. With no argument each prints its state;
// "0" or "1" sets it; anything else prints "Incorrect Parameters" and changes nothing. Turning
// the listing off clears its on-screen line.
void bz_Portals_RegisterCommands();
int32_t bz_Portals_IsOn();
// Room listing: 0 off, 1 on, 2 on with the last list cut short (it would have overflowed).
int32_t bz_Portals_ListingRooms();
// Turns room listing that is on to state 2.
void bz_Portals_RoomListOverflowed();

// Lumps in rooms. Each child of the lump not yet registered gets a record of the room that holds
// its box centre (its subtree's box with children, else its model's, placed by its matrix),
// linked into that room's dynamic lumps or the world's unplaced lumps, and reached through the
// child's room link. The number registered; 0 without a world.
int32_t bz_Portals_RegisterChildren(bzLump *lump);
// The room of the lump's first record, -1 for none; -2 for a lump that has no record.
int32_t bz_Portals_RoomOfLump(const bzLump *lump);
// 1 when one of the lump's records is of the room.
int32_t bz_Portals_IsLumpInRoom(const bzLump *lump, int32_t room);
// The lumps listed in a room (-1: the unplaced ones).
int32_t bz_Portals_CountRoomLumps(int32_t room);
// The records of a room's list (-1: the unplaced lumps) in list order: the first (null without a
// world, for an empty list or a room beyond the rooms), the next one, and the lump of a record.
const bzRoomLink *bz_Portals_FirstRoomRecord(int32_t room);
const bzRoomLink *bz_Portals_NextRoomRecord(const bzRoomLink *record);
bzLump *bz_Portals_RecordLump(const bzRoomLink *record);
// Moves the first record of a lump listed in no room to the room's list: 1, or 0 when the lump
// has no record, its record has a room already, or the room does not exist.
int32_t bz_Portals_StoreLumpRoom(bzLump *lump, int32_t room);
// What a destroyed lump does: its portal flag cleared, its records unlinked and freed.
void bz_Portals_LumpDestroyed(bzLump *lump);
void bz_Portals_FreeLumpRecords(bzRoomLink *chain);
// Frees every record of the world and clears the room links of their lumps.
void bz_Portals_ReleaseLumps(bzPortalWorld *world);
// Installs the portal hooks of lump destroy (a loaded world does it).
void bz_Portals_InstallLumpHooks();

// ---------------------------------------------------------------------------------------
// The portal render pass (scene/PortalsWalk.cpp), run by the render walk for the PORTALS_ROOT
// lumps it collected instead of walking their subtrees. From the camera's room, every room seen
// through a chain of portals inside the view frustum is walked; each of its fixed lumps and each
// registered lump listed in it whose box passes the planes of the way in is queued once, however
// many ways it is seen by; then each queued lump is drawn, subtree and all, through the render
// walk's own step with the same viewport. Registered lumps below a queued lump are drawn only
// through their own rooms. Lumps listed in no room are always drawn; a camera in no room draws
// nothing. Nothing is taken from the system heap.
struct bzViewport;
// The render walk's step for one lump whose view matrix is made: the lump to enter next (its
// first child), or null to leave its children out.
typedef bzLump *(*bzPortalRenderStep)(bzLump *lump, bzViewport *v);
// The registered lumps are taken from the rooms' lists. A camera listed in no room keeps the room
// its position is found in. Nothing without a world, a camera or a step.
void bz_Portals_RenderRooms(bzViewport *v, bzPortalRenderStep step);
// The camera's room for the pass: the room of its first record, else the room that holds its
// position; -1 for none.
int32_t bz_Portals_CameraRoom(bzLump *camera);
// The four planes through the eye of the viewport's camera (left, right, bottom, top; normals
// facing inwards, in the world) and the eye: 4, or 0 without a camera.
int32_t PortalsViewPlanes(const bzViewport *v, bzV3 *normals, bzV3 *eye);
// The lump's box in the world: its model's box placed by its world matrix, or the point of its
// position for a lump without a model.
void PortalsLumpWorldBox(bzLump *lump, bzBox *out);
// The rooms the last pass walked (a room seen by two ways counts twice), the lumps it queued,
// and the room list text of room listing ("%d," per room walked).
int32_t bz_Portals_LastPassRooms();
int32_t bz_Portals_LastPassLumps();
const char *bz_Portals_RoomListText();
