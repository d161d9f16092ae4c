#include "models/SkinInstance.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/Animation.h"
#include "models/BoneLumps.h"
#include "models/Model.h"
#include "models/ModelAccess.h"
#include "scene/Lump.h"

#include <cctype>
#include <cfloat>
#include <cstring>

namespace
{
constexpr bzQuat kIdentity{{0.0f, 0.0f, 0.0f, 1.0f}};
constexpr int32_t kMaxBoundsBones = 40;

bzSkeleton *SkeletonOf(const bzModel *model)
{
    return model && model->part ? model->part->skeleton : nullptr;
}

bzSkinInstance *InstanceOf(bzLump *lump)
{
    return lump && lump->type == BZ_LUMP_TYPE_SKINNED_MODEL
               ? static_cast<bzSkinInstance *>(lump->object)
               : nullptr;
}

// The positions skinning starts from: the bind positions of the skeleton, or for a skeleton
// read from a file the part's own positions it keeps.
const bzV3 *BindPositions(const bzSkeleton *skeleton)
{
    return skeleton->vertexPositions ? skeleton->vertexPositions
                                     : skeleton->skinnedPositionsDefault;
}

bool HoldsModelSpace(const bzSkinInstance *instance)
{
    return (instance->flags & BZ_SKIN_NEEDS_UPDATE) && instance->frame < 0;
}

bzQuatPos PoseOf(const bzBonePose &pose)
{
    return bzQuatPos{pose.rotation, pose.position};
}

// The bone's model-space pose from the instance's array, whatever it holds.
bzQuatPos ModelSpacePose(const bzSkinInstance *instance, const bzSkeleton *skeleton, int32_t b)
{
    const bzQuatPos entry = PoseOf(instance->poses[b]);
    if (HoldsModelSpace(instance))
        return entry;
    const bzQuatPos bind = PoseOf(skeleton->bindPose[b]);
    bzQuatPos out;
    bz_QuatPos_Mul(&entry, &bind, &out);
    return out;
}

// Model-space pose (q, p) composed with the inverse bind pose: q conj(qB), p - q conj(qB) pB.
bzQuatPos SkinTransformOf(const bzQuatPos &pose, const bzBonePose &bind)
{
    bzQuatPos inverse;
    const bzQuatPos b = PoseOf(bind);
    bz_QuatPos_Invert(&inverse, &b);
    bzQuatPos out;
    bz_QuatPos_Mul(&pose, &inverse, &out);
    return out;
}

bzQuatPos SkinTransform(const bzSkinInstance *instance, const bzSkeleton *skeleton, int32_t b)
{
    if (!HoldsModelSpace(instance))
        return PoseOf(instance->poses[b]);
    return SkinTransformOf(PoseOf(instance->poses[b]), skeleton->bindPose[b]);
}

// The bone after b in the depth-first walk when b's own subtree is passed over, never climbing
// above top: -1 at the end.
int32_t NextOutside(const bzSkeletonBone *bones, int32_t b, int32_t top)
{
    while (b != -1 && b != top && bones[b].nextSibling == -1)
        b = bones[b].parent;
    return (b == -1 || b == top) ? -1 : bones[b].nextSibling;
}

// Places the bones below top rigidly with it: each turned by the turn top has been given
// (turn applied to its own rotation) and put at its parent's position plus the parent's
// rotation applied to its offset.
void PlaceSubtreeRigidly(const bzSkeleton *skeleton, bzBonePose *poses, int32_t top,
                         const bzQuat &turn)
{
    const bzSkeletonBone *bones = skeleton->bones;
    int32_t b = bones[top].firstChild;
    for (int32_t steps = 0; b != -1 && steps < skeleton->boneCount; ++steps)
    {
        const int32_t p = bones[b].parent;
        bz_Quat_PreMul(&turn, &poses[b].rotation);
        bz_Quat_Normalise(&poses[b].rotation);
        bzV3 offset;
        bz_Quat_RotateV3Into(&poses[p].rotation, &offset, &skeleton->boneOffsets[b]);
        bz_V3_AddInto(&poses[p].position, &offset, &poses[b].position);
        b = bones[b].firstChild != -1 ? bones[b].firstChild : NextOutside(bones, b, top);
    }
}

// 1 when the bone's rag-doll bone lump is linked and active.
bool DrivenByBoneLump(bzLump *lump, int32_t bone)
{
    bzQuat unused;
    return bz_Skeleton_BoneLumpRotation(lump, bone, &unused) != 0;
}

// Depth-first walk from the root's first child placing each bone at its parent's position plus
// the parent's rotation applied to its offset, with the override rotation on masked bones.
// With a lump, a linked rag-doll bone lump dictates its bone's rotation; unless the bone's first
// child has a bone lump of its own, the bones below then follow it rigidly and the walk
// passes over them.
void PlaceBones(const bzSkeleton *skeleton, bzBonePose *poses, uint32_t mask,
                const bzQuat *overrideRotation, bzLump *lump = nullptr)
{
    const bzSkeletonBone *bones = skeleton->bones;
    const int32_t root = skeleton->rootBone;
    int32_t b = bones[root].firstChild;
    for (int32_t steps = 0; b != -1 && steps < skeleton->boneCount; ++steps)
    {
        const int32_t p = bones[b].parent;
        if (b < 32 && (mask & (1u << b)))
            bz_Quat_PreMul(overrideRotation, &poses[b].rotation);
        bool taken = false;
        bzQuat turn = kIdentity;
        if (lump && bones[b].lumpSlot >= 0)
        {
            const bzQuat before = poses[b].rotation;
            if (bz_Skeleton_BoneLumpRotation(lump, b, &poses[b].rotation))
            {
                const int32_t child = bones[b].firstChild;
                taken = child != -1 && !DrivenByBoneLump(lump, child);
                // The turn from the bone's own rotation to the one its lump gives it.
                bzQuat back;
                bz_Quat_ConjugateInto(&before, &back);
                bz_MulQuatInto(&poses[b].rotation, &turn, &back);
            }
        }
        bzV3 offset;
        bz_Quat_RotateV3Into(&poses[p].rotation, &offset, &skeleton->boneOffsets[b]);
        bz_V3_AddInto(&poses[p].position, &offset, &poses[b].position);
        if (taken)
        {
            PlaceSubtreeRigidly(skeleton, poses, b, turn);
            b = NextOutside(bones, b, root);
            continue;
        }
        if (bones[b].firstChild != -1)
        {
            b = bones[b].firstChild;
            continue;
        }
        b = NextOutside(bones, b, root);
    }
}

// For each skeleton bone the animation bone it reads, or null when the indices agree.
const uint8_t *BoneMap(const bzSkeleton *skeleton, const bzAnimation *animation)
{
    if (animation->nameTable < 0 || animation->nameTable == skeleton->nameTable)
        return nullptr;
    return bz_GetBoneRemap(animation->nameTable, skeleton->nameTable);
}

int32_t FrameOf(const bzAnimation *animation, int32_t frame)
{
    if (frame < 0)
        return 0;
    return frame >= animation->frameCount ? frame % animation->frameCount : frame;
}

// Rotations of a frame, or blended between a frame and the next, copied into the poses; bones
// the animation does not have keep their bind rotation.
void SampleRotations(const bzSkeleton *skeleton, const bzAnimation *animation, int32_t f, int32_t g,
                     float s, bool nlerp, bzBonePose *out)
{
    const uint8_t *map = BoneMap(skeleton, animation);
    const bzQuat *rowF = animation->rotations + static_cast<size_t>(f) * animation->boneCount;
    const bzQuat *rowG = animation->rotations + static_cast<size_t>(g) * animation->boneCount;
    for (int32_t i = 0; i < skeleton->boneCount; ++i)
    {
        const int32_t source = map ? map[i] : i;
        if (source >= animation->boneCount)
        {
            out[i].rotation = skeleton->bindPose[i].rotation;
            continue;
        }
        if (f == g)
            out[i].rotation = rowF[source];
        else if (nlerp)
            bz_Quat_Nlerp(&rowF[source], &rowG[source], &out[i].rotation, s);
        else
            bz_Quat_Slerp(&rowG[source], &rowF[source], &out[i].rotation, s, 0);
    }
}

void SamplePose(const bzSkinInstance *instance, const bzSkeleton *skeleton,
                const bzAnimation *animation, int32_t frame, float s, bool nlerp, uint32_t mask,
                bzBonePose *out, bzLump *lump = nullptr)
{
    // A record without frames poses nothing.
    if (animation->frameCount < 1 || !animation->rotations || !animation->rootPositions)
        return;
    const int32_t f = FrameOf(animation, frame);
    const int32_t g = s > 0.0f && f + 1 < animation->frameCount ? f + 1 : f;
    SampleRotations(skeleton, animation, f, g, s, nlerp, out);
    bzV3 &root = out[skeleton->rootBone].position;
    bz_V3_ScaleInto(&animation->rootPositions[f], &root, g == f ? 1.0f : 1.0f - s);
    if (g != f)
        bz_V3_AddScaled(&root, &animation->rootPositions[g], s);
    PlaceBones(skeleton, out, instance ? mask : 0,
               instance ? &instance->overrideRotation : &kIdentity, lump);
}

// Blends other into poses by the weight: each rotation by normalised linear blending, the
// root position in proportion, the other positions placed again (without the override, which
// both poses already carry).
void BlendPoses(const bzSkeleton *skeleton, bzBonePose *poses, const bzBonePose *other, float w,
                bool slerp = false)
{
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        if (slerp)
            bz_Quat_Slerp(&other[b].rotation, &poses[b].rotation, &poses[b].rotation, w, 0);
        else
            bz_Quat_Nlerp(&poses[b].rotation, &other[b].rotation, &poses[b].rotation, w);
    }
    bzV3 &root = poses[skeleton->rootBone].position;
    bz_V3_Scale(&root, 1.0f - w);
    bz_V3_AddScaled(&root, &other[skeleton->rootBone].position, w);
    PlaceBones(skeleton, poses, 0, &kIdentity);
}

