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

// String slots 0-15, each null or a copy; slot 0 holds ".\" after PDInitSystem.
void PDSetStringSlot(uint32_t index, const char *text);
const char *PDGetStringSlot(uint32_t index);

// The user's login name, or "Player" when the system does not tell (at most 63 characters).
const char *PDGetUserName();
// The system family test of the PC; this platform counts as the NT family.
bool PDIsWindowsNT();

// A started program. A start asked for suspended is held back until PDResumeProcess.
struct bzProcess
{
    int32_t process;    // the process id once it runs, 0 before
    void *pendingStart; // the held-back start of a suspended launch, null once it ran
};

// Starts the program at path (an engine path) with the blank-separated arguments ("..."
// groups words, \" is a quote). The program sees its own file name as its first argument.
// minimised has no meaning here. 0 on success, -1 on failure.
int32_t PDLaunchProcess(const char *path, const char *arguments, int32_t minimised,
                        int32_t suspended, bzProcess *process);
// Runs a suspended start; -1 when there is none or it fails.
int32_t PDResumeProcess(bzProcess *process);
// The default web browser's program, or null when there is none.
const char *PDGetBrowserCommand();
// Shows the URL in the default browser; 0 on success, -1 on failure.
int32_t PDOpenURL(const char *url);

// True when 0 < value <= limit.
bool PDInRange(uint32_t value, uint32_t limit);
void PDClearWord(int32_t *pointer);
void PDSetWord(int32_t *pointer, int32_t value);

// The directory walk, one at a time. PDFindFirstFile opens a walk over the entries of
// directory matching pattern (* and ?, letter case ignored; as on the PC, a pattern ending in
// ".*" also matches names without an extension, so "*.*" matches every name) and returns 1, or 0
// when a walk is already open or the directory cannot be read. PDFindNextFile returns the next name
// (null when none is left; last-error 47 when no walk is open): the first is always a file;
// each call's flags choose what the following call returns. Hidden entries (names beginning
// with ".") never show. PDFindClose returns 0, 19 for a null directory, or 46 when directory
// is not the open walk's (which stays open).
int32_t PDFindFirstFile(const char *directory, const char *pattern);
const char *PDFindNextFile(int32_t files, int32_t directories);
int32_t PDFindClose(const char *directory);
