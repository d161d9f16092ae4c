// Runs the image, texture and material readers over files written from random content (which
// must read back equal) and over damaged copies of them (which must either load or be refused
// with an error code, leaving no image, material or open file behind and rewriting nothing).
#include "models/ImgFile.h"
#include "models/MaterialFile.h"

#include "ImgFileWriter.h"
#include "ModelsTestSupport.h"

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

// Runs for the given time, but at least the given number of rounds, so that a loaded machine
// still covers the same first cases (the random sequences are fixed).
struct Rounds
{
    Clock::time_point deadline;
    int minimum;
    int done = 0;
    Rounds(int milliseconds, int least)
        : deadline(Clock::now() + std::chrono::milliseconds(milliseconds)), minimum(least)
    {
    }
    bool Next() { return done++ < minimum || Clock::now() < deadline; }
};

std::string Mutate(const std::string &in, std::mt19937 &random)
{
    std::string s = in;
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits; ++e)
    {
        const size_t size = s.size();
        switch (random() % 5)
        {
        case 0:
            if (size)
                s[random() % size] ^= static_cast<char>(1u << (random() % 8));
            break;
        case 1: // a random word, mostly in the header
            if (size >= 4)
            {
                const size_t at = random() % (size < 40 ? size - 3 : 37);
                const uint32_t v = random() % 2 ? random() : random() % 300;
                for (int i = 0; i < 4; ++i)
                    s[at + i] = static_cast<char>(v >> (8 * i));
            }
            break;
        case 2: s.resize(size ? random() % size : 0); break;
        case 3: s.append(random() % 20, static_cast<char>(random())); break;
        default:
            if (size)
                s[random() % size] = static_cast<char>(random());
            break;
        }
    }
    return s;
}

// A random image: its file and the pixels (0xAARRGGBB, or indices) it must read back as.
struct RandomImage
{
    ImgFileLayout layout;
    std::vector<uint32_t> colours;
    std::vector<uint8_t> indices;
};

RandomImage MakeImage(std::mt19937 &random)
{
    RandomImage r;
    ImgFileLayout &s = r.layout;
    s.kind = static_cast<uint8_t>(random() % 5);
    s.width = 1 + random() % 20;
    s.height = 1 + random() % 20;
    const bool runLength = random() % 2;
    s.flags = runLength ? 0x0002 : 0;
    if (random() % 3 == 0)
    {
        s.flags |= 0x0010;
        s.extra = std::string(random() % 9, 'e');
    }
    const size_t n = s.width * s.height;
    // Few distinct values, so that runs occur.
    const uint32_t palette[4] = {static_cast<uint32_t>(random()), static_cast<uint32_t>(random()),
                                 0xFF000000u, static_cast<uint32_t>(random())};
    if (s.kind <= 1)
    {
        for (size_t i = 0; i < n; ++i)
            r.colours.push_back(palette[random() % 4]);
        s.data = runLength ? EncodeRunsARGB(r.colours) : RawARGB(r.colours);
        // Run-length data may not be longer than 4 bytes a pixel: such an image goes raw.
        if (s.data.size() > n * 4)
        {
            s.flags &= static_cast<uint16_t>(~0x0002);
            s.data = RawARGB(r.colours);
        }
        return r;
    }
    const uint32_t range = s.kind == 3 ? 16 : 256;
    const uint8_t base = static_cast<uint8_t>(random() % range);
    for (size_t i = 0; i < n; ++i)
        r.indices.push_back(random() % 3 ? base : static_cast<uint8_t>(random() % range));
    if (s.kind == 3)
    {
        std::vector<uint8_t> packed = PackNibbles(r.indices);
        s.data = runLength ? EncodeRuns8(packed) : RawBytes(packed);
        s.palette.assign(16, 0x00102030);
    }
    else
    {
        s.data = runLength ? EncodeRuns8(r.indices) : RawBytes(r.indices);
        if (s.kind == 4)
            s.palette.assign(256, 0x00405060);
    }
    return r;
}

using AssetFuzzTest = ModelsTest;

