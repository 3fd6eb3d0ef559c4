// The translation of schedule events into the interface's timer-event table,
// computed with a fixed clock and fixed sun times; no device is involved.

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

using test::clockEvent;
using test::clockTime;
using test::dateValue;

using Entry = std::array<std::uint8_t, CP290TimerEventSize>;

constexpr std::uint16_t Weekdays = 0x1F00;
constexpr std::uint16_t EveryDay = 0x7F00;

Event weekly(std::uint16_t days, int hour, int minute, bool on = true)
{
    return clockEvent(static_cast<std::uint16_t>(EventRuleWeekly | days), hour, minute, on);
}

Event onDate(std::uint32_t date, int hour, int minute, std::uint16_t repeatDays = 0)
{
    Event e = clockEvent(EventRuleDate, hour, minute);
    e.Date = date;
    if (repeatDays) {
        e.Flags |= EventRepeatFlag;
        e.Repeat = repeatDays;
    }
    return e;
}

Event sunEvent(std::uint16_t sunFlag, std::uint16_t rule, std::uint32_t adjust, bool before)
{
    Event e;
    e.Adjust = adjust;
    e.Flags = static_cast<std::uint16_t>(rule | sunFlag | EventOnFlag | EveryDay |
                                         (before ? EventOffsetBeforeFlag : 0));
    return e;
}

Entry entry(int index, std::uint8_t mode, std::uint8_t days, std::uint8_t hour, std::uint8_t minute,
            std::uint8_t units1to8, std::uint8_t units9to16, std::uint8_t house,
            std::uint8_t function)
{
    const int address = index * 8;
    return {static_cast<std::uint8_t>(address & 0xFF),
            static_cast<std::uint8_t>(address >> 8),
            mode,
            days,
            hour,
            minute,
            units1to8,
            units9to16,
            house,
            function};
}

std::vector<Entry> table()
{
    std::vector<Entry> result;
    for (int i = 0; i < NumEvents; ++i) {
        Entry e;
        std::copy(CP290TimerEvent[i], CP290TimerEvent[i] + CP290TimerEventSize, e.begin());
        result.push_back(e);
    }
    return result;
}

class RecordingHost : public DriverHost
{
  public:
    void statusEnd() override {}
    void showAlert(const std::string& title, const std::string& message) override
    {
        alerts.emplace_back(title, message);
    }
    void incrementProgress(double) override {}
    std::vector<std::pair<std::string, std::string>> alerts;
};

class Download : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
        setLocationOverride({0, 0, 0});
    }
    void TearDown() override
    {
        setDriverHost(nullptr);
        setLocationOverride({});
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
    }
    // Starts a download at the fixed time, with the given sun times.
    void start(std::uint32_t sunrise = clockTime(6, 0), std::uint32_t sunset = clockTime(18, 0))
    {
        CP290DoSendEventStart();
        gSunriseTime = sunrise;
        gSunsetTime = sunset;
    }
    bool send(int house, int unit, const Event& e, ClassicEventRepeat repeat = {1, 1})
    {
        return CP290DoSendEvent(house, unit, e, repeat);
    }
};

// Monday 5 March 2007.
constexpr int Year = 2007, March = 3;

TEST_F(Download, ReferenceTimesOfNow)
{
    test::FixedClock clock(Year, March, 5, 14, 25, 37);
    start();
    EXPECT_EQ(TodayMidnightSecs, dateValue(Year, March, 5));
    EXPECT_EQ(TomorrowMidnightSecs, dateValue(Year, March, 6));
    EXPECT_EQ(NowSecs, TodayMidnightSecs + 14 * 3600 + 25 * 60 + 37);
    EXPECT_EQ(TodaySecs, clockTime(14, 25) + 37);
    EXPECT_EQ(NowDateTime.day, 5);
    EXPECT_EQ(NowDateTime.hour, 0);
    EXPECT_EQ(NumEvents, 0);
}

