#include "scene/Path.h"

#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"

#include <cfloat>
#include <cmath>

namespace
{
bzPathPoint *NewPoint(float x, float y, float z, uint32_t word)
{
    bzPathPoint *point = static_cast<bzPathPoint *>(bz_MemAlloc(sizeof(bzPathPoint), BZ_MEM_CLEAR));
    if (!point)
        return nullptr;
    bz_V3_Set(&point->position, x, y, z);
    point->word = word;
    return point;
}

void FreePoints(bzPathPoint *point)
{
    while (point)
    {
        bzPathPoint *next = point->next;
        bz_MemFree(point);
        point = next;
    }
}
} // namespace

bzPath *bz_Path_Create()
{
    bzPath *path = static_cast<bzPath *>(bz_MemAlloc(sizeof(bzPath), BZ_MEM_CLEAR));
    if (!path)
        return nullptr;
    path->refCount = 1;
    path->scale = 1.0f;
    return path;
}

void bz_Path_AddRef(bzPath *path)
{
    if (path)
        path->refCount++;
}

void bz_Path_Release(bzPath *path)
{
    if (!path)
        return;
    if (--path->refCount < 1)
    {
        FreePoints(path->first);
        bz_MemFree(path);
    }
}

bzPath *bz_Path_Clone(const bzPath *path)
{
    if (!path)
        return nullptr;
    bzPath *copy = bz_Path_Create();
    if (!copy)
        return nullptr;
    copy->flags = path->flags;
    for (const bzPathPoint *p = path->first; p; p = p->next)
    {
        if (!bz_Path_AppendPointWord(copy, p->position.x, p->position.y, p->position.z, p->word))
        {
            bz_Path_Release(copy);
            return nullptr;
        }
    }
    return copy;
}

bzPathPoint *bz_Path_AppendPointWord(bzPath *path, float x, float y, float z, uint32_t word)
{
    if (!path)
        return nullptr;
    bzPathPoint *point = NewPoint(x, y, z, word);
    if (!point)
        return nullptr;
    if (path->last)
        path->last->next = point;
    else
        path->first = point;
    path->last = point;
    path->count++;
    return point;
}

bzPathPoint *bz_Path_AppendPoint(bzPath *path, float x, float y, float z)
{
    return bz_Path_AppendPointWord(path, x, y, z, 0xFFFFFFFFu);
}

bzPathPoint *bz_Path_PrependPoint(bzPath *path, const bzV3 *position)
{
    if (!path || !position)
        return nullptr;
    bzPathPoint *point = NewPoint(position->x, position->y, position->z, 0xFFFFFFFFu);
    if (!point)
        return nullptr;
    point->next = path->first;
    path->first = point;
    if (!path->last)
        path->last = point;
    path->count++;
    return point;
}

bzErrorCode bz_Path_RecycleFirst(bzPath *path, float x, float y, float z)
{
    if (!path || !path->first)
        return BZ_ERROR_INVALID_PARAMETER;
    bzPathPoint *point = path->first;
    bz_V3_Set(&point->position, x, y, z);
    if (point == path->last)
        return BZ_ERROR_NONE;
    path->first = point->next;
    point->next = nullptr;
    path->last->next = point;
    path->last = point;
    return BZ_ERROR_NONE;
}

bzPathPoint *bz_Path_GetPoint(const bzPath *path, int32_t n, bzV3 *out)
{
    if (!path || n < 0)
        return nullptr;
    bzPathPoint *point = path->first;
    for (; point && n > 0; n--)
        point = point->next;
    if (point && out)
        *out = point->position;
    return point;
}

void bz_Path_RemovePoint(bzPath *path, int32_t n)
{
    if (!path || n < 0 || n >= path->count)
        return;
    bzPathPoint *previous = nullptr;
    bzPathPoint *point = path->first;
    for (int32_t k = 0; k < n && point; k++)
    {
        previous = point;
        point = point->next;
    }
    if (!point)
        return;
    if (previous)
        previous->next = point->next;
    else
        path->first = point->next;
    if (path->last == point)
        path->last = previous;
    path->count--;
    bz_MemFree(point);
}

