#pragma once

// Local wall-clock time as the schedule stores it: unsigned 32-bit seconds
// since 1904-01-01 00:00 local time, counted as pure calendar arithmetic
// (every day is 86400 seconds, no zone or daylight-saving adjustment).
// "Now" comes from a replaceable source so tests can fix the clock.

#include <cstdint>
#include <ctime>
#include <functional>

namespace vantrel {

struct DateTimeRec
{
    std::int16_t year = 0;
    std::int16_t month = 0; // 1-12
    std::int16_t day = 0;   // 1-31
    std::int16_t hour = 0;  // 0-23
    std::int16_t minute = 0;
    std::int16_t second = 0;
    std::int16_t dayOfWeek = 0; // 1 = Sunday ... 7 = Saturday; ignored by DateToSeconds
};

// Seconds from 1904-01-01 to 1970-01-01.
constexpr std::int64_t UnixTo1904EpochSeconds = 2082844800;
constexpr std::uint32_t SecondsPerDay = 86400;

// The base of time-of-day values: DateToSeconds of a record whose year, month
// and day are all 0. Event times are shifted by sun offsets of up to a day in
// either direction; a time moved back across midnight must compare below
// every time of the day and one moved forward must compare above, so the
// base needs a full day of headroom below it, and base + 2 days must not wrap.
// 1904-01-03 00:00 is the lowest midnight that allows both.
constexpr std::uint32_t TimeOfDayBase = 2 * SecondsPerDay;

std::uint32_t GetDateTime();
void SecondsToDate(std::uint32_t seconds, DateTimeRec* result);
void DateToSeconds(const DateTimeRec* date, std::uint32_t* result);

// Convenience forms of the two above.
DateTimeRec secondsToDate(std::uint32_t seconds);
std::uint32_t dateToSeconds(const DateTimeRec& date);

// The time-of-day value (on TimeOfDayBase) of the hour, minute and second of
// any seconds value, whatever midnight it was built on.
std::uint32_t timeOfDay(std::uint32_t seconds);

// Waits ticks of 1/60 second. The second argument exists for callers written
// against the classic signature; it receives nothing useful.
void Delay(unsigned long ticks, unsigned long* finalTicks = nullptr);

// The current Unix time used by GetDateTime and everything else that asks for
// "now". Tests install a fixed source; an empty function restores the system clock.
using UnixClock = std::function<std::time_t()>;
void setUnixClock(UnixClock clock);
// The source installed now (empty for the system clock), so that code which
// borrows the clock for a moment can put it back.
UnixClock unixClock();
std::time_t unixNow();

// Offset of local time from UTC, in seconds east, at the given Unix time.
long gmtOffsetAt(std::time_t when);

// Local 1904-based seconds value for a Unix time, and back (the latter uses the
// system time zone, so an hour skipped by daylight saving lands after it).
std::uint32_t localSecondsFromUnix(std::time_t when);
std::time_t unixFromLocalSeconds(std::uint32_t localSeconds);

} // namespace vantrel