TEST_F(Download, LikeWeekdayEventsOfOneHouseCodeMergeIntoOneEntry)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(0, 2, weekly(Weekdays, 6, 30)));
    EXPECT_TRUE(send(0, 1, weekly(Weekdays, 6, 30)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x1F, 6, 30, 0xC0, 0x00, 0x60, 0x02)}));
}

TEST_F(Download, OnRepeatPutsCopiesOnConsecutiveMinutes)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(0, 2, weekly(Weekdays, 6, 30), {2, 1}));
    EXPECT_TRUE(send(0, 1, weekly(Weekdays, 6, 30), {2, 1}));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x1F, 6, 30, 0xC0, 0x00, 0x60, 0x02),
                                           entry(1, 8, 0x1F, 6, 31, 0xC0, 0x00, 0x60, 0x02)}));
}

TEST_F(Download, RepeatCountOfZeroLeavesThoseEventsOut)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(0, 1, weekly(Weekdays, 6, 30, false), {1, 0}));
    EXPECT_EQ(NumEvents, 0);
    EXPECT_TRUE(send(0, 1, weekly(Weekdays, 6, 30, true), {0, 1}));
    EXPECT_EQ(NumEvents, 0);
}

TEST_F(Download, CopiesRunOnAcrossTheHourAndMidnight)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(1, 16, weekly(EveryDay, 23, 59, false), {1, 2}));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 23, 59, 0x00, 0x01, 0xE0, 0x03),
                                           entry(1, 8, 0x7F, 0, 0, 0x00, 0x01, 0xE0, 0x03)}));
}

TEST_F(Download, DailyDateEventAfterItsTimeGoesToTomorrowOnly)
{
    test::FixedClock clock(Year, March, 5, 8, 0);
    start();
    EXPECT_TRUE(send(0, 1, onDate(dateValue(Year, March, 1), 7, 0, 1)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 2, 0, 7, 0, 0x80, 0, 0x60, 0x02)}));
}

TEST_F(Download, DailyDateEventBeforeItsTimeGoesToTodayAndTomorrow)
{
    test::FixedClock clock(Year, March, 5, 6, 0);
    start();
    EXPECT_TRUE(send(0, 1, onDate(dateValue(Year, March, 1), 7, 0, 1)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 4, 0, 7, 0, 0x80, 0, 0x60, 0x02),
                                           entry(1, 2, 0, 7, 0, 0x80, 0, 0x60, 0x02)}));
}

TEST_F(Download, DailyDateEventWithOnRepeatThreeStartsEachPassAtTheEventTime)
{
    test::FixedClock clock(Year, March, 5, 6, 0);
    start();
    EXPECT_TRUE(send(0, 1, onDate(dateValue(Year, March, 1), 7, 0, 1), {3, 1}));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 4, 0, 7, 0, 0x80, 0, 0x60, 0x02),
                                           entry(1, 4, 0, 7, 1, 0x80, 0, 0x60, 0x02),
                                           entry(2, 4, 0, 7, 2, 0x80, 0, 0x60, 0x02),
                                           entry(3, 2, 0, 7, 0, 0x80, 0, 0x60, 0x02),
                                           entry(4, 2, 0, 7, 1, 0x80, 0, 0x60, 0x02),
                                           entry(5, 2, 0, 7, 2, 0x80, 0, 0x60, 0x02)}));
}

