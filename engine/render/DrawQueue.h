// The depth-bucket draw queues: transparent material entries and sprite-like lumps found by
// the render walk wait here, sorted into 4096 buckets by their depth between the viewport's
// clip planes, and are drawn back to front when the viewport's render drains the queues.
// Entries come from a fixed-size element pool and never outlive the viewport's render.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzViewport;
struct bzLump;
struct bzMaterial;
struct bzMaterialEntry;

constexpr int32_t BZ_DRAWQUEUE_BUCKETS = 4096;

struct bzDrawQueueEntry
{
    bzDrawQueueEntry *next;
    bzM34 *viewMatrix;      // the lump's view matrix (an angle fade rewrites its rotation)
    bzMaterialEntry *entry; // null for entries that are not model groups
    bzMaterial *material;   // null for entries that are not model groups
    bzLump *lump;
    uint32_t flags; // bit 0: the lump crosses a guard-band plane
};

// The pool and both bucket arrays (engine start); 0 or 14. Free releases them.
int32_t bz_DrawQueue_Init();
void bz_DrawQueue_Free();
// Both queues empty (the entries of an earlier open are given back to the pool); makes the
// pool and the bucket arrays first when they are not made yet.
void bz_DrawQueue_Open();
// The bucket of a depth: 4095 at the near plane, 0 at the far plane, more buckets near the
// camera; depths outside the planes are clamped.
int32_t bz_DrawQueue_Bucket(const bzViewport *v, float depth);
// A new entry at the head of its bucket in the first or second queue, or null with last
// error 14 when the pool cannot grow (or the queues are not made). The caller fills it.
bzDrawQueueEntry *bz_DrawQueue_Add(const bzViewport *v, float depth);
bzDrawQueueEntry *bz_DrawQueue_Add2(const bzViewport *v, float depth);
// Entries waiting in the first and second queue.
int32_t bz_DrawQueue_Count(int32_t queue);
// Draws and releases every entry of both queues, the first queue first, far to near, each
// bucket latest entry first; then both counts are 0.
void bz_DrawQueue_Flush(bzViewport *v);
// The fade of an angle-fade material for an entry's view matrix (0 or less: not drawn).
float bz_DrawQueue_AngleFade(const bzMaterial *material, const bzM34 *view);
