#include "files/Wad.h"

#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
#include "WadTestWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
WadTree GameTree(const std::string &a = "alpha-text-0123456789-xyz")
{
    WadTree text{"TEXT", {}, {{"A.TXT", a}, {"B.TXT", "bravo"}}};
    WadTree sounds{"SOUNDS", {}, {{"SHOT", "bang"}}};
    return WadTree{"DATA", {text, sounds}, {{"ROOT.TXT", "root file"}}};
}

std::string ReadAll(bzFileHandle *f)
{
    std::string out(static_cast<size_t>(bz_FileLength(f)), '\0');
    if (!out.empty() && bz_FileRead(f, out.data(), out.size()) != out.size())
        return "<short read>";
    return out;
}

// Opens name, reads it whole and closes it; "<none>" when it does not open.
std::string Slurp(const char *name, bool *fromArchive = nullptr)
{
    bzFileHandle *f = bz_FileOpen(name, "rb");
    if (!f)
        return "<none>";
    if (fromArchive)
        *fromArchive = f->archiveEntry != nullptr;
    std::string text = ReadAll(f);
    bz_FileClose(f);
    return text;
}

bool StartsWith(const char *text, const char *prefix)
{
    return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

class Wad : public ::testing::Test
{
protected:
    void SetUp() override { bz_FileIO_GetHandlers(&before_); }
    void TearDown() override
    {
        bz_WAD_Close();
        bzFileIOHandlers after;
        bz_FileIO_GetHandlers(&after);
        EXPECT_EQ(std::memcmp(&before_, &after, sizeof after), 0) << "close restores the table";
    }

    ScopedTempDir dir_;
    KeepAlive keep_;
    bzFileIOHandlers before_;
};
} // namespace

TEST_F(Wad, LookupsByAnySeparatorCaseAndDotDot)
{
    WriteWholeFile("GAME.WAD", BuildWad(GameTree()));
    bz_WAD_Init("GAME", 0, 0, 0, nullptr);
    for (const char *name : {"data\\text\\a.txt", "DATA/TEXT/A.TXT", "DATA\\TEXT\\..\\TEXT\\A.TXT",
                             "Data\\Sounds\\..\\Text\\A.txt"})
    {
        bool fromArchive = false;
        EXPECT_EQ(Slurp(name, &fromArchive), "alpha-text-0123456789-xyz") << name;
        EXPECT_TRUE(fromArchive) << name;
    }
    EXPECT_EQ(Slurp("data\\sounds\\Shot"), "bang");
    EXPECT_EQ(Slurp("ROOT.TXT"), "root file");
    EXPECT_EQ(Slurp("DATA\\ROOT.TXT"), "root file");
    EXPECT_EQ(Slurp("DATA\\TEXT\\X\\A.TXT"), "<none>");
    EXPECT_EQ(Slurp("DATA\\TEXT\\C.TXT"), "<none>");
    EXPECT_EQ(Slurp(std::string(200, 'A').c_str()), "<none>");

    // Not in the archive: the disk answers, through the same name.
    ASSERT_EQ(bz_MakeDirectory("data"), 0);
    ASSERT_EQ(bz_MakeDirectory("data\\text"), 0);
    ASSERT_EQ(bz_MakeDirectory("data\\text\\x"), 0);
    WriteWholeFile("data/text/x/a.txt", "disk");
    bool fromArchive = true;
    EXPECT_EQ(Slurp("DATA\\TEXT\\X\\A.TXT", &fromArchive), "disk");
    EXPECT_FALSE(fromArchive);

    // Writing never goes to an archive.
    bzFileHandle *w = bz_FileOpen("data\\text\\a.txt", "w");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->archiveEntry, nullptr);
    bz_FileWrite(w, "on disk", 7);
    bz_FileClose(w);
    EXPECT_EQ(ReadWholeFile("data/text/a.txt"), "on disk");
    EXPECT_EQ(Slurp("data\\text\\a.txt"), "alpha-text-0123456789-xyz") << "archive first";
}

// Only ".." itself names the parent directory; "..FOO" and "..." are names like any other.
TEST_F(Wad, OnlyDotDotItselfNamesTheParent)
{
    WadTree dotted{"..FOO", {}, {{"F.TXT", "in dotted"}}};
    WadTree text{"TEXT", {dotted}, {{"A.TXT", "alpha"}}};
    WriteWholeFile("GAME.WAD", BuildWad(WadTree{"DATA", {text}, {{"ROOT.TXT", "root file"}}}));
    bz_WAD_Init("GAME", 0, 1, 0, nullptr);
    const struct
    {
        const char *path;
        const char *contents;
    } cases[] = {
        {"DATA\\TEXT\\..\\ROOT.TXT", "root file"}, {"DATA\\TEXT\\..FOO\\ROOT.TXT", "<none>"},
        {"DATA\\TEXT\\...\\ROOT.TXT", "<none>"},   {"DATA\\TEXT\\..X\\..\\ROOT.TXT", "<none>"},
        {"DATA\\TEXT\\..FOO\\F.TXT", "in dotted"}, {"DATA\\TEXT\\..FOO\\..\\A.TXT", "alpha"},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(Slurp(c.path), c.contents) << c.path;
        EXPECT_EQ(bz_WAD_FindFile(c.path, nullptr) != nullptr,
                  std::strcmp(c.contents, "<none>") != 0)
            << c.path;
    }
}

