#include "models/SkidMarkRing.h"

#include "maths/Vector.h"

namespace
{
int32_t Next(const bzSkidTrail &trail, int32_t index)
{
    return index + 1 == trail.capacity ? 0 : index + 1;
}

// Writes a point at the trail's head as a continuation or a strip start.
void WritePoint(bzSkidTrail &trail, bool start, const bzV3 &position, const bzV3 &direction)
{
    bzSkidPoint *point;
    bool advanced = true;
    if (start && trail.openPoint && trail.openPoint->marker == BZ_SKID_START)
    {
        point = trail.openPoint;
        advanced = false;
    }
    else
    {
        point = &trail.points[trail.head];
        point->marker = start ? BZ_SKID_START : BZ_SKID_CONTINUE;
        trail.head = Next(trail, trail.head);
    }
    if (start)
        trail.runLength = 0;
    trail.openPoint = point;
    if (advanced && trail.head == trail.tail)
    {
        trail.tail = Next(trail, trail.tail);
        const int32_t after = Next(trail, trail.tail);
        if (trail.points[after].marker == BZ_SKID_START)
            trail.tail = after;
        else
            trail.points[trail.tail].marker = BZ_SKID_START;
    }
    trail.lastPosition = position;
    const int32_t k = trail.runLength++;
    point->edgeA = position;
    point->edgeB = direction;
    point->colour = SkidMarkFadeColour(trail.colour, k);
}
} // namespace

uint32_t SkidMarkFadeColour(uint32_t colour, int32_t k)
{
    if (k < 0 || k > 9)
        return colour;
    const float alpha = static_cast<float>(colour >> 24) / 255.0f;
    const auto faded =
        static_cast<uint32_t>(static_cast<float>(k) * (1.0f / 9.0f) * alpha * 255.0f);
    return (colour & 0x00FFFFFFu) | (faded > 255 ? 255u : faded) << 24;
}

int32_t AddSkidMarkPoint(bzSkidMarkSet *set, int32_t trail, const bzV3 *position,
                         const bzV3 *direction, uint32_t word)
{
    if (!set || !set->trails || set->trailCount < 1 || !position || !direction)
        return 1;
    if (trail >= set->trailCount)
        trail = set->trailCount - 1;
    const int32_t first = trail < 0 ? 0 : trail;
    const int32_t end = trail < 0 ? set->trailCount : trail + 1;
    int32_t result = 1;
    for (int32_t i = first; i < end; ++i)
    {
        bzSkidTrail &t = set->trails[i];
        if (!t.points || t.capacity < 2)
            continue;
        if (t.openPoint && t.openPoint->marker == BZ_SKID_CONTINUE &&
            bz_V3_DistanceSq(&t.lastPosition, position) < set->range)
        {
            t.openPoint->edgeA = *position;
            t.openPoint->edgeB = *direction;
            result = 0;
        }
        else
        {
            const bool start = !(t.flags & BZ_SKID_ACTIVE);
            t.flags |= BZ_SKID_ACTIVE;
            WritePoint(t, start, *position, *direction);
        }
        t.openPoint->colour = word;
    }
    return result;
}

void EndSkidMarkTrails(bzSkidMarkSet *set)
{
    if (!set || !set->trails)
        return;
    for (int32_t i = 0; i < set->trailCount; ++i)
    {
        bzSkidTrail &t = set->trails[i];
        if (!(t.flags & BZ_SKID_ACTIVE))
            continue;
        if (t.head == 0)
            t.head = t.capacity;
        --t.head;
        t.flags &= static_cast<uint8_t>(~BZ_SKID_ACTIVE);
    }
}

void ResetSkidMarkTrails(bzSkidMarkSet *set)
{
    if (!set || !set->trails)
        return;
    for (int32_t i = 0; i < set->trailCount; ++i)
    {
        bzSkidTrail &t = set->trails[i];
        t.tail = 0;
        t.head = 0;
        t.flags &= static_cast<uint8_t>(~BZ_SKID_ACTIVE);
    }
}

void FreeSkidMarkSet(bzSkidMarkSet *set)
{
    bz_SkidMarks_FreeSet(set);
}
