#include "formview/FormLumps.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "display/DisplayLumps.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/Model.h"
#include "models/ModelCleanup.h"
#include "models/ModelPrepare.h"
#include "scene/SceneServices.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr float kEpsilon = 1.1920929e-07f;
// A hull vertex within this distance of a face plane lies on the face.
constexpr float kOnFace = 0.01f;
// Every preparation step of a display model.
constexpr uint32_t kPrepareAll = 0xFFBF;
constexpr int32_t kTempStack = 1;

bool Finite(float v)
{
    return std::isfinite(v);
}
bool FiniteV3(const bzV3 &v)
{
    return Finite(v.x) && Finite(v.y) && Finite(v.z);
}

bzLump *Refuse()
{
    bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return nullptr;
}

// A matrix of the three rows and the translation.
bzM34 Frame(const bzV3 &x, const bzV3 &y, const bzV3 &z, const bzV3 &t)
{
    bzM34 m;
    m.row[0] = x;
    m.row[1] = y;
    m.row[2] = z;
    m.row[3] = t;
    return m;
}

bzV3 Add(const bzV3 &a, const bzV3 &b)
{
    return {{{a.x + b.x, a.y + b.y, a.z + b.z}}};
}
bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return {{{a.x - b.x, a.y - b.y, a.z - b.z}}};
}
bzV3 Scale(const bzV3 &a, float s)
{
    return {{{a.x * s, a.y * s, a.z * s}}};
}
float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    return {{{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}}};
}
bzV3 Unit(const bzV3 &a)
{
    const float length = std::sqrt(Dot(a, a));
    return length > 0.0f ? Scale(a, 1.0f / length) : a;
}

// Two unit vectors across the direction d (a unit vector): u from the reference axis (1,0,0)
// when |d.x| is not greater than |d.y|, else (0,1,0); then v = d x u, so that u, v, d turn
// the right way round.
void Tangents(const bzV3 &d, bzV3 *u, bzV3 *v)
{
    const bzV3 reference =
        std::fabs(d.x) <= std::fabs(d.y) ? bzV3{{{1.0f, 0.0f, 0.0f}}} : bzV3{{{0.0f, 1.0f, 0.0f}}};
    *u = Unit(Sub(reference, Scale(d, Dot(reference, d))));
    *v = Cross(d, *u);
}

// Moves (or turns and moves) the lump's model; the lump itself stays at the identity.
bzLump *Place(bzLump *lump, const bzM34 &m)
{
    if (!lump)
        return nullptr;
    if (bz_TransformLumpModel(lump, &m) != 0)
    {
        bz_Lump_DestroyTree(lump);
        return nullptr;
    }
    return lump;
}

bzLump *CuboidLump(const bzV3 &min, const bzV3 &max)
{
    if (!FiniteV3(min) || !FiniteV3(max))
        return Refuse();
    const float box[6] = {min.x, min.y, min.z, max.x, max.y, max.z};
    return bz_CreateCuboidLump("cuboid", box, 0, nullptr);
}

bzLump *SphereLump(const bzSphereShape *s)
{
    if (!Finite(s->radius) || s->radius < 0.0f || !FiniteV3(s->centre))
        return Refuse();
    bzM34 m = *bz_M34_Identity();
    m.row[3] = s->centre;
    return Place(bz_CreateSphereLump("sphere", 4, s->radius, nullptr), m);
}

bzLump *TicTacLump(const bzTicTacShape *s)
{
    if (!Finite(s->radius) || s->radius < 0.0f || !FiniteV3(s->segmentStart) ||
        !FiniteV3(s->segmentEnd))
        return Refuse();
    const bzV3 along = Sub(s->segmentEnd, s->segmentStart);
    const float length = std::sqrt(Dot(along, along));
    if (!Finite(length))
        return Refuse();
    // The display capsule lies on the x axis from 0 to the length.
    bzM34 m = *bz_M34_Identity();
    if (length >= kEpsilon)
    {
        const bzV3 d = Scale(along, 1.0f / length);
        bzV3 u, v;
        Tangents(d, &u, &v);
        m = Frame(d, u, v, {});
    }
    m.row[3] = s->segmentStart;
    return Place(bz_CreateTicTacLump("tic_tac", s->radius, 0.0f, length, 16), m);
}