TEST_F(Wad, DiskFirstAndArchivesOnlySwitches)
{
    WriteWholeFile("GAME.WAD", BuildWad(GameTree()));
    ASSERT_EQ(mkdir("data", 0777), 0);
    ASSERT_EQ(mkdir("data/text", 0777), 0);
    WriteWholeFile("data/text/a.txt", "disk copy");
    WriteWholeFile("loose.txt", "loose");

    bz_WAD_Init("GAME", 1, 0, 0, nullptr);
    EXPECT_EQ(Slurp("DATA\\TEXT\\A.TXT"), "disk copy");
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo");

    bz_WAD_Init("GAME", 1, 1, 0, nullptr); // archives only wins over disk first
    EXPECT_EQ(Slurp("DATA\\TEXT\\A.TXT"), "alpha-text-0123456789-xyz");
    EXPECT_EQ(Slurp("loose.txt"), "<none>");
    EXPECT_EQ(bz_FileOpen("new.txt", "w"), nullptr);
}

TEST_F(Wad, ArchiveHandlesSeekTellClipAndReadSequentiallyWithoutSeeking)
{
    // Counts the seeks that reach the disk handlers.
    static int seeks;
    static int (*diskSeek)(bzFileHandle *, int32_t, int);
    seeks = 0;
    diskSeek = before_.seek;
    bzFileIOHandlers counting = {};
    counting.seek = [](bzFileHandle *f, int32_t offset, int origin)
    {
        ++seeks;
        return diskSeek(f, offset, origin);
    };
    bz_FileIO_SetHandlers(&counting);

    WriteWholeFile("GAME.WAD", BuildWad(GameTree()));
    bz_WAD_Init("GAME", 0, 0, 0, nullptr);
    bzFileHandle *f = bz_FileOpen("DATA\\TEXT\\A.TXT", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileLength(f), 25);
    EXPECT_EQ(bz_FileSeek(f, 0, 2), 0);
    EXPECT_EQ(bz_FileTell(f), 25);
    bz_FileRewind(f);
    EXPECT_EQ(bz_FileTell(f), 0);

    seeks = 0;
    char buffer[10];
    ASSERT_EQ(bz_FileRead(f, buffer, 10), 10u);
    EXPECT_EQ(std::string(buffer, 10), "alpha-text");
    EXPECT_EQ(bz_FileTell(f), 10);
    ASSERT_EQ(bz_FileRead(f, buffer, 10), 10u);
    EXPECT_EQ(std::string(buffer, 10), "-012345678");
    EXPECT_EQ(seeks, 1) << "the second, sequential read needs no seek";
    EXPECT_EQ(bz_FileEof(f), 0);

    // Past the end: only the file's own bytes arrive, never the next file's.
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(bz_FileRead(f, buffer, 10), 0u);
    EXPECT_EQ(std::string(buffer, 10), "9-xyz#####");
    EXPECT_EQ(bz_FileTell(f), 30);
    EXPECT_NE(bz_FileEof(f), 0);
    EXPECT_EQ(bz_FileRead(f, buffer, 10), 0u);
    EXPECT_EQ(std::string(buffer, 10), "9-xyz#####");

    // Items: whole items read are counted.
    bz_FileSeek(f, 5, 0);
    EXPECT_EQ(bz_FileReadItems(buffer, 5, 2, f), 2u);
    EXPECT_EQ(std::string(buffer, 10), "-text-0123");
    bz_FileSeek(f, -3, 1);
    EXPECT_EQ(bz_FileTell(f), 12);
    bz_FileSeek(f, 20, 0);
    EXPECT_EQ(bz_FileReadItems(buffer, 2, 5, f), 2u); // 5 bytes left: two whole items
    bz_FileSeek(f, -40, 0);
    EXPECT_EQ(bz_FileRead(f, buffer, 1), 0u);
    EXPECT_EQ(bz_FileClose(f), 0);
    EXPECT_EQ(bz_FileClose(f), 0) << "closing twice is harmless";

    // Whole-file loading works through the archive too.
    int32_t length = 0;
    auto *block = static_cast<char *>(bz_LoadFileToMemory("data\\sounds\\shot", &length));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, static_cast<size_t>(length)), "bang");
    bz_MemFree(block);
    bz_WAD_Close();
    bz_FileIO_SetHandlers(&before_);
}

TEST_F(Wad, HandlesOfTwoArchivesReadAlternatelyGetTheirOwnBytes)
{
    WriteWholeFile("ONE.WAD", BuildWad({"DATA", {}, {{"PAD.TXT", "xx"}, {"A.TXT", "1111111111"}}}));
    WriteWholeFile("TWO.WAD", BuildWad({"DATA", {}, {{"B.TXT", "2222222222"}}}));
    bz_WAD_Init("ONE", 0, 0, 0, nullptr);
    ASSERT_EQ(bz_WAD_Open("TWO"), 1);
    bzFileHandle *a = bz_FileOpen("DATA\\A.TXT", "rb");
    bzFileHandle *b = bz_FileOpen("DATA\\B.TXT", "rb");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 5; ++i)
    {
        char x[2], y[2];
        ASSERT_EQ(bz_FileRead(a, x, 2), 2u);
        ASSERT_EQ(bz_FileRead(b, y, 2), 2u);
        EXPECT_EQ(std::string(x, 2), "11") << i;
        EXPECT_EQ(std::string(y, 2), "22") << i;
    }
    bz_FileClose(a);
    bz_FileClose(b);
}