TEST_F(Download, EveryThirdDayFollowsTheModuloRule)
{
    struct Row
    {
        const char* legend;
        int day;
        int hour;
        std::vector<Entry> expected;
    };
    const std::vector<Row> rows{
        {"4 March, before the time: today", 4, 12, {entry(0, 4, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"4 March, after the time: nothing", 4, 21, {}},
        {"5 March: nothing", 5, 12, {}},
        {"6 March: tomorrow is a repeat day", 6, 12, {entry(0, 2, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"7 March, before the time: today", 7, 12, {entry(0, 4, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"1 March itself, before the time: today",
         1,
         12,
         {entry(0, 4, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"28 February: the date is tomorrow", 28, 12, {entry(0, 2, 0, 20, 0, 0x80, 0, 0x60, 2)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        test::FixedClock clock(Year, row.day == 28 ? 2 : March, row.day, row.hour, 0);
        start();
        EXPECT_TRUE(send(0, 1, onDate(dateValue(Year, March, 1), 20, 0, 3)));
        EXPECT_EQ(table(), row.expected);
    }
}

TEST_F(Download, SingleDates)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    struct Row
    {
        const char* legend;
        std::uint32_t date;
        std::uint16_t repeatField;
        std::vector<Entry> expected;
    };
    const std::vector<Row> rows{
        {"yesterday, nothing whatever Repeat holds", dateValue(Year, March, 4), 1, {}},
        {"yesterday, Repeat 0", dateValue(Year, March, 4), 0, {}},
        {"tomorrow, tomorrow only",
         dateValue(Year, March, 6),
         0,
         {entry(0, 2, 0, 9, 0, 0x80, 0, 0x60, 2)}},
        {"after tomorrow, nothing", dateValue(Year, March, 7), 0, {}},
        {"today, time passed, nothing", dateValue(Year, March, 5), 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        start();
        Event e = onDate(row.date, 9, 0);
        e.Repeat = row.repeatField; // no repeat flag: the field means nothing
        EXPECT_TRUE(send(0, 1, e));
        EXPECT_EQ(table(), row.expected);
    }
}

TEST_F(Download, DateTodayStillToComeIsTodayOnly)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    // The stored date may carry a time of day; only its day counts.
    EXPECT_TRUE(send(0, 1, onDate(dateValue(Year, March, 5) + 5000, 13, 0)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 4, 0, 13, 0, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, EvenAndOddDays)
{
    struct Row
    {
        const char* legend;
        std::uint16_t rule;
        int day;
        int hour;
        std::vector<Entry> expected;
    };
    const std::vector<Row> rows{
        {"even, 14th, before",
         EventRuleEvenDays,
         14,
         12,
         {entry(0, 4, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"even, 14th, after", EventRuleEvenDays, 14, 21, {}},
        {"even, 15th", EventRuleEvenDays, 15, 12, {}},
        {"odd, 15th, before", EventRuleOddDays, 15, 12, {entry(0, 4, 0, 20, 0, 0x80, 0, 0x60, 2)}},
        {"odd, 14th", EventRuleOddDays, 14, 12, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        test::FixedClock clock(Year, March, row.day, row.hour, 0);
        start();
        EXPECT_TRUE(send(0, 1, clockEvent(row.rule, 20, 0)));
        EXPECT_EQ(table(), row.expected);
    }
}

TEST_F(Download, SunsetHalfAnHourBefore)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start(clockTime(6, 40), clockTime(18, 12));
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunsetFlag, EventRuleWeekly, 1800, true)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 17, 42, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, SunriseOffsetBackAcrossMidnightHasPassedToday)
{
    test::FixedClock clock(Year, March, 5, 0, 1);
    start(clockTime(5, 10), clockTime(18, 0));
    const Event weeklyEvent = sunEvent(EventSunriseFlag, EventRuleWeekly, 6 * 3600, true);
    Event todayEvent = sunEvent(EventSunriseFlag, EventRuleDate, 6 * 3600, true);
    todayEvent.Date = dateValue(Year, March, 5);
    EXPECT_TRUE(send(0, 1, weeklyEvent));
    EXPECT_TRUE(send(0, 2, todayEvent));
    // Even a minute after midnight, 23:10 "yesterday evening" counts as passed.
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 23, 10, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, SunsetOffsetForwardAcrossMidnightIsStillToCome)
{
    test::FixedClock clock(Year, March, 5, 23, 30);
    start(clockTime(6, 0), clockTime(21, 0));
    const Event weeklyEvent = sunEvent(EventSunsetFlag, EventRuleWeekly, 5 * 3600, false);
    Event todayEvent = sunEvent(EventSunsetFlag, EventRuleDate, 5 * 3600, false);
    todayEvent.Date = dateValue(Year, March, 5);
    EXPECT_TRUE(send(0, 1, weeklyEvent));
    EXPECT_TRUE(send(0, 1, todayEvent));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 2, 0, 0x80, 0, 0x60, 2),
                                           entry(1, 4, 0x7F, 2, 0, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, DayWithoutSunriseOrSunsetLeavesSunEventsOut)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start(NoSunTime, NoSunTime);
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunriseFlag, EventRuleWeekly, 0, false)));
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunsetFlag, EventRuleWeekly, 3600, true)));
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunsetFlag, EventRuleWeekly, 3600, false)));
    EXPECT_EQ(NumEvents, 0);
    EXPECT_TRUE(send(0, 1, weekly(EveryDay, 8, 0)));
    EXPECT_EQ(NumEvents, 1);

    // Only the missing one is left out.
    start(clockTime(10, 0), NoSunTime);
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunriseFlag, EventRuleWeekly, 0, false)));
    EXPECT_TRUE(send(0, 1, sunEvent(EventSunsetFlag, EventRuleWeekly, 0, false)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 10, 0, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, PseudoUnitsIgnoreTheOnFlag)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(2, AllModulesUnit, weekly(Weekdays, 22, 0, true)));
    EXPECT_TRUE(send(2, AllLightsUnit, weekly(Weekdays, 18, 0, false)));
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x1F, 22, 0, 0, 0, 0x20, 0x00),
                                           entry(1, 8, 0x1F, 18, 0, 0, 0, 0x20, 0x01)}));
}

