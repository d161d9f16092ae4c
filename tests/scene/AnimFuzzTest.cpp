// Bounded random tests of the animation file reader: random valid files written field by field
// read back to what was written; mutated files load or fail with a code, never crash, never
// read past their bytes and leave no memory behind.
#include "scene/Anim.h"

#include "core/Memory.h"
#include "scene/AnimTestSupport.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace
{
// What a generated file holds, channel by channel, values as the file's words.
struct ChannelModel
{
    uint32_t kind, format;
    std::vector<float> times;
    std::vector<std::vector<uint32_t>> words;
};
struct FileModel
{
    float length;
    std::vector<std::vector<ChannelModel>> tracks;
    std::vector<std::string> names;
};

const char *const kNames[] = {"Root", "Body", "Wheel", "Door", "Lid"};
const uint32_t kRowSizes[8] = {0, 12, 36, 60, 52, 4, 4, 4};
const uint32_t kRowOfKind[8] = {0, 2, 3, 4, 1, 5, 7, 0};

FileModel Generate(std::mt19937 &rng)
{
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    FileModel m;
    m.length = std::uniform_real_distribution<float>(0.1f, 10.0f)(rng);
    const uint32_t trackCount = rng() % 5;
    m.tracks.resize(trackCount);
    for (auto &track : m.tracks)
    {
        const uint32_t channels = rng() % 5;
        for (uint32_t c = 0; c < channels; c++)
        {
            ChannelModel ch;
            ch.kind = 1 + rng() % 7;
            ch.format = ch.kind == 7 ? rng() % 8 : kRowOfKind[ch.kind];
            const uint32_t keys = rng() % 5;
            float t = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
            for (uint32_t k = 0; k < keys; k++)
            {
                ch.times.push_back(t);
                t += std::uniform_real_distribution<float>(0.0f, 2.0f)(rng);
                std::vector<uint32_t> w(kRowSizes[ch.format] / 4);
                for (uint32_t &x : w)
                    x = std::bit_cast<uint32_t>(value(rng));
                if (ch.format == 3)
                    w[0] = rng(); // the further word may hold anything
                if (ch.format == 4)
                    w[0] = rng() % trackCount;
                if (ch.format == 7)
                    w[0] = rng();
                ch.words.push_back(w);
            }
            track.push_back(ch);
        }
    }
    for (uint32_t i = 0; i < trackCount; i++)
        m.names.push_back(kNames[rng() % 5]);
    return m;
}

std::vector<uint8_t> Write(const FileModel &m)
{
    AnimBytes f;
    f.Header(m.length, (uint32_t)m.tracks.size());
    for (const auto &track : m.tracks)
    {
        for (const ChannelModel &ch : track)
        {
            f.Channel(ch.kind, ch.format, (uint32_t)ch.times.size());
            for (size_t k = 0; k < ch.times.size(); k++)
            {
                f.F32(ch.times[k]);
                for (uint32_t w : ch.words[k])
                    f.U32(w);
            }
        }
        f.EndTrack();
    }
    f.U32((uint32_t)m.names.size());
    for (const std::string &n : m.names)
        f.Name(n.c_str());
    return f.b;
}

bzKeyAnim *LoadExact(const std::vector<uint8_t> &bytes, Collected *extra)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    return bz_Anim_LoadMemory(bytes.empty() ? nullptr : copy.get(), (uint32_t)bytes.size(),
                              Collected::Take, extra);
}

// The channel holds the model's keys; rotation keys keep their first file word last.
void ExpectSame(const bzAnimChannel *c, const ChannelModel &m)
{
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, m.kind);
    EXPECT_EQ(c->format, m.format);
    ASSERT_EQ(c->count, m.times.size());
    const uint32_t size = kRowSizes[m.format];
    for (size_t k = 0; k < m.times.size(); k++)
    {
        EXPECT_EQ(c->times[k], m.times[k]);
        std::vector<uint32_t> memory(m.words[k]);
        if (m.format == 3)
        {
            memory.erase(memory.begin());
            memory.push_back(m.words[k][0]);
        }
        if (size)
        {
            EXPECT_EQ(std::memcmp(c->values + k * size, memory.data(), size), 0) << "key " << k;
        }
    }
}

