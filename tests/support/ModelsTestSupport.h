// The test fixture of the asset layer, for the tests of models/ and the areas above it: the
// in-memory back end in the renderer table, the image and material libraries open, a fresh
// temporary directory as the current one; afterwards every image map and material must be
// released and no file left open.
#pragma once

#include "core/Error.h"
#include "device/RenderTable.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "memdevice/MemDevice.h"
#include "models/ImgMap.h"
#include "models/LoadOptions.h"
#include "models/Material.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class ModelsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = bzgRenderTable;
        bzgRenderTable = {};
        bz_MemDevice_Install(&bzgRenderTable);
        bz_MemDevice_Reset();
        bz_OpenImgMapLibrary();
        bz_OpenMaterialLibrary();
        bzgLastError = 0;
    }

    void TearDown() override
    {
        bz_ReleaseMaterial(bzgMaterial_default);
        EXPECT_EQ(bzgMaterial_list, nullptr) << "a material was not released";
        EXPECT_EQ(bzgMaterial_count, 0);
        EXPECT_EQ(bzgImage_list, nullptr) << "an image map was not released";
        EXPECT_EQ(bzgImage_count, 0);
        while (bzgMaterial_list)
        {
            bzgMaterial_list->refCount = 1;
            bz_ReleaseMaterial(bzgMaterial_list);
        }
        while (bzgImage_list)
        {
            bzgImage_list->refCount = 1;
            bz_ReleaseImgMap(bzgImage_list);
        }
        EXPECT_EQ(OpenFiles(), 0) << "a file was left open";
        bz_CloseImgMapLibrary();
        bz_SetImgMapFolder(nullptr, nullptr);
        bz_SetMaterialFolder(nullptr, nullptr);
        bzgImage_preLoadHook = nullptr;
        bzgImage_missingHook = nullptr;
        bzgImage_loadedHook = nullptr;
        bzgImage_skipTdx = 0;
        bzgMaterial_missingHook = nullptr;
        bzgLoadFlags = 0;
        bzgModelLoadOptions = 0;
        bzgRenderTable = saved_;
        bz_MemDevice_Reset();
    }

    // Files open besides the debug text stream.
    static int32_t OpenFiles()
    {
        int32_t open = 0;
        for (int32_t i = 0; i < BZ_FILE_MAX_OPEN; ++i)
        {
            const bzFileHandle *file = bz_FileHandle_Get(i);
            if (file && file->inUse && file != bz_DebugOutput_GetStream())
                ++open;
        }
        return open;
    }

    // Writes a file below the temporary directory, making its folders ("/" separated).
    static void Put(const std::string &path, const std::string &bytes)
    {
        const std::filesystem::path p(path);
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path());
        WriteWholeFile(path, bytes);
    }

    // The pixel at (x, y) as 0xAARRGGBB, read under a lock.
    static uint32_t Pixel(bz_IMGMAP *image, int32_t x, int32_t y)
    {
        const bool locked = image->flags & BZ_IMGMAP_LOCKED;
        if (!locked)
        {
            EXPECT_EQ(bzgRenderTable.PDLockImgMap(image, BZ_LOCK_READ), 0);
        }
        uint8_t a = 0, r = 0, g = 0, b = 0;
        EXPECT_EQ(bzgRenderTable.PDGetImgMapPixel(image, x, y, &a, &r, &g, &b), 0);
        if (!locked)
            bzgRenderTable.PDUnlockImgMap(image);
        return static_cast<uint32_t>(a) << 24 | r << 16 | g << 8 | b;
    }

    static uint8_t Index(bz_IMGMAP *image, int32_t x, int32_t y)
    {
        EXPECT_EQ(bzgRenderTable.PDLockImgMap(image, BZ_LOCK_READ), 0);
        uint8_t index = 0;
        EXPECT_EQ(bzgRenderTable.PDGetImgMapPixelIndex(image, x, y, &index), 0);
        bzgRenderTable.PDUnlockImgMap(image);
        return index;
    }

    ScopedTempDir dir_;
    KeepAlive keep_;

private:
    PDRenderFunctionTable saved_ = {};
};
