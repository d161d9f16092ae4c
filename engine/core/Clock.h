// The engine clock: milliseconds of the PC counter, engine time since the time mark, pause and
// freeze, the smoothed frame time, the frame-rate cap, fixed-period timer slots, statistics
// records (TimingStats.h) and periodic waves.
// While the action replay plays back with fixed frame times, the frame-time queries answer
// with the replay's recorded values.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------
// What the clock reads of its neighbours. Each is installed by its owner; with none
// installed the clock runs on its own (no replay).

// The action replay's timing words.
struct bzReplayTiming
{
    int32_t playbackMode; // the replay plays back while this is above 1
    int32_t fixedTimes;   // with playback: the recorded times replace the clock's
    float fixedFrameTime; // seconds
    float currentTime;    // the six recorded times, in seconds
    float rawTime;
    float prevTime;
    float frameTime;
    float rawFrameTime;
    float prevFrameTime;
    float speed;    // playback speed: 1.0 real time, 0 no pacing
    int32_t paused; // non-zero while the replay is paused
};

struct bzClockReplayServices
{
    const bzReplayTiming *timing;
    // The current playback rate (1.0 real time; 0 when not playing back or paused).
    float (*getEffectiveRate)();
    // Takes a negative pacing wait (ms) when a frame ran late during fixed-time playback.
    void (*passLateTime)(int32_t negativeWaitMs);
    // Updates the replay's frame timing estimates; called by bz_PrintFrameStats.
    void (*updateFrameTiming)();
};
// Installs the replay's services (copied); null removes them.
void bz_Clock_SetReplayServices(const bzClockReplayServices *services);
// Lets the replay update its frame timing estimates (once a frame, by the statistics panel).
void bz_Clock_UpdateReplayTiming();
// While the replay plays back with fixed frame times: 1 and the replay's fixed frame time in
// seconds, which the per-frame effects step by; 0 otherwise, nothing written.
int32_t bz_Clock_GetFixedFrameTime(float *outSeconds);

// ---------------------------------------------------------------------------------------
// The counter and the clock

// Reads the counter's frequency and start count; without a counter the clock is off.
void PDInitTimer();
void bz_InitClock();
// Milliseconds since the counter's start; 0 until bz_Timer_Init has run or without a counter.
uint32_t PDGetMilliseconds();
uint32_t bz_GetMilliseconds();
// Microseconds since the counter's start (wrapping at 32 bits); 0 when the clock is off.
uint32_t bz_GetMicroseconds();
float bz_GetClockSeconds();
// Wait until the clock has advanced n ms / s seconds. Neither waits on a clock that is off or
// a counter that cannot advance.
void bz_WaitMs(uint32_t ms);
void bz_WaitSeconds(float seconds);

// ---------------------------------------------------------------------------------------
// Engine time: clock - mark, or the frozen time while frozen

float bz_GetElapsedSeconds();
int32_t bz_GetElapsedMs();
// Moves the mark by ms; a positive amount also lowers the smoothed time by it.
void bz_SetTimeMark(int32_t ms);
void bz_SetTimeMarkSeconds(float seconds);
uint32_t bz_GetMark();
float bz_GetMarkSeconds();
// Nested; paused time never shows in engine time.
void bz_Clock_Pause();
void bz_Clock_Resume();
// Nested; while frozen, engine time and the waves stand at the time of the outermost freeze.
void bz_Clock_Freeze();
void bz_Clock_Unfreeze();

// ---------------------------------------------------------------------------------------
// Frame times (ms and seconds)

int32_t bz_GetTimeMs(); // smoothed current time since the mark
float bz_GetCurrentTime();
int32_t bz_GetRawTimeMs(); // raw time of the last update
float bz_GetRawTimeSeconds();
int32_t bz_GetPrevTimeMs(); // smoothed time of the previous frame
float bz_GetPrevTimeSeconds();
int32_t bz_GetFrameMs(); // smoothed frame time
float bz_GetFrameSeconds();
int32_t bz_GetRawFrameMs(); // raw frame time after clamping
float bz_GetRawFrameSeconds();
int32_t bz_GetPrevFrameMs(); // previous frame's smoothed frame time
float bz_GetPrevFrameSeconds();

