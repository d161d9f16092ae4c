// A cube model of twelve faces built through the scene's model-creation service (installed by
// the models' scene link), for tests that need real faces: corners lo..hi on every axis,
// each face wound clockwise seen from outside (the engine's front side).
#pragma once

#include "maths/Types.h"
#include "scene/ModelGeometry.h"

#include <array>

inline bzModel *MakeCubeModel(const char *name, bzMaterial *material, float lo, float hi)
{
    const bzV3 corners[8] = {{lo, lo, lo}, {hi, lo, lo}, {hi, hi, lo}, {lo, hi, lo},
                             {lo, lo, hi}, {hi, lo, hi}, {hi, hi, hi}, {lo, hi, hi}};
    static const uint32_t idx[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6},
                                        {0, 5, 1}, {0, 4, 5}, {2, 7, 3}, {2, 6, 7},
                                        {1, 6, 2}, {1, 5, 6}, {0, 7, 4}, {0, 3, 7}};
    std::array<bzModelFace, 12> faces{};
    for (int f = 0; f < 12; ++f)
        for (int k = 0; k < 3; ++k)
            faces[f].v[k] = idx[f][k];
    return bz_Scene_CreateModel(name, corners, 8, faces.data(), 12, material);
}
