// What the octree's files share among themselves and with nobody else.
#pragma once

#include "scene/Octree.h"

// A zeroed record of the root lump, tagged; null (last-error 14) when memory runs out.
bzOctree *OctreeAllocRecord(bzLump *root);
// Keeps a copy of the placement and its inverse in the shared 48-byte pool; false when the
// pool is exhausted. A singular placement marks the entry's faces as never hit.
bool OctreeSetEntryMatrix(bzOctreeEntry *entry, const bzM34 *matrix);
// The reference a running query visits next in an object list, moved on when the reference
// it names is unlinked.
extern bzOctreeObjectRef *gOctreeCursor;
