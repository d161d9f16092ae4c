// Flattened body lists, energy, normal speeds, below-level marking and the consistency checks.
#include "physics/ConstraintRow.h"
#include "physics/PhysObjectLists.h"

#include "collision/CollisionTolerance.h"
#include "collision/FaceList.h"
#include "collision/ShapePair.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/WorldCollision.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
float gStoredSpeeds[BZ_PHYS_STORED_SPEEDS];
bzPhysShapeTextWriter gShapeTextWriter;

// One walk around a group ring: Next() gives each root once, the given root first, and null
// when they are done. The ring is measured first: it either comes back to its root, or ends in
// a null link, or runs into a loop that leaves the root out (found by a second pointer at half
// speed); the last two count as broken, and the walk then gives every root reached once.
class RingWalk
{
public:
    explicit RingWalk(BZDObject *root) : next_(root), left_(Measure(root)) {}

    BZDObject *Next()
    {
        if (left_ == 0 || !next_)
            return nullptr;
        --left_;
        BZDObject *current = next_;
        next_ = current->ring;
        return current;
    }
    bool broken() const { return broken_; }

private:
    uint32_t Measure(BZDObject *root)
    {
        if (!root)
            return 0;
        BZDObject *fast = root, *slow = root;
        uint32_t i = 0;
        for (;;)
        {
            BZDObject *after = fast->ring;
            if (!after || after == root)
            {
                // A root's own null link makes it a group of one; anywhere else it is a break.
                broken_ = !after && i > 0;
                return i + 1;
            }
            fast = after;
            ++i;
            if (i % 2 == 0)
                slow = slow->ring;
            if (fast == slow)
                break;
        }
        // fast is root + i links on, slow root + i / 2: their distance is a whole number of
        // turns of the loop. Walking from the root and from the node that many links on meets
        // where the loop starts; the roots are those before it and the loop's own.
        broken_ = true;
        BZDObject *a = root, *b = root;
        for (uint32_t k = 0; k < i - i / 2; ++k)
            b = b->ring;
        uint32_t lead = 0;
        while (a != b)
        {
            a = a->ring;
            b = b->ring;
            ++lead;
        }
        uint32_t loop = 1;
        for (BZDObject *r = a->ring; r != a; r = r->ring)
            ++loop;
        return lead + loop;
    }

    BZDObject *next_;
    bool broken_ = false;
    uint32_t left_;
};

const bzM34 *CurrentPlacement(const BZDObject *body)
{
    return body->transform ? body->transform : &body->startTransform;
}

bool IsFinite(float f)
{
    return std::isfinite(f);
}
} // namespace

// --- flat lists ----------------------------------------------------------------------------

BZDObject **bz_PhysObject_AppendDescendants(BZDObject *body, BZDObject **slot)
{
    BZ_ASSERT(body && slot);
    if (!body || !slot)
        return slot;
    for (BZDObject *child = body->firstChild; child; child = child->nextSibling)
    {
        *slot = child;
        slot = bz_PhysObject_AppendDescendants(child, &child->flatNext);
    }
    *slot = nullptr;
    return slot;
}

BZDObject *bz_PhysObject_FlattenTree(BZDObject *first)
{
    BZDObject *head = nullptr;
    BZDObject **slot = &head;
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        *slot = b;
        slot = bz_PhysObject_AppendDescendants(b, &b->flatNext);
    }
    *slot = nullptr;
    return head;
}

BZDObject *bz_PhysGroup_Flatten(BZDObject *root)
{
    BZDObject *head = nullptr;
    BZDObject **slot = &head;
    RingWalk walk(root);
    while (BZDObject *r = walk.Next())
    {
        *slot = r;
        slot = bz_PhysObject_AppendDescendants(r, &r->flatNext);
    }
    *slot = nullptr;
    return head;
}

void bz_PhysObject_ApplyPendingVelocities(BZDObject *first)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        b->linearVelocity = b->pendingLinearVelocity;
        b->angularVelocity = b->pendingAngularVelocity;
        b->pendingStepWord = 0;
        bz_PhysObject_ApplyPendingVelocities(b->firstChild);
    }
}

// --- energy --------------------------------------------------------------------------------

