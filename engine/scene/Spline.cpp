// The spline record, its knot list, segment coefficients, arc lengths and evaluation.
#include "scene/Spline.h"

#include "core/Memory.h"
#include "maths/Approx.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Lump.h"

#include <cfloat>
#include <cmath>

namespace
{
int32_t gKnotPool;    // 0 until the first knot is taken
int32_t gLengthDepth; // nesting of the arc-length subdivision
bool gLumpHooksReady; // SPLINE lumps free their spline at destroy

constexpr int32_t kKnotsPerBlock = 64;
constexpr int32_t kLengthDepthLimit = 14;
constexpr int32_t kNewtonSteps = 10;

// The Hermite basis: coefficient rows a, b, c, d from the rows P0, P1, T0, T1.
const bzM44 kHermiteBasis = {
    {{{{2, -2, 1, 1}}}, {{{-3, 3, -2, -1}}}, {{{0, 0, 1, 0}}}, {{{1, 0, 0, 0}}}}};

void ReleaseSplineOfLump(bzLump *, void *object)
{
    bz_Spline_Destroy(static_cast<bzSpline *>(object));
}

void InstallLumpHooks()
{
    if (gLumpHooksReady)
        return;
    const bzLumpObjectHooks hooks = {nullptr, ReleaseSplineOfLump, nullptr, nullptr, nullptr};
    bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_SPLINE, &hooks);
    gLumpHooksReady = true;
}

