// OpenGL debug lines read back from a 640x480 frame: the poly-lines of the spline drawing and the
// line vertices of the path drawing.
#include "GlTestSupport.h"

#include "backends/gl/GlLines.h"
#include "backends/gl/GlMaterial.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "render/DebugDraw.h"
#include "scene/Lump.h"
#include "scene/Path.h"

#include <cstring>
#include <vector>

namespace
{
// Line-vertex records with the given positions in clip space.
std::vector<uint8_t> Records(const std::vector<std::array<float, 3>> &points)
{
    std::vector<uint8_t> block(points.size() * BZ_LINE_VERTEX_SIZE);
    for (size_t i = 0; i < points.size(); ++i)
        std::memcpy(block.data() + i * BZ_LINE_VERTEX_SIZE, points[i].data(), 12);
    return block;
}

TEST_F(GlFrameTest, APolylineRunsOverEverySecondPointToTheLast)
{
    // Four points along y = 0 (screen row 240) from x -0.5 to 0.5 (columns 160 to 480), then
    // a fifth record that is not a point of the line, far down the screen.
    const auto block =
        Records({{-0.5f, 0, 0}, {-0.2f, 0, 0}, {0.1f, 0, 0}, {0.5f, 0, 0}, {0, -0.9f, 0}});
    bzgRenderTable.PDSetupLineDrawing(0xFF00FF00);
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(bzgRenderTable.PDDrawPolyline(block.data(), 4), 0);
    ReadFrame("gl_polyline");
    ExpectNear(200, 240, {0, 255, 0}, 0);
    ExpectNear(470, 240, {0, 255, 0}, 0);
    ExpectNear(490, 240, {0, 0, 0}, 0);

    // Three points: every second one, and the last; the record after the last is never read
    // (no line down to (0, -0.9)).
    ClearFrame(kW, kH);
    bzgRenderTable.PDSetupLineDrawing(0xFFFF0000);
    glDisable(GL_DEPTH_TEST);
    const auto odd = Records({{-0.5f, 0, 0}, {0, 0, 0}, {0.5f, 0, 0}, {0, -0.9f, 0}});
    EXPECT_EQ(OGL_DrawPolyline(odd.data(), 3), 0);
    ReadFrame("gl_polyline_odd");
    ExpectNear(300, 240, {255, 0, 0}, 0);
    for (int y = 250; y < 460; y += 10)
        ExpectNear(320, y, {0, 0, 0}, 0);

    // No points, or no records: nothing drawn.
    ClearFrame(kW, kH);
    EXPECT_EQ(OGL_DrawPolyline(block.data(), 0), 0);
    EXPECT_EQ(OGL_DrawPolyline(block.data(), -3), 0);
    EXPECT_EQ(OGL_DrawPolyline(nullptr, 4), 0);
    ReadFrame();
    for (int x = 100; x < 540; x += 20)
        ExpectNear(x, 240, {0, 0, 0}, 0);
    EXPECT_EQ(glGetError(), GLenum{GL_NO_ERROR});
}

// The line-vertex slots of the path drawing: vertices reserved from the temporary stack,
// written, drawn as one strip and given back.
class GlLineVerticesTest : public GlFrameTest
{
protected:
    using Lock = void *(*)(uint32_t, int32_t);
    using Free = void (*)();
    using Draw = void (*)(const bzLineDraw *);

