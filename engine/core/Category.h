// Object categories: an object keeps its category in a byte of its own, and the engine counts
// how many objects are in each of the 256 categories.
#pragma once

#include <cstdint>

// Moves an object from the count of its old category to that of the new one and stores the new
// category in the object's category byte (256 categories, one count each).
void InlineSetCategory(uint8_t *categoryByte, uint8_t category);
uint32_t bz_GetCategoryCount(uint8_t category);
