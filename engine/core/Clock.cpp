#include "core/Clock.h"

#include "pc/PcTimer.h"

namespace
{
bool gTimerStarted;
uint64_t gFrequency;
uint64_t gStartCount;
uint32_t gMark;
} // namespace

void PDInitTimer()
{
    gFrequency = PDQueryFrequency();
    gTimerStarted = gFrequency != 0 && PDQueryCounter(&gStartCount);
}

void bz_InitClock()
{
    PDInitTimer();
}

uint32_t PDGetMilliseconds()
{
    uint64_t now;
    if (!gTimerStarted || !PDQueryCounter(&now))
        return 0;
    uint64_t delta = now - gStartCount;
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

float bz_GetElapsedSeconds()
{
    return static_cast<float>(PDGetMilliseconds() - gMark) * 0.001f;
}