bool ContainsIgnoringCase(const char *name, const char *text)
{
    for (const char *start = name;; ++start)
    {
        const char *a = start, *b = text;
        while (*b && *a &&
               std::toupper(static_cast<unsigned char>(*a)) ==
                   std::toupper(static_cast<unsigned char>(*b)))
            ++a, ++b;
        if (!*b)
            return true;
        if (!*start)
            return false;
    }
}

size_t BoundedLength(const char *name)
{
    return name ? strnlen(name, BZ_BONE_NAME_LENGTH) : 0;
}

bool InRange(const bzModel *model, const bzSkeleton *skeleton, int32_t bone)
{
    return model && skeleton && bone >= 0 && bone < skeleton->boneCount;
}
// One bone's pose of the kind given as a matrix: 0, or 29.
int32_t BoneMatrix(bzLump *lump, const bzModel *model, int32_t bone, bzM34 *out,
                   bzQuatPos (*poseOf)(const bzSkinInstance *, const bzSkeleton *, int32_t))
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!instance || !out || !InRange(model, skeleton, bone))
        return BZ_ERROR_INVALID_PARAMETER;
    const bzQuatPos pose = poseOf(instance, skeleton, bone);
    bz_QuatPos_ToM34(&pose, out);
    return 0;
}
} // namespace

