// Form queries against the lump tree on real models: the gathered faces against a brute-force
// separating-axis oracle (through plain lumps and through an octree), the face and lump rules,
// the collision cache's refresh, pooled objects, clipping and the vertex query.
#include "collision/DynamicsLink.h"
#include "collision/FormQuery.h"

#include "ModelsTestSupport.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/SceneLink.h"
#include "scene/Bounds.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace
{
class FormQueryTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_Models_InstallSceneServices();
        material = bz_CreateMaterial("stone", 1);
    }
    void TearDown() override
    {
        if (root)
            bz_Lump_DestroyTree(root);
        for (bzModel *m : models)
            bz_ReleaseModel(m);
        bz_ReleaseMaterial(material);
        bz_Collision_SetDynamicsServices(nullptr);
        bzgDynPoolCallback = nullptr;
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }

    // A model of the triangles (three corners each) drawn with the material.
    bzModel *Mesh(const std::vector<bzV3> &corners, bzMaterial *with)
    {
        std::vector<bzModelFace> faces(corners.size() / 3);
        for (uint32_t f = 0; f < faces.size(); f++)
            faces[f] = {{3 * f, 3 * f + 1, 3 * f + 2}, 0, 0};
        bzModel *m =
            bz_Scene_CreateModel("mesh", corners.data(), static_cast<uint32_t>(corners.size()),
                                 faces.data(), static_cast<uint32_t>(faces.size()), with);
        EXPECT_NE(m, nullptr);
        models.push_back(m);
        return m;
    }
    bzLump *Place(bzModel *model, const bzM34 &matrix, bzLump *parent = nullptr)
    {
        if (!root)
            root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
        bzLump *lump = bz_Lump_CreateModel(model);
        lump->matrix = matrix;
        bz_Lump_AppendChild(parent ? parent : root, lump);
        return lump;
    }
    // A floor square of side 2 at height z, two triangles.
    bzModel *Floor(float z, bzMaterial *with)
    {
        return Mesh(
            {{{-1, -1, z}}, {{1, -1, z}}, {{1, 1, z}}, {{-1, -1, z}}, {{1, 1, z}}, {{-1, 1, z}}},
            with);
    }

    bzMaterial *material = nullptr;
    bzLump *root = nullptr;
    std::vector<bzModel *> models;
};

bzM34 Translation(float x, float y, float z)
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[3] = {{{x, y, z}}};
    return m;
}

std::set<std::pair<const bzLump *, int32_t>> Gathered(const bzDynFaceList *list)
{
    std::set<std::pair<const bzLump *, int32_t>> out;
    for (int32_t i = 0; i < list->count; i++)
    {
        const bzDynFaceHit *hit = bz_DynFaceList_Entry(list, i);
        out.insert({hit->lump, hit->faceIndex});
    }
    return out;
}

// Triangle against box by separating axes in double precision: 1 overlap, 0 apart, -1 too
// close to call.
int32_t TriangleBoxOracle(const double (&t)[3][3], const bzBox &box)
{
    double c[3], h[3], v[3][3];
    for (int k = 0; k < 3; k++)
    {
        c[k] = 0.5 * (double(box.min.v[k]) + box.max.v[k]);
        h[k] = 0.5 * (double(box.max.v[k]) - box.min.v[k]);
    }
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
            v[i][k] = t[i][k] - c[k];
    std::vector<std::array<double, 3>> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double e[3][3];
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
            e[i][k] = v[(i + 1) % 3][k] - v[i][k];
    axes.push_back({e[0][1] * e[1][2] - e[0][2] * e[1][1], e[0][2] * e[1][0] - e[0][0] * e[1][2],
                    e[0][0] * e[1][1] - e[0][1] * e[1][0]});
    for (int i = 0; i < 3; i++)
        for (int a = 0; a < 3; a++)
        {
            double u[3] = {0, 0, 0};
            u[a] = 1;
            axes.push_back({u[1] * e[i][2] - u[2] * e[i][1], u[2] * e[i][0] - u[0] * e[i][2],
                            u[0] * e[i][1] - u[1] * e[i][0]});
        }
    bool close = false;
    for (const auto &n : axes)
    {
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len < 1e-9)
            continue;
        double lo = 1e300, hi = -1e300;
        for (int i = 0; i < 3; i++)
        {
            const double p = (v[i][0] * n[0] + v[i][1] * n[1] + v[i][2] * n[2]) / len;
            lo = std::min(lo, p);
            hi = std::max(hi, p);
        }
        const double r =
            (h[0] * std::fabs(n[0]) + h[1] * std::fabs(n[1]) + h[2] * std::fabs(n[2])) / len;
        const double gap = std::max(lo - r, -r - hi);
        if (gap > 1e-3)
            return 0;
        if (gap > -1e-3)
            close = true;
    }
    return close ? -1 : 1;
}