TEST_F(Wad, LaterMountsWinAndUnmountFallsBack)
{
    WriteWholeFile("OLD.WAD", BuildWad({"DATA", {}, {{"F.TXT", "old"}, {"ONLY.TXT", "o"}}}));
    WriteWholeFile("NEW.WAD", BuildWad({"DATA", {}, {{"F.TXT", "new"}}}));
    bz_WAD_Init("OLD", 0, 0, 0, nullptr);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "old");
    ASSERT_EQ(bz_WAD_Open("NEW"), 1);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "new");
    EXPECT_EQ(Slurp("DATA\\ONLY.TXT"), "o");

    bzFileHandle *held = bz_FileOpen("DATA\\F.TXT", "rb");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(bz_WAD_Unmount("nothing.WAD"), 0);
    EXPECT_EQ(bz_WAD_Unmount("NEW.WAD"), 1);
    char c = 0;
    EXPECT_EQ(bz_FileRead(held, &c, 1), 0u) << "a handle of an unmounted archive reads nothing";
    EXPECT_EQ(bz_FileClose(held), 0);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "old");
    EXPECT_EQ(bz_WAD_Unmount("OLD.WAD"), 1);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "<none>");
    EXPECT_EQ(bz_WAD_Open("MISSING"), 0);
}

TEST_F(Wad, VersionsGiveTheSameLookupsAndFlagsMarkEncipheredHandles)
{
    const struct
    {
        uint16_t version;
        uint32_t flags;
        int32_t enciphered;
    } cases[] = {{0x0100, 0, 0}, {0x0101, 0, 0}, {0x0101, 1, 1}, {0x0101, 0x7ffffffe, 0}};
    for (const auto &c : cases)
    {
        WriteWholeFile("GAME.WAD", BuildWad(GameTree(), c.version, c.flags));
        bz_WAD_Init("GAME", 0, 0, 0, nullptr);
        for (const char *name : {"data\\text\\a.txt", "DATA/TEXT/B.TXT", "DATA\\SOUNDS\\SHOT"})
        {
            bzFileHandle *f = bz_FileOpen(name, "rb");
            ASSERT_NE(f, nullptr) << name << " " << c.version;
            EXPECT_EQ(f->enciphered, c.enciphered);
            bz_FileClose(f);
        }
        EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo");
        bz_WAD_Close();
    }
    WriteWholeFile("disk.txt", "d");
    bzFileHandle *f = bz_FileOpen("disk.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->enciphered, 0);
    bz_FileClose(f);
}

TEST_F(Wad, WrongVersionNotAWadAndExtensionAreReported)
{
    std::string wad = BuildWad(GameTree());
    wad[2] = 0x02; // version 0x0102
    WriteWholeFile("GAME.WAD", wad);
    uint32_t reports = bz_Error_ReportCount();
    bz_WAD_Init("GAME", 0, 0, 0, nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Wad file failure.");
    EXPECT_TRUE(StartsWith(bz_Error_LastReportText(),
                           "Opened wad file is wrong version\nFatal, can not function."));
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "<none>");

    WriteWholeFile("JUNK.WAD", "this is no archive at all");
    EXPECT_EQ(bz_WAD_Open("JUNK"), 0);
    EXPECT_TRUE(StartsWith(bz_Error_LastReportText(),
                           "The opened file is not a wad file.\nFatal, can not function."));
    WriteWholeFile("TINY.WAD", "\x34");
    EXPECT_EQ(bz_WAD_Open("TINY"), 0);
    EXPECT_TRUE(StartsWith(bz_Error_LastReportText(), "The opened file is not a wad file."));

    EXPECT_EQ(bz_WAD_Open("core.wad"), 0);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "unexpected extension");
    EXPECT_TRUE(StartsWith(bz_Error_LastReportText(), "filename = 'core.wad'"));
}

// Only versions 0x0100 and 0x0101 are read. An archive of version 0x0102 is refused by its
// version whatever its header looks like, even when every count and offset in it is sound: from
// disk with the wrong-version report, from memory and as an image.
TEST_F(Wad, WellFormedArchivesOfALaterVersionAreRefusedByTheirVersion)
{
    const struct
    {
        const char *what;
        WadHeader header;
    } cases[] = {
        {"flags, then the counts", WadHeader::Long},
        {"the counts alone", WadHeader::Short},
        {"the counts and a spare word", WadHeader::ShortPadded},
    };
    bz_WAD_Init("NONE", 0, 0, 0, nullptr);
    for (const auto &c : cases)
    {
        const std::string wad = BuildWad(GameTree(), 0x0102, 0, c.header);
        ASSERT_EQ(wad[2], 0x02) << c.what;
        ASSERT_EQ(wad[3], 0x01) << c.what;
        WriteWholeFile("LATER.WAD", wad);
        const uint32_t reports = bz_Error_ReportCount();
        EXPECT_EQ(bz_WAD_Open("LATER"), 0) << c.what;
        EXPECT_EQ(bz_Error_ReportCount(), reports + 1) << c.what;
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Wad file failure.") << c.what;
        EXPECT_TRUE(StartsWith(bz_Error_LastReportText(),
                               "Opened wad file is wrong version\nFatal, can not function."))
            << c.what << ": " << bz_Error_LastReportText();
        EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "<none>") << c.what;

        void *image = bz_MemAlloc(static_cast<uint32_t>(wad.size()), 0);
        ASSERT_NE(image, nullptr);
        std::memcpy(image, wad.data(), wad.size());
        // A refused block stays the caller's; a mounted one would belong to its archive.
        const int32_t mounted = bz_WAD_MountMemory(image, "LATER");
        EXPECT_EQ(mounted, 0) << c.what;
        if (mounted)
            bz_WAD_Unmount("LATER");
        else
            bz_MemFree(image);
        EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "<none>") << c.what;

        bzWADImage loaded;
        EXPECT_EQ(bz_WAD_LoadImage(&loaded, "LATER.WAD"), BZ_ERROR_FILE_NOT_FOUND) << c.what;
    }
    // The same trees with their own versions are read, so the refusals above are the version's.
    const struct
    {
        uint16_t version;
        WadHeader header;
    } good[] = {{0x0101, WadHeader::Long}, {0x0100, WadHeader::Short}};
    for (const auto &g : good)
    {
        WriteWholeFile("GOOD.WAD", BuildWad(GameTree(), g.version, 0, g.header));
        EXPECT_EQ(bz_WAD_Open("GOOD"), 1) << g.version;
        EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo") << g.version;
        EXPECT_EQ(bz_WAD_Unmount("GOOD.WAD"), 1) << g.version;
    }
}

