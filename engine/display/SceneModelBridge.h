// The scene graph's table of model and material services, filled with the models area's own
// functions, for the engine's start-up to install (bz_Scene_SetModelServices).
#pragma once

#include "scene/SceneServices.h"

void bz_Display_GetSceneModelServices(bzSceneModelServices *out);
