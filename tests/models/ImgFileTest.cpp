#include "models/ImgFile.h"

#include "ImgFileWriter.h"
#include "ModelsTestSupport.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace
{
using ImgFileTest = ModelsTest;

TEST_F(ImgFileTest, RawColourPixelsReadAsAlphaRedGreenBlue)
{
    ImgFileLayout layout;
    layout.width = layout.height = 2;
    layout.data =
        std::string("\x10\x11\x12\x13\x20\x21\x22\x23\x30\x31\x32\x33\x40\x41\x42\x43", 16);
    Put("pic.img", BuildImgFile(layout));
    bz_IMGMAP *image = bz_Image_Load("pic");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format, BZ_IMAGE_888);
    EXPECT_EQ(image->flags & BZ_IMGMAP_HAS_ALPHA, 0);
    const bzMemDeviceCall *calls[4] = {};
    uint32_t n = 0;
    for (uint32_t i = 0; i < bz_MemDevice_KeptCalls(); ++i)
        if (bz_MemDevice_GetCall(i)->slot == 6 && n < 4)
            calls[n++] = bz_MemDevice_GetCall(i);
    ASSERT_EQ(n, 4u);
    const uint64_t expected[4][6] = {{0, 0, 0x10, 0x11, 0x12, 0x13},
                                     {1, 0, 0x20, 0x21, 0x22, 0x23},
                                     {0, 1, 0x30, 0x31, 0x32, 0x33},
                                     {1, 1, 0x40, 0x41, 0x42, 0x43}};
    for (int p = 0; p < 4; ++p)
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(calls[p]->args[k + 1], expected[p][k]) << p << " " << k;
    EXPECT_EQ(Pixel(image, 1, 1), 0xFF414243u); // 888 holds no alpha
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, PaletteKindsReadThePaletteAndTheIndices)
{
    ImgFileLayout layout;
    layout.kind = 3;
    layout.width = 3;
    layout.height = 1;
    layout.palette.assign(16, 0);
    layout.palette[1] = 0x00102030;
    layout.palette[15] = 0x00F0E0D0;
    layout.data = std::string("\x1F\x1E", 2); // the second byte's low nibble is not used
    Put("clut4.img", BuildImgFile(layout));
    bz_IMGMAP *image = bz_Image_Load("clut4.img");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "clut4");
    EXPECT_EQ(image->format, BZ_IMAGE_CLUT4);
    EXPECT_EQ(Index(image, 0, 0), 1);
    EXPECT_EQ(Index(image, 1, 0), 15);
    EXPECT_EQ(Index(image, 2, 0), 1);
    EXPECT_EQ(Pixel(image, 1, 0), 0xFFF0E0D0u);
    bz_ReleaseImgMap(image);

    // One byte short of the two the 3 by 1 image needs.
    layout.data.resize(1);
    Put("short4.img", BuildImgFile(layout));
    EXPECT_EQ(bz_Image_Load("short4"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);

    layout.kind = 4;
    layout.width = layout.height = 2;
    layout.palette.assign(256, 0);
    layout.palette[200] = 0x00ABCDEF;
    layout.data = std::string("\x00\xC8\x01\xC8", 4);
    Put("clut8.img", BuildImgFile(layout));
    image = bz_Image_Load("clut8");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format, BZ_IMAGE_CLUT8);
    EXPECT_EQ(Index(image, 1, 0), 200);
    EXPECT_EQ(Pixel(image, 1, 1), 0xFFABCDEFu);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, RunLengthUnitsFillThePixels)
{
    ImgFileLayout layout;
    layout.kind = 1;
    layout.flags = 0x0002;
    layout.width = 8;
    layout.height = 1;
    // Three literal pixels, then five copies of one.
    layout.data = std::string("\x83"
                              "\x01\x02\x03\x04"
                              "\x05\x06\x07\x08"
                              "\x09\x0A\x0B\x0C"
                              "\x05"
                              "\xFF\x11\x22\x33",
                              18);
    Put("runs.img", BuildImgFile(layout));
    bz_IMGMAP *image = bz_Image_Load("runs");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format, BZ_IMAGE_8888);
    EXPECT_NE(image->flags & BZ_IMGMAP_HAS_ALPHA, 0);
    const uint32_t expected[] = {0x01020304, 0x05060708, 0x090A0B0C, 0xFF112233,
                                 0xFF112233, 0xFF112233, 0xFF112233, 0xFF112233};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(Pixel(image, x, 0), expected[x]) << x;
    EXPECT_EQ(bz_MemDevice_CallCount(6), 8u);
    bz_ReleaseImgMap(image);

    // A repeat unit with n = 0 carries its value and writes nothing; alpha-only pixels.
    layout.kind = 2;
    layout.width = 3;
    layout.data = std::string("\x00\x99\x03\x42", 4);
    Put("zero.img", BuildImgFile(layout));
    image = bz_Image_Load("zero");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format, BZ_IMAGE_ALPHA);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Index(image, x, 0), 0x42);
    bz_ReleaseImgMap(image);

    // 4-bit pairs: each value byte is two pixels, high nibble first.
    layout.kind = 3;
    layout.width = 5;
    layout.palette.assign(16, 0);
    layout.data = std::string("\x81\x12\x02\x34", 4);
    Put("pairs.img", BuildImgFile(layout));
    image = bz_Image_Load("pairs");
    ASSERT_NE(image, nullptr);
    const uint8_t indices[] = {1, 2, 3, 4, 3};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Index(image, x, 0), indices[x]) << x;
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, AShortRunLengthStreamIsAnError)
{
    const std::vector<std::string> streams = {
        std::string(""),                        // nothing at all
        std::string("\x83\x01\x02\x03\x04", 5), // a literal unit short of its values
        std::string("\x05", 1),                 // a repeat unit without its value
        std::string("\x02\x01\x02\x03\x04", 5), // too few pixels written
        std::string("\x00\x01\x02\x03\x04\x00\x01\x02\x03\x04", 10),
    };
    ImgFileLayout layout;
    layout.kind = 0;
    layout.flags = 0x0002;
    layout.width = 8;
    layout.height = 1;
    for (const std::string &stream : streams)
    {
        layout.data = stream;
        Put("bad.img", BuildImgFile(layout));
        bzgLastError = 0;
        EXPECT_EQ(bz_Image_Load("bad"), nullptr) << stream.size();
        EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
        EXPECT_EQ(bzgImage_count, 0);
        EXPECT_EQ(OpenFiles(), 0);
    }
}

