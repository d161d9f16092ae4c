#include "scene/Path.h"

#include "files/File.h"
#include "text/Text.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
constexpr float kTolerance = 1e-5f;

struct PathHolder
{
    bzPath *path = bz_Path_Create();
    ~PathHolder() { bz_Path_Release(path); }
};

void ExpectV3Near(const bzV3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, kTolerance);
    EXPECT_NEAR(v.y, y, kTolerance);
    EXPECT_NEAR(v.z, z, kTolerance);
}

// Follows the links and checks the count and the last pointer against them.
void ExpectConsistent(const bzPath *path)
{
    int32_t n = 0;
    const bzPathPoint *last = nullptr;
    for (const bzPathPoint *p = path->first; p; p = p->next)
    {
        n++;
        last = p;
    }
    EXPECT_EQ(n, path->count);
    EXPECT_EQ(last, path->last);
}

TEST(Path, ReferenceCounts)
{
    bzPath *path = bz_Path_Create();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->refCount, 1);
    EXPECT_EQ(path->scale, 1.0f);
    EXPECT_EQ(path->count, 0);
    EXPECT_EQ(path->first, nullptr);
    bz_Path_AddRef(path);
    EXPECT_EQ(path->refCount, 2);
    bz_Path_AppendPoint(path, 1, 2, 3);
    bz_Path_Release(path);
    EXPECT_EQ(path->refCount, 1);
    EXPECT_EQ(path->count, 1);
    bz_Path_Release(path); // frees the points and the record (ASan checks)
    bz_Path_AddRef(nullptr);
    bz_Path_Release(nullptr);
}

TEST(Path, AppendPrependRemoveAndWords)
{
    PathHolder h;
    EXPECT_EQ(bz_Path_AppendPoint(h.path, 1, 0, 0)->word, 0xFFFFFFFFu);
    EXPECT_EQ(bz_Path_AppendPointWord(h.path, 2, 0, 0, 0xFF00FF00)->word, 0xFF00FF00u);
    const bzV3 zero = {{{0, 0, 0}}};
    bz_Path_PrependPoint(h.path, &zero);
    ExpectConsistent(h.path);
    bzV3 out;
    ASSERT_NE(bz_Path_GetPoint(h.path, 2, &out), nullptr);
    ExpectV3Near(out, 2, 0, 0);
    EXPECT_EQ(bz_Path_GetPoint(h.path, 3, &out), nullptr);
    EXPECT_EQ(bz_Path_GetPoint(h.path, -1, &out), nullptr);
    bz_Path_RemovePoint(h.path, 2);
    ExpectConsistent(h.path);
    ExpectV3Near(h.path->last->position, 1, 0, 0);
    bz_Path_RemovePoint(h.path, 5);
    bz_Path_RemovePoint(h.path, 0);
    ExpectConsistent(h.path);
    ExpectV3Near(h.path->first->position, 1, 0, 0);

    PathHolder empty;
    bz_Path_PrependPoint(empty.path, &zero);
    EXPECT_EQ(empty.path->first, empty.path->last);
    ExpectConsistent(empty.path);
}

TEST(Path, RecycleFirstMakesATrail)
{
    PathHolder h;
    EXPECT_EQ(bz_Path_RecycleFirst(h.path, 9, 9, 9), 29);
    EXPECT_EQ(h.path->count, 0);
    bz_Path_AppendPoint(h.path, 0, 0, 0);
    EXPECT_EQ(bz_Path_RecycleFirst(h.path, 5, 0, 0), 0);
    ExpectV3Near(h.path->first->position, 5, 0, 0);
    bz_Path_AppendPoint(h.path, 1, 0, 0);
    bz_Path_AppendPoint(h.path, 2, 0, 0);
    EXPECT_EQ(bz_Path_RecycleFirst(h.path, 3, 0, 0), 0);
    ExpectConsistent(h.path);
    EXPECT_EQ(h.path->count, 3);
    const float expected[] = {1, 2, 3};
    int k = 0;
    for (const bzPathPoint *p = h.path->first; p; p = p->next)
        EXPECT_EQ(p->position.x, expected[k++]);
    EXPECT_EQ(bz_Path_RecycleFirst(nullptr, 0, 0, 0), 29);
}

