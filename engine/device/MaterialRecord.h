// The material record: how a surface is drawn (a base colour, a flag word, lighting terms and
// up to eight layers, each with an image map). The asset layer owns and updates it; the
// renderer back ends read it when they set a material up and keep their own state in its
// renderer block.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bz_IMGMAP;

// Material flags.
enum : uint32_t
{
    BZ_MATERIAL_LOW_BITS = 0x00000007,       // a loaded material with none of them gets 0x2
    BZ_MATERIAL_TINT_BAKED = 0x00000002,     // tint the baked vertex colours
    BZ_MATERIAL_VERTEX_COLOURS = 0x00000004, // the vertices carry colours
    BZ_MATERIAL_LIGHTING = 0x00000008,       // lighting allowed
    BZ_MATERIAL_SPECULAR = 0x00000010,
    BZ_MATERIAL_TWO_SIDED = 0x00000040,
    BZ_MATERIAL_ALWAYS_BLENDED = 0x00000080,
    BZ_MATERIAL_NO_DEPTH_WRITE = 0x00000400,
    BZ_MATERIAL_DEPTH_ALWAYS = 0x00000800,   // drawn without depth test
    BZ_MATERIAL_LOADER_KEPT = 0x00010000,    // its value after a load is kept by the loader
    BZ_MATERIAL_LINEAR_MAGNIFY = 0x00040000, // linear magnification
    BZ_MATERIAL_NEVER_SHARED = 0x00400000,   // every load makes a fresh copy
    BZ_MATERIAL_BLENDED = 0x08000000,        // derived: first layer blended, no depth writes
    BZ_MATERIAL_FROM_FOLDER = 0x10000000,    // loaded from the material folder
    BZ_MATERIAL_ADDITIVE_LAYER = 0x20000000, // derived: an enabled layer of kind 1, 2, 4 or 5
    BZ_MATERIAL_DEFAULT_MARKS = 0x40000001,  // set on the "Default" material
    BZ_MATERIAL_NEW_FLAGS = 0x0006000A,      // the flags of a new material
};

// Derived material flags.
enum : uint32_t
{
    BZ_MATDERIVED_SET0 = 0x1,  // a textured layer uses texture-coordinate set 0
    BZ_MATDERIVED_SET1 = 0x2,  // a textured layer uses texture-coordinate set 1
    BZ_MATDERIVED_EXTRA = 0x4, // an enabled layer of kind 1, 2, 4 or 5, or lighting allowed
};

// Layer flags.
enum : uint8_t
{
    BZ_LAYER_OFF = 0x01,
    BZ_LAYER_FILE_BIT0 = 0x04, // kept from a material file's layer bit 0x01
    BZ_LAYER_FILE_BIT1 = 0x08, // kept from a material file's layer bit 0x02
    BZ_LAYER_SCROLLING = 0x10, // from a material file's layer bit 0x04
    BZ_LAYER_LIT = 0x20,
    BZ_LAYER_FIRST = 0x60, // what layer 0 of a new material carries
};

constexpr int32_t BZ_MATERIAL_MAX_FILE_LAYERS = 8;

// One layer. Texture-coordinate kinds 1, 2, 4 and 5 mark the material's additive-layer flag;
// kinds 1, 2, 4, 5 and 11 use no texture-coordinate set; with kinds 7, 9 and 10 on its first
// enabled layer a material is never blended by that layer.
struct bzMaterialLayer
{
    bz_IMGMAP *image; // one counted reference, or null
    float alpha;      // 0..1 after every update
    float scrollU;    // scroll speeds, kept and saved
    float scrollV;
    float effect[3];      // special-effect code, then two small whole numbers (saved as bytes)
    uint8_t texCoordKind; // texture-coordinate kind
    uint8_t blendKind;    // 0..5; non-zero blends the material
    uint8_t texCoordSet;  // 0 or 1
    uint8_t addressU;     // 1..4
    uint8_t addressV;     // 1..4
    uint8_t flags;        // BZ_LAYER_*
    bzM23 *transform;     // owned texture transform, or null
};

struct bzMaterial
{
    void *boundElement;    // the dynamics element animating it, destroyed with it
    uint32_t materialWord; // kept and saved
    uint32_t flags;        // BZ_MATERIAL_*
    uint16_t specular;     // specular term, 0xBFFC at creation
    float effectTerms[3];  // emissive terms, kept and saved
    float lighting;        // lighting term
    float red;
    float green;
    float blue;
    uint8_t materialByte;
    uint8_t activeLayers; // derived: enabled layers
    uint8_t layerCount;
    uint8_t lastActiveLayer; // derived
    float extraTerms[4];     // specular colour and power, kept and saved
    bzMaterialLayer *layers; // owned, layerCount entries
    uint32_t furtherWord1;
    uint32_t unsavedWord;
    uint32_t furtherWord2;
    int32_t refCount;
    uint32_t nameHash;     // bz_HashString of fullName
    uint32_t renderer[16]; // the back end's set-up state
    uint32_t vertexFormat; // derived
    uint32_t derivedFlags; // BZ_MATDERIVED_*
    char *fullName;        // owned, or null
    const char *shortName; // inside fullName, behind its last backslash
    bzMaterial *prev;      // the first record's prev is the last record
    bzMaterial *next;
};