TEST_F(AssetFuzzTest, WrittenImagesReadBackAndDamagedOnesNeverHarm)
{
    std::mt19937 random(20261210u);
    Rounds rounds(400, 20);
    int roundTrips = 0, damaged = 0, refused = 0;
    while (rounds.Next())
    {
        const RandomImage r = MakeImage(random);
        const std::string file = BuildImgFile(r.layout);
        Put("f.img", file);
        bz_IMGMAP *image = bz_Image_Load("f");
        ASSERT_NE(image, nullptr) << "kind " << int(r.layout.kind) << " " << r.layout.width << "x"
                                  << r.layout.height << " flags " << r.layout.flags << " error "
                                  << bzgLastError;
        ASSERT_EQ(image->width, static_cast<int16_t>(r.layout.width));
        ASSERT_EQ(image->height, static_cast<int16_t>(r.layout.height));
        ASSERT_EQ(image->extraSize, r.layout.extra.size());
        for (uint32_t y = 0; y < r.layout.height; ++y)
            for (uint32_t x = 0; x < r.layout.width; ++x)
            {
                const size_t i = y * r.layout.width + x;
                if (r.layout.kind <= 1)
                {
                    const uint32_t want =
                        r.layout.kind == 0 ? r.colours[i] | 0xFF000000u : r.colours[i];
                    ASSERT_EQ(Pixel(image, x, y), want) << i;
                }
                else
                    ASSERT_EQ(Index(image, x, y), r.indices[i]) << i;
            }
        bz_ReleaseImgMap(image);
        ++roundTrips;

        for (int k = 0; k < 4; ++k)
        {
            Put("f.img", Mutate(file, random));
            bzgLastError = 0;
            image = bz_Image_Load("f");
            if (image)
                bz_ReleaseImgMap(image);
            else
            {
                const bzErrorCode code = bzgLastError;
                ASSERT_TRUE(code == BZ_ERROR_IMGMAP_VOID || code == BZ_ERROR_OUTDATED_VERSION ||
                            code == BZ_ERROR_NO_MEMORY)
                    << code;
                ++refused;
            }
            ++damaged;
            ASSERT_EQ(bzgImage_count, 0);
            ASSERT_EQ(OpenFiles(), 0);
        }
    }
    EXPECT_GE(roundTrips, 20);
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, damaged);
}

TEST_F(AssetFuzzTest, DamagedTextureHeadersGiveAnImageAPlaceholderOrAnError)
{
    std::mt19937 random(7u);
    const std::string file = BuildTdxFile(0x0200, 64, 32, 0x08, 0x03, 21, "extra", "payload");
    Rounds rounds(150, 100);
    while (rounds.Next())
    {
        Put("t.tdx", Mutate(file, random));
        bzgLastError = 0;
        bz_IMGMAP *image = LoadTdxTexture("t");
        if (image)
        {
            EXPECT_GT(image->width, 0);
            EXPECT_GT(image->height, 0);
            bz_ReleaseImgMap(image);
        }
        else
            ASSERT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
        ASSERT_EQ(bzgImage_count, 0);
        ASSERT_EQ(OpenFiles(), 0);
    }
}

