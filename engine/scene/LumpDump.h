// Developer output about lump trees on standard output: a one-line-per-lump listing with a
// lump count, a detail block for one lump, and the report of NULL lumps that hold fewer than
// two children. Addresses are printed as their low 32 bits.
#pragma once

#include <cstdint>

struct bzLump;

// One line for the lump, indented by two spaces per level of the current depth.
void bz_Lump_Print(const bzLump *lump);
// The lump and each of its next siblings, each followed by its subtree one level deeper; the
// depth rises by one on entry and falls on exit.
void bz_Lump_PrintTree(const bzLump *lump);
// Resets the line counter and the depth, lists the tree, then "<n> lumps".
void bz_Lump_PrintCount(const bzLump *root);
// The detail block; "LUMP IS NULL" for null. Returns 1.
int32_t bz_Lump_PrintInfo(bzLump *lump);
int32_t bz_Lump_Info(bzLump *lump);
// One line for each NULL lump of the subtree with no child or one child, in pre-order; the
// number of lines printed.
int32_t bz_Lump_ReportSuperfluousNulls(const bzLump *root);
