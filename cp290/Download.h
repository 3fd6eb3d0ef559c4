#pragma once

// Turns the schedule's events into the interface's own timer events for the
// current day and downloads them. The interface only knows clock times on
// weekdays, today only or tomorrow only, so date, even/odd and sun-tied
// events are right for today and tomorrow and must be recomputed daily.
//
// A download is three calls: CP290DoSendEventStart() once, CP290DoSendEvent()
// for every event (modules last to first, events last to first; stop at the
// first false), then CP290DoSendEventEnd(), the only one that talks to the
// interface. The table is CP290TimerEvent/NumEvents of the driver; the
// entries themselves come from the compile in DailyCompile.h.

#include "cp290/DailyCompile.h"
#include "platform/DateTime.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <cstdint>
#include <string>

namespace vantrel {

// Reference times of the current download, set by CP290DoSendEventStart.
extern std::uint32_t NowSecs;
extern DateTimeRec NowDateTime; // today, hour/minute/second 0
extern std::uint32_t TodayMidnightSecs;
extern std::uint32_t TomorrowMidnightSecs;
extern std::uint32_t TodaySecs; // time-of-day value of now

inline constexpr const char* TooManyEventsTitle = "Too many events specified";
inline constexpr const char* InvalidScheduleTitle = "Invalid module in schedule";

// Empties the table, computes today's sun times and takes the reference times.
void CP290DoSendEventStart();

// Adds the timer events of one event of one module to the table. Returns
// false when the download must be abandoned: the table is full, or the module
// or event holds values that cannot be encoded (only a damaged document holds
// them). With CP290Verbose set the reason has been shown as an alert; the
// helper reads it from lastSendEventResult()/lastSendEventError().
// The house code and unit are taken wide so an out-of-range stored value
// cannot wrap into a valid one on the way in.
bool CP290DoSendEvent(std::int64_t houseCodeIndex, std::int64_t unit, const Event& event,
                      ClassicEventRepeat repeat);

// The same without any alert; error (when given) receives the reason text.
SendEventResult addEventToDownload(std::int64_t houseCodeIndex, std::int64_t unit,
                                   const Event& event, ClassicEventRepeat repeat,
                                   std::string* error = nullptr);

// The outcome of the last CP290DoSendEvent and, when it failed, a one-line
// reason fit for an alert or a log line.
SendEventResult lastSendEventResult();
const std::string& lastSendEventError();

struct MemoryRecovery;

// Sets the clock, keeps the base house code while erasing the stored events,
// and downloads the table. Nothing is sent when no event at all was offered
// since CP290DoSendEventStart; events that give no entry today still erase
// the interface's old ones. The port stays open across the batch and is
// closed on every way out. With a recovery, an interface that refuses the
// first command because it lost its memory gets its base house code back
// and then the whole download (see Recovery.h).
bool CP290DoSendEventEnd(MemoryRecovery* recovery = nullptr);

// The walk every caller makes: CP290DoSendEventStart, then every event of
// every module, last module and last event first. Start is called even when
// no module has an event, so the table never holds a stale read-back.
// hadEvents (when given) tells whether any module had an event. Returns false
// as soon as CP290DoSendEvent does; reasons as above.
bool prepareDownload(const ModuleList& modules, ClassicEventRepeat repeat,
                     bool* hadEvents = nullptr);

// Puts the reference times and the last result back to their initial values (tests).
void resetDownloadState();

} // namespace vantrel
