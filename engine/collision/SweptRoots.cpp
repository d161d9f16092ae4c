// The times worth a look in the swept tests.
#include "collision/SweptRoots.h"

#include "collision/PairMaths.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kZeroSq = 1.1920929e-7f;
} // namespace

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

int32_t bz_EdgeCrossingTimes(float a, float b, float c, float *times)
{
    bool possible = c * (a + b + c) <= 0.0f;
    if (!possible && a != 0.0f)
    {
        const float ts = -b / (2.0f * a);
        possible = ts >= 0.0f && ts <= 1.0f && c * ((a * ts + b) * ts + c) <= 0.0f;
    }
    if (!possible)
        return 0;
    if (a < 0.0f)
    {
        a = -a;
        b = -b;
        c = -c;
    }
    float r1 = 0.0f, r2 = 2.0f; // 2: no second root
    if (1000.0f * std::fabs(4.0f * a * c) <= b * b)
    {
        // Nearly linear: the small root without cancellation, the other from their sum.
        if (std::fabs(b) <= kZeroSq)
            return 0;
        r1 = -c / b - c * c * a / (b * b * b);
        if (a > 0.0f)
            r2 = -b / a - r1;
    }
    else
    {
        const float disc = b * b - 4.0f * a * c;
        if (disc < 0.0f)
            return 0;
        const float root = std::sqrt(disc);
        r1 = (-b - root) / (2.0f * a);
        if (r1 > 1.0f)
            return 0;
        r2 = (root - b) / (2.0f * a);
    }
    int32_t n = 0;
    if (r1 >= 0.0f && r1 <= 1.0f)
        times[n++] = r1;
    if (r2 >= 0.0f && r2 <= 1.0f && r2 != r1)
        times[n++] = r2;
    return n;
}