TEST(Path, TruncateKeepsTheFirstPoints)
{
    PathHolder h;
    for (int k = 0; k < 4; k++)
        bz_Path_AppendPoint(h.path, (float)k, 0, 0);
    bz_Path_Truncate(h.path, 4);
    EXPECT_EQ(h.path->count, 4);
    bz_Path_Truncate(h.path, 9);
    EXPECT_EQ(h.path->count, 4);
    bz_Path_Truncate(h.path, -1);
    EXPECT_EQ(h.path->count, 4);
    ExpectConsistent(h.path);
    bz_Path_Truncate(h.path, 2);
    EXPECT_EQ(h.path->count, 2);
    ExpectConsistent(h.path);
    ExpectV3Near(h.path->last->position, 1, 0, 0);
    EXPECT_EQ(h.path->last->next, nullptr);
    bz_Path_Truncate(h.path, 0);
    EXPECT_EQ(h.path->count, 0);
    EXPECT_EQ(h.path->first, nullptr);
    EXPECT_EQ(h.path->last, nullptr);
    bz_Path_Truncate(h.path, 0);
    bz_Path_Clear(h.path);
    bz_Path_Truncate(nullptr, 1);
}

TEST(Path, SampleAtPercentWeighsSquaredLengths)
{
    PathHolder straight;
    bz_Path_AppendPoint(straight.path, 0, 0, 0);
    bz_Path_AppendPoint(straight.path, 4, 2, 0);
    PathHolder bent; // segments of lengths 1 and 2
    bz_Path_AppendPoint(bent.path, 0, 0, 0);
    bz_Path_AppendPoint(bent.path, 1, 0, 0);
    bz_Path_AppendPoint(bent.path, 1, 2, 0);
    struct Case
    {
        bzPath *path;
        float percent;
        bzV3 position, direction;
        float startX;
    };
    const Case cases[] = {
        {straight.path, 50, {{{2, 1, 0}}}, {{{4, 2, 0}}}, 0},
        {straight.path, 150, {{{2, 1, 0}}}, {{{4, 2, 0}}}, 0},
        {straight.path, 350, {{{2, 1, 0}}}, {{{4, 2, 0}}}, 0},
        {straight.path, 0, {{{0, 0, 0}}}, {{{4, 2, 0}}}, 0},
        {straight.path, 100, {{{0, 0, 0}}}, {{{4, 2, 0}}}, 0},
        {bent.path, 20, {{{1, 0, 0}}}, {{{0, 2, 0}}}, 1},
        {bent.path, 60, {{{1, 1, 0}}}, {{{0, 2, 0}}}, 1},
        {bent.path, 10, {{{0.5f, 0, 0}}}, {{{1, 0, 0}}}, 0},
    };
    for (const Case &c : cases)
    {
        bzV3 position, direction;
        bzPathPoint *start = nullptr;
        EXPECT_EQ(bz_Path_SampleAtPercent(c.path, c.percent, &position, &direction, &start), 0);
        ExpectV3Near(position, c.position.x, c.position.y, c.position.z);
        ExpectV3Near(direction, c.direction.x, c.direction.y, c.direction.z);
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->position.x, c.startX) << c.percent;
    }
}

TEST(Path, SampleOfAClosedPathUsesTheClosingSegment)
{
    PathHolder h;
    bz_Path_AppendPoint(h.path, 0, 0, 0);
    bz_Path_AppendPoint(h.path, 1, 0, 0);
    bz_Path_AppendPoint(h.path, 1, 1, 0);
    h.path->flags |= BZ_PATH_CLOSED;
    // Squared lengths 1, 1 and 2: W = 4; 75 percent is target 3, half-way along the closing
    // segment from (1, 1, 0) back to the start.
    bzV3 position, direction;
    EXPECT_EQ(bz_Path_SampleAtPercent(h.path, 75, &position, &direction, nullptr), 0);
    ExpectV3Near(position, 0.5f, 0.5f, 0);
    ExpectV3Near(direction, -1, -1, 0);
}

