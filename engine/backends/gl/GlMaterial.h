// Material passes of the OpenGL back end: a material's layers turned into fixed-function state,
// one layer a pass on texture unit 0, or its first two layers at once on two units with the
// texture-combine set-ups (an additive or subtractive pair, a decal pair, or an untextured base
// under one textured layer). OGL_DrawMesh runs the passes and calls the caller's drawing
// routine once a pass.
#pragma once

#include <cstdint>

struct bzMaterial;
struct bzM44;

// Called once a pass with the caller's argument and the pass (the layer index drawn, or 0 for
// a combined pass).
typedef void (*bzOGLPassCallback)(void *argument, int32_t pass);

// The material-pass setting (3 unless changed; 0 draws every material one layer a pass).
extern int32_t bzgOGLMaterialPasses;
// The camera matrix of special effects 1 and 2 (the identity unless the front end points it
// at its camera).
extern const bzM44 *bzgOGLEffectCamera;

// The time in seconds that scrolling layers move by (the engine's millisecond clock x 0.001).
extern float (*bzgOGLSeconds)();

// The pass routine a material gets (kept in the material's renderer block).
enum : uint32_t
{
    BZ_OGL_PASS_LAYERS = 0, // one layer a pass
    BZ_OGL_PASS_ADD_PAIR = 1,
    BZ_OGL_PASS_DECAL_PAIR = 2,
    BZ_OGL_PASS_LAYER1_COMBINE = 3,
};

// Slot 65: clears the material's pass routine and, with the setting and the multitexture and
// combine capabilities, chooses one. Returns 0.
int32_t OGL_SetupMaterial(bzMaterial *material, int32_t mask);
void OGL_ChooseMaterialPass(bzMaterial *material);
uint32_t OGL_MaterialPass(const bzMaterial *material);

// Sets one layer on one texture unit: pass colour (unit 0), coordinate source, special effect
// and scrolling. Returns 1.
int32_t PDSetupTextureStage(int32_t layer, int32_t unit, bzMaterial *material);
void OGL_SetTextureFilters(uint32_t materialFlags, int32_t mipLevels);

// Draws a material: culling and depth writes from its flags, its pass routine, then each layer
// not yet drawn, calling back once a pass.
void OGL_DrawMesh(bzMaterial *material, int32_t count, bzOGLPassCallback callback, void *argument);
