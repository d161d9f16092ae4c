#include "scene/Spline.h"

#include "core/Bytes.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "files/File.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "text/Text.h"

#include "support/TestSupport.h"
#include "support/TextTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct SplineHolder
{
    bzSpline *spline;
    explicit SplineHolder(bzSpline *s = bz_Spline_Create()) : spline(s) {}
    ~SplineHolder() { bz_Spline_Destroy(spline); }
};

bzV3 V(float x, float y, float z)
{
    bzV3 v;
    bz_V3_Set(&v, x, y, z);
    return v;
}

void ExpectV3Near(const bzV3 &v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// A knot of the test's own: position with its in- and out-tangent.
struct TestKnot
{
    bzV3 p, in, out;
};

bzSpline *Build(const std::vector<TestKnot> &knots, bool closed)
{
    bzSpline *spline = bz_Spline_Create();
    for (const TestKnot &k : knots)
        EXPECT_EQ(bz_Spline_InsertKnot(&k.p, -1, spline, &k.in, &k.out), 0);
    if (closed)
        bz_Spline_Close(spline);
    return spline;
}

// The curve of the test knots evaluated on its own: the Hermite segment from knot i to the
// next with the out-tangent of i and the in-tangent of the next, summed in fine chords.
double NumericLength(const std::vector<TestKnot> &knots, bool closed, int segments,
                     double upTo = 1e30)
{
    const int n = (int)knots.size();
    double total = 0.0;
    for (int i = 0; i < segments; i++)
    {
        const TestKnot &a = knots[i], &b = knots[(i + 1) % n];
        bzV3 previous = a.p;
        const int steps = 20000;
        for (int s = 1; s <= steps; s++)
        {
            bzV3 p;
            bz_V3_Hermite((float)s / steps, &a.p, &b.p, &a.out, &b.in, &p);
            total += bz_V3_Distance(&previous, &p);
            previous = p;
            if (i + (double)s / steps >= upTo * segments)
                return total;
        }
    }
    (void)closed;
    return total;
}

const std::vector<TestKnot> kCurved = {
    {V(0, 0, 0), V(2, 0, 0), V(2, 0, 0)},
    {V(4, 3, 0), V(0, 3, 1), V(1, 2, 0)},
    {V(8, 0, -2), V(3, -1, 0), V(3, -1, 0)},
    {V(5, -4, 1), V(-3, 0, 0), V(-4, 1, 0)},
};

TEST(Spline, CreatedEmptyWithDrawingDefaults)
{
    SplineHolder s;
    ASSERT_NE(s.spline, nullptr);
    EXPECT_EQ(s.spline->first, nullptr);
    EXPECT_EQ(s.spline->segmentCount, 0);
    EXPECT_EQ(s.spline->closed, 0u);
    EXPECT_FLOAT_EQ(s.spline->samplesPerUnit, 3.0f);
    EXPECT_EQ(s.spline->colour, 0xFFFFFFFFu);
    bzV3 p = V(9, 9, 9), d = V(9, 9, 9);
    bz_Spline_PositionAtParam(s.spline, 0.5f, &p);
    bz_Spline_DerivativeAtParam(s.spline, 0.5f, &d);
    ExpectV3Near(p, 0, 0, 0);
    ExpectV3Near(d, 0, 0, 0);
    EXPECT_EQ(bz_Spline_GetTotalLength(s.spline), 0.0f);
    EXPECT_EQ(bz_Spline_ParamAtDistance(s.spline, 3.0f, 0.01f), 0.0f);
    EXPECT_EQ(bz_Spline_RemoveKnot(s.spline, 0), 29);
    EXPECT_EQ(bz_Spline_InsertKnot(nullptr, 0, nullptr, nullptr, nullptr), 29);
}

TEST(Spline, OneKnotHasNoSegmentsAndIsEverywhereThatKnot)
{
    SplineHolder s;
    const bzV3 p = V(1, 2, 3);
    ASSERT_EQ(bz_Spline_InsertKnot(&p, 0, s.spline, nullptr, nullptr), 0);
    for (int closed = 0; closed < 2; closed++)
    {
        if (closed)
            bz_Spline_Close(s.spline);
        EXPECT_EQ(s.spline->segmentCount, 0);
        EXPECT_EQ(bz_Spline_GetTotalLength(s.spline), 0.0f);
        EXPECT_EQ(s.spline->totalLength, 0.0f);
        for (float u : {0.0f, 0.3f, 1.0f})
        {
            bzV3 out;
            bz_Spline_PositionAtParam(s.spline, u, &out);
            ExpectV3Near(out, 1, 2, 3);
            bz_Spline_DerivativeAtParam(s.spline, u, &out);
            ExpectV3Near(out, 0, 0, 0);
        }
        EXPECT_EQ(bz_Spline_ParamAtDistance(s.spline, 1.0f, 0.01f), 0.0f);
    }
}

TEST(Spline, TwoKnotsWithoutTangentsMakeAStraightSegment)
{
    SplineHolder s(
        Build({{V(1, 1, 1), V(0, 0, 0), V(0, 0, 0)}, {V(5, 4, 1), V(0, 0, 0), V(0, 0, 0)}}, false));
    EXPECT_EQ(s.spline->segmentCount, 1);
    bzV3 mid;
    bz_Spline_PositionAtParam(s.spline, 0.5f, &mid);
    ExpectV3Near(mid, 3, 2.5f, 1);
    // Cubic timing: a quarter of the way in time is 3t^2 - 2t^3 = 0.15625 of the way.
    bzV3 quarter;
    bz_Spline_PositionAtParam(s.spline, 0.25f, &quarter);
    ExpectV3Near(quarter, 1 + 4 * 0.15625f, 1 + 3 * 0.15625f, 1);
    EXPECT_NEAR(s.spline->totalLength, 5.0f, 0.01f);
    EXPECT_NEAR(bz_Spline_GetTotalLength(s.spline), 5.0f, 0.01f);
    bzV3 end;
    bz_Spline_PositionAtParam(s.spline, 1.0f, &end);
    ExpectV3Near(end, 5, 4, 1);
}

TEST(Spline, ParamAtDistancePastTheEnd)
{
    SplineHolder s(Build(
        {{V(0, 0, 0), V(0, 0, 0), V(0, 0, 0)}, {V(10, 0, 0), V(0, 0, 0), V(0, 0, 0)}}, false));
    EXPECT_NEAR(s.spline->totalLength, 10.0f, 0.01f);
    EXPECT_EQ(bz_Spline_ParamAtDistance(s.spline, 12.0f, 0.01f), 1.0f);
    EXPECT_EQ(bz_Spline_ParamAtDistance(s.spline, -1.0f, 0.01f), 0.0f);
    // Half way along a straight segment of cubic timing is half way in time.
    EXPECT_NEAR(bz_Spline_ParamAtDistance(s.spline, 5.0f, 0.01f), 0.5f, 1e-3f);

    // Closed, the way back is a second segment of 10 and distances wrap round the 20.
    bz_Spline_Close(s.spline);
    EXPECT_EQ(s.spline->segmentCount, 2);
    EXPECT_NEAR(s.spline->totalLength, 20.0f, 0.02f);
    EXPECT_NEAR(bz_Spline_ParamAtDistance(s.spline, 25.0f, 0.01f), 0.25f, 1e-3f);
    bzV3 p;
    bz_Spline_PositionAtDistance(s.spline, 25.0f, 0.01f, &p);
    ExpectV3Near(p, 5, 0, 0, 0.02f);
    EXPECT_NEAR(bz_Spline_ParamAtDistance(s.spline, 15.0f, 0.01f), 0.75f, 1e-3f);
    bz_Spline_PositionAtDistance(s.spline, 15.0f, 0.01f, &p);
    ExpectV3Near(p, 5, 0, 0, 0.02f);
    bz_Spline_PositionAtDistance(s.spline, -5.0f, 0.01f, &p);
    ExpectV3Near(p, 5, 0, 0, 0.02f);

    bz_Spline_Open(s.spline);
    EXPECT_EQ(s.spline->segmentCount, 1);
    EXPECT_NEAR(s.spline->totalLength, 10.0f, 0.01f);
}

// Arc lengths of a curved spline, open and closed, against a fine sum of chords of the curve.
TEST(Spline, ArcLengthsAgreeWithAFineNumericSum)
{
    for (bool closed : {false, true})
    {
        SCOPED_TRACE(closed ? "closed" : "open");
        SplineHolder s(Build(kCurved, closed));
        const int segments = closed ? 4 : 3;
        ASSERT_EQ(s.spline->segmentCount, segments);
        const double total = NumericLength(kCurved, closed, segments);
        EXPECT_NEAR(s.spline->totalLength, total, total * 2e-3);
        EXPECT_NEAR(bz_Spline_GetTotalLength(s.spline), total, total * 2e-3);
        for (double fraction : {0.1, 0.3, 0.5, 0.77, 0.95})
        {
            const float distance = (float)(fraction * total);
            const float u = bz_Spline_ParamAtDistance(s.spline, distance, 0.001f);
            EXPECT_NEAR(NumericLength(kCurved, closed, segments, u), distance, total * 2e-3)
                << "at " << fraction;
            EXPECT_NEAR(bz_Spline_LengthBetween(s.spline, 0.0f, u, 0.001f), distance, total * 2e-3);
        }
        // Between two parameters inside one segment and across several.
        const double a = NumericLength(kCurved, closed, segments, 0.1);
        const double b = NumericLength(kCurved, closed, segments, 0.2);
        const double c = NumericLength(kCurved, closed, segments, 0.9);
        EXPECT_NEAR(bz_Spline_LengthBetween(s.spline, 0.1f, 0.2f, 0.001f), b - a, total * 2e-3);
        EXPECT_NEAR(bz_Spline_LengthBetween(s.spline, 0.9f, 0.1f, 0.001f), c - a, total * 2e-3);
        // Distances within one segment.
        const float half = s.spline->first->length * 0.5f;
        const float t = bz_Spline_SegmentParamAtDistance(s.spline, 0, half, 0.001f);
        EXPECT_NEAR(bz_Spline_LengthOnSegment(s.spline, 0, 0.0f, t, 0.001f), half, 2e-3f);
    }
}

TEST(Spline, InsertionPlacesKnotsAndKeepsSegmentsFresh)
{
    SplineHolder s;
    const bzV3 a = V(0, 0, 0), b = V(10, 0, 0), c = V(5, 5, 0), tangent = V(1, 0, 0);
    ASSERT_EQ(bz_Spline_InsertKnot(&a, 0, s.spline, nullptr, nullptr), 0);
    ASSERT_EQ(bz_Spline_InsertKnot(&b, -1, s.spline, nullptr, nullptr), 0);
    // After the first: between a and b; one tangent given serves as both.
    ASSERT_EQ(bz_Spline_InsertKnot(&c, 0, s.spline, &tangent, nullptr), 0);
    EXPECT_EQ(s.spline->segmentCount, 2);
    const bzKnot *k = bz_Spline_GetKnot(s.spline, 1);
    ExpectV3Near(k->position, 5, 5, 0);
    ExpectV3Near(k->in, 1, 0, 0);
    ExpectV3Near(k->out, 1, 0, 0);
    EXPECT_EQ(bz_Spline_GetKnot(s.spline, -1), bz_Spline_GetKnot(s.spline, 2));
    // Whole turns of the ring count for nothing, however many.
    EXPECT_EQ(bz_Spline_GetKnot(s.spline, 3 * 1000000 + 1), k);
    // -2147483646 is a whole number of turns of three knots back.
    EXPECT_EQ(bz_Spline_GetKnot(s.spline, INT32_MIN + 2), s.spline->first);
    EXPECT_EQ(bz_Spline_StepKnot(-2, s.spline->first), bz_Spline_GetKnot(s.spline, 1));
    // The segment into the new knot ends at it.
    bzV3 p;
    bz_Spline_GetKnotPosition(s.spline, 0, &p, 1.0f);
    ExpectV3Near(p, 5, 5, 0);
    bz_Spline_GetKnotPosition(s.spline, 1, &p, 1.0f);
    ExpectV3Near(p, 10, 0, 0);

    // Moving a knot refreshes both of its segments and the total.
    const bzV3 moved = V(5, 0, 0);
    const bzV3 none = V(0, 0, 0);
    ASSERT_EQ(bz_Spline_SetKnot(&moved, &none, &none, s.spline, 1), 0);
    EXPECT_NEAR(s.spline->totalLength, 10.0f, 0.01f);

    // Removing the first knot moves the first to the next one.
    ASSERT_EQ(bz_Spline_RemoveKnot(s.spline, 0), 0);
    ExpectV3Near(s.spline->first->position, 5, 0, 0);
    EXPECT_EQ(s.spline->segmentCount, 1);
    EXPECT_NEAR(s.spline->totalLength, 5.0f, 0.01f);
    ASSERT_EQ(bz_Spline_RemoveKnot(s.spline, 0), 0);
    ASSERT_EQ(bz_Spline_RemoveKnot(s.spline, 0), 0);
    EXPECT_EQ(s.spline->first, nullptr);
    EXPECT_EQ(s.spline->segmentCount, 0);
    EXPECT_EQ(s.spline->totalLength, 0.0f);
}

TEST(Spline, PrependMakesTheNewKnotFirstWithTangents)
{
    SplineHolder s(
        Build({{V(0, 0, 0), V(1, 0, 0), V(1, 0, 0)}, {V(4, 0, 0), V(1, 0, 0), V(1, 0, 0)}}, false));
    const bzV3 p = V(-4, 0, 0);
    ASSERT_EQ(bz_Spline_PrependKnot(s.spline, &p), 0);
    ExpectV3Near(s.spline->first->position, -4, 0, 0);
    EXPECT_EQ(s.spline->segmentCount, 2);
    // A straight line: the end tangent of a straight neighbour along the chord is not written.
    EXPECT_NEAR(s.spline->totalLength, 8.0f, 0.02f);
}

// When the knot pool cannot grow, an insertion leaves the spline as it was and says 14.
TEST(Spline, InsertionWithoutMemoryLeavesTheSplineUnchanged)
{
    SplineHolder s(Build(kCurved, false));
    bzMemPrimitiveTable saved;
    bz_Mem_GetPrimitives(&saved);
    bzMemPrimitiveTable failing = saved;
    failing.allocRaw = [](uint32_t, size_t) -> void * { return nullptr; };
    bz_Mem_SetPrimitives(&failing);
    const bzV3 p = V(1, 1, 1);
    bzErrorCode code = 0;
    int inserted = 0;
    // The pool may still hold free knots; the first one it cannot give must fail cleanly.
    while (inserted < 100000 &&
           (code = bz_Spline_InsertKnot(&p, -1, s.spline, nullptr, nullptr)) == 0)
        inserted++;
    const int32_t status = bzgMemStatus;
    const bzErrorCode last = bzgLastError;
    bz_Mem_SetPrimitives(&saved);
    ASSERT_EQ(code, 14);
    EXPECT_EQ(status, 97);
    EXPECT_EQ(last, 14);
    const bzKnot *firstBefore = s.spline->first;
    const int32_t segments = s.spline->segmentCount;
    const float total = s.spline->totalLength;
    // One more failing attempt changes nothing.
    bz_Mem_SetPrimitives(&failing);
    EXPECT_EQ(bz_Spline_InsertKnot(&p, 0, s.spline, nullptr, nullptr), 14);
    bz_Mem_SetPrimitives(&saved);
    EXPECT_EQ(s.spline->first, firstBefore);
    EXPECT_EQ(s.spline->segmentCount, segments);
    EXPECT_EQ(s.spline->totalLength, total);
    EXPECT_EQ(s.spline->knotCount, 4 + inserted);
    EXPECT_EQ(segments, 3 + inserted);
    // And the list is still a sound ring.
    const bzKnot *k = s.spline->first;
    for (int i = 0; i < s.spline->knotCount; i++, k = k->next)
        EXPECT_EQ(k->next->previous, k);
    EXPECT_EQ(k, s.spline->first);
}

TEST(Spline, KnotLineExchangesYAndZ)
{
    ScopedTempDir dir;
    bzTextReader *reader = ReaderOver("[Other]\n"
                                      "x\n"
                                      "[Route]\n"
                                      "Knots 3\n"
                                      "Knot 0: 1 2 3 In: 1 2 3 Out: 1 2 3\n"
                                      "Knot 1: 4 0 0 In: 3 0 1 Out: 6 2 -1\n"
                                      "Knot 2: 9 9 9 In: 9 9 9 Out: 9 9\n"
                                      "Knot 3: 7 7 7 In: 7 7 7 Out: 7 7 7\n");
    ASSERT_NE(reader, nullptr);
    bzSpline *spline = bz_Spline_LoadText(reader, "Route");
    ASSERT_NE(spline, nullptr);
    // The line giving eight numbers ends the reading.
    ASSERT_EQ(spline->knotCount, 2);
    const bzKnot *k = spline->first;
    ExpectV3Near(k->position, 1, 3, 2);
    ExpectV3Near(k->in, 0, 0, 0);
    ExpectV3Near(k->out, 0, 0, 0);
    k = k->next;
    // P (4, 0, 0); In (3, 1, 0); Out (6, -1, 2): in 3 (P - In), out 3 (Out - P).
    ExpectV3Near(k->position, 4, 0, 0);
    ExpectV3Near(k->in, 3, -3, 0);
    ExpectV3Near(k->out, 6, -3, 6);
    bz_Spline_Destroy(spline);

    EXPECT_EQ(bz_Spline_LoadText(reader, "Missing"), nullptr);
    EXPECT_EQ(bz_Spline_LoadText(nullptr, "Route"), nullptr);
    bz_Text_Close(reader);
}

TEST(Spline, KnotLinesStopAtTheNextSectionAndAtNonFiniteNumbers)
{
    ScopedTempDir dir;
    bzTextReader *reader = ReaderOver("[A]\n"
                                      "header\n"
                                      "Knot 0: 0 0 0 In: 0 0 0 Out: 0 0 0\n"
                                      "Knot 1: 1 0 0 In: 1 0 0 Out: 1 0 0\n"
                                      "[B]\n"
                                      "header\n"
                                      "Knot 0: 0 0 0 In: 0 0 0 Out: 0 0 0\n"
                                      "Knot 1: nan 0 0 In: 0 0 0 Out: 0 0 0\n"
                                      "Knot 2: 1 0 0 In: 0 0 0 Out: 0 0 0\n"
                                      "[C]\n"
                                      "header only\n");
    ASSERT_NE(reader, nullptr);
    const struct
    {
        const char *section;
        int32_t knots;
    } cases[] = {{"A", 2}, {"B", 1}, {"C", 0}};
    for (const auto &c : cases)
    {
        bzSpline *spline = bz_Spline_LoadText(reader, c.section);
        ASSERT_NE(spline, nullptr) << c.section;
        EXPECT_EQ(spline->knotCount, c.knots) << c.section;
        bz_Spline_Destroy(spline);
    }
    bz_Text_Close(reader);
}

std::vector<uint8_t> Payload(uint32_t count, const std::vector<float> &floats, int32_t closed,
                             bool withClosed = true)
{
    std::vector<uint8_t> bytes = {'B', 'L', 'P', 'S', 0, 0, 0, 0};
    bz_PutU32LE(bytes.data() + 4, count);
    for (float f : floats)
    {
        uint8_t b[4];
        bz_PutF32LE(b, f);
        bytes.insert(bytes.end(), b, b + 4);
    }
    if (withClosed)
    {
        uint8_t b[4];
        bz_PutU32LE(b, (uint32_t)closed);
        bytes.insert(bytes.end(), b, b + 4);
    }
    bytes.insert(bytes.end(), {'E', 'L', 'P', 'S'});
    return bytes;
}

TEST(SplinePayload, NoKnotsReadsNoClosedWord)
{
    const std::vector<uint8_t> bytes = {'B', 'L', 'P', 'S', 0, 0, 0, 0, 'E', 'L', 'P', 'S', 0xAA};
    const uint8_t *cursor = bytes.data();
    bzSpline *spline = bz_Spline_Read(&cursor, bytes.data() + bytes.size());
    ASSERT_NE(spline, nullptr);
    EXPECT_EQ(cursor, bytes.data() + 12);
    EXPECT_EQ(spline->first, nullptr);
    EXPECT_EQ(spline->closed, 0u);
    bz_Spline_Destroy(spline);
}

TEST(SplinePayload, KnotsAndClosedWordReadField)
{
    const std::vector<uint8_t> bytes =
        Payload(2, {1, 2, 3, 0, 0, 1, 0, 0, 2, /**/ 4, 5, 6, 1, 0, 0, 3, 0, 0}, 7);
    ASSERT_EQ(bytes.size(), 4u + 4u + 72u + 4u + 4u);
    const uint8_t *cursor = bytes.data();
    bzSpline *spline = bz_Spline_Read(&cursor, bytes.data() + bytes.size());
    ASSERT_NE(spline, nullptr);
    EXPECT_EQ(cursor, bytes.data() + bytes.size());
    EXPECT_EQ(spline->closed, 1u);
    EXPECT_EQ(spline->segmentCount, 2);
    ExpectV3Near(spline->first->position, 1, 2, 3);
    ExpectV3Near(spline->first->in, 0, 0, 1);
    ExpectV3Near(spline->first->out, 0, 0, 2);
    ExpectV3Near(spline->first->next->position, 4, 5, 6);
    ExpectV3Near(spline->first->next->in, 1, 0, 0);
    ExpectV3Near(spline->first->next->out, 3, 0, 0);
    bz_Spline_Destroy(spline);
}

TEST(SplinePayload, WriteGivesTheLayoutFieldByField)
{
    ScopedTempDir dir;
    SplineHolder s(
        Build({{V(1, 2, 3), V(0, 0, 1), V(0, 0, 2)}, {V(4, 5, 6), V(1, 0, 0), V(3, 0, 0)}}, true));
    bzFileHandle *file = bz_FileOpen("S.BIN", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(bz_Spline_Write(file, s.spline), 88);
    EXPECT_EQ(bz_FileTell(file), 88);
    bz_FileClose(file);
    const std::string written = ReadWholeFile("S.BIN");
    const std::vector<uint8_t> expected =
        Payload(2, {1, 2, 3, 0, 0, 1, 0, 0, 2, /**/ 4, 5, 6, 1, 0, 0, 3, 0, 0}, 1);
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), expected);

    // An empty spline writes no closed word.
    SplineHolder empty;
    file = bz_FileOpen("E.BIN", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(bz_Spline_Write(file, empty.spline), 12);
    bz_FileClose(file);
    EXPECT_EQ(ReadWholeFile("E.BIN"), std::string("BLPS\0\0\0\0ELPS", 12));
}

TEST(SplinePayload, CutShortLyingOrNonFinitePayloadsAreRefused)
{
    const std::vector<uint8_t> good =
        Payload(2, {1, 2, 3, 0, 0, 1, 0, 0, 2, /**/ 4, 5, 6, 1, 0, 0, 3, 0, 0}, 0);
    for (size_t length = 0; length < good.size(); length++)
    {
        // A copy of exactly that length, so a read past it is seen by the sanitizer.
        std::unique_ptr<uint8_t[]> cut(new uint8_t[length]);
        std::memcpy(cut.get(), good.data(), length);
        const uint8_t *begin = cut.get(), *cursor = begin;
        bzgLastError = 0;
        EXPECT_EQ(bz_Spline_Read(&cursor, begin + length), nullptr) << length;
        EXPECT_EQ(bzgLastError, 59) << length;
        EXPECT_EQ(cursor, begin);
    }
    const struct
    {
        const char *what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"count past the end", Payload(3, {1, 2, 3, 0, 0, 1, 0, 0, 2}, 0)},
        {"largest count", Payload(0xFFFFFFFFu, {}, 0)},
        {"count whose size wraps", Payload(0x71C71C72u, {1, 2, 3}, 0)},
        {"NaN position",
         Payload(1, {std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 0, 0, 0, 0, 0}, 0)},
        {"infinite tangent",
         Payload(1, {0, 0, 0, 0, std::numeric_limits<float>::infinity(), 0, 0, 0, 0}, 0)},
    };
    for (const auto &c : cases)
    {
        const uint8_t *cursor = c.bytes.data();
        bzgLastError = 0;
        EXPECT_EQ(bz_Spline_Read(&cursor, c.bytes.data() + c.bytes.size()), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, 59) << c.what;
        EXPECT_EQ(cursor, c.bytes.data()) << c.what;
    }
}

