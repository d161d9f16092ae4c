#include "files/File.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace
{
std::string Bytes(size_t n)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + 3) & 0xff);
    return s;
}

// Restores the hook table a test changed.
class SavedHandlers
{
public:
    SavedHandlers() { bz_FileIO_GetHandlers(&saved_); }
    ~SavedHandlers() { bz_FileIO_SetHandlers(&saved_); }

private:
    bzFileIOHandlers saved_;
};
} // namespace

TEST(FileHandles, ThirtyThirdOpenFailsWhileThirtyTwoStayUsable)
{
    ScopedTempDir dir;
    WriteWholeFile("f.bin", Bytes(64));
    std::vector<bzFileHandle *> open;
    for (int i = 0; i < 32; ++i)
    {
        bzFileHandle *f = bz_FileOpen("f.bin", "rb");
        ASSERT_NE(f, nullptr) << i;
        open.push_back(f);
    }
    EXPECT_EQ(bz_FileOpen("f.bin", "rb"), nullptr);
    EXPECT_EQ(bz_FileTemp(), nullptr);
    const std::string expected = Bytes(64);
    for (bzFileHandle *f : open)
    {
        char buffer[64];
        ASSERT_EQ(bz_FileRead(f, buffer, sizeof buffer), sizeof buffer);
        EXPECT_EQ(std::string(buffer, sizeof buffer), expected);
    }
    EXPECT_EQ(bz_FileClose(open.back()), 0);
    open.pop_back();
    bzFileHandle *again = bz_FileOpen("f.bin", "rb");
    EXPECT_NE(again, nullptr);
    open.push_back(again);
    for (bzFileHandle *f : open)
        bz_FileClose(f);
}

