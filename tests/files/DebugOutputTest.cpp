#include "files/DebugOutput.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "files/File.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The debug stream, its switches and the on-screen lines as at start: no stream open (the next
// print opens "MOTHER.TXT" in the test's own directory), output enabled, an empty mask.
class DebugOutputTest : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        bz_DebugOutput_CloseDefault();
        bz_DebugOutput_Enable();
        bz_DebugMask_Clear(~0u);
        bz_ClearDebugMessages();
        bz_SetDebugOrigin("", 0);
    }
    ScopedTempDir dir_;
};
using DebugStream = DebugOutputTest;
using DebugMessage = DebugOutputTest;

// The trace file is emptied by the first call of a run only: the test runs in a program of its
// own.
void TraceFirstCallEmptiesLaterCallsAppend()
{
    ScopedTempDir dir;
    WriteWholeFile("Trace.txt", "left from an earlier run\n");
    bz_Trace("one %d\n", 1);
    EXPECT_EQ(ReadWholeFile("Trace.txt"), "one 1\n"); // on disk as soon as the call returns
    bz_Trace("two %s\n", "b");
    EXPECT_EQ(ReadWholeFile("Trace.txt"), "one 1\ntwo b\n");
}
} // namespace

TEST(DebugTraceDeathTest, FirstCallOfARunEmptiesTheFileLaterCallsAppend)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(TraceFirstCallEmptiesLaterCallsAppend), ::testing::ExitedWithCode(0),
                "");
}

TEST_F(DebugStream, PrintsGoToMotherTxtUnlessDisabledOrMasked)
{
    bz_DebugPrint("first %d", 1);
    bz_DebugOutput_Disable();
    bz_DebugPrint("hidden");
    bz_DebugOutput_Enable();
    bz_DebugMask_Set(0x6);
    EXPECT_TRUE(bz_DebugMask_Test(0x2));
    EXPECT_FALSE(bz_DebugMask_Test(0x1));
    bz_DebugPrintMasked(0x1, "masked out");
    bz_DebugPrintMasked(0x4, "masked in");
    bz_DebugMask_Clear(0x4);
    EXPECT_EQ(bz_DebugMask_Get(), 0x2u);
    bz_DebugPrintMasked(0x4, "cleared");
    EXPECT_EQ(ReadWholeFile("MOTHER.TXT"), "first 1\nmasked in\n");
    ASSERT_NE(bz_DebugOutput_GetStream(), nullptr);
}

TEST_F(DebugStream, OpenByNameStdoutAndNumberedFiles)
{
    int32_t owned = 7;
    bzFileHandle *stream = reinterpret_cast<bzFileHandle *>(1);
    EXPECT_EQ(bz_DebugOutput_Open("stdout", &owned, &stream), 1);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(owned, 7);

    WriteWholeFile("dump000.txt", "taken");
    ASSERT_EQ(bz_DebugOutput_Open("dump%.txt", &owned, &stream), 1);
    EXPECT_EQ(owned, 1);
    ASSERT_NE(stream, nullptr);
    bz_DebugOutput_Puts("a", stream);
    bz_DebugOutput_Printf(stream, "%d", 2);
    bz_DebugOutput_NewLine(stream);
    bz_DebugOutput_PutLine(stream, "line");
    bz_DebugFilePrintf(stream, "x=%s", "y");
    bz_DebugOutput_Close(stream, owned);
    EXPECT_EQ(ReadWholeFile("dump001.txt"), "a2\nline\nx=y\n");
    EXPECT_EQ(ReadWholeFile("dump000.txt"), "taken");

    ASSERT_EQ(bz_DebugOutput_Open(nullptr, &owned, &stream), 1);
    EXPECT_EQ(owned, 0);
    EXPECT_EQ(stream, bz_DebugOutput_GetStream());
}

TEST_F(DebugStream, LongNumberedNamesStayInsideTheirBuffer)
{
    for (size_t length : {250u, 254u, 255u, 256u, 300u, 2000u})
    {
        std::string name(length, 'n');
        name[0] = '%';
        int32_t owned = 0;
        bzFileHandle *stream = nullptr;
        // Too long a name for the file system may fail to open; it must never overrun.
        if (bz_DebugOutput_Open(name.c_str(), &owned, &stream) == 1)
            bz_DebugOutput_Close(stream, owned);
    }
    int32_t owned = 0;
    bzFileHandle *stream = nullptr;
    ASSERT_EQ(bz_DebugOutput_Open("%short.log", &owned, &stream), 1);
    bz_DebugOutput_Close(stream, owned);
    EXPECT_EQ(ReadWholeFile("000short.log"), "");
}

TEST_F(DebugStream, StandardOutputWriters)
{
    testing::internal::CaptureStdout();
    bz_DebugOutput_Puts("to ", nullptr);
    bz_DebugOutput_PutLine(nullptr, "stdout");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to stdout\n");
}

TEST_F(DebugMessage, PrintsWithTheOriginNamePart)
{
    bz_SetDebugOrigin("C:\\Source\\Common\\Loader.cpp", 42);
    bz_DebugMessage("missing %s", "CAR");
    EXPECT_EQ(ReadWholeFile("MOTHER.TXT"), "! Loader.cpp (42): missing CAR\n");
}

// Once attached (engine start does it), the lowest modules' developer text is printed to the
// debug stream, one line each.
TEST_F(DebugStream, DeveloperTextOfTheLowestModulesReachesTheStream)
{
    bz_DebugOutput_Attach();
    bz_Debug_Text("MemCopy called with zero length");
    bz_DebugOutput_CloseDefault();
    EXPECT_EQ(ReadWholeFile("MOTHER.TXT"), "MemCopy called with zero length\n");
}
