// Body boxes, the x-sorted root list, neighbour collection against a brute-force box-overlap
// oracle, and the collision filter.
#include "collision/PairTestShapes.h"
#include "collision/Shape.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BroadPhase.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], 1e-5f) << "component " << i;
}

struct SettingsScope
{
    SettingsScope()
    {
        bz_Phys_ResetSettings();
        bz_Phys_ResetExtents();
    }
    ~SettingsScope()
    {
        bz_Phys_ResetSettings();
        bz_Phys_ResetExtents();
    }
};

TEST(BroadPhaseTest, CollisionFilterTable)
{
    struct Case
    {
        uint32_t groupA, ignoreA, flagsA, groupB, ignoreB, flagsB;
        int32_t may;
    };
    const Case cases[] = {
        {0x1, 0x2, 0, 0x4, 0x8, 0, 1},                    // disjoint masks
        {0x1, 0x2, BZ_PHYS_NO_COLLISION, 0x4, 0x8, 0, 0}, // the flag on a
        {0x1, 0x2, 0, 0x4, 0x8, BZ_PHYS_NO_COLLISION, 0}, // the flag on b
        {0x1, 0x4, 0, 0x4, 0x0, 0, 0},                    // a ignores b's group
        {0x1, 0x0, 0, 0x4, 0x1, 0, 0},                    // b ignores a's group
        {0x3, 0x3, 0, 0x4, 0x4, 0, 1},                    // each ignores only its own group
        {0x0, 0xffffffff, 0, 0x0, 0xffffffff, 0, 1},      // no group bits: nothing to ignore
    };
    for (const Case &c : cases)
    {
        BZDObject a = {}, b = {};
        a.groupMask = c.groupA;
        a.ignoreMask = c.ignoreA;
        a.physicsFlags = c.flagsA;
        b.groupMask = c.groupB;
        b.ignoreMask = c.ignoreB;
        b.physicsFlags = c.flagsB;
        EXPECT_EQ(bz_Phys_BodiesMayCollide(&a, &b), c.may);
        EXPECT_EQ(bz_Phys_BodiesMayCollide(&b, &a), c.may);
    }
}

// A body with a form box of half size h about its origin at x, y, z.
struct Scene
{
    std::vector<std::unique_ptr<bzForm>> forms;
    std::vector<std::unique_ptr<BZDObject>> bodies;
    std::vector<std::unique_ptr<bzM34>> matrices;

    BZDObject *Add(const bzV3 &at, float h, BZDObject *parent = nullptr)
    {
        forms.push_back(std::make_unique<bzForm>());
        forms.back()->bounds = {V(-h, -h, -h), V(h, h, h)};
        bodies.push_back(std::make_unique<BZDObject>());
        matrices.push_back(std::make_unique<bzM34>());
        BZDObject *b = bodies.back().get();
        *b = BZDObject{};
        b->form = forms.back().get();
        bz_M34_SetIdentity(&b->startTransform);
        b->startTransform.row[3] = at;
        *matrices.back() = b->startTransform;
        b->transform = matrices.back().get();
        if (parent)
        {
            b->parent = parent;
            b->nextSibling = parent->firstChild;
            parent->firstChild = b;
        }
        return b;
    }
};