TEST_F(Wad, MemoryMountsServeCopiesAndOwnTheirBlock)
{
    bz_WAD_Init("NOTHING", 0, 0, 0, nullptr);
    const std::string wad = BuildWad(GameTree(), 0x0101, 1);
    void *image = bz_MemAlloc(static_cast<uint32_t>(wad.size()), 0);
    std::memcpy(image, wad.data(), wad.size());
    ASSERT_EQ(bz_WAD_MountMemory(image, "MEM"), 1);
    bzFileHandle *f = bz_FileOpen("DATA\\TEXT\\A.TXT", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->enciphered, 1);
    char buffer[30];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(bz_FileRead(f, buffer, 30), 0u) << "clipped at the end of the file";
    EXPECT_EQ(std::string(buffer, 30), "alpha-text-0123456789-xyz#####");
    bz_FileClose(f);

    // Not an archive: refused, and the block stays the caller's.
    void *junk = bz_MemAlloc(64, BZ_MEM_CLEAR);
    EXPECT_EQ(bz_WAD_MountMemory(junk, "JUNK"), 0);
    bz_MemFree(junk);
    EXPECT_EQ(bz_WAD_MountMemory(nullptr, "NULL"), 0);

    WriteWholeFile("FILE.WAD", BuildWad({"DATA", {}, {{"F.TXT", "from file"}}}));
    EXPECT_EQ(bz_WAD_MountFromFile("FILE.WAD"), 1);
    EXPECT_EQ(Slurp("data\\f.txt"), "from file");
    EXPECT_EQ(bz_WAD_MountFromFile("NOFILE.WAD"), 0);
    EXPECT_EQ(bz_WAD_Unmount("MEM"), 1);
    EXPECT_EQ(Slurp("DATA\\TEXT\\A.TXT"), "<none>");
}

TEST_F(Wad, AccessLogListsEveryOpenInOrder)
{
    WriteWholeFile("GAME.WAD", BuildWad(GameTree()));
    WriteWholeFile("loose.txt", "l");
    bz_WAD_Init("GAME", 0, 0, 1, "access.log");
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo");
    EXPECT_EQ(Slurp("loose.txt"), "l");
    EXPECT_EQ(Slurp("missing.txt"), "<none>");
    EXPECT_EQ(ReadWholeFile("access.log"), std::string("DATA\\TEXT\\B.TXT\0loose.txt\0", 26));

    // Long names are logged whole.
    const std::string longName = std::string(90, 'n') + ".txt";
    WriteWholeFile(longName, "long");
    EXPECT_EQ(Slurp(longName.c_str()), "long");
    EXPECT_EQ(ReadWholeFile("access.log"),
              std::string("DATA\\TEXT\\B.TXT\0loose.txt\0", 26) + longName + '\0');
}

TEST_F(Wad, ArchivesNamedByLongPathsStayReadable)
{
    // An archive file whose name as opened is longer than 63 characters is reopened by that
    // whole name each time it becomes current.
    const std::string directory = std::string(70, 'd');
    ASSERT_EQ(mkdir(directory.c_str(), 0777), 0);
    WriteWholeFile(directory + "/GAME.WAD", BuildWad(GameTree()));
    WriteWholeFile("OTHER.WAD", BuildWad({"DATA", {}, {{"O.TXT", "other"}}}));
    const std::string name = directory + "\\GAME";
    bz_WAD_Init(name.c_str(), 0, 0, 0, nullptr);
    ASSERT_EQ(bz_WAD_Open("OTHER"), 1);
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo");
    EXPECT_EQ(Slurp("DATA\\O.TXT"), "other");
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "bravo") << "made current again by its whole name";
    EXPECT_EQ(bz_WAD_Unmount((name + ".WAD").c_str()), 1);
    EXPECT_EQ(Slurp("DATA\\TEXT\\B.TXT"), "<none>");
}

TEST_F(Wad, FullHandleTableGivesNull)
{
    WriteWholeFile("GAME.WAD", BuildWad(GameTree()));
    bz_WAD_Init("GAME", 0, 0, 0, nullptr);
    std::vector<bzFileHandle *> open;
    while (bzFileHandle *f = bz_FileOpen("DATA\\TEXT\\B.TXT", "rb"))
        open.push_back(f);
    // One entry is the archive file itself.
    EXPECT_EQ(open.size(), 31u);
    char c;
    EXPECT_EQ(bz_FileRead(open.front(), &c, 1), 1u);
    for (bzFileHandle *f : open)
        bz_FileClose(f);
}

TEST_F(Wad, KeyBlockHoldsAtMost256Bytes)
{
    uint8_t key[257];
    for (int i = 0; i < 257; ++i)
        key[i] = static_cast<uint8_t>(i * 3);
    ASSERT_EQ(bz_WAD_SetKey(key, 256), 1);
    const uint8_t *block = nullptr;
    uint32_t length = 0;
    bz_WAD_GetKey(&block, &length);
    EXPECT_EQ(length, 256u);
    EXPECT_EQ(std::memcmp(block, key, 256), 0);
    EXPECT_EQ(bz_WAD_SetKey(key, 257), 0);
    EXPECT_EQ(bz_WAD_SetKey(nullptr, 4), 0);
    bz_WAD_GetKey(&block, &length);
    EXPECT_EQ(length, 256u);
    EXPECT_EQ(bz_WAD_SetKey("abc", 3), 1);
    bz_WAD_GetKey(&block, &length);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::memcmp(block, "abc", 3), 0);
}

