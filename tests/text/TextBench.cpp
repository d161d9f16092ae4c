// The text reader against plain searches of its buffer, and an enciphered file against the same
// file stored plain:
// - FindSection and FindKey of a random section of a file of 10,000 sections, against memmem
//   for the header from the start of the buffer and then for the key;
// - a loader visiting every section by name (the time per section should not grow with the
//   number of sections);
// - loading a file and reading every line of it, enciphered against plain (and the first
//   enciphered file of its key, for which the key stream is produced).
//
// taskset -c 6 build/rel/tests/bench_text --benchmark_repetitions=9
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include "core/Memory.h"
#include "files/Cipher.h"
#include "files/File.h"
#include "files/Wad.h"
#include "text/Text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
const uint8_t kKey[] = {'b', 'e', 'n', 'c', 'h', 0x11, 0x7f};

std::string SectionName(int32_t i)
{
    char name[32];
    std::snprintf(name, sizeof name, "SECTION%05d", static_cast<int>(i));
    return name;
}

// A file of count sections of three keys each, as the game's description files are laid out.
std::string MakeText(int32_t count)
{
    std::string text = "// generated for the benchmark\n";
    for (int32_t i = 0; i < count; ++i)
    {
        text += "\n[" + SectionName(i) + "]\n";
        text += "<NAME>\nthing number " + std::to_string(i) + "\n";
        text += "<POSITION>\n" + std::to_string(i) + ", 2.5, -7.25\n";
        text += "<FLAGS>\n0x10 // a comment\n";
    }
    return text;
}

