#include "schedule/EventTextParser.h"
#include "support/ScheduleBuilders.h"

#include "platform/DateTime.h"
#include "schedule/EventSummary.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vantrel {
namespace {

using test::clockTime;
using test::dateValue;

constexpr std::uint16_t MWF = EventMondayFlag | EventWednesdayFlag | EventFridayFlag;
constexpr std::uint16_t Weekend = EventSaturdayFlag | EventSundayFlag;

// Off, 08:00, Monday Wednesday Friday, a date kept aside for the date rule.
Event weeklyEvent()
{
    Event e;
    e.Date = dateValue(2006, 1, 1);
    e.Time = clockTime(8, 0);
    e.Adjust = 0;
    e.Brightness = 9;
    e.Repeat = 0;
    e.Flags = EventClockTimeFlag | MWF;
    return e;
}

// On, sunset 10 minutes after, on 1 March 2006 every 2 days.
Event dateEvent()
{
    Event e = weeklyEvent();
    e.Flags = EventOnFlag | EventSunsetFlag | EventRuleDate | EventRepeatFlag | MWF;
    e.Date = dateValue(2006, 3, 1);
    e.Adjust = 600;
    e.Repeat = 2;
    return e;
}

Event sunriseEvent()
{
    Event e = weeklyEvent();
    e.Flags = EventSunriseFlag | MWF;
    e.Adjust = 1800;
    return e;
}

struct ParseRow
{
    const char* legend;
    Event (*start)();
    const char* text;
    std::function<void(Event&)> change; // applied to the start event gives the expected one
};

void setTime(Event& e, int hour, int minute)
{
    e.Flags = static_cast<std::uint16_t>((e.Flags & ~(EventSunriseFlag | EventSunsetFlag |
                                                      EventSecurityFlag | EventOffsetBeforeFlag)) |
                                         EventClockTimeFlag);
    e.Time = clockTime(hour, minute);
}

void setDays(Event& e, std::uint16_t days)
{
    e.Flags = static_cast<std::uint16_t>((e.Flags & ~EventDaysMask) | days);
}

void setRule(Event& e, std::uint16_t rule)
{
    e.Flags = static_cast<std::uint16_t>((e.Flags & ~EventDayRuleMask) | rule);
}

void on(Event& e)
{
    e.Flags |= EventOnFlag;
}

void off(Event& e)
{
    e.Flags &= static_cast<std::uint16_t>(~EventOnFlag);
}

void unchanged(Event&) {}

void checkRows(const std::vector<ParseRow>& rows)
{
    for (const ParseRow& row : rows) {
        SCOPED_TRACE(std::string(row.legend) + " <" + row.text + ">");
        Event expected = row.start();
        row.change(expected);
        Event actual = row.start();
        parseEventText(row.text, actual);
        EXPECT_EQ(actual.Flags, expected.Flags);
        EXPECT_EQ(actual.Time, expected.Time);
        EXPECT_EQ(actual.Date, expected.Date);
        EXPECT_EQ(actual.Adjust, expected.Adjust);
        EXPECT_EQ(actual.Repeat, expected.Repeat);
        EXPECT_EQ(actual.Brightness, expected.Brightness);
    }
}

TEST(EventTextParser, WorkedExamples)
{
    checkRows({
        {"on, 19:00, every day, security cleared",
         [] {
             Event e = weeklyEvent();
             e.Flags |= EventSecurityFlag;
             return e;
         },
         "Turn On @ 07:00 PM Every Day",
         [](Event& e) {
             on(e);
             setTime(e, 19, 0);
             setDays(e, EventDaysMask);
         }},
        {"off, 06:30, M W F only",
         [] {
             Event e = weeklyEvent();
             e.Flags = EventOnFlag | EventClockTimeFlag | EventDaysMask;
             return e;
         },
         "off 6:30am On .M.W.F.",
         [](Event& e) {
             off(e);
             setTime(e, 6, 30);
             setDays(e, MWF);
         }},
        {"on, sunset 45 before, security, weekend", weeklyEvent,
         "Turn On @ Sunset-00:45 (Security)  On S.....S",
         [](Event& e) {
             on(e);
             e.Flags =
                 static_cast<std::uint16_t>((e.Flags & ~EventClockTimeFlag) | EventSunsetFlag |
                                            EventOffsetBeforeFlag | EventSecurityFlag);
             e.Adjust = 45 * 60;
             setDays(e, Weekend);
         }},
        {"on, sunrise, 4 July 2007 every 3 days", weeklyEvent,
         "on @ sunrise on 7/4/07 & every 3 days",
         [](Event& e) {
             on(e);
             e.Flags = static_cast<std::uint16_t>((e.Flags & ~EventClockTimeFlag) |
                                                  EventSunriseFlag | EventRepeatFlag);
             setRule(e, EventRuleDate);
             e.Date = dateValue(2007, 7, 4);
             e.Repeat = 3;
         }},
        {"on, 12:30, days unchanged", weeklyEvent, "Turn On @ 12:30 PM",
         [](Event& e) {
             on(e);
             setTime(e, 12, 30);
         }},
        {"brightness figure 50.0% ends the parse", weeklyEvent,
         "Turn On 50.0% @ 07:00 PM Every Day", on},
    });
}

TEST(EventTextParser, EdgeCases)
{
    checkRows({
        {"empty text", weeklyEvent, "", unchanged},
        {"blanks only", weeklyEvent, "     ", unchanged},
        {"a leading tab is not a blank", weeklyEvent, "\tTurn On @ 7 pm", unchanged},
        {"days part alone: its On is the on/off word", weeklyEvent, "On Even Days",
         [](Event& e) {
             on(e);
             setRule(e, EventRuleEvenDays);
         }},
        {"day letters alone", weeklyEvent, "On S.T.T.S",
         [](Event& e) {
             on(e);
             setDays(e, EventSundayFlag | EventTuesdayFlag | EventThursdayFlag | EventSaturdayFlag);
         }},
        {"day letters in lower case", weeklyEvent, "on smtwtfs",
         [](Event& e) {
             on(e);
             setDays(e, EventDaysMask);
         }},
        {"day letters keep a date rule", dateEvent, "Turn On On S.....S",
         [](Event& e) { setDays(e, Weekend); }},
        {"odd days clear security",
         [] {
             Event e = weeklyEvent();
             e.Flags |= EventSecurityFlag;
             return e;
         },
         "Odd",
         [](Event& e) {
             e.Flags &= static_cast<std::uint16_t>(~EventSecurityFlag);
             setRule(e, EventRuleOddDays);
         }},
        {"7p is 19:00", weeklyEvent, "7p", [](Event& e) { setTime(e, 19, 0); }},
        {"7 pm is 19:00", weeklyEvent, "7 pm", [](Event& e) { setTime(e, 19, 0); }},
        {"7 Pm is 19:00", weeklyEvent, "7 Pm", [](Event& e) { setTime(e, 19, 0); }},
        {"7P is 07:00: only a small letter stands alone", weeklyEvent, "7P",
         [](Event& e) { setTime(e, 7, 0); }},
        {"7a is 07:00", weeklyEvent, "7a", [](Event& e) { setTime(e, 7, 0); }},
        {"12:05 AM is past midnight", weeklyEvent, "12:05 AM", [](Event& e) { setTime(e, 0, 5); }},
        {"12:30 PM is past noon", weeklyEvent, "12:30 PM", [](Event& e) { setTime(e, 12, 30); }},
        {"0:30 pm is 12:30", weeklyEvent, "0:30 pm", [](Event& e) { setTime(e, 12, 30); }},
        {"24-hour clock", weeklyEvent, "Turn Off @ 23:59", [](Event& e) { setTime(e, 23, 59); }},
        {"13 pm is no time", weeklyEvent, "Turn On @ 13 pm", on},
        {"13 pm is no time, the rest still counts", weeklyEvent, "Turn On @ 13 pm Every Day",
         [](Event& e) {
             on(e);
             setDays(e, EventDaysMask);
         }},
        {"24:00 is no time", weeklyEvent, "24:00", unchanged},
        {"minute 60 is no time", weeklyEvent, "7:60", unchanged},
        {"Turn Off alone",
         [] {
             Event e = dateEvent();
             return e;
         },
         "Turn Off", off},
        {"Every alone is every day", weeklyEvent, "Every",
         [](Event& e) { setDays(e, EventDaysMask); }},
        {"every alone, any case", weeklyEvent, "eVeRy",
         [](Event& e) { setDays(e, EventDaysMask); }},
        {"Every with a trailing blank is not the whole text", weeklyEvent, "Every ", unchanged},
        {"Every Week is nothing", weeklyEvent, "Every Week", unchanged},
        {"Every Day of the week matches its first nine", weeklyEvent, "Every Day of the week",
         [](Event& e) { setDays(e, EventDaysMask); }},
        {"Every Day on a date event turns it weekly", dateEvent, "Every Day",
         [](Event& e) {
             setRule(e, EventRuleWeekly);
             setDays(e, EventDaysMask);
         }},
        {"SMTWTF is an attempted date and changes nothing", weeklyEvent, "SMTWTF", unchanged},
        {"7/4/2007 is not a time", weeklyEvent, "Turn On @ 7/4/2007",
         [](Event& e) {
             on(e);
             setRule(e, EventRuleDate);
             e.Date = dateValue(2007, 7, 4);
         }},
        {"7-4-2007 is a date too", weeklyEvent, "on 7-4-2007",
         [](Event& e) {
             on(e);
             setRule(e, EventRuleDate);
             e.Date = dateValue(2007, 7, 4);
         }},
        {"a date clears security",
         [] {
             Event e = weeklyEvent();
             e.Flags |= EventSecurityFlag;
             return e;
         },
         "12/31/39",
         [](Event& e) {
             e.Flags &= static_cast<std::uint16_t>(~EventSecurityFlag);
             setRule(e, EventRuleDate);
             e.Date = dateValue(2039, 12, 31);
         }},
        {"year 0 is 2000", weeklyEvent, "1/1/0",
         [](Event& e) {
             setRule(e, EventRuleDate);
             e.Date = dateValue(2000, 1, 1);
         }},
        {"blanks inside the numbers, as %d skips them", weeklyEvent, "7/ 4/ 2007",
         [](Event& e) {
             setRule(e, EventRuleDate);
             e.Date = dateValue(2007, 7, 4);
         }},
        {"month 13 is no date", weeklyEvent, "13/1/2007", unchanged},
        {"day 32 is no date", weeklyEvent, "1/32/2007", unchanged},
        {"2/29/2008 exists", weeklyEvent, "2/29/2008",
         [](Event& e) {
             setRule(e, EventRuleDate);
             e.Date = dateValue(2008, 2, 29);
         }},
        {"2/30/2008 does not and is not applied", weeklyEvent, "2/30/2008", unchanged},
        {"2/29/2007 does not and is not applied", weeklyEvent, "2/29/2007", unchanged},
        {"a year the seconds value cannot hold is not applied", weeklyEvent, "1/1/2041", unchanged},
        {"a year before 1904 is not applied", weeklyEvent, "1/1/1903", unchanged},
        {"a refused date is still passed over", weeklyEvent, "13/1/2007 & 5",
         [](Event& e) {
             e.Flags |= EventRepeatFlag;
             e.Repeat = 5;
         }},
        {"removing the repeat clause keeps the repeat", dateEvent,
         "Turn On @ Sunset+00:10 On 03/01/2006", unchanged},
        {"& Every 0 Days sets the flag with Repeat 0", dateEvent, "On 03/01/2006 & Every 0 Days",
         [](Event& e) { e.Repeat = 0; }},
        {"Every 7 under the date rule", dateEvent, "on 3/1/06 every 7",
         [](Event& e) { e.Repeat = 7; }},
        {"Every 7 under the weekly rule is nothing", weeklyEvent, "every 7", unchanged},
        {"& 4 under the weekly rule sets the repeat", weeklyEvent, "& 4",
         [](Event& e) {
             e.Flags |= EventRepeatFlag;
             e.Repeat = 4;
         }},
        {"repeat 365 is the largest", dateEvent, "& every 365", [](Event& e) { e.Repeat = 365; }},
        {"repeat 366 is not applied", dateEvent, "& every 366", unchanged},
        {"a negative repeat is not applied", dateEvent, "& every -3", unchanged},
        {"an enormous repeat is not applied", dateEvent, "& every 99999999999999999999", unchanged},
        {"security under the weekly rule", weeklyEvent, "Turn Off @ 07:00 PM (Security)  Every Day",
         [](Event& e) {
             setTime(e, 19, 0);
             e.Flags |= EventSecurityFlag;
             setDays(e, EventDaysMask);
         }},
        {"security without parentheses", weeklyEvent, "security",
         [](Event& e) { e.Flags |= EventSecurityFlag; }},
        {"security is not taken under the date rule", dateEvent,
         "Turn On @ Sunset (Security)  On S.....S", [](Event& e) { e.Adjust = 0; }},
        {"a clock time clears security",
         [] {
             Event e = weeklyEvent();
             e.Flags |= EventSecurityFlag;
             return e;
         },
         "9:15", [](Event& e) { setTime(e, 9, 15); }},
        {"Sunset+1 is one hour", weeklyEvent, "Sunset+1",
         [](Event& e) {
             e.Flags =
                 static_cast<std::uint16_t>((e.Flags & ~EventClockTimeFlag) | EventSunsetFlag);
             e.Adjust = 3600;
         }},
        {"Sunset+30 is no offset", weeklyEvent, "Sunset+30",
         [](Event& e) {
             e.Flags =
                 static_cast<std::uint16_t>((e.Flags & ~EventClockTimeFlag) | EventSunsetFlag);
             e.Adjust = 0;
         }},
        {"an offset alone changes a sun event", sunriseEvent, "Turn Off @ - 0:20",
         [](Event& e) {
             e.Flags |= EventOffsetBeforeFlag;
             e.Adjust = 20 * 60;
         }},
        {"a plus sign alone clears the before flag",
         [] {
             Event e = sunriseEvent();
             e.Flags |= EventOffsetBeforeFlag;
             return e;
         },
         "+", [](Event& e) { e.Flags &= static_cast<std::uint16_t>(~EventOffsetBeforeFlag); }},
        {"no am or pm after a sun offset", sunriseEvent, "sunrise+1 pm",
         [](Event& e) { e.Adjust = 3600; }},
        {"keywords match as prefixes, any case", weeklyEvent, "TURN ON @ SUNSETS",
         [](Event& e) {
             on(e);
             e.Flags =
                 static_cast<std::uint16_t>((e.Flags & ~EventClockTimeFlag) | EventSunsetFlag);
         }},
        {"a tab before a minus sign gives no negative hour", weeklyEvent, "Turn On @\t-5", on},
        {"a tab is skipped inside a number, as %d does", weeklyEvent, "Turn On @\t7",
         [](Event& e) {
             on(e);
             setTime(e, 7, 0);
         }},
        {"an enormous hour is no time", weeklyEvent, "4294967303:00", unchanged},
        {"12.5% after the on/off word ends the parse", weeklyEvent,
         "Turn On 12.5% @ 07:00 PM Every Day", on},
        {"100.0% ends the parse", sunriseEvent, "Turn Off 100.0% @ 07:00 PM Every Day", unchanged},
        {"a figure without a point ends the parse too", weeklyEvent, "Turn On 12% @ 9", on},
        {"a number without a percent sign is a time", weeklyEvent, "Turn On 12 Every Day",
         [](Event& e) {
             on(e);
             setTime(e, 12, 0);
             setDays(e, EventDaysMask);
         }},
        {"characters outside Latin-1 match nothing", weeklyEvent, "Turn \xE2\x82\xAC On",
         unchanged},
    });
}

TEST(EventTextParser, NulInsideTheText)
{
    Event e = weeklyEvent();
    parseEventText(std::string_view("Turn On\0 @ 7 pm", 15), e);
    Event expected = weeklyEvent();
    on(expected);
    EXPECT_EQ(e, expected);
}

TEST(EventTextParser, FoundTime)
{
    struct Row
    {
        const char* legend;
        const char* text;
        bool ampm;
        bool found;
        int hours;
        int minutes;
        const char* rest;
    };
    const Row rows[] = {
        {"hour and minute", "  7:30 x", false, true, 7, 30, " x"},
        {"pm moves the cursor past it", "7:30 pm x", true, true, 19, 30, " x"},
        {"no am/pm allowed leaves it", "7:30 pm", false, true, 7, 30, " pm"},
        {"hour alone", "9 x", false, true, 9, 0, " x"},
        {"a sign is no time", "  +5", false, false, 0, 0, "+5"},
        {"a minus sign is no time", "-5", false, false, 0, 0, "-5"},
        {"a date is put back", "7/4/2007", true, false, 7, 0, "7/4/2007"},
        {"7-4 is a date too", "7-4", true, false, 7, 0, "7-4"},
        {"hour 24", "24", true, false, 24, 0, "24"},
        {"13 pm moves past the text", "13 pm x", true, false, 25, 0, " x"},
        {"no digits", "x", true, false, 0, 0, "x"},
        {"colon then nothing reads the hour", "7:", true, true, 7, 0, ":"},
        {"blank before the colon", "7 :30", true, true, 7, 0, ":30"},
        {"blank after the colon, as %d skips it", "7: 30", true, true, 7, 30, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EventTextParser parser;
        parser.setText(row.text);
        EXPECT_EQ(parser.foundTime(row.ampm), row.found);
        if (row.found || row.hours != 0) {
            EXPECT_EQ(parser.hours, row.hours);
            EXPECT_EQ(parser.minutes, row.minutes);
        }
        EXPECT_EQ(parser.rest(), row.rest);
    }
}

TEST(EventTextParser, SkipBlanksSkipsSpacesOnly)
{
    EventTextParser parser;
    parser.setText("   \tx");
    EXPECT_EQ(*parser.skipBlanks(), '\t');
    EXPECT_EQ(parser.rest(), "\tx");
    parser.setText("    ");
    parser.skipBlanks();
    EXPECT_EQ(parser.rest(), "");
    parser.reset();
    EXPECT_EQ(parser.rest(), "");
    EXPECT_EQ(parser.hours, 0);
}

TEST(EventTextParser, Latin1Conversion)
{
    struct Row
    {
        const char* legend;
        std::string utf8;
        std::string latin1;
    };
    const Row rows[] = {
        {"ASCII stays", "Turn On", "Turn On"},
        {"e acute becomes one byte", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
        {"euro sign has no place", "\xE2\x82\xAC", "?"},
        {"emoji has no place", "\xF0\x9F\x92\xA1!", "?!"},
        {"a stray continuation byte", "a\x80z", "a?z"},
        {"a truncated sequence at the end", "a\xC3", "a?"},
        {"an overlong form", "\xC0\xAF", "??"},
        {"a surrogate", "\xED\xA0\x80", "???"},
        {"NUL ends the text", std::string("ab\0cd", 5), "ab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(eventTextToLatin1(row.utf8), row.latin1);
    }
}

TEST(EventTextParser, OneParserServesMany)
{
    EventTextParser parser;
    Event e = weeklyEvent();
    parser.parse("Turn On @ 7 pm", e);
    parser.parse("Every Day", e);
    EXPECT_TRUE(e.isOn());
    EXPECT_EQ(e.Time, clockTime(19, 0));
    EXPECT_EQ(e.Flags & EventDaysMask, EventDaysMask);
}

TEST(EventTextParser, SummaryOfDimmedEventChangesOnlyTheOnOffWord)
{
    for (std::uint16_t level = 1; level <= 8; ++level) {
        SCOPED_TRACE(level);
        Event e = sunriseEvent();
        e.Brightness = level;
        e.Flags |= EventOnFlag;
        std::string text = eventSummary(e);
        text.replace(text.find("On"), 2, "Off");
        Event parsed = e;
        parseEventText(text, parsed);
        Event expected = e;
        off(expected);
        EXPECT_EQ(parsed, expected);
    }
}

} // namespace
} // namespace vantrel
