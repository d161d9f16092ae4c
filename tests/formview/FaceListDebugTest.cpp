// The face- and vertex-list drawing seen through a recording renderer table: the viewport's
// projection and rectangle first, the colour, one closed outline per face in the camera's
// frame (worked out by hand for a moved and a turned camera), whole and compact lists alike,
// then white lines and the whole display again, also for empty lists; nothing without a
// viewport, no crash with an empty table, and nothing taken from the heap.
#include "formview/FaceListDebug.h"

#include "CountingNew.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "render/FrameDriver.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
struct Call
{
    int slot;
    bzViewport *viewport; // 45 and 47
    int32_t rect[4];      // 47: x, y, width, height
    uint32_t colour;      // 84
    std::vector<bzV3> points;
};
std::vector<Call> gCalls;

bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

class FaceListDebugTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = bzgRenderTable;
        std::memset(&bzgRenderTable, 0, sizeof bzgRenderTable);
        bzgRenderTable.PDSetProjection = [](bzViewport *v) {
            gCalls.push_back({45, v, {}, 0, {}});
        };
        bzgRenderTable.PDSetViewport = [](bzViewport *v)
        {
            gCalls.push_back({47, v, {v->x, v->y, v->width, v->height}, 0, {}});
            return int32_t{0};
        };
        bzgRenderTable.PDSetupLineDrawing = [](uint32_t colour) {
            gCalls.push_back({84, nullptr, {}, colour, {}});
        };
        bzgRenderTable.PDDrawPolyline = [](const void *points, int32_t n)
        {
            Call call{83, nullptr, {}, 0, {}};
            for (int32_t i = 0; i < n; i++)
            {
                bzV3 p;
                std::memcpy(p.v,
                            static_cast<const uint8_t *>(points) +
                                static_cast<size_t>(i) * BZ_LINE_VERTEX_SIZE,
                            sizeof p.v);
                call.points.push_back(p);
            }
            gCalls.push_back(call);
            return int32_t{0};
        };
        gCalls.clear();
        bz_Display_GetSize(&width_, &height_);
        bz_Display_SetSize(800, 600);
        viewport_.x = 10;
        viewport_.y = 20;
        viewport_.width = 300;
        viewport_.height = 200;
    }
    void TearDown() override
    {
        bzgRenderTable = saved_;
        bz_Display_SetSize(width_, height_);
        if (camera_)
            bz_Lump_DestroyTree(camera_);
        gCalls.clear();
    }
    void UseCamera(const bzM34 &matrix)
    {
        camera_ = bz_Lump_CreateCamera(&matrix, 45.0f);
        ASSERT_NE(camera_, nullptr);
        viewport_.camera = camera_;
    }
    // The calls that begin and end every drawing: projection, rectangle, colour ... white,
    // whole display.
    void ExpectFrame(uint32_t colour, size_t outlines)
    {
        ASSERT_EQ(gCalls.size(), 5 + outlines);
        EXPECT_EQ(gCalls[0].slot, 45);
        EXPECT_EQ(gCalls[0].viewport, &viewport_);
        EXPECT_EQ(gCalls[1].slot, 47);
        EXPECT_EQ(gCalls[1].viewport, &viewport_);
        EXPECT_EQ(gCalls[2].slot, 84);
        EXPECT_EQ(gCalls[2].colour, colour);
        for (size_t i = 0; i < outlines; i++)
            EXPECT_EQ(gCalls[3 + i].slot, 83);
        const Call &white = gCalls[3 + outlines];
        EXPECT_EQ(white.slot, 84);
        EXPECT_EQ(white.colour, 0xFFFFFFFFu);
        const Call &whole = gCalls[4 + outlines];
        EXPECT_EQ(whole.slot, 47);
        const int32_t rect[4] = {0, 0, 800, 600};
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(whole.rect[k], rect[k]) << k;
    }
    // An outline is the records a, b, b, c, c, a.
    static void ExpectOutline(const Call &call, bzV3 a, bzV3 b, bzV3 c)
    {
        ASSERT_EQ(call.points.size(), 6u);
        const bzV3 want[6] = {a, b, b, c, c, a};
        for (int i = 0; i < 6; i++)
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(call.points[i].v[k], want[i].v[k], 1e-5f) << i << "," << k;
    }

    bzViewport viewport_{};
    bzLump *camera_ = nullptr;

private:
    PDRenderFunctionTable saved_{};
    int32_t width_ = 0, height_ = 0;
};

bzDynFaceHit Face(bzV3 a, bzV3 b, bzV3 c)
{
    bzDynFaceHit hit{};
    hit.vertices[0] = a;
    hit.vertices[1] = b;
    hit.vertices[2] = c;
    return hit;
}

TEST_F(FaceListDebugTest, FacesAreOutlinedInTheCameraFrameOfAMovedCamera)
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[3] = V(0, 0, -10);
    UseCamera(m);
    bzDynFaceHit faces[2] = {Face(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)),
                             Face(V(2, 3, 4), V(5, 6, 7), V(-1, -2, -3))};
    bzDynFaceList list{2, 2, 0, 0, nullptr, 0, faces};
    // Half-transparent red goes to the line state as it stands.
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0x80FF0000u, &viewport_, &list), 0);
    ExpectFrame(0x80FF0000u, 2);
    ExpectOutline(gCalls[3], V(0, 0, 10), V(1, 0, 10), V(0, 1, 10));
    ExpectOutline(gCalls[4], V(2, 3, 14), V(5, 6, 17), V(-1, -2, 7));
}

