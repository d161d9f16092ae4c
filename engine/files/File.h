// The file-I/O hook table and the engine's file functions. Every file access goes through
// the table's 35 slots; at start-up they hold the disk handlers, and the archive layer
// installs its own handlers into some of them. Callers hold a bzFileHandle pointer and never
// touch a library stream.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/Error.h"

struct bzWADFileNode;
struct bzWADFile;

// The record behind every open file, disk or archive alike.
struct bzFileHandle
{
    std::FILE *stream;                 // the disk file's stream; null for a file inside an archive
    int32_t length;                    // bytes, taken at open
    int32_t inUse;                     // 1 while the record belongs to an open file
    int32_t position;                  // what tell reports
    const bzWADFileNode *archiveEntry; // the archive's file node; null for a disk file
    int32_t enciphered;                // bit 0 of the archive's flags; 0 for a disk file
    bzWADFile *archive;                // the archive an archive file was opened from
};

constexpr int32_t BZ_FILE_MAX_OPEN = 32;
constexpr int32_t BZ_FILE_PATH_SIZE = 256;
constexpr int32_t BZ_FILE_HANDLER_SLOTS = 35;

// The 35 slots, in the order of the standard I/O library's functions.
struct bzFileIOHandlers
{
    bzFileHandle *(*open)(const char *name, const char *mode);                          // 0
    bzFileHandle *(*reopen)(const char *name, const char *mode, bzFileHandle *file);    // 1
    int (*close)(bzFileHandle *file);                                                   // 2
    int (*flush)(bzFileHandle *file);                                                   // 3
    int (*remove)(const char *name);                                                    // 4
    int (*rename)(const char *oldName, const char *newName);                            // 5
    bzFileHandle *(*tempFile)();                                                        // 6
    char *(*tempName)(char *buffer);                                                    // 7
    int (*setVBuf)(bzFileHandle *file, char *buffer, int mode, size_t size);            // 8
    void (*setBuf)(bzFileHandle *file, char *buffer);                                   // 9
    int (*getChar)(bzFileHandle *file);                                                 // 10
    char *(*getString)(char *buffer, int count, bzFileHandle *file);                    // 11
    int (*putChar)(int character, bzFileHandle *file);                                  // 12
    int (*putString)(const char *text, bzFileHandle *file);                             // 13
    int (*getCharMacro)(bzFileHandle *file);                                            // 14
    int (*consoleGetChar)();                                                            // 15
    char *(*consoleGetLine)(char *buffer);                                              // 16
    int (*putCharMacro)(int character, bzFileHandle *file);                             // 17
    int (*consolePutChar)(int character);                                               // 18
    int (*consolePutLine)(const char *text);                                            // 19
    int (*ungetChar)(int character, bzFileHandle *file);                                // 20
    size_t (*read)(void *buffer, size_t size, size_t count, bzFileHandle *file);        // 21
    size_t (*write)(const void *buffer, size_t size, size_t count, bzFileHandle *file); // 22
    int (*seek)(bzFileHandle *file, int32_t offset, int origin);                        // 23
    int32_t (*tell)(bzFileHandle *file);                                                // 24
    void (*rewind)(bzFileHandle *file);                                                 // 25
    int (*getPos)(bzFileHandle *file, std::fpos_t *position);                           // 26
    int (*setPos)(bzFileHandle *file, const std::fpos_t *position);                     // 27
    void (*clearError)(bzFileHandle *file);                                             // 28
    int (*eof)(bzFileHandle *file);                                                     // 29
    int (*error)(bzFileHandle *file);                                                   // 30
    int (*makeDirectory)(const char *path);                                             // 31
    int (*changeDirectory)(const char *path);                                           // 32
    int (*vprintf)(bzFileHandle *file, const char *format, va_list args);               // 33
    int (*vscanf)(bzFileHandle *file, const char *format, va_list args);                // 34
};
static_assert(sizeof(bzFileIOHandlers) == BZ_FILE_HANDLER_SLOTS * sizeof(void (*)()),
              "the hook table holds 35 pointer slots");

// Table management.
void bz_FileIO_InitDefaults();
// Copies every non-null slot of the record into the table.
void bz_FileIO_SetHandlers(const bzFileIOHandlers *record);
void bz_FileIO_GetHandlers(bzFileIOHandlers *record);
// The first free handle entry, cleared; null when all 32 are in use.
bzFileHandle *bz_FileHandle_Alloc();
// Entry index (0-31) of the handle table, in use or not; null outside the table.
bzFileHandle *bz_FileHandle_Get(int32_t index);
int32_t bz_FileIO_GetUserWord();
void bz_FileIO_SetUserWord(int32_t value);
char *bz_FileIO_GetAltBuffer();