TEST(Spline, CircleOfDefaults)
{
    SplineHolder s(bz_Spline_CreateCircle(0.0f, 0, 0));
    ASSERT_NE(s.spline, nullptr);
    EXPECT_EQ(s.spline->knotCount, 8);
    EXPECT_EQ(s.spline->closed, 1u);
    EXPECT_EQ(s.spline->segmentCount, 8);
    EXPECT_EQ(s.spline->colour, 0xFFFFFFFFu);
    // Knot i at i x 45 degrees on the unit circle in the x-z plane, both tangents
    // (P[i+1] - P[i-1]) / 2 = sin 45 (-sin a, 0, cos a).
    const float c45 = 0.70710678f;
    const float expected[8][2] = {{1, 0},  {c45, c45},   {0, 1},  {-c45, c45},
                                  {-1, 0}, {-c45, -c45}, {0, -1}, {c45, -c45}};
    const bzKnot *k = s.spline->first;
    for (int i = 0; i < 8; i++, k = k->next)
    {
        SCOPED_TRACE(i);
        ExpectV3Near(k->position, expected[i][0], 0, expected[i][1]);
        ExpectV3Near(k->in, -c45 * expected[i][1], 0, c45 * expected[i][0]);
        ExpectV3Near(k->out, -c45 * expected[i][1], 0, c45 * expected[i][0]);
    }
    // Close to the circumference 2 pi.
    EXPECT_NEAR(s.spline->totalLength, 6.2831855f, 0.1f);

    SplineHolder coloured(bz_Spline_CreateCircle(2.0f, 4, 0xFF00FF00u));
    EXPECT_EQ(coloured.spline->knotCount, 4);
    EXPECT_EQ(coloured.spline->colour, 0xFF00FF00u);
    ExpectV3Near(coloured.spline->first->next->position, 0, 0, 2);
}

