#include "core/Clock.h"

#include "core/TimingStats.h"
#include "core/Utility.h"

#include "pc/PcTimer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
// The counter.
bool gCounterAvailable;
bool gTimerStarted;
uint64_t gFrequency;
uint64_t gStartCount;

// Engine time.
uint32_t gMark;
int32_t gPauseDepth;
uint32_t gPauseStart;
int32_t gFreezeDepth;
float gFrozenTime;

// Smoothing state, ms. The accumulator holds ten times the running average frame time: each
// frame keeps nine tenths of it and adds the new frame, so a frame's weight fades by a tenth a
// frame. The reset values are a steady 30 ms frame (about 33 frames a second).
constexpr int32_t kAverageScale = 10;
constexpr int32_t kResetFrame = 30;
constexpr int32_t kResetAccumulator = kAverageScale * kResetFrame;
// A frame longer than this was a stall (loading, the window in the background): it counts as
// an average frame instead, and the smoothed time starts again from now.
constexpr int32_t kStallMs = 500;
int32_t gTime = kResetFrame;
int32_t gRawTime;
int32_t gPrevTime = kResetFrame;
int32_t gFrameTime = kResetFrame;
int32_t gRawFrameTime = kResetFrame;
int32_t gPrevFrameTime = kResetFrame;
int32_t gAccumulator = kResetAccumulator;

// Frame cap and replay pacing.
int32_t gFrameMode = 1;
float gFrameRate;
bool gHaveWallTime;
uint32_t gPrevWallTime;

// High-resolution tick.
uint32_t gTickLastMs;
uint32_t gTickLastUs;
uint32_t gTickDeltaMs;
uint32_t gTickDeltaUs;

bzTimerSlot gSlots[BZ_TIMER_SLOTS];

bzClockReplayServices gReplay;

// Seconds to ms as the replay's values are converted: s x 1000 + 0.0001, truncated.
int32_t SecondsToMs(float seconds)
{
    return bz_SaturateToInt(static_cast<double>(seconds * 1000.0f + 0.0001f));
}

bool ClockRuns()
{
    return gTimerStarted && gCounterAvailable;
}

// The replay plays back; with fixed times its recorded times replace the clock's.
bool ReplayPlaying()
{
    return gReplay.timing && gReplay.timing->playbackMode > 1;
}
bool ReplayFixed()
{
    return ReplayPlaying() && gReplay.timing->fixedTimes;
}

// One turn of a wait for about ms more milliseconds; false when the clock cannot advance.
bool IdleMs(uint32_t ms)
{
    if (!ClockRuns())
        return false;
    uint64_t counts = gFrequency / 1000 * (ms ? ms : 1);
    return PDCounterIdle(counts ? counts : 1);
}

// Engine time in ms: clock - mark, or the frozen time while frozen.
int32_t EngineMs()
{
    if (gFreezeDepth > 0)
        return bz_SaturateToInt(static_cast<double>(gFrozenTime) * 1000.0);
    return static_cast<int32_t>(PDGetMilliseconds() - gMark);
}

float EngineSeconds()
{
    if (gFreezeDepth > 0)
        return gFrozenTime;
    return static_cast<float>(static_cast<int32_t>(PDGetMilliseconds() - gMark)) * 0.001f;
}

void ResetSmoothing()
{
    gTime = kResetFrame;
    gRawTime = 0;
    gPrevTime = kResetFrame;
    gFrameTime = kResetFrame;
    gRawFrameTime = kResetFrame;
    gPrevFrameTime = kResetFrame;
    gAccumulator = kResetAccumulator;
}

// Phase (0 to 1) of time t for a wave of frequency f and phase p percent.
double WavePhase(double t, double f, double p)
{
    double x = f != 0.0 ? (t + p * 0.01 / f) * f : p * 0.01;
    double phase = x - std::floor(x);
    return phase == phase ? phase : 0.0;
}

float ReplayOrEngineSeconds()
{
    return ReplayPlaying() ? gReplay.timing->currentTime : EngineSeconds();
}

