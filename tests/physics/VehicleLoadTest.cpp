// The "[DYNAMICS]" section of a vehicle file read through the engine's text reader: keys in
// any letter case, the last of a key winning, defaults without the section, the shape checksum,
// limits of ride height and mass, and the handling file's console lines before the vehicle's.
#include "TextTestSupport.h"
#include "VehicleTestSupport.h"
#include "collision/Shape.h"
#include "models/Model.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace cartest;

namespace
{
struct Reader
{
    bzTextReader *reader;
    std::string name;
    Reader(const std::string &text, const char *file)
        : reader(ReaderOver(text, false, file)), name(file)
    {
    }
    ~Reader()
    {
        bz_Text_Close(reader);
        std::remove(name.c_str());
    }
    std::string Text() const { return std::string((const char *)reader->text, reader->size); }
};

TEST(VehicleLoad, KeysInAnyCaseAndTheLastWins)
{
    Reader file(
        "[OTHER]\n<Mass>\n99\n[DYNAMICS]\n<mass>\n2000\n<MASS>\n1500\n<RideHeight>\n0.25\n"
        "<GraphicalWheelLimits>\n0.1, 0.2, 0.3, 0.4\n<Unknown>\n7\n<Console>\n"
        "TorqueSplit 50\nfrontgrip 1.5\nLimitRevs on\nBogus 3\nNumGears\n[NEXT]\n<Mass>\n7\n",
        "VL1.TXT");
    TestVehicle t(10.0f, file.reader);
    ASSERT_NE(t.car, nullptr);
    EXPECT_FLOAT_EQ(t.body.mass, 1500.0f);
    EXPECT_FLOAT_EQ(t.car->rideHeight, 0.25f);
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_FLOAT_EQ(t.car->wheelPos[i].y, 0.25f);
        EXPECT_NEAR(t.car->suspGive[i], 0.25f / 1.7f, 1e-6f);
        EXPECT_NEAR(t.car->suspLength[i], 0.25f + 0.25f / 1.7f, 1e-6f);
    }
    EXPECT_FLOAT_EQ(t.car->wheelPos[0].x, -1.0f);
    EXPECT_FLOAT_EQ(t.car->wheelPos[0].z, 2.0f);
    EXPECT_FLOAT_EQ(t.car->wheelPos[3].x, 1.0f);
    EXPECT_FLOAT_EQ(t.car->wheelPos[3].z, -2.0f);
    const float limits[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int32_t i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(t.car->graphicalWheelLimits[i], limits[i]);
    const bzHandlingValue *h = t.car->handling->values;
    EXPECT_FLOAT_EQ(h[BZ_H_TorqueSplit].f, 50.0f);
    EXPECT_FLOAT_EQ(h[BZ_H_FrontGrip].f, 1.5f);
    EXPECT_FLOAT_EQ(h[BZ_H_NumGears].f, 5.0f);
    EXPECT_TRUE(bz_DynVehicle_SwitchIs(&h[BZ_H_LimitRevs], "on "));
    EXPECT_EQ(t.car->driven, 1u);
    EXPECT_TRUE(t.body.physicsFlags & BZ_PHYS_VEHICLE);
    EXPECT_TRUE(t.body.physicsFlags & BZ_PHYS_NO_BODY_CONTACT);
    EXPECT_EQ(bz_DynVehicle_First(), t.car);
    EXPECT_EQ(bz_DynVehicle_Find(&t.lump), t.car);
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_FLOAT_EQ(t.car->grip[0], 1.5f);
    EXPECT_FLOAT_EQ(t.car->torqueShare[2], 0.25f);
    EXPECT_EQ(t.car->drive->limitRevs, 1u);
}

// Torque and GearRatios have no handling value of their own: their console lines write the
// drive state's torque curve (0, 1000, ... 9000 rpm) and its ratios from reverse up, neutral
// staying 0. The peak power follows at the next application: over k = 1 to 6 (red line 6500)
// the largest k x 104.71976 x curve[k] is 4 x 104.71976 x 400 = 167551.62.
TEST(VehicleLoad, TorqueAndGearRatioLinesWriteTheDriveState)
{
    Reader file("[DYNAMICS]\n<Console>\nTorque 0 100 200 300 400 300 200 100 50 0 77 88\n"
                "GearRatios -0.1, 0.1, 0.2, 0.3 x 0.9\nNumGears 3\n",
                "VL9.TXT");
    TestVehicle t(10.0f, file.reader);
    ASSERT_NE(t.car, nullptr);
    const bzDynVehicleDrive *d = t.car->drive;
    const float curve[10] = {0, 100, 200, 300, 400, 300, 200, 100, 50, 0};
    for (int32_t k = 0; k < 10; k++)
        EXPECT_FLOAT_EQ(d->torqueCurve[k], curve[k]) << k;
    // Reverse, neutral, then first to third; "x" ends the line, so fourth keeps its default.
    EXPECT_FLOAT_EQ(d->ratioTable[0], -0.1f);
    EXPECT_FLOAT_EQ(d->ratioTable[1], 0.0f);
    EXPECT_FLOAT_EQ(d->ratioTable[2], 0.1f);
    EXPECT_FLOAT_EQ(d->ratioTable[3], 0.2f);
    EXPECT_FLOAT_EQ(d->ratioTable[4], 0.3f);
    EXPECT_NEAR(d->ratioTable[5], 0.070877f / 0.3f, 1e-6f);
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_EQ(d->gearRatios[-1], -0.1f);
    EXPECT_EQ(d->gearRatios[1], 0.1f);
    EXPECT_NEAR(d->peakPower, 167551.62f, 0.5f);
    // The engine pulls with the new curve: at 4000 rpm with full throttle and multiplier 1.
    EXPECT_NEAR(bz_DynVehicle_CurveTorque(t.car, 4000.0f), 400.0f, 1e-3f);
}

// At load the bank steering strength holds the integer 1 and the push-out gain is 1.0; the
// first application of the handling clears the bank steering.
TEST(VehicleLoad, LoadTimeCarFactors)
{
    TestVehicle t;
    ASSERT_NE(t.car, nullptr);
    uint32_t bits;
    std::memcpy(&bits, &t.car->bankSteer, sizeof bits);
    EXPECT_EQ(bits, 1u);
    EXPECT_EQ(t.car->pushOutGain, 1.0f);
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_EQ(t.car->bankSteer, 0.0f);
}

TEST(VehicleLoad, WithoutTheSectionTheDefaultsStandAndTheSectionIsAdded)
{
    Reader file("[OTHER]\n<Mass>\n99\n", "VL2.TXT");
    TestVehicle t(10.0f, file.reader);
    ASSERT_NE(t.car, nullptr);
    EXPECT_FLOAT_EQ(t.body.mass, 1250.0f);
    EXPECT_FLOAT_EQ(t.car->rideHeight, 0.2f);
    EXPECT_FLOAT_EQ(t.car->wheelRadius, 0.3f);
    EXPECT_NEAR(t.car->wheelInertia, 0.45f, 1e-6f);
    EXPECT_EQ(t.car->graphicalWheelLimits[2], FLT_MAX);
    EXPECT_EQ(t.car->steered[0], 1);
    EXPECT_EQ(t.car->steered[2], 0);
    EXPECT_EQ(t.car->axle[1], 0);
    EXPECT_EQ(t.car->axle[3], 1);
    EXPECT_EQ(t.car->handling->changed, 1u);
    EXPECT_EQ(t.car->drive->gear, 1);
    EXPECT_FLOAT_EQ(t.car->drive->rpm, 1000.0f);
    // A box from the wheel layout, its bottom at the ride height.
    ASSERT_NE(t.body.form, nullptr);
    EXPECT_FLOAT_EQ(t.body.form->bounds.min.y, 0.2f);
    EXPECT_FLOAT_EQ(t.body.form->bounds.min.x, -1.0f);
    EXPECT_FLOAT_EQ(t.body.form->bounds.max.z, 2.0f);
    EXPECT_NE(file.Text().find("[DYNAMICS]"), std::string::npos);
    // Moments and centre from the box: 2 x 1.2 x 4 m.
    const float m = 1250.0f * 0.083333336f;
    EXPECT_NEAR(t.body.principalMoments.x, m * (1.44f + 16.0f), 1e-1f);
    EXPECT_NEAR(t.body.principalMoments.z, m * (4.0f + 1.44f), 1e-1f);
    EXPECT_NEAR(t.body.centreOfMass.y, 0.2f + 0.3f, 1e-5f);
}

TEST(VehicleLoad, RideHeightAndMassLimits)
{
    struct Case
    {
        const char *text;
        float rideHeight, mass;
    } cases[] = {
        {"[DYNAMICS]\n<RideHeight>\n50\n<Mass>\n1e30\n", 1.0f, 1e7f},
        {"[DYNAMICS]\n<RideHeight>\n-3\n<Mass>\n-5\n", 0.02f, 1.0f},
        {"[DYNAMICS]\n<RideHeight>\nnan\n<Mass>\nabc\n", 0.2f, 1250.0f},
        {"[DYNAMICS]\n<RideHeight>\n<Mass>\n", 0.2f, 1250.0f},
    };
    for (const Case &k : cases)
    {
        Reader file(k.text, "VL3.TXT");
        TestVehicle t(10.0f, file.reader);
        ASSERT_NE(t.car, nullptr) << k.text;
        EXPECT_FLOAT_EQ(t.car->rideHeight, k.rideHeight) << k.text;
        EXPECT_FLOAT_EQ(t.body.mass, k.mass) << k.text;
        // The probe's reach covers the whole suspension and its contact reach.
        EXPECT_LT(t.car->suspLength[0] + 0.2f, 2.0f) << k.text;
        for (int32_t s = 0; s < 5; s++)
            t.Step();
        for (int32_t i = 0; i < 4; i++)
            EXPECT_TRUE(std::isfinite(t.car->wheelLoad[i])) << k.text;
    }
}

TEST(VehicleLoad, HeavyVehiclesGetHeavierWheels)
{
    struct Case
    {
        const char *text;
        float inertia;
    } cases[] = {{"[DYNAMICS]\n<Mass>\n5999\n", 0.45f},
                 {"[DYNAMICS]\n<Mass>\n6000\n", 0.9f},
                 {"[DYNAMICS]\n<Mass>\n30000\n", 3.6f}};
    for (const Case &k : cases)
    {
        Reader file(k.text, "VL4.TXT");
        TestVehicle t(10.0f, file.reader);
        EXPECT_NEAR(t.car->wheelInertia, k.inertia, 1e-5f) << k.text;
    }
}

TEST(VehicleLoad, HandlingFileConsoleRunsBeforeTheVehicleFile)
{
    Reader handling("[DYNAMICS]\n<Console>\nTorqueSplit 30\nFrontGrip 2.0\n", "VL5H.TXT");
    Reader file("[DYNAMICS]\n<Console>\nTorqueSplit 70\n", "VL5.TXT");
    TestVehicle t(10.0f, file.reader, handling.reader);
    const bzHandlingValue *h = t.car->handling->values;
    EXPECT_FLOAT_EQ(h[BZ_H_TorqueSplit].f, 70.0f);
    EXPECT_FLOAT_EQ(h[BZ_H_FrontGrip].f, 2.0f);
}

// The shape services of the test: one loaded form and a model checksum.
bzForm *gLoaded = nullptr;
int32_t gModels = 0;
bzForm *ReadShape(bzLump *, bzTextReader *reader)
{
    bz_Script_ReadValueLine(reader); // the reference's line
    return gLoaded;
}
int32_t ModelCheckSum(bzLump *)
{
    return gModels;
}

TEST(VehicleLoad, ShapeCheckSumKeepsOrRegeneratesTheShape)
{
    struct Case
    {
        const char *text;
        bool kept;
    } cases[] = {
        {"[DYNAMICS]\n<Shape>\nbody\n<ShapeCheckSum>\n1234, 5\n", true},
        {"[DYNAMICS]\n<Shape>\nbody\n<ShapeCheckSum>\n99\n", false},
        {"[DYNAMICS]\n<Shape>\nbody\n<OverrideShapeCheckSum>\n", true},
        {"[DYNAMICS]\n<Shape>\nbody\n<ShapeCheckSum>\n<Mass>\n1300\n", false},
        {"[DYNAMICS]\n<Shape>\nbody\n", false},
    };
    for (const Case &k : cases)
    {
        const bzBox box = {V3(-0.5f, 0.3f, -1.0f), V3(0.5f, 1.0f, 1.0f)};
        gLoaded = bz_DynVehicle_BoxShape(&box);
        ASSERT_NE(gLoaded, nullptr);
        gLoaded->workSize = 0; // no marker: the checksum decides
        gLoaded->substance = 0;
        gModels = 1234;
        Reader file(k.text, "VL6.TXT");
        bool kept;
        {
            bz_Phys_ResetServices();
            TestVehicle t(10.0f, nullptr);
            bz_DynVehicle_Destroy(t.car);
            bz_Form_Free(t.body.form);
            t.body.form = nullptr;
            bzgVehicleServices.readShape = ReadShape;
            bzgVehicleServices.modelCheckSum = ModelCheckSum;
            t.car = bz_DynVehicle_Load(&t.lump, file.reader, nullptr);
            ASSERT_NE(t.car, nullptr);
            kept = t.body.form == gLoaded;
            if (!kept)
                bz_Form_Free(gLoaded);
            bz_DynVehicle_ResetServices();
        }
        EXPECT_EQ(kept, k.kept) << k.text;
    }
}

TEST(VehicleList, FindDestroyAndAMissingCar)
{
    TestVehicle a;
    bzLump other{};
    EXPECT_EQ(bz_DynVehicle_Find(&other), nullptr);
    a.car->handling->changed = 0;
    bz_DynVehicle_InvalidateAll();
    EXPECT_EQ(a.car->handling->changed, 1u);
    const int32_t keep = bzgNoFatalExit;
    bzgNoFatalExit = 1;
    const uint32_t reports = bz_Error_ReportCount();
    bzDynVehicle stray{};
    bz_DynVehicle_Destroy(&stray);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Dynamics Vehicle Missing Car");
    bzgNoFatalExit = keep;
    EXPECT_EQ(bz_DynVehicle_First(), a.car);
}
} // namespace

