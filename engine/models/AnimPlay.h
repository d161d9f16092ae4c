// Playing animations on skin instances: stepping a time value to a frame and a fraction,
// starting an animation at either end, and root motion, the travel of the whole body that the
// animation's motion tracks carry and that is applied to the lump's matrix instead of the
// bones.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzAnimation;
struct bzLump;

// Wraps the time into the animation's pass (restarting it at its start or end for every pass
// crossed, moving the lump by the pass's root motion when rootMotion is set), makes it current
// and selects the frame and fraction; the pose is marked for an update with normalised linear
// blending. Returns the wrapped time, or 0 when the animation is not current afterwards. An
// animation of one frame always gives frame 0, fraction 0 and time 0.
float bz_Skeleton_StepAnim(bzLump *lump, bzAnimation *animation, float time, int32_t rootMotion);
// Makes the animation current at its start: the root placement becomes the lump's matrix
// (levelled upright when asked) unless the instance is physics-driven; with stopPrevious the
// previous animation's root motion is taken out first.
void bz_Skeleton_StartAnim(bzLump *lump, bzAnimation *animation, int32_t upright,
                           int32_t stopPrevious);
// The same at the animation's end, the root placed so that the lump does not jump when
// playback continues backwards from the last frame.
void bz_Skeleton_StartAnimAtEnd(bzLump *lump, bzAnimation *animation, int32_t upright,
                                int32_t stopPrevious);
// Takes the current animation's first-frame root motion back out of the lump's matrix and
// clears the current animation (physics-driven instances only clear it).
void bz_Skeleton_RemoveRootMotion(bzLump *lump);
// The frame's root-motion matrix followed by the instance's root; just the root without both
// root-motion tracks. 0, or 29 for a lump without skin instance or no animation.
int32_t bz_AnimTrack_GetFrameMatrix(const bzAnimation *animation, bzLump *lump, int32_t frame,
                                    bzM34 *out);
// StepAnim, then the blend animation, frame and weight for the next update; with a target
// matrix the lump's matrix is also blended toward it by the weight (rotation by normalised
// linear blending, translation in proportion). Returns the wrapped time.
float bz_Skeleton_StepAnimToward(bzLump *lump, bzAnimation *animation, float time,
                                 int32_t rootMotion, bzAnimation *blend, int32_t blendFrame,
                                 float blendWeight, const bzM34 *target);
// Makes the animation current at its start without taking the previous root motion out; the
// root is placed (unless physics-driven) so that the first frame's root motion leaves the lump
// where it is, levelled upright when asked.
void bz_Skeleton_AdvanceAnim(bzLump *lump, bzAnimation *animation, int32_t upright);
