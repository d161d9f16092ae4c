// Shapes from models: hand-worked spheres and capsules, the enclosing property of every fit,
// oriented and rounded boxes, masks, hulls thinned by percentage, faces or edges and to the pair
// tests' limits, wire frames, hulls of lump trees, the forms of one shape and the form kinds.
#include "collision/Form.h"
#include "collision/FormFit.h"
#include "collision/HullFromModel.h"
#include "collision/ShapeGeometry.h"

#include "CollisionModelsTest.h"
#include "maths/Matrix.h"
#include "models/ModelAccess.h"

#include <cmath>
#include <random>
#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

std::vector<bzV3> BoxCorners(bzV3 lo, bzV3 hi)
{
    std::vector<bzV3> out;
    for (int i = 0; i < 8; i++)
        out.push_back(V(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z));
    return out;
}

float DistanceToSegment(const bzV3 &p, const bzV3 &a, const bzV3 &b)
{
    double d[3], w[3], dd = 0, wd = 0;
    for (int k = 0; k < 3; k++)
    {
        d[k] = (double)b.v[k] - a.v[k];
        w[k] = (double)p.v[k] - a.v[k];
        dd += d[k] * d[k];
        wd += w[k] * d[k];
    }
    const double t = dd > 0 ? std::fmin(std::fmax(wd / dd, 0.0), 1.0) : 0.0;
    double s = 0;
    for (int k = 0; k < 3; k++)
        s += (w[k] - t * d[k]) * (w[k] - t * d[k]);
    return (float)std::sqrt(s);
}

class ModelShapes : public CollisionModelsTest
{
protected:
    void SetUp() override
    {
        CollisionModelsTest::SetUp();
        bz_Form_GetModelBuilders(&started_);
    }
    void TearDown() override
    {
        bz_Form_SetModelBuilders(&started_);
        CollisionModelsTest::TearDown();
    }
    bzFormModelBuilders started_{};
    // A model whose mesh part holds these vertices, its box the box of the vertices.
    bzModel *Model(const std::vector<bzV3> &points)
    {
        bzModel *m = bz_CreateModel(0, 0);
        EXPECT_NE(m, nullptr);
        if (!m)
            return nullptr;
        models.push_back(m);
        bzModelPart *part = MakePart(m, (int32_t)points.size());
        m->boxMin = m->boxMax = points[0];
        for (size_t i = 0; i < points.size(); i++)
        {
            part->positions[0][i] = points[i];
            for (int k = 0; k < 3; k++)
            {
                m->boxMin.v[k] = std::fmin(m->boxMin.v[k], points[i].v[k]);
                m->boxMax.v[k] = std::fmax(m->boxMax.v[k], points[i].v[k]);
            }
        }
        return m;
    }
};

// Prepared counts of a form's first shape.
struct Counts
{
    int32_t vertices, edges, faces;
};
Counts Prepared(bzForm *form)
{
    EXPECT_EQ(bz_Form_CalcBounds(form, 1), 0);
    const bzHull *h = bz_Shape_Hull(form->firstShape);
    return {h->vertexCount, h->edgeCount, h->faceCount};
}

std::vector<bzV3> SpherePoints(int n, float radius, unsigned start)
{
    std::mt19937 rng(start);
    std::normal_distribution<float> g(0.0f, 1.0f);
    std::vector<bzV3> out;
    for (int i = 0; i < n; i++)
    {
        bzV3 p = V(g(rng), g(rng), g(rng));
        bz_V3_Normalise(&p);
        bz_V3_Scale(&p, radius);
        out.push_back(p);
    }
    return out;
}

