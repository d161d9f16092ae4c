#include "models/AnimPlay.h"

#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/Animation.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include <cmath>

namespace
{
// Passes crossed one by one before the rest are dropped at once (a time far beyond the pass
// would otherwise never shrink in float).
constexpr int32_t kMaxPasses = 4096;

bzSkinInstance *InstanceOf(bzLump *lump)
{
    return lump && lump->type == BZ_LUMP_TYPE_SKINNED_MODEL
               ? static_cast<bzSkinInstance *>(lump->object)
               : nullptr;
}

bool HasMotion(const bzAnimation *animation)
{
    return animation->motionPositions && animation->motionRotations;
}

// The root-motion matrix of a frame: its rotation with its position as translation.
bzM34 MotionMatrix(const bzAnimation *animation, int32_t frame)
{
    bzM34 m;
    bz_Quat_ToM34(&animation->motionRotations[frame], 1, &m);
    m.row[3] = animation->motionPositions[frame];
    return m;
}

// Interpolated root motion followed by the root.
bzM34 BlendedMotion(const bzAnimation *animation, const bzSkinInstance *instance, int32_t frame,
                    float s)
{
    const int32_t f = frame % animation->frameCount;
    const int32_t g = f + 1 < animation->frameCount ? f + 1 : f;
    bzQuat q;
    bz_Quat_Nlerp(&animation->motionRotations[f], &animation->motionRotations[g], &q, s);
    bzM34 m;
    bz_Quat_ToM34(&q, 1, &m);
    bz_V3_ScaleInto(&animation->motionPositions[f], &m.row[3], 1.0f - s);
    bz_V3_AddScaled(&m.row[3], &animation->motionPositions[g], s);
    bz_M34_PostMul(&m, &instance->root);
    return m;
}

void Level(bzM34 *m)
{
    const bzV3 up{0.0f, 1.0f, 0.0f};
    bz_V3_CrossInto(&m->row[0], &up, &m->row[2]);
    bz_V3_Normalise(&m->row[2]);
    bz_V3_CrossInto(&up, &m->row[2], &m->row[0]);
    bz_V3_Normalise(&m->row[0]);
    m->row[1] = up;
}

// Makes the animation current at the frame. The instance when its root is to be placed (it is
// not physics-driven), its root then the lump's matrix; else null.
bzSkinInstance *MakeCurrent(bzLump *lump, bzAnimation *animation, int32_t stopPrevious,
                            int32_t frame)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance || !animation)
        return nullptr;
    if (instance->anim && stopPrevious)
        bz_Skeleton_RemoveRootMotion(lump);
    instance->anim = animation;
    instance->frame = static_cast<int16_t>(frame);
    instance->frameFraction = 0.0f;
    instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    if (instance->flags & BZ_SKIN_PHYSICS)
        return nullptr;
    instance->root = lump->matrix;
    return instance;
}
} // namespace

int32_t bz_AnimTrack_GetFrameMatrix(const bzAnimation *animation, bzLump *lump, int32_t frame,
                                    bzM34 *out)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    if (!animation || !instance || !out || animation->frameCount < 1)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!HasMotion(animation))
    {
        *out = instance->root;
        return 0;
    }
    const int32_t f = frame < 0 ? 0 : frame % animation->frameCount;
    *out = MotionMatrix(animation, f);
    bz_M34_PostMul(out, &instance->root);
    return 0;
}

void bz_Skeleton_RemoveRootMotion(bzLump *lump)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance)
        return;
    const bzAnimation *animation = instance->anim;
    instance->anim = nullptr;
    if (!animation || (instance->flags & BZ_SKIN_PHYSICS))
        return;
    if (animation->motionRotations)
    {
        bzQuat back;
        bz_Quat_ConjugateInto(&animation->motionRotations[0], &back);
        bzM34 turn;
        bz_Quat_ToM34(&back, 1, &turn);
        const bzV3 t = lump->matrix.row[3];
        lump->matrix.row[3] = {};
        bz_M34_PreMul(&lump->matrix, &turn);
        lump->matrix.row[3] = t;
    }
    if (animation->motionPositions)
    {
        bzV3 moved;
        bz_M33_RotateV3Into(&lump->matrix, &moved, &animation->motionPositions[0]);
        bz_V3_Sub(&lump->matrix.row[3], &moved);
    }
}

void bz_Skeleton_StartAnim(bzLump *lump, bzAnimation *animation, int32_t upright,
                           int32_t stopPrevious)
{
    bzSkinInstance *instance = MakeCurrent(lump, animation, stopPrevious, 0);
    if (instance && upright)
        Level(&instance->root);
}

