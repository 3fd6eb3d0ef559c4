#pragma once

// A local calendar date and time, and the conversions between it and the
// 1904-based seconds values of the schedule.

#include <cstdint>
#include <string>

namespace vantrel {

struct CalendarDate
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    static CalendarDate dateWithYear(int year, int month, int day, int hour, int minute, int second)
    {
        return {year, month, day, hour, minute, second};
    }
    int yearOfCommonEra() const { return year; }
    int monthOfYear() const { return month; }
    int dayOfMonth() const { return day; }
    int hourOfDay() const { return hour; }
    int minuteOfHour() const { return minute; }
    int secondOfMinute() const { return second; }

    // strftime-style formatting of the fields (%Y %m %d %H %I %M %S %p %a %y).
    std::string format(const char* pattern) const;
    bool operator==(const CalendarDate&) const = default;
};

// Time-of-day value of the date's hour, minute and second.
std::uint32_t NSCalendarDateTimeToSeconds(const CalendarDate& date);
// Date value of the date's year, month and day.
std::uint32_t NSCalendarDateDateToSeconds(const CalendarDate& date);
CalendarDate SecondsToNSCalendarDate(std::uint32_t seconds);

} // namespace vantrel
