// Viewports and cameras: the id-ordered list, the clamps of the field of view and the clip
// planes, the camera terms and projections, screen and world conversions, and rays cast
// through a pixel onto real faces.
#include "render/Viewport.h"

#include "ModelsTestSupport.h"
#include "render/Font.h"
#include "support/CubeModel.h"
#include "maths/Matrix.h"
#include "models/SceneLink.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "support/RawAllocFailure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
std::vector<bzViewport *> gCreated;
void NoteCreated(bzViewport *v)
{
    gCreated.push_back(v);
}

class ViewportTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_Models_InstallSceneServices();
        bz_Viewport_ClearList();
        bzgPixelAspect = 1.0f;
        gCreated.clear();
        bzgRenderTable.PDViewportCreated = reinterpret_cast<PDGenericSlot>(NoteCreated);
    }
    void TearDown() override
    {
        while (bzViewport *v = bz_Viewport_GetFirst())
            bz_Viewport_Destroy(v);
        for (bzLump *l : lumps_)
            bz_Lump_DestroyTree(l);
        bzgPixelAspect = 1.0f;
        bz_Models_RemoveSceneServices();
        // A default font that an earlier test left behind goes back with its image map.
        bz_Font_ReleaseDefault();
        ModelsTest::TearDown();
    }
    bzLump *Camera(const bzM34 *m, float fov)
    {
        bzLump *c = bz_Lump_CreateCamera(m, fov);
        lumps_.push_back(c);
        return c;
    }
    bzCamera *CameraOf(bzViewport *v) { return static_cast<bzCamera *>(v->camera->object); }
    std::vector<bzLump *> lumps_;
};

std::vector<bzViewport *> ListOrder()
{
    std::vector<bzViewport *> out;
    for (bzViewport *v = bz_Viewport_GetFirst(); v; v = v->next)
        out.push_back(v);
    return out;
}

