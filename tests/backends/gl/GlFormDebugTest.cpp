// Debug drawings of collision forms on a 640x480 frame: each hull edge is looked for at its
// middle, seen through an oblique model-view matrix that keeps the edges of a box apart.
#include "GlTestSupport.h"

#include "backends/gl/GlFormDebug.h"
#include "backends/gl/GlLines.h"
#include "collision/Form.h"
#include "collision/ShapeGeometry.h"
#include "maths/Matrix.h"

#include <algorithm>
#include <array>
#include <vector>

namespace
{
// x and y as they stand, z slanted up and to the right, depth 0: every edge of a box shows.
constexpr float kSlantX = 0.5f;
constexpr float kSlantY = 0.3f;
const float kOblique[16] = {1, 0, 0, 0, 0, 1, 0, 0, kSlantX, kSlantY, 0, 0, 0, 0, 0, 1};

struct FormHolder
{
    bzForm *form;
    explicit FormHolder(bzForm *f) : form(f) {}
    ~FormHolder() { bz_Form_Free(form); }
};

using Rgb = std::array<int, 3>;

class GlFormDebugTest : public GlFrameTest
{
protected:
    void SetUp() override
    {
        GlFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        OGL_SetupLineDrawing(0xFFFFFFFF);
        glDisable(GL_DEPTH_TEST);
    }

    // A form of an aligned cuboid, a tetrahedron and a sphere (which has no edges), prepared.
    static bzForm *MakeForm(bool cuboidFirst = true)
    {
        bzForm *form = bz_Form_Alloc(nullptr, 0);
        EXPECT_NE(form, nullptr);
        bzShape *box = bz_Shape_Create(form, BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
        *bz_Shape_Bounds(box) = {{{{-0.8f, -0.6f, 0.0f}}}, {{{-0.3f, -0.1f, 0.4f}}}};
        bzShape *tetra = bz_Shape_Create(form, BZ_SHAPE_POLYHEDRON, 4, 0, 0);
        bzHull *hull = bz_Shape_Hull(tetra);
        hull->vertices[0] = {{{0.1f, -0.6f, 0.0f}}};
        hull->vertices[1] = {{{0.6f, -0.6f, 0.0f}}};
        hull->vertices[2] = {{{0.35f, 0.1f, 0.0f}}};
        hull->vertices[3] = {{{0.3f, -0.4f, 0.6f}}};
        bzShape *sphere = bz_Shape_Create(form, BZ_SHAPE_SPHERE, 0, 0, 0);
        bz_Shape_AsSphere(sphere)->centre = {{{0.0f, 0.6f, 0.0f}}};
        bz_Shape_AsSphere(sphere)->radius = 0.2f;
        if (cuboidFirst)
        {
            FormAppendShape(form, box);
            FormAppendShape(form, tetra);
        }
        else
        {
            FormAppendShape(form, tetra);
            FormAppendShape(form, box);
        }
        FormAppendShape(form, sphere);
        EXPECT_EQ(bz_Form_CalcBounds(form, 1), 0);
        return form;
    }

    // The pixel of a point of the form's frame under the oblique matrix moved by (dx, dy).
    static std::array<float, 2> Pixel(const bzV3 &p, float dx = 0, float dy = 0)
    {
        const float x = p.x + kSlantX * p.z + dx;
        const float y = p.y + kSlantY * p.z + dy;
        return {(x + 1.0f) * 0.5f * kW, (1.0f - y) * 0.5f * kH};
    }
    // The brightest pixel round the middle of the edge from a to b.
    Rgb EdgeMiddle(const bzV3 &a, const bzV3 &b, float dx = 0, float dy = 0) const
    {
        const auto pa = Pixel(a, dx, dy), pb = Pixel(b, dx, dy);
        const int cx = int((pa[0] + pb[0]) * 0.5f), cy = int((pa[1] + pb[1]) * 0.5f);
        Rgb best{0, 0, 0};
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x)
            {
                const auto c = At(x, y);
                if (c[0] + c[1] + c[2] > best[0] + best[1] + best[2])
                    best = c;
            }
        return best;
    }
    static void ExpectRgb(Rgb got, Rgb want, const char *what, int edge)
    {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], want[c], 2) << what << " edge " << edge << " channel " << c;
    }
    // Every hull edge of the shape shows at its middle in the colour (half intensity for the
    // odd edges when alternate is set).
    void ExpectEdges(const bzShape *shape, Rgb colour, bool alternate, const char *what,
                     float dx = 0, float dy = 0) const
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        ASSERT_NE(hull, nullptr);
        ASSERT_GT(hull->edgeCount, 0);
        for (int e = 0; e < hull->edgeCount; ++e)
        {
            Rgb want = colour;
            if (alternate && (e & 1))
                for (int &c : want)
                    c = (c + 1) / 2; // 255 at half is 127.5: 127 or 128
            ExpectRgb(EdgeMiddle(hull->vertices[hull->edges[e].a], hull->vertices[hull->edges[e].b],
                                 dx, dy),
                      want, what, e);
        }
    }
    // Lit pixels of the frame inside the rectangle (columns x0..x1, rows y0..y1).
    int LitIn(int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
            {
                const auto c = At(x, y);
                n += c[0] + c[1] + c[2] > 0;
            }
        return n;
    }
    static Rgb CurrentColour()
    {
        float c[4];
        glGetFloatv(GL_CURRENT_COLOR, c);
        return {int(c[0] * 255 + 0.5f), int(c[1] * 255 + 0.5f), int(c[2] * 255 + 0.5f)};
    }
};

