// Three-coordinate vector arithmetic in four float lanes (x, y, z and a fourth that no result
// reads), for the hot paths of the collision code. Lane j of each routine forms the same
// products, sums and differences, in the same order, as the scalar formula for coordinate j in
// PairMaths.h (-ffp-contract=off holds for the whole build), so the results are the scalar
// ones bit for bit. Only not-a-number payloads may differ: which operand's payload an operation
// passes on can depend on the order the compiler gives the operands.
#pragma once

#include "maths/Types.h"

#include <bit>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__SSE__)
#include <xmmintrin.h>
#endif

typedef float bzLanes __attribute__((vector_size(16)));
typedef int32_t bzLaneMask __attribute__((vector_size(16)));

// The vector in lanes 0 to 2, 0 in lane 3.
inline bzLanes bz_Lanes(const bzV3 &v)
{
#if defined(__SSE2__)
    // x and y as one 8-byte load, z as a 4-byte one: the lanes come zeroed above them.
    const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(v.v)));
    return std::bit_cast<bzLanes>(_mm_movelh_ps(xy, _mm_load_ss(&v.z)));
#else
    return bzLanes{v.x, v.y, v.z, 0.0f};
#endif
}

inline bzV3 bz_LanesV3(bzLanes l)
{
    bzV3 out;
#if defined(__SSE2__)
    const __m128 m = std::bit_cast<__m128>(l);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out.v), _mm_castps_si128(m));
    _mm_store_ss(&out.z, _mm_movehl_ps(m, m));
#else
    out.x = l[0];
    out.y = l[1];
    out.z = l[2];
#endif
    return out;
}

inline bzLanes bz_Splat(float x)
{
    return bzLanes{x, x, x, x};
}

// The lanes 0 to 2 whose comparison holds, as bits 0, 1 and 2.
inline int32_t bz_LanesHeld(bzLaneMask m)
{
#if defined(__SSE__)
    return _mm_movemask_ps(std::bit_cast<__m128>(m)) & 7;
#else
    return (m[0] ? 1 : 0) | (m[1] ? 2 : 0) | (m[2] ? 4 : 0);
#endif
}

// Whether the comparison holds in all four lanes.
inline bool bz_AllLanesHeld(bzLaneMask m)
{
#if defined(__SSE__)
    return _mm_movemask_ps(std::bit_cast<__m128>(m)) == 0xF;
#else
    return m[0] && m[1] && m[2] && m[3];
#endif
}

// Whether the comparison holds in any of the four lanes.
inline bool bz_AnyLaneHeld(bzLaneMask m)
{
#if defined(__SSE__)
    return _mm_movemask_ps(std::bit_cast<__m128>(m)) != 0;
#else
    return m[0] || m[1] || m[2] || m[3];
#endif
}

// |x| <= the largest float: false for a NaN as for an infinity.
inline bzLaneMask bz_FiniteLanes(bzLanes x)
{
    const bzLanes most = bz_Splat(std::numeric_limits<float>::max());
    return (x <= most) & (x >= -most);
}

// a x b as Cross forms it: lane x a.y b.z - a.z b.y, lane y a.z b.x - a.x b.z, lane z
// a.x b.y - a.y b.x.
inline bzLanes bz_CrossLanes(bzLanes a, bzLanes b)
{
    const bzLaneMask yzx = {1, 2, 0, 3}, zxy = {2, 0, 1, 3};
    return __builtin_shuffle(a, yzx) * __builtin_shuffle(b, zxy) -
           __builtin_shuffle(a, zxy) * __builtin_shuffle(b, yzx);
}

// The sums (x + y) + z of four products taken lane by lane (a.x b.x + a.y b.y + a.z b.z, as
// Dot forms it, for products a * b): sum k in lane k.
inline bzLanes bz_SumsOfFour(bzLanes m0, bzLanes m1, bzLanes m2, bzLanes m3)
{
    const bzLaneMask lo = {0, 4, 1, 5}, hi = {2, 6, 3, 7};
    const bzLanes t0 = __builtin_shuffle(m0, m1, lo), t1 = __builtin_shuffle(m2, m3, lo);
    const bzLanes t2 = __builtin_shuffle(m0, m1, hi), t3 = __builtin_shuffle(m2, m3, hi);
    const bzLaneMask first = {0, 1, 4, 5}, second = {2, 3, 6, 7};
    const bzLanes x = __builtin_shuffle(t0, t1, first), y = __builtin_shuffle(t0, t1, second);
    const bzLanes z = __builtin_shuffle(t2, t3, first);
    return x + y + z;
}
