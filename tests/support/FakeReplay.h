// A stand-in for the action replay's timing services of the clock: fixed-time playback at
// 12.3456 s with 40 ms frames, counting the clock's calls. Installed for its lifetime.
#pragma once

#include "core/Clock.h"

#include <vector>

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
