// The engine's case-blind 32-bit name hash, used for the names of models, image maps and
// materials and by the game.
#pragma once

#include <cstdint>

// Takes the text four bytes at a time, each byte ANDed with 0xDF (lower-case letters fold to
// upper case, a space to 0), the group as a little-endian word; h := (h XOR word) rotated left
// by one bit. The text ends after a group's second or third byte when that byte, masked, is 0,
// and after a full group when its fourth byte or the next group's first byte is 0 (unmasked).
// An empty or null text gives 0.
uint32_t bz_HashString(const char *text);
