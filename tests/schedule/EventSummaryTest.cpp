#include "schedule/EventSummary.h"
#include "support/ScheduleBuilders.h"

#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using test::clockTime;
using test::dateValue;

Event event(std::uint16_t flags, std::uint16_t brightness = 9)
{
    Event e;
    e.Flags = flags;
    e.Brightness = brightness;
    e.Time = clockTime(12, 0);
    e.Date = dateValue(2007, 7, 4);
    return e;
}

struct SummaryRow
{
    const char* legend;
    Event event;
    const char* summary;
};

Event with(Event e, void (*change)(Event&))
{
    change(e);
    return e;
}

constexpr std::uint16_t MWF = EventMondayFlag | EventWednesdayFlag | EventFridayFlag;

TEST(EventSummary, Rows)
{
    const SummaryRow rows[] = {
        {"worked: on, clock 19:00, every day",
         with(event(EventOnFlag | EventClockTimeFlag | EventDaysMask),
              [](Event& e) { e.Time = clockTime(19, 0); }),
         "Turn On @ 07:00 PM Every Day"},
        {"worked: off, sunset +30, security, M W F",
         with(event(EventSunsetFlag | EventSecurityFlag | MWF),
              [](Event& e) { e.Adjust = 30 * 60; }),
         "Turn Off @ Sunset+00:30 (Security)  On .M.W.F."},
        {"worked: on 50%, sunrise -1:15, date with repeat 3",
         with(event(EventOnFlag | EventSunriseFlag | EventOffsetBeforeFlag | EventRuleDate |
                        EventRepeatFlag,
                    4),
              [](Event& e) {
                  e.Adjust = 3600 + 15 * 60;
                  e.Repeat = 3;
              }),
         "Turn On 50.0% @ Sunrise-01:15 On 07/04/2007 & Every 3 Days Thereafter"},
        {"worked: on, sunrise no offset, even days",
         event(EventOnFlag | EventSunriseFlag | EventRuleEvenDays),
         "Turn On @ Sunrise On Even Days"},
        {"worked: off, 06:30, Saturday and Sunday",
         with(event(EventClockTimeFlag | EventSaturdayFlag | EventSundayFlag),
              [](Event& e) { e.Time = clockTime(6, 30); }),
         "Turn Off @ 06:30 AM On S.....S"},
        {"brightness 9 on an On event shows no figure",
         event(EventOnFlag | EventClockTimeFlag | EventDaysMask), "Turn On @ 12:00 PM Every Day"},
        {"a dim level shows even on an Off event", event(EventClockTimeFlag | EventDaysMask, 1),
         "Turn Off 12.5% @ 12:00 PM Every Day"},
        {"level 8 is 100.0%", event(EventClockTimeFlag | EventDaysMask, 8),
         "Turn Off 100.0% @ 12:00 PM Every Day"},
        {"level 3 is 37.5%", event(EventClockTimeFlag | EventDaysMask, 3),
         "Turn Off 37.5% @ 12:00 PM Every Day"},
        {"offset 0 with before flag is the bare word",
         event(EventSunsetFlag | EventOffsetBeforeFlag | EventDaysMask),
         "Turn Off @ Sunset Every Day"},
        {"sunset before 45 minutes",
         with(event(EventSunsetFlag | EventOffsetBeforeFlag | EventDaysMask),
              [](Event& e) { e.Adjust = 45 * 60; }),
         "Turn Off @ Sunset-00:45 Every Day"},
        {"both sun flags: sunrise wins", event(EventSunriseFlag | EventSunsetFlag | EventDaysMask),
         "Turn Off @ Sunrise Every Day"},
        {"no sun flag and no clock flag still shows the clock time", event(EventDaysMask),
         "Turn Off @ 12:00 PM Every Day"},
        {"midnight is 12:00 AM",
         with(event(EventClockTimeFlag | EventDaysMask),
              [](Event& e) { e.Time = clockTime(0, 0); }),
         "Turn Off @ 12:00 AM Every Day"},
        {"07:05 PM",
         with(event(EventClockTimeFlag | EventDaysMask),
              [](Event& e) { e.Time = clockTime(19, 5); }),
         "Turn Off @ 07:05 PM Every Day"},
        {"no day at all", event(EventClockTimeFlag), "Turn Off @ 12:00 PM On ......."},
        {"security on every day", event(EventClockTimeFlag | EventSecurityFlag | EventDaysMask),
         "Turn Off @ 12:00 PM (Security)  Every Day"},
        {"date, no repeat flag", event(EventClockTimeFlag | EventRuleDate | EventDaysMask),
         "Turn Off @ 12:00 PM On 07/04/2007"},
        {"date, repeat flag with Repeat 0 shows no clause",
         event(EventClockTimeFlag | EventRuleDate | EventRepeatFlag),
         "Turn Off @ 12:00 PM On 07/04/2007"},
        {"date, Repeat 1 says Day",
         with(event(EventClockTimeFlag | EventRuleDate | EventRepeatFlag),
              [](Event& e) { e.Repeat = 1; }),
         "Turn Off @ 12:00 PM On 07/04/2007 & Every 1 Day Thereafter"},
        {"date, Repeat 14 says Days",
         with(event(EventClockTimeFlag | EventRuleDate | EventRepeatFlag),
              [](Event& e) { e.Repeat = 14; }),
         "Turn Off @ 12:00 PM On 07/04/2007 & Every 14 Days Thereafter"},
        {"date, Repeat set but no repeat flag",
         with(event(EventClockTimeFlag | EventRuleDate), [](Event& e) { e.Repeat = 14; }),
         "Turn Off @ 12:00 PM On 07/04/2007"},
        {"odd days ignore the day bits", event(EventClockTimeFlag | EventRuleOddDays | MWF),
         "Turn Off @ 12:00 PM On Odd Days"},
        {"repeat clause is read only under the date rule",
         with(event(EventClockTimeFlag | EventRepeatFlag | EventDaysMask),
              [](Event& e) { e.Repeat = 3; }),
         "Turn Off @ 12:00 PM Every Day"},
    };
    for (const SummaryRow& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(eventSummary(row.event), row.summary);
    }
}

TEST(EventSummary, DamagedValuesStillGiveText)
{
    Event e = event(0xFFFF, 0);
    e.Adjust = 0xFFFFFFFF;
    e.Time = 0xFFFFFFFF;
    e.Date = 0xFFFFFFFF;
    EXPECT_FALSE(eventSummary(e).empty());
    e.Brightness = 65535;
    EXPECT_EQ(eventSummary(e), "Damaged event: brightness 65535 is not 1 to 9");
}

TEST(EventSummary, ABrightnessOutsideOneToNineIsShownAsDamagedNotAsALevel)
{
    for (std::uint16_t brightness : {0, 10, 65535}) {
        Event e = event(EventClockTimeFlag | EventDaysMask, brightness);
        EXPECT_EQ(eventSummary(e),
                  "Damaged event: brightness " + std::to_string(brightness) + " is not 1 to 9");
    }
    for (std::uint16_t brightness : {1, 9})
        EXPECT_EQ(
            eventSummary(event(EventClockTimeFlag | EventDaysMask, brightness)).rfind("Turn ", 0),
            0u);
}

} // namespace
} // namespace vantrel
