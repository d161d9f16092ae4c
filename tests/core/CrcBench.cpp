// CRC-32 throughput over 4 MB against zlib's crc32 (when zlib is installed), in one run.
// Built as bench_core; not run by the tests.
#include "core/Strings.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#if TOLVANE_BENCH_ZLIB
#include <zlib.h>
#endif

namespace
{
constexpr size_t kSize = 4u << 20;

const std::vector<unsigned char> &Buffer()
{
    static const std::vector<unsigned char> buffer = []
    {
        std::vector<unsigned char> b(kSize);
        std::mt19937 engine(11);
        for (auto &byte : b)
            byte = static_cast<unsigned char>(engine());
        return b;
    }();
    return buffer;
}

void BM_Crc32_Ours(benchmark::State &state)
{
    const std::vector<unsigned char> &b = Buffer();
    for (auto _ : state)
    {
        uint32_t crc = bz_Crc32(0, static_cast<uint32_t>(b.size()), b.data());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Crc32_Ours);

#if TOLVANE_BENCH_ZLIB
void BM_Crc32_Zlib(benchmark::State &state)
{
    const std::vector<unsigned char> &b = Buffer();
    for (auto _ : state)
    {
        uLong crc = crc32(0L, b.data(), static_cast<uInt>(b.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Crc32_Zlib);
#endif
} // namespace

