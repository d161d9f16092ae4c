// The emitter payload of containers: every version read, version 0x106 written byte for byte,
// damaged and lying payloads refused, a container round trip and a bounded fuzz of the reader
// and writer over mutated payloads.
#include "FakeScene.h"
#include "TestSupport.h"

#include "core/Bytes.h"
#include "ContainerBytes.h"
#include "core/Error.h"
#include "device/ImageRecord.h"
#include "files/File.h"
#include "scene/Container.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"
#include "scene/ParticleEmit.h"
#include "scene/ParticleSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

// Image maps found by path, named by it, counted.
class FakeImages
{
public:
    static inline FakeImages *current;
    FakeImages()
    {
        current = this;
        const bzSceneImageServices services = {
            [](const char *path) -> bz_IMGMAP *
            {
                if (std::strstr(path, "MISSING"))
                    return nullptr;
                return current->Make(path);
            },
            [](bz_IMGMAP *i) { i->refCount++; },
            [](bz_IMGMAP *i) { i->refCount--; },
            []() -> bz_IMGMAP * { return current->Make(""); },
            [](bz_IMGMAP *, const bzColour *, int32_t) -> int32_t { return 0; },
            nullptr,
        };
        bz_Scene_SetImageServices(&services);
    }
    ~FakeImages()
    {
        bz_Scene_SetImageServices(nullptr);
        current = nullptr;
    }
    bz_IMGMAP *Make(const std::string &name)
    {
        names.push_back(std::make_unique<std::string>(name));
        images.push_back(std::make_unique<bz_IMGMAP>());
        bz_IMGMAP *i = images.back().get();
        i->name = names.back()->data();
        i->refCount = 1;
        return i;
    }
    std::vector<std::unique_ptr<std::string>> names;
    std::vector<std::unique_ptr<bz_IMGMAP>> images;
};

// A version 0x106 payload of chosen values, field by field.
Bytes Payload106(const char *texture, uint32_t shape, float shape1, float shape2, uint32_t flags,
                 uint32_t drawKind, const char *model)
{
    Bytes b;
    b.U16(0x106).U32(shape).U32(drawKind).F32(2.5f).F32(0.25f).F32(8.0f).F32(3.0f);
    b.Name(texture);
    b.F32(4.0f).F32(0.0f).F32(-9.8f).F32(0.5f);          // life, acceleration
    b.F32(0.1f).F32(0.3f).F32(12.0f);                    // sizes, maximum speed
    b.F32(0.0f).F32(0.6f).F32(0.8f).F32(5.0f).F32(0.2f); // direction, speed, variance
    b.F32(5.0f).F32(30.0f);                              // cone
    b.F32(shape1).F32(shape2).F32(shape1).F32(shape2);   // shape words twice
    b.F32(40.0f).F32(0.7f).U32(0xFF808080u).U32(0x00102030u);
    b.U32(1).U32(2).F32(0.4f).F32(1.5f).U32(flags);
    b.F32(1.0f).F32(0.2f).F32(1.0f).F32(1.0f);
    b.U32(drawKind == 1 ? 1 : 0);
    if (drawKind == 1)
        b.Text(model, 32);
    return b;
}

bzParticleSystem *Read(const Bytes &b, const char *folder = "", size_t *consumed = nullptr)
{
    const uint8_t *p = b.b.data();
    bzParticleSystem *s = bz_ParticleSystem_ReadEmit(&p, b.b.data() + b.b.size(), folder);
    if (consumed)
        *consumed = (size_t)(p - b.b.data());
    return s;
}

