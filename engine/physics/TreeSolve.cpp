// One gather-and-solve iteration of a tree, the post-solve pass of a ring, the angular-speed
// limit rows and the settling of fast spins.
#include "physics/TreeSolve.h"

#include "collision/CollisionContact.h"
#include "collision/Shape.h"
#include "core/Debug.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/BodyKinematics.h"
#include "physics/BodyLinks.h"
#include "physics/BodyTree.h"
#include "physics/BroadPhase.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintSolver.h"
#include "physics/ContactGather.h"
#include "physics/FrictionRows.h"
#include "physics/Impulses.h"
#include "physics/JointLimits.h"
#include "physics/Joint.h"
#include "physics/JointMotion.h"
#include "physics/JointWeakness.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/RowTargets.h"
#include "physics/TreeRecord.h"
#include "physics/TreeStep.h"

#include <cmath>

namespace
{
constexpr int32_t kMaxSolveRows = BZ_SOLVER_MAX_ACTIVE; // joint and contact rows of one solve
constexpr int32_t kMaxRecords = BZ_ROW_JOINT_GATHER_LIMIT;
constexpr float kPi = 3.14159265f;

// After its first gathering in a step a body's contacts are gathered again at most this often:
// the step stays bounded however long the bodies of a pile keep pushing each other about.
constexpr uint8_t kRegatherBudget = BZ_PHYS_REGATHER_BUDGET;
// A body gathers again when some point of it changed its speed by more than this many contact
// speed tolerances: a smaller change moves the body within the slack its rows allow over a step.
constexpr float kRegatherSpeedChange = 4.0f;

// The packed matrix of one solve; the solve never runs inside another.
float gMatrix[kMaxSolveRows * (kMaxSolveRows + 1) / 2];
// The rows handed to the step call back, in their owners' terms.
bzPhysRow gPublished[BZ_PHYS_CONTACT_ARRAY];

typedef int32_t (*PostSolveCallBack)(BZDObject *body);

BZDObject *TopOf(BZDObject *body)
{
    while (body->parent && body->parentJoint)
        body = body->parent;
    return body;
}

float LimitSpeed()
{
    const float dt = bzgPhysSettings.timeStep;
    return dt > 0.0f ? (kPi / 2.0f / dt) / 2.0f : 0.0f;
}

// Kinetic energy of a body (linear and about its centre of mass).
float Energy(const BZDObject *b)
{
    float e = 0.5f * b->mass * bz_V3_LengthSq(&b->linearVelocity);
    for (int i = 0; i < 3; ++i)
        e += 0.5f * b->principalMoments.v[i] * b->inertiaScale * b->angularVelocity.v[i] *
             b->angularVelocity.v[i];
    return e;
}

// The ring's energy over its mass (bodies and their subtrees).
float RingEnergyPerMass(BZDObject *root)
{
    float energy = 0.0f, mass = 0.0f;
    BZDObject *r = root;
    do
    {
        for (BZDObject *b = r; b; b = bz_Body_NextInSubtree(b, r))
        {
            if (b->inverseMass > 0.0f)
            {
                energy += Energy(b);
                mass += b->mass;
            }
        }
        r = r->ring;
    } while (r && r != root);
    return mass > 0.0f ? energy / mass : 0.0f;
}

void EnergyCheck(BZDObject *root)
{
    const float value = RingEnergyPerMass(root);
    const float reference = bz_Phys_RestingEnergy();
    if (reference < 0.0f)
    {
        bz_Phys_SetRestingEnergy(value);
        return;
    }
    if (value > 1.25f * reference + 0.03f && value > 0.0f)
    {
        const float f = std::sqrt(reference / value);
        BZDObject *r = root;
        do
        {
            bz_Phys_ScaleTreeVelocities(r, f);
            r = r->ring;
        } while (r && r != root);
        bz_Phys_SetRestingEnergy(RingEnergyPerMass(root));
    }
}

// Angular-limit rows of every body of the ring.
int32_t RingAngularLimitRows(BZDObject *root, bzPhysRow *rows, int32_t count)
{
    BZDObject *r = root;
    do
    {
        count = bz_Phys_AngularLimitRows(r, rows, count);
        r = r->ring;
    } while (r && r != root);
    return count;
}

// Builds the pointer array of a solve: the ring's joint rows, then the contact rows (capped so
// that the two never pass kMaxSolveRows). Returns the joint row count; *contacts is capped.
int32_t SolvePointers(BZDObject *root, bzPhysRow *rows, int32_t *contacts, bzPhysRow **pointers,
                      bzPhysTreeStep **records, int32_t *recordCount)
{
    const int32_t nb = bz_Phys_GatherJointRows(root, records, recordCount, pointers);
    if (nb + *contacts > kMaxSolveRows)
        *contacts = kMaxSolveRows - nb > 0 ? kMaxSolveRows - nb : 0;
    for (int32_t i = 0; i < *contacts; ++i)
        pointers[nb + i] = &rows[i];
    return nb;
}

// Targets of a solve into rhs. Angular-limit rows of the step carry their own target.
void Targets(float *rhs, bzPhysRow **pointers, int32_t nb, int32_t count, bool ownTargets)
{
    bz_Phys_JointRowTargets(rhs, pointers, nb);
    bz_Phys_ContactRowTargets(rhs + nb, pointers + nb, count, 0, count);
    if (ownTargets)
    {
        for (int32_t i = 0; i < count; ++i)
            rhs[nb + i] = pointers[nb + i]->rB.x;
    }
    const float small = 0.001f * bzgPhysSettings.contactSpeedTolerance;
    for (int32_t i = 0; i < nb + count; ++i)
    {
        if (std::fabs(rhs[i]) < small)
            rhs[i] = 0.0f;
    }
}

// Matrix and solve; returns the solver's result.
int32_t Solve(float *rhs, float *x, bzPhysRow **pointers, int32_t nb, int32_t count,
              bzPhysTreeStep **records, int32_t recordCount)
{
    const int32_t n = nb + count;
    bz_Phys_MoveWeldedRows(n, pointers);
    bz_Phys_BuildWholeMatrix(gMatrix, pointers, n);
    uint8_t inactive[BZ_SOLVER_MAX_ROWS];
    int32_t inactiveCount = 0;
    for (int32_t i = 0; i < n; ++i)
        x[i] = 0.0f;
    const int32_t r = bz_Phys_SolveConstraintForces(gMatrix, rhs, x, n, inactive, &inactiveCount,
                                                    nb, records, recordCount);
    bz_Phys_RestoreWeldedRows(n, pointers);
    for (int32_t i = 0; i < n; ++i)
    {
        if (!std::isfinite(x[i]))
            x[i] = 0.0f;
    }
    return r;
}

void ApplyAll(bzPhysRow **pointers, const float *x, int32_t nb, int32_t count)
{
    for (int32_t i = 0; i < nb;)
    {
        const int32_t size = bz_Phys_ApplyBundleImpulses(&pointers[i], &x[i]);
        i += size > 0 ? size : 1;
    }
    bz_Phys_ApplyContactImpulses(pointers + nb, x + nb, count);
}

uint8_t ContactBits(const bzPhysRow *row)
{
    const uint32_t type = row->type & ~BZ_ROW_OFF;
    if (type == BZ_ROW_LINEAR_JOINT || type == BZ_ROW_LINEAR_JOINT_WEAK)
        return BZ_PHYS_CONTACT_KIND_32;
    if (type == BZ_ROW_ANGULAR_JOINT || type == BZ_ROW_ANGULAR_JOINT_WEAK)
        return row->bodyB ? BZ_PHYS_CONTACT_KIND_96 : BZ_PHYS_CONTACT_ANGULAR_LIMIT;
    if (type == BZ_ROW_TARGET)
        return BZ_PHYS_CONTACT_KIND_13;
    return row->bodyB ? BZ_PHYS_CONTACT_BODY : BZ_PHYS_CONTACT_WORLD;
}

void StampRowBodies(const bzPhysRow *row)
{
    bz_Phys_StampForGathering(row->bodyA);
    if (row->bodyB)
        bz_Phys_StampForGathering(row->bodyB);
}

// Hands the contact rows to the step call back in their owners' terms; returns 1 when it asked
// for the solve to be scaled.
int32_t CallStepCallBack(bzPhysStepCallBack *callBack, bzPhysRow **pointers, int32_t nb,
                         int32_t count, const float *x)
{
    if (!callBack || !callBack->function || count <= 0)
        return 0;
    bzPhysRow *list[BZ_PHYS_CONTACT_ARRAY];
    for (int32_t i = 0; i < count; ++i)
    {
        gPublished[i] = *pointers[nb + i];
        gPublished[i].value = x[nb + i];
        list[i] = &gPublished[i];
    }
    bz_Phys_UnrebaseRows(count, list);
    bz_Phys_ClearScaleRequest();
    bz_Phys_PublishSolved(x + nb, count);
    callBack->function(gPublished, count);
    bz_Phys_PublishSolved(nullptr, 0);
    const int32_t scaled = bz_Phys_ScaleRequested();
    bz_Phys_ClearScaleRequest();
    return scaled;
}

// Applying impulses marks the trees they reach as gathered in this iteration. A body that is
// due to gather (stamped for gathering again, or left due by a gathering whose rows did not all
// fit) stays due through them: the tops of the rows' bodies that are due before the impulses
// are stamped again after them.
class KeepDue
{
public:
    KeepDue(bzPhysRow *const *rows, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
        {
            BZDObject *const both[2] = {rows[i]->bodyA, rows[i]->bodyB};
            for (BZDObject *b : both)
            {
                if (b && TopOf(b)->gatherStamp == 0)
                    due_[n_++] = TopOf(b);
            }
        }
    }
    KeepDue(const KeepDue &) = delete;
    KeepDue &operator=(const KeepDue &) = delete;
    ~KeepDue()
    {
        for (int32_t i = 0; i < n_; ++i)
            bz_Phys_StampForGathering(due_[i]);
    }

private:
    BZDObject *due_[2 * kMaxSolveRows];
    int32_t n_ = 0;
};

// The tops of the bodies that rows name, added to tops (n in use, room for 2 per row) each once;
// returns the new count.
int32_t AddTops(const bzPhysRow *rows, int32_t count, BZDObject **tops, int32_t n)
{
    for (int32_t i = 0; i < count; ++i)
    {
        BZDObject *const both[2] = {rows[i].bodyA, rows[i].bodyB};
        for (BZDObject *b : both)
        {
            if (!b)
                continue;
            BZDObject *top = TopOf(b);
            int32_t k = 0;
            while (k < n && tops[k] != top)
                ++k;
            if (k == n)
                tops[n++] = top;
        }
    }
    return n;
}

bool NamesOneOf(const bzPhysRow &row, BZDObject *const *tops, int32_t n)
{
    BZDObject *const a = TopOf(row.bodyA);
    BZDObject *const b = row.bodyB ? TopOf(row.bodyB) : nullptr;
    for (int32_t k = 0; k < n; ++k)
    {
        if (tops[k] == a || tops[k] == b)
            return true;
    }
    return false;
}

// Where the hold rows of the last iteration lie in the row buffer it wrote.
struct HeldRange
{
    const bzPhysRow *rows = nullptr;
    int32_t start = 0, end = 0;
};
HeldRange gHeld;

HeldRange HeldIn(const bzPhysRow *rows)
{
    return rows == gHeld.rows ? gHeld : HeldRange{};
}

// The contact rows of the last solve, as rows that hold what their points reached (a fixed
// target of 0, pushing only): solved with the friction rows of the next iteration, they keep the
// friction's turn about the contact points from driving the body's other points into the world;
// solved with the rows of contacts found since, they keep what the last solve pushed against
// (a box's floor under a box landing on it) in the solve that pushes again. With tops given,
// only the rows of those trees come back: the rest of the last solve is not pushed again.
// A hold row of the last solve that pushed in it comes back as a hold row too, after the contact
// rows and only within heldRoom, so that it never takes the place of a row found since: a box
// that a box landing on it pushes down keeps the floor contacts it stood on, held since they
// were found, in every solve that pushes it again.
// given[i] receives the impulse the row at out[i] carried in the last solve (0 for a row that
// was switched off, and for a one-sided row, whose impulse moved its first body alone).
int32_t HoldRows(bzPhysRow *out, int32_t count, const bzPhysRow *previous, int32_t previousCount,
                 float *given, BZDObject *const *tops, int32_t topCount, int32_t heldRoom)
{
    const HeldRange held = HeldIn(previous);
    for (int32_t pass = 0; pass < 2; ++pass)
    {
        const int32_t room = pass == 0 ? BZ_PHYS_CONTACT_ARRAY : heldRoom;
        for (int32_t i = 0; i < previousCount && count < room; ++i)
        {
            const bzPhysRow &row = previous[i];
            const uint32_t type = row.type & ~BZ_ROW_OFF;
            if (pass == 0 && ((type & BZ_ROW_ANGULAR) || type == BZ_ROW_FRICTION ||
                              type == BZ_ROW_TARGET || type >= BZ_ROW_LINEAR_JOINT))
                continue;
            const bool pushingHold = i >= held.start && i < held.end && type == BZ_ROW_TARGET &&
                                     !(row.type & BZ_ROW_OFF) && row.value > 0.0f;
            if (pass == 1 && !pushingHold)
                continue;
            if (tops && !NamesOneOf(row, tops, topCount))
                continue;
            given[count] =
                (row.type & BZ_ROW_OFF) || type == BZ_ROW_ONE_SIDED || !(row.value > 0.0f)
                    ? 0.0f
                    : row.value;
            bzPhysRow &hold = out[count++];
            hold = row;
            hold.type = BZ_ROW_TARGET;
            hold.value = 0.0f;
        }
    }
    return count;
}

// How fast a row's bodies move apart along it: the points' velocities along a linear row, the
// turn about an angular row's axis.
float RowSpeed(const bzPhysRow *row)
{
    const bool angular = (row->type & BZ_ROW_ANGULAR) != 0;
    const bzV3 va =
        angular ? row->bodyA->angularVelocity : bz_Body_PointVelocity(row->bodyA, row->rA);
    float s = bz_V3_Dot(&va, &row->nA);
    if (row->bodyB && (row->type & ~BZ_ROW_OFF) != BZ_ROW_ONE_SIDED)
    {
        const bzV3 vb =
            angular ? row->bodyB->angularVelocity : bz_Body_PointVelocity(row->bodyB, row->rB);
        s -= bz_V3_Dot(&vb, &row->nB);
    }
    return s;
}

// The hold rows give back the impulses they carried in the last solve, and every row's target
// grows by what that took from its speed: the solve asks for the same speeds as before, but the
// contacts now share their load anew with the friction rows. Friction at the bottom of a sliding
// body turns it about its contact points; the contacts ahead then take more of the load and
// those behind less, where pushing alone could only lift the body about its leading edge. A hold
// row's impulse may end below what it gave back, down to nothing (in effect the solve's impulse
// on it may go down to minus what it gave back).
// The hold rows among the solve's contact rows with what they give back, times sign; returns how
// many.
int32_t Held(bzPhysRow **pointers, int32_t nb, int32_t count, const float *given, float sign,
             bzPhysRow **held, float *impulses)
{
    int32_t n = 0;
    for (int32_t i = 0; i < count && i < BZ_PHYS_CONTACT_ARRAY; ++i)
    {
        if (given[i] > 0.0f)
        {
            held[n] = pointers[nb + i];
            impulses[n++] = sign * given[i];
        }
    }
    return n;
}

void GiveBack(bzPhysRow **pointers, int32_t nb, int32_t count, const float *given, float *rhs)
{
    bzPhysRow *held[BZ_PHYS_CONTACT_ARRAY];
    float impulses[BZ_PHYS_CONTACT_ARRAY];
    const int32_t n = Held(pointers, nb, count, given, 1.0f, held, impulses);
    if (n == 0)
        return;
    float before[kMaxSolveRows];
    for (int32_t i = 0; i < nb + count; ++i)
        before[i] = RowSpeed(pointers[i]);
    {
        const KeepDue keep(pointers, nb + count);
        bz_Phys_TakeBackContactImpulses(held, impulses, n);
    }
    for (int32_t i = 0; i < nb + count; ++i)
        rhs[i] += before[i] - RowSpeed(pointers[i]);
}

// Whether the rows hold a world contact row of the body.
bool HasWorldRow(bzPhysRow *const *rows, int32_t count, const BZDObject *b)
{
    for (int32_t i = 0; i < count; ++i)
    {
        const uint32_t type = rows[i]->type & ~BZ_ROW_OFF;
        if (!rows[i]->bodyB && rows[i]->bodyA == b && type != BZ_ROW_FRICTION &&
            type < BZ_ROW_LINEAR_JOINT)
            return true;
    }
    return false;
}

// A body whose form is one sphere.
bool IsBall(const BZDObject *b)
{
    const bzShape *shape = b->form ? b->form->firstShape : nullptr;
    return shape && !shape->next && shape->kind == BZ_SHAPE_SPHERE;
}

// How fast a change of the body's turn dw (with dv, the change of its velocity; both in its
// frame) drives a corner of its form's box into a face that one of its world rows in the solve
// stands on: the most that dv + dw x r (r the corner from the centre of mass) runs against such
// a row's normal. A box on the floor that a solve turns about its centre (pushed down on one
// side, held up on the other) keeps its centre's speed and sinks with a corner that no row of
// the solve held: a corner that started the step below the face and was rising when the
// contacts were found has none. 0 for a ball, which turns in place, and a body without a form.
float TurnIntoWorld(const BZDObject *b, const bzV3 &dv, const bzV3 &dw, bzPhysRow *const *rows,
                    int32_t count)
{
    if (!b->form || IsBall(b))
        return 0.0f;
    const bzBox &box = b->form->bounds;
    bzV3 change[8];
    for (int32_t c = 0; c < 8; ++c)
    {
        bzV3 r;
        bz_Box_Corner(&box, c, &r);
        bz_V3_SubInto(&r, &b->centreOfMass, &r);
        bz_V3_CrossInto(&dw, &r, &change[c]);
        bz_V3_AddInto(&change[c], &dv, &change[c]);
    }
    float most = 0.0f;
    for (int32_t i = 0; i < count; ++i)
    {
        const bzPhysRow *row = rows[i];
        const uint32_t type = row->type & ~BZ_ROW_OFF;
        if (row->bodyA != b || row->bodyB || type == BZ_ROW_FRICTION || (type & BZ_ROW_ANGULAR) ||
            type >= BZ_ROW_LINEAR_JOINT)
            continue;
        for (const bzV3 &v : change)
            most = std::fmax(most, -bz_V3_Dot(&v, &row->nA));
    }
    return most;
}

// The velocities of the bodies of a solve's rows as the iteration found them, before any hold
// row gave back its impulse. A body whose velocity the solve then changes moves from where its
// contacts were found: its points reach places no row of the solve looked at (a box pushed down
// onto a floor none of its rows held, a box lifted into the one above, a box turned onto a
// corner). Such a body gathers its contacts again in the next iteration, within its budget for
// the step. A body solved alone is not sent back for what its own swept world contacts did: they
// were found along its whole path over the step, and found again from where that path now ends
// they would stop it short of the face they met (a ball would come to rest above the ground).
class SpeedsBefore
{
public:
    SpeedsBefore(bzPhysRow *const *rows, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
        {
            BZDObject *const both[2] = {rows[i]->bodyA, rows[i]->bodyB};
            for (BZDObject *b : both)
            {
                if (!b || !(b->inverseMass > 0.0f) || Find(b) < n_)
                    continue;
                bodies_[n_] = b;
                linear_[n_] = b->localLinearVelocity;
                angular_[n_++] = b->angularVelocity;
            }
        }
    }
    SpeedsBefore(const SpeedsBefore &) = delete;
    SpeedsBefore &operator=(const SpeedsBefore &) = delete;