// a + b, wrapping at 32 bits like the millisecond clock.
int32_t WrapAdd(int32_t a, int64_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// now - then without overflow.
int64_t Diff(int32_t now, int32_t then)
{
    return static_cast<int64_t>(now) - then;
}

// Whole multiples of a positive period: the first at or above v, and v rounded down.
int32_t CeilToPeriod(int32_t v, int32_t period)
{
    int64_t q = v / period;
    if (static_cast<int64_t>(q) * period < v)
        ++q;
    return static_cast<int32_t>(q * period);
}
} // namespace

// ---------------------------------------------------------------------------------------

void bz_Clock_SetReplayServices(const bzClockReplayServices *services)
{
    gReplay = services ? *services : bzClockReplayServices{};
}

int32_t bz_Clock_GetFixedFrameTime(float *outSeconds)
{
    if (!ReplayFixed())
        return 0;
    if (outSeconds)
        *outSeconds = gReplay.timing->fixedFrameTime;
    return 1;
}

void bz_Clock_UpdateReplayTiming()
{
    if (gReplay.updateFrameTiming)
        gReplay.updateFrameTiming();
}

void PDInitTimer()
{
    uint64_t start = 0;
    gFrequency = PDQueryFrequency();
    gCounterAvailable = gFrequency != 0 && PDQueryCounter(&start);
    if (!gCounterAvailable)
    {
        gFrequency = 0;
        gStartCount = 0;
        return;
    }
    gStartCount = start;
}

void bz_InitClock()
{
    PDInitTimer();
}

uint32_t PDGetMilliseconds()
{
    uint64_t now;
    if (!ClockRuns() || !PDQueryCounter(&now))
        return 0;
    uint64_t delta = now - gStartCount;
    // Keep the result within 32 bits: move the start on by whole spans of 2^32 ms.
    uint64_t span = gFrequency * 4294967ull;
    if (delta > span)
    {
        gStartCount += delta / span * span;
        delta = now - gStartCount;
    }
    return static_cast<uint32_t>(delta * 1000 / gFrequency);
}

uint32_t bz_GetMilliseconds()
{
    return PDGetMilliseconds();
}

uint32_t bz_GetMicroseconds()
{
    uint64_t now;
    if (!ClockRuns() || !PDQueryCounter(&now))
        return 0;
    // Rounded microseconds without overflow: whole seconds, then the rest.
    uint64_t delta = now - gStartCount;
    uint64_t us = delta / gFrequency * 1000000ull +
                  ((delta % gFrequency) * 1000000ull + gFrequency / 2) / gFrequency;
    return static_cast<uint32_t>(us);
}

float bz_GetClockSeconds()
{
    return static_cast<float>(PDGetMilliseconds()) * 0.001f;
}

void bz_WaitMs(uint32_t ms)
{
    if (ms == 0 || !ClockRuns())
        return;
    uint32_t start = PDGetMilliseconds();
    for (;;)
    {
        uint32_t passed = PDGetMilliseconds() - start;
        if (passed >= ms || !IdleMs(ms - passed))
            return;
    }
}

void bz_WaitSeconds(float seconds)
{
    if (!(seconds > 0.0f) || !ClockRuns())
        return;
    float start = bz_GetClockSeconds();
    for (;;)
    {
        float passed = bz_GetClockSeconds() - start;
        if (passed >= seconds)
            return;
        double left = (static_cast<double>(seconds) - passed) * 1000.0;
        if (!IdleMs(static_cast<uint32_t>(left < 1.0 ? 1.0 : left > 4.0e9 ? 4.0e9 : left)))
            return;
    }
}

// ---------------------------------------------------------------------------------------

float bz_GetElapsedSeconds()
{
    return EngineSeconds();
}

int32_t bz_GetElapsedMs()
{
    return EngineMs();
}

void bz_SetTimeMark(int32_t ms)
{
    gMark += static_cast<uint32_t>(ms);
    if (ms > 0)
        gTime = WrapAdd(gTime, -static_cast<int64_t>(ms));
}

void bz_SetTimeMarkSeconds(float seconds)
{
    bz_SetTimeMark(SecondsToMs(seconds));
}