std::vector<int32_t> Shuffled(int32_t count)
{
    std::vector<int32_t> order(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        order[static_cast<size_t>(i)] = i;
    std::mt19937 random(777);
    std::shuffle(order.begin(), order.end(), random);
    return order;
}

// A directory of its own for the benchmark's files, removed at exit.
const std::string &WorkDir()
{
    static const std::string dir = []
    {
        char pattern[] = "/tmp/tolvane-textbench-XXXXXX";
        const char *made = mkdtemp(pattern);
        if (!made)
            std::abort();
        std::string path = made;
        std::atexit(
            []
            {
                std::string d = WorkDir();
                std::remove((d + "/PLAIN.TXT").c_str());
                std::remove((d + "/CIPHER.TXT").c_str());
                rmdir(d.c_str());
            });
        return path;
    }();
    return dir;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        std::abort();
    std::fclose(f);
}

std::string PlainFile(int32_t count)
{
    std::string path = WorkDir() + "/PLAIN.TXT";
    WriteFile(path, MakeText(count));
    return path;
}

std::string EncipheredFile(int32_t count)
{
    std::string text = MakeText(count);
    std::string stored(text.size(), '\0');
    bz_CipherBytes(
        reinterpret_cast<uint8_t *>(stored.data()), 0, kKey, static_cast<int32_t>(sizeof kKey),
        reinterpret_cast<const uint8_t *>(text.data()), static_cast<int32_t>(text.size()), nullptr);
    std::string path = WorkDir() + "/CIPHER.TXT";
    WriteFile(path, stored);
    return path;
}

bzTextReader *LoadEnciphered(const std::string &path)
{
    bzFileHandle *file = bz_FileOpen(path.c_str(), "rb");
    if (!file)
        std::abort();
    file->enciphered = 1;
    bzTextReader *reader = bz_Text_FromFile(file);
    bz_FileClose(file);
    if (!reader)
        std::abort();
    return reader;
}

void BM_TextFindSectionKey(benchmark::State &state)
{
    const int32_t count = static_cast<int32_t>(state.range(0));
    bzTextReader *reader = bz_Script_Load(PlainFile(count).c_str());
    const std::vector<int32_t> order = Shuffled(count);
    std::vector<std::string> names;
    for (int32_t i : order)
        names.push_back(SectionName(i));
    size_t next = 0;
    for (auto _ : state)
    {
        if (!bz_Text_FindSection(reader, names[next].c_str(), 0) ||
            !bz_Text_FindKey(reader, "FLAGS"))
            std::abort();
        benchmark::DoNotOptimize(reader->position);
        if (++next == names.size())
            next = 0;
    }
    bz_Text_Close(reader);
}
BENCHMARK(BM_TextFindSectionKey)->Arg(10000);

// The peer: memmem for "[NAME]" from the start of the buffer, then for "<FLAGS>" from there.
void BM_TextFindSectionKeyMemmemPeer(benchmark::State &state)
{
    const int32_t count = static_cast<int32_t>(state.range(0));
    const std::string text = MakeText(count);
    const std::vector<int32_t> order = Shuffled(count);
    std::vector<std::string> tokens;
    for (int32_t i : order)
        tokens.push_back("[" + SectionName(i) + "]");
    size_t next = 0;
    for (auto _ : state)
    {
        const std::string &token = tokens[next];
        const char *at =
            static_cast<const char *>(memmem(text.data(), text.size(), token.data(), token.size()));
        if (!at)
            std::abort();
        const char *end = text.data() + text.size();
        const char *key =
            static_cast<const char *>(memmem(at, static_cast<size_t>(end - at), "<FLAGS>", 7));
        if (!key)
            std::abort();
        benchmark::DoNotOptimize(key);
        if (++next == tokens.size())
            next = 0;
    }
}
BENCHMARK(BM_TextFindSectionKeyMemmemPeer)->Arg(10000);

// A loader that finds every section by name in turn and reads a value of each; reported per
// section.
void BM_TextVisitEverySection(benchmark::State &state)
{
    const int32_t count = static_cast<int32_t>(state.range(0));
    bzTextReader *reader = bz_Script_Load(PlainFile(count).c_str());
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i)
        names.push_back(SectionName(i));
    for (auto _ : state)
    {
        for (const std::string &name : names)
        {
            if (!bz_Text_FindSection(reader, name.c_str(), 0) ||
                !bz_Text_FindKey(reader, "POSITION"))
                std::abort();
            benchmark::DoNotOptimize(bz_Text_ReadLine(reader));
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
    bz_Text_Close(reader);
}
BENCHMARK(BM_TextVisitEverySection)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void ReadEveryLine(bzTextReader *reader)
{
    while (reader->position < reader->size)
        benchmark::DoNotOptimize(bz_Text_ReadLine(reader));
}

void BM_TextReadPlain(benchmark::State &state)
{
    const std::string path = PlainFile(static_cast<int32_t>(state.range(0)));
    for (auto _ : state)
    {
        bzTextReader *reader = bz_Script_Load(path.c_str());
        if (!reader)
            std::abort();
        ReadEveryLine(reader);
        bz_Text_Close(reader);
    }
}
BENCHMARK(BM_TextReadPlain)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_TextReadEnciphered(benchmark::State &state)
{
    const std::string path = EncipheredFile(static_cast<int32_t>(state.range(0)));
    bz_WAD_SetKey(kKey, sizeof kKey);
    for (auto _ : state)
    {
        bzTextReader *reader = LoadEnciphered(path);
        ReadEveryLine(reader);
        bz_Text_Close(reader);
    }
}
BENCHMARK(BM_TextReadEnciphered)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The first enciphered file of a key: the key stream is produced for it, not taken from the
// bytes kept for earlier files.
void BM_TextReadEncipheredFirstOfItsKey(benchmark::State &state)
{
    const std::string path = EncipheredFile(static_cast<int32_t>(state.range(0)));
    bz_WAD_SetKey(kKey, sizeof kKey);
    for (auto _ : state)
    {
        bz_Text_FreeLineBuffer(); // drops the kept key stream
        bzTextReader *reader = LoadEnciphered(path);
        ReadEveryLine(reader);
        bz_Text_Close(reader);
    }
}
BENCHMARK(BM_TextReadEncipheredFirstOfItsKey)->Arg(10000)->Unit(benchmark::kMicrosecond);
} // namespace