// Reversal gives the same curve traversed backwards: P'(u) = P(1 - u), for knots whose two
// tangents agree and for knots whose tangents differ.
TEST(Spline, ReverseTraversesTheSameCurveBackwards)
{
    const std::vector<TestKnot> equal = {
        {V(0, 0, 0), V(2, 1, 0), V(2, 1, 0)},
        {V(4, 3, 0), V(1, 2, 1), V(1, 2, 1)},
        {V(8, 0, -2), V(3, -1, 0), V(3, -1, 0)},
    };
    for (const auto *knots : {&equal, &kCurved})
        for (bool closed : {false, true})
        {
            SCOPED_TRACE(closed ? "closed" : "open");
            SplineHolder forward(Build(*knots, closed));
            SplineHolder backward(Build(*knots, closed));
            bz_Spline_Reverse(backward.spline);
            if (!closed)
                ExpectV3Near(backward.spline->first->position, knots->back().p.x, knots->back().p.y,
                             knots->back().p.z);
            EXPECT_NEAR(backward.spline->totalLength, forward.spline->totalLength, 1e-3f);
            for (int i = 0; i <= 20; i++)
            {
                const float u = i / 20.0f;
                bzV3 a, b, da, db;
                bz_Spline_PositionAtParam(forward.spline, 1.0f - u, &a);
                bz_Spline_PositionAtParam(backward.spline, u, &b);
                ExpectV3Near(b, a.x, a.y, a.z, 1e-4f);
                // Inside segments only: at a knot whose tangents differ the two sides differ.
                const float x = u * (float)forward.spline->segmentCount;
                if (x != std::floor(x))
                {
                    bz_Spline_DerivativeAtParam(forward.spline, 1.0f - u, &da);
                    bz_Spline_DerivativeAtParam(backward.spline, u, &db);
                    ExpectV3Near(db, -da.x, -da.y, -da.z, 1e-3f);
                }
            }
        }
}

