// The force and contact queues of bodies and their two pools.
#include "physics/BodyContact.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyMotion.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
constexpr uint32_t kPerBlock = 64;

int32_t gRecordPool;
int32_t gLinkPool;

bool Finite(const bzV3 *v)
{
    return std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z);
}

bzPhysContact *TakeRecord()
{
    return gRecordPool ? static_cast<bzPhysContact *>(bz_Pool_Alloc(gRecordPool, BZ_MEM_CLEAR))
                       : nullptr;
}

void Unlink(bzPhysContactLink *link)
{
    if (link->next)
        link->next->back = link->back;
    *link->back = link->next;
}

bool IsSpecial(const BZDObject *body, const bzPhysContactLink *link)
{
    for (const bzPhysContactLink *s : body->specialContacts)
        if (s == link)
            return true;
    return false;
}

// The kind's change to one body.
void ApplyOne(BZDObject *body, const bzPhysContact *e, float dt)
{
    bzV3 &v = body->linearVelocity;
    bzV3 &w = body->angularVelocity;
    bzV3 r;
    switch (e->kind)
    {
    case BZ_CONTACT_FORCE: bz_V3_AddScaled(&v, &e->vector, dt * body->inverseMass); break;
    case BZ_CONTACT_IMPULSE: bz_V3_AddScaled(&v, &e->vector, body->inverseMass); break;
    case BZ_CONTACT_FORCE_AT_POINT: bz_Body_ApplyImpulse(&e->vector, body, &e->point, dt); return;
    case BZ_CONTACT_IMPULSE_AT_POINT:
        bz_Body_ApplyImpulse(&e->vector, body, &e->point, 1.0f);
        return;
    case BZ_CONTACT_ACCELERATION: bz_V3_AddScaled(&v, &e->vector, dt); break;
    case BZ_CONTACT_DAMPING:
        bz_V3_ScaleInto(&e->vector, &r, dt);
        bz_V3_ReduceTowardsZero(&v, &r);
        break;
    case BZ_CONTACT_SET_VELOCITY: v = e->vector; break;
    case BZ_CONTACT_ANGULAR_ACCEL:
        bz_V3_AddScaled(&w, &e->vector, dt);
        body->collisionMask |= BZ_BODY_CHANGED_ANGULAR;
        return;
    case BZ_CONTACT_ANGULAR_DAMPING:
        bz_V3_ScaleInto(&e->vector, &r, dt);
        bz_V3_ReduceTowardsZero(&w, &r);
        body->collisionMask |= BZ_BODY_CHANGED_ANGULAR;
        return;
    case BZ_CONTACT_SET_ANGULAR:
        w = e->vector;
        body->collisionMask |= BZ_BODY_CHANGED_ANGULAR;
        return;
    default: return;
    }
    body->collisionMask |= BZ_BODY_CHANGED_LINEAR;
}

void WakeWhenPermanent(BZDObject *body, float lifetime)
{
    if (lifetime == 0.0f && (body->mechanicsFlags & BZ_MECH_CONTACT_WAKES))
        body->asleep = 0;
}

bzPhysContactLink *AddWithVector(BZDObject *body, uint32_t kind, const bzV3 *vector,
                                 const bzV3 *point, float lifetime, uint32_t subtree)
{
    BZ_ASSERT(vector);
    if (!vector || !Finite(vector) || (point && !Finite(point)))
        return nullptr;
    bzPhysContactLink *link = bz_Body_AddContact(body, kind, lifetime, subtree);
    if (!link)
        return nullptr;
    link->record->vector = *vector;
    if (point)
        link->record->point = *point;
    return link;
}
} // namespace

