#include "ClockVirtualCounter.h"

#include "core/Clock.h"
#include "pc/PcTime.h"
#include "render/Font.h"
#include "render/RenderTable.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace
{
// ---------------------------------------------------------------------------------------
// The counter and the clock

TEST(ClockTest, MillisecondsFollowTheCounterOnlyOnceTheTimerIsStarted)
{
    VirtualCounter counter;
    counter.AdvanceMs(50);
    counter.StartTimer();
    EXPECT_EQ(PDGetMilliseconds(), 50u);
    counter.AdvanceCounts(1499); // 1.499 ms: truncated
    EXPECT_EQ(PDGetMilliseconds(), 51u);
    EXPECT_EQ(bz_GetMicroseconds(), 51499u);
    EXPECT_FLOAT_EQ(bz_GetClockSeconds(), 0.051f);
    EXPECT_EQ(bz_GetMilliseconds(), PDGetMilliseconds());
}

TEST(ClockTest, MillisecondsStayWithin32BitsByMovingTheStart)
{
    VirtualCounter counter(VirtualCounter::kAdvancesOnWait, 1000); // one count a millisecond
    counter.StartTimer();
    counter.AdvanceCounts(4294967ull * 1000 + 5000);
    EXPECT_EQ(PDGetMilliseconds(), 5000u);
    counter.AdvanceMs(10);
    EXPECT_EQ(PDGetMilliseconds(), 5010u);
}

TEST(ClockTest, ClockWithoutCounterReadsZeroAndNeverWaits)
{
    VirtualCounter counter(VirtualCounter::kAdvancesOnWait, 0); // frequency 0: no counter
    counter.StartTimer();
    counter.AdvanceMs(100);
    EXPECT_EQ(PDGetMilliseconds(), 0u);
    EXPECT_EQ(bz_GetMicroseconds(), 0u);
    bz_WaitMs(100);
    bz_WaitSeconds(1.0f);
    bz_Timer_SmoothFrame();
    bz_Timer_SmoothFrame();
    EXPECT_EQ(counter.IdleCalls(), 0);
    EXPECT_GE(bz_GetFrameMs(), 1);
}

TEST(ClockTest, WaitsAdvanceAWaitableCounterAndGiveUpOnAStoppedOne)
{
    VirtualCounter counter;
    counter.StartTimer();
    bz_WaitMs(15);
    EXPECT_EQ(PDGetMilliseconds(), 15u);
    bz_WaitSeconds(0.25f);
    EXPECT_GE(PDGetMilliseconds(), 265u);
    EXPECT_LE(PDGetMilliseconds(), 266u);
    bz_WaitSeconds(-1.0f);
    EXPECT_LE(PDGetMilliseconds(), 266u);

    counter.SetMode(VirtualCounter::kStopped);
    int before = counter.IdleCalls();
    bz_WaitMs(1000);
    bz_WaitSeconds(5.0f);
    EXPECT_EQ(counter.IdleCalls(), before + 2); // one try each, then they give up
}

TEST(ClockTest, RealCounterAdvances)
{
    PDInitTimer();
    bz_Timer_Init(0, 0.0f);
    uint32_t start = PDGetMilliseconds();
    bz_WaitMs(3);
    EXPECT_GE(PDGetMilliseconds() - start, 3u);
}

// ---------------------------------------------------------------------------------------
// Engine time

TEST(ClockTest, PauseLeavesEngineTimeWhereItWas)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(1000);
    ASSERT_EQ(bz_GetElapsedMs(), 1000);
    bz_Clock_Pause();
    counter.AdvanceMs(2000);
    bz_Clock_Pause(); // nested: only the outermost pair counts
    counter.AdvanceMs(1000);
    bz_Clock_Resume();
    counter.AdvanceMs(2000);
    bz_Clock_Resume();
    EXPECT_EQ(bz_GetElapsedMs(), 1000);
    EXPECT_FLOAT_EQ(bz_GetElapsedSeconds(), 1.0f);
    EXPECT_EQ(bz_GetMark(), 5000u);
    bz_Clock_Resume(); // unbalanced: ignored
    counter.AdvanceMs(10);
    EXPECT_EQ(bz_GetElapsedMs(), 1010);
}

TEST(ClockTest, ResumeLowersTheSmoothedTimeThatRanOnDuringThePause)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(1000);
    bz_Timer_SmoothFrame();
    bz_Clock_Pause();
    for (int i = 0; i < 100; ++i) // frames go on during a pause
    {
        counter.AdvanceMs(30);
        bz_Timer_SmoothFrame();
    }
    int32_t smoothed = bz_GetTimeMs();
    bz_Clock_Resume();
    EXPECT_EQ(bz_GetTimeMs(), smoothed - 3000);
    counter.AdvanceMs(30);
    bz_Timer_SmoothFrame();
    EXPECT_GE(bz_GetFrameMs(), 1);
    EXPECT_LE(bz_GetFrameMs(), 60);
}

