// The console's built-in commands. Each takes the argument count and the argument strings
// (the words after the command's name) and prints through the console.
#pragma once

#include <cstdint>

int32_t ConsoleCmd_Close(int32_t argc, char **argv);
int32_t ConsoleCmd_Help(int32_t argc, char **argv);
int32_t ConsoleCmd_Debug(int32_t argc, char **argv);
int32_t ConsoleCmd_Pipe(int32_t argc, char **argv);
int32_t ConsoleCmd_List(int32_t argc, char **argv);
int32_t ConsoleCmd_Exec(int32_t argc, char **argv);
int32_t ConsoleCmd_Version(int32_t argc, char **argv);
// Lists the names of a directory walk between separator lines: every name of the current
// directory, the names an argument matches (a file name or a wildcard), or, for an argument
// that names no file, the contents of that directory.
int32_t ConsoleCmd_Dir(int32_t argc, char **argv);
// Without an argument shows whether the program deactivates in the background; with one, 0
// keeps it running there and any other number lets it deactivate.
int32_t ConsoleCmd_DeactivateWindow(int32_t argc, char **argv);

// Commands of the renderer, the frame driver, the viewports and the developer tools; until
// those are in the engine they say that they are not available. The viewport commands
// (SetFOV, SetYON, SetHither) evaluate their arguments and report the value, which reaches no
// viewport while none exists.
int32_t ConsoleCmd_Build(int32_t argc, char **argv);
int32_t ConsoleCmd_ClampFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_Video(int32_t argc, char **argv);
int32_t ConsoleCmd_SetFOV(int32_t argc, char **argv);
int32_t ConsoleCmd_SetYON(int32_t argc, char **argv);
int32_t ConsoleCmd_SetHither(int32_t argc, char **argv);
int32_t ConsoleCmd_ShowFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_HideFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_ShowAR(int32_t argc, char **argv);
int32_t ConsoleCmd_HideAR(int32_t argc, char **argv);
int32_t ConsoleCmd_Wireframe(int32_t argc, char **argv);
int32_t ConsoleCmd_DrawPoint(int32_t argc, char **argv);
int32_t ConsoleCmd_NoTriStrip(int32_t argc, char **argv);
int32_t ConsoleCmd_NoTriList(int32_t argc, char **argv);
int32_t ConsoleCmd_ModelDebug(int32_t argc, char **argv);
int32_t ConsoleCmd_NoAlpha(int32_t argc, char **argv);
int32_t ConsoleCmd_MungeFiles(int32_t argc, char **argv);
int32_t ConsoleCmd_SetAmbient(int32_t argc, char **argv);
int32_t ConsoleCmd_FogColour(int32_t argc, char **argv);
int32_t ConsoleCmd_Multitexture(int32_t argc, char **argv);
