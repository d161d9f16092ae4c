// A virtual counter for clock tests: 1,000,000 counts a second, moving only when a test moves
// it or, in the advancing mode, when the clock waits on it. In the stopped mode it cannot
// advance at all, and a wait on it must give up at once.
#pragma once

#include "core/Clock.h"
#include "pc/PcTimer.h"

#include <gtest/gtest.h>

#include <cstdint>

class VirtualCounter
{
public:
    enum Mode
    {
        kAdvancesOnWait,
        kStopped,
    };

    explicit VirtualCounter(Mode mode = kAdvancesOnWait, uint64_t frequency = 1000000)
    {
        now_ = 7000000000ull; // an arbitrary start, far from 0
        mode_ = mode;
        frequency_ = frequency;
        idleCalls_ = 0;
        waited_ = 0;
        const PDCounterSource source = {Frequency, Read, Idle};
        PDSetCounterSource(&source);
        PDInitTimer();
    }
    ~VirtualCounter()
    {
        PDSetCounterSource(nullptr);
        PDInitTimer();
    }

    // Starts the engine timer on this counter.
    void StartTimer(int32_t mode = 0, float rate = 0.0f) { bz_Timer_Init(mode, rate); }

    void AdvanceMs(uint64_t ms) { now_ += ms * frequency_ / 1000; }
    void AdvanceCounts(uint64_t counts) { now_ += counts; }
    uint64_t Counts() const { return now_; }
    void SetMode(Mode mode) { mode_ = mode; }
    // How often the clock waited on the counter, and how many counts those waits moved it.
    int IdleCalls() const { return idleCalls_; }
    uint64_t WaitedCounts() const { return waited_; }

private:
    static uint64_t Frequency() { return frequency_; }
    static bool Read(uint64_t *count)
    {
        *count = now_;
        return true;
    }
    static bool Idle(uint64_t counts)
    {
        // A wait that keeps coming back to a clock that cannot move is a hang in the making.
        if (++idleCalls_ > 100000)
        {
            ADD_FAILURE() << "the clock kept waiting";
            return false;
        }
        if (mode_ == kStopped)
            return false;
        now_ += counts;
        waited_ += counts;
        return true;
    }

    static inline uint64_t now_;
    static inline uint64_t frequency_;
    static inline Mode mode_;
    static inline int idleCalls_;
    static inline uint64_t waited_;
};
