#include "core/Calendar.h"

#include "pc/PcTime.h"

int32_t bz_GetLocalDate(int32_t *day, int32_t *month, int32_t *year)
{
    PDLocalTime local;
    if (!PDGetLocalTime(&local))
        return 0;
    if (day)
        *day = local.day;
    if (month)
        *month = local.month;
    if (year)
        *year = local.year;
    return 1;
}

int32_t bz_GetLocalTimeOfDay(int32_t *pm, int32_t twentyFourHour, int32_t *minute, int32_t *second,
                             int32_t *hour)
{
    PDLocalTime local;
    if (!PDGetLocalTime(&local))
        return 0;
    int32_t h = local.hour;
    if (pm)
        *pm = h >= 12 ? 1 : 0;
    if (!twentyFourHour)
    {
        h %= 12;
        if (h == 0)
            h = 12;
    }
    if (hour)
        *hour = h;
    if (minute)
        *minute = local.minute;
    if (second)
        *second = local.second;
    return 1;
}

int64_t bz_GetCalendarTime()
{
    int64_t seconds;
    return PDGetCalendarSeconds(&seconds) ? seconds : 0;
}
