#include "ModelsTestSupport.h"

#include "ImgFileWriter.h"
#include "models/ImgFile.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{
// Records every file name opened, then opens it as before.
class OpenLog
{
public:
    OpenLog()
    {
        bz_FileIO_GetHandlers(&saved_);
        gNext = saved_.open;
        gNames = &names;
        bzFileIOHandlers hooks = {};
        hooks.open = Open;
        bz_FileIO_SetHandlers(&hooks);
    }
    ~OpenLog()
    {
        bz_FileIO_SetHandlers(&saved_);
        gNames = nullptr;
    }
    std::vector<std::string> names;

private:
    static bzFileHandle *Open(const char *name, const char *mode)
    {
        if (gNames)
            gNames->push_back(name);
        return gNext(name, mode);
    }
    static inline bzFileHandle *(*gNext)(const char *, const char *);
    static inline std::vector<std::string> *gNames;
    bzFileIOHandlers saved_;
};

std::string SolidImg(uint32_t argb, uint32_t width = 2, uint32_t height = 2)
{
    ImgFileLayout layout;
    layout.kind = 1;
    layout.width = width;
    layout.height = height;
    layout.data = RawARGB(std::vector<uint32_t>(width * height, argb));
    return BuildImgFile(layout);
}

using ImgMapTest = ModelsTest;

TEST_F(ImgMapTest, TwoLookupsShareOneRecordAndTwoReleasesFreeIt)
{
    Put("wall.img", SolidImg(0xFF102030));
    bz_IMGMAP *first = bz_GetImgMap("wall");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(bzgImage_count, 1);
    EXPECT_STREQ(first->name, "wall");
    EXPECT_NE(first->flags & BZ_IMGMAP_TEXTURE, 0); // made after the load
    bz_IMGMAP *second = bz_GetImgMap("WALL");
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_EQ(bz_FindImgMap("wall.img"), nullptr); // a stored name has no extension
    bz_ReleaseImgMap(second);
    EXPECT_EQ(bzgImage_count, 1);
    EXPECT_EQ(bz_MemDevice_CallCount(17), 0u);
    bz_ReleaseImgMap(first);
    EXPECT_EQ(bzgImage_count, 0);
    EXPECT_EQ(bz_MemDevice_CallCount(17), 1u); // the texture freed once
    bz_ReleaseImgMap(nullptr);
}

TEST_F(ImgMapTest, LookupOrderIsTextureFilesThenImageFilesThenTheHook)
{
    bz_SetImgMapFolder(nullptr, "Textures");
    static std::vector<std::string> hookNames;
    hookNames.clear();
    bzgImage_missingHook = [](const char *name) -> bz_IMGMAP *
    {
        hookNames.push_back(std::string("missing ") + name);
        return nullptr;
    };
    bz_SetImgMapLoadedHook(
        [](bz_IMGMAP *image, const char *name)
        { hookNames.push_back(std::string(image ? "loaded " : "none ") + name); });
    {
        OpenLog log;
        EXPECT_EQ(bz_GetImgMap("Art\\wall"), nullptr);
        const std::vector<std::string> expected = {"Textures\\wall.tdx", "Art\\wall.tdx",
                                                   "Textures\\wall.img", "Art\\wall.img"};
        EXPECT_EQ(log.names, expected);
    }
    EXPECT_EQ(hookNames, (std::vector<std::string>{"missing Art\\wall", "none Art\\wall"}));

    // Without a folder only the name as given is tried.
    bz_SetImgMapFolder(nullptr, nullptr);
    bzgImage_skipTdx = 1;
    OpenLog log;
    EXPECT_EQ(bz_GetImgMap("Art\\wall"), nullptr);
    EXPECT_EQ(log.names, (std::vector<std::string>{"Art\\wall.img"}));
}

