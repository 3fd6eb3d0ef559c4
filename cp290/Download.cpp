#include "cp290/Download.h"

#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/Recovery.h"
#include "suntimes/SunTimes.h"

#include <cstdio>
#include <optional>

namespace vantrel {

std::uint32_t NowSecs = 0;
DateTimeRec NowDateTime;
std::uint32_t TodayMidnightSecs = 0;
std::uint32_t TomorrowMidnightSecs = 0;
std::uint32_t TodaySecs = 0;

namespace {

SendEventResult lastResult = SendEventResult::Added;
std::string lastError;
// An event was offered since CP290DoSendEventStart, whether or not it gave
// an entry today: the interface's old events must then be erased.
bool eventsOffered = false;

constexpr int ProgressTotal = 130;

// Level/function bytes of the pseudo-units and of plain switching.
constexpr std::uint8_t FunctionAllUnitsOff = 0;
constexpr std::uint8_t FunctionAllLightsOn = 1;
constexpr std::uint8_t FunctionOn = 2;
constexpr std::uint8_t FunctionOff = 3;

// Hour and minute of a seconds value. The same split as SecondsToDate, done
// here directly because it runs for every copy of every event.
void hourAndMinute(std::uint32_t seconds, std::uint8_t* hour, std::uint8_t* minute)
{
    const std::uint32_t clock = seconds % SecondsPerDay;
    *hour = static_cast<std::uint8_t>(clock / 3600);
    *minute = static_cast<std::uint8_t>(clock % 3600 / 60);
}

// What every copy of one event shares.
struct Encoded
{
    std::uint8_t houseCode = 0;
    std::uint8_t function = 0;
    std::uint8_t units1to8 = 0;
    std::uint8_t units9to16 = 0;
    std::uint8_t dayByte = 0;
};

std::string moduleName(std::int64_t houseCodeIndex, std::int64_t unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%c%lld", static_cast<char>('A' + houseCodeIndex),
                  static_cast<long long>(unit));
    return text;
}

SendEventResult checkAndEncode(std::int64_t houseCodeIndex, std::int64_t unit, const Event& event,
                               Encoded* encoded, std::string* error)
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
    encoded->dayByte = static_cast<std::uint8_t>((event.Flags & EventDaysMask) >> 8);
    if (unit == AllLightsUnit) {
        encoded->function = FunctionAllLightsOn;
    } else if (unit == AllModulesUnit) {
        encoded->function = FunctionAllUnitsOff;
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
            encoded->function = event.isOn() ? FunctionOn : FunctionOff;
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
SendEventResult runPass(std::uint8_t mode, const Encoded& encoded, std::uint32_t eventSecs,
                        unsigned count, std::string* error)
{
    for (unsigned k = 0; k < count; ++k) {
        std::uint8_t hour = 0, minute = 0;
        hourAndMinute(eventSecs + 60u * k, &hour, &minute);
        bool merged = false;
        for (unsigned i = 0; i < NumEvents; ++i) {
            std::uint8_t* entry = CP290TimerEvent[i];
            if (entry[2] == mode && entry[3] == encoded.dayByte && entry[4] == hour &&
                entry[5] == minute && entry[8] == encoded.houseCode &&
                entry[9] == encoded.function) {
                entry[6] |= encoded.units1to8;
                entry[7] |= encoded.units9to16;
                merged = true;
                break;
            }
        }
        if (merged)
            continue;
        if (NumEvents >= CP290MaxEvents) {
            *error = TooManyEventsMessage;
            return SendEventResult::TooManyEvents;
        }
        const unsigned n = NumEvents;
        const unsigned address = n * 8;
        std::uint8_t* entry = CP290TimerEvent[n];
        entry[0] = static_cast<std::uint8_t>(address & 0xFF);
        entry[1] = static_cast<std::uint8_t>(address >> 8);
        entry[2] = mode;
        entry[3] = encoded.dayByte;
        entry[4] = hour;
        entry[5] = minute;
        entry[6] = encoded.units1to8;
        entry[7] = encoded.units9to16;
        entry[8] = encoded.houseCode;
        entry[9] = encoded.function;
        NumEvents = static_cast<std::uint16_t>(n + 1);
    }
    return SendEventResult::Added;
}

// Closes the port and puts the normal closing mode back, however the batch ends.
struct BatchPort
{
    BatchPort() { CP290Close = false; }
    ~BatchPort()
    {
        CP290Close = true;
        closeCP290();
    }
    BatchPort(const BatchPort&) = delete;
    BatchPort& operator=(const BatchPort&) = delete;
};

} // namespace

void CP290DoSendEventStart()
{
    NumEvents = 0;
    eventsOffered = false;
    SetRiseSetTimes();
    NowSecs = GetDateTime();
    NowDateTime = secondsToDate(NowSecs);
    DateTimeRec clock = NowDateTime;
    clock.year = clock.month = clock.day = 0;
    TodaySecs = dateToSeconds(clock);
    NowDateTime.hour = NowDateTime.minute = NowDateTime.second = 0;
    TodayMidnightSecs = dateToSeconds(NowDateTime);
    TomorrowMidnightSecs = TodayMidnightSecs + SecondsPerDay;
}

SendEventResult addEventToDownload(std::int64_t houseCodeIndex, std::int64_t unit,
                                   const Event& event, ClassicEventRepeat repeat,
                                   std::string* error)
{
    std::string scratch;
    std::string& reason = error ? *error : scratch;
    reason.clear();
    eventsOffered = true;

    // Checked before anything else, so a damaged module refuses the download
    // whatever its events would have done today.
    Encoded encoded;
    if (const SendEventResult r = checkAndEncode(houseCodeIndex, unit, event, &encoded, &reason);
        r != SendEventResult::Added)
        return r;

    const bool on = event.isOn();
    const unsigned count = on ? repeat.OnRepeat : repeat.OffRepeat;

    std::uint32_t eventSecs = 0;
    if (event.Flags & EventClockTimeFlag) {
        eventSecs = timeOfDay(event.Time);
    } else {
        const std::uint32_t sunTime = (event.Flags & EventSunriseFlag) ? gSunriseTime : gSunsetTime;
        // No sunrise or no sunset today: the marker is not a time of day,
        // so the event has no place in today's download.
        if (sunTime == NoSunTime)
            return SendEventResult::Added;
        eventSecs =
            (event.Flags & EventOffsetBeforeFlag) ? sunTime - event.Adjust : sunTime + event.Adjust;
    }

    const std::uint16_t rule = event.dayRule();
    const bool repeats =
        rule == EventRuleDate && (event.Flags & EventRepeatFlag) && event.Repeat >= 1;
    const bool repeatsDaily = repeats && event.Repeat == 1;

    // nullopt: no timer event for this event in this download.
    auto todayTest = [&]() -> std::optional<std::uint8_t> {
        if (TodaySecs < eventSecs)
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
        if (eventMidnightSecs == TodayMidnightSecs) {
            mode = todayTest();
        } else if (eventMidnightSecs == TomorrowMidnightSecs) {
            mode = CP290ModeTomorrow;
        } else if (eventMidnightSecs > TomorrowMidnightSecs) {
            mode = std::nullopt;
        } else if (repeats) {
            const std::uint32_t days = (TodayMidnightSecs - eventMidnightSecs) / SecondsPerDay;
            const std::uint32_t r = days % event.Repeat;
            if (r == 0)
                mode = todayTest();
            else if (r == event.Repeat - 1u)
                mode = CP290ModeTomorrow;
        }
        break;
    }
    case EventRuleEvenDays:
        if (NowDateTime.day % 2 == 0)
            mode = todayTest();
        break;
    case EventRuleOddDays:
        if (NowDateTime.day % 2 != 0)
            mode = todayTest();
        break;
    }
    if (!mode)
        return SendEventResult::Added;

