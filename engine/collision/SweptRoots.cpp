// The times worth a look in the swept tests.
#include "collision/SweptRoots.h"

#include "collision/PairMaths.h"

#include <cmath>

using namespace bzPairMaths;

void bz_PointAxisQuartic(const bzV3 &d, const bzV3 &v, const bzV3 &e, const bzV3 &w, float radius,
                         float growth, float *k)
{
    const float ww = LengthSq(w), ew2 = 2.0f * Dot(e, w), ee = LengthSq(e);
    const float vv = LengthSq(v) - growth * growth;
    const float vw = Dot(v, w);
    const float de = Dot(d, e);
    const float b1 = -2.0f * Dot(d, v) - 2.0f * growth * radius;
    const float m = Dot(d, w) - Dot(e, v);
    const float g0 = LengthSq(d) - radius * radius;
    k[0] = vv * ww - vw * vw;
    k[1] = b1 * ww + vv * ew2 + 2.0f * vw * m;
    k[2] = b1 * ew2 + vv * ee + g0 * ww - (m * m - 2.0f * de * vw);
    k[3] = b1 * ee + ew2 * g0 - 2.0f * de * m;
    k[4] = ee * g0 - de * de;
}

int32_t bz_EnteringRoots(const float *roots, int32_t n, bool startsWithin, float *picked)
{
    if (startsWithin)
    {
        if (n < 2)
            return 0;
        picked[0] = roots[1];
        return 1;
    }
    int32_t k = 0;
    for (int32_t i = 0; i < n; i += 2)
        picked[k++] = roots[i];
    return k;
}
