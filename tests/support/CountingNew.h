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
// The deletes stay out of line: inlined into a caller, the compiler would see malloc's free
// given a pointer from new.
[[gnu::noinline]] void operator delete(void *p) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
// The library's temporary buffers (std::stable_sort) take the nothrow form and give it back
// through the plain delete above, so it has to come from the same heap.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    gNewCalls++;
    return std::malloc(size ? size : 1);
}
[[gnu::noinline]] void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
