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
// destroyed. An octree chunk that is whole but does not fit the lumps read (its paths, faces or
// checksum not those of the loaded tree and models) is passed over: the lump is left without an
// octree and the load goes on. An unlisted flag byte or tag and a model that cannot be loaded raise
// the error report; in keep-alive mode reading goes on (the flag byte ignored, an unlisted tag read
// as a NULL lump without payload, the model lump left without object).
//
// Versions below 0x300 are the older layout, read by bz_Lump_Load. A "SKIN" record's model gets a
// new skin instance at its rest pose.
// "EMIT" records carry a particle system (scene/ParticleEmit.h); a payload that does not parse
// fails the load with 59.
//
// A model-load hook, when installed, is asked first for each model lump's model with the lump,
// the full path and the name; when it gives null the model is loaded by its full path.
//
// Extension chunks are skipped whole; a load given an extension hook hands each one to it first
// (the plain loads give none, so no hook outlives the load it was given for).
#pragma once

#include "core/Error.h"

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzFileHandle;

constexpr uint16_t BZ_CONTAINER_MAGIC = 0x2345;
constexpr uint16_t BZ_CONTAINER_VERSION = 0x300;
// The deepest nesting of records a container may hold (the root at depth 0).
constexpr int32_t BZ_CONTAINER_MAX_DEPTH = 256;

typedef bzModel *(*bzContainerModelHook)(bzLump *lump, const char *path, const char *name);
// Installs the hook (null removes it) and returns the previous one.
bzContainerModelHook bz_Lump_SetModelLoadHook(bzContainerModelHook hook);

// Called with each extension chunk's bytes (valid only during the call) and the lump whose
// record holds it, its children already read. The hook may read and change the lump, but must
// not destroy or detach it, nor start another container load.
typedef void (*bzContainerExtensionHook)(bzLump *lump, const uint8_t *data, uint32_t size,
                                         void *user);

// Reads a container held in memory; folder is the drive and directory the models are loaded
// from (may be empty). The root, or null with last-error 59 (damaged file), 58 (an older layout
// of a version not read), 19 (a model of the older layout that cannot be loaded) or 14 (no
// memory).
bzLump *bz_Lump_ReadContainer(const uint8_t *data, uint32_t size, const char *folder);
// The same, handing the extension chunks of the current layout to the hook (null: skipped).
bzLump *bz_Lump_ReadContainerWithExtensions(const uint8_t *data, uint32_t size, const char *folder,
                                            bzContainerExtensionHook hook, void *user);

// Loads path + ".CNT" (the path given without extension). Null with last-error 19 when the file
// cannot be opened or read, else as bz_Lump_ReadContainer.
bzLump *bz_Lump_LoadCNT(const char *path);
bzLump *bz_Lump_LoadCNTWithExtensions(const char *path, bzContainerExtensionHook hook, void *user);
// Load a container and attach its root as the first child of the parent (when one is given).
bzLump *bz_Lump_LoadCNTInto(bzLump *parent, const char *path);
bzLump *bz_Lump_LoadCNTUnder(bzLump *parent, const char *path);

// Writes the tree (transient lumps and their subtrees left out) as a container of version
// 0x300. 0; 29 for a null argument; 20 for a tree deeper than the reader takes or an octree
// naming a lump the container leaves out or that is not below its lump (nothing written); 19
// when the file cannot be opened or a write comes short (the octree chunk's included). Save flags
// other than 0 also save the models and materials the saved lumps use into the container's folder,
// through the models' services, once the container is written: 68 when no models are installed to
// do it (the container stays written), else the first error of a model or material that could not
// be written.
bzErrorCode bz_Lump_WriteContainer(bzFileHandle *file, bzLump *root);
bzErrorCode bz_Lump_SaveCNT(const char *path, bzLump *root, uint32_t saveFlags);

// The older layout (versions 0x202 to 0x2FF), read from the cursor after the magic and version
// words; the cursor is moved past what was read. Each record advances the loading progress by
// one step. The root; null with last-error 0 for a container of no records, 58 for a version
// outside that range, 59 for a damaged file, 19 when a model cannot be loaded (everything read
// so far destroyed). A skinned model (kind 3) inside a level-of-detail set is that level's model
// like a plain one: the LOD lump draws its levels unposed. Emitter records (kind 91) carry a
// particle system in the payload layout of the current one.
bzLump *bz_Lump_Load(const uint8_t **cursor, const uint8_t *end, const char *folder,
                     int32_t version);
// Shows a loading text ("Loading objects...") when installed; returns the previous one.
typedef void (*bzLumpLoadingDisplay)(const char *text);
bzLumpLoadingDisplay bz_Lump_SetLoadingDisplay(bzLumpLoadingDisplay display);

// Writes path + ".CNT" in the older layout, version 0x208: transient lumps left out, every
// lump with its kind, options, matrix, flag bits and depth, the LOD levels as level records, the
// root's octree. A level model that is skinned is written as a skinned record (kind 3). 0; 29
// for a null argument; 20 for more than 4,096 records, a tree deeper than the reader takes or
// a root octree naming a lump the file leaves out (nothing written); 19 when the file cannot be
// written. Emitters are written with their particle system (version 0x106 of its payload).
bzErrorCode bz_Lump_SaveLegacyCNT(bzLump *root, const char *path);