TEST_F(Wad, ImagesWalkInBlockOrderAndSaveWithTheNewerHeader)
{
    // Interleaved directories and files: A's file comes before directory B.
    WadTree tree{
        "DATA",
        {{"A", {}, {{"A1.TXT", "first"}}}, {"B", {{"C", {}, {{"C1", "deep"}}}}, {{"B1", "b"}}}},
        {{"TOP.TXT", "top level"}}};
    WriteWholeFile("OLD.WAD", BuildWad(tree, 0x0100));
    bzWADImage image;
    ASSERT_EQ(bz_WAD_LoadImage(&image, "OLD.WAD"), 0);
    EXPECT_EQ(image.version, 0x0100);
    EXPECT_EQ(image.flags, 0u);
    EXPECT_EQ(image.headerSize, 16u);
    EXPECT_EQ(image.fileCount, 4u);
    EXPECT_EQ(image.directoryCount, 4u);

    std::vector<std::string> walk;
    bz_WAD_ImageFirst(&image);
    bzWADImageEntry entry;
    while (bz_WAD_ImageNext(&image, &entry))
        walk.push_back(
            std::string(entry.isDirectory ? "d:" : "f:") + entry.name +
            (entry.isDirectory
                 ? ""
                 : "=" + std::string(reinterpret_cast<const char *>(entry.data), entry.length)));
    EXPECT_EQ(walk, (std::vector<std::string>{"d:DATA", "d:A", "f:A1.TXT=first", "d:B", "d:C",
                                              "f:C1=deep", "f:B1=b", "f:TOP.TXT=top level"}));

    std::strcpy(image.name, "NEW.WAD");
    ASSERT_EQ(bz_WAD_SaveImage(&image), 1);
    bz_WAD_FreeImage(&image);
    EXPECT_EQ(ReadWholeFile("NEW.WAD"), BuildWad(tree, 0x0101));

    bz_WAD_Init("NEW", 0, 0, 0, nullptr);
    EXPECT_EQ(Slurp("DATA\\B\\C\\C1"), "deep");
    EXPECT_EQ(Slurp("DATA\\A\\A1.TXT"), "first");
    EXPECT_EQ(Slurp("DATA\\B\\B1"), "b");

    ASSERT_EQ(bz_WAD_LoadImage(&image, "NEW.WAD"), 0);
    std::strcpy(image.name, "no\\such\\dir\\X.WAD");
    EXPECT_EQ(bz_WAD_SaveImage(&image), 0);
    bz_WAD_FreeImage(&image);
}

TEST_F(Wad, ImagesOfUnknownOrDamagedFilesAreRefused)
{
    bzWADImage image;
    EXPECT_EQ(bz_WAD_LoadImage(&image, "missing.wad"), BZ_ERROR_FILE_NOT_FOUND);
    std::string wad = BuildWad(GameTree());
    wad[2] = 0x02;
    WriteWholeFile("V102.WAD", wad);
    EXPECT_EQ(bz_WAD_LoadImage(&image, "V102.WAD"), BZ_ERROR_FILE_NOT_FOUND);
    WriteWholeFile("JUNK.WAD", "junk junk junk junk junk");
    EXPECT_EQ(bz_WAD_LoadImage(&image, "JUNK.WAD"), BZ_ERROR_FILE_NOT_FOUND);
    wad = BuildWad(GameTree());
    WriteWholeFile("CUT.WAD", wad.substr(0, wad.size() - 3));
    EXPECT_EQ(bz_WAD_LoadImage(&image, "CUT.WAD"), BZ_ERROR_BAD_DATA_FORMAT);
    EXPECT_EQ(image.data, nullptr);
}

