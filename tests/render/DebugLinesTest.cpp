#include "core/Debug.h"
#include "render/DebugLines.h"
#include "render/Font.h"
#include "device/RenderTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The on-screen lines as at start: every slot empty.
class DebugLines : public ::testing::Test
{
protected:
    void SetUp() override { bz_ClearDebugMessages(); }
    void TearDown() override { bz_ClearDebugMessages(); }
};
} // namespace

namespace
{
struct Drawn
{
    std::string text;
    uint32_t flags;
    float x, y;
};
std::vector<Drawn> gDrawn;
std::vector<bzViewport *> gTargets;
bzFont gFont;

bzFont *FakeDefault()
{
    return &gFont;
}
int32_t FakePrint(bzFont *, const char *text, uint32_t flags, float x, float y, float)
{
    gDrawn.push_back({text, flags, x, y});
    return static_cast<int32_t>(y);
}
void FakeNote(bzViewport *v)
{
    gTargets.push_back(v);
}
} // namespace

TEST_F(DebugLines, DrawAdvancesByTheFontLineForEverySlot)
{
    gFont = {};
    gFont.lineHeight = 10.0f;
    gFont.scaleY = 1.5f;
    bzFontDriver driver = {FakeDefault, FakePrint, nullptr};
    bz_Font_SetDriver(&driver);
    bzgRenderTable.PDNote2DViewport = FakeNote;
    bzViewport *previous = reinterpret_cast<bzViewport *>(0x40);
    bzg2DDrawMode = previous;

    bz_ShowDebugMessage(1, "one");
    bz_ShowDebugMessage(3, "three");
    bz_DrawDebugMessages();
    ASSERT_EQ(gDrawn.size(), 2u);
    EXPECT_EQ(gDrawn[0].text, "one");
    EXPECT_EQ(gDrawn[0].flags, 0x41u);
    EXPECT_EQ(gDrawn[0].y, 15.0f);
    EXPECT_EQ(gDrawn[1].y, 45.0f);
    ASSERT_EQ(gTargets.size(), 2u);
    EXPECT_EQ(gTargets[0], nullptr);
    EXPECT_EQ(gTargets[1], previous);

    bz_ClearDebugMessages();
    bz_Font_SetDriver(nullptr);
    bzgRenderTable.PDNote2DViewport = nullptr;
    bzg2DDrawMode = nullptr;
}

