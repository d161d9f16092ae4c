// The records of lumps in rooms, shared by the lump hooks of the portal world and the tracking
// of lumps that move: a lump-room record for each room a lump lies in, and, for a lump that is
// tracked as it moves, one lump portal record with its position and its place on the moving list.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzPortalMover;

struct bzRoomLink
{
    bzLump *lump;
    bzBox box;              // the lump's box in its own space
    bzRoomLink *next;       // in the room's (or the unplaced) list
    bzRoomLink *prev;       //
    bzRoomLink *nextOfLump; // the lump's record of its next room
    int16_t room;           // -1 for none
    bzPortalMover *mover;   // the lump portal record of a tracked lump, or null
};

enum : uint8_t
{
    BZ_MOVER_SPANS = 0x1,      // the lump is spread into the rooms its box reaches
    BZ_MOVER_NOT_MOVING = 0x2, // taken off the moving list
    BZ_MOVER_UNTRACKED = 0x4,  // no position yet since it was placed
};

struct bzPortalMover
{
    bzLump *lump;
    bzBox box; // the lump's box in its own space
    uint8_t flags;
    bzPortalMover *next; // on the moving list
    bzPortalMover *prev; //
    bzV3 position;       // where the lump was last placed
    float safeRadius;    // how far it may move before its room is checked again
    bzPortalMover *nextAll;
};

// A new record of the lump in the room (-1: the unplaced list), linked into its list; null when
// memory runs out. Not chained on the lump.
bzRoomLink *PortalsNewRecord(bzLump *lump, const bzBox *box, int32_t room);
void PortalsLinkRecord(bzRoomLink *record);
// Moves the record to the room's list (-1 or a room beyond the rooms: the unplaced list).
void PortalsMoveRecord(bzRoomLink *record, int32_t room);
// The lump's box in its own space: its subtree's with children, else its model's, else empty.
void PortalsBoxOf(bzLump *lump, bzBox *out);
// Frees the lump's portal record (nothing when it has none) and every one of the world.
void PortalsFreeMover(bzLump *lump);
void PortalsFreeMovers();
