#include "schedule/EventSummary.h"

#include "schedule/CalendarDate.h"

#include <cstdio>

namespace vantrel {
namespace {

// " %.1f%%" of Brightness x 12.5, worked in tenths so that no locale can turn
// the point into a comma; every step is exact, so the digits are the same.
std::string brightnessPiece(std::uint16_t brightness)
{
    if (brightness == NoDimBrightness)
        return {};
    const unsigned long tenths = brightness * 125UL;
    char text[32];
    std::snprintf(text, sizeof text, " %lu.%lu%%", tenths / 10, tenths % 10);
    return text;
}

std::string sunPiece(const char* word, const Event& event)
{
    std::string piece = word;
    if (event.Adjust == 0)
        return piece;
    piece += (event.Flags & EventOffsetBeforeFlag) ? "-" : "+";
    piece += SecondsToNSCalendarDate(event.Adjust).format("%H:%M");
    return piece;
}

std::string timePiece(const Event& event)
{
    if (event.Flags & EventSunriseFlag)
        return sunPiece("Sunrise", event);
    if (event.Flags & EventSunsetFlag)
        return sunPiece("Sunset", event);
    return SecondsToNSCalendarDate(event.Time).format("%I:%M %p");
}

std::string daysPiece(const Event& event)
{
    switch (event.dayRule()) {
    case EventRuleWeekly: {
        if ((event.Flags & EventDaysMask) == EventDaysMask)
            return "Every Day";
        struct Letter
        {
            std::uint16_t flag;
            char letter;
        };
        static constexpr Letter week[] = {
            {EventSundayFlag, 'S'},    {EventMondayFlag, 'M'},   {EventTuesdayFlag, 'T'},
            {EventWednesdayFlag, 'W'}, {EventThursdayFlag, 'T'}, {EventFridayFlag, 'F'},
            {EventSaturdayFlag, 'S'},
        };
        std::string piece = "On ";
        for (const Letter& day : week)
            piece += (event.Flags & day.flag) ? day.letter : '.';
        return piece;
    }
    case EventRuleDate: {
        std::string piece = "On " + SecondsToNSCalendarDate(event.Date).format("%m/%d/%Y");
        if ((event.Flags & EventRepeatFlag) && event.Repeat != 0) {
            char clause[64];
            std::snprintf(clause, sizeof clause, " & Every %d %s Thereafter", int{event.Repeat},
                          event.Repeat == 1 ? "Day" : "Days");
            piece += clause;
        }
        return piece;
    }
    case EventRuleEvenDays:
        return "On Even Days";
    default:
        return "On Odd Days";
    }
}

} // namespace

std::string eventSummary(const Event& event)
{
    // Read as a level it would be "Turn Off 0.0%" or "819187.5%".
    if (const std::string damage = eventDamage(event); !damage.empty())
        return "Damaged event: " + damage;
    std::string text = "Turn ";
    text += event.isOn() ? "On" : "Off";
    text += brightnessPiece(event.Brightness);
    text += " @ ";
    text += timePiece(event);
    if (event.Flags & EventSecurityFlag)
        text += " (Security) ";
    text += ' ';
    text += daysPiece(event);
    return text;
}

} // namespace vantrel
