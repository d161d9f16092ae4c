// Deep copies of lump subtrees. A copy takes the source's type, name, matrix, flags, user word
// and material override (counted unless held without reference); each child is copied and
// appended in order. Objects by type: models and skid marks are shared with one more use; a
// stencil shadow gets a shadow record of its own on the same model; lights get their own copy
// of the light record (with its flare); a skinned model a new skin instance of the same model
// (one more use, at the rest pose); a polyline its own copy of the path; a camera its own
// copy of the camera record, a particle emitter its own copy of the particle system (listed,
// without particles) and a quad-block array its own copy of the quads, so that no record is
// freed twice. NULL, SPLINE, LOD,
// AMBIENTLIGHT, BOUNDS, SOUND, CLIPPED_MODEL, PORTALS_ROOT and type 22 copies hold no object.
// The octree and portal-registration bits are not copied: the copy holds neither.
#pragma once

struct bzLump;

// The copy's root; null with last-error 29 for a null source, 14 when memory runs out, 68 for
// a subtree holding a lump whose object cannot be copied yet (pooled emitters).
// Nothing is left behind when it fails.
bzLump *bz_Lump_Clone(const bzLump *source);
