#include "pc/PcFile.h"

#include "files/File.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string Mapped(const char *name)
{
    char out[1024];
    EXPECT_EQ(PDMapPath(name, out, sizeof out), 1) << name;
    return out;
}

void MakeTree()
{
    ASSERT_EQ(mkdir("data", 0777), 0);
    ASSERT_EQ(mkdir("data/text", 0777), 0);
    WriteWholeFile("data/text/a.txt", "lower");
}
} // namespace

TEST(PcPath, CaseBlindComponentsAndBackslashes)
{
    // The tree is made one level down, so that ".." names the test's own directory and not
    // whatever the system's temporary directory holds.
    ScopedTempDir dir;
    ASSERT_EQ(mkdir("inner", 0777), 0);
    ASSERT_EQ(chdir("inner"), 0);
    MakeTree();
    const struct
    {
        const char *in, *out;
    } cases[] = {
        {"DATA\\Text\\A.TXT", "data/text/a.txt"},
        {"data/text/a.txt", "data/text/a.txt"},
        {"Data/TEXT\\a.Txt", "data/text/a.txt"},
        {"DATA\\TEXT\\..\\TEXT\\A.TXT", "data/text/a.txt"},
        {"DATA\\NOWHERE\\..\\TEXT\\A.TXT", "data/text/a.txt"}, // ".." goes by name
        {".\\DATA\\\\TEXT\\.\\A.TXT", "data/text/a.txt"},
        {"DATA\\TEXT\\", "data/text/"},
        {"DATA\\TEXT\\\\", "data/text/"},
        {"DATA\\New\\File.TXT", "data/New/File.TXT"}, // missing parts stay as given
        {"..\\X", "../X"},
        {"DATA\\..\\..\\X", "../X"},
        {".", "."},
        {"DATA\\..", "."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Mapped(c.in), c.out) << c.in;

    bzFileHandle *f = bz_FileOpen("DATA\\Text\\A.TXT", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_FileLength(f), 5);
    bz_FileClose(f);
    // A trailing separator names a directory: a file does not open through it.
    EXPECT_EQ(bz_FileOpen("DATA\\TEXT\\A.TXT\\", "rb"), nullptr);
    // A directory is no file.
    EXPECT_EQ(bz_FileOpen("DATA\\TEXT", "rb"), nullptr);
}

TEST(PcPath, ExactNameWinsOverOtherCasesAndChoiceIsStable)
{
    ScopedTempDir dir;
    WriteWholeFile("Read.me", "exact");
    WriteWholeFile("READ.ME", "upper");
    WriteWholeFile("read.ME", "mixed");
    EXPECT_EQ(Mapped("Read.me"), "Read.me");
    EXPECT_EQ(Mapped("READ.ME"), "READ.ME");
    // None exact: the entry that sorts first.
    EXPECT_EQ(Mapped("read.me"), "READ.ME");
}

TEST(PcPath, WritesCreateTheNameAsGivenInsideExistingDirectories)
{
    ScopedTempDir dir;
    MakeTree();
    bzFileHandle *f = bz_FileOpen("DATA\\TEXT\\New.Txt", "wb");
    ASSERT_NE(f, nullptr);
    bz_FileWrite(f, "n", 1);
    bz_FileClose(f);
    EXPECT_EQ(ReadWholeFile("data/text/New.Txt"), "n");
    // Writing to an existing file in another case replaces that file.
    f = bz_FileOpen("DATA\\TEXT\\A.TXT", "wb");
    ASSERT_NE(f, nullptr);
    bz_FileWrite(f, "upper", 5);
    bz_FileClose(f);
    EXPECT_EQ(ReadWholeFile("data/text/a.txt"), "upper");
    struct stat st;
    EXPECT_NE(stat("data/text/A.TXT", &st), 0);

    EXPECT_EQ(bz_MakeDirectory("DATA\\Saves\\"), 0);
    EXPECT_EQ(stat("data/Saves", &st), 0);
    EXPECT_EQ(bz_ChangeDirectory("DATA\\SAVES\\"), 0);
    EXPECT_EQ(bz_ChangeDirectory("..\\.."), 0);
    EXPECT_EQ(bz_FileExists("data\\text\\a.txt"), 1);
}

TEST(PcPath, AbsolutePathsAndBufferLimits)
{
    ScopedTempDir dir;
    MakeTree();
    std::string upper = dir.path() + "/DATA/TEXT/A.TXT";
    EXPECT_EQ(Mapped(upper.c_str()), dir.path() + "/data/text/a.txt");
    EXPECT_EQ(Mapped("\\..\\tmp"), "/tmp");

    char small[8];
    EXPECT_EQ(PDMapPath("data\\text\\a.txt", small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(PDMapPath(nullptr, small, sizeof small), 0);
    EXPECT_EQ(PDFileOpen("", "rb"), nullptr);
    EXPECT_EQ(PDFileOpen(nullptr, "rb"), nullptr);
}
