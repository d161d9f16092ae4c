#include "backends/gl/GlRenderer.h"

#include "backends/gl/GlDisplay.h"
#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlFlares.h"
#include "backends/gl/GlFormDebug.h"
#include "backends/gl/GlImage.h"
#include "backends/gl/GlLights.h"
#include "backends/gl/GlLines.h"
#include "backends/gl/GlMaterial.h"
#include "backends/gl/GlMesh.h"
#include "backends/gl/GlQuadBlocks.h"
#include "backends/gl/GlShadow.h"
#include "backends/gl/GlSkidMarks.h"
#include "backends/gl/GlSprites.h"
#include "device/RenderTable.h"

namespace
{
// Slots with nothing to do in this back end.
void Empty() {}
// The one empty function of slots 22, 23 and 24, shared by every back end's table.
void SharedEmpty() {}
int32_t ReturnsZero()
{
    return 0;
}
void EmptyInit(const bzInitRecord *) {}
int32_t ZeroInit(const bzInitRecord *)
{
    return 0;
}
int32_t ZeroPalette(bz_IMGMAP *, uint32_t *, int32_t)
{
    return 0;
}
int32_t ZeroPixelIndex(bz_IMGMAP *, int32_t, int32_t, uint8_t *)
{
    return 0;
}
uint32_t ZeroTextureMemory()
{
    return 0;
}
int32_t ZeroRefresh(bz_IMGMAP *)
{
    return 0;
}
int32_t ZeroBox(float, float, float, float, uint32_t, uint32_t, int32_t)
{
    return 0;
}
void EmptyViewport(bzViewport *) {}

// A slot that keeps the generic shape, filled with a function of the signature its callers
// use.
template <typename Fn> PDGenericSlot Slot(Fn *fn)
{
    return reinterpret_cast<PDGenericSlot>(fn);
}
} // namespace