TEST(ClockTest, FreezeHoldsEngineTimeAndTheWaves)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(1250);
    bz_Timer_SmoothFrame();
    bz_Clock_Freeze();
    bz_Clock_Freeze();
    for (int i = 0; i < 10; ++i)
    {
        counter.AdvanceMs(500);
        bz_Timer_SmoothFrame();
        EXPECT_EQ(bz_GetFrameMs(), 0);
        EXPECT_EQ(bz_GetRawFrameMs(), 0);
    }
    EXPECT_FLOAT_EQ(bz_GetElapsedSeconds(), 1.25f);
    EXPECT_EQ(bz_GetElapsedMs(), 1250);
    EXPECT_EQ(bz_Timer_FrontEndValue(1.0f, 50.0f, 0.0f), 1);       // phase 0.25
    EXPECT_NEAR(bz_SineWave(1.0f, -2.0f, 4.0f, 0.0f), 4.0f, 1e-4); // sin(90 degrees)
    bz_Clock_Unfreeze();
    EXPECT_FLOAT_EQ(bz_GetElapsedSeconds(), 1.25f); // still frozen
    bz_Clock_Unfreeze();
    EXPECT_EQ(bz_GetElapsedMs(), 1250);
    // The frozen span does not come back as one huge frame.
    counter.AdvanceMs(30);
    bz_Timer_SmoothFrame();
    EXPECT_LE(bz_GetFrameMs(), 60);
    EXPECT_GE(bz_GetFrameMs(), 1);
    counter.AdvanceMs(30);
    bz_Timer_SmoothFrame();
    EXPECT_LE(bz_GetFrameMs(), 60);
}

TEST(ClockTest, TimeMarkMovesEngineTime)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(3000);
    bz_Timer_SmoothFrame();
    int32_t smoothed = bz_GetTimeMs();
    bz_SetTimeMark(1000);
    EXPECT_EQ(bz_GetElapsedMs(), 2000);
    EXPECT_EQ(bz_GetTimeMs(), smoothed - 1000);
    bz_SetTimeMarkSeconds(0.5f);
    EXPECT_EQ(bz_GetElapsedMs(), 1500);
    EXPECT_EQ(bz_GetMark(), 1500u);
    EXPECT_FLOAT_EQ(bz_GetMarkSeconds(), 1.5f);
    bz_SetTimeMark(-500); // a negative amount leaves the smoothed time alone
    EXPECT_EQ(bz_GetElapsedMs(), 2000);
    EXPECT_EQ(bz_GetTimeMs(), smoothed - 1500);
}

// ---------------------------------------------------------------------------------------
// Smoothing

TEST(ClockTest, ResetValuesGiveThirtyThreeFramesASecond)
{
    VirtualCounter counter;
    counter.StartTimer();
    EXPECT_NEAR(bz_GetFramesPerSecond(), 33.33f, 0.005f);
    EXPECT_EQ(bz_GetFrameMs(), 30);
    EXPECT_EQ(bz_GetTimeMs(), 30);
    EXPECT_EQ(bz_GetPrevFrameMs(), 30);
    EXPECT_EQ(bz_GetRawTimeMs(), 0);
}

TEST(ClockTest, SmoothingFollowsTheRunningAverage)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(100);
    bz_Timer_SmoothFrame(); // d = 100: accumulator 270 + 100 = 370
    EXPECT_EQ(bz_GetRawFrameMs(), 100);
    EXPECT_EQ(bz_GetRawTimeMs(), 100);
    EXPECT_EQ(bz_GetTimeMs(), 137);
    EXPECT_EQ(bz_GetFrameMs(), 107); // 137 - 30
    EXPECT_EQ(bz_GetPrevTimeMs(), 30);
    EXPECT_NEAR(bz_GetFramesPerSecond(), 10000.0f / 370.0f, 1e-3);
    counter.AdvanceMs(40);
    bz_Timer_SmoothFrame(); // accumulator 333 + 40 = 373
    EXPECT_EQ(bz_GetTimeMs(), 177);
    EXPECT_EQ(bz_GetFrameMs(), 40);
    EXPECT_EQ(bz_GetPrevFrameMs(), 107);
    EXPECT_FLOAT_EQ(bz_GetFrameSeconds(), 0.04f);
    EXPECT_FLOAT_EQ(bz_GetCurrentTime(), 0.177f);
}