TEST_F(ImgFileTest, HeaderFlagsAndTheExtraBlock)
{
    ImgFileLayout layout;
    layout.kind = 0;
    layout.flags = 0x0001 | 0x0004 | 0x0008 | 0x0010 | 0x0020 | 0x0040;
    layout.data = RawARGB({0xFF000000});
    layout.extra = "extra bytes";
    Put("flags.img", BuildImgFile(layout));
    bz_IMGMAP *image = bz_LoadImgFile("flags");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->flags & (0x04 | 0x40 | 0x80), 0x04 | 0x40 | 0x80);
    EXPECT_EQ(image->textureFlags & (0x02 | 0x08), 0x02 | 0x08);
    ASSERT_EQ(image->extraSize, 11u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image->extraData), 11), "extra bytes");
    EXPECT_EQ(bz_Image_Load("flags"), image); // loaded images are shared
    EXPECT_EQ(image->refCount, 2);
    bz_ReleaseImgMap(image);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, BadHeadersAndLyingSizesAreRefused)
{
    const auto base = []
    {
        ImgFileLayout layout;
        layout.kind = 1;
        layout.width = 2;
        layout.height = 2;
        layout.data = RawARGB({1, 2, 3, 4});
        return layout;
    };
    struct Case
    {
        const char *what;
        ImgFileLayout layout;
        bzErrorCode code;
    };
    std::vector<Case> cases;
    {
        Case c{"magic", base(), BZ_ERROR_OUTDATED_VERSION};
        c.layout.magic = "IMAGEMAQ";
        cases.push_back(c);
    }
    {
        Case c{"version", base(), BZ_ERROR_OUTDATED_VERSION};
        c.layout.version = 0x0101;
        cases.push_back(c);
    }
    {
        Case c{"kind 5", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.kind = 5;
        cases.push_back(c);
    }
    {
        Case c{"data size past w x h x 4", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.flags = 0x0002;
        c.layout.dataSize = 17;
        cases.push_back(c);
    }
    {
        Case c{"data size past the file", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.flags = 0x0002;
        c.layout.data = std::string("\x84\x01\x02\x03\x04", 5);
        c.layout.dataSize = 16;
        cases.push_back(c);
    }
    for (uint32_t width : {0u, 32768u, 65535u})
    {
        Case c{"width", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.width = width;
        cases.push_back(c);
        Case h{"height", base(), BZ_ERROR_IMGMAP_VOID};
        h.layout.height = width;
        cases.push_back(h);
    }
    {
        Case c{"huge raw image", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.width = c.layout.height = 32767;
        cases.push_back(c);
    }
    {
        Case c{"extra block past the file", base(), BZ_ERROR_IMGMAP_VOID};
        c.layout.flags = 0x0010;
        std::string file = BuildImgFile(c.layout);
        file.resize(file.size() - 4);                 // the empty block's size
        file += std::string("\x10\x00\x00\x00zz", 6); // claims 16 bytes, has 2
        Put("extra.img", file);
        EXPECT_EQ(bz_Image_Load("extra"), nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
    }
    for (const Case &c : cases)
    {
        Put("bad.img", BuildImgFile(c.layout));
        bzgLastError = 0;
        EXPECT_EQ(bz_Image_Load("bad"), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, c.code) << c.what;
        EXPECT_EQ(bzgImage_count, 0) << c.what;
        EXPECT_EQ(OpenFiles(), 0) << c.what;
    }
    EXPECT_EQ(bz_Image_Load("missing"), nullptr);
}

TEST_F(ImgFileTest, EveryTruncationIsRefused)
{
    ImgFileLayout layout;
    layout.kind = 4;
    layout.flags = 0x0010;
    layout.width = 3;
    layout.height = 2;
    layout.palette.assign(256, 0x00123456);
    layout.data = std::string(6, '\x07');
    layout.extra = "tail";
    const std::string whole = BuildImgFile(layout);
    for (size_t length = 0; length < whole.size(); ++length)
    {
        Put("cut.img", whole.substr(0, length));
        bzgLastError = 0;
        EXPECT_EQ(bz_Image_Load("cut"), nullptr) << length;
        EXPECT_NE(bzgLastError, 0) << length;
        EXPECT_EQ(bzgImage_count, 0) << length;
    }
    Put("cut.img", whole);
    bz_IMGMAP *image = bz_Image_Load("cut");
    ASSERT_NE(image, nullptr);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, ARendererFailureGivesTheVoidCode)
{
    ImgFileLayout layout;
    layout.data = RawARGB({0});
    Put("one.img", BuildImgFile(layout));
    bz_MemDevice_SetSlotResult(18, BZ_ERROR_TEXTURE_NOT_CREATED);
    EXPECT_EQ(bz_Image_Load("one"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
    bz_MemDevice_SetSlotResult(18, 0);

    // A lock that fails leaves the image without its pixels.
    bz_MemDevice_SetSlotResult(11, BZ_ERROR_IMGMAP_LOCKED);
    bz_IMGMAP *image = bz_Image_Load("one");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(bz_MemDevice_CallCount(6), 0u);
    bz_MemDevice_SetSlotResult(11, 0);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, TextureFilesOfAnotherVersionGiveTheCheckerboard)
{
    Put("old.tdx", BuildTdxFile(0x0100, 64, 64, 0, 0, 0));
    bz_IMGMAP *image = LoadTdxTexture("old");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "old");
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    EXPECT_EQ(image->format, BZ_IMAGE_565);
    EXPECT_EQ(image->flags & 0x41, 0x41);
    EXPECT_NE(image->textureFlags & BZ_IMGTEX_PLACEHOLDER, 0);
    const uint32_t red = 0xFFFF0000, green = 0xFF00FF00;
    EXPECT_EQ(Pixel(image, 0, 0), red);
    EXPECT_EQ(Pixel(image, 7, 7), red);
    EXPECT_EQ(Pixel(image, 8, 0), green);
    EXPECT_EQ(Pixel(image, 0, 8), green);
    EXPECT_EQ(Pixel(image, 8, 8), red);
    EXPECT_EQ(Pixel(image, 31, 31), red);
    bz_ReleaseImgMap(image);
}

TEST_F(ImgFileTest, TextureFilesGoToTheBackEnd)
{
    const struct
    {
        uint32_t device;
        uint8_t flagsA;
        uint8_t format;
    } cases[] = {
        {20, 0, BZ_IMAGE_888},      {22, 0, BZ_IMAGE_888},      {21, 0, BZ_IMAGE_8888},
        {23, 0, BZ_IMAGE_565},      {24, 0, BZ_IMAGE_565},      {25, 0, BZ_IMAGE_1555},
        {28, 0, BZ_IMAGE_ALPHA},    {41, 0x10, BZ_IMAGE_ALPHA}, {41, 0x01, BZ_IMAGE_CLUT4},
        {41, 0x00, BZ_IMAGE_CLUT8}, {0x31545844, 0, 13},        {99, 0, 13},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.device);
        Put("tex.tdx", BuildTdxFile(0x0200, 64, 32, c.flagsA, 0, c.device));
        bz_IMGMAP *image = LoadTdxTexture("tex");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->format, c.format);
        EXPECT_EQ(image->width, 64);
        EXPECT_EQ(image->height, 32);
        EXPECT_EQ((image->flags & BZ_IMGMAP_COMPRESSED) != 0, c.device == 0x31545844);
        bz_ReleaseImgMap(image);
    }
    Put("flags.tdx", BuildTdxFile(0x0200, 4, 4, 0x04 | 0x08 | 0x40 | 0x80, 0x01 | 0x02, 21, "xyz"));
    bz_IMGMAP *image = LoadTdxTexture("flags");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->flags, 0x01 | 0x04 | 0x08 | 0x40 | 0x80);
    EXPECT_EQ(image->textureFlags, 0x02 | 0x04);
    EXPECT_EQ(image->extraSize, 3u);
    bz_ReleaseImgMap(image);

    // Refusals: a short header, bad sizes, an extra block past the file, the back end's no.
    const std::string bad[] = {
        BuildTdxFile(0x0200, 4, 4, 0, 0, 21).substr(0, 15),
        BuildTdxFile(0x0200, 0, 4, 0, 0, 21),
        BuildTdxFile(0x0200, 4, 40000, 0, 0, 21),
        BuildTdxFile(0x0200, 4, 4, 0, 0x02, 21).substr(0, 18),
    };
    for (const std::string &file : bad)
    {
        Put("bad.tdx", file);
        EXPECT_EQ(LoadTdxTexture("bad"), nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
    }
    Put("fine.tdx", BuildTdxFile(0x0200, 4, 4, 0, 0, 21));
    bz_MemDevice_SetSlotResult(15, 1);
    EXPECT_EQ(LoadTdxTexture("fine"), nullptr);
    bz_MemDevice_SetSlotResult(15, 0);
    EXPECT_EQ(bzgImage_count, 0);
}
} // namespace