// Damaged archives: each is refused whole, from disk and from memory, without reading outside
// what it holds.
TEST_F(Wad, DamagedArchivesAreRefused)
{
    const std::string good = BuildWad(GameTree());
    // Offsets in the version-0x0101 layout.
    const size_t names = 20;
    const uint32_t nameSize = static_cast<uint32_t>(good[8] & 0xff);
    const size_t entries = names + nameSize;
    auto set32 = [](std::string s, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    std::string noTerminator = set32(good, 8, nameSize - 1); // last name loses its 0
    noTerminator.erase(names + nameSize - 1, 1);

    // A chain of directories far deeper than any tree should be.
    WadTree deep{"D0", {}, {{"F", "x"}}};
    for (int i = 1; i < 100; ++i)
        deep = WadTree{"D" + std::to_string(i), {deep}, {}};

    const char *tooLarge = "counts larger than the file";
    const char *outside = "file data outside the archive";
    const char *entryCounts = "counts larger than the entry block";
    const char *nameOffset = "name offset outside the name block";
    const struct
    {
        const char *what;
        std::string bytes;
        const char *fault; // the words of the damage report
    } cases[] = {
        {"cut in the header", good.substr(0, 10), "header cut short"},
        {"cut in the name block", good.substr(0, names + 3), tooLarge},
        {"cut in the entries", good.substr(0, entries + 20), tooLarge},
        {"cut in the data", good.substr(0, good.size() - 1), outside},
        {"file count beyond the file", set32(good, 12, 0x10000000), tooLarge},
        {"directory count beyond the file", set32(good, 16, 0xffffffff), tooLarge},
        {"no directories", set32(set32(good, 16, 0), 12, 7), "no root directory"},
        {"name block beyond the file", set32(good, 8, 0x7fffffff), tooLarge},
        {"name offset outside the block", set32(good, entries + 16, nameSize), nameOffset},
        {"huge name offset", set32(good, entries, 0xfffffff0), nameOffset},
        {"name without terminator", noTerminator, "name without terminator"},
        {"root file count too large", set32(good, entries + 4, 1000), entryCounts},
        {"sub-directory count too large", set32(good, entries + 8, 0xffffffff), entryCounts},
        {"file data beyond the end", set32(good, entries + 16 * 2 + 8, 0xfffffff0), outside},
        {"file length beyond the end", set32(good, entries + 16 * 2 + 4, 0x7ffffff0), outside},
        {"more directories than counted", set32(good, 16, 1), "more directories than counted"},
        {"flags bit 31", set32(good, 4, 0x80000000), "flags bit 31 set"},
        {"nested too deep", BuildWad(deep), "directories nested too deep"},
    };
    bz_WAD_Init("NONE", 0, 0, 0, nullptr);
    for (const auto &c : cases)
    {
        WriteWholeFile("BAD.WAD", c.bytes);
        uint32_t reports = bz_Error_ReportCount();
        EXPECT_EQ(bz_WAD_Open("BAD"), 0) << c.what;
        EXPECT_EQ(bz_Error_ReportCount(), reports + 1) << c.what;
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Wad file failure.") << c.what;
        const std::string report =
            "The wad file 'BAD.WAD' is damaged (" + std::string(c.fault) + ").";
        EXPECT_TRUE(StartsWith(bz_Error_LastReportText(), report.c_str()))
            << c.what << ": " << bz_Error_LastReportText();

        bzMemStats before;
        bz_Mem_GetStats(&before);
        void *image = bz_MemAlloc(static_cast<uint32_t>(c.bytes.size()), 0);
        std::memcpy(image, c.bytes.data(), c.bytes.size());
        bzgLastError = 0;
        EXPECT_EQ(bz_WAD_MountMemory(image, "BAD"), 0) << c.what;
        EXPECT_NE(bzgLastError, 0) << c.what;
        bz_MemFree(image);
        bzMemStats after;
        bz_Mem_GetStats(&after);
        EXPECT_EQ(after.blockCount, before.blockCount) << c.what;

        bzWADImage loaded;
        EXPECT_NE(bz_WAD_LoadImage(&loaded, "BAD.WAD"), 0) << c.what;
    }
    EXPECT_EQ(Slurp("DATA\\TEXT\\A.TXT"), "<none>");
    // The untouched archive mounts, so the cases above fail for their damage alone.
    WriteWholeFile("GOOD.WAD", good);
    EXPECT_EQ(bz_WAD_Open("GOOD"), 1);
    EXPECT_EQ(Slurp("DATA\\TEXT\\A.TXT"), "alpha-text-0123456789-xyz");
    // A deep tree within the limit mounts: 60 levels of "A".
    WadTree sixty{"A", {}, {{"F", "x"}}};
    std::string path = "A\\F";
    for (int i = 1; i < 60; ++i)
    {
        sixty = WadTree{"A", {sixty}, {}};
        path = "A\\" + path;
    }
    WriteWholeFile("SIXTY.WAD", BuildWad(sixty));
    EXPECT_EQ(bz_WAD_Open("SIXTY"), 1);
    EXPECT_EQ(Slurp(path.c_str()), "x");
}

// Directory trees nest at most 64 levels, the root counted: 64 levels mount, 65 are refused
// as damaged, from disk and from memory.
TEST_F(Wad, DirectoriesNestSixtyFourLevels)
{
    bz_WAD_Init("NONE", 0, 0, 0, nullptr);
    for (int levels : {63, 64, 65})
    {
        // A chain of directories "A", each holding a file "F" that names its level.
        WadTree chain{"A", {}, {{"F", std::to_string(levels)}}};
        for (int level = levels - 1; level >= 1; --level)
            chain = WadTree{"A", {chain}, {{"F", std::to_string(level)}}};
        const std::string wad = BuildWad(chain);
        WriteWholeFile("CHAIN.WAD", wad);
        const uint32_t reports = bz_Error_ReportCount();
        const int32_t mounted = bz_WAD_Open("CHAIN");
        void *image = bz_MemAlloc(static_cast<uint32_t>(wad.size()), 0);
        ASSERT_NE(image, nullptr);
        std::memcpy(image, wad.data(), wad.size());
        const int32_t inMemory = bz_WAD_MountMemory(image, "CHAIN-MEMORY");
        if (levels > 64)
        {
            EXPECT_EQ(mounted, 0) << levels;
            EXPECT_EQ(bz_Error_ReportCount(), reports + 1) << levels;
            EXPECT_STREQ(bz_Error_LastReportCaption(), "Wad file failure.") << levels;
            EXPECT_EQ(inMemory, 0) << levels;
            EXPECT_EQ(Slurp("A\\F"), "<none>") << levels;
            if (!inMemory)
                bz_MemFree(image);
            continue;
        }
        EXPECT_EQ(mounted, 1) << levels;
        EXPECT_EQ(inMemory, 1) << levels;
        EXPECT_EQ(bz_Error_ReportCount(), reports) << levels;
        // Paths hold at most 127 characters: levels 1 to 63 can be named.
        std::string path = "A\\F";
        for (int level = 1; level <= 63 && level <= levels; ++level)
        {
            EXPECT_EQ(Slurp(path.c_str()), std::to_string(level)) << levels << " " << level;
            path = "A\\" + path;
        }
        EXPECT_EQ(bz_WAD_Unmount("CHAIN.WAD"), 1);
        EXPECT_EQ(bz_WAD_Unmount("CHAIN-MEMORY"), 1);
    }
}

TEST_F(Wad, PatternMountsTakeEveryMatchingArchiveAndTheHighestNameWins)
{
    WriteWholeFile("CORE001.WAD", BuildWad({"DATA", {}, {{"F.TXT", "one"}, {"ONE.TXT", "1"}}}));
    WriteWholeFile("CORE002.WAD", BuildWad({"DATA", {}, {{"F.TXT", "two"}}}));
    WriteWholeFile("CORE1.WAD", BuildWad({"DATA", {}, {{"F.TXT", "short"}, {"S.TXT", "s"}}}));
    WriteWholeFile("COREX01.WAD", BuildWad({"DATA", {}, {{"X.TXT", "x"}}}));
    WriteWholeFile("hires001.wad", BuildWad({"DATA", {}, {{"F.TXT", "hires"}}}));
    WriteWholeFile("core003.txt", "not an archive");
    bz_WAD_Init("core/d/d/d", 0, 0, 0, nullptr);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "two");
    EXPECT_EQ(Slurp("DATA\\ONE.TXT"), "1");
    EXPECT_EQ(Slurp("DATA\\S.TXT"), "<none>");
    EXPECT_EQ(Slurp("DATA\\X.TXT"), "<none>");

    EXPECT_EQ(bz_WAD_Open("hires/d/d/d"), 1);
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "hires");
    EXPECT_EQ(bz_WAD_Open("CORE/d"), 1);
    EXPECT_EQ(Slurp("DATA\\S.TXT"), "s");
    EXPECT_EQ(bz_WAD_Open("core/d/d/d"), 2);
    EXPECT_EQ(bz_WAD_Open("none/d/d/d"), 0);
    EXPECT_EQ(bz_WAD_Unmount("CORE002.WAD"), 1);
    EXPECT_EQ(bz_WAD_Unmount("CORE002.WAD"), 1) << "the first mount's copy";
    EXPECT_EQ(Slurp("DATA\\F.TXT"), "one");
}

