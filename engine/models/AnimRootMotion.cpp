#include "models/AnimRootMotion.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/Animation.h"
#include "models/Model.h"
#include "models/SkinInstance.h"

#include <cmath>

namespace
{
constexpr float kTiny = 1.4210855e-14f;

// Normalised, or (1, 0, 0) when too short to say.
bzV3 Direction(bzV3 v)
{
    if (bz_V3_LengthSq(&v) < kTiny)
        return bzV3{1.0f, 0.0f, 0.0f};
    bz_V3_Normalise(&v);
    return v;
}

bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    bzV3 out;
    bz_V3_CrossInto(&a, &b, &out);
    return out;
}

bool HasTracks(const bzAnimation *animation)
{
    return animation && animation->motionPositions && animation->motionRotations;
}
} // namespace

int32_t bz_Animation_ExtractRootMotion(bzAnimation *animation, const bzModel *model,
                                       int32_t keepHeight, int32_t count, const int16_t *bones,
                                       const float *weights, const bzV3 *forwardAxis,
                                       const bzV3 *upAxis)
{
    const bzSkeleton *skeleton = model && model->part ? model->part->skeleton : nullptr;
    if (!animation || !skeleton || count < 1 || !bones || !weights ||
        skeleton->boneCount > BZ_SKELETON_MAX_BONES)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    for (int32_t k = 0; k < count; ++k)
        if (bones[k] < 0 || bones[k] >= skeleton->boneCount)
            return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const auto frames = static_cast<uint32_t>(animation->frameCount);
    bz_MemFree(animation->motionPositions);
    bz_MemFree(animation->motionRotations);
    animation->motionPositions =
        static_cast<bzV3 *>(bz_MemAlloc(frames * sizeof(bzV3), BZ_MEM_CLEAR));
    animation->motionRotations = static_cast<bzQuat *>(bz_MemAlloc(frames * sizeof(bzQuat), 0));
    if (!animation->motionPositions || !animation->motionRotations)
    {
        bz_MemFree(animation->motionPositions);
        bz_MemFree(animation->motionRotations);
        animation->motionPositions = nullptr;
        animation->motionRotations = nullptr;
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    const bzV3 forwardDefault{0.0f, 0.0f, 1.0f}, upDefault{0.0f, 1.0f, 0.0f};
    bzBonePose pose[BZ_SKELETON_MAX_BONES];
    for (uint32_t f = 0; f < frames; ++f)
    {
        animation->motionRotations[f] = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
        bz_Skeleton_ApplyAnimFrame(nullptr, model, animation, static_cast<int32_t>(f), pose);
        bzV3 position{}, forward{}, up{};
        for (int32_t k = 0; k < count; ++k)
        {
            const bzBonePose &b = pose[bones[k]];
            bz_V3_AddScaled(&position, &b.position, weights[k]);
            bzV3 turned;
            bz_Quat_RotateV3Into(&b.rotation, &turned, forwardAxis ? forwardAxis : &forwardDefault);
            bz_V3_AddScaled(&forward, &turned, weights[k]);
            bz_Quat_RotateV3Into(&b.rotation, &turned, upAxis ? upAxis : &upDefault);
            bz_V3_AddScaled(&up, &turned, weights[k]);
        }
        if (!keepHeight)
            position.y = 0.0f;
        animation->motionPositions[f] = position;
        if (!forwardAxis && !upAxis)
            continue;
        forward = Direction(forward);
        up = Direction(up);
        bzM34 frame{};
        frame.row[0] = Direction(Cross(up, forward));
        frame.row[2] = Direction(Cross(frame.row[0], up));
        frame.row[1] = up;
        bzQuat &motion = animation->motionRotations[f];
        bz_Quat_FromM33(&frame, &motion);
        bzV3 relative;
        bz_V3_SubInto(&animation->rootPositions[f], &position, &relative);
        for (int32_t i = 0; i < 3; ++i)
            animation->rootPositions[f].v[i] = bz_V3_Dot(&frame.row[i], &relative);
        bzQuat back;
        bz_Quat_ConjugateInto(&motion, &back);
        bzQuat *row = animation->rotations + static_cast<size_t>(f) * animation->boneCount;
        for (int32_t b = 0; b < animation->boneCount; ++b)
        {
            bz_Quat_PreMul(&back, &row[b]);
            bz_Quat_Normalise(&row[b]);
        }
    }
    return 0;
}

void bz_Animation_AlignTravel(bzAnimation *animation, const bzV3 *direction)
{
    if (!HasTracks(animation) || !direction)
        return;
    const int32_t last = animation->frameCount - 1;
    bzV3 travel;
    bz_V3_SubInto(&animation->motionPositions[last], &animation->motionPositions[0], &travel);
    if (std::sqrt(travel.x * travel.x + travel.z * travel.z) <= 1.1920929e-07f ||
        bz_V3_LengthSq(direction) < kTiny)
        return;
    bz_V3_Normalise(&travel);
    bzV3 to = *direction;
    bz_V3_Normalise(&to);
    bzQuat turn;
    bz_Quat_FromTwoVectors(&to, &turn, &travel);
    const bzV3 start = animation->motionPositions[0];
    for (int32_t f = 0; f < animation->frameCount; ++f)
    {
        bz_Quat_PreMul(&turn, &animation->motionRotations[f]);
        bzV3 offset;
        bz_V3_SubInto(&animation->motionPositions[f], &start, &offset);
        bz_Quat_RotateV3(&turn, &offset);
        bz_V3_AddInto(&start, &offset, &animation->motionPositions[f]);
    }
}

int32_t bz_AnimTrack_GetDisplacement(const bzAnimation *animation, bzV3 *out)
{
    if (!out)
        return BZ_ERROR_INVALID_PARAMETER;
    *out = {};
    if (!animation || !animation->motionPositions)
        return BZ_ERROR_INVALID_PARAMETER;
    bz_V3_SubInto(&animation->motionPositions[animation->frameCount - 1],
                  &animation->motionPositions[0], out);
    return 0;
}

void bz_AnimTrack_MoveStartTo(bzAnimation *animation, const bzV3 *point)
{
    if (!animation || !animation->motionPositions || !point)
        return;
    const float dx = point->x - animation->motionPositions[0].x;
    const float dz = point->z - animation->motionPositions[0].z;
    for (int32_t f = 0; f < animation->frameCount; ++f)
    {
        animation->motionPositions[f].x += dx;
        animation->motionPositions[f].z += dz;
    }
}

void bz_Animation_Scale(bzAnimation *animation, float factor)
{
    if (!animation)
        return;
    for (int32_t f = 0; f < animation->frameCount; ++f)
    {
        bz_V3_Scale(&animation->rootPositions[f], factor);
        if (animation->motionPositions)
            bz_V3_Scale(&animation->motionPositions[f], factor);
    }
}