std::vector<uint8_t> Write(const bzParticleSystem *s, int32_t *count = nullptr)
{
    bzFileHandle *f = bz_FileOpen("emit.bin", "wb");
    EXPECT_NE(f, nullptr);
    const int32_t n = bz_ParticleSystem_WriteEmit(s, f);
    bz_FileClose(f);
    if (count)
        *count = n;
    std::ifstream in("emit.bin", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int32_t Systems()
{
    bzParticleStats stats;
    bz_ParticleSystem_GetStats(&stats);
    return stats.systems;
}

class EmitTest : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    FakeImages images;
    int32_t systemsBefore = Systems();
    void TearDown() override { EXPECT_EQ(Systems(), systemsBefore); }
};

TEST_F(EmitTest, Version106RoundTripsByteForByte)
{
    FakeModels models;
    const uint32_t flags = BZ_PS_LIVE | BZ_PS_CONE | BZ_PS_ACCELERATE | BZ_PS_LISTED;
    const Bytes in = Payload106("smoke", 2, 0.5f, 1.5f, flags, 1, "puff");
    size_t consumed = 0;
    bzParticleSystem *s = Read(in, "", &consumed);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(consumed, in.b.size());
    EXPECT_EQ(s->shapeKind, 2u);
    EXPECT_EQ(s->shape1.width, 0.5f);
    EXPECT_EQ(s->shape2.height, 1.5f);
    EXPECT_EQ(s->drawKind, 1u);
    ASSERT_NE(s->texture, nullptr);
    EXPECT_STREQ(s->texture->name, "smoke");
    ASSERT_NE(s->model, nullptr);
    EXPECT_STREQ(s->model->name, "puff");
    // The model has no material entries: layer 0 gets a material of the start colour.
    ASSERT_NE(s->layers[0].material, nullptr);
    EXPECT_STREQ(s->layers[0].material->name, "Emitter material");
    EXPECT_EQ(s->layers[0].material->colour, 0xFF808080u);
    EXPECT_EQ(s->emissionRate, 40.0f);
    EXPECT_EQ(s->particleLife, 1.5f);
    EXPECT_EQ(s->endColour, 0x00102030u);
    EXPECT_EQ(s->layers[1].mode, 2u);
    int32_t count = 0;
    const std::vector<uint8_t> out = Write(s, &count);
    EXPECT_EQ(out, in.b);
    EXPECT_EQ(count, (int32_t)in.b.size());
    bz_ParticleSystem_Free(s);
}

TEST_F(EmitTest, NoTextureWritesLengthZero)
{
    const Bytes in = Payload106("", 1, 2.0f, 3.0f, BZ_PS_LIVE | BZ_PS_LISTED, 0, "");
    bzParticleSystem *s = Read(in);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->texture, nullptr);
    const std::vector<uint8_t> out = Write(s);
    EXPECT_EQ(out, in.b);
    EXPECT_EQ(bz_GetU32LE(out.data() + 2 + 4 + 4 + 16), 0u);
    bz_ParticleSystem_Free(s);
}

// Version 0x100: one size for both, launch vectors, ends after the flags; the render factors'
// first two and the scale word are 1.0.
TEST_F(EmitTest, Version100)
{
    Bytes b;
    b.U16(0x100).U32(0).F32(1).F32(0).F32(0).F32(0).Name("");
    b.F32(0).F32(0).F32(0).F32(0).F32(0.5f).F32(0); // life, acceleration, size, max speed
    b.F32(0).F32(0).F32(2).F32(0).F32(0).F32(4);    // A, B
    b.F32(0).F32(10).U32(0).U32(0).U32(0).U32(0);   // cone, shape words
    b.F32(5).F32(0).U32(0xFFFFFFFF).U32(0).U32(1).U32(0).F32(1).F32(2).U32(BZ_PS_LIVE);
    size_t consumed = 0;
    bzParticleSystem *s = Read(b, "", &consumed);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(consumed, b.b.size());
    EXPECT_EQ(s->startSize, 0.5f);
    EXPECT_EQ(s->endSize, 0.5f);
    EXPECT_EQ(s->renderFactors[0], 1.0f);
    EXPECT_EQ(s->renderFactors[1], 1.0f);
    EXPECT_EQ(s->renderFactors[2], 1.0f);
    EXPECT_EQ(s->scaleWord, 1.0f);
    EXPECT_FLOAT_EQ(s->speed, 3.0f);
    EXPECT_FLOAT_EQ(s->speedVariance, 2.0f);
    EXPECT_FLOAT_EQ(s->direction.z, 1.0f);
    // The system stays listed whatever the stored flags say.
    EXPECT_TRUE(s->flags & BZ_PS_LISTED);
    bz_ParticleSystem_Free(s);
}