TEST(ClockTest, TwoSecondGapGivesTheRunningAverage)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(100);
    bz_Timer_SmoothFrame();
    counter.AdvanceMs(40);
    bz_Timer_SmoothFrame(); // accumulator 373: running average 37 ms
    counter.AdvanceMs(2000);
    bz_Timer_SmoothFrame();
    EXPECT_EQ(bz_GetFrameMs(), 37);
    EXPECT_EQ(bz_GetRawFrameMs(), 37);
    EXPECT_EQ(bz_GetTimeMs(), 2140 + 37); // the gap is dropped, not smoothed over
    EXPECT_EQ(bz_GetRawTimeMs(), 2140);
}

TEST(ClockTest, SecondUpdateInTheSameMillisecondWaitsForTheClock)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(100);
    bz_Timer_SmoothFrame();
    uint64_t before = counter.Counts();
    bz_Timer_SmoothFrame();
    EXPECT_EQ(counter.Counts() - before, 1000u); // waited exactly one millisecond
    EXPECT_EQ(bz_GetRawFrameMs(), 1);
    EXPECT_EQ(bz_GetRawTimeMs(), 101);
}

TEST(ClockTest, StoppedClockNeverHangsAndFrameTimeStaysAtLeastOne)
{
    VirtualCounter counter(VirtualCounter::kStopped);
    counter.StartTimer();
    counter.AdvanceMs(100);
    for (int i = 0; i < 50; ++i)
    {
        bz_Timer_SmoothFrame();
        EXPECT_GE(bz_GetFrameMs(), 1);
    }
    EXPECT_EQ(bz_GetRawFrameMs(), 0);
    EXPECT_LE(counter.IdleCalls(), 50); // one try a frame at most
}

TEST(ClockTest, FrameTimeIsNeverBelowOneMillisecond)
{
    VirtualCounter counter;
    counter.StartTimer();
    // Long frames build a large average, then a run of 1 ms frames pulls the smoothed time
    // below the previous one.
    for (int i = 0; i < 20; ++i)
    {
        counter.AdvanceMs(400);
        bz_Timer_SmoothFrame();
    }
    for (int i = 0; i < 20; ++i)
    {
        counter.AdvanceMs(1);
        bz_Timer_SmoothFrame();
        EXPECT_GE(bz_GetFrameMs(), 1);
        EXPECT_GT(bz_GetTimeMs(), bz_GetPrevTimeMs());
    }
}

TEST(ClockTest, ResetToPeriodZeroesTheSmoothedTimes)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(700);
    bz_Timer_SmoothFrame();
    bz_Clock_ResetToPeriod();
    EXPECT_EQ(bz_GetMark(), 700u);
    EXPECT_EQ(bz_GetElapsedMs(), 0);
    EXPECT_EQ(bz_GetTimeMs(), 0);
    EXPECT_EQ(bz_GetRawTimeMs(), 0);
    EXPECT_EQ(bz_GetFrameMs(), 0);
    EXPECT_EQ(bz_GetRawFrameMs(), 0);
}

// ---------------------------------------------------------------------------------------
// Frame cap

TEST(ClockTest, FrameCapKeepsFramesApart)
{
    VirtualCounter counter;
    counter.StartTimer(2, 50.0f); // 20 ms a frame
    EXPECT_EQ(bz_GetFrameStepCount(), 2);
    EXPECT_FLOAT_EQ(bz_GetFrameRate(), 50.0f);
    counter.AdvanceMs(100);
    bz_Timer_SmoothFrame(); // raw time 100
    counter.AdvanceMs(5);
    EXPECT_EQ(bz_Timer_FrameUpdate(), 0);
    EXPECT_GE(bz_GetElapsedMs(), 120);
    EXPECT_LE(bz_GetElapsedMs(), 121);
    // A frame that is already late does not wait.
    bz_Timer_SmoothFrame();
    counter.AdvanceMs(45);
    uint32_t before = PDGetMilliseconds();
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), before);
}

TEST(ClockTest, FrameRateSettings)
{
    VirtualCounter counter;
    counter.StartTimer(0, 60.0f); // mode 0: no cap, rate 0
    EXPECT_EQ(bz_GetFrameStepCount(), 1);
    EXPECT_FLOAT_EQ(bz_GetFrameRate(), 0.0f);
    bz_SetFrameRate(2, 25.0f);
    EXPECT_EQ(bz_GetFrameStepCount(), 2);
    EXPECT_FLOAT_EQ(bz_GetFrameRate(), 25.0f);
    bz_SetFrameRate(0, 25.0f);
    EXPECT_EQ(bz_GetFrameStepCount(), 1);
    EXPECT_FLOAT_EQ(bz_GetFrameRate(), 0.0f);
    // A cap at rate 0 would wait for ever: it does not wait at all.
    bz_SetFrameRate(2, 0.0f);
    bz_Timer_SmoothFrame();
    uint32_t before = PDGetMilliseconds();
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), before);
}