void bz_Path_Truncate(bzPath *path, int32_t n)
{
    if (!path || n < 0 || n >= path->count)
        return;
    if (n == 0)
    {
        bz_Path_Clear(path);
        return;
    }
    bzPathPoint *last = bz_Path_GetPoint(path, n - 1, nullptr);
    FreePoints(last->next);
    last->next = nullptr;
    path->last = last;
    path->count = n;
}

void bz_Path_Clear(bzPath *path)
{
    if (!path)
        return;
    FreePoints(path->first);
    path->first = path->last = nullptr;
    path->count = 0;
}

void bz_Path_UpdateDistances(bzPath *path)
{
    if (!path)
        return;
    for (bzPathPoint *p = path->first; p; p = p->next)
    {
        const bzPathPoint *to = p->next ? p->next : path->first;
        p->distance = bz_V3_Distance(&p->position, &to->position);
    }
}

float bz_Path_GetLength(const bzPath *path)
{
    float length = 0.0f;
    if (!path)
        return length;
    for (const bzPathPoint *p = path->first; p && p->next; p = p->next)
        length += bz_V3_Distance(&p->position, &p->next->position);
    return length;
}

bzErrorCode bz_Path_SampleAtPercent(const bzPath *path, float percent, bzV3 *outPosition,
                                    bzV3 *outDirection, bzPathPoint **outPoint)
{
    if (!path)
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (path->count < 2 || !path->first || !path->first->next)
        return BZ_ERROR_INVALID_PARAMETER;
    // The remainder after whole hundreds, exact for every size (a subtraction loop would
    // never end on a value too large for 100 to change it).
    if (percent >= 100.0f)
        percent = std::fmod(percent, 100.0f);
    const bool closed = (path->flags & BZ_PATH_CLOSED) != 0;

    float whole = 0.0f;
    for (const bzPathPoint *p = path->first; p->next; p = p->next)
        whole += bz_V3_DistanceSq(&p->position, &p->next->position);
    if (closed)
        whole += bz_V3_DistanceSq(&path->last->position, &path->first->position);
    const float target = whole * percent * 0.01f;

    // Walk the segments until one reaches past the target; the last segment takes the rest.
    float accumulated = 0.0f;
    const bzPathPoint *a = path->first;
    const bzPathPoint *b = a->next;
    float segment = bz_V3_DistanceSq(&a->position, &b->position);
    for (;;)
    {
        const bool final = closed ? (a == path->last) : (b == path->last);
        if (accumulated + segment > target || final)
            break;
        accumulated += segment;
        a = b;
        b = a->next ? a->next : path->first;
        segment = bz_V3_DistanceSq(&a->position, &b->position);
    }

    bzV3 direction;
    bz_V3_SubInto(&b->position, &a->position, &direction);
    const float fraction = segment > 0.0f ? (target - accumulated) / segment : 0.0f;
    if (outDirection)
        *outDirection = direction;
    if (outPosition)
        bz_V3_AddScaledInto(&a->position, &direction, fraction, outPosition);
    if (outPoint)
        *outPoint = const_cast<bzPathPoint *>(a);
    return BZ_ERROR_NONE;
}

bzPathPoint *bz_Path_NearestPoint(const bzPath *path, const bzV3 *p, bzV3 *outClosest,
                                  float *outDistanceAlong)
{
    if (!path || !p)
        return nullptr;
    if (path->count < 2 || !path->first || !path->first->next)
        return path->first;
    const bool closed = (path->flags & BZ_PATH_CLOSED) != 0;
    bzV3 local;
    bzV3 *closest = outClosest ? outClosest : &local;
    float best = FLT_MAX;
    const bzPathPoint *bestStart = nullptr;
    for (const bzPathPoint *a = path->first; a; a = a->next)
    {
        const bzPathPoint *b = a->next;
        if (!b)
        {
            if (!closed)
                break;
            b = path->first;
        }
        bzV3 point;
        const float d = bz_PointSegmentDistance(p, &a->position, &b->position, &point, nullptr);
        if (d < best)
        {
            best = d;
            bestStart = a;
            *closest = point;
        }
    }
    if (!bestStart)
        return path->first;
    if (outDistanceAlong)
    {
        float along = 0.0f;
        for (const bzPathPoint *q = path->first; q != bestStart; q = q->next)
            along += q->distance;
        *outDistanceAlong = along + bz_V3_Distance(&bestStart->position, closest);
    }
    return const_cast<bzPathPoint *>(bestStart);
}
