#include "cp290/WeekAhead.h"

#include "cp290/DailyCompile.h"
#include "cp290/Driver.h"
#include "cp290/EventListing.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <optional>
#include <tuple>

namespace vantrel {
namespace {

// The helper's send time; a download in force until then came the day before.
constexpr int SendMinuteOfDay = DailySendHour * 60;

constexpr const char* TooManyEventsText =
    "More than 128 events were specified.  They cannot be sent to the CP290.";

// An entry of one event's own compile, with the event it came from.
struct CompiledEntry
{
    std::uint8_t mode = 0;
    std::uint8_t dayByte = 0;
    int minuteOfDay = 0;
    std::uint8_t function = 0;
    std::size_t module = 0;
    std::size_t event = 0;
};

struct DayDownload
{
    std::uint32_t sunrise = NoSunTime;
    std::uint32_t sunset = NoSunTime;
    std::string failure;
    std::vector<CompiledEntry> entries;
};

// The helper's send time of a day, as its "tomorrow at 3:00 AM" finds it.
std::time_t sendMoment(const DateTimeRec& date)
{
    return sendTimeOn(date.year, date.month, date.day);
}

template <typename Visit> bool walkEvents(const ModuleList& modules, Visit visit)
{
    // The download's order: last module first, last event first.
    for (std::size_t m = modules.size(); m-- > 0;) {
        const Module& module = modules[m];
        for (std::size_t e = module.events.size(); e-- > 0;) {
            if (const std::optional<Event> event = eventFromData(module.events[e]))
                if (!visit(module, m, e, *event))
                    return false;
        }
    }
    return true;
}

DayDownload compileAt(std::time_t moment, const ModuleList& modules, ClassicEventRepeat repeat)
{
    const CompileMoment reference = compileMomentAt(localSecondsFromUnix(moment));
    const DateTimeRec& date = reference.today;
    const SunTimes sun = sunTimesOn(date.year, date.month, date.day, readLocationAt(moment));
    DayDownload download;
    download.sunrise = sun.sunrise;
    download.sunset = sun.sunset;

    // The whole walk decides, as for the helper, whether anything is sent.
    const CompiledSchedule whole = compileSchedule(modules, repeat, reference, sun);
    if (whole.result != SendEventResult::Added) {
        download.failure =
            whole.result == SendEventResult::TooManyEvents ? TooManyEventsText : whole.error;
        return download;
    }

    // Each event alone, so every entry keeps the event it came from; merging
    // only joins units of one house code and changes nothing that is switched.
    std::vector<TimerEventRecord> alone;
    walkEvents(
        modules, [&](const Module& module, std::size_t m, std::size_t e, const Event& event) {
            alone.clear();
            compileEvent(&alone, module.houseCode, module.unit, event, repeat, reference, sun);
            for (const TimerEventRecord& entry : alone)
                download.entries.push_back(
                    {entry.mode, entry.days, entry.hour * 60 + entry.minute, entry.function, m, e});
            return true;
        });
    return download;
}

// The day byte's bit for a day of the week (1 = Sunday).
std::uint8_t dayBit(int dayOfWeek)
{
    return dayOfWeek == 1 ? 0x40 : static_cast<std::uint8_t>(1u << (dayOfWeek - 2));
}

bool isWeekly(std::uint8_t mode)
{
    return mode == CP290ModeWeekly || mode == CP290ModeWeeklySecurity;
}

void collect(const DayDownload& download, const Module* modules, std::uint8_t bit, bool early,
             std::vector<WeekSwitching>* out)
{
    if (!download.failure.empty())
        return;
    const std::uint8_t dayMode = early ? CP290ModeTomorrow : CP290ModeToday;
    for (const CompiledEntry& entry : download.entries) {
        // A today-only event before the download has passed already; a
        // tomorrow-only one after the next download is erased by it.
        if ((entry.minuteOfDay <= SendMinuteOfDay) != early)
            continue;
        if (entry.mode != dayMode && !(isWeekly(entry.mode) && (entry.dayByte & bit)))
            continue;
        const Module& module = modules[entry.module];
        out->push_back({entry.minuteOfDay,
                        module.houseCode,
                        module.unit,
                        entry.function,
                        entry.mode == CP290ModeWeeklySecurity,
                        entry.module,
                        entry.event,
                        {entry.module}});
    }
}

auto sortKey(const WeekSwitching& s)
{
    return std::tuple(s.minuteOfDay, s.houseCode, s.unit, s.function, s.security, s.module,
                      s.event);
}

// The interface sends a command once at its minute, however many events or
// modules of the same house code and unit ask for it.
bool sameSwitching(const WeekSwitching& a, const WeekSwitching& b)
{
    return a.minuteOfDay == b.minuteOfDay && a.houseCode == b.houseCode && a.unit == b.unit &&
           a.function == b.function && a.security == b.security;
}

// Sorted by sortKey: one switching per run of equal ones, naming all their modules.
void mergeSwitchings(std::vector<WeekSwitching>* list)
{
    std::vector<WeekSwitching> merged;
    for (WeekSwitching& s : *list) {
        if (!merged.empty() && sameSwitching(merged.back(), s)) {
            std::vector<std::size_t>& names = merged.back().modules;
            if (std::find(names.begin(), names.end(), s.module) == names.end())
                names.push_back(s.module);
            continue;
        }
        merged.push_back(std::move(s));
    }
    *list = std::move(merged);
}

std::string sunText(const char* name, std::uint32_t value)
{
    if (value == NoSunTime)
        return std::string("no ") + name;
    const DateTimeRec time = secondsToDate(value);
    return std::string(name) + " " + listingTimeText(time.hour, time.minute);
}

// A description on one line, whatever the file holds.
std::string oneLine(const std::string& text)
{
    std::string line = text;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return line;
}

} // namespace

SwitchingKind WeekSwitching::kind() const
{
    switch (function) {
    case CP290FunctionAllUnitsOff:
    case CP290FunctionOff:
        return SwitchingKind::Off;
    case CP290FunctionAllLightsOn:
    case CP290FunctionOn:
        return SwitchingKind::On;
    default:
        return SwitchingKind::Dim;
    }
}

std::string weekSwitchingNames(const WeekSwitching& switching, const ModuleList& modules)
{
    std::string names;
    for (const std::size_t m : switching.modules) {
        const std::string name = m < modules.size() ? oneLine(modules[m].name) : std::string();
        if (name.empty())
            continue;
        if (!names.empty())
            names += ", ";
        names += name;
    }
    return names;
}

const char* weekdayName(int dayOfWeek)
{
    static constexpr std::array<const char*, 7> names{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};
    return dayOfWeek >= 1 && dayOfWeek <= 7 ? names[static_cast<std::size_t>(dayOfWeek - 1)] : "?";
}

std::string weekModuleText(std::int64_t houseCode, std::int64_t unit)
{
    std::string text(1, isValidHouseCode(houseCode) ? static_cast<char>('A' + houseCode) : '?');
    text += '-';
    if (unit == AllLightsUnit)
        text += "All Light Modules";
    else if (unit == AllModulesUnit)
        text += "All Modules";
    else
        text += std::to_string(unit);
    return text;
}

bool computeWeekAhead(const ModuleList& modules, ClassicEventRepeat repeat, int year, int month,
                      int day, int days, std::vector<WeekDay>* result, std::string* error)
{
    result->clear();
    if (days < 1 || days > WeekAheadMaxDays) {
        *error = "the number of days must be 1 to " + std::to_string(WeekAheadMaxDays);
        return false;
    }
    DateTimeRec first;
    first.year = static_cast<std::int16_t>(year);
    first.month = static_cast<std::int16_t>(month);
    first.day = static_cast<std::int16_t>(day);
    const DateTimeRec check = secondsToDate(dateToSeconds(first));
    // The day before is compiled too; the last day must end within the clock.
    const std::int64_t firstValue = dateToSeconds(first);
    if (year < 1904 || year > 2040 || check.year != year || check.month != month ||
        check.day != day || firstValue < std::int64_t{SecondsPerDay} ||
        firstValue + std::int64_t{days} * SecondsPerDay - 1 > std::int64_t{UINT32_MAX}) {
        *error = "the days must lie between 1904-01-02 and 2040-02-05";
        return false;
    }

    std::vector<DateTimeRec> dates;
    std::vector<DayDownload> downloads;
    for (int i = -1; i < days; ++i) {
        const DateTimeRec date =
            secondsToDate(static_cast<std::uint32_t>(firstValue + std::int64_t{i} * SecondsPerDay));
        dates.push_back(date);
        downloads.push_back(compileAt(sendMoment(date), modules, repeat));
    }

    for (int i = 1; i <= days; ++i) {
        const auto index = static_cast<std::size_t>(i);
        WeekDay weekDay;
        weekDay.date = dates[index];
        weekDay.sunrise = downloads[index].sunrise;
        weekDay.sunset = downloads[index].sunset;
        weekDay.failure = downloads[index].failure;
        const std::uint8_t bit = dayBit(weekDay.date.dayOfWeek);
        collect(downloads[index - 1], modules.data(), bit, true, &weekDay.switchings);
        collect(downloads[index], modules.data(), bit, false, &weekDay.switchings);
        std::vector<WeekSwitching>& list = weekDay.switchings;
        std::sort(list.begin(), list.end(), [](const WeekSwitching& a, const WeekSwitching& b) {
            return sortKey(a) < sortKey(b);
        });
        mergeSwitchings(&list);
        result->push_back(std::move(weekDay));
    }
    return true;
}

std::string weekAheadText(const std::vector<WeekDay>& days, const ModuleList& modules)
{
    std::string text;
    char date[32];
    for (const WeekDay& day : days) {
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", day.date.month % 100, day.date.day % 100,
                      day.date.year % 10000);
        text += std::string(weekdayName(day.date.dayOfWeek)) + " " + date + "  " +
                sunText("sunrise", day.sunrise) + "  " + sunText("sunset", day.sunset) + "\n";
        if (!day.failure.empty())
            text += "  Not sent at 3:00 AM: " + day.failure + "\n";
        for (const WeekSwitching& s : day.switchings) {
            text += "  " + listingTimeText(s.minuteOfDay / 60, s.minuteOfDay % 60) + "  " +
                    weekModuleText(s.houseCode, s.unit) + "  Turn " +
                    listingActionText(s.function).value_or("?");
            if (s.security)
                text += " (Security)";
            const std::string name = weekSwitchingNames(s, modules);
            if (!name.empty())
                text += "  " + name;
            text += "\n";
        }
        if (day.switchings.empty() && day.failure.empty())
            text += "  None.\n";
    }
    return text;
}

} // namespace vantrel
