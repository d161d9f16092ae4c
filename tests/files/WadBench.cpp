// Archive open by name against a hash map: bz_FileOpen and bz_FileClose of a file of a mounted
// archive of 100, 1,000 and 10,000 files, against a std::unordered_map lookup of the same
// paths. The cost of an open should not grow with the number of files.
//
// taskset -c 6 build/rel/tests/bench_files --benchmark_filter=WadOpen
//     --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "files/Wad.h"
#include "../support/WadTestWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
// An archive DATA with ten directories holding count files between them, and the paths of
// its files in a shuffled order, written in mixed case as callers write them.
struct Archive
{
    std::string image;
    std::vector<std::string> paths;
};

Archive MakeArchive(int32_t count)
{
    Archive out;
    WadTree root{"DATA", {}, {}};
    for (int d = 0; d < 10; ++d)
        root.directories.push_back(WadTree{"DIR" + std::to_string(d), {}, {}});
    for (int32_t i = 0; i < count; ++i)
    {
        char name[32];
        std::snprintf(name, sizeof name, "FILE%05d.TXT", static_cast<int>(i));
        WadTree &dir = root.directories[static_cast<size_t>(i % 10)];
        dir.files.push_back({name, "x"});
        char path[64];
        std::snprintf(path, sizeof path, "data\\Dir%d\\file%05d.txt", i % 10, static_cast<int>(i));
        out.paths.push_back(path);
    }
    out.image = BuildWad(root);
    std::mt19937 random(12345);
    std::shuffle(out.paths.begin(), out.paths.end(), random);
    return out;
}

void MountInMemory(const Archive &archive)
{
    bzgNoFatalExit = 1;
    bz_WAD_Init("NO_SUCH_ARCHIVE", 0, 1, 0, nullptr);
    void *image = bz_MemAlloc(static_cast<uint32_t>(archive.image.size()), 0);
    std::memcpy(image, archive.image.data(), archive.image.size());
    if (!bz_WAD_MountMemory(image, "BENCH.WAD"))
        std::abort();
}

void BM_WadOpenByName(benchmark::State &state)
{
    const Archive archive = MakeArchive(static_cast<int32_t>(state.range(0)));
    MountInMemory(archive);
    size_t next = 0;
    for (auto _ : state)
    {
        bzFileHandle *file = bz_FileOpen(archive.paths[next].c_str(), "rb");
        if (!file)
            std::abort();
        benchmark::DoNotOptimize(file->length);
        bz_FileClose(file);
        if (++next == archive.paths.size())
            next = 0;
    }
    bz_WAD_Close();
}
BENCHMARK(BM_WadOpenByName)->Arg(100)->Arg(1000)->Arg(10000);

// The peer: one lookup of the same path in a hash map of every path.
void BM_WadOpenHashMapPeer(benchmark::State &state)
{
    const Archive archive = MakeArchive(static_cast<int32_t>(state.range(0)));
    std::unordered_map<std::string, int32_t> map;
    for (size_t i = 0; i < archive.paths.size(); ++i)
        map.emplace(archive.paths[i], static_cast<int32_t>(i));
    size_t next = 0;
    for (auto _ : state)
    {
        auto found = map.find(archive.paths[next]);
        if (found == map.end())
            std::abort();
        benchmark::DoNotOptimize(found->second);
        if (++next == archive.paths.size())
            next = 0;
    }
}
BENCHMARK(BM_WadOpenHashMapPeer)->Arg(100)->Arg(1000)->Arg(10000);
} // namespace