TEST_F(ModelShapes, SphereGrowsOverOutlyingPointsInOnePass)
{
    // Box [0,1]^3: start at the centre with radius 0.5. The corner (0,0,0) lies sqrt(3)/2 away:
    // the centre moves to 0.5 - 0.5 (0.5 - 0.5 / sqrt 3) = 0.3943376 on each axis and the
    // radius becomes (0.5 + 0.8660254) / 2 = 0.6830127. The corner (1,1,1) then lies
    // 1.0490381 away: the centre returns to 0.5 and the radius becomes sqrt(3)/2.
    bzModel *m = Model({V(0, 0, 0), V(1, 1, 1), V(0.5f, 0.5f, 0.5f)});
    bzShape *s = bz_Shape_FitSphere(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, BZ_SHAPE_SPHERE);
    const bzSphereShape *sphere = bz_Shape_AsSphere(s);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(sphere->centre.v[k], 0.5f, 1e-5f);
    EXPECT_NEAR(sphere->radius, 0.8660254f, 1e-5f);
    bz_Shape_Free(s);

    // Points the starting sphere already holds change nothing.
    bzModel *rod = Model({V(0, 0.25f, 0), V(2, 0.25f, 0), V(1, 0.5f, 0), V(1, 0, 0)});
    s = bz_Shape_FitSphere(nullptr, rod, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_AsSphere(s)->radius, 1.0f);
    EXPECT_EQ(bz_Shape_AsSphere(s)->centre.x, 1.0f);
    EXPECT_EQ(bz_Shape_AsSphere(s)->centre.y, 0.25f);
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, SphereOfACubeHoldsEveryCorner)
{
    bzModel *m = Model(BoxCorners(V(0, 0, 0), V(1, 1, 1)));
    bzShape *s = bz_Shape_FitSphere(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    const bzSphereShape *sphere = bz_Shape_AsSphere(s);
    EXPECT_GT(sphere->radius, 0.8660254f - 1e-5f);
    EXPECT_LT(sphere->radius, 1.0f);
    for (const bzV3 &p : BoxCorners(V(0, 0, 0), V(1, 1, 1)))
        EXPECT_LE(bz_V3_Distance(&p, &sphere->centre), sphere->radius + 1e-5f);
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, TicTacRunsAlongTheLongAxisAndStretchesItsEnds)
{
    // Box [0,10] x [-1,1] x [-1,1]: along x the cross-section radius stays 1, across it is 5.
    // The ends then stretch from the centre (5,0,0) until their unit spheres hold (0,0,0) and
    // (10,0,0): to x = 1 and x = 9.
    bzModel *m = Model({V(0, 0, 0), V(10, 0, 0), V(5, 1, 0), V(5, -1, 0), V(5, 0, 1), V(5, 0, -1)});
    bzShape *s = bz_Shape_FitTicTac(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, BZ_SHAPE_TIC_TAC);
    const bzTicTacShape *t = bz_Shape_AsTicTac(s);
    EXPECT_FLOAT_EQ(t->radius, 1.0f);
    EXPECT_FLOAT_EQ(t->segmentStart.x, 1.0f);
    EXPECT_FLOAT_EQ(t->segmentEnd.x, 9.0f);
    EXPECT_EQ(t->segmentStart.y, 0.0f);
    EXPECT_EQ(t->segmentEnd.z, 0.0f);
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, TicTacOfARodHoldsEveryVertex)
{
    // A rod of square section 0.2 along y, with points along its length.
    std::vector<bzV3> points;
    std::mt19937 rng(7u);
    std::uniform_real_distribution<float> along(-3.0f, 4.0f), across(-0.1f, 0.1f);
    for (int i = 0; i < 200; i++)
        points.push_back(V(2 + across(rng), along(rng), -1 + across(rng)));
    bzModel *m = Model(points);
    bzShape *s = bz_Shape_FitTicTac(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    const bzTicTacShape *t = bz_Shape_AsTicTac(s);
    EXPECT_GT(t->radius, 0.09f);
    EXPECT_LT(t->radius, 0.16f);
    EXPECT_NEAR(t->segmentStart.x, t->segmentEnd.x, 1e-6f);
    EXPECT_NEAR(t->segmentStart.z, t->segmentEnd.z, 1e-6f);
    EXPECT_GT(t->segmentEnd.y - t->segmentStart.y, 6.0f);
    for (const bzV3 &p : points)
        EXPECT_LE(DistanceToSegment(p, t->segmentStart, t->segmentEnd), t->radius + 1e-4f);
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, CuboidTurnsOnlyWhenTheFitIsSmaller)
{
    // The corners of the model's own box: the fit is not smaller, the box stays unturned.
    bzModel *aligned = Model(BoxCorners(V(-1, 0, 2), V(1, 3, 2.5f)));
    bzShape *s = bz_Shape_FitCuboid(nullptr, aligned, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, BZ_SHAPE_CUBOID);
    const bzCuboidShape *c = bz_Shape_AsCuboid(s);
    EXPECT_EQ(c->localMin.x, -1.0f);
    EXPECT_EQ(c->localMax.y, 3.0f);
    EXPECT_EQ(c->localMax.z, 2.5f);
    for (int r = 0; r < 4; r++)
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(c->placement.row[r].v[k], r == k ? 1.0f : 0.0f);
    bz_Shape_Free(s);

    // A box of 1 x 2 x 3 turned 30 degrees about z: the fit finds about its volume, and every
    // vertex taken into the cuboid's frame lies in its local box.
    std::vector<bzV3> turned = BoxCorners(V(0, 0, 0), V(1, 2, 3));
    bzM34 turn;
    bz_M34_RotationZ(&turn, 30.0f);
    for (bzV3 &p : turned)
        bz_M34_TransformPoint(&turn, &p);
    bzModel *m = Model(turned);
    s = bz_Shape_FitCuboid(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    c = bz_Shape_AsCuboid(s);
    float volume = 1;
    for (int k = 0; k < 3; k++)
        volume *= c->localMax.v[k] - c->localMin.v[k];
    EXPECT_NEAR(volume, 6.0f, 0.1f);
    bzM34 toLocal;
    bz_InverseM34Into(&c->placement, &toLocal);
    for (const bzV3 &p : turned)
    {
        bzV3 q = p;
        bz_M34_TransformPoint(&toLocal, &q);
        for (int k = 0; k < 3; k++)
        {
            EXPECT_GE(q.v[k], c->localMin.v[k] - 1e-4f);
            EXPECT_LE(q.v[k], c->localMax.v[k] + 1e-4f);
        }
    }
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, RoundedBoxOuterExtentIsTheSelectionBox)
{
    // Extents 2, 1 and 4 with factor 0.5: r = min(4 x 0.5 / 2, 1 / 2) = 0.5.
    bzModel *m = Model(BoxCorners(V(0, 0, 0), V(2, 1, 4)));
    bzForm *form = bz_Form_CreateRoundedBoxFromModel(nullptr, m, 0.5f);
    ASSERT_NE(form, nullptr);
    bzShape *s = form->firstShape;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    const bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(s);
    EXPECT_FLOAT_EQ(poly->roundingRadius, 0.5f);
    // Prepared at once. The box shrunk by 0.5 has no thickness left on y: a flat hull of its
    // four corners (x 0.5 or 1.5, z 0.5 or 3.5 at y 0.5) with six planes; the bounds, grown
    // by the rounding, are the model's box.
    EXPECT_EQ(poly->hull.vertexCount, 4);
    EXPECT_EQ(poly->hull.faceCount, 6);
    for (int32_t i = 0; i < poly->hull.vertexCount; i++)
    {
        const bzV3 &v = poly->hull.vertices[i];
        EXPECT_TRUE(v.x == 0.5f || v.x == 1.5f) << i;
        EXPECT_EQ(v.y, 0.5f) << i;
        EXPECT_TRUE(v.z == 0.5f || v.z == 3.5f) << i;
    }
    const bzBox *b = bz_Shape_Bounds(s);
    EXPECT_FLOAT_EQ(b->min.x, 0.0f);
    EXPECT_FLOAT_EQ(b->min.y, 0.0f);
    EXPECT_FLOAT_EQ(b->max.x, 2.0f);
    EXPECT_FLOAT_EQ(b->max.y, 1.0f);
    EXPECT_FLOAT_EQ(b->max.z, 4.0f);
    bz_Form_Free(form);

    // A small factor rounds less: r = 4 x 0.1 / 2 = 0.2, and the shrunk box stays solid. The game's
    // name for it gives the same.
    bzForm *thin = bz_Form_CreateFromModelFaces(m, 0.1f);
    ASSERT_NE(thin, nullptr);
    EXPECT_FLOAT_EQ(bz_Shape_AsPolyhedron(thin->firstShape)->roundingRadius, 0.2f);
    EXPECT_FLOAT_EQ(bz_Shape_Bounds(thin->firstShape)->max.z, 4.0f);
    EXPECT_EQ(bz_Shape_Hull(thin->firstShape)->vertexCount, 8);
    EXPECT_EQ(bz_Shape_Hull(thin->firstShape)->faceCount, 6);
    bz_Form_Free(thin);
}

TEST_F(ModelShapes, MasksChooseTheVertices)
{
    bzModel *m = Model({V(0, 0, 0), V(2, 0, 0), V(100, 100, 100), V(1, 0, 0)});
    const uint8_t firstTwo[4] = {1, 1, 0, 0};
    bzShape *s = bz_Shape_FitSphere(nullptr, m, firstTwo);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_AsSphere(s)->radius, 1.0f);
    EXPECT_EQ(bz_Shape_AsSphere(s)->centre.x, 1.0f);
    bz_Shape_Free(s);
    s = bz_Shape_FitRoundedBox(nullptr, m, 0.5f, firstTwo);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_AsPolyhedron(s)->roundingRadius, 0.0f); // a flat selection
    bz_Shape_Free(s);
    const uint8_t none[4] = {};
    EXPECT_EQ(bz_Shape_FitCuboid(nullptr, m, none), nullptr);
    // A model without a mesh part gives nothing.
    bzModel bare = {};
    EXPECT_EQ(bz_Shape_FitSphere(nullptr, &bare, nullptr), nullptr);
    EXPECT_EQ(bz_Shape_FitTicTac(nullptr, &bare, nullptr), nullptr);
    EXPECT_EQ(bz_Shape_FitCuboid(nullptr, &bare, nullptr), nullptr);
    EXPECT_EQ(bz_Shape_FitRoundedBox(nullptr, &bare, 0.5f, nullptr), nullptr);
    EXPECT_EQ(bz_Form_CreateSphereFromModel(nullptr, &bare), nullptr);
}

TEST_F(ModelShapes, FitsLeaveThePartsMarksClear)
{
    bzModel *m = Model(BoxCorners(V(0, 0, 0), V(1, 1, 1)));
    m->part->flags |= BZ_PART_CHANGED;
    bzShape *s = bz_Shape_FitTicTac(nullptr, m, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(m->part->flags & (BZ_PART_CHANGED | BZ_PART_ACCESSING), 0u);
    bz_Shape_Free(s);
}

TEST_F(ModelShapes, FormsOfOneShapeServeTheFormKinds)
{
    bzModel *m = Model(BoxCorners(V(0, 0, 0), V(1, 2, 4)));
    void *owner = bz_MemAlloc(16, BZ_MEM_CLEAR);
    ASSERT_NE(owner, nullptr);
    bzForm *box = bz_Form_CreateAlignedCuboidFromModel(owner, m);
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->firstShape, nullptr);
    EXPECT_EQ(box->firstShape->kind, BZ_SHAPE_ALIGNED_CUBOID);
    EXPECT_EQ(box->firstShape->next, nullptr);
    EXPECT_EQ(bz_Shape_Bounds(box->firstShape)->max.z, 4.0f);
    bzForm *cuboid = bz_Form_CreateCuboidFromModel(owner, m);
    ASSERT_NE(cuboid, nullptr);
    EXPECT_EQ(cuboid->firstShape->kind, BZ_SHAPE_CUBOID);
    bz_Form_CalcBounds(cuboid, 1);
    EXPECT_NEAR(bz_Form_Volume(cuboid), 8.0f, 1e-4f);

    bz_Form_InstallModelBuilders();
    struct Case
    {
        int32_t kind;
        bzShapeKind shape;
    } cases[] = {{0, BZ_SHAPE_ALIGNED_CUBOID}, {6, BZ_SHAPE_SPHERE}, {7, BZ_SHAPE_TIC_TAC}};
    for (const Case &c : cases)
    {
        bzForm *form = bz_Form_CreateOfKind(owner, m, c.kind);
        ASSERT_NE(form, nullptr) << c.kind;
        EXPECT_EQ(form->firstShape->kind, c.shape) << c.kind;
        EXPECT_EQ(bz_Form_CalcBounds(form, 1), 0);
        // Every fitted form encloses the model's box corners' volume at least.
        EXPECT_GE(bz_Form_Volume(form), 8.0f - 1e-3f) << c.kind;
    }
    // Kinds 1 to 5 are hulls at 1, 25, 50, 75 and 100 percent: of the 8 corners, 8 + (p - 100)
    // x 4 / 100 truncated: 5, 5, 6, 7 and 8 vertices.
    const int16_t vertices[5] = {5, 5, 6, 7, 8};
    for (int32_t kind = 1; kind <= 5; kind++)
    {
        bzForm *form = bz_Form_CreateOfKind(owner, m, kind);
        ASSERT_NE(form, nullptr) << kind;
        EXPECT_EQ(form->firstShape->kind, BZ_SHAPE_POLYHEDRON) << kind;
        EXPECT_EQ(bz_Shape_Hull(form->firstShape)->vertexCount, vertices[kind - 1]) << kind;
    }
    // The forms are children of the owner and go with it (the leak check knows).
    bz_MemFree(owner);
}
TEST_F(ModelShapes, HullsThinnedByPercentage)
{
    // The corners of a box with points inside and on its faces.
    std::vector<bzV3> points = BoxCorners(V(-1, -2, 0), V(1, 2, 3));
    points.push_back(V(0, 0, 1.5f));
    points.push_back(V(1, 0, 1));
    points.push_back(V(0.2f, -1, 2));
    bzModel *m = Model(points);
    struct Case
    {
        float percentage;
        int32_t vertices;
    } cases[] = {{100.0f, 8}, {50.0f, 6}, {75.0f, 7}, {1.0f, 5}};
    for (const Case &c : cases)
    {
        bzForm *form = bz_Form_CreatePolyhedraFromModel(nullptr, m, c.percentage);
        ASSERT_NE(form, nullptr) << c.percentage;
        EXPECT_EQ(form->firstShape->kind, BZ_SHAPE_POLYHEDRON);
        EXPECT_EQ(Prepared(form).vertices, c.vertices) << c.percentage;
        bz_Form_Free(form);
    }
    // The whole hull is the box: six faces, its bounds.
    bzForm *form = bz_Form_CreatePolyhedraFromModel(nullptr, m, 100.0f);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Prepared(form).faces, 6);
    EXPECT_EQ(form->bounds.min.y, -2.0f);
    EXPECT_EQ(form->bounds.max.z, 3.0f);
    EXPECT_NEAR(bz_Form_Volume(form), 24.0f, 1e-4f);
    bz_Form_Free(form);
    // Percentage 0: the model's box as an AlignedCuboid.
    bzShape *box = bz_Shape_CreateHullFromModel(nullptr, m, nullptr, 0.0f, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->kind, BZ_SHAPE_ALIGNED_CUBOID);
    EXPECT_EQ(bz_Shape_Bounds(box)->max.z, 3.0f);
    bz_Shape_Free(box);
    // A placement moves every point.
    bzM34 place;
    bz_M34_SetIdentity(&place);
    place.row[3] = V(10, 0, 0);
    bzShape *moved = bz_Shape_CreateHullFromModel(nullptr, m, &place, 100.0f, nullptr);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(bz_Shape_Prepare(moved), 0);
    EXPECT_EQ(bz_Shape_Bounds(moved)->min.x, 9.0f);
    bz_Shape_Free(moved);
}

