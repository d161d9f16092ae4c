// The matrix library: 2x2, 2x3, 3x3 and 4x4 matrices beside the 3x4 transform of Vector.h.
//
// Row vectors on the left (v' = v M), row i the image of axis i, translation in the last row.
// A product A B applied to a vector applies A first, then B. Every product with an output takes
// (a, out, b) and computes out = b a (b applied first, then a). In place: PreMul (m, a) makes
// m := a m (the factor acts first, in the object's own frame); PostMul (m, a) makes m := m a
// (the factor acts last, in the parent frame). Angles are degrees. Inputs and outputs may be
// the same record everywhere (results go through temporaries).
//
// A bzM33 is laid out as the first nine floats of a bzM34; the operations that only read or
// write rotation rows take either (the bzRotationRows templates).
#pragma once

#include "maths/Types.h"
#include "maths/Vector.h"

#include <cstdint>

// Cores of the rotation-row templates below; they work on three rows of three.
namespace bzRows
{
float Determinant(const bzV3 *m, int32_t *flag);
float DeterminantPlain(const bzV3 *m);
void InverseSigned(const bzV3 *m, bzV3 *out);
void Orthonormalise(bzV3 *out, const bzV3 *src);
void NormaliseRows(bzV3 *m);
void Interpolate(const bzV3 *a, bzV3 *out, const bzV3 *b, float t);
float Pitch(const bzV3 *m);
int32_t IsIdentity(const bzV3 *m, int32_t rows);
int32_t IsInvalid(const float *elements, int32_t count);
} // namespace bzRows

// ---------------------------------------------------------------------------------------------
// 1. Products and vector transforms

