// Rag-doll bone lumps: up to eight lumps of a skinned lump's subtree, each bound to a physics
// body, that dictate the rotation of their bone while the character is physics-driven. The
// table of which lump id plays which bone belongs to the skeleton; linking a skin instance to
// the lumps and unlinking it are recorded for the action replay and played back in either
// direction.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;

struct bzBoneLumpTable
{
    int32_t count;
    uint8_t lumpId[8];
    uint8_t bone[8];
    const bzQuat *orientation[8];
};

// What the skeletons use of the action replay. recording answers 1 when events are to be
// recorded (replay level above 2, recording on, playback off).
struct bzSkeletonReplayServices
{
    void *(*createSession)(const char *name, uint32_t eventSize,
                           void (*apply)(const void *event, bzLump *lump, int32_t direction));
    int32_t (*recording)();
    void *(*takeChunk)(void *session);
    void (*writeEvent)(void *chunk, const void *event, bzLump *key);
    void (*commitChunk)(void *chunk);
};
// Installs the replay's table (copied; null removes it and forgets the session).
void bz_Skeleton_SetReplayServices(const bzSkeletonReplayServices *services);

// The replay event of a link or an unlink: the eight bone-lump slots, the first marked in bit 0
// for an unlink.
struct bzBoneLumpEvent
{
    uintptr_t slots[8];
};

// Adds a table entry: the bone found by name is played by the lump of the id (orientation by
// the id: 4 and 5 have their own). Nothing for a bone already in the table. 0, 29 for a lump
// without skeleton, no such bone or a full table, 14 without memory.
int32_t bz_Skeleton_AddBoneLump(bzLump *lump, const char *boneName, uint8_t lumpId);
// Fills the instance's bone-lump slots from the lump's subtree (the first lump of each entry's
// id, depth first), marks the instance linked and records the link. Nothing when linked.
void bz_Skeleton_LinkBoneLumps(bzLump *lump);
// Records the unlinking and clears the linked mark.
void bz_Skeleton_RecordReplay(bzLump *lump);
// The replay session's apply operation: an event whose unlink mark differs from the direction
// of play (negative: backwards) poses the instance once and unlinks it; otherwise the slots
// are restored and the instance linked.
void bz_Skeleton_ApplyBoneLumpEvent(const void *event, bzLump *lump, int32_t direction);
// 1 when the bone lump of the bone's entry is linked and active; its rotation in the skinned
// lump's frame, combined with the entry's orientation, then in out.
int32_t bz_Skeleton_BoneLumpRotation(bzLump *lump, int32_t bone, bzQuat *out);
// What the skeletons use of the dynamics: a view of a lump's rigid body (its dynamicsObject),
// filled by the dynamics layer. pose is the body's pose matrix (world), centre its centre of
// mass (world) and centreOffset the centre of mass in the body's own frame; each null when the
// object is not such a body.
struct bzSkeletonBodyServices
{
    bzM34 *(*pose)(void *object);
    bzV3 *(*centre)(void *object);
    const bzV3 *(*centreOffset)(void *object);
};
// Installs the view (copied; null removes it, and bodies are then left where they are).
void bz_Skeleton_SetBodyServices(const bzSkeletonBodyServices *services);

// Moves every lump of the skinned lump's subtree whose id byte is that of a table entry (the
// first such entry) onto the entry's bone: its matrix becomes the bone's pose with the entry's
// orientation taken back out, carried into the world by the skinned lump's placement, and it is
// made world-relative; a lump bound to a rigid body takes the body with it (its pose becomes the
// lump's matrix and its centre of mass that pose applied to the body's centre offset). A lump so
// placed and then linked gives its bone the same rotation.
void bz_Skeleton_UpdateAttachedLumps(bzLump *lump);