bzLump *HalfSpaceLump(const bzV3 &normal, float d)
{
    if (!FiniteV3(normal) || !Finite(d) || Dot(normal, normal) < kEpsilon)
        return Refuse();
    const bzV3 n = normal;
    const bzV3 up = std::fabs(n.x) < kEpsilon && std::fabs(n.y) < kEpsilon
                        ? bzV3{{{0.0f, 1.0f, 0.0f}}}
                        : Unit(bzV3{{{n.y, -n.x, 0.0f}}});
    const bzV3 forward = Scale(n, -1.0f);
    bzM33 turn;
    bz_M33_FromForwardUp(&turn, &forward, &up);
    const bzM34 m = Frame(turn.row[0], turn.row[1], turn.row[2], Scale(n, d));
    return Place(bz_CreateHalfSpaceLump("half_space", 5.0f, 5.0f, nullptr), m);
}

// ---------------------------------------------------------------------------------------------
// The hull model.

// Writes the triangles and vertices of the hull model, or only counts them when the model is
// null. Scratch holds room for the larger of the vertex and face counts in indices and angles.
class HullWriter
{
public:
    HullWriter(const bzHull *hull, float rounding, int32_t *indices, float *angles)
        : hull_(hull), rounding_(rounding), indices_(indices), angles_(angles)
    {
        for (int32_t i = 0; i < hull->vertexCount; i++)
            centre_ = Add(centre_, hull->vertices[i]);
        centre_ = Scale(centre_, 1.0f / static_cast<float>(hull->vertexCount));
    }

    // False when a face has no loop of three turning corners.
    bool Run(bzModelVertexData *data)
    {
        data_ = data;
        vertices_ = polygons_ = 0;
        for (int32_t f = 0; f < hull_->faceCount; f++)
            if (!Face(f))
                return false;
        if (rounding_ > 0.0f)
        {
            for (int32_t e = 0; e < hull_->edgeCount; e++)
                Edge(e);
            for (int32_t v = 0; v < hull_->vertexCount; v++)
                Corner(v);
        }
        return true;
    }
    int32_t vertices() const { return vertices_; }
    int32_t polygons() const { return polygons_; }

private:
    const bzHull *hull_;
    float rounding_;
    int32_t *indices_;
    float *angles_;
    bzV3 centre_{};
    bzModelVertexData *data_ = nullptr;
    int32_t vertices_ = 0;
    int32_t polygons_ = 0;

    float Distance(int32_t face, int32_t vertex) const
    {
        const bzPlane &p = hull_->planes[face];
        return Dot(p.n, hull_->vertices[vertex]) - p.d;
    }

    // Sorts the first count scratch indices by their angles (insertion sort: a few entries).
    void SortByAngle(int32_t count)
    {
        for (int32_t i = 1; i < count; i++)
        {
            const float a = angles_[i];
            const int32_t index = indices_[i];
            int32_t j = i - 1;
            while (j >= 0 && angles_[j] > a)
            {
                angles_[j + 1] = angles_[j];
                indices_[j + 1] = indices_[j];
                j--;
            }
            angles_[j + 1] = a;
            indices_[j + 1] = index;
        }
    }

    int32_t AddVertex(const bzV3 &p)
    {
        const int32_t i = vertices_++;
        if (data_)
        {
            data_->vertices[i].x = p.x;
            data_->vertices[i].y = p.y;
            data_->vertices[i].z = p.z;
        }
        return i;
    }

    // A triangle turned so that it faces away from the hull's centre (or along the normal).
    void AddTriangle(int32_t a, int32_t b, int32_t c, const bzV3 &outward, const float (*uv)[2])
    {
        const int32_t p = polygons_++;
        if (!data_)
            return;
        const bzV3 pa = VertexAt(a), pb = VertexAt(b), pc = VertexAt(c);
        const bool swap = Dot(Cross(Sub(pb, pa), Sub(pc, pa)), outward) < 0.0f;
        bzModelPolygon &polygon = data_->polygons[p];
        polygon.v[0] = static_cast<uint32_t>(a);
        polygon.v[1] = static_cast<uint32_t>(swap ? c : b);
        polygon.v[2] = static_cast<uint32_t>(swap ? b : c);
        polygon.material = nullptr;
        polygon.smoothing = 0;
        for (int32_t k = 0; k < 3; k++)
        {
            const int32_t corner = k == 0 ? 0 : ((k == 1) != swap ? 1 : 2);
            const float u = uv ? uv[corner][0] : 0.0f, v = uv ? uv[corner][1] : 0.0f;
            polygon.uv[k][0] = u;
            polygon.uv[k][1] = v;
            polygon.uv[k][2] = u;
            polygon.uv[k][3] = v;
        }
    }
    bzV3 VertexAt(int32_t i) const
    {
        const bzModelDataVertex &v = data_->vertices[i];
        return {{{v.x, v.y, v.z}}};
    }