int32_t bz_CheckSkeleton(const bzSkeleton *skeleton, int32_t vertexCount)
{
    if (!skeleton || skeleton->boneCount < 1 || skeleton->boneCount > BZ_SKELETON_MAX_BONES ||
        skeleton->influenceSlots < 0 || skeleton->influenceSlots > BZ_SKELETON_MAX_INFLUENCES ||
        !skeleton->bindPose || !skeleton->boneOffsets || vertexCount < 0)
        return BZ_ERROR_INVALID_PARAMETER;
    if (bz_CheckSkeletonTree(skeleton->bones, skeleton->boneCount, skeleton->rootBone) != 0)
        return BZ_ERROR_INVALID_PARAMETER;
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
        if (skeleton->bones[b].lumpSlot < -1 || skeleton->bones[b].lumpSlot >= BZ_BONE_LUMP_SLOTS)
            return BZ_ERROR_INVALID_PARAMETER;
    if (!skeleton->vertexInfluences)
        return 0;
    if (skeleton->influenceCount && (!skeleton->influenceBones || !skeleton->influenceWeights))
        return BZ_ERROR_INVALID_PARAMETER;
    for (uint32_t k = 0; k < skeleton->influenceCount; ++k)
        if (skeleton->influenceBones[k] < 0 || skeleton->influenceBones[k] >= skeleton->boneCount)
            return BZ_ERROR_INVALID_PARAMETER;
    for (int32_t v = 0; v < vertexCount; ++v)
    {
        const bzSkinInfluences &in = skeleton->vertexInfluences[v];
        if (in.count < 0 || in.first < 0 ||
            static_cast<uint64_t>(in.first) + static_cast<uint64_t>(in.count) >
                skeleton->influenceCount)
            return BZ_ERROR_INVALID_PARAMETER;
    }
    return 0;
}

namespace
{
bzSkinInstance *NewInstance(bzModel *model, int32_t boneCount)
{
    const uint32_t poseBytes = static_cast<uint32_t>(boneCount) * sizeof(bzBonePose);
    auto *instance = static_cast<bzSkinInstance *>(
        bz_MemAlloc(sizeof(bzSkinInstance) + poseBytes, BZ_MEM_CLEAR));
    if (!instance)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bz_AddModelReference(model);
    instance->model = model;
    if (boneCount > 0)
        instance->poses = reinterpret_cast<bzBonePose *>(instance + 1);
    for (int32_t b = 0; b < boneCount; ++b)
        instance->poses[b].rotation = kIdentity;
    instance->overrideRotation = kIdentity;
    instance->root = *bz_M34_Identity();
    return instance;
}
} // namespace