    if (const SendEventResult r = runPass(*mode, encoded, eventSecs, count, &reason);
        r != SendEventResult::Added)
        return r;
    // A daily event still to come today happens tomorrow as well.
    if (*mode == CP290ModeToday && repeatsDaily)
        return runPass(CP290ModeTomorrow, encoded, eventSecs, count, &reason);
    return SendEventResult::Added;
}

bool CP290DoSendEvent(std::int64_t houseCodeIndex, std::int64_t unit, const Event& event,
                      ClassicEventRepeat repeat)
{
    lastResult = addEventToDownload(houseCodeIndex, unit, event, repeat, &lastError);
    if (lastResult == SendEventResult::Added)
        return true;
    if (CP290Verbose) {
        // No alert waits with the port held.
        closeCP290();
        if (lastResult == SendEventResult::TooManyEvents)
            driverHost().showAlert(TooManyEventsTitle, TooManyEventsMessage);
        else
            driverHost().showAlert(InvalidScheduleTitle, lastError);
    }
    return false;
}

SendEventResult lastSendEventResult()
{
    return lastResult;
}

const std::string& lastSendEventError()
{
    return lastError;
}

bool CP290DoSendEventEnd(MemoryRecovery* recovery)
{
    BatchPort port;
    // With no events at all the interface is left alone. Events that give no
    // entry today still replace what it holds: left there, the old events
    // would go on switching by a schedule the user has changed.
    if (NumEvents == 0 && !eventsOffered)
        return true;

    // The real quotient: in whole numbers a full table's share is 0 and the
    // bar would stand still for the whole download.
    gProgressBudget = static_cast<double>(ProgressTotal) / (NumEvents + 3);
    if (!(recovery ? CP290DoSetClockRecovering(*recovery) : CP290DoSetClock()))
        return false;
    if (!CP290DoGetClock())
        return false;
    // Setting the base house code it already has erases the stored events.
    std::uint8_t baseHouseCode = gBaseHouseCode;
    if (!SendCP290Command(CP290SetBaseHouseCode, &baseHouseCode, 1))
        return false;
    for (unsigned i = 0; i < NumEvents; ++i) {
        if (!SendCP290Command(CP290DownloadEvent, CP290TimerEvent[i], CP290TimerEventSize))
            return false;
        if (CP290Verbose)
            driverHost().incrementProgress(gProgressBudget);
    }
    return true;
}

bool prepareDownload(const ModuleList& modules, ClassicEventRepeat repeat, bool* hadEvents)
{
    CP290DoSendEventStart();
    bool any = false;
    bool ok = true;
    for (auto module = modules.rbegin(); ok && module != modules.rend(); ++module) {
        for (auto item = module->events.rbegin(); item != module->events.rend(); ++item) {
            any = true;
            const std::optional<Event> event = eventFromData(*item);
            if (event && !CP290DoSendEvent(module->houseCode, module->unit, *event, repeat)) {
                ok = false;
                break;
            }
        }
    }
    if (hadEvents)
        *hadEvents = any;
    return ok;
}

void resetDownloadState()
{
    NowSecs = 0;
    NowDateTime = DateTimeRec{};
    TodayMidnightSecs = 0;
    TomorrowMidnightSecs = 0;
    TodaySecs = 0;
    lastResult = SendEventResult::Added;
    lastError.clear();
    eventsOffered = false;
}

} // namespace vantrel
