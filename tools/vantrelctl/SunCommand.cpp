#include "tools/vantrelctl/Commands.h"

#include "platform/DateTime.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace vantrel::ctl {
namespace {

std::string timeText(std::uint32_t value)
{
    if (value == NoSunTime)
        return "none";
    const DateTimeRec d = secondsToDate(value);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", d.hour % 100, d.minute % 100);
    return buffer;
}

// A moment of a YYYY-MM-DD date in the machine's zone, or nullopt if there is
// no such day or the schedule's clock cannot hold it: its seconds from
// 1904-01-01 are 32 bits, ending on 2040-02-06 at 06:28:15. Noon is taken, as
// no zone changes its clock then; on the last day, midnight.
std::optional<std::time_t> momentOf(const std::string& text)
{
    int year = 0, month = 0, day = 0;
    if (!parseDateArgument(text, &year, &month, &day))
        return std::nullopt;
    std::tm civil{};
    civil.tm_year = year - 1900;
    civil.tm_mon = month - 1;
    civil.tm_mday = day;
    const std::time_t utcMidnight = timegm(&civil);
    if (civil.tm_mday != day || civil.tm_mon != month - 1)
        return std::nullopt;
    // The date value of that day, counted without a zone as the clock does.
    const std::int64_t dateValue = static_cast<std::int64_t>(utcMidnight) + UnixTo1904EpochSeconds;
    if (dateValue > std::int64_t{UINT32_MAX})
        return std::nullopt;
    const bool lastDay = dateValue + SecondsPerDay / 2 > std::int64_t{UINT32_MAX};
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = lastDay ? 0 : 12;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == -1 || t.tm_mday != day || t.tm_mon != month - 1)
        return std::nullopt;
    return when;
}

} // namespace

bool parseDateArgument(const std::string& text, int* year, int* month, int* day)
{
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", year, month, day, &tail) != 3)
        return false;
    return *year >= 1904 && *year <= 2040 && *month >= 1 && *month <= 12 && *day >= 1 &&
           *day <= 31;
}

void addLocationOptions(CLI::App* command, LocationOptions& options)
{
    command->add_option("--latitude", options.latitude, "Latitude in whole degrees, north positive")
        ->check(CLI::Range(-90, 90));
    command
        ->add_option("--longitude", options.longitude, "Longitude in whole degrees, east positive")
        ->check(CLI::Range(-180, 180));
    command
        ->add_option("--gmt-offset", options.gmtOffset,
                     "Offset of local time from Greenwich in seconds, east positive")
        ->check(CLI::Range(-86399L, 86399L));
}

void applyLocationOptions(const LocationOptions& options)
{
    setLocationOverride({options.latitude, options.longitude, options.gmtOffset});
}

void addSunCommand(CLI::App& app, Context& context)
{
    struct SunOptions
    {
        std::string date;
        LocationOptions location;
    };
    auto options = std::make_shared<SunOptions>();
    CLI::App* sun = app.add_subcommand(
        "sun", "Print the sunrise and sunset the schedule uses, for today and this machine");
    sun->add_option("--date", options->date, "The day to compute, as YYYY-MM-DD");
    addLocationOptions(sun, options->location);
    sun->callback([options, &context] {
        if (!options->date.empty()) {
            const auto moment = momentOf(options->date);
            if (!moment)
                throw UsageError("--date: " + options->date +
                                 " is not a date YYYY-MM-DD from 1904-01-01 to 2040-02-06");
            const std::time_t when = *moment;
            setUnixClock([when] { return when; });
        }
        applyLocationOptions(options->location);
        SetRiseSetTimes();
        std::printf("sunrise %s\nsunset %s\n", timeText(gSunriseTime).c_str(),
                    timeText(gSunsetTime).c_str());
        context.exitCode = ExitOk;
    });
}

} // namespace vantrel::ctl