TEST_F(ImgMapTest, TheImageFolderWinsAndTextureFilesWinOverImageFiles)
{
    bz_SetImgMapFolder(nullptr, "Textures");
    Put("Textures/wall.img", SolidImg(0xFF0000FF));
    Put("Art/wall.img", SolidImg(0xFFFF0000));
    bz_IMGMAP *image = bz_GetImgMap("Art\\wall");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "Textures\\wall");
    EXPECT_EQ(Pixel(image, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(bz_GetImgMap("wall"), image); // found through the folder path
    EXPECT_EQ(image->refCount, 2);
    bz_ReleaseImgMap(image);
    bz_ReleaseImgMap(image);

    Put("Textures/stone.img", SolidImg(0xFF00FF00));
    Put("Textures/stone.tdx", BuildTdxFile(0x0200, 8, 8, 0, 0, 21));
    bz_IMGMAP *stone = bz_GetImgMap("stone");
    ASSERT_NE(stone, nullptr);
    EXPECT_NE(stone->textureFlags & BZ_IMGTEX_PRECONVERTED, 0);
    EXPECT_EQ(stone->format, BZ_IMAGE_8888);
    bz_ReleaseImgMap(stone);
    bzgImage_skipTdx = 1;
    stone = bz_GetImgMap("stone");
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->textureFlags & BZ_IMGTEX_PRECONVERTED, 0);
    EXPECT_EQ(Pixel(stone, 1, 1), 0xFF00FF00u);
    bz_ReleaseImgMap(stone);
}

TEST_F(ImgMapTest, APreLoadHookAnswersFirst)
{
    static bz_IMGMAP *supplied;
    supplied = bz_CreateImgMap("made", BZ_IMAGE_8888, 2, 2, 0);
    bzgImage_preLoadHook = [](const char **name, bz_IMGMAP **result) -> int32_t
    {
        if (std::strcmp(*name, "special") != 0)
            return 0;
        *result = supplied;
        return 1;
    };
    EXPECT_EQ(bz_GetImgMap("special"), supplied);
    EXPECT_EQ(bz_GetImgMap("other"), nullptr);
    bzgImage_preLoadHook = nullptr;
    bz_ReleaseImgMap(supplied);
}

TEST_F(ImgMapTest, CreationSetsFlagsFromFormatAndOptions)
{
    const struct
    {
        uint8_t format;
        uint32_t options;
        uint8_t flags;
        uint8_t textureFlags;
    } cases[] = {
        {BZ_IMAGE_565, 0, 0x00, 0x00},
        {BZ_IMAGE_8888, 0x0F, 0x01 | 0x08 | 0x40 | 0x80, 0x08},
        {BZ_IMAGE_1555, 0x01, 0x01 | 0x04, 0x00},
        {BZ_IMAGE_4444, 0x04, 0x08 | 0x40, 0x00},
        {BZ_IMAGE_ALPHA, 0x08, 0x08 | 0x80, 0x00},
        {14, 0x00, 0x01, 0x08}, // as if 0x03 had been given
        {14, 0x0C, 0x01, 0x08},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.format));
        bz_IMGMAP *image = bz_CreateImgMap("made.img", c.format, 16, 8, c.options);
        ASSERT_NE(image, nullptr);
        EXPECT_STREQ(image->name, "made");
        EXPECT_EQ(image->width, 16);
        EXPECT_EQ(image->height, 8);
        EXPECT_EQ(image->format, c.format);
        EXPECT_EQ(image->flags, c.flags);
        EXPECT_EQ(image->textureFlags, c.textureFlags);
        EXPECT_EQ(image->refCount, 1);
        bz_ReleaseImgMap(image);
    }
    bz_IMGMAP *unnamed = bz_CreateImgMap(nullptr, BZ_IMAGE_8888, 1, 1, 0);
    EXPECT_EQ(unnamed->name, nullptr);
    EXPECT_EQ(unnamed->nameHash, 0xFFFFFFFFu);
    bz_RenameImgMap(unnamed, "named.x");
    EXPECT_STREQ(unnamed->name, "named");
    bz_ReleaseImgMap(unnamed);
}

TEST_F(ImgMapTest, ARendererFailureFreesTheNewImage)
{
    bz_MemDevice_SetSlotResult(18, BZ_ERROR_TEXTURE_NOT_CREATED);
    EXPECT_EQ(bz_CreateImgMap("x", BZ_IMAGE_8888, 4, 4, 1), nullptr);
    EXPECT_EQ(bzgImage_count, 0);
    EXPECT_EQ(bzgImage_list, nullptr);
}