TEST(Spline, AutomaticTangents)
{
    // Middle knots: both missing from the neighbours, one missing from the other.
    SplineHolder s(Build({{V(0, 0, 0), V(1, 0, 0), V(1, 0, 0)},
                          {V(2, 2, 0), V(0, 0, 0), V(0, 0, 0)},
                          {V(4, 0, 0), V(0, 0, 0), V(0, -3, 0)},
                          {V(6, 0, 0), V(0, 1, 0), V(0, 0, 0)},
                          {V(8, 0, 0), V(1, 0, 0), V(1, 0, 0)}},
                         false));
    bz_Spline_AutoTangents(s.spline);
    const bzKnot *k = s.spline->first->next;
    ExpectV3Near(k->in, 2, 0, 0);
    ExpectV3Near(k->out, 2, 0, 0);
    ExpectV3Near(k->next->in, 0, -3, 0);
    ExpectV3Near(k->next->next->out, 0, 1, 0);

    // Open ends follow the circle that the neighbour's tangent starts: a quarter of the unit
    // circle on each side of the top knot, end tangents of length pi / 2 along the way.
    SplineHolder arc(Build({{V(1, 0, 0), V(0, 0, 0), V(0, 0, 0)},
                            {V(0, 1, 0), V(-1.5707964f, 0, 0), V(-1.5707964f, 0, 0)},
                            {V(-1, 0, 0), V(0, 0, 0), V(0, 0, 0)}},
                           false));
    bz_Spline_AutoTangents(arc.spline);
    const float halfPi = 1.5707964f;
    ExpectV3Near(arc.spline->first->out, 0, halfPi, 0);
    ExpectV3Near(arc.spline->first->in, 0, halfPi, 0);
    const bzKnot *last = arc.spline->first->previous;
    ExpectV3Near(last->in, 0, -halfPi, 0);
    ExpectV3Near(last->out, 0, -halfPi, 0);
    // Half the unit circle, close to pi.
    EXPECT_NEAR(arc.spline->totalLength, 3.1415927f, 0.05f);

    // With fewer than two segments nothing is filled.
    SplineHolder two(
        Build({{V(0, 0, 0), V(0, 0, 0), V(0, 0, 0)}, {V(1, 1, 0), V(0, 0, 0), V(0, 0, 0)}}, false));
    bz_Spline_AutoTangents(two.spline);
    ExpectV3Near(two.spline->first->out, 0, 0, 0);
}

