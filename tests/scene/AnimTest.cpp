#include "scene/Anim.h"

#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/Lump.h"
#include "scene/AnimTestSupport.h"

#include "support/FakeReplay.h"
#include "support/TestSupport.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// The viewport as the animation's camera set-up sees it in these tests.
struct bzViewport
{
    bzLump *camera;
};

namespace
{
const bzQuat kIdentity = {{{0, 0, 0, 1}}};
const bzQuat kQuarterZ = {{{0, 0, 0.70710678f, 0.70710678f}}}; // 90 degrees about z
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectV3Near(const bzV3 &v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// Loads from an exact-size heap copy of the bytes, so that any read past them is seen.
bzKeyAnim *LoadBytes(const std::vector<uint8_t> &bytes, bzAnimChannelFunction callback = nullptr,
                     void *user = nullptr)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    return bz_Anim_LoadMemory(bytes.empty() ? nullptr : copy.get(), (uint32_t)bytes.size(),
                              callback, user);
}

// Every row the format table has: position, rotation with ease, the extra channels of kinds 4
// to 7 on "Body"; a position and a parent link on "Wheel".
std::vector<uint8_t> FullFile(uint32_t version = 0x0300)
{
    AnimBytes f;
    f.Header(2.0f, 2, version);
    f.Channel(1, 2, 2)
        .KeyV3(0.0f, AV3(0, 0, 0), AV3(0, 0, 0), AV3(8, 0, 0))
        .KeyV3(2.0f, AV3(4, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.Channel(2, 3, 2)
        .KeyRotation(0.0f, kIdentity, kIdentity, kIdentity, 0.0f, 0.5f)
        .KeyRotation(2.0f, kQuarterZ, kQuarterZ, kQuarterZ, 0.5f, 0.0f);
    f.Channel(4, 1, 2).F32(0.0f).Floats({60, 0, 0}).F32(2.0f).Floats({90, 0, 0});
    f.Channel(5, 5, 2).F32(0.0f).F32(10.0f).F32(2.0f).F32(20.0f);
    f.Channel(6, 7, 3).F32(0.5f).U32(7).F32(1.0f).U32(8).F32(1.5f).U32(9);
    f.Channel(7, 6, 1).F32(0.0f).F32(3.5f);
    f.Channel(7, 0, 2).F32(0.0f).F32(1.0f);
    f.EndTrack();
    f.Channel(1, 2, 1).KeyV3(0.0f, AV3(1, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.Channel(3, 4, 1).KeyLink(0.0f, 0, AV3(0, 0, 1));
    f.EndTrack();
    f.U32(2).Name("Body").Name("Wheel");
    return f.b;
}

// One track "Body" with a position channel of the keys (time, x) without tangents.
std::vector<uint8_t> PositionFile(float length, std::vector<std::pair<float, float>> keys,
                                  const char *name = "Body")
{
    AnimBytes f;
    f.Header(length, 1);
    f.Channel(1, 2, (uint32_t)keys.size());
    for (auto [t, x] : keys)
        f.KeyV3(t, AV3(x, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.EndTrack().U32(1).Name(name);
    return f.b;
}

// Fixed-step replay playback gives the per-frame update its frame time.
struct FrameTime
{
    FakeReplay replay;
    explicit FrameTime(float seconds) { FakeReplay::timing.fixedFrameTime = seconds; }
};

struct Events
{
    std::vector<uint32_t> values;
    std::vector<int32_t> backwards;
    static void Report(const void *value, uint8_t kind, int32_t back, void *user)
    {
        Events *e = static_cast<Events *>(user);
        uint32_t v;
        std::memcpy(&v, value, 4);
        EXPECT_EQ(kind, 6);
        e->values.push_back(v);
        e->backwards.push_back(back);
    }
};

TEST(Anim, FileOfEveryRowLoadsAndPlays)
{
    Collected extra;
    bzKeyAnim *anim = LoadBytes(FullFile(), Collected::Take, &extra);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->length, 2.0f);
    ASSERT_EQ(anim->trackCount, 2u);
    ASSERT_EQ(anim->nameCount, 2u);
    EXPECT_EQ(std::string(anim->names[1], 5), "Wheel");
    ASSERT_NE(anim->tracks[0].position, nullptr);
    ASSERT_NE(anim->tracks[0].rotation, nullptr);
    EXPECT_EQ(anim->tracks[0].parent, nullptr);
    ASSERT_NE(anim->tracks[1].parent, nullptr);
    // The rotation key's first file word goes to its last slot.
    bzAnimKeyRotation key;
    std::memcpy(&key, anim->tracks[0].rotation->values, sizeof key);
    EXPECT_EQ(key.extra, 0xDEADBEEFu);
    EXPECT_EQ(key.easeOut, 0.5f);
    EXPECT_EQ(key.q.w, 1.0f);

    // The channels of kinds 4 to 7 went to the callback, in file order.
    ASSERT_EQ(extra.channels.size(), 5u);
    const uint8_t kinds[] = {4, 5, 6, 7, 7};
    const uint8_t rows[] = {1, 5, 7, 6, 0};
    for (int i = 0; i < 5; i++)
    {
        EXPECT_EQ(extra.channels[i]->kind, kinds[i]);
        EXPECT_EQ(extra.channels[i]->format, rows[i]);
    }
    EXPECT_EQ(extra.channels[4]->count, 2);
    EXPECT_EQ(extra.channels[4]->times[1], 1.0f);
    EXPECT_EQ(extra.channels[4]->values, nullptr);
    float fov = 0, linear = 0;
    bz_AnimChannel_Evaluate(extra.channels[0], 1.0f, &fov, 1.0f);
    EXPECT_FLOAT_EQ(fov, 75.0f);
    bz_AnimChannel_Evaluate(extra.channels[1], 0.5f, &linear, 0.5f);
    EXPECT_FLOAT_EQ(linear, 12.5f);
    Events events;
    const bzAnimEventSink sink = {Events::Report, &events};
    bz_AnimChannel_Evaluate(extra.channels[2], 0.5f, (void *)&sink, 1.5f);
    EXPECT_EQ(events.values, (std::vector<uint32_t>{7, 8}));
    EXPECT_EQ(events.backwards, (std::vector<int32_t>{0, 0}));
    events = {};
    bz_AnimChannel_Evaluate(extra.channels[2], 1.5f, (void *)&sink, 0.5f);
    EXPECT_EQ(events.values, (std::vector<uint32_t>{7, 8}));
    EXPECT_EQ(events.backwards, (std::vector<int32_t>{1, 1}));
    // Kind 7 blends with nothing.
    float untouched = -1.0f;
    bz_AnimChannel_Evaluate(extra.channels[3], 0.0f, &untouched, 0.0f);
    EXPECT_EQ(untouched, -1.0f);

    AnimTree tree;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->targets[0], tree.body);
    EXPECT_EQ(instance->targets[1], tree.wheel);
    EXPECT_EQ(instance->speed, 0.0f);
    EXPECT_EQ(instance->flags, 0u);
    bz_AnimInstance_SetTime(instance, 0.5f);
    EXPECT_EQ(instance->time, 0.5f);
    // Hermite at a quarter: h2 4 + h3 8 = 0.15625 x 4 + 0.140625 x 8.
    ExpectV3Near(tree.body->matrix.row[3], 1.75f, 0, 0);
    // Eased: k t^2 / a with a = b = 0.5 at t = 0.25 is 0.125 of the quarter turn, 11.25 deg.
    ExpectV3Near(tree.body->matrix.row[0], 0.98078528f, 0.19509032f, 0);
    ExpectV3Near(tree.body->matrix.row[1], -0.19509032f, 0.98078528f, 0);
    ExpectV3Near(tree.body->matrix.row[2], 0, 0, 1);
    // The wheel moved below the body, its matrix followed by the offset.
    EXPECT_EQ(tree.wheel->parent, tree.body);
    ExpectV3Near(tree.wheel->matrix.row[3], 1, 0, 1);
    bz_AnimInstance_SetTime(instance, 1.0f);
    ExpectV3Near(tree.body->matrix.row[3], 3.0f, 0, 0);
    ExpectV3Near(tree.body->matrix.row[0], 0.70710678f, 0.70710678f, 0);
    ExpectV3Near(tree.wheel->matrix.row[3], 1, 0, 1);
    EXPECT_EQ(tree.wheel->parent, tree.body);

    bz_Anim_Destroy(anim);
    EXPECT_NE(bz_Anim_FirstInstance(), instance);
}

TEST(Anim, OtherVersionsAndMissingFilesGiveNull)
{
    bzgLastError = 0;
    EXPECT_EQ(LoadBytes(FullFile(0x0301)), nullptr);
    EXPECT_EQ(bzgLastError, 58);
    EXPECT_EQ(LoadBytes(FullFile(0x0200)), nullptr);
    EXPECT_EQ(bzgLastError, 58);

    ScopedTempDir dir;
    bzgLastError = 0;
    EXPECT_EQ(bz_Anim_Load("NOFILE.ANM", nullptr, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 19);
    // Through the file: the whole name, read into a temporary block.
    WriteWholeFile("CAR.ANM", std::string((const char *)FullFile().data(), FullFile().size()));
    bzKeyAnim *anim = bz_Anim_Load("CAR.ANM", nullptr, nullptr);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->trackCount, 2u);
    bz_Anim_Destroy(anim);
    const std::vector<uint8_t> bad = FullFile(0x0301);
    WriteWholeFile("OLD.ANM", std::string((const char *)bad.data(), bad.size()));
    EXPECT_EQ(bz_Anim_Load("OLD.ANM", nullptr, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 58);
    WriteWholeFile("EMPTY.ANM", "");
    EXPECT_EQ(bz_Anim_Load("EMPTY.ANM", nullptr, nullptr), nullptr);
}

TEST(Anim, LoopingTimesWrapBothWays)
{
    bzKeyAnim *anim = LoadBytes(PositionFile(2.0f, {{0.0f, 0.0f}, {2.0f, 4.0f}}));
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    // x(t) = 4 (3f^2 - 2f^3) with f = t / 2: at 1.5, f = 0.75 gives 4 x 0.84375.
    const struct
    {
        float set, stored;
    } cases[] = {{5.5f, 1.5f}, {-0.5f, 1.5f}, {2.0f, 0.0f}, {-4.0f, 0.0f}, {0.75f, 0.75f}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.set);
        bz_AnimInstance_SetTime(instance, c.set);
        EXPECT_FLOAT_EQ(instance->time, c.stored);
        const float f = c.stored / 2.0f;
        EXPECT_NEAR(tree.body->matrix.row[3].x, 4.0f * (3 * f * f - 2 * f * f * f), 1e-5f);
    }
    EXPECT_NEAR(tree.body->matrix.row[3].x, 4.0f * 0.31640625f, 1e-5f);
    // Non-finite times are ignored.
    bz_AnimInstance_SetTime(instance, kNaN);
    EXPECT_FLOAT_EQ(instance->time, 0.75f);
    bz_Anim_Destroy(anim);
}

TEST(Anim, PlayOnceStopsInTheUpdateThatPassesTheEnd)
{
    bzKeyAnim *anim = LoadBytes(PositionFile(2.0f, {{0.0f, 0.0f}, {2.0f, 4.0f}}));
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    instance->flags |= BZ_ANIM_PLAY_ONCE;
    bz_AnimInstance_SetSpeed(instance, 1.0f);
    FrameTime frame(0.5f);
    bz_AnimInstance_SetTime(instance, 1.8f);
    bz_Anim_UpdateAll();
    EXPECT_EQ(instance->time, 2.0f);
    EXPECT_NEAR(tree.body->matrix.row[3].x, 4.0f, 1e-6f);
    EXPECT_TRUE(instance->flags & BZ_ANIM_STOPPED);
    // Stopped: the next update leaves it.
    tree.body->matrix.row[3].x = 99.0f;
    bz_Anim_UpdateAll();
    EXPECT_EQ(tree.body->matrix.row[3].x, 99.0f);

    // Moved past the end by Advance: evaluated at the end, still running...
    bz_AnimInstance_Resume(instance);
    bz_AnimInstance_SetTime(instance, 1.0f);
    bz_AnimInstance_Advance(instance, 5.0f);
    EXPECT_EQ(instance->time, 2.0f);
    EXPECT_NEAR(tree.body->matrix.row[3].x, 4.0f, 1e-6f);
    EXPECT_FALSE(instance->flags & BZ_ANIM_STOPPED);
    // ...until an update reaches the end again.
    bz_Anim_UpdateAll();
    EXPECT_TRUE(instance->flags & BZ_ANIM_STOPPED);

    // Backwards, it stops at 0.
    bz_AnimInstance_Resume(instance);
    bz_AnimInstance_SetSpeed(instance, -1.0f);
    bz_AnimInstance_SetTime(instance, 0.25f);
    bz_Anim_UpdateAll();
    EXPECT_EQ(instance->time, 0.0f);
    EXPECT_TRUE(instance->flags & BZ_ANIM_STOPPED);
    bz_Anim_Destroy(anim);
}

TEST(Anim, UpdateMovesOnlyRunningInstancesBySpeedTimesFrameTime)
{
    bzKeyAnim *anim = LoadBytes(PositionFile(4.0f, {{0.0f, 0.0f}, {4.0f, 4.0f}}));
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    bzAnimInstance *still = bz_AnimInstance_Create(anim, tree.root);
    bzAnimInstance *fast = bz_AnimInstance_Create(anim, tree.root);
    bzAnimInstance *paused = bz_AnimInstance_Create(anim, tree.root);
    bz_AnimInstance_SetSpeed(fast, 2.0f);
    bz_AnimInstance_SetSpeed(paused, 1.0f);
    bz_AnimInstance_Pause(paused);
    {
        FrameTime frame(0.25f);
        bz_Anim_UpdateAll();
    }
    EXPECT_EQ(still->time, 0.0f);
    EXPECT_FLOAT_EQ(fast->time, 0.5f);
    EXPECT_EQ(paused->time, 0.0f);
    {
        // A frame time of 0 moves nothing.
        FrameTime frame(0.0f);
        bz_Anim_UpdateAll();
        EXPECT_FLOAT_EQ(fast->time, 0.5f);
    }
    bz_AnimInstance_Reset(fast);
    EXPECT_EQ(fast->speed, 0.0f);
    EXPECT_EQ(fast->time, 0.0f);
    bz_AnimInstance_Destroy(paused);
    bz_AnimInstance_Destroy(still);
    EXPECT_EQ(bz_Anim_FirstInstance(), fast);
    bz_Anim_Destroy(anim);
    EXPECT_NE(bz_Anim_FirstInstance(), fast);
}

// The per-frame update takes nothing from the allocator.
TEST(Anim, UpdateAllocatesNothing)
{
    bzKeyAnim *anim = LoadBytes(FullFile());
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    bzAnimInstance *a = bz_AnimInstance_Create(anim, tree.root);
    bzAnimInstance *b = bz_AnimInstance_Create(anim, tree.root);
    bz_AnimInstance_SetSpeed(a, 1.0f);
    bz_AnimInstance_SetSpeed(b, -0.5f);
    FrameTime frame(0.04f);
    RawAllocFailure failing;
    for (int i = 0; i < 10; i++)
        bz_Anim_UpdateAll();
    failing.Restore();
    EXPECT_EQ(RawAllocFailure::Calls(), 0);
    EXPECT_NEAR(a->time, 0.4f, 1e-4f);
    EXPECT_NEAR(b->time, 1.8f, 1e-4f);
    EXPECT_EQ(tree.wheel->parent, tree.body);
    bz_Anim_Destroy(anim);
}

TEST(Anim, StepKeyHoldsItsValueUntilTheNextKey)
{
    AnimBytes f;
    f.Header(3.0f, 1);
    f.Channel(1, 2, 3);
    f.KeyV3(0.0f, AV3(1, 2, 3), AV3(0, 0, 0), AV3(std::bit_cast<float>(0x7F7FFFFFu), 5, 5));
    f.KeyV3(1.0f, AV3(10, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.KeyV3(3.0f, AV3(20, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.EndTrack().U32(1).Name("Body");
    bzKeyAnim *anim = LoadBytes(f.b);
    ASSERT_NE(anim, nullptr);
    bzV3 out;
    for (float t : {0.0f, 0.3f, 0.999f})
    {
        bz_AnimChannel_Evaluate(anim->tracks[0].position, t, &out, t);
        ExpectV3Near(out, 1, 2, 3);
    }
    bz_AnimChannel_Evaluate(anim->tracks[0].position, 1.0f, &out, 1.0f);
    ExpectV3Near(out, 10, 0, 0);
    bz_AnimChannel_Evaluate(anim->tracks[0].position, 2.0f, &out, 2.0f);
    ExpectV3Near(out, 15, 0, 0);
    bz_Anim_Destroy(anim);

    // The same for a float channel: its out-tangent word.
    bzAnimChannel *fov = bz_AnimChannel_Create(2, BZ_ANIM_KIND_FLOAT);
    ASSERT_NE(fov, nullptr);
    const bzAnimKeyFloat keys[2] = {{50, 0, std::bit_cast<float>(0x7F7FFFFFu)}, {80, 0, 0}};
    fov->times[0] = 0.0f;
    fov->times[1] = 1.0f;
    std::memcpy(fov->values, keys, sizeof keys);
    float v = 0;
    bz_AnimChannel_Evaluate(fov, 0.7f, &v, 0.7f);
    EXPECT_EQ(v, 50.0f);
    bz_AnimChannel_Free(fov);
}

// At a key's own time the segment starting at that key is used at fraction 0: the parent link
// (which takes the first key of its segment) and the step events show which.
TEST(Anim, KeyExactlyAtABoundary)
{
    AnimBytes f;
    f.Header(3.0f, 3);
    f.Channel(3, 4, 3)
        .KeyLink(0.0f, 1, AV3(0, 0, 0))
        .KeyLink(1.0f, 2, AV3(0, 0, 0))
        .KeyLink(2.0f, 1, AV3(0, 0, 0));
    f.EndTrack().EndTrack().EndTrack();
    f.U32(3).Name("Body").Name("Wheel").Name("Root");
    bzKeyAnim *anim = LoadBytes(f.b);
    ASSERT_NE(anim, nullptr);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Top");
    bzLump *body = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Body");
    bzLump *wheel = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Wheel");
    bzLump *other = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Root");
    for (bzLump *l : {body, wheel, other})
        bz_Lump_AppendChild(root, l);
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, root);
    bz_AnimInstance_SetTime(instance, 0.999f);
    EXPECT_EQ(body->parent, wheel);
    bz_AnimInstance_SetTime(instance, 1.0f);
    EXPECT_EQ(body->parent, other);
    bz_AnimInstance_SetTime(instance, 2.0f);
    EXPECT_EQ(body->parent, wheel);
    bz_Anim_Destroy(anim);
    bz_Lump_DestroyTree(root);

    // Step keys: one at the lower time is reported, one at the upper time is not.
    bzAnimChannel *events = bz_AnimChannel_Create(3, BZ_ANIM_KIND_EVENTS);
    ASSERT_NE(events, nullptr);
    const float times[3] = {1.0f, 2.0f, 3.0f};
    const uint32_t values[3] = {11, 22, 33};
    std::memcpy(events->times, times, sizeof times);
    std::memcpy(events->values, values, sizeof values);
    Events seen;
    const bzAnimEventSink sink = {Events::Report, &seen};
    bz_AnimChannel_Evaluate(events, 1.0f, (void *)&sink, 3.0f);
    EXPECT_EQ(seen.values, (std::vector<uint32_t>{11, 22}));
    bz_AnimChannel_Free(events);

    // Linear keys 0, 10, 30 at times 0, 1, 2: exactly at 1 the value is 10, then 10 + 20 f.
    bzAnimChannel *linear = bz_AnimChannel_Create(3, BZ_ANIM_KIND_LINEAR);
    const float ltimes[3] = {0, 1, 2}, lvalues[3] = {0, 10, 30};
    std::memcpy(linear->times, ltimes, sizeof ltimes);
    std::memcpy(linear->values, lvalues, sizeof lvalues);
    float v = -1;
    bz_AnimChannel_Evaluate(linear, 1.0f, &v, 1.0f);
    EXPECT_EQ(v, 10.0f);
    bz_AnimChannel_Evaluate(linear, 1.25f, &v, 1.25f);
    EXPECT_FLOAT_EQ(v, 15.0f);
    bz_AnimChannel_Evaluate(linear, -3.0f, &v, -3.0f);
    EXPECT_EQ(v, 0.0f);
    bz_AnimChannel_Evaluate(linear, 7.0f, &v, 7.0f);
    EXPECT_EQ(v, 30.0f);
    bz_AnimChannel_Free(linear);
}

TEST(Anim, ChannelWithoutKeysLeavesTheLumpAlone)
{
    AnimBytes f;
    f.Header(1.0f, 1);
    f.Channel(1, 2, 0).Channel(2, 3, 0).Channel(3, 4, 0).EndTrack();
    f.U32(1).Name("Body");
    bzKeyAnim *anim = LoadBytes(f.b);
    ASSERT_NE(anim, nullptr);
    ASSERT_NE(anim->tracks[0].position, nullptr);
    EXPECT_EQ(anim->tracks[0].position->count, 0);
    AnimTree tree;
    bz_M34_SetIdentity(&tree.body->matrix);
    tree.body->matrix.row[3] = AV3(7, 8, 9);
    const bzM34 before = tree.body->matrix;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    bz_AnimInstance_SetTime(instance, 0.5f);
    EXPECT_EQ(std::memcmp(&before, &tree.body->matrix, sizeof before), 0);
    EXPECT_EQ(tree.body->parent, tree.root);
    bz_Anim_Destroy(anim);
}

TEST(Anim, NamesWithoutALumpLeaveNullTargetsThatAreSkipped)
{
    EXPECT_EQ(bz_AnimInstance_Create(nullptr, nullptr), nullptr);
    bzKeyAnim *anim = LoadBytes(PositionFile(2.0f, {{0.0f, 5.0f}}, "Nobody"));
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->targets[0], nullptr);
    bz_AnimInstance_SetTime(instance, 1.0f);
    EXPECT_EQ(instance->time, 1.0f);
    for (bzLump *l : {tree.root, tree.body, tree.wheel})
        EXPECT_EQ(l->matrix.row[3].x, 0.0f);
    // Names match without regard to case, over their 16 characters.
    bzKeyAnim *cased = LoadBytes(PositionFile(2.0f, {{0.0f, 5.0f}}, "WHEEL"));
    bzAnimInstance *second = bz_AnimInstance_Create(cased, tree.root);
    EXPECT_EQ(second->targets[0], tree.wheel);
    bz_Anim_Destroy(cased);
    bz_Anim_Destroy(anim);
}

// The instance made later is earlier in the list and applied first: the older one's values
// are the ones that stay.
TEST(Anim, TwoInstancesOnOneLumpTheOlderWins)
{
    bzKeyAnim *first = LoadBytes(PositionFile(1.0f, {{0.0f, 1.0f}}));
    bzKeyAnim *second = LoadBytes(PositionFile(1.0f, {{0.0f, 2.0f}}));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    AnimTree tree;
    bzAnimInstance *older = bz_AnimInstance_Create(first, tree.root);
    bzAnimInstance *newer = bz_AnimInstance_Create(second, tree.root);
    EXPECT_EQ(bz_Anim_FirstInstance(), newer);
    EXPECT_EQ(newer->next, older);
    bz_AnimInstance_SetSpeed(older, 1.0f);
    bz_AnimInstance_SetSpeed(newer, 1.0f);
    FrameTime frame(0.1f);
    bz_Anim_UpdateAll();
    EXPECT_EQ(tree.body->matrix.row[3].x, 1.0f);
    bz_Anim_Destroy(first);
    EXPECT_EQ(bz_Anim_FirstInstance(), newer);
    EXPECT_EQ(newer->next, nullptr);
    bz_Anim_UpdateAll();
    EXPECT_EQ(tree.body->matrix.row[3].x, 2.0f);
    bz_Anim_Destroy(second);
}

TEST(Anim, OnlyDrawnLumpsAndWorldRelativeMatrices)
{
    static uint32_t frame;
    const bzAnimServices services = {[]() -> uint32_t { return frame; }, nullptr, nullptr};
    bz_Anim_SetServices(&services);
    frame = 10;
    AnimBytes f;
    f.Header(1.0f, 2);
    f.Channel(1, 2, 1).KeyV3(0.0f, AV3(1, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0)).EndTrack();
    f.Channel(1, 2, 1).KeyV3(0.0f, AV3(2, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0)).EndTrack();
    f.U32(2).Name("Body").Name("Wheel");
    bzKeyAnim *anim = LoadBytes(f.b);
    ASSERT_NE(anim, nullptr);
    AnimTree tree;
    tree.body->lastDrawnFrame = 9;
    tree.wheel->lastDrawnFrame = 5;
    bzAnimInstance *instance = bz_AnimInstance_Create(anim, tree.root);
    instance->flags |= BZ_ANIM_ONLY_DRAWN;
    bz_AnimInstance_SetTime(instance, 0.0f);
    EXPECT_EQ(tree.body->matrix.row[3].x, 1.0f);
    EXPECT_EQ(tree.wheel->matrix.row[3].x, 0.0f);

    // A world-relative lump: the evaluated matrix followed by its parent's transform to the
    // world.
    instance->flags = 0;
    tree.root->matrix.row[3] = AV3(0, 10, 0);
    tree.wheel->flags |= BZ_LUMP_WORLD;
    bz_AnimInstance_SetTime(instance, 0.0f);
    ExpectV3Near(tree.wheel->matrix.row[3], 2, 10, 0);
    bz_Anim_Destroy(anim);
    bz_Anim_SetServices(nullptr);
}

bzLump *ViewportCamera(bzViewport *v)
{
    return v->camera;
}
void SetViewportCamera(bzViewport *v, bzLump *camera)
{
    v->camera = camera;
}

std::vector<uint8_t> CameraFile()
{
    AnimBytes f;
    f.Header(4.0f, 3);
    f.Channel(1, 2, 2)
        .KeyV3(0.0f, AV3(0, 5, 0), AV3(0, 0, 0), AV3(0, 0, 0))
        .KeyV3(4.0f, AV3(8, 5, 0), AV3(0, 0, 0), AV3(0, 0, 0));
    f.Channel(4, 1, 1).F32(0.0f).Floats({45, 0, 0});
    // A link of the camera to the target's track: cameras are never children.
    f.Channel(3, 4, 1).KeyLink(0.0f, 1, AV3(0, 0, 0));
    f.EndTrack();
    f.Channel(1, 2, 1).KeyV3(0.0f, AV3(0, 0, 3), AV3(0, 0, 0), AV3(0, 0, 0)).EndTrack();
    f.Channel(1, 2, 1).KeyV3(0.0f, AV3(0, 0, 6), AV3(0, 0, 0), AV3(0, 0, 0)).EndTrack();
    f.U32(3).Name("Camera").Name("CameraTarget").Name("Body");
    return f.b;
}

TEST(AnimCamera, SetUpStartStopAndDestroy)
{
    const bzAnimServices services = {nullptr, ViewportCamera, SetViewportCamera};
    bz_Anim_SetServices(&services);
    ScopedTempDir dir;
    const std::vector<uint8_t> bytes = CameraFile();
    WriteWholeFile("CAM.ANM", std::string((const char *)bytes.data(), bytes.size()));
    AnimTree tree;
    bzMemStats before, after;
    bz_Mem_GetStats(&before);

    bzAnimCamera *record = bz_AnimCamera_Load("CAM.ANM", tree.root);
    ASSERT_NE(record, nullptr);
    ASSERT_NE(record->camera, nullptr);
    EXPECT_EQ(record->camera->type, BZ_LUMP_TYPE_CAMERA);
    EXPECT_EQ(((bzCamera *)record->camera->object)->fieldOfView, 90.0f);
    EXPECT_EQ(record->camera->parent, nullptr);
    ASSERT_NE(record->target, nullptr);
    EXPECT_EQ(record->target->type, BZ_LUMP_TYPE_NULL);
    EXPECT_STREQ(record->target->name, "CameraTarget");
    EXPECT_EQ(record->target->parent, nullptr);
    ASSERT_NE(record->fieldOfView, nullptr);
    EXPECT_EQ(record->fieldOfView->kind, BZ_ANIM_KIND_FLOAT);
    EXPECT_EQ(record->instance->targets[0], record->camera);
    EXPECT_EQ(record->instance->targets[1], record->target);
    EXPECT_EQ(record->instance->targets[2], tree.body);

    bzLump *ownCamera = bz_Lump_CreateCamera(nullptr, 60.0f);
    bzViewport viewport = {ownCamera};
    bz_AnimCamera_Start(record, &viewport);
    EXPECT_EQ(viewport.camera, record->camera);
    EXPECT_EQ(bz_AnimCamera_GetActive(), record);
    EXPECT_EQ(record->instance->speed, 1.0f);
    EXPECT_EQ(record->active, 1u);
    const uint32_t reports = bz_Error_ReportCount();
    {
        FrameTime frame(1.0f);
        bz_Anim_UpdateAll();
    }
    EXPECT_EQ(bz_Error_ReportCount(), reports);
    EXPECT_EQ(record->camera->parent, nullptr);
    ExpectV3Near(record->camera->matrix.row[3], 8 * 0.15625f, 5, 0);
    ExpectV3Near(record->target->matrix.row[3], 0, 0, 3);
    ExpectV3Near(tree.body->matrix.row[3], 0, 0, 6);

    bz_AnimCamera_Pause(record);
    EXPECT_TRUE(record->instance->flags & BZ_ANIM_STOPPED);
    EXPECT_EQ(record->paused, 1u);
    bz_AnimCamera_Resume(record);
    EXPECT_FALSE(record->instance->flags & BZ_ANIM_STOPPED);
    EXPECT_EQ(record->paused, 0u);

    bz_AnimCamera_Stop(record);
    EXPECT_EQ(viewport.camera, ownCamera);
    EXPECT_EQ(record->instance->speed, 0.0f);
    EXPECT_EQ(record->instance->time, 0.0f);
    EXPECT_EQ(record->active, 0u);
    EXPECT_EQ(bz_AnimCamera_GetActive(), nullptr);

    // Destroying a running record gives the viewport its camera back first.
    bz_AnimCamera_Start(record, &viewport);
    bz_AnimCamera_Destroy(record);
    EXPECT_EQ(viewport.camera, ownCamera);
    EXPECT_EQ(bz_AnimCamera_GetActive(), nullptr);
    bz_Mem_GetStats(&after);
    bz_Lump_Destroy(ownCamera);
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);

    // A file that does not load leaves nothing behind.
    WriteWholeFile("BAD.ANM", "\x01\x03");
    EXPECT_EQ(bz_AnimCamera_Load("BAD.ANM", tree.root), nullptr);
    EXPECT_EQ(bz_AnimCamera_Load("NONE.ANM", tree.root), nullptr);
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    bz_Anim_SetServices(nullptr);
}

// Each damaged file is refused with a code and leaves no memory behind.
TEST(AnimBadInput, DamagedFilesAreRefused)
{
    const auto file = [](std::function<void(AnimBytes &)> body, uint32_t names = 1,
                         float length = 1.0f, uint32_t tracks = 1)
    {
        AnimBytes f;
        f.Header(length, tracks);
        body(f);
        f.U32(names);
        for (uint32_t i = 0; i < names; i++)
            f.Name("Body");
        return f.b;
    };
    const auto position = [](AnimBytes &f)
    { f.Channel(1, 2, 1).KeyV3(0.0f, AV3(1, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0)).EndTrack(); };
    const struct
    {
        const char *what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"name count below the track count", file(position, 0)},
        {"name count above the track count", file(position, 2)},
        {"length 0", file(position, 1, 0.0f)},
        {"negative length", file(position, 1, -1.0f)},
        {"NaN length", file(position, 1, kNaN)},
        {"track count past the end", file(position, 1, 1.0f, 0x40000000u)},
        {"key count past the end",
         file([](AnimBytes &f)
              { f.Channel(1, 2, 500).KeyV3(0.0f, AV3(1, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0)); })},
        {"NaN key time", file(
                             [](AnimBytes &f) {
                                 f.Channel(1, 2, 1)
                                     .KeyV3(kNaN, AV3(1, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0))
                                     .EndTrack();
                             })},
        {"NaN key value", file(
                              [](AnimBytes &f) {
                                  f.Channel(1, 2, 1)
                                      .KeyV3(0.0f, AV3(kNaN, 0, 0), AV3(0, 0, 0), AV3(0, 0, 0))
                                      .EndTrack();
                              })},
        {"infinite rotation",
         file(
             [](AnimBytes &f)
             {
                 bzQuat q = kIdentity;
                 q.w = std::numeric_limits<float>::infinity();
                 f.Channel(2, 3, 1).KeyRotation(0.0f, q, kIdentity, kIdentity, 0, 0).EndTrack();
             })},
        {"NaN float key", file(
                              [](AnimBytes &f) {
                                  f.Channel(4, 1, 1).F32(0.0f).Floats({kNaN, 0, 0}).EndTrack();
                              })},
        {"times going backwards",
         file([](AnimBytes &f)
              { f.Channel(5, 5, 2).F32(1.0f).F32(0.0f).F32(0.5f).F32(1.0f).EndTrack(); })},
        {"parent link to a missing track",
         file([](AnimBytes &f) { f.Channel(3, 4, 1).KeyLink(0.0f, 1, AV3(0, 0, 0)).EndTrack(); })},
        {"kind 8", file([](AnimBytes &f) { f.Channel(8, 5, 0).EndTrack(); })},
        {"row 8", file([](AnimBytes &f) { f.Channel(5, 8, 0).EndTrack(); })},
        {"position keys of float size", file([](AnimBytes &f) { f.Channel(1, 1, 0).EndTrack(); })},
        {"rotation keys of vector size", file([](AnimBytes &f) { f.Channel(2, 2, 0).EndTrack(); })},
        {"no end of track", file([](AnimBytes &) {}, 0)},
    };
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    for (const auto &c : cases)
    {
        bzgLastError = 0;
        EXPECT_EQ(LoadBytes(c.bytes), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, 59) << c.what;
    }
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(after.blockCount, before.blockCount);
}

TEST(AnimBadInput, TruncatedAtEveryLength)
{
    const std::vector<uint8_t> whole = FullFile();
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    for (size_t length = 0; length < whole.size(); length++)
    {
        Collected extra;
        bzgLastError = 0;
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
        EXPECT_EQ(LoadBytes(cut, Collected::Take, &extra), nullptr) << length;
        EXPECT_EQ(bzgLastError, 59) << length;
    }
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    // Through the file as well, at a few lengths.
    ScopedTempDir dir;
    for (size_t length : {1, 11, 12, 40, (int)whole.size() - 1})
    {
        WriteWholeFile("CUT.ANM", std::string((const char *)whole.data(), length));
        EXPECT_EQ(bz_Anim_Load("CUT.ANM", nullptr, nullptr), nullptr) << length;
    }
}
} // namespace
