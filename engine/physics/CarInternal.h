// Small helpers the car physics files share: the time step, gravity, the body's frame and a
// few guarded divisions.
#pragma once

#include "collision/PairMaths.h"
#include "physics/Body.h"
#include "physics/DynVehicle.h"

#include <cmath>

namespace bzCar
{
using namespace bzPairMaths;

// Below this a divisor counts as zero.
constexpr float kTiny = 1e-12f;

float TimeStep();
// The size of the world's gravity at the body.
float Gravity(const BZDObject *body);

inline float SafeDiv(float a, float b)
{
    return std::fabs(b) > kTiny ? a / b : 0.0f;
}
inline float SafeInv(float b)
{
    return SafeDiv(1.0f, b);
}
inline float SignOr1(float x)
{
    return x < 0.0f ? -1.0f : 1.0f;
}
inline float Sign0(float x)
{
    return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
}
inline bzV3 Normalised(const bzV3 &v)
{
    const float l = std::sqrt(Dot(v, v));
    return l > kTiny ? Scale(v, 1.0f / l) : v;
}
inline bzV3 Mul(const bzV3 &a, const bzV3 &b)
{
    return V(a.x * b.x, a.y * b.y, a.z * b.z);
}
// A world direction into car space through the matrix's rotation rows.
inline bzV3 ToCar(const bzM34 *m, const bzV3 &v)
{
    return V(Dot(v, m->row[0]), Dot(v, m->row[1]), Dot(v, m->row[2]));
}
// The body's matrix, or the identity without one.
const bzM34 *BodyMatrix(const BZDObject *body);
} // namespace bzCar
