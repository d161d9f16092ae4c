#include "core/Debug.h"
#include "render/DebugLines.h"
#include "render/Font.h"
#include "device/RenderTable.h"
#include "support/DebugLinesTestSupport.h"
#include "support/TextRecorder.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
std::vector<bzViewport *> gTargets;
void FakeNote(bzViewport *v)
{
    gTargets.push_back(v);
}
} // namespace

// Each shown line is drawn in "DefaultFont" with a drop shadow (two passes through the text
// slot, the shadow 2 pixels right and down first), one line of 15 pixels per slot.
TEST_F(DebugLines, DrawAdvancesByTheFontLineForEverySlot)
{
    RecordedRuns().clear();
    gTargets.clear();
    bzgRenderTable.PDAdd2DVertexList = RecordTextRun;
    bzgRenderTable.PDNote2DViewport = FakeNote;
    bzViewport *previous = reinterpret_cast<bzViewport *>(0x40);
    bzg2DDrawMode = previous;

    bz_ShowDebugMessage(1, "one");
    bz_ShowDebugMessage(3, "three");
    bz_DrawDebugMessages();
    const auto &runs = RecordedRuns();
    ASSERT_EQ(runs.size(), 4u);
    const struct
    {
        const char *text;
        int32_t shadow;
        float x, y;
    } expected[] = {{"one", 1, 2, 17}, {"one", 0, 0, 15}, {"three", 1, 2, 47}, {"three", 0, 0, 45}};
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(runs[i].text, expected[i].text) << i;
        EXPECT_EQ(runs[i].shadow, expected[i].shadow) << i;
        EXPECT_EQ(runs[i].flags, 0x01u) << i;
        EXPECT_EQ(runs[i].penX, expected[i].x) << i;
        EXPECT_EQ(runs[i].penY, expected[i].y) << i;
        EXPECT_EQ(runs[i].font, bz_Font_GetDefault()) << i;
    }
    ASSERT_EQ(gTargets.size(), 2u);
    EXPECT_EQ(gTargets[0], nullptr);
    EXPECT_EQ(gTargets[1], previous);

    bz_ClearDebugMessages();
    bz_Font_ReleaseDefault();
    bzgRenderTable.PDAdd2DVertexList = nullptr;
    bzgRenderTable.PDNote2DViewport = nullptr;
    bzg2DDrawMode = nullptr;
}