TEST_F(Download, EncodingsOfUnitsLevelsSecurityAndDays)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    Event dim = weekly(0x0100, 7, 0, false); // dims whatever its on-flag says
    dim.Brightness = 4;
    Event secure = weekly(0x4000, 7, 0);
    secure.Flags |= EventSecurityFlag;
    Event secureDate = onDate(dateValue(Year, March, 6), 7, 0); // security is weekly only
    secureDate.Flags |= EventSecurityFlag;
    EXPECT_TRUE(send(1, 3, dim));
    EXPECT_TRUE(send(1, 12, dim)); // merges with unit 3
    EXPECT_TRUE(send(1, 9, secure));
    EXPECT_TRUE(send(1, 9, secureDate));
    EXPECT_TRUE(send(15, 8, weekly(0, 7, 0))); // no day bits: day byte 0
    EXPECT_TRUE(send(14, 8, weekly(0, 7, 0))); // another house code never merges
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x01, 7, 0, 0x20, 0x10, 0xE0, 0x85),
                                           entry(1, 9, 0x40, 7, 0, 0x00, 0x80, 0xE0, 0x02),
                                           entry(2, 2, 0x00, 7, 0, 0x00, 0x80, 0xE0, 0x02),
                                           entry(3, 8, 0x00, 7, 0, 0x01, 0x00, 0xC0, 0x02),
                                           entry(4, 8, 0x00, 7, 0, 0x01, 0x00, 0x40, 0x02)}));
}

TEST_F(Download, OnAndOffAtTheSameMinuteStayApart)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    EXPECT_TRUE(send(0, 1, weekly(EveryDay, 7, 0, true)));
    EXPECT_TRUE(send(0, 2, weekly(EveryDay, 7, 0, false)));
    EXPECT_TRUE(send(0, 3, weekly(Weekdays, 7, 0, true)));
    EXPECT_EQ(NumEvents, 3);
}