TEST_F(FormQueryTest, GatheredFacesAreThoseTheOracleFindsThroughLumpsAndOctrees)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(-5.0f, 5.0f);
    std::uniform_real_distribution<float> angle(0.0f, 360.0f);
    for (int32_t m = 0; m < 6; m++)
    {
        std::vector<bzV3> corners;
        for (int32_t f = 0; f < 20; f++)
        {
            const bzV3 base = {{{u(rng), u(rng), u(rng)}}};
            for (int32_t k = 0; k < 3; k++)
                corners.push_back(
                    {{{base.x + u(rng) * 0.3f, base.y + u(rng) * 0.3f, base.z + u(rng) * 0.3f}}});
        }
        bzM34 place;
        bz_M34_RotationZ(&place, angle(rng));
        bz_M34_PostRotateX(&place, angle(rng));
        place.row[3] = {{{u(rng), u(rng), u(rng)}}};
        Place(Mesh(corners, material), place);
    }
    bzDynFaceList *list = bz_DynFaceList_CreateGrowing(nullptr, 8, 16);
    int32_t rounds = 0, compared = 0;
    for (int32_t pass = 0; pass < 2; pass++)
    {
        if (pass == 1)
        {
            ASSERT_NE(bz_Lump_BuildOctree(root), nullptr);
        }
        for (int32_t r = 0; r < 150; r++)
        {
            rounds++;
            bzBox box = {{{u(rng), u(rng), u(rng)}}, {}};
            for (int k = 0; k < 3; k++)
                box.max.v[k] = box.min.v[k] + std::fabs(u(rng)) * 0.6f + 0.1f;
            bzM34 frame;
            bz_M34_RotationY(&frame, angle(rng));
            frame.row[3] = {{{u(rng) * 0.5f, u(rng) * 0.5f, u(rng) * 0.5f}}};
            ASSERT_EQ(bz_DynForm_IntersectLumpTree(&box, &frame, nullptr, root, list, 0, 0, 0, 0),
                      0);
            const auto got = Gathered(list);
            bzM34 inverse;
            bz_M34_Invert(&frame, &inverse);
            bool ambiguous = false;
            std::set<std::pair<const bzLump *, int32_t>> want;
            for (bzLump *lump = root->firstChild; lump; lump = lump->next)
            {
                bzModelMesh mesh{};
                bz_Scene_GetModelMesh(bz_Lump_GetModel(lump), &mesh);
                for (uint32_t f = 0; f < mesh.faceCount; f++)
                {
                    double t[3][3];
                    for (int k = 0; k < 3; k++)
                    {
                        bzV3 w, q;
                        bz_M34_TransformPointInto(&lump->matrix, &w,
                                                  &mesh.positions[mesh.faces[f].v[k]]);
                        bz_M34_TransformPointInto(&inverse, &q, &w);
                        for (int a = 0; a < 3; a++)
                            t[k][a] = q.v[a];
                    }
                    const int32_t o = TriangleBoxOracle(t, box);
                    if (o < 0)
                        ambiguous = true;
                    else if (o)
                        want.insert({lump, static_cast<int32_t>(f)});
                }
            }
            if (ambiguous)
                continue;
            compared++;
            EXPECT_EQ(got, want) << "pass " << pass << " round " << r;
            // Every gathered face is stored in world coordinates with its plane.
            for (int32_t i = 0; i < list->count; i++)
            {
                const bzDynFaceHit *hit = bz_DynFaceList_Entry(list, i);
                EXPECT_NEAR(bz_Plane_SignedDistance(&hit->plane, &hit->vertices[2]), 0.0f, 1e-3f);
                EXPECT_EQ(hit->material, material);
            }
        }
    }
    EXPECT_GT(compared, rounds / 2);
    bz_DynFaceList_Free(list);
}

