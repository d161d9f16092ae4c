// Runs the archive reader over many damaged archives: every one must be refused or served
// without reading outside what it holds (the sanitizers watch) and without leaking.
#include "files/Wad.h"

#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
#include "WadTestWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
const char *const kPaths[] = {
    "DATA\\TEXT\\A.TXT",  "DATA\\TEXT\\B.TXT",
    "DATA\\SOUNDS\\SHOT", "DATA\\ROOT.TXT",
    "ROOT.TXT",           "DATA\\TEXT\\..\\X\\..\\TEXT\\A.TXT",
    "DATA\\A\\B\\C\\D",   "X\\Y",
};

std::vector<std::string> Samples()
{
    WadTree text{"TEXT", {}, {{"A.TXT", std::string(300, 'a')}, {"B.TXT", "bravo"}}};
    WadTree sounds{"SOUNDS", {}, {{"SHOT", "bang"}}};
    WadTree chain{"D", {}, {{"F", "deep"}}};
    for (const char *name : {"C", "B", "A"})
        chain = WadTree{name, {chain}, {}};
    WadTree root{"DATA", {text, sounds, chain}, {{"ROOT.TXT", "root"}}};
    return {BuildWad(root, 0x0100), BuildWad(root, 0x0101), BuildWad(root, 0x0101, 1),
            BuildWad({"DATA", {}, {}}), BuildWad({"X", {{"Y", {}, {}}}, {{"Y", ""}}})};
}

std::string Mutate(const std::string &in, std::mt19937 &random)
{
    std::string s = in;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e)
    {
        const size_t size = s.size();
        switch (random() % 6)
        {
        case 0: // flip bits anywhere
            if (size)
                s[random() % size] ^= static_cast<char>(1u << (random() % 8));
            break;
        case 1: // a random word in the header, names or entries
            if (size >= 4)
            {
                size_t at = random() % (size < 200 ? size - 3 : 197);
                uint32_t v = random() % 3 == 0 ? random() : random() % 512;
                for (int i = 0; i < 4; ++i)
                    s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
            }
            break;
        case 2: // cut short
            s.resize(size ? random() % size : 0);
            break;
        case 3: // a zero byte becomes a letter, losing a terminator
            for (size_t i = 0; i < size; ++i)
            {
                size_t at = (i + random()) % size;
                if (s[at] == 0)
                {
                    s[at] = 'Z';
                    break;
                }
            }
            break;
        case 4: // extra bytes at the end
            s.append(random() % 40, static_cast<char>(random()));
            break;
        default: // a random byte
            if (size)
                s[random() % size] = static_cast<char>(random());
            break;
        }
    }
    return s;
}

// Opens each known path and reads it in odd chunks, seeking about.
void Exercise()
{
    char buffer[512];
    for (const char *path : kPaths)
    {
        bzFileHandle *f = bz_FileOpen(path, "rb");
        if (!f)
            continue;
        bz_FileSeek(f, 0, 2);
        const int32_t length = bz_FileTell(f);
        EXPECT_EQ(length, bz_FileLength(f));
        bz_FileRewind(f);
        for (size_t chunk : {7u, 100u, 512u})
            bz_FileRead(f, buffer, chunk);
        bz_FileSeek(f, -5, 1);
        bz_FileReadItems(buffer, 3, 9, f);
        bz_FileClose(f);
    }
}
} // namespace

TEST(WadFuzz, DamagedArchivesNeverReadOutOfBoundsOrLeak)
{
    ScopedTempDir dir;
    KeepAlive keep;
    const std::vector<std::string> samples = Samples();
    std::mt19937 random(20240611u);
    bz_WAD_Init("NONE", 0, 0, 0, nullptr);

    bzMemStats start;
    bz_Mem_GetStats(&start);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    int runs = 0, mounted = 0;
    for (; runs < 12000 && std::chrono::steady_clock::now() < deadline; ++runs)
    {
        const std::string bytes = Mutate(samples[random() % samples.size()], random);

        // From memory.
        void *image = bz_MemAlloc(static_cast<uint32_t>(bytes.size() + 1), 0);
        std::memcpy(image, bytes.data(), bytes.size());
        if (bz_WAD_MountMemory(image, "MEM"))
        {
            ++mounted;
            Exercise();
            EXPECT_EQ(bz_WAD_Unmount("MEM"), 1);
        }
        else
        {
            bz_MemFree(image);
        }

        // From disk, through the hook table, and as a tool's image.
        if (runs % 8 == 0)
        {
            WriteWholeFile("FUZZ.WAD", bytes);
            if (bz_WAD_Open("FUZZ"))
            {
                Exercise();
                EXPECT_EQ(bz_WAD_Unmount("FUZZ.WAD"), 1);
            }
            bzWADImage loaded;
            if (bz_WAD_LoadImage(&loaded, "FUZZ.WAD") == 0)
            {
                bzWADImageEntry entry;
                bz_WAD_ImageFirst(&loaded);
                uint32_t sum = 0;
                while (bz_WAD_ImageNext(&loaded, &entry))
                {
                    sum += static_cast<uint32_t>(std::strlen(entry.name));
                    for (uint32_t i = 0; i < entry.length; ++i)
                        sum += entry.data[i];
                }
                (void)sum;
                bz_WAD_FreeImage(&loaded);
            }
        }
    }
    bz_WAD_Close();
    bzMemStats end;
    bz_Mem_GetStats(&end);
    EXPECT_EQ(end.blockCount, start.blockCount);
    EXPECT_EQ(end.bytesInUse, start.bytesInUse);
    EXPECT_GT(runs, 200);
    EXPECT_GT(mounted, 0) << "some damage leaves an archive that still reads";
}
