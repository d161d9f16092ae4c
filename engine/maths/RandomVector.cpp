#include "maths/RandomVector.h"

#include "core/Random.h"
#include "maths/Matrix.h"

#include <cmath>

namespace
{
constexpr float kEpsilon = 1.1920929e-7f;
constexpr float kDegrees = 0.017453292f;

void Set(bzV3 *v, float x, float y, float z)
{
    v->x = x;
    v->y = y;
    v->z = z;
}
} // namespace

void bz_RandomUnitVector(bzV3 *out)
{
    float azimuth = bz_RandomUnit() * 360.0f * kDegrees;
    float z = 1.0f - 2.0f * bz_RandomUnit();
    float r = std::sqrt(1.0f - z * z);
    if (out)
        Set(out, std::cos(azimuth) * r, std::sin(azimuth) * r, z);
}

void bz_RandomVectorInCone(const bzV3 *direction, bzV3 *out, float a, float b)
{
    if (!direction || !out)
        return;
    const float d[3] = {direction->x, direction->y, direction->z};
    float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(length >= kEpsilon))
        return;
    float theta = bz_RandomFloat(a * 0.5f, b * 0.5f) * kDegrees;
    float s = std::sin(theta);
    float c = std::cos(theta);
    float wx = 2.0f * bz_RandomUnitNonZero() - 1.0f;
    float wy = 2.0f * bz_RandomUnitNonZero() - 1.0f;
    float wz = 2.0f * bz_RandomUnitNonZero() - 1.0f;
    float p[3] = {wx * d[1] - wy * d[2], wz * d[2] - wx * d[0], wy * d[0] - wz * d[1]};
    float q = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) / length;
    if (!(q >= kEpsilon))
        return;
    Set(out, c * d[0] + s * p[0] / q, c * d[1] + s * p[1] / q, c * d[2] + s * p[2] / q);
}

void bz_M34_RandomRotation(bzM34 *m)
{
    bzV3 axis;
    bz_RandomUnitVector(&axis);
    const float deg = bz_RandomUnit() * 360.0f;
    bz_M34_FromAxisAngle(m, &axis, deg);
}
