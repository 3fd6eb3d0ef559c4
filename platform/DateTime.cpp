#include "platform/DateTime.h"

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace vantrel {
namespace {

UnixClock& clockSource()
{
    static UnixClock clock;
    return clock;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t* year, unsigned* month, unsigned* day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<std::int64_t>(yoe) + era * 400 + (*month <= 2);
}

constexpr std::int64_t DaysFrom1904To1970 = UnixTo1904EpochSeconds / SecondsPerDay;

} // namespace

void setUnixClock(UnixClock clock)
{
    clockSource() = std::move(clock);
}

UnixClock unixClock()
{
    return clockSource();
}

std::time_t unixNow()
{
    const auto& clock = clockSource();
    return clock ? clock() : std::time(nullptr);
}

long gmtOffsetAt(std::time_t when)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return 0;
    return local.tm_gmtoff;
}

std::uint32_t localSecondsFromUnix(std::time_t when)
{
    const std::int64_t local = static_cast<std::int64_t>(when) + gmtOffsetAt(when);
    return static_cast<std::uint32_t>(local + UnixTo1904EpochSeconds);
}

std::time_t unixFromLocalSeconds(std::uint32_t localSeconds)
{
    const DateTimeRec d = secondsToDate(localSeconds);
    std::tm t{};
    t.tm_year = d.year - 1900;
    t.tm_mon = d.month - 1;
    t.tm_mday = d.day;
    t.tm_hour = d.hour;
    t.tm_min = d.minute;
    t.tm_sec = d.second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::uint32_t GetDateTime()
{
    return localSecondsFromUnix(unixNow());
}

void SecondsToDate(std::uint32_t seconds, DateTimeRec* result)
{
    const std::int64_t days = seconds / SecondsPerDay;
    std::uint32_t rest = seconds % SecondsPerDay;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days - DaysFrom1904To1970, &year, &month, &day);
    result->year = static_cast<std::int16_t>(year);
    result->month = static_cast<std::int16_t>(month);
    result->day = static_cast<std::int16_t>(day);
    result->hour = static_cast<std::int16_t>(rest / 3600);
    rest %= 3600;
    result->minute = static_cast<std::int16_t>(rest / 60);
    result->second = static_cast<std::int16_t>(rest % 60);
    // 1904-01-01 was a Friday (6).
    result->dayOfWeek = static_cast<std::int16_t>((days + 5) % 7 + 1);
}

void DateToSeconds(const DateTimeRec* date, std::uint32_t* result)
{
    const std::int64_t clock = std::int64_t{date->hour} * 3600 + std::int64_t{date->minute} * 60 +
                               std::int64_t{date->second};
    if (date->year == 0 && date->month == 0 && date->day == 0) {
        *result = static_cast<std::uint32_t>(TimeOfDayBase + clock);
        return;
    }
    // Months outside 1-12 and days past the end of a month carry over, as
    // plain calendar arithmetic does (2/30 is the day after 2/29 or 2/28).
    std::int64_t year = date->year;
    std::int64_t month0 = std::int64_t{date->month} - 1;
    year += month0 >= 0 ? month0 / 12 : (month0 - 11) / 12;
    month0 = ((month0 % 12) + 12) % 12;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month0 + 1), 1) +
                              (std::int64_t{date->day} - 1) + DaysFrom1904To1970;
    *result = static_cast<std::uint32_t>(days * SecondsPerDay + clock);
}

DateTimeRec secondsToDate(std::uint32_t seconds)
{
    DateTimeRec d;
    SecondsToDate(seconds, &d);
    return d;
}

std::uint32_t dateToSeconds(const DateTimeRec& date)
{
    std::uint32_t s = 0;
    DateToSeconds(&date, &s);
    return s;
}

std::uint32_t timeOfDay(std::uint32_t seconds)
{
    return TimeOfDayBase + seconds % SecondsPerDay;
}

void Delay(unsigned long ticks, unsigned long* finalTicks)
{
    timespec request{static_cast<time_t>(ticks / 60),
                     static_cast<long>((ticks % 60) * 1000000000L / 60)};
    timespec remaining{};
    while (nanosleep(&request, &remaining) == -1 && errno == EINTR)
        request = remaining;
    if (finalTicks)
        *finalTicks = 0;
}

} // namespace vantrel
