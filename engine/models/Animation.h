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

// Reads an ".ANM" file: version (below 0x101 without the encoding flags), encoding flags (bit
// 0 four bytes, bit 1 four u16, else four f32 a rotation, stored x, z, y, w), frame rate, frame
// and bone counts, 32-byte bone names, then per frame the root position and the rotations.
// The names enter the bone-name tables. Null with "Couldn't load <path>" on the debug output
// for a missing file (19) or a bad one (59: no frames, no bones or more than 50, frame rate 0,
// counts past the file's size).
bzAnimation *bz_LoadAnimation(int32_t poolId, const char *path);
// Writes the ".ANM" file at version 0x101 with f32 rotations. With root-motion tracks the
// frames are written recombined: root := motion rotation applied to the root position plus
// the motion position, rotation := motion rotation x rotation. 0, 29 for no animation, 19 when
// the file cannot be made, 59 when a write fails.
int32_t bz_SaveAnimation(const bzAnimation *animation, const char *path);