int32_t bz_Phys_CreateContactPools()
{
    if (gRecordPool)
        return BZ_ERROR_NONE;
    gRecordPool = bz_Pool_Create(sizeof(bzPhysContact), kPerBlock, 1, 0);
    gLinkPool = gRecordPool ? bz_Pool_Create(sizeof(bzPhysContactLink), kPerBlock, 1, 0) : 0;
    if (!gLinkPool)
    {
        if (gRecordPool)
            bz_Pool_Destroy(gRecordPool);
        gRecordPool = 0;
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    return BZ_ERROR_NONE;
}

int32_t bz_Phys_FreeContactPools()
{
    if (gLinkPool)
        bz_Pool_Destroy(gLinkPool);
    if (gRecordPool)
        bz_Pool_Destroy(gRecordPool);
    gLinkPool = gRecordPool = 0;
    return 0;
}

uint32_t bz_Phys_ContactRecordsInUse()
{
    return gRecordPool ? bz_Pool_GetUsed(gRecordPool) : 0;
}

uint32_t bz_Phys_ContactLinksInUse()
{
    return gLinkPool ? bz_Pool_GetUsed(gLinkPool) : 0;
}

bzPhysContactLink *bz_Body_AddContact(BZDObject *body, uint32_t kind, float lifetime,
                                      uint32_t subtree)
{
    BZ_ASSERT(body);
    if (!body || kind >= BZ_CONTACT_KIND_COUNT || !std::isfinite(lifetime) || lifetime < 0.0f ||
        !gLinkPool)
        return nullptr;
    bzPhysContact *record = TakeRecord();
    if (!record)
        return nullptr;
    auto *link = static_cast<bzPhysContactLink *>(bz_Pool_Alloc(gLinkPool, BZ_MEM_CLEAR));
    if (!link)
    {
        // The record goes back; the memory manager's status keeps telling why.
        const int32_t status = bzgMemStatus;
        bz_Pool_FreeElement(gRecordPool, record);
        bzgMemStatus = status;
        return nullptr;
    }
    record->kind = kind;
    record->subtree = subtree;
    link->body = body;
    link->record = record;
    link->lifetime = lifetime;
    link->next = body->contactList;
    link->back = &body->contactList;
    if (link->next)
        link->next->back = &link->next;
    body->contactList = link;
    if (kind != BZ_CONTACT_DAMPING && kind != BZ_CONTACT_ANGULAR_DAMPING)
        body->asleep = 0;
    return link;
}

bzPhysContactLink *bz_Body_AddAngularDampingContact(BZDObject *body, const bzV3 *rate,
                                                    float lifetime, uint32_t subtree)
{
    return AddWithVector(body, BZ_CONTACT_ANGULAR_DAMPING, rate, nullptr, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddAngularAccelerationContact(BZDObject *body, const bzV3 *accel,
                                                         float lifetime, uint32_t subtree)
{
    return AddWithVector(body, BZ_CONTACT_ANGULAR_ACCEL, accel, nullptr, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddSetAngularVelocityContact(BZDObject *body, const bzV3 *omega,
                                                        float lifetime, uint32_t subtree)
{
    return AddWithVector(body, BZ_CONTACT_SET_ANGULAR, omega, nullptr, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddDampingContact(BZDObject *body, const bzV3 *rate, float lifetime,
                                             uint32_t subtree)
{
    return AddWithVector(body, BZ_CONTACT_DAMPING, rate, nullptr, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddForceContact(BZDObject *body, const bzV3 *force, float lifetime,
                                           uint32_t subtree)
{
    return AddWithVector(body, BZ_CONTACT_FORCE, force, nullptr, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddAccelerationContact(BZDObject *body, const bzV3 *accel,
                                                  float lifetime, uint32_t subtree)
{
    bzPhysContactLink *link =
        AddWithVector(body, BZ_CONTACT_ACCELERATION, accel, nullptr, lifetime, subtree);
    if (link)
        WakeWhenPermanent(body, lifetime);
    return link;
}

bzPhysContactLink *bz_Body_AddSetVelocityContact(BZDObject *body, const bzV3 *velocity,
                                                 float lifetime, uint32_t subtree)
{
    bzPhysContactLink *link =
        AddWithVector(body, BZ_CONTACT_SET_VELOCITY, velocity, nullptr, lifetime, subtree);
    if (link)
        WakeWhenPermanent(body, lifetime);
    return link;
}

bzPhysContactLink *bz_Body_AddForceAtPointContact(BZDObject *body, const bzV3 *force,
                                                  const bzV3 *point, float lifetime,
                                                  uint32_t subtree)
{
    BZ_ASSERT(point);
    if (!point)
        return nullptr;
    return AddWithVector(body, BZ_CONTACT_FORCE_AT_POINT, force, point, lifetime, subtree);
}

bzPhysContactLink *bz_Body_AddContactCopy(BZDObject *body, const bzPhysContact *record,
                                          float lifetime)
{
    BZ_ASSERT(record);
    if (!record)
        return nullptr;
    bzPhysContactLink *link = bz_Body_AddContact(body, record->kind, lifetime, record->subtree);
    if (!link)
        return nullptr;
    link->record->vector = record->vector;
    link->record->point = record->point;
    return link;
}

bzPhysContactLink *bz_Body_AddContactAtPoint(BZDObject *body, const bzV3 *accel, const bzV3 *point,
                                             float lifetime, uint32_t subtree)
{
    bzPhysContactLink *link =
        AddWithVector(body, BZ_CONTACT_ACCELERATION, accel, point, lifetime, subtree);
    if (link)
        WakeWhenPermanent(body, lifetime);
    return link;
}

bzPhysContactLink *bz_Body_AddContactWake(BZDObject *body, const bzV3 *accel, const bzV3 *point,
                                          float lifetime, uint32_t subtree)
{
    bzPhysContactLink *link = bz_Body_AddContactAtPoint(body, accel, point, lifetime, subtree);
    if (link)
        body->asleep = 0;
    return link;
}

void bz_Body_SetContactVector(bzPhysContactLink *link, const bzV3 *vector)
{
    BZ_ASSERT(link && vector);
    if (!link || !vector || !Finite(vector))
        return;
    link->record->vector = *vector;
    WakeWhenPermanent(link->body, link->lifetime);
}

int32_t bz_Body_ReturnContact(bzPhysContactLink *link, BZDObject *body)
{
    BZ_ASSERT(link && body && link->body == body);
    if (!link || !body)
        return 0;
    Unlink(link);
    for (bzPhysContactLink *&s : body->specialContacts)
        if (s == link)
            s = nullptr;
    bz_Pool_FreeElement(gRecordPool, link->record);
    bz_Pool_FreeElement(gLinkPool, link);
    body->asleep = 0;
    return 0;
}

void bz_Body_ReturnLooseContacts(BZDObject *body)
{
    BZ_ASSERT(body);
    bzPhysContactLink *link = body ? body->contactList : nullptr;
    while (link)
    {
        bzPhysContactLink *next = link->next;
        if (!IsSpecial(body, link))
            bz_Body_ReturnContact(link, body);
        link = next;
    }
}

int32_t bz_Body_ReturnAllContacts(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    while (body->contactList)
        bz_Body_ReturnContact(body->contactList, body);
    for (bzPhysContactLink *&s : body->specialContacts)
        s = nullptr;
    return 0;
}

void bz_Body_CopyContacts(BZDObject *destination, const BZDObject *source)
{
    BZ_ASSERT(destination && source);
    if (!destination || !source || destination == source)
        return;
    for (const bzPhysContactLink *link = source->contactList; link; link = link->next)
        if (!IsSpecial(source, link) &&
            !bz_Body_AddContactCopy(destination, link->record, link->lifetime))
            return;
}

int32_t bz_Body_ClearContacts(BZDObject *body, uint32_t subtree)
{
    BZ_ASSERT(body);
    if (!body)
        return 0;
    bz_Body_ReturnAllContacts(body);
    const bzV3 zero = {};
    bz_Body_QueueForce(body, BZ_CONTACT_SET_VELOCITY, &zero, nullptr, subtree);
    bz_Body_QueueForce(body, BZ_CONTACT_SET_ANGULAR, &zero, nullptr, subtree);
    return 0;
}

bzPhysContact *bz_Body_AddForce(BZDObject *body, uint32_t kind, uint32_t subtree)
{
    BZ_ASSERT(body);
    if (!body || kind >= BZ_CONTACT_KIND_COUNT)
        return nullptr;
    bzPhysContact *record = TakeRecord();
    if (!record)
        return nullptr;
    record->kind = kind;
    record->subtree = subtree;
    record->next = body->forceList;
    body->forceList = record;
    return record;
}

bzPhysContact *bz_Body_QueueForce(BZDObject *body, uint32_t kind, const bzV3 *vector,
                                  const bzV3 *point, uint32_t subtree)
{
    BZ_ASSERT(vector);
    if (!vector || !Finite(vector) || (point && !Finite(point)))
        return nullptr;
    bzPhysContact *record = bz_Body_AddForce(body, kind, subtree);
    if (!record)
        return nullptr;
    record->vector = *vector;
    if (point)
        record->point = *point;
    return record;
}

bzPhysContact *bz_Body_AddForceCopy(BZDObject *body, const bzPhysContact *record)
{
    BZ_ASSERT(record);
    if (!record)
        return nullptr;
    bzPhysContact *copy = bz_Body_AddForce(body, record->kind, record->subtree);
    if (!copy)
        return nullptr;
    copy->vector = record->vector;
    copy->point = record->point;
    return copy;
}

void bz_Body_FreeForceList(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    while (bzPhysContact *e = body->forceList)
    {
        body->forceList = e->next;
        bz_Pool_FreeElement(gRecordPool, e);
    }
}

void bz_Body_ReturnRecord(bzPhysContact *record)
{
    if (record && gRecordPool)
        bz_Pool_FreeElement(gRecordPool, record);
}

void bz_Body_ApplyEntry(BZDObject *body, const bzPhysContact *entry, float dt, int32_t siblings)
{
    BZ_ASSERT(entry);
    if (!entry || !Finite(&entry->vector) ||
        ((entry->kind == BZ_CONTACT_FORCE_AT_POINT || entry->kind == BZ_CONTACT_IMPULSE_AT_POINT) &&
         !Finite(&entry->point)))
        return;
    for (BZDObject *b = body; b; b = siblings ? b->nextSibling : nullptr)
    {
        ApplyOne(b, entry, dt);
        if (entry->subtree && b->firstChild)
            bz_Body_ApplyEntry(b->firstChild, entry, dt, 1);
    }
}

void bz_Body_ApplyForceList(BZDObject *body, float dt, int32_t siblings)
{
    for (BZDObject *b = body; b; b = siblings ? b->nextSibling : nullptr)
    {
        while (bzPhysContact *e = b->forceList)
        {
            b->forceList = e->next;
            bz_Body_ApplyEntry(b, e, dt, 0);
            bz_Pool_FreeElement(gRecordPool, e);
        }
        if (b->firstChild)
            bz_Body_ApplyForceList(b->firstChild, dt, 1);
    }
}

void bz_Body_SaveFrameStartState(BZDObject *body, float dt, int32_t siblings)
{
    for (BZDObject *b = body; b; b = siblings ? b->nextSibling : nullptr)
    {
        b->frameStartLinearVelocity = b->linearVelocity;
        b->frameStartAngularVelocity = b->angularVelocity;
        bzPhysContactLink *link = b->contactList;
        while (link)
        {
            bzPhysContactLink *next = link->next;
            if (!b->asleep && b->mode != BZ_PHYS_MODE_PAIR_CALLBACK)
                bz_Body_ApplyEntry(b, link->record, dt, 0);
            if (link->lifetime != 0.0f)
            {
                link->lifetime -= dt;
                if (link->lifetime <= 0.0f)
                    bz_Body_ReturnContact(link, b);
            }
            link = next;
        }
        bz_V3_SubInto(&b->linearVelocity, &b->frameStartLinearVelocity,
                      &b->frameStartLinearVelocity);
        bz_V3_SubInto(&b->angularVelocity, &b->frameStartAngularVelocity,
                      &b->frameStartAngularVelocity);
        if (b->firstChild)
            bz_Body_SaveFrameStartState(b->firstChild, dt, 1);
    }
}

void bz_Body_FrameUpdate(BZDObject *body, float dt)
{
    BZ_ASSERT(body);
    if (!body || !(body->mechanicsFlags & BZ_MECH_FREE_BODY))
        return;
    bz_Body_SaveFrameStartState(body, dt, 0);
    bz_Body_ApplyForceList(body, dt, 0);
    if (!(body->mechanicsFlags & BZ_MECH_NEVER_SLEEP))
    {
        const uint32_t m = body->mechanicsFlags;
        bz_Body_SetMotion(body, m & BZ_MECH_MOVE_LINEAR ? 1 : 0, dt,
                          m & BZ_MECH_MOVE_ANGULAR ? 1 : 0, m & BZ_MECH_SUBSTEPS ? 1 : 0);
    }
}

void bz_Body_GetFrameVelocityChange(const BZDObject *body, bzV3 *linear, bzV3 *angular)
{
    BZ_ASSERT(body);
    if (linear)
        *linear = body->frameStartLinearVelocity;
    if (angular)
        *angular = body->frameStartAngularVelocity;
}

void bz_Body_GetFrameAcceleration(const BZDObject *body, float dt, bzV3 *linear, bzV3 *angular)
{
    BZ_ASSERT(body);
    const float s = dt > 0.0f ? 1.0f / dt : 0.0f;
    if (linear)
        bz_V3_ScaleInto(&body->frameStartLinearVelocity, linear, s);
    if (angular)
        bz_V3_ScaleInto(&body->frameStartAngularVelocity, angular, s);
}

bzV3 *bz_Body_FrameLinearVelocityChange(BZDObject *body)
{
    BZ_ASSERT(body);
    return body ? &body->frameStartLinearVelocity : nullptr;
}

bzV3 *bz_Body_FrameAngularVelocityChange(BZDObject *body)
{
    BZ_ASSERT(body);
    return body ? &body->frameStartAngularVelocity : nullptr;
}