TEST_F(FormQueryTest, FaceAndLumpRulesOfTheGather)
{
    bzMaterial *never = bz_CreateMaterial("never", 1);
    never->flags |= 0x4000;
    bzMaterial *classed = bz_CreateMaterial("classed", 1);
    classed->materialWord = 0x30;
    classed->flags |= 0x40;
    bzLump *plain = Place(Floor(0, material), Translation(0, 0, 0));
    bzLump *ignored = Place(Floor(0, never), Translation(0, 0, 0));
    bzLump *filtered = Place(Floor(0, classed), Translation(0, 0, 0));
    bzLump *mirrored = Place(Floor(0, material), Translation(0, 0, 0));
    mirrored->flags |= BZ_LUMP_MIRRORED;
    bzLump *flagged = Place(Floor(0, material), Translation(0, 0, 0));
    flagged->queryFlags = 0x4;
    // A query box whose bottom face the floor only touches.
    const bzBox touching = {{{-0.5f, -0.5f, 0.0f}}, {{{0.5f, 0.5f, 1.0f}}}};
    bzDynFaceList *list = bz_DynFaceList_CreateGrowing(nullptr, 4, 8);

    struct Case
    {
        const char *what;
        uint32_t lumpMask, lumpValue, materialMask, materialValue;
        std::set<const bzLump *> lumps;
    };
    const Case cases[] = {
        {"no filters", 0, 0, 0, 0, {plain, filtered, mirrored, flagged}},
        {"lump filter", 0x4, 0x4, 0, 0, {flagged}},
        {"material filter", 0, 0, 0xF0, 0x30, {filtered}},
    };
    for (const Case &c : cases)
    {
        ASSERT_EQ(bz_DynForm_IntersectLumpTree(&touching, nullptr, nullptr, root, list, c.lumpMask,
                                               c.lumpValue, c.materialMask, c.materialValue),
                  0);
        std::set<const bzLump *> lumps;
        for (const auto &hit : Gathered(list))
            lumps.insert(hit.first);
        EXPECT_EQ(lumps, c.lumps) << c.what;
        EXPECT_EQ(lumps.count(ignored), 0u) << c.what;
    }
    bz_DynForm_IntersectLumpTree(&touching, nullptr, nullptr, root, list, 0, 0, 0, 0);
    float plainSide = 0.0f;
    for (int32_t i = 0; i < list->count; i++)
        if (bz_DynFaceList_Entry(list, i)->lump == plain)
            plainSide = bz_DynFaceList_Entry(list, i)->plane.n.z;
    EXPECT_FLOAT_EQ(std::fabs(plainSide), 1.0f);
    for (int32_t i = 0; i < list->count; i++)
    {
        const bzDynFaceHit *hit = bz_DynFaceList_Entry(list, i);
        // The same floor under a mirrored lump has its plane turned round.
        EXPECT_FLOAT_EQ(hit->plane.n.z, hit->lump == mirrored ? -plainSide : plainSide);
        EXPECT_EQ(hit->flags & BZ_DYNFACE_TWO_SIDED,
                  hit->lump == filtered ? BZ_DYNFACE_TWO_SIDED : 0u);
    }
    // Lifted a hair above the box's top, the floor is not gathered.
    const bzBox below = {{{-0.5f, -0.5f, -1.0f}}, {{{0.5f, 0.5f, -0.001f}}}};
    bz_DynForm_IntersectLumpTree(&below, nullptr, nullptr, root, list, 0, 0, 0, 0);
    EXPECT_EQ(list->count, 0);

    // A face without a material takes the lump's override, unless the lump says not to.
    bzModel *bareModel = Floor(0, material);
    for (int32_t e = 0; e < bareModel->part->entryCount; e++)
    {
        bz_ReleaseMaterial(bareModel->part->entries[e].material);
        bareModel->part->entries[e].material = nullptr;
    }
    bzLump *bare = Place(bareModel, Translation(0, 0, 0));
    bz_Lump_SetMaterial(bare, classed);
    bz_DynForm_IntersectLumpTree(&touching, nullptr, nullptr, root, list, 0, 0, 0xF0, 0x30);
    std::set<const bzLump *> lumps;
    for (const auto &hit : Gathered(list))
        lumps.insert(hit.first);
    EXPECT_EQ(lumps, (std::set<const bzLump *>{filtered, bare}));
    bare->flags |= BZ_LUMP_UNCOUNTED;
    bz_DynForm_IntersectLumpTree(&touching, nullptr, nullptr, root, list, 0, 0, 0xF0, 0x10);
    lumps.clear();
    for (const auto &hit : Gathered(list))
        lumps.insert(hit.first);
    EXPECT_EQ(lumps, (std::set<const bzLump *>{bare})) << "no material passes every filter";
    bare->flags &= ~BZ_LUMP_UNCOUNTED;
    bz_Lump_SetMaterial(bare, nullptr);

    bz_DynFaceList_Free(list);
    bz_ReleaseMaterial(never);
    bz_ReleaseMaterial(classed);
}