TEST_F(ImgMapTest, HalvingSamplesEveryStepAndCapsAt256)
{
    const struct
    {
        int16_t width, height, newWidth, newHeight, sx, sy;
    } cases[] = {
        {1024, 512, 256, 256, 4, 2},
        {300, 300, 150, 150, 2, 2},
        {2, 3, 1, 1, 2, 3},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.width);
        bz_IMGMAP *image = bz_CreateImgMap("big", BZ_IMAGE_8888, c.width, c.height, 1);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(bzgRenderTable.PDLockImgMap(image, BZ_LOCK_WRITE), 0);
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                bzgRenderTable.PDPutImgMapPixel(image, x, y, x & 0xFF, x >> 8, y & 0xFF, y >> 8);
        bzgRenderTable.PDUnlockImgMap(image);

        EXPECT_EQ(bz_HalveImgMap(image), image);
        EXPECT_EQ(image->width, c.newWidth);
        EXPECT_EQ(image->height, c.newHeight);
        EXPECT_NE(image->flags & BZ_IMGMAP_TEXTURE, 0); // the texture is remade
        for (int32_t y = 0; y < c.newHeight; y += 7)
            for (int32_t x = 0; x < c.newWidth; x += 5)
            {
                const int32_t ox = x * c.sx, oy = y * c.sy;
                const uint32_t expected = static_cast<uint32_t>(ox & 0xFF) << 24 | (ox >> 8) << 16 |
                                          (oy & 0xFF) << 8 | (oy >> 8);
                ASSERT_EQ(Pixel(image, x, y), expected) << x << "," << y;
            }
        bz_ReleaseImgMap(image);
    }

    bz_IMGMAP *thin = bz_CreateImgMap("thin", BZ_IMAGE_8888, 1, 8, 0);
    EXPECT_EQ(bz_HalveImgMap(thin), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(thin->width, 1);
    bz_MemDevice_SetSlotResult(18, BZ_ERROR_TEXTURE_NOT_CREATED);
    bz_IMGMAP *square = bz_AllocImgMap("square");
    square->width = square->height = 8;
    square->format = BZ_IMAGE_8888;
    bz_MemDevice_SetSlotResult(18, 0);
    bzgRenderTable.PDUpdateImgMapTexture(square);
    bz_MemDevice_SetSlotResult(18, BZ_ERROR_TEXTURE_NOT_CREATED);
    EXPECT_EQ(bz_HalveImgMap(square), nullptr); // the texture could not be remade
    EXPECT_EQ(square->width, 4);
    bz_MemDevice_SetSlotResult(18, 0);
    bz_ReleaseImgMap(square);
    bz_ReleaseImgMap(thin);
}

TEST_F(ImgMapTest, FolderNamesAndMemory)
{
    char old[BZ_IMGMAP_FOLDER_SIZE];
    bz_SetImgMapFolder(nullptr, "data\\Textures");
    EXPECT_STREQ(bzgImage_folder, "data\\Textures\\");
    bz_SetImgMapFolder(old, "other\\");
    EXPECT_STREQ(old, "data\\Textures\\");
    EXPECT_STREQ(bzgImage_folder, "other\\");
    bz_SetImgMapFolder(nullptr, "");
    EXPECT_STREQ(bzgImage_folder, "");

    EXPECT_STREQ(bz_ImageFormatName(0), "BZ_IMAGE_INVALID");
    EXPECT_STREQ(bz_ImageFormatName(13), "BZ_IMAGE_INVALID");
    EXPECT_STREQ(bz_ImageFormatName(1), "BZ_IMAGE_888");
    EXPECT_STREQ(bz_ImageFormatName(10), "BZ_IMAGE_CLUT4");
    EXPECT_STREQ(bz_ImageFormatName(12), "BZ_IMAGE_ALPHA");

    EXPECT_EQ(bz_GetImgMapMemory(), 0u);
    bz_IMGMAP *a = bz_CreateImgMap("a", BZ_IMAGE_8888, 4, 4, 0);
    bz_IMGMAP *b = bz_CreateImgMap("b", BZ_IMAGE_888, 2, 2, 0);
    bz_IMGMAP *c = bz_CreateImgMap("c", BZ_IMAGE_CLUT4, 3, 3, 0);
    bz_IMGMAP *d = bz_CreateImgMap("d", BZ_IMAGE_1555, 2, 1, 0);
    EXPECT_EQ(bz_GetImgMapMemory(), 64u + 12u + 4u + 4u);
    // The list keeps creation order; a release from the middle keeps it linked.
    bz_ReleaseImgMap(b);
    EXPECT_EQ(bzgImage_list, a);
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(c->next, d);
    EXPECT_EQ(a->prev, d);
    bz_ReleaseImgMap(d);
    EXPECT_EQ(a->prev, c);
    bz_ReleaseImgMap(a);
    EXPECT_EQ(bzgImage_list, c);
    EXPECT_EQ(c->prev, c);
    c->refCount = 0; // a release at count 0 still frees it
    bz_ReleaseImgMap(c);
    EXPECT_EQ(bzgImage_count, 0);
}
} // namespace
