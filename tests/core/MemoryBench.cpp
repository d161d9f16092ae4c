// Micro-benchmarks of the memory manager beside the C library's malloc and free, timed in the
// same run. Built as bench_core; not run by the tests. Compare medians of interleaved rounds
// on one pinned core, for example:
//   taskset -c 2 build/rel/tests/bench_core --benchmark_repetitions=9
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// Pairs: one allocation and its release per round. Batches: 64 allocations, then their
// releases in the same order. TempStackPastEnd: a mark, n blocks that do not fit in the stack
// and the pop of the mark; per_block is the time of one block.
#include "core/Memory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace
{
constexpr int kBatch = 64;

int32_t PoolFor(uint32_t size)
{
    static int32_t ids[257];
    if (!ids[size])
        ids[size] = bz_Pool_Create(size, 0, 1, 0);
    return ids[size];
}

void BM_PoolPair(benchmark::State &state)
{
    int32_t id = PoolFor(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state)
    {
        void *p = bz_Pool_Alloc(id, 0);
        benchmark::DoNotOptimize(p);
        bz_Pool_FreeElement(id, p);
    }
}

void BM_MallocPair(benchmark::State &state)
{
    size_t size = static_cast<size_t>(state.range(0));
    for (auto _ : state)
    {
        void *p = std::malloc(size);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}

void BM_HeapPair(benchmark::State &state)
{
    uint32_t size = static_cast<uint32_t>(state.range(0));
    for (auto _ : state)
    {
        void *p = bz_MemAlloc(size, 0);
        benchmark::DoNotOptimize(p);
        bz_MemFree(p);
    }
}

void BM_PoolBatch(benchmark::State &state)
{
    int32_t id = PoolFor(static_cast<uint32_t>(state.range(0)));
    void *els[kBatch];
    for (auto _ : state)
    {
        for (void *&e : els)
        {
            e = bz_Pool_Alloc(id, 0);
            benchmark::DoNotOptimize(e);
        }
        for (void *e : els)
            bz_Pool_FreeElement(id, e);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_MallocBatch(benchmark::State &state)
{
    size_t size = static_cast<size_t>(state.range(0));
    void *els[kBatch];
    for (auto _ : state)
    {
        for (void *&e : els)
        {
            e = std::malloc(size);
            benchmark::DoNotOptimize(e);
        }
        for (void *e : els)
            std::free(e);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_TempStackPastEnd(benchmark::State &state)
{
    const int64_t blocks = state.range(0);
    // Too small for even one block: every block goes to the heap.
    int32_t id = bz_TempStack_Create(32, 1);
    if (!id)
    {
        state.SkipWithError("no temporary stack");
        return;
    }
    for (auto _ : state)
    {
        bz_TempStack_PushMark(id);
        for (int64_t i = 0; i < blocks; ++i)
        {
            void *p = bz_TempStack_Alloc(id, 64, 0);
            benchmark::DoNotOptimize(p);
        }
        bz_TempStack_PopMark(id);
    }
    bz_TempStack_Destroy(id);
    state.counters["per_block"] = benchmark::Counter(static_cast<double>(blocks),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK(BM_PoolPair)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
BENCHMARK(BM_MallocPair)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
BENCHMARK(BM_HeapPair)->Arg(64);
BENCHMARK(BM_PoolBatch)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
BENCHMARK(BM_MallocBatch)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
BENCHMARK(BM_TempStackPastEnd)->Arg(256)->Arg(16384);

