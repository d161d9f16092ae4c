// Tree step records: the joint rows of a body tree built, factored, solved and checked for
// weakness once per step, and the tree moved over the step.
#include "physics/TreeRecord.h"

#include "core/Debug.h"
#include "maths/Matrix.h"
#include "physics/BodyLinks.h"
#include "physics/BodyWeld.h"
#include "physics/BroadPhase.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintSolver.h"
#include "physics/Impulses.h"
#include "physics/JointMotion.h"
#include "physics/JointRows.h"
#include "physics/JointWeakness.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/RowTargets.h"
#include "physics/TreeStep.h"

namespace
{
// The most joint rows of one tree (the solve's joint-row limit).
constexpr int32_t kMaxTreeRows = BZ_ROW_JOINT_GATHER_LIMIT;
// The most rows one body's joints make.
constexpr int32_t kBodyRows = 18;

bzPhysExtraSolve gExtraSolve = nullptr;

uint32_t PackedFloats(int32_t n)
{
    return static_cast<uint32_t>(n) * static_cast<uint32_t>(n + 1) / 2u;
}

// Writes the joint rows of the tree's bodies, depth first, into rows (room for capacity);
// returns the count. weaknessReset is raised when a joint with a weakness record is met.
int32_t FillRows(BZDObject *root, bzPhysRow *rows, int32_t capacity, int32_t *weaknessReset)
{
    int32_t n = 0;
    for (BZDObject *b = root; b; b = bz_Body_NextInSubtree(b, root))
    {
        bzPhysRow local[kBodyRows];
        const int32_t made = bz_Phys_BodyJointRows(b, local, weaknessReset);
        for (int32_t i = 0; i < made && n < capacity; ++i)
            rows[n++] = local[i];
    }
    return n;
}

// Rows and factor of the root's record: the rows written into the root's joint-row array, their
// whole matrix built and factored into the record.
void FillAndFactor(BZDObject *root, bzPhysTreeStep *record, bzPhysRow *rows, int32_t n)
{
    int32_t reset = 0;
    n = FillRows(root, rows, n, &reset);
    root->jointRows = rows;
    root->jointRowCount = static_cast<uint8_t>(n);
    record->rowCount = n;
    record->state = reset ? 1 : 0;
    bzPhysRow *pointers[kMaxTreeRows];
    for (int32_t i = 0; i < n; ++i)
        pointers[i] = &rows[i];
    bz_Phys_BuildWholeMatrix(record->factor, pointers, n);
    bz_Phys_FactorPackedMatrix(record->factor, n);
}

// Takes a record with room for n rows and their packed factor from the work area; null after
// error 6.
bzPhysTreeStep *TakeRecord(int32_t n, bzPhysRow **rows)
{
    const uint32_t rowBytes = static_cast<uint32_t>(n) * sizeof(bzPhysRow);
    const uint32_t recordBytes =
        static_cast<uint32_t>(sizeof(bzPhysTreeStep)) + PackedFloats(n) * sizeof(float);
    void *rowBlock = bz_PhysMem_Peek(rowBytes + recordBytes + 64);
    if (!rowBlock)
        return nullptr;
    rowBlock = bz_PhysMem_Advance(rowBytes);
    void *recordBlock = rowBlock ? bz_PhysMem_Advance(recordBytes) : nullptr;
    if (!recordBlock)
        return nullptr;
    auto *record = static_cast<bzPhysTreeStep *>(recordBlock);
    *record = bzPhysTreeStep{};
    record->factor = reinterpret_cast<float *>(record + 1);
    *rows = static_cast<bzPhysRow *>(rowBlock);
    return record;
}

// Solves the joint rows of the record against the tree's velocities and applies the impulses
// (x, with the row pointers in pointers), after the weakness check has had its say. Returns 1
// when a joint broke.
int32_t SolveJointRows(BZDObject *root, bzPhysTreeStep *record, bzPhysRow **pointers, float *x)
{
    const int32_t n = record->rowCount;
    auto *rows = static_cast<bzPhysRow *>(root->jointRows);
    float rhs[kMaxTreeRows];
    for (int32_t i = 0; i < n; ++i)
        pointers[i] = &rows[i];
    bz_Phys_JointRowTargets(rhs, pointers, n);
    bz_Phys_SolvePackedFactor(n, record->factor, rhs, x);
    int32_t broke = 0;
    if (record->state > 0)
    {
        BZDObject **head = bz_Phys_WorldHead();
        broke = bz_Phys_CheckWeakness(x, n, pointers, 0, n, head ? *head : nullptr);
    }
    for (int32_t i = 0; i < n; ++i)
        rows[i].value = x[i];
    for (int32_t i = 0; i < n;)
    {
        const int32_t size = bz_Phys_ApplyBundleImpulses(&pointers[i], &x[i]);
        i += size > 0 ? size : 1;
    }
    return broke;
}

void ResetOne(BZDObject *body)
{
    if (!body->transform)
        return;
    bz_M33_Orthonormalise(body->transform, &body->startTransform);
    body->transform->row[3] = body->startTransform.row[3];
}

void BoxesOfTop(BZDObject *body)
{
    if (body->parent)
        return;
    bz_Phys_ComputeBoxes(body, body, nullptr);
}
} // namespace

