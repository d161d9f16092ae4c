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

// Commands of the action replay and the developer tools; until those are in the engine they
// say that they are not available.
int32_t ConsoleCmd_Build(int32_t argc, char **argv);
int32_t ConsoleCmd_Dir(int32_t argc, char **argv);
int32_t ConsoleCmd_ShowAR(int32_t argc, char **argv);
int32_t ConsoleCmd_HideAR(int32_t argc, char **argv);
int32_t ConsoleCmd_MungeFiles(int32_t argc, char **argv);
int32_t ConsoleCmd_DeactivateWindow(int32_t argc, char **argv);