// out = b a, 3x3: out.row[i] = b.row[i] a.
template <bzRotationRows A, bzRotationRows O, bzRotationRows B>
inline void bz_MulM33Into(const A *a, O *out, const B *b)
{
    bzV3 r[3];
    for (int i = 0; i < 3; i++)
    {
        const float x = b->row[i].x, y = b->row[i].y, z = b->row[i].z;
        for (int j = 0; j < 3; j++)
            r[i].v[j] = x * a->row[0].v[j] + y * a->row[1].v[j] + z * a->row[2].v[j];
    }
    for (int i = 0; i < 3; i++)
        out->row[i] = r[i];
}
// out(i, j) = b.row i . a.row j, i.e. out = b a^T (b relative to a when a is a rotation).
template <bzRotationRows A, bzRotationRows O, bzRotationRows B>
inline void bz_MulM33TransposedInto(const A *a, O *out, const B *b)
{
    bzV3 r[3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r[i].v[j] = bz_V3_Dot(&b->row[i], &a->row[j]);
    for (int i = 0; i < 3; i++)
        out->row[i] = r[i];
}
// m := a m
template <bzRotationRows M, bzRotationRows A> inline void bz_M33_PreMul(M *m, const A *a)
{
    bz_MulM33Into(m, m, a);
}
// m := m a
template <bzRotationRows M, bzRotationRows A> inline void bz_M33_PostMul(M *m, const A *a)
{
    bz_MulM33Into(a, m, m);
}
// m := m a^T
template <bzRotationRows M, bzRotationRows A> inline void bz_M33_MakeRelative(M *m, const A *a)
{
    bz_MulM33TransposedInto(a, m, m);
}
// b expressed in a's frame: rotation b a^T, translation (b.t - a.t) a^T.
void bz_RelativeM34Into(const bzM34 *a, bzM34 *out, const bzM34 *b);
// m := m expressed in a's frame.
void bz_M34_MakeRelative(bzM34 *m, const bzM34 *a);
// out = b a, 4x4.
inline void bz_MulM44Into(const bzM44 *a, bzM44 *out, const bzM44 *b)
{
    bzM44 r;
    for (int i = 0; i < 4; i++)
    {
        const bzV4 w = b->row[i];
        for (int j = 0; j < 4; j++)
            r.row[i].v[j] = w.x * a->row[0].v[j] + w.y * a->row[1].v[j] + w.z * a->row[2].v[j] +
                            w.w * a->row[3].v[j];
    }
    *out = r;
}
// b a written transposed (column-major).
void bz_MulM44ColumnMajorInto(const bzM44 *a, bzM44 *out, const bzM44 *b);
// m := m a
void bz_M44_PostMul(bzM44 *m, const bzM44 *a);
// out = m44 m34, the bzM34 read as a 4x3 block (its translation the fourth row).
void bz_MulM44M34Into(const bzM34 *m34, bzM34 *out, const bzM44 *m44);
// P = m34 m44 with m34 widened to 4x4 (column 3 = 0, 0, 0, 1); out = P^T (column-major).
void bz_MulM34M44ColumnMajorInto(const bzM44 *m44, bzM44 *out, const bzM34 *m34);
// out = b a: linear part b.lin a.lin, translation b.t a.lin + a.t.
void bz_MulM23Into(const bzM23 *a, bzM23 *out, const bzM23 *b);
// m := m a
void bz_M23_PostMul(const bzM23 *a, bzM23 *m);
// m := a m
void bz_M23_PreMul(bzM23 *m, const bzM23 *a);
// out = b a
void bz_MulM22Into(const bzM22 *a, bzM22 *out, const bzM22 *b);
// m := m a
void bz_M22_PostMul(bzM22 *m, const bzM22 *a);
// m := a m
void bz_M22_PreMul(bzM22 *m, const bzM22 *a);
// out = v m
template <bzRotationRows M> inline void bz_M33_RotateV3Into(const M *m, bzV3 *out, const bzV3 *v)
{
    bz_RotateV3Into(m, out, v);
}
template <bzRotationRows M> inline void bz_M33_RotateV3InPlace(const M *m, bzV3 *v)
{
    bz_RotateV3Into(m, v, v);
}
// out = (m.row0 . v, m.row1 . v, m.row2 . v)
template <bzRotationRows M>
inline void bz_M33_InverseRotateV3Into(const M *m, bzV3 *out, const bzV3 *v)
{
    bz_M34_InverseRotateV3Into(m, out, v);
}
// out = v m, four wide.
inline void bz_M44_MulV4Into(const bzM44 *m, bzV4 *out, const bzV4 *v)
{
    bz_M44_TransformV4Into(m, out, v);
}
// out i = m.row i . v (m applied to a column vector).
void bz_M44_MulColumnV4Into(const bzM44 *m, bzV4 *out, const bzV4 *v);

// ---------------------------------------------------------------------------------------------
// 2. Construction, copy and conversion

// Pointers to static identities; callers must not modify them.
const bzM22 *bz_M22_Identity();
const bzM33 *bz_M33_Identity();
const bzM34 *bz_M34_Identity();
// A second static 3x3 identity, apart from the first.
const bzM33 *bz_M33_IdentityB();
void bz_M22_SetIdentity(bzM22 *m);
void bz_M23_SetIdentity(bzM23 *m);
// Identity with the given translation.
void bz_M23_Translation(bzM23 *m, float x, float y);
void bz_M34_Translation(bzM34 *m, float x, float y, float z);
void bz_M44_Translation(bzM44 *m, float x, float y, float z);
// Diagonal scale, zero translation.
void bz_M23_Scaling(bzM23 *m, float sx, float sy);
void bz_M33_Scaling(bzM33 *m, float sx, float sy, float sz);
void bz_M34_Scaling(bzM34 *m, float sx, float sy, float sz);
// Two-factor 4x4 scale: sx on x, sy on y, z and w kept (diagonal sx, sy, 1, 1).
void bz_M44_Scale2(bzM44 *m, float sx, float sy);
// out = m S (the scale acts last) and out = S m (the scale acts first).
void bz_PostScale2M44Into(const bzM44 *m, bzM44 *out, float sx, float sy);
void bz_PreScale2M44Into(const bzM44 *m, bzM44 *out, float sx, float sy);
// Fill from separate elements in row order.
void bz_M33_Set(bzM33 *m, float m00, float m01, float m02, float m10, float m11, float m12,
                float m20, float m21, float m22);
void bz_M34_Set(bzM34 *m, float m00, float m01, float m02, float m10, float m11, float m12,
                float m20, float m21, float m22, float m30, float m31, float m32);
void bz_M44_Set(bzM44 *m, float m00, float m01, float m02, float m03, float m10, float m11,
                float m12, float m13, float m20, float m21, float m22, float m23, float m30,
                float m31, float m32, float m33);
void bz_M33_Zero(bzM33 *m);
void bz_M34_Zero(bzM34 *m);
void bz_M44_Zero(bzM44 *m);
// Copies the three rotation rows (either record into either).
template <bzRotationRows S, bzRotationRows O> inline void bz_M33_Copy(const S *src, O *out)
{
    for (int i = 0; i < 3; i++)
        out->row[i] = src->row[i];
}
inline void bz_M34_Copy(const bzM34 *src, bzM34 *out)
{
    *out = *src;
}
inline void bz_M44_Copy(const bzM44 *src, bzM44 *out)
{
    *out = *src;
}
inline void bz_M23_Copy(const bzM23 *src, bzM23 *out)
{
    *out = *src;
}
// Rows widened with 0, the translation row with 1.
void bz_M34ToM44(bzM44 *out, const bzM34 *m34);
// Drops column 3.
void bz_M44ToM34(const bzM44 *m44, bzM34 *out);
// (x, y, z, 1)
void bz_V3ToV4(bzV4 *out, const bzV3 *v);
void bz_M34_SetTranslation(bzM34 *m, float x, float y, float z);
void bz_M44_SetTranslation(bzM44 *m, float x, float y, float z);
template <bzRotationRows S, bzRotationRows O> inline void bz_TransposeM33Into(const S *m, O *out)
{
    bzV3 r[3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r[i].v[j] = m->row[j].v[i];
    for (int i = 0; i < 3; i++)
        out->row[i] = r[i];
}
template <bzRotationRows M> inline void bz_M33_Transpose(M *m)
{
    bz_TransposeM33Into(m, m);
}
// Transposes the 3x3 part in place; the translation is untouched.
inline void bz_M34_TransposeRotation(bzM34 *m)
{
    bz_TransposeM33Into(m, m);
}
void bz_TransposeM44Into(const bzM44 *m, bzM44 *out);
void bz_M44_Transpose(bzM44 *m);

// ---------------------------------------------------------------------------------------------
// 3. Translation and scaling

// t += (x, y, z) in parent axes.
void bz_M34_Translate(bzM34 *m, float x, float y, float z);
void bz_M23_Translate(bzM23 *m, float x, float y);
void bz_TranslateM34Into(const bzM34 *m, bzM34 *out, float x, float y, float z);
void bz_TranslateM23Into(const bzM23 *m, bzM23 *out, float x, float y);
// Writes only out's translation row: m.t + (x, y, z).
void bz_M44_TranslateInto(const bzM44 *m, bzM44 *out, float x, float y, float z);
// Move along the matrix's own axes: t += x row0 + y row1 (+ z row2).
void bz_M34_TranslateLocal(bzM34 *m, float x, float y, float z);
void bz_M23_TranslateLocal(bzM23 *m, float x, float y);
void bz_TranslateLocalM34Into(const bzM34 *m, bzM34 *out, float x, float y, float z);
// Writes only out's translation: (x m00 + y m10 + tx, x m01 + y m11 + ty).
void bz_TranslateLocalM23Into(const bzM23 *m, bzM23 *out, float x, float y);
// m := T(-p) m T(p): m acts about the point p.
void bz_M34_AboutPivot(bzM34 *m, const bzV3 *p);
void bz_M23_AboutPivot(bzM23 *m, const bzV2 *p);
// Columns: each row (x, y, z) becomes (sx x, sy y, sz z), m := m S.
void bz_M33_ScaleColumns(bzM33 *m, float sx, float sy, float sz);
void bz_ScaleColumnsM33Into(const bzM33 *m, bzM33 *out, float sx, float sy, float sz);
// Rows: row0 *= sx, row1 *= sy, row2 *= sz, m := S m.
void bz_M33_ScaleRows(bzM33 *m, float sx, float sy, float sz);
void bz_ScaleRowsM33Into(const bzM33 *m, bzM33 *out, float sx, float sy, float sz);
// All four rows, translation included.
void bz_M34_ScaleColumns(bzM34 *m, float sx, float sy, float sz);
void bz_ScaleColumnsM34Into(const bzM34 *m, bzM34 *out, float sx, float sy, float sz);
// Rows 0 to 2; the translation is kept (copied by the into form).
void bz_M34_ScaleRows(bzM34 *m, float sx, float sy, float sz);
void bz_ScaleRowsM34Into(const bzM34 *m, bzM34 *out, float sx, float sy, float sz);
void bz_M22_ScaleColumns(bzM22 *m, float sx, float sy);
void bz_M22_ScaleRows(bzM22 *m, float sx, float sy);
void bz_M23_ScaleRows(bzM23 *m, float sx, float sy);
void bz_ScaleColumnsM22Into(const bzM22 *m, bzM22 *out, float sx, float sy);
void bz_ScaleRowsM22Into(const bzM22 *m, bzM22 *out, float sx, float sy);
// All three rows, translation included.
void bz_ScaleColumnsM23Into(const bzM23 *m, bzM23 *out, float sx, float sy);
// Translation copied.
void bz_ScaleRowsM23Into(const bzM23 *m, bzM23 *out, float sx, float sy);

// ---------------------------------------------------------------------------------------------
// 4. Rotations (degrees)

// x: (1, 0, 0), (0, c, s), (0, -s, c); y: (c, 0, -s), (0, 1, 0), (s, 0, c);
// z: (c, s, 0), (-s, c, 0), (0, 0, 1). 3x4: zero translation; 4x4: identity column 3 and row 3.
void bz_M33_RotationX(bzM33 *m, float deg);
void bz_M33_RotationY(bzM33 *m, float deg);
void bz_M33_RotationZ(bzM33 *m, float deg);
void bz_M34_RotationX(bzM34 *m, float deg);
void bz_M34_RotationY(bzM34 *m, float deg);
void bz_M34_RotationZ(bzM34 *m, float deg);
void bz_M44_RotationX(bzM44 *m, float deg);
void bz_M44_RotationY(bzM44 *m, float deg);
void bz_M44_RotationZ(bzM44 *m, float deg);
// (c, s), (-s, c); the 2x3 form with zero translation.
void bz_M22_Rotation(bzM22 *m, float deg);
void bz_M23_Rotation(bzM23 *m, float deg);
// Rotation about a pivot: translation = pivot - pivot R.
void bz_M23_RotationAbout(bzM23 *m, const bzV2 *pivot, float deg);
// Rotation about an axis, normalised first; a zero axis gives the identity.
void bz_M33_FromAxisAngle(bzM33 *m, const bzV3 *axis, float deg);
void bz_M34_FromAxisAngle(bzM34 *m, const bzV3 *axis, float deg);
void bz_M34_FromAxisAngleAbout(bzM34 *m, const bzV3 *pivot, const bzV3 *axis, float deg);
// m = Rx(ax) Ry(ay) Rz(az): about x first, then the parent y, then the parent z.
void bz_M34_FromEulerXYZ(bzM34 *m, float ax, float ay, float az);
void bz_M33_FromEulerXYZ(bzM33 *m, float ax, float ay, float az);

// The rotation family: PreRotate m := R m (turn about the matrix's own axis), PostRotate
// m := m R (turn about the parent axis); the Into forms write out and leave m alone.
void bz_M34_PreRotateX(bzM34 *m, float deg);
void bz_M34_PreRotateY(bzM34 *m, float deg);
void bz_M34_PreRotateZ(bzM34 *m, float deg);
void bz_M34_PostRotateX(bzM34 *m, float deg);
void bz_M34_PostRotateY(bzM34 *m, float deg);
void bz_M34_PostRotateZ(bzM34 *m, float deg);
void bz_PreRotateXM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_PreRotateYM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_PreRotateZM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_PostRotateXM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_PostRotateYM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_PostRotateZM34Into(const bzM34 *m, bzM34 *out, float deg);
void bz_M33_PreRotateX(bzM33 *m, float deg);
void bz_M33_PreRotateY(bzM33 *m, float deg);
void bz_M33_PreRotateZ(bzM33 *m, float deg);
void bz_M33_PostRotateX(bzM33 *m, float deg);
void bz_M33_PostRotateY(bzM33 *m, float deg);
void bz_M33_PostRotateZ(bzM33 *m, float deg);
void bz_PreRotateXM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PreRotateYM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PreRotateZM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PostRotateXM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PostRotateYM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PostRotateZM33Into(const bzM33 *m, bzM33 *out, float deg);
void bz_PreRotateXM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_PreRotateYM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_PreRotateZM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_PostRotateXM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_PostRotateYM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_PostRotateZM44Into(const bzM44 *m, bzM44 *out, float deg);
void bz_M22_PreRotateZ(bzM22 *m, float deg);
void bz_M22_PostRotateZ(bzM22 *m, float deg);
void bz_PreRotateZM22Into(const bzM22 *m, bzM22 *out, float deg);
void bz_PostRotateZM22Into(const bzM22 *m, bzM22 *out, float deg);
// Translation copied unchanged.
void bz_PreRotateZM23Into(const bzM23 *m, bzM23 *out, float deg);
// The same four forms about an axis (normalised by the rotation builder).
void bz_M33_PreRotateAxis(bzM33 *m, const bzV3 *axis, float deg);
void bz_M33_PostRotateAxis(bzM33 *m, const bzV3 *axis, float deg);
void bz_PreRotateAxisM33Into(const bzM33 *m, bzM33 *out, const bzV3 *axis, float deg);
void bz_PostRotateAxisM33Into(const bzM33 *m, bzM33 *out, const bzV3 *axis, float deg);
void bz_M34_PreRotateAxis(bzM34 *m, const bzV3 *axis, float deg);
void bz_M34_PostRotateAxis(bzM34 *m, const bzV3 *axis, float deg);
void bz_PreRotateAxisM34Into(const bzM34 *m, bzM34 *out, const bzV3 *axis, float deg);
void bz_PostRotateAxisM34Into(const bzM34 *m, bzM34 *out, const bzV3 *axis, float deg);

// ---------------------------------------------------------------------------------------------
// 5. Reflections: I - 2 n n^T for a unit normal n

void bz_M33_Reflection(const bzV3 *n, bzM33 *out);
// The mirror in the plane n.p = d: the rows above and translation 2 d n.
void bz_M34_Reflection(const bzPlane *plane, bzM34 *out);
void bz_M22_Reflection(const bzV2 *n, bzM22 *out);
// From (nx, ny, d): the 2x2 part and translation (-2 d nx, -2 d ny).
void bz_M23_Reflection(const bzV3 *line, bzM23 *out);
// Pre: R m; Post: m R.
void bz_PreReflectM23Into(const bzM23 *m, bzM23 *out, const bzV3 *line);
void bz_PostReflectM23Into(const bzM23 *m, bzM23 *out, const bzV3 *line);
void bz_M23_PreReflect(bzM23 *m, const bzV3 *line);
void bz_PreReflectM22Into(const bzM22 *m, bzM22 *out, const bzV2 *n);
void bz_PostReflectM22Into(const bzM22 *m, bzM22 *out, const bzV2 *n);
void bz_M22_PreReflect(bzM22 *m, const bzV2 *n);
void bz_M22_PostReflect(bzM22 *m, const bzV2 *n);

// ---------------------------------------------------------------------------------------------
// 6. Inverses and determinants

// Split-sign determinant: the six triple products summed by sign into P and N, det = P + N.
// With a flag pointer: 1 when |det| <= 1e-14 or |det / (P - N)| < 1e-14, else 0.
template <bzRotationRows M> inline float bz_M33_Determinant(const M *m, int32_t *flag = nullptr)
{
    return bzRows::Determinant(m->row, flag);
}
// Cofactor inverse. A determinant with |det| <= FLT_EPSILON is reported as
// "matrix has no inverse(1)", one that cancels (|det / (P - N)| < FLT_EPSILON) as "(2)"; when
// the report returns, the inverse is computed anyway.
void bz_InverseM33Into(const bzM33 *m, bzM33 *out);
// The same inverse with no test.
template <bzRotationRows M, bzRotationRows O>
inline void bz_InverseM33IntoSigned(const M *m, O *out)
{
    bzRows::InverseSigned(m->row, out->row);
}
// General inverse with the two tests of bz_InverseM33Into; out.t = -(t inverse).
void bz_InverseM34Into(const bzM34 *m, bzM34 *out);
// General inverse; a set bz_M33_Determinant flag reports "matrix has no inverse(1)".
void bz_M34_Invert(const bzM34 *m, bzM34 *out);
// Inverse of an orthonormal bzM34: rotation transposed, out.t = -(t R^T). No test.
inline void bz_InverseOrthoM34Into(const bzM34 *m, bzM34 *out)
{
    bzM34 r;
    bz_TransposeM33Into(m, &r);
    bzV3 t;
    bz_M34_InverseRotateV3Into(m, &t, &m->row[3]);
    bz_V3_NegateInto(&t, &r.row[3]);
    *out = r;
}
inline void bz_M34_InvertOrtho(bzM34 *m)
{
    bz_InverseOrthoM34Into(m, m);
}
// Transforms between two frames, either null for the world: relOut = b a^-1 (b expressed in
// a's frame) and invOut its inverse. Either output may be null.
void bz_M34_RelativePair(const bzM34 *a, const bzM34 *b, bzM34 *relOut, bzM34 *invOut);
// 4x4 adjugate by 2x2 sub-determinants; determinant by cofactor expansion.
void bz_M44_Adjugate(const bzM44 *m, bzM44 *out);
float bz_M44_Determinant(const bzM44 *m);
// Adjugate times 1/det, no test.
void bz_InverseM44Into(const bzM44 *m, bzM44 *out);
void bz_M44_Invert(bzM44 *m);
// The upper 3x3 of the inverse of m widened to 4x4.
void bz_InverseM34RotationIntoM33(const bzM34 *m, bzM33 *out);
// Return 1 with nothing written when det = m00 m11 - m01 m10 < FLT_EPSILON (a negative one
// included); else write the inverse and return 0.
int32_t bz_InverseM23Into(const bzM23 *m, bzM23 *out);
int32_t bz_InverseM22Into(const bzM22 *m, bzM22 *out);
// Plain determinants.
float bz_Det33(float m00, float m01, float m02, float m10, float m11, float m12, float m20,
               float m21, float m22);
template <bzRotationRows M> inline float bz_M33_DeterminantPlain(const M *m)
{
    return bzRows::DeterminantPlain(m->row);
}
float bz_M22_Determinant(const bzM22 *m);
// a d - b c
inline float bz_Det22(float a, float b, float c, float d)
{
    return a * d - b * c;
}

// ---------------------------------------------------------------------------------------------
// 7. Orthonormal frames and tests

// row0 = normalised src.row0; row2 = row0 x src.row1; row1 = row2 x row0; rows 1 and 2
// normalised (no zero-length guard).
template <bzRotationRows O, bzRotationRows S>
inline void bz_M33_Orthonormalise(O *out, const S *src)
{
    bzRows::Orthonormalise(out->row, src->row);
}
// In place, on a bzM33 or the rotation rows of a bzM34.
template <bzRotationRows M> inline void bz_M33_Orthonormalise(M *m)
{
    bzRows::Orthonormalise(m->row, m->row);
}
// Also copies the translation.
void bz_OrthonormaliseM34Into(bzM34 *out, const bzM34 *src);
// Each row normalised by bz_V3_Normalise (a row shorter than FLT_EPSILON becomes (0, 0, 1)).
template <bzRotationRows M> inline void bz_M33_NormaliseRows(M *m)
{
    bzRows::NormaliseRows(m->row);
}
// Each row divided by its length, no guard; the 3x4 form copies the translation.
void bz_NormaliseRowsM33Into(const bzM33 *m, bzM33 *out);
void bz_NormaliseRowsM34Into(const bzM34 *m, bzM34 *out);
// ortho := the orthonormalised src; out = src ortho^T (the scale and shear left over).
void bz_M33_OrthoResidualInto(const bzM33 *src, bzM33 *out, bzM33 *ortho);
// Rotation turning a onto b about the normalised a x b ((0, 1, 0) when |a x b| < FLT_EPSILON);
// unitFlag non-zero says a and b are unit vectors. Zero-length input gives the identity.
void bz_M33_FromTwoVectors(const bzV3 *a, const bzV3 *b, bzM33 *out, int32_t unitFlag);
// Frame whose z row is the normalised dir ((1, 0, 0) when its squared length is at most
// 1.4210855e-14) and whose y row is the up hint made perpendicular to it.
void bz_M33_FromForwardUp(bzM33 *m, const bzV3 *dir, const bzV3 *up);
// The same on the rotation rows; a non-zero clearFlag also zeroes the translation.
void bz_M34_FromForwardUp(bzM34 *m, const bzV3 *dir, const bzV3 *up, int32_t clearFlag);
// The same frame written as columns (world to frame), zero translation.
void bz_M34_FromForwardUpTransposed(bzM34 *out, const bzV3 *dir, const bzV3 *up);
// z row towards target from eye, up hint (0, 1, 0), then turned about its own z by rollDeg.
void bz_M33_LookAt(bzM33 *m, const bzV3 *target, const bzV3 *eye, float rollDeg);
// The same on the rotation rows; a non-zero setPosition sets the translation to eye.
void bz_M34_LookAt(bzM34 *m, const bzV3 *target, const bzV3 *eye, float rollDeg,
                   int32_t setPosition);
// Elevation of the z row in degrees.
template <bzRotationRows M> inline float bz_M33_GetPitch(const M *m)
{
    return bzRows::Pitch(m->row);
}
// 1 when every element is within FLT_EPSILON (strictly) of the identity's, all four rows.
inline int32_t bz_M34_IsIdentity(const bzM34 *m)
{
    return bzRows::IsIdentity(m->row, 4);
}
template <bzRotationRows M> inline int32_t bz_M33_IsIdentity(const M *m)
{
    return bzRows::IsIdentity(m->row, 3);
}
// 1 when any element is infinite or not a number.
inline int32_t bz_M34_IsInvalid(const bzM34 *m)
{
    return bzRows::IsInvalid(&m->row[0].x, 12);
}
template <bzRotationRows M> inline int32_t bz_M33_IsInvalid(const M *m)
{
    return bzRows::IsInvalid(&m->row[0].x, 9);
}

// ---------------------------------------------------------------------------------------------
// 8. Interpolation

// Both rotations as quaternions, blended (1 - t) qa + t qb component-wise (no sign alignment,
// no renormalisation), back to rows. t is not clamped.
template <bzRotationRows A, bzRotationRows O, bzRotationRows B>
inline void bz_M33_Interpolate(const A *a, O *out, const B *b, float t)
{
    bzRows::Interpolate(a->row, out->row, b->row, t);
}

// ---------------------------------------------------------------------------------------------
// 9. Debug output

// Rows to standard output, "matrix.row[i]  %+03.3f\t%+03.3f\t%+03.3f".
void bz_M34_Print(const bzM34 *m);
void bz_M33_Print(const bzM33 *m);
