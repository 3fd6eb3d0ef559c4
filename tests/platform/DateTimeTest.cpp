#include "platform/DateTime.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

DateTimeRec rec(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    DateTimeRec r;
    r.year = static_cast<std::int16_t>(y);
    r.month = static_cast<std::int16_t>(mo);
    r.day = static_cast<std::int16_t>(d);
    r.hour = static_cast<std::int16_t>(h);
    r.minute = static_cast<std::int16_t>(mi);
    r.second = static_cast<std::int16_t>(s);
    return r;
}

TEST(DateTime, EpochAndKnownDates)
{
    EXPECT_EQ(dateToSeconds(rec(1904, 1, 1)), 0u);
    // 1970-01-01 and 2007-03-05 03:00 as 1904-based values.
    EXPECT_EQ(dateToSeconds(rec(1970, 1, 1)), 2082844800u);
    const DateTimeRec d = secondsToDate(dateToSeconds(rec(2007, 3, 5, 3, 0, 0)));
    EXPECT_EQ(d.year, 2007);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 5);
    EXPECT_EQ(d.hour, 3);
    EXPECT_EQ(d.dayOfWeek, 2);                // a Monday
    EXPECT_EQ(secondsToDate(0).dayOfWeek, 6); // 1904-01-01, a Friday
}

TEST(DateTime, RoundTripsEveryDayAcrossLeapYears)
{
    for (std::uint32_t s = dateToSeconds(rec(1999, 12, 1)); s < dateToSeconds(rec(2001, 3, 2));
         s += SecondsPerDay) {
        const DateTimeRec d = secondsToDate(s + 3723);
        EXPECT_EQ(dateToSeconds(d), s + 3723);
    }
    EXPECT_EQ(secondsToDate(dateToSeconds(rec(2000, 2, 29))).day, 29);
    EXPECT_EQ(secondsToDate(dateToSeconds(rec(2039, 2, 29))).month, 3); // not a leap year
}

TEST(DateTime, MidnightsAreWholeDaysApart)
{
    EXPECT_EQ(dateToSeconds(rec(2007, 3, 11)) - dateToSeconds(rec(2007, 3, 10)), SecondsPerDay);
    EXPECT_EQ(dateToSeconds(rec(2007, 12, 31)) + SecondsPerDay, dateToSeconds(rec(2008, 1, 1)));
}

TEST(DateTime, OutOfRangeFieldsCarryOver)
{
    EXPECT_EQ(dateToSeconds(rec(2008, 2, 30)), dateToSeconds(rec(2008, 3, 1)));
    EXPECT_EQ(dateToSeconds(rec(2007, 13, 1)), dateToSeconds(rec(2008, 1, 1)));
}

TEST(DateTime, TimeOfDayValuesCompareAcrossMidnight)
{
    const std::uint32_t midnight = dateToSeconds(rec(0, 0, 0, 0, 0, 0));
    const std::uint32_t lastMinute = dateToSeconds(rec(0, 0, 0, 23, 59, 59));
    const std::uint32_t sunrise = dateToSeconds(rec(0, 0, 0, 5, 10, 0));
    const std::uint32_t sunset = dateToSeconds(rec(0, 0, 0, 21, 0, 0));
    EXPECT_EQ(midnight, TimeOfDayBase);

    // Sunrise 05:10 six hours early lands at 23:10 the evening before and
    // compares below every time of the day.
    const std::uint32_t early = sunrise - 6 * 3600;
    EXPECT_LT(early, midnight);
    EXPECT_EQ(secondsToDate(early).hour, 23);
    EXPECT_EQ(secondsToDate(early).minute, 10);

    // Sunset 21:00 five hours late lands at 02:00 and compares above every time.
    const std::uint32_t late = sunset + 5 * 3600;
    EXPECT_GT(late, lastMinute);
    EXPECT_EQ(secondsToDate(late).hour, 2);

    // The largest offsets either way never wrap the 32-bit range.
    EXPECT_LT(midnight - (23 * 3600 + 59 * 60), midnight);
    EXPECT_GT(lastMinute + 23 * 3600 + 59 * 60, lastMinute);
}

TEST(DateTime, TimeOfDayKeepsHourAndMinuteOfAnyMidnight)
{
    // A time written elsewhere on another base still reads as its hour and minute.
    const std::uint32_t foreign = dateToSeconds(rec(2007, 3, 5, 7, 45, 0));
    EXPECT_EQ(timeOfDay(foreign), dateToSeconds(rec(0, 0, 0, 7, 45, 0)));
}

TEST(DateTime, GetDateTimeIsLocalWallClock)
{
    {
        test::FixedClock clock(2007, 3, 7, 15, 4, 0, "EST5EDT,M3.2.0,M11.1.0");
        const DateTimeRec now = secondsToDate(GetDateTime());
        EXPECT_EQ(now.hour, 15);
        EXPECT_EQ(now.minute, 4);
        EXPECT_EQ(now.day, 7);
        EXPECT_EQ(unixFromLocalSeconds(GetDateTime()), clock.now());
    }
    {
        test::FixedClock clock(2007, 7, 1, 0, 30, 0, "EST5EDT,M3.2.0,M11.1.0");
        EXPECT_EQ(gmtOffsetAt(clock.now()), -4 * 3600);
        EXPECT_EQ(secondsToDate(GetDateTime()).hour, 0);
    }
}

} // namespace
} // namespace vantrel