// ---------------------------------------------------------------------------------------
// Replay playback

struct FakeReplay
{
    static inline bzReplayTiming timing;
    static inline float rate;
    static inline std::vector<int32_t> late;
    static inline int updates;
    static float Rate() { return rate; }
    static void Late(int32_t ms) { late.push_back(ms); }
    static void Update() { ++updates; }
    FakeReplay()
    {
        timing = bzReplayTiming{};
        timing.playbackMode = 2;
        timing.fixedTimes = 1;
        timing.fixedFrameTime = 0.04f;
        timing.currentTime = 12.3456f;
        timing.rawTime = 12.3f;
        timing.prevTime = 12.3056f;
        timing.frameTime = 0.04f;
        timing.rawFrameTime = 0.039f;
        timing.prevFrameTime = 0.0333f;
        timing.speed = 1.0f;
        rate = 1.0f;
        late.clear();
        updates = 0;
        const bzClockReplayServices services = {&timing, Rate, Late, Update};
        bz_Clock_SetReplayServices(&services);
    }
    ~FakeReplay() { bz_Clock_SetReplayServices(nullptr); }
};

TEST(ClockTest, FixedTimePlaybackAnswersWithTheRecordedTimes)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(500);
    bz_Timer_SmoothFrame();
    int32_t ownTime = bz_GetTimeMs();
    {
        FakeReplay replay;
        EXPECT_FLOAT_EQ(bz_GetCurrentTime(), 12.3456f);
        EXPECT_EQ(bz_GetTimeMs(), 12345);
        EXPECT_EQ(bz_GetRawTimeMs(), 12300);
        EXPECT_EQ(bz_GetPrevTimeMs(), 12305);
        EXPECT_EQ(bz_GetFrameMs(), 40);
        EXPECT_EQ(bz_GetRawFrameMs(), 39);
        EXPECT_EQ(bz_GetPrevFrameMs(), 33);
        EXPECT_FLOAT_EQ(bz_GetPrevFrameSeconds(), 0.0333f);
        // The smoothing step stands aside.
        counter.AdvanceMs(100);
        bz_Timer_SmoothFrame();
        replay.timing.fixedTimes = 0;
        EXPECT_EQ(bz_GetTimeMs(), ownTime);
    }
    EXPECT_EQ(bz_GetTimeMs(), ownTime);
}

TEST(ClockTest, FixedTimePlaybackIsPacedByThePlaybackRate)
{
    VirtualCounter counter;
    counter.StartTimer();
    FakeReplay replay;
    counter.AdvanceMs(1000);
    bz_Timer_FrameUpdate(); // no previous wall time: no wait
    EXPECT_EQ(PDGetMilliseconds(), 1000u);
    counter.AdvanceMs(10);
    bz_Timer_FrameUpdate(); // 40 ms a frame: waits 30 more
    EXPECT_EQ(PDGetMilliseconds(), 1040u);
    replay.rate = 2.0f; // 20 ms a frame
    counter.AdvanceMs(5);
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), 1060u);
    counter.AdvanceMs(50); // 30 ms late
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), 1110u);
    ASSERT_EQ(replay.late.size(), 1u);
    EXPECT_EQ(replay.late[0], -30);
    replay.timing.paused = 1; // paused: no wait
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), 1110u);
    replay.timing.paused = 0;
    replay.rate = 0.0f; // no pacing
    bz_Timer_FrameUpdate();
    EXPECT_EQ(PDGetMilliseconds(), 1110u);
}

// ---------------------------------------------------------------------------------------
// Timer slots

struct SlotLog
{
    static inline std::vector<int32_t> steps;
    static inline std::vector<std::vector<int32_t>> ends;
    static inline int32_t stopAfter;
    static int32_t Step(int32_t, int32_t due)
    {
        steps.push_back(due);
        return stopAfter == 0 || static_cast<int32_t>(steps.size()) < stopAfter;
    }
    static void Begin(int32_t, int32_t) {}
    static void End(int32_t untilNext, int32_t noStep, int32_t overrun)
    {
        ends.push_back({untilNext, noStep, overrun});
    }
    SlotLog()
    {
        steps.clear();
        ends.clear();
        stopAfter = 0;
    }
};

// Engine time 1000 with the smoothed time at 1030.
void StartAtOneSecond(VirtualCounter &counter)
{
    counter.StartTimer();
    counter.AdvanceMs(1000);
    bz_Timer_SmoothFrame();
    ASSERT_EQ(bz_GetTimeMs(), 1030);
}

