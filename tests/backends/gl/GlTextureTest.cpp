// Textures of the OpenGL back end on a real context: the mip chain and its levels, the size
// limit, and pre-converted texture files read back from the texture.
#include "GlTestSupport.h"

#include "core/Error.h"
#include "files/File.h"
#include "models/ImgFile.h"
#include "models/ImgMap.h"
#include "support/ImgFileWriter.h"

#include <GL/glext.h>

#include <array>
#include <string>

namespace
{
struct Texture
{
    bz_IMGMAP image{};
    Texture(uint8_t format, int16_t width, int16_t height)
    {
        image.width = width;
        image.height = height;
        image.format = format;
    }
    ~Texture() { OGL_FreeImgMapTexture(&image); }
    GLint LevelWidth(int level)
    {
        GLint w = 0;
        glBindTexture(GL_TEXTURE_2D, image.textureName);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        return w;
    }
    std::vector<uint8_t> Level(int level, int width, int height)
    {
        std::vector<uint8_t> out(size_t(width) * height * 4);
        glBindTexture(GL_TEXTURE_2D, image.textureName);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    }
};

TEST_F(GlTest, ColourKeyedPixelsStayTransparentThroughEveryLevel)
{
    ASSERT_EQ(OpenDisplay(), 0);
    Texture t(BZ_IMAGE_CLUT8, 8, 8);
    // Kept uncompressed, so that the levels read back exactly as the filter made them.
    t.image.flags |= BZ_IMGMAP_ONE_BIT_ALPHA | BZ_IMGMAP_NO_COMPRESS;
    const uint32_t palette[2] = {0x00000000, 0x00FF0000};
    ASSERT_EQ(OGL_SetImgMapPalette(&t.image, palette, 2), 0);
    ASSERT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), 0);
    // The top-left 4x4 is index 0 (transparent), the rest red.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            OGL_PutImgMapPixelIndex(&t.image, x, y, (x < 4 && y < 4) ? 0 : 1);
    ASSERT_EQ(OGL_UnlockImgMap(&t.image), 0);
    OGL_MakeImgMapATexture(&t.image);
    ASSERT_NE(t.image.textureName, 0u);
    EXPECT_EQ(t.image.mipLevels, 4);
    EXPECT_EQ(t.image.pixels, nullptr);
    const int sides[4] = {8, 4, 2, 1};
    std::vector<uint8_t> picture;
    for (int level = 0; level < 4; ++level)
    {
        SCOPED_TRACE(level);
        const int side = sides[level];
        const auto pixels = t.Level(level, side, side);
        picture.insert(picture.end(), pixels.begin(), pixels.end());
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
            {
                const bool keyed = side > 1 && x < side / 2 && y < side / 2;
                const uint8_t *p = &pixels[(size_t(y) * side + x) * 4];
                EXPECT_EQ(p[3], keyed ? 0 : 255) << x << "," << y;
                if (!keyed)
                {
                    EXPECT_EQ(p[0], 255);
                }
            }
    }
    SavePicture("gl_colour_key_levels", 1, int(picture.size() / 4), picture);
}

TEST_F(GlTest, ACompressibleImageUploadsCompressed)
{
    ASSERT_EQ(OpenDisplay(), 0);
    ASSERT_NE(bzgOGLCaps & BZ_OGL_CAP_COMPRESSION, 0u);
    Texture t(BZ_IMAGE_565, 4, 4);
    ASSERT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), 0);
    for (int i = 0; i < 16; ++i)
        OGL_PutImgMapPixel(&t.image, i % 4, i / 4, 255, 255, 0, 0);
    ASSERT_EQ(OGL_UnlockImgMap(&t.image), 0);
    OGL_MakeImgMapATexture(&t.image);
    EXPECT_NE(t.image.flags & BZ_IMGMAP_COMPRESSED, 0);
    GLint compressed = 0;
    glBindTexture(GL_TEXTURE_2D, t.image.textureName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &compressed);
    EXPECT_EQ(compressed, GL_TRUE);
    // Red field 31 converts to 248; the block keeps it within a step of five bits.
    const auto pixels = t.Level(0, 4, 4);
    EXPECT_NEAR(pixels[0], 248, 8);
    EXPECT_EQ(pixels[1], 0);
    EXPECT_EQ(pixels[3], 255);
}

