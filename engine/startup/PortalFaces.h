// The collision layer's face lists as the portal room calculation's face services: a level query
// gathers the faces of the level's model lumps into a face list of the collision layer, and a
// narrowed list keeps the faces of another list that meet a smaller box.
#pragma once

// Installs the table (bz_InitEngine does it); the removal puts back none.
void bz_Startup_InstallPortalFaces();
void bz_Startup_RemovePortalFaces();