TEST(Path, SampleRefusesShortPathsAndWritesNothing)
{
    PathHolder h;
    bzV3 position = {{{7, 7, 7}}}, direction = {{{7, 7, 7}}};
    bzPathPoint *start = (bzPathPoint *)&h;
    EXPECT_EQ(bz_Path_SampleAtPercent(nullptr, 50, &position, &direction, &start), 20);
    EXPECT_EQ(bz_Path_SampleAtPercent(h.path, 50, &position, &direction, &start), 29);
    bz_Path_AppendPoint(h.path, 1, 1, 1);
    EXPECT_EQ(bz_Path_SampleAtPercent(h.path, 50, &position, &direction, &start), 29);
    ExpectV3Near(position, 7, 7, 7);
    ExpectV3Near(direction, 7, 7, 7);
    EXPECT_EQ(start, (bzPathPoint *)&h);
    // Coincident points and percentages no subtraction loop would finish.
    bz_Path_AppendPoint(h.path, 1, 1, 1);
    for (float percent : {50.0f, 1e30f, INFINITY, NAN})
    {
        EXPECT_EQ(bz_Path_SampleAtPercent(h.path, percent, &position, nullptr, nullptr), 0);
        ExpectV3Near(position, 1, 1, 1);
    }
}

TEST(Path, NearestPoint)
{
    PathHolder h;
    bz_Path_AppendPoint(h.path, 0, 0, 0);
    bz_Path_AppendPoint(h.path, 2, 0, 0);
    bz_Path_AppendPoint(h.path, 2, 3, 0);
    bz_Path_UpdateDistances(h.path);
    EXPECT_EQ(h.path->first->distance, 2.0f);
    EXPECT_EQ(h.path->last->distance, std::sqrt(13.0f));
    EXPECT_NEAR(bz_Path_GetLength(h.path), 5.0f, kTolerance);

    bzV3 closest;
    float along = -1;
    const bzV3 p = {{{3, 1, 0}}};
    bzPathPoint *start = bz_Path_NearestPoint(h.path, &p, &closest, &along);
    EXPECT_EQ(start, h.path->first->next);
    ExpectV3Near(closest, 2, 1, 0);
    EXPECT_NEAR(along, 3.0f, kTolerance);

    // Equally near two segments: the earlier one wins.
    const bzV3 corner = {{{3, -1, 0}}};
    EXPECT_EQ(bz_Path_NearestPoint(h.path, &corner, &closest, nullptr), h.path->first);
    ExpectV3Near(closest, 2, 0, 0);

    // Closed: the closing segment from (2, 3, 0) to the start counts.
    h.path->flags |= BZ_PATH_CLOSED;
    const bzV3 inside = {{{0.5f, 1.5f, 0}}};
    EXPECT_EQ(bz_Path_NearestPoint(h.path, &inside, nullptr, &along), h.path->last);

    PathHolder empty;
    EXPECT_EQ(bz_Path_NearestPoint(empty.path, &p, &closest, &along), nullptr);
    bz_Path_AppendPoint(empty.path, 1, 1, 1);
    closest = {{{9, 9, 9}}};
    EXPECT_EQ(bz_Path_NearestPoint(empty.path, &p, &closest, &along), empty.path->first);
    ExpectV3Near(closest, 9, 9, 9);
}

TEST(Path, CloneCopiesPositionsWordsAndFlags)
{
    PathHolder h;
    bz_Path_AppendPointWord(h.path, 1, 2, 3, 0x10);
    bz_Path_AppendPointWord(h.path, 4, 5, 6, 0x20);
    h.path->flags = BZ_PATH_CLOSED | BZ_PATH_ARROWS;
    h.path->scale = 3.0f;
    bz_Path_UpdateDistances(h.path);
    h.path->first->second = 77;
    bzPath *copy = bz_Path_Clone(h.path);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->refCount, 1);
    EXPECT_EQ(copy->flags, 0x12u);
    EXPECT_EQ(copy->count, 2);
    EXPECT_EQ(copy->scale, 1.0f);
    ExpectConsistent(copy);
    EXPECT_EQ(copy->first->word, 0x10u);
    EXPECT_EQ(copy->last->word, 0x20u);
    ExpectV3Near(copy->last->position, 4, 5, 6);
    EXPECT_EQ(copy->first->distance, 0.0f);
    EXPECT_EQ(copy->first->second, 0u);
    bz_Path_Release(copy);
    EXPECT_EQ(bz_Path_Clone(nullptr), nullptr);
}

