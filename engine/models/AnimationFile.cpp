#include "models/Animation.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/ModelAccess.h"
#include "models/ModelFileCursor.h"

#include <cmath>
#include <vector>

namespace
{
constexpr int16_t kVersion = 0x101;
constexpr uint16_t kBytes = 0x1;
constexpr uint16_t kShorts = 0x2;
constexpr int32_t kMaxBones = 50;
constexpr int32_t kNameBytes = 32;

// Stored x, z, y, w.
bzQuat FromStored(float a, float b, float c, float d)
{
    return bzQuat{{a, c, b, d}};
}

bzQuat Normalised(bzQuat q)
{
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 0.0f))
        return bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
    for (float &c : q.v)
        c /= length;
    return q;
}

bzQuat ReadRotation(bzModelCursor &in, uint16_t encoding)
{
    float c[4];
    if (encoding & kBytes)
    {
        constexpr float kByteStep = 1.0f / 127.0f;
        for (float &v : c)
            v = static_cast<float>(in.U8()) * kByteStep - 1.0f;
        return Normalised(FromStored(c[0], c[1], c[2], c[3]));
    }
    if (encoding & kShorts)
    {
        for (float &v : c)
            v = static_cast<float>(in.U16()) * (1.0f / 65535.0f) * 2.0f - 1.0f;
        return Normalised(FromStored(c[0], c[1], c[2], c[3]));
    }
    for (float &v : c)
        v = in.F32();
    return FromStored(c[0], c[1], c[2], c[3]);
}

bzAnimation *Refuse(const char *path, bzErrorCode code, const void *file, bzAnimation *animation,
                    int32_t poolId)
{
    bz_MemFree(const_cast<void *>(file));
    bz_ReleaseAnimation(animation, poolId);
    bz_DebugPrint("Couldn't load %s", path ? path : "");
    bzgLastError = code;
    return nullptr;
}

bzAnimation *Parse(int32_t poolId, const char *path, const uint8_t *bytes, int32_t length)
{
    bzModelCursor in{bytes, bytes + length};
    const auto version = static_cast<int16_t>(in.U16());
    const uint16_t encoding = version >= kVersion ? in.U16() : 0;
    const uint16_t fps = in.U16();
    const auto frames = static_cast<int32_t>(in.U32());
    const auto bones = static_cast<int32_t>(in.U32());
    if (in.bad || fps == 0 || frames < 1 || bones < 1 || bones > kMaxBones)
        return Refuse(path, BZ_ERROR_BAD_DATA_FORMAT, bytes, nullptr, poolId);
    const uint64_t rotationBytes = (encoding & kBytes) ? 4 : (encoding & kShorts) ? 8 : 16;
    const uint64_t frameBytes = 12 + rotationBytes * static_cast<uint64_t>(bones);
    if (!in.Need(static_cast<uint64_t>(kNameBytes) * bones) ||
        in.Left() - static_cast<uint64_t>(kNameBytes) * bones <
            frameBytes * static_cast<uint64_t>(frames))
        return Refuse(path, BZ_ERROR_BAD_DATA_FORMAT, bytes, nullptr, poolId);
    bzAnimation *animation = bz_CreateAnimation(poolId, frames, bones);
    if (!animation)
        return Refuse(path, BZ_ERROR_NO_MEMORY, bytes, nullptr, poolId);
    // The file holds no root motion.
    bz_MemFree(animation->motionPositions);
    bz_MemFree(animation->motionRotations);
    animation->motionPositions = nullptr;
    animation->motionRotations = nullptr;
    animation->fps = fps;
    const auto *names =
        reinterpret_cast<const char *>(in.Take(static_cast<size_t>(kNameBytes) * bones));
    animation->nameTable =
        static_cast<int16_t>(bz_GetBoneNameTable(names, bones, kNameBytes, nullptr));
    for (int32_t f = 0; f < frames; ++f)
    {
        animation->rootPositions[f] = in.V3();
        for (int32_t b = 0; b < bones; ++b)
            animation->rotations[static_cast<size_t>(f) * bones + b] = ReadRotation(in, encoding);
    }
    bz_MemFree(const_cast<uint8_t *>(bytes));
    return animation;
}
} // namespace

bzAnimation *bz_LoadAnimation(int32_t poolId, const char *path)
{
    int32_t length = 0;
    void *file = path ? bz_LoadFileToMemory(path, &length) : nullptr;
    if (!file || length < 0)
        return Refuse(
            path, path && bz_FileExists(path) ? BZ_ERROR_BAD_DATA_FORMAT : BZ_ERROR_FILE_NOT_FOUND,
            file, nullptr, poolId);
    return Parse(poolId, path, static_cast<const uint8_t *>(file), length);
}

int32_t bz_SaveAnimation(const bzAnimation *animation, const char *path)
{
    if (!animation || !path || animation->frameCount < 1 || animation->boneCount < 1)
        return BZ_ERROR_INVALID_PARAMETER;
    const auto frames = static_cast<size_t>(animation->frameCount);
    const auto bones = static_cast<size_t>(animation->boneCount);
    std::vector<uint8_t> out(14 + kNameBytes * bones + frames * (12 + 16 * bones));
    uint8_t *p = out.data();
    bz_PutU16LE(p, kVersion);
    bz_PutU16LE(p + 2, 0);
    bz_PutU16LE(p + 4, animation->fps);
    bz_PutU32LE(p + 6, static_cast<uint32_t>(animation->frameCount));
    bz_PutU32LE(p + 10, static_cast<uint32_t>(animation->boneCount));
    p += 14;
    for (size_t b = 0; b < bones; ++b, p += kNameBytes)
    {
        const char *name =
            animation->nameTable >= 0
                ? bz_GetBoneNameFromTable(animation->nameTable, static_cast<int32_t>(b))
                : nullptr;
        for (int32_t i = 0; name && i < kNameBytes - 1 && name[i]; ++i)
            p[i] = static_cast<uint8_t>(name[i]);
    }
    const bool motion = animation->motionPositions && animation->motionRotations;
    for (size_t f = 0; f < frames; ++f)
    {
        bzV3 root = animation->rootPositions[f];
        if (motion)
        {
            bz_Quat_RotateV3(&animation->motionRotations[f], &root);
            bz_V3_Add(&root, &animation->motionPositions[f]);
        }
        for (float v : root.v)
        {
            bz_PutF32LE(p, v);
            p += 4;
        }
        for (size_t b = 0; b < bones; ++b)
        {
            bzQuat q = animation->rotations[f * bones + b];
            if (motion)
                bz_MulQuatInto(&animation->motionRotations[f], &q, &q);
            for (float v : {q.x, q.z, q.y, q.w})
            {
                bz_PutF32LE(p, v);
                p += 4;
            }
        }
    }
    bzFileHandle *file = bz_FileOpen(path, "wb");
    if (!file)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    const bool written = bz_FileWrite(file, out.data(), out.size()) == out.size();
    const bool closed = bz_FileClose(file) == 0;
    if (!written || !closed)
        return bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
    return 0;
}
