// OpenGL poly-lines of the debug spline drawing, read back from a 640x480 frame.
#include "GlTestSupport.h"

#include "backends/gl/GlLines.h"

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
} // namespace
