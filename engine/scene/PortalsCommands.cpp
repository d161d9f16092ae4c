// The portal system's two console commands and the switches they set.
#include "scene/Portals.h"

#include "console/Console.h"
#include "core/Debug.h"

#include <cstring>

namespace
{
// "bz_Portals": portal calculations on (1, the start) or off; "bz_ListPortalRooms": room listing.
int32_t gPortalsOn = 1;
int32_t gListRooms = 0;

// No argument prints the state; the single argument "0" or "1" sets it; anything else is refused.
int32_t Switch(int32_t argc, char **argv, const char *name, int32_t *value)
{
    // The arguments follow the command's name, which is not among them.
    if (argc == 0)
    {
        bz_Console_Printf("%s %d\n", name, *value);
        return 0;
    }
    if (argc == 1 && (std::strcmp(argv[0], "0") == 0 || std::strcmp(argv[0], "1") == 0))
    {
        *value = argv[0][0] - '0';
        return 0;
    }
    bz_Console_Printf("Incorrect Parameters");
    return 0;
}

int32_t ConsoleCmd_Portals(int32_t argc, char **argv)
{
    return Switch(argc, argv, "bz_Portals", &gPortalsOn);
}

int32_t ConsoleCmd_ListPortalRooms(int32_t argc, char **argv)
{
    const int32_t was = gListRooms;
    Switch(argc, argv, "bz_ListPortalRooms", &gListRooms);
    // The room list leaves the screen with the listing.
    if (was && !gListRooms)
        bz_ClearDebugMessage(BZ_PORTAL_LIST_SLOT);
    return 0;
}

bool Registered()
{
    const bzConsoleState *state = bz_Console_GetState();
    for (int32_t i = 0; i < state->commandCount; ++i)
        if (state->commands[i].handler == ConsoleCmd_Portals)
            return true;
    return false;
}
} // namespace

void bz_Portals_RegisterCommands()
{
    if (Registered())
        return;
    bz_Console_RegisterCommand("bz_Portals", "Turns Portal Calculations on/off\n",
                               BZ_CONSOLE_KIND_DEBUG_RUN, ConsoleCmd_Portals);
    bz_Console_RegisterCommand("bz_ListPortalRooms",
                               "List all rooms found by the portal calculation\n",
                               BZ_CONSOLE_KIND_DEBUG_RUN, ConsoleCmd_ListPortalRooms);
}

int32_t bz_Portals_IsOn()
{
    return gPortalsOn;
}

int32_t bz_Portals_ListingRooms()
{
    return gListRooms;
}

void bz_Portals_RoomListOverflowed()
{
    if (gListRooms)
        gListRooms = 2;
}