TEST(FileHandles, ReadingPastTheEndCountsRequestedBytesAndSetsEndOfFile)
{
    ScopedTempDir dir;
    WriteWholeFile("f.bin", Bytes(250));
    bzFileHandle *f = bz_FileOpen("f.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileLength(f), 250);
    char buffer[100];
    EXPECT_EQ(bz_FileRead(f, buffer, 100), 100u);
    EXPECT_EQ(bz_FileRead(f, buffer, 100), 100u);
    EXPECT_EQ(bz_FileEof(f), 0);
    EXPECT_EQ(bz_FileRead(f, buffer, 100), 0u); // short read
    EXPECT_EQ(bz_FileTell(f), 300);
    EXPECT_NE(bz_FileEof(f), 0);

    EXPECT_EQ(bz_FileSeek(f, 0, 2), 0);
    EXPECT_EQ(bz_FileTell(f), 250);
    // End-relative offsets count back from the end.
    EXPECT_EQ(bz_FileSeek(f, 10, 2), 0);
    EXPECT_EQ(bz_FileTell(f), 240);
    EXPECT_EQ(bz_FileGetc(f), static_cast<unsigned char>(Bytes(250)[240]));
    EXPECT_EQ(bz_FileSeek(f, 5, 0), 0);
    EXPECT_EQ(bz_FileSeek(f, 5, 1), 0);
    EXPECT_EQ(bz_FileTell(f), 10);
    EXPECT_EQ(bz_FileGetChar(f), static_cast<unsigned char>(Bytes(250)[10]));
    bz_FileRewind(f);
    EXPECT_EQ(bz_FileTell(f), 0);
    EXPECT_EQ(bz_FileGetChar(f), static_cast<unsigned char>(Bytes(250)[0]));
    EXPECT_EQ(bz_FileClose(f), 0);
    // A second close of the same record closes no stream twice.
    EXPECT_EQ(bz_FileClose(f), 0);
}

// A seek the stream refuses leaves the position where it was and gives the failure: tell and
// the next read then agree.
TEST(FileHandles, FailedSeekLeavesThePositionAlone)
{
    ScopedTempDir dir;
    const std::string bytes = Bytes(250);
    WriteWholeFile("f.bin", bytes);
    bzFileHandle *f = bz_FileOpen("f.bin", "rb");
    ASSERT_NE(f, nullptr);
    char buffer[20];
    ASSERT_EQ(bz_FileRead(f, buffer, sizeof buffer), sizeof buffer);
    const struct
    {
        int32_t offset;
        int origin;
    } refused[] = {{-100, 0}, {-1, 0}, {-1000, 1}, {INT32_MIN, 1}, {251, 2}, {0, 7}};
    int32_t at = 20;
    for (const auto &seek : refused)
    {
        EXPECT_NE(bz_FileSeek(f, seek.offset, seek.origin), 0)
            << seek.offset << " from " << seek.origin;
        EXPECT_EQ(bz_FileTell(f), at) << seek.offset << " from " << seek.origin;
        char c = 0;
        ASSERT_EQ(bz_FileRead(f, &c, 1), 1u);
        EXPECT_EQ(c, bytes[static_cast<size_t>(at)]) << seek.offset << " from " << seek.origin;
        ++at;
    }
    // Seeks the stream takes still move.
    EXPECT_EQ(bz_FileSeek(f, -6, 1), 0);
    EXPECT_EQ(bz_FileTell(f), at - 6);
    EXPECT_EQ(bz_FileSeek(f, 250, 2), 0);
    EXPECT_EQ(bz_FileTell(f), 0);
    EXPECT_EQ(bz_FileClose(f), 0);
}

TEST(FileHandles, WriteWrappersAdvanceTellButTheWriteSlotDoesNot)
{
    ScopedTempDir dir;
    bzFileHandle *f = bz_FileOpen("out.bin", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileWrite(f, "abcd", 4), 4u);
    EXPECT_EQ(bz_FileTell(f), 4);
    EXPECT_EQ(bz_FileWriteItems("efghij", 3, 2, f), 2u);
    EXPECT_EQ(bz_FileTell(f), 10);
    bzFileIOHandlers table;
    bz_FileIO_GetHandlers(&table);
    EXPECT_EQ(table.write("kl", 2, 1, f), 1u);
    EXPECT_EQ(bz_FileTell(f), 10);
    EXPECT_EQ(bz_FilePrintf(f, "<%s=%d>", "x", 42), 6);
    EXPECT_EQ(bz_FileStreamLength(f), 18);
    EXPECT_EQ(bz_FileLength(f), 0); // taken at open
    bz_FileClose(f);
    EXPECT_EQ(ReadWholeFile("out.bin"), "abcdefghijkl<x=42>");
}

TEST(FileHandles, LengthOfNoHandleIsZeroWithFileNotFound)
{
    bzgLastError = 0;
    EXPECT_EQ(bz_FileLength(nullptr), 0);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
}

TEST(FileHandles, TemporaryFileReadsBackWhatWasWritten)
{
    bzFileHandle *f = bz_FileTemp();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileLength(f), 0);
    EXPECT_GE(bz_FilePutString("hello", f), 0);
    bz_FileRewind(f);
    char line[16] = {};
    ASSERT_NE(bz_FileGetString(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "hello");
    bz_FileClose(f);
}

TEST(FileHandles, ReopenKeepsTheHandleAndRestartsThePosition)
{
    ScopedTempDir dir;
    WriteWholeFile("a.txt", "AAAA");
    WriteWholeFile("b.txt", "BB");
    bzFileHandle *f = bz_FileOpen("a.txt", "rb");
    ASSERT_NE(f, nullptr);
    char c;
    bz_FileRead(f, &c, 1);
    EXPECT_EQ(bz_FileReopen("b.txt", "rb", f), f);
    EXPECT_EQ(bz_FileTell(f), 0);
    EXPECT_EQ(bz_FileGetChar(f), 'B');
    // A failing reopen gives null and leaves nothing dangling behind the handle.
    EXPECT_EQ(bz_FileReopen("missing.txt", "rb", f), nullptr);
    EXPECT_EQ(bz_FileGetChar(f), EOF);
    EXPECT_EQ(bz_FileClose(f), 0);
}

TEST(FileLoad, EmptyMissingAndShortFilesGiveNull)
{
    ScopedTempDir dir;
    WriteWholeFile("empty.txt", "");
    int32_t length = -5;
    bzgLastError = 0;
    EXPECT_EQ(bz_LoadFileToMemory("empty.txt", &length), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(length, -5);
    EXPECT_EQ(bz_LoadFileToMemory("missing.txt", &length), nullptr);

    // A read that delivers less than the length frees the block and reports 19.
    WriteWholeFile("ten.txt", "0123456789");
    {
        SavedHandlers saved;
        bzFileIOHandlers shortRead = {};
        shortRead.read = [](void *, size_t, size_t, bzFileHandle *) -> size_t { return 0; };
        bz_FileIO_SetHandlers(&shortRead);
        bzMemStats before;
        bz_Mem_GetStats(&before);
        bzgLastError = 0;
        EXPECT_EQ(bz_LoadFileToMemory("ten.txt", &length), nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
        bzMemStats after;
        bz_Mem_GetStats(&after);
        EXPECT_EQ(after.blockCount, before.blockCount);
        EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    }
}

// Whole files on a temporary stack: the bytes as stored, or null with the reason; a short read
// gives the block back.
TEST(FileLoad, TemporaryStackBlocksHoldTheWholeFileOrNothing)
{
    ScopedTempDir dir;
    const int32_t stack = 1;
    WriteWholeFile("ten.txt", "0123456789");
    WriteWholeFile("empty.txt", "");
    const uint32_t room = bz_TempStack_SpaceLeft(stack, 0);
    uint32_t length = 0;
    uint8_t *block = bz_LoadFileToTempStack("ten.txt", stack, &length);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), length), "0123456789");
    bz_TempStack_Free(stack, block);
    EXPECT_EQ(bz_TempStack_SpaceLeft(stack, 0), room);

    const struct
    {
        const char *name;
        bzErrorCode error;
    } refused[] = {{"missing.txt", 19}, {"empty.txt", 59}, {nullptr, 19}};
    for (const auto &r : refused)
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_LoadFileToTempStack(r.name, stack, &length), nullptr);
        EXPECT_EQ(bzgLastError, r.error) << (r.name ? r.name : "null");
    }
    {
        SavedHandlers saved;
        bzFileIOHandlers shortRead = {};
        shortRead.read = [](void *, size_t, size_t, bzFileHandle *) -> size_t { return 0; };
        bz_FileIO_SetHandlers(&shortRead);
        bzgLastError = 0;
        EXPECT_EQ(bz_LoadFileToTempStack("ten.txt", stack, &length), nullptr);
        EXPECT_EQ(bzgLastError, 19);
    }
    EXPECT_EQ(bz_TempStack_SpaceLeft(stack, 0), room);
}