    // After the impulses x of the rows (given: what hold rows gave back before the solve):
    // stamps for gathering the bodies some point of which (within the body's radius of its
    // centre) changed its speed by more than tolerance.
    void GatherChanged(float tolerance, bzPhysRow *const *rows, const float *x, const float *given,
                       int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            TakeOutOwnSweep(rows[i], x[i] - given[i]);
        for (int32_t k = 0; k < n_; ++k)
        {
            BZDObject *b = bodies_[k];
            bzV3 dv, dw;
            bz_V3_SubInto(&b->localLinearVelocity, &linear_[k], &dv);
            bz_V3_SubInto(&b->angularVelocity, &angular_[k], &dw);
            if (!(bz_V3_Length(&dv) + bz_V3_Length(&dw) * b->radius > tolerance ||
                  TurnIntoWorld(b, dv, dw, rows, count) > tolerance) ||
                b->regathered >= kRegatherBudget)
                continue;
            ++b->regathered;
            if (KeepsWorldRows(b, dv, dw, tolerance, rows, count))
            {
                bz_Phys_StampPairsForGathering(b);
                SkipHeldBalls(b, rows, x, count);
                continue;
            }
            bz_Phys_StampForGathering(b);
        }
    }

private:
    int32_t Find(const BZDObject *b) const
    {
        int32_t k = 0;
        while (k < n_ && bodies_[k] != b)
            ++k;
        return k;
    }