TEST_F(ModelShapes, HullsOfMasksRawListsAndFlatModels)
{
    bzModel *m = Model({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1), V(5, 5, 5), V(9, 9, 9)});
    const uint8_t tetra[6] = {1, 1, 1, 1, 0, 0};
    bzShape *s = bz_Shape_CreateHullFromModel(nullptr, m, nullptr, 100.0f, tetra);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_Hull(s)->vertexCount, 4);
    EXPECT_EQ(bz_Shape_Hull(s)->faceCount, 4);
    bz_Shape_Free(s);
    const uint8_t three[6] = {1, 1, 1, 0, 0, 0};
    EXPECT_EQ(bz_Shape_CreateHullFromModel(nullptr, m, nullptr, 100.0f, three), nullptr);
    // A mask's box.
    bzShape *box = bz_Shape_CreateBoxFromModel(nullptr, m, tetra);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(bz_Shape_Bounds(box)->max.x, 1.0f);
    bz_Shape_Free(box);
    // Coplanar vertices make no hull here.
    bzModel *flat = Model({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 0), V(0.5f, 0.2f, 0)});
    EXPECT_EQ(bz_Shape_CreateHullFromModel(nullptr, flat, nullptr, 100.0f, nullptr), nullptr);
    EXPECT_EQ(bz_Form_CreatePolyhedraFromModel(nullptr, flat, 100.0f), nullptr);
    EXPECT_EQ(bz_Shape_CreateHullFromModel(nullptr, nullptr, nullptr, 100.0f, nullptr), nullptr);
    // Without a mesh part the raw vertex list serves (not for the edge-limited wire frame).
    bzModel *raw = bz_CreateModel(0, 8);
    ASSERT_NE(raw, nullptr);
    models.push_back(raw);
    const std::vector<bzV3> corners = BoxCorners(V(0, 0, 0), V(1, 1, 1));
    for (int i = 0; i < 8; i++)
    {
        raw->vertexData->vertices[i].x = corners[(size_t)i].x;
        raw->vertexData->vertices[i].y = corners[(size_t)i].y;
        raw->vertexData->vertices[i].z = corners[(size_t)i].z;
    }
    s = bz_Shape_CreateHullFromModel(nullptr, raw, nullptr, 100.0f, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_Hull(s)->vertexCount, 8);
    bz_Shape_Free(s);
    EXPECT_EQ(bz_Shape_CreateWireFrameWithMaxEdges(nullptr, raw, 12), nullptr);
}