TEST_F(FormQueryTest, BadInputGivesACodeOrNothing)
{
    Place(Floor(0, material), Translation(0, 0, 0));
    bzDynFaceList *list = bz_DynFaceList_CreateGrowing(nullptr, 4, 8);
    // Query boxes of the largest floats take the floor and overflow nothing.
    const float big = 3.4028235e38f;
    const bzBox everything = {{{-big, -big, -big}}, {{{big, big, big}}}};
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&everything, nullptr, nullptr, root, list, 0, 0, 0, 0),
              0);
    EXPECT_EQ(list->count, 2);
    // A degenerate triangle (all three corners on a line) inside the box is no face to keep.
    Place(Mesh({{{-0.5f, 0, 0.5f}}, {{0, 0, 0.5f}}, {{0.5f, 0, 0.5f}}}, material),
          Translation(0, 0, 0));
    const bzBox around = {{{-1, -1, -1}}, {{{1, 1, 1}}}};
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&around, nullptr, nullptr, root, list, 0, 0, 0, 0), 0);
    for (int32_t i = 0; i < list->count; i++)
    {
        const bzPlane &plane = bz_DynFaceList_Entry(list, i)->plane;
        EXPECT_NEAR(std::fabs(plane.n.z), 1.0f, 1e-6f) << i;
    }
    // A model lump without its model is not tested; the walk goes on to the rest.
    bzLump *empty = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "no model");
    bz_Lump_AppendChild(root, empty);
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&around, nullptr, nullptr, root, list, 0, 0, 0, 0), 0);
    EXPECT_EQ(list->count, 2);
    bz_DynFaceList_Free(list);
}

TEST_F(FormQueryTest, TheCacheGathersOnlyWhenTheBodyLeavesItsRegion)
{
    Place(Floor(0, material), Translation(0, 0, 0));
    bzDynFaceList *rolling = bz_DynFaceList_Create(64);
    bzDynCollisionCache *cache =
        bz_DynCollisionCache_CreateOnCache(nullptr, root, 8, 1, 0, 0, 0, 0, rolling);
    const float margins[6] = {-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f};
    bz_DynCollisionCache_SetMargins(cache, margins);
    const bzBox bounds = {{{-0.25f, -0.25f, -0.25f}}, {{{0.25f, 0.25f, 0.25f}}}};

    // Neither previous placement nor motion: the bounds plus the margins.
    bzM34 at = Translation(0, 0, 0);
    bz_DynForm_Contacts(cache, &at, &bounds, nullptr, nullptr, nullptr);
    EXPECT_TRUE(bz_DynCollisionCache_IsValid(cache));
    EXPECT_FLOAT_EQ(cache->gatherBox.min.x, -0.75f);
    EXPECT_FLOAT_EQ(cache->gatherBox.max.z, 0.75f);
    EXPECT_EQ(cache->gatherList->count, 2);
    EXPECT_EQ(cache->narrowList->count, 2);

    // A new floor lump appears; a body that stays strictly inside its region is not gathered
    // again, so the list does not see it.
    Place(Floor(0.125f, material), Translation(0, 0, 0));
    at = Translation(0.25f, 0, 0);
    bz_DynForm_Contacts(cache, &at, &bounds, nullptr, nullptr, nullptr);
    EXPECT_EQ(cache->gatherList->count, 2);
    // Touching the region's boundary (maximum x 0.75) gathers anew.
    at = Translation(0.5f, 0, 0);
    bz_DynForm_Contacts(cache, &at, &bounds, nullptr, nullptr, nullptr);
    EXPECT_EQ(cache->gatherList->count, 4);

    // A motion of (-1, 2, 0) lowers minimum x by 1 and raises maximum y by 2.
    bz_DynCollisionCache_Invalidate(cache);
    at = Translation(0, 0, 0);
    const bzV3 motion = {{{-1, 2, 0}}};
    bz_DynForm_Contacts(cache, &at, &bounds, nullptr, &motion, nullptr);
    EXPECT_FLOAT_EQ(cache->gatherBox.min.x, -1.75f);
    EXPECT_FLOAT_EQ(cache->gatherBox.max.x, 0.75f);
    EXPECT_FLOAT_EQ(cache->gatherBox.max.y, 2.75f);
    EXPECT_FLOAT_EQ(cache->gatherBox.min.z, -0.75f);
    EXPECT_FLOAT_EQ(cache->gatherBox.max.z, 0.75f);

    // The previous placement is covered too.
    bz_DynCollisionCache_Invalidate(cache);
    const bzM34 before = Translation(0, 0, 3);
    bz_DynForm_Contacts(cache, &at, &bounds, &before, nullptr, nullptr);
    EXPECT_FLOAT_EQ(cache->gatherBox.max.z, 3.75f);

    // Without a root: an empty gather, still valid.
    bz_DynCollisionCache_SetRoot(cache, nullptr);
    bz_DynForm_Contacts(cache, &at, &bounds, nullptr, nullptr, nullptr);
    EXPECT_TRUE(bz_DynCollisionCache_IsValid(cache));
    EXPECT_EQ(cache->gatherList->count, 0);

    bz_DynCollisionCache_Free(cache);
    bz_DynFaceList_Free(rolling);
}

