#include "render/FrameStats.h"

#include "core/Clock.h"
#include "core/TimingStats.h"
#include "render/Draw2D.h"
#include "render/Font.h"
#include "device/RenderTable.h"

#include <cmath>
#include <cstdio>

namespace
{
// Frame-statistics panel.
bool gStatsPanel;
float gPanelX = 16.0f;
float gPanelY = 16.0f;
float gPanelWidth = 320.0f;
float gPanelLine = 16.0f;

const bzRenderStats *gRenderStats;
} // namespace

void bz_FrameStats_SetRenderStats(const bzRenderStats *stats)
{
    gRenderStats = stats;
}

void bz_FrameStats_Enable()
{
    gStatsPanel = true;
    const bzFont *font = bz_Font_GetDefault();
    float line = font ? std::trunc(font->lineHeight * font->scaleY) : 0.0f;
    gPanelLine = line >= 1.0f ? line : 16.0f;
    gPanelX = 16.0f;
    gPanelY = 16.0f;
    gPanelWidth = 20.0f * gPanelLine;
}

void bz_FrameStats_Disable()
{
    gStatsPanel = false;
}

void bz_FrameStats_Toggle()
{
    if (gStatsPanel)
        bz_FrameStats_Disable();
    else
        bz_FrameStats_Enable();
}

int32_t bz_FrameStats_IsEnabled()
{
    return gStatsPanel ? 1 : 0;
}

void bz_PrintFrameStats()
{
    bz_Clock_UpdateReplayTiming();
    if (!gStatsPanel)
        return;
    bzRenderStats stats = gRenderStats ? *gRenderStats : bzRenderStats{};

    char lines[9 + BZ_TIMING_STATS][64];
    int count = 0;
    float fps = stats.framesPerSecond;
    std::snprintf(lines[count++], 64, "FRAMES:\t\t\t%3.2f", fps);
    std::snprintf(lines[count++], 64, "FACES PF:\t\t\t%d", stats.facesPerFrame);
    std::snprintf(lines[count++], 64, "M FACES PS:\t\t%.4f", stats.facesPerFrame * fps * 0.000001f);
    std::snprintf(lines[count++], 64, "VERTS PF:\t\t\t%d", stats.vertsPerFrame);
    std::snprintf(lines[count++], 64, "M VERTS PS:\t\t%.4f", stats.vertsPerFrame * fps * 0.000001f);
    std::snprintf(lines[count++], 64, "MATGROUP PF:\t\t%d", stats.matGroupsPerFrame);
    std::snprintf(lines[count++], 64, "MATGROUP PS:\t\t%3.2f", stats.matGroupsPerFrame * fps);
    std::snprintf(lines[count++], 64, "TEX STATES:\t\t%d", stats.texStates);
    std::snprintf(lines[count++], 64, "TEX CHANGES:\t\t%d", stats.texChangesPerFrame);
    for (int32_t id = 1; id <= BZ_TIMING_STATS; ++id)
        if (const char *name = bz_TimingStats_Name(id))
            std::snprintf(lines[count++], 64, "%s@J(120)%3.2f", name, bz_TimingStats_Average(id));

    // The panel draws to the whole screen: the 2-D target is saved and restored around it.
    bzViewport *savedTarget = bz_Begin2DFullScreen();
    if (bzgRenderTable.PDDraw2DRect)
        bzgRenderTable.PDDraw2DRect(gPanelX, gPanelY, gPanelWidth, gPanelLine * (count + 1),
                                    0x80000000u, 1, nullptr, 0);
    for (int i = 0; i < count; ++i)
        bz_Font_PrintString(nullptr, lines[i], 1, gPanelX + 4.0f, gPanelY + gPanelLine * (0.5f + i),
                            gPanelWidth);
    bz_End2DFullScreen(savedTarget);
}
