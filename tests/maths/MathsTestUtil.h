// Shared helpers of the maths tests: tolerant comparisons and random records.
#pragma once

#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "maths/Types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

inline ::testing::AssertionResult V3Near(const bzV3 &a, const bzV3 &b, float tol)
{
    for (int i = 0; i < 3; i++)
        if (!(std::fabs(a.v[i] - b.v[i]) <= tol))
            return ::testing::AssertionFailure()
                   << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                   << ", " << b.z << ") beyond " << tol;
    return ::testing::AssertionSuccess();
}

template <class A, class B>
::testing::AssertionResult RowsNear(const A &a, const B &b, int rows, float tol)
{
    for (int i = 0; i < rows; i++)
    {
        ::testing::AssertionResult r = V3Near(a.row[i], b.row[i], tol);
        if (!r)
            return r << " in row " << i;
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult QuatNear(const bzQuat &a, const bzQuat &b, float tol)
{
    for (int i = 0; i < 4; i++)
        if (!(std::fabs(a.v[i] - b.v[i]) <= tol))
            return ::testing::AssertionFailure()
                   << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x
                   << ", " << b.y << ", " << b.z << ", " << b.w << ") beyond " << tol;
    return ::testing::AssertionSuccess();
}

// A fixed-sequence generator so that every run tests the same cases.
class MathsRandom
{
public:
    explicit MathsRandom(unsigned start = 12345) : engine_(start) {}
    float Uniform(float lo, float hi)
    {
        return std::uniform_real_distribution<float>(lo, hi)(engine_);
    }
    bzV3 V3(float lo, float hi) { return bzV3{Uniform(lo, hi), Uniform(lo, hi), Uniform(lo, hi)}; }
    // A unit axis (never near zero before normalising).
    bzV3 Axis()
    {
        for (;;)
        {
            bzV3 v = V3(-1.0f, 1.0f);
            const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            if (len > 0.1f && len <= 1.0f)
                return bzV3{v.x / len, v.y / len, v.z / len};
        }
    }
    bzM34 Rotation(bool withTranslation)
    {
        bzM34 m;
        const bzV3 axis = Axis();
        bz_M34_FromAxisAngle(&m, &axis, Uniform(-180.0f, 180.0f));
        if (withTranslation)
            m.row[3] = V3(-10.0f, 10.0f);
        return m;
    }

private:
    std::mt19937 engine_;
};