TEST(FileLoad, TenByteFileGivesElevenByteBlockEndingInZero)
{
    ScopedTempDir dir;
    WriteWholeFile("ten.txt", "0123456789");
    int32_t length = 0;
    auto *block = static_cast<char *>(bz_LoadFileToMemory("ten.txt", &length));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(bz_MemSize(block), 11u);
    EXPECT_EQ(std::string(block, 10), "0123456789");
    EXPECT_EQ(block[10], 0);
    bz_MemFree(block);
    block = static_cast<char *>(bz_LoadFileToMemory("ten.txt", nullptr));
    ASSERT_NE(block, nullptr);
    bz_MemFree(block);
}

TEST(FileCopy, RangesAndErrors)
{
    ScopedTempDir dir;
    const std::string source = Bytes(3000);
    WriteWholeFile("src.bin", source);
    struct Case
    {
        int32_t offset, count;
        bzErrorCode result;
        std::string expected;
    } cases[] = {
        {3000, 0, 0, ""},
        {2000, 1001, BZ_ERROR_PARAMETER_OUT_OF_RANGE, ""},
        {3001, 0, BZ_ERROR_PARAMETER_OUT_OF_RANGE, ""},
        {0, 3001, BZ_ERROR_PARAMETER_OUT_OF_RANGE, ""},
        {100, 2500, 0, source.substr(100, 2500)},
        {1000, 0, 0, source.substr(1000)},
        {0, 1024, 0, source.substr(0, 1024)},
    };
    for (const Case &c : cases)
    {
        std::remove("dst.bin");
        EXPECT_EQ(bz_CopyFileRange("src.bin", "dst.bin", c.offset, c.count), c.result)
            << c.offset << " " << c.count;
        struct stat st;
        EXPECT_EQ(stat("dst.bin", &st), 0) << "destination is created";
        EXPECT_EQ(ReadWholeFile("dst.bin"), c.expected) << c.offset << " " << c.count;
    }
    EXPECT_EQ(bz_CopyFileRange("missing.bin", "dst.bin", 0, 0), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_CopyFileRange("src.bin", "no/such/dir/dst.bin", 0, 0), BZ_ERROR_FILE_NOT_FOUND);
    // Nothing stays open after any of these.
    std::vector<bzFileHandle *> open;
    while (bzFileHandle *f = bz_FileOpen("src.bin", "rb"))
        open.push_back(f);
    EXPECT_EQ(open.size(), 32u);
    for (bzFileHandle *f : open)
        bz_FileClose(f);
}