    // The change the swept world row made to its body (impulse y), counted as though the body
    // had it before, when the body is solved alone.
    void TakeOutOwnSweep(const bzPhysRow *row, float y)
    {
        const uint32_t type = row->type & ~BZ_ROW_OFF;
        if (row->bodyB || (row->type & BZ_ROW_OFF) ||
            (type != BZ_CONTACT_SWEPT_ROUND_ON_FACE && type != BZ_CONTACT_SWEPT_ON_FACE_EDGE))
            return;
        BZDObject *root = bz_Body_Root(row->bodyA);
        const int32_t k = Find(row->bodyA);
        if (root->ring != root || k == n_)
            return;
        bzV3 dv, dw;
        bz_V3_ScaleInto(&row->nA, &dv, y * row->bodyA->inverseMass);
        bz_V3_AddInto(&linear_[k], &dv, &linear_[k]);
        bz_V3_ScaleInto(&row->wA, &dw, y);
        bz_V3_AddInto(&angular_[k], &dw, &angular_[k]);
    }

    // Whether the body gathers again its contacts with other bodies alone. A ball (a body of one
    // sphere) turns without moving its surface, so a change of its speed moves it against the
    // world only along its path: a ball with world rows in the solve that the change drives into
    // none of (by more than tolerance at their points) keeps the world contacts found for this
    // step. In a pile of balls most changes are pushes from the balls around, and the world
    // contacts a ball finds again add nothing. A body of any other form turns corners into the
    // world, and one with no world row in the solve or driven into one gathers everything again.
    // Two balls touch at one point, which turning moves on neither: the pairs of a ball that
    // gathers its pairs alone with the balls whose contact with it the solve held (impulse above
    // 0) would only find that contact again; they are not tested.
    static void SkipHeldBalls(BZDObject *ball, bzPhysRow *const *rows, const float *x,
                              int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
        {
            const bzPhysRow *row = rows[i];
            const uint32_t type = row->type & ~BZ_ROW_OFF;
            if (!row->bodyB || !(x[i] > 0.0f) || type == BZ_ROW_FRICTION ||
                (type & BZ_ROW_ANGULAR) || type >= BZ_ROW_LINEAR_JOINT)
                continue;
            BZDObject *other = row->bodyA == ball   ? row->bodyB
                               : row->bodyB == ball ? row->bodyA
                                                    : nullptr;
            if (other && IsBall(other))
                bz_Phys_SkipPairInGathering(ball, other);
        }
    }