TEST(BroadPhaseTest, BoxesSweepFromStartToCurrentAndEncloseTheTree)
{
    SettingsScope settings;
    bzgPhysSettings.contactDistance = 0.01f;
    Scene s;
    BZDObject *root = s.Add(V(0, 0, 0), 1.0f);
    BZDObject *child = s.Add(V(0, 5, 0), 0.5f, root);
    root->transform->row[3] = V(2, 0, 0); // moved on during the step
    bz_Phys_ComputeBoxes(root, root, nullptr);
    const float g = 0.015f;
    ExpectV3(root->bodyBox.min, V(-1 - g, -1 - g, -1 - g));
    ExpectV3(root->bodyBox.max, V(3 + g, 1 + g, 1 + g));
    ExpectV3(child->bodyBox.min, V(-0.5f - g, 4.5f - g, -0.5f - g));
    ExpectV3(root->treeBox.min, root->bodyBox.min);
    ExpectV3(root->treeBox.max, V(3 + g, 5.5f + g, 1 + g));
    EXPECT_NEAR(bz_Phys_ForwardExtent(), 3 + g, 1e-5f);
    EXPECT_NEAR(bz_Phys_BackwardExtent(), -1 - g, 1e-5f);

    // The alternative tree box: the top's own body box; a body below adds its box to the parent's.
    root->physicsFlags = BZ_PHYS_ALT_TREE_BOX;
    bz_Phys_ComputeBoxes(root, root, nullptr);
    ExpectV3(root->altTreeBox.max, root->bodyBox.max);
    bzBox parentBox = {V(0, 0, 0), V(0, 0, 0)};
    child->physicsFlags = BZ_PHYS_ALT_TREE_BOX;
    bz_Phys_ComputeBoxes(child, root, &parentBox);
    ExpectV3(parentBox.max, V(0.5f + g, 5.5f + g, 0.5f + g));
    ExpectV3(parentBox.min, V(-0.5f - g, 0, -0.5f - g));
}

std::vector<BZDObject *> RootOrder(BZDObject *head)
{
    std::vector<BZDObject *> out;
    for (BZDObject *b = head; b; b = b->nextSibling)
        out.push_back(b);
    return out;
}

// Links the roots into a list in the given order.
BZDObject *LinkRoots(const std::vector<BZDObject *> &roots)
{
    for (size_t i = 0; i < roots.size(); ++i)
    {
        roots[i]->rootList = i ? roots[i - 1] : nullptr;
        roots[i]->nextSibling = i + 1 < roots.size() ? roots[i + 1] : nullptr;
    }
    return roots.empty() ? nullptr : roots[0];
}

TEST(BroadPhaseTest, ResortMovesARootPastLargerOrSmallerXButNotPastEqualX)
{
    Scene s;
    BZDObject *a = s.Add(V(0, 0, 0), 1), *b = s.Add(V(1, 0, 0), 1), *c = s.Add(V(1, 0, 0), 1),
              *d = s.Add(V(3, 0, 0), 1);
    BZDObject *head = LinkRoots({a, b, c, d});
    // Equal to a neighbour: stays.
    bz_Phys_ResortRootBody(c, &head);
    EXPECT_EQ(RootOrder(head), (std::vector<BZDObject *>{a, b, c, d}));
    // d moves to x = 1: it stops behind the equal ones.
    d->startTransform.row[3].x = 1;
    bz_Phys_ResortRootBody(d, &head);
    EXPECT_EQ(RootOrder(head), (std::vector<BZDObject *>{a, b, c, d}));
    // b moves before everything: it becomes the head.
    b->startTransform.row[3].x = -5;
    bz_Phys_ResortRootBody(b, &head);
    EXPECT_EQ(RootOrder(head), (std::vector<BZDObject *>{b, a, c, d}));
    EXPECT_EQ(b->rootList, nullptr);
    EXPECT_EQ(a->rootList, b);
    // b moves past the end; a becomes the head again.
    b->startTransform.row[3].x = 9;
    bz_Phys_ResortRootBody(b, &head);
    EXPECT_EQ(RootOrder(head), (std::vector<BZDObject *>{a, c, d, b}));
    EXPECT_EQ(a->rootList, nullptr);
    EXPECT_EQ(b->rootList, d);
    // Walking back from the tail gives the reverse order.
    std::vector<BZDObject *> back;
    for (BZDObject *x = b; x; x = x->rootList)
        back.push_back(x);
    EXPECT_EQ(back, (std::vector<BZDObject *>{b, d, c, a}));
}

std::vector<BZDObject *> Chain(BZDObject *head)
{
    std::vector<BZDObject *> out;
    for (BZDObject *b = head; b; b = b->broadPhase)
        out.push_back(b);
    return out;
}

