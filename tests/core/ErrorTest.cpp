#include "core/Error.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

// Every entry of the message table, codes -1 to 145, then codes outside it.
TEST(ErrorText, EveryCodeAndOutOfRange)
{
    struct Case
    {
        bzErrorCode code;
        const char *text;
    };
    const Case table[] = {
        {-1, "No indirect errors"},
        {0, "No error reported"},
        {1, "Invalid error code"},
        {2, "Could not start DirectDraw"},
        {3, "No DirectDraw interface"},
        {4, "Could not set EXCLUSIVE screen access"},
        {5, "No D3D interface"},
        {6, "Problem with sound buffer"},
        {7, "Could not start Windows Interface"},
        {8, "Video mode greater than those listed"},
        {9, "Unsupported Video mode"},
        {10, "Sorry - unknown error"},
        {11, "Could not create texture"},
        {12, "Could not get pixel-address of BZ_IMGMAP"},
        {13, "bz_IMGMAP * is already locked"},
        {14, "Out of memory for operation"},
        {15, "bz_IMGMAP incorrect pixel format"},
        {16, "Could not perform blit operation"},
        {17, "No Clipper interface"},
        {18, "Unable to start Timer system"},
        {19, "file not found"},
        {20, "Parameter out of range"},
        {21, "bz_IMGMAPS must be different"},
        {22, "bz_IMGMAP cannot be clipped"},
        {23, "bz_IMGMAP is void"},
        {24, "No DINPUT Interface"},
        {25, "No DINPUT2 Interface"},
        {26, "Invalid control character"},
        {27, "Cannot be used for windowed mode"},
        {28, "Cannot initialise 3D mode"},
        {29, "Invalid parameter/object"},
        {30, "Could not create Z-Buffer"},
        {31, "Incompatible WAVE format"},
        {32, "Sound not initialised"},
        {33, "Invalid handle"},
        {34, "Invalid material"},
        {35, "Problem with scene"},
        {36, "Not enough room for Object"},
        {37, "Only allowed to call that once"},
        {38, "Image must be a sprite"},
        {39, "Image must be a texture"},
        {40, "Wrong size"},
        {41, "Not a model"},
        {42, "Not a light"},
        {43, "Not a camera"},
        {44, "Not a material"},
        {45, "Only works in Windowed mode"},
        {46, "Previous search still operating"},
        {47, "Not currently doing a search"},
        {48, "Unsupported picture format"},
        {49, "Bad memory alignment"},
        {50, "No parent"},
        {51, "Invalid viewport"},
        {52, "Too many models"},
        {53, "Not a lump"},
        {54, "model is already split"},
        {55, "Physics system inactive"},
        {56, "Requested object not found"},
        {57, "Localisation not initialised"},
        {58, "Outdated version"},
        {59, "Bad data format"},
        {60, "Bad Pool-Memory"},
        {61, "Network: Generic failure"},
        {62, "Network: Not initialised"},
        {63, "Network: No active service provider"},
        {64, "Network: Invalid message size"},
        {65, "SoundEvents: Invalid event specified"},
        {66, "No model-hull for shadow"},
        {67, "DirectInput error"},
        {68, "Function is unsupported on this platform"},
        {69, "De-compression of a texture failed"},
        {70, "Compression of a texture failed"},
        {71, "No model."},
        {72, "Object is already a texture."},
        {73, "Palette not found"},
        {74, "Passed model has no model hull"},
        {75, "Invalid error code"},
        {76, "Invalid error code"},
        {77, "Invalid error code"},
        {78, "Invalid error code"},
        {79, "Invalid error code"},
        {80, "Invalid error code"},
        {81, "Invalid error code"},
        {82, "Invalid error code"},
        {83, "Invalid error code"},
        {84, "Invalid error code"},
        {85, "Invalid error code"},
        {86, "Invalid error code"},
        {87, "Invalid error code"},
        {88, "Invalid error code"},
        {89, "Invalid error code"},
        {90, "Invalid error code"},
        {91, "Invalid error code"},
        {92, "Invalid error code"},
        {93, "Invalid error code"},
        {94, "Invalid error code"},
        {95, "Invalid error code"},
        {96, "Invalid error code"},
        {97, "Invalid error code"},
        {98, "Invalid error code"},
        {99, "Invalid error code"},
        {100, "Invalid error code"},
        {101, "Invalid error code"},
        {102, "Memory: Pad pointer"},
        {103, "Bone contains corrupt data"},
        {104, "Contact list is corrupt"},
        {105, "No animation"},
        {106, "Skeleton data does not match"},
        {107, "Attempting to go backwards in time"},
        {108, "Animation queue is corrupt"},
        {109, "No more objects of this type may be allocated"},
        {110, "Character has not been initialised: call SetState()"},
        {111, "Animation blend data is corrupt"},
        {112, "Invalid error code"},
        {113, "Reflections not allowed"},
        {114, "model has been optimised"},
        {115, "Quark has no emitter data"},
        {116, "Quark has an invalid emission data"},
        {117, "Invalid error code"},
        {118, "Bad control ID or similar"},
        {119, "NAL: Generic error"},
        {120, "Invalid error code"},
        {121, "Invalid error code"},
        {122, "NAL: Invalid service"},
        {123, "NAL: Invalid state"},
        {124, "NAL: Invalid address"},
        {125, "NAL: Out of clusters"},
        {126, "DD: Generic failure"},
        {127, "DD: Invalid run-level"},
        {128, "DD: Invalid message class"},
        {129, "DD: Invalid session descriptor"},
        {130, "DD: Session is full"},
        {131, "DD: Session is closed"},
        {132, "DD: Out of bundles"},
        {133, "DD: Invalid player"},
        {134, "DD: Invalid member"},
        {135, "dynamics: Form not in list"},
        {136, "dynamics: Attempt to resize rolling cache"},
        {137, "dynamics: Copy faces too big"},
        {138, "dynamics: Copy vertices too big"},
        {139, "dynamics: No models in lump hierarchy"},
        {140, "dynamics: Face list full"},
        {141, "Invalid error code"},
        {142, "dynamics: Invalid convex hull"},
        {143, "dynamics: Object has no cache"},
        {144, "dynamics: Unknown spring or damper"},
        {145, "dynamics: Bad read/write data"},
    };
    ASSERT_EQ(sizeof table / sizeof table[0], 147u);
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
    {
        ASSERT_EQ(table[i].code, static_cast<bzErrorCode>(i) - 1) << "the table runs -1 to 145";
        EXPECT_STREQ(bz_GetErrorText(table[i].code), table[i].text) << table[i].code;
    }
    const Case outside[] = {
        {-2, "Invalid error code"},
        {146, "Invalid error code"},
        {INT32_MIN, "Invalid error code"},
        {INT32_MAX, "Invalid error code"},
    };
    for (const Case &c : outside)
        EXPECT_STREQ(bz_GetErrorText(c.code), c.text) << c.code;
    bzgLastError = 14;
    EXPECT_EQ(bz_GetLastError(), 14);
    EXPECT_STREQ(bz_GetLastErrorText(), "Out of memory for operation");
    bzgLastError = 43;
    EXPECT_STREQ(bz_GetLastErrorText(), "Not a camera");
    bzgLastError = 0;
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
