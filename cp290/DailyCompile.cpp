#include "cp290/DailyCompile.h"

#include "cp290/Driver.h"

#include <cstdio>

namespace vantrel {
namespace {

// Hour and minute of a seconds value, split directly because it runs for
// every copy of every event.
void hourAndMinute(std::uint32_t seconds, std::uint8_t* hour, std::uint8_t* minute)
{
    const std::uint32_t clock = seconds % SecondsPerDay;
    *hour = static_cast<std::uint8_t>(clock / 3600);
    *minute = static_cast<std::uint8_t>(clock % 3600 / 60);
}

std::string moduleName(std::int64_t houseCodeIndex, std::int64_t unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%c%lld", static_cast<char>('A' + houseCodeIndex),
                  static_cast<long long>(unit));
    return text;
}

// The fields every copy of one event shares; mode, hour and minute vary.
SendEventResult checkAndEncode(std::int64_t houseCodeIndex, std::int64_t unit, const Event& event,
                               TimerEventRecord* encoded, std::string* error)
{
    char text[256];
    if (!isValidHouseCode(houseCodeIndex)) {
        std::snprintf(text, sizeof text,
                      "A module has house code number %lld; only 0 to 15 (A to P) exist.  "
                      "The events cannot be sent to the CP290.",
                      static_cast<long long>(houseCodeIndex));
        *error = text;
        return SendEventResult::InvalidModule;
    }
    if (!isValidUnit(unit)) {
        std::snprintf(text, sizeof text,
                      "A module of house code %c has unit number %lld; only 1 to 16, "
                      "All Lights (17) and All Modules (18) exist.  "
                      "The events cannot be sent to the CP290.",
                      static_cast<char>('A' + houseCodeIndex), static_cast<long long>(unit));
        *error = text;
        return SendEventResult::InvalidModule;
    }
    encoded->houseCode = houseCodeByte(static_cast<int>(houseCodeIndex));
    encoded->days = static_cast<std::uint8_t>((event.Flags & EventDaysMask) >> 8);
    if (unit == AllLightsUnit) {
        encoded->function = CP290FunctionAllLightsOn;
    } else if (unit == AllModulesUnit) {
        encoded->function = CP290FunctionAllUnitsOff;
    } else {
        if (event.Brightness < 1 || event.Brightness > NoDimBrightness) {
            std::snprintf(text, sizeof text,
                          "An event of module %s has brightness %u; only 1 to 9 exist.  "
                          "The events cannot be sent to the CP290.",
                          moduleName(houseCodeIndex, unit).c_str(),
                          static_cast<unsigned>(event.Brightness));
            *error = text;
            return SendEventResult::InvalidEvent;
        }
        if (event.Brightness == NoDimBrightness)
            encoded->function = event.isOn() ? CP290FunctionOn : CP290FunctionOff;
        else
            encoded->function = brightnessByte(event.Brightness);
        if (unit <= 8)
            encoded->units1to8 = static_cast<std::uint8_t>(1u << (8 - unit));
        else
            encoded->units9to16 = static_cast<std::uint8_t>(1u << (16 - unit));
    }
    return SendEventResult::Added;
}

// One pass: count copies on consecutive minutes from eventSecs, each merged
// into a like entry or appended.
SendEventResult runPass(std::vector<TimerEventRecord>* table, std::uint8_t mode,
                        TimerEventRecord encoded, std::uint32_t eventSecs, unsigned count,
                        std::string* error)
{
    encoded.mode = mode;
    for (unsigned k = 0; k < count; ++k) {
        hourAndMinute(eventSecs + 60u * k, &encoded.hour, &encoded.minute);
        bool merged = false;
        for (TimerEventRecord& entry : *table) {
            if (entry.mode == mode && entry.days == encoded.days && entry.hour == encoded.hour &&
                entry.minute == encoded.minute && entry.houseCode == encoded.houseCode &&
                entry.function == encoded.function) {
                entry.units1to8 |= encoded.units1to8;
                entry.units9to16 |= encoded.units9to16;
                merged = true;
                break;
            }
        }
        if (merged)
            continue;
        if (table->size() >= static_cast<std::size_t>(CP290MaxEvents)) {
            *error = TooManyEventsMessage;
            return SendEventResult::TooManyEvents;
        }
        table->push_back(encoded);
    }
    return SendEventResult::Added;
}

template <typename Visit> void walkBackwards(const ModuleList& modules, Visit visit)
{
    for (std::size_t m = modules.size(); m-- > 0;) {
        const Module& module = modules[m];
        for (std::size_t e = module.events.size(); e-- > 0;)
            if (!visit(module, module.events[e]))
                return;
    }
}

} // namespace

