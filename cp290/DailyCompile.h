#pragma once

// The daily compile without side effects: a schedule, its repeat counts, a
// moment and that day's sun times give the interface's timer events, or the
// reason they cannot be sent. Nothing here reads the clock, the location or
// the driver's table; the download, the week ahead, the live count and the
// helper all call it with the moment they mean.

#include "cp290/Driver.h"
#include "platform/DateTime.h"
#include "schedule/Event.h"
#include "schedule/Module.h"
#include "suntimes/SunTimes.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Modes of a timer event.
constexpr std::uint8_t CP290ModeWeekly = 8;
constexpr std::uint8_t CP290ModeWeeklySecurity = 9;
constexpr std::uint8_t CP290ModeToday = 4;
constexpr std::uint8_t CP290ModeTomorrow = 2;

// The hour of the helper's daily send.
constexpr int DailySendHour = 3;

// One timer event as the interface stores it, without its table address.
struct TimerEventRecord
{
    std::uint8_t mode = 0;
    std::uint8_t days = 0; // bit 6 Sunday, bits 0-5 Monday to Saturday
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t units1to8 = 0; // bit 7 unit 1
    std::uint8_t units9to16 = 0;
    std::uint8_t houseCode = 0; // the interface's code byte
    std::uint8_t function = 0;

    bool operator==(const TimerEventRecord&) const = default;
};

// The ten bytes of a record stored at table index `index` (its address
// first), and back.
void encodeTimerEvent(const TimerEventRecord& record, unsigned index, std::uint8_t* entry);
TimerEventRecord decodeTimerEvent(const std::uint8_t* entry);

// Why an event was refused.
enum class SendEventResult
{
    Added,         // added, merged, or nothing to do today
    TooManyEvents, // a 129th distinct entry was needed
    InvalidModule, // house code outside 0-15 or unit outside 1-18
    InvalidEvent,  // brightness outside 1-9 on a unit 1-16
};

inline constexpr const char* TooManyEventsMessage =
    "A maximum of 128 events can be specified.  The events cannot be sent to the CP290.";

// The reference times of one compile.
struct CompileMoment
{
    std::uint32_t now = 0; // local 1904-based seconds
    DateTimeRec today;     // the date of now, clock fields 0
    std::uint32_t todayMidnight = 0;
    std::uint32_t tomorrowMidnight = 0;
    std::uint32_t timeOfDay = 0; // time-of-day value of now
};
CompileMoment compileMomentAt(std::uint32_t localSeconds);

// The time-of-day value an event happens at with the given sun times;
// nullopt when it is tied to a sunrise or sunset that does not happen.
std::optional<std::uint32_t> eventTimeOfDay(const Event& event, const SunTimes& sun);

// Adds one event's timer events to table (at most CP290MaxEvents), merging
// copies that differ only in their units. On a refusal error (when given)
// receives a one-line reason; what was added before it stays.
SendEventResult compileEvent(std::vector<TimerEventRecord>* table, std::int64_t houseCodeIndex,
                             std::int64_t unit, const Event& event, ClassicEventRepeat repeat,
                             const CompileMoment& moment, const SunTimes& sun,
                             std::string* error = nullptr);

enum class CompileStop
{
    AtFirstRefusal, // a download: nothing more once one event is refused
    WhenFull,       // a count: damaged modules and events are noted and passed over
};

struct CompiledSchedule
{
    std::vector<TimerEventRecord> entries;
    SendEventResult result = SendEventResult::Added; // the first refusal
    std::string error;                               // its reason
    bool hadEvents = false;                          // some module holds an event item
    bool offered = false;                            // some item was a readable event
    bool damagedModule = false; // with WhenFull: an InvalidModule was passed over
    bool damagedEvent = false;  // with WhenFull: an InvalidEvent was passed over
};

// Every event of every module in the download's order: last module first,
// last event first. Unreadable event items are skipped.
CompiledSchedule compileSchedule(const ModuleList& modules, ClassicEventRepeat repeat,
                                 const CompileMoment& moment, const SunTimes& sun,
                                 CompileStop stop = CompileStop::AtFirstRefusal);

// The first local moment after moment.now at which compiling again can give
// other timer events: an event's time still to come today, midnight, or the
// daily send hour.
std::uint32_t nextCompileChange(const ModuleList& modules, const CompileMoment& moment,
                                const SunTimes& sun);

// DailySendHour:00 local time of a day; on a day whose clock skips that
// hour, the moment the clock shows after it.
std::time_t sendTimeOn(int year, int month, int day);
// DailySendHour:00 local time on the calendar day after the given moment.
std::time_t nextSendTimeAfter(std::time_t now);

} // namespace vantrel