bzSkinInstance *bz_CreateSkinInstance(bzModel *model)
{
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!skeleton || bz_CheckSkeleton(skeleton, model->part->vertexCount) != 0)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return NewInstance(model, skeleton->boneCount);
}

bzSkinInstance *bz_CreateLumpSkinInstance(bzModel *model)
{
    if (!model)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return SkeletonOf(model) ? bz_CreateSkinInstance(model) : NewInstance(model, 0);
}

void bz_Skeleton_CopyBindPose(const bzModel *model, bzBonePose *poses)
{
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (skeleton && poses)
        std::memcpy(poses, skeleton->bindPose,
                    static_cast<size_t>(skeleton->boneCount) * sizeof(bzBonePose));
}

void bz_Skeleton_ApplyAnimFrame(const bzSkinInstance *instance, const bzModel *model,
                                const bzAnimation *animation, int32_t frame, bzBonePose *out)
{
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!skeleton || !animation || !out)
        return;
    bz_Skeleton_CopyBindPose(model, out);
    SamplePose(instance, skeleton, animation, frame, 0.0f, true,
               instance ? instance->overrideMask : 0, out);
}

void bz_Skeleton_Update(bzLump *lump, bzModel *model)
{
    bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!instance || !skeleton || !(instance->flags & BZ_SKIN_NEEDS_UPDATE))
        return;
    if (instance->frame >= 0)
    {
        const bzAnimation *anim = instance->anim;
        if (!anim || anim->frameCount < 1 || !anim->rotations || !anim->rootPositions)
        {
            // Nothing to build: the array keeps the transforms it holds.
            instance->flags &= static_cast<uint8_t>(~BZ_SKIN_NEEDS_UPDATE);
            instance->blendAnim = nullptr;
            return;
        }
        const float s = instance->frameFraction > 0.0f ? instance->frameFraction : 0.0f;
        SamplePose(instance, skeleton, instance->anim, instance->frame, s,
                   (instance->flags & BZ_SKIN_NLERP) != 0, instance->overrideMask, instance->poses,
                   lump);
    }
    if (instance->blendAnim)
    {
        bzBonePose scratch[BZ_SKELETON_MAX_BONES];
        SamplePose(instance, skeleton, instance->blendAnim, instance->blendFrame, 0.0f, true,
                   instance->overrideMask, scratch);
        BlendPoses(skeleton, instance->poses, scratch, instance->blendWeight);
        instance->blendAnim = nullptr;
    }
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        const bzQuatPos t = SkinTransformOf(PoseOf(instance->poses[b]), skeleton->bindPose[b]);
        instance->poses[b].rotation = t.q;
        instance->poses[b].position = t.pos;
    }
    ++instance->poseVersion;
    instance->flags &= static_cast<uint8_t>(~BZ_SKIN_NEEDS_UPDATE);
}

int32_t bz_Skeleton_GetBoneMatrix(bzLump *lump, const bzModel *model, int32_t bone, bzM34 *out)
{
    return BoneMatrix(lump, model, bone, out, ModelSpacePose);
}

int32_t bz_Skeleton_GetSkinMatrix(bzLump *lump, const bzModel *model, int32_t bone, bzM34 *out)
{
    return BoneMatrix(lump, model, bone, out, SkinTransform);
}

int32_t bz_Skeleton_SkinVertex(bzLump *lump, const bzModel *model, int32_t vertex, bzV3 *out)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!instance || !skeleton || !out || vertex < 0 || vertex >= model->part->vertexCount ||
        !skeleton->vertexInfluences || !BindPositions(skeleton))
        return BZ_ERROR_INVALID_PARAMETER;
    const bzV3 &position = BindPositions(skeleton)[vertex];
    const bzSkinInfluences &in = skeleton->vertexInfluences[vertex];
    bzV3 sum{};
    for (int32_t k = in.first; k < in.first + in.count; ++k)
    {
        const bzQuatPos t = SkinTransform(instance, skeleton, skeleton->influenceBones[k]);
        bzV3 moved;
        bz_QuatPos_TransformPoint(&t, &moved, &position);
        bz_V3_AddScaled(&sum, &moved, skeleton->influenceWeights[k]);
    }
    *out = sum;
    return 0;
}