    static bool KeepsWorldRows(const BZDObject *b, const bzV3 &dv, const bzV3 &dw, float tolerance,
                               bzPhysRow *const *rows, int32_t count)
    {
        if (!IsBall(b))
            return false;
        bool world = false;
        for (int32_t i = 0; i < count; ++i)
        {
            const bzPhysRow *row = rows[i];
            const uint32_t type = row->type & ~BZ_ROW_OFF;
            if (row->bodyA != b || row->bodyB || type == BZ_ROW_FRICTION ||
                (type & BZ_ROW_ANGULAR) || type >= BZ_ROW_LINEAR_JOINT)
                continue;
            bzV3 change;
            bz_V3_CrossInto(&dw, &row->rA, &change);
            bz_V3_AddInto(&change, &dv, &change);
            if (bz_V3_Dot(&change, &row->nA) < -tolerance)
                return false;
            world = true;
        }
        return world;
    }

    BZDObject *bodies_[2 * kMaxSolveRows];
    bzV3 linear_[2 * kMaxSolveRows];
    bzV3 angular_[2 * kMaxSolveRows];
    int32_t n_ = 0;
};

// A solve that ends without applying its impulses puts back what the hold rows gave back.
void Restore(bzPhysRow **pointers, int32_t nb, int32_t count, const float *given)
{
    bzPhysRow *held[BZ_PHYS_CONTACT_ARRAY];
    float impulses[BZ_PHYS_CONTACT_ARRAY];
    const int32_t n = Held(pointers, nb, count, given, -1.0f, held, impulses);
    const KeepDue keep(pointers, nb + count);
    bz_Phys_TakeBackContactImpulses(held, impulses, n);
}
} // namespace

