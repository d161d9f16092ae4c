#include "ClockVirtualCounter.h"
#include "FakeReplay.h"
#include "core/Clock.h"
#include "core/TimingStats.h"
#include "render/FrameStats.h"
#include "render/Font.h"
#include "support/TestSupport.h"
#include "device/RenderTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct FakePanel
{
    static inline std::vector<std::string> printed;
    static inline std::vector<bzViewport *> notes;
    static inline std::vector<uint32_t> rects;
    static inline bzRenderStats stats;
    static void Note(bzViewport *v) { notes.push_back(v); }
    static int32_t Rect(float, float, float, float h, uint32_t colour, int32_t, bz_IMGMAP *,
                        uint32_t)
    {
        rects.push_back(colour);
        EXPECT_GT(h, 0.0f);
        EXPECT_EQ(bzg2DDrawMode, nullptr); // drawn to the whole screen
        return 0;
    }
    // Every text run the panel prints; each line is one run.
    static void Print(bzTextRun *run)
    {
        printed.emplace_back(run->start, run->end);
        std::vector<bzTextVertex> vertices(static_cast<size_t>(run->vertexCount));
        run->fill(run, vertices.data());
    }
    FakePanel()
    {
        printed.clear();
        notes.clear();
        rects.clear();
        stats = {50.0f, 20000, 30000, 12, 3, 4};
        bz_FrameStats_SetRenderStats(&stats);
        bzgRenderTable.PDNote2DViewport = Note;
        bzgRenderTable.PDDraw2DRect = Rect;
        bzgRenderTable.PDAdd2DVertexList = Print;
    }
    ~FakePanel()
    {
        bz_FrameStats_SetRenderStats(nullptr);
        bzgRenderTable = PDRenderFunctionTable{};
        bz_Font_ReleaseDefault();
    }
};

TEST(FrameStats, FrameStatisticsPanel)
{
    VirtualCounter counter;
    counter.StartTimer();
    FakePanel panel;
    FakeReplay replay;
    replay.timing.playbackMode = 0;
    bzViewport *target = reinterpret_cast<bzViewport *>(&panel); // any address will do
    bzg2DDrawMode = target;

    bz_PrintFrameStats(); // off: nothing drawn, but the replay's timing is updated
    EXPECT_TRUE(panel.printed.empty());
    EXPECT_EQ(replay.updates, 1);

    bz_FrameStats_Toggle();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 1);
    bz_PrintFrameStats();
    EXPECT_EQ(replay.updates, 2);
    const std::vector<std::string> expected = {"FRAMES:\t\t\t50.00",     "FACES PF:\t\t\t20000",
                                               "M FACES PS:\t\t1.0000",  "VERTS PF:\t\t\t30000",
                                               "M VERTS PS:\t\t1.5000",  "MATGROUP PF:\t\t12",
                                               "MATGROUP PS:\t\t600.00", "TEX STATES:\t\t3",
                                               "TEX CHANGES:\t\t4",      "S DRAW:     @J(120)0.00"};
    EXPECT_EQ(panel.printed, expected);
    EXPECT_EQ(panel.rects, (std::vector<uint32_t>{0x80000000u}));
    EXPECT_EQ(panel.notes, (std::vector<bzViewport *>{nullptr, target}));
    EXPECT_EQ(bzg2DDrawMode, target); // restored

    bz_FrameStats_Toggle();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 0);
    panel.printed.clear();
    bz_PrintFrameStats();
    EXPECT_TRUE(panel.printed.empty());
    bzg2DDrawMode = nullptr;
}

// A disabled panel draws nothing, while each call still updates the replay's timing; enabled
// again it draws. Without a renderer or a font it draws nowhere and takes no harm.
TEST(FrameStats, DisabledPanelDrawsNothingButStillUpdatesTheReplay)
{
    VirtualCounter counter;
    counter.StartTimer();
    {
        FakePanel panel;
        FakeReplay replay;
        replay.timing.playbackMode = 0;
        bz_FrameStats_Enable();
        bz_PrintFrameStats();
        EXPECT_EQ(panel.printed.size(), 10u);
        EXPECT_EQ(panel.rects.size(), 1u);
        bz_FrameStats_Disable();
        bz_FrameStats_Disable(); // twice is once
        panel.printed.clear();
        panel.rects.clear();
        bz_PrintFrameStats();
        bz_PrintFrameStats();
        EXPECT_TRUE(panel.printed.empty());
        EXPECT_TRUE(panel.rects.empty());
        EXPECT_EQ(replay.updates, 3);
        bz_FrameStats_Toggle(); // from disabled: enabled
        bz_PrintFrameStats();
        EXPECT_EQ(panel.printed.size(), 10u);
        bz_FrameStats_Disable();
    }
    // No services installed: nothing to draw with, nothing to update.
    bz_FrameStats_Enable();
    bz_PrintFrameStats();
    bz_FrameStats_Disable();
    EXPECT_EQ(bz_FrameStats_IsEnabled(), 0);
    bz_Font_ReleaseDefault(); // the default font the last call made
}

// ---------------------------------------------------------------------------------------
// Waves

} // namespace
