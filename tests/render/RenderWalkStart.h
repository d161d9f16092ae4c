// What the render walk tests start from, and the cubes and view most of them draw.
#pragma once

#include "support/CubeModel.h"

#include "models/Material.h"
#include "models/Model.h"
#include "models/SceneLink.h"
#include "render/DrawQueue.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

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

// An opaque cube and a glass one (blended, so drawn with the transparent groups), both from
// -0.5 to 0.5, an empty root, and a camera at the origin looking along +z that sees the root
// through a 100 x 100 viewport. FreeCubes gives back the models and materials; the lumps and the
// viewport are the test's to destroy.
struct CubeView
{
    bzMaterial *opaque_ = nullptr;
    bzMaterial *glass_ = nullptr;
    bzModel *cube_ = nullptr;
    bzModel *glassCube_ = nullptr;
    bzLump *root_ = nullptr;
    bzLump *camera_ = nullptr;
    bzViewport *view_ = nullptr;

    void MakeCubeView()
    {
        opaque_ = bz_CreateMaterial("opaque", 1);
        glass_ = bz_CreateMaterial("glass", 1);
        glass_->flags = (glass_->flags | 0x8000000u) & ~0x100u;
        cube_ = MakeCubeModel("cube", opaque_, -0.5f, 0.5f);
        glassCube_ = MakeCubeModel("glass", glass_, -0.5f, 0.5f);
        ASSERT_NE(cube_, nullptr);
        ASSERT_NE(glassCube_, nullptr);
        root_ = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        camera_ = bz_Lump_CreateCamera(nullptr, 45.0f);
        view_ = bz_Viewport_Create(0, camera_, root_, 0, 0, 100, 100);
        bz_Viewport_SetupProjectionM34(view_, nullptr);
    }
    void FreeCubes()
    {
        bz_ReleaseModel(cube_);
        bz_ReleaseModel(glassCube_);
        bz_ReleaseMaterial(opaque_);
        bz_ReleaseMaterial(glass_);
    }
};
