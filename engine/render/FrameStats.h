// The on-screen frame-statistics panel: the renderer's counters and every timing statistics
// record, drawn over the whole screen in the default font.
#pragma once

#include <cstdint>

// The renderer's statistics counters shown by the frame-statistics panel.
struct bzRenderStats
{
    float framesPerSecond;
    int32_t facesPerFrame;
    int32_t vertsPerFrame;
    int32_t matGroupsPerFrame;
    int32_t texStates;
    int32_t texChangesPerFrame;
};

// Installs the renderer's statistics counters (null: none, the panel shows zeros).
void bz_FrameStats_SetRenderStats(const bzRenderStats *stats);

// The on-screen frame-statistics panel.
void bz_FrameStats_Enable();
void bz_FrameStats_Disable();
void bz_FrameStats_Toggle();
int32_t bz_FrameStats_IsEnabled();
void bz_PrintFrameStats();