TEST_F(AssetFuzzTest, SavedMaterialsReadBackAndDamagedOnesAreNeverRewritten)
{
    for (const char *name : {"t0.img", "t1.img"})
    {
        ImgFileLayout layout;
        layout.data = RawARGB({0xFF000000});
        Put(name, BuildImgFile(layout));
    }
    uint32_t tableBits = 0;
    for (uint32_t bit = 1; bit; bit <<= 1)
        if (MaterialFlagsToFile(bit))
            tableBits |= bit;
    bzgLoadFlags = BZ_LOADFLAG_FRESH_MATERIALS;
    std::mt19937 random(99u);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Rounds rounds(400, 20);
    int roundTrips = 0;
    while (rounds.Next())
    {
        bzMaterial *m = bz_CreateMaterial("fz", 0);
        const int32_t count = 1 + static_cast<int32_t>(random() % 8);
        ASSERT_EQ(bz_ResizeMaterialLayers(m, count), 0);
        int32_t lastTextured = 0;
        for (int32_t i = 0; i < count; ++i)
        {
            bzMaterialLayer &l = m->layers[i];
            if (random() % 2)
            {
                bz_IMGMAP *image = bz_GetImgMap(random() % 2 ? "t0" : "t1");
                bz_SetMaterialLayerTexture(m, i, image);
                bz_ReleaseImgMap(image);
                lastTextured = i;
            }
            l.blendKind = static_cast<uint8_t>(random() % 6);
            l.alpha = unit(random);
            l.texCoordKind = static_cast<uint8_t>(random() % 12);
            l.effect[0] = unit(random) * 10.0f;
            l.effect[1] = static_cast<float>(random() % 256);
            l.effect[2] = static_cast<float>(random() % 256);
            l.scrollU = unit(random) - 0.5f;
            l.scrollV = unit(random);
            l.addressU = static_cast<uint8_t>(1 + random() % 4);
            l.addressV = static_cast<uint8_t>(1 + random() % 4);
            l.texCoordSet = static_cast<uint8_t>(random() % 2);
            l.flags = static_cast<uint8_t>((i == 0 ? BZ_LAYER_FIRST : 0) | (random() & 0x1C));
        }
        m->materialWord = random();
        m->lighting = unit(random);
        m->materialByte = static_cast<uint8_t>(random());
        m->specular = static_cast<uint16_t>(random());
        m->flags = random() & tableBits;
        for (float &t : m->effectTerms)
            t = unit(random);
        m->red = unit(random);
        m->green = unit(random);
        m->blue = unit(random);
        for (float &t : m->extraTerms)
            t = unit(random) * 4.0f;
        m->furtherWord1 = random();
        m->furtherWord2 = random();
        ASSERT_EQ(bz_SaveMaterial("fz", m), 0);

        bzMaterial *back = bz_LoadMaterial("fz");
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->layerCount, lastTextured + 1);
        for (int32_t i = 0; i < back->layerCount; ++i)
        {
            const bzMaterialLayer &a = m->layers[i], &b = back->layers[i];
            ASSERT_EQ(a.image, b.image) << i;
            ASSERT_EQ(a.blendKind, b.blendKind);
            ASSERT_EQ(a.alpha, b.alpha);
            ASSERT_EQ(a.texCoordKind, b.texCoordKind);
            ASSERT_EQ(a.effect[0], b.effect[0]);
            ASSERT_EQ(a.effect[1], b.effect[1]);
            ASSERT_EQ(a.effect[2], b.effect[2]);
            ASSERT_EQ(a.scrollU, b.scrollU);
            ASSERT_EQ(a.scrollV, b.scrollV);
            ASSERT_EQ(a.addressU, b.addressU);
            ASSERT_EQ(a.addressV, b.addressV);
            ASSERT_EQ(a.texCoordSet, b.texCoordSet);
            ASSERT_EQ(a.flags, b.flags) << i;
        }
        const uint32_t low = (m->flags & 0x7) ? 0 : 0x2;
        ASSERT_EQ(back->flags & tableBits, (m->flags | low) & tableBits);
        ASSERT_EQ(back->materialWord, m->materialWord);
        ASSERT_EQ(back->lighting, m->lighting);
        ASSERT_EQ(back->materialByte, m->materialByte);
        ASSERT_EQ(back->specular, m->specular);
        ASSERT_EQ(back->red, m->red);
        ASSERT_EQ(back->blue, m->blue);
        ASSERT_EQ(back->effectTerms[2], m->effectTerms[2]);
        ASSERT_EQ(back->extraTerms[3], m->extraTerms[3]);
        ASSERT_EQ(back->furtherWord1, m->furtherWord1);
        ASSERT_EQ(back->furtherWord2, m->furtherWord2);
        bz_ReleaseMaterial(back);
        bz_ReleaseMaterial(m);
        ++roundTrips;

        const std::string file = ReadWholeFile("fz.MTL");
        for (int k = 0; k < 4; ++k)
        {
            const std::string bad = Mutate(file, random);
            Put("fz.MTL", bad);
            bzgLastError = 0;
            bzMaterial *loaded = bz_LoadMaterial("fz");
            if (loaded)
                bz_ReleaseMaterial(loaded);
            else
            {
                const bzErrorCode code = bzgLastError;
                ASSERT_TRUE(code == BZ_ERROR_BAD_DATA_FORMAT ||
                            code == BZ_ERROR_INVALID_PARAMETER || code == BZ_ERROR_NO_MEMORY)
                    << code;
                ASSERT_EQ(ReadWholeFile("fz.MTL"), bad);
            }
            ASSERT_EQ(bzgMaterial_count, 1);
            ASSERT_EQ(bzgImage_count, 0);
            ASSERT_EQ(OpenFiles(), 0);
        }
    }
    EXPECT_GE(roundTrips, 20);
}
} // namespace