int32_t bz_Phys_PostSolveRing(BZDObject *root)
{
    if (!root)
        return 0;
    const float dt = bzgPhysSettings.timeStep;
    int32_t result = 0;
    BZDObject *b = root;
    do
    {
        BZDObject *next = b->ring;
        if (!b->asleep)
        {
            bz_Phys_OrthonormaliseTree(b);
            bz_Phys_MoveJointedTree(b, dt);
            bz_Phys_ComputeBoxes(b, b, nullptr);
            if (b->postSolveCallBack)
                result |= reinterpret_cast<PostSolveCallBack>(b->postSolveCallBack)(b);
        }
        b = next;
    } while (b && b != root);
    return result;
}

int32_t bz_Phys_AngularLimitRows(BZDObject *body, bzPhysRow *rows, int32_t count)
{
    if (!body || !rows)
        return count;
    const float L = LimitSpeed();
    const float dt = bzgPhysSettings.timeStep;
    for (BZDObject *b = body; b; b = bz_Body_NextInSubtree(b, body))
    {
        if (b->physicsFlags & BZ_PHYS_WELDED)
            continue;
        const uint8_t angularKind = b->parentJoint ? uint8_t(b->parentJoint->kind >> 8) : 0;
        const bool oneAxis = b->parentJoint && (angularKind == 2 || angularKind == 4);
        bzV3 axis = b->savedAngularVelocity;
        float speed;
        if (oneAxis)
        {
            bzV3 hinge = b->parentJoint->childHingeAxis;
            bz_V3_Normalise(&hinge);
            const float along = bz_V3_Dot(&hinge, &b->savedAngularVelocity);
            speed = std::fabs(along);
            bz_V3_ScaleInto(&hinge, &axis, along < 0.0f ? -1.0f : 1.0f);
        }
        else
        {
            speed = bz_V3_Length(&b->savedAngularVelocity);
            if (speed > 0.0f)
                bz_V3_ScaleInto(&axis, &axis, 1.0f / speed);
        }
        if (!(speed > L) || count > BZ_PHYS_CONTACT_ARRAY - 1)
            continue;
        if ((b->physicsFlags & BZ_PHYS_CLAMP_OMEGA) && !oneAxis)
        {
            const float f = (L / 2.0f) / speed;
            bz_V3_ScaleInto(&b->savedAngularVelocity, &b->savedAngularVelocity, f);
            bz_V3_ScaleInto(&b->inversePrincipalMoments, &b->inversePrincipalMoments, f);
            b->contactSpeedScale /= f;
            BZDObject *top = TopOf(b);
            for (BZDObject *d = top; d; d = bz_Body_NextInSubtree(d, top))
                d->angularVelocity = d->savedAngularVelocity;
            bz_Phys_StampForGathering(top);
            bz_Phys_BuildTreeRecord(top, dt);
            continue;
        }
        const bool doubled = (b->physicsFlags & BZ_PHYS_DOUBLE_OMEGA_LIMIT) != 0;
        if (doubled && !(speed > 2.0f * L))
            continue;
        bzPhysRow &row = rows[count++];
        row = bzPhysRow{};
        row.bodyA = b;
        row.type = BZ_ROW_ANGULAR_JOINT;
        bz_V3_NegateInto(&axis, &row.nA);
        // The row's own target, read by the solve in place of the generic angular target.
        row.rB.x = speed - (doubled ? 1.6f : 0.8f) * L;
        b->contactKind |= BZ_PHYS_CONTACT_ANGULAR_LIMIT;
    }
    return count;
}