TEST_F(Wad, LookupsOfManyFilesKeepMountOrderAndCase)
{
    // Three archives of 3,000 files in ten directories: every file is in BASE; every third also
    // in PATCH2 and every fifth in PATCH1, mounted together by a pattern after BASE. PATCH2
    // sorts highest, so it wins over PATCH1 within that mount, and that mount over BASE.
    auto build = [](const char *label, int every)
    {
        WadTree root{"DATA", {}, {{"ROOT.TXT", label}}};
        for (int d = 0; d < 10; ++d)
            root.directories.push_back(WadTree{"DIR" + std::to_string(d), {}, {}});
        for (int i = 0; i < 3000; i += every)
            root.directories[static_cast<size_t>(i % 10)].files.push_back(
                {"F" + std::to_string(i) + ".TXT", label});
        return BuildWad(root);
    };
    WriteWholeFile("BASE.WAD", build("base", 1));
    WriteWholeFile("PATCH1.WAD", build("patch1", 5));
    WriteWholeFile("PATCH2.WAD", build("patch2", 3));
    bz_WAD_Init("BASE", 0, 1, 0, nullptr);
    ASSERT_EQ(bz_WAD_Open("PATCH/d"), 2);
    for (int i = 0; i < 3000; ++i)
    {
        const std::string tail = "\\dir" + std::to_string(i % 10) + "\\f" + std::to_string(i);
        const char *expected = i % 3 == 0 ? "patch2" : i % 5 == 0 ? "patch1" : "base";
        ASSERT_EQ(Slurp(("data" + tail + ".txt").c_str()), expected) << i;
        ASSERT_EQ(Slurp(("DATA" + tail + ".TXT").c_str()), expected) << i;
    }
    EXPECT_EQ(Slurp("Data/Dir3/F3000.txt"), "<none>");
    EXPECT_EQ(Slurp("DATA\\DIR3\\F4.TXT"), "<none>") << "F4 is in DIR4";
    EXPECT_EQ(Slurp("root.txt"), "patch2");
    EXPECT_EQ(bz_WAD_Unmount("PATCH2.WAD"), 1);
    EXPECT_EQ(Slurp("data\\dir5\\f15.txt"), "patch1");
    EXPECT_EQ(Slurp("data\\dir3\\f3.txt"), "base");
}