TEST_F(FaceListDebugTest, ATurnedCameraAndACompactList)
{
    // The camera's x axis along -z, z axis along +x, standing at (5, 0, 0): the world point
    // (5, 0, 3) is 3 along -x of the camera, (6, 1, 0) is 1 up and 1 ahead.
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[0] = V(0, 0, -1);
    m.row[2] = V(1, 0, 0);
    m.row[3] = V(5, 0, 0);
    UseCamera(m);
    bzDynFaceHit face = Face(V(5, 0, 3), V(6, 1, 0), V(5, 2, 0));
    bzDynFaceHit *addresses[1] = {&face};
    bzDynFaceList list{1, 1, 0, 1, nullptr, 0, addresses};
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFF00FF00u, &viewport_, &list), 0);
    ExpectFrame(0xFF00FF00u, 1);
    ExpectOutline(gCalls[3], V(-3, 0, 0), V(0, 1, 1), V(0, 2, 0));
}

TEST_F(FaceListDebugTest, EmptyListsDrawNothingButStillRestore)
{
    bzDynFaceList empty{4, 0, 0, 0, nullptr, 0, nullptr};
    bzDynFaceHit faces[1] = {Face(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0))};
    bzDynFaceList none{1, 0, 0, 0, nullptr, 0, faces};
    const bzDynFaceList *lists[3] = {&empty, &none, nullptr};
    for (const bzDynFaceList *list : lists)
    {
        gCalls.clear();
        EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFF123456u, &viewport_, list), 0);
        ExpectFrame(0xFF123456u, 0);
    }
    gCalls.clear();
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, nullptr, 1.0f), 0);
    ExpectFrame(0xFFFFFFFFu, 0);
}

TEST_F(FaceListDebugTest, VerticesAreSmallTrianglesOfTheSize)
{
    // Without a camera the world is the camera's frame, as in the scene drawing.
    bzDynVertexHit hits[2] = {{nullptr, 0, V(1, 2, 3)}, {nullptr, 7, V(-4, 0, 8)}};
    bzDynVertexList list{2, 2, 0, hits};
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, &list, 0.5f), 0);
    ExpectFrame(0xFFFFFFFFu, 2);
    ExpectOutline(gCalls[3], V(1, 2, 3), V(1.5f, 2, 3), V(1, 2.5f, 3));
    ExpectOutline(gCalls[4], V(-4, 0, 8), V(-3.5f, 0, 8), V(-4, 0.5f, 8));
}

TEST_F(FaceListDebugTest, NoViewportDrawsNothingAndAnEmptyTableIsSkipped)
{
    bzDynFaceHit faces[1] = {Face(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0))};
    bzDynFaceList list{1, 1, 0, 0, nullptr, 0, faces};
    bzDynVertexHit hits[1] = {{nullptr, 0, V(1, 2, 3)}};
    bzDynVertexList vertices{1, 1, 0, hits};
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFFFFFFFFu, nullptr, &list), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_DynDebug_DrawVertexList(nullptr, &vertices, 1.0f), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_DynDebug_SetProjection(nullptr), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(gCalls.empty());
    // The projection alone: the viewport's projection, then its rectangle.
    EXPECT_EQ(bz_DynDebug_SetProjection(&viewport_), 0);
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].slot, 45);
    EXPECT_EQ(gCalls[1].slot, 47);
    const int32_t rect[4] = {10, 20, 300, 200};
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(gCalls[1].rect[k], rect[k]);
    // With every slot empty the calls are skipped.
    gCalls.clear();
    std::memset(&bzgRenderTable, 0, sizeof bzgRenderTable);
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFFFFFFFFu, &viewport_, &list), 0);
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, &vertices, 1.0f), 0);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(FaceListDebugTest, DrawingTakesNothingFromTheHeap)
{
    // Slots that only count, so that the recording's own vectors are not charged.
    static int drawn;
    drawn = 0;
    bzgRenderTable.PDDrawPolyline = [](const void *, int32_t)
    {
        drawn++;
        return int32_t{0};
    };
    bzgRenderTable.PDSetProjection = [](bzViewport *) {};
    bzgRenderTable.PDSetViewport = [](bzViewport *) { return int32_t{0}; };
    bzgRenderTable.PDSetupLineDrawing = [](uint32_t) {};
    bzM34 m;
    bz_M34_SetIdentity(&m);
    UseCamera(m);
    bzDynFaceHit faces[3] = {Face(V(0, 0, 1), V(1, 0, 1), V(0, 1, 1)),
                             Face(V(0, 0, 2), V(1, 0, 2), V(0, 1, 2)),
                             Face(V(0, 0, 3), V(1, 0, 3), V(0, 1, 3))};
    bzDynFaceList list{3, 3, 0, 0, nullptr, 0, faces};
    bzDynVertexHit hits[2] = {{nullptr, 0, V(1, 2, 3)}, {nullptr, 1, V(4, 5, 6)}};
    bzDynVertexList vertices{2, 2, 0, hits};
    const long before = gNewCalls;
    EXPECT_EQ(bz_DynDebug_DrawFaceList(0xFFFF0000u, &viewport_, &list), 0);
    EXPECT_EQ(bz_DynDebug_DrawVertexList(&viewport_, &vertices, 0.1f), 0);
    EXPECT_EQ(gNewCalls - before, 0);
    EXPECT_EQ(drawn, 5);
}

} // namespace
