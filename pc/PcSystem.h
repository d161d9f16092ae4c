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

// Files and directories. Names are engine paths, mapped to the host by pc/PcFile.
// The last-write time of a file in nanoseconds since 1970; 0 when it cannot be opened.
uint64_t PDGetFileTime(const char *name);
// -1, 0 or 1 as a is earlier than, equal to or later than b.
int32_t PDCompareFileTimes(uint64_t a, uint64_t b);
// Makes the file read-only (no write permission for anyone) or writable by its owner;
// 0 on success, -1 on failure.
int32_t PDSetFileReadOnly(const char *name, int32_t readOnly);
// 0 on success, -1 on failure.
int32_t PDMakeDirectory(const char *name);
int32_t PDChangeDirectory(const char *path);

// Splits a path into drive ("C:"), directory (with its trailing separator), file name and
// extension (with its "."); "\" and "/" both separate. Each output may be null and holds at
// most PD_MAX_PATH_PART - 1 characters (PD_MAX_DRIVE - 1 for the drive).
constexpr uint32_t PD_MAX_DRIVE = 3;
constexpr uint32_t PD_MAX_PATH_PART = 256;
void PDSplitPath(const char *path, char *drive, char *directory, char *name, char *extension);
