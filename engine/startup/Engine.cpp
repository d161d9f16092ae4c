#include "startup/Engine.h"

#include "collision/HullFromModel.h"
#include "core/Clock.h"
#include "console/Console.h"
#include "core/Error.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "formview/SkeletonShapes.h"
#include "input/WindowInput.h"
#include "models/SceneLink.h"
#include "pc/PcSystem.h"
#include "physics/PhysInstall.h"
#include "render/ConsoleView.h"
#include "render/Gui.h"
#include "render/RenderCommands.h"
#include "startup/PortalFaces.h"
#include "text/Salad.h"

void bz_RegisterEngineConsoleCommands()
{
    bz_Console_RegisterBuiltIns();
    bz_Render_RegisterCommands();
    bz_Salad_RegisterCommand();
}

int32_t bz_InitEngine(const bzInitRecord *record)
{
    bz_Error_AttachPlatform(bz_GetMicroseconds);
    bz_Input_AttachWindow();
    bz_DebugOutput_Attach();
    PDInitSystem();
    bz_InitClock();
    bz_Mem_Init(record ? &record->memory : nullptr);
    bz_FileIO_InitDefaults();
    bz_Timer_Init(record ? record->frameCapMode : 0, record ? record->frameRate : 0.0f);
    PDSetApplicationHook(record ? record->applicationHook : nullptr);
    bz_ConsoleView_Attach();
    bz_Models_InstallSceneServices();
    bz_Phys_InstallServices();
    bz_Form_InstallModelBuilders();
    bz_FormView_InstallSkeletonShapes();
    bz_Startup_InstallPortalFaces();
    GUI_Reset();
    bz_RegisterEngineConsoleCommands();
    bzgNoFatalExit = 0;
    return bz_Mem_GetStatus() == BZ_MEM_OK ? 0 : BZ_ERROR_NO_MEMORY;
}
