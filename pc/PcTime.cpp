#include "pc/PcTime.h"

#include <ctime>

namespace
{
bool SystemCalendar(int64_t *seconds)
{
    time_t now = time(nullptr);
    if (now == static_cast<time_t>(-1))
        return false;
    *seconds = static_cast<int64_t>(now);
    return true;
}

PDCalendarSource gSource = SystemCalendar;
} // namespace

void PDSetCalendarSource(PDCalendarSource source)
{
    gSource = source ? source : SystemCalendar;
}

bool PDGetCalendarSeconds(int64_t *seconds)
{
    return seconds && gSource(seconds);
}

bool PDGetLocalTime(PDLocalTime *out)
{
    int64_t seconds;
    if (!out || !PDGetCalendarSeconds(&seconds))
        return false;
    time_t t = static_cast<time_t>(seconds);
    tm local;
    if (!localtime_r(&t, &local))
        return false;
    out->year = 1900 + local.tm_year;
    out->month = local.tm_mon;
    out->day = local.tm_mday;
    out->hour = local.tm_hour;
    out->minute = local.tm_min;
    out->second = local.tm_sec;
    return true;
}
