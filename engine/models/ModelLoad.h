// Getting a model by path: a model already loaded under that path is shared; otherwise the
// device's own model file (when a back end offers one and the options allow it), then the
// ".MDL" file, then the application's missing-model hook.
#pragma once

#include "models/Model.h"

#include <cstdint>

// The back end's reader of its own model files (path, name hash); null when there is none.
extern bzModel *(*bzgModel_mdxLoader)(const char *path, uint32_t nameHash);
// The application's last resort for a path; null by default. Its result is returned as it is.
extern bzModel *(*bzgModel_missingHook)(const char *path);

// The model of the path (no extension) with one more reference for the caller, or null.
bzModel *bz_LoadModel(const char *path);
// Replaces the loading flags word whole (models/LoadOptions.h).
void bz_SetLoadFlags(uint32_t flags);
