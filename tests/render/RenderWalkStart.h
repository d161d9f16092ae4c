// What the render walk tests start from.
#pragma once

#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"

#include <cstdint>

// The models' scene services, no viewports, an empty draw queue and batch set and no hook after
// the walk; the answer is the draw queue's (0 when it is ready).
inline int32_t StartRenderWalk()
{
    bz_Models_InstallSceneServices();
    bz_Viewport_ClearList();
    const int32_t queue = bz_DrawQueue_Init();
    bz_Scene_ResetBatches();
    bz_Scene_SetPostWalkHook(nullptr);
    return queue;
}
