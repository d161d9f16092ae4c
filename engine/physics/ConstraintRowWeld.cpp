// Moving the rows of welded bodies onto the bodies they are welded to for the length of a solve,
// and putting them back.
#include "physics/ConstraintRow.h"

#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/PhysSettings.h"

namespace
{
constexpr int32_t kStack = 1;

int32_t gWeldedRows; // the step's switch
bzPhysRow *gSaved;   // the copy taken by the move, until the restore
int32_t gSavedCount;

// Carries a point and a direction of a welded body onto its representative.
void MoveSide(BZDObject *&body, bzV3 *r, bzV3 *n)
{
    if (!body || !(body->physicsFlags & BZ_PHYS_WELDED) || !body->top)
        return;
    const BZDObject *rep = body->top;
    bzV3 p, world;
    bz_V3_AddInto(&body->centreOfMass, r, &p);
    bz_M34_TransformPointInto(&body->startTransform, &world, &p);
    bz_M34_InverseTransformPointInto(&rep->startTransform, &p, &world);
    bz_V3_SubInto(&p, &rep->centreOfMass, r);
    bz_RotateV3Into(&body->startTransform, &world, n);
    bz_M34_InverseRotateV3Into(&rep->startTransform, n, &world);
    body = body->top;
}
} // namespace

void bz_Phys_SetWeldedRows(int32_t on)
{
    gWeldedRows = on ? 1 : 0;
}

int32_t bz_Phys_WeldedRows()
{
    return gWeldedRows;
}

void bz_Phys_MoveWeldedRows(int32_t count, bzPhysRow **rows)
{
    if (!gWeldedRows || count <= 0)
        return;
    gSaved = static_cast<bzPhysRow *>(
        bz_TempStack_Alloc(kStack, static_cast<uint32_t>(count) * sizeof(bzPhysRow), 0));
    if (!gSaved)
    {
        // Without a copy the rows could not be put back: leave them where they are.
        gSavedCount = 0;
        return;
    }
    gSavedCount = count;
    for (int32_t k = 0; k < count; ++k)
    {
        gSaved[k] = *rows[k];
        MoveSide(rows[k]->bodyA, &rows[k]->rA, &rows[k]->nA);
        MoveSide(rows[k]->bodyB, &rows[k]->rB, &rows[k]->nB);
    }
}

void bz_Phys_RestoreWeldedRows(int32_t count, bzPhysRow **rows)
{
    if (!gWeldedRows || !gSaved)
        return;
    const int32_t n = count < gSavedCount ? count : gSavedCount;
    for (int32_t k = 0; k < n; ++k)
    {
        bzPhysRow &r = *rows[k];
        if (r.type & BZ_ROW_OFF)
            continue;
        const bzPhysRow &s = gSaved[k];
        r.weight = s.weight;
        r.bodyA = s.bodyA;
        r.bodyB = s.bodyB;
        r.link = s.link;
        r.type = s.type;
        r.value = s.value;
        r.shapeA = s.shapeA;
        r.shapeB = s.shapeB;
        r.rA = s.rA;
        r.nA = s.nA;
        r.rB = s.rB;
        r.nB = s.nB;
    }
    bz_TempStack_Free(kStack, gSaved);
    gSaved = nullptr;
    gSavedCount = 0;
}