float bz_PhysObject_KineticEnergy(const BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body)
        return 0.0f;
    const bzV3 &w = body->angularVelocity;
    const bzV3 &I = body->principalMoments;
    return body->mass * bz_V3_LengthSq(&body->linearVelocity) + I.x * w.x * w.x + I.y * w.y * w.y +
           I.z * w.z * w.z;
}

float bz_PhysObject_SumEnergy(const BZDObject *body, float *mass)
{
    BZ_ASSERT(body && mass);
    if (!body || !mass)
        return 0.0f;
    *mass += body->mass;
    float energy = bz_Phys_IsFixed(body->physicsFlags) ? 0.0f : bz_PhysObject_KineticEnergy(body);
    for (const BZDObject *child = body->firstChild; child; child = child->nextSibling)
        energy += bz_PhysObject_SumEnergy(child, mass);
    return energy;
}

float bz_PhysGroup_MeanEnergy(BZDObject *root)
{
    float mass = 0.0f, energy = 0.0f;
    RingWalk walk(root);
    while (BZDObject *r = walk.Next())
        energy += bz_PhysObject_SumEnergy(r, &mass);
    // A group without mass has no mean; 0 rather than a division by it.
    return mass > 0.0f ? energy / mass : 0.0f;
}

// --- normal speeds -------------------------------------------------------------------------

namespace
{
float SideSpeed(const BZDObject *body, const bzV3 &point, const bzV3 &normal)
{
    bzV3 v;
    bz_V3_CrossInto(&body->angularVelocity, &point, &v);
    bz_V3_Add(&v, &body->velocityChange);
    return -bz_V3_Dot(&v, &normal);
}
} // namespace

float bz_PhysContact_NormalSpeed(const bzPhysRow *row)
{
    BZ_ASSERT(row && row->bodyA);
    if (!row || !row->bodyA)
        return 0.0f;
    float speed = SideSpeed(row->bodyA, row->rA, row->nA);
    if (row->bodyB)
        speed += SideSpeed(row->bodyB, row->rB, row->nB);
    return speed;
}

void bz_PhysContacts_StoreNormalSpeeds(const bzPhysRow *const *rows, int32_t count)
{
    if (!rows)
        return;
    for (int32_t i = 0; i < count && i < BZ_PHYS_STORED_SPEEDS; ++i)
        if (rows[i] && !(rows[i]->type & BZ_ROW_ANGULAR))
            gStoredSpeeds[i] = bz_PhysContact_NormalSpeed(rows[i]);
}

float bz_PhysContacts_StoredNormalSpeed(int32_t i)
{
    return i >= 0 && i < BZ_PHYS_STORED_SPEEDS ? gStoredSpeeds[i] : 0.0f;
}

// --- below-level marking -------------------------------------------------------------------

void bz_PhysObject_MarkFacesBelowLevel(BZDObject *body)
{
    BZ_ASSERT(body);
    if (!body || !(body->physicsFlags & BZ_PHYS_MARK_BELOW_LEVEL) || body->levelOffset == 0.0f)
    {
        // The every-face-below flag is left as it was: with level 0 nothing reads it.
        bz_PhysWorld_SetLevel(0.0f, bz_PhysWorld_EveryFaceBelow());
        return;
    }
    const float level = body->levelHeight + body->levelOffset;
    int32_t allBelow = 1;
    const float threshold = level - bzCollisionTolerance;
    // The same face set the world collision reads.
    int32_t count = 0;
    bzCollisionFace *faces = bz_PhysWorld_FaceSet(body, &count);
    for (int32_t i = 0; i < count; ++i)
    {
        bzCollisionFace &face = faces[i];
        if (face.corners[0].y < threshold && face.corners[1].y < threshold &&
            face.corners[2].y < threshold)
        {
            face.flags |= BZ_FACE_BELOW_LEVEL;
        }
        else
        {
            face.flags &= ~BZ_FACE_BELOW_LEVEL;
            allBelow = 0;
        }
    }
    bz_PhysWorld_SetLevel(level, allBelow);
}

// --- NaN and ring checks -------------------------------------------------------------------

int32_t bz_Phys_CheckSumFinite(const float *values, int32_t count)
{
    if (!values || count <= 0)
        return 1;
    float sum[4] = {};
    int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (int k = 0; k < 4; ++k)
            sum[k] += values[i + k];
    float total = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    for (; i < count; ++i)
        total += values[i];
    if (IsFinite(total))
        return 1;
    bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, BZ_PHYS_NAN_TEXT);
    return 0;
}