// A cleared knot from the pool; null with the memory status 97 and last-error 14 when the
// pool cannot be made or grown.
bzKnot *NewKnot()
{
    if (!gKnotPool)
    {
        gKnotPool = bz_Pool_Create(sizeof(bzKnot), kKnotsPerBlock, 1, 0);
        if (!gKnotPool)
        {
            bzgMemStatus = BZ_MEM_POOL_GROW;
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    return static_cast<bzKnot *>(bz_Pool_Alloc(gKnotPool, BZ_MEM_CLEAR));
}

void FreeKnot(bzKnot *knot)
{
    if (gKnotPool)
        bz_Pool_FreeElement(gKnotPool, knot);
}

// Segments of a spline of n knots.
int32_t SegmentsFor(int32_t knots, uint32_t closed)
{
    if (knots < 2)
        return 0;
    return closed ? knots : knots - 1;
}

void Cubic(const bzKnot *k, float t, bzV3 *out)
{
    const float t2 = t * t, t3 = t2 * t;
    for (int i = 0; i < 3; i++)
        out->v[i] = k->a.v[i] * t3 + k->b.v[i] * t2 + k->c.v[i] * t + k->d.v[i];
}

void CubicDerivative(const bzKnot *k, float t, bzV3 *out)
{
    for (int i = 0; i < 3; i++)
        out->v[i] = 3.0f * k->a.v[i] * t * t + 2.0f * k->b.v[i] * t + k->c.v[i];
}

// Points and thirds of the derivative at the ends of a span.
struct SpanEnd
{
    float t;
    bzV3 p;
    bzV3 d;
};

SpanEnd EndAt(const bzKnot *k, float t)
{
    SpanEnd e;
    e.t = t;
    Cubic(k, t, &e.p);
    CubicDerivative(k, t, &e.d);
    for (float &c : e.d.v)
        c /= 3.0f;
    return e;
}

// Chord against control polygon, halving the span until they agree within the tolerance; the
// 15th nested level contributes nothing.
float Estimate(const bzKnot *k, const SpanEnd &e0, const SpanEnd &e1, float tolerance)
{
    if (++gLengthDepth > kLengthDepthLimit)
    {
        gLengthDepth--;
        return 0.0f;
    }
    const float h = e1.t - e0.t;
    bzV3 chordV;
    bz_V3_SubInto(&e1.p, &e0.p, &chordV);
    const float chord = bz_V3_Length(&chordV);
    bzV3 middle;
    bz_V3_AddInto(&e0.d, &e1.d, &middle);
    bz_V3_Scale(&middle, h);
    bz_V3_Sub(&middle, &chordV);
    const float polygon = bz_V3_Length(&e0.d) * h + bz_V3_Length(&middle) + bz_V3_Length(&e1.d) * h;
    float result;
    if (polygon - chord < tolerance)
        result = (polygon + chord) * 0.5f;
    else
    {
        const SpanEnd em = EndAt(k, (e0.t + e1.t) * 0.5f);
        const float right = Estimate(k, em, e1, tolerance);
        result = right + Estimate(k, e0, em, tolerance);
    }
    gLengthDepth--;
    return result;
}

// Coefficients and length of the segment from the knot to its next.
void RecomputeSegment(bzKnot *k)
{
    const bzKnot *n = k->next;
    bzM34 geometry;
    geometry.row[0] = k->position;
    geometry.row[1] = n->position;
    geometry.row[2] = k->out;
    geometry.row[3] = n->in;
    bzM34 coefficients;
    bz_MulM44M34Into(&geometry, &coefficients, &kHermiteBasis);
    k->a = coefficients.row[0];
    k->b = coefficients.row[1];
    k->c = coefficients.row[2];
    k->d = coefficients.row[3];
    k->length = bz_Spline_SegmentLength(k, 0.0f, 1.0f, BZ_SPLINE_TOLERANCE);
}

void RecomputeTotal(bzSpline *spline)
{
    float total = 0.0f;
    const bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->segmentCount; i++, k = k->next)
        total += k->length;
    spline->totalLength = total;
}

// Segment and local parameter of a global parameter.
const bzKnot *Locate(const bzSpline *spline, float u, float *t)
{
    const float x = static_cast<float>(spline->segmentCount) * u;
    const float whole = std::trunc(x);
    *t = x - whole;
    int32_t n = 0;
    if (whole >= static_cast<float>(spline->segmentCount))
        n = spline->segmentCount;
    else if (whole > 0.0f)
        n = static_cast<int32_t>(whole);
    else if (whole < 0.0f)
        n = whole > -static_cast<float>(INT32_MAX) ? static_cast<int32_t>(whole) : 0;
    return bz_Spline_GetKnot(spline, n);
}

float LocalParamAtDistance(const bzKnot *k, float s, float tolerance)
{
    if (!(k->length > 0.0f))
        return 0.0f;
    float t = s / k->length;
    for (int32_t step = 0; step < kNewtonSteps; step++)
    {
        const float f = bz_Spline_SegmentLength(k, 0.0f, t, tolerance * 0.5f) - s;
        if (std::fabs(f) < tolerance * 0.5f)
            break;
        bzV3 d;
        CubicDerivative(k, t, &d);
        const float speed = bz_V3_Length(&d);
        if (!(speed > 0.0f))
            break;
        t -= f / speed;
    }
    return t;
}

bool IsZero(const bzV3 &v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// The tangent at the end knot of the circular arc that the neighbour's tangent starts; false
// (nothing written) when the neighbour lies on the end knot, the tangent is 0 or points along
// the chord.
bool EndTangent(const bzKnot *neighbour, const bzV3 &tangent, const bzKnot *end, bzV3 *out)
{
    bzV3 d;
    bz_V3_SubInto(&neighbour->position, &end->position, &d);
    const float dLength = bz_V3_Length(&d);
    const float tLength = bz_V3_Length(&tangent);
    if (dLength < FLT_EPSILON || tLength < FLT_EPSILON)
        return false;
    bzV3 axis;
    bz_V3_CrossInto(&d, &tangent, &axis);
    if (bz_V3_Length(&axis) < FLT_EPSILON)
        return false;
    bz_V3_Normalise(&axis);
    float cosine = bz_V3_Dot(&d, &tangent) / (dLength * tLength);
    cosine = cosine > 1.0f ? 1.0f : (cosine < -1.0f ? -1.0f : cosine);
    const float theta = bz_ACos(cosine) * BZ_RAD_TO_DEG;
    const float sine = bz_SinDeg(theta);
    if (!(std::fabs(sine) > 0.0f))
        return false;
    bzV3 scaled;
    bz_V3_ScaleInto(&tangent, &scaled, (dLength / sine) * 0.5f * theta * 0.034906585f / tLength);
    // The chord lies theta past the neighbour's tangent; the end's tangent lies theta before
    // the chord: the tangent turned back by 2 theta about the axis.
    bzM33 turn;
    bz_M33_FromAxisAngle(&turn, &axis, 2.0f * theta);
    bz_M33_InverseRotateV3Into(&turn, out, &scaled);
    return true;
}
} // namespace

bzSpline *bz_Spline_Create()
{
    InstallLumpHooks();
    bzSpline *spline = static_cast<bzSpline *>(bz_MemAlloc(sizeof(bzSpline), BZ_MEM_CLEAR));
    if (!spline)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    spline->samplesPerUnit = 3.0f;
    spline->colour = 0xFFFFFFFFu;
    return spline;
}

void bz_Spline_Destroy(bzSpline *spline)
{
    if (!spline)
        return;
    bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++)
    {
        bzKnot *next = k->next;
        FreeKnot(k);
        k = next;
    }
    bz_MemFree(spline);
}