// Older layouts of the launch: two vectors (0x101, 0x102), a direction carrying the speed
// (0x103), and where each version ends.
TEST_F(EmitTest, OlderVersionsOfTheLaunch)
{
    struct Case
    {
        uint16_t version;
        float dirZ, speed, variance;
        size_t tail; // bytes after the flags
    } cases[] = {{0x101, 1, 3, 2, 0},
                 {0x102, 1, 3, 2, 16},
                 {0x103, 0.8f, 5, 0.25f, 16},
                 {0x104, 0.8f, 5, 0.25f, 16},
                 {0x105, 0.8f, 5, 0.25f, 20}};
    for (const Case &c : cases)
    {
        Bytes b;
        b.U16(c.version).U32(0).F32(1).F32(0).F32(0).F32(0).Name("");
        b.F32(0).F32(0).F32(0).F32(0).F32(0.1f).F32(0.2f).F32(0);
        if (c.version <= 0x102)
            b.F32(0).F32(0).F32(2).F32(0).F32(0).F32(4);
        else if (c.version == 0x103)
            b.F32(0).F32(3).F32(4).F32(0.25f);
        else
            b.F32(0).F32(0.6f).F32(0.8f).F32(5).F32(0.25f);
        b.F32(0).F32(10).U32(0).U32(0).U32(0).U32(0);
        b.F32(5).F32(0).U32(0xFFFFFFFF).U32(0).U32(1).U32(0).F32(1).F32(2).U32(BZ_PS_LIVE);
        if (c.tail >= 16)
            b.F32(0.5f).F32(0.6f).F32(0.7f).F32(0.8f);
        if (c.tail == 20)
            b.U32(0);
        size_t consumed = 0;
        bzParticleSystem *s = Read(b, "", &consumed);
        ASSERT_NE(s, nullptr) << c.version;
        EXPECT_EQ(consumed, b.b.size()) << c.version;
        EXPECT_FLOAT_EQ(s->direction.z, c.dirZ) << c.version;
        EXPECT_FLOAT_EQ(s->speed, c.speed) << c.version;
        EXPECT_FLOAT_EQ(s->speedVariance, c.variance) << c.version;
        EXPECT_EQ(s->endSize, 0.2f);
        EXPECT_EQ(s->scaleWord, c.tail ? 0.8f : 1.0f) << c.version;
        bz_ParticleSystem_Free(s);
    }
}

TEST_F(EmitTest, SecondShapePairIsKept)
{
    Bytes b = Payload106("", 2, 0, 0, BZ_PS_LIVE, 0, "");
    // The first pair sits after the cone.
    const size_t first = 2 + 4 + 4 + 16 + 4 + 4 + 12 + 12 + 12 + 8 + 8;
    bz_PutF32LE(b.b.data() + first, 1.0f);
    bz_PutF32LE(b.b.data() + first + 4, 2.0f);
    bz_PutF32LE(b.b.data() + first + 8, 3.0f);
    bz_PutF32LE(b.b.data() + first + 12, 4.0f);
    bzParticleSystem *s = Read(b);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->shape1.width, 3.0f);
    EXPECT_EQ(s->shape2.height, 4.0f);
    bz_ParticleSystem_Free(s);
}

TEST_F(EmitTest, UnknownVersionGivesDefaultsAndConsumesTheVersion)
{
    for (uint16_t v : {0x0FFu, 0x107u, 0u})
    {
        Bytes b;
        b.U16(v).U32(77).U32(88);
        size_t consumed = 0;
        bzParticleSystem *s = Read(b, "", &consumed);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(consumed, 2u);
        EXPECT_EQ(s->shapeKind, 0u);
        EXPECT_EQ(s->accumulator, 1.0f);
        bz_ParticleSystem_Free(s);
    }
}

// Damaged payloads: cut at every length, a name longer than the data, unknown shape kinds,
// floats that are not numbers. Each is refused with 59 and leaves nothing behind.
TEST_F(EmitTest, DamagedPayloadsAreRefused)
{
    const Bytes good = Payload106("smoke", 1, 1, 1, BZ_PS_LIVE, 0, "");
    for (size_t n = 0; n < good.b.size(); n++)
    {
        Bytes cut;
        cut.b.assign(good.b.begin(), good.b.begin() + (long)n);
        bzgLastError = 0;
        const uint8_t *p = cut.b.data();
        EXPECT_EQ(bz_ParticleSystem_ReadEmit(&p, cut.b.data() + n, ""), nullptr) << n;
        EXPECT_EQ(bzgLastError, 59) << n;
        EXPECT_EQ(p, cut.b.data());
    }
    const size_t nameAt = 2 + 4 + 4 + 16;
    for (uint32_t lie : {6u, 1000u, 0xFFFFFFF0u, 0xFFFFFFFFu})
    {
        Bytes b = good;
        bz_PutU32LE(b.b.data() + nameAt, lie);
        if (lie == 6u)
            b.b.resize(nameAt + 4 + 5); // the name cut one byte short, nothing after it
        bzgLastError = 0;
        EXPECT_EQ(Read(b), nullptr) << lie;
        EXPECT_EQ(bzgLastError, 59);
    }
    for (uint32_t kind : {6u, 99u, 0xFFFFFFFFu})
    {
        Bytes b = Payload106("", kind, 1, 1, BZ_PS_LIVE, 0, "");
        EXPECT_EQ(Read(b), nullptr) << kind;
        EXPECT_EQ(bzgLastError, 59);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf})
    {
        Bytes b = good;
        bz_PutF32LE(b.b.data() + nameAt + 4 + 5, bad); // the emitter life
        EXPECT_EQ(Read(b), nullptr);
        EXPECT_EQ(bzgLastError, 59);
    }
}