TEST_F(GlFormDebugTest, EachShapeInItsColourWithEveryOtherEdgeAtHalf)
{
    FormHolder h(MakeForm());
    glLoadMatrixf(kOblique);
    glColor3ub(10, 20, 30);
    reinterpret_cast<void (*)(const bzForm *)>(bzgRenderTable.PDDebugDrawForm)(h.form);
    EXPECT_EQ(CurrentColour(), (Rgb{255, 255, 255}));
    ReadFrame("gl_form_coloured");
    const bzShape *box = h.form->firstShape;
    const bzShape *tetra = box->next;
    ASSERT_EQ(box->kind, BZ_SHAPE_ALIGNED_CUBOID);
    ASSERT_EQ(tetra->kind, BZ_SHAPE_POLYHEDRON);
    EXPECT_EQ(bz_Shape_Hull(box)->edgeCount, 12);
    EXPECT_EQ(bz_Shape_Hull(tetra)->edgeCount, 6);
    // The first shape red, the second green.
    ExpectEdges(box, {255, 0, 0}, true, "box");
    ExpectEdges(tetra, {0, 255, 0}, true, "tetrahedron");
    // The sphere, round (0, 0.6): nothing there.
    EXPECT_EQ(LitIn(260, 20, 380, 140), 0);
}

TEST_F(GlFormDebugTest, WireEdgesAreInTheCurrentColour)
{
    FormHolder h(MakeForm(false));
    glLoadMatrixf(kOblique);
    glColor3ub(0, 200, 255);
    reinterpret_cast<void (*)(const bzForm *)>(bzgRenderTable.PDDebugDrawFormWire)(h.form);
    EXPECT_EQ(CurrentColour(), (Rgb{0, 200, 255}));
    ReadFrame("gl_form_wire");
    for (const bzShape *s = h.form->firstShape; s; s = s->next)
        if (s->kind != BZ_SHAPE_SPHERE)
            ExpectEdges(s, {0, 200, 255}, false, bz_ShapeKind_Name(s->kind));
    EXPECT_EQ(LitIn(260, 20, 380, 140), 0);
}

