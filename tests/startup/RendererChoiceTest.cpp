// The choice of renderer at start-up: the renderer setting, the Direct3D flag and the
// installed DirectX version decide which back end fills the table.
#include "backends/gl/GlRenderer.h"
#include "core/Error.h"
#include "device/RenderTable.h"
#include "startup/RendererChoice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
const char *Marker()
{
    return "Direct3D stand-in";
}

void FakeInstallDirect3D(PDRenderFunctionTable *table)
{
    table->PDGetDriverName = Marker;
}

uint32_t gDirectX;
int32_t FakeDirectX(uint32_t *version)
{
    *version = gDirectX;
    return 0;
}
int32_t NoDevice()
{
    return 0;
}
int32_t SystemOk(uint32_t *version)
{
    *version = 0x501;
    return 0;
}

TEST(RendererChoice, SettingDirectXVersionAndFlagChooseTheTable)
{
    struct Case
    {
        int32_t setting;
        uint32_t directX;
        const char *driver;
        int32_t flagAfter;
        const char *report; // start of the report text, or null for none
    };
    const Case cases[] = {
        {2, 0x900, "OpenGL", 0, nullptr},
        {0, 0x800, "OpenGL", 0, nullptr},
        {1, 0x800, "Direct3D stand-in", 1,
         "Your version of DX is 8.0, this is not high enough.\nPlease install at least DX8.1 or "
         "select the OpenGL option"},
        {1, 0x801, "Direct3D stand-in", 1, nullptr},
        {0, 0x801, "Direct3D stand-in", 1, nullptr},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.setting);
        SCOPED_TRACE(c.directX);
        KeepAlive keep;
        const uint32_t reportsBefore = bz_Error_ReportCount();
        gDirectX = c.directX;
        const bzRendererProbes probes = {NoDevice, SystemOk, FakeDirectX, FakeInstallDirect3D,
                                         PDInstallGLRenderer};
        PDRenderFunctionTable table = {};
        int32_t flag = 1;
        bz_ChooseRenderer(&table, c.setting, &flag, &probes);
        ASSERT_NE(table.PDGetDriverName, nullptr);
        EXPECT_STREQ(table.PDGetDriverName(), c.driver);
        EXPECT_EQ(flag, c.flagAfter);
        if (!c.report)
            EXPECT_EQ(bz_Error_ReportCount(), reportsBefore);
        else
        {
            ASSERT_EQ(bz_Error_ReportCount(), reportsBefore + 1);
            EXPECT_STREQ(bz_Error_LastReportCaption(), "DirectX version error.");
            EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind(c.report, 0), 0u)
                << bz_Error_LastReportText();
        }
    }
}

TEST(RendererChoice, ThisBuildFallsBackToOpenGLWithoutAWord)
{
    KeepAlive keep;
    const uint32_t reportsBefore = bz_Error_ReportCount();
    PDRenderFunctionTable table = {};
    int32_t flag = 1;
    bz_ChooseRenderer(&table, 0, &flag, &bzgRendererProbes);
    ASSERT_NE(table.PDGetDriverName, nullptr);
    EXPECT_STREQ(table.PDGetDriverName(), "OpenGL");
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(bz_Error_ReportCount(), reportsBefore);

    // Setting 1 asks for Direct3D, which DirectX 0.0 cannot give: the report, and still a
    // filled table for a caller kept alive.
    PDRenderFunctionTable asked = {};
    flag = 1;
    bz_ChooseRenderer(&asked, 1, &flag, &bzgRendererProbes);
    EXPECT_EQ(bz_Error_ReportCount(), reportsBefore + 1);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("Your version of DX is 0.0,", 0), 0u);
    ASSERT_NE(asked.PDGetDriverName, nullptr);
    EXPECT_STREQ(asked.PDGetDriverName(), "OpenGL");
}

int32_t Unreadable(uint32_t *)
{
    return 1;
}
int32_t DeviceThere()
{
    return 1;
}

TEST(RendererChoice, UnreadableVersionsAreReportedAndAnExistingDeviceSkipsTheChecks)
{
    struct Case
    {
        int32_t (*system)(uint32_t *);
        int32_t (*directX)(uint32_t *);
        const char *caption;
    };
    const Case cases[] = {
        {Unreadable, FakeDirectX, "Windows version error, unable to detect your windows version."},
        {SystemOk, Unreadable, "DirectX version error, unable to detect direct version."},
    };
    gDirectX = 0x900;
    for (const Case &c : cases)
    {
        KeepAlive keep;
        const uint32_t before = bz_Error_ReportCount();
        const bzRendererProbes probes = {NoDevice, c.system, c.directX, FakeInstallDirect3D,
                                         PDInstallGLRenderer};
        PDRenderFunctionTable table = {};
        int32_t flag = 1;
        bz_ChooseRenderer(&table, 1, &flag, &probes);
        EXPECT_EQ(bz_Error_ReportCount(), before + 1);
        EXPECT_STREQ(bz_Error_LastReportCaption(), c.caption);
    }
    // With a device the versions are not asked: no report even though they cannot be read.
    KeepAlive keep;
    const uint32_t before = bz_Error_ReportCount();
    const bzRendererProbes probes = {DeviceThere, Unreadable, Unreadable, FakeInstallDirect3D,
                                     PDInstallGLRenderer};
    PDRenderFunctionTable table = {};
    int32_t flag = 1;
    bz_ChooseRenderer(&table, 1, &flag, &probes);
    EXPECT_EQ(bz_Error_ReportCount(), before);
    EXPECT_STREQ(table.PDGetDriverName(), "Direct3D stand-in");
}

} // namespace
