// Skin instances: the object of a skinned-model lump. It holds the current bone poses of the
// model's skeleton, the animation state and the root placement, and turns a pose into the
// skinning transforms that deform the model's vertices on the CPU. Also bone lookup by name,
// bone picking by ray and bone bounds.
//
// The pose array normally holds each bone's skinning transform (its model-space pose composed
// with the inverse of its bind pose). While BZ_SKIN_NEEDS_UPDATE is set and frame is negative
// it holds model-space poses written directly, which the next update converts.
#pragma once

#include "maths/Types.h"
#include "models/Skeleton.h"

#include <cstdint>

struct bzAnimation;
struct bzLump;
struct bzModel;

enum : uint8_t
{
    BZ_SKIN_LUMPS_LINKED = 0x1,
    BZ_SKIN_NEEDS_UPDATE = 0x2,
    BZ_SKIN_NLERP = 0x4, // interpolate frames by normalised linear blending, else slerp
    BZ_SKIN_PHYSICS = 0x8,
};

constexpr int32_t BZ_SKELETON_MAX_BONES = 50;
constexpr int32_t BZ_SKELETON_MAX_INFLUENCES = 4;
constexpr int32_t BZ_BONE_LUMP_SLOTS = 8;

struct bzSkinInstance
{
    bzModel *model; // one reference held
    bzBonePose *poses;
    uint8_t flags;
    int16_t frame;
    int16_t blendFrame;
    uint16_t spare;
    uint32_t overrideMask; // bone b gets overrideRotation when bit b is set
    bzQuat overrideRotation;
    bzAnimation *anim;
    bzAnimation *blendAnim;
    float frameFraction;
    float blendWeight;
    bzM34 root;
    bzLump *boneLumps[BZ_BONE_LUMP_SLOTS];
    // The deformed positions kept for ray queries (see PosedPositions.h): the buffer, a child
    // block of the instance made at the first query, the pose's version, counted up by every
    // rebuild, and the frame and pose version the buffer was made for.
    bzV3 *posedPositions;
    uint32_t poseVersion;
    uint32_t posedVersion;
    uint32_t posedFrame;
};

// 0 when the skeleton can be posed and skinned safely: 1 to 50 bones forming one tree (see
// bz_CheckSkeletonTree), bone-lump slots -1 to 7, at most 4 influence slots, every influence
// naming a bone of the skeleton and every vertex's influences inside the flat arrays. Else 29.
int32_t bz_CheckSkeleton(const bzSkeleton *skeleton, int32_t vertexCount);

// A skin instance of a skinned model (one reference taken) in the bind pose: every skinning
// transform the identity, no animation, the root the identity. Null with 29 for a model
// without a valid skeleton, 14 without memory. Freed with bz_FreeSkinInstance.
bzSkinInstance *bz_CreateSkinInstance(bzModel *model);

// The instance a skinned-model lump holds: bz_CreateSkinInstance for a model with a skeleton,
// else an instance with no bones that nothing poses. Null with 29 for no model.
bzSkinInstance *bz_CreateLumpSkinInstance(bzModel *model);

// Copies the skeleton's bind pose into the array (one entry per bone).
void bz_Skeleton_CopyBindPose(const bzModel *model, bzBonePose *poses);
// When the pose needs an update and the model has a skeleton: builds the model-space pose
// from the animation state (frame >= 0 with an animation), blends the blend animation in,
// converts to skinning transforms and clears BZ_SKIN_NEEDS_UPDATE.
void bz_Skeleton_Update(bzLump *lump, bzModel *model);
// The exact pose of a frame of the animation as model-space poses into out (the frame taken
// modulo the frame count); the instance's override rotation applies when one is given (the
// instance may be null).
void bz_Skeleton_ApplyAnimFrame(const bzSkinInstance *instance, const bzModel *model,
                                const bzAnimation *animation, int32_t frame, bzBonePose *out);
// The bone's model-space pose as a matrix: rotation rows from the quaternion, translation in
// the last row. 0, or 29 for a bone out of range or a lump without skeleton.
int32_t bz_Skeleton_GetBoneMatrix(bzLump *lump, const bzModel *model, int32_t bone, bzM34 *out);
// The bone's skinning transform as a matrix; the same results.
int32_t bz_Skeleton_GetSkinMatrix(bzLump *lump, const bzModel *model, int32_t bone, bzM34 *out);
// The deformed position of one vertex: the sum over its influences of weight x (skinning
// transform applied to the bind position); weights are used as stored. 0 or 29.
int32_t bz_Skeleton_SkinVertex(bzLump *lump, const bzModel *model, int32_t vertex, bzV3 *out);
// The deformed positions of every vertex of the part from the given positions (null: the
// skeleton's bind positions).
void bz_Skeleton_SkinVertices(const bzModel *model, bzLump *lump, bzV3 *out, const bzV3 *in);

// 1 when the lump is a skinned-model lump whose skin instance's model has a skeleton.
int32_t bz_Skeleton_IsPosable(const bzLump *lump);

// Index of the bone whose upper-cased name contains the upper-cased text, the shortest such
// name winning (the first on equal length); without a skeleton the named parts' names are
// searched instead. -1 when nothing matches.
int32_t bz_Skeleton_FindBone(const bzModel *model, const char *const *partNames, int32_t partCount,
                             const char *text);