void bz_Skeleton_SkinVertices(const bzModel *model, bzLump *lump, bzV3 *out, const bzV3 *in)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!in && skeleton)
        in = BindPositions(skeleton);
    if (!instance || !skeleton || !out || !in || !skeleton->vertexInfluences)
        return;
    bzQuatPos transforms[BZ_SKELETON_MAX_BONES];
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
        transforms[b] = SkinTransform(instance, skeleton, b);
    for (int32_t v = 0; v < model->part->vertexCount; ++v)
    {
        const bzSkinInfluences &influences = skeleton->vertexInfluences[v];
        bzV3 sum{};
        for (int32_t k = influences.first; k < influences.first + influences.count; ++k)
        {
            bzV3 moved;
            bz_QuatPos_TransformPoint(&transforms[skeleton->influenceBones[k]], &moved, &in[v]);
            bz_V3_AddScaled(&sum, &moved, skeleton->influenceWeights[k]);
        }
        out[v] = sum;
    }
}

int32_t bz_Skeleton_IsPosable(const bzLump *lump)
{
    const bzSkinInstance *instance = InstanceOf(const_cast<bzLump *>(lump));
    return instance && SkeletonOf(instance->model) ? 1 : 0;
}

int32_t bz_Skeleton_FindBone(const bzModel *model, const char *const *partNames, int32_t partCount,
                             const char *text)
{
    if (!text)
        return -1;
    const bzSkeleton *skeleton = SkeletonOf(model);
    const int32_t count = skeleton ? skeleton->boneCount : (partNames ? partCount : 0);
    int32_t best = -1;
    size_t bestLength = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        const char *name =
            skeleton ? bz_GetBoneNameFromTable(skeleton->nameTable, i) : partNames[i];
        char bounded[BZ_BONE_NAME_LENGTH + 1] = {};
        const size_t length = BoundedLength(name);
        if (name)
            std::memcpy(bounded, name, length);
        if (!ContainsIgnoringCase(bounded, text))
            continue;
        if (best == -1 || length < bestLength)
        {
            best = i;
            bestLength = length;
        }
    }
    return best;
}

int32_t bz_Skeleton_FindBoneEither(const bzModel *model, const char *const *partNames,
                                   int32_t partCount, const char *first, const char *second)
{
    const int32_t bone = bz_Skeleton_FindBone(model, partNames, partCount, first);
    return bone != -1 ? bone : bz_Skeleton_FindBone(model, partNames, partCount, second);
}

int32_t bz_Skeleton_RayPickBone(const bzRay *ray, bzLump *lump, bzModel *model)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!ray || !instance || !skeleton || !skeleton->boneBoxes)
        return -1;
    const bzQuatPos root = ModelSpacePose(instance, skeleton, skeleton->rootBone);
    if (!bz_Ray_SphereIntersect(ray, &root.pos, 2.0f * model->radius, nullptr, nullptr, nullptr))
        return -1;
    bz_Skeleton_Update(lump, model);
    float nearest = FLT_MAX;
    int32_t result = -1;
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        const bzQuatPos pose = ModelSpacePose(instance, skeleton, b);
        bzRay local;
        bz_QuatPos_InverseTransformPoint(&pose, &local.origin, &ray->origin);
        bz_Quat_InverseRotateV3Into(&pose.q, &local.delta, &ray->delta);
        local.flag = ray->flag;
        float t = FLT_MAX;
        if (bz_Ray_BoxIntersect(&local, &skeleton->boneBoxes[b], &t, nullptr, nullptr) !=
                BZ_BOX_FACE_NONE &&
            t < nearest)
        {
            nearest = t;
            result = b;
        }
    }
    return result;
}

int32_t bz_Skeleton_CalcBounds(bzModel *model, int32_t count, const int16_t *bones, float threshold,
                               bzBox *out)
{
    if (!out)
        return BZ_ERROR_INVALID_PARAMETER;
    out->min = {FLT_MAX, FLT_MAX, FLT_MAX};
    out->max = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!skeleton || count < 0 || count > kMaxBoundsBones || (count && !bones))
        return BZ_ERROR_INVALID_PARAMETER;
    for (int32_t i = 0; i < count; ++i)
        if (!InRange(model, skeleton, bones[i]))
            return BZ_ERROR_INVALID_PARAMETER;
    if (threshold <= 0.0f)
    {
        if (!skeleton->boneBoxes)
            return BZ_ERROR_INVALID_PARAMETER;
        for (int32_t i = 0; i < count; ++i)
        {
            const bzQuatPos bind = PoseOf(skeleton->bindPose[bones[i]]);
            for (int32_t c = 0; c < 8; ++c)
            {
                bzV3 corner;
                bz_Box_Corner(&skeleton->boneBoxes[bones[i]], c, &corner);
                bz_QuatPos_TransformPointInPlace(&bind, &corner);
                bz_Box_AddPoint(out, &corner);
            }
        }
        return 0;
    }
    bzModelPart *part = model->part;
    if (!part->positions[0])
        return BZ_ERROR_INVALID_PARAMETER;
    part->flags |= BZ_PART_ACCESSING;
    bool marked[BZ_SKELETON_MAX_BONES] = {};
    for (int32_t i = 0; i < count; ++i)
        marked[bones[i]] = true;
    for (int32_t v = 0; v < part->vertexCount; ++v)
        for (int32_t k = 0; k < skeleton->influenceSlots; ++k)
        {
            if (!part->boneIndices[k] || !part->boneWeights[k])
                continue;
            const uint8_t bone = part->boneIndices[k][v];
            if (bone < BZ_SKELETON_MAX_BONES && marked[bone] &&
                part->boneWeights[k][v] / 255.0f >= threshold)
            {
                bz_Box_AddPoint(out, &part->positions[0][v]);
                break;
            }
        }
    bz_EndModelAccess(model, 1);
    return 0;
}