// Engine file functions.
bzFileHandle *bz_FileOpen(const char *name, const char *mode);
// Reads size bytes as one item: size on success, 0 on a short read.
size_t bz_FileRead(bzFileHandle *file, void *buffer, size_t size);
size_t bz_FileWrite(bzFileHandle *file, const void *buffer, size_t size);
size_t bz_FileWriteItems(const void *buffer, size_t size, size_t count, bzFileHandle *file);
size_t bz_FileReadItems(void *buffer, size_t size, size_t count, bzFileHandle *file);
// Loads the whole file into a block one byte longer, ending in a 0 byte; free it with
// bz_MemFree. Null for a missing, empty or short file (last-error 19) or no memory (14).
void *bz_LoadFileToMemory(const char *name, int32_t *outLength);
// Loads the whole file into a block of the temporary stack (free it with bz_TempStack_Free).
// Null for a missing or short file (last-error 19), an empty one (59) or no room (14).
uint8_t *bz_LoadFileToTempStack(const char *name, int32_t stackId, uint32_t *outLength);
int bz_FilePrintf(bzFileHandle *file, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int bz_FileVPrintf(bzFileHandle *file, const char *format, va_list args);
int bz_FileScanf(bzFileHandle *file, const char *format, ...);
int32_t bz_FileExists(const char *name);
int32_t bz_FileLength(const bzFileHandle *file);
int32_t bz_FileStreamLength(const bzFileHandle *file);
// Opens name with its extension replaced; null when the name does not fit the path buffer.
bzFileHandle *bz_FileOpenWithExt(const char *name, const char *extension, const char *mode);
// Copies count bytes (0: the rest) from offset of source into a new destination file.
// 0, or 19 (a file does not open), 20 (range outside the source) or 14 (no memory).
bzErrorCode bz_CopyFileRange(const char *source, const char *destination, int32_t offset,
                             int32_t count);

// One-slot wrappers.
bzFileHandle *bz_FileReopen(const char *name, const char *mode, bzFileHandle *file); // 1
int bz_FileClose(bzFileHandle *file);                                                // 2
int bz_FileFlush(bzFileHandle *file);                                                // 3
int bz_FileRemove(const char *name);                                                 // 4
int bz_FileDelete(const char *name);                                                 // 4
int bz_FileRename(const char *oldName, const char *newName);                         // 5
bzFileHandle *bz_FileTemp();                                                         // 6
char *bz_FileTempName(char *buffer);                                                 // 7
int bz_FileSetVBuf(bzFileHandle *file, char *buffer, int mode, size_t size);         // 8
void bz_FileSetBuf(bzFileHandle *file, char *buffer);                                // 9
int bz_FileGetChar(bzFileHandle *file);                                              // 10
char *bz_FileGetString(char *buffer, int count, bzFileHandle *file);                 // 11
int bz_FilePutChar(int character, bzFileHandle *file);                               // 12
int bz_FilePutString(const char *text, bzFileHandle *file);                          // 13
int bz_FileGetc(bzFileHandle *file);                                                 // 14
int bz_ConsoleGetChar();                                                             // 15
char *bz_ConsoleGetLine(char *buffer);                                               // 16
int bz_FilePutc(int character, bzFileHandle *file);                                  // 17
int bz_ConsolePutChar(int character);                                                // 18
int bz_ConsolePutLine(const char *text);                                             // 19
int bz_FileUngetChar(int character, bzFileHandle *file);                             // 20
int bz_FileSeek(bzFileHandle *file, int32_t offset, int origin);                     // 23
int bz_FileSetOffset(bzFileHandle *file, int32_t offset, int origin);                // 23
int32_t bz_FileTell(bzFileHandle *file);                                             // 24
int32_t bz_FileGetOffset(bzFileHandle *file);                                        // 24
void bz_FileRewind(bzFileHandle *file);                                              // 25
int bz_FileGetPos(bzFileHandle *file, std::fpos_t *position);                        // 26
int bz_FileSetPos(bzFileHandle *file, const std::fpos_t *position);                  // 27
void bz_FileClearError(bzFileHandle *file);                                          // 28
int bz_FileEof(bzFileHandle *file);                                                  // 29
int bz_FileError(bzFileHandle *file);                                                // 30
int bz_MakeDirectory(const char *path);                                              // 31
int bz_ChangeDirectory(const char *path);                                            // 32

// The next entry of the open directory walk (pc/PcSystem's PDFindFirstFile): any entry,
// directories only, files only.
const char *bz_FindNext();
const char *bz_FindNextDirectory();
const char *bz_FindNextFile();

// Path functions: each result lives in a static buffer until the next call using it.
const char *bz_GetPathDrive(const char *path);
const char *bz_GetPathDirectory(const char *path);
const char *bz_GetPathFileName(const char *path);
const char *bz_MakePathDirName(const char *path);
const char *bz_GetPathFileNameExt(const char *path);
const char *bz_GetPathExt(const char *path);
void bz_StripExtension(char *path);
void bz_AppendBackslash(char *path);

int32_t bz_CompareFileTimes(uint64_t a, uint64_t b);
uint64_t bz_GetFileTime(const char *name);
int32_t bz_SetFileReadOnly(const char *path, int32_t readOnly);
