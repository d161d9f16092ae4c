// Skeletal animations: per frame a root position and one model-space rotation per bone,
// played on skin instances. The record here is what the skeleton update samples.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzAnimation
{
    uint16_t fps;
    int16_t nameTable; // bone-name table slot, -1: bones in skeleton order
    int32_t frameCount;
    int32_t boneCount;
    bzV3 *rootPositions;     // frameCount root-bone positions, model space
    bzQuat *rotations;       // frameCount x boneCount, frame-major, model space
    bzV3 *motionPositions;   // root-motion positions, null until extracted
    bzQuat *motionRotations; // root-motion rotations, null until extracted
};

// An animation of at least one frame and one bone at 25 frames per second: rotations the
// identity, root positions and root motion zero, no name table. From the element pool when
// poolId is above 0, else from the heap. Null with 29 for counts below 1 or above 65,535
// frames or 50 bones, 14 without memory.
bzAnimation *bz_CreateAnimation(int32_t poolId, int32_t frameCount, int32_t boneCount);
// Frees the animation and its tracks; poolId as given to the creation.
void bz_ReleaseAnimation(bzAnimation *animation, int32_t poolId);
