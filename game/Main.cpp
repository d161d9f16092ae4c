// The Tolvane program.
#include "core/Error.h"
#include "game/Startup.h"

#include <cstdio>

int main(int, char **)
{
    if (Startup_Init() != 0)
    {
        std::fprintf(stderr, "tolvane: engine start failed: %s\n", bz_GetLastErrorText());
        return 1;
    }
    std::printf("Tolvane engine core started.\n");
    Startup_Shutdown();
    return 0;
}
