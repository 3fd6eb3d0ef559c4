// The week ahead against the downloads themselves: each day's switchings
// must be what the merged table of that day's 3:00 AM download and of the
// day before leave the interface to do.

#include "cp290/WeekAhead.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "platform/Location.h"
#include "schedule/ModulesDocument.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

namespace vantrel {
namespace {

using test::clockEvent;
using test::dateValue;
using test::moduleWith;

using Switch = std::tuple<int, std::int64_t, std::int64_t, int>; // minute, house, unit, function

struct LocationScope
{
    explicit LocationScope(const LocationOverride& values) { setLocationOverride(values); }
    ~LocationScope() { setLocationOverride({}); }
};

std::time_t threeAm(int year, int month, int day)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 3;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// The merged table a download at that moment stores, as the helper makes it.
std::vector<std::array<std::uint8_t, CP290TimerEventSize>> tableAt(std::time_t moment,
                                                                   const ModulesDocument& document)
{
    setUnixClock([moment] { return moment; });
    EXPECT_TRUE(prepareDownload(document.modules, document.eventRepeat));
    std::vector<std::array<std::uint8_t, CP290TimerEventSize>> table(NumEvents);
    for (unsigned i = 0; i < NumEvents; ++i)
        std::memcpy(table[i].data(), CP290TimerEvent[i], CP290TimerEventSize);
    return table;
}

// What the interface does on a day: the day before's table until 3:00 AM,
// the day's own from then on; each merged entry switches all of its units.
std::set<Switch> expectedDay(const DateTimeRec& date, const ModulesDocument& document)
{
    const DateTimeRec before = secondsToDate(dateToSeconds(date) - SecondsPerDay);
    const std::uint8_t bit =
        date.dayOfWeek == 1 ? 0x40 : static_cast<std::uint8_t>(1u << (date.dayOfWeek - 2));
    std::set<Switch> result;
    for (const bool early : {true, false}) {
        const DateTimeRec& day = early ? before : date;
        for (const auto& e : tableAt(threeAm(day.year, day.month, day.day), document)) {
            const int minute = e[4] * 60 + e[5];
            const bool weekly =
                (e[2] == CP290ModeWeekly || e[2] == CP290ModeWeeklySecurity) && (e[3] & bit);
            const std::uint8_t dayMode = early ? CP290ModeTomorrow : CP290ModeToday;
            if ((minute <= 180) != early || !(weekly || e[2] == dayMode))
                continue;
            const int house = houseCodeIndexOfByte(e[8]);
            if (e[9] <= 1)
                result.insert({minute, house, e[9] == 0 ? AllModulesUnit : AllLightsUnit, e[9]});
            for (int unit = 1; unit <= 16; ++unit)
                if ((unit <= 8 ? e[6] >> (8 - unit) : e[7] >> (16 - unit)) & 1)
                    result.insert({minute, house, unit, e[9]});
        }
    }
    return result;
}

Event withRule(Event e, std::uint16_t rule, std::uint32_t date = 0, std::uint16_t repeat = 0)
{
    e.Flags = static_cast<std::uint16_t>((e.Flags & ~EventDayRuleMask) | rule |
                                         (repeat ? EventRepeatFlag : 0));
    e.Date = date;
    e.Repeat = repeat;
    return e;
}

Event sunset(int offsetMinutes)
{
    Event e;
    e.Flags = EventSunsetFlag | EventOnFlag | EventDaysMask;
    e.Adjust = static_cast<std::uint32_t>(offsetMinutes * 60);
    return e;
}

TEST(WeekAhead, FollowsEachDaysDownloadsAcrossAMonthEndAndTheEndOfSummerTime)
{
    // Sunday 7 November 2027: clocks go back from 2:00 to 1:00 in New York.
    const test::FixedClock clock(2027, 10, 20, 12, 0, 0, "America/New_York");
    const LocationScope location({40, -74, std::nullopt});
    CP290Verbose = false;

    ModulesDocument document;
    document.eventRepeat = {2, 1};
    Module porch = moduleWith({sunset(15), clockEvent(EventDaysMask, 23, 30, false)}, 0, 1);
    Module sprinkler = moduleWith({withRule(clockEvent(0, 5, 30), EventRuleEvenDays),
                                   withRule(clockEvent(0, 21, 0, false), EventRuleOddDays)},
                                  0, 2);
    // Every 3 days from 29 October at 2:00 AM: before the day's own download.
    Module heater = moduleWith(
        {withRule(clockEvent(0, 2, 0), EventRuleDate, dateValue(2027, 10, 29), 3)}, 1, 3);
    Event dim = clockEvent(EventSaturdayFlag | EventSundayFlag, 19, 0);
    dim.Brightness = 4;
    Module lamp = moduleWith({dim}, 0, 4);
    Module lights = moduleWith({clockEvent(EventDaysMask, 0, 0)}, 2, AllLightsUnit);
    document.modules = {porch, sprinkler, heater, lamp, lights};

    std::vector<WeekDay> days;
    std::string error;
    ASSERT_TRUE(
        computeWeekAhead(document.modules, document.eventRepeat, 2027, 10, 29, 12, &days, &error))
        << error;
    ASSERT_EQ(days.size(), 12u);

    for (const WeekDay& day : days) {
        SCOPED_TRACE(weekdayName(day.date.dayOfWeek) + std::string(" ") +
                     std::to_string(day.date.month) + "/" + std::to_string(day.date.day));
        std::set<Switch> actual;
        for (const WeekSwitching& s : day.switchings)
            actual.insert({s.minuteOfDay, s.houseCode, s.unit, s.function});
        EXPECT_EQ(actual, expectedDay(day.date, document));
        EXPECT_TRUE(day.failure.empty());
    }

    auto has = [&](int index, int minute, std::int64_t house, std::int64_t unit) {
        const auto& list = days[static_cast<std::size_t>(index)].switchings;
        return std::any_of(list.begin(), list.end(), [&](const WeekSwitching& s) {
            return s.minuteOfDay == minute && s.houseCode == house && s.unit == unit;
        });
    };
    struct Row
    {
        const char* legend;
        int day; // 0 = 29 October
        int minute;
        std::int64_t house, unit;
        bool expected;
    };
    const Row rows[] = {
        {"heater on its first day", 0, 120, 1, 3, true},
        {"and its repeat copy a minute later", 0, 121, 1, 3, true},
        {"not the day after", 1, 120, 1, 3, false},
        {"every third day, over the month end", 3, 120, 1, 3, true},
        {"on the day the clocks go back, once", 9, 120, 1, 3, true},
        {"even days: the 30th", 1, 330, 0, 2, true},
        {"not the 31st", 2, 330, 0, 2, false},
        {"odd days: the 31st", 2, 1260, 0, 2, true},
        {"and the 1st after it", 3, 1260, 0, 2, true},
        {"midnight from the day before's weekly entry", 0, 0, 2, AllLightsUnit, true},
        {"a weekend dim on Saturday", 1, 1140, 0, 4, true},
        {"not on Monday", 3, 1140, 0, 4, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(has(row.day, row.minute, row.house, row.unit), row.expected) << row.legend;

    // Sunset moves back by the hour the clocks do, less a minute or two.
    const auto sunsetMinute = [](const WeekDay& day) {
        return static_cast<int>(day.sunset % SecondsPerDay / 60);
    };
    const int shift = sunsetMinute(days[8]) - sunsetMinute(days[9]);
    EXPECT_GE(shift, 60);
    EXPECT_LE(shift, 63);
}

TEST(WeekAhead, TextOfASmallWeekendAndTheDriverStateLeftAlone)
{
    const test::FixedClock clock(2007, 6, 1, 12, 0);
    // Beyond the Arctic Circle at midsummer: no sunrise or sunset at all.
    const LocationScope location({70, 20, 3600});

    Event security = clockEvent(EventSaturdayFlag | EventSecurityFlag, 18, 30);
    Event dim = clockEvent(EventSaturdayFlag, 20, 0);
    dim.Brightness = 4;
    ModuleList modules = {
        moduleWith({security}, 0, 1),
        moduleWith({security}, 0, 2),
        moduleWith({clockEvent(EventSaturdayFlag, 7, 0, false)}, 0, AllLightsUnit),
        moduleWith({clockEvent(EventSaturdayFlag, 23, 0, true)}, 2, AllModulesUnit),
        moduleWith({dim}, 1, 5),
    };
    modules[0].name = "Hall";
    modules[1].name = "Desk\nlamp";
    modules[2].name = "Lamps";
    modules[3].name = "";
    modules[4].name = "Reading lamp";

    // A download half prepared elsewhere must find its table and clock as it left them.
    NumEvents = 3;
    CP290TimerEvent[2][4] = 17;
    const std::time_t now = unixNow();

    std::vector<WeekDay> days;
    std::string error;
    ASSERT_TRUE(computeWeekAhead(modules, {1, 1}, 2007, 6, 23, 2, &days, &error)) << error;
    EXPECT_EQ(NumEvents, 3);
    EXPECT_EQ(CP290TimerEvent[2][4], 17);
    EXPECT_EQ(unixNow(), now);

    EXPECT_EQ(weekAheadText(days, modules), "Saturday 06/23/2007  no sunrise  no sunset\n"
                                            "  7:00 AM  A-All Light Modules  Turn On  Lamps\n"
                                            "  6:30 PM  A-1  Turn On (Security)  Hall\n"
                                            "  6:30 PM  A-2  Turn On (Security)  Desk lamp\n"
                                            "  8:00 PM  B-5  Turn On 50.0%  Reading lamp\n"
                                            "  11:00 PM  C-All Modules  Turn Off\n"
                                            "Sunday 06/24/2007  no sunrise  no sunset\n"
                                            "  None.\n");
}

TEST(WeekAhead, ModulesOfOneUnitSwitchedTogetherMakeOneLineNamingThemAll)
{
    const test::FixedClock clock(2007, 6, 1, 12, 0);
    const LocationScope location({70, 20, 3600});
    const Event on = clockEvent(EventSaturdayFlag, 18, 30);
    Event dim = on;
    dim.Brightness = 4;

    struct Case
    {
        const char* name;
        ModuleList modules;
        const char* lines; // Saturday's switchings
    };
    auto named = [](Module module, const char* name) {
        module.name = name;
        return module;
    };
    const Case cases[] = {
        {"same unit, same event",
         {named(moduleWith({on}, 0, 1), "Porch light"),
          named(moduleWith({on}, 0, 1), "Garden light")},
         "  6:30 PM  A-1  Turn On  Porch light, Garden light\n"},
        {"three modules, one unnamed",
         {named(moduleWith({on}, 0, 1), "Porch light"), named(moduleWith({on}, 0, 1), ""),
          named(moduleWith({on}, 0, 1), "Garden light")},
         "  6:30 PM  A-1  Turn On  Porch light, Garden light\n"},
        {"one module asking twice",
         {named(moduleWith({on, on}, 0, 1), "Porch light")},
         "  6:30 PM  A-1  Turn On  Porch light\n"},
        {"other units stay apart",
         {named(moduleWith({on}, 0, 1), "Porch light"),
          named(moduleWith({on}, 0, 2), "Garden light"), named(moduleWith({on}, 1, 1), "Hall")},
         "  6:30 PM  A-1  Turn On  Porch light\n"
         "  6:30 PM  A-2  Turn On  Garden light\n"
         "  6:30 PM  B-1  Turn On  Hall\n"},
        {"other functions stay apart",
         {named(moduleWith({on}, 0, 1), "Porch light"),
          named(moduleWith({dim}, 0, 1), "Garden light")},
         "  6:30 PM  A-1  Turn On  Porch light\n"
         "  6:30 PM  A-1  Turn On 50.0%  Garden light\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<WeekDay> days;
        std::string error;
        ASSERT_TRUE(computeWeekAhead(c.modules, {1, 1}, 2007, 6, 23, 1, &days, &error)) << error;
        EXPECT_EQ(weekAheadText(days, c.modules),
                  std::string("Saturday 06/23/2007  no sunrise  no sunset\n") + c.lines);
        for (const WeekSwitching& s : days[0].switchings) {
            ASSERT_FALSE(s.modules.empty());
            EXPECT_EQ(s.modules.front(), s.module);
        }
    }
}

TEST(WeekAhead, RefusesDaysOutsideTheScheduleClock)
{
    std::vector<WeekDay> days;
    std::string error;
    EXPECT_FALSE(computeWeekAhead({}, {}, 2027, 2, 29, 7, &days, &error));
    EXPECT_FALSE(computeWeekAhead({}, {}, 2040, 2, 1, 7, &days, &error));
    EXPECT_FALSE(computeWeekAhead({}, {}, 2027, 1, 1, 0, &days, &error));
    EXPECT_TRUE(computeWeekAhead({}, {}, 2040, 1, 30, 7, &days, &error)) << error;
}

} // namespace
} // namespace vantrel
