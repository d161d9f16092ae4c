#include "models/LoadOptions.h"

uint32_t bzgLoadFlags;
uint32_t bzgModelLoadOptions;
