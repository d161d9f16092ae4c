// Replaces the program's operator new with one that counts its calls, so that a test can show
// that a path takes nothing from the system heap. Include it in exactly one file of a test
// program: the replacement is the program's own.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> gNewCalls{0};

void *operator new(std::size_t size)
{
    gNewCalls++;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
