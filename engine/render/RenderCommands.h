// The console commands of the renderer, the frame driver and the viewports, registered by the
// renderer's start-up. Until those are in the engine they say that they are not available;
// the viewport commands (SetFOV, SetYON, SetHither) evaluate their arguments and report the
// value, which reaches no viewport while none exists.
#pragma once

#include <cstdint>

// Registers the commands below with the console.
void bz_Render_RegisterCommands();

int32_t ConsoleCmd_ClampFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_Video(int32_t argc, char **argv);
int32_t ConsoleCmd_SetFOV(int32_t argc, char **argv);
int32_t ConsoleCmd_SetYON(int32_t argc, char **argv);
int32_t ConsoleCmd_SetHither(int32_t argc, char **argv);
int32_t ConsoleCmd_ShowFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_HideFPS(int32_t argc, char **argv);
int32_t ConsoleCmd_Wireframe(int32_t argc, char **argv);
int32_t ConsoleCmd_DrawPoint(int32_t argc, char **argv);
int32_t ConsoleCmd_NoTriStrip(int32_t argc, char **argv);
int32_t ConsoleCmd_NoTriList(int32_t argc, char **argv);
int32_t ConsoleCmd_ModelDebug(int32_t argc, char **argv);
int32_t ConsoleCmd_NoAlpha(int32_t argc, char **argv);
int32_t ConsoleCmd_SetAmbient(int32_t argc, char **argv);
int32_t ConsoleCmd_FogColour(int32_t argc, char **argv);
int32_t ConsoleCmd_Multitexture(int32_t argc, char **argv);
