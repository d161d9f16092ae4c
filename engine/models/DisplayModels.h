// Models built in code for things that have no model file: the cube that stands in for a model
// file that cannot be used ("Box"), the shapes the debug display shows for collision forms
// (box, octahedron, sphere, capsule), and what they share: face subdivision, the colouring of
// polygons from their material, the half-texel inset and the ear clipping of a 2-D outline.
// Each builder fills the model's editable geometry and prepares its part; the model comes back
// with one reference, or null with the last error set (14 when memory runs out).
#pragma once

#include "device/MaterialRecord.h"
#include "models/Model.h"

#include <cstdint>

// Polygons subdivided (n + 1)^2 ways over fresh vertices, then welded. 0 (and nothing done)
// for level 0; 71 for no model, 75 without vertex data, 20 for a negative level or one whose
// polygon count would not fit, 14 without memory.
int32_t bz_SubdivideModelPolygons(bzModel *model, int32_t level);
// Every polygon with a material gets its colour in all three corners as 0xFFRRGGBB.
void bz_ApplyMaterialColour(bzModel *model);
// 0.5 / height of the image of the material's first layer; 1/512 without one.
float bz_HalfTexel(const bzMaterial *material);

// box: minimum x, y, z then maximum x, y, z. 8 vertices, 12 polygons, then subdivided.
bzModel *bz_CreateBoxModel(const char *name, const float *box, int32_t level, bzMaterial *material);
// A box of the edge length centred on the origin, level 0.
bzModel *bz_CreateCubeModel(const char *name, bzMaterial *material, float edge);
// An octahedron whose equator vertices sit on the corners of the width by depth rectangle.
bzModel *bz_CreateDiamondModel(const char *name, float width, float height, float depth,
                               bzMaterial *material);
// An octahedron subdivided at the level and pushed out onto the sphere of the radius.
bzModel *bz_CreateSphereModel(const char *name, bzMaterial *material, int32_t level, float radius);
// A capsule on the x axis between the two ends (sorted), of segments (above 0) around. With
// segments -1 the given model is refilled with the new radius and ends, keeping its counts.
bzModel *bz_CreateTicTacModel(float radius, float firstEnd, float secondEnd, int32_t segments,
                              bzModel *model);

// A quad in the x-y plane, w by h, its corners' set-0 texture coordinates from uvs (four u, v
// pairs, by vertex: top left, top right, bottom right, bottom left).
bzModel *bz_CreatePlaneModel(const char *name, float width, float height, bzMaterial *material,
                             const float *uvs);
// The plane with the whole texture once.
bzModel *bz_CreateHalfSpaceModel(const char *name, float width, float height, bzMaterial *material);
// The plane with the texture repeated, subdivided at the level.
bzModel *bz_CreateGridModel(const char *name, int32_t level, float repeat, float width,
                            float height, bzMaterial *material);
// A fan of segments (above 0) in the x-z plane.
bzModel *bz_CreateDiscModel(const char *name, int32_t segments, float radius, bzMaterial *material);
bzModel *bz_CreateAnnulusModel(const char *name, int32_t segments, float inner, float outer,
                               bzMaterial *material);
// A cone on the y axis: the apex at height (or at the origin with the ring at -height), a base
// when asked, texture coordinates around it or projected from above (planar).
bzModel *bz_CreateConeModel(const char *name, int32_t segments, float radius, float height,
                            bzMaterial *material, int32_t base, int32_t apexAtOrigin,
                            int32_t planar);
// A cylinder on the y axis centred on the origin, with caps when asked, facing in when asked.
bzModel *bz_CreateCylinderModel(const char *name, int32_t segments, float radius, float height,
                                bzMaterial *material, int32_t caps, int32_t insideOut);
bzModel *bz_CreateTorusModel(const char *name, float ringRadius, float tubeRadius, int32_t rings,
                             int32_t segments, bzMaterial *material);
// A flat arrow of size s in the x-z plane, and a small pyramid pointing along +z.
bzModel *bz_CreatePointerModel(const char *name, float size, bzMaterial *material);
bzModel *bz_CreateMarkerModel(const char *name, bzMaterial *material);
// A deliberately malformed box named "Broken Box" (a doubled vertex, unused vertices and
// degenerate polygons), for testing what the engine makes of bad geometry.
bzModel *bz_CreateBrokenBoxModel(bzMaterial *material);
// A height field from a file of n x n bytes (a square count), size wide, heights scaled by
// scale / 255, textured with the image (and the detail image as a second layer when named).
// Null with 19 for a file that does not load, 29 for an empty or not square one.
bzModel *bz_CreateGroundModel(const char *heightFile, const char *image, float size, float scale,
                              const char *detailImage);

// A cube of half size 50 seen from inside, named "skybox", side i of the material "skybox<i>"
// whose first layer holds the image named in names (six names of 32 characters; null: sides
// without image). When materials is given it receives the six materials, each with a reference
// for the caller.
bzModel *bz_CreateSkyBoxModel(const char (*names)[32], bzMaterial **materials);
// The same box with the one image on all six sides.
bzModel *bz_CreateSkyBoxModelFromImage(bz_IMGMAP *image, bzMaterial **materials);

// The first polygon in [first, end) of the model marked selected (flag bit 1), else -1.
int32_t bz_FindFlaggedPolygon(const bzModel *model, int32_t first, int32_t end);
// The first of count vertices within 0.0001 of the point on every axis, else the point appended
// (the array must have room) and count raised; the vertex's index.
int32_t bz_AddUniqueVertex(bzModelDataVertex *vertices, int32_t *count, const bzV3 *point);
// out = a + (b - a) t, for three and four floats.
void bz_LerpV3(const float *a, float *out, const float *b, float t);
void bz_LerpV4(const float *a, float *out, const float *b, float t);

// Ear clipping of a closed outline of count indices into points (x, y pairs). winding 0 takes
// a corner as convex when its cross product is negative, any other winding when positive; an
// ear holding another of the first earTests points is not cut. Returns a new block (free it
// with bz_MemFree) of 16-bit index triples and their count of indices in outCount; null with
// outCount 0 when no ear can be cut, for fewer than three points, or without memory (14).
uint16_t *bz_TriangulatePolygon2D(int32_t winding, int32_t count, const uint16_t *indices,
                                  const float *points, int32_t earTests, int32_t *outCount);
