// The renderer function table: every drawing, texture, display and frame operation goes
// through these 106 slots, filled whole by one back end at start-up. The table starts zeroed;
// callers skip a slot that is NULL.
//
// Slots with a status result return 0 or an engine error code: 12 (image map not locked),
// 13 (already locked), 23, 29, 68 (pixel format not handled), 73 (no palette), 14.
#pragma once

#include <cstdint>

struct bzViewport;
struct bz_IMGMAP;
struct bzMaterial;
struct bzModel;
struct bzMaterialEntry;
struct bzLump;
struct bzFileHandle;
struct bzShadowFace;
struct bzTextRun;
struct bzM34;
struct bzInitRecord;
struct bzParticleSystem;
struct bzFlareVertex;

// Slots whose arguments are not yet used by any caller keep the generic shape; each gets its
// full signature together with the back ends that implement it. Slots 22-24 keep it for good:
// every back end fills them with one shared empty function.
typedef void (*PDGenericSlot)();

// Slot 82: draws an image map into a screen rectangle with the texture coordinates
// {u0, v0, u1, v1}.
typedef void (*PDDrawScreenImageFn)(bz_IMGMAP *image, float x, float y, float w, float h,
                                    const float *uv);
// Slot 31 takes its four colours (0xAARRGGBB) in the order of the corners (x, y), (x + w, y),
// (x + w, y + h), (x, y + h).
// Slots 33 and 34: a textured 2-D quad over (x, y, w, h) with the texture coordinates
// {u0, v0, u1, v1} (null: the whole image), turned by `angle` degrees about its centre.
typedef int32_t (*PDDraw2DImageFn)(float x, float y, float w, float h, int32_t blend,
                                   const float *uv, uint32_t flags, bz_IMGMAP *image, float angle,
                                   float scale);
// The display request flags of PDSetDisplayMode (slot 49) that every back end reads.
enum : uint32_t
{
    BZ_DISPLAY_STENCIL = 0x1,
    BZ_DISPLAY_32BIT = 0x2,
    BZ_DISPLAY_FULLSCREEN = 0x4,
};
// Slot 71: binds the arrays of one flare shape, vertices of `stride` bytes (position x, y, z, w
// at 0, colour at 16, u and v at 20) and 16-bit triangle indices.
typedef void (*PDSetFlareArraysSlot)(int32_t shape, const bzFlareVertex *vertices,
                                     int32_t vertexCount, int32_t stride, const uint16_t *indices,
                                     int32_t indexCount);

