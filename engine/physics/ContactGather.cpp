// Contact gathering of the tree solve: world contacts, body pairs, proximity rows, pair call
// backs and the stuck-tree fallback.
#include "physics/ContactGather.h"

#include "core/Debug.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/BodyLinks.h"
#include "physics/BodySleep.h"
#include "physics/BroadPhase.h"
#include "physics/JointLimits.h"
#include "physics/JointPlacement.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/TreeRecord.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

// The collision provider writes the collision code's contact record into these rows: the two
// records must keep one layout (tests/physics/ContactLayoutTest.cpp checks the other side).
static_assert(sizeof(void *) != 8 || sizeof(bzPhysRow) == 160, "row size");
static_assert(sizeof(void *) != 8 ||
                  (offsetof(bzPhysRow, bodyA) == 8 && offsetof(bzPhysRow, bodyB) == 16 &&
                   offsetof(bzPhysRow, link) == 24 && offsetof(bzPhysRow, type) == 32 &&
                   offsetof(bzPhysRow, value) == 36 && offsetof(bzPhysRow, shapeA) == 40 &&
                   offsetof(bzPhysRow, shapeB) == 48 && offsetof(bzPhysRow, rA) == 56 &&
                   offsetof(bzPhysRow, nA) == 68 && offsetof(bzPhysRow, wA) == 80 &&
                   offsetof(bzPhysRow, rB) == 92 && offsetof(bzPhysRow, nB) == 104 &&
                   offsetof(bzPhysRow, wB) == 116 && offsetof(bzPhysRow, couplingA) == 128 &&
                   offsetof(bzPhysRow, couplingB) == 144),
              "row layout");

