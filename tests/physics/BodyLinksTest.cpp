// Links, walks, saving and marks of body trees.
#include "physics/Body.h"
#include "physics/BodyLinks.h"
#include "physics/BodyWeld.h"
#include "physics/Coupling.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// r -> (a, b); a -> (c, d); r's next sibling s lies outside r's subtree.
struct Tree
{
    BZDObject r = {}, a = {}, b = {}, c = {}, d = {}, s = {};
    Tree()
    {
        r.firstChild = &a;
        r.nextSibling = &s;
        a.parent = b.parent = &r;
        a.nextSibling = &b;
        a.firstChild = &c;
        c.parent = d.parent = &a;
        c.nextSibling = &d;
        BZDObject *all[6] = {&r, &a, &b, &c, &d, &s};
        for (int i = 0; i < 6; ++i)
            all[i]->mass = float(i + 1); // a tag to tell the records apart
    }
};

std::vector<BZDObject *> Children(BZDObject *parent)
{
    std::vector<BZDObject *> out;
    for (BZDObject *k = parent->firstChild; k; k = k->nextSibling)
        out.push_back(k);
    return out;
}

TEST(BodyLinksTest, RootAndDepthFirstWalk)
{
    Tree t;
    EXPECT_EQ(bz_Body_Root(&t.d), &t.r);
    EXPECT_EQ(bz_Body_Root(&t.r), &t.r);
    std::vector<BZDObject *> walk;
    for (BZDObject *x = &t.r; x; x = bz_Body_NextInSubtree(x, &t.r))
        walk.push_back(x);
    EXPECT_EQ(walk, (std::vector<BZDObject *>{&t.r, &t.a, &t.c, &t.d, &t.b}));
    // A subtree below a: its walk ends without going on to b.
    walk.clear();
    for (BZDObject *x = &t.a; x; x = bz_Body_NextInSubtree(x, &t.a))
        walk.push_back(x);
    EXPECT_EQ(walk, (std::vector<BZDObject *>{&t.a, &t.c, &t.d}));
    // A subtree root without children: nothing after it.
    EXPECT_EQ(bz_Body_NextInSubtree(&t.b, &t.b), nullptr);
}

TEST(BodyLinksTest, FindInTreeGivesTheFirstNonzeroAnswerDepthFirst)
{
    Tree t;
    struct Seen
    {
        std::vector<BZDObject *> order;
        BZDObject *stopAt;
    };
    auto fn = [](BZDObject *b, void *user) -> int32_t
    {
        Seen *seen = static_cast<Seen *>(user);
        seen->order.push_back(b);
        return b == seen->stopAt ? int32_t(b->mass) : 0;
    };
    Seen seen{{}, &t.d};
    EXPECT_EQ(bz_Body_FindInTree(&t.r, fn, &seen), 5);
    EXPECT_EQ(seen.order, (std::vector<BZDObject *>{&t.r, &t.a, &t.c, &t.d}));
    Seen none{{}, nullptr};
    EXPECT_EQ(bz_Body_FindInTree(&t.r, fn, &none), 0);
    // The root's sibling is not part of its tree.
    EXPECT_EQ(none.order.size(), 5u);
}

TEST(BodyLinksTest, UnlinkAndAttach)
{
    Tree t;
    bz_Body_Unlink(&t.d); // the last child
    EXPECT_EQ(Children(&t.a), (std::vector<BZDObject *>{&t.c}));
    EXPECT_EQ(t.d.parent, nullptr);
    bz_Body_Unlink(&t.a); // a first child with a sibling after it
    EXPECT_EQ(Children(&t.r), (std::vector<BZDObject *>{&t.b}));
    EXPECT_EQ(t.a.nextSibling, nullptr);
    EXPECT_EQ(t.a.firstChild, &t.c); // its own subtree goes with it
    bz_Body_Unlink(&t.r);            // no parent: nothing changes
    EXPECT_EQ(t.r.nextSibling, &t.s);

    bz_Body_AttachChild(&t.d, &t.b);
    EXPECT_EQ(Children(&t.b), (std::vector<BZDObject *>{&t.d}));
    EXPECT_EQ(t.d.parent, &t.b);
    bz_Body_AttachChild(&t.a, &t.b);
    EXPECT_EQ(Children(&t.b), (std::vector<BZDObject *>{&t.a, &t.d}));

    // c (alone under a) and then the chain c -> extra moved in front of r's children.
    BZDObject extra = {};
    t.c.nextSibling = &extra;
    extra.parent = &t.a;
    bz_Body_AttachSiblingsTo(&t.c, &t.r);
    EXPECT_EQ(Children(&t.r), (std::vector<BZDObject *>{&t.c, &extra, &t.b}));
    EXPECT_EQ(t.c.parent, &t.r);
    EXPECT_EQ(extra.parent, &t.r);
}