TEST_F(ModelShapes, HullsThinnedToFacesEdgesAndThePairTestLimits)
{
    bzModel *ball = Model(SpherePoints(60, 2.0f, 5u));
    bzForm *faces = bz_Form_CreatePolyhedronWithMaxFaces(nullptr, ball, 20);
    ASSERT_NE(faces, nullptr);
    const Counts c = Prepared(faces);
    EXPECT_LE(c.faces, 20);
    EXPECT_GE(c.faces, 16); // one removal takes at most a few faces away
    bz_Form_Free(faces);

    bzForm *wire = bz_Form_CreateWireFrameWithMaxEdges(nullptr, ball, 30);
    ASSERT_NE(wire, nullptr);
    bzShape *w = wire->firstShape;
    EXPECT_EQ(w->kind, BZ_SHAPE_WIRE_FRAME);
    EXPECT_LE(bz_Shape_Hull(w)->edgeCount, 30);
    EXPECT_EQ(bz_Shape_Hull(w)->faceCount, 0);
    EXPECT_EQ(bz_Shape_Hull(w)->planes, nullptr);
    EXPECT_EQ(bz_Form_CalcBounds(wire, 1), 0); // a wire frame keeps its edges
    EXPECT_LE(bz_Shape_Hull(w)->edgeCount, 30);
    bz_Form_Free(wire);

    bzForm *whole = bz_Form_CreateWireFrameFromModel(nullptr, ball, 100.0f);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(bz_Shape_Hull(whole->firstShape)->vertexCount, 60);
    bz_Form_Free(whole);

    // 200 points on a sphere: every one a hull vertex, more than the pair tests take, so the
    // hull is thinned until its vertices, faces and edges (at most 256) fit.
    bzModel *dense = Model(SpherePoints(200, 3.0f, 9u));
    bzForm *form = bz_Form_CreatePolyhedraFromModel(nullptr, dense, 100.0f);
    ASSERT_NE(form, nullptr);
    const Counts d = Prepared(form);
    EXPECT_LE(d.vertices, 192);
    EXPECT_LE(d.faces, 380);
    EXPECT_LE(d.edges, 256);
    EXPECT_GT(d.vertices, 60);
    EXPECT_EQ(form->firstShape->kind, BZ_SHAPE_POLYHEDRON);
    bz_Form_Free(form);
}