uint32_t bz_GetMark()
{
    return gMark;
}

float bz_GetMarkSeconds()
{
    return static_cast<float>(gMark) * 0.001f;
}

void bz_Clock_Pause()
{
    if (gPauseDepth++ == 0)
        gPauseStart = PDGetMilliseconds();
}

namespace
{
// Leaves the outermost pause: the mark moves on by the paused span. Frames that ran during a
// pause moved the smoothed time on with the clock, so it falls back with the mark; during a
// freeze it stood still and stays.
void ResumeClock(bool lowerSmoothedTime)
{
    if (gPauseDepth <= 0)
        return;
    if (--gPauseDepth == 0)
    {
        int32_t span = static_cast<int32_t>(PDGetMilliseconds() - gPauseStart);
        gMark += static_cast<uint32_t>(span);
        if (span > 0 && lowerSmoothedTime)
            gTime = WrapAdd(gTime, -static_cast<int64_t>(span));
    }
}
} // namespace

void bz_Clock_Resume()
{
    ResumeClock(true);
}

void bz_Clock_Freeze()
{
    if (gFreezeDepth == 0)
    {
        gFrozenTime = EngineSeconds();
        gFreezeDepth = 1;
        bz_Clock_Pause();
    }
    else
        ++gFreezeDepth;
}

void bz_Clock_Unfreeze()
{
    if (gFreezeDepth <= 0)
        return;
    if (--gFreezeDepth == 0)
    {
        ResumeClock(false);
        gFrozenTime = 0.0f;
    }
}

// ---------------------------------------------------------------------------------------

#define BZ_FRAME_QUERY(msName, secondsName, field, replayField)                                    \
    int32_t msName()                                                                               \
    {                                                                                              \
        return ReplayFixed() ? SecondsToMs(gReplay.timing->replayField) : field;                   \
    }                                                                                              \
    float secondsName()                                                                            \
    {                                                                                              \
        return ReplayFixed() ? gReplay.timing->replayField : static_cast<float>(field) * 0.001f;   \
    }

BZ_FRAME_QUERY(bz_GetTimeMs, bz_GetCurrentTime, gTime, currentTime)
BZ_FRAME_QUERY(bz_GetRawTimeMs, bz_GetRawTimeSeconds, gRawTime, rawTime)
BZ_FRAME_QUERY(bz_GetPrevTimeMs, bz_GetPrevTimeSeconds, gPrevTime, prevTime)
BZ_FRAME_QUERY(bz_GetFrameMs, bz_GetFrameSeconds, gFrameTime, frameTime)
BZ_FRAME_QUERY(bz_GetRawFrameMs, bz_GetRawFrameSeconds, gRawFrameTime, rawFrameTime)
BZ_FRAME_QUERY(bz_GetPrevFrameMs, bz_GetPrevFrameSeconds, gPrevFrameTime, prevFrameTime)

#undef BZ_FRAME_QUERY

float bz_GetFramesPerSecond()
{
    if (gAccumulator < 1)
        return 1.0f;
    return 10000.0f / static_cast<float>(gAccumulator);
}

float bz_GetTickDelta()
{
    return static_cast<float>(gTickDeltaMs) * 0.001f;
}

uint32_t bz_GetTickDeltaMs()
{
    return gTickDeltaMs;
}

uint32_t bz_GetTickDeltaUs()
{
    return gTickDeltaUs;
}

void bz_SetFrameRate(int32_t count, float rate)
{
    if (count != 0)
    {
        gFrameMode = count;
        gFrameRate = rate;
    }
    else
    {
        gFrameMode = 1;
        gFrameRate = 0.0f;
    }
}

float bz_GetFrameRate()
{
    return gFrameRate;
}

int32_t bz_GetFrameStepCount()
{
    return gFrameMode;
}

// ---------------------------------------------------------------------------------------

void bz_Timer_Init(int32_t mode, float rate)
{
    gTimerStarted = true;
    bz_TimingStats_Create(5, "S DRAW:     ", 5);
    bz_SetFrameRate(mode, mode == 0 ? 0.0f : rate);
    bz_Clock_Reset();
}

