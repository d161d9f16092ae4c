// Numbered file names that are not taken yet ("SHOT%.TXT" becomes "SHOT000.TXT", then
// "SHOT001.TXT" once that exists).
#pragma once

#include <cstdint>

// Replaces the first "%" of the name by the three digits 000-999 of the first number whose
// file cannot be opened for reading. The buffer needs room for 2 more characters. A name
// without "%" is kept as it is. 1 on success; 0 when all 1,000 names exist or the name is
// longer than 1,000 characters, the name then being left unchanged.
int32_t bz_MakeUniqueFileName(char *name);