TEST(Spline, TransformMovesPositionsAndTurnsTangents)
{
    SplineHolder s(
        Build({{V(1, 0, 0), V(1, 0, 0), V(1, 0, 0)}, {V(3, 0, 0), V(0, 1, 0), V(0, 1, 0)}}, false));
    // A quarter turn about z (x to y) and a move by (0, 0, 5).
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[0] = V(0, 1, 0);
    m.row[1] = V(-1, 0, 0);
    m.row[3] = V(0, 0, 5);
    const float before = s.spline->totalLength;
    bz_Spline_Transform(s.spline, &m);
    ExpectV3Near(s.spline->first->position, 0, 1, 5);
    ExpectV3Near(s.spline->first->out, 0, 1, 0);
    ExpectV3Near(s.spline->first->next->position, 0, 3, 5);
    ExpectV3Near(s.spline->first->next->in, -1, 0, 0);
    EXPECT_NEAR(s.spline->totalLength, before, 1e-4f);
}

TEST(Spline, SplineLumpsFreeTheirSpline)
{
    bzMemStats before, after;
    bzSpline *warm = bz_Spline_Create(); // makes the hooks and the pool ready
    const bzV3 p = V(0, 0, 0);
    bz_Spline_InsertKnot(&p, 0, warm, nullptr, nullptr);
    bz_Spline_Destroy(warm);
    bz_Mem_GetStats(&before);
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_SPLINE, "route");
    bzSpline *spline = bz_Spline_CreateCircle(3.0f, 6, 0);
    ASSERT_EQ(bz_Lump_SetObject(lump, spline), 0);
    bz_Lump_Destroy(lump);
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(after.blockCount, before.blockCount);
}
} // namespace

