// Euler angles with a selectable axis order.
//
// The conversions work on the column-vector matrix M = E^T of the engine's row-vector matrix E,
// as the published algorithm states them: M[r][c] is E[c][r].
#include "maths/Euler.h"

#include "maths/Approx.h"
#include "maths/Vector.h"

#include <cmath>

namespace
{
struct Axes
{
    int i, j, k;
};

constexpr float kThreshold = 1.9073486e-6f; // 16 FLT_EPSILON

// The axis triple of a code; false for a code that names no order.
bool OrderAxes(uint32_t code, Axes *axes)
{
    static const Axes kTriples[8] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 0, 0},
                                     {0, 2, 1}, {1, 0, 2}, {2, 1, 0}, {0, 0, 0}};
    if (code > 31 || (code & 3) == 3)
        return false;
    *axes = kTriples[code & 7];
    return true;
}

inline float At(const bzV3 *e, int r, int c)
{
    return e[c].v[r];
}
} // namespace

void bzRows::MatrixFromEuler(bzV3 *out, const bzEulerAngles *angles)
{
    const uint32_t code = angles->order;
    Axes ax;
    if (!OrderAxes(code, &ax))
    {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                out[r].v[c] = r == c ? 1.0f : 0.0f;
        return;
    }
    float x = angles->a0, y = angles->a1, z = angles->a2;
    if (code & BZ_EULER_ROTATING)
    {
        const float t = x;
        x = z;
        z = t;
    }
    if (code & BZ_EULER_PARITY_ODD)
    {
        x = -x;
        y = -y;
        z = -z;
    }
    const float ci = std::cos(x * BZ_DEG_TO_RAD), si = std::sin(x * BZ_DEG_TO_RAD);
    const float cj = std::cos(y * BZ_DEG_TO_RAD), sj = std::sin(y * BZ_DEG_TO_RAD);
    const float ch = std::cos(z * BZ_DEG_TO_RAD), sh = std::sin(z * BZ_DEG_TO_RAD);
    const float cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    const int i = ax.i, j = ax.j, k = ax.k;
    float m[3][3];
    if (code & BZ_EULER_REPEAT)
    {
        m[i][i] = cj;
        m[i][j] = sj * si;
        m[i][k] = sj * ci;
        m[j][i] = sj * sh;
        m[j][j] = -cj * ss + cc;
        m[j][k] = -cj * cs - sc;
        m[k][i] = -sj * ch;
        m[k][j] = cj * sc + cs;
        m[k][k] = cj * cc - ss;
    }
    else
    {
        m[i][i] = cj * ch;
        m[i][j] = sj * sc - cs;
        m[i][k] = sj * cc + ss;
        m[j][i] = cj * sh;
        m[j][j] = sj * ss + cc;
        m[j][k] = sj * cs - sc;
        m[k][i] = -sj;
        m[k][j] = cj * si;
        m[k][k] = cj * ci;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            out[c].v[r] = m[r][c];
}

void bzRows::MatrixToEuler(const bzV3 *e, bzEulerAngles *angles)
{
    const uint32_t code = angles->order & 0xFFu;
    Axes ax;
    if (!OrderAxes(code, &ax))
    {
        angles->a0 = angles->a1 = angles->a2 = 0.0f;
        return;
    }
    const int i = ax.i, j = ax.j, k = ax.k;
    float x, y, z;
    if (code & BZ_EULER_REPEAT)
    {
        const float sy = std::sqrt(At(e, i, j) * At(e, i, j) + At(e, i, k) * At(e, i, k));
        if (sy > kThreshold)
        {
            x = bz_ATan2(At(e, i, j), At(e, i, k));
            y = bz_ATan2(sy, At(e, i, i));
            z = bz_ATan2(At(e, j, i), -At(e, k, i));
        }
        else
        {
            x = bz_ATan2(-At(e, j, k), At(e, j, j));
            y = bz_ATan2(sy, At(e, i, i));
            z = 0.0f;
        }
    }
    else
    {
        const float cy = std::sqrt(At(e, i, i) * At(e, i, i) + At(e, j, i) * At(e, j, i));
        if (cy > kThreshold)
        {
            x = bz_ATan2(At(e, k, j), At(e, k, k));
            y = bz_ATan2(-At(e, k, i), cy);
            z = bz_ATan2(At(e, j, i), At(e, i, i));
        }
        else
        {
            x = bz_ATan2(-At(e, j, k), At(e, j, j));
            y = bz_ATan2(-At(e, k, i), cy);
            z = 0.0f;
        }
    }
    if (code & BZ_EULER_PARITY_ODD)
    {
        x = -x;
        y = -y;
        z = -z;
    }
    if (code & BZ_EULER_ROTATING)
    {
        const float t = x;
        x = z;
        z = t;
    }
    angles->a0 = x * BZ_RAD_TO_DEG;
    angles->a1 = y * BZ_RAD_TO_DEG;
    angles->a2 = z * BZ_RAD_TO_DEG;
}