// 10,000 / (ten times the running average frame time), or 1.0 before there is one.
float bz_GetFramesPerSecond();
// Deltas of the last high-resolution tick.
float bz_GetTickDelta();
uint32_t bz_GetTickDeltaMs();
uint32_t bz_GetTickDeltaUs();
// Frame-cap mode (1 none, 2 cap at the rate) and the rate in frames per second.
void bz_SetFrameRate(int32_t count, float rate);
float bz_GetFrameRate();
int32_t bz_GetFrameStepCount();

// ---------------------------------------------------------------------------------------
// Frame driving

// Starts the timer: statistics record 5 "S DRAW:     ", the frame-cap mode and rate (mode 0
// means no cap), then bz_Clock_Reset.
void bz_Timer_Init(int32_t mode, float rate);
// Mark = clock, smoothing state to its reset values, no pause, all timer slots free.
void bz_Clock_Reset();
// Mark = clock; smoothed time, raw time and frame periods become 0.
void bz_Clock_ResetToPeriod();
// The frame-time smoothing step, once a frame.
void bz_Timer_SmoothFrame();
// The smoothing step, then bz_TimingStats_Update.
void bz_Timer_FrameTick();
// Frame-rate cap or replay pacing; returns 0.
int32_t bz_Timer_FrameUpdate();
// Measures the deltas since the previous tick and ticks every timer slot of kind 1.
void bz_Timer_HiResTick();

// A fixed-period timer slot. Writing kind 0 frees it.
struct bzTimerSlot
{
    // Called once per due period with (period, due time); returning 0 stops this tick.
    int32_t (*step)(int32_t period, int32_t due);
    void (*begin)(int32_t period, int32_t next);
    // (time from now to the next due time, 1 when no step ran, 1 when the step limit was hit)
    void (*end)(int32_t untilNext, int32_t noStep, int32_t overrun);
    int32_t period; // ms
    int32_t next;   // next due time, ms; 0 before the first step
    int32_t kind;   // 0 free; 1 ticked by the high-resolution tick, 2 by TickKind2, 3 by its owner
    int32_t mostSteps;
};
constexpr int32_t BZ_TIMER_SLOTS = 20;
// Takes the first free slot; null when none is free or the period is not positive. A step
// limit of 0 means 20.
bzTimerSlot *bz_TimerSlot_Set(int32_t mostSteps, int32_t periodMs, int32_t kind,
                              int32_t (*step)(int32_t, int32_t), void (*begin)(int32_t, int32_t),
                              void (*end)(int32_t, int32_t, int32_t));
void bz_TimerSlot_Tick(bzTimerSlot *slot);
void bz_TimerSlots_TickKind2();
void bz_TimerSlot_TickKind3(bzTimerSlot *slot);
void bz_TimerSlots_Clear();

// ---------------------------------------------------------------------------------------
// Waves: frequency f in Hz, phase p in percent of a period

// Between minimum and maximum at engine time (the frozen time while frozen).
float bz_SineWave(float f, float minimum, float maximum, float phase);
// 1 while duty percent of the period has not passed, else 0.
int32_t bz_Timer_FrontEndValue(float f, float duty, float phase);
// The same at the replay's time while it plays back, else at engine time.
float bz_ReplaySineWave(float f, float minimum, float maximum, float phase);
int32_t bz_ReplaySquareWave(float f, float duty, float phase);
// The same at a given time in seconds.
float bz_WaveAtTime(float time, float f, float minimum, float maximum, float phase);
int32_t bz_SquareAtTime(float time, float f, float duty, float phase);

// A hook record: the function, when present, is called with an argument; its result is kept.
struct bzTimerHook
{
    int32_t (*function)(void *argument);
    int32_t result;
};
int32_t bz_CallTimerHook(bzTimerHook *record, void *argument);
void bz_ClearHookResult(bzTimerHook *record);