// FindBone with the first text, then with the second when the first gives -1.
int32_t bz_Skeleton_FindBoneEither(const bzModel *model, const char *const *partNames,
                                   int32_t partCount, const char *first, const char *second);
// The nearest bone whose box the ray (in the lump's model space) hits, or -1; a ray that
// misses the sphere of twice the model's radius around the root bone gives -1 at once.
int32_t bz_Skeleton_RayPickBone(const bzRay *ray, bzLump *lump, bzModel *model);
// Box around the listed bones' bind-pose boxes (threshold <= 0), or around the part's current
// positions of the vertices that one of the bones drives with a weight of at least the
// threshold; that read is bracketed as a model access, so a part marked changed has its
// back-end buffers rebuilt afterwards. 0, or 29 for a model without skeleton, a list of more
// than 40 bones or a bone out of range (the box is then empty: min +FLT_MAX, max -FLT_MAX).
int32_t bz_Skeleton_CalcBounds(bzModel *model, int32_t count, const int16_t *bones, float threshold,
                               bzBox *out);

// Sets the root placement; also the lump's own matrix while no animation is current.
void bz_Skeleton_SetRootMatrix(bzLump *lump, const bzM34 *matrix);
void bz_Skeleton_SetPhysicsDriven(bzLump *lump);

// The bones that influence a face of the posed lump, at most 4 into bones. Without a point:
// the influence weights of the face's three vertices summed per bone, halved for a bone whose
// posed box centre lies on the side the face's normal points to (seen from the centroid of
// the deformed corners), output by decreasing sum (bones of sum 0 left out). With a point: the
// influence bones, in influence order, of the face's corner whose deformed position is
// nearest to it. 0, or 29 for a face or vertex out of range or a lump without skeleton (count
// then 0).
int32_t bz_Skeleton_BonesOfFace(bzLump *lump, const bzModel *model, int32_t face, const bzV3 *point,
                                int32_t *count, int16_t *bones);

// Blends frame frameA of animation a with frame frameB of b by the weight (normalised linear
// blending of each bone's rotation, the root position in proportion) and leaves the result as
// model-space poses: frame -1, BZ_SKIN_NEEDS_UPDATE set. 0, or 29 for a lump without skeleton
// or a missing animation.
int32_t bz_Skeleton_PoseFromBlend(bzLump *lump, const bzAnimation *a, int32_t frameA,
                                  const bzAnimation *b, int32_t frameB, float weight);
enum : uint32_t
{
    BZ_BLEND_SLERP = 0x1,     // blend rotations spherically, else by normalised linear blending
    BZ_BLEND_MOVE_LUMP = 0x2, // move the lump by the blended root motion, keeping the bone still
    BZ_BLEND_CONVERT = 0x4,   // convert to skinning transforms at once
};
// PoseFromBlend with options. With BZ_BLEND_MOVE_LUMP the lump's matrix becomes the blend of the
// two frames' root motion (when both animations have both tracks) followed by the root, and its
// translation is then corrected so that the reference bone stays where it was in the lump's
// parent space. With BZ_BLEND_CONVERT the pose is converted at once (the pose array then holds
// skinning transforms and needs no update). 0, or 29 as PoseFromBlend and for a reference bone
// out of range when the lump is to move.
int32_t bz_Skeleton_PoseFromBlendMoving(bzLump *lump, const bzAnimation *a, int32_t frameA,
                                        const bzAnimation *b, int32_t frameB, float weight,
                                        int32_t referenceBone, uint32_t options);
// A bone's model-space position in a frame of the animation, or in the bind pose without one.
// 0, or 29 for a bone out of range or a model without skeleton.
int32_t bz_Skeleton_GetAnimBonePosition(const bzModel *model, const bzAnimation *animation,
                                        int32_t frame, int32_t bone, bzV3 *out);
// Stores the lump's current pose into a frame of the animation: every bone's model-space
// rotation, the root bone's position, and, when the animation has motion tracks, the lump's
// rotation and translation into them. 0, or 29 for a frame out of range or no skin instance.
int32_t bz_Animation_CapturePose(bzLump *lump, bzAnimation *animation, int32_t frame);
// Multiplies the skeleton's bind positions, bone offsets and vertex positions by the factor.
void bz_Skeleton_Scale(bzModel *model, float factor);
// The weighted reference frame of a pose (the bind pose, or with a lump its current pose):
// A1 and A2 the weighted sums of the bones' rotations applied to the two axes, P the weighted
// sum of their positions; rows A2 x A1, A2, (A2 x A1) x A2 and P, not normalised. 0, or 29 for a
// model without skeleton or a bone out of range.
int32_t bz_Skeleton_BlendPoses(const bzModel *model, bzLump *lump, int32_t count,
                               const int16_t *bones, const float *weights, const bzV3 *axis1,
                               const bzV3 *axis2, bzM34 *out);

// Writes the deformed positions into the part's position buffer. While that buffer is still
// the skeleton's skinnedPositionsDefault, a buffer from temporary stack 1 is installed in the
// part first and remembered until the release. 0, 29 for a lump without skeleton or bind
// positions (neither vertexPositions nor skinnedPositionsDefault), 14 without stack memory.
int32_t bz_Skeleton_ComputeSkinnedPositions(bzLump *lump);
// Frees the remembered buffer and gives its part back skinnedPositionsDefault; nothing when no
// buffer is remembered.
void bz_Skeleton_ReleaseSkinnedPositions(bzLump *lump);
