// What the physics needs from the layers above it, which it cannot include: the dynamics
// layer's link handlers and controller attributes, the world record of a body, and the body
// tree and box operations of the step. Each is a function-pointer table that the owning layer
// fills at its start-up; an empty slot gives the neutral answer told with it, so the physics
// runs (and is tested) before those layers exist.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;
struct bzDynCollisionCache;
struct bzPhysRow;

// The dynamics layer.
struct bzPhysDynamicsServices
{
    // Runs the handler of every dynamics link of the body's owner whose handler table is the
    // given event (bz_Dyn_CallAllLinkHandlers). Empty: nothing runs.
    void (*callLinkHandlers)(BZDObject *body, void *event);
    // The controller element of a lump, or null when it has none.
    void *(*elementOfLump)(void *lump);
    // Writes one controlled attribute of an element so that dependants and the replay see it;
    // 0 or an error code.
    int32_t (*setAttribute)(void *element, int32_t attribute, const void *value);
    // 1 when the attribute is pending in the element or its class.
    int32_t (*isPending)(void *element, int32_t attribute);
    // Brings a pending attribute up to date.
    void (*markChanged)(void *element, int32_t attribute);
    // Tells the controller that the body woke: it notifies the subscribers of the changed
    // attributes of the body's element when the owner's lump is flagged for it. Empty: nothing.
    void (*notifyWake)(BZDObject *body);
    // The attribute's address, or null.
    void *(*attributeAddress)(void *element, int32_t attribute);
};

// The world record of a body's owner.
struct bzPhysWorldServices
{
    // The world's gravity vector. Empty: (0, -9.80665, 0).
    void (*gravity)(const BZDObject *body, bzV3 *out);
    // The second reference vector of the rest test. Empty: the zero vector.
    void (*reference)(const BZDObject *body, bzV3 *out);
    // 1 when the world's keep-awake list holds an entry whose flag word is set. Empty: 0.
    int32_t (*keepAwake)(const BZDObject *body);
    // The address of the head of the world's collision-cache list (physics/CacheList.h). Empty:
    // the world keeps none.
    bzDynCollisionCache **(*cacheList)(const BZDObject *body);
};

// The body tree and box operations of the step. Empty slots do nothing.
struct bzPhysStepServices
{
    void (*resetChildren)(BZDObject *body);
    void (*buildTreeRecord)(BZDObject *root, float time);
    void (*computeBoxes)(BZDObject *body);
    // The pair collision of two bodies' forms (bz_PhysObject_CollidePair): appends the contact
    // rows between a and b, b taken at the transform its current-transform pointer names, to
    // rows from index count (room for BZ_ROW_MERGE_LIMIT rows in all); returns the number
    // appended. Empty: no contact.
    int32_t (*collidePair)(BZDObject *a, BZDObject *b, bzPhysRow *rows, int32_t count);
};

extern bzPhysDynamicsServices bzgPhysDynamics;
extern bzPhysWorldServices bzgPhysWorld;
extern bzPhysStepServices bzgPhysStepServices;

// The wake and sleep events: handler tables registered by the dynamics start-up; the physics
// only passes them on. Null until set.
extern void *bzgPhysWakeEvent;
extern void *bzgPhysSleepEvent;

// The three global collision mask words ORed into the mask word of every awake body at
// preparation and at the end of a step.
extern uint32_t bzgPhysCollisionMasks[3];

// Clears every table, the events and the masks.
void bz_Phys_ResetServices();

// The world's gravity and reference vector and the keep-awake answer through the tables.
void bz_Phys_WorldGravity(const BZDObject *body, bzV3 *out);
void bz_Phys_WorldReference(const BZDObject *body, bzV3 *out);
int32_t bz_Phys_KeepAwake(const BZDObject *body);
// Runs the link handlers of the event for the body (nothing without a handler or an event).
void bz_Phys_CallLinkHandlers(BZDObject *body, void *event);
