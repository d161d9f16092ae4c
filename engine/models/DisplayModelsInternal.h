// What the builders of models/DisplayModels.h share: the common end of every builder and the
// small setters of vertices, polygons and texture coordinates.
#pragma once

#include "core/Error.h"
#include "maths/Approx.h"
#include "models/DisplayModels.h"
#include "models/ModelPrepare.h"

#include <cstring>

namespace bz_display_detail
{
// Every preparation step but 0x40.
constexpr uint32_t kPrepareAll = 0xFFBF;
constexpr float kDegrees = 57.29578f;
constexpr float kPi = 3.14159265f;

inline void CopyName(bzModel *model, const char *name)
{
    std::memset(model->name, 0, sizeof model->name);
    if (name)
        std::strncat(model->name, name, sizeof model->name - 1);
}

// The common end of every builder: name, colours, preparation. Frees the model on failure.
inline bzModel *Finish(bzModel *model, const char *name)
{
    CopyName(model, name);
    bz_ApplyMaterialColour(model);
    if (const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll))
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    return model;
}

inline void SetVertex(bzModelDataVertex &v, float x, float y, float z)
{
    v.x = x;
    v.y = y;
    v.z = z;
}

inline void SetPolygon(bzModelPolygon &p, uint32_t a, uint32_t b, uint32_t c)
{
    p.v[0] = a;
    p.v[1] = b;
    p.v[2] = c;
}

inline void SetCornerUV(bzModelPolygon &p, int32_t corner, float u, float v, float scale1)
{
    p.uv[corner][0] = u;
    p.uv[corner][1] = v;
    p.uv[corner][2] = u * scale1;
    p.uv[corner][3] = v * scale1;
}

// Degrees of atan2 over a full turn, shifted into 0..1.
inline float TurnFraction(float y, float x)
{
    return bz_ATan2(y, x) * kDegrees * (1.0f / 360.0f) + 0.5f;
}

// Keeps a pair of corner texture values on the same side of the seam.
inline void FixSeam(float &first, float &second)
{
    if (first - second > 0.5f)
        second += 1.0f;
    if (second - first > 0.5f)
        first += 1.0f;
}

} // namespace bz_display_detail