void bz_Skeleton_StartAnimAtEnd(bzLump *lump, bzAnimation *animation, int32_t upright,
                                int32_t stopPrevious)
{
    const int32_t last = animation ? animation->frameCount - 1 : 0;
    bzSkinInstance *instance = MakeCurrent(lump, animation, stopPrevious, last);
    if (!instance)
        return;
    if (HasMotion(animation))
    {
        // The inverse of the last frame's motion, then the first frame's, then the lump.
        const bzM34 lastMotion = MotionMatrix(animation, last);
        bzM34 undo;
        bz_InverseOrthoM34Into(&lastMotion, &undo);
        const bzM34 first = MotionMatrix(animation, 0);
        bz_M34_PostMul(&undo, &first);
        bz_M34_PostMul(&undo, &lump->matrix);
        instance->root = undo;
    }
    if (upright)
        Level(&instance->root);
}

float bz_Skeleton_StepAnim(bzLump *lump, bzAnimation *animation, float time, int32_t rootMotion)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance || !animation || animation->frameCount < 1 || !std::isfinite(time))
        return 0.0f;
    const bool physics = (instance->flags & BZ_SKIN_PHYSICS) != 0;
    const int32_t last = animation->frameCount - 1;
    const float fps = animation->fps;
    if (last == 0 || animation->fps == 0)
    {
        // One frame: no pass to wrap.
        if (instance->anim != animation)
            return 0.0f;
        time = 0.0f;
    }
    const float pass = last ? static_cast<float>(last) / fps : 0.0f;
    for (int32_t passes = 0; last && static_cast<float>(last) + 0.0001f < fps * time; ++passes)
    {
        if (passes == kMaxPasses)
        {
            time = std::fmod(time, pass);
            break;
        }
        time -= pass;
        if (rootMotion)
        {
            if (!physics)
                bz_AnimTrack_GetFrameMatrix(animation, lump, last, &lump->matrix);
            bz_Skeleton_RemoveRootMotion(lump);
        }
        bz_Skeleton_StartAnim(lump, animation, rootMotion, rootMotion);
    }
    for (int32_t passes = 0; last && time < -0.0001f; ++passes)
    {
        if (passes == kMaxPasses)
        {
            time = pass + std::fmod(time, pass);
            break;
        }
        time += pass;
        if (rootMotion)
        {
            if (!physics)
                bz_AnimTrack_GetFrameMatrix(animation, lump, 0, &lump->matrix);
            bz_Skeleton_RemoveRootMotion(lump);
        }
        bz_Skeleton_StartAnimAtEnd(lump, animation, rootMotion, rootMotion);
    }
    if (instance->anim != animation)
        return 0.0f;
    const float x = fps * time + 0.0005f;
    const float whole = std::floor(x);
    const float fraction = x - whole - 0.0005f;
    instance->frame = static_cast<int16_t>(whole);
    const bool move = rootMotion && !physics;
    if (fraction < 0.001f)
    {
        if (move)
            bz_AnimTrack_GetFrameMatrix(animation, lump, instance->frame, &lump->matrix);
        instance->frameFraction = 0.0f;
    }
    else
    {
        if (move && HasMotion(animation))
            lump->matrix = BlendedMotion(animation, instance, instance->frame, fraction);
        instance->frameFraction = fraction;
    }
    instance->flags |= BZ_SKIN_NEEDS_UPDATE | BZ_SKIN_NLERP;
    return time;
}

float bz_Skeleton_StepAnimToward(bzLump *lump, bzAnimation *animation, float time,
                                 int32_t rootMotion, bzAnimation *blend, int32_t blendFrame,
                                 float blendWeight, const bzM34 *target)
{
    const float wrapped = bz_Skeleton_StepAnim(lump, animation, time, rootMotion);
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance)
        return wrapped;
    instance->blendAnim = blend;
    instance->blendFrame = static_cast<int16_t>(blendFrame);
    instance->blendWeight = blendWeight;
    if (target)
    {
        bzQuatPos from, to;
        bz_QuatPos_FromM34(&from, &lump->matrix);
        bz_QuatPos_FromM34(&to, target);
        bz_Quat_Nlerp(&from.q, &to.q, &from.q, blendWeight);
        bz_V3_Scale(&from.pos, 1.0f - blendWeight);
        bz_V3_AddScaled(&from.pos, &to.pos, blendWeight);
        bz_QuatPos_ToM34(&from, &lump->matrix);
    }
    return wrapped;
}

void bz_Skeleton_AdvanceAnim(bzLump *lump, bzAnimation *animation, int32_t upright)
{
    bzSkinInstance *instance = MakeCurrent(lump, animation, 0, 0);
    if (!instance)
        return;
    if (animation->motionRotations && animation->motionPositions)
    {
        const bzM34 first = MotionMatrix(animation, 0);
        bzM34 undo;
        bz_InverseOrthoM34Into(&first, &undo);
        bz_M34_PostMul(&undo, &lump->matrix);
        instance->root = undo;
    }
    if (upright)
        Level(&instance->root);
}
