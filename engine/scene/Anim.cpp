// Animation files, instances and the per-frame update.
#include "scene/Anim.h"

#include "core/Bytes.h"
#include "core/Clock.h"
#include "core/Memory.h"
#include "files/File.h"
#include "scene/Lump.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace
{
bzAnimInstance *gInstances; // newest first
bzAnimServices gServices;

constexpr uint16_t kVersion = 0x0300;
constexpr uint32_t kNameBytes = 32; // 16 name characters, 16 skipped
constexpr int32_t kTempStack = 1;

// A bounded little-endian reader over the file's bytes.
struct Reader
{
    const uint8_t *p;
    const uint8_t *end;

    bool Has(uint64_t n) const { return static_cast<uint64_t>(end - p) >= n; }
    uint16_t U16()
    {
        const uint16_t v = bz_GetU16LE(p);
        p += 2;
        return v;
    }
    uint32_t U32()
    {
        const uint32_t v = bz_GetU32LE(p);
        p += 4;
        return v;
    }
};

bzAnimChannel *NewChannel(uint16_t count, uint8_t kind, uint8_t format)
{
    bzAnimChannel *channel =
        static_cast<bzAnimChannel *>(bz_MemAlloc(sizeof(bzAnimChannel), BZ_MEM_CLEAR));
    if (!channel)
        return nullptr;
    channel->kind = kind;
    channel->format = format;
    channel->count = count;
    const uint32_t size = bzAnimChannelKinds[format].size;
    if (count)
    {
        channel->times = static_cast<float *>(bz_MemAlloc(count * 4u, BZ_MEM_CLEAR));
        if (size)
            channel->values = static_cast<uint8_t *>(bz_MemAlloc(count * size, BZ_MEM_CLEAR));
        if (!channel->times || (size && !channel->values))
        {
            bz_AnimChannel_Free(channel);
            return nullptr;
        }
    }
    return channel;
}

void FreeTracks(bzKeyAnim *anim)
{
    for (uint32_t i = 0; anim->tracks && i < anim->trackCount; i++)
    {
        bz_AnimChannel_Free(anim->tracks[i].position);
        bz_AnimChannel_Free(anim->tracks[i].rotation);
        bz_AnimChannel_Free(anim->tracks[i].parent);
    }
    bz_MemFree(anim->tracks);
    bz_MemFree(anim->names);
    bz_MemFree(anim);
}

bool Finite(uint32_t word)
{
    return std::isfinite(std::bit_cast<float>(word));
}

// Reads one key value of the row into words (in memory order) and checks it: floats finite,
// parent links to an existing track.
bool ReadValue(Reader &r, int32_t row, uint32_t trackCount, uint32_t words[15])
{
    const uint32_t count = bzAnimChannelKinds[row].size / 4;
    for (uint32_t k = 0; k < count; k++)
        words[k] = r.U32();
    switch (row)
    {
    case 3:
    {
        // The first word of the file goes to the last slot.
        const uint32_t first = words[0];
        for (int k = 0; k < 14; k++)
            words[k] = words[k + 1];
        words[14] = first;
        for (int k = 0; k < 14; k++)
            if (!Finite(words[k]))
                return false;
        return true;
    }
    case 4:
        if (words[0] >= trackCount)
            return false;
        for (int k = 1; k < 13; k++)
            if (!Finite(words[k]))
                return false;
        return true;
    case 7: return true;
    default:
        for (uint32_t k = 0; k < count; k++)
            if (!Finite(words[k]))
                return false;
        return true;
    }
}

// Reads one channel after its kind; null with the code set when the file is damaged.
bzAnimChannel *ReadChannel(Reader &r, uint8_t kind, uint32_t trackCount, bzErrorCode *code)
{
    *code = BZ_ERROR_BAD_DATA_FORMAT;
    if (!r.Has(4))
        return nullptr;
    const uint16_t format = r.U16();
    const uint16_t count = r.U16();
    if (format >= BZ_ANIM_FORMAT_ROWS)
        return nullptr;
    // Keys must be of the size the kind's blend reads.
    const int32_t blendRow = bz_Anim_RowOfKind(kind);
    if (blendRow && bzAnimChannelKinds[blendRow].size != bzAnimChannelKinds[format].size)
        return nullptr;
    const uint32_t size = bzAnimChannelKinds[format].size;
    if (!r.Has(static_cast<uint64_t>(count) * (4 + size)))
        return nullptr;
    bzAnimChannel *channel = NewChannel(count, kind, static_cast<uint8_t>(format));
    if (!channel)
    {
        *code = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (uint32_t i = 0; i < count; i++)
    {
        const uint32_t timeWord = r.U32();
        const float time = std::bit_cast<float>(timeWord);
        uint32_t words[15];
        if (!Finite(timeWord) || (i > 0 && time < channel->times[i - 1]) ||
            !ReadValue(r, format, trackCount, words))
        {
            bz_AnimChannel_Free(channel);
            return nullptr;
        }
        channel->times[i] = time;
        if (size)
            std::memcpy(channel->values + static_cast<size_t>(i) * size, words, size);
    }
    *code = BZ_ERROR_NONE;
    return channel;
}

void Keep(bzAnimChannel **slot, bzAnimChannel *channel)
{
    bz_AnimChannel_Free(*slot);
    *slot = channel;
}

bzKeyAnim *Parse(Reader r, bzAnimChannelFunction callback, void *user, bzErrorCode *code)
{
    *code = BZ_ERROR_BAD_DATA_FORMAT;
    if (!r.Has(12))
        return nullptr;
    if (r.U16() != kVersion)
    {
        *code = BZ_ERROR_OUTDATED_VERSION;
        return nullptr;
    }
    r.U16();
    const float length = std::bit_cast<float>(r.U32());
    const uint32_t trackCount = r.U32();
    // Every track takes at least its end word.
    if (!(std::isfinite(length) && length > 0.0f) || !r.Has(static_cast<uint64_t>(trackCount) * 2))
        return nullptr;
    bzKeyAnim *anim = static_cast<bzKeyAnim *>(bz_MemAlloc(sizeof(bzKeyAnim), BZ_MEM_CLEAR));
    if (!anim)
    {
        *code = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    anim->length = length;
    if (trackCount)
    {
        anim->tracks = static_cast<bzAnimTrack *>(
            bz_MemAlloc(trackCount * static_cast<uint32_t>(sizeof(bzAnimTrack)), BZ_MEM_CLEAR));
        if (!anim->tracks)
        {
            FreeTracks(anim);
            *code = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    anim->trackCount = trackCount;
    for (uint32_t t = 0; t < trackCount; t++)
    {
        for (;;)
        {
            if (!r.Has(2))
            {
                FreeTracks(anim);
                return nullptr;
            }
            const uint16_t kind = r.U16();
            if (kind == 0)
                break;
            bzAnimChannel *channel = nullptr;
            bzErrorCode channelCode = BZ_ERROR_BAD_DATA_FORMAT;
            if (kind < 8)
                channel = ReadChannel(r, static_cast<uint8_t>(kind), trackCount, &channelCode);
            if (!channel)
            {
                *code = channelCode;
                FreeTracks(anim);
                return nullptr;
            }
            bzAnimTrack &track = anim->tracks[t];
            switch (kind)
            {
            case BZ_ANIM_KIND_POSITION: Keep(&track.position, channel); break;
            case BZ_ANIM_KIND_ROTATION: Keep(&track.rotation, channel); break;
            case BZ_ANIM_KIND_PARENT: Keep(&track.parent, channel); break;
            default:
                if (callback)
                    callback(channel, user);
                else
                    bz_AnimChannel_Free(channel);
                break;
            }
        }
    }
    *code = BZ_ERROR_BAD_DATA_FORMAT;
    if (!r.Has(4))
    {
        FreeTracks(anim);
        return nullptr;
    }
    const uint32_t nameCount = r.U32();
    if (nameCount != trackCount || !r.Has(static_cast<uint64_t>(nameCount) * kNameBytes))
    {
        FreeTracks(anim);
        return nullptr;
    }
    if (nameCount)
    {
        anim->names = static_cast<char(*)[BZ_ANIM_NAME_SIZE]>(
            bz_MemAlloc(nameCount * BZ_ANIM_NAME_SIZE, BZ_MEM_CLEAR));
        if (!anim->names)
        {
            FreeTracks(anim);
            *code = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        for (uint32_t i = 0; i < nameCount; i++)
            std::memcpy(anim->names[i], r.p + static_cast<size_t>(i) * kNameBytes,
                        BZ_ANIM_NAME_SIZE);
    }
    anim->nameCount = nameCount;
    *code = BZ_ERROR_NONE;
    return anim;
}

void Unlink(bzAnimInstance *instance)
{
    for (bzAnimInstance **link = &gInstances; *link; link = &(*link)->next)
    {
        if (*link == instance)
        {
            *link = instance->next;
            instance->next = nullptr;
            return;
        }
    }
}
} // namespace

void bz_Anim_SetServices(const bzAnimServices *services)
{
    gServices = services ? *services : bzAnimServices{};
}

uint32_t bz_Anim_RenderFrame()
{
    return gServices.getRenderFrame ? gServices.getRenderFrame() : 0;
}

bzLump *bz_Anim_GetViewportCamera(bzViewport *viewport)
{
    return viewport && gServices.getViewportCamera ? gServices.getViewportCamera(viewport)
                                                   : nullptr;
}

void bz_Anim_SetViewportCamera(bzViewport *viewport, bzLump *camera)
{
    if (viewport && gServices.setViewportCamera)
        gServices.setViewportCamera(viewport, camera);
}

bzAnimChannel *bz_AnimChannel_Create(uint16_t count, uint8_t kind)
{
    if (kind == 0 || kind > 7)
        return nullptr;
    return NewChannel(count, kind, static_cast<uint8_t>(bz_Anim_RowOfKind(kind)));
}

void bz_AnimChannel_Free(bzAnimChannel *channel)
{
    if (!channel)
        return;
    bz_MemFree(channel->times);
    bz_MemFree(channel->values);
    bz_MemFree(channel);
}

bzKeyAnim *bz_Anim_LoadMemory(const uint8_t *data, uint32_t size, bzAnimChannelFunction callback,
                              void *user)
{
    if (!data && size)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzErrorCode code = BZ_ERROR_BAD_DATA_FORMAT;
    bzKeyAnim *anim = Parse(Reader{data, data + size}, callback, user, &code);
    if (!anim)
        bzgLastError = code;
    return anim;
}

bzKeyAnim *bz_Anim_Load(const char *fileName, bzAnimChannelFunction callback, void *user)
{
    if (!fileName)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    uint32_t length = 0;
    uint8_t *buffer = bz_LoadFileToTempStack(fileName, kTempStack, &length);
    if (!buffer)
        return nullptr;
    bzErrorCode code = BZ_ERROR_NONE;
    bzKeyAnim *anim = Parse(Reader{buffer, buffer + length}, callback, user, &code);
    bz_TempStack_Free(kTempStack, buffer);
    if (!anim)
        bzgLastError = code;
    return anim;
}

void bz_Anim_Destroy(bzKeyAnim *anim)
{
    if (!anim)
        return;
    bzAnimInstance **link = &gInstances;
    while (*link)
    {
        bzAnimInstance *instance = *link;
        if (instance->anim == anim)
        {
            *link = instance->next;
            bz_AnimInstance_FreeRecord(instance);
        }
        else
            link = &instance->next;
    }
    FreeTracks(anim);
}

bzAnimInstance *bz_AnimInstance_Create(bzKeyAnim *anim, bzLump *root)
{
    if (!anim)
        return nullptr;
    bzAnimInstance *instance =
        static_cast<bzAnimInstance *>(bz_MemAlloc(sizeof(bzAnimInstance), BZ_MEM_CLEAR));
    if (!instance)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    instance->anim = anim;
    if (anim->nameCount)
    {
        instance->targets = static_cast<bzLump **>(
            bz_MemAlloc(anim->nameCount * static_cast<uint32_t>(sizeof(bzLump *)), BZ_MEM_CLEAR));
        if (!instance->targets)
        {
            bz_MemFree(instance);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    for (uint32_t i = 0; i < anim->nameCount; i++)
    {
        char name[BZ_ANIM_NAME_SIZE + 1];
        std::memcpy(name, anim->names[i], BZ_ANIM_NAME_SIZE);
        name[BZ_ANIM_NAME_SIZE] = 0;
        instance->targets[i] =
            reinterpret_cast<bzLump *>(bz_Lump_Walk(root, bz_Lump_MatchName, name));
    }
    instance->next = gInstances;
    gInstances = instance;
    return instance;
}

void bz_AnimInstance_FreeRecord(bzAnimInstance *instance)
{
    if (!instance)
        return;
    bz_MemFree(instance->targets);
    bz_MemFree(instance);
}

void bz_AnimInstance_Destroy(bzAnimInstance *instance)
{
    if (!instance)
        return;
    Unlink(instance);
    bz_AnimInstance_FreeRecord(instance);
}

void bz_AnimInstance_SetTime(bzAnimInstance *instance, float t)
{
    if (!instance || !std::isfinite(t))
        return;
    const float length = instance->anim->length;
    if (!(length > 0.0f))
        t = 0.0f;
    else if (instance->flags & BZ_ANIM_PLAY_ONCE)
        t = t < 0.0f ? 0.0f : (t > length ? length : t);
    else
        t = t - std::floor(t / length) * length;
    bz_Anim_ApplyAll(instance->anim, instance->targets, t,
                     (instance->flags & BZ_ANIM_ONLY_DRAWN) ? 1 : 0);
    instance->time = t;
}

void bz_AnimInstance_Advance(bzAnimInstance *instance, float dt)
{
    if (instance)
        bz_AnimInstance_SetTime(instance, instance->time + dt);
}

void bz_AnimInstance_SetSpeed(bzAnimInstance *instance, float speed)
{
    if (instance)
        instance->speed = speed;
}

void bz_AnimInstance_Reset(bzAnimInstance *instance)
{
    if (!instance)
        return;
    instance->speed = 0.0f;
    instance->time = 0.0f;
}

void bz_AnimInstance_Pause(bzAnimInstance *instance)
{
    if (instance)
        instance->flags |= BZ_ANIM_STOPPED;
}

void bz_AnimInstance_Resume(bzAnimInstance *instance)
{
    if (instance)
        instance->flags &= ~BZ_ANIM_STOPPED;
}

bzAnimInstance *bz_Anim_FirstInstance()
{
    return gInstances;
}

void bz_Anim_UpdateAll()
{
    float dt = 0.0f;
    if (!bz_Clock_GetFixedFrameTime(&dt))
        dt = static_cast<float>(bz_GetFrameMs()) * 0.001f;
    if (dt == 0.0f)
        return;
    for (bzAnimInstance *instance = gInstances; instance; instance = instance->next)
    {
        if (instance->speed == 0.0f || (instance->flags & BZ_ANIM_STOPPED))
            continue;
        bz_AnimInstance_SetTime(instance, instance->time + dt * instance->speed);
        if ((instance->flags & BZ_ANIM_PLAY_ONCE) &&
            (instance->time == 0.0f || instance->time == instance->anim->length))
            instance->flags |= BZ_ANIM_STOPPED;
    }
}