namespace
{
// Set while the stuck-tree fallback gathers: every body of the ring gathers.
bool gForceGather = false;

// The pairs of the current gathering that a body left to a candidate of its ring due to gather
// after it: the candidate orders first and tests the pair when it gathers, although it then
// finds the body gathered. Cleared when a gathering starts.
constexpr int32_t kLeftPairs = 256;
const BZDObject *gLeft[kLeftPairs][2];
int32_t gLeftCount = 0;

// Leaves the pair to the candidate; false when there is no room to remember it, and the body
// tests the pair itself.
bool LeaveTo(const BZDObject *body, const BZDObject *candidate)
{
    if (gForceGather)
        return true;
    if (gLeftCount >= kLeftPairs)
        return false;
    gLeft[gLeftCount][0] = body;
    gLeft[gLeftCount][1] = candidate;
    ++gLeftCount;
    return true;
}

bool LeftTo(const BZDObject *gathered, const BZDObject *candidate)
{
    for (int32_t i = 0; i < gLeftCount; ++i)
    {
        if (gLeft[i][0] == gathered && gLeft[i][1] == candidate)
            return true;
    }
    return false;
}

// Tops stamped for gathering again their contacts with other bodies alone (their world contacts
// stand as they were found); a full stamp takes a top off. They hold for the gathering of the
// next iteration alone and are cleared when a gathering ends.
constexpr int32_t kPairsOnly = 64;
BZDObject *gPairsOnly[kPairsOnly];
int32_t gPairsOnlyCount = 0;
uint16_t gPairsOnlyIteration = 0; // the iteration whose gathering they are for

uint16_t NextIteration()
{
    const uint16_t next = static_cast<uint16_t>(bz_Phys_Iteration() + 1);
    return next ? next : 1;
}

int32_t PairsOnlyIndex(const BZDObject *top)
{
    int32_t k = 0;
    while (k < gPairsOnlyCount && gPairsOnly[k] != top)
        ++k;
    return k;
}

bool PairsOnly(const BZDObject *top)
{
    return !gForceGather && gPairsOnlyCount > 0 && gPairsOnlyIteration == bz_Phys_Iteration() &&
           PairsOnlyIndex(top) < gPairsOnlyCount;
}

// Pairs the gathering of the next iteration does not test while their first body (a top) still
// gathers its pairs alone; cleared when a gathering ends.
constexpr int32_t kSkipPairs = 128;
const BZDObject *gSkip[kSkipPairs][2];
int32_t gSkipCount = 0;
uint16_t gSkipIteration = 0; // the iteration whose gathering they are for

bool Skipped(const BZDObject *a, const BZDObject *b)
{
    if (gForceGather || gSkipCount == 0 || gSkipIteration != bz_Phys_Iteration())
        return false;
    for (int32_t i = 0; i < gSkipCount; ++i)
    {
        if (((gSkip[i][0] == a && gSkip[i][1] == b) || (gSkip[i][0] == b && gSkip[i][1] == a)) &&
            PairsOnly(gSkip[i][0]))
            return true;
    }
    return false;
}

typedef int32_t (*PairCallBack)(void *owner, void *partnerOwner);
typedef int32_t (*WorldContactCallBack)(void *owner, bzPhysRow *firstFree);

// A call back answering something other than the expected values makes the pair be tested
// again at most this often; then its answer counts as the default.
constexpr int32_t kMaxPairRepeats = 2;

void *OwnerOf(const BZDObject *body)
{
    return body ? body->owner : nullptr;
}

BZDObject *TopOf(BZDObject *body)
{
    while (body->parent && body->parentJoint)
        body = body->parent;
    return body;
}

// Due to gather: never gathered in this step, or stamped for gathering again since.
bool Due(const BZDObject *body)
{
    return gForceGather || body->gatherStamp == 0;
}

bool SameRing(BZDObject *candidate, const BZDObject *body)
{
    return body->solveGroup != 0 && bz_Body_Root(candidate)->solveGroup == body->solveGroup;
}

// Gathered in the current iteration (gathering comes before the iteration's solve).
bool GatheredNow(const BZDObject *body)
{
    return !gForceGather && body->gatherStamp == bz_Phys_Iteration();
}

// Rows the provider added, kept within the array.
int32_t Clamp(int32_t count, int32_t added)
{
    if (added < 0)
        added = 0;
    if (added > BZ_PHYS_CONTACT_ARRAY - count)
        added = BZ_PHYS_CONTACT_ARRAY - count;
    return count + added;
}

bzCollisionContact *AsContacts(bzPhysRow *rows)
{
    return reinterpret_cast<bzCollisionContact *>(rows);
}

void JoinGroupIfFree(BZDObject *body)
{
    if (body->solveGroup == 0)
        bz_Phys_SetTreeGroup(body, bz_Phys_NewSolveGroup());
}

int32_t WorldContactsOfBody(BZDObject *body, bzPhysRow *rows, int32_t count)
{
    if ((body->physicsFlags & BZ_PHYS_CALLBACK_NO_WORLD) && body->mode != 0)
        return count;
    if (body->worldConstraintKind == BZ_PHYS_SPECIAL_CONSTRAINT && !(body->secondFlags & 1u))
        return count;
    if (body->physicsFlags & BZ_PHYS_SHARED_CACHE)
    {
        if (body->physicsFlags & BZ_PHYS_IGNORE_WORLD)
            return count;
    }
    else if (!bz_Phys_IsFixed(body->physicsFlags))
        bz_Phys_RefreshBodyCache(body);
    const bzPhysCollisionProvider *provider = bz_Phys_CollisionProvider();
    if (provider->world && count < BZ_PHYS_GATHER_LIMIT)
    {
        const int32_t before = count;
        count = Clamp(count, provider->world(count, body, AsContacts(rows)));
        if (count > before)
        {
            if (body->mode == BZ_PHYS_MODE_PAIR_CALLBACK)
                bz_Phys_CallPairCallBack(body, nullptr);
            JoinGroupIfFree(body);
        }
    }
    if (body->worldContactCallBack && count < BZ_PHYS_CONTACT_ARRAY)
    {
        auto cb = reinterpret_cast<WorldContactCallBack>(body->worldContactCallBack);
        count = Clamp(count, cb(body->owner, rows + count));
    }
    return count;
}

int32_t WorldContactsOfTree(BZDObject *body, bzPhysRow *rows, int32_t count)
{
    if (body->physicsFlags & BZ_PHYS_NO_WORLD_CONTACTS)
        return count;
    for (BZDObject *b = body; b; b = bz_Body_NextInSubtree(b, body))
        count = WorldContactsOfBody(b, rows, count);
    return count;
}

// A partner that was solved in a ring of its own joins this one with the contacts it rests on:
// every body of its ring gathers again, so that what holds it up is solved together with what
// now pushes it.
void GatherAgainWhenJoining(BZDObject *body, BZDObject *partner)
{
    BZDObject *root = bz_Body_Root(partner);
    if (root->solveGroup == 0 || SameRing(partner, body))
        return;
    BZDObject *b = root;
    do
    {
        bz_Phys_StampForGathering(b);
        b = b->ring;
    } while (b && b != root);
}

// What becomes of rows found between a body and a partner.
enum class Pair
{
    Keep,  // the partner joins the body's solve (woken when it sleeps)
    Drop,  // the rows are dropped
    Again, // the rows are dropped and the pair is tested again
};

// On the last attempt an answer that asks for another test counts as the default.
Pair AcceptPartner(BZDObject *world, BZDObject *body, BZDObject *partner, bool last)
{
    if (body->mode == BZ_PHYS_MODE_PAIR_CALLBACK)
    {
        const int32_t r = bz_Phys_CallPairCallBack(body, partner);
        if (r == BZ_PHYS_CB_BROKE)
            return Pair::Drop;
        if (r != BZ_PHYS_CB_DEFAULT && !last)
            return Pair::Again;
    }
    if (partner->mode == BZ_PHYS_MODE_PAIR_CALLBACK)
    {
        const int32_t r = bz_Phys_CallPairCallBack(partner, body);
        if (r == BZ_PHYS_CB_IGNORE)
            bz_Phys_StampForGathering(partner);
        if (r != BZ_PHYS_CB_DEFAULT)
            return Pair::Drop;
    }
    if (partner->physicsFlags & BZ_PHYS_HEAVY)
        bz_Phys_SetHeavyContact(1);
    else if (!partner->asleep)
    {
        GatherAgainWhenJoining(body, partner);
        bz_Phys_MergeSolveGroups(body, partner);
    }
    else
    {
        int32_t r = BZ_PHYS_CB_DEFAULT;
        if (partner->pairCallBack)
            r = reinterpret_cast<PairCallBack>(partner->pairCallBack)(partner->owner, body->owner);
        if (r == BZ_PHYS_CB_IGNORE)
        {
            // Left asleep: the contact with a sleeper is handled apart from the solve.
            return last ? Pair::Drop : Pair::Again;
        }
        bz_Phys_WakeBody(partner, world);
        bz_Phys_MergeSolveGroups(body, partner);
    }
    bz_Phys_SetRestingEnergy(-1.0f);
    return Pair::Keep;
}

int32_t TestPair(BZDObject *world, BZDObject *body, BZDObject *candidate, bzPhysRow *rows,
                 int32_t count)
{
    const bzPhysCollisionProvider *provider = bz_Phys_CollisionProvider();
    if (!provider->pair || !bz_Phys_PairAllowed(body, candidate) || Skipped(body, candidate))
        return count;
    // The first test and at most kMaxPairRepeats more.
    for (int32_t attempt = 0; attempt <= kMaxPairRepeats; ++attempt)
    {
        if (count >= BZ_PHYS_GATHER_LIMIT)
            return count;
        const int32_t before = count;
        count = Clamp(count, provider->pair(count, body, candidate, AsContacts(rows)));
        if (count == before)
            return count;
        const Pair what = AcceptPartner(world, body, candidate, attempt == kMaxPairRepeats);
        if (what == Pair::Keep)
            return count;
        count = before;
        if (what == Pair::Drop)
            return count;
    }
    return count;
}

// Proximity rows of a body with a proximity radius against the candidates of the chain.
int32_t ProximityRows(BZDObject *world, BZDObject *body, BZDObject *chain, bzPhysRow *rows,
                      int32_t count)
{
    const float T = bzgPhysSettings.contactSpeedTolerance;
    for (BZDObject *c = chain; c && !c->parent && count < BZ_PHYS_GATHER_LIMIT; c = c->broadPhase)
    {
        if (c == body || c->proximityRadius <= 0.0f)
            continue;
        bzV3 pa, pb, d;
        bz_M34_TransformPointInto(body->transform ? body->transform : &body->startTransform, &pa,
                                  &body->centreOfMass);
        bz_M34_TransformPointInto(c->transform ? c->transform : &c->startTransform, &pb,
                                  &c->centreOfMass);
        bz_V3_SubInto(&pb, &pa, &d);
        const float reach = body->proximityRadius + c->proximityRadius;
        const float dist2 = bz_V3_LengthSq(&d);
        if (!(dist2 < reach * reach) || dist2 <= 0.0f)
            continue;
        bzV3 n;
        bz_V3_ScaleInto(&d, &n, 1.0f / std::sqrt(dist2));
        bzV3 rel;
        bz_V3_SubInto(&body->linearVelocity, &c->linearVelocity, &rel);
        if (!(bz_V3_Dot(&rel, &n) > -T))
            continue;
        bzPhysRow &row = rows[count++];
        row = bzPhysRow{};
        row.weight = 1.0f;
        row.bodyA = body;
        row.bodyB = c;
        row.type = BZ_ROW_CONTACT_TURN;
        bz_M34_InverseRotateV3Into(&body->startTransform, &row.nA, &n);
        bz_M34_InverseRotateV3Into(&c->startTransform, &row.nB, &n);
        if (body->mode == BZ_PHYS_MODE_PAIR_CALLBACK)
            bz_Phys_CallPairCallBack(body, c);
        if (c->mode == BZ_PHYS_MODE_PAIR_CALLBACK)
            bz_Phys_CallPairCallBack(c, body);
        if (c->asleep)
            bz_Phys_WakeBody(c, world);
        bz_Phys_MergeSolveGroups(body, c);
        body->contactKind |= BZ_PHYS_CONTACT_PROXIMITY;
        c->contactKind |= BZ_PHYS_CONTACT_PROXIMITY;
    }
    return count;
}

// Body contacts of one ring body (a root) against the broad phase's candidates.
int32_t RingBodyContacts(BZDObject *world, BZDObject *body, bzPhysRow *rows, int32_t count)
{
    if (count >= BZ_PHYS_GATHER_LIMIT)
        return count;
    BZDObject *chain = nullptr;
    bz_Phys_CollectNeighbours(body, body, &chain);
    if (body->proximityRadius > 0.0f)
    {
        const int32_t before = count;
        count = ProximityRows(world, body, chain, rows, count);
        if (count > before)
            return count;
    }
    if (body->physicsFlags & BZ_PHYS_NO_BODY_CONTACT)
        return count;
    for (BZDObject *c = chain; c && count < BZ_PHYS_GATHER_LIMIT; c = c->broadPhase)
    {
        for (BZDObject *b = body; b && count < BZ_PHYS_GATHER_LIMIT;
             b = bz_Body_NextInSubtree(b, body))
        {
            // Each pair once, by the body that orders first when both gather: a candidate of
            // the same ring that has gathered in this iteration tested the pair already unless
            // it left it to this body, and one that gathers after this body tests it itself
            // when it orders first.
            if (SameRing(c, body) &&
                (GatheredNow(c)
                     ? !LeftTo(c, b)
                     : Due(c) && reinterpret_cast<uintptr_t>(c) < reinterpret_cast<uintptr_t>(b) &&
                           LeaveTo(b, c)))
                continue;
            count = TestPair(world, b, c, rows, count);
        }
    }
    // Pairs inside the body's own tree, each once, a parent never with its direct child.
    for (BZDObject *a = body; a && count < BZ_PHYS_GATHER_LIMIT; a = bz_Body_NextInSubtree(a, body))
    {
        for (BZDObject *b = bz_Body_NextInSubtree(a, body); b && count < BZ_PHYS_GATHER_LIMIT;
             b = bz_Body_NextInSubtree(b, body))
        {
            if (b->parent == a || a->parent == b)
                continue;
            count = TestPair(world, a, b, rows, count);
        }
    }
    return count;
}

// Due bodies of the ring gathered last that its gatherings in this step left unreached because
// the rows had run out, with the number of gatherings in a row that did. A body passed over
// kFirstAfterMisses times is gathered first by the ring's next gathering, so that a body late in
// the ring does not wait on and on while the bodies before it, due again each time, fill the
// rows (a box would sink into the floor with no world row). Bodies reached late but in time keep
// the ring's order.
constexpr int32_t kUnreached = 64;
constexpr uint8_t kFirstAfterMisses = 16;
struct Unreached
{
    const BZDObject *body;
    uint8_t misses;
};
Unreached gUnreached[kUnreached];
int32_t gUnreachedCount = 0;
const BZDObject *gUnreachedRoot = nullptr;
uint32_t gUnreachedStep = 0;
uint16_t gUnreachedIteration = 0; // of that gathering; the ring's gatherings follow on

// The gatherings in a row that left the body unreached, in the list given.
uint8_t Misses(const BZDObject *body, const Unreached *list, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
    {
        if (list[i].body == body)
            return list[i].misses;
    }
    return 0;
}

// Gathers one ring body when it is due and the rows have room; a due body the rows have no room
// for is noted unreached, one more time than in the list of the last gathering.
int32_t GatherBody(BZDObject *world, BZDObject *b, bzPhysRow *rows, int32_t count,
                   const Unreached *last, int32_t lastCount)
{
    if (!Due(b))
        return count;
    if (count >= BZ_PHYS_GATHER_LIMIT)
    {
        if (!gForceGather && gUnreachedCount < kUnreached)
        {
            const uint8_t misses = Misses(b, last, lastCount);
            gUnreached[gUnreachedCount++] = {
                b, static_cast<uint8_t>(misses < 255 ? misses + 1 : misses)};
        }
        return count;
    }
    if (!PairsOnly(b))
        count = WorldContactsOfTree(b, rows, count);
    count = RingBodyContacts(world, b, rows, count);
    // A body whose contacts did not all fit stays due: it gathers again in the next
    // iteration, when the rows it would have added have room (rows gathered that
    // find no room in the solve: bz_Phys_KeepRowBodiesDue).
    if (count < BZ_PHYS_GATHER_LIMIT)
    {
        uint16_t now = bz_Phys_Iteration();
        for (BZDObject *d = b; d; d = bz_Body_NextInSubtree(d, b))
            d->gatherStamp = now ? now : 1;
    }
    return count;
}

int32_t GatherRing(BZDObject *world, BZDObject *root, bzPhysRow *rows, int32_t count)
{
    const bzPhysCollisionProvider *provider = bz_Phys_CollisionProvider();
    // What the ring's last gathering in this step left unreached.
    Unreached last[kUnreached];
    int32_t lastCount = 0;
    if (!gForceGather)
    {
        if (gUnreachedRoot == root && gUnreachedStep == bz_Phys_StepNumber() &&
            gUnreachedIteration < bz_Phys_Iteration())
        {
            lastCount = gUnreachedCount;
            std::copy(gUnreached, gUnreached + lastCount, last);
        }
        gUnreachedCount = 0;
        gUnreachedRoot = root;
        gUnreachedStep = bz_Phys_StepNumber();
        gUnreachedIteration = bz_Phys_Iteration();
    }
    // The bodies passed over too often first, in ring order; then the ring in its order.
    bool anyFirst = false;
    for (int32_t i = 0; i < lastCount && !anyFirst; ++i)
        anyFirst = last[i].misses >= kFirstAfterMisses;
    BZDObject *b = root;
    if (anyFirst)
    {
        do
        {
            if (Misses(b, last, lastCount) >= kFirstAfterMisses)
            {
                if (provider->markFacesBelowLevel)
                    provider->markFacesBelowLevel(b);
                count = GatherBody(world, b, rows, count, last, lastCount);
            }
            b = b->ring;
        } while (b && b != root);
        b = root;
    }
    do
    {
        if (!anyFirst || Misses(b, last, lastCount) < kFirstAfterMisses)
        {
            if (provider->markFacesBelowLevel)
                provider->markFacesBelowLevel(b);
            count = GatherBody(world, b, rows, count, last, lastCount);
        }
        b = b->ring;
    } while (b && b != root);
    return count;
}
} // namespace

