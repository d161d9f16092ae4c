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

// Commands of the action replay and the developer tools; until those are in the engine they
// say that they are not available.
int32_t ConsoleCmd_Build(int32_t argc, char **argv);
int32_t ConsoleCmd_ShowAR(int32_t argc, char **argv);
int32_t ConsoleCmd_HideAR(int32_t argc, char **argv);
int32_t ConsoleCmd_MungeFiles(int32_t argc, char **argv);