TEST_F(GlFormDebugTest, AtAGivenMatrixTheModelViewIsKept)
{
    FormHolder h(MakeForm());
    // The oblique matrix moved by (0.2, 0.3), as a form-to-camera matrix.
    bzM34 m{};
    m.row[0] = {{{1, 0, 0}}};
    m.row[1] = {{{0, 1, 0}}};
    m.row[2] = {{{kSlantX, kSlantY, 0}}};
    m.row[3] = {{{0.2f, 0.3f, 0}}};
    const float before[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    glLoadMatrixf(before);
    glColor3ub(255, 255, 0);
    reinterpret_cast<void (*)(const bzForm *, const bzM34 *)>(bzgRenderTable.PDDebugDrawFormAt)(
        h.form, &m);
    float after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(after[i], before[i]) << i;
    ReadFrame("gl_form_at");
    for (const bzShape *s = h.form->firstShape; s; s = s->next)
        if (s->kind != BZ_SHAPE_SPHERE)
            ExpectEdges(s, {255, 255, 0}, false, bz_ShapeKind_Name(s->kind), 0.2f, 0.3f);
    // A null matrix or form draws nothing.
    ClearFrame(kW, kH);
    OGL_DebugDrawFormAt(h.form, nullptr);
    OGL_DebugDrawFormAt(nullptr, &m);
    ReadFrame();
    EXPECT_EQ(LitIn(0, 0, kW - 1, kH - 1), 0);
}

TEST_F(GlFormDebugTest, AnAlignedCuboidFormIsMarkedByAYellowBoxRoundItsBounds)
{
    FormHolder h(MakeForm());
    glLoadMatrixf(kOblique);
    glColor3ub(0, 0, 255);
    reinterpret_cast<void (*)(const bzForm *)>(bzgRenderTable.PDDebugDrawFormMark)(h.form);
    EXPECT_EQ(CurrentColour(), (Rgb{255, 255, 255}));
    ReadFrame("gl_form_mark");
    // The form's bounds take in all three shapes: x -0.8 (box) to 0.6 (tetrahedron), y -0.6
    // to 0.8 (the sphere's top), z -0.2 (the sphere) to 0.6 (the tetrahedron's apex).
    const bzBox &b = h.form->bounds;
    EXPECT_FLOAT_EQ(b.min.x, -0.8f);
    EXPECT_FLOAT_EQ(b.max.y, 0.8f);
    EXPECT_FLOAT_EQ(b.min.z, -0.2f);
    EXPECT_FLOAT_EQ(b.max.z, 0.6f);
    int edges = 0;
    for (int e = 0; e < 12; ++e)
    {
        bzV3 ends[2];
        for (int k = 0; k < 2; ++k)
        {
            const uint32_t corner = k ? bzgCuboidEdges[e].b : bzgCuboidEdges[e].a;
            ends[k] = {{{(corner & 1) ? b.max.x : b.min.x, (corner & 2) ? b.max.y : b.min.y,
                         (corner & 4) ? b.max.z : b.min.z}}};
        }
        ExpectRgb(EdgeMiddle(ends[0], ends[1]), {255, 255, 0}, "bounds", e);
        ++edges;
    }
    EXPECT_EQ(edges, 12);
    // Inside the box, away from its edges, nothing: the shapes themselves are not drawn.
    const auto centre = Pixel({{{-0.1f, -0.25f, 0.0f}}});
    EXPECT_EQ(LitIn(int(centre[0]) - 5, int(centre[1]) - 5, int(centre[0]) + 5, int(centre[1]) + 5),
              0);

    // A form whose first shape is not an aligned cuboid, and no form: nothing drawn, white.
    ClearFrame(kW, kH);
    FormHolder other(MakeForm(false));
    glLoadMatrixf(kOblique);
    glColor3ub(0, 0, 255);
    OGL_DebugDrawFormMark(other.form);
    EXPECT_EQ(CurrentColour(), (Rgb{255, 255, 255}));
    glColor3ub(0, 0, 255);
    OGL_DebugDrawFormMark(nullptr);
    EXPECT_EQ(CurrentColour(), (Rgb{255, 255, 255}));
    OGL_DebugDrawForm(nullptr);
    OGL_DebugDrawFormWire(nullptr);
    ReadFrame();
    EXPECT_EQ(LitIn(0, 0, kW - 1, kH - 1), 0);
}
} // namespace