int32_t bz_PhysObject_CheckFinite(const BZDObject *body)
{
    if (!body)
        return 1;
    bzV3 v;
    bz_V3_AddInto(&body->velocityChange, &body->linearVelocity, &v);
    if (IsFinite(bz_V3_Dot(&v, &body->angularVelocity)))
        return 1;
    bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, BZ_PHYS_NAN_TEXT);
    return 0;
}

int32_t bz_PhysGroup_CheckRing(BZDObject *root)
{
    int32_t steps = 0, reports = 0;
    RingWalk walk(root);
    while (walk.Next())
    {
        if (++steps > BZ_PHYS_GROUP_RING_LIMIT)
        {
            bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, BZ_PHYS_CORRUPT_GROUP_TEXT);
            ++reports;
        }
    }
    // A ring that never comes back is reported once, unless its length already was.
    if (walk.broken() && steps <= BZ_PHYS_GROUP_RING_LIMIT)
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, BZ_PHYS_CORRUPT_GROUP_TEXT);
        ++reports;
    }
    return reports;
}

// --- overlap audits ------------------------------------------------------------------------

int32_t bz_PhysObject_TreesOverlap(const BZDObject *a, const BZDObject *b)
{
    BZ_ASSERT(a && b);
    if (!a || !b)
        return 0;
    if (bz_Form_IntersectForm(a->form, CurrentPlacement(a), b->form, CurrentPlacement(b)))
        return 1;
    for (const BZDObject *c = a->firstChild; c; c = c->nextSibling)
        if (bz_PhysObject_TreesOverlap(c, b))
            return 1;
    for (const BZDObject *c = b->firstChild; c; c = c->nextSibling)
        if (bz_PhysObject_TreesOverlap(a, c))
            return 1;
    return 0;
}

namespace
{
bool PairAudited(const BZDObject *a, const BZDObject *b)
{
    if (a->parent == b || b->parent == a)
        return false;
    if ((a->groupMask & b->ignoreMask) || (b->groupMask & a->ignoreMask))
        return false;
    return !((a->physicsFlags | b->physicsFlags) & BZ_PHYS_NO_COLLISION);
}

bool PairCounted(const BZDObject *a, const BZDObject *b)
{
    return !(a->parent && a->parent == b->parent &&
             (a->parent->physicsFlags & BZ_PHYS_NO_CHILD_AUDIT));
}

bool OverlapAtStart(const BZDObject *a, const BZDObject *b)
{
    return bz_Form_IntersectForm(a->form, &a->startTransform, b->form, &b->startTransform) != 0;
}

bool OverlapNow(const BZDObject *a, const BZDObject *b)
{
    return bz_Form_IntersectForm(a->form, CurrentPlacement(a), b->form, CurrentPlacement(b)) != 0;
}

template <typename Test> int32_t AuditPairs(BZDObject *head, bool filtered, Test test)
{
    for (BZDObject *a = head; a; a = a->flatNext)
        for (BZDObject *b = a->flatNext; b; b = b->flatNext)
        {
            if (filtered && !PairAudited(a, b))
                continue;
            if (test(a, b) && (!filtered || PairCounted(a, b)))
                return 1;
        }
    return 0;
}
} // namespace

int32_t bz_PhysGroup_OverlapsAtStart(BZDObject *first)
{
    return AuditPairs(bz_PhysObject_FlattenTree(first), true, OverlapAtStart);
}

int32_t bz_PhysGroup_NewOverlaps(BZDObject *first)
{
    return AuditPairs(bz_PhysObject_FlattenTree(first), true,
                      [](const BZDObject *a, const BZDObject *b)
                      { return OverlapNow(a, b) && !OverlapAtStart(a, b); });
}

int32_t bz_PhysGroup_AnyOverlap(BZDObject *root)
{
    return AuditPairs(bz_PhysGroup_Flatten(root), false, OverlapNow);
}

// --- the collision-group dump --------------------------------------------------------------

void bz_PhysGroup_SetShapeTextWriter(bzPhysShapeTextWriter writer)
{
    gShapeTextWriter = writer;
}

