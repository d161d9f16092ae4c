#include "core/Engine.h"

#include "core/Clock.h"
#include "core/Console.h"
#include "core/Error.h"
#include "core/File.h"
#include "pc/PcSystem.h"

int32_t bz_InitEngine(const bzInitRecord *record)
{
    PDInitSystem();
    bz_InitClock();
    bz_Mem_Init(record ? &record->memory : nullptr);
    bz_FileIO_InitDefaults();
    bz_Timer_Init(record ? record->frameCapMode : 0, record ? record->frameRate : 0.0f);
    PDSetApplicationHook(record ? record->applicationHook : nullptr);
    bz_Console_RegisterBuiltIns();
    bzgNoFatalExit = 0;
    return bz_Mem_GetStatus() == BZ_MEM_OK ? 0 : BZ_ERROR_NO_MEMORY;
}
