// A small world of bodies for the physics step's tests: boxes with their forms, owners and
// transforms, the gravity the dynamics layer applies between steps, and collision providers
// that stand in for the world and object collision: a scripted one that hands out contact rows
// given by the test and logs every call, and one for a flat ground (y = 0, or a tilted plane)
// under boxes and spheres.
#pragma once

#include "collision/CollisionFace.h"
#include "collision/CollisionTolerance.h"
#include "collision/Shape.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyContact.h"
#include "physics/BodyMass.h"
#include "physics/Bounce.h"
#include "physics/ConstraintRow.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace physworld
{
inline bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// An owner record: its second word names the body, as the physics expects of owners.
struct Owner
{
    void *first;
    BZDObject *body;
};

// A box (or, with radius > 0, a sphere) body with its own transform, form and owner.
struct Body
{
    BZDObject b = {};
    bzM34 m;
    bzForm form = {};
    Owner owner = {};
    float radius = 0.0f; // a sphere for the ground provider when above 0
    std::string name;

    Body() { Place(0, 0, 0); }
    // Its weight and any other contacts go back to the pools.
    ~Body() { bz_Body_ReturnAllContacts(&b); }
    Body(const Body &) = delete;
    Body &operator=(const Body &) = delete;

    // A solid box of the given full extents and mass at (x, y, z).
    void Box(const std::string &n, float mass, bzV3 extents, bzV3 at)
    {
        name = n;
        b.mass = mass;
        b.density = 1.0f;
        b.inertiaScale = 1.0f;
        bz_Phys_BoxMoments(mass > 0.0f ? mass : 1.0f, &extents, &b.principalMoments);
        form.bounds.min = V(-extents.x / 2, -extents.y / 2, -extents.z / 2);
        form.bounds.max = V(extents.x / 2, extents.y / 2, extents.z / 2);
        b.form = &form;
        owner = {nullptr, &b};
        b.owner = &owner;
        b.groupMask = 1;
        Place(at.x, at.y, at.z);
    }
    void Sphere(const std::string &n, float mass, float r, bzV3 at)
    {
        Box(n, mass, V(2 * r, 2 * r, 2 * r), at);
        radius = r;
        bz_Phys_SphereMoments(mass, r, &b.principalMoments);
    }
    void Place(float x, float y, float z)
    {
        bz_M34_SetIdentity(&b.startTransform);
        b.startTransform.row[3] = V(x, y, z);
        m = b.startTransform;
        b.transform = &m;
    }
    bzV3 Position() const { return m.row[3]; }
};

// Drops a body's bounce records (taken from the heap on its first bounce) when it goes.
struct ForgetBounces
{
    BZDObject *body;
    ~ForgetBounces() { bz_Phys_ForgetBounceRecords(body, body); }
};

// Chains the bodies as the world's root list (next-sibling links) and returns the head.
inline BZDObject *Link(const std::vector<Body *> &bodies)
{
    BZDObject *head = nullptr;
    for (auto it = bodies.rbegin(); it != bodies.rend(); ++it)
    {
        (*it)->b.nextSibling = head;
        (*it)->b.rootList = nullptr;
        head = &(*it)->b;
    }
    return head;
}

// The dynamics layer's frame around a step, as the game runs it. Every body lives in the air
// medium: its weight is a permanent acceleration contact (0, -g, 0) kept in its first special
// contact slot, renewed when g changes and left alone while the body sleeps (an infinite-mass
// body has none). The frame update of each body of the list (and of their children) then saves
// its frame-start state: its contacts are applied, so the body's frame-start velocity holds the
// velocity change of the frame, and its force list is applied. Then the step runs.
inline void Weigh(BZDObject *first, float g)
{
    for (BZDObject *b = first; b; b = b->nextSibling)
    {
        Weigh(b->firstChild, g);
        if (b->asleep)
            continue;
        bzPhysContactLink *&weight = b->specialContacts[0];
        const bzV3 w = V(0.0f, -g, 0.0f);
        if (weight && weight->record->vector.y == w.y)
            continue;
        if (weight)
        {
            bz_Body_ReturnContact(weight, b);
            weight = nullptr;
        }
        if (g != 0.0f && !(b->physicsFlags & BZ_PHYS_INF_MASS))
            weight = bz_Body_AddContactAtPoint(b, &w, nullptr, 0.0f, 0);
    }
}

// One frame: the bodies' weights, their frame update, then the step. The contact pools are made
// on the first frame; each Body gives its contacts back when it goes.
inline void Frame(BZDObject **head, float g, bzPhysStepCallBack *callBack = nullptr)
{
    bz_Phys_CreateContactPools();
    Weigh(*head, g);
    const float dt = bzgPhysSettings.timeStep;
    bz_Body_SaveFrameStartState(*head, dt, 1);
    bz_Body_ApplyForceList(*head, dt, 1);
    bz_Phys_Step(head, callBack);
}

// The world's gravity (0, -g, 0) for the rest test, as the world record gives it.
inline float &WorldG()
{
    static float g = 10.0f;
    return g;
}
inline void WorldGravity(float g)
{
    WorldG() = g;
    bzgPhysWorld.gravity = [](const BZDObject *, bzV3 *out) { *out = V(0.0f, -WorldG(), 0.0f); };
}

// The game's settings of the physics.
inline void GameSettings()
{
    bz_Phys_ResetSettings();
    bzgPhysSettings.timeStep = 0.04f;
    bzgPhysSettings.contactSpeedTolerance = 0.025f;
    bzgPhysSettings.contactDistance = 0.001f;
    bzgPhysSettings.restFactor = 10.0f;
    bzgPhysSettings.frictionPassLimit = 3;
}

// The world a scenario runs in: the game's settings, the services reset (then `install` when
// given), gravity g, the built-in substances and the physics memory reserved. Returns what
// bz_PhysMem_Reserve returns.
inline int32_t StartScenario(float g, void (*install)() = nullptr)
{
    GameSettings();
    bz_Phys_ResetServices();
    if (install)
        install();
    WorldGravity(g);
    bz_Substance_RegisterBuiltIns();
    return bz_PhysMem_Reserve();
}

// A contact row of a body against the world at a point (body frame, from the centre of mass)
// with a normal (body frame) pushing the body.
inline bzPhysRow WorldRow(BZDObject *body, bzV3 point, bzV3 normal, float weight = 1.0f)
{
    bzPhysRow r = {};
    r.weight = weight;
    r.bodyA = body;
    r.type = BZ_ROW_CONTACT_PULLED;
    r.rA = point;
    r.nA = normal;
    return r;
}

// A contact row between two bodies: the point and normal in a's frame pushing a, and in b's.
inline bzPhysRow PairRow(BZDObject *a, BZDObject *b, bzV3 pointA, bzV3 normalA, bzV3 pointB,
                         bzV3 normalB)
{
    bzPhysRow r = {};
    r.weight = 1.0f;
    r.bodyA = a;
    r.bodyB = b;
    r.type = BZ_ROW_CONTACT_TURN;
    r.rA = pointA;
    r.nA = normalA;
    r.rB = pointB;
    r.nB = normalB;
    return r;
}

// The scripted provider: rows handed out for a body (world) or an ordered pair (pair), the
// same rows on every call, and a log of every call with the iteration it came in.
struct Script
{
    struct Entry
    {
        BZDObject *a;
        BZDObject *b; // null: world rows of a
        std::vector<bzPhysRow> rows;
    };
    std::vector<Entry> entries;
    std::vector<std::string> log;
    std::vector<uint16_t> iterations;
    std::vector<std::pair<BZDObject *, std::string>> names;

    static Script *&Current()
    {
        static Script *current = nullptr;
        return current;
    }
    std::string Name(BZDObject *body) const
    {
        for (const auto &n : names)
        {
            if (n.first == body)
                return n.second;
        }
        return "?";
    }
    static int32_t Give(int32_t start, BZDObject *a, BZDObject *b, bzCollisionContact *contacts)
    {
        Script *s = Current();
        s->log.push_back(b ? "P:" + s->Name(a) + "," + s->Name(b) : "W:" + s->Name(a));
        s->iterations.push_back(bz_Phys_Iteration());
        auto *rows = reinterpret_cast<bzPhysRow *>(contacts);
        int32_t n = 0;
        for (const Entry &e : s->entries)
        {
            if (e.a != a || e.b != b)
                continue;
            for (const bzPhysRow &r : e.rows)
            {
                if (start + n < BZ_PHYS_CONTACT_ARRAY)
                    rows[start + n++] = r;
            }
        }
        return n;
    }
    static int32_t World(int32_t start, BZDObject *body, bzCollisionContact *contacts)
    {
        return Give(start, body, nullptr, contacts);
    }
    static int32_t Pair(int32_t start, BZDObject *a, BZDObject *b, bzCollisionContact *contacts)
    {
        return Give(start, a, b, contacts);
    }
    Script()
    {
        Current() = this;
        const bzPhysCollisionProvider p = {World, Pair, nullptr};
        bz_Phys_SetCollisionProvider(&p);
    }
    ~Script()
    {
        bz_Phys_SetCollisionProvider(nullptr);
        Current() = nullptr;
    }
    void Name(Body &body) { names.push_back({&body.b, body.name}); }
};

// The ground: a plane through the origin with a unit up normal (y = 0 by default). Boxes touch
// it at the corners of their form boxes, swept over the step as the world collision sweeps a
// vertex against a face (SweepCorner); spheres touch it at their lowest point, which counts
// when it lies within the contact distance above the plane or below it.
struct Ground
{
    bzV3 normal = V(0, 1, 0);
    std::vector<Body *> spheres;
    bzCollisionFace face = {}; // the plane, as the face box rows are found on

    static Ground *&Current()
    {
        static Ground *current = nullptr;
        return current;
    }
    // A contact at a body point (body frame) that lies within reach of the plane: its weight is
    // the fraction of the step at which the point came within reach, 0 when it was there at the
    // start of the step.
    static void Add(BZDObject *body, bzPhysRow *rows, int32_t start, int32_t *n, const bzV3 &local,
                    const bzV3 &up, float reach)
    {
        if (start + *n >= BZ_PHYS_CONTACT_ARRAY)
            return;
        bzV3 w0, w1, r, normal;
        bz_M34_TransformPointInto(&body->startTransform, &w0, &local);
        bz_M34_TransformPointInto(body->transform, &w1, &local);
        const float h0 = bz_V3_Dot(&w0, &up) - reach, h1 = bz_V3_Dot(&w1, &up) - reach;
        bz_V3_SubInto(&local, &body->centreOfMass, &r);
        bz_M34_InverseRotateV3Into(&body->startTransform, &normal, &up);
        const float weight = h0 > 0.0f && h1 < h0 ? h0 / (h0 - h1) : 0.0f;
        rows[start + (*n)++] = WorldRow(body, r, normal, weight);
    }
    // A box corner swept from its start-of-step place to its current one, as the world
    // collision sweeps a vertex against a face: moving towards the plane, it touches it at the
    // fraction of the step where it crosses it, or at the end (1) when it ends within the
    // collision tolerance above it. A corner that starts below the plane and stays below touches
    // it at the start (0). The row names the plane as the face it was found on.
    void SweepCorner(BZDObject *body, bzPhysRow *rows, int32_t start, int32_t *n,
                     const bzV3 &corner)
    {
        if (start + *n >= BZ_PHYS_CONTACT_ARRAY)
            return;
        bzV3 w0, w1;
        bz_M34_TransformPointInto(&body->startTransform, &w0, &corner);
        bz_M34_TransformPointInto(body->transform, &w1, &corner);
        const float h0 = bz_V3_Dot(&w0, &normal), h1 = bz_V3_Dot(&w1, &normal);
        float key;
        if (h0 < 0.0f && h1 < 0.0f)
            key = 0.0f;
        else if (h0 >= 0.0f && h1 < h0 && h1 <= bzCollisionTolerance)
            key = h1 < 0.0f ? h0 / (h0 - h1) : 1.0f;
        else
            return;
        bzV3 r, n2;
        bz_V3_SubInto(&corner, &body->centreOfMass, &r);
        bz_M34_InverseRotateV3Into(&body->startTransform, &n2, &normal);
        face.normal = normal;
        face.distance = 0.0f;
        bzPhysRow &row = rows[start + (*n)++];
        row = WorldRow(body, r, n2, key);
        row.link.surface = &face;
    }
    static int32_t World(int32_t start, BZDObject *body, bzCollisionContact *contacts)
    {
        Ground *g = Current();
        auto *rows = reinterpret_cast<bzPhysRow *>(contacts);
        const float reach = bzgPhysSettings.contactDistance;
        int32_t n = 0;
        if (!body->form || !body->transform)
            return 0;
        for (Body *s : g->spheres)
        {
            if (&s->b != body)
                continue;
            bzV3 c = body->transform->row[3];
            if (bz_V3_Dot(&c, &g->normal) - s->radius < reach)
            {
                bzV3 down, local;
                bz_M34_InverseRotateV3Into(body->transform, &down, &g->normal);
                bz_V3_ScaleInto(&down, &local, -s->radius);
                Add(body, rows, start, &n, local, g->normal, reach);
            }
            return n;
        }
        const bzBox &box = body->form->bounds;
        for (int i = 0; i < 8; ++i)
        {
            const bzV3 corner = V(i & 1 ? box.max.x : box.min.x, i & 2 ? box.max.y : box.min.y,
                                  i & 4 ? box.max.z : box.min.z);
            g->SweepCorner(body, rows, start, &n, corner);
        }
        return n;
    }
    Ground()
    {
        Current() = this;
        const bzPhysCollisionProvider p = {World, nullptr, nullptr};
        bz_Phys_SetCollisionProvider(&p);
    }
    ~Ground()
    {
        bz_Phys_SetCollisionProvider(nullptr);
        Current() = nullptr;
    }
};
} // namespace physworld