TEST_F(ViewportTest, CreationDefaultsAndTheRendererIsTold)
{
    bzViewport *v = bz_Viewport_Create(3, nullptr, nullptr, 10, 20, 640, 480);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(gCreated, std::vector<bzViewport *>{v});
    EXPECT_EQ(v->enabled, 1u);
    EXPECT_EQ(v->ambient, 0xFF101010u);
    EXPECT_FLOAT_EQ(v->nearClip, 1.0f);
    EXPECT_FLOAT_EQ(v->farClip, 200.0f);
    EXPECT_FLOAT_EQ(v->aspect, 640.0f / 480.0f);
    EXPECT_EQ(v->subX, 0);
    EXPECT_EQ(v->subY, 0);
    EXPECT_EQ(v->subWidth, 640);
    EXPECT_EQ(v->subHeight, 480);
    EXPECT_FLOAT_EQ(v->depthScale, 1.0f / 199.0f);
    EXPECT_FLOAT_EQ(v->depthOffsetScale, 200.0f / 199.0f);
    // The mid distance of 0 lies below near: halfway between the planes.
    EXPECT_FLOAT_EQ(v->midDistance, 100.5f);
    EXPECT_EQ(bz_Viewport_IsSupported(), 1);
    // No camera: no field of view, unit distances.
    EXPECT_EQ(bz_Viewport_GetFieldOfView(v), 0.0f);
    const bzV3 p{3, 4, 0};
    EXPECT_EQ(bz_Viewport_DistanceToCamera(v, &p), 1.0f);
    EXPECT_EQ(bz_Viewport_GetDepthFraction(v, &p), 1.0f);

    // A failed allocation leaves the list as it was.
    {
        RawAllocFailure fail;
        EXPECT_EQ(bz_Viewport_Create(1, nullptr, nullptr, 0, 0, 1, 1), nullptr);
    }
    EXPECT_EQ(bzgLastError, BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(ListOrder(), std::vector<bzViewport *>{v});
}

TEST_F(ViewportTest, ListRunsByIdWithTheNewestFirstAmongEqualIds)
{
    bzViewport *a = bz_Viewport_Create(5, nullptr, nullptr, 0, 0, 10, 10);
    bzViewport *b = bz_Viewport_Create(1, nullptr, nullptr, 0, 0, 10, 10);
    bzViewport *c = bz_Viewport_Create(5, nullptr, nullptr, 0, 0, 10, 10);
    bzViewport *d = bz_Viewport_Create(9, nullptr, nullptr, 0, 0, 10, 10);
    EXPECT_EQ(ListOrder(), (std::vector<bzViewport *>{b, c, a, d}));
    EXPECT_EQ(bz_Viewport_GetByIndex(0), b);
    EXPECT_EQ(bz_Viewport_GetByIndex(3), d);
    EXPECT_EQ(bz_Viewport_GetByIndex(-1), nullptr);
    EXPECT_EQ(bz_Viewport_GetByIndex(4), nullptr);

    // A new id moves the viewport; among the 5s it now stands first.
    bz_Viewport_SetId(d, 5);
    EXPECT_EQ(ListOrder(), (std::vector<bzViewport *>{b, d, c, a}));
    bz_Viewport_Unlink(c);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(ListOrder(), (std::vector<bzViewport *>{b, d, a}));
    // Unlinking one that is not listed only clears its next field.
    c->next = a;
    bz_Viewport_Unlink(c);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(ListOrder(), (std::vector<bzViewport *>{b, d, a}));
    bz_Viewport_Free(c);

    bz_Viewport_DisableAll();
    EXPECT_EQ(bz_Viewport_IsEnabled(a) + bz_Viewport_IsEnabled(b) + bz_Viewport_IsEnabled(d), 0);
    bz_Viewport_Enable(d);
    EXPECT_EQ(bz_Viewport_IsEnabled(d), 1);
    bz_Viewport_EnableAll();
    bz_Viewport_Disable(a);
    EXPECT_EQ(bz_Viewport_IsEnabled(a), 0);
    EXPECT_EQ(bz_Viewport_IsEnabled(b), 1);
    EXPECT_EQ(bz_Viewport_IsEnabled(nullptr), 0);

    // A copy takes the whole record, the next field too.
    bzViewport *copy = bz_Viewport_Alloc();
    bz_Viewport_Copy(copy, d);
    EXPECT_EQ(copy->next, a);
    EXPECT_EQ(copy->id, 5);
    bz_Viewport_Free(copy);

    // Clearing the list frees nothing; the records are still there to destroy.
    bz_Viewport_ClearList();
    EXPECT_EQ(bz_Viewport_GetFirst(), nullptr);
    for (bzViewport *v : {a, b, d})
        bz_Viewport_Free(v);
}

TEST_F(ViewportTest, FieldOfViewIsClamped)
{
    bzViewport *v = bz_Viewport_Create(0, Camera(nullptr, 30.0f), nullptr, 0, 0, 100, 100);
    const struct
    {
        float set, stored;
    } cases[] = {{0.0f, 0.001f},     {95.0f, 89.999f},
                 {-5.0f, 0.001f},    {45.0f, 45.0f},
                 {89.999f, 89.999f}, {std::numeric_limits<float>::quiet_NaN(), 0.001f}};
    for (const auto &c : cases)
    {
        bz_Viewport_SetFieldOfView(v, c.set);
        EXPECT_FLOAT_EQ(bz_Viewport_GetFieldOfView(v), c.stored) << c.set;
    }
    // Null viewports are ignored by every setter.
    bz_Viewport_SetFieldOfView(nullptr, 10.0f);
    bz_Viewport_SetClipPlanes(nullptr, 1.0f, 2.0f);
    bz_Viewport_SetRect(nullptr, 0, 0, 1, 1);
    EXPECT_EQ(bz_Viewport_GetFieldOfView(nullptr), 0.0f);
    EXPECT_EQ(bz_Viewport_GetCamera(nullptr), nullptr);
}

TEST_F(ViewportTest, ClipPlanes)
{
    bzViewport *v = bz_Viewport_Create(0, nullptr, nullptr, 0, 0, 100, 100);
    bz_Viewport_SetClipPlanes(v, 0.0f, 100.0f);
    EXPECT_FLOAT_EQ(v->nearClip, 0.001f);
    EXPECT_FLOAT_EQ(v->farClip, 100.0f);
    EXPECT_FLOAT_EQ(v->depthScale, 1.0f / 99.999f);
    EXPECT_FLOAT_EQ(v->depthOffsetScale, 100.0f / 99.999f);

    // Near not below far, or not a number, changes nothing.
    const float bad[][2] = {{5.0f, 5.0f},
                            {7.0f, 5.0f},
                            {std::numeric_limits<float>::quiet_NaN(), 5.0f},
                            {1.0f, std::numeric_limits<float>::quiet_NaN()},
                            {-1.0f, 0.0005f}};
    for (const auto &b : bad)
    {
        bz_Viewport_SetClipPlanes(v, b[0], b[1]);
        EXPECT_FLOAT_EQ(v->nearClip, 0.001f) << b[0] << " " << b[1];
        EXPECT_FLOAT_EQ(v->farClip, 100.0f) << b[0] << " " << b[1];
    }

    // A mid distance below near moves halfway; one above far stays.
    bz_Viewport_SetMidDistance(v, 0.0f);
    bz_Viewport_SetClipPlanes(v, 10.0f, 30.0f);
    EXPECT_FLOAT_EQ(v->midDistance, 20.0f);
    bz_Viewport_SetMidDistance(v, 500.0f);
    bz_Viewport_SetClipPlanes(v, 2.0f, 4.0f);
    EXPECT_FLOAT_EQ(v->midDistance, 500.0f);

    float nearOut = 0, farOut = 0;
    bz_Viewport_GetClipPlanes(v, &farOut, &nearOut);
    EXPECT_EQ(nearOut, 2.0f);
    EXPECT_EQ(farOut, 4.0f);
    bz_Viewport_GetClipPlanes(v, nullptr, nullptr);
}

TEST_F(ViewportTest, AspectFollowsTheRectangleAndThePixelAspect)
{
    bzViewport *v = bz_Viewport_Create(0, nullptr, nullptr, 0, 0, 300, 100);
    EXPECT_FLOAT_EQ(v->aspect, 3.0f);
    bz_Viewport_SetSubRect(v, 5, 6, 7, 8);
    bz_Viewport_SetRect(v, 1, 2, 200, 100);
    EXPECT_FLOAT_EQ(v->aspect, 2.0f);
    EXPECT_EQ(v->subX, 0);
    EXPECT_EQ(v->subWidth, 200);
    bzgPixelAspect = 1.5f;
    bz_Viewport_UpdateAllAspects();
    EXPECT_FLOAT_EQ(v->aspect, 3.0f);
    // A height of 0 must not make the aspect infinite.
    bz_Viewport_SetRect(v, 0, 0, 200, 0);
    EXPECT_TRUE(std::isfinite(v->aspect));
    EXPECT_GT(v->aspect, 0.0f);
    bzViewport *flat = bz_Viewport_Create(1, Camera(nullptr, 45.0f), nullptr, 0, 0, 0, 0);
    bzM44 m;
    bz_Viewport_SetupProjection(flat, &m);
    for (int r = 0; r < 4; ++r)
        EXPECT_TRUE(std::isfinite(m.row[r].x) && std::isfinite(m.row[r].y) &&
                    std::isfinite(m.row[r].z) && std::isfinite(m.row[r].w));
}

TEST_F(ViewportTest, PerspectiveProjectionAndCameraTerms)
{
    // Width twice the height, a field of view of 45 degrees: tangent and cotangent 1.
    bzViewport *v = bz_Viewport_Create(0, Camera(nullptr, 45.0f), nullptr, 0, 0, 200, 100);
    bz_Viewport_SetClipPlanes(v, 1.0f, 201.0f);
    bzM44 m;
    bz_Viewport_SetupProjection(v, &m);
    const float expected[4][4] = {
        {1, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 201.0f / 200.0f, 1}, {0, 0, -201.0f / 200.0f, 0}};
    for (int r = 0; r < 4; ++r)
    {
        EXPECT_NEAR(m.row[r].x, expected[r][0], 1e-5f) << r;
        EXPECT_NEAR(m.row[r].y, expected[r][1], 1e-5f) << r;
        EXPECT_NEAR(m.row[r].z, expected[r][2], 1e-5f) << r;
        EXPECT_NEAR(m.row[r].w, expected[r][3], 1e-5f) << r;
    }
    const float h = 1.0f / std::sqrt(2.0f);
    EXPECT_NEAR(v->tangent, 1.0f, 1e-5f);
    EXPECT_NEAR(v->sideX.x, h, 1e-5f);
    EXPECT_NEAR(v->sideX.z, h, 1e-5f);
    // y side plane along (0, 1 / (2 x 1), 1).
    EXPECT_NEAR(v->sideY.y, 0.5f / std::sqrt(1.25f), 1e-5f);
    EXPECT_NEAR(v->sideY.z, 1.0f / std::sqrt(1.25f), 1e-5f);

    // The M34 form writes the same rows without their fourth column and the guard band:
    // (4.85, 0, 1) and (0, 4.85 / 2, 1) normalised.
    bzM34 m34;
    bz_Viewport_SetupProjectionM34(v, &m34);
    EXPECT_NEAR(m34.row[1].y, 2.0f, 1e-5f);
    EXPECT_NEAR(m34.row[3].z, -201.0f / 200.0f, 1e-5f);
    EXPECT_NEAR(v->guardX.x, 4.85f / std::sqrt(4.85f * 4.85f + 1.0f), 1e-5f);
    EXPECT_NEAR(v->guardY.y, 2.425f / std::sqrt(2.425f * 2.425f + 1.0f), 1e-5f);

    // A new aspect with the same field of view refreshes the y planes only.
    bz_Viewport_SetRect(v, 0, 0, 100, 100);
    bz_Viewport_SetupProjectionM34(v, &m34);
    EXPECT_NEAR(v->sideY.y, h, 1e-5f);
    EXPECT_NEAR(v->guardY.y, 4.85f / std::sqrt(4.85f * 4.85f + 1.0f), 1e-5f);
    EXPECT_NEAR(m34.row[1].y, 1.0f, 1e-5f);
}

TEST_F(ViewportTest, OrthographicProjection)
{
    bzViewport *v = bz_Viewport_Create(0, Camera(nullptr, 45.0f), nullptr, 0, 0, 100, 100);
    bzCamera *camera = CameraOf(v);
    camera->orthoWidth = 20.0f;
    camera->orthoHeight = 10.0f;
    bz_Viewport_SetPerspective(v, 0);
    EXPECT_EQ(camera->perspective, 0u);
    bz_Viewport_SetClipPlanes(v, 2.0f, 12.0f);
    bzM44 m;
    bz_Viewport_SetupProjection(v, &m);
    EXPECT_FLOAT_EQ(m.row[0].x, 0.1f);
    EXPECT_FLOAT_EQ(m.row[1].y, 0.2f);
    EXPECT_FLOAT_EQ(m.row[2].z, 0.1f);
    EXPECT_FLOAT_EQ(m.row[2].w, 0.0f);
    EXPECT_FLOAT_EQ(m.row[3].z, -0.2f);
    EXPECT_FLOAT_EQ(m.row[3].w, 1.0f);
}

TEST_F(ViewportTest, ScreenToWorldAndBack)
{
    // A camera at (1, 2, 3) turned 30 degrees about y.
    bzM34 cam;
    bz_M34_RotationY(&cam, 30.0f);
    bz_M34_SetTranslation(&cam, 1.0f, 2.0f, 3.0f);
    bzViewport *v = bz_Viewport_Create(0, Camera(&cam, 40.0f), nullptr, 0, 0, 640, 480);
    const std::array<bzV3, 4> screens = {
        {{320, 240, 0}, {100, 50, 9}, {639, 479, 0.5f}, {0, 400, 50}}};
    for (const bzV3 &s : screens)
    {
        bzV3 world;
        bz_Viewport_ScreenToWorld(&world, &s, v);
        // The point lies at depth near + d in front of the camera.
        bzV3 rel;
        bz_V3_SubInto(&world, &cam.row[3], &rel);
        EXPECT_NEAR(bz_V3_Dot(&rel, &cam.row[2]), 1.0f + s.z, 1e-3f);
        float back[4];
        bz_Viewport_WorldToScreen(v, back, &world, nullptr);
        EXPECT_NEAR(back[0], s.x, 1e-2f) << s.x << "," << s.y;
        EXPECT_NEAR(back[1], s.y, 1e-2f) << s.x << "," << s.y;
        EXPECT_NEAR(back[3], 1.0f + s.z, 1e-3f);
    }
    // The centre pixel at depth 0 is on the camera's axis at the near distance.
    bzV3 centre;
    const bzV3 mid{320, 240, 0};
    bz_Viewport_ScreenToWorld(&centre, &mid, v);
    bzV3 expected = cam.row[3];
    bz_V3_Add(&expected, &cam.row[2]);
    EXPECT_NEAR(centre.x, expected.x, 1e-4f);
    EXPECT_NEAR(centre.z, expected.z, 1e-4f);

    // An extra matrix moves the point first.
    bzM34 extra;
    bz_M34_Translation(&extra, -1.0f, -2.0f, -3.0f);
    bzV3 onAxis = cam.row[3];
    bz_V3_AddScaled(&onAxis, &cam.row[2], 5.0f);
    bz_V3_Add(&onAxis, &cam.row[3]);
    float out[4];
    bz_Viewport_WorldToScreen(v, out, &onAxis, &extra);
    EXPECT_NEAR(out[0], 320.0f, 1e-2f);
    EXPECT_NEAR(out[1], 240.0f, 1e-2f);
    EXPECT_NEAR(out[3], 5.0f, 1e-4f);

    // View sizes: width 2 d tan(f), height width / aspect; depth 0 is the near distance.
    float w = 0, hgt = 0;
    bz_Viewport_GetViewSizeAtDepth(v, &w, &hgt, 0.0f);
    EXPECT_NEAR(w, 2.0f * std::tan(40.0f * 0.017453292f), 1e-5f);
    EXPECT_NEAR(hgt, w * 480.0f / 640.0f, 1e-5f);
    bz_Viewport_GetViewSizeAtDepth(v, nullptr, &hgt, 10.0f);
    EXPECT_NEAR(hgt, 10.0f * w * 0.75f, 1e-4f);

    const bzV3 far{4.0f, 6.0f, 3.0f};
    EXPECT_NEAR(bz_Viewport_DistanceToCamera(v, &far), 5.0f, 1e-5f);
    EXPECT_NEAR(bz_Viewport_GetDepthFraction(v, &far), (5.0f - 1.0f) / 200.0f, 1e-6f);
}

TEST_F(ViewportTest, NanCameraMatricesGiveNumbersOrNothingButNoCrash)
{
    bzM34 cam;
    bz_M34_Translation(&cam, 0, 0, 0);
    cam.row[0].x = std::numeric_limits<float>::quiet_NaN();
    bzViewport *v = bz_Viewport_Create(0, Camera(&cam, 40.0f), nullptr, 0, 0, 64, 48);
    const bzV3 p{1, 2, 3};
    float out[4];
    bz_Viewport_WorldToScreen(v, out, &p, nullptr);
    bzV3 w;
    bz_Viewport_ScreenToWorld(&w, &p, v);
    float t = 0;
    bzLump *hit = nullptr;
    EXPECT_EQ(bz_Viewport_CastRaySimple(v, 3, 4, &t, &hit), 0); // no scene root
}

TEST_F(ViewportTest, CastAndPickRaysHitAKnownFace)
{
    bzMaterial *material = bz_CreateMaterial("stone", 1);
    bzModel *model = MakeCubeModel("cube", material, 0.0f, 1.0f);
    ASSERT_NE(model, nullptr);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    lumps_.push_back(root);
    bzLump *box = bz_Lump_CreateModel(model);
    ASSERT_EQ(bz_Lump_Attach(root, box), BZ_ERROR_NONE);
    // A camera at (0.25, 0.5, 5) looking down -z (turned 180 degrees about y).
    bzM34 cam;
    bz_M34_RotationY(&cam, 180.0f);
    bz_M34_SetTranslation(&cam, 0.25f, 0.5f, 5.0f);
    bzViewport *v = bz_Viewport_Create(0, Camera(&cam, 30.0f), root, 0, 0, 64, 48);

    // The centre pixel's ray runs along the camera's axis onto the top face (z = 1).
    float distance = 0;
    bzLump *hit = nullptr;
    EXPECT_EQ(bz_Viewport_CastRaySimple(v, 32, 24, &distance, &hit), 1);
    EXPECT_EQ(hit, box);
    EXPECT_NEAR(distance, 4.0f, 1e-4f);

    bzViewportPick pick;
    ASSERT_EQ(bz_Viewport_PickRay(v, 32, 24, nullptr, nullptr, &pick), 1);
    EXPECT_EQ(pick.lump, box);
    EXPECT_EQ(pick.material, material);
    // (0.25, 0.5) lies in the top face's triangle of corners (0,0,1), (0,1,1), (1,1,1).
    EXPECT_EQ(pick.face, 3u);
    for (const bzV3 &c : pick.corners)
        EXPECT_FLOAT_EQ(c.z, 1.0f);
    EXPECT_NEAR(std::fabs(pick.plane.n.z), 1.0f, 1e-5f);

    // A pixel whose ray passes beside the cube hits nothing.
    EXPECT_EQ(bz_Viewport_CastRaySimple(v, 0, 0, &distance, &hit), 0);
    EXPECT_EQ(bz_Viewport_PickRay(v, 0, 0, nullptr, nullptr, &pick), 0);
    EXPECT_EQ(pick.lump, nullptr);

    // Orthographic: the ray runs along the axis from a point beside the camera's position.
    bzCamera *camera = CameraOf(v);
    camera->orthoWidth = 4.0f;
    camera->orthoHeight = 3.0f;
    bz_Viewport_SetPerspective(v, 0);
    bzRay ray;
    ASSERT_EQ(bz_Viewport_GetPixelRay(v, 48, 24, &ray), 1);
    // (48 - 32) / 64 x 4 = 1 along the camera's x axis, which points along world -x.
    EXPECT_NEAR(ray.origin.x, -0.75f, 1e-5f);
    EXPECT_NEAR(ray.origin.y, 0.5f, 1e-5f);
    EXPECT_NEAR(ray.delta.z, -1.0f, 1e-5f);
    EXPECT_EQ(ray.flag, 1);
    EXPECT_EQ(bz_Viewport_CastRaySimple(v, 48, 24, &distance, &hit), 0);
    EXPECT_EQ(bz_Viewport_CastRaySimple(v, 32, 24, &distance, &hit), 1);

    bz_ReleaseModel(model);
    bz_ReleaseMaterial(material);
}

TEST_F(ViewportTest, ForegroundTreeMaterialsAreForcedAndShownOrHidden)
{
    bzMaterial *material = bz_CreateMaterial("hud", 1);
    bzModel *model = MakeCubeModel("cube", material, 0.0f, 1.0f);
    bzLump *fg = bz_Lump_CreateModel(model);
    lumps_.push_back(fg);
    bzViewport *v = bz_Viewport_Create(0, nullptr, nullptr, 0, 0, 64, 48);
    bz_Viewport_SetForeground(v, fg);
    EXPECT_EQ(v->foreground, fg);
    EXPECT_EQ(material->flags & 0xC00u, 0xC00u);
    bz_Viewport_HideForeground(v);
    EXPECT_EQ(fg->flags & BZ_LUMP_ACTIVE, 0u);
    bz_Viewport_ShowForeground(v);
    EXPECT_EQ(fg->flags & BZ_LUMP_ACTIVE, BZ_LUMP_ACTIVE);
    bz_Viewport_SetForeground(v, nullptr);
    bz_Viewport_HideForeground(v);
    bz_ReleaseModel(model);
    bz_ReleaseMaterial(material);
}
} // namespace
