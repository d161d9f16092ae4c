// While one of these lives, every raw allocation the memory manager asks of its primitive table
// fails and is counted: a test shows that a path takes nothing from the system heap, or how it
// behaves when memory runs out. Restore() gives the table back early; the destructor does it
// otherwise.
#pragma once

#include "core/Memory.h"

class RawAllocFailure
{
public:
    RawAllocFailure()
    {
        calls_ = 0;
        bz_Mem_GetPrimitives(&saved_);
        bzMemPrimitiveTable failing = saved_;
        failing.allocRaw = [](uint32_t, size_t) -> void *
        {
            calls_++;
            return nullptr;
        };
        bz_Mem_SetPrimitives(&failing);
    }
    ~RawAllocFailure() { Restore(); }
    RawAllocFailure(const RawAllocFailure &) = delete;
    RawAllocFailure &operator=(const RawAllocFailure &) = delete;

    void Restore()
    {
        if (!restored_)
            bz_Mem_SetPrimitives(&saved_);
        restored_ = true;
    }
    // Raw allocations asked for since this began.
    static int Calls() { return calls_; }

private:
    static inline int calls_ = 0;
    bzMemPrimitiveTable saved_{};
    bool restored_ = false;
};