void encodeTimerEvent(const TimerEventRecord& record, unsigned index, std::uint8_t* entry)
{
    const unsigned address = index * 8;
    entry[0] = static_cast<std::uint8_t>(address & 0xFF);
    entry[1] = static_cast<std::uint8_t>(address >> 8);
    entry[2] = record.mode;
    entry[3] = record.days;
    entry[4] = record.hour;
    entry[5] = record.minute;
    entry[6] = record.units1to8;
    entry[7] = record.units9to16;
    entry[8] = record.houseCode;
    entry[9] = record.function;
}

TimerEventRecord decodeTimerEvent(const std::uint8_t* entry)
{
    return {entry[2], entry[3], entry[4], entry[5], entry[6], entry[7], entry[8], entry[9]};
}

CompileMoment compileMomentAt(std::uint32_t localSeconds)
{
    CompileMoment moment;
    moment.now = localSeconds;
    moment.today = secondsToDate(localSeconds);
    DateTimeRec clock = moment.today;
    clock.year = clock.month = clock.day = 0;
    moment.timeOfDay = dateToSeconds(clock);
    moment.today.hour = moment.today.minute = moment.today.second = 0;
    moment.todayMidnight = dateToSeconds(moment.today);
    moment.tomorrowMidnight = moment.todayMidnight + SecondsPerDay;
    return moment;
}

std::optional<std::uint32_t> eventTimeOfDay(const Event& event, const SunTimes& sun)
{
    if (event.Flags & EventClockTimeFlag)
        return timeOfDay(event.Time);
    const std::uint32_t sunTime = (event.Flags & EventSunriseFlag) ? sun.sunrise : sun.sunset;
    // No sunrise or no sunset that day: the marker is not a time of day.
    if (sunTime == NoSunTime)
        return std::nullopt;
    return (event.Flags & EventOffsetBeforeFlag) ? sunTime - event.Adjust : sunTime + event.Adjust;
}

