// Principal moments and axes of an inertia tensor by cyclic Jacobi rotations.
#include "core/Debug.h"
#include "core/Error.h"
#include "physics/BodyMass.h"

#include <cmath>

namespace
{
constexpr int kMaxSweeps = 50;

// One Jacobi rotation zeroing a[p][q]; v collects the rotations as columns.
void Rotate(double a[3][3], double v[3][3], int p, int q)
{
    if (a[p][q] == 0.0)
        return;
    const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
    const double t =
        (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
    const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
    for (int k = 0; k < 3; ++k)
    {
        const double akp = a[k][p], akq = a[k][q];
        a[k][p] = c * akp - s * akq;
        a[k][q] = s * akp + c * akq;
    }
    for (int k = 0; k < 3; ++k)
    {
        const double apk = a[p][k], aqk = a[q][k];
        a[p][k] = c * apk - s * aqk;
        a[q][k] = s * apk + c * aqk;
    }
    for (int k = 0; k < 3; ++k)
    {
        const double vkp = v[k][p], vkq = v[k][q];
        v[k][p] = c * vkp - s * vkq;
        v[k][q] = s * vkp + c * vkq;
    }
}
} // namespace

int32_t bz_Phys_PrincipalAxes(const bzM33 *inertia, bzV3 *moments, bzM33 *axes)
{
    BZ_ASSERT(inertia && moments && axes);
    double a[3][3], v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    bool finite = true;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            // The symmetric part: the mean of the two off-diagonal copies.
            a[i][j] = 0.5 * (double(inertia->row[i].v[j]) + inertia->row[j].v[i]);
            finite = finite && std::isfinite(a[i][j]);
        }
    if (!finite)
    {
        for (int i = 0; i < 3; ++i)
        {
            moments->v[i] = 0.0f;
            for (int j = 0; j < 3; ++j)
                axes->row[i].v[j] = i == j ? 1.0f : 0.0f;
        }
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    }
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep)
    {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        const double diag = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (off <= 1e-30 * diag || off == 0.0)
            break;
        Rotate(a, v, 0, 1);
        Rotate(a, v, 0, 2);
        Rotate(a, v, 1, 2);
    }
    // Descending moments; the axes are the columns of v.
    int order[3] = {0, 1, 2};
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (a[order[j]][order[j]] > a[order[i]][order[i]])
            {
                const int t = order[i];
                order[i] = order[j];
                order[j] = t;
            }
    for (int i = 0; i < 3; ++i)
    {
        moments->v[i] = float(a[order[i]][order[i]]);
        for (int k = 0; k < 3; ++k)
            axes->row[i].v[k] = float(v[k][order[i]]);
    }
    // Right-handed: the third axis is the cross product of the first two.
    const bzV3 &x = axes->row[0], &y = axes->row[1];
    const float cz = x.x * y.y - x.y * y.x;
    const float cx = x.y * y.z - x.z * y.y, cy = x.z * y.x - x.x * y.z;
    if (cx * axes->row[2].x + cy * axes->row[2].y + cz * axes->row[2].z < 0.0f)
        for (int k = 0; k < 3; ++k)
            axes->row[2].v[k] = -axes->row[2].v[k];
    return BZ_ERROR_NONE;
}
