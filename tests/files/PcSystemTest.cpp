#include "pc/PcRegistry.h"
#include "pc/PcSystem.h"

#include "core/Error.h"
#include "files/File.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
void MakeWalkTree()
{
    WriteWholeFile("b.txt", "b");
    WriteWholeFile("A.txt", "a");
    WriteWholeFile(".hidden", "h");
    WriteWholeFile("core1.wad", "1");
    ASSERT_EQ(mkdir("sub", 0777), 0);
    ASSERT_EQ(mkdir("zdir", 0777), 0);
    ASSERT_EQ(mkdir(".git", 0777), 0);
}

std::vector<std::string> Walk(const char *pattern, int32_t files, int32_t directories)
{
    std::vector<std::string> names;
    EXPECT_EQ(PDFindFirstFile(".", pattern), 1);
    while (const char *name = PDFindNextFile(files, directories))
        names.push_back(name);
    EXPECT_EQ(PDFindClose("."), 0);
    return names;
}

// Waits up to two seconds for a file a child process writes.
std::string WaitForFile(const std::string &path)
{
    for (int i = 0; i < 200; ++i)
    {
        std::string text = ReadWholeFile(path);
        if (!text.empty() && text.back() == '\n')
            return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadWholeFile(path);
}
} // namespace

TEST(PcWalk, FilesOnlySkipsHiddenEntriesAndDirectories)
{
    ScopedTempDir dir;
    MakeWalkTree();
    EXPECT_EQ(Walk("*", 1, 0), (std::vector<std::string>{"A.txt", "b.txt", "core1.wad"}));
    EXPECT_EQ(Walk("*.TXT", 1, 0), (std::vector<std::string>{"A.txt", "b.txt"}));
    EXPECT_EQ(Walk("*.wad", 1, 0), (std::vector<std::string>{"core1.wad"}));
    // The first name is always a file; each call's flags choose the name after it.
    EXPECT_EQ(Walk("*", 0, 1), (std::vector<std::string>{"A.txt", "sub", "zdir"}));
    EXPECT_EQ(Walk("*", 1, 1),
              (std::vector<std::string>{"A.txt", "b.txt", "core1.wad", "sub", "zdir"}));

    ASSERT_EQ(PDFindFirstFile(".", "*"), 1);
    EXPECT_STREQ(bz_FindNextFile(), "A.txt");
    EXPECT_STREQ(bz_FindNextDirectory(), "b.txt");
    EXPECT_STREQ(bz_FindNext(), "sub");
    EXPECT_STREQ(bz_FindNext(), "zdir");
    EXPECT_EQ(bz_FindNext(), nullptr);
    EXPECT_EQ(bz_FindNext(), nullptr);
    EXPECT_EQ(PDFindClose("."), 0);
}

// As on the PC, a pattern ending in ".*" also takes names without an extension: "*.*" is every
// name.
TEST(PcWalk, PatternEndingInDotStarTakesNamesWithoutExtension)
{
    ScopedTempDir dir;
    MakeWalkTree();
    WriteWholeFile("noext", "n");
    WriteWholeFile("core", "c");
    EXPECT_EQ(Walk("*.*", 1, 1), (std::vector<std::string>{"A.txt", "b.txt", "core", "core1.wad",
                                                           "noext", "sub", "zdir"}));
    EXPECT_EQ(Walk("CORE*.*", 1, 0), (std::vector<std::string>{"core", "core1.wad"}));
    EXPECT_EQ(Walk("*.txt", 1, 0), (std::vector<std::string>{"A.txt", "b.txt"}));
    EXPECT_EQ(Walk("n?ext.*", 1, 0), (std::vector<std::string>{"noext"}));
}