TEST_F(Wad, NamesAreComparedAsStoredInTheFirstListedEntry)
{
    // Lists run in the reverse of the file's order, so of two entries of one name the later one
    // in the file is found; names stored in lower case are never found, as requests are
    // upper-cased; a directory and a file may share a name.
    WadTree twice{"TWICE", {}, {{"X", "first dir"}, {"HIDDEN", "never"}}};
    WadTree again{"TWICE", {}, {{"X", "second dir"}, {"ONLY", "shadowed"}}};
    WadTree same{"SAME", {}, {{"IN", "inside"}}};
    WadTree root{"DATA",
                 {twice, again, same},
                 {{"A.TXT", "one"}, {"A.TXT", "two"}, {"lower.txt", "low"}, {"SAME", "file"}}};
    WriteWholeFile("NAMES.WAD", BuildWad(root));
    bz_WAD_Init("NAMES", 0, 1, 0, nullptr);
    struct Case
    {
        const char *path;
        const char *contents;
    } cases[] = {
        {"A.TXT", "two"},
        {"data\\a.txt", "two"},
        {"ELSEWHERE\\A.TXT", "two"},       // a first component that is no root names a root file
        {"\\A.TXT", "two"},                //
        {"ELSEWHERE\\X\\A.TXT", "<none>"}, // ... but only one
        {"lower.txt", "<none>"},
        {"LOWER.TXT", "<none>"},
        {"DATA\\TWICE\\X", "second dir"},
        {"DATA\\TWICE\\ONLY", "shadowed"},
        {"DATA\\TWICE\\HIDDEN", "<none>"}, // only in the directory listed second
        {"DATA\\SAME", "file"},
        {"SAME", "file"},
        {"DATA\\SAME\\IN", "inside"},
        {"DATA\\SAME\\..\\SAME\\IN", "inside"},
        {"DATA\\..\\A.TXT", "two"},
        {"DATA\\IN", "<none>"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Slurp(c.path), c.contents) << c.path;
}

TEST_F(Wad, IndexedLookupsAgreeWithWalkingTheLists)
{
    // Random trees over a small set of names, so that names repeat in and across directories,
    // looked up by random paths with and without the index.
    uint32_t state = 0x13572468u;
    auto next = [&state](uint32_t n)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % n;
    };
    // Also an empty name, one holding a separator and one longer than a path component (63),
    // which some paths reach, and paths that grow past the longest looked up (127).
    const std::string tooLong(64, 'L');
    const char *const names[] = {"A",
                                 "B",
                                 "AB",
                                 "..",
                                 "DATA",
                                 "X.TXT",
                                 "B.TXT",
                                 "",
                                 "A/B",
                                 "C\\D",
                                 tooLong.c_str() + 1,
                                 tooLong.c_str()};
    const uint32_t nameCount = sizeof names / sizeof names[0];
    auto tree = [&](auto &self, int depth) -> WadTree
    {
        WadTree t{names[next(nameCount)], {}, {}};
        for (uint32_t i = 0, n = depth < 3 ? next(4) : 0; i < n; ++i)
            t.directories.push_back(self(self, depth + 1));
        for (uint32_t i = 0, n = next(5); i < n; ++i)
            t.files.push_back({names[next(nameCount)], "f"});
        return t;
    };
    int found = 0;
    for (int round = 0; round < 150; ++round)
    {
        WadTree root = tree(tree, 0);
        root.files.push_back({"ANCHOR", "a"});
        std::string image = BuildWad(root);
        void *block = bz_MemAlloc(static_cast<uint32_t>(image.size()), 0);
        std::memcpy(block, image.data(), image.size());
        ASSERT_EQ(bz_WAD_MountMemory(block, "RANDOM.WAD"), 1);
        bzWADFile *archive = nullptr;
        ASSERT_NE(bz_WAD_FindFile("ANCHOR", &archive), nullptr);
        ASSERT_NE(archive, nullptr);
        bzWADNameIndex *index = archive->index;
        ASSERT_NE(index, nullptr);
        for (int i = 0; i < 300; ++i)
        {
            // Half the paths follow the tree as written, reaching shadowed entries too.
            std::string path;
            if (next(2))
                for (uint32_t k = 0, n = 1 + next(4); k < n; ++k)
                    path += std::string(k ? (next(2) ? "\\" : "/") : "") + names[next(nameCount)];
            else
            {
                const WadTree *at = &root;
                path = at->name;
                while (!at->directories.empty() && next(3))
                {
                    at = &at->directories[next(static_cast<uint32_t>(at->directories.size()))];
                    path += "\\" + at->name;
                }
                if (!at->files.empty())
                    path += "\\" + at->files[next(static_cast<uint32_t>(at->files.size()))].first;
            }
            const bzWADFileNode *indexed = bz_WAD_Lookup(archive, path.c_str());
            archive->index = nullptr; // the lists alone
            const bzWADFileNode *walked = bz_WAD_Lookup(archive, path.c_str());
            archive->index = index;
            ASSERT_EQ(indexed, walked) << path;
            found += indexed != nullptr;
        }
        EXPECT_EQ(bz_WAD_Unmount("RANDOM.WAD"), 1);
    }
    EXPECT_GT(found, 2000);
}

TEST_F(Wad, OpensUpperCaseOnlyAToZAndTakePathsUpTo127Characters)
{
    const std::string dir(63, 'D');
    const std::string fits(58, 'F'); // DATA\ + 63 + \ + 58 = 127 characters
    const std::string over(59, 'G'); // 128
    WadTree sub{dir, {}, {{fits, "fits"}, {over, "over"}}};
    WadTree root{"DATA",
                 {sub},
                 {{"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", "letters"},
                  {"`@[{~`@[{~.TXT", "signs"},
                  {"\xC1\xC9\xC1\xC9\xC1\xC9\xC1\xC9\xC1\xC9\xC1", "high"},
                  {"X/Y", "separator"}}};
    WriteWholeFile("CASE.WAD", BuildWad(root));
    bz_WAD_Init("CASE", 0, 1, 0, nullptr);
    std::string lowerDir(63, 'd');
    struct Case
    {
        std::string path;
        const char *contents;
    } cases[] = {
        {"data/abcdefghijklmnopqrstuvwxyz0123456789", "letters"},
        {"Data\\aBcDeFgHiJkLmNoPqRsTuVwXyZ0123456789", "letters"},
        {"abcdefghijklmnopqrstuvwxyz0123456789", "letters"},
        {"`@[{~`@[{~.txt", "signs"}, // the signs next to the letters keep their case
        {"DATA\\`@[{~`@[{~.txt", "signs"},
        {"@@[{~`@[{~.TXT", "<none>"},
        {"DATA\\\xC1\xC9\xC1\xC9\xC1\xC9\xC1\xC9\xC1\xC9\xC1", "high"},
        {"DATA\\\xE1\xE9\xE1\xE9\xE1\xE9\xE1\xE9\xE1\xE9\xE1", "<none>"}, // only a to z
        {"DATA\\X/Y", "<none>"}, // a name holding a separator is never reached
        {"data/" + lowerDir + "/" + std::string(58, 'f'), "fits"},
        {"DATA\\" + dir + "\\" + over, "<none>"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Slurp(c.path.c_str()), c.contents) << c.path;
}