TEST(BodyLinksTest, SaveAndRestoreTakeRecordsDepthFirstUpToTheCapacity)
{
    // r's chain from a: a, c, d, b (a's subtree, then its sibling) - five with r itself.
    Tree t;
    BZDObject room[8] = {};
    EXPECT_EQ(bz_Body_SaveTree(&t.a, room, 3), 0);
    EXPECT_FLOAT_EQ(room[0].mass, 2.0f); // a
    EXPECT_FLOAT_EQ(room[1].mass, 4.0f); // c
    EXPECT_FLOAT_EQ(room[2].mass, 5.0f); // d
    EXPECT_FLOAT_EQ(room[3].mass, 0.0f); // untouched

    // A tree of five bodies (r and its subtree; r's sibling s follows as well).
    BZDObject whole[8] = {};
    EXPECT_EQ(bz_Body_SaveTree(&t.r, whole, 8), 2);
    const float order[6] = {1, 2, 4, 5, 3, 6};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(whole[i].mass, order[i]) << i;
    EXPECT_EQ(bz_Body_SaveTree(&t.r, whole, 3), 0);

    // Changed bodies take their saved records back, links included.
    BZDObject full[8] = {};
    ASSERT_EQ(bz_Body_SaveTree(&t.r, full, 8), 2);
    t.c.mass = 40.0f;
    t.b.mass = 30.0f;
    t.d.nextSibling = &t.b;
    EXPECT_EQ(bz_Body_RestoreTree(&t.r, full, 8), 2);
    EXPECT_FLOAT_EQ(t.c.mass, 4.0f);
    EXPECT_FLOAT_EQ(t.b.mass, 3.0f);
    EXPECT_EQ(t.d.nextSibling, nullptr);
    // Room for two restores r and a only.
    t.c.mass = 40.0f;
    t.a.mass = 20.0f;
    EXPECT_EQ(bz_Body_RestoreTree(&t.r, full, 2), 0);
    EXPECT_FLOAT_EQ(t.a.mass, 2.0f);
    EXPECT_FLOAT_EQ(t.c.mass, 40.0f);
    EXPECT_EQ(bz_Body_RestoreTree(&t.r, full, 0), 0);
}

TEST(BodyLinksTest, MarksClimbToTheFirstStampedParent)
{
    Tree t;
    bz_Phys_SetIteration(7);
    t.r.contactStamp = 9;
    t.a.contactStamp = 9;
    t.c.contactStamp = 9;
    bz_Body_MarkTree(&t.c);
    EXPECT_EQ(t.c.gatherStamp, 7);
    EXPECT_EQ(t.a.gatherStamp, 7);
    EXPECT_EQ(t.r.gatherStamp, 7);
    // Only the last body stamped (the root here) loses its contact stamp.
    EXPECT_EQ(t.r.contactStamp, 0);
    EXPECT_EQ(t.a.contactStamp, 9);
    EXPECT_EQ(t.c.contactStamp, 9);

    // d climbs to a, already stamped: d is the last stamped.
    t.d.contactStamp = 9;
    bz_Body_MarkTree(&t.d);
    EXPECT_EQ(t.d.gatherStamp, 7);
    EXPECT_EQ(t.d.contactStamp, 0);
    EXPECT_EQ(t.a.contactStamp, 9);
    bz_Phys_SetIteration(0);

    bz_Body_MarkRootDisturbed(&t.d);
    EXPECT_EQ(t.r.disturbed, 1);
    EXPECT_EQ(t.a.disturbed, 0);
}
} // namespace

TEST(BodyLinksTest, CouplingStartsAfreshAndComponentProducts)
{
    BZDObject body = {}, partner = {}, other = {};
    bzPhysCoupling record = {};
    record.state = 1;
    record.partner = &other;
    body.coupling = &record;
    bz_Body_InitCoupling(&body, &partner);
    EXPECT_EQ(record.state, 0);
    EXPECT_EQ(record.partner, &partner);
    // No record, or the preparation's marker: nothing is written.
    BZDObject bare = {};
    bz_Body_InitCoupling(&bare, &partner);
    EXPECT_EQ(bare.coupling, nullptr);
    bare.coupling = BZ_PHYS_COUPLING_MARKER;
    bz_Body_InitCoupling(&bare, &partner);
    EXPECT_EQ(bare.coupling, BZ_PHYS_COUPLING_MARKER);

    const bzV3 a = {{{2, -3, 0.5f}}}, b = {{{4, 5, -6}}};
    bzV3 out;
    bz_V3_MulComponents(&a, &b, &out);
    EXPECT_EQ(out.x, 8.0f);
    EXPECT_EQ(out.y, -15.0f);
    EXPECT_EQ(out.z, -3.0f);
    bzV3 same = a;
    bz_V3_MulComponents(&same, &b, &same);
    EXPECT_EQ(same.y, -15.0f);
}