TEST(PcWalk, OneWalkAtATimeAndCloseChecksTheDirectory)
{
    ScopedTempDir dir;
    MakeWalkTree();
    bzgLastError = 0;
    EXPECT_EQ(PDFindNextFile(1, 0), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_NOT_SEARCHING);

    ASSERT_EQ(PDFindFirstFile(".", "*"), 1);
    EXPECT_EQ(PDFindFirstFile("sub", "*"), 0);
    EXPECT_EQ(PDFindClose("sub"), BZ_ERROR_SEARCH_IN_PROGRESS);
    EXPECT_EQ(PDFindClose(nullptr), BZ_ERROR_FILE_NOT_FOUND);
    bzgLastError = 0;
    EXPECT_STREQ(PDFindNextFile(1, 0), "A.txt") << "the walk stays open";
    EXPECT_EQ(bzgLastError, 0);
    EXPECT_EQ(PDFindClose("."), 0);
    EXPECT_EQ(PDFindClose("."), BZ_ERROR_SEARCH_IN_PROGRESS);
    EXPECT_EQ(PDFindFirstFile("missing", "*"), 0);
    // An empty walk yields nothing but still needs its close.
    ASSERT_EQ(PDFindFirstFile("SUB", "*"), 1);
    EXPECT_EQ(PDFindNextFile(1, 1), nullptr);
    EXPECT_EQ(PDFindClose("SUB"), 0);
    std::string tooLong(300, 'd');
    EXPECT_EQ(PDFindFirstFile(tooLong.c_str(), "*"), 0);
}

TEST(PcSystemServices, DirectoriesSlotsNamesAndSmallHelpers)
{
    char exe[512];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    *std::strrchr(exe, '/') = 0;
    EXPECT_EQ(PDFindProgramDirectory(), static_cast<int32_t>(std::strlen(exe)));
    EXPECT_STREQ(PDGetProgramDirectory(), exe);

    PDInitSystem();
    EXPECT_STREQ(PDGetStringSlot(0), ".\\");
    EXPECT_EQ(PDGetStringSlot(1), nullptr);
    PDSetStringSlot(3, "three");
    EXPECT_STREQ(PDGetStringSlot(3), "three");
    PDSetStringSlot(3, "again");
    EXPECT_STREQ(PDGetStringSlot(3), "again");
    PDSetStringSlot(16, "ignored");
    EXPECT_EQ(PDGetStringSlot(16), nullptr);
    PDSetStringSlot(3, nullptr);

    const char *user = PDGetUserName();
    ASSERT_NE(user, nullptr);
    EXPECT_GT(std::strlen(user), 0u);
    EXPECT_LT(std::strlen(user), 64u);
    EXPECT_TRUE(PDIsWindowsNT());

    EXPECT_FALSE(PDInRange(0, 5));
    EXPECT_TRUE(PDInRange(1, 5));
    EXPECT_TRUE(PDInRange(5, 5));
    EXPECT_FALSE(PDInRange(6, 5));
    EXPECT_FALSE(PDInRange(0xffffffffu, 5));
    int32_t word = 7;
    PDClearWord(&word);
    EXPECT_EQ(word, 0);
    PDSetWord(&word, -3);
    EXPECT_EQ(word, -3);

    char drive[PD_MAX_DRIVE], directory[PD_MAX_PATH_PART], name[PD_MAX_PATH_PART],
        extension[PD_MAX_PATH_PART];
    PDSplitPath("D:\\a/b\\file.tar.gz", drive, directory, name, extension);
    EXPECT_STREQ(drive, "D:");
    EXPECT_STREQ(directory, "\\a/b\\");
    EXPECT_STREQ(name, "file.tar");
    EXPECT_STREQ(extension, ".gz");
    PDSplitPath(nullptr, drive, directory, name, extension);
    EXPECT_STREQ(name, "");
}