void bz_Clock_Reset()
{
    gMark = PDGetMilliseconds();
    ResetSmoothing();
    gPauseDepth = 0;
    bz_TimerSlots_Clear();
}

void bz_Clock_ResetToPeriod()
{
    gMark = PDGetMilliseconds();
    gTime = 0;
    gRawTime = 0;
    gFrameTime = 0;
    gRawFrameTime = 0;
    gPrevFrameTime = 0;
}

void bz_Timer_SmoothFrame()
{
    if (ReplayFixed())
        return;
    gPrevTime = gTime;
    gPrevFrameTime = gFrameTime;
    if (gFreezeDepth > 0)
    {
        gRawFrameTime = 0;
        gFrameTime = 0;
        gRawTime = gTime;
        return;
    }
    // Wait for the clock to move on, but never on a clock that cannot.
    int32_t now = EngineMs();
    while (now == gRawTime && IdleMs(1))
        now = EngineMs();

    int64_t d = Diff(now, gRawTime);
    int32_t base = gTime;
    if (d > kStallMs)
    {
        d = gAccumulator / kAverageScale;
        base = now;
    }
    else if (d < 1)
        d = 0;
    gRawFrameTime = static_cast<int32_t>(d);
    // Nine tenths of the old average plus the new frame; the smoothed time runs one average
    // frame ahead of the clock.
    gAccumulator = ((kAverageScale - 1) * gAccumulator) / kAverageScale + gRawFrameTime;
    gTime = WrapAdd(now, gAccumulator / kAverageScale);
    gFrameTime = WrapAdd(gTime, -static_cast<int64_t>(base));
    if (gFrameTime <= 0)
    {
        gFrameTime = 1;
        gTime = WrapAdd(base, 1);
    }
    gRawTime = now;
}

void bz_Timer_FrameTick()
{
    bz_Timer_SmoothFrame();
    bz_TimingStats_Update();
}

int32_t bz_Timer_FrameUpdate()
{
    if (ReplayFixed())
    {
        const bzReplayTiming *timing = gReplay.timing;
        if (!timing->paused)
        {
            float speed = gReplay.getEffectiveRate ? gReplay.getEffectiveRate() : timing->speed;
            uint32_t clock = PDGetMilliseconds();
            if (speed != 0.0f && gHaveWallTime)
            {
                int32_t target =
                    bz_SaturateToInt(static_cast<double>(timing->fixedFrameTime * 1000.0f) /
                                     static_cast<double>(speed));
                int64_t wait = static_cast<int64_t>(gPrevWallTime) + target - clock;
                if (wait >= 0)
                    bz_WaitMs(static_cast<uint32_t>(wait > UINT32_MAX ? UINT32_MAX : wait));
                else if (gReplay.passLateTime)
                    gReplay.passLateTime(wait < INT32_MIN ? INT32_MIN : static_cast<int32_t>(wait));
            }
        }
        gPrevWallTime = PDGetMilliseconds();
        gHaveWallTime = true;
        return 0;
    }
    gHaveWallTime = false;
    gPrevWallTime = 0;
    // A rate of 0 or less would ask for an endless wait: no cap then.
    if (gFrameMode == 2 && gFrameRate > 0.0f)
    {
        float t0 =
            ReplayPlaying() ? gReplay.timing->rawTime : static_cast<float>(gRawTime) * 0.001f;
        float now = EngineSeconds();
        bz_WaitSeconds(t0 + 1.0f / gFrameRate - now);
    }
    return 0;
}

void bz_Timer_HiResTick()
{
    uint32_t ms = PDGetMilliseconds();
    uint32_t us = bz_GetMicroseconds();
    gTickDeltaMs = ms - gTickLastMs;
    gTickDeltaUs = us - gTickLastUs;
    gTickLastMs = ms;
    gTickLastUs = us;
    for (bzTimerSlot &slot : gSlots)
        if (slot.kind == 1)
            bz_TimerSlot_Tick(&slot);
}

