// The overlap search that places a body without going into another body of its world.
#include "collision/PairTestShapes.h"
#include "collision/Shape.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/OverlappingBody.h"
#include "physics/BroadPhase.h"
#include "physics/ConstraintRow.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using pairtest::V;

int gCollideCalls = 0;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The pair collision of two balls of radius 0.5: a sweeps from its start-of-step origin to its
// current one, b stands at its current origin; one row when they come closer than 1.
int32_t BallPair(BZDObject *a, BZDObject *b, bzPhysRow *rows, int32_t count)
{
    ++gCollideCalls;
    const bzV3 p0 = a->startTransform.row[3], p1 = a->transform->row[3], q = b->transform->row[3];
    const bzV3 d = {{{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}}};
    const bzV3 w = {{{q.x - p0.x, q.y - p0.y, q.z - p0.z}}};
    const float dd = Dot(d, d);
    float t = dd > 0.0f ? Dot(w, d) / dd : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    const bzV3 e = {{{w.x - t * d.x, w.y - t * d.y, w.z - t * d.z}}};
    if (Dot(e, e) >= 1.0f)
        return 0;
    rows[count] = bzPhysRow{};
    rows[count].bodyA = a;
    rows[count].bodyB = b;
    return 1;
}

struct Scope
{
    Scope()
    {
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
        bzgPhysStepServices.collidePair = BallPair;
        gCollideCalls = 0;
    }
    ~Scope()
    {
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
    }
};

// A ball body at a start-of-step and a current place, its body box computed from both.
struct Ball
{
    bzForm form = {};
    BZDObject body = {};
    bzM34 current;
    Ball(const bzV3 &start, const bzV3 &now)
    {
        form.bounds = {V(-0.5f, -0.5f, -0.5f), V(0.5f, 0.5f, 0.5f)};
        body.form = &form;
        bz_M34_SetIdentity(&body.startTransform);
        body.startTransform.row[3] = start;
        current = body.startTransform;
        current.row[3] = now;
        body.transform = &current;
        bz_Phys_ComputeBoxes(&body, &body, nullptr);
    }
};
} // namespace

TEST(OverlappingBodyTest, AListOfTheBodyAloneOverlapsNothing)
{
    Scope scope;
    Ball a(V(0, 0, 0), V(2, 0, 0));
    EXPECT_EQ(bz_Phys_FindOverlappingBody(&a.body, &a.body), 0);
    EXPECT_EQ(a.body.startTransform.row[3].x, 2.0f) << "the current transform was copied";
    EXPECT_EQ(gCollideCalls, 0);
}

TEST(OverlappingBodyTest, CandidatesAreTestedAtTheirStartOfStepTransform)
{
    Scope scope;
    struct Case
    {
        const char *name;
        bzV3 otherStart, otherNow;
        uint32_t otherFlags;
        uint32_t bodyGroup, otherIgnore;
        int32_t want;
    };
    const Case cases[] = {
        {"overlapping where it started", V(0.8f, 0, 0), V(5, 0, 0), 0, 0, 0, 1},
        {"only where it is now", V(5, 0, 0), V(0.8f, 0, 0), 0, 0, 0, 0},
        {"clear of it", V(1.2f, 0, 0), V(1.2f, 0, 0), 0, 0, 0, 0},
        {"no collision", V(0.8f, 0, 0), V(0.8f, 0, 0), BZ_PHYS_NO_COLLISION, 0, 0, 0},
        {"ignored group", V(0.8f, 0, 0), V(0.8f, 0, 0), 0, 0x4, 0x4, 0},
        {"other groups", V(0.8f, 0, 0), V(0.8f, 0, 0), 0, 0x4, 0x8, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Ball a(V(0, 0, 0.05f), V(0, 0, 0)), other(c.otherStart, c.otherNow);
        other.body.physicsFlags = c.otherFlags;
        a.body.groupMask = c.bodyGroup;
        other.body.ignoreMask = c.otherIgnore;
        a.body.nextSibling = &other.body;
        EXPECT_EQ(bz_Phys_FindOverlappingBody(&a.body, &a.body), c.want);
        EXPECT_EQ(other.body.transform, &other.current) << "the candidate's pointer is restored";
        EXPECT_EQ(a.body.startTransform.row[3].z, c.want ? 0.05f : 0.0f);
    }
}

TEST(OverlappingBodyTest, BodyBoxesComeFirst)
{
    Scope scope;
    Ball a(V(0, 0, 0), V(0, 0, 0)), other(V(0.5f, 0, 0), V(0.5f, 0, 0));
    a.body.nextSibling = &other.body;
    // The candidate's box as last computed lies far off: no shape test.
    other.body.bodyBox = {V(10, 10, 10), V(11, 11, 11)};
    EXPECT_EQ(bz_Phys_FindOverlappingBody(&a.body, &a.body), 0);
    EXPECT_EQ(gCollideCalls, 0);
    // Boxes that only touch are tested.
    other.body.bodyBox = {V(a.body.bodyBox.max.x, -1, -1), V(3, 1, 1)};
    EXPECT_EQ(bz_Phys_FindOverlappingBody(&a.body, &a.body), 1);
    EXPECT_EQ(gCollideCalls, 1);
    // Without the pair collision nothing overlaps.
    bzgPhysStepServices.collidePair = nullptr;
    EXPECT_EQ(bz_Phys_FindOverlappingBody(&a.body, &a.body), 0);
}

TEST(OverlappingBodyTest, ATrialTransformIsSweptFromTheCurrentOne)
{
    Scope scope;
    struct Case
    {
        const char *name;
        bzV3 now, trial;
        int32_t want;
    };
    // The other ball stands at the origin (its start-of-step place).
    const Case cases[] = {
        {"through it", V(-3, 0, 0), V(3, 0, 0), 1},
        {"past it at 1.1", V(-3, 1.1f, 0), V(3, 1.1f, 0), 0},
        {"ending on it", V(-3, 0, 0), V(-0.5f, 0, 0), 1},
        {"short of it", V(-3, 0, 0), V(-1.5f, 0, 0), 0},
        {"staying away", V(4, 0, 0), V(4, 0, 0), 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Ball a(c.trial, c.now), other(V(0, 0, 0), V(7, 7, 7));
        a.body.nextSibling = &other.body;
        EXPECT_EQ(bz_Phys_FindOverlappingBodyAt(&a.body, &a.body), c.want);
        EXPECT_EQ(a.body.transform, &a.current);
        EXPECT_EQ(a.current.row[3].x, c.now.x) << "the current transform is left";
        EXPECT_EQ(other.body.transform, &other.current);
        // A hit puts the current transform in the copy; no hit leaves the trial.
        const bzV3 kept = a.body.startTransform.row[3];
        const bzV3 want = c.want ? c.now : c.trial;
        EXPECT_EQ(kept.x, want.x);
        EXPECT_EQ(kept.y, want.y);
    }
    // A candidate without a form is passed by.
    Ball a(V(3, 0, 0), V(-3, 0, 0)), other(V(0, 0, 0), V(0, 0, 0));
    other.body.form = nullptr;
    a.body.nextSibling = &other.body;
    EXPECT_EQ(bz_Phys_FindOverlappingBodyAt(&a.body, &a.body), 0);
}
