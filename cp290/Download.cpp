#include "cp290/Download.h"

#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/Recovery.h"
#include "suntimes/SunTimes.h"

#include <algorithm>
#include <vector>

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


// The reference times and sun times the globals hold, as the compile takes them.
CompileMoment momentOfGlobals()
{
    CompileMoment moment;
    moment.now = NowSecs;
    moment.today = NowDateTime;
    moment.todayMidnight = TodayMidnightSecs;
    moment.tomorrowMidnight = TomorrowMidnightSecs;
    moment.timeOfDay = TodaySecs;
    return moment;
}

SunTimes sunOfGlobals()
{
    return {gSunriseTime, gSunsetTime};
}

// The table as records, in a buffer kept between calls: a download adds
// events one at a time and each call reads the whole table.
std::vector<TimerEventRecord>& tableOfGlobals()
{
    static std::vector<TimerEventRecord> table;
    table.clear();
    const unsigned count = std::min<unsigned>(NumEvents, CP290MaxEvents);
    for (unsigned i = 0; i < count; ++i)
        table.push_back(decodeTimerEvent(CP290TimerEvent[i]));
    return table;
}

// Writes the entries from index `from` on, and the count.
void storeTable(const std::vector<TimerEventRecord>& table, std::size_t from = 0)
{
    for (std::size_t i = from; i < table.size(); ++i)
        encodeTimerEvent(table[i], static_cast<unsigned>(i), CP290TimerEvent[i]);
    NumEvents = static_cast<std::uint16_t>(table.size());
}

// The alert for a refused event, with the port closed first: no alert
// waits with the port held.
bool reportRefusal()
{
    if (lastResult == SendEventResult::Added)
        return true;
    if (CP290Verbose) {
        closeCP290();
        if (lastResult == SendEventResult::TooManyEvents)
            driverHost().showAlert(TooManyEventsTitle, TooManyEventsMessage);
        else
            driverHost().showAlert(InvalidScheduleTitle, lastError);
    }
    return false;
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
    const CompileMoment moment = compileMomentAt(GetDateTime());
    NowSecs = moment.now;
    NowDateTime = moment.today;
    TodaySecs = moment.timeOfDay;
    TodayMidnightSecs = moment.todayMidnight;
    TomorrowMidnightSecs = moment.tomorrowMidnight;
}

SendEventResult addEventToDownload(std::int64_t houseCodeIndex, std::int64_t unit,
                                   const Event& event, ClassicEventRepeat repeat,
                                   std::string* error)
{
    eventsOffered = true;
    std::vector<TimerEventRecord>& table = tableOfGlobals();
    static std::vector<TimerEventRecord> before;
    before.assign(table.begin(), table.end());
    const SendEventResult result = compileEvent(&table, houseCodeIndex, unit, event, repeat,
                                                momentOfGlobals(), sunOfGlobals(), error);
    // Only merged (changed) and new entries are written back.
    std::size_t from = 0;
    while (from < before.size() && before[from] == table[from])
        ++from;
    storeTable(table, from);
    return result;
}

bool CP290DoSendEvent(std::int64_t houseCodeIndex, std::int64_t unit, const Event& event,
                      ClassicEventRepeat repeat)
{
    lastResult = addEventToDownload(houseCodeIndex, unit, event, repeat, &lastError);
    return reportRefusal();
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
    gProgressBudget = static_cast<double>(CP290ProgressTotal) / (NumEvents + 3);
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
    const CompiledSchedule compiled =
        compileSchedule(modules, repeat, momentOfGlobals(), sunOfGlobals());
    storeTable(compiled.entries);
    eventsOffered = compiled.offered;
    lastResult = compiled.result;
    lastError = compiled.error;
    if (hadEvents)
        *hadEvents = compiled.hadEvents;
    return reportRefusal();
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