void bz_Phys_StampForGathering(BZDObject *body)
{
    if (!body)
        return;
    BZDObject *top = TopOf(body);
    top->gatherStamp = 0;
    if (gPairsOnlyCount > 0)
    {
        const int32_t k = PairsOnlyIndex(top);
        if (k < gPairsOnlyCount)
            gPairsOnly[k] = gPairsOnly[--gPairsOnlyCount];
    }
}

void bz_Phys_StampPairsForGathering(BZDObject *body)
{
    if (!body)
        return;
    BZDObject *top = TopOf(body);
    if (top->gatherStamp == 0)
        return; // due already for a whole gathering
    if (gPairsOnlyIteration != NextIteration())
    {
        gPairsOnlyCount = 0;
        gPairsOnlyIteration = NextIteration();
    }
    if (gPairsOnlyCount == kPairsOnly)
    {
        bz_Phys_StampForGathering(top);
        return;
    }
    top->gatherStamp = 0;
    gPairsOnly[gPairsOnlyCount++] = top;
}

void bz_Phys_SkipPairInGathering(BZDObject *body, BZDObject *partner)
{
    if (gSkipIteration != NextIteration())
    {
        gSkipCount = 0;
        gSkipIteration = NextIteration();
    }
    if (gSkipCount == kSkipPairs)
        return;
    gSkip[gSkipCount][0] = TopOf(body);
    gSkip[gSkipCount][1] = partner;
    ++gSkipCount;
}

