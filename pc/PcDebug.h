// Debugger output of the PC. With no debugger the text goes to standard error.
#pragma once

#include <cstdint>

// Writes "<file> [<line>] " then the formatted message and "\r\n".
void PDDebugOutput(const char *file, int32_t line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Writes the text and breaks into the debugger when one is attached.
void PDDebugBreakMessage(const char *text);
// True when a debugger traces this process.
bool PDDebuggerAttached();
// Writes raw text to the debugger channel.
void PDDebugWrite(const char *text);
// Writes text to the process's standard output.
void PDWriteStandardOutput(const char *text);
