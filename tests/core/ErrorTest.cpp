#include "core/Error.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(ErrorText, CodesAndOutOfRange)
{
    struct Case
    {
        bzErrorCode code;
        const char *text;
    };
    const Case cases[] = {
        {-2, "Invalid error code"},
        {-1, "No indirect errors"},
        {0, "No error reported"},
        {1, "Invalid error code"},
        {14, "Out of memory for operation"},
        {19, "file not found"},
        {74, "Passed model has no model hull"},
        {80, "Invalid error code"},
        {102, "Memory: Pad pointer"},
        {110, "Character has not been initialised: call SetState()"},
        {112, "Invalid error code"},
        {128, "DD: Invalid message class"},
        {141, "Invalid error code"},
        {145, "dynamics: Bad read/write data"},
        {146, "Invalid error code"},
        {INT32_MIN, "Invalid error code"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(bz_GetErrorText(c.code), c.text) << c.code;
    bzgLastError = 14;
    EXPECT_EQ(bz_GetLastError(), 14);
    EXPECT_STREQ(bz_GetLastErrorText(), "Out of memory for operation");
}

TEST(ErrorReport, OriginEndsTheTextOnItsOwnLine)
{
    KeepAlive keep;
    bzgErrorFile = nullptr;
    bz_ReportError("Caption", "Name = %s", "TANK");
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Caption");
    EXPECT_STREQ(bz_Error_LastReportText(), "Name = TANK");
    EXPECT_EQ(bzgFatalErrorHappened, 1);

    EXPECT_EQ(bz_SetErrorOrigin("Loader.cpp", 0, 42), 0);
    bz_ReportError("Load failed", "Name = %s", "CAR");
    EXPECT_STREQ(bz_Error_LastReportText(), "Name = CAR\nLoader.cpp 42");
    // The report keeps the origin for the next caller.
    EXPECT_STREQ(bzgErrorFile, "Loader.cpp");
    bzgErrorFile = nullptr;
}

TEST(ErrorReport, LongTextIsCutNotOverrun)
{
    KeepAlive keep;
    std::string big(5000, 'x');
    bz_SetErrorOrigin("File.cpp", 0, 7);
    bz_ReportError("Big", "%s", big.c_str());
    EXPECT_EQ(std::string(bz_Error_LastReportText()).size(), 1023u);
    bzgErrorFile = nullptr;
}

namespace
{
void ReportAgainDuringShutdown()
{
    bz_ReportError("Second", "raised while shutting down");
    std::fprintf(stderr, "shutdown ran\n");
}
} // namespace

TEST(ErrorReportDeathTest, FatalExitEndsTheProcessWithFailure)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bzgNoFatalExit = 0;
            bzgErrorFile = nullptr;
            bz_ReportError("BANG!!!", "The application has just exploded (%s)",
                           "Heap limit exceeded");
        },
        ::testing::ExitedWithCode(1),
        "BANG!!!\nThe application has just exploded \\(Heap limit exceeded\\)");
}

TEST(ErrorReportDeathTest, ReportDuringShutdownOfAReportIsDropped)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bzgNoFatalExit = 0;
            bzgErrorFile = nullptr;
            bz_SetShutdownFunction(ReportAgainDuringShutdown);
            bz_ReportError("First", "first report");
        },
        ::testing::ExitedWithCode(1), "^First\nfirst report\nshutdown ran\n$");
}
