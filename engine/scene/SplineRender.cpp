// Debug drawing of splines through the renderer function table.
#include "scene/Spline.h"

#include "core/Memory.h"
#include "device/RenderTable.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr int32_t kTempStack = 1;
// More samples than a debug line is worth drawing; a longer spline is drawn with this many.
constexpr float kMostSamples = 65536.0f;
} // namespace

void bz_Spline_Render(const bzSpline *spline)
{
    if (!spline)
        return;
    float samples = std::round(spline->samplesPerUnit * spline->totalLength);
    if (!(samples >= 1.0f))
        return;
    if (samples > kMostSamples)
        samples = kMostSamples;
    const int32_t n = static_cast<int32_t>(samples);
    uint8_t *block = static_cast<uint8_t *>(bz_TempStack_Alloc(
        kTempStack, 2u * static_cast<uint32_t>(n) * BZ_LINE_VERTEX_SIZE, BZ_MEM_CLEAR));
    if (!block)
        return;
    for (int32_t i = 0; i <= n; i++)
    {
        bzV3 p;
        bz_Spline_PositionAtParam(spline, static_cast<float>(i) / samples, &p);
        std::memcpy(block + static_cast<size_t>(i) * BZ_LINE_VERTEX_SIZE, p.v, sizeof p.v);
    }
    if (bzgRenderTable.PDSetupLineDrawing)
        bzgRenderTable.PDSetupLineDrawing(spline->colour);
    if (bzgRenderTable.PDDrawPolyline)
        bzgRenderTable.PDDrawPolyline(block, n + 1);
    bz_TempStack_Free(kTempStack, block);
}
