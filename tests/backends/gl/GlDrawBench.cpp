// Frames of a scene of 200 models (a lit, textured grid of 200 triangles each) and 2,000
// particle sprites at 640x480 on the OpenGL back end, the models replayed from recorded display
// lists against drawn from their arrays every frame. Built as bench_backends_gl; not run by the
// tests; needs an X display (run it under xvfb-run). The counter "fps" is frames a second.
#include "backends/gl/GlDisplay.h"
#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlImage.h"
#include "backends/gl/GlLights.h"
#include "backends/gl/GlMaterial.h"
#include "backends/gl/GlMesh.h"
#include "backends/gl/GlRenderer.h"
#include "backends/gl/GlSprites.h"
#include "device/ImageRecord.h"
#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "models/Model.h"
#include "pc/PcWindow.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace
{
constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kModels = 200;
constexpr int kGrid = 10; // 10 x 10 squares: 121 vertices, 200 triangles
constexpr int kParticles = 2000;

struct Scene
{
    bool open = false;
    bz_IMGMAP image{};
    std::vector<bzV3> positions, normals;
    std::vector<float> uvs;
    std::vector<uint16_t> indices;
    bzMaterialLayer layer{};
    bzMaterial material{};
    bzMaterialEntry entry{};
    bzModelPart part{};
    bzModel model{};
    std::vector<bzM34> placements;
    std::vector<bzParticle> particles;
    bzParticleSystem system{};
    bzLight sun{};
    bzLump sunLump{};
    bzLump owner{};

    Scene()
    {
        setenv("SDL_VIDEODRIVER", "x11", 1);
        PDInstallGLRenderer(&bzgRenderTable);
        PDSetKeepActive(1);
        PDSetMessageWaitLimit(20);
        open = OGL_SetDisplayMode(0, kW, kH, kW, kH, 0.0f, BZ_DISPLAY_32BIT, 0) == 0;
        if (!open)
            return;
        // An 8x8 checker texture with its mip levels.
        image.width = 8;
        image.height = 8;
        image.format = BZ_IMAGE_8888;
        image.refCount = 1;
        OGL_LockImgMap(&image, BZ_LOCK_WRITE);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                OGL_PutImgMapPixel(&image, x, y, 255, (x + y) % 2 ? 255 : 40, 120, 60);
        OGL_UnlockImgMap(&image);
        OGL_MakeImgMapATexture(&image);
        // A gently curved grid of 1 x 1.
        for (int j = 0; j <= kGrid; ++j)
            for (int i = 0; i <= kGrid; ++i)
            {
                const float x = float(i) / kGrid - 0.5f;
                const float y = float(j) / kGrid - 0.5f;
                positions.push_back({x, y, 0.2f * (x * x + y * y)});
                const float n[3] = {-0.4f * x, -0.4f * y, -1.0f};
                const float l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                normals.push_back({n[0] / l, n[1] / l, n[2] / l});
                uvs.push_back(float(i) / kGrid);
                uvs.push_back(float(j) / kGrid);
            }
        for (int j = 0; j < kGrid; ++j)
            for (int i = 0; i < kGrid; ++i)
            {
                const uint16_t a = uint16_t(j * (kGrid + 1) + i);
                const uint16_t b = uint16_t(a + 1);
                const uint16_t c = uint16_t(a + kGrid + 1);
                const uint16_t d = uint16_t(c + 1);
                for (uint16_t v : {a, c, b, b, c, d})
                    indices.push_back(v);
            }
        layer.image = &image;
        layer.alpha = 1.0f;
        layer.flags = BZ_LAYER_LIT;
        material.layers = &layer;
        material.layerCount = 1;
        material.red = material.green = material.blue = 1.0f;
        material.flags = BZ_MATERIAL_LIGHTING | BZ_MATERIAL_TWO_SIDED;
        part.vertexCount = int32_t(positions.size());
        part.positions[0] = positions.data();
        part.normals[0] = normals.data();
        part.uvs[0] = uvs.data();
        part.entryCount = 1;
        part.entries = &entry;
        entry.material = &material;
        entry.part = &part;
        entry.listIndexCount = uint32_t(indices.size());
        entry.listIndices = indices.data();
        entry.listVertexSpan = uint32_t(positions.size());
        model.part = &part;
        OGL_SetupMaterial(&material, 0);
        // 20 x 10 models in front of the camera, from 4 to 13 units away.
        for (int k = 0; k < kModels; ++k)
        {
            bzM34 m{};
            m.row[0] = {1, 0, 0};
            m.row[1] = {0, 1, 0};
            m.row[2] = {0, 0, 1};
            m.row[3] = {float(k % 20) - 9.5f, float(k / 20) - 4.5f, 4.0f + float(k % 10)};
            placements.push_back(m);
        }
        particles.resize(kParticles);
        for (int k = 0; k < kParticles; ++k)
        {
            bzParticle &p = particles[size_t(k)];
            p.position = {float(k % 50) * 0.3f - 7.5f, float(k / 50) * 0.2f - 4.0f, 6.0f};
            p.age = float(k % 100) / 100.0f;
            p.startColour = 0x80FFC040;
            p.deltaBA[1] = -128;
            p.next = k + 1 < kParticles ? &particles[size_t(k + 1)] : nullptr;
        }
        system.layers[0].head = particles.data();
        system.layers[0].mode = 1;
        system.startSize = 0.1f;
        system.endSize = 0.3f;
        sun.type = BZ_LUMP_TYPE_DIRLIGHT;
        sun.parameter1 = 0xFFFFFF;
        sunLump.type = BZ_LUMP_TYPE_DIRLIGHT;
        sunLump.object = &sun;
        owner.flags = 0x2;
    }

    void Frame()
    {
        glViewport(0, 0, kW, kH);
        glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        float projection[16];
        OGL_PerspectiveMatrix(projection, 45.0f, float(kW) / kH, 1.0f, 100.0f);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        OGL_DisableLights();
        bzM34 light{};
        light.row[0] = {1, 0, 0};
        light.row[1] = {0, 0, 1};
        light.row[2] = {0, -1, 0};
        OGL_SetLight(0, &sunLump, &light);
        for (const bzM34 &m : placements)
        {
            OGL_SetWorldMatrix(&m, nullptr);
            OGL_SetDepthTest(&material);
            OGL_DrawMaterialGroup(&entry, &material, &m, &owner, 0);
        }
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        OGL_DrawSprites(&system);
        glFinish();
    }
};

Scene &TheScene()
{
    static Scene scene;
    return scene;
}

void Frames(benchmark::State &state, bool lists)
{
    Scene &s = TheScene();
    if (!s.open)
    {
        state.SkipWithError("no OpenGL display (run under xvfb-run)");
        return;
    }
    if (lists)
        OGL_RebuildModelIndices(&s.model);
    else
        OGL_FreeModelBuffers(&s.model);
    for (auto _ : state)
        s.Frame();
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SceneWithDisplayLists(benchmark::State &state)
{
    Frames(state, true);
}
void BM_SceneFromArrays(benchmark::State &state)
{
    Frames(state, false);
}
BENCHMARK(BM_SceneWithDisplayLists)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SceneFromArrays)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
