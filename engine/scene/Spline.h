// Splines: the object of a SPLINE lump. A smooth 3-D curve through a circular list of knots,
// each with an in-tangent and an out-tangent, evaluated as cubic Hermite segments. Every
// segment's cubic coefficients and arc length are kept up to date as knots are inserted, moved
// or removed, so that positions and directions can be asked for by a normalised parameter or by
// distance along the curve. Splines are read from and written to the payload of lump
// containers, loaded from text sections of knot lines, built as circles, given automatic
// tangents, transformed and reversed.
//
// Knots come from one pool of knot elements, created on first use. The knots always form a
// circular doubly linked list; an open spline does not use the segment from its last knot back
// to the first (its coefficients and length are kept all the same). A spline of one knot has no
// segment, open or closed.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzFileHandle;
struct bzTextReader;

struct bzKnot
{
    bzV3 position;
    bzV3 in;  // in-tangent
    bzV3 out; // out-tangent
    // The segment from this knot to the next: P(t) = a t^3 + b t^2 + c t + d, t in [0, 1].
    bzV3 a, b, c, d;
    bzKnot *next;
    bzKnot *previous;
    float length; // arc length of that segment
};

struct bzSpline
{
    bzKnot *first;        // null when empty
    int32_t segmentCount; // knots - 1 when open, knots when closed; 0 with fewer than 2 knots
    uint32_t closed;      // non-zero: the last knot joins the first
    float totalLength;    // the lengths of the used segments added up
    float samplesPerUnit; // drawing samples per unit of length; 3.0 on creation
    uint32_t colour;      // drawing colour 0xAARRGGBB; 0xFFFFFFFF on creation
    int32_t knotCount;    // knots in the list
};

// The tolerance every recomputation of a segment length uses.
constexpr float BZ_SPLINE_TOLERANCE = 0.01f;

// A new empty spline; null (last-error 14) when memory runs out. The first one also makes
// SPLINE lumps free their spline at destroy.
bzSpline *bz_Spline_Create();
// Every knot back to the pool, then the record. Null is ignored.
void bz_Spline_Destroy(bzSpline *spline);
// Destroys the knot pool when it exists; no knot may be alive then.
void bz_Spline_DestroyKnotPool();

// A new knot with the position (zero when null) and the tangents: one given tangent serves as
// both, none gives zero tangents. In an empty spline it is the only knot; otherwise it is linked
// after the knot `index` steps from the first (-1: after the last). 0; 29 for a null spline;
// 14 when no knot can be had, the spline unchanged.
bzErrorCode bz_Spline_InsertKnot(const bzV3 *position, int32_t index, bzSpline *spline,
                                 const bzV3 *in, const bzV3 *out);
// Overwrites the given parts of the knot `index` steps away. 0, or 29 for an empty spline.
bzErrorCode bz_Spline_SetKnot(const bzV3 *position, const bzV3 *in, const bzV3 *out,
                              bzSpline *spline, int32_t index);
// Unlinks the knot `index` steps away and gives it back. 0, or 29 for an empty spline.
bzErrorCode bz_Spline_RemoveKnot(bzSpline *spline, int32_t index);
// Inserts after the last knot, makes the new knot the first, then derives tangents.
bzErrorCode bz_Spline_PrependKnot(bzSpline *spline, const bzV3 *position);
void bz_Spline_RecomputeAll(bzSpline *spline);
void bz_Spline_Open(bzSpline *spline);
void bz_Spline_Close(bzSpline *spline);
float bz_Spline_GetTotalLength(const bzSpline *spline);
void bz_Spline_SetColour(uint32_t colour, bzSpline *spline);

// The knot n steps from the first (or from a given knot): next links for n > 0, previous links
// for n < 0. Null for an empty spline.
bzKnot *bz_Spline_GetKnot(const bzSpline *spline, int32_t n);
bzKnot *bz_Spline_StepKnot(int32_t n, bzKnot *knot);

