// Calendar date and time of the PC.
#pragma once

#include <cstdint>

struct PDLocalTime
{
    int32_t year;   // full year, such as 2005
    int32_t month;  // 0-11
    int32_t day;    // day of the month, 1-31
    int32_t hour;   // 0-23
    int32_t minute; // 0-59
    int32_t second; // 0-60
};

// Seconds of the calendar clock since 1970-01-01 00:00 UTC; false when the clock fails.
bool PDGetCalendarSeconds(int64_t *seconds);
// The local date and time of the calendar clock; false when the clock fails.
bool PDGetLocalTime(PDLocalTime *out);

// Replaces the calendar clock (null puts the system's back), so a test can fix the time.
typedef bool (*PDCalendarSource)(int64_t *seconds);
void PDSetCalendarSource(PDCalendarSource source);
