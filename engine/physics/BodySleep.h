// Sleeping and waking: quiet rings of bodies go to sleep at the end of a step; a contact, a
// broken joint or the dynamics layer wakes a whole jointed tree again, with the sleeping bodies
// resting on it. A wake asked for while another is under way (from a wake link handler or a
// call back) waits on the deferred-wake list, which has a link of its own, and runs once when
// the outermost wake finishes. Each body that wakes is told to the dynamics controller
// (bzgPhysDynamics.notifyWake). Also the refresh of a body's collision cache.
//
// A fixed body (BZ_PHYS_INF_MI and BZ_PHYS_INF_MASS) is never woken and never refreshed.
#pragma once

#include "physics/Body.h"

#include <cstdint>

// Sets the asleep byte, clears the sleep byte, runs the sleep links and puts the body's
// children to sleep.
void bz_Phys_SleepBody(BZDObject *body);
// Puts every body of the ring from first to sleep (asleep, sleep links, velocities zeroed,
// children asleep).
void bz_Phys_SleepRing(BZDObject *first);
// The end of a step: each awake body of the list (next-sibling order) with the quiet mark whose
// whole ring is quiet puts its ring to sleep.
void bz_Phys_SleepQuietRings(BZDObject *first);

// Wakes the body's whole jointed tree from its top (see the comment at the top); world is the
// step's body list, searched for sleeping bodies resting on the tree.
void bz_Phys_WakeBody(BZDObject *body, BZDObject *world);
// Wakes the sleeping bodies of a sibling chain and their subtrees.
void bz_Phys_WakeSubtree(BZDObject *first);
// Refreshes the body's collision cache from the world faces around it (a cache-sharing child
// takes its parent's) and moves the cache to its place in the sorted cache list (physics/
// CacheList.h); 0. A busy body, a fixed one and one without a cache are left alone.
int32_t bz_Phys_RefreshBodyCache(BZDObject *body);
// 1 while a collision cache is being refreshed, else 0.
int32_t bz_Phys_RefreshingCache();

// 1 after waking a when a's body box overlaps b's on x and z and lies at most the contact
// distance above it; else 0.
int32_t bz_Phys_WakeIfOnTop(BZDObject *a, BZDObject *b, BZDObject *world);
// Each sleeping body of mode 0 in the list (and below it) that rests on the root or one of its
// children wakes.
void bz_Phys_WakeTouching(BZDObject *root, BZDObject *list, BZDObject *world);
// Wakes the first body of the sibling list from first (other than the body) that lies on the
// body, as bz_Phys_WakeIfOnTop; 1 when one woke, else 0.
int32_t bz_Phys_WakeFirstOnTop(BZDObject *first, BZDObject *body, BZDObject *world);

// Pushes the body on the deferred-wake list (once); it is woken when the outermost wake ends.
void bz_Phys_DeferWake(BZDObject *body);

// Wakes in progress (0 outside a wake) and the head of the deferred-wake list.
int32_t bz_Phys_WakeNesting();
BZDObject *bz_Phys_DeferredWakes();