void bz_Spline_DestroyKnotPool()
{
    if (gKnotPool)
        bz_Pool_Destroy(gKnotPool);
    gKnotPool = 0;
}

bzErrorCode bz_Spline_InsertKnot(const bzV3 *position, int32_t index, bzSpline *spline,
                                 const bzV3 *in, const bzV3 *out)
{
    if (!spline)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    bzKnot *k = NewKnot();
    if (!k)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    if (position)
        k->position = *position;
    if (!in)
        in = out;
    if (!out)
        out = in;
    if (in)
    {
        k->in = *in;
        k->out = *out;
    }
    if (!spline->first)
    {
        k->next = k;
        k->previous = k;
        spline->first = k;
    }
    else
    {
        bzKnot *before = bz_Spline_GetKnot(spline, index);
        k->previous = before;
        k->next = before->next;
        before->next->previous = k;
        before->next = k;
    }
    spline->knotCount++;
    spline->segmentCount = SegmentsFor(spline->knotCount, spline->closed);
    RecomputeSegment(k);
    RecomputeSegment(k->previous);
    RecomputeTotal(spline);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Spline_SetKnot(const bzV3 *position, const bzV3 *in, const bzV3 *out,
                              bzSpline *spline, int32_t index)
{
    bzKnot *k = bz_Spline_GetKnot(spline, index);
    if (!k)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    if (position)
        k->position = *position;
    if (in)
        k->in = *in;
    if (out)
        k->out = *out;
    RecomputeSegment(k);
    RecomputeSegment(k->previous);
    RecomputeTotal(spline);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Spline_RemoveKnot(bzSpline *spline, int32_t index)
{
    bzKnot *k = bz_Spline_GetKnot(spline, index);
    if (!k)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    bzKnot *before = k->previous;
    if (k->next == k)
        spline->first = nullptr;
    else
    {
        before->next = k->next;
        k->next->previous = before;
        if (spline->first == k)
            spline->first = k->next;
        RecomputeSegment(before);
    }
    FreeKnot(k);
    spline->knotCount--;
    spline->segmentCount = SegmentsFor(spline->knotCount, spline->closed);
    RecomputeTotal(spline);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Spline_PrependKnot(bzSpline *spline, const bzV3 *position)
{
    const bzErrorCode code = bz_Spline_InsertKnot(position, -1, spline, nullptr, nullptr);
    if (code != BZ_ERROR_NONE)
        return code;
    spline->first = spline->first->previous;
    bz_Spline_AutoTangents(spline);
    RecomputeTotal(spline);
    return BZ_ERROR_NONE;
}

void bz_Spline_RecomputeAll(bzSpline *spline)
{
    if (!spline)
        return;
    bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++, k = k->next)
        RecomputeSegment(k);
    RecomputeTotal(spline);
}

void bz_Spline_Open(bzSpline *spline)
{
    if (!spline || !spline->closed)
        return;
    spline->closed = 0;
    spline->segmentCount = SegmentsFor(spline->knotCount, 0);
    RecomputeTotal(spline);
}

void bz_Spline_Close(bzSpline *spline)
{
    if (!spline || spline->closed)
        return;
    spline->closed = 1;
    spline->segmentCount = SegmentsFor(spline->knotCount, 1);
    RecomputeTotal(spline);
}

float bz_Spline_GetTotalLength(const bzSpline *spline)
{
    if (!spline || spline->segmentCount == 0)
        return 0.0f;
    float total = 0.0f;
    const bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->segmentCount; i++, k = k->next)
        total += k->length;
    return total;
}

void bz_Spline_SetColour(uint32_t colour, bzSpline *spline)
{
    if (spline)
        spline->colour = colour;
}

bzKnot *bz_Spline_StepKnot(int32_t n, bzKnot *knot)
{
    if (!knot)
        return nullptr;
    for (; n > 0; n--)
        knot = knot->next;
    for (; n < 0; n++)
        knot = knot->previous;
    return knot;
}

bzKnot *bz_Spline_GetKnot(const bzSpline *spline, int32_t n)
{
    if (!spline || !spline->first)
        return nullptr;
    // Whole turns of the circular list change nothing.
    if (spline->knotCount > 0)
        n %= spline->knotCount;
    return bz_Spline_StepKnot(n, spline->first);
}

void bz_Spline_GetKnotPosition(const bzSpline *spline, int32_t n, bzV3 *out, float t)
{
    if (!spline || !spline->first)
    {
        bz_V3_Set(out, 0, 0, 0);
        return;
    }
    if (spline->segmentCount == 0)
    {
        *out = spline->first->position;
        return;
    }
    Cubic(bz_Spline_GetKnot(spline, n), t, out);
}

void bz_Spline_GetKnotDerivative(const bzSpline *spline, int32_t n, bzV3 *out, float t)
{
    if (!spline || spline->segmentCount == 0)
    {
        bz_V3_Set(out, 0, 0, 0);
        return;
    }
    CubicDerivative(bz_Spline_GetKnot(spline, n), t, out);
}

void bz_Spline_PositionAtParam(const bzSpline *spline, float u, bzV3 *out)
{
    if (!spline || spline->segmentCount == 0)
    {
        bz_Spline_GetKnotPosition(spline, 0, out, 0.0f);
        return;
    }
    float t = 0.0f;
    const bzKnot *k = Locate(spline, u, &t);
    Cubic(k, t, out);
}

void bz_Spline_DerivativeAtParam(const bzSpline *spline, float u, bzV3 *out)
{
    if (!spline || spline->segmentCount == 0)
    {
        bz_V3_Set(out, 0, 0, 0);
        return;
    }
    float t = 0.0f;
    const bzKnot *k = Locate(spline, u, &t);
    CubicDerivative(k, t, out);
}

float bz_Spline_SegmentLength(const bzKnot *knot, float t0, float t1, float tolerance)
{
    if (!knot)
        return 0.0f;
    return Estimate(knot, EndAt(knot, t0), EndAt(knot, t1), tolerance);
}

float bz_Spline_LengthOnSegment(const bzSpline *spline, int32_t n, float t0, float t1,
                                float tolerance)
{
    if (!spline || spline->segmentCount == 0)
        return 0.0f;
    return bz_Spline_SegmentLength(bz_Spline_GetKnot(spline, n), t0, t1, tolerance);
}

float bz_Spline_LengthBetween(const bzSpline *spline, float u0, float u1, float tolerance)
{
    if (!spline || spline->segmentCount == 0)
        return 0.0f;
    // Parameters lie in [0, 1].
    u0 = u0 > 0.0f ? (u0 < 1.0f ? u0 : 1.0f) : 0.0f;
    u1 = u1 > 0.0f ? (u1 < 1.0f ? u1 : 1.0f) : 0.0f;
    if (u1 < u0)
    {
        const float swap = u0;
        u0 = u1;
        u1 = swap;
    }
    const float count = static_cast<float>(spline->segmentCount);
    const float x0 = count * u0, x1 = count * u1;
    const float w0 = std::trunc(x0), w1 = std::trunc(x1);
    const float t0 = x0 - w0, t1 = x1 - w1;
    const bzKnot *first = bz_Spline_GetKnot(spline, static_cast<int32_t>(w0));
    if (w0 == w1)
        return bz_Spline_SegmentLength(first, t0, t1, tolerance);
    float length = bz_Spline_SegmentLength(first, t0, 1.0f, tolerance);
    const bzKnot *k = first->next;
    for (float w = w0 + 1.0f; w < w1; w += 1.0f, k = k->next)
        length += k->length;
    return length + bz_Spline_SegmentLength(k, 0.0f, t1, tolerance);
}

float bz_Spline_SegmentParamAtDistance(const bzSpline *spline, int32_t n, float s, float tolerance)
{
    if (!spline || spline->segmentCount == 0)
        return 0.0f;
    return LocalParamAtDistance(bz_Spline_GetKnot(spline, n), s, tolerance);
}

float bz_Spline_ParamAtDistance(const bzSpline *spline, float s, float tolerance)
{
    if (!spline || spline->segmentCount == 0)
        return 0.0f;
    const float total = spline->totalLength;
    if (!(total > 0.0f) || std::isnan(s))
        return 0.0f;
    if (s > total || s < 0.0f)
    {
        if (!spline->closed)
            return s > total ? 1.0f : 0.0f;
        s = s - std::floor(s / total) * total;
    }
    const bzKnot *k = spline->first;
    int32_t index = 0;
    while (s > k->length && index < spline->segmentCount - 1)
    {
        s -= k->length;
        index++;
        k = k->next;
    }
    return (static_cast<float>(index) + LocalParamAtDistance(k, s, tolerance)) /
           static_cast<float>(spline->segmentCount);
}

void bz_Spline_PositionAtDistance(const bzSpline *spline, float s, float tolerance, bzV3 *out)
{
    bz_Spline_PositionAtParam(spline, bz_Spline_ParamAtDistance(spline, s, tolerance), out);
}

void bz_Spline_DerivativeAtDistance(const bzSpline *spline, float s, float tolerance, bzV3 *out)
{
    bz_Spline_DerivativeAtParam(spline, bz_Spline_ParamAtDistance(spline, s, tolerance), out);
}

void bz_Spline_SegmentPositionAtDistance(const bzSpline *spline, int32_t n, float s,
                                         float tolerance, bzV3 *out)
{
    bz_Spline_GetKnotPosition(spline, n, out,
                              bz_Spline_SegmentParamAtDistance(spline, n, s, tolerance));
}

void bz_Spline_SegmentDerivativeAtDistance(const bzSpline *spline, int32_t n, float s,
                                           float tolerance, bzV3 *out)
{
    bz_Spline_GetKnotDerivative(spline, n, out,
                                bz_Spline_SegmentParamAtDistance(spline, n, s, tolerance));
}

void bz_Spline_TransformKnot(bzKnot *knot, const bzM34 *matrix)
{
    if (!knot || !matrix)
        return;
    bz_M34_TransformPoint(matrix, &knot->position);
    bz_V3_RotateInPlace(&knot->in, matrix);
    bz_V3_RotateInPlace(&knot->out, matrix);
}

void bz_Spline_Transform(bzSpline *spline, const bzM34 *matrix)
{
    if (!spline || !matrix)
        return;
    bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++, k = k->next)
        bz_Spline_TransformKnot(k, matrix);
    bz_Spline_RecomputeAll(spline);
}