TEST_F(ModelShapes, RoundedHullsAndHullsOfALumpTree)
{
    bzModel *cube = Model(BoxCorners(V(0, 0, 0), V(1, 1, 1)));
    bzForm *rounded = bz_Form_CreateRoundedPolyhedronFromModel(nullptr, cube, 0.25f);
    ASSERT_NE(rounded, nullptr);
    EXPECT_EQ(rounded->firstShape->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    EXPECT_EQ(bz_Shape_AsPolyhedron(rounded->firstShape)->roundingRadius, 0.25f);
    EXPECT_EQ(bzgShapes_hullKind, (uint32_t)BZ_SHAPE_POLYHEDRON);
    EXPECT_EQ(Prepared(rounded).vertices, 8);
    EXPECT_FLOAT_EQ(rounded->bounds.max.x, 1.25f);
    bz_Form_Free(rounded);

    // Two model lumps under a turned-free parent moved by (0, 5, 0): one at (3, 0, 0).
    EXPECT_EQ(bz_Form_CreatePolyhedraFromLumpTree(nullptr), nullptr);
    root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *group = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "group");
    group->matrix.row[3] = V(0, 5, 0);
    bz_Lump_AppendChild(root, group);
    bzLump *a = bz_Lump_CreateModel(cube);
    bzLump *b = bz_Lump_CreateModel(cube);
    b->matrix.row[3] = V(3, 0, 0);
    bz_Lump_AppendChild(group, a);
    bz_Lump_AppendChild(group, b);
    bzForm *form = bz_Form_CreatePolyhedraFromLumpTree(root);
    ASSERT_NE(form, nullptr);
    int shapes = 0;
    for (bzShape *s = form->firstShape; s; s = s->next)
    {
        EXPECT_EQ(s->kind, BZ_SHAPE_POLYHEDRON);
        EXPECT_EQ(bz_Shape_Hull(s)->faceCount, 6); // prepared
        shapes++;
    }
    EXPECT_EQ(shapes, 2);
    EXPECT_FLOAT_EQ(form->bounds.min.x, 0.0f);
    EXPECT_FLOAT_EQ(form->bounds.max.x, 4.0f);
    EXPECT_FLOAT_EQ(form->bounds.min.y, 5.0f);
    EXPECT_FLOAT_EQ(form->bounds.max.y, 6.0f);
    bz_Form_Free(form);
}
// A prepared Polyhedron of the points.
bzShape *PreparedPolyhedron(void *owner, const std::vector<bzV3> &points)
{
    bzShape *s = bz_Shape_Create(owner, BZ_SHAPE_POLYHEDRON, (uint32_t)points.size(), 0, 0);
    EXPECT_NE(s, nullptr);
    for (size_t i = 0; i < points.size(); i++)
        bz_Shape_Hull(s)->vertices[i] = points[i];
    EXPECT_EQ(bz_Shape_Prepare(s), 0);
    return s;
}

