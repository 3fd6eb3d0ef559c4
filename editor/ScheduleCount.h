#pragma once

// How many of the interface's 128 timer events today's download of a
// schedule needs, from the same compile the send makes, without sending,
// and when that number can next change.

#include "cp290/DailyCompile.h"
#include "schedule/Module.h"

#include <QString>

#include <cstdint>
#include <functional>

class QObject;

namespace vantrel {

struct ScheduleCount
{
    int events = 0;            // timer events the download would store
    bool tooMany = false;      // a 129th was needed
    bool damaged = false;      // a module holds a value that cannot be sent
    bool damagedEvent = false; // so does an event (see eventDamage)
    // The local moment (1904-based seconds) from which it can differ.
    std::uint32_t nextChange = 0;
};

ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat,
                                  const CompileMoment& moment, const SunTimes& sun);
// As of now, at the machine's location. Touches no driver state.
ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat);
QString scheduleCountText(const ScheduleCount& count);

// Runs recount once, when the count's next change has come: a single-shot
// timer owned by owner, set again at every call (the last call's recount
// is the one that runs).
void recountAtNextChange(QObject* owner, const ScheduleCount& count, std::function<void()> recount);

} // namespace vantrel