    bool Face(int32_t f)
    {
        const bzV3 n = hull_->planes[f].n;
        bzV3 u, v;
        Tangents(n, &u, &v);
        // The face's vertices around their middle, counter-clockwise seen from outside.
        int32_t count = 0;
        bzV3 middle{};
        for (int32_t i = 0; i < hull_->vertexCount; i++)
            if (std::fabs(Distance(f, i)) < kOnFace)
            {
                indices_[count++] = i;
                middle = Add(middle, hull_->vertices[i]);
            }
        if (count < 3)
            return false;
        middle = Scale(middle, 1.0f / static_cast<float>(count));
        for (int32_t i = 0; i < count; i++)
        {
            const bzV3 q = Sub(hull_->vertices[indices_[i]], middle);
            angles_[i] = std::atan2(Dot(q, v), Dot(q, u));
        }
        SortByAngle(count);
        // Corners where the loop does not turn add nothing.
        int32_t kept = 0;
        for (int32_t i = 0; i < count; i++)
        {
            const bzV3 &prev = hull_->vertices[indices_[(i + count - 1) % count]];
            const bzV3 &cur = hull_->vertices[indices_[i]];
            const bzV3 &next = hull_->vertices[indices_[(i + 1) % count]];
            if (std::fabs(Dot(Cross(Sub(cur, prev), Sub(next, cur)), n)) >= kEpsilon)
                indices_[kept++] = indices_[i];
        }
        if (kept < 3)
            return false;
        // Face-local coordinates give the texture coordinates over the face's extent.
        float lo[2] = {3.4028235e38f, 3.4028235e38f}, hi[2] = {-3.4028235e38f, -3.4028235e38f};
        for (int32_t i = 0; i < kept; i++)
        {
            const bzV3 &p = hull_->vertices[indices_[i]];
            const float c[2] = {Dot(p, u), Dot(p, v)};
            for (int32_t k = 0; k < 2; k++)
            {
                lo[k] = std::fmin(lo[k], c[k]);
                hi[k] = std::fmax(hi[k], c[k]);
            }
        }
        auto texture = [&](int32_t i, float *out)
        {
            const bzV3 &p = hull_->vertices[indices_[i]];
            const float c[2] = {Dot(p, u), Dot(p, v)};
            for (int32_t k = 0; k < 2; k++)
                out[k] = hi[k] > lo[k] ? (c[k] - lo[k]) / (hi[k] - lo[k]) : 0.0f;
        };
        const bzV3 push = Scale(n, rounding_);
        const int32_t first = vertices_;
        for (int32_t i = 0; i < kept; i++)
            AddVertex(Add(hull_->vertices[indices_[i]], push));
        for (int32_t i = 1; i + 1 < kept; i++)
        {
            float uv[3][2];
            texture(0, uv[0]);
            texture(i, uv[1]);
            texture(i + 1, uv[2]);
            AddTriangle(first, first + i, first + i + 1, n, uv);
        }
        return true;
    }

    // The strip joining the two faces of an edge, pushed out by the rounding.
    void Edge(int32_t e)
    {
        const int32_t a = hull_->edges[e].a, b = hull_->edges[e].b;
        int32_t faces[2];
        int32_t found = 0;
        for (int32_t f = 0; f < hull_->faceCount && found < 2; f++)
            if (std::fabs(Distance(f, a)) < kOnFace && std::fabs(Distance(f, b)) < kOnFace)
                faces[found++] = f;
        if (found < 2)
            return;
        const bzV3 &pa = hull_->vertices[a], &pb = hull_->vertices[b];
        const bzV3 n1 = Scale(hull_->planes[faces[0]].n, rounding_);
        const bzV3 n2 = Scale(hull_->planes[faces[1]].n, rounding_);
        const bzV3 outward = Sub(Scale(Add(pa, pb), 0.5f), centre_);
        const int32_t q0 = AddVertex(Add(pa, n1)), q1 = AddVertex(Add(pb, n1));
        const int32_t q2 = AddVertex(Add(pb, n2)), q3 = AddVertex(Add(pa, n2));
        AddTriangle(q0, q1, q2, outward, nullptr);
        AddTriangle(q0, q2, q3, outward, nullptr);
    }

    // The fan round a vertex over the pushed-out corners of its faces.
    void Corner(int32_t vertex)
    {
        const bzV3 &p = hull_->vertices[vertex];
        int32_t count = 0;
        bzV3 axis{};
        for (int32_t f = 0; f < hull_->faceCount; f++)
            if (std::fabs(Distance(f, vertex)) < kOnFace)
            {
                indices_[count++] = f;
                axis = Add(axis, hull_->planes[f].n);
            }
        if (count < 3 || Dot(axis, axis) < kEpsilon)
            return;
        axis = Unit(axis);
        bzV3 u, v;
        Tangents(axis, &u, &v);
        for (int32_t i = 0; i < count; i++)
        {
            const bzV3 &n = hull_->planes[indices_[i]].n;
            angles_[i] = std::atan2(Dot(n, v), Dot(n, u));
        }
        SortByAngle(count);
        const int32_t first = vertices_;
        for (int32_t i = 0; i < count; i++)
            AddVertex(Add(p, Scale(hull_->planes[indices_[i]].n, rounding_)));
        for (int32_t i = 1; i + 1 < count; i++)
            AddTriangle(first, first + i, first + i + 1, axis, nullptr);
    }
};