TEST_F(FormQueryTest, AGatherThatOverflowsLeavesTheCacheInvalid)
{
    Place(Floor(0, material), Translation(0, 0, 0));
    bzDynCollisionCache *cache =
        bz_DynCollisionCache_CreateWithList(nullptr, root, 0, 0, 0, 0, 0, 0, 1, /*fixed*/ 1);
    const bzBox bounds = {{{-0.2f, -0.2f, -0.2f}}, {{{0.2f, 0.2f, 0.2f}}}};
    const bzM34 at = Translation(0, 0, 0);
    EXPECT_EQ(
        bz_DynForm_IntersectLumpTree(&bounds, &at, nullptr, root, cache->gatherList, 0, 0, 0, 0),
        BZ_ERROR_FACE_LIST_FULL);
    EXPECT_EQ(cache->gatherList->count, 1);
    EXPECT_EQ(bz_DynForm_Contacts(cache, &at, &bounds, nullptr, nullptr, nullptr), 0);
    EXPECT_FALSE(bz_DynCollisionCache_IsValid(cache));
    bz_DynCollisionCache_Free(cache);
}

struct PoolWorld
{
    std::vector<std::pair<bzLump *, bzLump *>> activated;
    std::vector<bzLump *> reported;
    int32_t collisionFlag = 0;
};
PoolWorld *gPool = nullptr;
const bzBox kSlotBox = {{{-1, -1, -1}}, {{{1, 1, 1}}}};

TEST_F(FormQueryTest, PooledObjectsAreWokenOrReported)
{
    PoolWorld world;
    gPool = &world;
    bzCollisionDynamicsServices services{};
    services.activate = [](bzLump *lump, bzLump *toucher) -> int32_t
    {
        gPool->activated.push_back({lump, toucher});
        return 1;
    };
    services.getSlotBox = [](const bzLump *) -> const bzBox * { return &kSlotBox; };
    services.hasCollisionFlag = [](void *) -> int32_t { return gPool->collisionFlag; };
    bz_Collision_SetDynamicsServices(&services);

    bzLump *pooled = Place(Floor(0, material), Translation(0, 0, 0));
    pooled->poolSlot = 3;
    pooled->queryFlags = 0x8;
    bzLump *far = Place(Floor(0, material), Translation(50, 0, 0));
    far->poolSlot = 4;
    bzLump *toucher = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "body");
    int32_t body = 0;
    toucher->dynamicsObject = &body;
    const bzBox box = {{{-0.5f, -0.5f, -0.5f}}, {{{0.5f, 0.5f, 0.5f}}}};
    bzDynFaceList *list = bz_DynFaceList_CreateGrowing(nullptr, 4, 8);

    // Activation: the touched pooled lump is woken and its faces are not gathered.
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&box, nullptr, toucher, root, list, 0, 0, 0, 0), 0);
    ASSERT_EQ(world.activated.size(), 1u);
    EXPECT_EQ(world.activated[0].first, pooled);
    EXPECT_EQ(world.activated[0].second, toucher);
    EXPECT_EQ(list->count, 0);

    // Report mode: without a callback the first touched lump passing the filter ends the walk.
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&box, nullptr, BZ_DYN_TOUCHER_REPORT, root, list, 0x8,
                                           0x8, 0, 0),
              BZ_ERROR_POOLED_OBJECT_FOUND);
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&box, nullptr, BZ_DYN_TOUCHER_REPORT, root, list, 0x8, 0,
                                           0, 0),
              0);
    bzgDynPoolCallback = [](bzLump *lump, void *) -> int32_t
    {
        gPool->reported.push_back(lump);
        return 0;
    };
    EXPECT_EQ(bz_DynForm_IntersectLumpTree(&box, nullptr, BZ_DYN_TOUCHER_REPORT, root, list, 0x8,
                                           0x8, 0, 0),
              0);
    EXPECT_EQ(world.reported, std::vector<bzLump *>{pooled});

    // A pooled lump that is already a body is left alone.
    int32_t object = 0;
    pooled->dynamicsObject = &object;
    world.activated.clear();
    bz_DynForm_IntersectLumpTree(&box, nullptr, toucher, root, list, 0, 0, 0, 0);
    EXPECT_TRUE(world.activated.empty());
    pooled->dynamicsObject = nullptr;

    // A toucher carrying the collision flag gathers nothing but still wakes.
    bzLump *ground = Place(Floor(0, material), Translation(0, 0, 0));
    world.collisionFlag = 1;
    bz_DynForm_IntersectLumpTree(&box, nullptr, toucher, root, list, 0, 0, 0, 0);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(world.activated.size(), 1u);
    world.collisionFlag = 0;
    bz_DynForm_IntersectLumpTree(&box, nullptr, toucher, root, list, 0, 0, 0, 0);
    EXPECT_EQ(Gathered(list).begin()->first, ground);

    toucher->dynamicsObject = nullptr;
    bz_Lump_Destroy(toucher);
    bz_DynFaceList_Free(list);
}

