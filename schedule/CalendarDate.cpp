#include "schedule/CalendarDate.h"

#include "platform/DateTime.h"

#include <cstdio>

namespace vantrel {

std::uint32_t NSCalendarDateTimeToSeconds(const CalendarDate& date)
{
    DateTimeRec rec;
    rec.hour = static_cast<std::int16_t>(date.hour);
    rec.minute = static_cast<std::int16_t>(date.minute);
    rec.second = static_cast<std::int16_t>(date.second);
    return dateToSeconds(rec);
}

std::uint32_t NSCalendarDateDateToSeconds(const CalendarDate& date)
{
    DateTimeRec rec;
    rec.year = static_cast<std::int16_t>(date.year);
    rec.month = static_cast<std::int16_t>(date.month);
    rec.day = static_cast<std::int16_t>(date.day);
    return dateToSeconds(rec);
}

CalendarDate SecondsToNSCalendarDate(std::uint32_t seconds)
{
    const DateTimeRec rec = secondsToDate(seconds);
    return {rec.year, rec.month, rec.day, rec.hour, rec.minute, rec.second};
}

std::string CalendarDate::format(const char* pattern) const
{
    // Formatted by hand rather than with strftime: the texts must not follow
    // the user's locale (Qt sets it from the environment), and no time zone
    // may be applied to a stored wall-clock value.
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string out;
    char field[16];
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%' || !p[1]) {
            out += *p;
            continue;
        }
        switch (*++p) {
        case 'Y':
            std::snprintf(field, sizeof field, "%04d", year);
            break;
        case 'y':
            std::snprintf(field, sizeof field, "%02d", ((year % 100) + 100) % 100);
            break;
        case 'm':
            std::snprintf(field, sizeof field, "%02d", month);
            break;
        case 'd':
            std::snprintf(field, sizeof field, "%02d", day);
            break;
        case 'H':
            std::snprintf(field, sizeof field, "%02d", hour);
            break;
        case 'I':
            std::snprintf(field, sizeof field, "%02d", hour % 12 == 0 ? 12 : hour % 12);
            break;
        case 'M':
            std::snprintf(field, sizeof field, "%02d", minute);
            break;
        case 'S':
            std::snprintf(field, sizeof field, "%02d", second);
            break;
        case 'p':
            std::snprintf(field, sizeof field, "%s", hour < 12 ? "AM" : "PM");
            break;
        case 'a': {
            const int dayOfWeek = secondsToDate(NSCalendarDateDateToSeconds(*this)).dayOfWeek;
            std::snprintf(field, sizeof field, "%s", weekdays[(dayOfWeek + 6) % 7]);
            break;
        }
        default:
            std::snprintf(field, sizeof field, "%%%c", *p);
            break;
        }
        out += field;
    }
    return out;
}

} // namespace vantrel
