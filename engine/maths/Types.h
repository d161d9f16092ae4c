// The maths library's records: vectors, matrices, quaternions, boxes, planes, rays and colours.
//
// Every matrix uses row vectors on the left: a point p maps to p' = p M, row i of a matrix is
// the image of axis i and the translation is the last row. Angles are degrees, distances
// metres. All components are 32-bit floats.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

struct bzV2
{
    union
    {
        struct
        {
            float x, y;
        };
        float v[2];
    };
};

struct bzV3
{
    union
    {
        struct
        {
            float x, y, z;
        };
        float v[3];
    };
};

struct bzV4
{
    union
    {
        struct
        {
            float x, y, z, w;
        };
        float v[4];
    };
};

// Two axis rows of a 2-D linear transform.
struct bzM22
{
    bzV2 row[2];
};

// Two axis rows, then the translation row: p' = p.x row[0] + p.y row[1] + row[2].
struct bzM23
{
    bzV2 row[3];
};

// The rotation (and scale) rows of a bzM34.
struct bzM33
{
    bzV3 row[3];
};

// Rows x axis, y axis, z axis, translation.
struct bzM34
{
    bzV3 row[4];
};

// Four rows of four, row-major; an affine one has column 3 = (0, 0, 0, 1).
struct bzM44
{
    bzV4 row[4];
};

// x, y, z is the vector part, w the scalar part, stored last.
struct bzQuat
{
    union
    {
        struct
        {
            float x, y, z, w;
        };
        float v[4];
    };
};

// A rigid pose: p maps to rotate(q, p) + pos.
struct bzQuatPos
{
    bzQuat q;
    bzV3 pos;
};

// Axis-aligned box, minimum corner then maximum corner.
struct bzBox
{
    bzV3 min;
    bzV3 max;
};

// The points p with n.p = d; n is a unit vector after every operation that normalises.
struct bzPlane
{
    bzV3 n;
    float d;
};

// origin + t delta; flag 0 is a segment (t in [0, 1]), any other value a ray (t >= 0).
struct bzRay
{
    bzV3 origin;
    bzV3 delta;
    int32_t flag;
};

// 0xAARRGGBB.
typedef uint32_t bzColour;

// A count n >= 1, then n colours; entry k sits at k * trunc(100 / n) percent.
struct bzColourRamp
{
    int32_t count;
    bzColour entries[];
};

static_assert(sizeof(bzV2) == 8);
static_assert(sizeof(bzV3) == 12, "sizeof(bzV3) miss match");
static_assert(sizeof(bzV4) == 16);
static_assert(sizeof(bzM22) == 16);
static_assert(sizeof(bzM23) == 24);
static_assert(sizeof(bzM33) == 36);
static_assert(sizeof(bzM34) == 48, "sizeof(bzM34) miss match");
static_assert(sizeof(bzM44) == 64);
static_assert(sizeof(bzQuat) == 16);
static_assert(sizeof(bzQuatPos) == 28);
static_assert(sizeof(bzBox) == 24);
static_assert(sizeof(bzPlane) == 16);
static_assert(sizeof(bzRay) == 28);

// A record whose first three rows are rotation rows: a bzM33 or a bzM34. Operations that read
// or write only the rotation rows accept either.
template <class T>
concept bzRotationRows =
    std::same_as<std::remove_cv_t<T>, bzM33> || std::same_as<std::remove_cv_t<T>, bzM34>;

// Degrees to radians and back, FLT_EPSILON and the guard for squared lengths of directions.
constexpr float BZ_DEG_TO_RAD = 0.017453292f;
constexpr float BZ_RAD_TO_DEG = 57.29578f;
constexpr float BZ_EPSILON = 1.1920929e-7f;
constexpr float BZ_SQ_EPSILON = 1.4210855e-14f;