TEST_F(GlTest, ATextureDrawsOnScreen)
{
    ASSERT_EQ(OpenDisplay(), 0);
    // An 8x8 checker of red and blue squares of 4 pixels.
    Texture t(BZ_IMAGE_8888, 8, 8);
    t.image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
    ASSERT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
        {
            const bool red = ((x / 4) + (y / 4)) % 2 == 0;
            OGL_PutImgMapPixel(&t.image, x, y, 255, red ? 255 : 0, 0, red ? 0 : 255);
        }
    ASSERT_EQ(OGL_UnlockImgMap(&t.image), 0);
    OGL_MakeImgMapATexture(&t.image);
    ASSERT_NE(t.image.textureName, 0u);

    ClearFrame(kWidth, kHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, t.image.textureName);
    glColor4f(1, 1, 1, 1);
    // Texture row 0 is the image's top row: it goes to the top of the screen.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glFinish();
    const auto frame = ReadPixels(0, 0, kWidth, kHeight);
    SavePicture("gl_texture_checker", kWidth, kHeight, frame);
    auto pixel = [&](int x, int yFromTop)
    {
        const size_t i = (size_t(kHeight - 1 - yFromTop) * kWidth + x) * 4;
        return std::array<uint8_t, 3>{frame[i], frame[i + 1], frame[i + 2]};
    };
    EXPECT_EQ(pixel(10, 10), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(pixel(kWidth - 10, 10), (std::array<uint8_t, 3>{0, 0, 255}));
    EXPECT_EQ(pixel(10, kHeight - 10), (std::array<uint8_t, 3>{0, 0, 255}));
    EXPECT_EQ(pixel(kWidth - 10, kHeight - 10), (std::array<uint8_t, 3>{255, 0, 0}));
}

TEST_F(GlTest, OnePixelHasOneLevel)
{
    ASSERT_EQ(OpenDisplay(), 0);
    Texture t(BZ_IMAGE_8888, 1, 1);
    OGL_MakeImgMapATexture(&t.image);
    EXPECT_EQ(t.image.mipLevels, 1);
    EXPECT_EQ(t.LevelWidth(0), 1);
}

TEST_F(GlTest, TheSizeLimitTakesTheTopLevelUnlessTheImageIsLarge)
{
    ASSERT_EQ(OpenDisplay(), 0);
    {
        Texture t(BZ_IMAGE_888, 4096, 1024);
        OGL_MakeImgMapATexture(&t.image);
        EXPECT_EQ(t.image.mipLevels, 12);
        EXPECT_EQ(t.LevelWidth(0), 2048);
        EXPECT_EQ(t.image.width, 4096);
    }
    {
        Texture t(BZ_IMAGE_888, 4096, 1024);
        t.image.textureFlags = BZ_IMGTEX_KEEP_8BIT;
        OGL_MakeImgMapATexture(&t.image);
        EXPECT_EQ(t.image.mipLevels, 13);
        EXPECT_EQ(t.LevelWidth(0), 4096);
    }
    {
        Texture t(BZ_IMAGE_888, 64, 64);
        t.image.textureFlags = BZ_IMGTEX_SINGLE_LEVEL;
        OGL_MakeImgMapATexture(&t.image);
        EXPECT_EQ(t.image.mipLevels, 1);
    }
}

TEST_F(GlTest, AnImageTooLargeForMemoryMakesNoTexture)
{
    ASSERT_EQ(OpenDisplay(), 0);
    // 32,767 x 32,767 x 4 bytes does not fit in 32 bits, let alone a memory block.
    Texture t(BZ_IMAGE_8888, 32767, 32767);
    OGL_MakeImgMapATexture(&t.image);
    EXPECT_EQ(t.image.flags & BZ_IMGMAP_TEXTURE, 0);
    EXPECT_EQ(t.image.textureName, 0u);
    EXPECT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), BZ_ERROR_UNSUPPORTED);
}

