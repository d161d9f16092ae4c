// The jointed-object solve of chains pulled hard by their joints.
#include "physics/JointedObjectSolve.h"

#include "core/Debug.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintSolver.h"
#include "physics/Impulses.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr float kEpsilon = 1.1920929e-7f;
constexpr int32_t kStack = 1;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float Length(const bzV3 &v)
{
    return std::sqrt(Dot(v, v));
}

// A body-frame vector of one body in another's frame, through their start-of-step rotations.
bzV3 Carry(const BZDObject *from, const BZDObject *to, const bzV3 &v)
{
    bzV3 world, out;
    bz_M33_RotateV3Into(&from->startTransform, &world, &v);
    bz_M34_InverseRotateV3Into(&to->startTransform, &out, &world);
    return out;
}

int32_t BundleSize(bzPhysRow *const *rows, int32_t i, int32_t count)
{
    const int32_t shared = rows[i]->link.sharedRows;
    int32_t size = 1 + (shared > 0 ? shared : 0);
    return size < count - i ? size : count - i;
}

// The angular row that keeps bodyA from swinging past the line of the pull u, or false.
bool StrainRow(const bzPhysRow *bundle, const bzV3 &u, bzPhysRow *out, float *target)
{
    BZDObject *a = bundle->bodyA, *parent = bundle->bodyB;
    const BZDJoint *childJoint = a->firstChild->parentJoint;
    const BZDJoint *joint = a->parentJoint;
    if (!childJoint || !joint)
        return false;
    bzV3 childAnchor, d;
    bz_V3_SubInto(&childJoint->parentAnchor, &a->centreOfMass, &childAnchor);
    bz_V3_SubInto(&bundle->rA, &childAnchor, &d);
    bzV3 w = a->angularVelocity;
    if (!parent->worldJoint)
    {
        const bzV3 pw = Carry(parent, a, parent->angularVelocity);
        bz_V3_SubInto(&w, &pw, &w);
    }
    const float lengthD = Length(d), lengthW = Length(w);
    if (!(lengthD > kEpsilon) || !(lengthW > kEpsilon))
        return false;
    const float dt = bzgPhysSettings.timeStep;
    bzV3 wd, ud;
    bz_V3_CrossInto(&w, &d, &wd);
    if (!((Dot(u, d) + Dot(u, wd) * dt) - lengthD > -0.5f * bzgPhysSettings.contactDistance))
        return false;
    bzV3 direction;
    bz_V3_ScaleInto(&w, &direction, -1.0f / lengthW);
    bz_V3_CrossInto(&u, &d, &ud);
    const float t = -Dot(direction, w) - Length(ud) / (lengthD * dt);
    if (!(t > 0.0f) || !std::isfinite(t))
        return false;
    *out = bzPhysRow{};
    out->bodyA = a;
    out->bodyB = parent;
    out->type = BZ_ROW_ANGULAR_JOINT | BZ_ROW_ANGULAR;
    out->value = t;
    bz_V3_SubInto(&joint->childAnchor, &a->centreOfMass, &out->rA);
    bz_V3_SubInto(&joint->parentAnchor, &parent->centreOfMass, &out->rB);
    out->nA = direction;
    out->nB = Carry(a, parent, direction);
    *target = t;
    return true;
}
} // namespace

