// Engine result codes, the last-error word and the fatal error report.
//
// How the engine reports what goes wrong (every module keeps to this):
// - A broken contract, a caller doing what a function's comment forbids, is a programming
//   fault: check it with BZ_ASSERT (core/Debug.h), which reports "FAILED ASSERTION" and ends
//   the program unless it is kept alive, then returns the function's neutral result.
// - Bad data (a damaged or lying file, a hostile answer, a value out of range) and failed I/O
//   are not faults of the program: the function returns the matching code of the table below
//   by its BZ_ERROR_* name, never a bare number, sets bzgLastError, and leaves the program
//   running with nothing lost. Codes the table names without a constant here get one when
//   first used.
// - bz_ReportError, which shows a message box and ends the program, is only for the places
//   where the engine's own behaviour asks for a report (a loader's failure report, the memory
//   manager's diagnostics); with bzgNoFatalExit set it returns and the caller carries on.
#pragma once

#include <cstdint>

typedef int32_t bzErrorCode;

enum : bzErrorCode
{
    BZ_ERROR_NONE = 0,
    BZ_ERROR_NO_INDIRECT = -1,
    BZ_ERROR_INVALID_CODE = 1,
    BZ_ERROR_UNSUPPORTED_VIDEO_MODE = 9,
    BZ_ERROR_TEXTURE_NOT_CREATED = 11,
    BZ_ERROR_IMGMAP_NO_PIXELS = 12,
    BZ_ERROR_IMGMAP_LOCKED = 13,
    BZ_ERROR_NO_MEMORY = 14,
    BZ_ERROR_IMGMAP_FORMAT = 15,
    BZ_ERROR_FILE_NOT_FOUND = 19,
    BZ_ERROR_PARAMETER_OUT_OF_RANGE = 20,
    BZ_ERROR_IMGMAP_VOID = 23,
    BZ_ERROR_WINDOWED_MODE = 27, // "Cannot be used for windowed mode"
    BZ_ERROR_INVALID_PARAMETER = 29,
    BZ_ERROR_INVALID_HANDLE = 33,
    BZ_ERROR_INVALID_MATERIAL = 34,
    BZ_ERROR_NOT_A_MATERIAL = 44,
    BZ_ERROR_SEARCH_IN_PROGRESS = 46,
    BZ_ERROR_NOT_SEARCHING = 47,
    BZ_ERROR_NO_PARENT = 50,
    BZ_ERROR_TOO_MANY_MODELS = 52,
    BZ_ERROR_NOT_FOUND = 56,
    BZ_ERROR_OUTDATED_VERSION = 58,
    BZ_ERROR_BAD_DATA_FORMAT = 59,
    BZ_ERROR_UNSUPPORTED = 68,
    BZ_ERROR_NO_MODEL = 71,
    BZ_ERROR_PALETTE_NOT_FOUND = 73,
    BZ_ERROR_NO_VERTEX_DATA = 75, // a model without editable geometry (no message of its own)
    BZ_ERROR_NO_MODEL_PART = 76,
    BZ_ERROR_NO_BOUNDS = 77, // a measurement of a lump tree found no box (no message of its own)
    BZ_ERROR_FORM_NOT_IN_LIST = 135,
    BZ_ERROR_RESIZE_ROLLING_CACHE = 136,
    BZ_ERROR_COPY_FACES_TOO_BIG = 137,
    BZ_ERROR_COPY_VERTICES_TOO_BIG = 138,
    BZ_ERROR_FACE_LIST_FULL = 140,
    BZ_ERROR_POOLED_OBJECT_FOUND = 141, // a walk in report mode met a pooled object (no text)
    BZ_ERROR_INVALID_CONVEX_HULL = 142,
    BZ_ERROR_OBJECT_HAS_NO_CACHE = 143,
    BZ_ERROR_LAST = 145,
};

extern bzErrorCode bzgLastError;
extern const char *bzgErrorFile;
extern int32_t bzgErrorLine;
// While non-zero, the fatal exit and the assertion report return to their caller.
extern int32_t bzgNoFatalExit;
// Set to 1 by every entry into the fatal exit.
extern int32_t bzgFatalErrorHappened;

const char *bz_GetErrorText(bzErrorCode code);
bzErrorCode bz_GetLastError();
const char *bz_GetLastErrorText();
int32_t bz_SetErrorOrigin(const char *file, int32_t unused, int32_t line);

// Formats the message, appends the origin as "\n<file> <line>" when one is set and ends the
// program through bz_FatalErrorExit. Returns only in keep-alive mode, or when a report is
// already under way (a report raised while reporting is dropped).
void bz_ReportError(const char *caption, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void bz_FatalErrorExit(const char *caption, const char *text);

// The game's shut-down, run by the fatal exit right before the process ends.
typedef void (*bzShutdownFunction)();
void bz_SetShutdownFunction(bzShutdownFunction fn);

// What the fatal exit calls to release every held key (the input devices install it).
void bz_Error_SetReleaseInput(void (*release)());

// Lets the platform layer set the last-error word, raise reports, see the fatal exit and read
// the engine clock (microseconds).
void bz_Error_AttachPlatform(uint32_t (*microseconds)());

// The last report that reached the fatal exit (caption and text) and how many did; lets a
// keep-alive caller see what would have been shown.
const char *bz_Error_LastReportCaption();
const char *bz_Error_LastReportText();
uint32_t bz_Error_ReportCount();

// Stores the origin pair for the next report.
#define BZ_SET_ORIGIN() (bzgErrorFile = __FILE__, bzgErrorLine = __LINE__)
