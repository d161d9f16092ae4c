// What the portal room calculation asks of the collision layer: face lists of the level's model
// lumps. The calculation only needs to know whether faces reach into a box, and to narrow a
// list to a smaller box; the collision layer installs the table (the start-up does it), and a
// test may install its own. With no table installed every query finds no faces.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;

struct bzPortalFaceServices
{
    // A face list with room for capacity faces (a narrowed list may hold references into the
    // list it was narrowed from), or null; and its release.
    void *(*createList)(int32_t capacity);
    void (*freeList)(void *list);
    // Empties the list and gathers into it the faces of the model lumps of the tree below root
    // whose query flags pass the filter ((flags AND mask) = value) and that meet the box
    // (touching counts), faces the collision layer marks as excluded left out: the number kept,
    // or -1 when the list could not hold them all.
    int32_t (*gather)(void *list, const bzBox *box, bzLump *root, uint32_t mask, uint32_t value);
    // Empties the destination and copies into it the faces of the source that meet the box: the
    // number copied, or -1 when the destination could not hold them all.
    int32_t (*narrow)(void *destination, const void *source, const bzBox *box);
};

// Installs a table (copied); null removes it.
void bz_Portals_SetFaceServices(const bzPortalFaceServices *services);
// The calls through the table. Without a table (or entry): no list, no faces.
void *bz_Portals_CreateFaceList(int32_t capacity);
void bz_Portals_FreeFaceList(void *list);
int32_t bz_Portals_GatherFaces(void *list, const bzBox *box, bzLump *root, uint32_t mask,
                               uint32_t value);
int32_t bz_Portals_NarrowFaces(void *destination, const void *source, const bzBox *box);
