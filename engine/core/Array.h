// A growable array over the engine's allocator, for records that are plain data. The storage
// doubles when full (16 elements at first); growth that fails leaves the array as it was and
// reports false. The array never shrinks until it is freed. It is a plain record: an all-zero
// one ({} or inside a cleared record) is an empty array.
#pragma once

#include "core/Memory.h"

#include <cstdint>
#include <type_traits>

template <class T> struct bzArray
{
    static_assert(std::is_trivially_copyable_v<T>, "bzArray holds plain records");

    T *data;
    uint32_t count;
    uint32_t capacity;

    // Room for at least n elements in all.
    bool Reserve(uint32_t n)
    {
        if (n <= capacity)
            return true;
        uint32_t bigger = capacity ? capacity : 16;
        while (bigger < n)
        {
            if (bigger > UINT32_MAX / 2)
                return false;
            bigger *= 2;
        }
        if (static_cast<uint64_t>(bigger) * sizeof(T) > UINT32_MAX)
            return false;
        void *grown = bz_MemRealloc(data, static_cast<uint32_t>(bigger * sizeof(T)), 0);
        if (!grown)
            return false;
        data = static_cast<T *>(grown);
        capacity = bigger;
        return true;
    }

    // Adds an element at the end; false when no memory was left.
    bool Push(const T &value)
    {
        if (count == capacity && !Reserve(count + 1))
            return false;
        data[count++] = value;
        return true;
    }

    void Free()
    {
        bz_MemFree(data);
        data = nullptr;
        count = 0;
        capacity = 0;
    }

    T &operator[](uint32_t i) { return data[i]; }
    const T &operator[](uint32_t i) const { return data[i]; }
};