void bz_Skeleton_SetRootMatrix(bzLump *lump, const bzM34 *matrix)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance || !matrix)
        return;
    instance->root = *matrix;
    if (!instance->anim)
        lump->matrix = *matrix;
}

void bz_Skeleton_SetPhysicsDriven(bzLump *lump)
{
    if (bzSkinInstance *instance = InstanceOf(lump))
        instance->flags |= BZ_SKIN_PHYSICS;
}

int32_t bz_Skeleton_BonesOfFace(bzLump *lump, const bzModel *model, int32_t face, const bzV3 *point,
                                int32_t *count, int16_t *bones)
{
    if (!count || !bones)
        return BZ_ERROR_INVALID_PARAMETER;
    *count = 0;
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(model);
    const bzModelPart *part = model ? model->part : nullptr;
    if (!instance || !skeleton || !skeleton->vertexInfluences || !part->faces || face < 0 ||
        face >= part->faceCount)
        return BZ_ERROR_INVALID_PARAMETER;
    const uint32_t *corners = part->faces[face].v;
    bzV3 deformed[3];
    for (int32_t c = 0; c < 3; ++c)
        if (corners[c] >= static_cast<uint32_t>(part->vertexCount) ||
            bz_Skeleton_SkinVertex(lump, model, static_cast<int32_t>(corners[c]), &deformed[c]))
            return BZ_ERROR_INVALID_PARAMETER;
    if (point)
    {
        int32_t nearest = 0;
        for (int32_t c = 1; c < 3; ++c)
            if (bz_V3_DistanceSq(point, &deformed[c]) < bz_V3_DistanceSq(point, &deformed[nearest]))
                nearest = c;
        const bzSkinInfluences &in = skeleton->vertexInfluences[corners[nearest]];
        for (int32_t k = 0; k < in.count && *count < BZ_SKELETON_MAX_INFLUENCES; ++k)
            bones[(*count)++] = skeleton->influenceBones[in.first + k];
        return 0;
    }
    float sums[BZ_SKELETON_MAX_BONES] = {};
    for (int32_t c = 0; c < 3; ++c)
    {
        const bzSkinInfluences &in = skeleton->vertexInfluences[corners[c]];
        for (int32_t k = in.first; k < in.first + in.count; ++k)
            sums[skeleton->influenceBones[k]] += skeleton->influenceWeights[k];
    }
    // n = (a - b) x (c - b), the face normal of the model's faces.
    bzV3 ab, cb, normal, centroid;
    bz_V3_SubInto(&deformed[0], &deformed[1], &ab);
    bz_V3_SubInto(&deformed[2], &deformed[1], &cb);
    bz_V3_CrossInto(&ab, &cb, &normal);
    bz_V3_AddInto(&deformed[0], &deformed[1], &centroid);
    bz_V3_Add(&centroid, &deformed[2]);
    bz_V3_Scale(&centroid, 1.0f / 3.0f);
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        if (sums[b] == 0.0f || !skeleton->boneBoxes)
            continue;
        const bzBox &box = skeleton->boneBoxes[b];
        bzV3 centre;
        bz_V3_AddInto(&box.min, &box.max, &centre);
        bz_V3_Scale(&centre, 0.5f);
        const bzQuatPos pose = ModelSpacePose(instance, skeleton, b);
        bz_QuatPos_TransformPointInPlace(&pose, &centre);
        bz_V3_Sub(&centre, &centroid);
        if (bz_V3_Dot(&centre, &normal) > 0.0f)
            sums[b] *= 0.5f;
    }
    while (*count < BZ_SKELETON_MAX_INFLUENCES)
    {
        int32_t best = -1;
        for (int32_t b = 0; b < skeleton->boneCount; ++b)
            if (sums[b] > 0.0f && (best == -1 || sums[b] > sums[best]))
                best = b;
        if (best == -1)
            break;
        bones[(*count)++] = static_cast<int16_t>(best);
        sums[best] = 0.0f;
    }
    return 0;
}

