// Evaluation of animation channels: the key search, the blend of each format row and the
// application of tracks to their lumps. Nothing here allocates.
#include "scene/Anim.h"

#include "maths/Approx.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "scene/Lump.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace
{
// The targets of the animation being applied, for parent links.
bzLump *const *gCurrentTargets;
uint32_t gCurrentTargetCount;

// The bit pattern of the largest float: an out-tangent holding it makes a step key.
constexpr uint32_t kStepKey = 0x7F7FFFFF;

template <class T> T KeyAt(const bzAnimChannel *channel, int32_t i)
{
    T key;
    std::memcpy(&key, channel->values + static_cast<size_t>(i) * sizeof(T), sizeof(T));
    return key;
}

// Hermite weights at f.
void Weights(float f, float h[4])
{
    const float f2 = f * f, f3 = f2 * f;
    h[0] = 2.0f * f3 - 3.0f * f2 + 1.0f;
    h[1] = 3.0f * f2 - 2.0f * f3;
    h[2] = f3 - 2.0f * f2 + f;
    h[3] = f3 - f2;
}

void BlendFloat(const bzAnimChannel *c, int32_t i, int32_t j, float f, void *out)
{
    const bzAnimKeyFloat a = KeyAt<bzAnimKeyFloat>(c, i), b = KeyAt<bzAnimKeyFloat>(c, j);
    float *result = static_cast<float *>(out);
    if (f == 0.0f || std::bit_cast<uint32_t>(a.out) == kStepKey)
    {
        *result = a.value;
        return;
    }
    float h[4];
    Weights(f, h);
    *result = h[0] * a.value + h[1] * b.value + h[2] * a.out + h[3] * b.in;
}

void BlendV3(const bzAnimChannel *c, int32_t i, int32_t j, float f, void *out)
{
    const bzAnimKeyV3 a = KeyAt<bzAnimKeyV3>(c, i), b = KeyAt<bzAnimKeyV3>(c, j);
    bzV3 *result = static_cast<bzV3 *>(out);
    if (f == 0.0f || std::bit_cast<uint32_t>(a.out.x) == kStepKey)
    {
        *result = a.value;
        return;
    }
    float h[4];
    Weights(f, h);
    for (int k = 0; k < 3; k++)
        result->v[k] =
            h[0] * a.value.v[k] + h[1] * b.value.v[k] + h[2] * a.out.v[k] + h[3] * b.in.v[k];
}

// Constant acceleration over a, constant speed, constant deceleration over b.
float Ease(float t, float a, float b)
{
    if (t == 0.0f || t == 1.0f || a + b == 0.0f)
        return t;
    const float sum = a + b;
    if (sum > 1.0f)
    {
        a /= sum;
        b /= sum;
    }
    const float k = 1.0f / (2.0f - a - b);
    if (t < a)
        return k * t * t / a;
    if (t < 1.0f - b)
        return k * (2.0f * t - a);
    const float rest = 1.0f - t;
    return 1.0f - k * rest * rest / b;
}

// The spherical blend from `from` to `to` without turning either round to the shorter arc.
void Slerp(const bzQuat &from, const bzQuat &to, float e, bzQuat *out)
{
    const float d = from.x * to.x + from.y * to.y + from.z * to.z + from.w * to.w;
    float wf, wt;
    if (1.0f - d <= 1e-5f)
    {
        wf = 1.0f - d * e;
        wt = e;
    }
    else
    {
        // In degrees, as the quaternion blend of the maths library works.
        const float theta = bz_ACos(d < -1.0f ? -1.0f : d) * BZ_RAD_TO_DEG;
        const float s = std::sin(theta * BZ_DEG_TO_RAD);
        wf = std::sin((theta - theta * e) * BZ_DEG_TO_RAD) / s;
        wt = std::sin(theta * e * BZ_DEG_TO_RAD) / s;
    }
    for (int k = 0; k < 4; k++)
        out->v[k] = wf * from.v[k] + wt * to.v[k];
}

void BlendRotation(const bzAnimChannel *c, int32_t i, int32_t j, float f, void *out)
{
    const bzAnimKeyRotation a = KeyAt<bzAnimKeyRotation>(c, i);
    bzM33 *result = static_cast<bzM33 *>(out);
    if (f == 0.0f)
    {
        bz_Quat_ToM33(&a.q, result);
        return;
    }
    const bzAnimKeyRotation b = KeyAt<bzAnimKeyRotation>(c, j);
    const float e = Ease(f, a.easeOut, b.easeIn);
    bzQuat q1, q2, q;
    Slerp(a.q, b.q, e, &q1);
    Slerp(a.outgoing, b.incoming, e, &q2);
    Slerp(q1, q2, 2.0f * e * (1.0f - e), &q);
    bz_Quat_ToM33(&q, result);
}

void BlendParent(const bzAnimChannel *c, int32_t i, int32_t, float, void *out)
{
    const bzAnimKeyLink key = KeyAt<bzAnimKeyLink>(c, i);
    bzLump *lump = static_cast<bzLump *>(out);
    if (gCurrentTargets && key.track < gCurrentTargetCount)
    {
        bzLump *parent = gCurrentTargets[key.track];
        // Camera lumps are never children: a link on a camera's track moves it only.
        if (parent && lump->parent != parent && lump->type != BZ_LUMP_TYPE_CAMERA)
        {
            bz_Lump_Detach(lump);
            bz_Lump_Attach(parent, lump);
        }
    }
    bz_M34_PostMul(bz_Lump_GetMatrix(lump), &key.offset);
}

void BlendLinear(const bzAnimChannel *c, int32_t i, int32_t j, float f, void *out)
{
    const float a = std::bit_cast<float>(KeyAt<uint32_t>(c, i));
    const float b = std::bit_cast<float>(KeyAt<uint32_t>(c, j));
    *static_cast<float *>(out) = a + (b - a) * f;
}

typedef void (*BlendFunction)(const bzAnimChannel *c, int32_t i, int32_t j, float f, void *out);
const BlendFunction kBlends[BZ_ANIM_FORMAT_ROWS] = {
    nullptr, BlendFloat, BlendV3, BlendRotation, BlendParent, BlendLinear, nullptr, nullptr};

void ApplyTrack(bzLump *lump, const bzAnimTrack *track, float t)
{
    bzM34 *matrix = bz_Lump_GetMatrix(lump);
    if (track->rotation && track->rotation->count)
    {
        bzM33 rows;
        bz_AnimChannel_Evaluate(track->rotation, t, &rows, t);
        for (int k = 0; k < 3; k++)
            matrix->row[k] = rows.row[k];
    }
    if (track->position && track->position->count)
        bz_AnimChannel_Evaluate(track->position, t, &matrix->row[3], t);
    if (track->parent && track->parent->count)
    {
        bz_AnimChannel_Evaluate(track->parent, t, lump, t);
        matrix = bz_Lump_GetMatrix(lump);
    }
    if (lump->flags & BZ_LUMP_WORLD)
    {
        bzM34 toWorld;
        bz_Lump_GetRelativeMatrix(&toWorld, lump->parent, nullptr);
        bz_M34_PostMul(matrix, &toWorld);
    }
}
} // namespace

