// Roots of cubics and quartics on [0, 1].
#include "collision/UnitRoots.h"

#include "collision/SegmentTests.h"

#include <cmath>

namespace
{
constexpr float kFloatMax = 3.4028235e38f;
constexpr float kValueTolerance = 1e-7f;

struct Quartic
{
    float a, b, c, d, e;
    float Value(float t) const { return (((a * t + b) * t + c) * t + d) * t + e; }
    float Slope(float t) const { return ((4.0f * a * t + 3.0f * b) * t + 2.0f * c) * t + d; }
    float Scale() const
    {
        return std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d) + std::fabs(e);
    }
};

struct Cubic
{
    float a, b, c, d;
    float Value(float t) const { return ((a * t + b) * t + c) * t + d; }
    float Slope(float t) const { return (3.0f * a * t + 2.0f * b) * t + c; }
    float Scale() const { return std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d); }
};

// Newton steps that stay inside the bracket, bisection otherwise; ends when the value is
// within the tolerance or a step no longer shrinks. The iteration count is bounded as well, so
// that values that are not numbers cannot keep it going.
template <class P> float Refine(const P &p, float lo, float hi, float flo, float fhi)
{
    const float tol = p.Scale() * kValueTolerance;
    const float k = 1.0f / (flo - fhi);
    float s = hi * k * flo - k * lo * fhi;
    if (!(s >= lo && s <= hi))
        s = (lo + hi) * 0.5f;
    float x = s;
    float step = kFloatMax;
    for (int32_t iteration = 0; iteration < 200; iteration++)
    {
        float old = x;
        const float previous = step;
        const float fx = p.Value(x);
        if (std::fabs(fx) < tol)
            return x;
        const float slope = p.Slope(x);
        const float candidate = slope != 0.0f ? x - fx / slope : -1.0f;
        if (candidate >= lo && candidate <= hi)
            x = candidate;
        else
        {
            old = s;
            const float g = p.Value(s);
            if (flo * g <= 0.0f)
            {
                hi = s;
                fhi = g;
            }
            else if (fhi * g <= 0.0f)
            {
                lo = s;
                flo = g;
            }
            s = (lo + hi) * 0.5f;
            x = s;
        }
        step = std::fabs(x - old);
        if (!(step < previous))
            return x;
    }
    return x;
}

// The common scan: breakpoints t[0..n+1] with their values f, n derivative roots between 0 and
// 1. Exact zeros at breakpoints are roots; each piece with a strict sign change gives one.
template <class P>
int32_t ScanPieces(const P &p, const float *derivativeRoots, int32_t n, float *out)
{
    float t[5];
    float f[5];
    t[0] = 0.0f;
    f[0] = p.Value(0.0f);
    for (int32_t k = 1; k <= n; k++)
    {
        t[k] = derivativeRoots[k - 1];
        f[k] = p.Value(t[k]);
    }
    t[n + 1] = 1.0f;
    f[n + 1] = p.Value(1.0f);
    int32_t count = 0;
    int32_t k = 0;
    if (f[0] == 0.0f)
    {
        out[count++] = 0.0f;
        k = 1;
    }
    while (k <= n)
    {
        if (f[k + 1] == 0.0f)
        {
            out[count++] = t[k + 1];
            k += 2;
        }
        else if (f[k] * f[k + 1] < 0.0f)
        {
            out[count++] = Refine(p, t[k], t[k + 1], f[k], f[k + 1]);
            k += 1;
        }
        else
            k += 1;
    }
    return count;
}
} // namespace

float bz_RefineQuarticRoot(float a, float b, float c, float d, float e, float lo, float hi,
                           float flo, float fhi)
{
    return Refine(Quartic{a, b, c, d, e}, lo, hi, flo, fhi);
}

float bz_RefineCubicRoot(float a, float b, float c, float d, float lo, float hi, float flo,
                         float fhi)
{
    return Refine(Cubic{a, b, c, d}, lo, hi, flo, fhi);
}

int32_t bz_CubicRootsInUnit(float a, float b, float c, float d, float *out)
{
    float turns[2];
    const int32_t n = bz_Quadratic_RootsInUnit(turns, 3.0f * a, 2.0f * b, c);
    return ScanPieces(Cubic{a, b, c, d}, turns, n, out);
}

int32_t bz_QuarticRootsInUnit(float a, float b, float c, float d, float e, float *out)
{
    float turns[3];
    const int32_t n = bz_CubicRootsInUnit(4.0f * a, 3.0f * b, 2.0f * c, d, turns);
    return ScanPieces(Quartic{a, b, c, d, e}, turns, n, out);
}
