// The least and greatest dot products of points with the three axes (1, 0, 0), (0, 1, 0) and
// (0, 0, 1), taken in one pass over the points, four float lanes wide. Each lane forms its axis's
// dot product a.x * n.x + a.y * n.y + a.z * n.z with the same products and sums in the same order
// as the scalar one, zeros included, so the extents equal those of a scalar loop over the axes
// bit for bit (-ffp-contract=off holds for the whole build).
#pragma once

#include "maths/Types.h"

#include <cfloat>
#include <cstdint>
#include <cstring>

struct bzAxisExtents
{
    float lo[4], hi[4]; // per axis; the fourth lane is of no axis
};

// pointAt(i) gives point i (a bzV3) for i in [0, count). With no points, lo is FLT_MAX and hi
// -FLT_MAX.
template <typename PointAt> bzAxisExtents bz_ExtentsAlongAxes(int32_t count, PointAt pointAt)
{
    typedef float Lanes __attribute__((vector_size(16)));
    const Lanes nx = {1.0f, 0.0f, 0.0f, 0.0f}, ny = {0.0f, 1.0f, 0.0f, 0.0f},
                nz = {0.0f, 0.0f, 1.0f, 0.0f};
    Lanes lo = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    Lanes hi = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 p = pointAt(i);
        const Lanes x = {p.x, p.x, p.x, p.x}, y = {p.y, p.y, p.y, p.y}, z = {p.z, p.z, p.z, p.z};
        const Lanes d = x * nx + y * ny + z * nz;
        lo = d < lo ? d : lo;
        hi = d > hi ? d : hi;
    }
    bzAxisExtents out;
    std::memcpy(out.lo, &lo, sizeof out.lo);
    std::memcpy(out.hi, &hi, sizeof out.hi);
    return out;
}
