#include "schedule/Event.h"
#include "schedule/CalendarDate.h"
#include "support/FixedClock.h"

#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include "platform/ByteOrder.h"

#include <cstring>

namespace vantrel {
namespace {

TEST(EventData, FieldsSitAtTheirOffsetsWithZeroPadding)
{
    Event e;
    e.Date = 0x11223344;
    e.Time = 0x55667788;
    e.Adjust = 0x99AABBCC;
    e.Brightness = 0x0102;
    e.Repeat = 0x0304;
    e.Flags = 0x7F20;
    const EventData d = eventToData(e);
    ASSERT_EQ(d.size(), 20u);
    auto at32 = [&](std::size_t offset) {
        std::uint32_t v;
        std::memcpy(&v, d.data() + offset, 4);
        return v;
    };
    auto at16 = [&](std::size_t offset) {
        std::uint16_t v;
        std::memcpy(&v, d.data() + offset, 2);
        return v;
    };
    EXPECT_EQ(at32(0), 0x11223344u);
    EXPECT_EQ(at32(4), 0x55667788u);
    EXPECT_EQ(at32(8), 0x99AABBCCu);
    EXPECT_EQ(at16(12), 0x0102);
    EXPECT_EQ(at16(14), 0x0304);
    EXPECT_EQ(at16(16), 0x7F20);
    EXPECT_EQ(d[18], 0);
    EXPECT_EQ(d[19], 0);
    EXPECT_EQ(eventFromData(d), e);
}

TEST(EventData, PaddingIsIgnoredAndShortItemsAreRefused)
{
    Event e;
    e.Flags = DefaultEventFlags;
    EventData d = eventToData(e);
    d[18] = 0xAB;
    d[19] = 0xCD;
    EXPECT_EQ(eventFromData(d), e);
    // Exactly the content is enough; one byte less is not an event.
    EXPECT_EQ(eventFromData(std::span(d.data(), 18)), e);
    EXPECT_FALSE(eventFromData(std::span(d.data(), 17)));
    EXPECT_FALSE(eventFromData({}));
}

TEST(EventData, ConversionSwapsFieldsNotPadding)
{
    Event e;
    e.Date = 0x11223344;
    e.Flags = 0x7F20;
    EventData d = eventToData(e);
    d[18] = 1;
    d[19] = 2;
    convertEventData(d, byteSwap16, byteSwap32);
    const Event swapped = *eventFromData(d);
    EXPECT_EQ(swapped.Date, 0x44332211u);
    EXPECT_EQ(swapped.Flags, 0x207F);
    EXPECT_EQ(d[18], 1);
    EXPECT_EQ(d[19], 2);
}

TEST(EventFlags, BitsAndTheDayByte)
{
    EXPECT_EQ(EventDayRuleMask | EventRepeatFlag | EventSunriseFlag | EventSunsetFlag |
                  EventClockTimeFlag | EventSecurityFlag | EventOffsetBeforeFlag | EventDaysMask |
                  EventOnFlag,
              0xFFFF);
    // The day bits shifted right by eight are the interface's day byte:
    // bit 0 Monday ... bit 6 Sunday.
    EXPECT_EQ(EventMondayFlag >> 8, 0x01);
    EXPECT_EQ(EventSundayFlag >> 8, 0x40);
    EXPECT_EQ((EventMondayFlag | EventTuesdayFlag | EventWednesdayFlag | EventThursdayFlag |
               EventFridayFlag | EventSaturdayFlag | EventSundayFlag),
              EventDaysMask);
}

TEST(DefaultEvent, OffEveryDayAtThisMoment)
{
    test::FixedClock clock(2007, 7, 4, 18, 5, 42);
    const Event e = defaultEventNow();
    EXPECT_EQ(e.Flags, 0x7F20);
    EXPECT_EQ(e.Brightness, 9);
    EXPECT_EQ(e.Repeat, 0);
    EXPECT_EQ(e.Adjust, 0u);
    EXPECT_FALSE(e.isOn());
    EXPECT_EQ(e.dayRule(), EventRuleWeekly);
    EXPECT_EQ(SecondsToNSCalendarDate(e.Date), CalendarDate::dateWithYear(2007, 7, 4, 0, 0, 0));
    // The time keeps its seconds; its date part is the time-of-day base.
    EXPECT_EQ(e.Time, NSCalendarDateTimeToSeconds(CalendarDate::dateWithYear(0, 0, 0, 18, 5, 42)));
    EXPECT_EQ(e.Time, timeOfDay(e.Time));
}

TEST(CalendarDate, ConversionsAndLocaleFreeFormatting)
{
    const CalendarDate d = CalendarDate::dateWithYear(2007, 3, 7, 15, 4, 9);
    EXPECT_EQ(SecondsToNSCalendarDate(NSCalendarDateDateToSeconds(d)),
              CalendarDate::dateWithYear(2007, 3, 7, 0, 0, 0));
    const CalendarDate t = SecondsToNSCalendarDate(NSCalendarDateTimeToSeconds(d));
    EXPECT_EQ(t.hourOfDay(), 15);
    EXPECT_EQ(t.minuteOfHour(), 4);
    EXPECT_EQ(t.secondOfMinute(), 9);
    EXPECT_EQ(d.format("%a %m/%d/%y %I:%M %p"), "Wed 03/07/07 03:04 PM");
    EXPECT_EQ(CalendarDate::dateWithYear(2007, 1, 1, 0, 0, 0).format("%I:%M %p %Y"),
              "12:00 AM 2007");
    EXPECT_EQ(CalendarDate::dateWithYear(2007, 1, 1, 12, 30, 0).format("%I:%M %p"), "12:30 PM");
}

} // namespace
} // namespace vantrel