void bz_Spline_Reverse(bzSpline *spline)
{
    if (!spline || !spline->first)
        return;
    bzKnot *oldLast = spline->first->previous;
    bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++)
    {
        bzKnot *next = k->next;
        // Backwards, the tangent leaving a knot is the old arriving one turned round.
        const bzV3 in = k->in;
        bz_V3_NegateInto(&k->out, &k->in);
        bz_V3_NegateInto(&in, &k->out);
        k->next = k->previous;
        k->previous = next;
        k = next;
    }
    if (!spline->closed)
        spline->first = oldLast;
    bz_Spline_RecomputeAll(spline);
}

void bz_Spline_AutoTangents(bzSpline *spline)
{
    if (!spline || spline->segmentCount < 2)
        return;
    const bool closed = spline->closed != 0;
    bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++, k = k->next)
    {
        if (!closed && (i == 0 || i == spline->knotCount - 1))
            continue;
        const bool inMissing = IsZero(k->in), outMissing = IsZero(k->out);
        if (inMissing && outMissing)
        {
            bz_V3_SubInto(&k->next->position, &k->previous->position, &k->in);
            bz_V3_Scale(&k->in, 0.5f);
            k->out = k->in;
        }
        else if (inMissing)
            k->in = k->out;
        else if (outMissing)
            k->out = k->in;
    }
    if (!closed)
    {
        bzKnot *first = spline->first;
        bzKnot *last = first->previous;
        bzV3 tangent;
        if (IsZero(first->out) && EndTangent(first->next, first->next->in, first, &tangent))
        {
            first->out = tangent;
            first->in = tangent;
        }
        if (IsZero(last->in))
        {
            bzV3 backwards;
            bz_V3_NegateInto(&last->previous->out, &backwards);
            if (EndTangent(last->previous, backwards, last, &tangent))
            {
                bz_V3_Negate(&tangent);
                last->in = tangent;
                last->out = tangent;
            }
        }
    }
    bz_Spline_RecomputeAll(spline);
}

bzSpline *bz_Spline_CreateCircle(float radius, int32_t count, uint32_t colour)
{
    if (count <= 0)
        count = 8;
    if (radius == 0.0f)
        radius = 1.0f;
    bzSpline *spline = bz_Spline_Create();
    if (!spline)
        return nullptr;
    for (int32_t i = 0; i < count; i++)
    {
        const float angle = static_cast<float>(i) * 360.0f / static_cast<float>(count);
        bzV3 p;
        bz_V3_Set(&p, radius * bz_CosDeg(angle), 0.0f, radius * bz_SinDeg(angle));
        if (bz_Spline_InsertKnot(&p, -1, spline, nullptr, nullptr) != BZ_ERROR_NONE)
        {
            bz_Spline_Destroy(spline);
            return nullptr;
        }
    }
    bz_Spline_Close(spline);
    bz_Spline_AutoTangents(spline);
    if (colour)
        spline->colour = colour;
    return spline;
}
