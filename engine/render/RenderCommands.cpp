#include "render/RenderCommands.h"

#include "console/Console.h"
#include "console/Expr.h"

namespace
{
int32_t MessageColour()
{
    return bz_Console_GetState()->config.messageColour;
}

// The viewport commands take (value) for every viewport in use or (viewport, value); both are
// expressions, so a line such as bz_SetFOV 0 90/2 works. No viewport exists in the engine yet:
// a value for all of them reaches none, and any viewport index is past the last one.
enum class ViewportSetting
{
    Fov,
    Yon,
    Hither,
};

int32_t ViewportCommand(int32_t argc, char **argv, ViewportSetting setting)
{
    if (argc != 1 && argc != 2)
        return 0;
    double values[2] = {};
    for (int32_t i = 0; i < argc; ++i)
    {
        int32_t code = 0;
        values[i] = bz_Expr_EvaluateWithStatus(argv[i], &code);
        if (code != 0)
        {
            bz_Console_PrintExprError(code);
            return 0;
        }
    }
    double value = values[argc - 1];
    if (setting == ViewportSetting::Yon && value > 10000.0)
        value = 10000.0;
    if (setting == ViewportSetting::Hither && value < 0.01)
        value = 0.01;
    if (argc == 2)
    {
        // The viewport index values[0] names no viewport: none exists.
        bz_Console_Printf("@C(%i)viewport Too Big\n", MessageColour());
        return 0;
    }
    switch (setting)
    {
    case ViewportSetting::Fov:
        bz_Console_Printf("Setting all viewport fov's to:%3.3f\n", value);
        break;
    case ViewportSetting::Yon:
        bz_Console_Printf("Setting all viewport YON's to:%3.3f\n", value);
        break;
    case ViewportSetting::Hither:
        bz_Console_Printf("Setting all viewport HITHER's to:%3.3f\n", value);
        break;
    }
    return 0;
}

int32_t NotAvailable(const char *name)
{
    bz_Console_Printf("@C(%i)%s is not available in this build.\n", MessageColour(), name);
    return 0;
}
struct Command
{
    const char *name;
    int32_t kind;
    const char *help;
    bzConsoleHandler handler;
};
} // namespace

int32_t ConsoleCmd_ClampFPS(int32_t, char **)
{
    return NotAvailable("bz_ClampFPS");
}

int32_t ConsoleCmd_Video(int32_t, char **)
{
    return NotAvailable("bz_Video");
}

int32_t ConsoleCmd_SetFOV(int32_t argc, char **argv)
{
    return ViewportCommand(argc, argv, ViewportSetting::Fov);
}

int32_t ConsoleCmd_SetYON(int32_t argc, char **argv)
{
    return ViewportCommand(argc, argv, ViewportSetting::Yon);
}

int32_t ConsoleCmd_SetHither(int32_t argc, char **argv)
{
    return ViewportCommand(argc, argv, ViewportSetting::Hither);
}

int32_t ConsoleCmd_ShowFPS(int32_t, char **)
{
    return NotAvailable("bz_ShowFPS");
}

int32_t ConsoleCmd_HideFPS(int32_t, char **)
{
    return NotAvailable("bz_HideFPS");
}

int32_t ConsoleCmd_Wireframe(int32_t, char **)
{
    return NotAvailable("bz_Wireframe");
}

int32_t ConsoleCmd_DrawPoint(int32_t, char **)
{
    return NotAvailable("bz_DrawPoint");
}

int32_t ConsoleCmd_NoTriStrip(int32_t, char **)
{
    return NotAvailable("bz_NoTriStrip");
}

int32_t ConsoleCmd_NoTriList(int32_t, char **)
{
    return NotAvailable("bz_NoTriList");
}

int32_t ConsoleCmd_ModelDebug(int32_t, char **)
{
    return NotAvailable("bz_ModelDebug");
}

int32_t ConsoleCmd_NoAlpha(int32_t, char **)
{
    return NotAvailable("bz_NoAlpha");
}

int32_t ConsoleCmd_SetAmbient(int32_t, char **)
{
    return NotAvailable("bz_SetAmbient");
}

int32_t ConsoleCmd_FogColour(int32_t, char **)
{
    return NotAvailable("bz_FogColour");
}

int32_t ConsoleCmd_Multitexture(int32_t, char **)
{
    return NotAvailable("bz_Multitexture");
}

void bz_Render_RegisterCommands()
{
    static const Command kCommands[] = {
        {"bz_ClampFPS", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_CLAMPFPS <val>\nClamp frame-rate to given value (0=Reset)", ConsoleCmd_ClampFPS},
        {"bz_Video", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_VIDEO\nPrint info on current mode etc...",
         ConsoleCmd_Video},
        {"bz_SetFOV", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_SETFOV <vp> <angle>\nSet the camera fov for a viewport", ConsoleCmd_SetFOV},
        {"bz_SetYON", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_SETYON <vp> <dist>\nSet the Far-Clip for a viewport", ConsoleCmd_SetYON},
        {"bz_SetHither", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_SETHITHER <vp> <dist>\nSet the Near-Clip for a viewport", ConsoleCmd_SetHither},
        {"bz_ShowFPS", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_SHOWFPS\nTurns on the internal FPS monitor",
         ConsoleCmd_ShowFPS},
        {"bz_HideFPS", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_HIDEFPS\nTurns off the internal FPS monitor",
         ConsoleCmd_HideFPS},
        {"bz_Wireframe", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_WIREFRAME < on / off >\nRender everything wireframe or not.", ConsoleCmd_Wireframe},
        {"bz_DrawPoint", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_DRAWPOINT < on / off >\nRender everything as points or not.", ConsoleCmd_DrawPoint},
        {"bz_NoTriStrip", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_NOTRISTRIP < on / off >\nIf on, tri strips in models are not rendered.",
         ConsoleCmd_NoTriStrip},
        {"bz_NoTriList", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_NOTRILIST < on / off >\nIf on tri lists in models are not rendered.",
         ConsoleCmd_NoTriList},
        {"bz_ModelDebug", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_MODELDEBUG < one or more of "
         "[fnorms][vnorms][centres][boxes][ticks][all][none][shadshape] "
         ">\nSelect various visual aids for models.",
         ConsoleCmd_ModelDebug},
        {"bz_NoAlpha", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_NOALPHA < on / off >\n", ConsoleCmd_NoAlpha},
        {"bz_SetAmbient", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_SETAMBIENT <vp> <r> <g> <b>\n",
         ConsoleCmd_SetAmbient},
        {"bz_FogColour", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_FogColour <r> <g> <b> {<a>}\nbz_FogColour <rgba as hex>\n", ConsoleCmd_FogColour},
        {"bz_FogColour", BZ_CONSOLE_KIND_DEBUG_RUN,
         "bz_FogColour <r> <g> <b> {<a>}\nbz_FogColour <rgba as hex>\n", ConsoleCmd_FogColour},
        {"bz_Multitexture", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_Multitexture < on / off >\n",
         ConsoleCmd_Multitexture},
    };
    for (const Command &c : kCommands)
        bz_Console_RegisterCommand(c.name, c.help, c.kind, c.handler);
}
