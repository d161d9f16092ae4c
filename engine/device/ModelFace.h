// The face record of a model's render-ready part: three vertex indices, the index of the
// material entry that draws the face, and the face flags. The models own the arrays; the scene
// graph's measurements and ray queries and the back ends read them as they are.
#pragma once

#include <cstdint>

struct bzModelFace
{
    uint32_t v[3];  // vertex indices
    uint16_t entry; // material-entry index
    uint16_t flags;
};
static_assert(sizeof(bzModelFace) == 16);