TEST(FileNames, OpenWithExtensionReplacesTheExtensionOfTheLastComponent)
{
    ScopedTempDir dir;
    ASSERT_EQ(bz_MakeDirectory("a.b"), 0);
    ASSERT_EQ(bz_MakeDirectory("a"), 0);
    WriteWholeFile("a.b/c.txt", "one");
    WriteWholeFile("a/c.txt", "two");
    bzFileHandle *f = bz_FileOpenWithExt("a.b\\c", "txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileGetChar(f), 'o');
    bz_FileClose(f);
    f = bz_FileOpenWithExt("a\\c.dat", ".txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileGetChar(f), 't');
    bz_FileClose(f);

    // Names that do not fit the 256-byte buffer fail instead of overrunning it.
    bzgLastError = 0;
    std::string longName(300, 'x');
    EXPECT_EQ(bz_FileOpenWithExt(longName.c_str(), "txt", "rb"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    std::string nearly(250, 'y');
    EXPECT_EQ(bz_FileOpenWithExt(nearly.c_str(), std::string(10, 'e').c_str(), "rb"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
}

TEST(FileNames, StripExtension)
{
    const struct
    {
        const char *in, *out;
    } cases[] = {
        {".profile", ".profile"},     {"dir.x\\name", "dir.x\\name"},
        {"dir\\name.x", "dir\\name"}, {"a.b.c", "a.b"},
        {"plain", "plain"},           {"", ""},
    };
    for (const auto &c : cases)
    {
        char buffer[64];
        std::strcpy(buffer, c.in);
        bz_StripExtension(buffer);
        EXPECT_STREQ(buffer, c.out) << c.in;
    }
}

TEST(FileNames, PathParts)
{
    const char *path = "C:\\games\\data\\level.one.cnt";
    EXPECT_STREQ(bz_GetPathDrive(path), "C:");
    EXPECT_STREQ(bz_GetPathDirectory(path), "\\games\\data\\");
    EXPECT_STREQ(bz_GetPathFileName(path), "level.one");
    EXPECT_STREQ(bz_MakePathDirName(path), "\\games\\data\\level.one");
    EXPECT_STREQ(bz_GetPathFileNameExt(path), "level.one.cnt");
    EXPECT_STREQ(bz_GetPathExt(path), ".cnt");
    EXPECT_STREQ(bz_GetPathExt("data\\sounds\\Shot"), "");
    EXPECT_STREQ(bz_GetPathDirectory("data/text/a.txt"), "data/text/");
    EXPECT_STREQ(bz_GetPathDrive("data\\x"), "");
    // Over-long parts are cut to the buffers, never past them.
    std::string longPath = std::string(400, 'd') + "\\" + std::string(400, 'n') + ".ext";
    EXPECT_EQ(std::strlen(bz_GetPathDirectory(longPath.c_str())), 255u);
    EXPECT_EQ(std::strlen(bz_MakePathDirName(longPath.c_str())), 255u);

    char buffer[16] = "data";
    bz_AppendBackslash(buffer);
    EXPECT_STREQ(buffer, "data\\");
    bz_AppendBackslash(buffer);
    EXPECT_STREQ(buffer, "data\\");
    buffer[0] = 0;
    bz_AppendBackslash(buffer);
    EXPECT_STREQ(buffer, "");
}

TEST(FileTable, NullSlotsLeaveHandlersInPlaceAndSetSlotsReplaceThem)
{
    SavedHandlers saved;
    bzFileIOHandlers before, after, none = {};
    bz_FileIO_GetHandlers(&before);
    bz_FileIO_SetHandlers(&none);
    bz_FileIO_GetHandlers(&after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

    bzFileIOHandlers one = {};
    one.tell = [](bzFileHandle *) -> int32_t { return 1234; };
    bz_FileIO_SetHandlers(&one);
    bz_FileIO_GetHandlers(&after);
    EXPECT_EQ(after.tell, one.tell);
    EXPECT_EQ(after.open, before.open);
    EXPECT_EQ(bz_FileTell(nullptr), 1234);
    EXPECT_EQ(bz_FileGetOffset(nullptr), 1234);
}

TEST(FileTable, RetiredSlotsReport)
{
    KeepAlive keep;
    ScopedTempDir dir;
    bzFileHandle *f = bz_FileOpen("x.txt", "w");
    ASSERT_NE(f, nullptr);
    uint32_t reports = bz_Error_ReportCount();
    int value = 0;
    EXPECT_EQ(bz_FileScanf(f, "%d", &value), 0);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "file error");
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("Default_fscanf obsolete.\n", 0), 0u);
    std::fpos_t pos{};
    EXPECT_EQ(bz_FileSetPos(f, &pos), 0);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("Default_fsetpos obsolete.\n", 0), 0u);
    bz_FileClose(f);
}

TEST(FileTable, InitDefaultsFreesEveryHandleAndRestoresTheDiskHandlers)
{
    ScopedTempDir dir;
    WriteWholeFile("f.bin", "x");
    bzFileIOHandlers one = {};
    one.tell = [](bzFileHandle *) -> int32_t { return 99; };
    bz_FileIO_SetHandlers(&one);
    std::vector<std::FILE *> streams;
    while (bzFileHandle *f = bz_FileOpen("f.bin", "rb"))
        streams.push_back(f->stream);
    ASSERT_EQ(streams.size(), 32u);
    bz_FileIO_InitDefaults();
    bzFileHandle *f = bz_FileOpen("f.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileTell(f), 0);
    bz_FileClose(f);
    for (std::FILE *stream : streams)
        std::fclose(stream);
}

TEST(FileSystem, ExistsRemoveRenameAndDirectories)
{
    ScopedTempDir dir;
    EXPECT_EQ(bz_FileExists(nullptr), 0);
    EXPECT_EQ(bz_FileExists("a.txt"), 0);
    WriteWholeFile("a.txt", "a");
    EXPECT_EQ(bz_FileExists("a.txt"), 1);
    EXPECT_EQ(bz_FileRename("a.txt", "b.txt"), 0);
    EXPECT_EQ(bz_FileExists("a.txt"), 0);
    EXPECT_EQ(bz_FileExists("B.TXT"), 1);
    EXPECT_EQ(bz_FileDelete("b.txt"), 0);
    EXPECT_EQ(bz_FileExists("b.txt"), 0);
    EXPECT_NE(bz_FileRemove("b.txt"), 0);

    EXPECT_EQ(bz_MakeDirectory("sub"), 0);
    EXPECT_EQ(bz_FileExists("sub"), 0) << "a directory is not a file";
    EXPECT_EQ(bz_ChangeDirectory("SUB"), 0);
    WriteWholeFile("inner.txt", "i");
    EXPECT_EQ(bz_ChangeDirectory(".."), 0);
    EXPECT_EQ(bz_FileExists("sub\\inner.txt"), 1);
    EXPECT_NE(bz_ChangeDirectory("nowhere"), 0);

    char name[32];
    ASSERT_EQ(bz_FileTempName(name), name);
    EXPECT_GT(std::strlen(name), 0u);
    EXPECT_EQ(bz_FileExists(name), 0);
}

TEST(FileSystem, FileTimesAndReadOnly)
{
    ScopedTempDir dir;
    WriteWholeFile("old.txt", "o");
    WriteWholeFile("new.txt", "n");
    struct timespec times[2] = {{1000, 5}, {1000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, "old.txt", times, 0), 0);
    uint64_t oldTime = bz_GetFileTime("OLD.TXT");
    uint64_t newTime = bz_GetFileTime("new.txt");
    EXPECT_EQ(oldTime, 1000000000005ull);
    EXPECT_EQ(bz_CompareFileTimes(oldTime, newTime), -1);
    EXPECT_EQ(bz_CompareFileTimes(newTime, oldTime), 1);
    EXPECT_EQ(bz_CompareFileTimes(newTime, newTime), 0);
    EXPECT_EQ(bz_GetFileTime("missing.txt"), 0u);

    struct stat st;
    EXPECT_EQ(bz_SetFileReadOnly("new.txt", 1), 0);
    ASSERT_EQ(stat("new.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(bz_SetFileReadOnly("new.txt", 0), 0);
    ASSERT_EQ(stat("new.txt", &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
    EXPECT_NE(bz_SetFileReadOnly("missing.txt", 1), 0);
}

namespace
{
// The time of the loading callback's last turn is kept from the start of a run, on the real
// clock: the test runs in a program of its own.
void OpenAndReadGiveTheLoadingCallbackItsTurnWithoutReentry()
{
    ScopedTempDir dir;
    WriteWholeFile("f.bin", "abc");
    static int calls;
    calls = 0;
    bz_SetLoadingCallback(
        [](float)
        {
            ++calls;
            // An open from inside the callback does not enter it again.
            if (bzFileHandle *f = bz_FileOpen("f.bin", "rb"))
                bz_FileClose(f);
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    bzFileHandle *f = bz_FileOpen("f.bin", "rb");
    EXPECT_EQ(calls, 1);
    char c;
    bz_FileRead(f, &c, 1);
    EXPECT_EQ(calls, 1) << "no second turn within 0.2 seconds";
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    bz_FileRead(f, &c, 1);
    EXPECT_EQ(calls, 2);
    bz_FileClose(f);
    bz_SetLoadingCallback(nullptr);
}
} // namespace

TEST(FileLoadingDeathTest, OpenAndReadGiveTheLoadingCallbackItsTurnWithoutReentry)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(OpenAndReadGiveTheLoadingCallbackItsTurnWithoutReentry),
                ::testing::ExitedWithCode(0), "");
}