int32_t bz_Phys_ExtraJointSolve(BZDObject *root, bzPhysRow **jointRows, int32_t jointCount,
                                int32_t capacity, float *impulses, float *rhs, bzPhysRow *added,
                                bzPhysRow *const *contactRows, int32_t contactCount,
                                bzV3 *keptForces)
{
    BZ_ASSERT(root && jointRows && impulses && rhs && added && keptForces);
    if (!root || !jointRows || !impulses || !rhs || !added || !keptForces || jointCount <= 0)
        return 0;
    bzPhysTreeStep *record = root->treeStep;
    if (!record || record->rowCount != jointCount || !record->factor)
        return 0;
    int32_t room = capacity < BZ_EXTRA_SOLVE_ROWS ? capacity : BZ_EXTRA_SOLVE_ROWS;
    if (room > BZ_SOLVER_MAX_PUSHING)
        room = BZ_SOLVER_MAX_PUSHING;
    if (room > BZ_SOLVER_MAX_ACTIVE - jointCount)
        room = BZ_SOLVER_MAX_ACTIVE - jointCount;
    if (room <= 0)
        return 0;
    const float dt = bzgPhysSettings.timeStep;

    // 1 and 2: the pull on each bundle, and a row where it strains a chain.
    int32_t made = 0;
    int32_t bundle = 0;
    for (int32_t i = 0; i < jointCount && bundle < BZ_EXTRA_SOLVE_BUNDLES;
         i += BundleSize(jointRows, i, jointCount), ++bundle)
    {
        const bzPhysRow *row = jointRows[i];
        const BZDObject *a = row->bodyA;
        if ((row->type & BZ_ROW_ANGULAR) || !row->bodyB || a->parent != row->bodyB ||
            !a->firstChild)
            continue;
        bzV3 &pull = keptForces[bundle];
        const int32_t size = BundleSize(jointRows, i, jointCount);
        for (int32_t k = 0; k < size; ++k)
        {
            if (std::isfinite(impulses[i + k]))
                bz_V3_AddScaled(&pull, &jointRows[i + k]->nA, impulses[i + k]);
        }
        const float f = Length(pull);
        if (!(f > dt * a->mass * 10.0f) || made >= room)
            continue;
        bzV3 u;
        bz_V3_ScaleInto(&pull, &u, 1.0f / f);
        float target;
        if (StrainRow(row, u, &added[made], &target))
            rhs[jointCount + made++] = target;
    }
    if (!made)
        return 0;

    // 3: the contacts that bore force follow the new rows, held where they are.
    int32_t rows = made;
    for (int32_t c = 0; contactRows && c < contactCount && rows < room; ++c)
    {
        const bzPhysRow *contact = contactRows[c];
        if (!contact || contact->value == 0.0f || (contact->type & BZ_ROW_OFF))
            continue;
        added[rows] = *contact;
        rhs[jointCount + rows++] = 0.0f;
    }
    const int32_t n = jointCount + rows;
    for (int32_t k = 0; k < rows; ++k)
        jointRows[jointCount + k] = &added[k];
    for (int32_t k = 0; k < jointCount; ++k)
        rhs[k] = 0.0f;
    const uint32_t entries = uint32_t(n) * uint32_t(n + 1) / 2;
    auto *matrix = static_cast<float *>(bz_PhysMem_Peek(entries * sizeof(float)));
    if (!matrix)
        return 0;
    std::memset(matrix, 0, size_t(jointCount) * size_t(jointCount + 1) / 2 * sizeof(float));
    bz_Phys_BuildContactMatrix(jointCount, matrix, jointRows, n);
    uint8_t inactive[BZ_SOLVER_MAX_ROWS];
    int32_t inactiveCount = 0;
    bzPhysTreeStep *const blocks[1] = {record};
    for (int32_t k = 0; k < n; ++k)
        impulses[k] = 0.0f;
    bz_Phys_SolveConstraintForces(matrix, rhs, impulses, n, inactive, &inactiveCount, jointCount,
                                  blocks, 1);
    for (int32_t i = 0; i < jointCount; i += BundleSize(jointRows, i, jointCount))
        bz_Phys_ApplyBundleImpulses(&jointRows[i], &impulses[i]);
    bz_Phys_ApplyContactImpulses(&jointRows[jointCount], &impulses[jointCount], rows);
    return rows;
}

int32_t bz_Phys_RunExtraJointSolves(BZDObject *root, bzPhysRow *const *jointRows,
                                    int32_t jointCount, const float *impulses,
                                    bzPhysRow *const *contactRows, int32_t contactCount)
{
    if (!root || !jointRows || !impulses || jointCount <= 0 ||
        !(root->physicsFlags & BZ_PHYS_EXTRA_SOLVE))
        return 0;
    const uint32_t slots = uint32_t(jointCount + BZ_EXTRA_SOLVE_ROWS);
    auto *kept = static_cast<bzV3 *>(
        bz_TempStack_Alloc(kStack, BZ_EXTRA_SOLVE_BUNDLES * sizeof(bzV3), BZ_MEM_CLEAR));
    auto *added = kept ? static_cast<bzPhysRow *>(
                             bz_TempStack_Alloc(kStack, BZ_EXTRA_SOLVE_ROWS * sizeof(bzPhysRow), 0))
                       : nullptr;
    const uint32_t scratchBytes = slots * (sizeof(bzPhysRow *) + 2 * sizeof(float));
    void *scratch = added ? bz_TempStack_Alloc(kStack, scratchBytes, 0) : nullptr;
    int32_t calls = 0;
    if (scratch)
    {
        auto *pointers = static_cast<bzPhysRow **>(scratch);
        auto *x = reinterpret_cast<float *>(pointers + slots);
        float *rhs = x + slots;
        for (int32_t k = 0; k < jointCount; ++k)
        {
            pointers[k] = jointRows[k];
            x[k] = impulses[k];
        }
        bool going = true;
        for (int32_t round = 0; round < BZ_EXTRA_SOLVE_ROUNDS && going; ++round)
        {
            for (int32_t call = 0; call < 2 && going; ++call)
            {
                going = bz_Phys_ExtraJointSolve(root, pointers, jointCount, BZ_EXTRA_SOLVE_ROWS, x,
                                                rhs, added, contactRows, contactCount, kept) != 0;
                calls += going ? 1 : 0;
            }
        }
    }
    if (scratch)
        bz_TempStack_Free(kStack, scratch);
    if (added)
        bz_TempStack_Free(kStack, added);
    if (kept)
        bz_TempStack_Free(kStack, kept);
    return calls;
}
