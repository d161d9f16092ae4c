#include "scene/SkidMarks.h"

#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"

#include <cmath>

namespace
{
int32_t gEnabled = 1;

void TakeSet(bzLump *lump, void *object)
{
    bzSkidMarkSet *set = static_cast<bzSkidMarkSet *>(object);
    set->lump = lump;
    set->refCount++;
}

void ReleaseSet(bzLump *lump, void *object)
{
    bzSkidMarkSet *set = static_cast<bzSkidMarkSet *>(object);
    if (set->lump == lump)
        set->lump = nullptr;
    if (--set->refCount <= 0)
        bz_SkidMarks_FreeSet(set);
}

void NoMark(bzSkidTrail *t)
{
    t->intensity = 0.0f;
    t->flags &= static_cast<uint8_t>(~(BZ_SKID_ACTIVE | BZ_SKID_SKIDDING));
}

uint32_t WithAlpha(uint32_t colour, float intensity)
{
    const uint32_t a = static_cast<uint32_t>(intensity * 255.0f);
    return (colour & 0x00FFFFFFu) | ((a > 255 ? 255 : a) << 24);
}
} // namespace

bzSkidMarkSet *bz_SkidMarks_CreateSet(int32_t trailCount, int32_t capacity, bz_IMGMAP *image)
{
    const bzLumpObjectHooks hooks = {TakeSet, ReleaseSet, nullptr, nullptr, nullptr};
    bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_SKIDMARKS, &hooks);
    if (trailCount < 1 || trailCount > 64 || capacity < 2 || capacity > 65536)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzSkidMarkSet *set =
        static_cast<bzSkidMarkSet *>(bz_MemAlloc(sizeof(bzSkidMarkSet), BZ_MEM_CLEAR));
    if (!set)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    set->trails = static_cast<bzSkidTrail *>(
        bz_MemAlloc(static_cast<uint32_t>(trailCount * sizeof(bzSkidTrail)), BZ_MEM_CLEAR));
    bool ok = set->trails != nullptr;
    if (ok)
        set->trailCount = trailCount;
    for (int32_t i = 0; ok && i < trailCount; i++)
    {
        bzSkidTrail &t = set->trails[i];
        t.points = static_cast<bzSkidPoint *>(
            bz_MemAlloc(static_cast<uint32_t>(capacity * sizeof(bzSkidPoint)), BZ_MEM_CLEAR));
        t.capacity = capacity;
        t.colour = 0xFF000000u;
        ok = t.points != nullptr;
    }
    if (!ok)
    {
        bz_SkidMarks_FreeSet(set);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    set->spacing = 1.0f;
    set->image = image;
    bz_Scene_AddImgMapRef(image);
    return set;
}

void bz_SkidMarks_FreeSet(bzSkidMarkSet *set)
{
    if (!set)
        return;
    if (set->trails)
    {
        for (int32_t i = 0; i < set->trailCount; i++)
            if (set->trails[i].points)
                bz_MemFree(set->trails[i].points);
        bz_MemFree(set->trails);
    }
    bz_Scene_ReleaseImgMap(set->image);
    bz_MemFree(set);
}

bzSkidPoint *bz_SkidTrail_AddPoint(bzSkidTrail *t, const bzV3 *edgeA, const bzV3 *edgeB,
                                   float intensity)
{
    if (!t || !t->points || t->capacity < 2)
        return nullptr;
    const bool start = !(t->flags & BZ_SKID_ACTIVE);
    bzSkidPoint *p = &t->points[t->head];
    p->edgeA = *edgeA;
    p->edgeB = *edgeB;
    p->marker = start ? BZ_SKID_START : BZ_SKID_CONTINUE;
    p->colour = WithAlpha(t->colour, intensity);
    if (++t->head == t->capacity)
        t->head = 0;
    if (t->head == t->tail)
    {
        // Full: the oldest point goes, and the new oldest begins a strip.
        if (++t->tail == t->capacity)
            t->tail = 0;
        t->points[t->tail].marker = BZ_SKID_START;
    }
    if (start)
        t->runLength = 0;
    t->runLength++;
    t->openPoint = p;
    t->flags |= BZ_SKID_ACTIVE;
    return p;
}

int32_t bz_SkidTrail_Count(const bzSkidTrail *t)
{
    if (!t || t->capacity < 1)
        return 0;
    return (t->head - t->tail + t->capacity) % t->capacity;
}

void bz_SkidMarks_Enable(int32_t on)
{
    gEnabled = on;
}

void SkidMarks_UpdateTrails(bzSkidMarkSet *set, const bzSkidVehicle *vehicle)
{
    if (!gEnabled || !set || !vehicle || !set->trails)
        return;
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, vehicle->lump, nullptr);
    const int32_t count =
        vehicle->wheelCount < set->trailCount ? vehicle->wheelCount : set->trailCount;
    for (int32_t i = count - 1; i >= 0; i--)
    {
        bzSkidTrail *t = &set->trails[i];
        const bzSkidWheel &w = vehicle->wheels[i];
        float h = set->skidThreshold;
        if (t->flags & BZ_SKID_ACTIVE)
            h *= 0.5f;
        if (!(w.load > 0.0f) || w.groundMoves)
        {
            NoMark(t);
            continue;
        }
        if (!(t->flags & BZ_SKID_FORCED))
        {
            if (std::fabs(w.sidewaysSkid) > h)
                t->flags |= BZ_SKID_SKIDDING;
            else if (!(t->flags & BZ_SKID_ACTIVE) || t->runLength > 9)
            {
                NoMark(t);
                continue;
            }
        }
        bzV3 cross;
        bz_V3_CrossInto(&vehicle->reference, &w.axis, &cross);
        const float s = bz_V3_LengthSq(&cross);
        if (!(s >= 0.001f))
        {
            t->flags &= static_cast<uint8_t>(~BZ_SKID_ACTIVE);
            continue;
        }
        t->intensity = s < 1.0f ? 0.0005f : (s <= 2000.0f ? s * 0.0005f : 1.0f);
        bzV3 side;
        bz_V3_ScaleInto(&cross, &side, vehicle->wheelWidth * 0.5f / std::sqrt(s));
        bzV3 contact;
        bz_M34_TransformPointInto(&world, &contact, &w.contact);
        contact.y = contact.y - w.groundOffset + 0.01f;
        bzV3 a, b;
        bz_V3_AddInto(&contact, &side, &a);
        bz_V3_SubInto(&contact, &side, &b);
        const float spacing = s < 0.1f ? 0.1f : (s > 20.0f ? 20.0f : s);
        const bool add =
            !(t->flags & BZ_SKID_ACTIVE) || !t->openPoint ||
            t->openPoint->marker != BZ_SKID_START ||
            bz_V3_DistanceSq(&t->lastPosition, &contact) >= spacing * 0.05f * set->spacing;
        if (add)
            bz_SkidTrail_AddPoint(t, &a, &b, t->intensity);
        else
        {
            t->openPoint->edgeA = a;
            t->openPoint->edgeB = b;
        }
        t->lastPosition = contact;
    }
    set->flags &= ~1u;
    for (int32_t i = 0; i < set->trailCount; i++)
        if (set->trails[i].flags & BZ_SKID_ACTIVE)
            set->flags |= 1u;
}