namespace
{
uint32_t Bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

TEST(VehicleLoad, ModelsGiveTheChecksumAndTheGeneratedBox)
{
    TestVehicle t;
    bz_DynVehicle_Destroy(t.car);
    bz_Form_Free(t.body.form);
    t.body.form = nullptr;
    bzModel bodyModel{}, lampModel{};
    bodyModel.boxMin = V3(-0.9f, 0.1f, -2.2f);
    bodyModel.boxMax = V3(0.9f, 1.4f, 2.1f);
    lampModel.boxMin = V3(-3.0f, 0.0f, -3.0f);
    lampModel.boxMax = V3(3.0f, 3.0f, 3.0f);
    bzLump body{}, lamp{};
    for (bzLump *l : {&body, &lamp})
    {
        for (int32_t k = 0; k < 4; k++)
            l->matrix.row[k] = V3(k == 0, k == 1, k == 2);
        l->type = BZ_LUMP_TYPE_MODEL;
        l->parent = &t.lump;
    }
    body.object = &bodyModel;
    lamp.object = &lampModel;
    std::strcpy(body.name, "body");
    std::strcpy(lamp.name, "LITlamp");
    t.lump.firstChild = &body;
    body.next = &lamp;
    EXPECT_EQ(bz_DynVehicle_IsBodyLump(&body), 1);
    EXPECT_EQ(bz_DynVehicle_IsBodyLump(&lamp), 0);
    std::strcpy(lamp.name, "spoilerRear");
    EXPECT_EQ(bz_DynVehicle_IsBodyLump(&lamp), 0);
    std::strcpy(lamp.name, "Spoiler");
    EXPECT_EQ(bz_DynVehicle_IsBodyLump(&lamp), 1); // compared with case
    std::strcpy(lamp.name, "LITlamp");
    uint32_t want = 0;
    for (const bzModel *m : {&bodyModel, &lampModel})
        for (float f :
             {m->boxMin.x, m->boxMin.y, m->boxMin.z, m->boxMax.x, m->boxMax.y, m->boxMax.z})
            want += Bits(f);
    EXPECT_EQ(static_cast<uint32_t>(bz_DynVehicle_ShapeCheckSum(&t.lump)), want);

    t.car = bz_DynVehicle_Load(&t.lump, nullptr, nullptr);
    ASSERT_NE(t.car, nullptr);
    ASSERT_NE(t.body.form, nullptr);
    // The body's box without the lamp: bottom raised to the ride height, sides pulled in by
    // 0.75 x 0.2.
    const bzBox &box = t.body.form->bounds;
    EXPECT_NEAR(box.min.x, -0.75f, 1e-5f);
    EXPECT_NEAR(box.max.x, 0.75f, 1e-5f);
    EXPECT_NEAR(box.min.y, 0.2f, 1e-5f);
    EXPECT_NEAR(box.max.y, 1.4f, 1e-5f);
    EXPECT_NEAR(box.min.z, -2.2f, 1e-5f);
    EXPECT_NEAR(box.max.z, 2.1f, 1e-5f);
    t.lump.firstChild = nullptr;
}
} // namespace