    void SetUp() override
    {
        GlFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        lock_ = reinterpret_cast<Lock>(bzgRenderTable.PDLockLineVertices);
        free_ = reinterpret_cast<Free>(bzgRenderTable.PDFreeLineVertices);
        strip_ = reinterpret_cast<Draw>(bzgRenderTable.PDDrawLineStrip);
        ASSERT_NE(lock_, nullptr);
        ASSERT_NE(free_, nullptr);
        ASSERT_NE(strip_, nullptr);
        spaceBefore_ = bz_TempStack_SpaceLeft(1, 0);
        bzgRenderTable.PDSetupLineDrawing(0xFFFFFFFF);
        glDisable(GL_DEPTH_TEST);
    }
    void TearDown() override
    {
        if (free_)
            free_();
        GlFrameTest::TearDown();
    }
    // Clip-space x and y of the centre of pixel (px, py), py from the top.
    static float ClipX(int px) { return (float(px) + 0.5f) / (kW / 2) - 1.0f; }
    static float ClipY(int py) { return 1.0f - (float(py) + 0.5f) / (kH / 2); }

    Lock lock_ = nullptr;
    Free free_ = nullptr;
    Draw strip_ = nullptr;
    uint32_t spaceBefore_ = 0;
};

TEST_F(GlLineVerticesTest, PlainVerticesDrawAStripInTheCurrentColour)
{
    // An L: along row 100 from column 100 to 300, then down column 300 to row 300; a fourth
    // vertex, back to the start, is written but left out of the record's two segments.
    auto *v = static_cast<float *>(lock_(BZ_LINE_KIND_PLAIN, 4));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(OGL_LineVerticesHeld(), 4);
    EXPECT_LT(bz_TempStack_SpaceLeft(1, 0), spaceBefore_ - 4 * 12);
    const float points[4][3] = {{ClipX(100), ClipY(100), 0},
                                {ClipX(300), ClipY(100), 0},
                                {ClipX(300), ClipY(300), 0},
                                {ClipX(100), ClipY(100), 0}};
    std::memcpy(v, points, sizeof points); // three floats a vertex, packed
    glColor3ub(255, 160, 0);
    const bzLineDraw record{nullptr, BZ_LINE_KIND_PLAIN, 2};
    strip_(&record);
    free_();
    EXPECT_EQ(OGL_LineVerticesHeld(), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
    ReadFrame("gl_line_strip_plain");
    ExpectNear(200, 100, {255, 160, 0}, 0);
    ExpectNear(120, 100, {255, 160, 0}, 0);
    ExpectNear(300, 200, {255, 160, 0}, 0);
    ExpectNear(300, 290, {255, 160, 0}, 0);
    // The closing diagonal of the fourth vertex is not drawn, nor anything off the lines.
    ExpectNear(200, 200, {0, 0, 0}, 0);
    ExpectNear(250, 150, {0, 0, 0}, 0);
    ExpectNear(200, 110, {0, 0, 0}, 0);
}

TEST_F(GlLineVerticesTest, ColouredVerticesCarryTheirOwnColours)
{
    // Along row 240: a red segment (both ends red), a blend, then a blue segment; each colour
    // word 0xAARRGGBB passed through the colour swap as the path drawing does.
    auto *v = static_cast<uint8_t *>(lock_(BZ_LINE_KIND_COLOURED, 4));
    ASSERT_NE(v, nullptr);
    const int columns[4] = {100, 250, 400, 550};
    const uint32_t colours[4] = {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF};
    for (int i = 0; i < 4; ++i)
    {
        const float p[3] = {ClipX(columns[i]), ClipY(240), 0};
        uint32_t c = colours[i];
        ASSERT_NE(bzgRenderTable.PDSwapColourBytes, nullptr);
        bzgRenderTable.PDSwapColourBytes(&c);
        std::memcpy(v + 16 * i, p, 12);
        std::memcpy(v + 16 * i + 12, &c, 4);
    }
    glColor3ub(0, 255, 0); // not used: every vertex has its colour
    const bzLineDraw record{nullptr, BZ_LINE_KIND_COLOURED, 3};
    strip_(&record);
    ReadFrame("gl_line_strip_coloured");
    ExpectNear(175, 240, {255, 0, 0}, 1);
    ExpectNear(475, 240, {0, 0, 255}, 1);
    const auto middle = At(325, 240);
    EXPECT_NEAR(middle[0], 128, 4);
    EXPECT_NEAR(middle[2], 128, 4);
    EXPECT_EQ(middle[1], 0);
    // A plain strip after it does not pick the colours up again.
    ClearFrame(kW, kH);
    auto *p = static_cast<float *>(lock_(BZ_LINE_KIND_PLAIN, 2));
    ASSERT_NE(p, nullptr);
    const float plain[2][3] = {{ClipX(100), ClipY(50), 0}, {ClipX(500), ClipY(50), 0}};
    std::memcpy(p, plain, sizeof plain);
    glColor3ub(0, 255, 0);
    const bzLineDraw line{nullptr, BZ_LINE_KIND_PLAIN, 1};
    strip_(&line);
    ReadFrame();
    ExpectNear(300, 50, {0, 255, 0}, 0);
}

TEST_F(GlLineVerticesTest, StripsNeverReachPastTheReservedVertices)
{
    struct Case
    {
        const char *what;
        int32_t reserve;    // vertices reserved (0: none held)
        int32_t primitives; // the record's segment count
        bool drawn;         // whether the two-point line shows
    };
    const Case cases[] = {
        {"as reserved", 2, 1, true},
        {"a record asking for more segments than reserved", 2, 40, true},
        {"no segments", 2, 0, false},
        {"a negative count", 2, -5, false},
        {"no block held", 0, 1, false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        ClearFrame(kW, kH);
        free_();
        if (c.reserve)
        {
            auto *v = static_cast<float *>(lock_(BZ_LINE_KIND_PLAIN, c.reserve));
            ASSERT_NE(v, nullptr);
            const float points[2][3] = {{ClipX(50), ClipY(400), 0}, {ClipX(600), ClipY(400), 0}};
            std::memcpy(v, points, sizeof points);
        }
        glColor3ub(255, 255, 255);
        const bzLineDraw record{nullptr, BZ_LINE_KIND_PLAIN, c.primitives};
        strip_(&record);
        strip_(nullptr);
        ReadFrame();
        ExpectNear(320, 400,
                   c.drawn ? std::array<int, 3>{255, 255, 255} : std::array<int, 3>{0, 0, 0}, 0);
    }
}

TEST_F(GlLineVerticesTest, OneBlockAtATimeAndNothingForAnEmptyRequest)
{
    EXPECT_EQ(lock_(BZ_LINE_KIND_PLAIN, 0), nullptr);
    EXPECT_EQ(lock_(BZ_LINE_KIND_PLAIN, -1), nullptr);
    EXPECT_EQ(OGL_LineVerticesHeld(), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
    // A second reservation gives the first block back before it takes its own.
    ASSERT_NE(lock_(BZ_LINE_KIND_PLAIN, 100), nullptr);
    const uint32_t oneBlock = bz_TempStack_SpaceLeft(1, 0);
    ASSERT_NE(lock_(BZ_LINE_KIND_COLOURED, 100), nullptr);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), oneBlock);
    EXPECT_EQ(OGL_LineVerticesHeld(), 100);
    // More than the stack holds: nothing held (an overflow block, when the stack allows one,
    // is given back the same way).
    void *huge = lock_(BZ_LINE_KIND_PLAIN, 0x7FFFFFFF);
    EXPECT_EQ(huge, nullptr);
    EXPECT_EQ(OGL_LineVerticesHeld(), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
    free_();
    free_();
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
}

// The path drawing of the front end reaching these slots: its chunks of points reserved, written
// (colours through the colour swap) and drawn as strips under one untextured white material, with
// the material passes run the way the mesh slot runs them.
void PassLines(void *record, int32_t)
{
    OGL_DrawLineStrip(static_cast<const bzLineDraw *>(record));
}
void MeshOfLines(bzMaterial *material, const bzM34 *, PDDrawLinesFn, const bzLineDraw *record)
{
    OGL_DrawMesh(material, 0, PassLines, const_cast<bzLineDraw *>(record));
}

class GlPathLinesTest : public GlLineVerticesTest
{
protected:
    void SetUp() override
    {
        GlLineVerticesTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bzgRenderTable.PDDrawMesh = reinterpret_cast<PDGenericSlot>(MeshOfLines);
        layer_.alpha = 1.0f;
        material_.layers = &layer_;
        material_.layerCount = 1;
        material_.red = material_.green = material_.blue = 1.0f;
        path_ = bz_Path_Create();
        ASSERT_NE(path_, nullptr);
        lump_.type = BZ_LUMP_TYPE_POLYLINE;
        lump_.object = path_;
        lump_.material = &material_;
        lump_.worldMatrix.row[0] = {1, 0, 0};
        lump_.worldMatrix.row[1] = {0, 1, 0};
        lump_.worldMatrix.row[2] = {0, 0, 1};
    }
    void TearDown() override
    {
        if (path_)
            bz_Path_Release(path_);
        GlLineVerticesTest::TearDown();
    }
    void Draw()
    {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        bz_DrawPolyLine(&lump_, nullptr);
    }
    bzMaterialLayer layer_{};
    bzMaterial material_{};
    bzPath *path_ = nullptr;
    bzLump lump_{};
};

TEST_F(GlPathLinesTest, AClosedColouredPathShowsEachPointsColour)
{
    // A square, each side's two points of one colour (red top, green right, blue bottom, white
    // left), closed back to its first point.
    struct Corner
    {
        int x, y;
        uint32_t colour;
    };
    const Corner corners[8] = {{150, 100, 0xFFFF0000}, {450, 100, 0xFFFF0000},
                               {500, 120, 0xFF00FF00}, {500, 380, 0xFF00FF00},
                               {450, 400, 0xFF0000FF}, {150, 400, 0xFF0000FF},
                               {100, 380, 0xFFFFFFFF}, {100, 120, 0xFFFFFFFF}};
    for (const Corner &c : corners)
        ASSERT_NE(bz_Path_AppendPointWord(path_, ClipX(c.x), ClipY(c.y), 0, c.colour), nullptr);
    path_->flags = BZ_PATH_COLOURS | BZ_PATH_CLOSED;
    Draw();
    EXPECT_EQ(OGL_LineVerticesHeld(), 0);
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
    ReadFrame("gl_path_closed_coloured");
    ExpectNear(300, 100, {255, 0, 0}, 1);
    ExpectNear(500, 250, {0, 255, 0}, 1);
    ExpectNear(300, 400, {0, 0, 255}, 1);
    ExpectNear(100, 250, {255, 255, 255}, 1);
    // The closing segment from the last point (white) back to the first (red) is drawn.
    const auto closing = At(125, 110);
    EXPECT_EQ(closing[0], 255);
    EXPECT_GT(closing[1], 0);
    ExpectNear(300, 250, {0, 0, 0}, 0);
}

TEST_F(GlPathLinesTest, ALongPathIsDrawnInChunksWithoutGaps)
{
    // 4,500 points along row 240, from column 20 to 620: three chunks of at most 2,000 points,
    // each starting again at the last point of the one before.
    const int n = 4500;
    for (int i = 0; i < n; ++i)
    {
        const float x = ClipX(20) + (ClipX(620) - ClipX(20)) * float(i) / float(n - 1);
        ASSERT_NE(bz_Path_AppendPoint(path_, x, ClipY(240), 0), nullptr);
    }
    material_.red = 1.0f;
    material_.green = 0.5f;
    material_.blue = 0.0f;
    Draw();
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), spaceBefore_);
    ReadFrame("gl_path_long");
    // Every pixel from the first point to the last (whose own pixel a line leaves out).
    for (int x = 20; x < 620; ++x)
        ExpectNear(x, 240, {255, 128, 0}, 1);
    ExpectNear(320, 239, {0, 0, 0}, 0);
}
} // namespace