TEST(ClockTest, TimerSlotCatchesUpAtMostItsLimit)
{
    VirtualCounter counter;
    StartAtOneSecond(counter);
    SlotLog log;
    bzTimerSlot *slot = bz_TimerSlot_Set(5, 20, 3, SlotLog::Step, SlotLog::Begin, SlotLog::End);
    ASSERT_NE(slot, nullptr);
    slot->next = 1030 - 100; // behind by 100 ms: five steps catch up
    bz_TimerSlot_TickKind3(slot);
    EXPECT_EQ(log.steps, (std::vector<int32_t>{950, 970, 990, 1010, 1030}));
    ASSERT_EQ(log.ends.size(), 1u);
    EXPECT_EQ(log.ends[0], (std::vector<int32_t>{0, 0, 0}));

    log = SlotLog();
    slot->next = 1030 - 140; // behind by 140 ms: five steps, then the rest is dropped
    bz_TimerSlot_TickKind3(slot);
    EXPECT_EQ(log.steps, (std::vector<int32_t>{910, 930, 950, 970, 990}));
    EXPECT_EQ(slot->next, 1040); // the first whole period at or above now
    EXPECT_EQ(log.ends[0], (std::vector<int32_t>{10, 0, 1}));

    log = SlotLog();
    bz_TimerSlot_TickKind3(slot); // up to date: no step
    EXPECT_TRUE(log.steps.empty());
    EXPECT_EQ(log.ends[0], (std::vector<int32_t>{10, 1, 0}));
}

TEST(ClockTest, TimerSlotFarBehindSkipsWholePeriods)
{
    VirtualCounter counter;
    StartAtOneSecond(counter);
    SlotLog log;
    bzTimerSlot *slot = bz_TimerSlot_Set(5, 20, 3, SlotLog::Step, nullptr, SlotLog::End);
    slot->next = 1030 - 600;
    bz_TimerSlot_TickKind3(slot);
    // Skipped to 1020, the last whole period before now, then one step.
    EXPECT_EQ(log.steps, (std::vector<int32_t>{1040}));
    EXPECT_EQ(log.ends[0], (std::vector<int32_t>{10, 0, 0}));
}

TEST(ClockTest, TimerSlotFirstStepAndStopByStep)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(100);
    bz_Timer_SmoothFrame(); // smoothed time 137, previous 30
    SlotLog log;
    bzTimerSlot *slot = bz_TimerSlot_Set(0, 20, 3, SlotLog::Step, nullptr, SlotLog::End);
    EXPECT_EQ(slot->mostSteps, 20);
    log.stopAfter = 2;
    bz_TimerSlot_TickKind3(slot);
    // The first due time is the first period above the previous smoothed time; the step's 0
    // ends the tick.
    EXPECT_EQ(log.steps, (std::vector<int32_t>{40, 60}));
    EXPECT_EQ(log.ends[0], (std::vector<int32_t>{60 - 137, 0, 0}));
    log = SlotLog();
    bz_TimerSlot_TickKind3(slot);
    EXPECT_EQ(log.steps, (std::vector<int32_t>{80, 100, 120, 140}));
}

TEST(ClockTest, TimerSlotsByKindAndTable)
{
    VirtualCounter counter;
    StartAtOneSecond(counter);
    SlotLog log;
    bzTimerSlot *k1 = bz_TimerSlot_Set(1, 1000, 1, SlotLog::Step, nullptr, nullptr);
    bzTimerSlot *k2 = bz_TimerSlot_Set(1, 100, 2, SlotLog::Step, nullptr, nullptr);
    bzTimerSlot *k3 = bz_TimerSlot_Set(1, 10, 3, SlotLog::Step, nullptr, nullptr);
    ASSERT_TRUE(k1 && k2 && k3);
    // Each starts more than 500 ms behind: the last whole period before now, then one step.
    bz_Timer_HiResTick();
    EXPECT_EQ(log.steps, (std::vector<int32_t>{2000}));
    bz_TimerSlots_TickKind2();
    EXPECT_EQ(log.steps, (std::vector<int32_t>{2000, 1100}));
    bz_TimerSlot_TickKind3(k2); // not of kind 3: nothing
    bz_TimerSlot_TickKind3(k3);
    EXPECT_EQ(log.steps, (std::vector<int32_t>{2000, 1100, 1030}));

    EXPECT_EQ(bz_TimerSlot_Set(1, 0, 3, SlotLog::Step, nullptr, nullptr), nullptr);
    EXPECT_EQ(bz_TimerSlot_Set(1, -5, 3, SlotLog::Step, nullptr, nullptr), nullptr);
    for (int i = 3; i < BZ_TIMER_SLOTS; ++i)
        EXPECT_NE(bz_TimerSlot_Set(1, 10, 3, SlotLog::Step, nullptr, nullptr), nullptr);
    EXPECT_EQ(bz_TimerSlot_Set(1, 10, 3, SlotLog::Step, nullptr, nullptr), nullptr);
    k2->kind = 0; // writing kind 0 frees a slot
    EXPECT_EQ(bz_TimerSlot_Set(1, 10, 3, SlotLog::Step, nullptr, nullptr), k2);
    bz_TimerSlots_Clear();
    EXPECT_EQ(bz_TimerSlot_Set(1, 10, 3, SlotLog::Step, nullptr, nullptr), k1);
}