// Position and derivative on segment n at local t. Without segments the position is the first
// knot's (zero without knots) and the derivative zero.
void bz_Spline_GetKnotPosition(const bzSpline *spline, int32_t n, bzV3 *out, float t);
void bz_Spline_GetKnotDerivative(const bzSpline *spline, int32_t n, bzV3 *out, float t);
// Global parameter u in [0, 1]: segment = trunc(segments u), t the rest.
void bz_Spline_PositionAtParam(const bzSpline *spline, float u, bzV3 *out);
void bz_Spline_DerivativeAtParam(const bzSpline *spline, float u, bzV3 *out);

// The global parameter at distance s along the spline. Past the end an open spline gives 1.0
// and a closed one wraps around; a negative distance gives 0 on an open spline.
float bz_Spline_ParamAtDistance(const bzSpline *spline, float s, float tolerance);
// The local parameter on segment n at distance s from its start.
float bz_Spline_SegmentParamAtDistance(const bzSpline *spline, int32_t n, float s, float tolerance);
void bz_Spline_PositionAtDistance(const bzSpline *spline, float s, float tolerance, bzV3 *out);
void bz_Spline_DerivativeAtDistance(const bzSpline *spline, float s, float tolerance, bzV3 *out);
void bz_Spline_SegmentPositionAtDistance(const bzSpline *spline, int32_t n, float s,
                                         float tolerance, bzV3 *out);
void bz_Spline_SegmentDerivativeAtDistance(const bzSpline *spline, int32_t n, float s,
                                           float tolerance, bzV3 *out);

// Arc length of the knot's segment between two local parameters, by adaptive subdivision.
float bz_Spline_SegmentLength(const bzKnot *knot, float t0, float t1, float tolerance);
float bz_Spline_LengthOnSegment(const bzSpline *spline, int32_t n, float t0, float t1,
                                float tolerance);
// Arc length between two global parameters (in either order).
float bz_Spline_LengthBetween(const bzSpline *spline, float u0, float u1, float tolerance);

// Position as a point, tangents by the rotation rows; the whole-spline form recomputes all.
void bz_Spline_TransformKnot(bzKnot *knot, const bzM34 *matrix);
void bz_Spline_Transform(bzSpline *spline, const bzM34 *matrix);
// The same curve traversed the other way: each knot's tangents exchanged and negated and its
// links swapped; an open spline starts at its old last knot.
void bz_Spline_Reverse(bzSpline *spline);
// Fills tangents that are missing (all three components 0); needs at least 2 segments.
void bz_Spline_AutoTangents(bzSpline *spline);
// A closed circle of count knots (8 for 0) of the radius (1.0 for 0) in the x-z plane, with
// automatic tangents; a non-zero colour is set. Null when memory runs out.
bzSpline *bz_Spline_CreateCircle(float radius, int32_t count, uint32_t colour);

// The knot lines of a text section: the line after the heading is skipped, then each line
// "Knot <n>: x y z In: x y z Out: x y z" (y and z exchanged) adds a knot, until a line starting
// with "[", a line that does not give nine finite numbers, or the end. Null without a reader or
// section; the knots read so far otherwise.
bzSpline *bz_Spline_LoadText(bzTextReader *reader, const char *section);

// The container payload: "BLPS", the knot count, 36 bytes a knot (position, in-tangent,
// out-tangent), the closed word when there are knots, "ELPS". Write returns the bytes written.
int32_t bz_Spline_Write(bzFileHandle *file, const bzSpline *spline);
// Reads a payload at the cursor, never at or past end; the cursor moves past it. Null with
// last-error 59 for a payload cut short, a knot count beyond the buffer or a non-finite number,
// 14 when memory runs out; the cursor is left where it was then.
bzSpline *bz_Spline_Read(const uint8_t **cursor, const uint8_t *end);

// Debug drawing: samples-per-unit times the length, rounded, gives n; the positions at the
// global parameters 0, 1/n, ..., 1 go to the renderer as one line strip in the spline's colour.
void bz_Spline_Render(const bzSpline *spline);
