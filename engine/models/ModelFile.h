// Model files (".MDL"): one model a file, little-endian and packed, field by field. A container
// header (magic 0x2345, or 0x1234 for the short container, the payload version, from 0x507 on
// a geometry checksum, a flag word and the payload size) and a payload of the version's layout:
// bounds, the material names, the render-ready mesh ("prep data": faces, vertices, material
// entries with strip and list indices, a skeleton) and the editable geometry ("app_data":
// data vertices, polygons, face-to-polygon and copy tables, source bones and skin weights).
//
// The reader takes versions 0x402, 0x403 and 0x500 to 0x509 and checks every count and index
// against the bytes and records there are; a file that opens but cannot be used gives the cube
// "Box" with the last error set. The writer writes version 0x509.
#pragma once

#include "device/MaterialRecord.h"
#include "models/Model.h"

#include <cstdint>

struct bzFileHandle;

constexpr uint16_t BZ_MODEL_FILE_MAGIC = 0x2345;
constexpr uint16_t BZ_MODEL_FILE_SHORT_MAGIC = 0x1234;
constexpr uint16_t BZ_MODEL_FILE_VERSION = 0x509;

// Header flag word of version 0x509.
enum : uint32_t
{
    BZ_MDLFLAG_APP_DATA = 0x01,
    BZ_MDLFLAG_MODEL_FLAGS = 0x1E, // copied to and from the model's flags bits 1-4
    BZ_MDLFLAG_SKELETON = 0x20,
};

// Model-loading option bits of the reader.
enum : uint32_t
{
    BZ_MODELOPT_READ_APP_DATA = 0x01,
    BZ_MODELOPT_SKIP_FACES = 0x20,
};

// The most influences one skin vertex of the source bones holds.
constexpr int32_t BZ_SKIN_MAX_INFLUENCES = 20;

// A source bone of the editable geometry (84 bytes).
struct bzModelDataBone
{
    char name[32];
    int8_t parent; // -1 for a root
    uint8_t spare[3];
    bzV3 rows[3]; // rotation
    bzV3 position;
};
static_assert(sizeof(bzModelDataBone) == 84);

// The skin weights of one data vertex (364 bytes); influences beyond the count are 0.
struct bzModelSkinVertex
{
    int16_t count;
    uint16_t bones[BZ_SKIN_MAX_INFLUENCES];
    float weights[BZ_SKIN_MAX_INFLUENCES];
    bzV3 offsets[BZ_SKIN_MAX_INFLUENCES];
};
static_assert(sizeof(bzModelSkinVertex) == 364);

// Called with each material the current version's reader loads; null by default.
extern void (*bzgModel_materialHook)(bzMaterial *material);

// Reads "<path>.MDL" (path at most 251 characters, no extension). A new model with one
// reference; the "Box" cube when the file opened but holds nothing usable (error 58 for an
// unknown version, 29 for counts or indices the file does not bear out, 14 without memory);
// null when the file does not open (no error), its header is refused (29, or 52 for a short
// container of other than one model), its payload is empty (29) or no temporary memory is left
// for it (14).
bzModel *bz_ReadModelFile(const char *path, uint32_t nameHash);
// The same over a whole file image already in memory; path names the model (its folder is
// where material names are looked up).
bzModel *bz_ReadModelImage(const uint8_t *bytes, uint32_t length, const char *path,
                           uint32_t nameHash);

// Computes every material entry's centre, radius and box from the vertices its indices name.
void CalcMaterialEntryBounds(bzModel *model);

// Writes the model as version 0x509 to an open file: the app_data when asked and the model has
// vertex data, the prep data when asked and it has a part. 0, or the error: 71 no model, 76 a
// model without part asked for prep data, 20 a count or index that does not fit the file's
// 16-bit fields, 19 a write or seek that failed, 14 no memory for the strips.
int32_t WriteModelFile(bzFileHandle *file, bzModel *model, int32_t withAppData,
                       int32_t withPrepData);
// Cuts the path's extension in place (at its last dot, when that is not the first character and
// no backslash follows it), appends ".MDL" and writes the file: 0, 19 when it cannot be created,
// else the code of WriteModelFile.
int32_t bz_SaveModel(char *path, bzModel *model, int32_t withAppData, int32_t withPrepData);
// The same with the file name as given.
int32_t bz_SaveModelToFile(const char *fileName, bzModel *model, int32_t withAppData,
                           int32_t withPrepData);
// Loads the model file afresh and writes it back as the current version with its prep data:
// 1 when it was written, 0 when it did not load or could not be written.
int32_t bz_TestModelFile(char *path);