TEST_F(Download, HundredTwentyEightEntriesFitAndTheNextFails)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    RecordingHost host;
    setDriverHost(&host);
    start();
    for (int i = 0; i < CP290MaxEvents; ++i)
        ASSERT_TRUE(send(0, 1, weekly(EveryDay, i / 60, i % 60))) << i;
    EXPECT_EQ(NumEvents, 128);
    EXPECT_EQ(table().back(), entry(127, 8, 0x7F, 2, 7, 0x80, 0, 0x60, 2));
    // A copy that merges still fits.
    EXPECT_TRUE(send(0, 2, weekly(EveryDay, 0, 0)));
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(lastSendEventResult(), SendEventResult::Added);

    EXPECT_FALSE(send(0, 1, weekly(EveryDay, 12, 0)));
    EXPECT_EQ(NumEvents, 128);
    EXPECT_EQ(lastSendEventResult(), SendEventResult::TooManyEvents);
    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_EQ(host.alerts[0].first, "Too many events specified");
    EXPECT_EQ(host.alerts[0].second, "A maximum of 128 events can be specified.  The events "
                                     "cannot be sent to the CP290.");
}

TEST_F(Download, FullTableIsSilentWithoutVerbose)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    RecordingHost host;
    setDriverHost(&host);
    CP290Verbose = false;
    start();
    for (int i = 0; i < CP290MaxEvents; ++i)
        ASSERT_TRUE(send(0, 1, weekly(EveryDay, i / 60, i % 60)));
    EXPECT_FALSE(send(0, 1, weekly(EveryDay, 12, 0)));
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(lastSendEventResult(), SendEventResult::TooManyEvents);
    EXPECT_EQ(lastSendEventError(), TooManyEventsMessage);
}

TEST_F(Download, ModulesOutOfRangeRefuseTheDownload)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    struct Row
    {
        const char* legend;
        std::int64_t house;
        std::int64_t unit;
        std::uint16_t brightness;
        SendEventResult result;
        const char* mentions;
    };
    const std::vector<Row> rows{
        {"house code 16", 16, 1, 9, SendEventResult::InvalidModule, "house code number 16"},
        {"house code -1", -1, 1, 9, SendEventResult::InvalidModule, "house code number -1"},
        {"house code that a byte would wrap to 0", 256, 1, 9, SendEventResult::InvalidModule,
         "256"},
        {"unit 0", 0, 0, 9, SendEventResult::InvalidModule, "unit number 0"},
        {"unit 19", 3, 19, 9, SendEventResult::InvalidModule, "house code D has unit number 19"},
        {"unit that a byte would wrap to 1", 0, 257, 9, SendEventResult::InvalidModule, "257"},
        {"brightness 0", 0, 3, 0, SendEventResult::InvalidEvent, "A3 has brightness 0"},
        {"brightness 10", 0, 16, 10, SendEventResult::InvalidEvent, "A16 has brightness 10"},
        {"brightness 65535", 1, 5, 65535, SendEventResult::InvalidEvent, "B5 has brightness 65535"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        RecordingHost host;
        setDriverHost(&host);
        start();
        Event e = weekly(EveryDay, 7, 0);
        e.Brightness = row.brightness;
        EXPECT_FALSE(send(row.house, row.unit, e));
        EXPECT_EQ(NumEvents, 0);
        EXPECT_EQ(lastSendEventResult(), row.result);
        EXPECT_NE(lastSendEventError().find(row.mentions), std::string::npos)
            << lastSendEventError();
        ASSERT_EQ(host.alerts.size(), 1u);
        EXPECT_EQ(host.alerts[0].first, InvalidScheduleTitle);
        EXPECT_EQ(host.alerts[0].second, lastSendEventError());
        // Refused even when the event would not be sent today.
        std::string reason;
        EXPECT_EQ(addEventToDownload(row.house, row.unit, onDate(dateValue(2030, 1, 1), 7, 0),
                                     {1, 1}, &reason),
                  row.brightness == 9 ? row.result : SendEventResult::Added);
    }
}

TEST_F(Download, PseudoUnitsDoNotCareAboutBrightness)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    start();
    Event e = weekly(EveryDay, 7, 0);
    e.Brightness = 0;
    EXPECT_TRUE(send(0, AllModulesUnit, e));
    EXPECT_TRUE(send(0, AllLightsUnit, e));
    EXPECT_EQ(NumEvents, 2);
}

