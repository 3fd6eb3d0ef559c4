#include "suntimes/SunTimes.h"

#include "platform/DateTime.h"
#include "platform/Location.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vantrel {
namespace {

std::string text(std::uint32_t value)
{
    if (value == NoSunTime)
        return "none";
    const DateTimeRec d = secondsToDate(value);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", d.hour, d.minute);
    return buffer;
}

struct SunCase
{
    const char* legend;
    int year, month, day;
    int latitude, longitude;
    long gmtOffset;
    const char* sunrise;
    const char* sunset;
};

class SunTimesTable : public ::testing::TestWithParam<SunCase>
{
};

TEST_P(SunTimesTable, MatchesKnownValuesToTheMinute)
{
    const SunCase& c = GetParam();
    // The machine's own zone must not matter: only the given offset does.
    test::FixedClock clock(c.year, c.month, c.day, 12, 0, 0, "UTC");
    setLocationOverride({c.latitude, c.longitude, c.gmtOffset});
    resetSunTimes();
    SetRiseSetTimes();
    setLocationOverride({});
    EXPECT_EQ(text(gSunriseTime), c.sunrise);
    EXPECT_EQ(text(gSunsetTime), c.sunset);
    if (gSunriseTime != NoSunTime) {
        // Results are time-of-day values with seconds 0.
        EXPECT_EQ(secondsToDate(gSunriseTime).second, 0);
        EXPECT_EQ(gSunriseTime, timeOfDay(gSunriseTime));
    }
}

INSTANTIATE_TEST_SUITE_P(
    KnownDays, SunTimesTable,
    ::testing::Values(
        SunCase{"New York, summer solstice", 2007, 6, 21, 40, -74, -18000, "04:27", "19:28"},
        // The setting falls at 16:33.9 and the London rising at 06:03.7: the
        // minute is truncated, never rounded.
        SunCase{"New York, winter solstice", 2007, 12, 21, 40, -74, -18000, "07:14", "16:33"},
        SunCase{"London, equinox", 2007, 3, 20, 52, 0, 0, "06:03", "18:12"},
        SunCase{"polar day: no setting, so neither", 2007, 6, 21, 70, 20, 3600, "none", "none"},
        SunCase{"polar night", 2007, 12, 21, 75, 20, 3600, "none", "none"},
        // The setting falls after local midnight: one rising alone is discarded.
        SunCase{"a rising without a setting", 2007, 6, 10, 63, -30, 0, "none", "none"},
        SunCase{"a setting without a rising", 2007, 7, 16, 65, 30, 0, "none", "none"},
        // +5:30 is cut to +5 hours before use, so the times shift half an hour
        // earlier than the zone's clock would show.
        SunCase{"half-hour zone east", 2007, 3, 20, 23, 88, 19800, "05:12", "17:18"},
        SunCase{"half-hour zone equals whole-hour zone", 2007, 3, 20, 23, 88, 18000, "05:12",
                "17:18"}),
    [](const auto& row) { return "Case" + std::to_string(row.index); });

TEST(SunTimes, HalfHourOffsetTruncatesTowardZero)
{
    // -3:30 behaves as -3, not -4.
    auto run = [](long offset) {
        test::FixedClock clock(2007, 6, 21, 12, 0, 0);
        setLocationOverride({47, -53, offset});
        SetRiseSetTimes();
        setLocationOverride({});
        return std::make_pair(gSunriseTime, gSunsetTime);
    };
    EXPECT_EQ(run(-12600), run(-10800));
    EXPECT_NE(run(-12600), run(-14400));
}

TEST(SunTimes, LateSettingFoundInTheLastHour)
{
    // Far west in its zone in high summer the Sun sets just before midnight.
    test::FixedClock clock(2007, 6, 21, 12, 0, 0);
    setLocationOverride({60, -30, -3600 * 0});
    SetRiseSetTimes();
    setLocationOverride({});
    ASSERT_NE(gSunsetTime, NoSunTime);
    EXPECT_EQ(secondsToDate(gSunsetTime).hour, 23);
}

TEST(SunTimes, AnHourWhoseParabolaIsALineTakesTheLinesRoot)
{
    // Evenly spaced values: the fitted parabola has no square term.
    resetSunTimes();
    EXPECT_TRUE(examineHourCrossing(6, -1, 0, 1));
    EXPECT_EQ(text(gSunriseTime), "06:30");
    EXPECT_TRUE(examineHourCrossing(18, 0.75, 0.25, -0.25));
    EXPECT_EQ(text(gSunsetTime), "18:45");

    // A fit that gives no number is no crossing: no flag, nothing stored.
    const std::uint32_t before = gSunriseTime;
    EXPECT_FALSE(examineHourCrossing(7, -1, std::nan(""), 1));
    EXPECT_EQ(gSunriseTime, before);
}

TEST(SunTimes, ReadsTheClockEachCall)
{
    setLocationOverride({40, -74, -18000});
    std::uint32_t june = 0;
    {
        test::FixedClock clock(2007, 6, 21, 1, 0, 0);
        SetRiseSetTimes();
        june = gSunriseTime;
    }
    {
        test::FixedClock clock(2007, 12, 21, 23, 59, 0);
        SetRiseSetTimes();
    }
    setLocationOverride({});
    EXPECT_EQ(text(june), "04:27");
    EXPECT_EQ(text(gSunriseTime), "07:14");
}

} // namespace
} // namespace vantrel