TEST_F(FormQueryTest, ClippingKeepsPointsOnThePlaneAndCutsEdges)
{
    bzV3 points[11] = {{{0, 0, 0}}, {{2, 0, 0}}, {{0, 2, 0}}};
    EXPECT_EQ(ClipPolygonToMin(points, 3, 0, 1.0f), 3);
    // (2,0) kept; the cuts at x = 1 on both edges that cross.
    EXPECT_FLOAT_EQ(points[0].x, 1.0f);
    EXPECT_FLOAT_EQ(points[0].y, 0.0f);
    EXPECT_FLOAT_EQ(points[1].x, 2.0f);
    EXPECT_FLOAT_EQ(points[2].x, 1.0f);
    EXPECT_FLOAT_EQ(points[2].y, 1.0f);

    bzV3 touching[11] = {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}};
    // Touching the plane x = 0 with an edge: the crossings fall on the corners already there.
    ASSERT_EQ(ClipPolygonToMax(touching, 3, 0, 0.0f), 4);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(touching[i].x, 0.0f);
    bzV3 box[11] = {{{-1, -1, 0}}, {{3, -1, 0}}, {{-1, 3, 0}}};
    int32_t n = 3;
    for (int axis = 0; axis < 2; axis++)
    {
        n = ClipPolygonToMin(box, n, axis, 0.0f);
        n = ClipPolygonToMax(box, n, axis, 1.0f);
    }
    EXPECT_GE(n, 3);
    EXPECT_LE(n, 9);
    for (int32_t i = 0; i < n; i++)
    {
        EXPECT_GE(box[i].x, 0.0f);
        EXPECT_LE(box[i].x, 1.0f);
        EXPECT_GE(box[i].y, 0.0f);
        EXPECT_LE(box[i].y, 1.0f);
    }
}

TEST_F(FormQueryTest, TheVertexQueryCollectsCornersInsideTheBox)
{
    bzLump *floor = Place(Floor(0, material), Translation(10, 0, 0));
    bzLump *other = Place(Floor(0, material), Translation(10, 0, 0));
    other->queryFlags = 1;
    bzDynVertexList *list = bz_DynVertexList_CreateGrowing(nullptr, 1, 4);
    // Around the corner (11, 1, 0) of the placed floor.
    const bzBox box = {{{10.5f, 0.5f, -0.5f}}, {{{11.5f, 1.5f, 0.5f}}}};
    EXPECT_EQ(bz_DynForm_CollectVertices(&box, nullptr, root, list, 1, 0), 1);
    ASSERT_GE(list->count, 1);
    for (int32_t i = 0; i < list->count; i++)
    {
        EXPECT_EQ(list->entries[i].lump, floor);
        EXPECT_FLOAT_EQ(list->entries[i].position.x, 11.0f);
        EXPECT_FLOAT_EQ(list->entries[i].position.y, 1.0f);
    }
    const bzBox empty = {{{20, 20, 20}}, {{{21, 21, 21}}}};
    EXPECT_EQ(bz_DynForm_CollectVertices(&empty, nullptr, root, list, 0, 0), 0);
    bz_DynVertexList_Free(list);
}
} // namespace