// Hangs the model in a new MODEL lump of the name, which takes over the model's reference.
bzLump *Hang(const char *name, bzModel *model)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, name);
    if (!lump)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bz_Lump_SetObject(lump, model);
    // The lump took its own use through the scene's services; the builder's goes.
    bz_Scene_ReleaseModel(model);
    return lump;
}
} // namespace

bzLump *CreatePolyhedronLump(const bzHull *hull, float rounding)
{
    if (!hull || hull->vertexCount < 3 || hull->faceCount < 1 || !Finite(rounding) ||
        rounding < 0.0f)
        return Refuse();
    for (int32_t i = 0; i < hull->vertexCount; i++)
        if (!FiniteV3(hull->vertices[i]))
            return Refuse();
    const int32_t room = hull->vertexCount > hull->faceCount ? hull->vertexCount : hull->faceCount;
    void *scratch = bz_TempStack_Alloc(
        kTempStack, static_cast<uint32_t>(room) * (sizeof(int32_t) + sizeof(float)), 0);
    if (!scratch)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    int32_t *indices = static_cast<int32_t *>(scratch);
    float *angles = reinterpret_cast<float *>(indices + room);
    HullWriter writer(hull, rounding, indices, angles);
    bzModel *model = nullptr;
    if (writer.Run(nullptr))
    {
        model = bz_CreateModel(writer.polygons(), writer.vertices());
        if (model && !writer.Run(model->vertexData))
        {
            bz_ReleaseModel(model);
            model = nullptr;
        }
    }
    else
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    bz_TempStack_Free(kTempStack, scratch);
    if (!model)
        return nullptr;
    std::memset(model->name, 0, sizeof model->name);
    std::strncat(model->name, "Polyhedron", sizeof model->name - 1);
    if (const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll))
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    return Hang("Polyhedron", model);
}

bzLump *bz_Lump_CreateFromForm(const bzShape *shape)
{
    if (!shape)
        return Refuse();
    switch (shape->kind)
    {
    case BZ_SHAPE_NULL:
    case BZ_SHAPE_WIRE_FRAME: return nullptr;
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        const bzBox *box = bz_Shape_Bounds(shape);
        return CuboidLump(box->min, box->max);
    }
    case BZ_SHAPE_POLYHEDRON:
        return CreatePolyhedronLump(&static_cast<const bzPolyhedronShape *>(shape)->hull, 0.0f);
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const auto *p = static_cast<const bzPolyhedronShape *>(shape);
        return CreatePolyhedronLump(&p->hull, p->roundingRadius);
    }
    case BZ_SHAPE_SPHERE: return SphereLump(static_cast<const bzSphereShape *>(shape));
    case BZ_SHAPE_TIC_TAC: return TicTacLump(static_cast<const bzTicTacShape *>(shape));
    case BZ_SHAPE_CUBOID:
    {
        const auto *c = static_cast<const bzCuboidShape *>(shape);
        bzLump *lump = CuboidLump(c->localMin, c->localMax);
        return lump ? Place(lump, c->placement) : nullptr;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    {
        const auto *h = static_cast<const bzHalfSpaceShape *>(shape);
        bzPlane plane;
        if (!bz_AlignedHalfSpace_Plane(h, &plane))
            return Refuse();
        return HalfSpaceLump(plane.n, h->distance);
    }
    case BZ_SHAPE_HALF_SPACE:
    {
        const auto *h = static_cast<const bzHalfSpaceShape *>(shape);
        return HalfSpaceLump(h->plane.n, h->plane.d);
    }
    default:
        BZ_SET_ORIGIN();
        bz_ReportError("bz_Lump_CreateFromForm", "Unknown shape");
        return nullptr;
    }
}

bzLump *bz_Lump_CreateFromFormShapes(const bzForm *form)
{
    if (!form)
        return Refuse();
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "shape");
    if (!root)
        return nullptr;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        bzLump *lump = bz_Lump_CreateFromForm(s);
        if (!lump)
            continue;
        bz_Lump_Detach(lump);
        // Attaching refuses a camera with its own report; the refused lump is not kept.
        if (bz_Lump_Attach(root, lump) != 0)
            bz_Lump_DestroyTree(lump);
    }
    return root;
}