TEST(ClockTest, HiResTickMeasuresDeltas)
{
    VirtualCounter counter;
    counter.StartTimer();
    bz_Timer_HiResTick();
    counter.AdvanceCounts(12345);
    bz_Timer_HiResTick();
    EXPECT_EQ(bz_GetTickDeltaUs(), 12345u);
    EXPECT_EQ(bz_GetTickDeltaMs(), 12u);
    EXPECT_FLOAT_EQ(bz_GetTickDelta(), 0.012f);
}

// ---------------------------------------------------------------------------------------
// Statistics and the panel

TEST(ClockTest, StatisticsAverageOverTheRing)
{
    VirtualCounter counter;
    counter.StartTimer();
    // Record 5 is the timer's own: every timer start makes it afresh, so what this test puts
    // there does not outlive it.
    ASSERT_EQ(bz_TimingStats_Create(5, "TEST", 2), 0);
    const int32_t values[] = {10, 20, 30, 41, 100, 100, 100, 100};
    for (int i = 0; i < 8; ++i)
    {
        bz_TimingStats_Add(5, values[i]);
        bz_TimingStats_Update();
        if (i == 2)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 0.0f); // ring not yet full
        }
        if (i == 3)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 25.0f); // 101 / 4 in integers
        }
    }
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 100.0f);
    bz_TimingStats_Add(5, 5);
    bz_TimingStats_Add(5, 6); // several adds in one frame make one sample
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 2.0f); // (11 + 0 + 0 + 0) / 4

    EXPECT_EQ(bz_TimingStats_Create(0, "X", 2), 20);
    EXPECT_EQ(bz_TimingStats_Create(17, "X", 2), 20); // ids 1-16
    EXPECT_EQ(bz_TimingStats_Create(3, "X", -1), 20);
    EXPECT_EQ(bz_TimingStats_Create(3, "X", 9), 20); // 2^0 to 2^8 samples
    bz_TimingStats_Add(-1, 5);                       // ignored
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(99), 0.0f);
}

// The renderer table and the text renderer, recording what the panel draws.
struct FakePanel
{
    static inline std::vector<std::string> printed;
    static inline std::vector<bzViewport *> notes;
    static inline std::vector<uint32_t> rects;
    static inline bzRenderStats stats;
    static inline bzFont font;
    static void Note(bzViewport *v) { notes.push_back(v); }
    static int32_t Rect(float, float, float, float h, uint32_t colour, int32_t, bz_IMGMAP *,
                        uint32_t)
    {
        rects.push_back(colour);
        EXPECT_GT(h, 0.0f);
        EXPECT_EQ(bzg2DDrawMode, nullptr); // drawn to the whole screen
        return 0;
    }
    static int32_t Print(bzFont *, const char *text, uint32_t, float, float y, float)
    {
        printed.push_back(text);
        return static_cast<int32_t>(y);
    }
    static bzFont *Default() { return &font; }
    FakePanel()
    {
        printed.clear();
        notes.clear();
        rects.clear();
        stats = {50.0f, 20000, 30000, 12, 3, 4};
        font = bzFont{};
        font.lineHeight = 12.0f;
        font.scaleY = 1.5f;
        bz_FrameStats_SetRenderStats(&stats);
        bzgRenderTable.PDNote2DViewport = Note;
        bzgRenderTable.PDDraw2DRect = Rect;
        const bzFontDriver driver = {Default, Print, nullptr};
        bz_Font_SetDriver(&driver);
    }
    ~FakePanel()
    {
        bz_FrameStats_SetRenderStats(nullptr);
        bzgRenderTable = PDRenderFunctionTable{};
        bz_Font_SetDriver(nullptr);
    }
};

