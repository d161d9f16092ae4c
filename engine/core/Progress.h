// A nested progress meter: the steps of nested loading loops make one overall fraction.
#pragma once

#include <cstdint>

struct bzProgressLevel
{
    float start;
    float end;
    float step;
    float current;
};
constexpr int32_t BZ_PROGRESS_LEVELS = 16;

typedef void (*bzProgressBeginCallback)(int32_t depth, int32_t count);
typedef void (*bzProgressUpdateCallback)(float fraction);
typedef int32_t (*bzProgressQueryCallback)();
typedef void (*bzProgressEndCallback)();

// Opens a level of count steps (0 or less counts as 1) inside the current step of the level
// around it. Levels deeper than 16 are counted but share the innermost recorded level.
void bz_Progress_Begin(int32_t count);
// Moves the innermost level on by n steps (held between its start and end) and reports the
// overall fraction.
void bz_Progress_StepBy(int32_t n);
void bz_Progress_Step();
// Closes the innermost level; closing the outermost calls the end callback.
void bz_Progress_End();
// The query callback's answer, 0 without one.
int32_t bz_Progress_Query();
int32_t bz_Progress_GetDepth();
// Each installs a callback and returns the previous one.
bzProgressBeginCallback bz_Progress_SetBeginCallback(bzProgressBeginCallback fn);
bzProgressUpdateCallback bz_Progress_SetUpdateCallback(bzProgressUpdateCallback fn);
bzProgressQueryCallback bz_Progress_SetQueryCallback(bzProgressQueryCallback fn);
bzProgressEndCallback bz_Progress_SetEndCallback(bzProgressEndCallback fn);