void bz_Phys_SettleContacts(BZDObject *first)
{
    for (BZDObject *body = first; body; body = body->nextSibling)
    {
        if (body->asleep)
            continue;
        bzPhysRow rows[BZ_PHYS_CONTACT_ARRAY];
        int32_t kept = 0;
        for (int32_t pass = 0; pass < 5; ++pass)
        {
            int32_t count = bz_Phys_AngularLimitRows(body, rows, kept);
            if (count == kept)
                break;
            bzPhysRow *pointers[kMaxSolveRows];
            bzPhysTreeStep *records[kMaxRecords];
            int32_t recordCount = 0;
            bz_Phys_RestoreRingAngularVelocity(body);
            const int32_t nb = SolvePointers(body, rows, &count, pointers, records, &recordCount);
            float rhs[kMaxSolveRows], x[kMaxSolveRows];
            Targets(rhs, pointers, nb, count, true);
            Solve(rhs, x, pointers, nb, count, records, recordCount);
            ApplyAll(pointers, x, nb, count);
            bz_Phys_PostSolveRing(body);
            kept = 0;
            for (int32_t i = 0; i < count; ++i)
            {
                if (x[nb + i] > 0.0f)
                    rows[kept++] = rows[i];
            }
        }
    }
}

int32_t bz_Phys_SolveTree(BZDObject *world, BZDObject *root, bzPhysRow *rowsIn, bzPhysRow *rowsOut,
                          int32_t previous, bzPhysStepCallBack *callBack)
{
    BZ_ASSERT(root && rowsIn && rowsOut);
    if (!root || !rowsIn || !rowsOut)
        return 0;
    // 1. Rows: angular limits alone, or kept and new contact rows. given[i]: the impulse that
    // hold row i gives back, 0 for every other row.
    float given[BZ_PHYS_CONTACT_ARRAY] = {};
    int32_t count = RingAngularLimitRows(root, rowsOut, 0);
    int32_t carried = 0;
    int32_t holdStart = 0, holdEnd = 0; // the hold rows among the carried ones
    const bool limitRows = count > 0;
    if (limitRows)
        bz_Phys_SetAngularLimitRowsUsed(1);
    else
    {
        int32_t previousCount = previous < 0 ? -previous : previous;
        if (previousCount > BZ_PHYS_CONTACT_ARRAY)
            previousCount = BZ_PHYS_CONTACT_ARRAY;
        if (previous < 0)
            count = bz_Phys_MergeContactRows(rowsOut, 0, rowsIn, previousCount);
        else if (previous > 0)
        {
            float frictionRhs[BZ_FRICTION_ROW_LIMIT];
            count = bz_Phys_AddFrictionRows(rowsOut, 0, rowsIn, previousCount, frictionRhs);
        }
        bzPhysRow gathered[BZ_PHYS_CONTACT_ARRAY];
        const int32_t found = bz_Phys_GatherContacts(world, root, gathered, 0);
        // After a finished solve its contact rows hold what they reached while friction rows or
        // newly found rows are solved; an iteration with neither ends the tree. With new rows
        // alone, only the rows of the trees they touch come back.
        if (previous > 0 && (count > 0 || found > 0))
        {
            BZDObject *touched[2 * BZ_PHYS_CONTACT_ARRAY];
            const int32_t n = count > 0 ? 0 : AddTops(gathered, found, touched, 0);
            holdStart = count;
            count = HoldRows(rowsOut, count, rowsIn, previousCount, given,
                             count > 0 ? nullptr : touched, n, BZ_ROW_MERGE_LIMIT - found);
            holdEnd = count;
        }
        // Gathered rows past the room the carried ones leave find none in the solve.
        if (found > BZ_ROW_MERGE_LIMIT - count)
            bz_Phys_KeepRowBodiesDue(gathered + BZ_ROW_MERGE_LIMIT - count,
                                     found - (BZ_ROW_MERGE_LIMIT - count));
        carried = count;
        count = bz_Phys_MergeContactRows(rowsOut, count, gathered, found);
    }
    gHeld = HeldRange{rowsOut, holdStart, holdEnd};
    if (count == 0)
        return 0;

    // 2. Joint rows first, then the contact rows, 152 at most.
    bzPhysRow *pointers[kMaxSolveRows];
    bzPhysTreeStep *records[kMaxRecords];
    int32_t recordCount = 0;
    const int32_t nb = SolvePointers(root, rowsOut, &count, pointers, records, &recordCount);
    if (count == 0)
        return 0;

    // 3. Targets; rows against heavy bodies act on the other body alone.
    float rhs[kMaxSolveRows], x[kMaxSolveRows];
    Targets(rhs, pointers, nb, count, limitRows);
    if (bz_Phys_HeavyContact())
        bz_Phys_PinHeavyBodies(rowsOut, count);
    SpeedsBefore speeds(pointers + nb, count);
    GiveBack(pointers, nb, count, given, rhs);

    // 4. Solve. A pushing row that leaned on a joint row makes that joint give.
    const int32_t solved = Solve(rhs, x, pointers, nb, count, records, recordCount);
    if (solved > 0 && solved <= nb)
    {
        const bzPhysRow *jointRow = pointers[solved - 1];
        bz_Phys_BreakRowJoint(jointRow);
        BZDObject *top = TopOf(jointRow->bodyA);
        if (top->treeStep)
            top->treeStep->state = -1;
        bz_Phys_BuildTreeRecord(top, -1.0f);
        Restore(pointers, nb, count, given);
        for (int32_t i = 0; i < count; ++i)
            bz_Phys_StampForGathering(rowsOut[i].bodyA);
        return -1;
    }

    // 5. Weakness: limit call backs, then each joint group's breakable joints.
    int32_t more = 0;
    if (bz_Phys_LimitWeaknessSeen())
        bz_Phys_LimitWeakness(x, pointers + nb, count, nb);
    for (int32_t k = 0, start = 0; k < recordCount; ++k)
    {
        if (records[k]->rowCount > 0 && records[k]->state > 0)
            more |=
                bz_Phys_CheckWeakness(x, nb + count, pointers, start, records[k]->rowCount, world);
        start += records[k]->rowCount;
    }
    // The friction budget scales what this solve adds: a hold row's impulse less what it gave
    // back.
    // Contacts whose push was scaled down did not get what they asked for: their bodies
    // gather them again in the next iteration.
    for (int32_t i = 0; i < count; ++i)
        x[nb + i] -= given[i];
    if (bz_Phys_ClipFrictionForces(0, pointers + nb, count, nb, x))
    {
        for (int32_t i = 0; i < count; ++i)
        {
            const uint32_t type = pointers[nb + i]->type & ~BZ_ROW_OFF;
            if (x[nb + i] > 0.0f && type != BZ_ROW_FRICTION && type != BZ_ROW_TARGET &&
                type < BZ_ROW_LINEAR_JOINT)
                StampRowBodies(pointers[nb + i]);
        }
    }
    for (int32_t i = 0; i < count; ++i)
        x[nb + i] += given[i];

    // 6. Record the solved values; rows that carried nothing are switched off.
    for (int32_t i = 0; i < count; ++i)
    {
        bzPhysRow *row = pointers[nb + i];
        if (x[nb + i] > 0.0f)
        {
            row->value = x[nb + i];
            const uint8_t bits = ContactBits(row);
            row->bodyA->contactKind |= bits;
            if (row->bodyB)
                row->bodyB->contactKind |= bits;
        }
        else
        {
            row->value = 0.0f;
            x[nb + i] = 0.0f;
            row->type |= BZ_ROW_OFF;
            // A hold row that held nothing names a contact gathered already: gathering it again
            // would find it again and carry it again, iteration after iteration.
            if (i < carried && !(i >= holdStart && i < holdEnd))
                StampRowBodies(row);
        }
    }

    // 7. The step call back may ask for the whole solve to be scaled down.
    if (CallStepCallBack(callBack, pointers, nb, count, x))
    {
        const float s = bzgPhysSettings.forceScale;
        for (int32_t i = 0; i < nb + count; ++i)
            x[i] *= s;
        for (int32_t i = 0; i < count; ++i)
            pointers[nb + i]->value = x[nb + i];
        more = 1;
    }
    {
        const KeepDue keep(pointers, nb + count);
        ApplyAll(pointers, x, nb, count);
    }
    speeds.GatherChanged(kRegatherSpeedChange * bzgPhysSettings.contactSpeedTolerance,
                         pointers + nb, x + nb, given, count);
    bz_Phys_SpendWorldContactFriction(pointers + nb, x + nb, count);
    // A body that another body pushed has moved against its own contacts since it gathered
    // them: it gathers them again when it has not yet done so in this step; a second time when
    // it has rested on the world in this step and the solve that pushed it again held none of
    // its world rows (nothing in it kept the push from driving the body into the world).
    for (int32_t i = 0; i < count; ++i)
    {
        const bzPhysRow *row = pointers[nb + i];
        const uint32_t type = row->type & ~BZ_ROW_OFF;
        if (!row->bodyB || !(x[nb + i] > 0.0f) || type == BZ_ROW_FRICTION ||
            type == BZ_ROW_TARGET || type >= BZ_ROW_LINEAR_JOINT)
            continue;
        BZDObject *const both[2] = {row->bodyA, row->bodyB};
        for (BZDObject *b : both)
        {
            if (!b->regathered)
            {
                b->regathered = 1;
                bz_Phys_StampForGathering(b);
            }
            else if (b->regathered == 1 && (b->contactKind & BZ_PHYS_CONTACT_WORLD) &&
                     !HasWorldRow(pointers + nb, count, b))
            {
                b->regathered = 2;
                bz_Phys_StampForGathering(b);
            }
        }
    }

    // 8. Energy check while angular-limit rows are solved.
    if (bz_Phys_AngularLimitRowsUsed())
        EnergyCheck(root);

    // 9. Trees whose joints broke are rebuilt; then the ring moves.
    BZDObject *r = root;
    do
    {
        if (r->treeStep && r->treeStep->state < 0)
            bz_Phys_BuildTreeRecord(r, -1.0f);
        r = r->ring;
    } while (r && r != root);
    more |= bz_Phys_PostSolveRing(root);
    if (!more)
        return count;
    for (int32_t i = 0; i < count; ++i)
    {
        if (pointers[nb + i]->value == 0.0f)
            StampRowBodies(pointers[nb + i]);
    }
    return -count;
}