int32_t bz_Skeleton_PoseFromBlend(bzLump *lump, const bzAnimation *a, int32_t frameA,
                                  const bzAnimation *b, int32_t frameB, float weight)
{
    return bz_Skeleton_PoseFromBlendMoving(lump, a, frameA, b, frameB, weight, -1, 0);
}

namespace
{
// The root-motion placement of a frame (rotation and position), false without both tracks.
bool MotionOf(const bzAnimation *animation, int32_t frame, bzQuatPos *out)
{
    if (!animation->motionRotations || !animation->motionPositions || animation->frameCount < 1)
        return false;
    const int32_t f = FrameOf(animation, frame);
    *out = bzQuatPos{animation->motionRotations[f], animation->motionPositions[f]};
    return true;
}

// A model-space point carried into the lump's parent space by the lump's matrix.
bzV3 Placed(const bzM34 &matrix, bzV3 point)
{
    bz_M34_TransformPoint(&matrix, &point);
    return point;
}
} // namespace

int32_t bz_Skeleton_PoseFromBlendMoving(bzLump *lump, const bzAnimation *a, int32_t frameA,
                                        const bzAnimation *b, int32_t frameB, float weight,
                                        int32_t referenceBone, uint32_t options)
{
    bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = instance ? SkeletonOf(instance->model) : nullptr;
    if (!skeleton || !a || !b ||
        ((options & BZ_BLEND_MOVE_LUMP) &&
         (referenceBone < 0 || referenceBone >= skeleton->boneCount)))
        return BZ_ERROR_INVALID_PARAMETER;
    const bool slerp = (options & BZ_BLEND_SLERP) != 0;
    bzV3 before{};
    if (options & BZ_BLEND_MOVE_LUMP)
        before = Placed(lump->matrix, ModelSpacePose(instance, skeleton, referenceBone).pos);
    bzBonePose other[BZ_SKELETON_MAX_BONES];
    bz_Skeleton_ApplyAnimFrame(instance, instance->model, a, frameA, instance->poses);
    bz_Skeleton_ApplyAnimFrame(instance, instance->model, b, frameB, other);
    BlendPoses(skeleton, instance->poses, other, weight, slerp);
    instance->frame = -1;
    instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    if (options & BZ_BLEND_MOVE_LUMP)
    {
        // The blended root motion of the two frames followed by the root places the lump.
        bzQuatPos motionA, motionB;
        if (MotionOf(a, frameA, &motionA) && MotionOf(b, frameB, &motionB))
        {
            bzQuatPos blended;
            if (slerp)
                bz_Quat_Slerp(&motionB.q, &motionA.q, &blended.q, weight, 0);
            else
                bz_Quat_Nlerp(&motionA.q, &motionB.q, &blended.q, weight);
            bz_V3_ScaleInto(&motionA.pos, &blended.pos, 1.0f - weight);
            bz_V3_AddScaled(&blended.pos, &motionB.pos, weight);
            bz_QuatPos_ToM34(&blended, &lump->matrix);
            bz_M34_PostMul(&lump->matrix, &instance->root);
        }
        // The reference bone stays where it was.
        const bzV3 after =
            Placed(lump->matrix, ModelSpacePose(instance, skeleton, referenceBone).pos);
        bz_V3_Add(&lump->matrix.row[3], &before);
        bz_V3_Sub(&lump->matrix.row[3], &after);
    }
    if (options & BZ_BLEND_CONVERT)
        bz_Skeleton_Update(lump, instance->model);
    return 0;
}

int32_t bz_Skeleton_GetAnimBonePosition(const bzModel *model, const bzAnimation *animation,
                                        int32_t frame, int32_t bone, bzV3 *out)
{
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!out || !InRange(model, skeleton, bone))
        return BZ_ERROR_INVALID_PARAMETER;
    if (!animation)
    {
        *out = skeleton->bindPose[bone].position;
        return 0;
    }
    bzBonePose pose[BZ_SKELETON_MAX_BONES];
    bz_Skeleton_ApplyAnimFrame(nullptr, model, animation, frame, pose);
    *out = pose[bone].position;
    return 0;
}

