// The options of the ray and segment queries, shared by the lump-tree queries and the octree
// queries: a flag word with three mask and value pairs over a lump's query flags and a
// material's ray-class word. A filter accepts when (word AND mask) equals value; a null record
// means all defaults.
#pragma once

#include <cstdint>

enum : uint32_t
{
    BZ_RAY_LUMP_FILTER = 0x01,     // a lump's own model (an octree entry or object) only when
                                   // its query flags pass the lump mask and value
    BZ_RAY_MATERIAL_FILTER = 0x02, // a face only when its material's ray class passes
    BZ_RAY_SIDES_OVERRIDE = 0x04,  // the side rule comes from the options, not the materials
    BZ_RAY_TWO_SIDED = 0x08,       // with the override: faces are two-sided
    BZ_RAY_BOX_ONLY = 0x10,        // lumps passing the box mask and value are hit by their box
    BZ_RAY_FIRST_HIT = 0x20,       // the query ends at the first accepted hit
    BZ_RAY_NO_OCTREE_FACES = 0x40, // an octree's static faces are not tested, only its objects
};

struct bzRayOptions
{
    uint32_t flags;
    uint32_t materialMask;
    uint32_t materialValue;
    uint32_t lumpMask;
    uint32_t lumpValue;
    uint32_t boxMask;
    uint32_t boxValue;
};

// The limit of a query's distance: FLT_MAX for an unbounded ray, a little past the end for a
// segment, so that a face the segment's end touches is hit.
constexpr float BZ_SEGMENT_LIMIT = 1.00001f;
