#include "core/Calendar.h"
#include "pc/PcTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include "support/TestSupport.h"
#include <ctime>
#include <string>

namespace
{
int64_t gFixedCalendar;

bool FixedCalendar(int64_t *seconds)
{
    *seconds = gFixedCalendar;
    return true;
}
bool FailingCalendar(int64_t *)
{
    return false;
}

struct UtcCalendar
{
    UtcCalendar()
    {
        setenv("TZ", "UTC", 1);
        tzset();
        PDSetCalendarSource(FixedCalendar);
    }
    ~UtcCalendar()
    {
        PDSetCalendarSource(nullptr);
        environment.Restore();
        tzset();
    }
    ScopedEnvironment environment{"TZ"};
};

int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(timegm(&t));
}

TEST(Calendar, CalendarDateAndTimeOfDay)
{
    UtcCalendar calendar;
    gFixedCalendar = Utc(2005, 2, 14, 13, 5, 9);
    EXPECT_EQ(bz_GetCalendarTime(), gFixedCalendar);
    int32_t day = -1, month = -1, year = -1;
    ASSERT_EQ(bz_GetLocalDate(&day, &month, &year), 1);
    EXPECT_EQ(day, 14);
    EXPECT_EQ(month, 2);
    EXPECT_EQ(year, 2005);

    const struct
    {
        int hour;
        int32_t twentyFour, expectedHour, expectedPm;
    } cases[] = {{13, 0, 1, 1},  {13, 1, 13, 1}, {0, 0, 12, 0},  {0, 1, 0, 0},
                 {12, 0, 12, 1}, {11, 0, 11, 0}, {23, 0, 11, 1}, {12, 1, 12, 1}};
    for (const auto &c : cases)
    {
        gFixedCalendar = Utc(2005, 2, 14, c.hour, 5, 9);
        int32_t pm = -1, minute = -1, second = -1, hour = -1;
        ASSERT_EQ(bz_GetLocalTimeOfDay(&pm, c.twentyFour, &minute, &second, &hour), 1);
        EXPECT_EQ(hour, c.expectedHour) << c.hour;
        EXPECT_EQ(pm, c.expectedPm) << c.hour;
        EXPECT_EQ(minute, 5);
        EXPECT_EQ(second, 9);
    }
    EXPECT_EQ(bz_GetLocalTimeOfDay(nullptr, 0, nullptr, nullptr, nullptr), 1);

    PDSetCalendarSource(FailingCalendar);
    EXPECT_EQ(bz_GetLocalDate(&day, &month, &year), 0);
    EXPECT_EQ(bz_GetLocalTimeOfDay(nullptr, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(bz_GetCalendarTime(), 0);
}

} // namespace
