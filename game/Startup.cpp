#include "game/Startup.h"

#include "startup/Engine.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Random.h"
#include "files/Wad.h"
#include "pc/PcWindow.h"

namespace
{
bool gEngineStarted;
} // namespace

int Startup_Init()
{
    bzInitRecord record = {};
    bz_SetShutdownFunction(Startup_Shutdown);
    if (bz_InitEngine(&record) != 0)
        return bz_GetLastError();
    bz_RandomSeedIfNeeded();
    gEngineStarted = true;
    return 0;
}

void Startup_Shutdown()
{
    if (!gEngineStarted)
        return;
    gEngineStarted = false;
    bz_WAD_Close();
    PDShutdownWindow();
    bz_MemPools_DestroyAll();
}
