// Raw memory primitives of the PC: the entries of the engine's memory-primitive table.
#pragma once

#include <cstddef>
#include <cstdint>

void *PDMemAlloc(uint32_t kind, size_t size);
void PDMemFree(void *block);
void *PDMemCopyWords(void *dest, const void *src, size_t length);
void *PDMemCopy(void *dest, const void *src, size_t length);
void *PDMemFill(void *dest, int value, size_t length);
void *PDMemMove(void *dest, const void *src, size_t length);
int PDMemCompare(const void *a, const void *b, size_t length);
