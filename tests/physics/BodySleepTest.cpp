// Sleeping rings, waking jointed trees, the deferred-wake list and waking what rests on top.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodySleep.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace
{
using pairtest::V;

int gWakeToken, gSleepToken;

struct Event
{
    BZDObject *body;
    bool wake;
};

// Records the link handlers the physics runs; a wake handler may run a hook.
struct Links
{
    static std::vector<Event> events;
    static std::function<void(BZDObject *)> onWake;
    Links()
    {
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
        bzgPhysWakeEvent = &gWakeToken;
        bzgPhysSleepEvent = &gSleepToken;
        bzgPhysDynamics.callLinkHandlers = [](BZDObject *body, void *event)
        {
            const bool wake = event == &gWakeToken;
            events.push_back({body, wake});
            if (wake && onWake)
                onWake(body);
        };
        events.clear();
        onWake = nullptr;
    }
    ~Links()
    {
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
        onWake = nullptr;
    }
};
std::vector<Event> Links::events;
std::function<void(BZDObject *)> Links::onWake;

BZDObject Sleeper()
{
    BZDObject b = {};
    static int owner;
    b.owner = &owner;
    b.asleep = 1;
    bz_M34_SetIdentity(&b.startTransform);
    return b;
}

TEST(BodySleepTest, ARingSleepsOnlyWhenEveryBodyIsQuiet)
{
    Links links;
    BZDObject a = Sleeper(), b = Sleeper(), c = Sleeper();
    for (BZDObject *x : {&a, &b, &c})
    {
        x->asleep = 0;
        x->linearVelocity = V(1, 2, 3);
        x->sleep = BZ_PHYS_SLEEP_QUIET;
    }
    a.ring = &b;
    b.ring = &a;
    c.ring = &c;
    a.nextSibling = &c;
    b.sleep = 0; // a's ring partner is not quiet
    bz_Phys_SleepQuietRings(&a);
    EXPECT_EQ(a.asleep, 0);
    EXPECT_EQ(b.asleep, 0);
    EXPECT_EQ(c.asleep, 1);
    EXPECT_EQ(c.sleep, 0);
    EXPECT_EQ(c.linearVelocity.x, 0.0f);
    EXPECT_EQ(a.linearVelocity.x, 1.0f);
    b.sleep = BZ_PHYS_SLEEP_QUIET;
    bz_Phys_SleepQuietRings(&a);
    EXPECT_EQ(a.asleep, 1);
    EXPECT_EQ(b.asleep, 1);
    EXPECT_EQ(b.linearVelocity.y, 0.0f);
    // Sleep links ran once for each body put to sleep.
    EXPECT_EQ(links.events.size(), 3u);
    for (const Event &e : links.events)
        EXPECT_FALSE(e.wake);
}

TEST(BodySleepTest, WakingAChildWakesItsWholeJointedTree)
{
    Links links;
    BZDObject root = Sleeper(), child = Sleeper(), grand = Sleeper(), loose = Sleeper();
    BZDJoint *joint = reinterpret_cast<BZDJoint *>(&root); // any non-null joint record
    child.parent = &root;
    child.parentJoint = joint;
    root.firstChild = &child;
    grand.parent = &child;
    grand.parentJoint = joint;
    child.firstChild = &grand;
    child.nextSibling = &loose;
    loose.parent = &root; // no joint: a tree of its own, but below the woken top
    bz_Phys_WakeBody(&grand, nullptr);
    for (BZDObject *b : {&root, &child, &grand, &loose})
        EXPECT_EQ(b->asleep, 0);
    ASSERT_FALSE(links.events.empty());
    EXPECT_EQ(links.events[0].body, &root); // the top's links first
    EXPECT_EQ(bz_Phys_WakeNesting(), 0);
    EXPECT_EQ(root.busy, 0);
}

TEST(BodySleepTest, FixedOrAwakeBodiesAreNotWoken)
{
    Links links;
    BZDObject fixed = Sleeper();
    fixed.physicsFlags = BZ_PHYS_INF_MI | BZ_PHYS_INF_MASS;
    bz_Phys_WakeBody(&fixed, nullptr);
    EXPECT_EQ(fixed.asleep, 1);
    BZDObject awake = Sleeper();
    awake.asleep = 0;
    bz_Phys_WakeBody(&awake, nullptr);
    EXPECT_TRUE(links.events.empty());
}

TEST(BodySleepTest, AWakeAskedForInsideAWakeRunsOnceAfterIt)
{
    Links links;
    BZDObject first = Sleeper(), second = Sleeper(), third = Sleeper();
    Links::onWake = [&](BZDObject *body)
    {
        if (body == &first)
        {
            for (int i = 0; i < 3; ++i)
                bz_Phys_WakeBody(&second, nullptr);
            bz_Phys_WakeBody(&third, nullptr);
            EXPECT_EQ(second.asleep, 1); // not yet
        }
    };
    bz_Phys_WakeBody(&first, nullptr);
    std::vector<BZDObject *> order;
    for (const Event &e : links.events)
        order.push_back(e.body);
    // The most recently deferred first.
    EXPECT_EQ(order, (std::vector<BZDObject *>{&first, &third, &second}));
    EXPECT_EQ(second.asleep, 0);
    EXPECT_EQ(third.asleep, 0);
    EXPECT_EQ(bz_Phys_DeferredWakes(), nullptr);
    EXPECT_EQ(second.deferredWake, nullptr);
    EXPECT_EQ(second.broadPhase, nullptr); // the broad-phase link is left alone
}

TEST(BodySleepTest, ABodyRestingOnTopWakesUpToTheContactDistance)
{
    Links links;
    bzgPhysSettings.contactDistance = 0.25f;
    struct Case
    {
        const char *name;
        float gap;  // of a's bottom over b's top
        float side; // a's shift along x
        bool wakes;
    };
    const Case cases[] = {{"touching", 0.0f, 0.0f, true},
                          {"exactly the contact distance", 0.25f, 0.0f, true},
                          {"a little more", 0.2500001f, 0.0f, false},
                          {"beside it", 0.0f, 2.5f, false},
                          {"overlapping from below", -3.0f, 0.0f, false}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = Sleeper(), b = Sleeper();
        b.bodyBox = {V(-1, 0, -1), V(1, 1, 1)};
        a.bodyBox = {V(-1 + c.side, 1 + c.gap, -1), V(1 + c.side, 2 + c.gap, 1)};
        EXPECT_EQ(bz_Phys_WakeIfOnTop(&a, &b, nullptr), c.wakes ? 1 : 0);
        EXPECT_EQ(a.asleep, c.wakes ? 0 : 1);
    }
}

TEST(BodySleepTest, AWakeSpreadsToTheStackOnTop)
{
    Links links;
    bzgPhysSettings.contactDistance = 0.01f;
    BZDObject ground = Sleeper(), box = Sleeper(), top = Sleeper(), away = Sleeper();
    ground.bodyBox = {V(-1, 0, -1), V(1, 1, 1)};
    box.bodyBox = {V(-1, 1, -1), V(1, 2, 1)};
    top.bodyBox = {V(-1, 2.005f, -1), V(1, 3, 1)};
    away.bodyBox = {V(5, 1, -1), V(6, 2, 1)};
    ground.nextSibling = &box;
    box.nextSibling = &top;
    top.nextSibling = &away;
    bz_Phys_WakeBody(&ground, &ground);
    EXPECT_EQ(box.asleep, 0);
    EXPECT_EQ(top.asleep, 0);
    EXPECT_EQ(away.asleep, 1);
    // A body of a nonzero mode is passed by.
    BZDObject moded = Sleeper();
    moded.mode = 1;
    moded.bodyBox = box.bodyBox;
    ground.asleep = 1;
    bz_Phys_WakeBody(&ground, &moded);
    EXPECT_EQ(moded.asleep, 1);
}

TEST(BodySleepTest, TheControllerIsToldOfEveryBodyThatWakes)
{
    Links links;
    static std::vector<BZDObject *> told;
    told.clear();
    bzgPhysDynamics.notifyWake = [](BZDObject *body)
    {
        EXPECT_EQ(body->asleep, 0); // told after the byte is cleared
        told.push_back(body);
    };
    BZDObject root = Sleeper(), child = Sleeper(), awake = Sleeper(), grand = Sleeper();
    BZDJoint *joint = reinterpret_cast<BZDJoint *>(&root);
    child.parent = &root;
    child.parentJoint = joint;
    root.firstChild = &child;
    awake.parent = &root;
    awake.asleep = 0; // already awake: not told again
    child.nextSibling = &awake;
    grand.parent = &child;
    grand.parentJoint = joint;
    child.firstChild = &grand;
    bz_Phys_WakeBody(&grand, nullptr);
    EXPECT_EQ(told, (std::vector<BZDObject *>{&root, &child, &grand}));
    // An awake or fixed body tells nothing.
    told.clear();
    bz_Phys_WakeBody(&root, nullptr);
    BZDObject fixed = Sleeper();
    fixed.physicsFlags = BZ_PHYS_INF_MI | BZ_PHYS_INF_MASS;
    bz_Phys_WakeBody(&fixed, nullptr);
    EXPECT_TRUE(told.empty());
}

TEST(BodySleepTest, OnlyTheFirstBodyLyingOnTheGivenOneWakes)
{
    Links links;
    bzgPhysSettings.contactDistance = 0.01f;
    BZDObject ground = Sleeper(), beside = Sleeper(), first = Sleeper(), second = Sleeper();
    ground.bodyBox = {V(-1, 0, -1), V(1, 1, 1)};
    beside.bodyBox = {V(5, 1, -1), V(6, 2, 1)};
    first.bodyBox = {V(-1, 1.005f, -1), V(0, 2, 1)};
    second.bodyBox = {V(0, 1, -1), V(1, 2, 1)};
    ground.nextSibling = &beside;
    beside.nextSibling = &first;
    first.nextSibling = &second;
    // The list's own ground is passed by.
    EXPECT_EQ(bz_Phys_WakeFirstOnTop(&ground, &ground, nullptr), 1);
    EXPECT_EQ(ground.asleep, 1);
    EXPECT_EQ(beside.asleep, 1);
    EXPECT_EQ(first.asleep, 0);
    EXPECT_EQ(second.asleep, 1);
    // The next call wakes the next one; then none is left.
    EXPECT_EQ(bz_Phys_WakeFirstOnTop(&ground, &ground, nullptr), 1);
    EXPECT_EQ(second.asleep, 0);
    EXPECT_EQ(bz_Phys_WakeFirstOnTop(&ground, &ground, nullptr), 0);
    EXPECT_EQ(bz_Phys_WakeFirstOnTop(nullptr, &ground, nullptr), 0);
}

TEST(BodySleepTest, CacheRefreshGuards)
{
    Links links;
    BZDObject parent = Sleeper(), child = Sleeper();
    bzDynCollisionCache *cache = reinterpret_cast<bzDynCollisionCache *>(&parent);
    parent.collisionCache = cache;
    child.parent = &parent;
    child.physicsFlags = BZ_PHYS_SHARED_CACHE;
    EXPECT_EQ(bz_Phys_RefreshBodyCache(&child), 0);
    EXPECT_EQ(child.collisionCache, cache);
    // Busy or fixed: nothing, not even the shared cache.
    BZDObject busy = child;
    busy.collisionCache = nullptr;
    busy.busy = 1;
    bz_Phys_RefreshBodyCache(&busy);
    EXPECT_EQ(busy.collisionCache, nullptr);
    BZDObject fixed = child;
    fixed.collisionCache = nullptr;
    fixed.physicsFlags |= BZ_PHYS_INF_MI | BZ_PHYS_INF_MASS;
    bz_Phys_RefreshBodyCache(&fixed);
    EXPECT_EQ(fixed.collisionCache, nullptr);
    // Without a cache of its own nothing is gathered.
    BZDObject none = Sleeper();
    EXPECT_EQ(bz_Phys_RefreshBodyCache(&none), 0);
    EXPECT_EQ(none.busy, 0);
}

TEST(BodySleepTest, SleepBodyPutsItsChildrenToSleep)
{
    Links links;
    BZDObject body = Sleeper(), child = Sleeper();
    body.asleep = child.asleep = 0;
    body.sleep = BZ_PHYS_SLEEP_QUIET;
    body.firstChild = &child;
    child.linearVelocity = V(1, 1, 1);
    bz_Phys_SleepBody(&body);
    EXPECT_EQ(body.asleep, 1);
    EXPECT_EQ(body.sleep, 0);
    EXPECT_EQ(child.asleep, 1);
    EXPECT_EQ(child.linearVelocity.x, 0.0f);
    EXPECT_EQ(links.events.size(), 2u);
}
} // namespace
