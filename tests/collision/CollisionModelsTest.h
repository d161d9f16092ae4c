// The fixture of the collision tests on real models: the model records' fixture with the
// scene services installed; the models in models and the lump tree under root are released
// after each test, before the leak check.
#pragma once

#include "ModelsTestSupport.h"
#include "models/SceneLink.h"
#include "scene/Lump.h"

#include <vector>

class CollisionModelsTest : public ModelSceneTest
{
protected:
    void TearDown() override
    {
        if (root)
            bz_Lump_DestroyTree(root);
        for (bzModel *m : models)
            bz_ReleaseModel(m);
        ModelSceneTest::TearDown();
    }

    std::vector<bzModel *> models;
    bzLump *root = nullptr;
};
