#include "core/Progress.h"

namespace
{
bzProgressLevel gLevels[BZ_PROGRESS_LEVELS];
int32_t gDepth;
bzProgressBeginCallback gBegin;
bzProgressUpdateCallback gUpdate;
bzProgressQueryCallback gQuery;
bzProgressEndCallback gEnd;

// The innermost recorded level; beyond the table the last one stands for the deeper ones.
bzProgressLevel *Innermost()
{
    if (gDepth <= 0)
        return nullptr;
    return &gLevels[(gDepth < BZ_PROGRESS_LEVELS ? gDepth : BZ_PROGRESS_LEVELS) - 1];
}
} // namespace

void bz_Progress_Begin(int32_t count)
{
    if (count <= 0)
        count = 1;
    if (gDepth == 0)
    {
        gLevels[0] = {0.0f, 1.0f, 1.0f / static_cast<float>(count), 0.0f};
        if (gBegin)
            gBegin(0, count);
    }
    else if (gDepth < BZ_PROGRESS_LEVELS)
    {
        const bzProgressLevel &parent = gLevels[gDepth - 1];
        gLevels[gDepth] = {parent.current, parent.current + parent.step,
                           parent.step / static_cast<float>(count), parent.current};
    }
    if (gDepth < INT32_MAX)
        ++gDepth;
}

void bz_Progress_StepBy(int32_t n)
{
    bzProgressLevel *level = Innermost();
    if (!level)
        return;
    float current = level->current + static_cast<float>(n) * level->step;
    if (current > level->end)
        current = level->end;
    if (current < level->start)
        current = level->start;
    level->current = current;
    if (gUpdate)
        gUpdate(current);
}

void bz_Progress_Step()
{
    bz_Progress_StepBy(1);
}

void bz_Progress_End()
{
    if (gDepth <= 0)
        return;
    if (--gDepth == 0 && gEnd)
        gEnd();
}

int32_t bz_Progress_Query()
{
    return gQuery ? gQuery() : 0;
}

int32_t bz_Progress_GetDepth()
{
    return gDepth;
}

bzProgressBeginCallback bz_Progress_SetBeginCallback(bzProgressBeginCallback fn)
{
    bzProgressBeginCallback old = gBegin;
    gBegin = fn;
    return old;
}

bzProgressUpdateCallback bz_Progress_SetUpdateCallback(bzProgressUpdateCallback fn)
{
    bzProgressUpdateCallback old = gUpdate;
    gUpdate = fn;
    return old;
}

bzProgressQueryCallback bz_Progress_SetQueryCallback(bzProgressQueryCallback fn)
{
    bzProgressQueryCallback old = gQuery;
    gQuery = fn;
    return old;
}

bzProgressEndCallback bz_Progress_SetEndCallback(bzProgressEndCallback fn)
{
    bzProgressEndCallback old = gEnd;
    gEnd = fn;
    return old;
}
