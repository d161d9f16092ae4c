// Operating-system services of the PC: directories, message box and process end.
#pragma once

#include <cstdint>

// Reads the current directory as the start-up directory and finds the program directory.
void PDInitSystem();
// The program's own directory (the executable's path cut before its last separator);
// returns its length.
int32_t PDFindProgramDirectory();
const char *PDGetProgramDirectory();
const char *PDGetStartDirectory();
void PDRestoreProgramDirectory();
void PDRestoreStartDirectory();
// Copies the current directory into buffer; returns 1, or 0 when it does not fit.
int32_t PDGetCurrentDirectory(char *buffer, uint32_t size);
// Makes path the current directory; returns 1 on success.
int32_t PDSetCurrentDirectory(const char *path);

// Shows a message with an OK button and waits for it; without a display the text goes to
// standard error. A window-system implementation can be installed in its place.
typedef void (*PDMessageBoxFunction)(const char *caption, const char *text);
void PDMessageBox(const char *caption, const char *text);
void PDSetMessageBoxFunction(PDMessageBoxFunction fn);

// Ends the process with the given exit code.
[[noreturn]] void PDExitProcess(int32_t code);