TEST(PcLaunch, StartsNowOrWhenResumed)
{
    ScopedTempDir dir;
    bzProcess process{};
    ASSERT_EQ(PDLaunchProcess("/bin/sh", "-c \"echo now > now.txt\"", 0, 0, &process), 0);
    EXPECT_GT(process.process, 0);
    EXPECT_EQ(WaitForFile("now.txt"), "now\n");

    ASSERT_EQ(
        PDLaunchProcess("\\BIN\\SH", "-c \"echo $0 '\\\"later\\\"' > later.txt\"", 1, 1, &process),
        0);
    EXPECT_EQ(process.process, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    struct stat st;
    EXPECT_NE(stat("later.txt", &st), 0) << "a suspended start waits";
    ASSERT_EQ(PDResumeProcess(&process), 0);
    EXPECT_GT(process.process, 0);
    // The program sees its own file name first, and quoted quotes arrive as quotes.
    EXPECT_EQ(WaitForFile("later.txt"), "SH \"later\"\n");
    EXPECT_EQ(PDResumeProcess(&process), -1) << "nothing left to resume";
    EXPECT_EQ(PDResumeProcess(nullptr), -1);
}

TEST(PcLaunch, FailuresAndTheSuspendMisuseReport)
{
    KeepAlive keep;
    bzProcess process{};
    EXPECT_EQ(PDLaunchProcess("/no/such/program", "", 0, 0, &process), -1);
    EXPECT_EQ(PDLaunchProcess("/no/such/program", "", 0, 1, &process), -1);
    EXPECT_EQ(PDLaunchProcess(nullptr, "", 0, 0, &process), -1);
    uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(PDLaunchProcess("/bin/true", "", 0, 1, nullptr), -1);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Error");
    EXPECT_EQ(std::string(bz_Error_LastReportText())
                  .rfind("You shouldnt ask to suspend a process without providing a bzProcess "
                         "structure",
                         0),
              0u);
}

TEST(PcLaunch, UrlsOpenThroughTheDesktopOpener)
{
    ScopedEnvironment environment{"TOLVANE_REGISTRY_FILE", "PATH"};
    ScopedTempDir dir;
    setenv("TOLVANE_REGISTRY_FILE", (dir.path() + "/registry.dat").c_str(), 1);
    PDReg_Reload();
    // A stand-in opener on the search path records what it was given.
    ASSERT_EQ(mkdir("bin", 0777), 0);
    WriteWholeFile("bin/xdg-open", "#!/bin/sh\necho \"$#:$1\" > \"" + dir.path() + "/url.txt\"\n");
    ASSERT_EQ(chmod("bin/xdg-open", 0755), 0);
    const char *oldPath = std::getenv("PATH");
    std::string saved = oldPath ? oldPath : "";
    setenv("PATH", ("/nonexistent:" + dir.path() + "/bin:" + saved).c_str(), 1);
    const char *browser = PDGetBrowserCommand();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(std::string(browser), dir.path() + "/bin/xdg-open");
    EXPECT_EQ(PDOpenURL("http://example.invalid/a b?\"x\""), 0);
    EXPECT_EQ(WaitForFile("url.txt"), "1:http://example.invalid/a b?\"x\"\n");

    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(PDGetBrowserCommand(), nullptr);
    EXPECT_EQ(PDOpenURL("http://example.invalid/"), -1);
    setenv("PATH", saved.c_str(), 1);
    unsetenv("TOLVANE_REGISTRY_FILE");
    PDReg_Reload();
}

TEST(PcLaunch, BrowserCommandComesFromTheStoredOpenCommand)
{
    ScopedEnvironment environment{"TOLVANE_REGISTRY_FILE"};
    ScopedTempDir dir;
    setenv("TOLVANE_REGISTRY_FILE", (dir.path() + "/registry.dat").c_str(), 1);
    PDReg_Reload();
    auto setDefault = [](const char *path, const char *text)
    {
        ASSERT_EQ(PDReg_SetValue(PD_REG_ROOT_CLASSES, path, nullptr, PD_REG_STRING, text,
                                 static_cast<uint32_t>(std::strlen(text))),
                  PD_REG_OK);
    };
    // Through the file type of ".htm", unquoted: up to the first blank.
    setDefault(".htm", "htmlfile");
    setDefault("htmlfile\\shell\\open\\command", "/opt/viewer/bin/view -url %1");
    ASSERT_NE(PDGetBrowserCommand(), nullptr);
    EXPECT_STREQ(PDGetBrowserCommand(), "/opt/viewer/bin/view");
    // The protocol's own command wins; quoted: up to the closing quote.
    setDefault("http\\shell\\open\\command", "\"/opt/web browser/run\" \"%1\"");
    EXPECT_STREQ(PDGetBrowserCommand(), "/opt/web browser/run");
    unsetenv("TOLVANE_REGISTRY_FILE");
    PDReg_Reload();
}
