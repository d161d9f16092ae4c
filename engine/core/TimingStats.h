// Timing statistics records: up to 16 named records, each adding up a value over a frame and
// averaging it over a ring of the last 2^k frames.
#pragma once

#include <cstdint>

// Statistics records, ids 1-16, each averaging 2^k samples (k 0-8) taken once a frame.
constexpr int32_t BZ_TIMING_STATS = 16;
constexpr int32_t BZ_TIMING_STATS_MAX_SHIFT = 8;
// 0, or 20 for a bad id or k.
int32_t bz_TimingStats_Create(int32_t id, const char *name, int32_t k);
void bz_TimingStats_Add(int32_t id, int32_t value);
float bz_TimingStats_Average(int32_t id);
void bz_TimingStats_Update();
// The record's name, or null when the id names no record.
const char *bz_TimingStats_Name(int32_t id);
