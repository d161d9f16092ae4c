// The matrix library.
#include "maths/Matrix.h"

#include "core/Error.h"
#include "maths/Approx.h"
#include "maths/Quat.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <emmintrin.h>

namespace
{
const bzM22 kIdentity22 = {{{{{1, 0}}}, {{{0, 1}}}}};
const bzM33 kIdentity33 = {{{{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}}};
const bzM34 kIdentity34 = {{{{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}, {{{0, 0, 0}}}}};
const bzM33 kIdentity33B = {{{{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}}};

// ---------------------------------------------------------------------------------------------
// The general 3x3 inverse
//
// With the rows (a b c), (d e f), (g h k) the inverse is the adjugate over the split-sign
// determinant: the six triple products p0 = a e k, p1 = b f g, p2 = c d h, p3 = -c e g,
// p4 = -a f h, p5 = -b d k, in that order, each added to a positive sum P when >= 0, else to a
// negative sum N; det = P + N, and P - N (the sum of their magnitudes) measures cancellation.
// All in double, two lanes at a time. A product of two floats is exact in double, so a (e k)
// rounds exactly as (a e) k does, and the two-element products serve both the determinant and
// the adjugate.
//
// Adding each product to its own sum takes a branch per product that no predictor can learn
// for general matrices. So the sums are first taken in the quickest order (Inverse). The
// order only changes rounding, by at most about 10 u (P - N) (u = 2^-53) between any two
// orders of six doubles. When |det| >= 2^-10 (P - N) + 2^-20 that is at most a relative
// 1.3e-12 of det: no singularity test can come out differently (their thresholds, FLT_EPSILON
// and 1e-14, are far below both bounds), and the inverse, before it is rounded to float,
// differs by at most that relative amount, so each element is the same float or its
// neighbour. Any other matrix (near singular, NaN) is summed product by product (ExactSplit),
// exactly as the singularity tests require.
typedef double Lanes __attribute__((vector_size(16)));
typedef int64_t LaneMask __attribute__((vector_size(16)));
typedef float FloatLanes __attribute__((vector_size(16)));
typedef double FourLanes __attribute__((vector_size(32)));

inline Lanes Join(double x, double y)
{
    return Lanes{x, y};
}

// The six triple products, two to a vector: (p2, p0), (-p3, -p4), (p1, p5).
struct Products
{
    Lanes p2p0, n3n4, p1p5;
};

// The adjugate (the inverse times det), named by the place of each element in the output
// (row, column) and paired as computed.
struct Adjugate
{
    Lanes r20r00, r21r01, r22r02, r11r12;
    double r10;
};

struct SplitDet
{
    double det;
    double magnitude; // P - N
};

// The triple products and, when asked, the adjugate of three rows.
template <bool kAdjugate> inline void Analyse(const bzV3 *m, Products *t, Adjugate *adj)
{
    // The nine elements in double, two by two: floats 0-3 and 4-7 of the rows, the last alone.
    FloatLanes first, second;
    memcpy(&first, m, sizeof first);
    memcpy(&second, reinterpret_cast<const unsigned char *>(m) + sizeof first, sizeof second);
    const FourLanes abcd = __builtin_convertvector(first, FourLanes);
    const FourLanes efgh = __builtin_convertvector(second, FourLanes);
    const double k = m[2].z;
    const Lanes ab = __builtin_shufflevector(abcd, abcd, 0, 1);
    const Lanes cd = __builtin_shufflevector(abcd, abcd, 2, 3);
    const Lanes ef = __builtin_shufflevector(efgh, efgh, 0, 1);
    const Lanes gh = __builtin_shufflevector(efgh, efgh, 2, 3);
    const Lanes de = __builtin_shufflevector(cd, ef, 1, 2);
    const Lanes hk = Join(gh[1], k);
    const Lanes ca = __builtin_shufflevector(cd, ab, 0, 2);

    const Lanes dhEk = de * hk;
    const Lanes egFh = ef * gh;
    const Lanes fgDk = __builtin_shufflevector(ef, cd, 1, 3) * Join(gh[0], k);
    t->p2p0 = ca * dhEk;
    t->n3n4 = ca * egFh;
    t->p1p5 = (Lanes)((LaneMask)(Join(ab[1], ab[1]) * fgDk) ^ LaneMask{0, INT64_MIN});

    if (kAdjugate)
    {
        const Lanes bc = __builtin_shufflevector(ab, cd, 1, 2);
        adj->r20r00 = dhEk - egFh;       // (d h - e g, e k - f h)
        adj->r21r01 = bc * gh - ab * hk; // (b g - a h, c h - b k)
        adj->r22r02 = ab * ef - bc * de; // (a e - b d, b f - c e)
        adj->r10 = fgDk[0] - fgDk[1];    // f g - d k
        adj->r11r12 = __builtin_shufflevector(ab, cd, 0, 2) * Join(k, cd[1]) -
                      ca * __builtin_shufflevector(gh, ef, 0, 3); // (a k - c g, c d - a f)
    }
}

// P and N product by product, in order.
inline SplitDet ExactSplit(const Products &t)
{
    const double p[6] = {t.p2p0[1], t.p1p5[0], t.p2p0[0], -t.n3n4[0], -t.n3n4[1], t.p1p5[1]};
    double pos = 0.0, neg = 0.0;
    for (double v : p)
    {
        if (v >= 0.0)
            pos += v;
        else
            neg += v;
    }
    return {pos + neg, pos - neg};
}

// The adjugate over det, stored as floats.
inline void StoreInverse(const Adjugate &adj, double det, bzV3 *out)
{
    const double inv = 1.0 / det;
    const Lanes scale = {inv, inv};
    const Lanes r20r00 = adj.r20r00 * scale, r21r01 = adj.r21r01 * scale;
    const Lanes r22r02 = adj.r22r02 * scale, r11r12 = adj.r11r12 * scale;
    out[0].x = static_cast<float>(r20r00[1]);
    out[0].y = static_cast<float>(r21r01[1]);
    out[0].z = static_cast<float>(r22r02[1]);
    out[1].x = static_cast<float>(adj.r10 * inv);
    out[1].y = static_cast<float>(r11r12[0]);
    out[1].z = static_cast<float>(r11r12[1]);
    out[2].x = static_cast<float>(r20r00[0]);
    out[2].y = static_cast<float>(r21r01[0]);
    out[2].z = static_cast<float>(r22r02[0]);
}

// The flag of bz_M33_Determinant.
inline bool TightlySingular(const SplitDet &s)
{
    return std::fabs(s.det) <= 1e-14 || std::fabs(s.det / s.magnitude) < 1e-14;
}

// What a general inverse tests: nothing; the two tests of bz_InverseM33Into and
// bz_InverseM34Into; the bz_M33_Determinant flag of bz_M34_Invert.
enum class Tests
{
    None,
    TwoTests,
    Flag,
};

// The inverse summed product by product, with the caller's tests reported under its caption.
__attribute__((noinline)) void ExactInverse(const bzV3 *m, bzV3 *out, Tests tests,
                                            const char *caption)
{
    Products t;
    Adjugate adj;
    Analyse<true>(m, &t, &adj);
    const SplitDet s = ExactSplit(t);
    if (tests == Tests::TwoTests)
    {
        if (std::fabs(s.det) <= BZ_EPSILON)
        {
            BZ_SET_ORIGIN();
            bz_ReportError(caption, "matrix has no inverse(1)");
        }
        else if (std::fabs(s.det / s.magnitude) < BZ_EPSILON)
        {
            BZ_SET_ORIGIN();
            bz_ReportError(caption, "matrix has no inverse(2)");
        }
    }
    else if (tests == Tests::Flag && TightlySingular(s))
    {
        BZ_SET_ORIGIN();
        bz_ReportError(caption, "matrix has no inverse(1)");
    }
    StoreInverse(adj, s.det, out);
}

// Lanes i and j of the four lanes of x and y (x's are 0 and 1, y's 2 and 3).
template <int i, int j> inline Lanes Pick(Lanes x, Lanes y)
{
    return __builtin_shufflevector(x, y, i, j);
}

// v with the bits of mask only.
inline Lanes Masked(Lanes v, Lanes mask)
{
    return (Lanes)((LaneMask)v & (LaneMask)mask);
}

// Two floats from p in double.
inline Lanes LoadPair(const float *p)
{
    return (Lanes)_mm_cvtps_pd(
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p))));
}

// Two doubles stored at p as floats.
inline void StorePair(float *p, Lanes v)
{
    _mm_storel_pi(reinterpret_cast<__m64 *>(p), _mm_cvtpd_ps((__m128d)v));
}

// The constants of Inverse, read whole: left to itself the compiler builds each one from
// a scalar constant and a shuffle on every call.
alignas(16) const int64_t kMagnitudeBits[2] = {INT64_MAX, INT64_MAX};
alignas(16) const int64_t kFirstSign[2] = {INT64_MIN, 0};
alignas(16) const double kOnes[2] = {1.0, 1.0};

inline Lanes Constant(const void *p)
{
    const __m128d v = *static_cast<const volatile __m128d *>(p);
    return (Lanes)v;
}

// The inverse of a matrix the quick order turned down, from the rows it had read (the output may
// already have been written over them). Kept out of line, so that the common path stays small.
__attribute__((noinline)) void RedoExactly(Lanes ab, Lanes cd, Lanes ef, Lanes fg, Lanes hk,
                                           bzV3 *out, Tests tests, const char *caption)
{
    // Every lane holds a float exactly.
    bzV3 m[3];
    bz_V3_Set(&m[0], (float)ab[0], (float)ab[1], (float)cd[0]);
    bz_V3_Set(&m[1], (float)cd[1], (float)ef[0], (float)ef[1]);
    bz_V3_Set(&m[2], (float)fg[1], (float)hk[0], (float)hk[1]);
    ExactInverse(m, out, tests, caption);
}

// The general 3x3 inverse of three rows into three rows (which may be the same), its sums
// taken in the quickest order. The nine elements a-k are read as the pairs ab, cd, ef, fg and
// hk, and the output is written as the pairs (0, 1), (2, 3), (5, 6), (7, 8) of its nine floats
// and element 4 alone, each pair of adjugate elements computed together. The inverse is stored
// before the order is checked; when it cannot be trusted, the inverse is computed again.
inline void Inverse(const bzV3 *rows, bzV3 *out, Tests tests, const char *caption)
{
    const float *m = &rows->x;
    const Lanes ab = LoadPair(m), cd = LoadPair(m + 2), ef = LoadPair(m + 4);
    const Lanes fg = LoadPair(m + 5), hk = LoadPair(m + 7);
    const Lanes magnitudeBits = Constant(kMagnitudeBits), firstSign = Constant(kFirstSign);
    const Lanes ones = Constant(kOnes);
    const Lanes ec = Pick<0, 2>(ef, cd), kh = Pick<1, 0>(hk, hk);
    const Lanes fb = Pick<1, 3>(ef, ab), bf = Pick<1, 3>(ab, ef);
    const Lanes ek = Pick<0, 3>(ef, hk), dh = Pick<1, 2>(cd, hk);
    const Lanes ae = Pick<0, 2>(ab, ef), hd = Pick<0, 3>(hk, cd);
    const Lanes ga = Pick<1, 2>(fg, ab), be = Pick<1, 2>(ab, ef);
    const Lanes ad = Pick<0, 3>(ab, cd);

    // The adjugate: (e k - f h, c h - b k), (b f - c e, f g - d k), a k - c g,
    // (c d - a f, d h - e g), (b g - a h, a e - b d).
    const Lanes ekCh = ec * kh, fhBk = hk * fb;
    const Lanes bfFg = fg * bf, ceDk = cd * ek;
    const Lanes bgAe = ga * be, ahBd = ab * hd;
    const Lanes r01 = ekCh - fhBk, r23 = bfFg - ceDk;
    const double r4 = ab[0] * kh[0] - cd[0] * ga[0];
    const Lanes r56 = cd * dh - ae * fg, r78 = bgAe - ahBd;

    // The triple products (p0, p2), (-p4, -p3), (-p5, p1), summed as
    // ((p0 + p4) + p5) + ((p2 + p3) + p1) with det in both lanes, and their magnitudes alike.
    const Lanes t1 = ad * ekCh, t2 = Pick<0, 2>(ahBd, ceDk) * fg;
    const Lanes t3 = Pick<1, 2>(ceDk, bgAe) * bf;
    const Lanes sum = (t1 - t2) + (Lanes)((LaneMask)t3 ^ (LaneMask)firstSign);
    const Lanes size =
        (Masked(t1, magnitudeBits) + Masked(t2, magnitudeBits)) + Masked(t3, magnitudeBits);
    const Lanes det = sum + Pick<1, 0>(sum, sum);
    const Lanes magnitude = size + Pick<1, 0>(size, size);
    const Lanes inv = ones / det;

    float *o = &out->x;
    StorePair(o, r01 * inv);
    StorePair(o + 2, r23 * inv);
    o[4] = static_cast<float>(r4 * inv[0]);
    StorePair(o + 5, r56 * inv);
    StorePair(o + 7, r78 * inv);
    const double absDet = Masked(det, magnitudeBits)[0];
    if (!(absDet >= 0x1p-10 * magnitude[0] + 0x1p-20))
        RedoExactly(ab, cd, ef, fg, hk, out, tests, caption);
}

// out.t = -(t inv) for a 3x4 whose rotation rows already hold the inverse.
void InverseTranslation(const bzV3 *t, bzM34 *out)
{
    const bzV3 p = *t;
    bz_RotateV3Into(out, &out->row[3], &p);
    bz_V3_Negate(&out->row[3]);
}

void SetAxisAngleRows(bzV3 *rows, const bzV3 *unitAxis, float c, float s)
{
    const float x = unitAxis->x, y = unitAxis->y, z = unitAxis->z, k = 1.0f - c;
    bz_V3_Set(&rows[0], k * x * x + c, k * x * y + s * z, k * x * z - s * y);
    bz_V3_Set(&rows[1], k * x * y - s * z, k * y * y + c, k * y * z + s * x);
    bz_V3_Set(&rows[2], k * x * z + s * y, k * y * z - s * x, k * z * z + c);
}

void AxisAngleRows(bzV3 *rows, const bzV3 *axis, float deg)
{
    const float lenSq = bz_V3_LengthSq(axis);
    if (!(lenSq > 0.0f))
    {
        // No axis to turn about.
        for (int i = 0; i < 3; i++)
            rows[i] = kIdentity33.row[i];
        return;
    }
    bzV3 unit;
    bz_V3_ScaleInto(axis, &unit, 1.0f / std::sqrt(lenSq));
    const float r = deg * BZ_DEG_TO_RAD;
    SetAxisAngleRows(rows, &unit, std::cos(r), std::sin(r));
}

void RotationRowsX(bzV3 *rows, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    bz_V3_Set(&rows[0], 1, 0, 0);
    bz_V3_Set(&rows[1], 0, c, s);
    bz_V3_Set(&rows[2], 0, -s, c);
}

void RotationRowsY(bzV3 *rows, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    bz_V3_Set(&rows[0], c, 0, -s);
    bz_V3_Set(&rows[1], 0, 1, 0);
    bz_V3_Set(&rows[2], s, 0, c);
}

void RotationRowsZ(bzV3 *rows, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    bz_V3_Set(&rows[0], c, s, 0);
    bz_V3_Set(&rows[1], -s, c, 0);
    bz_V3_Set(&rows[2], 0, 0, 1);
}

void M44FromRows(bzM44 *m, const bzV3 *rows)
{
    bz_M44_SetIdentity(m);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m->row[i].v[j] = rows[i].v[j];
}

void M22FromAngle(bzM22 *m, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    m->row[0] = bzV2{c, s};
    m->row[1] = bzV2{-s, c};
}

// The linear part of a 2-D transform times another: out = b a.
void Mul22(const bzV2 *a, bzV2 *out, const bzV2 *b)
{
    bzV2 r[2];
    for (int i = 0; i < 2; i++)
    {
        r[i].x = b[i].x * a[0].x + b[i].y * a[1].x;
        r[i].y = b[i].x * a[0].y + b[i].y * a[1].y;
    }
    out[0] = r[0];
    out[1] = r[1];
}

// Frame of bz_M33_FromForwardUp into three rows. exactTest selects the transposed builder's
// degenerate test (|w|^2 exactly 0) over |w| < FLT_EPSILON.
void ForwardUpRows(bzV3 *rows, const bzV3 *dir, const bzV3 *up, bool exactTest)
{
    bzV3 z;
    if (bz_V3_LengthSq(dir) <= BZ_SQ_EPSILON)
        bz_V3_Set(&z, 1.0f, 0.0f, 0.0f);
    else
        bz_V3_NormaliseInto(dir, &z);
    auto degenerate = [exactTest](const bzV3 *w)
    { return exactTest ? bz_V3_LengthSq(w) == 0.0f : bz_V3_Length(w) < BZ_EPSILON; };
    bzV3 w;
    bz_V3_Reject(&z, &w, up);
    if (degenerate(&w))
    {
        // The up hint lies along the direction: use the direction turned a quarter about x.
        bzV3 hint;
        bz_V3_RotateXInto(&z, &hint, 90.0f);
        bz_V3_Reject(&z, &w, &hint);
        if (degenerate(&w))
        {
            // A direction along x is not moved by that turn: turn it about y instead.
            bz_V3_RotateYInto(&z, &hint, 90.0f);
            bz_V3_Reject(&z, &w, &hint);
        }
    }
    bzV3 y;
    bz_V3_NormaliseInto(&w, &y);
    bz_V3_CrossInto(&y, &z, &rows[0]);
    rows[1] = y;
    rows[2] = z;
}

template <class M> void Print(const M *m, int rows)
{
    static const char *const kFormat[4] = {
        "matrix.row[0]  %+03.3f\t%+03.3f\t%+03.3f\n",
        "matrix.row[1]  %+03.3f\t%+03.3f\t%+03.3f\n",
        "matrix.row[2]  %+03.3f\t%+03.3f\t%+03.3f\n",
        "matrix.row[3]  %+03.3f\t%+03.3f\t%+03.3f\n",
    };
    for (int i = 0; i < rows; i++)
        std::printf(kFormat[i], m->row[i].x, m->row[i].y, m->row[i].z);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Rotation-row cores

float bzRows::Determinant(const bzV3 *m, int32_t *flag)
{
    Products t;
    Analyse<false>(m, &t, nullptr);
    const SplitDet s = ExactSplit(t);
    if (flag)
        *flag = TightlySingular(s);
    return static_cast<float>(s.det);
}

float bzRows::DeterminantPlain(const bzV3 *m)
{
    return bz_Det33(m[0].x, m[0].y, m[0].z, m[1].x, m[1].y, m[1].z, m[2].x, m[2].y, m[2].z);
}

void bzRows::InverseSigned(const bzV3 *m, bzV3 *out)
{
    Inverse(m, out, Tests::None, nullptr);
}

void bzRows::Orthonormalise(bzV3 *out, const bzV3 *src)
{
    bzV3 r0, r1, r2;
    bz_V3_NormaliseInto(&src[0], &r0);
    bz_V3_CrossInto(&r0, &src[1], &r2);
    bz_V3_CrossInto(&r2, &r0, &r1);
    bz_V3_NormaliseInto(&r1, &out[1]);
    bz_V3_NormaliseInto(&r2, &out[2]);
    out[0] = r0;
}

void bzRows::NormaliseRows(bzV3 *m)
{
    for (int i = 0; i < 3; i++)
        bz_V3_Normalise(&m[i]);
}

void bzRows::Interpolate(const bzV3 *a, bzV3 *out, const bzV3 *b, float t)
{
    bzM33 ma, mb, r;
    for (int i = 0; i < 3; i++)
    {
        ma.row[i] = a[i];
        mb.row[i] = b[i];
    }
    bzQuat qa, qb, q;
    bz_Quat_FromM33(&ma, &qa);
    bz_Quat_FromM33(&mb, &qb);
    const float u = 1.0f - t;
    for (int i = 0; i < 4; i++)
        q.v[i] = u * qa.v[i] + t * qb.v[i];
    bz_Quat_ToM33(&q, &r);
    for (int i = 0; i < 3; i++)
        out[i] = r.row[i];
}

float bzRows::Pitch(const bzV3 *m)
{
    const bzV3 &z = m[2];
    return bz_ATan2(z.y, std::sqrt(z.x * z.x + z.z * z.z)) * BZ_RAD_TO_DEG;
}

int32_t bzRows::IsIdentity(const bzV3 *m, int32_t rows)
{
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < 3; j++)
        {
            const float want = i == j ? 1.0f : 0.0f;
            if (!(std::fabs(m[i].v[j] - want) < BZ_EPSILON))
                return 0;
        }
    return 1;
}

int32_t bzRows::IsInvalid(const float *elements, int32_t count)
{
    for (int i = 0; i < count; i++)
    {
        uint32_t bits;
        std::memcpy(&bits, &elements[i], sizeof bits);
        if ((bits & 0x7F800000u) == 0x7F800000u)
            return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// 1. Products

void bz_RelativeM34Into(const bzM34 *a, bzM34 *out, const bzM34 *b)
{
    bzM34 r;
    bz_MulM33TransposedInto(a, &r, b);
    bzV3 t;
    bz_V3_SubInto(&b->row[3], &a->row[3], &t);
    bz_M34_InverseRotateV3Into(a, &r.row[3], &t);
    *out = r;
}

void bz_M34_MakeRelative(bzM34 *m, const bzM34 *a)
{
    bz_RelativeM34Into(a, m, m);
}

void bz_MulM44ColumnMajorInto(const bzM44 *a, bzM44 *out, const bzM44 *b)
{
    bzM44 p;
    bz_MulM44Into(a, &p, b);
    bz_TransposeM44Into(&p, out);
}

void bz_M44_PostMul(bzM44 *m, const bzM44 *a)
{
    bz_MulM44Into(a, m, m);
}

void bz_MulM44M34Into(const bzM34 *m34, bzM34 *out, const bzM44 *m44)
{
    bzM34 r;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
        {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++)
                sum += m44->row[i].v[k] * m34->row[k].v[j];
            r.row[i].v[j] = sum;
        }
    *out = r;
}

void bz_MulM34M44ColumnMajorInto(const bzM44 *m44, bzM44 *out, const bzM34 *m34)
{
    bzM44 wide, p;
    bz_M34ToM44(&wide, m34);
    bz_MulM44Into(m44, &p, &wide);
    bz_TransposeM44Into(&p, out);
}

void bz_MulM23Into(const bzM23 *a, bzM23 *out, const bzM23 *b)
{
    bzM23 r;
    Mul22(a->row, r.row, b->row);
    const bzV2 t = b->row[2];
    r.row[2].x = t.x * a->row[0].x + t.y * a->row[1].x + a->row[2].x;
    r.row[2].y = t.x * a->row[0].y + t.y * a->row[1].y + a->row[2].y;
    *out = r;
}

void bz_M23_PostMul(const bzM23 *a, bzM23 *m)
{
    bz_MulM23Into(a, m, m);
}

void bz_M23_PreMul(bzM23 *m, const bzM23 *a)
{
    bz_MulM23Into(m, m, a);
}

void bz_MulM22Into(const bzM22 *a, bzM22 *out, const bzM22 *b)
{
    Mul22(a->row, out->row, b->row);
}

void bz_M22_PostMul(bzM22 *m, const bzM22 *a)
{
    Mul22(a->row, m->row, m->row);
}

void bz_M22_PreMul(bzM22 *m, const bzM22 *a)
{
    Mul22(m->row, m->row, a->row);
}

void bz_M44_MulColumnV4Into(const bzM44 *m, bzV4 *out, const bzV4 *v)
{
    const bzV4 w = *v;
    for (int i = 0; i < 4; i++)
        out->v[i] = m->row[i].x * w.x + m->row[i].y * w.y + m->row[i].z * w.z + m->row[i].w * w.w;
}

// ---------------------------------------------------------------------------------------------
// 2. Construction, copy and conversion

const bzM22 *bz_M22_Identity()
{
    return &kIdentity22;
}

const bzM33 *bz_M33_Identity()
{
    return &kIdentity33;
}

const bzM34 *bz_M34_Identity()
{
    return &kIdentity34;
}

const bzM33 *bz_M33_IdentityB()
{
    return &kIdentity33B;
}

void bz_M22_SetIdentity(bzM22 *m)
{
    *m = kIdentity22;
}

void bz_M23_SetIdentity(bzM23 *m)
{
    *m = bzM23{{{{{1, 0}}}, {{{0, 1}}}, {{{0, 0}}}}};
}

void bz_M23_Translation(bzM23 *m, float x, float y)
{
    bz_M23_SetIdentity(m);
    m->row[2] = bzV2{x, y};
}

void bz_M34_Translation(bzM34 *m, float x, float y, float z)
{
    bz_M34_SetIdentity(m);
    bz_V3_Set(&m->row[3], x, y, z);
}

void bz_M44_Translation(bzM44 *m, float x, float y, float z)
{
    bz_M44_SetIdentity(m);
    bz_M44_SetTranslation(m, x, y, z);
}

void bz_M23_Scaling(bzM23 *m, float sx, float sy)
{
    *m = bzM23{{{{{sx, 0}}}, {{{0, sy}}}, {{{0, 0}}}}};
}

void bz_M33_Scaling(bzM33 *m, float sx, float sy, float sz)
{
    *m = bzM33{{{{{sx, 0, 0}}}, {{{0, sy, 0}}}, {{{0, 0, sz}}}}};
}

void bz_M34_Scaling(bzM34 *m, float sx, float sy, float sz)
{
    *m = bzM34{{{{{sx, 0, 0}}}, {{{0, sy, 0}}}, {{{0, 0, sz}}}, {{{0, 0, 0}}}}};
}

void bz_M44_Scale2(bzM44 *m, float sx, float sy)
{
    bz_M44_SetIdentity(m);
    m->row[0].x = sx;
    m->row[1].y = sy;
}

void bz_PostScale2M44Into(const bzM44 *m, bzM44 *out, float sx, float sy)
{
    bzM44 s;
    bz_M44_Scale2(&s, sx, sy);
    bz_MulM44Into(&s, out, m);
}

void bz_PreScale2M44Into(const bzM44 *m, bzM44 *out, float sx, float sy)
{
    bzM44 s;
    bz_M44_Scale2(&s, sx, sy);
    bz_MulM44Into(m, out, &s);
}

void bz_M33_Set(bzM33 *m, float m00, float m01, float m02, float m10, float m11, float m12,
                float m20, float m21, float m22)
{
    bz_V3_Set(&m->row[0], m00, m01, m02);
    bz_V3_Set(&m->row[1], m10, m11, m12);
    bz_V3_Set(&m->row[2], m20, m21, m22);
}

void bz_M34_Set(bzM34 *m, float m00, float m01, float m02, float m10, float m11, float m12,
                float m20, float m21, float m22, float m30, float m31, float m32)
{
    bz_V3_Set(&m->row[0], m00, m01, m02);
    bz_V3_Set(&m->row[1], m10, m11, m12);
    bz_V3_Set(&m->row[2], m20, m21, m22);
    bz_V3_Set(&m->row[3], m30, m31, m32);
}

void bz_M44_Set(bzM44 *m, float m00, float m01, float m02, float m03, float m10, float m11,
                float m12, float m13, float m20, float m21, float m22, float m23, float m30,
                float m31, float m32, float m33)
{
    bz_V4_Set(&m->row[0], m00, m01, m02, m03);
    bz_V4_Set(&m->row[1], m10, m11, m12, m13);
    bz_V4_Set(&m->row[2], m20, m21, m22, m23);
    bz_V4_Set(&m->row[3], m30, m31, m32, m33);
}

void bz_M33_Zero(bzM33 *m)
{
    *m = bzM33{};
}

void bz_M34_Zero(bzM34 *m)
{
    *m = bzM34{};
}

void bz_M44_Zero(bzM44 *m)
{
    *m = bzM44{};
}

void bz_M34ToM44(bzM44 *out, const bzM34 *m34)
{
    const bzM34 m = *m34;
    for (int i = 0; i < 4; i++)
        bz_V4_Set(&out->row[i], m.row[i].x, m.row[i].y, m.row[i].z, i == 3 ? 1.0f : 0.0f);
}

void bz_M44ToM34(const bzM44 *m44, bzM34 *out)
{
    const bzM44 m = *m44;
    for (int i = 0; i < 4; i++)
        bz_V3_Set(&out->row[i], m.row[i].x, m.row[i].y, m.row[i].z);
}

void bz_V3ToV4(bzV4 *out, const bzV3 *v)
{
    bz_V4_Set(out, v->x, v->y, v->z, 1.0f);
}

void bz_M34_SetTranslation(bzM34 *m, float x, float y, float z)
{
    bz_V3_Set(&m->row[3], x, y, z);
}

void bz_M44_SetTranslation(bzM44 *m, float x, float y, float z)
{
    m->row[3].x = x;
    m->row[3].y = y;
    m->row[3].z = z;
}

void bz_TransposeM44Into(const bzM44 *m, bzM44 *out)
{
    bzM44 r;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            r.row[i].v[j] = m->row[j].v[i];
    *out = r;
}

void bz_M44_Transpose(bzM44 *m)
{
    bz_TransposeM44Into(m, m);
}

// ---------------------------------------------------------------------------------------------
// 3. Translation and scaling

void bz_M34_Translate(bzM34 *m, float x, float y, float z)
{
    m->row[3].x += x;
    m->row[3].y += y;
    m->row[3].z += z;
}

void bz_M23_Translate(bzM23 *m, float x, float y)
{
    m->row[2].x += x;
    m->row[2].y += y;
}

void bz_TranslateM34Into(const bzM34 *m, bzM34 *out, float x, float y, float z)
{
    *out = *m;
    bz_M34_Translate(out, x, y, z);
}

void bz_TranslateM23Into(const bzM23 *m, bzM23 *out, float x, float y)
{
    *out = *m;
    bz_M23_Translate(out, x, y);
}

void bz_M44_TranslateInto(const bzM44 *m, bzM44 *out, float x, float y, float z)
{
    const bzV4 t = m->row[3];
    out->row[3].x = t.x + x;
    out->row[3].y = t.y + y;
    out->row[3].z = t.z + z;
}

void bz_M34_TranslateLocal(bzM34 *m, float x, float y, float z)
{
    for (int j = 0; j < 3; j++)
        m->row[3].v[j] += x * m->row[0].v[j] + y * m->row[1].v[j] + z * m->row[2].v[j];
}

void bz_M23_TranslateLocal(bzM23 *m, float x, float y)
{
    m->row[2].x += x * m->row[0].x + y * m->row[1].x;
    m->row[2].y += x * m->row[0].y + y * m->row[1].y;
}

void bz_TranslateLocalM34Into(const bzM34 *m, bzM34 *out, float x, float y, float z)
{
    *out = *m;
    bz_M34_TranslateLocal(out, x, y, z);
}

void bz_TranslateLocalM23Into(const bzM23 *m, bzM23 *out, float x, float y)
{
    const bzM23 s = *m;
    out->row[2].x = x * s.row[0].x + y * s.row[1].x + s.row[2].x;
    out->row[2].y = x * s.row[0].y + y * s.row[1].y + s.row[2].y;
}

void bz_M34_AboutPivot(bzM34 *m, const bzV3 *p)
{
    const bzV3 q = *p;
    bz_M34_TranslateLocal(m, -q.x, -q.y, -q.z);
    bz_M34_Translate(m, q.x, q.y, q.z);
}

void bz_M23_AboutPivot(bzM23 *m, const bzV2 *p)
{
    const bzV2 q = *p;
    bz_M23_TranslateLocal(m, -q.x, -q.y);
    bz_M23_Translate(m, q.x, q.y);
}

void bz_M33_ScaleColumns(bzM33 *m, float sx, float sy, float sz)
{
    bz_ScaleColumnsM33Into(m, m, sx, sy, sz);
}

void bz_ScaleColumnsM33Into(const bzM33 *m, bzM33 *out, float sx, float sy, float sz)
{
    for (int i = 0; i < 3; i++)
        bz_V3_Set(&out->row[i], m->row[i].x * sx, m->row[i].y * sy, m->row[i].z * sz);
}

void bz_M33_ScaleRows(bzM33 *m, float sx, float sy, float sz)
{
    bz_ScaleRowsM33Into(m, m, sx, sy, sz);
}

void bz_ScaleRowsM33Into(const bzM33 *m, bzM33 *out, float sx, float sy, float sz)
{
    bz_V3_ScaleInto(&m->row[0], &out->row[0], sx);
    bz_V3_ScaleInto(&m->row[1], &out->row[1], sy);
    bz_V3_ScaleInto(&m->row[2], &out->row[2], sz);
}

void bz_M34_ScaleColumns(bzM34 *m, float sx, float sy, float sz)
{
    bz_ScaleColumnsM34Into(m, m, sx, sy, sz);
}

void bz_ScaleColumnsM34Into(const bzM34 *m, bzM34 *out, float sx, float sy, float sz)
{
    for (int i = 0; i < 4; i++)
        bz_V3_Set(&out->row[i], m->row[i].x * sx, m->row[i].y * sy, m->row[i].z * sz);
}

void bz_M34_ScaleRows(bzM34 *m, float sx, float sy, float sz)
{
    bz_ScaleRowsM34Into(m, m, sx, sy, sz);
}

void bz_ScaleRowsM34Into(const bzM34 *m, bzM34 *out, float sx, float sy, float sz)
{
    bz_V3_ScaleInto(&m->row[0], &out->row[0], sx);
    bz_V3_ScaleInto(&m->row[1], &out->row[1], sy);
    bz_V3_ScaleInto(&m->row[2], &out->row[2], sz);
    out->row[3] = m->row[3];
}

void bz_M22_ScaleColumns(bzM22 *m, float sx, float sy)
{
    bz_ScaleColumnsM22Into(m, m, sx, sy);
}

void bz_M22_ScaleRows(bzM22 *m, float sx, float sy)
{
    bz_ScaleRowsM22Into(m, m, sx, sy);
}

void bz_M23_ScaleRows(bzM23 *m, float sx, float sy)
{
    bz_V2_Scale(&m->row[0], sx);
    bz_V2_Scale(&m->row[1], sy);
}

void bz_ScaleColumnsM22Into(const bzM22 *m, bzM22 *out, float sx, float sy)
{
    for (int i = 0; i < 2; i++)
        out->row[i] = bzV2{m->row[i].x * sx, m->row[i].y * sy};
}

void bz_ScaleRowsM22Into(const bzM22 *m, bzM22 *out, float sx, float sy)
{
    bz_V2_ScaleInto(&m->row[0], &out->row[0], sx);
    bz_V2_ScaleInto(&m->row[1], &out->row[1], sy);
}

void bz_ScaleColumnsM23Into(const bzM23 *m, bzM23 *out, float sx, float sy)
{
    for (int i = 0; i < 3; i++)
        out->row[i] = bzV2{m->row[i].x * sx, m->row[i].y * sy};
}

void bz_ScaleRowsM23Into(const bzM23 *m, bzM23 *out, float sx, float sy)
{
    bz_V2_ScaleInto(&m->row[0], &out->row[0], sx);
    bz_V2_ScaleInto(&m->row[1], &out->row[1], sy);
    out->row[2] = m->row[2];
}

// ---------------------------------------------------------------------------------------------
// 4. Rotations

void bz_M33_RotationX(bzM33 *m, float deg)
{
    RotationRowsX(m->row, deg);
}

void bz_M33_RotationY(bzM33 *m, float deg)
{
    RotationRowsY(m->row, deg);
}

void bz_M33_RotationZ(bzM33 *m, float deg)
{
    RotationRowsZ(m->row, deg);
}

void bz_M34_RotationX(bzM34 *m, float deg)
{
    RotationRowsX(m->row, deg);
    bz_V3_Set(&m->row[3], 0, 0, 0);
}

void bz_M34_RotationY(bzM34 *m, float deg)
{
    RotationRowsY(m->row, deg);
    bz_V3_Set(&m->row[3], 0, 0, 0);
}

void bz_M34_RotationZ(bzM34 *m, float deg)
{
    RotationRowsZ(m->row, deg);
    bz_V3_Set(&m->row[3], 0, 0, 0);
}

void bz_M44_RotationX(bzM44 *m, float deg)
{
    bzV3 r[3];
    RotationRowsX(r, deg);
    M44FromRows(m, r);
}

void bz_M44_RotationY(bzM44 *m, float deg)
{
    bzV3 r[3];
    RotationRowsY(r, deg);
    M44FromRows(m, r);
}

void bz_M44_RotationZ(bzM44 *m, float deg)
{
    bzV3 r[3];
    RotationRowsZ(r, deg);
    M44FromRows(m, r);
}

void bz_M22_Rotation(bzM22 *m, float deg)
{
    M22FromAngle(m, deg);
}

void bz_M23_Rotation(bzM23 *m, float deg)
{
    bzM22 r;
    M22FromAngle(&r, deg);
    m->row[0] = r.row[0];
    m->row[1] = r.row[1];
    m->row[2] = bzV2{0.0f, 0.0f};
}

void bz_M23_RotationAbout(bzM23 *m, const bzV2 *pivot, float deg)
{
    const bzV2 p = *pivot;
    bz_M23_Rotation(m, deg);
    bzV2 pr;
    bz_M23_RotateV2Into(m, &pr, &p);
    m->row[2] = bzV2{p.x - pr.x, p.y - pr.y};
}

void bz_M33_FromAxisAngle(bzM33 *m, const bzV3 *axis, float deg)
{
    AxisAngleRows(m->row, axis, deg);
}

void bz_M34_FromAxisAngle(bzM34 *m, const bzV3 *axis, float deg)
{
    AxisAngleRows(m->row, axis, deg);
    bz_V3_Set(&m->row[3], 0, 0, 0);
}

void bz_M34_FromAxisAngleAbout(bzM34 *m, const bzV3 *pivot, const bzV3 *axis, float deg)
{
    bz_M34_FromAxisAngle(m, axis, deg);
    bz_M34_AboutPivot(m, pivot);
}

void bz_M33_FromEulerXYZ(bzM33 *m, float ax, float ay, float az)
{
    bzM33 rx, ry, rz;
    bz_M33_RotationX(&rx, ax);
    bz_M33_RotationY(&ry, ay);
    bz_M33_RotationZ(&rz, az);
    bz_M33_PostMul(&rx, &ry);
    bz_MulM33Into(&rz, m, &rx);
}

void bz_M34_FromEulerXYZ(bzM34 *m, float ax, float ay, float az)
{
    bzM33 r;
    bz_M33_FromEulerXYZ(&r, ax, ay, az);
    bz_M33_Copy(&r, m);
    bz_V3_Set(&m->row[3], 0, 0, 0);
}

// The rotation family: R is the axis rotation of the matrix's own type; Pre gives R m, Post m R.
#define BZ_ROTATION_FAMILY(Type, Axis, Builder, Mul)                                               \
    void bz_PreRotate##Axis##Type##Into(const bz##Type *m, bz##Type *out, float deg)               \
    {                                                                                              \
        bz##Type r;                                                                                \
        Builder(&r, deg);                                                                          \
        Mul(m, out, &r);                                                                           \
    }                                                                                              \
    void bz_PostRotate##Axis##Type##Into(const bz##Type *m, bz##Type *out, float deg)              \
    {                                                                                              \
        bz##Type r;                                                                                \
        Builder(&r, deg);                                                                          \
        Mul(&r, out, m);                                                                           \
    }
#define BZ_ROTATION_IN_PLACE(Type, Axis)                                                           \
    void bz_##Type##_PreRotate##Axis(bz##Type *m, float deg)                                       \
    {                                                                                              \
        bz_PreRotate##Axis##Type##Into(m, m, deg);                                                 \
    }                                                                                              \
    void bz_##Type##_PostRotate##Axis(bz##Type *m, float deg)                                      \
    {                                                                                              \
        bz_PostRotate##Axis##Type##Into(m, m, deg);                                                \
    }

BZ_ROTATION_FAMILY(M34, X, bz_M34_RotationX, bz_MulM34Into)
BZ_ROTATION_FAMILY(M34, Y, bz_M34_RotationY, bz_MulM34Into)
BZ_ROTATION_FAMILY(M34, Z, bz_M34_RotationZ, bz_MulM34Into)
BZ_ROTATION_FAMILY(M33, X, bz_M33_RotationX, bz_MulM33Into)
BZ_ROTATION_FAMILY(M33, Y, bz_M33_RotationY, bz_MulM33Into)
BZ_ROTATION_FAMILY(M33, Z, bz_M33_RotationZ, bz_MulM33Into)
BZ_ROTATION_FAMILY(M44, X, bz_M44_RotationX, bz_MulM44Into)
BZ_ROTATION_FAMILY(M44, Y, bz_M44_RotationY, bz_MulM44Into)
BZ_ROTATION_FAMILY(M44, Z, bz_M44_RotationZ, bz_MulM44Into)
BZ_ROTATION_FAMILY(M22, Z, bz_M22_Rotation, bz_MulM22Into)
BZ_ROTATION_IN_PLACE(M34, X)
BZ_ROTATION_IN_PLACE(M34, Y)
BZ_ROTATION_IN_PLACE(M34, Z)
BZ_ROTATION_IN_PLACE(M33, X)
BZ_ROTATION_IN_PLACE(M33, Y)
BZ_ROTATION_IN_PLACE(M33, Z)
BZ_ROTATION_IN_PLACE(M22, Z)
#undef BZ_ROTATION_FAMILY
#undef BZ_ROTATION_IN_PLACE

void bz_PreRotateZM23Into(const bzM23 *m, bzM23 *out, float deg)
{
    bzM22 r;
    M22FromAngle(&r, deg);
    const bzV2 t = m->row[2];
    Mul22(m->row, out->row, r.row);
    out->row[2] = t;
}

void bz_PreRotateAxisM33Into(const bzM33 *m, bzM33 *out, const bzV3 *axis, float deg)
{
    bzM33 r;
    bz_M33_FromAxisAngle(&r, axis, deg);
    bz_MulM33Into(m, out, &r);
}

void bz_PostRotateAxisM33Into(const bzM33 *m, bzM33 *out, const bzV3 *axis, float deg)
{
    bzM33 r;
    bz_M33_FromAxisAngle(&r, axis, deg);
    bz_MulM33Into(&r, out, m);
}

void bz_M33_PreRotateAxis(bzM33 *m, const bzV3 *axis, float deg)
{
    bz_PreRotateAxisM33Into(m, m, axis, deg);
}

void bz_M33_PostRotateAxis(bzM33 *m, const bzV3 *axis, float deg)
{
    bz_PostRotateAxisM33Into(m, m, axis, deg);
}

void bz_PreRotateAxisM34Into(const bzM34 *m, bzM34 *out, const bzV3 *axis, float deg)
{
    bzM34 r;
    bz_M34_FromAxisAngle(&r, axis, deg);
    bz_MulM34Into(m, out, &r);
}

void bz_PostRotateAxisM34Into(const bzM34 *m, bzM34 *out, const bzV3 *axis, float deg)
{
    bzM34 r;
    bz_M34_FromAxisAngle(&r, axis, deg);
    bz_MulM34Into(&r, out, m);
}

void bz_M34_PreRotateAxis(bzM34 *m, const bzV3 *axis, float deg)
{
    bzM34 r;
    bz_M34_FromAxisAngle(&r, axis, deg);
    bz_M34_PreMul(m, &r);
}

void bz_M34_PostRotateAxis(bzM34 *m, const bzV3 *axis, float deg)
{
    bzM34 r;
    bz_M34_FromAxisAngle(&r, axis, deg);
    bz_M34_PostMul(m, &r);
}

// ---------------------------------------------------------------------------------------------
// 5. Reflections

void bz_M33_Reflection(const bzV3 *n, bzM33 *out)
{
    const float x = n->x, y = n->y, z = n->z;
    bz_V3_Set(&out->row[0], 1.0f - 2.0f * x * x, -2.0f * x * y, -2.0f * x * z);
    bz_V3_Set(&out->row[1], -2.0f * x * y, 1.0f - 2.0f * y * y, -2.0f * y * z);
    bz_V3_Set(&out->row[2], -2.0f * x * z, -2.0f * y * z, 1.0f - 2.0f * z * z);
}

void bz_M34_Reflection(const bzPlane *plane, bzM34 *out)
{
    const bzPlane p = *plane;
    bzM33 r;
    bz_M33_Reflection(&p.n, &r);
    bz_M33_Copy(&r, out);
    bz_V3_ScaleInto(&p.n, &out->row[3], 2.0f * p.d);
}

void bz_M22_Reflection(const bzV2 *n, bzM22 *out)
{
    const float x = n->x, y = n->y;
    out->row[0] = bzV2{1.0f - 2.0f * x * x, -2.0f * x * y};
    out->row[1] = bzV2{-2.0f * x * y, 1.0f - 2.0f * y * y};
}

void bz_M23_Reflection(const bzV3 *line, bzM23 *out)
{
    const bzV3 l = *line;
    const bzV2 n = {l.x, l.y};
    bzM22 r;
    bz_M22_Reflection(&n, &r);
    out->row[0] = r.row[0];
    out->row[1] = r.row[1];
    out->row[2] = bzV2{-2.0f * l.z * l.x, -2.0f * l.z * l.y};
}

void bz_PreReflectM23Into(const bzM23 *m, bzM23 *out, const bzV3 *line)
{
    bzM23 r;
    bz_M23_Reflection(line, &r);
    bz_MulM23Into(m, out, &r);
}

void bz_PostReflectM23Into(const bzM23 *m, bzM23 *out, const bzV3 *line)
{
    bzM23 r;
    bz_M23_Reflection(line, &r);
    bz_MulM23Into(&r, out, m);
}

void bz_M23_PreReflect(bzM23 *m, const bzV3 *line)
{
    bz_PreReflectM23Into(m, m, line);
}

void bz_PreReflectM22Into(const bzM22 *m, bzM22 *out, const bzV2 *n)
{
    bzM22 r;
    bz_M22_Reflection(n, &r);
    bz_MulM22Into(m, out, &r);
}

void bz_PostReflectM22Into(const bzM22 *m, bzM22 *out, const bzV2 *n)
{
    bzM22 r;
    bz_M22_Reflection(n, &r);
    bz_MulM22Into(&r, out, m);
}

void bz_M22_PreReflect(bzM22 *m, const bzV2 *n)
{
    bz_PreReflectM22Into(m, m, n);
}

void bz_M22_PostReflect(bzM22 *m, const bzV2 *n)
{
    bz_PostReflectM22Into(m, m, n);
}

// ---------------------------------------------------------------------------------------------
// 6. Inverses and determinants

void bz_InverseM33Into(const bzM33 *m, bzM33 *out)
{
    Inverse(m->row, out->row, Tests::TwoTests, "bz_InverseM33Into");
}

void bz_InverseM34Into(const bzM34 *m, bzM34 *out)
{
    const bzV3 t = m->row[3];
    Inverse(m->row, out->row, Tests::TwoTests, "bz_InverseM34Into");
    InverseTranslation(&t, out);
}

void bz_M34_Invert(const bzM34 *m, bzM34 *out)
{
    const bzV3 t = m->row[3];
    Inverse(m->row, out->row, Tests::Flag, "bz_M34_Invert");
    InverseTranslation(&t, out);
}

void bz_M34_RelativePair(const bzM34 *a, const bzM34 *b, bzM34 *relOut, bzM34 *invOut)
{
    bzM34 rel, inv;
    if (!a && !b)
    {
        rel = kIdentity34;
        inv = kIdentity34;
    }
    else if (!b)
    {
        bz_M34_Invert(a, &rel);
        inv = *a;
    }
    else if (!a)
    {
        rel = *b;
        bz_M34_Invert(b, &inv);
    }
    else
    {
        bzM34 aInv;
        bz_M34_Invert(a, &aInv);
        bz_MulM34Into(&aInv, &rel, b);
        bz_M34_Invert(&rel, &inv);
    }
    if (relOut)
        *relOut = rel;
    if (invOut)
        *invOut = inv;
}

namespace
{
struct Adjugate44
{
    double adj[4][4];
    double det;
};

Adjugate44 Adjugate(const bzM44 *m)
{
    double a[4][4];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            a[i][j] = m->row[i].v[j];
    const double s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const double s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const double s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const double s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const double s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const double s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const double c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    const double c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const double c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const double c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const double c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const double c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    Adjugate44 r;
    r.adj[0][0] = a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3;
    r.adj[0][1] = -a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3;
    r.adj[0][2] = a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3;
    r.adj[0][3] = -a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3;
    r.adj[1][0] = -a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1;
    r.adj[1][1] = a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1;
    r.adj[1][2] = -a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1;
    r.adj[1][3] = a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1;
    r.adj[2][0] = a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0;
    r.adj[2][1] = -a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0;
    r.adj[2][2] = a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0;
    r.adj[2][3] = -a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0;
    r.adj[3][0] = -a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0;
    r.adj[3][1] = a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0;
    r.adj[3][2] = -a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0;
    r.adj[3][3] = a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0;
    r.det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    return r;
}
} // namespace

void bz_M44_Adjugate(const bzM44 *m, bzM44 *out)
{
    const Adjugate44 r = Adjugate(m);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            out->row[i].v[j] = static_cast<float>(r.adj[i][j]);
}

float bz_M44_Determinant(const bzM44 *m)
{
    return static_cast<float>(Adjugate(m).det);
}

void bz_InverseM44Into(const bzM44 *m, bzM44 *out)
{
    const Adjugate44 r = Adjugate(m);
    const double inv = 1.0 / r.det;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            out->row[i].v[j] = static_cast<float>(r.adj[i][j] * inv);
}

void bz_M44_Invert(bzM44 *m)
{
    bz_InverseM44Into(m, m);
}

void bz_InverseM34RotationIntoM33(const bzM34 *m, bzM33 *out)
{
    bzM44 wide, inv;
    bz_M34ToM44(&wide, m);
    bz_InverseM44Into(&wide, &inv);
    for (int i = 0; i < 3; i++)
        bz_V3_Set(&out->row[i], inv.row[i].x, inv.row[i].y, inv.row[i].z);
}

namespace
{
int32_t Inverse22(const bzV2 *m, bzV2 *out)
{
    const float det = m[0].x * m[1].y - m[0].y * m[1].x;
    if (!(det >= BZ_EPSILON))
        return 1;
    const float inv = 1.0f / det;
    const bzV2 r0 = {m[1].y * inv, -m[0].y * inv};
    const bzV2 r1 = {-m[1].x * inv, m[0].x * inv};
    out[0] = r0;
    out[1] = r1;
    return 0;
}
} // namespace

int32_t bz_InverseM23Into(const bzM23 *m, bzM23 *out)
{
    const bzV2 t = m->row[2];
    bzV2 lin[2];
    if (Inverse22(m->row, lin))
        return 1;
    out->row[0] = lin[0];
    out->row[1] = lin[1];
    out->row[2] = bzV2{-(t.x * lin[0].x + t.y * lin[1].x), -(t.x * lin[0].y + t.y * lin[1].y)};
    return 0;
}

int32_t bz_InverseM22Into(const bzM22 *m, bzM22 *out)
{
    return Inverse22(m->row, out->row);
}

float bz_Det33(float m00, float m01, float m02, float m10, float m11, float m12, float m20,
               float m21, float m22)
{
    return m00 * (m11 * m22 - m12 * m21) - m01 * (m10 * m22 - m12 * m20) +
           m02 * (m10 * m21 - m11 * m20);
}

float bz_M22_Determinant(const bzM22 *m)
{
    return bz_Det22(m->row[0].x, m->row[0].y, m->row[1].x, m->row[1].y);
}

// ---------------------------------------------------------------------------------------------
// 7. Orthonormal frames and tests

void bz_OrthonormaliseM34Into(bzM34 *out, const bzM34 *src)
{
    const bzV3 t = src->row[3];
    bzRows::Orthonormalise(out->row, src->row);
    out->row[3] = t;
}

void bz_NormaliseRowsM33Into(const bzM33 *m, bzM33 *out)
{
    for (int i = 0; i < 3; i++)
        bz_V3_NormaliseInto(&m->row[i], &out->row[i]);
}

void bz_NormaliseRowsM34Into(const bzM34 *m, bzM34 *out)
{
    for (int i = 0; i < 3; i++)
        bz_V3_NormaliseInto(&m->row[i], &out->row[i]);
    out->row[3] = m->row[3];
}

void bz_M33_OrthoResidualInto(const bzM33 *src, bzM33 *out, bzM33 *ortho)
{
    const bzM33 s = *src;
    bz_M33_Orthonormalise(ortho, &s);
    bz_MulM33TransposedInto(ortho, out, &s);
}

void bz_M33_FromTwoVectors(const bzV3 *a, const bzV3 *b, bzM33 *out, int32_t unitFlag)
{
    bzV3 cross;
    bz_V3_CrossInto(a, b, &cross);
    const float len = bz_V3_Length(&cross);
    float sine = len, cosine = bz_V3_Dot(a, b);
    if (!unitFlag)
    {
        const float scale = bz_V3_Length(a) * bz_V3_Length(b);
        if (!(scale > 0.0f))
        {
            // A zero vector turns onto nothing.
            *out = kIdentity33;
            return;
        }
        sine /= scale;
        cosine /= scale;
    }
    bzV3 axis;
    if (len < BZ_EPSILON)
        bz_V3_Set(&axis, 0.0f, 1.0f, 0.0f);
    else
        bz_V3_ScaleInto(&cross, &axis, 1.0f / len);
    SetAxisAngleRows(out->row, &axis, cosine, sine);
}

void bz_M33_FromForwardUp(bzM33 *m, const bzV3 *dir, const bzV3 *up)
{
    ForwardUpRows(m->row, dir, up, false);
}

void bz_M34_FromForwardUp(bzM34 *m, const bzV3 *dir, const bzV3 *up, int32_t clearFlag)
{
    ForwardUpRows(m->row, dir, up, false);
    if (clearFlag)
        bz_V3_Set(&m->row[3], 0.0f, 0.0f, 0.0f);
}

void bz_M34_FromForwardUpTransposed(bzM34 *out, const bzV3 *dir, const bzV3 *up)
{
    bzV3 rows[3];
    ForwardUpRows(rows, dir, up, true);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out->row[i].v[j] = rows[j].v[i];
    bz_V3_Set(&out->row[3], 0.0f, 0.0f, 0.0f);
}

void bz_M33_LookAt(bzM33 *m, const bzV3 *target, const bzV3 *eye, float rollDeg)
{
    bzV3 dir;
    bz_V3_SubInto(target, eye, &dir);
    const bzV3 up = {0.0f, 1.0f, 0.0f};
    bz_M33_FromForwardUp(m, &dir, &up);
    if (rollDeg != 0.0f)
        bz_M33_PreRotateZ(m, rollDeg);
}

void bz_M34_LookAt(bzM34 *m, const bzV3 *target, const bzV3 *eye, float rollDeg,
                   int32_t setPosition)
{
    const bzV3 e = *eye;
    bzM33 r;
    bz_M33_LookAt(&r, target, &e, rollDeg);
    bz_M33_Copy(&r, m);
    if (setPosition)
        m->row[3] = e;
}

// ---------------------------------------------------------------------------------------------
// 9. Debug output

void bz_M34_Print(const bzM34 *m)
{
    Print(m, 4);
}

void bz_M33_Print(const bzM33 *m)
{
    Print(m, 3);
}
