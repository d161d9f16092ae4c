// Body boxes, the sorted root list, neighbour collection and the collision filter.
#include "physics/BroadPhase.h"

#include "collision/Shape.h"
#include "core/Debug.h"
#include "maths/Geometry.h"
#include "physics/PhysSettings.h"

#include <cmath>

namespace
{
float gForwardExtent = 0.0f;
float gBackwardExtent = 0.0f;

float KeyX(const BZDObject *b)
{
    return b->startTransform.row[3].x;
}

void PlacedBox(const BZDObject *body, const bzM34 *m, bzBox *out)
{
    if (body->form)
    {
        bz_Box_TransformInto(&body->form->bounds, m, out);
        return;
    }
    out->min = m->row[3];
    out->max = m->row[3];
}

void ComputeOne(BZDObject *body, bzBox *parentBox)
{
    bzBox atStart, atCurrent;
    PlacedBox(body, &body->startTransform, &atStart);
    PlacedBox(body, body->transform ? body->transform : &body->startTransform, &atCurrent);
    bz_Box_UnionInto(&atStart, &atCurrent, &body->bodyBox);
    const float grow = 1.5f * bzgPhysSettings.contactDistance;
    for (int i = 0; i < 3; ++i)
    {
        body->bodyBox.min.v[i] -= grow;
        body->bodyBox.max.v[i] += grow;
    }
    body->treeBox = body->bodyBox;
    if (body->physicsFlags & BZ_PHYS_ALT_TREE_BOX)
    {
        if (!parentBox)
            body->altTreeBox = body->bodyBox;
        else
            bz_Box_Enclose(&body->bodyBox, parentBox);
    }
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        ComputeOne(c, &body->treeBox);
        bz_Box_Enclose(&c->treeBox, &body->treeBox);
    }
}

bool StampsOverlap(const BZDObject *a, const BZDObject *b)
{
    return a->contactStamp <= b->gatherStamp && b->contactStamp <= a->gatherStamp;
}

// A body below a root is a candidate when it is the body itself (unless it gathers no body
// contacts) or its tree box overlaps the body's.
bool Candidate(const BZDObject *body, const BZDObject *s)
{
    if (s == body)
        return !(body->physicsFlags & BZ_PHYS_NO_BODY_CONTACT);
    return bz_Box_Overlap(&body->treeBox, &s->treeBox) != 0;
}

BZDObject **Take(BZDObject *b, BZDObject **tail)
{
    *tail = b;
    b->broadPhase = nullptr;
    return &b->broadPhase;
}
} // namespace

int32_t bz_Phys_BodiesMayCollide(const BZDObject *a, const BZDObject *b)
{
    BZ_ASSERT(a && b);
    if (!a || !b)
        return 0;
    if ((a->ignoreMask & b->groupMask) || (b->ignoreMask & a->groupMask))
        return 0;
    if ((a->physicsFlags | b->physicsFlags) & BZ_PHYS_NO_COLLISION)
        return 0;
    return 1;
}

void bz_Box_Enclose(const bzBox *a, bzBox *b)
{
    bz_Box_UnionInto(a, b, b);
}

void bz_Phys_ResetExtents()
{
    gForwardExtent = 0.0f;
    gBackwardExtent = 0.0f;
}

float bz_Phys_ForwardExtent()
{
    return gForwardExtent;
}

float bz_Phys_BackwardExtent()
{
    return gBackwardExtent;
}

void bz_Phys_ComputeBoxes(BZDObject *body, BZDObject *top, bzBox *parentBox)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    (void)top;
    ComputeOne(body, parentBox);
    if (!parentBox)
    {
        const float x = KeyX(body);
        gForwardExtent = std::fmax(gForwardExtent, body->treeBox.max.x - x);
        gBackwardExtent = std::fmin(gBackwardExtent, body->treeBox.min.x - x);
    }
}

void bz_Phys_ComputeListBoxes(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
        bz_Phys_ComputeBoxes(b, b, nullptr);
}