namespace
{
bool HasVertex(const bzHull *hull, bzV3 want)
{
    for (int32_t k = 0; k < hull->vertexCount; k++)
    {
        const bzV3 &v = hull->vertices[k];
        if (std::fabs(v.x - want.x) < 1e-5f && std::fabs(v.y - want.y) < 1e-5f &&
            std::fabs(v.z - want.z) < 1e-5f)
            return true;
    }
    return false;
}

// The generated shape follows the side profile of the models' vertices. Body box (-1, 0.1,
// -2.5) to (1, 1.5, 2.5), ride height 0.2: bottom 0.2, top 1.5, cut 0.2 + 0.9 x 1.3 = 1.37,
// the middle part z in [-2.25, 2.25]. The lower body (x +-1, y 0.1 and 0.8, z +-2.5) and a
// rear post at (0, 1.0, -2.4) lie below the cut: the footprint is x [-1, 1], z [-2.5, 2.5],
// pulled in to x +-0.85; the front end stands 0.8 high, the rear 1.0. A roof at 1.5 from z -1
// to 0.5 is the cabin. Each side of the car gets the hexagon (z, y) = (-2.5, 0.2), (2.5, 0.2),
// (2.5, 0.8), (0.5, 1.5), (-1, 1.5), (-2.5, 1.0): 12 vertices and 8 faces.
// With the roof at 1.3 (below the cut) and an aerial at (0, 1.5, 2.4) setting the top, no
// vertex stands above the cut in the middle: the cut comes down to 0.2 + 0.9 x 1.17 = 1.253 and
// the second walk finds the roof, so the roof line still ends at z = -1 (not at the rear, as a
// missing cabin would give).
TEST(VehicleLoad, TheGeneratedShapeIsTheModelsSideProfile)
{
    for (bool lowRoof : {false, true})
    {
        SCOPED_TRACE(lowRoof ? "low roof" : "roof above the cut");
        TestVehicle t;
        bz_DynVehicle_Destroy(t.car);
        t.car = nullptr;
        bz_Form_Free(t.body.form);
        t.body.form = nullptr;
        std::vector<bzV3> points;
        for (float x : {-1.0f, 1.0f})
            for (float y : {0.1f, 0.8f})
                for (float z : {-2.5f, 2.5f})
                    points.push_back(V3(x, y, z));
        points.push_back(V3(0.0f, 1.0f, -2.4f));
        const float roof = lowRoof ? 1.3f : 1.5f;
        for (float x : {-0.8f, 0.8f})
            for (float z : {-1.0f, 0.5f})
                points.push_back(V3(x, roof, z));
        if (lowRoof)
            points.push_back(V3(0.0f, 1.5f, 2.4f));
        bzModelPart part{};
        part.vertexCount = static_cast<int32_t>(points.size());
        part.positions[0] = points.data();
        bzModel model{};
        model.part = &part;
        model.boxMin = V3(-1.0f, 0.1f, -2.5f);
        model.boxMax = V3(1.0f, 1.5f, 2.5f);
        bzLump body{};
        for (int32_t k = 0; k < 4; k++)
            body.matrix.row[k] = V3(k == 0, k == 1, k == 2);
        body.type = BZ_LUMP_TYPE_MODEL;
        body.parent = &t.lump;
        body.object = &model;
        std::strcpy(body.name, "body");
        t.lump.firstChild = &body;
        t.car = bz_DynVehicle_Load(&t.lump, nullptr, nullptr);
        t.lump.firstChild = nullptr;
        ASSERT_NE(t.car, nullptr);
        ASSERT_NE(t.body.form, nullptr);
        const bzShape *shape = t.body.form->firstShape;
        ASSERT_EQ(shape->kind, BZ_SHAPE_POLYHEDRON);
        const bzHull *hull = bz_Shape_Hull(shape);
        const float front = lowRoof ? 1.5f : 0.8f;
        const float profile[6][2] = {{-2.5f, 0.2f}, {2.5f, 0.2f},  {2.5f, front},
                                     {0.5f, 1.5f},  {-1.0f, 1.5f}, {-2.5f, 1.0f}};
        for (float x : {-0.85f, 0.85f})
            for (const auto &p : profile)
            {
                // With the front at the top, (0.5, 1.5) lies on the roof line and is no corner.
                if (lowRoof && p[0] == 0.5f)
                    continue;
                EXPECT_TRUE(HasVertex(hull, V3(x, p[1], p[0]))) << x << " " << p[0] << " " << p[1];
            }
        if (!lowRoof)
        {
            EXPECT_EQ(hull->vertexCount, 12);
            EXPECT_EQ(hull->faceCount, 8);
        }
        EXPECT_FALSE(HasVertex(hull, V3(-0.85f, 1.5f, -2.5f)));
        const bzBox &box = t.body.form->bounds;
        EXPECT_NEAR(box.min.x, -0.85f, 1e-5f);
        EXPECT_NEAR(box.max.y, 1.5f, 1e-5f);
        EXPECT_NEAR(box.min.y, 0.2f, 1e-5f);
        EXPECT_NEAR(box.max.z, 2.5f, 1e-5f);
    }
}

// A generated shape's text: the old "<Shape>" and "<ShapeCheckSum>" keys of the section go
// with their value lines (in any letter case; other sections keep theirs), and the new keys
// are put at the section's end.
TEST(VehicleShapeText, ComposedIntoTheSection)
{
    struct Case
    {
        const char *what, *before, *after;
        int32_t done;
    };
    const Case cases[] = {
        {"old keys replaced",
         "[OTHER]\n<Shape>\nkeep\n[DYNAMICS]\n<Mass>\n900\n<shape>\nold\nmore\n"
         "<SHAPECHECKSUM>\n123\n<RideHeight>\n0.3\n[NEXT]\n<X>\n1\n",
         "[OTHER]\n<Shape>\nkeep\n[DYNAMICS]\n<Mass>\n900\n<RideHeight>\n0.3\n<Shape>\nS1\nS2"
         "\n<ShapeCheckSum>\n-5\n\n[NEXT]\n<X>\n1\n",
         1},
        {"last section without a final line feed", "[DYNAMICS]\n<Mass>\n900",
         "[DYNAMICS]\n<Mass>\n900\n<Shape>\nS1\nS2\n<ShapeCheckSum>\n-5\n\n", 1},
        {"<ShapeCheckSumX> is another key", "[DYNAMICS]\n<ShapeCheckSumX>\n1\n",
         "[DYNAMICS]\n<ShapeCheckSumX>\n1\n<Shape>\nS1\nS2\n<ShapeCheckSum>\n-5\n\n", 1},
        {"no section", "[OTHER]\n<Mass>\n900\n", "[OTHER]\n<Mass>\n900\n", 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Reader r(c.before, "VST.TXT");
        EXPECT_EQ(bz_DynVehicle_ComposeShapeText(r.reader, "S1\nS2", 5, -5), c.done);
        EXPECT_EQ(r.Text(), c.after);
    }
    // The whole may not pass 10,000 characters: "<Shape>\n" (8), the text, "\n<ShapeCheckSum>
    // \n-5\n\n" (21) and room for a line feed in front.
    const std::string fits(10000 - 8 - 21 - 1, 'x');
    Reader r("[DYNAMICS]\n", "VST.TXT");
    EXPECT_EQ(bz_DynVehicle_ComposeShapeText(r.reader, fits.c_str(), (int32_t)fits.size() + 1, -5),
              0);
    EXPECT_EQ(r.Text(), "[DYNAMICS]\n");
    EXPECT_EQ(bz_DynVehicle_ComposeShapeText(r.reader, fits.c_str(), (int32_t)fits.size(), -5), 1);
    EXPECT_EQ(r.Text().size(), 11u + 8u + fits.size() + 21u);
}

int32_t gShapeTextCalls = 0;
const bzForm *gShapeTextForm = nullptr;
int32_t WriteShapeText(const bzForm *form, char *out, int32_t size)
{
    gShapeTextCalls++;
    gShapeTextForm = form;
    const char text[] = "generated";
    if (size < 9)
        return -1;
    std::memcpy(out, text, 9);
    return 9;
}

// With a shape writer, a generated shape's text is composed into a fresh copy of the vehicle
// file, which is released: the reader the vehicle was loaded from is left as it was.
TEST(VehicleShapeText, TheLoaderComposesIntoACopyOnly)
{
    Reader file("[DYNAMICS]\n<Mass>\n900\n", "VST2.TXT");
    gShapeTextCalls = 0;
    bzgVehicleServices.shapeText = WriteShapeText;
    TestVehicle t(10.0f, file.reader);
    bzgVehicleServices.shapeText = nullptr;
    ASSERT_NE(t.car, nullptr);
    EXPECT_EQ(gShapeTextCalls, 1);
    EXPECT_EQ(gShapeTextForm, t.body.form);
    EXPECT_EQ(file.Text().find("<Shape>"), std::string::npos);
}

int32_t gAttachResult = 0;
uint32_t gAttachMask = 0;
BZDObject *gAttached = nullptr, *gLinked = nullptr;
int32_t gLinks = 0;
int32_t Attach(BZDObject *body, uint32_t mask)
{
    gAttached = body;
    gAttachMask = mask;
    return gAttachResult;
}
void Link(BZDObject *body)
{
    gLinked = body;
    gLinks++;
}

// The new body is attached to the world joint with the mask 0x55807 and bound to the default
// volume; a failed attachment is the result of the creation, and the load then fails.
TEST(VehicleLoad, TheBodyIsAttachedAndBoundToTheDefaultVolume)
{
    gAttachResult = 0;
    gLinks = 0;
    bzgVehicleServices.attachToWorld = Attach;
    bzgVehicleServices.linkDefaultVolume = Link;
    {
        TestVehicle t;
        ASSERT_NE(t.car, nullptr);
        EXPECT_EQ(gAttached, &t.body);
        EXPECT_EQ(gAttachMask, 0x55807u);
        EXPECT_EQ(gLinked, &t.body);
        EXPECT_EQ(gLinks, 1);
        gAttachResult = BZ_ERROR_INVALID_HANDLE;
        EXPECT_EQ(bz_DynVehicle_Create(t.body.form, t.car, 1000.0f), BZ_ERROR_INVALID_HANDLE);
    }
    bzgVehicleServices.attachToWorld = Attach;
    bzgVehicleServices.linkDefaultVolume = Link;
    gLinks = 0;
    const int32_t keep = bzgNoFatalExit;
    bzgNoFatalExit = 1;
    {
        TestVehicle t;
        EXPECT_EQ(t.car, nullptr);
        EXPECT_EQ(gLinks, 0);
    }
    bzgNoFatalExit = keep;
    gAttachResult = 0;
    bzgVehicleServices.attachToWorld = nullptr;
    bzgVehicleServices.linkDefaultVolume = nullptr;
}

BZDObject *NoBody(bzLump *, bzForm *, const char *)
{
    return nullptr;
}

TEST(VehicleLoad, WithoutABodyTheLoadFailsWithAReport)
{
    TestVehicle t;
    bz_DynVehicle_Destroy(t.car);
    t.car = nullptr;
    bz_Form_Free(t.body.form);
    t.body.form = nullptr;
    bzgVehicleServices.createBody = NoBody;
    const int32_t keep = bzgNoFatalExit;
    bzgNoFatalExit = 1;
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_DynVehicle_Load(&t.lump, nullptr, nullptr), nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "bz_DynVehicle_Load");
    EXPECT_EQ(bz_DynVehicle_Find(&t.lump), nullptr);
    bzgNoFatalExit = keep;
    bz_DynVehicle_ResetServices();
}
} // namespace