void PDInstallGLRenderer(PDRenderFunctionTable *table)
{
    PDRenderFunctionTable &t = *table;
    t.PDReleaseHardwareData = [](void *) {};               // 0
    t.PDReserved01 = Empty;                                // 1
    t.PDDrawQuadBlockArray = Slot(OGL_DrawQuadBlockArray); // 2
    t.PDSetFrameShaderConstants = Empty;                   // 3
    t.PDSetImgMapPalette = OGL_SetImgMapPalette;           // 4
    t.PDPutImgMapPixelIndex = OGL_PutImgMapPixelIndex;     // 5
    t.PDPutImgMapPixel = OGL_PutImgMapPixel;               // 6
    t.PDGetImgMapPalette = ZeroPalette;                    // 7
    t.PDGetImgMapPixelIndex = ZeroPixelIndex;              // 8
    t.PDGetImgMapPixel = OGL_GetImgMapPixel;               // 9
    t.PDUnlockImgMap = OGL_UnlockImgMap;                   // 10
    t.PDLockImgMap = OGL_LockImgMap;                       // 11
    t.PDGetTextureMemory = ZeroTextureMemory;              // 12
    t.PDRefreshImgMapPixels = ZeroRefresh;                 // 13
    t.PDMakeImgMapATexture = OGL_MakeImgMapATexture;       // 14
    t.PDLoadTex2 = OGL_LoadTex2;                           // 15
    // 16 is left as it is.
    t.PDFreeImgMapTexture = OGL_FreeImgMapTexture;     // 17
    t.PDUpdateImgMapTexture = OGL_UpdateImgMapTexture; // 18
    t.PDResetGammaRamp = Empty;                        // 19
    t.PDReleaseImageResources = Empty;                 // 20
    t.PDInitImageResources = Empty;                    // 21
    t.PDReleaseEmitterData = SharedEmpty;              // 22
    t.PDInitEmitterData = SharedEmpty;                 // 23
    t.PDEndItemDraw = SharedEmpty;                     // 24
    t.PDPrepareSprites = [](bzParticleSystem *) {};    // 25
    t.PDDrawSprites = OGL_DrawSprites;                 // 26
    t.PDDraw2DBox = ZeroBox;                           // 27
    t.PDReserved28 = ReturnsZero;                      // 28
    t.PDReserved29 = ReturnsZero;                      // 29
    t.PDDraw2DLine = OGL_Draw2DLine;                   // 30
    t.PDDraw2DRectColours = OGL_Draw2DRectColours;     // 31
    t.PDDraw2DRect = OGL_Draw2DRect;                   // 32
    t.PDDraw2DImage = OGL_Draw2DImage;                 // 33
    t.PDDraw2DImageRotated = OGL_Draw2DImageRotated;   // 34
    t.PDFlush2D = OGL_Flush2D;                         // 35
    t.PDRelease2DBuffers = Empty;                      // 36
    t.PDCreate2DBuffers = Empty;                       // 37
    t.PDAdd2DVertexList = OGL_Add2DVertexList;         // 38
    t.PDClearViewport = OGL_ClearViewport;             // 39
    t.PDDisableFog = Empty;                            // 40
    t.PDSetFog = Empty;                                // 41
    t.PDSetWorldMatrix = OGL_SetWorldMatrix;           // 42
    t.PDNote2DViewport = EmptyViewport;                // 43
    t.PDViewportCreated = Empty;                       // 44
    t.PDSetProjection = OGL_SetProjection;             // 45
    t.PDSetAmbientLight = OGL_SetAmbientLight;         // 46
    t.PDSetViewport = OGL_SetViewport;                 // 47
    t.PDClearScreen = OGL_ClearScreen;                 // 48
    t.PDSetDisplayMode = OGL_SetDisplayMode;           // 49
    t.PDShowFrame = OGL_ShowFrame;                     // 50
    t.PDGetDriverName = OGL_GetDriverName;             // 51
    t.PDPreShutdownDisplay = Empty;                    // 52
    t.PDShutdownDisplay = OGL_ShutdownDisplay;         // 53
    t.PDCreateDisplayInterface = ZeroInit;             // 54
    t.PDInitWindow = OGL_InitWindow;                   // 55
    t.PDPreStartup = EmptyInit;                        // 56
    t.PDSwapColourBytes = OGL_SwapColourBytes;         // 57
    t.PDFreeLineVertices = Slot(OGL_FreeLineVertices); // 58
    t.PDUnlockLineVertices = Empty;                    // 59
    t.PDLockLineVertices = Slot(OGL_LockLineVertices); // 60
    t.PDDrawLineStrip = Slot(OGL_DrawLineStrip);       // 61
    t.PDDrawLineList = Empty;                          // 62
    t.PDSetDepthTest = OGL_SetDepthTest;               // 63
    t.PDMaterialCreated = Empty;                       // 64
    t.PDSetupMaterial = OGL_SetupMaterial;             // 65
    t.PDGetEffectParams = Empty;                       // 66
    t.PDSetEffectParams = Empty;                       // 67
    t.PDReleaseDeviceBuffers = Empty;                  // 68
    t.PDCreateDeviceBuffers = Empty;                   // 69
    t.PDDrawScreenRectGL = OGL_DrawScreenRectGL;       // 70
    t.PDSetFlareArrays = OGL_SetFlareArrays;           // 71
    t.PDDrawFlares = OGL_DrawFlares;                   // 72
    t.PDSetLight = OGL_SetLight;                       // 73
    t.PDDisableLights = OGL_DisableLights;             // 74
    t.PDSetObjectLighting = Empty;                     // 75
    t.PDDrawMaterialLabel = Empty;                     // 76
    t.PDSetupMaterialPass = Empty;                     // 77
    t.PDDrawMeshSimple = OGL_DrawMeshSimple;           // 78
    t.PDDrawMaterialGroup = OGL_DrawMaterialGroup;     // 79
    t.PDDrawMesh = Slot(OGL_DrawMeshSlot);             // 80
    // 81 is left as it is.
    t.PDDrawScreenImage = [](bz_IMGMAP *, float, float, float, float, const float *) {}; // 82
    t.PDDrawPolyline = OGL_DrawPolyline;                                                 // 83
    t.PDSetupLineDrawing = OGL_SetupLineDrawing;                                         // 84
    t.PDEndScene = Empty;                                                                // 85
    t.PDBeginScene = Empty;                                                              // 86
    t.PDDrawModelInstance = OGL_DrawModelInstance;                                       // 87
    t.PDDebugDrawForm = Slot(OGL_DebugDrawForm);                                         // 88
    t.PDDebugDrawFormAt = Slot(OGL_DebugDrawFormAt);                                     // 89
    t.PDDebugDrawFormMark = Slot(OGL_DebugDrawFormMark);                                 // 90
    t.PDSetupGlowTarget = Empty;                                                         // 91
    t.PDReserved92 = ReturnsZero;                                                        // 92
    // 93 is left as it is.
    t.PDDrawMeshIndexed = OGL_DrawMeshIndexed;           // 94
    t.PDDebugDrawFormWire = Slot(OGL_DebugDrawFormWire); // 95
    t.PDDebugDrawFormSolid = Empty;                      // 96
    t.PDRebuildModelLists = OGL_RebuildModelLists;       // 97
    t.PDUpdateModelVertices = OGL_UpdateModelVertices;   // 98
    t.PDBuildModelBuffers = OGL_BuildModelBuffers;       // 99
    t.PDFreeModelBuffers = OGL_FreeModelBuffers;         // 100
    t.PDRebuildModelIndices = OGL_RebuildModelIndices;   // 101
    t.PDDrawSkidRibbon = Slot(OGL_DrawSkidRibbon);       // 102
    t.PDDrawShadowOverlay = OGL_DrawShadowOverlay;       // 103
    t.PDDrawShadowVolume = OGL_DrawShadowVolume;         // 104
    t.PDSetShadowVolumeData = OGL_SetShadowVolumeData;   // 105
}