TEST(Path, TextFormRoundTrip)
{
    ScopedTempDir dir;
    PathHolder h;
    bz_Path_AppendPointWord(h.path, 0, 0, 0, 0xff0000);
    bz_Path_AppendPointWord(h.path, 3, 4, 0, 0x1);
    bz_Path_AppendPoint(h.path, 3, 4, 12);
    h.path->last->second = 0xAB;

    bzFileHandle *file = bz_FileOpen("PATHS.TXT", "w");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(bz_Path_WriteText(file, h.path, "ROUTE", 1, 1, 1), 0);
    EXPECT_EQ(bz_Path_WriteText(file, h.path, "PLAIN", 0, 0, 0), 0);
    bz_FileClose(file);
    const std::string expected = "\n[ROUTE]\n"
                                 "1 1 1\n"
                                 "3\n"
                                 "0.000000,0.000000,0.000000,0xff0000,25.000000,0x0\n"
                                 "3.000000,4.000000,0.000000,0x1,144.000000,0x0\n"
                                 "3.000000,4.000000,12.000000,0xffffffff,169.000000,0xab\n"
                                 "\n[PLAIN]\n"
                                 "0 0 0\n"
                                 "3\n"
                                 "0.000000,0.000000,0.000000\n"
                                 "3.000000,4.000000,0.000000\n"
                                 "3.000000,4.000000,12.000000\n";
    EXPECT_EQ(ReadWholeFile("PATHS.TXT"), expected);

    bzTextReader *reader = bz_Script_Load("PATHS.TXT");
    ASSERT_NE(reader, nullptr);
    PathHolder back;
    bz_Path_AppendPoint(back.path, 9, 9, 9); // replaced by the section's points
    EXPECT_EQ(bz_Path_ReadText(reader, "ROUTE", back.path), 0);
    ASSERT_EQ(back.path->count, 3);
    ExpectConsistent(back.path);
    const bzPathPoint *p = back.path->first;
    EXPECT_EQ(p->word, 0xff0000u);
    EXPECT_NEAR(p->distance, 5.0f, kTolerance);
    p = p->next;
    ExpectV3Near(p->position, 3, 4, 0);
    EXPECT_EQ(p->distance, 12.0f);
    p = p->next;
    ExpectV3Near(p->position, 3, 4, 12);
    EXPECT_EQ(p->word, 0xFFFFFFFFu);
    EXPECT_EQ(p->distance, 13.0f);
    EXPECT_EQ(p->second, 0xABu);

    EXPECT_EQ(bz_Path_ReadText(reader, "PLAIN", back.path), 0);
    ASSERT_EQ(back.path->count, 3);
    EXPECT_EQ(back.path->first->word, 0xFFFFFFFFu);
    EXPECT_EQ(back.path->first->distance, 0.0f);

    // A missing section leaves the points alone.
    EXPECT_EQ(bz_Path_ReadText(reader, "NONE", back.path), 56);
    EXPECT_EQ(back.path->count, 3);
    EXPECT_EQ(bz_Path_ReadText(nullptr, "ROUTE", back.path), 29);
    EXPECT_EQ(bz_Path_ReadText(reader, "ROUTE", nullptr), 29);
    bz_Text_Close(reader);
}

TEST(Path, MalformedTextSections)
{
    ScopedTempDir dir;
    WriteWholeFile("BAD.TXT", "[SHORT]\n0 0 0\n3\n1,2,3\n"
                              "[NOCOUNT]\n0 0 0\n<KEY>\n"
                              "[WORDS]\n1 0 0\n1\n1,2,3\n"
                              "[NEGATIVE]\n0 0 0\n-4\n"
                              "[HEX]\n0 0 0\n0x2\n1,2,3\n4,5,6\n");
    bzTextReader *reader = bz_Script_Load("BAD.TXT");
    ASSERT_NE(reader, nullptr);
    PathHolder h;
    EXPECT_EQ(bz_Path_ReadText(reader, "SHORT", h.path), 59);
    EXPECT_EQ(h.path->count, 1);
    ExpectConsistent(h.path);
    EXPECT_EQ(bz_Path_ReadText(reader, "NOCOUNT", h.path), 59);
    EXPECT_EQ(h.path->count, 0);
    EXPECT_EQ(bz_Path_ReadText(reader, "WORDS", h.path), 59);
    EXPECT_EQ(h.path->count, 0);
    EXPECT_EQ(bz_Path_ReadText(reader, "NEGATIVE", h.path), 59);
    EXPECT_EQ(bz_Path_ReadText(reader, "HEX", h.path), 0);
    EXPECT_EQ(h.path->count, 2);
    bz_Text_Close(reader);
}
} // namespace
