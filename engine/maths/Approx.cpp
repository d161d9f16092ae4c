// Float approximations, shaping curves and small solvers.
#include "maths/Approx.h"

#include "maths/Types.h"
#include "maths/Vector.h"

#include <cmath>

namespace
{
constexpr double kHalfPi = 1.5707964f;
constexpr double kPi = 3.1415927f;

double ASinSeries(double x)
{
    const double s = x * x;
    return x * (1.0 + s * (0.16666667f +
                           s * (0.075f + s * (0.04464286f +
                                              s * (0.030381944f +
                                                   s * (0.022372158f +
                                                        s * (0.017352764f + s * 0.013964844f)))))));
}

double ATanSeries(double x)
{
    const double s = x * x;
    return x *
           (1.0 -
            s * (0.33333334f -
                 s * (0.2f - s * (0.14285715f -
                                  s * (0.11111111f -
                                       s * (0.09090909f - s * (0.07692308f - s * 0.06666667f)))))));
}

// The first three branches of the arc tangent: |x| up to 1.74.
double ATanNear(double x, double a)
{
    if (a < 0.4142135f)
        return ATanSeries(x);
    if (a < 1.0)
        return 2.0 * ATanSeries((std::sqrt(x * x + 1.0) - 1.0) / x);
    const double y = (1.0 - x * x) / (2.0 * x);
    return x > 0.0 ? 0.5 * (kHalfPi - ATanSeries(y)) : 0.5 * (-ATanSeries(y) - kHalfPi);
}

double ATan(double x)
{
    const double a = std::fabs(x);
    if (a <= 1.74f)
        return ATanNear(x, a);
    if (a <= 2.414f)
    {
        // One step of the double-angle identity lands in the branches above.
        const double y = 2.0 * x / (1.0 - x * x);
        const double r = ATanNear(y, std::fabs(y));
        return x >= 0.0 ? 0.5 * (r + kPi) : 0.5 * (r - kPi);
    }
    const double y = 1.0 / x;
    return x > 0.0 ? kHalfPi - ATanSeries(y) : -ATanSeries(y) - kHalfPi;
}
} // namespace

float bz_ASinSeries(float x)
{
    return static_cast<float>(ASinSeries(x));
}

float bz_ATanSeries(float x)
{
    return static_cast<float>(ATanSeries(x));
}

float bz_ASin(float x)
{
    if (std::fabs(x) < 0.5f)
        return static_cast<float>(ASinSeries(x));
    if (x > 0.0f)
        return static_cast<float>(kHalfPi - 2.0 * ASinSeries(std::sqrt((1.0 - x) * 0.5)));
    return static_cast<float>(2.0 * ASinSeries(std::sqrt((1.0 + x) * 0.5)) - kHalfPi);
}

float bz_ACos(float x)
{
    if (std::fabs(x) < 0.5f)
        return static_cast<float>(kHalfPi - ASinSeries(x));
    if (x > 0.0f)
        return static_cast<float>(2.0 * ASinSeries(std::sqrt((1.0 - x) * 0.5)));
    return static_cast<float>(2.0 * (kHalfPi - ASinSeries(std::sqrt((1.0 + x) * 0.5))));
}

float bz_ATan(float x)
{
    return static_cast<float>(ATan(x));
}

float bz_ATan2(float y, float x)
{
    if (std::fabs(y) * static_cast<double>(BZ_SQ_EPSILON) >= std::fabs(x))
        return y >= 0.0f ? static_cast<float>(kHalfPi) : static_cast<float>(-kHalfPi);
    const double r = ATan(y / x);
    if (x >= 0.0f)
        return static_cast<float>(r);
    return static_cast<float>(r <= 0.0 ? r + kPi : r - kPi);
}

float bz_Exp2Approx(float x)
{
    const double u = 16.0 * x;
    const double p = 1.0 + 0.044273783f * x *
                               (16.0 + 0.044273783f * (u - 1.0) * (8.0 + 0.11806342f * (u - 2.0)));
    return p <= 0.0 ? 0.0f : static_cast<float>(p);
}

int32_t bz_SolveQuadratic(float *first, float *second, float a, float b, float c)
{
    if (std::fabs(a) < BZ_EPSILON)
    {
        if (std::fabs(b) < BZ_EPSILON)
            return 0;
        const float r = -c / b;
        *first = r;
        *second = r;
        return 1;
    }
    const double d = static_cast<double>(b) * b - 4.0 * static_cast<double>(a) * c;
    if (d < 0.0)
        return 0;
    const double root = std::sqrt(d);
    *first = static_cast<float>((-b + root) / (2.0 * a));
    *second = static_cast<float>((-b - root) / (2.0 * a));
    return 1;
}

int32_t bz_Solve2x2(float *x, float *y, float a, float b, float c, float d, float e, float f)
{
    const double det = static_cast<double>(a) * e - static_cast<double>(b) * d;
    if (std::fabs(det) < BZ_EPSILON)
        return 0;
    if (x)
        *x = static_cast<float>((static_cast<double>(c) * e - static_cast<double>(b) * f) / det);
    if (y)
        *y = static_cast<float>((static_cast<double>(a) * f - static_cast<double>(c) * d) / det);
    return 1;
}

float bz_SmoothStep(float edge0, float edge1, float x)
{
    if (x < edge0)
        return 0.0f;
    if (x >= edge1)
        return 1.0f;
    const float t = (x - edge0) / (edge1 - edge0);
    return t * t * (3.0f - 2.0f * t);
}

float bz_Bias(float b, float t)
{
    return static_cast<float>(std::pow(static_cast<double>(t), -std::log2(static_cast<double>(b))));
}

float bz_Gain(float g, float t)
{
    if (t < 0.5f)
        return bz_Bias(1.0f - g, 2.0f * t) * 0.5f;
    return 1.0f - bz_Bias(1.0f - g, 2.0f - 2.0f * t) * 0.5f;
}

float bz_Gamma(float gamma, float t)
{
    return static_cast<float>(std::pow(static_cast<double>(t), 1.0 / gamma));
}

float bz_SineEase(float x)
{
    const float s45 = bz_SinDeg(45.0f);
    if (x < 0.5f)
        return -0.5f * (bz_SinDeg(90.0f * (1.0f - x)) - 1.0f) / (1.0f - s45);
    return 0.5f * ((bz_SinDeg(90.0f * x) - s45) / (1.0f - s45) + 1.0f);
}

float bz_FloatMod(float a, float b)
{
    const float r = a - std::trunc(a / b) * b;
    return r < 0.0f ? r + b : r;
}

float bz_CatmullRom4(const float *k, float t)
{
    const float a3 = -0.5f * k[0] + 1.5f * k[1] - 1.5f * k[2] + 0.5f * k[3];
    const float a2 = k[0] - 2.5f * k[1] + 2.0f * k[2] - 0.5f * k[3];
    const float a1 = 0.5f * (k[2] - k[0]);
    const float a0 = k[1];
    return ((a3 * t + a2) * t + a1) * t + a0;
}

float bz_CatmullRomSpline(const float *k, int32_t count, float t)
{
    if (count < 4)
        return 0.0f;
    // A NaN parameter counts as the start, so that the segment index stays in range.
    if (!(t > 0.0f))
        t = 0.0f;
    else if (t >= 1.0f)
        t = 1.0f;
    const int32_t n = count - 3;
    const float tn = t * static_cast<float>(n);
    int32_t i = static_cast<int32_t>(tn);
    if (i > n - 1)
        i = n - 1;
    return bz_CatmullRom4(k + i, tn - static_cast<float>(i));
}

void bz_SetSinglePrecision() {}