SendEventResult compileEvent(std::vector<TimerEventRecord>* table, std::int64_t houseCodeIndex,
                             std::int64_t unit, const Event& event, ClassicEventRepeat repeat,
                             const CompileMoment& moment, const SunTimes& sun, std::string* error)
{
    std::string scratch;
    std::string& reason = error ? *error : scratch;
    reason.clear();

    // Checked before anything else, so a damaged module refuses the download
    // whatever its events would have done today.
    TimerEventRecord encoded;
    if (const SendEventResult r = checkAndEncode(houseCodeIndex, unit, event, &encoded, &reason);
        r != SendEventResult::Added)
        return r;

    const unsigned count = event.isOn() ? repeat.OnRepeat : repeat.OffRepeat;
    const std::optional<std::uint32_t> time = eventTimeOfDay(event, sun);
    if (!time)
        return SendEventResult::Added;
    const std::uint32_t eventSecs = *time;

    const std::uint16_t rule = event.dayRule();
    const bool repeats =
        rule == EventRuleDate && (event.Flags & EventRepeatFlag) && event.Repeat >= 1;
    const bool repeatsDaily = repeats && event.Repeat == 1;

    // nullopt: no timer event for this event in this download.
    auto todayTest = [&]() -> std::optional<std::uint8_t> {
        if (moment.timeOfDay < eventSecs)
            return CP290ModeToday;
        if (repeatsDaily)
            return CP290ModeTomorrow;
        return std::nullopt;
    };

    std::optional<std::uint8_t> mode;
    switch (rule) {
    case EventRuleWeekly:
        mode = (event.Flags & EventSecurityFlag) ? CP290ModeWeeklySecurity : CP290ModeWeekly;
        break;
    case EventRuleDate: {
        const std::uint32_t eventMidnightSecs = event.Date - event.Date % SecondsPerDay;
        if (eventMidnightSecs == moment.todayMidnight) {
            mode = todayTest();
        } else if (eventMidnightSecs == moment.tomorrowMidnight) {
            mode = CP290ModeTomorrow;
        } else if (eventMidnightSecs > moment.tomorrowMidnight) {
            mode = std::nullopt;
        } else if (repeats) {
            const std::uint32_t days = (moment.todayMidnight - eventMidnightSecs) / SecondsPerDay;
            const std::uint32_t r = days % event.Repeat;
            if (r == 0)
                mode = todayTest();
            else if (r == event.Repeat - 1u)
                mode = CP290ModeTomorrow;
        }
        break;
    }
    case EventRuleEvenDays:
        if (moment.today.day % 2 == 0)
            mode = todayTest();
        break;
    case EventRuleOddDays:
        if (moment.today.day % 2 != 0)
            mode = todayTest();
        break;
    }
    if (!mode)
        return SendEventResult::Added;

    if (const SendEventResult r = runPass(table, *mode, encoded, eventSecs, count, &reason);
        r != SendEventResult::Added)
        return r;
    // A daily event still to come today happens tomorrow as well.
    if (*mode == CP290ModeToday && repeatsDaily)
        return runPass(table, CP290ModeTomorrow, encoded, eventSecs, count, &reason);
    return SendEventResult::Added;
}

CompiledSchedule compileSchedule(const ModuleList& modules, ClassicEventRepeat repeat,
                                 const CompileMoment& moment, const SunTimes& sun, CompileStop stop)
{
    CompiledSchedule compiled;
    std::string reason;
    walkBackwards(modules, [&](const Module& module, const EventData& item) {
        compiled.hadEvents = true;
        const std::optional<Event> event = eventFromData(item);
        if (!event)
            return true;
        compiled.offered = true;
        const SendEventResult result = compileEvent(
            &compiled.entries, module.houseCode, module.unit, *event, repeat, moment, sun, &reason);
        if (result == SendEventResult::Added)
            return true;
        if (compiled.result == SendEventResult::Added) {
            compiled.result = result;
            compiled.error = reason;
        }
        if (stop == CompileStop::AtFirstRefusal || result == SendEventResult::TooManyEvents)
            return false;
        (result == SendEventResult::InvalidModule ? compiled.damagedModule
                                                  : compiled.damagedEvent) = true;
        return true;
    });
    return compiled;
}

std::uint32_t nextCompileChange(const ModuleList& modules, const CompileMoment& moment,
                                const SunTimes& sun)
{
    const std::uint32_t sendOffset = static_cast<std::uint32_t>(DailySendHour) * 3600;
    std::uint32_t next = moment.tomorrowMidnight;
    // Time-of-day values count from TimeOfDayBase, not from midnight.
    const std::uint32_t sinceMidnight = moment.timeOfDay - TimeOfDayBase;
    if (sinceMidnight < sendOffset)
        next = moment.todayMidnight + sendOffset;
    // An event stops being today's the moment the clock reaches its time.
    walkBackwards(modules, [&](const Module&, const EventData& item) {
        if (const std::optional<Event> event = eventFromData(item))
            if (const auto time = eventTimeOfDay(*event, sun);
                time && *time > moment.timeOfDay && *time - TimeOfDayBase < SecondsPerDay)
                next = std::min(next, moment.todayMidnight + (*time - TimeOfDayBase));
        return true;
    });
    return next;
}

std::time_t sendTimeOn(int year, int month, int day)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = DailySendHour;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::time_t nextSendTimeAfter(std::time_t now)
{
    std::tm local{};
    localtime_r(&now, &local);
    return sendTimeOn(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday + 1);
}

} // namespace vantrel
