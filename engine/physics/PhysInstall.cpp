#include "physics/PhysInstall.h"

#include "physics/ContactBodyView.h"
#include "physics/JointedObjectSolve.h"
#include "physics/PairCollision.h"
#include "physics/PhysObjectLists.h"
#include "physics/PhysServices.h"
#include "physics/PhysStep.h"
#include "physics/TreeRecord.h"
#include "physics/WorldCollision.h"

namespace
{
// The overlap search's pair test: rows are appended from index count.
int32_t CollidePairRows(BZDObject *a, BZDObject *b, bzPhysRow *rows, int32_t count)
{
    return bz_PhysObject_CollidePair(count, a, b, reinterpret_cast<bzCollisionContact *>(rows));
}
} // namespace

void bz_Phys_InstallServices()
{
    bz_Phys_InstallContactBodyView();
    const bzPhysCollisionProvider provider = {bz_PhysWorld_CollideObject, bz_PhysObject_CollidePair,
                                              bz_PhysObject_MarkFacesBelowLevel};
    bz_Phys_SetCollisionProvider(&provider);
    bz_Phys_InstallTreeServices();
    bz_Phys_SetExtraSolve(bz_Phys_RunExtraJointSolves);
    bzgPhysStepServices.collidePair = CollidePairRows;
}

void bz_Phys_RemoveServices()
{
    bz_PhysContacts_SetBodyView(nullptr);
    bz_PhysContacts_SetErrorReporter(nullptr);
    bz_Phys_SetCollisionProvider(nullptr);
    bz_Phys_SetExtraSolve(nullptr);
    bz_Phys_ResetServices();
}