// A box of 2 x 1 x 1 whose top has a ridge 0.002 high along y at x = 1: two top faces whose
// normals differ by atan(0.002) = 0.1146 degrees.
std::vector<bzV3> Roof()
{
    std::vector<bzV3> points = BoxCorners(V(0, 0, 0), V(2, 1, 1));
    points.push_back(V(1, 0, 1.002f));
    points.push_back(V(1, 1, 1.002f));
    return points;
}

TEST(FlattenFaces, NearlyCoplanarFacesMergeOntoTheirMidPlane)
{
    bzShape *roof = PreparedPolyhedron(nullptr, Roof());
    ASSERT_EQ(bz_Shape_Hull(roof)->faceCount, 7);
    // 0.1 degrees is below the ridge's angle: nothing merges.
    EXPECT_EQ(bz_Shape_FlattenFaces(roof, 0.1f), 0);
    EXPECT_EQ(bz_Shape_Hull(roof)->faceCount, 7);
    // 0.5 degrees: the top becomes one face at the middle height 1.001, the sides stay.
    EXPECT_EQ(bz_Shape_FlattenFaces(roof, 0.5f), 1);
    const bzHull *h = bz_Shape_Hull(roof);
    EXPECT_EQ(h->faceCount, 6);
    const bzBox *b = bz_Shape_Bounds(roof);
    EXPECT_NEAR(b->max.z, 1.001f, 1e-5f);
    EXPECT_EQ(b->min.z, 0.0f);
    EXPECT_NEAR(b->min.x, 0.0f, 1e-5f);
    EXPECT_NEAR(b->max.x, 2.0f, 1e-5f);
    EXPECT_NEAR(b->max.y, 1.0f, 1e-5f);
    for (int32_t i = 0; i < h->vertexCount; i++)
        EXPECT_TRUE(h->vertices[i].z == 0.0f || std::fabs(h->vertices[i].z - 1.001f) < 1e-5f) << i;
    EXPECT_NEAR(bz_Shape_Volume(roof), 2.002f, 1e-4f);
    bz_Shape_Free(roof);
}