namespace
{
constexpr uint32_t kMarkerBytes = sizeof(BZ_PHYS_DUMP_TRUNCATED) - 1;
// The room the entries may use: the buffer less the marker.
constexpr uint32_t kTextRoom = BZ_PHYS_DUMP_BYTES - kMarkerBytes;

// Appends into the dump buffer without ever passing kTextRoom. A body's entry is appended whole
// or not at all: Begin marks where it starts, and a text that does not fit rolls the text back
// there and stops the dump.
class DumpText
{
public:
    explicit DumpText(char *buffer) : buffer_(buffer) {}

    void Begin() { partStart_ = length_; }
    void Print(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (full_)
            return;
        va_list args;
        va_start(args, format);
        // One more byte for vsnprintf's terminator: the buffer holds the marker's room beyond.
        const uint32_t room = kTextRoom - length_;
        const int n = std::vsnprintf(buffer_ + length_, room + 1, format, args);
        va_end(args);
        Advance(n, room);
    }
    void ShapeText(const bzForm *form)
    {
        if (full_ || !gShapeTextWriter)
            return;
        // A writer that fills its whole room may have been cut short.
        const uint32_t room = kTextRoom - length_;
        if (room == 0)
            return Advance(-1, 0);
        Advance(gShapeTextWriter(buffer_ + length_, static_cast<int32_t>(room), form, 1), room - 1);
    }
    void Placement(const bzM34 *m)
    {
        for (const bzV3 &row : m->row)
            Print("%g,%g,%g\n", row.x, row.y, row.z);
    }
    bool full() const { return full_; }
    // Closes the text: the marker after a dump cut short. Returns its length.
    uint32_t Finish()
    {
        if (full_)
        {
            std::memcpy(buffer_ + length_, BZ_PHYS_DUMP_TRUNCATED, kMarkerBytes);
            length_ += kMarkerBytes;
        }
        return length_;
    }

private:
    // Takes n characters just written; more than limit (or a failure) cuts the dump: the body's
    // entry goes.
    void Advance(int n, uint32_t limit)
    {
        if (n < 0 || static_cast<uint32_t>(n) > limit)
        {
            length_ = partStart_;
            full_ = true;
            return;
        }
        length_ += static_cast<uint32_t>(n);
    }

    char *buffer_;
    uint32_t length_ = 0;
    uint32_t partStart_ = 0;
    bool full_ = false;
};

void DumpBody(DumpText &text, const BZDObject *body)
{
    text.Begin();
    text.Print("[object]\n<shape>\n");
    text.ShapeText(body->form);
    text.Print("<start_pos>\n");
    text.Placement(&body->startTransform);
    text.Print("<end_pos>\n");
    text.Placement(CurrentPlacement(body));
}

void DumpTree(DumpText &text, const BZDObject *body)
{
    for (; body && !text.full(); body = body->nextSibling)
    {
        DumpBody(text, body);
        DumpTree(text, body->firstChild);
    }
}
} // namespace

int32_t bz_PhysGroup_DumpCollisionGroup(BZDObject *root)
{
    auto *buffer = static_cast<char *>(bz_TempStack_Alloc(1, BZ_PHYS_DUMP_BYTES, 0));
    if (!buffer)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    DumpText text(buffer);
    RingWalk walk(root);
    while (BZDObject *r = walk.Next())
    {
        if (text.full())
            break;
        // The root and its subtree, not the root's siblings.
        DumpBody(text, r);
        DumpTree(text, r->firstChild);
    }
    const uint32_t length = text.Finish();
    int32_t result = BZ_ERROR_NONE;
    bzFileHandle *file = bz_FileOpen(BZ_PHYS_DUMP_FILE_NAME, "wb");
    if (!file)
        result = BZ_ERROR_FILE_NOT_FOUND;
    else
    {
        if (length && bz_FileWrite(file, buffer, length) != length)
            result = BZ_ERROR_FILE_NOT_FOUND;
        if (bz_FileClose(file) != 0)
            result = BZ_ERROR_FILE_NOT_FOUND;
    }
    const int32_t released = bz_TempStack_Free(1, buffer);
    if (result != BZ_ERROR_NONE)
        return bzgLastError = result;
    return released;
}
