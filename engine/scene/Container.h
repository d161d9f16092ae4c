// Lump containers: the ".CNT" files that hold one tree of lumps (levels, body forms, props,
// front-end scenes). The current layout, version 0x300: the u16 magic 0x2345, the u16 version,
// then the root lump record; a record holds the 16 name bytes, flag bytes ended by 0, the user
// word, the parent-relative matrix (four rows of three f32), the type's four-character tag and
// payload, the child count and the children, then chunks (1 the octree, 0xFFFFFFFF an
// extension of a given size, 0 the end; any other code is a lone word).
//
// The reader parses the whole file in memory through a bounded cursor: a file cut short, a
// count the remaining bytes cannot hold, a payload that does not parse or nesting deeper than
// BZ_CONTAINER_MAX_DEPTH fails the load (null, last-error 59) with every lump made so far
// destroyed. An unlisted flag byte or tag and a model that cannot be loaded raise the error
// report; in keep-alive mode reading goes on (the flag byte ignored, an unlisted tag read as a
// NULL lump without payload, the model lump left without object).
//
// Not read yet: the older layouts (versions below 0x300, refused with 58) and "SKIN" records
// (refused with 68 until skin instances can be read). "EMIT" records carry a particle system
// (scene/ParticleEmit.h); a payload that does not parse fails the load with 59.
#pragma once

#include "core/Error.h"

#include <cstdint>

struct bzLump;
struct bzFileHandle;

constexpr uint16_t BZ_CONTAINER_MAGIC = 0x2345;
constexpr uint16_t BZ_CONTAINER_VERSION = 0x300;
// The deepest nesting of records a container may hold (the root at depth 0).
constexpr int32_t BZ_CONTAINER_MAX_DEPTH = 256;

// Reads a container held in memory; folder is the drive and directory the models are loaded
// from (may be empty). The root, or null with last-error 59 (damaged file), 58 (older layout),
// 68 (a payload kind not read yet) or 14 (no memory).
bzLump *bz_Lump_ReadContainer(const uint8_t *data, uint32_t size, const char *folder);

// Loads path + ".CNT" (the path given without extension). Null with last-error 19 when the file
// cannot be opened or read, else as bz_Lump_ReadContainer.
bzLump *bz_Lump_LoadCNT(const char *path);
// Load a container and attach its root as the first child of the parent (when one is given).
bzLump *bz_Lump_LoadCNTInto(bzLump *parent, const char *path);
bzLump *bz_Lump_LoadCNTUnder(bzLump *parent, const char *path);

// Writes the tree (transient lumps and their subtrees left out) as a container of version
// 0x300. 0; 29 for a null argument; 68 for save flags other than 0 or a lump whose payload
// cannot be written yet (particle emitters); 20 for a tree deeper than the reader takes; 19 when
// the file cannot be opened or a write comes short.
bzErrorCode bz_Lump_WriteContainer(bzFileHandle *file, bzLump *root);
bzErrorCode bz_Lump_SaveCNT(const char *path, bzLump *root, uint32_t saveFlags);
