// The calendar: the local date and time of day, and seconds since 1970.
#pragma once

#include <cstdint>

// Each gives 1, or 0 when the system clock fails. Null outputs are skipped.

// Day of the month, month 0-11 and the full year.
int32_t bz_GetLocalDate(int32_t *day, int32_t *month, int32_t *year);
// With twentyFourHour 0 the hour is 1-12; the pm flag is set from 12:00.
int32_t bz_GetLocalTimeOfDay(int32_t *pm, int32_t twentyFourHour, int32_t *minute, int32_t *second,
                             int32_t *hour);
// Seconds of the calendar clock since 1970; 0 when it fails.
int64_t bz_GetCalendarTime();