void Descendants(BZDObject *b, std::vector<BZDObject *> *out)
{
    for (BZDObject *c = b->firstChild; c; c = c->nextSibling)
    {
        out->push_back(c);
        Descendants(c, out);
    }
}

TEST(BroadPhaseTest, NeighboursMatchABruteForceBoxOverlapOnRandomScenes)
{
    SettingsScope settings;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> place(-20.0f, 20.0f), size(0.2f, 3.0f), off(-3.0f, 3.0f);
    size_t collected = 0, childrenCollected = 0;
    for (int scene = 0; scene < 40; ++scene)
    {
        Scene s;
        std::vector<BZDObject *> roots, all;
        for (int i = 0; i < 25; ++i)
        {
            BZDObject *r = s.Add(V(place(rng), place(rng) * 0.2f, place(rng) * 0.2f), size(rng));
            // Some bodies move on during the step.
            r->transform->row[3].x += off(rng) * float(i % 3 == 0);
            roots.push_back(r);
            all.push_back(r);
            const int children = int(rng() % 3);
            for (int k = 0; k < children; ++k)
            {
                const bzV3 &at = r->startTransform.row[3];
                BZDObject *c =
                    s.Add(V(at.x + off(rng), at.y + off(rng), at.z), size(rng) * 0.5f, r);
                all.push_back(c);
                if (rng() % 2)
                    all.push_back(
                        s.Add(V(c->startTransform.row[3].x + off(rng), at.y, at.z), 0.3f, c));
            }
        }
        // Insert the roots one by one at the head and let each find its place.
        BZDObject *head = nullptr;
        for (BZDObject *r : roots)
        {
            r->rootList = nullptr;
            r->nextSibling = head;
            if (head)
                head->rootList = r;
            head = r;
            bz_Phys_ResortRootBody(r, &head);
        }
        std::vector<BZDObject *> order = RootOrder(head);
        ASSERT_EQ(order.size(), roots.size());
        for (size_t i = 1; i < order.size(); ++i)
            ASSERT_LE(order[i - 1]->startTransform.row[3].x, order[i]->startTransform.row[3].x);

        bz_Phys_ResetExtents();
        bz_Phys_ComputeListBoxes(head);
        for (BZDObject *body : roots)
        {
            BZDObject *chain = nullptr;
            BZDObject **tail = bz_Phys_CollectNeighbours(body, body, &chain);
            EXPECT_EQ(*tail, nullptr);
            std::vector<BZDObject *> got = Chain(chain);
            const std::set<BZDObject *> gotSet(got.begin(), got.end());
            EXPECT_EQ(gotSet.size(), got.size()) << "a body collected twice";
            // Oracle: every body of another tree whose tree box overlaps the body's.
            std::vector<BZDObject *> own = {body};
            Descendants(body, &own);
            std::set<BZDObject *> want;
            for (BZDObject *b : all)
            {
                if (std::find(own.begin(), own.end(), b) == own.end() &&
                    bz_Box_Overlap(&body->treeBox, &b->treeBox))
                    want.insert(b);
            }
            EXPECT_EQ(gotSet, want) << "scene " << scene;
            collected += got.size();
            for (BZDObject *b : got)
                childrenCollected += b->parent != nullptr;
        }
    }
    // The scenes are crowded enough to test something: roots and children both met.
    EXPECT_GT(collected, 400u);
    EXPECT_GT(childrenCollected, 100u);
}

TEST(BroadPhaseTest, RootsWhoseStampsDoNotOverlapAreNotCollected)
{
    SettingsScope settings;
    Scene s;
    BZDObject *a = s.Add(V(0, 0, 0), 1), *b = s.Add(V(0.5f, 0, 0), 1);
    BZDObject *head = LinkRoots({a, b});
    bz_Phys_ComputeListBoxes(head);
    a->gatherStamp = 3;
    b->gatherStamp = 5;
    b->contactStamp = 5; // b gathered after a was last stamped
    BZDObject *chain = nullptr;
    bz_Phys_CollectNeighbours(a, a, &chain);
    EXPECT_EQ(chain, nullptr);
    b->contactStamp = 3;
    bz_Phys_CollectNeighbours(a, a, &chain);
    EXPECT_EQ(Chain(chain), (std::vector<BZDObject *>{b}));
}