void bz_Phys_ResortRootBody(BZDObject *body, BZDObject **head)
{
    BZ_ASSERT(body && head);
    if (!body || !head)
        return;
    const float x = KeyX(body);
    BZDObject *prev = body->rootList, *next = body->nextSibling;
    if (prev && KeyX(prev) > x)
    {
        while (prev && KeyX(prev) > x)
            prev = prev->rootList;
        next = prev ? prev->nextSibling : *head;
    }
    else if (next && KeyX(next) < x)
    {
        while (next && KeyX(next) < x)
        {
            prev = next;
            next = next->nextSibling;
        }
    }
    else
        return;
    // Out of its old place...
    if (body->rootList)
        body->rootList->nextSibling = body->nextSibling;
    else
        *head = body->nextSibling;
    if (body->nextSibling)
        body->nextSibling->rootList = body->rootList;
    // ...and in between prev and next.
    body->rootList = prev;
    body->nextSibling = next;
    if (prev)
        prev->nextSibling = body;
    else
        *head = body;
    if (next)
        next->rootList = body;
}

BZDObject **bz_Phys_CollectNeighbours(BZDObject *body, BZDObject *start, BZDObject **out)
{
    BZ_ASSERT(body && out);
    if (!body || !out)
        return out;
    *out = nullptr;
    BZDObject **tail = out;
    if (start && !start->parent)
    {
        const float low = body->treeBox.min.x - gForwardExtent;
        const float high = body->treeBox.max.x - gBackwardExtent;
        for (BZDObject *r = body->rootList; r && KeyX(r) >= low; r = r->rootList)
        {
            if (StampsOverlap(body, r) && bz_Box_Overlap(&body->treeBox, &r->treeBox))
                tail = Take(r, tail);
        }
        for (BZDObject *r = body->nextSibling; r && KeyX(r) <= high; r = r->nextSibling)
        {
            if (StampsOverlap(body, r) && bz_Box_Overlap(&body->treeBox, &r->treeBox))
                tail = Take(r, tail);
        }
    }
    else
    {
        for (BZDObject *s = start; s; s = s->nextSibling)
        {
            if (Candidate(body, s))
                tail = Take(s, tail);
        }
    }
    // Each generation's children behind it, until a generation takes nobody.
    BZDObject *generation = *out;
    while (generation)
    {
        BZDObject **generationEnd = tail;
        for (BZDObject *g = generation;; g = g->broadPhase)
        {
            for (BZDObject *s = g->firstChild; s; s = s->nextSibling)
            {
                if (Candidate(body, s))
                    tail = Take(s, tail);
            }
            if (&g->broadPhase == generationEnd)
                break;
        }
        generation = *generationEnd;
    }
    return tail;
}

BZDObject **bz_Phys_SplitOverlapping(BZDObject *body, BZDObject **chainHead)
{
    BZ_ASSERT(body && chainHead);
    if (!body || !chainHead)
        return chainHead;
    // The bodies apart are linked straight back from the chain's head, the others gathered
    // behind them.
    BZDObject *near = nullptr;
    BZDObject **nearTail = &near;
    BZDObject **apartTail = chainHead;
    BZDObject *b = *chainHead;
    *chainHead = nullptr;
    while (b)
    {
        BZDObject *next = b->broadPhase;
        if (b == body || bz_Box_Overlap(&body->treeBox, &b->treeBox))
            nearTail = Take(b, nearTail);
        else
            apartTail = Take(b, apartTail);
        b = next;
    }
    *apartTail = near;
    return apartTail;
}

namespace
{
BZDObject **ChainBelow(BZDObject *body, BZDObject **tail)
{
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        tail = Take(c, tail);
        tail = ChainBelow(c, tail);
    }
    return tail;
}
} // namespace

void bz_Phys_ChainTree(BZDObject *root)
{
    BZ_ASSERT(root);
    if (!root)
        return;
    BZDObject *head = nullptr;
    Take(root, &head);
    ChainBelow(root, &root->broadPhase);
}

BZDObject **bz_Phys_ChainBoxBodies(BZDObject *body, BZDObject **tail)
{
    BZ_ASSERT(body && tail);
    if (!body || !tail)
        return tail;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        if (c->physicsFlags & BZ_PHYS_ALT_TREE_BOX)
            tail = bz_Phys_ChainBoxBodies(c, tail);
        else
            tail = Take(c, tail);
    }
    return tail;
}
