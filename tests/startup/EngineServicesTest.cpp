// What the engine's start-up installs beyond the core: the builders of forms from models, so
// that a numbered form kind asked for by the dynamics and the game gives its shape. The test
// program's main starts the engine with bz_InitEngine, and nothing in this program installs or
// removes the builders itself.
#include "collision/Form.h"
#include "core/Memory.h"
#include "models/Model.h"
#include "models/SceneLink.h"
#include "support/CubeModel.h"

#include <gtest/gtest.h>

namespace
{
TEST(EngineServices, StartUpInstallsTheFormBuildersFromModels)
{
    bz_Models_InstallSceneServices();
    bzModel *cube = MakeCubeModel("cube", nullptr, -1.0f, 1.0f);
    ASSERT_NE(cube, nullptr);
    struct Want
    {
        int32_t kind;
        bzShapeKind shape;
    };
    // Kind 0 the box, 1 to 5 hulls, 6 a sphere, 7 a capsule; 8 is no kind.
    const Want wants[] = {{0, BZ_SHAPE_ALIGNED_CUBOID},
                          {1, BZ_SHAPE_POLYHEDRON},
                          {5, BZ_SHAPE_POLYHEDRON},
                          {6, BZ_SHAPE_SPHERE},
                          {7, BZ_SHAPE_TIC_TAC}};
    for (const Want &w : wants)
    {
        bzForm *form = bz_Form_CreateOfKind(nullptr, cube, w.kind);
        ASSERT_NE(form, nullptr) << "kind " << w.kind;
        ASSERT_NE(form->firstShape, nullptr) << "kind " << w.kind;
        EXPECT_EQ(form->firstShape->kind, w.shape) << "kind " << w.kind;
        if (w.kind == 0)
        {
            // The cube's own box (the model keeps its box a millimetre wide of the vertices).
            const bzBox *box = bz_Shape_Bounds(form->firstShape);
            for (int k = 0; k < 3; k++)
            {
                EXPECT_NEAR(box->min.v[k], -1.0f, 0.0011f);
                EXPECT_NEAR(box->max.v[k], 1.0f, 0.0011f);
            }
        }
        bz_Form_Free(form);
    }
    EXPECT_EQ(bz_Form_CreateOfKind(nullptr, cube, 8), nullptr);
    bz_ReleaseModel(cube);
    bz_Models_RemoveSceneServices();
}
} // namespace