bzTimerSlot *bz_TimerSlot_Set(int32_t mostSteps, int32_t periodMs, int32_t kind,
                              int32_t (*step)(int32_t, int32_t), void (*begin)(int32_t, int32_t),
                              void (*end)(int32_t, int32_t, int32_t))
{
    if (periodMs <= 0 || kind == 0)
        return nullptr;
    for (bzTimerSlot &slot : gSlots)
    {
        if (slot.kind != 0)
            continue;
        slot.step = step;
        slot.begin = begin;
        slot.end = end;
        slot.period = periodMs;
        slot.next = 0;
        slot.kind = kind;
        slot.mostSteps = mostSteps > 0 ? mostSteps : 20;
        return &slot;
    }
    return nullptr;
}

void bz_TimerSlot_Tick(bzTimerSlot *slot)
{
    if (!slot || slot->kind == 0 || slot->period <= 0)
        return;
    const int32_t period = slot->period;
    if (slot->begin)
        slot->begin(period, slot->next);
    int32_t now = ReplayPlaying() ? SecondsToMs(gReplay.timing->currentTime) : gTime;
    if (Diff(now, slot->next) > kStallMs)
        slot->next = (now - 1) / period * period; // whole periods skipped
    int32_t steps = 0;
    bool overrun = false;
    for (;;)
    {
        if (slot->next != 0 && slot->next >= now)
            break;
        if (steps >= slot->mostSteps)
        {
            overrun = true;
            break;
        }
        ++steps;
        if (slot->next == 0)
        {
            int32_t prev = ReplayPlaying() ? SecondsToMs(gReplay.timing->prevTime) : gPrevTime;
            slot->next = static_cast<int32_t>((static_cast<int64_t>(prev) / period + 1) * period);
        }
        else
            slot->next = WrapAdd(slot->next, period);
        if (!slot->step || !slot->step(period, slot->next))
            break;
    }
    if (overrun)
        slot->next = CeilToPeriod(now, period);
    if (slot->end)
        slot->end(static_cast<int32_t>(Diff(slot->next, now)), steps == 0 ? 1 : 0, overrun ? 1 : 0);
}

void bz_TimerSlots_TickKind2()
{
    for (bzTimerSlot &slot : gSlots)
        if (slot.kind == 2)
            bz_TimerSlot_Tick(&slot);
}

void bz_TimerSlot_TickKind3(bzTimerSlot *slot)
{
    if (slot && slot->kind == 3)
        bz_TimerSlot_Tick(slot);
}

void bz_TimerSlots_Clear()
{
    for (bzTimerSlot &slot : gSlots)
        slot = bzTimerSlot{};
}

// ---------------------------------------------------------------------------------------

float bz_WaveAtTime(float time, float f, float minimum, float maximum, float phase)
{
    double angle = WavePhase(time, f, phase) * 6.283185307179586;
    return static_cast<float>((std::sin(angle) + 1.0) * (maximum - minimum) * 0.5 + minimum);
}

int32_t bz_SquareAtTime(float time, float f, float duty, float phase)
{
    return duty * 0.01 > WavePhase(time, f, phase) ? 1 : 0;
}

float bz_SineWave(float f, float minimum, float maximum, float phase)
{
    return bz_WaveAtTime(EngineSeconds(), f, minimum, maximum, phase);
}

int32_t bz_Timer_FrontEndValue(float f, float duty, float phase)
{
    return bz_SquareAtTime(EngineSeconds(), f, duty, phase);
}

float bz_ReplaySineWave(float f, float minimum, float maximum, float phase)
{
    return bz_WaveAtTime(ReplayOrEngineSeconds(), f, minimum, maximum, phase);
}

int32_t bz_ReplaySquareWave(float f, float duty, float phase)
{
    return bz_SquareAtTime(ReplayOrEngineSeconds(), f, duty, phase);
}

// ---------------------------------------------------------------------------------------

int32_t bz_CallTimerHook(bzTimerHook *record, void *argument)
{
    if (!record || !record->function)
        return 0;
    record->result = record->function(argument);
    return record->result;
}

void bz_ClearHookResult(bzTimerHook *record)
{
    if (record)
        record->result = 0;
}