TEST(ClockTest, FrameStatisticsPanel)
{
    VirtualCounter counter;
    counter.StartTimer();
    FakePanel panel;
    FakeReplay replay;
    replay.timing.playbackMode = 0;
    bzViewport *target = reinterpret_cast<bzViewport *>(&panel); // any address will do
    bzg2DDrawMode = target;

    bz_PrintFrameStats(); // off: nothing drawn, but the replay's timing is updated
    EXPECT_TRUE(panel.printed.empty());
    EXPECT_EQ(replay.updates, 1);

    bz_FrameStats_Toggle();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 1);
    bz_PrintFrameStats();
    EXPECT_EQ(replay.updates, 2);
    const std::vector<std::string> expected = {"FRAMES:\t\t\t50.00",     "FACES PF:\t\t\t20000",
                                               "M FACES PS:\t\t1.0000",  "VERTS PF:\t\t\t30000",
                                               "M VERTS PS:\t\t1.5000",  "MATGROUP PF:\t\t12",
                                               "MATGROUP PS:\t\t600.00", "TEX STATES:\t\t3",
                                               "TEX CHANGES:\t\t4",      "S DRAW:     @J(120)0.00"};
    EXPECT_EQ(panel.printed, expected);
    EXPECT_EQ(panel.rects, (std::vector<uint32_t>{0x80000000u}));
    EXPECT_EQ(panel.notes, (std::vector<bzViewport *>{nullptr, target}));
    EXPECT_EQ(bzg2DDrawMode, target); // restored

    bz_FrameStats_Toggle();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 0);
    panel.printed.clear();
    bz_PrintFrameStats();
    EXPECT_TRUE(panel.printed.empty());
    bzg2DDrawMode = nullptr;
}

// A disabled panel draws nothing, while each call still updates the replay's timing; enabled
// again it draws. Without a renderer or a font it draws nowhere and takes no harm.
TEST(ClockTest, DisabledPanelDrawsNothingButStillUpdatesTheReplay)
{
    VirtualCounter counter;
    counter.StartTimer();
    {
        FakePanel panel;
        FakeReplay replay;
        replay.timing.playbackMode = 0;
        bz_FrameStats_Enable();
        bz_PrintFrameStats();
        EXPECT_EQ(panel.printed.size(), 10u);
        EXPECT_EQ(panel.rects.size(), 1u);
        bz_FrameStats_Disable();
        bz_FrameStats_Disable(); // twice is once
        panel.printed.clear();
        panel.rects.clear();
        bz_PrintFrameStats();
        bz_PrintFrameStats();
        EXPECT_TRUE(panel.printed.empty());
        EXPECT_TRUE(panel.rects.empty());
        EXPECT_EQ(replay.updates, 3);
        bz_FrameStats_Toggle(); // from disabled: enabled
        bz_PrintFrameStats();
        EXPECT_EQ(panel.printed.size(), 10u);
        bz_FrameStats_Disable();
    }
    // No services installed: nothing to draw with, nothing to update.
    bz_FrameStats_Enable();
    bz_PrintFrameStats();
    bz_FrameStats_Disable();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 0);
}

// ---------------------------------------------------------------------------------------
// Waves

TEST(ClockTest, FrontEndValueBlinksHalfASecond)
{
    VirtualCounter counter;
    counter.StartTimer();
    const struct
    {
        uint32_t ms;
        int32_t value;
    } cases[] = {{0, 1},   {100, 1},  {499, 1},  {500, 0},  {750, 0},
                 {999, 0}, {1000, 1}, {1499, 1}, {1500, 0}, {2250, 1}};
    uint32_t now = 0;
    for (const auto &c : cases)
    {
        counter.AdvanceMs(c.ms - now);
        now = c.ms;
        EXPECT_EQ(bz_Timer_FrontEndValue(1.0f, 50.0f, 0.0f), c.value) << c.ms;
    }
}

TEST(ClockTest, WavesAtAGivenTime)
{
    // Quarter period: the top; phase 25 % moves it on by a quarter.
    EXPECT_NEAR(bz_WaveAtTime(0.25f, 1.0f, 0.0f, 10.0f, 0.0f), 10.0f, 1e-4);
    EXPECT_NEAR(bz_WaveAtTime(0.0f, 1.0f, 0.0f, 10.0f, 25.0f), 10.0f, 1e-4);
    EXPECT_NEAR(bz_WaveAtTime(0.375f, 2.0f, 0.0f, 10.0f, 0.0f), 0.0f, 1e-4);
    EXPECT_NEAR(bz_WaveAtTime(0.0f, 1.0f, 2.0f, 4.0f, 0.0f), 3.0f, 1e-4);
    EXPECT_EQ(bz_SquareAtTime(0.1f, 2.0f, 25.0f, 0.0f), 1);
    EXPECT_EQ(bz_SquareAtTime(0.2f, 2.0f, 25.0f, 0.0f), 0);
    EXPECT_EQ(bz_SquareAtTime(-0.2f, 2.0f, 25.0f, 0.0f), 0);  // -0.4 is phase 0.6
    EXPECT_EQ(bz_SquareAtTime(-0.45f, 2.0f, 25.0f, 0.0f), 1); // -0.9 is phase 0.1
    EXPECT_EQ(bz_SquareAtTime(5.0f, 0.0f, 50.0f, 0.0f), 1);   // frequency 0: no NaN
}