void bz_Phys_SetExtraSolve(bzPhysExtraSolve solve)
{
    gExtraSolve = solve;
}

void bz_Phys_ResetChildren(BZDObject *body)
{
    if (!body)
        return;
    for (BZDObject *b = body->firstChild; b; b = bz_Body_NextInSubtree(b, body))
        ResetOne(b);
}

void bz_Phys_InstallTreeServices()
{
    if (!bzgPhysStepServices.resetChildren)
        bzgPhysStepServices.resetChildren = bz_Phys_ResetChildren;
    if (!bzgPhysStepServices.buildTreeRecord)
        bzgPhysStepServices.buildTreeRecord = bz_Phys_BuildTreeRecord;
    if (!bzgPhysStepServices.computeBoxes)
        bzgPhysStepServices.computeBoxes = BoxesOfTop;
}

void bz_Phys_BuildTreeRecord(BZDObject *root, float time)
{
    BZ_ASSERT(root);
    if (!root)
        return;
    bzPhysTreeStep *record = root->treeStep;
    int32_t n = bz_Body_CountTreeRows(root, nullptr);
    if (n > kMaxTreeRows)
        n = kMaxTreeRows;
    if (!record || record->state < 0 || record->rowCount != n || !root->jointRows)
    {
        root->treeStep = nullptr;
        root->jointRows = nullptr;
        root->jointRowCount = 0;
        if (n == 0)
        {
            if (time > 0.0f)
                bz_Phys_MoveJointedTree(root, time);
            return;
        }
        bzPhysRow *rows = nullptr;
        record = TakeRecord(n, &rows);
        if (!record)
        {
            // No room: the tree moves as if it had no joints this step.
            if (time > 0.0f)
                bz_Phys_MoveJointedTree(root, time);
            return;
        }
        root->treeStep = record;
        FillAndFactor(root, record, rows, n);
    }
    else
        FillAndFactor(root, record, static_cast<bzPhysRow *>(root->jointRows), n);

    if (time > 0.0f && root->treeStep)
    {
        bzPhysRow *pointers[kMaxTreeRows];
        float x[kMaxTreeRows];
        const int32_t n = root->treeStep->rowCount;
        SolveJointRows(root, root->treeStep, pointers, x);
        if (root->treeStep && root->treeStep->state < 0)
            bz_Phys_BuildTreeRecord(root, -1.0f);
        else if ((root->physicsFlags & BZ_PHYS_EXTRA_SOLVE) && gExtraSolve)
            gExtraSolve(root, pointers, n, x, nullptr, 0);
    }
    if (time > 0.0f)
        bz_Phys_MoveJointedTree(root, time);
}