int32_t bz_Animation_CapturePose(bzLump *lump, bzAnimation *animation, int32_t frame)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = instance ? SkeletonOf(instance->model) : nullptr;
    if (!skeleton || !animation || frame < 0 || frame >= animation->frameCount)
        return BZ_ERROR_INVALID_PARAMETER;
    bzQuat *row = animation->rotations + static_cast<size_t>(frame) * animation->boneCount;
    for (int32_t b = 0; b < skeleton->boneCount && b < animation->boneCount; ++b)
        row[b] = ModelSpacePose(instance, skeleton, b).q;
    animation->rootPositions[frame] = ModelSpacePose(instance, skeleton, skeleton->rootBone).pos;
    if (animation->motionPositions && animation->motionRotations)
    {
        bzQuatPos placed;
        bz_QuatPos_FromM34(&placed, &lump->matrix);
        animation->motionRotations[frame] = placed.q;
        animation->motionPositions[frame] = placed.pos;
    }
    return 0;
}

void bz_Skeleton_Scale(bzModel *model, float factor)
{
    bzSkeleton *skeleton = SkeletonOf(model);
    if (!skeleton)
        return;
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        bz_V3_Scale(&skeleton->bindPose[b].position, factor);
        bz_V3_Scale(&skeleton->boneOffsets[b], factor);
    }
    if (skeleton->vertexPositions)
        for (int32_t v = 0; v < model->part->vertexCount; ++v)
            bz_V3_Scale(&skeleton->vertexPositions[v], factor);
}

int32_t bz_Skeleton_BlendPoses(const bzModel *model, bzLump *lump, int32_t count,
                               const int16_t *bones, const float *weights, const bzV3 *axis1,
                               const bzV3 *axis2, bzM34 *out)
{
    const bzSkeleton *skeleton = SkeletonOf(model);
    const bzSkinInstance *instance = lump ? InstanceOf(lump) : nullptr;
    if (!skeleton || !bones || !weights || !axis1 || !axis2 || !out || (lump && !instance))
        return BZ_ERROR_INVALID_PARAMETER;
    bzV3 a1{}, a2{}, p{};
    for (int32_t k = 0; k < count; ++k)
    {
        if (!InRange(model, skeleton, bones[k]))
            return BZ_ERROR_INVALID_PARAMETER;
        const bzQuatPos pose = instance ? ModelSpacePose(instance, skeleton, bones[k])
                                        : PoseOf(skeleton->bindPose[bones[k]]);
        bzV3 turned;
        bz_Quat_RotateV3Into(&pose.q, &turned, axis1);
        bz_V3_AddScaled(&a1, &turned, weights[k]);
        bz_Quat_RotateV3Into(&pose.q, &turned, axis2);
        bz_V3_AddScaled(&a2, &turned, weights[k]);
        bz_V3_AddScaled(&p, &pose.pos, weights[k]);
    }
    out->row[1] = a2;
    bz_V3_CrossInto(&a2, &a1, &out->row[0]);
    bz_V3_CrossInto(&out->row[0], &a2, &out->row[2]);
    out->row[3] = p;
    return 0;
}

namespace
{
// The deformed-position buffer installed by the last computation, and its part.
bzV3 *gSkinnedBuffer;
bzModelPart *gSkinnedPart;
} // namespace

int32_t bz_Skeleton_ComputeSkinnedPositions(bzLump *lump)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    bzModel *model = instance ? instance->model : nullptr;
    const bzSkeleton *skeleton = SkeletonOf(model);
    if (!skeleton || model->part->vertexCount <= 0 || !BindPositions(skeleton))
        return BZ_ERROR_INVALID_PARAMETER;
    bzModelPart *part = model->part;
    if (part->positions[0] == skeleton->skinnedPositionsDefault)
    {
        if (gSkinnedBuffer)
            bz_Skeleton_ReleaseSkinnedPositions(lump);
        auto *buffer = static_cast<bzV3 *>(
            bz_TempStack_Alloc(1, static_cast<uint32_t>(part->vertexCount) * sizeof(bzV3), 0));
        if (!buffer)
            return bzgLastError = BZ_ERROR_NO_MEMORY;
        part->positions[0] = buffer;
        gSkinnedBuffer = buffer;
        gSkinnedPart = part;
    }
    bz_Skeleton_Update(lump, model);
    bz_Skeleton_SkinVertices(model, lump, part->positions[0], nullptr);
    return 0;
}

void bz_Skeleton_ReleaseSkinnedPositions(bzLump *)
{
    if (!gSkinnedBuffer)
        return;
    bz_TempStack_Free(1, gSkinnedBuffer);
    if (gSkinnedPart->positions[0] == gSkinnedBuffer)
        gSkinnedPart->positions[0] =
            gSkinnedPart->skeleton ? gSkinnedPart->skeleton->skinnedPositionsDefault : nullptr;
    gSkinnedBuffer = nullptr;
    gSkinnedPart = nullptr;
}