namespace
{
struct DrawnLine
{
    static inline uint32_t colour;
    static inline std::vector<bzV3> points;
    static inline int setups;
};

TEST(Spline, RenderSamplesThePerUnitCountAlongTheSpline)
{
    const PDRenderFunctionTable saved = bzgRenderTable;
    DrawnLine::points.clear();
    DrawnLine::setups = 0;
    bzgRenderTable.PDSetupLineDrawing = [](uint32_t colour)
    {
        DrawnLine::colour = colour;
        DrawnLine::setups++;
    };
    bzgRenderTable.PDDrawPolyline = [](const void *points, int32_t n) -> int32_t
    {
        for (int32_t i = 0; i < n; i++)
        {
            bzV3 p;
            std::memcpy(p.v, (const uint8_t *)points + i * 44, 12);
            DrawnLine::points.push_back(p);
        }
        return 0;
    };
    // Length 4 at 3 samples a unit: 12 steps, 13 points from one end to the other.
    SplineHolder s(
        Build({{V(0, 0, 0), V(0, 0, 0), V(0, 0, 0)}, {V(4, 0, 0), V(0, 0, 0), V(0, 0, 0)}}, false));
    bz_Spline_SetColour(0xFF112233u, s.spline);
    bz_Spline_Render(s.spline);
    EXPECT_EQ(DrawnLine::setups, 1);
    EXPECT_EQ(DrawnLine::colour, 0xFF112233u);
    ASSERT_EQ(DrawnLine::points.size(), 13u);
    ExpectV3Near(DrawnLine::points[0], 0, 0, 0);
    // Half way in time: the midpoint.
    ExpectV3Near(DrawnLine::points[6], 2, 0, 0);
    ExpectV3Near(DrawnLine::points[12], 4, 0, 0);

    // Nothing to draw for a spline of no length.
    SplineHolder single;
    const bzV3 p = V(1, 1, 1);
    bz_Spline_InsertKnot(&p, 0, single.spline, nullptr, nullptr);
    bz_Spline_Render(single.spline);
    EXPECT_EQ(DrawnLine::setups, 1);
    bzgRenderTable = saved;
}
} // namespace
