// Developer output to files: "Trace.txt", the debug text stream (by default "MOTHER.TXT"),
// numbered debug streams and the debug messages "! file (line): text", which also go to the
// debugger. None of it changes what the program computes.
#pragma once

#include <cstdint>

struct bzFileHandle;

// Trace file: the first call of a run empties "Trace.txt"; each call's text is on disk when it
// returns.
void bz_Trace(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Debug text stream. A null stream passed to the writers below means standard output.
void bz_DebugOutput_Enable();
void bz_DebugOutput_Disable();
bzFileHandle *bz_DebugOutput_GetStream();
uint32_t bz_DebugMask_Get();
void bz_DebugMask_Set(uint32_t bits);
void bz_DebugMask_Clear(uint32_t bits);
int32_t bz_DebugMask_Test(uint32_t bits);
void bz_DebugOutput_OpenDefault();
// Closes the debug stream when it is open (at shut-down); the next print opens it again.
void bz_DebugOutput_CloseDefault();
void bz_DebugPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));
void bz_DebugPrintMasked(uint32_t mask, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// Opens a named stream ("STDOUT" gives standard output, a "%" marker becomes the first free
// three-digit number, null gives the debug stream). Returns 1, or 0 when no name was free.
int32_t bz_DebugOutput_Open(const char *name, int32_t *owned, bzFileHandle **stream);
void bz_DebugOutput_Close(bzFileHandle *stream, int32_t owned);
void bz_DebugOutput_Flush();
void bz_DebugOutput_Puts(const char *text, bzFileHandle *stream);
void bz_DebugOutput_Printf(bzFileHandle *stream, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void bz_DebugOutput_NewLine(bzFileHandle *stream);
void bz_DebugOutput_PutLine(bzFileHandle *stream, const char *text);
void bz_DebugFilePrintf(bzFileHandle *stream, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void bz_DebugRenderStateRecord();

// Sends the engine's lowest modules' developer text (bz_Debug_Text) to the debug stream;
// engine start-up does it once.
void bz_DebugOutput_Attach();

// Debug messages: the origin (source file and line) of the next one, and the message itself.
void bz_SetDebugOrigin(const char *file, int32_t line);
void bz_DebugMessage(const char *format, ...) __attribute__((format(printf, 1, 2)));