const bzAnimChannelKind bzAnimChannelKinds[BZ_ANIM_FORMAT_ROWS] = {
    {0, BZ_ANIM_MODE_NONE},          {12, BZ_ANIM_MODE_INTERPOLATED},
    {36, BZ_ANIM_MODE_INTERPOLATED}, {60, BZ_ANIM_MODE_INTERPOLATED},
    {52, BZ_ANIM_MODE_INTERPOLATED}, {4, BZ_ANIM_MODE_INTERPOLATED},
    {4, BZ_ANIM_MODE_STEP},          {4, BZ_ANIM_MODE_STEP},
};

int32_t bz_Anim_RowOfKind(uint8_t kind)
{
    static const int32_t kRows[8] = {0, 2, 3, 4, 1, 5, 7, 0};
    return kind < 8 ? kRows[kind] : 0;
}

void bz_AnimChannel_Evaluate(const bzAnimChannel *channel, float t, void *out, float t2)
{
    if (!channel || channel->count == 0 || !out || channel->format >= BZ_ANIM_FORMAT_ROWS)
        return;
    const int32_t row = bz_Anim_RowOfKind(channel->kind);
    // Keys stored with another row than the kind's are refused at load; a channel built by
    // hand that differs is not evaluated.
    if (bzAnimChannelKinds[channel->format].size != bzAnimChannelKinds[row].size)
        return;
    const int32_t n = channel->count;
    const float *time = channel->times;
    if (bzAnimChannelKinds[row].mode == BZ_ANIM_MODE_STEP)
    {
        const bzAnimEventSink *sink = static_cast<const bzAnimEventSink *>(out);
        if (!sink->report)
            return;
        const float lo = t < t2 ? t : t2, hi = t < t2 ? t2 : t;
        const uint32_t size = bzAnimChannelKinds[row].size;
        for (int32_t i = 0; i < n; i++)
            if (lo <= time[i] && time[i] < hi)
                sink->report(channel->values + static_cast<size_t>(i) * size, channel->kind,
                             t > t2 ? 1 : 0, sink->user);
        return;
    }
    if (bzAnimChannelKinds[row].mode != BZ_ANIM_MODE_INTERPOLATED || std::isnan(t))
        return;
    int32_t i = 0, j = 0;
    float f = 0.0f;
    if (t <= time[0])
        i = j = 0;
    else if (t >= time[n - 1])
        i = j = n - 1;
    else
    {
        j = 1;
        while (j < n - 1 && !(t < time[j]))
            j++;
        i = j - 1;
        f = (t - time[i]) / (time[j] - time[i]);
    }
    kBlends[row](channel, i, j, f, out);
}

void bz_AnimTrack_Apply(bzLump *lump, const bzAnimTrack *track, float t)
{
    if (!lump || !track)
        return;
    ApplyTrack(lump, track, t);
}

void bz_Anim_ApplyAll(const bzKeyAnim *anim, bzLump *const *targets, float t, int32_t onlyDrawn)
{
    if (!anim || !targets)
        return;
    gCurrentTargets = targets;
    gCurrentTargetCount = anim->nameCount;
    const uint32_t previousFrame = bz_Anim_RenderFrame() - 1;
    const uint32_t tracks = anim->trackCount < anim->nameCount ? anim->trackCount : anim->nameCount;
    for (uint32_t i = 0; i < tracks; i++)
    {
        bzLump *target = targets[i];
        if (!target || (onlyDrawn && target->lastDrawnFrame != previousFrame))
            continue;
        ApplyTrack(target, &anim->tracks[i], t);
    }
    gCurrentTargets = nullptr;
    gCurrentTargetCount = 0;
}
