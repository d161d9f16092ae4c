// The particle-system payload of a PARTICLE_EMITTER record ("EMIT") in a lump container:
// versions 0x100 to 0x106 read, version 0x106 written, little-endian field by field.
//
// Version 0x106: u16 version; u32 shape kind; u32 draw kind; f32 bounding radius, attractor
// minimum distance, range and strength; u32 texture-name length n and n name bytes (no
// terminator); f32 emitter life; f32 x 3 acceleration; f32 start size, end size, maximum speed;
// f32 x 3 direction; f32 speed, speed variance, cone minimum, cone maximum; the two shape
// parameter words twice (the second pair is the one kept); f32 emission rate, drag; u32 start
// colour, end colour, layer-0 mode, layer-1 mode; f32 layer-0 age limit, particle life; u32
// flags; f32 x 3 render factors; f32 scale word; u32 model flag (1 for draw kind 1) and, when
// set, the model's 32-byte name. Older versions leave out the draw kind (0x105 and below), the
// model flag (0x104 and below), the render factors and scale word (0x101 and 0x100); 0x103
// stores a direction whose length is the speed in place of direction and speed; 0x102 and
// below store two launch vectors A and B (direction = unit (A + B) / 2, speed = |(A + B) / 2|,
// variance = |A - B|); 0x100 stores one size for both sizes.
//
// Point-cloud and polyline shapes keep their points in memory only: they are written as the
// point shape (kind 0 with zero parameter words), and a payload that names kind 3 or 4 reads
// as the point shape, since it cannot hold the points. The on-list bit of the flags is the new
// system's own, whatever the payload says.
#pragma once

#include "core/Error.h"

#include <cstdint>

struct bzParticleSystem;
struct bzFileHandle;

// Reads a payload from the cursor (never at or past end), advancing it past the payload, and
// returns a new listed system. The texture and the model are taken by the directory followed by
// the stored names. Null with last-error 59 for a payload cut short, a texture name longer
// than the data left, a shape kind above 5, or a float field that is not finite; 14 without
// memory. A version outside 0x100 to 0x106 gives a system with its defaults and consumes only
// the version.
bzParticleSystem *bz_ParticleSystem_ReadEmit(const uint8_t **cursor, const uint8_t *end,
                                             const char *directory);

// Writes version 0x106 through the file hooks; the bytes written, or -1 on a short write or a
// null argument.
int32_t bz_ParticleSystem_WriteEmit(const bzParticleSystem *system, bzFileHandle *file);
