// The test fixture of the asset layer, for the tests of models/ and the areas above it: the
// in-memory back end in the renderer table, the image and material libraries open, a fresh
// temporary directory as the current one; afterwards every image map and material must be
// released and no file left open.
#pragma once

#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "memdevice/MemDevice.h"
#include "models/ImgMap.h"
#include "models/LoadOptions.h"
#include "models/Material.h"
#include "models/Model.h"
#include "models/ModelAccess.h"
#include "models/ModelPrepare.h"
#include "models/SceneLink.h"
#include "scene/Lump.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

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

// The fixture of the model tests: the asset layer as above, an empty model list and no bone
// names before each test; afterwards every model must have been released.
class ModelRecordsTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_ResetModelList();
        bz_ResetBoneNameTables();
        bzgMaterialEntryCount = 0;
    }

    void TearDown() override
    {
        EXPECT_EQ(bzgModelList, nullptr) << "a model was not released";
        EXPECT_EQ(bzgModelCount, 0);
        EXPECT_EQ(bzgMaterialEntryCount, 0);
        while (bzgModelList)
        {
            bzgModelList->refCount = 1;
            bz_ReleaseModel(bzgModelList);
        }
        bz_ResetModelList();
        bz_ResetBoneNameTables();
        bz_SetModelServices(nullptr);
        bz_SetModelSkinVertex(nullptr);
        bz_SetModelInfluenceSlotsQuery(nullptr);
        ModelsTest::TearDown();
    }

    // Gives the model a part of n vertices with one position, normal and colour array and two
    // texture sets (the default vertex format), all zeroed.
    static bzModelPart *MakePart(bzModel *model, int32_t n)
    {
        bzModelPart *part = bz_CreateModelPart(model);
        part->vertexCount = n;
        part->vertexFormat = 0;
        EXPECT_EQ(bz_SetModelVertexFormat(model, 1, 0, 1, 1, 2), 1);
        return part;
    }

    // Gives the part these faces (three vertex indices each, material entry 0).
    static void SetFaces(bzModelPart *part, std::initializer_list<std::array<uint32_t, 3>> faces)
    {
        part->faceCount = static_cast<int32_t>(faces.size());
        part->faces = static_cast<bzModelFace *>(
            bz_MemAlloc(static_cast<uint32_t>(faces.size() * sizeof(bzModelFace)), BZ_MEM_CLEAR));
        int32_t i = 0;
        for (const auto &f : faces)
        {
            part->faces[i].v[0] = f[0];
            part->faces[i].v[1] = f[1];
            part->faces[i].v[2] = f[2];
            ++i;
        }
    }
};

// A model of separate triangles: triangle t has vertices 3t, 3t + 1, 3t + 2 at (x0 + t, 0, 0),
// (x0 + t + 1, 0, 0) and (x0 + t, 1, 0).
inline bzModel *MakeTriangles(int32_t count, bzMaterial *material)
{
    bzModel *m = bz_CreateModel(count, 3 * count);
    for (int32_t t = 0; t < count; ++t)
    {
        const float x = static_cast<float>(t);
        const float pos[3][2] = {{x, 0}, {x + 1, 0}, {x, 1}};
        bzModelPolygon &p = m->vertexData->polygons[t];
        for (int32_t k = 0; k < 3; ++k)
        {
            bzModelDataVertex &v = m->vertexData->vertices[3 * t + k];
            v.x = pos[k][0];
            v.y = pos[k][1];
            p.v[k] = static_cast<uint32_t>(3 * t + k);
        }
        p.material = material;
        p.smoothing = 1;
    }
    return m;
}

// A prepared model of one separate triangle for each material given, triangle t drawn with the
// t-th material.
inline bzModel *MakeMaterialTriangles(const char *name,
                                      std::initializer_list<bzMaterial *> materials)
{
    bzModel *m = MakeTriangles(static_cast<int32_t>(materials.size()), nullptr);
    std::snprintf(m->name, sizeof m->name, "%s", name);
    int32_t t = 0;
    for (bzMaterial *material : materials)
        m->vertexData->polygons[t++].material = material;
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_REBUILD), 0);
    return m;
}

// The vertices of the lump's model as written in its vertex data (none without a model or data).
inline std::vector<bzV3> ModelVertices(bzLump *lump)
{
    std::vector<bzV3> out;
    const bzModel *model = bz_Lump_GetModel(lump);
    if (!model || !model->vertexData)
        return out;
    for (int32_t i = 0; i < model->vertexData->vertexCount; i++)
    {
        const bzModelDataVertex &v = model->vertexData->vertices[i];
        out.push_back(bzV3{{{v.x, v.y, v.z}}});
    }
    return out;
}

// The records of a list linked through `next`, first to last.
template <typename T> std::vector<T *> ListOf(T *head)
{
    std::vector<T *> out;
    for (T *e = head; e; e = e->next)
        out.push_back(e);
    return out;
}

// The model records with the models' scene services installed for each test.
class ModelSceneTest : public ModelRecordsTest
{
protected:
    void SetUp() override
    {
        ModelRecordsTest::SetUp();
        bz_Models_InstallSceneServices();
    }
    void TearDown() override
    {
        bz_Models_RemoveSceneServices();
        ModelRecordsTest::TearDown();
    }
};