TEST(ClockTest, ReplayWavesUseTheReplayTime)
{
    VirtualCounter counter;
    counter.StartTimer();
    counter.AdvanceMs(750);
    EXPECT_EQ(bz_ReplaySquareWave(1.0f, 50.0f, 0.0f), 0);
    FakeReplay replay;
    replay.timing.fixedTimes = 0; // playing back, times not fixed
    replay.timing.currentTime = 3.25f;
    EXPECT_EQ(bz_ReplaySquareWave(1.0f, 50.0f, 0.0f), 1);
    EXPECT_NEAR(bz_ReplaySineWave(1.0f, 0.0f, 1.0f, 0.0f), 1.0f, 1e-4);
    EXPECT_EQ(bz_Timer_FrontEndValue(1.0f, 50.0f, 0.0f), 0); // engine time 0.75
}

// ---------------------------------------------------------------------------------------
// Calendar and hooks

int64_t gFixedCalendar;
bool FixedCalendar(int64_t *seconds)
{
    *seconds = gFixedCalendar;
    return true;
}
bool FailingCalendar(int64_t *)
{
    return false;
}

struct UtcCalendar
{
    UtcCalendar()
    {
        setenv("TZ", "UTC", 1);
        tzset();
        PDSetCalendarSource(FixedCalendar);
    }
    ~UtcCalendar()
    {
        PDSetCalendarSource(nullptr);
        environment.Restore();
        tzset();
    }
    ScopedEnvironment environment{"TZ"};
};

int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(timegm(&t));
}

TEST(ClockTest, CalendarDateAndTimeOfDay)
{
    UtcCalendar calendar;
    gFixedCalendar = Utc(2005, 2, 14, 13, 5, 9);
    EXPECT_EQ(bz_GetCalendarTime(), gFixedCalendar);
    int32_t day = -1, month = -1, year = -1;
    ASSERT_EQ(bz_GetLocalDate(&day, &month, &year), 1);
    EXPECT_EQ(day, 14);
    EXPECT_EQ(month, 2);
    EXPECT_EQ(year, 2005);

    const struct
    {
        int hour;
        int32_t twentyFour, expectedHour, expectedPm;
    } cases[] = {{13, 0, 1, 1},  {13, 1, 13, 1}, {0, 0, 12, 0},  {0, 1, 0, 0},
                 {12, 0, 12, 1}, {11, 0, 11, 0}, {23, 0, 11, 1}, {12, 1, 12, 1}};
    for (const auto &c : cases)
    {
        gFixedCalendar = Utc(2005, 2, 14, c.hour, 5, 9);
        int32_t pm = -1, minute = -1, second = -1, hour = -1;
        ASSERT_EQ(bz_GetLocalTimeOfDay(&pm, c.twentyFour, &minute, &second, &hour), 1);
        EXPECT_EQ(hour, c.expectedHour) << c.hour;
        EXPECT_EQ(pm, c.expectedPm) << c.hour;
        EXPECT_EQ(minute, 5);
        EXPECT_EQ(second, 9);
    }
    EXPECT_EQ(bz_GetLocalTimeOfDay(nullptr, 0, nullptr, nullptr, nullptr), 1);

    PDSetCalendarSource(FailingCalendar);
    EXPECT_EQ(bz_GetLocalDate(&day, &month, &year), 0);
    EXPECT_EQ(bz_GetLocalTimeOfDay(nullptr, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(bz_GetCalendarTime(), 0);
}

int32_t Twice(void *argument)
{
    return *static_cast<int32_t *>(argument) * 2;
}

TEST(ClockTest, TimerHooks)
{
    int32_t value = 21;
    bzTimerHook hook = {Twice, 0};
    EXPECT_EQ(bz_CallTimerHook(&hook, &value), 42);
    EXPECT_EQ(hook.result, 42);
    bz_ClearHookResult(&hook);
    EXPECT_EQ(hook.result, 0);
    bzTimerHook empty = {nullptr, 5};
    EXPECT_EQ(bz_CallTimerHook(&empty, &value), 0);
    EXPECT_EQ(bz_CallTimerHook(nullptr, &value), 0);
}
} // namespace
