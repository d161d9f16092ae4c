// What the platform layer tells the engine above it. The layer cannot call up into the engine,
// so the engine installs these answers when it starts; until then the layer's reports go
// nowhere (no last-error word is set, no report is shown) and it sees no fatal exit.
#pragma once

#include <cstdint>

// The engine's result codes that the platform layer gives back, in the engine's numbering.
enum : int32_t
{
    PD_ERROR_NO_WINDOWS_INTERFACE = 7, // the window or its system could not be started
    PD_ERROR_FILE_NOT_FOUND = 19,
    PD_ERROR_SEARCH_IN_PROGRESS = 46, // another directory walk is open
    PD_ERROR_NOT_SEARCHING = 47,      // a directory walk was asked on while none runs
};

struct PDEngineHooks
{
    // Sets the engine's last-error word.
    void (*setLastError)(int32_t code);
    // The engine's error report: shows the text and ends the program unless it is kept alive.
    void (*reportError)(const char *caption, const char *text);
    // Non-zero once the engine's fatal exit has begun.
    int32_t (*fatalExitUnderWay)();
    // The engine clock's microseconds.
    uint32_t (*microseconds)();
};

// Installs the engine's answers (copied); null takes them away.
void PDSetEngineHooks(const PDEngineHooks *hooks);

// What the layer's own code calls; each does nothing (or answers 0) while no answer is installed.
void PDSetLastError(int32_t code);
void PDReportError(const char *caption, const char *text);
int32_t PDFatalExitUnderWay();
uint32_t PDEngineMicroseconds();
