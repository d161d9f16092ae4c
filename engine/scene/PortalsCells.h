// The room calculation's space cells and the operations on them, shared by the calculation, its
// rooms step and the split of the world by room. The cells live only during a calculation: a
// tree of axis-aligned boxes over the level, where a split cell keeps its children packed by the
// axes it is split along and an empty child slot stands for solid space (a small cell that held
// faces, released at once). Leaves keep the flood's queue link in their first child slot and the
// cell that reached them in the second.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzPortal;
struct bzRayOptions;

struct bzPortalCell
{
    bzPortalCell *children[8];
    bzBox box;
    bzPortalCell *parent;
    uint32_t flags;
    int16_t tag; // -1 none; a portal cell's portal; else the flooding side, portal * 2 + side
};

enum : uint32_t
{
    BZ_CELL_SPLIT = 0x7,   // split in two along x (0x1), y (0x2), z (0x4)
    BZ_CELL_EMPTY = 0x100, // holds no face
    BZ_CELL_INSIDE = 0x200,
    BZ_CELL_SMALL = 0x300, // a small empty cell, made with both bits
    BZ_CELL_PORTAL = 0x400,
    BZ_CELL_PORTALS = 0x800, // crossed by two or more portals
    BZ_CELL_EDGE = 0x1000,   // an edge of the portal polygon meets the cell
};

// A split cell is cut in two along every axis longer than this; an empty cell no longer along
// any axis than the refinement threshold is small.
constexpr float BZ_CELL_COARSE = 20.0f;
constexpr float BZ_CELL_FINE = 1.5f;
// The most cells one calculation makes; past it cells are left out (solid space).
constexpr uint32_t BZ_CELL_BUDGET = 1u << 20;
// The room of a face list of the level query.
constexpr int32_t BZ_CELL_FACE_LIST = 10000;
// The most rooms, and the most portals a room lists: the file form's 16-bit counts.
constexpr int32_t BZ_PORTAL_MAX_ROOMS = 0x7FFF;
constexpr int32_t BZ_PORTAL_MAX_ROOM_PORTALS = 0x7FFF;

// The calculation's state: the cells made, what ran short, the finest extents and the points.
struct bzPortalWork
{
    int32_t cellPool;        // pool id, 0 for none
    uint32_t cells;          // cells taken
    void *faceList;          // the level query's list
    float threshold;         // 1.5; a quarter of it while a refinement classifies
    bzV3 finest;             // extents of the last small cell found solid
    int32_t pointCount;      // room points added
    int32_t roomCapacity;    // of the world's room array
    int32_t *portalCapacity; // of each room's portal list
    bzErrorCode shortage;    // 14 when cells or memory ran out, 20 when a cap was reached
    bzPortalCell *root;
};
bzPortalWork &PortalsWork();

// Cells.
bzPortalCell *PortalNewCell(bzPortalCell *parent, const bzBox *box);
void PortalFreeCell(bzPortalCell *cell);
int32_t PortalSlotCount(const bzPortalCell *cell);
// The part of the cell's box that a child slot covers.
void PortalSlotBox(const bzPortalCell *cell, int32_t slot, bzBox *out);
void PortalCellCentre(const bzPortalCell *cell, bzV3 *out);

bzPortalCell *PortalSubdivideCell(bzPortalCell *cell, bzLump *root);
// count: the faces of the list, or -1 when the list could not hold them all (each child then
// gathers its own).
bzPortalCell *PortalClassifyCell(bzPortalCell *cell, bzLump *root, const void *list, int32_t count);
void PortalMarkInsideCells(bzPortalCell *cell, bzPortalCell *rootCell, bzLump *root,
                           const bzRayOptions *options);
int32_t PortalBoxTouchesSolid(const bzBox *box, const bzPortalCell *cell);
int32_t PortalCellCrossesPortal(const bzBox *box, const bzPortal *portal, int32_t *edge);
int32_t PortalMarkPortalCells(bzPortalCell *cell, int32_t portal);
int32_t PortalRefineCells(bzPortalCell *cell, int32_t portal, bzPortalCell *rootCell);

// Rooms.
void PortalSeedRooms(bzPortalCell *cell, int32_t portal, bzPortalCell *rootCell);
void PortalFloodFromCell(bzPortalCell *node, const bzBox *box, int32_t portal,
                         bzPortalCell *rootCell);
void PortalFloodCells(bzPortalCell *node, const bzBox *box, int32_t tag, bzPortalCell *queue,
                      bzPortalCell *predecessor);
void PortalsJoinSides(int32_t portal1, int32_t side1, int32_t portal2, int32_t side2);
void PortalsGrowRoomBoxes();
void PortalsCollectRoomPoints(bzPortalCell *rootCell);
// The room of a side tag (portal * 2 + side), BZ_PORTAL_NO_ROOM for none.
uint16_t PortalsRoomOfTag(int32_t tag);

// Point lookups.
bzPortalCell *PortalCellAtPoint(bzPortalCell *cell, const bzV3 *point, bzBox *boxOut);
bzPortalCell *PortalInsideCellAtPoint(bzPortalCell *cell, const bzV3 *point);
