// Root motion of animations: the travel of the whole body taken out of an animation into its
// motion tracks once, when the game prepares a character type, and the operations that turn,
// move and scale those tracks.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzAnimation;
struct bzModel;

// Fills the motion tracks from the weighted positions of the listed bones in every frame (y
// kept only with keepHeight). With a forward or an up axis (each turned by the bones' weighted
// rotations; defaults (0, 0, 1) and (0, 1, 0)) each frame also gets a motion rotation of the
// levelled frame they span, and its root position and bone rotations are made relative to it.
// 0, or 29 for a model without skeleton, no bones, a bone out of range, 14 without memory.
int32_t bz_Animation_ExtractRootMotion(bzAnimation *animation, const bzModel *model,
                                       int32_t keepHeight, int32_t count, const int16_t *bones,
                                       const float *weights, const bzV3 *forwardAxis,
                                       const bzV3 *upAxis);
// Turns the motion tracks about their first position so that the travel points along the
// direction; nothing for an animation without tracks or that does not travel in x-z.
void bz_Animation_AlignTravel(bzAnimation *animation, const bzV3 *direction);
// The last motion position minus the first; 0, or 29 without tracks (out zero).
int32_t bz_AnimTrack_GetDisplacement(const bzAnimation *animation, bzV3 *out);
// Shifts the motion positions in x and z so that the first lies at the point.
void bz_AnimTrack_MoveStartTo(bzAnimation *animation, const bzV3 *point);
// Multiplies the root positions and the motion positions by the factor.
void bz_Animation_Scale(bzAnimation *animation, float factor);
