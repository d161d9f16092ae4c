#include "console/Console.h"
#include "console/Expr.h"
#include "render/ConsoleView.h"
#include "render/Font.h"
#include "device/RenderTable.h"

#include "ClockVirtualCounter.h"
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const char kSep[] = "============================\n";

TEST_F(ConsoleTest, ViewportCommandsEvaluateTheirArguments)
{
    bz_Console_ExecLine("debug");
    bz_Expr_SetVariable("angle", 60);
    // No viewport exists: a value for all of them is reported, any single one is past the end.
    const struct
    {
        const char *line;
        const char *printed;
    } cases[] = {
        {"bz_SetFOV 90/2", "Setting all viewport fov's to:45.000\n"},
        {"bz_setfov angle", "Setting all viewport fov's to:60.000\n"},
        {"bz_SetYON 2@20", "Setting all viewport YON's to:10000.000\n"},
        {"bz_SetYON 250*2", "Setting all viewport YON's to:500.000\n"},
        {"bz_SetHither 0", "Setting all viewport HITHER's to:0.010\n"},
        {"bz_SetHither 1/4", "Setting all viewport HITHER's to:0.250\n"},
        {"bz_SetFOV 0 90/2", "@C(1)viewport Too Big\n"},
        {"bz_SetYON 1,100", "@C(1)viewport Too Big\n"},
        {"bz_SetFOV foo(1)", "@C(1)error:@C(1)Unknown function\n>"},
        {"bz_SetYON 0 2+", "@C(1)error:@C(1)Bad Syntax\n>"},
        {"bz_SetHither nosuch", "@C(1)error:@C(1)Unknown variable/constant\n>"},
        {"bz_SetHither", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Printed([&] { EXPECT_EQ(bz_Console_ExecLine(c.line), 1); }), c.printed) << c.line;
    EXPECT_EQ(bz_Expr_VariableExists("nosuch"), 0);
}

TEST_F(ConsoleTest, LayoutAndConfiguration)
{
    bzgScreenSize = {800, 600, 400};
    bz_Console_Layout();
    bzConsoleConfig cfg;
    bz_Console_GetConfig(&cfg);
    EXPECT_EQ(cfg.x, 50);
    EXPECT_EQ(cfg.y, 20);
    EXPECT_EQ(cfg.width, 700);
    EXPECT_EQ(cfg.height, 560);
    EXPECT_EQ(cfg.background, 0x96000080u);
    EXPECT_EQ(cfg.font, nullptr);
    EXPECT_EQ(cfg.layer, 0);
    EXPECT_EQ(cfg.messageColour, 1);
    EXPECT_EQ(cfg.listingColour, 2);
    EXPECT_EQ(cfg.x2, 50);
    EXPECT_EQ(cfg.height2, 560);
    // The lines of "DefaultFont": 15 pixels.
    EXPECT_EQ(cfg.lineHeight, 15);
    EXPECT_EQ(cfg.visibleLines, (560 - 15 - 3) / 15);

    cfg.messageColour = 12;
    cfg.listingColour = -1;
    cfg.colour0 = 9;
    bz_Console_Configure(&cfg);
    bz_Console_GetConfig(&cfg);
    EXPECT_EQ(cfg.messageColour, 0);
    EXPECT_EQ(cfg.listingColour, 0);
    EXPECT_EQ(cfg.colour0, 9);
}

TEST_F(ConsoleTest, DrawingGoesThroughTheRendererTable)
{
    VirtualCounter counter;
    bzConsoleConfig cfg;
    bz_Console_GetConfig(&cfg);
    cfg.visibleLines = 3;
    bz_Console_Configure(&cfg);
    bz_Console_Printf("one\ntwo\tcut\x01\nthree\nfour\nfive");
    Type("abc");
    bz_Console_GetState()->cursor = 2;
    int dummyViewport;
    bzViewport *saved = reinterpret_cast<bzViewport *>(&dummyViewport);
    bzg2DDrawMode = saved;

    // Nothing is drawn while the console is closed.
    bz_Console_Update();
    EXPECT_TRUE(gCalls.empty());
    Key(BZ_CONSOLE_DEFAULT_TOGGLE_KEY);
    bz_Console_Update();
    ASSERT_EQ(bz_Console_IsOpen(), 1);
    EXPECT_EQ(bzg2DDrawMode, saved);

    const uint32_t light = 0x967E7F7E, dark = 0x961F1F5F;
    const float s = 20 + 300 - 16 - 2;
    std::vector<Call> expected = {
        {"target", 0, 0, 0, 0, 0, 0, "", nullptr},
        {"rect", 50, 20, 408, 300, 0x96000080, 7, "", nullptr},
        {"line", 50, 20, 458, 20, light, 7, "", nullptr},
        {"line", 50, 20, 50, 320, light, 7, "", nullptr},
        {"line", 50, 319, 457, 319, dark, 7, "", nullptr},
        {"line", 457, 20, 457, 319, dark, 7, "", nullptr},
        {"line", 50, s, 457, s, dark, 7, "", nullptr},
        // The newest lines: the scroll start leaves three line feeds after it.
        {"text", 51, 21, 408, 0, 1, 0, "three", nullptr},
        {"text", 51, 37, 408, 0, 1, 0, "four", nullptr},
        {"text", 51, 53, 408, 0, 1, 0, "five", nullptr},
        {"text", 51, s + 1, 408, 0, 1, 0, "abc", nullptr},
        // The cursor after "ab": 51 + 16 - 1.
        {"line", 66, s, 66, s + 16, 0xFFFFFFFF, 7, "", nullptr},
        {"target", 0, 0, 0, 0, 0, 0, "", saved},
    };
    ASSERT_EQ(gCalls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const Call &a = gCalls[i], &e = expected[i];
        EXPECT_EQ(a.what, e.what) << i;
        EXPECT_EQ(a.x0, e.x0) << i;
        EXPECT_EQ(a.y0, e.y0) << i;
        EXPECT_EQ(a.x1, e.x1) << i;
        EXPECT_EQ(a.y1, e.y1) << i;
        EXPECT_EQ(a.colour, e.colour) << i;
        EXPECT_EQ(a.layer, e.layer) << i;
        EXPECT_EQ(a.text, e.text) << i;
        EXPECT_EQ(a.target, e.target) << i;
    }

    // The cursor blinks off a quarter of every 512 ms.
    counter.AdvanceMs(0x180);
    gCalls.clear();
    bz_Console_Update();
    for (const Call &call : gCalls)
        EXPECT_NE(call.colour, 0xFFFFFFFFu);

    // Page Up shows the line before; Page Down the one after. Control characters other than
    // TAB are not drawn.
    Key(201);
    Key(201);
    gCalls.clear();
    bz_Console_Update();
    ASSERT_GT(gCalls.size(), 8u);
    EXPECT_EQ(gCalls[7].text, "one");
    EXPECT_EQ(gCalls[8].text, "two\tcut");
    Key(209);
    gCalls.clear();
    bz_Console_Update();
    EXPECT_EQ(gCalls[7].text, "two\tcut");

    // Other background colours: alpha kept, bytes raised, the light one shifted.
    cfg.background = 0x80FF00FF;
    bz_Console_Configure(&cfg);
    gCalls.clear();
    bz_Console_Update();
    EXPECT_EQ(gCalls[2].colour, 0x80FE7FFEu);
    EXPECT_EQ(gCalls[4].colour, 0x807F1F7Fu);
    bzg2DDrawMode = nullptr;
}

} // namespace
