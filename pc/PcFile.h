// The host side of file names and disk files. The engine names files the PC way: "\" or "/"
// between components, any mix of letter case. This is the one place where such a name becomes
// a path of the host's case-sensitive file system.
#pragma once

#include <cstdint>
#include <cstdio>

// Maps an engine path to a host path: "\" becomes "/", empty and "." components and doubled
// separators drop out, ".." removes the component before it (as the PC resolves names, before
// the file system is asked), and every component that does not exist under its exact name is
// matched without regard to letter case against its directory's entries. A component that
// matches nothing is kept as given, so a new file is created under the name given. A trailing
// separator is kept. Returns 1, or 0 (out holds "") when name is null or the result does not
// fit size bytes.
int32_t PDMapPath(const char *name, char *out, uint32_t size);

// The standard I/O operations on mapped names.
std::FILE *PDFileOpen(const char *name, const char *mode);
// The stream is gone after a failed reopen (null result): do not use or close it again.
std::FILE *PDFileReopen(const char *name, const char *mode, std::FILE *stream);
std::FILE *PDFileTemp();
// A fresh name for a temporary file, in buffer (at least 20 bytes) or a static buffer when
// buffer is null; null when none can be made.
char *PDFileTempName(char *buffer);
int PDFileRemove(const char *name);
int PDFileRename(const char *oldName, const char *newName);
// The current length of an open stream's file, from its descriptor (-1 when unknown; files
// beyond 2 GB report 0x7fffffff).
int32_t PDFileStreamLength(std::FILE *stream);