int32_t bz_Phys_PairAllowed(const BZDObject *body, const BZDObject *candidate)
{
    if (!body || !candidate || body == candidate)
        return 0;
    if (!bz_Phys_BodiesMayCollide(body, candidate))
        return 0;
    if (!bz_Box_Overlap(&body->bodyBox, &candidate->bodyBox))
        return 0;
    if ((body->physicsFlags & BZ_PHYS_PAIR_EXCLUSIVE) &&
        (candidate->physicsFlags & BZ_PHYS_PAIR_EXCLUSIVE))
        return 0;
    if (bz_Body_Root(const_cast<BZDObject *>(body)) ==
        bz_Body_Root(const_cast<BZDObject *>(candidate)))
    {
        if (body->top == candidate->top && body->top &&
            ((body->physicsFlags | candidate->physicsFlags) & BZ_PHYS_WELDED))
            return 0;
        if (body->top == candidate || candidate->top == body)
            return 0;
    }
    return 1;
}

int32_t bz_Phys_CallPairCallBack(BZDObject *body, BZDObject *partner)
{
    BZ_ASSERT(body);
    if (!body)
        return BZ_PHYS_CB_DEFAULT;
    if (body->pairCallBack)
    {
        const int32_t r =
            reinterpret_cast<PairCallBack>(body->pairCallBack)(body->owner, OwnerOf(partner));
        if (r != BZ_PHYS_CB_DEFAULT)
            return r;
    }
    BZDObject *top = TopOf(body);
    bz_Phys_StampForGathering(top);
    if ((top->firstChild || top->worldJoint) && !top->treeStep)
        bz_Phys_BuildTreeRecord(top, -1.0f);
    return BZ_PHYS_CB_DEFAULT;
}

