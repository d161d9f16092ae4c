// What the models and materials lend the scene graph: the tables through which lumps count
// their models and materials, read a model's mesh, box and checksum for the octree and the ray
// queries, and make the models the scene's debug views draw. The engine installs them at
// start-up, after which the scene graph works on the real records.
#pragma once

// Installs the tables in the scene graph: models and materials, geometry, and the image maps
// of its effects.
void bz_Models_InstallSceneServices();
// Takes them out again; the scene graph then holds models and materials without counts and
// its effects draw untextured.
void bz_Models_RemoveSceneServices();