TEST_F(GlTest, UnlockUploadsTheChangedPixels)
{
    ASSERT_EQ(OpenDisplay(), 0);
    Texture t(BZ_IMAGE_8888, 2, 2);
    ASSERT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), 0);
    ASSERT_EQ(OGL_UnlockImgMap(&t.image), 0);
    OGL_MakeImgMapATexture(&t.image);
    const GLuint name = t.image.textureName;
    ASSERT_EQ(OGL_LockImgMap(&t.image, BZ_LOCK_WRITE), 0);
    OGL_PutImgMapPixel(&t.image, 0, 0, 255, 255, 0, 0);
    ASSERT_EQ(OGL_UnlockImgMap(&t.image), 0);
    EXPECT_EQ(t.Level(0, 2, 2)[0], 255);
    EXPECT_EQ(t.Level(0, 2, 2)[3], 255);
    // Made again after a change: the same texture name.
    ASSERT_EQ(OGL_UpdateImgMapTexture(&t.image), 0);
    EXPECT_EQ(t.image.textureName, name);
    EXPECT_EQ(OGL_UnlockImgMap(nullptr), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OGL_LockImgMap(nullptr, 0), BZ_ERROR_INVALID_PARAMETER);
}

// A ".tdx" file: the 16-byte header (levels at 6, block flags at 10, format code at 12),
// then the level data.
std::string Tdx(uint16_t width, uint16_t height, uint16_t levels, uint16_t blocks, uint32_t code,
                const std::string &data)
{
    std::string h;
    auto u16 = [&](uint32_t v)
    {
        h += char(v & 0xFF);
        h += char((v >> 8) & 0xFF);
    };
    u16(0x0200);
    u16(width);
    u16(height);
    u16(levels);
    h += '\0';
    h += '\0';
    u16(blocks);
    u16(code & 0xFFFF);
    u16(code >> 16);
    return h + data;
}

constexpr uint32_t kDXT1 = 0x31545844;
constexpr uint32_t kDXT3 = 0x33545844;
constexpr uint32_t kDXT5 = 0x35545844;

// Loads a file's texture into image (width and height from the header, as the image loader
// sets them); null when refused.
bz_IMGMAP *Load(const std::string &bytes, bz_IMGMAP *image)
{
    WriteWholeFile("t.tdx", bytes);
    bzFileHandle *file = bz_FileOpen("t.tdx", "rb");
    EXPECT_NE(file, nullptr);
    if (!file)
        return nullptr;
    uint8_t header[16] = {};
    bz_IMGMAP *result = nullptr;
    if (bz_FileRead(file, header, 16) == 16)
    {
        image->width = int16_t(header[2] | (header[3] << 8));
        image->height = int16_t(header[4] | (header[5] << 8));
        result = OGL_LoadTex2(image, header, file);
    }
    bz_FileClose(file);
    return result;
}