// Clouds and polylines keep their points in memory: a payload naming them reads as the point
// shape, and such a system is written as the point shape.
TEST_F(EmitTest, PointListShapesBecomeThePointShape)
{
    for (uint32_t kind : {3u, 4u})
    {
        Bytes b = Payload106("", kind, 0, 0, BZ_PS_LIVE, 0, "");
        bz_PutU32LE(b.b.data() + 2 + 4 + 4 + 16 + 4 + 4 + 12 + 12 + 12 + 8 + 8, 12345);
        bzParticleSystem *s = Read(b);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->shapeKind, 0u);
        EXPECT_EQ(s->shape2.points, nullptr);
        bz_ParticleSystem_UpdateBy(0.0f);
        bz_ParticleSystem_Free(s);
    }
    bzParticleSystem *s = bz_ParticleSystem_New();
    const bzV3 pts[3] = {{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{1, 1, 0}}}};
    ASSERT_EQ(bz_ParticleSystem_SetPolylineShape(s, 3, pts), 0);
    const std::vector<uint8_t> out = Write(s);
    ASSERT_GT(out.size(), 70u);
    EXPECT_EQ(bz_GetU32LE(out.data() + 2), 0u);
    const size_t words = 2 + 4 + 4 + 16 + 4 + 4 + 12 + 12 + 12 + 8 + 8;
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(bz_GetU32LE(out.data() + words + 4 * k), 0u);
    bz_ParticleSystem_Free(s);
}

TEST_F(EmitTest, ContainerCarriesEmitters)
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzParticleSystem *s = nullptr;
    bzLump *emitter = bz_Lump_CreateEmitter("sparks", &s);
    bz_Lump_Attach(root, emitter);
    bz_Lump_Attach(emitter, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "below"));
    bz_ParticleSystem_SetRectangleShape(s, 2.0f, 3.0f);
    s->emissionRate = 25.0f;
    s->texture = images.Make("fx/spark");
    ASSERT_EQ(bz_Lump_SaveCNT("level", root, 0), 0);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(images.images.back()->refCount, 0);

    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr);
    bzLump *e = bz_Lump_FindByName(loaded, "sparks");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->type, BZ_LUMP_TYPE_PARTICLE_EMITTER);
    bzParticleSystem *back = static_cast<bzParticleSystem *>(e->object);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->lump, e);
    EXPECT_EQ(back->shapeKind, 1u);
    EXPECT_EQ(back->shape1.width, 2.0f);
    EXPECT_EQ(back->emissionRate, 25.0f);
    ASSERT_NE(back->texture, nullptr);
    // The texture is looked up in the container's folder by its file name.
    EXPECT_STREQ(back->texture->name, "spark");
    ASSERT_NE(e->firstChild, nullptr);
    EXPECT_STREQ(e->firstChild->name, "below");
    bz_Lump_DestroyTree(loaded);
}

// Reading a mutated payload either fails with 59 or gives a system whose written payload
// reads back to the same payload.
TEST_F(EmitTest, FuzzedPayloadsRoundTrip)
{
    std::mt19937 rng(20261210);
    const Bytes starts[] = {Payload106("smoke", 2, 0.5f, 1.5f, BZ_PS_LIVE, 0, ""),
                            Payload106("", 1, 1, 2, 0xFFFFFFFF, 1, "m")};
    const auto stop = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
    int parsed = 0, refused = 0;
    while (std::chrono::steady_clock::now() < stop)
    {
        Bytes b = starts[rng() % 2];
        const int edits = 1 + (int)(rng() % 4);
        for (int k = 0; k < edits; k++)
        {
            const size_t at = rng() % b.b.size();
            switch (rng() % 4)
            {
            case 0: b.b[at] = (uint8_t)rng(); break;
            case 1: b.b[at] ^= (uint8_t)(1u << (rng() % 8)); break;
            case 2: b.b.resize(at); break;
            default: b.b.insert(b.b.begin() + (long)at, (uint8_t)rng()); break;
            }
            if (b.b.empty())
                break;
        }
        bzgLastError = 0;
        bzParticleSystem *s = Read(b);
        if (!s)
        {
            ASSERT_EQ(bzgLastError, 59);
            refused++;
            continue;
        }
        parsed++;
        const std::vector<uint8_t> once = Write(s);
        bz_ParticleSystem_Free(s);
        Bytes again;
        again.b = once;
        size_t consumed = 0;
        bzParticleSystem *t = Read(again, "", &consumed);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(consumed, once.size());
        ASSERT_EQ(Write(t), once);
        bz_ParticleSystem_Free(t);
    }
    EXPECT_GT(parsed, 20);
    EXPECT_GT(refused, 20);
}
} // namespace
