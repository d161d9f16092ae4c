// The state a test of whole frames starts from: the models' scene services installed, no
// viewports, fresh draw queues and batches, no GUI, no fade, no frame hooks or engine switches,
// and the display at the given size.
#pragma once

#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/FrameDriver.h"
#include "render/Gui.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"

#include <cstdint>

// False when the draw queues cannot be made.
inline bool ResetRenderFrame(int32_t width, int32_t height)
{
    bz_Models_InstallSceneServices();
    bz_Viewport_ClearList();
    if (bz_DrawQueue_Init() != 0)
        return false;
    bz_Scene_ResetBatches();
    GUI_Reset();
    bz_Engine_ClearFade();
    bz_Engine_SetFrameHooks(nullptr);
    bzgEngineSwitches = {};
    bz_Display_SetSize(width, height);
    return true;
}