TEST(FlattenFaces, BoxesOtherKindsAndForms)
{
    // No two faces of a box lie within 0.1 degrees: unchanged.
    const std::vector<bzV3> corners = BoxCorners(V(0, 0, 0), V(1, 2, 3));
    bzShape *box = PreparedPolyhedron(nullptr, corners);
    EXPECT_EQ(bz_Shape_FlattenFaces(box, 0.1f), 0);
    EXPECT_EQ(bz_Form_Transform(box, 0.1f), 0);
    for (int32_t i = 0; i < bz_Shape_Hull(box)->vertexCount; i++)
    {
        bool corner = false;
        for (const bzV3 &c : corners)
            corner = corner || (c.x == bz_Shape_Hull(box)->vertices[i].x &&
                                c.y == bz_Shape_Hull(box)->vertices[i].y &&
                                c.z == bz_Shape_Hull(box)->vertices[i].z);
        EXPECT_TRUE(corner) << i;
    }
    bz_Shape_Free(box);
    EXPECT_EQ(bz_Shape_FlattenFaces(nullptr, 1.0f), 0);

    // A form of a sphere and the roof: the sphere is left alone, the roof flattened, the
    // form's bounds follow.
    bzForm *form = bz_Form_Alloc(nullptr, BZ_SHAPE_NULL);
    bzShape *ball = bz_Shape_Create(form, BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(ball)->radius = 0.5f;
    FormAppendShape(form, ball);
    FormAppendShape(form, PreparedPolyhedron(form, Roof()));
    ASSERT_EQ(bz_Form_CalcBounds(form, 1), 0);
    EXPECT_NEAR(form->bounds.max.z, 1.002f, 1e-6f);
    EXPECT_EQ(bz_Shape_FlattenFaces(ball, 10.0f), 0);
    EXPECT_EQ(bz_Shape_AsSphere(ball)->radius, 0.5f);
    EXPECT_EQ(bz_Form_FlattenFaces(form, 0.5f), 1);
    EXPECT_NEAR(form->bounds.max.z, 1.001f, 1e-5f);
    EXPECT_EQ(bz_Form_FlattenFaces(form, 0.5f), 0);
    bz_Form_Free(form);
}
} // namespace