std::string Repeat(const std::string &unit, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

TEST_F(GlTest, PreConvertedFilesReadBackAsWritten)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    // A DXT colour block: c0 red, c1 blue, row 0 index 0 and the rest index 1.
    const std::string redBlue =
        std::string("\x00\xF8\x1F\x00", 4) + std::string("\x00\x55\x55\x55", 4);
    struct Case
    {
        const char *what;
        uint32_t code;
        std::string pixel; // the first pixel in the file (all four of a 2x2 image)
        std::string level; // or a whole 4x4 level
        std::array<uint8_t, 4> rgba;
    };
    const Case cases[] = {
        {"ARGB", 21, std::string("\x30\x20\x10\x40", 4), "", {0x10, 0x20, 0x30, 0x40}},
        {"XRGB", 22, std::string("\x30\x20\x10\x00", 4), "", {0x10, 0x20, 0x30, 255}},
        {"R5G6B5", 23, std::string("\x00\xF8", 2), "", {255, 0, 0, 255}},
        {"A1R5G5B5", 25, std::string("\x1F\x00", 2), "", {0, 0, 255, 0}},
        {"A4R4G4B4", 26, std::string("\xF0\xF0", 2), "", {0, 255, 0, 255}},
        {"A8", 28, std::string("\x80", 1), "", {0, 0, 0, 0x80}},
        {"DXT1", kDXT1, "", redBlue, {255, 0, 0, 255}},
        {"DXT3", kDXT3, "", std::string("\xFF\xFF\0\0\0\0\0\0", 8) + redBlue, {255, 0, 0, 255}},
        {"DXT5", kDXT5, "", std::string("\xFF\x00\0\0\0\0\0\0", 8) + redBlue, {255, 0, 0, 255}},
    };
    for (bool compression : {true, false})
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.what);
            SCOPED_TRACE(compression);
            if (compression)
                bzgOGLCaps |= BZ_OGL_CAP_COMPRESSION;
            else
                bzgOGLCaps &= ~BZ_OGL_CAP_COMPRESSION;
            const bool dxt = c.level.size() != 0;
            const int side = dxt ? 4 : 2;
            Texture t(0, 0, 0);
            const std::string file = dxt ? Tdx(4, 4, 1, 0, c.code, c.level)
                                         : Tdx(2, 2, 1, 0x3, c.code,
                                               std::string(64 + 1024, '\x7F') + Repeat(c.pixel, 4));
            ASSERT_EQ(Load(file, &t.image), &t.image);
            EXPECT_EQ(t.image.deviceFormat, c.code);
            EXPECT_EQ(t.image.mipLevels, 1);
            EXPECT_EQ((t.image.flags & BZ_IMGMAP_COMPRESSED) != 0, dxt && compression);
            const auto pixels = t.Level(0, side, side);
            EXPECT_EQ((std::array<uint8_t, 4>{pixels[0], pixels[1], pixels[2], pixels[3]}), c.rgba);
            if (dxt)
            {
                // Row 1 is blue.
                EXPECT_EQ(pixels[side * 4 + 2], 255);
                EXPECT_EQ(pixels[side * 4 + 0], 0);
            }
        }
}

TEST_F(GlTest, SmallDxtLevelsTakeWholeBlocksAndLevelsFollowEachOther)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    bzgOGLCaps &= ~BZ_OGL_CAP_COMPRESSION; // decoded here, whole 4x4 blocks
    const std::string red = std::string("\x00\xF8\x00\xF8\0\0\0\0", 8);
    // 8x8, 4x4, 2x2 and 1x1: 4 blocks, then one each.
    Texture t(0, 0, 0);
    ASSERT_EQ(Load(Tdx(8, 8, 4, 0, kDXT1, Repeat(red, 4) + red + red + red), &t.image), &t.image);
    EXPECT_EQ(t.image.mipLevels, 4);
    EXPECT_EQ(t.LevelWidth(3), 1);
    EXPECT_EQ(t.Level(2, 2, 2)[0], 255);

    Texture small(0, 0, 0);
    ASSERT_EQ(Load(Tdx(2, 2, 1, 0, kDXT1, red), &small.image), &small.image);
    EXPECT_EQ(small.Level(0, 2, 2)[12], 255);
}

TEST_F(GlTest, LevelsAboveTheLimitAreSkippedOrMadeToFit)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    bzgOGLMaxTextureSize = 2;
    const std::string white("\xFF\xFF\xFF\xFF", 4);
    Texture chain(0, 0, 0);
    ASSERT_EQ(Load(Tdx(4, 4, 3, 0, 21, Repeat(white, 16 + 4 + 1)), &chain.image), &chain.image);
    EXPECT_EQ(chain.image.mipLevels, 2);
    EXPECT_EQ(chain.LevelWidth(0), 2);
    Texture single(0, 0, 0);
    ASSERT_EQ(Load(Tdx(8, 8, 1, 0, 21, Repeat(white, 64)), &single.image), &single.image);
    EXPECT_EQ(single.image.mipLevels, 1);
    EXPECT_EQ(single.LevelWidth(0), 2);
}

