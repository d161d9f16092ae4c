// Links, walks, saving and marks of body trees.
#include "physics/BodyLinks.h"

#include "core/Debug.h"
#include "physics/BodyWeld.h"
#include "physics/Coupling.h"
#include "physics/PhysSettings.h"

BZDObject *bz_Body_Root(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return nullptr;
    while (body->parent)
        body = body->parent;
    return body;
}

BZDObject *bz_Body_NextInSubtree(BZDObject *body, BZDObject *subtreeRoot)
{
    BZ_ASSERT(body && subtreeRoot);
    if (!body || !subtreeRoot)
        return nullptr;
    if (body->firstChild)
        return body->firstChild;
    for (BZDObject *b = body; b && b != subtreeRoot; b = b->parent)
    {
        if (b->nextSibling)
            return b->nextSibling;
    }
    return nullptr;
}

int32_t bz_Body_FindInTree(BZDObject *body, int32_t (*fn)(BZDObject *, void *), void *user)
{
    BZ_ASSERT(body && fn);
    if (!body || !fn)
        return 0;
    if (const int32_t r = fn(body, user))
        return r;
    for (BZDObject *c = body->firstChild; c; c = c->nextSibling)
    {
        if (const int32_t r = bz_Body_FindInTree(c, fn, user))
            return r;
    }
    return 0;
}

void bz_Body_Unlink(BZDObject *body)
{
    BZ_ASSERT(body);
    BZDObject *parent = body ? body->parent : nullptr;
    if (!parent)
        return;
    for (BZDObject **link = &parent->firstChild; *link; link = &(*link)->nextSibling)
    {
        if (*link == body)
        {
            *link = body->nextSibling;
            break;
        }
    }
    body->parent = nullptr;
    body->nextSibling = nullptr;
}

void bz_Body_AttachChild(BZDObject *body, BZDObject *parent)
{
    BZ_ASSERT(body && parent && !body->parent);
    if (!body || !parent || body->parent)
        return;
    body->parent = parent;
    body->nextSibling = parent->firstChild;
    parent->firstChild = body;
}

void bz_Body_AttachSiblingsTo(BZDObject *body, BZDObject *parent)
{
    BZ_ASSERT(body && parent);
    if (!body || !parent)
        return;
    BZDObject *last = body;
    for (BZDObject *b = body; b; b = b->nextSibling)
    {
        b->parent = parent;
        last = b;
    }
    last->nextSibling = parent->firstChild;
    parent->firstChild = body;
}

namespace
{
// Copies the records of the sibling chain from body and their subtrees; returns the capacity
// left.
template <typename Copy>
int32_t CopyList(BZDObject *body, int32_t capacity, int32_t *index, Copy copy)
{
    for (BZDObject *b = body; b && capacity > 0; b = b->nextSibling)
    {
        // The links are read before a restore may write them.
        BZDObject *child = b->firstChild, *next = b->nextSibling;
        copy(b, (*index)++);
        --capacity;
        capacity = CopyList(child, capacity, index, copy);
        if (!next)
            break;
    }
    return capacity;
}
} // namespace

int32_t bz_Body_SaveTree(BZDObject *body, BZDObject *buffer, int32_t capacity)
{
    BZ_ASSERT(buffer || capacity <= 0);
    if (!body || capacity <= 0)
        return capacity > 0 ? capacity : 0;
    int32_t index = 0;
    return CopyList(body, capacity, &index, [buffer](BZDObject *b, int32_t i) { buffer[i] = *b; });
}

int32_t bz_Body_RestoreTree(BZDObject *body, const BZDObject *buffer, int32_t capacity)
{
    BZ_ASSERT(buffer || capacity <= 0);
    if (!body || capacity <= 0)
        return capacity > 0 ? capacity : 0;
    int32_t index = 0;
    return CopyList(body, capacity, &index, [buffer](BZDObject *b, int32_t i) { *b = buffer[i]; });
}

void bz_Body_MarkTree(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return;
    const uint16_t now = bz_Phys_Iteration();
    BZDObject *last = body;
    body->gatherStamp = now;
    for (BZDObject *p = body->parent; p && p->gatherStamp != now; p = p->parent)
    {
        p->gatherStamp = now;
        last = p;
    }
    last->contactStamp = 0;
}

void bz_Body_MarkRootDisturbed(BZDObject *body)
{
    if (BZDObject *root = bz_Body_Root(body))
        root->disturbed = 1;
}

void bz_Body_InitCoupling(BZDObject *body, BZDObject *partner)
{
    BZ_ASSERT(body);
    if (!body || !body->coupling || body->coupling == BZ_PHYS_COUPLING_MARKER)
        return;
    auto *c = static_cast<bzPhysCoupling *>(body->coupling);
    c->state = 0;
    c->partner = partner;
}

void bz_V3_MulComponents(const bzV3 *a, const bzV3 *b, bzV3 *out)
{
    BZ_ASSERT(a && b && out);
    if (!a || !b || !out)
        return;
    const bzV3 r = {{{a->x * b->x, a->y * b->y, a->z * b->z}}};
    *out = r;
}
