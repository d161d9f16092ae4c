// Byte-stream cipher throughput over 4 MB against a plain RC4 loop, in one run. Built as
// bench_files; not run by the tests.
#include "files/Cipher.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace
{
constexpr int32_t kSize = 4 << 20;
const uint8_t kKey[] = "benchmark key 0123456789";
constexpr int32_t kKeyLength = sizeof kKey - 1;

const std::vector<uint8_t> &Plain()
{
    static const std::vector<uint8_t> buffer = []
    {
        std::vector<uint8_t> b(kSize);
        std::mt19937 engine(5);
        for (auto &byte : b)
            byte = static_cast<uint8_t>(engine());
        return b;
    }();
    return buffer;
}

// The textbook loop: key schedule, then one key-stream byte XORed per data byte.
void PlainRc4(const uint8_t *key, int32_t keyLength, const uint8_t *in, uint8_t *out, int32_t n)
{
    uint8_t s[256];
    for (int32_t i = 0; i < 256; i++)
        s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (int32_t i = 0; i < 256; i++)
    {
        j = static_cast<uint8_t>(j + s[i] + key[i % keyLength]);
        const uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
    uint8_t i = 0;
    j = 0;
    for (int32_t k = 0; k < n; k++)
    {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s[i]);
        const uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
        out[k] = static_cast<uint8_t>(in[k] ^ s[static_cast<uint8_t>(s[i] + s[j])]);
    }
}

void BM_Cipher_Ours(benchmark::State &state)
{
    const std::vector<uint8_t> &in = Plain();
    std::vector<uint8_t> out(kSize);
    for (auto _ : state)
    {
        bz_CipherBytes(out.data(), 0, kKey, kKeyLength, in.data(), kSize, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Cipher_Ours);

// The key stream the text reader holds, read a span at a time.
void BM_CipherStream_Transform(benchmark::State &state)
{
    const std::vector<uint8_t> &in = Plain();
    std::vector<uint8_t> out(kSize);
    bzCipherStream stream;
    bz_CipherStream_Init(&stream, kKey, kKeyLength);
    for (auto _ : state)
    {
        bz_CipherStream_Transform(&stream, out.data(), 0, in.data(), kSize);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    bz_CipherStream_Release(&stream);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_CipherStream_Transform);

void BM_Cipher_PlainRc4(benchmark::State &state)
{
    const std::vector<uint8_t> &in = Plain();
    std::vector<uint8_t> out(kSize);
    for (auto _ : state)
    {
        PlainRc4(kKey, kKeyLength, in.data(), out.data(), kSize);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Cipher_PlainRc4);
} // namespace