TEST_F(GlTest, RefusedFilesMakeNoTexture)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    const std::string red = std::string("\x00\xF8\x00\xF8\0\0\0\0", 8);
    // Codes this back end does not take: nothing made.
    for (uint32_t code : {24u, 27u, 0u, 0x32545844u})
    {
        Texture t(0, 0, 0);
        bzgLastError = 0;
        EXPECT_EQ(Load(Tdx(4, 4, 1, 0, code, Repeat(red, 8)), &t.image), nullptr) << code;
        EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_FORMAT);
        EXPECT_EQ(t.image.textureName, 0u);
    }
    // Truncated at every length, sizes near the 16-bit limit, no levels.
    const std::string whole = Tdx(8, 8, 2, 0x1, kDXT1, std::string(64, '\0') + Repeat(red, 5));
    for (size_t length = 16; length < whole.size(); ++length)
    {
        Texture t(0, 0, 0);
        bzgLastError = 0;
        EXPECT_EQ(Load(whole.substr(0, length), &t.image), nullptr) << length;
        EXPECT_EQ(bzgLastError, BZ_ERROR_IMGMAP_VOID);
        EXPECT_EQ(t.image.textureName, 0u);
    }
    const std::string bad[] = {
        Tdx(32767, 32767, 1, 0, 21, Repeat(red, 4)),
        Tdx(32767, 1, 1, 0, kDXT5, Repeat(red, 4)),
        Tdx(4, 4, 0, 0, 21, Repeat(red, 8)),
        Tdx(4, 4, 40, 0, 21, Repeat(red, 8)),
    };
    for (const std::string &file : bad)
    {
        Texture t(0, 0, 0);
        EXPECT_EQ(Load(file, &t.image), nullptr);
        EXPECT_NE(bzgLastError, 0);
        EXPECT_EQ(t.image.textureName, 0u);
    }
}

} // namespace

namespace
{
// Damaged files either make a whole texture or none: a refused file leaves no texture name
// and an error, an accepted one a texture that exists. Bounded to 200 files.
TEST_F(GlTest, DamagedFilesMakeAWholeTextureOrNone)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    const std::string block = std::string("\xFF\x00\x12\x34\x56\x78\x9A\xBC", 8) +
                              std::string("\x00\xF8\x1F\x00\x1B\xE4\x1B\xE4", 8);
    const std::string seeds[] = {
        Tdx(8, 8, 4, 0x1, kDXT5, std::string(64, '\x01') + Repeat(block, 4 + 1 + 1 + 1)),
        Tdx(4, 2, 3, 0x2, 21, std::string(1024, '\x02') + Repeat("\x10\x20\x30\x40", 8 + 2 + 1)),
        Tdx(4, 4, 3, 0, 25, Repeat("\x1F\x80", 16 + 4 + 1)),
    };
    uint32_t state = 12345;
    auto next = [&]
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int accepted = 0;
    int refused = 0;
    for (int round = 0; round < 200; ++round)
    {
        std::string file = seeds[round % 3];
        const int changes = 1 + int(next() % 4);
        for (int c = 0; c < changes; ++c)
        {
            const size_t at = next() % file.size();
            if (next() % 5 == 0)
                file.resize(at);
            else if (!file.empty())
                file[at] = char(next() & 0xFF);
            if (file.size() < 16)
                file.resize(16, '\0');
        }
        Texture t(0, 0, 0);
        bzgLastError = 0;
        bz_IMGMAP *result = Load(file, &t.image);
        if (result)
        {
            ++accepted;
            EXPECT_TRUE(glIsTexture(t.image.textureName)) << round;
            EXPECT_GE(t.image.mipLevels, 1);
        }
        else
        {
            ++refused;
            EXPECT_EQ(t.image.textureName, 0u) << round;
            EXPECT_NE(bzgLastError, 0) << round;
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}
} // namespace

namespace
{
TEST_F(GlTest, TheImageLoaderMakesItsTextureHereAndReleasingItDeletesIt)
{
    ScopedTempDir dir;
    ASSERT_EQ(OpenDisplay(), 0);
    bz_OpenImgMapLibrary();
    WriteWholeFile("wall.tdx", BuildTdxFile(0x0200, 2, 2, 0, 0, 21, "",
                                            Repeat(std::string("\x30\x20\x10\xFF", 4), 4)));
    bz_IMGMAP *image = LoadTdxTexture("wall");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format, BZ_IMAGE_8888);
    const GLuint name = image->textureName;
    EXPECT_TRUE(glIsTexture(name));
    uint8_t pixel[16] = {};
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 0x10);
    EXPECT_EQ(pixel[2], 0x30);
    bz_ReleaseImgMap(image);
    EXPECT_FALSE(glIsTexture(name));
    bz_CloseImgMapLibrary();
}
} // namespace
