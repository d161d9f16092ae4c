#include "core/Engine.h"

#include "core/Clock.h"
#include "core/Error.h"
#include "pc/PcSystem.h"

int32_t bz_InitEngine(const bzInitRecord *record)
{
    PDInitSystem();
    bz_InitClock();
    bz_Mem_Init(record ? &record->memory : nullptr);
    // No frame-cap words in the start-up record yet: no cap.
    bz_Timer_Init(0, 0.0f);
    bzgNoFatalExit = 0;
    return bz_Mem_GetStatus() == BZ_MEM_OK ? 0 : BZ_ERROR_NO_MEMORY;
}
