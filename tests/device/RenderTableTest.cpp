#include "device/RenderTable.h"

#include <gtest/gtest.h>

namespace
{
int32_t FakeSetLight(int32_t index, const void *light, const void *)
{
    return light ? index + 100 : -1;
}

TEST(RenderTable, SetLightForwardsToTheRenderer)
{
    int light = 0;
    EXPECT_EQ(bz_SetLight(3, &light, nullptr), -1);
    bzgRenderTable.PDSetLight = FakeSetLight;
    EXPECT_EQ(bz_SetLight(3, &light, nullptr), 103);
    EXPECT_EQ(bz_SetLight(3, nullptr, nullptr), -1);
    bzgRenderTable.PDSetLight = nullptr;
}

} // namespace
