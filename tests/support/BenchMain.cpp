// Main of the benchmark programs: starts the engine core once, runs the benchmarks named on the
// command line (all by default) and shuts the memory manager down.
#include "core/Error.h"
#include "core/Memory.h"
#include "startup/Engine.h"

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    bzInitRecord record = {};
    bz_InitEngine(&record);
    bzgNoFatalExit = 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bz_MemPools_DestroyAll();
    return 0;
}
