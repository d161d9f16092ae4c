// A skinned model over a skeleton whose arrays the test owns: the skeleton's bones, bind pose
// and offsets are wired and it is put on a new model's part. The test takes the skeleton off
// the part (part->skeleton = nullptr) before it releases the model.
#pragma once

#include "models/Model.h"
#include "models/Skeleton.h"

inline bzModel *MakeSkinnedModel(bzSkeleton &skeleton, int16_t boneCount, int16_t nameTable,
                                 bzSkeletonBone *bones, bzBonePose *bind, bzV3 *offsets)
{
    skeleton.boneCount = boneCount;
    skeleton.nameTable = nameTable;
    skeleton.bones = bones;
    skeleton.bindPose = bind;
    skeleton.boneOffsets = offsets;
    bzModel *model = bz_CreateModel(0, 0);
    bz_CreateModelPart(model)->skeleton = &skeleton;
    return model;
}