TEST_F(Download, WalkGoesFromTheLastModuleAndLastEvent)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    Module first;
    first.houseCode = 0;
    first.unit = 1;
    first.events = {eventToData(weekly(EveryDay, 7, 0)), eventToData(weekly(EveryDay, 8, 0))};
    Module empty;
    Module second;
    second.houseCode = 1;
    second.unit = 2;
    second.events = {eventToData(weekly(EveryDay, 9, 0))};
    bool hadEvents = false;
    EXPECT_TRUE(prepareDownload({first, empty, second}, {1, 1}, &hadEvents));
    EXPECT_TRUE(hadEvents);
    EXPECT_EQ(table(), (std::vector<Entry>{entry(0, 8, 0x7F, 9, 0, 0x40, 0, 0xE0, 2),
                                           entry(1, 8, 0x7F, 8, 0, 0x80, 0, 0x60, 2),
                                           entry(2, 8, 0x7F, 7, 0, 0x80, 0, 0x60, 2)}));
}

TEST_F(Download, WalkStopsAtTheFirstRefusal)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    Module good;
    good.events = {eventToData(weekly(EveryDay, 7, 0))};
    Module damaged;
    damaged.unit = 40;
    damaged.events = {eventToData(weekly(EveryDay, 8, 0))};
    EXPECT_FALSE(prepareDownload({good, damaged}, {1, 1}));
    EXPECT_EQ(NumEvents, 0);
    EXPECT_EQ(lastSendEventResult(), SendEventResult::InvalidModule);
}

TEST_F(Download, ADamagedEventInADocumentRefusesTheDownload)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    RecordingHost host;
    setDriverHost(&host);
    Event damaged = weekly(EveryDay, 8, 0);
    damaged.Brightness = 65535;
    Module module;
    module.events = {eventToData(weekly(EveryDay, 7, 0)), eventToData(damaged)};
    EXPECT_FALSE(prepareDownload({module}, {1, 1}));
    EXPECT_EQ(lastSendEventResult(), SendEventResult::InvalidEvent);
    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_NE(host.alerts[0].second.find("brightness 65535"), std::string::npos);
}

TEST_F(Download, NothingApplicableStillTalksToTheInterface)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    // A device that does not exist: only an attempt to talk can fail.
    setCP290DeviceFilePath("/nonexistent/vantrel-no-device");
    CP290Verbose = false;
    Module m;
    m.events = {eventToData(onDate(dateValue(Year, March, 12), 7, 0)),
                eventToData(onDate(dateValue(Year, March, 1), 7, 0))};
    bool hadEvents = false;
    EXPECT_TRUE(prepareDownload({m}, {1, 1}, &hadEvents));
    EXPECT_TRUE(hadEvents);
    EXPECT_EQ(NumEvents, 0);
    EXPECT_FALSE(CP290DoSendEventEnd()) << "the old events were left in the interface";
    EXPECT_TRUE(CP290Close);
    EXPECT_EQ(CP290FileDescriptor, -1);

    // Without any event there is nothing to replace.
    EXPECT_TRUE(prepareDownload({Module{}}, {1, 1}));
    EXPECT_TRUE(CP290DoSendEventEnd());
}

TEST_F(Download, WalkWithoutEventsStillEmptiesTheTable)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    NumEvents = 5; // as a read-back might leave it
    bool hadEvents = true;
    EXPECT_TRUE(prepareDownload({Module{}}, {1, 1}, &hadEvents));
    EXPECT_FALSE(hadEvents);
    EXPECT_EQ(NumEvents, 0);
}

TEST_F(Download, FailedBatchRestoresClosingMode)
{
    test::FixedClock clock(Year, March, 5, 12, 0);
    setCP290DeviceFilePath("/nonexistent/vantrel-no-device");
    CP290Verbose = false;
    start();
    EXPECT_TRUE(send(0, 1, weekly(EveryDay, 7, 0)));
    EXPECT_FALSE(CP290DoSendEventEnd());
    EXPECT_TRUE(CP290Close);
    EXPECT_EQ(CP290FileDescriptor, -1);
}

} // namespace
} // namespace vantrel