int32_t bz_Phys_GatherContacts(BZDObject *world, BZDObject *root, bzPhysRow *rows, int32_t count)
{
    BZ_ASSERT(root && rows);
    if (!root || !rows)
        return count;
    gLeftCount = 0;
    count = GatherRing(world, root, rows, count);
    gPairsOnlyCount = 0;
    gSkipCount = 0;
    if (count < BZ_PHYS_CONTACT_ARRAY)
        count = bz_Phys_DetectLimits(root, rows, count, BZ_PHYS_CONTACT_ARRAY);
    return count;
}

void bz_Phys_KeepRowBodiesDue(const bzPhysRow *rows, int32_t count)
{
    for (int32_t i = 0; rows && i < count; ++i)
    {
        bz_Phys_StampForGathering(rows[i].bodyA);
        bz_Phys_StampForGathering(rows[i].bodyB);
    }
}

void bz_Phys_SeparateStuckTree(BZDObject *world, BZDObject *root, bzPhysRow *rows)
{
    if (!root || !rows)
        return;
    gForceGather = true;
    const int32_t count = GatherRing(world, root, rows, 0);
    gForceGather = false;
    for (int32_t i = 0; i < count; ++i)
    {
        const bzPhysRow &row = rows[i];
        const uint32_t type = row.type & ~BZ_ROW_OFF;
        if ((type & BZ_ROW_ANGULAR) || type == BZ_ROW_LINEAR_JOINT)
            continue;
        if (!row.bodyB)
        {
            row.bodyA->stuck = 1;
            continue;
        }
        if (row.bodyA->physicsFlags & BZ_PHYS_YIELDED)
            continue;
        BZDObject *lighter = row.bodyA->mass < row.bodyB->mass ? row.bodyA : row.bodyB;
        lighter->physicsFlags |= BZ_PHYS_YIELDED | BZ_PHYS_YIELD_MARK;
    }
}
