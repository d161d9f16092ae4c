// Raw memory primitives of the PC: the entries of the engine's memory-primitive table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Runtime heap allocation of size bytes; the kind is ignored on the PC. Inline, so that the
// memory manager calls the runtime heap in place while its table holds these two.
inline void *PDMemAlloc(uint32_t, size_t size)
{
    return std::malloc(size);
}

inline void PDMemFree(void *block)
{
    std::free(block);
}

void *PDMemCopyWords(void *dest, const void *src, size_t length);
void *PDMemCopy(void *dest, const void *src, size_t length);
void *PDMemFill(void *dest, int value, size_t length);
void *PDMemMove(void *dest, const void *src, size_t length);
int PDMemCompare(const void *a, const void *b, size_t length);