TEST(AnimFuzz, ValidFilesWrittenFieldByFieldReadBack)
{
    std::mt19937 rng(1234);
    const auto start = std::chrono::steady_clock::now();
    int files = 0;
    // At least 30 files however slow the machine, then as many as a second allows.
    while (files < 400 &&
           (files < 30 || std::chrono::steady_clock::now() - start < std::chrono::seconds(1)))
    {
        files++;
        const FileModel m = Generate(rng);
        Collected extra;
        bzKeyAnim *anim = LoadExact(Write(m), &extra);
        ASSERT_NE(anim, nullptr) << "file " << files << " error " << bzgLastError;
        EXPECT_EQ(anim->length, m.length);
        ASSERT_EQ(anim->trackCount, m.tracks.size());
        ASSERT_EQ(anim->nameCount, m.names.size());
        size_t handed = 0;
        for (size_t t = 0; t < m.tracks.size(); t++)
        {
            EXPECT_EQ(std::string(anim->names[t], strnlen(anim->names[t], 16)), m.names[t]);
            // The last channel of each kept kind is in its slot; the others went to the callback.
            const ChannelModel *kept[4] = {};
            for (const ChannelModel &ch : m.tracks[t])
            {
                if (ch.kind <= 3)
                    kept[ch.kind] = &ch;
                else
                {
                    ASSERT_LT(handed, extra.channels.size());
                    ExpectSame(extra.channels[handed++], ch);
                }
            }
            const bzAnimChannel *slots[4] = {nullptr, anim->tracks[t].position,
                                             anim->tracks[t].rotation, anim->tracks[t].parent};
            for (int kind = 1; kind <= 3; kind++)
            {
                if (kept[kind])
                    ExpectSame(slots[kind], *kept[kind]);
                else
                    EXPECT_EQ(slots[kind], nullptr);
            }
        }
        EXPECT_EQ(handed, extra.channels.size());
        bz_Anim_Destroy(anim);
    }
}

// Mutations of valid files: each loads into a sound animation that plays on a tree, or fails
// with 58 or 59; nothing is left allocated either way.
TEST(AnimFuzz, MutatedFilesLoadSoundlyOrFailWithACode)
{
    std::mt19937 rng(99);
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 0; i < 8; i++)
        seeds.push_back(Write(Generate(rng)));
    const auto start = std::chrono::steady_clock::now();
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    int loaded = 0, refused = 0;
    for (int round = 0; round < 20000 && (round < 500 || std::chrono::steady_clock::now() - start <
                                                             std::chrono::milliseconds(1500));
         round++)
    {
        std::vector<uint8_t> bytes = seeds[rng() % seeds.size()];
        const int mutations = 1 + rng() % 4;
        for (int k = 0; k < mutations && !bytes.empty(); k++)
        {
            const size_t at = rng() % bytes.size();
            switch (rng() % 5)
            {
            case 0: bytes[at] ^= (uint8_t)(1u << (rng() % 8)); break;
            case 1: bytes[at] = (uint8_t)rng(); break;
            case 2: bytes.resize(at); break;
            case 3: bytes.insert(bytes.begin() + at, (uint8_t)rng()); break;
            default: bytes.erase(bytes.begin() + at); break;
            }
        }
        Collected extra;
        bzgLastError = 0;
        bzKeyAnim *anim = LoadExact(bytes, &extra);
        if (!anim)
        {
            refused++;
            EXPECT_TRUE(bzgLastError == 58 || bzgLastError == 59) << bzgLastError;
            continue;
        }
        loaded++;
        // What a loaded animation promises.
        EXPECT_TRUE(std::isfinite(anim->length) && anim->length > 0.0f);
        EXPECT_EQ(anim->nameCount, anim->trackCount);
        for (uint32_t t = 0; t < anim->trackCount; t++)
            for (const bzAnimChannel *c :
                 {anim->tracks[t].position, anim->tracks[t].rotation, anim->tracks[t].parent})
                for (int k = 1; c && k < c->count; k++)
                    EXPECT_LE(c->times[k - 1], c->times[k]);
        AnimTree tree;
        bzLump *door = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Door");
        bz_Lump_AppendChild(tree.wheel, door);
        bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
        for (float t : {-1.0f, 0.0f, 0.37f, 1.5f, 4.0f, 123.0f})
            bz_AnimInstance_SetTime(instance, t);
        for (bzAnimChannel *c : extra.channels)
        {
            if (c->kind == BZ_ANIM_KIND_EVENTS)
            {
                int reported = 0;
                const bzAnimEventSink sink = {
                    [](const void *, uint8_t, int32_t, void *user) { ++*(int *)user; }, &reported};
                bz_AnimChannel_Evaluate(c, -std::numeric_limits<float>::infinity(), (void *)&sink,
                                        std::numeric_limits<float>::infinity());
                EXPECT_EQ(reported, c->count);
            }
            else
            {
                float out[16];
                bz_AnimChannel_Evaluate(c, 0.5f, out, 0.5f);
            }
        }
        bz_Anim_Destroy(anim);
    }
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}
} // namespace
