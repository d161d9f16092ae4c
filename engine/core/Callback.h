// Named callbacks: functions registered under a name, so that data files can name a handler.
#pragma once

#include <cstdint>

// Any function; callers cast it back to the type that the name stands for.
typedef void (*bzCallbackFunction)();

struct bzNamedCallback
{
    bzCallbackFunction function;
    char *name; // a copy of the registered name
    bzNamedCallback *next;
};

// Links a record at the head of the chain, newest first; names are not checked for duplicates.
// 0, or 14 when the record or the copy of the name cannot be had, 29 for a null name.
int32_t bz_RegisterNamedCallback(bzCallbackFunction function, const char *name);
// The function of the newest record whose name equals the text exactly; null for a null or
// empty name or when none is found.
bzCallbackFunction bz_FindNamedCallback(const char *name);
// The name of the newest record of the function, or null.
const char *bz_FindCallbackName(bzCallbackFunction function);
// Frees every record and name.
void bz_FreeNamedCallbacks();