TEST(BroadPhaseTest, BelowARootTheBodyItselfAndOverlappingSiblingsAreTaken)
{
    SettingsScope settings;
    Scene s;
    BZDObject *root = s.Add(V(0, 0, 0), 1);
    BZDObject *far = s.Add(V(30, 0, 0), 1, root);
    BZDObject *near = s.Add(V(2, 0, 0), 1, root);
    BZDObject *body = s.Add(V(1, 0, 0), 1, root);
    BZDObject *under = s.Add(V(1, 1, 0), 0.5f, body);
    BZDObject *underFar = s.Add(V(30, 1, 0), 0.5f, far);
    (void)underFar;
    bz_Phys_ComputeBoxes(root, root, nullptr);
    BZDObject *chain = nullptr;
    bz_Phys_CollectNeighbours(body, root->firstChild, &chain);
    EXPECT_EQ(Chain(chain), (std::vector<BZDObject *>{body, near, under}));
    body->physicsFlags = BZ_PHYS_NO_BODY_CONTACT;
    bz_Phys_CollectNeighbours(body, root->firstChild, &chain);
    EXPECT_EQ(Chain(chain), (std::vector<BZDObject *>{near}));
}

TEST(BroadPhaseTest, SplitPutsTheOverlappingPartLastInItsOldOrder)
{
    SettingsScope settings;
    Scene s;
    BZDObject *body = s.Add(V(0, 0, 0), 1), *n1 = s.Add(V(1, 0, 0), 1), *f1 = s.Add(V(10, 0, 0), 1),
              *n2 = s.Add(V(-1, 0, 0), 1), *f2 = s.Add(V(20, 0, 0), 1);
    for (BZDObject *b : {body, n1, f1, n2, f2})
        bz_Phys_ComputeBoxes(b, b, nullptr);
    BZDObject *chain = nullptr;
    BZDObject **tail = &chain;
    for (BZDObject *b : {n1, f1, body, n2, f2})
    {
        *tail = b;
        tail = &b->broadPhase;
    }
    *tail = nullptr;
    BZDObject **second = bz_Phys_SplitOverlapping(body, &chain);
    EXPECT_EQ(Chain(chain), (std::vector<BZDObject *>{f1, f2, n1, body, n2}));
    EXPECT_EQ(*second, n1);
    // Nothing apart: the second part starts at the head.
    BZDObject *nearOnly = n1;
    n1->broadPhase = nullptr;
    EXPECT_EQ(bz_Phys_SplitOverlapping(body, &nearOnly), &nearOnly);
}

TEST(BroadPhaseTest, ChainsOfATreeAndOfItsBoxBodies)
{
    Scene s;
    BZDObject *root = s.Add(V(0, 0, 0), 1);
    BZDObject *b = s.Add(V(0, 0, 0), 1, root);
    BZDObject *a = s.Add(V(0, 0, 0), 1, root); // root -> a, b
    BZDObject *a1 = s.Add(V(0, 0, 0), 1, a);
    BZDObject *a2 = s.Add(V(0, 0, 0), 1, a);
    a2->nextSibling = nullptr;
    a->firstChild = a1;
    a1->nextSibling = a2;
    bz_Phys_ChainTree(root);
    EXPECT_EQ(Chain(root), (std::vector<BZDObject *>{root, a, a1, a2, b}));

    // a carries the alternative box: its children stand in for it.
    a->physicsFlags = BZ_PHYS_ALT_TREE_BOX;
    BZDObject *chain = nullptr;
    BZDObject **tail = bz_Phys_ChainBoxBodies(root, &chain);
    EXPECT_EQ(Chain(chain), (std::vector<BZDObject *>{a1, a2, b}));
    EXPECT_EQ(tail, &b->broadPhase);
}
} // namespace