struct PDRenderFunctionTable
{
    void (*PDReleaseHardwareData)(void *object);                                             // 0
    PDGenericSlot PDReserved01;                                                              // 1
    PDGenericSlot PDDrawQuadBlockArray;                                                      // 2
    PDGenericSlot PDSetFrameShaderConstants;                                                 // 3
    int32_t (*PDSetImgMapPalette)(bz_IMGMAP *image, const uint32_t *palette, int32_t count); // 4
    int32_t (*PDPutImgMapPixelIndex)(bz_IMGMAP *image, int32_t x, int32_t y, int32_t index); // 5
    int32_t (*PDPutImgMapPixel)(bz_IMGMAP *image, int32_t x, int32_t y, int32_t a, int32_t r,
                                int32_t g, int32_t b);                                        // 6
    int32_t (*PDGetImgMapPalette)(bz_IMGMAP *image, uint32_t *out, int32_t count);            // 7
    int32_t (*PDGetImgMapPixelIndex)(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *index); // 8
    int32_t (*PDGetImgMapPixel)(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *a, uint8_t *r,
                                uint8_t *g, uint8_t *b);                                   // 9
    int32_t (*PDUnlockImgMap)(bz_IMGMAP *image);                                           // 10
    int32_t (*PDLockImgMap)(bz_IMGMAP *image, int32_t mode);                               // 11
    uint32_t (*PDGetTextureMemory)();                                                      // 12
    int32_t (*PDRefreshImgMapPixels)(bz_IMGMAP *image);                                    // 13
    void (*PDMakeImgMapATexture)(bz_IMGMAP *image);                                        // 14
    bz_IMGMAP *(*PDLoadTex2)(bz_IMGMAP *image, const uint8_t *header, bzFileHandle *file); // 15
    PDGenericSlot PDMakeImgMapMipMaps;                                                     // 16
    void (*PDFreeImgMapTexture)(bz_IMGMAP *image);                                         // 17
    int32_t (*PDUpdateImgMapTexture)(bz_IMGMAP *image);                                    // 18
    PDGenericSlot PDResetGammaRamp;                                                        // 19
    void (*PDReleaseImageResources)();                                                     // 20
    void (*PDInitImageResources)();                                                        // 21
    void (*PDReleaseEmitterData)();                                                        // 22
    void (*PDInitEmitterData)();                                                           // 23
    PDGenericSlot PDEndItemDraw;                                                           // 24
    void (*PDPrepareSprites)(bzParticleSystem *system);                                    // 25
    void (*PDDrawSprites)(bzParticleSystem *system);                                       // 26
    int32_t (*PDDraw2DBox)(float x, float y, float w, float h, uint32_t colour1, uint32_t colour2,
                           int32_t blend); // 27
    int32_t (*PDReserved28)();             // 28
    int32_t (*PDReserved29)();             // 29
    int32_t (*PDDraw2DLine)(float x0, float y0, float x1, float y1, uint32_t colour,
                            int32_t blend); // 30
    int32_t (*PDDraw2DRectColours)(float x, float y, float w, float h, const uint32_t *colours,
                                   int32_t blend, bz_IMGMAP *image, uint32_t flags); // 31
    int32_t (*PDDraw2DRect)(float x, float y, float w, float h, uint32_t colour, int32_t blend,
                            bz_IMGMAP *image, uint32_t flags);           // 32
    PDDraw2DImageFn PDDraw2DImage;                                       // 33
    PDDraw2DImageFn PDDraw2DImageRotated;                                // 34
    void (*PDFlush2D)();                                                 // 35
    PDGenericSlot PDRelease2DBuffers;                                    // 36
    void (*PDCreate2DBuffers)();                                         // 37
    void (*PDAdd2DVertexList)(bzTextRun *run);                           // 38
    int32_t (*PDClearViewport)(bzViewport *viewport);                    // 39
    PDGenericSlot PDDisableFog;                                          // 40
    PDGenericSlot PDSetFog;                                              // 41
    void (*PDSetWorldMatrix)(const bzM34 *matrix, bzViewport *viewport); // 42
    void (*PDNote2DViewport)(bzViewport *viewport);                      // 43
    PDGenericSlot PDViewportCreated;                                     // 44
    void (*PDSetProjection)(bzViewport *viewport);                       // 45
    void (*PDSetAmbientLight)(uint32_t colour);                          // 46
    int32_t (*PDSetViewport)(bzViewport *viewport);                      // 47
    void (*PDClearScreen)(int32_t present, int32_t count);               // 48
    int32_t (*PDSetDisplayMode)(int32_t adapter, int32_t width, int32_t height, int32_t viewWidth,
                                int32_t viewHeight, float aspect, uint32_t flags,
                                int32_t refreshRate);                            // 49
    void (*PDShowFrame)();                                                       // 50
    const char *(*PDGetDriverName)();                                            // 51
    void (*PDPreShutdownDisplay)();                                              // 52
    void (*PDShutdownDisplay)();                                                 // 53
    int32_t (*PDCreateDisplayInterface)(const bzInitRecord *record);             // 54
    int32_t (*PDInitWindow)(const bzInitRecord *record);                         // 55
    void (*PDPreStartup)(const bzInitRecord *record);                            // 56
    void (*PDSwapColourBytes)(uint32_t *colour);                                 // 57
    PDGenericSlot PDFreeLineVertices;                                            // 58
    PDGenericSlot PDUnlockLineVertices;                                          // 59
    PDGenericSlot PDLockLineVertices;                                            // 60
    PDGenericSlot PDDrawLineStrip;                                               // 61
    PDGenericSlot PDDrawLineList;                                                // 62
    void (*PDSetDepthTest)(bzMaterial *material);                                // 63
    void (*PDMaterialCreated)();                                                 // 64
    int32_t (*PDSetupMaterial)(bzMaterial *material, int32_t mask);              // 65
    PDGenericSlot PDGetEffectParams;                                             // 66
    PDGenericSlot PDSetEffectParams;                                             // 67
    PDGenericSlot PDReleaseDeviceBuffers;                                        // 68
    PDGenericSlot PDCreateDeviceBuffers;                                         // 69
    void (*PDDrawScreenRectGL)(int32_t unused, uint32_t colour, int32_t blend);  // 70
    PDSetFlareArraysSlot PDSetFlareArrays;                                       // 71
    void (*PDDrawFlares)(bz_IMGMAP *texture);                                    // 72
    int32_t (*PDSetLight)(int32_t index, const void *light, const void *matrix); // 73
    PDGenericSlot PDDisableLights;                                               // 74
    PDGenericSlot PDSetObjectLighting;                                           // 75
    PDGenericSlot PDDrawMaterialLabel;                                           // 76
    PDGenericSlot PDSetupMaterialPass;                                           // 77
    void (*PDDrawMeshSimple)(bzMaterialEntry *group);                            // 78
    // One material group of a model in the draw queue, under its view matrix; clip is 1 when
    // the lump crosses the guard band.
    void (*PDDrawMaterialGroup)(bzMaterialEntry *group, bzMaterial *material, const bzM34 *matrix,
                                bzLump *lump, int32_t clip);  // 79
    PDGenericSlot PDDrawMesh;                                 // 80
    PDGenericSlot PDReserved81;                               // 81
    PDDrawScreenImageFn PDDrawScreenImage;                    // 82
    int32_t (*PDDrawPolyline)(const void *points, int32_t n); // 83
    void (*PDSetupLineDrawing)(uint32_t colour);              // 84
    PDGenericSlot PDEndScene;                                 // 85
    PDGenericSlot PDBeginScene;                               // 86
    void (*PDDrawModelInstance)(bzModel *model, const bzM34 *matrix, bzViewport *viewport,
                                bzLump *lump);                       // 87
    PDGenericSlot PDDebugDrawForm;                                   // 88
    PDGenericSlot PDDebugDrawFormAt;                                 // 89
    PDGenericSlot PDDebugDrawFormMark;                               // 90
    PDGenericSlot PDSetupGlowTarget;                                 // 91
    int32_t (*PDReserved92)();                                       // 92
    PDGenericSlot PDDrawIndexedOnce;                                 // 93
    void (*PDDrawMeshIndexed)(bzMaterialEntry *group, int32_t pass); // 94
    PDGenericSlot PDDebugDrawFormWire;                               // 95
    PDGenericSlot PDDebugDrawFormSolid;                              // 96
    void (*PDRebuildModelLists)(bzModel *model);                     // 97
    void (*PDUpdateModelVertices)(bzModel *model);                   // 98
    int32_t (*PDBuildModelBuffers)(bzModel *model);                  // 99
    void (*PDFreeModelBuffers)(bzModel *model);                      // 100
    int32_t (*PDRebuildModelIndices)(bzModel *model);                // 101
    // Skid-mark ribbons: one ribbon's coloured triangle list in world positions with the
    // set's image and flags (signature in render/RenderSlots.h).
    PDGenericSlot PDDrawSkidRibbon; // 102
    // Stencil shadows: darkens the marked part of the screen rectangle (x, y, w, h).
    void (*PDDrawShadowOverlay)(int32_t x, int32_t y, int32_t w, int32_t h); // 103
    // Stencil shadows: one shadow lump's volume, away from the light (null: the back end's own).
    void (*PDDrawShadowVolume)(bzLump *shadowLump, void *light); // 104
    // Hands a model's shadow edge faces (one a part face) and its seam-triangle count to the
    // back end, which copies what it keeps.
    void (*PDSetShadowVolumeData)(bzModel *model, const bzShadowFace *faces,
                                  int32_t seamTriangles); // 105
};

static_assert(sizeof(PDRenderFunctionTable) == 106 * sizeof(void *));

// PDAdd2DVertexList (slot 38) draws a laid-out text run (device/TextRun.h): the back end takes
// room for run->vertexCount vertices and calls run->fill exactly once to lay the run out into
// them (which also moves the pen).

// The line-vertex records of PDDrawPolyline (slot 83): this many bytes each, the three position
// floats first; it draws n of them as one line and gives 0, or 10 when no vertices can be had.
// PDSetupLineDrawing (slot 84) sets the line state and colour before it.
constexpr uint32_t BZ_LINE_VERTEX_SIZE = 44;

// The one table of the running program.
extern PDRenderFunctionTable bzgRenderTable;

// The 2-D drawing target: the viewport that 2-D records go to (null = the whole screen). Code
// that draws its own overlay saves it, tells slot 43 of its own target, and restores both.
extern bzViewport *bzg2DDrawMode;

// Forwards to the renderer's light set-up and returns its result (-1 while there is none).
int32_t bz_SetLight(int32_t index, const void *light, const void *matrix);

// Texture-stage switch read by the Direct3D back end.
extern int32_t bzgTextureStageSwitch;
void bz_ClearTextureStageSwitch();
void bz_SetTextureStageSwitch();
